// Interval capture: the window's operations of that concern and the wiring
// of its actions.

#include "app/main_form.h"
#include "app/quietly.h"
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

void TMainForm::AssignIntervalEvents()
{
    Tintervalloframe* panel = intervalloframe;
    // The panel shows the delay as it is, 0 included (a script or a switch
    // may give it), so that what it shows is what Ctrl+J takes.
    A.iaIntervalloDelai->InternalApply = [this, panel](const int& delay) {
        ShowSpinValue(panel->seIntervallo, delay);
        ComputeIntervalloCount();
    };
    A.iaIntervalloUnit->InternalApply = [this, panel](const int& unit) {
        Quietly(panel->cboxIntervallo, [unit](QComboBox* c) { c->setCurrentIndex(unit); });
        ComputeIntervalloCount();
    };
    // A value given again counts too: it takes the count from the position
    // shown now.
    ConnectSpinEdits(panel->seIntervallo, [this](int delay) { A.iaIntervalloDelai->SetValue(delay); });
    connect(panel->cboxIntervallo, &QComboBox::activated, this,
            [this](int unit) { A.iaIntervalloUnit->SetValue(unit); });

    A.naIntervalloStart->InternalApply = [this] { naIntervalloStartApply(); };
    A.naIntervalloBreak->InternalApply = [this] { FAbort = true; };
    A.naAbort->InternalApply = [this] {
        FAbort = true;
        if (vidman->caFullscreen->Checked())
            vidman->caFullscreen->SetChecked(false);
    };
    A.caIntervalloShow->InternalTrueApply = [this, panel] {
        // The sliders take the panel's place under the video.
        if (!A.caSliders->Checked()) {
            panel->show();
            panel->raise();
        }
        ComputeIntervalloCount();
    };
    A.caIntervalloShow->InternalFalseApply = [panel] { panel->hide(); };

    // A video's frame duration is known only once its first frame is out:
    // a count in frames made before that is made again, from the same start.
    connect(NavMan.get(), &TNavMan::DurationChanged, this, [this] {
        if (A.iaIntervalloUnit->Value() == kUnitFrames)
            CountFrom(FIntervalStart);
    });

    panel->RxSwitch1->setCheckable(true);
    connect(panel->RxSwitch1, &QToolButton::clicked, this, [this](bool on) {
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

void TMainForm::ComputeIntervalloCount()
{
    CountFrom(NavMan->GetPosition());
}

void TMainForm::CountFrom(std::int64_t start)
{
    // While a capture runs its settings are locked.
    if (FIntervalRunning)
        return;
    std::int64_t unit = 0;
    switch (A.iaIntervalloUnit->Value()) {
    case kUnitFrames:
        // Below 2 the frame duration is not known yet.
        unit = NavMan->FrameDuration() > 1 ? NavMan->FrameDuration() : 0;
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
    FIntervalStep = step;
    FIntervalStart = start;
    const bool video = FHasVideo && FCurrentVideo && FCurrentVideo != NoVideoSource();
    const std::int64_t end = NavMan->EndPosition();
    FIntervalCount = video && end >= start ? (end - start) / step + 1 : 0;
    ShowCount();
}

void TMainForm::ShowCount()
{
    intervalloframe->chronolab->setText(QString::number(FIntervalCount));
    intervalloframe->chronolab->show();
}

void TMainForm::naIntervalloStartApply()
{
    // One capture at a time: starting again while one runs changes nothing.
    if (FIntervalRunning)
        return;
    FIntervalRunning = true;
    ShowSwitch(intervalloframe->RxSwitch1, true);
    intervalloframe->seIntervallo->setEnabled(false);
    intervalloframe->cboxIntervallo->setEnabled(false);
    // Paused through the play action when playing, so that no grab waits
    // for a frame that a paused video never draws.
    if (NavMan->caPlay->Checked())
        NavMan->caPlay->SetCheckedNoMacro(false);
    else
        NavMan->Pause();
    audman->SetVolume(0);
    FAbort = false;

    const std::int64_t count = FIntervalCount;
    const std::int64_t start = FIntervalStart;
    const std::int64_t step = FIntervalStep;
    for (std::int64_t i = 0; i < count && !FAbort; ++i) {
        NavMan->PreciseSeekTo(start + i * step);
        // Stop requests arrive here, and while the picture is sought; either
        // comes before the picture is grabbed.
        ProcessMessages();
        if (FAbort)
            break;
        // As any caller grabs: what watches the action sees each picture;
        // inside this action's own apply, no macro line is written.
        A.naGrab->Apply();
        --FIntervalCount;
        ShowCount();
    }
    // The end runs once this action has returned.
    PostMessage(FHandle, WM_INTERVALLODONE, 0, 0);
}

void TMainForm::WMIntervalloDone()
{
    // A capture that a new file, a closed one or the window's close ended
    // has nothing left to give back.
    if (!FIntervalRunning)
        return;
    NavMan->Pause();
    NavMan->ReculeDebut();
    IntervalloStop();
}

void TMainForm::IntervalloStop()
{
    FAbort = true;
    NavMan->Stop();
    audman->SetVolume(audman->iaVolume->Value());
    NavMan->Pause();
    FIntervalRunning = false;
    ShowSwitch(intervalloframe->RxSwitch1, false);
    intervalloframe->seIntervallo->setEnabled(true);
    intervalloframe->cboxIntervallo->setEnabled(true);
    ComputeIntervalloCount();
}

void TMainForm::EndIntervalCapture()
{
    if (!FIntervalRunning)
        return;
    IntervalloStop();
}
