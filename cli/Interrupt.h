// Ctrl+C and SIGTERM. The first one asks the run to stop: the tool then stops
// the acquisition and closes the module. A second one while the tool is
// still stopping (a library call that hangs until its time-out) ends the
// process at once.
#pragma once

namespace ksv::cli {

// Installs the handlers for SIGINT and SIGTERM (std::signal, on every
// platform) and, where there is one, ignores SIGPIPE so that a closed
// standard output is a failed write, not a killed process.
void InstallInterruptHandlers();

// The signal that asked for a stop, 0 while none did.
int InterruptSignal();

// The exit status for that signal: 130 for Ctrl+C, 143 for SIGTERM.
int InterruptStatus();

} // namespace ksv::cli
