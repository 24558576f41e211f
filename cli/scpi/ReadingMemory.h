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

inline constexpr int kChannels = 16;
using TChannelSet = std::bitset<kChannels>; // bit c: channel c + 1

struct TReading {
    double Value = 0.0; // SI unit; NaN when the channel had none
    double Time = 0.0;  // seconds from the first cycle's start
    int Channel = 0;    // 1..16
};

class TReadingMemory {
public:
    static constexpr std::size_t kCycleCapacity = 50000;

    // Empties the memory; later cycles keep the channels of `scan`.
    void Clear(TChannelSet scan);
    // False when the memory was full and the oldest cycle went.
    bool Add(double time, const std::array<double, kChannels>& values);

    std::size_t Points() const;
    // The oldest `count` readings (at most Points()); `remove` erases them.
    std::vector<TReading> Oldest(std::size_t count, bool remove);

private:
    struct TCycle {
        double Time = 0.0;
        std::array<double, kChannels> Values{};
    };
    TChannelSet scan_;
    std::size_t perCycle_ = 0;
    std::deque<TCycle> cycles_;
    std::size_t headTaken_ = 0; // readings of the oldest cycle already removed
};

} // namespace ksv::scpi
