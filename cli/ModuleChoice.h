// Which module a measurement opens. Without --crate and --slot the window's
// choice holds: the wanted crate and slot of the settings file when they are
// there, else the first crate and its first module. With either option the
// module must be exactly the one asked for: the first KSV27 (in crate and
// slot order) in the crate given and in the slot given.
#pragma once

#include <string>
#include <vector>

#include "DeviceEngine.h"
#include "MeasureChoice.h"

namespace ksv::cli {

// Runs the discovery and chooses. False with `error` set when there is no
// crate server, no KSV27, or none that fits the options.
bool FindAndChooseModule(TDeviceEngine& engine, const TMeasureChoice& choice, std::string& error);

// Several modules (choice.Several()): runs a discovery and names the crate
// (--crate, else the settings file's, else the first with a KSV27) and its
// KSV27 slots asked for (every one for --slot all). False with `error` set
// when there is no crate server, or a slot asked for holds no KSV27 that opens.
bool ResolveCrateModules(const TMeasureChoice& choice, std::string& crateSerial, std::vector<int>& slots,
                         std::string& error);

} // namespace ksv::cli
