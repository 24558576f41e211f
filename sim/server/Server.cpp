#include "Server.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "SimStatus.h"

namespace ksv::sim {

namespace {

constexpr size_t kMaxConnections = 128;
// Once a frame has begun, the rest must follow within this time.
constexpr int kFrameTimeoutMs = 10000;
// A client that reads nothing for this long while a reply waits is cut off.
constexpr int kSendTimeoutMs = 10000;

std::mutex gLogMu;

enum class ReadResult {
    Ok,
    Closed,
    TimedOut,
    Failed
};

// Reads exactly n bytes. Before the first byte it waits without end (a
// shutdown() of the socket ends the wait); after it, kFrameTimeoutMs.
ReadResult ReadExact(int fd, uint8_t* p, size_t n, bool frameStart)
{
    size_t done = 0;
    while (done < n) {
        pollfd pf{fd, POLLIN, 0};
        int timeout = frameStart && done == 0 ? -1 : kFrameTimeoutMs;
        int r = ::poll(&pf, 1, timeout);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return ReadResult::Failed;
        if (r == 0) return ReadResult::TimedOut;
        ssize_t k = ::recv(fd, p + done, n - done, 0);
        if (k > 0) {
            done += static_cast<size_t>(k);
            continue;
        }
        if (k < 0 && errno == EINTR) continue;
        // A reset at a frame boundary is a client that closed with answers
        // still unread: it has left, like one that closed cleanly.
        if (k == 0 || errno == ECONNRESET) return done == 0 && frameStart ? ReadResult::Closed : ReadResult::Failed;
        return ReadResult::Failed;
    }
    return ReadResult::Ok;
}

bool WriteAll(int fd, const uint8_t* p, size_t n)
{
    size_t done = 0;
    while (done < n) {
        ssize_t k = ::send(fd, p + done, n - done, MSG_NOSIGNAL);
        if (k > 0) {
            done += static_cast<size_t>(k);
            continue;
        }
        if (k < 0 && errno == EINTR) continue;
        return false;
    }
    return true;
}

struct Client {
    std::thread Thread;
    std::atomic<bool> Done{false};
};

std::string OpName(uint16_t op)
{
    static const char* kNames[] = {"?", "list", "modules", "open", "close", "getconfig", "getdescription",
                                   "setconfig", "start", "stop", "recv", "control"};
    return op < sizeof kNames / sizeof kNames[0] ? kNames[op] : "op " + std::to_string(op);
}

void ServeClient(World& world, int fd, bool verbose)
{
    const uint64_t id = world.Register(fd);
    const std::string who = "client " + std::to_string(id);
    if (verbose) Log(who + " connected");
    std::vector<uint8_t> payload;
    for (;;) {
        uint8_t head[kHeaderSize];
        ReadResult rr = ReadExact(fd, head, kHeaderSize, true);
        if (rr == ReadResult::Closed) break;
        if (rr != ReadResult::Ok) {
            if (!world.Stopping()) Log(who + ": connection broke off inside a request header; closed");
            break;
        }
        FrameHeader h = DecodeHeader(head);
        if (h.Magic != kFrameMagic) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "%08x", h.Magic);
            Log(who + ": not a request of this server (starts with 0x" + hex + "); closed");
            break;
        }
        if (h.Length > kMaxRequestPayload) {
            Log(who + ": request of " + std::to_string(h.Length) + " bytes is over the limit of " +
                std::to_string(kMaxRequestPayload) + "; closed");
            break;
        }
        payload.resize(h.Length);
        if (h.Length > 0 && ReadExact(fd, payload.data(), h.Length, false) != ReadResult::Ok) {
            if (!world.Stopping()) Log(who + ": connection broke off inside a request; closed");
            break;
        }
        Action a;
        if (h.Op & kReplyBit || h.Op == 0 || h.Op > static_cast<uint16_t>(Op::Control)) {
            Log(who + ": unknown request " + std::to_string(h.Op) + "; answered with an error");
            a.Status = kBadArgument;
        } else {
            Reader in(payload);
            a = world.Handle(id, h.Op, in);
        }
        if (a.What == Action::Hangup) break;
        if (a.What == Action::Drop) {
            if (!world.Stopping()) Log(who + ": connection dropped at " + OpName(h.Op) + " (fault or drop command)");
            break;
        }
        if (a.What == Action::Silent) continue;
        Writer w;
        w.I32(a.Status);
        w.U32(a.Flags);
        w.Raw(a.Body.data(), a.Body.size());
        std::vector<uint8_t> frame = MakeFrame(static_cast<uint16_t>(h.Op | kReplyBit), h.Seq, w.Bytes());
        if (!WriteAll(fd, frame.data(), frame.size())) {
            if (!world.Stopping()) Log(who + ": went away before the answer to " + OpName(h.Op) + " was sent; closed");
            break;
        }
    }
    std::string line = world.Unregister(id);
    if (!line.empty() && !world.Stopping()) Log(line);
    if (verbose) Log(who + " disconnected");
    ::close(fd);
}

} // namespace

void Log(const std::string& line)
{
    std::lock_guard lock(gLogMu);
    std::string text = "ksv-crate-server: " + line + "\n";
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
}

int Listen(uint16_t port, uint16_t& boundPort, std::string& error)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("cannot create a socket: ") + std::strerror(errno);
        return -1;
    }
    // Lets a restarted server take its port while old connections linger;
    // it does not let two servers listen on one port.
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        int e = errno;
        error = e == EADDRINUSE ? "port " + std::to_string(port) + " on 127.0.0.1 is already in use (another crate server?)"
                                : "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(e);
        ::close(fd);
        return -1;
    }
    if (::listen(fd, 64) != 0) {
        error = std::string("cannot listen: ") + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    socklen_t len = sizeof sa;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    boundPort = ntohs(sa.sin_port);
    return fd;
}

void Serve(World& world, int listenFd, int stopFd, bool verbose, pid_t parent)
{
    std::list<std::unique_ptr<Client>> clients;
    auto reap = [&clients] {
        for (auto it = clients.begin(); it != clients.end();) {
            if ((*it)->Done) {
                (*it)->Thread.join();
                it = clients.erase(it);
            } else {
                ++it;
            }
        }
    };
    for (;;) {
        pollfd p[2] = {{listenFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        int r = ::poll(p, 2, parent ? 250 : 1000);
        reap();
        if (parent && ::getppid() != parent) {
            Log("the process that started this server has gone; stopping");
            break;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            Log(std::string("poll failed: ") + std::strerror(errno));
            break;
        }
        if (p[1].revents) break;
        if (!(p[0].revents & POLLIN)) continue;
        int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno != EINTR && errno != EAGAIN && errno != ECONNABORTED)
                Log(std::string("accept failed: ") + std::strerror(errno));
            continue;
        }
        if (clients.size() >= kMaxConnections) {
            Log("more than " + std::to_string(kMaxConnections) + " connections at once; one refused");
            ::close(fd);
            continue;
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        timeval tv{kSendTimeoutMs / 1000, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        auto client = std::make_unique<Client>();
        Client* raw = client.get();
        try {
            client->Thread = std::thread([&world, fd, verbose, raw] {
                ServeClient(world, fd, verbose);
                raw->Done = true;
            });
        } catch (const std::system_error& e) {
            Log(std::string("cannot start a thread for a connection: ") + e.what());
            ::close(fd);
            continue;
        }
        clients.push_back(std::move(client));
    }
    world.Shutdown();
    for (auto& c : clients) c->Thread.join();
}

} // namespace ksv::sim
