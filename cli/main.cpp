#include <iostream>
#include <string>
#include <vector>

#include "cli/ctl.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    ctl::Options options;
    try {
        options = ctl::ParseCommandLine(args);
    } catch (const ctl::UsageError& e) {
        std::cerr << "keyloomctl: " << e.message << " (keyloomctl --help lists the commands)\n";
        return ctl::kExitUsage;
    }
    ctl::SetUpProgramContext();
    return ctl::Run(options, std::cout, std::cerr);
}
