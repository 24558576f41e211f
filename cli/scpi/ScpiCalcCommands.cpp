// The handlers of CALCulate: statistics since INITiate and limits per channel.
#include "ScpiCommands.h"

#include <limits>

#include "ScpiNumber.h"
#include "ScpiParams.h"

namespace ksv::scpi {

using TExec = TSessionContext::TExec;

// ---- CALCulate ------------------------------------------------------------

TScpiError TSessionContext::Statistic(TExec& e, double (*pick)(const TChannelSummary&))
{
    TChannelSet set;
    if (TScpiError error = CountParams(e.Command, 0, 1)) return error;
    if (TScpiError error = OptionalChannelList(e.Command, 0, instrument_.MeasuredChannels(), set)) return error;
    e.Answer = PerChannel(set, [&](int c) {
        const TChannelSummary s = instrument_.Summary(c);
        return s.Count == 0 && pick != nullptr ? Nr3(std::numeric_limits<double>::quiet_NaN())
               : pick                          ? Nr3(pick(s))
                                               : std::to_string(s.Count);
    });
    return {};
}

TScpiError TSessionContext::StatMin(TExec& e)
{
    return Statistic(e, [](const TChannelSummary& s) { return s.Min; });
}
TScpiError TSessionContext::StatMax(TExec& e)
{
    return Statistic(e, [](const TChannelSummary& s) { return s.Max; });
}
TScpiError TSessionContext::StatAverage(TExec& e)
{
    return Statistic(e, [](const TChannelSummary& s) { return s.Mean; });
}
TScpiError TSessionContext::StatSdev(TExec& e)
{
    return Statistic(e, [](const TChannelSummary& s) { return s.StdDev; });
}
TScpiError TSessionContext::StatPtp(TExec& e)
{
    return Statistic(e, [](const TChannelSummary& s) { return s.Max - s.Min; });
}
TScpiError TSessionContext::StatCount(TExec& e) { return Statistic(e, nullptr); }

TScpiError TSessionContext::StatClear(TExec& e)
{
    if (TScpiError error = CountParams(e.Command, 0, 0)) return error;
    instrument_.ClearStatistics();
    return {};
}

TScpiError TSessionContext::SetLimit(TExec& e, bool upper)
{
    if (TScpiError error = CountParams(e.Command, 2, 2)) return error;
    double value = 0.0;
    std::string unit, mnemonic;
    TChannelSet set;
    const TParam& level = e.Command.Params[0];
    if (IsMnemonic(level, mnemonic)) value = mnemonic == "DEF" ? 0.0 : mnemonic == "MAX" ? kInfinity
                                                                                         : -kInfinity;
    else if (TScpiError error = ToLevel(level, value, unit)) return error;
    if (TScpiError error = Channels(e.Command.Params[1], set)) return error;
    // A unit named must be every listed channel's own (known once the module is open).
    const TModuleFacts facts = instrument_.Facts();
    for (int c = 0; c < kChannels && !unit.empty() && facts.Open; ++c)
        if (set[static_cast<std::size_t>(c)] && unit != UnitOfChannel(facts, c))
            return Fail(err::kInvalidSuffix, unit + " is not the unit of channel " + std::to_string(c + 1));
    instrument_.SetLimit(upper, value, set);
    return {};
}

TScpiError TSessionContext::LimitQuery(TExec& e, bool upper)
{
    TChannelSet set;
    if (TScpiError error = CountParams(e.Command, 1, 1)) return error;
    if (TScpiError error = Channels(e.Command.Params[0], set)) return error;
    e.Answer = PerChannel(set, [&](int c) { return Nr3(instrument_.Limit(upper, c).Value); });
    return {};
}

TScpiError TSessionContext::SetLimitState(TExec& e, bool upper)
{
    if (TScpiError error = CountParams(e.Command, 2, 2)) return error;
    bool on = false;
    TChannelSet set;
    if (TScpiError error = ToBool(e.Command.Params[0], on)) return error;
    if (TScpiError error = Channels(e.Command.Params[1], set)) return error;
    instrument_.SetLimitState(upper, on, set);
    return {};
}

TScpiError TSessionContext::LimitStateQuery(TExec& e, bool upper)
{
    TChannelSet set;
    if (TScpiError error = CountParams(e.Command, 1, 1)) return error;
    if (TScpiError error = Channels(e.Command.Params[0], set)) return error;
    e.Answer = PerChannel(set, [&](int c) { return std::string(instrument_.Limit(upper, c).On ? "1" : "0"); });
    return {};
}

TScpiError TSessionContext::UpperLimit(TExec& e) { return SetLimit(e, true); }
TScpiError TSessionContext::LowerLimit(TExec& e) { return SetLimit(e, false); }
TScpiError TSessionContext::UpperLimitQuery(TExec& e) { return LimitQuery(e, true); }
TScpiError TSessionContext::LowerLimitQuery(TExec& e) { return LimitQuery(e, false); }
TScpiError TSessionContext::UpperState(TExec& e) { return SetLimitState(e, true); }
TScpiError TSessionContext::LowerState(TExec& e) { return SetLimitState(e, false); }
TScpiError TSessionContext::UpperStateQuery(TExec& e) { return LimitStateQuery(e, true); }
TScpiError TSessionContext::LowerStateQuery(TExec& e) { return LimitStateQuery(e, false); }

TScpiError TSessionContext::LimitFail(TExec& e)
{
    TChannelSet set;
    if (TScpiError error = CountParams(e.Command, 0, 1)) return error;
    if (TScpiError error = OptionalChannelList(e.Command, 0, TChannelSet().set(), set)) return error;
    e.Answer = ListText(instrument_.Crossed() & set);
    return {};
}

} // namespace ksv::scpi
