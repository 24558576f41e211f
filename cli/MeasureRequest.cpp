#include "MeasureRequest.h"

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
bool ApplySettingsFile(TMeasureRequest& request, std::string& error)
{
    const std::string& path = request.SettingsPath;
    if (!Readable(path)) {
        error = "settings file " + path + " cannot be read";
        return false;
    }
    const TIniFile ini(path);
    const TWantedModule wanted = ReadWantedModule(ini);
    request.CrateSerial = wanted.CrateSerial;
    request.CrateSlot = wanted.Slot;
    const TModuleSettings module = ReadModuleSettings(ini, {});
    request.RateIndex = module.RateIndex;
    request.AcquisitionTime = module.AcquisitionTime;
    if (request.RateIndex < 0 || request.RateIndex >= kAdcRateCount) {
        error = "settings file " + path + ": rate index " + std::to_string(request.RateIndex) + " is outside 0..7";
        return false;
    }
    return true;
}

bool CheckCycle(const TMeasureRequest& request, std::string& error)
{
    const double rate = AdcRateFromDivisor(kAdcRateDivisors[static_cast<std::size_t>(request.RateIndex)]);
    const double time = request.AcquisitionTime;
    const std::optional<TCycleSizes> sizes = ComputeCycleSizes(rate, time);
    if (time > 0.0 && sizes && sizes->SamplesPerChannel > 0) return true;
    error = "acquisition time " + FormatFixed(time, 6) + " s ";
    error += sizes ? "gives no sample at " + FormatFixed(rate, 0) + " Hz" : "is not usable";
    return false;
}

} // namespace

TRequestResult BuildMeasureRequest(const TOptions& options)
{
    TRequestResult result;
    TMeasureRequest& r = result.Request;
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
    result.Ok = CheckCycle(r, result.Error);
    return result;
}

std::array<bool, 8> ChooseActiveSlots(const TMeasureRequest& request, const std::array<std::string, 8>& names)
{
    std::array<bool, 8> active{};
    if (!request.Slots && !request.SettingsPath.empty())
        return ReadModuleSettings(TIniFile(request.SettingsPath), names).SlotEnabled;
    for (std::size_t s = 0; s < active.size(); ++s)
        active[s] = IsFittedName(names[s]) && (!request.Slots || (*request.Slots)[s]);
    return active;
}

} // namespace ksv::cli
