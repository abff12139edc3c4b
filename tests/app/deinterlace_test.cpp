// Repairing combed frames: which pixels the comb test takes, how they pair
// and what they become, then real interlaced and progressive clips.

#include "app/deinterlace.h"
#include "tests/media/clip_reader.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace {

// A picture whose rows are given colours, one per row, all columns alike.
QImage Rows(int width, std::initializer_list<QRgb> rows, QImage::Format format = QImage::Format_ARGB32)
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

// Pixels that differ between two pictures of one size.
int Changed(const QImage& a, const QImage& b)
{
    int changed = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            changed += a.pixel(x, y) != b.pixel(x, y);
    return changed;
}

// The repair written plainly, mask by mask, pixel by pixel: what the fast
// one must agree with on real pictures.
QImage PlainRepair(const QImage& source)
{
    const int w = source.width(), h = source.height();
    std::vector<std::vector<int>> m1(static_cast<size_t>(h), std::vector<int>(static_cast<size_t>(w)));
    auto m2 = m1;
    for (int y = 1; y < h - 1; y += 2)
        for (int x = 0; x < w; ++x) {
            const QRgb a = source.pixel(x, y - 1), b = source.pixel(x, y), c = source.pixel(x, y + 1);
            const int d = 3 * (qRed(a) - qRed(b)) * (qRed(c) - qRed(b)) +
                          6 * (qGreen(a) - qGreen(b)) * (qGreen(c) - qGreen(b)) +
                          (qBlue(a) - qBlue(b)) * (qBlue(c) - qBlue(b));
            m1[size_t(y)][size_t(x)] = d > 2000;
        }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int other = x < w - 1 ? x + 1 : x - 1;
            m2[size_t(y)][size_t(x)] = m1[size_t(y)][size_t(x)] && other >= 0 && m1[size_t(y)][size_t(other)];
        }
    QImage result = source.copy();
    for (int y = 1; y < h - 1; y += 2)
        for (int x = 0; x < w; ++x)
            if (m2[size_t(y)][size_t(x)]) {
                const QRgb a = source.pixel(x, y - 1), c = source.pixel(x, y + 1);
                result.setPixel(x, y,
                                qRgba((qRed(a) + qRed(c)) / 2, (qGreen(a) + qGreen(c)) / 2, (qBlue(a) + qBlue(c)) / 2,
                                      qAlpha(source.pixel(x, y))));
            }
    return result;
}

} // namespace

TEST(Deinterlace, CombedOddRowsBecomeTheMeanOfTheirNeighboursAndKeepTheirFourthByte)
{
    const QRgb dark = qRgba(10, 20, 30, 255), light = qRgba(250, 240, 230, 0x12), mid = qRgba(40, 60, 80, 255);
    const QImage source = Rows(4, {dark, light, mid, light, dark, light});
    QImage result;
    DeinterlaceBitmap(source, result);
    ASSERT_EQ(result.size(), source.size());
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(result.pixel(x, 0), dark);
        EXPECT_EQ(result.pixel(x, 1), qRgba(25, 40, 55, 0x12)) << x;
        EXPECT_EQ(result.pixel(x, 2), mid);
        EXPECT_EQ(result.pixel(x, 3), qRgba(25, 40, 55, 0x12)) << x;
        EXPECT_EQ(result.pixel(x, 4), dark);
        // The last row has no row below: never touched.
        EXPECT_EQ(result.pixel(x, 5), light);
    }
    // The source is left as it was, also when it is the destination.
    EXPECT_EQ(source.pixel(0, 1), light);
    QImage inPlace = source;
    DeinterlaceBitmap(inPlace, inPlace);
    EXPECT_EQ(inPlace, result);
}

TEST(Deinterlace, OnlyLinesDifferingFromBothNeighboursTheSameWayAboveTheThresholdAreCombed)
{
    // Blue alone: (a - b) * (c - b) = 40 * 50 = 2000 is not above it, 40 * 51 is.
    const QRgb b = qRgb(0, 0, 100);
    QImage result;
    DeinterlaceBitmap(Rows(2, {qRgb(0, 0, 140), b, qRgb(0, 0, 150)}), result);
    EXPECT_EQ(result.pixel(0, 1), b);
    DeinterlaceBitmap(Rows(2, {qRgb(0, 0, 140), b, qRgb(0, 0, 151)}), result);
    EXPECT_EQ(result.pixel(0, 1), qRgb(0, 0, 145));

    // Red weighs three: 3 * 26 * 26 = 2028; green six: 6 * 19 * 19 = 2166.
    DeinterlaceBitmap(Rows(2, {qRgb(126, 0, 0), qRgb(100, 0, 0), qRgb(126, 0, 0)}), result);
    EXPECT_EQ(result.pixel(0, 1), qRgb(126, 0, 0));
    DeinterlaceBitmap(Rows(2, {qRgb(0, 119, 0), qRgb(0, 100, 0), qRgb(0, 119, 0)}), result);
    EXPECT_EQ(result.pixel(0, 1), qRgb(0, 119, 0));
    DeinterlaceBitmap(Rows(2, {qRgb(125, 0, 0), qRgb(100, 0, 0), qRgb(125, 0, 0)}), result);
    EXPECT_EQ(result.pixel(0, 1), qRgb(100, 0, 0)) << "3 * 25 * 25 = 1875";

    // A ramp (brighter above, darker below) is detail, not combing.
    DeinterlaceBitmap(Rows(2, {qRgb(250, 250, 250), qRgb(128, 128, 128), qRgb(0, 0, 0)}), result);
    EXPECT_EQ(result.pixel(0, 1), qRgb(128, 128, 128));
}

TEST(Deinterlace, ACombedPixelIsRepairedOnlyBesideAnotherOnItsLine)
{
    const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255);
    // Row 1: white at x = 1 and x = 2 of 3; x = 2 is the last column and
    // pairs with its left neighbour.
    QImage source = Rows(3, {black, black, black});
    source.setPixel(1, 1, white);
    source.setPixel(2, 1, white);
    QImage result;
    DeinterlaceBitmap(source, result);
    EXPECT_EQ(result.pixel(1, 1), black);
    EXPECT_EQ(result.pixel(2, 1), black);

    // White at x = 0 and x = 2: neither has a combed neighbour.
    source = Rows(3, {black, black, black});
    source.setPixel(0, 1, white);
    source.setPixel(2, 1, white);
    DeinterlaceBitmap(source, result);
    EXPECT_EQ(result, source);

    // One column only: nothing to pair with.
    source = Rows(1, {black, white, black});
    DeinterlaceBitmap(source, result);
    EXPECT_EQ(result, source);
}

TEST(Deinterlace, PicturesWithoutFourBytePixelsAreCopiedUnchanged)
{
    const QImage source = Rows(4, {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(0, 0, 0)}, QImage::Format_RGB888);
    QImage result;
    DeinterlaceBitmap(source, result);
    EXPECT_EQ(result.format(), QImage::Format_RGB888);
    EXPECT_EQ(result, source);
}

TEST(Deinterlace, ChangesAnInterlacedClipAndLeavesAProgressiveOneNearlyAlone)
{
    const std::vector<QImage> interlaced = clips::decodeFrames(clips::path("interlaced_pal.mpg"), 6);
    const std::vector<QImage> progressive = clips::decodeFrames(clips::path("dv_pal.dv"), 6);
    ASSERT_EQ(interlaced.size(), 6u);
    ASSERT_EQ(progressive.size(), 6u);
    for (int i : {2, 5}) {
        const QImage& woven = interlaced[size_t(i)];
        QImage repaired;
        DeinterlaceBitmap(woven, repaired);
        const int pixels = woven.width() * woven.height();
        EXPECT_GT(Changed(woven, repaired), pixels / 100) << "frame " << i;
        // The barcode band has no combing and still names the frame.
        EXPECT_EQ(clips::readBarcode(repaired), i);

        // Every width, whatever its remainder in blocks of pixels.
        for (int width : {720, 719, 717}) {
            const QImage cropped = woven.copy(0, 0, width, woven.height());
            QImage fast;
            DeinterlaceBitmap(cropped, fast);
            EXPECT_EQ(fast, PlainRepair(cropped)) << width;
        }

        const QImage& still = progressive[size_t(i)];
        DeinterlaceBitmap(still, repaired);
        EXPECT_LT(Changed(still, repaired), pixels / 250) << "frame " << i;
    }
}
