// The broker a publisher sends to, from --mqtt URL:
//
//   mqtt://host[:port][/prefix]     plain TCP, port 1883 by default
//   mqtts://host[:port][/prefix]    TLS, port 8883 by default
//
// The host may be a name, an IPv4 address or an IPv6 address in brackets.
// The prefix is the first levels of every topic (default "ksv27"); it may
// hold several levels ("lab/bench3"), but no empty level, no wildcard ('+',
// '#'), no control character, nothing that is not UTF-8, and it may not start
// with '$' (the brokers' own topics). A user name or password in the URL is
// refused: `ps` would show it; they come from --mqtt-credentials FILE.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ksv::cli {

struct TMqttUrl {
    bool Tls = false;
    std::string Host;
    int Port = 1883;
    std::string Prefix = "ksv27";
};

// Empty with `error` set (one line) on a URL it does not take.
std::optional<TMqttUrl> ParseMqttUrl(std::string_view text, std::string& error);

} // namespace ksv::cli
