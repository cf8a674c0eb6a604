// The engines while no music or screen mode is shown: the audio capture
// thread runs (it always does), the visualizer and the screen light are
// started but inactive. Prints the CPU share of the whole process.
#include <atomic>
#include <cstdio>
#include <thread>

#include "bench_util.h"
#include "effects/audio_capture.h"
#include "effects/music_level.h"
#include "effects/screen_light.h"
#include "effects/visualizer.h"

namespace {

struct NoSink : effects::MusicLevelSink {
    void SendMusicLevel(int) override {}
};

struct Owner {
    std::atomic<long> packets{0};
    std::atomic<bool> format{false};
    void Samples(const std::int16_t* s, std::size_t n, int bpf, int bits, int ch) {
        if (s) ++packets;
        path->OnMusicSamples(s, n, bpf, bits, ch);
    }
    void Format(const platform::AudioFormat&) { format = true; }
    effects::MusicLevelPath* path;
};

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
    NoSink sink;
    effects::MusicLevelPath path(sink);  // disabled: the lighting page is not showing music
    Owner owner;
    owner.path = &path;
    effects::AudioCapture::Proxy<Owner> proxy(owner, nullptr, &Owner::Samples, &Owner::Format);
    effects::AudioCapture capture;
    capture.SetPollInterval(33);
    capture.Start(&proxy);

    effects::Visualizer vis;
    vis.Init();
    vis.Start();
    effects::ScreenLight light;
    light.StartScreenLight(21, 6);

    std::this_thread::sleep_for(std::chrono::seconds(3));  // connections made, first reads done
    const bool audio = owner.format.load() && capture.IsRunning();

    auto measure = [&](const char* what) {
        const long p0 = owner.packets.load();
        const double w0 = bench::WallSeconds(), c0 = bench::ProcessCpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const double wall = bench::WallSeconds() - w0, cpu = bench::ProcessCpuSeconds() - c0;
        std::printf("%-58s %6.1f packets/s, process CPU %.3f%% of a core\n", what,
                    static_cast<double>(owner.packets.load() - p0) / wall, cpu / wall * 100.0);
    };
    std::printf("idle engines, %d s each (visualizer and screen light started, inactive); audio %s\n", seconds,
                audio ? "from the sound server" : "without a sound server");
    measure("audio capture active (levels computed and dropped):");
    capture.SetActive(false);
    measure("audio capture inactive (the music-level path is off):");
    std::printf("target: under 0.2%% of a core\n");
    light.Stop();
    vis.Stop();
    capture.Stop();
    return 0;
}
