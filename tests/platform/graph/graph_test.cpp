#include "fakes.h"

#include "platform/core/class_registry.h"
#include "platform/graph/capture_graph_builder.h"
#include "platform/graph/filter_graph.h"
#include "platform/graph/filter_mapper.h"
#include "platform/graph/pin_walk.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace fakes;

namespace {

// The graph is paused with its renderers cued: after a pause, a seek or a
// step, once the picture is there.
::testing::AssertionResult cued(IMediaControl* graph)
{
    OAFilterState state;
    if (graph->GetState(10'000, &state) != S_OK || state != State_Paused)
        return ::testing::AssertionFailure() << "not paused with its pictures";
    return ::testing::AssertionSuccess();
}

// A graph of source, in-place recorder, copier and sink, connected directly.
struct Chain
{
    ComPtr<FilterGraph> graph = makeCom<FilterGraph>();
    ComPtr<CountingSource> source;
    ComPtr<Recorder> recorder = makeCom<Recorder>();
    ComPtr<Copier> copier = makeCom<Copier>();
    ComPtr<Sink> sink = makeCom<Sink>();

    explicit Chain(LONGLONG count, REFERENCE_TIME frame = kFrame) : source(makeCom<CountingSource>(count, frame)) {}

    void connect()
    {
        ASSERT_EQ(graph->AddFilter(source.get(), u"Source"), S_OK);
        ASSERT_EQ(graph->AddFilter(recorder.get(), u"Recorder"), S_OK);
        ASSERT_EQ(graph->AddFilter(copier.get(), u"Copier"), S_OK);
        ASSERT_EQ(graph->AddFilter(sink.get(), u"Sink"), S_OK);
        ASSERT_EQ(graph->ConnectDirect(source->video, recorder->input(), nullptr), S_OK);
        ASSERT_EQ(graph->ConnectDirect(recorder->output(), copier->input(), nullptr), S_OK);
        ASSERT_EQ(graph->ConnectDirect(copier->output(), sink->input(), nullptr), S_OK);
    }
    IMediaControl* control() { return graph.get(); }

    // Runs free (no clock) to the end of the stream.
    LONG runToEnd()
    {
        graph->SetSyncSource(nullptr);
        EXPECT_EQ(control()->Run(), S_OK);
        LONG code = 0;
        EXPECT_EQ(graph->WaitForCompletion(10'000, &code), S_OK);
        return code;
    }
};

// The chain with a filter on its own beside it, for the walks along connections.
struct WalkedChain : Chain
{
    WalkedChain() : Chain(3)
    {
        connect();
        EXPECT_EQ(graph->AddFilter(alone.get(), u"Alone"), S_OK);
    }

    bool inGraph(LPCWSTR name)
    {
        ComPtr<IBaseFilter> found;
        return graph->FindFilterByName(name, found.put()) == S_OK;
    }

    ComPtr<Recorder> alone = makeCom<Recorder>();
};

// A source of four frames in two streams, each to a renderer of its own.
struct TwoRenderers
{
    ComPtr<FilterGraph> graph = makeCom<FilterGraph>();
    ComPtr<CountingSource> source = makeCom<CountingSource>(4);
    ComPtr<Sink> video = makeCom<Sink>();
    ComPtr<Sink> sound = makeCom<Sink>(MEDIASUBTYPE_PCM, MEDIATYPE_Audio);

    void connect()
    {
        CountingStream* audio = source->addAudio();
        graph->AddFilter(source.get(), u"Source");
        graph->AddFilter(video.get(), u"Video");
        graph->AddFilter(sound.get(), u"Audio");
        ASSERT_EQ(graph->ConnectDirect(source->video, video->input(), nullptr), S_OK);
        ASSERT_EQ(graph->ConnectDirect(audio, sound->input(), nullptr), S_OK);
    }
};

// Serves sends until `done`. The tests' own conditions wake no wait, so it
// looks at them every millisecond.
bool waitFor(const std::function<bool()>& done, int ms = 10'000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        WaitServingMessages(done, 1);
    }
    return true;
}

} // namespace

TEST(Graph, SamplesPassInPlaceAndCopyTransformsWithTimesAndFlags)
{
    Chain chain(6);
    chain.source->noStopAt = 4;
    chain.connect();
    EXPECT_EQ(chain.runToEnd(), EC_COMPLETE);
    EXPECT_EQ(chain.recorder->starts, 1);
    EXPECT_EQ(chain.recorder->stops, 0);
    chain.control()->Stop();
    EXPECT_EQ(chain.recorder->stops, 1);

    const auto inPlace = chain.recorder->log.all();
    const auto rendered = chain.sink->log.all();
    ASSERT_EQ(rendered.size(), 6u);
    ASSERT_EQ(inPlace.size(), 6u);
    for (std::size_t n = 0; n < rendered.size(); ++n) {
        SCOPED_TRACE(n);
        const Seen& s = rendered[n];
        EXPECT_EQ(s.value, n);
        EXPECT_EQ(s.start, static_cast<REFERENCE_TIME>(n) * kFrame);
        if (n == 4) {
            EXPECT_EQ(s.timeResult, VFW_S_NO_STOP_TIME);
        } else {
            EXPECT_EQ(s.timeResult, S_OK);
            EXPECT_EQ(s.stop, static_cast<REFERENCE_TIME>(n + 1) * kFrame);
        }
        EXPECT_EQ(s.mediaStart, static_cast<LONGLONG>(n));
        EXPECT_EQ(s.sync, n % 3 == 0);
        EXPECT_EQ(s.preroll, n < 2);
        EXPECT_EQ(s.discontinuity, n == 0);
        // The copy transform delivers its own buffers.
        EXPECT_NE(s.sample, inPlace[n].sample);
    }
}

TEST(Graph, ReleasingTheGraphReleasesItsConnectedFilters)
{
    const int before = Sink::alive;
    {
        Chain chain(3);
        chain.connect();
        ASSERT_GE(chain.control()->Pause(), S_OK);
        EXPECT_EQ(Sink::alive, before + 1);
    }
    EXPECT_EQ(Sink::alive, before);
}

TEST(Graph, SeeksThroughTheSourceConnectedNowAndLetsARemovedOneGo)
{
    Chain chain(6);
    chain.connect();
    LONGLONG duration = 0;
    ASSERT_EQ(chain.graph->GetDuration(&duration), S_OK);
    EXPECT_EQ(duration, 6 * kFrame);

    // Another source, first beside the chain, then in its source's place:
    // the graph seeks through the one connected.
    const auto other = makeCom<CountingSource>(9);
    ASSERT_EQ(chain.graph->AddFilter(other.get(), u"Other"), S_OK);
    ASSERT_EQ(chain.graph->GetDuration(&duration), S_OK);
    EXPECT_EQ(duration, 6 * kFrame);
    ASSERT_EQ(chain.graph->Disconnect(chain.source->video), S_OK);
    ASSERT_EQ(chain.graph->Disconnect(chain.recorder->input()), S_OK);
    ASSERT_EQ(chain.graph->ConnectDirect(other->video, chain.recorder->input(), nullptr), S_OK);
    ASSERT_EQ(chain.graph->GetDuration(&duration), S_OK);
    EXPECT_EQ(duration, 9 * kFrame);

    // A removed source is held by nobody but its owner.
    ASSERT_EQ(chain.graph->RemoveFilter(other.get()), S_OK);
    other->AddRef();
    EXPECT_EQ(other->Release(), 1u);
    ASSERT_EQ(chain.graph->RemoveFilter(chain.source.get()), S_OK);
    EXPECT_TRUE(FAILED(chain.graph->GetDuration(&duration)));
}

TEST(Graph, PausingAPausedGraphPausesOnlyAFilterAddedSince)
{
    Chain chain(6);
    chain.connect();
    ASSERT_GE(chain.control()->Pause(), S_OK);
    ASSERT_TRUE(cued(chain.control()));
    const auto late = makeCom<Recorder>();
    ASSERT_EQ(chain.graph->AddFilter(late.get(), u"Late"), S_OK);
    FILTER_STATE state = State_Running;
    ASSERT_EQ(late->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    ASSERT_GE(chain.control()->Pause(), S_OK);
    ASSERT_EQ(late->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Paused);
    EXPECT_TRUE(cued(chain.control()));
    chain.control()->Stop();
}

TEST(Graph, FalseFromTransformHoldsSampleBack)
{
    Chain chain(7);
    chain.recorder->holdBackOdd = true;
    chain.connect();
    EXPECT_EQ(chain.runToEnd(), EC_COMPLETE);
    chain.control()->Stop();

    EXPECT_EQ(chain.recorder->log.size(), 7u);
    std::vector<int> values;
    for (const Seen& s : chain.sink->log.all())
        values.push_back(s.value);
    EXPECT_EQ(values, (std::vector<int>{0, 2, 4, 6}));
}

TEST(Graph, MediaTypeAttachedToSampleReachesTransform)
{
    Chain chain(5);
    chain.source->typeAt = 3;
    chain.connect();
    EXPECT_EQ(chain.runToEnd(), EC_COMPLETE);
    chain.control()->Stop();

    const auto seen = chain.recorder->log.all();
    ASSERT_EQ(seen.size(), 5u);
    for (std::size_t n = 0; n < seen.size(); ++n)
        EXPECT_EQ(seen[n].hasType, n == 3) << n;
    EXPECT_EQ(seen[3].type, videoType(MEDIASUBTYPE_RGB32, 8));
}

TEST(Graph, DuplicateNameIsRefusedAndSuffixedRetrySucceeds)
{
    const auto graph = makeCom<FilterGraph>();
    const auto first = makeCom<Recorder>();
    const auto second = makeCom<Recorder>();
    ASSERT_EQ(graph->AddFilter(first.get(), u"Video Source Notifier"), S_OK);
    EXPECT_EQ(graph->AddFilter(second.get(), u"Video Source Notifier"), VFW_E_DUPLICATE_NAME);
    EXPECT_EQ(graph->AddFilter(second.get(), u"Video Source Notifier_1"), S_OK);

    ComPtr<IBaseFilter> found;
    ASSERT_EQ(graph->FindFilterByName(u"Video Source Notifier_1", found.put()), S_OK);
    EXPECT_EQ(found.get(), static_cast<IBaseFilter*>(second.get()));
    FILTER_INFO info;
    second->QueryFilterInfo(&info);
    EXPECT_EQ(info.achName, u"Video Source Notifier_1");
    EXPECT_EQ(info.pGraph.get(), static_cast<IFilterGraph*>(graph.get()));

    // Without a name the graph picks a free one; a removed filter frees its name.
    const auto third = makeCom<Recorder>();
    ASSERT_EQ(graph->AddFilter(third.get(), nullptr), S_OK);
    third->QueryFilterInfo(&info);
    EXPECT_EQ(info.achName, u"Recorder");
    ASSERT_EQ(graph->RemoveFilter(first.get()), S_OK);
    EXPECT_EQ(graph->RemoveFilter(first.get()), VFW_E_NOT_FOUND);
    first->QueryFilterInfo(&info);
    EXPECT_FALSE(info.pGraph);
    EXPECT_EQ(graph->AddFilter(makeCom<Recorder>().get(), u"Video Source Notifier"), S_OK);
}

namespace {

constexpr CLSID kBest = "{4C1E0002-0000-4000-8000-000000000001}"_guid;
constexpr CLSID kSecond = "{4C1E0002-0000-4000-8000-000000000002}"_guid;
constexpr CLSID kThird = "{4C1E0002-0000-4000-8000-000000000003}"_guid;

// The graph's site: vetoes one class id and counts what the builder asks.
class Vetoer final : public ComObject<IAMGraphBuilderCallback>
{
public:
    explicit Vetoer(const CLSID& vetoed) : vetoed_(vetoed) {}

    HRESULT SelectedFilter(IMoniker* moniker) override
    {
        ComPtr<IBaseFilter> filter;
        if (FAILED(moniker->BindToObject(nullptr, nullptr, IBaseFilter::iid, filter.putVoid())))
            return E_FAIL;
        CLSID classId;
        filter->GetClassID(&classId);
        selected.push_back(classId);
        return classId == vetoed_ ? E_FAIL : S_OK;
    }
    HRESULT CreatedFilter(IBaseFilter*) override
    {
        ++created;
        return S_OK;
    }

    std::vector<CLSID> selected;
    int created = 0;

private:
    CLSID vetoed_;
};

// Three registered converters from RGB32 to RGB24, by merit Best > Second > Third.
class ConverterRegistration
{
public:
    ConverterRegistration()
    {
        for (const auto& [id, merit] :
             {std::pair{kThird, MERIT_UNLIKELY}, std::pair{kBest, MERIT_PREFERRED}, std::pair{kSecond, MERIT_NORMAL}}) {
            const CLSID classId = id;
            FilterMapper::instance().registerFilter(
                {classId, u"Converter", merit, {{MEDIATYPE_Video, MEDIASUBTYPE_RGB32}}, false});
            registerClass(classId, makeCom<ClassFactory>([classId](REFIID riid, void** object) {
                              return makeCom<Copier>(classId, MEDIASUBTYPE_RGB24)->QueryInterface(riid, object);
                          }));
        }
    }
    ~ConverterRegistration()
    {
        for (const CLSID& id : {kBest, kSecond, kThird}) {
            FilterMapper::instance().unregisterFilter(id);
            unregisterClass(id);
        }
    }
};

std::vector<CLSID> classesIn(IFilterGraph* graph)
{
    std::vector<CLSID> classes;
    ComPtr<IEnumFilters> filters;
    graph->EnumFilters(filters.put());
    ComPtr<IBaseFilter> filter;
    while (filters->Next(1, filter.put(), nullptr) == S_OK) {
        CLSID id;
        filter->GetClassID(&id);
        classes.push_back(id);
    }
    return classes;
}

} // namespace

TEST(Graph, AutomaticConnectionPicksByMeritAndSkipsVetoedClass)
{
    ConverterRegistration registration;
    {
        const auto graph = makeCom<FilterGraph>();
        const auto source = makeCom<CountingSource>(1);
        const auto sink = makeCom<Sink>(MEDIASUBTYPE_RGB24);
        graph->AddFilter(source.get(), u"Source");
        graph->AddFilter(sink.get(), u"Sink");
        EXPECT_EQ(graph->ConnectDirect(source->video, sink->input(), nullptr), VFW_E_NO_ACCEPTABLE_TYPES);
        ASSERT_EQ(graph->Connect(source->video, sink->input()), S_OK);
        const auto classes = classesIn(graph.get());
        EXPECT_EQ(std::count(classes.begin(), classes.end(), kBest), 1);
        EXPECT_EQ(classes.size(), 3u);
    }
    {
        const auto graph = makeCom<FilterGraph>();
        const auto source = makeCom<CountingSource>(1);
        const auto sink = makeCom<Sink>(MEDIASUBTYPE_RGB24);
        const auto site = makeCom<Vetoer>(kBest);
        graph->AddFilter(source.get(), u"Source");
        graph->AddFilter(sink.get(), u"Sink");
        graph->SetSite(site.get());
        ASSERT_EQ(graph->Connect(source->video, sink->input()), S_OK);
        graph->SetSite(nullptr);
        EXPECT_EQ(site->selected, (std::vector<CLSID>{kBest, kSecond}));
        EXPECT_EQ(site->created, 1);
        const auto classes = classesIn(graph.get());
        EXPECT_EQ(std::count(classes.begin(), classes.end(), kSecond), 1);
        EXPECT_EQ(std::count(classes.begin(), classes.end(), kBest), 0);
        AM_MEDIA_TYPE type;
        ASSERT_EQ(sink->input()->ConnectionMediaType(&type), S_OK);
        EXPECT_EQ(type.subtype, MEDIASUBTYPE_RGB24);
    }
}

TEST(Graph, PauseWithCueingRendererIsIntermediateUntilFirstSample)
{
    Chain chain(3);
    chain.source->gateOpen = false;
    chain.connect();
    EXPECT_EQ(chain.control()->Pause(), S_FALSE);
    OAFilterState state = -1;
    EXPECT_EQ(chain.control()->GetState(0, &state), VFW_S_STATE_INTERMEDIATE);
    EXPECT_EQ(state, State_Paused);
    EXPECT_EQ(chain.control()->GetState(20, &state), VFW_S_STATE_INTERMEDIATE);

    chain.source->gateOpen = true;
    EXPECT_EQ(chain.control()->GetState(10'000, &state), S_OK);
    EXPECT_EQ(state, State_Paused);
    // Cued, not rendered: a paused renderer holds the first sample.
    EXPECT_EQ(chain.sink->log.size(), 0u);
    EXPECT_EQ(chain.control()->Stop(), S_OK);
    EXPECT_EQ(chain.control()->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
}

// A pause of a graph paused already changes nothing and answers as the
// state does: intermediate while any filter is, wherever it stands in the
// graph, settled once every one is.
TEST(Graph, APauseOfAPausedGraphIsIntermediateWhileAnyFilterIs)
{
    Chain chain(3);
    chain.source->gateOpen = false;
    chain.connect();
    // Settled at once, after the others in the graph.
    const auto last = makeCom<Copier>();
    ASSERT_EQ(chain.graph->AddFilter(last.get(), u"Last"), S_OK);
    EXPECT_EQ(chain.control()->Pause(), S_FALSE);
    EXPECT_EQ(chain.control()->Pause(), S_FALSE);
    chain.source->gateOpen = true;
    OAFilterState state = -1;
    ASSERT_EQ(chain.control()->GetState(10'000, &state), S_OK);
    EXPECT_EQ(chain.control()->Pause(), S_OK);
    EXPECT_EQ(chain.sink->log.size(), 0u);
    EXPECT_EQ(chain.control()->Stop(), S_OK);
}

TEST(Graph, SeekFlushesAndStartsNewSegmentAtTarget)
{
    Chain chain(50);
    chain.connect();
    ASSERT_GE(chain.control()->Pause(), S_OK);
    ASSERT_TRUE(cued(chain.control()));

    GUID format;
    EXPECT_EQ(chain.graph->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME), S_OK);
    EXPECT_EQ(chain.graph->GetTimeFormat(&format), S_OK);
    EXPECT_EQ(format, TIME_FORMAT_MEDIA_TIME);
    DWORD caps = 0;
    ASSERT_EQ(chain.graph->GetCapabilities(&caps), S_OK);
    EXPECT_TRUE(caps & AM_SEEKING_CanSeekAbsolute);
    LONGLONG duration = 0;
    EXPECT_EQ(chain.graph->GetDuration(&duration), S_OK);
    EXPECT_EQ(duration, 50 * kFrame);

    LONGLONG target = 20 * kFrame;
    LONGLONG stop = std::numeric_limits<LONGLONG>::max();
    ASSERT_EQ(chain.graph->SetPositions(&target, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_NoPositioning),
              S_OK);
    // Paused again: cued by the first frame at the target.
    ASSERT_TRUE(cued(chain.control()));
    LONGLONG current = 0;
    EXPECT_EQ(chain.graph->GetCurrentPosition(&current), S_OK);
    EXPECT_EQ(current, target);
    chain.control()->Stop();

    EXPECT_EQ(chain.recorder->beginFlushes, 1);
    EXPECT_EQ(chain.recorder->endFlushes, 1);
    // Through the transforms to the renderer, which drops what it holds
    // (a sound device's buffer) on a new segment.
    for (const auto& segments : {chain.recorder->segments(), chain.sink->segments()})
        EXPECT_EQ(segments, (std::vector<REFERENCE_TIME>{0, target}));
    // The first frame after the seek is the target's, at stream time 0.
    const auto seen = chain.recorder->log.all();
    const auto afterSeek = std::find_if(seen.begin(), seen.end(), [](const Seen& s) { return s.value == 20; });
    ASSERT_NE(afterSeek, seen.end());
    EXPECT_EQ(afterSeek->start, 0);
    EXPECT_TRUE(afterSeek->discontinuity);
}

TEST(Graph, CompletionEventArrivesOnceOnGuiThread)
{
    // Two streams to two renderers: one completion once both have finished.
    TwoRenderers two;
    ASSERT_NO_FATAL_FAILURE(two.connect());
    const ComPtr<FilterGraph>& graph = two.graph;
    const ComPtr<Sink>& video = two.video;
    const ComPtr<Sink>& sound = two.sound;

    constexpr UINT kGraphNotify = WM_USER + 13;
    int completions = 0;
    bool offGuiThread = false;
    const auto guiThread = std::this_thread::get_id();
    const HWND window = AllocateHWnd([&](UINT msg, WPARAM, LPARAM lParam) -> LRESULT {
        if (msg != kGraphNotify)
            return 0;
        offGuiThread = offGuiThread || std::this_thread::get_id() != guiThread || lParam != 77;
        LONG code;
        LONG_PTR p1, p2;
        while (graph->GetEvent(&code, &p1, &p2, 0) == S_OK)
            completions += code == EC_COMPLETE ? 1 : 0;
        return 0;
    });
    ASSERT_NE(window, 0u);
    graph->SetNotifyWindow(window, kGraphNotify, 77);
    graph->SetSyncSource(nullptr);
    ASSERT_EQ(graph->Run(), S_OK);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (completions == 0 && std::chrono::steady_clock::now() < deadline) {
        ProcessMessages();
        Sleep(1);
    }
    // Anything further would be queued by now: both renderers are done.
    ASSERT_TRUE(waitFor([&] { return video->log.size() == 4 && sound->log.size() == 4; }));
    for (int i = 0; i < 20; ++i) {
        ProcessMessages();
        Sleep(1);
    }
    EXPECT_EQ(completions, 1);
    EXPECT_FALSE(offGuiThread);
    graph->Stop();
    graph->SetNotifyWindow(0, 0, 0);
    DeallocateHWnd(window);
}

TEST(Graph, CompletionWaitsForEveryRenderer)
{
    TwoRenderers two;
    ASSERT_NO_FATAL_FAILURE(two.connect());
    two.sound->hold = true;
    two.graph->SetSyncSource(nullptr);
    ASSERT_EQ(two.graph->Run(), S_OK);
    ASSERT_TRUE(waitFor([&] { return two.video->log.size() == 4; }));
    // The pictures are over, the sound is not.
    LONG code = 0;
    EXPECT_EQ(two.graph->WaitForCompletion(200, &code), E_ABORT);
    two.sound->hold = false;
    EXPECT_EQ(two.graph->WaitForCompletion(10'000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(two.sound->log.size(), 4u);
    two.graph->Stop();
}

TEST(Graph, AStreamThatFailsEndsTheWaitForCompletionWithAnError)
{
    Chain chain(10);
    chain.source->failAt = 3;
    chain.connect();
    EXPECT_EQ(chain.runToEnd(), EC_ERRORABORT);
    chain.control()->Stop();
}

TEST(Graph, ARefusedSeekKeepsTheCompletionAndAFailedRestartStops)
{
    Chain chain(3);
    chain.connect();
    EXPECT_EQ(chain.runToEnd(), EC_COMPLETE);
    // Before the start: refused, and the stream is still over.
    LONGLONG target = -kFrame;
    EXPECT_EQ(chain.graph->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
              E_INVALIDARG);
    LONG code = 0;
    EXPECT_EQ(chain.graph->WaitForCompletion(10'000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);

    // A renderer that will not run again: the graph says so and stops.
    chain.sink->refuseRun = true;
    target = kFrame;
    EXPECT_EQ(chain.graph->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
              E_FAIL);
    OAFilterState state = State_Running;
    EXPECT_EQ(chain.control()->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
}

TEST(Graph, ASourceThatCannotTellItsLengthStillSeeks)
{
    Chain chain(6);
    chain.source->forgetDuration();
    chain.connect();
    LONGLONG duration = 0;
    EXPECT_TRUE(FAILED(chain.graph->GetDuration(&duration)));
    DWORD wanted = AM_SEEKING_CanGetDuration;
    EXPECT_TRUE(FAILED(chain.graph->CheckCapabilities(&wanted)));
    LONGLONG target = 2 * kFrame;
    ASSERT_EQ(chain.graph->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
              S_OK);
    EXPECT_EQ(chain.runToEnd(), EC_COMPLETE);
    const auto rendered = chain.sink->log.all();
    ASSERT_EQ(rendered.size(), 4u);
    EXPECT_EQ(rendered.front().value, 2);
    EXPECT_EQ(rendered.back().value, 5);
    chain.control()->Stop();
}

TEST(Graph, FreeRunningRunsAheadOfTheClock)
{
    // The second frame is due an hour after the first.
    constexpr REFERENCE_TIME kHour = 36'000'000'000;
    Chain chain(2, kHour);
    chain.connect();

    ComPtr<IReferenceClock> clock;
    ASSERT_EQ(chain.control()->Run(), S_OK);
    chain.graph->GetSyncSource(clock.put());
    EXPECT_TRUE(clock);
    ASSERT_TRUE(waitFor([&] { return chain.sink->log.size() == 1; }));
    LONG code = 0;
    EXPECT_EQ(chain.graph->WaitForCompletion(100, &code), E_ABORT);
    EXPECT_EQ(chain.sink->log.size(), 1u);
    chain.control()->Stop();

    // Without a clock both frames render at once; restoring the default
    // clock brings one back.
    EXPECT_EQ(chain.graph->SetSyncSource(nullptr), S_OK);
    chain.graph->GetSyncSource(clock.put());
    EXPECT_FALSE(clock);
    LONGLONG start = 0;
    chain.graph->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    ASSERT_EQ(chain.control()->Run(), S_OK);
    EXPECT_EQ(chain.graph->WaitForCompletion(10'000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(chain.sink->log.size(), 3u);
    chain.control()->Stop();
    EXPECT_EQ(chain.graph->SetDefaultSyncSource(), S_OK);
    chain.graph->GetSyncSource(clock.put());
    EXPECT_TRUE(clock);
}

namespace {
// A clock that moves only when told.
class ManualClock final : public ComObject<IReferenceClock>
{
public:
    HRESULT GetTime(REFERENCE_TIME* time) override
    {
        *time = now;
        return S_OK;
    }
    std::atomic<REFERENCE_TIME> now{1'000'000'000};
};
} // namespace

TEST(Graph, PositionFollowsStreamTimeAndStandsStillWhilePaused)
{
    constexpr REFERENCE_TIME kSecond = 10'000'000;
    Chain chain(3, 3600 * kSecond);
    chain.connect();
    const auto clock = makeCom<ManualClock>();
    chain.graph->SetSyncSource(clock.get());
    LONGLONG position = -1;

    ASSERT_EQ(chain.control()->Run(), S_OK);
    clock->now += 5 * kSecond;
    chain.graph->GetCurrentPosition(&position);
    // Stream time starts a little after Run, so that all filters run first.
    EXPECT_GT(position, 4 * kSecond);
    EXPECT_LT(position, 5 * kSecond);
    const LONGLONG atPause = position;

    ASSERT_GE(chain.control()->Pause(), S_OK);
    clock->now += 100 * kSecond;
    chain.graph->GetCurrentPosition(&position);
    EXPECT_EQ(position, atPause);

    ASSERT_EQ(chain.control()->Run(), S_OK);
    clock->now += 2 * kSecond;
    chain.graph->GetCurrentPosition(&position);
    EXPECT_GT(position, atPause + kSecond);
    EXPECT_LE(position, atPause + 2 * kSecond);

    // A seek while running restarts stream time at the target.
    LONGLONG target = 60 * kSecond;
    chain.graph->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    clock->now += kSecond;
    chain.graph->GetCurrentPosition(&position);
    EXPECT_GT(position, target);
    EXPECT_LE(position, target + kSecond);
    chain.control()->Stop();
}

TEST(Graph, APauseFromRunningFindsTheRendererReadyAfterARunStraightFromStopped)
{
    constexpr REFERENCE_TIME kHour = 36'000'000'000;
    Chain chain(3, kHour);
    chain.connect();
    const auto clock = makeCom<ManualClock>();
    chain.graph->SetSyncSource(clock.get());
    OAFilterState state = -1;

    // Stopped to running without a pause between: the first frame comes
    // while running and waits for its time, which this clock never reaches.
    ASSERT_EQ(chain.control()->Run(), S_OK);
    ASSERT_TRUE(waitFor([&] { return chain.recorder->log.size() == 1; }));
    waitFor([] { return false; }, 20);
    ASSERT_EQ(chain.sink->log.size(), 0u);

    // The renderer holds that frame, so the pause is complete at once.
    chain.control()->Pause();
    EXPECT_EQ(chain.control()->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Paused);

    // Running on and pausing again: the same.
    ASSERT_EQ(chain.control()->Run(), S_OK);
    chain.control()->Pause();
    EXPECT_EQ(chain.control()->GetState(0, &state), S_OK);
    EXPECT_EQ(chain.control()->Stop(), S_OK);
}

namespace {
// A window that counts the messages it handles.
struct CountingWindow
{
    std::atomic<int> handled{0};
    const HWND handle = AllocateHWnd([this](UINT, WPARAM, LPARAM) -> LRESULT {
        ++handled;
        return 0;
    });
    ~CountingWindow() { DeallocateHWnd(handle); }
};
} // namespace

TEST(Graph, StopReturnsWhileStreamingThreadIsBlockedInSend)
{
    constexpr LONGLONG kFrames = 100'000'000;
    Chain chain(kFrames);
    CountingWindow window;
    std::atomic<int>& handled = window.handled;
    chain.source->sendTo = window.handle;
    chain.connect();
    chain.graph->SetSyncSource(nullptr);
    ASSERT_EQ(chain.control()->Run(), S_OK);
    // Not serving: the streaming thread is now stuck in its first send.
    while (chain.source->sendsStarted == 0)
        Sleep(1);
    Sleep(20);
    EXPECT_EQ(handled, 0);
    // Once stopping has begun, sends give up at once, so the stream may run
    // on free until its renderer stops.
    EXPECT_EQ(chain.control()->Stop(), S_OK);
    EXPECT_LT(chain.sink->log.size(), static_cast<std::size_t>(kFrames));
    // The graph runs again and its sends are served again.
    LONGLONG start = 0;
    chain.graph->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    ASSERT_EQ(chain.control()->Run(), S_OK);
    const int before = handled;
    EXPECT_TRUE(waitFor([&] { return handled > before; }));
    chain.control()->Stop();
}

TEST(Graph, EverySeekStartsAFreshRunOfTheStreamEvenAfterItsEnd)
{
    Chain chain(3);
    chain.connect();
    EXPECT_EQ(chain.runToEnd(), EC_COMPLETE);
    // The stream has ended and its thread waits; each seek starts it again
    // with a new segment and a discontinuity, running or paused.
    for (LONGLONG first : {1, 0, 2}) {
        SCOPED_TRACE(first);
        const std::size_t before = chain.sink->log.all().size();
        LONGLONG target = first * kFrame;
        ASSERT_EQ(chain.graph->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
                  S_OK);
        LONG code = 0;
        ASSERT_EQ(chain.graph->WaitForCompletion(10'000, &code), S_OK);
        const auto rendered = chain.sink->log.all();
        ASSERT_EQ(rendered.size(), before + static_cast<std::size_t>(3 - first));
        EXPECT_EQ(rendered[before].value, first);
        EXPECT_EQ(rendered[before].start, 0);
        EXPECT_TRUE(rendered[before].discontinuity);
    }
    EXPECT_EQ(chain.recorder->segments().size(), 4u);
    chain.control()->Stop();

    // Stopped and paused again, the stream gets a thread again and cues
    // the sink (which logs only what it renders) with the target.
    LONGLONG start = kFrame;
    chain.graph->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    ASSERT_GE(chain.control()->Pause(), S_OK);
    OAFilterState state;
    EXPECT_EQ(chain.control()->GetState(10'000, &state), S_OK);
    EXPECT_EQ(chain.recorder->log.all().back().value, 1);
    chain.control()->Stop();
}

// The values of what a log saw, in order.
std::vector<int> valuesOf(const Log& log)
{
    std::vector<int> values;
    for (const Seen& s : log.all())
        values.push_back(s.value);
    return values;
}

TEST(Graph, AStepShowsTheNextFrameAloneAndThePausedGraphStaysPaused)
{
    Chain chain(4);
    chain.connect();
    IVideoFrameStep* step = chain.graph.get();
    EXPECT_EQ(step->CanStep(0, nullptr), S_OK);
    EXPECT_EQ(step->CanStep(1, nullptr), S_FALSE);
    // Only a paused graph steps.
    EXPECT_EQ(step->Step(1, nullptr), VFW_E_WRONG_STATE);
    ASSERT_GE(chain.control()->Pause(), S_OK);
    ASSERT_TRUE(cued(chain.control()));
    EXPECT_EQ(step->Step(2, nullptr), E_INVALIDARG);

    for (int shown = 1; shown < 4; ++shown) {
        SCOPED_TRACE(shown);
        ASSERT_EQ(step->Step(1, nullptr), S_OK);
        ASSERT_TRUE(cued(chain.control()));
        // Each frame shown as the still picture, none rendered as if
        // played, and not one frame more on its way.
        EXPECT_EQ(valuesOf(chain.sink->stills).back(), shown);
        EXPECT_EQ(chain.sink->log.size(), 0u);
        EXPECT_EQ(chain.recorder->log.size(), static_cast<std::size_t>(shown + 1));
    }
    EXPECT_EQ(valuesOf(chain.sink->stills), (std::vector<int>{0, 1, 2, 3}));

    // Past the last frame the stream ends, the picture stays, and nothing
    // is left to step from.
    ASSERT_EQ(step->Step(1, nullptr), S_OK);
    ASSERT_TRUE(cued(chain.control()));
    EXPECT_EQ(valuesOf(chain.sink->stills).back(), 3);
    EXPECT_EQ(step->Step(1, nullptr), VFW_E_WRONG_STATE);

    // A seek brings a picture to step from again.
    LONGLONG target = kFrame;
    ASSERT_EQ(chain.graph->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
              S_OK);
    ASSERT_TRUE(cued(chain.control()));
    ASSERT_EQ(step->Step(1, nullptr), S_OK);
    ASSERT_TRUE(cued(chain.control()));
    EXPECT_EQ(valuesOf(chain.sink->stills).back(), 2);

    ASSERT_EQ(chain.control()->Run(), S_OK);
    EXPECT_EQ(step->Step(1, nullptr), VFW_E_WRONG_STATE);
    chain.control()->Stop();
}

// Steps move the picture alone; the graph stands where the picture is, and
// runs or starts again from there with every stream.
TEST(Graph, AStepMovesThePictureAloneAndTheGraphGoesOnFromIt)
{
    TwoRenderers two;
    two.connect();
    EXPECT_EQ(two.sound->CanStep(0, nullptr), S_FALSE);
    EXPECT_EQ(two.video->CanStep(0, nullptr), S_OK);
    const auto stepTwice = [&] {
        ASSERT_GE(two.graph->Pause(), S_OK);
        ASSERT_TRUE(cued(two.graph.get()));
        // Named or chosen by the graph, the video renderer steps.
        const auto named = ComPtr<Sink>(two.video).as<IUnknown>();
        ASSERT_EQ(two.graph->Step(1, named.get()), S_OK);
        ASSERT_TRUE(cued(two.graph.get()));
        ASSERT_EQ(two.graph->Step(1, nullptr), S_OK);
        ASSERT_TRUE(cued(two.graph.get()));
    };
    stepTwice();
    EXPECT_EQ(valuesOf(two.video->stills), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(valuesOf(two.sound->stills), std::vector<int>{0});
    LONGLONG position = 0;
    EXPECT_EQ(two.graph->GetCurrentPosition(&position), S_OK);
    EXPECT_EQ(position, 2 * kFrame);
    two.graph->SetSyncSource(nullptr);
    ASSERT_EQ(two.graph->Run(), S_OK);
    LONG code = 0;
    EXPECT_EQ(two.graph->WaitForCompletion(10'000, &code), S_OK);
    EXPECT_EQ(valuesOf(two.video->log), (std::vector<int>{2, 3}));
    EXPECT_EQ(valuesOf(two.sound->log), (std::vector<int>{2, 3}));

    // Stopped after steps, a graph paused again shows the picture stepped to.
    two.graph->Stop();
    LONGLONG start = 0;
    ASSERT_EQ(two.graph->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
    stepTwice();
    two.graph->Stop();
    ASSERT_GE(two.graph->Pause(), S_OK);
    ASSERT_TRUE(cued(two.graph.get()));
    EXPECT_EQ(valuesOf(two.video->stills).back(), 2);
    EXPECT_EQ(valuesOf(two.sound->stills).back(), 2);
    two.graph->Stop();
}

// A paused video renderer holds its stream at the top of the source's loop:
// a step fills and delivers the next frame on the calling thread and is over
// when it returns, a seek and a run take the stream back, and a run shows
// the picture the pause held. With a second stream in the source (sound
// that must not wait for the picture) the streaming thread steps as before.
TEST(Graph, AStepFillsTheNextFrameOnTheCallingThreadWhenTheVideoStreamsAlone)
{
    for (const bool sound : {false, true}) {
        SCOPED_TRACE(sound ? "with sound" : "video alone");
        TwoRenderers two;
        if (sound) {
            two.connect();
        } else {
            two.graph->AddFilter(two.source.get(), u"Source");
            two.graph->AddFilter(two.video.get(), u"Video");
            ASSERT_EQ(two.graph->ConnectDirect(two.source->video, two.video->input(), nullptr), S_OK);
        }
        CountingStream* stream = two.source->video;
        ASSERT_GE(two.graph->Pause(), S_OK);
        ASSERT_TRUE(cued(two.graph.get()));
        // Nothing read past the picture shown.
        EXPECT_EQ(stream->next, 1);
        EXPECT_NE(stream->filledOn.load(), std::this_thread::get_id());
        for (int shown = 1; shown <= 2; ++shown) {
            SCOPED_TRACE(shown);
            ASSERT_EQ(two.graph->Step(1, nullptr), S_OK);
            if (sound) {
                ASSERT_TRUE(cued(two.graph.get()));
            }
            EXPECT_EQ(valuesOf(two.video->stills).back(), shown);
            EXPECT_EQ(stream->next, shown + 1);
            EXPECT_EQ(stream->filledOn.load() == std::this_thread::get_id(), !sound);
        }
        // A seek takes the stream back from where it waits.
        LONGLONG target = kFrame;
        ASSERT_EQ(two.graph->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
                  S_OK);
        ASSERT_TRUE(cued(two.graph.get()));
        EXPECT_EQ(valuesOf(two.video->stills).back(), 1);
        EXPECT_EQ(stream->next, 2);
        // Running, the picture held is shown first, then the rest in order.
        two.graph->SetSyncSource(nullptr);
        ASSERT_EQ(two.graph->Run(), S_OK);
        LONG code = 0;
        EXPECT_EQ(two.graph->WaitForCompletion(10'000, &code), S_OK);
        EXPECT_EQ(valuesOf(two.video->log), (std::vector<int>{1, 2, 3}));
        two.graph->Stop();
    }
}

// So many steps from one seek, and the graph would rather seek: the sound
// read meanwhile waits behind its paused renderer.
TEST(Graph, AGraphStepsSoFarFromItsLastSeek)
{
    Chain chain(1200);
    chain.connect();
    ASSERT_GE(chain.control()->Pause(), S_OK);
    ASSERT_TRUE(cued(chain.control()));
    int steps = 0;
    while (chain.graph->Step(1, nullptr) == S_OK) {
        ++steps;
        ASSERT_TRUE(cued(chain.control()));
    }
    EXPECT_EQ(steps, 1000);
    EXPECT_EQ(chain.graph->Step(1, nullptr), S_FALSE);
    EXPECT_EQ(valuesOf(chain.sink->stills).back(), 1000 % 256);
    LONGLONG target = 1100 * kFrame;
    ASSERT_EQ(chain.graph->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
              S_OK);
    ASSERT_TRUE(cued(chain.control()));
    EXPECT_EQ(chain.graph->Step(1, nullptr), S_OK);
    chain.control()->Stop();
}

TEST(Graph, FiltersTakenOutTogetherKeepTheirConnectionAndPlayInAnotherGraph)
{
    Chain chain(3);
    chain.connect();
    ComPtr<IBaseFilter> stranger = makeCom<Recorder>();
    IBaseFilter* notThere[] = {chain.source.get(), stranger.get()};
    EXPECT_EQ(chain.graph->TakeOutFilters(notThere, 2), VFW_E_NOT_FOUND);
    EXPECT_EQ(peerOf(chain.recorder->output()).get(), static_cast<IPin*>(chain.copier->input()));

    IBaseFilter* moving[] = {chain.source.get(), chain.recorder.get()};
    ASSERT_EQ(chain.graph->TakeOutFilters(moving, 2), S_OK);
    // Between the two the connection stays; to the rest it is broken.
    EXPECT_EQ(peerOf(chain.source->video).get(), static_cast<IPin*>(chain.recorder->input()));
    EXPECT_FALSE(peerOf(chain.recorder->output()));
    EXPECT_FALSE(peerOf(chain.copier->input()));
    EXPECT_FALSE(chain.source->graph());
    std::vector<CLSID> left;
    ComPtr<IEnumFilters> filters;
    chain.graph->EnumFilters(filters.put());
    ComPtr<IBaseFilter> filter;
    while (filters->Next(1, filter.put(), nullptr) == S_OK) {
        CLSID id;
        filter->GetClassID(&id);
        left.push_back(id);
    }
    EXPECT_EQ(left, (std::vector<CLSID>{CLSID_Copier, CLSID_Sink}));

    // Another graph takes them as they are, and they play there.
    const auto other = makeCom<FilterGraph>();
    const auto sink = makeCom<Sink>();
    ASSERT_EQ(other->AddFilter(chain.source.get(), u"Source"), S_OK);
    ASSERT_EQ(other->AddFilter(chain.recorder.get(), u"Recorder"), S_OK);
    ASSERT_EQ(other->AddFilter(sink.get(), u"Sink"), S_OK);
    ASSERT_EQ(other->ConnectDirect(chain.recorder->output(), sink->input(), nullptr), S_OK);
    other->SetSyncSource(nullptr);
    ASSERT_EQ(other->Run(), S_OK);
    LONG code = 0;
    EXPECT_EQ(other->WaitForCompletion(10'000, &code), S_OK);
    EXPECT_EQ(valuesOf(sink->log), (std::vector<int>{0, 1, 2}));
    other->Stop();
}

TEST(Graph, SeeksReturnWhileThePausedStreamIsBlockedInSendAndThoseNotMadeYetAreMadeAsOne)
{
    Chain chain(1000);
    CountingWindow window;
    std::atomic<int>& handled = window.handled;
    chain.source->sendTo = window.handle;
    chain.connect();
    chain.control()->Pause();
    // Not serving: the streaming thread is now stuck in its first send, and
    // moves only once this thread serves it.
    while (chain.source->sendsStarted == 0)
        Sleep(1);
    const auto seek = [&](LONGLONG frame) {
        LONGLONG target = frame * kFrame;
        return chain.graph->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    };
    EXPECT_EQ(seek(10), S_OK);
    EXPECT_EQ(seek(20), S_OK);
    OAFilterState state;
    EXPECT_EQ(chain.control()->GetState(10'000, &state), S_OK);
    // The paused sink holds the frame at the last target, after one flush,
    // ended once, and one new segment.
    EXPECT_EQ(chain.recorder->log.all().back().value, 20);
    EXPECT_EQ(chain.recorder->beginFlushes, 1);
    EXPECT_EQ(chain.recorder->endFlushes, 1);
    const auto segments = chain.recorder->segments();
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[1], 20 * kFrame);
    for (LONGLONG frame : {30, 40}) {
        const int started = chain.source->sendsStarted;
        EXPECT_EQ(seek(frame), S_OK);
        // The new run sends again, and its sends are served.
        EXPECT_TRUE(waitFor([&] { return chain.source->sendsStarted > started && handled > 0; }));
    }
    EXPECT_EQ(chain.control()->GetState(10'000, &state), S_OK);
    EXPECT_EQ(chain.recorder->log.all().back().value, 40);
    EXPECT_EQ(chain.control()->Stop(), S_OK);
}

TEST(Graph, StopFromTheHandlerOfAStreamingThreadsSendReturns)
{
    // The handler runs on the GUI thread while the streaming thread waits
    // for it; stopping there must release that thread before joining it.
    Chain chain(100'000'000);
    bool stopped = false;
    const HWND window = AllocateHWnd([&](UINT, WPARAM, LPARAM) -> LRESULT {
        if (!stopped) {
            EXPECT_EQ(chain.control()->Stop(), S_OK);
            stopped = true;
        }
        return 0;
    });
    chain.source->sendTo = window;
    chain.connect();
    chain.graph->SetSyncSource(nullptr);
    ASSERT_EQ(chain.control()->Run(), S_OK);
    EXPECT_TRUE(waitFor([&] { return stopped; }));
    OAFilterState state;
    chain.control()->GetState(0, &state);
    EXPECT_EQ(state, State_Stopped);
    DeallocateHWnd(window);
}

TEST(Pins, ConnectionAgreesOnTypeAndDisconnects)
{
    const auto graph = makeCom<FilterGraph>();
    const auto source = makeCom<CountingSource>(1);
    const auto recorder = makeCom<Recorder>();
    const auto audioSink = makeCom<Sink>(MEDIASUBTYPE_PCM, MEDIATYPE_Audio);
    graph->AddFilter(source.get(), u"Source");
    graph->AddFilter(recorder.get(), u"Recorder");
    graph->AddFilter(audioSink.get(), u"Audio");

    EXPECT_EQ(graph->ConnectDirect(source->video, audioSink->input(), nullptr), VFW_E_NO_ACCEPTABLE_TYPES);
    const AM_MEDIA_TYPE offered = videoType();
    EXPECT_EQ(graph->ConnectDirect(source->video, audioSink->input(), &offered), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_EQ(graph->ConnectDirect(recorder->input(), source->video, nullptr), VFW_E_INVALID_DIRECTION);
    // The in-place filter's output has nothing to offer before its input connects.
    EXPECT_EQ(graph->ConnectDirect(recorder->output(), audioSink->input(), nullptr), VFW_E_NO_ACCEPTABLE_TYPES);

    ASSERT_EQ(graph->ConnectDirect(source->video, recorder->input(), nullptr), S_OK);
    EXPECT_EQ(graph->ConnectDirect(source->video, recorder->input(), nullptr), VFW_E_ALREADY_CONNECTED);
    ComPtr<IPin> peer;
    ASSERT_EQ(source->video->ConnectedTo(peer.put()), S_OK);
    EXPECT_EQ(peer.get(), static_cast<IPin*>(recorder->input()));
    AM_MEDIA_TYPE a, b;
    source->video->ConnectionMediaType(&a);
    recorder->input()->ConnectionMediaType(&b);
    EXPECT_EQ(a, offered);
    EXPECT_EQ(b, offered);
    PIN_INFO info;
    recorder->input()->QueryPinInfo(&info);
    EXPECT_EQ(info.dir, PINDIR_INPUT);
    EXPECT_EQ(info.pFilter.get(), static_cast<IBaseFilter*>(recorder.get()));
    // The allocator the source chose is readable from the input pin.
    ALLOCATOR_PROPERTIES props;
    ASSERT_TRUE(recorder->input()->PeekAllocator());
    recorder->input()->PeekAllocator()->GetProperties(&props);
    EXPECT_EQ(props.cBuffers, 2);
    EXPECT_EQ(props.cbBuffer, 64);

    ASSERT_GE(graph->Pause(), S_OK);
    EXPECT_EQ(recorder->input()->Disconnect(), VFW_E_NOT_STOPPED);
    graph->Stop();
    EXPECT_EQ(graph->Disconnect(source->video), S_OK);
    EXPECT_EQ(graph->Disconnect(recorder->input()), S_OK);
    EXPECT_EQ(source->video->ConnectedTo(peer.put()), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(recorder->input()->ConnectionMediaType(&a), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(graph->Disconnect(source->video), S_FALSE);

    // Removing a filter disconnects its neighbours too.
    ASSERT_EQ(graph->ConnectDirect(source->video, recorder->input(), nullptr), S_OK);
    ASSERT_EQ(graph->RemoveFilter(recorder.get()), S_OK);
    EXPECT_EQ(source->video->ConnectedTo(peer.put()), VFW_E_NOT_CONNECTED);
}

TEST(CaptureGraphBuilder, FindsPinsByCategoryAndTypeAndRendersThroughIntermediate)
{
    const auto graph = makeCom<FilterGraph>();
    const auto builder = makeCom<CaptureGraphBuilder>();
    builder->SetFiltergraph(graph.get());
    const auto source = makeCom<CountingSource>(1);
    CountingStream* audio = source->addAudio();
    const auto recorder = makeCom<Recorder>();
    const auto sink = makeCom<Sink>();
    graph->AddFilter(source.get(), u"Source");
    graph->AddFilter(recorder.get(), u"Recorder");
    graph->AddFilter(sink.get(), u"Sink");

    ComPtr<IPin> pin;
    IUnknown* filter = static_cast<IBaseFilter*>(source.get());
    ASSERT_EQ(builder->FindPin(filter, PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, nullptr, TRUE, 0, pin.put()), S_OK);
    EXPECT_EQ(pin.get(), static_cast<IPin*>(source->video));
    EXPECT_EQ(builder->FindPin(filter, PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, nullptr, TRUE, 1, pin.put()), E_FAIL);
    ASSERT_EQ(builder->FindPin(filter, PINDIR_OUTPUT, nullptr, &MEDIATYPE_Audio, TRUE, 0, pin.put()), S_OK);
    EXPECT_EQ(pin.get(), static_cast<IPin*>(audio));
    ASSERT_EQ(builder->FindPin(filter, PINDIR_OUTPUT, nullptr, nullptr, TRUE, 1, pin.put()), S_OK);
    EXPECT_EQ(pin.get(), static_cast<IPin*>(audio));
    EXPECT_EQ(builder->FindPin(filter, PINDIR_INPUT, nullptr, nullptr, TRUE, 0, pin.put()), E_FAIL);

    ASSERT_EQ(builder->RenderStream(nullptr, nullptr, static_cast<IPin*>(source->video), recorder.get(), sink.get()),
              S_OK);
    EXPECT_TRUE(recorder->input()->isConnected());
    EXPECT_TRUE(sink->input()->isConnected());
    // A connected pin is found only when connected pins are asked for.
    EXPECT_EQ(builder->FindPin(filter, PINDIR_OUTPUT, nullptr, &MEDIATYPE_Video, TRUE, 0, pin.put()), E_FAIL);
    EXPECT_EQ(builder->FindPin(filter, PINDIR_OUTPUT, nullptr, &MEDIATYPE_Video, FALSE, 0, pin.put()), S_OK);
}

TEST(FilterWalks, ConnectionsAndUpstreamFilters)
{
    WalkedChain c;
    EXPECT_TRUE(IsFilterConnected(c.source.get()));
    EXPECT_TRUE(IsFilterConnected(c.copier.get()));
    EXPECT_TRUE(IsFilterConnected(c.sink.get()));
    EXPECT_FALSE(IsFilterConnected(c.alone.get()));

    EXPECT_TRUE(IsUpstreamFilter(c.sink.get(), c.copier.get()));
    EXPECT_TRUE(IsUpstreamFilter(c.sink.get(), c.source.get()));
    EXPECT_TRUE(IsUpstreamFilter(c.copier.get(), c.source.get()));
    // Only upstream counts.
    EXPECT_FALSE(IsUpstreamFilter(c.source.get(), c.sink.get()));
    EXPECT_FALSE(IsUpstreamFilter(c.recorder.get(), c.copier.get()));
    EXPECT_FALSE(IsUpstreamFilter(c.sink.get(), c.alone.get()));
    EXPECT_FALSE(IsUpstreamFilter(c.sink.get(), c.sink.get()));
}

TEST(FilterWalks, RemovesTheFiltersBetween)
{
    WalkedChain c;
    RemoveFiltersUpTo(c.graph.get(), c.sink.get(), c.source.get());
    EXPECT_TRUE(c.inGraph(u"Source"));
    EXPECT_TRUE(c.inGraph(u"Sink"));
    EXPECT_TRUE(c.inGraph(u"Alone"));
    EXPECT_FALSE(c.inGraph(u"Recorder"));
    EXPECT_FALSE(c.inGraph(u"Copier"));
    EXPECT_FALSE(IsFilterConnected(c.source.get()));
    EXPECT_FALSE(IsFilterConnected(c.sink.get()));
    EXPECT_FALSE(IsFilterConnected(c.recorder.get()));
    EXPECT_FALSE(IsFilterConnected(c.copier.get()));

    // The ends can be joined again.
    EXPECT_EQ(c.graph->ConnectDirect(c.source->video, c.sink->input(), nullptr), S_OK);
}

TEST(FilterWalks, StopsAtTheGivenFilter)
{
    WalkedChain c;
    RemoveFiltersUpTo(c.graph.get(), c.sink.get(), c.recorder.get());
    EXPECT_FALSE(c.inGraph(u"Copier"));
    EXPECT_TRUE(c.inGraph(u"Recorder"));
    EXPECT_TRUE(IsUpstreamFilter(c.recorder.get(), c.source.get()));
    EXPECT_FALSE(IsFilterConnected(c.sink.get()));
}
