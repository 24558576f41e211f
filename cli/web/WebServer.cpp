#include "WebServer.h"

#include <asio/ip/address.hpp>
#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <deque>
#include <optional>
#include <set>
#include <thread>

#include "Commands.h"
#include "WebSite.h"
#include "WebState.h"

namespace ksv::web {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {

std::string EndpointText(const tcp::endpoint& endpoint)
{
    const std::string address = endpoint.address().to_string();
    return (endpoint.address().is_v6() ? "[" + address + "]" : address) + ":" + std::to_string(endpoint.port());
}

constexpr auto kEventWindow = std::chrono::seconds(1);
constexpr auto kStatusPeriod = std::chrono::seconds(1);

class TSocketSession;

} // namespace

// What the sessions share, on the web thread only.
struct TWebServer::TImpl {
    TImpl(TWebOptions options, const TWebSite& site, TWebState& state)
        : Options(std::move(options)), Site(site), State(state), Acceptor(Io), EventTimer(Io), StatusTimer(Io)
    {
    }

    void Accept();
    void Admit(tcp::socket socket);
    void CycleArrived();
    void Broadcast();
    void StatusTick();

    TWebOptions Options;
    const TWebSite& Site;
    TWebState& State;
    // Before the io_context: sessions its destruction frees still count down.
    int Connections = 0;
    int NextId = 1;
    std::uint16_t Port = 0; // once bound
    net::io_context Io;
    tcp::acceptor Acceptor;
    std::thread Thread;
    std::set<std::shared_ptr<TSocketSession>> Sockets;
    std::string LastEvent;
    std::deque<std::chrono::steady_clock::time_point> Sent; // the last kMaxEventsPerSecond events
    net::steady_timer EventTimer, StatusTimer;
    bool EventPending = false;
    std::atomic<bool> CyclePosted{false};
};

namespace {

// One WebSocket reader: every message it is sent in order, at most
// kSocketQueueBound waiting; what it sends is read and dropped.
class TSocketSession : public std::enable_shared_from_this<TSocketSession> {
public:
    TSocketSession(TWebServer::TImpl& server, tcp::socket socket, int id, std::string peer)
        : server_(server), ws_(std::move(socket)), id_(id), peer_(std::move(peer))
    {
    }

    void Start(http::request<http::string_body> request)
    {
        request_ = std::move(request);
        // A small send buffer: a reader that stops reading shows within
        // seconds in its queue, and holds little of the kernel's memory.
        beast::error_code ec;
        beast::get_lowest_layer(ws_).socket().set_option(net::socket_base::send_buffer_size(kSocketSendBuffer), ec);
        beast::get_lowest_layer(ws_).expires_never();
        ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        ws_.read_message_max(1024);
        ws_.async_accept(request_, [self = shared_from_this()](beast::error_code ec) { self->Accepted(ec); });
    }

    void Send(const std::shared_ptr<const std::string>& message)
    {
        if (closed_) return;
        if (queue_.size() >= kSocketQueueBound) {
            cli::PrintError("web reader " + peer_ + " dropped (does not read)");
            return Close();
        }
        queue_.push_back(message);
        if (queue_.size() == 1) Write();
    }

    void Close()
    {
        if (closed_) return;
        closed_ = true;
        beast::error_code ec;
        beast::get_lowest_layer(ws_).socket().shutdown(tcp::socket::shutdown_both, ec);
        beast::get_lowest_layer(ws_).close();
        server_.State.ClientClosed("WebSocket", id_);
        --server_.Connections;
        server_.Sockets.erase(shared_from_this());
    }

private:
    void Accepted(beast::error_code ec)
    {
        if (ec) return Close();
        server_.State.ClientConnected("WebSocket", id_, peer_);
        server_.Sockets.insert(shared_from_this());
        Send(std::make_shared<const std::string>(server_.Site.Event()));
        Read();
    }

    void Read()
    {
        ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code ec, std::size_t) {
            if (ec) return self->Close();
            self->buffer_.consume(self->buffer_.size());
            self->Read();
        });
    }

    void Write()
    {
        ws_.text(true);
        ws_.async_write(net::buffer(*queue_.front()), [self = shared_from_this()](beast::error_code ec, std::size_t) {
            if (ec) return self->Close();
            if (self->closed_) return;
            self->queue_.pop_front();
            if (!self->queue_.empty()) self->Write();
        });
    }

    TWebServer::TImpl& server_;
    websocket::stream<beast::tcp_stream> ws_;
    int id_;
    std::string peer_;
    http::request<http::string_body> request_;
    beast::flat_buffer buffer_;
    std::deque<std::shared_ptr<const std::string>> queue_;
    bool closed_ = false;
};

// One HTTP connection: requests in turn, each within kRequestTimeout, until
// the client closes, asks to close, or upgrades to a WebSocket.
class THttpSession : public std::enable_shared_from_this<THttpSession> {
public:
    THttpSession(TWebServer::TImpl& server, tcp::socket socket, std::string peer)
        : server_(server), stream_(std::move(socket)), peer_(std::move(peer))
    {
    }
    ~THttpSession() { --server_.Connections; }

    void Read()
    {
        parser_.emplace();
        parser_->header_limit(kHeaderLimit);
        parser_->body_limit(kBodyLimit);
        stream_.expires_after(kRequestTimeout);
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code ec, std::size_t) { self->Arrived(ec); });
    }

private:
    void Arrived(beast::error_code ec)
    {
        if (ec == http::error::header_limit || ec == http::error::buffer_overflow)
            return Refuse(http::status::request_header_fields_too_large);
        if (ec == http::error::body_limit) return Refuse(http::status::payload_too_large);
        if (ec) return Close();
        http::request<http::string_body> request = parser_->release();
        if (websocket::is_upgrade(request) && request.target() == "/ws") return Upgrade(std::move(request));
        Respond(request);
    }

    void Upgrade(http::request<http::string_body> request)
    {
        const int id = server_.NextId++;
        ++server_.Connections; // the reader counts as this connection does
        std::make_shared<TSocketSession>(server_, stream_.release_socket(), id, peer_)->Start(std::move(request));
    }

    void Respond(const http::request<http::string_body>& request)
    {
        const bool head = request.method() == http::verb::head;
        auto response = std::make_shared<http::response<http::string_body>>();
        response->version(request.version());
        response->keep_alive(request.keep_alive());
        if (request.method() != http::verb::get && !head) {
            response->result(http::status::method_not_allowed);
            response->set(http::field::allow, "GET, HEAD");
            response->set(http::field::content_type, "text/plain; charset=utf-8");
            response->body() = "method not allowed: the page is read-only\n";
        } else {
            const beast::string_view target = request.target();
            TWebResponse answer = server_.Site.Get(std::string_view(target.data(), target.size()));
            response->result(answer.Status);
            response->set(http::field::content_type, answer.ContentType);
            response->set(http::field::cache_control, answer.Cacheable ? "max-age=3600" : "no-store");
            response->body() = std::move(answer.Body);
        }
        Send(response, head);
    }

    void Refuse(http::status status)
    {
        auto response = std::make_shared<http::response<http::string_body>>(status, 11);
        response->set(http::field::content_type, "text/plain; charset=utf-8");
        response->body() = std::string(http::obsolete_reason(status)) + "\n";
        response->keep_alive(false);
        Send(response, false);
    }

    void Send(const std::shared_ptr<http::response<http::string_body>>& response, bool head)
    {
        response->set(http::field::server, "ksv27-vorn-cli");
        response->set("Content-Security-Policy", kContentSecurityPolicy);
        response->set("X-Content-Type-Options", "nosniff");
        response->set("Referrer-Policy", "no-referrer");
        response->content_length(response->body().size());
        if (head) response->body().clear();
        stream_.expires_after(kRequestTimeout);
        http::async_write(stream_, *response,
                          [self = shared_from_this(), response](beast::error_code ec, std::size_t) {
                              if (ec || !response->keep_alive()) return self->Close();
                              self->Read();
                          });
    }

    void Close()
    {
        beast::error_code ec;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
        stream_.close();
    }

    TWebServer::TImpl& server_;
    beast::tcp_stream stream_;
    std::string peer_;
    beast::flat_buffer buffer_{kHeaderLimit + kBodyLimit};
    std::optional<http::request_parser<http::string_body>> parser_;
};

} // namespace

void TWebServer::TImpl::Accept()
{
    Acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
        if (ec == net::error::operation_aborted) return;
        if (!ec) Admit(std::move(socket));
        Accept();
    });
}

void TWebServer::TImpl::Admit(tcp::socket socket)
{
    beast::error_code ec;
    const tcp::endpoint remote = socket.remote_endpoint(ec);
    if (ec) return;
    asio::error_code parsed;
    const asio::ip::address address = asio::ip::make_address(remote.address().to_string(), parsed);
    const char* refusal = nullptr;
    if (parsed || !Options.Allow.Allows(address)) refusal = "not in --allow";
    else if (Connections >= Options.MaxClients) refusal = "too many web clients";
    if (refusal) {
        cli::PrintError("web client " + EndpointText(remote) + " refused (" + refusal + ")");
        socket.close(ec);
        return;
    }
    socket.set_option(tcp::no_delay(true), ec);
    ++Connections;
    std::make_shared<THttpSession>(*this, std::move(socket), EndpointText(remote))->Read();
}

// A cycle goes out at once unless kMaxEventsPerSecond went out within the
// last second; then the newest goes out as soon as the oldest of those is a
// second old. Cycles a little faster than that limit thus mostly go at once.
void TWebServer::TImpl::CycleArrived()
{
    CyclePosted = false;
    if (EventPending) return;
    const auto now = std::chrono::steady_clock::now();
    if (Sent.size() < kMaxEventsPerSecond || now - Sent.front() >= kEventWindow) return Broadcast();
    EventPending = true;
    EventTimer.expires_at(Sent.front() + kEventWindow);
    EventTimer.async_wait([this](beast::error_code ec) {
        EventPending = false;
        if (!ec) Broadcast();
    });
}

void TWebServer::TImpl::Broadcast()
{
    Sent.push_back(std::chrono::steady_clock::now());
    if (Sent.size() > kMaxEventsPerSecond) Sent.pop_front();
    LastEvent = Site.Event();
    if (Sockets.empty()) return;
    const auto message = std::make_shared<const std::string>(LastEvent);
    const auto sockets = Sockets; // a dropped reader leaves the set meanwhile
    for (const auto& socket : sockets) socket->Send(message);
}

// The status (module, clients, errors) goes out when it changed without a cycle.
void TWebServer::TImpl::StatusTick()
{
    StatusTimer.expires_after(kStatusPeriod);
    StatusTimer.async_wait([this](beast::error_code ec) {
        if (ec) return;
        if (!EventPending && Site.Event() != LastEvent) Broadcast();
        StatusTick();
    });
}

TWebServer::TWebServer(TWebOptions options, const TWebSite& site, TWebState& state)
    : impl_(std::make_unique<TImpl>(std::move(options), site, state))
{
}

TWebServer::~TWebServer() { Stop(); }

bool TWebServer::Listen(std::string& error)
{
    TImpl& s = *impl_;
    beast::error_code ec;
    const tcp::endpoint endpoint(net::ip::make_address(s.Options.Listen, ec), s.Options.Port);
    if (!ec) s.Acceptor.open(endpoint.protocol(), ec);
    if (!ec) s.Acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec) s.Acceptor.bind(endpoint, ec);
    if (!ec) s.Acceptor.listen(net::socket_base::max_listen_connections, ec);
    if (ec) {
        error = "cannot serve the web page on " + EndpointText(endpoint) + ": " + ec.message();
        s.Acceptor.close(ec);
        return false;
    }
    s.Port = s.Acceptor.local_endpoint(ec).port();
    return true;
}

std::uint16_t TWebServer::Port() const { return impl_->Port; }

void TWebServer::Start()
{
    TImpl& s = *impl_;
    s.Accept();
    s.StatusTick();
    s.Thread = std::thread([&s] { s.Io.run(); });
}

void TWebServer::Stop()
{
    TImpl& s = *impl_;
    if (!s.Thread.joinable()) return;
    net::post(s.Io, [&s] {
        beast::error_code ec;
        s.Acceptor.close(ec);
        s.EventTimer.cancel();
        s.StatusTimer.cancel();
        const auto sockets = s.Sockets;
        for (const auto& socket : sockets) socket->Close();
        s.Io.stop();
    });
    s.Thread.join();
}

void TWebServer::CycleTaken()
{
    TImpl& s = *impl_;
    if (s.CyclePosted.exchange(true)) return; // one is on its way
    net::post(s.Io, [&s] { s.CycleArrived(); });
}

} // namespace ksv::web
