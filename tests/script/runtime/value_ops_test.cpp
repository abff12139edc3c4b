#include "script/common/instruction_set.h"
#include "script/runtime/exec.h"
#include "script/runtime/value_ops.h"
#include "script/runtime/values.h"
#include "tests/script/runtime/image_builder.h"
#include "tests/script/runtime/value_test_support.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <functional>
#include <optional>
#include <vector>

using namespace valuetest;
using ps::BaseType;
using pscode::CalcOp;
using pscode::CompareOp;

namespace {

constexpr BaseType Byte = BaseType::Byte, ShortInt = BaseType::ShortInt, Word = BaseType::Word,
                   SmallInt = BaseType::SmallInt, LongWord = BaseType::LongWord, LongInt = BaseType::LongInt,
                   Single = BaseType::Single, Double = BaseType::Double, Extended = BaseType::Extended,
                   AnsiString = BaseType::AnsiString, PChar = BaseType::PChar, Int64 = BaseType::Int64,
                   Char = BaseType::Char, WideString = BaseType::WideString, WideChar = BaseType::WideChar,
                   Currency = BaseType::Currency, UnicodeString = BaseType::UnicodeString;

Variant vInt(std::int64_t n, std::uint16_t code = varcode::Integer)
{
    return {code, n};
}
Variant vReal(double x, std::uint16_t code = varcode::Double)
{
    return {code, x};
}
Variant vStr(std::string s)
{
    return {varcode::String, std::move(s)};
}
Variant vWide(std::u16string s)
{
    return {varcode::OleStr, std::move(s)};
}
Variant vBool(bool b)
{
    return {varcode::Boolean, std::int64_t(b)};
}
Variant vCurrency(std::int64_t scaled)
{
    return {varcode::Currency, scaled};
}
const Variant vNull{varcode::Null, {}};

// What a failed operation left on the executer.
struct Failure
{
    TPSError code = ErNoError;
    std::string text;
};

struct Expectation
{
    bool ok;
    Init value;      // when ok
    Failure failure; // when not
};

Expectation gives(Init value)
{
    return {true, std::move(value), {}};
}
Expectation fails(TPSError code, std::string text = {})
{
    return {false, I(Byte, 0), {code, std::move(text)}};
}
// A "Type Mismatch" a getter raised, which reaches the user as an exception.
Expectation raisesMismatch()
{
    return fails(erException, "Type Mismatch");
}

void check(bool ok, const TPSExec& exec, const Value& result, const Expectation& want)
{
    if (!want.ok) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(exec.ExceptionCode(), want.failure.code)
            << ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText());
        if (!want.failure.text.empty()) {
            EXPECT_EQ(exec.ExceptionText(), want.failure.text);
        }
        return;
    }
    ASSERT_TRUE(ok) << ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText());
    std::string why;
    EXPECT_TRUE(Holds(result, want.value, why)) << why;
}

struct CalcRow
{
    const char* name;
    Init left;
    Init right;
    CalcOp op;
    Expectation want;
};

void runCalcRows(const std::vector<CalcRow>& rows)
{
    for (const CalcRow& row : rows) {
        SCOPED_TRACE(row.name);
        TPSExec exec;
        Value left = row.left.make();
        const Value right = row.right.make();
        const bool ok = ApplyArithmeticOp(&exec, left.data(), right.data(), left.type(), right.type(),
                                          static_cast<std::uint8_t>(row.op));
        check(ok, exec, left, row.want);
    }
}

} // namespace

TEST(ValueOps, IntegerArithmeticWrapsInTheLeftWidthWithItsSignedness)
{
    runCalcRows({
        {"byte sum wraps", I(Byte, 200), I(Byte, 100), CalcOp::Add, gives(I(Byte, 44))},
        {"byte difference wraps", I(Byte, 10), I(Byte, 20), CalcOp::Subtract, gives(I(Byte, 246))},
        {"shortint below its range", I(ShortInt, -128), I(LongInt, 1), CalcOp::Subtract, gives(I(ShortInt, 127))},
        {"word sum wraps", I(Word, 65535), I(Byte, 1), CalcOp::Add, gives(I(Word, 0))},
        {"smallint product", I(SmallInt, 300), I(SmallInt, 200), CalcOp::Multiply, gives(I(SmallInt, -5536))},
        {"longword division is unsigned", I(LongWord, 0xFFFFFFFF), I(LongWord, 2), CalcOp::Divide,
         gives(I(LongWord, 0x7FFFFFFF))},
        {"longint division truncates", I(LongInt, -7), I(LongInt, 2), CalcOp::Divide, gives(I(LongInt, -3))},
        {"longint remainder keeps the sign", I(LongInt, -7), I(LongInt, 2), CalcOp::Mod, gives(I(LongInt, -1))},
        {"longint shr is logical", I(LongInt, -1), I(LongInt, 28), CalcOp::Shr, gives(I(LongInt, 15))},
        {"shortint shr widens with its sign", I(ShortInt, -1), I(Byte, 4), CalcOp::Shr, gives(I(ShortInt, -1))},
        {"byte shifted by 8 is 0", I(Byte, 1), I(Byte, 8), CalcOp::Shl, gives(I(Byte, 0))},
        {"shift count modulo 32", I(Byte, 1), I(LongInt, 33), CalcOp::Shl, gives(I(Byte, 2))},
        {"and", I(LongWord, 5), I(LongWord, 3), CalcOp::And, gives(I(LongWord, 1))},
        {"or", I(Word, 5), I(Word, 3), CalcOp::Or, gives(I(Word, 7))},
        {"xor", I(SmallInt, 5), I(SmallInt, 3), CalcOp::Xor, gives(I(SmallInt, 6))},
        {"longint takes an int64's low bits", I(LongInt, 1), I(Int64, 0x100000005), CalcOp::Add, gives(I(LongInt, 6))},
        {"char code arithmetic", I(Char, 'A'), I(Byte, 1), CalcOp::Add, gives(I(Char, 'B'))},
        {"widechar wraps", I(WideChar, 0xFFFF), I(Byte, 1), CalcOp::Add, gives(I(WideChar, 0))},
        {"int64 sum wraps", I(Int64, INT64_MAX), I(Byte, 1), CalcOp::Add, gives(I(Int64, INT64_MIN))},
        {"int64 takes a longword unsigned", I(Int64, 0), I(LongWord, 0xFFFFFFFF), CalcOp::Add,
         gives(I(Int64, 4294967295))},
        {"int64 shl 63", I(Int64, 1), I(Byte, 63), CalcOp::Shl, gives(I(Int64, INT64_MIN))},
        {"int64 shift count modulo 64", I(Int64, 1), I(Byte, 65), CalcOp::Shl, gives(I(Int64, 2))},
        {"int64 shr is logical", I(Int64, -1), I(Byte, 60), CalcOp::Shr, gives(I(Int64, 15))},
        {"lowest int64 by -1", I(Int64, INT64_MIN), I(LongInt, -1), CalcOp::Divide, gives(I(Int64, INT64_MIN))},
        {"lowest int64 mod -1", I(Int64, INT64_MIN), I(LongInt, -1), CalcOp::Mod, gives(I(Int64, 0))},
        {"longint with a variant", I(LongInt, 40), V(vInt(2)), CalcOp::Add, gives(I(LongInt, 42))},
        {"longint divided by a variant is integer division", I(LongInt, 7), V(vReal(2)), CalcOp::Divide,
         gives(I(LongInt, 3))},
        {"longword with a variant keeps the low bits", I(LongWord, 1), V(vInt(0x100000001, varcode::Int64)),
         CalcOp::Add, gives(I(LongWord, 2))},
        {"byte with a one-character variant", I(Byte, 1), V(vStr("A")), CalcOp::Add, gives(I(Byte, 66))},
        {"longint overflowing through a variant", I(LongInt, 1), V(vInt(0x7FFFFFFF)), CalcOp::Add, fails(erException)},
        {"byte divided by zero", I(Byte, 1), I(Byte, 0), CalcOp::Divide, fails(ErDivideByZero)},
        {"longint mod zero", I(LongInt, 1), I(LongInt, 0), CalcOp::Mod, fails(ErDivideByZero)},
        {"int64 divided by zero", I(Int64, 1), I(Int64, 0), CalcOp::Divide, fails(ErDivideByZero)},
        {"char takes only + and -", I(Char, 'A'), I(Byte, 2), CalcOp::Multiply, fails(ErTypeMismatch)},
        {"a string right", I(LongInt, 1), S(AnsiString, "1"), CalcOp::Add, raisesMismatch()},
        {"a real right", I(Byte, 1), R(Double, 1), CalcOp::Add, raisesMismatch()},
        {"'as' on an integer", I(LongInt, 1), I(LongWord, 1), CalcOp::As, fails(ErTypeMismatch)},
        {"operator past 'as'", I(LongInt, 1), I(LongInt, 1), static_cast<CalcOp>(11), fails(erInvalidOpcodeParameter)},
    });
}

TEST(ValueOps, RealAndCurrencyArithmetic)
{
    runCalcRows({
        {"double plus integer", R(Double, 1.5), I(LongInt, 2), CalcOp::Add, gives(R(Double, 3.5))},
        {"single keeps single precision", R(Single, 0.1L), R(Single, 0.2L), CalcOp::Add,
         gives(R(Single, static_cast<long double>(0.1f) + static_cast<long double>(0.2f)))},
        {"real division of a real left", R(Double, 1), I(LongInt, 4), CalcOp::Divide, gives(R(Double, 0.25))},
        {"extended keeps extended precision", R(Extended, 1), I(Byte, 3), CalcOp::Divide, gives(R(Extended, 1.0L / 3))},
        {"int64 right", R(Double, 0.5), I(Int64, 1LL << 40), CalcOp::Multiply, gives(R(Double, 549755813888.0))},
        {"double plus currency", R(Double, 1), I(Currency, 15000), CalcOp::Add, gives(R(Double, 2.5))},
        {"double minus currency", R(Double, 1), I(Currency, 15000), CalcOp::Subtract, gives(R(Double, -0.5))},
        {"double times currency", R(Double, 3), I(Currency, 15000), CalcOp::Multiply, gives(R(Double, 4.5))},
        {"double by currency", R(Double, 10), I(Currency, 25000), CalcOp::Divide, gives(R(Double, 4))},
        {"double with a variant text", R(Double, 1), V(vStr("2.5")), CalcOp::Add, gives(R(Double, 3.5))},
        {"currency 1.5 + 1 is 2.5 exactly", I(Currency, 15000), I(LongInt, 1), CalcOp::Add, gives(I(Currency, 25000))},
        {"currency minus a real", I(Currency, 15000), R(Double, 0.25), CalcOp::Subtract, gives(I(Currency, 12500))},
        {"currency times currency", I(Currency, 15000), I(Currency, 20000), CalcOp::Multiply,
         gives(I(Currency, 30000))},
        {"currency by currency", I(Currency, 100000), I(Currency, 40000), CalcOp::Divide, gives(I(Currency, 25000))},
        {"currency by an integer rounds", I(Currency, 10000), I(LongInt, 3), CalcOp::Divide, gives(I(Currency, 3333))},
        {"currency tie rounds to even, up", I(Currency, 3), R(Double, 0.5), CalcOp::Multiply, gives(I(Currency, 2))},
        {"currency tie rounds to even, down", I(Currency, 5), R(Double, 0.5), CalcOp::Multiply, gives(I(Currency, 2))},
        {"currency with a variant", I(Currency, 10000), V(vReal(0.5)), CalcOp::Add, gives(I(Currency, 15000))},
        {"double divided by zero", R(Double, 1), I(LongInt, 0), CalcOp::Divide, fails(ErDivideByZero)},
        {"zero divided by zero", R(Double, 0), R(Double, 0), CalcOp::Divide, fails(ErMathError)},
        {"double overflow", R(Double, DBL_MAX), R(Double, 10), CalcOp::Multiply, fails(ErMathError)},
        {"single overflow on store", R(Single, FLT_MAX), R(Single, 10), CalcOp::Multiply, fails(ErMathError)},
        {"currency divided by zero", I(Currency, 10000), I(Currency, 0), CalcOp::Divide, fails(ErDivideByZero)},
        {"currency overflow", I(Currency, INT64_MAX), R(Double, 2), CalcOp::Multiply, fails(ErMathError)},
        {"real mod", R(Double, 1), R(Double, 1), CalcOp::Mod, fails(ErTypeMismatch)},
        {"string right of a real", R(Double, 1), S(AnsiString, "1"), CalcOp::Add, raisesMismatch()},
    });
}

TEST(ValueOps, StringAndVariantArithmetic)
{
    runCalcRows({
        {"string plus char", S(AnsiString, "ab"), I(Char, 'c'), CalcOp::Add, gives(S(AnsiString, "abc"))},
        {"string plus byte as a character", S(AnsiString, "ab"), I(Byte, 65), CalcOp::Add, gives(S(AnsiString, "abA"))},
        {"string plus wide text", S(AnsiString, "x"), W(WideString, u"\u00e9"), CalcOp::Add,
         gives(S(AnsiString, "x\xc3\xa9"))},
        {"string plus a variant number", S(AnsiString, "n="), V(vInt(5)), CalcOp::Add, gives(S(AnsiString, "n=5"))},
        {"pchar plus string", S(PChar, "a"), S(AnsiString, "b"), CalcOp::Add, gives(S(PChar, "ab"))},
        {"wide plus 8-bit text", W(UnicodeString, u"x"), S(AnsiString, "\xc3\xa9"), CalcOp::Add,
         gives(W(UnicodeString, u"x\u00e9"))},
        {"wide plus widechar", W(WideString, u"a"), I(WideChar, 0x263A), CalcOp::Add, gives(W(WideString, u"a\u263a"))},
        {"string plus integer", S(AnsiString, "a"), I(LongInt, 1), CalcOp::Add, raisesMismatch()},
        {"string minus string", S(AnsiString, "a"), S(AnsiString, "a"), CalcOp::Subtract, fails(ErTypeMismatch)},
        {"variant integers", V(vInt(2)), I(LongInt, 3), CalcOp::Add, gives(V(vInt(5)))},
        {"variant texts join", V(vStr("a")), S(AnsiString, "b"), CalcOp::Add, gives(V(vStr("ab")))},
        {"variant text and wide text", V(vStr("a")), W(WideString, u"b"), CalcOp::Add, gives(V(vWide(u"ab")))},
        {"variant text plus number adds", V(vStr("2")), I(LongInt, 3), CalcOp::Add, gives(V(vInt(5)))},
        {"variant integer division", V(vInt(7)), I(LongInt, 2), CalcOp::Divide, gives(V(vInt(3)))},
        {"variant real division", V(vReal(7)), I(LongInt, 2), CalcOp::Divide, gives(V(vReal(3.5)))},
        {"variant currency stays currency", V(vCurrency(15000)), I(LongInt, 2), CalcOp::Multiply,
         gives(V(vCurrency(30000)))},
        {"variant integer grows to int64", V(vInt(INT32_MAX)), I(LongInt, 1), CalcOp::Add,
         gives(V(vInt(2147483648LL, varcode::Int64)))},
        {"variant null stays null", V(vNull), I(LongInt, 1), CalcOp::Add, gives(V(vNull))},
        {"variant shl", V(vInt(1)), I(LongInt, 4), CalcOp::Shl, gives(V(vInt(16)))},
        {"variant booleans", V(vBool(true)), V(vBool(false)), CalcOp::And, gives(V(vBool(false)))},
        {"variant from currency", V(vInt(1)), I(Currency, 5000), CalcOp::Add, gives(V(vCurrency(15000)))},
        {"variant mod zero", V(vInt(5)), I(LongInt, 0), CalcOp::Mod, fails(ErDivideByZero)},
        {"variant real by zero", V(vReal(5)), I(LongInt, 0), CalcOp::Divide, fails(ErDivideByZero)},
        {"variant real overflow", V(vReal(DBL_MAX)), I(LongInt, 10), CalcOp::Multiply, fails(ErMathError)},
        {"extended too large for a variant", R(Extended, 1e4000L), V(vInt(1)), CalcOp::Add, fails(ErMathError)},
        {"variant text that is no number", V(vStr("x")), I(LongInt, 1), CalcOp::Multiply, fails(erException)},
    });
}

TEST(ValueOps, SetArithmeticNeedsTheSameSetType)
{
    const TPSTypeRec* set = types().set10.get();
    struct Row
    {
        CalcOp op;
        std::uint16_t expected;
    };
    // Left {0, 3, 9}, right {3, 4}: bits 0x209 and 0x018.
    for (const Row& row : {Row{CalcOp::Add, 0x219}, Row{CalcOp::Subtract, 0x201}, Row{CalcOp::Multiply, 0x008}}) {
        TPSExec exec;
        Value left(set), right(set);
        left.as<std::uint16_t>() = 0x209;
        right.as<std::uint16_t>() = 0x018;
        ASSERT_TRUE(ApplyArithmeticOp(&exec, left.data(), right.data(), set, set, static_cast<std::uint8_t>(row.op)));
        EXPECT_EQ(left.as<std::uint16_t>(), row.expected);
    }
    TPSExec exec;
    Value left(set), other(types().set8.get());
    EXPECT_FALSE(ApplyArithmeticOp(&exec, left.data(), other.data(), set, other.type(), 0));
    EXPECT_EQ(exec.ExceptionCode(), ErTypeMismatch);
}

namespace {

struct CompareRow
{
    const char* name;
    Init left;
    Init right;
    CompareOp op;
    Expectation want; // a Byte 0 or 1
};

Expectation yes()
{
    return gives(I(Byte, 1));
}
Expectation no()
{
    return gives(I(Byte, 0));
}

void runCompareRows(const std::vector<CompareRow>& rows)
{
    for (const CompareRow& row : rows) {
        SCOPED_TRACE(row.name);
        TPSExec exec;
        const Value left = row.left.make(), right = row.right.make();
        Value dest(types().of(Byte));
        const bool ok = CompareValues(&exec, left.data(), right.data(), dest.data(), left.type(), right.type(),
                                      dest.type(), static_cast<std::uint8_t>(row.op));
        check(ok, exec, dest, row.want);
    }
}

} // namespace

TEST(ValueOps, ComparisonsByTheLeftOperandsType)
{
    runCompareRows({
        {"longint -1 equals longword 4294967295", I(LongInt, -1), I(LongWord, 0xFFFFFFFF), CompareOp::Equal, yes()},
        {"longword compares unsigned", I(LongWord, 0xFFFFFFFF), I(LongInt, 1), CompareOp::Greater, yes()},
        {"word against smallint -1 read unsigned", I(Word, 65535), I(SmallInt, -1), CompareOp::Less, yes()},
        {"shortint compares signed", I(ShortInt, -1), I(Byte, 1), CompareOp::Less, yes()},
        {"byte 65 equals 'A'", I(Byte, 65), S(AnsiString, "A"), CompareOp::Equal, yes()},
        {"byte as text", I(Byte, 66), S(AnsiString, "AB"), CompareOp::Greater, yes()},
        {"longint against int64", I(LongInt, 1), I(Int64, 1LL << 32), CompareOp::Less, yes()},
        {"longint against a real", I(LongInt, 1), R(Double, 1.5), CompareOp::LessEqual, yes()},
        {"longint against a variant", I(LongInt, 5), V(vStr("5")), CompareOp::Equal, yes()},
        {"longint against a string", I(LongInt, 5), S(AnsiString, "5"), CompareOp::Equal, raisesMismatch()},
        {"'ab' < 'b'", S(AnsiString, "ab"), S(AnsiString, "b"), CompareOp::Less, yes()},
        {"'a' = #97", S(AnsiString, "a"), I(Char, 97), CompareOp::Equal, yes()},
        {"bytes compare unsigned", S(AnsiString, "\xff"), S(AnsiString, "a"), CompareOp::Greater, yes()},
        {"pchar stops at its zero", S(PChar, std::string("ab\0c", 4)), S(AnsiString, "ab"), CompareOp::Equal, yes()},
        {"char against text", I(Char, 'b'), S(AnsiString, "ab"), CompareOp::GreaterEqual, yes()},
        {"wide texts by units", W(WideString, u"\u00e9"), W(UnicodeString, u"z"), CompareOp::Greater, yes()},
        {"widechar against wide text", I(WideChar, 'a'), W(WideString, u"a"), CompareOp::Equal, yes()},
        {"double 0.1 is not single 0.1", R(Double, 0.1L), R(Single, 0.1L), CompareOp::NotEqual, yes()},
        {"extended against integer", R(Extended, 2), I(Int64, 2), CompareOp::Equal, yes()},
        {"int64 signed", I(Int64, -1), I(LongWord, 0xFFFFFFFF), CompareOp::Less, yes()},
        {"currency against a real", I(Currency, 15000), R(Double, 1.5), CompareOp::Equal, yes()},
        {"currency against an integer", I(Currency, 10001), I(LongInt, 1), CompareOp::Greater, yes()},
        {"variant text against number", V(vStr("10")), I(LongInt, 9), CompareOp::Greater, yes()},
        {"variant texts", V(vStr("abc")), S(AnsiString, "abd"), CompareOp::Less, yes()},
        {"variant null equals nothing else", V(vNull), I(LongInt, 0), CompareOp::Equal, no()},
        {"variant null is unordered", V(vNull), I(LongInt, 0), CompareOp::LessEqual, no()},
        {"operator past 'is'", I(LongInt, 1), V(vInt(1)), static_cast<CompareOp>(8), fails(erInvalidOpcodeParameter)},
        {"text cannot be ordered against a real", R(Double, 1), S(AnsiString, "1"), CompareOp::Less, raisesMismatch()},
        {"char against a byte compares as text", I(Char, 'a'), I(Byte, 1), CompareOp::Greater, yes()},
        {"widechar against an integer", I(WideChar, 'a'), I(LongInt, 1), CompareOp::Equal, raisesMismatch()},
    });
}

TEST(ValueOps, RecordsSetsProceduresAndReferencesCompareByContent)
{
    const Types& t = types();
    TPSExec exec;
    const auto compare = [&](const Value& left, const Value& right, CompareOp op) {
        Value dest(t.of(Byte));
        if (!CompareValues(&exec, left.data(), right.data(), dest.data(), left.type(), right.type(), dest.type(),
                           static_cast<std::uint8_t>(op)))
            return -1;
        return int(dest.as<std::uint8_t>());
    };
    const auto fill = [&](Value& v, std::int32_t n, const std::string& s, double d) {
        const auto* record = t.record.get();
        auto* base = static_cast<std::byte*>(v.data());
        std::memcpy(base + record->fieldOffsets[0], &n, 4);
        *reinterpret_cast<std::string*>(base + record->fieldOffsets[1]) = s;
        std::memcpy(base + record->fieldOffsets[2], &d, 8);
    };

    // Texts of the same content in storage of their own are equal.
    Value a(t.record.get()), b(t.record.get()), other(t.otherRecord.get());
    fill(a, 7, std::string(40, 'x'), 0.5);
    fill(b, 7, std::string(40, 'x'), 0.5);
    EXPECT_EQ(compare(a, b, CompareOp::Equal), 1);
    fill(b, 7, std::string(40, 'y'), 0.5);
    EXPECT_EQ(compare(a, b, CompareOp::NotEqual), 1);
    fill(b, 7, std::string(40, 'x'), -0.0);
    fill(a, 7, std::string(40, 'x'), 0.0);
    EXPECT_EQ(compare(a, b, CompareOp::Equal), 1); // reals by value
    EXPECT_EQ(compare(a, other, CompareOp::Equal), -1);
    EXPECT_EQ(exec.ExceptionCode(), ErTypeMismatch);
    EXPECT_EQ(compare(a, b, CompareOp::Less), -1);
    EXPECT_EQ(exec.ExceptionCode(), ErTypeMismatch);

    // Sets: containment both ways, equality of the bits.
    Value small(t.set10.get()), large(t.set10.get());
    small.as<std::uint16_t>() = 0x0009;
    large.as<std::uint16_t>() = 0x0209;
    EXPECT_EQ(compare(large, small, CompareOp::GreaterEqual), 1);
    EXPECT_EQ(compare(small, large, CompareOp::GreaterEqual), 0);
    EXPECT_EQ(compare(small, large, CompareOp::LessEqual), 1);
    EXPECT_EQ(compare(small, large, CompareOp::Equal), 0);
    EXPECT_EQ(compare(large, large, CompareOp::Equal), 1);
    EXPECT_EQ(compare(small, large, CompareOp::Less), -1);
    EXPECT_EQ(exec.ExceptionCode(), ErTypeMismatch);

    // Procedural values: the number, and for a host method its two words.
    Value p(t.proc.get()), q(t.proc.get());
    p.as<TPSProcValue>() = {3, nullptr, nullptr};
    q.as<TPSProcValue>() = {3, &exec, nullptr};
    EXPECT_EQ(compare(p, q, CompareOp::Equal), 1);
    p.as<TPSProcValue>() = {0, nullptr, &exec};
    q.as<TPSProcValue>() = {0, &exec, &exec};
    EXPECT_EQ(compare(p, q, CompareOp::Equal), 0);

    // Object references compare with references only.
    Value o1(t.cls.get()), o2(t.cls.get()), n(t.of(LongInt));
    o1.as<void*>() = o2.as<void*>() = &exec;
    EXPECT_EQ(compare(o1, o2, CompareOp::Equal), 1);
    EXPECT_EQ(compare(o1, n, CompareOp::Equal), -1);
    EXPECT_EQ(exec.ExceptionCode(), ErTypeMismatch);
}

TEST(ValueOps, MembershipAndTheOutcomesDestination)
{
    const Types& t = types();
    struct Row
    {
        const char* name;
        const TPSTypeRec* set;
        std::uint32_t present; // the one element the set holds
        std::int64_t element;
        int expected; // 1, 0, or -1 for "Out of Record Fields Range"
    };
    for (const Row& row : {
             Row{"last element of 10", t.set10.get(), 9, 9, 1},
             Row{"element equal to the bit count", t.set10.get(), 9, 10, -1},
             Row{"last element of 8", t.set8.get(), 7, 7, 1},
             Row{"element 8 of an 8-bit set", t.set8.get(), 7, 8, -1},
             Row{"element 255 of 256", t.set256.get(), 255, 255, 1},
             Row{"element 256 of 256", t.set256.get(), 255, 256, -1},
             Row{"an element not in the set", t.set256.get(), 255, 100, 0},
             Row{"a negative element", t.set256.get(), 255, -1, -1},
         }) {
        SCOPED_TRACE(row.name);
        TPSExec exec;
        Value set(row.set), element(t.of(LongInt)), dest(t.of(LongInt));
        static_cast<std::uint8_t*>(set.data())[row.present / 8] = std::uint8_t(1u << (row.present % 8));
        element.as<std::int32_t>() = static_cast<std::int32_t>(row.element);
        const bool ok = CompareValues(&exec, element.data(), set.data(), dest.data(), element.type(), row.set,
                                      dest.type(), static_cast<std::uint8_t>(CompareOp::In));
        if (row.expected < 0) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText()), "Out of Record Fields Range");
        } else {
            ASSERT_TRUE(ok);
            EXPECT_EQ(dest.as<std::int32_t>(), row.expected);
        }
    }

    // A dynamic array of Variants: the left is compared with every element.
    TPSExec exec;
    Value array(t.variantArray.get()), wanted(t.of(LongInt)), dest(t.of(BaseType::Variant));
    DynArraySetLength(array.data(), array.type(), 3);
    auto* items = static_cast<Variant*>(DynArrayElements(array.data()));
    items[0] = vStr("x");
    items[1] = vReal(2);
    items[2] = vNull;
    wanted.as<std::int32_t>() = 2;
    ASSERT_TRUE(CompareValues(&exec, wanted.data(), array.data(), dest.data(), wanted.type(), array.type(), dest.type(),
                              static_cast<std::uint8_t>(CompareOp::In)));
    EXPECT_EQ(dest.as<Variant>(), vBool(true));
    wanted.as<std::int32_t>() = 3;
    ASSERT_TRUE(CompareValues(&exec, wanted.data(), array.data(), dest.data(), wanted.type(), array.type(), dest.type(),
                              static_cast<std::uint8_t>(CompareOp::In)));
    EXPECT_EQ(dest.as<Variant>(), vBool(false));

    // The outcome goes to an integer of any width or a Variant, nowhere else.
    for (const BaseType base : {Word, LongWord, AnsiString, Double}) {
        Value d(t.of(base)), l(t.of(LongInt)), r(t.of(LongInt));
        const bool ok = CompareValues(&exec, l.data(), r.data(), d.data(), l.type(), r.type(), d.type(),
                                      static_cast<std::uint8_t>(CompareOp::Equal));
        const bool integral = base == Word || base == LongWord;
        EXPECT_EQ(ok, integral) << int(ps::code(base));
        if (integral) {
            EXPECT_EQ(d.as<std::uint16_t>(), 1);
        } else {
            EXPECT_EQ(exec.ExceptionCode(), ErTypeMismatch);
        }
    }

    // 'is' and 'as' need a class type's number; no host class is known here.
    Value object(t.cls.get()), typeNo(t.of(LongWord)), flag(t.of(Byte));
    object.as<void*>() = &exec;
    typeNo.as<std::uint32_t>() = 12345;
    EXPECT_FALSE(CompareValues(&exec, object.data(), typeNo.data(), flag.data(), object.type(), typeNo.type(),
                               flag.type(), static_cast<std::uint8_t>(CompareOp::Is)));
    EXPECT_EQ(exec.ExceptionCode(), ErTypeMismatch);
    EXPECT_FALSE(ApplyArithmeticOp(&exec, object.data(), typeNo.data(), object.type(), typeNo.type(),
                                   static_cast<std::uint8_t>(CalcOp::As)));
    EXPECT_EQ(exec.ExceptionCode(), ErTypeMismatch);
}

namespace {

struct AssignRow
{
    const char* name;
    Init dest; // its type and what it held before
    Init source;
    Expectation want;
};

void runAssignRows(const std::vector<AssignRow>& rows)
{
    for (const AssignRow& row : rows) {
        SCOPED_TRACE(row.name);
        TPSExec exec;
        Value dest = row.dest.make();
        const Value source = row.source.make();
        const bool ok = AssignValue(&exec, dest.data(), source.data(), dest.type(), source.type());
        check(ok, exec, dest, row.want);
    }
}

Init B(bool value)
{
    return {types().boolean.get(), std::int64_t(value)};
}

} // namespace

TEST(ValueOps, AssignmentConvertsBetweenTypes)
{
    runAssignRows({
        {"variant 'A' to char", I(Char, 0), V(vStr("A")), gives(I(Char, 65))},
        {"variant wide 'A' to widechar", I(WideChar, 0), V(vWide(u"\u263a")), gives(I(WideChar, 0x263A))},
        {"variant 'AB' to char", I(Char, 0), V(vStr("AB")), raisesMismatch()},
        {"string to integer", I(LongInt, 0), S(AnsiString, "1"), raisesMismatch()},
        {"longint 300 to byte", I(Byte, 0), I(LongInt, 300), gives(I(Byte, 44))},
        {"longint 200 to shortint", I(ShortInt, 0), I(LongInt, 200), gives(I(ShortInt, -56))},
        {"widechar to char keeps the low byte", I(Char, 0), I(WideChar, 0x141), gives(I(Char, 0x41))},
        {"longint -1 to longword", I(LongWord, 0), I(LongInt, -1), gives(I(LongWord, 0xFFFFFFFF))},
        {"smallint to longword sign-extends", I(LongWord, 0), I(SmallInt, -2), gives(I(LongWord, 0xFFFFFFFE))},
        {"int64 to longint keeps the low bits", I(LongInt, 0), I(Int64, 0x100000002), gives(I(LongInt, 2))},
        {"variant real to longint rounds to even", I(LongInt, 0), V(vReal(2.5)), gives(I(LongInt, 2))},
        {"variant real 3.5 to longint", I(LongInt, 0), V(vReal(3.5)), gives(I(LongInt, 4))},
        {"variant too large for longint", I(LongInt, 0), V(vInt(1LL << 40, varcode::Int64)), fails(erException)},
        {"variant to longword keeps 32 bits", I(LongWord, 0), V(vInt(0x100000003, varcode::Int64)),
         gives(I(LongWord, 3))},
        {"variant null to integer", I(LongInt, 0), V(vNull), fails(erException)},
        {"a real to an integer", I(LongInt, 0), R(Double, 1), raisesMismatch()},
        {"longword to int64 zero-extends", I(Int64, 0), I(LongWord, 0xFFFFFFFF), gives(I(Int64, 4294967295))},
        {"longint to int64 sign-extends", I(Int64, 0), I(LongInt, -1), gives(I(Int64, -1))},
        {"currency to double", R(Double, 0), I(Currency, 25000), gives(R(Double, 2.5))},
        {"longword to single", R(Single, 0), I(LongWord, 0xFFFFFFFF), gives(R(Single, 4294967295.0L))},
        {"double too large for single", R(Single, 0), R(Double, 1e300), fails(ErMathError)},
        {"text to real", R(Double, 0), S(AnsiString, "1"), raisesMismatch()},
        {"single 0.1 to currency", I(Currency, 0), R(Single, 0.1L), gives(I(Currency, 1000))},
        {"double 2.5 to currency", I(Currency, 0), R(Double, 2.5), gives(I(Currency, 25000))},
        {"int64 to currency", I(Currency, 0), I(Int64, 3), gives(I(Currency, 30000))},
        {"variant text to currency", I(Currency, 0), V(vStr("1.25")), gives(I(Currency, 12500))},
        {"int64 too large for currency", I(Currency, 0), I(Int64, INT64_MAX), fails(ErMathError)},
        {"char to string", S(AnsiString, "old"), I(Char, 'x'), gives(S(AnsiString, "x"))},
        {"wide to string as UTF-8", S(AnsiString, ""), W(WideString, u"\u00e9"), gives(S(AnsiString, "\xc3\xa9"))},
        {"variant real to string", S(AnsiString, ""), V(vReal(0.1)), gives(S(AnsiString, "0.1"))},
        {"variant big real to string", S(AnsiString, ""), V(vReal(1e20)), gives(S(AnsiString, "1E20"))},
        {"variant currency to string", S(AnsiString, ""), V(vCurrency(-25000)), gives(S(AnsiString, "-2.5"))},
        {"variant boolean to string", S(AnsiString, ""), V(vBool(true)), gives(S(AnsiString, "True"))},
        {"integer to string", S(AnsiString, ""), I(LongInt, 1), raisesMismatch()},
        {"string to pchar", S(PChar, ""), S(AnsiString, "abc"), gives(S(PChar, "abc"))},
        {"string to wide", W(UnicodeString, u""), S(AnsiString, "\xc3\xa9!"), gives(W(UnicodeString, u"\u00e9!"))},
        {"word to wide", W(WideString, u""), I(Word, 0x263A), gives(W(WideString, u"\u263a"))},
        {"longint to variant", V(vNull), I(LongInt, -5), gives(V(vInt(-5)))},
        {"longword to variant", V(vNull), I(LongWord, 0xFFFFFFFF), gives(V(vInt(0xFFFFFFFF, varcode::LongWord)))},
        {"boolean to variant", V(vNull), B(true), gives(V(vBool(true)))},
        {"single to variant", V(vNull), R(Single, 0.5), gives(V(vReal(0.5, varcode::Single)))},
        {"char to variant", V(vNull), I(Char, 'q'), gives(V(vStr("q")))},
        {"currency to variant", V(vNull), I(Currency, 7), gives(V(vCurrency(7)))},
        {"int64 to variant", V(vNull), I(Int64, -1), gives(V(vInt(-1, varcode::Int64)))},
        {"procedure number from a longword",
         {types().proc.get(), std::int64_t(0)},
         I(LongWord, 9),
         gives({types().proc.get(), std::int64_t(9)})},
        {"procedure from an integer", {types().proc.get(), std::int64_t(0)}, I(LongInt, 9), raisesMismatch()},
    });
}

TEST(ValueOps, AssignmentOfStructuredValues)
{
    const Types& t = types();
    TPSExec exec;

    // A record copies field by field, texts included, only from its own type.
    Value a(t.record.get()), b(t.record.get()), other(t.otherRecord.get());
    auto* text = reinterpret_cast<std::string*>(static_cast<std::byte*>(b.data()) + t.record->fieldOffsets[1]);
    *text = "field";
    ASSERT_TRUE(AssignValue(&exec, a.data(), b.data(), a.type(), b.type()));
    *text = "changed";
    EXPECT_EQ(*reinterpret_cast<std::string*>(static_cast<std::byte*>(a.data()) + t.record->fieldOffsets[1]), "field");
    EXPECT_FALSE(AssignValue(&exec, a.data(), other.data(), a.type(), other.type()));
    EXPECT_EQ(ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText()), "Type Mismatch");

    // Sets and static arrays likewise.
    Value s1(t.set10.get()), s2(t.set10.get()), s3(t.set256.get());
    s2.as<std::uint16_t>() = 0x301;
    ASSERT_TRUE(AssignValue(&exec, s1.data(), s2.data(), s1.type(), s2.type()));
    EXPECT_EQ(s1.as<std::uint16_t>(), 0x301);
    EXPECT_FALSE(AssignValue(&exec, s1.data(), s3.data(), s1.type(), s3.type()));

    // A dynamic array from a static one gets its count and a copy of its elements.
    Value triple(t.intTriple.get()), dyn(t.intArray.get()), shared(t.otherIntArray.get());
    for (int i = 0; i < 3; ++i)
        static_cast<std::int32_t*>(triple.data())[i] = 10 * (i + 1);
    ASSERT_TRUE(AssignValue(&exec, dyn.data(), triple.data(), dyn.type(), triple.type()));
    ASSERT_EQ(DynArrayGetLength(dyn.data(), dyn.type()), 3u);
    EXPECT_EQ(static_cast<std::int32_t*>(DynArrayElements(dyn.data()))[2], 30);
    // Another dynamic array type of the same elements shares the array.
    ASSERT_TRUE(AssignValue(&exec, shared.data(), dyn.data(), shared.type(), dyn.type()));
    EXPECT_EQ(DynArrayElements(shared.data()), DynArrayElements(dyn.data()));
    Value texts(t.variantArray.get());
    EXPECT_FALSE(AssignValue(&exec, dyn.data(), texts.data(), dyn.type(), texts.type()));

    // Through a Variant array: each element converts, the first failure stops.
    Value variant(t.of(BaseType::Variant));
    variant.as<Variant>() = VariantFromArray({vInt(1), vStr("2"), vReal(3)});
    ASSERT_TRUE(AssignValue(&exec, dyn.data(), variant.data(), dyn.type(), variant.type()));
    ASSERT_EQ(DynArrayGetLength(dyn.data(), dyn.type()), 3u);
    const auto* items = static_cast<std::int32_t*>(DynArrayElements(dyn.data()));
    EXPECT_EQ(std::vector<std::int32_t>(items, items + 3), (std::vector<std::int32_t>{1, 2, 3}));
    variant.as<Variant>() = VariantFromArray({vInt(1), vStr("x")});
    EXPECT_FALSE(AssignValue(&exec, dyn.data(), variant.data(), dyn.type(), variant.type()));
    EXPECT_EQ(exec.ExceptionCode(), erException);

    // And back: an array becomes a Variant array of converted elements.
    ASSERT_TRUE(AssignValue(&exec, variant.data(), triple.data(), variant.type(), triple.type()));
    const VariantArray* array = VariantArrayOf(variant.as<Variant>());
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(array->lowBound, 0);
    EXPECT_EQ(array->items, (std::vector<Variant>{vInt(10), vInt(20), vInt(30)}));
    EXPECT_FALSE(AssignValue(&exec, variant.data(), a.data(), variant.type(), a.type()));
    EXPECT_EQ(exec.ExceptionCode(), ErTypeMismatch);
}

TEST(ValueOps, ObjectReferencesStandInIntegersAsHandles)
{
    const Types& t = types();
    TPSExec exec;
    int first = 0, second = 0;
    Value object(t.cls.get()), number(t.of(LongInt)), back(t.cls.get());
    std::vector<std::int32_t> handles;
    for (void* target : {static_cast<void*>(&first), static_cast<void*>(&second), static_cast<void*>(&first)}) {
        object.as<void*>() = target;
        ASSERT_TRUE(AssignValue(&exec, number.data(), object.data(), number.type(), object.type()));
        handles.push_back(number.as<std::int32_t>());
        ASSERT_TRUE(AssignValue(&exec, back.data(), number.data(), back.type(), number.type()));
        EXPECT_EQ(back.as<void*>(), target);
    }
    EXPECT_NE(handles[0], 0);
    EXPECT_NE(handles[0], handles[1]);
    EXPECT_EQ(handles[0], handles[2]); // one object, one handle

    object.as<void*>() = nullptr;
    ASSERT_TRUE(AssignValue(&exec, number.data(), object.data(), number.type(), object.type()));
    EXPECT_EQ(number.as<std::int32_t>(), 0);
    ASSERT_TRUE(AssignValue(&exec, back.data(), number.data(), back.type(), number.type()));
    EXPECT_EQ(back.as<void*>(), nullptr);

    number.as<std::int32_t>() = 77; // never given out
    EXPECT_FALSE(AssignValue(&exec, back.data(), number.data(), back.type(), number.type()));
    EXPECT_EQ(exec.ExceptionCode(), ErTypeMismatch);
    Value word(t.of(Word));
    EXPECT_FALSE(AssignValue(&exec, back.data(), word.data(), back.type(), word.type()));

    // Interfaces come from interfaces, or from an object whose class the
    // class importer knows to give one; nil stays nil.
    Value intf(t.of(BaseType::Interface));
    EXPECT_TRUE(AssignValue(&exec, intf.data(), object.data(), intf.type(), object.type()));
    EXPECT_EQ(intf.as<IUnknown*>(), nullptr);
    object.as<void*>() = &handles;
    EXPECT_FALSE(AssignValue(&exec, intf.data(), object.data(), intf.type(), object.type()));
    EXPECT_EQ(exec.ExceptionCode(), erInterfaceNotSupported);
}

TEST(ValueOps, ResizingASharedDynamicArrayLeavesTheOtherHolderAlone)
{
    const Types& t = types();
    TPSExec exec;
    Value first(t.intArray.get()), second(t.intArray.get());
    DynArraySetLength(first.data(), first.type(), 2);
    static_cast<std::int32_t*>(DynArrayElements(first.data()))[0] = 5;
    static_cast<std::int32_t*>(DynArrayElements(first.data()))[1] = 6;
    ASSERT_TRUE(AssignValue(&exec, second.data(), first.data(), second.type(), first.type()));
    ASSERT_EQ(DynArrayElements(second.data()), DynArrayElements(first.data()));

    DynArraySetLength(second.data(), second.type(), 4);
    static_cast<std::int32_t*>(DynArrayElements(second.data()))[0] = 50;
    ASSERT_EQ(DynArrayGetLength(first.data(), first.type()), 2u);
    const auto* kept = static_cast<std::int32_t*>(DynArrayElements(first.data()));
    EXPECT_EQ(kept[0], 5);
    EXPECT_EQ(kept[1], 6);
    const auto* grown = static_cast<std::int32_t*>(DynArrayElements(second.data()));
    EXPECT_EQ(std::vector<std::int32_t>(grown, grown + 4), (std::vector<std::int32_t>{50, 6, 0, 0}));

    DynArraySetLength(second.data(), second.type(), 0);
    EXPECT_EQ(DynArrayGetLength(second.data(), second.type()), 0u);
    EXPECT_EQ(DynArrayGetLength(first.data(), first.type()), 2u);
    EXPECT_THROW(DynArrayGetLength(first.data(), t.of(LongInt)), std::runtime_error);
}

TEST(ValueOps, UnaryOperatorsInPlace)
{
    struct Row
    {
        const char* name;
        pscode::Op op;
        Init value;
        Expectation want;
    };
    using pscode::Op;
    const std::vector<Row> rows = {
        {"negate byte", Op::Negate, I(Byte, 1), gives(I(Byte, 255))},
        {"negate lowest shortint", Op::Negate, I(ShortInt, -128), gives(I(ShortInt, -128))},
        {"negate lowest int64", Op::Negate, I(Int64, INT64_MIN), gives(I(Int64, INT64_MIN))},
        {"negate double", Op::Negate, R(Double, 1.5), gives(R(Double, -1.5))},
        {"negate extended", Op::Negate, R(Extended, 0.1L), gives(R(Extended, -0.1L))},
        {"negate currency", Op::Negate, I(Currency, 25000), gives(I(Currency, -25000))},
        {"negate variant", Op::Negate, V(vInt(5)), gives(V(vInt(-5)))},
        {"negate variant text", Op::Negate, V(vStr("2.5")), gives(V(vReal(-2.5)))},
        {"negate char", Op::Negate, I(Char, 1), fails(ErTypeMismatch)},
        {"negate string", Op::Negate, S(AnsiString, "1"), fails(ErTypeMismatch)},
        {"not 5", Op::BoolNot, I(LongInt, 5), gives(I(LongInt, 0))},
        {"not 0", Op::BoolNot, I(Word, 0), gives(I(Word, 1))},
        {"not of an int64 with only high bits", Op::BoolNot, I(Int64, 1LL << 40), gives(I(Int64, 0))},
        {"not of a variant 0", Op::BoolNot, V(vInt(0)), gives(V(vBool(true)))},
        {"not of a variant false", Op::BoolNot, V(vBool(false)), gives(V(vBool(true)))},
        {"not of a variant text", Op::BoolNot, V(vStr("x")), gives(V(vBool(false)))},
        {"not of a real", Op::BoolNot, R(Double, 0), fails(ErTypeMismatch)},
        {"bitwise not byte", Op::BitNot, I(Byte, 0x0F), gives(I(Byte, 0xF0))},
        {"bitwise not int64", Op::BitNot, I(Int64, 0), gives(I(Int64, -1))},
        {"bitwise not variant", Op::BitNot, V(vInt(0)), gives(V(vInt(-1)))},
        {"bitwise not variant boolean", Op::BitNot, V(vBool(true)), gives(V(vBool(false)))},
        {"bitwise not currency", Op::BitNot, I(Currency, 1), fails(ErTypeMismatch)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TPSExec exec;
        Value value = row.value.make();
        const bool ok = row.op == Op::Negate    ? NegateValue(&exec, value.data(), value.type())
                        : row.op == Op::BoolNot ? BooleanNotValue(&exec, value.data(), value.type())
                                                : BitwiseNotValue(&exec, value.data(), value.type());
        check(ok, exec, value, row.want);
    }
}

TEST(ValueOps, GettersReadEveryTypeTheyTakeAndRefuseTheRest)
{
    using Got = std::variant<std::int64_t, long double, std::string, std::u16string>;
    struct Row
    {
        const char* name;
        Init value;
        std::function<Got(const void*, const TPSTypeRec*)> getter;
        std::optional<Got> want; // none: "Type Mismatch" raised
    };
    const auto asUInt = [](const void* d, const TPSTypeRec* t) { return Got(std::int64_t(GetValueAsUInt(d, t))); };
    const auto asInt = [](const void* d, const TPSTypeRec* t) { return Got(std::int64_t(GetValueAsInt(d, t))); };
    const auto asInt64 = [](const void* d, const TPSTypeRec* t) { return Got(GetValueAsInt64(d, t)); };
    const auto asReal = [](const void* d, const TPSTypeRec* t) { return Got(GetValueAsReal(d, t)); };
    const auto asCurrency = [](const void* d, const TPSTypeRec* t) { return Got(GetValueAsCurrency(d, t)); };
    const auto asAnsi = [](const void* d, const TPSTypeRec* t) { return Got(GetValueAsAnsiString(d, t)); };
    const auto asWide = [](const void* d, const TPSTypeRec* t) { return Got(GetValueAsWideString(d, t)); };
    const std::vector<Row> rows = {
        {"uint of shortint sign-extends", I(ShortInt, -1), asUInt, Got(std::int64_t(0xFFFFFFFF))},
        {"uint of int64 low bits", I(Int64, 0x123456789), asUInt, Got(std::int64_t(0x23456789))},
        {"uint of a one-unit wide variant", V(vWide(u"\u263a")), asUInt, Got(std::int64_t(0x263A))},
        {"uint of a real", R(Double, 1), asUInt, std::nullopt},
        {"int of a variant text number", V(vStr(" 42 ")), asInt, Got(std::int64_t(42))},
        {"int64 of longword", I(LongWord, 0xFFFFFFFF), asInt64, Got(std::int64_t(0xFFFFFFFF))},
        {"int64 of widechar", I(WideChar, 0xFFFF), asInt64, Got(std::int64_t(0xFFFF))},
        {"int64 of currency", I(Currency, 10000), asInt64, std::nullopt},
        {"real of currency", I(Currency, 12345), asReal, Got(12345.0L / 10000)},
        {"real of longword", I(LongWord, 0xFFFFFFFF), asReal, Got(4294967295.0L)},
        {"real of char", I(Char, 'a'), asReal, std::nullopt},
        {"currency of extended", R(Extended, 0.00005L), asCurrency, Got(std::int64_t(0))},
        {"currency of a variant", V(vReal(-1.5)), asCurrency, Got(std::int64_t(-15000))},
        {"currency of a string", S(AnsiString, "1"), asCurrency, std::nullopt},
        {"ansi of widechar", I(WideChar, 0xE9), asAnsi, Got(std::string("\xc3\xa9"))},
        {"ansi of a variant int64", V(vInt(-9000000000LL, varcode::Int64)), asAnsi, Got(std::string("-9000000000"))},
        {"ansi of a variant single", V(vReal(0.1f, varcode::Single)), asAnsi, Got(std::string("0.1"))},
        {"ansi of an integer", I(LongInt, 1), asAnsi, std::nullopt},
        {"wide of byte", I(Byte, 'z'), asWide, Got(std::u16string(u"z"))},
        {"wide of pchar", S(PChar, std::string("a\0b", 3)), asWide, Got(std::u16string(u"a"))},
        {"wide of int64", I(Int64, 1), asWide, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Value value = row.value.make();
        if (!row.want) {
            try {
                row.getter(value.data(), value.type());
                ADD_FAILURE() << "no exception";
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "Type Mismatch");
            }
            continue;
        }
        EXPECT_TRUE(row.getter(value.data(), value.type()) == *row.want);
    }
}

TEST(ValueOps, SettersStoreWhatTheDestinationTakesAndOtherwiseClearTheirFlag)
{
    struct Row
    {
        const char* name;
        Init dest;
        std::function<void(void*, const TPSTypeRec*, bool&)> setter;
        std::optional<Init> want; // none: ok flag cleared, value unchanged
    };
    const auto uint = [](std::uint32_t v) {
        return [v](void* d, const TPSTypeRec* t, bool& ok) { SetValueFromUInt(d, t, ok, v); };
    };
    const auto sint = [](std::int32_t v) {
        return [v](void* d, const TPSTypeRec* t, bool& ok) { SetValueFromInt(d, t, ok, v); };
    };
    const auto int64 = [](std::int64_t v) {
        return [v](void* d, const TPSTypeRec* t, bool& ok) { SetValueFromInt64(d, t, ok, v); };
    };
    const auto real = [](long double v) {
        return [v](void* d, const TPSTypeRec* t, bool& ok) { SetValueFromReal(d, t, ok, v); };
    };
    const auto ansi = [](std::string v) {
        return [v](void* d, const TPSTypeRec* t, bool& ok) { SetValueFromAnsiString(d, t, ok, v); };
    };
    const auto wide = [](std::u16string v) {
        return [v](void* d, const TPSTypeRec* t, bool& ok) { SetValueFromWideString(d, t, ok, v); };
    };
    const auto unicode = [](std::u16string v) {
        return [v](void* d, const TPSTypeRec* t, bool& ok) { SetValueFromUnicodeString(d, t, ok, v); };
    };
    const std::vector<Row> rows = {
        {"uint to byte keeps 8 bits", I(Byte, 0), uint(0x1FF), I(Byte, 0xFF)},
        {"uint to int64 zero-extends", I(Int64, 0), uint(0xFFFFFFFF), I(Int64, 0xFFFFFFFF)},
        {"int to int64 sign-extends", I(Int64, 0), sint(-1), I(Int64, -1)},
        {"int to currency scales", I(Currency, 0), sint(-3), I(Currency, -30000)},
        {"uint to a variant", V(vNull), uint(7), V(vInt(7, varcode::LongWord))},
        {"int to double", R(Double, 0), sint(-7), R(Double, -7)},
        {"int to a procedure", {types().proc.get(), std::int64_t(0)}, sint(4), Init{types().proc.get(), 4}},
        {"int to a string", S(AnsiString, "x"), sint(1), std::nullopt},
        {"int64 to longint keeps 32 bits", I(LongInt, 0), int64(0x100000001), I(LongInt, 1)},
        {"int64 to currency", I(Currency, 0), int64(5), I(Currency, 50000)},
        {"int64 too large for currency", I(Currency, 9), int64(INT64_MAX), std::nullopt},
        {"real to currency rounds", I(Currency, 0), real(0.12345L), I(Currency, 1234)},
        {"real to single", R(Single, 0), real(0.1L), R(Single, 0.1L)},
        {"real too large for single", R(Single, 2), real(1e39L), std::nullopt},
        {"real to an integer", I(LongInt, 3), real(1), std::nullopt},
        {"ansi to char takes the first", I(Char, 'q'), ansi("ab"), I(Char, 'a')},
        {"empty ansi leaves a char", I(Char, 'q'), ansi(""), I(Char, 'q')},
        {"ansi to widechar zero-extends", I(WideChar, 0), ansi("\xe9"), I(WideChar, 0xE9)},
        {"ansi to wide converts", W(WideString, u""), ansi("\xc3\xa9"), W(WideString, u"\u00e9")},
        {"ansi to a variant", V(vNull), ansi("t"), V(vStr("t"))},
        {"ansi to pchar", S(PChar, "x"), ansi("t"), std::nullopt},
        {"wide to char takes the low byte", I(Char, 0), wide(u"\u0141"), I(Char, 0x41)},
        {"wide to ansi converts", S(AnsiString, ""), wide(u"\u263a"), S(AnsiString, "\xe2\x98\xba")},
        {"wide to a variant", V(vNull), wide(u"w"), V(vWide(u"w"))},
        {"unicode to widechar", I(WideChar, 0), unicode(u"w"), std::nullopt},
        {"unicode to unicode", W(UnicodeString, u""), unicode(u"w"), W(UnicodeString, u"w")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Value value = row.dest.make();
        bool ok = true;
        row.setter(value.data(), value.type(), ok);
        std::string why;
        EXPECT_EQ(ok, row.want.has_value());
        EXPECT_TRUE(Holds(value, row.want ? *row.want : row.dest, why)) << why;
    }
}

namespace {

// An image of every type a value program needs, one global of each.
struct ValueProgram
{
    testimage::ImageBuilder b;
    std::uint32_t byteT = b.type(Byte), longint = b.type(LongInt), longword = b.type(LongWord), single = b.type(Single),
                  dbl = b.type(Double), currency = b.type(Currency), string = b.type(AnsiString), chr = b.type(Char),
                  variant = b.type(BaseType::Variant);

    std::string image(const testimage::Code& body)
    {
        b.main(b.proc(body));
        return b.image();
    }
    template <typename T> std::string bytesOf(T value) const
    {
        return std::string(reinterpret_cast<const char*>(&value), sizeof value);
    }
};

} // namespace

TEST(ValueOps, ProgramsRunTheOperationsThroughTheInterpreter)
{
    using namespace testimage;
    ValueProgram p;
    const std::uint32_t sum = p.b.var(p.byteT), equal = p.b.var(p.byteT), money = p.b.var(p.currency),
                        less = p.b.var(p.byteT), fromSingle = p.b.var(p.currency), letter = p.b.var(p.chr),
                        holder = p.b.var(p.variant), ratio = p.b.var(p.dbl);
    Code c;
    c.assign(V(sum), C(p.byteT, u8(200)))
        .calc(CalcOp::Add, V(sum), C(p.byteT, u8(100)))
        .compare(CompareOp::Equal, V(equal), C(p.longint, s32(-1)), C(p.longword, u32(0xFFFFFFFF)))
        .assign(V(money), C(p.currency, u64(15000)))
        .calc(CalcOp::Add, V(money), C(p.longint, s32(1)))
        .compare(CompareOp::Less, V(less), C(p.string, text("ab")), C(p.string, text("b")))
        .assign(V(fromSingle), C(p.single, p.bytesOf(0.1f)))
        .assign(V(holder), C(p.string, text("A")))
        .assign(V(letter), V(holder))
        .assign(V(ratio), C(p.longint, s32(1)))
        .calc(CalcOp::Divide, V(ratio), C(p.longint, s32(8)))
        .ret();
    TPSExec exec;
    ASSERT_TRUE(exec.LoadBytecode(p.image(c)));
    ASSERT_TRUE(exec.ExecuteCode()) << ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText());
    const auto global = [&](std::uint32_t n) { return exec.GetGlobalVar(n).data; };
    EXPECT_EQ(*static_cast<std::uint8_t*>(global(sum)), 44);
    EXPECT_EQ(*static_cast<std::uint8_t*>(global(equal)), 1);
    EXPECT_EQ(*static_cast<std::int64_t*>(global(money)), 25000);
    EXPECT_EQ(*static_cast<std::uint8_t*>(global(less)), 1);
    EXPECT_EQ(*static_cast<std::int64_t*>(global(fromSingle)), 1000);
    EXPECT_EQ(*static_cast<std::uint8_t*>(global(letter)), 'A');
    EXPECT_EQ(*static_cast<double*>(global(ratio)), 0.125);
}

TEST(ValueOps, FaultsInProgramsBecomeRuntimeErrors)
{
    using namespace testimage;
    struct Row
    {
        const char* name;
        std::function<Code(ValueProgram&, std::uint32_t real, std::uint32_t letter, std::uint32_t holder)> body;
        std::string message;
    };
    const std::vector<Row> rows = {
        {"integer division by zero",
         [](ValueProgram& p, std::uint32_t, std::uint32_t, std::uint32_t) {
             return Code().calc(CalcOp::Divide, V(0), C(p.longint, s32(0)));
         },
         "divide by Zero"},
        {"integer mod zero",
         [](ValueProgram& p, std::uint32_t, std::uint32_t, std::uint32_t) {
             return Code().calc(CalcOp::Mod, V(0), C(p.longint, s32(0)));
         },
         "divide by Zero"},
        {"real division by zero",
         [](ValueProgram& p, std::uint32_t real, std::uint32_t, std::uint32_t) {
             return Code().assign(V(real), C(p.longint, s32(1))).calc(CalcOp::Divide, V(real), C(p.longint, s32(0)));
         },
         "divide by Zero"},
        {"real overflow",
         [](ValueProgram& p, std::uint32_t real, std::uint32_t, std::uint32_t) {
             return Code()
                 .assign(V(real), C(p.dbl, p.bytesOf(1e300)))
                 .calc(CalcOp::Multiply, V(real), C(p.dbl, p.bytesOf(1e300)));
         },
         "Math error"},
        {"two characters to a char",
         [](ValueProgram& p, std::uint32_t, std::uint32_t letter, std::uint32_t holder) {
             return Code().assign(V(holder), C(p.string, text("AB"))).assign(V(letter), V(holder));
         },
         "Exception: Type Mismatch"},
        {"a string to an integer",
         [](ValueProgram& p, std::uint32_t, std::uint32_t, std::uint32_t) {
             return Code().assign(V(0), C(p.string, text("1")));
         },
         "Exception: Type Mismatch"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ValueProgram p;
        p.b.var(p.longint);
        const std::uint32_t real = p.b.var(p.dbl), letter = p.b.var(p.chr), holder = p.b.var(p.variant);
        Code body = row.body(p, real, letter, holder);
        body.ret();
        TPSExec exec;
        ASSERT_TRUE(exec.LoadBytecode(p.image(body)));
        EXPECT_FALSE(exec.ExecuteCode());
        EXPECT_EQ(ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText()), row.message);
    }
}

TEST(ValueOps, AnArrayRefilledFromItsOwnElement)
{
    // The Variant array read is an element of the array it replaces.
    const Types& t = types();
    TPSExec exec;
    Value array(t.variantArray.get());
    DynArraySetLength(array.data(), array.type(), 1);
    auto* items = static_cast<Variant*>(DynArrayElements(array.data()));
    items[0] = VariantFromArray({vStr("a"), vInt(2), vNull});
    ASSERT_TRUE(AssignValue(&exec, array.data(), &items[0], array.type(), t.of(BaseType::Variant)));
    ASSERT_EQ(DynArrayGetLength(array.data(), array.type()), 3u);
    items = static_cast<Variant*>(DynArrayElements(array.data()));
    EXPECT_EQ(std::vector<Variant>(items, items + 3), (std::vector<Variant>{vStr("a"), vInt(2), vNull}));
}
