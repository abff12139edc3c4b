#pragma once
// Readers of an MPEG-1 or MPEG-2 video sequence header: 00 00 01 B3, then
// 12 bits of width, 12 of height, 4 of aspect code and 4 of frame rate code.
// Each takes the data and its byte count and never reads beyond them.

#include "platform/core/types.h"

#include <cstddef>

// The data starts with a sequence header with an aspect and a frame rate code.
bool IsMpegSequenceHeader(const BYTE* data, std::size_t size);
int MpegHorizontalSize(const BYTE* data, std::size_t size);
int MpegVerticalSize(const BYTE* data, std::size_t size);
// 0 for 4:3, 1 for 16:9, 2 for any other aspect code.
int MpegAspectKind(const BYTE* data, std::size_t size);
// Frames per second of the frame rate code; 0 for a code without a rate.
double MpegFrameRate(const BYTE* data, std::size_t size);
