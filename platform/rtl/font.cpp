#include "platform/rtl/font.h"

#include <cmath>
#include <cstdlib>

namespace {
int density(int pixelsPerInch)
{
    return pixelsPerInch > 0 ? pixelsPerInch : 96;
}
} // namespace

int TFont::Height() const
{
    return -static_cast<int>(std::lround(Size * double(density(PixelsPerInch)) / 72.0));
}

void TFont::SetHeight(int height)
{
    Size = static_cast<int>(std::lround(std::abs(double(height)) * 72.0 / density(PixelsPerInch)));
}

QFont TFont::toQFont() const
{
    QFont font(Name);
    if (Size > 0)
        font.setPointSize(Size);
    font.setBold(Style.contains(fsBold));
    font.setItalic(Style.contains(fsItalic));
    font.setUnderline(Style.contains(fsUnderline));
    font.setStrikeOut(Style.contains(fsStrikeOut));
    if (Pitch == fpFixed) {
        font.setFixedPitch(true);
        font.setStyleHint(QFont::TypeWriter);
    } else if (Pitch == fpVariable) {
        font.setFixedPitch(false);
    }
    return font;
}

TFont TFont::fromQFont(const QFont& font, TColor color, int pixelsPerInch)
{
    TFont result;
    result.Name = font.family();
    result.Color = color;
    result.PixelsPerInch = pixelsPerInch;
    if (font.pointSizeF() > 0)
        result.Size = static_cast<int>(std::lround(font.pointSizeF()));
    else if (font.pixelSize() > 0)
        result.SetHeight(-font.pixelSize());
    result.Style.set(fsBold, font.bold());
    result.Style.set(fsItalic, font.italic());
    result.Style.set(fsUnderline, font.underline());
    result.Style.set(fsStrikeOut, font.strikeOut());
    if (font.resolveMask() & QFont::FixedPitchResolved)
        result.Pitch = font.fixedPitch() ? fpFixed : fpVariable;
    else
        result.Pitch = fpDefault;
    return result;
}
