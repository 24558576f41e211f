#include "WebState.h"

namespace ksv::web {

namespace {

double EpochMs(std::chrono::system_clock::time_point time)
{
    return std::chrono::duration<double, std::milli>(time.time_since_epoch()).count();
}

} // namespace

void TWebState::TakeRun(const TRunDescription& run)
{
    std::lock_guard lock(mutex_);
    state_.Run = run;
}

void TWebState::TakeCycle(const TCycleResult& cycle)
{
    const double ms = EpochMs(cycle.StartTime);
    std::lock_guard lock(mutex_);
    state_.Cycle = cycle;
    state_.Taken = std::chrono::system_clock::now();
    ++state_.Cycles;
    for (std::size_t c = 0; c < kChannelCount; ++c) {
        const TChannelResult& channel = cycle.Channels[c];
        if (channel.Active && channel.Valid) trend_[c].Push({ms, channel.Value});
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

std::array<std::vector<TTrendPoint>, kChannelCount> TWebState::Trend() const
{
    std::array<std::vector<TTrendPoint>, kChannelCount> out;
    std::lock_guard lock(mutex_);
    if (!state_.Cycle) return out;
    const double from = EpochMs(state_.Cycle->StartTime) - kTrendSpanMs;
    for (std::size_t c = 0; c < kChannelCount; ++c) {
        const TTrendRing& ring = trend_[c];
        for (std::size_t i = 0; i < ring.Size(); ++i)
            if (ring.At(i).TimeMs >= from) out[c].push_back(ring.At(i));
    }
    return out;
}

} // namespace ksv::web
