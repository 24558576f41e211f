// A cycle of the measurement core tests: channels 0 and 1, both of a voltage
// slot "U10" in mV; a channel without a value is not valid and holds NaN.
#pragma once

#include <cmath>
#include <optional>

#include "CycleResult.h"

namespace ksv {

inline void SetTwoVoltageChannels(TCycleResult& cycle, std::optional<double> first, std::optional<double> second)
{
    for (int c = 0; c < 2; ++c) {
        const std::optional<double>& value = c == 0 ? first : second;
        TChannelResult& ch = cycle.Channels[static_cast<std::size_t>(c)];
        ch.Active = true;
        ch.Kind = TMezzanineKind::Voltage;
        ch.Unit = TChannelUnit::Millivolt;
        ch.MezzanineName = "U10";
        ch.Valid = value.has_value();
        ch.Value = value.value_or(NAN);
    }
}

} // namespace ksv
