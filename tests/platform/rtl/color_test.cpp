#include "platform/rtl/color.h"

#include "platform/rtl/numbers.h"

#include <gtest/gtest.h>

TEST(Color, ValuesAreBlueGreenRed)
{
    EXPECT_EQ(clRed, 0x0000FF);
    EXPECT_EQ(clNavy, 0x800000);
    EXPECT_EQ(RGB(0x12, 0x34, 0x56), 0x563412);
    EXPECT_EQ(GetRValue(clFuchsia), 255);
    EXPECT_EQ(GetGValue(clFuchsia), 0);
    EXPECT_EQ(GetBValue(clFuchsia), 255);
    EXPECT_EQ(clWindow, -16777211); // $FF000005 read as a signed 32-bit number
    EXPECT_TRUE(IsSystemColor(clInfoBk));
    EXPECT_FALSE(IsSystemColor(clWhite));
    EXPECT_FALSE(IsSystemColor(clNone));
}

TEST(Color, PlainColoursConvertToAndFromQColor)
{
    const QPalette palette;
    EXPECT_EQ(ColorToQColor(clRed, palette), QColor(255, 0, 0));
    EXPECT_EQ(ColorToQColor(clNavy, palette), QColor(0, 0, 128));
    EXPECT_EQ(ColorToQColor(RGB(1, 2, 3), palette), QColor(1, 2, 3));
    EXPECT_EQ(QColorToColor(QColor(255, 0, 255)), clFuchsia);
    EXPECT_EQ(QColorToColor(QColor(10, 20, 30, 40)), RGB(10, 20, 30));
    EXPECT_EQ(ColorToQColor(clNone, palette).alpha(), 0);
    for (TColor c : {clBlack, clMaroon, clGreen, clOlive, clPurple, clTeal, clGray, clSilver, clLime, clYellow, clBlue,
                     clAqua, clWhite, clMoneyGreen, clSkyBlue, clCream})
        EXPECT_EQ(QColorToColor(ColorToQColor(c, palette)), c);
}

TEST(Color, SystemColoursFollowThePalette)
{
    QPalette palette;
    palette.setColor(QPalette::Button, QColor(1, 2, 3));
    palette.setColor(QPalette::Base, QColor(4, 5, 6));
    palette.setColor(QPalette::Text, QColor(7, 8, 9));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(10, 11, 12));
    palette.setColor(QPalette::Highlight, QColor(13, 14, 15));
    palette.setColor(QPalette::ToolTipBase, QColor(16, 17, 18, 100));
    EXPECT_EQ(ColorToQColor(clBtnFace, palette), QColor(1, 2, 3));
    EXPECT_EQ(ColorToQColor(clWindow, palette), QColor(4, 5, 6));
    EXPECT_EQ(ColorToQColor(clWindowText, palette), QColor(7, 8, 9));
    EXPECT_EQ(ColorToQColor(clDefault, palette), QColor(7, 8, 9));
    EXPECT_EQ(ColorToQColor(clGrayText, palette), QColor(10, 11, 12));
    EXPECT_EQ(ColorToQColor(clHighlight, palette), QColor(13, 14, 15));
    EXPECT_EQ(ColorToQColor(clInfoBk, palette), QColor(16, 17, 18)); // drawn opaque
    EXPECT_EQ(ColorToRGB(clBtnFace, palette), RGB(1, 2, 3));
    EXPECT_EQ(ColorToRGB(clTeal, palette), clTeal);
    // Indexes past the last system colour draw black rather than reading beyond the table.
    EXPECT_EQ(ColorToQColor(static_cast<TColor>(0xFF0000FFu), palette), QColor(Qt::black));
}

TEST(Color, TextForms)
{
    EXPECT_EQ(ColorToString(clRed), "clRed");
    EXPECT_EQ(ColorToString(clGray), "clGray"); // not its alias clDkGray
    EXPECT_EQ(ColorToString(clBtnFace), "clBtnFace");
    EXPECT_EQ(ColorToString(0x123456), "$00123456");
    EXPECT_EQ(StringToColor(QStringLiteral("CLRED")), clRed);
    EXPECT_EQ(StringToColor(QStringLiteral("clDkGray")), clGray);
    EXPECT_EQ(StringToColor(QStringLiteral("$00FF0000")), clBlue);
    EXPECT_EQ(StringToColor(QStringLiteral("255")), clRed);
    EXPECT_EQ(StringToColor(QStringLiteral("$FF00000F")), clBtnFace);
    EXPECT_EQ(StringToColor(QStringLiteral("-16777201")), clBtnFace);
    EXPECT_FALSE(TryStringToColor(QStringLiteral("red")));
    EXPECT_FALSE(TryStringToColor(QStringLiteral("")));
    EXPECT_FALSE(TryStringToColor(QStringLiteral("clRedd")));
    EXPECT_THROW(StringToColor(QStringLiteral("$")), EConvertError);
    for (TColor c : {clBlack, clWhite, clNone, clDefault, clInfoText, 0x00ABCDEF, -5})
        EXPECT_EQ(StringToColor(ColorToString(c)), c);
}
