#include "MqttCredentials.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace ksv::cli {

namespace {

constexpr std::size_t kMaxFileBytes = 64 * 1024;

// The next line of `text` from `at`, without its line end; `at` moves past it.
std::string TakeLine(const std::string& text, std::size_t& at)
{
    const std::size_t end = std::min(text.find('\n', at), text.size());
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    at = end + 1;
    return line;
}

} // namespace

std::optional<TMqttCredentials> ReadMqttCredentials(const std::string& path, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read the credentials file " + path + ": " + std::strerror(errno ? errno : ENOENT);
        return std::nullopt;
    }
    std::string text(kMaxFileBytes + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (text.size() > kMaxFileBytes) {
        error = "the credentials file " + path + " is larger than 64 KiB";
        return std::nullopt;
    }
    std::size_t at = 0;
    TMqttCredentials credentials;
    credentials.User = TakeLine(text, at);
    if (credentials.User.empty()) {
        error = "the credentials file " + path + " names no user on its first line";
        return std::nullopt;
    }
    if (at < text.size()) credentials.Password = TakeLine(text, at);
    return credentials;
}

} // namespace ksv::cli
