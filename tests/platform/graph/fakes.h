#pragma once
// Small filters for the graph tests: a counting source (seekable, one or two
// streams), an in-place recorder, a copy transform that may convert, and a
// recording sink.

#include "platform/graph/formats.h"
#include "platform/graph/media_guids.h"
#include "platform/graph/renderer.h"
#include "platform/graph/source.h"
#include "platform/graph/transform.h"

#include "platform/win/messages.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace fakes {

constexpr CLSID CLSID_CountingSource = "{4C1E0001-0000-4000-8000-000000000001}"_guid;
constexpr CLSID CLSID_Recorder = "{4C1E0001-0000-4000-8000-000000000002}"_guid;
constexpr CLSID CLSID_Copier = "{4C1E0001-0000-4000-8000-000000000003}"_guid;
constexpr CLSID CLSID_Sink = "{4C1E0001-0000-4000-8000-000000000004}"_guid;

constexpr REFERENCE_TIME kFrame = 400'000;

inline AM_MEDIA_TYPE videoType(const GUID& subtype = MEDIASUBTYPE_RGB32, LONG width = 4)
{
    AM_MEDIA_TYPE type;
    type.majortype = MEDIATYPE_Video;
    type.subtype = subtype;
    type.formattype = FORMAT_VideoInfo;
    type.lSampleSize = static_cast<ULONG>(width * 4 * 4);
    auto* vih = type.allocFormat<VIDEOINFOHEADER>();
    vih->AvgTimePerFrame = kFrame;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = width;
    vih->bmiHeader.biHeight = 4;
    vih->bmiHeader.biBitCount = 32;
    return type;
}

inline AM_MEDIA_TYPE audioType()
{
    return pcmAudioType(2, 44100);
}

// What a filter saw of one sample.
struct Seen
{
    HRESULT timeResult = S_OK;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    LONGLONG mediaStart = -1;
    bool sync = false;
    bool preroll = false;
    bool discontinuity = false;
    BYTE value = 0;
    bool hasType = false;
    AM_MEDIA_TYPE type;
    const void* sample = nullptr; // identity only
};

inline Seen look(IMediaSample* sample)
{
    Seen seen;
    seen.timeResult = sample->GetTime(&seen.start, &seen.stop);
    LONGLONG mediaStop = 0;
    if (sample->GetMediaTime(&seen.mediaStart, &mediaStop) != S_OK)
        seen.mediaStart = -1;
    seen.sync = sample->IsSyncPoint() == S_OK;
    seen.preroll = sample->IsPreroll() == S_OK;
    seen.discontinuity = sample->IsDiscontinuity() == S_OK;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    seen.value = sample->GetActualDataLength() > 0 ? data[0] : 0;
    AM_MEDIA_TYPE* type = nullptr;
    if (sample->GetMediaType(&type) == S_OK) {
        seen.hasType = true;
        seen.type = *type;
        DeleteMediaType(type);
    }
    seen.sample = sample;
    return seen;
}

// A record that a streaming thread writes and the test thread reads.
class Log
{
public:
    void add(const Seen& seen)
    {
        std::lock_guard lock(mutex_);
        seen_.push_back(seen);
    }
    std::vector<Seen> all() const
    {
        std::lock_guard lock(mutex_);
        return seen_;
    }
    std::size_t size() const
    {
        std::lock_guard lock(mutex_);
        return seen_.size();
    }

private:
    mutable std::mutex mutex_;
    std::vector<Seen> seen_;
};

class CountingSource;

// Frame n has time n × frame (from the segment start), media time n and first
// byte n; every third frame is a sync point, frames 0 and 1 are preroll, and
// the first frame after a start is a discontinuity.
class CountingStream final : public SourceStream
{
public:
    CountingStream(CountingSource* source, const AM_MEDIA_TYPE& type, const GUID& category);

    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override
    {
        return type->majortype == type_.majortype && type->subtype == type_.subtype ? S_OK : S_FALSE;
    }
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type) override
    {
        if (position < 0)
            return E_INVALIDARG;
        if (position > 0)
            return VFW_S_NO_MORE_ITEMS;
        *type = type_;
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override
    {
        request->cBuffers = std::max<LONG>(request->cBuffers, 2);
        request->cbBuffer = std::max<LONG>(request->cbBuffer, 64);
        ALLOCATOR_PROPERTIES actual;
        return allocator->SetProperties(request, &actual);
    }
    HRESULT OnThreadStartPlay() override
    {
        first_ = true;
        return S_OK;
    }
    HRESULT FillBuffer(IMediaSample* sample) override;

    std::atomic<LONGLONG> next{0};
    // The thread that filled the last buffer.
    std::atomic<std::thread::id> filledOn{};

private:
    CountingSource* source_;
    AM_MEDIA_TYPE type_;
    bool first_ = true;
};

class CountingSource final : public WithInterfaces<SourceFilter, SourceSeeking>
{
public:
    explicit CountingSource(LONGLONG count, REFERENCE_TIME frame = kFrame)
        : WithInterfaces(CLSID_CountingSource, u"Counting Source"), count(count), frame(frame)
    {
        video = static_cast<CountingStream*>(
            addStream(std::make_unique<CountingStream>(this, videoType(), PIN_CATEGORY_CAPTURE)));
        setDuration(count * frame);
    }
    // As a source that cannot tell its length.
    void forgetDuration() { setDuration(0); }
    CountingStream* addAudio()
    {
        return static_cast<CountingStream*>(addStream(std::make_unique<CountingStream>(this, audioType(), GUID_NULL)));
    }

    const LONGLONG count;
    const REFERENCE_TIME frame;
    CountingStream* video = nullptr;
    // The frame that carries a new media type (-1: none).
    LONGLONG typeAt = -1;
    // The frame delivered without a stop time (-1: none).
    LONGLONG noStopAt = -1;
    // The frame whose reading fails (-1: none).
    LONGLONG failAt = -1;
    // While closed, frames wait.
    std::atomic<bool> gateOpen{true};
    // When set, every frame is first sent to this window.
    HWND sendTo = 0;
    std::atomic<int> sendsStarted{0};

protected:
    HRESULT ChangeStart() override
    {
        const LONGLONG first = start_ / frame;
        for (int i = 0; i < GetPinCount(); ++i) {
            auto* stream = static_cast<CountingStream*>(GetPin(i));
            stream->Reposition([stream, first] { stream->next = first; }, start_, stop_, rate_);
        }
        return S_OK;
    }
    HRESULT ChangeStop() override { return S_OK; }
    HRESULT ChangeRate() override { return S_OK; }
};

inline CountingStream::CountingStream(CountingSource* source, const AM_MEDIA_TYPE& type, const GUID& category)
    : SourceStream(source, type.majortype == MEDIATYPE_Video ? u"Video" : u"Audio"), source_(source), type_(type)
{
    if (!category.isNull())
        setCategory(category);
}

inline HRESULT CountingStream::FillBuffer(IMediaSample* sample)
{
    filledOn = std::this_thread::get_id();
    const LONGLONG n = next++;
    if (n >= source_->count)
        return S_FALSE;
    if (n == source_->failAt)
        return E_FAIL;
    while (!source_->gateOpen && !stopRequested())
        Sleep(1);
    if (source_->sendTo) {
        ++source_->sendsStarted;
        SendMessage(source_->sendTo, WM_USER + 1, static_cast<WPARAM>(n), 0, filter()->cancelToken());
    }
    REFERENCE_TIME start = n * source_->frame - segmentStart();
    REFERENCE_TIME stop = start + source_->frame;
    sample->SetTime(&start, n == source_->noStopAt ? nullptr : &stop);
    LONGLONG mediaStart = n, mediaStop = n + 1;
    sample->SetMediaTime(&mediaStart, &mediaStop);
    sample->SetSyncPoint(n % 3 == 0);
    sample->SetPreroll(n < 2);
    sample->SetDiscontinuity(first_);
    first_ = false;
    if (n == source_->typeAt) {
        AM_MEDIA_TYPE changed = videoType(MEDIASUBTYPE_RGB32, 8);
        sample->SetMediaType(&changed);
    }
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    std::memset(data, static_cast<int>(n), 4);
    sample->SetActualDataLength(4);
    return S_OK;
}

// In place: records samples, flushes and segments; may hold odd frames back.
class Recorder final : public TBCTransInPlaceFilter
{
public:
    explicit Recorder(const CLSID& classId = CLSID_Recorder) : TBCTransInPlaceFilter(classId, u"Recorder") {}

    HRESULT CheckInputType(const AM_MEDIA_TYPE* type) override
    {
        return type->majortype == MEDIATYPE_Video ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT Transform(IMediaSample* sample) override
    {
        const Seen seen = look(sample);
        log.add(seen);
        return holdBackOdd && seen.value % 2 == 1 ? S_FALSE : S_OK;
    }
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override
    {
        {
            std::lock_guard lock(segmentLock_);
            segments_.push_back(start);
        }
        return TBCTransInPlaceFilter::NewSegment(start, stop, rate);
    }
    HRESULT StartStreaming() override
    {
        ++starts;
        return S_OK;
    }
    HRESULT StopStreaming() override
    {
        ++stops;
        return S_OK;
    }
    HRESULT BeginFlush() override
    {
        ++beginFlushes;
        return TBCTransInPlaceFilter::BeginFlush();
    }
    HRESULT EndFlush() override
    {
        ++endFlushes;
        return TBCTransInPlaceFilter::EndFlush();
    }
    std::vector<REFERENCE_TIME> segments() const
    {
        std::lock_guard lock(segmentLock_);
        return segments_;
    }

    bool holdBackOdd = false;
    Log log;
    std::atomic<int> beginFlushes{0};
    std::atomic<int> endFlushes{0};
    int starts = 0; // GUI thread only
    int stops = 0;

private:
    mutable std::mutex segmentLock_;
    std::vector<REFERENCE_TIME> segments_;
};

// Copies each sample; with an output subtype it converts RGB32 to that.
class Copier final : public TBCTransformFilter
{
public:
    explicit Copier(const CLSID& classId = CLSID_Copier, const GUID& outSubtype = GUID_NULL)
        : TBCTransformFilter(classId, u"Copier"), outSubtype_(outSubtype)
    {
    }

    HRESULT CheckInputType(const AM_MEDIA_TYPE* type) override
    {
        return type->majortype == MEDIATYPE_Video && type->subtype == MEDIASUBTYPE_RGB32 ? S_OK
                                                                                         : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override
    {
        const GUID expected = outSubtype_.isNull() ? in->subtype : outSubtype_;
        return in->majortype == out->majortype && out->subtype == expected ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type) override
    {
        if (position < 0)
            return E_INVALIDARG;
        if (position > 0)
            return VFW_S_NO_MORE_ITEMS;
        *type = input()->mediaType();
        if (!outSubtype_.isNull())
            type->subtype = outSubtype_;
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override
    {
        ALLOCATOR_PROPERTIES upstream;
        if (!input()->PeekAllocator() || FAILED(input()->PeekAllocator()->GetProperties(&upstream)))
            return E_FAIL;
        request->cBuffers = std::max<LONG>(request->cBuffers, 1);
        request->cbBuffer = std::max(request->cbBuffer, upstream.cbBuffer);
        ALLOCATOR_PROPERTIES actual;
        const HRESULT hr = allocator->SetProperties(request, &actual);
        return FAILED(hr) || actual.cbBuffer < upstream.cbBuffer ? E_FAIL : S_OK;
    }
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override
    {
        BYTE* from = nullptr;
        BYTE* to = nullptr;
        in->GetPointer(&from);
        out->GetPointer(&to);
        std::memcpy(to, from, static_cast<std::size_t>(in->GetActualDataLength()));
        return out->SetActualDataLength(in->GetActualDataLength());
    }

private:
    GUID outSubtype_;
};

// Renders what it takes of one major type and subtype, recording it.
class Sink final : public BaseRenderer
{
public:
    explicit Sink(const GUID& subtype = MEDIASUBTYPE_RGB32, const GUID& majortype = MEDIATYPE_Video)
        : BaseRenderer(CLSID_Sink, u"Sink"), majortype_(majortype), subtype_(subtype)
    {
        ++alive;
    }
    ~Sink() override { --alive; }

    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override
    {
        return type->majortype == majortype_ && type->subtype == subtype_ ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT DoRenderSample(IMediaSample* sample) override
    {
        while (hold && state() != State_Stopped)
            Sleep(1);
        log.add(look(sample));
        return S_OK;
    }
    void OnReceiveFirstSample(IMediaSample* sample) override { stills.add(look(sample)); }
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME, double) override
    {
        std::lock_guard lock(segmentLock_);
        segments_.push_back(start);
        return S_OK;
    }
    HRESULT Run(REFERENCE_TIME start) override { return refuseRun ? E_FAIL : BaseRenderer::Run(start); }
    std::vector<REFERENCE_TIME> segments() const
    {
        std::lock_guard lock(segmentLock_);
        return segments_;
    }

    Log log;
    // The pictures shown while paused.
    Log stills;
    // While set, rendering waits.
    std::atomic<bool> hold{false};
    std::atomic<bool> refuseRun{false};
    static inline std::atomic<int> alive{0};

private:
    GUID majortype_;
    GUID subtype_;
    mutable std::mutex segmentLock_;
    std::vector<REFERENCE_TIME> segments_;
};

} // namespace fakes
