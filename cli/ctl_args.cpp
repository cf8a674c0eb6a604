#include <cctype>
#include <ostream>

#include "cli/ctl.h"
#include "sim/install.h"

namespace ctl {

namespace {

bool StartsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// Options that belong to a command; checked against the command later.
const char* const kCommandOptions[] = {"profile", "layer", "times", "delay-type", "delay-time", "key", "mode-changed"};
// Those of them that are flags, without a value.
const char* const kFlagOptions[] = {"mode-changed"};

bool Known(const std::string& name, const char* const* begin, const char* const* end) {
    for (auto it = begin; it != end; ++it)
        if (name == *it) return true;
    return false;
}

std::uint16_t ParseFirmwareHex(const std::string& text) {
    std::string digits = text;
    if (StartsWith(digits, "0x") || StartsWith(digits, "0X")) digits = digits.substr(2);
    if (digits.empty() || digits.size() > 4) throw UsageError{"--sim-firmware needs 1 to 4 hexadecimal digits"};
    unsigned v = 0;
    for (char c : digits) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) throw UsageError{"--sim-firmware needs hexadecimal digits"};
        v = v * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                                                                                       : std::tolower(c) - 'a' + 10);
    }
    return static_cast<std::uint16_t>(v);
}

}  // namespace

long long ParseNumber(const std::string& text, long long lo, long long hi, const std::string& what) {
    std::string digits = text;
    bool negative = false;
    int base = 10;
    if (StartsWith(digits, "0x") || StartsWith(digits, "0X")) {
        base = 16;
        digits = digits.substr(2);
    } else if (StartsWith(digits, "-")) {
        negative = true;
        digits = digits.substr(1);
    }
    if (digits.empty() || digits.size() > 12) throw UsageError{what + " must be a number, not \"" + text + "\""};
    long long v = 0;
    for (char c : digits) {
        const unsigned char u = static_cast<unsigned char>(c);
        int d;
        if (std::isdigit(u))
            d = c - '0';
        else if (base == 16 && std::isxdigit(u))
            d = std::tolower(u) - 'a' + 10;
        else
            throw UsageError{what + " must be a number, not \"" + text + "\""};
        v = v * base + d;
    }
    if (negative) v = -v;
    if (v < lo || v > hi)
        throw UsageError{what + " must be " + std::to_string(lo) + " to " + std::to_string(hi) + ", not " + text};
    return v;
}

int ParseInt(const std::string& text, int lo, int hi, const std::string& what) {
    return static_cast<int>(ParseNumber(text, lo, hi, what));
}

Options ParseCommandLine(const std::vector<std::string>& argv) {
    Options o;
    bool optionsEnded = false;
    for (size_t i = 0; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (optionsEnded || !StartsWith(a, "-") || a == "-" || (a.size() > 1 && std::isdigit(static_cast<unsigned char>(a[1])))) {
            if (o.command.empty())
                o.command = a;
            else
                o.args.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        if (a == "-h" || a == "--help") {
            o.help = true;
            continue;
        }
        if (!StartsWith(a, "--")) throw UsageError{"unknown option " + a};
        const size_t eq = a.find('=');
        const std::string name = a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        const bool hasValue = eq != std::string::npos;
        const std::string value = hasValue ? a.substr(eq + 1) : std::string();

        if (name == "simulate") {
            o.simulate = true;
            if (hasValue) {
                int type = 0, mode = 0;
                if (!sim::ParseSimulateOption(value, type, mode))
                    throw UsageError{"--simulate takes TYPE[,MODE] (mode 0, 1 or 2), not \"" + value + "\""};
                o.simulateType = type;
                o.simulateMode = mode;
                o.simulateTypeGiven = true;
            }
        } else if (name == "device-type") {
            if (!hasValue) throw UsageError{"--device-type needs a value"};
            o.deviceType = ParseInt(value, 1, 65535, "--device-type");
            o.deviceTypeGiven = true;
        } else if (name == "trace") {
            if (hasValue) throw UsageError{"--trace takes no value"};
            o.trace = true;
        } else if (name == "trace-time") {
            if (hasValue) throw UsageError{"--trace-time takes no value"};
            o.trace = true;
            o.traceTime = true;
        } else if (name == "sim-firmware") {
            if (!hasValue) throw UsageError{"--sim-firmware needs a value"};
            o.simFirmware = ParseFirmwareHex(value);
        } else if (Known(name, std::begin(kCommandOptions), std::end(kCommandOptions))) {
            const bool flag = Known(name, std::begin(kFlagOptions), std::end(kFlagOptions));
            if (flag && hasValue) throw UsageError{"--" + name + " takes no value"};
            if (!flag && (!hasValue || value.empty())) throw UsageError{"--" + name + " needs a value"};
            if (o.options.count(name)) throw UsageError{"--" + name + " is given twice"};
            o.options[name] = value;
        } else {
            throw UsageError{"unknown option --" + name};
        }
    }
    // The simulated keyboard and the addressed one follow each other unless
    // both are given.
    if (o.simulateTypeGiven && !o.deviceTypeGiven) o.deviceType = o.simulateType;
    if (o.deviceTypeGiven && !o.simulateTypeGiven) o.simulateType = o.deviceType;
    if (!o.simulate && o.command == "sim-state") o.simulate = true;
    if (!o.simulate && o.trace) throw UsageError{"--trace and --trace-time need --simulate"};
    if (!o.simulate && o.simFirmware) throw UsageError{"--sim-firmware needs --simulate"};
    return o;
}

void PrintUsage(std::ostream& out) {
    out << "Usage: keyloomctl [OPTIONS] COMMAND [ARGUMENTS]\n"
           "\n"
           "Options:\n"
           "  --simulate[=TYPE[,MODE]]  use the simulated keyboard (default 201, mode 0 = cable)\n"
           "  --device-type=T           the keyboard addressed (default 201)\n"
           "  --trace                   print every transfer (simulated keyboard)\n"
           "  --trace-time              the same, each line after the ms since the previous one\n"
           "  --sim-firmware=HEX        the simulated keyboard's firmware version\n"
           "\n"
           "Commands:\n"
           "  devices\n"
           "  profiles | profile-add [NAME] | profile-rename ID NAME | profile-delete ID | profile-switch ID\n"
           "  keys [--profile=ID] [--layer=L]\n"
           "  key-set KEYCODE TYPE VALUE [DESC] [--profile=ID] [--layer=L]\n"
           "  key-reset KEYCODE [--profile=ID]\n"
           "  macros | macro-add NAME [--times=N] [--delay-type=T] [--delay-time=MS] | macro-steps ID\n"
           "  macro-add-step ID TYPE VALUE DELAY [DESC]\n"
           "  light | light-set MODE [brightness=B] [speed=S] [direction=D] [colorful=C] [colorindex=I]\n"
           "                         [color=0xBBGGRR] [option=N]\n"
           "  light-mode MODE | custom-colors KEYCODE=0xBBGGRR...\n"
           "  upload keys [--key=KEYCODE] | upload light [--mode-changed] | upload custom\n"
           "  firmware | check-firmware SERVER_TEXT | factory-reset\n"
           "  export-profile ID FILE | import-profile FILE | export-macro ID FILE | import-macro FILE\n"
           "  sim-state\n"
           "\n"
           "Numbers are decimal unless written with 0x. Exit status: 0 success, 1 failure, 2 usage error.\n";
}

}  // namespace ctl
