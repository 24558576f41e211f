// What one measurement cycle gives its caller: per channel whether it took
// part, whether it has a value, the value in the unit it is shown in, and the
// very text the window shows for it; plus the cycle's number and start time.
//
// The measurement engine fills one per cycle; the window shows it, the
// command-line tool prints it, the recorder writes it and the statistics
// take it in. Toolkit-free, plain data.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <limits>
#include <string>

#include "MezzanineKind.h"

namespace ksv {

inline constexpr int kChannelCount = 16;
inline constexpr int kSlotCount = 8;

// The unit a channel's value is shown in. Voltage kinds and the temperature
// kind are shown in mV (the latter as the library gives it, under the same
// unit caption), currents in mA, resistance in Ohm.
enum class TChannelUnit {
    None,
    Millivolt,
    Milliamp,
    Ohm
};

// "mV", "mA", "Ohm"; "" for None.
inline const char* UnitText(TChannelUnit unit)
{
    switch (unit) {
    case TChannelUnit::Millivolt: return "mV";
    case TChannelUnit::Milliamp: return "mA";
    case TChannelUnit::Ohm: return "Ohm";
    case TChannelUnit::None: break;
    }
    return "";
}

// A unit's SI name ("V", "A", "OHM"; "" for None) and the factor from the
// shown unit to it (NaN for None).
inline const char* SiUnitText(TChannelUnit unit)
{
    switch (unit) {
    case TChannelUnit::Millivolt: return "V";
    case TChannelUnit::Milliamp: return "A";
    case TChannelUnit::Ohm: return "OHM";
    case TChannelUnit::None: break;
    }
    return "";
}

inline double SiFactor(TChannelUnit unit)
{
    switch (unit) {
    case TChannelUnit::Millivolt:
    case TChannelUnit::Milliamp: return 1e-3;
    case TChannelUnit::Ohm: return 1.0;
    case TChannelUnit::None: break;
    }
    return std::numeric_limits<double>::quiet_NaN();
}

// The unit a mezzanine kind's values are shown in.
inline TChannelUnit UnitOf(TMezzanineKind kind)
{
    switch (kind) {
    case TMezzanineKind::Voltage:
    case TMezzanineKind::Temperature: return TChannelUnit::Millivolt;
    case TMezzanineKind::Current: return TChannelUnit::Milliamp;
    case TMezzanineKind::Resistance: return TChannelUnit::Ohm;
    case TMezzanineKind::None:
    case TMezzanineKind::Unknown: break;
    }
    return TChannelUnit::None;
}

struct TChannelResult {
    bool Active = false;                                     // its slot took part in the cycle (fitted and chosen)
    bool Valid = false;                                      // it has a value: Value is finite and Text is a number
    double Value = std::numeric_limits<double>::quiet_NaN(); // in Unit (mV already scaled)
    std::string Text;                                        // what the window's value edit shows, e.g. "12.345" or "--------"
    TMezzanineKind Kind = TMezzanineKind::None;
    TChannelUnit Unit = TChannelUnit::None;
    std::string MezzanineName; // the name the module reports for the channel's slot
    // The user's name and scaling (the command-line tool's channel file):
    std::string Label;                                          // "" : none
    bool Scaled = false;                                        // Value and Text are gain * SI value + offset, in ScaledUnit
    std::string ScaledUnit;                                     // the user's unit while Scaled
    double RawValue = std::numeric_limits<double>::quiet_NaN(); // Value before scaling, in Unit
};

// The unit a channel's value is shown in: the user's while it is scaled.
inline std::string ShownUnitText(const TChannelResult& channel)
{
    return channel.Scaled ? channel.ScaledUnit : UnitText(channel.Unit);
}

struct TCycleResult {
    std::uint64_t Index = 0; // 0 for the first cycle after START
    std::chrono::system_clock::time_point StartTime{};
    std::array<TChannelResult, kChannelCount> Channels{};
};

// The facts of one run that a record of it starts with.
struct TRunDescription {
    std::string CrateSerial;
    int Slot = 0; // the crate slot of the module
    std::string ModuleSerial;
    std::string Firmware; // "3.2.1.0"
    double RateHz = 0.0;
    double AcquisitionTime = 0.0; // seconds
    std::array<std::string, kSlotCount> MezzanineNames{};
    std::array<bool, kSlotCount> SlotActive{};
};

} // namespace ksv
