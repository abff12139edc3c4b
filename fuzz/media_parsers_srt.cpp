// Any bytes as a subtitle file beside a video.
#include "media/parsers/srt.h"

#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TSrtSubtitles subtitles;
    subtitles.LoadFromData(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    // Every cue takes a line of its own, at least "0:0:0-->0:0:1".
    if (static_cast<std::size_t>(subtitles.Count()) * 13 > size)
        std::abort();
    REFERENCE_TIME previous = 0;
    for (int i = 0; i < subtitles.Count(); ++i) {
        const TSrtCue& cue = subtitles.Cue(i);
        if (cue.Stop <= cue.Start || cue.Start < previous || cue.Start < 0)
            std::abort();
        previous = cue.Start;
        // A cue keeps no more than a picture shows: 8 lines of 200
        // characters and an ellipsis.
        const QStringList lines = cue.Text.split(u'\n');
        if (lines.size() > 8 ||
            std::any_of(lines.begin(), lines.end(), [](const QString& l) { return l.size() > 201; }))
            std::abort();
        // Something shows at the start of a cue that has text.
        if (!cue.Text.isEmpty() && subtitles.TextAt(cue.Start).isEmpty())
            std::abort();
        if (subtitles.TextOf(subtitles.CuesAt(cue.Start)) != subtitles.TextAt(cue.Start))
            std::abort();
        subtitles.TextAt(cue.Stop);
        subtitles.TextAt(cue.Stop - 1);
    }
    return 0;
}
