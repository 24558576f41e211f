#include "WebState.h"

#include <utility>

namespace ksv::web {

namespace {

double EpochMs(std::chrono::system_clock::time_point time)
{
    return std::chrono::duration<double, std::milli>(time.time_since_epoch()).count();
}

} // namespace

void TWebState::TakeRuns(const std::vector<TRunDescription>& runs)
{
    if (runs.empty()) return;
    std::lock_guard lock(mutex_);
    state_.Run = runs.front();
}

void TWebState::TakeScan(const TScan& scan)
{
    const double ms = EpochMs(scan.StartTime);
    std::lock_guard lock(mutex_);
    state_.Scan = scan;
    state_.Taken = std::chrono::system_clock::now();
    ++state_.Cycles;
    while (trend_.size() < scan.Modules.size()) trend_.push_back(std::make_unique<TModuleTrend>());
    for (std::size_t p = 0; p < scan.Modules.size(); ++p) {
        for (std::size_t c = 0; c < kChannelCount; ++c) {
            const TChannelResult& channel = scan.Modules[p].Cycle.Channels[c];
            if (!channel.Active || !channel.Valid) continue;
            TModuleTrend& module = *trend_[p];
            std::string unit = ShownUnitText(channel);
            if (module.Units[c] != unit) {
                module.Rings[c].Clear();
                module.Units[c] = std::move(unit);
            }
            module.Rings[c].Push({ms, channel.Value});
        }
    }
}

void TWebState::TakeError(int code, std::string text)
{
    std::lock_guard lock(mutex_);
    state_.Error = TLastError{code, std::move(text), std::chrono::system_clock::now()};
}

void TWebState::ClientConnected(const std::string& transport, int id, std::string address)
{
    std::lock_guard lock(mutex_);
    clients_[{transport, id}] = TClientEntry{transport, std::move(address), std::chrono::system_clock::now()};
}

void TWebState::ClientClosed(const std::string& transport, int id)
{
    std::lock_guard lock(mutex_);
    clients_.erase({transport, id});
}

TWebSnapshot TWebState::Snapshot() const
{
    std::lock_guard lock(mutex_);
    TWebSnapshot snapshot = state_;
    for (const auto& [key, client] : clients_) snapshot.Clients.push_back(client);
    return snapshot;
}

std::vector<TChannelTrend> TWebState::Trend() const
{
    std::vector<TChannelTrend> out;
    std::lock_guard lock(mutex_);
    if (!state_.Scan) return out;
    const double from = EpochMs(state_.Scan->StartTime) - kTrendSpanMs;
    for (std::size_t p = 0; p < trend_.size() && p < state_.Scan->Modules.size(); ++p) {
        const int first = several_ ? state_.Scan->Modules[p].Slot * 100 : 0;
        for (std::size_t c = 0; c < kChannelCount; ++c) {
            const TTrendRing& ring = trend_[p]->Rings[c];
            TChannelTrend channel{first + static_cast<int>(c) + 1, {}};
            for (std::size_t i = 0; i < ring.Size(); ++i)
                if (ring.At(i).TimeMs >= from) channel.Points.push_back(ring.At(i));
            if (!channel.Points.empty()) out.push_back(std::move(channel));
        }
    }
    return out;
}

} // namespace ksv::web
