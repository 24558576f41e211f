// The discovery and the measurement worker against fake views and the
// scripted libraries: which view steps each runs, in which order, on the
// window's thread (the test's), and how each ends.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DiscoveryView.h"
#include "FakeKsvApi.h"
#include "Initandconfigthread.h"
#include "Mainthread.h"
#include "MeasurementView.h"
#include "SettingsFolderOverride.h"
#include "TSynchronizer.h"

using namespace ksv;

namespace {

// Serves the workers' hand-offs until `done`, or false after a minute.
bool ServeUntil(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    TSynchronizer::Instance().ServeUntil([&] { return done() || std::chrono::steady_clock::now() > deadline; });
    return done();
}

// Notes each step that needs the window's thread, and checks it is on it.
class TStepLog {
public:
    void Note(const std::string& step)
    {
        EXPECT_TRUE(TSynchronizer::Instance().OnMainThread()) << step;
        steps_.push_back(step);
    }
    const std::vector<std::string>& Steps() const { return steps_; }
    // The steps without repeats of the same step in a row.
    std::vector<std::string> Squeezed() const
    {
        std::vector<std::string> out;
        for (const std::string& s : steps_)
            if (out.empty() || out.back() != s) out.push_back(s);
        return out;
    }

private:
    std::vector<std::string> steps_;
};

class TFakeDiscoveryView : public IDiscoveryView, public IDiscoveryDisplay, public TStepLog {
public:
    std::atomic<bool> Running{false}, Ended{false};
    std::atomic<int> State{kNoModule};
    std::atomic<bool> CrateOk{false};
    TDeviceInventory Inventory;
    Ksv27ModuleRecord Record{};
    TDeviceEngine Engine_{Inventory, Record};

    void SetDiscoveryRunning(bool running) override { Running = running; }
    TModuleState ModuleStateNow() const override { return static_cast<TModuleState>(State.load()); }
    void SetModuleState(TModuleState state) override { State = state; }
    void SetCrateStatusOk(bool ok) override { CrateOk = ok; }
    TDeviceInventory& DeviceInventory() override { return Inventory; }
    TDeviceEngine& Engine() override { return Engine_; }
    void ShowDiscoveryBegun() override { Note("Begun"); }
    IDiscoveryDisplay& DeviceDisplay() override { return *this; }
    void SetDetectionControlsEnabled(bool enabled) override { Note(enabled ? "DetectionOn" : "DetectionOff"); }
    void ShowDeviceStatus(TStatusKind kind, TDiscoveryMode, const std::string&) override
    {
        Note(kind == TStatusKind::Reset ? "StatusReset" : "StatusFinal");
    }
    void ShowCrateList(const QStringList& items, int) override { Note("Crates" + std::to_string(items.size())); }
    void ShowModuleList(const QStringList& items, int) override { Note("Modules" + std::to_string(items.size())); }
    QRect WindowFrame() const override { return {100, 100, 800, 600}; }
    QRect WindowClient() const override { return {108, 130, 784, 562}; }
    void MoveWindow(const QPoint&) override { Note("Move"); }
    bool TakeDefaultIniFile(const std::string&, const TDefaultFileOutcome&) override
    {
        Note("DefaultFile");
        return true;
    }
    bool LoadSettings(TIniFile*) override
    {
        Note("LoadSettings");
        return true;
    }
    void ShowDiscoveryEnded() override
    {
        Note("Ended");
        Ended = true;
    }
    bool FailureMayBeShown() override { return false; }
    QWidget* DialogParent() override { return nullptr; }
    void SetShortcutHookEnabled(bool) override {}
};

class TFakeMeasurementView : public IMeasurementView, public IRunDisplay, public TStepLog {
public:
    std::atomic<bool> Running{false}, Idle{true}, Forgotten{false};
    std::atomic<int> Cycles{0};
    Ksv27ModuleRecord Record{};
    TMeasureRequest Request;

    void SetMeasurementRunning(bool running) override { Running = running; }
    void SetAcquisitionIdle(bool idle) override { Idle = idle; }
    void ForgetDevice() override { Forgotten = true; }
    Ksv27ModuleRecord& MeasuredRecord() override { return Record; }
    bool OnMultimeterPage() const override { return true; }
    double RunAcquisitionTime() const override { return 0.05; }
    IRunDisplay& RunDisplay() override { return *this; }
    void ShowRunStarted() override { Note("Started"); }
    TMeasureRequest RunRequest() const override
    {
        const_cast<TFakeMeasurementView*>(this)->Note("Request");
        return Request;
    }
    void ShowCycle(const TCycleResult&, const TSlotPicture&) override
    {
        Note("Cycle");
        ++Cycles;
    }
    void ShowUpdateMarks(const TSlotPicture&) override { Note("Marks"); }
    void ShowRunStopped() override { Note("Stopped"); }
    bool FailureMayBeShown() override { return false; }
    QWidget* DialogParent() override { return nullptr; }
    void SetShortcutHookEnabled(bool) override {}
};

class WorkerViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TSynchronizer::Instance().BindMainThread();
        SetKsvApi(&api);
        SetSettingsFolderOverride(QDir::toNativeSeparators(folder.path()).toStdString());
    }
    void TearDown() override
    {
        SetSettingsFolderOverride({});
        SetKsvApi(nullptr);
    }
    QTemporaryDir folder;
    test::TFakeKsvApi api;
};

TEST_F(WorkerViewTest, AFullDiscoveryShowsItsStepsInOrderAndEndsOnItsOwn)
{
    api.Crates.resize(1);
    api.Crates[0].Serial = "C-ONE";
    api.Crates[0].Slots[3] = test::Ksv27("27-A");
    TFakeDiscoveryView view;
    new TInitAndConfigThread(view, true, TDiscoveryMode::Full); // frees itself
    ASSERT_TRUE(ServeUntil([&] { return view.Ended.load(); }));

    // No settings file yet: one is made with the defaults first; its window
    // position is the one the window has, so nothing moves. The module list
    // is emptied before the crates are listed.
    EXPECT_EQ(view.Squeezed(), (std::vector<std::string>{"Begun", "DefaultFile", "DetectionOff", "StatusReset",
                                                         "Modules0", "Crates1", "Modules1", "StatusFinal", "LoadSettings", "Ended"}));
    EXPECT_EQ(view.ModuleStateNow(), kModuleOpen);
    EXPECT_TRUE(view.CrateOk);
}

TEST_F(WorkerViewTest, AModuleThatDoesNotOpenEndsTheDiscoveryWithoutItsSettings)
{
    api.Crates.resize(1);
    api.Crates[0].Serial = "C-ONE";
    api.Crates[0].Slots[3] = test::Ksv27("27-A", "GetConfig");
    TFakeDiscoveryView view;
    view.Engine().FindModules("C-ONE", 4);
    new TInitAndConfigThread(view, false, TDiscoveryMode::ModuleChanged);
    ASSERT_TRUE(ServeUntil([&] { return view.Ended.load(); }));

    const std::vector<std::string> steps = view.Squeezed();
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "LoadSettings"), 0);
    EXPECT_EQ(steps.back(), "Ended");
    EXPECT_EQ(view.ModuleStateNow(), kNoModule);
}

// Runs a measurement until `done` (served on the test's thread), then
// stops it as the window does; returns its steps.
std::vector<std::string> Measure(TFakeMeasurementView& view, const std::function<bool()>& done)
{
    test::TFakeKsvApi::Describe(view.Record, {"U10", "I5", "EMPTY", "EMPTY", "EMPTY", "EMPTY", "EMPTY", "EMPTY"});
    view.Request.RateIndex = 4; // 100 Hz
    view.Request.SlotChecked.fill(true);
    auto thread = std::make_unique<TMainThread>(view);
    EXPECT_TRUE(ServeUntil(done));
    thread->Terminate();
    thread->WaitFor();
    return view.Steps();
}

TEST_F(WorkerViewTest, AMeasurementShowsEachCycleThenItsMarksAndStopsWhenTerminated)
{
    TFakeMeasurementView view;
    const std::vector<std::string> steps = Measure(view, [&] { return view.Cycles >= 3; });
    ASSERT_GE(steps.size(), 9u);
    EXPECT_EQ(steps[0], "Started");
    EXPECT_EQ(steps[1], "Request");
    for (std::size_t i = 2; i + 1 < steps.size(); ++i) EXPECT_EQ(steps[i], i % 2 ? "Marks" : "Cycle") << i;
    EXPECT_EQ(steps.back(), "Stopped");
    EXPECT_FALSE(view.Forgotten);
}

TEST_F(WorkerViewTest, AModuleThatRefusesItsConfigurationShowsNoCycle)
{
    api.SetConfigResult = -1;
    TFakeMeasurementView view;
    const std::vector<std::string> steps =
        Measure(view, [&] { return !view.Steps().empty() && view.Steps().back() == "Stopped"; });
    EXPECT_EQ(steps, (std::vector<std::string>{"Started", "Request", "Stopped"}));
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv); // offscreen: the discovery sets the wait cursor
    return RUN_ALL_TESTS();
}
