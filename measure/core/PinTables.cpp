#include "PinTables.h"

namespace ksv {

namespace {

// Channel k = 1..16: plus at contact 38 - k, minus at 20 - k.
TPinTable MakeChannelTable(const char* quantity)
{
    TPinTable t;
    for (int k = 1; k <= 16; ++k) {
        const auto i = static_cast<std::size_t>(k - 1);
        t.PlusNames[i] = std::string("+") + quantity + std::to_string(k);
        t.MinusNames[i] = std::string("-") + quantity + std::to_string(k);
        t.PlusContacts[i] = std::to_string(38 - k);
        t.MinusContacts[i] = std::to_string(20 - k);
    }
    return t;
}

} // namespace

TPinTable MakeVoltagePinTable() { return MakeChannelTable("U"); }
TPinTable MakeCurrentPinTable() { return MakeChannelTable("I"); }

// Slot S = 1..8, n = 2S - 1: the current is driven through channel n's pins
// (+In at 21 - 2S, -In at 39 - 2S) and sensed on the next contacts
// (+Un at 38 - 2S, -Un at 20 - 2S).
TPinTable MakeResistancePinTable()
{
    TPinTable t;
    for (int S = 1; S <= 8; ++S) {
        const int n = 2 * S - 1;
        const auto pin1 = static_cast<std::size_t>(2 * (S - 1));
        const auto pin2 = pin1 + 1;
        t.PlusNames[pin1] = "+I" + std::to_string(n);
        t.PlusContacts[pin1] = std::to_string(21 - 2 * S);
        t.MinusNames[pin1] = "-I" + std::to_string(n);
        t.MinusContacts[pin1] = std::to_string(39 - 2 * S);
        t.PlusNames[pin2] = "+U" + std::to_string(n);
        t.PlusContacts[pin2] = std::to_string(38 - 2 * S);
        t.MinusNames[pin2] = "-U" + std::to_string(n);
        t.MinusContacts[pin2] = std::to_string(20 - 2 * S);
    }
    return t;
}

TPinTexts SlotPin(const TPinTable& table, int slot, int pin)
{
    const auto i = static_cast<std::size_t>(2 * slot + pin);
    return {table.PlusNames.at(i), table.PlusContacts.at(i), table.MinusNames.at(i), table.MinusContacts.at(i)};
}

} // namespace ksv
