// CSV: the measurement record's CSV form, exactly as the window's recorder
// writes it (CycleCsv.h).
#include "RecordFormat.h"

#include "CycleCsv.h"

namespace ksv::cli {

namespace {

class TCsvFormat final : public TRecordFormat {
public:
    std::string Header(const TRunDescription& run) const override { return CsvHeader(run); }
    std::string Record(const TCycleResult& cycle) const override { return CsvRow(cycle); }
};

} // namespace

std::unique_ptr<TRecordFormat> MakeCsvFormat() { return std::make_unique<TCsvFormat>(); }

} // namespace ksv::cli
