// The settings path in force, and a replacement for the executable's folder
// as the home of the settings file, so that tests can point every settings
// path at a scratch folder. The program itself never sets the replacement;
// while it is empty the path is the one beside the executable.
#pragma once

#include <string>

namespace ksv {

// Every settings path built after this call lies in `folder`; an empty
// folder goes back to the executable's. Safe to call from any thread.
void SetSettingsFolderOverride(std::string folder);

// The folder given to SetSettingsFolderOverride, empty when none.
std::string SettingsFolderOverride();

// The path of the settings file, built anew at every call: in the override
// folder when one is set, else beside the executable (empty when that folder
// cannot be found out). The discovery, the saves, the default rewrite and the
// close handler all take the path from here.
std::string ActiveSettingsPath();

} // namespace ksv
