#include "platform/renderers/audio/audio_renderer.h"

#include "platform/graph/clock.h"
#include "platform/graph/media_guids.h"
#include "platform/renderers/audio/audio_gain.h"
#include "platform/renderers/audio/audio_output.h"
#include "platform/renderers/renderer_interfaces.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// How far the clock may run faster or slower than the steady clock while it
// catches up with the output's time: a twentieth.
constexpr REFERENCE_TIME kSlewDivisor = 20;
// Further apart than this, the clock takes the output's time as it is now
// instead of catching up (a server that stalled, a long underrun).
constexpr REFERENCE_TIME kResync = 2'000'000; // 200 ms

bool acceptable(const AM_MEDIA_TYPE& type)
{
    const auto* wfx = type.formatAs<WAVEFORMATEX>();
    return type.majortype == MEDIATYPE_Audio && type.subtype == MEDIASUBTYPE_PCM &&
           type.formattype == FORMAT_WaveFormatEx && wfx && wfx->wFormatTag == WAVE_FORMAT_PCM &&
           wfx->wBitsPerSample == 16 && (wfx->nChannels == 1 || wfx->nChannels == 2) &&
           wfx->nBlockAlign == wfx->nChannels * 2 && wfx->nSamplesPerSec >= 1000 && wfx->nSamplesPerSec <= 384000;
}

} // namespace

AudioRenderer::AudioRenderer(Output output)
    : WithInterfaces(CLSID_DSoundRender, u"Audio Renderer"), choice_(output), steady_(makeCom<SystemClock>())
{
}

AudioRenderer::AudioRenderer(OutputMaker open, ComPtr<IReferenceClock> steady)
    : WithInterfaces(CLSID_DSoundRender, u"Audio Renderer"), choice_(Output::Automatic), open_(std::move(open)),
      steady_(std::move(steady))
{
}

AudioRenderer::~AudioRenderer() = default;

HRESULT AudioRenderer::CheckMediaType(const AM_MEDIA_TYPE* type)
{
    return type && acceptable(*type) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT AudioRenderer::SetMediaType(const AM_MEDIA_TYPE* type)
{
    std::lock_guard lock(outputLock_);
    format_ = *type->formatAs<WAVEFORMATEX>();
    return S_OK;
}

void AudioRenderer::openOutput(bool mayUsePulse)
{
    if (output_)
        output_->interrupt();
    following_ = false;
    if (open_) {
        output_ = open_(format_);
        pulse_ = false;
    } else {
        const char* setting = std::getenv("KESTROVA_AUDIO");
        const bool tryPulse =
            mayUsePulse && (choice_ == Output::Pulse ||
                            (choice_ == Output::Automatic && !(setting && std::strcmp(setting, "null") == 0)));
        output_ = tryPulse ? openPulseOutput(format_) : nullptr;
        pulse_ = output_ != nullptr;
    }
    if (!output_)
        output_ = openNullOutput(format_);
    unplaced_ = true;
    output_->setPaused(state() != State_Running);
    following_ = state() == State_Running;
    anchorPlayed_ = -1;
}

void AudioRenderer::wakeStream()
{
    if (output_)
        output_->interrupt();
    following_ = false;
    stateChanged_.notify_all();
}

HRESULT AudioRenderer::OnStartStreaming()
{
    std::lock_guard lock(outputLock_);
    openOutput();
    return S_OK;
}

HRESULT AudioRenderer::OnStopStreaming()
{
    std::lock_guard lock(outputLock_);
    wakeStream();
    output_.reset();
    pulse_ = false;
    return S_OK;
}

HRESULT AudioRenderer::Pause()
{
    const HRESULT hr = BaseRenderer::Pause();
    std::lock_guard lock(outputLock_);
    if (output_)
        output_->setPaused(true);
    wakeStream();
    return hr;
}

HRESULT AudioRenderer::Run(REFERENCE_TIME start)
{
    const HRESULT hr = BaseRenderer::Run(start);
    std::lock_guard lock(outputLock_);
    if (output_)
        output_->setPaused(false);
    // The clock follows the output again once its time moves.
    following_ = true;
    anchorPlayed_ = -1;
    stateChanged_.notify_all();
    return hr;
}

HRESULT AudioRenderer::SetSyncSource(IReferenceClock* clock)
{
    std::lock_guard lock(clockLock_);
    syncClock_ = clock;
    return S_OK;
}

HRESULT AudioRenderer::GetSyncSource(IReferenceClock** clock)
{
    std::lock_guard lock(clockLock_);
    return copyOutOrNull<IReferenceClock>(syncClock_.get(), clock);
}

HRESULT AudioRenderer::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double rate)
{
    // After a seek, what the output holds belongs to the old position.
    std::lock_guard lock(outputLock_);
    if (output_)
        output_->flush();
    unplaced_ = true;
    rate_ = rate > 0 ? rate : 1.0;
    following_ = state() == State_Running;
    anchorPlayed_ = -1;
    return S_OK;
}

void AudioRenderer::OnBeginFlush()
{
    std::lock_guard lock(outputLock_);
    wakeStream();
}

bool AudioRenderer::aborted()
{
    return state() == State_Stopped || input()->isFlushing();
}

std::size_t AudioRenderer::bytesFor(REFERENCE_TIME duration) const
{
    const auto frames = static_cast<std::size_t>(duration * format_.nSamplesPerSec / 10'000'000);
    return frames * format_.nBlockAlign;
}

bool AudioRenderer::waitForRun(std::unique_lock<std::mutex>& lock)
{
    stateChanged_.wait(lock, [this] { return aborted() || state() == State_Running; });
    return !aborted() && output_;
}

bool AudioRenderer::play(const BYTE* data, std::size_t size)
{
    static const std::vector<BYTE> silence(16384);
    std::unique_lock lock(outputLock_);
    while (size > 0) {
        // Paused in the middle of a sample: the rest waits for the run.
        if (!waitForRun(lock))
            return false;
        if (!output_->healthy()) {
            // The server went away: the sound goes on, unheard, in time.
            openOutput(false);
        }
        const std::size_t room = output_->writable();
        std::size_t count = std::min(size, room);
        if (!data)
            count = std::min(count, silence.size());
        count -= count % format_.nBlockAlign;
        if (count == 0) {
            // The output may go while this thread waits for it: it holds it.
            const std::shared_ptr<AudioOutput> output = output_;
            lock.unlock();
            output->waitWritable();
            lock.lock();
            continue;
        }
        output_->write(data ? data : silence.data(), count);
        size -= count;
        if (data)
            data += count;
    }
    return true;
}

const BYTE* AudioRenderer::withGain(const BYTE* data, std::size_t size)
{
    ChannelGains gains;
    {
        std::lock_guard lock(settingsLock_);
        gains = gainsOf(volume_, balance_, muted_);
    }
    if (gains.unity())
        return data;
    scratch_.resize(size / 2);
    std::memcpy(scratch_.data(), data, size);
    applyGains(scratch_.data(), scratch_.size(), format_.nChannels, gains);
    return reinterpret_cast<const BYTE*>(scratch_.data());
}

HRESULT AudioRenderer::DoRenderSample(IMediaSample* sample)
{
    AM_MEDIA_TYPE* changed = nullptr;
    if (sample->GetMediaType(&changed) == S_OK) {
        std::lock_guard lock(outputLock_);
        format_ = *changed->formatAs<WAVEFORMATEX>(); // checked by the pin
        DeleteMediaType(changed);
        if (output_)
            openOutput();
    }
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data)
        return S_OK;
    std::size_t size = static_cast<std::size_t>(std::max<LONG>(sample->GetActualDataLength(), 0));
    size -= size % std::max<WORD>(format_.nBlockAlign, 1);

    // The first sound after the output opened or flushed is placed on the
    // clock: silence before it when early, its late part cut. The rest
    // follows on without gaps.
    bool place = false;
    double rate = 1.0;
    {
        std::lock_guard lock(outputLock_);
        std::swap(place, unplaced_);
        rate = rate_;
    }
    REFERENCE_TIME start = 0, stop = 0, now = 0;
    const bool timed = SUCCEEDED(sample->GetTime(&start, &stop));
    // At another rate the sound keeps the pace of the clock: each sample
    // lasts as long as its times say, cut short or followed by silence.
    std::size_t padding = 0;
    if (rate != 1.0 && timed && stop > start) {
        const std::size_t span = bytesFor(stop - start);
        padding = span > size ? span - size : 0;
        size = std::min(size, span);
    }
    ComPtr<IReferenceClock> clock;
    {
        std::lock_guard lock(clockLock_);
        clock = syncClock_;
    }
    if (place && clock && timed && SUCCEEDED(clock->GetTime(&now))) {
        const REFERENCE_TIME early = streamStart() + start - now;
        if (early > 0 && !play(nullptr, bytesFor(early)))
            return S_FALSE;
        const std::size_t late = early < 0 ? std::min(size, bytesFor(-early)) : 0;
        data += late;
        size -= late;
        if (size == 0) {
            // Wholly late: the next sound is placed instead.
            std::lock_guard lock(outputLock_);
            unplaced_ = true;
        }
    }
    return play(withGain(data, size), size) && play(nullptr, padding) ? S_OK : S_FALSE;
}

void AudioRenderer::OnEndOfStream()
{
    std::unique_lock lock(outputLock_);
    if (!output_)
        return;
    output_->drain();
    // What is left plays on the steady clock's time.
    following_ = false;
    // Completion means the last sound has been heard.
    while (waitForRun(lock) && !output_->drained()) {
        const std::shared_ptr<AudioOutput> output = output_;
        lock.unlock();
        output->waitDrained();
        lock.lock();
    }
}

// --- volume, clock -----------------------------------------------------------

HRESULT AudioRenderer::put_Volume(LONG volume)
{
    if (volume < 0 || volume > kFullVolume)
        return E_INVALIDARG;
    std::lock_guard lock(settingsLock_);
    volume_ = volume;
    return S_OK;
}

HRESULT AudioRenderer::get_Volume(LONG* volume)
{
    if (!volume)
        return E_POINTER;
    std::lock_guard lock(settingsLock_);
    *volume = volume_;
    return S_OK;
}

HRESULT AudioRenderer::put_Balance(LONG balance)
{
    if (balance < -kFullVolume || balance > kFullVolume)
        return E_INVALIDARG;
    std::lock_guard lock(settingsLock_);
    balance_ = balance;
    return S_OK;
}

HRESULT AudioRenderer::get_Balance(LONG* balance)
{
    if (!balance)
        return E_POINTER;
    std::lock_guard lock(settingsLock_);
    *balance = balance_;
    return S_OK;
}

void AudioRenderer::setMuted(bool muted)
{
    std::lock_guard lock(settingsLock_);
    muted_ = muted;
}

bool AudioRenderer::muted() const
{
    std::lock_guard lock(settingsLock_);
    return muted_;
}

HRESULT AudioRenderer::GetTime(REFERENCE_TIME* time)
{
    if (!time)
        return E_POINTER;
    REFERENCE_TIME steady = 0;
    const HRESULT hr = steady_->GetTime(&steady);
    if (FAILED(hr))
        return hr;
    std::lock_guard lock(outputLock_);
    if (!clockStarted_) {
        told_ = toldSteady_ = steady;
        clockStarted_ = true;
    }
    const REFERENCE_TIME elapsed = std::max<REFERENCE_TIME>(steady - toldSteady_, 0);
    toldSteady_ = steady;
    REFERENCE_TIME next = told_ + elapsed;
    if (following_ && output_ && output_->ownTime() && state() == State_Running) {
        const REFERENCE_TIME played = output_->played();
        if (anchorPlayed_ < 0 || played < anchorPlayed_) {
            // From here on the clock moves as the output plays.
            anchorTime_ = next;
            anchorPlayed_ = played;
        } else {
            // Where the output's own time puts the clock, reached smoothly.
            const REFERENCE_TIME error = anchorTime_ + (played - anchorPlayed_) - next;
            const REFERENCE_TIME slew = elapsed / kSlewDivisor;
            if (error > kResync || error < -kResync) {
                anchorTime_ = next;
                anchorPlayed_ = played;
            } else {
                next += std::clamp(error, -slew, slew);
            }
        }
    }
    told_ = std::max(told_, next);
    *time = told_;
    return S_OK;
}

bool AudioRenderer::playsThroughPulse() const
{
    std::lock_guard lock(outputLock_);
    return pulse_;
}

REFERENCE_TIME AudioRenderer::playedTime() const
{
    std::lock_guard lock(outputLock_);
    return output_ ? output_->played() : 0;
}

ComPtr<IBaseFilter> createAudioRenderer()
{
    return ComPtr<IBaseFilter>(makeCom<AudioRenderer>());
}
