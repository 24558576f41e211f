// Discovery end to end through the real window: the simulated crate server
// plays the crates, the build's two libraries talk to it, the settings file
// lives in a temporary folder, and every modal message is recorded instead
// of shown.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <stdexcept>

#include "FormControls.h"
#include "Initandconfigthread.h"
#include "Ksv27adcchannelpanel.h"
#include "Ksv27mainform.h"
#include "MessagePump.h"
#include "ModalDialogs.h"
#include "SimServerProcess.h"
#include "TKsvApi.h"
#include "TLed.h"
#include "Version.h"
#include "IniFile.h"
#include "SettingsFolderOverride.h"
#include "SettingsKeys.h"

using ksv::TInitAndConfigThread;
namespace text = ksv::discovery_text;

namespace {

// Crate CR-A: KSV27 in slots 3 and 7; CR-B: a foreign module in slot 2 and
// KSV27 in slots 5 and 9. The firmware texts read the same both ways; the
// byte order of the word is the inventory tests' concern.
const char* const kTwoCrates = R"json({ "crates": [
  { "serial": "CR-A", "slots": [ { "slot": 3, "serial": "MOD-A3", "firmware": "1.2.3.4" },
                                 { "slot": 7, "serial": "MOD-A7", "firmware": "9.0.0.9" } ] },
  { "serial": "CR-B", "slots": [ { "slot": 2, "id": 4660 },
                                 { "slot": 5, "serial": "MOD-B5", "firmware": "5.6.6.5" },
                                 { "slot": 9, "serial": "MOD-B9", "firmware": "3.7.7.3" } ] } ] })json";

const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

class Discovery : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(settingsDir.isValid());
        ksv::SetSettingsFolderOverride(settingsDir.path().toStdString());
        ksv::SetModalHandler([this](const ksv::TModalRequest& request) {
            messages.push_back(request);
            return int(QMessageBox::Ok);
        });
    }

    void TearDown() override
    {
        if (window) {
            WaitIdle();
            window->close();
            window.reset();
        }
        TInitAndConfigThread::SetStepHook({});
        ksv::SetSettingsFolderOverride({});
        ksv::SetModalHandler({});
        if (server.Running()) server.Stop();
    }

    void Serve(const char* json)
    {
        ASSERT_TRUE(server.Start(std::string(json))) << server.Error();
        server.ExportPort();
    }
    // A port on which nobody listens: the one of a server that has ended.
    void NoServer()
    {
        Serve(kTwoCrates);
        server.Stop();
    }

    bool Idle() const
    {
        return window->DiscoveryRequestAllowed && !window->DiscoveryRunning && InitAndConfigThread == nullptr;
    }
    void WaitIdle()
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!Idle() && std::chrono::steady_clock::now() < end) ksv::SleepAndProcessMessages(10);
        ASSERT_TRUE(Idle()) << "the discovery did not end";
    }
    // Runs `trigger` and waits for the discovery it requests; false when it requested none.
    bool Discover(const std::function<void()>& trigger)
    {
        trigger();
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (Idle() && std::chrono::steady_clock::now() < end) ksv::SleepAndProcessMessages(10);
        if (Idle()) return false;
        WaitIdle();
        return true;
    }
    // Runs a handler that must not request a discovery: a request would show
    // at once, since StartDiscovery takes the request token synchronously.
    bool RequestsNothing(const std::function<void()>& handler)
    {
        handler();
        ksv::SleepAndProcessMessages(50);
        return Idle();
    }
    // The start-up discovery of a new window.
    void Start()
    {
        window = std::make_unique<TMainForm>();
        ASSERT_TRUE(Discover([this] { window->show(); }));
    }

    QStringList Items(QComboBox* combo) const
    {
        QStringList items;
        for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
        return items;
    }
    std::string SettingsFile() const { return settingsDir.filePath("Ksv27_Vorn.ini").toStdString(); }
    QStringList MessageTexts() const
    {
        QStringList texts;
        for (const auto& m : messages) texts << m.Text;
        return texts;
    }
    // The state every discovery ends in, whatever happened in it.
    void ExpectControlsBack() const
    {
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_TRUE(FORM_UI(window, FindDeviceLMDButton)->isEnabled());
        EXPECT_TRUE(FORM_UI(window, KsvCratesComboBox)->isEnabled());
        EXPECT_TRUE(FORM_UI(window, ModulesComboBox)->isEnabled());
        EXPECT_TRUE(FORM_UI(window, MainLMDPageControl)->isEnabled());
        EXPECT_FALSE(window->HandlerBusy);
    }
    void ExpectUsable(const char* serial, const char* firmware) const
    {
        EXPECT_EQ(window->ModuleState(), 2);
        EXPECT_EQ(window->CrateStatusOk(), 1);
        EXPECT_EQ(FORM_UI(window, ModuleSerialNumberLMDLabel)->text(), U(serial));
        EXPECT_EQ(FORM_UI(window, ModuleFirmwareVersionLMDLabel)->text(), U(firmware));
        EXPECT_EQ(FORM_UI(window, KsvCrateStatusLed)->shownColor(), kGreen);
        EXPECT_EQ(FORM_UI(window, ModuleStatusLed)->shownColor(), kGreen);
        EXPECT_TRUE(FORM_UI(window, StartMultimeterLMDSimplePanel)->isVisibleTo(window.get()));
        EXPECT_TRUE(FORM_UI(window, StartMultimeterLMDSpeedButton)->isEnabled());
    }
    bool LampNeutral(TLed* lamp) const
    {
        return lamp->shownColor() == QApplication::palette().color(QPalette::Button);
    }

    QTemporaryDir settingsDir;
    ksv::simtest::SimServerProcess server;
    std::vector<ksv::TModalRequest> messages;
    std::unique_ptr<TMainForm> window;
};

TEST_F(Discovery, FirstStartCreatesTheSettingsFileAndOpensTheFirstModule)
{
    Serve(kTwoCrates);
    ASSERT_FALSE(QFile::exists(QString::fromStdString(SettingsFile())));
    Start();
    EXPECT_TRUE(MessageTexts().isEmpty()) << MessageTexts().join("|").toStdString();
    EXPECT_TRUE(QFile::exists(QString::fromStdString(SettingsFile())));
    EXPECT_EQ(Items(FORM_UI(window, KsvCratesComboBox)), (QStringList{"1: CR-A", "2: CR-B"}));
    EXPECT_EQ(Items(FORM_UI(window, ModulesComboBox)), (QStringList{U("Слот 3: KSV27"), U("Слот 7: KSV27")}));
    EXPECT_EQ(FORM_UI(window, KsvCratesComboBox)->currentIndex(), 0);
    EXPECT_EQ(FORM_UI(window, ModulesComboBox)->currentIndex(), 0);
    ExpectUsable("MOD-A3", "1.2.3.4");
    const QString title = QStringLiteral("KSV27_vorn - %1.%2.%3")
                              .arg(KSV27_VERSION_MAJOR)
                              .arg(KSV27_VERSION_MINOR)
                              .arg(KSV27_VERSION_RELEASE);
    EXPECT_EQ(window->windowTitle(), title);
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("KSV27_Vorn"))
        << "the toolkit's display name would be appended to every dialog's caption";
    EXPECT_EQ(FORM_UI(window, KsvCrateStatusLed)->toolTip(), U("Статус KSV крейта -> OK"));
    EXPECT_EQ(FORM_UI(window, ModuleStatusLed)->toolTip(), U("Статус модуля 'KSV27' -> OK"));
    ExpectControlsBack();
}

TEST_F(Discovery, WantedCrateSlotAndWindowPositionComeFromTheSettingsFile)
{
    Serve(kTwoCrates);
    {
        ksv::TIniFile ini(SettingsFile());
        ini.WriteString(ksv::keys::kCrateSerial.Section, ksv::keys::kCrateSerial.Name, "CR-B");
        ini.WriteInteger(ksv::keys::kModuleSlot.Section, ksv::keys::kModuleSlot.Name, 9);
        ini.WriteInteger(ksv::keys::kWindowTop.Section, ksv::keys::kWindowTop.Name, 40);
        ini.WriteInteger(ksv::keys::kWindowLeft.Section, ksv::keys::kWindowLeft.Name, 30);
    }
    Start();
    EXPECT_EQ(window->Device().State().Inventory.SelectedCrate, 1);
    EXPECT_EQ(FORM_UI(window, KsvCratesComboBox)->currentIndex(), 1);
    EXPECT_EQ(FORM_UI(window, ModulesComboBox)->currentIndex(), 1);
    ExpectUsable("MOD-B9", "3.7.7.3");
    EXPECT_EQ(window->pos(), QPoint(30, 40));

    // The find button looks for the module selected now, not the saved one,
    // and leaves the window where it is.
    window->move(200, 100);
    FORM_UI(window, AllSlotsLMDCheckBox)->setCheckState(Qt::Checked);
    ASSERT_TRUE(Discover([this] { FORM_UI(window, FindDeviceLMDButton)->click(); }));
    EXPECT_EQ(window->pos(), QPoint(200, 100));
    EXPECT_EQ(window->Device().State().Inventory.SelectedCrate, 1);
    ExpectUsable("MOD-B9", "3.7.7.3");
    EXPECT_TRUE(MessageTexts().isEmpty()) << MessageTexts().join("|").toStdString();
}

TEST_F(Discovery, ASavedPositionOutOfEveryScreenIsNotApplied)
{
    Serve(kTwoCrates);
    {
        ksv::TIniFile ini(SettingsFile());
        ini.WriteInteger(ksv::keys::kWindowTop.Section, ksv::keys::kWindowTop.Name, 3000);
        ini.WriteInteger(ksv::keys::kWindowLeft.Section, ksv::keys::kWindowLeft.Name, 5000);
    }
    Start();
    // Where it opens with no saved position: on the screen, all of it.
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(window->frameGeometry()));
    ExpectUsable("MOD-A3", "1.2.3.4");
}

TEST_F(Discovery, CrateAndModuleChanges)
{
    Serve(kTwoCrates);
    Start();

    // Choosing the crate or module already selected requests nothing.
    EXPECT_TRUE(RequestsNothing([this] { window->Device().KsvCratesComboBoxChange(); }));
    EXPECT_TRUE(RequestsNothing([this] { window->Device().ModulesComboBoxChange(); }));

    ASSERT_TRUE(Discover([this] { FORM_UI(window, ModulesComboBox)->setCurrentIndex(1); }));
    EXPECT_EQ(window->Device().State().Inventory.SelectedModuleInCrate[0], 1);
    ExpectUsable("MOD-A7", "9.0.0.9");
    EXPECT_EQ(FORM_UI(window, ModuleStatusLed)->toolTip(), U("Статус модуля 'KSV27' -> OK"));

    ASSERT_TRUE(Discover([this] { FORM_UI(window, KsvCratesComboBox)->setCurrentIndex(1); }));
    EXPECT_EQ(window->Device().State().Inventory.SelectedCrate, 1);
    EXPECT_EQ(Items(FORM_UI(window, ModulesComboBox)), (QStringList{U("Слот 5: KSV27"), U("Слот 9: KSV27")}));
    ExpectUsable("MOD-B5", "5.6.6.5");
    // A crate change reads no module name.
    EXPECT_EQ(FORM_UI(window, ModuleStatusLed)->toolTip(), U("Статус модуля '?\?\?' -> OK"));
    EXPECT_TRUE(MessageTexts().isEmpty()) << MessageTexts().join("|").toStdString();
    ExpectControlsBack();
}

TEST_F(Discovery, ServerNotRunning)
{
    NoServer();
    Start();
    ASSERT_EQ(MessageTexts(), QStringList{U(text::kNoCrate)});
    const ksv::TModalRequest& message = messages.front();
    EXPECT_EQ(message.Caption, U(text::kCaption));
    EXPECT_EQ(message.Kind, ksv::TDialogKind::Error);
    EXPECT_EQ(message.ButtonCaptions, QStringList{U(text::kAccepted)});
    EXPECT_EQ(FORM_UI(window, KsvCrateStatusLed)->shownColor(), kRed);
    EXPECT_EQ(FORM_UI(window, ModuleStatusLed)->shownColor(), kRed);
    EXPECT_EQ(FORM_UI(window, KsvCrateStatusLed)->toolTip(), U("Статус KSV крейта -> BAD"));
    EXPECT_EQ(FORM_UI(window, ModuleStatusLed)->toolTip(), U("Статус модуля '?\?\?' -> BAD"));
    EXPECT_EQ(FORM_UI(window, ModuleSerialNumberLMDLabel)->text(), "????????");
    EXPECT_EQ(FORM_UI(window, ModuleFirmwareVersionLMDLabel)->text(), "????????");
    EXPECT_EQ(FORM_UI(window, KsvCratesComboBox)->count(), 0);
    EXPECT_EQ(window->ModuleState(), 0);
    EXPECT_FALSE(FORM_UI(window, StartMultimeterLMDSimplePanel)->isVisibleTo(window.get()));
    ExpectControlsBack();

    // With no module, the combo handlers find nothing to choose.
    EXPECT_TRUE(RequestsNothing([this] { window->Device().ModulesComboBoxChange(); }));
    EXPECT_TRUE(RequestsNothing([this] { window->Device().KsvCratesComboBoxChange(); }));
}

TEST_F(Discovery, NoKsv27Anywhere)
{
    Serve(R"json({ "crates": [ { "serial": "CR-X", "slots": [ { "slot": 1, "id": 4660 } ] },
                               { "serial": "CR-Y", "slots": [] } ] })json");
    Start();
    EXPECT_EQ(MessageTexts(), QStringList{U(text::kNoKsv27)});
    EXPECT_EQ(FORM_UI(window, KsvCrateStatusLed)->shownColor(), kRed);
    EXPECT_EQ(FORM_UI(window, ModuleStatusLed)->shownColor(), kRed);
    EXPECT_EQ(window->Device().State().Inventory.CrateCount, 2);
    EXPECT_EQ(window->Device().State().Inventory.Ksv27CrateCount, 0);
    ExpectControlsBack();
}

TEST_F(Discovery, ChosenModuleOrCrateFailingToOpenKeepsTheResetDisplay)
{
    Serve(kTwoCrates);
    Start();
    std::string reply;
    ASSERT_TRUE(server.Control("fault crate=CR-A slot=7 open=fail", &reply)) << reply;
    ASSERT_TRUE(Discover([this] { FORM_UI(window, ModulesComboBox)->setCurrentIndex(1); }));
    EXPECT_EQ(MessageTexts(), QStringList{U(text::kModuleOpenFailed)});
    EXPECT_EQ(window->ModuleState(), 0);
    EXPECT_TRUE(LampNeutral(FORM_UI(window, ModuleStatusLed)));
    EXPECT_EQ(FORM_UI(window, ModuleStatusLed)->toolTip(), U("Статус модуля '?\?\?'-> ???"));
    EXPECT_EQ(FORM_UI(window, ModuleSerialNumberLMDLabel)->text(), "????????");
    EXPECT_FALSE(FORM_UI(window, StartMultimeterLMDSimplePanel)->isVisibleTo(window.get()));
    ExpectControlsBack();

    messages.clear();
    ASSERT_TRUE(server.Control("fault crate=CR-B slot=5 open=fail", &reply)) << reply;
    ASSERT_TRUE(Discover([this] { FORM_UI(window, KsvCratesComboBox)->setCurrentIndex(1); }));
    EXPECT_EQ(MessageTexts(), QStringList{U(text::kCrateOpenFailed)});
    EXPECT_EQ(window->CrateStatusOk(), 0);
    EXPECT_TRUE(LampNeutral(FORM_UI(window, KsvCrateStatusLed)));
    EXPECT_EQ(FORM_UI(window, KsvCrateStatusLed)->toolTip(), U("Статус KSV крейта -> ???"));
    ExpectControlsBack();
}

// Whatever the mode, a module that did not open leaves the window as with no
// module, and a later successful discovery gives everything back.
TEST_F(Discovery, AModuleThatDidNotOpenIsNeverOfferedForMeasurement)
{
    Serve(kTwoCrates);
    Start();
    const auto expectNoModule = [this](const char* what) {
        EXPECT_NE(window->ModuleState(), 2) << what;
        EXPECT_NE(ksv::KsvApi().KSV27_IsOpened(&window->ModuleRecord()), 0) << what;
        EXPECT_FALSE(FORM_UI(window, StartMultimeterLMDSimplePanel)->isVisibleTo(window.get())) << what;
        EXPECT_FALSE(FORM_UI(window, AdcRateLMDComboBox)->isEnabled()) << what;
        EXPECT_FALSE(FORM_UI(window, AllSlotsLMDCheckBox)->isEnabled()) << what;
        for (auto* frame : window->SlotFrames()) EXPECT_FALSE(frame->SlotNumberLMDCheckBox->isEnabled()) << what;
        EXPECT_NE(FORM_UI(window, ModuleStatusLed)->shownColor(), kGreen) << what;
        EXPECT_EQ(FORM_UI(window, ModuleSerialNumberLMDLabel)->text(), "????????") << what;
        ExpectControlsBack();
    };
    std::string reply;

    ASSERT_TRUE(server.Control("fault crate=CR-B slot=5 open=fail", &reply)) << reply;
    ASSERT_TRUE(Discover([this] { FORM_UI(window, KsvCratesComboBox)->setCurrentIndex(1); }));
    expectNoModule("crate change");
    ASSERT_TRUE(Discover([this] { FORM_UI(window, KsvCratesComboBox)->setCurrentIndex(0); }));
    ExpectUsable("MOD-A3", "1.2.3.4");

    ASSERT_TRUE(server.Control("fault crate=CR-A slot=7 open=fail", &reply)) << reply;
    ASSERT_TRUE(Discover([this] { FORM_UI(window, ModulesComboBox)->setCurrentIndex(1); }));
    expectNoModule("module change");
    ASSERT_TRUE(Discover([this] { FORM_UI(window, ModulesComboBox)->setCurrentIndex(0); }));
    ExpectUsable("MOD-A3", "1.2.3.4");
    ASSERT_TRUE(server.Control("clear", &reply)) << reply;

    // The find button: the probe opens the module, its final open fails.
    TInitAndConfigThread::SetStepHook([this](const std::string& step) {
        if (step == "OpenSelectedModule") server.Control("fault crate=CR-A slot=3 open=fail");
    });
    ASSERT_TRUE(Discover([this] { FORM_UI(window, FindDeviceLMDButton)->click(); }));
    TInitAndConfigThread::SetStepHook({});
    expectNoModule("find button");
    ASSERT_TRUE(server.Control("clear", &reply)) << reply;
    ASSERT_TRUE(Discover([this] { FORM_UI(window, FindDeviceLMDButton)->click(); }));
    ExpectUsable("MOD-A3", "1.2.3.4");
    EXPECT_EQ(MessageTexts(), (QStringList{U(text::kCrateOpenFailed), U(text::kModuleOpenFailed)}));
}

TEST_F(Discovery, SettingsFileThatCannotBeCreatedStopsTheRun)
{
    Serve(kTwoCrates);
    ksv::SetSettingsFolderOverride(settingsDir.filePath("missing/folder").toStdString());
    Start();
    EXPECT_EQ(MessageTexts(), QStringList{U(text::kCannotCreateSettings)});
    EXPECT_EQ(window->ModuleState(), 0);
    EXPECT_EQ(FORM_UI(window, KsvCratesComboBox)->count(), 0);
    ExpectControlsBack();
}

TEST_F(Discovery, CloseDuringADiscoveryWaitsForItThenClosesTheModule)
{
    Serve(kTwoCrates);
    window = std::make_unique<TMainForm>();
    window->show();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!window->DiscoveryRunning && std::chrono::steady_clock::now() < end) ksv::SleepAndProcessMessages(10);
    ASSERT_TRUE(window->DiscoveryRunning) << "the start-up discovery did not begin";

    window->FormClose();
    EXPECT_EQ(InitAndConfigThread, nullptr) << "the close waits until the discovery is done with the record";
    EXPECT_NE(ksv::KsvApi().KSV27_IsOpened(&window->ModuleRecord()), 0) << "and then closes the module it opened";
    EXPECT_FALSE(window->HandlerBusy);
}

TEST_F(Discovery, MessageDialogLayout)
{
    NoServer();
    Start();
    ASSERT_EQ(messages.size(), 1u);
    ASSERT_TRUE(messages.front().Build);
    std::unique_ptr<QDialog> dialog = messages.front().Build();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->windowTitle(), U(text::kCaption));
    EXPECT_EQ(dialog->width(), 570);
    EXPECT_EQ(dialog->font().pointSize(), 12);
    EXPECT_EQ(dialog->palette().color(QPalette::Window), QColor(255, 128, 32));
    EXPECT_EQ(dialog->palette().color(QPalette::WindowText), QColor(Qt::white));

    auto* label = dialog->findChild<QLabel*>("Message");
    ASSERT_TRUE(label);
    EXPECT_EQ(label->text(), U(text::kNoCrate));
    EXPECT_TRUE(label->wordWrap());
    EXPECT_LE(label->x() + label->width(), 570);
    EXPECT_GT(label->width(), 570 / 2);

    const QList<QPushButton*> buttons = dialog->findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 1);
    const QPushButton* button = buttons.front();
    const QFontMetrics metrics(dialog->font());
    EXPECT_EQ(button->text(), U(text::kAccepted));
    EXPECT_EQ(button->width(), metrics.horizontalAdvance(U(text::kAccepted)) + 20);
    EXPECT_EQ(button->height(), metrics.height() + 15);
    EXPECT_EQ(button->x(), (570 - button->width()) / 2);
    EXPECT_EQ(button->y(), label->y() + label->height() + 10);
    EXPECT_EQ(dialog->height(), button->y() + button->height() + 10);

    const QRect main = window->frameGeometry();
    EXPECT_EQ(dialog->x(), main.left() + (main.width() - dialog->width()) / 2);
    EXPECT_EQ(dialog->y(), main.top() + (main.height() - dialog->height()) / 2);
}

TEST(DiscoveryDialog, LongTextWrapsAndOtherKindsKeepTheStandardLook)
{
    const QString longText = QString(U("Очень длинное сообщение ")).repeated(20);
    std::unique_ptr<QDialog> dialog = ksv::BuildDiscoveryMessageDialog(
        "c", ksv::TDialogKind::Information, QMessageBox::Ok, {}, longText, nullptr);
    auto* label = dialog->findChild<QLabel*>("Message");
    ASSERT_TRUE(label);
    EXPECT_GT(label->height(), 3 * QFontMetrics(dialog->font()).height());
    EXPECT_NE(dialog->palette().color(QPalette::Window), QColor(255, 128, 32));
    // Without a caption a button keeps its standard text.
    ASSERT_EQ(dialog->findChildren<QPushButton*>().size(), 1);
    EXPECT_FALSE(dialog->findChildren<QPushButton*>().front()->text().isEmpty());
}

// A fault in any step is reported once, leaves no device status behind, and
// the run still gives the controls and the cursor back.
struct TStepFault {
    const char* Step;
    int Mode; // 3 the start-up run; 1 and 2 a module or crate change after it
};

class StepFault : public Discovery, public ::testing::WithParamInterface<TStepFault> {};

TEST_P(StepFault, EndsWithTheControlsEnabled)
{
    Serve(kTwoCrates);
    const TStepFault fault = GetParam();
    const auto arm = [&] {
        TInitAndConfigThread::SetStepHook([step = std::string(fault.Step)](const std::string& name) {
            if (name == step) throw std::runtime_error("injected");
        });
    };
    if (fault.Mode == 3) {
        arm();
        Start();
    } else {
        Start();
        arm();
        ASSERT_TRUE(Discover([&] {
            if (fault.Mode == 1) FORM_UI(window, ModulesComboBox)->setCurrentIndex(1);
            else FORM_UI(window, KsvCratesComboBox)->setCurrentIndex(1);
        }));
    }
    EXPECT_EQ(MessageTexts(), QStringList{U(text::kException)});
    EXPECT_EQ(window->ModuleState(), 0);
    EXPECT_EQ(window->CrateStatusOk(), 0);
    EXPECT_FALSE(FORM_UI(window, StartMultimeterLMDSimplePanel)->isVisibleTo(window.get()));
    ExpectControlsBack();

    // And discovery can be requested again.
    TInitAndConfigThread::SetStepHook({});
    messages.clear();
    ASSERT_TRUE(Discover([this] { FORM_UI(window, FindDeviceLMDButton)->click(); }));
    EXPECT_EQ(window->ModuleState(), 2);
    EXPECT_TRUE(MessageTexts().isEmpty()) << MessageTexts().join("|").toStdString();
}

INSTANTIATE_TEST_SUITE_P(EveryStep, StepFault,
                         ::testing::Values(TStepFault{"PrepareDiscovery", 3}, TStepFault{"RestoreWindowPosition", 3},
                                           TStepFault{"FindAndOpenModule", 3}, TStepFault{"OpenSelectedModule", 3},
                                           TStepFault{"ShowDeviceStatus", 3}, TStepFault{"ApplySettings", 3},
                                           TStepFault{"OpenSelectedModule", 1}, TStepFault{"ReopenCrateModule", 2}),
                         [](const auto& info) {
                             return std::string(info.param.Step) + "_Mode" + std::to_string(info.param.Mode);
                         });

} // namespace
