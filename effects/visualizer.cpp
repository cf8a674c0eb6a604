#include "effects/visualizer.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace effects {

Visualizer::Visualizer(SourceFactory factory)
    : factory_(std::move(factory)),
      scratch_(kPicturePixels, 0),
      pictures_(new std::atomic<Colour>[2 * kPicturePixels]) {
    for (int i = 0; i < 2 * kPicturePixels; ++i) pictures_[static_cast<std::size_t>(i)].store(0, std::memory_order_relaxed);
    packet_.reserve(64 * 1024);
}

Visualizer::~Visualizer() {
    Stop();
    // Before the members its watch may still touch go.
    source_.reset();
}

void Visualizer::Init() {
    if (initialised_) return;
    initialised_ = true;
    {
        std::lock_guard lock(devicesMutex_);
        devices_ = {{L"Default Loopback Device", false}};
    }
    {
        std::lock_guard lock(settingsMutex_);
        pending_ = MusicFrameSettings{};
    }
    hasPending_.store(true);
    restartCapture_.store(true);
}

void Visualizer::Start() {
    std::lock_guard lock(threadMutex_);
    if (running_.load()) return;
    if (thread_.joinable()) thread_.join();  // ended by a fade-out
    engine_.Reset();
    stopRequested_.store(false);
    running_.store(true);
    thread_ = std::thread(&Visualizer::Run, this);
}

void Visualizer::Stop() {
    std::lock_guard lock(threadMutex_);
    {
        std::lock_guard wakeLock(wakeMutex_);
        stopRequested_.store(true);
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void Visualizer::SetActive(bool on) {
    {
        std::lock_guard lock(wakeMutex_);
        // Turning on tries the device again, even one that failed before.
        if (!active_.exchange(on) && on) restartCapture_.store(true);
    }
    wake_.notify_all();
}

void Visualizer::ApplySettings(const MusicLightSettings& settings) {
    {
        std::lock_guard lock(settingsMutex_);
        pending_.sensitivity = settings.fore_amplitude;
        pending_.barType = settings.foremode;
        pending_.backType = settings.backmode;
        pending_.backBrightness = settings.backb_right;
    }
    hasPending_.store(true);
    restartCapture_.store(true);
}

void Visualizer::ApplyEngineSettings(const MusicFrameSettings& settings) {
    {
        std::lock_guard lock(settingsMutex_);
        // The record's four values stay as ApplySettings left them.
        const MusicFrameSettings record = pending_;
        pending_ = settings;
        pending_.sensitivity = record.sensitivity;
        pending_.barType = record.barType;
        pending_.backType = record.backType;
        pending_.backBrightness = record.backBrightness;
    }
    hasPending_.store(true);
}

void Visualizer::OnDefaultDeviceChanged(platform::DeviceFlow flow) {
    if (flow != platform::DeviceFlow::Render) return;
    {
        std::lock_guard lock(devicesMutex_);
        // Entry 0 always stands for whatever the default output is now.
        devices_ = {{L"Default Loopback Device", false}};
    }
    restartCapture_.store(true);
}

std::vector<AudioDeviceEntry> Visualizer::Devices() const {
    std::lock_guard lock(devicesMutex_);
    return devices_;
}

Colour Visualizer::PixelAt(int column, int row) const {
    if (column < 0 || column >= kPictureWidth || row < 0 || row >= kPictureHeight) return 0;
    const int base = front_.load(std::memory_order_acquire) * kPicturePixels;
    return pictures_[static_cast<std::size_t>(base + row * kPictureWidth + column)].load(std::memory_order_relaxed);
}

void Visualizer::CopyPicture(Colour* out) const {
    const int base = front_.load(std::memory_order_acquire) * kPicturePixels;
    for (int i = 0; i < kPicturePixels; ++i)
        out[i] = pictures_[static_cast<std::size_t>(base + i)].load(std::memory_order_relaxed);
}

void Visualizer::OpenCapture() {
    if (!source_) {
        source_ = factory_ ? factory_() : platform::MakePulseLoopbackSource("Keyloom visualizer");
        if (!source_) {
            clientFailed_ = true;
            return;
        }
        source_->WatchDefaults([this](platform::DeviceFlow flow) { OnDefaultDeviceChanged(flow); });
    }
    platform::AudioFormat format;
    clientOpen_ = source_->Open(platform::SampleType::Float32, &format);
    clientFailed_ = !clientOpen_;
    capturing_.store(clientOpen_);
}

void Visualizer::CloseCapture() {
    if (source_ && clientOpen_) source_->Close();
    clientOpen_ = false;
    capturing_.store(false);
}

void Visualizer::Publish() {
    const int back = 1 - front_.load(std::memory_order_relaxed);
    std::atomic<Colour>* dst = pictures_.get() + back * kPicturePixels;
    for (int i = 0; i < kPicturePixels; ++i) dst[i].store(scratch_[static_cast<std::size_t>(i)], std::memory_order_relaxed);
    front_.store(back, std::memory_order_release);
}

void Visualizer::Frame() {
    if (hasPending_.exchange(false)) {
        std::lock_guard lock(settingsMutex_);
        engine_.SetSettings(pending_);
    }
    if (restartCapture_.exchange(false)) {
        CloseCapture();
        clientFailed_ = false;
    }
    if (!clientOpen_ && !clientFailed_) OpenCapture();

    bool lost = false;
    while (clientOpen_) {
        platform::AudioPacket packet;
        const platform::PacketStatus status = source_->NextPacket(&packet_, &packet);
        if (status == platform::PacketStatus::None) break;
        if (status == platform::PacketStatus::Lost) {
            lost = true;
            break;
        }
        if (packet.silent) std::fill(packet_.begin(), packet_.end(), 0);
        engine_.AddPacket(packet_.data(), packet_.size(), packet.frames);
    }
    if (lost) {
        // The device is gone: release it and let the picture fall to the
        // background instead of repeating the last sound.
        CloseCapture();
        clientFailed_ = true;
        engine_.ClearHistory();
    }

    engine_.ComputeFrame(scratch_.data());
    Publish();
    frames_.fetch_add(1, std::memory_order_relaxed);
}

void Visualizer::WaitFor(int ms) {
    const bool wasActive = active_.load();
    std::unique_lock lock(wakeMutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(ms),
                   [&] { return stopRequested_.load() || active_.load() != wasActive; });
}

void Visualizer::Run() {
    while (!stopRequested_.load()) {
        if (active_.load()) {
            Frame();
            if (engine_.FadedOut()) break;
            WaitFor(kActiveSleepMs);
        } else {
            CloseCapture();
            WaitFor(kIdleSleepMs);
        }
    }
    CloseCapture();
    running_.store(false);
}

}  // namespace effects
