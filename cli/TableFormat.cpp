// KSV27 27A-1001, firmware 3.2.1.0, crate KSV-C-0001 slot 1: 5 Hz, 1.000 s per cycle
//
// 2026-12-09T17:01:02.123Z  cycle 0
//   slot 1  U10     ch1     2500.000 mV    ch2    -3750.000 mV
//   slot 2  R100    ch3       47.000 Ohm   ch4     --------
//
// One line per active slot: each channel's text as the window shows it. A
// measurement of several modules writes one such line per module and slot,
// its channels numbered slot*100+ch:
//
//   2026-12-09T17:01:02.123Z  scan 0
//   module 2  slot 1  U10     ch201    2500.000 mV    ch202   -3750.000 mV
#include "RecordFormat.h"

#include "CycleCsv.h"
#include "MeasureCore.h"

namespace ksv::cli {

namespace {

std::string Padded(const std::string& text, std::size_t width, bool right)
{
    if (text.size() >= width) return text;
    const std::string pad(width - text.size(), ' ');
    return right ? pad + text : text + pad;
}

std::string ChannelCell(int number, const TChannelResult& channel)
{
    const std::string unit = ShownUnitText(channel);
    std::string cell = Padded("ch" + std::to_string(number), number > 99 ? 7 : 5, false) +
                       Padded(channel.Text, 12, true) + ' ' + Padded(channel.Valid ? unit : "", 5, false);
    if (!channel.Label.empty()) cell += "(" + channel.Label + ") ";
    return cell;
}

// One line per active slot of a module; moduleSlot 0: the one module.
std::string SlotLines(const TCycleResult& cycle, int moduleSlot)
{
    std::string out;
    const std::string module = moduleSlot > 0 ? "  module " + std::to_string(moduleSlot) : "";
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const int first = 2 * slot;
        const TChannelResult& one = cycle.Channels[static_cast<std::size_t>(first)];
        const TChannelResult& two = cycle.Channels[static_cast<std::size_t>(first + 1)];
        if (!one.Active) continue;
        const int number = moduleSlot * 100 + first + 1;
        std::string line = module + "  slot " + std::to_string(slot + 1) + "  " + Padded(one.MezzanineName, 8, false) +
                           ChannelCell(number, one) + "  " + ChannelCell(number + 1, two);
        line.erase(line.find_last_not_of(' ') + 1);
        out += line + '\n';
    }
    return out;
}

class TTableFormat final : public TRecordFormat {
public:
    std::string Header(const TRunDescription& run) const override
    {
        return "KSV27 " + run.ModuleSerial + ", firmware " + run.Firmware + ", crate " + run.CrateSerial +
               " slot " + std::to_string(run.Slot) + ": " + FormatFixed(run.RateHz, 0) + " Hz, " +
               FormatFixed(run.AcquisitionTime, 3) + " s per cycle\n";
    }

    std::string Record(const TCycleResult& cycle) const override
    {
        return "\n" + IsoUtcTime(cycle.StartTime) + "  cycle " + std::to_string(cycle.Index) + '\n' +
               SlotLines(cycle, 0);
    }

    std::string ScanHeader(const std::vector<TRunDescription>& modules) const override
    {
        std::string out;
        for (const TRunDescription& run : modules) out += Header(run);
        return out;
    }

    std::string ScanRecord(const TScan& scan) const override
    {
        std::string out = "\n" + IsoUtcTime(scan.StartTime) + "  scan " + std::to_string(scan.Index) + '\n';
        for (const TModuleScan& module : scan.Modules) {
            out += SlotLines(module.Cycle, module.Slot);
            if (!module.Measured) out += "  module " + std::to_string(module.Slot) + "  no values\n";
        }
        return out;
    }
};

} // namespace

std::unique_ptr<TRecordFormat> MakeTableFormat() { return std::make_unique<TTableFormat>(); }

} // namespace ksv::cli
