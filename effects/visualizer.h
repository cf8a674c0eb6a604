// The music visualizer: a frame thread that turns what the computer plays
// into the 256 x 64 spectrum picture (MusicFrameEngine), which the main
// window's worker samples at every key.
//
//   frame thread   active: one frame, then 15 ms; idle: 500 ms (woken at once
//                  by SetActive, Stop and settings)
//   capture        its own loopback stream of 32-bit floats, open only while
//                  active; a stream that is lost is released and the picture
//                  falls to the background; ApplySettings and a new default
//                  output restart it
//   picture        two buffers; the one last finished is read, without a lock
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "effects/colour.h"
#include "effects/key_map.h"
#include "effects/music_frame.h"
#include "platform/audio_source.h"

namespace effects {

// The fields of the music-light record the engine uses (deviceindex is kept
// by the record only: the engine always captures device 0).
struct MusicLightSettings {
    int deviceindex = 0;
    int foremode = 1;          // bar palette type
    int fore_amplitude = 300;  // sensitivity
    int backmode = 0;          // background palette type
    int backb_right = 100;     // background brightness 0-100
};

struct AudioDeviceEntry {
    std::wstring name;
    bool captureDevice = false;  // false: an output captured in loopback
};

class Visualizer {
public:
    static constexpr int kActiveSleepMs = 15;
    static constexpr int kIdleSleepMs = 500;

    using SourceFactory = std::function<std::unique_ptr<platform::LoopbackSource>()>;

    // Without a factory the PulseAudio source is used.
    explicit Visualizer(SourceFactory factory = {});
    ~Visualizer();
    Visualizer(const Visualizer&) = delete;
    Visualizer& operator=(const Visualizer&) = delete;

    // Device list, defaults (sensitivity 270, window 1, decay 80, smoothing 1
    // width 8, follow 1.0, bars 15, background 0 at 100) and capture of
    // device 0. Once; later calls do nothing.
    void Init();
    // Sets running and starts the frame thread (again after Stop or a fade-out).
    void Start();
    void Stop();
    bool IsRunning() const { return running_.load(); }

    void SetActive(bool on);
    bool IsActive() const { return active_.load(); }

    // Sensitivity, bar palette, background palette and brightness from the
    // record; device 0; capture restarts. Taken over at the start of the next
    // frame, so no frame mixes old and new values.
    void ApplySettings(const MusicLightSettings& settings);
    // Everything else the engine has (window, decay, smoothing, follow factor,
    // idle options); the record's sensitivity and palettes are kept.
    void ApplyEngineSettings(const MusicFrameSettings& settings);

    // A default device changed: for the output, the list is rebuilt and
    // capture restarts; a new default input changes nothing.
    void OnDefaultDeviceChanged(platform::DeviceFlow flow);

    std::vector<AudioDeviceEntry> Devices() const;
    int CurrentDevice() const { return 0; }

    // The last finished picture. Out-of-range pixels are 0.
    Colour PixelAt(int column, int row) const;
    void CopyPicture(Colour* out) const;  // kPicturePixels colours
    // The colour of a matrix cell through `map`.
    Colour KeyColour(const MusicKeyMap& map, int row, int column) const {
        return PixelAt(map.PictureColumn(column), map.PictureRow(row));
    }

    std::uint64_t FrameCount() const { return frames_.load(); }
    bool IsCapturing() const { return capturing_.load(); }

private:
    void Run();
    void Frame();
    void OpenCapture();
    void CloseCapture();
    void Publish();
    void WaitFor(int ms);

    SourceFactory factory_;
    std::unique_ptr<platform::LoopbackSource> source_;
    bool initialised_ = false;

    mutable std::mutex devicesMutex_;
    std::vector<AudioDeviceEntry> devices_;

    std::mutex settingsMutex_;
    MusicFrameSettings pending_;
    std::atomic<bool> hasPending_{false};
    std::atomic<bool> restartCapture_{false};

    std::atomic<bool> running_{false};
    std::atomic<bool> active_{false};
    std::atomic<bool> stopRequested_{false};
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    std::thread thread_;
    std::mutex threadMutex_;

    // Frame thread only.
    MusicFrameEngine engine_;
    bool clientOpen_ = false;
    bool clientFailed_ = false;
    std::vector<std::uint8_t> packet_;
    std::vector<Colour> scratch_;

    std::unique_ptr<std::atomic<Colour>[]> pictures_;  // two pictures back to back
    std::atomic<int> front_{0};
    std::atomic<std::uint64_t> frames_{0};
    std::atomic<bool> capturing_{false};
};

}  // namespace effects
