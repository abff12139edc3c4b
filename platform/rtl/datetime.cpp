#include "platform/rtl/datetime.h"

#include "platform/rtl/numbers.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace {
// Julian day of 1899-12-30, day 0.
constexpr qint64 epochJulianDay = 2415019;
// Days 1 to 9999 of the calendar, as day numbers.
constexpr double firstDay = -693593;
constexpr double lastDay = 2958465;

struct Parts
{
    int year = 0, month = 0, day = 0, dayOfWeek = 0;
    int hour = 0, minute = 0, second = 0, msec = 0;
};

bool split(TDateTime value, Parts& parts)
{
    if (!(value > firstDay - 1 && value < lastDay + 1))
        return false;
    auto days = static_cast<qint64>(std::trunc(value));
    auto ms = std::llround(std::abs(value - double(days)) * MSecsPerDay);
    if (ms >= MSecsPerDay) {
        ms -= MSecsPerDay;
        ++days;
    }
    const QDate date = QDate::fromJulianDay(epochJulianDay + days);
    if (date.year() < 1 || date.year() > 9999)
        return false;
    parts.year = date.year();
    parts.month = date.month();
    parts.day = date.day();
    parts.dayOfWeek = date.dayOfWeek() % 7 + 1;
    parts.hour = static_cast<int>(ms / 3600000);
    parts.minute = static_cast<int>(ms / 60000 % 60);
    parts.second = static_cast<int>(ms / 1000 % 60);
    parts.msec = static_cast<int>(ms % 1000);
    return true;
}

bool isFieldLetter(QChar c)
{
    switch (c.unicode()) {
    case u'c':
    case u'd':
    case u'm':
    case u'y':
    case u'h':
    case u'n':
    case u's':
    case u'z':
    case u't':
        return true;
    default:
        return false;
    }
}

// The length of the am/pm marker at `pos` ("am/pm", "a/p" or "ampm"), or 0.
qsizetype amPmLength(QStringView format, qsizetype pos)
{
    const QStringView rest = format.mid(pos);
    for (auto marker : {u"am/pm", u"a/p", u"ampm"}) {
        if (rest.startsWith(QStringView(marker), Qt::CaseInsensitive))
            return QStringView(marker).size();
    }
    return 0;
}

// The length of the word of text at `pos`: a letter that is no format letter
// starts a word that runs to the next character that is not a letter, so that
// "at" in "dddddd at tt" is written as it stands. 0 when no word starts there.
qsizetype wordLength(QStringView format, qsizetype pos)
{
    if (!format[pos].isLetter() || isFieldLetter(format[pos].toLower()))
        return 0;
    qsizetype end = pos + 1;
    while (end < format.size() && format[end].isLetter())
        ++end;
    return end - pos;
}

// The quote that closes the literal opening at `pos`, or the end of the format.
qsizetype literalClose(QStringView format, qsizetype pos)
{
    const qsizetype close = format.indexOf(format[pos], pos + 1);
    return close < 0 ? format.size() : close;
}

bool hasAmPm(QStringView format)
{
    for (qsizetype i = 0; i < format.size();) {
        if (format[i] == u'"' || format[i] == u'\'')
            i = literalClose(format, i) + 1;
        else if (amPmLength(format, i) > 0)
            return true;
        else
            i += std::max<qsizetype>(wordLength(format, i), 1);
    }
    return false;
}

QString padded(int value, int width)
{
    return QString::number(value).rightJustified(width, u'0');
}

class Formatter
{
public:
    Formatter(const FormatSettings& settings, const Parts& parts) : s_(settings), p_(parts) {}

    QString run(QStringView format)
    {
        append(format.isEmpty() ? QStringView(u"c") : format, 0);
        return out_;
    }

private:
    // Formats that the letters c, ddddd, dddddd, t and tt stand for expand
    // once more at most, so settings that name each other cannot loop.
    void append(QStringView format, int depth)
    {
        if (depth > 2)
            return;
        const bool twelveHour = hasAmPm(format);
        bool afterHour = false;
        qsizetype i = 0;
        while (i < format.size()) {
            const QChar c = format[i];
            if (c == u'"' || c == u'\'') {
                const qsizetype close = literalClose(format, i);
                out_ += format.mid(i + 1, close - i - 1);
                i = close + 1;
                continue;
            }
            if (const qsizetype marker = amPmLength(format, i)) {
                appendAmPm(format.mid(i, marker));
                i += marker;
                afterHour = false;
                continue;
            }
            if (const qsizetype word = wordLength(format, i)) {
                out_ += format.mid(i, word);
                i += word;
                afterHour = false;
                continue;
            }
            const QChar letter = c.toLower();
            if (c == u'/' || c == u':' || !isFieldLetter(letter)) {
                out_ += c == u'/' ? s_.dateSeparator : c == u':' ? s_.timeSeparator : c;
                ++i;
                continue;
            }
            qsizetype count = 1;
            while (i + count < format.size() && format[i + count].toLower() == letter)
                ++count;
            i += count;
            appendField(letter.unicode(), count, twelveHour, afterHour, depth);
            afterHour = letter == u'h';
        }
    }

    void appendAmPm(QStringView marker)
    {
        const bool am = p_.hour < 12;
        if (marker.size() == 4) // ampm
            out_ += am ? s_.timeAMString : s_.timePMString;
        else if (marker.size() == 3) // a/p as written
            out_ += am ? marker[0] : marker[2];
        else // am/pm as written
            out_ += am ? marker.mid(0, 2) : marker.mid(3, 2);
    }

    void appendField(char16_t letter, qsizetype count, bool twelveHour, bool afterHour, int depth)
    {
        switch (letter) {
        case u'c':
            append(s_.shortDateFormat, depth + 1);
            if (p_.hour || p_.minute || p_.second || p_.msec) {
                out_ += u' ';
                append(s_.longTimeFormat, depth + 1);
            }
            break;
        case u'd':
            if (count <= 2)
                out_ += padded(p_.day, int(count));
            else if (count == 3)
                out_ += s_.shortDayNames[p_.dayOfWeek - 1];
            else if (count == 4)
                out_ += s_.longDayNames[p_.dayOfWeek - 1];
            else
                append(count == 5 ? s_.shortDateFormat : s_.longDateFormat, depth + 1);
            break;
        case u'm':
            if (afterHour && count <= 2)
                out_ += padded(p_.minute, int(count));
            else if (count <= 2)
                out_ += padded(p_.month, int(count));
            else
                out_ += (count == 3 ? s_.shortMonthNames : s_.longMonthNames)[p_.month - 1];
            break;
        case u'y':
            out_ += count <= 2 ? padded(p_.year % 100, 2) : padded(p_.year, 4);
            break;
        case u'h': {
            int hour = p_.hour;
            if (twelveHour)
                hour = hour % 12 == 0 ? 12 : hour % 12;
            out_ += padded(hour, count == 1 ? 1 : 2);
            break;
        }
        case u'n':
            out_ += padded(p_.minute, count == 1 ? 1 : 2);
            break;
        case u's':
            out_ += padded(p_.second, count == 1 ? 1 : 2);
            break;
        case u'z':
            out_ += padded(p_.msec, count < 3 ? 1 : 3);
            break;
        case u't':
            append(count == 1 ? s_.shortTimeFormat : s_.longTimeFormat, depth + 1);
            break;
        }
    }

    const FormatSettings& s_;
    const Parts& p_;
    QString out_;
};

// Writes text as a literal of our format, quoting around any double quote.
void appendLiteral(QString& out, QStringView text)
{
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype quote = text.indexOf(u'"', start);
        if (quote < 0)
            quote = text.size();
        if (quote > start)
            out += u'"' + text.mid(start, quote - start).toString() + u'"';
        if (quote < text.size())
            out += QStringLiteral("'\"'");
        start = quote + 1;
    }
}

// The first character after the first field of a Qt format that is not a
// letter, quote or blank: the separator the locale puts between fields.
QChar separatorOf(QStringView qtFormat, QChar fallback)
{
    qsizetype i = 0;
    while (i < qtFormat.size() && qtFormat[i].isLetter())
        ++i;
    for (; i < qtFormat.size(); ++i) {
        const QChar c = qtFormat[i];
        if (!c.isLetter() && c != u'\'' && !c.isSpace() && c.category() != QChar::Other_Format)
            return c;
    }
    return fallback;
}

// Converts a Qt date or time format to our letters. The locale's separator
// becomes the placeholder ('/' or ':') so that it follows the settings.
QString fromQtFormat(QStringView qt, QChar separator, QChar placeholder)
{
    QString out;
    qsizetype i = 0;
    while (i < qt.size()) {
        const QChar c = qt[i];
        if (c == u'\'') {
            QString text;
            qsizetype j = i + 1;
            if (j < qt.size() && qt[j] == u'\'') { // '' is a quote
                text = u'\'';
                ++j;
            } else {
                for (; j < qt.size(); ++j) {
                    if (qt[j] == u'\'') {
                        if (j + 1 < qt.size() && qt[j + 1] == u'\'') {
                            text += u'\'';
                            ++j;
                            continue;
                        }
                        ++j;
                        break;
                    }
                    text += qt[j];
                }
            }
            appendLiteral(out, text);
            i = j;
            continue;
        }
        qsizetype count = 1;
        while (i + count < qt.size() && qt[i + count] == c)
            ++count;
        i += count;
        switch (c.unicode()) {
        case u'd':
            out += QString(int(std::min<qsizetype>(count, 4)), u'd');
            break;
        case u'M':
            out += QString(int(std::min<qsizetype>(count, 4)), u'm');
            break;
        case u'y':
            out += count <= 2 ? QStringLiteral("yy") : QStringLiteral("yyyy");
            break;
        case u'h':
        case u'H':
            out += count == 1 ? QStringLiteral("h") : QStringLiteral("hh");
            break;
        case u'm':
            out += count == 1 ? QStringLiteral("n") : QStringLiteral("nn");
            break;
        case u's':
            out += count == 1 ? QStringLiteral("s") : QStringLiteral("ss");
            break;
        case u'z':
            out += count < 3 ? QStringLiteral("z") : QStringLiteral("zzz");
            break;
        case u'a':
        case u'A':
            if (i < qt.size() && (qt[i] == u'p' || qt[i] == u'P'))
                ++i;
            out += QStringLiteral("ampm");
            break;
        case u't': // the time zone has no letter of ours; drop it with its brackets
            if (out.endsWith(u'(') && i < qt.size() && qt[i] == u')') {
                out.chop(1);
                ++i;
            }
            break;
        default:
            if (c == separator)
                out += QString(int(count), placeholder);
            else if (c.isLetter() || c == u'"' || c == u'/' || c == u':')
                appendLiteral(out, QString(int(count), c));
            else
                out += QString(int(count), c);
        }
    }
    return out.trimmed();
}
} // namespace

FormatSettings FormatSettings::fromLocale(const QLocale& locale)
{
    FormatSettings s;
    const QString shortDate = locale.dateFormat(QLocale::ShortFormat);
    const QString shortTime = locale.timeFormat(QLocale::ShortFormat);
    s.dateSeparator = separatorOf(shortDate, u'/');
    s.timeSeparator = separatorOf(shortTime, u':');
    const QString point = locale.decimalPoint();
    s.decimalSeparator = point.isEmpty() ? QChar(u'.') : point.front();
    s.shortDateFormat = fromQtFormat(shortDate, s.dateSeparator, u'/');
    s.longDateFormat = fromQtFormat(locale.dateFormat(QLocale::LongFormat), s.dateSeparator, u'/');
    s.shortTimeFormat = fromQtFormat(shortTime, s.timeSeparator, u':');
    s.longTimeFormat = fromQtFormat(locale.timeFormat(QLocale::LongFormat), s.timeSeparator, u':');
    s.timeAMString = locale.amText();
    s.timePMString = locale.pmText();
    for (int m = 1; m <= 12; ++m) {
        s.shortMonthNames[m - 1] = locale.monthName(m, QLocale::ShortFormat);
        s.longMonthNames[m - 1] = locale.monthName(m, QLocale::LongFormat);
    }
    for (int d = 0; d < 7; ++d) {
        const int qtDay = d == 0 ? 7 : d; // Qt counts from Monday
        s.shortDayNames[d] = locale.dayName(qtDay, QLocale::ShortFormat);
        s.longDayNames[d] = locale.dayName(qtDay, QLocale::LongFormat);
    }
    return s;
}

FormatSettings FormatSettings::user()
{
    return fromLocale(QLocale());
}

bool TryEncodeDate(int year, int month, int day, TDateTime& value)
{
    if (year < 1 || year > 9999 || !QDate::isValid(year, month, day))
        return false;
    value = double(QDate(year, month, day).toJulianDay() - epochJulianDay);
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& value)
{
    if (hour < 0 || hour >= 24 || minute < 0 || minute >= 60 || second < 0 || second >= 60 || msec < 0 || msec >= 1000)
        return false;
    value = (((hour * 60 + minute) * 60 + second) * 1000 + msec) / double(MSecsPerDay);
    return true;
}

TDateTime EncodeDate(int year, int month, int day)
{
    TDateTime value = 0;
    if (!TryEncodeDate(year, month, day, value))
        throw EConvertError(QStringLiteral("Invalid date %1-%2-%3").arg(year).arg(month).arg(day));
    return value;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec)
{
    TDateTime value = 0;
    if (!TryEncodeTime(hour, minute, second, msec, value))
        throw EConvertError(QStringLiteral("Invalid time %1:%2:%3.%4").arg(hour).arg(minute).arg(second).arg(msec));
    return value;
}

TDateTime ComposeDateTime(TDateTime date, TDateTime time)
{
    return date < 0 ? date - std::abs(time) : date + std::abs(time);
}

void DecodeDate(TDateTime value, int& year, int& month, int& day)
{
    Parts p;
    split(value, p);
    year = p.year;
    month = p.month;
    day = p.day;
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec)
{
    Parts p;
    split(value, p);
    hour = p.hour;
    minute = p.minute;
    second = p.second;
    msec = p.msec;
}

int DayOfWeek(TDateTime value)
{
    Parts p;
    split(value, p);
    return p.dayOfWeek;
}

QDateTime DateTimeToQDateTime(TDateTime value)
{
    Parts p;
    if (!split(value, p))
        return {};
    return QDateTime(QDate(p.year, p.month, p.day), QTime(p.hour, p.minute, p.second, p.msec));
}

TDateTime QDateTimeToDateTime(const QDateTime& dateTime)
{
    if (!dateTime.isValid())
        return 0;
    const QDateTime local = dateTime.toLocalTime();
    const QDate d = local.date();
    const QTime t = local.time();
    TDateTime date = 0;
    if (!TryEncodeDate(d.year(), d.month(), d.day(), date))
        return 0;
    return ComposeDateTime(date, t.msecsSinceStartOfDay() / double(MSecsPerDay));
}

TDateTime Now()
{
    return QDateTimeToDateTime(QDateTime::currentDateTime());
}

TDateTime Date()
{
    return std::trunc(Now());
}

TDateTime Time()
{
    const TDateTime now = Now();
    return now - std::trunc(now);
}

QString FormatDateTime(const QString& format, TDateTime value, const FormatSettings& settings)
{
    Parts parts;
    if (!split(value, parts))
        return {};
    return Formatter(settings, parts).run(format);
}

QString FormatDateTime(const QString& format, TDateTime value)
{
    // Reading a locale's names and formats costs more than the formatting:
    // each thread keeps those of the locale it last formatted with.
    struct Cached
    {
        QLocale locale;
        FormatSettings settings;
    };
    thread_local std::optional<Cached> cached;
    const QLocale locale;
    if (!cached || cached->locale != locale)
        cached.emplace(Cached{locale, FormatSettings::fromLocale(locale)});
    return FormatDateTime(format, value, cached->settings);
}
