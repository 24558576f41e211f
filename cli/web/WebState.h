// What the web page shows beyond the instrument's own state, kept by the
// service while it runs: the last run and cycle, ten minutes of every
// channel's values for the trend, the instrument's last error and the
// clients connected over any transport. Fed from the acquisition thread
// (run and cycle observers, error sink) and the network threads (clients);
// read by the web thread. Every call takes the lock for a moment only.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "CycleResult.h"
#include "TrendHistory.h"

namespace ksv::web {

inline constexpr double kTrendSpanMs = 10 * 60 * 1000.0;

struct TClientEntry {
    std::string Transport; // "SCPI", "WebSocket"
    std::string Address;   // "127.0.0.1:40112"
    std::chrono::system_clock::time_point Since;
};

struct TLastError {
    int Code = 0;
    std::string Text;
    std::chrono::system_clock::time_point Time;
};

struct TWebSnapshot {
    std::optional<TRunDescription> Run;
    std::optional<TCycleResult> Cycle;
    std::chrono::system_clock::time_point Taken; // when the service took the cycle in
    std::optional<TLastError> Error;
    std::vector<TClientEntry> Clients;
    std::uint64_t Cycles = 0; // cycles taken in since the service started
};

class TWebState {
public:
    void TakeRun(const TRunDescription& run);
    void TakeCycle(const TCycleResult& cycle);
    void TakeError(int code, std::string text);

    // A client of any transport; `id` is unique within the transport.
    void ClientConnected(const std::string& transport, int id, std::string address);
    void ClientClosed(const std::string& transport, int id);

    TWebSnapshot Snapshot() const;
    // Per channel (0..15), the points of the last ten minutes up to the
    // newest cycle, oldest first.
    std::array<std::vector<TTrendPoint>, kChannelCount> Trend() const;

private:
    mutable std::mutex mutex_;
    TWebSnapshot state_;
    std::map<std::pair<std::string, int>, TClientEntry> clients_;
    std::array<TTrendRing, kChannelCount> trend_;
};

} // namespace ksv::web
