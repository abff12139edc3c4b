#pragma once
// Runs an image three ways and tells what each run left: every instruction
// read from its bytes (the reference), the decoded entries one at a time
// (with a hook before each instruction), and the decoded entries with their
// combined runs (no hook). The decoded code must never change what a run
// does, only how fast.

#include "script/runtime/exec.h"
#include "script/runtime/value_ops.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace threeways {

enum class Way { Bytes, Stepped, Combined };

inline const char* nameOf(Way way)
{
    return way == Way::Bytes ? "read from bytes" : way == Way::Stepped ? "decoded, stepped" : "decoded, combined";
}

class BytesOnly : public TPSExec
{
protected:
    bool UsesDecodedCode() const override { return false; }
};

// What a run left: its result and error with their place, the state, and
// the integer and text globals, and the length and references of dynamic
// array globals.
struct Outcome
{
    bool result = false;
    TPSStatus status = TPSStatus::NotLoaded;
    TPSError code = ErNoError;
    std::string text;
    std::uint32_t procNo = 0, position = 0;
    std::size_t stack = 0;
    std::vector<std::string> globals;

    bool operator==(const Outcome&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Outcome& o)
{
    out << (o.result ? "ok" : "failed") << " status " << int(o.status) << " error " << int(o.code) << " '" << o.text
        << "' at " << o.procNo << ":" << o.position << " stack " << o.stack << " globals";
    for (const std::string& g : o.globals)
        out << " " << g;
    return out;
}

inline Outcome outcomeOf(TPSExec& exec, bool result)
{
    Outcome o{result,
              exec.Status(),
              exec.ExceptionCode(),
              exec.ExceptionText(),
              exec.ExceptionProcNo(),
              exec.ExceptionPos(),
              exec.Stack().Count(),
              {}};
    for (std::size_t i = 0; i < exec.GlobalCount(); ++i) {
        const TPSValueRef global = exec.GetGlobalVar(i);
        std::int64_t value;
        if (GetIntegerValue(global.data, global.type, value))
            o.globals.push_back(std::to_string(value));
        else if (global.type->baseType == ps::BaseType::AnsiString)
            o.globals.push_back("'" + *static_cast<const std::string*>(global.data) + "'");
        else if (global.type->baseType == ps::BaseType::DynArray) {
            const auto* block = *static_cast<const TPSDynArrayHeader* const*>(global.data);
            o.globals.push_back(
                block ? "[" + std::to_string(block->count) + " refs " + std::to_string(block->refCount) + "]" : "[]");
        } else
            o.globals.push_back("-");
    }
    return o;
}

// Prepares a fresh executer of the way (host routines, limits), loads the
// image, runs the main block and gives what the run left.
inline Outcome runOneWay(Way way, const std::string& image, const std::function<void(TPSExec&)>& prepare = {})
{
    BytesOnly bytes;
    TPSExec decoded;
    TPSExec& exec = way == Way::Bytes ? static_cast<TPSExec&>(bytes) : decoded;
    if (way != Way::Combined)
        exec.OnRunLine = [](TPSExec*) {};
    if (prepare)
        prepare(exec);
    EXPECT_TRUE(exec.LoadBytecode(image)) << ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText());
    const bool result = exec.ExecuteCode();
    return outcomeOf(exec, result);
}

// Runs the image all three ways, checks that they agree and gives the
// reference's outcome.
inline Outcome runThreeWays(const std::string& image, const std::function<void(TPSExec&)>& prepare = {})
{
    const Outcome reference = runOneWay(Way::Bytes, image, prepare);
    for (Way way : {Way::Stepped, Way::Combined})
        EXPECT_EQ(runOneWay(way, image, prepare), reference) << nameOf(way);
    return reference;
}

} // namespace threeways
