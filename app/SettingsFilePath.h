// The path of the settings file as the window uses it when it saves on
// closing: the executable's folder + "/" + "Ksv27_Vorn.ini". Built anew at
// every call; needs the application object.
#pragma once

#include <string>

namespace ksv {

std::string MainFormSettingsPath();

} // namespace ksv
