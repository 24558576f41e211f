#include "Scenario.h"

#include <cmath>
#include <cstdio>
#include <set>

#include <nlohmann/json.hpp>

namespace ksv::sim {

namespace {

using json = nlohmann::json;

constexpr size_t kMaxTextLength = 64;

struct FaultOpEntry {
    FaultOp Op;
    const char* Name;
    int Level;
};
constexpr FaultOpEntry kFaultOpTable[] = {
    {FaultOp::List, "list", 0},
    {FaultOp::Slots, "slots", 1},
    {FaultOp::Open, "open", 2},
    {FaultOp::GetConfig, "getconfig", 2},
    {FaultOp::GetDescription, "getdescription", 2},
    {FaultOp::SetConfig, "setconfig", 2},
    {FaultOp::Start, "start", 2},
    {FaultOp::Stop, "stop", 2},
    {FaultOp::Recv, "recv", 2},
    {FaultOp::ProcessData, "processdata", 2},
};

[[noreturn]] void Fail(const std::string& where, const std::string& what)
{
    throw ScenarioError(where.empty() ? what : where + ": " + what);
}

std::string Join(const std::string& where, const std::string& key) { return where.empty() ? key : where + "." + key; }

void CheckKeys(const json& obj, const std::string& where, std::initializer_list<const char*> known,
               std::vector<std::string>* warnings)
{
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        bool ok = false;
        for (const char* k : known) ok = ok || it.key() == k;
        if (!ok && warnings) warnings->push_back(Join(where, it.key()) + ": unknown key, ignored");
    }
}

const json* Member(const json& obj, const char* key)
{
    auto it = obj.find(key);
    return it == obj.end() ? nullptr : &*it;
}

double Number(const json& obj, const char* key, const std::string& where, double fallback)
{
    const json* v = Member(obj, key);
    if (!v) return fallback;
    if (!v->is_number()) Fail(Join(where, key), "expected a number");
    double d = v->get<double>();
    if (!std::isfinite(d)) Fail(Join(where, key), "expected a finite number");
    return d;
}

std::string Text(const json& obj, const char* key, const std::string& where, const std::string& fallback,
                 bool required = false)
{
    const json* v = Member(obj, key);
    if (!v) {
        if (required) Fail(where, std::string("\"") + key + "\" is missing");
        return fallback;
    }
    if (!v->is_string()) Fail(Join(where, key), "expected a string");
    std::string s = v->get<std::string>();
    if (s.size() > kMaxTextLength) Fail(Join(where, key), "longer than 64 characters");
    for (char c : s)
        if (static_cast<unsigned char>(c) < 0x20) Fail(Join(where, key), "contains a control character");
    return s;
}

// A whole number given as a JSON integer or as a string ("0x1B1B", "6939").
uint64_t Integer(const json& v, const std::string& where, uint64_t max)
{
    uint64_t value = 0;
    if (v.is_number_unsigned()) {
        value = v.get<uint64_t>();
    } else if (v.is_number_integer()) {
        if (v.get<int64_t>() < 0) Fail(where, "must not be negative");
        value = static_cast<uint64_t>(v.get<int64_t>());
    } else if (v.is_string()) {
        std::string s = v.get<std::string>();
        size_t used = 0;
        try {
            value = std::stoull(s, &used, 0);
        } catch (const std::exception&) {
            Fail(where, "\"" + s + "\" is not a whole number");
        }
        if (used != s.size() || s.empty() || s[0] == '-') Fail(where, "\"" + s + "\" is not a whole number");
    } else {
        Fail(where, "expected a whole number");
    }
    if (value > max) Fail(where, "larger than " + std::to_string(max));
    return value;
}

uint32_t Firmware(const json& v, const std::string& where)
{
    if (v.is_string()) {
        std::string s = v.get<std::string>();
        unsigned a, b, c, d;
        char tail;
        if (std::sscanf(s.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) == 4 && a < 256 && b < 256 && c < 256 &&
            d < 256)
            return a << 24 | b << 16 | c << 8 | d;
        if (s.find('.') != std::string::npos) Fail(where, "expected \"a.b.c.d\" with parts 0..255");
    }
    return static_cast<uint32_t>(Integer(v, where, 0xFFFFFFFFu));
}

FaultTable Faults(const json& obj, const std::string& where, int level)
{
    FaultTable table{};
    const json* f = Member(obj, "faults");
    if (!f) return table;
    std::string here = Join(where, "faults");
    if (!f->is_object()) Fail(here, "expected an object");
    for (auto it = f->begin(); it != f->end(); ++it) {
        std::string key = Join(here, it.key());
        auto op = FaultOpFromName(it.key());
        if (!op) Fail(key, "no such operation");
        if (FaultLevel(*op) != level) {
            static const char* kLevels[] = {"the scenario's top level", "a crate", "a KSV27 slot"};
            Fail(key, std::string("belongs to ") + kLevels[FaultLevel(*op)]);
        }
        if (!it->is_string()) Fail(key, "expected a string such as \"fail\" or \"fail:once\"");
        std::string why;
        auto fault = ParseFault(*op, it->get<std::string>(), why);
        if (!fault) Fail(key, why);
        table[static_cast<size_t>(*op)] = *fault;
    }
    return table;
}

Signal ParseSignal(const json& v, const std::string& where, std::vector<std::string>* warnings)
{
    if (!v.is_object()) Fail(where, "expected an object");
    CheckKeys(v, where, {"dc", "amplitude", "frequency", "phase", "noise", "seed"}, warnings);
    Signal s;
    s.Dc = Number(v, "dc", where, 0.0);
    s.Amplitude = Number(v, "amplitude", where, 0.0);
    s.Frequency = Number(v, "frequency", where, 0.0);
    s.Phase = Number(v, "phase", where, 0.0);
    s.Noise = Number(v, "noise", where, 0.0);
    if (s.Frequency < 0) Fail(Join(where, "frequency"), "must not be negative");
    if (s.Noise < 0) Fail(Join(where, "noise"), "must not be negative");
    if (const json* seed = Member(v, "seed")) s.Seed = Integer(*seed, Join(where, "seed"), UINT64_MAX);
    return s;
}

MezzanineSpec ParseMezzanine(const json& v, const std::string& where, std::vector<std::string>* warnings)
{
    if (!v.is_object()) Fail(where, "expected an object");
    CheckKeys(v, where, {"name", "serial", "coefs", "channels"}, warnings);
    MezzanineSpec m;
    m.Name = Text(v, "name", where, "", true);
    if (m.Name.empty()) Fail(Join(where, "name"), "must not be empty (use \"EMPTY\")");
    if (m.Name.size() > 15) Fail(Join(where, "name"), "longer than 15 characters");
    m.Serial = Text(v, "serial", where, "");
    if (const json* c = Member(v, "coefs")) {
        std::string here = Join(where, "coefs");
        if (!c->is_array() || c->size() != 4) Fail(here, "expected four numbers [offset1, scale1, offset2, scale2]");
        for (size_t i = 0; i < 4; ++i) {
            if (!(*c)[i].is_number() || !std::isfinite((*c)[i].get<double>()))
                Fail(here + "[" + std::to_string(i) + "]", "expected a finite number");
            m.Coefs[i] = (*c)[i].get<double>();
        }
        if (m.Coefs[1] == 0.0 || m.Coefs[3] == 0.0) Fail(here, "a scale (second or fourth number) must not be 0");
    }
    if (const json* ch = Member(v, "channels")) {
        std::string here = Join(where, "channels");
        if (!ch->is_array() || ch->size() > 2) Fail(here, "expected an array of at most two signals");
        for (size_t i = 0; i < ch->size(); ++i)
            m.Channels[i] = ParseSignal((*ch)[i], here + "[" + std::to_string(i) + "]", warnings);
    }
    return m;
}

ModuleSpec ParseModule(const json& v, const std::string& where, std::vector<std::string>* warnings)
{
    ModuleSpec m;
    m.Name = Text(v, "name", where, "KSV27");
    m.Serial = Text(v, "serial", where, "");
    if (const json* fw = Member(v, "firmware")) m.Firmware = Firmware(*fw, Join(where, "firmware"));
    if (const json* d = Member(v, "divisor")) m.Divisor = static_cast<uint8_t>(Integer(*d, Join(where, "divisor"), 255));
    if (const json* mz = Member(v, "mezzanines")) {
        std::string here = Join(where, "mezzanines");
        if (!mz->is_array() || mz->size() > 8) Fail(here, "expected an array of at most eight mezzanines");
        for (size_t i = 0; i < mz->size(); ++i)
            m.Mezzanines[i] = ParseMezzanine((*mz)[i], here + "[" + std::to_string(i) + "]", warnings);
    }
    m.Faults = Faults(v, where, 2);
    return m;
}

CrateSpec ParseCrate(const json& v, const std::string& where, std::vector<std::string>* warnings)
{
    if (!v.is_object()) Fail(where, "expected an object");
    CheckKeys(v, where, {"serial", "slots", "faults"}, warnings);
    CrateSpec c;
    c.Serial = Text(v, "serial", where, "", true);
    if (c.Serial.empty()) Fail(Join(where, "serial"), "must not be empty");
    c.Slots.resize(16);
    c.Faults = Faults(v, where, 1);
    const json* slots = Member(v, "slots");
    if (!slots) return c;
    std::string here = Join(where, "slots");
    if (!slots->is_array()) Fail(here, "expected an array");
    std::set<uint64_t> seen;
    for (size_t i = 0; i < slots->size(); ++i) {
        const json& s = (*slots)[i];
        std::string at = here + "[" + std::to_string(i) + "]";
        if (!s.is_object()) Fail(at, "expected an object");
        const json* number = Member(s, "slot");
        if (!number) Fail(at, "\"slot\" is missing");
        uint64_t n = Integer(*number, Join(at, "slot"), kScenarioMaxSlots);
        if (n < 1) Fail(Join(at, "slot"), "slots are numbered from 1");
        if (!seen.insert(n).second) Fail(Join(at, "slot"), "slot " + std::to_string(n) + " is given twice");
        if (c.Slots.size() < n) c.Slots.resize(n);
        SlotSpec& slot = c.Slots[n - 1];
        slot.Id = kKsv27Id;
        if (const json* id = Member(s, "id")) slot.Id = static_cast<uint16_t>(Integer(*id, Join(at, "id"), 0xFFFF));
        if (slot.Id == kKsv27Id) {
            CheckKeys(s, at, {"slot", "id", "name", "serial", "firmware", "divisor", "mezzanines", "faults"}, warnings);
            slot.Module = ParseModule(s, at, warnings);
        } else {
            CheckKeys(s, at, {"slot", "id"}, warnings);
        }
    }
    return c;
}

} // namespace

const char* FaultOpName(FaultOp op)
{
    for (const auto& e : kFaultOpTable)
        if (e.Op == op) return e.Name;
    return "?";
}

std::optional<FaultOp> FaultOpFromName(std::string_view name)
{
    for (const auto& e : kFaultOpTable)
        if (name == e.Name) return e.Op;
    return std::nullopt;
}

int FaultLevel(FaultOp op)
{
    for (const auto& e : kFaultOpTable)
        if (e.Op == op) return e.Level;
    return -1;
}

std::optional<Fault> ParseFault(FaultOp op, std::string_view text, std::string& why)
{
    Fault f;
    constexpr std::string_view kOnce = ":once";
    if (text.size() > kOnce.size() && text.substr(text.size() - kOnce.size()) == kOnce) {
        f.Once = true;
        text.remove_suffix(kOnce.size());
    }
    const bool recv = op == FaultOp::Recv;
    if (text == "off") f = Fault{};
    else if (text == "fail" || text == "error") f.Mode = FaultMode::Fail;
    else if (text == "drop" && op != FaultOp::ProcessData) f.Mode = FaultMode::Drop;
    else if (text == "zero" && recv) f.Mode = FaultMode::Zero;
    else if (text == "short" && recv) f.Mode = FaultMode::Short;
    else if (text == "stall" && recv) f.Mode = FaultMode::Stall;
    else {
        why = "\"" + std::string(text) + "\" is not a fault of " + FaultOpName(op) + " (one of " +
              (recv ? "off, fail, drop, zero, short, stall" : op == FaultOp::ProcessData ? "off, fail"
                                                                                         : "off, fail, drop") +
              ", optionally with :once)";
        return std::nullopt;
    }
    return f;
}

std::string FaultText(const Fault& f)
{
    const char* name = "off";
    switch (f.Mode) {
    case FaultMode::Off: name = "off"; break;
    case FaultMode::Fail: name = "fail"; break;
    case FaultMode::Drop: name = "drop"; break;
    case FaultMode::Zero: name = "zero"; break;
    case FaultMode::Short: name = "short"; break;
    case FaultMode::Stall: name = "stall"; break;
    }
    return std::string(name) + (f.Once && f.Mode != FaultMode::Off ? ":once" : "");
}

namespace {

// "clock": the string "per-start", or the module's running time in seconds
// when the server starts.
void ParseClock(const json& root, Scenario& sc)
{
    const json* v = Member(root, "clock");
    if (!v) return;
    if (v->is_string() && v->get<std::string>() == "per-start") {
        sc.Clock = FrameClock::PerStart;
        return;
    }
    if (!v->is_number()) Fail("clock", "expected \"per-start\" or a number of seconds");
    const double seconds = Number(root, "clock", "", 0.0);
    if (seconds < 0.0 || seconds > kMaxClockStartSeconds) Fail("clock", "expected 0 to 1e9 seconds");
    sc.ClockStartSeconds = seconds;
}

} // namespace

std::string ListedSerial(const std::string& serial) { return serial.substr(0, 15); }

Scenario ParseScenario(std::string_view text, std::vector<std::string>* warnings)
{
    json root;
    try {
        root = json::parse(text.begin(), text.end());
    } catch (const json::parse_error& e) {
        // The library's message names the byte where parsing stopped.
        std::string what = e.what();
        auto colon = what.find(": ");
        Fail("", "not valid JSON (" + (colon == std::string::npos ? what : what.substr(colon + 2)) + ")");
    }
    if (!root.is_object()) Fail("", "the scenario must be a JSON object");
    CheckKeys(root, "", {"crates", "faults", "clock", "comment"}, warnings);
    Scenario sc;
    sc.Faults = Faults(root, "", 0);
    ParseClock(root, sc);
    const json* crates = Member(root, "crates");
    if (!crates) return sc;
    if (!crates->is_array()) Fail("crates", "expected an array");
    std::set<std::string> listed;
    for (size_t i = 0; i < crates->size(); ++i) {
        std::string at = "crates[" + std::to_string(i) + "]";
        CrateSpec c = ParseCrate((*crates)[i], at, warnings);
        if (!listed.insert(ListedSerial(c.Serial)).second)
            Fail(Join(at, "serial"), "\"" + c.Serial + "\" is not told apart from an earlier crate in its first 15 characters");
        sc.Crates.push_back(std::move(c));
    }
    return sc;
}

} // namespace ksv::sim
