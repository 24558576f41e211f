// The recent past of every traced channel, for the trend window: per channel
// a ring of (time, value) points with a fixed capacity, so memory stays
// bounded however long the window stays open.
//
// A cycle takes at least the 100 ms pause between its value update and its
// lamp update, so kTrendCapacity points cover more than ten minutes at any
// rate and acquisition time. Toolkit-free.
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

class TTrendRing {
public:
    explicit TTrendRing(std::size_t capacity = kTrendCapacity) : capacity_(capacity ? capacity : 1) {}
    void Push(TTrendPoint point);
    void Clear();
    std::size_t Size() const { return size_; }
    std::size_t Capacity() const { return capacity_; }
    // i-th oldest point, i < Size().
    const TTrendPoint& At(std::size_t i) const { return points_[(first_ + i) % capacity_]; }

private:
    std::size_t capacity_;
    std::vector<TTrendPoint> points_; // grows up to capacity_, then is reused
    std::size_t first_ = 0, size_ = 0;
};

// Points from(inclusive) to the ring's end, thinned for a plot `columns`
// wide: each of `columns` equal slices of the points keeps its lowest and
// highest point in time order, so spikes stay visible. Slices of up to two
// points are kept whole. `out` is cleared first.
void ThinForPlot(const TTrendRing& ring, std::size_t from, std::size_t columns, std::vector<TTrendPoint>& out);

// Whether a channel of a cycle gets a trace: its slot took part and its
// mezzanine gives a value on it (a resistance slot only on its first channel).
bool IsTraced(const TChannelResult& channel, int channelIndex);

class TTrendHistory {
public:
    explicit TTrendHistory(std::size_t capacityPerChannel = kTrendCapacity);
    // Adds the cycle's values of the traced channels. A cycle whose traced
    // channels or units differ from those of the trace so far starts a new
    // trace; so does NewTrace().
    void Add(const TCycleResult& cycle);
    void NewTrace();

    const TTrendRing& Channel(int channel) const { return rings_[static_cast<std::size_t>(channel)]; }
    bool Traced(int channel) const { return units_[static_cast<std::size_t>(channel)] != TChannelUnit::None; }
    TChannelUnit Unit(int channel) const { return units_[static_cast<std::size_t>(channel)]; }
    // Counts the traces begun so far: the window rebuilds its plots when it changes.
    std::uint64_t TraceNumber() const { return trace_; }
    // Counts the cycles taken in: the window redraws when it changes.
    std::uint64_t Revision() const { return revision_; }

private:
    std::array<TTrendRing, kChannelCount> rings_;
    std::array<TChannelUnit, kChannelCount> units_{};
    std::uint64_t trace_ = 0, revision_ = 0;
};

} // namespace ksv
