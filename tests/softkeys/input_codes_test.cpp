#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <set>

#include "link/keys/key_codes.h"
#include "link/softkeys/backends.h"
#include "platform/input_codes.h"

using namespace platform;

TEST(InputCodes, KeyboardUsagesAsTheKernelMapsThem) {
    struct Case { int usage; int code; };
    const Case cases[] = {
        {0x04, KEY_A},        {0x1D, KEY_Z},          {0x1E, KEY_1},         {0x27, KEY_0},
        {0x28, KEY_ENTER},    {0x2C, KEY_SPACE},      {0x32, KEY_BACKSLASH}, {0x35, KEY_GRAVE},
        {0x39, KEY_CAPSLOCK}, {0x45, KEY_F12},        {0x46, KEY_SYSRQ},     {0x48, KEY_PAUSE},
        {0x53, KEY_NUMLOCK},  {0x58, KEY_KPENTER},    {0x62, KEY_KP0},       {0x64, KEY_102ND},
        {0x65, KEY_COMPOSE},  {0x68, KEY_F13},        {0x73, KEY_F24},       {0x87, KEY_RO},
        {0xE0, KEY_LEFTCTRL}, {0xE3, KEY_LEFTMETA},   {0xE6, KEY_RIGHTALT},  {0xE7, KEY_RIGHTMETA},
        {0x00, 0},            {0x03, 0},              {0x82, 0},             {0xE8, 0},
        {0xFF, 0},            {-1, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(InputCodeForKeyboardUsage(c.usage), c.code) << c.usage;
    EXPECT_EQ(KeyboardUsageForInputCode(KEY_BACKSLASH), 0x31);  // the lower of the two usages
    EXPECT_EQ(KeyboardUsageForInputCode(KEY_Q), 0x14);
    EXPECT_EQ(KeyboardUsageForInputCode(0), 0);
}

TEST(InputCodes, EveryMediaCodeReachesADistinctKey) {
    // Each of the program's media and browser functions must come out as a
    // key of its own, or two functions would do the same thing.
    std::set<int> codes;
    for (int keyCode = 232; keyCode <= 249; ++keyCode) {
        const int code = InputCodeForConsumerUsage(keys::ConsumerUsageForKeyCode(keyCode));
        EXPECT_NE(code, 0) << keyCode;
        codes.insert(code);
    }
    EXPECT_EQ(codes.size(), 18u);
    EXPECT_EQ(InputCodeForConsumerUsage(0x0EA), KEY_VOLUMEDOWN);
    EXPECT_EQ(InputCodeForConsumerUsage(0x0CD), KEY_PLAYPAUSE);
    EXPECT_EQ(InputCodeForConsumerUsage(0x192), KEY_CALC);
    EXPECT_EQ(InputCodeForConsumerUsage(0), 0);
}

TEST(InputCodes, MouseBitsAndDeclaredCodes) {
    EXPECT_EQ(ButtonForMouseBit(0), BTN_LEFT);
    EXPECT_EQ(ButtonForMouseBit(1), BTN_RIGHT);
    EXPECT_EQ(ButtonForMouseBit(2), BTN_MIDDLE);
    EXPECT_EQ(ButtonForMouseBit(3), BTN_SIDE);
    EXPECT_EQ(ButtonForMouseBit(4), BTN_EXTRA);
    EXPECT_EQ(ButtonForMouseBit(5), 0);
    EXPECT_EQ(ButtonForMouseBit(-1), 0);

    const auto all = AllMappedInputCodes();
    const std::set<int> declared(all.begin(), all.end());
    for (int u = 0; u < 256; ++u) {
        if (int c = InputCodeForKeyboardUsage(u)) {
            EXPECT_TRUE(declared.count(c)) << u;
        }
    }
    for (int k = 232; k <= 249; ++k) {
        EXPECT_TRUE(declared.count(InputCodeForConsumerUsage(keys::ConsumerUsageForKeyCode(k)))) << k;
    }
    EXPECT_TRUE(declared.count(BTN_EXTRA));
}

TEST(InputCodes, HookViewOfKeys) {
    struct Case { int code; bool numLock; int vk; int scan; bool extended; };
    const Case cases[] = {
        {KEY_A, false, 65, 0x1E, false},        {KEY_1, false, 49, 0x02, false},
        {KEY_ENTER, false, 13, 0x1C, false},    {KEY_KPENTER, false, 13, 0x1C, true},
        {KEY_LEFTCTRL, false, 162, 0x1D, false}, {KEY_RIGHTCTRL, false, 163, 0x1D, true},
        {KEY_LEFTSHIFT, false, 160, 0x2A, false}, {KEY_RIGHTSHIFT, false, 161, 0x36, false},
        {KEY_LEFTALT, false, 164, 0x38, false}, {KEY_RIGHTALT, false, 165, 0x38, true},
        {KEY_LEFTMETA, false, 91, 0x5B, true},  {KEY_COMPOSE, false, 93, 0x5D, true},
        {KEY_HOME, false, 36, 0x47, true},      {KEY_DELETE, false, 46, 0x53, true},
        {KEY_SYSRQ, false, 44, 0x37, true},     {KEY_PAUSE, false, 19, 0x45, false},
        {KEY_NUMLOCK, false, 144, 0x45, true},  {KEY_KPSLASH, false, 111, 0x35, true},
        {KEY_KP7, true, 103, 0x47, false},      {KEY_KP7, false, 36, 0x47, false},
        {KEY_KP5, false, 12, 0x4C, false},      {KEY_KPDOT, true, 110, 0x53, false},
        {KEY_F1, false, 112, 0x3B, false},      {KEY_F12, false, 123, 0x58, false},
        {KEY_F24, false, 135, 0x76, false},     {KEY_102ND, false, 226, 0x56, false},
        {KEY_VOLUMEUP, false, 175, 0x30, true}, {KEY_CALC, false, 183, 0x21, true},
        {KEY_BACK, false, 166, 0x6A, true},     {KEY_PLAYPAUSE, false, 179, 0x22, true},
    };
    for (const auto& c : cases) {
        const auto key = HookKeyForInputCode(c.code, c.numLock);
        ASSERT_TRUE(key) << c.code;
        EXPECT_EQ(key->virtualKey, c.vk) << c.code;
        EXPECT_EQ(key->scanCode, c.scan) << c.code;
        EXPECT_EQ(key->extended, c.extended) << c.code;
    }
    EXPECT_FALSE(HookKeyForInputCode(KEY_POWER, false));
    EXPECT_FALSE(HookKeyForInputCode(0, false));
}

TEST(InputCodes, KeysThatRecordAsTheyPlay) {
    // A recorded key is played back through VirtualKeyToKeyCode and the
    // virtual keyboard: the round trip must give back the key that was typed.
    for (int usage = 0x04; usage <= 0x65; ++usage) {
        if (usage == 0x32) continue;  // shares KEY_BACKSLASH with 0x31
        const int code = InputCodeForKeyboardUsage(usage);
        ASSERT_NE(code, 0) << usage;
        const auto key = HookKeyForInputCode(code, true);
        if (!key) continue;
        const int vk = key->virtualKey == 13 && key->extended ? 108 : key->virtualKey;  // keypad Enter, as recorded
        EXPECT_EQ(keys::VirtualKeyToKeyCode(vk), usage) << "usage " << usage << " vk " << vk;
    }
}
