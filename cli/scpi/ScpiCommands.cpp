#include "ScpiCommands.h"

#include <cmath>
#include <limits>

#include "CycleLimits.h"
#include "MezzanineKind.h"
#include "ScpiNumber.h"
#include "Version.h"

namespace ksv::scpi {

namespace {

using TExec = TScpiSession::TExec;
constexpr std::uint64_t kMaxCount = 1000000000;
constexpr double kDefaultTime = 1.0;

TScpiError CountParams(const TCommand& c, std::size_t min, std::size_t max)
{
    if (c.Params.size() < min) return Fail(-109);
    if (c.Params.size() > max) return Fail(-108);
    return {};
}

TScpiError ToChannels(const TParam& p, TChannelSet& set)
{
    if (p.Kind != TParamKind::Channels) return Fail(-104, "channel list expected");
    for (const int channel : p.Channels) {
        if (channel < 1 || channel > kChannels) return Fail(-222, "channel " + std::to_string(channel) + " not in 1..16");
        set.set(static_cast<std::size_t>(channel - 1));
    }
    return {};
}

// The channel list at `index` when it is there, else `fallback`.
TScpiError OptionalChannels(const TCommand& c, std::size_t index, TChannelSet fallback, TChannelSet& set)
{
    if (c.Params.size() <= index) {
        set = fallback;
        return {};
    }
    return ToChannels(c.Params[index], set);
}

TScpiError ToBool(const TParam& p, bool& on)
{
    if (p.Kind == TParamKind::Character && (p.Text == "ON" || p.Text == "OFF")) {
        on = p.Text == "ON";
        return {};
    }
    if (p.Kind == TParamKind::Number && p.Suffix.empty() && (p.Number == 0.0 || p.Number == 1.0)) {
        on = p.Number == 1.0;
        return {};
    }
    if (p.Kind == TParamKind::Character || p.Kind == TParamKind::Number) return Fail(-224, "ON, OFF, 1 or 0");
    return Fail(-104, "ON, OFF, 1 or 0");
}

// A plain number: no suffix allowed.
TScpiError ToPlainNumber(const TParam& p, double& value)
{
    if (p.Kind != TParamKind::Number) return Fail(-104, "number expected");
    if (!p.Suffix.empty()) return Fail(-138);
    value = p.Number;
    return {};
}

// A number for one of a channel's units (V, A, OHM with their prefixes) or none.
TScpiError ToLevel(const TParam& p, double& value)
{
    if (p.Kind != TParamKind::Number) return Fail(-104, "number expected");
    for (const char* unit : {"V", "A", "OHM"})
        if (!ScaleBySuffix(p, unit, value)) return {};
    return Fail(-131);
}

// MIN, MAX or DEF in place of a number; `mnemonic` empty for a number.
bool IsMnemonic(const TParam& p, std::string& mnemonic)
{
    if (p.Kind != TParamKind::Character) return false;
    for (const char* m : {"MIN", "MINIMUM", "MAX", "MAXIMUM", "DEF", "DEFAULT"})
        if (p.Text == m) {
            mnemonic = p.Text.substr(0, 3);
            return true;
        }
    return false;
}

std::string ChannelListText(TChannelSet set)
{
    std::string text = "(@";
    for (std::size_t c = 0; c < kChannels; ++c) {
        if (!set[c]) continue;
        if (text.size() > 2) text += ',';
        text += std::to_string(c + 1);
    }
    return text + ")";
}

// One answer per channel of `set`, ascending, comma-separated.
template <class F>
std::string PerChannel(TChannelSet set, F answer)
{
    std::string text;
    for (int c = 0; c < kChannels; ++c) {
        if (!set[static_cast<std::size_t>(c)]) continue;
        if (!text.empty()) text += ',';
        text += answer(c);
    }
    return text;
}

std::string Quoted(const std::string& text)
{
    std::string out = "\"";
    for (const char c : AsciiOnly(text)) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

std::string IdnField(std::string text, const char* none)
{
    text = AsciiOnly(text);
    for (char& c : text)
        if (c == ',' || c == ';') c = ' ';
    return text.empty() ? none : text;
}

const char* FunctionName(TMezzanineKind kind)
{
    switch (kind) {
    case TMezzanineKind::Voltage: return "VOLT";
    case TMezzanineKind::Temperature: return "TEMP";
    case TMezzanineKind::Current: return "CURR";
    case TMezzanineKind::Resistance: return "RES";
    case TMezzanineKind::None:
    case TMezzanineKind::Unknown: break;
    }
    return "NONE";
}

TMezzanineKind KindOfChannel(const TModuleFacts& facts, int channel)
{
    return MezzanineKindOf(facts.Mezzanines[static_cast<std::size_t>(channel / 2)]);
}

const char* UnitOfChannel(const TModuleFacts& facts, int channel)
{
    return SiUnitText(UnitOf(KindOfChannel(facts, channel)));
}

} // namespace

// ---- common commands -------------------------------------------------------

TScpiError TScpiSession::Idn(TExec& e)
{
    const TModuleFacts facts = instrument_.Facts();
    e.Answer = std::string("KSV27_Vorn ksv27-vorn-cli ") + KSV27_VERSION_TEXT + "," + IdnField(facts.Model, "KSV27") +
               "," + IdnField(facts.Serial, "0") + "," + IdnField(facts.Firmware, "0");
    return CountParams(e.Command, 0, 0);
}

TScpiError TScpiSession::Rst(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    instrument_.Reset();
    format_ = {};
    return {};
}

TScpiError TScpiSession::Cls(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    errors_.Clear();
    esr_ = 0;
    return {};
}

TScpiError TScpiSession::Opc(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    if (instrument_.Busy()) opcPending_ = true;
    else esr_ |= 0x01;
    return {};
}

TScpiError TScpiSession::OpcQuery(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    e.Wait = instrument_.Busy();
    e.Answer = "1";
    return {};
}

TScpiError TScpiSession::Wai(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    e.Wait = instrument_.Busy();
    return {};
}

TScpiError TScpiSession::EsrQuery(TExec& e)
{
    e.Answer = std::to_string(esr_);
    esr_ = 0;
    return CountParams(e.Command, 0, 0);
}

namespace {
TScpiError ToMask(const TCommand& c, std::uint8_t& mask)
{
    if (TScpiError error = CountParams(c, 1, 1)) return error;
    double value = 0.0;
    if (TScpiError error = ToPlainNumber(c.Params[0], value)) return error;
    const double rounded = std::round(value);
    if (rounded < 0 || rounded > 255) return Fail(-222, "0..255");
    mask = static_cast<std::uint8_t>(rounded);
    return {};
}
} // namespace

TScpiError TScpiSession::Ese(TExec& e) { return ToMask(e.Command, ese_); }
TScpiError TScpiSession::Sre(TExec& e) { return ToMask(e.Command, sre_); }

TScpiError TScpiSession::EseQuery(TExec& e)
{
    e.Answer = std::to_string(ese_);
    return CountParams(e.Command, 0, 0);
}

TScpiError TScpiSession::SreQuery(TExec& e)
{
    e.Answer = std::to_string(sre_);
    return CountParams(e.Command, 0, 0);
}

TScpiError TScpiSession::StbQuery(TExec& e)
{
    std::uint8_t stb = 0;
    if (errors_.Count() > 0) stb |= 0x04;
    if (esr_ & ese_) stb |= 0x20;
    if (stb & sre_ & 0xBF) stb |= 0x40;
    e.Answer = std::to_string(stb);
    return CountParams(e.Command, 0, 0);
}

TScpiError TScpiSession::TstQuery(TExec& e)
{
    e.Answer = instrument_.Facts().Open ? "0" : "1";
    return CountParams(e.Command, 0, 0);
}

// ---- SYSTem ---------------------------------------------------------------

TScpiError TScpiSession::ErrorNext(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    e.Answer = ErrorAnswer(errors_.Pop());
    return {};
}

TScpiError TScpiSession::ErrorCount(TExec& e)
{
    e.Answer = std::to_string(errors_.Count());
    return CountParams(e.Command, 0, 0);
}

TScpiError TScpiSession::Version(TExec& e)
{
    e.Answer = "1999.0";
    return CountParams(e.Command, 0, 0);
}

TScpiError TScpiSession::MezzanineQuery(TExec& e)
{
    TChannelSet set;
    if (TScpiError error = CountParams(e.Command, 0, 1)) return error;
    if (TScpiError error = OptionalChannels(e.Command, 0, TChannelSet().set(), set)) return error;
    const TModuleFacts facts = instrument_.Facts();
    if (!facts.Open) return Fail(-241, "no KSV27 module open");
    e.Answer = PerChannel(set, [&](int c) { return Quoted(facts.Mezzanines[static_cast<std::size_t>(c / 2)]); });
    return {};
}

// ---- configuration --------------------------------------------------------

TScpiError TScpiSession::Scan(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 1, 1)) return error;
    TChannelSet set;
    if (TScpiError error = ToChannels(e.Command.Params[0], set)) return error;
    return instrument_.SetScan(set);
}

TScpiError TScpiSession::ScanQuery(TExec& e)
{
    e.Answer = ChannelListText(instrument_.MeasuredChannels());
    return CountParams(e.Command, 0, 0);
}

TScpiError TScpiSession::Rate(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 1, 1)) return error;
    const TParam& p = e.Command.Params[0];
    std::string mnemonic;
    int index = -1;
    if (IsMnemonic(p, mnemonic)) {
        index = mnemonic == "MAX" ? 7 : 0;
    } else {
        if (p.Kind != TParamKind::Number) return Fail(-104, "rate in Hz expected");
        double hz = 0.0;
        if (TScpiError error = ScaleBySuffix(p, "HZ", hz)) return error;
        index = IndexOfRate(hz);
        if (index < 0) return Fail(-222, "rate one of 5, 10, 20, 50, 100, 200, 500, 1000 Hz");
    }
    return instrument_.SetRate(index);
}

TScpiError TScpiSession::RateQuery(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 1)) return error;
    int index = instrument_.Config().RateIndex;
    std::string mnemonic;
    if (!e.Command.Params.empty()) {
        if (!IsMnemonic(e.Command.Params[0], mnemonic) || mnemonic == "DEF") return Fail(-224, "MIN or MAX");
        index = mnemonic == "MAX" ? 7 : 0;
    }
    e.Answer = Nr3(RateOfIndex(index));
    return {};
}

TScpiError TScpiSession::Aperture(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 1, 1)) return error;
    const TParam& p = e.Command.Params[0];
    const TTimeRange range = AllowedTimes(instrument_.Config().RateIndex);
    std::string mnemonic;
    double seconds = kDefaultTime;
    if (IsMnemonic(p, mnemonic)) {
        if (mnemonic != "DEF") seconds = mnemonic == "MAX" ? range.Max : range.Min;
    } else {
        if (p.Kind != TParamKind::Number) return Fail(-104, "time in s expected");
        if (TScpiError error = ScaleBySuffix(p, "S", seconds)) return error;
    }
    if (!TimeAllowed(instrument_.Config().RateIndex, seconds))
        return Fail(-222, "acquisition time " + Nr3(range.Min) + " to " + Nr3(range.Max) + " s at this rate");
    return instrument_.SetTime(seconds);
}

TScpiError TScpiSession::ApertureQuery(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 1)) return error;
    double seconds = instrument_.Config().Time;
    std::string mnemonic;
    if (!e.Command.Params.empty()) {
        if (!IsMnemonic(e.Command.Params[0], mnemonic) || mnemonic == "DEF") return Fail(-224, "MIN or MAX");
        const TTimeRange range = AllowedTimes(instrument_.Config().RateIndex);
        seconds = mnemonic == "MAX" ? range.Max : range.Min;
    }
    e.Answer = Nr3(seconds);
    return {};
}

TScpiError TScpiSession::FunctionQuery(TExec& e)
{
    TChannelSet set;
    if (TScpiError error = CountParams(e.Command, 0, 1)) return error;
    if (TScpiError error = OptionalChannels(e.Command, 0, TChannelSet().set(), set)) return error;
    const TModuleFacts facts = instrument_.Facts();
    if (!facts.Open) return Fail(-241, "no KSV27 module open");
    e.Answer = PerChannel(set, [&](int c) { return Quoted(FunctionName(KindOfChannel(facts, c))); });
    return {};
}

TScpiError TScpiSession::UnitQuery(TExec& e)
{
    TChannelSet set;
    if (TScpiError error = CountParams(e.Command, 0, 1)) return error;
    if (TScpiError error = OptionalChannels(e.Command, 0, TChannelSet().set(), set)) return error;
    const TModuleFacts facts = instrument_.Facts();
    if (!facts.Open) return Fail(-241, "no KSV27 module open");
    e.Answer = PerChannel(set, [&](int c) {
        const std::string unit = UnitOfChannel(facts, c);
        return unit.empty() ? std::string("NONE") : unit;
    });
    return {};
}

TScpiError TScpiSession::Count(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 1, 1)) return error;
    const TParam& p = e.Command.Params[0];
    std::string mnemonic;
    if (p.Kind == TParamKind::Character && (p.Text == "INF" || p.Text == "INFINITY"))
        return instrument_.SetCount(kInfiniteCount);
    if (IsMnemonic(p, mnemonic)) return instrument_.SetCount(mnemonic == "MAX" ? kMaxCount : 1);
    double value = 0.0;
    if (TScpiError error = ToPlainNumber(p, value)) return error;
    if (p.Number >= kInfinity) return instrument_.SetCount(kInfiniteCount);
    const double rounded = std::round(value);
    if (!(rounded >= 1.0 && rounded <= static_cast<double>(kMaxCount))) return Fail(-222, "count 1 to 1000000000 or INF");
    return instrument_.SetCount(static_cast<std::uint64_t>(rounded));
}

TScpiError TScpiSession::CountQuery(TExec& e)
{
    const std::uint64_t count = instrument_.Config().Count;
    e.Answer = count == kInfiniteCount ? Nr3(kInfinity) : std::to_string(count);
    return CountParams(e.Command, 0, 0);
}

// ---- measurement ----------------------------------------------------------

TScpiError TScpiSession::Initiate(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    return StartMeasurement();
}

TScpiError TScpiSession::StartMeasurement()
{
    acquisitionFailed_ = false;
    return instrument_.Initiate(id_);
}

TScpiError TScpiSession::Abort(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    instrument_.Abort();
    return {};
}

TScpiError TScpiSession::FetchAnswer(TExec& e)
{
    if (instrument_.Busy()) {
        e.Wait = true;
        return {};
    }
    const std::vector<TReading> readings = instrument_.Readings(std::numeric_limits<std::size_t>::max(), false);
    // After a failure of the measurement its error says enough.
    if (readings.empty()) return acquisitionFailed_ ? TScpiError{} : Fail(-420, "no readings to answer");
    e.Answer = FormatReadings(readings);
    return {};
}

TScpiError TScpiSession::Fetch(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    if (instrument_.Config().Count == kInfiniteCount) return Fail(-221, "infinite trigger count: use DATA:REMove?");
    return FetchAnswer(e);
}

TScpiError TScpiSession::Read(TExec& e)
{
    if (!e.Resumed) {
        if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
        if (instrument_.Config().Count == kInfiniteCount) return Fail(-221, "infinite trigger count: use DATA:REMove?");
        if (TScpiError error = StartMeasurement()) return error;
    }
    return FetchAnswer(e);
}

TScpiError TScpiSession::Measure(TExec& e)
{
    if (!e.Resumed) {
        if (TScpiError error = CountParams(e.Command, 0, 1)) return error;
        if (instrument_.Config().Count == kInfiniteCount) return Fail(-221, "infinite trigger count: use DATA:REMove?");
        if (!e.Command.Params.empty()) {
            TChannelSet set;
            if (TScpiError error = ToChannels(e.Command.Params[0], set)) return error;
            if (TScpiError error = instrument_.SetScan(set)) return error;
        }
        if (TScpiError error = StartMeasurement()) return error;
    }
    return FetchAnswer(e);
}

TScpiError TScpiSession::Points(TExec& e)
{
    e.Answer = std::to_string(instrument_.Points());
    return CountParams(e.Command, 0, 0);
}

TScpiError TScpiSession::Remove(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 1, 1)) return error;
    const std::size_t points = instrument_.Points();
    std::string mnemonic;
    double count = 0.0;
    if (IsMnemonic(e.Command.Params[0], mnemonic)) count = mnemonic == "MAX" ? static_cast<double>(points) : 1.0;
    else if (TScpiError error = ToPlainNumber(e.Command.Params[0], count)) return error;
    count = std::round(count);
    if (count < 1.0) return Fail(-222, "at least 1 reading");
    if (points == 0) return Fail(-420, "no readings to answer");
    if (count > static_cast<double>(points)) return Fail(-222, "only " + std::to_string(points) + " readings");
    e.Answer = FormatReadings(instrument_.Readings(static_cast<std::size_t>(count), true));
    return {};
}

std::string TScpiSession::FormatReadings(const std::vector<TReading>& readings) const
{
    const TModuleFacts facts = instrument_.Facts();
    std::string text;
    text.reserve(readings.size() * 16);
    for (const TReading& r : readings) {
        if (!text.empty()) text += ',';
        text += Nr3(r.Value);
        if (format_.Unit && facts.Open) {
            const char* unit = UnitOfChannel(facts, r.Channel - 1);
            if (*unit) text += std::string(" ") + unit;
        }
        if (format_.Time) text += "," + Nr3(r.Time);
        if (format_.Channel) text += "," + std::to_string(r.Channel);
    }
    return text;
}

// ---- FORMat ---------------------------------------------------------------

TScpiError TScpiSession::SetFormat(TExec& e, bool TReadingFormat::*flag)
{
    if (e.Command.Query) {
        e.Answer = format_.*flag ? "1" : "0";
        return CountParams(e.Command, 0, 0);
    }
    if (TScpiError error = CountParams(e.Command, 1, 1)) return error;
    return ToBool(e.Command.Params[0], format_.*flag);
}

TScpiError TScpiSession::FormatTime(TExec& e) { return SetFormat(e, &TReadingFormat::Time); }
TScpiError TScpiSession::FormatChannel(TExec& e) { return SetFormat(e, &TReadingFormat::Channel); }
TScpiError TScpiSession::FormatUnit(TExec& e) { return SetFormat(e, &TReadingFormat::Unit); }

// ---- CALCulate ------------------------------------------------------------

TScpiError TScpiSession::Statistic(TExec& e, double (*pick)(const TChannelSummary&))
{
    TChannelSet set;
    if (TScpiError error = CountParams(e.Command, 0, 1)) return error;
    if (TScpiError error = OptionalChannels(e.Command, 0, instrument_.MeasuredChannels(), set)) return error;
    e.Answer = PerChannel(set, [&](int c) {
        const TChannelSummary s = instrument_.Summary(c);
        return s.Count == 0 && pick != nullptr ? Nr3(std::numeric_limits<double>::quiet_NaN())
               : pick                          ? Nr3(pick(s))
                                               : std::to_string(s.Count);
    });
    return {};
}

TScpiError TScpiSession::StatMin(TExec& e)
{
    return Statistic(e, [](const TChannelSummary& s) { return s.Min; });
}
TScpiError TScpiSession::StatMax(TExec& e)
{
    return Statistic(e, [](const TChannelSummary& s) { return s.Max; });
}
TScpiError TScpiSession::StatAverage(TExec& e)
{
    return Statistic(e, [](const TChannelSummary& s) { return s.Mean; });
}
TScpiError TScpiSession::StatSdev(TExec& e)
{
    return Statistic(e, [](const TChannelSummary& s) { return s.StdDev; });
}
TScpiError TScpiSession::StatPtp(TExec& e)
{
    return Statistic(e, [](const TChannelSummary& s) { return s.Max - s.Min; });
}
TScpiError TScpiSession::StatCount(TExec& e) { return Statistic(e, nullptr); }

TScpiError TScpiSession::StatClear(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    instrument_.ClearStatistics();
    return {};
}

TScpiError TScpiSession::SetLimit(TExec& e, bool upper)
{
    if (TScpiError error = CountParams(e.Command, 2, 2)) return error;
    double value = 0.0;
    TChannelSet set;
    if (TScpiError error = ToLevel(e.Command.Params[0], value)) return error;
    if (TScpiError error = ToChannels(e.Command.Params[1], set)) return error;
    instrument_.SetLimit(upper, value, set);
    return {};
}

TScpiError TScpiSession::LimitQuery(TExec& e, bool upper)
{
    TChannelSet set;
    if (TScpiError error = CountParams(e.Command, 1, 1)) return error;
    if (TScpiError error = ToChannels(e.Command.Params[0], set)) return error;
    e.Answer = PerChannel(set, [&](int c) { return Nr3(instrument_.Limit(upper, c).Value); });
    return {};
}

TScpiError TScpiSession::SetLimitState(TExec& e, bool upper)
{
    if (TScpiError error = CountParams(e.Command, 2, 2)) return error;
    bool on = false;
    TChannelSet set;
    if (TScpiError error = ToBool(e.Command.Params[0], on)) return error;
    if (TScpiError error = ToChannels(e.Command.Params[1], set)) return error;
    instrument_.SetLimitState(upper, on, set);
    return {};
}

TScpiError TScpiSession::LimitStateQuery(TExec& e, bool upper)
{
    TChannelSet set;
    if (TScpiError error = CountParams(e.Command, 1, 1)) return error;
    if (TScpiError error = ToChannels(e.Command.Params[0], set)) return error;
    e.Answer = PerChannel(set, [&](int c) { return std::string(instrument_.Limit(upper, c).On ? "1" : "0"); });
    return {};
}

TScpiError TScpiSession::UpperLimit(TExec& e) { return SetLimit(e, true); }
TScpiError TScpiSession::LowerLimit(TExec& e) { return SetLimit(e, false); }
TScpiError TScpiSession::UpperLimitQuery(TExec& e) { return LimitQuery(e, true); }
TScpiError TScpiSession::LowerLimitQuery(TExec& e) { return LimitQuery(e, false); }
TScpiError TScpiSession::UpperState(TExec& e) { return SetLimitState(e, true); }
TScpiError TScpiSession::LowerState(TExec& e) { return SetLimitState(e, false); }
TScpiError TScpiSession::UpperStateQuery(TExec& e) { return LimitStateQuery(e, true); }
TScpiError TScpiSession::LowerStateQuery(TExec& e) { return LimitStateQuery(e, false); }

TScpiError TScpiSession::LimitFail(TExec& e)
{
    TChannelSet set;
    if (TScpiError error = CountParams(e.Command, 0, 1)) return error;
    if (TScpiError error = OptionalChannels(e.Command, 0, TChannelSet().set(), set)) return error;
    e.Answer = ChannelListText(instrument_.Crossed() & set);
    return {};
}

// ---- the table --------------------------------------------------------------

const std::vector<TCommandEntry>& CommandTable()
{
    using S = TScpiSession;
    static const std::vector<TCommandEntry> table = {
        {"*IDN?", &S::Idn, "program and version, module type, module serial, firmware"},
        {"*RST", &S::Rst, "defaults: 5 Hz, 1 s, every channel, count 1, formats off; memory, statistics and limits cleared; aborts"},
        {"*CLS", &S::Cls, "clears this connection's error queue and event register"},
        {"*OPC", &S::Opc, "sets bit 0 of *ESR? once the measurement is done"},
        {"*OPC?", &S::OpcQuery, "1 once the measurement is done (waits)"},
        {"*WAI", &S::Wai, "holds this connection's later commands until the measurement is done"},
        {"*ESR?", &S::EsrQuery, "event status register (read and cleared)"},
        {"*ESE", &S::Ese, "<0..255> event status enable mask"},
        {"*ESE?", &S::EseQuery, "event status enable mask"},
        {"*STB?", &S::StbQuery, "status byte: 4 error queue, 32 event summary, 64 master summary"},
        {"*SRE", &S::Sre, "<0..255> service request enable mask"},
        {"*SRE?", &S::SreQuery, "service request enable mask"},
        {"*TST?", &S::TstQuery, "0 when the module is open, 1 when not"},
        {"SYSTem:ERRor[:NEXT]?", &S::ErrorNext, "oldest error of this connection: <code>,\"<text>\""},
        {"SYSTem:ERRor:COUNt?", &S::ErrorCount, "errors in this connection's queue"},
        {"SYSTem:VERSion?", &S::Version, "SCPI version, 1999.0"},
        {"SYSTem:MEZZanine? [(@list)]", &S::MezzanineQuery, "mezzanine name per channel, e.g. \"U10\""},
        {"ROUTe:SCAN (@list)", &S::Scan, "channels 1..16 to measure; a channel's mezzanine slot takes part"},
        {"ROUTe:SCAN?", &S::ScanQuery, "the channels measured, (@1,2,...)"},
        {"[SENSe:]RATE <Hz>|MIN|MAX|DEF", &S::Rate, "conversion rate: 5, 10, 20, 50, 100, 200, 500 or 1000 Hz"},
        {"[SENSe:]RATE? [MIN|MAX]", &S::RateQuery, "conversion rate in Hz"},
        {"[SENSe:]APERture <s>|MIN|MAX|DEF", &S::Aperture, "acquisition time of a cycle in s (default 1)"},
        {"[SENSe:]APERture? [MIN|MAX]", &S::ApertureQuery, "acquisition time, or its bounds at this rate"},
        {"[SENSe:]FUNCtion? [(@list)]", &S::FunctionQuery, "\"VOLT\", \"CURR\", \"RES\", \"TEMP\" or \"NONE\" per channel"},
        {"[SENSe:]UNIT? [(@list)]", &S::UnitQuery, "V, A, OHM or NONE per channel"},
        {"TRIGger:COUNt <n>|INFinity|MIN|MAX|DEF", &S::Count, "cycles per INIT, 1..1000000000 or INF"},
        {"TRIGger:COUNt?", &S::CountQuery, "cycles per INIT (+9.90000000E+37: INF)"},
        {"INITiate[:IMMediate]", &S::Initiate, "starts the cycles; the reading memory and statistics start anew"},
        {"ABORt", &S::Abort, "ends the measurement; readings taken stay"},
        {"FETCh?", &S::Fetch, "waits for the cycles of the last INIT and answers their readings"},
        {"READ?", &S::Read, "INIT, then FETCh?"},
        {"MEASure? [(@list)]", &S::Measure, "ROUTe:SCAN (@list) when given, then READ?"},
        {"DATA:POINts?", &S::Points, "readings in memory"},
        {"DATA:REMove? <n>", &S::Remove, "answers and erases the oldest n readings"},
        {"FORMat:READing:TIME ON|OFF", &S::FormatTime, "adds each reading's time from the first cycle, s"},
        {"FORMat:READing:TIME?", &S::FormatTime, "1 or 0"},
        {"FORMat:READing:CHANnel ON|OFF", &S::FormatChannel, "adds each reading's channel number"},
        {"FORMat:READing:CHANnel?", &S::FormatChannel, "1 or 0"},
        {"FORMat:READing:UNIT ON|OFF", &S::FormatUnit, "adds each reading's unit after a space"},
        {"FORMat:READing:UNIT?", &S::FormatUnit, "1 or 0"},
        {"CALCulate:AVERage:MINimum? [(@list)]", &S::StatMin, "least value since INIT per channel"},
        {"CALCulate:AVERage:MAXimum? [(@list)]", &S::StatMax, "greatest value since INIT"},
        {"CALCulate:AVERage:AVERage? [(@list)]", &S::StatAverage, "mean since INIT"},
        {"CALCulate:AVERage:SDEViation? [(@list)]", &S::StatSdev, "standard deviation since INIT"},
        {"CALCulate:AVERage:PTPeak? [(@list)]", &S::StatPtp, "maximum - minimum since INIT"},
        {"CALCulate:AVERage:COUNt? [(@list)]", &S::StatCount, "values since INIT"},
        {"CALCulate:AVERage:CLEar", &S::StatClear, "clears the statistics"},
        {"CALCulate:LIMit:UPPer[:DATA] <v>,(@list)", &S::UpperLimit, "upper limit in the channels' SI unit"},
        {"CALCulate:LIMit:UPPer[:DATA]? (@list)", &S::UpperLimitQuery, "upper limit per channel"},
        {"CALCulate:LIMit:UPPer:STATe ON|OFF,(@list)", &S::UpperState, "checks the upper limit"},
        {"CALCulate:LIMit:UPPer:STATe? (@list)", &S::UpperStateQuery, "1 or 0 per channel"},
        {"CALCulate:LIMit:LOWer[:DATA] <v>,(@list)", &S::LowerLimit, "lower limit in the channels' SI unit"},
        {"CALCulate:LIMit:LOWer[:DATA]? (@list)", &S::LowerLimitQuery, "lower limit per channel"},
        {"CALCulate:LIMit:LOWer:STATe ON|OFF,(@list)", &S::LowerState, "checks the lower limit"},
        {"CALCulate:LIMit:LOWer:STATe? (@list)", &S::LowerStateQuery, "1 or 0 per channel"},
        {"CALCulate:LIMit:FAIL? [(@list)]", &S::LimitFail, "channels that crossed a limit since it was set"},
    };
    return table;
}

namespace {
// The header part of a table pattern: "ROUTe:SCAN (@list)" gives "ROUTe:SCAN".
std::string_view HeaderOf(std::string_view pattern)
{
    const std::size_t space = pattern.find(' ');
    return space == std::string_view::npos ? pattern : pattern.substr(0, space);
}
} // namespace

const TCommandEntry* FindCommand(TCommand& command)
{
    const auto find = [&]() -> const TCommandEntry* {
        for (const TCommandEntry& entry : CommandTable())
            if (MatchHeader(HeaderOf(entry.Pattern), command)) return &entry;
        return nullptr;
    };
    if (const TCommandEntry* entry = find()) return entry;
    if (command.Inherited == 0) return nullptr;
    // `TRIG:COUN 5;INIT`: a header that means nothing below the previous
    // command's path is taken from the root, as scripts commonly expect.
    command.Nodes.erase(command.Nodes.begin(), command.Nodes.begin() + static_cast<std::ptrdiff_t>(command.Inherited));
    command.Inherited = 0;
    return find();
}

std::string CommandHelp()
{
    std::string text;
    for (const TCommandEntry& entry : CommandTable()) {
        std::string line = "  " + std::string(entry.Pattern);
        line.resize(std::max<std::size_t>(line.size() + 1, 46), ' ');
        text += line + entry.Help + "\n";
    }
    return text;
}

} // namespace ksv::scpi
