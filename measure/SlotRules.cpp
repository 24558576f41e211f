#include "SlotRules.h"

namespace ksv {

bool HoldsMezzanine(std::string_view mezzanineName)
{
    return mezzanineName != "EMPTY" && mezzanineName != "UDEF";
}

TSlotAgreement SlotsAgree(const std::array<std::string, kSlotCount>& mezzanineNames,
                          const std::array<bool, kSlotCount>& checked)
{
    TSlotAgreement result;
    for (int s = 0; s < kSlotCount; ++s) {
        if (!HoldsMezzanine(mezzanineNames[s]))
            continue;
        if (!result.Any) {
            result.Any = true;
            result.Agree = true;
            result.State = checked[s];
        } else if (checked[s] != result.State) {
            result.Agree = false;
            return result;
        }
    }
    return result;
}

} // namespace ksv
