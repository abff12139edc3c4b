#include "platform/rtl/color.h"

#include "platform/rtl/numbers.h"

#include <QGuiApplication>

#include <array>
#include <iterator>

namespace {
struct SystemColor
{
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

// System colour index -> the palette entry that plays its part on this desktop.
constexpr std::array<SystemColor, 25> systemColors{{
    {QPalette::Active, QPalette::Button},          // scroll bar
    {QPalette::Active, QPalette::Window},          // background
    {QPalette::Active, QPalette::Highlight},       // active caption
    {QPalette::Inactive, QPalette::Mid},           // inactive caption
    {QPalette::Active, QPalette::Window},          // menu
    {QPalette::Active, QPalette::Base},            // window
    {QPalette::Active, QPalette::Shadow},          // window frame
    {QPalette::Active, QPalette::WindowText},      // menu text
    {QPalette::Active, QPalette::Text},            // window text
    {QPalette::Active, QPalette::HighlightedText}, // caption text
    {QPalette::Active, QPalette::Window},          // active border
    {QPalette::Inactive, QPalette::Window},        // inactive border
    {QPalette::Active, QPalette::Mid},             // application work space
    {QPalette::Active, QPalette::Highlight},       // highlight
    {QPalette::Active, QPalette::HighlightedText}, // highlight text
    {QPalette::Active, QPalette::Button},          // button face
    {QPalette::Active, QPalette::Dark},            // button shadow
    {QPalette::Disabled, QPalette::Text},          // grey text
    {QPalette::Active, QPalette::ButtonText},      // button text
    {QPalette::Inactive, QPalette::WindowText},    // inactive caption text
    {QPalette::Active, QPalette::Light},           // button highlight
    {QPalette::Active, QPalette::Shadow},          // 3D dark shadow
    {QPalette::Active, QPalette::Midlight},        // 3D light
    {QPalette::Active, QPalette::ToolTipText},     // info text
    {QPalette::Active, QPalette::ToolTipBase},     // info background
}};

struct NamedColor
{
    TColor value;
    const char* name;
};

// Where two names share a value the first one is written.
constexpr NamedColor namedColors[] = {
    {clBlack, "clBlack"},
    {clMaroon, "clMaroon"},
    {clGreen, "clGreen"},
    {clOlive, "clOlive"},
    {clNavy, "clNavy"},
    {clPurple, "clPurple"},
    {clTeal, "clTeal"},
    {clGray, "clGray"},
    {clSilver, "clSilver"},
    {clRed, "clRed"},
    {clLime, "clLime"},
    {clYellow, "clYellow"},
    {clBlue, "clBlue"},
    {clFuchsia, "clFuchsia"},
    {clAqua, "clAqua"},
    {clWhite, "clWhite"},
    {clMoneyGreen, "clMoneyGreen"},
    {clSkyBlue, "clSkyBlue"},
    {clCream, "clCream"},
    {clLtGray, "clLtGray"},
    {clDkGray, "clDkGray"},
    {clNone, "clNone"},
    {clDefault, "clDefault"},
    {clScrollBar, "clScrollBar"},
    {clBackground, "clBackground"},
    {clActiveCaption, "clActiveCaption"},
    {clInactiveCaption, "clInactiveCaption"},
    {clMenu, "clMenu"},
    {clWindow, "clWindow"},
    {clWindowFrame, "clWindowFrame"},
    {clMenuText, "clMenuText"},
    {clWindowText, "clWindowText"},
    {clCaptionText, "clCaptionText"},
    {clActiveBorder, "clActiveBorder"},
    {clInactiveBorder, "clInactiveBorder"},
    {clAppWorkSpace, "clAppWorkSpace"},
    {clHighlight, "clHighlight"},
    {clHighlightText, "clHighlightText"},
    {clBtnFace, "clBtnFace"},
    {clBtnShadow, "clBtnShadow"},
    {clGrayText, "clGrayText"},
    {clBtnText, "clBtnText"},
    {clInactiveCaptionText, "clInactiveCaptionText"},
    {clBtnHighlight, "clBtnHighlight"},
    {cl3DDkShadow, "cl3DDkShadow"},
    {cl3DLight, "cl3DLight"},
    {clInfoText, "clInfoText"},
    {clInfoBk, "clInfoBk"},
};
} // namespace

QColor ColorToQColor(TColor color, const QPalette& palette)
{
    if (color == clNone)
        return QColor(Qt::transparent);
    if (color == clDefault)
        color = clWindowText;
    if (IsSystemColor(color)) {
        const auto index = static_cast<std::size_t>(color & 0xFF);
        if (index >= systemColors.size())
            return QColor(Qt::black);
        const auto& entry = systemColors[index];
        QColor c = palette.color(entry.group, entry.role);
        c.setAlpha(255);
        return c;
    }
    return QColor(GetRValue(color), GetGValue(color), GetBValue(color));
}

QColor ColorToQColor(TColor color)
{
    return ColorToQColor(color, QGuiApplication::palette());
}

TColor QColorToColor(const QColor& color)
{
    const QRgb rgb = color.rgb();
    return RGB(qRed(rgb), qGreen(rgb), qBlue(rgb));
}

TColor ColorToRGB(TColor color, const QPalette& palette)
{
    return QColorToColor(ColorToQColor(color, palette));
}

TColor ColorToRGB(TColor color)
{
    return QColorToColor(ColorToQColor(color));
}

QString ColorToString(TColor color)
{
    for (const auto& named : namedColors) {
        if (named.value == color)
            return QString::fromLatin1(named.name);
    }
    return u'$' + IntToHex(color, 8);
}

std::optional<TColor> TryStringToColor(const QString& text)
{
    for (const auto& named : namedColors) {
        if (text.compare(QLatin1StringView(named.name), Qt::CaseInsensitive) == 0)
            return named.value;
    }
    std::int32_t value = 0;
    if (TryStrToInt(text, value))
        return value;
    return std::nullopt;
}

TColor StringToColor(const QString& text)
{
    if (auto color = TryStringToColor(text))
        return *color;
    throw EConvertError(QStringLiteral("'%1' is not a valid colour").arg(text));
}
