// Repairing combed frames: which pixels the comb test takes, how they pair
// and what they become, then real interlaced and progressive clips.

#include "app/deinterlace.h"
#include "tests/media/clip_reader.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace {

// Five columns: four go through the fast path a block at a time, the last
// alone. Row colours are given top to bottom.
QImage Rows(std::initializer_list<QRgb> rows, QImage::Format format = QImage::Format_ARGB32, int width = 5)
{
    QImage image(width, int(rows.size()), format);
    int y = 0;
    for (QRgb colour : rows) {
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, colour);
        ++y;
    }
    return image;
}

// Row 1 of the repaired picture, at column x.
QRgb Repaired(const QImage& source, int x)
{
    QImage result;
    DeinterlaceBitmap(source, result);
    return result.pixel(x, 1);
}

int Changed(const QImage& a, const QImage& b)
{
    int changed = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            changed += a.pixel(x, y) != b.pixel(x, y);
    return changed;
}

} // namespace

TEST(Deinterlace, WeightsThresholdDirectionAndPairing)
{
    // A combed line becomes the mean of its neighbours and keeps its fourth
    // byte; the last line has none below and is kept.
    const QRgb dark = qRgb(10, 20, 30), light = qRgba(250, 240, 230, 0x12), mid = qRgb(40, 60, 80);
    const QImage woven = Rows({dark, light, mid, light});
    QImage result;
    DeinterlaceBitmap(woven, result);
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(result.pixel(x, 1), qRgba(25, 40, 55, 0x12)) << x;
        EXPECT_EQ(result.pixel(x, 3), light) << x;
    }
    QImage inPlace = woven;
    DeinterlaceBitmap(inPlace, inPlace);
    EXPECT_EQ(inPlace, result);
    EXPECT_EQ(woven.pixel(0, 1), light);

    for (int x : {0, 4}) {
        // Blue weighs one: 40 * 50 = 2000 is not above the threshold, 40 * 51 is.
        EXPECT_EQ(Repaired(Rows({qRgb(0, 0, 140), qRgb(0, 0, 100), qRgb(0, 0, 150)}), x), qRgb(0, 0, 100));
        EXPECT_EQ(Repaired(Rows({qRgb(0, 0, 140), qRgb(0, 0, 100), qRgb(0, 0, 151)}), x), qRgb(0, 0, 145));
        // Red three: 3 * 26 * 26 is above, 3 * 25 * 25 not; green six: 6 * 19 * 19.
        EXPECT_EQ(Repaired(Rows({qRgb(126, 0, 0), qRgb(100, 0, 0), qRgb(126, 0, 0)}), x), qRgb(126, 0, 0));
        EXPECT_EQ(Repaired(Rows({qRgb(125, 0, 0), qRgb(100, 0, 0), qRgb(125, 0, 0)}), x), qRgb(100, 0, 0));
        EXPECT_EQ(Repaired(Rows({qRgb(0, 119, 0), qRgb(0, 100, 0), qRgb(0, 119, 0)}), x), qRgb(0, 119, 0));
        // A ramp is detail, not combing.
        EXPECT_EQ(Repaired(Rows({qRgb(250, 250, 250), qRgb(128, 128, 128), qRgb(0, 0, 0)}), x), qRgb(128, 128, 128));
    }

    // Three columns, too few for a block: each pixel is tested alone.
    for (int x : {0, 2}) {
        EXPECT_EQ(Repaired(Rows({qRgb(0, 0, 140), qRgb(0, 0, 100), qRgb(0, 0, 150)}, QImage::Format_ARGB32, 3), x),
                  qRgb(0, 0, 100));
        EXPECT_EQ(Repaired(Rows({qRgb(0, 0, 140), qRgb(0, 0, 100), qRgb(0, 0, 151)}, QImage::Format_ARGB32, 3), x),
                  qRgb(0, 0, 145));
        EXPECT_EQ(Repaired(Rows({qRgb(125, 0, 0), qRgb(100, 0, 0), qRgb(125, 0, 0)}, QImage::Format_ARGB32, 3), x),
                  qRgb(100, 0, 0));
        EXPECT_EQ(Repaired(Rows({qRgb(0, 119, 0), qRgb(0, 100, 0), qRgb(0, 119, 0)}, QImage::Format_ARGB32, 3), x),
                  qRgb(0, 119, 0));
    }

    // Pairs: x = 3 with x = 4, and x = 4, the last, with its left neighbour;
    // x = 1 has no combed neighbour.
    QImage source = Rows({dark, dark, dark});
    for (int x : {1, 3, 4})
        source.setPixel(x, 1, light);
    DeinterlaceBitmap(source, result);
    EXPECT_EQ(result.pixel(1, 1), light);
    EXPECT_EQ(result.pixel(3, 1), qRgba(10, 20, 30, 0x12));
    EXPECT_EQ(result.pixel(4, 1), qRgba(10, 20, 30, 0x12));
    // A combed pixel alone at either end, through the fast path and without
    // it, has no combed neighbour: the last one pairs with its left one, not
    // with itself.
    for (int width : {5, 3})
        for (int x : {0, width - 1}) {
            QImage alone = Rows({dark, dark, dark}, QImage::Format_ARGB32, width);
            alone.setPixel(x, 1, light);
            DeinterlaceBitmap(alone, result);
            EXPECT_EQ(result, alone) << width << " columns, combed at " << x;
        }

    // Other pixel formats are copied as they are.
    const QImage packed = Rows({dark, light, dark}, QImage::Format_RGB888);
    DeinterlaceBitmap(packed, result);
    EXPECT_EQ(result, packed);
}

TEST(Deinterlace, ChangesAnInterlacedClipAndLeavesAProgressiveOneNearlyAlone)
{
    const std::vector<QImage> interlaced = clips::decodeFrames(clips::path("interlaced_pal.mpg"), 6);
    const std::vector<QImage> progressive = clips::decodeFrames(clips::path("dv_pal.dv"), 6);
    ASSERT_EQ(interlaced.size(), 6u);
    ASSERT_EQ(progressive.size(), 6u);
    QImage work;
    for (int i : {2, 5}) {
        // The work picture of the last frame is reused.
        const QImage& woven = interlaced[size_t(i)];
        DeinterlaceBitmap(woven, work);
        const int pixels = woven.width() * woven.height();
        EXPECT_GT(Changed(woven, work), pixels / 100) << "frame " << i;
        EXPECT_EQ(clips::readBarcode(work), i);
        const QImage& still = progressive[size_t(i)];
        DeinterlaceBitmap(still, work);
        EXPECT_LT(Changed(still, work), pixels / 250) << "frame " << i;
    }
}
