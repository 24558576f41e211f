// The instrument's reading memory: the readings of the cycles since the last
// INITiate, oldest first, bounded to kCycleCapacity cycles (beyond it the
// oldest cycle goes). Each cycle holds one reading per scanned channel, in
// ascending channel order. Toolkit-free; the instrument guards it.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <deque>
#include <vector>

namespace ksv::scpi {

// Sixteen channels of each of up to sixteen modules: channel index c is
// channel c % 16 + 1 of the module at position c / 16 of the instrument.
inline constexpr int kModuleChannels = 16;
inline constexpr int kMaxModules = 16;
inline constexpr int kChannels = kModuleChannels * kMaxModules;
using TChannelSet = std::bitset<kChannels>; // bit c: channel index c

struct TReading {
    double Value = 0.0; // SI unit; NaN when the channel had none
    double Time = 0.0;  // seconds from the first cycle's start
    int Channel = 0;    // channel index + 1
};

class TReadingMemory {
public:
    static constexpr std::size_t kCycleCapacity = 50000;

    // Empties the memory; later cycles keep the channels of `scan`.
    void Clear(TChannelSet scan);
    // False when the memory was full and the oldest cycle went.
    // `values` by channel index; only the scanned ones are kept.
    bool Add(double time, const std::array<double, kChannels>& values);

    std::size_t Points() const;
    // The oldest `count` readings (at most Points()); `remove` erases them.
    std::vector<TReading> Oldest(std::size_t count, bool remove);

private:
    struct TCycle {
        double Time = 0.0;
        std::vector<double> Values; // the scanned channels', ascending
    };
    TChannelSet scan_;
    std::size_t perCycle_ = 0;
    std::deque<TCycle> cycles_;
    std::size_t headTaken_ = 0; // readings of the oldest cycle already removed
};

} // namespace ksv::scpi
