#include "SettingsKeys.h"

#include <stdexcept>

namespace ksv::keys {
namespace {

constexpr bool SlotNamesFollowPrefix()
{
    for (std::size_t i = 0; i < kSlots.size(); ++i) {
        const std::string_view name = kSlots[i].Name;
        if (name.size() != kSlotKeyPrefix.size() + 1 || name.substr(0, kSlotKeyPrefix.size()) != kSlotKeyPrefix ||
            name.back() != static_cast<char>('1' + i) || kSlots[i].Section != kModuleSection)
            return false;
    }
    return true;
}
static_assert(SlotNamesFollowPrefix());

} // namespace

const TBoolKey& SlotKey(int slotNumber)
{
    if (slotNumber < 1 || slotNumber > static_cast<int>(kSlots.size()))
        throw std::out_of_range("slot number out of 1..8");
    return kSlots[static_cast<std::size_t>(slotNumber - 1)];
}

} // namespace ksv::keys
