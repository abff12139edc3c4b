// The DV clips played by the DV manager to their end with the sound on the
// null sink, again and again: the playback the program gives without a
// sound server.

#include "engine_fixture.h"

#include "platform/win/messages.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace testing_engine;

namespace {

// Plays from `from` until the manager reports the completion; false when it
// did not come within twice the time left and a margin.
bool playFrom(Engine& engine, REFERENCE_TIME from, REFERENCE_TIME duration)
{
    engine.completed = false;
    if (FAILED(engine.man->MediaSeeking()->SetPositions(&from, AM_SEEKING_AbsolutePositioning, nullptr,
                                                        AM_SEEKING_NoPositioning)) ||
        !engine.man->Play())
        return false;
    // The completion comes as a posted message.
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(2 * (duration - from) / 10'000 + 3000);
    while (!engine.completed && std::chrono::steady_clock::now() < until) {
        WaitServingMessages([&] { return engine.completed; }, 5);
        ProcessMessages();
    }
    engine.man->Pause();
    return engine.completed;
}

} // namespace

TEST(SilentPlayback, TheDVManagerPlaysEachDVClipToItsEndEveryTime)
{
    for (const char* name : {"dv_pal.avi", "dv_ntsc_wide.avi", "dv_joined.avi"}) {
        SCOPED_TRACE(name);
        Engine engine;
        ASSERT_TRUE(engine.connectVideo(clip(name)));
        ASSERT_TRUE(engine.connectAudio(clip(name)));
        // The audio renderer keeps the graph's time, as when the program plays.
        ASSERT_EQ(engine.man->GraphBuilder()->SetDefaultSyncSource(), S_OK);
        LONGLONG duration = 0;
        ASSERT_EQ(engine.man->MediaSeeking()->GetDuration(&duration), S_OK);

        ASSERT_TRUE(playFrom(engine, 0, duration));
        // The last half second, many times over.
        const REFERENCE_TIME tail = std::max<REFERENCE_TIME>(duration - 5'000'000, 0);
        for (int run = 0; run < 4; ++run)
            ASSERT_TRUE(playFrom(engine, tail, duration)) << "run " << run;
        engine.man->Stop();
        ProcessMessages();
    }
}
