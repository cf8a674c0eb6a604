// Where each key of the keyboard's matrix takes its colour from: a pixel of
// the music picture, or a cell of the screen grid.
#pragma once

#include <array>
#include <cstdint>

#include "effects/colour.h"

namespace effects {

inline constexpr int kMatrixRows = 8;
inline constexpr int kMatrixColumns = 32;
inline constexpr std::uint8_t kNoKey = 0xFF;

// The part of a keyboard's layout the engines need.
struct MatrixLayout {
    int row_count = 0;
    int col_count = 0;
    // Key code per cell, kNoKey where the matrix has no key.
    std::array<std::array<std::uint8_t, kMatrixColumns>, kMatrixRows> keyMatrix = Empty();

    static std::array<std::array<std::uint8_t, kMatrixColumns>, kMatrixRows> Empty() {
        std::array<std::array<std::uint8_t, kMatrixColumns>, kMatrixRows> m{};
        for (auto& row : m) row.fill(kNoKey);
        return m;
    }
};

// Matrix cell -> music picture pixel. With R rows and C columns, matrix row i
// samples picture row i x (62 div R) + 2 + trunc((62 div R) x 0.5) and column
// j samples picture column j x (255 div C). A count of 0 maps everything to 0.
class MusicKeyMap {
public:
    MusicKeyMap() = default;
    MusicKeyMap(int rowCount, int colCount);
    int PictureRow(int row) const;
    int PictureColumn(int column) const;

private:
    int rows_ = 0;
    int rowStep_ = 0;
    int colStep_ = 0;
};

// Calls visit(keyCode, colour) for every cell (row < row_count, column <
// col_count, both within the matrix) that holds a key, with the colour
// cellColour(row, column) gives. True when some colour is 2 or more, the
// test for whether a frame is worth sending.
template <class CellColour, class Visit>
bool ForEachKeyColour(const MatrixLayout& layout, CellColour&& cellColour, Visit&& visit) {
    bool lit = false;
    const int rows = layout.row_count < kMatrixRows ? layout.row_count : kMatrixRows;
    const int cols = layout.col_count < kMatrixColumns ? layout.col_count : kMatrixColumns;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            const std::uint8_t code = layout.keyMatrix[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
            if (code == kNoKey) continue;
            const Colour colour = cellColour(r, c);
            if (colour >= 2) lit = true;
            visit(code, colour);
        }
    }
    return lit;
}

}  // namespace effects
