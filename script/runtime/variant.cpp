#include "script/runtime/variant.h"

#include "script/common/utf.h"
#include "script/runtime/errors.h"
#include "script/runtime/values.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// What a Variant is to the operators.
enum class Kind { Empty, Null, Boolean, Integer, Real, Currency, Text, Array };

Kind kindOf(const Variant& v)
{
    switch (v.type) {
    case varcode::Empty:
        return Kind::Empty;
    case varcode::Null:
        return Kind::Null;
    case varcode::Boolean:
        return Kind::Boolean;
    case varcode::SmallInt:
    case varcode::Integer:
    case varcode::ShortInt:
    case varcode::Byte:
    case varcode::Word:
    case varcode::LongWord:
    case varcode::Int64:
        return Kind::Integer;
    case varcode::Single:
    case varcode::Double:
    case varcode::Date:
        return Kind::Real;
    case varcode::Currency:
        return Kind::Currency;
    case varcode::OleStr:
    case varcode::String:
        return Kind::Text;
    default:
        return Kind::Array;
    }
}

[[noreturn]] void cannotConvert()
{
    throw EVariantError("Invalid variant type conversion");
}

[[noreturn]] void overflow()
{
    throw EVariantError("Variant overflow");
}

[[noreturn]] void invalidOperation()
{
    throw EVariantError("Invalid variant operation");
}

std::int64_t intOf(const Variant& v)
{
    return std::get<std::int64_t>(v.value);
}

// Currency in whole units, rounded half to even.
std::int64_t roundCurrency(std::int64_t scaled)
{
    std::int64_t whole = scaled / 10000;
    const std::int64_t rest = scaled % 10000;
    if (rest > 5000 || (rest == 5000 && (whole & 1)))
        ++whole;
    else if (rest < -5000 || (rest == -5000 && (whole & 1)))
        --whole;
    return whole;
}

// A text as a number: an Integer Variant when it is a whole number, else a
// Double one.
Variant numberFromText(const Variant& v)
{
    const std::string text = VariantToAnsi(v);
    std::int64_t whole;
    if (TextToInt64(text, whole))
        return VariantFromInt(whole, whole >= INT32_MIN && whole <= INT32_MAX ? varcode::Integer : varcode::Int64);
    long double real;
    if (TextToReal(text, real))
        return VariantFromReal(ToDouble(real));
    cannotConvert();
}

// Empty as 0, Booleans as integers, texts as numbers: what arithmetic takes.
Variant numeric(const Variant& v)
{
    switch (kindOf(v)) {
    case Kind::Empty:
        return VariantFromInt(0);
    case Kind::Boolean:
        return VariantFromInt(intOf(v) ? -1 : 0, varcode::SmallInt);
    case Kind::Text:
        return numberFromText(v);
    case Kind::Array:
        invalidOperation();
    default:
        return v;
    }
}

bool isWideInteger(const Variant& v)
{
    return v.type == varcode::Int64 || v.type == varcode::LongWord;
}

// An integer result: Integer when both sides were narrower and it fits.
Variant integerResult(std::int64_t value, const Variant& a, const Variant& b)
{
    const bool narrow = !isWideInteger(a) && !isWideInteger(b) && value >= INT32_MIN && value <= INT32_MAX;
    return VariantFromInt(value, narrow ? varcode::Integer : varcode::Int64);
}

Variant integerOp(const Variant& a, const Variant& b, std::uint8_t op)
{
    const std::int64_t x = VariantToInt64(a), y = VariantToInt64(b);
    std::int64_t r = 0;
    bool overflowed = false;
    switch (op) {
    case 0:
        overflowed = __builtin_add_overflow(x, y, &r);
        break;
    case 1:
        overflowed = __builtin_sub_overflow(x, y, &r);
        break;
    case 2:
        overflowed = __builtin_mul_overflow(x, y, &r);
        break;
    case 3:
    case 4:
        if (y == 0)
            throw EDivByZero("Division by zero");
        if (x == INT64_MIN && y == -1)
            overflowed = op == 3;
        else
            r = op == 3 ? x / y : x % y;
        break;
    case 5:
        r = static_cast<std::int64_t>(static_cast<std::uint64_t>(x) << (y & 63));
        break;
    case 6:
        r = static_cast<std::int64_t>(static_cast<std::uint64_t>(x) >> (y & 63));
        break;
    case 7:
        r = x & y;
        break;
    case 8:
        r = x | y;
        break;
    default:
        r = x ^ y;
        break;
    }
    if (overflowed) // goes on in reals, as the wider type
        return VariantFromReal(ToDouble(RealArithmetic(op, x, y)));
    return integerResult(r, a, b);
}

Variant currencyOp(const Variant& a, const Variant& b, std::uint8_t op)
{
    const bool bothCurrency = kindOf(a) == Kind::Currency && kindOf(b) == Kind::Currency;
    const long double x = static_cast<long double>(VariantToCurrency(a));
    const long double y = static_cast<long double>(VariantToCurrency(b));
    switch (op) {
    case 0:
    case 1:
        return VariantFromCurrency(RoundToInt64(RealArithmetic(op, x, y)));
    case 2:
        return VariantFromCurrency(RoundToInt64(x * y / 10000));
    default:
        // Currency by currency gives a plain number, currency by a number
        // stays currency.
        if (bothCurrency)
            return VariantFromReal(ToDouble(RealArithmetic(3, x, y)));
        return VariantFromCurrency(RoundToInt64(RealArithmetic(3, x, y) * 10000));
    }
}

int compareNumbers(const Variant& a, const Variant& b)
{
    if (kindOf(a) == Kind::Integer && kindOf(b) == Kind::Integer) {
        const std::int64_t x = intOf(a), y = intOf(b);
        return (x > y) - (x < y);
    }
    if (kindOf(a) == Kind::Currency && kindOf(b) == Kind::Currency) {
        const std::int64_t x = intOf(a), y = intOf(b);
        return (x > y) - (x < y);
    }
    const long double x = VariantToReal(a), y = VariantToReal(b);
    if (std::isnan(x) || std::isnan(y))
        return 2;
    return (x > y) - (x < y);
}

template <typename Text> int compareTexts(const Text& x, const Text& y)
{
    const int c = x.compare(y);
    return (c > 0) - (c < 0);
}

} // namespace

Variant VariantFromInt(std::int64_t value, std::uint16_t code)
{
    return {code, value};
}

Variant VariantFromBool(bool value)
{
    return {varcode::Boolean, std::int64_t(value)};
}

Variant VariantFromReal(double value, std::uint16_t code)
{
    return {code, value};
}

Variant VariantFromCurrency(std::int64_t scaled)
{
    return {varcode::Currency, scaled};
}

Variant VariantFromString(std::string text)
{
    return {varcode::String, std::move(text)};
}

Variant VariantFromWide(std::u16string text)
{
    return {varcode::OleStr, std::move(text)};
}

Variant VariantFromArray(std::vector<Variant> items, std::int32_t lowBound)
{
    auto array = std::make_shared<VariantArray>();
    for (const Variant& item : items)
        if (const VariantArray* inner = VariantArrayOf(item))
            array->depth = std::max(array->depth, inner->depth + 1);
    if (array->depth > ps::image::MaxTypeDepth)
        throw std::bad_alloc();
    array->lowBound = lowBound;
    array->items = std::move(items);
    return {static_cast<std::uint16_t>(varcode::Array | varcode::Variant),
            std::shared_ptr<const VariantArray>(std::move(array))};
}

bool IsFloatVariant(const Variant& v)
{
    return v.type == varcode::Single || v.type == varcode::Double || v.type == varcode::Currency;
}

bool IsArrayVariant(const Variant& v)
{
    return (v.type & varcode::Array) != 0 && std::holds_alternative<std::shared_ptr<const VariantArray>>(v.value);
}

const VariantArray* VariantArrayOf(const Variant& v)
{
    return IsArrayVariant(v) ? std::get<std::shared_ptr<const VariantArray>>(v.value).get() : nullptr;
}

std::int64_t VariantToInt64(const Variant& v)
{
    switch (kindOf(v)) {
    case Kind::Empty:
        return 0;
    case Kind::Boolean:
        return intOf(v) ? -1 : 0;
    case Kind::Integer:
        return intOf(v);
    case Kind::Real: {
        const long double rounded = std::nearbyint(static_cast<long double>(std::get<double>(v.value)));
        if (!(rounded >= -9223372036854775808.0L && rounded < 9223372036854775808.0L))
            overflow();
        return static_cast<std::int64_t>(rounded);
    }
    case Kind::Currency:
        return roundCurrency(intOf(v));
    case Kind::Text:
        return VariantToInt64(numberFromText(v));
    default:
        cannotConvert();
    }
}

std::int32_t VariantToInt32(const Variant& v)
{
    const std::int64_t value = VariantToInt64(v);
    if (value < INT32_MIN || value > INT32_MAX)
        overflow();
    return static_cast<std::int32_t>(value);
}

long double VariantToReal(const Variant& v)
{
    switch (kindOf(v)) {
    case Kind::Real:
        return std::get<double>(v.value);
    case Kind::Currency:
        return static_cast<long double>(intOf(v)) / 10000;
    case Kind::Text:
        return VariantToReal(numberFromText(v));
    default:
        return static_cast<long double>(VariantToInt64(v));
    }
}

std::int64_t VariantToCurrency(const Variant& v)
{
    if (kindOf(v) == Kind::Currency)
        return intOf(v);
    const long double scaled = VariantToReal(v) * 10000;
    if (!(std::fabs(scaled) < 9223372036854775808.0L))
        overflow();
    return RoundToInt64(scaled);
}

std::string VariantToAnsi(const Variant& v)
{
    switch (v.type) {
    case varcode::Empty:
        return {};
    case varcode::Boolean:
        return intOf(v) ? "True" : "False";
    case varcode::Single:
        return RealToText(std::get<double>(v.value), 7);
    case varcode::Currency:
        return CurrencyToText(intOf(v));
    case varcode::String:
        return std::get<std::string>(v.value);
    case varcode::OleStr:
        return Utf16ToUtf8(std::get<std::u16string>(v.value));
    default:
        switch (kindOf(v)) {
        case Kind::Integer:
            return std::to_string(intOf(v));
        case Kind::Real:
            return RealToText(std::get<double>(v.value));
        default:
            cannotConvert();
        }
    }
}

std::u16string VariantToWide(const Variant& v)
{
    if (v.type == varcode::OleStr)
        return std::get<std::u16string>(v.value);
    return Utf8ToUtf16(VariantToAnsi(v));
}

namespace {

// Bytes or units of a text Variant; 0 for any other.
std::size_t textLength(const Variant& v)
{
    if (const auto* text = std::get_if<std::string>(&v.value))
        return text->size();
    if (const auto* wide = std::get_if<std::u16string>(&v.value))
        return wide->size();
    return 0;
}

} // namespace

void VariantOp(Variant& left, const Variant& right, std::uint8_t op, bool realDivide, std::size_t limit)
{
    const Kind lk = kindOf(left), rk = kindOf(right);
    if (lk == Kind::Array || rk == Kind::Array || op > 9)
        invalidOperation();
    if (lk == Kind::Null || rk == Kind::Null) {
        left = Variant{varcode::Null, {}};
        return;
    }
    // Texts join; a text and anything but Empty adds as numbers.
    if (op == 0 && (lk == Kind::Text || lk == Kind::Empty) && (rk == Kind::Text || rk == Kind::Empty) &&
        !(lk == Kind::Empty && rk == Kind::Empty)) {
        // At most a byte of either text becomes a unit of the joined one.
        const bool wide = left.type == varcode::OleStr || right.type == varcode::OleStr;
        if ((std::uint64_t(textLength(left)) + textLength(right)) * (wide ? 2 : 1) > limit)
            throw std::bad_alloc();
        if (wide)
            left = VariantFromWide(VariantToWide(left) + VariantToWide(right));
        else
            left = VariantFromString(VariantToAnsi(left) + VariantToAnsi(right));
        return;
    }
    if (op >= 7 && lk == Kind::Boolean && rk == Kind::Boolean) {
        const bool x = intOf(left) != 0, y = intOf(right) != 0;
        left = VariantFromBool(op == 7 ? x && y : op == 8 ? x || y : x != y);
        return;
    }
    const Variant a = numeric(left), b = numeric(right);
    const Kind ak = kindOf(a), bk = kindOf(b);
    if (op >= 4 || (op == 3 && !realDivide)) {
        left = integerOp(a, b, op);
    } else if (ak == Kind::Real || bk == Kind::Real || op == 3) {
        if ((ak == Kind::Currency || bk == Kind::Currency) && ak != Kind::Real && bk != Kind::Real)
            left = currencyOp(a, b, op);
        else
            left = VariantFromReal(ToDouble(RealArithmetic(op, VariantToReal(a), VariantToReal(b))));
    } else if (ak == Kind::Currency || bk == Kind::Currency) {
        left = currencyOp(a, b, op);
    } else {
        left = integerOp(a, b, op);
    }
}

void VariantNegate(Variant& v)
{
    switch (kindOf(v)) {
    case Kind::Null:
        return;
    case Kind::Real:
        v.value = -std::get<double>(v.value);
        return;
    case Kind::Currency:
        if (intOf(v) == INT64_MIN)
            overflow();
        v.value = -intOf(v);
        return;
    case Kind::Array:
        invalidOperation();
    default: {
        const Variant n = numeric(v);
        if (kindOf(n) == Kind::Real) {
            v = VariantFromReal(-std::get<double>(n.value));
            return;
        }
        const std::int64_t x = intOf(n);
        v = x == INT64_MIN ? VariantFromReal(-static_cast<double>(x)) : integerResult(-x, n, n);
        return;
    }
    }
}

void VariantNot(Variant& v)
{
    switch (kindOf(v)) {
    case Kind::Null:
        return;
    case Kind::Boolean:
        v.value = std::int64_t(intOf(v) == 0);
        return;
    case Kind::Array:
        invalidOperation();
    default: {
        const Variant n = numeric(v);
        v = integerResult(~VariantToInt64(n), n, n);
        return;
    }
    }
}

VariantOrder VariantCompare(const Variant& left, const Variant& right)
{
    const Kind lk = kindOf(left), rk = kindOf(right);
    if (lk == Kind::Array || rk == Kind::Array)
        invalidOperation();
    if (lk == Kind::Null || rk == Kind::Null)
        return lk == rk ? VariantOrder::Equal : VariantOrder::Unordered;
    int c;
    const bool textual = (lk == Kind::Text || lk == Kind::Empty) && (rk == Kind::Text || rk == Kind::Empty);
    if (textual && !(lk == Kind::Empty && rk == Kind::Empty)) {
        c = left.type == varcode::OleStr || right.type == varcode::OleStr
                ? compareTexts(VariantToWide(left), VariantToWide(right))
                : compareTexts(VariantToAnsi(left), VariantToAnsi(right));
    } else if (lk == Kind::Text || rk == Kind::Text) {
        // A text that is no number compares with the number's text.
        try {
            c = compareNumbers(numeric(left), numeric(right));
        } catch (const EVariantError&) {
            c = compareTexts(VariantToWide(left), VariantToWide(right));
        }
    } else {
        c = compareNumbers(numeric(left), numeric(right));
    }
    return c == 2  ? VariantOrder::Unordered
           : c < 0 ? VariantOrder::Less
           : c > 0 ? VariantOrder::Greater
                   : VariantOrder::Equal;
}
