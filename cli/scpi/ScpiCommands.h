// The command table of the instrument: every header the service knows, the
// session's handler for it and a line of help. --help and the README list
// the same headers. The handlers live in ScpiCommonCommands.cpp (common
// commands, SYSTem), ScpiMeasureCommands.cpp (configuration, measurement,
// FORMat) and ScpiCalcCommands.cpp (statistics, limits).
#pragma once

#include <string>
#include <vector>

#include "ScpiParser.h"
#include "ScpiSession.h"

namespace ksv::scpi {

struct TScpiSession::TExec {
    const TCommand& Command;
    std::string Answer;
    bool Wait = false;    // set by a handler that waits for the measurement
    bool Resumed = false; // the handler runs again after it waited
};

struct TCommandEntry {
    const char* Pattern; // as a manual writes it: "SYSTem:ERRor[:NEXT]?"
    TScpiSession::THandler Handler;
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
