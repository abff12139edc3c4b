// Compile-time values and the folder.
//
// Folding never runs into undefined behaviour. Integer operations are the
// interpreter's own (integer_calc.h); real operations that overflow their
// type give a math error.

#include "script/compiler/compiler.h"

#include "script/common/integer_calc.h"
#include "script/common/utils.h"

#include <cfloat>
#include <cmath>

using ps::BaseType;
using Err = TPSCompilerErrorCode;
using Op = TPSBinOperatorType;

namespace {

bool isTextBase(BaseType b)
{
    return b == BaseType::AnsiString || b == BaseType::PChar || b == BaseType::Char || b == BaseType::WideChar ||
           IsWideStringBase(b);
}

bool isWideTextBase(BaseType b)
{
    return b == BaseType::WideChar || IsWideStringBase(b);
}

// A real rounded to the precision of its type; nothing when it does not fit.
std::optional<long double> toRealOfType(BaseType base, long double x)
{
    if (!std::isfinite(x))
        return std::nullopt;
    if (base == BaseType::Single) {
        if (std::fabs(x) > FLT_MAX)
            return std::nullopt;
        return static_cast<float>(x);
    }
    if (base == BaseType::Double) {
        if (std::fabs(x) > DBL_MAX)
            return std::nullopt;
        return static_cast<double>(x);
    }
    return x;
}

// A real rounded half to even into 64 bits; nothing when it does not fit.
std::optional<std::int64_t> roundToInt64(long double x)
{
    const long double r = std::nearbyint(x);
    // 2^63 is exact in long double; anything at or beyond it does not fit.
    constexpr long double limit = 9223372036854775808.0L;
    if (!std::isfinite(r) || r >= limit || r < -limit)
        return std::nullopt;
    return static_cast<std::int64_t>(r);
}

} // namespace

// ---- Value readers ------------------------------------------------------------

std::int32_t GetIntValue(const TPSValueRecord& value)
{
    return static_cast<std::int32_t>(GetInt64Value(value));
}

std::int64_t GetInt64Value(const TPSValueRecord& value)
{
    return value.Int;
}

long double GetRealValue(const TPSValueRecord& value)
{
    switch (value.Base()) {
    case BaseType::Single:
    case BaseType::Double:
    case BaseType::Extended:
        return value.Real;
    case BaseType::Currency:
        return static_cast<long double>(value.Int) / 10000;
    default:
        return static_cast<long double>(value.Int);
    }
}

std::string GetStringValue(const TPSValueRecord& value)
{
    switch (value.Base()) {
    case BaseType::Char:
        return std::string(1, static_cast<char>(value.Int));
    case BaseType::WideChar:
        return Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(value.Int)));
    case BaseType::WideString:
    case BaseType::UnicodeString:
        return Utf16ToUtf8(value.WStr);
    default:
        return value.Str;
    }
}

std::u16string GetWideStringValue(const TPSValueRecord& value)
{
    switch (value.Base()) {
    case BaseType::Char:
        // An 8-bit char is one byte of the 8-bit text; alone it reads as
        // that code.
        return std::u16string(1, static_cast<char16_t>(value.Int));
    case BaseType::WideChar:
        return std::u16string(1, static_cast<char16_t>(value.Int));
    case BaseType::WideString:
    case BaseType::UnicodeString:
        return value.WStr;
    default:
        return Utf8ToUtf16(value.Str);
    }
}

std::u16string GetUnicodeStringValue(const TPSValueRecord& value)
{
    return GetWideStringValue(value);
}

// ---- Result setters -----------------------------------------------------------

void TPSPascalCompiler::SetBooleanResult(TPSValueRecord& value, bool result)
{
    value.Init(UseType(booleanType_));
    value.Int = result ? 1 : 0;
}

void TPSPascalCompiler::SetStringResult(TPSValueRecord& value, std::string text)
{
    value.Init(FindBaseType(BaseType::AnsiString));
    value.Str = std::move(text);
}

void TPSPascalCompiler::SetWideStringResult(TPSValueRecord& value, std::u16string text, BaseType base)
{
    value.Init(FindBaseType(base));
    value.WStr = std::move(text);
}

// ---- Folding --------------------------------------------------------------------

namespace {

using FoldStatus = TPSFoldStatus;

template <typename T> int orderOf(const T& a, const T& b)
{
    return a < b ? -1 : a > b ? 1 : 0;
}

// -1, 0 or 1 for two numbers, two texts or two ordinals of one enumeration;
// nothing when the two cannot be ordered.
std::optional<int> orderValues(const TPSValueRecord& left, const TPSValueRecord& right)
{
    const BaseType lb = left.Base(), rb = right.Base();
    if (IsNumericBase(lb) && IsNumericBase(rb)) {
        if (IsRealBase(lb) || IsRealBase(rb))
            return orderOf(GetRealValue(left), GetRealValue(right));
        return orderOf(left.Int, right.Int);
    }
    if (isTextBase(lb) && isTextBase(rb)) {
        if (isWideTextBase(lb) || isWideTextBase(rb))
            return orderOf(GetWideStringValue(left), GetWideStringValue(right));
        return orderOf(GetStringValue(left), GetStringValue(right));
    }
    if (lb == BaseType::Enumeration && left.FType == right.FType)
        return orderOf(left.Int, right.Int);
    return std::nullopt;
}

bool compareByOrder(Op op, int order)
{
    switch (op) {
    case Op::GreaterEqual:
        return order >= 0;
    case Op::LessEqual:
        return order <= 0;
    case Op::Greater:
        return order > 0;
    case Op::Less:
        return order < 0;
    case Op::Equal:
        return order == 0;
    default:
        return order != 0;
    }
}

// Sets have equality and inclusion only.
std::optional<bool> compareSets(Op op, const std::string& left, const std::string& right)
{
    auto includes = [](const std::string& outer, const std::string& inner) {
        for (std::size_t i = 0; i < inner.size(); ++i) {
            if ((inner[i] & outer[i]) != inner[i])
                return false;
        }
        return true;
    };
    switch (op) {
    case Op::Equal:
        return left == right;
    case Op::NotEqual:
        return left != right;
    case Op::LessEqual:
        return includes(right, left);
    case Op::GreaterEqual:
        return includes(left, right);
    default:
        return std::nullopt;
    }
}

FoldStatus foldIntegers(Op op, TPSValueRecord& left, const TPSValueRecord& right)
{
    if (op > Op::Xor && op != Op::IntDivide)
        return FoldStatus::TypeMismatch;
    // "/" and "div" divide integers alike.
    const Op calc = op == Op::IntDivide ? Op::Divide : op;
    const std::optional<std::uint64_t> result = ps::CalcIntegers(calc, left.Base(), left.Int, right.Int);
    if (!result)
        return FoldStatus::DivByZero;
    left.SetInt(static_cast<std::int64_t>(*result));
    return FoldStatus::Ok;
}

// Currency is a count of ten-thousandths in 64 bits.
FoldStatus foldCurrency(Op op, TPSValueRecord& left, const TPSValueRecord& right)
{
    const long double b = GetRealValue(right);
    std::optional<std::int64_t> value;
    switch (op) {
    case Op::Add:
    case Op::Subtract: {
        const std::optional<std::int64_t> r =
            right.Base() == BaseType::Currency ? std::optional<std::int64_t>(right.Int) : roundToInt64(b * 10000);
        std::int64_t sum;
        if (r &&
            !(op == Op::Add ? __builtin_add_overflow(left.Int, *r, &sum) : __builtin_sub_overflow(left.Int, *r, &sum)))
            value = sum;
        break;
    }
    case Op::Multiply:
        value = roundToInt64(static_cast<long double>(left.Int) * b);
        break;
    case Op::Divide:
    case Op::IntDivide:
        if (b == 0)
            return FoldStatus::DivByZero;
        value = roundToInt64(static_cast<long double>(left.Int) / b);
        break;
    default:
        return FoldStatus::TypeMismatch;
    }
    if (!value)
        return FoldStatus::MathError;
    left.Int = *value;
    return FoldStatus::Ok;
}

FoldStatus foldReals(Op op, TPSValueRecord& left, const TPSValueRecord& right)
{
    if (left.Base() == BaseType::Currency)
        return foldCurrency(op, left, right);
    const long double a = left.Real, b = GetRealValue(right);
    long double r;
    switch (op) {
    case Op::Add:
        r = a + b;
        break;
    case Op::Subtract:
        r = a - b;
        break;
    case Op::Multiply:
        r = a * b;
        break;
    case Op::Divide:
    case Op::IntDivide:
        if (b == 0)
            return FoldStatus::DivByZero;
        r = a / b;
        break;
    default:
        return FoldStatus::TypeMismatch;
    }
    const std::optional<long double> value = toRealOfType(left.Base(), r);
    if (!value)
        return FoldStatus::MathError;
    left.Real = *value;
    return FoldStatus::Ok;
}

FoldStatus foldSets(Op op, TPSValueRecord& left, const TPSValueRecord& right)
{
    if (left.FType != right.FType || !(op == Op::Add || op == Op::Subtract || op == Op::Multiply))
        return FoldStatus::TypeMismatch;
    for (std::size_t i = 0; i < left.Str.size(); ++i) {
        const char r = right.Str[i];
        left.Str[i] = static_cast<char>(op == Op::Add        ? left.Str[i] | r
                                        : op == Op::Subtract ? left.Str[i] & ~r
                                                             : left.Str[i] & r);
    }
    return FoldStatus::Ok;
}

FoldStatus foldEnumeration(Op op, TPSValueRecord& left, const TPSValueRecord& right)
{
    if (op == Op::Add && IsIntegerBase(right.Base())) {
        left.SetInt(
            static_cast<std::int64_t>(static_cast<std::uint64_t>(left.Int) + static_cast<std::uint64_t>(right.Int)));
        return FoldStatus::Ok;
    }
    if ((op == Op::And || op == Op::Or || op == Op::Xor) && left.FType == right.FType) {
        left.SetInt(op == Op::And ? left.Int & right.Int : op == Op::Or ? left.Int | right.Int : left.Int ^ right.Int);
        return FoldStatus::Ok;
    }
    return FoldStatus::TypeMismatch;
}

} // namespace

TPSPascalCompiler::FoldStatus TPSPascalCompiler::FoldComparison(Op op, TPSValueRecord& left,
                                                                const TPSValueRecord& right)
{
    std::optional<bool> result;
    if (const std::optional<int> order = orderValues(left, right))
        result = compareByOrder(op, *order);
    else if (left.Base() == BaseType::Set && left.FType == right.FType)
        result = compareSets(op, left.Str, right.Str);
    if (!result)
        return FoldStatus::TypeMismatch;
    SetBooleanResult(left, *result);
    return FoldStatus::Ok;
}

// Concatenation appends to the left text in place, so that a long chain of
// additions costs no more than the text it builds.
TPSPascalCompiler::FoldStatus TPSPascalCompiler::FoldText(TPSValueRecord& left, const TPSValueRecord& right)
{
    const BaseType lb = left.Base(), rb = right.Base();
    if (isWideTextBase(lb) || isWideTextBase(rb)) {
        const BaseType kind =
            lb == BaseType::WideString || rb == BaseType::WideString ? BaseType::WideString : BaseType::UnicodeString;
        std::u16string text = IsWideStringBase(lb) ? std::move(left.WStr) : GetWideStringValue(left);
        if (IsWideStringBase(rb))
            text += right.WStr;
        else
            text += GetWideStringValue(right);
        SetWideStringResult(left, std::move(text), kind);
    } else {
        std::string text =
            lb == BaseType::AnsiString || lb == BaseType::PChar ? std::move(left.Str) : GetStringValue(left);
        if (rb == BaseType::AnsiString || rb == BaseType::PChar)
            text += right.Str;
        else
            text += GetStringValue(right);
        SetStringResult(left, std::move(text));
    }
    return FoldStatus::Ok;
}

TPSPascalCompiler::FoldStatus TPSPascalCompiler::Fold(Op op, TPSValueRecord& left, const TPSValueRecord& right)
{
    const BaseType rb = right.Base();
    // An integer meeting a real becomes of the real's type first.
    if (IsIntegerBase(left.Base()) && IsRealBase(rb)) {
        const std::int64_t x = left.Int;
        left.Init(right.FType);
        if (rb == BaseType::Currency) {
            if (__builtin_mul_overflow(x, std::int64_t{10000}, &left.Int))
                return FoldStatus::MathError;
        } else {
            left.Real = *toRealOfType(rb, static_cast<long double>(x));
        }
    }
    const BaseType lb = left.Base();
    if (op >= Op::GreaterEqual && op <= Op::NotEqual)
        return FoldComparison(op, left, right);
    if (IsIntegerBase(lb) && IsIntegerBase(rb))
        return foldIntegers(op, left, right);
    if (IsRealBase(lb) && IsNumericBase(rb))
        return foldReals(op, left, right);
    if (op == Op::Add && isTextBase(lb) && isTextBase(rb))
        return FoldText(left, right);
    if (lb == BaseType::Set)
        return foldSets(op, left, right);
    if (lb == BaseType::Enumeration)
        return foldEnumeration(op, left, right);
    return FoldStatus::TypeMismatch;
}

TPSPascalCompiler::FoldStatus TPSPascalCompiler::Negate(TPSValueRecord& value)
{
    const BaseType base = value.Base();
    if (IsUnsignedBase(base)) {
        // The negation of an unsigned value is signed: LongInt when it fits,
        // else Int64.
        const std::int64_t result = -value.Int;
        value.Init(FindBaseType(result >= INT32_MIN ? BaseType::LongInt : BaseType::Int64));
        value.Int = result;
        return FoldStatus::Ok;
    }
    if (IsIntegerBase(base) || base == BaseType::Currency) {
        const std::int64_t x = value.Int;
        value.SetInt(static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(x)));
        return FoldStatus::Ok;
    }
    if (IsRealBase(base)) {
        value.Real = -value.Real;
        return FoldStatus::Ok;
    }
    return FoldStatus::TypeMismatch;
}

TPSPascalCompiler::FoldStatus TPSPascalCompiler::Not(TPSValueRecord& value)
{
    if (IsIntegerBase(value.Base())) {
        value.SetInt(~value.Int);
        return FoldStatus::Ok;
    }
    if (IsBooleanType(value.FType)) {
        value.Int = value.Int == 0 ? 1 : 0;
        return FoldStatus::Ok;
    }
    return FoldStatus::TypeMismatch;
}

void TPSPascalCompiler::ReportFold(const TPSPascalParser& parser, FoldStatus status)
{
    switch (status) {
    case FoldStatus::Ok:
        break;
    case FoldStatus::TypeMismatch:
        ErrorAt(parser, Err::TypeMismatch);
        break;
    case FoldStatus::DivByZero:
        ErrorAt(parser, Err::DivideByZero);
        break;
    case FoldStatus::MathError:
        ErrorAt(parser, Err::MathError, "Overflow");
        break;
    }
}

bool TPSPascalCompiler::PreCalc(Op op, TPSValueRecord& left, const TPSValueRecord& right)
{
    const FoldStatus status = Fold(op, left, right);
    ReportFold(*parser_, status);
    return status == FoldStatus::Ok;
}
