// The links of the VXI-11 server: their messages in, answers out, the
// exclusive lock and the calls that wait.
#include "Vxi11Link.h"

#include <algorithm>

#include "Commands.h"
#include "RpcMessage.h"
#include "Vxi11Calls.h"
#include "Vxi11Connection.h"
#include "scpi/ScpiServer.h"

namespace ksv::vxi11 {

namespace {
// Messages held behind a *WAI before the link refuses more (-363).
constexpr std::size_t kMaxHeldLines = 1024;
} // namespace

TVxi11Server::TLink& TVxi11Server::NewLink(const TPeer& peer)
{
    auto link = std::make_unique<TLink>();
    TLink& l = *link;
    l.Id = nextLink_++;
    l.Connection = peer->Id();
    l.Peer = peer->Peer();
    const std::string who = "VXI-11 link " + std::to_string(l.Id - kLinkIdBase) + " (" + l.Peer + ")";
    l.Session = std::make_unique<scpi::TScpiSession>(
        l.Id, instrument_, [&l](std::string answer) { l.Output += answer; },
        [who](const std::string& line) { cli::PrintError(who + ": " + line); });
    links_[l.Id] = std::move(link);
    cli::PrintError(who + " created");
    return l;
}

TVxi11Server::TLink* TVxi11Server::FindLink(long lid)
{
    const auto it = lid >= kLinkIdBase && lid < nextLink_ ? links_.find(static_cast<int>(lid)) : links_.end();
    return it == links_.end() ? nullptr : it->second.get();
}

void TVxi11Server::DestroyLink(int id)
{
    const auto it = links_.find(id);
    if (it == links_.end()) return;
    EndWait(*it->second, kAborted);
    if (instrument_.LockOwner() == id) instrument_.SetLockOwner(0);
    cli::PrintError("VXI-11 link " + std::to_string(id - kLinkIdBase) + " (" + it->second->Peer + ") destroyed");
    links_.erase(it);
}

// A message ends at END; a line that ends with LF before it is run at once.
void TVxi11Server::TakeData(TLink& link, std::string_view data, bool end)
{
    if (link.Input.empty() && !link.Overlong && !link.Output.empty()) {
        // A new message while answers are unread: they are given up.
        link.Output.clear();
        link.Session->PushError(scpi::Fail(scpi::err::kQueryInterrupted));
    }
    for (;;) {
        const std::size_t lf = data.find('\n');
        const std::string_view piece = data.substr(0, lf);
        if (!link.Overlong && link.Input.size() + piece.size() > scpi::kMaxLine) {
            link.Overlong = true;
            link.Input.clear();
        }
        if (!link.Overlong) link.Input.append(piece);
        if (lf == std::string_view::npos && !(end && (!link.Input.empty() || link.Overlong))) break;
        if (link.Lines.size() >= kMaxHeldLines) link.Session->PushError(scpi::Fail(scpi::err::kInputBufferOverrun));
        else link.Lines.push_back(link.Overlong ? std::nullopt : std::optional<std::string>(std::move(link.Input)));
        link.Input.clear();
        link.Overlong = false;
        if (lf == std::string_view::npos) break;
        data.remove_prefix(lf + 1);
    }
    FeedLines(link);
}

void TVxi11Server::FeedLines(TLink& link)
{
    while (!link.Lines.empty() && !link.Session->Holding()) {
        const std::optional<std::string> line = std::move(link.Lines.front());
        link.Lines.pop_front();
        if (line) link.Session->Line(*line);
        else link.Session->LineTooLong();
    }
}

void TVxi11Server::Resume(TLink& link)
{
    link.Session->Resume();
    FeedLines(link);
}

bool TVxi11Server::TryRead(TLink& link, const TPeer& peer, std::uint32_t xid, unsigned long requestSize, long flags,
                           char termChar)
{
    Device_ReadResp resp{};
    if (link.Output.empty()) {
        if (link.Session->Waiting() || !link.Lines.empty()) return false;
        // Nothing asked that an answer could come from.
        link.Session->PushError(scpi::Fail(scpi::err::kQueryUnterminated));
        resp.error = kIoTimeout;
        peer->Reply(SuccessReply(xid, reinterpret_cast<xdrproc_t>(xdr_Device_ReadResp), &resp));
        return true;
    }
    std::size_t n = std::min<std::size_t>({requestSize, link.Output.size(), VXI11_MAX_DATA});
    if (flags & kFlagTermChar) {
        const std::size_t at = link.Output.find(termChar);
        if (at < n) {
            n = at + 1;
            resp.reason |= kReasonTermChar;
        }
    }
    if (n > 0 && link.Output[n - 1] == '\n') resp.reason |= kReasonEnd;
    if (!(resp.reason & (kReasonEnd | kReasonTermChar))) resp.reason |= kReasonRequestCount;
    resp.data.data_len = static_cast<u_int>(n);
    resp.data.data_val = link.Output.data();
    peer->Reply(SuccessReply(xid, reinterpret_cast<xdrproc_t>(xdr_Device_ReadResp), &resp));
    link.Output.erase(0, n);
    return true;
}

void TVxi11Server::ClearLink(TLink& link)
{
    EndWait(link, kAborted);
    link.Session->DeviceClear();
    link.Input.clear();
    link.Overlong = false;
    link.Lines.clear();
    link.Output.clear();
}

bool TVxi11Server::LockedOut(const TLink& link) const
{
    const int owner = instrument_.LockOwner();
    return owner != 0 && owner != link.Id;
}

void TVxi11Server::Park(TLink& link, unsigned long timeoutMs, long timeoutError, std::function<bool()> attempt,
                        std::function<void(long)> fail)
{
    EndWait(link, kAborted); // one parked call per link
    auto waiter = std::make_shared<TWaiter>();
    waiter->Attempt = std::move(attempt);
    waiter->Fail = std::move(fail);
    waiter->TimeoutError = timeoutError;
    waiter->Timer = std::make_unique<asio::steady_timer>(io_, std::chrono::milliseconds(timeoutMs));
    const int id = link.Id;
    waiter->Timer->async_wait([this, id, weak = std::weak_ptr<TWaiter>(waiter)](asio::error_code ec) {
        const auto w = weak.lock();
        TLink* l = FindLink(id);
        if (ec || !w || !l || l->Waiter != w) return;
        EndWait(*l, w->TimeoutError);
    });
    link.Waiter = std::move(waiter);
}

void TVxi11Server::EndWait(TLink& link, long error)
{
    if (!link.Waiter) return;
    const std::shared_ptr<TWaiter> waiter = std::move(link.Waiter);
    link.Waiter.reset();
    waiter->Timer->cancel();
    waiter->Fail(error);
}

void TVxi11Server::Retry()
{
    std::vector<int> ids;
    for (const auto& [id, link] : links_)
        if (link->Waiter) ids.push_back(id);
    for (const int id : ids) {
        TLink* link = FindLink(id);
        if (!link || !link->Waiter) continue;
        // Taken off the link while it is tried: an attempt may park anew.
        const std::shared_ptr<TWaiter> waiter = std::move(link->Waiter);
        link->Waiter.reset();
        if (waiter->Attempt()) {
            waiter->Timer->cancel();
            continue;
        }
        link = FindLink(id);
        if (link && !link->Waiter) link->Waiter = waiter;
    }
}

} // namespace ksv::vxi11
