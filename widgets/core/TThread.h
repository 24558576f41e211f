// A worker thread with the behaviour the workers rely on: created running,
// Terminate / Terminated, WaitFor, OnTerminate run on the window's thread
// after the body has returned, and FreeOnTerminate.
//
// Ownership: with FreeOnTerminate the object deletes itself once OnTerminate
// has run; otherwise its owner deletes it after WaitFor. A derived class
// whose object may be deleted while its body still runs calls
// TerminateAndWait() in its own destructor: by the time the base destructor
// runs, the derived part (and its Execute) is gone.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace ksv {

class TThread {
public:
    TThread() = default;
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Starts the body. Derived constructors call it last, so the thread is
    // "created running".
    void Start();

    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }
    bool Finished() const { return finished_; }

    // Waits until the body and OnTerminate have run. On the window's thread
    // it keeps serving the worker's hand-offs (and repaints) while it waits.
    void WaitFor();
    void TerminateAndWait()
    {
        Terminate();
        WaitFor();
    }

    // Runs on the window's thread after Execute has returned.
    std::function<void()> OnTerminate;
    std::atomic<bool> FreeOnTerminate{false};

protected:
    virtual void Execute() = 0;
    // Runs `step` on the window's thread; the worker waits for it.
    static void Synchronize(const std::function<void()>& step);
    static void Sleep(int milliseconds);

private:
    void Run();

    std::mutex startMutex_;
    std::thread thread_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
};

} // namespace ksv
