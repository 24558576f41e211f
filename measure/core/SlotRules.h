// Which slots take part in a measurement, and how the "all slots" box sums
// them up.
#pragma once

#include <array>
#include <string>

namespace ksv {

struct TSlotAgreement {
    bool Any = false;   // at least one slot holds a mezzanine
    bool Agree = false; // every fitted slot has the same check state
    bool State = false; // that state, when they agree
};

// The first fitted slot gives the state; a later fitted slot that differs
// means the slots do not agree. Slots without a mezzanine are skipped.
TSlotAgreement SlotsAgree(const std::array<std::string, 8>& mezzanineNames, const std::array<bool, 8>& checked);

} // namespace ksv
