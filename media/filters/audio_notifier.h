#pragma once
// The audio notifier sits on an audio stream before its decoder, reads the
// audio format into a frame-data record with its text ("PCM 48000Hz 16bits
// stereo") and reports it to the audio window; its ring of audio records is
// relayed by the frames notifier.

#include "media/filters/message_ring.h"
#include "media/filters/notifier_base.h"
#include "media/filters/video_notifier.h"
#include "media/parsers/media_records.h"

using AudioDataRing = RelayRing<TframeData, kNotifierRingSize>;

class TAudioNotifier final : public NotifierBase
{
public:
    static constexpr CLSID classId = "{EEB59708-9EEF-4CBB-A5FA-F1B0C67F72FB}"_guid;
    static constexpr char16_t filterName[] = u"Morvek's AudioNotifier";

    TAudioNotifier();

    // Pass samples on, audio data off, counters back to 0.
    void Reset();
    void ResetCounters();
    void SetAudioWindow(HWND wnd) { audioWindow_.store(wnd); }
    HWND audioWindow() const { return audioWindow_.load(); }
    // Also enables the notifier.
    void SetNotifyAudioData(bool on);
    bool notifyAudioData() const { return notifyAudioData_.load(); }
    // The name of the audio format ("PCM", "MPEG"...), as the source names
    // its pin's type; the audio text is made again.
    void SetAudioFormatName(const QString& name);

    TframeData GetAudioData() const;
    const AudioDataRing& audioDataRing() const { return ring_; }
    const MessageRing<TframeData>& audioMessageRing() const { return messages_; }

    HRESULT SetMediaType(PIN_DIRECTION direction, const AM_MEDIA_TYPE* type) override;
    HRESULT StartStreaming() override;
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
    HRESULT Transform(IMediaSample* sample) override;

private:
    ~TAudioNotifier() override;

    // Reads the wave format; true when the record is to be reported.
    bool readMediaType(const AM_MEDIA_TYPE& type);
    void describe();
    void report(const TframeData& audio);

    std::atomic<HWND> audioWindow_{0};
    std::atomic<bool> notifyAudioData_{false};

    mutable std::mutex state_;
    TframeData audio_;
    bool firstSample_ = false;
    bool newSegment_ = false;

    AudioDataRing ring_;
    MessageRing<TframeData> messages_{kNotifierRingSize};
};

// The audio text of a record: name, rate, bits or bit rate, channels.
QString DescribeAudio(const TframeData& audio, bool dvDevice);
