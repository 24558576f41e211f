// The module's eight conversion rates: divisor d gives 1000 / (d + 1) Hz per
// channel. Index 0..7 is the item index of the rate combo box and the rate
// index kept in the settings file.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace ksv {

constexpr int kAdcRateCount = 8;
constexpr std::array<std::uint8_t, kAdcRateCount> kAdcRateDivisors = {199, 99, 49, 19, 9, 4, 1, 0};

// 1000 / (divisor + 1) Hz.
double AdcRateFromDivisor(std::uint8_t divisor);

// The rate as the combo box lists it: one decimal behind leading spaces, ten
// characters in all ("       5.0", "    1000.0").
std::string AdcRateText(double rateHz);

} // namespace ksv
