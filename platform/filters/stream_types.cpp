#include "platform/filters/stream_types.h"

#include "platform/filters/av_util.h"
#include "platform/graph/formats.h"
#include "platform/graph/media_guids.h"

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <span>

namespace {

constexpr GUID kCodecSubtypeBase = "{00000000-4B56-4654-8A2E-46464D504547}"_guid;

constexpr WORD WAVE_FORMAT_IEEE_FLOAT = 3;
constexpr WORD WAVE_FORMAT_DOLBY_AC3 = 0x2000;

// A container tag that reads as four characters names the stream's format.
bool isPrintableFourCC(uint32_t tag)
{
    for (int i = 0; i < 4; ++i) {
        const unsigned c = (tag >> (8 * i)) & 0xFF;
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return std::isalnum(static_cast<int>(tag & 0xFF)) != 0;
}

uint32_t upperFourCC(uint32_t tag)
{
    uint32_t up = 0;
    for (int i = 0; i < 4; ++i)
        up |= static_cast<uint32_t>(std::toupper(static_cast<int>((tag >> (8 * i)) & 0xFF))) << (8 * i);
    return up;
}

AVCodecID riffCodec(const AVCodecTag* table, uint32_t tag)
{
    const AVCodecTag* const tables[] = {table, nullptr};
    return av_codec_get_id(tables, tag);
}

std::span<const uint8_t> extradataOf(const AVCodecParameters* par)
{
    if (!par->extradata || par->extradata_size <= 0)
        return {};
    return {par->extradata, static_cast<std::size_t>(par->extradata_size)};
}

// The display aspect of a picture, reduced; 0:0 when its pixels are square
// or their shape is unknown.
AVRational displayAspect(const AVStream* stream)
{
    const AVCodecParameters* par = stream->codecpar;
    AVRational sar = par->sample_aspect_ratio;
    if (sar.num <= 0 || sar.den <= 0)
        sar = stream->sample_aspect_ratio;
    if (sar.num <= 0 || sar.den <= 0 || sar.num == sar.den)
        return {0, 0};
    AVRational dar{0, 0};
    av_reduce(&dar.num, &dar.den, static_cast<int64_t>(par->width) * sar.num,
              static_cast<int64_t>(par->height) * sar.den, 1 << 16);
    return dar;
}

void fillVideoHeader(VIDEOINFOHEADER& vih, const AVCodecParameters* par, uint32_t fourcc, int64_t frameDuration)
{
    vih.rcSource = {0, 0, par->width, par->height};
    vih.rcTarget = vih.rcSource;
    vih.dwBitRate = static_cast<DWORD>(std::clamp<int64_t>(par->bit_rate, 0, UINT32_MAX));
    vih.AvgTimePerFrame = frameDuration;
    BITMAPINFOHEADER& bmi = vih.bmiHeader;
    bmi.biSize = sizeof(BITMAPINFOHEADER);
    bmi.biWidth = par->width;
    bmi.biHeight = par->height;
    bmi.biPlanes = 1;
    bmi.biBitCount = static_cast<WORD>(par->bits_per_coded_sample > 0 ? par->bits_per_coded_sample : 24);
    bmi.biCompression = fourcc;
}

// The second header: the same fields as the first, plus the aspect.
void fillVideoHeader2(VIDEOINFOHEADER2& vih2, const AVCodecParameters* par, uint32_t fourcc, int64_t frameDuration,
                      AVRational dar)
{
    VIDEOINFOHEADER vih{};
    fillVideoHeader(vih, par, fourcc, frameDuration);
    vih2.rcSource = vih.rcSource;
    vih2.rcTarget = vih.rcTarget;
    vih2.dwBitRate = vih.dwBitRate;
    vih2.AvgTimePerFrame = vih.AvgTimePerFrame;
    vih2.bmiHeader = vih.bmiHeader;
    if (dar.num <= 0 || dar.den <= 0)
        av_reduce(&dar.num, &dar.den, par->width, par->height, 1 << 16);
    vih2.dwPictAspectRatioX = static_cast<DWORD>(dar.num);
    vih2.dwPictAspectRatioY = static_cast<DWORD>(dar.den);
    if (par->field_order == AV_FIELD_TT || par->field_order == AV_FIELD_BB || par->field_order == AV_FIELD_TB ||
        par->field_order == AV_FIELD_BT)
        vih2.dwInterlaceFlags = 0x1; // interlaced picture
}

uint32_t videoFourCC(const AVStream* stream)
{
    const AVCodecParameters* par = stream->codecpar;
    if (isPrintableFourCC(par->codec_tag)) {
        const AVCodecID tagged = riffCodec(avformat_get_riff_video_tags(), par->codec_tag);
        const AVCodecID taggedUpper = riffCodec(avformat_get_riff_video_tags(), upperFourCC(par->codec_tag));
        if (tagged == par->codec_id || taggedUpper == par->codec_id)
            return par->codec_tag;
    }
    const AVCodecTag* const tables[] = {avformat_get_riff_video_tags(), nullptr};
    return av_codec_get_tag(tables, par->codec_id);
}

// The four characters that name a stream without a Windows tag, kept in the
// bitmap header for its name alone: the container's own tag, else the
// QuickTime one ("hev1" for HEVC in Matroska). The subtype still says the
// codec.
uint32_t namingFourCC(const AVStream* stream)
{
    const AVCodecParameters* par = stream->codecpar;
    if (isPrintableFourCC(par->codec_tag))
        return par->codec_tag;
    const AVCodecTag* const tables[] = {avformat_get_mov_video_tags(), nullptr};
    const uint32_t tag = av_codec_get_tag(tables, par->codec_id);
    return isPrintableFourCC(tag) ? tag : 0;
}

void videoType(AM_MEDIA_TYPE& mt, const AVStream* stream, int64_t frameDuration)
{
    const AVCodecParameters* par = stream->codecpar;
    const auto extra = extradataOf(par);
    const AVRational dar = displayAspect(stream);
    mt.majortype = MEDIATYPE_Video;
    const AVCodecDescriptor* desc = avcodec_descriptor_get(par->codec_id);
    mt.bTemporalCompression = desc && (desc->props & AV_CODEC_PROP_INTRA_ONLY) ? FALSE : TRUE;
    mt.bFixedSizeSamples = FALSE;
    mt.lSampleSize = 0;

    switch (par->codec_id) {
    case AV_CODEC_ID_MPEG1VIDEO: {
        mt.subtype = MEDIASUBTYPE_MPEG1Payload;
        mt.formattype = FORMAT_MPEGVideo;
        const std::size_t size =
            std::max(offsetof(MPEG1VIDEOINFO, bSequenceHeader) + extra.size(), sizeof(MPEG1VIDEOINFO));
        auto* info = mt.allocFormat<MPEG1VIDEOINFO>(size);
        fillVideoHeader(info->hdr, par, 0, frameDuration);
        info->cbSequenceHeader = static_cast<DWORD>(extra.size());
        std::copy(extra.begin(), extra.end(), mt.format.begin() + offsetof(MPEG1VIDEOINFO, bSequenceHeader));
        return;
    }
    case AV_CODEC_ID_MPEG2VIDEO:
    case AV_CODEC_ID_H264: {
        const bool mpeg2 = par->codec_id == AV_CODEC_ID_MPEG2VIDEO;
        // H.264 with its parameter sets in a configuration record (MP4,
        // Matroska) is AVC1; in start-code form (transport streams) H264.
        const bool avcC = !mpeg2 && !extra.empty() && extra[0] == 1;
        const uint32_t fourcc = mpeg2 ? 0 : avcC ? MKTAG('A', 'V', 'C', '1') : MKTAG('H', '2', '6', '4');
        mt.subtype = mpeg2 ? MEDIASUBTYPE_MPEG2_VIDEO : GUID::fromFourCC(fourcc);
        mt.formattype = FORMAT_MPEG2Video;
        const std::size_t size =
            std::max(offsetof(MPEG2VIDEOINFO, dwSequenceHeader) + extra.size(), sizeof(MPEG2VIDEOINFO));
        auto* info = mt.allocFormat<MPEG2VIDEOINFO>(size);
        fillVideoHeader2(info->hdr, par, fourcc, frameDuration, dar);
        info->cbSequenceHeader = static_cast<DWORD>(extra.size());
        info->dwProfile = par->profile > 0 ? static_cast<DWORD>(par->profile) : 0;
        info->dwLevel = par->level > 0 ? static_cast<DWORD>(par->level) : 0;
        if (avcC && extra.size() > 4)
            info->dwFlags = (extra[4] & 3u) + 1; // bytes of each NAL unit's length
        std::copy(extra.begin(), extra.end(), mt.format.begin() + offsetof(MPEG2VIDEOINFO, dwSequenceHeader));
        return;
    }
    default:
        break;
    }

    const uint32_t fourcc = videoFourCC(stream);
    mt.subtype = fourcc ? GUID::fromFourCC(fourcc) : codecSubtype(par->codec_id);
    const uint32_t named = fourcc ? fourcc : namingFourCC(stream);
    if (par->codec_id == AV_CODEC_ID_DVVIDEO) {
        mt.bFixedSizeSamples = TRUE;
        mt.lSampleSize = par->height == 480 ? 120'000 : 144'000;
    }
    if (dar.num > 0) {
        auto* vih2 = mt.allocFormat<VIDEOINFOHEADER2>(sizeof(VIDEOINFOHEADER2) + extra.size());
        fillVideoHeader2(*vih2, par, named, frameDuration, dar);
        vih2->bmiHeader.biSizeImage = mt.lSampleSize;
        vih2->bmiHeader.biSize = static_cast<DWORD>(sizeof(BITMAPINFOHEADER) + extra.size());
        mt.formattype = FORMAT_VideoInfo2;
        std::copy(extra.begin(), extra.end(), mt.format.begin() + sizeof(VIDEOINFOHEADER2));
    } else {
        auto* vih = mt.allocFormat<VIDEOINFOHEADER>(sizeof(VIDEOINFOHEADER) + extra.size());
        fillVideoHeader(*vih, par, named, frameDuration);
        vih->bmiHeader.biSizeImage = mt.lSampleSize;
        vih->bmiHeader.biSize = static_cast<DWORD>(sizeof(BITMAPINFOHEADER) + extra.size());
        mt.formattype = FORMAT_VideoInfo;
        std::copy(extra.begin(), extra.end(), mt.format.begin() + sizeof(VIDEOINFOHEADER));
    }
}

// Codecs that code sound by what is heard: their samples have no depth of
// their own, whatever size a container notes for them (16 in MP4, 32 in
// Matroska).
bool hasNoSampleDepth(AVCodecID id)
{
    switch (id) {
    case AV_CODEC_ID_AAC:
    case AV_CODEC_ID_AC3:
    case AV_CODEC_ID_EAC3:
    case AV_CODEC_ID_MP1:
    case AV_CODEC_ID_MP2:
    case AV_CODEC_ID_MP3:
    case AV_CODEC_ID_DTS:
    case AV_CODEC_ID_VORBIS:
    case AV_CODEC_ID_OPUS:
    case AV_CODEC_ID_WMAV1:
    case AV_CODEC_ID_WMAV2:
        return true;
    default:
        return false;
    }
}

void audioType(AM_MEDIA_TYPE& mt, const AVStream* stream)
{
    const AVCodecParameters* par = stream->codecpar;
    const auto extra = extradataOf(par);
    const AVCodecTag* const tables[] = {avformat_get_riff_audio_tags(), nullptr};
    WORD tag = static_cast<WORD>(av_codec_get_tag(tables, par->codec_id));
    if (par->codec_id == AV_CODEC_ID_AC3)
        tag = WAVE_FORMAT_DOLBY_AC3;
    mt.majortype = MEDIATYPE_Audio;
    mt.subtype = par->codec_id == AV_CODEC_ID_AC3 ? MEDIASUBTYPE_DOLBY_AC3
                 : tag                            ? GUID::fromFourCC(tag)
                                                  : codecSubtype(par->codec_id);
    mt.formattype = FORMAT_WaveFormatEx;
    auto* wfx = mt.allocFormat<WAVEFORMATEX>(sizeof(WAVEFORMATEX) + extra.size());
    wfx->wFormatTag = tag;
    wfx->nChannels = static_cast<WORD>(par->ch_layout.nb_channels);
    wfx->nSamplesPerSec = static_cast<DWORD>(par->sample_rate);
    wfx->wBitsPerSample = hasNoSampleDepth(par->codec_id) ? 0 : static_cast<WORD>(par->bits_per_coded_sample);
    wfx->nBlockAlign = static_cast<WORD>(par->block_align);
    if (tag == WAVE_FORMAT_PCM || tag == WAVE_FORMAT_IEEE_FLOAT) {
        wfx->nBlockAlign = static_cast<WORD>(wfx->nChannels * wfx->wBitsPerSample / 8);
        wfx->nAvgBytesPerSec = wfx->nSamplesPerSec * wfx->nBlockAlign;
        mt.lSampleSize = wfx->nBlockAlign;
    } else {
        wfx->nAvgBytesPerSec = static_cast<DWORD>(std::clamp<int64_t>(par->bit_rate / 8, 0, UINT32_MAX));
        mt.bFixedSizeSamples = FALSE;
        mt.lSampleSize = 0;
    }
    wfx->cbSize = static_cast<WORD>(extra.size());
    std::copy(extra.begin(), extra.end(), mt.format.begin() + sizeof(WAVEFORMATEX));
}

bool isTextSubtitle(AVCodecID id)
{
    const AVCodecDescriptor* desc = avcodec_descriptor_get(id);
    return desc && desc->type == AVMEDIA_TYPE_SUBTITLE && (desc->props & AV_CODEC_PROP_TEXT_SUB);
}

// The extra data that follows a format block's fixed part.
std::span<const BYTE> trailingBytes(const AM_MEDIA_TYPE& type, std::size_t header, std::size_t declared)
{
    if (type.format.size() <= header)
        return {};
    return std::span<const BYTE>(type.format).subspan(header, std::min(type.format.size() - header, declared));
}

bool setExtradata(AVCodecParameters* par, std::span<const BYTE> bytes)
{
    av_freep(&par->extradata);
    par->extradata_size = 0;
    if (bytes.empty())
        return true;
    par->extradata = static_cast<uint8_t*>(av_mallocz(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!par->extradata)
        return false;
    std::memcpy(par->extradata, bytes.data(), bytes.size());
    par->extradata_size = static_cast<int>(bytes.size());
    return true;
}

AVCodecID privateCodec(const GUID& subtype)
{
    GUID base = subtype;
    base.Data1 = 0;
    return base == kCodecSubtypeBase ? static_cast<AVCodecID>(subtype.Data1) : AV_CODEC_ID_NONE;
}

bool videoParameters(const AM_MEDIA_TYPE& type, AVCodecParameters* par)
{
    const BITMAPINFOHEADER* bmi = bitmapHeaderOf(type);
    if (!bmi)
        return false;
    std::span<const BYTE> extra;
    if (type.formattype == FORMAT_MPEGVideo) {
        const auto* info = type.formatAs<MPEG1VIDEOINFO>();
        if (!info)
            return false;
        extra = trailingBytes(type, offsetof(MPEG1VIDEOINFO, bSequenceHeader), info->cbSequenceHeader);
    } else if (type.formattype == FORMAT_MPEG2Video) {
        const auto* info = type.formatAs<MPEG2VIDEOINFO>();
        if (!info)
            return false;
        extra = trailingBytes(type, offsetof(MPEG2VIDEOINFO, dwSequenceHeader), info->cbSequenceHeader);
    } else {
        extra = trailingBytes(
            type, type.formattype == FORMAT_VideoInfo2 ? sizeof(VIDEOINFOHEADER2) : sizeof(VIDEOINFOHEADER), SIZE_MAX);
    }

    AVCodecID id = privateCodec(type.subtype);
    if (type.subtype == MEDIASUBTYPE_MPEG2_VIDEO)
        id = AV_CODEC_ID_MPEG2VIDEO;
    else if (type.subtype == MEDIASUBTYPE_MPEG1Payload || type.subtype == MEDIASUBTYPE_MPEG1Packet ||
             type.subtype == MEDIASUBTYPE_MPEG1Video)
        id = AV_CODEC_ID_MPEG1VIDEO;
    else if (const uint32_t fourcc = type.subtype.fourCC(); fourcc > 0xFFFF) {
        id = riffCodec(avformat_get_riff_video_tags(), fourcc);
        if (id == AV_CODEC_ID_NONE)
            id = riffCodec(avformat_get_riff_video_tags(), upperFourCC(fourcc));
    }
    // Uncompressed pictures are not a decoder's work; nor are pictures
    // larger than any buffer we make.
    if (id == AV_CODEC_ID_NONE || id == AV_CODEC_ID_RAWVIDEO ||
        !pictureBytes(bmi->biWidth, std::abs(static_cast<std::int64_t>(bmi->biHeight)), 4))
        return false;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = id;
    par->codec_tag = type.subtype.fourCC();
    par->width = bmi->biWidth;
    par->height = std::abs(bmi->biHeight);
    return setExtradata(par, extra);
}

bool audioParameters(const AM_MEDIA_TYPE& type, AVCodecParameters* par)
{
    const auto* wfx = type.formattype == FORMAT_WaveFormatEx ? type.formatAs<WAVEFORMATEX>() : nullptr;
    if (!wfx || wfx->nChannels == 0 || wfx->nSamplesPerSec == 0)
        return false;
    AVCodecID id = privateCodec(type.subtype);
    if (type.subtype == MEDIASUBTYPE_DOLBY_AC3)
        id = AV_CODEC_ID_AC3;
    else if (type.subtype == MEDIASUBTYPE_MPEG2_AUDIO || type.subtype == MEDIASUBTYPE_MPEG1Packet ||
             type.subtype == MEDIASUBTYPE_MPEG1Audio)
        id = AV_CODEC_ID_MP2;
    else if (id == AV_CODEC_ID_NONE) {
        const uint32_t tag = type.subtype.fourCC() ? type.subtype.fourCC() : wfx->wFormatTag;
        if (tag == WAVE_FORMAT_PCM) {
            switch (wfx->wBitsPerSample) {
            case 8:
                id = AV_CODEC_ID_PCM_U8;
                break;
            case 16:
                id = AV_CODEC_ID_PCM_S16LE;
                break;
            case 24:
                id = AV_CODEC_ID_PCM_S24LE;
                break;
            case 32:
                id = AV_CODEC_ID_PCM_S32LE;
                break;
            default:
                return false;
            }
        } else if (tag == WAVE_FORMAT_IEEE_FLOAT) {
            id = wfx->wBitsPerSample == 64 ? AV_CODEC_ID_PCM_F64LE : AV_CODEC_ID_PCM_F32LE;
        } else if (tag <= 0xFFFF) {
            id = riffCodec(avformat_get_riff_audio_tags(), tag);
        }
    }
    if (id == AV_CODEC_ID_NONE)
        return false;
    par->codec_type = AVMEDIA_TYPE_AUDIO;
    par->codec_id = id;
    par->codec_tag = wfx->wFormatTag;
    av_channel_layout_uninit(&par->ch_layout);
    av_channel_layout_default(&par->ch_layout, wfx->nChannels);
    par->sample_rate = static_cast<int>(wfx->nSamplesPerSec);
    par->block_align = wfx->nBlockAlign;
    par->bits_per_coded_sample = wfx->wBitsPerSample;
    par->bit_rate = static_cast<int64_t>(wfx->nAvgBytesPerSec) * 8;
    return setExtradata(par, trailingBytes(type, sizeof(WAVEFORMATEX), wfx->cbSize));
}

} // namespace

GUID codecSubtype(int codecId)
{
    GUID g = kCodecSubtypeBase;
    g.Data1 = static_cast<uint32_t>(codecId);
    return g;
}

AM_MEDIA_TYPE mediaTypeOf(const AVStream* stream, int64_t frameDuration)
{
    AM_MEDIA_TYPE mt;
    const AVCodecParameters* par = stream->codecpar;
    switch (par->codec_type) {
    case AVMEDIA_TYPE_VIDEO:
        if (par->width > 0 && par->height > 0)
            videoType(mt, stream, frameDuration);
        break;
    case AVMEDIA_TYPE_AUDIO:
        if (par->ch_layout.nb_channels > 0 && par->sample_rate > 0)
            audioType(mt, stream);
        break;
    case AVMEDIA_TYPE_SUBTITLE:
        if (isTextSubtitle(par->codec_id)) {
            mt.majortype = MEDIATYPE_Subtitle;
            mt.subtype = MEDIASUBTYPE_UTF8;
            mt.formattype = FORMAT_None;
            mt.bFixedSizeSamples = FALSE;
            mt.lSampleSize = 0;
        }
        break;
    default:
        break;
    }
    return mt;
}

bool codecParametersOf(const AM_MEDIA_TYPE& type, AVCodecParameters* par)
{
    if (type.majortype == MEDIATYPE_Video)
        return videoParameters(type, par);
    if (type.majortype == MEDIATYPE_Audio)
        return audioParameters(type, par);
    return false;
}

LONG pictureBytes(std::int64_t width, std::int64_t height, int bytesPerPixel)
{
    constexpr std::int64_t kMaxSide = 16384;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide || bytesPerPixel <= 0)
        return 0;
    const std::int64_t bytes = width * height * bytesPerPixel;
    return bytes <= kMaxSampleBytes ? static_cast<LONG>(bytes) : 0;
}

const BITMAPINFOHEADER* bitmapHeaderOf(const AM_MEDIA_TYPE& type)
{
    // The MPEG blocks begin with the plain headers.
    if (type.formattype == FORMAT_VideoInfo || type.formattype == FORMAT_MPEGVideo) {
        const auto* vih = type.formatAs<VIDEOINFOHEADER>();
        return vih ? &vih->bmiHeader : nullptr;
    }
    if (type.formattype == FORMAT_VideoInfo2 || type.formattype == FORMAT_MPEG2Video) {
        const auto* vih2 = type.formatAs<VIDEOINFOHEADER2>();
        return vih2 ? &vih2->bmiHeader : nullptr;
    }
    return nullptr;
}

int64_t frameDurationOf(const AM_MEDIA_TYPE& type)
{
    // Every video format block begins with the rectangles, the rates and
    // the frame duration.
    if (type.formattype == FORMAT_VideoInfo || type.formattype == FORMAT_VideoInfo2 ||
        type.formattype == FORMAT_MPEGVideo || type.formattype == FORMAT_MPEG2Video) {
        if (const auto* vih = type.formatAs<VIDEOINFOHEADER>())
            return vih->AvgTimePerFrame;
    }
    return 0;
}
