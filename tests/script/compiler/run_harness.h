#pragma once
// Compiles a program and runs it on the interpreter. The integer globals are
// read back after the run, and the stack is checked to hold exactly the
// declared locals at the start of every statement and at every return, so no
// temporary outlives its statement. A run stops after a budget of
// instructions, so that a loop compiled never to end fails its test instead
// of hanging the test program.

#include "script/runtime/exec.h"
#include "script/runtime/value_ops.h"
#include "tests/script/compiler/compile_harness.h"
#include "tests/script/compiler/debug_data_reader.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <map>
#include <set>
#include <string>

struct RunResult
{
    std::string error;                          // the first compile error, with its place
    std::map<std::string, std::int64_t> values; // integer globals by upper-cased name
    std::string runError;                       // "instruction budget used up" when stopped
    std::size_t leftOnStack = 0;                // slots the main block left behind
    int unbalanced = 0;                         // statements whose stack depth was off
    int checkedStatements = 0;
};

class BalanceCheck : public TPSExec
{
public:
    // The slots each statement starts with, by its code position: the
    // declared locals and the slots of the with statements around it.
    std::map<const TPSProcRec*, std::map<std::uint32_t, std::size_t>> statementStarts;
    std::map<const TPSProcRec*, std::size_t> localCounts;
    int unbalanced = 0;
    int checked = 0;
    std::uint64_t budget = 5'000'000;
    bool outOfBudget = false;

protected:
    bool HasInstructionHook() const override { return true; }
    void BeforeInstruction() override
    {
        if (budget-- == 0) {
            outOfBudget = true;
            Stop();
            return;
        }
        TPSInternalProcRec* proc = CurrentProc();
        if (!proc)
            return;
        const auto starts = statementStarts.find(proc);
        const bool atReturn = Position() < proc->code.size() &&
                              static_cast<std::uint8_t>(proc->code[Position()]) == std::uint8_t(pscode::Op::Return);
        std::size_t expected = localCounts[proc];
        if (starts != statementStarts.end() && starts->second.count(Position()))
            expected = starts->second.at(Position());
        else if (!atReturn)
            return;
        const std::size_t depth = Stack().Count() - static_cast<std::size_t>(FrameBase() + 1);
        ++checked;
        if (depth != expected || (atReturn && depth != localCounts[proc]))
            ++unbalanced;
    }
};

// setup may set the compiler's options first.
inline RunResult compileAndRun(const std::string& text, const std::function<void(TPSPascalCompiler&)>& setup = {})
{
    RunResult out;
    CompileHarness h;
    if (setup)
        setup(h.c);
    // The with targets around each statement, by its place in the text.
    static std::map<std::uint32_t, std::size_t>* withsAt;
    std::map<std::uint32_t, std::size_t> withs;
    withsAt = &withs;
    h.c.OnWriteLine = [](TPSPascalCompiler* c, std::uint32_t position) {
        withsAt->emplace(position, c->WithTargetsHeld());
        return true;
    };
    std::vector<std::string> globals;
    h.inspect = [&](TPSPascalCompiler& c) {
        for (const auto& var : c.Vars())
            globals.push_back(var->Name);
    };
    if (!h.compile(text)) {
        const TPSPascalCompilerError* e = h.firstError();
        out.error = e ? e->MessageToString() : "failed without an error";
        return out;
    }
    std::string image, debug;
    h.c.GetOutput(image);
    h.c.GetDebugOutput(debug);
    DebugData data;
    EXPECT_TRUE(data.Read(debug));
    BalanceCheck exec;
    if (!exec.LoadBytecode(image)) {
        out.runError = "load: " + exec.ExceptionText();
        return out;
    }
    for (const auto& [proc, names] : data.locals)
        exec.localCounts[exec.GetProcNo(proc)] = names.size();
    for (const DebugLine& line : data.lines) {
        const TPSProcRec* proc = exec.GetProcNo(line.proc);
        exec.statementStarts[proc].emplace(line.codePos, exec.localCounts[proc] + withs.at(line.sourcePos));
    }
    if (!exec.ExecuteCode())
        out.runError = std::to_string(int(exec.ExceptionCode())) + " " + exec.ExceptionText();
    else if (exec.outOfBudget)
        out.runError = "instruction budget used up";
    out.leftOnStack = exec.Stack().Count();
    out.unbalanced = exec.unbalanced;
    out.checkedStatements = exec.checked;
    for (std::size_t i = 0; i < globals.size(); ++i) {
        const TPSValueRef ref = exec.GetGlobalVar(i);
        std::int64_t value;
        if (ref.data && GetIntegerValue(ref.data, ref.type, value))
            out.values[globals[i]] = value;
    }
    return out;
}

// A program and the integer globals it leaves.
struct RunCase
{
    const char* name;
    std::string program;
    std::map<std::string, std::int64_t> expected;
};

// A case's test name: its name with every other character than letters and
// digits made "_".
inline std::string runCaseName(const ::testing::TestParamInfo<RunCase>& info)
{
    std::string name = info.param.name;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return name;
}

// Runs the case: it compiles, runs without an error, keeps the stack
// balanced and leaves the expected globals.
inline void expectRun(const RunCase& test)
{
    const RunResult r = compileAndRun(test.program);
    ASSERT_EQ(r.error, "");
    ASSERT_EQ(r.runError, "");
    EXPECT_EQ(r.unbalanced, 0);
    EXPECT_GT(r.checkedStatements, 0);
    EXPECT_EQ(r.leftOnStack, 0u);
    for (const auto& [name, value] : test.expected) {
        ASSERT_TRUE(r.values.count(name)) << name;
        EXPECT_EQ(r.values.at(name), value) << name;
    }
}
