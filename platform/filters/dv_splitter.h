#pragma once
// The DV splitter: takes interleaved DV (whole frames of 144,000 bytes for
// 625/50 or 120,000 for 525/60, type dvsd) and hands each frame on whole on
// its video pin, with the frame's sound as 16-bit PCM on its audio pin.

#include "platform/graph/interfaces.h"

constexpr CLSID CLSID_DVSplitter = "{4EB31670-9FC6-11CF-AF6E-00AA00B67A42}"_guid;

ComPtr<IBaseFilter> createDVSplitter();
