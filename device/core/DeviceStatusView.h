// What the device status display shows for a discovery's state: which parts
// it touches, the lamps' colours and hints, the module's serial and firmware
// texts. The window only paints this view.
#pragma once

#include <string>

#include "DeviceStates.h"
#include "ksvapi.h"

namespace ksv {

// Green and red are RGB (0, 255, 0) and (255, 0, 0); neutral is the
// system's button-face colour, which only the window knows.
enum class TStatusLamp {
    Neutral,
    Green,
    Red
};

struct TStatusLampView {
    TStatusLamp Lamp = TStatusLamp::Neutral;
    std::string Hint;
};

struct TDeviceStatusView {
    bool Final = false;      // the title becomes the program's own, else the template
    bool ClearLists = false; // empty both combo boxes (reset of a full discovery)
    bool ShowCrate = false;  // the crate lamp is touched (modes 2 and 3)
    TStatusLampView Crate;
    bool ShowModule = false; // the module lamp and labels are touched (every mode)
    TStatusLampView Module;
    bool ModuleUsable = false; // final with the module open for work
    std::string Serial;        // "????????" unless usable
    std::string Firmware;      // "1.2.3.4", or "????????" on the neutral colours
};

// `mode` is the discovery's; `moduleName` its
// name of the described module, empty when none was read ("???" shows).
TDeviceStatusView DeviceStatusView(bool final, TDiscoveryMode mode, const std::string& moduleName, bool crateOk,
                                   TModuleState moduleState, const Ksv27ModuleRecord& record);

} // namespace ksv
