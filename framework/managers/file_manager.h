#pragma once
// The manager of a window's current document: new, open, paste, save, save
// as, close, the parent folder and ten recent files; it keeps the document's
// name and state, asks before changes are lost, remembers the last file for
// the next start, opens files dropped on its control and lets the user drag
// the current file out of it. It never reads or writes a document itself:
// its owner does that in its events.

#include "framework/actions/actions.h"
#include "framework/managers/action_component.h"
#include "framework/managers/drop_source.h"

#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QMimeData;

enum TConfirmType { ctAlways, ctNever, ctAskif };

// The windows that keep their document with a file manager, each showing the
// manager's actions its own way: captions, hints, keys and script names. The
// main window never writes its video, so there New, Save and Save as are
// hidden and disabled, and their keys belong to the window's own actions.
enum TFileManLayout { flMainWindow, flScriptWindow };

// What the file manager asks of the user and of the desktop. The manager
// talks only to this interface, so tests answer it without a window.
class TFileManUi
{
public:
    enum TAnswer { mrYes, mrNo, mrCancel };

    virtual ~TFileManUi() = default;
    // The file to open, chosen in `folder`; nothing when cancelled. `filter`
    // is the manager's "description|pattern|..." list.
    virtual std::optional<QString> OpenFileName(const QString& title, const QString& folder, const QString& filter) = 0;
    // The file to save to, starting from `proposed`; nothing when cancelled.
    // `defaultSuffix` has no leading dot. The manager asks about overwriting.
    virtual std::optional<QString> SaveFileName(const QString& title, const QString& proposed, const QString& filter,
                                                const QString& defaultSuffix) = 0;
    // A question answered by Yes or No, and by Cancel too when `withCancel`.
    virtual TAnswer Question(const QString& text, bool withCancel) = 0;
    // Tells the user why something could not be done.
    virtual void ShowError(const QString& text) = 0;
    // Shows the file in the desktop's file manager; false when there is none
    // to show it.
    virtual bool ShowInFolder(const QString& path) = 0;
    // A folder, chosen starting from `folder`; nothing when cancelled.
    virtual std::optional<QString> FolderName(const QString& title, const QString& folder) = 0;
};

// Qt's file dialogs and message boxes, shown over `parent`'s window (the
// active window when there is none).
class TQtFileManUi final : public TFileManUi
{
public:
    explicit TQtFileManUi(QWidget* parent = nullptr) : FParent(parent) {}

    std::optional<QString> OpenFileName(const QString& title, const QString& folder, const QString& filter) override;
    std::optional<QString> SaveFileName(const QString& title, const QString& proposed, const QString& filter,
                                        const QString& defaultSuffix) override;
    TAnswer Question(const QString& text, bool withCancel) override;
    void ShowError(const QString& text) override;
    bool ShowInFolder(const QString& path) override;
    std::optional<QString> FolderName(const QString& title, const QString& folder) override;

    void SetParent(QWidget* parent) { FParent = parent; }

private:
    QWidget* Parent() const;

    QPointer<QWidget> FParent;
};

// The "description|pattern|description|pattern" list of the manager as Qt's
// name filters: each description keeps its words, its patterns follow in
// brackets, separated by blanks; "*.*" becomes "*", as names here need no dot.
QStringList QtNameFilters(const QString& filter);

class TFichierMan : public TKvActionComponent
{
    Q_OBJECT
public:
    using TEvent = std::function<void()>;
    using TFileEvent = std::function<bool(const QString& awidestring)>;
    using TCloseFileEvent = std::function<void(const QString& awidestring)>;
    using TTestExtensionEvent = std::function<bool(const QString& lowerext, const QString& filename)>;

    // The state of the current document.
    enum TFileState : std::uint8_t { fsExisting = 0, fsNew = 1, fsNone = 2 };

    static constexpr int kRecentCount = 10;
    // The pointer must move this far, across or down, before a press becomes a drag.
    static constexpr int kDragDistance = 10;

    // `layout`: how a manager built by code shows its actions.
    TFichierMan(QObject* owner, TFileManLayout layout);
    ~TFichierMan() override;

    TFileManLayout Layout() const { return FLayout; }

    // Set by the owner when its document changes; open, new, save and save
    // as clear it.
    bool Modified = false;
    // New only closes the current document.
    bool ExistingOnly = false;
    // What Save as does when the target exists.
    TConfirmType DeleteExisting = ctAskif;
    // Kept for the layouts; nothing reads it.
    TConfirmType SaveType = ctAskif;
    // With its leading ".".
    QString DefaultExtension;
    // The name part given to a new document.
    QString NewFileName;

    TEvent OnNewFile;
    TFileEvent OnOpenFile;
    TFileEvent OnSaveFile;
    TFileEvent OnErrorOpenFile;
    TCloseFileEvent OnCloseFile;
    TTestExtensionEvent OnTestExtension;

    // The owner's own file types, "description|pattern|...".
    QString Filter() const { return FFilter; }
    void SetFilter(const QString& filter);
    // What the file dialogs offer: every file, then the owner's types.
    QString DialogFilter() const { return FDialogFilter; }

    // The width, in characters, of a recent entry's shown name.
    int RecentLength() const { return FRecentLength; }
    void SetRecentLength(int length);

    // The control that takes dropped files and from which the current file
    // is dragged out. Null releases the control.
    QWidget* DragControl() const { return FDragControl; }
    void SetDragControl(QWidget* control);

    QString CurrentFileName() const { return FCurrentFileName; }
    TFileState State() const { return FState; }
    QString InitialDir() const { return FInitialDir; }
    bool OpenLastFile() const { return FOpenLastFile; }
    // The recent file names, newest first (empty where there is none).
    QStringList RecentFiles() const;

    // Asks whether to save the changes of the current document, and saves
    // them when the user says so. False when he cancelled, or when the
    // changes he chose to save were not saved.
    bool QuerySaveChanges();
    // Closes the current document, after asking to save its changes. False
    // when the user cancelled, or when the changes he chose to save were not
    // saved: the document then stays open.
    bool CloseFile();
    // Closes, then starts a new document unless ExistingOnly.
    void NewFile();
    // Opens `name` in place of the current document, which the owner
    // replaces without closing it first (recent entries, dropped files and
    // the last file at start open this way); changes not saved are asked
    // about first. A refused extension or a missing file is told to the
    // user and changes nothing. The name is taken by value: callers hand
    // over names the manager itself holds (the current one, a recent
    // entry), which closing and the recent list change on the way.
    bool OpenFile(QString name);
    // Closes the current document, then opens `name`: the open action and
    // paste. A file that cannot be opened changes nothing, and closes
    // nothing either.
    bool CloseAndOpenFile(QString name);
    // Closes the current document, then opens the first file whose address
    // is on the clipboard; nothing there leaves the document open.
    bool PasteFile();
    // Saves under the current name; a new document asks for one.
    void SaveFile();

    // `name` itself when it does not exist; otherwise the first free name made
    // of its base, "_", a number of at least three digits, and its extension.
    // A base that already ends in "_" and three digits loses that ending.
    static QString NextFreeName(const QString& name);
    // How a recent entry shows `name` in `width` characters.
    static QString RecentDisplayName(const QString& name, int width);

    // Replaces the dialogs and the desktop (null puts Qt's back).
    void SetUi(std::unique_ptr<TFileManUi> ui);
    TFileManUi& Ui() const { return *FUi; }
    TDropFileSourceW* DropSource() const { return FDropSource; }

    TNopeAction* naNewFile = nullptr;
    TWidestringAction* waOpenFile = nullptr;
    TWidestringAction* waCurrentFileName = nullptr;
    TBooleanAction* baOpenLastFile = nullptr;
    TWidestringAction* waInitialDir = nullptr;
    TNopeAction* naPasteFile = nullptr;
    TNopeAction* naSaveFile = nullptr;
    TWidestringAction* waSaveFileAs = nullptr;
    TNopeAction* naCloseFile = nullptr;
    TNopeAction* naParentFolder = nullptr;
    std::array<TNopeAction*, kRecentCount> naRecent{};
    std::array<TWidestringAction*, kRecentCount> waRecentFilename{};

protected:
    void AssignEvents() override;
    void ListActions(const TActionBinder& bind) override;
    void SetDefaults() override;

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The document's name, through the action when there is one.
    void SetCurrentName(const QString& name);
    void ApplyCurrentName(const QString& name);
    // The first local file among the addresses of `data`.
    static QString FirstLocalFile(const QMimeData* data);
    // Opens a file dropped on the control, unless it is the current one.
    void DropFile(QString name);
    void StartDrag();

    bool Open(QString name, bool closeFirst);
    // The folder the open dialog starts in: the initial folder, else the
    // folder of the file open now or of the latest recent file.
    QString OpenDialogFolder() const;
    bool PrepareOpen(QString& name);
    bool PrepareSaveAs(QString& name);
    void SaveAs(QString name);
    bool PrepareInitialDir(QString& folder);
    void ShowParentFolder();
    void ApplyOpenLastFile(bool open);

    void AddRecent(QString name);
    // After Save as: the old name leaves the list, the new one comes first.
    void ReplaceRecent(QString oldName, QString newName);
    void SetRecent(int index, QString name);
    void ShowRecent(int index);
    void ShowAllRecent();

    void ReleaseDragControl();
    // The widgets of the control that receive its mouse and drop events.
    QList<QWidget*> DragWidgets() const;

    const TFileManLayout FLayout;
    TFileState FState = fsNone;
    QString FCurrentFileName;
    QString FInitialDir;
    bool FOpenLastFile = true;
    QString FFilter;
    QString FDialogFilter;
    int FRecentLength = 50;
    // The recent names when the list has no action for them.
    std::array<QString, kRecentCount> FRecent;

    QPointer<QWidget> FDragControl;
    QMetaObject::Connection FDragControlGone;
    std::optional<QPoint> FPressPoint;
    // The owner has the document (it opened or started it), so closing it
    // is the owner's business too. A name restored from the preferences is
    // not yet the owner's.
    bool FOwnerHolds = false;
    bool FDestroying = false;

    std::unique_ptr<TFileManUi> FUi;
    TDropFileSourceW* FDropSource;
};

// The message when no file manager can show the folder of `path`.
QString NoFileManagerText(const QString& path);

// Gives the manager's commands their glyphs: `images` is the ilMorvek list.
void SetFileGlyphs(TFichierMan& files, TCustomImageList& images);
