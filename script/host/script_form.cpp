#include "script/host/script_form.h"

#include "framework/managers/shortcuts.h"
#include "framework/widgets/kv_bar.h"
#include "framework/widgets/kv_buttons.h"
#include "platform/rtl/color.h"
#include "platform/rtl/datetime.h"
#include "platform/win/save_file.h"
#include "script/host/kv_script.h"
#include "script/host/script_editor.h"

#include <QAbstractEventDispatcher>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QVBoxLayout>

#include <initializer_list>

namespace {

constexpr int kMemoHeight = 110;
// The memo lays a line out whole, in time that grows faster than its length:
// a message is cut to what a reader takes in, and a compile or a run shows
// at most so many of them.
constexpr qsizetype kMaxMemoLineLength = 500;
constexpr qsizetype kMaxMemoLines = 1000;
constexpr int kPanelWidth = 132;
constexpr int kPanelHeight = 150;
constexpr int kStatePanelWidth = 100;
const TRect kDefaultBounds{300, 300, 1100, 860};
const QKeySequence kPasteKey(Qt::CTRL | Qt::Key_V);

const QStringList kNewScript{
    QStringLiteral("//Write a script between begin and end."),
    QStringLiteral("//Don't forget to finish each command by ;"),
    QStringLiteral("begin"),
    QString(),
    QStringLiteral("end."),
};

void Paint(QWidget* widget, QPalette::ColorRole role, TColor color)
{
    QPalette palette = widget->palette();
    palette.setColor(role, ColorToQColor(color));
    widget->setPalette(palette);
}

} // namespace

TScriptForm::TScriptForm(const QString& title, QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("ScriptForm"));
    setWindowTitle(title);
    CreateActions();
    CreateControls();
    CreateMenus();
    WireFileManager();
    setGeometry(ToQRect(kDefaultBounds));

    // The layout's values replaced at load.
    naExecuteMacro->SetCaption(QStringLiteral("The following codes can be used"));
    naStartMacro->SetCaption(QStringLiteral("Start"));
    naStopMacro->SetCaption(QStringLiteral("Stop"));
    ficman_script->SetFilter(QStringLiteral("Macro Files (*.txt)|*.txt"));
    FClient->setAutoFillBackground(true);
    Paint(FClient, QPalette::Window, clAppWorkSpace);

    ficman_script->naNewFile->Execute();
}

TScriptForm::~TScriptForm()
{
    disconnect(FFlushing);
    if (MacroTarget == &FRecorded)
        MacroTarget = nullptr;
    StopScript();
}

// ---- Creation -------------------------------------------------------------------

void TScriptForm::CreateActions()
{
    al_script = new TKvActionList(this);
    al_script->setObjectName(QStringLiteral("al_script"));
    al_script->SetImages(&FImages->ilMorvek);

    raScriptFormSave = TCustomAbstractAction::CreateNamed<TRectAction>(al_script, QStringLiteral("raScriptFormSave"));
    naExecuteMacro = TCustomAbstractAction::CreateNamed<TNopeAction>(al_script, QStringLiteral("naExecuteMacro"));
    naStartMacro = TCustomAbstractAction::CreateNamed<TNopeAction>(al_script, QStringLiteral("naStartMacro"));
    naStopMacro = TCustomAbstractAction::CreateNamed<TNopeAction>(al_script, QStringLiteral("naStopMacro"));

    raScriptFormSave->SetCaption(QStringLiteral("ScriptFormSave"));
    raScriptFormSave->ScriptName = QStringLiteral("ScriptFormSave");
    raScriptFormSave->SetDefaultValue(kDefaultBounds);
    // Saved bounds are worth something only when they come back.
    raScriptFormSave->ApplyWhenLoad = true;
    raScriptFormSave->InternalApply = [this](const TRect& bounds) {
        setGeometry(VisibleBounds(ToQRect(bounds), ToQRect(kDefaultBounds).size(), AvailableScreens()));
    };
    raScriptFormSave->InternalBeforeSave = [this](TRect& bounds) {
        const QRect normal = normalGeometry();
        bounds = ToTRect(normal.isValid() ? normal : geometry());
        return true;
    };

    const struct
    {
        TNopeAction* action;
        const char* caption;
        const char* scriptName;
        Qt::Key key;
        int image;
    } commands[] = {
        {naExecuteMacro, "Execute", "ExecuteMacro", Qt::Key_F5, MorvekImage::Execute},
        {naStartMacro, "Start", "StartMacro", Qt::Key_F3, MorvekImage::StartMacro},
        {naStopMacro, "Stop", "StopMacro", Qt::Key_F4, MorvekImage::StopMacro},
    };
    for (const auto& command : commands) {
        command.action->SetCaption(QString::fromLatin1(command.caption));
        command.action->ScriptName = QString::fromLatin1(command.scriptName);
        command.action->SetShortCut(QKeySequence(command.key));
        command.action->SetImageIndex(command.image);
    }
    naExecuteMacro->InternalApply = [this] { Run(); };
    naStartMacro->InternalApply = [this] { StartMacro(); };
    naStopMacro->InternalApply = [this] { StopMacro(); };
    // A Stop the user gives ends the script that runs, and the recording
    // when there is one; one that a script calls only ends a recording.
    naStopMacro->InternalPrepare = [this] {
        if (!FScript || !FScript->IsRunning())
            return true;
        StopScript();
        return Recording();
    };

    ficman_script = TKvActionComponent::Create<TFichierMan>(this, flScriptWindow);
    ficman_script->setObjectName(QStringLiteral("ficman_script"));
    SetFileGlyphs(*ficman_script, FImages->ilMorvek);
}

void TScriptForm::CreateControls()
{
    FClient = new QWidget(this);
    setCentralWidget(FClient);

    ScriptBar = new TKvBar(FClient);
    ScriptBar->setObjectName(QStringLiteral("ScriptBar"));
    const auto button = [this](TTntCustomAction* action) {
        auto* speed = new TKvImgSpeedButton(ScriptBar);
        speed->SetAction(action);
        return speed;
    };
    for (TTntCustomAction* action : std::initializer_list<TTntCustomAction*>{
             ficman_script->naNewFile, ficman_script->waOpenFile, ficman_script->naPasteFile, ficman_script->naSaveFile,
             ficman_script->naParentFolder})
        button(action);
    ScriptBarSeparator = new TKvSeparator(ScriptBar);
    HelpBtn = button(nullptr);
    ClosePageBtn = button(nullptr);

    Editor = new TScriptEditor(FClient);
    Editor->setObjectName(QStringLiteral("Editor"));
    Editor->installEventFilter(this);
    // The window opens ready for typing.
    Editor->setFocus();
    connect(Editor, &TScriptEditor::textChanged, this, [this] {
        ficman_script->Modified = true;
        ShowStatus(QStringLiteral("Modified"));
    });

    Memo = new QPlainTextEdit(FClient);
    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setReadOnly(true);
    Memo->setFixedHeight(kMemoHeight);
    Paint(Memo, QPalette::Base, clInfoBk);

    Panel = new QWidget(FClient);
    Panel->setObjectName(QStringLiteral("Panel"));
    Panel->setFixedSize(kPanelWidth, kPanelHeight);
    auto* panelLayout = new QVBoxLayout(Panel);
    ExecuteBtn = new TKvButton(Panel);
    ExecuteBtn->SetAction(naExecuteMacro);
    ExecuteBtn->SetCaption(QStringLiteral("Execute"));
    ExecuteBtn->SetShowCaption(true);
    panelLayout->addWidget(ExecuteBtn);
    MacrosBox = new QGroupBox(QStringLiteral("Macros"), Panel);
    auto* macrosLayout = new QVBoxLayout(MacrosBox);
    StartMacroBtn = new TKvButton(MacrosBox);
    StartMacroBtn->SetAction(naStartMacro);
    StartMacroBtn->SetShowCaption(true);
    StopMacroBtn = new TKvButton(MacrosBox);
    StopMacroBtn->SetAction(naStopMacro);
    StopMacroBtn->SetShowCaption(true);
    macrosLayout->addWidget(StartMacroBtn);
    macrosLayout->addWidget(StopMacroBtn);
    panelLayout->addWidget(MacrosBox);

    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("statusbar"));
    for (QLabel*& panel : StatusPanels) {
        panel = new QLabel(bar);
        panel->setFrameShape(QFrame::StyledPanel);
    }
    StatusPanels[1]->setFixedWidth(kStatePanelWidth);
    bar->addWidget(StatusPanels[0], 1);
    bar->addPermanentWidget(StatusPanels[1]);
}

void TScriptForm::CreateMenus()
{
    QMenuBar* bar = menuBar();
    const auto add = [this](QMenu* menu, TTntCustomAction* action) {
        QAction* item = WindowAction(this, action);
        menu->addAction(item);
        return item;
    };
    FScriptsMenu = bar->addMenu(QStringLiteral("&Scripts"));
    for (TTntCustomAction* action : std::initializer_list<TTntCustomAction*>{
             ficman_script->naNewFile, ficman_script->waOpenFile, ficman_script->naPasteFile, ficman_script->naSaveFile,
             ficman_script->waSaveFileAs})
        add(FScriptsMenu, action);
    FScriptsMenu->addSeparator();
    add(FScriptsMenu, ficman_script->naParentFolder);
    FScriptsMenu->addSeparator();
    for (int i = 0; i < 5; ++i)
        add(FScriptsMenu, ficman_script->naRecent[i]);
    FScriptsMenu->addSeparator();
    FCloseItem = add(FScriptsMenu, ficman_script->naCloseFile);

    QMenu* macros = bar->addMenu(QStringLiteral("&Macros"));
    for (TTntCustomAction* action : std::initializer_list<TTntCustomAction*>{naStartMacro, naStopMacro, naExecuteMacro})
        add(macros, action);

    // Every key of the two lists works while the window is active.
    AddWindowActions(this, *al_script);
    AddWindowActions(this, *ficman_script);
}

void TScriptForm::WireFileManager()
{
    ficman_script->NewFileName = QStringLiteral("script.txt");
    ficman_script->DefaultExtension = QStringLiteral(".txt");
    ficman_script->SetRecentLength(50);
    ficman_script->DeleteExisting = ctAskif;
    ficman_script->SaveType = ctAskif;
    ficman_script->ExistingOnly = false;
    ficman_script->SetDragControl(Editor);
    ficman_script->OnNewFile = [this] { FileNew(); };
    ficman_script->OnOpenFile = [this](const QString& name) { return FileOpen(name); };
    ficman_script->OnSaveFile = [this](const QString& name) { return FileSave(name); };
}

// ---- The script file ------------------------------------------------------------

bool TScriptForm::FileNew()
{
    Editor->SetLines(kNewScript);
    ShowStatus(QStringLiteral("New"));
    SetColours(false);
    return true;
}

bool TScriptForm::FileOpen(const QString& name)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        ficman_script->Ui().ShowError(QStringLiteral("The script cannot be read:\r\n%1").arg(name));
        return false;
    }
    Editor->SetLines(TScriptEditor::SplitLines(QString::fromUtf8(file.readAll())));
    ShowStatus(QStringLiteral("Open"));
    SetColours(false);
    return true;
}

bool TScriptForm::FileSave(const QString& name)
{
    FlushRecorded();
    // Written whole or not at all: a failed save leaves the file as it was.
    if (!SaveFileAtomically(name, TScriptEditor::JoinLines(Editor->Lines()).toUtf8(), nullptr)) {
        ficman_script->Ui().ShowError(QStringLiteral("The script cannot be saved:\r\n%1").arg(name));
        return false;
    }
    ShowStatus(QStringLiteral("Saved"));
    return true;
}

void TScriptForm::NewScript()
{
    FileNew();
}

void TScriptForm::ShowStatus(const QString& state)
{
    StatusPanels[0]->setText(QFileInfo(ficman_script->CurrentFileName()).fileName());
    StatusPanels[1]->setText(state);
}

void TScriptForm::SetColours(bool recording)
{
    Memo->clear();
    Paint(Memo, QPalette::Base, clAppWorkSpace);
    Editor->SetBackground(ColorToQColor(recording ? clWhite : clInfoBk));
}

// ---- Running --------------------------------------------------------------------

void TScriptForm::Run()
{
    // One run at a time: a script that starts itself again does nothing.
    if (!FScript || FScript->IsRunning())
        return;
    FlushRecorded();
    Memo->clear();
    FScript->SetScriptText(Editor->Lines().join(u'\n').toStdString());
    // Includes are found from the script's own folder.
    FScript->SetMainFileName(ficman_script->CurrentFileName().toStdString());
    FScript->CompileScript();
    AppendMessages(FScript->Messages);
    QPointer<TScriptForm> alive(this);
    FScript->RunScript();
    if (!alive)
        return;
    AppendMessages(FScript->Messages);
    Paint(Memo, QPalette::Base, clInfoBk);
}

void TScriptForm::AppendMessages(const QStringList& messages)
{
    const QChar ellipsis(0x2026);
    const auto line = [&](const QString& message) {
        Memo->appendPlainText(message.size() > kMaxMemoLineLength ? message.left(kMaxMemoLineLength) + ellipsis
                                                                  : message);
    };
    // Of very many, the first ones, how many are left out, and the last one,
    // which tells how the compile or the run ended.
    const qsizetype first = messages.size() > kMaxMemoLines ? kMaxMemoLines - 2 : messages.size();
    for (qsizetype i = 0; i < first; ++i)
        line(messages[i]);
    if (first < messages.size()) {
        line(QStringLiteral("%1 %2 more").arg(ellipsis).arg(messages.size() - first - 1));
        line(messages.last());
    }
}

void TScriptForm::StopScript()
{
    if (FScript && FScript->IsRunning())
        FScript->Stop();
}

void TScriptForm::SetScriptComponent(TScriptLink* script)
{
    StopScript();
    FScript = dynamic_cast<TKvScript*>(script);
}

// ---- Macros ---------------------------------------------------------------------

bool TScriptForm::Recording() const
{
    return MacroTarget == &FRecorded;
}

void TScriptForm::StartMacro()
{
    // The editor's text makes way for the macro: the user keeps his changes
    // if he wants them.
    if (!ficman_script->QuerySaveChanges())
        return;
    SetColours(true);
    FRecorded.clear();
    MacroTarget = &FRecorded;
    Editor->SetLines({QStringLiteral("//Macro saved on ") + FormatDateTime(QStringLiteral("dddddd at tt"), Now()),
                      QString(), QStringLiteral("begin")});
    // The lines go to the editor each time the program has served its
    // pending messages.
    disconnect(FFlushing);
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        FFlushing = connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] { FlushRecorded(); });
}

void TScriptForm::StopMacro()
{
    SetColours(false);
    if (!MacroTarget)
        return;
    FlushRecorded();
    disconnect(FFlushing);
    if (Recording())
        Editor->AppendLine(QStringLiteral("end."));
    MacroTarget = nullptr;
}

void TScriptForm::FlushRecorded()
{
    if (FRecorded.isEmpty())
        return;
    const QStringList lines = std::exchange(FRecorded, {});
    for (const QString& line : lines)
        Editor->AppendLine(line);
}

// ---- The window -----------------------------------------------------------------

void TScriptForm::ShowForm()
{
    show();
    ArrangeControls();
    raise();
    activateWindow();
}

void TScriptForm::HideForm()
{
    hide();
}

QString TScriptForm::ScriptFolder() const
{
    return ficman_script->InitialDir();
}

void TScriptForm::SetScriptFolder(const QString& folder)
{
    TNoMacroScope program;
    ficman_script->waInitialDir->SetValue(folder);
}

QList<TCustomKvActionList*> TScriptForm::ActionLists()
{
    return {al_script, ficman_script};
}

void TScriptForm::SetPageActions(TCheckAction* help, TCheckAction* close)
{
    HelpBtn->SetAction(help);
    ClosePageBtn->SetAction(close);
    delete FHelpItem.data();
    if (help) {
        FHelpItem = WindowAction(this, help);
        FScriptsMenu->insertAction(FCloseItem, FHelpItem);
    }
    if (close)
        WindowAction(this, close);
}

void TScriptForm::ArrangeControls()
{
    if (!ScriptBar || !FClient)
        return;
    const int width = FClient->width();
    // The status bar belongs to the client area the controls share.
    const int height = FClient->height() + (statusBar()->isVisible() ? statusBar()->height() : 0);
    const int barHeight = ScriptBar->height();
    const int statusHeight = statusBar()->isVisible() ? statusBar()->height() : 0;
    ScriptBar->setGeometry(0, 0, width, barHeight);
    const int editorWidth = std::max(0, width - Panel->width() - 8);
    const int editorHeight = std::max(0, height - 24 - Memo->height() - statusHeight - barHeight);
    Editor->setGeometry(8, barHeight + 8, editorWidth, editorHeight);
    Memo->setGeometry(8, Editor->y() + editorHeight + 8, editorWidth, Memo->height());
    Panel->move(width - Panel->width(), height - Panel->height() - Memo->height());
    ScriptBarSeparator->setFixedWidth(
        std::max(0, width - ScriptBarSeparator->x() - 2 * ScriptBar->ButtonMargin() - 2 * ScriptBar->ButtonWidth()));
    StatusPanels[0]->setFixedWidth(std::max(0, width - StatusPanels[1]->width()));
}

void TScriptForm::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    ArrangeControls();
}

void TScriptForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    ArrangeControls();
}

bool TScriptForm::eventFilter(QObject* watched, QEvent* event)
{
    // While the editor has the focus, Ctrl+V pastes text into it rather
    // than a script file.
    if (watched == Editor && ficman_script && ficman_script->naPasteFile) {
        if (event->type() == QEvent::FocusIn)
            ficman_script->naPasteFile->SetShortCut(QKeySequence());
        else if (event->type() == QEvent::FocusOut)
            ficman_script->naPasteFile->SetShortCut(kPasteKey);
    }
    return QMainWindow::eventFilter(watched, event);
}

TScriptParts ProgramScriptParts()
{
    TScriptParts parts;
    parts.CreateHost = [] { return std::make_unique<TKvScript>(); };
    parts.CreateWindow = [](const QString& title) { return std::make_unique<TScriptForm>(title); };
    return parts;
}
