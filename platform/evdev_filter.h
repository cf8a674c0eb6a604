// The key filter over evdev: the keyboard's event nodes, found through udev by
// vendor and product id, are read on a thread of the filter's own and grabbed
// while there is something to filter (FilterCore has the rules). Table keys
// are reported into an event queue; every other event goes on unchanged
// through a uinput copy of the node; LEDs the system sets on the copy are set
// on the keyboard. Keyboards that come later are picked up, ones that go away
// are let go and reported as lost.
//
// The system calls sit behind EvdevSystem and EvdevNode so the whole filter
// runs in tests against socket pairs standing in for the nodes.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/filter_core.h"
#include "platform/key_hook.h"

namespace platform {

struct InputDeviceId {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    bool operator==(const InputDeviceId&) const = default;
};

// One opened event node and its pass-through copy. Destroying it ends the
// grab, removes the copy (the kernel releases what the copy held) and closes
// the node.
class EvdevNode {
public:
    virtual ~EvdevNode() = default;
    virtual int EventFd() const = 0;  // input_event records to read
    virtual int CopyFd() const = 0;   // where passed-through records go; LED requests come back on it
    virtual bool Grab(bool on) = 0;
    virtual std::vector<std::uint16_t> KeysDown() = 0;
    virtual bool NumLock() = 0;
    virtual void SetLed(std::uint16_t led, bool on) = 0;
};

class EvdevSystem {
public:
    virtual ~EvdevSystem() = default;
    // Event nodes (/dev/input/eventN) of input devices with these ids;
    // virtual devices (our own copies among them) never count.
    virtual std::vector<std::string> FindNodes(const std::vector<InputDeviceId>& ids) = 0;
    virtual std::unique_ptr<EvdevNode> Open(const std::string& node, std::string* error) = 0;
    // Readable when event nodes come or go; -1 without hot-plug.
    virtual int HotplugFd() = 0;
    struct Change {
        bool added = false;
        std::string node;
    };
    // Additions only of nodes with these ids; removals of any node.
    virtual std::vector<Change> ReadHotplug(const std::vector<InputDeviceId>& ids) = 0;
};

// libudev for finding and watching, libevdev for the copies.
std::unique_ptr<EvdevSystem> MakeEvdevSystem();

class EvdevFilter {
public:
    // Null system: the real one.
    explicit EvdevFilter(std::vector<InputDeviceId> ids, std::unique_ptr<EvdevSystem> system = nullptr);
    ~EvdevFilter();
    EvdevFilter(const EvdevFilter&) = delete;
    EvdevFilter& operator=(const EvdevFilter&) = delete;

    // Starts the filter's thread, which opens the keyboards present. True
    // also when no keyboard is there yet.
    bool Start();
    // Ends every grab (table keys still held are reported released, keys held
    // on a copy are released there), closes the nodes and ends the thread.
    void Stop();
    bool Running() const { return thread_.joinable(); }

    // Both take effect on the filter's thread, in order, soon after the call
    // returns; they never wait for it, so a capture sink that waits for the
    // caller's thread cannot deadlock them.
    void SetTable(std::vector<std::pair<std::uint16_t, std::uint16_t>> entries);
    void SetCapture(std::shared_ptr<KeyCaptureSink> sink);

    FilterEventQueue& Events() { return events_; }
    // Waits until everything asked so far has been applied and all input
    // that was readable has been handled. For tests; false on time-out.
    bool Settle(int timeoutMs);
    int KeyboardCount() const { return keyboards_.load(); }

private:
    struct Open;
    class CoreSink;

    void Run();
    void ApplyCommands();
    void Attach(const std::string& node);
    void Detach(int id, bool lost);
    void ReadNode(int id);
    void ReadCopy(int id);
    void Flush();
    void Wake();

    const std::vector<InputDeviceId> ids_;
    std::unique_ptr<EvdevSystem> system_;
    FilterEventQueue events_;

    // Shared with callers.
    std::mutex lock_;
    std::condition_variable settled_;
    std::optional<std::vector<std::pair<std::uint16_t, std::uint16_t>>> pendingTable_;
    bool captureChanged_ = false;
    std::shared_ptr<KeyCaptureSink> pendingCapture_;
    std::uint64_t asked_ = 0;
    std::uint64_t applied_ = 0;
    bool stop_ = false;
    int wakeFd_ = -1;
    std::thread thread_;
    std::atomic<int> keyboards_{0};

    // The filter thread's own.
    std::unique_ptr<CoreSink> sink_;
    std::unique_ptr<FilterCore> core_;
    std::shared_ptr<KeyCaptureSink> capture_;
    std::map<int, std::unique_ptr<Open>> nodes_;
    std::vector<std::pair<std::string, int>> retry_;  // nodes that could not be opened yet, tries left
    int nextId_ = 1;
};

}  // namespace platform
