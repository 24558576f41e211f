// Saving from the window: what Ctrl+S, the button and the close handler
// write (byte for byte, in place), the default rewrite, the save controls,
// and writes that the file system refuses.
#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>

#include "FormControls.h"
#include "SettingsWindowSupport.h"
#include "FileIo.h"

namespace {

using ksv::test::Ini;
using ksv::test::Put;
using ksv::test::Slurp;
using ksv::test::TSettingsWindow;
using SettingsWindowSave = TSettingsWindow;

// A file as a user might have it: the coefficient source and the time set by
// hand, a comment, a key of someone else's.
std::string HandFile(const char* serialLine = "Серийный номер KSV крейта=OLD1", const char* slotLine = "Слот модуля=3",
                     const char* app = "Сохранение настроек=0", const char* top = "Top    основной панели=-1",
                     const char* left = "Left   основной панели=-1", const char* rate = "Индекс частоты опроса=0",
                     const char* group = "Групповое управление слотами=1",
                     std::array<const char*, 8> slotValues = {"1", "1", "1", "1", "1", "1", "0", "0"})
{
    std::string s[8];
    for (std::size_t i = 0; i < 8; ++i) s[i] = "Управление слотом " + std::to_string(i + 1) + "=" + slotValues[i];
    return ksv::test::Ini({"[Приложение. Общие]", app, top, left, "Источник загрузки корректировочных коэфф.=7",
                           "; kept by hand", "[Приложение. Обнаружение]", serialLine, slotLine,
                           "[Модуль KSV27]", rate, "Mаксимальное время сбора данных, с=2.5", group, s[0], s[1],
                           s[2], s[3], s[4], s[5], s[6], s[7], "Чужой ключ=x"});
}

class SettingsWindowSaveScene : public TSettingsWindow {
protected:
    // Auto-save on, the window at left 123 / top 45, rate 5, the group off,
    // slot 6 without a mezzanine, two crates with one and two modules.
    void SetUp() override
    {
        TSettingsWindow::SetUp();
        Fit({"U10", "I5", "R100", "T", "X1", "EMPTY", "U01", "I20"});
        auto& inv = Window->Device().State().Inventory;
        inv.Ksv27CrateCount = 2;
        ksv::SetFieldText(inv.Ksv27CrateSerials[0], "C-1");
        ksv::SetFieldText(inv.Ksv27CrateSerials[1], "C-2");
        inv.Ksv27ModuleCount[0] = 1;
        inv.Ksv27ModuleCount[1] = 2;
        inv.Ksv27Slots[0][0] = 2;
        inv.Ksv27Slots[1][0] = 4;
        inv.Ksv27Slots[1][1] = 9;
        Quietly([&] {
            // One entry more than the inventory holds, as a stale list would.
            FORM_UI(Window, KsvCratesComboBox)->addItems({"C-1", "C-2", "stale"});
            FORM_UI(Window, ModulesComboBox)->addItems({"m1", "m2"});
            FORM_UI(Window, AutoSaveSettingsLMDCheckBox)->setChecked(true);
            FORM_UI(Window, AdcRateLMDComboBox)->setCurrentIndex(5);
            FORM_UI(Window, AllSlotsLMDCheckBox)->setChecked(false);
            const bool on[8] = {true, false, true, true, true, false, false, true};
            for (std::size_t s = 0; s < 8; ++s) Frame(s).SlotNumberLMDCheckBox->setChecked(on[s]);
        });
        Window->move(123, 45);
        Select(-1, -1); // filling a list selects its first entry
    }

    void Select(int crate, int module)
    {
        Quietly([&] {
            FORM_UI(Window, KsvCratesComboBox)->setCurrentIndex(crate);
            FORM_UI(Window, ModulesComboBox)->setCurrentIndex(module);
        });
    }

    // The hand file after a save of this scene.
    static std::string Saved(const char* serialLine, const char* slotLine,
                             const char* rate = "Индекс частоты опроса=5")
    {
        return HandFile(serialLine, slotLine, "Сохранение настроек=1", "Top    основной панели=45",
                        "Left   основной панели=123", rate, "Групповое управление слотами=0",
                        {"1", "0", "1", "1", "1", "0", "0", "1"});
    }
};

TEST_F(SettingsWindowSaveScene, CtrlSWritesTheControlsInPlaceAndTheSelectionOnlyWhenItNamesOne)
{
    Window->StartupPhase = 3; // shown without the start-up discovery
    Window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    Window->move(123, 45);
    ASSERT_EQ(Window->frameGeometry().topLeft(), QPoint(123, 45));
    Put(Path, HandFile());
    QTest::keyClick(Window.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(Slurp(Path), Saved("Серийный номер KSV крейта=OLD1", "Слот модуля=3"));
    EXPECT_NE(Window->SettingsIniFile(), nullptr);

    const struct {
        int Crate, Module;
        const char *Serial, *Slot;
    } rows[] = {
        {1, -1, "Серийный номер KSV крейта=C-2", "Слот модуля=3"},
        {1, 1, "Серийный номер KSV крейта=C-2", "Слот модуля=9"},
        {0, 1, "Серийный номер KSV крейта=C-1", "Слот модуля=3"},  // crate 1 has one module
        {2, 0, "Серийный номер KSV крейта=OLD1", "Слот модуля=3"}, // a list entry no crate backs
    };
    for (const auto& row : rows) {
        Put(Path, HandFile());
        Select(row.Crate, row.Module);
        Window->Settings().SaveIniFile(Path);
        EXPECT_EQ(Slurp(Path), Saved(row.Serial, row.Slot)) << row.Crate << "/" << row.Module;
    }
    Quietly([&] { FORM_UI(Window, AdcRateLMDComboBox)->setCurrentIndex(-1); });
    Select(1, 0);
    Put(Path, HandFile());
    Window->Settings().SaveIniFile(Path);
    EXPECT_EQ(Slurp(Path), Saved("Серийный номер KSV крейта=C-2", "Слот модуля=4", "Индекс частоты опроса=-1"));
    EXPECT_TRUE(Shown.empty()) << Texts().join('|').toStdString();
}

// A folder that takes no new file (the seam works as root too): Ctrl+S and
// the default rewrite still save, each with one replacement of the file; only
// a file that refuses as well brings the box.
TEST_F(SettingsWindowSaveScene, LockedFolderStillSavesOnceAndAFileThatRefusesTooIsOneBox)
{
    Window->StartupPhase = 3;
    Window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    Window->move(123, 45);
    Put(Path, HandFile());
    struct TLift {
        ~TLift() { ksv::SetWriteRefusal(nullptr); }
    } lift;
    ksv::SetWriteRefusal([](const std::string& path) { return path.find(".tmp") != std::string::npos; });
    ksv::TFileIoCounts before = ksv::FileIoCounts();
    QTest::keyClick(Window.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(Slurp(Path), Saved("Серийный номер KSV крейта=OLD1", "Слот модуля=3"));
    EXPECT_EQ(ksv::FileIoCounts().Replacements - before.Replacements, 1u);
    before = ksv::FileIoCounts();
    Window->SaveDefaultSettings->trigger();
    EXPECT_EQ(ksv::FileIoCounts().Replacements - before.Replacements, 1u);
    EXPECT_EQ(ksv::TIniFile(Path).ReadInteger("Модуль KSV27", "Индекс частоты опроса", 9), 0);
    EXPECT_TRUE(Shown.empty()) << Texts().join('|').toStdString();

    const std::string old = Slurp(Path);
    ksv::SetWriteRefusal([](const std::string&) { return true; });
    Window->Settings().SaveIniFile(Path);
    ASSERT_EQ(Shown.size(), 1u) << Texts().join('|').toStdString();
    EXPECT_EQ(Shown[0].Text, QString::fromStdString("Unable to write to " + Path));
    EXPECT_EQ(Slurp(Path), old);
}

TEST_F(SettingsWindowSaveScene, AutoSaveDefaultRewriteAndCloseKeepOnlyTheNeverSavedKeysAtDefault)
{
    // The close handler writes beside the executable (this test program's own folder).
    const std::string path = ksv::ActiveSettingsPath();
    ksv::SetSettingsFolderOverride(std::filesystem::path(path).parent_path().string());
    ASSERT_EQ(ksv::ActiveSettingsPath(), path);
    Put(path, HandFile());
    Select(1, 1);

    Window->SaveDefaultSettings->trigger();
    ksv::TIniFile ini(path);
    EXPECT_DOUBLE_EQ(ini.ReadFloat("Модуль KSV27", "Mаксимальное время сбора данных, с", 0), 1.0);
    EXPECT_EQ(ini.ReadInteger("Модуль KSV27", "Индекс частоты опроса", 9), 0);
    EXPECT_EQ(FORM_UI(Window, AdcRateLMDComboBox)->currentIndex(), 5); // the window is not touched
    EXPECT_TRUE(FORM_UI(Window, AutoSaveSettingsLMDCheckBox)->isChecked());

    Api.Opened = true;
    Window->close();
    EXPECT_EQ(Api.CloseCalls, 1);
    EXPECT_EQ(Window->SettingsIniFile(), nullptr);
    const std::string bytes = Slurp(path);
    std::filesystem::remove(path);
    const auto has = [&](const char* line) { return bytes.find(Ini({line})) != std::string::npos; };
    for (const char* line :
         {"Сохранение настроек=1", "Top    основной панели=45", "Left   основной панели=123",
          "Источник загрузки корректировочных коэфф.=0", "Серийный номер KSV крейта=C-2", "Слот модуля=9",
          "Индекс частоты опроса=5", "Mаксимальное время сбора данных, с=1", "Групповое управление слотами=0",
          "Управление слотом 1=1", "Управление слотом 2=0", "Управление слотом 6=0", "Управление слотом 8=1"})
        EXPECT_TRUE(has(line)) << line;
    EXPECT_TRUE(Shown.empty()) << Texts().join('|').toStdString();
}

TEST_F(SettingsWindowSave, GrayedGroupIsSavedOffSoTheMixedChoiceComesBack)
{
    Fit({"U10", "U10", "U10", "U10", "U10", "U10", "U10", "U10"});
    ASSERT_TRUE(Window->Settings().CreateDefaultIniFile(Path));
    Window->SettingsIniFile()->WriteBool("Модуль KSV27", "Групповое управление слотами", false);
    ASSERT_TRUE(Window->Settings().LoadModuleSettings(Window->SettingsIniFile().get()));
    ASSERT_EQ(FORM_UI(Window, AllSlotsLMDCheckBox)->checkState(), Qt::PartiallyChecked);
    Window->Settings().SaveIniFile(Path);
    ksv::TIniFile ini(Path);
    EXPECT_FALSE(ini.ReadBool("Модуль KSV27", "Групповое управление слотами", true));
    ASSERT_TRUE(Window->Settings().LoadModuleSettings(&ini));
    EXPECT_EQ(FORM_UI(Window, AllSlotsLMDCheckBox)->checkState(), Qt::PartiallyChecked);
    EXPECT_FALSE(Frame(7).SlotNumberLMDCheckBox->isChecked());
}

TEST_F(SettingsWindowSave, DefaultFileNeedsAPathAndAnObject)
{
    ASSERT_TRUE(Window->Settings().CreateDefaultIniFile(Path));
    EXPECT_FALSE(Window->Settings().CreateDefaultIniFile(""));
    EXPECT_EQ(Window->SettingsIniFile(), nullptr); // released before the path was looked at
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Shown[0].Text, "Неправильное название файла штатных настроек!");
    EXPECT_EQ(Shown[0].Caption, "ОШИБКА CreateDefaultIniFile()!");
    EXPECT_EQ(Shown[0].Kind, ksv::TDialogKind::Information);
    using ksv::TSettingsController;
    for (auto member : {&TSettingsController::WriteDefaultAppSettings, &TSettingsController::WriteDefaultModuleSettings,
                        &TSettingsController::WriteAppSettings, &TSettingsController::WriteModuleSettings,
                        &TSettingsController::LoadSettings})
        EXPECT_FALSE((Window->Settings().*member)(nullptr));
}

TEST_F(SettingsWindowSave, RefusedWriteShowsOneBoxAndEveryCallerFinishesItsSteps)
{
    const auto expectOneRefusal = [&](const std::string& path) {
        ASSERT_EQ(Shown.size(), 1u) << Texts().join('|').toStdString();
        EXPECT_EQ(Shown[0].Text, QString::fromStdString("Unable to write to " + path));
        Shown.clear();
    };
    // The settings folder is a file.
    const std::string blocked = Scratch.filePath("blocked").toStdString();
    Put(blocked, "not a folder");
    ksv::SetSettingsFolderOverride(blocked);
    const std::string path = ksv::ActiveSettingsPath();
    FORM_UI(Window, SaveSettingsButton)->click();
    expectOneRefusal(path);
    EXPECT_TRUE(FORM_UI(Window, SaveSettingsButton)->isEnabled());
    EXPECT_FALSE(Window->HandlerBusy);
    EXPECT_FALSE(Window->Settings().CreateDefaultIniFile(path));
    expectOneRefusal(path);
    EXPECT_NE(Window->SettingsIniFile(), nullptr);

    // The close handler's auto-save saves to the settings path in force,
    // whose place is taken by a folder here.
    const std::string closeFolder = Scratch.filePath("closing").toStdString();
    std::filesystem::create_directory(closeFolder);
    ksv::SetSettingsFolderOverride(closeFolder);
    const std::string closePath = ksv::ActiveSettingsPath();
    ASSERT_EQ(closePath, ksv::ActiveSettingsPath());
    std::filesystem::create_directory(closePath);
    Quietly([&] { FORM_UI(Window, AutoSaveSettingsLMDCheckBox)->setChecked(true); });
    Api.Opened = true;
    EXPECT_NO_THROW(Window->FormClose());
    std::filesystem::remove(closePath);
    expectOneRefusal(closePath);
    EXPECT_EQ(Api.CloseCalls, 1);
    EXPECT_EQ(Window->SettingsIniFile(), nullptr);
    EXPECT_FALSE(Window->HandlerBusy);

    // No file may grow past 16 bytes: the first write fails, the old file stays whole.
    const std::string old = Ini({"[x]"});
    Put(Path, old);
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    Window->Settings().SaveIniFile(Path);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    expectOneRefusal(Path);
    EXPECT_EQ(Slurp(Path), old);
}

TEST_F(SettingsWindowSave, SaveButtonFollowsAutoSaveAndComesBackEnabledAfterAResponsivePause)
{
    QPushButton* button = FORM_UI(Window, SaveSettingsButton);
    FORM_UI(Window, AutoSaveSettingsLMDCheckBox)->setChecked(true);
    EXPECT_FALSE(button->isEnabled());
    FORM_UI(Window, AutoSaveSettingsLMDCheckBox)->setChecked(false);
    EXPECT_TRUE(button->isEnabled());
    Quietly([&] { FORM_UI(Window, AutoSaveSettingsLMDCheckBox)->setChecked(true); });
    EXPECT_TRUE(button->isEnabled()); // the guard held
    Window->Settings().AutoSaveSettingsLMDCheckBoxChange();
    EXPECT_FALSE(button->isEnabled());

    // From the menu with auto-save on: a timer fires during the pause.
    bool fired = false, disabledMeanwhile = false;
    QTimer::singleShot(150, Window.get(), [&] {
        fired = true;
        disabledMeanwhile = !button->isEnabled() && Window->HandlerBusy;
    });
    QElapsedTimer took;
    took.start();
    Window->SaveCurrentSettings->trigger();
    EXPECT_GE(took.elapsed(), 500);
    EXPECT_TRUE(fired);
    EXPECT_TRUE(disabledMeanwhile);
    EXPECT_TRUE(button->isEnabled());
    EXPECT_FALSE(Window->HandlerBusy);
    EXPECT_TRUE(ksv::TIniFile(Path).ReadBool("Приложение. Общие", "Сохранение настроек", false));

    // While another handler runs, a save does nothing.
    std::filesystem::remove(Path);
    Window->HandlerBusy = true;
    Window->Settings().SaveSettingsButtonClick();
    EXPECT_FALSE(std::filesystem::exists(Path));
    EXPECT_TRUE(Window->HandlerBusy);
    EXPECT_TRUE(Shown.empty()) << Texts().join('|').toStdString();
}

} // namespace
