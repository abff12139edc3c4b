#pragma once
// A source for the renderer tests: delivers prepared payloads (pictures as
// RGB32 or sound as 16-bit PCM), each stamped with its time. While its gate
// is closed it holds the next sample back.

#include "platform/graph/formats.h"
#include "platform/graph/media_guids.h"
#include "platform/graph/source.h"

#include <QByteArray>
#include <QImage>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

namespace testing_renderers {

constexpr CLSID CLSID_PushSource = "{4C1E0002-0000-4000-8000-000000000001}"_guid;

class PushSource;

class PushStream final : public SourceStream
{
public:
    PushStream(PushSource* source, AM_MEDIA_TYPE type, std::vector<QByteArray> payloads, REFERENCE_TIME duration);

    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override { return *type == type_ ? S_OK : S_FALSE; }
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type) override
    {
        if (position > 0)
            return VFW_S_NO_MORE_ITEMS;
        *type = type_;
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override
    {
        LONG largest = 1;
        for (const QByteArray& payload : payloads_)
            largest = std::max<LONG>(largest, static_cast<LONG>(payload.size()));
        request->cBuffers = std::max<LONG>(request->cBuffers, buffers);
        request->cbBuffer = std::max(request->cbBuffer, largest);
        ALLOCATOR_PROPERTIES actual;
        return allocator->SetProperties(request, &actual);
    }
    HRESULT FillBuffer(IMediaSample* sample) override;

    // The samples of its allocator, as asked for when it connects.
    LONG buffers = 2;

    // From the start again at `rate`: the times shrink as a splitter's do.
    void playAt(double rate)
    {
        Reposition([this, rate] { next_ = 0, rate_ = rate; }, 0, REFERENCE_TIME(payloads_.size()) * duration_, rate);
    }

private:
    PushSource* source_;
    AM_MEDIA_TYPE type_;
    std::vector<QByteArray> payloads_;
    REFERENCE_TIME duration_;
    std::size_t next_ = 0;
    double rate_ = 1.0;
};

class PushSource final : public SourceFilter
{
public:
    PushSource(AM_MEDIA_TYPE type, std::vector<QByteArray> payloads, REFERENCE_TIME duration)
        : SourceFilter(CLSID_PushSource, u"Push Source")
    {
        addStream(std::make_unique<PushStream>(this, std::move(type), std::move(payloads), duration));
    }

    IPin* output() { return GetPin(0); }
    PushStream* stream() { return static_cast<PushStream*>(GetPin(0)); }

    std::atomic<bool> gateOpen{true};
};

inline PushStream::PushStream(PushSource* source, AM_MEDIA_TYPE type, std::vector<QByteArray> payloads,
                              REFERENCE_TIME duration)
    : SourceStream(source, u"Output"), source_(source), type_(std::move(type)), payloads_(std::move(payloads)),
      duration_(duration)
{
}

inline HRESULT PushStream::FillBuffer(IMediaSample* sample)
{
    while (!source_->gateOpen) {
        if (stopRequested())
            return S_FALSE;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (next_ >= payloads_.size())
        return S_FALSE;
    const QByteArray& payload = payloads_[next_];
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    std::memcpy(data, payload.constData(), payload.size());
    sample->SetActualDataLength(static_cast<LONG>(payload.size()));
    const auto stamped = static_cast<REFERENCE_TIME>(duration_ / rate_);
    REFERENCE_TIME start = REFERENCE_TIME(next_) * stamped, stop = start + stamped;
    sample->SetTime(&start, &stop);
    ++next_;
    return S_OK;
}

// RGB32 pictures, top-down (negative height) or bottom-up, in an allocator
// of `buffers` samples.
inline ComPtr<PushSource> pictureSource(const std::vector<QImage>& pictures, REFERENCE_TIME frame,
                                        bool bottomUp = false, LONG buffers = 2)
{
    const QImage& first = pictures.front();
    AM_MEDIA_TYPE type;
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_RGB32;
    type.formattype = FORMAT_VideoInfo;
    type.lSampleSize = static_cast<ULONG>(first.width() * first.height() * 4);
    auto* vih = type.allocFormat<VIDEOINFOHEADER>();
    vih->AvgTimePerFrame = frame;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = first.width();
    vih->bmiHeader.biHeight = bottomUp ? first.height() : -first.height();
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = 32;
    vih->bmiHeader.biSizeImage = type.lSampleSize;
    std::vector<QByteArray> payloads;
    for (const QImage& picture : pictures) {
        const QImage rgb = bottomUp ? picture.convertToFormat(QImage::Format_RGB32).mirrored()
                                    : picture.convertToFormat(QImage::Format_RGB32);
        QByteArray bytes;
        for (int y = 0; y < rgb.height(); ++y)
            bytes.append(reinterpret_cast<const char*>(rgb.constScanLine(y)), rgb.width() * 4);
        payloads.push_back(bytes);
    }
    auto source = makeCom<PushSource>(std::move(type), std::move(payloads), frame);
    source->stream()->buffers = buffers;
    return source;
}

// A 16-bit stereo tone of `seconds`, in chunks of `chunk`.
inline ComPtr<PushSource> toneSource(double seconds, DWORD rate = 44100, REFERENCE_TIME chunk = 1'000'000 /* 100 ms */)
{
    AM_MEDIA_TYPE type = pcmAudioType(2, rate);
    const auto framesPerChunk = static_cast<std::size_t>(chunk * rate / 10'000'000);
    const auto chunks = static_cast<std::size_t>(std::llround(seconds * 10'000'000 / chunk));
    std::vector<QByteArray> payloads;
    std::size_t frame = 0;
    for (std::size_t c = 0; c < chunks; ++c) {
        QByteArray bytes(static_cast<qsizetype>(framesPerChunk * 4), Qt::Uninitialized);
        auto* samples = reinterpret_cast<std::int16_t*>(bytes.data());
        for (std::size_t i = 0; i < framesPerChunk; ++i, ++frame)
            samples[2 * i] = samples[2 * i + 1] =
                static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 440 * double(frame) / rate));
        payloads.push_back(bytes);
    }
    return makeCom<PushSource>(std::move(type), std::move(payloads), chunk);
}

} // namespace testing_renderers
