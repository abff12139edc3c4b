#pragma once
// The decoders: compressed video to RGB32 pictures (top-down rows of B, G,
// R, X bytes) in display order, compressed or odd sound to 16-bit PCM with at
// most two channels. Both take every type the splitters produce and keep
// the sample times; what lies before the segment start (preroll after a
// seek) is decoded and dropped. Pictures of the preroll that no other
// picture refers to (B-frames, non-reference frames) are not even decoded
// when their own time says they end before the segment start. A stream that
// stops decoding ends there and is reported to the graph
// (EC_STREAM_ERROR_STOPPED).

#include "platform/graph/interfaces.h"

constexpr CLSID CLSID_KestrovaVideoDecoder = "{6A1F3C52-93D1-4E0B-8C41-2B7D5E90A101}"_guid;
constexpr CLSID CLSID_KestrovaAudioDecoder = "{6A1F3C52-93D1-4E0B-8C41-2B7D5E90A102}"_guid;

// What a decoder has decoded since it was made.
struct IDecoderCounts : IUnknown
{
    static constexpr GUID iid = "{6A1F3C52-93D1-4E0B-8C41-2B7D5E90A1C0}"_guid;
    // The pictures (or blocks of sound) the codec gave, shown or dropped.
    virtual LONGLONG FramesDecoded() = 0;
    // The samples handed in: the packets of the stream.
    virtual LONGLONG SamplesReceived() = 0;
};

ComPtr<IBaseFilter> createVideoDecoder();
ComPtr<IBaseFilter> createAudioDecoder();
