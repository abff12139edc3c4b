// The video manager on the real clips: connecting every kind of file, the
// notices for no video and for video that cannot be decoded, the picture's
// aspect, the inlay codes filled frame by frame from a DV stream, and the
// pattern rules on messages handed to its window.

#include "av_fixture.h"

#include "media/filters/notify_messages.h"
#include "platform/graph/pin_walk.h"
#include "platform/rtl/datetime.h"
#include "platform/win/messages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

#include <cmath>

using namespace testing_engine;

namespace {

constexpr REFERENCE_TIME kPal = 400'000;
constexpr REFERENCE_TIME kNtsc = 333'667;

double ratioOf(const RECT& r)
{
    return double(r.right - r.left) / double(r.bottom - r.top);
}

// The text of an inlay line, or "hidden".
QString lineOf(const TVideoMan& video, int i)
{
    const TInsertLine& line = video.InsertLine(i);
    return line.Visible ? line.Text : QStringLiteral("hidden");
}

// The name a filter has in its graph.
QString filterName(IBaseFilter* filter)
{
    FILTER_INFO info;
    return SUCCEEDED(filter->QueryFilterInfo(&info)) ? QString::fromStdU16String(info.achName) : QString();
}

template <class Record> void send(TVideoMan& video, UINT message, const Record& record)
{
    SendMessage(video.Handle(), message, reinterpret_cast<WPARAM>(&record), 0);
}

} // namespace

TEST(VideoMan, EveryClipConnectsItsVideoAndItsSound)
{
    struct Row
    {
        const char* clip;
        bool video;
        bool audio;
        const char* size;
        REFERENCE_TIME frame;
    };
    const Row rows[] = {
        {"dv_pal.avi", true, true, "720x576 - 25 fps", kPal},
        {"dv_ntsc_wide.avi", true, true, "720x480 - 29.97 fps", kNtsc},
        {"mpeg1.mpg", true, true, "320x240 - 25 fps", kPal},
        {"mpeg2.mpg", true, true, "352x288 - 25 fps", kPal},
        {"mpeg2.ts", true, true, "320x240 - 25 fps", kPal},
        {"h264.m2ts", true, true, "320x240 - 25 fps", kPal},
        {"h264.mp4", true, true, "320x240 - 25 fps", kPal},
        {"h264.mkv", true, true, "320x240 - 25 fps", kPal},
        {"wmv.wmv", true, true, "320x240 - 25 fps", kPal},
        {"mpeg2.m2v", true, false, "320x240 - 25 fps", kPal},
        {"subtitles.mkv", true, false, "320x240 - 25 fps", kPal},
        {"audio_only.wav", false, true, "", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.clip);
        QString decoder, format, audioDecoder, audioFormat, position;
        AVManagers m;
        m.nav->OnDisplayTime = [&](const QString& text) { position = text; };
        m.video->OnNotifyVideoDecoder = [&](const QString& text) { decoder = text; };
        m.video->OnNotifyVideoFormat = [&](const QString& text) { format = text; };
        m.audio->OnNotifyAudioDecoder = [&](const QString& text) { audioDecoder = text; };
        m.audio->OnNotifyAudioFormat = [&](const QString& text) { audioFormat = text; };
        TFileDevice* device = m.open(row.clip);
        ASSERT_TRUE(device && device->Built());
        EXPECT_EQ(m.audio->ConnectAudio(AVManagers::audioOf(device)), row.audio);
        EXPECT_EQ(m.video->ConnectVideo(AVManagers::videoOf(device)), row.video);
        m.pause();

        if (row.video) {
            EXPECT_EQ(m.video->VideoState(), TVideoMan::vsVideo);
            EXPECT_FALSE(m.video->Notice()->isVisible());
            ASSERT_TRUE(m.video->Decoders().CurrentDecoder());
            EXPECT_EQ(decoder, m.video->Decoders().CurrentDecoder()->Name());
            // The frames notifier sits behind the decoder and drives the
            // navigation.
            EXPECT_EQ(upstreamOf(m.video->Renderer()).get(), static_cast<IBaseFilter*>(m.video->FramesNotifier()));
            EXPECT_EQ(m.nav->FramesNotifier(), m.video->FramesNotifier());
            EXPECT_EQ(m.nav->FrameSource(), device->VideoSource(0));
            EXPECT_EQ(m.nav->DVCodeSource(), device->VideoSource(0));
            EXPECT_EQ(m.nav->FrameDuration(), row.frame);
            EXPECT_GT(m.nav->Duration(), 0);
            EXPECT_EQ(m.video->NavWindow(), m.nav->Handle());
            EXPECT_EQ(shownFrame(m.video->Renderer()), 0);
            EXPECT_EQ(position, "0:00:00:00");
            EXPECT_EQ(format, QString::fromLatin1(row.size) + " - " + m.video->LastVideoData().description);
            EXPECT_EQ(device->VideoSource(0)->Notifier()->optionFlags(), 0x81u);
            EXPECT_EQ(filterName(m.video->Renderer()), "Kv VideoWindow");
        } else {
            EXPECT_EQ(m.video->VideoState(), TVideoMan::vsNoVideo);
            EXPECT_TRUE(m.video->Notice()->isVisible());
            EXPECT_TRUE(m.video->NoticePicture()->isVisible());
            EXPECT_EQ(m.video->Notice()->toPlainText().trimmed(), "No video stream has been connected");
        }
        if (row.audio) {
            EXPECT_EQ(m.audio->Status(), asAudioOn);
            ASSERT_TRUE(m.audio->Decoders().CurrentDecoder());
            EXPECT_EQ(audioDecoder, m.audio->Decoders().CurrentDecoder()->Name());
            EXPECT_EQ(audioFormat, device->AudioSource(0)->Notifier()->GetAudioData().audioText);
            // Whatever the stream's rate, the renderer plays the resampler's.
            EXPECT_EQ(upstreamOf(m.audio->Renderer()).get(), static_cast<IBaseFilter*>(m.audio->Resampler()));
            AM_MEDIA_TYPE played;
            ASSERT_EQ(firstPin(m.audio->Renderer(), PINDIR_INPUT)->ConnectionMediaType(&played), S_OK);
            EXPECT_EQ(played.formatAs<WAVEFORMATEX>()->nSamplesPerSec, 44100u);
            EXPECT_EQ(device->AudioSource(0)->Notifier()->optionFlags(), 0x82u);
            EXPECT_EQ(filterName(m.audio->Renderer()), "Kv Audio Renderer");
        } else {
            EXPECT_EQ(m.audio->Status(), asNoAudio);
        }
    }
}

namespace {

// What the ffmpeg tool's prober reads in a clip's first video and first
// sound stream.
struct ProbedStreams
{
    bool read = false;
    int width = 0;
    int height = 0;
    int rateNum = 0;
    int rateDen = 1;
    int aspectX = 0;
    int aspectY = 0;
    int pictures = 0;
    int sampleRate = 0;
    int channels = 0;
};

ProbedStreams probe(const QString& file)
{
    QProcess prober;
    prober.start(QStringLiteral("ffprobe"),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
                  QStringLiteral("-show_streams"), QStringLiteral("-of"), QStringLiteral("json"), file});
    ProbedStreams probed;
    if (!prober.waitForFinished(60'000) || prober.exitCode() != 0)
        return probed;
    probed.read = true;
    bool video = false, audio = false;
    const auto pair = [](const QString& text, QChar separator, int& first, int& second) {
        const QStringList parts = text.split(separator);
        if (parts.size() == 2) {
            first = parts[0].toInt();
            second = parts[1].toInt();
        }
    };
    for (const QJsonValue& value : QJsonDocument::fromJson(prober.readAllStandardOutput())["streams"].toArray()) {
        const QJsonObject stream = value.toObject();
        if (stream["codec_type"] == QLatin1String("video") && !video) {
            video = true;
            probed.width = stream["width"].toInt();
            probed.height = stream["height"].toInt();
            pair(stream["r_frame_rate"].toString(), u'/', probed.rateNum, probed.rateDen);
            pair(stream["display_aspect_ratio"].toString(), u':', probed.aspectX, probed.aspectY);
            probed.pictures = stream["nb_read_frames"].toString().toInt();
        } else if (stream["codec_type"] == QLatin1String("audio") && !audio) {
            audio = true;
            probed.sampleRate = stream["sample_rate"].toString().toInt();
            probed.channels = stream["channels"].toInt();
        }
    }
    return probed;
}

} // namespace

// The format reports of every clip agree with what the ffmpeg tool reads in
// it: the picture's size, rate and display aspect, the length of the video,
// and the sound's rate and channels.
TEST(VideoMan, FormatReportsAgreeWithTheFfmpegReading)
{
    // (Not the clip whose second part starts its times again: its length
    // is the first part's, for the tool as for us.)
    const char* const names[] = {"dv_pal.avi",         "dv_ntsc_wide.avi", "dv_joined.avi",
                                 "mpeg1.mpg",          "mpeg1.m1v",        "mpeg2.mpg",
                                 "mpeg2.m2v",          "mpeg2.ts",         "mpeg2_interlaced.mpg",
                                 "interlaced_pal.mpg", "h264.m2ts",        "h264.mp4",
                                 "h264.mkv",           "hard_cut.mp4",     "wmv.wmv",
                                 "subtitles.mkv",      "two_sounds.mkv",   "audio_only.wav",
                                 "mpeg2_2997.m2v",     "mpeg2_5994.m2v"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const ProbedStreams probed = probe(clip(name));
        ASSERT_TRUE(probed.read) << "ffprobe, of the ffmpeg tool, is needed";
        QString format, sound;
        AVManagers m;
        m.video->OnNotifyVideoFormat = [&](const QString& text) { format = text; };
        m.audio->OnNotifyAudioFormat = [&](const QString& text) { sound = text; };
        TFileDevice* device = m.open(name);
        ASSERT_TRUE(device && device->Built());
        EXPECT_EQ(m.audio->ConnectAudio(AVManagers::audioOf(device)), probed.sampleRate > 0);
        EXPECT_EQ(m.video->ConnectVideo(AVManagers::videoOf(device)), probed.width > 0);
        m.pause();

        if (probed.width > 0) {
            const TVideoData& data = m.video->LastVideoData();
            EXPECT_EQ(data.width, probed.width);
            EXPECT_EQ(std::abs(data.height), probed.height);
            const double rate = double(probed.rateNum) / probed.rateDen;
            EXPECT_NEAR(data.frameRate, rate, 1e-4);
            const QString size =
                QStringLiteral("%1x%2 - %3 fps")
                    .arg(probed.width)
                    .arg(probed.height)
                    .arg(QString::number(std::round(rate * 100) / 100, 'f', QLocale::FloatingPointShortest)
                             .replace(u'.', QLocale().decimalPoint()));
            EXPECT_TRUE(format.startsWith(size + QStringLiteral(" - "))) << format.toStdString();
            // The picture is shown at the aspect the tool reads.
            EXPECT_EQ(qint64(m.video->VideoAspectX()) * probed.aspectY,
                      qint64(m.video->VideoAspectY()) * probed.aspectX)
                << m.video->VideoAspectX() << ":" << m.video->VideoAspectY();
            // The video lasts its pictures at their rate: a whole number of
            // the frame durations that positions count in, within a unit of
            // rounding per picture of the exact length.
            EXPECT_EQ(m.nav->Duration(), probed.pictures * m.nav->FrameDuration());
            EXPECT_NEAR(double(m.nav->Duration()), probed.pictures * 1e7 * probed.rateDen / probed.rateNum,
                        probed.pictures);
        }
        if (probed.sampleRate > 0) {
            const TframeData data = device->AudioSource(0)->Notifier()->GetAudioData();
            EXPECT_EQ(data.sampleRate, probed.sampleRate);
            EXPECT_EQ(data.channels, probed.channels);
            EXPECT_TRUE(sound.contains(QStringLiteral(" %1Hz").arg(probed.sampleRate))) << sound.toStdString();
            const QString layout = probed.channels == 1   ? QStringLiteral(" mono")
                                   : probed.channels == 2 ? QStringLiteral(" stereo")
                                                          : QStringLiteral(" %1 channels").arg(probed.channels);
            EXPECT_TRUE(sound.endsWith(layout)) << sound.toStdString();
        }
    }
}

// The two sound tracks share one pin: the one enabled is the one connected.
TEST(VideoMan, TheTwoTrackClipPlaysEitherTrack)
{
    for (const char* track : {"AAC", "AC3"}) {
        SCOPED_TRACE(track);
        QString format;
        AVManagers m;
        m.audio->OnNotifyAudioFormat = [&](const QString& text) { format = text; };
        TFileDevice* device = m.open("two_sounds.mkv");
        ASSERT_TRUE(device && device->SetGraph(m.nav));
        TStreamList streams;
        device->GetAudioStreams(streams);
        ASSERT_EQ(streams.size(), 2);
        ASSERT_TRUE(device->EnableStream(streams[track == QLatin1String("AAC") ? 0 : 1].index));
        ASSERT_TRUE(m.audio->ConnectAudio(device->AudioSource(0)));
        ASSERT_TRUE(m.video->ConnectVideo(device->VideoSource(0)));
        m.pause();
        EXPECT_TRUE(format.startsWith(QLatin1String(track))) << format.toStdString();
        // The sound plays.
        auto* renderer = dynamic_cast<AudioRenderer*>(m.audio->Renderer());
        ASSERT_TRUE(renderer);
        m.nav->Play();
        EXPECT_TRUE(m.serveUntil([&] { return renderer->playedTime() > 2'000'000; }));
        m.pause();
    }
}

// A file that is no video at all gives no stream; a video stream that no
// decoder takes gives the notice that it cannot be decoded, and its sound
// still plays.
TEST(VideoMan, GarbageShowsItsNotice)
{
    {
        AVManagers m;
        TFileDevice* device = m.open("garbage.avi");
        ASSERT_TRUE(device);
        EXPECT_FALSE(device->Built());
        EXPECT_FALSE(m.video->ConnectVideo(AVManagers::videoOf(device)));
        EXPECT_FALSE(m.audio->ConnectAudio(AVManagers::audioOf(device)));
        EXPECT_EQ(m.video->VideoState(), TVideoMan::vsNoVideo);
        EXPECT_EQ(m.audio->Status(), asNoAudio);
    }
    QTemporaryDir dir;
    // The DV stream under a codec tag that nothing decodes.
    const QString path = patchedClip(dir, "dv_pal.avi", "dvsd", "KVXX", "movi");
    QStringList events;
    AVManagers m;
    m.video->OnNotifyVideoDecoder = [&](const QString& text) { events.append(text); };
    m.video->OnNotifyVideoFormat = [&](const QString& text) { events.append(text); };
    TFileDevice* device = m.open(path);
    ASSERT_TRUE(device && device->Built());
    EXPECT_TRUE(m.audio->ConnectAudio(AVManagers::audioOf(device)));
    const int filters = m.filterCount();
    EXPECT_FALSE(m.video->ConnectVideo(AVManagers::videoOf(device)));
    EXPECT_EQ(m.video->VideoState(), TVideoMan::vsBadVideo);
    EXPECT_EQ(events, (QStringList{"No Video decoder", "No Video"}));
    EXPECT_TRUE(m.video->Notice()->isVisible());
    EXPECT_TRUE(m.video->NoticePicture()->isVisible());
    EXPECT_EQ(m.video->Notice()->toPlainText().trimmed(), "The video stream could not be decoded");
    // Nothing of the failed stream stays in the graph, and the sound of the
    // file plays on.
    EXPECT_FALSE(inGraph(m.video->Renderer()));
    EXPECT_EQ(m.filterCount(), filters);
    EXPECT_EQ(m.audio->Status(), asAudioOn);
    auto* renderer = dynamic_cast<AudioRenderer*>(m.audio->Renderer());
    ASSERT_TRUE(renderer);
    m.nav->Pause();
    m.nav->Play();
    EXPECT_TRUE(m.serveUntil([&] { return renderer->playedTime() > 2'000'000; }));
    m.nav->Stop();

    // The owner's text where it gives one; and closing the file makes way
    // for the no-video notice.
    m.video->OnBadVideoStream = [] { return QStringLiteral("<b>Unreadable</b>"); };
    m.video->RepaintWindow();
    EXPECT_EQ(m.video->Notice()->toPlainText(), "Unreadable");
    m.video->DisconnectVideoDevice(true);
    EXPECT_EQ(m.video->VideoState(), TVideoMan::vsNoVideo);
    EXPECT_EQ(m.video->Notice()->toPlainText().trimmed(), "No video stream has been connected");
}

TEST(VideoMan, TheSameSourceTwiceChangesNothing)
{
    AVManagers m;
    TFileDevice* device = m.open("h264.mp4");
    ASSERT_TRUE(m.video->ConnectVideo(AVManagers::videoOf(device)));
    ASSERT_TRUE(m.audio->ConnectAudio(AVManagers::audioOf(device)));
    m.pause();
    const int filters = m.filterCount();
    int events = 0;
    m.video->OnNotifyVideoDecoder = [&](const QString&) { ++events; };
    m.audio->OnNotifyAudioDecoder = [&](const QString&) { ++events; };
    m.audio->OnStatus = [&](TAudioStatus) { ++events; };
    EXPECT_FALSE(m.video->ConnectVideo(AVManagers::videoOf(device)));
    EXPECT_FALSE(m.audio->ConnectAudio(AVManagers::audioOf(device)));
    EXPECT_EQ(events, 0);
    EXPECT_EQ(m.filterCount(), filters);
    EXPECT_EQ(m.video->VideoState(), TVideoMan::vsVideo);
    EXPECT_TRUE(m.audio->AudioConnected());
    EXPECT_EQ(shownFrame(m.video->Renderer()), 0);

    // Taken out, the same file connects again, as opening it again does.
    m.nav->Stop();
    m.audio->DisconnectAudio();
    m.video->DisconnectVideoDevice(false);
    EXPECT_EQ(m.filterCount(), 0);
    ASSERT_TRUE(m.video->ConnectVideo(AVManagers::videoOf(device)));
    ASSERT_TRUE(m.audio->ConnectAudio(AVManagers::audioOf(device)));
    m.pause();
    EXPECT_EQ(shownFrame(m.video->Renderer()), 0);
    EXPECT_EQ(m.filterCount(), filters);
}

TEST(VideoMan, TheAspectFollowsTheModeOrTheStream)
{
    struct Row
    {
        const char* clip;
        double stream;
        double native;
    };
    for (const Row& row : {Row{"dv_pal.avi", 4.0 / 3, 720.0 / 576}, Row{"dv_ntsc_wide.avi", 16.0 / 9, 720.0 / 480}}) {
        SCOPED_TRACE(row.clip);
        AVManagers m;
        ASSERT_TRUE(m.video->ConnectVideo(AVManagers::videoOf(m.open(row.clip))));
        m.pause();
        EXPECT_NEAR(ratioOf(m.video->WindowVideoRect()), row.stream, 0.02);
        const double expected[] = {row.stream, 4.0 / 3, 16.0 / 9, row.native};
        for (int mode : {3, 1, 2, 0, 3}) {
            m.video->ApplyAspectRatio(mode);
            EXPECT_NEAR(ratioOf(m.video->WindowVideoRect()), expected[mode], 0.02) << "mode " << mode;
        }
        // A new format report keeps the mode.
        TVideoData data = m.video->LastVideoData();
        SendMessage(m.video->Handle(), WM_VIDEODATA, kVideoDataFormat, reinterpret_cast<LPARAM>(&data));
        EXPECT_NEAR(ratioOf(m.video->WindowVideoRect()), row.native, 0.02);
    }

    // In the stream's mode a record without an aspect shows the picture's
    // own size (a negative height, a picture stored top down, by its size),
    // and one of another aspect its own terms.
    AVManagers m;
    ASSERT_TRUE(m.video->ConnectVideo(AVManagers::videoOf(m.open("mpeg2.mpg"))));
    m.pause();
    TVideoData data = m.video->LastVideoData();
    data.width = 352;
    data.height = -288;
    data.aspectKind = akNone;
    SendMessage(m.video->Handle(), WM_VIDEODATA, kVideoDataFormat, reinterpret_cast<LPARAM>(&data));
    EXPECT_EQ(std::make_pair(m.video->VideoAspectX(), m.video->VideoAspectY()), std::make_pair(352, 288));
    data.aspectKind = akOther;
    data.aspectX = 221;
    data.aspectY = 100;
    SendMessage(m.video->Handle(), WM_VIDEODATA, kVideoDataFormat, reinterpret_cast<LPARAM>(&data));
    EXPECT_EQ(std::make_pair(m.video->VideoAspectX(), m.video->VideoAspectY()), std::make_pair(221, 100));
}

// Every frame of the DV clips, stepped one by one: the recording date
// shifted by the offset, the DV time code and the position.
TEST(VideoMan, TheInlayOfEveryDVFrame)
{
    struct Row
    {
        const char* clip;
        int frames;
        REFERENCE_TIME frame;
        int fps;
        int firstCode; // the time code of frame 0 in frames
        TDateTime recorded;
    };
    const Row rows[] = {
        {"dv_pal.avi", 75, kPal, 25, ((10 * 60 + 20) * 60 + 30) * 25 + 5,
         EncodeDate(2024, 5, 17) + EncodeTime(14, 32, 10, 0)},
        {"dv_ntsc_wide.avi", 30, kNtsc, 30, ((1 * 60 + 2) * 60 + 3) * 30 + 4,
         EncodeDate(2023, 11, 2) + EncodeTime(8, 15, 0, 0)},
    };
    const TDateTime offset = 1.0 / 24 + 30.0 / 1440;
    const QString dateFormat = QStringLiteral("yyyy-mm-dd hh:nn:ss");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.clip);
        AVManagers m;
        TVideoSource* source = AVManagers::videoOf(m.open(row.clip));
        ASSERT_TRUE(m.video->ConnectVideo(source));
        m.wireInlay(source);
        m.video->InsertPattern(0).Pattern = QStringLiteral("%D");
        m.video->InsertPattern(0).DateFormat = dateFormat;
        m.video->InsertPattern(1).Pattern = QStringLiteral("%t at %s");
        m.video->SetInsertTimeOffset(offset);
        m.video->SetInsertTextOn(true);
        m.pause();
        for (int n = 0; n < row.frames; ++n) {
            SCOPED_TRACE(n);
            if (n > 0) {
                m.nav->naAvanceFrame->Execute();
                m.pause();
            }
            ASSERT_EQ(shownFrame(m.video->Renderer()), n);
            const int code = row.firstCode + n;
            const int seconds = code / row.fps;
            const TDateTime date = row.recorded + double(n * row.frame / kUnitsPerSecond) / SecsPerDay + offset;
            EXPECT_EQ(lineOf(*m.video, 0), FormatDateTime(dateFormat, date));
            EXPECT_EQ(lineOf(*m.video, 1), QString::asprintf("%d:%.2d:%.2d:%.2d", seconds / 3600, seconds / 60 % 60,
                                                             seconds % 60, code % row.fps) +
                                               " at " + RefTimeToTimecodeStr(row.frame, n * row.frame));
            EXPECT_EQ(lineOf(*m.video, 2), "hidden");
        }
        // The lines are drawn over the picture.
        EXPECT_FALSE(m.video->InlayBitmap().isNull());

        // Without the stream the codes show their fallbacks, the picture
        // number's too.
        send(*m.video, WM_IMAGENUMBER, TIncrustNumero{true, QStringLiteral("0042")});
        m.video->InsertPattern(0).Pattern = QStringLiteral("%D|%N");
        m.video->UpdateInsertTexts();
        EXPECT_TRUE(lineOf(*m.video, 0).endsWith(QStringLiteral("|0042")));
        m.video->TimecodeFallback = QStringLiteral("--:--");
        m.video->NumberFallback = QStringLiteral("no number");
        m.video->InsertPattern(0).DateFallback = QStringLiteral("no date");
        m.video->DisconnectVideoDevice(true);
        m.video->UpdateInsertTexts();
        EXPECT_EQ(lineOf(*m.video, 0), "no date|no number");
        EXPECT_EQ(lineOf(*m.video, 1), "--:-- at ");
        EXPECT_FALSE(m.nav->DVCodeSource());
        EXPECT_FALSE(m.nav->FrameSource());
        EXPECT_EQ(m.nav->Duration(), 0);
        EXPECT_FALSE(inGraph(m.video->Renderer()));
    }
}

// The pattern rules, on records handed to the manager's window as the main
// window hands them.
TEST(VideoMan, PatternCodesTakeTheirValuesOnce)
{
    std::unique_ptr<TVideoMan> video(TKvActionComponent::Create<TVideoMan>(nullptr));
    const auto fill = [&](const QString& pattern) {
        video->InsertPattern(0).Pattern = pattern;
        video->UpdateInsertTexts();
        return lineOf(*video, 0);
    };
    send(*video, WM_VIDEOFILENAME, TIncrustFileName{true, QStringLiteral("/home/zoé/clips/100%Edit.avi")});
    // The file code in lower case, a separator and an inactive number.
    EXPECT_EQ(fill(QStringLiteral("%f - %N")), "100%Edit - ");
    EXPECT_EQ(fill(QStringLiteral("%P|%F|%e")), "/home/zoé/clips/|100%Edit|.avi");
    send(*video, WM_IMAGENUMBER, TIncrustNumero{true, QStringLiteral("%N0042")});
    EXPECT_EQ(fill(QStringLiteral("%n:%%N %x 50%")), "%N0042:%%N0042 %x 50%");

    struct Split
    {
        const char* path;
        const char* parts;
    };
    const Split splits[] = {
        {"/a/b.c/clip.tar.mp4", "/a/b.c/|clip.tar|.mp4"},
        {"/a/b.c/clip", "/a/b.c/|clip|"},
        {"relative.avi", "|relative|.avi"},
        {"/back\\slash.avi", "/|back\\slash|.avi"},
        {"/dir/", "/dir/||"},
    };
    for (const Split& split : splits) {
        send(*video, WM_VIDEOFILENAME, TIncrustFileName{true, QString::fromUtf8(split.path)});
        EXPECT_EQ(fill(QStringLiteral("%P|%F|%E")), split.parts) << split.path;
    }

    // The real date-time alone: short date and long time.
    const TDateTime now = EncodeDate(2025, 2, 3) + EncodeTime(4, 5, 6, 0);
    send(*video, WM_SYSDATETIME, TIncrustSysDate{true, now});
    EXPECT_EQ(fill(QStringLiteral("%R")), FormatDateTime(QStringLiteral("ddddd tt"), now));
    video->InsertPattern(0).RealDateFormat = QStringLiteral("hh:nn");
    EXPECT_EQ(fill(QStringLiteral("%r")), "04:05");
    send(*video, WM_SYSDATETIME, TIncrustSysDate{false, now});
    EXPECT_EQ(fill(QStringLiteral("[%R]")), "[]");

    send(*video, WM_DVCODE, TIncrustDV{true, false, EncodeDate(2020, 1, 31), QStringLiteral("1:00:00:00")});
    video->InsertPattern(0).DateFormat = QStringLiteral("yyyy-mm-dd");
    video->SetInsertTimeOffset(1);
    EXPECT_EQ(fill(QStringLiteral("%D %T")), "2020-02-01 ");
    const QString position = QStringLiteral("0:00:01:05");
    send(*video, WM_TIMESTAMPTEXT, position);
    EXPECT_EQ(fill(QStringLiteral("%s")), "0:00:01:05");

    // Each line from its own pattern; an empty one hides its line.
    video->InsertPattern(0).Pattern.clear();
    video->InsertPattern(3).Pattern = QStringLiteral("%S");
    video->InsertPattern(7).Pattern = QStringLiteral("end");
    video->UpdateInsertTexts();
    const QStringList expected{"hidden", "hidden", "hidden", "0:00:01:05", "hidden", "hidden", "hidden", "end"};
    for (int i = 0; i < TVideoMan::kLineCount; ++i)
        EXPECT_EQ(lineOf(*video, i), expected[i]) << "line " << i;
}

TEST(VideoMan, TheFormatReportLeavesOutABlankDescription)
{
    std::unique_ptr<TVideoMan> video(TKvActionComponent::Create<TVideoMan>(nullptr));
    QStringList reports;
    video->OnNotifyVideoFormat = [&](const QString& text) { reports.append(text); };
    TVideoData data;
    data.sizeText = QStringLiteral("720x576 - 25 fps");
    for (const char* description : {"    ", "DV", "   ", ""}) {
        data.description = QString::fromLatin1(description);
        SendMessage(video->Handle(), WM_VIDEODATA, kVideoDataFormat, reinterpret_cast<LPARAM>(&data));
        SendMessage(video->Handle(), WM_VIDEODATA, kVideoDataCaption, reinterpret_cast<LPARAM>(&data));
    }
    EXPECT_EQ(reports, (QStringList{"720x576 - 25 fps", "720x576 - 25 fps - DV", "720x576 - 25 fps -    ",
                                    "720x576 - 25 fps - "}));
}

TEST(VideoMan, TheNoticeLiesAlongTheFootOfTheVideoArea)
{
    QWidget host;
    host.resize(400, 300);
    host.show();
    std::unique_ptr<TVideoMan> video(TKvActionComponent::Create<TVideoMan>(nullptr));
    video->OnNoVideoStream = [] { return QStringLiteral("Open a <b>video</b>"); };
    // Without a host nothing shows, not even as a window of its own.
    video->RepaintWindow();
    EXPECT_FALSE(video->Notice()->isVisible());
    video->SetWindow(&host);
    EXPECT_EQ(video->Notice()->toPlainText(), "Open a video");
    EXPECT_TRUE(video->Notice()->isVisible());
    EXPECT_EQ(video->Notice()->geometry(), QRect(8, 300 - 32 - 8, 384, 32));
    EXPECT_EQ(video->NoticePicture()->geometry(), QRect(104, (260 - 192) / 2, 192, 192));
    video->SetleHeight(50);
    EXPECT_EQ(video->Notice()->geometry(), QRect(8, 242, 384, 50));
    EXPECT_EQ(video->NoticePicture()->pos(), QPoint(104, 25));
    host.resize(16, 300);
    ProcessMessages();
    EXPECT_FALSE(video->Notice()->isVisible());
    EXPECT_TRUE(video->NoticePicture()->isVisible());

    // A host that goes takes the notice along; the next one gets new ones.
    {
        QWidget other;
        other.resize(200, 100);
        other.show();
        video->SetWindow(&other);
        EXPECT_EQ(video->Notice()->parentWidget(), &other);
    }
    ASSERT_TRUE(video->Notice());
    EXPECT_FALSE(video->Notice()->parentWidget());
    host.resize(400, 300);
    video->SetWindow(&host);
    EXPECT_TRUE(video->Notice()->isVisible());
    EXPECT_EQ(video->Notice()->geometry(), QRect(8, 242, 384, 50));
}

TEST(VideoMan, TheNextDecoderKeepsThePicture)
{
    AVManagers m;
    ASSERT_TRUE(m.video->ConnectVideo(AVManagers::videoOf(m.open("mpeg2.mpg"))));
    m.pause();
    QStringList decoders;
    m.video->OnNotifyVideoDecoder = [&](const QString& text) { decoders.append(text); };
    m.video->naNextDecoderVideo->Execute();
    m.pause();
    ASSERT_EQ(decoders.size(), 1);
    EXPECT_EQ(decoders[0], m.video->Decoders().CurrentDecoder()->Name());
    EXPECT_EQ(upstreamOf(m.video->Renderer()).get(), static_cast<IBaseFilter*>(m.video->FramesNotifier()));
    EXPECT_GE(shownFrame(m.video->Renderer()), 0);
}

TEST(VideoMan, WithoutASubtitleFilterSubtitlesLeaveTheGraphAlone)
{
    AVManagers m;
    TFileDevice* device = m.open("subtitles.mkv");
    ASSERT_TRUE(m.video->ConnectVideo(AVManagers::videoOf(device)));
    ASSERT_TRUE(device->SubtitleSource(0));
    const int filters = m.filterCount();
    // None set, and one that cannot be made.
    EXPECT_FALSE(m.video->ConnectSubtitleSource(device->SubtitleSource(0)));
    m.video->SetSubtitleFilter(&VSFilterRec());
    EXPECT_FALSE(m.video->ConnectSubtitleSource(device->SubtitleSource(0)));
    EXPECT_EQ(m.video->CurrentSubtitleSource(), NoSubtitleSource());
    EXPECT_EQ(m.filterCount(), filters);
    m.video->RemoveSubtitleSource();
    m.pause();
    EXPECT_EQ(shownFrame(m.video->Renderer()), 0);
}

// The pieces of a file go when the factory lets its devices go, and leave
// the graph when it is cleared: the managers forget them and connect the
// file again afterwards.
TEST(VideoMan, AFileThatGoesLeavesTheManagersWithoutAStream)
{
    AVManagers m;
    QStringList events;
    m.video->OnNotifyVideoFormat = [&](const QString& text) { events.append(text); };
    m.audio->OnNotifyAudioFormat = [&](const QString& text) { events.append(text); };
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        TFileDevice* device = m.open("h264.mp4");
        ASSERT_TRUE(m.audio->ConnectAudio(AVManagers::audioOf(device)));
        ASSERT_TRUE(m.video->ConnectVideo(AVManagers::videoOf(device)));
        m.pause();
        ASSERT_EQ(shownFrame(m.video->Renderer()), 0);
        m.nav->Stop();
        events.clear();
        if (round == 0)
            m.engine.factory->SetSourceFilter(nullptr);
        else
            m.nav->ClearGraph();
        EXPECT_EQ(m.video->CurrentSource(), NoVideoSource());
        EXPECT_EQ(m.video->VideoState(), TVideoMan::vsNoVideo);
        EXPECT_EQ(m.audio->CurrentSource(), NoAudioSource());
        EXPECT_EQ(m.audio->Status(), asNoAudio);
        EXPECT_FALSE(m.audio->AudioConnected());
        EXPECT_TRUE(events.contains("No Video"));
        EXPECT_TRUE(events.contains("No Audio"));
        EXPECT_FALSE(inGraph(m.video->Renderer()));
        EXPECT_FALSE(inGraph(m.audio->Renderer()));
        EXPECT_EQ(m.filterCount(), 0);
    }
    TFileDevice* device = m.open("h264.mp4");
    ASSERT_TRUE(m.audio->ConnectAudio(AVManagers::audioOf(device)));
    ASSERT_TRUE(m.video->ConnectVideo(AVManagers::videoOf(device)));
    m.pause();
    EXPECT_EQ(shownFrame(m.video->Renderer()), 0);
    EXPECT_EQ(m.audio->Status(), asAudioOn);
}
