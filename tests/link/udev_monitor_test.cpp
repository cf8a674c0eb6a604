// Interface names from hidraw device paths, the udev monitor's life cycle,
// and the real HID bus on a machine without the keyboard.
#include <gtest/gtest.h>

#include "link/device_manager.h"
#include "link/hid_backend.h"
#include "platform/udev_monitor.h"

TEST(HidrawNames, FromDevicePaths) {
    struct Case {
        const char* devpath;
        bool parsed;
        const char* name;
    };
    const Case cases[] = {
        {"/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.3/0003:1209:0001.0007/hidraw/hidraw3", true,
         "HID#VID_1209&PID_0001&MI_03#HIDRAW3"},
        {"/devices/pci0000:00/0000:00:14.0/usb3/3-1/3-1.4/3-1.4.2/3-1.4.2:1.0/0003:046D:C52B.0011/hidraw/hidraw12", true,
         "HID#VID_046D&PID_C52B&MI_00#HIDRAW12"},
        {"/devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.1/0003:1209:00ab.0002/hidraw/hidraw0", true,
         "HID#VID_1209&PID_00AB&MI_01#HIDRAW0"},
        {"/devices/virtual/misc/uhid/0005:1209:0003.0008/hidraw/hidraw4", true,
         "HID#{00001812-0000-1000-8000-00805F9B34FB}_VID_1209&PID_0003#HIDRAW4"},
        {"/devices/platform/i2c/i2c-1/0018:04F3:3057.0001/hidraw/hidraw1", true, "HID#VID_04F3&PID_3057#HIDRAW1"},
        {"/devices/virtual/misc/hidraw5", false, ""},
        {"/devices/pci0000:00/0003:12:0001.0007/hidraw/hidraw3", false, ""},
        {"", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.devpath);
        const auto id = platform::ParseHidrawDevpath(c.devpath);
        ASSERT_EQ(id.has_value(), c.parsed);
        if (id) {
            EXPECT_EQ(platform::HidInterfaceName(*id), c.name);
        }
    }
    const auto usb = platform::ParseHidrawDevpath(cases[0].devpath);
    EXPECT_EQ(usb->bus, platform::kBusUsb);
    EXPECT_EQ(usb->vendorId, 0x1209);
    EXPECT_EQ(usb->productId, 1);
    EXPECT_EQ(usb->interfaceNumber, 3);
    EXPECT_EQ(usb->sysname, "hidraw3");
}

TEST(UdevMonitor, StartsAndStopsCleanly) {
    platform::UdevMonitor monitor;
    EXPECT_FALSE(monitor.Start(nullptr));
    if (!monitor.Start([](const platform::HidrawEvent&) {}, platform::UdevMonitor::Source::Kernel))
        GTEST_SKIP() << "no uevent socket on this machine";
    EXPECT_TRUE(monitor.Running());
    EXPECT_FALSE(monitor.Start([](const platform::HidrawEvent&) {}));  // already running
    monitor.Stop();
    EXPECT_FALSE(monitor.Running());
    monitor.Stop();  // twice is fine
    EXPECT_TRUE(monitor.Start([](const platform::HidrawEvent&) {}, platform::UdevMonitor::Source::Kernel));
}

TEST(HidapiBackend, FailsQuietlyWithoutTheKeyboard) {
    auto bus = MakeHidapiBackend();
    for (const HidDeviceInfo& info : bus->Enumerate()) {
        // Whatever the machine has, every interface gets a synthesised name.
        EXPECT_EQ(info.interfaceName.rfind("HID#", 0), 0u) << info.path;
    }
    EXPECT_EQ(bus->Open("/dev/keyloom-no-such-node"), nullptr);
    EXPECT_FALSE(bus->ErrorText(nullptr).empty());

    // A manager over the real bus with a target nobody has opens nothing and
    // sends nothing.
    DeviceManager manager(bus);
    manager.AddTarget(0x1209, 0xFFF0, L"", 201, 0, L"PID_FFF0");
    manager.Rescan();
    EXPECT_TRUE(manager.Interfaces().empty());
    std::uint8_t report[8] = {7, 0xF0, 0xAA};
    EXPECT_FALSE(manager.SendFeature(report));
}
