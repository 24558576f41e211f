// The window thread's side of the worker hand-off, on the toolkit.
//
// InstallSynchronizerPump binds the window's thread to the synchronizer and
// makes a worker's hand-off wake it (an eventfd watched by a socket notifier
// on Linux, a posted event elsewhere), so steps are served by the main loop
// and by every nested message loop (modal dialogs, processEvents).
// SleepAndProcessMessages is the "sleep 50 ms, then process pending window
// messages" step of the window's polling loops; hand-offs that arrive during
// the sleep are served at once.
#pragma once

namespace ksv {

void InstallSynchronizerPump();
void SleepAndProcessMessages(int milliseconds = 50);

} // namespace ksv
