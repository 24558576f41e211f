// The procedures of the core and abort channels: what each call does to its
// link and what it answers.
#include <strings.h>

#include "RpcMessage.h"
#include "Vxi11Calls.h"
#include "Vxi11Connection.h"
#include "Vxi11Link.h"

namespace ksv::vxi11 {

namespace {

using TPeer = std::shared_ptr<TVxi11Server::TConnection>;

template <class T> void Answer(const TPeer& peer, std::uint32_t xid, bool_t (*proc)(XDR*, T*), const T& value)
{
    peer->Reply(SuccessReply(xid, reinterpret_cast<xdrproc_t>(proc), &value));
}

void AnswerError(const TPeer& peer, std::uint32_t xid, long error)
{
    Answer(peer, xid, xdr_Device_Error, Device_Error{error});
}

// The answer of a call that may wait, which goes to its connection if
// that is still there.
std::function<void(long)> ErrorLater(const TPeer& peer, std::uint32_t xid)
{
    return [weak = std::weak_ptr(peer), xid](long error) {
        if (const TPeer p = weak.lock()) AnswerError(p, xid, error);
    };
}

} // namespace

void TVxi11Server::Call(const TPeer& peer, std::uint32_t xid, std::uint32_t procedure, TAnyArgs& args)
{
    switch (procedure) {
    case device_abort: return Abort(peer, xid, args.Link);
    case create_link: return CreateLink(peer, xid, args.Create);
    case device_write: return Write(peer, xid, args.Write);
    case device_read: return Read(peer, xid, args.Read);
    case device_readstb:
    case device_trigger:
    case device_clear:
    case device_remote:
    case device_local: return Generic(peer, xid, procedure, args.Generic);
    case device_lock: return Lock(peer, xid, args.Lock);
    case device_unlock: return Unlock(peer, xid, args.Link);
    case destroy_link: return Destroy(peer, xid, args.Link);
    case device_docmd: return Answer(peer, xid, xdr_Device_DocmdResp, Device_DocmdResp{kNotSupported, {0, nullptr}});
    default: return AnswerError(peer, xid, kNotSupported); // service requests and the interrupt channel
    }
}

void TVxi11Server::CreateLink(const TPeer& peer, std::uint32_t xid, const Create_LinkParms& p)
{
    Create_LinkResp resp{kNoError, 0, AbortPort(), kMaxReceive};
    if (!p.device || strcasecmp(p.device, "inst0") != 0) resp.error = kNotAccessible;
    else if (static_cast<int>(links_.size()) >= options_.MaxLinks) resp.error = kOutOfResources;
    if (resp.error) return Answer(peer, xid, xdr_Create_LinkResp, resp);
    TLink& link = NewLink(peer);
    resp.lid = link.Id;
    const auto tryLock = [this, id = link.Id] {
        if (instrument_.LockOwner() != 0 && instrument_.LockOwner() != id) return false;
        instrument_.SetLockOwner(id);
        return true;
    };
    if (!p.lockDevice || tryLock()) return Answer(peer, xid, xdr_Create_LinkResp, resp);
    Park(
        link, p.lock_timeout, kLockedByOther,
        [peer, xid, resp, tryLock] {
            if (!tryLock()) return false;
            Answer(peer, xid, xdr_Create_LinkResp, resp);
            return true;
        },
        [this, weak = std::weak_ptr(peer), xid, resp](long error) mutable {
            // No lock, no link: it goes again (later, off this call's stack).
            asio::post(io_, [this, id = resp.lid] { DestroyLink(static_cast<int>(id)); });
            resp.error = error;
            resp.lid = 0;
            if (const TPeer p = weak.lock()) Answer(p, xid, xdr_Create_LinkResp, resp);
        });
}

void TVxi11Server::Write(const TPeer& peer, std::uint32_t xid, const Device_WriteParms& p)
{
    TLink* link = FindLink(p.lid);
    if (!link) return Answer(peer, xid, xdr_Device_WriteResp, Device_WriteResp{kInvalidLink, 0});
    const auto write = [this, peer, xid, id = link->Id, data = std::string(p.data.data_val, p.data.data_len),
                        end = (p.flags & kFlagEnd) != 0] {
        TLink* l = FindLink(id);
        if (!l || LockedOut(*l)) return false;
        TakeData(*l, data, end);
        Answer(peer, xid, xdr_Device_WriteResp, Device_WriteResp{kNoError, static_cast<u_long>(data.size())});
        return true;
    };
    if (!LockedOut(*link)) {
        write();
        return;
    }
    if (!(p.flags & kFlagWaitLock)) return Answer(peer, xid, xdr_Device_WriteResp, Device_WriteResp{kLockedByOther, 0});
    Park(*link, p.lock_timeout, kLockedByOther, write, [weak = std::weak_ptr(peer), xid](long error) {
        if (const TPeer pr = weak.lock()) Answer(pr, xid, xdr_Device_WriteResp, Device_WriteResp{error, 0});
    });
}

void TVxi11Server::Read(const TPeer& peer, std::uint32_t xid, const Device_ReadParms& p)
{
    const auto fail = [weak = std::weak_ptr(peer), xid](long error) {
        if (const TPeer pr = weak.lock()) Answer(pr, xid, xdr_Device_ReadResp, Device_ReadResp{error, 0, {0, nullptr}});
    };
    TLink* link = FindLink(p.lid);
    if (!link) return fail(kInvalidLink);
    const int id = link->Id;
    const auto read = [this, peer, xid, id, size = p.requestSize, flags = p.flags, term = p.termChar] {
        TLink* l = FindLink(id);
        return l && TryRead(*l, peer, xid, size, flags, term);
    };
    // Once the lock allows: the answer now, or a wait for it of io_timeout.
    const auto start = [this, id, read, fail, timeout = p.io_timeout] {
        TLink* l = FindLink(id);
        if (!l || LockedOut(*l)) return false;
        if (!read()) {
            // Parked from within a retry: the new wait replaces this one.
            Park(*l, timeout, kIoTimeout, read, fail);
        }
        return true;
    };
    if (!LockedOut(*link)) {
        start();
        return;
    }
    if (!(p.flags & kFlagWaitLock)) return fail(kLockedByOther);
    Park(*link, p.lock_timeout, kLockedByOther, start, fail);
}

void TVxi11Server::Generic(const TPeer& peer, std::uint32_t xid, std::uint32_t procedure, const Device_GenericParms& p)
{
    TLink* link = FindLink(p.lid);
    if (procedure == device_readstb) {
        Device_ReadStbResp resp{link ? kNoError : kInvalidLink, 0};
        if (link) resp.stb = link->Session->StatusByte(!link->Output.empty());
        return Answer(peer, xid, xdr_Device_ReadStbResp, resp);
    }
    if (!link) return AnswerError(peer, xid, kInvalidLink);
    const auto act = [this, peer, xid, id = link->Id, procedure] {
        TLink* l = FindLink(id);
        if (!l || LockedOut(*l)) return false;
        if (procedure == device_trigger) TakeData(*l, "INIT", true);
        else if (procedure == device_clear) ClearLink(*l);
        AnswerError(peer, xid, kNoError); // remote and local: nothing to switch
        return true;
    };
    if (!LockedOut(*link)) {
        act();
        return;
    }
    if (!(p.flags & kFlagWaitLock)) return AnswerError(peer, xid, kLockedByOther);
    Park(*link, p.lock_timeout, kLockedByOther, act, ErrorLater(peer, xid));
}

void TVxi11Server::Lock(const TPeer& peer, std::uint32_t xid, const Device_LockParms& p)
{
    TLink* link = FindLink(p.lid);
    if (!link) return AnswerError(peer, xid, kInvalidLink);
    const auto lock = [this, peer, xid, id = link->Id] {
        TLink* l = FindLink(id);
        if (!l || LockedOut(*l)) return false;
        instrument_.SetLockOwner(id);
        AnswerError(peer, xid, kNoError);
        return true;
    };
    if (lock()) return;
    if (!(p.flags & kFlagWaitLock)) return AnswerError(peer, xid, kLockedByOther);
    Park(*link, p.lock_timeout, kLockedByOther, lock, ErrorLater(peer, xid));
}

void TVxi11Server::Unlock(const TPeer& peer, std::uint32_t xid, long lid)
{
    const TLink* link = FindLink(lid);
    if (!link) return AnswerError(peer, xid, kInvalidLink);
    if (instrument_.LockOwner() != link->Id) return AnswerError(peer, xid, kNoLockHeld);
    instrument_.SetLockOwner(0);
    AnswerError(peer, xid, kNoError);
}

void TVxi11Server::Destroy(const TPeer& peer, std::uint32_t xid, long lid)
{
    const TLink* link = FindLink(lid);
    if (!link) return AnswerError(peer, xid, kInvalidLink);
    DestroyLink(link->Id);
    AnswerError(peer, xid, kNoError);
}

void TVxi11Server::Abort(const TPeer& peer, std::uint32_t xid, long lid)
{
    TLink* link = FindLink(lid);
    if (!link) return AnswerError(peer, xid, kInvalidLink);
    EndWait(*link, kAborted);
    AnswerError(peer, xid, kNoError);
}

} // namespace ksv::vxi11
