#include "CycleLimits.h"

#include <cmath>

#include "AdcRates.h"
#include "MeasureCore.h"

namespace ksv::scpi {

namespace {

// What the five buffers of a cycle of these sizes take.
std::size_t CycleBytes(const TCycleSizes& s)
{
    const std::size_t samples = s.TotalSamples, n = s.SamplesPerChannel;
    return 4 * std::size_t{s.TotalWords} + 8 * samples + 4 * (samples + 16) + 2 * 8 * (n + 16);
}

// The boundary between the times `allowed` refuses and those it takes (or
// the reverse), found by halving between `low` and `high`.
template <class F>
double Boundary(double low, double high, F allowed)
{
    const bool lowAllowed = allowed(low);
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (low + high);
        (allowed(mid) == lowAllowed ? low : high) = mid;
    }
    return lowAllowed ? low : high;
}

} // namespace

double RateOfIndex(int rateIndex) { return AdcRateFromDivisor(kAdcRateDivisors[static_cast<std::size_t>(rateIndex)]); }

int IndexOfRate(double hz)
{
    for (int i = 0; i < kAdcRateCount; ++i)
        if (std::fabs(hz - RateOfIndex(i)) < 1e-9 * hz + 1e-12) return i;
    return -1;
}

bool TimeAllowed(int rateIndex, double seconds)
{
    if (!std::isfinite(seconds) || seconds <= 0.0) return false;
    const auto sizes = ComputeCycleSizes(RateOfIndex(rateIndex), seconds);
    return sizes && sizes->SamplesPerChannel > 0 && CycleBytes(*sizes) <= kMaxCycleBytes;
}

TTimeRange AllowedTimes(int rateIndex)
{
    const double hz = RateOfIndex(rateIndex);
    const double inside = 2.0 / hz; // two samples per channel: always allowed
    TTimeRange range;
    range.Min = Boundary(0.0, inside, [&](double t) { return TimeAllowed(rateIndex, t); });
    range.Max = Boundary(inside, 1e7, [&](double t) { return TimeAllowed(rateIndex, t); });
    return range;
}

} // namespace ksv::scpi
