// The engines handing their results to the keyboard through the real command
// set and a simulated keyboard, joined the way the main window joins them: the
// capture's packets become music levels (SendMusicLevel), and the picture and
// the screen grid become colour frames (StreamKeyColours).
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "effects/audio_capture.h"
#include "effects/key_map.h"
#include "effects/music_level.h"
#include "effects/screen_light.h"
#include "effects/visualizer.h"
#include "fake_sources.h"
#include "link/commands/command_set.h"
#include "link/device_manager.h"
#include "sim/simulated_keyboard.h"
#include "store/profile_store.h"
#include "test_support.h"

using namespace std::chrono_literals;

namespace {

using testsupport::WaitUntil;

// A keyboard of `deviceType` on the cable, and a command set addressing it.
struct Keyboard {
    explicit Keyboard(int deviceType) {
        constexpr std::uint16_t kVid = 0x1209;
        sim::SimKeyboardSetup setup;
        setup.deviceType = deviceType;
        setup.connections = {{0, kVid, 1, false}};
        kb = bus->AddKeyboard(setup);
        manager.AddTarget(kVid, 1, L"", deviceType, 0, L"");
        EXPECT_TRUE(kb->Attach(0));
        manager.Rescan();
        manager.SetCurrentDeviceType(deviceType);
        state.deviceType.store(deviceType);
        commands::ResetStreamModeEnteredForTests();
    }

    testsupport::IsolatedHome home;
    ManualDeviceClock clock;
    std::shared_ptr<sim::SimulatedBus> bus = std::make_shared<sim::SimulatedBus>(&clock);
    DeviceManager manager{bus, &clock};
    std::shared_ptr<sim::SimulatedKeyboard> kb;
    ProfileStore store;
    KeyboardLayout layout;
    commands::CommandState state;
    commands::CommandSet cmd{state, store, layout, manager};
};

// What the main window puts between the engines and the command set.
struct LevelToKeyboard : effects::MusicLevelSink {
    explicit LevelToKeyboard(commands::CommandSet& c) : cmd(c) {}
    void SendMusicLevel(int level) override { cmd.SendMusicLevel(level); }
    commands::CommandSet& cmd;
};

struct ScreenCells : commands::IEffectColours {
    explicit ScreenCells(const effects::ScreenLight& l) : light(l) {}
    COLORREF CellColour(int row, int column) const override { return light.KeyColour(row, column); }
    const effects::ScreenLight& light;
};

struct MusicCells : commands::IEffectColours {
    MusicCells(const effects::Visualizer& v, int rows, int columns) : vis(v), map(rows, columns) {}
    COLORREF CellColour(int row, int column) const override { return vis.KeyColour(map, row, column); }
    const effects::Visualizer& vis;
    effects::MusicKeyMap map;
};

// Three bytes per light index, red first.
std::vector<int> FrameColour(const sim::FirmwareMemory& mem, int lightIndex) {
    const auto at = static_cast<std::size_t>(3 * lightIndex);
    return {mem.frame[at], mem.frame[at + 1], mem.frame[at + 2]};
}

TEST(HandOver, CapturedPacketsReachTheKeyboardAsMusicLevels) {
    Keyboard k(201);
    k.state.musicGain.store(2.0f);
    LevelToKeyboard sink(k.cmd);
    effects::MusicLevelPath path(sink);
    effects_test::FakeLoopback fake;
    effects::AudioCapture capture(fake.Factory());
    effects::AudioCapture::Proxy<effects::MusicLevelPath> proxy(path, nullptr, &effects::MusicLevelPath::OnMusicSamples,
                                                                nullptr);
    capture.SetPollInterval(5);
    ASSERT_TRUE(capture.Start(&proxy));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(k.kb->Memory().music.count, 0) << "no music mode shown: nothing is sent";

    std::vector<std::int16_t> loud(40, 0);
    loud[30] = -25600;  // the sample at count - 10: level 100
    fake.PushInt16(loud);
    path.SetEnabled(true);
    ASSERT_TRUE(WaitUntil([&] { return k.kb->Memory().music.level == 200; })) << "level 100 at gain 2";
    // The polls after it find nothing: level 0.
    ASSERT_TRUE(WaitUntil([&] { return k.kb->Memory().music.level == 0; }));
    capture.Stop();
    EXPECT_EQ(k.kb->Memory().music.colour, 1);
}

// The lighting page's keyboard picture: the colours the frame is built from.
struct Picture : commands::ILightingPicture {
    std::vector<int> order;
    std::map<int, COLORREF> colours;
    void SetKeyColor(int keyCode, COLORREF colour) override { colours[keyCode] = colour; }
    std::vector<commands::PictureKey> GetKeyItems() const override {
        std::vector<commands::PictureKey> items;
        for (int code : order) items.push_back({code, colours.count(code) ? colours.at(code) : 0u});
        return items;
    }
    void ResetAllItemsColor(COLORREF colour) override {
        for (int code : order) colours[code] = colour;
    }
    void SetLightModeColor(int, COLORREF) override {}
    void Redraw() override {}
};

// Keys 4, 5 and 6 at light indexes 0, 1 and 2 of a 6 x 21 matrix.
void ThreeKeys(Keyboard& k, Picture& picture, std::array<std::pair<int, int>, 3> cells) {
    k.layout.rowCount = 6;
    k.layout.colCount = 21;
    for (int i = 0; i < 3; ++i)
        k.layout.keyMatrix[static_cast<std::size_t>(cells[i].first)][static_cast<std::size_t>(cells[i].second)] =
            static_cast<std::uint8_t>(4 + i);
    k.layout.lightIndexByCode = {{4, 0}, {5, 1}, {6, 2}};
    picture.order = {4, 5, 6};
}

TEST(HandOver, TheScreenGridReachesTheKeyboardAsAColourFrame) {
    Keyboard k(101);
    Picture picture;
    // Cell (0, 0); column 20, beyond the 18 cells, repeats cell (17, 5); a black cell.
    ThreeKeys(k, picture, {{{0, 0}, {5, 20}, {2, 9}}});

    effects_test::FakeScreen screen(1920, 1080);
    screen.Fill(0x000000);
    screen.FillRect(0, 0, 107, 180, 0x102030);
    screen.FillRect(1814, 900, 106, 180, 0xA0B0C0);
    effects::ScreenLight light(screen.Factory());
    ScreenCells cells(light);
    commands::CommandHooks hooks;
    hooks.picture = &picture;
    hooks.screenEngine = &cells;
    k.cmd.SetHooks(hooks);

    ASSERT_TRUE(light.StartScreenLight(k.layout.colCount, k.layout.rowCount));
    light.SetScreenLightActive(true);
    ASSERT_TRUE(WaitUntil([&] { return light.SampleCount() > 0; }));
    k.cmd.StreamKeyColours(commands::EffectSource::Screen);
    const sim::FirmwareMemory mem = k.kb->Memory();
    EXPECT_EQ(mem.framesShown, 1);
    EXPECT_EQ(FrameColour(mem, 0), (std::vector<int>{0x10, 0x20, 0x30}));
    EXPECT_EQ(FrameColour(mem, 1), (std::vector<int>{0xA0, 0xB0, 0xC0}));
    EXPECT_EQ(FrameColour(mem, 2), (std::vector<int>{0, 0, 0}));

    // A black screen sends no frame.
    screen.Fill(0x000000);
    const auto seen = light.SampleCount();
    ASSERT_TRUE(WaitUntil([&] { return light.SampleCount() > seen + 1; }));
    k.cmd.StreamKeyColours(commands::EffectSource::Screen);
    EXPECT_EQ(k.kb->Memory().framesShown, 1);
}

TEST(HandOver, TheMusicPictureReachesTheKeyboardThroughTheKeyMap) {
    Keyboard k(101);
    Picture picture;
    // Matrix columns 2 and 16 sample picture columns 24 and 192, matrix row 5
    // picture row 57 and row 0 picture row 7.
    ThreeKeys(k, picture, {{{5, 2}, {5, 16}, {0, 2}}});

    effects_test::FakeLoopback fake;
    fake.SetFormat(48000, 1);
    effects::Visualizer vis(fake.Factory());
    vis.Init();
    effects::MusicLightSettings s;
    s.foremode = 2;  // red bars on black
    s.backmode = 0;
    vis.ApplySettings(s);
    MusicCells cells(vis, k.layout.rowCount, k.layout.colCount);
    commands::CommandHooks hooks;
    hooks.picture = &picture;
    hooks.musicEngine = &cells;
    k.cmd.SetHooks(hooks);

    // A loud tone on FFT bin 10 (band 10, columns 40-43): its window's
    // neighbouring bands and the smoothing light the bars around it, low
    // ones (row 57) further out than tall ones (row 7).
    std::atomic<bool> feeding{true};
    std::thread feeder([&] {
        double phase = 0.0;
        while (feeding) {
            if (fake.Waiting() < 4)
                fake.PushFloat(effects_test::SineFrames(10 * 12000.0 / 256.0, 1.0, 48000, 1, 480, &phase));
            std::this_thread::sleep_for(5ms);
        }
    });
    vis.Start();
    vis.SetActive(true);
    // Past the onset, whose step lights every band for a few frames.
    const bool lit = WaitUntil([&] {
        return vis.PixelAt(24, 57) == effects::MakeColour(254, 0, 0) && vis.PixelAt(192, 57) == 0 &&
               vis.PixelAt(24, 7) == 0 && vis.PixelAt(40, 7) != 0;
    });
    feeding = false;
    feeder.join();
    ASSERT_TRUE(lit);
    vis.SetActive(false);  // the picture stays as it was last finished

    k.cmd.StreamKeyColours(commands::EffectSource::Music);
    const sim::FirmwareMemory mem = k.kb->Memory();
    EXPECT_EQ(mem.framesShown, 1);
    EXPECT_EQ(FrameColour(mem, 0), (std::vector<int>{254, 0, 0}));
    EXPECT_EQ(FrameColour(mem, 1), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(FrameColour(mem, 2), (std::vector<int>{0, 0, 0}));
}

}  // namespace
