#include "media/parsers/graph_helpers.h"

#include "platform/graph/pin_walk.h"
#include "platform/graph/sample.h"

#include <utility>
#include <vector>

void CopySampleProperties(IMediaSample* source, IMediaSample* dest)
{
    copySampleProperties(source, dest);
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
