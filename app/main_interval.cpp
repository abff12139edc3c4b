// Interval capture: the window's operations of that concern and the wiring
// of its actions.

#include "app/main_form.h"

void TMainForm::AssignIntervalEvents() {}

void TMainForm::ComputeIntervalloCount() {}

void TMainForm::WMIntervalloDone() {}
