// Arbitrary bytes as a file: the splitters' container reader opens them (or
// refuses them), names their streams' media types, reads them and seeks.

#include "platform/filters/demuxer.h"
#include "platform/filters/stream_types.h"

#include <cstring>

namespace {

class MemoryReader final : public ComObject<IAsyncReader>
{
public:
    MemoryReader(const uint8_t* data, size_t size) : data_(data), size_(static_cast<LONGLONG>(size)) {}

    HRESULT SyncRead(LONGLONG position, LONG length, BYTE* buffer, LONG* read) override
    {
        *read = 0;
        if (position < 0 || length < 0)
            return E_INVALIDARG;
        const LONGLONG n = std::min<LONGLONG>(length, std::max<LONGLONG>(size_ - position, 0));
        if (n > 0)
            std::memcpy(buffer, data_ + position, static_cast<size_t>(n));
        *read = static_cast<LONG>(n);
        return n == length ? S_OK : S_FALSE;
    }
    HRESULT Length(LONGLONG* total, LONGLONG* available) override
    {
        if (total)
            *total = size_;
        if (available)
            *available = size_;
        return S_OK;
    }

private:
    const uint8_t* data_;
    const LONGLONG size_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    av_log_set_level(AV_LOG_QUIET);
    const auto reader = makeCom<MemoryReader>(data, size);
    streamSubtypeOf(reader.get());
    HRESULT hr = S_OK;
    const auto demuxer = Demuxer::open(reader, &hr);
    if (!demuxer)
        return 0;
    for (int i = 0; i < demuxer->streamCount(); ++i) {
        const AM_MEDIA_TYPE type = mediaTypeOf(demuxer->stream(i), demuxer->frameDuration(i));
        AVCodecParameters* par = avcodec_parameters_alloc();
        codecParametersOf(type, par);
        avcodec_parameters_free(&par);
    }
    DemuxedPacket packet;
    for (int n = 0; n < 256 && demuxer->read(packet); ++n) {
    }
    demuxer->seek(demuxer->duration() / 2);
    for (int n = 0; n < 64 && demuxer->read(packet); ++n) {
    }
    return 0;
}
