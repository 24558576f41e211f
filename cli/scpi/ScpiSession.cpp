#include "ScpiSession.h"

#include "ScpiParams.h"

#include "ScpiCommands.h"

namespace ksv::scpi {

TScpiSession::TScpiSession(int id, TInstrument& instrument, TSend send, TLog log)
    : context_(id, instrument, std::move(log)), send_(std::move(send))
{
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
    TSessionContext& c = context_;
    if (c.opcPending_ && !c.instrument_.Busy()) {
        c.opcPending_ = false;
        c.esr_ |= kEsrOperationComplete;
    }
    if (waiting_ && c.MeasurementDone()) Run();
    // The connection that started a measurement learns of its failure even
    // when no query of its own waited for it.
    std::uint64_t failed = 0;
    if (c.instrument_.Failure(&failed) && failed == c.ownMeasurement_ && !c.instrument_.Busy()) c.TellFailure();
}

void TScpiSession::DeviceClear()
{
    queue_.clear();
    answers_.clear();
    waiting_ = false;
}

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
        unit.Error = Fail(KnownButForSuffix(unit.Command) ? err::kHeaderSuffixOutOfRange : err::kUndefinedHeader);
        PushError(Fail(unit.Error.Code, AsciiOnly(unit.Command.Header)));
        return true;
    }
    if (unit.Command.Inherited != inherited) Reroot(unit.Command);
    if (TScpiError error = resumed ? TScpiError{} : context_.LockAllows(*entry, unit.Command)) {
        PushError(std::move(error));
        return true;
    }
    TSessionContext::TExec exec{unit.Command, {}, false, resumed};
    const TScpiError error = (context_.*entry->Handler)(exec);
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

} // namespace ksv::scpi
