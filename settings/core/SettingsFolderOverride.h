// A replacement for the executable's folder as the home of the settings
// file, so that tests can point every settings path at a scratch folder.
// The program itself never sets it; while it is empty the path is the one
// beside the executable, built anew at every call.
#pragma once

#include <string>

namespace ksv {

// Every settings path built after this call lies in `folder`; an empty
// folder goes back to the executable's. Safe to call from any thread.
void SetSettingsFolderOverride(std::string folder);

// The folder given to SetSettingsFolderOverride, empty when none.
std::string SettingsFolderOverride();

// The settings path for this moment: in the override folder when one is set,
// else CurrentSettingsPath() (beside the executable).
std::string ActiveSettingsPath();

} // namespace ksv
