// Which mezzanine slots can take part in a measurement, and whether the
// check boxes of those slots agree (the summary shown by "Все слоты").
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace ksv {

constexpr int kSlotCount = 8;

// A slot holds a real mezzanine unless the module describes it as "EMPTY"
// or "UDEF" (whole name, letter case significant).
bool HoldsMezzanine(std::string_view mezzanineName);

struct TSlotAgreement {
    bool Any = false;   // at least one slot holds a mezzanine
    bool Agree = false; // every such slot has the same check state
    bool State = false; // that state (meaningful only when Any && Agree)
};

// Walks slots 0..7 and skips slots without a mezzanine: the first fitted slot
// gives the state, a later fitted slot with another state breaks agreement.
// With no fitted slot Any is false and the caller leaves the group box alone.
TSlotAgreement SlotsAgree(const std::array<std::string, kSlotCount>& mezzanineNames,
                          const std::array<bool, kSlotCount>& checked);

} // namespace ksv
