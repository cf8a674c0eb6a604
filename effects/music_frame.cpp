#include "effects/music_frame.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

namespace effects {

namespace {

constexpr double kPi = 3.14159265358979323846;

// FFTW's planner is not thread-safe; executing a plan is.
std::mutex& PlannerMutex() {
    static std::mutex m;
    return m;
}

Colour Blend(Colour a, Colour b, float f) {
    auto mix = [f](int x, int y) { return static_cast<int>(x + (y - x) * f); };
    return MakeColour(mix(RedOf(a), RedOf(b)), mix(GreenOf(a), GreenOf(b)), mix(BlueOf(a), BlueOf(b)));
}

Colour Dim(Colour c, float f) {
    return MakeColour(static_cast<int>(RedOf(c) * f), static_cast<int>(GreenOf(c) * f),
                      static_cast<int>(BlueOf(c) * f));
}

}  // namespace

struct MusicFrameEngine::Fft {
    Fft() {
        in = fftwf_alloc_complex(kHistory);
        out = fftwf_alloc_complex(kHistory);
        std::lock_guard lock(PlannerMutex());
        plan = fftwf_plan_dft_1d(kHistory, in, out, FFTW_FORWARD, FFTW_ESTIMATE);
    }
    ~Fft() {
        {
            std::lock_guard lock(PlannerMutex());
            fftwf_destroy_plan(plan);
        }
        fftwf_free(in);
        fftwf_free(out);
    }
    fftwf_complex* in;
    fftwf_complex* out;
    fftwf_plan plan;
};

MusicFrameEngine::MusicFrameEngine() : fft_(new Fft) {
    const double n1 = kHistory - 1;
    for (int n = 0; n < kHistory; ++n) {
        const double x = 2.0 * kPi * n / n1;
        windows_[static_cast<std::size_t>(n)] = 1.0f;
        windows_[static_cast<std::size_t>(kHistory + n)] = static_cast<float>(0.5 - 0.5 * std::cos(x));
        windows_[static_cast<std::size_t>(2 * kHistory + n)] = static_cast<float>(0.54 - 0.46 * std::cos(x));
        windows_[static_cast<std::size_t>(3 * kHistory + n)] =
            static_cast<float>(0.42 - 0.5 * std::cos(x) + 0.08 * std::cos(2.0 * x));
        weights_[static_cast<std::size_t>(n)] = static_cast<float>(0.04 + 0.5 * n / 256.0);
    }
}

MusicFrameEngine::~MusicFrameEngine() { delete fft_; }

void MusicFrameEngine::Reset() {
    history_.fill(0.0f);
    historyPos_ = 0;
    levels_.fill(0.0f);
    display_.fill(0.0f);
    bands_.fill(0.0f);
    hue_ = 0.0;
    silentFrames_ = 0;
    framesWithoutSamples_ = 0;
    samplesSinceFrame_ = false;
    fadedOut_ = false;
}

void MusicFrameEngine::ClearHistory() {
    history_.fill(0.0f);
    historyPos_ = 0;
}

void MusicFrameEngine::AddPacket(const void* samples, std::size_t bytes, std::size_t frames) {
    if (!samples) return;
    const auto* p = static_cast<const std::uint8_t*>(samples);
    const std::size_t floats = std::min(frames, bytes / sizeof(float));
    const float gain = 2.0f * static_cast<float>(settings_.sensitivity);
    for (std::size_t g = 0; g + 4 <= floats; g += 4) {
        float four[4];
        std::memcpy(four, p + g * sizeof(float), sizeof four);
        float v = (four[0] + four[1] + four[2] + four[3]) / 4.0f * gain;
        if (!std::isfinite(v)) v = 0.0f;  // one bad sample would otherwise stay in 256 frames of FFTs
        history_[historyPos_] = v;
        historyPos_ = (historyPos_ + 1) % kHistory;
        samplesSinceFrame_ = true;
    }
}

void MusicFrameEngine::Smooth() {
    const int w = settings_.smoothingWidth;
    if (w <= 0) return;
    if (settings_.smoothingMode == 1) {
        // Prefix sums give each centred mean in constant time.
        std::array<double, kColumns + 1> sum{};
        for (int i = 0; i < kColumns; ++i) sum[static_cast<std::size_t>(i + 1)] = sum[static_cast<std::size_t>(i)] + levels_[static_cast<std::size_t>(i)];
        for (int i = 0; i < kColumns; ++i) {
            const int lo = std::max(0, i - w);
            const int hi = std::min(kColumns - 1, i + w);
            levels_[static_cast<std::size_t>(i)] = static_cast<float>(
                (sum[static_cast<std::size_t>(hi + 1)] - sum[static_cast<std::size_t>(lo)]) / (hi - lo + 1));
        }
    } else if (settings_.smoothingMode == 0) {
        for (int start = 0; start < kColumns; start += w) {
            const int end = std::min(kColumns, start + w);
            double s = 0.0;
            for (int i = start; i < end; ++i) s += levels_[static_cast<std::size_t>(i)];
            const float mean = static_cast<float>(s / (end - start));
            for (int i = start; i < end; ++i) levels_[static_cast<std::size_t>(i)] = mean;
        }
    }
}

void MusicFrameEngine::ComputeFrame(Colour* picture) {
    const MusicFrameSettings& s = settings_;

    // 1. Decay.
    const float keep = static_cast<float>(s.decay) / 100.0f;
    for (float& l : levels_) l *= keep;

    if (samplesSinceFrame_) {
        framesWithoutSamples_ = 0;
    } else if (++framesWithoutSamples_ == kStaleFrames) {
        ClearHistory();
    }
    samplesSinceFrame_ = false;

    // 3. Spectrum.
    const int wt = (s.windowType >= 1 && s.windowType <= 3) ? s.windowType : 0;
    const float* window = windows_.data() + wt * kHistory;
    for (int n = 0; n < kHistory; ++n) {
        const float x = history_[(historyPos_ + static_cast<std::size_t>(n)) % kHistory] * window[n];
        fft_->in[n][0] = x;
        fft_->in[n][1] = x;
    }
    fftwf_execute(fft_->plan);
    fftwf_complex* bins = fft_->out;
    bins[0][0] = bins[1][0];
    for (int k = 0; k < kHistory; ++k) {
        bins[k][0] *= weights_[static_cast<std::size_t>(k)];
        bins[k][1] *= weights_[static_cast<std::size_t>(k)];
    }

    // 4. Bands.
    for (int b = 0; b < kBands; ++b) {
        const float m = std::hypot(bins[b][0], bins[b][1]);
        float v = std::log10(1.1f * m) * 0.5f + 0.9f * m;
        v = std::min(v, 1.0f);
        bands_[static_cast<std::size_t>(b)] = v;
        for (int c = 4 * b; c < 4 * b + 4; ++c) {
            float& l = levels_[static_cast<std::size_t>(c)];
            if (v > l) l = v;
            if (l < 0.0f) l = 0.0f;
        }
    }

    // 5. Smoothing.
    Smooth();

    // 6. Display.
    for (int i = 0; i < kColumns; ++i)
        display_[static_cast<std::size_t>(i)] +=
            (levels_[static_cast<std::size_t>(i)] - display_[static_cast<std::size_t>(i)]) * s.followFactor;

    // 7. Hue and palettes.
    if (hue_ >= 360.0) hue_ = 0.0;
    if (hue_ < 0.0) hue_ = 360.0;
    bars_.Build(s.barType, 100, hue_);
    back_.Build(s.backType, s.backBrightness, hue_);

    // 8. Silence.
    bool sound = false;
    for (int i = 0; i < kColumns && !sound; i += 2) sound = display_[static_cast<std::size_t>(i)] >= 0.0001f;
    if (sound) {
        silentFrames_ = 0;
    } else if (silentFrames_ < 1'000'000) {
        ++silentFrames_;
    }

    // 9. Picture.
    const Colour* bar = bars_.Pixels();
    const Colour* back = back_.Pixels();
    const float meter = display_[5] - 0.05f;
    for (int a = 0; a < kColumns; ++a) {
        const float d = a <= 127 ? (127 - a) / 128.0f : (a - 128) / 128.0f;
        picture[a] = d < meter ? bar[a] : back[a];
    }
    for (int y = 1; y < kPictureHeight; ++y) {
        const float threshold = static_cast<float>(64 - y) / 64.0f;
        const int row = y * kPictureWidth;
        for (int a = 0; a < kColumns; ++a)
            picture[row + a] = threshold < display_[static_cast<std::size_t>(a)] ? bar[row + a] : back[row + a];
    }

    const int n = silentFrames_;
    if (s.fadeOut) {
        const float f = std::max(0, kSilenceLimit - n) / static_cast<float>(kSilenceLimit);
        if (f < 1.0f)
            for (int i = 0; i < kPicturePixels; ++i) picture[i] = Dim(picture[i], f);
        fadedOut_ = f <= 0.0f;
    } else if ((s.idleBackground || s.idleBars) && n > kSilenceLimit) {
        const float f = static_cast<float>(std::min(n, 360) - kSilenceLimit) / 240.0f;
        const Colour* layer = bar;
        if (!s.idleBars) {
            idleBack_.Build(s.backType, 100, hue_);
            layer = idleBack_.Pixels();
        }
        for (int i = 0; i < kPicturePixels; ++i) picture[i] = Blend(picture[i], layer[i], f);
    }

    // 10.
    hue_ += 5.0;
}

}  // namespace effects
