#include "tests/media/clip_reader.h"

#include <QFile>
#include <QtEndian>

#include <cstdlib>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace clips {

namespace {

constexpr int kBits = 12;
constexpr int kCells = 2 * kBits;
// Two neighbouring cells must differ at least this much in luma.
constexpr int kMinContrast = 64;

struct FormatCloser
{
    void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};
struct CodecFreer
{
    void operator()(AVCodecContext* ctx) const { avcodec_free_context(&ctx); }
};
struct FrameFreer
{
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFreer
{
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScaleFreer
{
    void operator()(SwsContext* ctx) const { sws_freeContext(ctx); }
};

using Format = std::unique_ptr<AVFormatContext, FormatCloser>;

// Opens the file and finds its first video stream (-1 when it has none).
Format open(const QString& file, int& stream)
{
    AVFormatContext* raw = nullptr;
    stream = -1;
    if (avformat_open_input(&raw, QFile::encodeName(file).constData(), nullptr, nullptr) < 0)
        return nullptr;
    Format ctx(raw);
    if (avformat_find_stream_info(ctx.get(), nullptr) < 0)
        return nullptr;
    stream = av_find_best_stream(ctx.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    return ctx;
}

// Mean luma of the rectangle [x0, x1) x [y0, y1).
int meanLuma(const uchar* pixels, qsizetype stride, int x0, int x1, int y0, int y1)
{
    long long sum = 0;
    long long n = 0;
    for (int y = y0; y < y1; ++y) {
        const uchar* row = pixels + y * stride;
        for (int x = x0; x < x1; ++x) {
            const uchar* p = row + 4 * x;
            sum += (114 * p[0] + 587 * p[1] + 299 * p[2]) / 1000;
            ++n;
        }
    }
    return n ? static_cast<int>(sum / n) : 0;
}

} // namespace

QString path(const QString& name)
{
    return QStringLiteral(KESTROVA_CLIPS_DIR "/") + name;
}

int readBarcode(const uchar* pixels, int width, int height, qsizetype stride)
{
    if (!pixels || width < kCells * 2 || height < 32)
        return -1;
    // The middle half of the band and of each cell, clear of blurred edges.
    const int y0 = height * 13 / 16 + height / 32;
    const int y1 = height * 15 / 16 - height / 32;
    auto cell = [&](int c) {
        const int x0 = width * c / kCells;
        const int x1 = width * (c + 1) / kCells;
        const int quarter = (x1 - x0) / 4;
        return meanLuma(pixels, stride, x0 + quarter, x1 - quarter, y0, y1);
    };
    int number = 0;
    for (int bit = 0; bit < kBits; ++bit) {
        const int first = cell(2 * bit);
        const int second = cell(2 * bit + 1);
        if (std::abs(first - second) < kMinContrast)
            return -1;
        number = number * 2 + (first < second ? 1 : 0);
    }
    return number;
}

int readBarcode(const QImage& image)
{
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32)
        return readBarcode(image.convertToFormat(QImage::Format_RGB32));
    return readBarcode(image.constBits(), image.width(), image.height(), image.bytesPerLine());
}

int readBarcodeFromDib(const uchar* dib)
{
    // The header's size, width and height, little-endian, at its start.
    const auto field = [dib](int offset) { return qFromLittleEndian<qint32>(dib + offset); };
    const qint32 headerSize = field(0), width = field(4), height = field(8);
    if (width <= 0 || height <= 0)
        return -1;
    const QImage image(dib + headerSize, width, height, qsizetype(width) * 4, QImage::Format_RGB32);
    return readBarcode(image.mirrored());
}

std::vector<QByteArray> videoPackets(const QString& file, int count)
{
    std::vector<QByteArray> packets;
    int stream = -1;
    const Format ctx = open(file, stream);
    if (!ctx || stream < 0)
        return packets;
    const std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    while (static_cast<int>(packets.size()) < count && av_read_frame(ctx.get(), packet.get()) >= 0) {
        if (packet->stream_index == stream)
            packets.emplace_back(reinterpret_cast<const char*>(packet->data), packet->size);
        av_packet_unref(packet.get());
    }
    return packets;
}

std::vector<QImage> decodeFrames(const QString& file, int count)
{
    std::vector<QImage> frames;
    int stream = -1;
    const Format ctx = open(file, stream);
    if (!ctx || stream < 0)
        return frames;
    const AVCodecParameters* par = ctx->streams[stream]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    const std::unique_ptr<AVCodecContext, CodecFreer> dec(avcodec_alloc_context3(codec));
    if (!codec || !dec || avcodec_parameters_to_context(dec.get(), par) < 0 ||
        avcodec_open2(dec.get(), codec, nullptr) < 0)
        return frames;
    const std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    const std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
    std::unique_ptr<SwsContext, ScaleFreer> scale;

    auto receive = [&] {
        while (static_cast<int>(frames.size()) < count && avcodec_receive_frame(dec.get(), frame.get()) >= 0) {
            QImage image(frame->width, frame->height, QImage::Format_RGB32);
            // The size may change within a clip; the context follows it.
            scale.reset(sws_getCachedContext(scale.release(), frame->width, frame->height,
                                             static_cast<AVPixelFormat>(frame->format), frame->width, frame->height,
                                             AV_PIX_FMT_BGRA, SWS_POINT, nullptr, nullptr, nullptr));
            uint8_t* dst[] = {image.bits()};
            const int dstStride[] = {static_cast<int>(image.bytesPerLine())};
            sws_scale(scale.get(), frame->data, frame->linesize, 0, frame->height, dst, dstStride);
            frames.push_back(std::move(image));
        }
    };
    while (static_cast<int>(frames.size()) < count && av_read_frame(ctx.get(), packet.get()) >= 0) {
        if (packet->stream_index == stream && avcodec_send_packet(dec.get(), packet.get()) >= 0)
            receive();
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(dec.get(), nullptr);
    receive();
    return frames;
}

} // namespace clips
