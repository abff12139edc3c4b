#include "app/main_form.h"

#include "app/script_names.h"
#include "app/window_glyphs.h"
#include "framework/managers/about_frame.h"
#include "framework/managers/help_form.h"
#include "framework/managers/shortcuts.h"
#include "framework/widgets/fitted_text.h"
#include "framework/widgets/kv_bar.h"
#include "framework/widgets/kv_buttons.h"
#include "framework/widgets/link_edit.h"
#include "framework/widgets/text_gauge.h"
#include "media/engine/private_filters.h"
#include "media/engine/video_forms.h"
#include "media/filters/notify_messages.h"
#include "platform/win/messages.h"
#include "platform/win/shell.h"

#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QResizeEvent>
#include <QSlider>
#include <QTimer>

#include <algorithm>

namespace {

constexpr UINT WM_EXITSIZEMOVE = 0x0232;
// Whether the video area shows its no-video notice once the streams are gone.
constexpr bool kShowNoVideoNotice = true;
constexpr bool kNoVideoNotice = false;
// A resize comes to rest this long after its last step.
constexpr int kSizeMoveRestMs = 200;

const QString kAuthor = QStringLiteral("Morvek");
const QString kProgram = QStringLiteral("Kestrova");

// The layout's fixed places, in client pixels.
constexpr int kBarHeight = 29;
constexpr int kTitleTop = 30;
constexpr int kStripHeight = 24;
constexpr int kPanelsTop = 56;
constexpr int kTopStripHeight = 36;
constexpr int kVideoTop = 94;
constexpr int kNavBarWidth = 560;
constexpr int kNavBarHeight = 60;

QString WithExtension(const QString& name, const QString& extension)
{
    const QFileInfo info(name);
    const QString suffix = info.suffix();
    const QString base = suffix.isEmpty() && !name.endsWith(u'.') ? name : name.left(name.size() - suffix.size() - 1);
    return base + extension;
}

QLabel* Label(QWidget* parent, const char* name, const QString& text = QString())
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

QFrame* Panel(QWidget* parent, const char* name)
{
    auto* panel = new QFrame(parent);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setAutoFillBackground(true);
    return panel;
}

QFrame* Bevel(QWidget* parent, const char* name, QFrame::Shape shape)
{
    auto* bevel = new QFrame(parent);
    bevel->setObjectName(QString::fromLatin1(name));
    bevel->setFrameShape(shape);
    bevel->setFrameShadow(QFrame::Sunken);
    return bevel;
}

void SetFontColour(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

} // namespace

const QStringList& VideoExtensions()
{
    static const QStringList extensions{
        QStringLiteral("avi"), QStringLiteral("ivf"), QStringLiteral("mpg"),  QStringLiteral("mpeg"),
        QStringLiteral("m1v"), QStringLiteral("mp2"), QStringLiteral("mpe"),  QStringLiteral("wmv"),
        QStringLiteral("asf"), QStringLiteral("mts"), QStringLiteral("m2ts"), QStringLiteral("ts"),
        QStringLiteral("vob"), QStringLiteral("mkv"), QStringLiteral("mov"),  QStringLiteral("mp4"),
        QStringLiteral("3g2"), QStringLiteral("m4v"), QStringLiteral("m2v")};
    return extensions;
}

TMainForm::TMainForm(const TMainFormOptions& options) : QMainWindow(nullptr)
{
    setObjectName(QStringLiteral("MainForm"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    CreateComponents(options);
    TntFormCreate();
}

TMainForm::~TMainForm()
{
    FormDestroy();
}

// --- creation -------------------------------------------------------------------

void TMainForm::CreateComponents(const TMainFormOptions& options)
{
    Client = new QWidget(this);
    Client->setObjectName(QStringLiteral("Client"));
    Client->setAutoFillBackground(true);
    QPalette palette = Client->palette();
    palette.setColor(QPalette::Window, ColorToQColor(clAppWorkSpace, palette));
    Client->setPalette(palette);
    setCentralWidget(Client);
    QFont arial(QStringLiteral("Arial"));
    arial.setPixelSize(13);
    setFont(arial);
    setMinimumSize(708, 522);
    resize(1025, 644);

    CreatePanels();

    // The window's own actions, the preferences, the media factory and the
    // managers.
    gpal = new TKvActionList(this);
    gpal->setObjectName(QStringLiteral("gpal"));
    CreateMainActions(*gpal, A);
    ApplySharedShortcuts(*gpal);

    gp = new TMorvekPreferences(this, options.Registry);
    if (!options.ProgramFolder.isEmpty())
        gp->SetProgramFolder(options.ProgramFolder);
    gp->OnChangeMode = [this](TSavePreferences mode) { gpChangeMode(mode); };
    gp->OnLoadPrefs = [this](TMorvekPreferences& prefs) { gpLoadPrefs(prefs); };
    gp->OnSavePrefs = [this](TMorvekPreferences& prefs) { gpSavePrefs(prefs); };
    gp->FormShow = [this] { FormShow(); };
    gp->FormCloseQuery = [] { return true; };
    gp->FormClose = [this] { FormClose(); };

    CreateManagers(options);

    new TWindowGlyphs(*this); // a child of the window
    CreateButtonBar();
    CreateMenus();
    for (TTntActionList* list :
         std::initializer_list<TTntActionList*>{gpal, NavMan.get(), vidman.get(), audman.get(), ficman.get()})
        AddWindowActions(this, *list);

    FHandle = AllocateHWnd([this](UINT msg, WPARAM wParam, LPARAM lParam) { return WndProc(msg, wParam, lParam); });
    vidman->MainFormHandle = FHandle;

    AssignGrabEvents();
    AssignIntervalEvents();
    AssignInlayEvents();
    AssignSidePanelEvents();
}

// The panels, labels and frames of the layout, in its order.
void TMainForm::CreatePanels()
{
    // Frames and panels, in the order of the layout.
    ImagetteFrame = new TImagetteFrame(Client);
    SaveImagesFrame = new TDossiersFrame(Client);
    IncrustFrame = new TIncrustFrame(Client);
    DVIncrustFrame = new TDVIncrustFrame(Client);
    OptionsFrame = new TOptionsFrame(Client);
    OptionsFrame->hide();
    AboutFrame = new TAboutFrame(Client);
    AboutFrame->hide();
    Bevel1 = Bevel(Client, "Bevel1", QFrame::VLine);
    Bevel2 = Bevel(Client, "Bevel2", QFrame::HLine);

    PanelTitre = Panel(Client, "PanelTitre");
    EnCoursLab = Label(PanelTitre, "EnCoursLab");
    EnCoursLab->setGeometry(8, 2, 600, 20);
    scnLab = Label(PanelTitre, "scnLab", QStringLiteral("scn"));
    srtlab = Label(PanelTitre, "srtlab", QStringLiteral("srt"));
    moddlab = Label(PanelTitre, "moddlab", QStringLiteral("modd"));
    for (QLabel* mark : {scnLab, srtlab, moddlab}) {
        mark->resize(mark == moddlab ? 30 : 16, 20);
        mark->hide();
    }

    PanelHaut = Panel(Client, "PanelHaut");
    labFormatVideo = Label(PanelHaut, "labFormatVideo");
    labDecoderVideo = Label(PanelHaut, "labDecoderVideo");
    labFormatAudio = Label(PanelHaut, "labFormatAudio");
    labDecoderAudio = Label(PanelHaut, "labDecoderAudio");
    PanelHaut->installEventFilter(this);

    videoPanel = new QWidget(Client);
    videoPanel->setObjectName(QStringLiteral("videoPanel"));
    // Beside the video panel, not on it: the panel goes while the video
    // plays in the preview window, and the message stays in its place.
    leExternalPreview = new TLinkEdit(Client);
    leExternalPreview->setObjectName(QStringLiteral("leExternalPreview"));
    leExternalPreview->hide();
    Xslider = new QSlider(Qt::Horizontal, Client);
    Xslider->setObjectName(QStringLiteral("Xslider"));
    Yslider = new QSlider(Qt::Vertical, Client);
    Yslider->setObjectName(QStringLiteral("Yslider"));
    Xslider->hide();
    Yslider->hide();

    panelImage = Panel(Client, "panelImage");
    ImageLab = Label(panelImage, "ImageLab");
    ImageLab->setGeometry(8, 2, 600, 20);
    GaugeVolume = new TGaugeVolume(panelImage);
    GaugeVolume->setObjectName(QStringLiteral("GaugeVolume"));

    intervalloframe = new Tintervalloframe(Client);

    // The navigation bar, the button bar and the menus.
    NavBar = new TNavBar(Client);
    NavBar->setObjectName(QStringLiteral("NavBar"));
    NavBar->resize(kNavBarWidth, kNavBarHeight);
    barUnique = new TKvBar(Client);
    barUnique->setObjectName(QStringLiteral("barUnique"));
    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
}

// The media factory, the file manager and the managers, wired to the
// window's labels and handlers.
void TMainForm::CreateManagers(const TMainFormOptions& options)
{
    mf.reset(new TMediaFactory(this));

    ficman.reset(TKvActionComponent::Create<TFichierMan>(this, flMainWindow));
    ficman->setObjectName(QStringLiteral("ficman"));
    ficman->ExistingOnly = true;
    ficman->DeleteExisting = ctAskif;
    ficman->SaveType = ctAskif;
    ficman->SetRecentLength(50);
    ficman->SetFilter(QStringLiteral("Video files|") + [] {
        QStringList patterns;
        for (const QString& extension : VideoExtensions())
            patterns.append(QStringLiteral("*.") + extension);
        return patterns.join(u';');
    }());
    ficman->SetDragControl(videoPanel);
    ficman->OnOpenFile = [this](const QString& name) { return ficmanOpenFile(name); };
    ficman->OnCloseFile = [this](const QString&) { closefile(); };
    ficman->OnTestExtension = [this](const QString& lowerext, const QString& name) {
        return ficmanTestExtension(lowerext, name);
    };

    NavMan.reset(TKvActionComponent::Create<TNavMan>(this));
    NavMan->setObjectName(QStringLiteral("NavMan"));
    mf->SetGrapheMan(NavMan.get());
    connect(NavMan.get(), &TNavMan::GraphCompleted, this, [this] { NavManGraphCompleted(); });

    vidman.reset(TKvActionComponent::Create<TVideoMan>(this));
    vidman->setObjectName(QStringLiteral("vidman"));
    connect(vidman.get(), &TVideoMan::VideoFormatNotified, this, [this](const QString& text) {
        SetFittedText(labFormatVideo, text);
        RefreshRendererRects();
        FInlay->PlaceSliders();
    });
    connect(vidman.get(), &TVideoMan::VideoDecoderNotified, this,
            [this](const QString& text) { SetFittedText(labDecoderVideo, text); });

    audman.reset(TKvActionComponent::Create<TAudioMan>(this));
    audman->setObjectName(QStringLiteral("audman"));
    audman->SetAudioGauge(GaugeVolume);
    connect(audman.get(), &TAudioMan::AudioDecoderNotified, this,
            [this](const QString& text) { SetFittedText(labDecoderAudio, text); });
    connect(audman.get(), &TAudioMan::AudioFormatNotified, this,
            [this](const QString& text) { SetFittedText(labFormatAudio, text); });

    am.reset(TKvActionComponent::Create<TKvAppliMan>(this, options.Scripts));
    am->setObjectName(QStringLiteral("am"));
    // The command line acts on the loaded settings: it waits for the load.
    am->GetSwitch()->Hold();
    am->SetWinControl(Client);
    am->SetOptionsFrame(OptionsFrame);
    am->SetAboutFrame(AboutFrame);
}

void TMainForm::CreateButtonBar()
{
    barUnique->SetAutoSeparation(false);
    // The buttons stand within the bar's height.
    barUnique->SetButtonTop(kBarHeight - barUnique->ButtonHeight());
    const auto button = [this](TTntCustomAction* action) {
        auto* kvButton = new TKvButton(barUnique);
        kvButton->SetAction(action);
        return kvButton;
    };
    const auto separator = [this](const char* name) {
        auto* gap = new TKvSeparator(barUnique);
        gap->setObjectName(QString::fromLatin1(name));
        return gap;
    };
    button(ficman->waOpenFile);
    button(ficman->naCloseFile);
    sep1 = separator("sep1");
    button(A.naGrab);
    button(A.naCopy);
    sep2 = separator("sep2");
    ShowImagetteBtn = button(A.naShowImagette);
    ShowSaveImagesBtn = button(A.naShowSaveImages);
    ShowDVIncrustBtn = button(A.naShowDVIncrust);
    ShowIncrustBtn = button(A.naShowIncrust);
    sep3 = separator("sep3");
    button(vidman->caFullscreen);
    button(vidman->caExternalPreview);
    button(A.caIntervalloShow);
    sep4 = separator("sep4");
    button(am->caOptions);
    button(am->caScript);
    button(am->caHelp);
    button(am->caAbout);
}

void TMainForm::CreateMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    const auto add = [this](QMenu* menu, TTntCustomAction* action) { menu->addAction(WindowAction(this, action)); };

    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    for (TTntCustomAction* action : std::initializer_list<TTntCustomAction*>{
             ficman->waOpenFile, ficman->naPasteFile, ficman->naCloseFile, ficman->naParentFolder})
        add(file, action);
    file->addSeparator();
    for (TNopeAction* recent : ficman->naRecent)
        add(file, recent);
    file->addSeparator();
    add(file, am->naQuit);

    QMenu* video = bar->addMenu(QStringLiteral("&Video"));
    for (TTntCustomAction* action : std::initializer_list<TTntCustomAction*>{
             NavMan->caPlay, NavMan->naReculeDebut, NavMan->naReculeMinute, NavMan->naReculeSeconde,
             NavMan->naReculeFrame, NavMan->naAvanceFrame, NavMan->naAvanceSeconde, NavMan->naAvanceMinute,
             NavMan->naAvanceFin, NavMan->caVitesseCompatible})
        add(video, action);
    video->addSeparator();
    for (TTntCustomAction* action : std::initializer_list<TTntCustomAction*>{
             vidman->caFullscreen, vidman->caExternalPreview, vidman->caFlipVertical, vidman->caFlipHorizontal,
             vidman->naNextDecoderVideo, audman->naNextDecoderAudio})
        add(video, action);
    video->addSeparator();
    for (TTntCustomAction* action :
         std::initializer_list<TTntCustomAction*>{A.naForcerNormal, A.naForcer4x3, A.naForcer16x9, A.naForcerNative})
        add(video, action);

    QMenu* picture = bar->addMenu(QStringLiteral("Pi&cture"));
    add(picture, A.naGrab);
    add(picture, A.naCopy);
    QAction* deinterlace = WindowAction(this, A.baImageDeinterlacer);
    deinterlace->setObjectName(QStringLiteral("ImageDeinterlacer1"));
    picture->addAction(deinterlace);
    picture->addSeparator();
    for (TTntCustomAction* action : std::initializer_list<TTntCustomAction*>{A.naJpegExtension, A.naBmpExtension,
                                                                             A.naAjouterNumero, A.naAjouterTimeStamp})
        add(picture, action);

    QMenu* inlay = bar->addMenu(QStringLiteral("&Inlay"));
    add(inlay, vidman->caInsertTextOn);
    inlay->addSeparator();
    for (TTntCustomAction* action :
         std::initializer_list<TTntCustomAction*>{A.naInsertTimestamp, A.naInsertNumero, A.naInsertTimecode,
                                                  A.naInsertDatecode, A.naInsertPerso, A.naInsertSysdateTime})
        add(inlay, action);
    inlay->addSeparator();
    add(inlay, A.caSliders);
    add(inlay, A.naSoustitres);

    QMenu* interval = bar->addMenu(QStringLiteral("I&ntervalometer"));
    for (TTntCustomAction* action : std::initializer_list<TTntCustomAction*>{A.caIntervalloShow, A.naIntervalloStart,
                                                                             A.naIntervalloBreak, A.naAbort})
        add(interval, action);

    FStreamMenus = std::make_unique<TStreamMenus>(*this, *bar, *audman->caMute, *A.caSrtSubTitle,
                                                  [this](int index) { SelectStream(index); });

    QMenu* view = bar->addMenu(QStringLiteral("Vi&ew"));
    for (TTntCustomAction* action : std::initializer_list<TTntCustomAction*>{
             A.naShowImagette, A.naShowSaveImages, A.naShowDVIncrust, A.naShowIncrust, A.caVideoLeft, am->caOptions})
        add(view, action);

    QMenu* scripts = bar->addMenu(QStringLiteral("Scrip&ts"));
    for (TTntCustomAction* action : std::initializer_list<TTntCustomAction*>{
             am->caScript, A.naExecuteScript, A.caConserverScript, am->baConserverScript})
        add(scripts, action);

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    for (TTntCustomAction* action :
         std::initializer_list<TTntCustomAction*>{am->caHelp, am->caAbout, am->naHomePage, am->naEMail})
        add(help, action);

    for (TTntCustomAction* action : std::initializer_list<TTntCustomAction*>{
             NavMan->caPlay, A.naGrab, A.naCopy, vidman->caFullscreen, vidman->caExternalPreview, audman->caMute})
        add(PopupMenu, action);
}

QList<TCustomKvActionList*> TMainForm::ScriptLists() const
{
    QList<TCustomKvActionList*> lists{gpal, vidman.get(), audman.get(), NavMan.get(), ficman.get()};
    if (TScriptWindow* scripts = am->ScriptForm())
        lists += scripts->ActionLists();
    lists.append(am.get());
    return lists;
}

void TMainForm::TntFormCreate()
{
    // 1. Mouse on the video: grabbing wires its own handler.
    // 2. The pictures of grabbing start empty, with the grabber.
    // 3. Titles.
    setWindowTitle(AppTitle + QStringLiteral(" by ") + kAuthor);
    gp->SetTitre(kProgram);
    gp->version = AppTitle + QStringLiteral(" by ") + kAuthor;
    // 4. Every list reaches the script host, each routine name only once, and
    // the command-line switches.
    if (TScriptLink* host = am->GetScript()) {
        FScriptNames = std::make_unique<TUniqueScriptNames>(*host);
        for (TCustomKvActionList* list : ScriptLists())
            list->SetPascalScript(FScriptNames.get());
    }
    for (TCustomKvActionList* list :
         std::initializer_list<TCustomKvActionList*>{gpal, vidman.get(), audman.get(), NavMan.get(), ficman.get()})
        list->SetSwitch(am->GetSwitch());
    // 5. The picture fills the video panel; Enter in the position edit moves.
    vidman->SetKeepAspectratio(false);
    vidman->SetWindow(videoPanel);
    NavMan->SetNavBar(NavBar);
    // 6. The stream menus start empty and hidden.
    FStreamMenus->Hide();

    // No video yet.
    PanelHaut->hide();
    NavBar->hide();
    DisableVideoControls();
    DisableAudioControls();
    FCurrentVideo = NoVideoSource();
    FCurrentAudio = NoAudioSource();
}

void TMainForm::FormShow()
{
    // 1. The volume keys.
    audman->naIncVolume->SetShortCut(QKeySequence(Qt::Key_Plus | Qt::KeypadModifier));
    audman->naIncVolume->SetSecondaryShortcuts({QKeySequence(Qt::ALT | Qt::Key_P)});
    audman->naDecVolume->SetShortCut(QKeySequence(Qt::Key_Minus | Qt::KeypadModifier));
    // 2. Layout; dropped files arrive on the video panel.
    ArrangePanels();
    ComputeImageSize(4, 3);
    // 3. The pop-up menu of the video and of the preview window.
    for (QWidget* target : {videoPanel, static_cast<QWidget*>(vidman->PreviewForm())}) {
        if (!target)
            continue;
        target->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(target, &QWidget::customContextMenuRequested, this,
                [this, target](const QPoint& at) { PopupMenu->popup(target->mapToGlobal(at)); });
    }
    // Keys pressed in the plate or in the preview window are this window's
    // (Esc leaves full screen there too).
    for (QWidget* guest : {static_cast<QWidget*>(vidman->Plaque()), static_cast<QWidget*>(vidman->PreviewForm())})
        if (guest)
            LendWindowActions(this, guest);
    // 4. No screen saver while the program runs.
    FScreenSaverWasOn = ScreenSaverActive();
    SetScreenSaverActive(false);
    // 5. The bar and the interval panel go under the video at once.
    FResizeBound = true;
    TntFormResize();
    // 6. Every action in the help window.
    if (HelpForm) {
        for (TTntActionList* list : std::initializer_list<TTntActionList*>{am.get(), gpal, vidman.get(), audman.get(),
                                                                           NavMan.get(), ficman.get()})
            HelpForm->AddActionList(kProgram, *list);
        if (TScriptWindow* scripts = am->ScriptForm())
            for (TCustomKvActionList* list : scripts->ActionLists())
                HelpForm->AddActionList(QStringLiteral("Scripts"), *list);
    }
    // 7.
    applyeffects();
    // 8. The decoders of the ffdshow family installed on the system.
    if (!FFfdshowAudio) {
        FFfdshowAudio = std::make_unique<TFilterRec>(PrivateFilterRecs().FfdshowAudio.ClassId(), fkRegistered,
                                                     QStringLiteral("ffdshow Audio Decoder"));
        FFfdshowVideo = std::make_unique<TFilterRec>(PrivateFilterRecs().FfdshowVideo.ClassId(), fkRegistered,
                                                     QStringLiteral("ffdshow Video Decoder"));
    }
    // 9. The script window.
    if (TScriptWindow* scripts = am->ScriptForm()) {
        if (QWidget* window = scripts->Window())
            window->setWindowTitle(QStringLiteral("Scripts for ") + AppTitle);
        scripts->SetPageActions(am->caHelp, am->caScript);
    }
}

void TMainForm::gpLoadPrefs(TMorvekPreferences& prefs)
{
    const bool opened = prefs.OpenKey(objectName());
    am->LoadFromPrefs(prefs);
    vidman->LoadPrefs(prefs);
    audman->LoadPrefs(prefs);
    NavMan->LoadFromPrefs(prefs);
    gpal->LoadFromPrefs(prefs);
    ficman->LoadFromPrefs(prefs);
    if (opened)
        prefs.CloseKey();
    // The script window keeps its values under its own name. Its lists load
    // even where no key can be opened (no store yet): their settings then
    // take their defaults, as the window's own lists do.
    if (TScriptWindow* scripts = am->ScriptForm(); scripts && scripts->Window()) {
        const bool scriptsOpened = prefs.OpenKey(scripts->Window()->objectName());
        for (TCustomKvActionList* list : scripts->ActionLists())
            list->LoadFromPrefs(prefs);
        if (scriptsOpened)
            prefs.CloseKey();
    }
    am->GetSwitch()->Release();
}

void TMainForm::gpSavePrefs(TMorvekPreferences& prefs)
{
    if (TScriptWindow* scripts = am->ScriptForm()) {
        if (scripts->Window() && prefs.OpenKey(scripts->Window()->objectName())) {
            const QList<TCustomKvActionList*> lists = scripts->ActionLists();
            for (auto list = lists.rbegin(); list != lists.rend(); ++list)
                (*list)->SaveToPrefs(prefs);
            prefs.CloseKey();
        }
    }
    if (!prefs.OpenKey(objectName()))
        return;
    ficman->SaveToPrefs(prefs);
    gpal->SaveToPrefs(prefs);
    NavMan->SaveToPrefs(prefs);
    audman->SavePrefs(prefs);
    vidman->SavePrefs(prefs);
    am->SaveToPrefs(prefs);
    prefs.CloseKey();
}

void TMainForm::gpChangeMode(TSavePreferences mode)
{
    FPrefsMode = mode;
    OptionsFrame->SetPrefsMode(mode);
}

// --- shut-down ------------------------------------------------------------------------

void TMainForm::FormClose()
{
    // Runs once the close is certain: the question of where to save was
    // answered, and the lists are saved after it. A capture under way ends
    // first, so that the volume it silenced is the one saved.
    FInlay->StopSysDateTimer();
    // A script still running would keep the program alive behind a closed window.
    if (TScriptWindow* scripts = am->ScriptForm())
        scripts->StopScript();
    EndIntervalCapture();
    A.naAbort->Apply();
    FResizeBound = false;
    vidman->caFullscreen->SetCheckedNoMacro(false);
    ProcessMessages();
    ReleaseStreams(kShowNoVideoNotice);
    if (A.baUsePrivateFilters->Value())
        UnregisterPrivateFilters();
    UninstallPrivateFfdshow();
    UninstallPrivateLAV();
    UninstallPrivateVSFilter();
    FClosed = true;
    emit Closed();
}

void TMainForm::FormDestroy()
{
    if (FDestroyed)
        return;
    FDestroyed = true;
    FResizeBound = false;
    FSizeMoveTimer.stop();
    if (FHandle) {
        DeallocateHWnd(FHandle);
        FHandle = 0;
    }
    if (FScreenSaverWasOn)
        SetScreenSaverActive(true);
    // The graph stops and gives its pieces back before the managers go.
    ReleaseStreams(kNoVideoNotice);
    for (TCustomKvActionList* list : ScriptLists())
        list->SetPascalScript(nullptr);
    FScriptNames.reset();
    // The managers go with their pointers, last declared first (main_form.h).
}

void TMainForm::TGraphDeleter::operator()(TNavMan* navigation) const
{
    // The pieces the other managers put in the graph are theirs no longer.
    navigation->ClearGraph();
    delete navigation;
}

// --- files ----------------------------------------------------------------------------

bool TMainForm::ficmanTestExtension(const QString& lowerext, const QString&)
{
    return lowerext.startsWith(u'.') && VideoExtensions().contains(lowerext.mid(1));
}

bool TMainForm::ficmanOpenFile(const QString& filename)
{
    am->caAbout->SetChecked(false);
    am->caOptions->SetChecked(false);
    openfile(filename);
    // A file of which nothing can be played is not open: the file manager
    // neither keeps its name nor lists it among the recent files.
    return FHasVideo || FHasAudio;
}

void TMainForm::ShowTitle(const QString& text, const QColor& colour)
{
    SetFontColour(EnCoursLab, colour);
    // A long name loses its start, the end of a message stays whole.
    SetFittedText(EnCoursLab, text, Qt::ElideLeft);
}

void TMainForm::openfile(const QString& filename)
{
    const QString shortName = QFileInfo(filename).fileName();
    const QString subtitleFileName = WithExtension(filename, QStringLiteral(".srt"));
    EndIntervalCapture();
    // 1. The scenes of this file, and none of the previous one.
    FScenes.Clear();
    FScenes.LoadFromFile(WithExtension(filename, QStringLiteral(".scn")));
    // 2.
    FInlay->StopSysDateTimer();
    ShowTitle(QStringLiteral("Loading ") + shortName, QColor(128, 128, 128));
    // 3.
    const bool playing = NavMan->caPlay->Checked();
    FOpening = true;
    // 3, 5. The previous file's streams go before the new file's device is
    // fetched.
    ReleaseStreams(kNoVideoNotice);
    ProcessMessages();
    // 4.
    FMedia = mf->GetFileDevice(filename);
    if (FMedia && !FMedia->Built())
        FMedia = nullptr;
    // 5.
    vidman->ClearDecoders();
    audman->ClearDecoders();
    // 6.
    FVideoFileName = filename;
    if (vidman->PreviewForm())
        vidman->PreviewForm()->setWindowTitle(filename);
    if (vidman->caExternalPreview->Checked())
        BuildExternalPreviewMessage();
    // 7.
    FHasVideo = FMedia && FMedia->VideoCount() > 0;
    FHasAudio = FMedia && FMedia->AudioCount() > 0;
    FHasSubtitles = FMedia && FMedia->SubtitleCount() > 0;
    // 8.
    if (!FHasAudio) {
        FCurrentAudio = NoAudioSource();
    } else {
        FCurrentAudio = FMedia->AudioSource(0);
        FHasAudio = audman->ConnectAudio(FCurrentAudio);
    }
    // 9.
    if (!FHasVideo) {
        FCurrentVideo = NoVideoSource();
    } else {
        FCurrentVideo = FMedia->VideoSource(0);
        FHasVideo = vidman->ConnectVideo(FCurrentVideo);
        FInlay->FileNameChanged();
        if (FHasVideo)
            FCurrentVideo->StartFrameData(NavMan->Handle());
    }
    // 10.
    if (FHasVideo && FHasSubtitles)
        vidman->ConnectSubtitleSource(FMedia->SubtitleSource(0));
    // 11. A file of which nothing plays leaves the window as with no file,
    // whatever the file before it showed.
    const bool playable = FHasVideo || FHasAudio;
    PanelHaut->setVisible(playable);
    NavBar->setVisible(playable);
    // 12.
    A.waIncrustPattern1->Apply();
    A.waIncrustPattern2->Apply();
    NavMan->ResyncPreciseSeek();
    FOpening = false;
    // 13.
    NavMan->caPlay->SetChecked(playing && playable);
    // 14.
    if (FHasVideo)
        EnableVideoControls();
    else
        DisableVideoControls();
    if (FHasAudio)
        EnableAudioControls();
    else
        DisableAudioControls();
    // The DV panel and the DV presets follow the new video.
    FInlay->UpdateDVDate();
    // 15.
    ShowTitle(shortName, QColor(0, 0, 128));
    scnLab->setVisible(QFileInfo::exists(WithExtension(filename, QStringLiteral(".scn"))));
    srtlab->setVisible(QFileInfo::exists(subtitleFileName));
    moddlab->setVisible(QFileInfo::exists(filename + QStringLiteral(".modd")));
    // 16.
    BuildImageFileName();
    RefreshRendererRects();
    FGrabber->ResetGrabBitmap(FPictureRect.size());
    ArrangeImagetteFrame();
    // 17.
    if (A.baRAZWhenOpenFile->Value())
        A.iaNextNum->SetValue(1);
    // 18.
    ComputeIntervalloCount();
    // 19, 20.
    FStreamMenus->Fill(FMedia, subtitleFileName);

    if (!playable)
        ShowTitle(QStringLiteral("%1 cannot be played. Try another file, or the private filters in the options.")
                      .arg(shortName),
                  QColor(128, 0, 0));
}

void TMainForm::SelectStream(int index)
{
    if (!NavMan || !FMedia)
        return;
    const QString kept = NavMan->GetStrPosition();
    const int state = NavMan->GraphState();
    if (FStreamMenus->IsSoundTrack(index) && FCurrentAudio && FCurrentAudio != NoAudioSource()) {
        // The sound chain was made for the type of the track it plays; a
        // track of another kind needs a chain of its own, so the chain goes
        // before the switch and is made again after it. Left in place, it
        // would wait for sound that never comes. A track the first chain
        // could not play may find a decoder this way too.
        NavMan->Stop();
        const REFERENCE_TIME frameDuration = NavMan->FrameDuration();
        audman->DisconnectAudio();
        // The track's notifier keeps to the type it was first connected
        // with; the new track may be of another.
        FCurrentAudio->Notifier()->setAcceptedType(AM_MEDIA_TYPE{});
        FMedia->EnableStream(index);
        FHasAudio = audman->ConnectAudio(FCurrentAudio);
        // Taking the sound out forgot the frame duration the video told,
        // and the video stays as it was: it does not tell it again.
        NavMan->SetFrameDuration(frameDuration);
        if (FHasAudio)
            EnableAudioControls();
        else
            DisableAudioControls();
        if (state == kGraphStatePaused || state == kGraphStatePlaying)
            NavMan->Pause();
    } else {
        FMedia->EnableStream(index);
    }
    NavMan->SetStrPosition(kept);
    A.caSrtSubTitle->SetChecked(false);
    // The seeks leave the graph paused: a track changed while playing plays
    // on, as the play button still says.
    if (state == kGraphStatePlaying)
        NavMan->Play();
}

void TMainForm::ReleaseStreams(bool showNoVideoNotice)
{
    NavMan->Stop();
    audman->DisconnectAudio();
    vidman->RemoveSubtitleSource();
    vidman->DisconnectVideoDevice(showNoVideoNotice);
    FCurrentVideo = NoVideoSource();
    FCurrentAudio = NoAudioSource();
}

void TMainForm::closefile()
{
    EndIntervalCapture();
    // 1.
    FScenes.Clear();
    FInlay->StopSysDateTimer();
    ShowTitle(QString(), QColor(128, 128, 128));
    NavMan->caPlay->SetChecked(false);
    // 2.
    ReleaseStreams(kShowNoVideoNotice);
    // 3.
    NavMan->ClearGraph();
    FMedia = nullptr;
    FVideoFileName.clear();
    if (vidman->PreviewForm())
        vidman->PreviewForm()->setWindowTitle(QStringLiteral("External Preview"));
    if (vidman->caExternalPreview->Checked())
        BuildExternalPreviewMessage();
    if (QWidget* window = vidman->window())
        window->setVisible(!vidman->caExternalPreview->Checked());
    vidman->ClearVideoWindow();
    // 4.
    PanelHaut->hide();
    NavBar->hide();
    DisableVideoControls();
    DisableAudioControls();
    // 5.
    ShowTitle(QString(), QColor(0, 0, 128));
    ImagetteFrame->Clear();
    FStreamMenus->Hide();
    // No DV date without a video.
    FInlay->UpdateDVDate();
}

// --- control groups ----------------------------------------------------------------------

void TMainForm::EnableVideoControls()
{
    PanelHaut->show();
    PanelHaut->raise();
    for (TTntCustomAction* action : std::initializer_list<TTntCustomAction*>{A.caSliders, vidman->caFullscreen,
                                                                             A.naGrab, A.naCopy, A.caIntervalloShow})
        action->SetEnabled(true);
    ImageLab->show();
}

void TMainForm::DisableVideoControls()
{
    PanelHaut->hide();
    A.caSliders->SetCheckedNoMacro(false);
    for (TTntCustomAction* action : std::initializer_list<TTntCustomAction*>{A.caSliders, vidman->caFullscreen,
                                                                             A.naGrab, A.naCopy, A.caIntervalloShow})
        action->SetEnabled(false);
    ImageLab->hide();
}

void TMainForm::EnableAudioControls()
{
    GaugeVolume->show();
    for (TTntCustomAction* action :
         std::initializer_list<TTntCustomAction*>{audman->caMute, audman->naIncVolume, audman->naDecVolume})
        action->SetEnabled(true);
}

void TMainForm::DisableAudioControls()
{
    GaugeVolume->hide();
    for (TTntCustomAction* action :
         std::initializer_list<TTntCustomAction*>{audman->caMute, audman->naIncVolume, audman->naDecVolume})
        action->SetEnabled(false);
}

// --- layout -------------------------------------------------------------------------------

void TMainForm::ArrangePanels()
{
    const int cw = Client->width();
    const int ch = Client->height();
    {
        TNoMacroScope noMacro;
        if (!FVideoOnTheLeft) {
            A.iaLeftFrame->SetValue(0);
            FPanelOffset = kSidePanelWidth;
            Bevel1->move(277, Bevel1->y());
        } else {
            A.iaLeftFrame->SetValue(cw - kSidePanelWidth);
            FPanelOffset = 0;
            Bevel1->move(A.iaLeftFrame->Value() - 1, Bevel1->y());
        }
    }
    barUnique->setGeometry(0, 0, cw, kBarHeight);
    PanelTitre->setGeometry(0, kTitleTop, cw, kStripHeight);
    panelImage->setGeometry(0, ch - kStripHeight, cw, kStripHeight);
    GaugeVolume->move(cw - GaugeVolume->width() - 8, (kStripHeight - GaugeVolume->height()) / 2);

    const int videoLeft = FPanelOffset + (A.caSliders->Checked() ? 8 : 19);
    videoPanel->setGeometry(videoLeft, kVideoTop, cw - 314, ch - 238);
    // The side panels reach down to the bottom strip.
    for (QWidget* panel : std::initializer_list<QWidget*>{ImagetteFrame, SaveImagesFrame, IncrustFrame, DVIncrustFrame})
        panel->resize(panel->width(), ch - 80);

    EnCoursLab->resize(PanelTitre->width() - 88, EnCoursLab->height());
    scnLab->move(PanelTitre->width() - 30, scnLab->y());
    srtlab->move(PanelTitre->width() - 48, srtlab->y());
    moddlab->move(PanelTitre->width() - 80, moddlab->y());

    // The bar stays within the video column, however narrow.
    NavBar->resize(std::min(kNavBarWidth, videoPanel->width()), kNavBarHeight);
    NavBar->move(videoPanel->x() + (videoPanel->width() - NavBar->width()) / 2, NavBar->y());
    intervalloframe->move(NavBar->x(), intervalloframe->y());
    PanelHaut->setGeometry(videoPanel->x(), kPanelsTop, videoPanel->width(), kTopStripHeight);

    for (QWidget* panel : std::initializer_list<QWidget*>{SaveImagesFrame, ImagetteFrame, IncrustFrame, DVIncrustFrame})
        panel->move(A.iaLeftFrame->Value(), kPanelsTop);

    Bevel1->setGeometry(Bevel1->x(), 54, 2, ch - 84);
    Bevel2->setGeometry(0, 29, cw, 1);

    const int gap = (cw - 638) / 4;
    for (TKvSeparator* separator : {sep1, sep2, sep3, sep4})
        separator->setFixedWidth(qMax(0, gap));

    RefreshRendererRects();
    FInlay->PlaceSliders();
    vidman->RepaintWindow();
}

void TMainForm::TntFormResize()
{
    ArrangePanels();
    CenterExternalPreview();
    NavBar->move(NavBar->x(), videoPanel->y() + videoPanel->height());
    // The interval panel goes under the bar, not over it.
    intervalloframe->move(intervalloframe->x(), NavBar->y() + NavBar->height());
    ArrangeImagetteFrame();
}

void TMainForm::PanelHautResize()
{
    const int w = PanelHaut->width() / 2 - 4;
    labFormatVideo->setGeometry(2, 2, w, 16);
    labDecoderVideo->setGeometry(2, 18, w, 16);
    labFormatAudio->setGeometry(w + 2, 2, w, 16);
    labDecoderAudio->setGeometry(w + 2, 18, w, 16);
}

void TMainForm::RefreshRendererRects()
{
    const RECT rect = vidman->WindowVideoRect();
    FPictureRect = QRect(QPoint(rect.left, rect.top), QSize(rect.right - rect.left, rect.bottom - rect.top));
    FNativeRect = QRect();
    IVMRWindowlessControl9* control = nullptr;
    if (SUCCEEDED(vidman->QueryInterface(IVMRWindowlessControl9::iid, reinterpret_cast<void**>(&control))) && control) {
        LONG width = 0, height = 0;
        if (SUCCEEDED(control->GetNativeVideoSize(&width, &height, nullptr, nullptr)))
            FNativeRect = QRect(0, 0, width, height);
        control->Release();
    }
}

void TMainForm::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (!FResizeBound)
        return;
    TntFormResize();
    FSizeMoveTimer.start(kSizeMoveRestMs, this);
}

void TMainForm::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != FSizeMoveTimer.timerId()) {
        QMainWindow::timerEvent(event);
        return;
    }
    FSizeMoveTimer.stop();
    if (FHandle)
        PostMessage(FHandle, WM_EXITSIZEMOVE, 0, 0);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == PanelHaut && event->type() == QEvent::Resize)
        PanelHautResize();
    return QMainWindow::eventFilter(watched, event);
}

// --- messages and events --------------------------------------------------------------------

LRESULT TMainForm::WndProc(UINT msg, WPARAM, LPARAM)
{
    switch (msg) {
    case WM_EXITSIZEMOVE:
        if (NavMan)
            NavMan->RefreshCurrentFrame();
        break;
    case WM_INTERVALLODONE:
        WMIntervalloDone();
        break;
    case WM_PLAYBACKSTOPPED:
        NavMan->caPlay->SetCheckedNoMacro(false);
        NavMan->Pause();
        break;
    default:
        break;
    }
    return 0;
}

void TMainForm::NavManGraphCompleted()
{
    NavMan->SetCompleted();
    NavMan->Pause();
    NavMan->caPlay->SetCheckedNoMacro(false);
}
