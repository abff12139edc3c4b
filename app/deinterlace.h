#pragma once
// Repairs the combing of an interlaced frame: where a line differs strongly
// from both lines around it in the same direction (a moving edge caught by
// two fields), the pixel becomes the mean of the pixels above and below. The
// first, the last and every even line are kept, and so is a progressive
// picture's detail, which never differs from both neighbours that way.

#include <QImage>

// `destination` becomes a copy of `source`, repaired where `source` has
// 32-bit pixels (blue, green, red and a fourth byte, which is kept); any
// other format is copied unchanged. `source` may be `destination`. A
// destination of the same size and format that shares its pixels with no
// other picture keeps its memory.
void DeinterlaceBitmap(const QImage& source, QImage& destination);

// Whether the pixels of `format` are 32 bits: blue, green, red and a fourth
// byte, in memory order.
bool HasFourBytePixels(QImage::Format format);
