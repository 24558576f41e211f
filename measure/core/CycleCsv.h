// The CSV form of a measurement record, shared by the command-line tool and
// the window's recorder so that both write the same file:
//
//   # KSV27_Vorn measurement record
//   # crate,KSV-C-0001
//   # slot,3
//   # module,27A-1001
//   # firmware,3.2.1.0
//   # rate_hz,5
//   # acquisition_time_s,1
//   time,cycle,ch1 slot1 U10 mV,ch2 slot1 U10 mV,...,ch16 slot8 EMPTY
//   2026-12-09T17:01:02.123Z,0,12.345,-0.020,...,
//
// The '#' lines describe the run; the first line without '#' names the
// columns: the cycle's start time (UTC, ISO 8601 with milliseconds), its
// number from 0, then all sixteen channels with their slot, mezzanine name and
// unit. A cell holds the text the window shows for that channel in that cycle,
// '.' as decimal separator, and is empty where the channel has no value.
// UTF-8, '\n' line ends; fields with a comma, quote or line break are quoted.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "CycleResult.h"

namespace ksv {

// One CSV field: as it is, or in double quotes with inner quotes doubled when
// it holds a comma, a quote or a line break.
std::string CsvField(std::string_view text);

// "2026-12-09T17:01:02.123Z".
std::string IsoUtcTime(std::chrono::system_clock::time_point time);

// "ch<n> slot<s> <mezzanine>[ <unit>]" for channel 0..15.
std::string ChannelColumnName(int channel, const std::string& mezzanineName);
// The same for a channel named by `number` (slot*100+ch for a module of
// several), with `unit` in place of the kind's unit when it is not empty and
// the user's `label` after it: "ch501 slot1 I20 bar P1 inlet".
std::string NamedColumnName(int number, int channel, const std::string& mezzanineName, std::string_view unit,
                            std::string_view label);

// "# <title>" and the '#' lines of the run (crate to acquisition time).
std::string CsvRunLines(const TRunDescription& run, std::string_view title);

// "# key,value\n", the value kept on its line and quoted as a field.
std::string CsvMetaLine(std::string_view key, std::string_view value);

// The '#' lines and the column line, each ending in '\n'.
std::string CsvHeader(const TRunDescription& run);

// One row, ending in '\n'.
std::string CsvRow(const TCycleResult& cycle);

} // namespace ksv
