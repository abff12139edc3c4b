#include "platform/rtl/font.h"

#include <gtest/gtest.h>

TEST(Font, HeightAndPointSizeAtTheScreenDensity)
{
    TFont font;
    font.PixelsPerInch = 96;
    for (auto [height, size] : {std::pair{-27, 20}, {-33, 25}, {-13, 10}, {-16, 12}, {16, 12}}) {
        font.SetHeight(height);
        EXPECT_EQ(font.Size, size) << height;
    }
    font.Size = 16;
    EXPECT_EQ(font.Height(), -21);
    font.PixelsPerInch = 120;
    EXPECT_EQ(font.Height(), -27);
    font.PixelsPerInch = 0; // a broken value must not divide by zero
    font.SetHeight(-32);
    EXPECT_EQ(font.Size, 24);
}

TEST(Font, StyleSets)
{
    TFontStyles styles{fsBold, fsUnderline};
    EXPECT_TRUE(styles.contains(fsBold));
    EXPECT_FALSE(styles.contains(fsItalic));
    styles.exclude(fsBold);
    styles.set(fsStrikeOut, true);
    EXPECT_EQ(styles, (TFontStyles{fsUnderline, fsStrikeOut}));
    styles.clear();
    EXPECT_TRUE(styles.empty());
}

TEST(Font, ConvertsToAndFromQFont)
{
    TFont font;
    font.Name = QStringLiteral("Arial");
    font.Size = 16;
    font.Color = clNavy;
    font.Style = {fsBold, fsItalic, fsUnderline, fsStrikeOut};
    font.Pitch = fpFixed;
    font.Charset = SYMBOL_CHARSET;

    const QFont q = font.toQFont();
    EXPECT_EQ(q.family(), "Arial");
    EXPECT_EQ(q.pointSize(), 16);
    EXPECT_TRUE(q.bold());
    EXPECT_TRUE(q.italic());
    EXPECT_TRUE(q.underline());
    EXPECT_TRUE(q.strikeOut());
    EXPECT_TRUE(q.fixedPitch());

    TFont back = TFont::fromQFont(q, clNavy);
    back.Charset = font.Charset; // a QFont has no character set
    EXPECT_EQ(back, font);

    TFont plain;
    plain.Name = QStringLiteral("Liberation Serif");
    plain.Size = 9;
    EXPECT_EQ(TFont::fromQFont(plain.toQFont(), plain.Color), plain);
}

TEST(Font, PixelSizedFontsBecomePoints)
{
    QFont q(QStringLiteral("Arial"));
    q.setPixelSize(27);
    const TFont font = TFont::fromQFont(q, clYellow, 96);
    EXPECT_EQ(font.Size, 20);
    EXPECT_EQ(font.Color, clYellow);
    EXPECT_EQ(font.Pitch, fpDefault);
    EXPECT_TRUE(font.Style.empty());
}
