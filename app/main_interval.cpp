// Interval capture: the window's capture (TIntervalCapture) made and wired,
// and the window's operations of interval capture handed to it.

#include "app/main_form.h"

#include "app/interval_capture.h"
#include "media/engine/media_devices.h"

void TMainForm::AssignIntervalEvents()
{
    FIntervalCapture = std::make_unique<TIntervalCapture>(
        *this, FHandle, A, *NavMan, *audman, *vidman->caFullscreen, *intervalloframe,
        TIntervalShared{FAbort, [this] { return FHasVideo && FCurrentVideo && FCurrentVideo != NoVideoSource(); }});
}

void TMainForm::ComputeIntervalloCount()
{
    FIntervalCapture->ComputeIntervalloCount();
}

void TMainForm::WMIntervalloDone()
{
    FIntervalCapture->WMIntervalloDone();
}

void TMainForm::IntervalloStop()
{
    FIntervalCapture->IntervalloStop();
}

void TMainForm::EndIntervalCapture()
{
    FIntervalCapture->EndIntervalCapture();
}

bool TMainForm::IntervalRunning() const
{
    return FIntervalCapture->Running();
}

std::int64_t TMainForm::IntervalStep() const
{
    return FIntervalCapture->Step();
}

std::int64_t TMainForm::IntervalStart() const
{
    return FIntervalCapture->Start();
}

std::int64_t TMainForm::IntervalCount() const
{
    return FIntervalCapture->Count();
}
