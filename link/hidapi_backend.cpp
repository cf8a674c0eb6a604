// The real HID bus: hidapi's hidraw backend for enumeration and transfers,
// the udev monitor for arrivals and removals.
#include <hidapi/hidapi.h>

#include <mutex>

#include "link/hid_backend.h"
#include "platform/udev_monitor.h"

namespace {

class HidapiDevice final : public HidDevice {
public:
    explicit HidapiDevice(hid_device* d) : handle(d) {}
    hid_device* handle;
};

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

class HidapiBackend final : public HidBackend {
public:
    // A failed hid_init is not final: hidapi tries again on every
    // enumeration and open.
    HidapiBackend() { hid_init(); }
    ~HidapiBackend() override {
        monitor_.Stop();
        hid_exit();
    }

    std::vector<HidDeviceInfo> Enumerate() override {
        std::vector<HidDeviceInfo> out;
        hid_device_info* list = hid_enumerate(0, 0);
        for (hid_device_info* d = list; d; d = d->next) {
            HidDeviceInfo info;
            info.path = d->path ? d->path : "";
            info.vendorId = d->vendor_id;
            info.productId = d->product_id;
            if (d->product_string) info.productString = d->product_string;
            info.releaseNumber = d->release_number;
            info.usagePage = d->usage_page;
            info.usage = d->usage;
            info.interfaceNumber = d->interface_number;
            info.bluetooth = d->bus_type == HID_API_BUS_BLUETOOTH;
            info.interfaceName = platform::HidInterfaceName(info.vendorId, info.productId,
                                                            info.bluetooth ? -1 : info.interfaceNumber,
                                                            BaseName(info.path), info.bluetooth);
            out.push_back(std::move(info));
        }
        hid_free_enumeration(list);
        return out;
    }

    HidDevice* Open(const std::string& path) override {
        hid_device* d = hid_open_path(path.c_str());
        return d ? new HidapiDevice(d) : nullptr;
    }

    void Close(HidDevice* device) override {
        auto* d = static_cast<HidapiDevice*>(device);
        if (!d) return;
        hid_close(d->handle);
        delete d;
    }

    int Write(HidDevice* device, const std::uint8_t* data, std::size_t length) override {
        return hid_write(Handle(device), data, length);
    }
    int SendFeatureReport(HidDevice* device, const std::uint8_t* data, std::size_t length) override {
        return hid_send_feature_report(Handle(device), data, length);
    }
    int GetFeatureReport(HidDevice* device, std::uint8_t* data, std::size_t length) override {
        return hid_get_feature_report(Handle(device), data, length);
    }

    std::wstring ErrorText(HidDevice* device) override {
        const wchar_t* text = hid_error(device ? Handle(device) : nullptr);
        std::wstring s = text ? text : L"";
        // hidapi reports "Success" for a device without an error.
        if (s == L"Success") s.clear();
        return s;
    }

    bool StartDeviceNotifications(std::function<void(const DeviceChange&)> handler) override {
        std::lock_guard<std::mutex> guard(lock_);
        monitor_.Stop();
        if (!handler) return false;
        return monitor_.Start([h = std::move(handler)](const platform::HidrawEvent& ev) {
            h(DeviceChange{ev.arrival, ev.interfaceName});
        });
    }
    void StopDeviceNotifications() override {
        std::lock_guard<std::mutex> guard(lock_);
        monitor_.Stop();
    }

private:
    static hid_device* Handle(HidDevice* device) { return static_cast<HidapiDevice*>(device)->handle; }

    std::mutex lock_;
    platform::UdevMonitor monitor_;
};

}  // namespace

std::shared_ptr<HidBackend> MakeHidapiBackend() { return std::make_shared<HidapiBackend>(); }
