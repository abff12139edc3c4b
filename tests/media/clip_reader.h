#pragma once
// Reading the generated test clips (tests/media/make-clips.sh).
//
// Every video frame of a clip carries its frame number as a barcode in a band
// from 13/16 to 15/16 of the picture height, across the whole width: 24
// cells, one pair per bit, most significant bit first; in each pair exactly
// one cell is black, the first for a one and the second for a zero.

#include <QByteArray>
#include <QImage>
#include <QString>

#include <vector>

namespace clips {

// The full path of a generated clip.
QString path(const QString& name);

// The frame number in the barcode of an RGB32 picture (bytes B, G, R, X),
// or -1 when the picture carries no readable barcode.
int readBarcode(const uchar* pixels, int width, int height, qsizetype stride);
int readBarcode(const QImage& image);
// The same for a 32-bit device-independent bitmap as a renderer hands out
// its current picture: the header, then rows of B, G, R, X from the bottom.
int readBarcodeFromDib(const uchar* dib);

// The first `count` packets of the file's first video stream, as stored.
std::vector<QByteArray> videoPackets(const QString& file, int count);

// The first `count` frames of the file's first video stream, decoded to
// RGB32 at their coded size. Empty when the file cannot be decoded.
std::vector<QImage> decodeFrames(const QString& file, int count);

} // namespace clips
