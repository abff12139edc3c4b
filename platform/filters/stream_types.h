#pragma once
// Media types of demuxed streams, and the way back from a media type to the
// codec that decodes it. The two directions share one set of rules, so a
// decoder takes every type a splitter produces.

#include "platform/graph/formats.h"
#include "platform/graph/media_type.h"

extern "C" {
struct AVStream;
struct AVCodecParameters;
}

#include <cstdint>

// Text subtitles, as UTF-8 samples.
constexpr GUID MEDIASUBTYPE_UTF8 = "{87C0B230-03A8-4FDF-8010-B27A5848200D}"_guid;

// Codecs that have neither a FourCC nor a wave format tag are carried under a
// subtype of our own that holds the codec id in its first field.
GUID codecSubtype(int codecId);

// The media type a stream is delivered with. The major type stays null for
// a stream that no pin carries (data streams, picture subtitles).
// `frameDuration` is the stream's frame duration in 100-ns units, 0 when
// unknown.
AM_MEDIA_TYPE mediaTypeOf(const AVStream* stream, std::int64_t frameDuration);

// Fills `par` (codec id, size or sound format, extra data) from a video or
// audio media type; false when no FFmpeg decoder is named by it.
bool codecParametersOf(const AM_MEDIA_TYPE& type, AVCodecParameters* par);

// The largest buffer a filter here asks for.
constexpr LONG kMaxSampleBytes = LONG{256} << 20;

// The bytes of a picture `width` by `height` with `bytesPerPixel` bytes to
// a pixel, computed without overflow; 0 when a side is not positive or the
// picture is beyond what the filters take (a side over 16384 pixels, or
// more than kMaxSampleBytes).
LONG pictureBytes(std::int64_t width, std::int64_t height, int bytesPerPixel);

// The bitmap header of any video format block, or null.
const BITMAPINFOHEADER* bitmapHeaderOf(const AM_MEDIA_TYPE& type);

// The frame duration of a video media type, 0 when it has none.
std::int64_t frameDurationOf(const AM_MEDIA_TYPE& type);
