// The screen reduced to the screen light's 18 x 6 cells, and the cells
// spread over a keyboard matrix.
#pragma once

#include <array>

#include "effects/colour.h"
#include "platform/screen_source.h"

namespace effects {

inline constexpr int kCellColumns = 18;
inline constexpr int kCellRows = 6;
// The screen is first point-sampled to this size, then averaged per cell:
// each sample then costs a fixed amount whatever the screen's size.
inline constexpr int kSampleWidth = 480;
inline constexpr int kSampleHeight = 270;

// Cells row by row (row x 18 + column): the average colour of the sample
// points whose pixels lie in each cell. An empty image gives black cells.
using ScreenCells = std::array<Colour, kCellColumns * kCellRows>;
void ReduceScreen(const platform::ScreenImage& image, ScreenCells* cells);

// 8 colours per matrix column, indexed column x 8 + row.
inline constexpr int kGridRowsPerColumn = 8;
inline constexpr int kGridColumns = 32;
using ScreenGrid = std::array<Colour, kGridColumns * kGridRowsPerColumn>;

// For each matrix column c < columns and row r < rows, in that order: the cell
// (c, r) when it exists, else the colour last stored (black before the
// first). Columns and rows are limited to the grid; other entries keep their
// values.
void FillGrid(const ScreenCells& cells, int columns, int rows, ScreenGrid* grid);

}  // namespace effects
