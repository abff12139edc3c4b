// The side panels, the options page, the preview window and external
// subtitles: the window's operations of that concern and the wiring of its
// actions.

#include "app/main_form.h"

#include "framework/widgets/directory_edit.h"
#include "framework/widgets/kv_buttons.h"
#include "framework/widgets/link_edit.h"
#include "media/engine/private_filters.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QSpinBox>

#include <array>

namespace {

// The link in the preview message that brings the video back.
const QString kRetourLink = QStringLiteral("retour");
const QString kPreviewOfFile =
    QStringLiteral("<i>The video </i><color Blue>%1</color><i><br>is displayed in an external window.<br><br>"
                   "You may  get it back here with <br><Link retour> ALT+BackSpace</Link>");
const QString kPreviewReady = QStringLiteral("An external window is ready to display the videos.<br><br>"
                                             "You may close it with <br><Link retour> ALT+BackSpace</Link>");
// The message is this much narrower than the video area, and this high.
constexpr int kPreviewMessageMargin = 32;
constexpr int kPreviewMessageHeight = 120;

QString WithSeparator(const QString& folder)
{
    return folder.isEmpty() || folder.endsWith(u'/') ? folder : folder + u'/';
}

// A filter spliced in after the decoder that cannot be made would keep the
// frames notifier out of the picture's path: a record goes to the video
// manager only when its filter can be made here.
TFilterRec* Usable(TFilterRec& rec)
{
    const bool made = rec.GetFilter() != nullptr;
    rec.SetFilter(nullptr);
    return made ? &rec : nullptr;
}

} // namespace

void TMainForm::AssignSidePanelEvents()
{
    // --- which side panel, and on which side -------------------------------
    A.iaPanneauActif->InternalApply = [this](const int& index) { ShowSidePanel(index); };
    A.iaPanneauActif->InternalBeforeSave = [this](int& index) {
        index = ActiveSidePanel();
        return true;
    };
    const std::array<TNopeAction*, 4> shows{A.naShowImagette, A.naShowSaveImages, A.naShowDVIncrust, A.naShowIncrust};
    for (int i = 0; i < int(shows.size()); ++i)
        shows[std::size_t(i)]->InternalApply = [this, i] { A.iaPanneauActif->SetValue(i); };
    // A click toggles the button; the panel's action puts it right again.
    for (TKvButton* button : {ShowImagetteBtn, ShowSaveImagesBtn, ShowDVIncrustBtn, ShowIncrustBtn})
        button->setCheckable(true);

    A.iaLeftFrame->InternalApply = [this](const int& left) {
        // The options page lies on a page of its own over the whole window;
        // the DV panel follows at the next layout.
        for (QWidget* panel : std::initializer_list<QWidget*>{ImagetteFrame, SaveImagesFrame, IncrustFrame})
            panel->move(left, panel->y());
    };
    // The side of the panels: the video column takes the other one.
    A.caVideoLeft->InternalTrueApply = [this] {
        FVideoOnTheLeft = true;
        ArrangePanels();
    };
    A.caVideoLeft->InternalFalseApply = [this] {
        FVideoOnTheLeft = false;
        ArrangePanels();
    };
    AssignOptionsPageEvents();
    AssignVideoAreaEvents();
}

void TMainForm::AssignOptionsPageEvents()
{
    // --- the options page -----------------------------------------------------
    connect(OptionsFrame->rgPrefsItems, &QButtonGroup::idClicked, this,
            [this](int id) { gp->SetMode(TSavePreferences(id)); });

    A.waPrivateFolder->EmptyMeansDefault = true;
    A.waPrivateFolder->InternalDefault = [this](QString& folder) {
        folder = WithSeparator(gp->ProgramFolder());
        return true;
    };
    A.waPrivateFolder->OnAfterApply = [this](const QString& folder) { ApplyPrivateFolder(folder); };
    connect(am->caOptions, &TCustomAbstractAction::Applied, this, [this] { ReportPrivateFilters(); });
    OptionsFrame->dePrivateFolder->OnAfterDialog = [this](TWideDialogEdit*, const QString& folder) {
        A.waPrivateFolder->SetValue(WithSeparator(folder));
    };
    A.baUsePrivateFilters->OnAfterApply = [this](const bool& on) { ApplyUsePrivateFilters(on); };
    connect(OptionsFrame->cbUsePrivateFilters, &QCheckBox::clicked, this,
            [this](bool on) { A.baUsePrivateFilters->SetValue(on); });

    // Precise seeking and its pre-roll belong to the navigation manager.
    const auto showPrecise = [this] {
        const QSignalBlocker quiet(OptionsFrame->cbNavPrecise);
        OptionsFrame->cbNavPrecise->setChecked(NavMan->caSeekPrecision->Checked());
    };
    connect(NavMan->caSeekPrecision, &TCustomAbstractAction::Applied, this, showPrecise);
    connect(OptionsFrame->cbNavPrecise, &QCheckBox::clicked, this,
            [this](bool on) { NavMan->caSeekPrecision->SetChecked(on); });
    connect(NavMan->iaSeekPrepos, &TCustomAbstractAction::Applied, this,
            [this] { ShowSpinValue(OptionsFrame->seSeekPrepos, NavMan->iaSeekPrepos->Value()); });
    ConnectSpinEdits(OptionsFrame->seSeekPrepos, [this](int ms) { NavMan->iaSeekPrepos->SetValue(ms); });

    // Beyond this average lateness a changed setting waits to be drawn.
    A.iaMaxSynchro->InternalApply = [this](const int& ms) {
        vidman->MaxSyncOffset = ms;
        ShowSpinValue(OptionsFrame->seMaxSynchro, ms);
    };
    ConnectSpinEdits(OptionsFrame->seMaxSynchro, [this](int ms) { A.iaMaxSynchro->SetValue(ms); });

    // The window's own check of that name has no caption: its hint names
    // its menu entry.
    for (const auto hint : {&TCheckAction::SetTrueHint, &TCheckAction::SetFalseHint})
        (A.caConserverScript->*hint)(QStringLiteral("Keep the script in the script window"));
    // The scripts' folder and whether the script window keeps its script:
    // the application manager's.
    connect(am->baConserverScript, &TCustomAbstractAction::Applied, this,
            [this] { OptionsFrame->cbConserverScript->setChecked(am->baConserverScript->Value()); });
    connect(OptionsFrame->cbConserverScript, &QCheckBox::clicked, this,
            [this](bool keep) { am->baConserverScript->SetValue(keep); });
    connect(am->waScriptFolder, &TCustomAbstractAction::Applied, this,
            [this] { OptionsFrame->deDossierScripts->SetFolder(am->waScriptFolder->Value()); });
    OptionsFrame->deDossierScripts->OnAfterDialog = [this](TWideDialogEdit*, const QString& folder) {
        am->waScriptFolder->SetValue(folder);
    };
}

void TMainForm::AssignVideoAreaEvents()
{
    // --- the picture ----------------------------------------------------------------
    A.iaForcerAspectRatio->InternalApply = [this](const int& mode) { vidman->ApplyAspectRatio(mode); };
    const std::array<TNopeAction*, 4> aspects{A.naForcerNormal, A.naForcer4x3, A.naForcer16x9, A.naForcerNative};
    for (int i = 0; i < int(aspects.size()); ++i)
        aspects[std::size_t(i)]->InternalApply = [this, i] { A.iaForcerAspectRatio->SetValue(i); };
    // The paused frame is drawn again in its new place.
    for (TCheckAction* action : {vidman->caFullscreen, vidman->caFlipVertical, vidman->caFlipHorizontal})
        connect(action, &TCustomAbstractAction::Applied, this, [this] { applyeffects(); });

    // --- the preview window -------------------------------------------------------
    leExternalPreview->setFixedHeight(kPreviewMessageHeight);
    vidman->caExternalPreview->OnBeforeTrueApply = [this] {
        BuildExternalPreviewMessage();
        ClearVideoPanel();
        CenterExternalPreview();
        leExternalPreview->show();
        leExternalPreview->raise();
    };
    vidman->caExternalPreview->OnBeforeFalseApply = [this] {
        leExternalPreview->hide();
        videoPanel->show();
        videoPanel->update();
    };
    connect(vidman->caExternalPreview, &TCustomAbstractAction::Applied, this, [this] {
        if (NavMan)
            NavMan->RefreshCurrentFrame();
    });
    leExternalPreview->OnCustomLinkClick = [this](TLinkEdit*, const QString& link) {
        if (link == kRetourLink)
            vidman->caExternalPreview->SetChecked(false);
    };

    // --- subtitles beside the video ------------------------------------------------
    A.caSrtSubTitle->OnAfterTrueApply = [this] {
        const QString& subtitles = FStreamMenus->SubtitleFileName();
        if (QFileInfo::exists(subtitles))
            LoadSrtSubtitle(subtitles);
    };
    A.caSrtSubTitle->OnAfterFalseApply = [this] { LoadSrtSubtitle(QString()); };
}

// --- side panels -------------------------------------------------------------------

void TMainForm::ShowSidePanel(int index)
{
    const std::array<QWidget*, 4> panels{ImagetteFrame, SaveImagesFrame, DVIncrustFrame, IncrustFrame};
    const std::array<TKvButton*, 4> buttons{ShowImagetteBtn, ShowSaveImagesBtn, ShowDVIncrustBtn, ShowIncrustBtn};
    for (QWidget* panel : panels)
        panel->hide();
    for (std::size_t i = 0; i < buttons.size(); ++i)
        buttons[i]->setChecked(int(i) == index);
    if (index >= 0 && index < int(panels.size())) {
        panels[std::size_t(index)]->show();
        panels[std::size_t(index)]->raise();
    }
}

int TMainForm::ActiveSidePanel() const
{
    const std::array<TKvButton*, 4> buttons{ShowImagetteBtn, ShowSaveImagesBtn, ShowDVIncrustBtn, ShowIncrustBtn};
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        if (buttons[i]->isChecked())
            return int(i);
    }
    return -1;
}

// --- private filters ------------------------------------------------------------------

void TMainForm::ApplyPrivateFolder(const QString& value)
{
    const QString folder = WithSeparator(value);
    OptionsFrame->dePrivateFolder->SetFolder(folder);
    FPrivateFilterMessages.clear();
    const auto report = [this](const QString& message) {
        if (!message.isEmpty())
            FPrivateFilterMessages.append(message);
    };
    // The program's own module is always looked for; the other families only
    // when their module is there.
    UninstallPrivateLAV();
    report(InstallPrivateLAV(folder + QStringLiteral("LAV/LBV.reg")));
    const QString ffdshow = folder + QStringLiteral("ffdshow/ffdshow.ax");
    UninstallPrivateFfdshow();
    if (QFileInfo::exists(ffdshow))
        report(InstallPrivateFfdshow(folder + QStringLiteral("ffdshow/KVR.reg")));
    const QString vsfilter = folder + QStringLiteral("VSFilter/VSFilter.dll");
    UninstallPrivateVSFilter();
    if (QFileInfo::exists(vsfilter))
        report(InstallPrivateVSFilter(folder + QStringLiteral("VSFilter/VS.reg")));
    RegisterPrivateFfdshowFilters(ffdshow);
    RegisterPrivateLAVFilters(folder + QStringLiteral("LAV/"));
    RegisterPrivateVSFilter(vsfilter);
    if (A.baUsePrivateFilters->Value())
        ApplyUsePrivateFilters(true);
    ReportPrivateFilters();
}

void TMainForm::ReportPrivateFilters()
{
    // Told where the folder is chosen, each message once: a folder that
    // lacks a file is no news at every start, nor while the program quits.
    if (!am->caOptions->Checked() || FClosed)
        return;
    for (const QString& message : std::as_const(FPrivateFilterMessages))
        if (!FReportedPrivateFilterMessages.contains(message)) {
            FReportedPrivateFilterMessages.insert(message);
            ficman->Ui().ShowError(message);
        }
}

void TMainForm::ApplyUsePrivateFilters(bool on)
{
    {
        const QSignalBlocker quiet(OptionsFrame->cbUsePrivateFilters);
        OptionsFrame->cbUsePrivateFilters->setChecked(on);
    }
    // The file is opened again through the new filters, where it was.
    const QString kept = FVideoFileName;
    const REFERENCE_TIME position = kept.isEmpty() ? 0 : NavMan->GetPosition();
    closefile();
    if (on)
        RegisterPrivateFilters();
    else
        UnregisterPrivateFilters();
    if (kept.isEmpty() || !QFileInfo::exists(kept))
        return;
    openfile(kept);
    if (position > 0 && (FHasVideo || FHasAudio))
        NavMan->PreciseSeekTo(position);
}

void TMainForm::RegisterPrivateFilters()
{
    TPrivateFilterRecs& recs = PrivateFilterRecs();
    vidman->SetPostDecoderFilter(Usable(recs.FfdshowVideo));
    // Without its module the default source stays: some containers have no other.
    mf->SetSourceFilter(Usable(recs.LAVSplitterSource));
    QList<TFilterRec*>& video = vidman->GetPreferredDecoders();
    video.clear();
    video << &recs.LAVVideo << &recs.FfdshowVideo;
    QList<TFilterRec*>& audio = audman->GetPreferredDecoders();
    audio.clear();
    audio << &recs.LAVAudio << &recs.FfdshowAudio;
    vidman->SetSubtitleFilter(Usable(recs.VSFilter));
}

void TMainForm::UnregisterPrivateFilters()
{
    TPrivateFilterRecs& recs = PrivateFilterRecs();
    vidman->SetPostDecoderFilter(nullptr);
    vidman->SetSubtitleFilter(Usable(VSFilterRec()));
    for (TFilterRec* rec : {&recs.LAVSplitterSource, &recs.LAVVideo, &recs.LAVAudio, &recs.FfdshowVideo,
                            &recs.FfdshowAudio, &recs.VSFilter})
        rec->SetFilter(nullptr);
    vidman->GetPreferredDecoders().clear();
    audman->GetPreferredDecoders().clear();
}

// --- the preview window ----------------------------------------------------------------

void TMainForm::BuildExternalPreviewMessage()
{
    leExternalPreview->SetRichText(FVideoFileName.isEmpty() ? kPreviewReady
                                                            : kPreviewOfFile.arg(QFileInfo(FVideoFileName).fileName()));
}

void TMainForm::ClearVideoPanel()
{
    // The video area shows the window's workspace colour while the video is
    // elsewhere.
    vidman->ClearVideoWindow();
    videoPanel->hide();
}

void TMainForm::CenterExternalPreview()
{
    const QRect area = videoPanel->geometry();
    leExternalPreview->resize(std::max(0, area.width() - kPreviewMessageMargin), leExternalPreview->height());
    leExternalPreview->move(area.x() + (area.width() - leExternalPreview->width()) / 2,
                            area.y() + (area.height() - leExternalPreview->height()) / 2);
}

// --- subtitles beside the video ------------------------------------------------------

void TMainForm::LoadSrtSubtitle(const QString& filename)
{
    if (!FMedia)
        return;
    const QString kept = NavMan->GetStrPosition();
    vidman->SetSubtitleFile(filename);
    // The paused frame is drawn again with its subtitle.
    NavMan->SetStrPosition(kept);
}
