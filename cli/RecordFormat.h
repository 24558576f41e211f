// How the records of a measurement are written: one text before the first
// cycle, then one text per cycle, each written whole.
#pragma once

#include <memory>
#include <string>

#include "CycleResult.h"
#include "Options.h"

namespace ksv::cli {

class TRecordFormat {
public:
    virtual ~TRecordFormat() = default;
    // What comes before the first record (may be empty).
    virtual std::string Header(const TRunDescription& run) const = 0;
    // One cycle, ending in '\n'.
    virtual std::string Record(const TCycleResult& cycle) const = 0;
};

// CSV: the measurement record's CSV form, as the window's recorder writes it.
std::unique_ptr<TRecordFormat> MakeCsvFormat();
// JSON: one object per cycle and line; no header.
std::unique_ptr<TRecordFormat> MakeJsonFormat();
// A table for people: the run in one line, then a block per cycle.
std::unique_ptr<TRecordFormat> MakeTableFormat();

std::unique_ptr<TRecordFormat> MakeRecordFormat(TFormat format);

} // namespace ksv::cli
