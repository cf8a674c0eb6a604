#include "effects/key_map.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "effects/music_level.h"

using effects::MatrixLayout;
using effects::MusicKeyMap;

namespace {

TEST(MusicKeyMap, RowsAndColumnsOfThePicture) {
    const MusicKeyMap six(6, 21);
    std::vector<int> rows;
    for (int i = 0; i < 6; ++i) rows.push_back(six.PictureRow(i));
    EXPECT_EQ(rows, (std::vector<int>{7, 17, 27, 37, 47, 57}));
    EXPECT_EQ(six.PictureColumn(0), 0);
    EXPECT_EQ(six.PictureColumn(20), 240);  // 255 div 21 = 12

    const MusicKeyMap eight(8, 32);
    EXPECT_EQ(eight.PictureRow(0), 5);  // 62 div 8 = 7: 0 + 2 + 3
    EXPECT_EQ(eight.PictureRow(7), 54);
    EXPECT_EQ(eight.PictureColumn(31), 217);

    const MusicKeyMap one(1, 1);
    EXPECT_EQ(one.PictureRow(0), 33);
    EXPECT_EQ(one.PictureColumn(0), 0);
}

TEST(MusicKeyMap, AnEmptyLayoutMapsToTheCorner) {
    const MusicKeyMap none(0, 0);
    EXPECT_EQ(none.PictureRow(3), 0);
    EXPECT_EQ(none.PictureColumn(3), 0);
    const MusicKeyMap negative(-1, -4);
    EXPECT_EQ(negative.PictureRow(1), 0);
    EXPECT_EQ(negative.PictureColumn(1), 0);
}

TEST(ForEachKeyColour, VisitsOnlyKeysInsideTheLayout) {
    MatrixLayout layout;
    layout.row_count = 2;
    layout.col_count = 3;
    layout.keyMatrix[0][0] = 0x29;
    layout.keyMatrix[1][2] = 0x04;
    layout.keyMatrix[0][5] = 0x05;  // outside col_count
    layout.keyMatrix[3][0] = 0x06;  // outside row_count

    std::vector<std::pair<int, effects::Colour>> seen;
    const bool lit = effects::ForEachKeyColour(
        layout, [](int r, int c) { return static_cast<effects::Colour>(r * 100 + c); },
        [&](std::uint8_t code, effects::Colour colour) { seen.emplace_back(code, colour); });
    EXPECT_TRUE(lit);
    EXPECT_EQ(seen, (std::vector<std::pair<int, effects::Colour>>{{0x29, 0}, {0x04, 102}}));
}

TEST(ForEachKeyColour, ColoursBelowTwoAreNotWorthAFrame) {
    MatrixLayout layout;
    layout.row_count = 8;
    layout.col_count = 40;  // more than the matrix holds: limited to 32
    for (auto& row : layout.keyMatrix) row.fill(0x10);
    int visits = 0;
    const bool lit = effects::ForEachKeyColour(
        layout, [](int r, int c) { return static_cast<effects::Colour>((r + c) % 2); },
        [&](std::uint8_t, effects::Colour) { ++visits; });
    EXPECT_FALSE(lit);
    EXPECT_EQ(visits, 8 * 32);
}

TEST(MusicLevel, FromTheSampleTenBeforeTheEnd) {
    struct Case {
        std::vector<std::int16_t> samples;
        int expected;
    };
    std::vector<std::int16_t> loud(20, 0);
    loud[10] = -32768;
    std::vector<std::int16_t> small(10, 0);
    small[0] = 256;
    std::vector<std::int16_t> below(12, 0);
    below[2] = -255;
    std::vector<std::int16_t> top(40, 0);
    top[30] = 32767;
    const Case cases[] = {
        {loud, 128}, {small, 1}, {below, 0}, {top, 127}, {std::vector<std::int16_t>(9, 30000), 0},
    };
    for (const Case& c : cases) EXPECT_EQ(effects::MusicLevelFromSamples(c.samples.data(), c.samples.size()), c.expected);
    EXPECT_EQ(effects::MusicLevelFromSamples(nullptr, 0), 0);
}

struct RecordingSink : effects::MusicLevelSink {
    void SendMusicLevel(int level) override { levels.push_back(level); }
    std::vector<int> levels;
};

TEST(MusicLevelPath, SendsOneLevelPerCallOnlyWhileEnabled) {
    RecordingSink sink;
    effects::MusicLevelPath path(sink);
    std::vector<std::int16_t> samples(20, 0);
    samples[10] = 12800;

    path.OnMusicSamples(samples.data(), samples.size(), 4, 16, 2);
    EXPECT_TRUE(sink.levels.empty());

    path.SetEnabled(true);
    path.OnMusicSamples(samples.data(), samples.size(), 4, 16, 2);
    path.OnMusicSamples(nullptr, 0, 4, 16, 2);  // a poll without a packet
    EXPECT_EQ(sink.levels, (std::vector<int>{50, 0}));

    path.SetEnabled(false);
    path.OnMusicSamples(samples.data(), samples.size(), 4, 16, 2);
    EXPECT_EQ(sink.levels.size(), 2u);
}

}  // namespace
