// The one owner of the two workers' life cycle: starting each worker with
// its hand-shake, stopping the measurement, waiting for a discovery to end,
// and the order in which a close and the program's exit take them down. The
// window's operations of the same names call in here.
//
// Shutdown order, written down once:
//   1. The close begins: from here on no worker shows a failure, a running
//      discovery skips the rest of its work, and no worker is started.
//   2. The settings are saved (auto-save ticked); the window's settings
//      object is released.
//   3. The measurement is stopped and waited for; its end step runs.
//   4. A discovery that still runs is waited for (bounded): it works on the
//      window and on the module record.
//   5. The module is closed (left to the server when a discovery outlived
//      the wait: the process then ends without taking the window down).
//   6. After the message loop: 3 to 5 once more, for whatever a close that
//      found the window busy skipped, before the window is taken down.
// A close asked for while the window's thread serves a worker's step, or
// waits in here, cannot wait for that worker: it is noted (step 1 happens at
// once) and carried out as soon as the thread is back in its message loop.
//
// Window's thread only.
#pragma once

#include <atomic>

#include "DeviceStates.h"

class TMainForm;

namespace ksv {

class TWorkerLifecycle {
public:
    explicit TWorkerLifecycle(TMainForm& window);
    TWorkerLifecycle(const TWorkerLifecycle&) = delete;
    TWorkerLifecycle& operator=(const TWorkerLifecycle&) = delete;

    // ---- discovery ------------------------------------------------------
    // Posts the start message unless a discovery runs or is requested.
    void RequestDiscovery(TDiscoveryMode mode, bool useSaved);
    // The start message: creates the thread and waits until it runs.
    void StartDiscoveryThread(TDiscoveryMode mode, bool useSaved);
    // Serves a running discovery's hand-offs until it has ended (bounded).
    void WaitForDiscoveryToEnd();

    // ---- measurement ----------------------------------------------------
    bool MayStartMeasurement() const;
    // Posts the start message and waits until the new thread has set up.
    void RequestMeasurement();
    // The start message: creates the thread and waits for its set-up.
    void StartMeasurementThread();
    // Ends the measurement thread, serving its end step, and deletes it.
    void StopMeasurement();

    // ---- close and exit -------------------------------------------------
    // The window's close event; false keeps the window until the close,
    // noted now, can be carried out.
    bool CloseEvent();
    // The close steps 1 to 5 (skipped while another handler holds the guard).
    void Close();
    // The exit menu item: the guard is cleared and the window closed, unless
    // a close is under way already (it completes by itself).
    void ExitRequested();
    // After the message loop: step 6.
    void Shutdown();

    // For a worker about to show its first failure: false once a close has
    // begun, also by a close request that came while the window's thread was
    // held up (user input queued meanwhile goes, as a modal dialog would
    // have it go).
    bool FailureMayBeShown();

private:
    class TWaitScope;
    void BeginClose();
    void QuietDiscovery();
    bool AtTopLevel() const;
    void ScheduleClose();
    void TakePendingCloseRequests();
    void CloseModule();

    TMainForm& window_;
    std::atomic<bool> closing_{false};
    bool closed_ = false;
    bool closeStepsRunning_ = false;
    bool closeScheduled_ = false;
    bool stopping_ = false;
    int waiting_ = 0;
};

} // namespace ksv
