// The frame path allocates nothing: every buffer is made up front. Counted
// with a replaced global operator new, so this test has its own program.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "effects/screen_grid.h"
#include "effects/music_frame.h"
#include "fake_sources.h"

namespace {
std::atomic<long> g_allocations{0};
}

void* operator new(std::size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
// Not inlined: the compiler would then pair our free() with what it takes for
// the library's operator new and warn about a mismatch.
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(FrameAllocation, MusicFramesAndPacketsAllocateNothing) {
    for (int type : {0, 9, 15, 16, 17, 18, 19, 20}) {
        SCOPED_TRACE(type);
        effects::MusicFrameEngine engine;
        effects::MusicFrameSettings s;
        s.barType = type;
        s.backType = 13;
        s.idleBars = true;
        engine.SetSettings(s);
        std::vector<effects::Colour> picture(effects::kPicturePixels);
        double phase = 0.0;
        const std::vector<float> packet = effects_test::SineFrames(1000.0, 0.3, 48000, 2, 480, &phase);
        engine.ComputeFrame(picture.data());  // first palettes built
        const long before = g_allocations.load();
        for (int i = 0; i < 200; ++i) {
            engine.AddPacket(packet.data(), packet.size() * sizeof(float), 480);
            engine.ComputeFrame(picture.data());
        }
        for (int i = 0; i < 400; ++i) engine.ComputeFrame(picture.data());  // silence and the idle fade
        EXPECT_EQ(g_allocations.load() - before, 0);
    }
}

TEST(FrameAllocation, ScreenReductionAllocatesNothing) {
    std::vector<std::uint32_t> pixels(1920 * 1080, 0x336699);
    platform::ScreenImage image;
    image.data = reinterpret_cast<const std::uint8_t*>(pixels.data());
    image.width = 1920;
    image.height = 1080;
    image.stride = 1920 * 4;
    effects::ScreenCells cells;
    effects::ScreenGrid grid{};
    const long before = g_allocations.load();
    for (int i = 0; i < 5; ++i) {
        effects::ReduceScreen(image, &cells);
        effects::FillGrid(cells, 21, 6, &grid);
    }
    EXPECT_EQ(g_allocations.load() - before, 0);
    EXPECT_EQ(grid[0], effects::MakeColour(0x33, 0x66, 0x99));
}

}  // namespace
