// {"time":"2026-12-09T17:01:02.123Z","cycle":0,"channels":[
//   {"channel":1,"slot":1,"mezzanine":"U10","unit":"mV","value":2500.000}, ...]}
// on one line. Only the channels of active slots are listed; "value" is the
// number the window shows (its very digits), null (and no unit) where it
// shows none.
#include "RecordFormat.h"

#include "CycleCsv.h"
#include "JsonText.h"

namespace ksv::cli {

namespace {

std::string ChannelObject(int index, const TChannelResult& channel)
{
    std::string out = "{\"channel\":" + std::to_string(index + 1) + ",\"slot\":" + std::to_string(index / 2 + 1);
    out += ",\"mezzanine\":" + JsonString(channel.MezzanineName);
    out += ",\"unit\":" + JsonString(channel.Valid ? UnitText(channel.Unit) : "");
    out += ",\"value\":";
    out += channel.Valid ? channel.Text : std::string("null");
    out += '}';
    return out;
}

class TJsonFormat final : public TRecordFormat {
public:
    std::string Header(const TRunDescription&) const override { return {}; }

    std::string Record(const TCycleResult& cycle) const override
    {
        std::string out = "{\"time\":" + JsonString(IsoUtcTime(cycle.StartTime));
        out += ",\"cycle\":" + std::to_string(cycle.Index) + ",\"channels\":[";
        bool first = true;
        for (int i = 0; i < kChannelCount; ++i) {
            const TChannelResult& channel = cycle.Channels[static_cast<std::size_t>(i)];
            if (!channel.Active) continue;
            if (!first) out += ',';
            first = false;
            out += ChannelObject(i, channel);
        }
        out += "]}\n";
        return out;
    }
};

} // namespace

std::unique_ptr<TRecordFormat> MakeJsonFormat() { return std::make_unique<TJsonFormat>(); }

} // namespace ksv::cli
