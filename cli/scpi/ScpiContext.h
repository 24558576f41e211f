// What a connection's command handlers work on: the instrument, the
// connection's error queue, status registers, reading format and channel
// numbering, and which measurement it started. The session owns it and runs
// the handlers on it; the lines, answers and waits stay the session's.
// Network thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
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

class TSessionContext {
public:
    using TLog = std::function<void(const std::string&)>; // one line for standard error

    TSessionContext(int id, TInstrument& instrument, TLog log);

    void PushError(TScpiError error);
    // The status byte as *STB? answers it; `messageAvailable` sets bit 4
    // for a transport that holds unread answers.
    std::uint8_t StatusByte(bool messageAvailable = false) const;
    // The failure of the measurement in memory, queued unless this
    // connection was told of it already.
    void TellFailure();

    struct TExec; // one command's execution
    using THandler = TScpiError (TSessionContext::*)(TExec&);

private:
    friend class TScpiSession;
    friend const std::vector<TCommandEntry>& CommandTable();

    // Handlers, one per header (the table: ScpiCommands.cpp).
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
    TScpiError StatusEvent(TExec& e, bool questionable);
    TScpiError StatusCondition(TExec& e, bool questionable);
    TScpiError StatusEnable(TExec& e, bool questionable);
    TStatusCondition Condition(bool questionable) const;
    TScpiError StartMeasurement();
    TScpiError ChangeAllowed(const TCommand& command) const;
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

    // -200 for a command that changes what every client shares while
    // another client holds the instrument's exclusive lock.
    TScpiError LockAllows(const TCommandEntry& entry, const TCommand& command) const;

    int id_;
    TInstrument& instrument_;
    TLog log_;
    TErrorQueue errors_;
    std::uint8_t esr_ = kEsrPowerOn;
    std::uint8_t ese_ = 0, sre_ = 0;
    bool opcPending_ = false;
    TReadingFormat format_;
    bool hundreds_ = false;            // channels written as slot*100+ch
    std::uint64_t ownMeasurement_ = 0; // the number of the last measurement this connection started
    std::uint64_t toldFailure_ = 0;    // of the last failed measurement this connection was told of
    TStatusRegister operation_, questionable_;
};

} // namespace ksv::scpi
