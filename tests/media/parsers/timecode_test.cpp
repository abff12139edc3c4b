#include "media/parsers/media_records.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr REFERENCE_TIME kPal = 400'000;
constexpr REFERENCE_TIME kNtsc = 333'667;

TEST(Timecode, ParsesFieldsFromTheEnd)
{
    EXPECT_EQ(TimecodeStrToRefTime("0:00:01:00", kPal), 10'000'000);
    EXPECT_EQ(TimecodeStrToRefTime("12:34:56:24", kPal), (12 * 3600 + 34 * 60 + 56) * 10'000'000LL + 24 * kPal);
    EXPECT_EQ(TimecodeStrToRefTime("123:00:00:00", kPal), 123 * 3600 * 10'000'000LL);
    // The separators are not looked at; fields that are no number read as 0.
    EXPECT_EQ(TimecodeStrToRefTime("1.02.03.04", kPal), (3600 + 2 * 60 + 3) * 10'000'000LL + 4 * kPal);
    EXPECT_EQ(TimecodeStrToRefTime("x:ab:03:cd", kPal), 3 * 10'000'000LL);
    EXPECT_EQ(TimecodeStrToRefTime("", kPal), 0);
    EXPECT_EQ(TimecodeStrToRefTime("7", kPal), 7 * kPal);
    EXPECT_EQ(TimecodeStrToRefTime(" 1:00:00:00", kPal), 3600 * 10'000'000LL);
}

TEST(Timecode, FormatsNearSecondBoundaries)
{
    EXPECT_EQ(RefTimeToTimecodeStr(kPal, 9'900'000), "0:00:01:00");
    EXPECT_EQ(RefTimeToTimecodeStr(kPal, 9'800'000), "0:00:00:24"); // 24.5 rounds to even
    EXPECT_EQ(RefTimeToTimecodeStr(kPal, 9'700'000), "0:00:00:24");
    EXPECT_EQ(RefTimeToTimecodeStr(kPal, 59 * 10'000'000LL + 9'900'000), "0:01:00:00");
    EXPECT_EQ(RefTimeToTimecodeStr(kPal, 3599 * 10'000'000LL + 9'900'000), "1:00:00:00");
    EXPECT_EQ(RefTimeToTimecodeStr(kPal, 36'000'000'000), "1:00:00:00");
    EXPECT_EQ(RefTimeToTimecodeStr(kPal, 360'000'000'000), "10:00:00:00");
    // Without a frame duration, frames count milliseconds.
    EXPECT_EQ(RefTimeToTimecodeStr(0, 12'340'000), "0:00:01:234");
}

TEST(Timecode, RoundTripsEveryFrame)
{
    for (REFERENCE_TIME duration : {kPal, kNtsc}) {
        const int perSecond = duration == kPal ? 25 : 30;
        for (int s : {0, 59, 3599}) {
            for (int f = 0; f < perSecond; ++f) {
                const REFERENCE_TIME pos = s * 10'000'000LL + f * duration;
                const QString text = RefTimeToTimecodeStr(duration, pos);
                EXPECT_EQ(TimecodeStrToRefTime(text, duration), pos) << text.toStdString();
            }
        }
    }
    // 30 frames of 333,667 run past the second: the last one shows the next second.
    EXPECT_EQ(RefTimeToTimecodeStr(kNtsc, 29 * kNtsc), "0:00:00:29");
    EXPECT_EQ(RefTimeToTimecodeStr(kNtsc, 30 * kNtsc), "0:00:01:00");
}

// The fields are written by hand: each reads as the formatted print of the
// same numbers would, over signs, widths and the rounding to the next second.
TEST(Timecode, WritesTheFieldsAsAFormattedPrintDoes)
{
    const struct
    {
        REFERENCE_TIME duration;
        REFERENCE_TIME position;
        const char* text;
    } cases[] = {
        {kPal, 0, "0:00:00:00"},
        {kPal, 10 * kPal, "0:00:00:10"},
        {kPal, 9 * 10'000'000LL + 3 * kPal, "0:00:09:03"},
        {kPal, (99 * 3600 + 59 * 60 + 59) * 10'000'000LL, "99:59:59:00"},
        {kPal, 123'456 * 36'000'000'000LL, "123456:00:00:00"},
        // Frames of a millisecond, and of a tenth of a microsecond: wide fields.
        {0, 5'000, "0:00:00:00"},
        {0, 70'000, "0:00:00:07"},
        {1, 9'876'543, "0:00:00:9876543"},
        // Before the start every field but the hours carries its sign.
        {kPal, -kPal, "0:00:00:-01"},
        {kPal, -61 * 10'000'000LL - 2 * kPal, "0:-01:-01:-02"},
        {kPal, -7200 * 10'000'000LL, "-2:00:00:00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RefTimeToTimecodeStr(c.duration, c.position), QString::fromLatin1(c.text))
            << c.duration << " " << c.position;

    const auto printed = [](REFERENCE_TIME duration, REFERENCE_TIME position) {
        if (duration == 0)
            duration = 10'000;
        std::int64_t seconds = position / kUnitsPerSecond;
        std::int64_t rest = position % kUnitsPerSecond;
        if (kUnitsPerSecond - rest < duration / 2) {
            rest = 0;
            ++seconds;
        }
        const auto frames = static_cast<long long>(std::nearbyint(static_cast<double>(rest) / duration));
        return QString::asprintf("%lld:%.2lld:%.2lld:%.2lld", static_cast<long long>(seconds / 3600),
                                 static_cast<long long>((seconds / 60) % 60), static_cast<long long>(seconds % 60),
                                 frames);
    };
    const REFERENCE_TIME extremes[] = {std::numeric_limits<REFERENCE_TIME>::max(),
                                       std::numeric_limits<REFERENCE_TIME>::min(), -1, 1};
    for (REFERENCE_TIME duration : {kPal, kNtsc, REFERENCE_TIME{417'083}, REFERENCE_TIME{0}, REFERENCE_TIME{1}}) {
        for (REFERENCE_TIME position = -3 * kUnitsPerSecond; position <= 3 * kUnitsPerSecond; position += 99'991)
            ASSERT_EQ(RefTimeToTimecodeStr(duration, position), printed(duration, position)) << position;
        for (REFERENCE_TIME position : extremes)
            EXPECT_EQ(RefTimeToTimecodeStr(duration, position), printed(duration, position)) << position;
    }
}

} // namespace
