// Frame-accurate seeking in every container: the picture that a paused
// graph shows after a seek carries the target's frame number.

#include "tests/common/param_name.h"
#include "tests/platform/filters/harness.h"

#include "platform/filters/decoders.h"
#include "platform/filters/demuxer.h"
#include "platform/filters/stream_types.h"
#include "platform/graph/pin_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <numeric>
#include <tuple>

namespace {

struct SeekCase
{
    const char* clip;
    CLSID classId;
    const char* className;
    int frames;
};

void PrintTo(const SeekCase& c, std::ostream* os)
{
    *os << c.clip << " through " << c.className;
}

const SeekCase kSeekCases[] = {
    {"dv_pal.avi", CLSID_AviSplitter, "AVI", 75},
    {"dv_ntsc_wide.avi", CLSID_AviSplitter, "AVI", 30},
    {"dv_joined.avi", CLSID_AviSplitter, "AVI", 50},
    {"dv_pal.dv", CLSID_PreferredSource, "preferred", 75},
    {"mpeg1.mpg", CLSID_MPEG1Splitter, "MPEG-1", 75},
    {"mpeg2.mpg", CLSID_MPEG2Splitter, "MPEG-2", 75},
    {"mpeg2_interlaced.mpg", CLSID_MPEG2Splitter, "MPEG-2", 75},
    {"mpeg2.ts", CLSID_MPEG2Splitter, "MPEG-2", 75},
    {"h264.m2ts", CLSID_MPEG2Splitter, "MPEG-2", 75},
    {"h264.mp4", CLSID_PreferredSource, "preferred", 75},
    {"h264.mkv", CLSID_PreferredSource, "preferred", 75},
    {"hard_cut.mp4", CLSID_PreferredSource, "preferred", 50},
    {"wmv.wmv", CLSID_WMAsfReader, "ASF", 75},
    {"mpeg2.ts", CLSID_PreferredSource, "preferred", 75},
    {"mpeg2.mpg", CLSID_PreferredSource, "preferred", 75},
    {"dv_pal.avi", CLSID_PreferredSource, "preferred", 75},
    {"mpeg2.m2v", CLSID_MPEG1Splitter, "MPEG-1", 75},
    {"mpeg1.m1v", CLSID_MPEG1Splitter, "MPEG-1", 75},
    {"mpeg2.m2v", CLSID_PreferredSource, "preferred", 75},
    {"mpeg2_bframes.mpg", CLSID_MPEG2Splitter, "MPEG-2", 75},
    {"mpeg2_bframes.mpg", CLSID_PreferredSource, "preferred", 75},
    {"mpeg2_bframes.ts", CLSID_MPEG2Splitter, "MPEG-2", 75},
    {"mpeg2_23976.m2v", CLSID_MPEG1Splitter, "MPEG-1", 24},
    {"mpeg2_25.m2v", CLSID_MPEG1Splitter, "MPEG-1", 25},
    {"mpeg2_2997.m2v", CLSID_MPEG1Splitter, "MPEG-1", 30},
    {"mpeg2_50.m2v", CLSID_MPEG1Splitter, "MPEG-1", 50},
    {"mpeg2_5994.m2v", CLSID_MPEG1Splitter, "MPEG-1", 60},
    {"mpeg2_5994.m2v", CLSID_PreferredSource, "preferred", 60},
};

class Seeking : public testing::TestWithParam<SeekCase>
{
protected:
    void SetUp() override
    {
        const SeekCase& c = GetParam();
        opened_ = harness::open(c.classId, QString::fromUtf8(c.clip));
        ASSERT_EQ(opened_.result, S_OK);
        const ComPtr<IPin> video = harness::pinOfMajor(opened_.filter.get(), MEDIATYPE_Video);
        ASSERT_TRUE(video);
        const AM_MEDIA_TYPE type = harness::offeredType(video.get());
        frame_ = frameDurationOf(type);
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

    // The frame a paused graph shows after a seek to `target`.
    int shownAfterSeek(REFERENCE_TIME target)
    {
        sink_->cued = -2;
        LONGLONG position = target;
        EXPECT_EQ(
            opened_.graph->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
            S_OK);
        EXPECT_EQ(settle(), S_OK);
        return sink_->cued;
    }

    // The frames that reach the sink from a seek to `start` to the end of
    // the clip, played as fast as they come.
    std::vector<int> framesPlayedFrom(int start)
    {
        EXPECT_EQ(shownAfterSeek(start * frame_), start);
        IMediaFilter* filter = opened_.graph.get();
        filter->SetSyncSource(nullptr);
        EXPECT_TRUE(SUCCEEDED(opened_.graph->Run()));
        LONG code = 0;
        EXPECT_EQ(opened_.graph->WaitForCompletion(20'000, &code), S_OK);
        EXPECT_EQ(code, EC_COMPLETE);
        return sink_->frames();
    }
    // Every frame number from `start` to the clip's last.
    std::vector<int> framesFrom(int start) const
    {
        std::vector<int> frames(std::max(GetParam().frames - start, 0));
        std::iota(frames.begin(), frames.end(), start);
        return frames;
    }

    harness::Opened opened_;
    ComPtr<harness::Sink> sink_;
    REFERENCE_TIME frame_ = 0;
};

TEST_P(Seeking, ASeekShowsExactlyTheTargetFrame)
{
    const int frames = GetParam().frames;
    // Both sides of the usual keyframe distances (12, 25) and of whole
    // seconds, backwards as well as forwards, and the last frame.
    for (int target : {0, 1, 11, 12, 13, 24, 25, 26, 49, 50, 51, frames - 1, 26, 13, 1, 0, 51, 12}) {
        if (target >= frames)
            continue;
        EXPECT_EQ(shownAfterSeek(target * frame_), target) << "seek to frame " << target;
    }
}

TEST_P(Seeking, APositionInsideAFrameShowsThatFrame)
{
    EXPECT_EQ(shownAfterSeek(12 * frame_ + frame_ / 2), 12);
    EXPECT_EQ(shownAfterSeek(frame_ - 1), 0);
}

TEST_P(Seeking, PlayingOnFromASeekDeliversEveryLaterFrameInOrder)
{
    // Or from the last frame of a clip shorter than that.
    const int start = std::min(24, GetParam().frames - 1);
    EXPECT_EQ(framesPlayedFrom(start), framesFrom(start));
}

// From the middle frame, as the navigation manager seeks before playing:
// the rest of the clip, each picture once.
TEST_P(Seeking, PlayingOnFromTheMiddleShowsTheRestOnce)
{
    const int middle = GetParam().frames / 2;
    EXPECT_EQ(framesPlayedFrom(middle), framesFrom(middle));
}

struct NamedByClipAndClass
{
    std::string operator()(const testing::TestParamInfo<SeekCase>& info) const
    {
        return TestNameOf(std::string(info.param.clip) + ' ' + info.param.className);
    }
};

INSTANTIATE_TEST_SUITE_P(Clips, Seeking, testing::ValuesIn(kSeekCases), NamedByClipAndClass());

// The end of every clip with pictures, through the filter the factory
// chooses for its extension and through the source for every container: the
// duration ends where the last picture ends, and a seek at or past the last
// picture's start shows the last picture. size_change.mpg is not here: its
// two halves both count their times from the same start, so its own times
// end after one second of its two.
const SeekCase kEndCases[] = {
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
    {"interlaced_pal.mpg", CLSID_MPEG2Splitter, "MPEG-2", 25},
    {"mpeg2.m2v", CLSID_MPEG1Splitter, "MPEG-1", 75},
    {"mpeg2.m2v", CLSID_PreferredSource, "preferred", 75},
    {"mpeg1.m1v", CLSID_MPEG1Splitter, "MPEG-1", 75},
    {"mpeg2.ts", CLSID_MPEG2Splitter, "MPEG-2", 75},
    {"mpeg2.ts", CLSID_PreferredSource, "preferred", 75},
    {"h264.m2ts", CLSID_MPEG2Splitter, "MPEG-2", 75},
    {"h264.m2ts", CLSID_PreferredSource, "preferred", 75},
    {"mpeg2_bframes.mpg", CLSID_MPEG2Splitter, "MPEG-2", 75},
    {"mpeg2_bframes.ts", CLSID_MPEG2Splitter, "MPEG-2", 75},
    {"h264.mp4", CLSID_PreferredSource, "preferred", 75},
    {"h264.mkv", CLSID_PreferredSource, "preferred", 75},
    {"wmv.wmv", CLSID_WMAsfReader, "ASF", 75},
    {"wmv.wmv", CLSID_PreferredSource, "preferred", 75},
    {"hard_cut.mp4", CLSID_PreferredSource, "preferred", 50},
    {"subtitles.mkv", CLSID_PreferredSource, "preferred", 50},
    {"two_sounds.mkv", CLSID_PreferredSource, "preferred", 50},
    {"vidéo ñ 日本.mp4", CLSID_PreferredSource, "preferred", 25},
};

class ClipEnd : public Seeking
{
};

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
TEST(SoundEnd, TheDurationOfSoundAloneEndsWithTheSound)
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

INSTANTIATE_TEST_SUITE_P(Clips, ClipEnd, testing::ValuesIn(kEndCases), NamedByClipAndClass());

// Decoding after a seek starts at the keyframe nearest before the target,
// also where the container lands far before it or after it (program and
// transport streams): every picture decoded before that keyframe is wasted.
// A demuxer that has read the whole file goes to keyframes it has seen; a
// fresh one searches the container.
TEST(DemuxerSeek, StartsAtTheLastKeyframeBeforeTheTarget)
{
    for (const char* clip : {"mpeg1.mpg", "mpeg2.mpg", "mpeg2.ts", "h264.m2ts", "h264.mp4", "dv_pal.avi", "wmv.wmv"}) {
        SCOPED_TRACE(clip);
        HRESULT hr = E_FAIL;
        const auto read = Demuxer::open(clips::path(QString::fromUtf8(clip)), &hr);
        ASSERT_TRUE(read);
        const int reference = read->referenceStream();
        std::vector<REFERENCE_TIME> keyframes;
        DemuxedPacket p;
        while (read->read(p)) {
            if (p.stream == reference && p.keyframe && p.timed)
                keyframes.push_back(p.start);
        }
        ASSERT_GT(keyframes.size(), 1u);
        const auto fresh = Demuxer::open(clips::path(QString::fromUtf8(clip)), &hr);
        ASSERT_TRUE(fresh);
        const REFERENCE_TIME frame = read->frameDuration(reference);
        for (Demuxer* demuxer : {read.get(), fresh.get()}) {
            SCOPED_TRACE(demuxer == fresh.get() ? "fresh" : "read through");
            for (int target : {51, 1, 24, 25, 26, 70, 12, 0, 37, 36}) {
                const REFERENCE_TIME at = target * frame;
                const auto after = std::upper_bound(keyframes.begin(), keyframes.end(), at);
                ASSERT_NE(after, keyframes.begin());
                ASSERT_EQ(demuxer->seek(at), S_OK);
                while (demuxer->read(p) && p.stream != reference) {
                }
                EXPECT_TRUE(p.keyframe) << "seek to frame " << target;
                EXPECT_EQ(p.start, *std::prev(after)) << "seek to frame " << target;
            }
        }
    }
}

// A seek decodes what the target needs and no picture that nothing refers to
// and that is over before the target: in MPEG-2 with two B-frames between
// references (groups of 12) a seek deep into a group decodes the I- and
// P-frames shown before the target and the target, and H.264 leaves its
// unreferenced pictures too. Where every picture is a reference nothing
// changes. The picture shown is the target all along.
TEST(SeekDecoding, PicturesNothingRefersToAreNotDecodedBeforeTheTarget)
{
    struct Case
    {
        const char* clip;
        CLSID classId;
        int target;
        // Pictures the decoder gives for the seek; 0: fewer than the frames
        // from the keyframe before the target to the target.
        int decoded;
        int keyframe;
    };
    const Case cases[] = {
        // I12 P15 P18 P21 and B23 (I24, which B23 needs, is decoded but not
        // given yet).
        {"mpeg2_bframes.mpg", CLSID_MPEG2Splitter, 23, 5, 12},
        {"mpeg2_bframes.mpg", CLSID_PreferredSource, 23, 5, 12},
        {"mpeg2_bframes.ts", CLSID_MPEG2Splitter, 23, 5, 12},
        // I0 P3 P6 P9 B11; I12 P15 P18 P21.
        {"mpeg2_bframes.mpg", CLSID_MPEG2Splitter, 11, 5, 0},
        {"mpeg2_bframes.ts", CLSID_MPEG2Splitter, 21, 4, 12},
        {"h264.mp4", CLSID_PreferredSource, 24, 0, 0},
        {"h264.mkv", CLSID_PreferredSource, 48, 0, 25},
        {"h264.m2ts", CLSID_MPEG2Splitter, 23, 0, 0},
        // Every picture a reference: all twelve from the keyframe.
        {"mpeg2.mpg", CLSID_MPEG2Splitter, 23, 12, 12},
        {"dv_pal.avi", CLSID_AviSplitter, 23, 1, 23},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clip);
        SCOPED_TRACE(c.target);
        const harness::Opened opened = harness::open(c.classId, QString::fromUtf8(c.clip));
        ASSERT_EQ(opened.result, S_OK);
        const ComPtr<harness::Sink> sink = harness::render(
            opened.graph.get(), harness::pinOfMajor(opened.filter.get(), MEDIATYPE_Video).get(), MEDIATYPE_Video);
        ASSERT_TRUE(sink);
        const auto decoder = filterOf(peerOf(sink->input()).get()).as<IDecoderCounts>();
        ASSERT_TRUE(decoder);
        OAFilterState state;
        ASSERT_TRUE(SUCCEEDED(opened.graph->Pause()));
        ASSERT_EQ(opened.graph->GetState(LONG{20'000}, &state), S_OK);
        const LONGLONG before = decoder->FramesDecoded();
        const LONGLONG beforeReceived = decoder->SamplesReceived();
        LONGLONG position = c.target * REFERENCE_TIME{400'000};
        ASSERT_EQ(
            opened.graph->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
            S_OK);
        ASSERT_EQ(opened.graph->GetState(LONG{20'000}, &state), S_OK);
        EXPECT_EQ(sink->cued, c.target);
        const LONGLONG decoded = decoder->FramesDecoded() - before;
        // Every packet from the keyframe to the target reached the codec,
        // pictures left undecoded among them.
        EXPECT_GE(decoder->SamplesReceived() - beforeReceived, c.target - c.keyframe + 1);
        if (c.decoded)
            EXPECT_EQ(decoded, c.decoded);
        else
            EXPECT_LT(decoded, c.target - c.keyframe + 1);
        opened.graph->Stop();
    }
}

// Only packets whose own time ends before the target are marked as preroll:
// a raw stream's times are made up from the order of decoding, and a picture
// left undecoded for such a time could be the target.
TEST(SeekDecoding, OnlyPacketsWhoseOwnTimesEndBeforeTheTargetAreMarkedAsPreroll)
{
    for (const auto& [clip, classId, marked] :
         {std::tuple{"mpeg2_bframes.mpg", CLSID_MPEG2Splitter, true}, std::tuple{"mpeg2.m2v", CLSID_MPEG1Splitter, false},
          std::tuple{"mpeg2.mpg", CLSID_PreferredSource, true}, std::tuple{"h264.mp4", CLSID_PreferredSource, true}}) {
        SCOPED_TRACE(clip);
        const harness::Opened opened = harness::open(classId, QString::fromUtf8(clip));
        ASSERT_EQ(opened.result, S_OK);
        const ComPtr<IPin> video = harness::pinOfMajor(opened.filter.get(), MEDIATYPE_Video);
        const auto sink = makeCom<harness::Sink>(MEDIATYPE_Video, harness::offeredType(video.get()).subtype);
        ASSERT_EQ(opened.graph->AddFilter(sink.get(), nullptr), S_OK);
        ASSERT_EQ(opened.graph->ConnectDirect(video.get(), sink->input(), nullptr), S_OK);
        IMediaFilter* filter = opened.graph.get();
        filter->SetSyncSource(nullptr);
        LONGLONG position = 23 * REFERENCE_TIME{400'000};
        ASSERT_EQ(
            opened.graph->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
            S_OK);
        ASSERT_TRUE(SUCCEEDED(opened.graph->Run()));
        LONG code = 0;
        ASSERT_EQ(opened.graph->WaitForCompletion(20'000, &code), S_OK);
        const std::vector<REFERENCE_TIME> starts = sink->starts();
        const std::vector<bool> prerolls = sink->prerolls();
        ASSERT_EQ(starts.size(), prerolls.size());
        int before = 0, marks = 0;
        for (std::size_t i = 0; i < starts.size(); ++i) {
            before += starts[i] + 400'000 <= 0;
            marks += prerolls[i];
            if (prerolls[i]) {
                EXPECT_LE(starts[i] + 400'000, 0) << "packet " << i;
            }
        }
        EXPECT_GT(before, 8);
        if (marked)
            EXPECT_GT(marks, before / 2);
        else
            EXPECT_EQ(marks, 0);
        opened.graph->Stop();
    }
}

} // namespace
