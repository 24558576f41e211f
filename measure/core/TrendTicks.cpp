#include "TrendTicks.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace ksv {

namespace {

TTicks TicksAt(double low, double high, double step, double offset)
{
    TTicks ticks;
    ticks.Step = step;
    ticks.First = std::ceil((low + offset) / step) * step - offset;
    const double count = std::floor((high - ticks.First) / step + 1e-9) + 1;
    ticks.Count = count > 0 ? static_cast<int>(std::min(count, 1000.0)) : 0;
    return ticks;
}

} // namespace

double NiceStep(double range, int maxCount)
{
    if (!(range > 0) || !std::isfinite(range) || maxCount < 1) return 0.0;
    const double raw = range / maxCount;
    const double decade = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * decade >= raw * (1 - 1e-9)) return m * decade;
    return 10.0 * decade;
}

TTicks ValueTicks(double low, double high, int maxCount)
{
    const double step = NiceStep(high - low, maxCount);
    if (step <= 0.0) return {};
    TTicks ticks = TicksAt(low, high, step, 0.0);
    ticks.Decimals = std::clamp(static_cast<int>(-std::floor(std::log10(step) + 1e-9)), 0, 12);
    return ticks;
}

TTicks TimeTicks(double fromMs, double toMs, int maxCount, double offsetMs)
{
    constexpr double s = 1000.0, min = 60 * s, h = 60 * min, d = 24 * h;
    constexpr std::array<double, 20> kSteps = {1 * s, 2 * s, 5 * s, 10 * s, 15 * s, 30 * s, 1 * min,
                                               2 * min, 5 * min, 10 * min, 15 * min, 30 * min, 1 * h, 2 * h,
                                               3 * h, 6 * h, 12 * h, 1 * d, 2 * d, 7 * d};
    const double range = toMs - fromMs;
    if (!(range > 0) || !std::isfinite(range) || maxCount < 1) return {};
    double step = NiceStep(range, maxCount); // below a second, and past a week
    if (step >= s) {
        const auto it = std::find_if(kSteps.begin(), kSteps.end(), [&](double k) { return k * maxCount >= range; });
        if (it != kSteps.end()) step = *it;
        else step = NiceStep(range / d, maxCount) * d;
    }
    return TicksAt(fromMs, toMs, step, offsetMs);
}

} // namespace ksv
