// A program that runs the software keys on the simulated filter and virtual
// keyboard, holds a remapped key down, and says "ready". Its SIGTERM and
// SIGINT handling is the program's: release, stop, clear, exit 0. What it did
// is in journals in the folder given as its argument.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "link/softkeys/software_keys.h"
#include "link/softkeys/vhidev.h"
#include "platform/exit_signals.h"
#include "sim/softkeys/sim_filter.h"
#include "sim/softkeys/sim_virtual_keyboard.h"

namespace {

class Host : public softkeys::SoftKeyHost {
public:
    std::vector<softkeys::KeyAssignment> CurrentKeyAssignments() override { return {{4, 2, 5}, {5, 5, 1}}; }
    void QueueMacro(int) override {}
    void ShowMessageBox(const std::wstring&, const std::wstring&) override {}
    void ExitProcess(int code) override { _exit(code); }
};

class Macros : public softkeys::MacroSource {
public:
    bool GetMacro(int, softkeys::MacroInfo&) override { return false; }
    std::vector<softkeys::MacroStep> ListMacroRecords(int) override { return {}; }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::string dir = argv[1];
    auto keyboard = std::make_shared<sim::SimVirtualKeyboard>();
    keyboard->SetJournal(dir + "/device.log");
    auto filter = std::make_shared<sim::SimFilter>();
    filter->SetJournal(dir + "/filter.log");
    softkeys::VHidev::Instance().SetBackend(keyboard->MakeBackend());

    Host host;
    Macros macros;
    softkeys::SoftwareKeysSetup setup;
    setup.runCommand = [](const softkeys::Command&) { return -1; };
    setup.isRoot = [] { return true; };
    softkeys::SoftwareKeys keys(host, macros, filter, setup);

    platform::InstallExitSignalHandler([&](int) {
        keys.Shutdown();
        std::ofstream(dir + "/state.log") << "grabbed=" << filter->Grabbed() << " open=" << filter->IsOpen()
                                          << " held=" << keyboard->AnyKeyHeld() << "\n";
        _exit(0);
    });

    if (!keys.StartSoftwareKeys()) return 3;
    keys.LoadSoftwareKeyTable();
    filter->Press(4);
    filter->Press(5);
    for (int i = 0; i < 5000 && !(keyboard->KeyHeld(5) && keyboard->Buttons() == 1); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!keyboard->KeyHeld(5)) return 4;
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) pause();
}
