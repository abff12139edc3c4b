// The inlay composer alone: where its lines land in the bitmap of a picture's
// size, read back from the pixels that are not the key colour.

#include "media/engine/inlay_composer.h"

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
