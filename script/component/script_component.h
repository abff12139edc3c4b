#pragma once
// The script component: what a host holds to compile and run one script. It
// keeps the script text, preprocesses and compiles it, lets the host declare
// its own routines while a compile runs, loads the bytecode into its
// executer and runs the main block.
//
// Host routines are declared again at every compile (in OnCompile): a new
// compile starts from an executer that knows only the built-in routines.
// A script that runs many times is compiled once: every Execute runs the
// main block again, with the globals as the last run left them.
//
// Compile and Execute run on the calling thread. Stop may also come from
// another thread, to end a run in progress.

#include "script/compiler/compiler.h"
#include "script/compiler/preprocessor.h"
#include "script/runtime/class_importer.h"
#include "script/runtime/debugger.h"
#include "script/runtime/native_bridge.h"
#include "script/runtime/variant.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class TPSScript;

// Misuse of the component by its host: a second start while a run is in
// progress, a notification variable nobody serves.
class EPSScriptError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Compiler options of a script component.
enum class TPSCompOption : std::uint8_t {
    icAllowNoBegin = 1,
    icAllowUnit = 2,
    icAllowNoEnd = 4,
    icBooleanShortCircuit = 8,
};
using TPSCompOptions = std::uint8_t;
constexpr TPSCompOptions operator|(TPSCompOption a, TPSCompOption b)
{
    return static_cast<TPSCompOptions>(static_cast<std::uint8_t>(a) | static_cast<std::uint8_t>(b));
}
constexpr bool HasOption(TPSCompOptions options, TPSCompOption option)
{
    return (options & static_cast<std::uint8_t>(option)) != 0;
}

// A library of declarations and host routines that a component loads into
// every compile and run. Every hook is empty here; a plugin overrides those
// it needs. A plugin that is destroyed leaves every component holding it.
class TPSPlugin
{
public:
    TPSPlugin() = default;
    virtual ~TPSPlugin();
    TPSPlugin(const TPSPlugin&) = delete;
    TPSPlugin& operator=(const TPSPlugin&) = delete;

    std::string Name;

    virtual void CompileUsesHook(TPSScript* sender);
    virtual void ExecUsesHook(TPSScript* sender);
    virtual void CompileImportBefore(TPSScript* sender);
    virtual void CompileImportAfter(TPSScript* sender);
    virtual void ExecImportBefore(TPSScript* sender, TPSRuntimeClassImporter* importer);
    virtual void ExecImportAfter(TPSScript* sender, TPSRuntimeClassImporter* importer);

private:
    friend class TPSPluginItem;
    friend class TPSScript;
    // The components that hold this plugin, told when it goes.
    std::vector<TPSScript*> holders_;
};

class TPSPluginItem
{
public:
    explicit TPSPluginItem(TPSScript* owner) : owner_(owner) {}
    TPSPlugin* Plugin() const { return plugin_; }
    void SetPlugin(TPSPlugin* plugin);
    // The plugin's name, "<nil>" without one.
    std::string DisplayName() const;

private:
    TPSScript* owner_;
    TPSPlugin* plugin_ = nullptr;
};

class TPSPlugins
{
public:
    explicit TPSPlugins(TPSScript* owner) : owner_(owner) {}
    TPSPluginItem& Add();
    std::size_t Count() const { return items_.size(); }
    TPSPluginItem& Items(std::size_t index) const { return *items_.at(index); }
    void Delete(std::size_t index);
    void Clear() { items_.clear(); }
    // Every plugin held by an item, in collection order.
    std::vector<TPSPlugin*> Held() const;

private:
    friend class TPSScript;
    TPSScript* owner_;
    std::vector<std::unique_ptr<TPSPluginItem>> items_;
};

// Where something happened in the script's source.
struct TPSSourcePlace
{
    std::string FileName;
    std::uint32_t Position = 0;
    std::uint32_t Row = 0;
    std::uint32_t Col = 0;
};

class TPSScript
{
public:
    using TPSEvent = std::function<void(TPSScript* sender)>;
    using TPSOnCompImportEvent = std::function<void(TPSScript* sender, TPSPascalCompiler* x)>;
    using TPSOnExecImportEvent = std::function<void(TPSScript* sender, TPSExec* se, TPSRuntimeClassImporter* x)>;
    // Supplies a file's text: may rewrite fileName and fills output. False
    // when there is no such file.
    using TPSOnNeedFile = std::function<bool(TPSScript* sender, const std::string& originFileName,
                                             std::string& fileName, std::string& output)>;
    using TPSVerifyProc =
        std::function<void(TPSScript* sender, TPSInternalProcedure* proc, const std::string& decl, bool& error)>;
    using TPSOnGetNotVariant = std::function<Variant(TPSScript* sender, const std::string& name)>;
    using TPSOnSetNotVariant = std::function<void(TPSScript* sender, const std::string& name, const Variant& v)>;
    using TPSOnProcessDirective = TPSPreProcessor::DirectiveHandler;

    TPSScript();
    virtual ~TPSScript();
    TPSScript(const TPSScript&) = delete;
    TPSScript& operator=(const TPSScript&) = delete;

    // ---- Properties -------------------------------------------------------
    static const std::string& About();
    // The script text, one entry per line.
    TPSStringList Script;
    // Replaces the lines by those of the text (CR LF, LF or CR ends a line).
    void SetScriptText(std::string_view text);
    // The lines, each followed by a line end: the text that is compiled.
    std::string ScriptText() const;

    TPSCompOptions CompilerOptions = 0;
    bool UseDebugInfo = true;
    bool UsePreProcessor = false;
    const std::string& MainFileName() const { return mainFileName_; }
    virtual void SetMainFileName(const std::string& name);
    // Symbols defined for the preprocessor, besides the predefined ones.
    TPSStringList Defines;
    TPSPlugins Plugins;

    TPSEvent OnLine; // before every instruction while set
    TPSEvent OnCompile;
    TPSEvent OnExecute;
    TPSEvent OnAfterExecute;
    TPSOnCompImportEvent OnCompImport;
    TPSOnExecImportEvent OnExecImport;
    TPSOnNeedFile OnNeedFile;
    TPSVerifyProc OnVerifyProc;
    TPSOnGetNotVariant OnGetNotificationVariant;
    TPSOnSetNotVariant OnSetNotificationVariant;
    TPSOnNeedFile OnFindUnknownFile;
    TPSOnProcessDirective OnProcessDirective;
    TPSOnProcessDirective OnProcessUnknowDirective;

    // ---- Operations -------------------------------------------------------
    // Compiles the script and loads it; False on a compile or load error.
    // Raises EPSScriptError while a run of this component is in progress.
    virtual bool Compile();
    // Runs the main block; False when it ended in a runtime error. Raises
    // EPSScriptError while a run of this component is in progress.
    virtual bool Execute();
    // Ends a run in progress, or a run left paused; any thread may end a
    // run, at its next instruction.
    virtual void Stop();
    // Whether the executer is running: inside the run of the main block,
    // or of a script procedure run for the host; not in the events around
    // a run. Any thread may ask.
    bool IsRunning() const;
    // Loads the last compile's bytecode (and, with UseDebugInfo, its debug
    // data) into the executer.
    bool LoadCompiledCode();

    // Declares a host routine to the compile under way and binds it to the
    // method of the object. False outside a compile, or when the declaration
    // does not parse or does not fit the method.
    template <typename Object, typename Base, typename R, typename... A>
    bool AddMethod(Object* self, R (Base::*method)(A...), std::string_view declaration)
    {
        return AddMethodWithConvention(self, method, declaration, 0);
    }
    template <typename Object, typename Base, typename R, typename... A>
    bool AddMethodWithConvention(Object* self, R (Base::*method)(A...), std::string_view declaration,
                                 std::uint8_t convention)
    {
        Base* object = self;
        return DeclareHostRoutine(declaration,
                                  [&] { RegisterNativeMethod(ExecBase(), object, declaration, method, convention); });
    }
    // The same for a callable that needs no object.
    template <typename F> bool AddFunction(F&& code, std::string_view declaration, std::uint8_t convention = 0)
    {
        return DeclareHostRoutine(
            declaration, [&] { RegisterNativeFunction(ExecBase(), declaration, std::forward<F>(code), convention); });
    }

    // The messages of the last compile, a preprocessing failure included.
    std::size_t CompilerMessageCount() const;
    const TPSPascalCompilerMessage* CompilerMessage(std::size_t index) const;
    // The text of the executer's last error.
    std::string RuntimeErrorText() const;
    // Where the last runtime error happened: the procedure and the offset in
    // its bytecode, and with debug data the place in the source.
    std::uint32_t ExecErrorProcNo() const;
    std::uint32_t ExecErrorByteCodePosition() const;
    bool ExecErrorPlace(TPSSourcePlace& place) const;

    TPSPascalCompiler& Comp() { return *comp_; }
    TPSDebugExec& Exec();
    TPSRuntimeClassImporter* RuntimeImporter() const { return importer_.get(); }

protected:
    virtual void DoOnLine();
    virtual bool DoOnNeedFile(const std::string& originFileName, std::string& fileName, std::string& output);
    virtual bool DoFindUnknownUnit(const std::string& unitName);
    virtual void DoOnCompImport();
    virtual void DoOnCompile();
    virtual bool DoVerifyProc(TPSInternalProcedure* proc, const std::string& decl);
    virtual void DoOnExecImport(TPSRuntimeClassImporter* importer);
    virtual void DoOnExecute();
    virtual void DoAfterExecute();
    virtual Variant DoOnGetNotificationVariant(const std::string& name);
    virtual void DoOnSetNotificationVariant(const std::string& name, const Variant& v);
    virtual void DoOnProcessDirective(TPSPreProcessor& sender, const TPSPascalPreProcessorParser& parser, bool active,
                                      const std::string& directiveName, const std::string& directiveParam,
                                      bool& continueProcessing);
    virtual void DoOnProcessUnknowDirective(TPSPreProcessor& sender, const TPSPascalPreProcessorParser& parser,
                                            bool active, const std::string& directiveName,
                                            const std::string& directiveParam, bool& continueProcessing);

private:
    class Executer;
    friend class TPSPlugin;
    friend class TPSPluginItem;

    TPSExec& ExecBase();
    bool DeclareHostRoutine(std::string_view declaration, const std::function<void()>& registerNative);
    // The compiler's uses callback.
    bool CompilerUses(const std::string& unitName);
    void TranslateLineInfo(std::uint32_t& position, std::uint32_t& row, std::uint32_t& col, std::string& fileName);
    // Compiles the text, preprocessed first when UsePreProcessor is set.
    bool CompileText(const std::string& fileName, const std::string& text);
    // Called by the executer before each instruction.
    void BeforeInstruction();
    // Refuses to go on while a run of this component is in progress.
    void CheckNotRunning() const;
    void WatchPlugin(TPSPlugin* plugin);
    void PluginGone(TPSPlugin* plugin);

    std::unique_ptr<TPSPascalCompiler> comp_;
    std::unique_ptr<Executer> exec_;
    std::unique_ptr<TPSRuntimeClassImporter> importer_;
    TPSPreProcessor preprocessor_;
    std::string mainFileName_;
    // The plugins that tell this component when they go.
    std::vector<TPSPlugin*> watched_;
    // Only while a compile is under way may host routines be declared.
    bool canAdd_ = false;
    // A preprocessing failure, reported as the compile's one message.
    std::unique_ptr<TPSPascalCompilerMessage> preprocessorError_;

    // Execute under way, its events included: refuses a second start.
    std::atomic<bool> executing_{false};
    // The executer running the main block.
    std::atomic<bool> running_{false};
    // The thread runs happen on, and a stop asked for by another thread,
    // taken at the run's next instruction.
    std::atomic<bool> stopRequested_{false};
    std::atomic<std::thread::id> homeThread_{std::this_thread::get_id()};
};
