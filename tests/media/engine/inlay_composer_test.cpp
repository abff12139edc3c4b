// The inlay composer alone: where its lines land in the bitmap of a picture's
// size, read back from the pixels that are not the key colour.

#include "media/engine/inlay_composer.h"
#include "tests/common/resident_memory.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr TColor kKey = clFuchsia;

constexpr TColor kText = clYellow;

// The bounds of the pixels that are (or, with `other`, are not) of a colour.
QRect areaOf(const QImage& bitmap, TColor colour, bool other = false)
{
    const QRgb wanted = ColorToQColor(colour).rgb();
    QRect bounds;
    for (int y = 0; y < bitmap.height(); ++y) {
        for (int x = 0; x < bitmap.width(); ++x) {
            if ((bitmap.pixel(x, y) == wanted) != other)
                bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

// Everything drawn over the key colour.
QRect drawnArea(const QImage& bitmap)
{
    return areaOf(bitmap, kKey, true);
}

TInlayComposer styled(int outline, int size)
{
    TInlayComposer inlay;
    inlay.Font.Name = QStringLiteral("Arial");
    inlay.Font.Size = size;
    inlay.Font.Color = kText;
    inlay.BorderWidth = outline;
    inlay.TransparentColor = kKey;
    inlay.Position = TPoint{1000, 1000};
    return inlay;
}

// The letters of one of two shown lines; the other line carries no visible
// text but still takes its place.
QRect lineArea(TInlayComposer inlay, const QString& first, const QString& second, int drawn)
{
    inlay.Lines[0].Text = drawn == 0 ? first : QStringLiteral(" ");
    inlay.Lines[1].Text = drawn == 1 ? second : QStringLiteral(" ");
    inlay.Lines[1].Visible = true;
    QImage bitmap;
    inlay.Compose(bitmap, 720, 576);
    return areaOf(bitmap, kText);
}

} // namespace

TEST(InlayComposer, StackedLinesNeverOverlap)
{
    // Letters that reach the top and the bottom of the line: a ring above a
    // capital, descenders below. Each line's letters keep to its own height;
    // the outlines around them may meet.
    const QString tall = QStringLiteral("ÅÉÎ Ĝjpqy|");
    for (int outline : {0, 1, 2, 4}) {
        for (int size : {9, 16, 33}) {
            SCOPED_TRACE(testing::Message() << "outline " << outline << " size " << size);
            const TInlayComposer inlay = styled(outline, size);
            const QRect first = lineArea(inlay, tall, tall, 0);
            const QRect second = lineArea(inlay, tall, tall, 1);
            ASSERT_FALSE(first.isEmpty());
            ASSERT_FALSE(second.isEmpty());
            EXPECT_FALSE(first.intersects(second)) << first.bottom() << " " << second.top();
            EXPECT_GT(second.top(), first.bottom());
            // Both start at the position's x.
            EXPECT_LE(std::abs(first.left() - second.left()), 1);
        }
    }
}

TEST(InlayComposer, AStackedOffsetMovesTheLinesApartAndAnUnstackedOneStartsAgain)
{
    TInlayComposer inlay = styled(2, 16);
    const QString text = QStringLiteral("Line");
    const QRect close = lineArea(inlay, text, text, 1);
    // A tenth of the picture's height further down.
    inlay.Lines[1].YOffset = 0.1f;
    const QRect apart = lineArea(inlay, text, text, 1);
    EXPECT_EQ(apart.top() - close.top(), 58);
    // Not stacked, the offset counts from the position again: the line
    // lands where the first one is.
    inlay.Lines[1].YOffset = 0;
    inlay.Lines[1].Stacked = false;
    EXPECT_EQ(lineArea(inlay, text, text, 1).top(), lineArea(inlay, text, text, 0).top());
}

// A line's offsets round half to even: two and a half pixels move it by two,
// three and a half by four, down and across alike.
TEST(InlayComposer, LineOffsetsRoundHalfToEven)
{
    TInlayComposer inlay = styled(2, 16);
    const auto placed = [&](float x, float y) {
        inlay.Lines[0].XOffset = x;
        inlay.Lines[0].YOffset = y;
        QImage bitmap;
        inlay.Compose(bitmap, 512, 512);
        return areaOf(bitmap, kText).topLeft();
    };
    const QPoint origin = placed(0, 0);
    // Exact in binary: 2.5 and 3.5 pixels of 512.
    const float half = 2.5f / 512;
    const float more = 3.5f / 512;
    EXPECT_EQ(placed(0, half) - origin, QPoint(0, 2));
    EXPECT_EQ(placed(0, more) - origin, QPoint(0, 4));
    EXPECT_EQ(placed(half, 0) - origin, QPoint(2, 0));
    EXPECT_EQ(placed(more, 0) - origin, QPoint(4, 0));
}

// The outline is the text drawn again at every offset of up to the outline
// width each way that lies outside the diamond |dx| + |dy| <= width, under
// the text itself: with width 1 the four diagonal copies only.
TEST(InlayComposer, TheOutlineIsTheTextMovedOutsideTheDiamond)
{
    const QString text = QStringLiteral("Ax/ .:");
    for (int width : {1, 2, 3}) {
        SCOPED_TRACE(width);
        TInlayComposer inlay = styled(0, 16);
        inlay.AntiAliasing = false;
        inlay.BorderColor = clBlack;
        inlay.Lines[0].Text = text;
        QImage plain;
        inlay.Compose(plain, 320, 120);
        inlay.BorderWidth = width;
        QImage outlined;
        inlay.Compose(outlined, 320, 120);
        // The text's cell moves in by the outline's width.
        const QRgb letter = ColorToQColor(kText).rgb();
        const auto lettered = [&](int x, int y) {
            x -= width;
            y -= width;
            return x >= 0 && y >= 0 && x < plain.width() && y < plain.height() && plain.pixel(x, y) == letter;
        };
        int outline = 0;
        for (int y = 0; y < outlined.height(); ++y) {
            for (int x = 0; x < outlined.width(); ++x) {
                bool expected = false;
                for (int dy = -width; dy <= width && !expected; ++dy)
                    for (int dx = -width; dx <= width && !expected; ++dx)
                        expected = std::abs(dx) + std::abs(dy) > width && lettered(x - dx, y - dy);
                expected = expected && !lettered(x, y);
                const QRgb pixel = outlined.pixel(x, y);
                ASSERT_EQ(pixel == ColorToQColor(clBlack).rgb(), expected) << x << "," << y;
                ASSERT_EQ(pixel == letter, lettered(x, y)) << x << "," << y;
                outline += expected;
            }
        }
        EXPECT_GT(outline, 0);
    }
}

// With the size following the picture, the font's size is the larger of
// the height's 28th and the width's 36th.
TEST(InlayComposer, AutoSizeTakesTheLargerOfTheTwoParts)
{
    const struct
    {
        int width, height, size;
    } pictures[] = {{720, 576, 20}, {1920, 1080, 53}, {1080, 1920, 68}};
    for (const auto& picture : pictures) {
        SCOPED_TRACE(picture.width);
        TInlayComposer automatic = styled(2, 9);
        automatic.AutoSize = true;
        TInlayComposer fixed = styled(2, picture.size);
        QImage a, b;
        automatic.Compose(a, picture.width, picture.height);
        fixed.Compose(b, picture.width, picture.height);
        EXPECT_EQ(a, b);
        fixed.Font.Size = picture.size + 1;
        fixed.Compose(b, picture.width, picture.height);
        EXPECT_NE(a, b);
    }
}

TEST(InlayComposer, TheBitmapTakesThePicturesSizeAndNothingButTheKeyWithoutLines)
{
    TInlayComposer inlay = styled(2, 16);
    QImage bitmap;
    inlay.Compose(bitmap, 320, 240);
    EXPECT_EQ(bitmap.size(), QSize(320, 240));
    EXPECT_FALSE(drawnArea(bitmap).isEmpty());
    inlay.Lines[0].Visible = false;
    inlay.Compose(bitmap, 720, 576);
    EXPECT_EQ(bitmap.size(), QSize(720, 576));
    EXPECT_TRUE(drawnArea(bitmap).isEmpty());
}

TEST(InlayComposer, TheSubtitleStandsCentredAtTheFootLineUnderLineWithOrWithoutTheLines)
{
    TInlayComposer inlay = styled(2, 16);
    inlay.Position = TPoint{0, 0};
    inlay.Subtitle = QStringLiteral("A longer first line\nSecond");
    QImage bitmap;
    inlay.Compose(bitmap, 720, 576, false);
    // Without the lines, only the subtitle: white letters near the foot.
    EXPECT_TRUE(areaOf(bitmap, kText).isEmpty());
    const QRect letters = areaOf(bitmap, clWhite);
    ASSERT_FALSE(letters.isEmpty());
    EXPECT_LE(std::abs(letters.center().x() - 360), 3);
    EXPECT_LT(letters.bottom(), 576 - 576 / 24);
    EXPECT_GT(letters.top(), 576 / 2);
    // Line under line: the second, shorter, is the lower one.
    inlay.Subtitle = QStringLiteral("A longer first line");
    inlay.Compose(bitmap, 720, 576, false);
    const QRect first = areaOf(bitmap, clWhite);
    inlay.Subtitle = QStringLiteral("Second");
    inlay.Compose(bitmap, 720, 576, false);
    const QRect second = areaOf(bitmap, clWhite);
    EXPECT_GT(first.width(), second.width());
    EXPECT_EQ(letters.width(), first.width());
    EXPECT_EQ(letters.bottom(), second.bottom());
    EXPECT_LT(letters.top(), second.top() - second.height());
    // With the lines, both.
    inlay.Compose(bitmap, 720, 576, true);
    EXPECT_FALSE(areaOf(bitmap, kText).isEmpty());
    EXPECT_EQ(areaOf(bitmap, clWhite), second);
    // A white key colour does not take the letters away: they are a step
    // off white.
    inlay.TransparentColor = clWhite;
    inlay.Compose(bitmap, 720, 576, false);
    EXPECT_EQ(areaOf(bitmap, RGB(255, 255, 254)), second);
}

// A subtitle line far wider than the picture, and more lines than it has
// room for: the line ends in an ellipsis at the picture's edge and the lines
// above its top are not drawn, so nothing larger than the picture is laid
// out or kept.
TEST(InlayComposer, ASubtitleIsCutToThePicture)
{
    QStringList many;
    for (int i = 0; i < 50'000; ++i)
        many.append(QStringLiteral("line %1").arg(i));
    const QString cases[] = {QString(256 * 1024, u'x'), many.join(u'\n')};
    for (const QString& subtitle : cases) {
        SCOPED_TRACE(subtitle.size());
        TInlayComposer inlay;
        inlay.Subtitle = subtitle;
        QImage bitmap;
        const qint64 before = ResidentMegabytes();
        inlay.Compose(bitmap, 320, 240, false);
        EXPECT_LT(ResidentMegabytes() - before, 100);
        const QRect letters = areaOf(bitmap, clWhite);
        ASSERT_FALSE(letters.isEmpty());
        EXPECT_GT(letters.bottom(), 240 / 2);
    }
}
