// The audio capture thread: it captures what the computer plays as 16-bit
// samples and hands every packet to a proxy, from its own thread.
//
//   start    open the default output in loopback, report the 16-bit format
//   poll     every poll interval (33 ms): each waiting packet goes to Data
//            (zeroed when the source flags it silent); no packet at all gives
//            one empty call (no samples), which the level path turns into 0
//   change   a new default output closes and reopens the capture and reports
//            the format again
//   lost     a stream that ends is reopened once; when that fails, or the
//            first open fails, the thread ends
//   inactive while nothing uses the levels (SetActive(false)) the stream is
//            closed and the thread waits without polling; on return it is
//            opened again and the format reported again. Active by default.
//   end      Stopped is called last, on the capture thread
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audio_source.h"

namespace effects {

class AudioCapture {
public:
    class IProxy {
    public:
        virtual ~IProxy() = default;
        virtual void Stopped() = 0;
        // `samples` is null and `sampleCount` 0 for a poll that found nothing.
        // The samples are valid during the call only.
        virtual void Data(const std::int16_t* samples, std::size_t sampleCount, int bytesPerFrame, int bitsPerSample,
                          int channels) = 0;
        virtual void Format(const platform::AudioFormat& format) = 0;
    };

    // Forwards each call to a member function of `owner`, chosen at construction.
    template <class Owner>
    class Proxy final : public IProxy {
    public:
        using StoppedFn = void (Owner::*)();
        using DataFn = void (Owner::*)(const std::int16_t*, std::size_t, int, int, int);
        using FormatFn = void (Owner::*)(const platform::AudioFormat&);

        Proxy(Owner& owner, StoppedFn stopped, DataFn data, FormatFn format)
            : owner_(owner), stopped_(stopped), data_(data), format_(format) {}

        void Stopped() override {
            if (stopped_) (owner_.*stopped_)();
        }
        void Data(const std::int16_t* samples, std::size_t count, int bytesPerFrame, int bits, int channels) override {
            if (data_) (owner_.*data_)(samples, count, bytesPerFrame, bits, channels);
        }
        void Format(const platform::AudioFormat& format) override {
            if (format_) (owner_.*format_)(format);
        }

    private:
        Owner& owner_;
        StoppedFn stopped_;
        DataFn data_;
        FormatFn format_;
    };

    using SourceFactory = std::function<std::unique_ptr<platform::LoopbackSource>()>;

    // Without a factory the PulseAudio source is used.
    explicit AudioCapture(SourceFactory factory = {});
    ~AudioCapture();
    AudioCapture(const AudioCapture&) = delete;
    AudioCapture& operator=(const AudioCapture&) = delete;

    void SetPollInterval(int ms);
    int PollInterval() const { return pollMs_.load(); }

    // Starts the thread unless it already runs; false when it was running.
    // `proxy` must outlive the thread.
    bool Start(IProxy* proxy);
    // The main window clears this while the music-level path is off, so an
    // idle program keeps no stream running.
    void SetActive(bool on);
    bool IsActive() const { return active_.load(); }
    // True until the thread has ended (by Stop or by a failure).
    bool IsRunning() const { return running_.load(); }
    // Clears the run flag and waits for the thread; Stopped has been called
    // when this returns.
    void Stop();

private:
    void Run(IProxy* proxy);
    bool OpenSource(platform::LoopbackSource& source, IProxy* proxy);

    SourceFactory factory_;
    std::atomic<int> pollMs_{33};
    std::atomic<bool> running_{false};
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> restart_{false};
    std::atomic<bool> active_{true};
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    std::thread thread_;
    std::mutex threadMutex_;  // Start and Stop from different threads
    platform::AudioFormat format_;
    std::vector<std::uint8_t> bytes_;
    std::vector<std::int16_t> samples_;
};

}  // namespace effects
