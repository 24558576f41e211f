#include "MeasureChoice.h"

#include <cmath>
#include <fstream>

#include "AdcRates.h"
#include "MeasureCore.h"
#include "MezzanineKind.h"
#include "core/IniFile.h"
#include "core/SettingsLoadSave.h"

namespace ksv::cli {

namespace {

bool Readable(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return file.is_open();
}

// Crate, slot, rate index and acquisition time from the settings file.
bool ApplySettingsFile(TMeasureChoice& choice, std::string& error)
{
    const std::string& path = choice.SettingsPath;
    if (!Readable(path)) {
        error = "settings file " + path + " cannot be read";
        return false;
    }
    const TIniFile ini(path);
    const TWantedModule wanted = ReadWantedModule(ini);
    choice.CrateSerial = wanted.CrateSerial;
    choice.CrateSlot = wanted.Slot;
    const TModuleSettings module = ReadModuleSettings(ini, {});
    choice.RateIndex = module.RateIndex;
    choice.AcquisitionTime = module.AcquisitionTime;
    if (choice.RateIndex < 0 || choice.RateIndex >= kAdcRateCount) {
        error = "settings file " + path + ": rate index " + std::to_string(choice.RateIndex) + " is outside 0..7";
        return false;
    }
    return true;
}

bool CheckCycle(const TMeasureChoice& choice, std::string& error)
{
    const double rate = AdcRateFromDivisor(kAdcRateDivisors[static_cast<std::size_t>(choice.RateIndex)]);
    const double time = choice.AcquisitionTime;
    const std::optional<TCycleSizes> sizes = ComputeCycleSizes(rate, time);
    if (time > 0.0 && sizes && sizes->SamplesPerChannel > 0) return true;
    error = "acquisition time " + FormatFixed(time, 6) + " s ";
    error += sizes ? "gives no sample at " + FormatFixed(rate, 0) + " Hz" : "is not usable";
    return false;
}

} // namespace

TChoiceResult BuildMeasureChoice(const TOptions& options)
{
    TChoiceResult result;
    TMeasureChoice& r = result.Choice;
    r.SettingsPath = options.SettingsPath;
    if (!r.SettingsPath.empty() && !ApplySettingsFile(r, result.Error)) return result;
    if (options.CrateSerial) r.CrateSerial = *options.CrateSerial;
    if (options.CrateSlot) r.CrateSlot = *options.CrateSlot;
    r.ExactModule = options.CrateSerial || options.CrateSlot;
    if (options.RateIndex) r.RateIndex = *options.RateIndex;
    if (options.AcquisitionTime) r.AcquisitionTime = *options.AcquisitionTime;
    r.Slots = options.Slots;
    r.Cycles = options.Cycles;
    r.Duration = options.Duration;
    r.CrateSlots = options.CrateSlots;
    r.AllSlots = options.AllSlots;
    if (r.Several()) r.CrateSlot = -1;
    r.ExactCrate = options.CrateSerial.has_value();
    r.ExactModule = r.ExactModule && !r.Several();
    r.Raw = options.Raw;
    if (!options.ChannelsPath.empty()) {
        std::optional<TChannelTable> table = ReadChannelFile(options.ChannelsPath, result.Error);
        if (!table) return result;
        r.Channels = std::move(*table);
    }
    result.Ok = CheckCycle(r, result.Error);
    return result;
}

std::array<bool, 8> ChooseActiveSlots(const TMeasureChoice& choice, const std::array<std::string, 8>& names)
{
    std::array<bool, 8> active{};
    if (!choice.Slots && !choice.SettingsPath.empty())
        return ReadModuleSettings(TIniFile(choice.SettingsPath), names).SlotEnabled;
    for (std::size_t s = 0; s < active.size(); ++s)
        active[s] = IsFittedName(names[s]) && (!choice.Slots || (*choice.Slots)[s]);
    return active;
}

} // namespace ksv::cli
