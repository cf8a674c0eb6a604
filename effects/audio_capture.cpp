#include "effects/audio_capture.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace effects {

AudioCapture::AudioCapture(SourceFactory factory) : factory_(std::move(factory)) {}

AudioCapture::~AudioCapture() { Stop(); }

void AudioCapture::SetPollInterval(int ms) { pollMs_.store(std::clamp(ms, 1, 10000)); }

bool AudioCapture::Start(IProxy* proxy) {
    std::lock_guard lock(threadMutex_);
    if (running_.load() || !proxy) return false;
    if (thread_.joinable()) thread_.join();  // a thread that ended on its own
    stopRequested_.store(false);
    restart_.store(false);
    running_.store(true);
    thread_ = std::thread(&AudioCapture::Run, this, proxy);
    return true;
}

void AudioCapture::Stop() {
    std::lock_guard lock(threadMutex_);
    {
        std::lock_guard wakeLock(wakeMutex_);
        stopRequested_.store(true);
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void AudioCapture::SetActive(bool on) {
    {
        std::lock_guard lock(wakeMutex_);
        active_.store(on);
    }
    wake_.notify_all();
}

bool AudioCapture::OpenSource(platform::LoopbackSource& source, IProxy* proxy) {
    platform::AudioFormat mix;
    if (!source.Open(platform::SampleType::Int16, &mix)) return false;
    format_ = platform::Pcm16Format(mix);
    proxy->Format(format_);
    return true;
}

void AudioCapture::Run(IProxy* proxy) {
    std::unique_ptr<platform::LoopbackSource> source =
        factory_ ? factory_() : platform::MakePulseLoopbackSource("Keyloom audio capture");
    if (source) {
        source->WatchDefaults([this](platform::DeviceFlow flow) {
            if (flow != platform::DeviceFlow::Render) return;
            {
                std::lock_guard lock(wakeMutex_);
                restart_.store(true);
            }
            wake_.notify_all();
        });
    }

    // Opened at once when active, as the thread starts; otherwise when it
    // becomes active.
    bool ok = source && (!active_.load() || OpenSource(*source, proxy));
    bool deliveredSinceOpen = false;
    while (ok && !stopRequested_.load()) {
        if (!active_.load()) {
            source->Close();
            {
                std::unique_lock lock(wakeMutex_);
                wake_.wait(lock, [this] { return stopRequested_.load() || active_.load(); });
            }
            if (stopRequested_.load()) break;
            restart_.store(true);  // reopen on whatever the default is now
        }
        if (restart_.exchange(false)) {
            ok = OpenSource(*source, proxy);
            deliveredSinceOpen = false;
            if (!ok) break;
        }

        bool any = false;
        for (;;) {
            platform::AudioPacket packet;
            const platform::PacketStatus status = source->NextPacket(&bytes_, &packet);
            if (status == platform::PacketStatus::None) break;
            if (status == platform::PacketStatus::Lost) {
                // A device that went away is usually replaced by a new default
                // at once: try that once. A stream that dies again before it
                // delivered anything ends the thread instead of spinning.
                ok = deliveredSinceOpen && OpenSource(*source, proxy);
                deliveredSinceOpen = false;
                break;
            }
            any = true;
            deliveredSinceOpen = true;
            const std::size_t bytes =
                std::min(bytes_.size(), packet.frames * static_cast<std::size_t>(format_.blockAlign));
            if (bytes == 0) continue;
            samples_.resize((bytes + 1) / 2);
            if (packet.silent) {
                std::fill(samples_.begin(), samples_.end(), 0);
            } else {
                samples_.back() = 0;  // an odd byte count leaves half a sample
                std::memcpy(samples_.data(), bytes_.data(), bytes);
            }
            proxy->Data(samples_.data(), samples_.size(), format_.blockAlign, 16, format_.channels);
        }
        if (!ok) break;
        if (!any) proxy->Data(nullptr, 0, format_.blockAlign, 16, format_.channels);

        std::unique_lock lock(wakeMutex_);
        wake_.wait_for(lock, std::chrono::milliseconds(pollMs_.load()),
                       [this] { return stopRequested_.load() || restart_.load() || !active_.load(); });
    }

    if (source) source->Close();
    source.reset();
    proxy->Stopped();
    running_.store(false);
}

}  // namespace effects
