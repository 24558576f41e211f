#include "CycleQueue.h"

#include <algorithm>
#include <bitset>

namespace ksv::cli {

int MessagesOf(const TPackedCycle& cycle) { return 1 + static_cast<int>(std::bitset<16>(cycle.Valid).count()); }

void TCycleQueue::Push(TPackedCycle cycle)
{
    // The dropped cycle is freed outside the lock.
    TEntry old;
    {
        const std::lock_guard lock(mutex_);
        pushedMessages_ += static_cast<std::uint64_t>(MessagesOf(cycle));
        if (entries_.size() - handedOut_ >= bound_) {
            // Sent ones among the waiting are few: those answered before a reconnect.
            auto oldest = entries_.begin() + static_cast<std::ptrdiff_t>(handedOut_);
            while (oldest != entries_.end() && oldest->Sent) ++oldest;
            if (oldest != entries_.end()) {
                old = std::move(*oldest);
                entries_.erase(oldest);
                ++dropped_;
            }
        }
        entries_.push_back({std::move(cycle), nextSequence_++, false});
    }
}

bool TCycleQueue::NextToSend(TPackedCycle& cycle, std::uint64_t& sequence)
{
    const std::lock_guard lock(mutex_);
    while (handedOut_ < entries_.size() && entries_[handedOut_].Sent) ++handedOut_;
    if (handedOut_ >= entries_.size()) return false;
    cycle = entries_[handedOut_].Cycle;
    sequence = entries_[handedOut_].Sequence;
    ++handedOut_;
    return true;
}

bool TCycleQueue::Sent(std::uint64_t sequence)
{
    const std::lock_guard lock(mutex_);
    const auto it = std::lower_bound(entries_.begin(), entries_.end(), sequence,
                                     [](const TEntry& e, std::uint64_t s) { return e.Sequence < s; });
    if (it == entries_.end() || it->Sequence != sequence || it->Sent) return false;
    it->Sent = true;
    while (!entries_.empty() && entries_.front().Sent) {
        entries_.pop_front();
        if (handedOut_ > 0) --handedOut_;
    }
    return true;
}

void TCycleQueue::SendAgain()
{
    const std::lock_guard lock(mutex_);
    handedOut_ = 0;
}

std::size_t TCycleQueue::Size() const
{
    const std::lock_guard lock(mutex_);
    return entries_.size();
}

std::uint64_t TCycleQueue::Dropped() const
{
    const std::lock_guard lock(mutex_);
    return dropped_;
}

std::uint64_t TCycleQueue::PushedMessages() const
{
    const std::lock_guard lock(mutex_);
    return pushedMessages_;
}

} // namespace ksv::cli
