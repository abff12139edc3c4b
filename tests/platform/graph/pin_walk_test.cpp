#include "platform/graph/pin_walk.h"

#include "platform/graph/filter_graph.h"
#include "platform/graph/sample.h"
#include "tests/platform/graph/fakes.h"

#include <gtest/gtest.h>

namespace {

using namespace fakes;

struct Times
{
    HRESULT time;
    REFERENCE_TIME start = 0, stop = 0;
    HRESULT mediaTime;
    LONGLONG mediaStart = 0, mediaStop = 0;
    bool sync, preroll, discontinuity;
};

Times timesOf(IMediaSample* s)
{
    Times t{};
    t.time = s->GetTime(&t.start, &t.stop);
    t.mediaTime = s->GetMediaTime(&t.mediaStart, &t.mediaStop);
    t.sync = s->IsSyncPoint() == S_OK;
    t.preroll = s->IsPreroll() == S_OK;
    t.discontinuity = s->IsDiscontinuity() == S_OK;
    return t;
}

TEST(CopySampleProperties, CopiesWhatTheSourceHasAndClearsTheRest)
{
    const auto source = makeCom<MediaSample>(16);
    const auto dest = makeCom<MediaSample>(16);
    REFERENCE_TIME start = 400'000, stop = 800'000;
    LONGLONG mediaStart = 1, mediaStop = 2;
    source->SetTime(&start, &stop);
    source->SetMediaTime(&mediaStart, &mediaStop);
    source->SetSyncPoint(TRUE);
    source->SetDiscontinuity(TRUE);
    CopySampleProperties(source.get(), dest.get());
    Times t = timesOf(dest.get());
    EXPECT_EQ(t.time, S_OK);
    EXPECT_EQ(t.start, 400'000);
    EXPECT_EQ(t.stop, 800'000);
    EXPECT_EQ(t.mediaTime, S_OK);
    EXPECT_EQ(t.mediaStart, 1);
    EXPECT_EQ(t.mediaStop, 2);
    EXPECT_TRUE(t.sync);
    EXPECT_FALSE(t.preroll);
    EXPECT_TRUE(t.discontinuity);

    // A start without a stop stays so; no media time and no flags clear them.
    const auto startOnly = makeCom<MediaSample>(16);
    startOnly->SetTime(&start, nullptr);
    startOnly->SetPreroll(TRUE);
    CopySampleProperties(startOnly.get(), dest.get());
    t = timesOf(dest.get());
    EXPECT_EQ(t.time, VFW_S_NO_STOP_TIME);
    EXPECT_EQ(t.start, 400'000);
    EXPECT_NE(t.mediaTime, S_OK);
    EXPECT_FALSE(t.sync);
    EXPECT_TRUE(t.preroll);
    EXPECT_FALSE(t.discontinuity);

    CopySampleProperties(makeCom<MediaSample>(16).get(), dest.get());
    EXPECT_TRUE(FAILED(timesOf(dest.get()).time));
}

// source -> recorder -> copier -> sink, and a filter on its own.
class Chain : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(graph->AddFilter(source.get(), u"Source"), S_OK);
        ASSERT_EQ(graph->AddFilter(recorder.get(), u"Recorder"), S_OK);
        ASSERT_EQ(graph->AddFilter(copier.get(), u"Copier"), S_OK);
        ASSERT_EQ(graph->AddFilter(sink.get(), u"Sink"), S_OK);
        ASSERT_EQ(graph->AddFilter(alone.get(), u"Alone"), S_OK);
        ASSERT_EQ(graph->ConnectDirect(source->video, recorder->input(), nullptr), S_OK);
        ASSERT_EQ(graph->ConnectDirect(recorder->output(), copier->input(), nullptr), S_OK);
        ASSERT_EQ(graph->ConnectDirect(copier->output(), sink->input(), nullptr), S_OK);
    }

    bool inGraph(LPCWSTR name)
    {
        ComPtr<IBaseFilter> found;
        return graph->FindFilterByName(name, found.put()) == S_OK;
    }

    ComPtr<FilterGraph> graph = makeCom<FilterGraph>();
    ComPtr<CountingSource> source = makeCom<CountingSource>(3);
    ComPtr<Recorder> recorder = makeCom<Recorder>();
    ComPtr<Copier> copier = makeCom<Copier>();
    ComPtr<Sink> sink = makeCom<Sink>();
    ComPtr<Recorder> alone = makeCom<Recorder>();
};

TEST_F(Chain, ConnectionsAndUpstreamFilters)
{
    EXPECT_TRUE(IsFilterConnected(source.get()));
    EXPECT_TRUE(IsFilterConnected(copier.get()));
    EXPECT_TRUE(IsFilterConnected(sink.get()));
    EXPECT_FALSE(IsFilterConnected(alone.get()));

    EXPECT_TRUE(IsUpstreamFilter(sink.get(), copier.get()));
    EXPECT_TRUE(IsUpstreamFilter(sink.get(), source.get()));
    EXPECT_TRUE(IsUpstreamFilter(copier.get(), source.get()));
    // Only upstream counts.
    EXPECT_FALSE(IsUpstreamFilter(source.get(), sink.get()));
    EXPECT_FALSE(IsUpstreamFilter(recorder.get(), copier.get()));
    EXPECT_FALSE(IsUpstreamFilter(sink.get(), alone.get()));
    EXPECT_FALSE(IsUpstreamFilter(sink.get(), sink.get()));
}

TEST_F(Chain, RemovesTheFiltersBetween)
{
    RemoveFiltersUpTo(graph.get(), sink.get(), source.get());
    EXPECT_TRUE(inGraph(u"Source"));
    EXPECT_TRUE(inGraph(u"Sink"));
    EXPECT_TRUE(inGraph(u"Alone"));
    EXPECT_FALSE(inGraph(u"Recorder"));
    EXPECT_FALSE(inGraph(u"Copier"));
    EXPECT_FALSE(IsFilterConnected(source.get()));
    EXPECT_FALSE(IsFilterConnected(sink.get()));
    EXPECT_FALSE(IsFilterConnected(recorder.get()));
    EXPECT_FALSE(IsFilterConnected(copier.get()));

    // The ends can be joined again.
    EXPECT_EQ(graph->ConnectDirect(source->video, sink->input(), nullptr), S_OK);
}

TEST_F(Chain, StopsAtTheGivenFilter)
{
    RemoveFiltersUpTo(graph.get(), sink.get(), recorder.get());
    EXPECT_FALSE(inGraph(u"Copier"));
    EXPECT_TRUE(inGraph(u"Recorder"));
    EXPECT_TRUE(IsUpstreamFilter(recorder.get(), source.get()));
    EXPECT_FALSE(IsFilterConnected(sink.get()));
}

} // namespace
