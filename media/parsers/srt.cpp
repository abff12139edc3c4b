#include "media/parsers/srt.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringList>

#include <algorithm>
#include <optional>

namespace {

constexpr REFERENCE_TIME kUnitsPerSecond = 10'000'000;
// More digits of hours than this would be no time of any video.
constexpr int kMaxHourDigits = 6;
// Digits of a second's fraction beyond the 100-ns unit say nothing more.
constexpr int kFractionDigits = 7;
// A picture has no room for more cues at once; the latest started are shown.
constexpr qsizetype kMostShown = 8;
// Nor for longer lines or more of them in a cue: what a file holds beyond
// these is no subtitle, and would only cost memory and time to lay out.
constexpr qsizetype kMaxLineLength = 200;
constexpr qsizetype kMaxCueLines = 8;
const QChar kEllipsis(0x2026);

bool IsDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Reads 1 to `most` digits at `at`; nothing when there is none.
std::optional<REFERENCE_TIME> Digits(QStringView line, qsizetype& at, int most)
{
    REFERENCE_TIME value = 0;
    int count = 0;
    while (at < line.size() && IsDigit(line[at]) && count < most) {
        value = value * 10 + (line[at].unicode() - u'0');
        ++at;
        ++count;
    }
    if (count == 0)
        return std::nullopt;
    return value;
}

void SkipBlanks(QStringView line, qsizetype& at)
{
    while (at < line.size() && (line[at] == u' ' || line[at] == u'\t'))
        ++at;
}

// "h:mm:ss,fff" (or "." before the fraction, which may be missing) at `at`.
std::optional<REFERENCE_TIME> Time(QStringView line, qsizetype& at)
{
    const auto hours = Digits(line, at, kMaxHourDigits);
    if (!hours || at >= line.size() || line[at] != u':')
        return std::nullopt;
    ++at;
    const auto minutes = Digits(line, at, 2);
    if (!minutes || at >= line.size() || line[at] != u':')
        return std::nullopt;
    ++at;
    const auto seconds = Digits(line, at, 2);
    if (!seconds)
        return std::nullopt;
    REFERENCE_TIME time = ((*hours * 60 + *minutes) * 60 + *seconds) * kUnitsPerSecond;
    if (at < line.size() && (line[at] == u',' || line[at] == u'.')) {
        ++at;
        // A fraction: ",5" is half a second as ",500" is.
        REFERENCE_TIME scale = kUnitsPerSecond;
        int count = 0;
        while (at < line.size() && IsDigit(line[at])) {
            if (count < kFractionDigits) {
                scale /= 10;
                time += scale * (line[at].unicode() - u'0');
            }
            ++at;
            ++count;
        }
    }
    return time;
}

struct TTiming
{
    REFERENCE_TIME start;
    REFERENCE_TIME stop;
};

// A line "start --> stop", whatever follows the stop.
std::optional<TTiming> Timing(QStringView line)
{
    qsizetype at = 0;
    SkipBlanks(line, at);
    const auto start = Time(line, at);
    if (!start)
        return std::nullopt;
    SkipBlanks(line, at);
    if (!line.mid(at).startsWith(u"-->"))
        return std::nullopt;
    at += 3;
    SkipBlanks(line, at);
    const auto stop = Time(line, at);
    if (!stop)
        return std::nullopt;
    return TTiming{*start, *stop};
}

bool IsNumberLine(QStringView line)
{
    const QStringView trimmed = line.trimmed();
    return !trimmed.isEmpty() && std::all_of(trimmed.begin(), trimmed.end(), IsDigit);
}

// The next `c` at or after `from`, or -1; `known` keeps the last answer, so
// that a line of many openings and no closing is read once, not once for
// each opening.
qsizetype NextOf(QStringView line, QChar c, qsizetype from, qsizetype& known)
{
    if (known == -1 || (known != -2 && known >= from))
        return known;
    known = line.indexOf(c, from);
    return known;
}

// The line without its formatting tags and its trailing blanks; a longer
// text than a line may hold ends in an ellipsis.
QString PlainLine(QStringView line)
{
    QString plain;
    plain.reserve(std::min(line.size(), kMaxLineLength + 1));
    qsizetype angle = -2; // not looked for yet
    qsizetype brace = -2;
    qsizetype at = 0;
    while (at < line.size() && plain.size() <= kMaxLineLength) {
        const QChar c = line[at];
        if (c == u'<') {
            // "<i>", "</i>", "<font color=...>": a letter after "<" or "</".
            qsizetype name = at + 1;
            if (name < line.size() && line[name] == u'/')
                ++name;
            if (name < line.size() && line[name].isLetter()) {
                if (const qsizetype close = NextOf(line, u'>', name, angle); close > 0) {
                    at = close + 1;
                    continue;
                }
            }
        } else if (c == u'{' && at + 1 < line.size() && line[at + 1] == u'\\') {
            if (const qsizetype close = NextOf(line, u'}', at + 2, brace); close > 0) {
                at = close + 1;
                continue;
            }
        }
        plain.append(c);
        ++at;
    }
    const bool cut = plain.size() > kMaxLineLength;
    if (cut)
        plain.truncate(kMaxLineLength);
    while (!plain.isEmpty() && plain.back().isSpace())
        plain.chop(1);
    if (cut)
        plain.append(kEllipsis);
    return plain;
}

} // namespace

QString DecodeSubtitleText(const QByteArray& data)
{
    const auto decode = [&data](QStringConverter::Encoding encoding, qsizetype skip) {
        QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
        return QString(decoder.decode(QByteArrayView(data.constData() + skip, data.size() - skip)));
    };
    if (data.startsWith("\xEF\xBB\xBF"))
        return decode(QStringConverter::Utf8, 3);
    if (data.startsWith("\xFF\xFE"))
        return decode(QStringConverter::Utf16LE, 2);
    if (data.startsWith("\xFE\xFF"))
        return decode(QStringConverter::Utf16BE, 2);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(data);
    if (utf8.hasError())
        return QString::fromLatin1(data);
    return text;
}

bool TSrtSubtitles::LoadFromFile(const QString& path)
{
    Clear();
    // A pipe or a device has no end to wait for.
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize)
        return false;
    const QByteArray data = file.read(kMaxFileSize + 1);
    if (data.size() > kMaxFileSize)
        return false;
    LoadFromData(data);
    return true;
}

void TSrtSubtitles::Clear()
{
    FCues.clear();
    FLatestStop.clear();
}

void TSrtSubtitles::LoadFromData(const QByteArray& data)
{
    Clear();
    QString text = DecodeSubtitleText(data);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
    const QStringList lines = text.split(u'\n');
    const qsizetype count = lines.size();
    const auto startsCue = [&](qsizetype i) {
        return Timing(lines[i]) || (IsNumberLine(lines[i]) && i + 1 < count && Timing(lines[i + 1]));
    };

    qsizetype i = 0;
    while (i < count) {
        const auto timing = Timing(lines[i]);
        ++i;
        if (!timing)
            continue;
        QStringList cueLines;
        while (i < count && !lines[i].trimmed().isEmpty() && !startsCue(i)) {
            if (cueLines.size() < kMaxCueLines)
                cueLines.append(PlainLine(lines[i]));
            ++i;
        }
        if (timing->stop <= timing->start)
            continue;
        FCues.push_back(TSrtCue{timing->start, timing->stop, cueLines.join(u'\n')});
    }

    std::stable_sort(FCues.begin(), FCues.end(), [](const TSrtCue& a, const TSrtCue& b) { return a.Start < b.Start; });
    FLatestStop.reserve(FCues.size());
    REFERENCE_TIME latest = 0;
    for (const TSrtCue& cue : FCues) {
        latest = std::max(latest, cue.Stop);
        FLatestStop.push_back(latest);
    }
}

std::vector<int> TSrtSubtitles::CuesAt(REFERENCE_TIME position) const
{
    // The cues that start at or before the position, then back from the last
    // of them while one of the earlier ones may still be showing.
    const auto after = std::upper_bound(FCues.begin(), FCues.end(), position,
                                        [](REFERENCE_TIME at, const TSrtCue& cue) { return at < cue.Start; });
    std::vector<int> shown;
    for (auto i = static_cast<int>(after - FCues.begin()) - 1;
         i >= 0 && qsizetype(shown.size()) < kMostShown && FLatestStop[static_cast<std::size_t>(i)] > position; --i) {
        const TSrtCue& cue = FCues[static_cast<std::size_t>(i)];
        if (cue.Stop > position && !cue.Text.isEmpty())
            shown.push_back(i);
    }
    std::reverse(shown.begin(), shown.end());
    return shown;
}

QString TSrtSubtitles::TextOf(const std::vector<int>& cues) const
{
    QStringList texts;
    for (const int i : cues)
        texts.append(Cue(i).Text);
    return texts.join(u'\n');
}

QString TSrtSubtitles::TextAt(REFERENCE_TIME position) const
{
    return TextOf(CuesAt(position));
}
