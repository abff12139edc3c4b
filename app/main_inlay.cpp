// The inlay settings and the DV date panel: the window's inlay
// (TInlayControl) made and wired, and the window's operations of the inlay
// handed to it.

#include "app/main_form.h"

#include "app/inlay_control.h"
#include "app/panels.h"

#include <QLineEdit>
#include <QSlider>

void TMainForm::applyeffects()
{
    FInlay->applyeffects();
}

bool TMainForm::PlaceInlayAt(const QPoint& at)
{
    return FInlay->PlaceInlayAt(at);
}

void TMainForm::SetInlayUi(std::unique_ptr<TInlayUi> ui)
{
    FInlay->SetInlayUi(std::move(ui));
}

bool TMainForm::UsesFileName() const
{
    return FInlay->UsesFileName();
}

bool TMainForm::UsesNumber() const
{
    return FInlay->UsesNumber();
}

// --- the wiring -------------------------------------------------------------------

void TMainForm::AssignInlayEvents()
{
    FInlay = std::make_unique<TInlayControl>(
        *this, A, *NavMan, *vidman, *audman,
        TInlayPanels{*IncrustFrame, *DVIncrustFrame, *SaveImagesFrame->NomRacineEdit, *Xslider, *Yslider, *videoPanel,
                     *NavBar, *intervalloframe},
        TInlayShared{FVideoFileName, FNumberText, FHasVideo, FHasAudio, FCurrentVideo, FPictureRect, FNativeRect,
                     [this] { RefreshRendererRects(); }, [this] { ArrangePanels(); }});
}
