// Colours as the keyboard and the store keep them: 0x00BBGGRR, red in the
// lowest byte. The engines' pictures and grids hold these values.
#pragma once

#include <cstdint>

namespace effects {

using Colour = std::uint32_t;

constexpr Colour MakeColour(int r, int g, int b) {
    return static_cast<Colour>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int RedOf(Colour c) { return static_cast<int>(c & 0xFF); }
constexpr int GreenOf(Colour c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int BlueOf(Colour c) { return static_cast<int>((c >> 16) & 0xFF); }

}  // namespace effects
