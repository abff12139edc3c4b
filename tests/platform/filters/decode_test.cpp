// Decoding through the graph: the sound of every clip becomes PCM, and the
// pictures of a whole clip come out in order.

#include "tests/common/param_name.h"
#include "tests/platform/filters/harness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace {

struct SoundCase
{
    const char* clip;
    CLSID classId;
    double seconds;
};

void PrintTo(const SoundCase& c, std::ostream* os)
{
    *os << c.clip;
}

const SoundCase kSoundCases[] = {
    {"dv_pal.avi", CLSID_AviSplitter, 3.0},    {"dv_ntsc_wide.avi", CLSID_AviSplitter, 1.0},
    {"dv_pal.dv", CLSID_PreferredSource, 3.0}, {"mpeg1.mpg", CLSID_MPEG1Splitter, 3.0},
    {"mpeg2.mpg", CLSID_MPEG2Splitter, 3.0},   {"mpeg2.ts", CLSID_MPEG2Splitter, 3.0},
    {"h264.m2ts", CLSID_MPEG2Splitter, 3.0},   {"h264.mp4", CLSID_PreferredSource, 3.0},
    {"h264.mkv", CLSID_PreferredSource, 3.0},  {"wmv.wmv", CLSID_WMAsfReader, 3.0},
    {"audio_only.wav", CLSID_WAVEParser, 2.0},
};

class Sound : public testing::TestWithParam<SoundCase>
{
};

TEST_P(Sound, EveryClipsSoundDecodesToPcm)
{
    const SoundCase& c = GetParam();
    const harness::Opened opened = harness::open(c.classId, QString::fromUtf8(c.clip));
    ASSERT_EQ(opened.result, S_OK);
    const ComPtr<IPin> audio = harness::pinOfMajor(opened.filter.get(), MEDIATYPE_Audio);
    ASSERT_TRUE(audio);
    const ComPtr<harness::Sink> sink = harness::render(opened.graph.get(), audio.get(), MEDIATYPE_Audio);
    ASSERT_TRUE(sink);
    AM_MEDIA_TYPE pcm;
    ASSERT_EQ(sink->input()->ConnectionMediaType(&pcm), S_OK);
    const auto* wfx = pcm.formatAs<WAVEFORMATEX>();
    ASSERT_TRUE(wfx);
    EXPECT_EQ(wfx->wBitsPerSample, 16);
    EXPECT_LE(wfx->nChannels, 2);

    static_cast<IMediaFilter*>(opened.graph.get())->SetSyncSource(nullptr);
    ASSERT_TRUE(SUCCEEDED(opened.graph->Run()));
    LONG code = 0;
    ASSERT_EQ(opened.graph->WaitForCompletion(20'000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    opened.graph->Stop();
    const double seconds = static_cast<double>(sink->bytes) / wfx->nAvgBytesPerSec;
    // Encoders pad the last frame of sound.
    EXPECT_NEAR(seconds, c.seconds, 0.15) << c.clip;
}

INSTANTIATE_TEST_SUITE_P(Clips, Sound, testing::ValuesIn(kSoundCases), NamedByClip());

TEST(Sound, SeeksWithoutThePicturesLandOnTheTarget)
{
    // Only the sound is played: a seek still finds its keyframe.
    const harness::Opened opened = harness::open(CLSID_MPEG2Splitter, "mpeg2.ts");
    ASSERT_EQ(opened.result, S_OK);
    const ComPtr<harness::Sink> sink = harness::render(
        opened.graph.get(), harness::pinOfMajor(opened.filter.get(), MEDIATYPE_Audio).get(), MEDIATYPE_Audio);
    ASSERT_TRUE(sink);
    static_cast<IMediaFilter*>(opened.graph.get())->SetSyncSource(nullptr);
    ASSERT_TRUE(SUCCEEDED(opened.graph->Pause()));
    LONGLONG position = 20'000'000;
    ASSERT_EQ(opened.graph->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
              S_OK);
    ASSERT_TRUE(SUCCEEDED(opened.graph->Run()));
    LONG code = 0;
    ASSERT_EQ(opened.graph->WaitForCompletion(20'000, &code), S_OK);
    opened.graph->Stop();
    AM_MEDIA_TYPE pcm;
    ASSERT_EQ(sink->input()->ConnectionMediaType(&pcm), S_OK);
    // The last second of the three, give or take the last frame of sound.
    EXPECT_NEAR(static_cast<double>(sink->bytes) / pcm.formatAs<WAVEFORMATEX>()->nAvgBytesPerSec, 1.0, 0.1);
    const auto starts = sink->starts();
    ASSERT_FALSE(starts.empty());
    EXPECT_LT(std::abs(starts.front()), 400'000);
}

TEST(Pictures, AFormatChangeMidStreamKeepsEveryFrame)
{
    const harness::Opened opened = harness::open(CLSID_MPEG2Splitter, "size_change.mpg");
    ASSERT_EQ(opened.result, S_OK);
    const ComPtr<harness::Sink> sink = harness::render(
        opened.graph.get(), harness::pinOfMajor(opened.filter.get(), MEDIATYPE_Video).get(), MEDIATYPE_Video);
    ASSERT_TRUE(sink);
    static_cast<IMediaFilter*>(opened.graph.get())->SetSyncSource(nullptr);
    ASSERT_TRUE(SUCCEEDED(opened.graph->Run()));
    LONG code = 0;
    ASSERT_EQ(opened.graph->WaitForCompletion(20'000, &code), S_OK);
    opened.graph->Stop();
    std::vector<int> expected;
    for (int n = 0; n < 50; ++n)
        expected.push_back(n);
    EXPECT_EQ(sink->frames(), expected);
}

// The tone of 16-bit mono sound, from its rising zero crossings.
double toneOf(const std::vector<std::vector<BYTE>>& chunks, int rate)
{
    std::vector<int16_t> pcm;
    for (const auto& chunk : chunks) {
        const auto* samples = reinterpret_cast<const int16_t*>(chunk.data());
        pcm.insert(pcm.end(), samples, samples + chunk.size() / 2);
    }
    int crossings = 0;
    for (std::size_t i = 1; i < pcm.size(); ++i)
        crossings += pcm[i - 1] < 0 && pcm[i] >= 0;
    return pcm.empty() ? 0 : crossings * static_cast<double>(rate) / static_cast<double>(pcm.size());
}

TEST(StreamSelection, SwitchingTheSoundTrackChangesWhatThePinCarries)
{
    const harness::Opened opened = harness::open(CLSID_PreferredSource, "two_sounds.mkv");
    ASSERT_EQ(opened.result, S_OK);
    const auto select = opened.filter.as<IAMStreamSelect>();
    DWORD count = 0;
    ASSERT_EQ(select->Count(&count), S_OK);
    ASSERT_EQ(count, 3u);
    const ComPtr<harness::Sink> sink = harness::render(
        opened.graph.get(), harness::pinOfMajor(opened.filter.get(), MEDIATYPE_Audio).get(), MEDIATYPE_Audio);
    ASSERT_TRUE(sink);
    sink->keepData = true;
    DWORD flags = 0;
    ASSERT_EQ(select->Info(2, nullptr, &flags, nullptr, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(flags, 0u);

    // The second track is AC-3 where the first was AAC: the decoder takes
    // the new type on the same connection.
    ASSERT_EQ(select->Enable(2, AMSTREAMSELECTENABLE_ENABLE), S_OK);
    ASSERT_EQ(select->Info(2, nullptr, &flags, nullptr, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_TRUE(flags & AMSTREAMSELECTINFO_ENABLED);
    ASSERT_EQ(select->Info(1, nullptr, &flags, nullptr, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_FALSE(flags & AMSTREAMSELECTINFO_ENABLED);

    static_cast<IMediaFilter*>(opened.graph.get())->SetSyncSource(nullptr);
    ASSERT_TRUE(SUCCEEDED(opened.graph->Run()));
    LONG code = 0;
    ASSERT_EQ(opened.graph->WaitForCompletion(20'000, &code), S_OK);
    opened.graph->Stop();
    // 880 Hz, not the first track's 440 (the encoders' padding blurs it a little).
    EXPECT_NEAR(toneOf(sink->kept(), 48'000), 880, 100);
}

TEST(StreamSelection, ThePreferredSourceListsEveryStreamAndSwitchesWhileStopped)
{
    const harness::Opened opened = harness::open(CLSID_PreferredSource, "h264.mkv");
    ASSERT_EQ(opened.result, S_OK);
    const auto select = opened.filter.as<IAMStreamSelect>();
    ASSERT_TRUE(select);
    DWORD count = 0;
    ASSERT_EQ(select->Count(&count), S_OK);
    ASSERT_EQ(count, 2u);
    std::vector<DWORD> groups;
    for (LONG i = 0; i < static_cast<LONG>(count); ++i) {
        AM_MEDIA_TYPE* type = nullptr;
        DWORD flags = 0, group = 0;
        std::u16string name;
        ASSERT_EQ(select->Info(i, &type, &flags, nullptr, &group, &name, nullptr, nullptr), S_OK);
        EXPECT_EQ(flags & AMSTREAMSELECTINFO_ENABLED, AMSTREAMSELECTINFO_ENABLED);
        EXPECT_FALSE(name.empty());
        groups.push_back(group);
        DeleteMediaType(type);
    }
    EXPECT_EQ(groups, (std::vector<DWORD>{0, 1}));
    EXPECT_EQ(select->Enable(1, AMSTREAMSELECTENABLE_ENABLE), S_OK);
    EXPECT_EQ(select->Info(2, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), S_FALSE);
    EXPECT_EQ(select->Enable(5, AMSTREAMSELECTENABLE_ENABLE), E_INVALIDARG);
}

} // namespace

// Taking a file's pieces out of a graph that is paused or running: the
// renderer holds the streaming thread (cued, or waiting for a picture's time)
// that stopping the piece waits for.
struct RemoveCase
{
    const char* name;
    const char* clip;
    CLSID classId;
    bool running;
    // Which piece is taken out: the one reading the clip or the renderer.
    bool renderer;
};

void PrintTo(const RemoveCase& c, std::ostream* os)
{
    *os << c.name;
}

const RemoveCase kRemoveCases[] = {
    {"PausedSplitter", "dv_pal.avi", CLSID_AviSplitter, false, false},
    {"RunningSplitter", "dv_pal.avi", CLSID_AviSplitter, true, false},
    {"PausedSource", "h264.mp4", CLSID_PreferredSource, false, false},
    {"RunningSource", "h264.mp4", CLSID_PreferredSource, true, false},
    {"PausedRenderer", "h264.mp4", CLSID_PreferredSource, false, true},
};

class Removal : public testing::TestWithParam<RemoveCase>
{
};

TEST_P(Removal, TakingAPieceOutOfAStreamingGraphReturns)
{
    const RemoveCase& c = GetParam();
    const harness::Opened opened = harness::open(c.classId, QString::fromUtf8(c.clip));
    ASSERT_EQ(opened.result, S_OK);
    const ComPtr<harness::Sink> sink = harness::render(
        opened.graph.get(), harness::pinOfMajor(opened.filter.get(), MEDIATYPE_Video).get(), MEDIATYPE_Video);
    ASSERT_TRUE(sink);
    ASSERT_TRUE(SUCCEEDED(c.running ? opened.graph->Run() : opened.graph->Pause()));
    OAFilterState state;
    ASSERT_EQ(opened.graph->GetState(10'000, &state), S_OK);
    // Streaming has reached the renderer: it cued, or drew a picture.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (sink->cued == -2 && sink->samples == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(sink->cued != -2 || sink->samples != 0);

    // A hang must fail the test, not stall the run: the removal runs on its
    // own thread, which is left behind (holding the graph) if it never ends.
    auto done = std::make_shared<std::promise<HRESULT>>();
    std::future<HRESULT> removed = done->get_future();
    const ComPtr<IBaseFilter> piece = c.renderer ? ComPtr<IBaseFilter>(sink.get()) : opened.filter;
    std::thread([graph = opened.graph, piece, done] { done->set_value(graph->RemoveFilter(piece.get())); }).detach();
    ASSERT_EQ(removed.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "RemoveFilter hung";
    EXPECT_EQ(removed.get(), S_OK);
    // What is left still stops, and pauses again.
    EXPECT_TRUE(SUCCEEDED(opened.graph->Pause()));
    EXPECT_EQ(opened.graph->Stop(), S_OK);
}

INSTANTIATE_TEST_SUITE_P(Graphs, Removal, testing::ValuesIn(kRemoveCases),
                         [](const auto& info) { return std::string(info.param.name); });
