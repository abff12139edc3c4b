// The notifiers in a running graph: a DV stream from a clip passes the video
// notifier and the frames notifier on the graph's streaming thread, while
// this thread receives their messages.

#include "media/filters/frames_notifier.h"

#include "platform/graph/filter_graph.h"
#include "platform/graph/source.h"
#include "sink.h"
#include "tests/media/clip_reader.h"
#include "tests/platform/graph/fakes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace testing_filters;

namespace {

// Delivers the frames of a DV clip as DV in a video format, frame n at
// n × 400,000.
class DVClipSource final : public SourceFilter
{
public:
    explicit DVClipSource(std::vector<QByteArray> frames)
        : SourceFilter("{4C1E0002-0000-4000-8000-000000000002}"_guid, u"DV Clip")
    {
        addStream(std::make_unique<Stream>(this, std::move(frames)));
    }

private:
    class Stream final : public OneTypeStream
    {
    public:
        Stream(DVClipSource* filter, std::vector<QByteArray> frames)
            : OneTypeStream(filter, dvVideoType(), 4, 144'000), frames_(std::move(frames))
        {
        }
        HRESULT OnThreadStartPlay() override
        {
            next_ = 0;
            return S_OK;
        }
        HRESULT FillBuffer(IMediaSample* sample) override
        {
            if (next_ >= frames_.size())
                return S_FALSE;
            const QByteArray& frame = frames_[next_];
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            std::memcpy(data, frame.constData(), std::size_t(frame.size()));
            sample->SetActualDataLength(LONG(frame.size()));
            REFERENCE_TIME start = REFERENCE_TIME(next_) * kPalFrame, stop = start + kPalFrame;
            sample->SetTime(&start, &stop);
            sample->SetSyncPoint(TRUE);
            ++next_;
            return S_OK;
        }

    private:
        std::vector<QByteArray> frames_;
        std::size_t next_ = 0;
    };
    ~DVClipSource() override = default;
};

struct NotifierGraph
{
    explicit NotifierGraph(const char* clip, int frames)
    {
        const auto packets = clips::videoPackets(clips::path(QString::fromLatin1(clip)), frames);
        EXPECT_EQ(packets.size(), std::size_t(frames));
        source = makeCom<DVClipSource>(packets);
        video = makeCom<TVideoNotifier>();
        video->SetFrameDataWindow(sink.wnd);
        video->SetVideoWindow(sink.wnd);
        video->SetNotifyFrameData(true);
        video->SetNotifyVideoFormat(true);
        video->SetSceneWindow(sink.wnd);
        video->SetSceneDelay(200);
        frames_ = makeCom<TFramesNotifier>();
        frames_->SetFrameWindow(sink.wnd);
        frames_->SetTextWindow(sink.wnd);
        frames_->SetPositionWindow(sink.wnd);
        frames_->SetTextMessages(true);
        frames_->SetPositionMessages(true);
        frames_->SetFrameDataLink(video.get());
        frames_->SetVideoDataLink(video.get());
        renderer = makeCom<fakes::Sink>(MEDIASUBTYPE_dvsd);
        graph->AddFilter(source.get(), u"Source");
        graph->AddFilter(video.get(), u"Video Source Notifier");
        graph->AddFilter(frames_.get(), u"Frames");
        graph->AddFilter(renderer.get(), u"Renderer");
        EXPECT_EQ(graph->ConnectDirect(source->GetPin(0), video->input(), nullptr), S_OK);
        EXPECT_EQ(graph->ConnectDirect(video->output(), frames_->input(), nullptr), S_OK);
        EXPECT_EQ(graph->ConnectDirect(frames_->output(), renderer->GetPin(0), nullptr), S_OK);
        graph->SetSyncSource(nullptr); // as fast as the frames come
    }

    // Runs to the end while this thread handles the messages, then stops.
    void play()
    {
        ASSERT_TRUE(SUCCEEDED(graph->Run()));
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (;;) {
            ProcessMessages();
            LONG code = 0;
            LONG_PTR first = 0, second = 0;
            if (graph->GetEvent(&code, &first, &second, 0) == S_OK && code == EC_COMPLETE)
                break;
            ASSERT_LT(std::chrono::steady_clock::now(), until) << "no completion";
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        graph->Stop();
    }

    RecordingSink sink;
    ComPtr<FilterGraph> graph = makeCom<FilterGraph>();
    ComPtr<DVClipSource> source;
    ComPtr<TVideoNotifier> video;
    ComPtr<TFramesNotifier> frames_;
    ComPtr<fakes::Sink> renderer;
};

} // namespace

TEST(NotifierGraph, TimeCodesAndPositionsOfEveryFrame)
{
    NotifierGraph g("dv_pal.avi", 50);
    g.play();
    const auto positions = g.sink.messages(WM_POSITIONVALUE);
    const auto texts = g.sink.messages(WM_POSITIONTEXT);
    const auto frames = g.sink.messages(WM_FRAMEDATA);
    ASSERT_EQ(positions.size(), 50u);
    ASSERT_EQ(texts.size(), 50u);
    ASSERT_EQ(frames.size(), 50u);
    for (int n = 0; n < 50; ++n) {
        const auto i = std::size_t(n);
        EXPECT_EQ(positions[i].position, n * kPalFrame);
        EXPECT_EQ(texts[i].text, QString::asprintf("0:00:%.2d:%.2d", n / 25, n % 25));
        EXPECT_EQ(frames[i].frame.frameNumber, n);
        const int tc = 5 + n;
        EXPECT_EQ(frames[i].frame.timecodeText, QString::asprintf("10:20:%.2d:%.2d", 30 + tc / 25, tc % 25));
    }
    EXPECT_EQ(g.sink.messages(WM_VIDEODATA).size(), 2u);
    EXPECT_EQ(g.renderer->log.size(), 50u);
}

TEST(NotifierGraph, DateGapGivesASceneEndAndStart)
{
    NotifierGraph g("dv_joined.avi", 50);
    g.play();
    std::vector<std::pair<LPARAM, int>> scenes;
    for (const Message& m : g.sink.messages(WM_SCENE))
        scenes.emplace_back(m.lParam, m.frame.frameNumber);
    EXPECT_EQ(scenes, (std::vector<std::pair<LPARAM, int>>{
                          {kSceneStart, 0}, {kSceneEnd, 24}, {kSceneStart, 25}, {kSceneEnd, 49}}));
}
