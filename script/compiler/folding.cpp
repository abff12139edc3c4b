// Compile-time values and the folder.
//
// Folding never runs into undefined behaviour, and a folded constant is what
// the interpreter computes for the same operands: integer operations are its
// own (integer_calc.h), and so are comparisons across numeric types, real
// and currency arithmetic and rounding (numbers.h).

#include "script/compiler/compiler.h"

#include "script/common/integer_calc.h"
#include "script/common/numbers.h"
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

FoldStatus statusOf(ps::NumberFault fault)
{
    switch (fault) {
    case ps::NumberFault::None:
        return FoldStatus::Ok;
    case ps::NumberFault::TypeMismatch:
        return FoldStatus::TypeMismatch;
    case ps::NumberFault::DivideByZero:
        return FoldStatus::DivByZero;
    default:
        return FoldStatus::MathError;
    }
}

// A numeric or character value as the shared number rules take it.
ps::Number numberOf(const TPSValueRecord& value)
{
    ps::Number n{value.Base(), value.Int, 0};
    if (n.base == BaseType::Single || n.base == BaseType::Double || n.base == BaseType::Extended)
        n.real = value.Real;
    return n;
}

bool isNumber(const TPSValueRecord& value)
{
    return ps::IsNumberBase(value.Base()) && value.Base() != BaseType::Char && value.Base() != BaseType::WideChar;
}

// The order of two numbers, two texts or two ordinals of one enumeration.
ps::Calculated<ps::Order> orderValues(const TPSValueRecord& left, const TPSValueRecord& right)
{
    using ps::OrderOf;
    const BaseType lb = left.Base(), rb = right.Base();
    if (isNumber(left) && isNumber(right))
        return ps::CompareNumbers(numberOf(left), numberOf(right));
    if (isTextBase(lb) && isTextBase(rb)) {
        if (isWideTextBase(lb) || isWideTextBase(rb))
            return OrderOf(GetWideStringValue(left), GetWideStringValue(right));
        return OrderOf(GetStringValue(left), GetStringValue(right));
    }
    if (lb == BaseType::Enumeration && left.FType == right.FType)
        return OrderOf(left.Int, right.Int);
    if (lb == BaseType::Set && left.FType == right.FType)
        return ps::OrderOfSets(reinterpret_cast<const std::uint8_t*>(left.Str.data()),
                               reinterpret_cast<const std::uint8_t*>(right.Str.data()), left.Str.size());
    return ps::NumberFault::TypeMismatch;
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

// A real or currency left with a numeric right.
FoldStatus foldReals(Op op, TPSValueRecord& left, const TPSValueRecord& right)
{
    if (left.Base() == BaseType::Currency) {
        const ps::Calculated<std::int64_t> result = ps::CurrencyOp(op, left.Int, numberOf(right));
        if (result.ok())
            left.Int = result.value;
        return statusOf(result.fault);
    }
    const ps::Calculated<long double> result = ps::RealOp(op, left.Base(), left.Real, numberOf(right));
    if (result.ok())
        left.Real = result.value;
    return statusOf(result.fault);
}

// An integer meeting a real or currency computes in the real's type: the
// integer becomes of that type first, as it does in the code.
FoldStatus widenToReal(TPSValueRecord& left, TPSType* realType)
{
    const ps::Number integer = numberOf(left);
    left.Init(realType);
    if (left.Base() == BaseType::Currency) {
        const ps::Calculated<std::int64_t> scaled = ps::NumberAsCurrency(integer);
        left.Int = scaled.value;
        return statusOf(scaled.fault);
    }
    const ps::Calculated<long double> real = ps::RealOfType(left.Base(), ps::NumberAsReal(integer).value);
    left.Real = real.value;
    return statusOf(real.fault);
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
    const ps::Calculated<ps::Order> order = orderValues(left, right);
    if (!order.ok())
        return statusOf(order.fault);
    // Sets are ordered by inclusion only.
    if (left.Base() == BaseType::Set && (op == Op::Less || op == Op::Greater))
        return FoldStatus::TypeMismatch;
    SetBooleanResult(left, ps::OrderSatisfies(order.value, ps::CompareOpOf(op)));
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
    // A comparison reads the right as the left's type asks; nothing is
    // converted first.
    if (op >= Op::GreaterEqual && op <= Op::NotEqual)
        return FoldComparison(op, left, right);
    const BaseType rb = right.Base();
    if (IsIntegerBase(left.Base()) && IsRealBase(rb)) {
        if (const FoldStatus status = widenToReal(left, right.FType); status != FoldStatus::Ok)
            return status;
    }
    const BaseType lb = left.Base();
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
