#include "ScpiSession.h"

#include "ScpiParams.h"

#include "ScpiCommands.h"

namespace ksv::scpi {

TScpiSession::TScpiSession(int id, TInstrument& instrument, TSend send, TLog log)
    : id_(id), instrument_(instrument), send_(std::move(send)), log_(std::move(log))
{
    operation_.Start(instrument_.Operation());
    questionable_.Start(instrument_.Questionable());
}

void TScpiSession::Line(std::string_view line)
{
    if (waiting_ && waitIsQuery_) {
        // The client sends again instead of reading the answer: the query
        // under way is given up, as a device clear would give it up.
        DropLine();
        PushError(Fail(err::kQueryInterrupted));
    }
    for (TUnit& unit : ParseLine(line)) queue_.push_back({std::move(unit), false});
    queue_.push_back({{}, true});
    Run();
}

void TScpiSession::LineTooLong()
{
    PushError(Fail(err::kTooMuchData, "line longer than 64 KiB dropped"));
}

void TScpiSession::Resume()
{
    if (opcPending_ && !instrument_.Busy()) {
        opcPending_ = false;
        esr_ |= kEsrOperationComplete;
    }
    if (waiting_ && MeasurementDone()) Run();
    // The connection that started a measurement learns of its failure even
    // when no query of its own waited for it.
    std::uint64_t failed = 0;
    if (instrument_.Failure(&failed) && failed == ownMeasurement_ && !instrument_.Busy()) TellFailure();
}

// The failure of the measurement in memory, queued unless this connection
// was told of it already: one cause, one error, whichever way it learns.
void TScpiSession::TellFailure()
{
    std::uint64_t failed = 0;
    TScpiError failure = instrument_.Failure(&failed);
    if (!failure || toldFailure_ == failed) return;
    toldFailure_ = failed;
    PushError(std::move(failure));
}

void TScpiSession::PushError(TScpiError error)
{
    const int code = error.Code;
    if (code <= -100 && code > -200) esr_ |= kEsrCommandError;
    else if (code <= -200 && code > -300) esr_ |= kEsrExecutionError;
    else if (code <= -300 && code > -400) esr_ |= kEsrDeviceError;
    else if (code <= -400 && code > -500) esr_ |= kEsrQueryError;
    if (log_) log_(ErrorAnswer(error));
    errors_.Push(std::move(error));
}

void TScpiSession::AcquisitionError(TScpiError error) { PushError(std::move(error)); }

void TScpiSession::DeviceClear()
{
    queue_.clear();
    answers_.clear();
    waiting_ = false;
}

bool TScpiSession::MeasurementDone() const { return !instrument_.Busy(); }

void TScpiSession::DropLine()
{
    while (!queue_.empty() && !queue_.front().EndOfLine) queue_.pop_front();
    if (!queue_.empty()) queue_.pop_front();
    answers_.clear();
    waiting_ = false;
}

void TScpiSession::Run()
{
    if (running_) return; // a handler's notification came back in
    running_ = true;
    const bool resumed = waiting_;
    waiting_ = false;
    bool first = true;
    while (!queue_.empty()) {
        TQueued& next = queue_.front();
        if (next.EndOfLine) {
            if (!answers_.empty()) send_(answers_ + "\n");
            answers_.clear();
            queue_.pop_front();
            continue;
        }
        if (!Execute(next.Unit, resumed && first)) break;
        first = false;
        // A command error leaves the rest of its line unread.
        const bool commandError = next.Unit.Error.Code <= -100 && next.Unit.Error.Code > -200;
        queue_.pop_front();
        if (commandError) DropLine();
    }
    running_ = false;
}

bool TScpiSession::Execute(TUnit& unit, bool resumed)
{
    if (unit.Error) {
        PushError(unit.Error);
        return true;
    }
    const std::size_t inherited = unit.Command.Inherited;
    const TCommandEntry* entry = FindCommand(unit.Command);
    if (!entry) {
        unit.Error = Fail(KnownButForSuffix(unit.Command) ? -114 : -113);
        PushError(Fail(unit.Error.Code, AsciiOnly(unit.Command.Header)));
        return true;
    }
    if (unit.Command.Inherited != inherited) Reroot(unit.Command);
    if (TScpiError error = resumed ? TScpiError{} : LockAllows(*entry, unit.Command)) {
        PushError(std::move(error));
        return true;
    }
    TExec exec{unit.Command, {}, false, resumed};
    const TScpiError error = (this->*entry->Handler)(exec);
    if (exec.Wait) {
        waiting_ = true;
        waitIsQuery_ = unit.Command.Query;
        return false;
    }
    if (error) {
        if (error.Code <= -100 && error.Code > -200) unit.Error = error;
        PushError(error);
        return true;
    }
    if (unit.Command.Query) {
        if (!answers_.empty()) answers_ += ';';
        answers_ += exec.Answer;
    }
    return true;
}

// A header found from the root sets the path the rest of its line continues
// (`TRIG:COUN 2;FORM:READ:TIME ON;CHAN ON`): the later commands of the line
// were parsed against the path it had before, and take this one instead.
void TScpiSession::Reroot(const TCommand& command)
{
    std::vector<std::string> path(command.Nodes.begin(), command.Nodes.end() - 1);
    for (std::size_t i = 1; i < queue_.size() && !queue_[i].EndOfLine; ++i) {
        TCommand& next = queue_[i].Unit.Command;
        if (queue_[i].Unit.Error || next.Common) continue;
        if (next.Inherited == 0) break; // from the root: its own path from here on
        next.Nodes.erase(next.Nodes.begin(), next.Nodes.begin() + static_cast<std::ptrdiff_t>(next.Inherited));
        next.Nodes.insert(next.Nodes.begin(), path.begin(), path.end());
        next.Inherited = path.size();
        path.assign(next.Nodes.begin(), next.Nodes.end() - 1);
    }
}

TScpiError TScpiSession::Channels(const TParam& p, TChannelSet& set)
{
    return ToChannels(p, instrument_.Facts(), set, &hundreds_);
}

TScpiError TScpiSession::OptionalChannelList(const TCommand& c, std::size_t index, TChannelSet fallback,
                                             TChannelSet& set)
{
    return OptionalChannels(c, index, instrument_.Facts(), fallback, set, &hundreds_);
}

std::string TScpiSession::ListText(TChannelSet set) const
{
    return ChannelListText(set, instrument_.Facts(), hundreds_);
}

} // namespace ksv::scpi
