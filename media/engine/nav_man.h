#pragma once
// The navigation manager moves through the open video: play and pause, steps
// of frames, seconds and minutes (ten times as far with Shift), start and end,
// scene steps, a typed h:mm:ss:ff position, the position slider, and exact
// positioning on a frame (with a pre-roll where the source needs one). It is
// also the graph and DV manager of the program: one object drives the one
// graph.
//
// A step of one frame forward on a paused graph decodes only the next
// picture when the decoder stands on the frame shown; every other move is a
// seek.
//
// Positions are counts of 100 ns. The frames notifier behind the decoder
// tells the position of the frame shown; without one the graph is asked.
//
// GUI thread only. Re-entry through the message pumping of waits is stopped
// by the step, seek and resync guards: a step while a step runs, or a seek
// while a seek runs, is dropped.

#include "framework/actions/actions.h"
#include "framework/widgets/image_modules.h"
#include "framework/widgets/kv_buttons.h"
#include "media/engine/dv_man.h"
#include "media/filters/frames_notifier.h"
#include "media/parsers/scenes.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSlider>
#include <QWidget>

#include <functional>
#include <limits>
#include <optional>
#include <utility>

// The navigation bar under the video: the position slider, nine buttons,
// the position edit and the duration. The navigation manager gives the
// buttons their actions and takes the edit and the slider.
class TNavBar : public QWidget
{
    Q_OBJECT
public:
    explicit TNavBar(QWidget* parent = nullptr);

    QSlider* tb;
    TKvImgSpeedButton* ReculeTrackBtn;
    TKvImgSpeedButton* ReculeHighBtn;
    TKvImgSpeedButton* ReculeMediumBtn;
    TKvImgSpeedButton* ReculeLowBtn;
    TKvImgSpeedButton* PlayBtn;
    TKvImgSpeedButton* AvanceLowBtn;
    TKvImgSpeedButton* AvanceMediumBtn;
    TKvImgSpeedButton* AvanceHighBtn;
    TKvImgSpeedButton* AvanceTrackBtn;
    QLineEdit* CurrentEdit;
    QLabel* DureeLab;
};

class TNavMan : public TDVMan
{
    Q_OBJECT
public:
    using TAbsolutePositionEvent = std::function<void(std::int64_t rt)>;
    using TKPositionEvent = std::function<void(int pos)>;
    using TDisplayTimeEvent = std::function<void(const QString& atimeStr)>;
    using TDurationEvent = std::function<void(const QString& aDurationStr)>;
    using TDisplayEvent = std::function<void()>;
    using TTimeEvent = std::function<void(std::int64_t rt)>;
    using TVitesseEvent = std::function<void(bool isVitesseMaxi)>;

    // The slider counts in units of this many 100 ns.
    static constexpr std::int64_t kSliderUnit = 1024;
    // OnKPosition's range over the whole video.
    static constexpr std::int64_t kKPositionRange = 1024;
    static constexpr REFERENCE_TIME kDefaultPreroll = 10'000'000;

    explicit TNavMan(QObject* owner = nullptr);
    ~TNavMan() override;

    bool Play() override;
    bool Pause() override;
    // Keeps the frames notifier quiet while the graph stops.
    bool Stop() override;

    // The position of the frame shown; 0 when it cannot be read.
    REFERENCE_TIME GetPosition();
    // A seek clamped to the video; with `wait`, returns when the picture
    // at the target is shown (paused) or the renderer gave up waiting.
    void SeekTo(bool wait, REFERENCE_TIME target);
    // A seek that shows exactly the frame at `target`: the frames notifier
    // holds back every frame before the target, and a source that does not
    // land exactly on the frame asked for is sought a pre-roll earlier.
    void PreciseSeekTo(REFERENCE_TIME target);
    void ReculeDebut();
    void AvanceFin();
    void StepForward(REFERENCE_TIME delta);
    void StepBack(REFERENCE_TIME delta);
    void PrevScene();
    void NextScene();

    // "h:mm:ss:ff" in frames of the current frame duration.
    void SetStrPosition(const QString& text);
    QString GetStrPosition();

    // Draws the paused frame again, exactly.
    void ResyncPreciseSeek();
    void RefreshCurrentFrame();

    // A new video: its duration, the start, and a frame duration of 1 until
    // its real one is reported.
    void InitDuration();
    void SetFrameDuration(REFERENCE_TIME duration);
    REFERENCE_TIME FrameDuration() const { return FFrameDuration; }
    REFERENCE_TIME Duration() const { return FDuration; }
    REFERENCE_TIME StartPosition() const { return FStartPosition; }
    REFERENCE_TIME EndPosition() const { return FEndPosition; }
    REFERENCE_TIME Preroll() const { return FPreroll; }

    // The video source whose notifier reports the frame duration here.
    void SetFrameSource(TVideoSource* source);
    TVideoSource* FrameSource() const { return FFrameSource; }
    // Set by whoever connects the video; held while it is set.
    void SetFramesNotifier(TFramesNotifier* notifier);
    TFramesNotifier* FramesNotifier() const { return FFramesNotifier.get(); }

    // A scene list for the scene steps; without one they go to the start
    // and to the end.
    void SetScenes(const TScenesList* scenes) { FScenes = scenes; }

    QLineEdit* PositionEdit() const { return FPositionEdit; }
    void SetPositionEdit(QLineEdit* edit);
    QSlider* Slider() const { return FSlider; }
    void SetSlider(QSlider* slider);
    // Wires the bar's buttons, edit and slider; not owned.
    TNavBar* NavBar() const { return FNavBar; }
    void SetNavBar(TNavBar* bar);

    // Whether Shift is down when a step action is applied.
    std::function<bool()> ShiftDown;

    TAbsolutePositionEvent onAbsolutePosition;
    TKPositionEvent OnKPosition;
    TDisplayTimeEvent OnDisplayTime;
    TDurationEvent OnDuration;
    TDisplayEvent OnDisplaySeek;
    TDisplayEvent OnDisplayNormal;
    TTimeEvent OnTime;
    TVitesseEvent OnVitesse;

    TCheckAction* caPlay = nullptr;
    TNopeAction* naReculeDebut = nullptr;
    TNopeAction* naReculeTrack = nullptr;
    TNopeAction* naRecule10Minutes = nullptr;
    TNopeAction* naReculeMinute = nullptr;
    TNopeAction* naReculeHigh = nullptr;
    TNopeAction* naRecule10Secondes = nullptr;
    TNopeAction* naReculeSeconde = nullptr;
    TNopeAction* naReculeMedium = nullptr;
    TNopeAction* naRecule10Frames = nullptr;
    TNopeAction* naReculeFrame = nullptr;
    TNopeAction* naReculeLow = nullptr;
    TNopeAction* naAvanceFin = nullptr;
    TNopeAction* naAvanceTrack = nullptr;
    TNopeAction* naAvance10Minutes = nullptr;
    TNopeAction* naAvanceMinute = nullptr;
    TNopeAction* naAvanceHigh = nullptr;
    TNopeAction* naAvance10Secondes = nullptr;
    TNopeAction* naAvanceSeconde = nullptr;
    TNopeAction* naAvanceMedium = nullptr;
    TNopeAction* naAvance10Frames = nullptr;
    TNopeAction* naAvanceFrame = nullptr;
    TNopeAction* naAvanceLow = nullptr;
    TCheckAction* caVitesseCompatible = nullptr;
    TCheckAction* caSeekPrecision = nullptr;
    TIntegerAction* iaSeekPrepos = nullptr;
    TWidestringAction* waStrPosition = nullptr;

signals:
    // The frame duration became known, and with it the duration's text (for
    // those beside the one OnDuration serves).
    void DurationChanged(const QString& text);

protected:
    void WndProc(TMessage& message) override;
    void ListActions(const TActionBinder& bind) override;
    void SetDefaults() override;
    void AssignEvents() override;
    void ForgetChunk(TGraphChunk* chunk) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Shift() const;
    // A precise seek when precise navigation is on, else a plain one.
    void GoTo(REFERENCE_TIME target);
    void SetMediaPosition(REFERENCE_TIME target);
    // On a paused graph whose decoder stands on the frame before `target`,
    // the renderer steps to the next picture, the only one decoded. False,
    // with nothing changed, whenever that frame is not surely the target.
    bool StepToNextFrame(REFERENCE_TIME target);
    // The graph's source lands exactly on the frame a seek asks for.
    bool SeeksExactly() const;
    void ShowSeeking(bool seeking);
    // The slider's range, without seeking.
    void SetSliderRange(REFERENCE_TIME first, REFERENCE_TIME last);
    void SetVitesseCompatible(bool maxi);
    void ApplyTypedPosition();
    void WireNavBar();

    TImageModuleRef<TdmKvPackImages> FImages;
    QPointer<QLineEdit> FPositionEdit;
    QPointer<QSlider> FSlider;
    QPointer<TNavBar> FNavBar;
    QString FLastPositionText;
    // The frame duration and position FLastPositionText was made from.
    std::optional<std::pair<REFERENCE_TIME, REFERENCE_TIME>> FLastPositionTold;
    bool FEditUpdate = false;
    bool FEditAttached = false;
    bool FSliderUpdate = false;
    TVideoSource* FFrameSource = nullptr;
    REFERENCE_TIME FPreroll = kDefaultPreroll;
    REFERENCE_TIME FStartPosition = 0;
    REFERENCE_TIME FEndPosition = std::numeric_limits<REFERENCE_TIME>::max();
    int FSavedState = kGraphStateUnreadable;
    REFERENCE_TIME FDuration = 0;
    const TScenesList* FScenes = nullptr;
    bool FStepGuard = false;
    bool FSeekGuard = false;
    bool FResyncGuard = false;
    ComPtr<TFramesNotifier> FFramesNotifier;
    REFERENCE_TIME FFrameDuration = 0;
};
