// The system-wide key capture the macro recorder uses: hook records of every
// key of the filtered keyboard, and keys kept by the recorder go nowhere else.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include "softkeys_fixture.h"

using softkeys_test::SoftKeysTest;

namespace {

class Recorder : public platform::KeyCaptureSink {
public:
    struct Seen {
        unsigned message;
        std::uint32_t vk;
        std::uint32_t scan;
        std::uint32_t flags;
        bool operator==(const Seen&) const = default;
    };
    bool OnHookKey(unsigned message, const platform::KeyHookRecord& record) override {
        std::lock_guard<std::mutex> guard(lock);
        seen.push_back({message, record.vkCode, record.scanCode, record.flags});
        return keep;
    }
    std::vector<Seen> Take() {
        std::lock_guard<std::mutex> guard(lock);
        auto out = seen;
        seen.clear();
        return out;
    }
    std::mutex lock;
    std::vector<Seen> seen;
    bool keep = true;
};

using Seen = Recorder::Seen;
constexpr unsigned Down = platform::kWmKeyDown, Up = platform::kWmKeyUp;

}  // namespace

TEST_F(SoftKeysTest, RecordingSeesEveryKeyAndKeepsItFromTheSystem) {
    Load({{4, 2, 5}});
    auto recorder = std::make_shared<Recorder>();
    ASSERT_TRUE(keys->StartKeyCapture(recorder));
    filter->ClearRecords();
    const auto before = keyboard->WriteCount();

    filter->Press(0x04);  // A, also a table key
    filter->Release(0x04);
    filter->Press(0x58);  // keypad Enter
    filter->Release(0x58);
    filter->Press(0x5F);  // keypad 7, Num Lock off
    filter->Release(0x5F);
    filter->Press(0x46);  // Print Screen
    filter->Release(0x46);
    filter->Press(0xE4);  // right Ctrl
    filter->Release(0xE4);
    EXPECT_EQ(recorder->Take(), (std::vector<Seen>{
                                    {Down, 65, 0x1E, 0x00}, {Up, 65, 0x1E, 0x80},
                                    {Down, 13, 0x1C, 0x01}, {Up, 13, 0x1C, 0x81},
                                    {Down, 36, 0x47, 0x00}, {Up, 36, 0x47, 0x80},
                                    {Down, 44, 0x37, 0x01}, {Up, 44, 0x37, 0x81},
                                    {Down, 163, 0x1D, 0x01}, {Up, 163, 0x1D, 0x81},
                                }));
    // Kept by the recorder: neither typed nor performed as a software key.
    EXPECT_TRUE(filter->SystemKeys().empty());
    recorder->keep = false;
    EXPECT_EQ(Barrier(), before);  // the sentinel, let go by the recorder, is the first write
    EXPECT_EQ(recorder->Take().size(), 2u);

    keys->StopKeyCapture();
    EXPECT_FALSE(filter->Capturing());
    EXPECT_TRUE(filter->Grabbed());  // the table still needs the grab
    filter->Press(0x06);
    filter->Release(0x06);
    EXPECT_TRUE(recorder->Take().empty());
    const auto typed = filter->SystemKeys();
    ASSERT_EQ(typed.size(), 2u);
    EXPECT_TRUE(typed[0].viaCopy);
}

TEST_F(SoftKeysTest, KeysTheRecorderLetsGoAreFilteredAsUsual) {
    Load({{4, 2, 5}});
    auto recorder = std::make_shared<Recorder>();
    recorder->keep = false;
    ASSERT_TRUE(keys->StartKeyCapture(recorder));
    filter->Press(0x04);
    ASSERT_TRUE(Eventually([&] { return keyboard->KeyHeld(5); }));
    filter->Release(0x04);
    filter->Press(0x06);
    filter->Release(0x06);
    ASSERT_TRUE(Eventually([&] { return !keyboard->AnyKeyHeld(); }));
    EXPECT_EQ(recorder->Take().size(), 4u);
    const auto typed = filter->SystemKeys();
    ASSERT_EQ(typed.size(), 2u);
    EXPECT_EQ(typed[0].keyCode, 0x06);
}

TEST_F(SoftKeysTest, CaptureAloneGrabsAndNeedsAnOpenFilter) {
    EXPECT_FALSE(keys->StartKeyCapture(std::make_shared<Recorder>()));  // not started: filter closed
    ASSERT_TRUE(keys->StartSoftwareKeys());
    EXPECT_FALSE(filter->Grabbed());
    auto recorder = std::make_shared<Recorder>();
    ASSERT_TRUE(keys->StartKeyCapture(recorder));
    EXPECT_TRUE(filter->Grabbed());
    filter->Press(0x1D);
    keys->StopKeyCapture();
    // The press stayed with the recorder. Ending the grab, the release goes
    // to the system directly: a lone release, which types nothing.
    EXPECT_FALSE(filter->Grabbed());
    filter->Release(0x1D);
    EXPECT_EQ(recorder->Take().size(), 1u);
    const auto typed = filter->SystemKeys();
    ASSERT_EQ(typed.size(), 1u);
    EXPECT_FALSE(typed[0].pressed);
}
