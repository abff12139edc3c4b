#include "media/parsers/mpeg_header.h"

#include "tests/media/clip_reader.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

const BYTE* bytes(const QByteArray& a)
{
    return reinterpret_cast<const BYTE*>(a.constData());
}
std::size_t size(const QByteArray& a)
{
    return static_cast<std::size_t>(a.size());
}

struct Header
{
    int width;
    int height;
    int aspect;
    double rate;
    friend bool operator==(const Header&, const Header&) = default;
};

// The sequence headers at the start of the clip's packets, in order.
std::vector<Header> sequenceHeaders(const char* clip)
{
    std::vector<Header> headers;
    for (const QByteArray& p : clips::videoPackets(clips::path(clip), 1000)) {
        if (IsMpegSequenceHeader(bytes(p), size(p)))
            headers.push_back({MpegHorizontalSize(bytes(p), size(p)), MpegVerticalSize(bytes(p), size(p)),
                               MpegAspectKind(bytes(p), size(p)), MpegFrameRate(bytes(p), size(p))});
    }
    return headers;
}

TEST(MpegClip, SequenceHeaders)
{
    const auto mpeg2 = sequenceHeaders("mpeg2.mpg");
    ASSERT_FALSE(mpeg2.empty());
    EXPECT_EQ(mpeg2.front(), (Header{352, 288, 1, 25}));
    const auto interlaced = sequenceHeaders("mpeg2_interlaced.mpg");
    ASSERT_FALSE(interlaced.empty());
    EXPECT_EQ(interlaced.front(), (Header{352, 288, 0, 25}));
    const auto ts = sequenceHeaders("mpeg2.ts");
    ASSERT_FALSE(ts.empty());
    EXPECT_EQ(ts.front(), (Header{320, 240, 0, 25}));
    // MPEG-1 codes a pixel aspect: square pixels are no display aspect.
    const auto mpeg1 = sequenceHeaders("mpeg1.mpg");
    ASSERT_FALSE(mpeg1.empty());
    EXPECT_EQ(mpeg1.front(), (Header{320, 240, 2, 25}));
}

TEST(MpegClip, SizeChangeShowsInTheHeaders)
{
    const auto headers = sequenceHeaders("size_change.mpg");
    ASSERT_FALSE(headers.empty());
    EXPECT_EQ(headers.front().width, 320);
    EXPECT_EQ(headers.back().width, 352);
    EXPECT_EQ(headers.back().height, 288);
}

TEST(MpegHeader, Fields)
{
    QByteArray h("\x00\x00\x01\xB3\x2D\x04\x38\x33", 8);
    EXPECT_TRUE(IsMpegSequenceHeader(bytes(h), size(h)));
    EXPECT_EQ(MpegHorizontalSize(bytes(h), size(h)), 720);
    EXPECT_EQ(MpegVerticalSize(bytes(h), size(h)), 1080);
    EXPECT_EQ(MpegAspectKind(bytes(h), size(h)), 1);
    EXPECT_DOUBLE_EQ(MpegFrameRate(bytes(h), size(h)), 25);
    h[7] = 0x28;
    EXPECT_EQ(MpegAspectKind(bytes(h), size(h)), 0);
    EXPECT_DOUBLE_EQ(MpegFrameRate(bytes(h), size(h)), 60);
    h[7] = 0x24;
    EXPECT_DOUBLE_EQ(MpegFrameRate(bytes(h), size(h)), 30000.0 / 1001);
    h[7] = 0x19;
    EXPECT_EQ(MpegAspectKind(bytes(h), size(h)), 2);
    EXPECT_DOUBLE_EQ(MpegFrameRate(bytes(h), size(h)), 0);
    // A zero aspect or rate code is no sequence header.
    h[7] = 0x03;
    EXPECT_FALSE(IsMpegSequenceHeader(bytes(h), size(h)));
    h[7] = 0x30;
    EXPECT_FALSE(IsMpegSequenceHeader(bytes(h), size(h)));
    h[7] = 0x33;
    h[3] = '\xB8';
    EXPECT_FALSE(IsMpegSequenceHeader(bytes(h), size(h)));
}

TEST(MpegHeader, ShortDataReadsNothing)
{
    const std::vector<BYTE> seven{0, 0, 1, 0xB3, 0x2D, 0x04, 0x38};
    EXPECT_FALSE(IsMpegSequenceHeader(seven.data(), seven.size()));
    EXPECT_EQ(MpegHorizontalSize(seven.data(), seven.size()), 0);
    EXPECT_EQ(MpegVerticalSize(seven.data(), seven.size()), 0);
    EXPECT_EQ(MpegAspectKind(seven.data(), seven.size()), 2);
    EXPECT_EQ(MpegFrameRate(seven.data(), seven.size()), 0);
    EXPECT_FALSE(IsMpegSequenceHeader(nullptr, 8));
}

} // namespace
