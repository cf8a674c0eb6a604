#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "link/softkeys/vhidev.h"
#include "sim/softkeys/sim_virtual_keyboard.h"

using softkeys::VHidev;

namespace {

struct VHidevTest : ::testing::Test {
    std::shared_ptr<sim::SimVirtualKeyboard> keyboard = std::make_shared<sim::SimVirtualKeyboard>();
    VHidev& vh = VHidev::Instance();
    void SetUp() override {
        vh.SetBackend(keyboard->MakeBackend());
        ASSERT_TRUE(vh.Open());
    }
    void TearDown() override { vh.SetBackend(nullptr); }
    std::vector<std::uint8_t> Bytes(std::size_t i) {
        const auto w = keyboard->Writes().at(i);
        return {w.bytes.begin(), w.bytes.end()};
    }
};

std::vector<std::uint8_t> Expected(std::initializer_list<std::uint8_t> head) {
    std::vector<std::uint8_t> b(64, 0);
    std::copy(head.begin(), head.end(), b.begin());
    return b;
}

}  // namespace

TEST_F(VHidevTest, WritesAre64BytesWithReportIdAfterTheFive) {
    const std::uint8_t data[3] = {0xAA, 0xBB, 0xCC};
    ASSERT_TRUE(vh.Write(data, 3, 9));
    EXPECT_EQ(Bytes(0), Expected({5, 9, 0xAA, 0xBB, 0xCC}));
    // Report id 0: the data starts at byte 1.
    ASSERT_TRUE(vh.Write(data, 3, 0));
    EXPECT_EQ(Bytes(1), Expected({5, 0xAA, 0xBB, 0xCC}));
    // Data longer than the buffer is cut, never written past it.
    std::vector<std::uint8_t> big(100, 0x11);
    ASSERT_TRUE(vh.Write(big.data(), big.size(), 2));
    auto b = Bytes(2);
    EXPECT_EQ(b[1], 2);
    EXPECT_EQ(std::count(b.begin() + 2, b.end(), 0x11), 62);
    ASSERT_TRUE(vh.Write(big.data(), big.size(), 0));
    b = Bytes(3);
    EXPECT_EQ(std::count(b.begin() + 1, b.end(), 0x11), 63);
}

TEST_F(VHidevTest, ReportsAsThePartsOfTheDeviceHoldThem) {
    vh.SetKey(0x04, true);
    vh.SetKey(0xE1, true);
    vh.SetMouseButton(3, true);
    vh.SetConsumer(0x0EA, true);
    vh.SetKey(0x04, false);
    vh.SetConsumer(0x0EA, false);

    auto w = keyboard->Writes();
    ASSERT_EQ(w.size(), 6u);
    // Keyboard: id 1, byte 0 of the report 0, bit 4 of map byte 0 for code 4.
    EXPECT_EQ(Bytes(0), Expected({5, 1, 0, 0x10}));
    std::vector<std::uint8_t> both = Expected({5, 1, 0, 0x10});
    both[2 + 1 + 0xE1 / 8] = 0x02;  // code 225: bit 1 of map byte 28
    EXPECT_EQ(Bytes(1), both);
    EXPECT_EQ(Bytes(2), Expected({5, 2, 0x08}));
    EXPECT_EQ(Bytes(3), Expected({5, 3, 0xEA, 0x00}));
    both[3] = 0;
    EXPECT_EQ(Bytes(4), both);
    EXPECT_EQ(Bytes(5), Expected({5, 3, 0x00, 0x00}));
    EXPECT_TRUE(vh.KeyHeld(0xE1));
    EXPECT_EQ(vh.MouseButtons(), 0x08);
}

TEST_F(VHidevTest, ReleaseAllSendsTheFourReportsEmpty) {
    vh.SetKey(0x1E, true);
    vh.SetMouseButton(0, true);
    vh.SetConsumer(0x0CD, true);
    keyboard->ClearRecords();
    vh.ReleaseAll();
    const auto w = keyboard->Writes();
    ASSERT_EQ(w.size(), 4u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Bytes(static_cast<std::size_t>(i)), Expected({5, static_cast<std::uint8_t>(i + 1)})) << i;
    EXPECT_FALSE(keyboard->AnyKeyHeld());
}

TEST_F(VHidevTest, OutOfRangeKeysAndButtonsAreIgnored) {
    vh.SetKey(256, true);
    vh.SetKey(-1, true);
    vh.SetMouseButton(8, true);
    vh.SetMouseButton(-1, true);
    EXPECT_EQ(keyboard->WriteCount(), 0u);
}

TEST_F(VHidevTest, WithoutADeviceNothingIsWrittenAndReopeningRecovers) {
    keyboard->Disappear();
    vh.SetKey(0x04, true);
    EXPECT_FALSE(vh.Write(nullptr, 0, 1));
    EXPECT_EQ(keyboard->WriteCount(), 0u);
    keyboard->SetOpenable(false);
    EXPECT_FALSE(vh.Open());
    keyboard->SetOpenable(true);
    EXPECT_TRUE(vh.Open());
    vh.SetKey(0x05, true);
    // The report still holds what was set while the device was away.
    ASSERT_EQ(keyboard->WriteCount(), 1u);
    EXPECT_TRUE(keyboard->KeyHeld(0x04));
    EXPECT_TRUE(keyboard->KeyHeld(0x05));
    vh.SetBackend(nullptr);
    EXPECT_FALSE(vh.Open());
    EXPECT_FALSE(vh.Write(nullptr, 0, 1));
}

TEST_F(VHidevTest, ConcurrentWritersLoseNoKey) {
    // Four threads hold and release keys of their own; at the end each holds
    // its last key. An unlocked read-modify-write would drop some.
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < 500; ++i) {
                const int code = 4 + t * 10 + i % 10;
                vh.SetKey(code, true);
                if (i < 499) vh.SetKey(code, false);
            }
            vh.SetMouseButton(t, true);
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < 4; ++t) {
        EXPECT_TRUE(vh.KeyHeld(4 + t * 10 + 9)) << t;
        EXPECT_TRUE(keyboard->KeyHeld(4 + t * 10 + 9)) << t;
    }
    EXPECT_EQ(vh.MouseButtons(), 0x0F);
    EXPECT_EQ(keyboard->Buttons(), 0x0F);
    EXPECT_EQ(keyboard->WriteCount(), 4u * 1000u - 4u + 4u);
}
