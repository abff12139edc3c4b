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
#include <iterator>
#include <map>
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

// A value left in a global, as text.
std::string textOf(const TPSValueRef& r)
{
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

// Whether an operator compiles for a pair of types, once a compile told.
std::map<std::string, bool> compiles;

std::string typingKey(const Operand& a, const Operand& b, const Operator& op)
{
    return std::string(a.type) + " " + op.text + " " + b.type;
}

// The outcome of every operator for one pair: what the expression leaves
// in its result, or the failure that stopped its compile or its run. Each
// expression is the body of a procedure of its own, on a line of its own,
// so that a run fails alone and a compile error names its line; the
// expression the error names is taken out and the rest compiled again.
// folded: over the constants A and B, else over variables holding them.
std::vector<std::string> outcomes(const Operand& a, const Operand& b, bool folded)
{
    std::vector<std::string> result(std::size(kOperators));
    std::vector<std::size_t> left;
    for (std::size_t k = 0; k < std::size(kOperators); ++k) {
        const auto known = compiles.find(typingKey(a, b, kOperators[k]));
        if (known == compiles.end() || known->second)
            left.push_back(k);
        else
            result[k] = failure("compile", int(TPSCompilerErrorCode::TypeMismatch));
    }
    while (!left.empty()) {
        std::string program = "var " + std::string(folded ? "" : "x: " + std::string(a.type) + "; y: " + b.type + ";");
        for (const std::size_t k : left)
            program += " R" + std::to_string(k) + ": " + resultType(kOperators[k], a.type, b.type) + ";";
        program += "\n";
        for (const std::size_t k : left)
            program += "procedure P" + std::to_string(k) + "; begin R" + std::to_string(k) +
                       " := " + (folded ? "A " : "x ") + kOperators[k].text + (folded ? " B" : " y") + " end;\n";
        program += folded ? "begin end." : "begin x := A; y := B end.";
        CompileHarness h;
        h.registerTypes = [&](TPSPascalCompiler& c) {
            setConstant(*c.AddConstantN("A", a.type), a);
            setConstant(*c.AddConstantN("B", b.type), b);
        };
        if (!h.compile(program)) {
            const TPSPascalCompilerError* e = h.firstError();
            const std::size_t line = e ? e->Row : 0;
            if (line < 2 || line - 2 >= left.size())
                return std::vector<std::string>(result.size(), "compile error " + (e ? e->MessageToString() : ""));
            const std::size_t k = left[line - 2];
            result[k] = failure("compile", int(e->Error));
            if (!folded)
                compiles[typingKey(a, b, kOperators[k])] = false;
            left.erase(left.begin() + static_cast<std::ptrdiff_t>(line - 2));
            continue;
        }
        std::string image;
        h.c.GetOutput(image);
        TPSExec exec;
        if (!exec.LoadBytecode(image) || !exec.ExecuteCode())
            return std::vector<std::string>(result.size(), "cannot load or start: " + exec.ExceptionText());
        for (std::size_t i = 0; i < left.size(); ++i) {
            const std::size_t k = left[i];
            if (!folded)
                compiles[typingKey(a, b, kOperators[k])] = true;
            std::uint32_t procNo = 0;
            while (procNo < exec.ProcCount()) {
                const auto* proc = dynamic_cast<const TPSInternalProcRec*>(exec.GetProcNo(procNo));
                if (proc && proc->exportName == "P" + std::to_string(k))
                    break;
                ++procNo;
            }
            if (exec.RunScriptProc({}, procNo))
                result[k] = textOf(exec.GetGlobalVar(i + (folded ? 0 : 2)));
            else
                result[k] = failure("run", exec.ExceptionCode());
        }
        break;
    }
    return result;
}

// Operands paired with each other: numbers with numbers, texts with texts,
// Booleans with Booleans. A number and a text, or a Boolean and anything
// else, are refused by the expression's typing before anything is folded,
// with constants and variables alike.
using ValueSet = std::vector<std::vector<Operand>>;

class Agreement : public testing::TestWithParam<ValueSet>
{
};

TEST_P(Agreement, FoldedAndRunGiveTheSame)
{
    std::string disagreements;
    for (const std::vector<Operand>& group : GetParam()) {
        for (const Operand& a : group) {
            for (const Operand& b : group) {
                // The variables first: they tell which operators compile at all.
                const std::vector<std::string> run = outcomes(a, b, false);
                const std::vector<std::string> folded = outcomes(a, b, true);
                for (std::size_t k = 0; k < std::size(kOperators); ++k) {
                    if (folded[k] != run[k])
                        disagreements += std::string(a.type) + " " + describe(a) + " " + kOperators[k].text + " " +
                                         b.type + " " + describe(b) + ": folded " + folded[k] + ", run " + run[k] +
                                         "\n";
                }
            }
        }
    }
    EXPECT_EQ(disagreements, "");
}

const std::vector<Operand> kBooleans = {{"Boolean", 1, ""}, {"Boolean", 0, ""}};

// Values at the edges of their types, where widths and signs show.
const ValueSet kEdges = {
    {
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
    },
    {
        {"Char", 'A', ""},
        {"WideChar", 0xE9, ""},
        {"AnsiString", 0, "ab"},
        {"WideString", 0, "aB"},
        {"UnicodeString", 0, "b"},
    },
    kBooleans,
};

// Small values, where quotients, shifts and rounding are not trivial.
const ValueSet kSmall = {{
    {"Byte", 7, ""},
    {"ShortInt", -3, ""},
    {"Word", 3, ""},
    {"SmallInt", 2, ""},
    {"LongWord", 5, ""},
    {"LongInt", -9, ""},
    {"Int64", 3, ""},
    {"Single", -0.5L, ""},
    {"Double", 3.0L, ""},
    {"Extended", 0.00005L, ""},
    {"Currency", 0.0003L, ""},
}};

// Zeros: every division fails alike.
const ValueSet kZeros = {{
    {"Byte", 0, ""},
    {"LongInt", 0, ""},
    {"Int64", 0, ""},
    {"Double", 0, ""},
    {"Currency", 0, ""},
}};

std::string valueSetName(const testing::TestParamInfo<ValueSet>& info)
{
    const char* names[] = {"Edges", "Small", "Zeros"};
    return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(Values, Agreement, testing::Values(kEdges, kSmall, kZeros), valueSetName);

} // namespace
