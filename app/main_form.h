#pragma once
// The program's main window. It owns every manager (navigation and graph,
// video, audio, file, application, preferences), its own actions, the menus,
// the button bar and the panels; it opens and closes videos, lays its panels
// out and runs the start-up and shut-down order.
//
// Grabbing pictures (TPictureGrabber), the inlay settings with the DV date
// panel (TInlayControl), interval capture (TIntervalCapture), the side panels
// with the options page (TSidePanels) and the stream menus (TStreamMenus) are
// objects of their own that the window owns; main_grab.cpp, main_inlay.cpp,
// main_interval.cpp and main_side_panels.cpp make them and keep the window's
// operations of each under their old names.
//
// Where the window listens to an action of a manager, it subscribes to the
// action's Applied signal: the action's single handler properties stay free
// for scripts and callers.

#include "app/av_managers.h"
#include "app/grab_ui.h"
#include "app/inlay_control.h"
#include "app/interval_capture.h"
#include "app/main_actions.h"
#include "app/panels.h"
#include "app/picture_grabber.h"
#include "app/picture_naming.h"
#include "app/script_names.h"
#include "app/side_panels.h"
#include "app/stream_menus.h"
#include "framework/managers/appli_man.h"
#include "framework/managers/file_manager.h"
#include "framework/preferences/morvek_preferences.h"
#include "media/engine/media_factory.h"
#include "media/engine/nav_man.h"
#include "media/parsers/scenes.h"

#include <QBasicTimer>
#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

class QLabel;
class QMenu;
class QSlider;
class RegistryStore;
class TAboutFrame;
class TDossiersFrame;
class TDVIncrustFrame;
class TGaugeVolume;
class TImagetteFrame;
class TIncrustFrame;
class TKvBar;
class TKvButton;
class TKvSeparator;
class TLinkEdit;
class TOptionsFrame;
class Tintervalloframe;

// The 19 extensions a video may have, without their dot.
const QStringList& VideoExtensions();

// What the program entry (or a test) gives the window.
struct TMainFormOptions
{
    // The registry of the preferences; the program's own when null.
    RegistryStore* Registry = nullptr;
    // The folder of the ini file; the program's own when empty.
    QString ProgramFolder;
    // The script host and script window, when there are any.
    TScriptParts Scripts;
};

class TMainForm : public QMainWindow
{
    Q_OBJECT
public:
    explicit TMainForm(const TMainFormOptions& options = {});
    ~TMainForm() override;

    // --- components --------------------------------------------------------
    // The managers (NavMan, vidman, audman, ficman, mf, am) are declared at
    // the end of the class. Owned by the window as their Qt parent:
    TKvActionList* gpal = nullptr;
    TMainActions A;
    TMorvekPreferences* gp = nullptr;

    QWidget* Client;
    TNavBar* NavBar;
    TKvBar* barUnique;
    // The bar's buttons of the four side panels: the one of the panel shown
    // stays down.
    TKvButton* ShowImagetteBtn;
    TKvButton* ShowSaveImagesBtn;
    TKvButton* ShowDVIncrustBtn;
    TKvButton* ShowIncrustBtn;
    TKvSeparator* sep1;
    TKvSeparator* sep2;
    TKvSeparator* sep3;
    TKvSeparator* sep4;
    QWidget* videoPanel;
    QFrame* PanelTitre;
    QFrame* panelImage;
    QFrame* PanelHaut;
    QLabel* labFormatVideo;
    QLabel* labDecoderVideo;
    QLabel* labFormatAudio;
    QLabel* labDecoderAudio;
    QFrame* Bevel1;
    QFrame* Bevel2;
    TImagetteFrame* ImagetteFrame;
    TDossiersFrame* SaveImagesFrame;
    TIncrustFrame* IncrustFrame;
    TDVIncrustFrame* DVIncrustFrame;
    TOptionsFrame* OptionsFrame;
    TAboutFrame* AboutFrame;
    Tintervalloframe* intervalloframe;
    QSlider* Xslider;
    QSlider* Yslider;
    TLinkEdit* leExternalPreview;
    QLabel* EnCoursLab;
    QLabel* ImageLab;
    QLabel* scnLab;
    QLabel* srtlab;
    QLabel* moddlab;
    TGaugeVolume* GaugeVolume;
    QMenu* PopupMenu;
    TStreamMenus& StreamMenus() const { return *FStreamMenus; }

    // The window's message window: the end of interval capture, the end of
    // playback and the end of a move or resize of the preview window.
    HWND Handle() const { return FHandle; }

    // --- the window's life -------------------------------------------------
    void openfile(const QString& filename);
    void closefile();
    void ArrangePanels();
    void EnableVideoControls();
    void DisableVideoControls();
    void EnableAudioControls();
    void DisableAudioControls();
    void SelectStream(int index);

    // --- grabbing (main_grab.cpp): the grabber's, as picture_grabber.h says
    void ComputeImageSize(int aspectWidth, int aspectHeight);
    void BuildImageFileName();
    void ArrangeImagetteFrame();
    bool GrabFrame();
    void SaveGrabbedImage();
    bool WriteImageFile();
    void naGrabApply();
    void naCopyApply();
    // The questions and messages of grabbing; tests answer them.
    void SetGrabUi(std::unique_ptr<TGrabUi> ui);
    const QString& PictureName() const;
    const QImage& RawFrame() const;
    // Whether a grabbed picture waits to be saved.
    bool PictureUnsaved() const;
    TPictureGrabber& Grabber() const { return *FGrabber; }
    // Set to stop an interval capture: by Cancel in the overwrite question
    // and by a picture that could not be written.
    bool AbortRequested() const { return FAbort; }

    // --- interval capture (main_interval.cpp): the capture's, as
    // interval_capture.h says
    void ComputeIntervalloCount();
    void WMIntervalloDone();
    void IntervalloStop();
    void EndIntervalCapture();
    bool IntervalRunning() const;
    std::int64_t IntervalStep() const;
    std::int64_t IntervalStart() const;
    std::int64_t IntervalCount() const;
    TIntervalCapture& IntervalCapture() const { return *FIntervalCapture; }

    // --- inlay settings (main_inlay.cpp): the inlay's, as inlay_control.h says
    void applyeffects();
    bool PlaceInlayAt(const QPoint& at);
    // The colour question; tests answer it.
    void SetInlayUi(std::unique_ptr<TInlayUi> ui);
    bool UsesFileName() const;
    bool UsesNumber() const;
    TInlayControl& Inlay() const { return *FInlay; }

    // --- side panels and options (main_side_panels.cpp): the side panels',
    // as side_panels.h says
    void RegisterPrivateFilters();
    void UnregisterPrivateFilters();
    void LoadSrtSubtitle(const QString& filename);
    void BuildExternalPreviewMessage();
    void CenterExternalPreview();
    TSidePanels& SidePanels() const { return *FSidePanels; }

    // --- state ---------------------------------------------------------------
    const QString& VideoFileName() const { return FVideoFileName; }
    bool HasVideo() const { return FHasVideo; }
    bool HasAudio() const { return FHasAudio; }
    bool HasSubtitles() const { return FHasSubtitles; }
    bool VideoOnTheLeft() const { return FVideoOnTheLeft; }
    int PanelOffset() const { return FPanelOffset; }
    const TScenesList& Scenes() const { return FScenes; }
    TMediaDevice* Media() const { return FMedia; }
    QRect PictureRect() const { return FPictureRect; }
    TSavePreferences PrefsMode() const { return FPrefsMode; }
    bool Opening() const { return FOpening; }

signals:
    // The close is certain (the preferences are saved right after): the
    // program ends with its main window, whatever other windows are open.
    void Closed();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Layout and creation.
    void CreateComponents(const TMainFormOptions& options);
    void CreatePanels();
    void CreateManagers(const TMainFormOptions& options);
    void CreateMenus();
    void CreateButtonBar();
    void TntFormCreate();
    // The lists whose actions are script procedures, in the order they link.
    QList<TCustomKvActionList*> ScriptLists() const;
    void FormShow();
    void FormClose();
    void FormDestroy();
    void TntFormResize();
    void gpLoadPrefs(TMorvekPreferences& prefs);
    void gpSavePrefs(TMorvekPreferences& prefs);
    void gpChangeMode(TSavePreferences mode);

    // Files.
    // The one teardown of the open video: the graph stops, the subtitles,
    // the sound and the picture leave it, and the current devices become the
    // empty ones.
    void ReleaseStreams(bool showNoVideoNotice);
    bool ficmanTestExtension(const QString& lowerext, const QString& filename);
    bool ficmanOpenFile(const QString& filename);
    void ShowTitle(const QString& text, const QColor& colour);

    // Messages and events.
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam);
    void NavManGraphCompleted();
    void PanelHautResize();
    void RefreshRendererRects();

    // Grabbing.
    void SetNumeroString(int number, int digits);

    // Where the parts of the other concerns wire their actions.
    void AssignGrabEvents();
    void WatchGrabClicks();
    void AssignIntervalEvents();
    void AssignInlayEvents();
    void AssignSidePanelEvents();

    HWND FHandle = 0;
    std::unique_ptr<TUniqueScriptNames> FScriptNames;
    std::unique_ptr<TFilterRec> FFfdshowAudio;
    std::unique_ptr<TFilterRec> FFfdshowVideo;
    TSavePreferences FPrefsMode = spNone;
    QBasicTimer FSizeMoveTimer;
    bool FClosed = false;
    bool FDestroyed = false;
    std::unique_ptr<TStreamMenus> FStreamMenus;
    bool FResizeBound = false;
    bool FOpening = false;
    bool FScreenSaverWasOn = false;

    TScenesList FScenes;
    bool FVideoOnTheLeft = false;
    int FPanelOffset = kSidePanelWidth;
    QString FNumberText;
    QString FVideoFileName;
    QRect FPictureRect;
    QRect FNativeRect;
    TVideoSource* FCurrentVideo = nullptr;
    TAudioSource* FCurrentAudio = nullptr;
    bool FHasAudio = false;
    bool FHasVideo = false;
    bool FHasSubtitles = false;
    TMediaDevice* FMedia = nullptr;

    // Set by grabbing and by the capture's stops to stop an interval capture.
    bool FAbort = false;
    // Grabbing and saving pictures.
    std::unique_ptr<TPictureGrabber> FGrabber;
    // The inlay settings and the DV date panel.
    std::unique_ptr<TInlayControl> FInlay;
    // Interval capture.
    std::unique_ptr<TIntervalCapture> FIntervalCapture;
    // The side panels and the options page.
    std::unique_ptr<TSidePanels> FSidePanels;

public:
    // The managers, declared last so that they go first, while the window's
    // own state is still whole, and in the reverse order of their
    // declaration, once the window has stopped the graph and taken the open
    // video's streams out of it: the application manager first, the
    // navigation manager, which holds the graph, last, its graph emptied
    // just before it goes. Their Qt parent is the window, which they leave
    // as they go.
    struct TGraphDeleter
    {
        void operator()(TNavMan* navigation) const;
    };
    std::unique_ptr<TNavMan, TGraphDeleter> NavMan;
    std::unique_ptr<TVideoMan> vidman;
    std::unique_ptr<TAudioMan> audman;
    std::unique_ptr<TFichierMan> ficman;
    std::unique_ptr<TMediaFactory> mf;
    std::unique_ptr<TKvAppliMan> am;
};
