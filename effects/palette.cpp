#include "effects/palette.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace effects {

namespace {

constexpr double kPi = 3.14159265358979323846;

// The angle of every pixel around a centre, in whole degrees 0-359. Fixed by
// the geometry, so computed once instead of 16 384 atan2 calls a frame.
struct AngleTable {
    explicit AngleTable(int centreRow) : degrees(kPicturePixels) {
        for (int y = 0; y < kPictureHeight; ++y) {
            for (int c = 0; c < kPictureWidth; ++c) {
                const double deg = std::atan2(y - centreRow, c - 128) * 180.0 / kPi + 180.0;
                degrees[static_cast<std::size_t>(y * kPictureWidth + c)] =
                    static_cast<std::uint16_t>(static_cast<int>(deg) % 360);
            }
        }
    }
    std::vector<std::uint16_t> degrees;
};

const AngleTable& Angles(int centreRow) {
    static const AngleTable around32(32);
    static const AngleTable around64(64);
    return centreRow == 32 ? around32 : around64;
}

Colour Scale(int r, int g, int b, double scale) {
    return MakeColour(static_cast<int>(r * scale), static_cast<int>(g * scale), static_cast<int>(b * scale));
}

// The rainbow of type 15 at one column. 3.14 (not pi) is part of the look.
void Rainbow(int column, double hue, int* r, int* g, int* b) {
    const double angle = std::fmod(column * 1.4117647 - hue, 360.0) / 360.0 * 2.0 * 3.14;
    *r = static_cast<int>((std::sin(angle) + 1.0) * 127.0);
    *g = static_cast<int>((std::sin(angle - 2.0933335) + 1.0) * 127.0);
    *b = static_cast<int>((std::sin(angle + 2.0933335) + 1.0) * 127.0);
}

constexpr Colour kSolid[9] = {
    0,
    MakeColour(255, 255, 255),  // white
    MakeColour(255, 0, 0),      // red
    MakeColour(255, 64, 0),     // orange
    MakeColour(255, 255, 0),    // yellow
    MakeColour(0, 255, 0),      // green
    MakeColour(0, 255, 255),    // cyan
    MakeColour(0, 0, 255),      // blue
    MakeColour(64, 0, 255),     // purple
};

constexpr Colour kGreen = MakeColour(0, 255, 0);
constexpr Colour kYellow = MakeColour(255, 255, 0);
constexpr Colour kRed = MakeColour(255, 0, 0);
constexpr Colour kWhite = MakeColour(255, 255, 255);
constexpr Colour kBlue = MakeColour(0, 0, 255);
constexpr Colour kCyan = MakeColour(0, 255, 255);
constexpr Colour kMagenta = MakeColour(255, 0, 255);

struct Stops {
    Colour colours[6];
    int count;
};
constexpr Stops kGradients[6] = {
    {{kGreen, kYellow, kRed}, 3},                            // 9
    {{kGreen, kWhite, kRed}, 3},                             // 10
    {{kBlue, kCyan, kWhite}, 3},                             // 11
    {{kRed, kWhite, kBlue}, 3},                              // 12
    {{kRed, kYellow, kGreen, kCyan, kBlue, kMagenta}, 6},    // 13
    {{kMagenta, kBlue, kCyan, kGreen, kYellow, kRed}, 6},    // 14
};

Colour Interpolate(const Colour* stops, int count, double t, double scale) {
    const double pos = std::clamp(t, 0.0, 1.0) * (count - 1);
    const int i = std::min(static_cast<int>(pos), count - 2);
    const double f = pos - i;
    const Colour a = stops[i];
    const Colour b = stops[i + 1];
    auto mix = [f](int x, int y) { return x + (y - x) * f; };
    const double r = std::round(mix(RedOf(a), RedOf(b)));
    const double g = std::round(mix(GreenOf(a), GreenOf(b)));
    const double bl = std::round(mix(BlueOf(a), BlueOf(b)));
    return Scale(static_cast<int>(r), static_cast<int>(g), static_cast<int>(bl), scale);
}

}  // namespace

Colour HueColour(int hue, int value) {
    hue %= 360;
    if (hue < 0) hue += 360;
    value = std::clamp(value, 0, 255);
    const int region = hue / 60;
    const int rem = (hue - region * 60) * 255 / 60;
    const int q = value * (255 - rem) / 255;
    const int t = value * rem / 255;
    switch (region) {
    case 0: return MakeColour(value, t, 0);
    case 1: return MakeColour(q, value, 0);
    case 2: return MakeColour(0, value, t);
    case 3: return MakeColour(0, q, value);
    case 4: return MakeColour(t, 0, value);
    default: return MakeColour(value, 0, q);
    }
}

bool PaletteFollowsHue(int type) { return type >= 15 && type <= 20; }

Palette::Palette() = default;

void Palette::Fill(Colour c) { pixels_.fill(c); }

void Palette::Gradient(const Colour* stops, int count, double scale) {
    for (int y = 1; y < kPictureHeight; ++y) {
        const Colour c = Interpolate(stops, count, y / 63.0, scale);
        std::fill_n(pixels_.begin() + y * kPictureWidth, kPictureWidth, c);
    }
    for (int a = 0; a < kPictureWidth; ++a) {
        const double d = a <= 127 ? (127 - a) / 128.0 : (a - 128) / 128.0;
        pixels_[static_cast<std::size_t>(a)] = Interpolate(stops, count, 1.0 - d, scale);
    }
}

void Palette::Build(int type, int brightness, double hue) {
    brightness = std::clamp(brightness, 0, 100);
    const bool follows = PaletteFollowsHue(type);
    if (type == builtType_ && brightness == builtBrightness_ && (!follows || hue == builtHue_)) return;
    builtType_ = type;
    builtBrightness_ = brightness;
    builtHue_ = hue;

    const double scale = brightness * 2.55 / 256.0;
    const int value = static_cast<int>(std::lround(brightness * 2.55));
    if (type >= 16 && type <= 19 && value != hueValue_) {
        for (int h = 0; h < 360; ++h) hueColours_[static_cast<std::size_t>(h)] = HueColour(h, value);
        hueValue_ = value;
    }
    auto hueAt = [this](int h) { return hueColours_[static_cast<std::size_t>(((h % 360) + 360) % 360)]; };

    if (type >= 1 && type <= 8) {
        const Colour c = kSolid[type];
        Fill(Scale(RedOf(c), GreenOf(c), BlueOf(c), scale));
    } else if (type >= 9 && type <= 14) {
        const Stops& s = kGradients[type - 9];
        Gradient(s.colours, s.count, scale);
    } else if (type == 15) {
        for (int a = 0; a < kPictureWidth; ++a) {
            int r, g, b;
            Rainbow(a, hue, &r, &g, &b);
            pixels_[static_cast<std::size_t>(a)] = Scale(r, g, b, scale);
        }
        for (int y = 1; y < kPictureHeight; ++y)
            std::copy_n(pixels_.begin(), kPictureWidth, pixels_.begin() + y * kPictureWidth);
    } else if (type == 16) {
        for (int a = 0; a < kPictureWidth; ++a)
            pixels_[static_cast<std::size_t>(a)] = hueAt(static_cast<int>(std::fmod(256 - a + hue, 360.0)));
        for (int y = 1; y < kPictureHeight; ++y)
            std::copy_n(pixels_.begin(), kPictureWidth, pixels_.begin() + y * kPictureWidth);
    } else if (type == 17 || type == 18) {
        const std::vector<std::uint16_t>& deg = Angles(type == 17 ? 32 : 64).degrees;
        // The hue only ever advances in whole steps, so the sum stays whole.
        const int h0 = static_cast<int>(hue);
        for (std::size_t i = 0; i < pixels_.size(); ++i) pixels_[i] = hueAt(deg[i] + h0);
    } else if (type == 19) {
        Fill(hueAt(static_cast<int>(hue)));
    } else if (type == 20) {
        int r, g, b;
        Rainbow(1, hue, &r, &g, &b);
        Fill(Scale(r, g, b, scale));
    } else {
        Fill(0);
    }
}

}  // namespace effects
