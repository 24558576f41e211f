// `serve`: the module as a SCPI instrument on a TCP socket (and over VXI-11,
// announced over DNS-SD, where built with them) until SIGTERM or Ctrl+C,
// which stop any acquisition, close the module and exit 0. The network runs
// on this thread (Asio), the acquisition on the instrument's own; with
// --mqtt every module's cycles are also published under its own topics, and
// the web page
// (--http-port) runs on a thread of its own.
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/signal_set.hpp>
#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

#include "Commands.h"
#include "ExitStatus.h"
#include "LanServices.h"
#include "scpi/Instrument.h"
#include "scpi/ScpiServer.h"
#ifdef KSV_WITH_WEB
#include "WebService.h"
#endif

namespace ksv::cli {

namespace {

// What watches every measurement's run and cycles: the publisher and the web page.
struct TObservers {
    std::vector<scpi::TInstrument::TRunObserver> Runs;
    std::vector<scpi::TInstrument::TCycleObserver> Cycles;

    void AttachTo(scpi::TInstrument& instrument)
    {
        instrument.SetRunObserver([this](const std::vector<TRunDescription>& runs) {
            for (const auto& observer : Runs) observer(runs);
        });
        instrument.SetCycleObserver([this](const TScan& scan) {
            for (const auto& observer : Cycles) observer(scan);
        });
    }
};

// Every measurement's runs and scans go to the modules' publishers; a
// publisher refused for good stops the service.
void AttachPublisher(TObservers& observers, TScanPublisher& publisher, asio::io_context& io,
                     scpi::TScpiServer& server)
{
    observers.Runs.push_back([&publisher](const std::vector<TRunDescription>& runs) { publisher.Start(runs); });
    observers.Cycles.push_back([&publisher, &io, &server, told = false](const TScan& scan) mutable {
        publisher.Publish(scan);
        if (told || !publisher.Refused()) return;
        told = true;
        asio::post(io, [&] {
            server.Stop();
            io.stop();
        });
    });
}

#ifdef KSV_WITH_WEB
// The page, unless --http-port off: its state follows the SCPI clients, the
// instrument's errors and every run and cycle.
std::unique_ptr<web::TWebService> MakeWeb(const TOptions& options, const scpi::TInstrument& instrument,
                                          scpi::TServerOptions& server, TObservers& observers)
{
    if (options.HttpPort < 0) return nullptr;
    web::TWebOptions web;
    web.Listen = options.Listen;
    web.Port = static_cast<std::uint16_t>(options.HttpPort);
    web.Allow = server.Allow;
    web.MaxClients = options.HttpMaxClients;
    auto service = std::make_unique<web::TWebService>(instrument, std::move(web));
    web::TWebState& state = service->State();
    server.Clients = [&state](int id, const std::string& peer) {
        if (peer.empty()) state.ClientClosed("SCPI", id);
        else state.ClientConnected("SCPI", id, peer);
    };
    observers.Runs.push_back([&state](const std::vector<TRunDescription>& runs) { state.TakeRuns(runs); });
    observers.Cycles.push_back([web = service.get()](const TScan& scan) { web->TakeScan(scan); });
    return service;
}

// The second line of standard output: the web port, or "off" without a page.
// False when an explicitly given port cannot be had.
bool OpenWeb(web::TWebService* web, const TOptions& options, std::uint16_t scpiPort, bool vxi11)
{
    std::string error;
    const web::TServiceFacts facts{web::ReachableHost(options.Listen), scpiPort, vxi11};
    const bool open = web && web->Open(facts, error);
    if (web && !open) PrintError(error + (options.HttpPortGiven ? "" : "; no web page"));
    std::printf("%s\n", open ? std::to_string(web->Port()).c_str() : "off");
    std::fflush(stdout);
    if (open) PrintError("serving the web page on " + options.Listen + " port " + std::to_string(web->Port()));
    return open || !web || !options.HttpPortGiven;
}
#endif

} // namespace

int RunServe(const TMeasureChoice& choice, const TOptions& options, const TPublisherFactory& makePublisher)
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
    TObservers observers;
#ifdef KSV_WITH_WEB
    std::unique_ptr<web::TWebService> web = MakeWeb(options, instrument, server, observers);
#endif
    TLanServices lan(io, instrument, options, server.Allow);
    scpi::TScpiServer scpiServer(io, instrument, std::move(server));
    instrument.SetNotifiers(
        [&](int owner, scpi::TScpiError e) {
#ifdef KSV_WITH_WEB
            if (web) web->State().TakeError(e.Code, scpi::ErrorText(e.Code) + (e.Detail.empty() ? "" : "; " + e.Detail));
#endif
            lan.PostError(owner, e);
            scpiServer.PostError(owner, std::move(e));
        },
        [&] {
            lan.PostStateChanged();
            scpiServer.PostStateChanged();
        });
    std::unique_ptr<TScanPublisher> publisher;
    if (makePublisher) {
        publisher = std::make_unique<TScanPublisher>(makePublisher);
        AttachPublisher(observers, *publisher, io, scpiServer);
    }
    observers.AttachTo(instrument);
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
    std::vector<TAnnouncedService> more;
#ifdef KSV_WITH_WEB
    if (!OpenWeb(web.get(), options, scpiServer.Port(), lan.Vxi11Running())) {
        scpiServer.Stop();
        lan.Stop();
        instrument.Shutdown();
        return kExitListen;
    }
    if (web && web->Port() != 0) more = {{"_lxi._tcp", web->Port()}, {"_http._tcp", web->Port()}};
#endif
    lan.Announce(scpiServer.Port(), more);
    io.run();
#ifdef KSV_WITH_WEB
    if (web) web->Stop();
#endif
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
