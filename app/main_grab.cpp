// Grabbing, naming and saving pictures: the window's operations of that
// concern and the wiring of its actions.

#include "app/main_form.h"

void TMainForm::AssignGrabEvents() {}

void TMainForm::ComputeImageSize(int, int) {}

void TMainForm::BuildImageFileName() {}

void TMainForm::ArrangeImagetteFrame() {}
