#include "Socket.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace ksv::sim {

namespace {

sockaddr_in LoopbackAddress(uint32_t address, uint16_t port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(address);
    return sa;
}

#ifdef _WIN32
// Winsock starts once per process and stays up until it ends.
bool WinsockStarted()
{
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

IoResult LastFailure()
{
    const int e = WSAGetLastError();
    if (e == WSAEWOULDBLOCK || e == WSAEINPROGRESS) return IoResult::InProgress;
    return e == WSAEINTR ? IoResult::Interrupted : IoResult::Failed;
}
#else
IoResult LastFailure()
{
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINPROGRESS) return IoResult::InProgress;
    return errno == EINTR ? IoResult::Interrupted : IoResult::Failed;
}
#endif

} // namespace

#ifdef _WIN32
SocketHandle OpenStreamSocket()
{
    if (!WinsockStarted()) return kNoSocket;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return kNoSocket;
    u_long nonBlocking = 1;
    if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        ::closesocket(s);
        return kNoSocket;
    }
    return static_cast<SocketHandle>(s);
}

void CloseSocket(SocketHandle s) { ::closesocket(static_cast<SOCKET>(s)); }
void ShutdownSocket(SocketHandle s) { ::shutdown(static_cast<SOCKET>(s), SD_BOTH); }

void SetNoDelay(SocketHandle s)
{
    BOOL one = TRUE;
    ::setsockopt(static_cast<SOCKET>(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

IoResult StartConnect(SocketHandle s, uint32_t address, uint16_t port)
{
    const sockaddr_in sa = LoopbackAddress(address, port);
    if (::connect(static_cast<SOCKET>(s), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) return IoResult::Done;
    return LastFailure();
}

int ConnectError(SocketHandle s)
{
    int err = 0;
    int len = sizeof err;
    if (::getsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0) return -1;
    return err;
}

// select() rather than WSAPoll: it reports a refused connect at once on every
// Windows version (in the exception set).
Ready WaitFor(SocketHandle s, Wait what, int timeoutMs)
{
    fd_set wanted, failed;
    FD_ZERO(&wanted);
    FD_ZERO(&failed);
    FD_SET(static_cast<SOCKET>(s), &wanted);
    FD_SET(static_cast<SOCKET>(s), &failed);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int n = ::select(0, what == Wait::Readable ? &wanted : nullptr, what == Wait::Writable ? &wanted : nullptr,
                           &failed, &tv);
    if (n < 0) return LastFailure() == IoResult::Interrupted ? Ready::Interrupted : Ready::Failed;
    return n == 0 ? Ready::TimedOut : Ready::Yes;
}

std::ptrdiff_t SendSome(SocketHandle s, const uint8_t* data, size_t n, IoResult& why)
{
    const int len = n > 0x40000000 ? 0x40000000 : static_cast<int>(n);
    const int k = ::send(static_cast<SOCKET>(s), reinterpret_cast<const char*>(data), len, 0);
    if (k >= 0) return k;
    why = LastFailure();
    return -1;
}

std::ptrdiff_t RecvSome(SocketHandle s, uint8_t* data, size_t n, IoResult& why)
{
    const int len = n > 0x40000000 ? 0x40000000 : static_cast<int>(n);
    const int k = ::recv(static_cast<SOCKET>(s), reinterpret_cast<char*>(data), len, 0);
    if (k >= 0) return k;
    why = LastFailure();
    return -1;
}
#else
SocketHandle OpenStreamSocket()
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    return s < 0 ? kNoSocket : s;
}

void CloseSocket(SocketHandle s) { ::close(s); }
void ShutdownSocket(SocketHandle s) { ::shutdown(s, SHUT_RDWR); }

void SetNoDelay(SocketHandle s)
{
    int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

IoResult StartConnect(SocketHandle s, uint32_t address, uint16_t port)
{
    const sockaddr_in sa = LoopbackAddress(address, port);
    if (::connect(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) return IoResult::Done;
    // A connect interrupted by a signal goes on in the background.
    return errno == EINTR ? IoResult::InProgress : LastFailure();
}

int ConnectError(SocketHandle s)
{
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return -1;
    return err;
}

Ready WaitFor(SocketHandle s, Wait what, int timeoutMs)
{
    pollfd p{s, static_cast<short>(what == Wait::Readable ? POLLIN : POLLOUT), 0};
    const int n = ::poll(&p, 1, timeoutMs);
    if (n < 0) return errno == EINTR ? Ready::Interrupted : Ready::Failed;
    return n == 0 ? Ready::TimedOut : Ready::Yes;
}

std::ptrdiff_t SendSome(SocketHandle s, const uint8_t* data, size_t n, IoResult& why)
{
    // MSG_NOSIGNAL: a server that went away fails the call, not the process.
    const ssize_t k = ::send(s, data, n, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (k >= 0) return k;
    why = LastFailure();
    return -1;
}

std::ptrdiff_t RecvSome(SocketHandle s, uint8_t* data, size_t n, IoResult& why)
{
    const ssize_t k = ::recv(s, data, n, MSG_DONTWAIT);
    if (k >= 0) return k;
    why = LastFailure();
    return -1;
}
#endif

} // namespace ksv::sim
