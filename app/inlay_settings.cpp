#include "app/inlay_settings.h"

#include "media/engine/video_man.h"
#include "platform/rtl/numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

TInlaySources InlaySourcesOf(const QString& line1, const QString& line2)
{
    // The codes are those the video manager fills in, found as it finds them.
    TInlaySources sources;
    const auto note = [&sources](QChar code) {
        switch (code.unicode()) {
        case u'D':
        case u'T':
            sources.DVCodes = true;
            break;
        case u'S':
            sources.TimeStamps = true;
            break;
        case u'R':
            sources.RealDate = true;
            break;
        // The folder and the extension are parts of the file name: without
        // it they would stay empty.
        case u'F':
        case u'P':
        case u'E':
            sources.FileName = true;
            break;
        case u'N':
            sources.Number = true;
            break;
        default:
            break;
        }
        return QString();
    };
    FillInsertPattern(line1, note);
    FillInsertPattern(line2, note);
    return sources;
}

TFontSizeChoice FontSizeFromText(const QString& text)
{
    if (text == QLatin1String("auto"))
        return {true, 0};
    std::int32_t size = 0;
    return {false, TryStrToInt(text, size) ? size : 14};
}

std::optional<int> InlayFontSize(int size)
{
    if (size < kMinInlayFontSize)
        return std::nullopt;
    return std::min(size, kMaxInlayFontSize);
}

TPoint ClampInlayPosition(const TPoint& position)
{
    return {std::clamp(position.X, 0, kInlayPositionScale), std::clamp(position.Y, 0, kInlayPositionScale)};
}

int ClampInlayBorder(int width)
{
    return std::clamp(width, 0, kMaxInlayBorder);
}

double ClampInlayTransparency(double alpha)
{
    return std::isnan(alpha) ? 1.0 : std::clamp(alpha, 0.0, 1.0);
}

int TransparencyPercent(double alpha)
{
    return int(Round(ClampInlayTransparency(alpha) * 100));
}

int WholeHours(double days)
{
    return int(Round(days * HoursPerDay));
}

double HoursToDays(int hours)
{
    return hours / double(HoursPerDay);
}

std::optional<TPoint> InlayPositionAt(const QPoint& at, const QRect& picture)
{
    const qint64 width = picture.width();
    const qint64 height = picture.height();
    if (width <= 0 || height <= 0)
        return std::nullopt;
    // Integer division rounds towards zero, as the sliders count.
    const qint64 x = (at.x() - picture.left()) * qint64(kInlayPositionScale) / width;
    const qint64 y = (at.y() - picture.top()) * qint64(kInlayPositionScale) / height;
    return TPoint{int(std::clamp<qint64>(x, 0, kInlayPositionScale)),
                  int(std::clamp<qint64>(y, 0, kInlayPositionScale))};
}

TDateTime TruncToSeconds(TDateTime value)
{
    int hour = 0, minute = 0, second = 0, msec = 0;
    DecodeTime(value, hour, minute, second, msec);
    TDateTime time = 0;
    if (!TryEncodeTime(hour, minute, second, 0, time))
        return value;
    return ComposeDateTime(std::trunc(value), time);
}

QString FormatTimeDifference(double days)
{
    // Division and remainder round towards zero: every part of a negative
    // difference is negative.
    std::int64_t n = Round(days * SecsPerDay);
    const std::int64_t seconds = n % 60;
    n /= 60;
    const std::int64_t minutes = n % 60;
    n /= 60;
    const std::int64_t hours = n % 24;
    const std::int64_t wholeDays = n / 24;

    QString text;
    bool largest = true;
    const auto part = [&](std::int64_t value, const char* format, const char* abbreviation, const char* rest) {
        if (value == 0)
            return;
        text += QString::asprintf(format, static_cast<long long>(value)) + QLatin1String(abbreviation);
        if (largest) {
            text += QLatin1String(rest);
            if (std::llabs(value) > 1)
                text += u's';
            largest = false;
        }
    };
    part(wholeDays, " %lld", " day", "");
    part(hours, " %.2lld", " h", "our");
    part(minutes, " %.2lld", " m", "inute");
    part(seconds, " %.2lld", " s", "econd");
    return text.isEmpty() ? QStringLiteral("none") : text;
}

double ClampTimeDifference(double days)
{
    if (std::isnan(days))
        return 0;
    return std::clamp(days, -kMaxTimeDifference, kMaxTimeDifference);
}
