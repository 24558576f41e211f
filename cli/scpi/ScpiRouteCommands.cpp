// The handlers of channel names and scaling: ROUTe:CHANnel:LABel and
// CALCulate:SCALe (gain, offset, unit, state), each with its query.
#include <cmath>

#include "ChannelTable.h"
#include "ScpiCommands.h"
#include "ScpiNumber.h"
#include "ScpiParams.h"

namespace ksv::scpi {

using TExec = TSessionContext::TExec;

namespace {

// Answers stay 7-bit ASCII: a label with other bytes is answered as an
// IEEE 488.2 definite-length block of its UTF-8 bytes, #<n><length><bytes>.
std::string LabelAnswer(const std::string& label)
{
    for (const char c : label)
        if (static_cast<unsigned char>(c) >= 0x80) {
            const std::string length = std::to_string(label.size());
            return "#" + std::to_string(length.size()) + length + label;
        }
    return Quoted(label);
}

} // namespace

// Setting: <value>,(@list); query: (@list). `take` checks and stores the value.
TScpiError TSessionContext::ChannelSetting(TExec& e, bool label, const std::function<std::string(int)>& answer,
                                           const std::function<TScpiError(const TParam&, TChannelScale&)>& take)
{
    TChannelSet set;
    if (e.Command.Query) {
        if (TScpiError error = CountParams(e.Command, 1, 1)) return error;
        if (TScpiError error = Channels(e.Command.Params[0], set)) return error;
        e.Answer = PerChannel(set, answer);
        return {};
    }
    if (TScpiError error = CountParams(e.Command, 2, 2)) return error;
    TChannelScale checked;
    if (TScpiError error = take(e.Command.Params[0], checked)) return error;
    if (TScpiError error = Channels(e.Command.Params[1], set)) return error;
    const TParam& value = e.Command.Params[0];
    return instrument_.ChangeScale(
        set, [&](TChannelScale& scale) { take(value, scale); }, label);
}

TScpiError TSessionContext::ChannelLabel(TExec& e)
{
    return ChannelSetting(
        e, true, [this](int c) { return LabelAnswer(instrument_.Scale(c).Label); },
        [](const TParam& p, TChannelScale& scale) -> TScpiError {
            if (p.Kind != TParamKind::String) return Fail(err::kDataTypeError, "label in quotes expected");
            if (!cli::ValidLabel(p.Text)) return Fail(err::kIllegalParameterValue, "label: UTF-8, at most 32 characters");
            scale.Label = p.Text;
            return {};
        });
}

TScpiError TSessionContext::ScaleNumber(TExec& e, double TChannelScale::*field)
{
    return ChannelSetting(
        e, false, [this, field](int c) { return Nr3(instrument_.Scale(c).*field); },
        [field](const TParam& p, TChannelScale& scale) -> TScpiError {
            double value = 0.0;
            if (TScpiError error = ToPlainNumber(p, value)) return error;
            if (!std::isfinite(value)) return Fail(err::kDataOutOfRange, "not a finite number");
            scale.*field = value;
            return {};
        });
}

TScpiError TSessionContext::ScaleGain(TExec& e) { return ScaleNumber(e, &TChannelScale::Gain); }
TScpiError TSessionContext::ScaleOffset(TExec& e) { return ScaleNumber(e, &TChannelScale::Offset); }

TScpiError TSessionContext::ScaleUnit(TExec& e)
{
    return ChannelSetting(
        e, false, [this](int c) { return Quoted(instrument_.Scale(c).Unit); },
        [](const TParam& p, TChannelScale& scale) -> TScpiError {
            if (p.Kind != TParamKind::String) return Fail(err::kDataTypeError, "unit in quotes expected");
            if (!p.Text.empty() && !cli::ValidUnit(p.Text)) return Fail(err::kIllegalParameterValue, "unit: at most 16 printable characters");
            scale.Unit = p.Text;
            return {};
        });
}

TScpiError TSessionContext::ScaleState(TExec& e)
{
    return ChannelSetting(
        e, false, [this](int c) { return std::string(instrument_.Scale(c).Scale ? "1" : "0"); },
        [](const TParam& p, TChannelScale& scale) -> TScpiError {
            bool on = false;
            if (TScpiError error = ToBool(p, on)) return error;
            scale.Scale = on;
            return {};
        });
}

} // namespace ksv::scpi
