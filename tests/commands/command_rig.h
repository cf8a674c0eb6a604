// A command set wired to a simulated keyboard on a manual clock, a real
// database in a home of its own, a small layout and recording fakes of the
// main window's seams. Waits are checked as recorded time, not slept.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "link/commands/command_set.h"
#include "link/device_manager.h"
#include "sim/simulated_keyboard.h"
#include "sim/trace.h"
#include "store/profile_store.h"
#include "store/settings.h"
#include "test_support.h"

namespace cmdtest {

// "07 FA 01" -> bytes, padded with zeros to `length` (0: as written).
inline std::vector<std::uint8_t> Hex(const std::string& text, size_t length = 0) {
    std::vector<std::uint8_t> out;
    std::istringstream in(text);
    std::string pair;
    while (in >> pair) out.push_back(static_cast<std::uint8_t>(std::stoi(pair, nullptr, 16)));
    if (out.size() < length) out.resize(length, 0);
    return out;
}

// The trace line of a transfer: a feature report as written, an output
// report or packet padded to the 65 bytes on the wire.
inline std::string Feature(const std::string& hex) { return "W feature " + sim::HexBytes(Hex(hex, 8)); }
inline std::string Out(const std::string& hex) { return "W out " + sim::HexBytes(Hex(hex, 65)); }
inline std::string Aux(const std::string& hex) { return "W aux " + sim::HexBytes(Hex(hex, 65)); }
inline std::string PacketLine(const std::string& hex) { return "W packet " + sim::HexBytes(Hex("00 " + hex, 65)); }
inline std::string Read(const std::string& hex) { return "R feature " + sim::HexBytes(Hex(hex, 8)); }

class FakePicture : public commands::ILightingPicture {
public:
    std::vector<int> order;               // key codes in picture order
    std::map<int, COLORREF> colours;      // current colour per key
    std::vector<std::string> calls;       // what was asked, in order

    void SetKeyColor(int keyCode, COLORREF colour) override {
        colours[keyCode] = colour;
        calls.push_back("key " + std::to_string(keyCode));
    }
    std::vector<commands::PictureKey> GetKeyItems() const override {
        std::vector<commands::PictureKey> items;
        for (int code : order) {
            const auto it = colours.find(code);
            items.push_back({code, it == colours.end() ? 0u : it->second});
        }
        return items;
    }
    void ResetAllItemsColor(COLORREF colour) override {
        for (int code : order) colours[code] = colour;
        calls.push_back("reset " + std::to_string(colour));
    }
    void SetLightModeColor(int white, COLORREF colour) override {
        for (int code : order) colours[code] = white ? 0xFFFFFF : colour;
        calls.push_back("mode " + std::to_string(white) + " " + std::to_string(colour));
    }
    void Redraw() override { calls.push_back("redraw"); }
};

class FakeEngine : public commands::IEffectColours {
public:
    std::map<std::pair<int, int>, COLORREF> cells;
    COLORREF CellColour(int row, int column) const override {
        const auto it = cells.find({row, column});
        return it == cells.end() ? 0 : it->second;
    }
};

class FakeWindow : public commands::IPageReload, public commands::IFirmwareUpdateUi, public commands::IProgramControl {
public:
    explicit FakeWindow(DeviceClock& clock) : clock_(clock) {}
    std::vector<std::string> calls;
    std::vector<std::int64_t> callTimes;  // clock time of each call

    void ReloadPages() override { Note("reload"); }
    void SetUpgradeStatus(int status) override { Note("upgrade " + std::to_string(status)); }
    void PushTask(int code) override { Note("task " + std::to_string(code)); }
    void RefreshConnection() override { Note("refresh"); }
    void ExitProgram(int code) override { Note("exit " + std::to_string(code)); }

private:
    void Note(const std::string& s) {
        calls.push_back(s);
        callTimes.push_back(clock_.NowMicros());
    }
    DeviceClock& clock_;
};

struct Rig {
    // `mode`: the connection attached (0 cable, 1 receiver).
    explicit Rig(int deviceType = 201, int mode = 0);
    ~Rig();

    // Transfers since the last Take, as trace lines / records.
    std::vector<std::string> TakeLines();
    std::vector<sim::TransferRecord> Take();
    // A key assignment of the current profile, layer 0, in row order. Rows
    // the store would not keep (value 0) are written directly.
    void AddKey(int keyCode, int kind, int value, int profile = 1);
    // A macro with the given steps (type, virtual key, delay); returns its id.
    int AddMacro(const std::vector<std::array<int, 3>>& steps, int playTimes = 1);
    // Raw reports, as if an earlier upload had left them: a remap slot or a
    // macro slot owned by `keyCode`.
    void FillRemapSlot(int slot, int keyCode, int target = 4);
    void FillMacroSlot(int slot, int keyCode);

    testsupport::IsolatedHome home;
    ManualDeviceClock clock;
    std::shared_ptr<sim::SimulatedBus> bus = std::make_shared<sim::SimulatedBus>(&clock);
    DeviceManager manager{bus, &clock};
    std::shared_ptr<sim::SimulatedKeyboard> kb;
    ProfileStore store;
    KeyboardLayout layout;
    commands::CommandState state;
    FakePicture picture;
    FakeEngine screen;
    FakeEngine music;
    FakeWindow window{clock};
    commands::CommandSet cmd{state, store, layout, manager};
};

}  // namespace cmdtest
