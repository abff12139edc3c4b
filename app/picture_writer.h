#pragma once
// What a grab makes of the renderer's frame and how it reaches the disk: the
// size of the saved picture at the display aspect, the frame stretched to
// it, and the picture written as JPEG (through libjpeg, at a chosen quality)
// or as a 24-bit BMP.
//
// A picture is written to a temporary file beside its name and put in place
// by a rename only once every byte is out, so a failed write (full disk, no
// permission, folder gone) leaves whatever file had that name untouched and
// no partial file behind.

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

// The size of the saved picture: the frame's size fitted to the display
// aspect `aspectWidth`:`aspectHeight`, keeping the frame's width when the
// display is wider than the frame and its height otherwise (720 x 576 shown
// 16:9 gives 720 x 405, shown 4:3 gives 720 x 540). An aspect term below 1
// keeps the frame's size.
QSize GrabImageSize(int aspectWidth, int aspectHeight, const QSize& native);

// Where a picture of that aspect lies in a panel's client rectangle, 12
// pixels in from each side, relative to the rectangle's top left.
QRect ThumbnailRect(int aspectWidth, int aspectHeight, const QRect& client);

// `picture` becomes the frame stretched (filtered) to `size`, with 32-bit
// pixels; null for a null frame or an empty size. A picture of that size
// that shares its pixels with no other keeps its memory from one grab to
// the next.
void StretchOnto(const QImage& frame, const QSize& size, QImage& picture);

// Writes `picture` to `fileName`, replacing a file of that name only on
// success. False with the system's reason in `error` otherwise.
bool WriteJpegFile(const QImage& picture, const QString& fileName, int quality, QString* error);
bool WriteBmpFile(const QImage& picture, const QString& fileName, QString* error);
// JPEG for an `imageExtension` other than 0 (quality brought into 1..100),
// BMP for 0.
bool WritePictureFile(const QImage& picture, const QString& fileName, int imageExtension, int quality, QString* error);
