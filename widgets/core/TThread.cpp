#include "TThread.h"

#include <chrono>

#include "TSynchronizer.h"

namespace ksv {

TThread::~TThread()
{
    if (thread_.joinable()) {
        Terminate();
        WaitFor();
    }
}

void TThread::Start()
{
    // The new thread takes startMutex_ before it runs, so thread_ is assigned
    // before a self-freeing thread can detach it.
    std::lock_guard lock(startMutex_);
    thread_ = std::thread([this] { Run(); });
}

void TThread::Run()
{
    {
        std::lock_guard lock(startMutex_);
    }
    try {
        Execute();
    } catch (...) {
        // A body lets nothing escape by design; anything that still does ends
        // the thread quietly, as an unhandled thread exception would.
    }
    if (OnTerminate) {
        try {
            Synchronize(OnTerminate);
        } catch (...) {
        }
    }
    if (FreeOnTerminate) {
        thread_.detach();
        finished_ = true;
        TSynchronizer::Instance().Notify();
        delete this;
        return;
    }
    finished_ = true;
    TSynchronizer::Instance().Notify();
}

void TThread::WaitFor()
{
    if (!thread_.joinable()) return;
    if (thread_.get_id() == std::this_thread::get_id()) return;
    auto& sync = TSynchronizer::Instance();
    if (sync.OnMainThread()) sync.ServeUntil([this] { return finished_.load(); });
    thread_.join();
}

void TThread::Synchronize(const std::function<void()>& step) { TSynchronizer::Instance().Synchronize(step); }

void TThread::Sleep(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

} // namespace ksv
