// The loudness value of the keyboards that draw the music effect themselves:
// one level per audio packet, taken from a single sample.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace effects {

// |sample at count - 10| >> 8, so 0 to 128. An empty call, or a packet of
// fewer than 10 samples, gives 0.
int MusicLevelFromSamples(const std::int16_t* samples, std::size_t count);

// Where the level goes: the music-level command of the keyboard link.
class MusicLevelSink {
public:
    virtual ~MusicLevelSink() = default;
    virtual void SendMusicLevel(int level) = 0;
};

// What the main window does with each audio packet (its OnMusicSamples): while
// enabled (the lighting page is current and the mode is a music mode), one
// level per call goes to the sink, on the capture thread.
class MusicLevelPath {
public:
    explicit MusicLevelPath(MusicLevelSink& sink) : sink_(sink) {}
    void SetEnabled(bool on) { enabled_.store(on); }
    bool IsEnabled() const { return enabled_.load(); }
    void OnMusicSamples(const std::int16_t* samples, std::size_t count, int bytesPerFrame, int bitsPerSample,
                        int channels);

private:
    MusicLevelSink& sink_;
    std::atomic<bool> enabled_{false};
};

}  // namespace effects
