#include "AdcRates.h"

#include <cstdio>

namespace ksv {

double AdcRateFromDivisor(std::uint8_t divisor) { return 1000.0 / (static_cast<double>(divisor) + 1.0); }

std::string AdcRateText(double rateHz)
{
    const char* pad = rateHz < 9.99999 ? "       " : rateHz < 99.99999 ? "      "
                                                 : rateHz < 999.99999  ? "     "
                                                                       : "    ";
    char number[32];
    std::snprintf(number, sizeof number, "%.1f", rateHz);
    return std::string(pad) + number;
}

} // namespace ksv
