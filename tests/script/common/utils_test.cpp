#include "script/common/utils.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(ScriptUtils, MakeHash)
{
    EXPECT_EQ(MakeHash(""), 0u);
    EXPECT_EQ(MakeHash("A"), 65u);
    EXPECT_EQ(MakeHash("AB"), (65u << 7) + 66u);
    // Bits rotated out at the top come back at the bottom.
    EXPECT_EQ(MakeHash("ZZZZZ"), 0xAB56AD5Fu);
    EXPECT_EQ(MakeHash("\xFF\xFF\xFF\xFF\xFF\xFF"), 0x10204887u);
}

TEST(ScriptUtils, CaseFoldingIsAsciiOnly)
{
    EXPECT_EQ(FastUpperCase("azAZ09_@[`{ caf\xC3\xA9"), "AZAZ09_@[`{ CAF\xC3\xA9");
    EXPECT_EQ(FastLowerCase("azAZ09_@[`{ CAF\xC3\x89"), "azaz09_@[`{ caf\xC3\x89");

    // Every byte value at every place of a longer text, against the rule
    // byte by byte: long texts are folded several bytes at a time.
    std::string all;
    for (int round = 0; round < 9; ++round) {
        all += std::string(static_cast<std::size_t>(round), '.');
        for (int b = 0; b < 256; ++b)
            all.push_back(static_cast<char>(b));
    }
    const std::string upper = FastUpperCase(all);
    const std::string lower = FastLowerCase(all);
    std::string into = "left over from before, longer than nothing";
    FastUpperCaseInto(all, into);
    ASSERT_EQ(upper.size(), all.size());
    ASSERT_EQ(lower.size(), all.size());
    EXPECT_EQ(into, upper);
    for (std::size_t i = 0; i < all.size(); ++i) {
        const char c = all[i];
        ASSERT_EQ(upper[i], c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c) << "byte " << i;
        ASSERT_EQ(lower[i], c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c) << "byte " << i;
        // A text needs folding exactly when it has a byte that folds.
        ASSERT_EQ(HasLowerCase(all.substr(i, 1)), upper[i] != c) << "byte " << i;
    }
    EXPECT_FALSE(HasLowerCase(upper));
    EXPECT_TRUE(HasLowerCase(upper + "z"));
    EXPECT_FALSE(HasLowerCase(""));
}

TEST(ScriptUtils, CutWords)
{
    std::string text = "one two three";
    EXPECT_EQ(CutFirstWord(text), "one");
    EXPECT_EQ(text, "two three");
    EXPECT_EQ(CutLastWord(text), "three");
    EXPECT_EQ(text, "two");
    EXPECT_EQ(CutFirstWord(text), "two");
    EXPECT_EQ(text, "");
    text = "alone";
    EXPECT_EQ(CutLastWord(text), "alone");
    EXPECT_EQ(text, "");
    text = " lead";
    EXPECT_EQ(CutFirstWord(text), "");
    EXPECT_EQ(text, "lead");
}

TEST(ScriptUtils, NumberConversions)
{
    EXPECT_EQ(StrToFloatStrict("1.5"), 1.5L);
    EXPECT_EQ(StrToFloatStrict("-2e3"), -2000.0L);
    EXPECT_EQ(StrToFloatStrict("+.25"), 0.25L);
    EXPECT_EQ(StrToFloatStrict("7"), 7.0L);
    for (const char* bad : {"", "-", ".", "abc", "1.5x", " 1", "1 ", "inf", "nan", "--1", "0x10", "1e"})
        EXPECT_THROW(
            {
                try {
                    StrToFloatStrict(bad);
                } catch (const std::invalid_argument& e) {
                    EXPECT_STREQ(e.what(), "Invalid float");
                    throw;
                }
            },
            std::invalid_argument)
            << bad;

    EXPECT_EQ(FloatToStrFixed(1.5L), "1.500000000000");
    EXPECT_EQ(FloatToStrFixed(-0.25L), "-0.250000000000");
    EXPECT_EQ(FloatToStrFixed(1e20L), "100000000000000000000.000000000000");
    const std::string huge = FloatToStrFixed(1e4000L);
    EXPECT_GT(huge.size(), 4000u);
    EXPECT_TRUE(huge.ends_with(".000000000000"));
    EXPECT_EQ(IntToStrPlain(-2147483647 - 1), "-2147483648");

    EXPECT_EQ(StrToIntOrMinus1("42"), 42);
    EXPECT_EQ(StrToIntOrMinus1("-7"), -7);
    EXPECT_EQ(StrToIntOrMinus1("+7"), 7);
    for (const char* bad : {"", "x", "4x", " 4", "2147483648", "1.0", "+", "+-1"})
        EXPECT_EQ(StrToIntOrMinus1(bad), -1) << bad;
    EXPECT_EQ(StrToIntWithDefault("oops", 99), 99);
    EXPECT_EQ(StrToIntWithDefault("+-5", 99), 99);
    EXPECT_EQ(StrToIntWithDefault("-2147483648", 99), -2147483647 - 1);
}

TEST(ScriptUtils, ListsForgiveBadIndexes)
{
    int a = 0, b = 0;
    TPSList<int> list;
    EXPECT_EQ(list.Add(&a), 0u);
    EXPECT_EQ(list.Add(&b), 1u);
    EXPECT_EQ(list.Add(&a), 2u);
    EXPECT_EQ(list.IndexOf(&a), 2); // newest first
    list.Remove(&a);                // oldest first
    EXPECT_EQ(list.GetItem(0), &b);
    EXPECT_EQ(list.GetItem(1), &a);
    EXPECT_EQ(list.GetItem(2), nullptr);
    list.SetItem(5, &b);
    list.Delete(5);
    EXPECT_EQ(list.Count(), 2u);
    EXPECT_EQ(list.IndexOf(nullptr), -1);
    list.DeleteLast();
    list.DeleteLast();
    list.DeleteLast();
    EXPECT_EQ(list.Count(), 0u);

    TPSStringList strings;
    strings.Add("one");
    strings.Add("two");
    EXPECT_EQ(strings.GetItem(7), "");
    strings.SetItem(7, "x");
    strings.SetItem(1, "deux");
    strings.Delete(0);
    strings.Delete(9);
    ASSERT_EQ(strings.Count(), 1u);
    EXPECT_EQ(strings.GetItem(0), "deux");
    EXPECT_EQ(strings.IndexOf("deux"), 0);
    EXPECT_EQ(strings.IndexOf("one"), -1);
}

} // namespace
