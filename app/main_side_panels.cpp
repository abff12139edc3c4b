// The side panels, the options page, the preview window and external
// subtitles: the window's operations of that concern and the wiring of its
// actions.

#include "app/main_form.h"

void TMainForm::AssignSidePanelEvents()
{
    // The side of the panels: the video column takes the other one.
    A.caVideoLeft->InternalTrueApply = [this] {
        FVideoOnTheLeft = true;
        ArrangePanels();
    };
    A.caVideoLeft->InternalFalseApply = [this] {
        FVideoOnTheLeft = false;
        ArrangePanels();
    };
}

void TMainForm::UnregisterPrivateFilters() {}

void TMainForm::LoadSrtSubtitle(const QString&) {}
