// The seam between the keyboard link and the HID bus. Everything above it
// (discovery, the report operations, the command sets) is the same whether
// the bus is the machine's hidraw nodes (hidapi) or the simulated keyboard.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// One HID interface (top-level collection) as enumerated.
struct HidDeviceInfo {
    std::string path;           // what Open takes (/dev/hidraw3 on the real bus)
    std::string interfaceName;  // upper-case synthesised name, HID#VID_1209&PID_0001&MI_03#HIDRAW3
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::wstring productString;
    std::uint16_t releaseNumber = 0;
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    int interfaceNumber = -1;
    bool bluetooth = false;
};

// An open interface. Each backend derives its own; only that backend looks
// inside.
class HidDevice {
public:
    virtual ~HidDevice() = default;
};

// An interface arriving or leaving, as the device-change path sees it.
struct DeviceChange {
    bool arrival = false;
    std::string interfaceName;  // upper-case synthesised name
};

class HidBackend {
public:
    virtual ~HidBackend() = default;

    // Every HID interface of every vendor and product.
    virtual std::vector<HidDeviceInfo> Enumerate() = 0;
    // Null when the interface cannot be opened; Close releases what Open gave.
    virtual HidDevice* Open(const std::string& path) = 0;
    virtual void Close(HidDevice* device) = 0;
    // The three transfers return the bytes moved (report id included), or -1.
    virtual int Write(HidDevice* device, const std::uint8_t* data, std::size_t length) = 0;
    virtual int SendFeatureReport(HidDevice* device, const std::uint8_t* data, std::size_t length) = 0;
    // data[0] holds the report id on entry.
    virtual int GetFeatureReport(HidDevice* device, std::uint8_t* data, std::size_t length) = 0;
    // The error text of the last failed call on `device` (empty after a
    // success), or of the last failed Open when `device` is null.
    virtual std::wstring ErrorText(HidDevice* device) = 0;

    // Arrivals and removals of HID interfaces, delivered on whatever thread
    // the backend notices them; the handler should only queue work. False
    // when notifications cannot be had. A second start replaces the handler.
    virtual bool StartDeviceNotifications(std::function<void(const DeviceChange&)> handler) = 0;
    virtual void StopDeviceNotifications() = 0;
};

// The real bus: hidapi over hidraw, notifications from udev.
std::shared_ptr<HidBackend> MakeHidapiBackend();
