// How the records of a measurement are written: one text before the first
// cycle, then one text per cycle, each written whole. A measurement of
// several modules writes one text per scan with every module's channels,
// each named by its number slot*100+ch.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ChannelTable.h"
#include "CrateScan.h"
#include "CycleResult.h"
#include "Options.h"

namespace ksv::cli {

// What the records name their channels by: the user's channel table, and
// whether its scaling is left off (--raw).
struct TChannelNaming {
    const TChannelTable* Table = nullptr; // none: numbers and mezzanines only
    bool Raw = false;
};

class TRecordFormat {
public:
    virtual ~TRecordFormat() = default;
    // What comes before the first record (may be empty).
    virtual std::string Header(const TRunDescription& run) const = 0;
    // One cycle, ending in '\n'.
    virtual std::string Record(const TCycleResult& cycle) const = 0;
    // The same for several modules: the modules' runs in scan order, and one scan.
    virtual std::string ScanHeader(const std::vector<TRunDescription>& modules) const = 0;
    virtual std::string ScanRecord(const TScan& scan) const = 0;
};

// CSV: the measurement record's CSV form, as the window's recorder writes it.
std::unique_ptr<TRecordFormat> MakeCsvFormat(TChannelNaming naming);
// JSON: one object per cycle and line; no header.
std::unique_ptr<TRecordFormat> MakeJsonFormat();
// A table for people: the run in one line, then a block per cycle.
std::unique_ptr<TRecordFormat> MakeTableFormat();

std::unique_ptr<TRecordFormat> MakeRecordFormat(TFormat format, TChannelNaming naming = {});

// The CSV column of channel 0..15 of a module's run; moduleSlot 0 for the
// one module of a single-module record (channels 1..16).
std::string ChannelColumn(const TRunDescription& run, int moduleSlot, int channel, TChannelNaming naming);

} // namespace ksv::cli
