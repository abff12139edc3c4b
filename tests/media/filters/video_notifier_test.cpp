#include "media/filters/video_notifier.h"

#include "platform/rtl/datetime.h"
#include "sink.h"
#include "tests/media/clip_reader.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace testing_filters;

namespace {

constexpr qsizetype kPalSize = 144'000;
constexpr qsizetype kNtscSize = 120'000;

std::vector<QByteArray> dvFrames(const char* clip, int count)
{
    auto frames = clips::videoPackets(clips::path(QString::fromLatin1(clip)), count);
    EXPECT_EQ(frames.size(), std::size_t(count)) << clip;
    return frames;
}

// A frame without any DV codes.
QByteArray blank(qsizetype size = kPalSize)
{
    return QByteArray(size, '\0');
}

ComPtr<TVideoNotifier> connected(const AM_MEDIA_TYPE& type)
{
    auto notifier = makeCom<TVideoNotifier>();
    notifier->SetMediaType(PINDIR_INPUT, &type);
    return notifier;
}

// Streams the frames through the notifier with times n × 400,000.
void stream(TVideoNotifier* notifier, const std::vector<QByteArray>& frames, bool start = true)
{
    if (start)
        notifier->StartStreaming();
    for (std::size_t n = 0; n < frames.size(); ++n)
        EXPECT_EQ(notifier->Transform(makeSample(frames[n], REFERENCE_TIME(n) * kPalFrame).get()), S_OK);
}

using Scene = std::tuple<LPARAM, int, int>; // kind, frame number, reason

std::vector<Scene> scenes(RecordingSink& sink)
{
    std::vector<Scene> found;
    for (const Message& m : sink.messages(WM_SCENE))
        found.emplace_back(m.lParam, m.frame.frameNumber, m.frame.jumpReason);
    return found;
}

} // namespace

TEST(VideoNotifier, ReadsDVInAVideoFormat)
{
    const auto pal = dvFrames("dv_pal.avi", 3);
    auto notifier = connected(dvVideoType());
    notifier->SetNotifyFrameData(true);
    stream(notifier.get(), pal);
    TVideoData video = notifier->GetVideoData();
    EXPECT_EQ(video.description, "DV Type 2 Pal (4x3)");
    EXPECT_EQ(video.frameRate, 25);
    EXPECT_EQ(video.frameDuration, 400'000);
    TframeData frame = notifier->GetFrameData();
    EXPECT_EQ(frame.frameNumber, 2);
    EXPECT_TRUE(frame.valid);
    EXPECT_EQ(frame.system, 0);
    EXPECT_TRUE(frame.timecodeValid);
    EXPECT_EQ(frame.timecodeText, "10:20:30:07");
    ASSERT_TRUE(frame.dateValid);
    int year, month, day;
    DecodeDate(frame.recDate, year, month, day);
    EXPECT_EQ(std::tuple(year, month, day), std::tuple(2024, 5, 17));
    EXPECT_EQ(frame.dateText, FormatDateTime(QStringLiteral("ddddd - tt"), frame.recDate));
    EXPECT_EQ(frame.firstDate, frame.recDate);

    // The ring slot of each frame holds that frame.
    const FrameDataRing& ring = notifier->frameDataRing();
    EXPECT_EQ(ring.lastSlot(), 3);
    TframeData slot;
    ASSERT_TRUE(ring.read(1, slot));
    EXPECT_EQ(slot.frameNumber, 0);
    EXPECT_EQ(slot.timecodeText, "10:20:30:05");

    // A sample of another size is not read.
    QByteArray odd = blank(kPalSize + 1);
    notifier->Transform(makeSample(odd).get());
    frame = notifier->GetFrameData();
    EXPECT_EQ(frame.frameNumber, 3);
    EXPECT_EQ(frame.timecodeText, "10:20:30:07");
    EXPECT_EQ(notifier->GetVideoData().description, video.description);

    // A frame without codes shows the no-code texts.
    notifier->Transform(makeSample(blank()).get());
    frame = notifier->GetFrameData();
    EXPECT_FALSE(frame.dateValid);
    EXPECT_EQ(frame.dateText, "No Datecode");
    EXPECT_EQ(frame.timecodeText, "NoTimecode");
}

TEST(VideoNotifier, NamesDVOfADeviceAndWideNtsc)
{
    auto device = connected(dvVideoType());
    device->SetDVDevice(true);
    device->SetNotifyVideoFormat(true);
    stream(device.get(), dvFrames("dv_pal.avi", 1));
    EXPECT_EQ(device->GetVideoData().description, "DV type 1 Pal (4x3)");

    auto ntsc = connected(dvVideoType(333'667, 480));
    ntsc->SetNotifyVideoFormat(true);
    stream(ntsc.get(), dvFrames("dv_ntsc_wide.avi", 2));
    const TVideoData video = ntsc->GetVideoData();
    EXPECT_EQ(video.description, "DV Type 2 NTSC (16x9)");
    EXPECT_EQ(video.frameDuration, 333'667);
    EXPECT_EQ(video.aspectKind, akSixteenNine);
    EXPECT_EQ(ntsc->GetFrameData().timecodeText, "1:02:03:05");
}

TEST(VideoNotifier, ReadsDVData)
{
    auto notifier = connected(dvDataType());
    notifier->SetNotifyVideoFormat(true);
    stream(notifier.get(), dvFrames("dv_pal.avi", 1));
    const TVideoData video = notifier->GetVideoData();
    EXPECT_EQ(video.description, "DV type1 Pal  (4x3) ");
    EXPECT_EQ(video.sizeText, "720x576 - 25 fps");
    EXPECT_EQ(std::tuple(video.width, video.height, video.frameDuration),
              std::tuple(720, 576, REFERENCE_TIME(400'000)));
    TframeData frame = notifier->GetFrameData();
    EXPECT_TRUE(frame.valid);
    EXPECT_EQ(frame.audioText, "DV 48000Hz 16bits stereo");
    EXPECT_EQ(frame.sampleRate, 48000);
    EXPECT_EQ(frame.timecodeText, "10:20:30:05");

    notifier->Transform(makeSample(blank()).get());
    EXPECT_FALSE(notifier->GetFrameData().valid);
}

TEST(VideoNotifier, FrameDurationIsReportedOncePerChange)
{
    RecordingSink sink;
    auto notifier = makeCom<TVideoNotifier>();
    notifier->SetNotifyVideoFormat(true);
    notifier->SetFrameDurationWindow(sink.wnd);
    const AM_MEDIA_TYPE pal = dvVideoType();
    notifier->SetMediaType(PINDIR_INPUT, &pal);
    stream(notifier.get(), dvFrames("dv_pal.avi", 3));
    AM_MEDIA_TYPE ntsc = dvVideoType(333'667, 480);
    auto changed = makeSample(blank(kNtscSize));
    changed->SetMediaType(&ntsc);
    notifier->Transform(changed.get());
    std::vector<WPARAM> durations;
    for (const Message& m : sink.messages(WM_FRAMEDURATION))
        durations.push_back(m.wParam);
    EXPECT_EQ(durations, (std::vector<WPARAM>{400'000, 333'667}));
}

// Each reason with a scene delay of 0 frames: the jump is reported on the
// frame after it, as the end of the frame before and the start of the frame
// after; the stop ends the last scene.
TEST(VideoNotifier, SceneReasons)
{
    const auto pal = dvFrames("dv_pal.avi", 4);
    const auto joined = dvFrames("dv_joined.avi", 30);
    const std::vector<QByteArray> gap(joined.begin() + 22, joined.begin() + 28);
    struct Case
    {
        int reason;
        std::vector<QByteArray> frames;
        std::int32_t maxSceneSeconds = 0;
    };
    std::vector<Case> cases = {
        {jrDateBegins, {blank(), blank(), pal[0], pal[1], pal[2]}},
        {jrDateEnds, {pal[0], pal[1], blank(), blank(), blank()}},
        {jrDateGap, gap},
        {jrFormatChange, {blank(), blank(), blank(), blank(kNtscSize), blank(kNtscSize)}},
        {jrSceneTooLong, std::vector<QByteArray>(27, blank()), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        RecordingSink sink;
        auto notifier = connected(dvVideoType());
        notifier->SetSceneWindow(sink.wnd);
        notifier->SetSceneDelay(0);
        notifier->SetMaxSceneLength(c.maxSceneSeconds);
        stream(notifier.get(), c.frames);
        notifier->Stop();
        const int at = c.reason == jrSceneTooLong ? 25 : c.reason == jrDateGap || c.reason == jrFormatChange ? 3 : 2;
        const int last = int(c.frames.size()) - 1;
        EXPECT_EQ(scenes(sink), (std::vector<Scene>{{kSceneStart, 0, 0},
                                                    {kSceneEnd, at - 1, c.reason},
                                                    {kSceneStart, at, c.reason},
                                                    {kSceneEnd, last, 0}}));
    }
}

// The jump of the joined clip (frames 24 and 25) is reported once the scene
// delay has passed; a held jump is reported at the stop.
TEST(VideoNotifier, SceneDelay)
{
    const auto joined = dvFrames("dv_joined.avi", 50);
    RecordingSink sink;
    auto notifier = connected(dvVideoType());
    notifier->SetSceneWindow(sink.wnd);
    notifier->SetSceneDelay(200); // 5 frames
    stream(notifier.get(), {joined.begin(), joined.begin() + 30});
    EXPECT_EQ(scenes(sink).size(), 1u);
    stream(notifier.get(), {joined.begin() + 30, joined.begin() + 31}, false);
    EXPECT_EQ(scenes(sink), (std::vector<Scene>{{kSceneStart, 0, 0}, {kSceneEnd, 24, 2}, {kSceneStart, 25, 2}}));

    // With the default delay of one second the jump is still held at the
    // end of the clip.
    RecordingSink held;
    auto other = connected(dvVideoType());
    other->SetSceneWindow(held.wnd);
    stream(other.get(), joined);
    EXPECT_EQ(scenes(held).size(), 1u);
    other->Stop();
    EXPECT_EQ(scenes(held),
              (std::vector<Scene>{{kSceneStart, 0, 0}, {kSceneEnd, 24, 2}, {kSceneStart, 25, 2}, {kSceneEnd, 49, 0}}));
}

// One frame without codes among dated frames is a glitch: back to the state
// before the jump, nothing is reported.
TEST(VideoNotifier, GlitchIsDropped)
{
    auto frames = dvFrames("dv_pal.avi", 10);
    frames[5] = blank();
    RecordingSink sink;
    auto notifier = connected(dvVideoType());
    notifier->SetSceneWindow(sink.wnd);
    notifier->SetSceneDelay(200);
    stream(notifier.get(), frames);
    notifier->Stop();
    EXPECT_EQ(scenes(sink), (std::vector<Scene>{{kSceneStart, 0, 0}, {kSceneEnd, 9, 0}}));
}

// The scene after a seek starts without a report and compares with nothing
// before the seek.
TEST(VideoNotifier, SeekStartsASceneSilently)
{
    const auto joined = dvFrames("dv_joined.avi", 50);
    RecordingSink sink;
    auto notifier = connected(dvVideoType());
    notifier->SetSceneWindow(sink.wnd);
    notifier->SetSceneDelay(0);
    stream(notifier.get(), {joined.begin(), joined.begin() + 3});
    notifier->NewSegment(40 * kPalFrame, 50 * kPalFrame, 1.0);
    stream(notifier.get(), {joined.begin() + 40, joined.end()}, false);
    EXPECT_EQ(scenes(sink), (std::vector<Scene>{{kSceneStart, 0, 0}}));
}

TEST(VideoNotifier, DVCodesAreSentFromARingOf48)
{
    const auto pal = dvFrames("dv_pal.avi", 49);
    RecordingSink sink;
    auto notifier = connected(dvVideoType());
    notifier->SetDVCodeWindow(sink.wnd);
    notifier->SetNotifyDVCode(true); // sends the codes at once
    stream(notifier.get(), pal);
    const auto codes = sink.messages(WM_DVCODE);
    ASSERT_EQ(codes.size(), 50u);
    EXPECT_EQ(codes[0].dv.timecodeText, "NoTimecode");
    EXPECT_EQ(codes[1].dv.timecodeText, "10:20:30:05");
    EXPECT_TRUE(codes[1].dv.dateValid);
    EXPECT_EQ(codes[49].dv.timecodeText, "10:20:32:03");
    EXPECT_EQ(codes[49].slot, codes[1].slot);
    EXPECT_NE(codes[48].slot, codes[1].slot);
    EXPECT_EQ(notifier->dvCodeRing().lastSlot(), 1);
}

TEST(VideoNotifier, HoldsBackOrPassesSamples)
{
    auto notifier = connected(dvVideoType());
    auto sample = makeSample(blank());
    // Not enabled: passed on unread.
    notifier->StartStreaming();
    EXPECT_EQ(notifier->Transform(sample.get()), S_OK);
    EXPECT_EQ(notifier->GetFrameData().frameNumber, -1);
    notifier->SetNotifyVideoFormat(true);
    notifier->SetPassSamples(false);
    EXPECT_EQ(notifier->Transform(sample.get()), S_FALSE);
    notifier->Reset();
    EXPECT_EQ(notifier->Transform(sample.get()), S_OK);
    EXPECT_EQ(notifier->GetFrameData().frameNumber, 1);
}
