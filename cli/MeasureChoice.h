// What a measurement is asked to do, from the command line over the
// settings file (--settings, read only) over the defaults, checked in full
// before any library call.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ChannelTable.h"
#include "Options.h"

namespace ksv::cli {

struct TMeasureChoice {
    std::string CrateSerial; // "" : the first crate with a KSV27
    int CrateSlot = -1;      // -1: the crate's first KSV27
    // True when the crate or slot came from the command line: the module
    // must then be exactly that one. A choice from the settings file falls
    // back to the first crate and module as the window's discovery does.
    bool ExactModule = false;
    int RateIndex = 0;
    double AcquisitionTime = 1.0;
    std::optional<std::array<bool, 8>> Slots; // --slots; empty: settings file or every fitted slot
    std::string SettingsPath;                 // "" : none
    std::optional<std::uint64_t> Cycles;
    std::optional<double> Duration;
    // Several modules of one crate (--slot 2,5 or all), measured as one.
    std::vector<int> CrateSlots; // ascending; empty with AllSlots
    bool AllSlots = false;
    bool ExactCrate = false; // --crate given: the modules must be in that crate
    TChannelTable Channels;  // --channels; empty: none
    bool Raw = false;

    bool Several() const { return AllSlots || !CrateSlots.empty(); }
};

struct TChoiceResult {
    bool Ok = false;
    TMeasureChoice Choice;
    std::string Error; // a usage error, one line
};

TChoiceResult BuildMeasureChoice(const TOptions& options);

// The slots that take part once the module's mezzanine names are known: the
// --slots choice, else the settings file's slot choice as the window loads
// it, else every fitted slot; never a slot without a mezzanine.
std::array<bool, 8> ChooseActiveSlots(const TMeasureChoice& choice, const std::array<std::string, 8>& names);

} // namespace ksv::cli
