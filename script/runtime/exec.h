#pragma once
// The executer: one loaded bytecode image with its type and procedure
// records, the globals, the value stack, the host's native procedures, and
// the interpreter that runs the image's code.
//
// Nothing here raises: loading and running report a TPSError with a
// parameter text, kept as the executer's exception state. Host routines may
// raise; their exceptions become runtime errors of the running script.
//
// Reporting an error only records it. The interpreter's loop is the one
// place that acts on it: when the instruction that reported it ends, the
// loop unwinds to the innermost try block or stops the run. A value
// operation, a built-in or a host routine that fails thus never touches the
// try blocks, whatever runs around it; a nested run (a script procedure run
// for the host) unwinds its own errors in its own loop, up to its barrier.

#include "script/common/instruction_set.h"
#include "script/runtime/errors.h"
#include "script/runtime/stack.h"
#include "script/runtime/types.h"
#include "script/runtime/values.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TPSExec;
class TPSExternalProcRec;
class TPSDecodedCode;
struct TPSQuickIns;
struct TPSQuickOperand;
struct TPSQuickVar;
struct TPSNativeProc;

// A host routine: receives the executer, its own proc record (with the tags
// of its registration), the globals and the stack holding the parameters as
// the compiler laid them out. False fails the call.
using TPSProcHandler = bool (*)(TPSExec* exec, TPSExternalProcRec* proc, TPSStack* globals, TPSStack* stack);
// Called for a native proc when the natives are reset or the executer dies.
using TPSNativeProcFree = void (*)(TPSExec* exec, TPSNativeProc* proc);
// Binds a member import: True when it set the record's handler.
using TPSImportResolverProc = bool (*)(TPSExec* exec, TPSExternalProcRec* proc, std::uintptr_t tag);
using TPSOnRunLine = void (*)(TPSExec* exec);
using TPSOnException = void (*)(TPSExec* exec, TPSError code, const std::string& text, const std::exception_ptr& object,
                                std::uint32_t procNo, std::uint32_t position);
using TPSResourceFree = void (*)(TPSExec* exec, void* data);
// Read and write the script's notification variables by name.
using TPSOnGetNotificationVariant = Variant (*)(TPSExec* exec, const std::string& name);
using TPSOnSetNotificationVariant = void (*)(TPSExec* exec, const std::string& name, const Variant& value);

class TPSProcRec
{
public:
    virtual ~TPSProcRec() = default;
    TPSRuntimeAttributes attributes;
};

// A script procedure.
class TPSInternalProcRec : public TPSProcRec
{
public:
    TPSInternalProcRec();
    ~TPSInternalProcRec() override;

    std::string code; // the bytecode, an owned copy
    std::uint32_t exportNameHash = 0;
    std::string exportName;
    std::string exportDecl;
    // The code decoded for the interpreter, made when the procedure first runs.
    std::unique_ptr<TPSDecodedCode> decoded;
};

// A host routine, bound when the image is loaded.
class TPSExternalProcRec : public TPSProcRec
{
public:
    std::string name; // upper case; empty for a member bound by its declaration
    std::string decl;
    TPSProcHandler handler = nullptr;
    std::uintptr_t ext1 = 0;
    std::uintptr_t ext2 = 0;
};

struct TPSNativeProc
{
    std::string name; // upper case, at most 255 characters
    std::uint32_t hash = 0;
    TPSProcHandler handler = nullptr;
    TPSNativeProcFree freeProc = nullptr;
    std::uintptr_t ext1 = 0;
    std::uintptr_t ext2 = 0;
};

// A runtime error: its code and text, the host exception behind it (if
// any), and where it happened.
struct TPSErrorInfo
{
    TPSError code = ErNoError;
    std::string text;
    std::exception_ptr object;
    std::uint32_t procNo = 0xFFFFFFFF;
    std::uint32_t position = 0xFFFFFFFF;
};

// An open try block of the running code. A record without a proc is a
// barrier: an error reaching it stops there instead of unwinding further.
struct TPSExceptionHandler
{
    static constexpr std::uint32_t Absent = 0xFFFFFFFF;
    static constexpr std::uint32_t ExceptRunning = 0xFFFFFFFE;

    TPSInternalProcRec* proc = nullptr;
    std::int32_t frameBase = -1;
    std::size_t stackSize = 0;
    std::uint32_t finallyOffset = Absent;
    std::uint32_t exceptOffset = Absent;
    std::uint32_t secondFinallyOffset = Absent;
    std::uint32_t endOffset = Absent;
    // The return instruction waiting for this block's finally part to end.
    std::uint32_t exitPoint = Absent;
    // The error that sent the run into this block's finally part; it goes on
    // when the block is left. A try block inside that finally part ends
    // normally whatever error is pending around it.
    TPSErrorInfo pending;
    // The error the except part is handling.
    TPSError savedCode = ErNoError;
    std::exception_ptr savedObject;
    std::string savedText;
    std::uint32_t savedProc = Absent;
    std::uint32_t savedPosition = Absent;
};

// A value somewhere in memory, with its type.
struct TPSValueRef
{
    void* data = nullptr;
    const TPSTypeRec* type = nullptr;
};

// What an operand decodes to: the value, its type, where it lives, and
// whether it is a constant held on the temporaries.
struct TPSOperand
{
    void* data = nullptr;
    const TPSTypeRec* type = nullptr;
    bool temporary = false;
    TPSTargetOrigin origin;
};

enum class TPSStatus : std::uint8_t { NotLoaded = 0, Loaded = 1, Running = 2, Paused = 3 };

// How a descendant wants its BeforeInstruction called by a run that calls
// it: before every instruction; only before the marked instructions; or
// not at all, the run only noting the last marked instruction it passed.
enum class TPSHookLevel : std::uint8_t { NoteMarks, AtMarks, Every };

// The marked instructions of a procedure: their code positions in
// ascending order, or every instruction.
struct TPSMarks
{
    const std::vector<std::uint32_t>* positions = nullptr;
    bool all = false;
};

class TPSExec
{
public:
    static constexpr std::uint32_t NoProc = 0xFFFFFFFF;
    // How many runs of RunScriptProc may be in progress inside each other.
    static constexpr std::uint32_t MaxNestedRuns = 128;

    TPSExec();
    virtual ~TPSExec();
    TPSExec(const TPSExec&) = delete;
    TPSExec& operator=(const TPSExec&) = delete;

    void* ID = nullptr;               // the owner
    TPSOnRunLine OnRunLine = nullptr; // called before each instruction
    TPSOnException OnException = nullptr;
    TPSOnGetNotificationVariant OnGetNotificationVariant = nullptr;
    TPSOnSetNotificationVariant OnSetNotificationVariant = nullptr;

    // --- loading
    virtual bool LoadBytecode(std::string_view image);
    virtual void Clear();
    virtual void ResetGlobals();
    virtual bool BindExternalProc(const std::string& name, TPSExternalProcRec* proc);

    // --- host routines
    // Later registrations of a name shadow earlier ones.
    TPSNativeProc* RegisterProcName(std::string_view name, TPSProcHandler handler, std::uintptr_t ext1 = 0,
                                    std::uintptr_t ext2 = 0, TPSNativeProcFree freeProc = nullptr);
    void AddImportResolver(std::string_view name, TPSImportResolverProc handler, std::uintptr_t tag);
    void ClearImportResolvers();
    std::uintptr_t FindImportResolver(TPSImportResolverProc handler) const;
    void ResetNativeProcs();

    // --- objects scripts created through host routines; freed at Clear
    void AddResource(TPSResourceFree freeProc, void* data);
    // Searches from index (clamped to the last entry) down; sets index to the
    // found index - 1, or -1 when none is found.
    void* FindResource(TPSResourceFree freeProc, std::ptrdiff_t& index) const;

    // --- running
    bool ExecuteCode();
    // Runs one procedure; every parameter is passed by reference, the
    // result (if any) among them as the compiler lays out a call.
    bool RunScriptProc(const std::vector<TPSValueRef>& params, std::uint32_t procNo);
    virtual void Stop();
    virtual void Pause();
    virtual void BeforeInstruction();
    // Asks the run in progress to call BeforeInstruction before its next
    // instruction, even when it calls no hook otherwise. Any thread may ask;
    // a request made while nothing runs is taken by the next run.
    void RequestBeforeInstruction() { __atomic_store_n(&beforeInstructionAsked_, true, __ATOMIC_RELEASE); }
    // Pushes a try record that stops an error from unwinding past it (a
    // script procedure run for the host must not unwind into the script
    // that was running before); PopBarrier removes it when no error did.
    void PushBarrier();
    bool PopBarrier();

    // --- errors
    void SetError(TPSError code);
    void SetErrorWithText(TPSError code, std::string text);
    // Records the error where the run stands and tells OnException; the
    // running instruction then fails.
    void ReportError(TPSError code, std::string text, std::exception_ptr object = nullptr);
    // Records the error and unwinds to the innermost try block, or stops the
    // run when none takes it. The interpreter's loop calls it for the error
    // an instruction reported; code ErNoError clears the error state.
    virtual void HandleException(std::uint32_t procNo, std::uint32_t position, TPSError code, std::string text,
                                 std::exception_ptr object);
    // Reports an exception raised inside a runtime operation as the error it
    // stands for.
    void ReportException(std::exception_ptr error) { handleHostException(std::move(error)); }
    // Hands the recorded error over and clears it, so that it is no longer
    // the executer's to act on: for a host that raises it on its own side.
    TPSErrorInfo TakeError();

    // --- marks
    // The instructions of a procedure that HookLevel's marks are, asked when
    // the procedure's code is first decoded; positions the descendant keeps
    // for as long as the image is loaded.
    virtual TPSMarks MarksOf(const TPSInternalProcRec& proc) const;

    // --- state
    TPSStatus Status() const { return status_; }
    TPSError ExceptionCode() const { return exceptionCode_; }
    const std::string& ExceptionText() const { return exceptionText_; }
    std::uint32_t ExceptionProcNo() const { return exceptionProc_; }
    std::uint32_t ExceptionPos() const { return exceptionPos_; }
    const std::exception_ptr& ExceptionObject() const { return exceptionObject_; }

    std::size_t TypeCount() const { return types_.size(); }
    // The image's first LongInt type, none without one.
    const TPSTypeRec* LongIntType() const { return longIntType_; }
    const TPSTypeRec* GetTypeByNumber(std::size_t n) const { return n < types_.size() ? types_[n].get() : nullptr; }
    // The first type of the base at or after start, its number in index.
    const TPSTypeRec* FindTypeByBase(std::size_t start, ps::BaseType base, std::size_t* index = nullptr) const;
    std::size_t ProcCount() const { return procs_.size(); }
    TPSProcRec* GetProcNo(std::size_t n) const { return n < procs_.size() ? procs_[n].get() : nullptr; }
    std::uint32_t MainProcNo() const { return mainProc_; }
    // Global number of an exported global by name (any case), or -1.
    std::int64_t FindExportedGlobal(std::string_view name) const;
    TPSValueRef GetGlobalVar(std::size_t n) const;

    TPSStack& Globals() { return globals_; }
    std::size_t GlobalCount() const { return globals_.Count(); }
    TPSStackEntry* GlobalEntry(std::size_t n) const { return globals_.At(n); }
    TPSStack& Stack() { return stack_; }
    std::int32_t FrameBase() const { return frameBase_; }
    std::uint32_t Position() const { return position_; }
    TPSInternalProcRec* CurrentProc() const { return currentProc_; }
    std::size_t TryDepth() const { return tryRecords_.size(); }
    // The innermost open try block, none outside any.
    TPSExceptionHandler* InnermostTry() const { return tryRecords_.empty() ? nullptr : tryRecords_.back().get(); }

    // What a parameter entry of a host routine stands for: a var parameter
    // (a pointer entry) is followed to its variable. False when the variable
    // is gone.
    bool ParamTarget(TPSStackEntry* entry, TPSValueRef& out) const;
    // A pointer value's target; false when it has none or it is gone.
    bool PointerTarget(const TPSPointerValue& pointer, TPSValueRef& out) const;

    // Caps the bytes the value stack, the temporaries and the globals may
    // each hold, and any one thing a script makes (a text, an array, the
    // Variants of an array); a push or an allocation beyond it is "Out Of
    // Memory".
    void SetMemoryLimit(std::size_t bytes);
    std::size_t MemoryLimit() const { return stack_.limit(); }

    const TPSTypeRec* VariantType() const { return &variantType_; }
    // Where object references stand in 32-bit integers; emptied by Clear.
    TPSObjectHandles& ObjectHandles() { return objectHandles_; }
    const TPSTypeRec* VariantArrayType() const { return &variantArrayType_; }

protected:
    // A descendant that overrides BeforeInstruction returns true here, so
    // that the interpreter calls it; the base executer then pays nothing for
    // the hook unless OnRunLine is set.
    virtual bool HasInstructionHook() const { return false; }
    // Whether instructions may run from their decoded entries; a descendant
    // that answers false has every one read from its bytes, as a reference
    // for the decoded code. Asked once per run.
    virtual bool UsesDecodedCode() const { return true; }
    // For a run that calls the hook: how often. Asked at the start of the
    // run, after each call of the hook and after each instruction read from
    // its bytes (a host routine among them); OnRunLine always wants every
    // instruction.
    virtual TPSHookLevel HookLevel() const { return TPSHookLevel::Every; }
    // Forgets the decoded code, so that the marks are asked again; only
    // while no run is under way, else false.
    bool ForgetDecodedCode();
    // The last marked instruction a run that notes them passed, and how many
    // it passed in all.
    std::uint64_t MarksPassed() const { return marksPassed_; }
    const TPSInternalProcRec* MarkProc() const { return markProc_; }
    std::uint32_t MarkPosition() const { return markPos_; }

private:
    struct ExportedVar
    {
        std::string name;
        std::uint32_t hash;
        std::uint32_t number;
    };
    struct Resource
    {
        TPSResourceFree freeProc;
        void* data;
    };
    struct ImportResolver
    {
        TPSImportResolverProc handler;
        std::uint32_t hash;
        std::string name;
        std::uintptr_t tag;
    };

    // Reports the error and gives False, for the many checks that fail so.
    bool fail(TPSError code);

    // Loading.
    bool loadImage(std::string_view image);
    bool loadTypes(std::string_view image, std::size_t& pos, std::uint32_t count, std::uint32_t build);
    std::unique_ptr<TPSTypeRec> loadType(std::string_view image, std::size_t& pos, ps::BaseType base);
    bool loadProcs(std::string_view image, std::size_t& pos, std::uint32_t count);
    bool loadVars(std::string_view image, std::size_t& pos, std::uint32_t count);
    bool loadAttributes(std::string_view image, std::size_t& pos, TPSRuntimeAttributes& out);

    // Interpreting.
    void runLoop(bool hook, bool decoded);
    // Calls BeforeInstruction for the instruction at the position; false
    // when an error it reported ended the instruction (already unwound).
    bool callHook();
    // Asks the hook level again (OnRunLine first).
    void refreshHookLevel() { hookLevel_ = OnRunLine ? TPSHookLevel::Every : HookLevel(); }
    // Before an instruction read from its bytes: notes it when marked, and
    // tells whether the hook is to be called.
    bool hookWantedAt(bool hook);
    void noteMark(std::uint32_t position)
    {
        markProc_ = currentProc_;
        markPos_ = position;
        ++marksPassed_;
    }
    // Runs the instruction at the position by reading its bytes; false when
    // the run must end.
    bool genericStep();
    // How a stretch of decoded entries ended.
    enum class QuickExit {
        End,       // the run must end
        Resume,    // the run goes on from the position
        ReadBytes, // the instruction at the position, its hook already
                   // called, is to be read from its bytes
    };
    // Runs decoded entries from ip on, as long as they take the quick
    // paths. An instruction they leave is read from its bytes by the
    // caller, so that no frame of theirs stays beneath the calls it makes.
    QuickExit runQuick(const TPSQuickIns* ip, bool hook);
    // What the quick paths do around each entry: nothing but take a
    // request; note marked entries (and call the hook there); call the hook
    // before every instruction.
    enum class QuickMode : std::uint8_t { Plain, Note, AtMarks, Every };
    // Where the quick paths find the running frame's slots: kept at hand
    // while they run, and taken again when a call or a return moves the
    // frame.
    struct QuickFrame
    {
        TPSStackEntry* const* entries;
        std::int64_t base;
    };
    template <QuickMode Mode> QuickExit runQuick(const TPSQuickIns* ip);
    const TPSDecodedCode& decodedOf(TPSInternalProcRec* proc);
    // The decoded code keeps neither the position nor the code; leaving it,
    // they are set for the current procedure.
    void leaveAt(std::uint32_t position)
    {
        position_ = position;
        code_ = currentProc_->code;
    }
    [[gnu::always_inline]] bool beforeInstructionAsked() const
    {
        return __atomic_load_n(&beforeInstructionAsked_, __ATOMIC_RELAXED);
    }
    // Whether a pointer has a target: it has one, and the stack entry it
    // aimed at, if any, is still there.
    [[gnu::always_inline]] bool targetAlive(const TPSPointerValue& pointer) const
    {
        if (!pointer.data || !pointer.type)
            return false;
        if (pointer.origin.stackIndex < 0)
            return true;
        const TPSStackEntry* entry = stack_.At(static_cast<std::size_t>(pointer.origin.stackIndex));
        return entry && entry->serial == pointer.origin.stackSerial;
    }
    TPSStackEntry* quickEntry(const QuickFrame& f, const TPSQuickVar& var) const;
    std::int32_t* longIntOf(const QuickFrame& f, const TPSQuickOperand& operand) const;
    std::int32_t* longIntIn(TPSStackEntry* entry) const;
    template <bool UsePointer, bool WithOrigin>
    bool quickOperand(const QuickFrame& f, const TPSQuickOperand& operand, void*& data, const TPSTypeRec*& type,
                      TPSTargetOrigin* origin = nullptr) const;
    bool quickAssign(const QuickFrame& f, const TPSQuickIns& ins);
    bool quickCalc(const QuickFrame& f, const TPSQuickIns& ins);
    bool quickCalcThrough(const QuickFrame& f, const TPSQuickIns* run);
    bool quickCall(const TPSQuickIns& ins, const TPSQuickIns*& ip);
    bool quickValueCall(const QuickFrame& f, const TPSQuickIns*& ip);
    bool quickCompare(const QuickFrame& f, const TPSQuickIns& ins);
    bool quickCompareOutcome(const QuickFrame& f, const TPSQuickIns& ins, bool& outcome) const;
    bool quickStep(const QuickFrame& f, const TPSQuickIns& ins);
    bool quickPushType(const TPSQuickIns& ins);
    bool quickPop();
    bool quickPushRef(const QuickFrame& f, const TPSQuickIns& ins);
    bool quickSetPointer(const QuickFrame& f, const TPSQuickIns& ins);
    bool step(std::uint8_t opcode);
    // One helper per instruction, or per family of alike instructions.
    bool decodeTarget(TPSOperand& dest);
    bool doAssign();
    bool doCalc();
    bool doCompare();
    bool doPush();
    bool doPushType();
    bool doCall();
    bool doCallVar();
    bool doJump(pscode::Op op);
    bool doJumpIf(bool whenNonZero);
    bool doUnary(pscode::Op op);
    bool doSetFlag();
    bool DecodeOperand(TPSOperand& out, bool usePointer);
    bool selectElement(TPSOperand& out, std::int64_t index);
    TPSStackEntry* resolveVar(std::uint32_t number, TPSError stackError, TPSTargetOrigin& origin);
    bool followPointer(const TPSPointerValue& pointer, TPSOperand& out);
    bool readElementIndex(std::uint32_t number, std::int64_t& index);
    bool readByte(std::uint8_t& out);
    bool readLong(std::uint32_t& out);
    bool jumpBy(std::int32_t offset);
    void enterProc(TPSInternalProcRec* proc);
    bool callProc(std::uint32_t procNo);
    bool callExternal(TPSExternalProcRec* proc);
    bool doReturn();
    bool runScriptProc(const std::vector<TPSValueRef>& params, std::uint32_t procNo);
    bool doTryOpen();
    bool doTryEnd();
    bool setPointer(bool ownedCopy);
    bool pushReference();
    bool popChecked(std::size_t count);
    bool incrementOrDecrement(int delta);
    bool testOperand(bool& nonZero);
    void leaveTryBlock();
    void dropTryRecord();
    // Records an error without telling OnException.
    void recordError(std::uint32_t procNo, std::uint32_t position, TPSError code, std::string text,
                     std::exception_ptr object);
    // Unwinds for the error the last instruction reported, if it did.
    void unwindReported();
    void enterPart(std::uint32_t& part);
    void enterExcept(TPSExceptionHandler& record, TPSErrorInfo error);
    void handleHostException(std::exception_ptr error);
    std::uint32_t currentProcNo() const;
    void freeTryRecords();
    void registerBuiltins();

    std::vector<std::unique_ptr<TPSTypeRec>> types_;
    std::vector<std::unique_ptr<TPSProcRec>> procs_;
    std::vector<ExportedVar> exportedVars_;
    std::vector<Resource> resources_;
    std::vector<std::unique_ptr<TPSNativeProc>> natives_;
    std::vector<ImportResolver> resolvers_;
    std::vector<std::unique_ptr<TPSExceptionHandler>> tryRecords_;

    TPSTypeRec returnAddressType_{ps::BaseType::ReturnAddress};
    TPSTypeRec variantType_{ps::BaseType::Variant};
    TPSTypeRec_Array variantArrayType_{&variantType_};

    TPSObjectHandles objectHandles_;
    TPSBlockArena arena_;
    TPSStack globals_;
    TPSStack temps_;
    TPSStack stack_;

    std::uint32_t mainProc_ = NoProc;
    // The image's first LongInt type, which the quickest paths know.
    const TPSTypeRec* longIntType_ = nullptr;
    TPSStatus status_ = TPSStatus::NotLoaded;
    TPSStatus runStartStatus_ = TPSStatus::Loaded;
    TPSInternalProcRec* currentProc_ = nullptr;
    std::string_view code_;
    std::uint32_t position_ = 0;
    std::uint32_t instructionPos_ = 0; // where the running instruction starts
    std::int32_t frameBase_ = -1;
    bool jumpFlag_ = false;
    std::uint32_t nestedRuns_ = 0;
    // How the running loop calls the hook, when it calls one.
    TPSHookLevel hookLevel_ = TPSHookLevel::Every;
    // The last marked instruction passed.
    const TPSInternalProcRec* markProc_ = nullptr;
    std::uint32_t markPos_ = 0;
    std::uint64_t marksPassed_ = 0;
    // Set by RequestBeforeInstruction from any thread; only ever read and
    // written atomically.
    bool beforeInstructionAsked_ = false;

    std::exception_ptr exceptionObject_;
    std::uint32_t exceptionProc_ = NoProc;
    std::uint32_t exceptionPos_ = NoProc;
    TPSError exceptionCode_ = ErNoError;
    std::string exceptionText_;
    // An error was reported and is not yet unwound for.
    bool errorReported_ = false;
};

// Whether values of the type can be written as constants in an image.
bool HasConstEncoding(const TPSTypeRec* type);
// Reads a value of the type in the image's constant encoding into an
// initialised value of that type. ErOutOfRange when the data ends early,
// erInvalidType for a type that has no encoding.
TPSError ReadConstValue(std::string_view data, std::size_t& pos, const TPSTypeRec* type, void* value);
