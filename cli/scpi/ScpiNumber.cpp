#include "ScpiNumber.h"

#include <charconv>
#include <cmath>

namespace ksv::scpi {

std::string Nr3(double value)
{
    if (std::isnan(value)) value = kNotANumber;
    else if (std::isinf(value)) value = value > 0 ? kInfinity : -kInfinity;
    if (value == 0.0) value = 0.0; // no "-0"
    char buffer[32];
    buffer[0] = value < 0 ? '-' : '+';
    const auto [end, ec] =
        std::to_chars(buffer + 1, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific, 8);
    std::string text(buffer, ec == std::errc() ? end : buffer + 1);
    for (char& c : text)
        if (c == 'e') c = 'E';
    return text;
}

} // namespace ksv::scpi
