// The filter's rules on their own: what goes to the copy, what is reported,
// what the hook sees, and when the keyboard is grabbed.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <string>
#include <vector>

#include "platform/filter_core.h"

using platform::FilterCore;
using platform::InputEvent;

namespace {

// Records every output as one line, so a scenario reads as a script.
class Recorder : public FilterCore::Sink {
public:
    void Forward(int device, const InputEvent& e) override {
        if (e.type == EV_SYN) {
            log.push_back("copy" + std::to_string(device) + " syn");
        } else {
            log.push_back("copy" + std::to_string(device) + " " + std::to_string(e.type) + ":" + std::to_string(e.code) +
                          "=" + std::to_string(e.value));
        }
    }
    void Report(std::uint16_t keyCode, bool pressed) override {
        log.push_back("report " + std::to_string(keyCode) + (pressed ? " down" : " up"));
    }
    bool Grab(int device, bool on) override {
        if (refuseGrab && on) return false;
        log.push_back(std::string(on ? "grab" : "ungrab") + std::to_string(device));
        return true;
    }
    std::vector<std::string> Take() {
        auto out = log;
        log.clear();
        return out;
    }
    std::vector<std::string> log;
    bool refuseGrab = false;
};

InputEvent Key(int code, int value) { return InputEvent{EV_KEY, static_cast<std::uint16_t>(code), value}; }
std::string Copy(int code, int value) { return "copy0 1:" + std::to_string(code) + "=" + std::to_string(value); }

using Lines = std::vector<std::string>;

struct FilterCoreTest : ::testing::Test {
    Recorder sink;
    FilterCore core{sink};
    // KEY_A is key code 4 in the table.
    void TableWithA() { core.SetTable({{KEY_A, 4}}); }
};

}  // namespace

TEST_F(FilterCoreTest, TableKeysAreReportedAndOthersPassThroughWhileGrabbed) {
    core.AddDevice(0, {}, false);
    EXPECT_TRUE(sink.Take().empty());  // nothing to filter: no grab
    core.OnEvent(0, Key(KEY_B, 1));
    EXPECT_TRUE(sink.Take().empty());  // the system reads it directly

    core.OnEvent(0, Key(KEY_B, 0));
    TableWithA();
    EXPECT_EQ(sink.Take(), Lines{"grab0"});
    core.OnEvent(0, InputEvent{EV_MSC, MSC_SCAN, 0x70004});
    core.OnEvent(0, Key(KEY_A, 1));
    core.OnEvent(0, Key(KEY_A, 2));  // auto-repeat: not reported, not passed on
    core.OnEvent(0, InputEvent{EV_SYN, SYN_REPORT, 0});
    core.OnEvent(0, Key(KEY_B, 1));
    core.OnEvent(0, Key(KEY_B, 2));
    core.OnEvent(0, Key(KEY_B, 0));
    core.OnEvent(0, Key(KEY_A, 0));
    core.OnEvent(0, InputEvent{EV_LED, LED_NUML, 1});  // LEDs go the other way
    EXPECT_EQ(sink.Take(), (Lines{"copy0 4:4=458756", "report 4 down", "copy0 syn", Copy(KEY_B, 1), Copy(KEY_B, 0),
                                  "report 4 up"}));

    core.SetTable({});
    EXPECT_EQ(sink.Take(), Lines{"ungrab0"});
}

TEST_F(FilterCoreTest, AGrabWaitsUntilNoKeyIsHeld) {
    core.AddDevice(0, {KEY_LEFTSHIFT}, false);  // held when the keyboard was opened
    TableWithA();
    core.OnEvent(0, Key(KEY_C, 1));
    EXPECT_TRUE(sink.Take().empty());
    EXPECT_FALSE(core.Grabbed(0));
    core.OnEvent(0, Key(KEY_LEFTSHIFT, 0));
    EXPECT_TRUE(sink.Take().empty());  // C still down
    core.OnEvent(0, Key(KEY_A, 1));     // not grabbed yet: the system has it, no report
    core.OnEvent(0, Key(KEY_C, 0));
    core.OnEvent(0, Key(KEY_A, 0));
    EXPECT_EQ(sink.Take(), Lines{"grab0"});  // only once the last key is up
    EXPECT_TRUE(core.Grabbed(0));
}

TEST_F(FilterCoreTest, AReleaseGoesWhereItsPressWent) {
    core.AddDevice(0, {}, false);
    core.SetTable({{KEY_A, 4}, {KEY_Z, 29}});
    sink.Take();
    core.OnEvent(0, Key(KEY_A, 1));  // reported
    core.OnEvent(0, Key(KEY_C, 1));  // passed through
    // The table changes while both are held: A leaves it, C joins it.
    core.SetTable({{KEY_C, 6}, {KEY_Z, 29}});
    core.OnEvent(0, Key(KEY_A, 0));
    core.OnEvent(0, Key(KEY_C, 0));
    EXPECT_EQ(sink.Take(), (Lines{"report 4 down", Copy(KEY_C, 1), "report 4 up", Copy(KEY_C, 0)}));
}

TEST_F(FilterCoreTest, EndingTheGrabReleasesWhatIsHeld) {
    core.AddDevice(0, {}, false);
    TableWithA();
    core.OnEvent(0, Key(KEY_A, 1));
    core.OnEvent(0, Key(KEY_C, 1));
    sink.Take();
    core.SetTable({});
    EXPECT_EQ(sink.Take(), (Lines{"report 4 up", Copy(KEY_C, 0), "copy0 syn", "ungrab0"}));
    // The keys are still physically down; their releases now reach the system
    // directly and nothing more is reported.
    core.OnEvent(0, Key(KEY_A, 0));
    core.OnEvent(0, Key(KEY_C, 0));
    EXPECT_TRUE(sink.Take().empty());
}

TEST_F(FilterCoreTest, ARemovedKeyboardLeavesNothingHeld) {
    core.AddDevice(0, {}, false);
    core.AddDevice(1, {}, false);
    TableWithA();
    core.OnEvent(1, Key(KEY_A, 1));
    sink.Take();
    core.RemoveDevice(1);
    EXPECT_EQ(sink.Take(), (Lines{"report 4 up", "ungrab1"}));
    EXPECT_FALSE(core.HasDevice(1));
    EXPECT_TRUE(core.Grabbed(0));
    core.OnEvent(1, Key(KEY_A, 0));  // late events of a gone keyboard
    EXPECT_TRUE(sink.Take().empty());
}

TEST_F(FilterCoreTest, RefusedGrabIsTriedAgain) {
    core.AddDevice(0, {}, false);
    sink.refuseGrab = true;
    TableWithA();
    EXPECT_FALSE(core.Grabbed(0));
    core.OnEvent(0, Key(KEY_A, 1));
    core.OnEvent(0, Key(KEY_A, 0));
    EXPECT_TRUE(sink.Take().empty());  // not grabbed: not filtered
    sink.refuseGrab = false;
    core.OnEvent(0, Key(KEY_B, 1));
    core.OnEvent(0, Key(KEY_B, 0));
    EXPECT_EQ(sink.Take(), Lines{"grab0"});
}

TEST_F(FilterCoreTest, ResyncAfterLostEvents) {
    core.AddDevice(0, {}, false);
    TableWithA();
    core.OnEvent(0, Key(KEY_A, 1));
    core.OnEvent(0, Key(KEY_C, 1));
    sink.Take();
    // The events in between were lost: A was let go, D went down.
    core.OnEvent(0, InputEvent{EV_SYN, SYN_DROPPED, 0});
    core.Resync(0, {KEY_C, KEY_D});
    EXPECT_EQ(sink.Take(), (Lines{"report 4 up", Copy(KEY_D, 1), "copy0 syn"}));
}

TEST_F(FilterCoreTest, CaptureOffersEveryKeyFirst) {
    core.AddDevice(0, {}, false);
    core.SetCapture(true);
    EXPECT_EQ(sink.Take(), Lines{"grab0"});  // capture alone grabs
    TableWithA();

    struct Case {
        int code;
        int value;
        unsigned message;
        std::uint32_t vk;
        std::uint32_t flags;
    };
    const Case cases[] = {
        {KEY_A, 1, platform::kWmKeyDown, 65, 0x00},
        {KEY_A, 0, platform::kWmKeyUp, 65, 0x80},
        {KEY_KPENTER, 1, platform::kWmKeyDown, 13, 0x01},
        {KEY_KPENTER, 0, platform::kWmKeyUp, 13, 0x81},
        {KEY_LEFTALT, 1, platform::kWmSysKeyDown, 164, 0x00},
        {KEY_X, 1, platform::kWmSysKeyDown, 88, 0x00},
        {KEY_X, 0, platform::kWmSysKeyUp, 88, 0x80},
        {KEY_LEFTALT, 0, platform::kWmKeyUp, 164, 0x80},
        {KEY_F10, 1, platform::kWmSysKeyDown, 121, 0x00},
        {KEY_F10, 0, platform::kWmKeyUp, 121, 0x80},
        {KEY_KP7, 1, platform::kWmKeyDown, 36, 0x00},  // Num Lock off
    };
    for (const auto& c : cases) {
        const auto offer = core.OfferFor(0, Key(c.code, c.value));
        ASSERT_TRUE(offer) << c.code;
        EXPECT_EQ(offer->message, c.message) << c.code << "=" << c.value;
        EXPECT_EQ(offer->record.vkCode, c.vk) << c.code;
        EXPECT_EQ(offer->record.flags, c.flags) << c.code << "=" << c.value;
        core.OnEvent(0, Key(c.code, c.value), true);
    }
    EXPECT_TRUE(sink.Take().empty());  // every key kept by the hook: nothing reported or passed on
    core.OnEvent(0, Key(KEY_KP7, 0), true);

    core.OnEvent(0, InputEvent{EV_LED, LED_NUML, 1});
    EXPECT_EQ(core.OfferFor(0, Key(KEY_KP7, 1))->record.vkCode, 103u);
    EXPECT_FALSE(core.OfferFor(0, InputEvent{EV_REL, REL_X, 1}));

    // A key the hook lets go on is filtered as usual, and its release follows.
    core.OnEvent(0, Key(KEY_A, 1), false);
    core.OnEvent(0, Key(KEY_B, 1), false);
    core.SetCapture(false);
    EXPECT_FALSE(core.OfferFor(0, Key(KEY_A, 0)));
    core.OnEvent(0, Key(KEY_A, 0));
    core.OnEvent(0, Key(KEY_B, 0));
    EXPECT_EQ(sink.Take(), (Lines{"report 4 down", Copy(KEY_B, 1), "report 4 up", Copy(KEY_B, 0)}));
}

TEST_F(FilterCoreTest, NoOfferWithoutAGrab) {
    core.AddDevice(0, {KEY_Q}, false);
    core.SetCapture(true);
    EXPECT_FALSE(core.Grabbed(0));
    EXPECT_FALSE(core.OfferFor(0, Key(KEY_W, 1)));
}

TEST(FilterEventQueue, ACancelEndsTheNextWaitAndKeepsQueuedEvents) {
    platform::FilterEventQueue queue;
    platform::FilterKeyEvent event;
    queue.PushKey({4, 7, true});
    queue.Cancel();
    EXPECT_EQ(queue.Wait(event), platform::FilterWait::None);
    EXPECT_EQ(queue.Wait(event), platform::FilterWait::Event);
    EXPECT_EQ(event.keyCode, 4);
    EXPECT_TRUE(event.pressed);
    queue.PushKeyboardLost();
    EXPECT_EQ(queue.Wait(event), platform::FilterWait::KeyboardLost);

    for (std::size_t i = 0; i < platform::FilterEventQueue::kCapacity + 10; ++i) {
        queue.PushKey({static_cast<std::uint16_t>(i % 200), 7, true});
    }
    EXPECT_EQ(queue.Size(), platform::FilterEventQueue::kCapacity);
    EXPECT_EQ(queue.Wait(event), platform::FilterWait::Event);
    EXPECT_EQ(event.keyCode, 10);  // the oldest were dropped
}
