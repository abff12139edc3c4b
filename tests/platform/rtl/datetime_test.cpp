#include "platform/rtl/datetime.h"

#include "platform/rtl/numbers.h"

#include <QTimeZone>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {
struct Calendar
{
    int year, month, day, hour, minute, second, msec;
};

Calendar decode(TDateTime value)
{
    Calendar c{};
    DecodeDate(value, c.year, c.month, c.day);
    DecodeTime(value, c.hour, c.minute, c.second, c.msec);
    return c;
}

TDateTime at(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int msec = 0)
{
    return ComposeDateTime(EncodeDate(year, month, day), EncodeTime(hour, minute, second, msec));
}

// Settings that no locale change can move, for the format letters themselves.
FormatSettings fixedSettings()
{
    FormatSettings s;
    s.dateSeparator = u'-';
    s.timeSeparator = u'.';
    s.shortDateFormat = QStringLiteral("dd/mm/yyyy");
    s.longDateFormat = QStringLiteral("dddd d mmmm yyyy");
    s.shortTimeFormat = QStringLiteral("hh:nn");
    s.longTimeFormat = QStringLiteral("hh:nn:ss");
    s.timeAMString = QStringLiteral("morning");
    s.timePMString = QStringLiteral("evening");
    const char* months[] = {"January", "February", "March",     "April",   "May",      "June",
                            "July",    "August",   "September", "October", "November", "December"};
    const char* days[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    for (int i = 0; i < 12; ++i) {
        s.longMonthNames[i] = QString::fromLatin1(months[i]);
        s.shortMonthNames[i] = s.longMonthNames[i].left(3);
    }
    for (int i = 0; i < 7; ++i) {
        s.longDayNames[i] = QString::fromLatin1(days[i]);
        s.shortDayNames[i] = s.longDayNames[i].left(3);
    }
    return s;
}
} // namespace

TEST(DateTime, DayNumbersCountFrom1899December30)
{
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
    EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
    EXPECT_DOUBLE_EQ(EncodeTime(6, 0, 0, 0), 0.25);
    EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);
    EXPECT_EQ(DayOfWeek(0), 7); // a Saturday
    EXPECT_EQ(DayOfWeek(EncodeDate(2026, 12, 6)), 1);

    // Before day 0 the fraction still counts forward from midnight.
    EXPECT_DOUBLE_EQ(at(1899, 12, 29, 6), -1.25);
    const Calendar c = decode(-1.25);
    EXPECT_EQ(c.year, 1899);
    EXPECT_EQ(c.month, 12);
    EXPECT_EQ(c.day, 29);
    EXPECT_EQ(c.hour, 6);
}

TEST(DateTime, EncodeAndDecodeRoundTripAcrossTheCalendar)
{
    for (int days = -693593; days <= 2958465; days += 997) {
        int y = 0, m = 0, d = 0;
        DecodeDate(days, y, m, d);
        ASSERT_EQ(EncodeDate(y, m, d), days) << y << "-" << m << "-" << d;
    }
    for (int ms = 0; ms < MSecsPerDay; ms += 86399 * 7) {
        const TDateTime value = at(2024, 2, 29) + ms / double(MSecsPerDay);
        const Calendar c = decode(value);
        EXPECT_EQ(((c.hour * 60 + c.minute) * 60 + c.second) * 1000 + c.msec, ms);
        EXPECT_EQ(c.day, 29);
    }
}

TEST(DateTime, TimesRoundToTheMillisecondAndCarryIntoTheNextDay)
{
    const Calendar late = decode(at(2020, 12, 31, 23, 59, 59, 999));
    EXPECT_EQ(late.msec, 999);
    EXPECT_EQ(late.day, 31);
    // A hair before midnight is midnight of the next day, also before day 0.
    const Calendar carried = decode(EncodeDate(2020, 12, 31) + 0.9999999999);
    EXPECT_EQ(carried.year, 2021);
    EXPECT_EQ(carried.month, 1);
    EXPECT_EQ(carried.day, 1);
    EXPECT_EQ(carried.hour, 0);
    const Calendar negative = decode(-1.9999999999);
    EXPECT_EQ(negative.day, 30);
    EXPECT_EQ(negative.month, 12);
    EXPECT_EQ(negative.hour, 0);
}

TEST(DateTime, ImpossibleDatesAndValuesAreRefused)
{
    TDateTime v = 123;
    EXPECT_FALSE(TryEncodeDate(1900, 2, 29, v));
    EXPECT_TRUE(TryEncodeDate(2000, 2, 29, v));
    EXPECT_FALSE(TryEncodeDate(0, 1, 1, v));
    EXPECT_FALSE(TryEncodeDate(10000, 1, 1, v));
    EXPECT_FALSE(TryEncodeDate(2000, 13, 1, v));
    EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, v));
    EXPECT_FALSE(TryEncodeTime(0, 60, 0, 0, v));
    EXPECT_FALSE(TryEncodeTime(0, 0, 0, 1000, v));
    EXPECT_FALSE(TryEncodeTime(-1, 0, 0, 0, v));
    EXPECT_THROW(EncodeDate(2001, 2, 29), EConvertError);
    EXPECT_THROW(EncodeTime(25, 0, 0, 0), EConvertError);

    for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(), -1e300, 1e300, 2958466.0, -693594.5}) {
        const Calendar c = decode(bad);
        EXPECT_EQ(c.year, 0) << bad;
        EXPECT_EQ(DayOfWeek(bad), 0);
        EXPECT_EQ(FormatDateTime(QStringLiteral("yyyy"), bad, fixedSettings()), QString()) << bad;
        EXPECT_FALSE(DateTimeToQDateTime(bad).isValid());
    }
    // Rounding up past the last day leaves the calendar too.
    EXPECT_EQ(FormatDateTime(QStringLiteral("yyyy"), 2958465.9999999999, fixedSettings()), QString());
}

TEST(DateTime, QDateTimeRoundTripAndClock)
{
    const QDateTime moment(QDate(2026, 12, 6), QTime(22, 4, 43, 250));
    const TDateTime value = QDateTimeToDateTime(moment);
    EXPECT_DOUBLE_EQ(value, at(2026, 12, 6, 22, 4, 43, 250));
    EXPECT_EQ(DateTimeToQDateTime(value), moment);
    EXPECT_EQ(QDateTimeToDateTime(QDateTime()), 0.0);
    // The same moment seen in UTC is the same local date-time.
    EXPECT_DOUBLE_EQ(QDateTimeToDateTime(moment.toUTC()), value);
    EXPECT_DOUBLE_EQ(QDateTimeToDateTime(moment.toTimeZone(QTimeZone(-11 * 3600))), value);
    EXPECT_EQ(DateTimeToQDateTime(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));

    const TDateTime now = Now();
    EXPECT_NEAR(now, QDateTimeToDateTime(QDateTime::currentDateTime()), 5.0 / SecsPerDay);
    EXPECT_EQ(Date(), std::trunc(Now()));
    EXPECT_GE(Time(), 0.0);
    EXPECT_LT(Time(), 1.0);
}

TEST(FormatDateTime, NumericLettersAndSeparators)
{
    const FormatSettings s = fixedSettings();
    const TDateTime t = at(2026, 3, 7, 9, 5, 4, 32);
    auto f = [&](const char* format) { return FormatDateTime(QString::fromUtf8(format), t, s); };
    EXPECT_EQ(f("yyyy/mm/dd hh:nn:ss"), "2026-03-07 09.05.04");
    // "mm" right after an hour is minutes, also across separators and literals.
    EXPECT_EQ(f("yyyy/mm/dd hh:mm:ss"), "2026-03-07 09.05.04");
    EXPECT_EQ(f("h 'h' m"), "9 h 5");
    EXPECT_EQ(f("m/d/yy h:n:s"), "3-7-26 9.5.4");
    EXPECT_EQ(f("YYYY-MM-DD HH:NN"), "2026-03-07 09.05");
    EXPECT_EQ(f("z zzz"), "32 032");
    EXPECT_EQ(f("y yyy"), "26 2026");
    EXPECT_EQ(f("mm"), "03");
    EXPECT_EQ(FormatDateTime(QStringLiteral("yyyy"), EncodeDate(12, 1, 1), s), "0012");
}

TEST(FormatDateTime, NamesFormatsAndLiterals)
{
    const FormatSettings s = fixedSettings();
    const TDateTime t = at(2026, 3, 7, 21, 5, 4);
    auto f = [&](const char* format) { return FormatDateTime(QString::fromUtf8(format), t, s); };
    EXPECT_EQ(f("ddd dddd mmm mmmm"), "Sat Saturday Mar March");
    EXPECT_EQ(f("ddddd"), "07-03-2026");
    EXPECT_EQ(f("dddddd"), "Saturday 7 March 2026");
    EXPECT_EQ(f("ddddddd"), "Saturday 7 March 2026");
    EXPECT_EQ(f("t|tt"), "21.05|21.05.04");
    EXPECT_EQ(f("c"), "07-03-2026 21.05.04");
    EXPECT_EQ(f(""), "07-03-2026 21.05.04");
    EXPECT_EQ(FormatDateTime(QStringLiteral("c"), EncodeDate(2026, 3, 7), s), "07-03-2026");
    EXPECT_EQ(f("\"dd/mm\" 'yy:\"' dd"), "dd/mm yy:\" 07");
    EXPECT_EQ(f("dd \"unterminated"), "07 unterminated");
    EXPECT_EQ(f("x!#"), "x!#");
    // A word that starts with a letter of no field is text, format letters
    // inside it included; "mm" after it is the month again.
    EXPECT_EQ(f("dddddd at tt"), "Saturday 7 March 2026 at 21.05.04");
    EXPECT_EQ(f("h:nn AM"), "21.05 AM");
    EXPECT_EQ(f("hh o'clock'"), "21 oclock");
    EXPECT_EQ(f("hh x mm"), "21 x 03");
    EXPECT_EQ(f("h Uhr nn"), "21 Uhr 05");
    EXPECT_EQ(f("h \u00e0 nn"), "21 \u00e0 05");
}

TEST(FormatDateTime, TwelveHourClockAndMarkers)
{
    const FormatSettings s = fixedSettings();
    auto f = [&](const char* format, int hour) {
        return FormatDateTime(QString::fromUtf8(format), at(2026, 3, 7, hour, 30), s);
    };
    EXPECT_EQ(f("h:nn am/pm", 0), "12.30 am");
    EXPECT_EQ(f("h:nn AM/PM", 12), "12.30 PM");
    EXPECT_EQ(f("hh:nn Am/Pm", 13), "01.30 Pm");
    EXPECT_EQ(f("h a/p", 11), "11 a");
    EXPECT_EQ(f("h A/P", 23), "11 P");
    EXPECT_EQ(f("h ampm", 9), "9 morning");
    EXPECT_EQ(f("h ampm", 21), "9 evening");
    EXPECT_EQ(f("h", 21), "21");
    // A marker inside quotes does not switch the clock.
    EXPECT_EQ(f("h 'am/pm'", 21), "21 am/pm");
}

TEST(FormatDateTime, SettingsThatReferToThemselvesStop)
{
    FormatSettings s = fixedSettings();
    s.shortDateFormat = QStringLiteral("c ddddd");
    s.longTimeFormat = QStringLiteral("tt");
    const QString text = FormatDateTime(QStringLiteral("c"), at(2026, 3, 7, 1), s);
    EXPECT_LT(text.size(), 200);
}

TEST(FormatDateTime, FollowsTwoPinnedLocales)
{
    const TDateTime t = at(2026, 12, 6, 22, 4, 43);
    const FormatSettings us = FormatSettings::fromLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(FormatDateTime(QStringLiteral("ddddd"), t, us), "12/6/26");
    EXPECT_EQ(FormatDateTime(QStringLiteral("dddddd"), t, us), "Sunday, December 6, 2026");
    EXPECT_EQ(FormatDateTime(QStringLiteral("t"), t, us), "10:04 PM");
    EXPECT_EQ(FormatDateTime(QStringLiteral("tt"), t, us), "10:04:43 PM");
    EXPECT_EQ(FormatDateTime(QStringLiteral("c"), t, us), "12/6/26 10:04:43 PM");
    EXPECT_EQ(FormatDateTime(QStringLiteral("ddddd - tt"), t, us), "12/6/26 - 10:04:43 PM");
    EXPECT_EQ(FormatDateTime(QStringLiteral("ddddd tt"), t, us), "12/6/26 10:04:43 PM");
    EXPECT_EQ(FormatDateTime(QStringLiteral("dddddd at tt"), t, us), "Sunday, December 6, 2026 at 10:04:43 PM");
    EXPECT_EQ(FormatDateTime(QStringLiteral("yyyy/mm/dd hh:mm:ss"), t, us), "2026/12/06 22:04:43");
    EXPECT_EQ(us.decimalSeparator, u'.');

    const FormatSettings de = FormatSettings::fromLocale(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(FormatDateTime(QStringLiteral("ddddd"), t, de), "06.12.26");
    EXPECT_EQ(FormatDateTime(QStringLiteral("dddddd"), t, de), "Sonntag, 6. Dezember 2026");
    EXPECT_EQ(FormatDateTime(QStringLiteral("tt"), t, de), "22:04:43");
    EXPECT_EQ(FormatDateTime(QStringLiteral("yyyy/mm/dd hh:mm:ss"), t, de), "2026.12.06 22:04:43");
    EXPECT_EQ(FormatDateTime(QStringLiteral("ddd mmm"), t, de), "So. Dez.");
    EXPECT_EQ(de.decimalSeparator, u',');
}

TEST(FormatDateTime, WithoutSettingsFollowsTheDefaultLocaleAsItChanges)
{
    const TDateTime t = at(2026, 12, 6, 22, 4, 43);
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(FormatDateTime(QStringLiteral("dddddd"), t), "Sunday, December 6, 2026");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(FormatDateTime(QStringLiteral("dddddd"), t), "Sonntag, 6. Dezember 2026");
    EXPECT_EQ(FormatDateTime(QStringLiteral("ddddd"), t), "06.12.26");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(FormatDateTime(QStringLiteral("ddddd"), t), "12/6/26");
    QLocale::setDefault(before);
}

TEST(FormatDateTime, LocaleFormatsMatchQtAcrossScripts)
{
    // Converting a locale's formats to our letters must not change what they
    // show. (Digits are always 0-9, so locales with digits of their own are left out.)
    const QDateTime moment(QDate(2026, 2, 3), QTime(4, 5, 6));
    const TDateTime t = QDateTimeToDateTime(moment);
    for (const char* name :
         {"en_US", "de_DE", "fr_FR", "es_ES", "ja_JP", "ko_KR", "fi_FI", "pt_BR", "zh_CN", "ru_RU", "he_IL"}) {
        const QLocale locale(QString::fromLatin1(name));
        const FormatSettings s = FormatSettings::fromLocale(locale);
        EXPECT_EQ(FormatDateTime(QStringLiteral("ddddd"), t, s), locale.toString(moment.date(), QLocale::ShortFormat))
            << name;
        EXPECT_EQ(FormatDateTime(QStringLiteral("dddddd"), t, s), locale.toString(moment.date(), QLocale::LongFormat))
            << name;
        if (!locale.timeFormat(QLocale::ShortFormat).contains(u'A')) {
            EXPECT_EQ(FormatDateTime(QStringLiteral("t"), t, s), locale.toString(moment.time(), QLocale::ShortFormat))
                << name;
        }
    }
}
