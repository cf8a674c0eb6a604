// What the report transport adds to the fixed device waits, against the
// simulated keyboard on the real clock. The waits are the keyboard's pacing;
// everything above them is the link's own cost.
//
//   QueryFeatureTable     1 write + 4 x (16 ms, read)   = 64 ms of waits
//   ReadFirmwareVersion   16 ms, write, 16 ms, read      = 32 ms
//   SendFeatureAfterDelay 16 ms, write                   = 16 ms
//   SendFeature           no wait (music levels)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "link/device_manager.h"
#include "sim/simulated_keyboard.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
    double min, median, mean, max;
};

Figures Summarise(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double v : ms) sum += v;
    return {ms.front(), ms[ms.size() / 2], sum / static_cast<double>(ms.size()), ms.back()};
}

template <typename F>
std::vector<double> Time(int runs, F&& op) {
    std::vector<double> ms;
    ms.reserve(static_cast<size_t>(runs));
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        op();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    return ms;
}

void Print(const char* name, const Figures& f, double waitMs) {
    std::printf("%-22s median %8.3f ms  mean %8.3f  min %8.3f  max %8.3f", name, f.median, f.mean, f.min, f.max);
    if (waitMs > 0)
        std::printf("  waits %5.1f ms  median/waits %.4f  max/waits %.4f\n", waitMs, f.median / waitMs, f.max / waitMs);
    else
        std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;

    auto bus = std::make_shared<sim::SimulatedBus>(&SystemDeviceClock());
    sim::SimKeyboardSetup setup;
    setup.deviceType = 201;
    setup.connections = {{0, 0x1209, 0x0001, false}};
    auto kb = bus->AddKeyboard(setup);
    kb->Attach(0);
    DeviceManager manager(bus, &SystemDeviceClock());
    manager.AddTarget(0x1209, 0x0001, L"", 201, 0, L"HID#VID_1209&PID_0001&MI_01");
    manager.Rescan();
    manager.SetCurrentDeviceType(201);
    if (manager.GetConnectionMode() != 0) {
        std::fprintf(stderr, "transport_bench: the simulated keyboard was not found\n");
        return 1;
    }

    std::uint8_t table[28] = {7, 0xFB, 1};
    std::uint8_t feature[8] = {7, 0x23, 0x45, 0x67, 0x89, 1, 0, 100};
    int version = 0;
    // One of each first, so that the figures do not include first-use costs.
    manager.QueryFeatureTable(table);
    manager.ReadFirmwareVersion(version);

    std::printf("report transport against the simulated keyboard, %d runs each, real clock\n", runs);
    const Figures q = Summarise(Time(runs, [&] {
        std::uint8_t buf[28] = {7, 0xFB, 1};
        manager.QueryFeatureTable(buf);
    }));
    Print("QueryFeatureTable", q, 64.0);
    Print("ReadFirmwareVersion", Summarise(Time(runs, [&] { manager.ReadFirmwareVersion(version); })), 32.0);
    Print("SendFeatureAfterDelay", Summarise(Time(runs, [&] { manager.SendFeatureAfterDelay(feature); })), 16.0);

    const int fast = runs * 2000;
    const Figures s = Summarise(Time(1, [&] {
        for (int i = 0; i < fast; ++i) manager.SendFeature(feature);
    }));
    std::printf("%-22s %8.3f us per report (%d reports, no wait)\n", "SendFeature", s.median * 1000.0 / fast, fast);

    const double limit = 1.02 * 64.0;
    std::printf("QueryFeatureTable median %.3f ms against the limit %.2f ms (1.02 x 64 ms): %s\n", q.median, limit,
                q.median <= limit ? "within" : "OVER");
    kb->ClearTransfers();
    return 0;
}
