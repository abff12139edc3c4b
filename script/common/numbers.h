#pragma once
// How the script language orders and computes numbers that are not plain
// integers of one type: comparisons across numeric types, real and currency
// arithmetic, and rounding. The constant folder and the interpreter both
// call these, so a folded constant is what the running code computes.
//
// The left operand's type decides how the right one is read, as the
// interpreter's value getters read it:
// - Byte, Word and LongWord compare the right's low 32 bits unsigned,
//   ShortInt and SmallInt signed; no real or currency right is taken.
// - LongInt compares a right of up to 32 bits as signed 32 bits, an Int64
//   in 64 bits and a real as a real; no currency right is taken.
// - Int64 takes integers only.
// - Reals take integers, reals and currency (as its value).
// - Currency takes integers and reals in ten-thousandths, rounded half to
//   even.
// Nothing here raises: a failure is a fault the caller reports its own way.

#include "script/common/bytecode_image.h"
#include "script/common/instruction_set.h"

#include <cstddef>
#include <cstdint>

namespace ps {

enum class NumberFault : std::uint8_t {
    None,
    TypeMismatch, // the pair is not taken
    DivideByZero, // a finite value divided by zero
    Invalid,      // 0 / 0 and the like
    Overflow,     // a finite result beyond what its type holds
};

template <typename T> struct Calculated
{
    T value{};
    NumberFault fault = NumberFault::None;

    Calculated(T v) : value(v) {}
    Calculated(NumberFault f) : fault(f) {}
    bool ok() const { return fault == NumberFault::None; }
};

// A number of an integer, character, real or currency type: integers and
// character codes extended by their own sign, currency as its count of
// ten-thousandths, reals in the widest real.
struct Number
{
    BaseType base = BaseType::LongInt;
    std::int64_t integer = 0;
    long double real = 0;
};

// The types a Number stands for.
bool IsNumberBase(BaseType base);

enum class Order : std::uint8_t { Less, Equal, Greater, Unordered };

// Whether an order satisfies a comparison operator (Unordered satisfies
// "<>" alone).
bool OrderSatisfies(Order order, pscode::CompareOp op);
// The comparison byte of the folder's comparison operators; nothing else
// is asked for.
pscode::CompareOp CompareOpOf(pscode::CalcOp op);

template <typename T> Order OrderOf(const T& x, const T& y)
{
    if (x < y)
        return Order::Less;
    if (y < x)
        return Order::Greater;
    return x == y ? Order::Equal : Order::Unordered; // reals: NaN
}

// Set values of one set type, byte by byte: Greater when the left holds
// every element of the right, Less the other way round.
Order OrderOfSets(const std::uint8_t* left, const std::uint8_t* right, std::size_t bytes);

// The right read as the left's kind asks, then compared.
Calculated<Order> CompareNumbers(const Number& left, const Number& right);

// A number read as a real, as a 64-bit integer and as currency, as the
// value getters read it.
Calculated<long double> NumberAsReal(const Number& n);
Calculated<std::int64_t> NumberAsInt64(const Number& n);
Calculated<std::int64_t> NumberAsCurrency(const Number& n);

// a op b for + - * / on reals: a finite value divided by zero is
// DivideByZero, 0 / 0 is Invalid, a finite result from finite operands that
// is not finite is Overflow (or Invalid when it is not a number).
Calculated<long double> RealArithmetic(pscode::CalcOp op, long double a, long double b);
// A real in the precision of the real type; Overflow when finite and beyond
// the type's range.
Calculated<long double> RealOfType(BaseType base, long double value);
// Rounds half to even; Overflow when the result passes the Int64 range.
Calculated<std::int64_t> RoundToInt64(long double value);

// left op right for + - * / with a left of base Single, Double or Extended,
// the result in the left's precision.
Calculated<long double> RealOp(pscode::CalcOp op, BaseType leftBase, long double left, const Number& right);
// left op right for + - * / with a currency left, in ten-thousandths.
Calculated<std::int64_t> CurrencyOp(pscode::CalcOp op, std::int64_t left, const Number& right);

} // namespace ps
