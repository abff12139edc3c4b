#pragma once
// Subtitles in the SubRip text form that other programs write beside a video
// (same name, extension ".srt"): cues, each a line "h:mm:ss,mmm -->
// h:mm:ss,mmm" and lines of text up to a blank line, usually behind a line
// with the cue's number.
//
// The reader takes such files as they are found: UTF-8 or UTF-16 with a byte
// order mark, UTF-8 without, else Latin-1; any line ends; "." for ","; fewer
// or more digits of a second's fraction; a missing blank line before the next
// numbered cue; positions after the times. Formatting tags ("<i>", "</b>",
// "<font ...>", "{\an8}") are taken out of the text. A cue that ends before
// it starts is left out. Nothing in a file makes the reader fail: what it
// cannot read is skipped. A cue keeps what a picture can show: its first 8
// lines, each cut after 200 characters with an ellipsis.

#include "platform/core/types.h"

#include <QByteArray>
#include <QString>

#include <vector>

struct TSrtCue
{
    // 100-ns units from the start of the video.
    REFERENCE_TIME Start = 0;
    REFERENCE_TIME Stop = 0;
    // Its lines, joined by "\n".
    QString Text;
};

class TSrtSubtitles
{
public:
    // Larger files are no subtitles.
    static constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

    // Reads the file; False (and no cues) when it cannot be read, is too
    // large or is no regular file.
    bool LoadFromFile(const QString& path);
    void LoadFromData(const QByteArray& data);
    void Clear();

    // The cues in the order of their start.
    int Count() const { return static_cast<int>(FCues.size()); }
    const TSrtCue& Cue(int index) const { return FCues.at(static_cast<std::size_t>(index)); }

    // The text shown at `position`: that of every cue from its start up to
    // (not including) its stop, in the order of their start, one under the
    // other; empty between cues. At most the 8 latest started are shown.
    QString TextAt(REFERENCE_TIME position) const;
    // The same in two steps: the indexes of the cues shown, which tell
    // whether the text changed without making it, then their text.
    std::vector<int> CuesAt(REFERENCE_TIME position) const;
    QString TextOf(const std::vector<int>& cues) const;

private:
    std::vector<TSrtCue> FCues;
    // The latest stop among the cues up to each one, so that a search for
    // the cues holding a position knows where to stop looking back.
    std::vector<REFERENCE_TIME> FLatestStop;
};

// The text of a file whose encoding is told by its byte order mark, else
// UTF-8 when it reads as such, else Latin-1.
QString DecodeSubtitleText(const QByteArray& data);
