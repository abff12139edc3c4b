#include "media/parsers/media_records.h"

#include <gtest/gtest.h>

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

} // namespace
