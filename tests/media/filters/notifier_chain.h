#pragma once
// The notifiers in a running graph: behind a video pin, the video notifier,
// a decoder when one is given, the frames notifier and a renderer; their
// messages go to one recording window on this thread while the graph's
// streaming thread runs them.

#include "media/filters/frames_notifier.h"
#include "platform/graph/filter_graph.h"
#include "platform/graph/pin_walk.h"
#include "platform/graph/renderer.h"
#include "sink.h"
#include "tests/media/clip_reader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace testing_filters {

// Takes any video and counts the samples.
class VideoRenderer final : public BaseRenderer
{
public:
    VideoRenderer() : BaseRenderer("{4C1E0002-0000-4000-8000-000000000003}"_guid, u"Video Renderer") {}
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override
    {
        return type->majortype == MEDIATYPE_Video ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT DoRenderSample(IMediaSample*) override
    {
        ++rendered;
        return S_OK;
    }
    std::atomic<int> rendered{0};
};

// Delivers whole DV frames in the type given, frame n at n × 400,000.
class DVFramesStream final : public OneTypeStream
{
public:
    DVFramesStream(BaseFilter* filter, const AM_MEDIA_TYPE& type, std::vector<QByteArray> frames)
        : OneTypeStream(filter, type, 4, 144'000), frames_(std::move(frames))
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

// Delivers the frames of a DV clip in the type given.
class DVClipSource final : public SourceFilter
{
public:
    DVClipSource(const char* clip, int count, const AM_MEDIA_TYPE& type)
        : SourceFilter("{4C1E0002-0000-4000-8000-000000000002}"_guid, u"DV Clip")
    {
        auto frames = clips::videoPackets(clips::path(QString::fromLatin1(clip)), count);
        EXPECT_EQ(frames.size(), std::size_t(count)) << clip;
        addStream(std::make_unique<DVFramesStream>(this, type, std::move(frames)));
    }

private:
    ~DVClipSource() override = default;
};

struct NotifierChain
{
    NotifierChain()
    {
        video->SetFrameDataWindow(sink.wnd);
        video->SetVideoWindow(sink.wnd);
        video->SetNotifyFrameData(true);
        video->SetNotifyVideoFormat(true);
        video->SetSceneWindow(sink.wnd);
        video->SetSceneDelay(200);
        frames->SetFrameWindow(sink.wnd);
        frames->SetTextWindow(sink.wnd);
        frames->SetPositionWindow(sink.wnd);
        frames->SetTextMessages(true);
        frames->SetPositionMessages(true);
        frames->SetFrameDataLink(video.get());
        frames->SetVideoDataLink(video.get());
        graph->AddFilter(video.get(), u"Video Source Notifier");
        graph->AddFilter(frames.get(), u"Frames");
        graph->AddFilter(renderer.get(), u"Renderer");
        graph->SetSyncSource(nullptr); // as fast as the frames come
    }

    // Connects the chain behind `pin`, a pin of a filter in the graph.
    void connect(IPin* pin, IBaseFilter* decoder = nullptr)
    {
        ASSERT_EQ(graph->ConnectDirect(pin, video->input(), nullptr), S_OK);
        if (decoder) {
            graph->AddFilter(decoder, u"Decoder");
            ASSERT_EQ(graph->Connect(video->output(), firstPin(decoder, PINDIR_INPUT).get()), S_OK);
            ASSERT_EQ(graph->Connect(firstPin(decoder, PINDIR_OUTPUT).get(), frames->input()), S_OK);
        } else {
            ASSERT_EQ(graph->ConnectDirect(video->output(), frames->input(), nullptr), S_OK);
        }
        ASSERT_EQ(graph->ConnectDirect(frames->output(), renderer->input(), nullptr), S_OK);
    }

    // Runs to the end while this thread handles the messages, then stops.
    void play()
    {
        ASSERT_TRUE(SUCCEEDED(graph->Run()));
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
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

    // Every frame of the PAL clip (time code 10:20:30:05 on frame 0) was
    // reported with its stream time, its position text (n x 400,000) and
    // its frame data.
    void expectEveryFrameOfThePalClip(int count)
    {
        const auto positions = sink.messages(WM_POSITIONVALUE);
        const auto texts = sink.messages(WM_POSITIONTEXT);
        const auto frameData = sink.messages(WM_FRAMEDATA);
        ASSERT_EQ(positions.size(), std::size_t(count));
        ASSERT_EQ(texts.size(), std::size_t(count));
        ASSERT_EQ(frameData.size(), std::size_t(count));
        for (int n = 0; n < count; ++n) {
            const auto i = std::size_t(n);
            EXPECT_EQ(positions[i].position, n * kPalFrame + kPalFrame / 2); // the middle of the frame
            EXPECT_EQ(texts[i].text, QString::asprintf("0:00:%.2d:%.2d", n / 25, n % 25));
            EXPECT_EQ(frameData[i].frame.frameNumber, n);
            const int tc = 5 + n;
            EXPECT_EQ(frameData[i].frame.timecodeText, QString::asprintf("10:20:%.2d:%.2d", 30 + tc / 25, tc % 25));
        }
        EXPECT_EQ(sink.messages(WM_VIDEODATA).size(), 2u);
        EXPECT_EQ(renderer->rendered, count);
    }

    // The joined clip: one scene of frames 0 to 24, one of 25 to 49.
    void expectTheScenesOfTheJoinedClip()
    {
        std::vector<std::pair<LPARAM, int>> scenes;
        for (const Message& m : sink.messages(WM_SCENE))
            scenes.emplace_back(m.lParam, m.frame.frameNumber);
        EXPECT_EQ(scenes, (std::vector<std::pair<LPARAM, int>>{
                              {kSceneStart, 0}, {kSceneEnd, 24}, {kSceneStart, 25}, {kSceneEnd, 49}}));
    }

    RecordingSink sink;
    ComPtr<FilterGraph> graph = makeCom<FilterGraph>();
    ComPtr<TVideoNotifier> video = makeCom<TVideoNotifier>();
    ComPtr<TFramesNotifier> frames = makeCom<TFramesNotifier>();
    ComPtr<VideoRenderer> renderer = makeCom<VideoRenderer>();
};

} // namespace testing_filters
