// The monitor that listens to the key filter: its listeners, the filter's
// control device and the listening thread that waits for key events and hands
// each to the listeners in order.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "link/softkeys/backends.h"

namespace HidUsbFilter {

class IMonitorProxy {
public:
    virtual ~IMonitorProxy() = default;
    // A key event; non-zero keeps it from the listeners after this one.
    virtual int OnKeyEvent(int usagePage, int keyCode, bool pressed) = 0;
    // Same owner and same function.
    virtual bool SameAs(const IMonitorProxy& other) const = 0;
};

// A listener that calls a member function of its owner.
template <class Owner>
class MonitorProxy final : public IMonitorProxy {
public:
    using Function = int (Owner::*)(int keyCode, bool pressed);

    MonitorProxy(Owner* owner, Function function, std::uint32_t extra)
        : owner_(owner), function_(function), extra_(extra) {}

    int OnKeyEvent(int /*usagePage*/, int keyCode, bool pressed) override {
        return (owner_->*function_)(keyCode, pressed);
    }
    bool SameAs(const IMonitorProxy& other) const override {
        const auto* o = dynamic_cast<const MonitorProxy*>(&other);
        return o && o->owner_ == owner_ && o->function_ == function_;
    }
    std::uint32_t Extra() const { return extra_; }

private:
    Owner* owner_;
    Function function_;
    std::uint32_t extra_;
};

class FilterMonitor {
public:
    explicit FilterMonitor(std::shared_ptr<softkeys::FilterBackend> filter);
    // Stops the listening thread.
    ~FilterMonitor();
    FilterMonitor(const FilterMonitor&) = delete;
    FilterMonitor& operator=(const FilterMonitor&) = delete;

    // Adds the listener unless an equal one is listed; false then.
    bool AddListener(std::unique_ptr<IMonitorProxy> listener);
    std::size_t ListenerCount() const;

    // The filter's control device.
    bool OpenControl();
    bool ControlOpen() const;
    void CloseControl();

    // Requests; their results do not matter and are not checked.
    void SendTable(std::span<const std::uint8_t> table);  // 1024 bytes
    void ClearTable();                                     // 256 zero bytes
    void Prepare();                                        // both preparation requests

    // Starts the listening thread (a running one is stopped first).
    void StartListening();
    // Ends the listening thread: it is told to stop, its wait is cancelled,
    // and the call returns once it has ended. A listener busy with an event
    // finishes it first. Must not be called from a listener. True when a
    // thread was running.
    bool StopMonitor();
    bool Running() const;

    // Called on the listening thread when a filtered keyboard goes away.
    void SetKeyboardLostHandler(std::function<void()> handler);

    softkeys::FilterBackend& Filter() { return *filter_; }

private:
    void Listen(std::uint32_t id);
    void Pause(std::uint32_t id);

    std::shared_ptr<softkeys::FilterBackend> filter_;
    mutable std::mutex lock_;  // the listener list; held while listeners run
    std::vector<std::unique_ptr<IMonitorProxy>> listeners_;
    std::function<void()> keyboardLost_;

    std::mutex threadLock_;  // starting and stopping
    std::thread thread_;
    std::atomic<std::uint32_t> threadId_{0};
    std::uint32_t nextId_ = 0;
    std::mutex sleepLock_;
    std::condition_variable wake_;
};

}  // namespace HidUsbFilter
