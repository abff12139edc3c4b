#include "platform/graph/capture_graph_builder.h"

#include "platform/graph/pin_walk.h"

namespace {

bool pinMatches(IPin* pin, PIN_DIRECTION direction, const GUID* category, const GUID* type, BOOL unconnected)
{
    PIN_DIRECTION actual;
    if (FAILED(pin->QueryDirection(&actual)) || actual != direction)
        return false;
    ComPtr<IPin> peer;
    const bool connected = SUCCEEDED(pin->ConnectedTo(peer.put()));
    if (unconnected && connected)
        return false;
    if (category) {
        GUID pinCategory;
        const auto categorised = ComPtr<IPin>(pin).as<IAMPinCategory>();
        if (!categorised || FAILED(categorised->GetCategory(&pinCategory)) || pinCategory != *category)
            return false;
    }
    if (!type)
        return true;
    // A connected pin has its type; a free one is judged by its offers.
    if (connected) {
        AM_MEDIA_TYPE mt;
        return SUCCEEDED(pin->ConnectionMediaType(&mt)) && mt.majortype == *type;
    }
    ComPtr<IEnumMediaTypes> types;
    if (FAILED(pin->EnumMediaTypes(types.put())))
        return false;
    AM_MEDIA_TYPE* offered = nullptr;
    bool found = false;
    while (!found && types->Next(1, &offered, nullptr) == S_OK) {
        found = offered->majortype == *type;
        DeleteMediaType(offered);
    }
    return found;
}

} // namespace

HRESULT CaptureGraphBuilder::SetFiltergraph(IGraphBuilder* graph)
{
    graph_ = graph;
    return S_OK;
}

HRESULT CaptureGraphBuilder::GetFiltergraph(IGraphBuilder** graph)
{
    return graph_ ? copyOut<IGraphBuilder>(graph_.get(), graph) : E_UNEXPECTED;
}

HRESULT CaptureGraphBuilder::FindInterface(const GUID* category, const GUID* type, IBaseFilter* filter, REFIID riid,
                                           void** object)
{
    if (!filter || !object)
        return E_POINTER;
    if (SUCCEEDED(filter->QueryInterface(riid, object)))
        return S_OK;
    for (const PIN_DIRECTION direction : {PINDIR_OUTPUT, PINDIR_INPUT}) {
        for (int i = 0;; ++i) {
            ComPtr<IPin> pin;
            if (FAILED(FindPin(filter, direction, category, type, FALSE, i, pin.put())))
                break;
            if (SUCCEEDED(pin->QueryInterface(riid, object)))
                return S_OK;
        }
    }
    return E_NOINTERFACE;
}

HRESULT CaptureGraphBuilder::FindPin(IUnknown* source, PIN_DIRECTION direction, const GUID* category, const GUID* type,
                                     BOOL unconnected, int index, IPin** pin)
{
    if (!source || !pin)
        return E_POINTER;
    *pin = nullptr;
    ComPtr<IUnknown> unknown(source);
    if (const auto given = unknown.as<IPin>()) {
        if (index == 0 && pinMatches(given.get(), direction, category, type, unconnected))
            return copyOut<IPin>(given.get(), pin);
        return E_FAIL;
    }
    const auto filter = unknown.as<IBaseFilter>();
    if (!filter)
        return E_INVALIDARG;
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.put())))
        return E_FAIL;
    ComPtr<IPin> candidate;
    int found = 0;
    while (pins->Next(1, candidate.put(), nullptr) == S_OK) {
        if (pinMatches(candidate.get(), direction, category, type, unconnected) && found++ == index)
            return copyOut<IPin>(candidate.get(), pin);
    }
    return E_FAIL;
}

HRESULT CaptureGraphBuilder::RenderStream(const GUID* category, const GUID* type, IUnknown* source,
                                          IBaseFilter* intermediate, IBaseFilter* sink)
{
    if (!source)
        return E_POINTER;
    if (!graph_)
        return E_UNEXPECTED;
    ComPtr<IPin> output;
    HRESULT hr = FindPin(source, PINDIR_OUTPUT, category, type, TRUE, 0, output.put());
    if (FAILED(hr))
        return hr;
    if (intermediate) {
        const ComPtr<IPin> input = firstFreePin(intermediate, PINDIR_INPUT);
        if (!input)
            return VFW_E_NOT_FOUND;
        hr = graph_->Connect(output.get(), input.get());
        if (FAILED(hr))
            return hr;
        output = firstFreePin(intermediate, PINDIR_OUTPUT);
        if (!output)
            return sink ? VFW_E_NOT_FOUND : S_OK;
    }
    if (!sink)
        return graph_->Render(output.get());
    const ComPtr<IPin> input = firstFreePin(sink, PINDIR_INPUT);
    return input ? graph_->Connect(output.get(), input.get()) : VFW_E_NOT_FOUND;
}
