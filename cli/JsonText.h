// A JSON string literal of UTF-8 text: quotes, backslashes and control
// characters escaped, a byte that is not part of a well-formed UTF-8
// sequence (a library field may hold any bytes) as U+FFFD, the rest as it is.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace ksv::cli {

// The length of the well-formed UTF-8 sequence at text[at], 0 when there is none.
inline std::size_t Utf8SequenceLength(std::string_view text, std::size_t at)
{
    const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned lead = byteAt(at);
    std::size_t length = 0;
    if (lead < 0x80) length = 1;
    else if (lead >= 0xC2 && lead < 0xE0) length = 2;
    else if (lead >= 0xE0 && lead < 0xF0) length = 3;
    else if (lead >= 0xF0 && lead < 0xF5) length = 4;
    if (length == 0 || at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((byteAt(at + i) & 0xC0) != 0x80) return 0;
    if (length == 1) return 1;
    // No overlong forms, no surrogates, nothing beyond U+10FFFF.
    const unsigned second = byteAt(at + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second >= 0x90))
        return 0;
    return length;
}

inline std::string JsonString(std::string_view text)
{
    std::string out = "\"";
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) {
            const std::size_t length = Utf8SequenceLength(text, at);
            if (length == 0) out += "\\ufffd";
            else out.append(text.substr(at, length));
            if (length > 1) at += length - 1;
        } else if (c == '"' || c == '\\') {
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
