// `list`: a full discovery's library part, then every listed crate with the
// KSV27 modules that opened in it (and those that are there but would not
// open, which the window leaves out silently).
#include <cstdio>

#include "Commands.h"
#include "CrateListing.h"
#include "DeviceEngine.h"
#include "ExitStatus.h"
#include "Interrupt.h"

namespace ksv::cli {

namespace {

TListedModule Listed(const TModuleInfo& info)
{
    TListedModule module;
    module.Slot = info.Slot;
    module.Opened = true;
    module.Serial = info.ModuleSerial;
    module.Firmware = info.Firmware;
    for (std::size_t m = 0; m < module.Mezzanines.size(); ++m)
        module.Mezzanines[m] = {info.Mezzanines[m].Name, info.Mezzanines[m].Serial};
    return module;
}

const TModuleInfo* OpenedModule(const TDeviceEngine& engine, const std::string& crate, int slot)
{
    for (const TModuleInfo& info : engine.Modules())
        if (info.CrateSerial == crate && info.Slot == slot) return &info;
    return nullptr;
}

std::vector<TListedCrate> Listing(const TDeviceEngine& engine)
{
    std::vector<TListedCrate> crates;
    const std::vector<std::string> serials = engine.ListedCrates();
    const TDeviceInventory& inventory = engine.Inventory();
    for (std::size_t c = 0; c < serials.size(); ++c) {
        TListedCrate crate{serials[c], {}};
        for (int k = 0; k < KSV_MAX_SLOTS; ++k) {
            if (inventory.CrateModuleIds[c][k] != KSV27_MODULE_ID) continue;
            const TModuleInfo* info = OpenedModule(engine, crate.Serial, k + 1);
            crate.Modules.push_back(info ? Listed(*info) : TListedModule{k + 1, false, {}, {}, {}});
        }
        crates.push_back(std::move(crate));
    }
    return crates;
}

} // namespace

int RunList(bool json)
{
    TDeviceEngine engine;
    const TEngineStatus found = engine.FindModules("", -1);
    engine.CloseModule();
    if (InterruptSignal()) return InterruptStatus();
    const bool listed = found || found.Message == discovery_text::kNoKsv27;
    if (listed) {
        const std::vector<TListedCrate> crates = Listing(engine);
        const std::string text = json ? ListingJson(crates) : ListingText(crates);
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
    if (found) return kExitOk;
    PrintError(found.Message.empty() ? "the crate server did not answer a crate's slot query" : found.Message);
    return kExitNoDevice;
}

} // namespace ksv::cli
