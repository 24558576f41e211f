// JSON: one object per cycle (or scan) and line (CycleJson.h); no header.
#include "CycleJson.h"
#include "RecordFormat.h"

namespace ksv::cli {

namespace {

class TJsonFormat final : public TRecordFormat {
public:
    std::string Header(const TRunDescription&) const override { return {}; }
    std::string Record(const TCycleResult& cycle) const override { return CycleJson(cycle) + '\n'; }
    std::string ScanHeader(const std::vector<TRunDescription>&) const override { return {}; }
    std::string ScanRecord(const TScan& scan) const override { return ScanJson(scan) + '\n'; }
};

} // namespace

std::unique_ptr<TRecordFormat> MakeJsonFormat() { return std::make_unique<TJsonFormat>(); }

} // namespace ksv::cli
