#include "compile_harness.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <optional>

using ps::BaseType;
using Op = TPSBinOperatorType;
using C = TPSCompilerErrorCode;

namespace {

// The value a fold gives, or the error it reports.
struct Outcome
{
    Outcome(long double v) : value(v) {}
    Outcome(C e) : error(e) {}
    long double value = 0;
    std::optional<C> error;
};

// One folding case: left <op> right of the given kinds, and either the value
// the left takes (of the left's kind unless stated) or the error it gives.
struct FoldCase
{
    const char* left;
    long double a;
    Op op;
    const char* right;
    long double b;
    Outcome expected;
    const char* resultType = nullptr; // when not the left's
};

constexpr long double kI64Min = static_cast<long double>(INT64_MIN);
constexpr long double kI64Max = static_cast<long double>(INT64_MAX);

// Every folding operator over every numeric kind, with the results the
// runtime gives for wrapping, shifting and dividing.
const FoldCase kCases[] = {
    // Byte: wraps in 8 bits; shift counts are taken modulo 32.
    {"Byte", 200, Op::Add, "Byte", 100, 44},
    {"Byte", 5, Op::Subtract, "Byte", 10, 251},
    {"Byte", 16, Op::Multiply, "Byte", 17, 16},
    {"Byte", 7, Op::Divide, "Byte", 2, 3},
    {"Byte", 7, Op::IntDivide, "Byte", 2, 3},
    {"Byte", 7, Op::Mod, "Byte", 3, 1},
    {"Byte", 1, Op::Shl, "Byte", 7, 128},
    {"Byte", 1, Op::Shl, "Byte", 8, 0},
    {"Byte", 3, Op::Shl, "Byte", 32, 3},
    {"Byte", 255, Op::Shr, "Byte", 4, 15},
    {"Byte", 12, Op::And, "Byte", 10, 8},
    {"Byte", 12, Op::Or, "Byte", 10, 14},
    {"Byte", 12, Op::Xor, "Byte", 10, 6},
    {"Byte", 3, Op::Add, "LongInt", 300, 47},
    {"Byte", 1, Op::IntDivide, "Byte", 0, C::DivideByZero},
    // ShortInt
    {"ShortInt", 100, Op::Add, "ShortInt", 100, -56},
    {"ShortInt", -128, Op::Subtract, "ShortInt", 1, 127},
    {"ShortInt", -128, Op::Multiply, "ShortInt", -1, -128},
    {"ShortInt", -7, Op::Divide, "ShortInt", 2, -3},
    {"ShortInt", -128, Op::IntDivide, "ShortInt", -1, -128},
    {"ShortInt", -7, Op::Mod, "ShortInt", 3, -1},
    {"ShortInt", 1, Op::Shl, "ShortInt", 7, -128},
    {"ShortInt", -1, Op::Shr, "ShortInt", 4, -1},
    {"ShortInt", -16, Op::And, "ShortInt", 31, 16},
    {"ShortInt", 1, Op::Or, "ShortInt", -128, -127},
    {"ShortInt", -1, Op::Xor, "ShortInt", 1, -2},
    {"ShortInt", 5, Op::Mod, "ShortInt", 0, C::DivideByZero},
    // Word
    {"Word", 65535, Op::Add, "Word", 1, 0},
    {"Word", 0, Op::Subtract, "Word", 1, 65535},
    {"Word", 300, Op::Multiply, "Word", 300, 24464},
    {"Word", 65535, Op::Divide, "Word", 256, 255},
    {"Word", 65535, Op::IntDivide, "Word", 255, 257},
    {"Word", 1000, Op::Mod, "Word", 7, 6},
    {"Word", 1, Op::Shl, "Word", 16, 0},
    {"Word", 65535, Op::Shr, "Word", 8, 255},
    {"Word", 0xF0F0, Op::And, "Word", 0xFF00, 0xF000},
    {"Word", 0xF0F0, Op::Or, "Word", 0x0F0F, 0xFFFF},
    {"Word", 0xFFFF, Op::Xor, "Word", 0x00FF, 0xFF00},
    {"Word", 1, Op::Divide, "Word", 0, C::DivideByZero},
    // SmallInt
    {"SmallInt", 32767, Op::Add, "SmallInt", 1, -32768},
    {"SmallInt", -32768, Op::Subtract, "SmallInt", 1, 32767},
    {"SmallInt", 200, Op::Multiply, "SmallInt", 200, -25536},
    {"SmallInt", -32768, Op::Divide, "SmallInt", -1, -32768},
    {"SmallInt", -32768, Op::IntDivide, "SmallInt", -1, -32768},
    {"SmallInt", -32768, Op::Mod, "SmallInt", -1, 0},
    {"SmallInt", 1, Op::Shl, "SmallInt", 15, -32768},
    {"SmallInt", -32768, Op::Shr, "SmallInt", 15, -1},
    {"SmallInt", -1, Op::And, "SmallInt", 255, 255},
    {"SmallInt", 256, Op::Or, "SmallInt", 1, 257},
    {"SmallInt", 255, Op::Xor, "SmallInt", -1, -256},
    // LongWord: the right operand is read as unsigned 32 bits.
    {"LongWord", 4294967295.0L, Op::Add, "LongWord", 1, 0},
    {"LongWord", 0, Op::Subtract, "LongWord", 1, 4294967295.0L},
    {"LongWord", 65536, Op::Multiply, "LongWord", 65536, 0},
    {"LongWord", 10, Op::Divide, "LongWord", 3, 3},
    {"LongWord", 4294967295.0L, Op::IntDivide, "LongInt", -1, 1},
    {"LongWord", 10, Op::IntDivide, "LongInt", -1, 0},
    {"LongWord", 4294967295.0L, Op::Mod, "LongWord", 10, 5},
    {"LongWord", 1, Op::Shl, "LongWord", 31, 2147483648.0L},
    {"LongWord", 1, Op::Shl, "LongWord", 32, 1},
    {"LongWord", 4294967295.0L, Op::Shr, "LongWord", 28, 15},
    {"LongWord", 0xFF00FF00u, Op::And, "LongWord", 0x0FF00FF0u, 0x0F000F00u},
    {"LongWord", 0xFF000000u, Op::Or, "LongWord", 0xFFu, 0xFF0000FFu},
    {"LongWord", 0xFFFFFFFFu, Op::Xor, "LongWord", 1, 0xFFFFFFFEu},
    {"LongWord", 1, Op::Mod, "LongWord", 0, C::DivideByZero},
    // LongInt
    {"LongInt", 2147483647, Op::Add, "LongInt", 1, -2147483648.0L},
    {"LongInt", -2147483648.0L, Op::Subtract, "LongInt", 1, 2147483647},
    {"LongInt", 65536, Op::Multiply, "LongInt", 65536, 0},
    {"LongInt", 7, Op::Divide, "LongInt", 2, 3},
    {"LongInt", -2147483648.0L, Op::Divide, "LongInt", -1, -2147483648.0L},
    {"LongInt", -2147483648.0L, Op::IntDivide, "LongInt", -1, -2147483648.0L},
    {"LongInt", -2147483648.0L, Op::Mod, "LongInt", -1, 0},
    {"LongInt", -7, Op::Mod, "LongInt", 2, -1},
    {"LongInt", 1, Op::Shl, "LongInt", 31, -2147483648.0L},
    {"LongInt", 1, Op::Shl, "LongInt", 32, 1},
    {"LongInt", 1, Op::Shl, "LongInt", 33, 2},
    {"LongInt", 1, Op::Shl, "LongInt", -1, -2147483648.0L},
    {"LongInt", -1, Op::Shr, "LongInt", 28, 15},
    {"LongInt", 8, Op::Shr, "LongInt", 35, 1},
    {"LongInt", -1, Op::And, "LongInt", 0x7FFFFFFF, 0x7FFFFFFF},
    {"LongInt", 1, Op::Or, "LongInt", 2, 3},
    {"LongInt", -1, Op::Xor, "LongInt", 0x7FFFFFFF, -2147483648.0L},
    {"LongInt", 3, Op::Add, "Int64", 4294967296.0L, 3},
    {"LongInt", 1, Op::IntDivide, "LongInt", 0, C::DivideByZero},
    // Int64
    {"Int64", kI64Max, Op::Add, "Int64", 1, kI64Min},
    {"Int64", kI64Min, Op::Subtract, "Int64", 1, kI64Max},
    {"Int64", 4294967296.0L, Op::Multiply, "Int64", 4294967296.0L, 0},
    {"Int64", 4294967296.0L, Op::Divide, "LongInt", 2, 2147483648.0L},
    {"Int64", kI64Min, Op::IntDivide, "Int64", -1, kI64Min},
    {"Int64", kI64Min, Op::Mod, "Int64", -1, 0},
    {"Int64", -7, Op::Mod, "Int64", 3, -1},
    {"Int64", 1, Op::Shl, "Int64", 63, kI64Min},
    {"Int64", 1, Op::Shl, "Int64", 64, 1},
    {"Int64", -1, Op::Shr, "Int64", 60, 15},
    {"Int64", -1, Op::And, "LongWord", 4294967295.0L, 4294967295.0L},
    {"Int64", 4294967296.0L, Op::Or, "Int64", 1, 4294967297.0L},
    {"Int64", -1, Op::Xor, "Int64", kI64Max, kI64Min},
    {"Int64", 1, Op::Mod, "Int64", 0, C::DivideByZero},
    // Single: results are rounded to single precision.
    {"Single", 1.5, Op::Add, "Single", 2.25, 3.75},
    {"Single", 1.5, Op::Subtract, "Single", 2.25, -0.75},
    {"Single", 2.5, Op::Multiply, "LongInt", 4, 10},
    {"Single", 1, Op::Divide, "Single", 3, static_cast<float>(1.0L / 3)},
    {"Single", 7, Op::IntDivide, "Single", 2, 3.5},
    {"Single", FLT_MAX, Op::Multiply, "Single", 10, C::MathError},
    {"Single", 1, Op::Divide, "Single", 0, C::DivideByZero},
    {"Single", 0, Op::Divide, "Double", 0, C::MathError}, // 0 / 0 is no number, as when it runs
    {"Single", 1, Op::Mod, "Single", 1, C::TypeMismatch},
    {"Single", 1, Op::Shl, "LongInt", 1, C::TypeMismatch},
    {"Single", 1, Op::And, "LongInt", 1, C::TypeMismatch},
    // Double
    {"Double", 0.5, Op::Add, "Double", 0.25, 0.75},
    {"Double", 0.5, Op::Subtract, "Extended", 1, -0.5},
    {"Double", DBL_MAX, Op::Multiply, "Double", 2, C::MathError},
    {"Double", 1, Op::Divide, "Double", 3, static_cast<double>(1.0L / 3)},
    {"Double", 1, Op::IntDivide, "Double", 0, C::DivideByZero},
    {"Double", 1, Op::Shr, "Double", 1, C::TypeMismatch},
    {"Double", 1, Op::Xor, "Double", 1, C::TypeMismatch},
    // Extended
    {"Extended", 1, Op::Add, "Extended", 2.5, 3.5},
    {"Extended", 1, Op::Subtract, "Byte", 3, -2},
    {"Extended", 1e4000L, Op::Multiply, "Extended", 1e4000L, C::MathError},
    {"Extended", 1, Op::Divide, "Extended", 3, 1.0L / 3},
    {"Extended", 1, Op::Divide, "LongInt", 0, C::DivideByZero},
    {"Extended", 1, Op::Or, "Extended", 1, C::TypeMismatch},
    // Currency: a count of ten-thousandths.
    {"Currency", 15000, Op::Add, "Extended", 1.25, 27500},
    {"Currency", 15000, Op::Add, "Currency", 12500, 27500},
    {"Currency", 15000, Op::Subtract, "LongInt", 1, 5000},
    {"Currency", 15000, Op::Multiply, "LongInt", 3, 45000},
    {"Currency", 10000, Op::Divide, "LongInt", 3, 3333},
    {"Currency", 5, Op::Divide, "LongInt", 2, 2},
    {"Currency", 15, Op::Divide, "LongInt", 2, 8},
    {"Currency", 10000, Op::IntDivide, "Currency", 0, C::DivideByZero},
    {"Currency", kI64Max, Op::Add, "Currency", 1, C::MathError},
    {"Currency", kI64Max, Op::Multiply, "LongInt", 2, C::MathError},
    {"Currency", 1, Op::Mod, "Currency", 1, C::TypeMismatch},
    {"Currency", 1, Op::Shl, "LongInt", 1, C::TypeMismatch},
    // An integer meeting a real becomes the real's kind first.
    {"LongInt", 1, Op::Add, "Extended", 2.5, 3.5, "Extended"},
    {"Byte", 7, Op::Divide, "Double", 2, 3.5, "Double"},
    {"LongInt", 2, Op::Add, "Currency", 5000, 25000, "Currency"},
    {"Int64", kI64Max, Op::Multiply, "Currency", 1, C::MathError},
    {"LongInt", 3, Op::Mod, "Double", 2, C::TypeMismatch},
    // Comparisons give Booleans; the left's kind decides how the right is
    // read, as when they run: 32 bits unsigned after an unsigned left,
    // signed after LongInt; reals only after LongInt or a real.
    {"Byte", 200, Op::Greater, "ShortInt", -1, 0, "Boolean"},
    {"LongWord", 4294967295.0L, Op::Greater, "LongInt", -1, 0, "Boolean"},
    {"LongInt", -1, Op::Equal, "LongWord", 4294967295.0L, 1, "Boolean"},
    {"Int64", -1, Op::Less, "LongWord", 4294967295.0L, 1, "Boolean"},
    {"Byte", 1, Op::Less, "Double", 2, C::TypeMismatch},
    {"LongInt", 1, Op::Less, "Currency", 20000, C::TypeMismatch},
    {"Currency", 1, Op::Less, "Extended", 1e300L, C::MathError},
    {"Int64", kI64Min, Op::Less, "Int64", kI64Max, 1, "Boolean"},
    {"Word", 5, Op::GreaterEqual, "SmallInt", 5, 1, "Boolean"},
    {"SmallInt", 5, Op::LessEqual, "Word", 4, 0, "Boolean"},
    {"LongInt", 3, Op::Equal, "Double", 3, 1, "Boolean"},
    {"Single", 0.5, Op::NotEqual, "Currency", 5000, 0, "Boolean"},
    {"Extended", 0.1L, Op::Less, "Single", 0.1L, 1, "Boolean"},
    {"Currency", 10000, Op::Greater, "Byte", 0, 1, "Boolean"},
    {"LongInt", 1, Op::In, "LongInt", 1, C::TypeMismatch},
    {"LongInt", 1, Op::Is, "LongInt", 1, C::TypeMismatch},
    {"LongInt", 1, Op::As, "LongInt", 1, C::TypeMismatch},
};

TPSValueRecord makeValue(TPSPascalCompiler& c, const char* kind, long double v)
{
    TPSValueRecord value(c.FindType(kind));
    if (IsIntegerBase(value.Base()) || value.Base() == BaseType::Currency)
        value.SetInt(static_cast<std::int64_t>(v));
    else
        value.Real = value.Base() == BaseType::Single   ? static_cast<float>(v)
                     : value.Base() == BaseType::Double ? static_cast<double>(v)
                                                        : v;
    return value;
}

TEST(ConstantFolding, EveryOperatorOverEveryNumericKind)
{
    CompileHarness h;
    h.inspect = [](TPSPascalCompiler& c) {
        for (const FoldCase& k : kCases) {
            const std::string what = std::string(k.left) + " " + std::to_string(static_cast<int>(k.op)) + " " +
                                     k.right + " (" + std::to_string(static_cast<double>(k.a)) + ", " +
                                     std::to_string(static_cast<double>(k.b)) + ")";
            TPSValueRecord left = makeValue(c, k.left, k.a);
            const TPSValueRecord right = makeValue(c, k.right, k.b);
            const std::size_t messages = c.GetMessageCount();
            const bool ok = c.PreCalc(k.op, left, right);
            if (const std::optional<C>& code = k.expected.error) {
                EXPECT_FALSE(ok) << what;
                ASSERT_EQ(c.GetMessageCount(), messages + 1) << what;
                EXPECT_EQ(static_cast<const TPSPascalCompilerError*>(c.GetMessage(messages))->Error, *code) << what;
                continue;
            }
            ASSERT_TRUE(ok) << what;
            EXPECT_EQ(c.GetMessageCount(), messages) << what;
            const TPSType* expectedType = c.FindType(k.resultType ? k.resultType : k.left);
            EXPECT_EQ(left.FType, expectedType) << what;
            const long double expected = k.expected.value;
            if (IsIntegerBase(left.Base()) || left.Base() == BaseType::Currency || c.IsBooleanType(left.FType))
                EXPECT_EQ(left.Int, static_cast<std::int64_t>(expected)) << what;
            else
                EXPECT_EQ(left.Real, expected) << what;
        }
    };
    ASSERT_TRUE(h.compile(""));
}

TEST(ConstantFolding, StringsSetsAndEnumerations)
{
    CompileHarness h;
    h.inspect = [](TPSPascalCompiler& c) {
        auto text = [&](const char* kind, std::string s) {
            TPSValueRecord v(c.FindType(kind));
            if (v.Base() == BaseType::Char)
                v.Int = static_cast<unsigned char>(s[0]);
            else if (IsWideStringBase(v.Base()) || v.Base() == BaseType::WideChar) {
                v.WStr = Utf8ToUtf16(s);
                v.Int = v.WStr[0];
            } else
                v.Str = s;
            return v;
        };
        TPSValueRecord ab = text("Char", "a");
        ASSERT_TRUE(c.PreCalc(Op::Add, ab, text("Char", "b")));
        EXPECT_EQ(ab.Base(), BaseType::AnsiString);
        EXPECT_EQ(ab.Str, "ab");

        TPSValueRecord wide = text("String", "x");
        ASSERT_TRUE(c.PreCalc(Op::Add, wide, text("WideString", "\xC3\xA9")));
        EXPECT_EQ(wide.Base(), BaseType::WideString);
        EXPECT_EQ(wide.WStr, u"x\u00E9");

        TPSValueRecord uni = text("WideChar", "y");
        ASSERT_TRUE(c.PreCalc(Op::Add, uni, text("Char", "z")));
        EXPECT_EQ(uni.Base(), BaseType::UnicodeString);
        EXPECT_EQ(GetStringValue(uni), "yz");

        TPSValueRecord less = text("String", "abc");
        ASSERT_TRUE(c.PreCalc(Op::Less, less, text("String", "abd")));
        EXPECT_EQ(less.Int, 1);
        TPSValueRecord mixed = text("Char", "b");
        ASSERT_TRUE(c.PreCalc(Op::Greater, mixed, text("UnicodeString", "a\u00E9")));
        EXPECT_EQ(mixed.Int, 1);
        TPSValueRecord bad = text("String", "a");
        EXPECT_FALSE(c.PreCalc(Op::Subtract, bad, text("String", "a")));

        // Sets of one type: union, difference, intersection, equality and
        // inclusion; sets of different types do not mix.
        TPSType* setType = c.FindType("TSet");
        auto set = [&](std::initializer_list<int> elements, TPSType* type) {
            TPSValueRecord v(type);
            for (int e : elements)
                v.Str[e / 8] = static_cast<char>(v.Str[e / 8] | (1 << (e % 8)));
            return v;
        };
        TPSValueRecord s = set({1, 9}, setType);
        ASSERT_TRUE(c.PreCalc(Op::Add, s, set({2}, setType)));
        EXPECT_EQ(s.Str, set({1, 2, 9}, setType).Str);
        ASSERT_TRUE(c.PreCalc(Op::Subtract, s, set({9}, setType)));
        EXPECT_EQ(s.Str, set({1, 2}, setType).Str);
        ASSERT_TRUE(c.PreCalc(Op::Multiply, s, set({2, 3}, setType)));
        EXPECT_EQ(s.Str, set({2}, setType).Str);
        TPSValueRecord subset = set({2}, setType);
        ASSERT_TRUE(c.PreCalc(Op::LessEqual, subset, set({2, 3}, setType)));
        EXPECT_EQ(subset.Int, 1);
        TPSValueRecord superset = set({2}, setType);
        ASSERT_TRUE(c.PreCalc(Op::GreaterEqual, superset, set({2, 3}, setType)));
        EXPECT_EQ(superset.Int, 0);
        TPSValueRecord equal = set({4}, setType);
        ASSERT_TRUE(c.PreCalc(Op::Equal, equal, set({4}, setType)));
        EXPECT_EQ(equal.Int, 1);
        TPSValueRecord other = set({1}, setType);
        EXPECT_FALSE(c.PreCalc(Op::Add, other, set({1}, c.FindType("TOtherSet"))));
        EXPECT_EQ(static_cast<const TPSPascalCompilerError*>(c.GetMessage(c.GetMessageCount() - 1))->Error,
                  C::TypeMismatch);
    };
    ASSERT_TRUE(h.compile("type TSet = set of Byte; TOtherSet = set of Char;"));
}

TEST(ConstantFolding, ConstantSectionsFoldLiteralsAndNames)
{
    CompileHarness h;
    h.registerTypes = [](TPSPascalCompiler& c) { c.AddConstantN("HostMoney", "Currency")->SetInt(15000); };
    h.inspect = [](TPSPascalCompiler& c) {
        auto value = [&](const char* name) -> const TPSValueRecord& {
            return CompileHarness::constant(c, name)->Value;
        };
        auto typeName = [&](const char* name) { return value(name).FType->Name; };
        EXPECT_EQ(typeName("BIG"), "LONGWORD");
        EXPECT_EQ(value("BIG").Int, 2147483648LL);
        EXPECT_EQ(typeName("NEGMIN"), "LONGINT");
        EXPECT_EQ(value("NEGMIN").Int, -2147483648LL);
        EXPECT_EQ(typeName("NEGLARGE"), "INT64");
        EXPECT_EQ(value("NEGLARGE").Int, -3000000000LL);
        EXPECT_EQ(typeName("HUGE"), "INT64");
        EXPECT_EQ(typeName("HEX"), "LONGINT");
        EXPECT_EQ(value("HEX").Int, 255);
        EXPECT_EQ(typeName("HEXBIG"), "LONGWORD");
        EXPECT_EQ(value("PRODUCT").Int, -6);
        EXPECT_EQ(value("MIXED").Real, 3.5);
        EXPECT_EQ(typeName("MIXED"), "EXTENDED");
        EXPECT_EQ(value("HALF").Int, 3);
        EXPECT_EQ(value("JOINED").Str, "ab");
        EXPECT_EQ(typeName("ONECHAR"), "CHAR");
        EXPECT_EQ(value("QUOTE").Str, "it's");
        EXPECT_EQ(typeName("WIDE"), "WIDECHAR");
        EXPECT_EQ(value("WIDE").Int, 300);
        EXPECT_EQ(typeName("WIDETEXT"), "UNICODESTRING");
        EXPECT_EQ(value("WIDETEXT").WStr, u"a\u012C");
        EXPECT_EQ(value("CRLF").Str, "\r\n");
        EXPECT_EQ(value("NOTBITS").Int, -6);
        EXPECT_EQ(value("ENUMLESS").Int, 1);
        EXPECT_EQ(value("ENUMSAME").Int, 0);
        EXPECT_EQ(value("LOGIC").Int, 1);
        EXPECT_EQ(value("CHAINED").Int, 0);
        EXPECT_EQ(value("MONEY").Int, 27500);
        EXPECT_EQ(value("NEGMONEY").Int, -15000);
        EXPECT_EQ(value("NEGREAL").Real, -2.5);
        EXPECT_EQ(value("USESK").Int, 30);
        // Adding to a named string leaves the name's own value as it was.
        EXPECT_EQ(value("STEM").Str, "ab");
        EXPECT_EQ(value("GROWN").Str, "abcab");
        EXPECT_EQ(value("GROWNWIDE").WStr, u"ab\u012Cab");
    };
    ASSERT_TRUE(h.compile("type TE = (One, Two, Three);\n"
                          "const Big = 2147483648; NegMin = -2147483648; NegLarge = -3000000000;\n"
                          "Huge = 4294967296; Hex = $FF; HexBig = $FFFFFFFF;\n"
                          "Product = -2*3; Mixed = 1 + 2.5; Half = 7 / 2;\n"
                          "Joined = 'a' + 'b'; OneChar = 'x'; Quote = 'it''s'; Wide = #300; WideText = 'a'#300;\n"
                          "CrLf = #13#$0A; NotBits = not 5;\n"
                          "EnumLess = One < Three; EnumSame = Two <> Two; Logic = True and (False = False);\n"
                          "Chained = 1 = 1 = False; Money = HostMoney + 1.25; NegMoney = -HostMoney;\n"
                          "NegReal = -2.5; K = 3; UsesK = K * 10;\n"
                          "Stem = 'ab'; Grown = Stem + 'c' + Stem; GrownWide = Stem + #300 + Stem;"))
        << (h.firstError() ? h.firstError()->MessageToString() : "");
}

} // namespace
