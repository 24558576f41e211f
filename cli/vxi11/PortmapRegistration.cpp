#include "PortmapRegistration.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <rpc/pmap_clnt.h>
#include <rpc/rpc.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Commands.h"
#include "vxi11.h"

namespace ksv::vxi11 {

namespace {

sockaddr_in Loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// The core channel's port the portmapper names; 0 when none, -1 when no
// portmapper answers.
int RegisteredPort()
{
    sockaddr_in address = Loopback(PMAPPORT);
    const u_short port = pmap_getport(&address, DEVICE_CORE, DEVICE_CORE_VERSION, IPPROTO_TCP);
    if (port != 0) return port;
    return rpc_createerr.cf_stat == RPC_PROGNOTREGISTERED ? 0 : -1;
}

// Something accepts connections on the loopback port.
bool Listening(std::uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const sockaddr_in address = Loopback(port);
    const bool live = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return live;
}

} // namespace

TPortmapRegistration::TPortmapRegistration(std::uint16_t port) : port_(port)
{
    const int held = RegisteredPort();
    if (held < 0) {
        cli::PrintError("VXI-11: no portmapper answers (rpcbind): clients must be given port " + std::to_string(port));
        return;
    }
    if (held > 0 && Listening(static_cast<std::uint16_t>(held))) {
        cli::PrintError("VXI-11: the portmapper names port " + std::to_string(held) +
                        " for another service on this host; this one stays unregistered on port " +
                        std::to_string(port));
        return;
    }
    if (held > 0) pmap_unset(DEVICE_CORE, DEVICE_CORE_VERSION); // left behind by a service that is gone
    registered_ = pmap_set(DEVICE_CORE, DEVICE_CORE_VERSION, IPPROTO_TCP, port) != 0;
    cli::PrintError(registered_ ? "VXI-11: registered with the portmapper on port " + std::to_string(port)
                                : std::string("VXI-11: the portmapper refused the registration"));
}

TPortmapRegistration::~TPortmapRegistration()
{
    if (registered_ && RegisteredPort() == port_) pmap_unset(DEVICE_CORE, DEVICE_CORE_VERSION);
}

} // namespace ksv::vxi11
