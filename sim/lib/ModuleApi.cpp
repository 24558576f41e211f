// libksv27api: the module library. Each open Ksv27ModuleRecord holds one TCP
// connection to the crate server, named by the handle tag at the start of
// its LibraryHeader. ProcessData converts locally, with the mezzanine kinds
// learnt at Open and the coefficients that SetConfig had accepted.
#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

// Before anything else that might include ksvapi.h without its operations.
#include "ExportedApi.h"

#include "Client.h"
#include "Mezzanine.h"

using namespace ksv::sim;

namespace {

constexpr uint32_t kModuleMagic = 0x3732534Bu; // "KS27"
using Coefs = std::array<double, 4>;
constexpr Coefs kIdentity{0.0, 1.0, 0.0, 1.0};

struct Module {
    Module()
    {
        Conn.StaleSink = [this](const Reply& r) { OnStale(r); };
    }

    std::mutex CallMu; // one server call at a time
    Connection Conn;
    std::deque<uint32_t> Pending; // words of replies that came after their Recv gave up
    uint32_t DataFloor = 0;       // Recv replies older than this seq belong to a past acquisition

    std::mutex StateMu; // what ProcessData reads
    std::array<KindInfo, KSV27_MEZZANINES> Kinds{};
    std::array<Coefs, KSV27_MEZZANINES> Applied{};
    bool ProcessFail = false;
    bool ProcessFailOnce = false;

    void TakeFlags(uint32_t flags)
    {
        std::lock_guard lock(StateMu);
        ProcessFail = flags & kFlagProcessFail;
        if (flags & kFlagProcessFailOnce) ProcessFailOnce = true;
    }

    // Called with CallMu held, from within Conn.Call.
    void OnStale(const Reply& r)
    {
        TakeFlags(r.Flags);
        if (r.Op != static_cast<uint16_t>(Op::Recv) || r.Status != kOk) return;
        if (static_cast<int32_t>(r.Seq - DataFloor) < 0) return;
        Reader rd(r.Body);
        uint32_t n = rd.U32();
        if (!rd.Ok() || n > kMaxRecvWordsPerReply || rd.Remaining() != size_t(n) * 4) return;
        for (uint32_t i = 0; i < n; ++i) Pending.push_back(rd.U32());
    }
};

HandleTable<Module>& Table()
{
    static HandleTable<Module> table(kModuleMagic);
    return table;
}

std::shared_ptr<Module> Find(Ksv27ModuleRecord* r) { return r ? Table().Find(ReadTag(r->LibraryHeader)) : nullptr; }

int32_t Call(Module& m, Op op, const Writer& w, Reply& reply, int timeoutMs = kCallTimeoutMs)
{
    int32_t rc = m.Conn.Call(op, w.Bytes(), DeadlineIn(timeoutMs), reply);
    if (rc != kOk) return rc;
    m.TakeFlags(reply.Flags);
    return reply.Status;
}

void StoreKinds(Module& m, const ModuleInfo& info)
{
    std::lock_guard lock(m.StateMu);
    for (int i = 0; i < KSV27_MEZZANINES; ++i) {
        m.Kinds[i] = KindOf(info.Mezzanines[i].Name);
        m.Applied[i] = info.Mezzanines[i].Coefs;
    }
}

// Starts or stops the module's data stream. Words of the stream before this
// call are never handed out after it; a stop also drops what came during it.
int32_t StreamControl(Ksv27ModuleRecord* r, Op op)
{
    auto m = Find(r);
    if (!m) return kNotOpen;
    std::lock_guard lock(m->CallMu);
    m->Pending.clear();
    m->DataFloor = m->Conn.NextSeq();
    Reply reply;
    const int32_t rc = Call(*m, op, Writer{}, reply);
    if (op == Op::Stop) m->Pending.clear();
    return rc;
}

} // namespace

extern "C" {

void KSV27_Init(Ksv27ModuleRecord* r)
{
    if (!r) return;
    KSV27_Close(r);
    std::memset(r, 0, sizeof *r);
}

void KSV27_Close(Ksv27ModuleRecord* r)
{
    if (!r) return;
    auto m = Table().Detach(r->LibraryHeader);
    if (!m) return;
    // Release the module politely when no other call is in progress, so
    // that an Open right after this finds it free; otherwise cut the
    // connection, which wakes that call and releases the module as well.
    std::unique_lock lock(m->CallMu, std::try_to_lock);
    if (lock.owns_lock() && !m->Conn.Broken()) {
        Reply reply;
        Call(*m, Op::CloseModule, Writer{}, reply, kCloseTimeoutMs);
    }
    m->Conn.Interrupt();
}

int32_t KSV27_IsOpened(Ksv27ModuleRecord* r)
{
    auto m = Find(r);
    return m && !m->Conn.Broken() ? kOk : kNotOpen;
}

int32_t KSV27_Open(Ksv27ModuleRecord* r, uint32_t address, uint16_t port, const char* crateSerial, int32_t slot)
{
    if (!r || !crateSerial || slot < 1 || slot > KSV_MAX_SLOTS) return kBadArgument;
    if (auto existing = Find(r)) {
        if (!existing->Conn.Broken()) return kBusy;
        KSV27_Close(r);
    }
    auto m = std::make_shared<Module>();
    auto deadline = DeadlineIn(kCallTimeoutMs);
    int32_t rc = m->Conn.Connect(address, EffectivePort(port), deadline);
    if (rc != kOk) return rc;
    Writer w;
    w.Str(std::string(crateSerial, strnlen(crateSerial, KSV_SERIAL_CHARS)));
    w.I32(slot);
    Reply reply;
    rc = m->Conn.Call(Op::Open, w.Bytes(), deadline, reply);
    if (rc != kOk) return rc;
    if (reply.Status != kOk) return reply.Status;
    m->TakeFlags(reply.Flags);
    ModuleInfo info;
    Reader rd(reply.Body);
    if (!ReadModuleInfo(rd, info)) return kProtocol;
    StoreKinds(*m, info);
    return Table().Attach(m, r->LibraryHeader) ? kOk : kBusy;
}

int32_t KSV27_GetConfig(Ksv27ModuleRecord* r)
{
    auto m = Find(r);
    if (!m) return kNotOpen;
    std::lock_guard lock(m->CallMu);
    Reply reply;
    int32_t rc = Call(*m, Op::GetConfig, Writer{}, reply);
    if (rc != kOk) return rc;
    ModuleInfo info;
    Reader rd(reply.Body);
    if (!ReadModuleInfo(rd, info)) return kProtocol;
    StoreKinds(*m, info);
    CopyField(r->ModuleName, sizeof r->ModuleName, info.Name);
    CopyField(r->ModuleSerial, sizeof r->ModuleSerial, info.Serial);
    // A 32-bit word whose most significant byte is the first part: "1.2.3.4" is 0x01020304.
    r->FirmwareVersion = info.Firmware;
    r->AdcRateDivisor = info.Divisor;
    for (int i = 0; i < KSV27_MEZZANINES; ++i) {
        CopyField(r->Mezzanines[i].MezzanineName, sizeof r->Mezzanines[i].MezzanineName, info.Mezzanines[i].Name);
        std::memcpy(r->Mezzanines[i].MezzanineCoefs, info.Mezzanines[i].Coefs.data(), sizeof(double) * 4);
    }
    return kOk;
}

int32_t KSV27_GetDescription(Ksv27ModuleRecord* r, uint32_t mask)
{
    if (mask & ~KSV27_DESCRIPTION_MASK) return kBadArgument;
    auto m = Find(r);
    if (!m) return kNotOpen;
    std::lock_guard lock(m->CallMu);
    Reply reply;
    int32_t rc = Call(*m, Op::GetDescription, Writer{}, reply);
    if (rc != kOk) return rc;
    Reader rd(reply.Body);
    std::string moduleSerial = rd.Str(256);
    std::array<std::string, KSV27_MEZZANINES> serials;
    std::array<Coefs, KSV27_MEZZANINES> coefs{};
    for (int i = 0; i < KSV27_MEZZANINES; ++i) {
        serials[i] = rd.Str(256);
        for (double& c : coefs[i]) c = rd.F64();
    }
    if (!rd.Ok()) return kProtocol;
    for (int i = 0; i < KSV27_MEZZANINES; ++i) {
        if (!(mask & (1u << i))) continue;
        Ksv27MezzanineDesc* d = Ksv27MezzanineDescOf(r, i);
        CopyField(d->MezzanineSerial, sizeof d->MezzanineSerial, serials[i]);
        std::memcpy(d->MezzanineDescCoefs, coefs[i].data(), sizeof(double) * 4);
    }
    if (mask & 0x100u) CopyField(r->ModuleSerial, sizeof r->ModuleSerial, moduleSerial);
    return kOk;
}

int32_t KSV27_SetConfig(Ksv27ModuleRecord* r)
{
    auto m = Find(r);
    if (!m) return kNotOpen;
    std::array<Coefs, KSV27_MEZZANINES> coefs{};
    {
        std::lock_guard state(m->StateMu);
        for (int i = 0; i < KSV27_MEZZANINES; ++i) {
            std::memcpy(coefs[i].data(), r->Mezzanines[i].MezzanineCoefs, sizeof(double) * 4);
            // A scale of zero or a coefficient that is not a number would
            // turn every value into nonsense without a word.
            if (m->Kinds[i].Type != Kind::None && !CoefsUsable(coefs[i])) return kBadArgument;
        }
    }
    Writer w;
    w.U8(r->AdcRateDivisor);
    for (const auto& c : coefs)
        for (double v : c) w.F64(v);
    std::lock_guard lock(m->CallMu);
    Reply reply;
    int32_t rc = Call(*m, Op::SetConfig, w, reply);
    if (rc != kOk) return rc;
    std::lock_guard state(m->StateMu);
    for (int i = 0; i < KSV27_MEZZANINES; ++i) m->Applied[i] = m->Kinds[i].Type == Kind::None ? kIdentity : coefs[i];
    return kOk;
}

int32_t KSV27_ADCStart(Ksv27ModuleRecord* r) { return StreamControl(r, Op::Start); }

int32_t KSV27_ADCStop(Ksv27ModuleRecord* r) { return StreamControl(r, Op::Stop); }

int32_t KSV27_Recv(Ksv27ModuleRecord* r, uint32_t* buffer, uint32_t* /*timeMarks: not kept*/, uint32_t words,
                   uint32_t timeoutMs)
{
    auto m = Find(r);
    if (!m) return kNotOpen;
    if (words == 0) return 0;
    if (!buffer) return kBadArgument;
    // The count is returned as int32_t.
    words = std::min<uint32_t>(words, 0x7FFFFFFFu);
    std::lock_guard lock(m->CallMu);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    uint32_t got = 0;
    // Words go through Pending in the order they came, so that a late
    // answer (which arrives before the answer being waited for) keeps its
    // place in the stream.
    auto drain = [&] {
        while (got < words && !m->Pending.empty()) {
            buffer[got++] = m->Pending.front();
            m->Pending.pop_front();
        }
    };
    drain();
    bool asked = false;
    while (got < words) {
        if (m->Conn.Broken()) return got > 0 ? static_cast<int32_t>(got) : kNoConnection;
        const int64_t left = MillisecondsLeft(deadline);
        if (asked && left <= 0) break;
        asked = true;
        // The server answers a little before the deadline, so that its words
        // arrive while this call still waits for them; what is still missing
        // then is asked for again in the time that is left.
        const int64_t margin = left > 5 ? std::min<int64_t>(250, left / 5) : 0;
        const uint32_t ask = std::min(words - got, kMaxRecvWordsPerReply);
        Writer w;
        w.U32(ask);
        w.U32(static_cast<uint32_t>(left - margin));
        Reply reply;
        int32_t rc = m->Conn.Call(Op::Recv, w.Bytes(), deadline, reply);
        if (rc != kOk) {
            drain();
            if (rc == kTimedOut) break;
            return got > 0 ? static_cast<int32_t>(got) : rc;
        }
        m->TakeFlags(reply.Flags);
        if (reply.Status != kOk) {
            // Keep what this call had already taken for the next one.
            m->Pending.insert(m->Pending.begin(), buffer, buffer + got);
            return reply.Status;
        }
        Reader rd(reply.Body);
        uint32_t n = rd.U32();
        if (!rd.Ok() || n > ask || rd.Remaining() != size_t(n) * 4) {
            m->Conn.Interrupt();
            drain();
            return got > 0 ? static_cast<int32_t>(got) : kProtocol;
        }
        for (uint32_t i = 0; i < n; ++i) m->Pending.push_back(rd.U32());
        drain();
        if (reply.Flags & kFlagFinal) break;
    }
    return static_cast<int32_t>(got);
}

int32_t KSV27_ProcessData(Ksv27ModuleRecord* r, const uint32_t* raw, double* values, uint32_t* count,
                          int32_t calibrate, int32_t convert)
{
    auto m = Find(r);
    if (!m) return kNotOpen;
    if (!count) return kBadArgument;
    const uint32_t n = *count;
    if (n == 0) return kOk;
    if (!raw || !values) return kBadArgument;
    std::lock_guard state(m->StateMu);
    if (m->ProcessFailOnce) {
        m->ProcessFailOnce = false;
        return kFailed;
    }
    if (m->ProcessFail) return kFailed;
    for (uint32_t i = 0; i < n; ++i) {
        // Each word names its own channel, so a word out of its place in
        // the frame still converts as the channel it came from.
        const int channel = ChannelOfWord(raw[i]);
        const int mezz = MezzanineOfChannel(channel);
        const int half = channel % 2;
        if (!convert) {
            values[i] = SignedCodeOfWord(raw[i]);
            continue;
        }
        double v = CodeValueOfWord(raw[i], m->Kinds[mezz].FullScale[half]);
        if (calibrate) {
            const Coefs& c = m->Applied[mezz];
            v = (v + c[2 * half]) * c[2 * half + 1];
        }
        values[i] = v;
    }
    return kOk;
}

} // extern "C"
