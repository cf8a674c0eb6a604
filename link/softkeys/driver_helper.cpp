#include "link/softkeys/driver_helper.h"

#include <sys/utsname.h>

#include "platform/paths.h"
#include "platform/process.h"

namespace softkeys {

std::string MachineArchitecture() {
    utsname name{};
    if (uname(&name) != 0) return "x86_64";
    return name.machine;
}

std::string DriverFolder(const std::string& programFolder) {
    return programFolder + "driver/" + MachineArchitecture();
}

std::string RulesPath(const std::string& driverFolder) {
    const std::string filter = driverFolder + "/" + kFilterRulesName;
    if (platform::FileExists(filter) && !platform::IsDirectory(filter)) return filter;
    return driverFolder + "/" + kDeviceRulesName;
}

Command HelperCommand(const std::string& helper, const std::vector<std::string>& args, bool root) {
    if (root) return Command{helper, args};
    Command command{"pkexec", {helper}};
    command.args.insert(command.args.end(), args.begin(), args.end());
    return command;
}

int RunCommand(const Command& command) { return platform::RunProcess(command.program, command.args); }

}  // namespace softkeys
