#pragma once
// The script window: an editor for one script file, a memo for the results
// of a compile and a run, buttons and menus to run the script, and macro
// recording, in which every action the user applies writes its script line
// into the editor. A recorded macro is a whole script: it runs at once or is
// saved like any other.

#include "framework/actions/actions.h"
#include "framework/managers/appli_man.h"
#include "framework/managers/file_manager.h"
#include "framework/widgets/image_modules.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>

class QGroupBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class TKvBar;
class TKvButton;
class TKvImgSpeedButton;
class TKvScript;
class TKvSeparator;
class TScriptEditor;

class TScriptForm : public QMainWindow, public TScriptWindow
{
    Q_OBJECT
public:
    // `title`: the window's title.
    explicit TScriptForm(const QString& title = QString(), QWidget* parent = nullptr);
    ~TScriptForm() override;

    // --- components ----------------------------------------------------------
    TScriptEditor* Editor;
    QPlainTextEdit* Memo;
    TKvBar* ScriptBar;
    TKvSeparator* ScriptBarSeparator;
    TKvImgSpeedButton* HelpBtn;
    TKvImgSpeedButton* ClosePageBtn;
    QWidget* Panel;
    TKvButton* ExecuteBtn;
    QGroupBox* MacrosBox;
    TKvButton* StartMacroBtn;
    TKvButton* StopMacroBtn;
    // Panel 0 the script's file name, panel 1 its state.
    QLabel* StatusPanels[2];
    TKvActionList* al_script;
    TFichierMan* ficman_script;

    TRectAction* raScriptFormSave = nullptr;
    TNopeAction* naExecuteMacro = nullptr;
    TNopeAction* naStartMacro = nullptr;
    TNopeAction* naStopMacro = nullptr;

    // The script host that compiles and runs the editor's script.
    TKvScript* KvScript() const { return FScript; }

    void ShowForm();
    void HideForm();
    // The new-script text in the editor.
    void NewScript();
    // Compiles and runs the editor's script, the results in the memo.
    void Run();
    // Starts recording a macro into the editor, after asking to save the
    // script's changes; nothing when the user cancels.
    void StartMacro();
    void StopMacro();
    bool Recording() const;
    bool KeepScript() const { return FKeepScript; }
    // Puts the controls in their places.
    void ArrangeControls();

    // --- TScriptWindow ---------------------------------------------------------
    QWidget* Window() override { return this; }
    void SetScriptComponent(TScriptLink* script) override;
    QString ScriptFolder() const override;
    void SetScriptFolder(const QString& folder) override;
    void SetKeepScript(bool keep) override { FKeepScript = keep; }
    QList<TCustomKvActionList*> ActionLists() override;
    void SetPageActions(TCheckAction* help, TCheckAction* close) override;
    void StopScript() override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateActions();
    void CreateControls();
    void CreateMenus();
    void WireFileManager();
    // Normal or recording: the memo is cleared, the editor takes the state's colour.
    void SetColours(bool recording);
    void ShowStatus(const QString& state);
    // Moves the lines the actions recorded into the editor.
    void FlushRecorded();
    // The messages of a compile or a run, into the memo: each cut to a line
    // a reader takes in, and no more of them than a reader goes through.
    void AppendMessages(const QStringList& messages);

    bool FileNew();
    bool FileOpen(const QString& name);
    bool FileSave(const QString& name);

    QPointer<QWidget> FClient;
    QMenu* FScriptsMenu = nullptr;
    QAction* FCloseItem = nullptr;
    QPointer<QAction> FHelpItem;
    TKvScript* FScript = nullptr;
    // The lines the actions record, on their way to the editor.
    QStringList FRecorded;
    QMetaObject::Connection FFlushing;
    bool FKeepScript = false;
    TImageModuleRef<TdmMorvekImages> FImages;
};

// How the application manager makes the program's script host and window.
TScriptParts ProgramScriptParts();
