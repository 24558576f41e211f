#include "core/SettingsLoadSave.h"

#include "MezzanineKind.h"
#include "core/FileIo.h"

#include <limits>

namespace ksv {
namespace {

bool Read(const TIniFile& ini, const keys::TBoolKey& k)
{
    return ini.ReadBool(k.Section, k.Name, k.ReadDefault);
}

std::int32_t Read(const TIniFile& ini, const keys::TIntKey& k)
{
    return ini.ReadInteger(k.Section, k.Name, k.ReadDefault);
}

double Read(const TIniFile& ini, const keys::TRealKey& k)
{
    return ini.ReadFloat(k.Section, k.Name, k.ReadDefault);
}

std::string Read(const TIniFile& ini, const keys::TStringKey& k)
{
    return ini.ReadString(k.Section, k.Name, k.ReadDefault);
}

void Write(TIniFile& ini, const keys::TBoolKey& k, bool v)
{
    ini.WriteBool(k.Section, k.Name, v);
}

void Write(TIniFile& ini, const keys::TIntKey& k, std::int32_t v)
{
    ini.WriteInteger(k.Section, k.Name, v);
}

void Write(TIniFile& ini, const keys::TRealKey& k, double v)
{
    ini.WriteFloat(k.Section, k.Name, v);
}

void Write(TIniFile& ini, const keys::TStringKey& k, std::string_view v)
{
    ini.WriteString(k.Section, k.Name, v);
}

} // namespace

TWindowPosition ReadWindowPosition(const TIniFile& ini)
{
    return {Read(ini, keys::kWindowTop), Read(ini, keys::kWindowLeft)};
}

TWantedModule ReadWantedModule(const TIniFile& ini)
{
    TWantedModule wanted;
    wanted.CrateSerial = Read(ini, keys::kCrateSerial);
    const std::int32_t slot = Read(ini, keys::kModuleSlot);
    if (slot >= std::numeric_limits<std::int16_t>::min() && slot <= std::numeric_limits<std::int16_t>::max())
        wanted.Slot = static_cast<std::int16_t>(slot);
    return wanted;
}

bool ReadAutoSave(const TIniFile& ini)
{
    return Read(ini, keys::kAutoSave);
}

TModuleSettings ReadModuleSettings(const TIniFile& ini, const std::array<std::string, 8>& mezzanineNames)
{
    TModuleSettings s;
    s.RateIndex = Read(ini, keys::kRateIndex);
    s.AcquisitionTime = Read(ini, keys::kAcquisitionTime);
    s.AllSlots = Read(ini, keys::kAllSlots);
    for (std::size_t i = 0; i < s.SlotEnabled.size(); ++i) {
        if (!IsFittedName(mezzanineNames[i]))
            s.SlotEnabled[i] = false;
        else
            s.SlotEnabled[i] = s.AllSlots || Read(ini, keys::kSlots[i]);
    }
    return s;
}

void WriteAppSettings(TIniFile& ini, const TAppSnapshot& app)
{
    Write(ini, keys::kAutoSave, app.AutoSave);
    Write(ini, keys::kWindowTop, app.Top);
    Write(ini, keys::kWindowLeft, app.Left);
    if (app.CrateIndex != -1)
        Write(ini, keys::kCrateSerial, app.CrateSerial);
    if (app.CrateIndex != -1 && app.ModuleIndex != -1)
        Write(ini, keys::kModuleSlot, app.ModuleSlot);
    ini.UpdateFile();
}

void WriteModuleSettings(TIniFile& ini, const TModuleSnapshot& module)
{
    Write(ini, keys::kRateIndex, module.RateIndex);
    Write(ini, keys::kAllSlots, module.AllSlots);
    for (std::size_t i = 0; i < keys::kSlots.size(); ++i)
        Write(ini, keys::kSlots[i], module.SlotChecked[i]);
    ini.UpdateFile();
}

TSaveOutcome SaveSettings(TIniFile& ini, const TAppSnapshot& app, const TModuleSnapshot& module)
{
    TSaveOutcome out;
    try {
        WriteAppSettings(ini, app);
        out.AppSaved = true;
    } catch (const TIniWriteError& e) {
        out.AppError = e.what();
    }
    try {
        WriteModuleSettings(ini, module);
        out.ModuleSaved = true;
    } catch (const TIniWriteError& e) {
        out.ModuleError = e.what();
    }
    return out;
}

void WriteDefaultAppSettings(TIniFile& ini)
{
    using namespace keys;
    Write(ini, kAutoSave, kAutoSave.FileDefault);
    Write(ini, kWindowTop, kWindowTop.FileDefault);
    Write(ini, kWindowLeft, kWindowLeft.FileDefault);
    Write(ini, kCoefficientSource, kCoefficientSource.FileDefault);
    Write(ini, kCrateSerial, kCrateSerial.FileDefault);
    Write(ini, kModuleSlot, kModuleSlot.FileDefault);
    ini.UpdateFile();
}

void WriteDefaultModuleSettings(TIniFile& ini)
{
    using namespace keys;
    Write(ini, kRateIndex, kRateIndex.FileDefault);
    Write(ini, kAcquisitionTime, kAcquisitionTime.FileDefault);
    Write(ini, kAllSlots, kAllSlots.FileDefault);
    for (const TBoolKey& slot : kSlots)
        Write(ini, slot, slot.FileDefault);
    ini.UpdateFile();
}

TDefaultFileOutcome CreateDefaultSettingsFile(const std::string& path)
{
    TDefaultFileOutcome out;
    if (path.empty()) {
        out.Result = TDefaultFileResult::EmptyPath;
        return out;
    }
    TIniFile ini(path);
    try {
        WriteDefaultAppSettings(ini);
    } catch (const TIniWriteError& e) {
        out.Result = TDefaultFileResult::AppPartFailed;
        out.Error = e.what();
        return out;
    }
    try {
        WriteDefaultModuleSettings(ini);
    } catch (const TIniWriteError& e) {
        out.Result = TDefaultFileResult::ModulePartFailed;
        out.Error = e.what();
    }
    return out;
}

TEnsureOutcome EnsureSettingsFile(const std::string& path)
{
    TEnsureOutcome out;
    if (FileExists(path))
        return out;
    if (!CreateEmptyFile(path)) {
        out.Result = TEnsureResult::CreateFailed;
        return out;
    }
    out.Defaults = CreateDefaultSettingsFile(path);
    if (out.Defaults.Result != TDefaultFileResult::Written)
        out.Result = TEnsureResult::DefaultsFailed;
    return out;
}

} // namespace ksv
