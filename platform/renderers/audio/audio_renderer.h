#pragma once
// The audio renderer: plays 16-bit PCM (one or two channels) through
// PulseAudio, or through the null sink when no server answers or
// KESTROVA_AUDIO=null. It is the graph's reference clock when present. The
// first sound after a start or a seek is placed on that clock (silence
// before it, or its late part cut); the rest follows on. While the sound
// plays, the clock keeps the pace of what the output has played, so that
// pictures stay with the sound over any length of file; otherwise (paused,
// between sounds, on the null sink) it runs on the steady clock. It moves
// smoothly and never backwards. At a playback rate other than 1 each sample
// is cut or padded with silence to the time it covers on the clock. Volume
// (0 silent to 10000 full, a linear gain) and balance through IBasicAudio;
// muting keeps the volume.
//
// Threads: the interfaces on the GUI thread, the clock on any; samples on
// the streaming thread, which writes as the output makes room and waits for
// room, for the run and for the drain without holding the output's lock.

#include "platform/graph/formats.h"
#include "platform/graph/renderer.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class AudioOutput;

class AudioRenderer final : public WithInterfaces<BaseRenderer, IBasicAudio, IReferenceClock>
{
public:
    enum class Output {
        Automatic, // the null sink when KESTROVA_AUDIO=null, else PulseAudio when a server answers
        Null,
        Pulse, // PulseAudio, else the null sink
    };

    explicit AudioRenderer(Output output = Output::Automatic);
    // Plays through outputs that `open` makes, with `steady` as the steady
    // clock (a test's own time).
    using OutputMaker = std::function<std::unique_ptr<AudioOutput>(const WAVEFORMATEX&)>;
    AudioRenderer(OutputMaker open, ComPtr<IReferenceClock> steady);

    // BaseRenderer
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT DoRenderSample(IMediaSample* sample) override;
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
    void OnBeginFlush() override;
    HRESULT OnStartStreaming() override;
    HRESULT OnStopStreaming() override;
    void OnEndOfStream() override;

    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME start) override;
    // The clock paces this renderer's own writes; samples are not held
    // until their time as pictures are.
    HRESULT SetSyncSource(IReferenceClock* clock) override;
    HRESULT GetSyncSource(IReferenceClock** clock) override;

    // IBasicAudio: volume 0..10000, balance -10000 (left only)..10000.
    HRESULT put_Volume(LONG volume) override;
    HRESULT get_Volume(LONG* volume) override;
    HRESULT put_Balance(LONG balance) override;
    HRESULT get_Balance(LONG* balance) override;

    // IReferenceClock
    HRESULT GetTime(REFERENCE_TIME* time) override;

    void setMuted(bool muted);
    bool muted() const;
    // True while the sound goes to a PulseAudio server.
    bool playsThroughPulse() const;
    // What the output has played since streaming started, 100-ns units.
    REFERENCE_TIME playedTime() const;

private:
    ~AudioRenderer() override;

    // Writes `size` bytes (silence when `data` is null) as the output makes
    // room; false when the stream stopped or flushed first.
    bool play(const BYTE* data, std::size_t size);
    bool aborted();
    // With outputLock_ held: waits until running; false when the stream
    // stopped or flushed first.
    bool waitForRun(std::unique_lock<std::mutex>& lock);
    // With outputLock_ held: releases the streaming thread from any wait,
    // and the clock leaves the output's time until it plays again.
    void wakeStream();
    // Applies volume, balance and mute into scratch_.
    const BYTE* withGain(const BYTE* data, std::size_t size);
    std::size_t bytesFor(REFERENCE_TIME duration) const;
    // Opens the chosen output (the null sink when PulseAudio may not be
    // used or does not answer), paused unless running.
    void openOutput(bool mayUsePulse = true);

    const Output choice_;
    const OutputMaker open_;
    const ComPtr<IReferenceClock> steady_;

    // The output and its format; the streaming thread holds the lock only
    // for single calls and leaves it to wait, so the GUI thread can pause
    // and stop at any time.
    mutable std::mutex outputLock_;
    std::condition_variable stateChanged_;
    std::shared_ptr<AudioOutput> output_;
    bool pulse_ = false;
    // The next sound is placed on the clock.
    bool unplaced_ = true;
    // The segment's playback rate.
    double rate_ = 1.0;
    WAVEFORMATEX format_{};

    mutable std::mutex settingsLock_;
    LONG volume_ = 10000;
    LONG balance_ = 0;
    bool muted_ = false;

    std::mutex clockLock_;
    ComPtr<IReferenceClock> syncClock_;

    // The clock, guarded by outputLock_: the time last told and the steady
    // time it was told at. While `following_`, it keeps to the output's
    // played time counted from `anchorPlayed_`, which showed `anchorTime_`.
    REFERENCE_TIME told_ = 0;
    REFERENCE_TIME toldSteady_ = 0;
    bool clockStarted_ = false;
    bool following_ = false;
    REFERENCE_TIME anchorTime_ = 0;
    REFERENCE_TIME anchorPlayed_ = -1;

    std::vector<std::int16_t> scratch_;
};

ComPtr<IBaseFilter> createAudioRenderer();
