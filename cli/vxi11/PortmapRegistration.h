// The core channel's entry in the host's portmapper (rpcbind), through
// which VISA libraries and VXI-11 discovery find its port. Registered at
// start, taken out at exit, and only while the entry is still this
// service's: a second service on the host leaves the first one's entry be.
#pragma once

#include <cstdint>
#include <string>

namespace ksv::vxi11 {

class TPortmapRegistration {
public:
    // Registers the core channel on TCP `port`. What happened goes to
    // standard error, one line; the service goes on either way.
    explicit TPortmapRegistration(std::uint16_t port);
    ~TPortmapRegistration(); // unregisters, if the entry is still ours
    TPortmapRegistration(const TPortmapRegistration&) = delete;
    TPortmapRegistration& operator=(const TPortmapRegistration&) = delete;

    bool Registered() const { return registered_; }

private:
    std::uint16_t port_;
    bool registered_ = false;
};

} // namespace ksv::vxi11
