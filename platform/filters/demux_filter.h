#pragma once
// The FFmpeg demuxer filter. One class serves every splitter and source
// class id; what differs between them is described by a DemuxClass:
//
// - a splitter has an input pin that reads a byte stream from the file
//   source and refuses the connection when the content is not its own;
// - a source loads a file by name (IFileSourceFilter) itself.
//
// Output pins are made once the container is open: a splitter has one pin
// per stream, a source one pin per kind (video, audio, subtitles) whose
// stream IAMStreamSelect chooses. Every connected pin runs its own
// streaming thread; the threads share the container, and each queues the
// packets it reads for the others.
//
// Seeking (IMediaSeeking, media time) is frame-accurate: the container is
// moved to the keyframe at or before the target, and packets go out with
// times relative to the segment, for the decoder to drop what ends before
// it; those whose own time (not one carried on from the packets before)
// ends before it are marked as preroll.

#include "platform/graph/source.h"

#include <span>
#include <string_view>

struct DemuxClass
{
    CLSID classId;
    const char16_t* name;
    // Byte-stream subtypes the input pin takes; empty for a source.
    std::span<const GUID> inputSubtypes;
    // FFmpeg container names the class reads; empty for any.
    std::span<const std::string_view> formats;
};

ComPtr<IBaseFilter> createDemuxFilter(const DemuxClass& kind);
