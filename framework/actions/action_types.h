#pragma once
// The value types of the actions.

#include "platform/rtl/color.h"
#include "platform/rtl/font.h"

#include <QRect>

#include <cstdint>

struct TPoint
{
    std::int32_t X = 0;
    std::int32_t Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TRect
{
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;
    friend bool operator==(const TRect&, const TRect&) = default;
};

// A rectangle's right and bottom lie just outside it, as a widget's
// geometry would have them one pixel further in.
inline QRect ToQRect(const TRect& r)
{
    return QRect(QPoint(r.Left, r.Top), QSize(r.Right - r.Left, r.Bottom - r.Top));
}

inline TRect ToTRect(const QRect& r)
{
    return TRect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}
