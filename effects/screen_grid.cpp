#include "effects/screen_grid.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace effects {

namespace {

struct Channel {
    explicit Channel(std::uint32_t m) : mask(m), shift(m ? std::countr_zero(m) : 0), width(std::popcount(m)) {}
    std::uint32_t Get(std::uint32_t pixel) const {
        const std::uint32_t v = (pixel & mask) >> shift;
        if (width >= 8) return v >> (width - 8);
        if (width == 0) return 0;
        return v * 255u / ((1u << width) - 1u);
    }
    std::uint32_t mask;
    int shift;
    int width;
};

}  // namespace

void ReduceScreen(const platform::ScreenImage& image, ScreenCells* cells) {
    cells->fill(0);
    if (!image.data || image.width <= 0 || image.height <= 0 || image.stride < image.width * 4) return;

    const Channel red(image.redMask), green(image.greenMask), blue(image.blueMask);
    std::array<int, kSampleWidth> xOffset;
    std::array<int, kSampleWidth> xCell;
    for (int sx = 0; sx < kSampleWidth; ++sx) {
        const long long x = (2LL * sx + 1) * image.width / (2LL * kSampleWidth);
        xOffset[static_cast<std::size_t>(sx)] = static_cast<int>(x) * 4;
        // The cell a sample counts for is the one its pixel lies in.
        xCell[static_cast<std::size_t>(sx)] = static_cast<int>(x * kCellColumns / image.width);
    }

    // The usual visual (8-bit channels, native order) takes a loop with fixed
    // shifts; every sample costs a handful of instructions then.
    const bool plain = !image.msbFirst && red.width == 8 && green.width == 8 && blue.width == 8;
    std::array<std::uint32_t, kCellColumns * kCellRows> r{}, g{}, b{}, n{};
    for (int sy = 0; sy < kSampleHeight; ++sy) {
        const long long y = (2LL * sy + 1) * image.height / (2LL * kSampleHeight);
        const std::uint8_t* row = image.data + static_cast<std::ptrdiff_t>(y) * image.stride;
        const int cellRow = static_cast<int>(y * kCellRows / image.height) * kCellColumns;
        for (int sx = 0; sx < kSampleWidth; ++sx) {
            std::uint32_t p;
            std::memcpy(&p, row + xOffset[static_cast<std::size_t>(sx)], 4);
            const auto cell = static_cast<std::size_t>(cellRow + xCell[static_cast<std::size_t>(sx)]);
            if (plain) {
                r[cell] += (p >> red.shift) & 0xFFu;
                g[cell] += (p >> green.shift) & 0xFFu;
                b[cell] += (p >> blue.shift) & 0xFFu;
            } else {
                if (image.msbFirst) p = __builtin_bswap32(p);
                r[cell] += red.Get(p);
                g[cell] += green.Get(p);
                b[cell] += blue.Get(p);
            }
            ++n[cell];
        }
    }
    for (std::size_t i = 0; i < cells->size(); ++i) {
        if (n[i] == 0) continue;
        const std::uint32_t half = n[i] / 2;
        (*cells)[i] = MakeColour(static_cast<int>((r[i] + half) / n[i]), static_cast<int>((g[i] + half) / n[i]),
                                 static_cast<int>((b[i] + half) / n[i]));
    }
}

void FillGrid(const ScreenCells& cells, int columns, int rows, ScreenGrid* grid) {
    columns = std::clamp(columns, 0, kGridColumns);
    rows = std::clamp(rows, 0, kGridRowsPerColumn);
    Colour last = 0;
    for (int c = 0; c < columns; ++c) {
        for (int r = 0; r < rows; ++r) {
            if (c < kCellColumns && r < kCellRows) last = cells[static_cast<std::size_t>(r * kCellColumns + c)];
            (*grid)[static_cast<std::size_t>(c * kGridRowsPerColumn + r)] = last;
        }
    }
}

}  // namespace effects
