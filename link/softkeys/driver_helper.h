// The driver helper: the program folder's driver/<arch>/keyloom-driver, which
// installs (or removes) the udev rules that give the user at the seat the
// uinput node and the keyboard's hidraw and event nodes, and loads uinput.
// It needs root, so it runs through pkexec when the program does not.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace softkeys {

inline constexpr const char* kDriverHelperName = "keyloom-driver";
// The rules the helper installs; the second is used when the first is
// missing or is a folder.
inline constexpr const char* kFilterRulesName = "vhidflt.rules";
inline constexpr const char* kDeviceRulesName = "vhidev.rules";

// The machine's architecture as uname gives it: x86_64, aarch64, ...
std::string MachineArchitecture();
// <programFolder>driver/<arch>, no trailing slash (programFolder ends in '/').
std::string DriverFolder(const std::string& programFolder);
// The rules file the install run passes: the filter rules when that is a
// file, else the device rules.
std::string RulesPath(const std::string& driverFolder);

struct Command {
    std::string program;
    std::vector<std::string> args;
};
// The helper with its arguments, wrapped in pkexec unless running as root.
Command HelperCommand(const std::string& helper, const std::vector<std::string>& args, bool root);

// Runs a program and waits; the exit code, or -1 when it could not be started.
using CommandRunner = std::function<int(const Command&)>;
// platform::RunProcess.
int RunCommand(const Command& command);

}  // namespace softkeys
