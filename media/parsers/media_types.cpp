#include "media/parsers/media_types.h"

#include "platform/graph/media_guids.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

namespace {

// The block of the given format type seen as T; null for another format type
// or a block shorter than T.
template <typename T> const T* formatOf(const AM_MEDIA_TYPE& mt, const GUID& formatType)
{
    return mt.formattype == formatType ? mt.formatAs<T>() : nullptr;
}

bool isFourCCSubtype(const GUID& subtype)
{
    return subtype == GUID::fromFourCC(subtype.Data1);
}

bool isDVFourCC(const GUID& subtype)
{
    const QString code = FourCCToText5(subtype.Data1).toLower();
    return code == u"dvcp" || code == u"dvsd";
}

const std::pair<WORD, const char*> kWaveFormatTags[] = {
    {1, "PCM"},
    {2, "ADPCM"},
    {3, "IEEE_FLOAT"},
    {4, "VSELP"},
    {5, "IBM_CVSD"},
    {6, "ALAW"},
    {7, "MULAW"},
    {8, "DTS"},
    {9, "DRM"},
    {16, "OKI_ADPCM"},
    {17, "DVI_ADPCM"},
    {18, "MEDIASPACE_ADPCM"},
    {19, "SIERRA_ADPCM"},
    {20, "G723_ADPCM"},
    {21, "DIGISTD"},
    {22, "DIGIFIX"},
    {23, "DIALOGIC_OKI_ADPCM"},
    {24, "MEDIAVISION_ADPCM"},
    {25, "HP_CU"},
    {32, "YAMAHA_ADPCM"},
    {33, "SONARC"},
    {34, "DSPGROUP_TRUESPEECH"},
    {35, "ECHOSC1"},
    {36, "AUDIOFILE_AF36"},
    {37, "APTX"},
    {38, "AUDIOFILE_AF10"},
    {39, "PROSODY_1612"},
    {40, "LRC"},
    {48, "DOLBY_AC2"},
    {49, "GSM610"},
    {50, "MSNAUDIO"},
    {51, "ANTEX_ADPCME"},
    {52, "CONTROL_RES_VQLPC"},
    {53, "DIGIREAL"},
    {54, "DIGIADPCM"},
    {55, "CONTROL_RES_CR10"},
    {56, "NMS_VBXADPCM"},
    {57, "CS_IMAADPCM"},
    {58, "ECHOSC3"},
    {59, "ROCKWELL_ADPCM"},
    {60, "ROCKWELL_DIGITALK"},
    {61, "XEBEC"},
    {64, "G721_ADPCM"},
    {65, "G728_CELP"},
    {66, "MSG723"},
    {80, "MPEG Audio"},
    {82, "RT24"},
    {83, "PAC"},
    {85, "MP3"},
    {89, "LUCENT G.723"},
    {96, "CIRRUS"},
    {97, "ESPCM"},
    {98, "VOXWARE"},
    {99, "CANOPUS_ATRAC"},
    {100, "G726_ADPCM"},
    {101, "G722_ADPCM"},
    {102, "DSAT"},
    {103, "DSAT_DISPLAY"},
    {105, "VOXWARE_BYTE_ALIGNED"},
    {112, "VOXWARE_AC8"},
    {113, "VOXWARE_AC10"},
    {114, "VOXWARE_AC16"},
    {115, "VOXWARE_AC20"},
    {116, "VOXWARE_RT24"},
    {117, "VOXWARE_RT29"},
    {118, "VOXWARE_RT29HW"},
    {119, "VOXWARE_VR12"},
    {120, "VOXWARE_VR18"},
    {121, "VOXWARE_TQ40"},
    {128, "SOFTSOUND"},
    {129, "VOXWARE_TQ60"},
    {130, "MSRT24"},
    {131, "G729A"},
    {132, "MVI_MV12"},
    {133, "DF_G726"},
    {134, "DF_GSM610"},
    {136, "ISIAUDIO "},
    {137, "ONLIVE"},
    {145, "SBC24"},
    {146, "DOLBY_AC3_SPDIF"},
    {151, "ZYXEL_ADPCM"},
    {152, "PHILIPS_LPCBB"},
    {153, "PACKED"},
    {255, "AAC"},
    {256, "RHETOREX_ADPCM"},
    {257, "IRAT"},
    {273, "VIVO_G723"},
    {274, "VIVO_SIREN"},
    {291, "DIGITAL_G723"},
    {293, "SANYO_LD_ADPCM"},
    {305, "SIPROLAB_ACELP4800"},
    {306, "SIPROLAB_ACELP8V3"},
    {307, "SIPROLAB_G729"},
    {308, "SIPROLAB_G729A"},
    {309, "SIPROLAB_KELVIN"},
    {320, "G726ADPCM"},
    {336, "QUALCOMM_PUREVOICE"},
    {337, "QUALCOMM_HALFRATE"},
    {341, "TUBGSM"},
    {352, "MSAUDIO1"},
    {353, "WMA"},
    {354, "WMA_Pro"},
    {355, "WMA_Lossless"},
    {368, "UNISYS_NAP_ADPCM"},
    {369, "UNISYS_NAP_ULAW"},
    {370, "UNISYS_NAP_ALAW"},
    {371, "UNISYS_NAP_16K"},
    {512, "CREATIVE_ADPCM"},
    {514, "CREATIVE_FASTSPEECH8"},
    {515, "CREATIVE_FASTSPEECH10"},
    {544, "QUARTERDECK"},
    {768, "FM_TOWNS_SND"},
    {1024, "BTV_DIGITAL"},
    {1664, "VME_VMPCM"},
    {4096, "OLIGSM"},
    {4097, "OLIADPCM"},
    {4098, "OLICELP"},
    {4099, "OLISBC"},
    {4100, "OLIOPR"},
    {4352, "LH_CODEC"},
    {4353, "LH_SELP"},
    {4354, "LH_SBC"},
    {4355, "LH_SBC"},
    {4356, "LH_SBC"},
    {5120, "NORRIS"},
    {5121, "ISIAUDIO"},
    {5376, "SOUNDSPACE_MUSICOMPRESS"},
    {6172, "VOXWARE_RT24_Speech"},
    {8132, "NCTSOFT_ALF2CD"},
    {8192, "AC3"},
    {8193, "DTS"},
    {8194, "14_4"},
    {8195, "28_8"},
    {8196, "COOK"},
    {8197, "DNET"},
    {26447, "OGG_VORBIS1"},
    {26448, "OGG_VORBIS2"},
    {26449, "OGG_VORBIS3"},
    {26479, "OGG_VORBIS1+"},
    {26480, "OGG_VORBIS2+"},
    {26481, "OGG_VORBIS3+"},
    {31265, "GSM_AMR"},
    {31266, "GSM_AMR"},
};

} // namespace

QString FourCCToStr(DWORD code)
{
    QString text;
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<uchar>(code >> (8 * i));
        if (c <= 31)
            return QStringLiteral("RGB");
        text += QChar(c);
    }
    return text;
}

QString FourCCToText5(DWORD code)
{
    QString text;
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<uchar>(code >> (8 * i));
        text += c < 32 ? QChar(u' ') : QChar(c);
    }
    return text;
}

QString WaveFormatTagName(WORD tag)
{
    const auto it = std::lower_bound(std::begin(kWaveFormatTags), std::end(kWaveFormatTags), tag,
                                     [](const auto& entry, WORD t) { return entry.first < t; });
    if (it == std::end(kWaveFormatTags) || it->first != tag)
        return {};
    return QString::fromLatin1(it->second);
}

QString VideoSubtypeName(const AM_MEDIA_TYPE& mt)
{
    if (isFourCCSubtype(mt.subtype)) {
        const QString code = FourCCToText5(mt.subtype.Data1);
        const QString lower = code.toLower();
        if (lower == u"dvcp")
            return QStringLiteral("DV Type 1");
        if (lower == u"dvsd")
            return QStringLiteral("DV Type 2");
        return code;
    }
    static const std::pair<GUID, const char*> rgb[] = {{MEDIASUBTYPE_RGB24, "RGB24"},  {MEDIASUBTYPE_RGB32, "RGB32"},
                                                       {MEDIASUBTYPE_RGB1, "RGB1"},    {MEDIASUBTYPE_RGB4, "RGB4"},
                                                       {MEDIASUBTYPE_RGB8, "RGB8"},    {MEDIASUBTYPE_RGB565, "RGB565"},
                                                       {MEDIASUBTYPE_RGB555, "RGB555"}};
    for (const auto& [subtype, name] : rgb) {
        if (mt.subtype == subtype)
            return QString::fromLatin1(name);
    }
    if (mt.formattype == FORMAT_VideoInfo || mt.formattype == FORMAT_VideoInfo2) {
        if (const auto* vih = formatOf<VIDEOINFOHEADER>(mt, FORMAT_VideoInfo))
            return FourCCToStr(vih->bmiHeader.biCompression);
        if (const auto* vih2 = formatOf<VIDEOINFOHEADER2>(mt, FORMAT_VideoInfo2))
            return FourCCToStr(vih2->bmiHeader.biCompression);
        return {};
    }
    return mt.formattype == FORMAT_MPEGVideo ? QStringLiteral("MPEG1") : QStringLiteral("MPEG2");
}

QString AudioFormatName(const AM_MEDIA_TYPE& mt)
{
    if (mt.majortype != MEDIATYPE_Audio)
        return {};
    static const std::pair<GUID, const char*> known[] = {
        {MEDIASUBTYPE_MPEG2_AUDIO, "MPEG2"},         {MEDIASUBTYPE_DOLBY_AC3, "DOLBY AC3"},
        {MEDIASUBTYPE_DVD_LPCM_AUDIO, "LPCM"},       {MEDIASUBTYPE_MPEG1Packet, "MPEG1Packet"},
        {MEDIASUBTYPE_MPEG1Payload, "MPEG1Payload"}, {MEDIASUBTYPE_MPEG1AudioPayload, "MPEG1"}};
    QString name;
    const auto it =
        std::find_if(std::begin(known), std::end(known), [&](const auto& entry) { return entry.first == mt.subtype; });
    if (it != std::end(known))
        name = QString::fromLatin1(it->second);
    else if (isFourCCSubtype(mt.subtype))
        name = FourCCToStr(mt.subtype.Data1);

    // The wave format tag names the coding more precisely when it is known.
    if (const auto* wfx = formatOf<WAVEFORMATEX>(mt, FORMAT_WaveFormatEx)) {
        if (const WORD tag = wfx->wFormatTag) {
            const QString tagName = WaveFormatTagName(tag).left(4);
            if (!tagName.isEmpty())
                name = tagName;
        }
    }
    return name;
}

namespace {
// Fills the fields that VIDEOINFOHEADER and VIDEOINFOHEADER2 share.
template <typename Header>
TVideoData videoDataOf(const AM_MEDIA_TYPE& mt, const Header& h, DWORD aspectX, DWORD aspectY)
{
    TVideoData vd;
    vd.valid = true;
    vd.width = h.bmiHeader.biWidth;
    vd.height = h.bmiHeader.biHeight;
    vd.bitCount = h.bmiHeader.biBitCount;
    vd.bitRate = static_cast<std::int32_t>(h.dwBitRate);
    vd.frameDuration = h.AvgTimePerFrame;
    vd.aspectX = static_cast<std::int32_t>(aspectX);
    vd.aspectY = static_cast<std::int32_t>(aspectY);
    vd.subtypeName = VideoSubtypeName(mt);
    DescribeVideoData(vd);
    return vd;
}
} // namespace

TVideoData GetVideoData(const AM_MEDIA_TYPE& mt)
{
    if (const auto* vih = formatOf<VIDEOINFOHEADER>(mt, FORMAT_VideoInfo))
        return videoDataOf(mt, *vih, 0, 0);
    if (const auto* vih2 = formatOf<VIDEOINFOHEADER2>(mt, FORMAT_VideoInfo2)) {
        // DV keeps its aspect in its own flags, not in the header.
        if (isDVFourCC(mt.subtype))
            return videoDataOf(mt, *vih2, 0, 0);
        return videoDataOf(mt, *vih2, vih2->dwPictAspectRatioX, vih2->dwPictAspectRatioY);
    }
    if (const auto* mpeg2 = formatOf<MPEG2VIDEOINFO>(mt, FORMAT_MPEG2Video))
        return videoDataOf(mt, mpeg2->hdr, mpeg2->hdr.dwPictAspectRatioX, mpeg2->hdr.dwPictAspectRatioY);
    if (const auto* mpeg1 = formatOf<MPEG1VIDEOINFO>(mt, FORMAT_MPEGVideo))
        return videoDataOf(mt, mpeg1->hdr, 0, 0);
    return {};
}

void DescribeVideoData(TVideoData& vd)
{
    const std::int64_t x = vd.aspectX;
    const std::int64_t y = vd.aspectY;
    if (x > 0 || y >= 1)
        vd.aspectKind = x * 3 == y * 4 ? akFourThree : x * 9 == y * 16 ? akSixteenNine : akOther;
    else
        vd.aspectKind = akNone;

    switch (vd.aspectKind) {
    case akFourThree:
        vd.description = vd.subtypeName + QStringLiteral(" (4x3)");
        break;
    case akSixteenNine:
        vd.description = vd.subtypeName + QStringLiteral(" (16x9)");
        break;
    case akOther:
        // Large ratios are shown in short: 1000:1000 as 10x10.
        while (vd.aspectX > 99 && vd.aspectY > 99) {
            vd.aspectX = static_cast<std::int32_t>(std::nearbyint(vd.aspectX / 10.0));
            vd.aspectY = static_cast<std::int32_t>(std::nearbyint(vd.aspectY / 10.0));
        }
        vd.description = QStringLiteral("%1 (%2x%3)").arg(vd.subtypeName).arg(vd.aspectX).arg(vd.aspectY);
        break;
    default:
        vd.description = vd.subtypeName;
    }

    vd.frameRate = vd.frameDuration > 0 ? static_cast<double>(kUnitsPerSecond) / vd.frameDuration : 0;
    vd.sizeText = QStringLiteral("%1x%2").arg(vd.width).arg(vd.height);
    if (vd.frameRate > 0) {
        QLocale locale;
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        const double rounded = std::round(vd.frameRate * 100) / 100;
        vd.sizeText += QStringLiteral(" - %1 fps").arg(locale.toString(rounded, 'f', QLocale::FloatingPointShortest));
    }
}

RECT GetAspectFitRect(std::int32_t aspectW, std::int32_t aspectH, const RECT& rect, bool relative, std::int32_t margin)
{
    RECT r{rect.left + margin, rect.top + margin, rect.right - margin, rect.bottom - margin};
    if (aspectW >= 1 && aspectH >= 1) {
        const std::int64_t w = r.right - r.left;
        const std::int64_t h = r.bottom - r.top;
        if (h * aspectW > w * aspectH) {
            // Too tall: full width, centred vertically.
            const auto height = static_cast<std::int32_t>(aspectH * w / aspectW);
            r.top += static_cast<std::int32_t>((h - height) / 2);
            r.bottom = r.top + height;
        } else {
            const auto width = static_cast<std::int32_t>(h * aspectW / aspectH);
            r.left += static_cast<std::int32_t>((w - width) / 2);
            r.right = r.left + width;
        }
    }
    if (relative) {
        r.left -= rect.left;
        r.right -= rect.left;
        r.top -= rect.top;
        r.bottom -= rect.top;
    }
    return r;
}
