// The publisher's own queue, counted in cycles: the acquisition pushes every
// cycle, the publisher hands them out to the broker's client oldest first and
// they leave once the broker has taken them whole. The bound is on the cycles
// waiting to be handed out: when it is reached the oldest waiting cycle is
// dropped (and counted); one already with the client is never dropped, so a
// cycle ends up exactly once as sent, dropped or still here. A lost
// connection puts every cycle still here back to be sent again, oldest first.
// Push is for any thread and never waits on more than this queue's short
// lock; the rest is for the publisher's thread.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>

#include "PackedCycle.h"

namespace ksv::cli {

class TCycleQueue {
public:
    explicit TCycleQueue(std::size_t bound) : bound_(bound < 1 ? 1 : bound) {}

    void Push(TPackedCycle cycle);

    // The oldest cycle not yet handed out, copied, with its sequence number.
    bool NextToSend(TPackedCycle& cycle, std::uint64_t& sequence);
    // Cycle `sequence` went out whole: false when it was no longer here.
    bool Sent(std::uint64_t sequence);
    // The connection was lost: every cycle here not yet sent whole goes out again.
    void SendAgain();

    std::size_t Size() const;
    std::uint64_t Dropped() const;
    // The messages of every cycle pushed so far (one per cycle and one per
    // channel with a value).
    std::uint64_t PushedMessages() const;

private:
    struct TEntry {
        TPackedCycle Cycle;
        std::uint64_t Sequence = 0;
        bool Sent = false;
    };

    mutable std::mutex mutex_;
    const std::size_t bound_;
    std::deque<TEntry> entries_; // by sequence
    std::uint64_t nextSequence_ = 0;
    std::size_t handedOut_ = 0; // entries_[0, handedOut_) are out with the client or sent
    std::uint64_t dropped_ = 0;
    std::uint64_t pushedMessages_ = 0;
};

// The messages a cycle makes.
int MessagesOf(const TPackedCycle& cycle);

} // namespace ksv::cli
