#pragma once
// The program's script host: a script component that adds the program's own
// routines, constants and types to every compile, lets every action list
// declare its actions as procedures, and reports the results of a compile
// or a run as lines of text.
//
// A run keeps the program alive: while the script works, pending window
// messages are served now and then, so the windows repaint and a Stop from
// the script window reaches the run. The script still runs on the GUI
// thread, as the actions it calls must.

#include "framework/actions/script_link.h"
#include "script/component/script_component.h"

#include <QDir>
#include <QElapsedTimer>
#include <QStringList>

#include <atomic>
#include <memory>
#include <string>

// What a script shows the user; tests answer it without a window.
class TScriptUi
{
public:
    virtual ~TScriptUi() = default;
    // A modal message box with `text`.
    virtual void ShowMessage(const QString& text);
};

// The component's OnCompile is the one compile chain: the host's own handler
// (the program's routines, constants, types and graphics classes) is its
// innermost link, and every action list that links the script joins it
// outside, so the host's declarations come before any action procedure.
// OnCompile() and SetOnCompile() read and write that same handler for the
// action lists; TPSScript::OnCompile is it as the component sees it.
class TKvScript : public TPSScript, public TScriptLink
{
public:
    TKvScript();
    ~TKvScript() override;

    // The result lines of the last compile or run.
    QStringList Messages;

    // Compiles the script: the compiler's messages, then whether it
    // succeeded, go to Messages.
    void CompileScript();
    // Runs the last compiled script: how it ended goes to Messages.
    void RunScript();
    bool Compiled() const { return FCompiled; }
    // Whether the last run was ended by Stop.
    bool Stopped() const { return FStopped; }

    bool Execute() override;
    void Stop() override;

    // ---- The compile chain as the action lists see it ------------------------
    TCompileEvent OnCompile() const override;
    void SetOnCompile(TCompileEvent handler) override;
    // Declares a routine of an action list; only while a compile runs. The
    // component's own AddMethod stays for the host's routines.
    using TPSScript::AddMethod;
    bool AddMethod(QObject* self, TScriptEntry entry, const std::string& declaration) override;

    // Replaces the message box of showmessage (null puts the real one back).
    void SetUi(std::unique_ptr<TScriptUi> ui);
    TScriptUi& Ui() const { return *FUi; }

    // ---- The script's own routines ------------------------------------------
    // The first entry of `dossier` that `masque` matches (folder and name),
    // '' when none does. A search left open ends here.
    std::u16string FindFirst(std::u16string dossier, std::u16string masque);
    // The next entry of the search, '' at its end.
    std::u16string FindNext();
    void FindClose();
    void ShowMessage(std::string z);
    // Waits, serving the windows, until the time is up or the run stops.
    void Sleep(std::uint32_t milli);
    void ProcessMessages();
    void ForceDirectories(std::u16string dir);
    std::u16string ChangeFileExt(std::u16string fichier, std::u16string ext);
    // Moves the file to the desktop's trash; False when it stays.
    bool DeleteFileToRecycleBin(std::u16string fichier);
    void RenameFile(std::u16string oldfile, std::u16string newname);
    std::u16string ExtractFileName(std::u16string fichier);
    std::u16string ExtractFilePath(std::u16string fichier);
    std::u16string ExtractFileExt(std::u16string fichier);

protected:
    void DoOnCompile() override;
    bool DoOnNeedFile(const std::string& originFileName, std::string& fileName, std::string& output) override;
    void DoAfterExecute() override;

private:
    // The innermost link of the compile chain.
    void DeclareHostRoutines();
    void RegisterBuiltins();
    // Serves pending window messages now and then while a script runs.
    void KeepAlive();

    bool FCompiled = false;
    bool FCompiling = false;
    std::atomic<bool> FStopped{false};
    std::unique_ptr<TScriptUi> FUi;

    // The open file search: its folder, with its separator, and the names
    // still to give.
    QString FSearchFolder;
    QStringList FSearchNames;

    QElapsedTimer FSinceServed;
    std::uint32_t FInstructions = 0;
};
