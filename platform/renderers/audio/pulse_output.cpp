#include "platform/renderers/audio/audio_output.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <utility>

namespace {

// How long a server may take to answer before the null sink is used.
constexpr int kConnectTimeoutUs = 2'000'000;

class PulseOutput final : public AudioOutput
{
public:
    ~PulseOutput() override
    {
        if (mainloop_)
            pa_threaded_mainloop_stop(mainloop_);
        if (stream_) {
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
        }
        if (context_) {
            pa_context_disconnect(context_);
            pa_context_unref(context_);
        }
        if (mainloop_)
            pa_threaded_mainloop_free(mainloop_);
    }

    bool open(const WAVEFORMATEX& format)
    {
        const pa_sample_spec spec{PA_SAMPLE_S16LE, format.nSamplesPerSec, static_cast<uint8_t>(format.nChannels)};
        if (!pa_sample_spec_valid(&spec) || !(mainloop_ = pa_threaded_mainloop_new()))
            return false;
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(mainloop_);
        if (!(context_ = pa_context_new(api, "Kestrova")))
            return false;
        pa_context_set_state_callback(context_, &PulseOutput::onContextState, this);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
            pa_threaded_mainloop_start(mainloop_) < 0)
            return false;

        Locked lock(mainloop_);
        if (!waitFor([this] { return contextSettled(); }) || pa_context_get_state(context_) != PA_CONTEXT_READY)
            return false;
        if (!(stream_ = pa_stream_new(context_, "Playback", &spec, nullptr)))
            return false;
        pa_stream_set_state_callback(stream_, &PulseOutput::onStreamState, this);
        pa_stream_set_write_callback(stream_, &PulseOutput::onWritable, this);
        const auto bytes = [&](std::chrono::milliseconds ms) {
            return static_cast<uint32_t>(pa_usec_to_bytes(std::chrono::microseconds(ms).count(), &spec));
        };
        // A short start threshold, so that a short sound plays without a drain.
        const pa_buffer_attr attributes{static_cast<uint32_t>(-1), bytes(kAudioBuffer),
                                        bytes(std::chrono::milliseconds(20)), static_cast<uint32_t>(-1),
                                        static_cast<uint32_t>(-1)};
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
                                                          PA_STREAM_ADJUST_LATENCY);
        if (pa_stream_connect_playback(stream_, nullptr, &attributes, flags, nullptr, nullptr) < 0)
            return false;
        return waitFor([this] { return streamSettled(); }) && pa_stream_get_state(stream_) == PA_STREAM_READY;
    }

    std::size_t writable() override
    {
        Locked lock(mainloop_);
        return room();
    }

    void write(const BYTE* data, std::size_t size) override
    {
        Locked lock(mainloop_);
        pa_stream_write(stream_, data, size, nullptr, 0, PA_SEEK_RELATIVE);
    }

    // The server's requests and the drain's end wake these waits; a wait
    // whose wake-up never comes still ends once the sound written has had
    // time to play, and the caller looks again.
    void waitWritable() override
    {
        Locked lock(mainloop_);
        if (!std::exchange(interrupted_, false) && room() == 0 && streamGood())
            waitAtMost(pendingTime());
        interrupted_ = false;
    }

    void waitDrained() override
    {
        Locked lock(mainloop_);
        if (!std::exchange(interrupted_, false) && !drained_ && streamGood())
            waitAtMost(pendingTime());
        interrupted_ = false;
    }

    void interrupt() override
    {
        Locked lock(mainloop_);
        interrupted_ = true;
        pa_threaded_mainloop_signal(mainloop_, 0);
    }

    REFERENCE_TIME played() override
    {
        Locked lock(mainloop_);
        pa_usec_t time = 0;
        return pa_stream_get_time(stream_, &time) == 0 ? static_cast<REFERENCE_TIME>(time) * 10 : 0;
    }

    void setPaused(bool paused) override
    {
        run([&] { return pa_stream_cork(stream_, paused ? 1 : 0, nullptr, nullptr); });
    }
    void flush() override
    {
        run([&] { return pa_stream_flush(stream_, nullptr, nullptr); });
    }
    void drain() override
    {
        Locked lock(mainloop_);
        pa_operation* operation = pa_stream_drain(stream_, &PulseOutput::onDrained, this);
        // A drain the server refused would never report its end.
        drained_ = !operation;
        if (operation)
            pa_operation_unref(operation);
    }
    // Also true once the stream broke: nothing more will be heard.
    bool drained() override
    {
        Locked lock(mainloop_);
        return drained_ || !streamGood();
    }

    bool healthy() override
    {
        Locked lock(mainloop_);
        return pa_stream_get_state(stream_) == PA_STREAM_READY;
    }

private:
    class Locked
    {
    public:
        explicit Locked(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
        ~Locked() { pa_threaded_mainloop_unlock(loop_); }
        Locked(const Locked&) = delete;
        Locked& operator=(const Locked&) = delete;

    private:
        pa_threaded_mainloop* loop_;
    };

    // With the main loop locked: waits for `settled`, up to the timeout,
    // woken by the state callbacks or a timer of the loop's own.
    template <typename Settled> bool waitFor(Settled settled)
    {
        timedOut_ = false;
        pa_time_event* timer =
            pa_context_rttime_new(context_, pa_rtclock_now() + kConnectTimeoutUs, &PulseOutput::onTimeout, this);
        while (!settled() && !timedOut_)
            pa_threaded_mainloop_wait(mainloop_);
        if (timer)
            pa_threaded_mainloop_get_api(mainloop_)->time_free(timer);
        return settled();
    }

    // With the main loop locked: one wait of the loop, woken by a callback,
    // an interrupt or, after `limit`, a timer of the loop's own.
    void waitAtMost(pa_usec_t limit)
    {
        pa_time_event* timer =
            pa_context_rttime_new(context_, pa_rtclock_now() + limit, &PulseOutput::onWaitOver, this);
        pa_threaded_mainloop_wait(mainloop_);
        if (timer)
            pa_threaded_mainloop_get_api(mainloop_)->time_free(timer);
    }

    // With the main loop locked: how long the sound written and not yet
    // heard takes to play (the buffer's length when the server has not said
    // yet). At least 10 ms: what the sink itself still holds is not counted,
    // and the drain's end may come that much later.
    pa_usec_t pendingTime()
    {
        pa_usec_t latency = 0;
        int negative = 0;
        if (pa_stream_get_latency(stream_, &latency, &negative) != 0)
            latency = std::chrono::microseconds(kAudioBuffer).count();
        else if (negative)
            latency = 0;
        return std::max<pa_usec_t>(latency, 10'000);
    }

    // With the main loop locked.
    std::size_t room()
    {
        const std::size_t size = pa_stream_writable_size(stream_);
        return size == static_cast<std::size_t>(-1) ? 0 : size;
    }
    bool streamGood() { return PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)); }

    bool contextSettled()
    {
        const pa_context_state_t state = pa_context_get_state(context_);
        return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
    }
    bool streamSettled()
    {
        const pa_stream_state_t state = pa_stream_get_state(stream_);
        return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
    }

    // Starts an operation with the main loop locked; nobody waits for it.
    template <typename Start> void run(Start start)
    {
        Locked lock(mainloop_);
        if (pa_operation* operation = start())
            pa_operation_unref(operation);
    }

    // The callbacks run on the loop's thread with the loop locked.
    void wake() { pa_threaded_mainloop_signal(mainloop_, 0); }

    static void onContextState(pa_context*, void* self) { static_cast<PulseOutput*>(self)->wake(); }
    static void onStreamState(pa_stream*, void* self) { static_cast<PulseOutput*>(self)->wake(); }
    static void onWritable(pa_stream*, size_t, void* self) { static_cast<PulseOutput*>(self)->wake(); }
    static void onDrained(pa_stream*, int, void* self)
    {
        auto* output = static_cast<PulseOutput*>(self);
        output->drained_ = true;
        output->wake();
    }
    static void onWaitOver(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self)
    {
        static_cast<PulseOutput*>(self)->wake();
    }
    static void onTimeout(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self)
    {
        auto* output = static_cast<PulseOutput*>(self);
        output->timedOut_ = true;
        output->wake();
    }

    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    // Guarded by the loop's lock.
    bool interrupted_ = false;
    bool drained_ = false;
    bool timedOut_ = false;
};

} // namespace

std::unique_ptr<AudioOutput> openPulseOutput(const WAVEFORMATEX& format)
{
    auto output = std::make_unique<PulseOutput>();
    return output->open(format) ? std::move(output) : nullptr;
}
