#include "TWorkerLifecycle.h"

#include <QAction>
#include <QApplication>
#include <QTimer>
#include <chrono>
#include <memory>

#include "DevicePanel.h"
#include "HandlerGuard.h"
#include "Initandconfigthread.h"
#include "Ksv27mainform.h"
#include "Mainthread.h"
#include "MeasureMessages.h"
#include "MessagePump.h"
#include "ModalDialogs.h"
#include "SettingsController.h"
#include "SettingsFolderOverride.h"
#include "TSynchronizer.h"
#include "IniFile.h"

namespace ksv {

namespace {

// How long a close waits for a discovery: its library calls end within
// their own time-outs, and the bound keeps a stalled server from holding the
// program open.
constexpr auto kLongestDiscoveryWait = std::chrono::seconds(30);
// How often a close noted inside a worker's step looks whether it can be
// carried out.
constexpr int kCloseRetryMs = 50;

// Lets through what arrived while the window's thread was held up, but of
// the user's input only a request to close: the exit item's shortcut and the
// window manager's close. The rest goes, as under a modal dialog.
class TCloseRequestFilter final : public QObject {
public:
    explicit TCloseRequestFilter(const QAction* exitItem) : exitItem_(exitItem) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Shortcut: return watched != exitItem_;
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu: return true;
        default: return false;
        }
    }

private:
    const QAction* exitItem_;
};

// A worker made by `make`, or null when making it failed.
template <class TMake> auto MadeOrNull(const TMake& make) -> decltype(make())
{
    try {
        return make();
    } catch (...) {
        return nullptr;
    }
}

} // namespace

// Counts a wait of this class, inside which a close cannot wait for a worker.
class TWorkerLifecycle::TWaitScope {
public:
    explicit TWaitScope(TWorkerLifecycle& owner) : owner_(owner) { ++owner_.waiting_; }
    ~TWaitScope() { --owner_.waiting_; }
    TWaitScope(const TWaitScope&) = delete;
    TWaitScope& operator=(const TWaitScope&) = delete;

private:
    TWorkerLifecycle& owner_;
};

TWorkerLifecycle::TWorkerLifecycle(TMainForm& window) : window_(window) {}

// ---- discovery --------------------------------------------------------------

void TWorkerLifecycle::RequestDiscovery(TDiscoveryMode mode, bool useSaved)
{
    if (closing_ || window_.DiscoveryRunning || !window_.DiscoveryRequestAllowed) return;
    window_.DiscoveryRequestAllowed = false;
    QCoreApplication::postEvent(&window_, new TWindowMessage(WM_START_DISCOVERY, static_cast<int>(mode), useSaved ? 1 : 0));
}

void TWorkerLifecycle::StartDiscoveryThread(TDiscoveryMode mode, bool useSaved)
{
    window_.DiscoveryRunning = false;
    if (closing_) {
        // Asked for before the close began; nothing is started any more.
        window_.DiscoveryRequestAllowed = true;
        return;
    }
    TInitAndConfigThread* thread = MadeOrNull([&] { return new TInitAndConfigThread(window_, useSaved, mode); });
    InitAndConfigThread = thread;
    if (!thread) {
        ShowMessageBox(QString::fromUtf8("Не могу открыть поток 'InitAndConfigThread'!"),
                       QString::fromUtf8("Ошибка OnStartInitDevicesThread()!"), TDialogKind::None);
        return;
    }
    // Set before this thread serves any of the worker's hand-offs, so the
    // worker sees it when its body has returned. `ended` lets the wait below
    // end even if the body were over before the flag was ever seen set.
    auto ended = std::make_shared<std::atomic<bool>>(false);
    thread->OnTerminate = [this, ended] {
        window_.DiscoveryRunning = false;
        InitAndConfigThread = nullptr;
        *ended = true;
    };
    TWaitScope wait(*this);
    do {
        SleepAndProcessMessages(50);
    } while (!window_.DiscoveryRunning && !*ended);
    window_.DiscoveryRequestAllowed = true;
}

void TWorkerLifecycle::WaitForDiscoveryToEnd()
{
    TWaitScope wait(*this);
    const auto deadline = std::chrono::steady_clock::now() + kLongestDiscoveryWait;
    TSynchronizer::Instance().ServeUntil([this, deadline] {
        QuietDiscovery();
        return InitAndConfigThread == nullptr || std::chrono::steady_clock::now() > deadline;
    });
}

// ---- measurement ------------------------------------------------------------

bool TWorkerLifecycle::MayStartMeasurement() const { return !stopping_ && !closing_; }

void TWorkerLifecycle::RequestMeasurement()
{
    if (!MayStartMeasurement()) return;
    window_.MeasurementRequestAllowed = false;
    QCoreApplication::postEvent(&window_, new TWindowMessage(WM_START_MEASUREMENT, 0, 0));
    TWaitScope wait(*this);
    while (!window_.MeasurementRequestAllowed) SleepAndProcessMessages();
}

void TWorkerLifecycle::StartMeasurementThread()
{
    window_.MeasurementRunning = false;
    if (closing_) {
        window_.MeasurementRequestAllowed = true;
        return;
    }
    TMainThread* thread = MadeOrNull([&] { return new TMainThread(window_); });
    if (!thread) {
        // RequestMeasurement waits for this token; without it the wait never ends.
        window_.MeasurementRequestAllowed = true;
        ShowMessageBox(QString::fromUtf8(msg::kCannotCreateThread), QString::fromUtf8(msg::kCannotCreateThreadCaption),
                       TDialogKind::None);
        window_.close();
        return;
    }
    MainThread = thread;
    // The body does not return before Terminate, so setting the procedure
    // now is seen by the thread when it needs it.
    thread->OnTerminate = [this] { window_.MeasurementRunning = false; };
    TWaitScope wait(*this);
    while (!window_.MeasurementRunning) SleepAndProcessMessages();
    window_.MeasurementRequestAllowed = true;
}

void TWorkerLifecycle::StopMeasurement()
{
    // The waits below process window messages, so a handler can run inside
    // them and ask to stop (or start) again; the stop already under way
    // finishes the job, and no start begins until it has.
    if (!MainThread || !window_.MeasurementRequestAllowed || stopping_) return;
    struct TStopping {
        bool& flag;
        explicit TStopping(bool& f) : flag(f) { flag = true; }
        ~TStopping() { flag = false; }
    } stopping(stopping_);
    TWaitScope wait(*this);
    TMainThread* thread = MainThread;
    // A thread that has not done its set-up is not stopped half-way.
    while (!window_.MeasurementRunning) SleepAndProcessMessages();
    thread->Terminate();
    // Serves the thread's hand-offs (its end step) while it waits.
    thread->WaitFor();
    while (window_.MeasurementRunning) SleepAndProcessMessages();
    if (MainThread == thread) MainThread = nullptr;
    delete thread;
}

// ---- close and exit ---------------------------------------------------------

bool TWorkerLifecycle::CloseEvent()
{
    if (closed_) return true;
    BeginClose();
    if (!AtTopLevel()) {
        ScheduleClose();
        return false;
    }
    window_.FormClose();
    return true;
}

void TWorkerLifecycle::Close()
{
    const THandlerScope handler(window_.HandlerBusy);
    if (!handler.Entered()) return;
    struct TRunning {
        bool& flag;
        explicit TRunning(bool& f) : flag(f) { flag = true; }
        ~TRunning() { flag = false; }
    } running(closeStepsRunning_);
    BeginClose();
    if (window_.Settings().AutoSaveChecked()) window_.Settings().SaveIniFile(ActiveSettingsPath());
    window_.SettingsIniFile().reset();
    StopMeasurement();
    WaitForDiscoveryToEnd();
    // The discovery's end frees the guard; the rest of the close holds it.
    window_.HandlerBusy = true;
    // A discovery that outlived the wait still uses the record; the process
    // ends with it, and the server lets the module go with the connection.
    if (!InitAndConfigThread) CloseModule();
    closed_ = true;
}

void TWorkerLifecycle::ExitRequested()
{
    if (closeStepsRunning_) return;
    ReleaseGuard(window_.HandlerBusy);
    window_.close();
}

void TWorkerLifecycle::Shutdown()
{
    BeginClose();
    StopMeasurement();
    // A close that ran its steps has waited for the discovery once already.
    if (!closed_) WaitForDiscoveryToEnd();
    if (!InitAndConfigThread) CloseModule();
}

bool TWorkerLifecycle::FailureMayBeShown()
{
    if (!closing_) TakePendingCloseRequests();
    return !closing_;
}

void TWorkerLifecycle::BeginClose()
{
    closing_ = true;
    QuietDiscovery();
}

void TWorkerLifecycle::QuietDiscovery()
{
    // The discovery clears the flag once, as it begins; set again here, it
    // skips the rest of its work and shows nothing.
    if (closing_ && InitAndConfigThread) InitAndConfigThread->StopRequested = true;
}

bool TWorkerLifecycle::AtTopLevel() const
{
    return waiting_ == 0 && !closeStepsRunning_ && !TSynchronizer::Instance().RunningStep();
}

void TWorkerLifecycle::ScheduleClose()
{
    if (closeScheduled_) return;
    closeScheduled_ = true;
    QTimer::singleShot(kCloseRetryMs, &window_, [this] {
        closeScheduled_ = false;
        QuietDiscovery();
        if (AtTopLevel())
            window_.close();
        else
            ScheduleClose();
    });
}

void TWorkerLifecycle::TakePendingCloseRequests()
{
    TCloseRequestFilter filter(window_.ApplicationExit);
    qApp->installEventFilter(&filter);
    // Twice: the first pass turns what the platform queued into events.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    qApp->removeEventFilter(&filter);
}

void TWorkerLifecycle::CloseModule() { window_.Device().State().DeviceEngine.CloseModule(); }

} // namespace ksv
