// Interval capture.

#include "app/interval_capture.h"

#include "app/av_managers.h"
#include "app/main_actions.h"
#include "app/panels.h"
#include "app/quietly.h"
#include "media/engine/nav_man.h"
#include "media/filters/notify_messages.h"
#include "platform/win/messages.h"

#include <QComboBox>
#include <QLabel>
#include <QSpinBox>
#include <QToolButton>

namespace {

// The units of the delay, in 100 ns; frames take the video's frame duration.
constexpr int kUnitFrames = 0;
constexpr std::int64_t kSecond = 10'000'000;
constexpr std::int64_t kMinute = 60 * kSecond;

void ShowSwitch(QToolButton* button, bool on)
{
    Quietly(button, [on](QToolButton* b) {
        b->setChecked(on);
        b->setText(on ? QStringLiteral("On") : QStringLiteral("Off"));
    });
}

} // namespace

TIntervalCapture::TIntervalCapture(QObject& window, HWND handle, TMainActions& actions, TNavMan& navigation,
                                   TAudioMan& audio, TCheckAction& fullscreen, Tintervalloframe& panel,
                                   TIntervalShared shared)
    : FWindow(window), FHandle(handle), A(actions), FNavMan(navigation), FAudio(audio), FFullscreen(fullscreen),
      FPanel(panel), FShared(std::move(shared))
{
    AssignEvents();
}

// --- the wiring ---------------------------------------------------------------------

void TIntervalCapture::AssignEvents()
{
    AssignSettingEvents();
    AssignSwitchEvents();
    A.caIntervalloShow->InternalTrueApply = [this] {
        // The sliders take the panel's place under the video.
        if (!A.caSliders->Checked()) {
            FPanel.show();
            FPanel.raise();
        }
        ComputeIntervalloCount();
    };
    A.caIntervalloShow->InternalFalseApply = [this] { FPanel.hide(); };

    // A video's frame duration is known only once its first frame is out:
    // a count in frames asked for before that is made then, from the start
    // it was asked for (or made again from its own).
    QObject::connect(&FNavMan, &TNavMan::DurationChanged, &FWindow, [this] {
        if (A.iaIntervalloUnit->Value() == kUnitFrames)
            CountFrom(FStartAwaitingDuration.value_or(FStart));
    });
}

void TIntervalCapture::AssignSettingEvents()
{
    // The panel shows the delay as it is, 0 included (a script or a switch
    // may give it), so that what it shows is what Ctrl+J takes.
    A.iaIntervalloDelai->InternalApply = [this](const int& delay) {
        ShowSpinValue(FPanel.seIntervallo, delay);
        ComputeIntervalloCount();
    };
    A.iaIntervalloUnit->InternalApply = [this](const int& unit) {
        Quietly(FPanel.cboxIntervallo, [unit](QComboBox* c) { c->setCurrentIndex(unit); });
        ComputeIntervalloCount();
    };
    // A value given again counts too: it takes the count from the position
    // shown now.
    ConnectSpinEdits(FPanel.seIntervallo, [this](int delay) { A.iaIntervalloDelai->SetValue(delay); });
    QObject::connect(FPanel.cboxIntervallo, &QComboBox::activated, &FWindow,
                     [this](int unit) { A.iaIntervalloUnit->SetValue(unit); });
}

void TIntervalCapture::AssignSwitchEvents()
{
    A.naIntervalloStart->InternalApply = [this] { naIntervalloStartApply(); };
    A.naIntervalloBreak->InternalApply = [this] { FShared.Abort = true; };
    A.naAbort->InternalApply = [this] {
        FShared.Abort = true;
        if (FFullscreen.Checked())
            FFullscreen.SetChecked(false);
    };

    FPanel.RxSwitch1->setCheckable(true);
    QObject::connect(FPanel.RxSwitch1, &QToolButton::clicked, &FWindow, [this](bool on) {
        if (on) {
            A.naIntervalloStart->Apply();
        } else {
            // The start is still applying: without this the stop would not
            // be recorded.
            MacroGuard = false;
            A.naIntervalloBreak->Apply();
        }
    });
}

// --- the count ----------------------------------------------------------------------

void TIntervalCapture::ComputeIntervalloCount()
{
    CountFrom(FNavMan.GetPosition());
}

void TIntervalCapture::CountFrom(std::int64_t start)
{
    // While a capture runs its settings are locked.
    if (FRunning)
        return;
    std::int64_t unit = 0;
    switch (A.iaIntervalloUnit->Value()) {
    case kUnitFrames:
        // Below 2 the frame duration is not known yet.
        unit = FNavMan.FrameDuration() > 1 ? FNavMan.FrameDuration() : 0;
        if (unit == 0)
            FStartAwaitingDuration = start;
        break;
    case 1:
        unit = kSecond;
        break;
    case 2:
        unit = kMinute;
        break;
    default:
        // The list's empty last item names no unit.
        break;
    }
    const std::int64_t step = std::int64_t(A.iaIntervalloDelai->Value()) * unit;
    // No step (or a step backwards) leaves the last count as it was.
    if (step <= 0)
        return;
    FStep = step;
    FStart = start;
    FStartAwaitingDuration.reset();
    const std::int64_t end = FNavMan.EndPosition();
    FCount = FShared.HasVideo() && end >= start ? (end - start) / step + 1 : 0;
    ShowCount();
}

void TIntervalCapture::ShowCount()
{
    FPanel.chronolab->setText(QString::number(FCount));
    FPanel.chronolab->show();
}

// --- the capture --------------------------------------------------------------------

void TIntervalCapture::ShowRunning(bool on)
{
    ShowSwitch(FPanel.RxSwitch1, on);
    FPanel.seIntervallo->setEnabled(!on);
    FPanel.cboxIntervallo->setEnabled(!on);
}

void TIntervalCapture::naIntervalloStartApply()
{
    // One capture at a time: starting again while one runs changes nothing.
    if (FRunning)
        return;
    FRunning = true;
    ShowRunning(true);
    // Paused through the play action when playing, so that no grab waits
    // for a frame that a paused video never draws.
    if (FNavMan.caPlay->Checked())
        FNavMan.caPlay->SetCheckedNoMacro(false);
    else
        FNavMan.Pause();
    FAudio.SetVolume(0);
    FShared.Abort = false;

    const std::int64_t count = FCount;
    const std::int64_t start = FStart;
    const std::int64_t step = FStep;
    for (std::int64_t i = 0; i < count && !FShared.Abort; ++i) {
        FNavMan.PreciseSeekTo(start + i * step);
        // Stop requests arrive here, and while the picture is sought; either
        // comes before the picture is grabbed.
        ProcessMessages();
        if (FShared.Abort)
            break;
        // As any caller grabs: what watches the action sees each picture;
        // inside this action's own apply, no macro line is written.
        A.naGrab->Apply();
        --FCount;
        ShowCount();
    }
    // The end runs once this action has returned.
    PostMessage(FHandle, WM_INTERVALLODONE, 0, 0);
}

void TIntervalCapture::WMIntervalloDone()
{
    // A capture that a new file, a closed one or the window's close ended
    // has nothing left to give back.
    if (!FRunning)
        return;
    FNavMan.Pause();
    FNavMan.ReculeDebut();
    IntervalloStop();
}

void TIntervalCapture::IntervalloStop()
{
    FShared.Abort = true;
    FNavMan.Stop();
    FAudio.SetVolume(FAudio.iaVolume->Value());
    FNavMan.Pause();
    FRunning = false;
    ShowRunning(false);
    ComputeIntervalloCount();
}

void TIntervalCapture::EndIntervalCapture()
{
    if (!FRunning)
        return;
    IntervalloStop();
}
