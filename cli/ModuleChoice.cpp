#include "ModuleChoice.h"

#include <algorithm>

namespace ksv::cli {

namespace {

bool Fits(const TModuleInfo& info, const TMeasureChoice& choice)
{
    return (choice.CrateSerial.empty() || info.CrateSerial == choice.CrateSerial) &&
           (choice.CrateSlot < 0 || info.Slot == choice.CrateSlot);
}

std::string Asked(const TMeasureChoice& choice)
{
    std::string text = "no KSV27 that opens";
    if (!choice.CrateSerial.empty()) text += " in crate " + choice.CrateSerial;
    if (choice.CrateSlot >= 0) text += " in slot " + std::to_string(choice.CrateSlot);
    return text;
}

// The first fitting module, chosen by its crate and its index in that crate.
bool ChooseExact(TDeviceEngine& engine, const TMeasureChoice& choice)
{
    int inCrate = 0;
    int crate = -1;
    for (const TModuleInfo& info : engine.Modules()) {
        if (info.Crate != crate) inCrate = 0;
        crate = info.Crate;
        if (Fits(info, choice)) return engine.Choose(info.Crate, inCrate);
        ++inCrate;
    }
    return false;
}

} // namespace

bool FindAndChooseModule(TDeviceEngine& engine, const TMeasureChoice& choice, std::string& error)
{
    const TEngineStatus found = engine.FindModules(choice.CrateSerial, choice.CrateSlot);
    if (!found) {
        error = found.Message.empty() ? "the crate server did not answer a crate's slot query" : found.Message;
        return false;
    }
    if (choice.ExactModule && !ChooseExact(engine, choice)) {
        error = Asked(choice);
        return false;
    }
    return true;
}

bool ResolveCrateModules(const TMeasureChoice& choice, std::string& crateSerial, std::vector<int>& slots, std::string& error)
{
    TDeviceEngine device;
    const TEngineStatus found = device.FindModules(choice.CrateSerial, -1);
    if (!found) {
        error = found.Message.empty() ? "the crate server did not answer a crate's slot query" : found.Message;
        return false;
    }
    crateSerial = device.ChosenCrateSerial();
    if (choice.ExactCrate && crateSerial != choice.CrateSerial) {
        error = "no KSV27 that opens in crate " + choice.CrateSerial;
        return false;
    }
    std::vector<int> present;
    for (const TModuleInfo& info : device.Modules())
        if (info.CrateSerial == crateSerial) present.push_back(info.Slot);
    if (choice.AllSlots) {
        slots = present;
        return true;
    }
    for (int slot : choice.CrateSlots) {
        if (std::find(present.begin(), present.end(), slot) == present.end()) {
            error = "no KSV27 that opens in crate " + crateSerial + " in slot " + std::to_string(slot);
            return false;
        }
    }
    slots = choice.CrateSlots;
    return true;
}

} // namespace ksv::cli
