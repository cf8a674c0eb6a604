// The evdev filter with its thread, over fake event nodes: each node is a
// socket pair the test writes input_event records into, and its copy another
// pair the test reads them back from.
#include <gtest/gtest.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <vector>

#include "platform/evdev_filter.h"

using platform::EvdevFilter;
using platform::InputEvent;

namespace {

int SocketPair(int& other) {
    int fds[2] = {-1, -1};
    socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds);
    other = fds[1];
    return fds[0];
}

// What the test keeps of a node: the far ends, and what the filter did to it.
struct NodeState {
    int eventPeer = -1;  // the test writes the keyboard's events here
    int copyPeer = -1;   // and reads what was passed through here
    std::mutex lock;
    std::vector<bool> grabs;
    std::vector<std::pair<int, bool>> leds;
    std::vector<std::uint16_t> keysDown;
    bool open = false;
};

class FakeNode : public platform::EvdevNode {
public:
    explicit FakeNode(std::shared_ptr<NodeState> state) : state_(std::move(state)) {
        eventFd_ = SocketPair(state_->eventPeer);
        copyFd_ = SocketPair(state_->copyPeer);
        state_->open = true;
    }
    ~FakeNode() override {
        close(eventFd_);
        close(copyFd_);
        std::lock_guard<std::mutex> guard(state_->lock);
        state_->open = false;
    }
    int EventFd() const override { return eventFd_; }
    int CopyFd() const override { return copyFd_; }
    bool Grab(bool on) override {
        std::lock_guard<std::mutex> guard(state_->lock);
        state_->grabs.push_back(on);
        return true;
    }
    std::vector<std::uint16_t> KeysDown() override {
        std::lock_guard<std::mutex> guard(state_->lock);
        return state_->keysDown;
    }
    bool NumLock() override { return false; }
    void SetLed(std::uint16_t led, bool on) override {
        std::lock_guard<std::mutex> guard(state_->lock);
        state_->leds.emplace_back(led, on);
    }

private:
    std::shared_ptr<NodeState> state_;
    int eventFd_ = -1;
    int copyFd_ = -1;
};

class FakeSystem : public platform::EvdevSystem {
public:
    struct Shared {
        std::mutex lock;
        std::map<std::string, std::shared_ptr<NodeState>> present;
        std::vector<Change> changes;
        int hotplug = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        int failOpens = 0;
    };
    explicit FakeSystem(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
    std::vector<std::string> FindNodes(const std::vector<platform::InputDeviceId>&) override {
        std::lock_guard<std::mutex> guard(shared_->lock);
        std::vector<std::string> nodes;
        for (const auto& [name, state] : shared_->present) nodes.push_back(name);
        return nodes;
    }
    std::unique_ptr<platform::EvdevNode> Open(const std::string& node, std::string*) override {
        std::lock_guard<std::mutex> guard(shared_->lock);
        if (shared_->failOpens > 0) {
            --shared_->failOpens;
            return nullptr;
        }
        auto it = shared_->present.find(node);
        if (it == shared_->present.end()) return nullptr;
        return std::make_unique<FakeNode>(it->second);
    }
    int HotplugFd() override { return shared_->hotplug; }
    std::vector<Change> ReadHotplug(const std::vector<platform::InputDeviceId>&) override {
        std::uint64_t n;
        [[maybe_unused]] auto r = read(shared_->hotplug, &n, sizeof n);
        std::lock_guard<std::mutex> guard(shared_->lock);
        auto changes = shared_->changes;
        shared_->changes.clear();
        return changes;
    }

private:
    std::shared_ptr<Shared> shared_;
};

void Send(int fd, std::vector<InputEvent> events) {
    std::vector<input_event> records(events.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        records[i] = {};
        records[i].type = events[i].type;
        records[i].code = events[i].code;
        records[i].value = events[i].value;
    }
    ASSERT_EQ(write(fd, records.data(), records.size() * sizeof(input_event)),
              static_cast<ssize_t>(records.size() * sizeof(input_event)));
}

std::vector<std::string> ReadAll(int fd) {
    std::vector<std::string> out;
    input_event records[64];
    for (;;) {
        const ssize_t n = read(fd, records, sizeof records);
        if (n <= 0) break;
        for (ssize_t i = 0; i < n / static_cast<ssize_t>(sizeof(input_event)); ++i) {
            out.push_back(std::to_string(records[i].type) + ":" + std::to_string(records[i].code) + "=" +
                          std::to_string(records[i].value));
        }
    }
    return out;
}

InputEvent Key(int code, int value) { return InputEvent{EV_KEY, static_cast<std::uint16_t>(code), value}; }
constexpr InputEvent Syn{EV_SYN, SYN_REPORT, 0};
std::string K(int code, int value) { return "1:" + std::to_string(code) + "=" + std::to_string(value); }
const std::string S = "0:0=0";
using Lines = std::vector<std::string>;

struct EvdevFilterTest : ::testing::Test {
    std::shared_ptr<FakeSystem::Shared> shared = std::make_shared<FakeSystem::Shared>();
    std::shared_ptr<NodeState> node = std::make_shared<NodeState>();
    std::unique_ptr<EvdevFilter> filter;

    void SetUp() override {
        shared->present["/dev/input/event7"] = node;
        filter = std::make_unique<EvdevFilter>(std::vector<platform::InputDeviceId>{{0x1209, 0x0001}},
                                               std::make_unique<FakeSystem>(shared));
        ASSERT_TRUE(filter->Start());
        ASSERT_TRUE(filter->Settle(5000));
    }
    void TearDown() override {
        filter.reset();
        close(shared->hotplug);
    }
    void Settle() { ASSERT_TRUE(filter->Settle(5000)); }
    std::vector<bool> Grabs() {
        std::lock_guard<std::mutex> guard(node->lock);
        return node->grabs;
    }
};

}  // namespace

TEST_F(EvdevFilterTest, TableKeysAreReportedEverythingElsePassesThrough) {
    EXPECT_EQ(filter->KeyboardCount(), 1);
    EXPECT_TRUE(Grabs().empty());
    filter->SetTable({{KEY_A, 4}});
    Settle();
    EXPECT_EQ(Grabs(), std::vector<bool>{true});

    Send(node->eventPeer, {InputEvent{EV_MSC, MSC_SCAN, 0x70005}, Key(KEY_B, 1), Syn});
    Send(node->eventPeer, {Key(KEY_A, 1), Syn, Key(KEY_A, 2), Syn, Key(KEY_B, 0), Syn, Key(KEY_A, 0), Syn});
    Settle();
    EXPECT_EQ(ReadAll(node->copyPeer), (Lines{"4:4=458757", K(KEY_B, 1), S, S, S, K(KEY_B, 0), S, S}));
    platform::FilterKeyEvent event;
    ASSERT_EQ(filter->Events().Wait(event), platform::FilterWait::Event);
    EXPECT_EQ(event.keyCode, 4);
    EXPECT_EQ(event.usagePage, 7);
    EXPECT_TRUE(event.pressed);
    ASSERT_EQ(filter->Events().Wait(event), platform::FilterWait::Event);
    EXPECT_FALSE(event.pressed);
    EXPECT_EQ(filter->Events().Size(), 0u);
}

TEST_F(EvdevFilterTest, LedsTheSystemSetsOnTheCopyReachTheKeyboard) {
    Send(node->copyPeer, {InputEvent{EV_LED, LED_NUML, 1}, InputEvent{EV_LED, LED_CAPSL, 0}, Syn});
    Settle();
    std::lock_guard<std::mutex> guard(node->lock);
    EXPECT_EQ(node->leds, (std::vector<std::pair<int, bool>>{{LED_NUML, true}, {LED_CAPSL, false}}));
}

TEST_F(EvdevFilterTest, UnpluggedKeyboardIsLetGoAndReportedLost) {
    filter->SetTable({{KEY_A, 4}});
    Send(node->eventPeer, {Key(KEY_A, 1), Syn});
    Settle();
    close(node->eventPeer);  // the node reads as ended
    node->eventPeer = -1;
    Settle();
    EXPECT_EQ(filter->KeyboardCount(), 0);
    EXPECT_FALSE(node->open);
    platform::FilterKeyEvent event;
    ASSERT_EQ(filter->Events().Wait(event), platform::FilterWait::Event);  // A down
    ASSERT_EQ(filter->Events().Wait(event), platform::FilterWait::Event);  // A released with the keyboard
    EXPECT_FALSE(event.pressed);
    EXPECT_EQ(filter->Events().Wait(event), platform::FilterWait::KeyboardLost);
}

TEST_F(EvdevFilterTest, KeyboardsThatComeLaterAreFiltered) {
    filter->SetTable({{KEY_A, 4}});
    auto later = std::make_shared<NodeState>();
    later->keysDown = {KEY_ENTER};  // Enter still down from typing the command that plugged it in
    {
        std::lock_guard<std::mutex> guard(shared->lock);
        shared->present["/dev/input/event9"] = later;
        shared->changes.push_back({true, "/dev/input/event9"});
        shared->failOpens = 1;  // permissions not there yet on the first try
    }
    const std::uint64_t one = 1;
    ASSERT_EQ(write(shared->hotplug, &one, sizeof one), 8);
    for (int i = 0; i < 100 && filter->KeyboardCount() < 2; ++i) usleep(20000);
    ASSERT_EQ(filter->KeyboardCount(), 2);
    Settle();
    EXPECT_TRUE(later->grabs.empty());  // Enter is held: no grab yet
    Send(later->eventPeer, {Key(KEY_ENTER, 0), Syn});
    Settle();
    {
        std::lock_guard<std::mutex> guard(later->lock);
        EXPECT_EQ(later->grabs, std::vector<bool>{true});
    }

    {
        std::lock_guard<std::mutex> guard(shared->lock);
        shared->changes.push_back({false, "/dev/input/event9"});
    }
    ASSERT_EQ(write(shared->hotplug, &one, sizeof one), 8);
    for (int i = 0; i < 100 && filter->KeyboardCount() > 1; ++i) usleep(20000);
    EXPECT_EQ(filter->KeyboardCount(), 1);
}

TEST_F(EvdevFilterTest, LostEventsAreMadeGoodFromTheKeyState) {
    filter->SetTable({{KEY_A, 4}});
    Send(node->eventPeer, {Key(KEY_C, 1), Syn});
    Settle();
    ReadAll(node->copyPeer);
    {
        std::lock_guard<std::mutex> guard(node->lock);
        node->keysDown = {};  // C went up while events were lost
    }
    Send(node->eventPeer, {InputEvent{EV_SYN, SYN_DROPPED, 0}, Key(KEY_X, 1), Syn});
    Settle();
    EXPECT_EQ(ReadAll(node->copyPeer), (Lines{K(KEY_C, 0), S}));
}

TEST_F(EvdevFilterTest, StopLeavesNothingHeldOrGrabbed) {
    filter->SetTable({{KEY_A, 4}});
    Send(node->eventPeer, {Key(KEY_C, 1), Syn, Key(KEY_A, 1), Syn});
    Settle();
    ReadAll(node->copyPeer);
    const int copyPeer = node->copyPeer;
    filter->Stop();
    EXPECT_EQ(ReadAll(copyPeer), (Lines{K(KEY_C, 0), S}));
    EXPECT_EQ(Grabs(), (std::vector<bool>{true, false}));
    EXPECT_FALSE(node->open);
    platform::FilterKeyEvent event;
    ASSERT_EQ(filter->Events().Wait(event), platform::FilterWait::Event);
    ASSERT_EQ(filter->Events().Wait(event), platform::FilterWait::Event);
    EXPECT_EQ(event.keyCode, 4);
    EXPECT_FALSE(event.pressed);
}

namespace {
class KeepingSink : public platform::KeyCaptureSink {
public:
    bool OnHookKey(unsigned message, const platform::KeyHookRecord& record) override {
        std::lock_guard<std::mutex> guard(lock);
        seen.emplace_back(message, record.vkCode);
        return record.vkCode != 'B';  // B goes on, the rest is kept
    }
    std::mutex lock;
    std::vector<std::pair<unsigned, std::uint32_t>> seen;
};
}  // namespace

TEST_F(EvdevFilterTest, CaptureSeesEveryKeyOnTheFiltersThread) {
    auto sink = std::make_shared<KeepingSink>();
    filter->SetCapture(sink);
    Settle();
    EXPECT_EQ(Grabs(), std::vector<bool>{true});
    Send(node->eventPeer, {Key(KEY_A, 1), Syn, Key(KEY_A, 0), Syn, Key(KEY_B, 1), Syn, Key(KEY_B, 0), Syn});
    Settle();
    {
        std::lock_guard<std::mutex> guard(sink->lock);
        EXPECT_EQ(sink->seen, (std::vector<std::pair<unsigned, std::uint32_t>>{
                                  {platform::kWmKeyDown, 'A'},
                                  {platform::kWmKeyUp, 'A'},
                                  {platform::kWmKeyDown, 'B'},
                                  {platform::kWmKeyUp, 'B'}}));
    }
    EXPECT_EQ(ReadAll(node->copyPeer), (Lines{S, S, K(KEY_B, 1), S, K(KEY_B, 0), S}));
    filter->SetCapture(nullptr);
    Settle();
    EXPECT_EQ(Grabs(), (std::vector<bool>{true, false}));
}
