#pragma once
// A font as the program describes it: name, size in points, colour, style,
// character set, pitch and the pixels per inch its height refers to.

#include "platform/rtl/color.h"

#include <QFont>
#include <QString>

#include <cstdint>
#include <initializer_list>

enum TFontStyle : std::uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };

// A set of TFontStyle values.
class TFontStyles
{
public:
    constexpr TFontStyles() = default;
    constexpr TFontStyles(std::initializer_list<TFontStyle> styles)
    {
        for (auto s : styles)
            include(s);
    }

    constexpr bool contains(TFontStyle s) const { return bits_ & bit(s); }
    constexpr void include(TFontStyle s) { bits_ |= bit(s); }
    constexpr void exclude(TFontStyle s) { bits_ &= static_cast<std::uint8_t>(~bit(s)); }
    constexpr void set(TFontStyle s, bool on) { on ? include(s) : exclude(s); }
    constexpr bool empty() const { return bits_ == 0; }
    constexpr void clear() { bits_ = 0; }

    friend constexpr bool operator==(TFontStyles, TFontStyles) = default;

private:
    static constexpr std::uint8_t bit(TFontStyle s) { return static_cast<std::uint8_t>(1u << s); }
    std::uint8_t bits_ = 0;
};

enum TFontPitch : std::uint8_t { fpDefault, fpVariable, fpFixed };

using TFontCharset = std::uint8_t;
constexpr TFontCharset ANSI_CHARSET = 0;
constexpr TFontCharset DEFAULT_CHARSET = 1;
constexpr TFontCharset SYMBOL_CHARSET = 2;
constexpr TFontCharset OEM_CHARSET = 255;

struct TFont
{
    QString Name = QStringLiteral("Sans Serif");
    int Size = 8; // points
    TColor Color = clWindowText;
    TFontStyles Style;
    TFontCharset Charset = DEFAULT_CHARSET;
    TFontPitch Pitch = fpDefault;
    int PixelsPerInch = 96;

    // The height in pixels at PixelsPerInch, negative as character height
    // (without internal leading): -Size * PixelsPerInch / 72, rounded.
    int Height() const;
    // Sets Size from a height in pixels; a negative height is a character
    // height, a positive one a cell height treated the same way.
    void SetHeight(int height);

    // Name, point size, style and pitch; colour and character set have no
    // place in a QFont and stay here.
    QFont toQFont() const;
    // The font's name, size, style and pitch, with the given colour and
    // pixels per inch; a font sized in pixels is converted at that density.
    static TFont fromQFont(const QFont& font, TColor color = clWindowText, int pixelsPerInch = 96);

    friend bool operator==(const TFont&, const TFont&) = default;
};
