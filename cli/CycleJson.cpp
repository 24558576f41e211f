#include "CycleJson.h"

#include "ChannelTable.h"
#include "CycleCsv.h"
#include "JsonText.h"

namespace ksv::cli {

namespace {

void AppendChannel(std::string& out, int index, int moduleSlot, const TChannelResult& channel)
{
    out += "{\"channel\":" + std::to_string(moduleSlot > 0 ? ChannelNumber(moduleSlot, index) : index + 1);
    if (moduleSlot > 0) out += ",\"module_slot\":" + std::to_string(moduleSlot);
    out += ",\"slot\":" + std::to_string(index / 2 + 1);
    out += ",\"mezzanine\":" + JsonString(channel.MezzanineName);
    if (!channel.Label.empty()) out += ",\"label\":" + JsonString(channel.Label);
    out += ",\"unit\":" + JsonString(ShownUnitText(channel));
    out += ",\"value\":";
    out += channel.Valid ? channel.Text : std::string("null");
    if (channel.Scaled && channel.Valid) {
        out += ",\"raw\":" + ScaledText(channel.RawValue);
        out += ",\"raw_unit\":" + JsonString(UnitText(channel.Unit));
    }
    out += '}';
}

void AppendChannels(std::string& out, const TCycleResult& cycle, int moduleSlot, bool& first)
{
    for (int i = 0; i < kChannelCount; ++i) {
        const TChannelResult& channel = cycle.Channels[static_cast<std::size_t>(i)];
        if (!channel.Active) continue;
        if (!first) out += ',';
        first = false;
        AppendChannel(out, i, moduleSlot, channel);
    }
}

std::string Opening(std::chrono::system_clock::time_point time, std::uint64_t index)
{
    return "{\"time\":" + JsonString(IsoUtcTime(time)) + ",\"cycle\":" + std::to_string(index) + ",\"channels\":[";
}

} // namespace

std::string CycleJson(const TCycleResult& cycle, int moduleSlot)
{
    std::string out = Opening(cycle.StartTime, cycle.Index);
    bool first = true;
    AppendChannels(out, cycle, moduleSlot, first);
    out += "]}";
    return out;
}

std::string ScanJson(const TScan& scan)
{
    std::string out = Opening(scan.StartTime, scan.Index);
    bool first = true;
    for (const TModuleScan& module : scan.Modules) AppendChannels(out, module.Cycle, module.Slot, first);
    out += "]}";
    return out;
}

std::string ChannelJson(const TCycleResult& cycle, int index)
{
    const TChannelResult& channel = cycle.Channels[static_cast<std::size_t>(index)];
    std::string out = "{\"time\":" + JsonString(IsoUtcTime(cycle.StartTime));
    out += ",\"cycle\":" + std::to_string(cycle.Index) + ",\"channel\":" + std::to_string(index + 1);
    out += ",\"value\":" + channel.Text;
    out += ",\"unit\":" + JsonString(ShownUnitText(channel));
    if (!channel.Label.empty()) out += ",\"label\":" + JsonString(channel.Label);
    if (channel.Scaled) out += ",\"raw\":" + ScaledText(channel.RawValue);
    return out + '}';
}

} // namespace ksv::cli
