#include "media/filters/copy_filter.h"

#include "platform/graph/media_guids.h"

#include <algorithm>
#include <cstring>

HRESULT CopySampleData(IMediaSample* in, IMediaSample* out)
{
    BYTE* source = nullptr;
    BYTE* target = nullptr;
    if (FAILED(in->GetPointer(&source)) || FAILED(out->GetPointer(&target)))
        return E_FAIL;
    const LONG length = std::clamp<LONG>(in->GetActualDataLength(), 0, std::min(in->GetSize(), out->GetSize()));
    if (length > 0)
        std::memcpy(target, source, static_cast<std::size_t>(length));
    return out->SetActualDataLength(length);
}

bool UpstreamProperties(TransformFilterBase* filter, ALLOCATOR_PROPERTIES& properties)
{
    IMemAllocator* upstream = filter->input()->PeekAllocator();
    return upstream && SUCCEEDED(upstream->GetProperties(&properties));
}

HRESULT SetAllocatorAtLeast(IMemAllocator* allocator, ALLOCATOR_PROPERTIES request, LONG minimumSize)
{
    request.cBuffers = std::max<LONG>(request.cBuffers, 1);
    request.cbAlign = std::max<LONG>(request.cbAlign, 1);
    request.cbBuffer = std::max(request.cbBuffer, minimumSize);
    ALLOCATOR_PROPERTIES actual;
    const HRESULT hr = allocator->SetProperties(&request, &actual);
    if (FAILED(hr))
        return hr;
    return actual.cbBuffer < minimumSize ? E_FAIL : S_OK;
}

bool SameTypeGuids(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b)
{
    return a.majortype == b.majortype && a.subtype == b.subtype && a.formattype == b.formattype;
}

TAVDummy::TAVDummy() : TBCTransformFilter(classId, filterName) {}

HRESULT TAVDummy::CheckInputType(const AM_MEDIA_TYPE* typeIn)
{
    return typeIn->majortype == MEDIATYPE_Video || typeIn->majortype == MEDIATYPE_Audio ? S_OK : E_FAIL;
}

HRESULT TAVDummy::CheckTransform(const AM_MEDIA_TYPE* typeIn, const AM_MEDIA_TYPE* typeOut)
{
    return SameTypeGuids(*typeIn, *typeOut) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TAVDummy::GetMediaType(int position, AM_MEDIA_TYPE* type)
{
    return TransformFilterBase::GetMediaType(position, type);
}

HRESULT TAVDummy::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    ALLOCATOR_PROPERTIES upstream;
    if (!UpstreamProperties(this, upstream))
        return E_FAIL;
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cbAlign = std::max(wanted.cbAlign, upstream.cbAlign);
    return SetAllocatorAtLeast(allocator, wanted, upstream.cbBuffer);
}

HRESULT TAVDummy::Transform(IMediaSample* in, IMediaSample* out)
{
    return CopySampleData(in, out);
}
