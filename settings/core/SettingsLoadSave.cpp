#include "SettingsLoadSave.h"

#include "MezzanineKind.h"
#include "FileIo.h"

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

void Write(TIniWriteBatch& batch, const keys::TBoolKey& k, bool v)
{
    batch.WriteBool(k.Section, k.Name, v);
}

void Write(TIniWriteBatch& batch, const keys::TIntKey& k, std::int32_t v)
{
    batch.WriteInteger(k.Section, k.Name, v);
}

void Write(TIniWriteBatch& batch, const keys::TRealKey& k, double v)
{
    batch.WriteFloat(k.Section, k.Name, v);
}

void Write(TIniWriteBatch& batch, const keys::TStringKey& k, std::string_view v)
{
    batch.WriteString(k.Section, k.Name, v);
}

// Runs the puts into one batch and puts it into the file with one
// replacement; then the flush that ends every write group.
template <typename... TPut> void WriteTogether(TIniFile& ini, TPut&&... put)
{
    TIniWriteBatch batch(ini);
    (put(batch), ...);
    batch.Commit();
    ini.UpdateFile();
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

void WriteAppSettings(TIniWriteBatch& batch, const TAppSnapshot& app)
{
    Write(batch, keys::kAutoSave, app.AutoSave);
    Write(batch, keys::kWindowTop, app.Top);
    Write(batch, keys::kWindowLeft, app.Left);
    if (app.CrateIndex != -1)
        Write(batch, keys::kCrateSerial, app.CrateSerial);
    if (app.CrateIndex != -1 && app.ModuleIndex != -1)
        Write(batch, keys::kModuleSlot, app.ModuleSlot);
}

void WriteModuleSettings(TIniWriteBatch& batch, const TModuleSnapshot& module)
{
    Write(batch, keys::kRateIndex, module.RateIndex);
    Write(batch, keys::kAllSlots, module.AllSlots);
    for (std::size_t i = 0; i < keys::kSlots.size(); ++i)
        Write(batch, keys::kSlots[i], module.SlotChecked[i]);
}

void WriteDefaultAppSettings(TIniWriteBatch& batch)
{
    using namespace keys;
    Write(batch, kAutoSave, kAutoSave.FileDefault);
    Write(batch, kWindowTop, kWindowTop.FileDefault);
    Write(batch, kWindowLeft, kWindowLeft.FileDefault);
    Write(batch, kCoefficientSource, kCoefficientSource.FileDefault);
    Write(batch, kCrateSerial, kCrateSerial.FileDefault);
    Write(batch, kModuleSlot, kModuleSlot.FileDefault);
}

void WriteDefaultModuleSettings(TIniWriteBatch& batch)
{
    using namespace keys;
    Write(batch, kRateIndex, kRateIndex.FileDefault);
    Write(batch, kAcquisitionTime, kAcquisitionTime.FileDefault);
    Write(batch, kAllSlots, kAllSlots.FileDefault);
    for (const TBoolKey& slot : kSlots)
        Write(batch, slot, slot.FileDefault);
}

void WriteAppSettings(TIniFile& ini, const TAppSnapshot& app)
{
    WriteTogether(ini, [&](TIniWriteBatch& b) { WriteAppSettings(b, app); });
}

void WriteModuleSettings(TIniFile& ini, const TModuleSnapshot& module)
{
    WriteTogether(ini, [&](TIniWriteBatch& b) { WriteModuleSettings(b, module); });
}

TSaveOutcome SaveSettings(TIniFile& ini, const TAppSnapshot& app, const TModuleSnapshot& module)
{
    return SaveSettings(ini, [&](TIniFile&, TIniWriteBatch& b) {
        WriteAppSettings(b, app);
        WriteModuleSettings(b, module);
    });
}

TSaveOutcome SaveSettings(TIniFile& ini, const TBatchWrite& write)
{
    TSaveOutcome out;
    try {
        WriteTogether(ini, [&](TIniWriteBatch& b) { write(ini, b); });
        out.AppSaved = out.ModuleSaved = true;
    } catch (const TIniWriteError& e) {
        out.AppError = out.ModuleError = e.what();
    }
    return out;
}

void WriteDefaultAppSettings(TIniFile& ini)
{
    WriteTogether(ini, [](TIniWriteBatch& b) { WriteDefaultAppSettings(b); });
}

void WriteDefaultModuleSettings(TIniFile& ini)
{
    WriteTogether(ini, [](TIniWriteBatch& b) { WriteDefaultModuleSettings(b); });
}

TDefaultFileOutcome CreateDefaultSettingsFile(const std::string& path)
{
    return CreateDefaultSettingsFile(path, [](TIniFile&, TIniWriteBatch& b) {
        WriteDefaultAppSettings(b);
        WriteDefaultModuleSettings(b);
    });
}

TDefaultFileOutcome CreateDefaultSettingsFile(const std::string& path, const TBatchWrite& write)
{
    TDefaultFileOutcome out;
    if (path.empty()) {
        out.Result = TDefaultFileResult::EmptyPath;
        return out;
    }
    TIniFile ini(path);
    try {
        WriteTogether(ini, [&](TIniWriteBatch& b) { write(ini, b); });
    } catch (const TIniWriteError& e) {
        out.Result = TDefaultFileResult::AppPartFailed;
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
    out.Created = true;
    out.Defaults = CreateDefaultSettingsFile(path);
    if (out.Defaults.Result != TDefaultFileResult::Written)
        out.Result = TEnsureResult::DefaultsFailed;
    return out;
}

} // namespace ksv
