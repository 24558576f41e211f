#include "ScpiSession.h"

#include "ScpiCommands.h"

namespace ksv::scpi {

TScpiSession::TScpiSession(int id, TInstrument& instrument, TSend send, TLog log)
    : id_(id), instrument_(instrument), send_(std::move(send)), log_(std::move(log))
{
}

void TScpiSession::Line(std::string_view line)
{
    if (waiting_ && waitIsQuery_) {
        // The client sends again instead of reading the answer: the query
        // under way is given up, as a device clear would give it up.
        DropLine();
        PushError(Fail(-410));
    }
    for (TUnit& unit : ParseLine(line)) queue_.push_back({std::move(unit), false});
    queue_.push_back({{}, true});
    Run();
}

void TScpiSession::LineTooLong()
{
    PushError(Fail(-223, "line longer than 64 KiB dropped"));
}

void TScpiSession::Resume()
{
    if (opcPending_ && !instrument_.Busy()) {
        opcPending_ = false;
        esr_ |= 0x01;
    }
    if (waiting_ && MeasurementDone()) Run();
}

void TScpiSession::PushError(TScpiError error)
{
    const int code = error.Code;
    if (code <= -100 && code > -200) esr_ |= 0x20;
    else if (code <= -200 && code > -300) esr_ |= 0x10;
    else if (code <= -300 && code > -400) esr_ |= 0x08;
    else if (code <= -400 && code > -500) esr_ |= 0x04;
    if (log_) log_(ErrorAnswer(error));
    errors_.Push(std::move(error));
}

void TScpiSession::AcquisitionError(TScpiError error)
{
    acquisitionFailed_ = true;
    PushError(std::move(error));
}

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
    const TCommandEntry* entry = FindCommand(unit.Command);
    if (!entry) {
        unit.Error = Fail(HasNumericSuffix(unit.Command) ? -114 : -113);
        PushError(Fail(unit.Error.Code, AsciiOnly(unit.Command.Header)));
        return true;
    }
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

} // namespace ksv::scpi
