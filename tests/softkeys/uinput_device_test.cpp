// The virtual keyboard's translation, checked on the records a uinput node
// would read: the device writes into one end of a socket pair, the test reads
// input_event records from the other.
#include <gtest/gtest.h>
#include <linux/input.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <vector>

#include "link/softkeys/linux_backends.h"
#include "link/softkeys/vhidev.h"
#include "platform/uinput_device.h"
#include "test_support.h"

using platform::InputEvent;
using platform::UinputDevice;

namespace {

struct Pair {
    int ours = -1;
    int theirs = -1;
    Pair() {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) == 0) {
            ours = fds[0];
            theirs = fds[1];
        }
    }
    ~Pair() {
        if (theirs >= 0) close(theirs);
    }
};

// Everything readable now, as (type, code, value).
std::vector<InputEvent> ReadBack(int fd) {
    std::vector<InputEvent> events;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 0) <= 0) break;
        input_event records[64];
        const ssize_t n = read(fd, records, sizeof records);
        if (n <= 0) break;
        for (ssize_t i = 0; i < n / static_cast<ssize_t>(sizeof(input_event)); ++i) {
            events.push_back(InputEvent{records[i].type, records[i].code, records[i].value});
        }
    }
    return events;
}

std::array<std::uint8_t, 64> Write(std::uint8_t id, std::vector<std::uint8_t> data) {
    std::array<std::uint8_t, 64> w{};
    w[0] = 5;
    w[1] = id;
    std::copy(data.begin(), data.end(), w.begin() + 2);
    return w;
}

std::array<std::uint8_t, 64> Keyboard(std::vector<int> usages) {
    std::vector<std::uint8_t> data(33, 0);
    for (int u : usages) data[1 + u / 8] |= static_cast<std::uint8_t>(1 << (u % 8));
    return Write(1, data);
}

std::string Show(const std::vector<InputEvent>& events) {
    std::string s;
    for (const auto& e : events) s += std::to_string(e.type) + ":" + std::to_string(e.code) + "=" + std::to_string(e.value) + " ";
    return s;
}

constexpr InputEvent Syn{EV_SYN, SYN_REPORT, 0};
constexpr InputEvent Key(int code, int value) { return InputEvent{EV_KEY, static_cast<std::uint16_t>(code), value}; }

}  // namespace

TEST(UinputTranslation, ReportsBecomeKeyEvents) {
    Pair pair;
    ASSERT_GE(pair.ours, 0);
    auto device = UinputDevice::Adopt(pair.ours);

    struct Step {
        std::array<std::uint8_t, 64> write;
        std::vector<InputEvent> expected;
    };
    const Step steps[] = {
        // Ctrl and C in one report: the modifier goes first on the press...
        {Keyboard({0xE0, 0x06}), {Key(KEY_LEFTCTRL, 1), Key(KEY_C, 1), Syn}},
        // ...and last on the release.
        {Keyboard({}), {Key(KEY_C, 0), Key(KEY_LEFTCTRL, 0), Syn}},
        // Releases before presses within a report.
        {Keyboard({0x04}), {Key(KEY_A, 1), Syn}},
        {Keyboard({0x05}), {Key(KEY_A, 0), Key(KEY_B, 1), Syn}},
        // The same report again changes nothing and sends nothing.
        {Keyboard({0x05}), {}},
        // Usages with no key (0, reserved) send nothing.
        {Keyboard({0x05, 0x00, 0x82}), {}},
        {Keyboard({}), {Key(KEY_B, 0), Syn}},
        // Consumer: one usage at a time.
        {Write(3, {0xEA, 0x00}), {Key(KEY_VOLUMEDOWN, 1), Syn}},
        {Write(3, {0xE9, 0x00}), {Key(KEY_VOLUMEDOWN, 0), Key(KEY_VOLUMEUP, 1), Syn}},
        {Write(3, {0x92, 0x01}), {Key(KEY_VOLUMEUP, 0), Key(KEY_CALC, 1), Syn}},
        {Write(3, {0x00, 0x00}), {Key(KEY_CALC, 0), Syn}},
        // Mouse buttons: bit 3 is back, bit 4 forward.
        {Write(2, {0x09, 0, 0, 0}), {Key(BTN_LEFT, 1), Key(BTN_SIDE, 1), Syn}},
        {Write(2, {0x16, 0, 0, 0}), {Key(BTN_LEFT, 0), Key(BTN_RIGHT, 1), Key(BTN_MIDDLE, 1), Key(BTN_SIDE, 0), Key(BTN_EXTRA, 1), Syn}},
        {Write(2, {0x00, 0, 0, 0}), {Key(BTN_RIGHT, 0), Key(BTN_MIDDLE, 0), Key(BTN_EXTRA, 0), Syn}},
        // The fourth report and writes that are not virtual-device writes.
        {Write(4, {0, 0}), {}},
        {[] { auto w = Keyboard({0x04}); w[0] = 6; return w; }(), {}},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        ASSERT_TRUE(device->WriteReport(steps[i].write)) << i;
        const auto got = ReadBack(pair.theirs);
        EXPECT_TRUE(got == steps[i].expected) << "step " << i << ": " << Show(got);
    }
    EXPECT_TRUE(device->Healthy());
}

TEST(UinputTranslation, ShortWritesAreIgnored) {
    platform::VirtualReportDecoder decoder;
    std::vector<InputEvent> out;
    const std::uint8_t shortKeyboard[10] = {5, 1, 0, 0xFF};
    decoder.Decode(shortKeyboard, out);
    const std::uint8_t tooShort[1] = {5};
    decoder.Decode(tooShort, out);
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(decoder.KeyHeld(4));
}

TEST(UinputTranslation, AWriteThatFailsBreaksTheDeviceAndTheBackendReplacesIt) {
    signal(SIGPIPE, SIG_IGN);
    std::vector<std::unique_ptr<Pair>> pairs;
    int made = 0;
    auto backend = softkeys::MakeUinputBackend([&]() -> std::unique_ptr<UinputDevice> {
        pairs.push_back(std::make_unique<Pair>());
        ++made;
        return UinputDevice::Adopt(pairs.back()->ours);
    });
    ASSERT_TRUE(backend->Open());
    ASSERT_TRUE(backend->Open());
    EXPECT_EQ(made, 1);  // a working device is kept

    close(pairs[0]->theirs);  // the reading side goes away
    pairs[0]->theirs = -1;
    EXPECT_FALSE(backend->Write(Keyboard({0x04})));
    EXPECT_FALSE(backend->IsOpen());
    ASSERT_TRUE(backend->Open());
    EXPECT_EQ(made, 2);
    // A new device starts with nothing held: the first report presses again.
    ASSERT_TRUE(backend->Write(Keyboard({0x04})));
    EXPECT_TRUE(ReadBack(pairs[1]->theirs) == (std::vector<InputEvent>{Key(KEY_A, 1), Syn}));
}

TEST(UinputTranslation, VirtualKeyboardEndToEnd) {
    // VHidev over the real backend: the report bytes VHidev builds decode to
    // the keys asked for.
    Pair pair;
    auto& vh = softkeys::VHidev::Instance();
    vh.SetBackend(softkeys::MakeUinputBackend([&] { return UinputDevice::Adopt(pair.ours); }));
    ASSERT_TRUE(vh.Open());
    vh.SetKey(0xE1, true);
    vh.SetKey(0x1E, true);
    vh.SetConsumer(0x0CD, true);
    vh.SetMouseButton(4, true);
    EXPECT_TRUE(ReadBack(pair.theirs) ==
                (std::vector<InputEvent>{Key(KEY_LEFTSHIFT, 1), Syn, Key(KEY_1, 1), Syn, Key(KEY_PLAYPAUSE, 1), Syn,
                                         Key(BTN_EXTRA, 1), Syn}));
    vh.ReleaseAll();
    EXPECT_TRUE(ReadBack(pair.theirs) == (std::vector<InputEvent>{Key(KEY_1, 0), Key(KEY_LEFTSHIFT, 0), Syn,
                                                                    Key(BTN_EXTRA, 0), Syn, Key(KEY_PLAYPAUSE, 0),
                                                                    Syn}));
    vh.SetBackend(nullptr);
}

TEST(UinputTranslation, CreateReportsWhyItFailed) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "not-uinput", "");
    std::string error;
    EXPECT_EQ(UinputDevice::Create("vhidev", &error, dir / "not-uinput"), nullptr);
    EXPECT_NE(error.find("not-uinput"), std::string::npos) << error;
    error.clear();
    EXPECT_EQ(UinputDevice::Create("vhidev", &error, dir / "missing"), nullptr);
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
}
