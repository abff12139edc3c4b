#include "script/component/script_component.h"

#include "script/common/utils.h"
#include "script/runtime/errors.h"

#include <algorithm>
#include <cstring>

// ---- Plugins --------------------------------------------------------------------

TPSPlugin::~TPSPlugin()
{
    // Each holder drops its items, which takes it off the list.
    while (!holders_.empty())
        holders_.back()->PluginGone(this);
}

void TPSPlugin::CompileUsesHook(TPSScript*) {}
void TPSPlugin::ExecUsesHook(TPSScript*) {}
void TPSPlugin::CompileImportBefore(TPSScript*) {}
void TPSPlugin::CompileImportAfter(TPSScript*) {}
void TPSPlugin::ExecImportBefore(TPSScript*, TPSRuntimeClassImporter*) {}
void TPSPlugin::ExecImportAfter(TPSScript*, TPSRuntimeClassImporter*) {}

void TPSPluginItem::SetPlugin(TPSPlugin* plugin)
{
    plugin_ = plugin;
    if (plugin)
        owner_->WatchPlugin(plugin);
}

std::string TPSPluginItem::DisplayName() const
{
    return plugin_ ? plugin_->Name : "<nil>";
}

TPSPluginItem& TPSPlugins::Add()
{
    return *items_.emplace_back(std::make_unique<TPSPluginItem>(owner_));
}

void TPSPlugins::Delete(std::size_t index)
{
    if (index < items_.size())
        items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
}

std::vector<TPSPlugin*> TPSPlugins::Held() const
{
    std::vector<TPSPlugin*> held;
    for (const auto& item : items_)
        if (item->Plugin())
            held.push_back(item->Plugin());
    return held;
}

// The component stays on the list of every plugin it ever held until one
// of the two goes, whatever its items hold meanwhile.
void TPSScript::WatchPlugin(TPSPlugin* plugin)
{
    if (std::find(watched_.begin(), watched_.end(), plugin) != watched_.end())
        return;
    watched_.push_back(plugin);
    plugin->holders_.push_back(this);
}

void TPSScript::PluginGone(TPSPlugin* plugin)
{
    std::erase_if(Plugins.items_, [plugin](const auto& item) { return item->Plugin() == plugin; });
    std::erase(plugin->holders_, this);
    std::erase(watched_, plugin);
}

// ---- The executer ---------------------------------------------------------------

// The component's executer: it calls the component's line event before
// each instruction, and takes a stop asked for by another thread before the
// next one.
class TPSScript::Executer : public TPSDebugExec
{
public:
    explicit Executer(TPSScript& owner) : owner_(owner) {}

    // Without a line event or debugging, a run calls it only when a stop is
    // asked for.
    void BeforeInstruction() override
    {
        if (owner_.stopRequested_.load(std::memory_order_relaxed) || owner_.OnLine) {
            owner_.BeforeInstruction();
            if (Status() != TPSStatus::Running)
                return;
        }
        if (DebugEnabled || OnRunLine)
            TPSDebugExec::BeforeInstruction();
    }

protected:
    bool HasInstructionHook() const override { return owner_.OnLine || TPSDebugExec::HasInstructionHook(); }
    TPSHookLevel HookLevel() const override { return owner_.OnLine ? TPSHookLevel::Every : TPSDebugExec::HookLevel(); }

private:
    TPSScript& owner_;
};

void TPSScript::BeforeInstruction()
{
    if (stopRequested_.exchange(false)) {
        exec_->Stop();
        return;
    }
    if (!OnLine)
        return;
    // The host's handler must not raise through the interpreter: what it
    // raises becomes the script's runtime error.
    try {
        DoOnLine();
    } catch (...) {
        exec_->ReportException(std::current_exception());
    }
}

// ---- Life cycle -----------------------------------------------------------------

TPSScript::TPSScript()
    : Plugins(this), comp_(std::make_unique<TPSPascalCompiler>()), exec_(std::make_unique<Executer>(*this))
{
    comp_->ID = this;
    comp_->OnUses = [](TPSPascalCompiler* sender, const std::string& unitName) {
        return static_cast<TPSScript*>(sender->ID)->CompilerUses(unitName);
    };
    comp_->OnExportCheck = [](TPSPascalCompiler* sender, TPSInternalProcedure* proc, const std::string& decl) {
        return static_cast<TPSScript*>(sender->ID)->DoVerifyProc(proc, decl);
    };
    exec_->ID = this;
    exec_->OnGetNotificationVariant = [](TPSExec* sender, const std::string& name) {
        return static_cast<TPSScript*>(sender->ID)->DoOnGetNotificationVariant(name);
    };
    exec_->OnSetNotificationVariant = [](TPSExec* sender, const std::string& name, const Variant& value) {
        static_cast<TPSScript*>(sender->ID)->DoOnSetNotificationVariant(name, value);
    };
    preprocessor_.OnNeedFile = [this](TPSPreProcessor&, const std::string& includingFile, std::string& fileName,
                                      std::string& content) { return DoOnNeedFile(includingFile, fileName, content); };
}

TPSScript::~TPSScript()
{
    for (TPSPlugin* plugin : watched_)
        std::erase(plugin->holders_, this);
    // The executer's values may refer to the class importer.
    exec_.reset();
}

const std::string& TPSScript::About()
{
    static const std::string banner = "Kestrova script engine 1.0";
    return banner;
}

void TPSScript::SetScriptText(std::string_view text)
{
    Script.Clear();
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            Script.Add(std::string(text.substr(start)));
            break;
        }
        Script.Add(std::string(text.substr(start, end - start)));
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
}

std::string TPSScript::ScriptText() const
{
    // Measured first, so that the text is written once into its room.
    std::size_t size = 0;
    for (const std::string& line : Script)
        size += line.size() + 1;
    std::string text(size, '\n');
    char* out = text.data();
    for (const std::string& line : Script) {
        std::memcpy(out, line.data(), line.size());
        out += line.size() + 1;
    }
    return text;
}

void TPSScript::SetMainFileName(const std::string& name)
{
    mainFileName_ = name;
}

TPSExec& TPSScript::ExecBase()
{
    return *exec_;
}

TPSDebugExec& TPSScript::Exec()
{
    return *exec_;
}

// ---- Compiling ------------------------------------------------------------------

void TPSScript::CheckNotRunning() const
{
    // A run of the event bridge counts too: the host may run a script
    // procedure outside Execute.
    if (executing_ || exec_->Status() == TPSStatus::Running)
        throw EPSScriptError("Script engine already running");
}

bool TPSScript::Compile()
{
    CheckNotRunning();
    homeThread_ = std::this_thread::get_id();

    exec_->Clear();
    exec_->SetError(ErNoError);
    exec_->ClearImportResolvers();
    exec_->ResetNativeProcs();
    importer_.reset();
    importer_ = std::make_unique<TPSRuntimeClassImporter>();

    const std::vector<TPSPlugin*> plugins = Plugins.Held();
    for (TPSPlugin* plugin : plugins)
        plugin->ExecImportBefore(this, importer_.get());
    DoOnExecImport(importer_.get());
    for (TPSPlugin* plugin : plugins)
        plugin->ExecImportAfter(this, importer_.get());
    RegisterClassLibraryRuntime(exec_.get(), importer_.get());
    for (TPSPlugin* plugin : plugins)
        plugin->ExecUsesHook(this);

    // Host routines may be declared only from inside this compile, whichever
    // way it ends.
    struct AddWindow
    {
        bool& canAdd;
        ~AddWindow() { canAdd = false; }
    } window{canAdd_};
    canAdd_ = true;

    comp_->AllowNoBegin = HasOption(CompilerOptions, TPSCompOption::icAllowNoBegin);
    comp_->AllowNoEnd = HasOption(CompilerOptions, TPSCompOption::icAllowNoEnd);
    comp_->AllowUnit = HasOption(CompilerOptions, TPSCompOption::icAllowUnit);
    comp_->BooleanShortCircuit = HasOption(CompilerOptions, TPSCompOption::icBooleanShortCircuit);

    comp_->Clear();
    preprocessorError_.reset();
    if (!CompileText(mainFileName_, ScriptText()))
        return false;
    canAdd_ = false;
    return LoadCompiledCode();
}

bool TPSScript::CompileText(const std::string& fileName, const std::string& text)
{
    if (!UsePreProcessor) {
        comp_->OnTranslateLineInfo = nullptr;
        return comp_->Compile(text);
    }
    // Clearing empties the predefined symbols too; every compile starts
    // from them and the host's own.
    preprocessor_.Clear();
    preprocessor_.InitializeDefines();
    for (const std::string& symbol : Defines)
        preprocessor_.Defines.Add(FastUpperCase(symbol));
    preprocessor_.OnProcessDirective = [this](TPSPreProcessor& sender, const TPSPascalPreProcessorParser& parser,
                                              bool active, const std::string& name, const std::string& param,
                                              bool& continueProcessing) {
        DoOnProcessDirective(sender, parser, active, name, param, continueProcessing);
    };
    preprocessor_.OnProcessUnknowDirective = [this](TPSPreProcessor& sender, const TPSPascalPreProcessorParser& parser,
                                                    bool active, const std::string& name, const std::string& param,
                                                    bool& continueProcessing) {
        DoOnProcessUnknowDirective(sender, parser, active, name, param, continueProcessing);
    };

    std::string output;
    try {
        output = preprocessor_.PreProcess(fileName, text);
    } catch (const EPSPreProcessor& e) {
        auto message = std::make_unique<TPSPascalCompilerError>(TPSCompilerErrorCode::CustomError, e.what());
        message->ModuleName = e.FileName;
        message->Row = e.Row;
        message->Col = e.Col;
        preprocessorError_ = std::move(message);
        return false;
    }

    comp_->OnTranslateLineInfo = [](TPSPascalCompiler* sender, std::uint32_t& position, std::uint32_t& row,
                                    std::uint32_t& col, std::string& name) {
        static_cast<TPSScript*>(sender->ID)->TranslateLineInfo(position, row, col, name);
    };
    struct Uninstall
    {
        TPSPascalCompiler& comp;
        ~Uninstall() { comp.OnTranslateLineInfo = nullptr; }
    } uninstall{*comp_};
    const bool compiled = comp_->Compile(std::move(output));
    for (std::size_t i = 0; i < comp_->GetMessageCount(); ++i)
        preprocessor_.AdjustMessage(*comp_->GetMessage(i));
    return compiled;
}

void TPSScript::TranslateLineInfo(std::uint32_t& position, std::uint32_t& row, std::uint32_t& col,
                                  std::string& fileName)
{
    TPSLineInfoResults found;
    if (!preprocessor_.LineInfo.GetLineInfo({}, position, found))
        return;
    position = found.Pos;
    row = found.Row;
    col = found.Col;
    fileName = found.Name;
}

bool TPSScript::CompilerUses(const std::string& unitName)
{
    if (unitName != "SYSTEM")
        return DoFindUnknownUnit(unitName);
    const std::vector<TPSPlugin*> plugins = Plugins.Held();
    for (TPSPlugin* plugin : plugins)
        plugin->CompileUsesHook(this);
    for (TPSPlugin* plugin : plugins)
        plugin->CompileImportBefore(this);
    DoOnCompImport();
    for (TPSPlugin* plugin : plugins)
        plugin->CompileImportAfter(this);
    DoOnCompile();
    for (std::size_t i = 0; i < comp_->GetMessageCount(); ++i)
        if (dynamic_cast<const TPSPascalCompilerError*>(comp_->GetMessage(i)))
            return false;
    return true;
}

bool TPSScript::DeclareHostRoutine(std::string_view declaration, const std::function<void()>& registerNative)
{
    if (!canAdd_)
        return false;
    // The executer's binding is checked first: a routine the compiler knows
    // but the executer cannot call would only fail when the script loads.
    try {
        registerNative();
    } catch (const EPSNativeRegistration&) {
        return false;
    }
    try {
        comp_->AddNativeFunction(declaration);
    } catch (const EPSCompilerException&) {
        return false;
    }
    return true;
}

bool TPSScript::LoadCompiledCode()
{
    std::string image;
    if (!comp_->GetOutput(image) || !exec_->LoadBytecode(image))
        return false;
    if (UseDebugInfo) {
        std::string debug;
        if (comp_->GetDebugOutput(debug))
            exec_->LoadDebugInfo(debug);
    }
    return true;
}

std::size_t TPSScript::CompilerMessageCount() const
{
    return comp_->GetMessageCount() + (preprocessorError_ ? 1 : 0);
}

const TPSPascalCompilerMessage* TPSScript::CompilerMessage(std::size_t index) const
{
    if (index < comp_->GetMessageCount())
        return comp_->GetMessage(index);
    return index == comp_->GetMessageCount() ? preprocessorError_.get() : nullptr;
}

// ---- Running --------------------------------------------------------------------

bool TPSScript::Execute()
{
    CheckNotRunning();
    homeThread_ = std::this_thread::get_id();
    stopRequested_ = false;
    // Refuses a second start from the events too, while IsRunning tells
    // only the run itself.
    executing_ = true;
    struct RunEnd
    {
        TPSScript& script;
        ~RunEnd()
        {
            script.running_ = false;
            script.executing_ = false;
            script.stopRequested_ = false;
        }
    } runEnd{*this};

    DoOnExecute();
    exec_->DebugEnabled = UseDebugInfo;
    // A run that ended in an error stands paused where it failed; the next
    // run starts the main block afresh.
    if (exec_->Status() == TPSStatus::Paused)
        exec_->Stop();
    running_ = true;
    const bool succeeded = exec_->ExecuteCode() && exec_->ExceptionCode() == ErNoError;
    running_ = false;
    DoAfterExecute();
    return succeeded;
}

bool TPSScript::IsRunning() const
{
    if (running_.load())
        return true;
    // A script procedure the host runs on its own thread outside Execute.
    return std::this_thread::get_id() == homeThread_.load() && exec_->Status() == TPSStatus::Running;
}

void TPSScript::Stop()
{
    if (std::this_thread::get_id() != homeThread_.load()) {
        // Another thread only asks: the run takes the request at its next
        // instruction.
        if (executing_) {
            stopRequested_ = true;
            exec_->RequestBeforeInstruction();
        }
        return;
    }
    const TPSStatus status = exec_->Status();
    if (status == TPSStatus::Running || status == TPSStatus::Paused)
        exec_->Stop();
}

std::string TPSScript::RuntimeErrorText() const
{
    return ErrorCodeToText(exec_->ExceptionCode(), exec_->ExceptionText());
}

std::uint32_t TPSScript::ExecErrorProcNo() const
{
    return exec_->ExceptionProcNo();
}

std::uint32_t TPSScript::ExecErrorByteCodePosition() const
{
    return exec_->ExceptionPos();
}

bool TPSScript::ExecErrorPlace(TPSSourcePlace& place) const
{
    const TPSFunctionDebugInfo* info = exec_->DebugInfoOf(exec_->ExceptionProcNo());
    if (!info)
        return false;
    // The error is placed at the start of the instruction that failed: the
    // statement that holds it is the last one that starts there or before.
    const std::uint32_t errorPos = exec_->ExceptionPos();
    const TPSPositionData* best = nullptr;
    for (const TPSPositionData& entry : info->positions)
        if (entry.codePosition <= errorPos && (!best || entry.codePosition >= best->codePosition))
            best = &entry;
    if (!best)
        return false;
    place = {best->fileName, best->sourcePosition, best->row, best->col};
    return true;
}

// ---- Events ---------------------------------------------------------------------

void TPSScript::DoOnLine()
{
    if (OnLine)
        OnLine(this);
}

bool TPSScript::DoOnNeedFile(const std::string& originFileName, std::string& fileName, std::string& output)
{
    return OnNeedFile && OnNeedFile(this, originFileName, fileName, output);
}

bool TPSScript::DoFindUnknownUnit(const std::string& unitName)
{
    // Without a handler the error names nothing, as no file was looked for.
    std::string fileName;
    std::string output;
    if (OnFindUnknownFile)
        fileName = unitName;
    if (!OnFindUnknownFile || !OnFindUnknownFile(this, {}, fileName, output)) {
        comp_->MakeError({}, TPSCompilerErrorCode::UnknownIdentifier, fileName);
        return false;
    }
    // A unit header is allowed for the time of this unit.
    struct AllowUnit
    {
        TPSPascalCompiler& comp;
        bool saved = comp.AllowUnit;
        ~AllowUnit() { comp.AllowUnit = saved; }
    } allowUnit{*comp_};
    comp_->AllowUnit = true;
    if (!UsePreProcessor)
        return comp_->CompileUnit(std::move(output), fileName);

    // The unit is preprocessed as a main file of its own; its positions map
    // through its own line information while it is compiled, and the
    // script's come back afterwards.
    struct ScriptLines
    {
        TPSLineInfoList& lines;
        TPSLineInfoList saved = lines;
        ~ScriptLines() { lines = std::move(saved); }
    } scriptLines{preprocessor_.LineInfo};
    std::string text;
    try {
        text = preprocessor_.PreProcess(fileName, output);
    } catch (const EPSPreProcessor& e) {
        TPSPascalCompilerError* error = comp_->MakeError({}, TPSCompilerErrorCode::CustomError, e.what());
        error->ModuleName = e.FileName;
        error->Row = e.Row;
        error->Col = e.Col;
        return false;
    }
    const std::size_t firstMessage = comp_->GetMessageCount();
    const bool compiled = comp_->CompileUnit(std::move(text), fileName);
    for (std::size_t i = firstMessage; i < comp_->GetMessageCount(); ++i) {
        // Found by position alone: the unit's own includes are in its lines.
        TPSPascalCompilerMessage& message = *comp_->GetMessage(i);
        message.ModuleName.clear();
        preprocessor_.AdjustMessage(message);
        if (message.ModuleName.empty())
            message.ModuleName = fileName;
    }
    return compiled;
}

void TPSScript::DoOnCompImport()
{
    if (OnCompImport)
        OnCompImport(this, comp_.get());
}

void TPSScript::DoOnCompile()
{
    if (OnCompile)
        OnCompile(this);
}

bool TPSScript::DoVerifyProc(TPSInternalProcedure* proc, const std::string& decl)
{
    if (!OnVerifyProc)
        return true;
    bool error = false;
    OnVerifyProc(this, proc, decl, error);
    return !error;
}

void TPSScript::DoOnExecImport(TPSRuntimeClassImporter* importer)
{
    if (OnExecImport)
        OnExecImport(this, exec_.get(), importer);
}

void TPSScript::DoOnExecute()
{
    if (OnExecute)
        OnExecute(this);
}

void TPSScript::DoAfterExecute()
{
    if (OnAfterExecute)
        OnAfterExecute(this);
}

Variant TPSScript::DoOnGetNotificationVariant(const std::string& name)
{
    if (!OnGetNotificationVariant)
        throw EPSScriptError("Unable to read variant");
    return OnGetNotificationVariant(this, name);
}

void TPSScript::DoOnSetNotificationVariant(const std::string& name, const Variant& v)
{
    if (!OnSetNotificationVariant)
        throw EPSScriptError("Unable to write variant");
    OnSetNotificationVariant(this, name, v);
}

void TPSScript::DoOnProcessDirective(TPSPreProcessor& sender, const TPSPascalPreProcessorParser& parser, bool active,
                                     const std::string& directiveName, const std::string& directiveParam,
                                     bool& continueProcessing)
{
    if (OnProcessDirective)
        OnProcessDirective(sender, parser, active, directiveName, directiveParam, continueProcessing);
}

void TPSScript::DoOnProcessUnknowDirective(TPSPreProcessor& sender, const TPSPascalPreProcessorParser& parser,
                                           bool active, const std::string& directiveName,
                                           const std::string& directiveParam, bool& continueProcessing)
{
    if (OnProcessUnknowDirective)
        OnProcessUnknowDirective(sender, parser, active, directiveName, directiveParam, continueProcessing);
}
