#include "media/filters/audio_notifier.h"

#include "media/filters/notify_messages.h"
#include "media/parsers/media_types.h"
#include "platform/graph/formats.h"
#include "platform/graph/media_guids.h"

QString DescribeAudio(const TframeData& audio, bool dvDevice)
{
    QString text = audio.audioFormatName;
    if (audio.sampleRate > 0)
        text += QStringLiteral(" %1Hz").arg(audio.sampleRate);
    if (audio.bitsPerSample > 0) {
        if (dvDevice && audio.sampleRate == 32000)
            text += QStringLiteral(" 12bits");
        else
            text += QStringLiteral(" %1bits ").arg(audio.bitsPerSample);
    } else if (audio.bitRate > 0) {
        text += QStringLiteral(" %1Kb/s").arg(audio.bitRate / 1000);
    }
    if (audio.channels == 1)
        text += QStringLiteral(" mono");
    else if (audio.channels == 2)
        text += QStringLiteral(" stereo");
    else
        text += QStringLiteral(" %1 channels").arg(audio.channels);
    return text;
}

TAudioNotifier::TAudioNotifier() : NotifierBase(classId, filterName)
{
    Reset();
}

TAudioNotifier::~TAudioNotifier() = default;

void TAudioNotifier::Reset()
{
    SetPassSamples(true);
    notifyAudioData_ = false;
    ResetCounters();
}

void TAudioNotifier::ResetCounters()
{
    ring_.reset();
}

void TAudioNotifier::SetNotifyAudioData(bool on)
{
    notifyAudioData_ = on;
    enable();
}

void TAudioNotifier::SetAudioFormatName(const QString& name)
{
    std::lock_guard lock(state_);
    audio_.audioFormatName = name;
    describe();
}

TframeData TAudioNotifier::GetAudioData() const
{
    std::lock_guard lock(state_);
    return audio_;
}

void TAudioNotifier::describe()
{
    audio_.audioText = DescribeAudio(audio_, dvDevice());
}

bool TAudioNotifier::readMediaType(const AM_MEDIA_TYPE& type)
{
    const auto* wave = type.formattype == FORMAT_WaveFormatEx ? type.formatAs<WAVEFORMATEX>() : nullptr;
    if (!wave)
        return false;
    audio_.audioFormatName = AudioFormatName(type);
    audio_.channels = wave->nChannels;
    audio_.sampleRate = static_cast<std::int32_t>(wave->nSamplesPerSec);
    audio_.bitsPerSample = wave->wBitsPerSample;
    audio_.bitRate = static_cast<std::int32_t>(
        std::min<std::uint64_t>(std::uint64_t(wave->nAvgBytesPerSec) * 8, std::numeric_limits<std::int32_t>::max()));
    describe();
    return notifyAudioData_;
}

void TAudioNotifier::report(const TframeData& audio)
{
    const HWND wnd = audioWindow_.load();
    if (!wnd)
        return;
    if (TframeData* slot = messages_.claim(releaseToken())) {
        *slot = audio;
        messages_.post(slot, wnd, WM_AUDIODATA, kAudioDataFormat, reinterpret_cast<LPARAM>(slot));
    }
}

HRESULT TAudioNotifier::SetMediaType(PIN_DIRECTION direction, const AM_MEDIA_TYPE* type)
{
    if (direction != PINDIR_INPUT)
        return S_OK;
    TframeData audio;
    bool changed;
    {
        std::lock_guard lock(state_);
        changed = readMediaType(*type);
        audio = audio_;
    }
    if (changed)
        report(audio);
    return S_OK;
}

HRESULT TAudioNotifier::StartStreaming()
{
    NotifierBase::StartStreaming();
    std::lock_guard lock(state_);
    firstSample_ = true;
    newSegment_ = false;
    return S_OK;
}

HRESULT TAudioNotifier::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    {
        std::lock_guard lock(state_);
        newSegment_ = true;
    }
    return NotifierBase::NewSegment(start, stop, rate);
}

HRESULT TAudioNotifier::Transform(IMediaSample* sample)
{
    if (!enabled())
        return S_OK;
    if (!passSamples())
        return S_FALSE;
    TframeData audio;
    bool changed = false;
    {
        std::lock_guard lock(state_);
        AM_MEDIA_TYPE* type = nullptr;
        if (sample->GetMediaType(&type) == S_OK) {
            changed = readMediaType(*type);
            DeleteMediaType(type);
        }
        changed = changed || (firstSample_ && notifyAudioData_);
        ring_.write(audio_, firstSample_ || newSegment_);
        firstSample_ = newSegment_ = false;
        if (changed)
            audio = audio_;
    }
    if (changed)
        report(audio);
    return S_OK;
}
