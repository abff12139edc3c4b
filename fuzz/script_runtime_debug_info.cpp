// Loads arbitrary bytes as the debug data of a compiled image, then runs
// the image with positions looked up before every instruction.

#include "script/compiler/compiler.h"
#include "script/runtime/debugger.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr const char* kScript = R"(
var g: Integer;
procedure P(a: Integer; var s: String);
var l: Byte;
begin
end;
function F: Integer;
begin
end;
begin
end.
)";

std::string compiledImage()
{
    TPSPascalCompiler compiler;
    compiler.OnUses = [](TPSPascalCompiler*, const std::string&) { return true; };
    std::string image;
    if (!compiler.Compile(kScript) || !compiler.GetOutput(image))
        std::abort();
    return image;
}

void onLine(TPSDebugExec* exec, const std::string&, std::uint32_t, std::uint32_t, std::uint32_t)
{
    exec->StepOver();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string image = compiledImage();
    static TPSDebugExec* exec = [] {
        auto* e = new TPSDebugExec;
        e->OnSourceLine = onLine;
        return e;
    }();
    if (!exec->LoadBytecode(image))
        std::abort();
    exec->LoadDebugInfo(std::string_view(reinterpret_cast<const char*>(data), size));
    for (std::uint32_t i = 0; i < exec->ProcCount(); ++i)
        if (const TPSFunctionDebugInfo* info = exec->DebugInfoOf(i))
            for (const TPSPositionData& entry : info->positions)
                if (entry.fileName.get().size() > size)
                    std::abort();
    exec->ExecuteCode();
    exec->Clear();
    return 0;
}
