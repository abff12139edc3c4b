#pragma once
// What the notifier tests share: a window that records the messages it gets
// with a copy of the record each points to, samples over given bytes, and
// the media types of the streams.

#include "media/filters/notify_messages.h"
#include "media/parsers/media_records.h"
#include "platform/graph/formats.h"
#include "platform/graph/media_guids.h"
#include "platform/graph/sample.h"
#include "platform/graph/source.h"
#include "platform/win/messages.h"

#include <QByteArray>

#include <cstring>
#include <mutex>
#include <vector>

namespace testing_filters {

struct Message
{
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    const void* slot = nullptr;  // the address the message carried
    TframeData frame;            // WM_SCENE, WM_FRAMEDATA, WM_AUDIODATA
    TVideoData video;            // WM_VIDEODATA
    TIncrustDV dv;               // WM_DVCODE
    QString text;                // WM_TIMESTAMPTEXT, WM_POSITIONTEXT
    REFERENCE_TIME position = 0; // WM_POSITIONVALUE
};

// A message window that copies what every message points to while it is
// handled, as a receiver must.
class RecordingSink
{
public:
    RecordingSink()
    {
        wnd = AllocateHWnd([this](UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
            record(msg, wParam, lParam);
            return 0;
        });
    }
    ~RecordingSink() { DeallocateHWnd(wnd); }
    RecordingSink(const RecordingSink&) = delete;
    RecordingSink& operator=(const RecordingSink&) = delete;

    // The messages handled so far, after the posted ones were dispatched.
    std::vector<Message> messages()
    {
        ProcessMessages();
        std::lock_guard lock(mutex_);
        return messages_;
    }
    std::vector<Message> messages(UINT msg)
    {
        std::vector<Message> found;
        for (const Message& m : messages())
            if (m.msg == msg)
                found.push_back(m);
        return found;
    }
    void clear()
    {
        ProcessMessages();
        std::lock_guard lock(mutex_);
        messages_.clear();
    }

    HWND wnd = 0;

private:
    void record(UINT msg, WPARAM wParam, LPARAM lParam)
    {
        Message m;
        m.msg = msg;
        m.wParam = wParam;
        m.lParam = lParam;
        switch (msg) {
        case WM_SCENE:
        case WM_DVCODE:
        case WM_TIMESTAMPTEXT:
        case WM_POSITIONTEXT:
        case WM_POSITIONVALUE:
            m.slot = reinterpret_cast<const void*>(wParam);
            break;
        case WM_FRAMEDATA:
        case WM_VIDEODATA:
        case WM_AUDIODATA:
            m.slot = reinterpret_cast<const void*>(lParam);
            break;
        default:
            break;
        }
        switch (msg) {
        case WM_SCENE:
        case WM_FRAMEDATA:
        case WM_AUDIODATA:
            m.frame = *static_cast<const TframeData*>(m.slot);
            break;
        case WM_VIDEODATA:
            m.video = *static_cast<const TVideoData*>(m.slot);
            break;
        case WM_DVCODE:
            m.dv = *static_cast<const TIncrustDV*>(m.slot);
            break;
        case WM_TIMESTAMPTEXT:
        case WM_POSITIONTEXT:
            m.text = *static_cast<const QString*>(m.slot);
            break;
        case WM_POSITIONVALUE:
            m.position = *static_cast<const REFERENCE_TIME*>(m.slot);
            break;
        default:
            break;
        }
        std::lock_guard lock(mutex_);
        messages_.push_back(std::move(m));
    }

    std::mutex mutex_;
    std::vector<Message> messages_;
};

inline ComPtr<IMediaSample> makeSample(const QByteArray& bytes, REFERENCE_TIME start = 0, REFERENCE_TIME stop = 0,
                                       bool sync = true)
{
    auto sample = makeCom<MediaSample>(static_cast<LONG>(std::max<qsizetype>(bytes.size(), 1)));
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    if (!bytes.isEmpty())
        std::memcpy(data, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    sample->SetActualDataLength(static_cast<LONG>(bytes.size()));
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(sync);
    return ComPtr<IMediaSample>(sample.get());
}

constexpr REFERENCE_TIME kPalFrame = 400'000;

// A source stream of one media type in buffers of one size.
class OneTypeStream : public SourceStream
{
public:
    OneTypeStream(BaseFilter* filter, const AM_MEDIA_TYPE& type, LONG buffers, LONG bufferSize)
        : SourceStream(filter, u"Output"), type_(type), buffers_(buffers), bufferSize_(bufferSize)
    {
    }
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override { return *type == type_ ? S_OK : S_FALSE; }
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type) override
    {
        if (position != 0)
            return VFW_S_NO_MORE_ITEMS;
        *type = type_;
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override
    {
        request->cBuffers = buffers_;
        request->cbBuffer = bufferSize_;
        ALLOCATOR_PROPERTIES actual;
        return allocator->SetProperties(request, &actual);
    }

private:
    AM_MEDIA_TYPE type_;
    LONG buffers_;
    LONG bufferSize_;
};

// DV in a video format (subtype dvsd), as a file splitter gives it.
inline AM_MEDIA_TYPE dvVideoType(REFERENCE_TIME frame = kPalFrame, LONG height = 576)
{
    AM_MEDIA_TYPE type;
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_dvsd;
    type.formattype = FORMAT_VideoInfo;
    auto* vih = type.allocFormat<VIDEOINFOHEADER>();
    vih->AvgTimePerFrame = frame;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = 720;
    vih->bmiHeader.biHeight = height;
    vih->bmiHeader.biBitCount = 24;
    vih->bmiHeader.biCompression = makeFourCC('d', 'v', 's', 'd');
    return type;
}

// Interleaved DV, as a DV device gives it.
inline AM_MEDIA_TYPE dvDataType()
{
    AM_MEDIA_TYPE type;
    type.majortype = MEDIATYPE_Interleaved;
    type.subtype = MEDIASUBTYPE_dvsd;
    type.formattype = FORMAT_DvInfo;
    type.allocFormat<DVINFO>();
    return type;
}

inline AM_MEDIA_TYPE waveType(WORD tag, WORD channels, DWORD rate, WORD bits, DWORD bytesPerSecond = 0)
{
    AM_MEDIA_TYPE type;
    type.majortype = MEDIATYPE_Audio;
    type.subtype = tag == WAVE_FORMAT_PCM ? MEDIASUBTYPE_PCM : GUID::fromFourCC(tag);
    type.formattype = FORMAT_WaveFormatEx;
    auto* wave = type.allocFormat<WAVEFORMATEX>();
    wave->wFormatTag = tag;
    wave->nChannels = channels;
    wave->nSamplesPerSec = rate;
    wave->wBitsPerSample = bits;
    wave->nBlockAlign = static_cast<WORD>(channels * bits / 8);
    wave->nAvgBytesPerSec = bytesPerSecond ? bytesPerSecond : wave->nBlockAlign * rate;
    return type;
}

} // namespace testing_filters
