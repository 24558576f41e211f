// libksvapi: the crate-system library. A KsvCrateConnection holds one TCP
// connection to the crate server, named by the handle tag in LibraryData.
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

// Before anything else that might include ksvapi.h without its operations.
#include "ExportedApi.h"

#include "Client.h"

using namespace ksv::sim;

namespace {

constexpr uint32_t kCrateMagic = 0x4352534Bu; // "KSRC"
// Bounds on what a reply may claim, so that a broken server cannot make the
// library allocate or loop without end.
constexpr uint32_t kMaxListedCrates = 4096;
constexpr uint32_t kMaxListedSlots = 1024;

struct CrateConnection {
    std::mutex Mu; // one call at a time on one connection
    Connection Conn;
};

HandleTable<CrateConnection>& Table()
{
    static HandleTable<CrateConnection> table(kCrateMagic);
    return table;
}

std::shared_ptr<CrateConnection> Find(KsvCrateConnection* c)
{
    return c ? Table().Find(ReadTag(c->LibraryData)) : nullptr;
}

// Runs one request on an open connection: the server's status, or the
// library's own when the call did not get through.
int32_t Run(KsvCrateConnection* c, Op op, const Writer& w, Reply& reply)
{
    auto conn = Find(c);
    if (!conn) return kNotOpen;
    std::lock_guard lock(conn->Mu);
    int32_t rc = conn->Conn.Call(op, w.Bytes(), DeadlineIn(kCallTimeoutMs), reply);
    if (rc != kOk) return rc;
    return reply.Status;
}

} // namespace

extern "C" {

void KSV_Init(KsvCrateConnection* c)
{
    if (!c) return;
    KSV_Close(c);
    std::memset(c, 0, sizeof *c);
    c->Address = KSV_SERVER_ADDRESS;
    c->Port = EffectivePort(KSV_SERVER_PORT);
}

void KSV_Close(KsvCrateConnection* c)
{
    if (!c) return;
    if (auto conn = Table().Detach(c->LibraryData)) conn->Conn.Interrupt();
}

int32_t KSV_Open(KsvCrateConnection* c)
{
    if (!c) return kBadArgument;
    if (auto existing = Find(c)) {
        if (!existing->Conn.Broken()) return kOk;
        // The server went away: open anew rather than keep a dead handle.
        KSV_Close(c);
    }
    auto conn = std::make_shared<CrateConnection>();
    int32_t rc = conn->Conn.Connect(c->Address, EffectivePort(c->Port), DeadlineIn(kCallTimeoutMs));
    if (rc != kOk) return rc;
    return Table().Attach(conn, c->LibraryData) ? kOk : kBusy;
}

int32_t KSV_GetCrates(KsvCrateConnection* c, KsvCrateList crates)
{
    if (!c || !crates) return kBadArgument;
    std::memset(crates, 0, sizeof(KsvCrateList));
    Reply reply;
    int32_t rc = Run(c, Op::ListCrates, Writer{}, reply);
    if (rc != kOk) return rc;
    Reader r(reply.Body);
    uint32_t n = r.U32();
    if (!r.Ok() || n > kMaxListedCrates) return kProtocol;
    KsvCrateList got{};
    uint32_t kept = 0;
    for (uint32_t i = 0; i < n; ++i) {
        std::string serial = r.Str(1024);
        if (!r.Ok()) return kProtocol;
        // An empty serial would end the list early; the server sends none.
        if (serial.empty() || kept >= KSV_MAX_CRATES) continue;
        CopyField(got[kept++], KSV_SERIAL_CHARS, serial);
    }
    std::memcpy(crates, got, sizeof got);
    return kOk;
}

int32_t KSV_GetCrateModules(KsvCrateConnection* c, uint16_t modules[KSV_MAX_SLOTS])
{
    if (!c || !modules) return kBadArgument;
    std::memset(modules, 0, sizeof(uint16_t) * KSV_MAX_SLOTS);
    Writer w;
    w.Str(std::string(c->CrateSerial, strnlen(c->CrateSerial, KSV_SERIAL_CHARS)));
    Reply reply;
    int32_t rc = Run(c, Op::CrateModules, w, reply);
    if (rc != kOk) return rc;
    Reader r(reply.Body);
    uint32_t n = r.U32();
    if (!r.Ok() || n > kMaxListedSlots) return kProtocol;
    uint16_t got[KSV_MAX_SLOTS] = {};
    for (uint32_t i = 0; i < n; ++i) {
        uint16_t id = r.U16();
        if (i < KSV_MAX_SLOTS) got[i] = id;
    }
    if (!r.Ok()) return kProtocol;
    std::memcpy(modules, got, sizeof got);
    return kOk;
}

} // extern "C"
