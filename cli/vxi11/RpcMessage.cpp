#include "RpcMessage.h"

#include <array>

namespace ksv::vxi11 {

namespace {

char* Bytes(std::string_view bytes) { return const_cast<char*>(bytes.data()); }

// Encodes `reply` (with its results, if any) into a string.
std::string Encode(rpc_msg& reply)
{
    std::size_t size = 64;
    if (reply.rm_reply.rp_stat == MSG_ACCEPTED && reply.acpted_rply.ar_stat == SUCCESS)
        size += xdr_sizeof(reply.acpted_rply.ar_results.proc, reply.acpted_rply.ar_results.where);
    std::string out(size, '\0');
    XDR xdrs;
    xdrmem_create(&xdrs, out.data(), static_cast<u_int>(out.size()), XDR_ENCODE);
    const bool ok = xdr_replymsg(&xdrs, &reply);
    out.resize(ok ? xdr_getpos(&xdrs) : 0);
    xdr_destroy(&xdrs);
    return out;
}

rpc_msg AcceptedReply(std::uint32_t xid, accept_stat status)
{
    rpc_msg reply{};
    reply.rm_xid = xid;
    reply.rm_direction = REPLY;
    reply.rm_reply.rp_stat = MSG_ACCEPTED;
    reply.acpted_rply.ar_verf = _null_auth;
    reply.acpted_rply.ar_stat = status;
    return reply;
}

} // namespace

bool DecodeCall(std::string_view record, TRpcCall& call)
{
    // The credentials and verifier land in these buffers rather than in
    // memory the decoder would allocate.
    std::array<char, 2 * MAX_AUTH_BYTES> auth{};
    rpc_msg msg{};
    msg.rm_call.cb_cred.oa_base = auth.data();
    msg.rm_call.cb_verf.oa_base = auth.data() + MAX_AUTH_BYTES;
    XDR xdrs;
    xdrmem_create(&xdrs, Bytes(record), static_cast<u_int>(record.size()), XDR_DECODE);
    const bool ok = xdr_callmsg(&xdrs, &msg) && msg.rm_direction == CALL;
    const std::size_t used = ok ? xdr_getpos(&xdrs) : record.size();
    xdr_destroy(&xdrs);
    call.Xid = record.size() >= 4 ? static_cast<std::uint32_t>(msg.rm_xid) : 0;
    if (!ok) return false;
    call.Program = static_cast<std::uint32_t>(msg.rm_call.cb_prog);
    call.Version = static_cast<std::uint32_t>(msg.rm_call.cb_vers);
    call.Procedure = static_cast<std::uint32_t>(msg.rm_call.cb_proc);
    call.Args = record.substr(used);
    return msg.rm_call.cb_rpcvers == RPC_MSG_VERSION;
}

bool DecodeXdr(std::string_view bytes, xdrproc_t proc, void* value)
{
    XDR xdrs;
    xdrmem_create(&xdrs, Bytes(bytes), static_cast<u_int>(bytes.size()), XDR_DECODE);
    const bool ok = proc(&xdrs, value);
    xdr_destroy(&xdrs);
    return ok;
}

std::string SuccessReply(std::uint32_t xid, xdrproc_t proc, const void* result)
{
    rpc_msg reply = AcceptedReply(xid, SUCCESS);
    reply.acpted_rply.ar_results.where = static_cast<caddr_t>(const_cast<void*>(result));
    reply.acpted_rply.ar_results.proc = proc;
    return Encode(reply);
}

std::string FailureReply(std::uint32_t xid, accept_stat status)
{
    rpc_msg reply = AcceptedReply(xid, status);
    return Encode(reply);
}

std::string VersionMismatchReply(std::uint32_t xid, std::uint32_t low, std::uint32_t high)
{
    rpc_msg reply = AcceptedReply(xid, PROG_MISMATCH);
    reply.acpted_rply.ar_vers.low = low;
    reply.acpted_rply.ar_vers.high = high;
    return Encode(reply);
}

} // namespace ksv::vxi11
