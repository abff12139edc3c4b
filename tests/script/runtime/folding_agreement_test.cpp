// A constant expression folded by the compiler gives what the same
// expression gives when it runs: every operator over every pair of simple
// types, once with two host constants (folded) and once with two variables
// holding the same values (computed by the interpreter).

#include "script/common/utf.h"
#include "script/runtime/exec.h"
#include "script/runtime/value_ops.h"
#include "script/runtime/values.h"
#include "tests/script/compiler/compile_harness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using ps::BaseType;

namespace {

// A simple type and the value its operand holds.
struct Operand
{
    const char* type;
    long double number; // integers, reals, Currency (as a real), Boolean and char codes
    const char* text;   // strings
};

std::string describe(const Operand& v)
{
    if (*v.text)
        return std::string("'") + v.text + "'";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%Lg", v.number);
    return buffer;
}

struct Operator
{
    const char* text;
    bool comparison;
};

const Operator kOperators[] = {
    {"+", false},   {"-", false},   {"*", false},   {"/", false},  {"div", false}, {"mod", false},
    {"shl", false}, {"shr", false}, {"and", false}, {"or", false}, {"xor", false}, {"=", true},
    {"<>", true},   {"<", true},    {">", true},    {"<=", true},  {">=", true},
};

bool isInteger(const std::string& t)
{
    return t == "Byte" || t == "ShortInt" || t == "Word" || t == "SmallInt" || t == "LongWord" || t == "LongInt" ||
           t == "Int64";
}

bool isReal(const std::string& t)
{
    return t == "Single" || t == "Double" || t == "Extended" || t == "Currency";
}

bool isWideText(const std::string& t)
{
    return t == "WideChar" || t == "WideString" || t == "UnicodeString";
}

bool isText(const std::string& t)
{
    return t == "Char" || t == "AnsiString" || isWideText(t);
}

// The type the result is kept in: the operator's own result type where the
// compiler's rules give one plainly, else a Variant, which holds any of them.
std::string resultType(const Operator& op, const std::string& l, const std::string& r)
{
    if (op.comparison)
        return "Boolean";
    if (isInteger(l) && isInteger(r))
        return l;
    if ((isInteger(l) || isReal(l)) && (isInteger(r) || isReal(r)))
        return isReal(l) ? l : r;
    if (l == "Boolean" && r == "Boolean")
        return l;
    if (std::string(op.text) == "+" && isText(l) && isText(r))
        return isWideText(l) || isWideText(r) ? "WideString" : "AnsiString";
    return "Variant";
}

void setConstant(TPSConstant& c, const Operand& v)
{
    const std::string t = v.type;
    if (t == "Currency")
        c.Value.Int = static_cast<std::int64_t>(v.number * 10000);
    else if (t == "Single")
        c.Value.Real = static_cast<float>(v.number);
    else if (t == "Double")
        c.Value.Real = static_cast<double>(v.number);
    else if (t == "Extended")
        c.Value.Real = v.number;
    else if (t == "AnsiString")
        c.Value.Str = v.text;
    else if (t == "WideString" || t == "UnicodeString")
        c.Value.WStr = Utf8ToUtf16(v.text);
    else
        c.SetInt(static_cast<std::int64_t>(v.number));
}

// The kind of failure a compile error or a runtime error stands for: the
// compiler and the interpreter number and word them apart.
std::string failure(const std::string& kind, int code)
{
    if ((kind == "compile" && code == int(TPSCompilerErrorCode::TypeMismatch)) ||
        (kind == "run" && (code == ErTypeMismatch || code == erException)))
        return "fails: type mismatch";
    if ((kind == "compile" && code == int(TPSCompilerErrorCode::DivideByZero)) ||
        (kind == "run" && code == ErDivideByZero))
        return "fails: divide by zero";
    if ((kind == "compile" && code == int(TPSCompilerErrorCode::MathError)) || (kind == "run" && code == ErMathError))
        return "fails: math error";
    return kind + " error " + std::to_string(code);
}

// What a run leaves in R, as text, or the failure that stopped the compile
// or the run.
std::string outcome(const std::string& program, const Operand& a, const Operand& b)
{
    CompileHarness h;
    h.registerTypes = [&](TPSPascalCompiler& c) {
        setConstant(*c.AddConstantN("A", a.type), a);
        setConstant(*c.AddConstantN("B", b.type), b);
    };
    if (!h.compile(program)) {
        const TPSPascalCompilerError* e = h.firstError();
        return failure("compile", e ? int(e->Error) : -1);
    }
    std::string image;
    h.c.GetOutput(image);
    TPSExec exec;
    if (!exec.LoadBytecode(image))
        return "load error " + exec.ExceptionText();
    if (!exec.ExecuteCode())
        return failure("run", exec.ExceptionCode());
    const TPSValueRef r = exec.GetGlobalVar(exec.Globals().Count() - 1);
    const BaseType base = r.type->baseType;
    char buffer[64];
    std::int64_t integer;
    if (GetIntegerValue(r.data, r.type, integer))
        return std::to_string(integer);
    switch (base) {
    case BaseType::Single:
    case BaseType::Double:
    case BaseType::Extended:
        std::snprintf(buffer, sizeof buffer, "%La", LoadReal(r.data, base));
        return buffer;
    case BaseType::Currency:
        return std::to_string(LoadAs<std::int64_t>(r.data)) + "/10000";
    default:
        try {
            return "'" + GetValueAsAnsiString(r.data, r.type) + "' of " + std::to_string(int(base));
        } catch (const std::exception&) {
            return "no text of " + std::to_string(int(base));
        }
    }
}

class Agreement : public testing::TestWithParam<std::vector<Operand>>
{
};

TEST_P(Agreement, FoldedAndRunGiveTheSame)
{
    const std::vector<Operand>& values = GetParam();
    std::string disagreements;
    for (const Operand& a : values) {
        for (const Operand& b : values) {
            for (const Operator& op : kOperators) {
                const std::string expr = std::string(" ") + op.text + " ";
                const std::string r = resultType(op, a.type, b.type);
                const std::string folded = outcome("var R: " + r + ";\nbegin R := A" + expr + "B; end.", a, b);
                const std::string run = outcome("var x: " + std::string(a.type) + "; y: " + b.type + "; R: " + r +
                                                    ";\nbegin x := A; y := B; R := x" + expr + "y; end.",
                                                a, b);
                if (folded != run)
                    disagreements += std::string(a.type) + " " + describe(a) + expr + b.type + " " + describe(b) +
                                     ": folded " + folded + ", run " + run + "\n";
            }
        }
    }
    EXPECT_EQ(disagreements, "");
}

// Values at the edges of their types, where widths and signs show.
const std::vector<Operand> kEdges = {
    {"Byte", 200, ""},
    {"ShortInt", -100, ""},
    {"Word", 65535, ""},
    {"SmallInt", -32768, ""},
    {"LongWord", 4294967295.0L, ""},
    {"LongInt", -1, ""},
    {"Int64", -5000000000.0L, ""},
    {"Single", 2.5L, ""},
    {"Double", 0.1L, ""},
    {"Extended", 1.0e300L, ""},
    {"Currency", 1.2345L, ""},
    {"Char", 'A', ""},
    {"WideChar", 0xE9, ""},
    {"AnsiString", 0, "ab"},
    {"WideString", 0, "aB"},
    {"UnicodeString", 0, "b"},
    {"Boolean", 1, ""},
};

// Small values, where quotients and shifts are not trivial.
const std::vector<Operand> kSmall = {
    {"Byte", 7, ""},      {"ShortInt", -3, ""},       {"Word", 3, ""},           {"SmallInt", 2, ""},
    {"LongWord", 5, ""},  {"LongInt", -9, ""},        {"Int64", 3, ""},          {"Single", -0.5L, ""},
    {"Double", 3.0L, ""}, {"Extended", 0.00005L, ""}, {"Currency", 0.0003L, ""}, {"Boolean", 0, ""},
};

// Zeros: every division fails alike.
const std::vector<Operand> kZeros = {
    {"Byte", 0, ""},   {"LongWord", 0, ""}, {"LongInt", 0, ""},  {"Int64", 0, ""},
    {"Single", 0, ""}, {"Double", 0, ""},   {"Currency", 0, ""},
};

std::string valueSetName(const testing::TestParamInfo<std::vector<Operand>>& info)
{
    const char* names[] = {"Edges", "Small", "Zeros"};
    return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(Values, Agreement, testing::Values(kEdges, kSmall, kZeros), valueSetName);

} // namespace
