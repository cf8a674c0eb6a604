#include "link/softkeys/linux_backends.h"

#include <mutex>

namespace softkeys {

namespace {

class UinputBackend final : public VirtualDeviceBackend {
public:
    explicit UinputBackend(std::function<std::unique_ptr<platform::UinputDevice>()> make) : make_(std::move(make)) {}

    bool Open() override {
        std::lock_guard<std::mutex> guard(lock_);
        // A working device stays: recreating it would drop the keys it holds
        // and costs milliseconds on every key event. A broken one is replaced.
        if (device_ && device_->Healthy()) return true;
        device_.reset();
        device_ = make_();
        return device_ != nullptr;
    }
    bool IsOpen() const override {
        std::lock_guard<std::mutex> guard(lock_);
        return device_ && device_->Healthy();
    }
    void Close() override {
        std::lock_guard<std::mutex> guard(lock_);
        device_.reset();
    }
    bool Write(std::span<const std::uint8_t, kDeviceWriteSize> buffer) override {
        std::lock_guard<std::mutex> guard(lock_);
        return device_ && device_->WriteReport(buffer);
    }

private:
    std::function<std::unique_ptr<platform::UinputDevice>()> make_;
    mutable std::mutex lock_;
    std::unique_ptr<platform::UinputDevice> device_;
};

}  // namespace

std::unique_ptr<VirtualDeviceBackend> MakeUinputBackend(const std::string& name) {
    return MakeUinputBackend([name] { return platform::UinputDevice::Create(name); });
}

std::unique_ptr<VirtualDeviceBackend> MakeUinputBackend(
    std::function<std::unique_ptr<platform::UinputDevice>()> makeDevice) {
    return std::make_unique<UinputBackend>(std::move(makeDevice));
}

EvdevFilterBackend::EvdevFilterBackend(std::vector<platform::InputDeviceId> ids,
                                       std::unique_ptr<platform::EvdevSystem> system)
    : filter_(std::move(ids), std::move(system)) {}

EvdevFilterBackend::~EvdevFilterBackend() { Close(); }

bool EvdevFilterBackend::Open() {
    if (!open_.load()) open_.store(filter_.Start());
    return open_.load();
}

void EvdevFilterBackend::Close() {
    filter_.SetCapture(nullptr);
    filter_.Stop();
    open_.store(false);
    filter_.Events().Cancel();
}

void EvdevFilterBackend::SetTable(std::span<const std::uint8_t> table) {
    filter_.SetTable(InputCodesForKeyCodes(KeyTableCodes(table)));
}

FilterWait EvdevFilterBackend::WaitKeyEvent(FilterKeyEvent& event) {
    if (!open_.load()) return FilterWait::None;
    return filter_.Events().Wait(event);
}

void EvdevFilterBackend::CancelWait() { filter_.Events().Cancel(); }

bool EvdevFilterBackend::SetCapture(std::shared_ptr<platform::KeyCaptureSink> sink) {
    if (!open_.load()) return false;
    filter_.SetCapture(std::move(sink));
    return true;
}

}  // namespace softkeys
