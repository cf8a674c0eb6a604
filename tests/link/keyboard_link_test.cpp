// The main window's device scan and device-change handling, over config.xml
// fixtures and the simulated bus.
#include <gtest/gtest.h>

#include "link/keyboard_link.h"
#include "recording_observer.h"
#include "sim/simulated_keyboard.h"
#include "test_support.h"

using linktest::RecordingObserver;

namespace {

const char* kConfig = R"(<config><device.info>
  <keyboard name="K7" device_type="201" device_info="k7">
    <mode value="0" vid="0x1209" pid="0x0001" product_name="" hid_interface="HID#VID_1209&amp;PID_0001&amp;MI_01"/>
    <mode value="1" vid="0x1209" pid="0x0002" product_name="" hid_interface="HID#VID_1209&amp;PID_0002&amp;MI_01"/>
    <mode value="2" vid="0x1209" pid="0x0003" product_name="" hid_interface="{00001812-0000-1000-8000-00805F9B34FB}"/>
  </keyboard>
  <keyboard name="K3" device_type="101" device_info="k3">
    <mode value="0" vid="0x1209" pid="0x0004" hid_interface="HID#VID_1209&amp;PID_0004&amp;MI_01"/>
  </keyboard>
</device.info></config>)";

struct Rig {
    testsupport::TempDir dir;
    ManualDeviceClock clock;
    std::shared_ptr<sim::SimulatedBus> bus = std::make_shared<sim::SimulatedBus>(&clock);
    DeviceManager manager{bus, &clock};
    RecordingObserver view;
    KeyboardLink link{manager};
    std::shared_ptr<sim::SimulatedKeyboard> k7;
    std::shared_ptr<sim::SimulatedKeyboard> k3;

    explicit Rig(const char* config = kConfig) {
        testsupport::WriteFile(dir / "config.xml", config);
        link.SetProgramFolder(CString::FromUtf8(dir.path()));
        link.SetObserver(&view);
        link.SetTaskSink(&view);
        sim::SimKeyboardSetup a;
        a.deviceType = 201;
        a.connections = {{0, 0x1209, 1, false}, {1, 0x1209, 2, false}, {2, 0x1209, 3, true}};
        k7 = bus->AddKeyboard(a);
        sim::SimKeyboardSetup b;
        b.deviceType = 101;
        b.connections = {{0, 0x1209, 4, false}};
        k3 = bus->AddKeyboard(b);
        link.LoadDeviceDescription();
        view.calls.clear();
    }
    std::vector<int> Connected() const {
        std::vector<int> out;
        for (const DeviceDescription& m : link.Modes()) out.push_back(m.connected);
        return out;
    }
    LRESULT Change(WPARAM event, const char* name, int type = DBT_DEVTYP_DEVICEINTERFACE) {
        DeviceInterfaceHeader h;
        h.deviceType = type;
        h.name = CString::FromUtf8(name);
        return link.OnDeviceChange(event, &h);
    }
};

}  // namespace

TEST(ScanDevices, MarksEveryModeFoundAndTheStripEntries) {
    Rig r;
    r.k7->Attach(0);
    r.k7->Attach(1);
    r.view.tasks.clear();
    r.link.ScanDevices();
    EXPECT_TRUE(r.link.DeviceMatched());
    EXPECT_TRUE(r.link.AnyInterfaceOpen());
    EXPECT_EQ(r.Connected(), (std::vector<int>{1, 1, 0, 0}));
    const std::vector<std::string> expected = {"ResetAllDeviceStates", "SetDeviceState 201 1", "SetDeviceState 201 1"};
    EXPECT_EQ(r.view.calls, expected);
    // The scan leaves every type selected; the main window picks 201.
    EXPECT_EQ(r.manager.CurrentDeviceType(), 0);
    EXPECT_EQ(r.manager.GetConnectionMode(), 0);
}

TEST(ScanDevices, WithNoKeyboardEveryDeviceStaysUnconnected) {
    Rig r;
    r.link.ScanDevices();
    EXPECT_FALSE(r.link.DeviceMatched());
    EXPECT_FALSE(r.link.AnyInterfaceOpen());
    EXPECT_EQ(r.Connected(), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(r.view.calls, std::vector<std::string>{"ResetAllDeviceStates"});
}

TEST(ScanDevices, ARecordNotFoundKeepsItsConnectedValue) {
    // Only a removal event clears connected; a scan that no longer finds the
    // interface leaves it.
    Rig r;
    r.manager.StopDeviceNotifications();
    r.k3->Attach(0);
    r.link.ScanDevices();
    EXPECT_EQ(r.Connected(), (std::vector<int>{0, 0, 0, 1}));
    r.k3->Detach(0);
    r.link.ScanDevices();
    EXPECT_EQ(r.Connected(), (std::vector<int>{0, 0, 0, 1}));
    EXPECT_FALSE(r.link.DeviceMatched());
    EXPECT_FALSE(r.link.AnyInterfaceOpen());
}

TEST(DeviceChange, ArrivalAndRemovalRules) {
    Rig r;
    r.k7->Attach(0);
    r.link.ScanDevices();  // marks the cable record connected
    r.view.tasks.clear();

    struct Case {
        const char* what;
        WPARAM event;
        const char* name;
        int headerType;
        std::vector<int> tasks;
    };
    const Case cases[] = {
        {"arrival of a described interface", DBT_DEVICEARRIVAL, "HID#VID_1209&PID_0002&MI_01#HIDRAW9", 5, {2}},
        {"names are compared in upper case", DBT_DEVICEARRIVAL, "hid#vid_1209&pid_0004&mi_01#hidraw9", 5, {2}},
        {"another interface of the same device", DBT_DEVICEARRIVAL, "HID#VID_1209&PID_0002&MI_00#HIDRAW8", 5, {}},
        {"a Bluetooth keyboard", DBT_DEVICEARRIVAL,
         "HID#{00001812-0000-1000-8000-00805F9B34FB}_VID_1209&PID_0003#HIDRAW7", 5, {}},
        {"something else", DBT_DEVICEARRIVAL, "HID#VID_046D&PID_C077&MI_00#HIDRAW6", 5, {}},
        {"another header type", DBT_DEVICEARRIVAL, "HID#VID_1209&PID_0002&MI_01#HIDRAW9", 2, {}},
        {"another event", 0x8003, "HID#VID_1209&PID_0002&MI_01#HIDRAW9", 5, {}},
        {"removal of a device never connected", DBT_DEVICEREMOVECOMPLETE, "HID#VID_1209&PID_0002&MI_01#HIDRAW9", 5, {}},
        {"removal of a Bluetooth interface", DBT_DEVICEREMOVECOMPLETE,
         "HID#{00001812-0000-1000-8000-00805F9B34FB}_VID_1209&PID_0001&MI_01", 5, {}},
        {"removal of the connected cable", DBT_DEVICEREMOVECOMPLETE, "HID#VID_1209&PID_0001&MI_01#HIDRAW1", 5, {3}},
        {"and once more: now unconnected", DBT_DEVICEREMOVECOMPLETE, "HID#VID_1209&PID_0001&MI_01#HIDRAW1", 5, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        r.view.tasks.clear();
        EXPECT_EQ(r.Change(c.event, c.name, c.headerType), 0);
        EXPECT_EQ(r.view.tasks, c.tasks);
    }
    EXPECT_EQ(r.Connected(), (std::vector<int>{0, 0, 0, 0}));
    // A null header is ignored.
    EXPECT_EQ(r.link.OnDeviceChange(DBT_DEVICEARRIVAL, nullptr), 0);
}

TEST(DeviceChange, AnEmptyPatternMatchesEveryInterface) {
    Rig r(R"(<config><device.info><keyboard name="Any" device_type="201">
        <mode value="0" vid="0x1209" pid="0x0001"/></keyboard></device.info></config>)");
    r.view.tasks.clear();
    r.Change(DBT_DEVICEARRIVAL, "HID#VID_FFFF&PID_FFFF#HIDRAW0");
    EXPECT_EQ(r.view.tasks, std::vector<int>{2});
}

TEST(DeviceChange, PluggingAndUnpluggingTheSimulatorQueuesTheRefreshTasks) {
    Rig r;  // LoadDeviceDescription registered the notifications
    r.view.tasks.clear();
    r.k7->Attach(0);  // three nodes arrive; the pattern names the vendor one
    EXPECT_EQ(r.view.tasks, std::vector<int>{KeyboardLink::kTaskDeviceArrived});
    r.link.ScanDevices();
    r.view.tasks.clear();
    r.k7->Detach(0);
    EXPECT_EQ(r.view.tasks, std::vector<int>{KeyboardLink::kTaskDeviceRemoved});
    r.view.tasks.clear();
    r.k7->Attach(2);  // Bluetooth
    r.k7->Detach(2);
    EXPECT_TRUE(r.view.tasks.empty());
}

TEST(DeviceChange, DeliveryCanBeHandedToTheWindow) {
    Rig r;
    std::vector<std::pair<WPARAM, std::string>> posted;
    r.link.SetDeviceChangeDelivery([&](const DeviceChange& c) {
        const DeviceInterfaceHeader h = KeyboardLink::HeaderOf(c);
        posted.push_back({KeyboardLink::EventOf(c), linktest::U8(h.name)});
    });
    ASSERT_TRUE(r.link.RegisterDeviceNotifications());
    r.view.tasks.clear();
    r.k3->Attach(0);
    EXPECT_TRUE(r.view.tasks.empty());  // nothing handled on the notifying thread
    ASSERT_EQ(posted.size(), 3u);
    EXPECT_EQ(posted[1].first, DBT_DEVICEARRIVAL);
    EXPECT_EQ(posted[1].second.rfind("HID#VID_1209&PID_0004&MI_01#HIDRAW", 0), 0u);
}
