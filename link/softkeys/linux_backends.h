// The real backends of the software keys: the virtual keyboard as a uinput
// device, the filter as the evdev grab of the keyboard's event nodes.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/softkeys/backends.h"
#include "platform/evdev_filter.h"
#include "platform/uinput_device.h"

namespace softkeys {

// The uinput virtual keyboard named `name` (vendor 0xDEED, product 0xFEED).
std::unique_ptr<VirtualDeviceBackend> MakeUinputBackend(const std::string& name = "vhidev");
// The same over devices `makeDevice` makes (tests: UinputDevice::Adopt).
std::unique_ptr<VirtualDeviceBackend> MakeUinputBackend(
    std::function<std::unique_ptr<platform::UinputDevice>()> makeDevice);

class EvdevFilterBackend final : public FilterBackend {
public:
    // The keyboards are the input devices with these ids (config.xml's
    // modes). Null system: udev and libevdev.
    explicit EvdevFilterBackend(std::vector<platform::InputDeviceId> ids,
                                std::unique_ptr<platform::EvdevSystem> system = nullptr);
    ~EvdevFilterBackend() override;

    bool Open() override;
    bool IsOpen() const override { return open_.load(); }
    void Close() override;
    void SetTable(std::span<const std::uint8_t> table) override;
    // Nothing to prepare: reported events wait in the filter's queue.
    void Prepare() override {}
    void PrepareSecond() override {}
    FilterWait WaitKeyEvent(FilterKeyEvent& event) override;
    void CancelWait() override;
    bool SetCapture(std::shared_ptr<platform::KeyCaptureSink> sink) override;

    platform::EvdevFilter& Filter() { return filter_; }

private:
    platform::EvdevFilter filter_;
    std::atomic<bool> open_{false};
};

}  // namespace softkeys
