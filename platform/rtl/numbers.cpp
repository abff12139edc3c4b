#include "platform/rtl/numbers.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <type_traits>

namespace {
int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

template <typename T> bool parseInteger(QStringView text, T& value)
{
    using U = std::make_unsigned_t<T>;
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    bool hex = false;
    if (i < text.size() && text[i] == u'$') {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }
    if (i == text.size())
        return false;
    // Decimal values keep to the signed range; hexadecimal ones may use every bit.
    const U limit =
        hex ? std::numeric_limits<U>::max() : static_cast<U>(std::numeric_limits<T>::max()) + (negative ? 1u : 0u);
    const unsigned base = hex ? 16 : 10;
    U magnitude = 0;
    for (; i < text.size(); ++i) {
        const int digit = hexDigit(text[i]);
        if (digit < 0 || unsigned(digit) >= base)
            return false;
        if (magnitude > (limit - U(digit)) / base)
            return false;
        magnitude = magnitude * base + U(digit);
    }
    value = static_cast<T>(negative ? U(0) - magnitude : magnitude);
    return true;
}

template <typename T> QString toHex(T value, int digits)
{
    using U = std::make_unsigned_t<T>;
    return QString::number(static_cast<U>(value), 16).toUpper().rightJustified(digits, u'0');
}
} // namespace

QString IntToStr(std::int64_t value)
{
    return QString::number(value);
}

QString IntToHex(std::int32_t value, int digits)
{
    return toHex(value, digits);
}

QString IntToHex(std::int64_t value, int digits)
{
    return toHex(value, digits);
}

bool TryStrToInt(const QString& text, std::int32_t& value)
{
    return parseInteger(QStringView(text), value);
}

bool TryStrToInt64(const QString& text, std::int64_t& value)
{
    return parseInteger(QStringView(text), value);
}

std::int32_t StrToIntDef(const QString& text, std::int32_t fallback)
{
    std::int32_t value = 0;
    return TryStrToInt(text, value) ? value : fallback;
}

std::int32_t StrToInt(const QString& text)
{
    std::int32_t value = 0;
    if (!TryStrToInt(text, value))
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return value;
}

std::int64_t StrToInt64(const QString& text)
{
    std::int64_t value = 0;
    if (!TryStrToInt64(text, value))
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return value;
}

QChar DecimalSeparator()
{
    const QString point = QLocale().decimalPoint();
    return point.isEmpty() ? QChar(u'.') : point.front();
}

QString FloatToStr(double value, QChar decimalSeparator)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    if (value == 0)
        return QStringLiteral("0"); // also for -0
    // %.15g switches to an exponent exactly where the general format does:
    // below 1E-4 and from 1E15 up; only the exponent's spelling differs.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    std::string text(buffer, result.ptr);
    QString out;
    const auto e = text.find('e');
    const std::string mantissa = text.substr(0, e);
    for (char c : mantissa)
        out += c == '.' ? decimalSeparator : QChar(QLatin1Char(c));
    if (e != std::string::npos) {
        const int exponent = std::stoi(text.substr(e + 1));
        out += u'E' + QString::number(exponent);
    }
    return out;
}

bool TryStrToFloat(const QString& text, double& value, QChar decimalSeparator)
{
    QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    if (decimalSeparator != u'.') {
        if (t.contains(u'.'))
            return false;
        t.replace(decimalSeparator, u'.');
    }
    if (t.front() == u'+') {
        t.remove(0, 1);
        if (t.startsWith(u'-'))
            return false;
    }
    // Only digits, one sign, the point and an exponent: no "inf", "nan" or hex.
    for (QChar c : t) {
        if (!(c.isDigit() && c.unicode() < 128) && c != u'.' && c != u'-' && c != u'+' && c != u'e' && c != u'E')
            return false;
    }
    const QByteArray bytes = t.toLatin1();
    double parsed = 0;
    const auto [end, error] = std::from_chars(bytes.constData(), bytes.constData() + bytes.size(), parsed);
    if (error != std::errc() || end != bytes.constData() + bytes.size())
        return false;
    value = parsed;
    return true;
}

double StrToFloatDef(const QString& text, double fallback, QChar decimalSeparator)
{
    double value = 0;
    return TryStrToFloat(text, value, decimalSeparator) ? value : fallback;
}

std::int64_t Round(double value)
{
    if (std::isnan(value))
        return 0;
    // 2^63 is exact in a double; anything at or beyond it saturates.
    constexpr double limit = 9223372036854775808.0;
    if (value >= limit)
        return std::numeric_limits<std::int64_t>::max();
    if (value < -limit)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(std::nearbyint(value));
}
