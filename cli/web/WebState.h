// What the web page shows beyond the instrument's own state, kept by the
// service while it runs: the last run and scan (every module's cycle), ten
// minutes of every channel's values for the trend, the instrument's last error and the
// clients connected over any transport. Fed from the acquisition thread
// (run and cycle observers, error sink) and the network threads (clients);
// read by the web thread. Every call takes the lock for a moment only.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "CrateScan.h"
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
    std::optional<TRunDescription> Run;          // the first module's
    std::optional<TScan> Scan;                   // the last: every module's cycle, by position
    std::chrono::system_clock::time_point Taken; // when the service took the scan in
    std::optional<TLastError> Error;
    std::vector<TClientEntry> Clients;
    std::uint64_t Cycles = 0; // scans taken in since the service started
};

// A channel's points for the trend, under its number (1..16 for one module,
// slot*100+ch for several).
struct TChannelTrend {
    int Channel = 0;
    std::vector<TTrendPoint> Points;
};

class TWebState {
public:
    // `several`: channels are numbered slot*100+ch, else 1..16.
    explicit TWebState(bool several = false) : several_(several) {}

    bool Several() const { return several_; }

    void TakeRuns(const std::vector<TRunDescription>& runs);
    void TakeScan(const TScan& scan);
    void TakeError(int code, std::string text);

    // A client of any transport; `id` is unique within the transport.
    void ClientConnected(const std::string& transport, int id, std::string address);
    void ClientClosed(const std::string& transport, int id);

    TWebSnapshot Snapshot() const;
    // Per channel that has any, by module and channel, the points of the
    // last ten minutes up to the newest scan, oldest first.
    std::vector<TChannelTrend> Trend() const;

private:
    // A module's channels: each one's points and the unit they are in. A
    // channel whose unit changes (its scaling was switched) starts anew, so
    // a strip never mixes milliamperes and bar.
    struct TModuleTrend {
        std::array<TTrendRing, kChannelCount> Rings;
        std::array<std::string, kChannelCount> Units;
    };

    const bool several_;
    mutable std::mutex mutex_;
    TWebSnapshot state_;
    std::map<std::pair<std::string, int>, TClientEntry> clients_;
    std::vector<std::unique_ptr<TModuleTrend>> trend_; // by module position, made as modules appear
};

} // namespace ksv::web
