#pragma once
// The "Audio" and "Subtitles" menus of the open video: an entry per sound
// track and per subtitle stream of the file, and the subtitle file beside it.
// A click on a stream's entry asks the window to switch to that stream.

#include "media/engine/media_devices.h"

#include <QString>

#include <functional>

class QMenu;
class QMenuBar;
class QWidget;
class TCheckAction;
class TTntCustomAction;

class TStreamMenus
{
public:
    // The window that lends its keys to the mute and subtitle-file entries,
    // and the window's switch to a stream, given the stream's index.
    TStreamMenus(QWidget& window, QMenuBar& bar, TTntCustomAction& mute, TCheckAction& srtSubTitle,
                 std::function<void(int)> selectStream);

    QMenu* AudioMenu() const { return FAudioMenu; }
    QMenu* SubtitlesMenu() const { return FSubtitlesMenu; }
    const TStreamList& AudioStreamNames() const { return FAudioNames; }
    const TStreamList& SubtitleStreamNames() const { return FSubtitleNames; }
    // The subtitle file beside the video open (or last opened).
    const QString& SubtitleFileName() const { return FSubtitleFileName; }
    // Whether a stream of that index is one of the sound tracks listed.
    bool IsSoundTrack(int index) const;

    // The menus of the file just opened (`media` null when it could not be
    // read) and of the subtitle file beside it: its entry, when the file
    // exists, checks the subtitle-file action.
    void Fill(TMediaDevice* media, const QString& subtitleFileName);
    // No video, no stream menus.
    void Hide();

private:
    void FillAudioMenu(TMediaDevice* media);
    void FillSubtitlesMenu(TMediaDevice* media);
    void clickMenuAudio(int position);
    void clickMenuSubTitle(int position);

    QWidget& FWindow;
    TTntCustomAction& FMute;
    TCheckAction& FSrtSubTitle;
    std::function<void(int)> FSelectStream;
    QMenu* FAudioMenu;
    QMenu* FSubtitlesMenu;
    TStreamList FAudioNames;
    TStreamList FSubtitleNames;
    QString FSubtitleFileName;
};
