#pragma once
// Media samples and the pool allocator that hands them out.

#include "platform/graph/interfaces.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

class MemAllocator;

// Bytes a sample shows without owning them: the sample holds this object
// until it goes back to its allocator, and whoever made it keeps the bytes
// alive as long as it lives. A filter that knows the concrete kind may take
// the bytes on without copying them.
class LentBuffer
{
public:
    virtual ~LentBuffer() = default;
};

// Copies the times, media times and the sync-point, preroll and
// discontinuity flags of one sample to another; what the source lacks is
// cleared on the destination.
void CopySampleProperties(IMediaSample* source, IMediaSample* dest);

// A buffer with its stream properties. A sample made by an allocator goes
// back to the allocator's free list when its last reference is released;
// a free-standing sample (made with makeCom and a buffer) is deleted. An
// allocator's buffers are not cleared: what a filter reads of a sample is
// what was written to it.
class MediaSample final : public IMediaSample
{
public:
    // A free-standing sample over `size` bytes of its own.
    explicit MediaSample(LONG size);

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT GetPointer(BYTE** buffer) override;
    LONG GetSize() override { return static_cast<LONG>(buffer_.size()); }
    HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    HRESULT SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    HRESULT IsSyncPoint() override { return syncPoint_ ? S_OK : S_FALSE; }
    HRESULT SetSyncPoint(BOOL syncPoint) override;
    HRESULT IsPreroll() override { return preroll_ ? S_OK : S_FALSE; }
    HRESULT SetPreroll(BOOL preroll) override;
    LONG GetActualDataLength() override { return actualLength_; }
    HRESULT SetActualDataLength(LONG length) override;
    HRESULT GetMediaType(AM_MEDIA_TYPE** type) override;
    HRESULT SetMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT IsDiscontinuity() override { return discontinuity_ ? S_OK : S_FALSE; }
    HRESULT SetDiscontinuity(BOOL discontinuity) override;
    HRESULT GetMediaTime(LONGLONG* start, LONGLONG* stop) override;
    HRESULT SetMediaTime(LONGLONG* start, LONGLONG* stop) override;

    ~MediaSample() override = default;

    // Shows `size` bytes at `data`, which `owner` keeps alive, in place of
    // the sample's own buffer until it goes back to its allocator.
    void lend(std::shared_ptr<const LentBuffer> owner, BYTE* data, LONG size);
    const std::shared_ptr<const LentBuffer>& lent() const { return lent_; }
    // The sample of an allocator or a free-standing one, when `sample` is
    // one of ours.
    static MediaSample* of(IMediaSample* sample);
    // Whether the sample is one of `allocator`'s buffers.
    bool belongsTo(const IMemAllocator* allocator) const;

private:
    friend class MemAllocator;
    MediaSample(MemAllocator* owner, LONG size, LONG alignment);
    // Clears the properties before the sample is handed out again.
    void resetProperties();
    // Drops a lent buffer: the sample shows its own again.
    void returnLent();

    std::atomic<ULONG> refCount_{0};
    MemAllocator* owner_ = nullptr;
    std::unique_ptr<BYTE[]> storage_;
    std::span<BYTE> own_;
    std::span<BYTE> buffer_;
    std::shared_ptr<const LentBuffer> lent_;
    LONG actualLength_ = 0;
    std::optional<REFERENCE_TIME> start_;
    std::optional<REFERENCE_TIME> stop_;
    std::optional<LONGLONG> mediaStart_;
    LONGLONG mediaStop_ = 0;
    bool syncPoint_ = false;
    bool preroll_ = false;
    bool discontinuity_ = false;
    std::unique_ptr<AM_MEDIA_TYPE> mediaType_;
};

// A fixed pool of buffers of one size. Properties may change only while
// decommitted and no sample is out; GetBuffer waits for a free buffer.
class MemAllocator final : public ComObject<IMemAllocator>
{
public:
    HRESULT SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
    HRESULT GetProperties(ALLOCATOR_PROPERTIES* properties) override;
    HRESULT Commit() override;
    HRESULT Decommit() override;
    HRESULT GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags) override;
    HRESULT ReleaseBuffer(IMediaSample* sample) override;

private:
    friend class MediaSample;
    ~MemAllocator() override = default;
    // The last reference to an out sample was released.
    void returnSample(MediaSample* sample);

    std::mutex mutex_;
    std::condition_variable freed_;
    ALLOCATOR_PROPERTIES properties_;
    bool committed_ = false;
    std::vector<std::unique_ptr<MediaSample>> samples_;
    std::vector<MediaSample*> free_;
    LONG outstanding_ = 0;
};
