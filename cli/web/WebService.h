// The web side of `serve` as the service wires it: the state the page is
// made of (fed by the instrument's observers, its error sink and the SCPI
// server's client list), the site and the server with its thread.
#pragma once

#include <memory>
#include <string>

#include "WebServer.h"
#include "WebSite.h"
#include "WebState.h"

namespace ksv::web {

class TWebService {
public:
    TWebService(const scpi::TInstrument& instrument, TWebOptions options);
    ~TWebService();

    TWebState& State() { return state_; }
    // Acquisition thread: a scan, into the state and out to the readers.
    void TakeScan(const TScan& scan);
    // Once the SCPI port is known: binds the web port and starts the web
    // thread; false with `error` when the port cannot be had.
    bool Open(const TServiceFacts& service, std::string& error);
    std::uint16_t Port() const { return server_.Port(); }
    void Stop() { server_.Stop(); }

private:
    TWebState state_;
    TWebSite site_;
    TWebServer server_;
};

// What clients reach a service listening on `listen` by: that address, or
// the host's name for an address of every interface.
std::string ReachableHost(const std::string& listen);

} // namespace ksv::web
