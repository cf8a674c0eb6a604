#include "platform/evdev_filter.h"

#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <libudev.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/uinput_device.h"

namespace platform {

namespace {

// ---------------------------------------------------------------------------
// The real system: libudev finds and watches the nodes, libevdev copies them.

std::optional<std::uint16_t> HexAttribute(udev_device* dev, const char* name) {
    const char* text = udev_device_get_sysattr_value(dev, name);
    if (!text || !*text) return std::nullopt;
    char* end = nullptr;
    const unsigned long v = std::strtoul(text, &end, 16);
    if (end == text || v > 0xFFFF) return std::nullopt;
    return static_cast<std::uint16_t>(v);
}

bool Matches(udev_device* dev, const std::vector<InputDeviceId>& ids) {
    const char* sysname = udev_device_get_sysname(dev);
    const char* devpath = udev_device_get_devpath(dev);
    if (!sysname || std::strncmp(sysname, "event", 5) != 0) return false;
    // uinput devices live under /devices/virtual: our own copies and the
    // virtual keyboard must never be taken for the keyboard.
    if (!devpath || std::strstr(devpath, "/devices/virtual/")) return false;
    udev_device* input = udev_device_get_parent_with_subsystem_devtype(dev, "input", nullptr);
    if (!input) return false;
    const auto vendor = HexAttribute(input, "id/vendor");
    const auto product = HexAttribute(input, "id/product");
    if (!vendor || !product) return false;
    return std::find(ids.begin(), ids.end(), InputDeviceId{*vendor, *product}) != ids.end();
}

class LibevdevNode final : public EvdevNode {
public:
    LibevdevNode(int fd, libevdev* dev, libevdev_uinput* copy) : fd_(fd), dev_(dev), copy_(copy) {}
    ~LibevdevNode() override {
        if (grabbed_) ioctl(fd_, EVIOCGRAB, 0);
        libevdev_uinput_destroy(copy_);
        libevdev_free(dev_);
        ::close(fd_);
    }
    int EventFd() const override { return fd_; }
    int CopyFd() const override { return libevdev_uinput_get_fd(copy_); }
    bool Grab(bool on) override {
        if (ioctl(fd_, EVIOCGRAB, on ? 1 : 0) != 0) return false;
        grabbed_ = on;
        return true;
    }
    std::vector<std::uint16_t> KeysDown() override {
        unsigned char bits[KEY_MAX / 8 + 1] = {};
        std::vector<std::uint16_t> down;
        if (ioctl(fd_, EVIOCGKEY(sizeof bits), bits) < 0) return down;
        for (int code = 0; code <= KEY_MAX; ++code) {
            if (bits[code / 8] & (1 << (code % 8))) down.push_back(static_cast<std::uint16_t>(code));
        }
        return down;
    }
    bool NumLock() override {
        unsigned char bits[LED_MAX / 8 + 1] = {};
        if (ioctl(fd_, EVIOCGLED(sizeof bits), bits) < 0) return false;
        return bits[LED_NUML / 8] & (1 << (LED_NUML % 8));
    }
    void SetLed(std::uint16_t led, bool on) override {
        WriteInputEvents(fd_, {InputEvent{EV_LED, led, on ? 1 : 0}, InputEvent{EV_SYN, SYN_REPORT, 0}});
    }

private:
    int fd_;
    libevdev* dev_;
    libevdev_uinput* copy_;
    bool grabbed_ = false;
};

class UdevSystem final : public EvdevSystem {
public:
    UdevSystem() : udev_(udev_new()) {}
    ~UdevSystem() override {
        if (monitor_) udev_monitor_unref(monitor_);
        if (udev_) udev_unref(udev_);
    }

    std::vector<std::string> FindNodes(const std::vector<InputDeviceId>& ids) override {
        std::vector<std::string> nodes;
        if (!udev_) return nodes;
        udev_enumerate* e = udev_enumerate_new(udev_);
        udev_enumerate_add_match_subsystem(e, "input");
        udev_enumerate_add_match_sysname(e, "event*");
        udev_enumerate_scan_devices(e);
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e)) {
            udev_device* dev = udev_device_new_from_syspath(udev_, udev_list_entry_get_name(entry));
            if (!dev) continue;
            const char* node = udev_device_get_devnode(dev);
            if (node && Matches(dev, ids)) nodes.emplace_back(node);
            udev_device_unref(dev);
        }
        udev_enumerate_unref(e);
        std::sort(nodes.begin(), nodes.end());
        return nodes;
    }

    std::unique_ptr<EvdevNode> Open(const std::string& node, std::string* error) override {
        auto fail = [&](const std::string& what) -> std::unique_ptr<EvdevNode> {
            if (error) *error = what + " " + node;
            return nullptr;
        };
        // Read-write so LEDs can be set; read-only still filters.
        int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return fail(std::string("cannot open (") + std::strerror(errno) + ")");
        libevdev* dev = nullptr;
        if (libevdev_new_from_fd(fd, &dev) < 0) {
            ::close(fd);
            return fail("not an input device:");
        }
        const std::string name = libevdev_get_name(dev) ? libevdev_get_name(dev) : "keyboard";
        libevdev_set_name(dev, (name + " (pass-through)").c_str());
        libevdev_uinput* copy = nullptr;
        const int rc = libevdev_uinput_create_from_device(dev, LIBEVDEV_UINPUT_OPEN_MANAGED, &copy);
        if (rc < 0) {
            libevdev_free(dev);
            ::close(fd);
            return fail(std::string("cannot create the pass-through copy (") + std::strerror(-rc) + ") of");
        }
        const int copyFd = libevdev_uinput_get_fd(copy);
        fcntl(copyFd, F_SETFL, fcntl(copyFd, F_GETFL) | O_NONBLOCK);
        return std::make_unique<LibevdevNode>(fd, dev, copy);
    }

    int HotplugFd() override {
        if (!udev_) return -1;
        if (!monitor_) {
            // udevd's events come after its rules ran, so permissions are in
            // place; without udevd only the kernel's own events exist.
            const bool udevd = access("/run/udev/control", F_OK) == 0;
            monitor_ = udev_monitor_new_from_netlink(udev_, udevd ? "udev" : "kernel");
            if (!monitor_) return -1;
            udev_monitor_filter_add_match_subsystem_devtype(monitor_, "input", nullptr);
            if (udev_monitor_enable_receiving(monitor_) < 0) {
                udev_monitor_unref(monitor_);
                monitor_ = nullptr;
                return -1;
            }
        }
        return udev_monitor_get_fd(monitor_);
    }

    std::vector<Change> ReadHotplug(const std::vector<InputDeviceId>& ids) override {
        std::vector<Change> changes;
        if (!monitor_) return changes;
        while (udev_device* dev = udev_monitor_receive_device(monitor_)) {
            const char* action = udev_device_get_action(dev);
            const char* node = udev_device_get_devnode(dev);
            if (action && node) {
                if (std::strcmp(action, "add") == 0 && Matches(dev, ids)) {
                    changes.push_back(Change{true, node});
                } else if (std::strcmp(action, "remove") == 0) {
                    changes.push_back(Change{false, node});
                }
            }
            udev_device_unref(dev);
        }
        return changes;
    }

private:
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
};

constexpr int kOpenTries = 8;          // a node that just appeared may not be accessible yet
constexpr int kRetryIntervalMs = 250;

}  // namespace

std::unique_ptr<EvdevSystem> MakeEvdevSystem() { return std::make_unique<UdevSystem>(); }

// ---------------------------------------------------------------------------

struct EvdevFilter::Open {
    std::string node;
    std::unique_ptr<EvdevNode> dev;
    std::vector<InputEvent> out;  // passed-through events of this batch
    bool dropping = false;        // between SYN_DROPPED and the next SYN_REPORT
};

class EvdevFilter::CoreSink final : public FilterCore::Sink {
public:
    explicit CoreSink(EvdevFilter& filter) : filter_(filter) {}
    void Forward(int device, const InputEvent& event) override {
        auto it = filter_.nodes_.find(device);
        if (it != filter_.nodes_.end()) it->second->out.push_back(event);
    }
    void Report(std::uint16_t keyCode, bool pressed) override {
        filter_.events_.PushKey(FilterKeyEvent{keyCode, 7, pressed});
    }
    bool Grab(int device, bool on) override {
        auto it = filter_.nodes_.find(device);
        if (it == filter_.nodes_.end()) return !on;
        // Passed-through events must reach the copy before the grab changes.
        filter_.Flush();
        return it->second->dev->Grab(on);
    }

private:
    EvdevFilter& filter_;
};

EvdevFilter::EvdevFilter(std::vector<InputDeviceId> ids, std::unique_ptr<EvdevSystem> system)
    : ids_(std::move(ids)), system_(system ? std::move(system) : MakeEvdevSystem()) {
    sink_ = std::make_unique<CoreSink>(*this);
    core_ = std::make_unique<FilterCore>(*sink_);
}

EvdevFilter::~EvdevFilter() { Stop(); }

bool EvdevFilter::Start() {
    if (thread_.joinable()) return true;
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) return false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = false;
    }
    thread_ = std::thread([this] { Run(); });
    return true;
}

void EvdevFilter::Stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
    }
    Wake();
    thread_.join();
    ::close(wakeFd_);
    wakeFd_ = -1;
    settled_.notify_all();
}

void EvdevFilter::Wake() {
    const std::uint64_t one = 1;
    if (wakeFd_ >= 0) {
        [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
    }
}

void EvdevFilter::SetTable(std::vector<std::pair<std::uint16_t, std::uint16_t>> entries) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        pendingTable_ = std::move(entries);
        ++asked_;
    }
    Wake();
}

void EvdevFilter::SetCapture(std::shared_ptr<KeyCaptureSink> sink) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        pendingCapture_ = std::move(sink);
        captureChanged_ = true;
        ++asked_;
    }
    Wake();
}

bool EvdevFilter::Settle(int timeoutMs) {
    std::unique_lock<std::mutex> guard(lock_);
    if (!thread_.joinable()) return false;
    const std::uint64_t target = ++asked_;
    guard.unlock();
    Wake();
    guard.lock();
    return settled_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                             [&] { return applied_ >= target || stop_; }) &&
           applied_ >= target;
}

void EvdevFilter::ApplyCommands() {
    std::optional<std::vector<std::pair<std::uint16_t, std::uint16_t>>> table;
    bool captureChanged = false;
    std::shared_ptr<KeyCaptureSink> capture;
    {
        std::lock_guard<std::mutex> guard(lock_);
        table.swap(pendingTable_);
        std::swap(captureChanged, captureChanged_);
        capture = pendingCapture_;
    }
    if (table) core_->SetTable(*table);
    if (captureChanged) {
        capture_ = std::move(capture);
        core_->SetCapture(capture_ != nullptr);
    }
}

void EvdevFilter::Attach(const std::string& node) {
    for (const auto& [id, open] : nodes_) {
        if (open->node == node) return;
    }
    std::string error;
    auto dev = system_->Open(node, &error);
    if (!dev) {
        auto it = std::find_if(retry_.begin(), retry_.end(), [&](const auto& r) { return r.first == node; });
        if (it == retry_.end()) {
            retry_.emplace_back(node, kOpenTries - 1);
        } else if (--it->second <= 0) {
            retry_.erase(it);
        }
        return;
    }
    retry_.erase(std::remove_if(retry_.begin(), retry_.end(), [&](const auto& r) { return r.first == node; }),
                 retry_.end());
    const int id = nextId_++;
    auto open = std::make_unique<Open>();
    open->node = node;
    const auto down = dev->KeysDown();
    const bool numLock = dev->NumLock();
    open->dev = std::move(dev);
    nodes_[id] = std::move(open);
    keyboards_.store(static_cast<int>(nodes_.size()));
    core_->AddDevice(id, down, numLock);
}

void EvdevFilter::Detach(int id, bool lost) {
    auto it = nodes_.find(id);
    if (it == nodes_.end()) return;
    core_->RemoveDevice(id);  // releases along the routes, into `out`
    Flush();
    nodes_.erase(it);
    keyboards_.store(static_cast<int>(nodes_.size()));
    if (lost) events_.PushKeyboardLost();
}

void EvdevFilter::Flush() {
    for (auto& [id, open] : nodes_) {
        if (open->out.empty()) continue;
        WriteInputEvents(open->dev->CopyFd(), open->out);
        open->out.clear();
    }
}

void EvdevFilter::ReadNode(int id) {
    Open& open = *nodes_.at(id);
    input_event records[64];
    // Everything readable now, so that what came before a Settle is handled.
    for (;;) {
        const ssize_t n = ::read(open.dev->EventFd(), records, sizeof records);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) break;
        if (n <= 0 || n % static_cast<ssize_t>(sizeof(input_event)) != 0) {
            Detach(id, true);  // ENODEV: unplugged
            return;
        }
        const int count = static_cast<int>(n / static_cast<ssize_t>(sizeof(input_event)));
        for (int i = 0; i < count; ++i) {
            const InputEvent ev{records[i].type, records[i].code, records[i].value};
            if (ev.type == EV_SYN && ev.code == SYN_DROPPED) {
                open.dropping = true;
                continue;
            }
            if (open.dropping) {
                if (ev.type == EV_SYN && ev.code == SYN_REPORT) {
                    open.dropping = false;
                    core_->Resync(id, open.dev->KeysDown());
                }
                continue;
            }
            bool kept = false;
            if (capture_) {
                if (const auto offer = core_->OfferFor(id, ev)) {
                    // Passed-through events go out before the hook decides, so
                    // they keep their order with what the hook may cause.
                    Flush();
                    kept = capture_->OnHookKey(offer->message, offer->record);
                }
            }
            core_->OnEvent(id, ev, kept);
        }
        Flush();
    }
}

void EvdevFilter::ReadCopy(int id) {
    Open& open = *nodes_.at(id);
    input_event records[16];
    for (;;) {
        const ssize_t n = ::read(open.dev->CopyFd(), records, sizeof records);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        const int count = static_cast<int>(n / static_cast<ssize_t>(sizeof(input_event)));
        for (int i = 0; i < count; ++i) {
            // The system switched an LED of the copy: show it on the keyboard.
            if (records[i].type == EV_LED) open.dev->SetLed(records[i].code, records[i].value != 0);
        }
    }
}

void EvdevFilter::Run() {
    for (const auto& node : system_->FindNodes(ids_)) Attach(node);
    const int hotplugFd = system_->HotplugFd();
    for (;;) {
        std::uint64_t snapshot = 0;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (stop_) break;
            snapshot = asked_;
        }
        ApplyCommands();
        Flush();

        std::vector<pollfd> fds;
        std::vector<std::pair<int, bool>> owners;  // node id, copy fd
        fds.push_back(pollfd{wakeFd_, POLLIN, 0});
        if (hotplugFd >= 0) fds.push_back(pollfd{hotplugFd, POLLIN, 0});
        const std::size_t firstNode = fds.size();
        for (const auto& [id, open] : nodes_) {
            fds.push_back(pollfd{open->dev->EventFd(), POLLIN, 0});
            owners.emplace_back(id, false);
            if (open->dev->CopyFd() >= 0) {
                fds.push_back(pollfd{open->dev->CopyFd(), POLLIN, 0});
                owners.emplace_back(id, true);
            }
        }
        const int timeout = retry_.empty() ? -1 : kRetryIntervalMs;
        const int ready = ::poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR) break;

        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
            {
                std::lock_guard<std::mutex> guard(lock_);
                snapshot = asked_;
            }
            ApplyCommands();
            Flush();
        }
        if (hotplugFd >= 0 && (fds[1].revents & POLLIN)) {
            for (const auto& change : system_->ReadHotplug(ids_)) {
                if (change.added) {
                    Attach(change.node);
                    continue;
                }
                for (const auto& [id, open] : nodes_) {
                    if (open->node == change.node) {
                        Detach(id, true);
                        break;
                    }
                }
            }
        }
        for (std::size_t i = firstNode; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            const auto [id, copy] = owners[i - firstNode];
            if (!nodes_.count(id)) continue;  // detached earlier in this round
            if (copy) {
                if (fds[i].revents & POLLIN) ReadCopy(id);
            } else {
                ReadNode(id);
            }
        }
        if (!retry_.empty() && ready == 0) {
            const auto pending = retry_;
            for (const auto& r : pending) Attach(r.first);
        }
        {
            std::lock_guard<std::mutex> guard(lock_);
            applied_ = std::max(applied_, snapshot);
        }
        settled_.notify_all();
    }
    // Leave nothing grabbed or held.
    std::vector<int> ids;
    for (const auto& [id, open] : nodes_) ids.push_back(id);
    for (int id : ids) Detach(id, false);
    retry_.clear();
}

}  // namespace platform
