// The handlers of the configuration (ROUTe, SENSe, TRIGger), the
// measurement (INITiate, ABORt, FETCh?, READ?, MEASure?, DATA) and FORMat.
#include "ScpiCommands.h"

#include <cmath>
#include <limits>

#include "CycleLimits.h"
#include "ScpiNumber.h"
#include "ScpiParams.h"

namespace ksv::scpi {

using TExec = TSessionContext::TExec;
namespace {
constexpr std::uint64_t kMaxCount = 1000000000;
constexpr double kDefaultTime = 1.0;
} // namespace

// A change of the measurement's settings takes one parameter and waits for
// no measurement: while one runs it is -221, whatever the value.
TScpiError TSessionContext::ChangeAllowed(const TCommand& command) const
{
    if (TScpiError error = CountParams(command, 1, 1)) return error;
    return instrument_.Running() ? Fail(err::kSettingsConflict, "measurement running") : TScpiError{};
}

// ---- configuration --------------------------------------------------------

TScpiError TSessionContext::Scan(TExec& e)
{
    if (TScpiError error = ChangeAllowed(e.Command)) return error;
    TChannelSet set;
    if (TScpiError error = Channels(e.Command.Params[0], set)) return error;
    return instrument_.SetScan(set);
}

TScpiError TSessionContext::ScanQuery(TExec& e)
{
    e.Answer = ListText(instrument_.Config().Scan);
    return CountParams(e.Command, 0, 0);
}

TScpiError TSessionContext::Rate(TExec& e)
{
    if (TScpiError error = ChangeAllowed(e.Command)) return error;
    const TParam& p = e.Command.Params[0];
    std::string mnemonic;
    int index = -1;
    if (IsMnemonic(p, mnemonic)) {
        index = mnemonic == "MAX" ? 7 : 0;
    } else {
        if (p.Kind != TParamKind::Number) return Fail(err::kDataTypeError, "rate in Hz expected");
        double hz = 0.0;
        if (TScpiError error = ScaleBySuffix(p, "HZ", hz)) return error;
        index = IndexOfRate(hz);
        if (index < 0) return Fail(err::kDataOutOfRange, "rate one of 5, 10, 20, 50, 100, 200, 500, 1000 Hz");
    }
    return instrument_.SetRate(index);
}

TScpiError TSessionContext::RateQuery(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 1)) return error;
    int index = instrument_.Config().RateIndex;
    std::string mnemonic;
    if (!e.Command.Params.empty()) {
        if (!IsMnemonic(e.Command.Params[0], mnemonic) || mnemonic == "DEF") return Fail(err::kIllegalParameterValue, "MIN or MAX");
        index = mnemonic == "MAX" ? 7 : 0;
    }
    e.Answer = Nr3(RateOfIndex(index));
    return {};
}

TScpiError TSessionContext::Aperture(TExec& e)
{
    if (TScpiError error = ChangeAllowed(e.Command)) return error;
    const TParam& p = e.Command.Params[0];
    const TTimeRange range = AllowedTimes(instrument_.Config().RateIndex);
    std::string mnemonic;
    double seconds = kDefaultTime;
    if (IsMnemonic(p, mnemonic)) {
        if (mnemonic != "DEF") seconds = mnemonic == "MAX" ? range.Max : range.Min;
    } else {
        if (p.Kind != TParamKind::Number) return Fail(err::kDataTypeError, "time in s expected");
        if (TScpiError error = ScaleBySuffix(p, "S", seconds)) return error;
    }
    if (!TimeAllowed(instrument_.Config().RateIndex, seconds))
        return Fail(err::kDataOutOfRange, "acquisition time " + Nr3(range.Min) + " to " + Nr3(range.Max) + " s at this rate");
    return instrument_.SetTime(seconds);
}

TScpiError TSessionContext::ApertureQuery(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 1)) return error;
    double seconds = instrument_.Config().Time;
    std::string mnemonic;
    if (!e.Command.Params.empty()) {
        if (!IsMnemonic(e.Command.Params[0], mnemonic) || mnemonic == "DEF") return Fail(err::kIllegalParameterValue, "MIN or MAX");
        const TTimeRange range = AllowedTimes(instrument_.Config().RateIndex);
        seconds = mnemonic == "MAX" ? range.Max : range.Min;
    }
    e.Answer = Nr3(seconds);
    return {};
}

TScpiError TSessionContext::FunctionQuery(TExec& e)
{
    TChannelSet set;
    if (TScpiError error = CountParams(e.Command, 0, 1)) return error;
    if (TScpiError error = OptionalChannelList(e.Command, 0, TChannelSet().set(), set)) return error;
    const TModuleFacts facts = instrument_.Facts();
    if (!facts.Open) return Fail(err::kHardwareMissing, "no KSV27 module open");
    e.Answer = PerChannel(set, [&](int c) { return Quoted(FunctionName(KindOfChannel(facts, c))); });
    return {};
}

TScpiError TSessionContext::UnitQuery(TExec& e)
{
    TChannelSet set;
    if (TScpiError error = CountParams(e.Command, 0, 1)) return error;
    if (TScpiError error = OptionalChannelList(e.Command, 0, TChannelSet().set(), set)) return error;
    const TModuleFacts facts = instrument_.Facts();
    if (!facts.Open) return Fail(err::kHardwareMissing, "no KSV27 module open");
    e.Answer = PerChannel(set, [&](int c) {
        const std::string unit = UnitOfChannel(facts, c);
        return unit.empty() ? std::string("NONE") : unit;
    });
    return {};
}

TScpiError TSessionContext::Count(TExec& e)
{
    if (TScpiError error = ChangeAllowed(e.Command)) return error;
    const TParam& p = e.Command.Params[0];
    std::string mnemonic;
    if (p.Kind == TParamKind::Character && (p.Text == "INF" || p.Text == "INFINITY"))
        return instrument_.SetCount(kInfiniteCount);
    if (IsMnemonic(p, mnemonic)) return instrument_.SetCount(mnemonic == "MAX" ? kMaxCount : 1);
    double value = 0.0;
    if (TScpiError error = ToPlainNumber(p, value)) return error;
    if (p.Number >= kInfinity) return instrument_.SetCount(kInfiniteCount);
    const double rounded = std::round(value);
    if (!(rounded >= 1.0 && rounded <= static_cast<double>(kMaxCount))) return Fail(err::kDataOutOfRange, "count 1 to 1000000000 or INF");
    return instrument_.SetCount(static_cast<std::uint64_t>(rounded));
}

TScpiError TSessionContext::CountQuery(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 1)) return error;
    std::uint64_t count = instrument_.Config().Count;
    std::string mnemonic;
    if (!e.Command.Params.empty()) {
        if (!IsMnemonic(e.Command.Params[0], mnemonic) || mnemonic == "DEF") return Fail(err::kIllegalParameterValue, "MIN or MAX");
        count = mnemonic == "MAX" ? kMaxCount : 1;
    }
    e.Answer = count == kInfiniteCount ? Nr3(kInfinity) : std::to_string(count);
    return {};
}

// ---- measurement ----------------------------------------------------------

TScpiError TSessionContext::Initiate(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    return StartMeasurement();
}

TScpiError TSessionContext::StartMeasurement()
{
    return instrument_.Initiate(id_, &ownMeasurement_);
}

TScpiError TSessionContext::Abort(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    instrument_.Abort();
    return {};
}

TScpiError TSessionContext::FetchAnswer(TExec& e)
{
    if (instrument_.Busy()) {
        e.Wait = true;
        return {};
    }
    const std::vector<TReading> readings = instrument_.Readings(std::numeric_limits<std::size_t>::max(), false);
    const bool failed = static_cast<bool>(instrument_.Failure());
    if (failed) TellFailure();
    // After a failure of the measurement its error says enough.
    if (readings.empty()) return failed ? TScpiError{} : Fail(err::kQueryUnterminated, "no readings to answer");
    e.Answer = FormatReadings(readings);
    return {};
}

TScpiError TSessionContext::Fetch(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    if (instrument_.Config().Count == kInfiniteCount) return Fail(err::kSettingsConflict, "infinite trigger count: use DATA:REMove?");
    return FetchAnswer(e);
}

TScpiError TSessionContext::Read(TExec& e)
{
    if (!e.Resumed) {
        if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
        if (instrument_.Config().Count == kInfiniteCount) return Fail(err::kSettingsConflict, "infinite trigger count: use DATA:REMove?");
        if (TScpiError error = StartMeasurement()) return error;
    }
    return FetchAnswer(e);
}

TScpiError TSessionContext::Measure(TExec& e)
{
    if (!e.Resumed) {
        if (TScpiError error = CountParams(e.Command, 0, 1)) return error;
        if (instrument_.Config().Count == kInfiniteCount) return Fail(err::kSettingsConflict, "infinite trigger count: use DATA:REMove?");
        if (!e.Command.Params.empty()) {
            TChannelSet set;
            if (TScpiError error = Channels(e.Command.Params[0], set)) return error;
            if (TScpiError error = instrument_.SetScan(set)) return error;
        }
        if (TScpiError error = StartMeasurement()) return error;
    }
    return FetchAnswer(e);
}

TScpiError TSessionContext::Points(TExec& e)
{
    e.Answer = std::to_string(instrument_.Points());
    return CountParams(e.Command, 0, 0);
}

TScpiError TSessionContext::Remove(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 1, 1)) return error;
    const std::size_t points = instrument_.Points();
    std::string mnemonic;
    double count = 0.0;
    if (IsMnemonic(e.Command.Params[0], mnemonic)) count = mnemonic == "MAX" ? static_cast<double>(points) : 1.0;
    else if (TScpiError error = ToPlainNumber(e.Command.Params[0], count)) return error;
    count = std::round(count);
    if (count < 1.0) return Fail(err::kDataOutOfRange, "at least 1 reading");
    if (points == 0) return Fail(err::kQueryUnterminated, "no readings to answer");
    if (count > static_cast<double>(points)) return Fail(err::kDataOutOfRange, "only " + std::to_string(points) + " readings");
    e.Answer = FormatReadings(instrument_.Readings(static_cast<std::size_t>(count), true));
    if (!instrument_.Busy()) TellFailure();
    return {};
}

std::string TSessionContext::FormatReadings(const std::vector<TReading>& readings) const
{
    const TModuleFacts facts = instrument_.Facts();
    std::string text;
    text.reserve(readings.size() * 16);
    for (const TReading& r : readings) {
        if (!text.empty()) text += ',';
        text += Nr3(r.Value);
        if (format_.Unit && facts.Open) {
            const TChannelScale scale = instrument_.Scale(r.Channel - 1);
            const std::string unit =
                scale.Scale && !scale.Unit.empty() ? scale.Unit : std::string(UnitOfChannel(facts, r.Channel - 1));
            if (!unit.empty()) text += " " + unit;
        }
        if (format_.Time) text += "," + Nr3(r.Time);
        if (format_.Channel) text += "," + std::to_string(ChannelNumberOf(facts, r.Channel - 1, hundreds_));
    }
    return text;
}

// ---- FORMat ---------------------------------------------------------------

TScpiError TSessionContext::SetFormat(TExec& e, bool TReadingFormat::*flag)
{
    if (e.Command.Query) {
        e.Answer = format_.*flag ? "1" : "0";
        return CountParams(e.Command, 0, 0);
    }
    if (TScpiError error = CountParams(e.Command, 1, 1)) return error;
    return ToBool(e.Command.Params[0], format_.*flag);
}

TScpiError TSessionContext::FormatTime(TExec& e) { return SetFormat(e, &TReadingFormat::Time); }
TScpiError TSessionContext::FormatChannel(TExec& e) { return SetFormat(e, &TReadingFormat::Channel); }
TScpiError TSessionContext::FormatUnit(TExec& e) { return SetFormat(e, &TReadingFormat::Unit); }

} // namespace ksv::scpi
