// The kind of the mezzanine in a slot, from the name the module reports.
// Names are compared whole and case-sensitively.
#pragma once

#include <string_view>

namespace ksv {

enum class TMezzanineKind {
    None,        // "EMPTY", "UDEF": no usable mezzanine
    Voltage,     // "U01", "U10", "U20": library volts, shown in mV
    Temperature, // "T": shown as the library gives it
    Current,     // "I5", "I10", "I20": mA
    Resistance,  // "R100", "R250": one value, from the slot's first channel
    Unknown      // any other name: fitted, but nothing to show
};

TMezzanineKind MezzanineKindOf(std::string_view name);

// A slot holds a real mezzanine unless its name is "EMPTY" or "UDEF".
inline bool IsFitted(TMezzanineKind kind) { return kind != TMezzanineKind::None; }
bool IsFittedName(std::string_view name);

} // namespace ksv
