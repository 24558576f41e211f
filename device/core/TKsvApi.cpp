#include "TKsvApi.h"

#include <memory>
#include <mutex>
#include <string>

#include "TKsvLibraryLoader.h"

namespace ksv {

namespace {
std::mutex gMutex;
std::string gFolder;
std::unique_ptr<TKsvLibraryLoader> gLoader;
TKsvApi* gOverride = nullptr;
} // namespace

TKsvApi& KsvApi()
{
    std::lock_guard lock(gMutex);
    if (gOverride) return *gOverride;
    if (!gLoader) gLoader = std::make_unique<TKsvLibraryLoader>(gFolder);
    return *gLoader;
}

void SetKsvApi(TKsvApi* api)
{
    std::lock_guard lock(gMutex);
    gOverride = api;
}

void SetKsvLibraryFolder(const char* folder)
{
    std::lock_guard lock(gMutex);
    gFolder = folder ? folder : "";
    gLoader.reset();
}

} // namespace ksv
