#include "script/common/numbers.h"

#include <cfloat>
#include <cmath>

namespace ps {

using pscode::CalcOp;
using pscode::CompareOp;

namespace {

bool isInteger(BaseType b)
{
    return (b >= BaseType::Byte && b <= BaseType::LongInt) || b == BaseType::Int64;
}

bool isCharacter(BaseType b)
{
    return b == BaseType::Char || b == BaseType::WideChar;
}

bool isReal(BaseType b)
{
    return b == BaseType::Single || b == BaseType::Double || b == BaseType::Extended;
}

// The right's low 32 bits, as the unsigned getter reads integers and
// character codes.
Calculated<std::uint32_t> low32(const Number& n)
{
    if (!isInteger(n.base) && !isCharacter(n.base))
        return NumberFault::TypeMismatch;
    return static_cast<std::uint32_t>(n.integer);
}

template <typename T> Calculated<Order> orderWith(T x, const Calculated<T>& y)
{
    if (!y.ok())
        return y.fault;
    return OrderOf(x, y.value);
}

// The quotient operator of either spelling, or nothing for one that is
// not + - * /.
bool realOperator(CalcOp& op)
{
    if (op == CalcOp::IntDivide)
        op = CalcOp::Divide;
    return op == CalcOp::Add || op == CalcOp::Subtract || op == CalcOp::Multiply || op == CalcOp::Divide;
}

} // namespace

bool IsNumberBase(BaseType base)
{
    return isInteger(base) || isCharacter(base) || isReal(base) || base == BaseType::Currency;
}

bool OrderSatisfies(Order order, CompareOp op)
{
    switch (op) {
    case CompareOp::GreaterEqual:
        return order == Order::Greater || order == Order::Equal;
    case CompareOp::LessEqual:
        return order == Order::Less || order == Order::Equal;
    case CompareOp::Greater:
        return order == Order::Greater;
    case CompareOp::Less:
        return order == Order::Less;
    case CompareOp::NotEqual:
        return order != Order::Equal;
    case CompareOp::Equal:
        return order == Order::Equal;
    default:
        return false;
    }
}

CompareOp CompareOpOf(CalcOp op)
{
    switch (op) {
    case CalcOp::GreaterEqual:
        return CompareOp::GreaterEqual;
    case CalcOp::LessEqual:
        return CompareOp::LessEqual;
    case CalcOp::Greater:
        return CompareOp::Greater;
    case CalcOp::Less:
        return CompareOp::Less;
    case CalcOp::NotEqual:
        return CompareOp::NotEqual;
    default:
        return CompareOp::Equal;
    }
}

Order OrderOfSets(const std::uint8_t* left, const std::uint8_t* right, std::size_t bytes)
{
    bool leftHasAll = true, rightHasAll = true;
    for (std::size_t i = 0; i < bytes; ++i) {
        leftHasAll = leftHasAll && (left[i] & right[i]) == right[i];
        rightHasAll = rightHasAll && (left[i] & right[i]) == left[i];
    }
    return leftHasAll && rightHasAll ? Order::Equal
           : leftHasAll              ? Order::Greater
           : rightHasAll             ? Order::Less
                                     : Order::Unordered;
}

Calculated<long double> NumberAsReal(const Number& n)
{
    if (isInteger(n.base))
        return static_cast<long double>(n.integer);
    if (isReal(n.base))
        return n.real;
    if (n.base == BaseType::Currency)
        return static_cast<long double>(n.integer) / 10000;
    return NumberFault::TypeMismatch;
}

Calculated<std::int64_t> NumberAsInt64(const Number& n)
{
    if (isInteger(n.base) || isCharacter(n.base))
        return n.integer;
    return NumberFault::TypeMismatch;
}

Calculated<std::int64_t> NumberAsCurrency(const Number& n)
{
    if (n.base == BaseType::Currency)
        return n.integer;
    const Calculated<long double> real = NumberAsReal(n);
    if (!real.ok())
        return real.fault;
    return RoundToInt64(real.value * 10000);
}

Calculated<Order> CompareNumbers(const Number& left, const Number& right)
{
    switch (left.base) {
    case BaseType::Byte:
    case BaseType::Word:
    case BaseType::LongWord:
        return orderWith(static_cast<std::uint32_t>(left.integer), low32(right));
    case BaseType::ShortInt:
    case BaseType::SmallInt: {
        const Calculated<std::uint32_t> bits = low32(right);
        if (!bits.ok())
            return bits.fault;
        return OrderOf(static_cast<std::int32_t>(left.integer), static_cast<std::int32_t>(bits.value));
    }
    case BaseType::LongInt: {
        const auto x = static_cast<std::int32_t>(left.integer);
        if (right.base == BaseType::Int64)
            return OrderOf(std::int64_t(x), right.integer);
        if (isReal(right.base))
            return OrderOf(static_cast<long double>(x), right.real);
        const Calculated<std::uint32_t> bits = low32(right);
        if (!bits.ok())
            return bits.fault;
        return OrderOf(x, static_cast<std::int32_t>(bits.value));
    }
    case BaseType::Int64:
        return orderWith(left.integer, NumberAsInt64(right));
    case BaseType::Single:
    case BaseType::Double:
    case BaseType::Extended:
        return orderWith(left.real, NumberAsReal(right));
    case BaseType::Currency:
        return orderWith(left.integer, NumberAsCurrency(right));
    default:
        return NumberFault::TypeMismatch;
    }
}

Calculated<long double> RealArithmetic(CalcOp op, long double a, long double b)
{
    if (!realOperator(op))
        return NumberFault::TypeMismatch;
    long double result;
    switch (op) {
    case CalcOp::Add:
        result = a + b;
        break;
    case CalcOp::Subtract:
        result = a - b;
        break;
    case CalcOp::Multiply:
        result = a * b;
        break;
    default:
        if (b == 0 && !std::isnan(a)) {
            if (a == 0)
                return NumberFault::Invalid;
            if (std::isfinite(a))
                return NumberFault::DivideByZero;
            return std::signbit(b) ? -a : a;
        }
        result = a / b;
        break;
    }
    if (!std::isfinite(result) && std::isfinite(a) && std::isfinite(b))
        return std::isnan(result) ? NumberFault::Invalid : NumberFault::Overflow;
    return result;
}

Calculated<long double> RealOfType(BaseType base, long double value)
{
    const long double limit = base == BaseType::Single ? FLT_MAX : base == BaseType::Double ? DBL_MAX : LDBL_MAX;
    if (std::isfinite(value) && std::fabs(value) > limit)
        return NumberFault::Overflow;
    if (base == BaseType::Single)
        return static_cast<float>(value);
    if (base == BaseType::Double)
        return static_cast<double>(value);
    return value;
}

Calculated<std::int64_t> RoundToInt64(long double value)
{
    const long double rounded = std::nearbyint(value);
    constexpr long double limit = 9223372036854775808.0L; // 2^63, exact
    if (!(rounded >= -limit && rounded < limit))
        return NumberFault::Overflow;
    return static_cast<std::int64_t>(rounded);
}

Calculated<long double> RealOp(CalcOp op, BaseType leftBase, long double left, const Number& right)
{
    if (!realOperator(op))
        return NumberFault::TypeMismatch;
    Calculated<long double> result = NumberFault::TypeMismatch;
    if (right.base == BaseType::Currency) {
        // The currency right stays in ten-thousandths as long as it can.
        const auto scaled = static_cast<long double>(right.integer);
        switch (op) {
        case CalcOp::Add:
            result = (scaled + left * 10000) / 10000;
            break;
        case CalcOp::Subtract:
            result = (left * 10000 - scaled) / 10000;
            break;
        case CalcOp::Multiply:
            result = scaled * left / 10000;
            break;
        default:
            result = RealArithmetic(CalcOp::Divide, left, scaled);
            if (result.ok())
                result.value *= 10000;
            break;
        }
        if (result.ok() && !std::isfinite(result.value) && std::isfinite(left))
            return NumberFault::Overflow;
    } else if (isInteger(right.base) || isReal(right.base)) {
        result = RealArithmetic(op, left, NumberAsReal(right).value);
    }
    if (!result.ok())
        return result;
    return RealOfType(leftBase, result.value);
}

Calculated<std::int64_t> CurrencyOp(CalcOp op, std::int64_t left, const Number& right)
{
    if (!realOperator(op))
        return NumberFault::TypeMismatch;
    const auto scaled = static_cast<long double>(left);
    long double result;
    if (right.base == BaseType::Currency) {
        const auto r = static_cast<long double>(right.integer);
        switch (op) {
        case CalcOp::Add:
            result = scaled + r;
            break;
        case CalcOp::Subtract:
            result = scaled - r;
            break;
        case CalcOp::Multiply:
            result = scaled * r / 10000;
            break;
        default: {
            const Calculated<long double> quotient = RealArithmetic(CalcOp::Divide, scaled, r);
            if (!quotient.ok())
                return quotient.fault;
            result = quotient.value * 10000;
            break;
        }
        }
    } else if (isInteger(right.base) || isReal(right.base)) {
        const long double r = NumberAsReal(right).value;
        switch (op) {
        case CalcOp::Add:
            result = scaled + r * 10000;
            break;
        case CalcOp::Subtract:
            result = scaled - r * 10000;
            break;
        case CalcOp::Multiply:
            result = scaled * r;
            break;
        default: {
            const Calculated<long double> quotient = RealArithmetic(CalcOp::Divide, scaled, r);
            if (!quotient.ok())
                return quotient.fault;
            result = quotient.value;
            break;
        }
        }
    } else {
        return NumberFault::TypeMismatch;
    }
    return RoundToInt64(result);
}

} // namespace ps
