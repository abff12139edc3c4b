// screen_frame SHOT: the frame number whose barcode a screenshot shows, or
// -1 when it shows none.
//
// The clip's picture may lie anywhere on the screen at any scale, so each
// row is searched for a stretch of pure black and white that changes colour
// often enough to be the barcode band; the stretch, with its exact ends,
// goes to the clips' own barcode reader. The number most rows agree on
// wins, so that a row through text or an edge cannot decide alone.

#include "tests/media/clip_reader.h"

#include <QImage>

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

// The band is 24 cells across: at least this many pixels, and this many
// changes from black to white or back.
constexpr int kMinWidth = 96;
constexpr int kMinChanges = 11;
// Pixels between a black and a white cell that a scaled picture blends.
constexpr int kMaxBlur = 3;
// Rows that must agree.
constexpr int kMinRows = 3;

enum Shade { other, black, white };

Shade shadeOf(QRgb pixel)
{
    const int low = qMin(qRed(pixel), qMin(qGreen(pixel), qBlue(pixel)));
    const int high = qMax(qRed(pixel), qMax(qGreen(pixel), qBlue(pixel)));
    if (high < 64)
        return black;
    // Light grey borders and backgrounds are not the band's white.
    if (low > 244)
        return white;
    return other;
}

// The number read from the stretch [x0, x1) of row y: the stretch is laid
// where the reader looks for the band of a picture of its width.
int readStretch(const QImage& screen, int y, int x0, int x1)
{
    constexpr int kHeight = 64;
    QImage picture(x1 - x0, kHeight, QImage::Format_RGB32);
    picture.fill(Qt::white);
    const auto* source = reinterpret_cast<const QRgb*>(screen.constScanLine(y)) + x0;
    for (int band = kHeight * 13 / 16; band < kHeight * 15 / 16; ++band)
        std::copy(source, source + (x1 - x0), reinterpret_cast<QRgb*>(picture.scanLine(band)));
    return clips::readBarcode(picture);
}

int frameOnScreen(const QImage& screen)
{
    std::map<int, int> votes;
    for (int y = 0; y < screen.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(screen.constScanLine(y));
        int x = 0;
        while (x < screen.width()) {
            if (shadeOf(row[x]) == other) {
                ++x;
                continue;
            }
            // The stretch runs on over the blurred edges between cells.
            const int start = x;
            int end = x + 1;
            int changes = 0;
            int blur = 0;
            Shade last = shadeOf(row[x]);
            for (++x; x < screen.width(); ++x) {
                const Shade shade = shadeOf(row[x]);
                if (shade == other) {
                    if (++blur > kMaxBlur)
                        break;
                    continue;
                }
                blur = 0;
                changes += shade != last;
                last = shade;
                end = x + 1;
            }
            x = end;
            if (end - start >= kMinWidth && changes >= kMinChanges) {
                const int frame = readStretch(screen, y, start, end);
                if (frame >= 0)
                    ++votes[frame];
            }
        }
    }
    int best = -1;
    int most = kMinRows - 1;
    for (const auto& [frame, rows] : votes) {
        if (rows > most) {
            best = frame;
            most = rows;
        }
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: screen_frame SHOT\n");
        return 2;
    }
    const QImage shot(QString::fromLocal8Bit(argv[1]));
    if (shot.isNull()) {
        std::fprintf(stderr, "screen_frame: cannot read %s\n", argv[1]);
        return 2;
    }
    std::printf("%d\n", frameOnScreen(shot.convertToFormat(QImage::Format_RGB32)));
    return 0;
}
