// The SCPI socket: a TCP server on one address and port (Asio, one network
// thread), one TScpiSession per connection. Lines end with LF (CR LF
// accepted); a line over kMaxLine bytes is dropped (-223) without being
// kept in memory. While a connection's unsent answers pass kOutputBound its
// input is not read (TCP then holds the client back) until they drain; a
// client whose answers have not moved for the output time-out, or that sent
// and awaited nothing for the idle time-out, is disconnected. Clients
// outside the allow list are closed without a word, those beyond the
// connection limit after one line saying so. Every connection and refusal is
// logged, and the first few command errors of a connection, then one line
// per minute with their count.
#pragma once

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "AllowList.h"
#include "Instrument.h"

namespace ksv::scpi {

inline constexpr std::size_t kMaxLine = 64 * 1024;
inline constexpr std::size_t kOutputBound = 1024 * 1024; // unsent answers above which input waits

struct TServerOptions {
    std::string Listen = "127.0.0.1";
    std::uint16_t Port = 5025;
    TAllowList Allow;
    int MaxClients = 8;
    std::chrono::seconds IdleTimeout{300}; // 0: none
    std::chrono::seconds OutputTimeout{60};
};

class TScpiServer {
public:
    TScpiServer(asio::io_context& io, TInstrument& instrument, TServerOptions options);
    ~TScpiServer();

    // Binds and starts accepting; false with `error` when it cannot.
    bool Listen(std::string& error);
    std::uint16_t Port() const;
    // Stops accepting and closes every connection.
    void Stop();

    // Any thread: hand the instrument's news to the network thread.
    void PostStateChanged();
    void PostError(int owner, TScpiError error);

    std::size_t Connections() const { return connections_.size(); }

private:
    class TConnection;
    void Accept();
    void Admit(asio::ip::tcp::socket socket);
    void Closed(int id);
    void Tick(); // once a second: the time-outs

    asio::io_context& io_;
    TInstrument& instrument_;
    TServerOptions options_;
    asio::ip::tcp::acceptor acceptor_;
    asio::steady_timer ticker_;
    std::map<int, std::shared_ptr<TConnection>> connections_;
    int nextId_ = 1;
    bool stopped_ = false;
};

} // namespace ksv::scpi
