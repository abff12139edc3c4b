// The inlay settings and the DV date panel: the window's operations of that
// concern and the wiring of its actions.

#include "app/main_form.h"

void TMainForm::AssignInlayEvents() {}

void TMainForm::AnalyseIncrustPatterns() {}

void TMainForm::applyeffects()
{
    // The paused frame is drawn again, so that a change shows at once.
    NavMan->ResyncPreciseSeek();
}

void TMainForm::SendFileNameToInsert() {}

void TMainForm::SendNumeroToInsert() {}

void TMainForm::PlaceSliders() {}
