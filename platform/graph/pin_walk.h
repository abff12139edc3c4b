#pragma once
// Small walks over a filter's pins, for code that knows filters and pins only
// by their interfaces.

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
