// One connection's side of the instrument: its parser state, error queue,
// status registers and answers. Lines go in, answers come out through the
// send function, one line per program line that asked something. Runs on
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
#include <vector>

#include "Instrument.h"
#include "ScpiError.h"
#include "ScpiParser.h"
#include "StatusRegister.h"

namespace ksv::scpi {

// FORMat:READing: what each reading carries besides its value.
struct TReadingFormat {
    bool Time = false, Channel = false, Unit = false;
};

struct TCommandEntry;
const std::vector<TCommandEntry>& CommandTable();

class TScpiSession {
public:
    using TSend = std::function<void(std::string)>;       // one answer line, LF included
    using TLog = std::function<void(const std::string&)>; // one line for standard error

    TScpiSession(int id, TInstrument& instrument, TSend send, TLog log);

    void Line(std::string_view line);
    // The line was longer than the server takes: it was dropped.
    void LineTooLong();
    // The instrument's measurement state changed.
    void Resume();
    void PushError(TScpiError error);
    // An error the acquisition raised for this connection's measurement
    // (the reading memory overflowed).
    void AcquisitionError(TScpiError error);
    // While *WAI holds, the server reads nothing more from the connection.
    bool Holding() const { return waiting_ && !waitIsQuery_; }
    // A command waits for the measurement.
    bool Waiting() const { return waiting_; }
    // Device clear: lines not yet run, a waiting query and answers under
    // way are dropped; the error queue, registers and measurement stay.
    void DeviceClear();
    // The status byte as *STB? answers it; `messageAvailable` sets bit 4
    // for a transport that holds unread answers.
    std::uint8_t StatusByte(bool messageAvailable = false) const;

    struct TExec; // one command's execution
    using THandler = TScpiError (TScpiSession::*)(TExec&);

private:
    friend const std::vector<TCommandEntry>& CommandTable();

    struct TQueued {
        TUnit Unit;
        bool EndOfLine = false;
    };

    void Run();
    bool Execute(TUnit& unit, bool resumed); // false: it waits
    void DropLine();

    // Handlers, one per header (ScpiCommands.cpp).
    TScpiError Idn(TExec&);
    TScpiError Rst(TExec&);
    TScpiError Cls(TExec&);
    TScpiError Opc(TExec&);
    TScpiError OpcQuery(TExec&);
    TScpiError Wai(TExec&);
    TScpiError EsrQuery(TExec&);
    TScpiError Ese(TExec&);
    TScpiError EseQuery(TExec&);
    TScpiError StbQuery(TExec&);
    TScpiError Sre(TExec&);
    TScpiError SreQuery(TExec&);
    TScpiError TstQuery(TExec&);
    TScpiError ErrorNext(TExec&);
    TScpiError ErrorCount(TExec&);
    TScpiError ErrorAll(TExec&);
    TScpiError OperEvent(TExec&);
    TScpiError OperCondition(TExec&);
    TScpiError OperEnable(TExec&);
    TScpiError QuesEvent(TExec&);
    TScpiError QuesCondition(TExec&);
    TScpiError QuesEnable(TExec&);
    TScpiError StatusPreset(TExec&);
    TScpiError Version(TExec&);
    TScpiError Scan(TExec&);
    TScpiError ScanQuery(TExec&);
    TScpiError Rate(TExec&);
    TScpiError RateQuery(TExec&);
    TScpiError Aperture(TExec&);
    TScpiError ApertureQuery(TExec&);
    TScpiError FunctionQuery(TExec&);
    TScpiError UnitQuery(TExec&);
    TScpiError MezzanineQuery(TExec&);
    TScpiError ModuleTypeQuery(TExec&);
    TScpiError ChannelLabel(TExec&);
    TScpiError ScaleGain(TExec&);
    TScpiError ScaleOffset(TExec&);
    TScpiError ScaleUnit(TExec&);
    TScpiError ScaleState(TExec&);
    TScpiError Count(TExec&);
    TScpiError CountQuery(TExec&);
    TScpiError Initiate(TExec&);
    TScpiError Abort(TExec&);
    TScpiError Fetch(TExec&);
    TScpiError Read(TExec&);
    TScpiError Measure(TExec&);
    TScpiError Points(TExec&);
    TScpiError Remove(TExec&);
    TScpiError FormatTime(TExec&);
    TScpiError FormatChannel(TExec&);
    TScpiError FormatUnit(TExec&);
    TScpiError StatMin(TExec&);
    TScpiError StatMax(TExec&);
    TScpiError StatAverage(TExec&);
    TScpiError StatSdev(TExec&);
    TScpiError StatCount(TExec&);
    TScpiError StatPtp(TExec&);
    TScpiError StatClear(TExec&);
    TScpiError UpperLimit(TExec&);
    TScpiError UpperLimitQuery(TExec&);
    TScpiError LowerLimit(TExec&);
    TScpiError LowerLimitQuery(TExec&);
    TScpiError UpperState(TExec&);
    TScpiError UpperStateQuery(TExec&);
    TScpiError LowerState(TExec&);
    TScpiError LowerStateQuery(TExec&);
    TScpiError LimitFail(TExec&);

    // Shared pieces of the handlers.
    TScpiError SetFormat(TExec& e, bool TReadingFormat::*flag);
    TScpiError Statistic(TExec& e, double (*pick)(const TChannelSummary&));
    TScpiError SetLimit(TExec& e, bool upper);
    TScpiError LimitQuery(TExec& e, bool upper);
    TScpiError SetLimitState(TExec& e, bool upper);
    TScpiError LimitStateQuery(TExec& e, bool upper);
    TScpiError FetchAnswer(TExec& e);
    void TellFailure();
    TScpiError StatusEvent(TExec& e, bool questionable);
    TScpiError StatusCondition(TExec& e, bool questionable);
    TScpiError StatusEnable(TExec& e, bool questionable);
    TStatusCondition Condition(bool questionable) const;
    void Reroot(const TCommand& command);
    TScpiError StartMeasurement();
    TScpiError ChangeAllowed(const TCommand& command) const;
    // -200 for a command that changes what every client shares while
    // another client holds the instrument's exclusive lock.
    TScpiError LockAllows(const TCommandEntry& entry, const TCommand& command) const;
    std::string FormatReadings(const std::vector<TReading>& readings) const;
    bool MeasurementDone() const;
    // Channel lists in the instrument's numbering; a list the client writes
    // sets the form answers take (1..16 or N01..N16 for a single module).
    TScpiError Channels(const TParam& p, TChannelSet& set);
    TScpiError OptionalChannelList(const TCommand& c, std::size_t index, TChannelSet fallback, TChannelSet& set);
    std::string ListText(TChannelSet set) const;
    TScpiError ChannelSetting(TExec& e, bool label, const std::function<std::string(int)>& answer,
                              const std::function<TScpiError(const TParam&, TChannelScale&)>& take);
    TScpiError ScaleNumber(TExec& e, double TChannelScale::*field);

    int id_;
    TInstrument& instrument_;
    TSend send_;
    TLog log_;
    TErrorQueue errors_;
    std::uint8_t esr_ = kEsrPowerOn;
    std::uint8_t ese_ = 0, sre_ = 0;
    bool opcPending_ = false;
    TReadingFormat format_;
    bool hundreds_ = false; // channels written as slot*100+ch
    std::deque<TQueued> queue_;
    std::string answers_; // of the line under way
    bool waiting_ = false;
    bool waitIsQuery_ = false;
    bool running_ = false;
    std::uint64_t ownMeasurement_ = 0; // the number of the last measurement this connection started
    std::uint64_t toldFailure_ = 0;    // of the last failed measurement this connection was told of
    TStatusRegister operation_, questionable_;
};

} // namespace ksv::scpi
