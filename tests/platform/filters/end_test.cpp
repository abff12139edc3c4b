// The end of every clip, through every filter that reads it: the duration
// ends where the last picture ends, and a seek at or past the last picture's
// start shows the last picture.

#include "tests/common/param_name.h"
#include "tests/platform/filters/harness.h"

#include "platform/filters/stream_types.h"

#include <gtest/gtest.h>

namespace {

struct EndCase
{
    const char* clip;
    CLSID classId;
    const char* className;
    int frames;
};

void PrintTo(const EndCase& c, std::ostream* os)
{
    *os << c.clip << " through " << c.className;
}

// Every clip with pictures, through the filter the factory chooses for its
// extension and through the source for every container. size_change.mpg is
// not here: its two halves both count their times from the same start, so
// its own times end after one second of its two.
const EndCase kEndCases[] = {
    {"dv_pal.avi", CLSID_AviSplitter, "AVI", 75},
    {"dv_ntsc_wide.avi", CLSID_AviSplitter, "AVI", 30},
    {"dv_joined.avi", CLSID_AviSplitter, "AVI", 50},
    {"dv_pal.avi", CLSID_PreferredSource, "preferred", 75},
    {"dv_pal.dv", CLSID_PreferredSource, "preferred", 75},
    {"dv_ntsc_wide.dv", CLSID_PreferredSource, "preferred", 30},
    {"dv_joined.dv", CLSID_PreferredSource, "preferred", 50},
    {"mpeg1.mpg", CLSID_MPEG1Splitter, "MPEG-1", 75},
    {"mpeg2.mpg", CLSID_MPEG2Splitter, "MPEG-2", 75},
    {"mpeg2.mpg", CLSID_PreferredSource, "preferred", 75},
    {"mpeg2_interlaced.mpg", CLSID_MPEG2Splitter, "MPEG-2", 75},
    {"mpeg2.m2v", CLSID_MPEG1Splitter, "MPEG-1", 75},
    {"mpeg2.m2v", CLSID_PreferredSource, "preferred", 75},
    {"mpeg1.m1v", CLSID_MPEG1Splitter, "MPEG-1", 75},
    {"mpeg2.ts", CLSID_MPEG2Splitter, "MPEG-2", 75},
    {"mpeg2.ts", CLSID_PreferredSource, "preferred", 75},
    {"h264.m2ts", CLSID_MPEG2Splitter, "MPEG-2", 75},
    {"h264.m2ts", CLSID_PreferredSource, "preferred", 75},
    {"h264.mp4", CLSID_PreferredSource, "preferred", 75},
    {"h264.mkv", CLSID_PreferredSource, "preferred", 75},
    {"wmv.wmv", CLSID_WMAsfReader, "ASF", 75},
    {"wmv.wmv", CLSID_PreferredSource, "preferred", 75},
    {"hard_cut.mp4", CLSID_PreferredSource, "preferred", 50},
    {"subtitles.mkv", CLSID_PreferredSource, "preferred", 50},
    {"two_sounds.mkv", CLSID_PreferredSource, "preferred", 50},
    {"vidéo ñ 日本.mp4", CLSID_PreferredSource, "preferred", 25},
};

class ClipEnd : public testing::TestWithParam<EndCase>
{
protected:
    void SetUp() override
    {
        const EndCase& c = GetParam();
        opened_ = harness::open(c.classId, QString::fromUtf8(c.clip));
        ASSERT_EQ(opened_.result, S_OK);
        const ComPtr<IPin> video = harness::pinOfMajor(opened_.filter.get(), MEDIATYPE_Video);
        ASSERT_TRUE(video);
        frame_ = frameDurationOf(harness::offeredType(video.get()));
        ASSERT_GT(frame_, 0);
        sink_ = harness::render(opened_.graph.get(), video.get(), MEDIATYPE_Video);
        ASSERT_TRUE(sink_);
        ASSERT_TRUE(SUCCEEDED(opened_.graph->Pause()));
        ASSERT_EQ(settle(), S_OK);
    }
    void TearDown() override
    {
        if (opened_.graph)
            opened_.graph->Stop();
    }

    HRESULT settle()
    {
        OAFilterState state;
        return opened_.graph->GetState(LONG{20'000}, &state);
    }

    harness::Opened opened_;
    ComPtr<harness::Sink> sink_;
    REFERENCE_TIME frame_ = 0;
};

} // namespace

TEST_P(ClipEnd, TheDurationEndsWhereTheLastPictureEnds)
{
    LONGLONG duration = 0;
    ASSERT_EQ(opened_.graph->GetDuration(&duration), S_OK);
    // Within a 100-ns unit of rounding per picture.
    const REFERENCE_TIME expected = GetParam().frames * frame_;
    EXPECT_NEAR(double(duration), double(expected), GetParam().frames) << "frame " << frame_;
    LONGLONG stop = 0;
    ASSERT_EQ(opened_.graph->GetStopPosition(&stop), S_OK);
    EXPECT_EQ(stop, duration);
}

TEST_P(ClipEnd, ASeekAtOrPastTheLastPictureShowsIt)
{
    const int last = GetParam().frames - 1;
    LONGLONG duration = 0;
    ASSERT_EQ(opened_.graph->GetDuration(&duration), S_OK);
    const REFERENCE_TIME lastStart = last * frame_;
    for (const REFERENCE_TIME target : {lastStart, lastStart + frame_ / 2, duration - 1, duration, duration + frame_,
                                        duration + 10 * frame_, REFERENCE_TIME{0}, duration}) {
        sink_->cued = -2;
        LONGLONG position = target;
        const HRESULT hr =
            opened_.graph->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
        EXPECT_TRUE(SUCCEEDED(hr)) << "seek to " << target;
        ASSERT_EQ(settle(), S_OK);
        EXPECT_EQ(sink_->cued, target == 0 ? 0 : last) << "seek to " << target << " of " << duration;
        LONGLONG current = -1;
        opened_.graph->GetCurrentPosition(&current);
        EXPECT_LE(current, duration) << "seek to " << target;
    }
}

// Sound alone: the duration ends with the last sound, and a seek past it
// goes to the last block of sound.
TEST(ClipEnd, TheDurationOfSoundAloneEndsWithTheSound)
{
    const harness::Opened opened = harness::open(CLSID_WAVEParser, QStringLiteral("audio_only.wav"));
    ASSERT_EQ(opened.result, S_OK);
    LONGLONG duration = 0;
    ASSERT_EQ(opened.graph->GetDuration(&duration), S_OK);
    EXPECT_EQ(duration, 20'000'000);
    LONGLONG position = duration + 10'000'000;
    ASSERT_EQ(opened.graph->SetPositions(&position, AM_SEEKING_AbsolutePositioning | AM_SEEKING_ReturnTime, nullptr,
                                         AM_SEEKING_NoPositioning),
              S_OK);
    EXPECT_LT(position, duration);
    EXPECT_GT(position, duration - 10'000'000);
}

INSTANTIATE_TEST_SUITE_P(Clips, ClipEnd, testing::ValuesIn(kEndCases), [](const auto& info) {
    return TestNameOf(std::string(info.param.clip) + ' ' + info.param.className);
});
