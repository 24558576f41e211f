// The syntax of one SCPI program line: `;`-separated commands, each a header
// (common `*IDN?`, or `:`-separated nodes in long or short form, any case,
// `?` for a query) and comma-separated parameters: numbers with an optional
// suffix, character data, quoted strings and channel lists `(@1,3,5:8)`.
// A header without a leading `:` after `;` continues the previous
// command's path. What a header means is the command table's business
// (MatchHeader); this file only takes the line apart. Toolkit-free; every
// input, however hostile, gives commands or errors, never a crash.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ScpiError.h"

namespace ksv::scpi {

enum class TParamKind {
    Number,    // NR1/NR2/NR3; Suffix as written, upper-cased ("HZ", "MS", "")
    Character, // a mnemonic, upper-cased: ON, OFF, INF, MIN, MAX, DEF, ...
    String,    // quoted; Text without the quotes
    Channels   // (@...); Channels in the order written, ranges expanded
};

struct TParam {
    TParamKind Kind = TParamKind::Number;
    std::string Text; // Character: the mnemonic; String: its content
    double Number = 0.0;
    std::string Suffix;
    std::vector<int> Channels;
};

struct TCommand {
    bool Common = false;            // `*XXX`; Nodes holds "XXX"
    std::vector<std::string> Nodes; // the full path from the root, upper-cased
    std::size_t Inherited = 0;      // leading nodes taken from the previous command's path
    bool Query = false;
    std::vector<TParam> Params;
    std::string Header; // as written, for messages
};

// One command of the line, or the error that stopped it.
struct TUnit {
    TCommand Command;
    TScpiError Error;
};

// Channel numbers accepted inside a list before the instrument checks them:
// a range may not expand beyond this many channels.
inline constexpr std::size_t kMaxListedChannels = 1024;

// Takes a line (without its LF; a CR before it is dropped) apart. An empty
// line gives nothing.
std::vector<TUnit> ParseLine(std::string_view line);

// True when `command` is the header `pattern`, written as a manual writes it:
// "SYSTem:ERRor[:NEXT]?", "*IDN?", "[SENSe:]APERture". The short form is
// the pattern's capitals; either form in any case matches; a bracketed node
// may be left out. A query pattern matches only a query and the reverse.
bool MatchHeader(std::string_view pattern, const TCommand& command);

// The value of a number whose suffix names `unit` ("HZ", "S", "V", ...),
// with SCPI's prefixes (M milli, K kilo, MA mega, U micro, N nano); no
// suffix means the unit itself. An error -131 for any other suffix.
TScpiError ScaleBySuffix(const TParam& number, std::string_view unit, double& value);

} // namespace ksv::scpi

namespace ksv::scpi {

// True when a node of the header carries a numeric suffix other than 1
// (`MEAS2?`): such a header is -114 rather than -113.
bool HasNumericSuffix(const TCommand& command);

} // namespace ksv::scpi
