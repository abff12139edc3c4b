#pragma once
// The inlay settings and the DV date panel: the patterns and the sources
// they switch on (DV codes, time codes, the real date, the file name, the
// picture number), the presets, the font, the look and the place of the
// inlay with its sliders, the keys lent to the text fields, the recording
// date of the frame shown and the time difference, with the wiring of their
// actions and controls.
//
// What the inlay shares with the window and grabbing (the video's file name,
// the number text, whether a video or sound is open, the video shown and the
// picture's place on the video panel) stays with the window, which lends it
// through TInlayShared.

#include "app/inlay_ui.h"
#include "platform/rtl/font.h"

#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>

class QPoint;
class QSlider;
class QWidget;
class TAudioMan;
class TDVIncrustFrame;
class TIncrustFrame;
class TNavMan;
class TThreadedTimer;
class TVideoMan;
class TVideoSource;
struct TMainActions;

// The window's state that the inlay reads, and the layout it asks for.
struct TInlayShared
{
    const QString& VideoFileName;
    const QString& NumberText;
    const bool& HasVideo;
    const bool& HasAudio;
    // The video shown; the empty source or null without one.
    TVideoSource* const& CurrentVideo;
    // The picture on the video panel, and the video's own size.
    const QRect& PictureRect;
    const QRect& NativeRect;
    // Brings PictureRect and NativeRect up to date.
    std::function<void()> RefreshRects;
    // Lays the window's panels out again.
    std::function<void()> ArrangePanels;
};

// The panels and widgets the inlay fills or watches.
struct TInlayPanels
{
    TIncrustFrame& Inlay;
    TDVIncrustFrame& DV;
    // The picture name field of the names panel, where the user types too.
    QWidget& PictureRoot;
    QSlider& Xslider;
    QSlider& Yslider;
    QWidget& Video;
    // Hidden while the sliders show.
    QWidget& NavBar;
    QWidget& IntervalPanel;
};

class TInlayControl : public QObject
{
public:
    // `window` is the parent of the colour dialog.
    TInlayControl(QWidget& window, TMainActions& actions, TNavMan& navigation, TVideoMan& video, TAudioMan& audio,
                  TInlayPanels panels, TInlayShared shared);
    ~TInlayControl() override;

    // Switches the data sources the patterns need on, and the others off.
    void AnalyseIncrustPatterns();
    // Draws the paused frame again once the changes in a row are done.
    void applyeffects();
    void SendFileNameToInsert();
    void SendNumeroToInsert();
    // The file name or the number text changed: sent when a line shows it.
    void FileNameChanged();
    void NumberChanged();
    void TimerSysDateTimer();
    // The real date stops until the patterns are analysed again (a file
    // opens or closes, the window closes).
    void StopSysDateTimer();
    const TThreadedTimer& SysDateTimer() const { return *FTimerSysDate; }

    // Shows the recording date of the frame shown in the DV panel; whether
    // the frame carries one.
    bool UpdateDVDate();
    // The sliders frame the picture.
    void PlaceSliders();
    // With the sliders shown, a click at `at` on the video panel places the
    // inlay there; whether it did.
    bool PlaceInlayAt(const QPoint& at);

    // Typing in a text field takes the volume and play keys; leaving it
    // gives them back.
    void editEnter();
    void editExit();

    // The colour question; tests answer it.
    void SetInlayUi(std::unique_ptr<TInlayUi> ui);
    bool UsesFileName() const { return FUsesFileName; }
    bool UsesNumber() const { return FUsesNumber; }

private:
    void AssignEvents();
    void AssignPatternEvents();
    void AssignLineEvents();
    void AssignFontEvents();
    void AssignLookEvents();
    void AssignPositionEvents();
    void AssignTypingEvents();
    void AssignDVPanelEvents();
    void RunInsertPreset(int mode);
    void ChangeInlayFont(const std::function<void(TFont&)>& change);
    void ShowSliders(bool on);
    void ApplyTimeDifference(double days);
    bool VideoShown() const;

    TMainActions& A;
    TNavMan& FNavMan;
    TVideoMan& FVideo;
    TAudioMan& FAudio;
    TInlayPanels FPanels;
    TInlayShared FShared;

    std::unique_ptr<TInlayUi> FInlayUi;
    // Sends the real date while a line shows it; a child of this object.
    TThreadedTimer* FTimerSysDate = nullptr;
    bool FSlidersShown = false;
    bool FEffectsPending = false;
    // The keys that typing in a text field takes from the volume and play
    // actions, given back when the field is left.
    struct TTypingKeys
    {
        bool Held = false;
        QKeySequence IncVolume;
        QList<QKeySequence> IncVolumeMore;
        QKeySequence DecVolume;
        QKeySequence Play;
    } FTypingKeys;
    QString FPattern1;
    QString FPattern2;
    bool FUsesFileName = false;
    bool FUsesNumber = false;
};
