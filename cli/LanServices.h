// What `serve` offers on the network beside its SCPI socket: VXI-11 (core
// and abort channels, registered with the host's portmapper) and DNS-SD
// announcements through avahi-daemon. Built where the system has them
// (Linux: libtirpc, rpcgen, Avahi); elsewhere every call does nothing and
// Vxi11Running() is false.
#pragma once

#include <asio/io_context.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Options.h"
#include "scpi/AllowList.h"
#include "scpi/Instrument.h"
#include "scpi/ScpiError.h"

namespace ksv::cli {

// A DNS-SD service type and its port: "_scpi-raw._tcp", "_http._tcp", ...
struct TAnnouncedService {
    std::string Type;
    std::uint16_t Port = 0;
};

class TLanServices {
public:
    TLanServices(asio::io_context& io, scpi::TInstrument& instrument, const TOptions& options,
                 const scpi::TAllowList& allow);
    ~TLanServices();

    // Listens for VXI-11 (unless --vxi11 off) and registers it with the
    // portmapper; false with `error` when its port cannot be had.
    bool Start(std::string& error);
    // Announces the socket, VXI-11 where it runs, and `more` (unless
    // --announce off, and only when listening beyond loopback).
    void Announce(std::uint16_t scpiPort, const std::vector<TAnnouncedService>& more = {});
    void Stop();

    bool Vxi11Running() const;
    std::uint16_t Vxi11Port() const;

    // Any thread: the instrument's news for the VXI-11 links.
    void PostStateChanged();
    void PostError(int owner, const scpi::TScpiError& error);

    struct TParts;

private:
    std::unique_ptr<TParts> parts_;
};

} // namespace ksv::cli
