// The VXI-11 side of `serve`: the core channel (create_link, device_write,
// device_read, ...) and the abort channel on two TCP ports, record marking
// and dispatch on the service's Asio loop. Each link is a TScpiSession of
// its own, as a socket connection is, on the same instrument. A call that
// has to wait (a read whose answer the measurement still owes, a lock held
// by another link) is parked with its time-out and answered later, so it
// holds only its own link; the connection reads on, and the abort channel
// ends a parked call at once.
//
// Links are bounded (--max-clients) and reclaimed when their connection
// ends; records are bounded (kMaxRecord); every connection must come from
// the allow list.
#pragma once

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "scpi/AllowList.h"
#include "scpi/Instrument.h"
#include "scpi/ScpiError.h"

// The argument types rpcgen made (vxi11.h, kept out of this header).
struct Create_LinkParms;
struct Device_WriteParms;
struct Device_ReadParms;
struct Device_GenericParms;
struct Device_LockParms;

namespace ksv::vxi11 {

union TAnyArgs;

// Session ids of links start here, apart from those of socket connections.
inline constexpr int kLinkIdBase = 1000000;
inline constexpr std::size_t kMaxRecord = 1024 * 1024 + 4096;
// The largest write a link takes at once, as create_link tells the client.
inline constexpr std::uint32_t kMaxReceive = 64 * 1024;

struct TVxi11Options {
    std::string Listen = "127.0.0.1";
    std::uint16_t Port = 0; // core channel; 0: any free port
    scpi::TAllowList Allow;
    int MaxLinks = 8;
};

class TVxi11Server {
public:
    TVxi11Server(asio::io_context& io, scpi::TInstrument& instrument, TVxi11Options options);
    ~TVxi11Server();

    // Binds both channels; false with `error` when it cannot.
    bool Listen(std::string& error);
    std::uint16_t CorePort() const;
    std::uint16_t AbortPort() const;
    void Stop();

    // Any thread: the instrument's news, for the network thread.
    void PostStateChanged();
    void PostError(int owner, scpi::TScpiError error);

    std::size_t Links() const { return links_.size(); }

    // One record from a connection (the network thread). Public for the
    // tests that feed records without a socket.
    class TConnection;
    void Dispatch(const std::shared_ptr<TConnection>& connection, std::string_view record);

private:
    struct TLink;
    struct TWaiter;
    using TPeer = std::shared_ptr<TConnection>;

    // The procedures (Vxi11Procedures.cpp), each answering `xid` on `peer`
    // now or once its wait ends.
    void Call(const TPeer& peer, std::uint32_t xid, std::uint32_t procedure, TAnyArgs& args);
    void CreateLink(const TPeer& peer, std::uint32_t xid, const ::Create_LinkParms& p);
    void Write(const TPeer& peer, std::uint32_t xid, const ::Device_WriteParms& p);
    void Read(const TPeer& peer, std::uint32_t xid, const ::Device_ReadParms& p);
    void Generic(const TPeer& peer, std::uint32_t xid, std::uint32_t procedure, const ::Device_GenericParms& p);
    void Lock(const TPeer& peer, std::uint32_t xid, const ::Device_LockParms& p);
    void Unlock(const TPeer& peer, std::uint32_t xid, long lid);
    void Destroy(const TPeer& peer, std::uint32_t xid, long lid);
    void Abort(const TPeer& peer, std::uint32_t xid, long lid);

    // The link's input, lines and answers (Vxi11Link.cpp).
    TLink& NewLink(const TPeer& peer);
    void TakeData(TLink& link, std::string_view data, bool end);
    void FeedLines(TLink& link);
    // True once answered: data, or nothing to wait for.
    bool TryRead(TLink& link, const TPeer& peer, std::uint32_t xid, unsigned long requestSize, long flags,
                 char termChar);
    void ClearLink(TLink& link);
    bool LockedOut(const TLink& link) const;
    // Waits for `attempt` to succeed (tried again whenever something changed)
    // for up to `timeoutMs`; then `fail` answers the call with `timeoutError`.
    void Park(TLink& link, unsigned long timeoutMs, long timeoutError, std::function<bool()> attempt,
              std::function<void(long error)> fail);
    void EndWait(TLink& link, long error);

    void Accept(asio::ip::tcp::acceptor& acceptor, bool core);
    void Closed(int connectionId, bool core);
    TLink* FindLink(long lid);
    void DestroyLink(int id);
    void Retry();
    void Resume(TLink& link);

    asio::io_context& io_;
    scpi::TInstrument& instrument_;
    TVxi11Options options_;
    asio::ip::tcp::acceptor core_, abort_;
    std::map<int, std::shared_ptr<TConnection>> connections_;
    int coreConnections_ = 0, abortConnections_ = 0;
    std::map<int, std::unique_ptr<TLink>> links_;
    int nextConnection_ = 1, nextLink_ = kLinkIdBase + 1;
    bool stopped_ = false;
};

} // namespace ksv::vxi11
