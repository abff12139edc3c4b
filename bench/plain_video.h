#pragma once
// FFmpeg alone, as the benchmarks' floor: a clip's video stream and a decoder
// with the graph's threads, converting pictures to RGB32 as the graph does;
// and the least FFmpeg does for an exact seek.

#include "platform/filters/av_util.h"
#include "tests/media/clip_reader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <QFile>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <vector>

namespace bench {

struct FormatClose
{
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};

inline int64_t bestTs(const AVPacket* p)
{
    return p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
}

// FFmpeg alone: the file and a decoder for its video stream, the only
// stream it reads, as the graph reads only the streams it renders. Counts
// the packets it hands the decoder and the pictures it gets back.
struct PlainVideo
{
    std::unique_ptr<AVFormatContext, FormatClose> format;
    const AVCodec* decoder = nullptr;
    AVCodecContext* codec = nullptr;
    int stream = -1;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* scale = nullptr;
    // Not zeroed: every picture is written whole, as the graph's buffers.
    std::unique_ptr<uint8_t[]> picture;
    int64_t sent = 0;
    int64_t decoded = 0;

    // The container, opened and probed as any player opens a file, with
    // the least work: DV tells its pixel layout by its header, so that the
    // stream information needs no frame decoded. openCodec makes the
    // decoder.
    explicit PlainVideo(const char* clip)
    {
        AVFormatContext* f = nullptr;
        avformat_open_input(&f, QFile::encodeName(clips::path(QString::fromUtf8(clip))).constData(), nullptr, nullptr);
        format.reset(f);
        av::describeDVFromHeader(f);
        avformat_find_stream_info(f, nullptr);
        stream = av_find_best_stream(f, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
        for (unsigned i = 0; i < f->nb_streams; ++i)
            f->streams[i]->discard = static_cast<int>(i) == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    ~PlainVideo()
    {
        sws_freeContext(scale);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
    }
    PlainVideo(const PlainVideo&) = delete;
    PlainVideo& operator=(const PlainVideo&) = delete;

    void openCodec()
    {
        codec = avcodec_alloc_context3(decoder);
        avcodec_parameters_to_context(codec, format->streams[stream]->codecpar);
        // Threads as the graph's decoder has them.
        codec->thread_count = 0;
        codec->thread_type = FF_THREAD_SLICE;
        av::openCodec(codec, decoder);
        picture.reset(new uint8_t[static_cast<std::size_t>(codec->width) * codec->height * 4]);
    }

    // The frame number in the barcode of the last picture converted.
    int shown() const
    {
        return codec ? clips::readBarcode(picture.get(), codec->width, codec->height, qsizetype{codec->width} * 4) : -2;
    }

    void toRgb()
    {
        scale =
            sws_getCachedContext(scale, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                 frame->width, frame->height, AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr);
        uint8_t* planes[4] = {picture.get()};
        int strides[4] = {frame->width * 4};
        sws_scale(scale, frame->data, frame->linesize, 0, frame->height, planes, strides);
    }

    // How decodeUntil ended.
    enum class Reached { target, end, laterKeyframe };

    // Decodes from the keyframe at `from` (stream time base; packets before
    // it are read and dropped) on until a picture at or after `until`, which
    // is converted; earlier pictures are converted when `showAll`, as a
    // graph playing shows them, and else only decoded, as a graph seeking
    // drops them, and those that no other picture refers to are not decoded
    // at all when their packet's own time is before `until`. False at the
    // end.
    bool decodeUntil(int64_t from, int64_t until, bool showAll)
    {
        return decodeFrom(from, until, showAll, false) == Reached::target;
    }

    // As decodeUntil; when `exactly`, decoding starts at the keyframe at
    // `from` itself, and a later keyframe met first ends it (the container
    // landed past the keyframe).
    Reached decodeFrom(int64_t from, int64_t until, bool showAll, bool exactly)
    {
        bool started = false;
        for (;;) {
            while (avcodec_receive_frame(codec, frame) == 0) {
                ++decoded;
                const int64_t t = frame->best_effort_timestamp;
                if (showAll || t >= until)
                    toRgb();
                if (t >= until)
                    return Reached::target;
            }
            if (av_read_frame(format.get(), packet) < 0) {
                avcodec_send_packet(codec, nullptr);
                while (avcodec_receive_frame(codec, frame) == 0) {
                    ++decoded;
                    toRgb();
                }
                return Reached::end;
            }
            if (packet->stream_index == stream) {
                const bool key = (packet->flags & AV_PKT_FLAG_KEY) && bestTs(packet) >= from;
                if (!started && key && exactly && bestTs(packet) != from) {
                    av_packet_unref(packet);
                    return Reached::laterKeyframe;
                }
                started = started || key;
                if (started) {
                    ++sent;
                    codec->skip_frame = !showAll && packet->pts != AV_NOPTS_VALUE && packet->pts < until
                                            ? AVDISCARD_NONREF
                                            : AVDISCARD_DEFAULT;
                    avcodec_send_packet(codec, packet);
                }
            }
            av_packet_unref(packet);
        }
    }

    // The next picture after the one decoded last, decoded and converted,
    // as a player standing on a frame shows the next one. False at the end.
    bool decodeNext()
    {
        for (;;) {
            if (avcodec_receive_frame(codec, frame) == 0) {
                ++decoded;
                toRgb();
                return true;
            }
            if (av_read_frame(format.get(), packet) < 0) {
                avcodec_send_packet(codec, nullptr);
                if (avcodec_receive_frame(codec, frame) != 0)
                    return false;
                ++decoded;
                toRgb();
                return true;
            }
            if (packet->stream_index == stream) {
                ++sent;
                codec->skip_frame = AVDISCARD_DEFAULT;
                avcodec_send_packet(codec, packet);
            }
            av_packet_unref(packet);
        }
    }
};

// The least FFmpeg does for an exact seek: told exactly where the keyframe
// before the target is, it goes there (by its byte in program and transport
// streams, else by its time) and decodes from it to the target, dropping
// whatever the container read before that keyframe.
class SeekFloor
{
public:
    // Positions count in 100-ns units from the first frame.
    explicit SeekFloor(const char* clip) : plain_(clip)
    {
        const AVStream* s = plain_.format->streams[plain_.stream];
        first_ = s->start_time == AV_NOPTS_VALUE ? 0 : s->start_time;
        while (av_read_frame(plain_.format.get(), plain_.packet) >= 0) {
            if (plain_.packet->stream_index == plain_.stream && (plain_.packet->flags & AV_PKT_FLAG_KEY))
                keyframes_.push_back({bestTs(plain_.packet), plain_.packet->pos});
            av_packet_unref(plain_.packet);
        }
        plain_.openCodec();
    }

    // Program and transport streams are entered at the keyframe's byte;
    // where the container reads on from there past that keyframe (its
    // packet began in the bytes before), it is entered again by time, as
    // any player backs off, so that the floor never shows a later picture.
    void seek(int64_t position)
    {
        const int64_t target = toStream(position);
        const Keyframe& key = keyframeBefore(target);
        const bool byByte = (plain_.format->iformat->flags & AVFMT_TS_DISCONT) &&
                            av_seek_frame(plain_.format.get(), -1, key.pos, AVSEEK_FLAG_BYTE) >= 0;
        if (!byByte)
            av_seek_frame(plain_.format.get(), plain_.stream, key.ts, AVSEEK_FLAG_BACKWARD);
        avcodec_flush_buffers(plain_.codec);
        if (plain_.decodeFrom(key.ts, target, false, byByte) != PlainVideo::Reached::laterKeyframe)
            return;
        ++missed_;
        av_seek_frame(plain_.format.get(), plain_.stream, key.ts, AVSEEK_FLAG_BACKWARD);
        avcodec_flush_buffers(plain_.codec);
        plain_.decodeUntil(key.ts, target, false);
    }

    // Standing where the last seek or step left it: the next picture.
    void next() { plain_.decodeNext(); }

    // The frame number in the barcode of the floor's last picture.
    int shown() const { return plain_.shown(); }
    // Byte seeks that landed past their keyframe, so far.
    int64_t missed() const { return missed_; }

    // Whether the picture at `position` is a keyframe.
    bool isKeyframe(int64_t position) const { return keyframeBefore(toStream(position)).ts == toStream(position); }

    // Packets handed to the decoder, and pictures decoded, so far.
    int64_t sent() const { return plain_.sent; }
    int64_t decoded() const { return plain_.decoded; }

private:
    struct Keyframe
    {
        int64_t ts;
        int64_t pos;
    };

    int64_t toStream(int64_t position) const
    {
        return first_ + av_rescale_q(position, {1, 10'000'000}, plain_.format->streams[plain_.stream]->time_base);
    }
    const Keyframe& keyframeBefore(int64_t target) const
    {
        const auto after = std::upper_bound(keyframes_.begin(), keyframes_.end(), target,
                                            [](int64_t t, const Keyframe& k) { return t < k.ts; });
        return after == keyframes_.begin() ? keyframes_.front() : *std::prev(after);
    }

    PlainVideo plain_;
    int64_t first_ = 0;
    int64_t missed_ = 0;
    std::vector<Keyframe> keyframes_;
};

} // namespace bench
