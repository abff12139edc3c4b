#include "media/filters/frames_notifier.h"

#include "platform/graph/filter_graph.h"
#include "sink.h"
#include "tests/media/clip_reader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace testing_filters;

namespace {

// A decoded picture, as the decoder hands it on.
AM_MEDIA_TYPE pictureType(REFERENCE_TIME frame = kPalFrame)
{
    AM_MEDIA_TYPE type;
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_RGB32;
    type.formattype = FORMAT_VideoInfo;
    auto* vih = type.allocFormat<VIDEOINFOHEADER>();
    vih->AvgTimePerFrame = frame;
    vih->bmiHeader.biWidth = 4;
    vih->bmiHeader.biHeight = 4;
    vih->bmiHeader.biBitCount = 32;
    return type;
}

ComPtr<TFramesNotifier> framesNotifier(RecordingSink& sink)
{
    auto notifier = makeCom<TFramesNotifier>();
    notifier->SetFrameWindow(sink.wnd);
    notifier->SetTextWindow(sink.wnd);
    notifier->SetPositionWindow(sink.wnd);
    const AM_MEDIA_TYPE type = pictureType();
    notifier->SetMediaType(PINDIR_INPUT, &type);
    notifier->StartStreaming();
    return notifier;
}

HRESULT frameAt(TFramesNotifier* notifier, REFERENCE_TIME start)
{
    return notifier->Transform(makeSample(QByteArray(4, '\0'), start, start + kPalFrame).get());
}

// A video notifier on DV that reports frame data and video data to the sink.
ComPtr<TVideoNotifier> reportingVideoNotifier(RecordingSink& sink)
{
    auto video = makeCom<TVideoNotifier>();
    const AM_MEDIA_TYPE dv = dvVideoType();
    video->SetMediaType(PINDIR_INPUT, &dv);
    video->SetFrameDataWindow(sink.wnd);
    video->SetVideoWindow(sink.wnd);
    video->SetNotifyFrameData(true);
    video->SetNotifyVideoFormat(true);
    return video;
}

// The frames at `starts` and the position of each.
std::vector<REFERENCE_TIME> positionsOf(TFramesNotifier* notifier, std::initializer_list<REFERENCE_TIME> starts)
{
    std::vector<REFERENCE_TIME> found;
    for (const REFERENCE_TIME start : starts) {
        frameAt(notifier, start);
        found.push_back(notifier->currentPosition());
    }
    return found;
}

// What the position messages carried.
std::vector<REFERENCE_TIME> positionValues(RecordingSink& sink)
{
    std::vector<REFERENCE_TIME> found;
    for (const Message& m : sink.messages(WM_POSITIONVALUE))
        found.push_back(m.position);
    return found;
}

std::vector<QString> texts(RecordingSink& sink, UINT msg)
{
    std::vector<QString> found;
    for (const Message& m : sink.messages(msg))
        found.push_back(m.text);
    return found;
}

} // namespace

TEST(FramesNotifier, ReportsTheFrameDurationOfItsInput)
{
    RecordingSink sink;
    auto notifier = framesNotifier(sink);
    EXPECT_EQ(notifier->frameDuration(), kPalFrame);
    const AM_MEDIA_TYPE unknown = pictureType(0);
    notifier->SetMediaType(PINDIR_INPUT, &unknown);
    EXPECT_EQ(notifier->frameDuration(), 100'000);
    const auto reports = sink.messages(WM_FRAMEDURATION);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].wParam, WPARAM(kPalFrame));
    EXPECT_EQ(reports[1].wParam, WPARAM(100'000));
}

// Without a video-data link, or after a seek, positions come from the time
// stamps, snapped to the nearest frame (a half frame goes down). The
// position message carries the middle of the frame's time stamps plus the
// segment start, unsnapped.
TEST(FramesNotifier, SnapsTimeStampsToFrames)
{
    RecordingSink sink;
    auto notifier = framesNotifier(sink);
    notifier->SetPositionMessages(true);
    EXPECT_EQ(positionsOf(notifier.get(), {0, 400'000 + 150'000, 800'000 + 250'000, 1'600'000 + 200'000, -150'000}),
              (std::vector<REFERENCE_TIME>{0, 400'000, 1'200'000, 1'600'000, 0}));
    EXPECT_EQ(positionValues(sink),
              (std::vector<REFERENCE_TIME>{200'000, 750'000, 1'250'000, 2'000'000, 50'000}));

    // A seek: the times count from the segment start.
    sink.clear();
    notifier->NewSegment(4'000'000, 8'000'000, 1.0);
    EXPECT_EQ(positionsOf(notifier.get(), {390'000}), (std::vector<REFERENCE_TIME>{4'400'000}));
    EXPECT_EQ(positionValues(sink), (std::vector<REFERENCE_TIME>{4'590'000}));
}

// With a video-data link whose stream has no temporal compression, each
// frame is one frame further whatever its time stamp; a seek snaps again.
TEST(FramesNotifier, CountsFramesOfAnIntraStream)
{
    RecordingSink sink;
    auto video = makeCom<TVideoNotifier>();
    const AM_MEDIA_TYPE dv = dvVideoType();
    video->SetMediaType(PINDIR_INPUT, &dv);
    auto notifier = framesNotifier(sink);
    notifier->SetVideoDataLink(video.get());
    EXPECT_EQ(positionsOf(notifier.get(), {0, 123, 456}), (std::vector<REFERENCE_TIME>{0, 400'000, 800'000}));
    notifier->NewSegment(2'000'000, 8'000'000, 1.0);
    EXPECT_EQ(positionsOf(notifier.get(), {10, 20}), (std::vector<REFERENCE_TIME>{2'000'000, 2'400'000}));
}

// Texts: the time stamp text only when it changes, the position text for
// every frame; the text ring wraps after 100 slots.
TEST(FramesNotifier, SendsTextsFromARingOf100)
{
    RecordingSink sink;
    auto notifier = framesNotifier(sink);
    notifier->SetTextMessages(true);
    frameAt(notifier.get(), 0);
    frameAt(notifier.get(), 0);
    for (int n = 1; n < 100; ++n)
        frameAt(notifier.get(), n * kPalFrame);
    const auto stamps = texts(sink, WM_TIMESTAMPTEXT);
    const auto all = sink.messages(WM_POSITIONTEXT);
    ASSERT_EQ(all.size(), 101u);
    EXPECT_EQ(stamps.size(), 100u);
    EXPECT_EQ(all[0].text, "0:00:00:00");
    EXPECT_EQ(all[1].text, "0:00:00:00");
    EXPECT_EQ(all[26].text, "0:00:01:00");
    EXPECT_EQ(all[100].text, "0:00:03:24");
    EXPECT_EQ(all[100].slot, all[0].slot);
    EXPECT_NE(all[99].slot, all[0].slot);
}

// A target of 4,200,000 is reached by the frame at 4,000,000, half a frame
// before it. The frames before are neither delivered nor reported.
TEST(FramesNotifier, PreciseTarget)
{
    for (const REFERENCE_TIME target : {4'200'000, 4'200'001}) {
        SCOPED_TRACE(target);
        const REFERENCE_TIME reachedAt = target == 4'200'000 ? 4'000'000 : 4'400'000;
        RecordingSink sink;
        auto notifier = framesNotifier(sink);
        notifier->SetTextMessages(true);
        notifier->SetPositionMessages(true);
        notifier->SetTargetWindow(0, sink.wnd);
        notifier->SetTarget(0, target);
        for (int n = 0; n < 14; ++n) {
            const REFERENCE_TIME start = n * kPalFrame;
            EXPECT_EQ(frameAt(notifier.get(), start), start < reachedAt ? S_FALSE : S_OK) << n;
        }
        EXPECT_FALSE(notifier->targetArmed(0));
        const auto reached = sink.messages(WM_TARGETREACHED);
        ASSERT_EQ(reached.size(), 1u);
        EXPECT_EQ(reached[0].wParam, WPARAM(target));
        EXPECT_EQ(reached[0].lParam, LPARAM(reachedAt));
        const auto shown = positionValues(sink);
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.front(), reachedAt + kPalFrame / 2);
        EXPECT_EQ(texts(sink, WM_POSITIONTEXT).front(), RefTimeToTimecodeStr(kPalFrame, reachedAt));
        // The target message comes before the target frame's texts.
        EXPECT_EQ(sink.messages().front().msg, WM_FRAMEDURATION);
        EXPECT_EQ(sink.messages()[1].msg, WM_TARGETREACHED);
    }

    // A stop ends the wait for a target that was not reached: the next run
    // shows its frames from the first.
    RecordingSink sink;
    auto notifier = framesNotifier(sink);
    notifier->SetTargetWindow(0, sink.wnd);
    notifier->SetTarget(0, 40'000'000);
    EXPECT_EQ(frameAt(notifier.get(), 0), S_FALSE);
    notifier->Stop();
    EXPECT_FALSE(notifier->targetArmed(0));
    notifier->StartStreaming();
    EXPECT_EQ(frameAt(notifier.get(), 0), S_OK);
    EXPECT_TRUE(sink.messages(WM_TARGETREACHED).empty());
}

TEST(FramesNotifier, TargetTextAndDeliverSwitch)
{
    RecordingSink sink;
    auto notifier = framesNotifier(sink);
    notifier->SetTargetText(QStringLiteral("0:00:01:00"));
    std::vector<int> delivered;
    for (int n = 0; n < 30; ++n)
        if (frameAt(notifier.get(), n * kPalFrame) == S_OK)
            delivered.push_back(n);
    EXPECT_EQ(delivered, (std::vector<int>{25}));
    notifier->SetTargetText({});
    EXPECT_EQ(frameAt(notifier.get(), 30 * kPalFrame), S_OK);
    notifier->SetDeliverSamples(false);
    EXPECT_EQ(frameAt(notifier.get(), 31 * kPalFrame), S_FALSE);
}

// Frame data and video data relayed from one video notifier stay in step
// with the pictures, whatever the decoder's delay; equal video data is
// reported once (a pair of messages).
TEST(FramesNotifier, RelaysInStep)
{
    const auto pal = clips::videoPackets(clips::path(QStringLiteral("dv_pal.avi")), 20);
    ASSERT_EQ(pal.size(), 20u);
    RecordingSink sink;
    auto video = reportingVideoNotifier(sink);
    auto notifier = framesNotifier(sink);
    notifier->SetFrameDataLink(video.get());
    notifier->SetVideoDataLink(video.get());
    video->StartStreaming();
    constexpr int kDelay = 3; // frames inside the decoder
    for (int n = 0; n < 20 + kDelay; ++n) {
        if (n < 20)
            video->Transform(makeSample(pal[std::size_t(n)], n * kPalFrame).get());
        if (n >= kDelay)
            frameAt(notifier.get(), (n - kDelay) * kPalFrame);
    }
    const auto frames = sink.messages(WM_FRAMEDATA);
    ASSERT_EQ(frames.size(), 20u);
    for (int n = 0; n < 20; ++n) {
        EXPECT_EQ(frames[std::size_t(n)].frame.frameNumber, n);
        EXPECT_EQ(frames[std::size_t(n)].frame.timecodeText, QString::asprintf("10:20:30:%.2d", 5 + n)) << n;
    }
    const auto videos = sink.messages(WM_VIDEODATA);
    ASSERT_EQ(videos.size(), 2u);
    EXPECT_EQ(videos[0].wParam, kVideoDataFormat);
    EXPECT_EQ(videos[1].wParam, kVideoDataCaption);
    EXPECT_EQ(videos[0].video.description, "DV Type 2 Pal (4x3)");
}

// Any link may be missing; the links that are there still relay.
TEST(FramesNotifier, WorksWithLinksMissing)
{
    const auto pal = clips::videoPackets(clips::path(QStringLiteral("dv_pal.avi")), 3);
    ASSERT_EQ(pal.size(), 3u);
    for (int mask = 0; mask < 8; ++mask) {
        SCOPED_TRACE(mask);
        RecordingSink sink;
        auto video = reportingVideoNotifier(sink);
        auto audio = makeCom<TAudioNotifier>();
        const AM_MEDIA_TYPE wave = waveType(WAVE_FORMAT_PCM, 2, 48000, 16);
        audio->SetMediaType(PINDIR_INPUT, &wave);
        audio->SetAudioWindow(sink.wnd);
        audio->SetNotifyAudioData(true);
        auto notifier = framesNotifier(sink);
        notifier->SetFrameDataLink(mask & 1 ? video.get() : nullptr);
        notifier->SetVideoDataLink(mask & 2 ? video.get() : nullptr);
        notifier->SetAudioLink(mask & 4 ? audio.get() : nullptr);
        video->StartStreaming();
        audio->StartStreaming();
        sink.clear();
        std::vector<REFERENCE_TIME> shown;
        for (int n = 0; n < 3; ++n) {
            video->Transform(makeSample(pal[std::size_t(n)], n * kPalFrame).get());
            audio->Transform(makeSample(QByteArray(64, '\0'), n * kPalFrame).get());
            EXPECT_EQ(frameAt(notifier.get(), n * kPalFrame), S_OK);
            shown.push_back(notifier->currentPosition());
        }
        EXPECT_EQ(shown, (std::vector<REFERENCE_TIME>{0, 400'000, 800'000}));
        EXPECT_EQ(sink.messages(WM_FRAMEDATA).size(), mask & 1 ? 3u : 0u);
        EXPECT_EQ(sink.messages(WM_VIDEODATA).size(), mask & 2 ? 2u : 0u);
        // The audio notifier reports its first sample itself; the relay adds one.
        EXPECT_EQ(sink.messages(WM_AUDIODATA).size(), mask & 4 ? 2u : 1u);
    }
}

// A send from the streaming thread gives up when the graph stops, so a stop
// on the interface thread never waits for it.
TEST(FramesNotifier, SendGivesUpWhenTheGraphStops)
{
    RecordingSink sink;
    auto graph = makeCom<FilterGraph>();
    auto notifier = framesNotifier(sink);
    ASSERT_EQ(graph->AddFilter(notifier.get(), u"Frames"), S_OK);
    notifier->SetTextMessages(true);
    std::atomic<bool> done{false};
    std::thread streaming([&] {
        frameAt(notifier.get(), 0);
        done = true;
    });
    // This thread serves no message while the send waits.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(done);
    graph->Stop();
    streaming.join();
    EXPECT_TRUE(done);
    EXPECT_TRUE(sink.messages(WM_POSITIONTEXT).empty());
    graph->RemoveFilter(notifier.get());
}
