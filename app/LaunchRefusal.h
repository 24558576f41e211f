// Why the program will not start where it runs.
//
// An installed program (its folder holds the launchers' shell functions,
// user-folder.sh) never runs from the installed folder: it keeps its
// settings file beside its executable, and one saved there by root would
// reach every user. Its launcher runs a copy from the user's own folder
// instead, and runs the installed program only to show why it refused to
// start (KSV27_VORN_REFUSAL), when there is no terminal to read that on.
#pragma once

#include <string>

namespace ksv {

// The reason not to start, empty when the program may run.
std::string LaunchRefusal();

// Writes the reason to standard error and shows it in a message box when
// there is a display; returns the exit status of a refused start.
int RefuseLaunch(int argc, char** argv, const std::string& reason);

} // namespace ksv
