// The VXI-11 procedures this service answers, with the XDR routine rpcgen
// made for each one's arguments, and the protocol's numbers.
#pragma once

#include <cstdint>

#include "vxi11.h"

namespace ksv::vxi11 {

// Error codes of the protocol.
enum TDeviceError : long {
    kNoError = 0,
    kSyntaxError = 1,
    kNotAccessible = 3,
    kInvalidLink = 4,
    kParameterError = 5,
    kNotSupported = 8,
    kOutOfResources = 9,
    kLockedByOther = 11,
    kNoLockHeld = 12,
    kIoTimeout = 15,
    kAborted = 23,
};

// Flags of a call and reasons of a read's end.
inline constexpr long kFlagWaitLock = 1, kFlagEnd = 8, kFlagTermChar = 128;
inline constexpr long kReasonRequestCount = 1, kReasonTermChar = 2, kReasonEnd = 4;

struct TProcedure {
    std::uint32_t Program, Procedure;
    xdrproc_t Args; // nullptr: no arguments
};

// The procedure of a call to version 1 of `program`; nullptr for one the
// service does not know.
const TProcedure* FindProcedure(std::uint32_t program, std::uint32_t procedure);

// Room for the arguments of any procedure.
union TAnyArgs {
    Device_Link Link;
    Create_LinkParms Create;
    Device_WriteParms Write;
    Device_ReadParms Read;
    Device_GenericParms Generic;
    Device_LockParms Lock;
    Device_EnableSrqParms EnableSrq;
    Device_DocmdParms Docmd;
    Device_RemoteFunc Remote;
};

} // namespace ksv::vxi11
