// A JSON string literal of UTF-8 text: quotes, backslashes and control
// characters escaped, every other byte as it is.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace ksv::cli {

inline std::string JsonString(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(byte));
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

} // namespace ksv::cli
