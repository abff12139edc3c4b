#include "framework/managers/file_manager.h"

#include "framework/widgets/directory_edit.h"
#include "framework/widgets/image_modules.h"
#include "platform/win/shell.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

const QString kAllFiles = QStringLiteral("All files (*.*)|*.*");
const QString kSaveQuestion = QStringLiteral("Do you want to save the open file ?\r\nIf not, all changes will be lost");

// A name split into its base (folder included) and its extension with its
// ".". A leading dot names a hidden file, not an extension.
struct NameParts
{
    QString base;
    QString extension;
};

NameParts SplitName(const QString& name)
{
    const qsizetype slash = name.lastIndexOf(u'/');
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= slash + 1)
        return {name, QString()};
    return {name.left(dot), name.mid(dot)};
}

bool EndsWithCounter(const QString& base)
{
    if (base.size() < 4 || base.at(base.size() - 4) != u'_')
        return false;
    return std::all_of(base.end() - 3, base.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

bool IsFile(const QString& name)
{
    return !name.isEmpty() && QFileInfo(name).isFile();
}

QString ForDisplay(const QString& text)
{
    return QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

QStringList QtNameFilters(const QString& filter)
{
    // The bracketed patterns a description may already show at its end.
    static const QRegularExpression shownPatterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& piece : parts.at(i + 1).split(u';', Qt::SkipEmptyParts)) {
            const QString pattern = piece.trimmed();
            if (!pattern.isEmpty())
                patterns.append(pattern == QStringLiteral("*.*") ? QStringLiteral("*") : pattern);
        }
        if (patterns.isEmpty())
            continue;
        const QString description = QString(parts.at(i)).remove(shownPatterns).trimmed();
        filters.append(QStringLiteral("%1 (%2)").arg(description, patterns.join(u' ')).trimmed());
    }
    return filters;
}

QWidget* TQtFileManUi::Parent() const
{
    return FParent ? FParent->window() : QApplication::activeWindow();
}

std::optional<QString> TQtFileManUi::OpenFileName(const QString& title, const QString& folder, const QString& filter)
{
    QFileDialog dialog(Parent(), title, folder);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(QtNameFilters(filter));
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> TQtFileManUi::SaveFileName(const QString& title, const QString& proposed, const QString& filter,
                                                  const QString& defaultSuffix)
{
    QFileDialog dialog(Parent(), title, QFileInfo(proposed).absolutePath());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The manager asks about overwriting by its own rule.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters(QtNameFilters(filter));
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.selectFile(proposed);
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

TFileManUi::TAnswer TQtFileManUi::Question(const QString& text, bool withCancel)
{
    QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No;
    if (withCancel)
        buttons |= QMessageBox::Cancel;
    QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(), ForDisplay(text), buttons, Parent());
    box.setDefaultButton(QMessageBox::Yes);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return mrYes;
    case QMessageBox::No:
        return mrNo;
    default:
        // Closing the box answers Cancel where there is one, else No.
        return withCancel ? mrCancel : mrNo;
    }
}

void TQtFileManUi::ShowError(const QString& text)
{
    QMessageBox::warning(Parent(), QApplication::applicationDisplayName(), ForDisplay(text));
}

bool TQtFileManUi::ShowInFolder(const QString& path)
{
    return ::ShowInFolder(path);
}

std::optional<QString> TQtFileManUi::FolderName(const QString& title, const QString& folder)
{
    QString chosen = folder;
    if (!WideSelectDirectory(title, QString(), chosen, true))
        return std::nullopt;
    return chosen;
}

TFichierMan::TFichierMan(QObject* owner, TFileManLayout layout)
    : TKvActionComponent(owner), FLayout(layout), FUi(std::make_unique<TQtFileManUi>()),
      FDropSource(new TDropFileSourceW(this))
{
    SetFilter(QString());
}

TFichierMan::~TFichierMan()
{
    FDestroying = true;
    ReleaseDragControl();
}

void TFichierMan::SetUi(std::unique_ptr<TFileManUi> ui)
{
    FUi = ui ? std::move(ui) : std::make_unique<TQtFileManUi>(FDragControl);
}

void TFichierMan::ListActions(const TActionBinder& bind)
{
    // The current name and the open-last flag come last, so that when the
    // preferences are loaded the last file opens with everything else known.
    bind(naNewFile, "naNewFile");
    bind(waOpenFile, "waOpenFile");
    bind(naPasteFile, "naPasteFile");
    bind(naSaveFile, "naSaveFile");
    bind(waSaveFileAs, "waSaveFileAs");
    bind(naCloseFile, "naCloseFile");
    bind(naParentFolder, "naParentFolder");
    bind(waInitialDir, "waInitialDir");
    for (int i = 0; i < kRecentCount; ++i)
        bind(naRecent[i], QStringLiteral("naRecent%1").arg(i + 1));
    for (int i = 0; i < kRecentCount; ++i)
        bind(waRecentFilename[i], QStringLiteral("waRecentFilename%1").arg(i + 1));
    bind(waCurrentFileName, "waCurrentFileName");
    bind(baOpenLastFile, "baOpenLastFile");
}

void TFichierMan::SetDefaults()
{
    // Each action as the main window and as the script window show it.
    struct Look
    {
        const char* caption;
        const char* hint;
        const char* scriptName;
    };
    const struct
    {
        TCustomAbstractAction* action;
        QKeySequence key;
        Look main;
        Look script;
        // Hidden and disabled in the main window.
        bool writes = false;
        // Kept in the preferences of the script window.
        bool scriptPrefs = false;
    } rows[] = {
        {naNewFile,
         QKeySequence(Qt::CTRL | Qt::Key_N),
         {"New...", "Open a new file", "NewFile"},
         {"Nouveau...", "Commencer un nouveau script", "NewScript"},
         true},
        {waOpenFile,
         QKeySequence(Qt::CTRL | Qt::Key_O),
         {"Open...", "Open a file", "OpenFile"},
         {"Ouvrir...", "Ouvrir un script", "OpenScript"},
         false,
         true},
        {waCurrentFileName,
         QKeySequence(),
         {"Current File", "File currently open", "CurrentFileName"},
         {"Fichier Courant", "Script actuellement ouvert", "CurrentScriptName"},
         false,
         true},
        {baOpenLastFile,
         QKeySequence(),
         {"Previous File", "Open the previous file at start", "OpenLastFile"},
         {"Fichier précédent", "Ouvrir au démarrage le script précédent", "OpenLastScript"},
         false,
         true},
        {waInitialDir,
         QKeySequence(),
         {"Initial Folder", "If you change this folder, then files to open will be searched in it", "InitialDir"},
         {"Dossier initial", "Si vous changez ce dossier, les scripts à ouvrir y seront cherchés", "InitialDirScript"},
         false,
         true},
        {naPasteFile,
         QKeySequence(Qt::CTRL | Qt::Key_V),
         {"Paste", "Paste a file", "PasteFile"},
         {"Coller", "Coller un script", "PasteScript"}},
        {naSaveFile,
         QKeySequence(Qt::CTRL | Qt::Key_S),
         {"Save", "Save the current file", "SaveFile"},
         {"Enregistrer", "Enregistrer le script courant", "SaveScript"},
         true},
        {waSaveFileAs,
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S),
         {"Save as...", "Name and save the current file", "SaveFileAs"},
         {"Enregistrer sous...", "Nommer et enregistrer le script courant", "SaveScriptAs"},
         true},
        {naCloseFile,
         QKeySequence(Qt::CTRL | Qt::Key_F),
         {"Close", "Close the selected file", "CloseFile"},
         {"Fermer", "Fermer le script courant", "CloseScript"}},
        {naParentFolder,
         QKeySequence(Qt::Key_F9),
         {"Parent folder", "Open the parent folder of the selected file", "ParentFolder"},
         {"Dossier parent", "Ouvrir le dossier parent du script courant", "ScriptParentFolder"}},
    };
    const bool main = FLayout == flMainWindow;
    for (const auto& row : rows) {
        TCustomAbstractAction* action = row.action;
        const Look& look = main ? row.main : row.script;
        action->SetCaption(QString::fromUtf8(look.caption));
        action->SetHint(QString::fromUtf8(look.hint));
        action->ScriptName = QString::fromUtf8(look.scriptName);
        action->SetShortCut(row.key);
        action->SetVisible(!main || !row.writes);
        action->SetEnabled(!main || !row.writes);
        action->IncludePrefs = main || row.scriptPrefs;
    }
    if (main)
        waOpenFile->Switch = QStringLiteral("o");
    baOpenLastFile->SetDefaultValue(true);
    // Its handlers are not wired yet: this only stores the value.
    baOpenLastFile->SetValue(true);
    for (int i = 0; i < kRecentCount; ++i) {
        const QString number = QString::number(i + 1);
        naRecent[i]->SetCaption(number + u' ');
        naRecent[i]->SetHint(main ? QStringLiteral("Open the recent file") : QStringLiteral("Ouvrir le script récent"));
        naRecent[i]->ScriptName = QStringLiteral("Recent") + number;
        waRecentFilename[i]->SetCaption(QStringLiteral("Filename") + number);
        waRecentFilename[i]->ScriptName = QStringLiteral("RecentFilename") + number;
        waRecentFilename[i]->ApplyWhenLoad = true;
    }
    for (TCustomAbstractAction* action :
         std::initializer_list<TCustomAbstractAction*>{waCurrentFileName, baOpenLastFile, waInitialDir})
        action->ApplyWhenLoad = true;
}

void TFichierMan::AssignEvents()
{
    if (naNewFile)
        naNewFile->InternalApply = [this] { NewFile(); };
    if (waOpenFile) {
        waOpenFile->InternalPrepare = [this](QString& name) { return PrepareOpen(name); };
        waOpenFile->InternalApply = [this](const QString& name) { CloseAndOpenFile(name); };
    }
    if (waCurrentFileName) {
        waCurrentFileName->InternalApply = [this](const QString& name) { ApplyCurrentName(name); };
        waCurrentFileName->InternalBeforeSave = [this](QString& name) {
            name = FOpenLastFile && FState != fsNone ? FCurrentFileName : QString();
            return true;
        };
    }
    if (baOpenLastFile) {
        baOpenLastFile->InternalApply = [this](const bool& open) { ApplyOpenLastFile(open); };
        baOpenLastFile->InternalBeforeSave = [this](bool& open) {
            open = FOpenLastFile;
            if (!open)
                CloseFile();
            return true;
        };
    }
    if (waInitialDir) {
        waInitialDir->InternalPrepare = [this](QString& folder) { return PrepareInitialDir(folder); };
        waInitialDir->InternalApply = [this](const QString& folder) { FInitialDir = folder; };
    }
    if (naPasteFile)
        naPasteFile->InternalApply = [this] { PasteFile(); };
    if (naSaveFile)
        naSaveFile->InternalApply = [this] { SaveFile(); };
    if (waSaveFileAs) {
        waSaveFileAs->InternalPrepare = [this](QString& name) { return PrepareSaveAs(name); };
        waSaveFileAs->InternalApply = [this](const QString& name) { SaveAs(name); };
    }
    if (naCloseFile)
        naCloseFile->InternalApply = [this] { CloseFile(); };
    if (naParentFolder)
        naParentFolder->InternalApply = [this] { ShowParentFolder(); };
    for (int i = 0; i < kRecentCount; ++i) {
        if (naRecent[i])
            naRecent[i]->InternalApply = [this, i] {
                if (!FRecent[i].isEmpty())
                    OpenFile(FRecent[i]);
            };
        if (waRecentFilename[i])
            waRecentFilename[i]->InternalApply = [this, i](const QString& name) {
                FRecent[i] = name;
                ShowRecent(i);
            };
    }
    ShowAllRecent();
}

void TFichierMan::SetFilter(const QString& filter)
{
    FFilter = filter;
    FDialogFilter = filter.isEmpty() ? kAllFiles : kAllFiles + u'|' + filter;
}

void TFichierMan::SetRecentLength(int length)
{
    FRecentLength = length;
    ShowAllRecent();
}

QStringList TFichierMan::RecentFiles() const
{
    return QStringList(FRecent.begin(), FRecent.end());
}

void TFichierMan::SetCurrentName(const QString& name)
{
    if (waCurrentFileName)
        waCurrentFileName->SetValue(name);
    else
        ApplyCurrentName(name);
}

void TFichierMan::ApplyCurrentName(const QString& name)
{
    FCurrentFileName = name;
    FState = name.isEmpty() ? fsNone : IsFile(name) ? fsExisting : fsNew;
}

bool TFichierMan::QuerySaveChanges()
{
    if (FState == fsNone || !FOwnerHolds || !Modified)
        return true;
    switch (Ui().Question(kSaveQuestion, true)) {
    case TFileManUi::mrCancel:
        return false;
    case TFileManUi::mrNo:
        return true;
    case TFileManUi::mrYes:
        SaveFile();
        // Changes the user wanted kept and that were not saved stay where
        // they are.
        return !Modified;
    }
    return false;
}

bool TFichierMan::CloseFile()
{
    if (FState == fsNone)
        return true;
    if (!QuerySaveChanges())
        return false;
    if (FOwnerHolds && OnCloseFile)
        OnCloseFile(FCurrentFileName);
    SetCurrentName(QString());
    FState = fsNone;
    FOwnerHolds = false;
    Modified = false;
    return true;
}

void TFichierMan::NewFile()
{
    if (!CloseFile() || ExistingOnly)
        return;
    const QString folder = FInitialDir.isEmpty() ? DocumentsFolder() : FInitialDir;
    SetCurrentName(QDir(folder).filePath(SplitName(NewFileName).base + DefaultExtension));
    FState = fsNew;
    FOwnerHolds = true;
    if (OnNewFile)
        OnNewFile();
    Modified = false;
}

bool TFichierMan::OpenFile(QString name)
{
    return Open(std::move(name), false);
}

bool TFichierMan::CloseAndOpenFile(QString name)
{
    return Open(std::move(name), true);
}

bool TFichierMan::Open(QString name, bool closeFirst)
{
    if (OnTestExtension && !OnTestExtension(SplitName(name).extension.toLower(), name)) {
        Ui().ShowError(QStringLiteral("Files of this kind cannot be opened here:\r\n%1").arg(name));
        return false;
    }
    if (!IsFile(name)) {
        Ui().ShowError(QStringLiteral("The file cannot be found:\r\n%1").arg(name));
        return false;
    }
    // Without a close the owner replaces its document by the new one, and
    // keeps whatever it does not tie to the document (a video plays on).
    if (closeFirst ? !CloseFile() : !QuerySaveChanges())
        return false;
    SetCurrentName(name);
    FState = fsExisting;
    if (OnOpenFile && !OnOpenFile(name)) {
        if (OnErrorOpenFile)
            OnErrorOpenFile(name);
        // The owner could not read it: no document is open, and the name
        // does not go into the recent files.
        SetCurrentName(QString());
        FState = fsNone;
        FOwnerHolds = false;
        return false;
    }
    FOwnerHolds = true;
    AddRecent(name);
    Modified = false;
    return true;
}

QString TFichierMan::FirstLocalFile(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return QString();
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            return url.toLocalFile();
    return QString();
}

bool TFichierMan::PasteFile()
{
    const QString name = FirstLocalFile(QGuiApplication::clipboard()->mimeData());
    // Nothing to paste leaves the current document as it is.
    return !name.isEmpty() && CloseAndOpenFile(name);
}

void TFichierMan::DropFile(QString name)
{
    if (FState != fsNone && QFileInfo(name) == QFileInfo(FCurrentFileName))
        return;
    OpenFile(name);
}

void TFichierMan::SaveFile()
{
    switch (FState) {
    case fsNew:
        if (waSaveFileAs) {
            waSaveFileAs->ActionExecute(this);
        } else {
            QString name;
            if (PrepareSaveAs(name))
                SaveAs(name);
        }
        break;
    case fsExisting:
        if (OnSaveFile && OnSaveFile(FCurrentFileName))
            Modified = false;
        break;
    case fsNone:
        break;
    }
}

QString TFichierMan::OpenDialogFolder() const
{
    if (!FInitialDir.isEmpty())
        return FInitialDir;
    // Without a folder of its own, the dialog starts where the user last
    // opened a file, as a desktop's file dialogs do.
    if (!FCurrentFileName.isEmpty() && FState != fsNew)
        return QFileInfo(FCurrentFileName).absolutePath();
    for (const QString& recent : FRecent) {
        if (recent.isEmpty())
            continue;
        const QFileInfo folder(QFileInfo(recent).absolutePath());
        if (folder.isDir())
            return folder.absoluteFilePath();
    }
    return {};
}

bool TFichierMan::PrepareOpen(QString& name)
{
    const auto chosen = Ui().OpenFileName(QStringLiteral("Select the file to open"), OpenDialogFolder(), FDialogFilter);
    if (!chosen || chosen->isEmpty())
        return false;
    name = *chosen;
    return true;
}

bool TFichierMan::PrepareSaveAs(QString& name)
{
    if (!OnSaveFile || FState == fsNone)
        return false;
    const auto chosen = Ui().SaveFileName(QStringLiteral("Select the target file"), NextFreeName(FCurrentFileName),
                                          FDialogFilter, DefaultExtension.mid(1));
    if (!chosen || chosen->isEmpty())
        return false;
    QString target = *chosen;
    // The name a new document was given is not kept as its saved name.
    if (!NewFileName.isEmpty() && QFileInfo(target).fileName() == NewFileName) {
        const NameParts parts = SplitName(target);
        target = parts.base + u'1' + parts.extension;
    }
    if (QFileInfo::exists(target)) {
        switch (DeleteExisting) {
        case ctAlways:
            break;
        case ctNever:
            return false;
        case ctAskif:
            if (Ui().Question(QStringLiteral("Do you want to overwrite the existing file:\r\n") + target +
                                  QStringLiteral(" ?"),
                              false) != TFileManUi::mrYes)
                return false;
            break;
        }
    }
    name = target;
    return true;
}

void TFichierMan::SaveAs(QString name)
{
    if (FState == fsNone || name.isEmpty() || !OnSaveFile)
        return;
    const QString oldName = FCurrentFileName;
    const TFileState oldState = FState;
    SetCurrentName(name);
    FState = fsExisting;
    if (!OnSaveFile(name)) {
        // Not saved: the document keeps its name, state and changes.
        SetCurrentName(oldName);
        FState = oldState;
        return;
    }
    FState = fsExisting;
    ReplaceRecent(oldState == fsExisting ? oldName : QString(), name);
    Modified = false;
}

bool TFichierMan::PrepareInitialDir(QString& folder)
{
    const auto chosen = Ui().FolderName(QStringLiteral("Select a folder"), FInitialDir);
    if (!chosen || chosen->isEmpty())
        return false;
    folder = *chosen;
    return true;
}

void TFichierMan::ShowParentFolder()
{
    if (!FCurrentFileName.isEmpty() && !Ui().ShowInFolder(FCurrentFileName))
        Ui().ShowError(NoFileManagerText(FCurrentFileName));
}

void TFichierMan::ApplyOpenLastFile(bool open)
{
    FOpenLastFile = open;
    if (!open)
        return;
    if (IsFile(FCurrentFileName))
        OpenFile(FCurrentFileName);
    else
        NewFile();
}

QString TFichierMan::NextFreeName(const QString& name)
{
    if (!QFileInfo::exists(name))
        return name;
    NameParts parts = SplitName(name);
    if (EndsWithCounter(parts.base))
        parts.base.chop(4);
    for (int k = 1;; ++k) {
        const QString candidate =
            QStringLiteral("%1_%2%3").arg(parts.base).arg(k, 3, 10, QChar(u'0')).arg(parts.extension);
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}

QString TFichierMan::RecentDisplayName(const QString& name, int width)
{
    const qsizetype slash = name.lastIndexOf(u'/');
    QString folder = name.left(slash + 1);
    QString file = name.mid(slash + 1);
    if (file.size() > width - 4)
        file.truncate(std::max(0, width - 4));
    const qsizetype room = width - file.size();
    if (folder.size() > room) {
        folder.truncate(std::max<qsizetype>(0, room));
        folder += QStringLiteral(".../");
    }
    return folder + file;
}

void TFichierMan::AddRecent(QString name)
{
    if (name.isEmpty())
        return;
    const auto found = std::find(FRecent.begin(), FRecent.end(), name);
    const int k = static_cast<int>(found - FRecent.begin());
    if (k == 0)
        return;
    for (int i = std::min(k, kRecentCount - 1); i >= 1; --i)
        SetRecent(i, FRecent[i - 1]);
    SetRecent(0, name);
}

void TFichierMan::ReplaceRecent(QString oldName, QString newName)
{
    if (!IsFile(newName))
        return;
    const auto found = oldName.isEmpty() ? FRecent.end() : std::find(FRecent.begin(), FRecent.end(), oldName);
    if (found != FRecent.end()) {
        for (int i = static_cast<int>(found - FRecent.begin()); i < kRecentCount - 1; ++i)
            SetRecent(i, FRecent[i + 1]);
        SetRecent(kRecentCount - 1, QString());
    }
    AddRecent(newName);
}

void TFichierMan::SetRecent(int index, QString name)
{
    if (waRecentFilename[index]) {
        waRecentFilename[index]->SetValue(name);
        return;
    }
    FRecent[index] = name;
    ShowRecent(index);
}

void TFichierMan::ShowRecent(int index)
{
    TNopeAction* action = naRecent[index];
    if (!action)
        return;
    const QString& name = FRecent[index];
    action->SetCaption(QString::number(index + 1) + u' ' + RecentDisplayName(name, FRecentLength));
    action->SetVisible(IsFile(name));
}

void TFichierMan::ShowAllRecent()
{
    for (int i = 0; i < kRecentCount; ++i)
        ShowRecent(i);
}

QList<QWidget*> TFichierMan::DragWidgets() const
{
    QList<QWidget*> widgets;
    if (!FDragControl)
        return widgets;
    widgets.append(FDragControl);
    // A scrolling control takes its mouse and drops in its viewport.
    if (auto* area = qobject_cast<QAbstractScrollArea*>(FDragControl.data()))
        widgets.append(area->viewport());
    return widgets;
}

void TFichierMan::SetDragControl(QWidget* control)
{
    if (control == FDragControl)
        return;
    ReleaseDragControl();
    FDragControl = control;
    for (QWidget* widget : DragWidgets()) {
        widget->installEventFilter(this);
        widget->setAcceptDrops(true);
    }
    if (auto* qtUi = dynamic_cast<TQtFileManUi*>(FUi.get()))
        qtUi->SetParent(control);
}

void TFichierMan::ReleaseDragControl()
{
    for (QWidget* widget : DragWidgets()) {
        widget->removeEventFilter(this);
        if (!FDestroying)
            widget->setAcceptDrops(false);
    }
    FDragControl = nullptr;
    FPressPoint.reset();
}

bool TFichierMan::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (FirstLocalFile(drag->mimeData()).isEmpty())
            break;
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString name = FirstLocalFile(drop->mimeData());
        if (name.isEmpty())
            break;
        drop->acceptProposedAction();
        RunShielded("dropped file", [&] { DropFile(name); });
        return true;
    }
    case QEvent::MouseButtonPress:
        FPressPoint = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
        break;
    case QEvent::MouseButtonRelease:
        FPressPoint.reset();
        break;
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (!FPressPoint || !(mouse->buttons() & (Qt::LeftButton | Qt::RightButton)))
            break;
        const QPoint moved = mouse->globalPosition().toPoint() - *FPressPoint;
        if (std::abs(moved.x()) < kDragDistance && std::abs(moved.y()) < kDragDistance)
            break;
        FPressPoint.reset();
        RunShielded("drag", [this] { StartDrag(); });
        return true;
    }
    default:
        break;
    }
    return TKvActionComponent::eventFilter(watched, event);
}

void TFichierMan::StartDrag()
{
    // Only a file on disk can be handed to another program.
    if (FState != fsExisting || !IsFile(FCurrentFileName))
        return;
    FDropSource->Files = QStringList{FCurrentFileName};
    FDropSource->Execute();
}

QString NoFileManagerText(const QString& path)
{
    return QStringLiteral("No file manager could be started to show the folder of\r\n%1").arg(path);
}

void SetFileGlyphs(TFichierMan& files, TCustomImageList& images)
{
    files.SetImages(&images);
    for (const auto& [action, image] : std::initializer_list<std::pair<TCustomAbstractAction*, int>>{
             {files.naNewFile, MorvekImage::NewFile},
             {files.waOpenFile, MorvekImage::OpenFile},
             {files.naPasteFile, MorvekImage::PasteFile},
             {files.naSaveFile, MorvekImage::SaveFile},
             {files.waSaveFileAs, MorvekImage::SaveFileAs},
             {files.naCloseFile, MorvekImage::CloseFile},
             {files.naParentFolder, MorvekImage::ParentFolder}})
        action->SetImageIndex(image);
}
