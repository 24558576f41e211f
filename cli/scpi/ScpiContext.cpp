#include "ScpiContext.h"

#include "ScpiParams.h"

namespace ksv::scpi {

TSessionContext::TSessionContext(int id, TInstrument& instrument, TLog log)
    : id_(id), instrument_(instrument), log_(std::move(log))
{
    operation_.Start(instrument_.Operation());
    questionable_.Start(instrument_.Questionable());
}

// The failure of the measurement in memory, queued unless this connection
// was told of it already: one cause, one error, whichever way it learns.
void TSessionContext::TellFailure()
{
    std::uint64_t failed = 0;
    TScpiError failure = instrument_.Failure(&failed);
    if (!failure || toldFailure_ == failed) return;
    toldFailure_ = failed;
    PushError(std::move(failure));
}

void TSessionContext::PushError(TScpiError error)
{
    const int code = error.Code;
    if (code <= -100 && code > -200) esr_ |= kEsrCommandError;
    else if (code <= -200 && code > -300) esr_ |= kEsrExecutionError;
    else if (code <= -300 && code > -400) esr_ |= kEsrDeviceError;
    else if (code <= -400 && code > -500) esr_ |= kEsrQueryError;
    if (log_) log_(ErrorAnswer(error));
    errors_.Push(std::move(error));
}

bool TSessionContext::MeasurementDone() const { return !instrument_.Busy(); }

TScpiError TSessionContext::Channels(const TParam& p, TChannelSet& set)
{
    return ToChannels(p, instrument_.Facts(), set, &hundreds_);
}

TScpiError TSessionContext::OptionalChannelList(const TCommand& c, std::size_t index, TChannelSet fallback,
                                                TChannelSet& set)
{
    return OptionalChannels(c, index, instrument_.Facts(), fallback, set, &hundreds_);
}

std::string TSessionContext::ListText(TChannelSet set) const
{
    return ChannelListText(set, instrument_.Facts(), hundreds_);
}

} // namespace ksv::scpi
