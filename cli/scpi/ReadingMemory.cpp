#include "ReadingMemory.h"

#include <algorithm>

namespace ksv::scpi {

void TReadingMemory::Clear(TChannelSet scan)
{
    scan_ = scan;
    perCycle_ = scan.count();
    cycles_.clear();
    headTaken_ = 0;
}

bool TReadingMemory::Add(double time, const std::array<double, kChannels>& values)
{
    if (perCycle_ == 0) return true;
    const bool full = cycles_.size() >= kCycleCapacity;
    if (full) {
        cycles_.pop_front();
        headTaken_ = 0;
    }
    TCycle cycle{time, {}};
    cycle.Values.reserve(perCycle_);
    for (std::size_t c = 0; c < kChannels; ++c)
        if (scan_[c]) cycle.Values.push_back(values[c]);
    cycles_.push_back(std::move(cycle));
    return !full;
}

std::size_t TReadingMemory::Points() const { return cycles_.size() * perCycle_ - headTaken_; }

std::vector<TReading> TReadingMemory::Oldest(std::size_t count, bool remove)
{
    count = std::min(count, Points());
    std::vector<TReading> readings;
    readings.reserve(count);
    std::size_t skip = headTaken_;
    for (const TCycle& cycle : cycles_) {
        std::size_t k = 0;
        for (int c = 0; c < kChannels && readings.size() < count; ++c) {
            if (!scan_[static_cast<std::size_t>(c)]) continue;
            const double value = cycle.Values[k++];
            if (skip > 0) {
                --skip;
                continue;
            }
            readings.push_back({value, cycle.Time, c + 1});
        }
        if (readings.size() >= count) break;
    }
    if (!remove) return readings;
    std::size_t taken = headTaken_ + count;
    while (perCycle_ > 0 && taken >= perCycle_ && !cycles_.empty()) {
        cycles_.pop_front();
        taken -= perCycle_;
    }
    headTaken_ = cycles_.empty() ? 0 : taken;
    return readings;
}

} // namespace ksv::scpi
