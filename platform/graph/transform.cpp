#include "platform/graph/transform.h"

#include "platform/graph/gui_wait.h"
#include "platform/graph/sample.h"

#include <utility>

// --- pins --------------------------------------------------------------------

HRESULT TransformFilterBase::receive(IMediaSample* sample)
{
    std::lock_guard lock(streamLock_);
    return Receive(sample);
}

HRESULT TransformFilterBase::endOfStream()
{
    std::lock_guard lock(streamLock_);
    return EndOfStream();
}

HRESULT TransformFilterBase::newSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    std::lock_guard lock(streamLock_);
    return NewSegment(start, stop, rate);
}

HRESULT TransformFilterBase::endFlush()
{
    // A source ends its flushes on its streaming thread: Stop does not end
    // the streaming meanwhile.
    std::lock_guard lock(streamLock_);
    return EndFlush();
}

TransformOutputPin::TransformOutputPin(TransformFilterBase* filter)
    : BaseOutputPin(filter, u"Output"), transform_(filter)
{
}

HRESULT TransformOutputPin::CheckMediaType(const AM_MEDIA_TYPE* type)
{
    const TransformInputPin* input = transform_->input();
    if (!input->isConnected())
        return VFW_E_NOT_CONNECTED;
    return transform_->CheckTransform(&input->mediaType(), type);
}

HRESULT TransformOutputPin::GetMediaType(int position, AM_MEDIA_TYPE* type)
{
    if (!transform_->input()->isConnected())
        return VFW_E_NOT_CONNECTED;
    return transform_->GetMediaType(position, type);
}

HRESULT TransformOutputPin::SetMediaType(const AM_MEDIA_TYPE* type)
{
    BaseOutputPin::SetMediaType(type);
    return transform_->SetMediaType(PINDIR_OUTPUT, type);
}

HRESULT TransformOutputPin::CheckConnect(IPin* pin)
{
    const HRESULT hr = BaseOutputPin::CheckConnect(pin);
    return FAILED(hr) ? hr : transform_->CheckConnect(PINDIR_OUTPUT, pin);
}

HRESULT TransformOutputPin::CompleteConnect(IPin* receivePin)
{
    const HRESULT hr = BaseOutputPin::CompleteConnect(receivePin);
    return FAILED(hr) ? hr : transform_->CompleteConnect(PINDIR_OUTPUT, receivePin);
}

HRESULT TransformOutputPin::BreakConnect()
{
    BaseOutputPin::BreakConnect();
    return transform_->BreakConnect(PINDIR_OUTPUT);
}

HRESULT TransformOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    return transform_->DecideBufferSize(allocator, request);
}

HRESULT TransformOutputPin::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator)
{
    return transform_->DecideOutputAllocator(pin, allocator);
}

// --- the shared base ---------------------------------------------------------

TransformFilterBase::TransformFilterBase(const CLSID& classId, std::u16string name)
    : BaseFilter(classId, std::move(name)), input_(std::make_unique<TransformInputPin>(this)),
      output_(std::make_unique<TransformOutputPin>(this))
{
}

TransformFilterBase::~TransformFilterBase() = default;

BasePin* TransformFilterBase::GetPin(int index)
{
    switch (index) {
    case 0:
        return input_.get();
    case 1:
        return output_.get();
    default:
        return nullptr;
    }
}

HRESULT TransformFilterBase::CheckTransform(const AM_MEDIA_TYPE*, const AM_MEDIA_TYPE*)
{
    return S_OK;
}

HRESULT TransformFilterBase::GetMediaType(int position, AM_MEDIA_TYPE* type)
{
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0 || !input_->isConnected())
        return VFW_S_NO_MORE_ITEMS;
    *type = input_->mediaType();
    return S_OK;
}

HRESULT TransformFilterBase::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    request->cBuffers = std::max<LONG>(request->cBuffers, 1);
    request->cbBuffer = std::max<LONG>(request->cbBuffer, 1);
    ALLOCATOR_PROPERTIES actual;
    return allocator->SetProperties(request, &actual);
}

HRESULT TransformFilterBase::DecideOutputAllocator(IMemInputPin* pin, IMemAllocator** allocator)
{
    return output_->BaseOutputPin::DecideAllocator(pin, allocator);
}

HRESULT TransformFilterBase::SetMediaType(PIN_DIRECTION, const AM_MEDIA_TYPE*)
{
    return S_OK;
}
HRESULT TransformFilterBase::CheckConnect(PIN_DIRECTION, IPin*)
{
    return S_OK;
}
HRESULT TransformFilterBase::CompleteConnect(PIN_DIRECTION, IPin*)
{
    return S_OK;
}
HRESULT TransformFilterBase::BreakConnect(PIN_DIRECTION)
{
    return S_OK;
}
HRESULT TransformFilterBase::StartStreaming()
{
    return S_OK;
}
HRESULT TransformFilterBase::StopStreaming()
{
    return S_OK;
}

HRESULT TransformFilterBase::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    return output_->isConnected() ? output_->DeliverNewSegment(start, stop, rate) : S_OK;
}

HRESULT TransformFilterBase::EndOfStream()
{
    return output_->isConnected() ? output_->DeliverEndOfStream() : S_OK;
}

HRESULT TransformFilterBase::BeginFlush()
{
    return output_->isConnected() ? output_->DeliverBeginFlush() : S_OK;
}

HRESULT TransformFilterBase::EndFlush()
{
    return output_->isConnected() ? output_->DeliverEndFlush() : S_OK;
}

HRESULT TransformFilterBase::Pause()
{
    std::lock_guard lock(filterLock());
    if (state() == State_Stopped && input_->isConnected()) {
        HRESULT hr = StartStreaming();
        if (SUCCEEDED(hr)) {
            streaming_ = true;
            hr = BaseFilter::Pause();
            if (FAILED(hr))
                stopStreaming();
        }
        return hr;
    }
    return BaseFilter::Pause();
}

HRESULT TransformFilterBase::stopStreaming()
{
    const bool wasStreaming = std::exchange(streaming_, false);
    return wasStreaming ? StopStreaming() : S_OK;
}

HRESULT TransformFilterBase::Stop()
{
    std::lock_guard lock(filterLock());
    if (state() == State_Stopped)
        return S_OK;
    // Decommitting first releases a Receive waiting for an output buffer.
    const HRESULT hr = BaseFilter::Stop();
    auto streaming = lockServingMessages(streamLock_);
    const HRESULT stopped = stopStreaming();
    return FAILED(hr) ? hr : stopped;
}

// --- copy and in-place -------------------------------------------------------

HRESULT TBCTransformFilter::Receive(IMediaSample* in)
{
    if (!output()->isConnected())
        return S_OK;
    ComPtr<IMediaSample> out;
    HRESULT hr = output()->GetDeliveryBuffer(out.put(), nullptr, nullptr, 0);
    if (FAILED(hr))
        return state() == State_Stopped || input()->isFlushing() ? S_FALSE : hr;

    CopySampleProperties(in, out.get());
    hr = Transform(in, out.get());
    if (hr == S_FALSE)
        return S_OK;
    return hr == S_OK ? output()->Deliver(out.get()) : hr;
}

HRESULT TBCTransInPlaceFilter::DecideOutputAllocator(IMemInputPin* pin, IMemAllocator** allocator)
{
    if (IMemAllocator* upstream = input()->PeekAllocator()) {
        const HRESULT hr = pin->NotifyAllocator(upstream, input()->isReadOnly());
        return FAILED(hr) ? hr : copyOut<IMemAllocator>(upstream, allocator);
    }
    return TransformFilterBase::DecideOutputAllocator(pin, allocator);
}

HRESULT TBCTransInPlaceFilter::Receive(IMediaSample* sample)
{
    const HRESULT hr = Transform(sample);
    if (hr == S_FALSE)
        return S_OK;
    if (hr != S_OK)
        return hr;
    return output()->isConnected() ? output()->Deliver(sample) : S_OK;
}
