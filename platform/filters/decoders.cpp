#include "platform/filters/decoders.h"

#include "platform/filters/av_util.h"
#include "platform/filters/stream_types.h"
#include "platform/graph/formats.h"
#include "platform/graph/media_guids.h"
#include "platform/graph/source.h"
#include "platform/graph/transform.h"
#include "platform/win/messages.h"

extern "C" {
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <vector>

namespace {

// Consecutive packets that give no picture or sound and an error before
// the stream is given up.
constexpr int kMaxFailures = 64;

struct ParametersFree
{
    void operator()(AVCodecParameters* p) const { avcodec_parameters_free(&p); }
};
using ParametersPtr = std::unique_ptr<AVCodecParameters, ParametersFree>;

ParametersPtr parametersOf(const AM_MEDIA_TYPE& type)
{
    ParametersPtr par(avcodec_parameters_alloc());
    if (!par || !codecParametersOf(type, par.get()) || !avcodec_find_decoder(par->codec_id))
        return nullptr;
    return par;
}

// What the two decoders share: the codec, the packets in, the frames out,
// the drain at the end of the stream and the reset on a flush.
class Decoder : public WithInterfaces<TransformFilterBase, IDecoderCounts>
{
public:
    Decoder(const CLSID& classId, std::u16string name, const GUID& major)
        : WithInterfaces(classId, std::move(name)), major_(major)
    {
    }

    LONGLONG FramesDecoded() override { return framesDecoded_.load(std::memory_order_relaxed); }
    LONGLONG SamplesReceived() override { return samplesReceived_.load(std::memory_order_relaxed); }

    HRESULT CheckInputType(const AM_MEDIA_TYPE* type) override
    {
        return type->majortype == major_ && parametersOf(*type) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }

    HRESULT StartStreaming() override { return openCodec(input()->mediaType()); }
    HRESULT StopStreaming() override
    {
        dropHeld();
        codec_.reset();
        return S_OK;
    }

    HRESULT Receive(IMediaSample* in) override
    {
        samplesReceived_.fetch_add(1, std::memory_order_relaxed);
        if (given_up_ || !codec_)
            return S_OK;
        // Frames decoded after downstream parked the stream go first.
        parked_ = false;
        const HRESULT held = deliverHeld();
        if (held != S_OK)
            return held;
        AM_MEDIA_TYPE* changed = nullptr;
        if (in->GetMediaType(&changed) == S_OK) {
            const HRESULT hr = openCodec(*changed);
            DeleteMediaType(changed);
            if (FAILED(hr))
                return giveUp(hr);
        }
        const HRESULT done = parked_ ? S_PARKED : S_OK;
        BYTE* data = nullptr;
        in->GetPointer(&data);
        const LONG length = in->GetActualDataLength();
        if (!data || length <= 0)
            return done;
        if (const AVPacket* lent = av::lentPacketOf(in)) {
            // The demuxer's packet itself, with the sample's times only.
            if (av_packet_ref(packet_.get(), lent) < 0)
                return E_OUTOFMEMORY;
            av_packet_free_side_data(packet_.get());
            packet_->dts = AV_NOPTS_VALUE;
            packet_->flags = 0;
            packet_->pos = -1;
            packet_->time_base = av_make_q(0, 1);
        } else {
            if (av_new_packet(packet_.get(), length) < 0)
                return E_OUTOFMEMORY;
            std::memcpy(packet_->data, data, static_cast<std::size_t>(length));
        }
        REFERENCE_TIME start = 0, stop = 0;
        const HRESULT timed = in->GetTime(&start, &stop);
        packet_->pts = timed == S_OK || timed == VFW_S_NO_STOP_TIME ? start : AV_NOPTS_VALUE;
        packet_->duration = timed == S_OK ? stop - start : 0;
        if (in->IsSyncPoint() == S_OK)
            packet_->flags |= AV_PKT_FLAG_KEY;
        // The codec reads this as it meets each picture's header.
        codec_->skip_frame = packet_->pts != AV_NOPTS_VALUE && in->IsPreroll() == S_OK &&
                                     endsBeforeSegment(packet_->pts, packet_->duration)
                                 ? AVDISCARD_NONREF
                                 : AVDISCARD_DEFAULT;
        const HRESULT hr = decode(packet_.get());
        av_packet_unref(packet_.get());
        return hr;
    }

    HRESULT EndOfStream() override
    {
        // A stream given up has ended downstream already.
        if (given_up_)
            return S_OK;
        parked_ = false;
        deliverHeld();
        if (codec_) {
            decode(nullptr);
            avcodec_flush_buffers(codec_.get());
        }
        return TransformFilterBase::EndOfStream();
    }

    HRESULT EndFlush() override
    {
        dropHeld();
        if (codec_)
            avcodec_flush_buffers(codec_.get());
        given_up_ = false;
        failures_ = 0;
        discontinuity_ = true;
        resetTiming();
        return TransformFilterBase::EndFlush();
    }

protected:
    // Hands one decoded frame on: S_OK to go on, S_FALSE when downstream
    // takes no more (flushing or stopped), or an error.
    virtual HRESULT deliver(AVFrame* frame) = 0;
    virtual void resetTiming() = 0;
    // Whether what a packet starting at `start` gives is over before the
    // segment starts, so that it is dropped once decoded; then pictures
    // that no other picture needs are not decoded at all.
    virtual bool endsBeforeSegment(REFERENCE_TIME, REFERENCE_TIME) const { return false; }

    // An output buffer with the sample flags of a decoded frame.
    HRESULT outputBuffer(ComPtr<IMediaSample>& out, REFERENCE_TIME start, REFERENCE_TIME stop)
    {
        const HRESULT hr = output()->GetDeliveryBuffer(out.put(), nullptr, nullptr, 0);
        if (FAILED(hr))
            return state() == State_Stopped || input()->isFlushing() ? S_FALSE : hr;
        out->SetTime(&start, &stop);
        out->SetSyncPoint(TRUE);
        out->SetPreroll(FALSE);
        out->SetDiscontinuity(std::exchange(discontinuity_, false));
        return S_OK;
    }

    av::CodecPtr codec_;

private:
    HRESULT openCodec(const AM_MEDIA_TYPE& type)
    {
        const ParametersPtr par = parametersOf(type);
        if (!par)
            return VFW_E_TYPE_NOT_ACCEPTED;
        const AVCodec* codec = avcodec_find_decoder(par->codec_id);
        av::CodecPtr context(avcodec_alloc_context3(codec));
        if (!context || avcodec_parameters_to_context(context.get(), par.get()) < 0)
            return E_OUTOFMEMORY;
        // Sample times are the packets' times.
        context->pkt_timebase = av::kRefTime;
        context->thread_count = 0;
        // Slices, not frames: frame threads hold pictures back, and a seek or
        // a step waits for the one picture asked for.
        context->thread_type = FF_THREAD_SLICE;
        if (av::openCodec(context.get(), codec) < 0)
            return VFW_E_UNSUPPORTED_STREAM;
        codec_ = std::move(context);
        if (!packet_)
            packet_ = av::makePacket();
        if (!frame_)
            frame_ = av::makeFrame();
        given_up_ = false;
        failures_ = 0;
        discontinuity_ = true;
        resetTiming();
        return packet_ && frame_ ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT decode(const AVPacket* packet)
    {
        int sent = avcodec_send_packet(codec_.get(), packet);
        for (;;) {
            const int got = avcodec_receive_frame(codec_.get(), frame_.get());
            if (got == AVERROR(EAGAIN) && sent == AVERROR(EAGAIN)) {
                // The decoder's output is drained: now it takes the packet.
                sent = avcodec_send_packet(codec_.get(), packet);
                continue;
            }
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                break;
            if (got < 0) {
                if (++failures_ >= kMaxFailures)
                    return giveUp(av::toHResult(got));
                continue;
            }
            failures_ = 0;
            framesDecoded_.fetch_add(1, std::memory_order_relaxed);
            if (parked_) {
                // Downstream holds the stream: the packet is decoded to its
                // end all the same, and what it gives waits here.
                held_.push_back(av::makeFrame());
                if (!held_.back())
                    return E_OUTOFMEMORY;
                av_frame_move_ref(held_.back().get(), frame_.get());
                continue;
            }
            const HRESULT hr = deliver(frame_.get());
            av_frame_unref(frame_.get());
            if (hr == S_PARKED)
                parked_ = true;
            else if (hr != S_OK)
                return hr;
        }
        if (sent < 0 && sent != AVERROR_EOF && ++failures_ >= kMaxFailures)
            return giveUp(av::toHResult(sent));
        return parked_ ? S_PARKED : S_OK;
    }

    // Delivers the frames held since downstream parked the stream, until it
    // parks it again.
    HRESULT deliverHeld()
    {
        while (!held_.empty() && !parked_) {
            const av::FramePtr frame = std::move(held_.front());
            held_.pop_front();
            const HRESULT hr = deliver(frame.get());
            if (hr == S_PARKED)
                parked_ = true;
            else if (hr != S_OK)
                return hr;
        }
        return S_OK;
    }

    void dropHeld()
    {
        held_.clear();
        parked_ = false;
    }

    // The stream cannot be decoded any further: it ends here.
    HRESULT giveUp(HRESULT reason)
    {
        given_up_ = true;
        TransformFilterBase::EndOfStream();
        NotifyEvent(EC_STREAM_ERROR_STOPPED, reason, 0);
        return S_OK;
    }

    const GUID major_;
    av::PacketPtr packet_;
    av::FramePtr frame_;
    // Frames decoded while downstream held the stream parked, and whether
    // it does.
    std::deque<av::FramePtr> held_;
    bool parked_ = false;
    int failures_ = 0;
    bool given_up_ = false;
    bool discontinuity_ = true;
    std::atomic<LONGLONG> framesDecoded_{0};
    std::atomic<LONGLONG> samplesReceived_{0};
};

// --- video -------------------------------------------------------------------

struct ScaleFree
{
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};

class VideoDecoder final : public Decoder
{
public:
    VideoDecoder() : Decoder(CLSID_KestrovaVideoDecoder, u"Video Decoder", MEDIATYPE_Video) {}

    HRESULT CheckInputType(const AM_MEDIA_TYPE* type) override
    {
        // A picture larger than any buffer made here is refused as such.
        const BITMAPINFOHEADER* bmi = bitmapHeaderOf(*type);
        if (type->majortype == MEDIATYPE_Video && bmi &&
            !pictureBytes(bmi->biWidth, std::abs(static_cast<int64_t>(bmi->biHeight)), 4))
            return VFW_E_INVALIDMEDIATYPE;
        return Decoder::CheckInputType(type);
    }

    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type) override
    {
        if (position < 0)
            return E_INVALIDARG;
        if (position > 0)
            return VFW_S_NO_MORE_ITEMS;
        const AM_MEDIA_TYPE& in = input()->mediaType();
        const ParametersPtr par = parametersOf(in);
        if (!par)
            return VFW_E_TYPE_NOT_ACCEPTED;
        // The picture's shape is kept when its pixels are not square.
        DWORD aspectX = 0, aspectY = 0;
        if (in.formattype == FORMAT_VideoInfo2 || in.formattype == FORMAT_MPEG2Video) {
            if (const auto* vih2 = in.formatAs<VIDEOINFOHEADER2>()) {
                aspectX = vih2->dwPictAspectRatioX;
                aspectY = vih2->dwPictAspectRatioY;
            }
        }
        const bool square = aspectX == 0 || aspectY == 0 ||
                            static_cast<int64_t>(aspectX) * par->height == static_cast<int64_t>(aspectY) * par->width;
        type->majortype = MEDIATYPE_Video;
        type->subtype = MEDIASUBTYPE_RGB32;
        type->bFixedSizeSamples = TRUE;
        type->bTemporalCompression = FALSE;
        const LONG bytes = pictureBytes(par->width, par->height, 4);
        if (!bytes)
            return VFW_E_INVALIDMEDIATYPE;
        type->lSampleSize = static_cast<ULONG>(bytes);
        BITMAPINFOHEADER* bmi = nullptr;
        VIDEOINFOHEADER header{};
        header.rcSource = {0, 0, par->width, par->height};
        header.rcTarget = header.rcSource;
        header.AvgTimePerFrame = frameDurationOf(in);
        header.dwBitRate = static_cast<DWORD>(std::min<int64_t>(
            static_cast<int64_t>(type->lSampleSize) * 8 * 10'000'000 / std::max<int64_t>(header.AvgTimePerFrame, 1),
            UINT32_MAX));
        if (square) {
            type->formattype = FORMAT_VideoInfo;
            auto* vih = type->allocFormat<VIDEOINFOHEADER>();
            *vih = header;
            bmi = &vih->bmiHeader;
        } else {
            type->formattype = FORMAT_VideoInfo2;
            auto* vih2 = type->allocFormat<VIDEOINFOHEADER2>();
            vih2->rcSource = header.rcSource;
            vih2->rcTarget = header.rcTarget;
            vih2->dwBitRate = header.dwBitRate;
            vih2->AvgTimePerFrame = header.AvgTimePerFrame;
            vih2->dwPictAspectRatioX = aspectX;
            vih2->dwPictAspectRatioY = aspectY;
            bmi = &vih2->bmiHeader;
        }
        bmi->biSize = sizeof(BITMAPINFOHEADER);
        bmi->biWidth = par->width;
        // Rows run from the top.
        bmi->biHeight = -par->height;
        bmi->biPlanes = 1;
        bmi->biBitCount = 32;
        bmi->biCompression = BI_RGB;
        bmi->biSizeImage = type->lSampleSize;
        return S_OK;
    }

    HRESULT CheckTransform(const AM_MEDIA_TYPE*, const AM_MEDIA_TYPE* out) override
    {
        AM_MEDIA_TYPE offered;
        if (GetMediaType(0, &offered) != S_OK || out->majortype != offered.majortype || out->subtype != offered.subtype)
            return VFW_E_TYPE_NOT_ACCEPTED;
        const BITMAPINFOHEADER* want = bitmapHeaderOf(offered);
        const BITMAPINFOHEADER* got = bitmapHeaderOf(*out);
        return got && got->biWidth == want->biWidth && std::abs(got->biHeight) == std::abs(want->biHeight)
                   ? S_OK
                   : VFW_E_TYPE_NOT_ACCEPTED;
    }

    HRESULT SetMediaType(PIN_DIRECTION direction, const AM_MEDIA_TYPE* type) override
    {
        if (direction == PINDIR_OUTPUT) {
            const BITMAPINFOHEADER* bmi = bitmapHeaderOf(*type);
            width_ = bmi->biWidth;
            height_ = std::abs(bmi->biHeight);
            // A bottom-up picture is written from its last row.
            bottomUp_ = bmi->biHeight > 0;
        } else {
            frameDuration_ = frameDurationOf(*type);
        }
        return S_OK;
    }

    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override
    {
        const LONG size = pictureBytes(width_, height_, 4);
        if (!size)
            return VFW_E_INVALIDMEDIATYPE;
        request->cBuffers = std::max<LONG>(request->cBuffers, 3);
        request->cbBuffer = std::max<LONG>(request->cbBuffer, size);
        ALLOCATOR_PROPERTIES actual;
        const HRESULT hr = allocator->SetProperties(request, &actual);
        return FAILED(hr) ? hr : actual.cbBuffer < size ? E_FAIL : S_OK;
    }

private:
    void resetTiming() override { nextStart_ = 0; }

    // A picture lasts the stream's frame duration, else its packet's.
    REFERENCE_TIME endOf(REFERENCE_TIME start, REFERENCE_TIME duration) const
    {
        return start + std::max<REFERENCE_TIME>(frameDuration_ > 0 ? frameDuration_ : duration, 1);
    }

    bool endsBeforeSegment(REFERENCE_TIME start, REFERENCE_TIME duration) const override
    {
        return endOf(start, duration) <= 0;
    }

    HRESULT deliver(AVFrame* frame) override
    {
        REFERENCE_TIME start = frame->best_effort_timestamp;
        if (start == AV_NOPTS_VALUE)
            start = nextStart_;
        const REFERENCE_TIME stop = endOf(start, frame->pkt_duration);
        nextStart_ = stop;
        // Frames that end before the segment starts lead up to the target
        // of a seek: decoded, never shown.
        if (stop <= 0 || !output()->isConnected())
            return S_OK;
        ComPtr<IMediaSample> out;
        HRESULT hr = outputBuffer(out, start, stop);
        if (hr != S_OK)
            return hr;
        // A paused graph is waited for on the GUI thread: it is woken while
        // the picture is converted, not once it arrives.
        if (state() == State_Paused)
            ExpectWake();
        scale_.reset(sws_getCachedContext(scale_.release(), frame->width, frame->height,
                                          static_cast<AVPixelFormat>(frame->format), width_, height_, AV_PIX_FMT_BGRA,
                                          SWS_BICUBIC, nullptr, nullptr, nullptr));
        if (!scale_)
            return E_FAIL;
        BYTE* data = nullptr;
        out->GetPointer(&data);
        const int stride = width_ * 4;
        uint8_t* planes[4] = {bottomUp_ ? data + static_cast<std::ptrdiff_t>(height_ - 1) * stride : data};
        int strides[4] = {bottomUp_ ? -stride : stride};
        sws_scale(scale_.get(), frame->data, frame->linesize, 0, frame->height, planes, strides);
        out->SetActualDataLength(stride * height_);
        return output()->Deliver(out.get());
    }

    LONG width_ = 0;
    LONG height_ = 0;
    bool bottomUp_ = false;
    REFERENCE_TIME frameDuration_ = 0;
    REFERENCE_TIME nextStart_ = 0;
    std::unique_ptr<SwsContext, ScaleFree> scale_;
};

// --- audio -------------------------------------------------------------------

struct ResampleFree
{
    void operator()(SwrContext* s) const
    {
        SwrContext* p = s;
        swr_free(&p);
    }
};

class AudioDecoder final : public Decoder
{
public:
    AudioDecoder() : Decoder(CLSID_KestrovaAudioDecoder, u"Audio Decoder", MEDIATYPE_Audio) {}
    ~AudioDecoder() override { av_channel_layout_uninit(&inLayout_); }

    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type) override
    {
        if (position < 0)
            return E_INVALIDARG;
        if (position > 0)
            return VFW_S_NO_MORE_ITEMS;
        const ParametersPtr par = parametersOf(input()->mediaType());
        if (!par)
            return VFW_E_TYPE_NOT_ACCEPTED;
        *type = pcmAudioType(static_cast<WORD>(std::min(par->ch_layout.nb_channels, 2)),
                             static_cast<DWORD>(par->sample_rate));
        return S_OK;
    }

    HRESULT CheckTransform(const AM_MEDIA_TYPE*, const AM_MEDIA_TYPE* out) override
    {
        AM_MEDIA_TYPE offered;
        if (GetMediaType(0, &offered) != S_OK)
            return VFW_E_TYPE_NOT_ACCEPTED;
        const auto* want = offered.formatAs<WAVEFORMATEX>();
        const auto* got = out->formatAs<WAVEFORMATEX>();
        return out->majortype == MEDIATYPE_Audio && out->subtype == MEDIASUBTYPE_PCM &&
                       out->formattype == FORMAT_WaveFormatEx && got && got->wFormatTag == WAVE_FORMAT_PCM &&
                       got->wBitsPerSample == 16 && got->nChannels == want->nChannels &&
                       got->nSamplesPerSec == want->nSamplesPerSec
                   ? S_OK
                   : VFW_E_TYPE_NOT_ACCEPTED;
    }

    HRESULT SetMediaType(PIN_DIRECTION direction, const AM_MEDIA_TYPE* type) override
    {
        if (direction == PINDIR_OUTPUT) {
            const auto* wfx = type->formatAs<WAVEFORMATEX>();
            channels_ = wfx->nChannels;
            rate_ = static_cast<int>(wfx->nSamplesPerSec);
            resample_.reset();
        }
        return S_OK;
    }

    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override
    {
        // A tenth of a second per buffer.
        const LONG size = std::max<LONG>(rate_ / 10 * channels_ * 2, 4096);
        request->cBuffers = std::max<LONG>(request->cBuffers, 8);
        request->cbBuffer = std::max<LONG>(request->cbBuffer, size);
        ALLOCATOR_PROPERTIES actual;
        const HRESULT hr = allocator->SetProperties(request, &actual);
        return FAILED(hr) ? hr : actual.cbBuffer < size ? E_FAIL : S_OK;
    }

private:
    void resetTiming() override { nextStart_ = 0; }

    bool prepareResampler(AVFrame* frame)
    {
        if (resample_ && av_channel_layout_compare(&inLayout_, &frame->ch_layout) == 0 && inFormat_ == frame->format &&
            inRate_ == frame->sample_rate)
            return true;
        resample_.reset();
        AVChannelLayout outLayout;
        av_channel_layout_default(&outLayout, channels_);
        SwrContext* made = nullptr;
        if (swr_alloc_set_opts2(&made, &outLayout, AV_SAMPLE_FMT_S16, rate_, &frame->ch_layout,
                                static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr) < 0)
            return false;
        resample_.reset(made);
        if (swr_init(made) < 0) {
            resample_.reset();
            return false;
        }
        av_channel_layout_uninit(&inLayout_);
        av_channel_layout_copy(&inLayout_, &frame->ch_layout);
        inFormat_ = frame->format;
        inRate_ = frame->sample_rate;
        return true;
    }

    HRESULT deliver(AVFrame* frame) override
    {
        if (!prepareResampler(frame))
            return E_FAIL;
        REFERENCE_TIME start = frame->best_effort_timestamp;
        if (start == AV_NOPTS_VALUE)
            start = nextStart_;
        const int capacity = swr_get_out_samples(resample_.get(), frame->nb_samples);
        pcm_.resize(static_cast<std::size_t>(std::max(capacity, 0)) * static_cast<std::size_t>(channels_) * 2);
        uint8_t* planes[1] = {pcm_.data()};
        const int samples = swr_convert(resample_.get(), planes, capacity,
                                        const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
        if (samples <= 0)
            return samples < 0 ? E_FAIL : S_OK;
        const auto timeOf = [&](int count) { return static_cast<REFERENCE_TIME>(count) * 10'000'000 / rate_; };
        nextStart_ = start + timeOf(samples);
        if (nextStart_ <= 0 || !output()->isConnected())
            return S_OK;
        // The sound goes out in buffers of the connection's size.
        const int blockAlign = channels_ * 2;
        for (int done = 0; done < samples;) {
            ComPtr<IMediaSample> out;
            const REFERENCE_TIME from = start + timeOf(done);
            HRESULT hr = outputBuffer(out, from, from);
            if (hr != S_OK)
                return hr;
            const int count = std::min(samples - done, out->GetSize() / blockAlign);
            REFERENCE_TIME stop = start + timeOf(done + count);
            REFERENCE_TIME begin = from;
            out->SetTime(&begin, &stop);
            BYTE* data = nullptr;
            out->GetPointer(&data);
            std::memcpy(data, pcm_.data() + static_cast<std::ptrdiff_t>(done) * blockAlign,
                        static_cast<std::size_t>(count) * blockAlign);
            out->SetActualDataLength(count * blockAlign);
            hr = output()->Deliver(out.get());
            if (hr != S_OK)
                return hr;
            done += count;
        }
        return S_OK;
    }

    int channels_ = 2;
    int rate_ = 48000;
    std::unique_ptr<SwrContext, ResampleFree> resample_;
    AVChannelLayout inLayout_{};
    int inFormat_ = -1;
    int inRate_ = 0;
    std::vector<uint8_t> pcm_;
    REFERENCE_TIME nextStart_ = 0;
};

} // namespace

ComPtr<IBaseFilter> createVideoDecoder()
{
    return makeCom<VideoDecoder>();
}

ComPtr<IBaseFilter> createAudioDecoder()
{
    return makeCom<AudioDecoder>();
}
