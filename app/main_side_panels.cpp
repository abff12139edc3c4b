// The side panels, the options page, the preview window and external
// subtitles: the window's operations of that concern and the wiring of its
// actions.

#include "app/main_form.h"

void TMainForm::AssignSidePanelEvents() {}

void TMainForm::UnregisterPrivateFilters() {}

void TMainForm::LoadSrtSubtitle(const QString&) {}
