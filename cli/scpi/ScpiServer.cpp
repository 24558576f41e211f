#include "ScpiServer.h"

#include <asio/post.hpp>
#include <asio/read.hpp>
#include <asio/write.hpp>
#include <deque>

#include "Commands.h"
#include "ScpiSession.h"

namespace ksv::scpi {

using asio::ip::tcp;

namespace {

std::string EndpointText(const tcp::endpoint& endpoint)
{
    const std::string address = endpoint.address().to_string();
    return (endpoint.address().is_v6() ? "[" + address + "]" : address) + ":" + std::to_string(endpoint.port());
}

} // namespace

class TScpiServer::TConnection : public std::enable_shared_from_this<TConnection> {
public:
    TConnection(TScpiServer& server, int id, tcp::socket socket, std::string peer)
        : server_(server), id_(id), socket_(std::move(socket)), peer_(std::move(peer)),
          session_(
              id, server.instrument_, [this](std::string answer) { Send(std::move(answer)); },
              [this](const std::string& line) { cli::PrintError("client " + peer_ + ": " + line); })
    {
    }

    void Start() { Read(); }
    TScpiSession& Session() { return session_; }

    void Resume()
    {
        if (closed_) return;
        session_.Resume();
        if (inputEnded_) return CloseWhenDone();
        if (!reading_ && !session_.Holding()) Consume();
    }

    void Close(const char* why)
    {
        if (closed_) return;
        closed_ = true;
        cli::PrintError("client " + peer_ + " disconnected" + (why ? std::string(" (") + why + ")" : ""));
        asio::error_code ignored;
        socket_.shutdown(tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
        server_.Closed(id_);
    }

private:
    // After the client's end of input: closes once nothing is waiting or
    // being sent.
    void CloseWhenDone()
    {
        if (inputEnded_ && !writing_ && out_.empty() && !session_.Waiting()) Close(nullptr);
    }

    void Read()
    {
        reading_ = true;
        socket_.async_read_some(asio::buffer(buffer_), [self = shared_from_this()](asio::error_code ec, std::size_t n) {
            self->reading_ = false;
            if (self->closed_) return;
            if (ec == asio::error::eof) {
                // The client sends no more: its answers still go out.
                self->inputEnded_ = true;
                return self->CloseWhenDone();
            }
            if (ec) return self->Close(ec.message().c_str());
            self->pending_.append(self->buffer_.data(), n);
            self->Consume();
        });
    }

    // Hands the complete lines received to the session; reads on unless
    // the session holds (*WAI).
    void Consume()
    {
        std::size_t start = 0;
        while (!closed_ && !session_.Holding()) {
            const std::size_t lf = pending_.find('\n', start);
            const std::size_t end = lf == std::string::npos ? pending_.size() : lf;
            if (!overlong_ && line_.size() + (end - start) > kMaxLine) {
                overlong_ = true;
                line_.clear();
            }
            if (!overlong_) line_.append(pending_, start, end - start);
            if (lf == std::string::npos) {
                start = pending_.size();
                break;
            }
            start = lf + 1;
            if (overlong_) session_.LineTooLong();
            else session_.Line(line_);
            overlong_ = false;
            line_.clear();
        }
        pending_.erase(0, start);
        if (!closed_ && !inputEnded_ && !session_.Holding() && !reading_) Read();
    }

    void Send(std::string answer)
    {
        if (closed_) return;
        queued_ += answer.size();
        out_.push_back(std::move(answer));
        if (queued_ - out_.front().size() > kOutputBound) return Close("answers not read");
        if (!writing_) Write();
    }

    void Write()
    {
        writing_ = true;
        asio::async_write(socket_, asio::buffer(out_.front()),
                          [self = shared_from_this()](asio::error_code ec, std::size_t) {
                              self->writing_ = false;
                              if (self->closed_) return;
                              if (ec) return self->Close(ec.message().c_str());
                              self->queued_ -= self->out_.front().size();
                              self->out_.pop_front();
                              if (!self->out_.empty()) self->Write();
                              else self->CloseWhenDone();
                          });
    }

    TScpiServer& server_;
    int id_;
    tcp::socket socket_;
    std::string peer_;
    TScpiSession session_;
    std::array<char, 8192> buffer_{};
    std::string pending_; // received, not yet handed on
    std::string line_;
    bool overlong_ = false;
    std::deque<std::string> out_;
    std::size_t queued_ = 0;
    bool reading_ = false, writing_ = false, closed_ = false, inputEnded_ = false;
};

TScpiServer::TScpiServer(asio::io_context& io, TInstrument& instrument, TServerOptions options)
    : io_(io), instrument_(instrument), options_(std::move(options)), acceptor_(io)
{
}

TScpiServer::~TScpiServer() { Stop(); }

bool TScpiServer::Listen(std::string& error)
{
    asio::error_code ec;
    const asio::ip::address address = asio::ip::make_address(options_.Listen, ec);
    if (ec) {
        error = "--listen " + options_.Listen + ": not an IP address";
        return false;
    }
    const tcp::endpoint endpoint(address, options_.Port);
    acceptor_.open(endpoint.protocol(), ec);
#ifndef _WIN32
    if (!ec) acceptor_.set_option(tcp::acceptor::reuse_address(true), ec);
#endif
    if (!ec) acceptor_.bind(endpoint, ec);
    if (!ec) acceptor_.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        error = "cannot listen on " + EndpointText(endpoint) + ": " + ec.message();
        return false;
    }
    Accept();
    return true;
}

std::uint16_t TScpiServer::Port() const
{
    asio::error_code ec;
    return acceptor_.local_endpoint(ec).port();
}

void TScpiServer::Accept()
{
    acceptor_.async_accept([this](asio::error_code ec, tcp::socket socket) {
        if (stopped_) return;
        if (!ec) Admit(std::move(socket));
        Accept();
    });
}

void TScpiServer::Admit(tcp::socket socket)
{
    asio::error_code ec;
    const tcp::endpoint remote = socket.remote_endpoint(ec);
    if (ec) return;
    const std::string peer = EndpointText(remote);
    const char* refusal = nullptr;
    if (!options_.Allow.Allows(remote.address())) refusal = "not in --allow";
    else if (static_cast<int>(connections_.size()) >= options_.MaxClients) refusal = "too many clients";
    if (refusal) {
        cli::PrintError("client " + peer + " refused (" + refusal + ")");
        socket.close(ec);
        return;
    }
    socket.set_option(tcp::no_delay(true), ec);
    const int id = nextId_++;
    auto connection = std::make_shared<TConnection>(*this, id, std::move(socket), peer);
    connections_[id] = connection;
    cli::PrintError("client " + peer + " connected");
    if (options_.Clients) options_.Clients(id, peer);
    connection->Start();
}

void TScpiServer::Closed(int id)
{
    connections_.erase(id);
    if (options_.Clients) options_.Clients(id, "");
}

void TScpiServer::Stop()
{
    stopped_ = true;
    asio::error_code ec;
    acceptor_.close(ec);
    const auto connections = connections_;
    for (const auto& [id, connection] : connections) connection->Close("service stopping");
}

void TScpiServer::PostStateChanged()
{
    asio::post(io_, [this] {
        const auto connections = connections_;
        for (const auto& [id, connection] : connections) connection->Resume();
    });
}

void TScpiServer::PostError(int owner, TScpiError error)
{
    asio::post(io_, [this, owner, error = std::move(error)] {
        const auto it = connections_.find(owner);
        if (it != connections_.end()) it->second->Session().AcquisitionError(error);
    });
}

} // namespace ksv::scpi
