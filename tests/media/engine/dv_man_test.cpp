// The DV manager: DV codes of every frame of the DV clips, scene breaks of
// the joined clip, and its window procedure on records handed to it.

#include "engine_fixture.h"

#include "media/filters/notify_messages.h"
#include "platform/rtl/datetime.h"
#include "platform/win/messages.h"

#include <gtest/gtest.h>

using namespace testing_engine;

namespace {

struct Code
{
    QString date;
    QString time;
};

} // namespace

TEST(DVMan, ReportsTheCodesOfEveryFrameWhileFrameDataIsOn)
{
    struct Row
    {
        const char* clip;
        bool frameData;
        int frames;
        int fps;
        int firstFrame; // the time code of frame 0 in frames
        TDateTime day;
    };
    const int pal = ((10 * 60 + 20) * 60 + 30) * 25 + 5;
    const int ntsc = ((1 * 60 + 2) * 60 + 3) * 30 + 4;
    const Row rows[] = {
        {"dv_pal.avi", true, 75, 25, pal, EncodeDate(2024, 5, 17)},
        {"dv_ntsc_wide.avi", true, 30, 30, ntsc, EncodeDate(2023, 11, 2)},
        {"dv_pal.avi", false, 0, 25, pal, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.clip);
        Engine engine;
        std::vector<Code> codes;
        engine.man->OnDVcode = [&](const QString& date, const QString& time) { codes.push_back({date, time}); };
        TVideoSource* source = engine.connectVideo(clip(row.clip));
        ASSERT_TRUE(source);
        engine.man->SetDVCodeSource(source);
        EXPECT_EQ(engine.man->DVCodeSource(), source);
        EXPECT_TRUE(source->Notifier()->notifyFrameData());
        engine.man->SetFrameDataEnabled(row.frameData);
        engine.playToEnd();

        ASSERT_EQ(codes.size(), std::size_t(row.frames));
        const QString day = FormatDateTime(QStringLiteral("ddddd"), row.day);
        for (int n = 0; n < row.frames; ++n) {
            const int tc = row.firstFrame + n;
            const int seconds = tc / row.fps;
            const Code& code = codes[std::size_t(n)];
            EXPECT_EQ(code.time, QString::asprintf("%d:%.2d:%.2d:%.2d", seconds / 3600, seconds / 60 % 60, seconds % 60,
                                                   tc % row.fps))
                << "frame " << n;
            EXPECT_TRUE(code.date.startsWith(day)) << code.date.toStdString();
        }

        // Another source takes over: the first stops sending frame data.
        engine.man->SetDVCodeSource(nullptr);
        EXPECT_FALSE(source->Notifier()->notifyFrameData());
    }
}

TEST(DVMan, TheJoinedClipGivesTwoScenes)
{
    Engine engine;
    std::vector<std::pair<char, int>> scenes;
    engine.man->OnSceneStart = [&](const TframeData& frame) { scenes.emplace_back('S', frame.frameNumber); };
    engine.man->OnSceneEnd = [&](const TframeData& frame) { scenes.emplace_back('E', frame.frameNumber); };
    TVideoSource* source = engine.connectVideo(clip("dv_joined.avi"));
    ASSERT_TRUE(source);
    // The manager's parameters are 0: the notifier keeps its own.
    engine.man->SetSceneSource(source);
    engine.playToEnd();
    ProcessMessages();
    EXPECT_EQ(scenes, (std::vector<std::pair<char, int>>{{'S', 0}, {'E', 24}, {'S', 25}, {'E', 49}}));
}

// Parameters of 0 are the manager's defaults and mean "not set here".
TEST(DVMan, SceneParametersOfZeroKeepTheNotifierDefaults)
{
    struct Row
    {
        std::int32_t longest, gap, delay, option;
        std::int32_t expectLongest, expectGap, expectDelay;
    };
    const Row rows[] = {
        {0, 0, 0, 0, 0, 2000, 1000},
        {600, 5000, 400, 3, 600, 5000, 400},
        {0, 250, 0, 0, 0, 250, 1000},
    };
    for (const Row& row : rows) {
        Engine engine;
        TFileDevice* device = engine.factory->GetFileDevice(clip("dv_pal.avi"));
        ASSERT_TRUE(device && device->VideoSource(0));
        TVideoSource* source = device->VideoSource(0);
        engine.man->MaxSceneSeconds = row.longest;
        engine.man->MaxGapMs = row.gap;
        engine.man->SceneDelayMs = row.delay;
        engine.man->SceneOption = row.option;
        engine.man->SetSceneSource(source);
        const TVideoNotifier* notifier = source->Notifier();
        EXPECT_TRUE(notifier->notifyScenes());
        EXPECT_EQ(notifier->maxSceneLength(), row.expectLongest);
        EXPECT_EQ(notifier->maxGap(), row.expectGap);
        EXPECT_EQ(notifier->sceneDelay(), row.expectDelay);
        EXPECT_EQ(notifier->sceneOption(), row.option);
        engine.man->SetSceneSource(nullptr);
        EXPECT_FALSE(notifier->notifyScenes());
    }
}

TEST(DVMan, WindowProcedureOnTheRecordsItIsHanded)
{
    TDVMan man;
    std::vector<QString> events;
    man.OnDVcode = [&](const QString& date, const QString& time) { events.push_back(date + u'|' + time); };
    man.OnSceneStart = [&](const TframeData& frame) {
        events.push_back(QStringLiteral("start ") + QString::number(frame.frameNumber));
    };
    man.OnSceneEnd = [&](const TframeData& frame) {
        events.push_back(QStringLiteral("end ") + QString::number(frame.frameNumber));
    };

    TframeData none;
    none.frameNumber = 7;
    TframeData both = none;
    both.dateValid = true;
    both.dateText = QStringLiteral("17/05/2024 - 14:32:10");
    both.timecodeValid = true;
    both.timecodeText = QStringLiteral("10:20:30:05");
    TframeData timeOnly = none;
    timeOnly.timecodeValid = true;
    timeOnly.timecodeText = QStringLiteral("0:00:01:00");
    std::int32_t rates[2] = {48000, 44100};
    const auto record = [](const void* p) { return reinterpret_cast<LPARAM>(p); };

    struct Row
    {
        bool frameData;
        UINT msg;
        WPARAM wParam;
        LPARAM lParam;
        std::vector<QString> expected;
    };
    const Row rows[] = {
        {true, WM_FRAMEDATA, 0, record(&none), {"No Datecode|NoTimecode"}},
        {true, WM_FRAMEDATA, 0, record(&both), {"17/05/2024 - 14:32:10|10:20:30:05"}},
        {true, WM_FRAMEDATA, 0, record(&timeOnly), {"No Datecode|0:00:01:00"}},
        {false, WM_FRAMEDATA, 0, record(&both), {}},
        {true, WM_FRAMEDATA, 0, 0, {}},
        {true, WM_SCENE, WPARAM(record(&none)), kSceneStart, {"start 7"}},
        {true, WM_SCENE, WPARAM(record(&none)), kSceneEnd, {"end 7"}},
        {true, WM_SCENE, WPARAM(record(&none)), 2, {}},
        {true, WM_SCENE, 0, kSceneStart, {}},
        {true, WM_RESAMPLERATE, WPARAM(record(rates)), 0, {}},
        {true, WM_RESAMPLERATE, 0, 0, {}},
    };
    // Every listener hears the codes the single handler has, right after it.
    std::vector<QString> heard;
    QObject::connect(&man, &TDVMan::DVcodeArrived, &man, [&](const QString& date, const QString& time) {
        heard.push_back(date + u'|' + time);
        events.push_back(QStringLiteral("heard"));
    });
    const auto resampler = makeCom<TResampler>();
    man.Resamplers().append(resampler);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.msg);
        events.clear();
        heard.clear();
        man.SetFrameDataEnabled(row.frameData);
        SendMessage(man.Handle(), row.msg, row.wParam, row.lParam);
        const std::vector<QString> codes = row.msg == WM_FRAMEDATA ? row.expected : std::vector<QString>{};
        std::vector<QString> expected;
        for (const QString& code : codes)
            expected.insert(expected.end(), {code, QStringLiteral("heard")});
        EXPECT_EQ(heard, codes);
        EXPECT_EQ(events, row.msg == WM_FRAMEDATA ? expected : row.expected);
    }
    // Without the single handler the listeners hear them still.
    man.OnDVcode = nullptr;
    heard.clear();
    man.SetFrameDataEnabled(true);
    SendMessage(man.Handle(), WM_FRAMEDATA, 0, record(&both));
    EXPECT_EQ(heard, std::vector<QString>{"17/05/2024 - 14:32:10|10:20:30:05"});
    EXPECT_EQ(resampler->ratePair(), (std::array<std::int32_t, 2>{48000, 44100}));
    EXPECT_EQ(man.NoDatecodeStr, "No Datecode");
    EXPECT_EQ(man.NoTimecodeStr, "NoTimecode");
}

TEST(DVMan, ForgetsSourcesThatGo)
{
    Engine engine;
    TVideoSource* source = engine.connectVideo(clip("dv_pal.avi"));
    ASSERT_TRUE(source);
    engine.man->SetDVCodeSource(source);
    engine.man->SetSceneSource(source);
    // Choosing another source filter drops the devices and their sources.
    engine.factory->SetSourceFilter(nullptr);
    EXPECT_FALSE(engine.man->DVCodeSource());
    EXPECT_FALSE(engine.man->SceneSource());
    engine.man->SetDVCodeSource(nullptr);
}
