#include "media/parsers/dv_frame.h"

#include <optional>

namespace {

// The bytes of one DIF sequence, read at offsets from its start; a byte
// outside the frame is absent.
class Sequence
{
public:
    Sequence(const BYTE* frame, std::size_t size, int n)
        : frame_(frame), size_(size), base_(n >= 0 ? static_cast<std::size_t>(n) * kDIFSequenceSize : size)
    {
    }

    std::optional<BYTE> at(std::size_t offset) const
    {
        if (!frame_ || base_ >= size_ || offset >= size_ - base_)
            return std::nullopt;
        return frame_[base_ + offset];
    }

    bool is(std::size_t offset, BYTE value) const { return at(offset) == value; }

private:
    const BYTE* frame_;
    std::size_t size_;
    std::size_t base_;
};

// Sequences searched for packs that every sequence may carry.
constexpr int kSearchedSequences = 10;

// Packs and their places.
constexpr BYTE kTimecodePack = 0x13;
constexpr BYTE kVauxSource = 0x60;
constexpr BYTE kVauxSourceControl = 0x61;
constexpr BYTE kVauxRecDate = 0x62;
constexpr BYTE kVauxRecTime = 0x63;
constexpr BYTE kAauxSource = 0x50;
constexpr BYTE kAauxSourceControl = 0x51;
constexpr std::size_t kSystemByte = 3;
constexpr BYTE kSystem625 = 0xBF;
constexpr BYTE kSystem525 = 0x3F;
constexpr std::size_t kAudioSourcePack = 4323; // searched in every sequence
constexpr std::size_t kSourceControlPack = 453;

// Two BCD digits; `tensMask` keeps the bits of the tens digit.
int bcd(BYTE b, BYTE tensMask)
{
    return ((b & tensMask) >> 4) * 10 + (b & 0x0F);
}

// The byte 4 of the first audio source pack of the frame.
std::optional<BYTE> audioSourceByte(const BYTE* frame, std::size_t size)
{
    for (int n = 0; n < kSearchedSequences; ++n) {
        const Sequence seq(frame, size, n);
        if (seq.is(kAudioSourcePack, kAauxSource))
            return seq.at(kAudioSourcePack + 4);
    }
    return std::nullopt;
}

} // namespace

TDVTimecode GetDVTimecode(const BYTE* frame, std::size_t size, int n)
{
    const Sequence seq(frame, size, n);
    if (!seq.is(110, kTimecodePack) || !seq.is(190, kTimecodePack))
        return {};
    const auto f = seq.at(111), s = seq.at(112), m = seq.at(113), h = seq.at(114);
    if (!f || !s || !m || !h)
        return {};
    TDVTimecode tc;
    tc.hours = static_cast<std::uint8_t>(bcd(*h, 0x30));
    tc.minutes = static_cast<std::uint8_t>(bcd(*m, 0x70));
    tc.seconds = static_cast<std::uint8_t>(bcd(*s, 0x70));
    tc.frames = static_cast<std::uint8_t>(bcd(*f, 0x30));
    if (tc.minutes >= 60 || tc.seconds >= 60)
        return {};
    return tc;
}

TDVTimecode FindDVTimecode(const BYTE* frame, std::size_t size)
{
    for (int n = 0; n < kSearchedSequences; ++n) {
        if (const TDVTimecode tc = GetDVTimecode(frame, size, n); tc.isValid())
            return tc;
    }
    return {};
}

TDVRecDateTime GetDVRecDateTime(const BYTE* frame, std::size_t size, int n)
{
    const Sequence seq(frame, size, n);
    // Empty pack headers are taken as they come: some recorders leave them 0.
    const auto dateHeader = seq.at(458), timeHeader = seq.at(463);
    if (!dateHeader || (*dateHeader != kVauxRecDate && *dateHeader != 0) || !timeHeader ||
        (*timeHeader != kVauxRecTime && *timeHeader != 0))
        return {};
    const auto day = seq.at(460), month = seq.at(461), year = seq.at(462);
    const auto second = seq.at(465), minute = seq.at(466), hour = seq.at(467);
    if (!day || !month || !year || !second || !minute || !hour)
        return {};
    TDVRecDateTime rec;
    const int shortYear = bcd(*year, 0xF0);
    rec.year = shortYear >= 40 ? 1900 + shortYear : 2000 + shortYear;
    rec.month = static_cast<std::uint8_t>(bcd(*month, 0x10));
    rec.day = static_cast<std::uint8_t>(bcd(*day, 0x30));
    rec.hour = static_cast<std::uint8_t>(bcd(*hour, 0x30));
    rec.minute = static_cast<std::uint8_t>(bcd(*minute, 0x70));
    rec.second = static_cast<std::uint8_t>(bcd(*second, 0x70));
    return rec;
}

TDVRecDateTime FindDVRecDateTime(const BYTE* frame, std::size_t size)
{
    for (int n = 0; n < kSearchedSequences; ++n) {
        if (const TDVRecDateTime rec = GetDVRecDateTime(frame, size, n); rec.year >= 0)
            return rec;
    }
    return {};
}

QDateTime DVRecDateTimeValue(const TDVRecDateTime& rec)
{
    const QDate date(rec.year, rec.month, rec.day);
    const QTime time(rec.hour, rec.minute, rec.second);
    if (rec.year < 0 || !date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

int FixDVSystemFlag(BYTE* frame, std::size_t size)
{
    const std::size_t last = (kSearchedSequences - 1) * kDIFSequenceSize + kSystemByte;
    if (!frame || size <= last)
        return dvsUndetermined;
    int count625 = 0;
    int count525 = 0;
    for (int n = 0; n < kSearchedSequences; ++n) {
        const BYTE flag = frame[n * kDIFSequenceSize + kSystemByte];
        count625 += flag == kSystem625;
        count525 += flag == kSystem525;
    }
    if (count625 == count525)
        return dvsUndetermined;
    const BYTE flag = count625 > count525 ? kSystem625 : kSystem525;
    for (int n = 0; n < kSearchedSequences; ++n)
        frame[n * kDIFSequenceSize + kSystemByte] = flag;
    return flag == kSystem625 ? dvs625_50 : dvs525_60;
}

int GetDVAudioSampleRate(const BYTE* frame, std::size_t size)
{
    const auto b = audioSourceByte(frame, size);
    if (!b)
        return -1;
    switch ((*b >> 3) & 7) {
    case 0:
        return 48000;
    case 1:
        return 44100;
    case 2:
        return 32000;
    default:
        return 0;
    }
}

int GetDVAudioQuantization(const BYTE* frame, std::size_t size)
{
    const auto b = audioSourceByte(frame, size);
    if (!b)
        return -1;
    switch (*b & 7) {
    case 0:
        return 16;
    case 1:
        return 12;
    default:
        return 0;
    }
}

bool IsDVWideScreen(const BYTE* frame, std::size_t size)
{
    for (int n = 0; n < kSearchedSequences; ++n) {
        const Sequence seq(frame, size, n);
        if (!seq.is(kSourceControlPack, kVauxSourceControl))
            continue;
        const auto disp = seq.at(kSourceControlPack + 2);
        const auto header = seq.at(7);
        if (!disp || !header)
            return false;
        // Display mode 7 leaves the choice to the header's application ID.
        return (*disp & 7) == 2 || ((*disp & 7) == 7 && (*header & 7) == 0);
    }
    return false;
}

bool CheckDIFSequence(const BYTE* frame, std::size_t size, int system, int n)
{
    const Sequence seq(frame, size, n);
    const auto id = seq.at(0);
    if (!id || (*id & 0xF0) != 0x10)
        return false;
    if ((system == dvs625_50 && !seq.is(kSystemByte, kSystem625)) ||
        (system == dvs525_60 && !seq.is(kSystemByte, kSystem525)))
        return false;
    const auto tf1 = seq.at(5), tf2 = seq.at(6);
    if (!tf1 || !tf2 || (*tf1 & 0x80) || (*tf2 & 0x80))
        return false;
    const bool even = n % 2 == 0;
    if (!seq.is(even ? 448 : 243, kVauxSource) || !seq.is(even ? 453 : 248, kVauxSourceControl))
        return false;
    const std::size_t audio = even ? 4323 : 483;
    const auto smp = seq.at(audio + 4);
    if (!seq.is(audio, kAauxSource) || !smp || ((*smp >> 3) & 7) > 2)
        return false;
    return seq.is(even ? 5603 : 1763, kAauxSourceControl);
}

bool IsValidDVFrame(const BYTE* frame, std::size_t size, int system)
{
    const int sequences = system == dvs625_50 ? 12 : 10;
    for (int n = 0; n < sequences; ++n) {
        if (!CheckDIFSequence(frame, size, system, n))
            return false;
    }
    return true;
}
