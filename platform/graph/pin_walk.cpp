#include "platform/graph/pin_walk.h"

std::vector<ComPtr<IPin>> pinsOf(IBaseFilter* filter)
{
    std::vector<ComPtr<IPin>> pins;
    ComPtr<IEnumPins> list;
    if (FAILED(filter->EnumPins(list.put())))
        return pins;
    ComPtr<IPin> pin;
    while (list->Next(1, pin.put(), nullptr) == S_OK)
        pins.push_back(pin);
    return pins;
}

PIN_DIRECTION directionOf(IPin* pin)
{
    PIN_DIRECTION direction = PINDIR_INPUT;
    pin->QueryDirection(&direction);
    return direction;
}

ComPtr<IPin> peerOf(IPin* pin)
{
    ComPtr<IPin> peer;
    pin->ConnectedTo(peer.put());
    return peer;
}

ComPtr<IBaseFilter> filterOf(IPin* pin)
{
    PIN_INFO info;
    pin->QueryPinInfo(&info);
    return info.pFilter;
}

ComPtr<IPin> firstPin(IBaseFilter* filter, PIN_DIRECTION direction)
{
    for (const ComPtr<IPin>& pin : pinsOf(filter)) {
        if (directionOf(pin.get()) == direction)
            return pin;
    }
    return nullptr;
}

ComPtr<IPin> firstFreePin(IBaseFilter* filter, PIN_DIRECTION direction)
{
    for (const ComPtr<IPin>& pin : pinsOf(filter)) {
        if (directionOf(pin.get()) == direction && !peerOf(pin.get()))
            return pin;
    }
    return nullptr;
}
