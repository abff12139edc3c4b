#include "media/parsers/mpeg_header.h"

namespace {
constexpr std::size_t kHeaderSize = 8;

bool complete(const BYTE* data, std::size_t size)
{
    return data && size >= kHeaderSize;
}
} // namespace

bool IsMpegSequenceHeader(const BYTE* data, std::size_t size)
{
    return complete(data, size) && data[0] == 0 && data[1] == 0 && data[2] == 1 && data[3] == 0xB3 &&
           (data[7] & 0xF0) != 0 && (data[7] & 0x0F) != 0;
}

int MpegHorizontalSize(const BYTE* data, std::size_t size)
{
    return complete(data, size) ? data[4] * 16 + data[5] / 16 : 0;
}

int MpegVerticalSize(const BYTE* data, std::size_t size)
{
    return complete(data, size) ? (data[5] & 0x0F) * 256 + data[6] : 0;
}

int MpegAspectKind(const BYTE* data, std::size_t size)
{
    if (!complete(data, size))
        return 2;
    switch (data[7] >> 4) {
    case 2:
        return 0;
    case 3:
        return 1;
    default:
        return 2;
    }
}

double MpegFrameRate(const BYTE* data, std::size_t size)
{
    if (!complete(data, size))
        return 0;
    switch (data[7] & 0x0F) {
    case 1:
        return 24000.0 / 1001;
    case 2:
        return 24;
    case 3:
        return 25;
    case 4:
        return 30000.0 / 1001;
    case 5:
        return 30;
    case 6:
        return 50;
    case 7:
        return 60000.0 / 1001;
    case 8:
        return 60;
    default:
        return 0;
    }
}
