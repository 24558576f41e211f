#include "CycleQueue.h"

namespace ksv::cli {

void TCycleQueue::Push(TPackedCycle cycle)
{
    // The dropped cycle is freed outside the lock.
    TEntry old;
    {
        const std::lock_guard lock(mutex_);
        if (entries_.size() >= bound_) {
            old = std::move(entries_.front());
            entries_.pop_front();
            ++firstSequence_;
            if (handedOut_ > 0) --handedOut_;
            ++dropped_;
        }
        entries_.push_back({std::move(cycle), false});
    }
}

bool TCycleQueue::NextToSend(TPackedCycle& cycle, std::uint64_t& sequence)
{
    const std::lock_guard lock(mutex_);
    while (handedOut_ < entries_.size() && entries_[handedOut_].Sent) ++handedOut_;
    if (handedOut_ >= entries_.size()) return false;
    cycle = entries_[handedOut_].Cycle;
    sequence = firstSequence_ + handedOut_;
    ++handedOut_;
    return true;
}

void TCycleQueue::Sent(std::uint64_t sequence)
{
    const std::lock_guard lock(mutex_);
    if (sequence < firstSequence_ || sequence - firstSequence_ >= entries_.size()) return;
    entries_[sequence - firstSequence_].Sent = true;
    while (!entries_.empty() && entries_.front().Sent) {
        entries_.pop_front();
        ++firstSequence_;
        if (handedOut_ > 0) --handedOut_;
    }
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

} // namespace ksv::cli
