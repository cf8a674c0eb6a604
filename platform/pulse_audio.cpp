// PulseAudio loopback source. One threaded main loop per source carries the
// control connection (the format query and the default-device watch) and the
// record stream on the default output's monitor. The stream's data arrives on
// the main loop thread and is cut into fixed packets in a small ring, which
// the caller empties without ever waiting on the server.
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

#include "platform/audio_source.h"

namespace platform {

AudioFormat Pcm16Format(const AudioFormat& mix) {
    AudioFormat f;
    f.type = SampleType::Int16;
    f.channels = mix.channels;
    f.samplesPerSecond = mix.samplesPerSecond;
    f.bitsPerSample = 16;
    f.blockAlign = mix.channels * 2;
    f.avgBytesPerSecond = f.blockAlign * mix.samplesPerSecond;
    return f;
}

AudioFormat Float32Format(int rate, int channels) {
    AudioFormat f;
    f.type = SampleType::Float32;
    f.channels = channels;
    f.samplesPerSecond = rate;
    f.bitsPerSample = 32;
    f.blockAlign = channels * 4;
    f.avgBytesPerSecond = f.blockAlign * rate;
    return f;
}

namespace {

constexpr int kKeptMs = 200;

class PulseLoopbackSource final : public LoopbackSource {
public:
    PulseLoopbackSource(std::string name, int packetMs)
        : name_(std::move(name)), packetMs_(std::clamp(packetMs, 1, 1000)) {}
    ~PulseLoopbackSource() override { Disconnect(); }

    bool Open(SampleType type, AudioFormat* format) override;
    PacketStatus NextPacket(std::vector<std::uint8_t>* bytes, AudioPacket* packet) override;
    void Close() override;
    void WatchDefaults(std::function<void(DeviceFlow)> handler) override;

private:
    struct SinkQuery {
        pa_threaded_mainloop* loop = nullptr;
        bool found = false;
        pa_sample_spec sampleFormat{};
        pa_channel_map map{};
        std::string monitor;
    };

    bool Connect();
    void Disconnect();
    void CloseStreamLocked();
    void SubscribeLocked();
    bool WaitLocked(pa_operation* op);
    void Append(const std::uint8_t* data, std::size_t n);
    void MarkLost();

    static void OnContextState(pa_context* c, void* self);
    static void OnStreamState(pa_stream* s, void* self);
    static void OnStreamRead(pa_stream* s, std::size_t n, void* self);
    static void OnSubscribe(pa_context* c, pa_subscription_event_type_t t, std::uint32_t idx, void* self);
    static void OnServerInfo(pa_context* c, const pa_server_info* info, void* self);
    static void OnSinkInfo(pa_context* c, const pa_sink_info* info, int eol, void* query);

    const std::string name_;
    const int packetMs_;

    // Owned by the main loop (touched under its lock).
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    bool subscribed_ = false;
    bool haveDefaults_ = false;
    std::string defaultSink_;
    std::string defaultSource_;
    std::function<void(DeviceFlow)> handler_;

    // The packet ring, shared by the main loop thread and the caller.
    std::mutex ringMutex_;
    std::vector<std::vector<std::uint8_t>> slots_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    std::size_t fill_ = 0;  // bytes already in the slot being filled
    std::size_t packetBytes_ = 0;
    bool open_ = false;
    bool lost_ = false;
    AudioFormat format_;
};

bool PulseLoopbackSource::Connect() {
    if (loop_) {
        pa_threaded_mainloop_lock(loop_);
        const bool ready = context_ && pa_context_get_state(context_) == PA_CONTEXT_READY;
        pa_threaded_mainloop_unlock(loop_);
        if (ready) return true;
        Disconnect();  // a connection that failed is not reused
    }
    loop_ = pa_threaded_mainloop_new();
    if (!loop_) return false;
    if (pa_threaded_mainloop_start(loop_) < 0) {
        pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
        return false;
    }
    pa_threaded_mainloop_lock(loop_);
    bool ok = false;
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), name_.c_str());
    if (context_) {
        pa_context_set_state_callback(context_, OnContextState, this);
        // No autospawn: a sound server is the desktop's business, not ours.
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
            for (;;) {
                const pa_context_state_t st = pa_context_get_state(context_);
                if (st == PA_CONTEXT_READY) {
                    ok = true;
                    break;
                }
                if (!PA_CONTEXT_IS_GOOD(st)) break;
                pa_threaded_mainloop_wait(loop_);
            }
        }
    }
    if (ok && handler_) SubscribeLocked();
    pa_threaded_mainloop_unlock(loop_);
    if (!ok) Disconnect();
    return ok;
}

void PulseLoopbackSource::Disconnect() {
    if (!loop_) return;
    pa_threaded_mainloop_lock(loop_);
    CloseStreamLocked();
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_set_subscribe_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
    subscribed_ = false;
    haveDefaults_ = false;
    pa_threaded_mainloop_unlock(loop_);
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
}

bool PulseLoopbackSource::WaitLocked(pa_operation* op) {
    if (!op) return false;
    while (pa_operation_get_state(op) == PA_OPERATION_RUNNING) pa_threaded_mainloop_wait(loop_);
    const bool done = pa_operation_get_state(op) == PA_OPERATION_DONE;
    pa_operation_unref(op);
    return done;
}

bool PulseLoopbackSource::Open(SampleType type, AudioFormat* format) {
    Close();
    if (!Connect()) return false;

    pa_threaded_mainloop_lock(loop_);
    SinkQuery query;
    query.loop = loop_;
    // The monitor is taken from the same answer as the rate and channels, so
    // the format always belongs to the device actually captured.
    WaitLocked(pa_context_get_sink_info_by_name(context_, "@DEFAULT_SINK@", OnSinkInfo, &query));
    if (!query.found || query.monitor.empty() || !pa_sample_spec_valid(&query.sampleFormat)) {
        pa_threaded_mainloop_unlock(loop_);
        return false;
    }

    pa_sample_spec sampleFormat{};
    sampleFormat.format = type == SampleType::Int16 ? PA_SAMPLE_S16LE : PA_SAMPLE_FLOAT32LE;
    sampleFormat.rate = query.sampleFormat.rate;
    sampleFormat.channels = query.sampleFormat.channels;
    AudioFormat f;
    f.type = type;
    f.channels = sampleFormat.channels;
    f.samplesPerSecond = static_cast<int>(sampleFormat.rate);
    f.bitsPerSample = type == SampleType::Int16 ? 16 : 32;
    f.blockAlign = f.channels * f.bitsPerSample / 8;
    f.avgBytesPerSecond = f.blockAlign * f.samplesPerSecond;
    const std::size_t frames = std::max<std::size_t>(1, sampleFormat.rate * static_cast<unsigned>(packetMs_) / 1000);
    {
        std::lock_guard lock(ringMutex_);
        format_ = f;
        packetBytes_ = frames * static_cast<std::size_t>(f.blockAlign);
        const std::size_t n = static_cast<std::size_t>(std::max(2, kKeptMs / packetMs_));
        slots_.assign(n, std::vector<std::uint8_t>(packetBytes_));
        head_ = count_ = fill_ = 0;
        lost_ = false;
        open_ = false;
    }

    const pa_channel_map* map = pa_channel_map_compatible(&query.map, &sampleFormat) ? &query.map : nullptr;
    stream_ = pa_stream_new(context_, "loopback", &sampleFormat, map);
    bool ok = false;
    if (stream_) {
        pa_stream_set_state_callback(stream_, OnStreamState, this);
        pa_stream_set_read_callback(stream_, OnStreamRead, this);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.fragsize = static_cast<std::uint32_t>(packetBytes_);
        // DONT_MOVE: when the device goes, the stream ends (and the caller reopens
        // on the new default) instead of being moved to some other source.
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
        if (pa_stream_connect_record(stream_, query.monitor.c_str(), &attr, flags) >= 0) {
            for (;;) {
                const pa_stream_state_t st = pa_stream_get_state(stream_);
                if (st == PA_STREAM_READY) {
                    ok = true;
                    break;
                }
                if (!PA_STREAM_IS_GOOD(st)) break;
                pa_threaded_mainloop_wait(loop_);
            }
        }
    }
    if (ok) {
        std::lock_guard lock(ringMutex_);
        open_ = true;
    } else {
        CloseStreamLocked();
    }
    pa_threaded_mainloop_unlock(loop_);
    if (ok && format) *format = f;
    return ok;
}

void PulseLoopbackSource::CloseStreamLocked() {
    if (stream_) {
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }
    std::lock_guard lock(ringMutex_);
    open_ = false;
    head_ = count_ = fill_ = 0;
}

void PulseLoopbackSource::Close() {
    if (!loop_) return;
    pa_threaded_mainloop_lock(loop_);
    CloseStreamLocked();
    pa_threaded_mainloop_unlock(loop_);
}

PacketStatus PulseLoopbackSource::NextPacket(std::vector<std::uint8_t>* bytes, AudioPacket* packet) {
    std::lock_guard lock(ringMutex_);
    if (count_ > 0) {
        const std::vector<std::uint8_t>& slot = slots_[head_];
        bytes->resize(slot.size());
        std::memcpy(bytes->data(), slot.data(), slot.size());
        head_ = (head_ + 1) % slots_.size();
        --count_;
        packet->frames = slot.size() / static_cast<std::size_t>(format_.blockAlign);
        packet->silent = false;
        return PacketStatus::Ready;
    }
    if (!open_ || lost_) return PacketStatus::Lost;
    return PacketStatus::None;
}

void PulseLoopbackSource::Append(const std::uint8_t* data, std::size_t n) {
    std::lock_guard lock(ringMutex_);
    if (slots_.empty() || packetBytes_ == 0) return;
    const std::size_t slotCount = slots_.size();
    while (n > 0) {
        if (fill_ == 0 && count_ == slotCount) {
            // Nobody took the oldest packet in time: drop it, as a full device
            // buffer would.
            head_ = (head_ + 1) % slotCount;
            --count_;
        }
        std::vector<std::uint8_t>& slot = slots_[(head_ + count_) % slotCount];
        const std::size_t take = std::min(n, packetBytes_ - fill_);
        std::memcpy(slot.data() + fill_, data, take);
        fill_ += take;
        data += take;
        n -= take;
        if (fill_ == packetBytes_) {
            fill_ = 0;
            ++count_;
        }
    }
}

void PulseLoopbackSource::MarkLost() {
    std::lock_guard lock(ringMutex_);
    lost_ = true;
}

void PulseLoopbackSource::WatchDefaults(std::function<void(DeviceFlow)> handler) {
    if (loop_) {
        pa_threaded_mainloop_lock(loop_);
        handler_ = std::move(handler);
        if (context_ && pa_context_get_state(context_) == PA_CONTEXT_READY) SubscribeLocked();
        pa_threaded_mainloop_unlock(loop_);
        return;
    }
    handler_ = std::move(handler);
    Connect();  // subscribes when the server is there; Open tries again otherwise
}

void PulseLoopbackSource::SubscribeLocked() {
    if (subscribed_) return;
    pa_context_set_subscribe_callback(context_, OnSubscribe, this);
    if (pa_operation* op = pa_context_subscribe(context_, PA_SUBSCRIPTION_MASK_SERVER, nullptr, nullptr))
        pa_operation_unref(op);
    // The current defaults, so that the first change can be told from them.
    if (pa_operation* op = pa_context_get_server_info(context_, OnServerInfo, this)) pa_operation_unref(op);
    subscribed_ = true;
}

void PulseLoopbackSource::OnContextState(pa_context* c, void* self) {
    auto* s = static_cast<PulseLoopbackSource*>(self);
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(c))) s->MarkLost();
    pa_threaded_mainloop_signal(s->loop_, 0);
}

void PulseLoopbackSource::OnStreamState(pa_stream* st, void* self) {
    auto* s = static_cast<PulseLoopbackSource*>(self);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(st))) s->MarkLost();
    pa_threaded_mainloop_signal(s->loop_, 0);
}

void PulseLoopbackSource::OnStreamRead(pa_stream* st, std::size_t, void* self) {
    auto* s = static_cast<PulseLoopbackSource*>(self);
    for (;;) {
        const void* data = nullptr;
        std::size_t n = 0;
        if (pa_stream_peek(st, &data, &n) < 0 || n == 0) return;
        // A hole (no data, n > 0) is skipped: it carries no samples to show.
        if (data) s->Append(static_cast<const std::uint8_t*>(data), n);
        pa_stream_drop(st);
    }
}

void PulseLoopbackSource::OnSubscribe(pa_context* c, pa_subscription_event_type_t t, std::uint32_t, void* self) {
    if ((t & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SERVER) return;
    if (pa_operation* op = pa_context_get_server_info(c, OnServerInfo, self)) pa_operation_unref(op);
}

void PulseLoopbackSource::OnServerInfo(pa_context*, const pa_server_info* info, void* self) {
    auto* s = static_cast<PulseLoopbackSource*>(self);
    if (!info) return;
    const std::string sink = info->default_sink_name ? info->default_sink_name : "";
    const std::string source = info->default_source_name ? info->default_source_name : "";
    const bool first = !s->haveDefaults_;
    const bool sinkChanged = sink != s->defaultSink_;
    const bool sourceChanged = source != s->defaultSource_;
    s->defaultSink_ = sink;
    s->defaultSource_ = source;
    s->haveDefaults_ = true;
    if (first || !s->handler_) return;
    if (sinkChanged) s->handler_(DeviceFlow::Render);
    if (sourceChanged) s->handler_(DeviceFlow::Capture);
}

void PulseLoopbackSource::OnSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* query) {
    auto* q = static_cast<SinkQuery*>(query);
    if (info && !q->found) {
        q->found = true;
        q->sampleFormat = info->sample_spec;
        q->map = info->channel_map;
        if (info->monitor_source_name) q->monitor = info->monitor_source_name;
    }
    // The waiter reacquires the loop lock only once the operation is marked
    // done, so one signal at the end is enough.
    if (eol) pa_threaded_mainloop_signal(q->loop, 0);
}

}  // namespace

std::unique_ptr<LoopbackSource> MakePulseLoopbackSource(const std::string& clientName, int packetMs) {
    return std::make_unique<PulseLoopbackSource>(clientName, packetMs);
}

}  // namespace platform
