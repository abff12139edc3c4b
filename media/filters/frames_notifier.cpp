#include "media/filters/frames_notifier.h"

#include "media/filters/notify_messages.h"
#include "media/parsers/media_types.h"
#include "platform/win/messages.h"

namespace {

constexpr REFERENCE_TIME kDefaultFrameDuration = 100'000;

LPARAM low32(REFERENCE_TIME value)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

} // namespace

TFramesNotifier::TFramesNotifier() : NotifierBase(classId, filterName) {}

TFramesNotifier::~TFramesNotifier() = default;

void TFramesNotifier::SetTarget(int i, REFERENCE_TIME position)
{
    if (i < 0 || i >= kTargets)
        return;
    targets_[static_cast<std::size_t>(i)].position.store(position);
    targets_[static_cast<std::size_t>(i)].armed.store(true);
}

void TFramesNotifier::SetTargetWindow(int i, HWND wnd)
{
    if (i >= 0 && i < kTargets)
        targets_[static_cast<std::size_t>(i)].window.store(wnd);
}

bool TFramesNotifier::targetArmed(int i) const
{
    return i >= 0 && i < kTargets && targets_[static_cast<std::size_t>(i)].armed.load();
}

REFERENCE_TIME TFramesNotifier::targetPosition(int i) const
{
    return i >= 0 && i < kTargets ? targets_[static_cast<std::size_t>(i)].position.load() : 0;
}

void TFramesNotifier::SetTargetText(const QString& text)
{
    std::lock_guard lock(lock_);
    targetText_ = text;
}

QString TFramesNotifier::targetText() const
{
    std::lock_guard lock(lock_);
    return targetText_;
}

TVideoData TFramesNotifier::GetVideoData() const
{
    std::lock_guard lock(lock_);
    return video_;
}

void TFramesNotifier::SetFrameDataLink(TVideoNotifier* notifier)
{
    std::lock_guard lock(lock_);
    links_.frameData = ComPtr<TVideoNotifier>(notifier);
}

void TFramesNotifier::SetVideoDataLink(TVideoNotifier* notifier)
{
    std::lock_guard lock(lock_);
    links_.videoData = ComPtr<TVideoNotifier>(notifier);
}

void TFramesNotifier::SetAudioLink(TAudioNotifier* notifier)
{
    std::lock_guard lock(lock_);
    links_.audio = ComPtr<TAudioNotifier>(notifier);
}

TFramesNotifier::Links TFramesNotifier::links() const
{
    std::lock_guard lock(lock_);
    return links_;
}

// --- connection and streaming ------------------------------------------------

HRESULT TFramesNotifier::CheckInputType(const AM_MEDIA_TYPE* typeIn)
{
    return typeIn ? S_OK : E_POINTER;
}

void TFramesNotifier::readMediaType(const AM_MEDIA_TYPE& type)
{
    REFERENCE_TIME duration;
    {
        std::lock_guard lock(lock_);
        video_ = ::GetVideoData(type);
        if (video_.frameDuration == 0)
            video_.frameDuration = kDefaultFrameDuration;
        duration = video_.frameDuration;
    }
    frameDuration_.store(duration);
    SendMessage(frameWindow_.load(), WM_FRAMEDURATION, static_cast<WPARAM>(static_cast<std::uint32_t>(duration)), 0,
                releaseToken());
}

HRESULT TFramesNotifier::SetMediaType(PIN_DIRECTION direction, const AM_MEDIA_TYPE* type)
{
    if (direction == PINDIR_INPUT)
        readMediaType(*type);
    return S_OK;
}

HRESULT TFramesNotifier::StartStreaming()
{
    NotifierBase::StartStreaming();
    firstSample_ = true;
    resync_ = false;
    lastText_.clear();
    return S_OK;
}

HRESULT TFramesNotifier::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    resync_ = true;
    segmentStart_ = start;
    if (start == 0)
        firstSample_ = true;
    return NotifierBase::NewSegment(start, stop, rate);
}

HRESULT TFramesNotifier::Stop()
{
    const HRESULT hr = NotifierBase::Stop();
    for (Target& target : targets_)
        target.armed.store(false);
    return hr;
}

REFERENCE_TIME TFramesNotifier::snap(REFERENCE_TIME start, REFERENCE_TIME frame) const
{
    const REFERENCE_TIME raw = start + segmentStart_ - firstStart_;
    REFERENCE_TIME position = raw / frame * frame;
    if (position > raw) // division truncates toward zero
        position -= frame;
    if (2 * (raw - position) > frame)
        position += frame;
    return position;
}

int TFramesNotifier::nextSlot(int current, int firstAfterSeek, bool resync) const
{
    return resync ? firstAfterSeek : current % kNotifierRingSize + 1;
}

HRESULT TFramesNotifier::Transform(IMediaSample* sample)
{
    AM_MEDIA_TYPE* type = nullptr;
    if (sample->GetMediaType(&type) == S_OK) {
        readMediaType(*type);
        DeleteMediaType(type);
    }
    REFERENCE_TIME start = 0, stop = 0;
    if (FAILED(sample->GetTime(&start, &stop)))
        start = stop = 0;
    if (firstSample_)
        firstStart_ = start;

    const Links links = this->links();
    CancelToken* token = releaseToken();
    const REFERENCE_TIME frame = std::max<REFERENCE_TIME>(frameDuration_.load(), 1);
    const bool temporal = links.videoData && links.videoData->temporalCompression();
    const bool resync = resync_ || firstSample_;
    REFERENCE_TIME position = position_.load();
    if (resync || temporal || !links.videoData)
        position = snap(start, frame);
    else
        position += frame;

    // Targets: one armed and not reached holds the frame back.
    bool beforeTarget = false;
    for (Target& target : targets_) {
        if (!target.armed.load())
            continue;
        const REFERENCE_TIME goal = target.position.load();
        if (goal - frame / 2 > position) {
            beforeTarget = true;
            continue;
        }
        if (temporal)
            position = goal;
        target.armed.store(false);
        position_.store(position);
        SendMessage(target.window.load(), WM_TARGETREACHED, static_cast<WPARAM>(low32(goal)), low32(position), token);
    }
    position_.store(position);

    relay(links, !beforeTarget, token);
    const QString text = RefTimeToTimecodeStr(frame, position);
    if (!beforeTarget)
        report(text, (start + stop) / 2 + segmentStart_, token);
    resync_ = firstSample_ = false;

    if (beforeTarget || !deliverSamples_.load())
        return S_FALSE;
    const QString wanted = targetText();
    return wanted.isEmpty() || wanted == text ? S_OK : S_FALSE;
}

void TFramesNotifier::relay(const Links& links, bool report, CancelToken* token)
{
    const bool resync = resync_ || firstSample_;
    if (links.frameData) {
        const FrameDataRing& ring = links.frameData->frameDataRing();
        frameDataSlot_ = nextSlot(frameDataSlot_, ring.firstAfterSeek(), resync);
        const HWND wnd = links.frameData->frameDataWindow();
        TframeData* slot = nullptr;
        if (report && wnd && links.frameData->notifyFrameData() && (slot = frameData_.claim(token)) &&
            ring.read(frameDataSlot_, *slot))
            frameData_.post(slot, wnd, WM_FRAMEDATA, 0, reinterpret_cast<LPARAM>(slot));
    }
    if (links.videoData) {
        const VideoDataRing& ring = links.videoData->videoDataRing();
        videoDataSlot_ = nextSlot(videoDataSlot_, ring.firstAfterSeek(), resync);
        TVideoData video;
        if (report && ring.read(videoDataSlot_, video) && (firstSample_ || !SameVideoData(video, lastVideo_))) {
            const HWND wnd = links.videoData->videoWindow();
            TVideoData* slot = nullptr;
            if (wnd && deliverSamples_.load() && (slot = videoData_.claim(token))) {
                *slot = video;
                videoData_.post(slot, wnd, WM_VIDEODATA, kVideoDataFormat, reinterpret_cast<LPARAM>(slot));
                videoData_.post(slot, wnd, WM_VIDEODATA, kVideoDataCaption, reinterpret_cast<LPARAM>(slot));
            }
            lastVideo_ = video;
        }
    }
    // Audio buffers do not follow the pictures: the latest record counts.
    if (links.audio && report && links.audio->notifyAudioData()) {
        const AudioDataRing& ring = links.audio->audioDataRing();
        TframeData audio;
        if (ring.read(ring.lastSlot(), audio) && (firstSample_ || !SameAudioFormat(audio, lastAudio_))) {
            const HWND wnd = links.audio->audioWindow();
            TframeData* slot = nullptr;
            if (wnd && (slot = audioData_.claim(token))) {
                *slot = audio;
                audioData_.post(slot, wnd, WM_AUDIODATA, kAudioDataFormat, reinterpret_cast<LPARAM>(slot));
            }
            lastAudio_ = audio;
        }
    }
}

void TFramesNotifier::report(const QString& text, REFERENCE_TIME streamTime, CancelToken* token)
{
    if (textMessages_.load()) {
        if (QString* slot = texts_.claim(token)) {
            *slot = text;
            if (text != lastText_)
                texts_.send(slot, textWindow_.load(), WM_TIMESTAMPTEXT, reinterpret_cast<WPARAM>(slot), 0, token);
            texts_.send(slot, frameWindow_.load(), WM_POSITIONTEXT, reinterpret_cast<WPARAM>(slot), 0, token);
        }
    }
    if (positionMessages_.load()) {
        if (REFERENCE_TIME* slot = positions_.claim(token)) {
            *slot = streamTime;
            positions_.post(slot, positionWindow_.load(), WM_POSITIONVALUE, reinterpret_cast<WPARAM>(slot), 0);
        }
    }
    lastText_ = text;
}
