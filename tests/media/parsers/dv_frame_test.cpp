#include "media/parsers/dv_frame.h"

#include "tests/media/clip_reader.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Frame = std::vector<BYTE>;

std::vector<Frame> dvFrames(const char* clip, int count)
{
    std::vector<Frame> frames;
    for (const QByteArray& packet : clips::videoPackets(clips::path(clip), count))
        frames.emplace_back(packet.begin(), packet.end());
    return frames;
}

QDateTime recDate(const Frame& f)
{
    return DVRecDateTimeValue(FindDVRecDateTime(f.data(), f.size()));
}

TEST(DVClip, PalCodes)
{
    auto frames = dvFrames("dv_pal.avi", 26);
    ASSERT_EQ(frames.size(), 26u);
    Frame& f = frames[0];
    ASSERT_EQ(f.size(), 12 * kDIFSequenceSize);

    EXPECT_EQ(FindDVTimecode(f.data(), f.size()), (TDVTimecode{10, 20, 30, 5}));
    EXPECT_EQ(DVTimecodeToStr(FindDVTimecode(frames[25].data(), frames[25].size())), "10:20:31:05");
    EXPECT_EQ(recDate(f), QDateTime(QDate(2024, 5, 17), QTime(14, 32, 10), Qt::UTC));

    EXPECT_EQ(FixDVSystemFlag(f.data(), f.size()), dvs625_50);
    EXPECT_TRUE(IsValidDVFrame(f.data(), f.size(), dvs625_50));
    EXPECT_TRUE(IsValidDVFrame(f.data(), f.size(), dvsUndetermined));
    EXPECT_FALSE(IsValidDVFrame(f.data(), f.size(), dvs525_60));
    EXPECT_EQ(GetDVAudioSampleRate(f.data(), f.size()), 48000);
    EXPECT_EQ(GetDVAudioQuantization(f.data(), f.size()), 16);
    EXPECT_FALSE(IsDVWideScreen(f.data(), f.size()));
}

TEST(DVClip, NtscWideScreen)
{
    auto frames = dvFrames("dv_ntsc_wide.avi", 1);
    ASSERT_EQ(frames.size(), 1u);
    Frame& f = frames[0];
    ASSERT_EQ(f.size(), 10 * kDIFSequenceSize);
    EXPECT_EQ(FixDVSystemFlag(f.data(), f.size()), dvs525_60);
    EXPECT_TRUE(IsValidDVFrame(f.data(), f.size(), dvs525_60));
    EXPECT_FALSE(IsValidDVFrame(f.data(), f.size(), dvs625_50));
    EXPECT_TRUE(IsDVWideScreen(f.data(), f.size()));
    EXPECT_EQ(FindDVTimecode(f.data(), f.size()), (TDVTimecode{1, 2, 3, 4}));
    EXPECT_EQ(recDate(f), QDateTime(QDate(2023, 11, 2), QTime(8, 15, 0), Qt::UTC));
}

TEST(DVClip, JoinedRecordingsThreeHoursApart)
{
    const auto frames = dvFrames("dv_joined.avi", 26);
    ASSERT_EQ(frames.size(), 26u);
    const QDateTime before = recDate(frames[24]);
    const QDateTime after = recDate(frames[25]);
    ASSERT_TRUE(before.isValid() && after.isValid());
    EXPECT_EQ(before.date(), QDate(2024, 5, 17));
    EXPECT_EQ(before.time().hour(), 9);
    EXPECT_EQ(after, QDateTime(QDate(2024, 5, 17), QTime(12, 0, 0), Qt::UTC));
}

// Real frames with single bytes changed.
class DVPacks : public testing::Test
{
protected:
    void SetUp() override
    {
        auto frames = dvFrames("dv_pal.avi", 1);
        ASSERT_EQ(frames.size(), 1u);
        frame = std::move(frames[0]);
    }
    BYTE* data() { return frame.data(); }
    std::size_t size() const { return frame.size(); }

    Frame frame;
};

TEST_F(DVPacks, TimecodeFields)
{
    data()[111] = 0x29;
    data()[112] = 0x59;
    data()[113] = 0x59;
    data()[114] = 0x23;
    EXPECT_EQ(GetDVTimecode(data(), size(), 0), (TDVTimecode{23, 59, 59, 29}));
    data()[112] = 0x60;
    EXPECT_FALSE(GetDVTimecode(data(), size(), 0).isValid());
    EXPECT_EQ(GetDVTimecode(data(), size(), 0).hours, 255);
    // Another sequence still has one.
    EXPECT_EQ(FindDVTimecode(data(), size()), (TDVTimecode{10, 20, 30, 5}));
    data()[112] = 0x30;
    data()[190] = 0x14;
    EXPECT_FALSE(GetDVTimecode(data(), size(), 0).isValid());
    EXPECT_FALSE(GetDVTimecode(data(), size(), 12).isValid());
    EXPECT_FALSE(GetDVTimecode(data(), size(), -1).isValid());
}

TEST_F(DVPacks, RecordingYearsAndHeaders)
{
    for (auto [code, year] : {std::pair{0x99, 1999}, {0x39, 2039}, {0x40, 1940}, {0x00, 2000}}) {
        data()[462] = static_cast<BYTE>(code);
        EXPECT_EQ(GetDVRecDateTime(data(), size(), 0).year, year) << code;
    }
    // Empty pack headers are read too; what follows need not be a date.
    data()[458] = 0;
    data()[463] = 0;
    EXPECT_EQ(GetDVRecDateTime(data(), size(), 0).month, 5);
    data()[461] = 0x13;
    EXPECT_FALSE(DVRecDateTimeValue(GetDVRecDateTime(data(), size(), 0)).isValid());
    data()[463] = 0x64;
    EXPECT_EQ(GetDVRecDateTime(data(), size(), 0).year, -1);
    EXPECT_FALSE(DVRecDateTimeValue(TDVRecDateTime{}).isValid());
}

TEST_F(DVPacks, SystemFlagFollowsTheMajority)
{
    auto setFlags = [&](int count3F) {
        for (int n = 0; n < 10; ++n)
            data()[n * kDIFSequenceSize + 3] = n < count3F ? 0x3F : 0xBF;
    };
    setFlags(5);
    EXPECT_EQ(FixDVSystemFlag(data(), size()), dvsUndetermined);
    EXPECT_EQ(data()[3], 0x3F);
    EXPECT_EQ(data()[9 * kDIFSequenceSize + 3], 0xBF);
    setFlags(6);
    EXPECT_EQ(FixDVSystemFlag(data(), size()), dvs525_60);
    for (int n = 0; n < 10; ++n)
        EXPECT_EQ(data()[n * kDIFSequenceSize + 3], 0x3F);
    // The last two sequences of a 625/50 frame are not counted nor changed.
    EXPECT_EQ(data()[10 * kDIFSequenceSize + 3], 0xBF);
}

TEST_F(DVPacks, AudioCodes)
{
    BYTE& source = data()[4327];
    source = 1 << 3 | 1; // 44.1 kHz, 12 bits
    EXPECT_EQ(GetDVAudioSampleRate(data(), size()), 44100);
    EXPECT_EQ(GetDVAudioQuantization(data(), size()), 12);
    source = 3 << 3 | 2;
    EXPECT_EQ(GetDVAudioSampleRate(data(), size()), 0);
    EXPECT_EQ(GetDVAudioQuantization(data(), size()), 0);
    EXPECT_FALSE(CheckDIFSequence(data(), size(), dvs625_50, 0));
    EXPECT_TRUE(CheckDIFSequence(data(), size(), dvs625_50, 1));
    for (int n = 0; n < 12; ++n)
        data()[n * kDIFSequenceSize + 4323] = 0;
    EXPECT_EQ(GetDVAudioSampleRate(data(), size()), -1);
    EXPECT_EQ(GetDVAudioQuantization(data(), size()), -1);
}

TEST_F(DVPacks, WideScreenFromDisplayMode)
{
    data()[455] = (data()[455] & ~7) | 2;
    EXPECT_TRUE(IsDVWideScreen(data(), size()));
    data()[455] |= 7;
    data()[7] = 0x78;
    EXPECT_TRUE(IsDVWideScreen(data(), size()));
    data()[7] = 0x79;
    EXPECT_FALSE(IsDVWideScreen(data(), size()));
}

TEST_F(DVPacks, DIFSequenceChecks)
{
    auto check = [&](std::size_t at, BYTE value, int n) {
        Frame copy = frame;
        copy[n * kDIFSequenceSize + at] = value;
        return CheckDIFSequence(copy.data(), copy.size(), dvs625_50, n);
    };
    EXPECT_TRUE(check(0, 0x1F, 0));
    EXPECT_FALSE(check(0, 0x2F, 0));
    EXPECT_FALSE(check(5, 0xF8, 0)); // not transmitted
    EXPECT_FALSE(check(448, 0x00, 0));
    EXPECT_FALSE(check(248, 0x00, 1));
    EXPECT_TRUE(check(448, 0x00, 1)); // even-sequence place, odd sequence
    EXPECT_FALSE(check(5603, 0x00, 2));
    EXPECT_FALSE(check(1763, 0x00, 3));
    EXPECT_FALSE(CheckDIFSequence(data(), size(), dvs625_50, 12));
}

// No reader looks past the bytes it is given: each truncated copy sits in a
// buffer of exactly its size, where the address sanitizer sees any overrun.
TEST_F(DVPacks, TruncatedFramesReadNothingBeyondTheirEnd)
{
    const std::size_t lastNeeded = 11 * kDIFSequenceSize + 1764; // the last pack of an odd sequence
    for (std::size_t len = 0; len < size(); len += len < 12'000 ? 97 : 4999) {
        Frame cut(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(len));
        BYTE* p = cut.empty() ? nullptr : cut.data();
        FindDVTimecode(p, len);
        FindDVRecDateTime(p, len);
        GetDVAudioSampleRate(p, len);
        GetDVAudioQuantization(p, len);
        IsDVWideScreen(p, len);
        if (len < lastNeeded) {
            EXPECT_FALSE(IsValidDVFrame(p, len, dvs625_50)) << len;
        }
        const int system = FixDVSystemFlag(p, len);
        if (len <= 9 * kDIFSequenceSize + 3) {
            EXPECT_EQ(system, dvsUndetermined) << len;
        }
    }
    EXPECT_FALSE(IsValidDVFrame(nullptr, 0, dvsUndetermined));
    EXPECT_EQ(FindDVTimecode(nullptr, 1000).hours, 255);
}

} // namespace
