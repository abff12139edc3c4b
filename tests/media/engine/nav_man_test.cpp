// The navigation manager on the real clips: every step, the start, the end,
// the typed position and exact positioning, each checked by the barcode of
// the picture the renderer shows; and the edge cases of positions, texts and
// the slider.

#include "engine_fixture.h"

#include "framework/actions/actions.h"
#include "media/engine/nav_man.h"
#include "media/filters/notify_messages.h"
#include "platform/graph/source.h"
#include "platform/renderers/renderer_interfaces.h"
#include "platform/win/messages.h"

#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <numeric>
#include <string_view>
#include <thread>

using namespace testing_engine;

namespace {

constexpr REFERENCE_TIME kFrame = 400'000;
constexpr int kLastFrame = 74;

const char* const kContainers[] = {"dv_pal.avi", "mpeg1.mpg", "mpeg2.mpg", "mpeg2.ts",         "h264.mp4",
                                   "h264.mkv",   "h264.m2ts", "wmv.wmv",   "mpeg2_bframes.mpg"};

// The Windows Media clip's stream lasts 46 ms longer than its last picture,
// and a seek into that tail shows no picture: its end is left out until the
// graph shows the last picture there.
bool endReachable(const char* container)
{
    return std::string_view(container) != "wmv.wmv";
}

using Nav = NavEngine;

// Runs `test` on a manager paused at the start of each container, in plain
// and in precise navigation.
void inEveryContainer(const std::function<void(Nav& n, const char* container)>& test)
{
    for (bool precise : {false, true})
        for (const char* container : kContainers) {
            SCOPED_TRACE(container);
            SCOPED_TRACE(precise ? "precise" : "plain");
            Nav n(container);
            ASSERT_TRUE(n.source);
            n.nav->caSeekPrecision->SetChecked(precise);
            test(n, container);
        }
}

// The frames whose positions a playing manager reports go into `frames`.
void recordFrames(Nav& n, std::vector<int>& frames)
{
    n.nav->OnDisplayTime = [&frames](const QString& text) {
        frames.push_back(static_cast<int>(TimecodeStrToRefTime(text, kFrame) / kFrame));
    };
}

// Serves the messages until `frames` reach `last`.
void waitForFrame(const std::vector<int>& frames, int last)
{
    // A limit for a graph that hangs, not a measure of speed.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((frames.empty() || frames.back() < last) && std::chrono::steady_clock::now() < until) {
        WaitServingMessages([] { return false; }, 5);
        ProcessMessages();
    }
}

} // namespace

TEST(NavMan, StepsStartAndEndLandOnTheirFrameInEveryContainer)
{
    struct Step
    {
        const char* what;
        TNopeAction* TNavMan::*action; // or null for the typed position
        bool shift;
        int frame;
        bool end = false; // lands on the end
    };
    const Step steps[] = {
        {"one frame forward", &TNavMan::naAvanceFrame, false, 1},
        {"one frame back", &TNavMan::naReculeFrame, false, 0},
        {"back from the start", &TNavMan::naReculeLow, false, 0},
        {"ten frames", &TNavMan::naAvance10Frames, false, 10},
        {"one second", &TNavMan::naAvanceSeconde, false, 35},
        {"ten frames back with Shift", &TNavMan::naReculeLow, true, 25},
        {"one frame with the Low button", &TNavMan::naAvanceLow, false, 26},
        {"ten frames with Shift", &TNavMan::naAvanceLow, true, 36},
        {"one second back", &TNavMan::naReculeMedium, false, 11},
        {"ten seconds back with Shift, past the start", &TNavMan::naReculeMedium, true, 0},
        {"ten seconds with Shift, past the end", &TNavMan::naAvanceMedium, true, kLastFrame, true},
        {"one frame past the end", &TNavMan::naAvanceFrame, false, kLastFrame, true},
        {"one frame back from the end", &TNavMan::naReculeFrame, false, kLastFrame - 1, true},
        {"start", &TNavMan::naReculeDebut, false, 0},
        {"end", &TNavMan::naAvanceFin, false, kLastFrame, true},
        {"previous scene without scenes", &TNavMan::naReculeTrack, false, 0},
        {"next scene without scenes", &TNavMan::naAvanceTrack, false, kLastFrame, true},
        {"a minute back", &TNavMan::naReculeMinute, false, 0},
        {"the typed position", nullptr, false, 38},
    };
    inEveryContainer([&](Nav& n, const char* container) {
        EXPECT_EQ(n.nav->FrameDuration(), kFrame);
        EXPECT_EQ(n.shown(), 0);
        QStringList texts;
        n.nav->OnDisplayTime = [&](const QString& text) { texts.append(text); };
        for (const Step& step : steps) {
            if (step.end && !endReachable(container))
                continue;
            SCOPED_TRACE(step.what);
            texts.clear();
            n.shift = step.shift;
            if (step.action)
                (n.nav->*step.action)->Execute();
            else
                n.nav->waStrPosition->SetValue(QStringLiteral("0:00:01:13"));
            n.settle();
            EXPECT_EQ(n.shown(), step.frame);
            EXPECT_EQ(n.nav->GetPosition(), step.frame * kFrame);
            // Only the frame shown is reported.
            EXPECT_LE(texts.size(), 1);
            if (!texts.isEmpty()) {
                EXPECT_EQ(texts.last(), RefTimeToTimecodeStr(kFrame, step.frame * kFrame));
            }
        }
    });
}

// Every move by its own distance, with Shift and without, on a clip of
// eleven minutes at two pictures a second: ten frames, ten seconds and ten
// minutes are three different moves there, and each fits either way.
TEST(NavMan, EveryStepMovesByItsOwnDistance)
{
    constexpr REFERENCE_TIME kPicture = 5'000'000;
    constexpr int kLate = 1220; // 0:10:10
    constexpr int kEarly = 20;  // 0:00:10
    struct Step
    {
        TNopeAction* TNavMan::*action;
        bool shift;
        int from;
        int to;
    };
    const Step steps[] = {
        {&TNavMan::naRecule10Minutes, false, kLate, 20},
        {&TNavMan::naReculeMinute, false, kLate, 1100},
        {&TNavMan::naReculeHigh, false, kLate, 1100},
        {&TNavMan::naReculeHigh, true, kLate, 20},
        {&TNavMan::naRecule10Secondes, false, kLate, 1200},
        {&TNavMan::naReculeSeconde, false, kLate, 1218},
        {&TNavMan::naReculeMedium, false, kLate, 1218},
        {&TNavMan::naReculeMedium, true, kLate, 1200},
        {&TNavMan::naRecule10Frames, false, kLate, 1210},
        {&TNavMan::naReculeFrame, false, kLate, 1219},
        {&TNavMan::naReculeLow, false, kLate, 1219},
        {&TNavMan::naReculeLow, true, kLate, 1210},
        {&TNavMan::naAvance10Minutes, false, kEarly, 1220},
        {&TNavMan::naAvanceMinute, false, kEarly, 140},
        {&TNavMan::naAvanceHigh, false, kEarly, 140},
        {&TNavMan::naAvanceHigh, true, kEarly, 1220},
        {&TNavMan::naAvance10Secondes, false, kEarly, 40},
        {&TNavMan::naAvanceSeconde, false, kEarly, 22},
        {&TNavMan::naAvanceMedium, false, kEarly, 22},
        {&TNavMan::naAvanceMedium, true, kEarly, 40},
        {&TNavMan::naAvance10Frames, false, kEarly, 30},
        {&TNavMan::naAvanceFrame, false, kEarly, 21},
        {&TNavMan::naAvanceLow, false, kEarly, 21},
        {&TNavMan::naAvanceLow, true, kEarly, 30},
        // Shift changes only the moves that say so.
        {&TNavMan::naAvanceMinute, true, kEarly, 140},
        {&TNavMan::naRecule10Frames, true, kLate, 1210},
    };
    Nav n("eleven_minutes.mkv");
    ASSERT_TRUE(n.source);
    ASSERT_EQ(n.nav->FrameDuration(), kPicture);
    for (const Step& step : steps) {
        TNopeAction* action = n.nav->*step.action;
        SCOPED_TRACE(action->Name().toStdString() + (step.shift ? " with Shift" : ""));
        n.nav->SeekTo(true, step.from * kPicture);
        n.settle();
        ASSERT_EQ(n.shown(), step.from);
        n.shift = step.shift;
        action->Execute();
        n.settle();
        n.shift = false;
        EXPECT_EQ(n.nav->GetPosition(), step.to * kPicture);
        EXPECT_EQ(n.shown(), step.to);
    }
}

TEST(NavMan, PreciseSeekShowsAndReportsOnlyTheTargetFrame)
{
    const int targets[] = {1, 12, 13, 49, 50, 51, kLastFrame, 0, 37};
    for (const char* container : kContainers) {
        SCOPED_TRACE(container);
        Nav n(container);
        ASSERT_TRUE(n.source);
        const bool dv = QByteArray(container).startsWith("dv");
        QStringList texts;
        QStringList codes;
        n.nav->OnDisplayTime = [&](const QString& text) { texts.append(text); };
        n.nav->OnDVcode = [&](const QString&, const QString& time) { codes.append(time); };
        for (int target : targets) {
            if (target == kLastFrame && !endReachable(container))
                continue;
            SCOPED_TRACE(target);
            texts.clear();
            codes.clear();
            n.nav->PreciseSeekTo(target * kFrame);
            n.settle();
            EXPECT_EQ(n.shown(), target);
            EXPECT_EQ(n.nav->GetPosition(), target * kFrame);
            // Neither the pre-roll nor a frame after the target.
            const QStringList shownText{RefTimeToTimecodeStr(kFrame, target * kFrame)};
            if (target != 0 && target != kLastFrame) {
                EXPECT_EQ(texts, shownText);
                EXPECT_TRUE(n.engine.frames->targetReached());
            }
            EXPECT_FALSE(n.engine.frames->targetArmed(0));
            EXPECT_TRUE(n.engine.frames->textMessages());
            EXPECT_TRUE(n.nav->FrameDataEnabled());
            // The DV clip's time code starts at 10:20:30:05.
            if (dv) {
                const int tc = 5 + target;
                EXPECT_EQ(codes, QStringList{QString::asprintf("10:20:%.2d:%.2d", 30 + tc / 25, tc % 25)});
            }
        }
        // The manager keeps its frame on a paused graph.
        EXPECT_EQ(n.nav->GraphState(), kGraphStatePaused);
    }
}

// A step of one frame forward on a paused graph decodes the next picture
// alone, in plain and precise navigation, across keyframes, and shows and
// reports what a seek there would; a step back seeks.
TEST(NavMan, AStepForwardDecodesOnlyTheNextPicture)
{
    constexpr int kFrom = 5;
    inEveryContainer([&](Nav& n, const char* container) {
        ASSERT_TRUE(n.countPictures());
        n.nav->SeekTo(true, kFrom * kFrame);
        n.settle();
        QStringList texts;
        n.nav->OnDisplayTime = [&](const QString& text) { texts.append(text); };
        for (int frame = kFrom + 1; frame <= kFrom + 10; ++frame) {
            SCOPED_TRACE(frame);
            texts.clear();
            const long before = n.counter->count();
            n.nav->naAvanceFrame->Execute();
            n.settle();
            EXPECT_EQ(n.counter->count() - before, 1);
            EXPECT_EQ(n.shown(), frame);
            EXPECT_EQ(n.nav->GetPosition(), frame * kFrame);
            EXPECT_EQ(texts, QStringList{RefTimeToTimecodeStr(kFrame, frame * kFrame)});
        }
        // Back is a seek: from the keyframe before, every group but DV's
        // more than one picture.
        const long before = n.counter->count();
        n.nav->naReculeFrame->Execute();
        n.settle();
        EXPECT_EQ(n.shown(), kFrom + 9);
        EXPECT_GE(n.counter->count() - before, QByteArray(container).startsWith("dv") ? 1 : 2);
        // And the next step forward decodes one picture again.
        const long after = n.counter->count();
        n.nav->naAvanceFrame->Execute();
        n.settle();
        EXPECT_EQ(n.shown(), kFrom + 10);
        EXPECT_EQ(n.counter->count() - after, 1);
    });
}

// A one-frame step on a paused graph is over when the action returns: the
// next picture decoded alone and shown, its position told once, and
// playing goes on from it. A video stream alone in its source is decoded on
// the calling thread; with the sound read from the same file the streaming
// thread brings the picture, so that the sound's thread is never held up.
TEST(NavMan, AStepIsOverWhenTheActionReturnsAndPlayingGoesOnFromIt)
{
    struct Row
    {
        const char* container;
        bool sound;
    };
    const Row rows[] = {{"h264.mp4", false}, {"mpeg2.ts", false}, {"dv_pal.avi", false},
                        {"wmv.wmv", false},  {"h264.mp4", true},  {"dv_pal.avi", true}};
    constexpr int kFrom = 5;
    constexpr int kSteps = 3;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.container);
        SCOPED_TRACE(row.sound ? "with sound" : "video alone");
        Nav n;
        if (row.sound) {
            ASSERT_TRUE(n.engine.connectAudio(clip(row.container)));
        }
        ASSERT_TRUE(n.open(row.container));
        ASSERT_TRUE(n.countPictures());
        n.nav->SeekTo(true, kFrom * kFrame);
        n.settle();
        QStringList texts;
        n.nav->OnDisplayTime = [&](const QString& text) { texts.append(text); };
        for (int frame = kFrom + 1; frame <= kFrom + kSteps; ++frame) {
            SCOPED_TRACE(frame);
            texts.clear();
            const long before = n.counter->count();
            n.nav->naAvanceFrame->Execute();
            EXPECT_EQ(n.shown(), frame);
            EXPECT_EQ(texts, QStringList{RefTimeToTimecodeStr(kFrame, frame * kFrame)});
            EXPECT_EQ(n.counter->count() - before, 1);
            EXPECT_EQ(n.counter->thread() == std::this_thread::get_id(), !row.sound);
        }
        std::vector<int> frames;
        recordFrames(n, frames);
        n.nav->caPlay->SetChecked(true);
        waitForFrame(frames, kFrom + kSteps + 6);
        n.nav->caPlay->SetChecked(false);
        ASSERT_FALSE(frames.empty());
        EXPECT_GE(frames.front(), kFrom + kSteps);
        EXPECT_LE(frames.front(), kFrom + kSteps + 1);
        EXPECT_GE(frames.back(), kFrom + kSteps + 6);
        EXPECT_TRUE(std::adjacent_find(frames.begin(), frames.end(), std::greater_equal<>()) == frames.end());
    }
}

// With the sound connected, steps move the picture alone; playing then goes
// on from the frame shown, picture and sound together.
TEST(NavMan, PlayingAfterStepsGoesOnFromTheFrameShown)
{
    for (const char* container : {"dv_pal.avi", "h264.mp4"}) {
        SCOPED_TRACE(container);
        Nav n;
        ASSERT_TRUE(n.engine.connectAudio(clip(container)));
        ASSERT_TRUE(n.open(container));
        for (int frame = 1; frame <= 5; ++frame) {
            n.nav->naAvanceFrame->Execute();
            n.settle();
            ASSERT_EQ(n.shown(), frame);
        }
        std::vector<int> frames;
        recordFrames(n, frames);
        n.nav->caPlay->SetChecked(true);
        waitForFrame(frames, 10);
        n.nav->caPlay->SetChecked(false);
        ASSERT_FALSE(frames.empty());
        EXPECT_GE(frames.front(), 5);
        EXPECT_LE(frames.front(), 6);
        EXPECT_GE(frames.back(), 10);
        EXPECT_TRUE(std::is_sorted(frames.begin(), frames.end()));
    }
}

// With the default pre-roll, a precise seek decodes no more pictures than
// the exact seek to the same frame: every source here lands on the frame.
TEST(NavMan, APreciseSeekDecodesWhatAnExactSeekDecodes)
{
    for (const char* container : kContainers) {
        SCOPED_TRACE(container);
        Nav n(container);
        ASSERT_TRUE(n.source);
        ASSERT_TRUE(n.countPictures());
        ASSERT_EQ(n.nav->Preroll(), TNavMan::kDefaultPreroll);
        const auto picturesTo = [&](const std::function<void()>& move) {
            n.nav->ReculeDebut();
            n.settle();
            const long before = n.counter->count();
            move();
            n.settle();
            EXPECT_EQ(n.shown(), 49);
            return n.counter->count() - before;
        };
        const long exact = picturesTo([&] { n.nav->SeekTo(true, 49 * kFrame); });
        EXPECT_EQ(picturesTo([&] { n.nav->PreciseSeekTo(49 * kFrame); }), exact);
    }
}

namespace {

// A source without streams whose seeks land only somewhere near the target.
class RoughSeeker final : public WithInterfaces<BaseFilter, SourceSeeking>
{
public:
    RoughSeeker() : WithInterfaces("{7E0C2B51-9A34-4F6D-8E12-5B3A9C0D4E71}"_guid, u"Rough Seeker")
    {
        setDuration(75 * kFrame);
    }
    int GetPinCount() override { return 0; }
    BasePin* GetPin(int) override { return nullptr; }

protected:
    HRESULT ChangeStart() override { return S_OK; }
    HRESULT ChangeStop() override { return S_OK; }
    HRESULT ChangeRate() override { return S_OK; }
};

} // namespace

// A source that does not land exactly on the frame asked for is sought a
// pre-roll earlier, as long as the setting says; one that does, at the
// target itself whatever the setting.
TEST(NavMan, OnlyASourceThatDoesNotSeekExactlyIsSoughtAPreRollEarlier)
{
    std::unique_ptr<TNavMan> nav(TKvActionComponent::Create<TNavMan>(nullptr));
    const auto rough = makeCom<RoughSeeker>();
    ASSERT_EQ(nav->GraphBuilder()->AddFilter(rough.get(), u"Rough Seeker"), S_OK);
    nav->SetFramesNotifier(makeCom<TFramesNotifier>().get());
    nav->InitDuration();
    nav->SetFrameDuration(kFrame);
    std::vector<REFERENCE_TIME> asked;
    nav->onAbsolutePosition = [&](std::int64_t rt) { asked.push_back(rt); };
    nav->PreciseSeekTo(40 * kFrame);
    nav->iaSeekPrepos->SetValue(200);
    nav->PreciseSeekTo(40 * kFrame);
    nav->iaSeekPrepos->SetValue(0);
    nav->PreciseSeekTo(40 * kFrame);
    EXPECT_EQ(asked, (std::vector<REFERENCE_TIME>{15 * kFrame, 35 * kFrame, 40 * kFrame}));
    EXPECT_TRUE(nav->FramesNotifier()->targetArmed(0));
    nav->GraphBuilder()->RemoveFilter(rough.get());

    Nav n("mpeg2.mpg");
    ASSERT_TRUE(n.source);
    asked.clear();
    n.nav->onAbsolutePosition = [&](std::int64_t rt) { asked.push_back(rt); };
    n.nav->PreciseSeekTo(40 * kFrame);
    n.settle();
    EXPECT_EQ(asked, std::vector<REFERENCE_TIME>{40 * kFrame});
    EXPECT_EQ(n.shown(), 40);
}

// A precise seek on a playing graph plays on from the target, and the DV
// codes keep coming after it.
TEST(NavMan, PreciseSeekWhilePlayingPlaysOnFromTheTarget)
{
    for (const char* container : {"h264.mp4", "dv_pal.avi"}) {
        SCOPED_TRACE(container);
        Nav n(container);
        ASSERT_TRUE(n.source);
        const bool dv = QByteArray(container).startsWith("dv");
        std::vector<int> frames;
        QStringList codes;
        recordFrames(n, frames);
        n.nav->OnDVcode = [&](const QString&, const QString& time) { codes.append(time); };
        n.nav->caPlay->SetChecked(true);
        EXPECT_EQ(n.nav->GraphState(), kGraphStatePlaying);
        n.nav->PreciseSeekTo(50 * kFrame);
        EXPECT_EQ(n.nav->GraphState(), kGraphStatePlaying);
        codes.clear();
        waitForFrame(frames, 55);
        n.nav->caPlay->SetChecked(false);
        ASSERT_FALSE(frames.empty());
        // Whatever the run showed before the seek, after it nothing before
        // the target.
        const auto target = std::find(frames.begin(), frames.end(), 50);
        ASSERT_NE(target, frames.end());
        for (auto it = target; it != frames.end(); ++it)
            EXPECT_GE(*it, 50);
        if (dv) {
            EXPECT_GE(codes.size(), 4);
            // The first is the target frame's own.
            EXPECT_EQ(codes.value(0), "10:20:32:05") << codes.join(u' ').toStdString();
        }
    }
}

// Raw MPEG-2 streams at the common rates, most of them with frames that
// last no whole number of 100-ns units and B-frames stored before the frames
// shown before them: a move to the middle frame, plain or precise, shows
// that frame, and playing on shows each later one once.
TEST(NavMan, PlayingOnFromTheMiddleOfAnElementaryStreamShowsTheRestOnce)
{
    const std::pair<const char*, int> clips[] = {{"mpeg2_23976.m2v", 24}, {"mpeg2_25.m2v", 25}, {"mpeg2.m2v", 75},
                                                 {"mpeg2_2997.m2v", 30},  {"mpeg2_50.m2v", 50}, {"mpeg2_5994.m2v", 60}};
    for (const auto& [clipName, count] : clips)
        for (bool precise : {false, true}) {
            SCOPED_TRACE(clipName);
            SCOPED_TRACE(precise ? "precise" : "plain");
            Nav n(clipName);
            ASSERT_TRUE(n.source);
            n.nav->caSeekPrecision->SetChecked(precise);
            const REFERENCE_TIME frame = n.nav->FrameDuration();
            const int middle = count / 2;
            n.nav->waStrPosition->SetValue(RefTimeToTimecodeStr(frame, middle * frame));
            n.settle();
            EXPECT_EQ(n.shown(), middle);
            std::vector<int> frames;
            n.nav->OnDisplayTime = [&](const QString& text) {
                frames.push_back(static_cast<int>(TimecodeStrToRefTime(text, frame) / frame));
            };
            n.nav->caPlay->SetChecked(true);
            waitForFrame(frames, count - 1);
            n.nav->caPlay->SetChecked(false);
            // Playing may report the frame it starts on again.
            if (!frames.empty() && frames.front() == middle)
                frames.erase(frames.begin());
            std::vector<int> rest(count - middle - 1);
            std::iota(rest.begin(), rest.end(), middle + 1);
            EXPECT_EQ(frames, rest);
        }
}

TEST(NavMan, EdgesOfPositionsTextsAndTheSlider)
{
    Nav n("dv_pal.avi");
    ASSERT_TRUE(n.source);
    TNavMan& nav = *n.nav;
    const REFERENCE_TIME duration = nav.Duration();
    EXPECT_EQ(duration, 75 * kFrame);
    EXPECT_EQ(nav.EndPosition(), duration - kFrame);

    // The pre-roll in whole milliseconds, also past 32 bits, never backwards.
    const std::pair<int, REFERENCE_TIME> prerolls[] = {
        {1000, 10'000'000}, {300'000, 3'000'000'000}, {-5, 0}, {0, 0}, {1000, 10'000'000}};
    for (const auto& [ms, units] : prerolls) {
        nav.iaSeekPrepos->SetValue(ms);
        EXPECT_EQ(nav.Preroll(), units) << ms;
    }

    // Target 0 goes to the start without arming the notifier.
    nav.PreciseSeekTo(20 * kFrame);
    n.settle();
    nav.PreciseSeekTo(0);
    n.settle();
    EXPECT_EQ(n.shown(), 0);
    EXPECT_FALSE(n.engine.frames->targetArmed(0));
    EXPECT_EQ(n.engine.frames->targetPosition(0), 20 * kFrame);

    // The position over the whole video in 1024 parts: frame 37 of the 74
    // that end the range stands halfway.
    int kPart = -1;
    nav.OnKPosition = [&](int pos) { kPart = pos; };
    nav.SeekTo(true, 37 * kFrame);
    n.settle();
    nav.GetPosition();
    EXPECT_EQ(kPart, 512);
    nav.OnKPosition = nullptr;

    // The frame duration reported reaches the frames notifier too.
    SendMessage(nav.Handle(), WM_FRAMEDURATION, static_cast<WPARAM>(kFrame / 2), 0);
    EXPECT_EQ(n.engine.frames->frameDuration(), kFrame / 2);
    SendMessage(nav.Handle(), WM_FRAMEDURATION, static_cast<WPARAM>(kFrame), 0);
    EXPECT_EQ(n.engine.frames->frameDuration(), kFrame);

    // The slider counts 1024 units; moving it seeks there.
    QSlider slider;
    nav.SetSlider(&slider);
    EXPECT_EQ(slider.minimum(), 0);
    EXPECT_EQ(slider.maximum(), (duration - kFrame) / 1024);
    std::vector<REFERENCE_TIME> asked;
    nav.onAbsolutePosition = [&](std::int64_t rt) { asked.push_back(rt); };
    slider.setValue(static_cast<int>(30 * kFrame / 1024) + 1);
    n.settle();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], (30 * kFrame / 1024 + 1) * 1024);
    EXPECT_EQ(n.shown(), 30);
    nav.SetFrameDuration(kFrame);
    EXPECT_EQ(slider.maximum(), duration / 1024);

    // The edit shows the seek while it runs; Enter in it seeks to its text.
    QLineEdit edit;
    nav.SetPositionEdit(&edit);
    std::vector<std::pair<bool, QColor>> looks;
    const auto look = [&] { looks.emplace_back(edit.font().italic(), edit.palette().color(QPalette::Text)); };
    nav.OnDisplaySeek = look;
    nav.OnDisplayNormal = look;
    edit.setText(QStringLiteral("0:00:02:00"));
    QTest::keyClick(&edit, Qt::Key_Return);
    n.settle();
    EXPECT_EQ(nav.waStrPosition->Value(), "0:00:02:00");
    EXPECT_EQ(n.shown(), 50);
    EXPECT_EQ(slider.value(), 50 * kFrame / 1024);
    ASSERT_EQ(looks.size(), 2u);
    EXPECT_EQ(looks[0], std::make_pair(true, QColor(0xC0, 0xC0, 0xC0)));
    EXPECT_EQ(looks[1], std::make_pair(false, QColor(Qt::black)));
    EXPECT_EQ(edit.text(), "0:00:02:00");

    // The same position text twice moves nothing the second time.
    int kPositions = 0;
    QStringList shownTexts;
    nav.OnKPosition = [&](int) { ++kPositions; };
    nav.OnDisplayTime = [&](const QString& text) { shownTexts.append(text); };
    nav.StepForward(kFrame);
    n.settle();
    EXPECT_EQ(kPositions, 1);
    QString text = nav.GetStrPosition();
    SendMessage(nav.Handle(), WM_POSITIONTEXT, reinterpret_cast<WPARAM>(&text), 0);
    SendMessage(nav.Handle(), WM_POSITIONTEXT, reinterpret_cast<WPARAM>(&text), 0);
    EXPECT_EQ(kPositions, 1);
    EXPECT_EQ(shownTexts.size(), 3);

    // Drawing the paused frame again keeps it, and leaves no text behind.
    nav.RefreshCurrentFrame();
    n.settle();
    EXPECT_EQ(n.shown(), 51);
    EXPECT_TRUE(n.engine.frames->targetText().isEmpty());
    SendMessage(nav.Handle(), WM_RESYNCSEEK, 0, 0);
    n.settle();
    EXPECT_EQ(n.shown(), 51);

    // A reached target lets every report through, frame data included, so
    // that the DV code goes on after it.
    n.engine.frames->SetTextMessages(false);
    n.engine.frames->SetPositionMessages(false);
    nav.SetFrameDataEnabled(false);
    SendMessage(nav.Handle(), WM_TARGETREACHED, 0, 0);
    EXPECT_TRUE(n.engine.frames->targetReached());
    EXPECT_TRUE(n.engine.frames->textMessages());
    EXPECT_TRUE(n.engine.frames->positionMessages());
    EXPECT_TRUE(nav.FrameDataEnabled());

    // The edit turns green while paused, white otherwise.
    const std::pair<LPARAM, QColor> colours[] = {{0, QColor(0, 0xFF, 0)}, {1, QColor(Qt::white)}};
    for (const auto& [lParam, colour] : colours) {
        SendMessage(nav.Handle(), WM_POSITIONCOLOR, 0, lParam);
        EXPECT_EQ(edit.palette().color(QPalette::Base), colour) << lParam;
    }
    nav.Play();
    SendMessage(nav.Handle(), WM_POSITIONCOLOR, 0, 0);
    EXPECT_EQ(edit.palette().color(QPalette::Base), QColor(Qt::white));
    nav.Pause();
    n.settle();

    // A grab request pauses the graph, hands the grab picture to the window
    // named and plays on.
    std::vector<std::pair<WPARAM, int>> grabs;
    const HWND grabber = AllocateHWnd([&](UINT msg, WPARAM wParam, LPARAM) -> LRESULT {
        if (msg == WM_GRABIMAGE)
            grabs.emplace_back(wParam, nav.GraphState());
        return 0;
    });
    SendMessage(nav.Handle(), WM_NAVGRAB, 0, static_cast<LPARAM>(grabber));
    DeallocateHWnd(grabber);
    EXPECT_EQ(grabs,
              (std::vector<std::pair<WPARAM, int>>{{reinterpret_cast<WPARAM>(&nav.GrabBitmap()), kGraphStatePaused}}));
    EXPECT_EQ(nav.GraphState(), kGraphStatePlaying);
    nav.Pause();
    n.settle();

    // A video whose start is its end has no range: position 0, no division.
    int kPosition = -1;
    nav.OnKPosition = [&](int pos) { kPosition = pos; };
    SendMessage(nav.Handle(), WM_FRAMEDURATION, static_cast<WPARAM>(duration), 0);
    EXPECT_EQ(nav.EndPosition(), nav.StartPosition());
    nav.ReculeDebut();
    n.settle();
    EXPECT_EQ(kPosition, 0);
}

// The slider's range follows the video, and the position read from the
// graph moves it; neither seeks. Only the user's move does.
TEST(NavMan, ANewRangeOrAReadPositionNeverSeeks)
{
    Nav n("dv_pal.avi");
    ASSERT_TRUE(n.source);
    TNavMan& nav = *n.nav;
    QSlider slider;
    nav.SetSlider(&slider);
    std::vector<REFERENCE_TIME> asked;
    nav.onAbsolutePosition = [&](std::int64_t rt) { asked.push_back(rt); };
    nav.PreciseSeekTo(20 * kFrame);
    n.settle();
    ASSERT_EQ(n.shown(), 20);
    asked.clear();

    // The slider still stands near the end of a longer video when this one
    // comes: its range shrinks under the value.
    {
        const QSignalBlocker longer(&slider);
        slider.setRange(0, 100'000);
        slider.setValue(90'000);
    }
    nav.InitDuration();
    nav.SetFrameDuration(kFrame);
    n.settle();
    EXPECT_EQ(slider.maximum(), 75 * kFrame / 1024);
    nav.StepForward(kFrame);
    n.settle();
    EXPECT_EQ(n.shown(), 21);
    EXPECT_EQ(slider.value(), 21 * kFrame / 1024);
    EXPECT_EQ(asked, std::vector<REFERENCE_TIME>{21 * kFrame});

    // The user's move seeks.
    asked.clear();
    slider.setValue(static_cast<int>(40 * kFrame / 1024) + 1);
    n.settle();
    EXPECT_EQ(n.shown(), 40);
    EXPECT_EQ(asked.size(), 1u);

    // A manager whose streams have gone has a duration of 0.
    std::unique_ptr<TNavMan> bare(TKvActionComponent::Create<TNavMan>(nullptr));
    QSlider bareSlider;
    bare->SetSlider(&bareSlider);
    {
        const QSignalBlocker played(&bareSlider);
        bareSlider.setValue(500);
    }
    int seeks = 0;
    bare->onAbsolutePosition = [&](std::int64_t) { ++seeks; };
    bare->InitDuration();
    EXPECT_EQ(bareSlider.maximum(), 0);
    EXPECT_EQ(seeks, 0);
}

// The position edit shows the positions, except while the user types in it.
TEST(NavMan, ThePositionEditKeepsWhatTheUserTypes)
{
    Nav n("dv_pal.avi");
    ASSERT_TRUE(n.source);
    TNavMan& nav = *n.nav;
    QLineEdit edit;
    nav.SetPositionEdit(&edit);
    QString shown = RefTimeToTimecodeStr(kFrame, 3 * kFrame);
    SendMessage(nav.Handle(), WM_POSITIONTEXT, reinterpret_cast<WPARAM>(&shown), 0);
    EXPECT_EQ(edit.text(), shown);

    edit.show();
    edit.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&edit));
    edit.setFocus();
    ASSERT_TRUE(edit.hasFocus());
    edit.clear();
    QTest::keyClicks(&edit, "0:00:01");
    QString playing = RefTimeToTimecodeStr(kFrame, 4 * kFrame);
    SendMessage(nav.Handle(), WM_POSITIONTEXT, reinterpret_cast<WPARAM>(&playing), 0);
    EXPECT_EQ(edit.text(), "0:00:01");

    // Once the focus has gone the positions show again.
    edit.clearFocus();
    SendMessage(nav.Handle(), WM_POSITIONTEXT, reinterpret_cast<WPARAM>(&playing), 0);
    EXPECT_EQ(edit.text(), playing);
}

TEST(NavMan, TheNavigationBarRunsTheActions)
{
    Nav n("dv_pal.avi");
    ASSERT_TRUE(n.source);
    TNavMan& nav = *n.nav;
    TNavBar bar;
    nav.SetNavBar(&bar);
    EXPECT_EQ(nav.PositionEdit(), bar.CurrentEdit);
    EXPECT_EQ(nav.Slider(), bar.tb);
    nav.SetFrameDuration(kFrame);
    EXPECT_EQ(bar.DureeLab->text(), "0:00:03:00");

    // The step buttons show their own action, but a click runs the one-step
    // or the ten-step action, which is the line a macro records.
    struct Click
    {
        TKvImgSpeedButton* button;
        TTntCustomAction* action;
        bool shift;
        int frame;
        const char* recorded;
    };
    const Click clicks[] = {
        {bar.AvanceLowBtn, nav.naAvanceLow, false, 1, "AvanceFrame;"},
        {bar.AvanceLowBtn, nav.naAvanceLow, true, 11, "Avance10Frames;"},
        {bar.AvanceMediumBtn, nav.naAvanceMedium, false, 36, "AvanceSeconde;"},
        {bar.ReculeLowBtn, nav.naReculeLow, true, 26, "Recule10Frames;"},
        {bar.ReculeMediumBtn, nav.naReculeMedium, false, 1, "ReculeSeconde;"},
        {bar.AvanceTrackBtn, nav.naAvanceFin, false, kLastFrame, "AvanceFin;"},
        {bar.ReculeTrackBtn, nav.naReculeDebut, false, 0, "ReculeDebut;"},
        {bar.AvanceHighBtn, nav.naAvanceHigh, false, kLastFrame, "AvanceMinute;"},
        {bar.ReculeHighBtn, nav.naReculeHigh, false, 0, "ReculeMinute;"},
        {bar.ReculeLowBtn, nav.naReculeLow, false, 0, "ReculeFrame;"},
        {bar.AvanceMediumBtn, nav.naAvanceMedium, true, 250, "Avance10Secondes;"},
        {bar.ReculeMediumBtn, nav.naReculeMedium, true, 0, "Recule10Secondes;"},
        {bar.AvanceHighBtn, nav.naAvanceHigh, true, kLastFrame, "Avance10Minutes;"},
        {bar.ReculeHighBtn, nav.naReculeHigh, true, 0, "Recule10Minutes;"},
    };
    QStringList recorded;
    MacroTarget = &recorded;
    for (const Click& click : clicks) {
        SCOPED_TRACE(click.action->Name().toStdString());
        EXPECT_EQ(click.button->Action(), click.action);
        n.shift = click.shift;
        recorded.clear();
        click.button->click();
        n.settle();
        EXPECT_EQ(n.shown(), std::min(click.frame, kLastFrame));
        EXPECT_EQ(bar.CurrentEdit->text(), RefTimeToTimecodeStr(kFrame, std::min(click.frame, kLastFrame) * kFrame));
        ASSERT_EQ(recorded.size(), 1);
        EXPECT_EQ(recorded.front().trimmed(), click.recorded);
    }
    MacroTarget = nullptr;
    EXPECT_EQ(bar.PlayBtn->Action(), nav.caPlay);
    bar.PlayBtn->click();
    EXPECT_EQ(nav.GraphState(), kGraphStatePlaying);
    bar.PlayBtn->click();
    EXPECT_EQ(nav.GraphState(), kGraphStatePaused);

    // Compatible speed runs the graph without a clock, and leaves a paused
    // graph paused.
    std::vector<bool> speeds;
    nav.OnVitesse = [&](bool maxi) { speeds.push_back(maxi); };
    const auto filter = ComPtr<IGraphBuilder>(nav.GraphBuilder()).as<IMediaFilter>();
    for (bool maxi : {true, false}) {
        nav.caVitesseCompatible->SetChecked(maxi);
        ComPtr<IReferenceClock> clock;
        filter->GetSyncSource(clock.put());
        EXPECT_EQ(clock.get() == nullptr, maxi);
        EXPECT_EQ(nav.GraphState(), kGraphStatePaused);
    }
    EXPECT_EQ(speeds, (std::vector<bool>{true, false}));
}

// Until the first frame-duration report the steps count frames of 100 ns.
TEST(NavMan, TenFramesBeforeTheFirstFrameDurationAreTenUnits)
{
    Nav n("h264.mkv", false);
    ASSERT_TRUE(n.source);
    EXPECT_EQ(n.nav->FrameDuration(), 1);
    std::vector<REFERENCE_TIME> asked;
    n.nav->onAbsolutePosition = [&](std::int64_t rt) { asked.push_back(rt); };
    const REFERENCE_TIME before = n.nav->GetPosition();
    n.nav->naAvance10Frames->Execute();
    const REFERENCE_TIME after = n.nav->GetPosition();
    n.nav->naAvanceFrame->Execute();
    EXPECT_EQ(asked, (std::vector<REFERENCE_TIME>{before + 10, after + 1}));
}

TEST(NavMan, ActionsAsTheProgramShowsThem)
{
    std::unique_ptr<TNavMan> nav(TKvActionComponent::Create<TNavMan>(nullptr));
    EXPECT_EQ(nav->ActionCount(), 27);
    struct Row
    {
        TCustomAbstractAction* action;
        const char* script;
        QKeySequence key;
    };
    const Row rows[] = {
        {nav->caPlay, "Play", QKeySequence(Qt::CTRL | Qt::Key_Space)},
        {nav->naReculeDebut, "ReculeDebut", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Home)},
        {nav->naAvance10Minutes, "Avance10Minutes", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_PageUp)},
        {nav->naReculeLow, "ReculeLow", QKeySequence()},
        {nav->caVitesseCompatible, "VitesseCompatible", QKeySequence(Qt::CTRL | Qt::Key_B)},
        {nav->waStrPosition, "Position", QKeySequence()},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(row.action);
        EXPECT_EQ(row.action->ScriptName, row.script);
        EXPECT_EQ(row.action->ShortCut(), row.key) << row.script;
        EXPECT_EQ(row.action->Category(), "internal");
        EXPECT_TRUE(row.action->IncludePrefs);
    }
    EXPECT_EQ(nav->caPlay->Caption(), "Play");
    EXPECT_EQ(nav->naAvanceTrack->Hint(),
              "Click to advance to the next Scene.\r\nIf you hold Shift you will advance to the End");
    EXPECT_EQ(nav->iaSeekPrepos->DefaultValue(), 1000);
    EXPECT_EQ(nav->waStrPosition->DefaultValue(), "0:00:00:00");
    EXPECT_TRUE(nav->caSeekPrecision->ApplyWhenLoad);
    EXPECT_FALSE(nav->caPlay->ApplyWhenLoad);
    EXPECT_EQ(nav->Preroll(), 10'000'000);
}
