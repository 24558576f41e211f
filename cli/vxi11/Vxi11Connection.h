// One TCP connection of the VXI-11 server (core or abort channel): records
// in, each dispatched as it completes; replies out, each framed as one
// record. Replies the client leaves unread past kOutputBound close it.
#pragma once

#include <asio/ip/tcp.hpp>
#include <asio/write.hpp>
#include <array>
#include <deque>
#include <memory>
#include <string>

#include "Commands.h"
#include "RpcRecord.h"
#include "Vxi11Server.h"
#include "scpi/ScpiServer.h"

namespace ksv::vxi11 {

using asio::ip::tcp;

class TVxi11Server::TConnection : public std::enable_shared_from_this<TConnection> {
public:
    TConnection(TVxi11Server& server, int id, bool core, tcp::socket socket, std::string peer)
        : server_(server), id_(id), core_(core), socket_(std::move(socket)), peer_(std::move(peer))
    {
    }

    int Id() const { return id_; }
    const std::string& Peer() const { return peer_; }
    bool IsClosed() const { return closed_; }
    void Start() { Read(); }

    void Reply(std::string payload)
    {
        if (closed_) return;
        std::string framed = FrameRecord(payload);
        queued_ += framed.size();
        out_.push_back(std::move(framed));
        if (queued_ - out_.front().size() > scpi::kOutputBound) return Close("replies not read");
        if (!writing_) Write();
    }

    void Close(const char* why)
    {
        if (closed_) return;
        closed_ = true;
        if (why) cli::PrintError("VXI-11 client " + peer_ + " disconnected (" + why + ")");
        asio::error_code ignored;
        socket_.shutdown(tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
        server_.Closed(id_, core_);
    }

private:
    void Read()
    {
        socket_.async_read_some(asio::buffer(buffer_), [self = shared_from_this()](asio::error_code ec, std::size_t n) {
            if (self->closed_) return;
            if (ec) return self->Close(ec == asio::error::eof ? nullptr : ec.message().c_str());
            if (!self->records_.Feed(std::string_view(self->buffer_.data(), n)))
                return self->Close("record longer than the service takes");
            std::string record;
            while (!self->closed_ && self->records_.Next(record)) self->server_.Dispatch(self, record);
            if (!self->closed_) self->Read();
        });
    }

    void Write()
    {
        writing_ = true;
        asio::async_write(socket_, asio::buffer(out_.front()), [self = shared_from_this()](asio::error_code ec, std::size_t) {
            self->writing_ = false;
            if (self->closed_) return;
            if (ec) return self->Close(ec.message().c_str());
            self->queued_ -= self->out_.front().size();
            self->out_.pop_front();
            if (!self->out_.empty()) self->Write();
        });
    }

    TVxi11Server& server_;
    int id_;
    bool core_;
    tcp::socket socket_;
    std::string peer_;
    std::array<char, 16384> buffer_{};
    TRecordReader records_{kMaxRecord};
    std::deque<std::string> out_;
    std::size_t queued_ = 0;
    bool writing_ = false, closed_ = false;
};

} // namespace ksv::vxi11
