// ONC RPC messages in and out, through libtirpc's own XDR routines over
// memory (xdrmem): the call header of a record, a procedure's arguments with
// the routine rpcgen made for them, and the replies.
#pragma once

#include <rpc/rpc.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace ksv::vxi11 {

struct TRpcCall {
    std::uint32_t Xid = 0;
    std::uint32_t Program = 0, Version = 0, Procedure = 0;
    std::string_view Args; // the rest of the record
};

// False for a record that is no well-formed call; `xid` is then whatever
// could be read (0 when none), for a reply that says so.
bool DecodeCall(std::string_view record, TRpcCall& call);

// A procedure's arguments, decoded with `proc` into `value` (zeroed
// first); freed again when the holder goes.
template <class T> class TXdrArgs {
public:
    explicit TXdrArgs(xdrproc_t proc) : proc_(proc) {}
    ~TXdrArgs() { xdr_free(proc_, reinterpret_cast<char*>(&value_)); }
    TXdrArgs(const TXdrArgs&) = delete;
    TXdrArgs& operator=(const TXdrArgs&) = delete;

    bool Decode(std::string_view bytes);
    T& operator*() { return value_; }
    T* operator->() { return &value_; }

private:
    xdrproc_t proc_;
    T value_{};
};

bool DecodeXdr(std::string_view bytes, xdrproc_t proc, void* value);

template <class T> bool TXdrArgs<T>::Decode(std::string_view bytes) { return DecodeXdr(bytes, proc_, &value_); }

// Replies, each a whole record's payload (not yet framed).
std::string SuccessReply(std::uint32_t xid, xdrproc_t proc, const void* result);
// PROG_UNAVAIL, PROC_UNAVAIL or GARBAGE_ARGS.
std::string FailureReply(std::uint32_t xid, accept_stat status);
std::string VersionMismatchReply(std::uint32_t xid, std::uint32_t low, std::uint32_t high);

} // namespace ksv::vxi11
