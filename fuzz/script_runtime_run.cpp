// Loads arbitrary bytes as a bytecode image and runs it: the main block,
// then every procedure the host could run, each within an instruction
// budget and a memory cap. Besides the built-in routines, the host offers
// routines that fail, raise or misbehave, and typed routines that take every
// kind of parameter.

#include "fuzz/script_host_routines.h"
#include "script/runtime/event_bridge.h"
#include "script/runtime/exec.h"
#include "script/runtime/native_bridge.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace fuzzhost;

constexpr int InstructionBudget = 20000;
int instructionsLeft = 0;

void budget(TPSExec* exec)
{
    if (--instructionsLeft <= 0)
        exec->Stop();
}

// Fires an event handled by the last script procedure, with a text for its
// argument, as host code fires the events scripts handle; a failure inside
// is raised to the script through this routine.
bool fire(TPSExec* exec, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    static int depth = 0;
    if (depth > 2 || exec->ProcCount() == 0)
        return true;
    ++depth;
    struct Leave
    {
        ~Leave() { --depth; }
    } leave;
    std::string text = "7";
    const TPSTypeRec* textType = exec->FindTypeByBase(0, ps::BaseType::AnsiString);
    std::vector<TPSValueRef> args;
    if (textType)
        args.push_back({&text, textType});
    CallScriptProcMethod(ScriptProcMethod(exec, static_cast<std::uint32_t>(exec->ProcCount() - 1)), args);
    return true;
}

void registerTyped(TPSExec& exec)
{
    RegisterNativeFunction(exec,
                           "function Mix(a: Integer; var s: String; const v: array of Integer; w: Variant; "
                           "var r: Extended; out c: Char; u: UnicodeString; const k: array of const): Int64;",
                           [](std::int32_t a, std::string& s, const std::vector<std::int32_t>& v, const Variant& w,
                              long double& r, char& c, const std::u16string& u, const std::vector<Variant>& k) {
                               s.push_back(static_cast<char>('a' + (a & 15)));
                               r /= 2;
                               c = static_cast<char>(v.size());
                               return static_cast<std::int64_t>(v.size() + u.size() + k.size()) + w.type;
                           });
    RegisterNativeFunction(exec, "procedure Views(r: TR; var s: TS; var a: TA; p: TP; var o: TO; var d: Currency);",
                           [](TPSNativeRecord r, TPSNativeSet& s, TPSNativeArray& a, TPSNativeProcValue p,
                              TPSNativeObject& o, TPSNativeCurrency& d) {
                               s.Include(static_cast<std::uint32_t>(r.FieldCount()));
                               a.Resize(a.Count() / 2 + 1);
                               d.scaled += p.value.procNo;
                               o.object = nullptr;
                           });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TPSExec exec;
    exec.RegisterProcName("OK", succeed);
    exec.RegisterProcName("FAIL", fail);
    exec.RegisterProcName("RAISE", raise);
    exec.RegisterProcName("POP", popTop);
    exec.RegisterProcName("REENTER", reenter);
    exec.RegisterProcName("FIRE", fire);
    registerTyped(exec);
    exec.SetMemoryLimit(std::size_t(4) << 20);
    exec.OnRunLine = budget;
    if (!exec.LoadBytecode(std::string_view(reinterpret_cast<const char*>(data), size)))
        return 0;
    instructionsLeft = InstructionBudget;
    exec.ExecuteCode();
    // An error leaves the run paused; resuming goes on wherever it stands.
    if (exec.Status() == TPSStatus::Paused)
        exec.ExecuteCode();
    exec.Stop();
    for (std::uint32_t proc = 0; proc < exec.ProcCount() && proc < 4; ++proc) {
        instructionsLeft = InstructionBudget;
        exec.RunScriptProc({}, proc);
        exec.Stop();
    }
    return 0;
}
