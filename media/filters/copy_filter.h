#pragma once
// Helpers of the copy transform filters.

#include "platform/graph/transform.h"

// Copies the input's bytes into the output (as many as fit) and sets the
// output's length; the output already carries the input's times and flags.
HRESULT CopySampleData(IMediaSample* in, IMediaSample* out);

// The properties of the allocator upstream delivers in; false without one.
bool UpstreamProperties(TransformFilterBase* filter, ALLOCATOR_PROPERTIES& properties);

// Asks `allocator` for at least `request` and fails with E_FAIL when it
// grants buffers smaller than `minimumSize`.
HRESULT SetAllocatorAtLeast(IMemAllocator* allocator, ALLOCATOR_PROPERTIES request, LONG minimumSize);

// Passes video or audio through unchanged, in samples of its own.
class TAVDummy final : public TBCTransformFilter
{
public:
    static constexpr CLSID classId = "{83036780-D1E1-49D3-8CE7-77DA63D25D8F}"_guid;
    static constexpr char16_t filterName[] = u"Morvek AVDummy";

    TAVDummy();

    HRESULT CheckInputType(const AM_MEDIA_TYPE* typeIn) override;
    HRESULT CheckTransform(const AM_MEDIA_TYPE* typeIn, const AM_MEDIA_TYPE* typeOut) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;

private:
    ~TAVDummy() override = default;
};

// Major type, subtype and format type are equal.
bool SameTypeGuids(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b);
