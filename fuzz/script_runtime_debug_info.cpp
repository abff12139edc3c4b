// Loads arbitrary bytes as the debug data of a compiled image, then runs
// the image with positions looked up before every instruction, the tables
// read before the run or by it.

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
    {
        // The data is read when first asked for, from the executer's own
        // copy: the caller's bytes are gone by then.
        std::string bytes(reinterpret_cast<const char*>(data), size);
        exec->LoadDebugInfo(bytes);
        bytes.assign(size, '\0');
    }
    auto inspect = [size] {
        for (std::uint32_t i = 0; i < exec->ProcCount(); ++i) {
            const TPSFunctionDebugInfo* info = exec->DebugInfoOf(i);
            if (!info)
                continue;
            for (const TPSPositionData& entry : info->positions)
                if (entry.fileName.get().size() > size)
                    std::abort();
            std::size_t named = 0;
            for (const std::string_view name : info->paramNames)
                named += name.size();
            for (const std::string_view name : info->varNames)
                named += name.size();
            if (named > size || info->marks.size() != info->markEntries.size())
                std::abort();
            for (std::size_t m = 0; m < info->marks.size(); ++m)
                if (info->markEntries[m] >= info->positions.size() ||
                    info->positions[info->markEntries[m]].codePosition != info->marks[m] ||
                    (m > 0 && info->marks[m - 1] >= info->marks[m]))
                    std::abort();
        }
    };
    // Asked for before the run, or first by the run itself.
    if (size % 2 == 0)
        inspect();
    exec->ExecuteCode();
    inspect();
    exec->Clear();
    return 0;
}
