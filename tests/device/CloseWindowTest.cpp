// Closing the window while a worker waits on a frozen crate server, by the
// exit key and by the window manager: the close is never lost, shows none of
// the ended work's failures, saves the settings, and is over within the
// libraries' own time-outs. A second close during it changes nothing.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <iostream>

#include "FormControls.h"
#include "Initandconfigthread.h"
#include "Ksv27adcchannelpanel.h"
#include "Ksv27mainform.h"
#include "Mainthread.h"
#include "MessagePump.h"
#include "ModalDialogs.h"
#include "SimServerProcess.h"
#include "TKsvApi.h"
#include "IniFile.h"
#include "SettingsFolderOverride.h"
#include "SettingsKeys.h"

namespace {

const char* const kOneModule = R"json({ "crates": [ { "serial": "CR-F", "slots": [ { "slot": 2, "serial": "MOD-F2",
  "mezzanines": [ { "name": "U10", "channels": [ { "dc": 0.5 }, { "dc": 0.25 } ] } ] } ] } ] })json";

enum class TWorker {
    Discovery,
    Measurement
};
enum class TClose {
    ExitKey,
    WindowManager
};

struct TCase {
    TWorker Worker;
    TClose Close;
    const char* Name;
};

void RequestClose(TMainForm& window, TClose kind)
{
    if (kind == TClose::ExitKey) {
        QTest::keyClick(window.windowHandle(), Qt::Key_Q, Qt::ControlModifier);
    } else {
        QCloseEvent event;
        QCoreApplication::sendEvent(window.windowHandle(), &event);
    }
}

bool WaitUntil(const std::function<bool()>& done, int seconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < seconds * 1000) ksv::SleepAndProcessMessages(10);
    return done();
}

class CloseOnFrozenServer : public ::testing::TestWithParam<TCase> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(settingsDir.isValid());
        ksv::SetSettingsFolderOverride(settingsDir.path().toStdString());
        ksv::SetModalHandler([this](const ksv::TModalRequest& request) {
            shown.push_back(request.Text);
            return int(QMessageBox::Ok);
        });
        ASSERT_TRUE(server.Start(kOneModule)) << server.Error();
        server.ExportPort();
        window = std::make_unique<TMainForm>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        ASSERT_TRUE(WaitUntil([this] { return window->ModuleState() == 2 && !InitAndConfigThread; }, 20));
        FORM_UI(window, AutoSaveSettingsLMDCheckBox)->setChecked(true);
        window->move(123, 45);
    }

    void TearDown() override
    {
        TInitAndConfigThread::SetStepHook({});
        server.Stop();
        window.reset();
        ksv::SetModalHandler({});
        ksv::SetSettingsFolderOverride({});
    }

    // The second close of each kind, while the first one is under way.
    void CloseAgainSoon()
    {
        QTimer::singleShot(300, window.get(), [this] {
            RequestClose(*window, TClose::ExitKey);
            RequestClose(*window, TClose::WindowManager);
        });
    }

    using TInitAndConfigThread = ksv::TInitAndConfigThread;
    QTemporaryDir settingsDir;
    ksv::simtest::SimServerProcess server;
    std::vector<QString> shown;
    std::unique_ptr<TMainForm> window;
};

TEST_P(CloseOnFrozenServer, CompletesWithoutTheEndedWorksFailures)
{
    const TCase c = GetParam();
    QElapsedTimer clock;
    if (c.Worker == TWorker::Measurement) {
        FORM_UI(window, StartMultimeterLMDSpeedButton)->click();
        QLineEdit* value = window->SlotFrames()[0]->Value1LMDEdit;
        ASSERT_TRUE(WaitUntil([value] { return value->text() == QStringLiteral("500.000"); }, 20));
        server.Freeze();
        clock.start();
        CloseAgainSoon();
        RequestClose(*window, c.Close);
    } else {
        server.Freeze();
        // Asked for while the window's thread waits on the frozen server, as
        // a user's key or click would queue up then.
        TInitAndConfigThread::SetStepHook([this, &clock, c](const std::string& step) {
            if (step != "FindAndOpenModule") return;
            clock.start();
            QTimer::singleShot(0, window.get(), [this, c] {
                RequestClose(*window, c.Close);
                CloseAgainSoon();
            });
        });
        FORM_UI(window, FindDeviceLMDButton)->click();
    }
    ASSERT_TRUE(WaitUntil([this] { return !window->isVisible(); }, 30)) << "the close was lost";
    std::cout << "[ figure   ] " << c.Name << ": closed in " << clock.elapsed() << " ms" << std::endl;
    EXPECT_TRUE(shown.empty()) << shown.front().toStdString();
    EXPECT_EQ(MainThread, nullptr);
    EXPECT_EQ(InitAndConfigThread, nullptr);
    EXPECT_NE(ksv::KsvApi().KSV27_IsOpened(&window->ModuleRecord()), 0);
    const ksv::TIniFile ini(settingsDir.filePath("Ksv27_Vorn.ini").toStdString());
    EXPECT_EQ(ini.ReadInteger(ksv::keys::kWindowLeft.Section, ksv::keys::kWindowLeft.Name, -1), 123);
    // Within the libraries' time-outs: the call under way, the stops, the module's close.
    EXPECT_LT(clock.elapsed(), 20000);
}

INSTANTIATE_TEST_SUITE_P(Workers, CloseOnFrozenServer,
                         ::testing::Values(TCase{TWorker::Discovery, TClose::ExitKey, "DiscoveryExitKey"},
                                           TCase{TWorker::Discovery, TClose::WindowManager, "DiscoveryWindowManager"},
                                           TCase{TWorker::Measurement, TClose::ExitKey, "MeasurementExitKey"},
                                           TCase{TWorker::Measurement, TClose::WindowManager,
                                                 "MeasurementWindowManager"}),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
