// Figures of the software keys, printed:
//   1. from a key event entering the simulated filter to the virtual-device
//      write, over 100,000 events (listening thread, dispatcher, VHidev);
//   2. the same through the real evdev filter and uinput translation, with
//      socket pairs in place of the event node and of /dev/uinput;
//   3. how long StopMonitor takes to return with a listener waiting;
//   4. the delay of every step of a 1,000-step macro against the request
//      (and whether playback ran at real-time priority).
#include <linux/input.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "link/softkeys/linux_backends.h"
#include "link/softkeys/software_keys.h"
#include "link/softkeys/vhidev.h"
#include "platform/timer_slack.h"
#include "sim/softkeys/sim_filter.h"
#include "sim/softkeys/sim_virtual_keyboard.h"

using Clock = std::chrono::steady_clock;
using Micros = std::chrono::duration<double, std::micro>;

namespace {

class Host : public softkeys::SoftKeyHost {
public:
    std::vector<softkeys::KeyAssignment> rows = {{4, 2, 5}};
    std::vector<softkeys::KeyAssignment> CurrentKeyAssignments() override { return rows; }
    void QueueMacro(int) override {}
    void ShowMessageBox(const std::wstring&, const std::wstring&) override {}
    void ExitProcess(int) override {}
};

class Macros : public softkeys::MacroSource {
public:
    std::map<int, softkeys::MacroInfo> macros;
    std::map<int, std::vector<softkeys::MacroStep>> steps;
    bool GetMacro(int id, softkeys::MacroInfo& m) override {
        if (!macros.count(id)) return false;
        m = macros[id];
        return true;
    }
    std::vector<softkeys::MacroStep> ListMacroRecords(int id) override { return steps[id]; }
};

softkeys::SoftwareKeysSetup Setup() {
    softkeys::SoftwareKeysSetup setup;
    setup.runCommand = [](const softkeys::Command&) { return -1; };
    setup.isRoot = [] { return true; };
    return setup;
}

void Print(const char* what, std::vector<double> values, const char* unit) {
    std::sort(values.begin(), values.end());
    auto at = [&](double q) { return values[std::min(values.size() - 1, static_cast<std::size_t>(q * values.size()))]; };
    std::printf("%-48s n=%zu  p50=%.2f  p90=%.2f  p99=%.2f  p99.9=%.2f  max=%.2f %s\n", what, values.size(), at(0.5),
                at(0.9), at(0.99), at(0.999), values.back(), unit);
}

void SimulatedLatency() {
    auto keyboard = std::make_shared<sim::SimVirtualKeyboard>();
    auto filter = std::make_shared<sim::SimFilter>();
    softkeys::VHidev::Instance().SetBackend(keyboard->MakeBackend());
    Host host;
    Macros macros;
    softkeys::SoftwareKeys keys(host, macros, filter, Setup());
    keys.StartSoftwareKeys();
    keys.LoadSoftwareKeyTable();
    keyboard->ClearRecords();

    constexpr int kEvents = 100000;
    std::vector<Clock::time_point> sent(kEvents);
    for (int i = 0; i < kEvents; ++i) {
        sent[i] = Clock::now();
        filter->Inject(4, i % 2 == 0);
        keyboard->WaitForWrites(static_cast<std::size_t>(i) + 1, std::chrono::seconds(5));
    }
    const auto writes = keyboard->Writes();
    std::vector<double> latency;
    for (int i = 0; i < kEvents && i < static_cast<int>(writes.size()); ++i) {
        latency.push_back(Micros(writes[i].time - sent[i]).count());
    }
    Print("simulated filter -> virtual-device write", latency, "us");
    keys.Shutdown();
    softkeys::VHidev::Instance().SetBackend(nullptr);
}

// One event node and the virtual keyboard, both socket pairs.
class PairNode : public platform::EvdevNode {
public:
    PairNode(int event, int copy) : event_(event), copy_(copy) {}
    ~PairNode() override {
        close(event_);
        close(copy_);
    }
    int EventFd() const override { return event_; }
    int CopyFd() const override { return copy_; }
    bool Grab(bool) override { return true; }
    std::vector<std::uint16_t> KeysDown() override { return {}; }
    bool NumLock() override { return false; }
    void SetLed(std::uint16_t, bool) override {}

private:
    int event_, copy_;
};

class PairSystem : public platform::EvdevSystem {
public:
    PairSystem(int event, int copy) : event_(event), copy_(copy) {}
    std::vector<std::string> FindNodes(const std::vector<platform::InputDeviceId>&) override { return {"node"}; }
    std::unique_ptr<platform::EvdevNode> Open(const std::string&, std::string*) override {
        return std::make_unique<PairNode>(event_, copy_);
    }
    int HotplugFd() override { return -1; }
    std::vector<Change> ReadHotplug(const std::vector<platform::InputDeviceId>&) override { return {}; }

private:
    int event_, copy_;
};

void RealPathLatency() {
    int node[2], copy[2], out[2];
    socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, node);
    socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, copy);
    socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, out);
    softkeys::VHidev::Instance().SetBackend(
        softkeys::MakeUinputBackend([&] { return platform::UinputDevice::Adopt(out[0]); }));
    auto filter = std::make_shared<softkeys::EvdevFilterBackend>(std::vector<platform::InputDeviceId>{{1, 1}},
                                                                 std::make_unique<PairSystem>(node[0], copy[0]));
    Host host;
    Macros macros;
    softkeys::SoftwareKeys keys(host, macros, filter, Setup());
    keys.StartSoftwareKeys();
    keys.LoadSoftwareKeyTable();
    filter->Filter().Settle(5000);
    // Drain the start-up releases.
    input_event drain[64];
    while (true) {
        pollfd p{out[1], POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) break;
        if (read(out[1], drain, sizeof drain) <= 0) break;
    }

    constexpr int kEvents = 100000;
    std::vector<double> latency;
    latency.reserve(kEvents);
    for (int i = 0; i < kEvents; ++i) {
        input_event ev[2] = {};
        ev[0].type = EV_KEY;
        ev[0].code = KEY_A;
        ev[0].value = i % 2 == 0 ? 1 : 0;
        ev[1].type = EV_SYN;
        ev[1].code = SYN_REPORT;
        const auto start = Clock::now();
        if (write(node[1], ev, sizeof ev) != static_cast<ssize_t>(sizeof ev)) break;
        input_event got[8];
        if (read(out[1], got, sizeof got) <= 0) break;  // KEY_B and SYN_REPORT, in one write
        latency.push_back(Micros(Clock::now() - start).count());
    }
    Print("evdev filter -> uinput events (socket pairs)", latency, "us");
    keys.Shutdown();
    softkeys::VHidev::Instance().SetBackend(nullptr);
    close(node[1]);
    close(copy[1]);
    close(out[1]);
}

void StopMonitorTime() {
    auto keyboard = std::make_shared<sim::SimVirtualKeyboard>();
    auto filter = std::make_shared<sim::SimFilter>();
    softkeys::VHidev::Instance().SetBackend(keyboard->MakeBackend());
    Host host;
    Macros macros;
    softkeys::SoftwareKeys keys(host, macros, filter, Setup());
    keys.StartSoftwareKeys();
    std::vector<double> took;
    for (int i = 0; i < 300; ++i) {
        keys.LoadSoftwareKeyTable();
        std::this_thread::sleep_for(std::chrono::microseconds(500 + (i % 7) * 1500));
        const auto start = Clock::now();
        keys.StopMonitor();
        took.push_back(Micros(Clock::now() - start).count() / 1000.0);
    }
    Print("StopMonitor with a listener waiting", took, "ms");
    keys.Shutdown();
    softkeys::VHidev::Instance().SetBackend(nullptr);
}

void MacroTiming() {
    auto keyboard = std::make_shared<sim::SimVirtualKeyboard>();
    softkeys::VHidev::Instance().SetBackend(keyboard->MakeBackend());
    auto filter = std::make_shared<sim::SimFilter>();
    Host host;
    Macros macros;
    softkeys::SoftwareKeys keys(host, macros, filter, Setup());
    const int delays[] = {0, 5, 7, 10, 12, 3, 8, 15, 1, 6};
    std::vector<int> requested;
    auto& steps = macros.steps[1];
    for (int i = 0; i < 1000; ++i) {
        const int d = delays[i % std::size(delays)];
        steps.push_back({i % 2 == 0 ? 2 : 3, 'A' + (i / 2) % 26, d});
        requested.push_back(std::max(d, 5));
    }
    macros.macros[1] = {1, 1};
    const auto start = Clock::now();
    keys.PlaySoftwareMacro(1);
    const double total = std::chrono::duration<double>(Clock::now() - start).count();
    const auto w = keyboard->Writes();
    // 4 releases, 1000 steps, 4 releases: step i's delay runs from its write
    // to the next one.
    std::vector<double> error, absolute;
    int beyond = 0, shorter = 0;
    for (int i = 0; i < 1000; ++i) {
        const double ms = std::chrono::duration<double, std::milli>(w[4 + i + 1].time - w[4 + i].time).count();
        const double e = ms - requested[i];
        error.push_back(e);
        absolute.push_back(std::fabs(e));
        if (std::fabs(e) > 1.0) ++beyond;
        if (e < 0) ++shorter;
    }
    Print("macro step delay error (|measured - requested|)", absolute, "ms");
    std::printf("%-48s steps beyond 1 ms: %d, shorter than asked: %d, total %.2f s\n", "", beyond, shorter, total);
    // Whether the playback could take real-time priority here: without it a
    // busy machine makes some wake-ups late.
    bool raised = false;
    std::thread([&] { raised = platform::PromptWakeups().Raised(); }).join();
    std::printf("%-48s playback at real-time priority: %s\n", "", raised ? "yes" : "no (not allowed here)");
    softkeys::VHidev::Instance().SetBackend(nullptr);
}

}  // namespace

// With arguments, only the figures named: sim, real, stop, macro.
int main(int argc, char** argv) {
    auto want = [&](const char* name) {
        if (argc < 2) return true;
        for (int i = 1; i < argc; ++i) {
            if (std::string(argv[i]) == name) return true;
        }
        return false;
    };
    if (want("sim")) SimulatedLatency();
    if (want("real")) RealPathLatency();
    if (want("stop")) StopMonitorTime();
    if (want("macro")) MacroTiming();
    return 0;
}
