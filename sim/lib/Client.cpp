#include "Client.h"

#include <cerrno>
#include <cstdlib>

#include "Socket.h"

namespace ksv::sim {

uint16_t EffectivePort(uint16_t port)
{
    const char* text = std::getenv("KSV_SIM_PORT");
    if (!text || !*text) return port;
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < 1 || value > 65535) return port;
    return static_cast<uint16_t>(value);
}

int64_t MillisecondsLeft(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : left;
}

namespace {
// Milliseconds to hand to poll(): rounded up so that a wait never ends
// just before its deadline and spins.
int PollTimeout(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    int64_t ms = (left + 999) / 1000;
    return ms > 60000 ? 60000 : static_cast<int>(ms);
}
} // namespace

Connection::~Connection()
{
    SocketHandle fd = fd_.exchange(kNoSocket);
    if (fd != kNoSocket) CloseSocket(fd);
}

void Connection::Break()
{
    broken_ = true;
    SocketHandle fd = fd_.load();
    if (fd != kNoSocket) ShutdownSocket(fd);
}

void Connection::Interrupt() { Break(); }

int32_t Connection::Connect(uint32_t address, uint16_t port, Clock::time_point deadline)
{
    SocketHandle fd = OpenStreamSocket();
    if (fd == kNoSocket) return kNoConnection;
    const IoResult started = StartConnect(fd, address, port);
    if (started == IoResult::Failed || started == IoResult::Interrupted) {
        CloseSocket(fd);
        return kNoConnection;
    }
    if (started == IoResult::InProgress) {
        Ready r;
        while ((r = WaitFor(fd, Wait::Writable, PollTimeout(deadline))) == Ready::Interrupted) {
        }
        if (r != Ready::Yes || ConnectError(fd) != 0) {
            CloseSocket(fd);
            return r == Ready::TimedOut ? kTimedOut : kNoConnection;
        }
    }
    SetNoDelay(fd);
    fd_ = fd;
    broken_ = false;
    return kOk;
}

bool Connection::SendAll(const uint8_t* data, size_t n, Clock::time_point deadline)
{
    size_t done = 0;
    while (done < n) {
        SocketHandle fd = fd_.load();
        if (fd == kNoSocket || broken_) return false;
        IoResult why = IoResult::Failed;
        std::ptrdiff_t k = SendSome(fd, data + done, n - done, why);
        if (k > 0) {
            done += static_cast<size_t>(k);
            continue;
        }
        if (k < 0 && why == IoResult::Interrupted) continue;
        if (k < 0 && why == IoResult::InProgress) {
            const Ready r = WaitFor(fd, Wait::Writable, PollTimeout(deadline));
            if (r == Ready::Yes || r == Ready::Interrupted) continue;
            return false;
        }
        return false;
    }
    return true;
}

int Connection::TakeFrame(Reply& reply)
{
    if (rx_.size() < kHeaderSize) return 0;
    FrameHeader h = DecodeHeader(rx_.data());
    if (h.Magic != kFrameMagic || !(h.Op & kReplyBit) || h.Length < 8 || h.Length > kMaxReplyPayload) return -1;
    if (rx_.size() < kHeaderSize + h.Length) return 0;
    Reader r(rx_.data() + kHeaderSize, h.Length);
    reply.Op = static_cast<uint16_t>(h.Op & ~kReplyBit);
    reply.Seq = h.Seq;
    reply.Status = r.I32();
    reply.Flags = r.U32();
    reply.Body.assign(r.Here(), r.Here() + r.Remaining());
    rx_.erase(rx_.begin(), rx_.begin() + static_cast<std::ptrdiff_t>(kHeaderSize + h.Length));
    return 1;
}

int32_t Connection::Call(Op op, const std::vector<uint8_t>& payload, Clock::time_point deadline, Reply& reply)
{
    if (fd_.load() == kNoSocket || broken_) return kNoConnection;
    const uint32_t seq = nextSeq_++;
    if (nextSeq_ == 0) nextSeq_ = 1;
    std::vector<uint8_t> frame = MakeFrame(static_cast<uint16_t>(op), seq, payload);
    if (!SendAll(frame.data(), frame.size(), deadline)) {
        // A request cut short leaves the stream unusable.
        Break();
        return kNoConnection;
    }
    uint8_t chunk[16384];
    for (;;) {
        Reply got;
        int taken;
        while ((taken = TakeFrame(got)) == 1) {
            if (got.Seq == seq && got.Op == static_cast<uint16_t>(op)) {
                reply = std::move(got);
                return kOk;
            }
            // Replies come in the order of the requests; one from the future,
            // or one of this seq for another request, cannot be.
            if (static_cast<int32_t>(got.Seq - seq) >= 0) {
                Break();
                return kProtocol;
            }
            if (StaleSink) StaleSink(got);
        }
        if (taken < 0) {
            Break();
            return kProtocol;
        }
        SocketHandle fd = fd_.load();
        if (fd == kNoSocket || broken_) return kNoConnection;
        const Ready r = WaitFor(fd, Wait::Readable, PollTimeout(deadline));
        if (r == Ready::Interrupted) continue;
        if (r == Ready::Failed) {
            Break();
            return kNoConnection;
        }
        if (r == Ready::TimedOut) {
            if (Clock::now() >= deadline) return kTimedOut;
            continue;
        }
        IoResult why = IoResult::Failed;
        std::ptrdiff_t k = RecvSome(fd, chunk, sizeof chunk, why);
        if (k > 0) {
            rx_.insert(rx_.end(), chunk, chunk + k);
            continue;
        }
        if (k < 0 && (why == IoResult::Interrupted || why == IoResult::InProgress)) continue;
        Break();
        return kNoConnection;
    }
}

void CopyField(char* field, size_t size, const std::string& text)
{
    if (!field || size == 0) return;
    std::memset(field, 0, size);
    size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(field, text.data(), n);
}

} // namespace ksv::sim
