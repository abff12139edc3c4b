#pragma once
// Helpers over media samples and the connections between filters.

#include "platform/graph/interfaces.h"

// Gives dest the source's start and stop times (the start alone when it has
// no stop, none when it has no time), its media times, and its sync point,
// preroll and discontinuity flags.
void CopySampleProperties(IMediaSample* source, IMediaSample* dest);

// One of the filter's pins is connected.
bool IsFilterConnected(IBaseFilter* filter);
// b feeds a: it is reached through a's connected input pins, at any distance.
bool IsUpstreamFilter(IBaseFilter* a, IBaseFilter* b);
// Walks upstream from a, undoing each connection met and removing each
// filter met from the graph, until b: a and b stay in the graph, and the
// input pins of a and the output pins of b that led along the way end up
// unconnected. When b does not feed a, everything upstream of a goes.
void RemoveFiltersUpTo(IFilterGraph* graph, IBaseFilter* a, IBaseFilter* b);
