#include "ChannelStatistics.h"

#include <cmath>

namespace ksv {

void TRunningStatistics::Add(double value)
{
    if (!std::isfinite(value)) return;
    ++count_;
    last_ = value;
    if (count_ == 1) {
        min_ = max_ = mean_ = value;
        m2_ = 0.0;
        return;
    }
    if (value < min_) min_ = value;
    if (value > max_) max_ = value;
    const double delta = value - mean_;
    mean_ += delta / static_cast<double>(count_);
    m2_ += delta * (value - mean_);
}

TChannelSummary TRunningStatistics::Summary() const
{
    TChannelSummary s;
    s.Count = count_;
    if (count_ == 0) return s;
    s.Min = min_;
    s.Max = max_;
    s.Mean = mean_;
    s.Last = last_;
    // Rounding can leave m2 a hair below zero for constant input.
    if (count_ > 1 && m2_ > 0.0) s.StdDev = std::sqrt(m2_ / static_cast<double>(count_ - 1));
    return s;
}

void TChannelStatistics::Add(const TCycleResult& cycle)
{
    for (std::size_t c = 0; c < channels_.size(); ++c) {
        const TChannelResult& channel = cycle.Channels[c];
        if (channel.Active && channel.Valid) channels_[c].Add(channel.Value);
    }
}

void TChannelStatistics::Reset()
{
    for (TRunningStatistics& channel : channels_) channel.Reset();
}

} // namespace ksv
