// Screen light on the X display in $DISPLAY (meant for a 1920 x 1080 Xvfb):
// the cost of one capture and one reduction, then the running engine's
// samples per second and CPU share, ours and the X server's.
#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_util.h"
#include "effects/screen_grid.h"
#include "effects/screen_light.h"
#include "platform/screen_source.h"

namespace {

// The local X server answering `display`, found by its command line
// (Xvfb :99 ...); 0 when it cannot be told.
int FindXServer(const std::string& display) {
    const std::string number = display.substr(0, display.find('.'));
    DIR* proc = opendir("/proc");
    if (!proc) return 0;
    int found = 0;
    while (dirent* e = readdir(proc)) {
        const int pid = std::atoi(e->d_name);
        if (pid <= 0) continue;
        std::ifstream in(std::string("/proc/") + e->d_name + "/cmdline");
        std::string cmd((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<std::string> args;
        std::size_t pos = 0;
        while (pos < cmd.size()) {
            const std::size_t end = cmd.find('\0', pos);
            args.push_back(cmd.substr(pos, end - pos));
            if (end == std::string::npos) break;
            pos = end + 1;
        }
        if (args.empty() || args[0].find("Xvfb") == std::string::npos) continue;
        for (const std::string& a : args)
            if (a == number) found = pid;
    }
    closedir(proc);
    return found;
}

}  // namespace

int main() {
    const char* display = std::getenv("DISPLAY");
    auto source = platform::MakeX11ScreenSource();
    if (!display || !source) {
        std::printf("no X display with MIT-SHM (DISPLAY=%s): skipped\n"
                    "run e.g.: Xvfb :99 -screen 0 1920x1080x24 & DISPLAY=:99 %s\n",
                    display ? display : "", "screen_light_bench");
        return 0;
    }
    platform::ScreenImage image;
    if (!source->Capture(&image)) {
        std::printf("capture failed: skipped\n");
        return 0;
    }
    std::printf("screen %dx%d on %s\n", image.width, image.height, display);

    std::vector<double> capture, reduce;
    effects::ScreenCells cells;
    for (int i = 0; i < 300; ++i) {
        const double t0 = bench::WallSeconds();
        source->Capture(&image);
        const double t1 = bench::WallSeconds();
        effects::ReduceScreen(image, &cells);
        const double t2 = bench::WallSeconds();
        capture.push_back((t1 - t0) * 1000.0);
        reduce.push_back((t2 - t1) * 1000.0);
    }
    source.reset();
    const double perSample = bench::Percentile(capture, 0.5) + bench::Percentile(reduce, 0.5);
    std::printf("one sample: capture %.3f ms median (p95 %.3f), reduce %.3f ms median (p95 %.3f)\n",
                bench::Percentile(capture, 0.5), bench::Percentile(capture, 0.95), bench::Percentile(reduce, 0.5),
                bench::Percentile(reduce, 0.95));
    std::printf("unpaced, back to back, that would be about %.0f samples/s\n", 1000.0 / perSample);

    const int server = FindXServer(display);
    effects::ScreenLight light;
    light.StartScreenLight(21, 6);
    light.SetScreenLightActive(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double w0 = bench::WallSeconds(), c0 = bench::ProcessCpuSeconds();
    const double x0 = server ? bench::OtherProcessCpuSeconds(server) : -1.0;
    const auto s0 = light.SampleCount();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const double wall = bench::WallSeconds() - w0, cpu = bench::ProcessCpuSeconds() - c0;
    const double x1 = server ? bench::OtherProcessCpuSeconds(server) : -1.0;
    const auto samples = light.SampleCount() - s0;
    light.Stop();
    std::printf("screen light, active, 10 s: %.1f samples/s (paced to one per %d ms), %.2f%% of a core in this process\n",
                static_cast<double>(samples) / wall, effects::ScreenLight::kSamplePeriodMs, cpu / wall * 100.0);
    if (server && x0 >= 0 && x1 >= 0)
        std::printf("X server (pid %d) meanwhile: %.2f%% of a core (its copy into the shared segment)\n", server,
                    (x1 - x0) / wall * 100.0);
    else
        std::printf("X server CPU: not found\n");
    return 0;
}
