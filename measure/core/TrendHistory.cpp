#include "TrendHistory.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace ksv {

namespace {

// 1 s buckets for a bit over an hour, 10 s buckets for over eleven hours, and
// everything since the start in at most 2048 buckets of a minute or more.
constexpr std::size_t kLevelCapacity = 4096, kAllCapacity = 2048;

double SlotOf(double timeMs, double widthMs) { return std::floor(timeMs / widthMs) * widthMs; }

void Take(TTrendBucket& bucket, const TTrendBucket& later)
{
    bucket.Min = std::min(bucket.Min, later.Min);
    bucket.Max = std::max(bucket.Max, later.Max);
    bucket.Last = later.Last;
    bucket.Count += later.Count;
}

TTrendBucket BucketOf(TTrendPoint point, double widthMs)
{
    return {SlotOf(point.TimeMs, widthMs), point.Value, point.Value, point.Value, point.Value, 1};
}

} // namespace

TBucketLevel::TBucketLevel(double widthMs, std::size_t capacity, bool keepAll)
    : width_(widthMs), firstWidth_(widthMs), keepAll_(keepAll), capacity_(capacity), ring_(keepAll ? 1 : capacity)
{
}

void TBucketLevel::Add(TTrendPoint point)
{
    const double slot = SlotOf(point.TimeMs, width_);
    if (!keepAll_) {
        if (ring_.Size() && ring_.Newest().TimeMs >= slot)
            Take(ring_.Newest(), BucketOf(point, width_));
        else
            ring_.Push(BucketOf(point, width_));
        return;
    }
    if (!all_.empty() && all_.back().TimeMs >= slot) {
        Take(all_.back(), BucketOf(point, width_));
        return;
    }
    if (all_.size() >= capacity_) {
        MergeNeighbours();
        Add(point);
        return;
    }
    all_.push_back(BucketOf(point, width_));
}

void TBucketLevel::MergeNeighbours()
{
    width_ *= 2;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < all_.size(); ++i) {
        TTrendBucket bucket = all_[i];
        bucket.TimeMs = SlotOf(bucket.TimeMs, width_);
        if (kept && all_[kept - 1].TimeMs >= bucket.TimeMs)
            Take(all_[kept - 1], bucket);
        else
            all_[kept++] = bucket;
    }
    all_.resize(kept);
}

void TBucketLevel::Clear()
{
    ring_.Clear();
    all_.clear();
    all_.shrink_to_fit();
    width_ = firstWidth_;
}

TChannelTrend::TChannelTrend(std::size_t recentCapacity)
    : recent_(recentCapacity), levels_{TBucketLevel(1000.0, kLevelCapacity, false),
                                       TBucketLevel(10000.0, kLevelCapacity, false),
                                       TBucketLevel(60000.0, kAllCapacity, true)}
{
}

void TChannelTrend::Add(TTrendPoint point)
{
    recent_.Push(point);
    for (TBucketLevel& level : levels_) level.Add(point);
    ++added_;
}

void TChannelTrend::Clear()
{
    recent_.Clear();
    for (TBucketLevel& level : levels_) level.Clear();
    added_ = 0;
}

std::size_t TChannelTrend::Bytes() const
{
    std::size_t bytes = recent_.Bytes();
    for (const TBucketLevel& level : levels_) bytes += level.Bytes();
    return bytes;
}

void TChannelTrend::Thin(double fromMs, double toMs, std::vector<TTrendColumn>& out) const
{
    std::fill(out.begin(), out.end(), TTrendColumn{});
    if (out.empty() || !(toMs > fromMs)) return;
    const double perMs = static_cast<double>(out.size()) / (toMs - fromMs);
    const auto put = [&](double timeMs, const TTrendBucket& b) {
        const double at = std::max(timeMs, fromMs);
        if (at >= toMs) return;
        TTrendColumn& c = out[std::min(out.size() - 1, static_cast<std::size_t>((at - fromMs) * perMs))];
        if (c.Count == 0) {
            c = {b.Min, b.Max, b.First, b.Last, timeMs, timeMs, b.Count};
            return;
        }
        c.Min = std::min(c.Min, b.Min);
        c.Max = std::max(c.Max, b.Max);
        if (timeMs < c.FirstMs) c.First = b.First, c.FirstMs = timeMs;
        if (timeMs >= c.LastMs) c.Last = b.Last, c.LastMs = timeMs;
        c.Count += b.Count;
    };
    // Where the finer stores begin: what lies before comes from a coarser one.
    double until = toMs;
    if (recent_.Size()) {
        std::size_t lo = 0, hi = recent_.Size();
        while (lo < hi) {
            const std::size_t mid = (lo + hi) / 2;
            if (recent_.At(mid).TimeMs < fromMs)
                lo = mid + 1;
            else
                hi = mid;
        }
        for (std::size_t i = lo; i < recent_.Size(); ++i) {
            const TTrendPoint& p = recent_.At(i);
            put(p.TimeMs, {p.TimeMs, p.Value, p.Value, p.Value, p.Value, 1});
        }
        if (Complete()) return;
        until = recent_.At(0).TimeMs;
    }
    for (const TBucketLevel& level : levels_) {
        if (until <= fromMs || level.Size() == 0) break;
        std::size_t lo = 0, hi = level.Size();
        while (lo < hi) {
            const std::size_t mid = (lo + hi) / 2;
            if (level.At(mid).TimeMs + level.WidthMs() <= fromMs)
                lo = mid + 1;
            else
                hi = mid;
        }
        for (std::size_t i = lo; i < level.Size() && level.At(i).TimeMs < until; ++i)
            put(level.At(i).TimeMs, level.At(i));
        until = std::min(until, level.At(0).TimeMs);
    }
}

bool IsTraced(const TChannelResult& channel, int channelIndex)
{
    if (!channel.Active || channel.Unit == TChannelUnit::None) return false;
    return !(channel.Kind == TMezzanineKind::Resistance && channelIndex % 2 == 1);
}

TTrendHistory::TTrendHistory(std::size_t recentCapacity) : recentCapacity_(recentCapacity)
{
    for (TChannelTrend& channel : channels_) channel = TChannelTrend(recentCapacity_);
}

void TTrendHistory::NewTrace()
{
    for (TChannelTrend& channel : channels_) channel.Clear();
    units_.fill(TChannelUnit::None);
    firstMs_ = lastMs_ = 0.0;
    cycles_ = 0;
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
    double timeMs = std::chrono::duration<double, std::milli>(cycle.StartTime.time_since_epoch()).count();
    if (cycles_ == 0)
        firstMs_ = timeMs;
    else
        timeMs = std::max(timeMs, lastMs_);
    lastMs_ = timeMs;
    ++cycles_;
    for (std::size_t c = 0; c < channels_.size(); ++c) {
        const TChannelResult& channel = cycle.Channels[c];
        if (units_[c] != TChannelUnit::None && channel.Valid && std::isfinite(channel.Value))
            channels_[c].Add({timeMs, channel.Value});
    }
    ++revision_;
}

std::size_t TTrendHistory::Bytes() const
{
    std::size_t bytes = 0;
    for (const TChannelTrend& channel : channels_) bytes += channel.Bytes();
    return bytes;
}

} // namespace ksv
