// Starting other programs. Always with an argument vector: nothing here
// ever hands a command line to a shell.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace platform {

// Starts `path` with `args` (not including argv[0]); returns the process id,
// or -1 when it could not be started.
pid_t StartProcess(const std::string& path, const std::vector<std::string>& args);
// Starts and waits; returns the exit code, or -1 when it could not be started
// or did not exit normally.
int RunProcess(const std::string& path, const std::vector<std::string>& args);
// Opens a file or an address with the desktop's handler (xdg-open).
bool ShellOpen(const std::string& target);
// The running executable's full path.
std::string ExecutablePath();

}  // namespace platform
