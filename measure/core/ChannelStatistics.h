// Running statistics of the sixteen channels over the cycles taken in since
// the last reset: count, minimum, maximum, mean, standard deviation and the
// last value. A channel without a value in a cycle (not taking part, or no
// finite number) is skipped for that cycle.
//
// Mean and spread are kept with Welford's update, so millions of cycles of
// a large level with a small noise keep their digits. Toolkit-free.
#pragma once

#include <array>
#include <cstdint>

#include "CycleResult.h"

namespace ksv {

struct TChannelSummary {
    std::uint64_t Count = 0;
    double Min = 0.0, Max = 0.0, Mean = 0.0, Last = 0.0;
    // Sample standard deviation (n - 1); 0 while fewer than two values.
    double StdDev = 0.0;
};

class TRunningStatistics {
public:
    void Add(double value);
    void Reset() { *this = {}; }
    TChannelSummary Summary() const;

private:
    std::uint64_t count_ = 0;
    double min_ = 0.0, max_ = 0.0, mean_ = 0.0, m2_ = 0.0, last_ = 0.0;
};

class TChannelStatistics {
public:
    // Takes in every channel of the cycle that has a value.
    void Add(const TCycleResult& cycle);
    void Reset();
    const TRunningStatistics& Channel(int channel) const { return channels_[static_cast<std::size_t>(channel)]; }

private:
    std::array<TRunningStatistics, kChannelCount> channels_{};
};

} // namespace ksv
