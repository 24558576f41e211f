#include "IniValues.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace ksv {
namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<std::int32_t> ParseIniInteger(std::string_view text)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        std::uint64_t value = 0;
        for (char c : text.substr(2)) {
            const int d = HexDigit(c);
            if (d < 0)
                return std::nullopt;
            value = value * 16 + static_cast<unsigned>(d);
            if (value > 0xFFFFFFFFu)
                return std::nullopt;
        }
        // 32 bits taken as a signed number: 0xFFFFFFFF is -1.
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    }

    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    std::int64_t value = 0;
    const std::int64_t limit = negative ? std::int64_t(1) << 31 : (std::int64_t(1) << 31) - 1;
    for (; i < text.size(); ++i) {
        if (!IsDigit(text[i]))
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > limit)
            return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

std::string FormatIniInteger(std::int32_t value)
{
    return std::to_string(value);
}

std::optional<double> ParseIniFloat(std::string_view text)
{
    std::size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b]))
        ++b;
    while (e > b && IsBlank(text[e - 1]))
        --e;
    std::string_view t = text.substr(b, e - b);
    if (t.empty())
        return std::nullopt;

    // Check the whole grammar first: from_chars alone would take "inf", "nan"
    // and hexadecimal forms, and would stop silently before trailing junk.
    std::size_t i = 0;
    bool negative = false;
    if (t[i] == '+' || t[i] == '-') {
        negative = t[i] == '-';
        ++i;
    }
    const std::size_t numberStart = i;
    std::size_t digits = 0;
    while (i < t.size() && IsDigit(t[i])) {
        ++i;
        ++digits;
    }
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && IsDigit(t[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return std::nullopt;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            ++i;
        std::size_t expDigits = 0;
        while (i < t.size() && IsDigit(t[i])) {
            ++i;
            ++expDigits;
        }
        if (expDigits == 0)
            return std::nullopt;
    }
    if (i != t.size())
        return std::nullopt;

    // from_chars takes no leading "+"; the sign is applied here instead.
    const std::string_view number = t.substr(numberStart);
    double value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value,
                                           std::chars_format::general);
    if (ec != std::errc() || end != number.data() + number.size() || !std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

std::string FormatIniFloat(double value)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    if (value == 0)
        return "0";

    // Round to 15 significant digits: d.dddddddddddddde[+-]xx.
    char buf[40];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
    const std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf));
    const std::size_t ePos = sci.find('e');

    std::string out;
    std::size_t i = 0;
    if (sci[0] == '-') {
        out += '-';
        i = 1;
    }
    std::string digits;
    for (; i < ePos; ++i)
        if (sci[i] != '.')
            digits += sci[i];
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    std::string_view expText = sci.substr(ePos + 1);
    if (!expText.empty() && expText[0] == '+')
        expText.remove_prefix(1);
    int exponent = 0;
    std::from_chars(expText.data(), expText.data() + expText.size(), exponent);

    if (exponent >= -4 && exponent < 15) {
        if (exponent >= 0) {
            const std::size_t intDigits = static_cast<std::size_t>(exponent) + 1;
            if (digits.size() <= intDigits) {
                out += digits;
                out.append(intDigits - digits.size(), '0');
            } else {
                out += digits.substr(0, intDigits);
                out += '.';
                out += digits.substr(intDigits);
            }
        } else {
            out += "0.";
            out.append(static_cast<std::size_t>(-exponent - 1), '0');
            out += digits;
        }
        return out;
    }

    out += digits[0];
    if (digits.size() > 1) {
        out += '.';
        out += digits.substr(1);
    }
    out += 'E';
    out += std::to_string(exponent);
    return out;
}

} // namespace ksv
