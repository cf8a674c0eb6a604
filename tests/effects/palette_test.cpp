#include "effects/palette.h"

#include <gtest/gtest.h>

using effects::Colour;
using effects::HueColour;
using effects::MakeColour;
using effects::Palette;

namespace {

struct PixelCase {
    const char* name;
    int type;
    int brightness;
    double hue;
    int column;
    int row;
    Colour expected;
};

// Channels are scaled by (B x 2.55) / 256, so 255 at brightness 100 is 254.
const PixelCase kPixels[] = {
    {"black", 0, 100, 0, 10, 10, 0},
    {"white", 1, 100, 0, 10, 10, MakeColour(254, 254, 254)},
    {"red", 2, 100, 0, 0, 63, MakeColour(254, 0, 0)},
    {"orange", 3, 100, 0, 5, 5, MakeColour(254, 63, 0)},
    {"yellow", 4, 100, 0, 5, 5, MakeColour(254, 254, 0)},
    {"green", 5, 100, 0, 5, 5, MakeColour(0, 254, 0)},
    {"cyan", 6, 100, 0, 5, 5, MakeColour(0, 254, 254)},
    {"blue", 7, 100, 0, 5, 5, MakeColour(0, 0, 254)},
    {"purple", 8, 100, 0, 5, 5, MakeColour(63, 0, 254)},
    {"red at half brightness", 2, 50, 0, 5, 5, MakeColour(127, 0, 0)},
    {"white at brightness 0", 1, 0, 0, 5, 5, 0},
    {"unknown type", 21, 100, 0, 5, 5, 0},
    // Gradients: bottom row = last stop, row 0 centre = last stop.
    {"9 bottom is red", 9, 100, 0, 30, 63, MakeColour(254, 0, 0)},
    {"9 row 31 is nearly yellow", 9, 100, 0, 30, 31, MakeColour(250, 254, 0)},
    {"9 row 0 centre", 9, 100, 0, 128, 0, MakeColour(254, 0, 0)},
    {"9 row 0 mirrored", 9, 100, 0, 127, 0, MakeColour(254, 0, 0)},
    {"10 bottom is red", 10, 100, 0, 0, 63, MakeColour(254, 0, 0)},
    {"11 bottom is white", 11, 100, 0, 0, 63, MakeColour(254, 254, 254)},
    {"12 bottom is blue", 12, 100, 0, 0, 63, MakeColour(0, 0, 254)},
    {"13 bottom is magenta", 13, 100, 0, 0, 63, MakeColour(254, 0, 254)},
    {"14 bottom is red", 14, 100, 0, 0, 63, MakeColour(254, 0, 0)},
    // Hue types use the brightness as the value.
    {"16 column 16 at hue 0 is 240 degrees", 16, 100, 0, 16, 40, MakeColour(0, 0, 255)},
    {"16 follows the hue", 16, 100, 120, 16, 40, MakeColour(255, 0, 0)},
    // Top-left corner: atan2(-32, -128) is -165.96 degrees, so 14 (17); around
    // row 64 it is -153.43, so 26 (18).
    {"17 top-left", 17, 100, 0, 0, 0, MakeColour(255, 59, 0)},
    {"18 top-left", 18, 100, 0, 0, 0, MakeColour(255, 110, 0)},
    {"17 top-left plus the hue", 17, 100, 120, 0, 0, MakeColour(0, 255, 59)},
    {"19 is the hue", 19, 100, 240, 3, 3, MakeColour(0, 0, 255)},
    {"19 at brightness 0", 19, 0, 240, 3, 3, 0},
};

TEST(Palette, PixelsByTypeBrightnessAndHue) {
    for (const PixelCase& c : kPixels) {
        SCOPED_TRACE(c.name);
        Palette p;
        p.Build(c.type, c.brightness, c.hue);
        EXPECT_EQ(p.At(c.column, c.row), c.expected);
    }
}

TEST(Palette, GradientTopRowIsNearTheFirstStop) {
    Palette p;
    p.Build(9, 100, 0.0);
    EXPECT_EQ(p.At(10, 1), MakeColour(7, 254, 0));
    // Row 0's edges are as far from the centre as the top is from the bottom.
    EXPECT_EQ(p.At(0, 0), p.At(255, 0));
    EXPECT_LT(effects::RedOf(p.At(0, 0)), 10);
}

TEST(Palette, RainbowMovesWithTheHueAndTypeTwentyIsItsColumnOne) {
    Palette a;
    a.Build(15, 100, 0.0);
    const Colour column1 = a.At(1, 20);
    Colour previous = a.At(0, 0);
    bool varies = false;
    for (int c = 1; c < 256; ++c) varies |= a.At(c, 0) != previous;
    EXPECT_TRUE(varies);
    for (int y = 0; y < 64; ++y) EXPECT_EQ(a.At(77, y), a.At(77, 0));

    Palette b;
    b.Build(15, 100, 90.0);
    EXPECT_NE(b.At(1, 20), column1);

    Palette solid;
    solid.Build(20, 100, 0.0);
    EXPECT_EQ(solid.At(200, 50), column1);
    EXPECT_EQ(solid.At(0, 0), column1);
}

TEST(Palette, RebuildsOnlyWhenSomethingChanged) {
    Palette p;
    p.Build(2, 100, 0.0);
    EXPECT_EQ(p.At(0, 0), MakeColour(254, 0, 0));
    p.Build(2, 100, 45.0);  // solid colours ignore the hue
    EXPECT_EQ(p.At(0, 0), MakeColour(254, 0, 0));
    p.Build(2, 0, 45.0);
    EXPECT_EQ(p.At(0, 0), 0u);
    p.Build(19, 100, 0.0);
    EXPECT_EQ(p.At(0, 0), MakeColour(255, 0, 0));
    p.Build(19, 100, 120.0);
    EXPECT_EQ(p.At(0, 0), MakeColour(0, 255, 0));
}

TEST(HueColour, Sectors) {
    EXPECT_EQ(HueColour(0, 255), MakeColour(255, 0, 0));
    EXPECT_EQ(HueColour(60, 255), MakeColour(255, 255, 0));
    EXPECT_EQ(HueColour(120, 255), MakeColour(0, 255, 0));
    EXPECT_EQ(HueColour(180, 255), MakeColour(0, 255, 255));
    EXPECT_EQ(HueColour(240, 255), MakeColour(0, 0, 255));
    EXPECT_EQ(HueColour(300, 255), MakeColour(255, 0, 255));
    EXPECT_EQ(HueColour(360 + 120, 255), MakeColour(0, 255, 0));
    EXPECT_EQ(HueColour(-120, 255), MakeColour(0, 0, 255));
    EXPECT_EQ(HueColour(0, 100), MakeColour(100, 0, 0));
}

}  // namespace
