// The few socket operations the libraries' connection needs, on POSIX
// sockets and on Winsock alike. Every socket is non-blocking; waits go
// through WaitFor with a time-out.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ksv::sim {

#ifdef _WIN32
using SocketHandle = uintptr_t; // SOCKET
#else
using SocketHandle = int;
#endif
constexpr SocketHandle kNoSocket = static_cast<SocketHandle>(-1);

// A non-blocking TCP socket, or kNoSocket (also when Winsock cannot start).
SocketHandle OpenStreamSocket();
void CloseSocket(SocketHandle s);
// Ends both directions, which wakes a wait on another thread.
void ShutdownSocket(SocketHandle s);
void SetNoDelay(SocketHandle s);

enum class IoResult {
    Done,
    InProgress,
    Interrupted,
    Failed
};

// Done when connected at once, InProgress when WaitFor(Writable) must tell.
IoResult StartConnect(SocketHandle s, uint32_t address, uint16_t port);
// The error of a connect that went on in the background; 0 when it worked.
int ConnectError(SocketHandle s);

enum class Wait {
    Readable,
    Writable
};
enum class Ready {
    Yes,
    TimedOut,
    Interrupted,
    Failed
};
Ready WaitFor(SocketHandle s, Wait what, int timeoutMs);

// Bytes sent or received (> 0), or -1 with `why` set: InProgress when the
// socket would block, Interrupted, Failed. Recv returns 0 when the peer
// closed the connection.
std::ptrdiff_t SendSome(SocketHandle s, const uint8_t* data, size_t n, IoResult& why);
std::ptrdiff_t RecvSome(SocketHandle s, uint8_t* data, size_t n, IoResult& why);

} // namespace ksv::sim
