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

// The compile chain and routine declarations as the action lists see them.
// It stands apart from TKvScript so that the host's own OnCompile hook keeps
// its name beside the chain's accessors.
class TKvScriptLink : public TScriptLink
{
public:
    TCompileEvent OnCompile() const final { return FChain; }
    void SetOnCompile(TCompileEvent handler) final { FChain = std::move(handler); }
    bool AddMethod(QObject* self, TScriptEntry entry, const std::string& declaration) final
    {
        return DeclareEntry(self, std::move(entry), declaration);
    }

protected:
    virtual bool DeclareEntry(QObject* self, TScriptEntry entry, const std::string& declaration) = 0;

    // The outermost handler of the chain; the host's own handler is its
    // innermost link.
    TCompileEvent FChain;
};

class TKvScript : public TPSScript, public TKvScriptLink
{
public:
    TKvScript();
    ~TKvScript() override;

    // The result lines of the last compile or run.
    QStringList Messages;
    // Declarations of the host's own, made after the program's routines,
    // constants, types and graphics classes. (The component's OnCompile is
    // the action lists' chain, whose innermost link declares all these.)
    TPSEvent OnCompile;

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
    bool DeclareEntry(QObject* self, TScriptEntry entry, const std::string& declaration) override;
    void DoOnCompile() override;
    bool DoOnNeedFile(const std::string& originFileName, std::string& fileName, std::string& output) override;
    void DoAfterExecute() override;

private:
    // The innermost link of the compile chain.
    void HandleCompile();
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
