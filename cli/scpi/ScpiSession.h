// One connection's side of the instrument: its lines, answers and waits,
// and the context its command handlers run on (ScpiContext.h: error queue,
// status registers, reading format). Lines go in, answers come out through
// the send function, one line per program line that asked something. Runs on
// the network thread only; the instrument it drives is shared by every
// connection.
//
// A query that waits for a measurement (FETCh?, READ?, MEASure?, *OPC?)
// holds only this session: further lines wait behind it, Resume() goes on
// once the instrument's state changed, and a new line that arrives while a
// query waits interrupts it (-410). *WAI holds later lines the same way
// without interrupting.
//
// A measurement cut short by a failure is told to every connection that
// reads it: the first FETCh?, READ?, MEASure?, DATA:REMove? or *OPC? of a
// connection that answers its readings or its end queues the failure, and
// the connection that started it is told when it ends even when it asks
// nothing; each connection learns it once.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "ScpiContext.h"

namespace ksv::scpi {

class TScpiSession {
public:
    using TSend = std::function<void(std::string)>; // one answer line, LF included
    using TLog = TSessionContext::TLog;

    TScpiSession(int id, TInstrument& instrument, TSend send, TLog log);

    void Line(std::string_view line);
    // The line was longer than the server takes: it was dropped.
    void LineTooLong();
    // The instrument's measurement state changed.
    void Resume();
    void PushError(TScpiError error) { context_.PushError(std::move(error)); }
    // An error the acquisition raised for this connection's measurement
    // (the reading memory overflowed).
    void AcquisitionError(TScpiError error) { PushError(std::move(error)); }
    // While *WAI holds, the server reads nothing more from the connection.
    bool Holding() const { return waiting_ && !waitIsQuery_; }
    // A command waits for the measurement.
    bool Waiting() const { return waiting_; }
    // Device clear: lines not yet run, a waiting query and answers under
    // way are dropped; the error queue, registers and measurement stay.
    void DeviceClear();
    // The status byte as *STB? answers it; `messageAvailable` sets bit 4
    // for a transport that holds unread answers.
    std::uint8_t StatusByte(bool messageAvailable = false) const { return context_.StatusByte(messageAvailable); }

private:
    struct TQueued {
        TUnit Unit;
        bool EndOfLine = false;
    };

    void Run();
    bool Execute(TUnit& unit, bool resumed); // false: it waits
    void DropLine();
    void Reroot(const TCommand& command);

    TSessionContext context_;
    TSend send_;
    std::deque<TQueued> queue_;
    std::string answers_; // of the line under way
    bool waiting_ = false;
    bool waitIsQuery_ = false;
    bool running_ = false;
};

} // namespace ksv::scpi
