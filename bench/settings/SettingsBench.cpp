// settings_bench: one save of the window (the keys of Ctrl+S) on a settings
// file of the fresh size and on one of 300 kB, made as a save makes it now
// (ksv::SaveSettings, one replacement) and key by key, each key its own
// replacement, as a save used to be made. Prints per case the replacements
// and flushes to disk per save and the mean time of one save. The files go
// into a scratch folder inside the folder given as the argument (default:
// the current folder), so that the flushes reach a real disk. See
// bench/README.md.
#include "FileIo.h"
#include "IniFile.h"
#include "SettingsKeys.h"
#include "SettingsLoadSave.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr int kRuns = 20;

// The snapshot of a window with a crate and module selected; `flip` changes
// every value, so that each save really rewrites the file.
ksv::TAppSnapshot App(bool flip)
{
    ksv::TAppSnapshot app;
    app.AutoSave = flip;
    app.Top = flip ? 45 : 46;
    app.Left = flip ? 123 : 124;
    app.CrateIndex = 0;
    app.CrateSerial = flip ? "KSV-C-0001" : "KSV-C-0002";
    app.ModuleIndex = 0;
    app.ModuleSlot = flip ? 3 : 4;
    return app;
}

ksv::TModuleSnapshot Module(bool flip)
{
    ksv::TModuleSnapshot module;
    module.RateIndex = flip ? 5 : 2;
    module.AllSlots = flip;
    for (std::size_t s = 0; s < module.SlotChecked.size(); ++s) module.SlotChecked[s] = ((s % 2) != 0) == flip;
    return module;
}

// The same keys in the same order, each written through the INI object on
// its own.
void SaveKeyByKey(ksv::TIniFile& ini, const ksv::TAppSnapshot& app, const ksv::TModuleSnapshot& module)
{
    using namespace ksv::keys;
    ini.WriteBool(kAutoSave.Section, kAutoSave.Name, app.AutoSave);
    ini.WriteInteger(kWindowTop.Section, kWindowTop.Name, app.Top);
    ini.WriteInteger(kWindowLeft.Section, kWindowLeft.Name, app.Left);
    ini.WriteString(kCrateSerial.Section, kCrateSerial.Name, app.CrateSerial);
    ini.WriteInteger(kModuleSlot.Section, kModuleSlot.Name, app.ModuleSlot);
    ini.WriteInteger(kRateIndex.Section, kRateIndex.Name, module.RateIndex);
    ini.WriteBool(kAllSlots.Section, kAllSlots.Name, module.AllSlots);
    for (std::size_t s = 0; s < kSlots.size(); ++s) ini.WriteBool(kSlots[s].Section, kSlots[s].Name, module.SlotChecked[s]);
}

// The fresh default file, then foreign sections up to `size` bytes.
void MakeFile(const std::string& path, std::size_t size)
{
    std::filesystem::remove(path);
    if (ksv::CreateDefaultSettingsFile(path).Result != ksv::TDefaultFileResult::Written) throw std::runtime_error(path);
    std::string filler;
    for (int n = 0; std::filesystem::file_size(path) + filler.size() < size; ++n)
        filler += "[Other " + std::to_string(n) + "]\r\nkey=some value of another program, n " + std::to_string(n) +
                  "\r\n";
    std::ofstream(path, std::ios::binary | std::ios::app) << filler;
}

template <typename TSave> void Measure(const char* name, const std::string& path, std::size_t size, TSave save)
{
    MakeFile(path, size);
    ksv::TIniFile ini(path);
    const ksv::TFileIoCounts before = ksv::FileIoCounts();
    const auto start = std::chrono::steady_clock::now();
    for (int run = 0; run < kRuns; ++run) save(ini, App(run % 2 == 0), Module(run % 2 == 0));
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    const ksv::TFileIoCounts after = ksv::FileIoCounts();
    std::printf("%-12s %9zu %13.1f %7.1f %9.2f\n", name, static_cast<std::size_t>(std::filesystem::file_size(path)),
                double(after.Replacements - before.Replacements) / kRuns, double(after.Syncs - before.Syncs) / kRuns,
                took.count() / kRuns);
}

} // namespace

int main(int argc, char** argv)
{
    const std::filesystem::path base = argc > 1 ? argv[1] : std::filesystem::current_path();
    const std::filesystem::path dir = base / "settings_bench.scratch";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "Ksv27_Vorn.ini").string();
    const auto oneSave = [](ksv::TIniFile& ini, const ksv::TAppSnapshot& a, const ksv::TModuleSnapshot& m) {
        const ksv::TSaveOutcome out = ksv::SaveSettings(ini, a, m);
        if (!out.AppSaved || !out.ModuleSaved) throw std::runtime_error(out.AppError);
    };
    std::printf("%-12s %9s %13s %7s %9s\n", "save", "bytes", "replacements", "fsyncs", "ms/save");
    for (const std::size_t size : {std::size_t(0), std::size_t(300) << 10}) {
        Measure("one batch", path, size, oneSave);
        Measure("key by key", path, size, SaveKeyByKey);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
