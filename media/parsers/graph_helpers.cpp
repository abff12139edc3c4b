#include "media/parsers/graph_helpers.h"

#include "platform/graph/pin_walk.h"

#include <utility>
#include <vector>

void CopySampleProperties(IMediaSample* source, IMediaSample* dest)
{
    REFERENCE_TIME start = 0, stop = 0;
    const HRESULT time = source->GetTime(&start, &stop);
    if (time == VFW_S_NO_STOP_TIME)
        dest->SetTime(&start, nullptr);
    else if (SUCCEEDED(time))
        dest->SetTime(&start, &stop);
    else
        dest->SetTime(nullptr, nullptr);

    LONGLONG mediaStart = 0, mediaStop = 0;
    if (SUCCEEDED(source->GetMediaTime(&mediaStart, &mediaStop)))
        dest->SetMediaTime(&mediaStart, &mediaStop);
    else
        dest->SetMediaTime(nullptr, nullptr);

    dest->SetSyncPoint(source->IsSyncPoint() == S_OK);
    dest->SetPreroll(source->IsPreroll() == S_OK);
    dest->SetDiscontinuity(source->IsDiscontinuity() == S_OK);
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
