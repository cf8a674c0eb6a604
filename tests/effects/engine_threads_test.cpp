// The engines' threads against the test sources: what reaches the proxy, the
// picture and the grid, and how the threads start, idle, restart and stop.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

#include "effects/audio_capture.h"
#include "effects/music_level.h"
#include "effects/screen_light.h"
#include "effects/visualizer.h"
#include "fake_sources.h"
#include "test_support.h"

using namespace std::chrono_literals;
using effects::AudioCapture;
using effects::Colour;
using effects::MakeColour;
using effects_test::FakeLoopback;
using effects_test::FakeScreen;
using platform::DeviceFlow;

namespace {

using testsupport::WaitUntil;

// ------------------------------------------------------------ AudioCapture

// Any owner type works with Proxy: this one records what arrives.
class Recorder {
public:
    struct Call {
        std::vector<std::int16_t> samples;
        bool empty;
        int bytesPerFrame, bits, channels;
    };
    void OnStopped() {
        std::lock_guard l(m);
        ++stopped;
    }
    void OnSamples(const std::int16_t* s, std::size_t n, int bpf, int bits, int ch) {
        std::lock_guard l(m);
        calls.push_back({s ? std::vector<std::int16_t>(s, s + n) : std::vector<std::int16_t>{}, s == nullptr, bpf, bits, ch});
    }
    void OnFormat(const platform::AudioFormat& f) {
        std::lock_guard l(m);
        formats.push_back(f);
    }
    std::vector<Call> Calls() {
        std::lock_guard l(m);
        return calls;
    }
    std::vector<Call> DataCalls() {
        std::vector<Call> out;
        for (auto& c : Calls())
            if (!c.empty) out.push_back(c);
        return out;
    }
    std::size_t Formats() {
        std::lock_guard l(m);
        return formats.size();
    }
    platform::AudioFormat FirstFormat() {
        std::lock_guard l(m);
        return formats.at(0);
    }
    int Stopped() {
        std::lock_guard l(m);
        return stopped;
    }

    std::mutex m;
    std::vector<Call> calls;
    std::vector<platform::AudioFormat> formats;
    int stopped = 0;
};

class AudioCaptureTest : public ::testing::Test {
protected:
    FakeLoopback fake_;
    Recorder rec_;
    AudioCapture::Proxy<Recorder> proxy_{rec_, &Recorder::OnStopped, &Recorder::OnSamples, &Recorder::OnFormat};
    AudioCapture capture_{fake_.Factory()};
};

TEST_F(AudioCaptureTest, ReportsTheSixteenBitFormatThenEveryPacketInOrder) {
    fake_.SetFormat(44100, 2);
    fake_.PushInt16({1, 2, 3, 4});
    fake_.PushInt16({5, 6, 7, 8}, /*silent=*/true);
    fake_.PushInt16({9, 10});
    ASSERT_TRUE(capture_.Start(&proxy_));
    ASSERT_TRUE(WaitUntil([&] { return rec_.DataCalls().size() >= 3; }));

    const platform::AudioFormat f = rec_.FirstFormat();
    EXPECT_EQ(f.type, platform::SampleType::Int16);
    EXPECT_EQ(f.bitsPerSample, 16);
    EXPECT_EQ(f.channels, 2);
    EXPECT_EQ(f.samplesPerSecond, 44100);
    EXPECT_EQ(f.blockAlign, 4);
    EXPECT_EQ(f.avgBytesPerSecond, 176400);
    EXPECT_EQ(fake_.LastType(), platform::SampleType::Int16);

    const auto data = rec_.DataCalls();
    EXPECT_EQ(data[0].samples, (std::vector<std::int16_t>{1, 2, 3, 4}));
    EXPECT_EQ(data[1].samples, (std::vector<std::int16_t>{0, 0, 0, 0}));  // flagged silent
    EXPECT_EQ(data[2].samples, (std::vector<std::int16_t>{9, 10}));
    EXPECT_EQ(data[0].bytesPerFrame, 4);
    EXPECT_EQ(data[0].bits, 16);
    EXPECT_EQ(data[0].channels, 2);
}

TEST_F(AudioCaptureTest, APollWithoutPacketsIsOneEmptyCall) {
    capture_.SetPollInterval(5);
    ASSERT_TRUE(capture_.Start(&proxy_));
    ASSERT_TRUE(WaitUntil([&] { return rec_.Calls().size() >= 3; }));
    for (const auto& c : rec_.Calls()) EXPECT_TRUE(c.empty);
    // Several packets waiting in one poll give no empty call in that poll.
    capture_.Stop();
    const std::size_t before = rec_.Calls().size();
    for (int i = 0; i < 3; ++i) fake_.PushInt16({1, 1});
    capture_.SetPollInterval(1000);
    ASSERT_TRUE(capture_.Start(&proxy_));
    ASSERT_TRUE(WaitUntil([&] { return rec_.DataCalls().size() >= 3; }));
    const auto calls = rec_.Calls();
    EXPECT_EQ(calls.size() - before, 3u);
}

TEST_F(AudioCaptureTest, ANewDefaultOutputReopensAndReportsTheFormatAgain) {
    ASSERT_TRUE(capture_.Start(&proxy_));
    ASSERT_TRUE(WaitUntil([&] { return rec_.Formats() == 1; }));
    fake_.ChangeDefault(DeviceFlow::Capture);  // a microphone: nothing to do
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(fake_.Opens(), 1);

    fake_.SetFormat(96000, 6);
    fake_.ChangeDefault(DeviceFlow::Render);
    ASSERT_TRUE(WaitUntil([&] { return rec_.Formats() == 2; }));
    EXPECT_EQ(fake_.Opens(), 2);
    fake_.PushInt16(std::vector<std::int16_t>(12, 3));
    ASSERT_TRUE(WaitUntil([&] { return !rec_.DataCalls().empty(); }));
    EXPECT_EQ(rec_.DataCalls()[0].channels, 6);
    EXPECT_EQ(rec_.DataCalls()[0].bytesPerFrame, 12);
}

TEST_F(AudioCaptureTest, ALostStreamIsReopenedOnceAndAFailingReopenEndsTheThread) {
    capture_.SetPollInterval(5);
    fake_.PushInt16({1, 2});
    ASSERT_TRUE(capture_.Start(&proxy_));
    ASSERT_TRUE(WaitUntil([&] { return !rec_.DataCalls().empty(); }));
    fake_.Lose();
    ASSERT_TRUE(WaitUntil([&] { return fake_.Opens() == 2; }));
    EXPECT_TRUE(capture_.IsRunning());

    fake_.PushInt16({3, 4});
    ASSERT_TRUE(WaitUntil([&] { return rec_.DataCalls().size() == 2; }));
    fake_.FailOpens(true);
    fake_.Lose();
    ASSERT_TRUE(WaitUntil([&] { return !capture_.IsRunning(); }));
    EXPECT_EQ(rec_.Stopped(), 1);
    EXPECT_FALSE(fake_.IsOpen());
}

TEST_F(AudioCaptureTest, AStreamLostBeforeItDeliveredEndsTheThread) {
    capture_.SetPollInterval(5);
    ASSERT_TRUE(capture_.Start(&proxy_));
    ASSERT_TRUE(WaitUntil([&] { return rec_.Formats() == 1; }));
    fake_.Lose();  // only empty polls so far
    ASSERT_TRUE(WaitUntil([&] { return !capture_.IsRunning(); }));
    EXPECT_EQ(fake_.Opens(), 1);
    EXPECT_EQ(rec_.Stopped(), 1);
}

TEST_F(AudioCaptureTest, AFailedOpenEndsTheThreadAndStartWorksAgain) {
    fake_.FailOpens(true);
    ASSERT_TRUE(capture_.Start(&proxy_));
    ASSERT_TRUE(WaitUntil([&] { return !capture_.IsRunning(); }));
    EXPECT_EQ(rec_.Stopped(), 1);
    EXPECT_EQ(rec_.Formats(), 0u);

    fake_.FailOpens(false);
    ASSERT_TRUE(capture_.Start(&proxy_));
    EXPECT_FALSE(capture_.Start(&proxy_));  // already running
    ASSERT_TRUE(WaitUntil([&] { return rec_.Formats() == 1; }));
    capture_.Stop();
    EXPECT_FALSE(capture_.IsRunning());
    EXPECT_EQ(rec_.Stopped(), 2);
    EXPECT_FALSE(fake_.IsOpen());
}

TEST_F(AudioCaptureTest, InactiveItKeepsNoStreamAndMakesNoCalls) {
    capture_.SetPollInterval(5);
    capture_.SetActive(false);
    ASSERT_TRUE(capture_.Start(&proxy_));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(fake_.Opens(), 0);
    EXPECT_TRUE(rec_.Calls().empty());

    capture_.SetActive(true);
    ASSERT_TRUE(WaitUntil([&] { return rec_.Formats() == 1 && !rec_.Calls().empty(); }));
    capture_.SetActive(false);
    ASSERT_TRUE(WaitUntil([&] { return !fake_.IsOpen(); }));
    const std::size_t calls = rec_.Calls().size();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(rec_.Calls().size(), calls);

    fake_.PushInt16({7, 7});
    capture_.SetActive(true);
    ASSERT_TRUE(WaitUntil([&] { return !rec_.DataCalls().empty(); }));
    EXPECT_EQ(rec_.Formats(), 2u) << "reopened and reported again";
    EXPECT_EQ(rec_.DataCalls()[0].samples, (std::vector<std::int16_t>{7, 7}));
    capture_.SetActive(false);
    capture_.Stop();  // also from the inactive wait
    EXPECT_EQ(rec_.Stopped(), 1);
}

TEST_F(AudioCaptureTest, StopWakesTheThreadAtOnce) {
    capture_.SetPollInterval(10000);
    ASSERT_TRUE(capture_.Start(&proxy_));
    ASSERT_TRUE(WaitUntil([&] { return !rec_.Calls().empty(); }));
    const auto t0 = std::chrono::steady_clock::now();
    capture_.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
    EXPECT_EQ(rec_.Stopped(), 1);
}

// The main window's wiring: capture -> OnMusicSamples -> SendMusicLevel.
struct LevelSink : effects::MusicLevelSink {
    void SendMusicLevel(int level) override {
        std::lock_guard l(m);
        levels.push_back(level);
    }
    std::vector<int> Levels() {
        std::lock_guard l(m);
        return levels;
    }
    std::mutex m;
    std::vector<int> levels;
};

TEST(MusicLevelWiring, EachPacketBecomesALevelAndSilenceIsZero) {
    FakeLoopback fake;
    LevelSink sink;
    effects::MusicLevelPath path(sink);
    path.SetEnabled(true);
    AudioCapture::Proxy<effects::MusicLevelPath> proxy(path, nullptr, &effects::MusicLevelPath::OnMusicSamples,
                                                       nullptr);
    std::vector<std::int16_t> loud(40, 0);
    loud[30] = -25600;
    fake.PushInt16(loud);
    AudioCapture capture(fake.Factory());
    capture.SetPollInterval(5);
    ASSERT_TRUE(capture.Start(&proxy));
    ASSERT_TRUE(WaitUntil([&] { return sink.Levels().size() >= 3; }));
    capture.Stop();
    const auto levels = sink.Levels();
    EXPECT_EQ(levels[0], 100);
    for (std::size_t i = 1; i < levels.size(); ++i) EXPECT_EQ(levels[i], 0);
}

// -------------------------------------------------------------- Visualizer

class VisualizerTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake_.SetFormat(48000, 1);
        vis_.Init();
        effects::MusicLightSettings s;
        s.foremode = 2;  // red bars
        s.backmode = 7;  // blue background
        vis_.ApplySettings(s);
    }
    void TearDown() override { feeding_ = false; if (feeder_.joinable()) feeder_.join(); }

    // A loud tone on FFT bin 10 (band 10, columns 40-43), fed like a stream.
    void StartTone() {
        feeding_ = true;
        feeder_ = std::thread([this] {
            double phase = 0.0;
            while (feeding_) {
                if (fake_.Waiting() < 4)
                    fake_.PushFloat(effects_test::SineFrames(10 * 12000.0 / 256.0, 1.0, 48000, 1, 480, &phase));
                std::this_thread::sleep_for(5ms);
            }
        });
    }
    void StopTone() {
        feeding_ = false;
        if (feeder_.joinable()) feeder_.join();
    }

    FakeLoopback fake_;
    effects::Visualizer vis_{fake_.Factory()};
    std::atomic<bool> feeding_{false};
    std::thread feeder_;
};

constexpr Colour kRed = MakeColour(254, 0, 0);
constexpr Colour kBlue = MakeColour(0, 0, 254);

TEST_F(VisualizerTest, ActiveFramesCaptureFloatsAndPaintTheBand) {
    EXPECT_EQ(vis_.Devices().size(), 1u);
    EXPECT_EQ(vis_.Devices()[0].name, L"Default Loopback Device");
    EXPECT_FALSE(vis_.Devices()[0].captureDevice);

    StartTone();
    vis_.Start();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(vis_.FrameCount(), 0u) << "inactive: no frames";
    EXPECT_FALSE(fake_.IsOpen()) << "inactive: no capture";

    vis_.SetActive(true);
    ASSERT_TRUE(WaitUntil([&] { return vis_.PixelAt(41, 63) == kRed; }));
    EXPECT_EQ(fake_.LastType(), platform::SampleType::Float32);
    EXPECT_TRUE(vis_.IsCapturing());
    EXPECT_EQ(vis_.PixelAt(200, 63), kBlue);
    EXPECT_EQ(vis_.PixelAt(-1, 0), 0u);
    EXPECT_EQ(vis_.PixelAt(256, 0), 0u);

    // Key mapping: a 6 x 21 matrix samples rows 7..57 and columns j x 12.
    const effects::MusicKeyMap map(6, 21);
    EXPECT_EQ(vis_.KeyColour(map, 5, 3), vis_.PixelAt(36, 57));
    EXPECT_EQ(vis_.KeyColour(map, 5, 16), kBlue);  // column 192
}

TEST_F(VisualizerTest, GoingIdleReleasesTheCaptureAndStopsFrames) {
    StartTone();
    vis_.Start();
    vis_.SetActive(true);
    ASSERT_TRUE(WaitUntil([&] { return vis_.FrameCount() > 3 && fake_.IsOpen(); }));
    vis_.SetActive(false);
    ASSERT_TRUE(WaitUntil([&] { return !fake_.IsOpen(); }, 1000ms));
    const auto frames = vis_.FrameCount();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(vis_.FrameCount(), frames);
    EXPECT_TRUE(vis_.IsRunning());
}

TEST_F(VisualizerTest, SettingsRestartCaptureAndRecolourThePicture) {
    StartTone();
    vis_.Start();
    vis_.SetActive(true);
    ASSERT_TRUE(WaitUntil([&] { return vis_.PixelAt(41, 63) == kRed; }));
    const int opens = fake_.Opens();

    effects::MusicLightSettings s;
    s.foremode = 5;     // green bars
    s.backmode = 1;     // white background ...
    s.backb_right = 0;  // ... at brightness 0: black
    s.fore_amplitude = 300;
    vis_.ApplySettings(s);
    ASSERT_TRUE(WaitUntil([&] { return vis_.PixelAt(41, 63) == MakeColour(0, 254, 0); }));
    EXPECT_EQ(vis_.PixelAt(200, 10), 0u);
    EXPECT_GT(fake_.Opens(), opens);

    // The engine's own settings leave the record's palettes alone.
    effects::MusicFrameSettings engine;
    engine.windowType = 0;     // the tone is exactly on bin 10 ...
    engine.smoothingMode = 2;  // ... so only band 10's columns 40-43 light
    vis_.ApplyEngineSettings(engine);
    ASSERT_TRUE(WaitUntil([&] { return vis_.PixelAt(46, 63) == 0u; }));
    EXPECT_EQ(vis_.PixelAt(41, 63), MakeColour(0, 254, 0));
}

TEST_F(VisualizerTest, ANewDefaultOutputRestartsCapture) {
    vis_.Start();
    vis_.SetActive(true);
    ASSERT_TRUE(WaitUntil([&] { return fake_.Opens() == 1; }));
    fake_.ChangeDefault(DeviceFlow::Capture);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(fake_.Opens(), 1);
    fake_.ChangeDefault(DeviceFlow::Render);
    ASSERT_TRUE(WaitUntil([&] { return fake_.Opens() == 2; }));
    EXPECT_EQ(vis_.Devices().size(), 1u);
}

TEST_F(VisualizerTest, ALostDeviceIsReleasedAndThePictureFalls) {
    StartTone();
    vis_.Start();
    vis_.SetActive(true);
    ASSERT_TRUE(WaitUntil([&] { return vis_.PixelAt(41, 63) == kRed; }));
    StopTone();
    fake_.Lose();
    ASSERT_TRUE(WaitUntil([&] { return !vis_.IsCapturing(); }));
    ASSERT_TRUE(WaitUntil([&] { return vis_.PixelAt(41, 63) == kBlue; }, 2000ms));
    const int opens = fake_.Opens();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(fake_.Opens(), opens) << "no retry until something changes";
}

TEST_F(VisualizerTest, WithoutADeviceTheFramesGoOnAndTheNextActivationTriesAgain) {
    fake_.FailOpens(true);
    vis_.Start();
    vis_.SetActive(true);
    ASSERT_TRUE(WaitUntil([&] { return vis_.FrameCount() > 5; }));
    EXPECT_EQ(vis_.PixelAt(41, 63), kBlue);
    EXPECT_FALSE(vis_.IsCapturing());
    EXPECT_EQ(fake_.Opens(), 0);

    fake_.FailOpens(false);
    vis_.SetActive(false);
    vis_.SetActive(true);
    ASSERT_TRUE(WaitUntil([&] { return vis_.IsCapturing(); }));
}

TEST_F(VisualizerTest, FadeOutStopsTheThread) {
    effects::MusicFrameSettings s;
    s.fadeOut = true;
    vis_.ApplyEngineSettings(s);
    vis_.Start();
    vis_.SetActive(true);
    ASSERT_TRUE(WaitUntil([&] { return !vis_.IsRunning(); }, 10000ms));
    EXPECT_EQ(vis_.PixelAt(100, 30), 0u);
    vis_.Start();  // starts afresh
    EXPECT_TRUE(vis_.IsRunning());
}

// Readers take the picture without a lock while frames are published; run
// under the thread sanitizer this is where a race would show.
TEST_F(VisualizerTest, PictureReadsRunBesideTheFrameThread) {
    StartTone();
    vis_.Start();
    vis_.SetActive(true);
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> reads{0};
    std::thread reader([&] {
        std::vector<Colour> copy(effects::kPicturePixels);
        while (!stop) {
            vis_.CopyPicture(copy.data());
            for (int i = 0; i < 64; ++i) (void)vis_.PixelAt(i * 4, i);
            ++reads;
        }
    });
    ASSERT_TRUE(WaitUntil([&] { return vis_.FrameCount() > 20; }));
    stop = true;
    reader.join();
    EXPECT_GT(reads.load(), 0u);
    vis_.Stop();
    EXPECT_FALSE(vis_.IsRunning());
}

// ------------------------------------------------------------- ScreenLight

TEST(ScreenLight, NeedsARowAndAColumn) {
    FakeScreen screen(180, 60);
    effects::ScreenLight light(screen.Factory());
    EXPECT_FALSE(light.StartScreenLight(0, 6));
    EXPECT_FALSE(light.StartScreenLight(21, 0));
    EXPECT_FALSE(light.IsRunning());
}

TEST(ScreenLight, SamplesTheScreenIntoTheGridWhileActive) {
    FakeScreen screen(1920, 1080);
    screen.Fill(0x000000);
    screen.FillRect(0, 0, 107, 180, 0xFF8000);         // cell (0, 0): x < 1920 / 18
    screen.FillRect(1814, 900, 106, 180, 0x00FF40);    // cell (17, 5)
    effects::ScreenLight light(screen.Factory());
    ASSERT_TRUE(light.StartScreenLight(21, 6));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(screen.Captures(), 0) << "not active yet";

    light.SetScreenLightActive(true);
    ASSERT_TRUE(WaitUntil([&] { return light.SampleCount() > 0; }));
    EXPECT_EQ(light.GridColour(0, 0), MakeColour(0xFF, 0x80, 0x00));
    EXPECT_EQ(light.KeyColour(0, 0), MakeColour(0xFF, 0x80, 0x00));
    EXPECT_EQ(light.GridColour(1, 0), 0u);
    EXPECT_EQ(light.GridColour(17, 5), MakeColour(0x00, 0xFF, 0x40));
    for (int c = 18; c <= 20; ++c) EXPECT_EQ(light.GridColour(c, 2), MakeColour(0x00, 0xFF, 0x40));
    EXPECT_EQ(light.GridColour(32, 0), 0u);
}

TEST(ScreenLight, StartingAgainOnlyTakesTheNewSize) {
    FakeScreen screen(1920, 1080);
    screen.Fill(0x102030);
    effects::ScreenLight light(screen.Factory());
    ASSERT_TRUE(light.StartScreenLight(10, 6));
    light.SetScreenLightActive(true);
    ASSERT_TRUE(WaitUntil([&] { return light.SampleCount() > 0; }));
    EXPECT_EQ(light.GridColour(15, 0), 0u);  // outside the first size
    EXPECT_EQ(light.GridColour(0, 7), 0u);

    ASSERT_TRUE(light.StartScreenLight(16, 8));
    ASSERT_TRUE(WaitUntil([&] { return light.GridColour(15, 7) == MakeColour(0x10, 0x20, 0x30); }));
    EXPECT_EQ(screen.SourcesMade(), 1) << "the same thread, the same source";
}

TEST(ScreenLight, SamplesAreAtLeastSixteenMillisecondsApart) {
    FakeScreen screen(64, 36);
    effects::ScreenLight light(screen.Factory());
    ASSERT_TRUE(light.StartScreenLight(18, 6));
    light.SetScreenLightActive(true);
    ASSERT_TRUE(WaitUntil([&] { return light.SampleCount() > 0; }));
    const auto n0 = light.SampleCount();
    std::this_thread::sleep_for(480ms);
    const auto n = light.SampleCount() - n0;
    EXPECT_LE(n, 480u / 16u + 1u);
    EXPECT_GE(n, 5u);
}

TEST(ScreenLight, LeavingScreenModeIdlesWithinASecond) {
    FakeScreen screen(640, 360);
    effects::ScreenLight light(screen.Factory());
    ASSERT_TRUE(light.StartScreenLight(18, 6));
    light.SetScreenLightActive(true);
    ASSERT_TRUE(WaitUntil([&] { return light.SampleCount() > 2; }));
    const auto t0 = std::chrono::steady_clock::now();
    light.SetScreenLightActive(false);
    ASSERT_TRUE(WaitUntil([&] { return screen.SourcesAlive() == 0; }, 1000ms));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 1s);
    const int captures = screen.Captures();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(screen.Captures(), captures);
    EXPECT_TRUE(light.IsRunning());
}

TEST(ScreenLight, FailedCapturesAreSkippedAndTheSourceIsMadeAnew) {
    FakeScreen screen(180, 60);
    screen.Fill(0xFFFFFF);
    effects::ScreenLight light(screen.Factory());
    ASSERT_TRUE(light.StartScreenLight(18, 6));
    light.SetScreenLightActive(true);
    ASSERT_TRUE(WaitUntil([&] { return light.SampleCount() > 0; }));
    screen.FailCaptures(true);
    screen.Fill(0x000000);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(light.GridColour(3, 3), MakeColour(255, 255, 255)) << "the last good sample stays";
    screen.FailCaptures(false);
    ASSERT_TRUE(WaitUntil([&] { return light.GridColour(3, 3) == 0u; }));
    EXPECT_GE(screen.SourcesMade(), 2);
}

TEST(ScreenLight, NoScreenAtAllIsTriedAgainLater) {
    FakeScreen screen(180, 60);
    screen.Fill(0x00FF00);
    screen.FailCreation(true);
    effects::ScreenLight light(screen.Factory());
    ASSERT_TRUE(light.StartScreenLight(18, 6));
    light.SetScreenLightActive(true);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(light.SampleCount(), 0u);
    screen.FailCreation(false);
    ASSERT_TRUE(WaitUntil([&] { return light.GridColour(0, 0) == MakeColour(0, 255, 0); }, 3000ms));
}

TEST(ScreenLight, StopEndsTheThreadPromptly) {
    FakeScreen screen(180, 60);
    effects::ScreenLight light(screen.Factory());
    ASSERT_TRUE(light.StartScreenLight(18, 6));  // idle: 1000 ms sleeps
    const auto t0 = std::chrono::steady_clock::now();
    light.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 500ms);
    EXPECT_FALSE(light.IsRunning());
}

}  // namespace
