#include "script/common/numbers.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

namespace {

using ps::BaseType;
using ps::NumberFault;
using ps::Order;
using pscode::CalcOp;

ps::Number integer(BaseType base, std::int64_t value)
{
    return {base, value, 0};
}

ps::Number real(BaseType base, long double value)
{
    return {base, 0, value};
}

ps::Number currency(std::int64_t scaled)
{
    return {BaseType::Currency, scaled, 0};
}

TEST(ScriptNumbers, RoundingIsHalfToEvenWithinInt64)
{
    EXPECT_EQ(ps::RoundToInt64(0.5L).value, 0);
    EXPECT_EQ(ps::RoundToInt64(1.5L).value, 2);
    EXPECT_EQ(ps::RoundToInt64(-2.5L).value, -2);
    EXPECT_EQ(ps::RoundToInt64(9223372036854775807.5L).fault, NumberFault::Overflow); // rounds to 2^63
    EXPECT_EQ(ps::RoundToInt64(-9223372036854775808.0L).value, INT64_MIN);
    EXPECT_EQ(ps::RoundToInt64(NAN).fault, NumberFault::Overflow);
}

TEST(ScriptNumbers, RealFaults)
{
    EXPECT_EQ(ps::RealArithmetic(CalcOp::Divide, 1, 0).fault, NumberFault::DivideByZero);
    EXPECT_EQ(ps::RealArithmetic(CalcOp::IntDivide, 0, 0).fault, NumberFault::Invalid);
    EXPECT_EQ(ps::RealArithmetic(CalcOp::Multiply, LDBL_MAX, 2).fault, NumberFault::Overflow);
    EXPECT_EQ(ps::RealArithmetic(CalcOp::Mod, 1, 1).fault, NumberFault::TypeMismatch);
    // What is already infinite stays so without a fault.
    EXPECT_EQ(ps::RealArithmetic(CalcOp::Divide, INFINITY, 0).value, INFINITY);
    EXPECT_EQ(ps::RealOfType(BaseType::Single, 1e39L).fault, NumberFault::Overflow);
    EXPECT_EQ(ps::RealOfType(BaseType::Double, 1e39L).value, 1e39);
    EXPECT_EQ(ps::RealOfType(BaseType::Single, 0.1L).value, 0.1f);
}

TEST(ScriptNumbers, TheLeftDecidesHowTheRightIsCompared)
{
    struct Case
    {
        ps::Number left, right;
        ps::Calculated<Order> expected;
    };
    const Case cases[] = {
        // 32 bits, signed after LongInt, unsigned after Byte, Word and LongWord.
        {integer(BaseType::LongInt, -1), integer(BaseType::LongWord, 4294967295), Order::Equal},
        {integer(BaseType::LongWord, 4294967295), integer(BaseType::LongInt, -1), Order::Equal},
        {integer(BaseType::Byte, 200), integer(BaseType::ShortInt, -1), Order::Less},
        {integer(BaseType::SmallInt, -1), integer(BaseType::Word, 65535), Order::Less},
        {integer(BaseType::Word, 1), integer(BaseType::Int64, 0x100000001), Order::Equal},
        {integer(BaseType::LongInt, 1), integer(BaseType::Int64, 0x100000001), Order::Less},
        {integer(BaseType::Int64, -1), integer(BaseType::LongWord, 4294967295), Order::Less},
        {integer(BaseType::Byte, 65), integer(BaseType::Char, 65), Order::Equal},
        // Reals only after LongInt and the reals; currency after the reals.
        {integer(BaseType::LongInt, 3), real(BaseType::Double, 3.5), Order::Less},
        {integer(BaseType::Byte, 3), real(BaseType::Double, 3.5), NumberFault::TypeMismatch},
        {integer(BaseType::Int64, 3), real(BaseType::Single, 3), NumberFault::TypeMismatch},
        {integer(BaseType::LongInt, 3), currency(30000), NumberFault::TypeMismatch},
        {real(BaseType::Single, 0.5), currency(5000), Order::Equal},
        {real(BaseType::Double, NAN), integer(BaseType::Byte, 1), Order::Unordered},
        {real(BaseType::Double, 1), integer(BaseType::Char, 1), NumberFault::TypeMismatch},
        // Currency reads the right in ten-thousandths, rounded.
        {currency(1), real(BaseType::Extended, 0.00005L), Order::Greater},
        {currency(2), real(BaseType::Extended, 0.00015L), Order::Equal},
        {currency(1), real(BaseType::Extended, 1e300L), NumberFault::Overflow},
    };
    for (const Case& c : cases) {
        const ps::Calculated<Order> got = ps::CompareNumbers(c.left, c.right);
        EXPECT_EQ(got.fault, c.expected.fault) << int(c.left.base) << " " << int(c.right.base);
        if (c.expected.ok()) {
            EXPECT_EQ(got.value, c.expected.value) << int(c.left.base) << " " << int(c.right.base);
        }
    }
    EXPECT_TRUE(ps::OrderSatisfies(Order::Unordered, pscode::CompareOp::NotEqual));
    EXPECT_FALSE(ps::OrderSatisfies(Order::Unordered, pscode::CompareOp::LessEqual));
}

TEST(ScriptNumbers, CurrencyStaysInTenThousandthsAndRoundsOnce)
{
    // 0.0003 + 0.00005 is 3.5 ten-thousandths, rounded once to 4.
    EXPECT_EQ(ps::CurrencyOp(CalcOp::Add, 3, real(BaseType::Extended, 0.00005L)).value, 4);
    EXPECT_EQ(ps::CurrencyOp(CalcOp::Subtract, 3, real(BaseType::Extended, 0.00005L)).value, 2);
    EXPECT_EQ(ps::CurrencyOp(CalcOp::Multiply, 15000, currency(20000)).value, 30000);
    EXPECT_EQ(ps::CurrencyOp(CalcOp::Divide, 10000, currency(30000)).value, 3333);
    EXPECT_EQ(ps::CurrencyOp(CalcOp::Divide, 10000, integer(BaseType::Byte, 0)).fault, NumberFault::DivideByZero);
    EXPECT_EQ(ps::CurrencyOp(CalcOp::Add, INT64_MAX, currency(1)).fault, NumberFault::Overflow);
    EXPECT_EQ(ps::CurrencyOp(CalcOp::Mod, 1, currency(1)).fault, NumberFault::TypeMismatch);
    // A real left meets currency as its value, in the left's precision.
    EXPECT_EQ(ps::RealOp(CalcOp::Add, BaseType::Double, 0.5L, currency(5000)).value, 1.0L);
    EXPECT_EQ(ps::RealOp(CalcOp::Divide, BaseType::Single, 1, currency(30000)).value, 1.0f / 3);
    EXPECT_EQ(ps::RealOp(CalcOp::Add, BaseType::Single, FLT_MAX, real(BaseType::Double, FLT_MAX)).fault,
              NumberFault::Overflow);
    EXPECT_EQ(ps::NumberAsCurrency(integer(BaseType::LongWord, 4294967295)).value, 42949672950000);
}

} // namespace
