#include "platform/graph/pin_walk.h"

#include <utility>

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

bool IsFilterConnected(IBaseFilter* filter)
{
    for (const ComPtr<IPin>& pin : pinsOf(filter)) {
        if (peerOf(pin.get()))
            return true;
    }
    return false;
}

namespace {
// The filters feeding the connected input pins of the filter, with the pins
// at both ends of each connection.
struct Feed
{
    ComPtr<IPin> input;
    ComPtr<IPin> output;
    ComPtr<IBaseFilter> filter;
};

std::vector<Feed> feedsOf(IBaseFilter* filter)
{
    std::vector<Feed> feeds;
    for (const ComPtr<IPin>& pin : pinsOf(filter)) {
        if (directionOf(pin.get()) != PINDIR_INPUT)
            continue;
        if (ComPtr<IPin> peer = peerOf(pin.get())) {
            ComPtr<IBaseFilter> upstream = filterOf(peer.get());
            feeds.push_back({pin, std::move(peer), std::move(upstream)});
        }
    }
    return feeds;
}
} // namespace

bool IsUpstreamFilter(IBaseFilter* a, IBaseFilter* b)
{
    for (const Feed& feed : feedsOf(a)) {
        if (feed.filter.get() == b || (feed.filter && IsUpstreamFilter(feed.filter.get(), b)))
            return true;
    }
    return false;
}

void RemoveFiltersUpTo(IFilterGraph* graph, IBaseFilter* a, IBaseFilter* b)
{
    for (const Feed& feed : feedsOf(a)) {
        graph->Disconnect(feed.output.get());
        graph->Disconnect(feed.input.get());
        if (!feed.filter || feed.filter.get() == b)
            continue;
        RemoveFiltersUpTo(graph, feed.filter.get(), b);
        graph->RemoveFilter(feed.filter.get());
    }
}
