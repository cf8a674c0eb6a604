// Loopback capture of what the computer plays (the default output's monitor).
// The source collects fixed-size packets on a thread of its own; callers take
// them without blocking, so each engine polls at its own pace and a poll that
// finds nothing is an ordinary outcome rather than a wait.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum class SampleType { Int16, Float32 };

// What a capture stream delivers; the fields follow a wave format header.
struct AudioFormat {
    SampleType type = SampleType::Int16;
    int channels = 0;
    int samplesPerSecond = 0;
    int bitsPerSample = 0;
    int blockAlign = 0;  // bytes per frame: channels x bytes per sample
    int avgBytesPerSecond = 0;
};

// The 16-bit integer format with the rate and channel count of `mix`.
AudioFormat Pcm16Format(const AudioFormat& mix);
// 32-bit float samples at `rate` with `channels`.
AudioFormat Float32Format(int rate, int channels);

enum class DeviceFlow {
    Render,   // the default output changed
    Capture,  // the default input changed
};

struct AudioPacket {
    std::size_t frames = 0;
    bool silent = false;  // the bytes are to be read as zeros
};

enum class PacketStatus {
    Ready,  // one packet was copied out
    None,   // nothing waiting
    Lost,   // the stream is gone (device removed, server ended); reopen to go on
};

class LoopbackSource {
public:
    virtual ~LoopbackSource() = default;

    // Captures the default output with `type` samples at the output's own rate
    // and channel count. Closes a stream opened before. False on any failure.
    virtual bool Open(SampleType type, AudioFormat* format) = 0;
    // Copies the oldest waiting packet into `bytes` (resized to frames x block
    // alignment; its capacity is reused, so a steady stream does not allocate).
    virtual PacketStatus NextPacket(std::vector<std::uint8_t>* bytes, AudioPacket* packet) = 0;
    virtual void Close() = 0;
    // `handler` runs on a thread of the source whenever the default output or
    // input changes, until the source is destroyed. It must return quickly and
    // must not call back into the source.
    virtual void WatchDefaults(std::function<void(DeviceFlow)> handler) = 0;
};

// The PulseAudio source (also served by PipeWire's PulseAudio server). Packets
// are `packetMs` long; about 200 ms of them are kept, older ones are dropped.
// It never starts a sound server.
std::unique_ptr<LoopbackSource> MakePulseLoopbackSource(const std::string& clientName, int packetMs = 10);

}  // namespace platform
