// Hot-plug notifications for hidraw nodes, and the interface names the
// program's device description matches against.
//
// The keyboard is recognised on arrival and removal by a substring of its
// interface name (config.xml's hid_interface). Linux has no such names, so
// one is synthesised from the node's identity in the form the patterns were
// written for:
//   USB and others:  HID#VID_1209&PID_0001&MI_03#HIDRAW3
//   Bluetooth:       HID#{00001812-0000-1000-8000-00805F9B34FB}_VID_1209&PID_0003#HIDRAW4
// (upper case throughout; MI_xx is left out when there is no interface number).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace platform {

// The HID-over-GATT service a Bluetooth keyboard's interface name carries.
inline constexpr const char* kHidOverGattUuid = "00001812-0000-1000-8000-00805F9B34FB";

// Linux bus numbers as they appear in the HID device name (BUS_USB ...).
inline constexpr int kBusUsb = 0x03;
inline constexpr int kBusBluetooth = 0x05;

struct HidrawIdentity {
    int bus = 0;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    int interfaceNumber = -1;  // USB interface, -1 when the node is not on USB
    std::string sysname;       // "hidraw3"
};

std::string HidInterfaceName(std::uint16_t vendorId, std::uint16_t productId, int interfaceNumber,
                             const std::string& sysname, bool bluetooth);
std::string HidInterfaceName(const HidrawIdentity& id);

// Reads the identity from a hidraw node's sysfs device path, e.g.
// /devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.3/0003:1209:0001.0007/hidraw/hidraw3.
// The path alone is used because a removed node's sysfs entries are gone by
// the time its event is read. Empty when the path holds no HID device name.
std::optional<HidrawIdentity> ParseHidrawDevpath(const std::string& devpath);

struct HidrawEvent {
    bool arrival = false;       // false: removal
    HidrawIdentity id;
    std::string interfaceName;  // HidInterfaceName(id)
    std::string devnode;        // /dev/hidraw3 (may be empty on removal)
};

// Listens for hidraw add and remove events on a thread of its own and hands
// each to the handler there; the handler should only queue work.
class UdevMonitor {
public:
    using Handler = std::function<void(const HidrawEvent&)>;
    // Where events come from: udevd's rebroadcast (after its rules ran, so the
    // node's permissions are in place) or the kernel's own uevents (the only
    // ones there are when no udevd runs). Automatic picks udev when udevd runs.
    enum class Source { Automatic, Udev, Kernel };

    UdevMonitor() = default;
    ~UdevMonitor();
    UdevMonitor(const UdevMonitor&) = delete;
    UdevMonitor& operator=(const UdevMonitor&) = delete;

    // False when the monitor cannot be created (no netlink access, say) or is
    // already running.
    bool Start(Handler handler, Source source = Source::Automatic);
    // Returns once the listening thread has ended; safe to call when stopped.
    void Stop();
    bool Running() const { return running_.load(); }

private:
    void Listen(void* monitor, int stopFd);

    std::mutex lock_;
    Handler handler_;  // set before the thread starts, cleared after it ends
    std::thread thread_;
    std::atomic<bool> running_{false};
    int stopFd_ = -1;
};

}  // namespace platform
