#include "WebJson.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "CycleCsv.h"
#include "CycleJson.h"
#include "JsonText.h"
#include "ServiceResources.h"
#include "Version.h"
#include "WebState.h"
#include "scpi/CycleLimits.h"
#include "scpi/Instrument.h"

namespace ksv::web {

using cli::JsonString;

namespace {

std::string Number(double value)
{
    if (!std::isfinite(value)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

// A time in whole milliseconds since the epoch: its 13 digits are more than
// Number keeps, which would round it to the second.
std::string EpochMsJson(double ms)
{
    return std::isfinite(ms) ? std::to_string(static_cast<long long>(std::floor(ms))) : "null";
}

const char* KindText(TMezzanineKind kind)
{
    switch (kind) {
    case TMezzanineKind::Voltage: return "voltage";
    case TMezzanineKind::Temperature: return "temperature";
    case TMezzanineKind::Current: return "current";
    case TMezzanineKind::Resistance: return "resistance";
    case TMezzanineKind::Unknown: return "unknown";
    case TMezzanineKind::None: break;
    }
    return "none";
}

// A limit of the instrument in the unit the channel is shown in: the user's
// while the channel is scaled (scaled readings are what limits see), else
// from V, A or Ohm to the channel's unit.
std::string LimitJson(const scpi::TInstrument& instrument, bool upper, int channel, double factor)
{
    const scpi::TLimit limit = instrument.Limit(upper, channel);
    return limit.On ? Number(limit.Value / factor) : "null";
}

// The unit a channel's value is shown in: the last cycle's, which says how
// it was scaled; before the first cycle, that of the scaling set now.
std::string ShownUnit(const scpi::TChannelScale& scale, TChannelUnit unit, const TChannelResult* result)
{
    if (result && result->Active) return ShownUnitText(*result);
    if (!scale.Scale || unit == TChannelUnit::None) return UnitText(unit);
    return cli::ScaledUnitText(scale, unit);
}

std::string ChannelJson(const scpi::TInstrument& instrument, int c, int number, const std::string& mezzanine,
                        const TChannelResult* result, bool crossed)
{
    const TMezzanineKind kind = MezzanineKindOf(mezzanine);
    const TChannelUnit unit = UnitOf(kind);
    const scpi::TChannelScale scale = instrument.Scale(c);
    const double limitFactor = scale.Scale && unit != TChannelUnit::None ? 1.0 : SiFactor(unit);
    const bool valid = result && result->Active && result->Valid;
    std::string cross;
    if (crossed && valid) {
        const scpi::TLimit upper = instrument.Limit(true, c);
        cross = upper.On && result->Value * (result->Scaled ? 1.0 : SiFactor(unit)) > upper.Value ? "upper" : "lower";
    }
    std::string out = "{\"channel\":" + std::to_string(number) + ",\"slot\":" + std::to_string(c % 16 / 2 + 1);
    out += ",\"mezzanine\":" + JsonString(mezzanine) + ",\"kind\":\"" + KindText(kind) + "\"";
    out += ",\"label\":" + JsonString(scale.Label);
    out += ",\"unit\":" + JsonString(ShownUnit(scale, unit, result));
    out += ",\"text\":" + JsonString(result && result->Active ? result->Text : "--------");
    out += ",\"value\":" + (valid ? Number(result->Value) : std::string("null"));
    out += ",\"cross\":" + JsonString(cross);
    out += ",\"lower\":" + LimitJson(instrument, false, c, limitFactor);
    out += ",\"upper\":" + LimitJson(instrument, true, c, limitFactor) + "}";
    return out;
}

// The channels of the fitted mezzanines of the module at `position`; values
// from its cycle of the last scan.
std::string ChannelsJson(const scpi::TInstrument& instrument, const scpi::TModuleFacts& facts, std::size_t position,
                         const TWebSnapshot& snapshot)
{
    const scpi::TChannelSet crossed = instrument.Crossed();
    const int slot = facts.Modules[position].Slot;
    std::string out = "[";
    for (int i = 0; i < kChannelCount; ++i) {
        const int c = static_cast<int>(position) * kChannelCount + i;
        const std::string& mezzanine = facts.Mezzanines[static_cast<std::size_t>(c / 2)];
        if (!IsFittedName(mezzanine)) continue;
        const bool hasCycle = snapshot.Scan && position < snapshot.Scan->Modules.size();
        const TChannelResult* result =
            hasCycle ? &snapshot.Scan->Modules[position].Cycle.Channels[static_cast<std::size_t>(i)] : nullptr;
        const int number = facts.Several ? slot * 100 + i + 1 : i + 1;
        if (out.size() > 1) out += ',';
        out += ChannelJson(instrument, c, number, mezzanine, result, crossed[static_cast<std::size_t>(c)]);
    }
    return out + "]";
}

std::string ModulesJson(const scpi::TInstrument& instrument, const TWebSnapshot& snapshot)
{
    const scpi::TModuleFacts facts = KnownFacts(instrument, snapshot);
    std::string out;
    for (std::size_t p = 0; p < facts.Modules.size(); ++p) {
        const scpi::TServedModule& module = facts.Modules[p];
        out += (p ? ",{\"type\":" : "{\"type\":") + JsonString(module.Model.empty() ? "KSV27" : module.Model);
        out += ",\"serial\":" + JsonString(module.Serial) + ",\"firmware\":" + JsonString(module.Firmware);
        out += ",\"crate\":" + JsonString(facts.CrateSerial) + ",\"slot\":" + std::to_string(module.Slot);
        out += std::string(",\"open\":") + (module.Open ? "true" : "false");
        out += ",\"channels\":" + ChannelsJson(instrument, facts, p, snapshot) + "}";
    }
    return out;
}

std::string ClientsJson(const TWebSnapshot& snapshot)
{
    std::string out = "[";
    for (const TClientEntry& client : snapshot.Clients) {
        if (out.size() > 1) out += ',';
        out += "{\"transport\":" + JsonString(client.Transport) + ",\"address\":" + JsonString(client.Address) +
               ",\"since\":" + JsonString(IsoUtcTime(client.Since)) + "}";
    }
    return out + "]";
}

std::string ErrorJson(const TWebSnapshot& snapshot)
{
    if (!snapshot.Error) return "null";
    return "{\"code\":" + std::to_string(snapshot.Error->Code) + ",\"text\":" + JsonString(snapshot.Error->Text) +
           ",\"time\":" + JsonString(IsoUtcTime(snapshot.Error->Time)) + "}";
}

std::string CycleFactsJson(const TWebSnapshot& snapshot)
{
    if (!snapshot.Scan) return "null";
    const auto ms = [](std::chrono::system_clock::time_point time) {
        return EpochMsJson(std::chrono::duration<double, std::milli>(time.time_since_epoch()).count());
    };
    return "{\"index\":" + std::to_string(snapshot.Scan->Index) + ",\"time\":" +
           JsonString(IsoUtcTime(snapshot.Scan->StartTime)) + ",\"timeMs\":" + ms(snapshot.Scan->StartTime) +
           ",\"takenMs\":" + ms(snapshot.Taken) + "}";
}

} // namespace

scpi::TModuleFacts KnownFacts(const scpi::TInstrument& instrument, const TWebSnapshot& snapshot)
{
    scpi::TModuleFacts facts = instrument.Facts();
    if (facts.Modules.empty()) facts.Modules.emplace_back();
    if (!facts.Several && snapshot.Run && facts.Modules[0].Serial.empty()) {
        scpi::TServedModule& module = facts.Modules[0];
        module.Serial = facts.Serial = snapshot.Run->ModuleSerial;
        module.Firmware = facts.Firmware = snapshot.Run->Firmware;
        module.Slot = snapshot.Run->Slot;
        facts.CrateSerial = snapshot.Run->CrateSerial;
        std::copy(snapshot.Run->MezzanineNames.begin(), snapshot.Run->MezzanineNames.end(), facts.Mezzanines.begin());
    }
    return facts;
}

std::string StatusJson(const scpi::TInstrument& instrument, const TWebState& state, const TServiceFacts& service)
{
    const TWebSnapshot snapshot = state.Snapshot();
    const scpi::TInstrumentConfig config = instrument.Config();
    std::string out = "{\"program\":\"ksv27-vorn-cli\",\"version\":" + JsonString(KSV27_VERSION_TEXT);
    out += ",\"host\":" + JsonString(service.Host) + ",\"resources\":[";
    const std::vector<std::string> resources = ResourceStrings(service);
    for (std::size_t i = 0; i < resources.size(); ++i) out += (i ? "," : "") + JsonString(resources[i]);
    out += std::string("],\"measuring\":") + (instrument.Running() ? "true" : "false");
    out += ",\"rateHz\":" + Number(scpi::RateOfIndex(config.RateIndex)) + ",\"time\":" + Number(config.Time);
    out += ",\"count\":" + std::to_string(config.Count);
    out += ",\"lastError\":" + ErrorJson(snapshot) + ",\"clients\":" + ClientsJson(snapshot);
    out += ",\"cycle\":" + CycleFactsJson(snapshot);
    out += ",\"modules\":[" + ModulesJson(instrument, snapshot) + "]}";
    return out;
}

std::string ReadingsJson(const TWebState& state)
{
    const TWebSnapshot snapshot = state.Snapshot();
    if (!snapshot.Scan || snapshot.Scan->Modules.empty()) return "null";
    if (state.Several()) return cli::ScanJson(*snapshot.Scan);
    return cli::CycleJson(snapshot.Scan->Modules.front().Cycle);
}

namespace {

// The points in order, at most two (the lowest and the highest) per column.
std::vector<TTrendPoint> Thin(const std::vector<TTrendPoint>& points)
{
    if (points.size() <= 2 * kTrendColumns) return points;
    std::vector<TTrendPoint> out;
    const double from = points.front().TimeMs, span = points.back().TimeMs - from;
    std::size_t i = 0;
    for (std::size_t column = 0; column < kTrendColumns && i < points.size(); ++column) {
        const double end = from + span * static_cast<double>(column + 1) / kTrendColumns;
        std::size_t low = i, high = i;
        for (; i < points.size() && (points[i].TimeMs <= end || column + 1 == kTrendColumns); ++i) {
            if (points[i].Value < points[low].Value) low = i;
            if (points[i].Value > points[high].Value) high = i;
        }
        out.push_back(points[std::min(low, high)]);
        if (low != high) out.push_back(points[std::max(low, high)]);
    }
    return out;
}

} // namespace

std::string TrendJson(const TWebState& state)
{
    std::string out = "{\"channels\":[";
    bool first = true;
    for (const TChannelTrend& channel : state.Trend()) {
        const std::vector<TTrendPoint> points = Thin(channel.Points);
        std::string times, values;
        for (const TTrendPoint& point : points) {
            times += (times.empty() ? "" : ",") + EpochMsJson(point.TimeMs);
            values += (values.empty() ? "" : ",") + Number(point.Value);
        }
        out += (first ? "" : ",") + std::string("{\"channel\":") + std::to_string(channel.Channel) + ",\"t\":[" +
               times + "],\"v\":[" + values + "]}";
        first = false;
    }
    return out + "]}";
}

} // namespace ksv::web
