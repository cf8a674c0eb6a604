#include "platform/udev_monitor.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : path) {
        if (c == '/') {
            if (!cur.empty()) parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) parts.push_back(cur);
    return parts;
}

bool AllHex(const std::string& s, size_t from, size_t n) {
    if (from + n > s.size()) return false;
    for (size_t i = from; i < from + n; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
    return true;
}

// "0003:1209:0001.0007": bus, vendor, product, instance.
bool ParseHidName(const std::string& s, int& bus, std::uint16_t& vid, std::uint16_t& pid) {
    if (s.size() < 16 || s[4] != ':' || s[9] != ':' || s[14] != '.') return false;
    if (!AllHex(s, 0, 4) || !AllHex(s, 5, 4) || !AllHex(s, 10, 4) || !AllHex(s, 15, s.size() - 15)) return false;
    bus = static_cast<int>(std::strtol(s.substr(0, 4).c_str(), nullptr, 16));
    vid = static_cast<std::uint16_t>(std::strtol(s.substr(5, 4).c_str(), nullptr, 16));
    pid = static_cast<std::uint16_t>(std::strtol(s.substr(10, 4).c_str(), nullptr, 16));
    return true;
}

// A USB interface directory, "1-2:1.3" or "3-1.4.2:1.0": the number after
// the last dot following the colon.
int ParseUsbInterface(const std::string& s) {
    const size_t colon = s.find(':');
    if (colon == std::string::npos || colon == 0) return -1;
    if (!std::isdigit(static_cast<unsigned char>(s[0]))) return -1;
    const size_t dot = s.rfind('.');
    if (dot == std::string::npos || dot < colon || dot + 1 >= s.size()) return -1;
    int value = 0;
    for (size_t i = dot + 1; i < s.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return -1;
        value = value * 10 + (s[i] - '0');
        if (value > 255) return -1;
    }
    return value;
}

}  // namespace

std::string HidInterfaceName(std::uint16_t vendorId, std::uint16_t productId, int interfaceNumber,
                             const std::string& sysname, bool bluetooth) {
    char head[96];
    if (bluetooth) {
        std::snprintf(head, sizeof head, "HID#{%s}_VID_%04X&PID_%04X", kHidOverGattUuid, vendorId, productId);
    } else if (interfaceNumber >= 0) {
        std::snprintf(head, sizeof head, "HID#VID_%04X&PID_%04X&MI_%02X", vendorId, productId,
                      static_cast<unsigned>(interfaceNumber & 0xFF));
    } else {
        std::snprintf(head, sizeof head, "HID#VID_%04X&PID_%04X", vendorId, productId);
    }
    return std::string(head) + "#" + Upper(sysname);
}

std::string HidInterfaceName(const HidrawIdentity& id) {
    return HidInterfaceName(id.vendorId, id.productId, id.interfaceNumber, id.sysname, id.bus == kBusBluetooth);
}

std::optional<HidrawIdentity> ParseHidrawDevpath(const std::string& devpath) {
    const std::vector<std::string> parts = SplitPath(devpath);
    if (parts.empty()) return std::nullopt;
    // The innermost HID device name counts: a node sits under exactly one.
    for (size_t i = parts.size(); i-- > 0;) {
        HidrawIdentity id;
        if (!ParseHidName(parts[i], id.bus, id.vendorId, id.productId)) continue;
        if (id.bus == kBusUsb && i > 0) id.interfaceNumber = ParseUsbInterface(parts[i - 1]);
        id.sysname = parts.back();
        return id;
    }
    return std::nullopt;
}

UdevMonitor::~UdevMonitor() { Stop(); }

bool UdevMonitor::Start(Handler handler, Source source) {
    std::lock_guard<std::mutex> guard(lock_);
    if (running_.load() || !handler) return false;

    if (source == Source::Automatic) {
        // udevd keeps its control socket here while it runs.
        struct stat st {};
        source = ::stat("/run/udev/control", &st) == 0 ? Source::Udev : Source::Kernel;
    }

    udev* u = udev_new();
    if (!u) return false;
    udev_monitor* mon = udev_monitor_new_from_netlink(u, source == Source::Udev ? "udev" : "kernel");
    if (!mon) {
        udev_unref(u);
        return false;
    }
    if (udev_monitor_filter_add_match_subsystem_devtype(mon, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(mon) < 0) {
        udev_monitor_unref(mon);
        udev_unref(u);
        return false;
    }
    const int stopFd = ::eventfd(0, EFD_CLOEXEC);
    if (stopFd < 0) {
        udev_monitor_unref(mon);
        udev_unref(u);
        return false;
    }
    // The monitor keeps its own reference to the udev context.
    udev_unref(u);

    stopFd_ = stopFd;
    running_.store(true);
    handler_ = std::move(handler);
    thread_ = std::thread([this, mon, stopFd] {
        Listen(mon, stopFd);
        udev_monitor_unref(mon);
    });
    return true;
}

void UdevMonitor::Listen(void* monitorPtr, int stopFd) {
    auto* mon = static_cast<udev_monitor*>(monitorPtr);
    const int fd = udev_monitor_get_fd(mon);
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        const int r = ::poll(fds, 2, -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents) break;
        if (!(fds[0].revents & POLLIN)) {
            if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) break;
            continue;
        }
        udev_device* dev = udev_monitor_receive_device(mon);
        if (!dev) continue;
        const char* action = udev_device_get_action(dev);
        const char* devpath = udev_device_get_devpath(dev);
        const bool add = action && std::strcmp(action, "add") == 0;
        const bool remove = action && std::strcmp(action, "remove") == 0;
        if ((add || remove) && devpath) {
            if (auto id = ParseHidrawDevpath(devpath)) {
                HidrawEvent ev;
                ev.arrival = add;
                ev.id = *id;
                ev.interfaceName = HidInterfaceName(*id);
                const char* node = udev_device_get_devnode(dev);
                if (node) ev.devnode = node;
                handler_(ev);
            }
        }
        udev_device_unref(dev);
    }
}

void UdevMonitor::Stop() {
    std::lock_guard<std::mutex> guard(lock_);
    if (!running_.load()) return;
    const std::uint64_t one = 1;
    if (::write(stopFd_, &one, sizeof one) < 0) {
        // An eventfd write only fails on overflow, which one stop cannot reach.
    }
    if (thread_.joinable()) thread_.join();
    ::close(stopFd_);
    stopFd_ = -1;
    handler_ = nullptr;
    running_.store(false);
}

}  // namespace platform
