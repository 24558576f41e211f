// KSV27 27A-1001, firmware 3.2.1.0, crate KSV-C-0001 slot 1: 5 Hz, 1.000 s per cycle
//
// 2026-12-09T17:01:02.123Z  cycle 0
//   slot 1  U10     ch1     2500.000 mV    ch2    -3750.000 mV
//   slot 2  R100    ch3       47.000 Ohm   ch4     --------
//
// One line per active slot: each channel's text as the window shows it.
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

std::string ChannelCell(int index, const TChannelResult& channel)
{
    return Padded("ch" + std::to_string(index + 1), 5, false) + Padded(channel.Text, 12, true) + ' ' +
           Padded(channel.Valid ? UnitText(channel.Unit) : "", 5, false);
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
        std::string out = "\n" + IsoUtcTime(cycle.StartTime) + "  cycle " + std::to_string(cycle.Index) + '\n';
        for (int slot = 0; slot < kSlotCount; ++slot) {
            const int first = 2 * slot;
            const TChannelResult& one = cycle.Channels[static_cast<std::size_t>(first)];
            const TChannelResult& two = cycle.Channels[static_cast<std::size_t>(first + 1)];
            if (!one.Active) continue;
            std::string line = "  slot " + std::to_string(slot + 1) + "  " + Padded(one.MezzanineName, 8, false) +
                               ChannelCell(first, one) + "  " + ChannelCell(first + 1, two);
            line.erase(line.find_last_not_of(' ') + 1);
            out += line + '\n';
        }
        return out;
    }
};

} // namespace

std::unique_ptr<TRecordFormat> MakeTableFormat() { return std::make_unique<TTableFormat>(); }

} // namespace ksv::cli
