// keyloomctl: the command-line front end over the program's own libraries.
//
//   options   the command line as read: global options, the command, its
//             arguments and its own options
//   Run       one command against the current keyboard's database and the
//             keyboard (or the simulated one), with the documented output
//
// Exit status: 0 success, 1 failure (a message on standard error), 2 usage
// error (nothing is opened then).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ctl {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct Options {
    bool help = false;
    bool simulate = false;
    bool simulateTypeGiven = false;
    int simulateType = 201;
    int simulateMode = 0;  // 0 cable, 1 and 2 the wireless modes
    bool deviceTypeGiven = false;
    int deviceType = 201;
    bool trace = false;
    bool traceTime = false;  // implies trace
    std::optional<std::uint16_t> simFirmware;

    std::string command;
    std::vector<std::string> args;                // positional, after the command
    std::map<std::string, std::string> options;   // command options: name -> value ("" when none)
};

// Thrown inside keyloomctl only: a usage error (exit 2) or a failure (exit 1).
struct UsageError {
    std::string message;
};
struct Failure {
    std::string message;
};

// Global options anywhere on the line; "--" ends option parsing. Throws
// UsageError.
Options ParseCommandLine(const std::vector<std::string>& argv);

// Numbers are decimal, or hexadecimal after 0x; the whole text must be the
// number. Throw UsageError naming `what` when not a number or outside lo..hi.
long long ParseNumber(const std::string& text, long long lo, long long hi, const std::string& what);
int ParseInt(const std::string& text, int lo, int hi, const std::string& what);

void PrintUsage(std::ostream& out);

// What the program sets up before its pages use the store: the device name
// from config.xml (it names the data folder) and the language of the texts
// (the stored one, else the user's).
void SetUpProgramContext();

// Runs the command; returns the exit status.
int Run(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace ctl
