// Loads arbitrary bytes as a bytecode image and runs it three ways: every
// instruction read from its bytes, the decoded entries one at a time (a hook
// before each instruction), and the decoded entries with their combined
// runs (no hook). The first two run within an instruction budget; when the
// first finishes within it, all three must end alike: the same results,
// errors with their places, states, stacks and global values.

#include "fuzz/script_host_routines.h"
#include "script/runtime/exec.h"
#include "script/runtime/value_ops.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace fuzzhost;

constexpr int InstructionBudget = 20000;
int instructionsLeft = 0;
bool budgetSpent = false;

void budget(TPSExec* exec)
{
    if (--instructionsLeft <= 0) {
        budgetSpent = true;
        exec->Stop();
    }
}

// The reference: no instruction runs from the decoded code.
class BytesOnly : public TPSExec
{
protected:
    bool UsesDecodedCode() const override { return false; }
};

// What a run left behind.
void describe(TPSExec& exec, bool result, std::string& out)
{
    out += result ? "ok " : "failed ";
    out += std::to_string(int(exec.Status())) + " " + std::to_string(int(exec.ExceptionCode())) + " " +
           exec.ExceptionText() + " @" + std::to_string(exec.ExceptionProcNo()) + ":" +
           std::to_string(exec.ExceptionPos()) + " stack " + std::to_string(exec.Stack().Count()) + " try " +
           std::to_string(exec.TryDepth()) + " globals";
    for (std::size_t i = 0; i < exec.GlobalCount(); ++i) {
        const TPSValueRef global = exec.GetGlobalVar(i);
        std::int64_t value;
        if (GetIntegerValue(global.data, global.type, value))
            out += " " + std::to_string(value);
        else if (global.type->baseType == ps::BaseType::AnsiString)
            out += " '" + *static_cast<const std::string*>(global.data) + "'";
        else
            out += " -";
    }
    out += "\n";
}

// Loads and runs the image as the run fuzzer does: the main block, once
// more if it stopped on an error, then the first procedures for the host.
// Empty when the image does not load.
std::string run(TPSExec& exec, std::string_view image, bool hooked)
{
    exec.RegisterProcName("OK", succeed);
    exec.RegisterProcName("FAIL", fail);
    exec.RegisterProcName("RAISE", raise);
    exec.RegisterProcName("POP", popTop);
    exec.RegisterProcName("PUSH", pushInt);
    exec.RegisterProcName("REENTER", reenter);
    exec.SetMemoryLimit(std::size_t(1) << 20);
    if (hooked)
        exec.OnRunLine = budget;
    if (!exec.LoadBytecode(image))
        return {};
    reenterDepth = 0;
    std::string out;
    instructionsLeft = InstructionBudget;
    describe(exec, exec.ExecuteCode(), out);
    if (exec.Status() == TPSStatus::Paused)
        describe(exec, exec.ExecuteCode(), out);
    exec.Stop();
    for (std::uint32_t proc = 0; proc < exec.ProcCount() && proc < 4; ++proc) {
        instructionsLeft = InstructionBudget;
        describe(exec, exec.RunScriptProc({}, proc), out);
        exec.Stop();
    }
    return out;
}

void mustAgree(const std::string& reference, const std::string& other, const char* how)
{
    if (reference == other)
        return;
    std::fprintf(stderr, "read from bytes:\n%s\n%s:\n%s\n", reference.c_str(), how, other.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view image(reinterpret_cast<const char*>(data), size);
    budgetSpent = false;
    std::string reference;
    {
        BytesOnly exec;
        reference = run(exec, image, true);
    }
    if (reference.empty() || budgetSpent)
        return 0;
    std::string stepped, combined;
    {
        TPSExec exec;
        stepped = run(exec, image, true);
    }
    mustAgree(reference, stepped, "decoded, one at a time");
    {
        TPSExec exec;
        combined = run(exec, image, false);
    }
    mustAgree(reference, combined, "decoded, runs combined");
    return 0;
}
