#pragma once
// An input pin that does the base pin's part of each call and hands the rest
// to its filter: the one input of the renderers, the transforms and the
// splitters that are pushed to. The filter (a friend) names its part:
//
//   HRESULT checkInput(const AM_MEDIA_TYPE*)    may the input take the type?
//   HRESULT receive(IMediaSample*)              on the upstream thread, as the
//   HRESULT endOfStream()                       two below
//   HRESULT newSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
//   HRESULT beginFlush(), endFlush()            on the thread that flushes
//
// and, where it has a part in them:
//
//   HRESULT setInputType(const AM_MEDIA_TYPE*)
//   HRESULT checkInputConnect(IPin*), completeInputConnect(IPin*)
//   HRESULT breakInputConnect()
//
// Nothing the filter's code throws reaches the upstream thread: a throw from
// receive ends the stream with EC_ERRORABORT.

#include "platform/graph/base_filter.h"

#include <string>
#include <utility>

template <typename Filter> class ForwardingInputPin final : public BaseInputPin
{
public:
    explicit ForwardingInputPin(Filter* filter, std::u16string name = u"Input")
        : BaseInputPin(filter, std::move(name)), owner_(filter)
    {
    }

    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override { return owner_->checkInput(type); }

    HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override
    {
        const HRESULT hr = BaseInputPin::SetMediaType(type);
        if constexpr (requires { owner_->setInputType(type); })
            return owner_->setInputType(type);
        return hr;
    }

    HRESULT CheckConnect(IPin* pin) override
    {
        const HRESULT hr = BaseInputPin::CheckConnect(pin);
        if constexpr (requires { owner_->checkInputConnect(pin); })
            return FAILED(hr) ? hr : owner_->checkInputConnect(pin);
        return hr;
    }

    HRESULT CompleteConnect(IPin* receivePin) override
    {
        if constexpr (requires { owner_->completeInputConnect(receivePin); })
            return owner_->completeInputConnect(receivePin);
        return BaseInputPin::CompleteConnect(receivePin);
    }

    HRESULT BreakConnect() override
    {
        const HRESULT hr = BaseInputPin::BreakConnect();
        if constexpr (requires { owner_->breakInputConnect(); })
            return owner_->breakInputConnect();
        return hr;
    }

    HRESULT Receive(IMediaSample* sample) override
    {
        const HRESULT hr = BaseInputPin::Receive(sample);
        if (hr != S_OK)
            return hr;
        try {
            return owner_->receive(sample);
        } catch (...) {
            owner_->NotifyEvent(EC_ERRORABORT, E_FAIL, 0);
            return E_FAIL;
        }
    }

    HRESULT EndOfStream() override
    {
        const HRESULT hr = BaseInputPin::EndOfStream();
        return hr == S_OK ? owner_->endOfStream() : hr;
    }

    HRESULT BeginFlush() override
    {
        BaseInputPin::BeginFlush();
        return owner_->beginFlush();
    }

    // Downstream is through with the flush before this pin takes samples.
    HRESULT EndFlush() override
    {
        const HRESULT hr = owner_->endFlush();
        BaseInputPin::EndFlush();
        return hr;
    }

    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override
    {
        BaseInputPin::NewSegment(start, stop, rate);
        return owner_->newSegment(start, stop, rate);
    }

private:
    Filter* owner_;
};
