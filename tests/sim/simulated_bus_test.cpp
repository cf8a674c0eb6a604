// The simulated bus: what it shows, how faults and unplugging behave, what
// it records, its state file, and installing it for the whole process.
#include <gtest/gtest.h>

#include "link/device_manager.h"
#include "platform/text.h"
#include "sim/install.h"
#include "sim/simulated_keyboard.h"
#include "test_support.h"

using sim::ReadReply;
using sim::TransferKind;

namespace {

sim::SimKeyboardSetup KeyboardSetup(std::string stateFile = {}) {
    sim::SimKeyboardSetup setup;
    setup.deviceType = 201;
    setup.connections = {{0, 0x1209, 1, false}, {1, 0x1209, 2, false}, {2, 0x1209, 3, true}};
    setup.stateFile = std::move(stateFile);
    return setup;
}

HidDevice* OpenVendor(sim::SimulatedBus& bus, int interfaceNumber) {
    for (const HidDeviceInfo& i : bus.Enumerate())
        if (i.usagePage == 0xFF01 && i.interfaceNumber == interfaceNumber) return bus.Open(i.path);
    return nullptr;
}

int WriteFeature(sim::SimulatedBus& bus, HidDevice* d, std::vector<std::uint8_t> bytes) {
    bytes.resize(8, 0);
    return bus.SendFeatureReport(d, bytes.data(), bytes.size());
}

}  // namespace

TEST(SimulatedBus, ShowsTheInterfacesOfEachConnection) {
    sim::SimulatedBus bus;
    auto kb = bus.AddKeyboard(KeyboardSetup());
    EXPECT_TRUE(bus.Enumerate().empty());
    ASSERT_TRUE(kb->Attach(0));
    EXPECT_FALSE(kb->Attach(0));  // already in
    EXPECT_FALSE(kb->Attach(5));  // no such connection
    ASSERT_TRUE(kb->Attach(2));

    std::vector<std::string> seen;
    for (const HidDeviceInfo& i : bus.Enumerate()) {
        char usage[32];
        std::snprintf(usage, sizeof usage, " %04X/%04X ", i.usagePage, i.usage);
        seen.push_back(i.path + usage + i.interfaceName);
    }
    const std::vector<std::string> expected = {
        "/sim/hidraw0 0001/0006 HID#VID_1209&PID_0001&MI_00#HIDRAW0",
        "/sim/hidraw1 FF01/0001 HID#VID_1209&PID_0001&MI_01#HIDRAW1",
        "/sim/hidraw2 FF01/0001 HID#VID_1209&PID_0001&MI_03#HIDRAW2",
        "/sim/hidraw3 0001/0006 HID#{00001812-0000-1000-8000-00805F9B34FB}_VID_1209&PID_0003#HIDRAW3",
        "/sim/hidraw3 FF01/0001 HID#{00001812-0000-1000-8000-00805F9B34FB}_VID_1209&PID_0003#HIDRAW3",
    };
    EXPECT_EQ(seen, expected);

    // Node numbers are reused as the kernel does.
    kb->Detach(0);
    kb->Attach(1);
    EXPECT_EQ(bus.Enumerate().back().path, "/sim/hidraw1");
}

TEST(SimulatedBus, RecordsEveryTransferWithItsKindAndTime) {
    ManualDeviceClock clock;
    sim::SimulatedBus bus(&clock);
    auto kb = bus.AddKeyboard(KeyboardSetup());
    kb->Attach(0);
    HidDevice* cmd = OpenVendor(bus, 1);
    HidDevice* aux = OpenVendor(bus, 3);
    ASSERT_TRUE(cmd && aux);
    std::vector<std::string> live;
    kb->SetTraceListener([&](const sim::TransferRecord& r) { live.push_back(sim::FormatTransfer(r)); });

    std::uint8_t out[65] = {0, 0x88, 0x00, 0x03};
    std::uint8_t packet[65] = {0, 0xBB, 0xAA, 0x99, 0x88, 0xAA, 0x01};
    std::uint8_t frame[65] = {0, 0xF1, 60};
    EXPECT_EQ(bus.Write(cmd, out, 65), 65);
    clock.Advance(1500);
    EXPECT_EQ(WriteFeature(bus, cmd, {7, 0xFD}), 8);
    EXPECT_EQ(bus.Write(cmd, packet, 65), 65);
    EXPECT_EQ(bus.Write(aux, frame, 65), 65);
    std::uint8_t read[8] = {7};
    EXPECT_EQ(bus.GetFeatureReport(cmd, read, 8), 8);
    kb->FailNextTransfers(1);
    EXPECT_EQ(bus.GetFeatureReport(cmd, read, 8), -1);
    EXPECT_EQ(platform::WideToUtf8(bus.ErrorText(cmd)), "Input/output error");

    const auto t = kb->Transfers();
    ASSERT_EQ(t.size(), 6u);
    EXPECT_EQ(t[0].kind, TransferKind::Out);
    EXPECT_EQ(t[1].timeMicros - t[0].timeMicros, 1500);
    EXPECT_EQ(t[2].kind, TransferKind::Packet);
    EXPECT_EQ(t[3].kind, TransferKind::Aux);
    EXPECT_EQ(t[3].interfaceNumber, 3);
    EXPECT_EQ(sim::FormatTransfer(t[0]).substr(0, 26), "W out 00 88 00 03 00 00 00");
    EXPECT_EQ(sim::FormatTransfer(t[0]).size(), std::string("W out").size() + 65 * 3);
    EXPECT_EQ(sim::FormatTransfer(t[1]), "W feature 07 FD 00 00 00 00 00 00");
    EXPECT_EQ(sim::FormatTransfer(t[2]).substr(0, 23), "W packet 00 BB AA 99 88");
    EXPECT_EQ(sim::FormatTransfer(t[4]), "R feature 07 01 05 00 00 00 00 00");
    EXPECT_EQ(sim::FormatTransfer(t[5]), "R feature FAILED");
    ASSERT_EQ(live.size(), 6u);
    EXPECT_EQ(live[4], "R feature 07 01 05 00 00 00 00 00");
    EXPECT_EQ(kb->Memory().light.mode, 2);  // the packet's m = 1 came after the 0x88 mode 3
}

TEST(SimulatedBus, FaultsAndUnplugging) {
    ManualDeviceClock clock;
    sim::SimulatedBus bus(&clock);
    auto kb = bus.AddKeyboard(KeyboardSetup());
    std::vector<std::string> events;
    bus.StartDeviceNotifications([&](const DeviceChange& c) {
        events.push_back(std::string(c.arrival ? "+" : "-") + c.interfaceName);
    });
    kb->Attach(1);
    EXPECT_EQ(events, (std::vector<std::string>{"+HID#VID_1209&PID_0002&MI_00#HIDRAW0",
                                                "+HID#VID_1209&PID_0002&MI_01#HIDRAW1"}));
    events.clear();

    // Refused opens.
    kb->DenyOpen(1, 1);
    EXPECT_EQ(OpenVendor(bus, 1), nullptr);
    EXPECT_EQ(platform::WideToUtf8(bus.ErrorText(nullptr)), "Permission denied");
    kb->DenyOpen(1, 1, false);
    HidDevice* d = OpenVendor(bus, 1);
    ASSERT_NE(d, nullptr);

    // Slow answers take their time on the device clock.
    kb->SetLatencyMs(5);
    const std::int64_t before = clock.NowMicros();
    WriteFeature(bus, d, {7, 0xF0, 0xAA});
    EXPECT_EQ(clock.NowMicros() - before, 5000);
    kb->SetLatencyMs(0);

    // Scripted reads, then answered again.
    WriteFeature(bus, d, {7, 0xFD});
    kb->QueueReadReplies({ReadReply::WrongReportId, ReadReply::Fail});
    std::uint8_t r[8] = {7};
    EXPECT_EQ(bus.GetFeatureReport(d, r, 8), 8);
    EXPECT_NE(r[0], 7);
    EXPECT_EQ(bus.GetFeatureReport(d, r, 8), -1);
    EXPECT_EQ(bus.GetFeatureReport(d, r, 8), 8);
    EXPECT_EQ(r[0], 7);
    EXPECT_EQ(r[1], 0x01);

    // Gone after the second transfer from now, events and all.
    kb->DetachAfterTransfers(1, 2);
    EXPECT_EQ(WriteFeature(bus, d, {7, 0xF0, 0xAA}), 8);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(WriteFeature(bus, d, {7, 0xF0, 0xAA}), 8);
    EXPECT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1], "-HID#VID_1209&PID_0002&MI_01#HIDRAW1");
    EXPECT_EQ(WriteFeature(bus, d, {7, 0xF0, 0xAA}), -1);
    EXPECT_EQ(platform::WideToUtf8(bus.ErrorText(d)), "No such device");
    EXPECT_FALSE(kb->IsAttached(1));
    // The old handle stays dead after the keyboard is back.
    kb->Attach(1);
    EXPECT_EQ(WriteFeature(bus, d, {7, 0xF0, 0xAA}), -1);
    bus.Close(d);
    EXPECT_EQ(WriteFeature(bus, d, {7, 0xF0, 0xAA}), -1);
    EXPECT_EQ(bus.UseAfterClose(), 1);

    // The keyboard collection takes no vendor command.
    HidDevice* keyboard = nullptr;
    for (const HidDeviceInfo& i : bus.Enumerate())
        if (i.usagePage == 0x0001) keyboard = bus.Open(i.path);
    ASSERT_NE(keyboard, nullptr);
    EXPECT_EQ(WriteFeature(bus, keyboard, {7, 0xF0, 0xAA}), -1);
    EXPECT_EQ(kb->Memory().resets, 3);
}

TEST(SimulatedBus, TheStateFileCarriesTheMemoryToTheNextRun) {
    testsupport::TempDir dir;
    const std::string file = dir / "kb.state";
    {
        sim::SimulatedBus bus;
        auto kb = bus.AddKeyboard(KeyboardSetup(file));
        kb->Attach(0);
        HidDevice* d = OpenVendor(bus, 1);
        WriteFeature(bus, d, {7, 0xFA, 1, 2, 0x2C, 1, 5, 1});
        kb->SetFirmwareVersion(0x0107);
    }
    {
        sim::SimulatedBus bus;
        auto kb = bus.AddKeyboard(KeyboardSetup(file));
        EXPECT_EQ(kb->Memory().remapSlots[1].owner, 0x2C);
        EXPECT_EQ(kb->FirmwareSnapshot().Version(), 0x0107);
        const std::string state = kb->DescribeState();
        EXPECT_NE(state.find("device_type 201\n"), std::string::npos);
        EXPECT_NE(state.find("remap_slot 2 key=44 target=5\n"), std::string::npos);
        EXPECT_NE(state.find("firmware 0x0107\n"), std::string::npos);
    }
    {
        // The version given for the run wins over the stored one.
        sim::SimKeyboardSetup setup = KeyboardSetup(file);
        setup.firmwareVersion = 0x0200;
        sim::SimulatedBus bus;
        EXPECT_EQ(bus.AddKeyboard(setup)->FirmwareSnapshot().Version(), 0x0200);
    }
    // A damaged file gives a keyboard in its factory state.
    testsupport::WriteFile(file, "keyloom-sim-stat");
    sim::SimulatedBus bus;
    auto kb = bus.AddKeyboard(KeyboardSetup(file));
    EXPECT_EQ(kb->Memory().remapSlots[1].owner, 0);
    EXPECT_EQ(kb->FirmwareSnapshot().Version(), 0x0105);
    // An unwritable place fails only the save.
    sim::SimulatedBus other;
    auto lost = other.AddKeyboard(KeyboardSetup(dir / "missing/folder/kb.state"));
    EXPECT_FALSE(lost->SaveState());
}

TEST(SimulateOption, Parsing) {
    struct Case {
        const char* text;
        bool ok;
        int type;
        int mode;
    };
    const Case cases[] = {
        {"", true, 201, 0},     {"201", true, 201, 0},  {"101,1", true, 101, 1}, {"201,2", true, 201, 2},
        {"201,3", false, 0, 0}, {"x", false, 0, 0},     {"201,", false, 0, 0},   {",1", false, 0, 0},
        {"0", false, 0, 0},     {"-5", false, 0, 0},    {"99999999999", false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        int type = -1;
        int mode = -1;
        EXPECT_EQ(sim::ParseSimulateOption(c.text, type, mode), c.ok);
        if (c.ok) {
            EXPECT_EQ(type, c.type);
            EXPECT_EQ(mode, c.mode);
        }
    }
}

TEST(Install, TheProcessWideManagerTalksToTheInstalledKeyboard) {
    testsupport::IsolatedHome home;
    testsupport::EnvGuard env;
    env.Set("KEYLOOM_PROGRAM_DIR", testsupport::SourceDir() + "/data");

    const auto k3 = sim::ConnectionsFromConfig(101);
    ASSERT_EQ(k3.size(), 2u);
    EXPECT_EQ(k3[0].productId, 4);
    const auto k7 = sim::ConnectionsFromConfig(201);
    ASSERT_EQ(k7.size(), 3u);
    EXPECT_TRUE(k7[2].bluetooth);
    EXPECT_FALSE(k7[0].bluetooth);
    EXPECT_TRUE(sim::ConnectionsFromConfig(555).empty());
    EXPECT_EQ(sim::InstallSimulatedKeyboard(555, 0, ""), nullptr);
    EXPECT_EQ(sim::InstallSimulatedKeyboard(101, 2, ""), nullptr);  // the K3 has no third mode

    const std::string state = sim::DefaultStateFile(201);
    EXPECT_EQ(state, home.data() + "/keyloom-sim/keyboard-201.state");
    auto kb = sim::InstallSimulatedKeyboard(201, 1, state);
    ASSERT_NE(kb, nullptr);
    EXPECT_EQ(sim::InstalledKeyboard(), kb);
    EXPECT_TRUE(kb->IsAttached(1));
    EXPECT_FALSE(kb->IsAttached(0));

    DeviceManager& manager = DeviceManager::Instance();
    manager.AddTarget(0x1209, 2, L"", 201, 1, L"HID#VID_1209&PID_0002&MI_01");
    manager.Rescan();
    manager.SetCurrentDeviceType(201);
    EXPECT_EQ(manager.GetConnectionMode(), 1);
    std::vector<std::uint8_t> data(64, 0);
    data[0] = 0xBB, data[1] = 0xAA, data[2] = 0x99, data[3] = 0x88, data[4] = 0xAA, data[5] = 6;
    EXPECT_TRUE(manager.WritePacket(data));
    EXPECT_EQ(kb->Memory().light.mode, 7);
    EXPECT_NE(testsupport::ReadFile(state).find("light 7 "), std::string::npos);

    // A second install replaces the first; the manager moves along.
    auto all = sim::InstallSimulatedKeyboard(101, -1, "");
    ASSERT_NE(all, nullptr);
    EXPECT_TRUE(all->IsAttached(0) && all->IsAttached(1));
    EXPECT_FALSE(manager.IsOpen());

    sim::UninstallSimulatedKeyboard();
    EXPECT_EQ(sim::InstalledKeyboard(), nullptr);
    manager.Rescan();
    EXPECT_TRUE(manager.Interfaces().empty());  // no such keyboard on the real bus here
}
