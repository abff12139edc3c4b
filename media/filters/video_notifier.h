#pragma once
// The video notifier sits on a compressed video stream before its decoder
// and reads the video format, the DV codes and frame data from the samples;
// it detects scene breaks and reports the frame duration. Its frame-data and
// video-data rings are relayed by the frames notifier behind the decoder, in
// step with the pictures shown.
//
// Threads: Transform runs on the streaming thread; the setters and the
// getters run on the interface thread. The per-frame state is guarded by a
// lock that is never held while a message goes out.

#include "media/filters/message_ring.h"
#include "media/filters/notifier_base.h"
#include "media/parsers/media_records.h"

#include <QString>

#include <array>
#include <cstdint>

constexpr int kNotifierRingSize = 48;
using FrameDataRing = RelayRing<TframeData, kNotifierRingSize>;
using VideoDataRing = RelayRing<TVideoData, kNotifierRingSize>;

class TVideoNotifier : public NotifierBase
{
public:
    static constexpr CLSID classId = "{B5876E86-32D4-4CAD-B3B7-772BF0966F73}"_guid;
    static constexpr char16_t filterName[] = u"Morvek's Video Notifier";
    static constexpr char16_t noDateText[] = u"No Datecode";
    static constexpr char16_t noTimecodeText[] = u"NoTimecode";

    TVideoNotifier();

    // Pass samples on, the notifications off, the date format back, the
    // current frame data without codes, then ResetCounters.
    void Reset();
    // Scene start, slot counters and the last reported frame duration back
    // to 0, for a new video.
    void ResetCounters();

    void SetDVCodeWindow(HWND wnd) { dvCodeWindow_.store(wnd); }
    void SetVideoWindow(HWND wnd) { videoWindow_.store(wnd); }
    void SetFrameDataWindow(HWND wnd) { frameDataWindow_.store(wnd); }
    // Also switches the frame-duration report on.
    void SetFrameDurationWindow(HWND wnd);
    void SetNotifyFrameDuration(bool on);
    // Also switches scene detection on.
    void SetSceneWindow(HWND wnd);
    void SetNotifyScenes(bool on);
    void SetNotifyFrameData(bool on);
    void SetNotifyVideoFormat(bool on);
    // Also sends the current DV codes at once (interface thread).
    void SetNotifyDVCode(bool on);
    void SetMaxGap(std::int32_t ms);
    void SetSceneDelay(std::int32_t ms);
    void SetMaxSceneLength(std::int32_t seconds);
    // A scene parameter that the DV manager hands on; kept as it is.
    void SetSceneOption(std::int32_t value) { sceneOption_.store(value); }
    // The format of the date text; "ddddd - tt" by default.
    void SetDateFormat(const QString& format);

    HWND videoWindow() const { return videoWindow_.load(); }
    HWND frameDataWindow() const { return frameDataWindow_.load(); }
    HWND dvCodeWindow() const { return dvCodeWindow_.load(); }
    bool notifyDVCode() const { return notifyDVCode_.load(); }
    bool notifyFrameData() const { return notifyFrameData_.load(); }
    bool notifyVideoFormat() const { return notifyVideoFormat_.load(); }
    bool notifyScenes() const { return notifyScenes_.load(); }
    std::int32_t sceneOption() const { return sceneOption_.load(); }
    std::int32_t maxGap() const { return maxGapMs_.load(); }
    std::int32_t sceneDelay() const { return sceneDelayMs_.load(); }
    std::int32_t maxSceneLength() const { return maxSceneSeconds_.load(); }

    // The samples passed on to the decoder so far: the pictures it decoded.
    std::int64_t samplesPassed() const { return samplesPassed_.load(std::memory_order_relaxed); }

    // Copies of the current records.
    TframeData GetFrameData() const;
    TVideoData GetVideoData() const;
    // The input type has temporal compression.
    bool temporalCompression() const { return temporalCompression_.load(); }

    // Written on every sample while the notifier is enabled.
    const FrameDataRing& frameDataRing() const { return frameRing_; }
    const VideoDataRing& videoDataRing() const { return videoRing_; }
    // The rings of the scene and DV-code messages (slot numbers for tests).
    const MessageRing<TframeData>& sceneStartRing() const { return sceneStartRing_; }
    const MessageRing<TframeData>& sceneEndRing() const { return sceneEndRing_; }
    const MessageRing<TIncrustDV>& dvCodeRing() const { return dvCodeRing_; }

    HRESULT SetMediaType(PIN_DIRECTION direction, const AM_MEDIA_TYPE* type) override;
    HRESULT StartStreaming() override;
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
    HRESULT Stop() override;
    HRESULT Transform(IMediaSample* sample) override;

protected:
    TVideoNotifier(const CLSID& classId, std::u16string name);
    ~TVideoNotifier() override;

private:
    // The messages one sample or a stop gives, sent once the state lock is
    // released.
    struct Outbox
    {
        struct Scene
        {
            LPARAM kind;
            TframeData frame;
        };
        std::array<Scene, 3> scenes;
        int sceneCount = 0;
        bool dvCode = false;
        TIncrustDV dv;
        bool frameDuration = false;
        REFERENCE_TIME duration = 0;

        void addScene(LPARAM kind, const TframeData& frame) { scenes[sceneCount++] = {kind, frame}; }
    };

    void readMediaType(const AM_MEDIA_TYPE& type, Outbox& out);
    void reportFrameDuration(Outbox& out);
    void convertSceneTimes();
    void readSample(IMediaSample* sample);
    void readDVInVideo(BYTE* data, std::size_t size);
    void readDVData(BYTE* data, std::size_t size);
    void readMpeg2(const BYTE* data, std::size_t size);
    // Date, time and time code common to both DV readers.
    void readDVCodes(const BYTE* data, std::size_t size);
    void detectScene(Outbox& out);
    bool differsFromBeforeJump() const;
    void recordJump(std::uint8_t reason);
    void reportJump(Outbox& out);
    TIncrustDV currentDVCodes() const;
    void send(Outbox& out);

    // Settings.
    std::atomic<bool> notifyVideoFormat_{false};
    std::atomic<bool> notifyFrameData_{false};
    std::atomic<bool> notifyScenes_{false};
    std::atomic<bool> notifyDVCode_{false};
    std::atomic<bool> notifyFrameDuration_{false};
    std::atomic<std::int32_t> maxGapMs_{2000};
    std::atomic<std::int32_t> sceneDelayMs_{1000};
    std::atomic<std::int32_t> maxSceneSeconds_{0};
    std::atomic<std::int32_t> sceneOption_{0};
    std::atomic<HWND> dvCodeWindow_{0};
    std::atomic<std::int64_t> samplesPassed_{0};
    std::atomic<HWND> videoWindow_{0};
    std::atomic<HWND> frameDataWindow_{0};
    std::atomic<HWND> frameDurationWindow_{0};
    std::atomic<HWND> sceneWindow_{0};
    std::atomic<bool> temporalCompression_{false};

    // Per-frame state, under state_.
    mutable std::mutex state_;
    QString dateFormat_;
    GUID streamSubtype_;
    GUID streamFormat_;
    TVideoData video_;
    TVideoData prevVideo_;
    TframeData frame_;
    TframeData prevFrame_;
    TSaut saut_;
    std::uint32_t lastDuration_ = 0;
    std::int32_t sceneDelayFrames_ = 0;
    std::int32_t maxSceneFrames_ = 0;
    bool firstSample_ = false;
    bool newSegment_ = false;
    bool running_ = false;

    FrameDataRing frameRing_;
    VideoDataRing videoRing_;
    MessageRing<TframeData> sceneStartRing_{kNotifierRingSize};
    MessageRing<TframeData> sceneEndRing_{kNotifierRingSize};
    MessageRing<TIncrustDV> dvCodeRing_{kNotifierRingSize};
};

// Sits on the DV pin of a device before the DV splitter; paces the stream by
// pausing 10 ms on every sample that is not a sync point.
class TDVCodeNotifier final : public TVideoNotifier
{
public:
    static constexpr CLSID classId = "{192E0B3B-446C-49D1-8AED-E8AE0CF82ED2}"_guid;
    static constexpr char16_t filterName[] = u"Morvek's DVNotifier";

    TDVCodeNotifier();
    HRESULT Transform(IMediaSample* sample) override;

private:
    ~TDVCodeNotifier() override = default;
};
