#include "media/parsers/media_records.h"

#include <algorithm>
#include <cmath>

bool SameVideoData(const TVideoData& a, const TVideoData& b)
{
    return a.width == b.width && a.height == b.height && a.aspectX == b.aspectX && a.aspectY == b.aspectY &&
           a.aspectKind == b.aspectKind && a.description == b.description && a.sizeText == b.sizeText;
}

bool SameAudioFormat(const TframeData& a, const TframeData& b)
{
    return a.audioFormatName == b.audioFormatName && a.channels == b.channels && a.bitsPerSample == b.bitsPerSample &&
           a.sampleRate == b.sampleRate && a.bitRate == b.bitRate;
}

namespace {
// The number in the characters at 1-based positions [first, first + count) of
// the text, counting only those that exist; 0 when they are not a number.
std::int64_t numberAt(const QString& text, qsizetype first, qsizetype count)
{
    const qsizetype from = std::max<qsizetype>(first, 1);
    const qsizetype to = std::min(first + count, text.size() + 1);
    if (to <= from)
        return 0;
    bool ok = false;
    const int value = QStringView(text).mid(from - 1, to - from).toInt(&ok);
    return ok ? value : 0;
}

// Writes `value` as "%.<digits>lld" prints it: a minus sign when negative,
// then at least `digits` digits; returns the end. At most 21 characters.
char* writeNumber(char* out, long long value, int digits)
{
    unsigned long long magnitude = static_cast<unsigned long long>(value);
    if (value < 0) {
        *out++ = '-';
        magnitude = 0 - magnitude;
    }
    char reversed[20];
    int count = 0;
    do {
        reversed[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    for (int pad = digits - count; pad > 0; --pad)
        *out++ = '0';
    while (count > 0)
        *out++ = reversed[--count];
    return out;
}
} // namespace

REFERENCE_TIME TimecodeStrToRefTime(const QString& text, REFERENCE_TIME frameDuration)
{
    // The fields are found from the end: "h...h:mm:ss:ff". The separators are
    // not looked at, so "1.00.00.00" reads like "1:00:00:00".
    const qsizetype len = text.size();
    const std::int64_t hours = numberAt(text, 1, len - 9);
    const std::int64_t minutes = numberAt(text, len - 7, 2);
    const std::int64_t seconds = numberAt(text, len - 4, 2);
    const std::int64_t frames = numberAt(text, len - 1, 2);
    // Wrapping arithmetic: absurd hour counts give a wrong position, not undefined behaviour.
    const std::uint64_t whole = static_cast<std::uint64_t>(hours * 3600 + minutes * 60 + seconds);
    return static_cast<REFERENCE_TIME>(whole * kUnitsPerSecond +
                                       static_cast<std::uint64_t>(frames) * static_cast<std::uint64_t>(frameDuration));
}

QString RefTimeToTimecodeStr(REFERENCE_TIME frameDuration, REFERENCE_TIME position)
{
    if (frameDuration == 0)
        frameDuration = 10'000;
    std::int64_t seconds = position / kUnitsPerSecond;
    std::int64_t rest = position % kUnitsPerSecond;
    if (kUnitsPerSecond - rest < frameDuration / 2) {
        rest = 0;
        ++seconds;
    }
    // Halves round to even (the default rounding mode).
    const auto frames = static_cast<long long>(std::nearbyint(static_cast<double>(rest) / frameDuration));
    // Written by hand: the position text is made for every frame shown, and
    // a formatted print costs many times what the digits do.
    char text[4 * 21 + 3];
    char* end = writeNumber(text, seconds / 3600, 1);
    *end++ = ':';
    end = writeNumber(end, (seconds / 60) % 60, 2);
    *end++ = ':';
    end = writeNumber(end, seconds % 60, 2);
    *end++ = ':';
    end = writeNumber(end, frames, 2);
    return QString::fromLatin1(text, end - text);
}

QString DVTimecodeToStr(const TDVTimecode& tc)
{
    return QString::asprintf("%d:%.2d:%.2d:%.2d", tc.hours, tc.minutes, tc.seconds, tc.frames);
}
