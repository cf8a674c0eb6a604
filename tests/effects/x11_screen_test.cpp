// The real screen source on a private 1920 x 1080 Xvfb: the root window is
// painted in known colours and the screen light's grid must show them.
// Skipped (with the reason) where no X server can be started.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "effects/screen_light.h"
#include "platform/screen_source.h"
#include "test_servers.h"
#include "test_support.h"

// Last: Xlib's macros (None, Bool, Status) would clash with the headers above.
#include <X11/Xlib.h>

using namespace std::chrono_literals;
using effects::MakeColour;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

using testsupport::WaitUntil;

class X11Test : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!server_.Start(kWidth, kHeight, &why)) GTEST_SKIP() << "no X server here: " << why;
        painter_ = XOpenDisplay(server_.Display().c_str());
        ASSERT_NE(painter_, nullptr);
        root_ = DefaultRootWindow(painter_);
        gc_ = XCreateGC(painter_, root_, 0, nullptr);
    }
    void TearDown() override {
        if (painter_) {
            XFreeGC(painter_, gc_);
            XCloseDisplay(painter_);
        }
    }
    // 24-bit TrueColor: the pixel value is 0xRRGGBB.
    void Fill(int x, int y, int w, int h, unsigned long rgb) {
        XSetForeground(painter_, gc_, rgb);
        XFillRectangle(painter_, root_, gc_, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h));
        XSync(painter_, False);
    }
    // Cell (c, r) covers the pixels x with 18x / width == c (and likewise y).
    static int Edge(int i, int n, int size) { return (i * size + n - 1) / n; }
    static unsigned long CellRgb(int c, int r) { return (static_cast<unsigned long>(c * 14) << 16) | (static_cast<unsigned long>(r * 40) << 8) | 0x55; }
    void PaintCells() {
        for (int r = 0; r < 6; ++r)
            for (int c = 0; c < 18; ++c)
                Fill(Edge(c, 18, kWidth), Edge(r, 6, kHeight), Edge(c + 1, 18, kWidth) - Edge(c, 18, kWidth),
                     Edge(r + 1, 6, kHeight) - Edge(r, 6, kHeight), CellRgb(c, r));
    }
    effects::ScreenLight::SourceFactory Factory() {
        const std::string display = server_.Display();
        return [display] { return platform::MakeX11ScreenSource(display); };
    }

    effects_test::PrivateXServer server_;
    Display* painter_ = nullptr;
    Window root_ = 0;
    GC gc_{};
};

TEST_F(X11Test, SourceCapturesTheWholeRootWindow) {
    Fill(0, 0, kWidth, kHeight, 0x000000);
    Fill(1900, 1000, 20, 80, 0x123456);
    auto source = platform::MakeX11ScreenSource(server_.Display());
    ASSERT_NE(source, nullptr);
    platform::ScreenImage image;
    ASSERT_TRUE(source->Capture(&image));
    EXPECT_EQ(image.width, kWidth);
    EXPECT_EQ(image.height, kHeight);
    EXPECT_GE(image.stride, kWidth * 4);
    std::uint32_t pixel;
    std::memcpy(&pixel, image.data + 1050 * image.stride + 1910 * 4, 4);
    EXPECT_EQ(pixel & 0xFFFFFF, 0x123456u);
    EXPECT_EQ(image.redMask, 0xFF0000u);

    // Later captures see later paint.
    Fill(1900, 1000, 20, 80, 0xABCDEF);
    ASSERT_TRUE(source->Capture(&image));
    std::memcpy(&pixel, image.data + 1050 * image.stride + 1910 * 4, 4);
    EXPECT_EQ(pixel & 0xFFFFFF, 0xABCDEFu);
}

TEST_F(X11Test, GridShowsThePaintedCellsAndRepeatsTheLastOne) {
    PaintCells();
    effects::ScreenLight light(Factory());
    ASSERT_TRUE(light.StartScreenLight(21, 6));
    light.SetScreenLightActive(true);
    ASSERT_TRUE(WaitUntil([&] { return light.SampleCount() > 0; }, 5s));
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 18; ++c)
            EXPECT_EQ(light.GridColour(c, r), MakeColour(c * 14, r * 40, 0x55)) << c << "," << r;
    for (int c = 18; c <= 20; ++c)
        for (int r = 0; r < 6; ++r) EXPECT_EQ(light.GridColour(c, r), MakeColour(17 * 14, 5 * 40, 0x55));

    // A new picture shows up in a later sample.
    Fill(0, 0, kWidth, kHeight, 0xFFFFFF);
    ASSERT_TRUE(WaitUntil([&] { return light.GridColour(9, 3) == MakeColour(255, 255, 255); }, 2s));
}

TEST_F(X11Test, BlackScreenGivesColoursBelowTwoEverywhere) {
    Fill(0, 0, kWidth, kHeight, 0x000000);
    effects::ScreenLight light(Factory());
    ASSERT_TRUE(light.StartScreenLight(21, 8));
    light.SetScreenLightActive(true);
    ASSERT_TRUE(WaitUntil([&] { return light.SampleCount() > 0; }, 5s));
    for (int c = 0; c < 21; ++c)
        for (int r = 0; r < 8; ++r) EXPECT_LT(light.GridColour(c, r), 2u) << c << "," << r;
}

TEST_F(X11Test, AServerThatGoesAwayLeavesTheProcessAndTheThreadRunning) {
    Fill(0, 0, kWidth, kHeight, 0x00FF00);
    effects::ScreenLight light(Factory());
    ASSERT_TRUE(light.StartScreenLight(18, 6));
    light.SetScreenLightActive(true);
    ASSERT_TRUE(WaitUntil([&] { return light.SampleCount() > 2; }, 5s));
    XFreeGC(painter_, gc_);
    XCloseDisplay(painter_);
    painter_ = nullptr;

    // The lost connection must not end this process (Xlib's default would).
    server_.Stop();
    std::this_thread::sleep_for(300ms);
    const auto samples = light.SampleCount();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(light.SampleCount(), samples);
    EXPECT_TRUE(light.IsRunning());
    EXPECT_EQ(light.GridColour(4, 4), MakeColour(0, 255, 0)) << "the last good sample stays";
    light.Stop();
}

TEST(X11WithoutServer, NoDisplayGivesNoSourceAndTheLightKeepsTrying) {
    EXPECT_EQ(platform::MakeX11ScreenSource(":7391"), nullptr);
    effects::ScreenLight light([] { return platform::MakeX11ScreenSource(":7391"); });
    ASSERT_TRUE(light.StartScreenLight(18, 6));
    light.SetScreenLightActive(true);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(light.SampleCount(), 0u);
    EXPECT_TRUE(light.IsRunning());
}

}  // namespace
