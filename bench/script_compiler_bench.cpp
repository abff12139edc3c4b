// Compile speed of the script compiler on generated text: declaration files
// of growing length, whose time per line should stay flat, and one long
// chain of string additions in a constant. The preprocessor's defines are
// timed the same way.

#include "script/compiler/compiler.h"
#include "script/compiler/preprocessor.h"

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
