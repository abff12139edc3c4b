#pragma once
// Naming of media types and FourCC codes, the summary of a video format, and
// fitting a picture of a given aspect into a rectangle.

#include "media/parsers/media_records.h"
#include "platform/core/guid.h"
#include "platform/core/types.h"

#include <QString>

// The parts of a media type that the readers below look at. The format block
// is read as packed little-endian data and never beyond cbFormat.
struct MediaTypeView
{
    GUID majortype;
    GUID subtype;
    GUID formattype;
    const BYTE* pbFormat = nullptr;
    ULONG cbFormat = 0;
};

// A rectangle with exclusive right and bottom edges.
struct TRect
{
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    friend bool operator==(const TRect&, const TRect&) = default;
};

// The four characters of a FourCC, low byte first, or "RGB" when one of them
// is a control character.
QString FourCCToStr(DWORD code);
// The four characters of a FourCC with control characters shown as blanks.
QString FourCCToText5(DWORD code);
// The name of a WAVE format tag ("PCM", "MP3", "AC3"...); empty for an unknown tag.
QString WaveFormatTagName(WORD tag);

// "DV Type 2", "RGB32", "MPEG2", the FourCC of the compression...
QString VideoSubtypeName(const MediaTypeView& mt);
// "PCM", "DOLBY AC3", "MPEG"...; empty when the type is not audio or unknown.
QString AudioFormatName(const MediaTypeView& mt);

// Reads the video format of a media type; valid is False when no reader
// recognises it.
TVideoData GetVideoData(const MediaTypeView& mt);
// Fills the aspect kind, description, frame rate and size text from the
// other fields.
void DescribeVideoData(TVideoData& vd);

// The largest rectangle of the given aspect centred in `rect` shrunk by
// `margin` on each side; relative makes it relative to rect's top left.
// An aspect below 1 gives the shrunk rectangle.
TRect GetAspectFitRect(std::int32_t aspectW, std::int32_t aspectH, const TRect& rect, bool relative,
                       std::int32_t margin);
