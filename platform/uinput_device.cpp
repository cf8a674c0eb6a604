#include "platform/uinput_device.h"

#include <fcntl.h>
#include <linux/input.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/input_codes.h"

namespace platform {

namespace {

constexpr int kFirstModifier = 0xE0;

bool MapBit(const std::array<std::uint8_t, 32>& map, int usage) {
    return (map[static_cast<std::size_t>(usage / 8)] >> (usage % 8)) & 1;
}

}  // namespace

bool VirtualReportDecoder::KeyHeld(int usage) const {
    return usage >= 0 && usage < 256 && MapBit(keys_, usage);
}

void VirtualReportDecoder::Reset() {
    keys_.fill(0);
    buttons_ = 0;
    consumer_ = 0;
}

void VirtualReportDecoder::Decode(std::span<const std::uint8_t> write, std::vector<InputEvent>& out) {
    if (write.size() < 2 || write[0] != kVirtualDeviceReportId) return;
    const auto data = write.subspan(2);
    const std::size_t before = out.size();
    switch (write[1]) {
    case 1:
        if (data.size() >= 33) DecodeKeyboard(data.subspan(1, 32), out);
        break;
    case 2:
        if (!data.empty()) DecodeButtons(data[0], out);
        break;
    case 3:
        if (data.size() >= 2) DecodeConsumer(data[0] | (data[1] << 8), out);
        break;
    default:
        break;
    }
    if (out.size() != before) out.push_back(InputEvent{EV_SYN, SYN_REPORT, 0});
}

void VirtualReportDecoder::DecodeKeyboard(std::span<const std::uint8_t> map, std::vector<InputEvent>& out) {
    std::array<std::uint8_t, 32> next{};
    std::copy(map.begin(), map.end(), next.begin());
    auto emit = [&](int usage, bool down) {
        if (const int code = InputCodeForKeyboardUsage(usage)) {
            out.push_back(InputEvent{EV_KEY, static_cast<std::uint16_t>(code), down ? 1 : 0});
        }
    };
    // Releases: keys first, then modifiers; presses: modifiers, then keys.
    for (int u = 0; u < kFirstModifier; ++u)
        if (MapBit(keys_, u) && !MapBit(next, u)) emit(u, false);
    for (int u = kFirstModifier; u < 256; ++u)
        if (MapBit(keys_, u) && !MapBit(next, u)) emit(u, false);
    for (int u = kFirstModifier; u < 256; ++u)
        if (!MapBit(keys_, u) && MapBit(next, u)) emit(u, true);
    for (int u = 0; u < kFirstModifier; ++u)
        if (!MapBit(keys_, u) && MapBit(next, u)) emit(u, true);
    keys_ = next;
}

void VirtualReportDecoder::DecodeButtons(std::uint8_t buttons, std::vector<InputEvent>& out) {
    for (int bit = 0; bit < 8; ++bit) {
        const bool was = (buttons_ >> bit) & 1;
        const bool now = (buttons >> bit) & 1;
        if (was == now) continue;
        if (const int code = ButtonForMouseBit(bit)) {
            out.push_back(InputEvent{EV_KEY, static_cast<std::uint16_t>(code), now ? 1 : 0});
        }
    }
    buttons_ = buttons;
}

void VirtualReportDecoder::DecodeConsumer(int usage, std::vector<InputEvent>& out) {
    if (usage == consumer_) return;
    // One usage at a time: the one held before is let go first.
    if (const int code = InputCodeForConsumerUsage(consumer_)) {
        out.push_back(InputEvent{EV_KEY, static_cast<std::uint16_t>(code), 0});
    }
    if (const int code = InputCodeForConsumerUsage(usage)) {
        out.push_back(InputEvent{EV_KEY, static_cast<std::uint16_t>(code), 1});
    }
    consumer_ = usage;
}

bool WriteInputEvents(int fd, const std::vector<InputEvent>& events) {
    if (events.empty()) return true;
    std::vector<input_event> records(events.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        std::memset(&records[i], 0, sizeof(input_event));  // the kernel stamps the time
        records[i].type = events[i].type;
        records[i].code = events[i].code;
        records[i].value = events[i].value;
    }
    const auto* bytes = reinterpret_cast<const char*>(records.data());
    std::size_t left = records.size() * sizeof(input_event);
    while (left > 0) {
        const ssize_t n = ::write(fd, bytes, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string UinputDevice::DefaultNode() {
    if (access("/dev/uinput", F_OK) == 0) return "/dev/uinput";
    if (access("/dev/input/uinput", F_OK) == 0) return "/dev/input/uinput";
    return "/dev/uinput";
}

std::unique_ptr<UinputDevice> UinputDevice::Create(const std::string& name, std::string* error,
                                                   const std::string& node) {
    const std::string path = node.empty() ? DefaultNode() : node;
    auto fail = [&](const char* what, int fd) -> std::unique_ptr<UinputDevice> {
        if (error) *error = std::string(what) + " " + path + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return nullptr;
    };
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail("cannot open", -1);

    bool ok = ioctl(fd, UI_SET_EVBIT, EV_KEY) == 0 && ioctl(fd, UI_SET_EVBIT, EV_SYN) == 0 &&
              // Held software keys repeat like the keys they stand for.
              ioctl(fd, UI_SET_EVBIT, EV_REP) == 0 &&
              // Relative axes, never moved, make the buttons count as a mouse's.
              ioctl(fd, UI_SET_EVBIT, EV_REL) == 0 && ioctl(fd, UI_SET_RELBIT, REL_X) == 0 &&
              ioctl(fd, UI_SET_RELBIT, REL_Y) == 0 && ioctl(fd, UI_SET_RELBIT, REL_WHEEL) == 0;
    for (int code : AllMappedInputCodes()) ok = ok && ioctl(fd, UI_SET_KEYBIT, code) == 0;
    if (!ok) return fail("cannot set up the virtual keyboard on", fd);

    uinput_setup setup;
    std::memset(&setup, 0, sizeof setup);
    setup.id.bustype = BUS_VIRTUAL;
    setup.id.vendor = kVirtualKeyboardVendor;
    setup.id.product = kVirtualKeyboardProduct;
    setup.id.version = 1;
    std::strncpy(setup.name, name.c_str(), UINPUT_MAX_NAME_SIZE - 1);
    if (ioctl(fd, UI_DEV_SETUP, &setup) != 0 || ioctl(fd, UI_DEV_CREATE) != 0) {
        return fail("cannot create the virtual keyboard on", fd);
    }
    return std::unique_ptr<UinputDevice>(new UinputDevice(fd, true));
}

std::unique_ptr<UinputDevice> UinputDevice::Adopt(int fd) {
    if (fd < 0) return nullptr;
    return std::unique_ptr<UinputDevice>(new UinputDevice(fd, false));
}

UinputDevice::~UinputDevice() {
    if (fd_ < 0) return;
    // Destroying the device makes the kernel release whatever it holds.
    if (created_) ioctl(fd_, UI_DEV_DESTROY);
    ::close(fd_);
}

bool UinputDevice::WriteEvents(const std::vector<InputEvent>& events) {
    if (!WriteInputEvents(fd_, events)) healthy_ = false;
    return healthy_;
}

bool UinputDevice::WriteReport(std::span<const std::uint8_t> write) {
    std::vector<InputEvent> events;
    decoder_.Decode(write, events);
    return WriteEvents(events);
}

}  // namespace platform
