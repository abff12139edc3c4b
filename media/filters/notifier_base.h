#pragma once
// What the notifier filters share: an in-place transform that never changes
// a sample's data, a media type that the first connection fixes, the two
// delivery switches, and the token that releases a streaming thread waiting
// on the interface thread when the filter stops or its graph stops or seeks.

#include "platform/graph/transform.h"

#include <atomic>

class NotifierBase : public TBCTransInPlaceFilter
{
public:
    NotifierBase(const CLSID& classId, std::u16string name);

    // GUID_NULL parts accept anything; the first connection fixes them.
    HRESULT CheckInputType(const AM_MEDIA_TYPE* typeIn) override;
    HRESULT CheckTransform(const AM_MEDIA_TYPE* typeIn, const AM_MEDIA_TYPE* typeOut) override;
    HRESULT CompleteConnect(PIN_DIRECTION direction, IPin* receivePin) override;
    HRESULT StartStreaming() override;
    HRESULT Stop() override;

    // The major type, subtype and format type accepted (GUID_NULL: any).
    AM_MEDIA_TYPE acceptedType() const;
    void setAcceptedType(const AM_MEDIA_TYPE& type);

    bool enabled() const { return enabled_.load(std::memory_order_relaxed); }
    // When off, samples are held back.
    void SetPassSamples(bool on) { passSamples_.store(on, std::memory_order_relaxed); }
    bool passSamples() const { return passSamples_.load(std::memory_order_relaxed); }
    // The owner of the stream is a DV device.
    void SetDVDevice(bool on) { dvDevice_.store(on, std::memory_order_relaxed); }
    bool dvDevice() const { return dvDevice_.load(std::memory_order_relaxed); }
    // Flags that the managers keep on the notifier for themselves.
    void SetOptionFlags(DWORD flags) { optionFlags_.store(flags, std::memory_order_relaxed); }
    DWORD optionFlags() const { return optionFlags_.load(std::memory_order_relaxed); }

protected:
    ~NotifierBase() override = default;

    void enable() { enabled_.store(true, std::memory_order_relaxed); }
    // Fires when a wait on the interface thread must give up: the graph's
    // token, or the filter's own outside a graph.
    CancelToken* releaseToken();

private:
    mutable std::mutex typeLock_;
    GUID majortype_;
    GUID subtype_;
    GUID formattype_;
    std::atomic<bool> enabled_{false};
    std::atomic<bool> passSamples_{true};
    std::atomic<bool> dvDevice_{false};
    std::atomic<DWORD> optionFlags_{0};
    CancelToken ownToken_;
};
