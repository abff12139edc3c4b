#pragma once
// The rules of the inlay settings that need no window: which data sources a
// pair of pattern lines needs, the font size typed by the user, where a click
// on the picture puts the inlay, and the texts of the DV date panel.

#include "framework/actions/action_types.h"
#include "platform/rtl/datetime.h"

#include <QRect>
#include <QString>

#include <optional>

// The data sources the inlay codes need. %D and %T read the DV codes of the
// stream, %S the position's time code, %R the real date and time, %N the
// picture number; %F, %P and %E (the file's name, folder and extension) all
// come from the file name.
struct TInlaySources
{
    bool DVCodes = false;
    bool TimeStamps = false;
    bool RealDate = false;
    bool FileName = false;
    bool Number = false;
    friend bool operator==(const TInlaySources&, const TInlaySources&) = default;
};

// The sources the two lines need; codes are found in either case.
TInlaySources InlaySourcesOf(const QString& line1, const QString& line2);

// The size the user gave: "auto" lets the size follow the picture; a number
// is a size in points; any other text gives 14.
struct TFontSizeChoice
{
    bool Auto = false;
    int Size = 0;
};
TFontSizeChoice FontSizeFromText(const QString& text);

// Font sizes the inlay accepts, in points.
inline constexpr int kMinInlayFontSize = 1;
inline constexpr int kMaxInlayFontSize = 720;
// A size in that range; nothing for 0 or less, which gives the font no size
// of its own (the setting's default) and leaves it as it is.
std::optional<int> InlayFontSize(int size);

// The inlay's place as ten-thousandths of the picture, each coordinate
// brought into 0..10000.
inline constexpr int kInlayPositionScale = 10000;
TPoint ClampInlayPosition(const TPoint& position);
// Where a click at `at` (in the video panel) puts the inlay, for the picture
// lying at `picture` in that panel; a click beside the picture goes to its
// nearest edge. Nothing when the picture has no width or height.
std::optional<TPoint> InlayPositionAt(const QPoint& at, const QRect& picture);

// The inlay's border width in pixels, brought into 0..20: each pixel of the
// outline draws the text again all around.
inline constexpr int kMaxInlayBorder = 20;
int ClampInlayBorder(int width);
// The inlay's opacity, brought into 0..1 (a value that is no number is
// opaque), and as the whole percent its field shows (halves to even).
double ClampInlayTransparency(double alpha);
int TransparencyPercent(double alpha);

// The date-time without its milliseconds.
TDateTime TruncToSeconds(TDateTime value);

// A time difference of `days` as text: the days, hours, minutes and seconds
// that are not zero, the largest written in full (" 2 days 03 h",
// " 01 hour 30 m", " 45 seconds"); "none" when all are zero.
QString FormatTimeDifference(double days);

// The time differences the DV panel accepts, in days either way: as many
// hours as its hours field holds.
inline constexpr double kMaxTimeDifference = 100'000.0 / HoursPerDay;
double ClampTimeDifference(double days);
// A time difference to the nearest whole hour (halves to even), as the
// hours field shows it, and that many hours in days.
int WholeHours(double days);
double HoursToDays(int hours);
