// Cost of one music frame: the pure engine's frame (with a 10 ms stereo packet
// added, as a playing stream gives) per bar palette, and the CPU share of the
// whole visualizer thread running at its 15 ms pace on a synthetic stream.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "bench_util.h"
#include "effects/music_frame.h"
#include "effects/visualizer.h"

namespace {

std::vector<float> Music(std::size_t frames, double* t) {
    std::vector<float> out(frames * 2);
    for (std::size_t f = 0; f < frames; ++f) {
        const double v = 0.3 * std::sin(2 * M_PI * 220.0 * *t) + 0.2 * std::sin(2 * M_PI * 1760.0 * *t) +
                         0.1 * std::sin(2 * M_PI * 5000.0 * *t);
        out[2 * f] = out[2 * f + 1] = static_cast<float>(v);
        *t += 1.0 / 48000.0;
    }
    return out;
}

// A stream that delivers 10 ms packets as real time passes.
class SyntheticSource final : public platform::LoopbackSource {
public:
    bool Open(platform::SampleType, platform::AudioFormat* f) override {
        *f = platform::Float32Format(48000, 2);
        start_ = bench::WallSeconds();
        given_ = 0;
        return true;
    }
    platform::PacketStatus NextPacket(std::vector<std::uint8_t>* bytes, platform::AudioPacket* p) override {
        if ((bench::WallSeconds() - start_) * 100.0 < static_cast<double>(given_ + 1)) return platform::PacketStatus::None;
        ++given_;
        const std::vector<float> f = Music(480, &t_);
        bytes->resize(f.size() * sizeof(float));
        std::memcpy(bytes->data(), f.data(), bytes->size());
        p->frames = 480;
        p->silent = false;
        return platform::PacketStatus::Ready;
    }
    void Close() override {}
    void WatchDefaults(std::function<void(platform::DeviceFlow)>) override {}

private:
    double start_ = 0.0;
    long given_ = 0;
    double t_ = 0.0;
};

}  // namespace

int main() {
    std::printf("visualizer frame cost (engine only; %d frames per palette)\n", 5000);
    std::printf("%-28s %10s %10s %10s %12s\n", "bar/background palette", "median ms", "p95 ms", "max ms", "core at 15ms");
    struct Case {
        const char* name;
        int bars, back;
    };
    const Case cases[] = {{"15 rainbow / 0 black", 15, 0},
                          {"17 angle / 13 gradient", 17, 13},
                          {"18 angle / 16 hue sweep", 18, 16},
                          {"2 red / 1 white", 2, 1}};
    double worstMedian = 0.0;
    for (const Case& c : cases) {
        effects::MusicFrameEngine engine;
        effects::MusicFrameSettings s;
        s.sensitivity = 300;
        s.barType = c.bars;
        s.backType = c.back;
        engine.SetSettings(s);
        std::vector<effects::Colour> picture(effects::kPicturePixels);
        double t = 0.0;
        const std::vector<float> packet = Music(480, &t);
        for (int i = 0; i < 200; ++i) engine.ComputeFrame(picture.data());  // warm up
        std::vector<double> ms;
        ms.reserve(5000);
        for (int i = 0; i < 5000; ++i) {
            const double t0 = bench::WallSeconds();
            engine.AddPacket(packet.data(), packet.size() * sizeof(float), 480);
            engine.ComputeFrame(picture.data());
            ms.push_back((bench::WallSeconds() - t0) * 1000.0);
        }
        const double median = bench::Percentile(ms, 0.5);
        worstMedian = std::max(worstMedian, median);
        std::printf("%-28s %10.4f %10.4f %10.4f %11.2f%%\n", c.name, median, bench::Percentile(ms, 0.95),
                    bench::Percentile(ms, 1.0), median / 15.0 * 100.0);
    }
    std::printf("worst median: %.4f ms (target 0.3 ms)\n\n", worstMedian);

    // The whole engine thread: frames every 15 ms plus its packets and the
    // publishing of the picture.
    effects::Visualizer vis([] { return std::make_unique<SyntheticSource>(); });
    vis.Init();
    effects::MusicLightSettings settings;
    settings.foremode = 17;
    vis.ApplySettings(settings);
    vis.Start();
    vis.SetActive(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double w0 = bench::WallSeconds(), c0 = bench::ProcessCpuSeconds();
    const auto f0 = vis.FrameCount();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const double wall = bench::WallSeconds() - w0, cpu = bench::ProcessCpuSeconds() - c0;
    const auto frames = vis.FrameCount() - f0;
    vis.Stop();
    std::printf("visualizer thread, active, 10 s: %.1f frames/s, %.2f%% of a core (%.3f ms CPU per frame)\n",
                static_cast<double>(frames) / wall, cpu / wall * 100.0, cpu / static_cast<double>(frames) * 1000.0);
    return 0;
}
