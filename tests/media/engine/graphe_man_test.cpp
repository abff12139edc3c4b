// The graph manager on a real graph: play, pause and stop with their state
// events, the fast rate, completion, and waits that keep serving the sends
// of streaming threads.

#include "engine_fixture.h"

#include "media/filters/notify_messages.h"
#include "platform/graph/base_filter.h"
#include "platform/win/messages.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <gtest/gtest.h>

using namespace testing_engine;

namespace {

double rateOf(TGrapheMan& man)
{
    double rate = 0;
    man.MediaSeeking()->GetRate(&rate);
    return rate;
}

} // namespace

TEST(GrapheMan, StateEventsFollowOnlyWhatTheGraphDid)
{
    Engine engine;
    std::vector<TGrapheManState> events;
    engine.man->OnStateChange = [&](TGrapheManState state) { events.push_back(state); };
    EXPECT_EQ(engine.man->GraphState(), kGraphStateStopped);

    ASSERT_TRUE(engine.connectVideo(clip("h264.mp4")));
    ASSERT_TRUE(engine.connectAudio(clip("h264.mp4")));
    struct Step
    {
        bool (TGrapheMan::*call)();
        TGrapheManState event;
        int state;
    };
    const Step steps[] = {
        {&TGrapheMan::Pause, gmPaused, kGraphStatePaused},  {&TGrapheMan::Play, gmPlaying, kGraphStatePlaying},
        {&TGrapheMan::Pause, gmPaused, kGraphStatePaused},  {&TGrapheMan::Stop, gmStopped, kGraphStateStopped},
        {&TGrapheMan::Play, gmPlaying, kGraphStatePlaying}, {&TGrapheMan::Stop, gmStopped, kGraphStateStopped},
    };
    for (const Step& step : steps) {
        events.clear();
        EXPECT_TRUE((engine.man.get()->*step.call)());
        EXPECT_EQ(events, std::vector<TGrapheManState>{step.event});
        EXPECT_EQ(engine.man->GraphState(), step.state);
    }
}

namespace {

// A filter that refuses every change of state, to make the graph's calls fail.
class RefusingFilter final : public BaseFilter
{
public:
    RefusingFilter() : BaseFilter("{4C1E0002-0000-4000-8000-0000000000E1}"_guid, u"Refusing") {}
    HRESULT Stop() override { return E_FAIL; }
    HRESULT Pause() override { return E_FAIL; }
    HRESULT Run(REFERENCE_TIME) override { return E_FAIL; }
    int GetPinCount() override { return 0; }
    BasePin* GetPin(int) override { return nullptr; }

private:
    ~RefusingFilter() override = default;
};

} // namespace

namespace {

// A renderer that cues until it is told its first sample came, as one over
// a file cut short cues for ever; it counts how often it is asked.
class CueingFilter final : public BaseFilter
{
public:
    CueingFilter() : BaseFilter("{4C1E0002-0000-4000-8000-0000000000E2}"_guid, u"Cueing") {}
    HRESULT GetState(DWORD timeout, FILTER_STATE* state) override
    {
        ++asked;
        const HRESULT result = BaseFilter::GetState(timeout, state);
        return cued || *state == State_Stopped ? result : VFW_S_STATE_INTERMEDIATE;
    }
    int GetPinCount() override { return 0; }
    BasePin* GetPin(int) override { return nullptr; }
    std::atomic<bool> cued{false};
    std::atomic<int> asked{0};

private:
    ~CueingFilter() override = default;
};

} // namespace

// A graph that does not get to its state: the first wait gives up and says
// so once, the later ones only look; once it gets there after all it says
// so too, and the waits wait again. Clearing the graph forgets the stall.
TEST(GrapheMan, AGraphThatDoesNotGetReadyStallsOnceAndSettlesAfterAll)
{
    Engine engine;
    QStringList stalled;
    int settled = 0;
    QObject::connect(engine.man.get(), &TGrapheMan::StateStalled, [&](const QString& text) { stalled.append(text); });
    QObject::connect(engine.man.get(), &TGrapheMan::StateSettled, [&] { ++settled; });
    const auto cueing = makeCom<CueingFilter>();
    engine.man->GraphBuilder()->AddFilter(cueing.get(), u"Cueing");

    EXPECT_TRUE(engine.man->Pause());
    EXPECT_TRUE(engine.man->Stalled());
    ASSERT_EQ(stalled.size(), 1);
    EXPECT_TRUE(stalled[0].contains(QStringLiteral("damaged or cut short")));
    const int askedWhileWaiting = cueing->asked.exchange(0);
    EXPECT_GT(askedWhileWaiting, 20);
    engine.man->WaitGraphState();
    engine.man->WaitFilterState();
    EXPECT_TRUE(engine.man->Pause());
    EXPECT_LE(cueing->asked.load(), 4) << "a stalled graph is looked at, not waited for";
    EXPECT_EQ(stalled.size(), 1);
    EXPECT_EQ(settled, 0);

    cueing->cued = true;
    // The look every tenth of a second sees it, on the event loop.
    for (QDeadlineTimer limit(5000); engine.man->Stalled() && !limit.hasExpired();)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(engine.man->Stalled());
    EXPECT_EQ(settled, 1);
    cueing->cued = false;
    cueing->asked = 0;
    engine.man->WaitGraphState();
    EXPECT_GT(cueing->asked.load(), 20) << "a settled graph is waited for again";
    EXPECT_EQ(stalled.size(), 2);

    engine.man->ClearGraph();
    EXPECT_FALSE(engine.man->Stalled());
    EXPECT_EQ(settled, 1) << "clearing is no settling";
}

TEST(GrapheMan, AFailedCallFiresNoStateEvent)
{
    Engine engine;
    std::vector<TGrapheManState> events;
    engine.man->OnStateChange = [&](TGrapheManState state) { events.push_back(state); };
    engine.man->GraphBuilder()->AddFilter(makeCom<RefusingFilter>().get(), u"Refusing");
    for (bool (TGrapheMan::*call)() : {&TGrapheMan::Pause, &TGrapheMan::Play, &TGrapheMan::Stop})
        EXPECT_FALSE((engine.man.get()->*call)());
    EXPECT_TRUE(events.empty());
}

TEST(GrapheMan, FastRateHoldsAcrossPlayAndGoesBackAtOnce)
{
    Engine engine;
    std::vector<bool> events;
    engine.man->OnVitesseRapide = [&](bool isTrue) { events.push_back(isTrue); };
    ASSERT_TRUE(engine.connectVideo(clip("h264.mp4")));

    engine.man->VitesseRapide();
    EXPECT_TRUE(engine.man->FastRate());
    EXPECT_EQ(rateOf(*engine.man), 4.0);
    ASSERT_TRUE(engine.man->Play());
    EXPECT_EQ(rateOf(*engine.man), 4.0);
    engine.man->VitesseNormale();
    EXPECT_EQ(rateOf(*engine.man), 1.0);
    EXPECT_EQ(engine.man->GraphState(), kGraphStatePlaying);
    engine.man->Pause();
    ASSERT_TRUE(engine.man->Play());
    EXPECT_EQ(rateOf(*engine.man), 1.0);
    engine.man->Stop();
    EXPECT_EQ(events, (std::vector<bool>{true, false}));
}

// The frames notifier sends each frame's position text before the frame
// goes on to the renderer; a pause waits for the renderer to take its first
// frame, so the wait must serve that send.
TEST(GrapheMan, WaitsServeTheSendsOfStreamingThreads)
{
    Engine engine;
    int sends = 0;
    const HWND wnd = AllocateHWnd([&](UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg == WM_POSITIONTEXT && InSendMessage())
            ++sends;
        return 0;
    });
    engine.frames->SetFrameWindow(wnd);
    engine.frames->SetTextMessages(true);
    ASSERT_TRUE(engine.connectVideo(clip("mpeg2.mpg")));

    ASSERT_TRUE(engine.man->Pause());
    EXPECT_GE(sends, 1);
    FILTER_STATE state;
    EXPECT_EQ(engine.man->WaitFilter()->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Paused);
    OAFilterState graphState;
    EXPECT_EQ(ComPtr<IGraphBuilder>(engine.man->GraphBuilder()).as<IMediaControl>()->GetState(0, &graphState), S_OK);

    // A wait on the renderer alone settles as well.
    engine.man->Stop();
    ComPtr<IGraphBuilder>(engine.man->GraphBuilder()).as<IMediaControl>()->Pause();
    engine.man->WaitFilterState();
    EXPECT_EQ(engine.man->WaitFilter()->GetState(0, &state), S_OK);
    engine.man->Stop();
    DeallocateHWnd(wnd);
}

TEST(GrapheMan, CompletionPostsItsMessageAndFiresTheEvent)
{
    Engine engine;
    int posted = 0;
    const HWND wnd = AllocateHWnd([&](UINT msg, WPARAM, LPARAM) -> LRESULT {
        posted += msg == WM_GRAPHCOMPLETE;
        return 0;
    });
    engine.man->SetCompletionWindow(wnd);
    ASSERT_TRUE(engine.connectVideo(clip("mpeg1.mpg")));
    engine.playToEnd();
    EXPECT_TRUE(engine.completed);
    ProcessMessages();
    EXPECT_EQ(posted, 1);
    EXPECT_FALSE(engine.man->Completed());
    engine.man->SetCompleted();
    EXPECT_TRUE(engine.man->Completed());
    DeallocateHWnd(wnd);
}

namespace {

int filterCount(TGrapheMan& man)
{
    int count = 0;
    ComPtr<IEnumFilters> filters;
    man.GraphBuilder()->EnumFilters(filters.put());
    ComPtr<IBaseFilter> filter;
    while (filters->Next(1, filter.put(), nullptr) == S_OK)
        ++count;
    return count;
}

} // namespace

TEST(GrapheMan, ClearingTellsEveryLiveFilterOwnerOnceTheFiltersAreOut)
{
    Engine engine;
    ASSERT_TRUE(engine.connectVideo(clip("h264.mp4")));
    ASSERT_TRUE(engine.decoders.CurrentDecoder());
    const auto own = makeCom<RefusingFilter>();

    // One owner puts its filter back; one has gone and one has left.
    QObject keeper;
    int left = -1;
    engine.man->AddFilterOwner(&keeper, [&] {
        left = filterCount(*engine.man);
        engine.man->GraphBuilder()->AddFilter(own.get(), u"Kept");
    });
    int told = 0;
    auto gone = std::make_unique<QObject>();
    engine.man->AddFilterOwner(gone.get(), [&] { ++told; });
    gone.reset();
    QObject leaver;
    engine.man->AddFilterOwner(&leaver, [&] { ++told; });
    engine.man->RemoveFilterOwner(&leaver);

    engine.man->ClearGraph();
    EXPECT_EQ(left, 0);
    EXPECT_EQ(told, 0);
    EXPECT_EQ(filterCount(*engine.man), 1);
    // The decoder manager forgot the decoder that went with the graph.
    EXPECT_FALSE(engine.decoders.CurrentDecoder());
    EXPECT_FALSE(engine.decoders.NextDecoder());
    engine.man->GraphBuilder()->RemoveFilter(own.get());
}

TEST(GrapheMan, GoingAwayRunsNoPendingMessageOrTimer)
{
    PendingEvents pending;
    {
        Engine engine;
        ASSERT_TRUE(engine.connectVideo(clip("mpeg1.mpg")));
        ASSERT_TRUE(engine.man->Pause());
    }
    EXPECT_TRUE(pending.waiting());
    EXPECT_TRUE(pending.run());
}
