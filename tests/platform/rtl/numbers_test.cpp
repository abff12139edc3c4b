#include "platform/rtl/numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

TEST(Integers, DecimalAndDollarHexadecimalTexts)
{
    struct Case
    {
        const char* text;
        bool ok;
        std::int32_t value;
    };
    const Case cases[] = {
        {"0", true, 0},
        {"42", true, 42},
        {"-42", true, -42},
        {"+7", true, 7},
        {"  12", true, 12},
        {"$FF", true, 255},
        {"$ff", true, 255},
        {"0x1A", true, 26},
        {"-$10", true, -16},
        {"$FFFFFFFF", true, -1},
        {"$FF000005", true, static_cast<std::int32_t>(0xFF000005u)},
        {"2147483647", true, 2147483647},
        {"-2147483648", true, std::numeric_limits<std::int32_t>::min()},
        {"2147483648", false, 0},
        {"-2147483649", false, 0},
        {"$100000000", false, 0},
        {"99999999999999999999", false, 0},
        {"", false, 0},
        {" ", false, 0},
        {"-", false, 0},
        {"$", false, 0},
        {"12 ", false, 0},
        {"1.5", false, 0},
        {"12abc", false, 0},
        {"$G1", false, 0},
        {"--1", false, 0},
        {"١٢", false, 0}, // digits of another script are not ours
    };
    for (const auto& c : cases) {
        std::int32_t value = 99;
        EXPECT_EQ(TryStrToInt(QString::fromUtf8(c.text), value), c.ok) << c.text;
        if (c.ok)
            EXPECT_EQ(value, c.value) << c.text;
        else
            EXPECT_EQ(value, 99) << c.text;
        EXPECT_EQ(StrToIntDef(QString::fromUtf8(c.text), -1), c.ok ? c.value : -1) << c.text;
    }
    EXPECT_THROW(StrToInt(QStringLiteral("x")), EConvertError);
    EXPECT_EQ(StrToInt(QStringLiteral("$7FFFFFFF")), 2147483647);

    std::int64_t big = 0;
    EXPECT_TRUE(TryStrToInt64(QStringLiteral("-9223372036854775808"), big));
    EXPECT_EQ(big, std::numeric_limits<std::int64_t>::min());
    EXPECT_TRUE(TryStrToInt64(QStringLiteral("$FFFFFFFFFFFFFFFF"), big));
    EXPECT_EQ(big, -1);
    EXPECT_FALSE(TryStrToInt64(QStringLiteral("9223372036854775808"), big));
    EXPECT_EQ(StrToInt64(QStringLiteral("4294967296")), 4294967296LL);
}

TEST(Integers, WrittenAsDecimalAndHex)
{
    EXPECT_EQ(IntToStr(-1234567890123LL), "-1234567890123");
    EXPECT_EQ(IntToHex(std::int32_t(255), 6), "0000FF");
    EXPECT_EQ(IntToHex(std::int32_t(0x1234ABCD), 2), "1234ABCD");
    EXPECT_EQ(IntToHex(std::int32_t(-1), 2), "FFFFFFFF");
    EXPECT_EQ(IntToHex(std::int64_t(-1), 2), "FFFFFFFFFFFFFFFF");
    for (std::int32_t v : {0, 1, -1, 0x00C0DCC0, std::numeric_limits<std::int32_t>::min()})
        EXPECT_EQ(StrToInt(u'$' + IntToHex(v, 8)), v);
}

TEST(Floats, GeneralFormatWithFifteenDigits)
{
    struct Case
    {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {0, "0"},
        {-0.0, "0"},
        {1.5, "1.5"},
        {-2.25, "-2.25"},
        {0.1, "0.1"},
        {1.0 / 3, "0.333333333333333"},
        {2.0 / 3, "0.666666666666667"},
        {100, "100"},
        {123456789012345, "123456789012345"},
        {1e15, "1E15"},
        {1234567890123456, "1.23456789012346E15"},
        {1e20, "1E20"},
        {0.0001, "0.0001"},
        {0.00001, "1E-5"},
        {1.5e-7, "1.5E-7"},
        {-1.5e-300, "-1.5E-300"},
        {0.1 + 0.2, "0.3"},
        {std::nan(""), "NAN"},
        {std::numeric_limits<double>::infinity(), "INF"},
        {-std::numeric_limits<double>::infinity(), "-INF"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FloatToStr(c.value, u'.'), c.text) << c.text;
    EXPECT_EQ(FloatToStr(-1234.5, u','), "-1234,5");
    EXPECT_EQ(FloatToStr(2.5e-9, u','), "2,5E-9");
}

TEST(Floats, ReadWithTheGivenSeparatorOnly)
{
    struct Case
    {
        const char* text;
        QChar separator;
        bool ok;
        double value;
    };
    const Case cases[] = {
        {"1.5", u'.', true, 1.5},    {" -1.5 ", u'.', true, -1.5}, {"+2", u'.', true, 2},
        {".5", u'.', true, 0.5},     {"5.", u'.', true, 5},        {"1E3", u'.', true, 1000},
        {"1e-3", u'.', true, 0.001}, {"1,5", u',', true, 1.5},     {"1,5E2", u',', true, 150},
        {"1.5", u',', false, 0},     {"1,5", u'.', false, 0},      {"", u'.', false, 0},
        {"+", u'.', false, 0},       {"+-1", u'.', false, 0},      {"1e", u'.', false, 0},
        {"1.2.3", u'.', false, 0},   {"inf", u'.', false, 0},      {"nan", u'.', false, 0},
        {"0x10", u'.', false, 0},    {"1e999", u'.', false, 0},    {"12abc", u'.', false, 0},
        {"1 000", u'.', false, 0},
    };
    for (const auto& c : cases) {
        double value = 99;
        EXPECT_EQ(TryStrToFloat(QString::fromUtf8(c.text), value, c.separator), c.ok) << c.text;
        EXPECT_EQ(value, c.ok ? c.value : 99) << c.text;
    }
    EXPECT_EQ(StrToFloatDef(QStringLiteral("x"), -1.0, u'.'), -1.0);
}

TEST(Floats, TextRoundTripKeepsFifteenDigits)
{
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> mantissa(-10, 10);
    std::uniform_int_distribution<int> exponent(-30, 30);
    for (int i = 0; i < 2000; ++i) {
        const double value = mantissa(random) * std::pow(10.0, exponent(random));
        const QString text = FloatToStr(value, u',');
        double back = 0;
        ASSERT_TRUE(TryStrToFloat(text, back, u',')) << text.toStdString();
        EXPECT_NEAR(back, value, std::abs(value) * 1e-14) << text.toStdString();
    }
}

TEST(Rounding, HalfToEvenAndSaturating)
{
    EXPECT_EQ(Round(0.5), 0);
    EXPECT_EQ(Round(1.5), 2);
    EXPECT_EQ(Round(2.5), 2);
    EXPECT_EQ(Round(3.5), 4);
    EXPECT_EQ(Round(-0.5), 0);
    EXPECT_EQ(Round(-1.5), -2);
    EXPECT_EQ(Round(-2.5), -2);
    EXPECT_EQ(Round(2.4999999), 2);
    EXPECT_EQ(Round(2.5000001), 3);
    EXPECT_EQ(Round(1.5 * 24 / 24), 2); // a time offset of an hour and a half
    EXPECT_EQ(Round(1e300), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(Round(-1e300), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(Round(std::nan("")), 0);
    EXPECT_EQ(Round(9007199254740993.0), 9007199254740992LL);
}
