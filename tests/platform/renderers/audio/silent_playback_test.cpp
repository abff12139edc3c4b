// The DV clips played to their end on the null sink, again and again: the
// sound output's waits must each end once the sound they wait for has
// played, however the blocks fall against the clock.

#include "platform/renderers/audio/audio_renderer.h"
#include "tests/common/param_name.h"
#include "tests/platform/filters/harness.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

struct SilentCase
{
    const char* clip;
    int frames;
};

void PrintTo(const SilentCase& c, std::ostream* os)
{
    *os << c.clip;
}

// A graph of the clip's pictures into a sink and its sound into the audio
// renderer on the null sink, which is the graph's clock.
struct SilentGraph
{
    explicit SilentGraph(const char* clip)
    {
        const harness::Opened opened = harness::open(CLSID_PreferredSource, clip);
        graph = opened.graph;
        EXPECT_EQ(opened.result, S_OK);
        if (FAILED(opened.result))
            return;
        pictures = harness::render(graph.get(), harness::pinOfMajor(opened.filter.get(), MEDIATYPE_Video).get(),
                                   MEDIATYPE_Video);
        graph->AddFilter(sound.get(), u"Audio Renderer");
        const ComPtr<IPin> audio = harness::pinOfMajor(opened.filter.get(), MEDIATYPE_Audio);
        EXPECT_TRUE(pictures && audio);
        EXPECT_EQ(graph->Connect(audio.get(), sound->input()), S_OK);
        EXPECT_EQ(graph->SetDefaultSyncSource(), S_OK);
    }
    ~SilentGraph() { graph->Stop(); }

    // Runs from `from` to the end; false when completion did not come
    // within twice the time left and a margin, the limit of a hung graph.
    bool playToEnd(REFERENCE_TIME from, REFERENCE_TIME duration)
    {
        if (FAILED(graph->SetPositions(&from, AM_SEEKING_AbsolutePositioning, nullptr, 0)) || FAILED(graph->Run()))
            return false;
        LONG code = 0;
        const auto limit = static_cast<LONG>(2 * (duration - from) / 10'000 + 3000);
        const bool completed = graph->WaitForCompletion(limit, &code) == S_OK && code == EC_COMPLETE;
        graph->Pause();
        return completed;
    }

    ComPtr<FilterGraph> graph;
    ComPtr<harness::Sink> pictures;
    ComPtr<AudioRenderer> sound = makeCom<AudioRenderer>(AudioRenderer::Output::Null);
};

class SilentPlayback : public testing::TestWithParam<SilentCase>
{
};

} // namespace

TEST_P(SilentPlayback, TheClipPlaysToItsEndEveryTime)
{
    const SilentCase& c = GetParam();
    SilentGraph silent(c.clip);
    ASSERT_TRUE(silent.pictures);
    LONGLONG duration = 0;
    ASSERT_EQ(silent.graph->GetDuration(&duration), S_OK);

    // Once from the start: every second of the sound is heard, and the last
    // picture is shown.
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(silent.playToEnd(0, duration));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_NEAR(silent.sound->playedTime() / 1e7, duration / 1e7, 0.2);
    EXPECT_GE(seconds, duration / 1e7 - 0.2);
    EXPECT_FALSE(silent.sound->playsThroughPulse());
    ASSERT_FALSE(silent.pictures->frames().empty());
    EXPECT_EQ(silent.pictures->frames().back(), c.frames - 1);

    // Then the last half second, many times over: each run ends.
    const REFERENCE_TIME tail = std::max<REFERENCE_TIME>(duration - 5'000'000, 0);
    for (int run = 0; run < 8; ++run)
        ASSERT_TRUE(silent.playToEnd(tail, duration)) << "run " << run;
    EXPECT_EQ(silent.pictures->frames().back(), c.frames - 1);
}

INSTANTIATE_TEST_SUITE_P(DV, SilentPlayback,
                         testing::Values(SilentCase{"dv_pal.avi", 75}, SilentCase{"dv_ntsc_wide.avi", 30},
                                         SilentCase{"dv_joined.avi", 50}),
                         NamedByClip());
