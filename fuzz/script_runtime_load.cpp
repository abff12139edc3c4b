// Loads arbitrary bytes as a bytecode image.

#include "script/runtime/exec.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

bool host(TPSExec*, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    return true;
}

bool resolveKnown(TPSExec*, TPSExternalProcRec* proc, std::uintptr_t)
{
    proc->handler = host;
    return proc->decl.size() % 2 == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static TPSExec* exec = [] {
        auto* e = new TPSExec;
        e->RegisterProcName("HOST", host);
        e->RegisterProcName("A", host);
        e->AddImportResolver("class", resolveKnown, 1);
        e->AddImportResolver("", resolveKnown, 2);
        e->SetMemoryLimit(std::size_t(8) << 20);
        return e;
    }();
    exec->LoadBytecode(std::string_view(reinterpret_cast<const char*>(data), size));
    exec->Clear();
    return 0;
}
