#include "platform/renderers/audio/audio_gain.h"

#include <cmath>

ChannelGains gainsOf(LONG volume, LONG balance, bool muted)
{
    const double gain = muted ? 0.0 : double(volume) / kFullVolume;
    return {gain * (balance > 0 ? double(kFullVolume - balance) / kFullVolume : 1.0),
            gain * (balance < 0 ? double(kFullVolume + balance) / kFullVolume : 1.0)};
}

void applyGains(std::int16_t* samples, std::size_t count, int channels, ChannelGains gains)
{
    for (std::size_t i = 0; i < count; ++i) {
        const double gain = channels == 2 && i % 2 ? gains.right : gains.left;
        samples[i] = static_cast<std::int16_t>(std::lround(samples[i] * gain));
    }
}
