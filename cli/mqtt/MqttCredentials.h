// The user name and password for the broker, from --mqtt-credentials FILE
// (never from the command line, where `ps` shows them): the user name on the
// first line, the password on the second; without a second line the client
// sends no password. Line ends may be "\n" or "\r\n"; nothing else is trimmed.
#pragma once

#include <optional>
#include <string>

namespace ksv::cli {

struct TMqttCredentials {
    std::string User;
    std::optional<std::string> Password;
};

// Empty with `error` set (one line) when the file cannot be read, is larger
// than 64 KiB or names no user.
std::optional<TMqttCredentials> ReadMqttCredentials(const std::string& path, std::string& error);

} // namespace ksv::cli
