#include "AllowList.h"

#include <charconv>

namespace ksv::scpi {

namespace {

asio::ip::address Unmapped(const asio::ip::address& address)
{
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    return address;
}

template <class Bytes>
bool SamePrefix(const Bytes& a, const Bytes& b, unsigned prefix)
{
    for (std::size_t i = 0; i < a.size() && prefix > 0; ++i) {
        const unsigned bits = prefix >= 8 ? 8 : prefix;
        const auto mask = static_cast<unsigned char>(0xFF << (8 - bits));
        if ((a[i] & mask) != (b[i] & mask)) return false;
        prefix -= bits;
    }
    return true;
}

} // namespace

bool TAllowList::Parse(const std::string& text, std::string& error)
{
    networks_.clear();
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string item = text.substr(start, comma - start);
        start = comma + 1;
        const std::size_t slash = item.find('/');
        asio::error_code ec;
        TNetwork network;
        network.Address = Unmapped(asio::ip::make_address(item.substr(0, slash), ec));
        const unsigned width = network.Address.is_v4() ? 32 : 128;
        network.Prefix = width;
        bool ok = !ec;
        if (ok && slash != std::string::npos) {
            const std::string bits = item.substr(slash + 1);
            const auto [end, rc] = std::from_chars(bits.data(), bits.data() + bits.size(), network.Prefix);
            ok = !bits.empty() && rc == std::errc() && end == bits.data() + bits.size() && network.Prefix <= width;
        }
        if (!ok) {
            error = "'" + item + "' is not an address or a network such as 192.168.1.0/24";
            return false;
        }
        networks_.push_back(network);
    }
    return true;
}

bool TAllowList::Allows(const asio::ip::address& client) const
{
    if (networks_.empty()) return true;
    const asio::ip::address address = Unmapped(client);
    for (const TNetwork& n : networks_) {
        if (n.Address.is_v4() && address.is_v4() &&
            SamePrefix(n.Address.to_v4().to_bytes(), address.to_v4().to_bytes(), n.Prefix))
            return true;
        if (n.Address.is_v6() && address.is_v6() &&
            SamePrefix(n.Address.to_v6().to_bytes(), address.to_v6().to_bytes(), n.Prefix))
            return true;
    }
    return false;
}

} // namespace ksv::scpi
