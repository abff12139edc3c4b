#pragma once
// The side panels and the options page: which of the four side panels shows
// and on which side, the options page (storage mode, private filters and
// their folder, precise seeking, the synchronisation limit, the scripts'
// folder), the forced aspect ratio, full screen and flips, the preview
// window's message in the video area and subtitles from a file beside the
// video.
//
// The layout itself stays with the window: choosing the side asks the window
// to place the video there.

#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

class QObject;
class QWidget;
class TAudioMan;
class TDossiersFrame;
class TDVIncrustFrame;
class TFichierMan;
class TImagetteFrame;
class TIncrustFrame;
class TKvAppliMan;
class TKvButton;
class TLinkEdit;
class TMediaDevice;
class TMediaFactory;
class TMorvekPreferences;
class TNavMan;
class TOptionsFrame;
class TStreamMenus;
class TVideoMan;
struct TMainActions;

// The panels and controls they work on.
struct TSidePanelWidgets
{
    TImagetteFrame& Thumbnail;
    TDossiersFrame& Names;
    TDVIncrustFrame& DVDate;
    TIncrustFrame& Inlay;
    TOptionsFrame& Options;
    // The bar's buttons of the four panels, in the panels' order: the one of
    // the panel shown stays down.
    std::array<TKvButton*, 4> Buttons;
    QWidget& VideoPanel;
    // The message in the video area while the video plays in the preview
    // window.
    TLinkEdit& PreviewMessage;
};

// The managers they set and follow.
struct TSidePanelManagers
{
    TNavMan& Navigation;
    TVideoMan& Video;
    TAudioMan& Audio;
    TMediaFactory& Factory;
    TKvAppliMan& Application;
    TFichierMan& Files;
    TMorvekPreferences& Preferences;
};

// The window's state that they read, and what they ask of the window.
struct TSidePanelsShared
{
    const QString& VideoFileName;
    const bool& HasVideo;
    const bool& HasAudio;
    TMediaDevice* const& Media;
    // Set once the window's close is certain.
    const bool& Closed;
    // Where the subtitle file of the open video is.
    const TStreamMenus& StreamMenus;
    // Puts the video column on the left (the panels on the right) or not.
    std::function<void(bool left)> PlaceVideo;
    // Draws the paused frame again.
    std::function<void()> ApplyEffects;
    std::function<void(const QString& filename)> OpenFile;
    std::function<void()> CloseFile;
};

class TSidePanels
{
public:
    // `window` is the context of the controls' connections.
    TSidePanels(QObject& window, TMainActions& actions, TSidePanelManagers managers, TSidePanelWidgets widgets,
                TSidePanelsShared shared);

    // Shows side panel `index` (0 thumbnail, 1 picture names, 2 DV date,
    // 3 inlay) with its button down, and hides the others; any other index
    // hides them all.
    void ShowSidePanel(int index);
    // The panel whose button is down; -1 for none.
    int ActiveSidePanel() const;

    void RegisterPrivateFilters();
    void UnregisterPrivateFilters();
    // Gives the video manager the subtitle file (none with an empty name)
    // and draws the paused frame again with it.
    void LoadSrtSubtitle(const QString& filename);
    // The message in the video area while the video plays in the preview
    // window, for the file open now or for none.
    void BuildExternalPreviewMessage();
    // Places that message in the middle of the video area.
    void CenterExternalPreview();

private:
    void AssignEvents();
    void AssignOptionsPageEvents();
    void AssignManagerOptionEvents();
    void AssignVideoAreaEvents();
    void AssignPreviewEvents();
    void ApplyPrivateFolder(const QString& folder);
    // Shows what the private filter folder lacks, on the options page only.
    void ReportPrivateFilters();
    void ApplyUsePrivateFilters(bool on);
    void ClearVideoPanel();

    QObject& FWindow;
    TMainActions& A;
    TSidePanelManagers FManagers;
    TSidePanelWidgets FWidgets;
    TSidePanelsShared FShared;

    QStringList FPrivateFilterMessages;
    QSet<QString> FReportedPrivateFilterMessages;
};
