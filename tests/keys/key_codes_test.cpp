#include <gtest/gtest.h>

#include <set>

#include "link/keys/key_codes.h"

using namespace keys;

TEST(KeyCodes, VirtualKeysToKeyCodes) {
    struct Case { int vk; int code; };
    const Case cases[] = {
        {65, 4},    {90, 29},   {49, 30},   {57, 38},   {48, 39},   {112, 58},  {123, 69},
        {124, 104}, {135, 115}, {13, 40},   {160, 225}, {165, 230}, {173, 235}, {174, 233},
        {175, 234}, {183, 242}, {226, 100}, {254, 175}, {666, 50},  {136, 136}, {91, 227},
        {0, 0},     {47, 0},    {255, 0},   {-1, 0},    {1000, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(VirtualKeyToKeyCode(c.vk), c.code) << c.vk;
}

TEST(KeyCodes, StepDelayEncoding) {
    struct Case { bool release; int ms; int byte; };
    const Case cases[] = {
        {false, 5, 0x01},     {true, 5, 0x81},      {false, 0, 0x01},     {false, -20, 0x01},
        {true, -20, 0x81},    {false, 10, 0x01},    {false, 11, 0x01},    {false, 20, 0x02},
        {false, 310, 0x1F},   {false, 311, 0x26},   {false, 1000, 0x34},  {false, 1550, 0x3F},
        {false, 1551, 0x2F},  {false, 2000, 0x34},  {true, 3100, 0xBF},   {false, 3101, 0x63},
        {false, 31000, 0x7F}, {false, 40000, 0x7F}, {true, 40000, 0xFF},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncodeStepDelay(c.release, c.ms), c.byte) << c.ms << (c.release ? " release" : " press");
}

TEST(KeyCodes, BuiltInShortcuts) {
    for (int n = 1; n <= 15; ++n) {
        const auto steps = BuiltInShortcut(n);
        ASSERT_EQ(steps.size(), (n == 13 || n == 14) ? 6u : 4u) << n;
        // Every key pressed is released again, in reverse order.
        for (size_t i = 0; i < steps.size() / 2; ++i) {
            EXPECT_FALSE(steps[i].release);
            EXPECT_TRUE(steps[steps.size() - 1 - i].release);
            EXPECT_EQ(steps[i].keyCode, steps[steps.size() - 1 - i].keyCode);
        }
    }
    EXPECT_EQ(BuiltInShortcut(2)[0].keyCode, 224);
    EXPECT_EQ(BuiltInShortcut(2)[1].keyCode, 6);
    EXPECT_EQ(BuiltInShortcut(10)[0].keyCode, 226);
    EXPECT_EQ(BuiltInShortcut(10)[1].keyCode, 43);
    EXPECT_EQ(BuiltInShortcut(14)[2].keyCode, 17);
    EXPECT_EQ(BuiltInShortcut(15)[1].keyCode, 61);
    EXPECT_TRUE(BuiltInShortcut(0).empty());
    EXPECT_TRUE(BuiltInShortcut(16).empty());
}

TEST(KeyCodes, ConsumerAndMouseTables) {
    EXPECT_EQ(ConsumerUsageForKeyCode(233), 0x0EA);
    EXPECT_EQ(ConsumerUsageForKeyCode(232), 0x183);
    EXPECT_EQ(ConsumerUsageForKeyCode(249), 0x194);
    EXPECT_EQ(ConsumerUsageForKeyCode(231), 0);
    std::set<int> usages;
    for (int c = 232; c <= 249; ++c) usages.insert(ConsumerUsageForKeyCode(c));
    EXPECT_EQ(usages.size(), 18u);  // one distinct usage per media key
    struct Case { int value; int bit; };
    const Case mouse[] = {{1, 0}, {2, 2}, {3, 1}, {7, 4}, {8, 3}, {0, -1}, {4, -1}, {9, -1}};
    for (const auto& c : mouse) EXPECT_EQ(MouseButtonBit(c.value), c.bit) << c.value;
}
