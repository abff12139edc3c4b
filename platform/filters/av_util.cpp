#include "platform/filters/av_util.h"

extern "C" {
#include <libavcodec/dv_profile.h>
}

#include <algorithm>
#include <array>
#include <iterator>

namespace av {

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
