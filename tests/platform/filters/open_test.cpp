// Every clip under every class id: who takes it, with which pins and types.

#include "tests/common/param_name.h"
#include "tests/platform/filters/harness.h"

#include "media/parsers/media_types.h"
#include "platform/filters/av_util.h"
#include "platform/filters/file_source.h"
#include "platform/graph/pin_walk.h"

#include <QFile>

#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <string_view>

using harness::offeredType;

namespace {

struct ClassName
{
    CLSID classId;
    const char* name;
};

const ClassName kClasses[] = {
    {CLSID_AviSplitter, "AVI"}, {CLSID_MPEG2Splitter, "MPEG-2"},      {CLSID_MPEG1Splitter, "MPEG-1"},
    {CLSID_WAVEParser, "wave"}, {CLSID_PreferredSource, "preferred"}, {CLSID_WMAsfReader, "ASF"},
};

struct Acceptance
{
    const char* clip;
    std::initializer_list<CLSID> takers;
};

void PrintTo(const Acceptance& c, std::ostream* os)
{
    *os << c.clip;
}

const Acceptance kAcceptance[] = {
    {"dv_pal.avi", {CLSID_AviSplitter, CLSID_PreferredSource}},
    {"dv_ntsc_wide.avi", {CLSID_AviSplitter, CLSID_PreferredSource}},
    {"dv_joined.avi", {CLSID_AviSplitter, CLSID_PreferredSource}},
    {"dv_pal.dv", {CLSID_PreferredSource}},
    {"mpeg1.mpg", {CLSID_MPEG1Splitter, CLSID_PreferredSource}},
    {"mpeg2.mpg", {CLSID_MPEG2Splitter, CLSID_PreferredSource}},
    {"mpeg2_interlaced.mpg", {CLSID_MPEG2Splitter, CLSID_PreferredSource}},
    {"size_change.mpg", {CLSID_MPEG2Splitter, CLSID_PreferredSource}},
    {"mpeg2.m2v", {CLSID_MPEG1Splitter, CLSID_PreferredSource}},
    {"mpeg1.m1v", {CLSID_MPEG1Splitter, CLSID_PreferredSource}},
    {"mpeg2.ts", {CLSID_MPEG2Splitter, CLSID_PreferredSource}},
    {"h264.m2ts", {CLSID_MPEG2Splitter, CLSID_PreferredSource}},
    {"h264.mp4", {CLSID_PreferredSource}},
    {"h264.mkv", {CLSID_PreferredSource}},
    {"hard_cut.mp4", {CLSID_PreferredSource}},
    {"wmv.wmv", {CLSID_PreferredSource, CLSID_WMAsfReader}},
    {"audio_only.wav", {CLSID_WAVEParser, CLSID_PreferredSource}},
    {"vidéo ñ 日本.mp4", {CLSID_PreferredSource}},
    {"garbage.avi", {}},
};

class Acceptances : public testing::TestWithParam<Acceptance>
{
};

TEST_P(Acceptances, EachClassTakesItsOwnContainersAndRefusesTheRest)
{
    const Acceptance& a = GetParam();
    for (const ClassName& c : kClasses) {
        const bool wanted = std::find(a.takers.begin(), a.takers.end(), c.classId) != a.takers.end();
        const harness::Opened opened = harness::open(c.classId, QString::fromUtf8(a.clip));
        ASSERT_TRUE(opened.filter) << c.name;
        if (wanted) {
            EXPECT_EQ(opened.result, S_OK) << c.name;
            EXPECT_FALSE(harness::outputPins(opened.filter.get()).empty()) << c.name;
        } else {
            EXPECT_TRUE(FAILED(opened.result)) << c.name;
            EXPECT_TRUE(harness::outputPins(opened.filter.get()).empty()) << c.name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Clips, Acceptances, testing::ValuesIn(kAcceptance), NamedByClip());

// Every taker of a clip reports its length, also where the container states
// none (raw elementary streams) or a wrong one (a placeholder bit rate).
TEST(Durations, EveryTakerReportsTheLengthOfTheClip)
{
    const std::map<std::string_view, double> seconds = {{"dv_pal.avi", 3.0},    {"dv_ntsc_wide.avi", 1.001},
                                                        {"dv_joined.avi", 2.0}, {"dv_pal.dv", 3.0},
                                                        {"mpeg1.mpg", 3.0},     {"mpeg2.mpg", 3.0},
                                                        {"mpeg2.m2v", 3.0},     {"mpeg1.m1v", 3.0},
                                                        {"mpeg2.ts", 3.0},      {"h264.m2ts", 3.0},
                                                        {"h264.mp4", 3.0},      {"h264.mkv", 3.0},
                                                        {"hard_cut.mp4", 2.0},  {"wmv.wmv", 3.0},
                                                        {"audio_only.wav", 2.0}};
    for (const Acceptance& a : kAcceptance) {
        const auto expected = seconds.find(a.clip);
        if (expected == seconds.end())
            continue;
        for (const CLSID& classId : a.takers) {
            const harness::Opened opened = harness::open(classId, QString::fromUtf8(a.clip));
            ASSERT_EQ(opened.result, S_OK) << a.clip;
            LONGLONG duration = 0;
            EXPECT_EQ(opened.graph->GetDuration(&duration), S_OK) << a.clip;
            // Sound tracks may run a little longer than the pictures.
            EXPECT_NEAR(static_cast<double>(duration) / 1e7, expected->second, 0.1) << a.clip;
        }
    }
}

// The video and audio types that the program reads from a clip's pins.
struct Expected
{
    const char* clip;
    CLSID classId;
    const char* subtypeName;
    int width;
    int height;
    REFERENCE_TIME frameDuration;
    int aspectKind; // 0 4:3, 1 16:9, 2 none
    WORD waveTag;   // 0: no sound
    bool temporal;
};

void PrintTo(const Expected& c, std::ostream* os)
{
    *os << c.clip;
}

const Expected kTypes[] = {
    {"dv_pal.avi", CLSID_AviSplitter, "DV Type 2", 720, 576, 400'000, 2, 1, false},
    {"dv_ntsc_wide.avi", CLSID_AviSplitter, "DV Type 2", 720, 480, 333'667, 2, 1, false},
    {"dv_pal.dv", CLSID_PreferredSource, "DV Type 2", 720, 576, 400'000, 2, 1, false},
    {"mpeg1.mpg", CLSID_MPEG1Splitter, "MPEG1", 320, 240, 400'000, 2, 0x50, true},
    {"mpeg2.mpg", CLSID_MPEG2Splitter, "MPEG2", 352, 288, 400'000, 1, 0x2000, true},
    {"mpeg2_interlaced.mpg", CLSID_MPEG2Splitter, "MPEG2", 352, 288, 400'000, 0, 0x50, true},
    {"mpeg2.ts", CLSID_MPEG2Splitter, "MPEG2", 320, 240, 400'000, 0, 0x50, true},
    {"h264.m2ts", CLSID_MPEG2Splitter, "H264", 320, 240, 400'000, 0, 0x2000, true},
    {"h264.mp4", CLSID_PreferredSource, "AVC1", 320, 240, 400'000, 0, 0xFF, true},
    {"h264.mkv", CLSID_PreferredSource, "AVC1", 320, 240, 400'000, 0, 0x2000, true},
    {"wmv.wmv", CLSID_WMAsfReader, "WMV2", 320, 240, 400'000, 2, 0x161, true},
    {"audio_only.wav", CLSID_WAVEParser, nullptr, 0, 0, 0, 0, 1, false},
};

class Types : public testing::TestWithParam<Expected>
{
};

TEST_P(Types, PinsCarryTheFormatBlocksTheProgramReads)
{
    const Expected& e = GetParam();
    const harness::Opened opened = harness::open(e.classId, QString::fromUtf8(e.clip));
    ASSERT_EQ(opened.result, S_OK);

    const ComPtr<IPin> videoPin = harness::pinOfMajor(opened.filter.get(), MEDIATYPE_Video);
    if (e.subtypeName) {
        ASSERT_TRUE(videoPin);
        const AM_MEDIA_TYPE video = offeredType(videoPin.get());
        const TVideoData vd = GetVideoData(video);
        ASSERT_TRUE(vd.valid);
        EXPECT_EQ(vd.subtypeName, QString::fromUtf8(e.subtypeName));
        EXPECT_EQ(vd.width, e.width);
        EXPECT_EQ(vd.height, e.height);
        EXPECT_EQ(vd.frameDuration, e.frameDuration);
        if (e.aspectKind != 2) {
            EXPECT_EQ(vd.aspectKind, e.aspectKind);
        }
        EXPECT_EQ(video.bTemporalCompression != FALSE, e.temporal);
    } else {
        EXPECT_FALSE(videoPin);
    }

    const ComPtr<IPin> audioPin = harness::pinOfMajor(opened.filter.get(), MEDIATYPE_Audio);
    ASSERT_TRUE(audioPin);
    const AM_MEDIA_TYPE audio = offeredType(audioPin.get());
    ASSERT_EQ(audio.formattype, FORMAT_WaveFormatEx);
    const auto* wfx = audio.formatAs<WAVEFORMATEX>();
    ASSERT_TRUE(wfx);
    EXPECT_EQ(wfx->wFormatTag, e.waveTag);
    EXPECT_GT(wfx->nSamplesPerSec, 0u);
    EXPECT_EQ(audio.format.size(), sizeof(WAVEFORMATEX) + wfx->cbSize);
}

INSTANTIATE_TEST_SUITE_P(Clips, Types, testing::ValuesIn(kTypes), NamedByClip());

TEST(Types, MpegFormatBlocksCarryTheSequenceHeader)
{
    for (const auto& [clip, classId] :
         {std::pair{"mpeg1.mpg", CLSID_MPEG1Splitter}, {"mpeg2.mpg", CLSID_MPEG2Splitter}}) {
        const harness::Opened opened = harness::open(classId, QString::fromUtf8(clip));
        ASSERT_EQ(opened.result, S_OK) << clip;
        const AM_MEDIA_TYPE video = offeredType(harness::pinOfMajor(opened.filter.get(), MEDIATYPE_Video).get());
        const BYTE* header = nullptr;
        DWORD length = 0;
        if (video.formattype == FORMAT_MPEGVideo) {
            const auto* info = video.formatAs<MPEG1VIDEOINFO>();
            header = info->bSequenceHeader;
            length = info->cbSequenceHeader;
        } else {
            ASSERT_EQ(video.formattype, FORMAT_MPEG2Video);
            const auto* info = video.formatAs<MPEG2VIDEOINFO>();
            header = reinterpret_cast<const BYTE*>(info->dwSequenceHeader);
            length = info->cbSequenceHeader;
        }
        ASSERT_GE(length, 8u) << clip;
        EXPECT_EQ(header[0], 0);
        EXPECT_EQ(header[1], 0);
        EXPECT_EQ(header[2], 1);
        EXPECT_EQ(header[3], 0xB3);
    }
}

TEST(Types, SplittersNameOnePinPerStreamAndSourcesOnePerKind)
{
    const harness::Opened split = harness::open(CLSID_MPEG2Splitter, "mpeg2.mpg");
    ASSERT_EQ(split.result, S_OK);
    std::vector<std::u16string> names;
    for (const ComPtr<IPin>& pin : harness::outputPins(split.filter.get())) {
        PIN_INFO info;
        pin->QueryPinInfo(&info);
        names.push_back(info.achName);
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Video", u"Audio"}));
}

TEST(Types, AFileThatIsNotThereIsNotFound)
{
    for (const ClassName& c : kClasses)
        EXPECT_TRUE(FAILED(harness::open(c.classId, "no such clip.avi").result)) << c.name;
}

// FFmpeg's own opening of a clip, probing it.
struct FormatClose
{
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
std::unique_ptr<AVFormatContext, FormatClose> openByFFmpeg(const char* clip)
{
    AVFormatContext* f = nullptr;
    avformat_open_input(&f, QFile::encodeName(clips::path(QString::fromUtf8(clip))).constData(), nullptr, nullptr);
    return std::unique_ptr<AVFormatContext, FormatClose>(f);
}

// The file source probes a stream once, as FFmpeg would, and the splitter
// behind it opens the container that the source's subtype names.
TEST(Probing, TheFileSourceNamesTheContainerThatFFmpegFinds)
{
    for (const char* clip : {"dv_pal.avi", "mpeg1.mpg", "mpeg2.mpg", "mpeg2.ts", "h264.m2ts", "mpeg2.m2v", "mpeg1.m1v",
                             "audio_only.wav"}) {
        SCOPED_TRACE(clip);
        const ComPtr<IBaseFilter> source = createAsyncFileSource();
        ASSERT_EQ(source.as<IFileSourceFilter>()->Load(clips::path(QString::fromUtf8(clip)).toStdU16String().c_str(),
                                                       nullptr),
                  S_OK);
        const AM_MEDIA_TYPE type = offeredType(firstPin(source.get(), PINDIR_OUTPUT).get());
        const AVInputFormat* named = streamFormatOf(type.subtype);
        const auto opened = openByFFmpeg(clip);
        ASSERT_TRUE(named && opened);
        EXPECT_STREQ(named->name, opened->iformat->name);
    }
    EXPECT_FALSE(streamFormatOf(GUID_NULL));
}

// A DV stream's size and pixel layout come from the header of its first
// frame, before anything is decoded, and the container still reads from
// where it stood.
TEST(Probing, DVTellsItsPictureByItsHeader)
{
    const struct
    {
        const char* clip;
        AVPixelFormat format;
        int height;
    } dvs[] = {{"dv_pal.avi", AV_PIX_FMT_YUV420P, 576}, {"dv_ntsc_wide.avi", AV_PIX_FMT_YUV411P, 480}};
    for (const auto& dv : dvs) {
        SCOPED_TRACE(dv.clip);
        const auto f = openByFFmpeg(dv.clip);
        ASSERT_TRUE(f);
        const AVCodecParameters* par = f->streams[0]->codecpar;
        ASSERT_EQ(par->codec_id, AV_CODEC_ID_DVVIDEO);
        EXPECT_EQ(par->format, AV_PIX_FMT_NONE);
        const int64_t before = avio_tell(f->pb);
        av::describeDVFromHeader(f.get());
        EXPECT_EQ(par->format, dv.format);
        EXPECT_EQ(par->width, 720);
        EXPECT_EQ(par->height, dv.height);
        EXPECT_EQ(avio_tell(f->pb), before);
        AVPacket* packet = av_packet_alloc();
        ASSERT_EQ(av_read_frame(f.get(), packet), 0);
        EXPECT_EQ(packet->stream_index, 0);
        EXPECT_EQ(packet->pts, 0);
        av_packet_free(&packet);
    }
    // Other streams are left as they are.
    const auto mpeg = openByFFmpeg("mpeg1.mpg");
    av::describeDVFromHeader(mpeg.get());
    for (unsigned i = 0; i < mpeg->nb_streams; ++i)
        EXPECT_EQ(mpeg->streams[i]->codecpar->format, -1);
}

} // namespace
