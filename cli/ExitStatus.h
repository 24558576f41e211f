// The exit statuses of ksv27-vorn-cli, as --help and the README list them.
#pragma once

namespace ksv::cli {

enum TExitStatus : int {
    kExitOk = 0,             // every cycle asked for was measured (or the list printed)
    kExitMeasureFailed = 1,  // a failure after the module was opened, or a record could not be written
    kExitUsage = 2,          // a bad command line or settings file; nothing was asked of the crate server
    kExitNoDevice = 3,       // no crate server, no crate with a KSV27, or the chosen module cannot be opened
    kExitOutputFile = 4,     // the --output file cannot be created (it exists or the folder refuses it)
    kExitListen = 5,         // serve: the address and port cannot be listened on
    kExitPublishRefused = 6, // the MQTT broker refused the user name or password at the first connection
    kExitInterrupted = 130,  // Ctrl+C (SIGINT): the run was stopped and the module closed
    kExitTerminated = 143,   // SIGTERM: as for Ctrl+C
};

} // namespace ksv::cli
