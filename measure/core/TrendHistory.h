// The past of every traced channel since the trace began, for the trend: per
// channel the recent points at full resolution, and older ones as min/max
// buckets of 1 s, 10 s and (for everything since the start) a width that
// doubles whenever its store fills up. Every store has a fixed capacity, so
// memory stays bounded however long the program runs, and a bucket keeps its
// extremes, so a one-cycle glitch stays in view at any span.
//
// The measurement side keeps it for as long as the program runs; the trend
// window only reads it. A cycle takes at least the 100 ms pause between its
// value update and its lamp update, so kTrendCapacity points cover at least
// the last ten minutes. Toolkit-free.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "CycleResult.h"

namespace ksv {

inline constexpr std::size_t kTrendCapacity = 6000;

struct TTrendPoint {
    double TimeMs = 0.0; // since the epoch, UTC
    double Value = 0.0;
};

// The points of one time slot: its start, extremes, and first and last value.
struct TTrendBucket {
    double TimeMs = 0.0;
    double Min = 0.0, Max = 0.0, First = 0.0, Last = 0.0;
    std::uint32_t Count = 0;
};

// A ring of a fixed capacity: the oldest item makes room for a new one.
template <class T> class TRing {
public:
    explicit TRing(std::size_t capacity = kTrendCapacity) : capacity_(capacity ? capacity : 1) {}
    void Push(const T& item)
    {
        if (items_.size() < capacity_) {
            items_.push_back(item);
            ++size_;
            return;
        }
        items_[(first_ + size_) % capacity_] = item;
        if (size_ == capacity_)
            first_ = (first_ + 1) % capacity_;
        else
            ++size_;
    }
    void Clear()
    {
        items_.clear();
        items_.shrink_to_fit();
        first_ = size_ = 0;
    }
    std::size_t Size() const { return size_; }
    // i-th oldest item, i < Size().
    const T& At(std::size_t i) const { return items_[(first_ + i) % capacity_]; }
    T& Newest() { return items_[(first_ + size_ - 1) % capacity_]; }
    std::size_t Bytes() const { return items_.capacity() * sizeof(T); }

private:
    std::size_t capacity_;
    std::vector<T> items_; // grows up to capacity_, then is reused
    std::size_t first_ = 0, size_ = 0;
};

using TTrendRing = TRing<TTrendPoint>;

// One screen column's share of a channel: the extremes of what falls into it,
// and its first and last value in time.
struct TTrendColumn {
    double Min = 0.0, Max = 0.0, First = 0.0, Last = 0.0;
    double FirstMs = 0.0, LastMs = 0.0;
    std::uint32_t Count = 0; // points or buckets taken in; 0: the column is empty
};

// Buckets of one width. A level that keeps everything merges neighbours into
// buckets twice as wide when it is full; the others drop their oldest bucket.
class TBucketLevel {
public:
    TBucketLevel(double widthMs, std::size_t capacity, bool keepAll);
    void Add(TTrendPoint point);
    void Clear();
    std::size_t Size() const { return keepAll_ ? all_.size() : ring_.Size(); }
    const TTrendBucket& At(std::size_t i) const { return keepAll_ ? all_[i] : ring_.At(i); }
    double WidthMs() const { return width_; }
    std::size_t Bytes() const { return ring_.Bytes() + all_.capacity() * sizeof(TTrendBucket); }

private:
    void MergeNeighbours();

    double width_;
    double firstWidth_;
    bool keepAll_;
    std::size_t capacity_;
    TRing<TTrendBucket> ring_;
    std::vector<TTrendBucket> all_;
};

// One channel's history: the recent points and the bucket levels, all fed with
// every point.
class TChannelTrend {
public:
    explicit TChannelTrend(std::size_t recentCapacity = kTrendCapacity);
    void Add(TTrendPoint point);
    void Clear();
    const TTrendRing& Recent() const { return recent_; }
    // Whether every point since the trace began is still at full resolution.
    bool Complete() const { return added_ == recent_.Size(); }
    // Splits [fromMs, toMs) into out.size() equal columns and fills each with
    // what the finest store that reaches back that far holds for it.
    void Thin(double fromMs, double toMs, std::vector<TTrendColumn>& out) const;
    std::size_t Bytes() const;

private:
    TTrendRing recent_;
    std::array<TBucketLevel, 3> levels_;
    std::uint64_t added_ = 0;
};

// Whether a channel of a cycle gets a trace: its slot took part and its
// mezzanine gives a value on it (a resistance slot only on its first channel).
bool IsTraced(const TChannelResult& channel, int channelIndex);

class TTrendHistory {
public:
    explicit TTrendHistory(std::size_t recentCapacity = kTrendCapacity);
    // Adds the cycle's values of the traced channels. A cycle whose traced
    // channels or units differ from those of the trace so far starts a new
    // trace; so does NewTrace(). Times never go back within a trace: a cycle
    // stamped before the newest point (the clock was set back) is taken at
    // that point's time.
    void Add(const TCycleResult& cycle);
    void NewTrace();

    const TChannelTrend& Trend(int channel) const { return channels_[static_cast<std::size_t>(channel)]; }
    const TTrendRing& Channel(int channel) const { return Trend(channel).Recent(); }
    bool Traced(int channel) const { return units_[static_cast<std::size_t>(channel)] != TChannelUnit::None; }
    TChannelUnit Unit(int channel) const { return units_[static_cast<std::size_t>(channel)]; }
    // The time of the trace's first and newest cycle; equal (0) while it has none.
    double FirstMs() const { return firstMs_; }
    double LastMs() const { return lastMs_; }
    bool Empty() const { return cycles_ == 0; }
    // Counts the traces begun so far: the window rebuilds its plots when it changes.
    std::uint64_t TraceNumber() const { return trace_; }
    // Counts the cycles taken in: the window redraws when it changes.
    std::uint64_t Revision() const { return revision_; }
    // The memory the stores take now.
    std::size_t Bytes() const;

private:
    std::size_t recentCapacity_;
    std::array<TChannelTrend, kChannelCount> channels_;
    std::array<TChannelUnit, kChannelCount> units_{};
    double firstMs_ = 0.0, lastMs_ = 0.0;
    std::uint64_t cycles_ = 0, trace_ = 0, revision_ = 0;
};

} // namespace ksv
