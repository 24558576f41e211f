// CSV: the measurement record's CSV form, exactly as the window's recorder
// writes it (CycleCsv.h), while no channel has a name of the user's. A
// record of several modules has one row per scan: the time, the scan's
// number and sixteen columns per module, numbered slot*100+ch.
#include "RecordFormat.h"

#include "CycleCsv.h"
#include "MeasureCore.h"

namespace ksv::cli {

namespace {

void AppendValues(std::string& out, const TCycleResult& cycle)
{
    for (const TChannelResult& channel : cycle.Channels) {
        out += ',';
        if (channel.Valid) out += CsvField(channel.Text);
    }
}

class TCsvFormat final : public TRecordFormat {
public:
    explicit TCsvFormat(TChannelNaming naming) : naming_(naming) {}

    std::string Header(const TRunDescription& run) const override
    {
        if (!naming_.Table || naming_.Table->empty()) return CsvHeader(run);
        std::string out = CsvRunLines(run, "KSV27_Vorn measurement record") + "time,cycle";
        for (int c = 0; c < kChannelCount; ++c) out += ',' + CsvField(ChannelColumn(run, 0, c, naming_));
        return out + '\n';
    }

    std::string Record(const TCycleResult& cycle) const override { return CsvRow(cycle); }

    std::string ScanHeader(const std::vector<TRunDescription>& modules) const override
    {
        std::string out = "# KSV27_Vorn measurement record\n";
        if (!modules.empty()) {
            out += CsvMetaLine("crate", modules.front().CrateSerial);
            out += CsvMetaLine("rate_hz", FormatFixed(modules.front().RateHz, 0));
            out += CsvMetaLine("acquisition_time_s", FormatFixed(modules.front().AcquisitionTime, 3));
        }
        for (const TRunDescription& run : modules) {
            const std::string slot = std::to_string(run.Slot);
            out += CsvMetaLine("module_" + slot, run.ModuleSerial);
            out += CsvMetaLine("firmware_" + slot, run.Firmware);
        }
        out += "time,scan";
        for (const TRunDescription& run : modules)
            for (int c = 0; c < kChannelCount; ++c) out += ',' + CsvField(ChannelColumn(run, run.Slot, c, naming_));
        return out + '\n';
    }

    std::string ScanRecord(const TScan& scan) const override
    {
        std::string out = IsoUtcTime(scan.StartTime) + ',' + std::to_string(scan.Index);
        for (const TModuleScan& module : scan.Modules) AppendValues(out, module.Cycle);
        return out + '\n';
    }

private:
    TChannelNaming naming_;
};

} // namespace

std::unique_ptr<TRecordFormat> MakeCsvFormat(TChannelNaming naming) { return std::make_unique<TCsvFormat>(naming); }

} // namespace ksv::cli
