// Any bytes as the start of an MPEG video sequence header.
#include "media/parsers/mpeg_header.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (IsMpegSequenceHeader(data, size) && MpegFrameRate(data, size) < 0)
        std::abort();
    if (MpegHorizontalSize(data, size) > 4095 || MpegVerticalSize(data, size) > 4095)
        std::abort();
    const int aspect = MpegAspectKind(data, size);
    if (aspect < 0 || aspect > 2)
        std::abort();
    return 0;
}
