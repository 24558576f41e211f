#include "MqttUrl.h"

#include <charconv>

#include "JsonText.h"

namespace ksv::cli {

namespace {

bool Fail(std::string& error, const char* text)
{
    error = text;
    return false;
}

bool IsControl(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

// Why `prefix` cannot start a topic, "" when it can.
std::string PrefixFault(std::string_view prefix)
{
    if (prefix.front() == '$') return "a prefix may not start with '$'";
    std::size_t levelStart = 0;
    for (std::size_t at = 0; at < prefix.size(); ++at) {
        const auto byte = static_cast<unsigned char>(prefix[at]);
        if (byte == '+' || byte == '#') return "a prefix may not hold '+' or '#'";
        if (IsControl(byte)) return "a prefix may not hold control characters";
        if (byte >= 0x80) {
            const std::size_t length = Utf8SequenceLength(prefix, at);
            if (length == 0) return "a prefix must be UTF-8";
            at += length - 1;
        } else if (byte == '/') {
            if (at == levelStart) return "a prefix may not hold an empty level";
            levelStart = at + 1;
        }
    }
    return {};
}

// "host", "host:port", "[v6]" or "[v6]:port" into the URL.
bool ParseAuthority(std::string_view authority, TMqttUrl& url, std::string& error)
{
    std::string_view port;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) return Fail(error, "an IPv6 address must end with ']'");
        url.Host = std::string(authority.substr(1, close - 1));
        const std::string_view rest = authority.substr(close + 1);
        if (!rest.empty() && rest.front() != ':') return Fail(error, "':port' must follow the ']'");
        if (!rest.empty()) port = rest.substr(1);
        if (rest.size() == 1) return Fail(error, "a port 1..65535 must follow ':'");
    } else {
        const std::size_t colon = authority.find(':');
        url.Host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) {
            port = authority.substr(colon + 1);
            if (port.empty()) return Fail(error, "a port 1..65535 must follow ':'");
        }
    }
    if (url.Host.empty()) return Fail(error, "the URL names no host");
    for (const char c : url.Host)
        if (IsControl(static_cast<unsigned char>(c)) || c == ' ')
            return Fail(error, "the host name holds a space or a control character");
    if (!port.empty()) {
        int value = 0;
        const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (ec != std::errc() || end != port.data() + port.size() || value < 1 || value > 65535)
            return Fail(error, "a port 1..65535 must follow ':'");
        url.Port = value;
    }
    return true;
}

} // namespace

std::optional<TMqttUrl> ParseMqttUrl(std::string_view text, std::string& error)
{
    TMqttUrl url;
    std::string_view rest = text;
    if (rest.substr(0, 7) == "mqtt://") {
        rest.remove_prefix(7);
    } else if (rest.substr(0, 8) == "mqtts://") {
        rest.remove_prefix(8);
        url.Tls = true;
        url.Port = 8883;
    } else {
        error = "a URL mqtt://host[:port][/prefix] or mqtts://host[:port][/prefix]";
        return std::nullopt;
    }
    const std::size_t slash = rest.find('/');
    const std::string_view authority = rest.substr(0, slash);
    if (authority.find('@') != std::string_view::npos) {
        error = "no user name or password in the URL (anyone may read it with ps); use --mqtt-credentials FILE";
        return std::nullopt;
    }
    if (!ParseAuthority(authority, url, error)) return std::nullopt;
    std::string_view prefix = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    while (!prefix.empty() && prefix.back() == '/') prefix.remove_suffix(1);
    if (!prefix.empty()) {
        error = PrefixFault(prefix);
        if (!error.empty()) return std::nullopt;
        url.Prefix = std::string(prefix);
    }
    return url;
}

} // namespace ksv::cli
