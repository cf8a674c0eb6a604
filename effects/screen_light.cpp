#include "effects/screen_light.h"

#include <algorithm>

namespace effects {

ScreenLight::ScreenLight(SourceFactory factory) : factory_(std::move(factory)) {
    for (auto& c : shared_) c.store(0, std::memory_order_relaxed);
}

ScreenLight::~ScreenLight() { Stop(); }

bool ScreenLight::StartScreenLight(int columns, int rows) {
    if (columns < 1 || rows < 1) return false;
    columns_.store(std::min(columns, kGridColumns));
    rows_.store(std::min(rows, kGridRowsPerColumn));
    std::lock_guard lock(threadMutex_);
    if (running_.load()) return true;  // the lighting set-up runs again at every reload
    if (thread_.joinable()) thread_.join();
    stopRequested_.store(false);
    running_.store(true);
    thread_ = std::thread(&ScreenLight::Run, this);
    return true;
}

void ScreenLight::SetScreenLightActive(bool on) {
    {
        std::lock_guard lock(wakeMutex_);
        active_.store(on);
    }
    wake_.notify_all();
}

void ScreenLight::Stop() {
    std::lock_guard lock(threadMutex_);
    {
        std::lock_guard wakeLock(wakeMutex_);
        stopRequested_.store(true);
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

Colour ScreenLight::GridColour(int column, int row) const {
    if (column < 0 || column >= kGridColumns || row < 0 || row >= kGridRowsPerColumn) return 0;
    return shared_[static_cast<std::size_t>(column * kGridRowsPerColumn + row)].load(std::memory_order_relaxed);
}

void ScreenLight::WaitFor(std::chrono::steady_clock::time_point until, bool wasActive) {
    std::unique_lock lock(wakeMutex_);
    wake_.wait_until(lock, until, [&] { return stopRequested_.load() || active_.load() != wasActive; });
}

void ScreenLight::Sample() {
    platform::ScreenImage image;
    if (!source_->Capture(&image)) {
        source_.reset();
        WaitFor(std::chrono::steady_clock::now() + std::chrono::milliseconds(kIdleSleepMs), true);
        return;
    }
    ReduceScreen(image, &cells_);
    FillGrid(cells_, columns_.load(), rows_.load(), &grid_);
    for (std::size_t i = 0; i < grid_.size(); ++i) shared_[i].store(grid_[i], std::memory_order_relaxed);
    samples_.fetch_add(1, std::memory_order_relaxed);
}

void ScreenLight::Run() {
    using Clock = std::chrono::steady_clock;
    while (!stopRequested_.load()) {
        if (!active_.load()) {
            source_.reset();  // no shared segment or connection kept while idle
            WaitFor(Clock::now() + std::chrono::milliseconds(kIdleSleepMs), false);
            continue;
        }
        const Clock::time_point start = Clock::now();
        if (!source_) source_ = factory_ ? factory_() : platform::MakeX11ScreenSource();
        if (!source_) {
            WaitFor(start + std::chrono::milliseconds(kIdleSleepMs), true);
            continue;
        }
        Sample();
        WaitFor(start + std::chrono::milliseconds(kSamplePeriodMs), true);
    }
    source_.reset();
    running_.store(false);
}

}  // namespace effects
