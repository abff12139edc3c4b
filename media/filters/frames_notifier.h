#pragma once
// The frames notifier sits behind the video decoder and sees the frames that
// are really shown. It turns them into positions snapped to the frame
// duration and into time-code texts, reports a position target reached,
// and relays the video and audio notifiers' records in step with the
// pictures. While a target is armed, the frames before it are neither
// delivered nor reported, so that a paused graph stops on the target itself.
//
// Threads: Transform runs on the streaming thread; every setter and getter
// may be called on the interface thread at any time.

#include "media/filters/audio_notifier.h"
#include "media/filters/message_ring.h"
#include "media/filters/notifier_base.h"
#include "media/filters/video_notifier.h"
#include "media/parsers/media_records.h"

#include <QString>

#include <array>

constexpr int kPositionRingSize = 100;

class TFramesNotifier final : public NotifierBase
{
public:
    static constexpr CLSID classId = "{5104DD25-61F8-458D-AD1D-FCCF8BA18B60}"_guid;
    static constexpr char16_t filterName[] = u"Morvek's FramesNotifier";
    static constexpr int kTargets = 2;

    TFramesNotifier();

    // Arms target i (0 or 1) at a position; WM_TARGETREACHED goes to its
    // window when a frame within half a frame of it comes. A stop disarms
    // the targets: frames of a later run are never held back for a target
    // that an earlier run did not reach.
    void SetTarget(int i, REFERENCE_TIME position);
    void SetTargetWindow(int i, HWND wnd);
    bool targetArmed(int i) const;
    REFERENCE_TIME targetPosition(int i) const;

    // WM_POSITIONTEXT goes to the frame window, WM_TIMESTAMPTEXT to the text
    // window, WM_POSITIONVALUE (the middle of the frame's time stamps plus
    // the segment start) to the position window, WM_FRAMEDURATION to the
    // frame window.
    void SetFrameWindow(HWND wnd) { frameWindow_.store(wnd); }
    void SetTextWindow(HWND wnd) { textWindow_.store(wnd); }
    HWND textWindow() const { return textWindow_.load(); }
    void SetPositionWindow(HWND wnd) { positionWindow_.store(wnd); }
    void SetTextMessages(bool on) { textMessages_.store(on); }
    bool textMessages() const { return textMessages_.load(); }
    void SetPositionMessages(bool on) { positionMessages_.store(on); }
    bool positionMessages() const { return positionMessages_.load(); }
    // When off, every frame is held back.
    void SetDeliverSamples(bool on) { deliverSamples_.store(on); }
    bool deliverSamples() const { return deliverSamples_.load(); }
    // When set, only the frames whose time-code text equals it are delivered.
    void SetTargetText(const QString& text);
    QString targetText() const;
    // Kept for the navigation manager, which sets and clears it.
    void SetTargetReached(bool on) { targetReached_.store(on); }
    bool targetReached() const { return targetReached_.load(); }
    // 100-ns units; a value below 1 counts as 1.
    void SetFrameDuration(REFERENCE_TIME duration) { frameDuration_.store(duration); }
    REFERENCE_TIME frameDuration() const { return frameDuration_.load(); }
    // The position of the last frame seen.
    REFERENCE_TIME currentPosition() const { return position_.load(); }
    TVideoData GetVideoData() const;

    // The notifiers whose rings are relayed; each may be null. The video-data
    // link also tells whether the stream has temporal compression; without
    // it positions come from the time stamps.
    void SetFrameDataLink(TVideoNotifier* notifier);
    void SetVideoDataLink(TVideoNotifier* notifier);
    void SetAudioLink(TAudioNotifier* notifier);

    const MessageRing<QString>& textRing() const { return texts_; }
    const MessageRing<REFERENCE_TIME>& positionRing() const { return positions_; }

    HRESULT CheckInputType(const AM_MEDIA_TYPE* typeIn) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const AM_MEDIA_TYPE* type) override;
    HRESULT StartStreaming() override;
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
    HRESULT Stop() override;
    HRESULT Transform(IMediaSample* sample) override;

private:
    ~TFramesNotifier() override;

    struct Links
    {
        ComPtr<TVideoNotifier> frameData;
        ComPtr<TVideoNotifier> videoData;
        ComPtr<TAudioNotifier> audio;
    };
    struct Target
    {
        std::atomic<REFERENCE_TIME> position{0};
        std::atomic<HWND> window{0};
        std::atomic<bool> armed{false};
    };

    Links links() const;
    void readMediaType(const AM_MEDIA_TYPE& type);
    // The position of a frame from its time stamp, snapped to a frame.
    REFERENCE_TIME snap(REFERENCE_TIME start, REFERENCE_TIME frame) const;
    // The next slot of a relayed ring: one further, or after a seek the one
    // written for the first sample after it.
    int nextSlot(int current, int firstAfterSeek, bool resync) const;
    void relay(const Links& links, bool report, CancelToken* token);
    void report(const QString& text, REFERENCE_TIME streamTime, CancelToken* token);

    std::atomic<HWND> frameWindow_{0};
    std::atomic<HWND> textWindow_{0};
    std::atomic<HWND> positionWindow_{0};
    std::atomic<bool> textMessages_{false};
    std::atomic<bool> positionMessages_{false};
    std::atomic<bool> deliverSamples_{true};
    std::atomic<bool> targetReached_{false};
    std::atomic<REFERENCE_TIME> frameDuration_{1};
    std::atomic<REFERENCE_TIME> position_{0};
    std::array<Target, kTargets> targets_;

    mutable std::mutex lock_; // the links, the target text and the video data
    Links links_;
    QString targetText_;
    TVideoData video_;

    // Streaming state: the streaming thread's alone.
    REFERENCE_TIME segmentStart_ = 0;
    REFERENCE_TIME firstStart_ = 0;
    bool firstSample_ = false;
    bool resync_ = false;
    QString lastText_;
    int frameDataSlot_ = 0;
    int videoDataSlot_ = 0;
    TVideoData lastVideo_;
    TframeData lastAudio_;

    MessageRing<TframeData> frameData_{kNotifierRingSize};
    MessageRing<TVideoData> videoData_{kNotifierRingSize};
    MessageRing<TframeData> audioData_{kNotifierRingSize};
    MessageRing<QString> texts_{kPositionRingSize};
    MessageRing<REFERENCE_TIME> positions_{kPositionRingSize};
};
