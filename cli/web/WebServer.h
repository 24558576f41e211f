// The service's web side: HTTP and WebSocket (Boost.Beast) on one address
// and port, on a thread and io_context of its own. Read-only: GET and HEAD
// are answered from TWebSite, any other method is 405. Every cycle taken
// reaches the WebSocket readers at once, at most kMaxEventsPerSecond within
// any second; the status goes out again whenever it changes.
//
// A slow or hostile client costs only its own connection: headers and
// bodies are bounded, a request must arrive within kRequestTimeout, and a
// WebSocket reader whose unsent messages pass kSocketQueueBound is dropped.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "scpi/AllowList.h"

namespace ksv::web {

class TWebSite;
class TWebState;

inline constexpr std::size_t kHeaderLimit = 8 * 1024;
inline constexpr std::size_t kBodyLimit = 4 * 1024;
inline constexpr std::chrono::seconds kRequestTimeout{15};
inline constexpr std::size_t kSocketQueueBound = 32; // messages
inline constexpr int kSocketSendBuffer = 64 * 1024;  // bytes, the kernel's share of a reader
inline constexpr std::size_t kMaxEventsPerSecond = 10;

struct TWebOptions {
    std::string Listen = "127.0.0.1";
    std::uint16_t Port = 8080;
    scpi::TAllowList Allow;
    int MaxClients = 32; // connections at once, WebSocket readers included
};

class TWebServer {
public:
    // `site` and `state` outlive the server; the state's client list gets
    // the WebSocket readers.
    TWebServer(TWebOptions options, const TWebSite& site, TWebState& state);
    ~TWebServer();
    TWebServer(const TWebServer&) = delete;
    TWebServer& operator=(const TWebServer&) = delete;

    // Binds; false with `error` when it cannot.
    bool Listen(std::string& error);
    std::uint16_t Port() const;
    // Runs the web thread until Stop.
    void Start();
    void Stop();

    // Any thread: a cycle was taken into the state.
    void CycleTaken();

    struct TImpl; // the sockets and sessions, in WebServer.cpp

private:
    std::unique_ptr<TImpl> impl_;
};

} // namespace ksv::web
