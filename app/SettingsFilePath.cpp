#include "SettingsFilePath.h"

#include "core/SettingsFolderOverride.h"

namespace ksv {

std::string MainFormSettingsPath()
{
    // Beside the executable, built anew at every use (tests may redirect it).
    return ActiveSettingsPath();
}

} // namespace ksv
