// Status codes of the simulated crate system. The server puts them in its
// replies and the libraries return them from every operation: 0 is success,
// every failure is negative.
#pragma once

#include <cstdint>

namespace ksv::sim {

enum Status : int32_t {
    kOk = 0,
    kFailed = -1,       // the operation failed (a fault of the scenario, a refused request)
    kBadArgument = -2,  // null pointer, slot out of range, bad coefficient, ...
    kNotOpen = -3,      // the record or connection is not open
    kNoConnection = -4, // no server, or the connection was lost
    kTimedOut = -5,     // the server did not answer in time
    kNotFound = -6,     // no such crate, or no KSV27 in that slot
    kBusy = -7,         // the module is open elsewhere, or too many handles
    kProtocol = -8,     // the server's reply was malformed
    kNotRunning = -9,   // data were asked while no acquisition runs
};

const char* StatusText(int32_t status);

} // namespace ksv::sim
