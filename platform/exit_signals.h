// SIGTERM and SIGINT as an orderly exit: the signal is taken by a tiny
// handler that only writes to a pipe, and the program's own exit code runs on
// a thread of its own, where it may take locks, release the virtual keys and
// end the keyboard grab before the process goes.
#pragma once

#include <functional>

namespace platform {

// Installs the handlers (again: replaces the function). `onSignal` gets the
// signal number; it normally ends the process. True when installed.
bool InstallExitSignalHandler(std::function<void(int signal)> onSignal);

}  // namespace platform
