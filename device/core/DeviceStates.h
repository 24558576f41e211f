// The named states of the device side. Their numbers are those the window
// messages and the status display carry.
#pragma once

#include <cstdint>

namespace ksv {

// The window's ModuleState.
enum TModuleState : std::uint8_t {
    kNoModule = 0,    // none found, or lost after a failure
    kModuleFound = 1, // chosen and probed, not yet opened for work
    kModuleOpen = 2,  // open: measurement and the pages are offered
};

// What a discovery does; the start message's first parameter.
enum class TDiscoveryMode : int {
    ModuleChanged = 1, // open the chosen module of the selected crate
    CrateChanged = 2,  // refill the selected crate's module list and open its module
    Full = 3,          // list every crate and module, choose and open one
};

} // namespace ksv
