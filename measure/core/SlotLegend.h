// What a slot's frame shows for the mezzanine the module reports in it: the
// mezzanine caption, the unit caption of its values and which pin table its
// pin labels take.
#pragma once

#include <string>

namespace ksv {

enum class TPinFamily {
    None,    // a slot without a mezzanine: every pin label "--"
    Keep,    // a mezzanine of no known kind: the pin labels stay as they are
    Voltage, // voltage and temperature kinds
    Current,
    Resistance
};

struct TSlotLegend {
    bool Fitted = false;
    std::string MezzanineCaption; // "MZ8<name> (S/N <serial>)", or "Пустой"
    const char* Unit = "????????????";
    TPinFamily Pins = TPinFamily::None;
};

TSlotLegend SlotLegendOf(const std::string& mezzanineName, const std::string& mezzanineSerial);

} // namespace ksv
