#include "CycleJson.h"

#include "CycleCsv.h"
#include "JsonText.h"

namespace ksv::cli {

namespace {

void AppendChannel(std::string& out, int index, const TChannelResult& channel)
{
    out += "{\"channel\":" + std::to_string(index + 1) + ",\"slot\":" + std::to_string(index / 2 + 1);
    out += ",\"mezzanine\":" + JsonString(channel.MezzanineName);
    out += ",\"unit\":" + JsonString(UnitText(channel.Unit));
    out += ",\"value\":";
    out += channel.Valid ? channel.Text : std::string("null");
    out += '}';
}

} // namespace

std::string CycleJson(const TCycleResult& cycle)
{
    std::string out = "{\"time\":" + JsonString(IsoUtcTime(cycle.StartTime));
    out += ",\"cycle\":" + std::to_string(cycle.Index) + ",\"channels\":[";
    bool first = true;
    for (int i = 0; i < kChannelCount; ++i) {
        const TChannelResult& channel = cycle.Channels[static_cast<std::size_t>(i)];
        if (!channel.Active) continue;
        if (!first) out += ',';
        first = false;
        AppendChannel(out, i, channel);
    }
    out += "]}";
    return out;
}

std::string ChannelJson(const TCycleResult& cycle, int index)
{
    const TChannelResult& channel = cycle.Channels[static_cast<std::size_t>(index)];
    std::string out = "{\"time\":" + JsonString(IsoUtcTime(cycle.StartTime));
    out += ",\"cycle\":" + std::to_string(cycle.Index) + ",\"channel\":" + std::to_string(index + 1);
    out += ",\"value\":" + channel.Text + ",\"unit\":" + JsonString(UnitText(channel.Unit)) + '}';
    return out;
}

} // namespace ksv::cli
