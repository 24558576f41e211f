// The JSON the page, its event stream and /api/status are made of; one entry
// in "modules" per module served (channel numbers slot*100+N when several
// modules of a crate are served as one instrument, else 1..16):
//
//   {"program":"ksv27-vorn-cli","version":"1.0.0","host":"bench3",
//    "resources":["TCPIP::bench3::5025::SOCKET"],
//    "measuring":true,"rateHz":100,"time":0.1,"count":0,
//    "lastError":{"code":-240,"text":"...","time":"..."}|null,
//    "clients":[{"transport":"SCPI","address":"127.0.0.1:40112","since":"..."}],
//    "cycle":{"index":12,"time":"2026-...Z","timeMs":1.7e12,"takenMs":1.7e12}|null,
//    "modules":[{"type":"KSV27","serial":"...","firmware":"...","crate":"...","slot":3,"open":true,
//      "channels":[{"channel":1,"slot":1,"mezzanine":"U10","kind":"voltage","label":"",
//                   "unit":"mV","text":"2500.000","value":2500.0,"cross":"upper"|"lower"|"",
//                   "lower":null,"upper":2400.0}]}]}
//
// "text" is what the window shows for the channel; "value", "lower" and
// "upper" are in the channel's unit; "takenMs" is when the service took the
// cycle in (its end), "timeMs" when it started.
#pragma once

#include <cstdint>
#include <string>

namespace ksv::scpi {
class TInstrument;
struct TModuleFacts;
} // namespace ksv::scpi

namespace ksv::web {

class TWebState;
struct TWebSnapshot;

// What the service is, beside the instrument.
struct TServiceFacts {
    std::string Host;           // what clients reach the service by
    std::uint16_t ScpiPort = 0; // the raw socket
    bool Vxi11 = false;         // an INSTR resource is served too
};

// The module as it is open, else as the last run knew it (a lost module).
scpi::TModuleFacts KnownFacts(const scpi::TInstrument& instrument, const TWebSnapshot& snapshot);

std::string StatusJson(const scpi::TInstrument& instrument, const TWebState& state, const TServiceFacts& service);

// The last cycle (one module) or scan (several) as `--format json` writes
// it; "null" before the first.
std::string ReadingsJson(const TWebState& state);

// Per channel the last ten minutes, thinned to at most kTrendColumns
// columns of their lowest and highest point:
//   {"channels":[{"channel":1,"t":[ms since the epoch...],"v":[...]}]}
inline constexpr std::size_t kTrendColumns = 600;
std::string TrendJson(const TWebState& state);

} // namespace ksv::web
