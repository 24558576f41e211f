// The key table, the default file byte for byte, and what a load takes from
// the file and a save puts into it.
#include "TestFiles.h"

#include "SettingsKeys.h"
#include "SettingsFolderOverride.h"
#include "SettingsLoadSave.h"
#include "SettingsPath.h"

namespace ksv {
namespace {

using ksv::test::Cp;

// A freshly created "Ksv27_Vorn.ini": no blank lines between sections.
const std::string kFreshFile = Cp("[Приложение. Общие]\r\n"
                                  "Сохранение настроек=0\r\n"
                                  "Top    основной панели=-1\r\n"
                                  "Left   основной панели=-1\r\n"
                                  "Источник загрузки корректировочных коэфф.=0\r\n"
                                  "[Приложение. Обнаружение]\r\n"
                                  "Серийный номер KSV крейта=\r\n"
                                  "Слот модуля=-1\r\n"
                                  "[Модуль KSV27]\r\n"
                                  "Индекс частоты опроса=0\r\n"
                                  "Mаксимальное время сбора данных, с=1\r\n"
                                  "Групповое управление слотами=1\r\n"
                                  "Управление слотом 1=1\r\n"
                                  "Управление слотом 2=1\r\n"
                                  "Управление слотом 3=1\r\n"
                                  "Управление слотом 4=1\r\n"
                                  "Управление слотом 5=1\r\n"
                                  "Управление слотом 6=1\r\n"
                                  "Управление слотом 7=0\r\n"
                                  "Управление слотом 8=0\r\n");

const std::array<std::string, 8> kAllFitted = {"U10", "I5", "R100", "T", "U01", "I20", "R250", "X1"};

class SettingsTest : public test::TScratch {
protected:
    void SetUp() override
    {
        TScratch::SetUp();
        Path = SettingsPath(Dir.string());
    }
    std::string Path;
};

TEST(SettingsKeys, NamesAreByteExact)
{
    const std::string top = Cp(keys::kWindowTop.Name), left = Cp(keys::kWindowLeft.Name);
    EXPECT_EQ(top.size(), 22u);
    EXPECT_EQ(left.size(), 22u);
    EXPECT_EQ(top.substr(0, 7), "Top    ");
    EXPECT_EQ(left.substr(0, 7), "Left   ");
    const std::string time = Cp(keys::kAcquisitionTime.Name);
    EXPECT_EQ(time[0], '\x4D');               // Latin M
    EXPECT_EQ(time.substr(1, 2), "\xE0\xEA"); // Cyrillic "ак"
    EXPECT_EQ(Cp(keys::kCoefficientSource.Name).back(), '.');
    for (int n = 1; n <= 8; ++n)
        EXPECT_EQ(keys::SlotKey(n).Name, std::string(keys::kSlotKeyPrefix) + std::to_string(n));
    EXPECT_THROW(keys::SlotKey(9), std::out_of_range);
}

TEST_F(SettingsTest, DefaultFileBytes)
{
    ASSERT_EQ(EnsureSettingsFile(Path).Result, TEnsureResult::Ready);
    EXPECT_EQ(Slurp(Path), kFreshFile);
    // An existing file is left alone.
    Put(Path, "[x]\n");
    ASSERT_EQ(EnsureSettingsFile(Path).Result, TEnsureResult::Ready);
    EXPECT_EQ(Slurp(Path), "[x]\n");
    EXPECT_EQ(EnsureSettingsFile(PathOf("no/Ksv27_Vorn.ini")).Result, TEnsureResult::CreateFailed);
    EXPECT_EQ(CreateDefaultSettingsFile("").Result, TDefaultFileResult::EmptyPath);
}

TEST_F(SettingsTest, DefaultRewriteResetsKnownKeysInPlaceAndKeepsTheRest)
{
    Put(Path, Cp("; мои заметки\r\n[Приложение. Общие]\r\nСохранение настроек=1\r\nЧужой ключ=x\r\n\r\n"
                 "[Модуль KSV27]\r\nMаксимальное время сбора данных, с=2.5\r\n[Чужой раздел]\r\na=b"));
    const TDefaultFileOutcome out = CreateDefaultSettingsFile(Path);
    ASSERT_EQ(out.Result, TDefaultFileResult::Written) << out.Error;
    const std::string after = Slurp(Path);
    EXPECT_EQ(after.find(Cp("; мои заметки\r\n[Приложение. Общие]\r\nСохранение настроек=0\r\nЧужой ключ=x\r\n"
                            "Top    основной панели=-1\r\n")),
              0u);
    EXPECT_NE(after.find(Cp("[Модуль KSV27]\r\nMаксимальное время сбора данных, с=1\r\n")), std::string::npos);
    EXPECT_NE(after.find(Cp("[Чужой раздел]\r\na=b\r\n[Приложение. Обнаружение]\r\n")), std::string::npos);
}

TEST_F(SettingsTest, DefaultFileFailureNamesThePart)
{
    const TDefaultFileOutcome out = CreateDefaultSettingsFile(PathOf("no/Ksv27_Vorn.ini"));
    EXPECT_EQ(out.Result, TDefaultFileResult::AppPartFailed);
    EXPECT_EQ(out.Error, "Unable to write to " + PathOf("no/Ksv27_Vorn.ini"));
}

TEST_F(SettingsTest, SlotRulesOfTheModuleLoad)
{
    const std::array<std::string, 8> someEmpty = {"U10", "EMPTY", "UDEF", "empty", "T", "I5", "R100", "R250"};

    // Group flag off and no slot keys: every fitted slot takes the default, on.
    Put(Path, Cp("[Модуль KSV27]\r\nГрупповое управление слотами=0\r\n"));
    TModuleSettings s = ReadModuleSettings(TIniFile(Path), someEmpty);
    EXPECT_FALSE(s.AllSlots);
    EXPECT_EQ(s.SlotEnabled, (std::array<bool, 8>{true, false, false, true, true, true, true, true}));

    // The fresh file: group on, so every fitted slot is on, 7 and 8 included.
    Put(Path, kFreshFile);
    s = ReadModuleSettings(TIniFile(Path), kAllFitted);
    EXPECT_TRUE(s.AllSlots);
    EXPECT_EQ(s.SlotEnabled, (std::array<bool, 8>{true, true, true, true, true, true, true, true}));

    // The fresh file's slot keys with the group off: 7 and 8 are off.
    TIniFile(Path).WriteBool(keys::kAllSlots.Section, keys::kAllSlots.Name, false);
    s = ReadModuleSettings(TIniFile(Path), kAllFitted);
    EXPECT_EQ(s.SlotEnabled, (std::array<bool, 8>{true, true, true, true, true, true, false, false}));

    // A slot key "1" does not enable a slot without a mezzanine.
    Put(Path, Cp("[Модуль KSV27]\r\nГрупповое управление слотами=0\r\nУправление слотом 2=1\r\n"
                 "Управление слотом 1=0\r\n"));
    s = ReadModuleSettings(TIniFile(Path), someEmpty);
    EXPECT_EQ(s.SlotEnabled, (std::array<bool, 8>{false, false, false, true, true, true, true, true}));
}

TEST_F(SettingsTest, ModuleValuesOfTheLoad)
{
    const struct {
        const char* Lines;
        std::int32_t Rate;
        double Time;
    } rows[] = {
        {"Индекс частоты опроса=0x3\r\n", 3, 1.0},
        {"Индекс частоты опроса=abc\r\n", 0, 1.0},
        {"Индекс частоты опроса=9\r\n", 9, 1.0}, // out of 0..7: the window selects nothing
        {"Mаксимальное время сбора данных, с=0,5\r\n", 0, 1.0},
        {"Mаксимальное время сбора данных, с=0.5\r\n", 0, 0.5},
        {"МАКСИМАЛЬНОЕ время сбора данных, с=0.5\r\n", 0, 1.0}, // Cyrillic М: another key
        {"mАКСИМАЛЬНОЕ ВРЕМЯ СБОРА ДАННЫХ, С = 2\r\n", 0, 2.0},
    };
    for (const auto& r : rows) {
        Put(Path, Cp(std::string("[Модуль KSV27]\r\n") + r.Lines));
        const TModuleSettings s = ReadModuleSettings(TIniFile(Path), kAllFitted);
        EXPECT_EQ(s.RateIndex, r.Rate) << r.Lines;
        EXPECT_EQ(s.AcquisitionTime, r.Time) << r.Lines;
    }
}

TEST_F(SettingsTest, DiscoveryReads)
{
    TIniFile ini(Path);
    EXPECT_FALSE(ReadAutoSave(ini));
    EXPECT_EQ(ReadWindowPosition(ini).Top, -1);
    EXPECT_EQ(ReadWindowPosition(ini).Left, -1);
    EXPECT_EQ(ReadWantedModule(ini).CrateSerial, "");
    EXPECT_EQ(ReadWantedModule(ini).Slot, -1);

    Put(Path, Cp("[приложение. общие]\r\nСохранение настроек=2\r\nTOP    основной панели=120\r\n"
                 "Left основной панели=5\r\n[Приложение. Обнаружение]\r\nСерийный номер KSV крейта=  1A-77  \r\n"
                 "Слот модуля=7\r\n"));
    EXPECT_TRUE(ReadAutoSave(ini));
    EXPECT_EQ(ReadWindowPosition(ini).Top, 120);
    EXPECT_EQ(ReadWindowPosition(ini).Left, -1); // one space is not three
    EXPECT_EQ(ReadWantedModule(ini).CrateSerial, "1A-77");
    EXPECT_EQ(ReadWantedModule(ini).Slot, 7);
    ini.WriteInteger(keys::kModuleSlot.Section, keys::kModuleSlot.Name, 65537);
    EXPECT_EQ(ReadWantedModule(ini).Slot, -1); // not wrapped round to slot 1
}

TEST_F(SettingsTest, SaveWritesSerialAndSlotOnlyForASelection)
{
    Put(Path, kFreshFile);
    TIniFile ini(Path);
    ini.WriteString(keys::kCrateSerial.Section, keys::kCrateSerial.Name, "OLD");
    ini.WriteInteger(keys::kModuleSlot.Section, keys::kModuleSlot.Name, 3);

    TAppSnapshot app;
    app.AutoSave = true;
    app.Top = 10;
    app.Left = 20;
    app.CrateSerial = "NEW";
    app.ModuleSlot = 5;
    WriteAppSettings(ini, app); // no crate selected
    EXPECT_EQ(ReadWantedModule(ini).CrateSerial, "OLD");
    EXPECT_EQ(ReadWantedModule(ini).Slot, 3);
    EXPECT_EQ(ReadWindowPosition(ini).Left, 20);

    app.CrateIndex = 0; // a crate, no module
    WriteAppSettings(ini, app);
    EXPECT_EQ(ReadWantedModule(ini).CrateSerial, "NEW");
    EXPECT_EQ(ReadWantedModule(ini).Slot, 3);

    app.ModuleIndex = 1;
    WriteAppSettings(ini, app);
    EXPECT_EQ(ReadWantedModule(ini).Slot, 5);
    EXPECT_NE(Slurp(Path).find(Cp("Сохранение настроек=1\r\n")), std::string::npos);
}

TEST_F(SettingsTest, ModuleSaveNeverTouchesTimeOrCoefficientSource)
{
    Put(Path, kFreshFile);
    TIniFile ini(Path);
    ini.WriteFloat(keys::kAcquisitionTime.Section, keys::kAcquisitionTime.Name, 2.5);
    TModuleSnapshot module;
    module.RateIndex = -1;
    module.AllSlots = false;
    module.SlotChecked = {true, false, true, false, true, false, true, true};
    WriteModuleSettings(ini, module);

    std::string expected = kFreshFile;
    const auto replace = [&](std::string_view from, std::string_view to) {
        const std::string f = Cp(from);
        expected.replace(expected.find(f), f.size(), Cp(to));
    };
    replace("опроса=0", "опроса=-1");
    replace("данных, с=1", "данных, с=2.5");
    replace("слотами=1", "слотами=0");
    replace("слотом 2=1", "слотом 2=0");
    replace("слотом 4=1", "слотом 4=0");
    replace("слотом 6=1", "слотом 6=0");
    replace("слотом 7=0", "слотом 7=1");
    replace("слотом 8=0", "слотом 8=1");
    EXPECT_EQ(Slurp(Path), expected);
}

TEST_F(SettingsTest, FailedAppPartStillTriesTheModulePart)
{
    TIniFile ini(PathOf("no/Ksv27_Vorn.ini"));
    const TSaveOutcome out = SaveSettings(ini, TAppSnapshot{}, TModuleSnapshot{});
    EXPECT_FALSE(out.AppSaved);
    EXPECT_FALSE(out.ModuleSaved);
    EXPECT_EQ(out.AppError, "Unable to write to " + ini.FileName());
    EXPECT_EQ(out.ModuleError, out.AppError);

    TIniFile good(Path);
    const TSaveOutcome ok = SaveSettings(good, TAppSnapshot{}, TModuleSnapshot{});
    EXPECT_TRUE(ok.AppSaved && ok.ModuleSaved);
}

TEST(SettingsPath, BesideTheExecutable)
{
    // The system's own separator: '/', or '\\' on Windows.
    const std::string sep(1, kPathSeparator);
#ifdef _WIN32
    const char* program = "settings_tests.exe";
#else
    const char* program = "settings_tests";
#endif
    EXPECT_EQ(SettingsPath("/opt/vorn"), "/opt/vorn" + sep + "Ksv27_Vorn.ini");
    EXPECT_EQ(SettingsPath(sep), sep + "Ksv27_Vorn.ini");
    EXPECT_EQ(SettingsPath(""), "");
    const std::string folder = ExecutableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), kPathSeparator);
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(folder) / program));
    EXPECT_EQ(ActiveSettingsPath(), folder + sep + "Ksv27_Vorn.ini");
}

} // namespace
} // namespace ksv
