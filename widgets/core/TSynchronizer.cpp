#include "TSynchronizer.h"

#include <exception>

namespace ksv {

struct TSynchronizer::Job {
    const std::function<void()>* step = nullptr;
    bool done = false;
    std::exception_ptr error;
};

TSynchronizer& TSynchronizer::Instance()
{
    // Never destroyed: a self-freeing worker may still notify it while the
    // process exits.
    static TSynchronizer* instance = new TSynchronizer;
    return *instance;
}

void TSynchronizer::BindMainThread()
{
    std::lock_guard lock(mutex_);
    mainThread_ = std::this_thread::get_id();
}

bool TSynchronizer::OnMainThread() const
{
    std::lock_guard lock(mutex_);
    return mainThread_ == std::this_thread::get_id();
}

void TSynchronizer::SetWakeHook(std::function<void()> hook)
{
    std::lock_guard lock(mutex_);
    wakeHook_ = std::move(hook);
}

void TSynchronizer::SetPumpHook(std::function<void()> hook)
{
    std::lock_guard lock(mutex_);
    pumpHook_ = std::move(hook);
}

void TSynchronizer::Synchronize(const std::function<void()>& step)
{
    if (OnMainThread()) {
        step();
        return;
    }
    Job job;
    job.step = &step;
    std::function<void()> wake;
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(&job);
        wake = wakeHook_;
    }
    mainWake_.notify_all();
    if (wake) wake();
    std::unique_lock lock(mutex_);
    jobDone_.wait(lock, [&] { return job.done; });
    if (job.error) std::rethrow_exception(job.error);
}

bool TSynchronizer::RunOne()
{
    Job* job = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (queue_.empty()) return false;
        job = queue_.front();
        queue_.pop_front();
    }
    std::exception_ptr error;
    ++stepDepth_;
    try {
        (*job->step)();
    } catch (...) {
        error = std::current_exception();
    }
    --stepDepth_;
    {
        std::lock_guard lock(mutex_);
        job->error = error;
        job->done = true;
    }
    jobDone_.notify_all();
    return true;
}

int TSynchronizer::Drain()
{
    int ran = 0;
    while (RunOne()) ++ran;
    return ran;
}

void TSynchronizer::Pump()
{
    std::function<void()> pump;
    {
        std::lock_guard lock(mutex_);
        pump = pumpHook_;
    }
    if (pump) pump();
}

void TSynchronizer::ServeFor(std::chrono::milliseconds period)
{
    const auto end = std::chrono::steady_clock::now() + period;
    for (;;) {
        Drain();
        std::unique_lock lock(mutex_);
        if (!mainWake_.wait_until(lock, end, [&] { return !queue_.empty(); })) break;
    }
    Drain();
    Pump();
}

void TSynchronizer::ServeUntil(const std::function<bool()>& done)
{
    constexpr auto kPumpPeriod = std::chrono::milliseconds(50);
    auto nextPump = std::chrono::steady_clock::now() + kPumpPeriod;
    for (;;) {
        Drain();
        if (done()) return;
        {
            std::unique_lock lock(mutex_);
            mainWake_.wait_for(lock, std::chrono::milliseconds(5), [&] { return !queue_.empty(); });
        }
        if (std::chrono::steady_clock::now() >= nextPump) {
            Pump();
            nextPump = std::chrono::steady_clock::now() + kPumpPeriod;
        }
    }
}

void TSynchronizer::Notify() { mainWake_.notify_all(); }

std::size_t TSynchronizer::Pending() const
{
    std::lock_guard lock(mutex_);
    return queue_.size();
}

} // namespace ksv
