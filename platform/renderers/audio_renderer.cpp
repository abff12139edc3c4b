#include "platform/renderers/audio_renderer.h"

#include "platform/renderers/audio_gain.h"
#include "platform/renderers/audio_output.h"
#include "platform/renderers/renderer_interfaces.h"
#include "platform/graph/clock.h"
#include "platform/graph/media_guids.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

constexpr auto kPoll = std::chrono::milliseconds(10);

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
    const char* setting = std::getenv("KESTROVA_AUDIO");
    const bool tryPulse =
        mayUsePulse &&
        (choice_ == Output::Pulse || (choice_ == Output::Automatic && !(setting && std::strcmp(setting, "null") == 0)));
    output_ = tryPulse ? openPulseOutput(format_) : nullptr;
    pulse_ = output_ != nullptr;
    if (!output_)
        output_ = openNullOutput(format_);
    unplaced_ = true;
    output_->setPaused(state() != State_Running);
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
    return hr;
}

HRESULT AudioRenderer::Run(REFERENCE_TIME start)
{
    {
        std::lock_guard lock(outputLock_);
        if (output_)
            output_->setPaused(false);
    }
    return BaseRenderer::Run(start);
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
    return S_OK;
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

bool AudioRenderer::play(const BYTE* data, std::size_t size)
{
    static const std::vector<BYTE> silence(16384);
    while (size > 0) {
        if (aborted())
            return false;
        std::unique_lock lock(outputLock_);
        if (!output_)
            return false;
        if (!output_->healthy()) {
            // The server went away: the sound goes on, unheard, in time.
            openOutput(false);
        }
        if (state() != State_Running) {
            // Paused in the middle of a sample: the rest waits.
            lock.unlock();
            std::this_thread::sleep_for(kPoll);
            continue;
        }
        const std::size_t room = output_->writable();
        std::size_t count = std::min(size, room);
        if (!data)
            count = std::min(count, silence.size());
        count -= count % format_.nBlockAlign;
        if (count == 0) {
            output_->waitWritable(kPoll);
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
    {
        std::lock_guard lock(outputLock_);
        if (!output_)
            return;
        output_->drain();
    }
    // Completion means the last sound has been heard.
    for (;;) {
        if (aborted())
            return;
        {
            std::lock_guard lock(outputLock_);
            if (!output_ || output_->drained())
                return;
        }
        std::this_thread::sleep_for(kPoll);
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
    return steady_->GetTime(time);
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
