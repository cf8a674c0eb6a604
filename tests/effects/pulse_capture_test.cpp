// The real loopback source on a private PulseAudio daemon with a null sink:
// what is played into the default sink reaches the capture and the picture.
// Skipped (with the reason) where no daemon can be started.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "effects/audio_capture.h"
#include "effects/music_level.h"
#include "effects/visualizer.h"
#include "platform/audio_source.h"
#include "test_servers.h"
#include "test_support.h"

using namespace std::chrono_literals;
using effects::AudioCapture;
using effects_test::PrivatePulse;
using effects_test::TonePlayer;

namespace {

using testsupport::WaitUntil;

class PulseTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!pulse_.Start(&why)) GTEST_SKIP() << "no PulseAudio server here: " << why;
    }
    PrivatePulse pulse_;
};

// Keeps the loudest sample, the level path's levels and the formats.
class Listener {
public:
    void OnSamples(const std::int16_t* s, std::size_t n, int, int, int) {
        std::lock_guard l(m_);
        for (std::size_t i = 0; i < n; ++i) peak_ = std::max(peak_, std::abs(static_cast<int>(s[i])));
        maxLevel_ = std::max(maxLevel_, effects::MusicLevelFromSamples(s, n));
    }
    void OnFormat(const platform::AudioFormat& f) {
        std::lock_guard l(m_);
        formats_.push_back(f);
        peak_ = 0;  // a new device: count only what it delivers
    }
    int Peak() {
        std::lock_guard l(m_);
        return peak_;
    }
    int MaxLevel() {
        std::lock_guard l(m_);
        return maxLevel_;
    }
    std::vector<platform::AudioFormat> Formats() {
        std::lock_guard l(m_);
        return formats_;
    }

private:
    std::mutex m_;
    int peak_ = 0;
    int maxLevel_ = 0;
    std::vector<platform::AudioFormat> formats_;
};

TEST_F(PulseTest, SourceCapturesTheDefaultMonitorInBothSampleTypes) {
    auto source = platform::MakePulseLoopbackSource("keyloom test", 10);
    platform::AudioFormat f;
    ASSERT_TRUE(source->Open(platform::SampleType::Float32, &f));
    EXPECT_EQ(f.type, platform::SampleType::Float32);
    EXPECT_EQ(f.samplesPerSecond, 48000);
    EXPECT_EQ(f.channels, 2);
    EXPECT_EQ(f.bitsPerSample, 32);
    EXPECT_EQ(f.blockAlign, 8);

    // The idle null sink delivers silence in 10 ms packets.
    std::vector<std::uint8_t> bytes;
    platform::AudioPacket packet;
    ASSERT_TRUE(WaitUntil([&] { return source->NextPacket(&bytes, &packet) == platform::PacketStatus::Ready; }, 5s));
    EXPECT_EQ(packet.frames, 480u);
    EXPECT_EQ(bytes.size(), 480u * 8u);

    source->Close();
    EXPECT_EQ(source->NextPacket(&bytes, &packet), platform::PacketStatus::Lost);

    ASSERT_TRUE(source->Open(platform::SampleType::Int16, &f));
    EXPECT_EQ(f.bitsPerSample, 16);
    EXPECT_EQ(f.blockAlign, 4);
    EXPECT_EQ(f.avgBytesPerSecond, 192000);
}

TEST_F(PulseTest, CaptureDeliversAPlayedTone) {
    Listener listener;
    AudioCapture::Proxy<Listener> proxy(listener, nullptr, &Listener::OnSamples, &Listener::OnFormat);
    AudioCapture capture;
    ASSERT_TRUE(capture.Start(&proxy));
    ASSERT_TRUE(WaitUntil([&] { return !listener.Formats().empty(); }, 5s));
    EXPECT_EQ(listener.Formats()[0].bitsPerSample, 16);
    EXPECT_EQ(listener.Formats()[0].samplesPerSecond, 48000);

    TonePlayer tone(440.0, 0.5);
    // 0.5 of full scale peaks near 16384; the level of a sample is at most 64.
    ASSERT_TRUE(WaitUntil([&] { return listener.Peak() > 15000; }, 5s)) << "peak " << listener.Peak();
    EXPECT_LT(listener.Peak(), 17500);
    ASSERT_TRUE(WaitUntil([&] { return listener.MaxLevel() >= 48; }, 5s)) << "level " << listener.MaxLevel();
    EXPECT_LE(listener.MaxLevel(), 64);
    capture.Stop();
}

TEST_F(PulseTest, ANewDefaultSinkRestartsCaptureOnIt) {
    Listener listener;
    AudioCapture::Proxy<Listener> proxy(listener, nullptr, &Listener::OnSamples, &Listener::OnFormat);
    AudioCapture capture;
    ASSERT_TRUE(capture.Start(&proxy));
    ASSERT_TRUE(WaitUntil([&] { return listener.Formats().size() == 1; }, 5s));

    ASSERT_EQ(pulse_.Pactl({"load-module", "module-null-sink", "sink_name=second", "rate=44100", "channels=1"}), 0);
    ASSERT_EQ(pulse_.Pactl({"set-default-sink", "second"}), 0);
    ASSERT_TRUE(WaitUntil([&] { return listener.Formats().size() == 2; }, 5s));
    EXPECT_EQ(listener.Formats()[1].samplesPerSecond, 44100);
    EXPECT_EQ(listener.Formats()[1].channels, 1);

    {
        TonePlayer tone(440.0, 0.5, "second");
        ASSERT_TRUE(WaitUntil([&] { return listener.Peak() > 15000; }, 5s)) << "peak " << listener.Peak();
    }
    EXPECT_TRUE(capture.IsRunning());
}

TEST_F(PulseTest, RemovingTheCapturedSinkMovesCaptureToTheNextDefault) {
    std::string module;
    ASSERT_EQ(pulse_.Pactl({"load-module", "module-null-sink", "sink_name=headset", "rate=32000", "channels=2"},
                           &module),
              0);
    ASSERT_EQ(pulse_.Pactl({"set-default-sink", "headset"}), 0);
    Listener listener;
    AudioCapture::Proxy<Listener> proxy(listener, nullptr, &Listener::OnSamples, &Listener::OnFormat);
    AudioCapture capture;
    ASSERT_TRUE(capture.Start(&proxy));
    ASSERT_TRUE(WaitUntil([&] { return !listener.Formats().empty(); }, 5s));
    ASSERT_EQ(listener.Formats()[0].samplesPerSecond, 32000);
    std::this_thread::sleep_for(2500ms);  // past the first reads of an idle sink

    // Unplugged: the server falls back to the first sink.
    ASSERT_EQ(pulse_.Pactl({"unload-module", module.substr(0, module.find('\n'))}), 0);
    ASSERT_TRUE(WaitUntil([&] { return listener.Formats().back().samplesPerSecond == 48000; }, 5s));
    EXPECT_TRUE(capture.IsRunning());
    TonePlayer tone(440.0, 0.5);
    ASSERT_TRUE(WaitUntil([&] { return listener.Peak() > 15000; }, 5s)) << "peak " << listener.Peak();
}

TEST_F(PulseTest, VisualizerLightsTheBandOfThePlayedTone) {
    effects::Visualizer vis;
    vis.Init();
    effects::MusicLightSettings s;
    s.foremode = 2;  // red bars on black
    s.backmode = 0;
    vis.ApplySettings(s);
    vis.Start();
    vis.SetActive(true);
    ASSERT_TRUE(WaitUntil([&] { return vis.IsCapturing(); }, 5s));

    // Stereo at 48 kHz: a history sample per four floats (two frames), so the
    // FFT bins are 24000 / 256 Hz apart and 440 Hz lies in bins 4 and 5:
    // bands 4-5, columns 16-23.
    TonePlayer tone(440.0, 0.001);
    auto height = [&](int column) {
        int h = 0;
        for (int y = 1; y < 64; ++y) h += vis.PixelAt(column, y) != 0;
        return h;
    };
    auto tallest = [&] {
        int best = 0;
        for (int c = 1; c < 256; ++c)
            if (height(c) > height(best)) best = c;
        return best;
    };
    ASSERT_TRUE(WaitUntil([&] { return height(tallest()) > 20; }, 5s));
    std::this_thread::sleep_for(300ms);
    const int peak = tallest();
    EXPECT_GE(peak, 12) << "tallest column " << peak;
    EXPECT_LE(peak, 28) << "tallest column " << peak;
    for (int c = 96; c < 256; c += 16) EXPECT_EQ(height(c), 0) << "column " << c;
}

TEST_F(PulseTest, AServerThatQuitsEndsTheCaptureThreadAndReleasesThePicture) {
    Listener listener;
    AudioCapture::Proxy<Listener> proxy(listener, nullptr, &Listener::OnSamples, &Listener::OnFormat);
    AudioCapture capture;
    ASSERT_TRUE(capture.Start(&proxy));
    effects::Visualizer vis;
    vis.Init();
    vis.Start();
    vis.SetActive(true);
    ASSERT_TRUE(WaitUntil([&] { return vis.IsCapturing() && !listener.Formats().empty(); }, 5s));
    {
        TonePlayer tone(440.0, 0.5);
        ASSERT_TRUE(WaitUntil([&] { return listener.Peak() > 15000; }, 5s));
    }

    pulse_.Stop();
    ASSERT_TRUE(WaitUntil([&] { return !capture.IsRunning(); }, 5s));
    ASSERT_TRUE(WaitUntil([&] { return !vis.IsCapturing(); }, 5s));
    EXPECT_TRUE(vis.IsRunning()) << "frames go on, falling to the background";
    const auto frames = vis.FrameCount();
    ASSERT_TRUE(WaitUntil([&] { return vis.FrameCount() > frames + 5; }, 2s));
}

TEST(PulseWithoutServer, NothingOpensAndTheCaptureThreadEnds) {
    testsupport::TempDir dir;
    testsupport::EnvGuard env;
    env.Set("PULSE_SERVER", "unix:" + (dir / "no-such-socket"));
    auto source = platform::MakePulseLoopbackSource("keyloom test", 10);
    platform::AudioFormat f;
    EXPECT_FALSE(source->Open(platform::SampleType::Int16, &f));
    std::vector<std::uint8_t> bytes;
    platform::AudioPacket packet;
    EXPECT_EQ(source->NextPacket(&bytes, &packet), platform::PacketStatus::Lost);

    int stopped = 0;
    struct Owner {
        int* stopped;
        void OnStopped() { ++*stopped; }
    } owner{&stopped};
    AudioCapture::Proxy<Owner> proxy(owner, &Owner::OnStopped, nullptr, nullptr);
    AudioCapture capture;
    ASSERT_TRUE(capture.Start(&proxy));
    ASSERT_TRUE(WaitUntil([&] { return !capture.IsRunning(); }, 5s));
    EXPECT_EQ(stopped, 1);
}

}  // namespace
