#pragma once
// Volume, balance and mute as gains on interleaved 16-bit samples. Volume
// runs from 0 (silent) to 10000 (as decoded) as a linear gain; balance from
// -10000 (left only) to 10000 (right only) attenuates the other side.

#include "platform/core/types.h"

#include <cstddef>
#include <cstdint>

constexpr LONG kFullVolume = 10000;

struct ChannelGains
{
    double left = 1;
    double right = 1;
    bool unity() const { return left == 1 && right == 1; }
};

ChannelGains gainsOf(LONG volume, LONG balance, bool muted);

// Mono samples take the left gain.
void applyGains(std::int16_t* samples, std::size_t count, int channels, ChannelGains gains);
