// `serve`: the module as a SCPI instrument on a TCP socket (and over VXI-11,
// announced over DNS-SD, where built with them) until SIGTERM or Ctrl+C,
// which stop any acquisition, close the module and exit 0. The network runs
// on this thread (Asio), the acquisition on the instrument's own; with
// --mqtt every measurement's cycles are also published.
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/signal_set.hpp>
#include <csignal>
#include <cstdio>

#include "Commands.h"
#include "ExitStatus.h"
#include "LanServices.h"
#include "scpi/Instrument.h"
#include "scpi/ScpiServer.h"

namespace ksv::cli {

namespace {

// Every measurement's run and cycles go to the publisher; a publisher refused
// for good stops the service.
void AttachPublisher(scpi::TInstrument& instrument, TCyclePublisher& publisher, asio::io_context& io,
                     scpi::TScpiServer& server)
{
    instrument.SetRunObserver([&publisher](const TRunDescription& run) { publisher.Start(run); });
    instrument.SetCycleObserver([&publisher, &io, &server, told = false](const TCycleResult& cycle) mutable {
        publisher.Publish(cycle);
        if (told || !publisher.Refused()) return;
        told = true;
        asio::post(io, [&] {
            server.Stop();
            io.stop();
        });
    });
}

} // namespace

int RunServe(const TMeasureChoice& choice, const TOptions& options, TCyclePublisher* publisher)
{
#ifndef _WIN32
    std::signal(SIGPIPE, SIG_IGN);
#endif
    scpi::TServerOptions server;
    server.Listen = options.Listen;
    server.Port = static_cast<std::uint16_t>(options.Port);
    server.MaxClients = options.MaxClients;
    server.IdleTimeout = std::chrono::seconds(options.IdleTimeoutSeconds);
    std::string error;
    asio::error_code ec;
    asio::ip::make_address(options.Listen, ec);
    if (ec) {
        PrintError("bad value '" + options.Listen + "' for --listen: an IPv4 or IPv6 address");
        return kExitUsage;
    }
    if (!options.Allow.empty() && !server.Allow.Parse(options.Allow, error)) {
        PrintError("--allow: " + error);
        return kExitUsage;
    }
    asio::io_context io;
    scpi::TInstrument instrument(choice);
    TLanServices lan(io, instrument, options, server.Allow);
    scpi::TScpiServer scpiServer(io, instrument, std::move(server));
    instrument.SetNotifiers(
        [&](int owner, scpi::TScpiError e) {
            lan.PostError(owner, e);
            scpiServer.PostError(owner, std::move(e));
        },
        [&] {
            lan.PostStateChanged();
            scpiServer.PostStateChanged();
        });
    if (publisher) AttachPublisher(instrument, *publisher, io, scpiServer);
    // A stop asked for while the module opens is served once the loop runs.
    asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](const asio::error_code& ec, int signal) {
        if (ec) return;
        PrintError(signal == SIGTERM ? "SIGTERM: stopping" : "Ctrl+C: stopping");
        scpiServer.Stop();
        lan.Stop();
        io.stop();
    });
    if (!lan.Start(error)) {
        PrintError(error);
        return kExitListen;
    }
    instrument.Start();
    if (!scpiServer.Listen(error)) {
        PrintError(error);
        instrument.Shutdown();
        return kExitListen;
    }
    std::printf("%u\n", static_cast<unsigned>(scpiServer.Port()));
    std::fflush(stdout);
    PrintError("serving SCPI on " + options.Listen + " port " + std::to_string(scpiServer.Port()));
    lan.Announce(scpiServer.Port());
    io.run();
    instrument.Shutdown();
    PrintError("stopped; the module is closed");
    const std::string refusal = publisher ? publisher->Stop() : std::string();
    if (!refusal.empty()) {
        PrintError(refusal);
        return kExitPublishRefused;
    }
    return kExitOk;
}

} // namespace ksv::cli
