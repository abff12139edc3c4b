#include "media/filters/audio_notifier.h"

#include "sink.h"

#include <gtest/gtest.h>

using namespace testing_filters;

namespace {

QString textOf(const AM_MEDIA_TYPE& type, bool dvDevice = false)
{
    auto notifier = makeCom<TAudioNotifier>();
    notifier->SetDVDevice(dvDevice);
    notifier->SetMediaType(PINDIR_INPUT, &type);
    return notifier->GetAudioData().audioText;
}

} // namespace

TEST(AudioNotifier, Texts)
{
    EXPECT_EQ(textOf(waveType(WAVE_FORMAT_PCM, 2, 48000, 16)), "PCM 48000Hz 16bits  stereo");
    EXPECT_EQ(textOf(waveType(WAVE_FORMAT_PCM, 1, 22050, 8)), "PCM 22050Hz 8bits  mono");
    EXPECT_EQ(textOf(waveType(WAVE_FORMAT_PCM, 6, 48000, 16)), "PCM 48000Hz 16bits  6 channels");
    // Compressed: the bit rate instead of the bits.
    EXPECT_EQ(textOf(waveType(85, 2, 44100, 0, 16000)), "MP3 44100Hz 128Kb/s stereo");
    // 32 kHz sound of a DV device has 12 bits.
    EXPECT_EQ(textOf(waveType(WAVE_FORMAT_PCM, 2, 32000, 16), true), "PCM 32000Hz 12bits stereo");
    EXPECT_EQ(textOf(waveType(WAVE_FORMAT_PCM, 2, 32000, 16)), "PCM 32000Hz 16bits  stereo");
    // A type that is no wave format leaves the record empty.
    AM_MEDIA_TYPE none;
    none.majortype = MEDIATYPE_Audio;
    EXPECT_EQ(textOf(none), "");
}

TEST(AudioNotifier, SourceNamesTheFormat)
{
    auto notifier = makeCom<TAudioNotifier>();
    const AM_MEDIA_TYPE type = waveType(WAVE_FORMAT_PCM, 2, 48000, 16);
    notifier->SetMediaType(PINDIR_INPUT, &type);
    notifier->SetAudioFormatName(QStringLiteral("LPCM"));
    EXPECT_EQ(notifier->GetAudioData().audioText, "LPCM 48000Hz 16bits  stereo");
}

// Each report carries a record of its own: a later format does not change
// what an earlier message shows.
TEST(AudioNotifier, ReportsCarryTheirOwnRecord)
{
    RecordingSink sink;
    auto notifier = makeCom<TAudioNotifier>();
    notifier->SetAudioWindow(sink.wnd);
    notifier->SetNotifyAudioData(true);
    const AM_MEDIA_TYPE first = waveType(WAVE_FORMAT_PCM, 2, 48000, 16);
    const AM_MEDIA_TYPE second = waveType(WAVE_FORMAT_PCM, 1, 44100, 16);
    notifier->SetMediaType(PINDIR_INPUT, &first);
    notifier->SetMediaType(PINDIR_INPUT, &second);
    // The first sample reports the format again.
    notifier->StartStreaming();
    auto sample = makeSample(QByteArray(64, '\0'));
    EXPECT_EQ(notifier->Transform(sample.get()), S_OK);
    EXPECT_EQ(notifier->Transform(sample.get()), S_OK);
    const auto reports = sink.messages(WM_AUDIODATA);
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[0].wParam, kAudioDataFormat);
    EXPECT_EQ(reports[0].frame.audioText, "PCM 48000Hz 16bits  stereo");
    EXPECT_EQ(reports[1].frame.audioText, "PCM 44100Hz 16bits  mono");
    EXPECT_EQ(reports[2].frame.audioText, "PCM 44100Hz 16bits  mono");
    EXPECT_EQ(notifier->audioDataRing().lastSlot(), 2);
}
