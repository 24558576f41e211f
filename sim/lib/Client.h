// The libraries' side of the wire: one TCP connection to the crate server,
// request/reply with deadlines, and the table that maps the library-owned
// bytes of a caller's record to a live connection.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "Protocol.h"
#include "SimStatus.h"
#include "Socket.h"

namespace ksv::sim {

using Clock = std::chrono::steady_clock;

// Every call but KSV27_Recv gives the server this long to answer.
constexpr int kCallTimeoutMs = 3000;
// KSV27_Close gives the server this long to release the module politely.
constexpr int kCloseTimeoutMs = 1000;

// The port to use: KSV_SIM_PORT (1..65535) when set, else `port`.
uint16_t EffectivePort(uint16_t port);

inline Clock::time_point DeadlineIn(int ms) { return Clock::now() + std::chrono::milliseconds(ms); }
int64_t MillisecondsLeft(Clock::time_point deadline);

struct Reply {
    uint16_t Op = 0;
    uint32_t Seq = 0;
    int32_t Status = 0;
    uint32_t Flags = 0;
    std::vector<uint8_t> Body; // payload after status and flags
};

class Connection {
public:
    Connection() = default;
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Connects within the deadline; kOk or kNoConnection / kTimedOut.
    int32_t Connect(uint32_t address, uint16_t port, Clock::time_point deadline);

    // Sends a request and waits until its reply has come or the deadline has
    // passed. Returns kOk with the reply filled, kTimedOut (the connection
    // stays usable: a late reply is recognised by its seq and handed to the
    // stale-reply sink), kNoConnection or kProtocol (the connection is then
    // broken for good).
    int32_t Call(Op op, const std::vector<uint8_t>& payload, Clock::time_point deadline, Reply& reply);

    // The seq the next request will carry.
    uint32_t NextSeq() const { return nextSeq_; }

    // Wakes a blocked call on another thread and breaks the connection.
    void Interrupt();
    bool Broken() const { return broken_.load(); }

    // Receives every reply that arrives after its call gave up.
    std::function<void(const Reply&)> StaleSink;

private:
    bool SendAll(const uint8_t* data, size_t n, Clock::time_point deadline);
    // Parses one complete frame from the front of rx_; 1 got one, 0 need
    // more bytes, -1 the stream is malformed.
    int TakeFrame(Reply& reply);
    void Break();

    std::atomic<SocketHandle> fd_{kNoSocket};
    std::atomic<bool> broken_{false};
    uint32_t nextSeq_ = 1;
    std::vector<uint8_t> rx_;
};

// The library-owned bytes of a record name a handle: a magic, an index into
// the table and a cookie that a reused index never repeats. A record of zeros
// or of another library, or one whose handle was closed, names nothing.
struct HandleTag {
    uint32_t Magic = 0;
    uint32_t Index = 0;
    uint32_t Cookie = 0;
};

inline HandleTag ReadTag(const uint8_t* bytes)
{
    HandleTag t;
    std::memcpy(&t, bytes, sizeof t);
    return t;
}
inline void WriteTag(uint8_t* bytes, const HandleTag& t) { std::memcpy(bytes, &t, sizeof t); }

template <class T, size_t N = 256>
class HandleTable {
public:
    explicit HandleTable(uint32_t magic) : magic_(magic) {}

    // false when every handle is in use.
    bool Add(std::shared_ptr<T> object, HandleTag& tag)
    {
        std::lock_guard lock(mu_);
        for (size_t i = 0; i < N; ++i) {
            if (!slots_[i].Object) {
                if (++cookie_ == 0) ++cookie_;
                slots_[i] = {std::move(object), cookie_};
                tag = {magic_, static_cast<uint32_t>(i), cookie_};
                return true;
            }
        }
        return false;
    }

    std::shared_ptr<T> Find(const HandleTag& tag)
    {
        std::lock_guard lock(mu_);
        if (!Valid(tag)) return nullptr;
        return slots_[tag.Index].Object;
    }

    std::shared_ptr<T> Take(const HandleTag& tag)
    {
        std::lock_guard lock(mu_);
        if (!Valid(tag)) return nullptr;
        return std::move(slots_[tag.Index].Object);
    }

    // Adds `object` and names it in a record's library-owned bytes (the rest
    // of them zero); false, the bytes untouched, when every handle is in use.
    template <size_t S> bool Attach(std::shared_ptr<T> object, uint8_t (&bytes)[S])
    {
        static_assert(S >= sizeof(HandleTag), "the bytes must hold a handle tag");
        HandleTag tag;
        if (!Add(std::move(object), tag)) return false;
        std::memset(bytes, 0, S);
        WriteTag(bytes, tag);
        return true;
    }

    // Takes what a record's bytes name (nullptr when they name nothing) and
    // zeroes them, so that the record names nothing after.
    template <size_t S> std::shared_ptr<T> Detach(uint8_t (&bytes)[S])
    {
        static_assert(S >= sizeof(HandleTag), "the bytes must hold a handle tag");
        auto object = Take(ReadTag(bytes));
        std::memset(bytes, 0, S);
        return object;
    }

private:
    bool Valid(const HandleTag& tag) const
    {
        return tag.Magic == magic_ && tag.Index < N && slots_[tag.Index].Object && slots_[tag.Index].Cookie == tag.Cookie;
    }

    struct Slot {
        std::shared_ptr<T> Object;
        uint32_t Cookie = 0;
    };
    const uint32_t magic_;
    std::mutex mu_;
    std::array<Slot, N> slots_{};
    uint32_t cookie_ = 0;
};

// Copies at most size-1 characters of `text` and fills the rest of the field
// with NUL.
void CopyField(char* field, size_t size, const std::string& text);

} // namespace ksv::sim
