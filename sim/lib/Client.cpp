#include "Client.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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
    int fd = fd_.exchange(-1);
    if (fd >= 0) ::close(fd);
}

void Connection::Break()
{
    broken_ = true;
    int fd = fd_.load();
    if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

void Connection::Interrupt() { Break(); }

int32_t Connection::Connect(uint32_t address, uint16_t port, Clock::time_point deadline)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return kNoConnection;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(address);
    int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    if (rc != 0 && errno != EINPROGRESS && errno != EINTR) {
        ::close(fd);
        return kNoConnection;
    }
    if (rc != 0) {
        for (;;) {
            pollfd p{fd, POLLOUT, 0};
            int n = ::poll(&p, 1, PollTimeout(deadline));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ::close(fd);
                return n == 0 ? kTimedOut : kNoConnection;
            }
            break;
        }
        int err = 0;
        socklen_t len = sizeof err;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
            ::close(fd);
            return kNoConnection;
        }
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    fd_ = fd;
    broken_ = false;
    return kOk;
}

bool Connection::SendAll(const uint8_t* data, size_t n, Clock::time_point deadline)
{
    size_t done = 0;
    while (done < n) {
        int fd = fd_.load();
        if (fd < 0 || broken_) return false;
        ssize_t k = ::send(fd, data + done, n - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (k > 0) {
            done += static_cast<size_t>(k);
            continue;
        }
        if (k < 0 && errno == EINTR) continue;
        if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            int r = ::poll(&p, 1, PollTimeout(deadline));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            continue;
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
    if (fd_.load() < 0 || broken_) return kNoConnection;
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
        int fd = fd_.load();
        if (fd < 0 || broken_) return kNoConnection;
        pollfd p{fd, POLLIN, 0};
        int n = ::poll(&p, 1, PollTimeout(deadline));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            Break();
            return kNoConnection;
        }
        if (n == 0) {
            if (Clock::now() >= deadline) return kTimedOut;
            continue;
        }
        ssize_t k = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (k > 0) {
            rx_.insert(rx_.end(), chunk, chunk + k);
            continue;
        }
        if (k < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
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
