#pragma once
// Colour values as the program stores them: $00BBGGRR in a 32-bit integer.
// Values with the top byte $FF name a system colour (index in the low byte)
// that is looked up in a Qt palette when drawn.

#include <QColor>
#include <QPalette>
#include <QString>

#include <cstdint>
#include <optional>

using TColor = std::int32_t;

namespace color_detail {
constexpr TColor systemColor(std::uint32_t index)
{
    return static_cast<TColor>(0xFF000000u | index);
}
} // namespace color_detail

constexpr TColor clScrollBar = color_detail::systemColor(0x00);
constexpr TColor clBackground = color_detail::systemColor(0x01);
constexpr TColor clActiveCaption = color_detail::systemColor(0x02);
constexpr TColor clInactiveCaption = color_detail::systemColor(0x03);
constexpr TColor clMenu = color_detail::systemColor(0x04);
constexpr TColor clWindow = color_detail::systemColor(0x05);
constexpr TColor clWindowFrame = color_detail::systemColor(0x06);
constexpr TColor clMenuText = color_detail::systemColor(0x07);
constexpr TColor clWindowText = color_detail::systemColor(0x08);
constexpr TColor clCaptionText = color_detail::systemColor(0x09);
constexpr TColor clActiveBorder = color_detail::systemColor(0x0A);
constexpr TColor clInactiveBorder = color_detail::systemColor(0x0B);
constexpr TColor clAppWorkSpace = color_detail::systemColor(0x0C);
constexpr TColor clHighlight = color_detail::systemColor(0x0D);
constexpr TColor clHighlightText = color_detail::systemColor(0x0E);
constexpr TColor clBtnFace = color_detail::systemColor(0x0F);
constexpr TColor clBtnShadow = color_detail::systemColor(0x10);
constexpr TColor clGrayText = color_detail::systemColor(0x11);
constexpr TColor clBtnText = color_detail::systemColor(0x12);
constexpr TColor clInactiveCaptionText = color_detail::systemColor(0x13);
constexpr TColor clBtnHighlight = color_detail::systemColor(0x14);
constexpr TColor cl3DDkShadow = color_detail::systemColor(0x15);
constexpr TColor cl3DLight = color_detail::systemColor(0x16);
constexpr TColor clInfoText = color_detail::systemColor(0x17);
constexpr TColor clInfoBk = color_detail::systemColor(0x18);

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clLtGray = 0xC0C0C0;
constexpr TColor clDkGray = 0x808080;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clMoneyGreen = 0xC0DCC0;
constexpr TColor clSkyBlue = 0xF0CAA6;
constexpr TColor clCream = 0xF0FBFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

constexpr TColor RGB(int r, int g, int b)
{
    return static_cast<TColor>((r & 0xFF) | (g & 0xFF) << 8 | (b & 0xFF) << 16);
}
constexpr int GetRValue(TColor c)
{
    return c & 0xFF;
}
constexpr int GetGValue(TColor c)
{
    return (c >> 8) & 0xFF;
}
constexpr int GetBValue(TColor c)
{
    return (c >> 16) & 0xFF;
}
constexpr bool IsSystemColor(TColor c)
{
    return (static_cast<std::uint32_t>(c) & 0xFF000000u) == 0xFF000000u;
}

// The plain $00BBGGRR value of any colour: system colours are resolved in the
// palette (the application's when none is given). clNone and clDefault have
// no colour of their own and give black and the window text colour.
TColor ColorToRGB(TColor color);
TColor ColorToRGB(TColor color, const QPalette& palette);

QColor ColorToQColor(TColor color);
QColor ColorToQColor(TColor color, const QPalette& palette);
// The colour of a QColor, opaque; alpha is dropped.
TColor QColorToColor(const QColor& color);

// "clRed" for a named colour, otherwise "$" and eight upper-case hex digits.
QString ColorToString(TColor color);
// Reads a colour name ("clRed", any case), a decimal number or "$" and hex
// digits; nothing when the text is none of these.
std::optional<TColor> TryStringToColor(const QString& text);
// As TryStringToColor, raising EConvertError for unreadable text.
TColor StringToColor(const QString& text);
