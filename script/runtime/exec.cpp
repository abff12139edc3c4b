#include "script/runtime/exec.h"

#include "script/common/utils.h"
#include "script/runtime/builtins.h"
#include "script/runtime/class_importer.h"
#include "script/runtime/decoded_code.h"

#include <algorithm>

TPSExec::TPSExec()
{
    returnAddressType_.CalcSize();
    variantType_.CalcSize();
    variantArrayType_.CalcSize();
    registerBuiltins();
}

TPSExec::~TPSExec()
{
    Clear();
    for (const auto& native : natives_)
        if (native->freeProc)
            native->freeProc(this, native.get());
}

// The built-in routines register here; the host adds its own after creation.
void TPSExec::registerBuiltins()
{
    RegisterBuiltinProcs(this);
    RegisterInterfaceResolver(this);
}

void TPSExec::freeTryRecords()
{
    while (!tryRecords_.empty())
        tryRecords_.pop_back();
}

void TPSExec::Clear()
{
    freeTryRecords();
    // Last created first: a resource may refer to an earlier one.
    while (!resources_.empty()) {
        const Resource resource = resources_.back();
        resources_.pop_back();
        resource.freeProc(this, resource.data);
    }
    exportedVars_.clear();
    objectHandles_.Clear();
    stack_.Clear();
    temps_.Clear();
    // Values refer to procedures and types, so the storage goes first, and
    // the blocks that only held each other before the types they need.
    globals_.Clear();
    procs_.clear();
    arena_.FreeAll();
    // Attribute values may be of any type, the one they belong to included.
    for (const auto& type : types_)
        type->attributes.clear();
    types_.clear();
    longIntType_ = nullptr;
    mainProc_ = NoProc;
    status_ = TPSStatus::NotLoaded;
    currentProc_ = nullptr;
    code_ = {};
    position_ = 0;
    frameBase_ = -1;
}

void TPSExec::ResetGlobals()
{
    if (status_ != TPSStatus::Loaded)
        return;
    temps_.Clear();
    stack_.Clear();
    for (std::size_t i = globals_.Count(); i-- > 0;) {
        TPSStackEntry* entry = globals_.Items(static_cast<std::ptrdiff_t>(i));
        FinalizeValue(entry->data(), entry->type);
        InitializeValue(entry->data(), entry->type);
    }
}

bool TPSExec::BindExternalProc(const std::string& name, TPSExternalProcRec* proc)
{
    if (!name.empty()) {
        const std::uint32_t hash = MakeHash(name);
        for (auto it = natives_.rbegin(); it != natives_.rend(); ++it) {
            const TPSNativeProc& native = **it;
            if (native.hash == hash && native.name == name) {
                proc->handler = native.handler;
                proc->ext1 = native.ext1;
                proc->ext2 = native.ext2;
                return true;
            }
        }
        return false;
    }
    // A member import: the declaration names its resolver before the first ':'.
    const std::string prefix = proc->decl.substr(0, proc->decl.find(':'));
    const std::uint32_t hash = MakeHash(prefix);
    for (auto it = resolvers_.rbegin(); it != resolvers_.rend(); ++it) {
        if (!it->name.empty() && (it->hash != hash || it->name != prefix))
            continue;
        if (it->handler(this, proc, it->tag))
            return true;
    }
    return false;
}

TPSNativeProc* TPSExec::RegisterProcName(std::string_view name, TPSProcHandler handler, std::uintptr_t ext1,
                                         std::uintptr_t ext2, TPSNativeProcFree freeProc)
{
    auto native = std::make_unique<TPSNativeProc>();
    native->name = FastUpperCase(name.substr(0, 255));
    native->hash = MakeHash(native->name);
    native->handler = handler;
    native->freeProc = freeProc;
    native->ext1 = ext1;
    native->ext2 = ext2;
    natives_.push_back(std::move(native));
    return natives_.back().get();
}

void TPSExec::AddImportResolver(std::string_view name, TPSImportResolverProc handler, std::uintptr_t tag)
{
    resolvers_.push_back({handler, MakeHash(name), std::string(name), tag});
}

void TPSExec::ClearImportResolvers()
{
    resolvers_.clear();
}

std::uintptr_t TPSExec::FindImportResolver(TPSImportResolverProc handler) const
{
    for (const ImportResolver& resolver : resolvers_)
        if (resolver.handler == handler)
            return resolver.tag;
    return 0;
}

void TPSExec::ResetNativeProcs()
{
    for (const auto& native : natives_)
        if (native->freeProc)
            native->freeProc(this, native.get());
    natives_.clear();
    registerBuiltins();
}

TPSMarks TPSExec::MarksOf(const TPSInternalProcRec&) const
{
    return {};
}

bool TPSExec::ForgetDecodedCode()
{
    // Frames of a run refer to the decoded entries they return to.
    if (status_ == TPSStatus::Running || status_ == TPSStatus::Paused || nestedRuns_ != 0)
        return false;
    for (const auto& proc : procs_)
        if (auto* internal = dynamic_cast<TPSInternalProcRec*>(proc.get()))
            internal->decoded.reset();
    return true;
}

void TPSExec::AddResource(TPSResourceFree freeProc, void* data)
{
    resources_.push_back({freeProc, data});
}

void* TPSExec::FindResource(TPSResourceFree freeProc, std::ptrdiff_t& index) const
{
    const auto last = static_cast<std::ptrdiff_t>(resources_.size()) - 1;
    for (std::ptrdiff_t i = std::min(index, last); i >= 0; --i) {
        if (resources_[static_cast<std::size_t>(i)].freeProc == freeProc) {
            index = i - 1;
            return resources_[static_cast<std::size_t>(i)].data;
        }
    }
    index = -1;
    return nullptr;
}

const TPSTypeRec* TPSExec::FindTypeByBase(std::size_t start, ps::BaseType base, std::size_t* index) const
{
    for (std::size_t i = start; i < types_.size(); ++i) {
        if (types_[i]->baseType == base) {
            if (index)
                *index = i;
            return types_[i].get();
        }
    }
    return nullptr;
}

std::int64_t TPSExec::FindExportedGlobal(std::string_view name) const
{
    const std::string upper = FastUpperCase(name);
    const std::uint32_t hash = MakeHash(upper);
    for (const ExportedVar& var : exportedVars_)
        if (var.hash == hash && var.name == upper)
            return var.number;
    return -1;
}

TPSValueRef TPSExec::GetGlobalVar(std::size_t n) const
{
    TPSStackEntry* entry = globals_.Items(static_cast<std::ptrdiff_t>(n));
    return entry ? TPSValueRef{entry->data(), entry->type} : TPSValueRef{};
}

void TPSExec::SetMemoryLimit(std::size_t bytes)
{
    globals_.setLimit(bytes);
    temps_.setLimit(bytes);
    stack_.setLimit(bytes);
}

// --- errors and unwinding

std::uint32_t TPSExec::currentProcNo() const
{
    for (std::size_t i = procs_.size(); i-- > 0;)
        if (procs_[i].get() == currentProc_)
            return static_cast<std::uint32_t>(i);
    return NoProc;
}

bool TPSExec::fail(TPSError code)
{
    SetError(code);
    return false;
}

void TPSExec::SetError(TPSError code)
{
    ReportError(code, {});
}

void TPSExec::SetErrorWithText(TPSError code, std::string text)
{
    ReportError(code, std::move(text));
}

void TPSExec::ReportError(TPSError code, std::string text, std::exception_ptr object)
{
    // A running instruction fails as a whole: the error is placed where it
    // starts, not where reading its operands stopped.
    const std::uint32_t procNo = currentProcNo();
    const std::uint32_t position = status_ == TPSStatus::Running ? instructionPos_ : position_;
    if (OnException)
        OnException(this, code, text, object, procNo, position);
    recordError(procNo, position, code, std::move(text), std::move(object));
}

void TPSExec::recordError(std::uint32_t procNo, std::uint32_t position, TPSError code, std::string text,
                          std::exception_ptr object)
{
    exceptionProc_ = procNo;
    exceptionPos_ = position;
    exceptionCode_ = code;
    exceptionText_ = std::move(text);
    exceptionObject_ = std::move(object);
    errorReported_ = code != ErNoError;
}

TPSErrorInfo TPSExec::TakeError()
{
    TPSErrorInfo error{exceptionCode_, std::move(exceptionText_), std::move(exceptionObject_), exceptionProc_,
                       exceptionPos_};
    recordError(NoProc, NoProc, ErNoError, {}, nullptr);
    return error;
}

void TPSExec::unwindReported()
{
    if (errorReported_)
        HandleException(exceptionProc_, exceptionPos_, exceptionCode_, exceptionText_, exceptionObject_);
}

void TPSExec::HandleException(std::uint32_t procNo, std::uint32_t position, TPSError code, std::string text,
                              std::exception_ptr object)
{
    recordError(procNo, position, code, std::move(text), std::move(object));
    errorReported_ = false;
    if (code == ErNoError)
        return;
    const TPSErrorInfo error{exceptionCode_, exceptionText_, exceptionObject_, exceptionProc_, exceptionPos_};
    while (!tryRecords_.empty()) {
        TPSExceptionHandler& record = *tryRecords_.back();
        stack_.PopTo(record.stackSize);
        if (!record.proc) {
            tryRecords_.pop_back();
            frameBase_ = -1;
            status_ = TPSStatus::Paused;
            return;
        }
        currentProc_ = record.proc;
        code_ = record.proc->code;
        frameBase_ = record.frameBase;
        if (record.finallyOffset != TPSExceptionHandler::Absent) {
            enterPart(record.finallyOffset);
            record.pending = error;
            return;
        }
        if (record.exceptOffset != TPSExceptionHandler::Absent &&
            record.exceptOffset != TPSExceptionHandler::ExceptRunning) {
            enterExcept(record, error);
            return;
        }
        if (record.secondFinallyOffset != TPSExceptionHandler::Absent) {
            enterPart(record.secondFinallyOffset);
            record.pending = error;
            return;
        }
        tryRecords_.pop_back();
    }
    // A run that nothing handles an error for stops where it stands. An
    // executer that is not running stays as it is: a paused one would
    // otherwise resume at a stale position on the next run.
    if (status_ == TPSStatus::Running)
        status_ = TPSStatus::Paused;
}

// Goes to a finally part and marks it entered.
void TPSExec::enterPart(std::uint32_t& part)
{
    position_ = part;
    part = TPSExceptionHandler::Absent;
}

// The except part takes the error over and runs as ordinary code; the
// error's text stays readable.
void TPSExec::enterExcept(TPSExceptionHandler& record, TPSErrorInfo error)
{
    position_ = record.exceptOffset;
    record.exceptOffset = TPSExceptionHandler::ExceptRunning;
    record.savedCode = error.code;
    record.savedObject = std::move(error.object);
    record.savedText = error.text;
    record.savedProc = error.procNo;
    record.savedPosition = error.position;
    record.pending = {};
    exceptionCode_ = ErNoError;
    exceptionObject_ = nullptr;
    exceptionText_ = std::move(error.text);
}

void TPSExec::handleHostException(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const EPSException& e) {
        // Told where it happened already.
        recordError(e.procNo(), e.procPos(), erCustomError, e.what(), nullptr);
    } catch (const EDivByZero& e) {
        ReportError(ErDivideByZero, e.what(), error);
    } catch (const EZeroDivide& e) {
        ReportError(ErDivideByZero, e.what(), error);
    } catch (const EMathError& e) {
        ReportError(ErMathError, e.what(), error);
    } catch (const std::bad_alloc&) {
        ReportError(erOutOfMemory, {}, error);
    } catch (const std::exception& e) {
        ReportError(erException, e.what(), error);
    } catch (...) {
        ReportError(erException, {}, error);
    }
}

void TPSExec::PushBarrier()
{
    auto barrier = std::make_unique<TPSExceptionHandler>();
    barrier->stackSize = stack_.Count();
    tryRecords_.push_back(std::move(barrier));
}

bool TPSExec::PopBarrier()
{
    if (tryRecords_.empty() || tryRecords_.back()->proc)
        return false;
    tryRecords_.pop_back();
    return true;
}
