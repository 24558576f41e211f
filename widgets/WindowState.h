// The flags the window's parts share: the handlers' re-entrancy guard, the
// workers' running flags and the hand-off flags that let a new request in.
// The window owns them; each part works on them through a reference.
// Threads: window's thread unless a field is atomic.
#pragma once

#include <atomic>

namespace ksv {

struct TWindowState {
    TWindowState() = default;
    TWindowState(const TWindowState&) = delete;
    TWindowState& operator=(const TWindowState&) = delete;

    // The re-entrancy guard; see HandlerGuard.h.
    bool HandlerBusy = false;
    std::atomic<bool> DiscoveryRequestAllowed{true};
    std::atomic<bool> MeasurementRequestAllowed{true};
    std::atomic<bool> DiscoveryRunning{false};
    std::atomic<bool> MeasurementRunning{false};
    std::atomic<bool> AcquisitionIdle{true};
};

} // namespace ksv
