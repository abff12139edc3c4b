#pragma once
// Date-time values as days since 1899-12-30 in a double: the integer part is
// the day, the fraction the time of day. Before 1899-12-30 the integer part
// counts back and the fraction still counts forward (-1.25 is 1899-12-29 06:00).

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <array>

using TDateTime = double;

constexpr int HoursPerDay = 24;
constexpr int MinsPerDay = HoursPerDay * 60;
constexpr int SecsPerDay = MinsPerDay * 60;
constexpr int MSecsPerDay = SecsPerDay * 1000;

// Texts that FormatDateTime uses. Formats use the letters of FormatDateTime;
// day names start with Sunday.
struct FormatSettings
{
    QChar dateSeparator = u'/';
    QChar timeSeparator = u':';
    QChar decimalSeparator = u'.';
    QString shortDateFormat;
    QString longDateFormat;
    QString shortTimeFormat;
    QString longTimeFormat;
    QString timeAMString;
    QString timePMString;
    std::array<QString, 12> shortMonthNames;
    std::array<QString, 12> longMonthNames;
    std::array<QString, 7> shortDayNames;
    std::array<QString, 7> longDayNames;

    // The texts of a locale, its date and time formats converted to our letters.
    static FormatSettings fromLocale(const QLocale& locale);
    // The texts of the user's locale (QLocale()).
    static FormatSettings user();
};

// Years 1 to 9999; false for a date or time that does not exist.
bool TryEncodeDate(int year, int month, int day, TDateTime& value);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& value);
// As above, raising EConvertError for a date or time that does not exist.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec);
// A date plus a time of day, also before 1899-12-30.
TDateTime ComposeDateTime(TDateTime date, TDateTime time);

// Values outside years 1 to 9999 (or NaN) decode to all zeros. Times are
// rounded to the nearest millisecond.
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec);
// 1 = Sunday ... 7 = Saturday; 0 for a value outside the calendar.
int DayOfWeek(TDateTime value);

TDateTime Now();
TDateTime Date();
TDateTime Time();

// Local date-time conversions: a QDateTime of another zone or UTC is taken at
// the same moment in local time. An invalid QDateTime gives 0.
QDateTime DateTimeToQDateTime(TDateTime value);
TDateTime QDateTimeToDateTime(const QDateTime& dateTime);

// Formats with these letters (case-insensitive):
//   c       short date, then a blank and the long time unless it is midnight
//   d dd    day; ddd dddd short and long day name; ddddd short date; dddddd long date
//   m mm    month; mmm mmmm short and long month name (minutes right after h or hh)
//   yy yyyy year in two or four digits
//   h hh    hour (12-hour when the format holds am/pm, a/p or ampm)
//   n nn    minute;  s ss  second;  z zzz  millisecond
//   t tt    short and long time
//   am/pm a/p  the letters as written;  ampm  the locale's AM and PM texts
//   /  :    the date and time separators
//   "..." '...'  literal text, as is a word that starts with a letter that
//                is none of the above ("at" in "dddddd at tt")
// An empty format means "c". Values outside the calendar give an empty text.
QString FormatDateTime(const QString& format, TDateTime value, const FormatSettings& settings);
QString FormatDateTime(const QString& format, TDateTime value);
