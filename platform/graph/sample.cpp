#include "platform/graph/sample.h"

#include <algorithm>

MediaSample::MediaSample(LONG size)
    : storage_(std::make_unique<BYTE[]>(static_cast<std::size_t>(std::max<LONG>(size, 0)))),
      own_(storage_.get(), static_cast<std::size_t>(std::max<LONG>(size, 0))), buffer_(own_)
{
}

MediaSample::MediaSample(MemAllocator* owner, LONG size, LONG alignment) : owner_(owner)
{
    // Left as the system gives it: pages never written cost no memory.
    const auto align = static_cast<std::size_t>(std::max<LONG>(alignment, 1));
    storage_ = std::make_unique_for_overwrite<BYTE[]>(static_cast<std::size_t>(size) + align - 1);
    const auto address = reinterpret_cast<std::uintptr_t>(storage_.get());
    const std::size_t offset = (align - address % align) % align;
    own_ = std::span<BYTE>(storage_.get() + offset, static_cast<std::size_t>(size));
    buffer_ = own_;
}

MediaSample* MediaSample::of(IMediaSample* sample)
{
    return dynamic_cast<MediaSample*>(sample);
}

bool MediaSample::belongsTo(const IMemAllocator* allocator) const
{
    return owner_ && static_cast<const IMemAllocator*>(owner_) == allocator;
}

void MediaSample::lend(std::shared_ptr<const LentBuffer> owner, BYTE* data, LONG size)
{
    lent_ = std::move(owner);
    buffer_ = std::span<BYTE>(data, static_cast<std::size_t>(std::max<LONG>(size, 0)));
    actualLength_ = 0;
}

void MediaSample::returnLent()
{
    lent_.reset();
    buffer_ = own_;
}

HRESULT MediaSample::QueryInterface(REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    if (riid == IUnknown::iid || riid == IMediaSample::iid) {
        *object = static_cast<IMediaSample*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG MediaSample::AddRef()
{
    return ++refCount_;
}

ULONG MediaSample::Release()
{
    const ULONG left = --refCount_;
    if (left == 0) {
        if (owner_)
            owner_->returnSample(this);
        else
            delete this;
    }
    return left;
}

HRESULT MediaSample::GetPointer(BYTE** buffer)
{
    if (!buffer)
        return E_POINTER;
    *buffer = buffer_.data();
    return S_OK;
}

HRESULT MediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop)
{
    if (!start || !stop)
        return E_POINTER;
    if (!start_)
        return VFW_E_SAMPLE_TIME_NOT_SET;
    *start = *start_;
    if (!stop_) {
        *stop = *start_ + 1;
        return VFW_S_NO_STOP_TIME;
    }
    *stop = *stop_;
    return S_OK;
}

HRESULT MediaSample::SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop)
{
    start_.reset();
    stop_.reset();
    if (start) {
        start_ = *start;
        if (stop)
            stop_ = *stop;
    }
    return S_OK;
}

HRESULT MediaSample::SetSyncPoint(BOOL syncPoint)
{
    syncPoint_ = syncPoint != FALSE;
    return S_OK;
}

HRESULT MediaSample::SetPreroll(BOOL preroll)
{
    preroll_ = preroll != FALSE;
    return S_OK;
}

HRESULT MediaSample::SetActualDataLength(LONG length)
{
    if (length < 0 || length > GetSize())
        return VFW_E_BUFFER_OVERFLOW;
    actualLength_ = length;
    return S_OK;
}

HRESULT MediaSample::GetMediaType(AM_MEDIA_TYPE** type)
{
    if (!type)
        return E_POINTER;
    *type = mediaType_ ? CreateMediaType(*mediaType_) : nullptr;
    return mediaType_ ? S_OK : S_FALSE;
}

HRESULT MediaSample::SetMediaType(AM_MEDIA_TYPE* type)
{
    if (type)
        mediaType_ = std::make_unique<AM_MEDIA_TYPE>(*type);
    else
        mediaType_.reset();
    return S_OK;
}

HRESULT MediaSample::SetDiscontinuity(BOOL discontinuity)
{
    discontinuity_ = discontinuity != FALSE;
    return S_OK;
}

HRESULT MediaSample::GetMediaTime(LONGLONG* start, LONGLONG* stop)
{
    if (!start || !stop)
        return E_POINTER;
    if (!mediaStart_)
        return VFW_E_MEDIA_TIME_NOT_SET;
    *start = *mediaStart_;
    *stop = mediaStop_;
    return S_OK;
}

HRESULT MediaSample::SetMediaTime(LONGLONG* start, LONGLONG* stop)
{
    if (!start) {
        mediaStart_.reset();
        return S_OK;
    }
    if (!stop)
        return E_POINTER;
    mediaStart_ = *start;
    mediaStop_ = *stop;
    return S_OK;
}

void MediaSample::resetProperties()
{
    actualLength_ = 0;
    start_.reset();
    stop_.reset();
    mediaStart_.reset();
    syncPoint_ = preroll_ = discontinuity_ = false;
    mediaType_.reset();
}

HRESULT MemAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual)
{
    if (!request || !actual)
        return E_POINTER;
    if (request->cbAlign < 0 || (request->cbAlign & (request->cbAlign - 1)) != 0)
        return VFW_E_BADALIGN;
    std::lock_guard lock(mutex_);
    if (committed_)
        return VFW_E_ALREADY_COMMITTED;
    if (outstanding_ > 0)
        return VFW_E_BUFFERS_OUTSTANDING;
    properties_ = *request;
    properties_.cbAlign = std::max<LONG>(request->cbAlign, 1);
    properties_.cbPrefix = std::max<LONG>(request->cbPrefix, 0);
    *actual = properties_;
    return S_OK;
}

HRESULT MemAllocator::GetProperties(ALLOCATOR_PROPERTIES* properties)
{
    if (!properties)
        return E_POINTER;
    std::lock_guard lock(mutex_);
    *properties = properties_;
    return S_OK;
}

HRESULT MemAllocator::Commit()
{
    std::lock_guard lock(mutex_);
    if (properties_.cBuffers <= 0 || properties_.cbBuffer <= 0)
        return VFW_E_SIZENOTSET;
    if (committed_)
        return S_OK;
    const bool sameShape = samples_.size() == static_cast<std::size_t>(properties_.cBuffers) &&
                           std::all_of(samples_.begin(), samples_.end(), [&](auto& s) {
                               return s->own_.size() == static_cast<std::size_t>(properties_.cbBuffer);
                           });
    if (!sameShape) {
        if (outstanding_ > 0)
            return VFW_E_BUFFERS_OUTSTANDING;
        samples_.clear();
        free_.clear();
        for (LONG i = 0; i < properties_.cBuffers; ++i) {
            samples_.push_back(
                std::unique_ptr<MediaSample>(new MediaSample(this, properties_.cbBuffer, properties_.cbAlign)));
            free_.push_back(samples_.back().get());
        }
    }
    committed_ = true;
    return S_OK;
}

HRESULT MemAllocator::Decommit()
{
    {
        std::lock_guard lock(mutex_);
        committed_ = false;
    }
    freed_.notify_all();
    return S_OK;
}

HRESULT MemAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags)
{
    if (!sample)
        return E_POINTER;
    *sample = nullptr;
    MediaSample* taken = nullptr;
    {
        std::unique_lock lock(mutex_);
        if ((flags & AM_GBF_NOWAIT) == 0)
            freed_.wait(lock, [&] { return !committed_ || !free_.empty(); });
        if (!committed_)
            return VFW_E_NOT_COMMITTED;
        if (free_.empty())
            return VFW_E_TIMEOUT;
        taken = free_.back();
        free_.pop_back();
        ++outstanding_;
    }
    // An out sample keeps its allocator alive.
    AddRef();
    taken->resetProperties();
    if (start)
        taken->SetTime(start, stop);
    taken->AddRef();
    *sample = taken;
    return S_OK;
}

HRESULT MemAllocator::ReleaseBuffer(IMediaSample* sample)
{
    // Samples come back by their last Release; an explicit call only
    // validates the sample.
    if (!sample)
        return E_POINTER;
    return S_OK;
}

void MemAllocator::returnSample(MediaSample* sample)
{
    // What was lent goes back as soon as the sample is done with.
    sample->returnLent();
    {
        std::lock_guard lock(mutex_);
        free_.push_back(sample);
        --outstanding_;
    }
    freed_.notify_one();
    Release();
}

void CopySampleProperties(IMediaSample* source, IMediaSample* dest)
{
    REFERENCE_TIME start = 0, stop = 0;
    const HRESULT time = source->GetTime(&start, &stop);
    if (time == VFW_S_NO_STOP_TIME)
        dest->SetTime(&start, nullptr);
    else if (SUCCEEDED(time))
        dest->SetTime(&start, &stop);
    else
        dest->SetTime(nullptr, nullptr);

    LONGLONG mediaStart = 0, mediaStop = 0;
    if (SUCCEEDED(source->GetMediaTime(&mediaStart, &mediaStop)))
        dest->SetMediaTime(&mediaStart, &mediaStop);
    else
        dest->SetMediaTime(nullptr, nullptr);

    dest->SetSyncPoint(source->IsSyncPoint() == S_OK);
    dest->SetPreroll(source->IsPreroll() == S_OK);
    dest->SetDiscontinuity(source->IsDiscontinuity() == S_OK);
}
