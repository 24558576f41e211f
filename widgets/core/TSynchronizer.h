// The synchronous hand-off from a worker thread to the window's thread.
//
// A worker calls Synchronize(step): the step is queued, the window's thread is
// woken through the wake hook, and the worker waits until the window's thread
// has run the step. Whatever the step throws is thrown again in the worker.
//
// The window's thread serves the queue when the wake-up arrives (so nested
// message loops serve it too) and inside every wait of its own (ServeFor,
// ServeUntil), so a window thread that waits for a worker never blocks a
// worker that waits for the window: no order of stop, hand-off and message
// can deadlock. A step asked for on the window's thread runs at once.
//
// Toolkit-free: the toolkit side installs the wake and pump hooks.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace ksv {

class TSynchronizer {
public:
    static TSynchronizer& Instance();

    // The calling thread becomes the window's thread.
    void BindMainThread();
    bool OnMainThread() const;

    // Called from a worker after it queued a step; must wake the window's thread.
    void SetWakeHook(std::function<void()> hook);
    // Called by the window's thread inside its waits, to repaint and serve messages.
    void SetPumpHook(std::function<void()> hook);

    void Synchronize(const std::function<void()>& step);

    // Window's thread: runs the steps queued so far; returns how many ran.
    int Drain();
    // Window's thread: serves steps for `period`, then runs the pump once.
    void ServeFor(std::chrono::milliseconds period);
    // Window's thread: serves steps (and pumps every 50 ms) until `done` is true.
    void ServeUntil(const std::function<bool()>& done);
    // Wakes a window thread that waits in ServeFor/ServeUntil (a worker ended, a flag changed).
    void Notify();

    std::size_t Pending() const;
    // Window's thread: true while it runs a worker's step (or anything the
    // step itself runs, a modal dialog's loop among them).
    bool RunningStep() const { return stepDepth_ > 0; }

private:
    struct Job;
    TSynchronizer() = default;
    bool RunOne();
    void Pump();

    mutable std::mutex mutex_;
    std::condition_variable mainWake_;
    std::condition_variable jobDone_;
    std::deque<Job*> queue_;
    std::thread::id mainThread_;
    std::function<void()> wakeHook_;
    std::function<void()> pumpHook_;
    std::atomic<int> stepDepth_{0};
};

} // namespace ksv
