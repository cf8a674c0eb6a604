// The screen light: a thread that samples the screen, reduces it to 18 x 6
// cells and spreads them over the keyboard matrix; the worker reads the grid
// without a lock.
//
//   active     one sample, then the next one no sooner than 16 ms after the
//              start of this one (the worker reads once per 16 ms step, so
//              faster sampling would only burn CPU)
//   inactive   the capture is released and the thread sleeps 1000 ms, woken
//              at once when it becomes active or is stopped
//   no screen  the sample is skipped; a source that cannot be made is tried
//              again after 1000 ms, one that failed a capture is made anew
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "effects/colour.h"
#include "effects/screen_grid.h"
#include "platform/screen_source.h"

namespace effects {

class ScreenLight {
public:
    static constexpr int kSamplePeriodMs = 16;
    static constexpr int kIdleSleepMs = 1000;

    using SourceFactory = std::function<std::unique_ptr<platform::ScreenSource>()>;

    // Without a factory the X11 source on $DISPLAY is used.
    explicit ScreenLight(SourceFactory factory = {});
    ~ScreenLight();
    ScreenLight(const ScreenLight&) = delete;
    ScreenLight& operator=(const ScreenLight&) = delete;

    // Stores the matrix size (columns up to 32, rows up to 8) and starts the
    // thread; a thread already running keeps running with the new size. False
    // for a size without a row or a column.
    bool StartScreenLight(int columns, int rows);
    void SetScreenLightActive(bool on);
    bool IsActive() const { return active_.load(); }
    bool IsRunning() const { return running_.load(); }
    void Stop();

    // grid[column x 8 + row], the colour of a matrix cell. Out of range: 0.
    Colour GridColour(int column, int row) const;
    Colour KeyColour(int row, int column) const { return GridColour(column, row); }

    std::uint64_t SampleCount() const { return samples_.load(); }

private:
    void Run();
    void Sample();
    void WaitFor(std::chrono::steady_clock::time_point until, bool wasActive);

    SourceFactory factory_;
    std::atomic<int> columns_{0};
    std::atomic<int> rows_{0};
    std::atomic<bool> running_{false};
    std::atomic<bool> active_{false};
    std::atomic<bool> stopRequested_{false};
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    std::mutex threadMutex_;
    std::thread thread_;

    // Sampling thread only.
    std::unique_ptr<platform::ScreenSource> source_;
    ScreenCells cells_{};
    ScreenGrid grid_{};

    std::array<std::atomic<Colour>, kGridColumns * kGridRowsPerColumn> shared_{};
    std::atomic<std::uint64_t> samples_{0};
};

}  // namespace effects
