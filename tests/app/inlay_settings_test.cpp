// The inlay settings' rules: the sources a pattern needs, the typed font
// size, the click on the picture and the texts of the DV panel.

#include "app/inlay_settings.h"

#include <gtest/gtest.h>

namespace {

TEST(InlaySettings, PatternsSwitchOnTheSourcesOfTheirCodesInEitherCase)
{
    struct Row
    {
        const char* line1;
        const char* line2;
        TInlaySources sources;
    };
    // DVCodes, TimeStamps, RealDate, FileName, Number.
    const Row rows[] = {
        {"No inlay has been defined.", "", {}},
        {"%f", "", {false, false, false, true, false}},
        {"in %p", "", {false, false, false, true, false}},
        {"", "type %E", {false, false, false, true, false}},
        {"%d", "", {true, false, false, false, false}},
        {"", "%t", {true, false, false, false, false}},
        {"%s", "%R", {false, true, true, false, false}},
        {"#%n - %F", "", {false, false, false, true, true}},
        // A code split over the two lines is no code.
        {"%", "D", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.line1) + " | " + row.line2);
        EXPECT_EQ(InlaySourcesOf(QString::fromLatin1(row.line1), QString::fromLatin1(row.line2)), row.sources);
    }
}

TEST(InlaySettings, TypedFontSizes)
{
    EXPECT_TRUE(FontSizeFromText(QStringLiteral("auto")).Auto);
    const TFontSizeChoice typed = FontSizeFromText(QStringLiteral("24"));
    EXPECT_FALSE(typed.Auto);
    EXPECT_EQ(typed.Size, 24);
    for (const char* text : {"abc", "", "12pt", "Auto"}) {
        SCOPED_TRACE(text);
        const TFontSizeChoice other = FontSizeFromText(QString::fromLatin1(text));
        EXPECT_FALSE(other.Auto);
        EXPECT_EQ(other.Size, 14);
    }
    // What reaches the font: nothing for no size, at most the largest.
    EXPECT_EQ(InlayFontSize(0), std::nullopt);
    EXPECT_EQ(InlayFontSize(-3), std::nullopt);
    EXPECT_EQ(InlayFontSize(1), 1);
    EXPECT_EQ(InlayFontSize(100'000), kMaxInlayFontSize);
}

TEST(InlaySettings, AClickOnThePicturePlacesTheInlayInTenThousandths)
{
    const QRect picture(10, 20, 400, 300);
    EXPECT_EQ(InlayPositionAt(QPoint(210, 170), picture), (TPoint{5000, 5000}));
    EXPECT_EQ(InlayPositionAt(QPoint(10, 20), picture), (TPoint{0, 0}));
    EXPECT_EQ(InlayPositionAt(QPoint(410, 320), picture), (TPoint{10000, 10000}));
    // Division rounds towards zero.
    EXPECT_EQ(InlayPositionAt(QPoint(11, 21), QRect(10, 20, 3, 3)), (TPoint{3333, 3333}));
    // Beside the picture: its nearest edge.
    EXPECT_EQ(InlayPositionAt(QPoint(0, 900), picture), (TPoint{0, 10000}));
    // A picture without width or height places nothing.
    EXPECT_EQ(InlayPositionAt(QPoint(5, 5), QRect(10, 20, 0, 300)), std::nullopt);
    EXPECT_EQ(InlayPositionAt(QPoint(5, 5), QRect(10, 20, 400, 0)), std::nullopt);
    EXPECT_EQ(ClampInlayPosition(TPoint{20000, -5}), (TPoint{10000, 0}));
    EXPECT_EQ(ClampInlayPosition(TPoint{5000, 8200}), (TPoint{5000, 8200}));
}

TEST(InlaySettings, BorderAndTransparencyStayInTheirRanges)
{
    const std::pair<int, int> borders[] = {{-1, 0}, {0, 0}, {7, 7}, {20, 20}, {21, 20}};
    for (const auto& [width, kept] : borders)
        EXPECT_EQ(ClampInlayBorder(width), kept) << width;
    struct Alpha
    {
        double alpha;
        double kept;
        int percent;
    };
    const Alpha alphas[] = {{-0.5, 0, 0},   {0.125, 0.125, 12}, {0.135, 0.135, 14},
                            {0.5, 0.5, 50}, {1.5, 1, 100},      {std::nan(""), 1, 100}};
    for (const Alpha& a : alphas) {
        EXPECT_EQ(ClampInlayTransparency(a.alpha), a.kept) << a.alpha;
        EXPECT_EQ(TransparencyPercent(a.alpha), a.percent) << a.alpha;
    }
}

TEST(InlaySettings, DifferencesInWholeHoursRoundHalvesToEven)
{
    constexpr double hour = 1.0 / 24;
    const std::pair<double, int> rounded[] = {{-2.9999, -3}, {2.9999, 3}, {-2.5001, -3}, {1.4999, 1},
                                              {1.5, 2},      {2.5, 2},    {-0.5, 0},     {100'000, 100'000}};
    for (const auto& [hours, whole] : rounded) {
        EXPECT_EQ(WholeHours(hours * hour), whole) << hours;
        EXPECT_NEAR(HoursToDays(whole), whole * hour, 1e-12);
    }
}

TEST(InlaySettings, TimeDifferencesAsText)
{
    constexpr double hour = 1.0 / 24;
    constexpr double minute = 1.0 / 1440;
    constexpr double second = 1.0 / 86400;
    EXPECT_EQ(FormatTimeDifference(0), QStringLiteral("none"));
    EXPECT_EQ(FormatTimeDifference(second), QStringLiteral(" 01 second"));
    EXPECT_EQ(FormatTimeDifference(45 * second), QStringLiteral(" 45 seconds"));
    EXPECT_EQ(FormatTimeDifference(2 + 3 * hour), QStringLiteral(" 2 days 03 h"));
    EXPECT_EQ(FormatTimeDifference(1.5 * hour), QStringLiteral(" 01 hour 30 m"));
    EXPECT_EQ(FormatTimeDifference(1), QStringLiteral(" 1 day"));
    EXPECT_EQ(FormatTimeDifference(1 + 2 * minute + 3 * second), QStringLiteral(" 1 day 02 m 03 s"));
    EXPECT_EQ(FormatTimeDifference(2 * minute), QStringLiteral(" 02 minutes"));
    // Every part of a difference backwards is negative.
    EXPECT_EQ(FormatTimeDifference(-1.5 * hour), QStringLiteral(" -01 hour -30 m"));
    EXPECT_EQ(FormatTimeDifference(-2), QStringLiteral(" -2 days"));
    // Seconds round half to even.
    EXPECT_EQ(FormatTimeDifference(0.5 * second), QStringLiteral("none"));
    EXPECT_EQ(FormatTimeDifference(1.5 * second), QStringLiteral(" 02 seconds"));
}

TEST(InlaySettings, DatesLoseTheirMillisecondsAndDifferencesTheirExcess)
{
    const TDateTime recorded = EncodeDate(2024, 5, 17) + EncodeTime(14, 32, 10, 0);
    EXPECT_DOUBLE_EQ(TruncToSeconds(recorded + EncodeTime(0, 0, 0, 700)), recorded);
    EXPECT_DOUBLE_EQ(TruncToSeconds(recorded), recorded);
    EXPECT_DOUBLE_EQ(TruncToSeconds(0), 0);
    EXPECT_DOUBLE_EQ(ClampTimeDifference(1e9), kMaxTimeDifference);
    EXPECT_DOUBLE_EQ(ClampTimeDifference(-1e9), -kMaxTimeDifference);
    EXPECT_DOUBLE_EQ(ClampTimeDifference(std::nan("")), 0);
    EXPECT_DOUBLE_EQ(ClampTimeDifference(1.25), 1.25);
}

} // namespace
