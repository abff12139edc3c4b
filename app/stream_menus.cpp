#include "app/stream_menus.h"

#include "framework/actions/actions.h"
#include "framework/managers/shortcuts.h"

#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>

namespace {

// The mute entry and a separator come before the sound tracks.
constexpr int kFirstTrackPosition = 2;

} // namespace

TStreamMenus::TStreamMenus(QWidget& window, QMenuBar& bar, TTntCustomAction& mute, TCheckAction& srtSubTitle,
                           std::function<void(int)> selectStream)
    : FWindow(window), FMute(mute), FSrtSubTitle(srtSubTitle), FSelectStream(std::move(selectStream)),
      FAudioMenu(bar.addMenu(QStringLiteral("&Audio"))), FSubtitlesMenu(bar.addMenu(QStringLiteral("&Subtitles")))
{
}

bool TStreamMenus::IsSoundTrack(int index) const
{
    return std::any_of(FAudioNames.cbegin(), FAudioNames.cend(),
                       [index](const TStreamEntry& entry) { return entry.index == index; });
}

void TStreamMenus::Fill(TMediaDevice* media, const QString& subtitleFileName)
{
    FSubtitleFileName = subtitleFileName;
    FillAudioMenu(media);
    FillSubtitlesMenu(media);
}

void TStreamMenus::Hide()
{
    FAudioMenu->menuAction()->setVisible(false);
    FSubtitlesMenu->menuAction()->setVisible(false);
}

void TStreamMenus::FillAudioMenu(TMediaDevice* media)
{
    FAudioNames.clear();
    FAudioMenu->clear();
    FAudioMenu->addAction(WindowAction(&FWindow, &FMute));
    FAudioMenu->addSeparator();
    if (media)
        media->GetAudioStreams(FAudioNames);
    for (int i = 0; i < FAudioNames.size(); ++i) {
        QAction* item = FAudioMenu->addAction(FAudioNames.at(i).name);
        const int position = i + kFirstTrackPosition;
        QObject::connect(item, &QAction::triggered, item, [this, position] { clickMenuAudio(position); });
    }
    FAudioMenu->menuAction()->setVisible(!FAudioNames.isEmpty());
}

void TStreamMenus::FillSubtitlesMenu(TMediaDevice* media)
{
    FSubtitleNames.clear();
    FSubtitlesMenu->clear();
    if (media)
        media->GetSubtitleStreams(FSubtitleNames);
    for (int i = 0; i < FSubtitleNames.size(); ++i) {
        QAction* item = FSubtitlesMenu->addAction(FSubtitleNames.at(i).name);
        QObject::connect(item, &QAction::triggered, item, [this, i] { clickMenuSubTitle(i); });
    }
    if (QFileInfo::exists(FSubtitleFileName)) {
        if (!FSubtitlesMenu->actions().isEmpty())
            FSubtitlesMenu->addSeparator();
        FSubtitlesMenu->addAction(WindowAction(&FWindow, &FSrtSubTitle));
        FSrtSubTitle.SetChecked(true);
    } else if (FSrtSubTitle.Checked()) {
        // The subtitles of the previous file go with it.
        FSrtSubTitle.SetCheckedNoMacro(false);
    }
    FSubtitlesMenu->menuAction()->setVisible(!FSubtitlesMenu->actions().isEmpty());
}

void TStreamMenus::clickMenuAudio(int position)
{
    const int index = position - kFirstTrackPosition;
    if (index >= 0 && index < FAudioNames.size())
        FSelectStream(FAudioNames.at(index).index);
}

void TStreamMenus::clickMenuSubTitle(int position)
{
    if (position >= 0 && position < FSubtitleNames.size())
        FSelectStream(FSubtitleNames.at(position).index);
}
