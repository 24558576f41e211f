#include "SettingsFolderOverride.h"

#include "SettingsPath.h"

#include <mutex>

namespace ksv {
namespace {

// The discovery thread builds the path too, so the folder is read and
// written under a lock.
std::mutex& OverrideLock()
{
    static std::mutex lock;
    return lock;
}

std::string& OverrideFolder()
{
    static std::string folder;
    return folder;
}

} // namespace

void SetSettingsFolderOverride(std::string folder)
{
    const std::lock_guard lock(OverrideLock());
    OverrideFolder() = std::move(folder);
}

std::string SettingsFolderOverride()
{
    const std::lock_guard lock(OverrideLock());
    return OverrideFolder();
}

std::string ActiveSettingsPath()
{
    const std::string folder = SettingsFolderOverride();
    return SettingsPath(folder.empty() ? ExecutableFolder() : folder);
}

} // namespace ksv
