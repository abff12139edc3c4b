// The side panels and the options page: the window's side panels
// (TSidePanels) made and wired, and the window's operations of that concern
// handed to them.

#include "app/main_form.h"

#include "app/side_panels.h"

void TMainForm::AssignSidePanelEvents()
{
    FSidePanels = std::make_unique<TSidePanels>(
        *this, A, TSidePanelManagers{*NavMan, *vidman, *audman, *mf, *am, *ficman, *gp},
        TSidePanelWidgets{*ImagetteFrame,
                          *SaveImagesFrame,
                          *DVIncrustFrame,
                          *IncrustFrame,
                          *OptionsFrame,
                          {ShowImagetteBtn, ShowSaveImagesBtn, ShowDVIncrustBtn, ShowIncrustBtn},
                          *videoPanel,
                          *leExternalPreview},
        TSidePanelsShared{FVideoFileName, FHasVideo, FHasAudio, FMedia, FClosed, *FStreamMenus,
                          [this](bool left) {
                              FVideoOnTheLeft = left;
                              ArrangePanels();
                          },
                          [this] { applyeffects(); }, [this](const QString& filename) { openfile(filename); },
                          [this] { closefile(); }});
}

void TMainForm::RegisterPrivateFilters()
{
    FSidePanels->RegisterPrivateFilters();
}

void TMainForm::UnregisterPrivateFilters()
{
    FSidePanels->UnregisterPrivateFilters();
}

void TMainForm::LoadSrtSubtitle(const QString& filename)
{
    FSidePanels->LoadSrtSubtitle(filename);
}

void TMainForm::BuildExternalPreviewMessage()
{
    FSidePanels->BuildExternalPreviewMessage();
}

void TMainForm::CenterExternalPreview()
{
    FSidePanels->CenterExternalPreview();
}
