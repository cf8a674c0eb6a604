// The colour fields of the music picture: a palette type (0 to 20) and a
// brightness give one colour per pixel of the 256 x 64 picture.
//
//   type    content
//   0       black
//   1-8     one colour: white, red, orange, yellow, green, cyan, blue, purple
//   9-14    vertical gradients (top row = first stop, bottom row = last stop);
//           row 0 runs horizontally, mirrored about the centre, with the centre
//           on the last stop (the meter in row 0 grows from there, as the bars
//           grow from the bottom)
//   15      rainbow moving across the columns with the hue
//   16      hue sweep across the columns
//   17, 18  hue by angle around column 128, row 32 (17) or row 64 (18)
//   19      the current hue everywhere
//   20      the rainbow colour of column 1 everywhere
//   other   black
//
// Brightness B (0-100) scales every channel by (B x 2.55) / 256; the hue types
// 16-19 use it as the value of the hue-to-colour conversion instead.
#pragma once

#include <array>
#include <cstdint>

#include "effects/colour.h"

namespace effects {

inline constexpr int kPictureWidth = 256;
inline constexpr int kPictureHeight = 64;
inline constexpr int kPicturePixels = kPictureWidth * kPictureHeight;

// Full saturation; `hue` in degrees (any value, taken modulo 360), `value` 0-255.
Colour HueColour(int hue, int value);

// Types whose colours change with the hue and so are rebuilt every frame.
bool PaletteFollowsHue(int type);

class Palette {
public:
    Palette();
    // Rebuilds the colours when the type, brightness or (for the hue types)
    // the hue differ from the last build.
    void Build(int type, int brightness, double hue);
    const Colour* Pixels() const { return pixels_.data(); }
    Colour At(int column, int row) const { return pixels_[static_cast<std::size_t>(row * kPictureWidth + column)]; }

private:
    void Fill(Colour c);
    void Gradient(const Colour* stops, int count, double scale);

    std::array<Colour, kPicturePixels> pixels_{};
    std::array<Colour, 360> hueColours_{};  // HueColour at the current value
    int builtType_ = -1;
    int builtBrightness_ = -1;
    double builtHue_ = -1.0;
    int hueValue_ = -1;
};

}  // namespace effects
