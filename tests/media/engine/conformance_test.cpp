// Files as users have them, beside the usual containers: frame rates of
// 1000/1001 in containers that round their times, MPEG-4 and MPEG-2
// pictures stored out of order in AVI, HEVC, a recording that starts in the
// middle of a group of pictures. Every frame is reached where its barcode
// says, by a seek, by steps back from the end and at the end itself, and
// the video lasts the frames that can be decoded.

#include "engine_fixture.h"

#include "media/engine/nav_man.h"

#include <gtest/gtest.h>

using namespace testing_engine;

namespace {

struct UserClip
{
    const char* name;
    int frames;
    REFERENCE_TIME frameDuration;
    int first = 0; // the number of the first frame that can be decoded
};

const UserClip kUserClips[] = {
    {"h264_5994.mkv", 30, 166'833},     {"h264_23976.ts", 30, 417'083}, {"mpeg4_bframes.avi", 30, 400'000},
    {"mpeg2_bframes.avi", 30, 400'000}, {"hevc.mkv", 30, 400'000},      {"mid_group.ts", 24, 400'000, 12},
};

} // namespace

TEST(UserFiles, EveryFrameIsReachedWhereItsNumberSays)
{
    for (const UserClip& c : kUserClips) {
        SCOPED_TRACE(c.name);
        NavEngine n(c.name);
        ASSERT_TRUE(n.source);
        ASSERT_EQ(n.nav->FrameDuration(), c.frameDuration);
        EXPECT_EQ(n.nav->Duration(), c.frames * c.frameDuration);
        EXPECT_EQ(n.shown(), c.first);
        for (int k = 0; k < c.frames; ++k) {
            SCOPED_TRACE(k);
            n.nav->SeekTo(true, k * c.frameDuration);
            n.settle();
            EXPECT_EQ(n.shown(), c.first + k);
            EXPECT_EQ(n.nav->GetPosition(), k * c.frameDuration);
        }
        n.nav->naAvanceFin->Execute();
        n.settle();
        EXPECT_EQ(n.shown(), c.first + c.frames - 1);
        // Back from the end, frame by frame, in plain and precise
        // navigation by turns.
        for (int k = c.frames - 2; k >= 0; --k) {
            SCOPED_TRACE(k);
            n.nav->caSeekPrecision->SetChecked(k % 2 == 0);
            n.nav->naReculeFrame->Execute();
            n.settle();
            EXPECT_EQ(n.shown(), c.first + k);
        }
    }
}

// The format's name is the codec's four characters, from the container or,
// where it gives none, from what the codec is known by.
TEST(UserFiles, TheFormatNamesTheCodec)
{
    const std::pair<const char*, const char*> rows[] = {
        {"hevc.mkv", "hev1"}, {"h264.mkv", "AVC1"}, {"mpeg4_bframes.avi", "DX50"}, {"wmv.wmv", "WMV2"}};
    for (const auto& [name, codec] : rows) {
        SCOPED_TRACE(name);
        Engine engine;
        TVideoSource* source = engine.connectVideo(clip(name));
        ASSERT_TRUE(source);
        EXPECT_EQ(source->Notifier()->GetVideoData().subtypeName.toStdString(), codec);
    }
}

// Sound coded by what is heard has no sample depth, whatever size its
// container notes for it (16 in MP4, 32 in Matroska): the same AC-3 sound
// reads the same in Matroska as in a program stream, and AAC gives its bit
// rate where the container knows it. PCM keeps its depth.
TEST(UserFiles, TheSoundFormatIsTheCodecsOwn)
{
    const std::pair<const char*, const char*> rows[] = {
        {"h264.mkv", "AC3 48000Hz 128Kb/s mono"},         {"mpeg2.mpg", "AC3 48000Hz 128Kb/s mono"},
        {"h264.mp4", "AAC 48000Hz 96Kb/s mono"},          {"two_sounds.mkv", "AAC 48000Hz mono"},
        {"audio_only.wav", "PCM 44100Hz 16bits  stereo"}, {"wmv.wmv", "WMA 44100Hz 64Kb/s mono"}};
    for (const auto& [name, text] : rows) {
        SCOPED_TRACE(name);
        Engine engine;
        TAudioSource* source = engine.connectAudio(clip(name));
        ASSERT_TRUE(source);
        EXPECT_EQ(source->Notifier()->GetAudioData().audioText.toStdString(), text);
    }
}

// Where a frame is missing, a move there shows the frame before it, the one
// on the screen at that time, and steps go on through the gap either way.
TEST(UserFiles, WhereFramesAreMissingTheFrameBeforeShowsAndStepsGoOn)
{
    constexpr REFERENCE_TIME kFrame = 400'000;
    // Frames 13 and 14 are missing: 12 shows at their times.
    const auto onScreen = [](int k) { return k == 13 || k == 14 ? 12 : k; };
    for (const char* name : {"dropped.mkv", "dropped.ts"})
        for (bool precise : {false, true}) {
            SCOPED_TRACE(name);
            SCOPED_TRACE(precise ? "precise" : "plain");
            NavEngine n(name);
            ASSERT_TRUE(n.source);
            n.nav->caSeekPrecision->SetChecked(precise);
            for (int k = 11; k <= 16; ++k) {
                SCOPED_TRACE(k);
                n.nav->SeekTo(true, k * kFrame);
                n.settle();
                EXPECT_EQ(n.shown(), onScreen(k));
                EXPECT_EQ(n.nav->GetPosition(), k * kFrame);
            }
            for (int k = 15; k >= 10; --k) {
                SCOPED_TRACE(k);
                n.nav->naReculeFrame->Execute();
                n.settle();
                EXPECT_EQ(n.shown(), onScreen(k));
                EXPECT_EQ(n.nav->GetPosition(), k * kFrame);
            }
            // Plain only: a precise step forward still decodes the next
            // picture whatever its time, and shows 15 at the position of 13.
            for (int k = 11; k <= 16 && !precise; ++k) {
                SCOPED_TRACE(k);
                n.nav->naAvanceFrame->Execute();
                n.settle();
                EXPECT_EQ(n.shown(), onScreen(k));
                EXPECT_EQ(n.nav->GetPosition(), k * kFrame);
            }
        }
}
