#include "tests/platform/renderers/push_source.h"

#include "platform/graph/filter_graph.h"
#include "platform/renderers/audio/audio_gain.h"
#include "platform/renderers/audio/audio_output.h"
#include "platform/renderers/audio/audio_renderer.h"
#include "platform/win/messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace testing_renderers;

namespace {

struct Playback
{
    Playback(ComPtr<PushSource> pushed, AudioRenderer::Output output)
        : source(std::move(pushed)), renderer(makeCom<AudioRenderer>(output))
    {
        EXPECT_EQ(graph->AddFilter(source.get(), u"Source"), S_OK);
        EXPECT_EQ(graph->AddFilter(renderer.get(), u"Kv Audio Renderer"), S_OK);
        EXPECT_EQ(graph->ConnectDirect(source->output(), renderer->input(), nullptr), S_OK);
    }
    ~Playback() { graph->Stop(); }

    ComPtr<PushSource> source;
    ComPtr<AudioRenderer> renderer;
    ComPtr<FilterGraph> graph = makeCom<FilterGraph>();
};

WAVEFORMATEX stereo44k()
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = 44100;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = 44100 * 4;
    return format;
}

// A steady clock that moves only when the test moves it.
class ManualClock final : public ComObject<IReferenceClock>
{
public:
    HRESULT GetTime(REFERENCE_TIME* time) override
    {
        *time = now;
        return S_OK;
    }
    std::atomic<REFERENCE_TIME> now{10'000'000'000};
};

// A sound device on the manual clock whose played time runs at `pace` of
// the clock's while it plays, with the usual buffer ahead of it.
class PacedOutput final : public AudioOutput
{
public:
    PacedOutput(const WAVEFORMATEX& format, const ManualClock* clock, double pace)
        : clock_(clock), pace_(pace), bytesPerSecond_(format.nAvgBytesPerSec),
          capacity_(static_cast<std::size_t>(bytesPerSecond_ * kAudioBuffer.count() / 1000))
    {
    }

    std::size_t writable() override
    {
        std::lock_guard lock(mutex_);
        return room();
    }
    void write(const BYTE*, std::size_t size) override
    {
        {
            std::lock_guard lock(mutex_);
            written_ += size;
        }
        // The test waits for the room to be filled.
        WakeWaits();
    }
    void waitWritable() override
    {
        waitUntil([this] { return room() > 0; });
    }
    void waitDrained() override
    {
        waitUntil([this] { return heardBytes() == written_; });
    }
    void interrupt() override
    {
        std::lock_guard lock(mutex_);
        interrupted_ = true;
        changed_.notify_all();
    }
    REFERENCE_TIME played() override
    {
        std::lock_guard lock(mutex_);
        return static_cast<REFERENCE_TIME>(heardBytes() * 10'000'000 / bytesPerSecond_);
    }
    void setPaused(bool paused) override
    {
        std::lock_guard lock(mutex_);
        if (paused == paused_)
            return;
        if (paused)
            heardBefore_ = heardBytes();
        else
            startedAt_ = clock_->now;
        paused_ = paused;
    }
    void flush() override
    {
        std::lock_guard lock(mutex_);
        heardBefore_ = written_ = heardBytes();
        startedAt_ = clock_->now;
    }
    void drain() override {}
    bool drained() override
    {
        std::lock_guard lock(mutex_);
        return heardBytes() == written_;
    }
    bool healthy() override { return true; }

    // The clock moved: waiters look again.
    void moved() { changed_.notify_all(); }

private:
    std::uint64_t heardBytes()
    {
        if (paused_)
            return heardBefore_;
        const double seconds = static_cast<double>(clock_->now - startedAt_) / 1e7 * pace_;
        const auto bytes = static_cast<std::uint64_t>(seconds * bytesPerSecond_) / 4 * 4;
        return std::min(written_, heardBefore_ + bytes);
    }
    std::size_t room() { return capacity_ - std::min<std::size_t>(capacity_, written_ - heardBytes()); }
    template <typename Done> void waitUntil(Done done)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return interrupted_ || done(); });
        interrupted_ = false;
    }

    const ManualClock* clock_;
    const double pace_;
    const DWORD bytesPerSecond_;
    const std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t written_ = 0;
    std::uint64_t heardBefore_ = 0;
    REFERENCE_TIME startedAt_ = 0;
    bool paused_ = true;
    bool interrupted_ = false;
};

} // namespace

TEST(AudioRenderer, TheClockKeepsThePaceOfTheSoundOutputNotOfTheSteadyClock)
{
    // A device that plays 1 % slower than it should, for a simulated minute.
    const auto steady = makeCom<ManualClock>();
    std::atomic<PacedOutput*> output{nullptr};
    const auto renderer = makeCom<AudioRenderer>(
        [&](const WAVEFORMATEX& format) {
            auto made = std::make_unique<PacedOutput>(format, steady.get(), 0.99);
            output = made.get();
            return made;
        },
        steady);
    const auto source = toneSource(61.0, 8000);
    const auto graph = makeCom<FilterGraph>();
    graph->AddFilter(source.get(), u"Source");
    graph->AddFilter(renderer.get(), u"Audio");
    ASSERT_EQ(graph->ConnectDirect(source->output(), renderer->input(), nullptr), S_OK);
    ASSERT_TRUE(SUCCEEDED(graph->Run()));
    REFERENCE_TIME start = 0;
    renderer->GetTime(&start);

    REFERENCE_TIME worst = 0;
    constexpr REFERENCE_TIME kStep = 100'000; // 10 ms
    for (int step = 1; step <= 6000; ++step) {
        steady->now += kStep;
        output.load()->moved();
        // The streaming thread fills the room the output made.
        ASSERT_TRUE(WaitServingMessages([&] { return output.load()->writable() == 0; }, 10'000)) << step;
        REFERENCE_TIME now = 0;
        renderer->GetTime(&now);
        worst = std::max(worst, std::abs(now - start - output.load()->played()));
    }
    EXPECT_LT(worst, 400'000);
    // The steady clock alone would have left the sound well behind.
    EXPECT_GT(6000 * kStep - output.load()->played(), 5'000'000);
    graph->Stop();
}

TEST(AudioRenderer, TheNullSinkPlaysThreeSecondsInThreeSecondsAsTheGraphClock)
{
    Playback playback(toneSource(3.0), AudioRenderer::Output::Null);
    // The renderer keeps the graph's time.
    ASSERT_TRUE(SUCCEEDED(playback.graph->Pause()));
    ComPtr<IReferenceClock> clock;
    ASSERT_EQ(playback.graph->GetSyncSource(clock.put()), S_OK);
    EXPECT_EQ(clock.get(), static_cast<IReferenceClock*>(playback.renderer.get()));

    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(SUCCEEDED(playback.graph->Run()));
    LONG code = 0;
    ASSERT_EQ(playback.graph->WaitForCompletion(10'000, &code), S_OK);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_NEAR(seconds, 3.0, 0.15);
    EXPECT_NEAR(playback.renderer->playedTime() / 1e7, 3.0, 0.15);
    EXPECT_FALSE(playback.renderer->playsThroughPulse());
}

TEST(AudioRenderer, PausingHoldsTheSoundAndStoppingReleasesTheStream)
{
    Playback playback(toneSource(2.0), AudioRenderer::Output::Null);
    ASSERT_TRUE(SUCCEEDED(playback.graph->Run()));
    while (playback.renderer->playedTime() < 3'000'000)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(SUCCEEDED(playback.graph->Pause()));
    const REFERENCE_TIME held = playback.renderer->playedTime();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(playback.renderer->playedTime(), held);
    ASSERT_TRUE(SUCCEEDED(playback.graph->Run()));
    LONG code = 0;
    ASSERT_EQ(playback.graph->WaitForCompletion(10'000, &code), S_OK);
    // Nothing was lost or played twice across the pause.
    EXPECT_NEAR(playback.renderer->playedTime() / 1e7, 2.0, 0.1);
    // Stopping while the stream waits for room does not hang.
    Playback again(toneSource(2.0), AudioRenderer::Output::Null);
    ASSERT_TRUE(SUCCEEDED(again.graph->Run()));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(again.graph->Stop(), S_OK);
}

TEST(AudioRenderer, AtAnotherRateTheSoundKeepsThePaceOfTheClock)
{
    // Two seconds of sound at four times the rate take half a second of the
    // clock, at half the rate four seconds: cut short or stretched with
    // silence, but never holding the stream back or running ahead.
    for (const double rate : {4.0, 0.5}) {
        SCOPED_TRACE(rate);
        Playback playback(toneSource(2.0), AudioRenderer::Output::Null);
        playback.source->stream()->playAt(rate);
        ASSERT_TRUE(SUCCEEDED(playback.graph->Run()));
        LONG code = 0;
        ASSERT_EQ(playback.graph->WaitForCompletion(10'000, &code), S_OK);
        EXPECT_NEAR(playback.renderer->playedTime() / 1e7, 2.0 / rate, 0.1);
    }
}

TEST(AudioRenderer, VolumeIsALinearGainThatRoundTripsThroughTheGraph)
{
    Playback playback(toneSource(0.1), AudioRenderer::Output::Null);
    const auto audio = playback.graph.as<IBasicAudio>();
    for (const LONG volume : {0, 1, 5000, 9999, 10000}) {
        ASSERT_EQ(audio->put_Volume(volume), S_OK);
        LONG read = -1;
        ASSERT_EQ(audio->get_Volume(&read), S_OK);
        EXPECT_EQ(read, volume);
    }
    EXPECT_EQ(audio->put_Volume(-1), E_INVALIDARG);
    EXPECT_EQ(audio->put_Volume(10001), E_INVALIDARG);
    EXPECT_EQ(audio->put_Balance(-10001), E_INVALIDARG);

    std::int16_t samples[] = {10000, -10000, 20000, -20000};
    applyGains(samples, 4, 2, gainsOf(5000, 0, false));
    EXPECT_EQ(samples[0], 5000);
    EXPECT_EQ(samples[3], -10000);
    applyGains(samples, 4, 2, gainsOf(10000, 5000, false));
    EXPECT_EQ(samples[0], 2500); // left halved by the balance to the right
    EXPECT_EQ(samples[1], -5000);
    applyGains(samples, 4, 1, gainsOf(10000, 0, true));
    EXPECT_EQ(samples[1], 0);
    // A quarter of the volume is a quarter of the amplitude.
    const ChannelGains quarter = gainsOf(2500, 0, false);
    EXPECT_DOUBLE_EQ(quarter.left, 0.25);
    EXPECT_DOUBLE_EQ(quarter.right, 0.25);
}

TEST(AudioRenderer, PulseAudioPlaysAndItsClockAdvances)
{
    if (!openPulseOutput(stereo44k()))
        GTEST_SKIP() << "no PulseAudio server answers; scripts/pulse.sh starts one";
    Playback playback(toneSource(1.0), AudioRenderer::Output::Pulse);
    ASSERT_TRUE(SUCCEEDED(playback.graph->Run()));
    EXPECT_TRUE(playback.renderer->playsThroughPulse());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (playback.renderer->playedTime() < 3'000'000 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GE(playback.renderer->playedTime(), 3'000'000);
    LONG code = 0;
    ASSERT_EQ(playback.graph->WaitForCompletion(10'000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_GE(playback.renderer->playedTime(), 9'000'000);
}
