// Upper and lower limits per channel, for the trend: whether the channel's
// last value lies outside them and how often it went outside. They last while
// the program runs and are never written anywhere. Toolkit-free.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "CycleResult.h"

namespace ksv {

struct TChannelLimit {
    std::optional<double> Lower, Upper; // empty: no limit on that side
    bool Outside = false;               // the last value lies outside
    std::uint64_t Crossings = 0;        // times the value went from inside to outside
    std::optional<double> Last;         // the last value taken in
};

bool IsOutside(const TChannelLimit& limit, double value);

// A limit as typed: empty (blank) is none; '.' or ',' as decimal separator.
// False for anything else that is not a finite number.
bool ParseLimit(std::string_view text, std::optional<double>& limit);

class TTrendLimits {
public:
    // Sets a channel's limits; whether the last value lies outside follows at
    // once, without counting a crossing.
    void Set(int channel, std::optional<double> lower, std::optional<double> upper);
    // Takes in every channel of the cycle that has a value.
    void Add(const TCycleResult& cycle);
    // Zeroes the crossing counts; the limits stay.
    void ResetCounts();
    const TChannelLimit& Channel(int channel) const { return limits_[static_cast<std::size_t>(channel)]; }

private:
    std::array<TChannelLimit, kChannelCount> limits_{};
};

} // namespace ksv
