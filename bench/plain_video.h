#pragma once
// FFmpeg alone, as the benchmarks' floor: a clip's video stream and a decoder
// with the graph's threads, converting pictures to RGB32 as the graph does.

#include "tests/media/clip_reader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <QFile>

#include <cstdint>
#include <memory>
#include <vector>

namespace bench {

struct FormatClose
{
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};

// FFmpeg alone: the file and a decoder for its video stream, the only
// stream it reads, as the graph reads only the streams it renders.
struct PlainVideo
{
    std::unique_ptr<AVFormatContext, FormatClose> format;
    const AVCodec* decoder = nullptr;
    AVCodecContext* codec = nullptr;
    int stream = -1;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* scale = nullptr;
    std::vector<uint8_t> picture;

    // The container only; openCodec makes the decoder.
    explicit PlainVideo(const char* clip)
    {
        AVFormatContext* f = nullptr;
        avformat_open_input(&f, QFile::encodeName(clips::path(QString::fromUtf8(clip))).constData(), nullptr, nullptr);
        format.reset(f);
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

    void openCodec()
    {
        codec = avcodec_alloc_context3(decoder);
        avcodec_parameters_to_context(codec, format->streams[stream]->codecpar);
        // Threads as the graph's decoder has them.
        codec->thread_count = 0;
        codec->thread_type = FF_THREAD_SLICE;
        avcodec_open2(codec, decoder, nullptr);
        picture.resize(static_cast<std::size_t>(codec->width) * codec->height * 4);
    }

    void toRgb()
    {
        scale =
            sws_getCachedContext(scale, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                 frame->width, frame->height, AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr);
        uint8_t* planes[4] = {picture.data()};
        int strides[4] = {frame->width * 4};
        sws_scale(scale, frame->data, frame->linesize, 0, frame->height, planes, strides);
    }
};

} // namespace bench
