// The device side's state: the inventory, the open module's record, the
// engine that works on both, and the crate and module status the lamps show.
// The device panel owns it; the measurement and the settings read it.
// Threads: the discovery and the measurement write the two atomic fields;
// the rest is touched on the window's thread or inside a hand-off to it.
#pragma once

#include <atomic>
#include <cstdint>

#include "DeviceEngine.h"
#include "DeviceInventory.h"
#include "DeviceStates.h"
#include "ksvapi.h"

namespace ksv {

struct TDeviceState {
    TDeviceState() = default;
    TDeviceState(const TDeviceState&) = delete;
    TDeviceState& operator=(const TDeviceState&) = delete;

    std::atomic<int> CrateStatusOk{0};
    // A TModuleState.
    std::atomic<std::uint8_t> ModuleState{kNoModule};
    TDeviceInventory Inventory;
    Ksv27ModuleRecord ModuleRecord{};
    // The library steps on the two above: inventory, choice, open, close.
    TDeviceEngine DeviceEngine{Inventory, ModuleRecord};
};

} // namespace ksv
