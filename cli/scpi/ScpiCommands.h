// The command table of the instrument: every header the service knows, its
// handler (on the connection's TSessionContext) and a line of help. --help
// and the README list the same headers. The handlers live in
// ScpiCommonCommands.cpp (common commands, SYSTem, STATus),
// ScpiMeasureCommands.cpp (configuration, measurement, FORMat),
// ScpiCalcCommands.cpp (statistics, limits) and ScpiRouteCommands.cpp
// (channel labels, CALCulate:SCALe).
#pragma once

#include <string>
#include <vector>

#include "ScpiParser.h"
#include "ScpiContext.h"

namespace ksv::scpi {

struct TSessionContext::TExec {
    const TCommand& Command;
    std::string Answer;
    bool Wait = false;    // set by a handler that waits for the measurement
    bool Resumed = false; // the handler runs again after it waited
};

struct TCommandEntry {
    const char* Pattern; // as a manual writes it: "SYSTem:ERRor[:NEXT]?"
    TSessionContext::THandler Handler;
    const char* Help;
};

const std::vector<TCommandEntry>& CommandTable();
// The entry of `command`'s header. A header continuing the previous
// command's path that is found nowhere there is looked up from the root
// (and `command` changed to that path).
const TCommandEntry* FindCommand(TCommand& command);

// True when the header is known once its numeric suffixes are taken off
// (`MEAS2?`): -114 rather than -113.
bool KnownButForSuffix(const TCommand& command);

// Every header with its help line, one per line, for --help.
std::string CommandHelp();

} // namespace ksv::scpi
