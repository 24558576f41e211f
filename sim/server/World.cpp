#include "World.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>

#include "Mezzanine.h"
#include "SimStatus.h"

namespace ksv::sim {

namespace {

constexpr std::array<double, 4> kIdentity{0.0, 1.0, 0.0, 1.0};

uint64_t Mix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Uniform in [-1, 1), the same for the same seed, channel and frame.
double Uniform(uint64_t seed, int channel, uint64_t frame)
{
    uint64_t h = Mix(seed ^ Mix(frame * 16 + static_cast<uint64_t>(channel)));
    return static_cast<double>(h >> 11) * 0x1.0p-52 - 1.0;
}

void PutWord(std::vector<uint8_t>& out, uint32_t w)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(w >> (8 * i)));
}

ModuleInfo InfoOf(const ModuleSpec& module, uint8_t divisor, const std::array<std::array<double, 4>, 8>& applied)
{
    ModuleInfo info;
    info.Name = module.Name;
    info.Serial = module.Serial;
    info.Firmware = module.Firmware;
    info.Divisor = divisor;
    for (size_t m = 0; m < 8; ++m) {
        info.Mezzanines[m].Name = module.Mezzanines[m].Name;
        info.Mezzanines[m].Coefs = applied[m];
    }
    return info;
}

Action Dropped()
{
    Action a;
    a.What = Action::Drop;
    return a;
}

Action Silent()
{
    Action a;
    a.What = Action::Silent;
    return a;
}

Action Answer(int32_t status, uint32_t flags = 0)
{
    Action a;
    a.Status = status;
    a.Flags = flags;
    return a;
}

// An answer that carries what `w` wrote.
Action AnswerWith(Writer& w, int32_t status = kOk, uint32_t flags = 0)
{
    Action a = Answer(status, flags);
    a.Body = std::move(w.Bytes());
    return a;
}

// What a struck fault makes of a request that knows only failing and
// dropping; nothing when none struck.
std::optional<Action> Refusal(const Fault& f)
{
    if (f.Mode == FaultMode::Drop) return Dropped();
    if (f.Mode != FaultMode::Off) return Answer(kFailed);
    return std::nullopt;
}

std::vector<std::string> Split(std::string_view text)
{
    std::vector<std::string> out;
    std::string cur;
    for (char ch : text) {
        if (ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r') {
            if (!cur.empty()) out.push_back(std::move(cur));
            cur.clear();
        } else {
            cur += ch;
        }
    }
    if (!cur.empty()) out.push_back(std::move(cur));
    return out;
}

bool ParseNumber(const std::string& s, double& out)
{
    try {
        size_t used = 0;
        out = std::stod(s, &used);
        return used == s.size() && std::isfinite(out);
    } catch (const std::exception&) {
        return false;
    }
}

bool ParseInt(const std::string& s, long long& out)
{
    try {
        size_t used = 0;
        out = std::stoll(s, &used, 0);
        return used == s.size();
    } catch (const std::exception&) {
        return false;
    }
}

constexpr const char kControlHelp[] =
    "ok commands:\n"
    "  ping\n"
    "  status\n"
    "  fault list=MODE\n"
    "  fault crate=SERIAL slots=MODE\n"
    "  fault crate=SERIAL slot=N OP=MODE [OP=MODE ...]   OP: open getconfig getdescription setconfig start stop recv processdata\n"
    "  clear [crate=SERIAL [slot=N]]\n"
    "  drop crate=SERIAL slot=N\n"
    "  signal crate=SERIAL slot=N channel=C [dc=V] [amplitude=V] [frequency=HZ] [phase=DEG] [noise=V] [seed=N]\n"
    "MODE: off fail drop (recv also: zero short stall), with :once for a one-shot fault";

} // namespace

void GenerateWords(const std::array<MezzanineSpec, 8>& mezzanines, uint8_t divisor, uint64_t firstWord,
                   uint32_t count, std::vector<uint8_t>& out)
{
    std::array<KindInfo, 8> kinds;
    for (size_t m = 0; m < 8; ++m) kinds[m] = KindOf(mezzanines[m].Name);
    const double period = (divisor + 1) / 1000.0;
    out.reserve(out.size() + size_t(count) * 4);
    for (uint64_t w = firstWord; w < firstWord + count; ++w) {
        const uint64_t frame = w / 16;
        const int channel = static_cast<int>(w % 16);
        const int m = channel / 2;
        const int half = channel % 2;
        if (kinds[m].Type == Kind::None) {
            PutWord(out, EncodeWord(channel, 0.0, 1.0));
            continue;
        }
        const MezzanineSpec& mz = mezzanines[m];
        const Signal& s = mz.Channels[half];
        const double t = static_cast<double>(frame) * period;
        double v = s.Dc;
        if (s.Amplitude != 0.0) v += s.Amplitude * std::sin(2.0 * M_PI * s.Frequency * t + s.Phase * M_PI / 180.0);
        if (s.Noise > 0.0) v += s.Noise * Uniform(s.Seed, channel, frame);
        // The raw code carries the mezzanine's own error; its description
        // coefficients are exactly what undoes it.
        const double codeValue = v / mz.Coefs[2 * half + 1] - mz.Coefs[2 * half];
        PutWord(out, EncodeWord(channel, codeValue, kinds[m].FullScale[half]));
    }
}

World::World(Scenario scenario) : scenario_(std::move(scenario))
{
    for (size_t c = 0; c < scenario_.Crates.size(); ++c)
        for (size_t s = 0; s < scenario_.Crates[c].Slots.size(); ++s)
            if (scenario_.Crates[c].Slots[s].Module) runtime_[{static_cast<int>(c), static_cast<int>(s)}] = Runtime{};
}

uint64_t World::Register(int fd)
{
    std::lock_guard lock(mu_);
    uint64_t id = nextId_++;
    connections_[id].Fd = fd;
    // A connection that comes in while the server shuts down ends at once.
    if (stopping_) ::shutdown(fd, SHUT_RDWR);
    return id;
}

std::string World::Unregister(uint64_t id)
{
    std::lock_guard lock(mu_);
    auto it = connections_.find(id);
    if (it == connections_.end()) return {};
    std::string line;
    ConnState& c = it->second;
    if (c.Crate >= 0 && RuntimeOf(c.Crate, c.Slot).Running)
        line = "client " + std::to_string(id) + " left while crate " + scenario_.Crates[c.Crate].Serial + " slot " +
               std::to_string(c.Slot + 1) + " was acquiring; module released";
    Release(c);
    connections_.erase(it);
    return line;
}

void World::Shutdown()
{
    std::lock_guard lock(mu_);
    stopping_ = true;
    for (auto& [id, c] : connections_) ::shutdown(c.Fd, SHUT_RDWR);
    wake_.notify_all();
}

bool World::Stopping()
{
    std::lock_guard lock(mu_);
    return stopping_;
}

size_t World::Connections()
{
    std::lock_guard lock(mu_);
    return connections_.size();
}

void World::Release(ConnState& c)
{
    if (c.Crate < 0) return;
    Runtime& rt = RuntimeOf(c.Crate, c.Slot);
    rt.Holder = 0;
    rt.Running = false;
    rt.Consumed = 0;
    c.Crate = c.Slot = -1;
}

uint64_t World::FirstFrameAt(Clock::time_point start, uint8_t divisor) const
{
    if (scenario_.Clock == FrameClock::PerStart) return 0;
    const int64_t periodNs = (int64_t(divisor) + 1) * 1'000'000;
    const int64_t sinceStart = std::chrono::duration_cast<std::chrono::nanoseconds>(start - started_).count();
    const int64_t moduleNs = std::llround(scenario_.ClockStartSeconds * 1e9) + std::max<int64_t>(sinceStart, 0);
    return static_cast<uint64_t>(moduleNs / periodNs);
}

int World::FindCrate(std::string_view serial) const
{
    const std::string wanted = ListedSerial(std::string(serial));
    for (size_t i = 0; i < scenario_.Crates.size(); ++i)
        if (ListedSerial(scenario_.Crates[i].Serial) == wanted) return static_cast<int>(i);
    return -1;
}

Fault World::Strike(FaultTable& table, FaultOp op)
{
    Fault& f = table[static_cast<size_t>(op)];
    Fault struck = f;
    if (f.Once) f = Fault{};
    return struck;
}

uint32_t World::ProcessFlags(int crate, int slot)
{
    Fault& f = SpecOf(crate, slot).Faults[static_cast<size_t>(FaultOp::ProcessData)];
    if (f.Mode != FaultMode::Fail) return 0;
    if (!f.Once) return kFlagProcessFail;
    f = Fault{};
    return kFlagProcessFailOnce;
}

Action World::Handle(uint64_t id, uint16_t rawOp, Reader& in)
{
    const Op op = static_cast<Op>(rawOp);
    if (op == Op::Control) {
        std::string text = in.Str(kMaxRequestPayload);
        if (!in.Ok()) return Answer(kBadArgument);
        std::string reply = Control(text);
        Writer w;
        w.Str(reply);
        return AnswerWith(w, reply.rfind("ok", 0) == 0 ? kOk : kFailed);
    }
    Lock lock(mu_);
    if (stopping_) return Dropped();
    switch (op) {
    case Op::ListCrates: {
        if (auto refused = Refusal(Strike(scenario_.Faults, FaultOp::List))) return *refused;
        Writer w;
        w.U32(static_cast<uint32_t>(scenario_.Crates.size()));
        for (const auto& c : scenario_.Crates) w.Str(c.Serial);
        return AnswerWith(w);
    }
    case Op::CrateModules: {
        std::string serial = in.Str(64);
        if (!in.Ok()) return Answer(kBadArgument);
        int ci = FindCrate(serial);
        if (ci < 0) return Answer(kNotFound);
        CrateSpec& crate = scenario_.Crates[ci];
        if (auto refused = Refusal(Strike(crate.Faults, FaultOp::Slots))) return *refused;
        Writer w;
        w.U32(static_cast<uint32_t>(crate.Slots.size()));
        for (const auto& s : crate.Slots) w.U16(s.Id);
        return AnswerWith(w);
    }
    case Op::Open:
        return Open(lock, id, in);
    case Op::CloseModule:
    case Op::GetConfig:
    case Op::GetDescription:
    case Op::SetConfig:
    case Op::Start:
    case Op::Stop:
    case Op::Recv:
        return ModuleRequest(lock, id, op, in);
    default:
        return Answer(kBadArgument);
    }
}

Action World::Open(Lock&, uint64_t id, Reader& in)
{
    std::string serial = in.Str(64);
    int32_t slot = in.I32();
    if (!in.Ok()) return Answer(kBadArgument);
    ConnState& c = connections_[id];
    if (c.Crate >= 0) return Answer(kBusy);
    if (slot < 1 || slot > 16) return Answer(kBadArgument);
    int ci = FindCrate(serial);
    if (ci < 0) return Answer(kNotFound);
    CrateSpec& crate = scenario_.Crates[ci];
    if (static_cast<size_t>(slot) > crate.Slots.size() || !crate.Slots[slot - 1].Module) return Answer(kNotFound);
    ModuleSpec& module = *crate.Slots[slot - 1].Module;
    if (auto refused = Refusal(Strike(module.Faults, FaultOp::Open))) return *refused;
    Runtime& rt = RuntimeOf(ci, slot - 1);
    if (rt.Holder != 0) return Answer(kBusy);
    // Each open starts from the module's power-up configuration.
    const uint64_t served = rt.Served;
    rt = Runtime{};
    rt.Served = served;
    rt.Holder = id;
    rt.Divisor = module.Divisor;
    rt.Applied.fill(kIdentity);
    c.Crate = ci;
    c.Slot = slot - 1;
    Writer w;
    WriteModuleInfo(w, InfoOf(module, rt.Divisor, rt.Applied));
    return AnswerWith(w, kOk, ProcessFlags(ci, slot - 1));
}

Action World::ModuleRequest(Lock& lock, uint64_t id, Op op, Reader& in)
{
    ConnState& c = connections_[id];
    if (c.Crate < 0) return Answer(kNotOpen);
    if (op == Op::CloseModule) {
        Release(c);
        return Answer(kOk);
    }
    ModuleSpec& module = SpecOf(c.Crate, c.Slot);
    Runtime& rt = RuntimeOf(c.Crate, c.Slot);
    FaultOp fop = FaultOp::Recv;
    switch (op) {
    case Op::GetConfig: fop = FaultOp::GetConfig; break;
    case Op::GetDescription: fop = FaultOp::GetDescription; break;
    case Op::SetConfig: fop = FaultOp::SetConfig; break;
    case Op::Start: fop = FaultOp::Start; break;
    case Op::Stop: fop = FaultOp::Stop; break;
    default: break;
    }
    uint32_t words = 0, waitMs = 0;
    if (op == Op::Recv) {
        words = in.U32();
        waitMs = in.U32();
        if (!in.Ok()) return Answer(kBadArgument);
        if (!rt.Running) return Answer(kNotRunning, ProcessFlags(c.Crate, c.Slot));
    }
    Fault f = Strike(module.Faults, fop);
    if (f.Mode == FaultMode::Drop) return Dropped();
    if (f.Mode == FaultMode::Stall) return Silent();
    if (f.Mode == FaultMode::Fail) return Answer(kFailed, ProcessFlags(c.Crate, c.Slot));
    if (op == Op::Recv) return Recv(lock, id, c, words, waitMs, f.Mode);

    Action a = Answer(kOk);
    Writer w;
    switch (op) {
    case Op::GetConfig:
        WriteModuleInfo(w, InfoOf(module, rt.Divisor, rt.Applied));
        break;
    case Op::GetDescription:
        w.Str(module.Serial);
        for (const auto& m : module.Mezzanines) {
            w.Str(m.Serial);
            for (double v : m.Coefs) w.F64(v);
        }
        break;
    case Op::SetConfig: {
        uint8_t divisor = in.U8();
        std::array<std::array<double, 4>, 8> coefs{};
        for (auto& m : coefs)
            for (double& v : m) v = in.F64();
        if (!in.Ok()) {
            a.Status = kBadArgument;
            break;
        }
        if (rt.Running) {
            a.Status = kBusy;
            break;
        }
        for (size_t m = 0; m < 8; ++m) {
            if (KindOf(module.Mezzanines[m].Name).Type == Kind::None) coefs[m] = kIdentity;
            else if (!CoefsUsable(coefs[m])) a.Status = kBadArgument;
        }
        if (a.Status != kOk) break;
        rt.Divisor = divisor;
        rt.Applied = coefs;
        break;
    }
    case Op::Start:
        rt.Running = true;
        rt.T0 = Clock::now();
        rt.FirstFrame = FirstFrameAt(rt.T0, rt.Divisor);
        rt.Consumed = 0;
        break;
    case Op::Stop:
        rt.Running = false;
        rt.Consumed = 0;
        break;
    default:
        break;
    }
    a.Flags = ProcessFlags(c.Crate, c.Slot);
    a.Body = std::move(w.Bytes());
    return a;
}

Action World::Recv(Lock& lock, uint64_t, ConnState& c, uint32_t words, uint32_t waitMs, FaultMode mode)
{
    Runtime& rt = RuntimeOf(c.Crate, c.Slot);
    uint32_t flags = 0;
    uint64_t target = std::min(words, kMaxRecvWordsPerReply);
    if (mode == FaultMode::Zero) {
        target = 0;
        flags |= kFlagFinal;
    } else if (mode == FaultMode::Short) {
        // About half, in whole frames where the request is whole frames.
        target = target >= 32 && target % 16 == 0 ? target / 32 * 16 : target / 2;
        flags |= kFlagFinal;
    }
    const int64_t periodNs = (int64_t(rt.Divisor) + 1) * 1'000'000;
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    uint64_t available = 0;
    for (;;) {
        if (stopping_ || c.DropRequested) return Dropped();
        const auto now = Clock::now();
        const int64_t elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - rt.T0).count();
        const uint64_t frames = elapsed > 0 ? static_cast<uint64_t>(elapsed / periodNs) : 0;
        available = frames * 16 - rt.Consumed;
        if (available >= target || now >= deadline) break;
        // A client that hung up while it waited releases the module now,
        // not when its wait would have ended.
        pollfd p{c.Fd, POLLRDHUP, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR))) {
            Action gone;
            gone.What = Action::Hangup;
            return gone;
        }
        // Production is clocked from the start time: sleep until the frame
        // that completes the request is due, looking at the client at least
        // every 100 ms.
        const uint64_t framesNeeded = (rt.Consumed + target + 15) / 16;
        const auto due = rt.T0 + std::chrono::nanoseconds(static_cast<int64_t>(framesNeeded) * periodNs);
        wake_.wait_until(lock, std::min({due, deadline, now + std::chrono::milliseconds(100)}));
    }
    const uint32_t give = static_cast<uint32_t>(std::min(target, available));
    const uint64_t first = rt.FirstFrame * 16 + rt.Consumed;
    rt.Consumed += give;
    rt.Served += give;
    flags |= ProcessFlags(c.Crate, c.Slot);
    const std::array<MezzanineSpec, 8> mezzanines = SpecOf(c.Crate, c.Slot).Mezzanines;
    const uint8_t divisor = rt.Divisor;
    lock.unlock();

    Writer w;
    w.U32(give);
    Action a = AnswerWith(w, kOk, flags);
    GenerateWords(mezzanines, divisor, first, give, a.Body);
    return a;
}

std::string World::Status()
{
    std::ostringstream out;
    out << "ok\nserver list=" << FaultText(scenario_.Faults[0]) << " connections=" << connections_.size() << "\n";
    for (size_t ci = 0; ci < scenario_.Crates.size(); ++ci) {
        const CrateSpec& crate = scenario_.Crates[ci];
        out << "crate " << crate.Serial << " slots=" << FaultText(crate.Faults[static_cast<size_t>(FaultOp::Slots)])
            << "\n";
        for (size_t s = 0; s < crate.Slots.size(); ++s) {
            if (!crate.Slots[s].Module) continue;
            const ModuleSpec& m = *crate.Slots[s].Module;
            const Runtime& rt = runtime_[{static_cast<int>(ci), static_cast<int>(s)}];
            out << "  slot " << s + 1 << " " << m.Serial << " "
                << (rt.Holder == 0 ? "closed" : rt.Running ? "running"
                                                           : "open")
                << " divisor=" << int(rt.Holder == 0 ? m.Divisor : rt.Divisor)
                << " served=" << rt.Served << " faults=";
            bool any = false;
            for (size_t op = 0; op < kFaultOps; ++op) {
                if (m.Faults[op].Mode == FaultMode::Off) continue;
                out << (any ? "," : "") << FaultOpName(static_cast<FaultOp>(op)) << "=" << FaultText(m.Faults[op]);
                any = true;
            }
            out << (any ? "" : "none") << "\n";
        }
    }
    std::string text = out.str();
    text.pop_back();
    return text;
}

std::string World::Control(std::string_view command)
{
    std::vector<std::string> tokens = Split(command);
    if (tokens.empty()) return "error: empty command (try help)";
    const std::string verb = tokens[0];
    std::lock_guard guard(mu_);
    if (verb == "ping") return "ok";
    if (verb == "help") return kControlHelp;
    if (verb == "status") return Status();

    std::string crateArg;
    long long slot = 0, channel = -1;
    std::vector<std::pair<std::string, std::string>> rest;
    for (size_t i = 1; i < tokens.size(); ++i) {
        auto eq = tokens[i].find('=');
        if (eq == std::string::npos || eq == 0) return "error: \"" + tokens[i] + "\" is not key=value";
        std::string key = tokens[i].substr(0, eq), value = tokens[i].substr(eq + 1);
        if (key == "crate") crateArg = value;
        else if (key == "slot") {
            if (!ParseInt(value, slot) || slot < 1 || slot > kScenarioMaxSlots) return "error: bad slot \"" + value + "\"";
        } else if (key == "channel") {
            if (!ParseInt(value, channel) || channel < 0 || channel > 15) return "error: bad channel \"" + value + "\" (0..15)";
        } else rest.emplace_back(key, value);
    }
    int ci = -1;
    if (!crateArg.empty()) {
        ci = FindCrate(crateArg);
        if (ci < 0) return "error: no crate \"" + crateArg + "\"";
    }
    if (slot != 0 && ci < 0) return "error: a slot needs crate=";
    ModuleSpec* module = nullptr;
    if (slot != 0) {
        auto& slots = scenario_.Crates[ci].Slots;
        if (static_cast<size_t>(slot) > slots.size() || !slots[slot - 1].Module)
            return "error: no KSV27 in slot " + std::to_string(slot);
        module = &*slots[slot - 1].Module;
    }

    if (verb == "fault") {
        if (rest.empty()) return "error: fault needs OP=MODE";
        const int level = module ? 2 : ci >= 0 ? 1
                                               : 0;
        FaultTable& table = module ? module->Faults : ci >= 0 ? scenario_.Crates[ci].Faults
                                                              : scenario_.Faults;
        FaultTable updated = table;
        for (const auto& [key, value] : rest) {
            auto op = FaultOpFromName(key);
            if (!op) return "error: no operation \"" + key + "\"";
            if (FaultLevel(*op) != level) {
                static const char* kWhere[] = {"without crate=", "with crate= only", "with crate= and slot="};
                return "error: " + key + " is set " + kWhere[FaultLevel(*op)];
            }
            std::string why;
            auto f = ParseFault(*op, value, why);
            if (!f) return "error: " + why;
            updated[static_cast<size_t>(*op)] = *f;
        }
        table = updated;
        wake_.notify_all();
        return "ok";
    }
    if (verb == "clear") {
        if (!rest.empty()) return "error: clear takes only crate= and slot=";
        auto clearCrate = [](CrateSpec& c) {
            c.Faults = FaultTable{};
            for (auto& s : c.Slots)
                if (s.Module) s.Module->Faults = FaultTable{};
        };
        if (module) module->Faults = FaultTable{};
        else if (ci >= 0) clearCrate(scenario_.Crates[ci]);
        else {
            scenario_.Faults = FaultTable{};
            for (auto& c : scenario_.Crates) clearCrate(c);
        }
        return "ok";
    }
    if (verb == "drop") {
        if (!module || !rest.empty()) return "error: drop needs crate= and slot= only";
        const uint64_t holder = RuntimeOf(ci, static_cast<int>(slot - 1)).Holder;
        auto it = connections_.find(holder);
        if (holder == 0 || it == connections_.end()) return "error: that module is not open";
        // The module is free once the command has answered, before the
        // client even sees its connection end.
        it->second.DropRequested = true;
        Release(it->second);
        ::shutdown(it->second.Fd, SHUT_RDWR);
        wake_.notify_all();
        return "ok";
    }
    if (verb == "signal") {
        if (!module || channel < 0) return "error: signal needs crate=, slot= and channel=";
        Signal s = module->Mezzanines[channel / 2].Channels[channel % 2];
        for (const auto& [key, value] : rest) {
            double v = 0;
            if (key == "seed") {
                long long seed = 0;
                if (!ParseInt(value, seed)) return "error: bad seed \"" + value + "\"";
                s.Seed = static_cast<uint64_t>(seed);
                continue;
            }
            if (!ParseNumber(value, v)) return "error: bad number \"" + value + "\" for " + key;
            if (key == "dc") s.Dc = v;
            else if (key == "amplitude") s.Amplitude = v;
            else if (key == "frequency" && v >= 0) s.Frequency = v;
            else if (key == "phase") s.Phase = v;
            else if (key == "noise" && v >= 0) s.Noise = v;
            else return "error: bad signal setting \"" + key + "=" + value + "\"";
        }
        module->Mezzanines[channel / 2].Channels[channel % 2] = s;
        return "ok";
    }
    return "error: unknown command \"" + verb + "\" (try help)";
}

} // namespace ksv::sim
