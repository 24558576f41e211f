#include "ScpiServer.h"

#include <asio/post.hpp>
#include <asio/read.hpp>
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

using Clock = std::chrono::steady_clock;

namespace {
constexpr int kLoggedErrors = 10; // command errors of a connection logged one by one
constexpr auto kErrorSummaryGap = std::chrono::seconds(60);
} // namespace

class TScpiServer::TConnection : public std::enable_shared_from_this<TConnection> {
public:
    TConnection(TScpiServer& server, int id, tcp::socket socket, std::string peer)
        : server_(server), id_(id), socket_(std::move(socket)), peer_(std::move(peer)),
          session_(
              id, server.instrument_, [this](std::string answer) { Send(std::move(answer)); },
              [this](const std::string& line) { LogError(line); })
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
        FlushErrorCount();
        cli::PrintError("client " + peer_ + " disconnected" + (why ? std::string(" (") + why + ")" : ""));
        asio::error_code ignored;
        socket_.shutdown(tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
        server_.Closed(id_);
    }

    // Closes a connection whose answers have not moved for the output
    // time-out, or one that has neither sent a whole line nor awaited an
    // answer for the idle time-out.
    void CheckTimeouts(Clock::time_point now)
    {
        const TServerOptions& o = server_.options_;
        if (!out_.empty() && now - lastOutput_ >= o.OutputTimeout) return Close("answers not read");
        const bool idle = out_.empty() && !session_.Waiting();
        if (idle && o.IdleTimeout.count() > 0 && now - lastActivity_ >= o.IdleTimeout) Close("idle");
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

    // Input waits while the session holds (*WAI) or the unsent answers pass
    // the bound.
    bool Paused() const { return session_.Holding() || queued_ > kOutputBound; }

    // Hands the complete lines received to the session; reads on unless
    // input waits.
    void Consume()
    {
        std::size_t start = 0;
        while (!closed_ && !Paused()) {
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
            lastActivity_ = Clock::now(); // bytes without a line end (a slow loris) keep nobody busy
            if (overlong_) session_.LineTooLong();
            else session_.Line(line_);
            overlong_ = false;
            line_.clear();
        }
        pending_.erase(0, start);
        if (!closed_ && !inputEnded_ && !Paused() && !reading_) Read();
    }

    void Send(std::string answer)
    {
        if (closed_) return;
        if (out_.empty()) lastOutput_ = Clock::now();
        queued_ += answer.size();
        out_.push_back(std::move(answer));
        if (!writing_) Write();
    }

    // One piece at a time, so that a long answer shows its progress.
    void Write()
    {
        writing_ = true;
        const std::string& front = out_.front();
        socket_.async_write_some(asio::buffer(front.data() + sentOfFront_, front.size() - sentOfFront_),
                                 [self = shared_from_this()](asio::error_code ec, std::size_t n) { self->Written(ec, n); });
    }

    void Written(asio::error_code ec, std::size_t n)
    {
        writing_ = false;
        if (closed_) return;
        if (ec) return Close(ec.message().c_str());
        lastOutput_ = lastActivity_ = Clock::now();
        const bool wasPaused = Paused();
        queued_ -= n;
        sentOfFront_ += n;
        if (sentOfFront_ == out_.front().size()) {
            out_.pop_front();
            sentOfFront_ = 0;
        }
        if (!out_.empty()) Write();
        if (wasPaused && !Paused() && !inputEnded_) Consume();
        CloseWhenDone();
    }

    // The first few command errors one line each, then their count once a minute.
    void LogError(const std::string& line)
    {
        if (logged_ < kLoggedErrors) {
            ++logged_;
            cli::PrintError("client " + peer_ + ": " + line);
            if (logged_ == kLoggedErrors) lastSummary_ = Clock::now();
            return;
        }
        ++unlogged_;
        if (Clock::now() - lastSummary_ >= kErrorSummaryGap) FlushErrorCount();
    }

    void FlushErrorCount()
    {
        if (unlogged_ == 0) return;
        cli::PrintError("client " + peer_ + ": " + std::to_string(unlogged_) + " more command errors");
        unlogged_ = 0;
        lastSummary_ = Clock::now();
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
    std::size_t sentOfFront_ = 0;
    std::size_t queued_ = 0; // unsent bytes of out_
    bool reading_ = false, writing_ = false, closed_ = false, inputEnded_ = false;
    Clock::time_point lastActivity_ = Clock::now(), lastOutput_ = Clock::now();
    int logged_ = 0;
    std::uint64_t unlogged_ = 0;
    Clock::time_point lastSummary_{};
};

TScpiServer::TScpiServer(asio::io_context& io, TInstrument& instrument, TServerOptions options)
    : io_(io), instrument_(instrument), options_(std::move(options)), acceptor_(io), ticker_(io)
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
    Tick();
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
    if (!options_.Allow.Allows(remote.address())) {
        cli::PrintError("client " + peer + " refused (not in --allow)");
        socket.close(ec);
        return;
    }
    if (static_cast<int>(connections_.size()) >= options_.MaxClients) {
        // A client that may come back later is told why; the socket is new,
        // so the one line fits its buffer at once.
        cli::PrintError("client " + peer + " refused (too many clients)");
        const std::string line =
            "all " + std::to_string(options_.MaxClients) + " connections are taken; try again later\n";
        socket.non_blocking(true, ec);
        socket.send(asio::buffer(line), 0, ec);
        socket.shutdown(tcp::socket::shutdown_both, ec);
        socket.close(ec);
        return;
    }
    socket.set_option(tcp::no_delay(true), ec);
    const int id = nextId_++;
    auto connection = std::make_shared<TConnection>(*this, id, std::move(socket), peer);
    connections_[id] = connection;
    cli::PrintError("client " + peer + " connected");
    connection->Start();
}

void TScpiServer::Closed(int id) { connections_.erase(id); }

void TScpiServer::Tick()
{
    ticker_.expires_after(std::chrono::seconds(1));
    ticker_.async_wait([this](asio::error_code ec) {
        if (ec || stopped_) return;
        const auto now = Clock::now();
        const auto connections = connections_;
        for (const auto& [id, connection] : connections) connection->CheckTimeouts(now);
        Tick();
    });
}

void TScpiServer::Stop()
{
    stopped_ = true;
    asio::error_code ec;
    acceptor_.close(ec);
    ticker_.cancel();
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
