// libFuzzer target for what a VXI-11 client sends: a byte stream taken
// apart into records (fed in two pieces, as TCP may deliver it), each record
// decoded as an RPC call and its arguments decoded with rpcgen's routines,
// then freed. Records stay within their bound, and a decoded write or
// command never claims more bytes than its record held.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "RpcMessage.h"
#include "RpcRecord.h"
#include "Vxi11Calls.h"

namespace {

constexpr std::size_t kBound = 64 * 1024;

void Check(bool ok, const char* what)
{
    if (ok) return;
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
}

void DecodeRecord(const std::string& record)
{
    using namespace ksv::vxi11;
    Check(record.size() <= kBound, "a record within its bound");
    TRpcCall call;
    if (!DecodeCall(record, call)) return;
    const TProcedure* procedure = FindProcedure(call.Program, call.Procedure);
    if (!procedure || !procedure->Args) return;
    TAnyArgs args;
    std::memset(&args, 0, sizeof args);
    if (DecodeXdr(call.Args, procedure->Args, &args)) {
        if (call.Procedure == device_write) Check(args.Write.data.data_len <= call.Args.size(), "write data in the record");
        if (call.Procedure == create_link) Check(std::strlen(args.Create.device) <= call.Args.size(), "a device name");
    }
    xdr_free(procedure->Args, reinterpret_cast<char*>(&args));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = size > 0 ? data[0] % (size + 1) : 0;
    ksv::vxi11::TRecordReader reader(kBound);
    std::string record;
    for (const std::string_view piece : {bytes.substr(0, cut), bytes.substr(cut)}) {
        if (!reader.Feed(piece)) return 0;
        while (reader.Next(record)) DecodeRecord(record);
    }
    return 0;
}
