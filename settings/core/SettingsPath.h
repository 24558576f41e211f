// The parts the settings path is built from: the executable's folder and the
// file's name. The path itself comes from ActiveSettingsPath
// (SettingsFolderOverride.h), the one function every user of the file calls.
#pragma once

#include <string>
#include <string_view>

namespace ksv {

inline constexpr std::string_view kSettingsFileName = "Ksv27_Vorn.ini";

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The folder that holds the running executable, without a trailing
// separator (except for the root folder itself); empty when it cannot be
// found out.
std::string ExecutableFolder();

// folder + separator + "Ksv27_Vorn.ini". An empty folder gives an empty path
// (no location known), never a file in the root or the current folder.
std::string SettingsPath(std::string_view folder);

} // namespace ksv
