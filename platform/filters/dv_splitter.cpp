#include "platform/filters/dv_splitter.h"

#include "platform/filters/av_util.h"
#include "platform/graph/base_filter.h"
#include "platform/graph/formats.h"
#include "platform/graph/forwarding_pin.h"
#include "platform/graph/media_guids.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr LONG kFrameSize625 = 144'000;
constexpr LONG kFrameSize525 = 120'000;

struct DVFormat
{
    bool system525 = false;
    int sampleRate = 48000;
};

// The line system and sample rate that the DVINFO block announces; the
// usual 625/50 and 48 kHz without one.
DVFormat formatOf(const AM_MEDIA_TYPE& type)
{
    DVFormat format;
    const auto* info = type.formattype == FORMAT_DvInfo ? type.formatAs<DVINFO>() : nullptr;
    if (!info)
        return format;
    // Byte 3 of the video source pack holds the 50/60 flag, byte 4 of the
    // audio source pack the sampling frequency.
    if (info->dwDVVAuxSrc != 0)
        format.system525 = ((info->dwDVVAuxSrc >> 16) & 0x20) == 0;
    if (info->dwDVAAuxSrc != 0) {
        static constexpr int rates[] = {48000, 44100, 32000};
        const unsigned smp = (info->dwDVAAuxSrc >> 27) & 7;
        if (smp < 3)
            format.sampleRate = rates[smp];
    }
    return format;
}

AM_MEDIA_TYPE videoTypeOf(const DVFormat& format)
{
    AM_MEDIA_TYPE type;
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_dvsd;
    type.formattype = FORMAT_VideoInfo;
    type.bFixedSizeSamples = TRUE;
    type.bTemporalCompression = FALSE;
    type.lSampleSize = static_cast<ULONG>(format.system525 ? kFrameSize525 : kFrameSize625);
    auto* vih = type.allocFormat<VIDEOINFOHEADER>();
    const LONG height = format.system525 ? 480 : 576;
    vih->rcSource = {0, 0, 720, height};
    vih->rcTarget = vih->rcSource;
    vih->AvgTimePerFrame = format.system525 ? 333'667 : 400'000;
    vih->dwBitRate = static_cast<DWORD>(static_cast<int64_t>(type.lSampleSize) * 8 * 10'000'000 / vih->AvgTimePerFrame);
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = 720;
    vih->bmiHeader.biHeight = height;
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = 24;
    vih->bmiHeader.biCompression = makeFourCC('d', 'v', 's', 'd');
    vih->bmiHeader.biSizeImage = type.lSampleSize;
    return type;
}

AM_MEDIA_TYPE audioTypeOf(const DVFormat& format)
{
    return pcmAudioType(2, static_cast<DWORD>(format.sampleRate));
}

// The sound of DV frames, taken out by FFmpeg's DV reader, one frame at a
// time: each frame is read through an I/O context of its own.
class DVAudioReader
{
public:
    ~DVAudioReader() { reset(); }

    void reset()
    {
        avformat_close_input(&format_);
        freeIo();
    }

    // The 16-bit interleaved PCM of one frame (empty when it has none).
    const std::vector<BYTE>& read(const BYTE* frame, std::size_t size)
    {
        pcm_.clear();
        data_ = frame;
        size_ = size;
        pos_ = 0;
        freeIo();
        auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBuffer));
        io_ = buffer ? avio_alloc_context(buffer, kIoBuffer, 0, this, readCallback, nullptr, seekCallback) : nullptr;
        if (!io_) {
            av_free(buffer);
            return pcm_;
        }
        if (!format_) {
            format_ = avformat_alloc_context();
            if (!format_)
                return pcm_;
            format_->pb = io_;
            format_->flags |= AVFMT_FLAG_CUSTOM_IO;
            if (avformat_open_input(&format_, "", av_find_input_format("dv"), nullptr) < 0)
                return pcm_; // format_ is freed by the failed open
        }
        format_->pb = io_;
        av::PacketPtr packet = av::makePacket();
        while (packet && av_read_frame(format_, packet.get()) >= 0) {
            const AVStream* s = format_->streams[packet->stream_index];
            if (s->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && s->codecpar->ch_layout.nb_channels == 2 &&
                audioStream(packet->stream_index))
                pcm_.insert(pcm_.end(), packet->data, packet->data + packet->size);
            av_packet_unref(packet.get());
        }
        return pcm_;
    }

private:
    static constexpr int kIoBuffer = 16 * 1024;

    // The first stereo stream carries the sound handed on.
    bool audioStream(int index) const
    {
        for (unsigned i = 0; i < format_->nb_streams; ++i) {
            const AVCodecParameters* par = format_->streams[i]->codecpar;
            if (par->codec_type == AVMEDIA_TYPE_AUDIO && par->ch_layout.nb_channels == 2)
                return static_cast<int>(i) == index;
        }
        return false;
    }

    void freeIo()
    {
        if (io_) {
            av_freep(&io_->buffer);
            avio_context_free(&io_);
        }
    }

    static int readCallback(void* opaque, uint8_t* buffer, int size)
    {
        auto* self = static_cast<DVAudioReader*>(opaque);
        const std::size_t n = std::min(static_cast<std::size_t>(size), self->size_ - self->pos_);
        if (n == 0)
            return AVERROR_EOF;
        std::memcpy(buffer, self->data_ + self->pos_, n);
        self->pos_ += n;
        return static_cast<int>(n);
    }

    static int64_t seekCallback(void* opaque, int64_t offset, int whence)
    {
        auto* self = static_cast<DVAudioReader*>(opaque);
        const auto size = static_cast<int64_t>(self->size_);
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return size;
        case SEEK_CUR:
            offset += static_cast<int64_t>(self->pos_);
            break;
        case SEEK_END:
            offset += size;
            break;
        case SEEK_SET:
            break;
        default:
            return AVERROR(EINVAL);
        }
        if (offset < 0 || offset > size)
            return AVERROR(EINVAL);
        self->pos_ = static_cast<std::size_t>(offset);
        return offset;
    }

    AVFormatContext* format_ = nullptr;
    AVIOContext* io_ = nullptr;
    const BYTE* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t pos_ = 0;
    std::vector<BYTE> pcm_;
};

class DVSplitter;

class DVOutputPin final : public BaseOutputPin
{
public:
    DVOutputPin(BaseFilter* filter, std::u16string name) : BaseOutputPin(filter, std::move(name)) {}

    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override
    {
        return type->majortype == offer.majortype && type->subtype == offer.subtype &&
                       type->formattype == offer.formattype && (type->format.empty() || type->format == offer.format)
                   ? S_OK
                   : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type) override
    {
        if (position < 0)
            return E_INVALIDARG;
        if (position > 0 || offer.majortype.isNull())
            return VFW_S_NO_MORE_ITEMS;
        *type = offer;
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override
    {
        request->cBuffers = std::max<LONG>(request->cBuffers, 4);
        request->cbBuffer = std::max<LONG>(request->cbBuffer, bufferSize);
        ALLOCATOR_PROPERTIES actual;
        const HRESULT hr = allocator->SetProperties(request, &actual);
        return FAILED(hr) ? hr : actual.cbBuffer < bufferSize ? E_FAIL : S_OK;
    }

    // Sends one buffer with the input's times and flags. With `whole`, the
    // buffer is all of the input: when that shows a packet, the packet goes
    // on in place of a copy.
    HRESULT send(const BYTE* data, std::size_t size, IMediaSample* in, bool whole = false)
    {
        if (!isConnected() || size == 0)
            return S_OK;
        ComPtr<IMediaSample> out;
        HRESULT hr = GetDeliveryBuffer(out.put(), nullptr, nullptr, 0);
        if (FAILED(hr))
            return S_FALSE;
        MediaSample* own = MediaSample::of(out.get());
        const MediaSample* source = MediaSample::of(in);
        const AVPacket* packet = whole && own && source ? av::lentPacketOf(in) : nullptr;
        if (packet) {
            own->lend(source->lent(), packet->data, packet->size);
        } else {
            if (static_cast<LONG>(size) > out->GetSize())
                return VFW_E_BUFFER_OVERFLOW;
            BYTE* target = nullptr;
            out->GetPointer(&target);
            std::memcpy(target, data, size);
        }
        out->SetActualDataLength(static_cast<LONG>(size));
        REFERENCE_TIME start = 0, stop = 0;
        hr = in->GetTime(&start, &stop);
        if (hr == S_OK)
            out->SetTime(&start, &stop);
        else if (hr == VFW_S_NO_STOP_TIME)
            out->SetTime(&start, nullptr);
        out->SetSyncPoint(TRUE);
        out->SetPreroll(in->IsPreroll() == S_OK);
        out->SetDiscontinuity(in->IsDiscontinuity() == S_OK);
        return Deliver(out.get());
    }

    AM_MEDIA_TYPE offer;
    LONG bufferSize = 0;
};

class DVSplitter final : public BaseFilter
{
public:
    DVSplitter()
        : BaseFilter(CLSID_DVSplitter, u"DV Splitter"), input_(std::make_unique<ForwardingInputPin<DVSplitter>>(this)),
          video_(std::make_unique<DVOutputPin>(this, u"DVVidOut0")),
          audio_(std::make_unique<DVOutputPin>(this, u"AudOut00"))
    {
    }

    int GetPinCount() override { return 3; }
    BasePin* GetPin(int index) override
    {
        switch (index) {
        case 0:
            return input_.get();
        case 1:
            return video_.get();
        case 2:
            return audio_.get();
        default:
            return nullptr;
        }
    }

    void setFormat(const DVFormat& format)
    {
        video_->offer = videoTypeOf(format);
        video_->bufferSize = static_cast<LONG>(video_->offer.lSampleSize);
        audio_->offer = audioTypeOf(format);
        // A frame's sound: at most 1,620 samples of 48 kHz at 29.97 Hz,
        // 1,920 at 25 Hz, with room for the per-frame variation.
        audio_->bufferSize = format.sampleRate / 20 * 4;
        sound_.reset();
    }

private:
    friend ForwardingInputPin<DVSplitter>;

    HRESULT checkInput(const AM_MEDIA_TYPE* type)
    {
        return type->majortype == MEDIATYPE_Interleaved &&
                       (type->subtype == MEDIASUBTYPE_dvsd || type->subtype == MEDIASUBTYPE_dv25)
                   ? S_OK
                   : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT setInputType(const AM_MEDIA_TYPE* type)
    {
        setFormat(formatOf(*type));
        return S_OK;
    }
    HRESULT endOfStream()
    {
        return toOutputs([](DVOutputPin* pin) { return pin->DeliverEndOfStream(); });
    }
    HRESULT beginFlush()
    {
        return toOutputs([](DVOutputPin* pin) { return pin->DeliverBeginFlush(); });
    }
    HRESULT endFlush()
    {
        return toOutputs([](DVOutputPin* pin) { return pin->DeliverEndFlush(); });
    }
    HRESULT newSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
    {
        return toOutputs([&](DVOutputPin* pin) { return pin->DeliverNewSegment(start, stop, rate); });
    }

    HRESULT receive(IMediaSample* sample)
    {
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        const LONG length = sample->GetActualDataLength();
        // Only whole frames go on: a short or odd buffer is not a frame.
        if (!data || (length != kFrameSize625 && length != kFrameSize525))
            return S_OK;
        HRESULT hr = video_->send(data, static_cast<std::size_t>(length), sample, true);
        if (hr != S_OK)
            return hr;
        if (!audio_->isConnected())
            return S_OK;
        const std::vector<BYTE>& pcm = sound_.read(data, static_cast<std::size_t>(length));
        return audio_->send(pcm.data(), pcm.size(), sample);
    }

    template <typename Call> HRESULT toOutputs(Call call)
    {
        HRESULT result = S_OK;
        for (DVOutputPin* pin : {video_.get(), audio_.get()}) {
            if (pin->isConnected()) {
                const HRESULT hr = call(pin);
                if (FAILED(hr))
                    result = hr;
            }
        }
        return result;
    }

    ~DVSplitter() override = default;

    std::unique_ptr<ForwardingInputPin<DVSplitter>> input_;
    std::unique_ptr<DVOutputPin> video_;
    std::unique_ptr<DVOutputPin> audio_;
    DVAudioReader sound_;
};

} // namespace

ComPtr<IBaseFilter> createDVSplitter()
{
    return makeCom<DVSplitter>();
}
