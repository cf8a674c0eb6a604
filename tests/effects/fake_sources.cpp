#include "fake_sources.h"

#include <cmath>
#include <cstring>

namespace effects_test {

std::vector<float> SineFrames(double hz, double amplitude, int rate, int channels, std::size_t frames,
                              double* phase) {
    std::vector<float> out(frames * static_cast<std::size_t>(channels));
    const double step = 2.0 * 3.14159265358979323846 * hz / rate;
    for (std::size_t f = 0; f < frames; ++f) {
        const float v = static_cast<float>(amplitude * std::sin(*phase));
        *phase += step;
        for (int c = 0; c < channels; ++c) out[f * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] = v;
    }
    return out;
}

std::vector<std::uint8_t> AsBytes(const std::vector<float>& samples) {
    std::vector<std::uint8_t> b(samples.size() * sizeof(float));
    std::memcpy(b.data(), samples.data(), b.size());
    return b;
}

std::vector<std::uint8_t> AsBytes(const std::vector<std::int16_t>& samples) {
    std::vector<std::uint8_t> b(samples.size() * sizeof(std::int16_t));
    std::memcpy(b.data(), samples.data(), b.size());
    return b;
}

// ---------------------------------------------------------------- loopback

struct FakeLoopback::State {
    mutable std::mutex m;
    std::deque<Packet> queue;
    int rate = 48000;
    int channels = 2;
    bool failOpens = false;
    bool open = false;
    bool lost = false;
    int opens = 0;
    int closes = 0;
    int made = 0;
    platform::SampleType type = platform::SampleType::Int16;
    std::function<void(platform::DeviceFlow)> handler;
};

class FakeLoopback::Source final : public platform::LoopbackSource {
public:
    explicit Source(std::shared_ptr<State> s) : s_(std::move(s)) {}
    ~Source() override {
        std::lock_guard lock(s_->m);
        s_->handler = nullptr;
        s_->open = false;
    }
    bool Open(platform::SampleType type, platform::AudioFormat* format) override {
        std::lock_guard lock(s_->m);
        if (s_->open) ++s_->closes;
        s_->open = false;
        if (s_->failOpens) return false;
        ++s_->opens;
        s_->open = true;
        s_->lost = false;
        s_->type = type;
        *format = type == platform::SampleType::Float32
                      ? platform::Float32Format(s_->rate, s_->channels)
                      : platform::Pcm16Format(platform::Float32Format(s_->rate, s_->channels));
        return true;
    }
    platform::PacketStatus NextPacket(std::vector<std::uint8_t>* bytes, platform::AudioPacket* packet) override {
        std::lock_guard lock(s_->m);
        if (!s_->queue.empty()) {
            Packet& p = s_->queue.front();
            bytes->assign(p.bytes.begin(), p.bytes.end());
            packet->frames = p.frames;
            packet->silent = p.silent;
            s_->queue.pop_front();
            return platform::PacketStatus::Ready;
        }
        if (!s_->open || s_->lost) return platform::PacketStatus::Lost;
        return platform::PacketStatus::None;
    }
    void Close() override {
        std::lock_guard lock(s_->m);
        if (s_->open) ++s_->closes;
        s_->open = false;
    }
    void WatchDefaults(std::function<void(platform::DeviceFlow)> handler) override {
        std::lock_guard lock(s_->m);
        s_->handler = std::move(handler);
    }

private:
    std::shared_ptr<State> s_;
};

FakeLoopback::FakeLoopback() : state_(std::make_shared<State>()) {}

std::function<std::unique_ptr<platform::LoopbackSource>()> FakeLoopback::Factory() {
    auto s = state_;
    return [s]() -> std::unique_ptr<platform::LoopbackSource> {
        {
            std::lock_guard lock(s->m);
            ++s->made;
        }
        return std::make_unique<Source>(s);
    };
}

void FakeLoopback::SetFormat(int rate, int channels) {
    std::lock_guard lock(state_->m);
    state_->rate = rate;
    state_->channels = channels;
}

void FakeLoopback::FailOpens(bool fail) {
    std::lock_guard lock(state_->m);
    state_->failOpens = fail;
}

void FakeLoopback::Push(Packet packet) {
    std::lock_guard lock(state_->m);
    state_->queue.push_back(std::move(packet));
}

void FakeLoopback::PushFloat(const std::vector<float>& interleaved) {
    std::size_t channels;
    {
        std::lock_guard lock(state_->m);
        channels = static_cast<std::size_t>(state_->channels);
    }
    Push({AsBytes(interleaved), interleaved.size() / channels, false});
}

void FakeLoopback::PushInt16(const std::vector<std::int16_t>& interleaved, bool silent) {
    std::size_t channels;
    {
        std::lock_guard lock(state_->m);
        channels = static_cast<std::size_t>(state_->channels);
    }
    Push({AsBytes(interleaved), interleaved.size() / channels, silent});
}

void FakeLoopback::Lose() {
    std::lock_guard lock(state_->m);
    state_->lost = true;
}

void FakeLoopback::ChangeDefault(platform::DeviceFlow flow) {
    std::function<void(platform::DeviceFlow)> handler;
    {
        std::lock_guard lock(state_->m);
        handler = state_->handler;
    }
    if (handler) handler(flow);
}

int FakeLoopback::Opens() const {
    std::lock_guard lock(state_->m);
    return state_->opens;
}
int FakeLoopback::Closes() const {
    std::lock_guard lock(state_->m);
    return state_->closes;
}
int FakeLoopback::SourcesMade() const {
    std::lock_guard lock(state_->m);
    return state_->made;
}
bool FakeLoopback::IsOpen() const {
    std::lock_guard lock(state_->m);
    return state_->open;
}
std::size_t FakeLoopback::Waiting() const {
    std::lock_guard lock(state_->m);
    return state_->queue.size();
}
platform::SampleType FakeLoopback::LastType() const {
    std::lock_guard lock(state_->m);
    return state_->type;
}

// ------------------------------------------------------------------ screen

struct FakeScreen::State {
    mutable std::mutex m;
    int width;
    int height;
    std::vector<std::uint32_t> pixels;
    bool failCaptures = false;
    bool failCreation = false;
    int captures = 0;
    int made = 0;
    int alive = 0;
};

class FakeScreen::Source final : public platform::ScreenSource {
public:
    explicit Source(std::shared_ptr<State> s) : s_(std::move(s)) {}
    ~Source() override {
        std::lock_guard lock(s_->m);
        --s_->alive;
    }
    bool Capture(platform::ScreenImage* image) override {
        std::lock_guard lock(s_->m);
        if (s_->failCaptures) return false;
        ++s_->captures;
        copy_ = s_->pixels;
        image->data = reinterpret_cast<const std::uint8_t*>(copy_.data());
        image->width = s_->width;
        image->height = s_->height;
        image->stride = s_->width * 4;
        image->redMask = 0x00FF0000;
        image->greenMask = 0x0000FF00;
        image->blueMask = 0x000000FF;
        image->msbFirst = false;
        return true;
    }

private:
    std::shared_ptr<State> s_;
    std::vector<std::uint32_t> copy_;
};

FakeScreen::FakeScreen(int width, int height) : state_(std::make_shared<State>()) {
    state_->width = width;
    state_->height = height;
    state_->pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
}

std::function<std::unique_ptr<platform::ScreenSource>()> FakeScreen::Factory() {
    auto s = state_;
    return [s]() -> std::unique_ptr<platform::ScreenSource> {
        std::lock_guard lock(s->m);
        if (s->failCreation) return nullptr;
        ++s->made;
        ++s->alive;
        return std::make_unique<Source>(s);
    };
}

void FakeScreen::Fill(std::uint32_t rgb) {
    std::lock_guard lock(state_->m);
    std::fill(state_->pixels.begin(), state_->pixels.end(), rgb);
}

void FakeScreen::FillRect(int x, int y, int w, int h, std::uint32_t rgb) {
    std::lock_guard lock(state_->m);
    for (int yy = y; yy < y + h && yy < state_->height; ++yy)
        for (int xx = x; xx < x + w && xx < state_->width; ++xx)
            state_->pixels[static_cast<std::size_t>(yy * state_->width + xx)] = rgb;
}

void FakeScreen::FailCaptures(bool fail) {
    std::lock_guard lock(state_->m);
    state_->failCaptures = fail;
}
void FakeScreen::FailCreation(bool fail) {
    std::lock_guard lock(state_->m);
    state_->failCreation = fail;
}
int FakeScreen::Captures() const {
    std::lock_guard lock(state_->m);
    return state_->captures;
}
int FakeScreen::SourcesMade() const {
    std::lock_guard lock(state_->m);
    return state_->made;
}
int FakeScreen::SourcesAlive() const {
    std::lock_guard lock(state_->m);
    return state_->alive;
}

}  // namespace effects_test
