#pragma once
// Small walks over a filter's pins and along the connections between filters,
// for code that knows filters and pins only by their interfaces.

#include "platform/graph/interfaces.h"

#include <vector>

std::vector<ComPtr<IPin>> pinsOf(IBaseFilter* filter);
PIN_DIRECTION directionOf(IPin* pin);
// The pin at the other end of the connection, or null.
ComPtr<IPin> peerOf(IPin* pin);
ComPtr<IBaseFilter> filterOf(IPin* pin);
// The filter's first pin of that direction, or null.
ComPtr<IPin> firstPin(IBaseFilter* filter, PIN_DIRECTION direction);
// The filter's first unconnected pin of that direction, or null.
ComPtr<IPin> firstFreePin(IBaseFilter* filter, PIN_DIRECTION direction);

// One of the filter's pins is connected.
bool IsFilterConnected(IBaseFilter* filter);
// b feeds a: it is reached through a's connected input pins, at any distance.
bool IsUpstreamFilter(IBaseFilter* a, IBaseFilter* b);
// Walks upstream from a, undoing each connection met and removing each
// filter met from the graph, until b: a and b stay in the graph, and the
// input pins of a and the output pins of b that led along the way end up
// unconnected. When b does not feed a, everything upstream of a goes.
void RemoveFiltersUpTo(IFilterGraph* graph, IBaseFilter* a, IBaseFilter* b);
