// libFuzzer target for the SCPI parser. Each input is one program line as a
// client may send it. The line is taken apart; every error it gives must be
// one of the codes the parser knows and print as 7-bit ASCII, every number
// must answer in NR3 form that reads back as the same value, and every
// header is matched against a few of the instrument's patterns. A broken
// rule aborts, so the fuzzer reports it.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "ScpiNumber.h"
#include "ScpiParser.h"

namespace {

void Check(bool ok, const char* what)
{
    if (ok) return;
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
}

bool PrintableAscii(const std::string& text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) return false;
    return true;
}

void CheckNumber(double value)
{
    const std::string text = ksv::scpi::Nr3(value);
    Check(PrintableAscii(text) && (text.size() == 15 || text.size() == 16), "NR3 form");
    const double back = std::strtod(text.c_str(), nullptr);
    Check(std::fabs(back - value) <= 1e-8 * std::fabs(value) + 1e-300 || std::fabs(value) > 9e37,
          "NR3 reads back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace ksv::scpi;
    static const std::set<int> known = {0, -101, -102, -104, -121, -123, -131, -141, -151, -222};
    const std::string line(reinterpret_cast<const char*>(data), size);
    for (const TUnit& unit : ParseLine(line)) {
        Check(known.count(unit.Error.Code) == 1, "a known code");
        Check(PrintableAscii(ErrorAnswer(unit.Error)), "an ASCII error answer");
        if (unit.Error) continue;
        const TCommand& c = unit.Command;
        Check(!c.Nodes.empty() && c.Inherited < c.Nodes.size(), "a header");
        for (const char* pattern : {"SYSTem:ERRor[:NEXT]?", "[SENSe:]APERture", "*IDN?", "CALCulate:LIMit:UPPer[:DATA]"})
            MatchHeader(pattern, c);
        for (const TParam& p : c.Params) {
            if (p.Kind == TParamKind::Number) CheckNumber(p.Number);
            Check(p.Channels.size() <= kMaxListedChannels, "a bounded channel list");
        }
    }
    return 0;
}
