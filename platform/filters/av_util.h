#pragma once
// Small helpers around the FFmpeg libraries: owners of their objects, result
// codes, and the conversion of stream times to 100-ns units.

#include "platform/core/hresult.h"
#include "platform/core/types.h"
#include "platform/graph/sample.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

#include <memory>

namespace av {

struct PacketFree
{
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFree
{
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct CodecFree
{
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFree>;

inline PacketPtr makePacket()
{
    return PacketPtr(av_packet_alloc());
}

// A packet whose bytes samples show in place of a copy.
struct LentPacket final : LentBuffer
{
    explicit LentPacket(PacketPtr p) : packet(std::move(p)) {}
    PacketPtr packet;
};

// The packet whose bytes `sample` shows, all of them; null when it shows
// other bytes.
inline const AVPacket* lentPacketOf(IMediaSample* sample)
{
    const MediaSample* own = MediaSample::of(sample);
    const auto* lent = own ? dynamic_cast<const LentPacket*>(own->lent().get()) : nullptr;
    BYTE* data = nullptr;
    if (!lent || !lent->packet->buf || FAILED(sample->GetPointer(&data)) || data != lent->packet->data ||
        sample->GetActualDataLength() != lent->packet->size)
        return nullptr;
    return lent->packet.get();
}
inline FramePtr makeFrame()
{
    return FramePtr(av_frame_alloc());
}

// 100-ns units, the unit of media positions.
inline constexpr AVRational kRefTime{1, 10'000'000};

inline REFERENCE_TIME toRefTime(int64_t ts, AVRational base)
{
    return av_rescale_q(ts, base, kRefTime);
}
inline int64_t fromRefTime(REFERENCE_TIME t, AVRational base)
{
    return av_rescale_q(t, kRefTime, base);
}

// The result code for an FFmpeg error.
HRESULT toHResult(int averror);

// Reads the size and pixel layout of an opened container's DV streams from
// the header of their first frame, so that finding the stream information
// needs no frame decoded. The container reads on from where it stood.
void describeDVFromHeader(AVFormatContext* format);

// avcodec_open2 without options, with the codec's worker threads started as
// batch threads: a worker woken to decode its share of a picture then never
// takes the processor from the thread that wakes it. Otherwise the scheduler
// often puts the first worker on the waking thread's own core and runs it
// there at once, and the waking thread waits for that core, with the slices
// it would decode and the other workers not yet woken, while the other core
// idles. The calling thread keeps its own policy.
int openCodec(AVCodecContext* context, const AVCodec* codec);

} // namespace av
