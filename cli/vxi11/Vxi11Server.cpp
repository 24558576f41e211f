#include "Vxi11Server.h"

#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>
#include <array>
#include <cstring>
#include <deque>

#include "Commands.h"
#include "RpcMessage.h"
#include "RpcRecord.h"
#include "Vxi11Calls.h"
#include "Vxi11Connection.h"
#include "Vxi11Link.h"
#include "scpi/ScpiServer.h"

namespace ksv::vxi11 {

using asio::ip::tcp;

namespace {

std::string EndpointText(const tcp::endpoint& endpoint)
{
    const std::string address = endpoint.address().to_string();
    return (endpoint.address().is_v6() ? "[" + address + "]" : address) + ":" + std::to_string(endpoint.port());
}

bool Bind(tcp::acceptor& acceptor, const tcp::endpoint& endpoint, std::string& error)
{
    asio::error_code ec;
    acceptor.open(endpoint.protocol(), ec);
    if (!ec) acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec) acceptor.bind(endpoint, ec);
    if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) error = "VXI-11: cannot listen on " + EndpointText(endpoint) + ": " + ec.message();
    return !ec;
}

} // namespace

TVxi11Server::TVxi11Server(asio::io_context& io, scpi::TInstrument& instrument, TVxi11Options options)
    : io_(io), instrument_(instrument), options_(std::move(options)), core_(io), abort_(io)
{
}

TVxi11Server::~TVxi11Server() { Stop(); }

bool TVxi11Server::Listen(std::string& error)
{
    asio::error_code ec;
    const asio::ip::address address = asio::ip::make_address(options_.Listen, ec);
    if (ec) {
        error = "--listen " + options_.Listen + ": not an IP address";
        return false;
    }
    if (!Bind(core_, tcp::endpoint(address, options_.Port), error) || !Bind(abort_, tcp::endpoint(address, 0), error))
        return false;
    Accept(core_, true);
    Accept(abort_, false);
    return true;
}

std::uint16_t TVxi11Server::CorePort() const
{
    asio::error_code ec;
    return core_.local_endpoint(ec).port();
}

std::uint16_t TVxi11Server::AbortPort() const
{
    asio::error_code ec;
    return abort_.local_endpoint(ec).port();
}

void TVxi11Server::Accept(tcp::acceptor& acceptor, bool core)
{
    acceptor.async_accept([this, &acceptor, core](asio::error_code ec, tcp::socket socket) {
        if (stopped_) return;
        if (ec) return Accept(acceptor, core);
        const tcp::endpoint remote = socket.remote_endpoint(ec);
        if (ec) return Accept(acceptor, core);
        const std::string peer = EndpointText(remote);
        int& count = core ? coreConnections_ : abortConnections_;
        const char* refusal = !options_.Allow.Allows(remote.address()) ? "not in --allow"
                              : count >= options_.MaxLinks             ? "too many clients"
                                                                       : nullptr;
        if (refusal) {
            cli::PrintError("VXI-11 client " + peer + " refused (" + refusal + ")");
            socket.close(ec);
            return Accept(acceptor, core);
        }
        socket.set_option(tcp::no_delay(true), ec);
        ++count;
        const int id = nextConnection_++;
        auto connection = std::make_shared<TConnection>(*this, id, core, std::move(socket), peer);
        connections_[id] = connection;
        connection->Start();
        Accept(acceptor, core);
    });
}

void TVxi11Server::Closed(int connectionId, bool core)
{
    --(core ? coreConnections_ : abortConnections_);
    std::vector<int> gone;
    for (const auto& [id, link] : links_)
        if (link->Connection == connectionId) gone.push_back(id);
    for (const int id : gone) DestroyLink(id);
    connections_.erase(connectionId);
    Retry();
}

void TVxi11Server::Stop()
{
    stopped_ = true;
    asio::error_code ec;
    core_.close(ec);
    abort_.close(ec);
    const auto connections = connections_;
    for (const auto& [id, connection] : connections) connection->Close(nullptr);
}

void TVxi11Server::Dispatch(const TPeer& peer, std::string_view record)
{
    TRpcCall call;
    if (!DecodeCall(record, call)) return; // no call to answer: dropped, as RPC servers do
    if (call.Program != DEVICE_CORE && call.Program != DEVICE_ASYNC)
        return peer->Reply(FailureReply(call.Xid, PROG_UNAVAIL));
    if (call.Version != 1) return peer->Reply(VersionMismatchReply(call.Xid, 1, 1));
    const TProcedure* procedure = FindProcedure(call.Program, call.Procedure);
    if (!procedure) return peer->Reply(FailureReply(call.Xid, PROC_UNAVAIL));
    TAnyArgs args;
    std::memset(&args, 0, sizeof args);
    const bool decoded = !procedure->Args || DecodeXdr(call.Args, procedure->Args, &args);
    if (decoded) Call(peer, call.Xid, call.Procedure, args);
    else peer->Reply(FailureReply(call.Xid, GARBAGE_ARGS));
    if (procedure->Args) xdr_free(procedure->Args, reinterpret_cast<char*>(&args));
    Retry();
}

void TVxi11Server::PostStateChanged()
{
    asio::post(io_, [this] {
        for (const auto& [id, link] : links_) Resume(*link);
        Retry();
    });
}

void TVxi11Server::PostError(int owner, scpi::TScpiError error)
{
    asio::post(io_, [this, owner, error = std::move(error)] {
        const auto it = links_.find(owner);
        if (it == links_.end()) return;
        it->second->Session->AcquisitionError(error);
        Retry();
    });
}

} // namespace ksv::vxi11
