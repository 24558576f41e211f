// --allow: the client addresses the service serves, as a comma-separated
// list of networks in CIDR form (`192.168.1.0/24,10.0.0.7,::1/128`); an
// address without a prefix length is that one address. An empty list
// allows every address. IPv4 clients reaching an IPv6 socket are matched
// by their IPv4 address.
#pragma once

#include <asio/ip/address.hpp>
#include <string>
#include <vector>

namespace ksv::scpi {

class TAllowList {
public:
    // False, with `error` naming the bad entry, for a malformed list.
    bool Parse(const std::string& text, std::string& error);
    bool Allows(const asio::ip::address& address) const;

private:
    struct TNetwork {
        asio::ip::address Address;
        unsigned Prefix = 0;
    };
    std::vector<TNetwork> networks_;
};

} // namespace ksv::scpi
