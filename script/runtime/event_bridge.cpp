#include "script/runtime/event_bridge.h"

#include "script/runtime/errors.h"
#include "script/runtime/value_ops.h"

#include <charconv>
#include <memory>
#include <string_view>

namespace {

struct ScriptMethod
{
    TPSExec* exec;
    std::uint32_t procNo;
};

// What the code of a script procedure's method value points at.
constexpr char kBridgeEntry = 0;

void freeScriptMethod(TPSExec*, void* data)
{
    delete static_cast<ScriptMethod*>(data);
}

struct ExportedParam
{
    bool byReference;
    const TPSTypeRec* type;
};

// Reads a procedure's export declaration: the result type number or -1,
// then for each parameter a blank, '!' for var or '@' for value, and its
// type number. False when it does not read so or names a missing type.
bool readExportDecl(const TPSExec* exec, std::string_view decl, const TPSTypeRec*& result,
                    std::vector<ExportedParam>& params)
{
    auto number = [&](std::int64_t& out) {
        const auto [end, error] = std::from_chars(decl.data(), decl.data() + decl.size(), out);
        if (error != std::errc())
            return false;
        decl.remove_prefix(static_cast<std::size_t>(end - decl.data()));
        return true;
    };
    auto typeOf = [&](std::int64_t n) { return n < 0 ? nullptr : exec->GetTypeByNumber(static_cast<std::size_t>(n)); };
    std::int64_t n = 0;
    if (!number(n) || (n != -1 && !typeOf(n)))
        return false;
    result = typeOf(n);
    while (!decl.empty()) {
        if (decl.size() < 3 || decl[0] != ' ' || (decl[1] != '!' && decl[1] != '@'))
            return false;
        const bool byReference = decl[1] == '!';
        decl.remove_prefix(2);
        if (!number(n) || !typeOf(n))
            return false;
        params.push_back({byReference, typeOf(n)});
    }
    return true;
}

[[noreturn]] void raiseError(TPSError code, std::uint32_t procNo, std::uint32_t position, std::string_view text = {})
{
    throw EPSException(ErrorCodeToText(code, text), procNo, position);
}

// Takes the error the executer recorded and raises it on the host's side:
// the exception behind it as it was raised, else the error's text. The
// executer keeps nothing of it, so the script that runs around the host
// routine sees it only if the host lets it through.
[[noreturn]] void raiseTakenError(TPSExec* exec, std::uint32_t procNo, std::uint32_t position)
{
    TPSErrorInfo error = exec->TakeError();
    if (error.object)
        std::rethrow_exception(error.object);
    raiseError(error.code, procNo, position, error.text);
}

// Values copied for the value parameters, released when the call ends.
class ValueCopies
{
public:
    ~ValueCopies()
    {
        for (const TPSTargetOrigin& copy : copies_)
            ReleaseOrigin(copy);
    }
    void* add(const TPSTypeRec* type)
    {
        TPSDynArrayHeader* block = NewValueBlock(type);
        copies_.push_back({block, type, -1, 0});
        return BlockData(block);
    }

private:
    std::vector<TPSTargetOrigin> copies_;
};

} // namespace

TPSProcValue ScriptProcMethod(TPSExec* exec, std::uint32_t procNo)
{
    void* entry = const_cast<char*>(&kBridgeEntry);
    std::ptrdiff_t index = PTRDIFF_MAX;
    while (void* data = exec->FindResource(freeScriptMethod, index))
        if (static_cast<ScriptMethod*>(data)->procNo == procNo)
            return {0, entry, data};
    auto* record = new ScriptMethod{exec, procNo};
    exec->AddResource(freeScriptMethod, record);
    return {0, entry, record};
}

bool IsScriptProcMethod(const TPSExec* exec, const TPSProcValue& method, std::uint32_t* procNo)
{
    if (method.method != &kBridgeEntry || !method.self)
        return false;
    const auto* record = static_cast<const ScriptMethod*>(method.self);
    if (record->exec != exec)
        return false;
    if (procNo)
        *procNo = record->procNo;
    return true;
}

void CallScriptProcMethod(const TPSProcValue& method, const std::vector<TPSValueRef>& params, TPSValueRef result)
{
    if (method.method != &kBridgeEntry || !method.self)
        raiseError(erCouldNotCallProc, TPSExec::NoProc, TPSExec::NoProc);
    const auto& record = *static_cast<const ScriptMethod*>(method.self);
    TPSExec* exec = record.exec;
    const auto* proc = dynamic_cast<const TPSInternalProcRec*>(exec->GetProcNo(record.procNo));
    if (!proc)
        raiseError(erOutOfProcRange, record.procNo, 0);
    const TPSTypeRec* resultType = nullptr;
    std::vector<ExportedParam> declared;
    if (!readExportDecl(exec, proc->exportDecl, resultType, declared) || declared.size() != params.size() ||
        (resultType && (!result.data || !result.type)))
        raiseError(ErTypeMismatch, record.procNo, 0);

    // A call lays the parameters out last first, then the result.
    ValueCopies copies;
    std::vector<TPSValueRef> refs;
    for (std::size_t i = params.size(); i-- > 0;) {
        const ExportedParam& param = declared[i];
        if (param.byReference) {
            // The script works on the host's own variable.
            if (params[i].type->baseType != param.type->baseType)
                raiseError(ErTypeMismatch, record.procNo, 0);
            refs.push_back(params[i]);
            continue;
        }
        void* copy = copies.add(param.type);
        if (!AssignValue(exec, copy, params[i].data, param.type, params[i].type))
            raiseTakenError(exec, record.procNo, 0);
        refs.push_back({copy, param.type});
    }
    void* resultCopy = nullptr;
    if (resultType) {
        resultCopy = copies.add(resultType);
        refs.push_back({resultCopy, resultType});
    }

    // An error inside stops at this call, whatever script code runs around it.
    exec->PushBarrier();
    const bool ran = exec->RunScriptProc(refs, record.procNo);
    exec->PopBarrier();
    if (!ran)
        raiseTakenError(exec, exec->ExceptionProcNo(), exec->ExceptionPos());
    if (resultType && !AssignValue(exec, result.data, resultCopy, result.type, resultType))
        raiseTakenError(exec, record.procNo, 0);
}
