// Test sources for the engines: a loopback source fed with known packets and
// a screen source showing known images. The engines make their sources
// through factories on their own threads, so each fake is a handle on shared
// state the test keeps.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/audio_source.h"
#include "platform/screen_source.h"

namespace effects_test {

// Interleaved float frames of a sine of `amplitude` (1.0 = full scale).
std::vector<float> SineFrames(double hz, double amplitude, int rate, int channels, std::size_t frames,
                              double* phase);
std::vector<std::uint8_t> AsBytes(const std::vector<float>& samples);
std::vector<std::uint8_t> AsBytes(const std::vector<std::int16_t>& samples);

class FakeLoopback {
public:
    struct Packet {
        std::vector<std::uint8_t> bytes;
        std::size_t frames = 0;
        bool silent = false;
    };

    FakeLoopback();

    // A factory for the engines; every source it makes shares this state.
    std::function<std::unique_ptr<platform::LoopbackSource>()> Factory();

    void SetFormat(int rate, int channels);
    // Opens from now on fail (true) or succeed (false).
    void FailOpens(bool fail);
    void Push(Packet packet);
    // One packet of interleaved frames in the current channel count.
    void PushFloat(const std::vector<float>& interleaved);
    void PushInt16(const std::vector<std::int16_t>& interleaved, bool silent = false);
    // The open stream ends: NextPacket reports Lost once the queue is empty.
    void Lose();
    // What the watch of the default devices would report.
    void ChangeDefault(platform::DeviceFlow flow);

    int Opens() const;
    int Closes() const;
    int SourcesMade() const;
    bool IsOpen() const;
    std::size_t Waiting() const;
    platform::SampleType LastType() const;

private:
    struct State;
    class Source;
    std::shared_ptr<State> state_;
};

class FakeScreen {
public:
    FakeScreen(int width, int height);

    std::function<std::unique_ptr<platform::ScreenSource>()> Factory();

    // Pixels in the X11 layout (0x00RRGGBB in memory order).
    void Fill(std::uint32_t rgb);
    void FillRect(int x, int y, int w, int h, std::uint32_t rgb);
    void FailCaptures(bool fail);
    void FailCreation(bool fail);
    int Captures() const;
    int SourcesMade() const;
    int SourcesAlive() const;

private:
    struct State;
    class Source;
    std::shared_ptr<State> state_;
};

}  // namespace effects_test
