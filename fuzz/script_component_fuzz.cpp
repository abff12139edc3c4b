// Scripts compiled and run through the script component as a host uses it:
// the preprocessor with an include file, a unit supplied by the host, host
// routines (one of them tries to compile or run the script again from
// inside its run), notification variables, and a run stopped after an
// instruction budget.
//
// Input: one byte of settings, then the main text, the include file and the
// unit's text, separated by NUL bytes.

#include "script/component/script_component.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

constexpr int InstructionBudget = 20000;

struct Host
{
    TPSScript script;
    std::string include;
    std::string unit;
    int instructionsLeft = 0;
    std::size_t logged = 0;

    void Log(const std::string& s) { logged += s.size(); }
    void Again(std::int32_t what)
    {
        // Refused while the run is on: the refusal becomes the script's error.
        if (what & 1)
            script.Compile();
        else
            script.Execute();
    }
};

std::string_view cut(std::string_view& rest)
{
    const std::size_t end = rest.find('\0');
    const std::string_view part = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return part;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t settings = data[0];
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string_view main = cut(rest);
    Host host;
    host.include = cut(rest);
    host.unit = cut(rest);

    TPSScript& s = host.script;
    s.UsePreProcessor = settings & 1;
    s.UseDebugInfo = settings & 2;
    s.CompilerOptions = static_cast<TPSCompOptions>(settings >> 4);
    s.SetMainFileName("main.pas");
    s.Exec().SetMemoryLimit(std::size_t(1) << 20);
    s.OnCompile = [&host](TPSScript* sender) {
        sender->AddMethod(&host, &Host::Log, "procedure Log(const s: String);");
        sender->AddMethod(&host, &Host::Again, "procedure Again(what: Integer);");
        sender->Comp().AddTypeCopyN("TNotified", "!NotificationVariant");
    };
    s.OnNeedFile = [&host](TPSScript*, const std::string&, std::string&, std::string& output) {
        output = host.include;
        return true;
    };
    s.OnFindUnknownFile = [&host](TPSScript*, const std::string&, std::string&, std::string& output) {
        output = host.unit;
        return true;
    };
    if (settings & 4) {
        s.OnGetNotificationVariant = [](TPSScript*, const std::string& name) { return Variant{varcode::String, name}; };
        s.OnSetNotificationVariant = [](TPSScript*, const std::string&, const Variant&) {};
    }
    s.OnLine = [&host](TPSScript* sender) {
        if (--host.instructionsLeft <= 0)
            sender->Stop();
    };

    s.SetScriptText(main);
    try {
        if (!s.Compile())
            return 0;
    } catch (const EPSCompilerException&) {
        return 0;
    }
    for (std::size_t i = 0; i < s.CompilerMessageCount(); ++i)
        s.CompilerMessage(i)->MessageToString();
    for (int run = 0; run < 2; ++run) {
        host.instructionsLeft = InstructionBudget;
        if (!s.Execute()) {
            s.RuntimeErrorText();
            TPSSourcePlace place;
            s.ExecErrorPlace(place);
        }
    }
    return 0;
}
