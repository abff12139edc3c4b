#pragma once
// Integer and float texts as the program writes and reads them: decimal or
// "$" hexadecimal integers, the general float format with up to 15
// significant digits, and rounding half to even.

#include <QChar>
#include <QString>

#include <cstdint>
#include <stdexcept>

// Raised by the conversions that have no way to report a failure otherwise.
class EConvertError : public std::runtime_error
{
public:
    explicit EConvertError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

QString IntToStr(std::int64_t value);
// Upper-case hexadecimal with at least `digits` digits; negative values are
// written in two's complement of their width (8 or 16 digits).
QString IntToHex(std::int32_t value, int digits);
QString IntToHex(std::int64_t value, int digits);

// Reads leading blanks, an optional sign, then decimal digits or "$" (or
// "0x") and hexadecimal digits, up to the end of the text. Hexadecimal
// values may use the whole unsigned range and wrap ("$FFFFFFFF" is -1).
bool TryStrToInt(const QString& text, std::int32_t& value);
bool TryStrToInt64(const QString& text, std::int64_t& value);
std::int32_t StrToIntDef(const QString& text, std::int32_t fallback);
// Raises EConvertError when the text is not an integer.
std::int32_t StrToInt(const QString& text);
std::int64_t StrToInt64(const QString& text);

// The decimal separator of the user's locale.
QChar DecimalSeparator();

// General format: up to 15 significant digits, fixed notation unless the
// exponent is below -4 or at least 15 ("1E20", "1.5E-7"); "NAN", "INF", "-INF".
QString FloatToStr(double value, QChar decimalSeparator = DecimalSeparator());
// Reads surrounding blanks, a sign, digits with the given separator and an
// optional exponent; the whole text must be the number.
bool TryStrToFloat(const QString& text, double& value, QChar decimalSeparator = DecimalSeparator());
double StrToFloatDef(const QString& text, double fallback, QChar decimalSeparator = DecimalSeparator());

// Rounds half to even (2.5 gives 2, 3.5 gives 4). Values beyond the 64-bit
// range saturate; NaN gives 0.
std::int64_t Round(double value);
