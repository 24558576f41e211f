// The user's names and scaling of channels: per channel a label, and
// optionally a gain, an offset and a unit that turn the channel's SI value
// into what the sensor measures (value = gain * SI value + offset).
//
// A channel is named by its number slot*100 + ch (501 = channel 1 of the
// module in crate slot 5); a table for one module may also use 1..16.
//
// The channel file (--channels FILE) is one JSON object:
//
//   {"channels": {"501": {"label": "P1 inlet", "gain": 625, "offset": -2.5, "unit": "bar"}}}
//
// Labels are UTF-8, at most 32 characters, no control characters; a unit is
// at most 16 printable ASCII characters. A bad file is refused whole: a
// syntax error names its line and column, a wrong value its JSON path.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "CycleResult.h"

namespace ksv::cli {

inline constexpr std::size_t kMaxLabelChars = 32;
inline constexpr std::size_t kMaxUnitChars = 16;

struct TChannelSetting {
    std::string Label;  // "" : none
    bool Scale = false; // gain, offset and unit act on the readings
    double Gain = 1.0;
    double Offset = 0.0;
    std::string Unit; // the scaled values' unit; "" : the SI unit's name
};

using TChannelTable = std::map<int, TChannelSetting>; // by channel number

// Reads and checks the whole file; empty with `error` set (one line) when
// it cannot be read or is not a valid channel file.
std::optional<TChannelTable> ReadChannelFile(const std::string& path, std::string& error);
// The same for the file's text (`origin` names it in errors).
std::optional<TChannelTable> ParseChannelText(const std::string& text, const std::string& origin, std::string& error);

// The number of channel `channel` (0..15) of the module in crate slot
// `moduleSlot`; moduleSlot 0 stands for the one module, numbered 1..16.
inline int ChannelNumber(int moduleSlot, int channel) { return moduleSlot * 100 + channel + 1; }

// The setting of a channel: by slot*100+ch, and for a single module also
// by 1..16; null when it has none.
const TChannelSetting* FindSetting(const TChannelTable& table, int moduleSlot, int channel, bool singleModule);

// The unit a channel of `unit` is shown in while `setting` scales it: the
// user's, else the SI unit's name.
std::string ScaledUnitText(const TChannelSetting& setting, TChannelUnit unit);
// Labels one channel and, unless `raw`, scales its value: the shown value
// becomes the scaled one (its text "%.7g"), the unit the user's, and
// RawValue keeps the value before scaling.
void ApplyChannelSetting(const TChannelSetting& setting, bool raw, TChannelResult& channel);
// The same for each channel of `cycle` that the table names.
void ApplyChannelTable(const TChannelTable& table, int moduleSlot, bool singleModule, bool raw, TCycleResult& cycle);

// A scaled value's text: up to 7 significant digits, '.' as decimal point.
std::string ScaledText(double value);

// UTF-8 text of at most `limit` characters without control characters.
bool ValidLabel(const std::string& text, std::size_t limit = kMaxLabelChars);
bool ValidUnit(const std::string& text);

} // namespace ksv::cli
