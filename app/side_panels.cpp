// The side panels, the options page, the preview window's message and
// subtitles from a file.

#include "app/side_panels.h"

#include "app/av_managers.h"
#include "app/main_actions.h"
#include "app/panels.h"
#include "app/stream_menus.h"
#include "framework/managers/appli_man.h"
#include "framework/managers/file_manager.h"
#include "framework/preferences/morvek_preferences.h"
#include "framework/widgets/directory_edit.h"
#include "framework/widgets/kv_buttons.h"
#include "framework/widgets/link_edit.h"
#include "media/engine/media_factory.h"
#include "media/engine/nav_man.h"
#include "media/engine/private_filters.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QSpinBox>

#include <algorithm>

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

TSidePanels::TSidePanels(QObject& window, TMainActions& actions, TSidePanelManagers managers, TSidePanelWidgets widgets,
                         TSidePanelsShared shared)
    : FWindow(window), A(actions), FManagers(managers), FWidgets(widgets), FShared(std::move(shared))
{
    AssignEvents();
}

// --- the wiring ---------------------------------------------------------------------

void TSidePanels::AssignEvents()
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
    for (TKvButton* button : FWidgets.Buttons)
        button->setCheckable(true);

    A.iaLeftFrame->InternalApply = [this](const int& left) {
        // The options page lies on a page of its own over the whole window;
        // the DV panel follows at the next layout.
        for (QWidget* panel : std::initializer_list<QWidget*>{&FWidgets.Thumbnail, &FWidgets.Names, &FWidgets.Inlay})
            panel->move(left, panel->y());
    };
    // The side of the panels: the video column takes the other one.
    A.caVideoLeft->InternalTrueApply = [this] { FShared.PlaceVideo(true); };
    A.caVideoLeft->InternalFalseApply = [this] { FShared.PlaceVideo(false); };
    AssignOptionsPageEvents();
    AssignManagerOptionEvents();
    AssignVideoAreaEvents();
    AssignPreviewEvents();
}

void TSidePanels::AssignOptionsPageEvents()
{
    TOptionsFrame& options = FWidgets.Options;
    QObject::connect(options.rgPrefsItems, &QButtonGroup::idClicked, &FWindow,
                     [this](int id) { FManagers.Preferences.SetMode(TSavePreferences(id)); });

    A.waPrivateFolder->EmptyMeansDefault = true;
    A.waPrivateFolder->InternalDefault = [this](QString& folder) {
        folder = WithSeparator(FManagers.Preferences.ProgramFolder());
        return true;
    };
    A.waPrivateFolder->OnAfterApply = [this](const QString& folder) { ApplyPrivateFolder(folder); };
    QObject::connect(FManagers.Application.caOptions, &TCustomAbstractAction::Applied, &FWindow,
                     [this] { ReportPrivateFilters(); });
    options.dePrivateFolder->OnAfterDialog = [this](TWideDialogEdit*, const QString& folder) {
        A.waPrivateFolder->SetValue(WithSeparator(folder));
    };
    A.baUsePrivateFilters->OnAfterApply = [this](const bool& on) { ApplyUsePrivateFilters(on); };
    QObject::connect(options.cbUsePrivateFilters, &QCheckBox::clicked, &FWindow,
                     [this](bool on) { A.baUsePrivateFilters->SetValue(on); });

    // Beyond this average lateness a changed setting waits to be drawn.
    A.iaMaxSynchro->InternalApply = [this](const int& ms) {
        FManagers.Video.MaxSyncOffset = ms;
        ShowSpinValue(FWidgets.Options.seMaxSynchro, ms);
    };
    ConnectSpinEdits(options.seMaxSynchro, [this](int ms) { A.iaMaxSynchro->SetValue(ms); });

    // The window's own check of that name has no caption: its hint names
    // its menu entry.
    for (const auto hint : {&TCheckAction::SetTrueHint, &TCheckAction::SetFalseHint})
        (A.caConserverScript->*hint)(QStringLiteral("Keep the script in the script window"));
}

void TSidePanels::AssignManagerOptionEvents()
{
    TOptionsFrame& options = FWidgets.Options;
    TNavMan& navigation = FManagers.Navigation;
    // Precise seeking and its pre-roll belong to the navigation manager.
    const auto showPrecise = [&options, &navigation] {
        const QSignalBlocker quiet(options.cbNavPrecise);
        options.cbNavPrecise->setChecked(navigation.caSeekPrecision->Checked());
    };
    QObject::connect(navigation.caSeekPrecision, &TCustomAbstractAction::Applied, &FWindow, showPrecise);
    QObject::connect(options.cbNavPrecise, &QCheckBox::clicked, &FWindow,
                     [&navigation](bool on) { navigation.caSeekPrecision->SetChecked(on); });
    QObject::connect(navigation.iaSeekPrepos, &TCustomAbstractAction::Applied, &FWindow, [&options, &navigation] {
        ShowSpinValue(options.seSeekPrepos, navigation.iaSeekPrepos->Value());
    });
    ConnectSpinEdits(options.seSeekPrepos, [&navigation](int ms) { navigation.iaSeekPrepos->SetValue(ms); });

    // The scripts' folder and whether the script window keeps its script:
    // the application manager's.
    TKvAppliMan& application = FManagers.Application;
    QObject::connect(
        application.baConserverScript, &TCustomAbstractAction::Applied, &FWindow,
        [&options, &application] { options.cbConserverScript->setChecked(application.baConserverScript->Value()); });
    QObject::connect(options.cbConserverScript, &QCheckBox::clicked, &FWindow,
                     [&application](bool keep) { application.baConserverScript->SetValue(keep); });
    QObject::connect(application.waScriptFolder, &TCustomAbstractAction::Applied, &FWindow, [&options, &application] {
        options.deDossierScripts->SetFolder(application.waScriptFolder->Value());
    });
    options.deDossierScripts->OnAfterDialog = [&application](TWideDialogEdit*, const QString& folder) {
        application.waScriptFolder->SetValue(folder);
    };
}

void TSidePanels::AssignVideoAreaEvents()
{
    // --- the picture ----------------------------------------------------------------
    A.iaForcerAspectRatio->InternalApply = [this](const int& mode) { FManagers.Video.ApplyAspectRatio(mode); };
    const std::array<TNopeAction*, 4> aspects{A.naForcerNormal, A.naForcer4x3, A.naForcer16x9, A.naForcerNative};
    for (int i = 0; i < int(aspects.size()); ++i)
        aspects[std::size_t(i)]->InternalApply = [this, i] { A.iaForcerAspectRatio->SetValue(i); };
    // The paused frame is drawn again in its new place.
    TVideoMan& video = FManagers.Video;
    for (TCheckAction* action : {video.caFullscreen, video.caFlipVertical, video.caFlipHorizontal})
        QObject::connect(action, &TCustomAbstractAction::Applied, &FWindow, [this] { FShared.ApplyEffects(); });

    // --- subtitles beside the video ------------------------------------------------
    A.caSrtSubTitle->OnAfterTrueApply = [this] {
        const QString& subtitles = FShared.StreamMenus.SubtitleFileName();
        if (QFileInfo::exists(subtitles))
            LoadSrtSubtitle(subtitles);
    };
    A.caSrtSubTitle->OnAfterFalseApply = [this] { LoadSrtSubtitle(QString()); };
}

void TSidePanels::AssignPreviewEvents()
{
    TLinkEdit& message = FWidgets.PreviewMessage;
    TCheckAction* preview = FManagers.Video.caExternalPreview;
    message.setFixedHeight(kPreviewMessageHeight);
    preview->OnBeforeTrueApply = [this, &message] {
        BuildExternalPreviewMessage();
        ClearVideoPanel();
        CenterExternalPreview();
        message.show();
        message.raise();
    };
    preview->OnBeforeFalseApply = [this, &message] {
        message.hide();
        FWidgets.VideoPanel.show();
        FWidgets.VideoPanel.update();
    };
    // Heard while the navigation manager is there.
    TNavMan& navigation = FManagers.Navigation;
    QObject::connect(preview, &TCustomAbstractAction::Applied, &navigation,
                     [&navigation] { navigation.RefreshCurrentFrame(); });
    message.OnCustomLinkClick = [preview](TLinkEdit*, const QString& link) {
        if (link == kRetourLink)
            preview->SetChecked(false);
    };
}

// --- side panels -------------------------------------------------------------------

void TSidePanels::ShowSidePanel(int index)
{
    const std::array<QWidget*, 4> panels{&FWidgets.Thumbnail, &FWidgets.Names, &FWidgets.DVDate, &FWidgets.Inlay};
    for (QWidget* panel : panels)
        panel->hide();
    for (std::size_t i = 0; i < FWidgets.Buttons.size(); ++i)
        FWidgets.Buttons[i]->setChecked(int(i) == index);
    if (index >= 0 && index < int(panels.size())) {
        panels[std::size_t(index)]->show();
        panels[std::size_t(index)]->raise();
    }
}

int TSidePanels::ActiveSidePanel() const
{
    for (std::size_t i = 0; i < FWidgets.Buttons.size(); ++i) {
        if (FWidgets.Buttons[i]->isChecked())
            return int(i);
    }
    return -1;
}

// --- private filters ------------------------------------------------------------------

void TSidePanels::ApplyPrivateFolder(const QString& value)
{
    const QString folder = WithSeparator(value);
    FWidgets.Options.dePrivateFolder->SetFolder(folder);
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

void TSidePanels::ReportPrivateFilters()
{
    // Told where the folder is chosen, each message once: a folder that
    // lacks a file is no news at every start, nor while the program quits.
    if (!FManagers.Application.caOptions->Checked() || FShared.Closed)
        return;
    for (const QString& message : std::as_const(FPrivateFilterMessages))
        if (!FReportedPrivateFilterMessages.contains(message)) {
            FReportedPrivateFilterMessages.insert(message);
            FManagers.Files.Ui().ShowError(message);
        }
}

void TSidePanels::ApplyUsePrivateFilters(bool on)
{
    {
        const QSignalBlocker quiet(FWidgets.Options.cbUsePrivateFilters);
        FWidgets.Options.cbUsePrivateFilters->setChecked(on);
    }
    // The file is opened again through the new filters, where it was.
    const QString kept = FShared.VideoFileName;
    const REFERENCE_TIME position = kept.isEmpty() ? 0 : FManagers.Navigation.GetPosition();
    FShared.CloseFile();
    if (on)
        RegisterPrivateFilters();
    else
        UnregisterPrivateFilters();
    if (kept.isEmpty() || !QFileInfo::exists(kept))
        return;
    FShared.OpenFile(kept);
    if (position > 0 && (FShared.HasVideo || FShared.HasAudio))
        FManagers.Navigation.PreciseSeekTo(position);
}

void TSidePanels::RegisterPrivateFilters()
{
    TPrivateFilterRecs& recs = PrivateFilterRecs();
    TVideoMan& video = FManagers.Video;
    video.SetPostDecoderFilter(Usable(recs.FfdshowVideo));
    // Without its module the default source stays: some containers have no other.
    FManagers.Factory.SetSourceFilter(Usable(recs.LAVSplitterSource));
    QList<TFilterRec*>& videoDecoders = video.GetPreferredDecoders();
    videoDecoders.clear();
    videoDecoders << &recs.LAVVideo << &recs.FfdshowVideo;
    QList<TFilterRec*>& audioDecoders = FManagers.Audio.GetPreferredDecoders();
    audioDecoders.clear();
    audioDecoders << &recs.LAVAudio << &recs.FfdshowAudio;
    video.SetSubtitleFilter(Usable(recs.VSFilter));
}

void TSidePanels::UnregisterPrivateFilters()
{
    TPrivateFilterRecs& recs = PrivateFilterRecs();
    FManagers.Video.SetPostDecoderFilter(nullptr);
    FManagers.Video.SetSubtitleFilter(Usable(VSFilterRec()));
    for (TFilterRec* rec : {&recs.LAVSplitterSource, &recs.LAVVideo, &recs.LAVAudio, &recs.FfdshowVideo,
                            &recs.FfdshowAudio, &recs.VSFilter})
        rec->SetFilter(nullptr);
    FManagers.Video.GetPreferredDecoders().clear();
    FManagers.Audio.GetPreferredDecoders().clear();
}

// --- the preview window ----------------------------------------------------------------

void TSidePanels::BuildExternalPreviewMessage()
{
    const QString& name = FShared.VideoFileName;
    FWidgets.PreviewMessage.SetRichText(name.isEmpty() ? kPreviewReady
                                                       : kPreviewOfFile.arg(QFileInfo(name).fileName()));
}

void TSidePanels::ClearVideoPanel()
{
    // The video area shows the window's workspace colour while the video is
    // elsewhere.
    FManagers.Video.ClearVideoWindow();
    FWidgets.VideoPanel.hide();
}

void TSidePanels::CenterExternalPreview()
{
    TLinkEdit& message = FWidgets.PreviewMessage;
    const QRect area = FWidgets.VideoPanel.geometry();
    message.resize(std::max(0, area.width() - kPreviewMessageMargin), message.height());
    message.move(area.x() + (area.width() - message.width()) / 2, area.y() + (area.height() - message.height()) / 2);
}

// --- subtitles beside the video ------------------------------------------------------

void TSidePanels::LoadSrtSubtitle(const QString& filename)
{
    if (!FShared.Media)
        return;
    const QString kept = FManagers.Navigation.GetStrPosition();
    FManagers.Video.SetSubtitleFile(filename);
    // The paused frame is drawn again with its subtitle.
    FManagers.Navigation.SetStrPosition(kept);
}
