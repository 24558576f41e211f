// The parameters of the instrument's commands: their count, channel lists,
// booleans, plain numbers, levels with a unit, MIN/MAX/DEF, and the answer
// forms shared by the handlers. Toolkit-free.
#pragma once

#include <cstddef>
#include <string>

#include "Instrument.h"
#include "MezzanineKind.h"
#include "ScpiError.h"
#include "ScpiParser.h"

namespace ksv::scpi {

// -109 with fewer than `min` parameters, -108 with more than `max`.
TScpiError CountParams(const TCommand& c, std::size_t min, std::size_t max);
// The channel index of a number a client wrote, -1 for none of the
// instrument's: 1..16 and N01..N16 (N its slot) for a single module,
// slot*100+ch for several. `hundreds` tells the form.
int ChannelIndexOf(const TModuleFacts& facts, int number, bool& hundreds);
// The number of channel index `index` in that form (several: always
// slot*100+ch); -1 for an index of no module.
int ChannelNumberOf(const TModuleFacts& facts, int index, bool hundreds);
// A channel list of the instrument's channels (-104 for another kind, -102
// empty, -222 outside); `hundreds`, when given, gets the form it was written in.
TScpiError ToChannels(const TParam& p, const TModuleFacts& facts, TChannelSet& set, bool* hundreds = nullptr);
// The channel list at `index` when it is there, else `fallback` (within the
// instrument's channels).
TScpiError OptionalChannels(const TCommand& c, std::size_t index, const TModuleFacts& facts, TChannelSet fallback,
                            TChannelSet& set, bool* hundreds = nullptr);
// ON, OFF, 1 or 0.
TScpiError ToBool(const TParam& p, bool& on);
// A number without a suffix.
TScpiError ToPlainNumber(const TParam& p, double& value);
// A number for one of a channel's units (V, A, OHM with their prefixes) or
// none; `unit` gets the unit its suffix names, "" without one.
TScpiError ToLevel(const TParam& p, double& value, std::string& unit);
// MIN, MAX or DEF (long forms too) in place of a number: `mnemonic` gets
// its first three letters.
bool IsMnemonic(const TParam& p, std::string& mnemonic);

// "(@1,2,5)" or "(@201,202,505)".
std::string ChannelListText(TChannelSet set, const TModuleFacts& facts, bool hundreds);
// `"text"` with a '"' inside doubled, 7-bit ASCII.
std::string Quoted(const std::string& text);
// A field of *IDN?: no ',' or ';', `none` when empty.
std::string IdnField(std::string text, const char* none);
// "VOLT", "CURR", "RES", "TEMP" or "NONE".
const char* FunctionName(TMezzanineKind kind);
TMezzanineKind KindOfChannel(const TModuleFacts& facts, int channel);
// "V", "A", "OHM"; "" for a channel without a unit.
const char* UnitOfChannel(const TModuleFacts& facts, int channel);

// One answer per channel of `set`, ascending, comma-separated.
template <class F>
std::string PerChannel(TChannelSet set, F answer)
{
    std::string text;
    for (int c = 0; c < kChannels; ++c) {
        if (!set[static_cast<std::size_t>(c)]) continue;
        if (!text.empty()) text += ',';
        text += answer(c);
    }
    return text;
}

} // namespace ksv::scpi
