// Loads arbitrary bytes as a bytecode image and runs it: the main block,
// then every procedure the host could run, each within an instruction
// budget and a memory cap.

#include "script/runtime/exec.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

namespace {

constexpr int InstructionBudget = 20000;
int instructionsLeft = 0;

void budget(TPSExec* exec)
{
    if (--instructionsLeft <= 0)
        exec->Stop();
}

bool succeed(TPSExec*, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    return true;
}

bool fail(TPSExec*, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    return false;
}

bool raise(TPSExec*, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    throw std::runtime_error("host");
}

// Pops what the stack holds on top, as a careless host routine might.
bool popTop(TPSExec*, TPSExternalProcRec*, TPSStack*, TPSStack* stack)
{
    stack->Pop();
    return true;
}

// Runs another script procedure behind a barrier, as the event bridge does.
bool reenter(TPSExec* exec, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    static int depth = 0;
    if (depth > 2 || exec->ProcCount() == 0)
        return true;
    ++depth;
    exec->PushBarrier();
    exec->RunScriptProc({}, static_cast<std::uint32_t>(exec->ProcCount() - 1));
    exec->PopBarrier();
    --depth;
    return true;
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
