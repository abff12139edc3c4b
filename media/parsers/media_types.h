#pragma once
// Naming of media types and FourCC codes, the summary of a video format, and
// fitting a picture of a given aspect into a rectangle.

#include "media/parsers/media_records.h"
#include "platform/core/types.h"
#include "platform/graph/formats.h"
#include "platform/graph/media_type.h"

#include <QString>

// The four characters of a FourCC, low byte first, or "RGB" when one of them
// is a control character.
QString FourCCToStr(DWORD code);
// The four characters of a FourCC with control characters shown as blanks.
QString FourCCToText5(DWORD code);
// The name of a WAVE format tag ("PCM", "MP3", "AC3"...); empty for an unknown tag.
QString WaveFormatTagName(WORD tag);

// "DV Type 2", "RGB32", "MPEG2", the FourCC of the compression...
QString VideoSubtypeName(const AM_MEDIA_TYPE& mt);
// "PCM", "DOLBY AC3", "MPEG"...; empty when the type is not audio or unknown.
QString AudioFormatName(const AM_MEDIA_TYPE& mt);

// Reads the video format of a media type; valid is False when no reader
// recognises it. A format block shorter than its kind is not read.
TVideoData GetVideoData(const AM_MEDIA_TYPE& mt);
// Fills the aspect kind, description, frame rate and size text from the
// other fields.
void DescribeVideoData(TVideoData& vd);

// The largest rectangle of the given aspect centred in `rect` shrunk by
// `margin` on each side; relative makes it relative to rect's top left.
// An aspect below 1 gives the shrunk rectangle.
RECT GetAspectFitRect(std::int32_t aspectW, std::int32_t aspectH, const RECT& rect, bool relative, std::int32_t margin);
