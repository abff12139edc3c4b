#include "platform/filters/av_util.h"

extern "C" {
#include <libavcodec/dv_profile.h>
}

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <array>
#include <iterator>

namespace av {

int openCodec(AVCodecContext* context, const AVCodec* codec)
{
    // Threads start with the policy of the thread that starts them. A thread
    // with a policy of its own (real time, idle) is left as it is.
    int policy = -1;
    sched_param param{};
    const bool batch = pthread_getschedparam(pthread_self(), &policy, &param) == 0 && policy == SCHED_OTHER &&
                       pthread_setschedparam(pthread_self(), SCHED_BATCH, &param) == 0;
    const int opened = avcodec_open2(context, codec, nullptr);
    if (batch)
        pthread_setschedparam(pthread_self(), SCHED_OTHER, &param);
    return opened;
}

HRESULT toHResult(int averror)
{
    if (averror >= 0)
        return S_OK;
    switch (averror) {
    case AVERROR(ENOMEM):
        return E_OUTOFMEMORY;
    case AVERROR(EINVAL):
        return E_INVALIDARG;
    case AVERROR_INVALIDDATA:
        return VFW_E_INVALIDMEDIATYPE;
    case AVERROR_DECODER_NOT_FOUND:
    case AVERROR_DEMUXER_NOT_FOUND:
        return VFW_E_UNSUPPORTED_STREAM;
    default:
        return E_FAIL;
    }
}

void describeDVFromHeader(AVFormatContext* format)
{
    // Every DV frame opens with the header block of its first sequence,
    // found at or a few bytes after (a container's chunk header) where the
    // container's index puts the frame.
    constexpr unsigned char kHeaderBlock[] = {0x1F, 0x07, 0x00};
    constexpr int kSearch = 16;
    constexpr int kHeaderBytes = 6 * 80;
    AVIOContext* pb = format->pb;
    for (unsigned i = 0; pb && i < format->nb_streams; ++i) {
        AVCodecParameters* par = format->streams[i]->codecpar;
        if (par->codec_id != AV_CODEC_ID_DVVIDEO || par->format != AV_PIX_FMT_NONE ||
            avformat_index_get_entries_count(format->streams[i]) == 0)
            continue;
        const AVIndexEntry* first = avformat_index_get_entry(format->streams[i], 0);
        std::array<unsigned char, kSearch + kHeaderBytes> bytes{};
        // The container reads on from where it stands.
        const int64_t here = avio_tell(pb);
        const int read = avio_seek(pb, first->pos, SEEK_SET) >= 0 ? avio_read(pb, bytes.data(), int(bytes.size())) : 0;
        if (avio_seek(pb, here, SEEK_SET) < 0)
            return;
        for (int at = 0; at < kSearch && at + kHeaderBytes <= read; ++at) {
            if (!std::equal(std::begin(kHeaderBlock), std::end(kHeaderBlock), bytes.begin() + at))
                continue;
            if (const AVDVProfile* profile = av_dv_frame_profile(nullptr, bytes.data() + at, kHeaderBytes)) {
                par->format = profile->pix_fmt;
                par->width = profile->width;
                par->height = profile->height;
            }
            break;
        }
    }
}

} // namespace av
