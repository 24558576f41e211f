// What the multimeter page keeps besides its controls: the rate table, the
// acquisition time, the eight channel frames, the pin tables the frames'
// legends use, and the pages the START button serves. Window's thread.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>

#include "PinTables.h"

namespace ksv {

class TKsv27AdcChannelFrame;

using TSlotFrames = std::array<TKsv27AdcChannelFrame*, 8>;

struct TMultimeterTables {
    double AcquisitionTime = 0.0;
    std::array<double, 8> AdcRatesHz{};
    std::array<std::uint8_t, 8> AdcRateDivisors{};
    TSlotFrames SlotFrames{};
    TPinTable VoltagePinTable, CurrentPinTable, ResistancePinTable;
    // The pages START serves, and the one it last served.
    std::array<QWidget*, 1> HandlerPages{};
    std::uint16_t HandlerIndex = 0;
};

} // namespace ksv
