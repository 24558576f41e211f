#include "SlotRules.h"

#include "MezzanineKind.h"

namespace ksv {

TSlotAgreement SlotsAgree(const std::array<std::string, 8>& mezzanineNames, const std::array<bool, 8>& checked)
{
    TSlotAgreement result;
    for (std::size_t s = 0; s < 8; ++s) {
        if (!IsFittedName(mezzanineNames[s])) continue;
        if (!result.Any) {
            result = {true, true, checked[s]};
        } else if (checked[s] != result.State) {
            result.Agree = false;
            return result;
        }
    }
    return result;
}

} // namespace ksv
