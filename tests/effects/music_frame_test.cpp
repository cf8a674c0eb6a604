#include "effects/music_frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "fake_sources.h"

using effects::Colour;
using effects::kPictureHeight;
using effects::kPicturePixels;
using effects::kPictureWidth;
using effects::MakeColour;
using effects::Palette;
using effects::MusicFrameEngine;
using effects::MusicFrameSettings;

namespace {

// Mono at 48 kHz: one history sample per four frames, so the history runs at
// 12 kHz and FFT bin k sits at k x 12000 / 256 Hz.
constexpr int kRate = 48000;
constexpr double kBinHz = 12000.0 / 256.0;

class MusicFrameTest : public ::testing::Test {
protected:
    // A whole history (1024 frames) of a tone centred on FFT bin `bin`.
    void FeedBin(int bin, double amplitude) {
        const std::vector<float> f = effects_test::SineFrames(bin * kBinHz, amplitude, kRate, 1, 1024, &phase_);
        engine_.AddPacket(f.data(), f.size() * sizeof(float), f.size());
    }
    void FeedSilence(std::size_t frames = 1024) {
        const std::vector<float> f(frames, 0.0f);
        engine_.AddPacket(f.data(), f.size() * sizeof(float), f.size());
    }
    void Frame() { engine_.ComputeFrame(picture_.data()); }
    Colour Pixel(int column, int row) const { return picture_[static_cast<std::size_t>(row * kPictureWidth + column)]; }
    float Display(int column) const { return engine_.DisplayLevels()[column]; }

    // Red bars on a blue background make every pixel's origin plain.
    static MusicFrameSettings Plain() {
        MusicFrameSettings s;
        s.sensitivity = 300;
        s.barType = 2;
        s.backType = 7;
        return s;
    }

    MusicFrameEngine engine_;
    std::vector<Colour> picture_ = std::vector<Colour>(kPicturePixels, 0xDEADBEEF);
    double phase_ = 0.0;
};

constexpr Colour kRed = MakeColour(254, 0, 0);   // full red at brightness 100
constexpr Colour kBlue = MakeColour(0, 0, 254);

TEST_F(MusicFrameTest, FullScaleSineSetsItsBandToOneAndColoursItsColumns) {
    engine_.SetSettings(Plain());
    FeedBin(10, 1.0);
    Frame();
    EXPECT_FLOAT_EQ(engine_.BandValues()[10], 1.0f);
    EXPECT_LE(engine_.BandValues()[30], 0.0f);
    // Bars are red from the bottom up in the lit columns; far away only the
    // background shows.
    EXPECT_EQ(Pixel(41, 63), kRed);
    EXPECT_EQ(Pixel(200, 63), kBlue);
    EXPECT_EQ(Pixel(200, 1), kBlue);
}

// One band alone (no window, a tone exactly on bin 10) lights columns 40-43
// at 1.0; the smoothing modes then spread it exactly as their means say.
TEST_F(MusicFrameTest, SmoothingAndFollowSpreadTheBand) {
    struct Case {
        const char* name;
        int mode;
        int width;
        float follow;
        int column;
        float expected;
    };
    const Case cases[] = {
        {"none", 2, 8, 1.0f, 41, 1.0f},
        {"none, neighbour", 2, 8, 1.0f, 44, 0.0f},
        {"width 0", 1, 0, 1.0f, 40, 1.0f},
        {"centred, inside", 1, 8, 1.0f, 41, 4.0f / 17.0f},
        {"centred, reach", 1, 8, 1.0f, 32, 1.0f / 17.0f},
        {"centred, beyond", 1, 8, 1.0f, 31, 0.0f},
        {"blocks, same block", 0, 8, 1.0f, 47, 0.5f},
        {"blocks, other block", 0, 8, 1.0f, 39, 0.0f},
        {"follow half", 2, 8, 0.5f, 41, 0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MusicFrameEngine engine;
        MusicFrameSettings s = Plain();
        s.windowType = 0;
        s.smoothingMode = c.mode;
        s.smoothingWidth = c.width;
        s.followFactor = c.follow;
        engine.SetSettings(s);
        double phase = 0.0;
        const std::vector<float> f = effects_test::SineFrames(10 * kBinHz, 1.0, kRate, 1, 1024, &phase);
        engine.AddPacket(f.data(), f.size() * sizeof(float), f.size());
        std::vector<Colour> picture(kPicturePixels);
        engine.ComputeFrame(picture.data());
        EXPECT_NEAR(engine.DisplayLevels()[c.column], c.expected, 1e-5);
    }
}

// Quiet enough that the window's neighbouring bins stay below the peak.
TEST_F(MusicFrameTest, EachWindowFindsTheTone) {
    for (int window : {0, 1, 2, 3, 7}) {
        SCOPED_TRACE(window);
        MusicFrameEngine engine;
        MusicFrameSettings s = Plain();
        s.windowType = window;
        s.smoothingWidth = 0;
        engine.SetSettings(s);
        double phase = 0.0;
        const std::vector<float> f = effects_test::SineFrames(20 * kBinHz, 0.0002, kRate, 1, 1024, &phase);
        engine.AddPacket(f.data(), f.size() * sizeof(float), f.size());
        std::vector<Colour> picture(kPicturePixels);
        engine.ComputeFrame(picture.data());
        const float* bands = engine.BandValues();
        int loudest = 0;
        for (int b = 1; b < MusicFrameEngine::kBands; ++b)
            if (bands[b] > bands[loudest]) loudest = b;
        EXPECT_EQ(loudest, 20);
    }
}

TEST_F(MusicFrameTest, SilenceFallsToTheBackgroundWithinAFewHundredMilliseconds) {
    engine_.SetSettings(Plain());
    FeedBin(10, 1.0);
    Frame();
    ASSERT_EQ(Pixel(41, 63), kRed);

    Palette background;
    background.Build(7, 100, 0.0);
    int frames = 0;
    bool allBackground = false;
    while (!allBackground && frames < 100) {
        FeedSilence(720);  // 15 ms of samples at 48 kHz
        Frame();
        ++frames;
        allBackground = true;
        for (int i = 0; i < kPicturePixels && allBackground; ++i)
            allBackground = picture_[static_cast<std::size_t>(i)] == background.Pixels()[i];
    }
    EXPECT_TRUE(allBackground);
    // At one frame per 15 ms plus the computation, 30 frames are under half a second.
    EXPECT_LE(frames, 30);
    EXPECT_EQ(engine_.SilentFrames(), 0) << "display levels still above 0.0001 so soon";

    for (int i = 0; i < 60; ++i) {
        FeedSilence(720);
        Frame();
    }
    EXPECT_GT(engine_.SilentFrames(), 0);
}

TEST_F(MusicFrameTest, AStreamThatStopsDeliveringStillFallsToTheBackground) {
    engine_.SetSettings(Plain());
    FeedBin(10, 1.0);
    Frame();
    // No packets at all: the old history would light the band forever.
    for (int i = 0; i < MusicFrameEngine::kStaleFrames + 25; ++i) Frame();
    EXPECT_EQ(Pixel(41, 63), kBlue);
}

TEST_F(MusicFrameTest, BackgroundBrightnessZeroIsBlackAboveTheBars) {
    MusicFrameSettings s = Plain();
    s.backType = 1;
    s.backBrightness = 0;
    engine_.SetSettings(s);
    FeedBin(10, 1.0);
    Frame();
    EXPECT_EQ(Pixel(41, 63), kRed);
    EXPECT_EQ(Pixel(200, 30), 0u);
    EXPECT_EQ(Pixel(200, 63), 0u);
}

TEST_F(MusicFrameTest, RowZeroIsAMeterCentredOnTheMiddle) {
    MusicFrameSettings s = Plain();
    s.windowType = 0;
    s.smoothingWidth = 0;
    engine_.SetSettings(s);
    FeedBin(1, 1.0);  // band 1: columns 4-7, so column 5 drives the meter
    Frame();
    ASSERT_FLOAT_EQ(Display(5), 1.0f);
    // Lit while (127 - a) / 128 or (a - 128) / 128 is below 0.95.
    EXPECT_EQ(Pixel(128, 0), kRed);
    EXPECT_EQ(Pixel(6, 0), kRed);
    EXPECT_EQ(Pixel(5, 0), kBlue);
    EXPECT_EQ(Pixel(249, 0), kRed);
    EXPECT_EQ(Pixel(250, 0), kBlue);
}

TEST_F(MusicFrameTest, HueAdvancesFiveDegreesAndWraps) {
    std::vector<Colour> first(kPicturePixels);
    engine_.ComputeFrame(first.data());
    EXPECT_DOUBLE_EQ(engine_.Hue(), 5.0);
    for (int i = 0; i < 71; ++i) Frame();
    EXPECT_DOUBLE_EQ(engine_.Hue(), 360.0);
    Frame();  // 360 becomes 0 before the palettes, then +5
    EXPECT_DOUBLE_EQ(engine_.Hue(), 5.0);
}

TEST_F(MusicFrameTest, BadSamplesAreReadAsSilence) {
    engine_.SetSettings(Plain());
    std::vector<float> f(1024, 0.0f);
    f[100] = std::nanf("");
    f[200] = INFINITY;
    engine_.AddPacket(f.data(), f.size() * sizeof(float), f.size());
    Frame();
    for (int b = 0; b < MusicFrameEngine::kBands; ++b) EXPECT_FALSE(std::isnan(engine_.BandValues()[b]));
    for (int c = 0; c < kPictureWidth; ++c) EXPECT_EQ(Display(c), 0.0f);
}

TEST_F(MusicFrameTest, IdleOptionsAfterTheSilenceLimit) {
    struct Case {
        const char* name;
        bool background, bars, fadeOut;
        int frames;
        Colour expected;  // every pixel of row 40
        bool fadedOut;
    };
    const Case cases[] = {
        {"nothing set keeps the background", false, false, false, 400, 0, false},
        {"bars fade in fully by 360", false, true, false, 400, kRed, false},
        {"background at full brightness fades in", true, false, false, 400, MakeColour(254, 254, 254), false},
        {"bars half-way at 240", false, true, false, 240, MakeColour(127, 0, 0), false},
        {"fade-out ends at the limit", false, false, true, 120, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MusicFrameEngine engine;
        MusicFrameSettings s = Plain();
        s.backType = 1;  // white, shown black at brightness 0
        s.backBrightness = 0;
        s.idleBackground = c.background;
        s.idleBars = c.bars;
        s.fadeOut = c.fadeOut;
        engine.SetSettings(s);
        std::vector<Colour> picture(kPicturePixels);
        for (int i = 0; i < c.frames; ++i) engine.ComputeFrame(picture.data());
        EXPECT_EQ(engine.SilentFrames(), c.frames);
        EXPECT_EQ(engine.FadedOut(), c.fadedOut);
        for (int a = 0; a < kPictureWidth; ++a) ASSERT_EQ(picture[static_cast<std::size_t>(40 * kPictureWidth + a)], c.expected) << a;
    }
}

TEST_F(MusicFrameTest, FadeOutDimsThePictureBeforeTheLimit) {
    MusicFrameSettings s = Plain();
    s.fadeOut = true;
    engine_.SetSettings(s);
    for (int i = 0; i < 60; ++i) Frame();
    EXPECT_FALSE(engine_.FadedOut());
    EXPECT_EQ(Pixel(100, 40), MakeColour(0, 0, 127));  // half of the blue background
}

}  // namespace
