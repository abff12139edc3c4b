// Compile speed of the script compiler on generated text: declaration files
// and programs of routines with bodies, of growing length, whose time per
// line should stay flat (the programs also through the script component,
// with and without its debug data), and one long chain of string additions
// in a constant. The preprocessor's defines are
// timed the same way.

#include "script/compiler/compiler.h"
#include "script/compiler/preprocessor.h"
#include "script/component/script_component.h"

#include <benchmark/benchmark.h>

#include <map>
#include <string>

namespace {

// One declaration a line, in turn a record type, a constant, a variable of
// that type, an enumeration and a routine with parameters and locals.
const std::string& declarationFile(int lines)
{
    static std::map<int, std::string> made;
    std::string& text = made[lines];
    if (!text.empty())
        return text;
    for (int i = 0; i < lines; ++i) {
        const std::string n = std::to_string(i / 5);
        switch (i % 5) {
        case 0:
            text += "type TRec" + n + " = record Count: Integer; Name: String; end;\n";
            break;
        case 1:
            text += "const Limit" + n + " = " + n + " * 2 + 1;\n";
            break;
        case 2:
            text += "var Item" + n + ": TRec" + n + ";\n";
            break;
        case 3:
            text += "type TColor" + n + " = (Red" + n + ", Green" + n + ", Blue" + n + ");\n";
            break;
        default:
            text += "procedure Step" + n + "(a: Integer; var b: String); var x, y: Integer; begin end;\n";
            break;
        }
    }
    text += "begin end.\n";
    return text;
}

// A program of routines with bodies, about lines long: each routine uses
// the statements and expressions a script is made of, and calls the one
// before it.
const std::string& programFile(int lines)
{
    static std::map<int, std::string> made;
    std::string& text = made[lines];
    if (!text.empty())
        return text;
    text = "type TRec = record Count: Integer; Name: String; end;\n"
           "var Total: Integer;\n"
           "function F0(a, b: Integer; const s: String): Integer; begin Result := a + b + Length(s); end;\n";
    int count = 3;
    int routine = 1;
    while (count < lines - 1) {
        const std::string n = std::to_string(routine);
        const std::string before = std::to_string(routine - 1);
        text += "function F" + n +
                "(a, b: Integer; const s: String): Integer;\n"
                "var x, y: Integer; t: String; r: TRec;\n"
                "begin\n"
                "  x := a * 2 + b; y := 0;\n"
                "  for x := 1 to a do\n"
                "    if (x mod 3 = 0) and (b > x) then\n"
                "      y := y + x\n"
                "    else\n"
                "      y := y - 1;\n"
                "  while y > 100 do y := y div 2;\n"
                "  case y of\n"
                "    0: t := s + 'zero';\n"
                "    1..9: t := 'small';\n"
                "  else t := IntToStr(y);\n"
                "  end;\n"
                "  with r do begin Count := y; Name := t + s; end;\n"
                "  repeat x := x - 1 until x <= 0;\n"
                "  try Result := y + Length(t) finally x := 0 end;\n"
                "  if r.Count > 0 then Result := Result + F" +
                before +
                "(x, y, t);\n"
                "end;\n";
        count += 20;
        ++routine;
    }
    text += "begin Total := F" + std::to_string(routine - 1) + "(3, 4, 'go'); end.\n";
    return text;
}

void compileOrFail(benchmark::State& state, TPSPascalCompiler& compiler, const std::string& text)
{
    if (!compiler.Compile(text)) {
        const TPSPascalCompilerMessage* first = compiler.GetMessage(0);
        state.SkipWithError(first ? first->MessageToString().c_str() : "compile failed");
    }
}

void BM_Declarations(benchmark::State& state)
{
    const int lines = static_cast<int>(state.range(0));
    const std::string& text = declarationFile(lines);
    TPSPascalCompiler compiler;
    for (auto _ : state)
        compileOrFail(state, compiler, text);
    state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(BM_Declarations)->Arg(25000)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond);

// Compile speed on a whole program: items are source lines.
void BM_Program(benchmark::State& state)
{
    const int lines = static_cast<int>(state.range(0));
    const std::string& text = programFile(lines);
    TPSPascalCompiler compiler;
    compiler.OnUses = [](TPSPascalCompiler*, const std::string&) { return true; };
    for (auto _ : state)
        compileOrFail(state, compiler, text);
    state.SetItemsProcessed(state.iterations() * lines);
    state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_Program)->Arg(25000)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond);

// The same programs compiled as a host compiles them, through the script
// component: the compile, the loading of the image and, with debug data
// on (the component's default), the loading of the debug data. Items are
// source lines; the time per line should not grow with the length.
void BM_ComponentProgram(benchmark::State& state)
{
    const int lines = static_cast<int>(state.range(0));
    TPSScript script;
    script.UseDebugInfo = state.range(1) != 0;
    script.SetScriptText(programFile(lines));
    for (auto _ : state) {
        if (!script.Compile()) {
            const TPSPascalCompilerMessage* first = script.CompilerMessage(0);
            state.SkipWithError(first ? first->MessageToString().c_str() : "compile failed");
        }
    }
    state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(BM_ComponentProgram)
    ->ArgNames({"lines", "debug"})
    ->ArgsProduct({{25000, 100000, 200000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// The component's compile with debug data on, and then the debug data read
// as a run or a debugger first reads it: the compile leaves that reading for
// the first look. Items are source lines.
void BM_ComponentProgramThenDebugData(benchmark::State& state)
{
    const int lines = static_cast<int>(state.range(0));
    TPSScript script;
    script.UseDebugInfo = true;
    script.SetScriptText(programFile(lines));
    for (auto _ : state) {
        if (!script.Compile()) {
            const TPSPascalCompilerMessage* first = script.CompilerMessage(0);
            state.SkipWithError(first ? first->MessageToString().c_str() : "compile failed");
        }
        benchmark::DoNotOptimize(script.Exec().ProcNames().size());
    }
    state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(BM_ComponentProgramThenDebugData)->Arg(25000)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond);

void BM_StringConstantChain(benchmark::State& state)
{
    const int steps = static_cast<int>(state.range(0));
    std::string text = "const Joined = 'start'";
    for (int i = 0; i < steps; ++i)
        text += " + 'ab'";
    text += ";\nbegin end.\n";
    TPSPascalCompiler compiler;
    for (auto _ : state)
        compileOrFail(state, compiler, text);
    state.SetItemsProcessed(state.iterations() * steps);
}
BENCHMARK(BM_StringConstantChain)->Arg(100000)->Unit(benchmark::kMillisecond);

// Long lists in one declaration, about 1 MB of text each: every name is
// checked against those before it, which must stay a lookup, not a scan.
enum HostileList { Parameters, Labels, VarGroup, RecordFields, EnumNames, UsesNames, SetTypes };

std::string hostileText(HostileList kind, int count)
{
    std::string text;
    auto list = [&](const char* prefix, const char* separator) {
        for (int i = 0; i < count; ++i)
            text += (i ? separator : "") + std::string(prefix) + std::to_string(i);
    };
    switch (kind) {
    case Parameters:
        text = "procedure P(";
        for (int i = 0; i < count; ++i)
            text += (i ? "; p" : "p") + std::to_string(i) + ": Byte";
        text += "); begin end;\nbegin end.";
        break;
    case Labels:
        text = "label ";
        list("L", ", ");
        text += ";\nbegin";
        for (int i = 0; i < count; ++i)
            text += " L" + std::to_string(i) + ": ;";
        text += " end.";
        break;
    case VarGroup:
        text = "var ";
        list("v", ", ");
        text += ": Byte;\nbegin end.";
        break;
    case RecordFields:
        text = "type R = record ";
        list("f", ", ");
        text += ": Byte; end;\nbegin end.";
        break;
    case EnumNames:
        text = "type E = (";
        list("e", ", ");
        text += ");\nbegin end.";
        break;
    case UsesNames:
        text = "uses ";
        list("U", ", ");
        text += ";\nbegin end.";
        break;
    case SetTypes:
        for (int i = 0; i < count; ++i)
            text += "type E" + std::to_string(i) + " = (x" + std::to_string(i) + "); S" + std::to_string(i) +
                    " = set of E" + std::to_string(i) + ";\n";
        text += "begin end.";
        break;
    }
    return text;
}

void BM_HostileDeclarations(benchmark::State& state)
{
    const auto kind = static_cast<HostileList>(state.range(0));
    // About 1 MB whatever the kind.
    const int count = kind == SetTypes ? 25000 : kind == Parameters ? 90000 : 150000;
    const std::string text = hostileText(kind, count);
    TPSPascalCompiler compiler;
    compiler.OnUses = [](TPSPascalCompiler*, const std::string&) { return true; };
    for (auto _ : state)
        compileOrFail(state, compiler, text);
    state.counters["bytes"] = static_cast<double>(text.size());
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_HostileDeclarations)
    ->ArgName("list")
    ->DenseRange(Parameters, SetTypes)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

void BM_PreprocessorDefines(benchmark::State& state)
{
    const int symbols = static_cast<int>(state.range(0));
    std::string text;
    for (int i = 0; i < symbols; ++i)
        text += "{$DEFINE SYMBOL" + std::to_string(i) + "}\n";
    for (int i = 0; i < symbols; ++i)
        text += "{$IFDEF SYMBOL" + std::to_string(i) + "}x{$ENDIF}\n";
    TPSPreProcessor preprocessor;
    for (auto _ : state)
        benchmark::DoNotOptimize(preprocessor.PreProcess("main", text));
    state.SetItemsProcessed(state.iterations() * symbols);
}
BENCHMARK(BM_PreprocessorDefines)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
