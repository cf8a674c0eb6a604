#include "effects/screen_grid.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using effects::Colour;
using effects::MakeColour;
using effects::ScreenCells;
using effects::ScreenGrid;

namespace {

// A screen in X11 order (0x00RRGGBB little-endian words) with every one of
// the 18 x 6 cells painted in its own colour.
struct Screen {
    Screen(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0) {}
    void Rect(int x0, int y0, int x1, int y1, std::uint32_t rgb) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) pixels[static_cast<std::size_t>(y * width + x)] = rgb;
    }
    static std::uint32_t CellRgb(int c, int r) { return (static_cast<std::uint32_t>(c * 14) << 16) | (static_cast<std::uint32_t>(r * 40) << 8) | 0x33; }
    // Pixel (x, y) lies in cell (18x / width, 6y / height).
    void PaintCells() {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                pixels[static_cast<std::size_t>(y * width + x)] = CellRgb(x * 18 / width, y * 6 / height);
    }
    platform::ScreenImage Image() const {
        platform::ScreenImage img;
        img.data = reinterpret_cast<const std::uint8_t*>(pixels.data());
        img.width = width;
        img.height = height;
        img.stride = width * 4;
        return img;
    }
    int width, height;
    std::vector<std::uint32_t> pixels;
};

Colour Expected(int c, int r) { return MakeColour(c * 14, r * 40, 0x33); }

TEST(ReduceScreen, EachCellIsItsAreasColourAtCommonSizes) {
    for (auto [w, h] : {std::pair{1920, 1080}, std::pair{2560, 1440}, std::pair{1366, 768}, std::pair{480, 270},
                        std::pair{100, 60}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        Screen s(w, h);
        s.PaintCells();
        ScreenCells cells;
        effects::ReduceScreen(s.Image(), &cells);
        for (int r = 0; r < 6; ++r)
            for (int c = 0; c < 18; ++c) ASSERT_EQ(cells[static_cast<std::size_t>(r * 18 + c)], Expected(c, r)) << c << "," << r;
    }
}

TEST(ReduceScreen, AveragesWithinACell) {
    Screen s(1920, 1080);
    // Cell (0, 0) covers x 0-105, y 0-179: white left half, black right half.
    s.Rect(0, 0, 53, 180, 0xFFFFFF);
    ScreenCells cells;
    effects::ReduceScreen(s.Image(), &cells);
    const int grey = effects::RedOf(cells[0]);
    EXPECT_NEAR(grey, 128, 10);
    EXPECT_EQ(effects::GreenOf(cells[0]), grey);
    EXPECT_EQ(cells[1], 0u);
}

TEST(ReduceScreen, BlackScreenIsBelowTwoEverywhere) {
    Screen s(1920, 1080);
    ScreenCells cells;
    cells.fill(0xFFFFFF);
    effects::ReduceScreen(s.Image(), &cells);
    for (Colour c : cells) EXPECT_LT(c, 2u);
}

TEST(ReduceScreen, ChannelMasksAndByteOrder) {
    Screen s(64, 36);
    s.Rect(0, 0, 64, 36, 0x00112233);
    platform::ScreenImage img = s.Image();
    ScreenCells cells;

    effects::ReduceScreen(img, &cells);
    EXPECT_EQ(cells[0], MakeColour(0x11, 0x22, 0x33));

    img.redMask = 0x000000FF;  // a BGR visual
    img.blueMask = 0x00FF0000;
    effects::ReduceScreen(img, &cells);
    EXPECT_EQ(cells[5], MakeColour(0x33, 0x22, 0x11));

    std::vector<std::uint32_t> swapped(s.pixels);
    for (auto& p : swapped) p = __builtin_bswap32(p);
    img = s.Image();
    img.data = reinterpret_cast<const std::uint8_t*>(swapped.data());
    img.msbFirst = true;
    effects::ReduceScreen(img, &cells);
    EXPECT_EQ(cells[107], MakeColour(0x11, 0x22, 0x33));

    // 10-bit channels (depth 30) come down to 8 bits.
    std::vector<std::uint32_t> deep(s.pixels.size(), (1023u << 20) | (512u << 10) | 0u);
    img = s.Image();
    img.data = reinterpret_cast<const std::uint8_t*>(deep.data());
    img.redMask = 0x3FF00000;
    img.greenMask = 0x000FFC00;
    img.blueMask = 0x000003FF;
    effects::ReduceScreen(img, &cells);
    EXPECT_EQ(cells[0], MakeColour(255, 128, 0));
}

TEST(ReduceScreen, NoImageGivesBlack) {
    ScreenCells cells;
    cells.fill(7);
    effects::ReduceScreen(platform::ScreenImage{}, &cells);
    for (Colour c : cells) EXPECT_EQ(c, 0u);
    std::uint32_t one = 0xFFFFFF;
    platform::ScreenImage bad;
    bad.data = reinterpret_cast<const std::uint8_t*>(&one);
    bad.width = 1;
    bad.height = 1;
    bad.stride = 2;  // shorter than a row
    cells.fill(7);
    effects::ReduceScreen(bad, &cells);
    EXPECT_EQ(cells[0], 0u);
}

ScreenCells NumberedCells() {
    ScreenCells cells;
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 18; ++c) cells[static_cast<std::size_t>(r * 18 + c)] = static_cast<Colour>(1000 + c * 10 + r);
    return cells;
}

Colour At(const ScreenGrid& g, int c, int r) { return g[static_cast<std::size_t>(c * 8 + r)]; }

TEST(FillGrid, CellsOutsideTheEighteenBySixRepeatTheLastOneRead) {
    ScreenGrid grid{};
    effects::FillGrid(NumberedCells(), 21, 6, &grid);
    EXPECT_EQ(At(grid, 0, 0), 1000u);
    EXPECT_EQ(At(grid, 17, 5), 1175u);
    for (int c = 18; c <= 20; ++c)
        for (int r = 0; r < 6; ++r) EXPECT_EQ(At(grid, c, r), 1175u) << c << "," << r;
    EXPECT_EQ(At(grid, 21, 0), 0u);  // beyond the matrix: untouched
}

TEST(FillGrid, RowsBeyondSixRepeatTheirColumnsLastCell) {
    ScreenGrid grid{};
    effects::FillGrid(NumberedCells(), 3, 8, &grid);
    EXPECT_EQ(At(grid, 1, 5), 1015u);
    EXPECT_EQ(At(grid, 1, 6), 1015u);
    EXPECT_EQ(At(grid, 1, 7), 1015u);
    EXPECT_EQ(At(grid, 2, 0), 1020u);
}

TEST(FillGrid, SizesAreLimitedToTheGrid) {
    ScreenGrid grid;
    grid.fill(9);
    effects::FillGrid(NumberedCells(), 99, 99, &grid);
    EXPECT_EQ(At(grid, 31, 7), 1175u);
    effects::FillGrid(NumberedCells(), 0, 5, &grid);  // nothing to fill
    EXPECT_EQ(At(grid, 31, 7), 1175u);
}

}  // namespace
