#include "media/parsers/media_types.h"
#include "platform/graph/media_guids.h"

#include <QtEndian>

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

// A format block under construction: little-endian values at offsets.
struct Block
{
    std::vector<BYTE> bytes;

    explicit Block(std::size_t size) : bytes(size) {}
    Block& u16(std::size_t at, quint16 v)
    {
        qToLittleEndian(v, bytes.data() + at);
        return *this;
    }
    Block& u32(std::size_t at, quint32 v)
    {
        qToLittleEndian(v, bytes.data() + at);
        return *this;
    }
    Block& i64(std::size_t at, qint64 v)
    {
        qToLittleEndian(v, bytes.data() + at);
        return *this;
    }
    AM_MEDIA_TYPE type(const GUID& major, const GUID& subtype, const GUID& format) const
    {
        AM_MEDIA_TYPE mt;
        mt.majortype = major;
        mt.subtype = subtype;
        mt.formattype = format;
        mt.format = bytes;
        return mt;
    }
};

// A VIDEOINFOHEADER (bitmap header at 48) or VIDEOINFOHEADER2 (at 72) of the
// given size.
Block videoInfo(std::size_t size, std::size_t bitmapHeader, qint32 width, qint32 height, qint64 frameDuration)
{
    Block b(size);
    b.u32(32, 3'000'000).i64(40, frameDuration);
    b.u32(bitmapHeader + 4, static_cast<quint32>(width)).u32(bitmapHeader + 8, static_cast<quint32>(height));
    b.u16(bitmapHeader + 14, 24);
    return b;
}

const GUID kDvsd = MEDIASUBTYPE_dvsd;
const GUID kMpeg2Video = MEDIASUBTYPE_MPEG2_VIDEO;
const GUID kH264 = MEDIASUBTYPE_H264;

TEST(GetVideoData, ReadsDVInVideoInfo)
{
    const Block b = videoInfo(88, 48, 720, 576, 400'000);
    const TVideoData vd = GetVideoData(b.type(MEDIATYPE_Video, kDvsd, FORMAT_VideoInfo));
    ASSERT_TRUE(vd.valid);
    EXPECT_EQ(vd.width, 720);
    EXPECT_EQ(vd.height, 576);
    EXPECT_EQ(vd.bitCount, 24);
    EXPECT_EQ(vd.bitRate, 3'000'000);
    EXPECT_EQ(vd.frameDuration, 400'000);
    EXPECT_DOUBLE_EQ(vd.frameRate, 25);
    EXPECT_EQ(vd.subtypeName, "DV Type 2");
    EXPECT_EQ(vd.aspectKind, akNone);
    EXPECT_EQ(vd.description, "DV Type 2");
    EXPECT_EQ(vd.sizeText, "720x576 - 25 fps");
}

TEST(GetVideoData, TakesTheAspectFromVideoInfo2ButNotForDV)
{
    Block b = videoInfo(112, 72, 720, 480, 333'667);
    b.u32(56, 16).u32(60, 9);
    const TVideoData h264 = GetVideoData(b.type(MEDIATYPE_Video, kH264, FORMAT_VideoInfo2));
    EXPECT_TRUE(h264.valid);
    EXPECT_EQ(h264.aspectKind, akSixteenNine);
    EXPECT_EQ(h264.description, "H264 (16x9)");
    EXPECT_EQ(h264.sizeText, "720x480 - 29.97 fps");

    const TVideoData dv =
        GetVideoData(b.type(MEDIATYPE_Video, GUID::fromFourCC(makeFourCC('D', 'V', 'S', 'D')), FORMAT_VideoInfo2));
    EXPECT_TRUE(dv.valid);
    EXPECT_EQ(dv.aspectX, 0);
    EXPECT_EQ(dv.description, "DV Type 2");
}

TEST(GetVideoData, ReadsMpegFormats)
{
    Block mpeg2 = videoInfo(136, 72, 1920, 1080, 0);
    mpeg2.u32(56, 4).u32(60, 3);
    const TVideoData vd2 = GetVideoData(mpeg2.type(MEDIATYPE_Video, kMpeg2Video, FORMAT_MPEG2Video));
    EXPECT_TRUE(vd2.valid);
    EXPECT_EQ(vd2.subtypeName, "MPEG2");
    EXPECT_EQ(vd2.description, "MPEG2 (4x3)");
    EXPECT_EQ(vd2.sizeText, "1920x1080");

    const Block mpeg1 = videoInfo(104, 48, 352, 288, 400'000);
    const TVideoData vd1 = GetVideoData(mpeg1.type(MEDIATYPE_Video, MEDIASUBTYPE_MPEG1Payload, FORMAT_MPEGVideo));
    EXPECT_TRUE(vd1.valid);
    EXPECT_EQ(vd1.subtypeName, "MPEG1");
}

TEST(GetVideoData, RefusesShortOrUnknownFormats)
{
    const Block shortInfo = videoInfo(87, 48, 720, 576, 400'000);
    EXPECT_FALSE(GetVideoData(shortInfo.type(MEDIATYPE_Video, kDvsd, FORMAT_VideoInfo)).valid);
    const Block shortInfo2 = videoInfo(111, 72, 720, 576, 400'000);
    EXPECT_FALSE(GetVideoData(shortInfo2.type(MEDIATYPE_Video, kH264, FORMAT_VideoInfo2)).valid);
    // An MPEG-2 block the size of a VIDEOINFOHEADER2 lacks its own fields.
    EXPECT_FALSE(GetVideoData(shortInfo2.type(MEDIATYPE_Video, kMpeg2Video, FORMAT_MPEG2Video)).valid);
    EXPECT_FALSE(GetVideoData(Block(0).type(MEDIATYPE_Video, kDvsd, FORMAT_VideoInfo)).valid);
    const Block wave(18);
    EXPECT_FALSE(GetVideoData(wave.type(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx)).valid);
}

TEST(DescribeVideoData, AspectKinds)
{
    auto describe = [](std::int32_t x, std::int32_t y) {
        TVideoData vd;
        vd.subtypeName = "DV Type 2";
        vd.width = 720;
        vd.height = 576;
        vd.aspectX = x;
        vd.aspectY = y;
        DescribeVideoData(vd);
        return vd;
    };
    EXPECT_EQ(describe(4, 3).description, "DV Type 2 (4x3)");
    EXPECT_EQ(describe(16, 9).description, "DV Type 2 (16x9)");
    EXPECT_EQ(describe(1024, 768).aspectKind, akFourThree);
    const TVideoData big = describe(1000, 1000);
    EXPECT_EQ(big.aspectKind, akOther);
    EXPECT_EQ(big.aspectX, 10);
    EXPECT_EQ(big.description, "DV Type 2 (10x10)");
    // 1250:1000 becomes 125:100, then 12:10 (12.5 rounds to even).
    EXPECT_EQ(describe(1250, 1000).description, "DV Type 2 (12x10)");
    EXPECT_EQ(describe(0, 1).aspectKind, akOther);
    EXPECT_EQ(describe(-4, 0).aspectKind, akNone);
    EXPECT_EQ(describe(0x7FFFFFFF, 0x7FFFFFFF).aspectKind, akOther);
    EXPECT_EQ(describe(0, 0).sizeText, "720x576");
}

TEST(MediaNames, FourCCs)
{
    EXPECT_EQ(FourCCToStr(makeFourCC('d', 'v', 's', 'd')), "dvsd");
    EXPECT_EQ(FourCCToStr(0), "RGB");
    EXPECT_EQ(FourCCToStr(makeFourCC('Y', 'V', '1', 2)), "RGB");
    EXPECT_EQ(FourCCToText5(makeFourCC('Y', 'V', '1', 2)), "YV1 ");
    EXPECT_EQ(FourCCToText5(0).size(), 4);

    const Block none(0);
    EXPECT_EQ(VideoSubtypeName(none.type(MEDIATYPE_Video, GUID::fromFourCC(makeFourCC('d', 'v', 'c', 'p')), {})),
              "DV Type 1");
    EXPECT_EQ(VideoSubtypeName(none.type(MEDIATYPE_Video, MEDIASUBTYPE_RGB565, FORMAT_VideoInfo)), "RGB565");
    EXPECT_EQ(VideoSubtypeName(none.type(MEDIATYPE_Video, kMpeg2Video, FORMAT_MPEG2Video)), "MPEG2");
    // Other subtypes with a bitmap header are named by its compression code.
    Block xvid = videoInfo(88, 48, 320, 240, 0);
    xvid.u32(48 + 16, makeFourCC('X', 'V', 'I', 'D'));
    EXPECT_EQ(
        VideoSubtypeName(xvid.type(MEDIATYPE_Video, "{11111111-2222-3333-4444-555555555555}"_guid, FORMAT_VideoInfo)),
        "XVID");
}

TEST(MediaNames, AudioFormats)
{
    Block wave(18);
    wave.u16(0, 85);
    EXPECT_EQ(AudioFormatName(wave.type(MEDIATYPE_Audio, MEDIASUBTYPE_MPEG1AudioPayload, FORMAT_WaveFormatEx)), "MP3");
    wave.u16(0, 8192);
    EXPECT_EQ(AudioFormatName(wave.type(MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3, FORMAT_WaveFormatEx)), "AC3");
    wave.u16(0, 146);
    EXPECT_EQ(AudioFormatName(wave.type(MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3, FORMAT_WaveFormatEx)), "DOLB");
    wave.u16(0, 0); // no tag: the subtype names it
    EXPECT_EQ(AudioFormatName(wave.type(MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3, FORMAT_WaveFormatEx)), "DOLBY AC3");
    wave.u16(0, 0x1234); // unknown tag
    EXPECT_EQ(AudioFormatName(wave.type(MEDIATYPE_Audio, MEDIASUBTYPE_MPEG2_AUDIO, FORMAT_WaveFormatEx)), "MPEG2");
    wave.u16(0, 1);
    EXPECT_EQ(AudioFormatName(wave.type(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx)), "PCM");
    EXPECT_EQ(AudioFormatName(wave.type(MEDIATYPE_Video, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx)), "");
    const Block shortWave(17);
    EXPECT_EQ(AudioFormatName(shortWave.type(MEDIATYPE_Audio, GUID::fromFourCC(makeFourCC('s', 'o', 'w', 't')),
                                             FORMAT_WaveFormatEx)),
              "sowt");

    EXPECT_EQ(WaveFormatTagName(136), "ISIAUDIO ");
    EXPECT_EQ(WaveFormatTagName(4355), "LH_SBC");
    EXPECT_EQ(WaveFormatTagName(31266), "GSM_AMR");
    EXPECT_EQ(WaveFormatTagName(0), "");
    EXPECT_EQ(WaveFormatTagName(65535), "");
    int named = 0;
    for (int tag = 0; tag <= 0xFFFF; ++tag)
        named += !WaveFormatTagName(static_cast<WORD>(tag)).isEmpty();
    EXPECT_EQ(named, 143);
}

using Edges = std::array<LONG, 4>;

Edges fit(std::int32_t aspectW, std::int32_t aspectH, Edges rect, bool relative = false, std::int32_t margin = 0)
{
    const RECT r = GetAspectFitRect(aspectW, aspectH, RECT{rect[0], rect[1], rect[2], rect[3]}, relative, margin);
    return {r.left, r.top, r.right, r.bottom};
}

TEST(GetAspectFitRect, CentresThePicture)
{
    const Edges pal{0, 0, 720, 576};
    EXPECT_EQ(fit(16, 9, pal), (Edges{0, 85, 720, 490}));
    EXPECT_EQ(fit(4, 3, pal), (Edges{0, 18, 720, 558}));
    EXPECT_EQ(fit(16, 9, {0, 0, 400, 400}), (Edges{0, 87, 400, 312}));
    // Too wide: full height, centred horizontally.
    EXPECT_EQ(fit(4, 3, {0, 0, 1000, 300}), (Edges{300, 0, 700, 300}));
    EXPECT_EQ(fit(0, 9, {10, 20, 110, 220}, false, 5), (Edges{15, 25, 105, 215}));
    EXPECT_EQ(fit(1, 1, {100, 50, 300, 150}, true, 10), (Edges{60, 10, 140, 90}));
}

} // namespace
