#pragma once
// Transform filters: one input pin, one output pin. The copy transform
// (TBCTransformFilter) writes each input sample into a new output sample;
// the in-place transform (TBCTransInPlaceFilter) works on the input sample
// and passes it on. A Transform that returns S_FALSE holds the sample back:
// nothing is delivered and streaming goes on.
//
// Receive, EndOfStream and NewSegment run on the upstream streaming thread;
// streaming code never takes the filter lock.

#include "platform/graph/base_filter.h"
#include "platform/graph/forwarding_pin.h"
#include "platform/graph/gui_wait.h"

#include <memory>

class TransformFilterBase;
using TransformInputPin = ForwardingInputPin<TransformFilterBase>;

class TransformOutputPin final : public BaseOutputPin
{
public:
    explicit TransformOutputPin(TransformFilterBase* filter);

    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type) override;
    HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT CheckConnect(IPin* pin) override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT BreakConnect() override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) override;

private:
    TransformFilterBase* transform_;
};

// What the two transform kinds share: pins, states and the overridable
// operations of connection and streaming.
class TransformFilterBase : public BaseFilter
{
public:
    TransformFilterBase(const CLSID& classId, std::u16string name);

    // Connection. CheckInputType: may the input take this type?
    virtual HRESULT CheckInputType(const AM_MEDIA_TYPE* typeIn) = 0;
    // May the output take `typeOut` while the input has `typeIn`?
    virtual HRESULT CheckTransform(const AM_MEDIA_TYPE* typeIn, const AM_MEDIA_TYPE* typeOut);
    // The output's offer at `position` (the input must be connected):
    // S_OK, VFW_S_NO_MORE_ITEMS past the end, E_INVALIDARG below 0. By
    // default the input's type at position 0.
    virtual HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type);
    // Sizes the output allocator; `request` holds downstream's wishes.
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request);
    // Chooses the output allocator; by default through DecideBufferSize.
    virtual HRESULT DecideOutputAllocator(IMemInputPin* pin, IMemAllocator** allocator);
    // The type of a side was set (connection) or changed.
    virtual HRESULT SetMediaType(PIN_DIRECTION direction, const AM_MEDIA_TYPE* type);
    virtual HRESULT CheckConnect(PIN_DIRECTION direction, IPin* pin);
    virtual HRESULT CompleteConnect(PIN_DIRECTION direction, IPin* receivePin);
    virtual HRESULT BreakConnect(PIN_DIRECTION direction);

    // Streaming. StartStreaming runs when the filter leaves the stopped
    // state with a connected input, StopStreaming when it stops.
    virtual HRESULT StartStreaming();
    virtual HRESULT StopStreaming();
    // Overrides call these to pass the call on downstream.
    virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);
    virtual HRESULT EndOfStream();
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();
    virtual HRESULT Receive(IMediaSample* sample) = 0;

    HRESULT Stop() override;
    HRESULT Pause() override;

    int GetPinCount() override { return 2; }
    BasePin* GetPin(int index) override;

    TransformInputPin* input() const { return input_.get(); }
    TransformOutputPin* output() const { return output_.get(); }

protected:
    ~TransformFilterBase() override;

private:
    friend TransformInputPin;
    HRESULT checkInput(const AM_MEDIA_TYPE* type) { return CheckInputType(type); }
    HRESULT setInputType(const AM_MEDIA_TYPE* type) { return SetMediaType(PINDIR_INPUT, type); }
    HRESULT checkInputConnect(IPin* pin) { return CheckConnect(PINDIR_INPUT, pin); }
    HRESULT completeInputConnect(IPin* receivePin) { return CompleteConnect(PINDIR_INPUT, receivePin); }
    HRESULT breakInputConnect() { return BreakConnect(PINDIR_INPUT); }
    HRESULT receive(IMediaSample* sample);
    HRESULT endOfStream();
    HRESULT newSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);
    HRESULT beginFlush() { return BeginFlush(); }
    HRESULT endFlush();
    HRESULT stopStreaming();
    // Held while a sample, an end of stream or a new segment passes, so
    // that Stop waits for the call in progress.
    ServingMutex streamLock_;
    // StartStreaming succeeded and StopStreaming is owed.
    bool streaming_ = false;
    std::unique_ptr<TransformInputPin> input_;
    std::unique_ptr<TransformOutputPin> output_;
};

class TBCTransformFilter : public TransformFilterBase
{
public:
    using TransformFilterBase::TransformFilterBase;

    HRESULT CheckTransform(const AM_MEDIA_TYPE* typeIn, const AM_MEDIA_TYPE* typeOut) override = 0;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type) override = 0;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override = 0;
    // Fills `out` from `in`. The output sample arrives with the input's
    // times, media times and flags; its actual length is the filter's to set.
    virtual HRESULT Transform(IMediaSample* in, IMediaSample* out) = 0;

    HRESULT Receive(IMediaSample* sample) override;
};

// Passes the upstream allocator on, so the sample delivered is the sample
// received.
class TBCTransInPlaceFilter : public TransformFilterBase
{
public:
    using TransformFilterBase::TransformFilterBase;

    virtual HRESULT Transform(IMediaSample* sample) = 0;

    HRESULT DecideOutputAllocator(IMemInputPin* pin, IMemAllocator** allocator) override;
    HRESULT Receive(IMediaSample* sample) override;
};
