#include "TrendHistory.h"

#include <chrono>
#include <algorithm>
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

void ThinForPlot(const TTrendRing& ring, std::size_t from, std::size_t columns, std::vector<TTrendPoint>& out)
{
    out.clear();
    const std::size_t count = from < ring.Size() ? ring.Size() - from : 0;
    if (columns == 0 || count <= 2 * columns) {
        for (std::size_t i = from; i < ring.Size(); ++i) out.push_back(ring.At(i));
        return;
    }
    for (std::size_t column = 0; column < columns; ++column) {
        const std::size_t begin = from + count * column / columns, end = from + count * (column + 1) / columns;
        std::size_t low = begin, high = begin;
        for (std::size_t i = begin + 1; i < end; ++i) {
            if (ring.At(i).Value < ring.At(low).Value) low = i;
            if (ring.At(i).Value > ring.At(high).Value) high = i;
        }
        out.push_back(ring.At(std::min(low, high)));
        if (low != high) out.push_back(ring.At(std::max(low, high)));
    }
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
