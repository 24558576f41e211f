#include "TrendHistory.h"

#include <chrono>
#include <cmath>

namespace ksv {

void TTrendRing::Push(TTrendPoint point)
{
    if (points_.size() < capacity_) {
        points_.push_back(point);
        ++size_;
        return;
    }
    points_[(first_ + size_) % capacity_] = point;
    if (size_ == capacity_)
        first_ = (first_ + 1) % capacity_;
    else
        ++size_;
}

void TTrendRing::Clear()
{
    points_.clear();
    points_.shrink_to_fit();
    first_ = size_ = 0;
}

bool IsTraced(const TChannelResult& channel, int channelIndex)
{
    if (!channel.Active || channel.Unit == TChannelUnit::None) return false;
    return !(channel.Kind == TMezzanineKind::Resistance && channelIndex % 2 == 1);
}

TTrendHistory::TTrendHistory(std::size_t capacityPerChannel)
{
    for (TTrendRing& ring : rings_) ring = TTrendRing(capacityPerChannel);
}

void TTrendHistory::NewTrace()
{
    for (TTrendRing& ring : rings_) ring.Clear();
    units_.fill(TChannelUnit::None);
    ++trace_;
    ++revision_;
}

void TTrendHistory::Add(const TCycleResult& cycle)
{
    std::array<TChannelUnit, kChannelCount> units{};
    for (int c = 0; c < kChannelCount; ++c) {
        const TChannelResult& channel = cycle.Channels[static_cast<std::size_t>(c)];
        units[static_cast<std::size_t>(c)] = IsTraced(channel, c) ? channel.Unit : TChannelUnit::None;
    }
    if (units != units_) {
        NewTrace();
        units_ = units;
    }
    const double timeMs = std::chrono::duration<double, std::milli>(cycle.StartTime.time_since_epoch()).count();
    for (std::size_t c = 0; c < rings_.size(); ++c) {
        const TChannelResult& channel = cycle.Channels[c];
        if (units_[c] != TChannelUnit::None && channel.Valid && std::isfinite(channel.Value))
            rings_[c].Push({timeMs, channel.Value});
    }
    ++revision_;
}

} // namespace ksv
