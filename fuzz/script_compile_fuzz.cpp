// Compiles arbitrary text: as a script, and as the declaration texts a host
// registers. A failed compile must say why in one error; a successful one
// must leave an image the loader accepts, whose main block then runs (for a
// bounded number of instructions) and, when it ends by itself without an
// error, leaves the stack empty. Nothing may crash, hang or leak.

#include "script/compiler/compiler.h"
#include "script/runtime/exec.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

std::string g_text;

bool onUses(TPSPascalCompiler* sender, const std::string& unit)
{
    if (unit != "SYSTEM")
        return true;
    sender->AddAttributeType("Tag")->AddField("Value", sender->FindType("Integer"));
    // Registration texts fail by raising; the compile goes on without them.
    try {
        sender->AddTypeS("TFuzzed", g_text);
    } catch (const EPSCompilerException&) {
    }
    try {
        sender->AddNativeFunction(g_text);
    } catch (const EPSCompilerException&) {
    }
    RegisterGraphicsClasses(*sender, true);
    TPSCompileTimeClass* cl = sender->AddClass(sender->FindClass("TCanvas"), "TFuzzed");
    cl->RegisterMethod(g_text);
    cl->RegisterProperty("Fuzzed", g_text, TPSPropertyAccess::ReadWrite);
    // Reached by "[" right after an instance.
    cl->RegisterProperty("Items", "Integer Integer", TPSPropertyAccess::ReadWrite);
    cl->SetDefaultProperty("Items");
    return true;
}

// Everything a script declared or used goes into the image: the members of
// the fuzzed class included.
bool beforeOutput(TPSPascalCompiler* sender)
{
    TPSCompileTimeClass* cl = sender->FindClass("TFuzzed");
    for (TPSCompileTimeClass* c = cl; c; c = c->ClassInheritsFrom) {
        for (const auto& item : c->Items) {
            if (auto* property = dynamic_cast<TPSDelphiClassItemProperty*>(item.get())) {
                c->PropertyReadProcNo(*property);
                c->PropertyWriteProcNo(*property);
            } else {
                c->MemberProcNo(*item);
            }
        }
    }
    cl->CastSupportProcNo();
    cl->TestSupportProcNo();
    return true;
}

// Binds every host routine and member, so that a load fails only on the
// image itself, and stops a run after a budget of instructions.
class BindAll : public TPSExec
{
public:
    bool BindExternalProc(const std::string&, TPSExternalProcRec* proc) override
    {
        proc->handler = [](TPSExec*, TPSExternalProcRec*, TPSStack*, TPSStack*) { return true; };
        return true;
    }
    std::uint32_t budget = 0;
    bool stopped = false;

protected:
    bool HasInstructionHook() const override { return true; }
    void BeforeInstruction() override
    {
        if (budget == 0) {
            stopped = true;
            Stop();
            return;
        }
        --budget;
    }
};

std::unique_ptr<TPSRegProc> onExternal(TPSPascalCompiler*, TPSParametersDecl* decl, const std::string& name,
                                       const std::string& text)
{
    if (text.empty())
        return nullptr;
    auto proc = std::make_unique<TPSRegProc>();
    proc->SetName(name);
    proc->Decl = *decl;
    proc->ImportDecl = decl->Signature();
    return proc;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    TPSPascalCompiler compiler;
    compiler.AllowNoEnd = data[0] & 1;
    compiler.AllowNoBegin = data[0] & 2;
    compiler.AllowUnit = data[0] & 4;
    compiler.BooleanShortCircuit = data[0] & 8;
    compiler.OnUses = onUses;
    compiler.OnExternalProc = onExternal;
    compiler.OnBeforeOutput = beforeOutput;
    g_text.assign(reinterpret_cast<const char*>(data + 1), size - 1);
    // A failed compile says why in exactly one error, as it stops at the
    // first; a compile that succeeds has none.
    const bool compiled = compiler.Compile(g_text);
    std::size_t errors = 0;
    for (std::size_t i = 0; i < compiler.GetMessageCount(); ++i)
        errors += dynamic_cast<const TPSPascalCompilerError*>(compiler.GetMessage(i)) ? 1 : 0;
    if (errors != (compiled ? 0u : 1u))
        std::abort();
    if (!compiled)
        return 0;
    std::string image;
    if (!compiler.GetOutput(image))
        std::abort();
    static BindAll* exec = [] {
        auto* e = new BindAll;
        e->SetMemoryLimit(std::size_t(64) << 20);
        return e;
    }();
    if (!exec->LoadBytecode(image))
        std::abort();
    exec->budget = 100000;
    exec->stopped = false;
    if (exec->ExecuteCode() && !exec->stopped && exec->Stack().Count() != 0)
        std::abort();
    exec->Clear();
    return 0;
}
