// The program's entry sequence: device name, single instance, language,
// data folder, window host, main window, shut-down.
#pragma once

#include <functional>
#include <string>

#include "tavri/types.h"

namespace platform {
class SingleInstance;
}

struct StartupOptions {
    bool simulate = false;     // use the simulated keyboard
    std::string simulateValue;  // "TYPE[,MODE]" after --simulate=, empty for the default
};

// Exit codes of the entry sequence.
constexpr int kExitOtherInstance = 0;  // another copy runs; it was asked to come forward
constexpr int kExitNormalRun = 1;      // the main window ran and closed
constexpr int kExitUsage = 2;          // the command line could not be understood

// Parses the few options the program takes. Returns false (with a message in
// `error`) for an option it does not know; `--help` sets `help`.
bool ParseStartupOptions(int argc, char** argv, StartupOptions& options, bool& help, std::string& error);

// Step 1: config.xml's software name becomes the device name when the file
// loads and has config/software; otherwise the default stays.
void ReadDeviceNameFromConfig();

// Step 6: the stored language, or the user's language for this run with 1046
// or 2052 stored for later runs. Returns the id to use.
int ChooseStartupLanguage(int uiLanguageId);

// The single-instance guard of the first copy, kept for the whole run; the
// main window sets its handler so that later copies can bring it forward.
platform::SingleInstance& InstanceGuard();

// The main window's modal run. Start-up calls it once; until a main window is
// registered, start-up ends without one.
void SetMainWindowRunner(std::function<void(const StartupOptions&)> runner);

// The whole sequence; returns the process exit code.
int RunStartup(int argc, char** argv);
