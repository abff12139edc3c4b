#include "tests/common/param_name.h"
#include "tests/media/clip_reader.h"

#include <gtest/gtest.h>

namespace {

struct Clip
{
    const char* name;
    int frames;
    int width;
    int height;
};

void PrintTo(const Clip& clip, std::ostream* os)
{
    *os << clip.name;
}

class GeneratedClip : public testing::TestWithParam<Clip>
{
};

// Every frame decodes and tells its own number, in order and without gaps:
// what frame-accurate tests of the player rely on.
TEST_P(GeneratedClip, EveryFrameCarriesItsNumber)
{
    const Clip& clip = GetParam();
    const auto frames = clips::decodeFrames(clips::path(QString::fromUtf8(clip.name)), clip.frames + 1);
    ASSERT_EQ(static_cast<int>(frames.size()), clip.frames);
    EXPECT_EQ(frames.front().size(), QSize(clip.width, clip.height));
    for (int i = 0; i < clip.frames; ++i)
        EXPECT_EQ(clips::readBarcode(frames[i]), i) << clip.name;
}

INSTANTIATE_TEST_SUITE_P(Clips, GeneratedClip,
                         testing::Values(Clip{"dv_pal.avi", 75, 720, 576}, Clip{"dv_ntsc_wide.avi", 30, 720, 480},
                                         Clip{"dv_joined.avi", 50, 720, 576}, Clip{"mpeg1.mpg", 75, 320, 240},
                                         Clip{"mpeg2.mpg", 75, 352, 288}, Clip{"mpeg2_interlaced.mpg", 75, 352, 288},
                                         Clip{"size_change.mpg", 50, 320, 240}, Clip{"mpeg2.ts", 75, 320, 240},
                                         Clip{"h264.m2ts", 75, 320, 240}, Clip{"h264.mp4", 75, 320, 240},
                                         Clip{"h264.mkv", 75, 320, 240}, Clip{"wmv.wmv", 75, 320, 240},
                                         Clip{"hard_cut.mp4", 50, 320, 240}, Clip{"vidéo ñ 日本.mp4", 25, 320, 240}),
                         [](const testing::TestParamInfo<Clip>& info) { return TestNameOf(info.param.name); });

TEST(GeneratedClips, OthersAreNoVideo)
{
    EXPECT_TRUE(clips::decodeFrames(clips::path("audio_only.wav"), 1).empty());
    EXPECT_TRUE(clips::decodeFrames(clips::path("garbage.avi"), 1).empty());
}

TEST(Barcode, PictureWithoutBarcodeReadsNone)
{
    QImage grey(320, 240, QImage::Format_RGB32);
    grey.fill(Qt::gray);
    EXPECT_EQ(clips::readBarcode(grey), -1);
    EXPECT_EQ(clips::readBarcode(QImage(8, 8, QImage::Format_RGB32)), -1);
}

} // namespace
