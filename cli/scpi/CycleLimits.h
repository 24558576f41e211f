// The acquisition times a conversion rate allows: from the shortest time that
// gives one sample per channel to the longest whose cycle buffers stay under
// kMaxCycleBytes. Toolkit-free.
#pragma once

#include <cstddef>

namespace ksv::scpi {

inline constexpr std::size_t kMaxCycleBytes = std::size_t{64} << 20;

struct TTimeRange {
    double Min = 0.0, Max = 0.0; // seconds
};

// The rate of rate index 0..7 in Hz.
double RateOfIndex(int rateIndex);
// -1 when `hz` is none of the eight rates.
int IndexOfRate(double hz);

bool TimeAllowed(int rateIndex, double seconds);
TTimeRange AllowedTimes(int rateIndex);

} // namespace ksv::scpi
