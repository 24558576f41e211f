#include "Interrupt.h"

#include <atomic>
#include <csignal>
#include <cstdlib>

#include "ExitStatus.h"

namespace ksv::cli {

namespace {

std::atomic<int> gSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler may touch only a lock-free atomic");

extern "C" void OnInterrupt(int signal)
{
    int none = 0;
    if (!gSignal.compare_exchange_strong(none, signal))
        std::_Exit(signal == SIGTERM ? kExitTerminated : kExitInterrupted);
#ifdef _WIN32
    // Windows resets a handler to the default once it has run.
    std::signal(signal, OnInterrupt);
#endif
}

} // namespace

void InstallInterruptHandlers()
{
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
#ifndef _WIN32
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

int InterruptSignal() { return gSignal.load(); }

int InterruptStatus() { return InterruptSignal() == SIGTERM ? kExitTerminated : kExitInterrupted; }

} // namespace ksv::cli
