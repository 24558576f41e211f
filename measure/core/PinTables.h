// Connector pin names and contact numbers of the three mezzanine families.
//
// A table has four rows of 16 strings: plus names, minus names, plus
// contacts, minus contacts. Column 2s is what slot s shows for its first
// input (pin 1), column 2s + 1 what it shows for its second (pin 2). For the
// voltage and current tables the columns are the channels 1..16; for the
// resistance table they are the slot's current pins and its sensing pins.
#pragma once

#include <array>
#include <string>

namespace ksv {

struct TPinTable {
    std::array<std::string, 16> PlusNames;
    std::array<std::string, 16> MinusNames;
    std::array<std::string, 16> PlusContacts;
    std::array<std::string, 16> MinusContacts;
};

// The texts one pin shows in a frame.
struct TPinTexts {
    std::string PlusName, PlusContact, MinusName, MinusContact;
};

TPinTable MakeVoltagePinTable();
TPinTable MakeCurrentPinTable();
TPinTable MakeResistancePinTable();

// Pin 1 (pin = 0) or pin 2 (pin = 1) of slot 0..7.
TPinTexts SlotPin(const TPinTable& table, int slot, int pin);

} // namespace ksv
