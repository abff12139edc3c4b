#include "media/filters/video_notifier.h"

#include "media/filters/notify_messages.h"
#include "media/parsers/dv_frame.h"
#include "media/parsers/media_types.h"
#include "media/parsers/mpeg_header.h"
#include "platform/graph/media_guids.h"
#include "platform/rtl/datetime.h"
#include "platform/win/messages.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace {

constexpr std::size_t kPalFrameSize = 144'000;
constexpr std::size_t kNtscFrameSize = 120'000;
constexpr REFERENCE_TIME kPalFrameDuration = 400'000;
constexpr REFERENCE_TIME kNtscFrameDuration = 333'667;
constexpr double kPalFrameRate = 25;
constexpr double kNtscFrameRate = 29.97002997;
constexpr double kUnitsPerDay = double(kUnitsPerSecond) * SecsPerDay;

const QString kDefaultDateFormat = QStringLiteral("ddddd - tt");

// The fields whose change starts a new scene.
bool formatChanged(const TVideoData& a, const TVideoData& b)
{
    return a.width != b.width || a.height != b.height || a.bitCount != b.bitCount || a.frameRate != b.frameRate ||
           a.frameDuration != b.frameDuration || a.subtypeName != b.subtypeName || a.aspectX != b.aspectX ||
           a.aspectY != b.aspectY;
}

TIncrustDV dvCodesOf(const TframeData& frame)
{
    return {frame.dateValid, frame.timecodeValid, frame.recDate, frame.timecodeText};
}

QString aspectSuffix(bool wide)
{
    return wide ? QStringLiteral(" (16x9)") : QStringLiteral(" (4x3)");
}

} // namespace

TVideoNotifier::TVideoNotifier() : TVideoNotifier(classId, filterName) {}

TVideoNotifier::TVideoNotifier(const CLSID& id, std::u16string name) : NotifierBase(id, std::move(name))
{
    Reset();
}

TVideoNotifier::~TVideoNotifier() = default;

void TVideoNotifier::Reset()
{
    SetPassSamples(true);
    notifyVideoFormat_ = false;
    notifyFrameData_ = false;
    notifyScenes_ = false;
    {
        std::lock_guard lock(state_);
        dateFormat_ = kDefaultDateFormat;
        frame_.dateValid = false;
        frame_.timecodeValid = false;
        frame_.dateText = QString::fromUtf16(noDateText);
        frame_.timecodeText = QString::fromUtf16(noTimecodeText);
        frame_.frameNumber = 0;
    }
    ResetCounters();
}

void TVideoNotifier::ResetCounters()
{
    {
        std::lock_guard lock(state_);
        saut_.sceneStartFrame = 0;
        lastDuration_ = 0;
    }
    frameRing_.reset();
    videoRing_.reset();
}

void TVideoNotifier::SetFrameDurationWindow(HWND wnd)
{
    frameDurationWindow_ = wnd;
    SetNotifyFrameDuration(true);
}

void TVideoNotifier::SetNotifyFrameDuration(bool on)
{
    notifyFrameDuration_ = on;
    if (on)
        enable();
}

void TVideoNotifier::SetSceneWindow(HWND wnd)
{
    sceneWindow_ = wnd;
    SetNotifyScenes(true);
}

void TVideoNotifier::SetNotifyScenes(bool on)
{
    notifyScenes_ = on;
    if (on)
        enable();
}

void TVideoNotifier::SetNotifyFrameData(bool on)
{
    notifyFrameData_ = on;
    enable();
}

void TVideoNotifier::SetNotifyVideoFormat(bool on)
{
    notifyVideoFormat_ = on;
    enable();
}

void TVideoNotifier::SetNotifyDVCode(bool on)
{
    notifyDVCode_ = on;
    enable();
    // A record on the stack is safe: the send returns once it was handled.
    const TIncrustDV codes = currentDVCodes();
    SendMessage(dvCodeWindow_.load(), WM_DVCODE, reinterpret_cast<WPARAM>(&codes), 0);
}

void TVideoNotifier::SetMaxGap(std::int32_t ms)
{
    maxGapMs_ = ms;
}

void TVideoNotifier::SetSceneDelay(std::int32_t ms)
{
    sceneDelayMs_ = ms;
    std::lock_guard lock(state_);
    convertSceneTimes();
}

void TVideoNotifier::SetMaxSceneLength(std::int32_t seconds)
{
    maxSceneSeconds_ = seconds;
    std::lock_guard lock(state_);
    convertSceneTimes();
}

void TVideoNotifier::SetDateFormat(const QString& format)
{
    std::lock_guard lock(state_);
    dateFormat_ = format;
}

TframeData TVideoNotifier::GetFrameData() const
{
    std::lock_guard lock(state_);
    return frame_;
}

TVideoData TVideoNotifier::GetVideoData() const
{
    std::lock_guard lock(state_);
    return video_;
}

TIncrustDV TVideoNotifier::currentDVCodes() const
{
    std::lock_guard lock(state_);
    return dvCodesOf(frame_);
}

// --- connection and streaming ------------------------------------------------

HRESULT TVideoNotifier::SetMediaType(PIN_DIRECTION direction, const AM_MEDIA_TYPE* type)
{
    if (direction != PINDIR_INPUT)
        return S_OK;
    Outbox out;
    {
        std::lock_guard lock(state_);
        readMediaType(*type, out);
    }
    send(out);
    return S_OK;
}

void TVideoNotifier::readMediaType(const AM_MEDIA_TYPE& type, Outbox& out)
{
    temporalCompression_ = type.bTemporalCompression != FALSE;
    streamSubtype_ = type.subtype;
    streamFormat_ = type.formattype;
    video_ = ::GetVideoData(type);
    if (type.formattype == FORMAT_DvInfo && type.cbFormat() >= sizeof(DVINFO) && notifyVideoFormat_) {
        frame_.system = dvsUndetermined;
        video_.aspectKind = akNone;
    }
    if (video_.valid && (notifyVideoFormat_ || notifyFrameData_ || notifyScenes_))
        reportFrameDuration(out);
    convertSceneTimes();
}

void TVideoNotifier::reportFrameDuration(Outbox& out)
{
    const auto duration = static_cast<std::uint32_t>(video_.frameDuration);
    if (!notifyFrameDuration_ || duration == lastDuration_)
        return;
    out.frameDuration = true;
    out.duration = duration;
    lastDuration_ = duration;
}

void TVideoNotifier::convertSceneTimes()
{
    sceneDelayFrames_ = static_cast<std::int32_t>(std::lround(sceneDelayMs_ * video_.frameRate / 1000));
    maxSceneFrames_ = static_cast<std::int32_t>(std::lround(maxSceneSeconds_ * video_.frameRate));
}

HRESULT TVideoNotifier::StartStreaming()
{
    NotifierBase::StartStreaming();
    std::lock_guard lock(state_);
    frame_.frameNumber = -1;
    frame_.firstDate = 0;
    firstSample_ = true;
    newSegment_ = false;
    saut_.framesSeen = -1;
    running_ = true;
    return S_OK;
}

HRESULT TVideoNotifier::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    {
        std::lock_guard lock(state_);
        // The segment that opens the stream is no seek.
        if (!firstSample_)
            newSegment_ = true;
    }
    return NotifierBase::NewSegment(start, stop, rate);
}

HRESULT TVideoNotifier::Stop()
{
    bool wasRunning;
    {
        std::lock_guard lock(state_);
        wasRunning = std::exchange(running_, false);
    }
    // Waits for the sample in progress.
    const HRESULT hr = NotifierBase::Stop();
    if (wasRunning && notifyScenes_) {
        Outbox out;
        {
            std::lock_guard lock(state_);
            if (saut_.framesSeen >= 0) {
                if (saut_.pending)
                    reportJump(out);
                out.addScene(kSceneEnd, frame_);
            }
        }
        send(out);
    }
    return hr;
}

HRESULT TVideoNotifier::Transform(IMediaSample* sample)
{
    if (enabled() && !passSamples())
        return S_FALSE;
    samplesPassed_.fetch_add(1, std::memory_order_relaxed);
    if (!enabled())
        return S_OK;
    Outbox out;
    {
        std::lock_guard lock(state_);
        AM_MEDIA_TYPE* type = nullptr;
        if (sample->GetMediaType(&type) == S_OK) {
            readMediaType(*type, out);
            DeleteMediaType(type);
        }
        if (firstSample_) {
            reportFrameDuration(out);
            convertSceneTimes();
        }
        prevVideo_ = video_;
        prevFrame_ = frame_;
        readSample(sample);
        // Numbered and dated before the rings take it, so that a relayed
        // record carries its own frame's number and first date.
        frame_.frameNumber = prevFrame_.frameNumber + 1;
        if (frame_.recDate > 0 && (frame_.firstDate <= 0 || frame_.recDate < frame_.firstDate))
            frame_.firstDate = frame_.recDate;

        const bool firstAfterSeek = firstSample_ || newSegment_;
        frameRing_.write(frame_, firstAfterSeek);
        videoRing_.write(video_, firstAfterSeek);
        if (notifyScenes_)
            detectScene(out);
        firstSample_ = false;
        if (notifyDVCode_) {
            out.dvCode = true;
            out.dv = dvCodesOf(frame_);
        }
        newSegment_ = false;
    }
    send(out);
    return S_OK;
}

// --- reading the samples -----------------------------------------------------

void TVideoNotifier::readSample(IMediaSample* sample)
{
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data)
        return;
    const LONG length = std::clamp<LONG>(sample->GetActualDataLength(), 0, sample->GetSize());
    const auto size = static_cast<std::size_t>(length);
    if (streamFormat_ == FORMAT_MPEG2Video && streamSubtype_ == MEDIASUBTYPE_MPEG2_VIDEO)
        readMpeg2(data, size);
    else if ((streamFormat_ == FORMAT_VideoInfo || streamFormat_ == FORMAT_VideoInfo2) &&
             (streamSubtype_ == MEDIASUBTYPE_dvsd || streamSubtype_ == MEDIASUBTYPE_dvcp))
        readDVInVideo(data, size);
    else if (streamFormat_ == FORMAT_DvInfo)
        readDVData(data, size);
}

void TVideoNotifier::readMpeg2(const BYTE* data, std::size_t size)
{
    if (!IsMpegSequenceHeader(data, size))
        return;
    video_.width = MpegHorizontalSize(data, size);
    video_.height = MpegVerticalSize(data, size);
    video_.aspectKind = static_cast<std::uint8_t>(MpegAspectKind(data, size));
    video_.frameRate = MpegFrameRate(data, size);
    video_.description = QStringLiteral("MPEG2");
    if (video_.aspectKind == akFourThree || video_.aspectKind == akSixteenNine)
        video_.description += aspectSuffix(video_.aspectKind == akSixteenNine);
}

void TVideoNotifier::readDVInVideo(BYTE* data, std::size_t size)
{
    if (size != kPalFrameSize && size != kNtscFrameSize)
        return;
    int system = FixDVSystemFlag(data, size);
    if (system == dvsUndetermined)
        system = size == kPalFrameSize ? dvs625_50 : dvs525_60;
    frame_.system = static_cast<std::uint8_t>(system);
    QString description = dvDevice() ? QStringLiteral("DV type 1") : video_.subtypeName;
    if (system == dvs625_50) {
        description += QStringLiteral(" Pal");
        video_.frameRate = kPalFrameRate;
        video_.frameDuration = kPalFrameDuration;
    } else {
        description += QStringLiteral(" NTSC");
        video_.frameRate = kNtscFrameRate;
        video_.frameDuration = kNtscFrameDuration;
    }
    const bool wide = IsDVWideScreen(data, size);
    video_.aspectKind = wide ? akSixteenNine : akFourThree;
    video_.description = description + aspectSuffix(wide);
    readDVCodes(data, size);
    frame_.valid = true;
}

void TVideoNotifier::readDVData(BYTE* data, std::size_t size)
{
    frame_.valid = false;
    QString description = QStringLiteral("DV type1 ");
    const int system = FixDVSystemFlag(data, size);
    if (system == dvs625_50) {
        video_.width = 720;
        video_.height = 576;
        video_.frameRate = kPalFrameRate;
        video_.frameDuration = kPalFrameDuration;
        description += QStringLiteral("Pal ");
        video_.sizeText = QStringLiteral("720x576 - 25 fps");
    } else if (system == dvs525_60) {
        video_.width = 720;
        video_.height = 480;
        video_.frameRate = kNtscFrameRate;
        video_.frameDuration = kNtscFrameDuration;
        description += QStringLiteral("NTSC ");
        video_.sizeText = QStringLiteral("720x480 - 29.97 fps");
    }
    if (system != dvsUndetermined)
        frame_.system = static_cast<std::uint8_t>(system);
    const bool wide = IsDVWideScreen(data, size);
    video_.aspectKind = wide ? akSixteenNine : akFourThree;
    video_.description = description + (wide ? QStringLiteral(" (16x9) ") : QStringLiteral(" (4x3) "));
    frame_.sampleRate = GetDVAudioSampleRate(data, size);
    frame_.bitsPerSample = GetDVAudioQuantization(data, size);
    frame_.audioText = QStringLiteral("DV %1Hz %2bits stereo").arg(frame_.sampleRate).arg(frame_.bitsPerSample);
    readDVCodes(data, size);
    frame_.valid = IsValidDVFrame(data, size, system);
}

void TVideoNotifier::readDVCodes(const BYTE* data, std::size_t size)
{
    const TDVRecDateTime rec = FindDVRecDateTime(data, size);
    TDateTime date = 0, time = 0;
    frame_.dateValid = rec.year >= 0 && TryEncodeDate(rec.year, rec.month, rec.day, date) &&
                       TryEncodeTime(rec.hour, rec.minute, rec.second, 0, time);
    frame_.recDate = frame_.dateValid ? ComposeDateTime(date, time) : 0;
    frame_.dateText = frame_.dateValid ? FormatDateTime(dateFormat_, frame_.recDate) : QString::fromUtf16(noDateText);

    frame_.timecode = FindDVTimecode(data, size);
    frame_.timecodeValid = frame_.timecode.isValid();
    frame_.timecodeText = frame_.timecodeValid ? DVTimecodeToStr(frame_.timecode) : QString::fromUtf16(noTimecodeText);
}

// --- scenes ------------------------------------------------------------------

void TVideoNotifier::detectScene(Outbox& out)
{
    ++saut_.framesSeen;
    // The first frame, and the first after a seek, start a scene of their
    // own; only the first of a stream is reported.
    if (firstSample_ || newSegment_) {
        frame_.jumpReason = jrNone;
        saut_.pending = false;
        saut_.frameAfter = frame_;
        saut_.videoAfter = video_;
        saut_.sceneStartFrame = frame_.frameNumber;
        if (firstSample_)
            out.addScene(kSceneStart, frame_);
        return;
    }

    std::uint8_t reason = jrNone;
    if (!saut_.pending && maxSceneFrames_ > 0 && frame_.frameNumber - saut_.sceneStartFrame >= maxSceneFrames_)
        reason = jrSceneTooLong;
    if (formatChanged(prevVideo_, video_))
        reason = jrFormatChange;
    const double maxGapDays = double(maxGapMs_) / MSecsPerDay;
    if (frame_.dateValid && prevFrame_.dateValid && std::abs(frame_.recDate - prevFrame_.recDate) > maxGapDays)
        reason = jrDateGap;
    if (!prevFrame_.dateValid && frame_.dateValid)
        reason = jrDateBegins;
    if (prevFrame_.dateValid && !frame_.dateValid)
        reason = jrDateEnds;
    frame_.jumpReason = prevFrame_.jumpReason = reason;

    if (saut_.pending && ++saut_.framesSinceJump >= sceneDelayFrames_)
        reportJump(out);
    if (reason == jrNone)
        return;
    if (!saut_.pending) {
        saut_.frameBefore = prevFrame_;
        saut_.videoBefore = prevVideo_;
        saut_.frameAfter = frame_;
        saut_.videoAfter = video_;
        saut_.framesSinceJump = 0;
        saut_.pending = true;
    } else if (!differsFromBeforeJump()) {
        // Back to the state before the jump: it was a glitch.
        if (saut_.frameAfter.jumpReason != jrSceneTooLong)
            saut_.pending = false;
    } else if (reason < saut_.frameAfter.jumpReason) {
        // The scene still ends where the held jump began; it starts here.
        saut_.frameAfter = frame_;
        saut_.videoAfter = video_;
        saut_.framesSinceJump = 0;
    }
}

bool TVideoNotifier::differsFromBeforeJump() const
{
    const TframeData& before = saut_.frameBefore;
    if (!SameAudioFormat(frame_, before) || frame_.audioText != before.audioText ||
        formatChanged(saut_.videoBefore, video_))
        return true;
    if (frame_.dateValid != before.dateValid)
        return true;
    if (!frame_.dateValid)
        return false;
    const double elapsed =
        double(frame_.frameNumber - before.frameNumber) * double(video_.frameDuration) / kUnitsPerDay;
    return std::abs(frame_.recDate - before.recDate) > double(maxGapMs_) / MSecsPerDay + elapsed;
}

void TVideoNotifier::reportJump(Outbox& out)
{
    out.addScene(kSceneEnd, saut_.frameBefore);
    out.addScene(kSceneStart, saut_.frameAfter);
    saut_.sceneStartFrame = saut_.frameAfter.frameNumber;
    saut_.pending = false;
}

// --- messages ----------------------------------------------------------------

void TVideoNotifier::send(Outbox& out)
{
    CancelToken* token = releaseToken();
    if (out.frameDuration)
        PostMessage(frameDurationWindow_.load(), WM_FRAMEDURATION, static_cast<WPARAM>(out.duration), 0);
    if (const HWND wnd = sceneWindow_.load()) {
        for (int i = 0; i < out.sceneCount; ++i) {
            const auto& [kind, frame] = out.scenes[static_cast<std::size_t>(i)];
            MessageRing<TframeData>& ring = kind == kSceneStart ? sceneStartRing_ : sceneEndRing_;
            TframeData* slot = ring.claim(token);
            if (!slot)
                continue;
            *slot = frame;
            slot->sample = nullptr; // no thumbnails are taken
            ring.post(slot, wnd, WM_SCENE, reinterpret_cast<WPARAM>(slot), kind);
        }
    }
    if (out.dvCode) {
        if (const HWND wnd = dvCodeWindow_.load()) {
            if (TIncrustDV* slot = dvCodeRing_.claim(token)) {
                *slot = out.dv;
                dvCodeRing_.send(slot, wnd, WM_DVCODE, reinterpret_cast<WPARAM>(slot), 0, token);
            }
        }
    }
}

// --- the DV-code notifier ----------------------------------------------------

TDVCodeNotifier::TDVCodeNotifier() : TVideoNotifier(classId, filterName) {}

HRESULT TDVCodeNotifier::Transform(IMediaSample* sample)
{
    if (sample->IsSyncPoint() != S_OK)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return S_OK;
}
