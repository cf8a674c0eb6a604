// The music picture, computed without threads or devices: packets of samples
// go in, one call computes one frame of the 256 x 64 spectrum picture.
//
// One frame:
//   1. every column level keeps `decay` percent of itself;
//   2. (samples were appended to the 256-sample history by AddPacket);
//   3. the history, windowed, goes through a 256-point complex FFT; bin 1's
//      real part is copied into bin 0; bin k is weighted by 0.04 + 0.5 k / 256;
//   4. bins 0-63 give band values v = log10(1.1 m) x 0.5 + 0.9 m (at most 1)
//      that raise the four columns of their band;
//   5. the columns are smoothed (centred moving average or block average);
//   6. the display levels follow the levels by the follow factor;
//   7. both palettes are built for the current hue;
//   8. the silence counter counts frames until an even column shows sound;
//   9. each pixel takes the bar colour below its column's level and the
//      background colour above it; row 0 is a meter centred on column 128;
//  10. the hue advances by 5 degrees.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "effects/colour.h"
#include "effects/palette.h"

namespace effects {

struct MusicFrameSettings {
    int sensitivity = 270;    // sample gain
    int windowType = 1;       // 1 Hann, 2 Hamming, 3 Blackman, other none
    int decay = 80;           // percent of the levels kept each frame
    int smoothingMode = 1;    // 0 block average, 1 centred moving average, other none
    int smoothingWidth = 8;   // half-width (mode 1) or block width (mode 0)
    float followFactor = 1.0f;
    int barType = 15;
    int backType = 0;
    int backBrightness = 100;

    // After the silence limit the background palette at full brightness (or
    // the bars' palette) fades in over the picture with factor
    // (n - limit) / 240, n capped at 360.
    bool idleBackground = false;
    bool idleBars = false;
    // The picture fades out over the silence limit and the engine then stops.
    bool fadeOut = false;
};

class MusicFrameEngine {
public:
    static constexpr int kHistory = 256;
    static constexpr int kColumns = kPictureWidth;
    static constexpr int kBands = 64;
    static constexpr int kSilenceLimit = 120;
    // Frames without any new sample after which the history is emptied, so a
    // stream that stopped delivering lets the picture fall to the background.
    static constexpr int kStaleFrames = 8;

    MusicFrameEngine();
    ~MusicFrameEngine();
    MusicFrameEngine(const MusicFrameEngine&) = delete;
    MusicFrameEngine& operator=(const MusicFrameEngine&) = delete;

    void SetSettings(const MusicFrameSettings& settings) { settings_ = settings; }
    const MusicFrameSettings& Settings() const { return settings_; }

    // Back to the state of a fresh engine (levels, history, hue, counters);
    // the settings stay.
    void Reset();

    // One packet of 32-bit float samples (`bytes` long, `frames` frames): for
    // every group of four floats, one group per four frames from the start of
    // the packet, one history sample = mean x 2 x sensitivity.
    void AddPacket(const void* samples, std::size_t bytes, std::size_t frames);
    void ClearHistory();

    // Computes one frame into `picture` (kPicturePixels colours, row 0 first).
    void ComputeFrame(Colour* picture);

    const float* Levels() const { return levels_.data(); }
    const float* DisplayLevels() const { return display_.data(); }
    // The band values v of the last frame (before smoothing).
    const float* BandValues() const { return bands_.data(); }
    int SilentFrames() const { return silentFrames_; }
    double Hue() const { return hue_; }
    // Fade-out finished: the owner stops computing.
    bool FadedOut() const { return fadedOut_; }

private:
    void Smooth();

    MusicFrameSettings settings_;
    struct Fft;
    Fft* fft_;
    std::array<float, kHistory> history_{};
    std::size_t historyPos_ = 0;  // index of the oldest sample
    std::array<float, 4 * kHistory> windows_{};  // none, Hann, Hamming, Blackman
    std::array<float, kHistory> weights_{};
    std::array<float, kColumns> levels_{};
    std::array<float, kColumns> display_{};
    std::array<float, kColumns> scratch_{};
    std::array<float, kBands> bands_{};
    Palette bars_;
    Palette back_;
    Palette idleBack_;
    double hue_ = 0.0;
    int silentFrames_ = 0;
    int framesWithoutSamples_ = 0;
    bool samplesSinceFrame_ = false;
    bool fadedOut_ = false;
};

}  // namespace effects
