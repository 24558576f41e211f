// The crates and KSV27 modules that a full discovery found, and which of
// them is chosen. Plain fixed-size data: 16 crates, 16 slots, serials of 16
// characters NUL-terminated within the field.
#pragma once

#include <cstdint>

#include "ksvapi.h"

namespace ksv {

using TSerial = char[KSV_SERIAL_CHARS];

struct TDeviceInventory {
    std::uint16_t CrateCount = 0;
    TSerial CrateSerials[KSV_MAX_CRATES] = {};
    std::uint16_t CrateModuleIds[KSV_MAX_CRATES][KSV_MAX_SLOTS] = {};
    TSerial Ksv27CrateSerials[KSV_MAX_CRATES] = {};
    std::uint16_t Ksv27CrateCount = 0;
    std::int16_t SelectedCrate = -1;
    std::uint16_t Ksv27Slots[KSV_MAX_CRATES][KSV_MAX_SLOTS] = {};
    TSerial Ksv27ModuleSerials[KSV_MAX_CRATES][KSV_MAX_SLOTS] = {};
    std::uint16_t Ksv27ModuleCount[KSV_MAX_CRATES] = {};
    std::int16_t SelectedModuleInCrate[KSV_MAX_CRATES] = {};
};

} // namespace ksv
