// Expressions compiled and run: each program leaves its results in globals,
// which are read back after the run. Every run also checks that the stack
// holds exactly the declared locals at the start of every statement and at
// every return, so no temporary outlives its statement.

#include "tests/script/common/stack_thread.h"
#include "tests/script/compiler/run_harness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <tuple>

namespace {

class Runs : public ::testing::TestWithParam<RunCase>
{
};

TEST_P(Runs, GiveTheExpectedGlobals)
{
    expectRun(GetParam());
}

const std::string kVars = "var a, b, c, r: LongInt; w: Word; by: Byte; si: ShortInt; sm: SmallInt; "
                          "lw: LongWord; i6: Int64;\n";

INSTANTIATE_TEST_SUITE_P(
    Expressions, Runs,
    ::testing::Values(
        RunCase{"priorities",
                kVars + "begin a := 2; b := 3; c := 4; r := a + b * c; i6 := (a + b) * c; sm := a - b - c; "
                        "lw := 100 div a div 5; si := -a * b; w := c mod b shl 2 end.",
                {{"R", 14}, {"I6", 20}, {"SM", -5}, {"LW", 10}, {"SI", -6}, {"W", 4}}},
        // The three levels in one expression, each operand read at the level
        // it binds to, and the same in constants.
        RunCase{"levels mixed",
                "const K = 2 + 3 * 4 - 6 div 2 * 2; L = 100 div 5 div 2 - 3 - 2;\n" + kVars +
                    "begin a := 2; b := 3; c := 4; r := a * b + c * a - b div a * c; "
                    "i6 := a + b * c - a * b + c; sm := 20 - a * b * c + b; "
                    "by := ord(a + b * c = 14) + ord(a * b < c + a) * 2 + ord(a < b + c * a) * 4; "
                    "lw := K * 10 + L end.",
                {{"R", 10}, {"I6", 12}, {"SM", -1}, {"BY", 5}, {"LW", 85}}},
        RunCase{"comparisons and logic",
                kVars + "begin a := 6; b := 3; r := a and b; c := a or b; w := a xor b; "
                        "by := not b; i6 := a shr 1 end.",
                {{"R", 2}, {"C", 7}, {"W", 5}, {"BY", 252}, {"I6", 3}}},
        RunCase{"wrap on every width",
                kVars + "begin by := 250; by := by + 10; si := 120; si := si + 10; w := 0; w := w - 1; "
                        "sm := 32767; sm := sm + 1; lw := 0; lw := lw - 1; a := 2147483647; a := a + 1; "
                        "i6 := 9223372036854775807; i6 := i6 + 1 end.",
                {{"BY", 4},
                 {"SI", -126},
                 {"W", 65535},
                 {"SM", -32768},
                 {"LW", 4294967295},
                 {"A", -2147483647 - 1},
                 {"I6", INT64_MIN}}},
        RunCase{"in place and through a temporary",
                kVars + "begin a := 5; b := 7; a := b + a; c := 10; c := c - (c - 1); r := 3; r := -r; "
                        "w := 3; w := w * w * w end.",
                {{"A", 12}, {"C", 1}, {"R", -3}, {"W", 27}}},
        // A chain is written into its destination link by link; a link
        // whose right operand reads the destination stops it there, so
        // the old value is read before the first link overwrites it.
        RunCase{"destination read inside a chain",
                kVars + "begin a := 10; a := 1 + a + 2; b := 5; b := b * 2 - b + 1 - b; c := 3; "
                        "c := 100 - c * c - c + 1; r := 4; r := 2 * r + 1 + r * 2 end.",
                {{"A", 13}, {"B", 1}, {"C", 89}, {"R", 17}}},
        RunCase{"casts and constants folded",
                kVars + "const K = 40 + 2; begin by := Byte(300); a := LongInt(by) + K; w := Word(-1); "
                        "si := ShortInt(200); i6 := Int64(a) * 1000000000 end.",
                {{"BY", 44}, {"A", 86}, {"W", 65535}, {"SI", -56}, {"I6", 86000000000}}},
        RunCase{"calls with value, var, out and const parameters",
                kVars + "function Add(x, y: LongInt): LongInt; begin Result := x + y; end;\n"
                        "procedure Twice(var x: LongInt); begin x := x * 2; end;\n"
                        "procedure Put(out x: LongInt; const y: LongInt); begin x := y + 1; end;\n"
                        "function Nest(x: LongInt): LongInt; begin Result := Add(x, Add(x, 1)); end;\n"
                        "begin a := Add(2, 3); b := 10; Twice(b); Put(c, b); r := Nest(Add(1, 1)) * 2; "
                        "Add(1, 2); by := Add(250, 10) end.",
                {{"A", 5}, {"B", 20}, {"C", 21}, {"R", 10}, {"BY", 4}}},
        RunCase{"a function that changes the destination",
                kVars + "function Bump: LongInt; begin a := 100; Result := 1; end;\n"
                        "function Self(x: LongInt): LongInt; begin Result := x + 1; end;\n"
                        "procedure ByRef(var x: LongInt); begin x := 5; x := x + Self(x); end;\n"
                        "begin a := 1; a := a + Bump; b := 2; b := Self(b) + b; ByRef(c) end.",
                {{"A", 2}, {"B", 5}, {"C", 11}}},
        RunCase{"locals, parameters and recursion",
                kVars + "procedure Fact2(n: LongInt; var acc: LongInt); begin acc := acc * n; end;\n"
                        "function Fact(n: LongInt): LongInt; var t: LongInt; begin t := n - 1; Result := n; "
                        "Fact2(t, Result); end;\n"
                        "begin a := Fact(5) end.",
                {{"A", 20}}},
        RunCase{"arrays, records and fields",
                "type TR = record x, y: LongInt; inner: record z: LongInt; end; end;\n"
                "  TA = array[5..9] of LongInt; TD = array[0..2] of TR;\n"
                "var arr: TA; rec: TR; d: TD; i, a, b, c, e: LongInt;\n"
                "procedure Fill(var v: LongInt; n: LongInt); begin v := n; end;\n"
                "begin i := 7; arr[i] := 70; arr[5] := 50; arr[i + 1] := arr[i] + arr[5]; a := arr[8];\n"
                "  rec.x := 3; rec.y := rec.x * 2; rec.inner.z := 9; b := rec.y + rec.inner.z;\n"
                "  d[1].inner.z := 11; i := 1; d[i].x := d[1].inner.z + 1; c := d[1].x;\n"
                "  Fill(d[2].inner.z, 4); Fill(arr[i + 8], 6); e := d[2].inner.z * 10 + arr[9] end.",
                {{"A", 120}, {"B", 15}, {"C", 12}, {"E", 46}}},
        RunCase{"comparisons, Booleans, strings and reals",
                "var a, b, r, q, m: LongInt; t, u: Boolean; s: String; x: Double;\n"
                "begin a := 2; b := 3; t := a < b; u := not t or (a = b); r := Ord(t) + Ord(u) * 10;\n"
                "  s := 'ab' + 'c'; s := s + s; q := Ord(s = 'abcabc') + Ord(s <> 'abc') * 10;\n"
                "  x := 1.5; x := x * b - 0.5; m := Ord(x = 4) + Ord(x > 3.9) * 10 + Ord(not (x < 4)) * 100 end.",
                {{"R", 1}, {"Q", 11}, {"M", 111}}},
        // Indexed strings, lists given as arrays and Assigned run through the
        // built-in routines.
        RunCase{"built-in calls",
                "type TL = array of LongInt;\n"
                "var s: String; a, b, c, d: LongInt; ch: Char;\n"
                "function Sum(x: TL): LongInt; begin Result := x[0] + x[1] * 10 + x[2] * 100; end;\n"
                "begin s := 'abc'; ch := s[2]; a := Ord(ch); s[1] := 'z'; b := Ord(s[1]); c := Sum([1, 2, 3]);\n"
                "  d := Ord(Assigned(s)) end.",
                {{"A", 98}, {"B", 122}, {"C", 321}, {"D", 1}}},
        // A var open array is handed over as a copy that shares the
        // elements; the parameters after it keep their places.
        RunCase{"var open arrays",
                "type TL = array of LongInt;\n"
                "var d: TL; a, b, c: LongInt;\n"
                "procedure Put(x: LongInt; var v: array of LongInt; y: LongInt); begin v[0] := x; v[1] := y; end;\n"
                "begin SetArrayLength(d, 2); Put(7, d, 9); a := d[0]; b := d[1]; c := GetArrayLength(d) end.",
                {{"A", 7}, {"B", 9}, {"C", 2}}},
        RunCase{"procedural values",
                "type TF = function(x: LongInt): LongInt;\n"
                "var f, g: TF; a, b: LongInt;\n"
                "function Twice(x: LongInt): LongInt; begin Result := x * 2; end;\n"
                "function Apply(h: TF; x: LongInt): LongInt; begin Result := h(x) + 1; end;\n"
                "begin f := @Twice; a := f(21); g := f; b := Apply(g, 5) + g^(1) end.",
                {{"A", 42}, {"B", 13}}},
        // A record is a value: copied whole by assignment, into a value
        // parameter and out of a function; SizeOf counts its fields as a
        // running script keeps them, with no padding.
        RunCase{"records of one type are values",
                "type TP = record x: LongInt; s: String; b: Byte; end; TL = array of TP;\n"
                "var p, q: TP; l: TL; a, b, c, d, e, f, g: LongInt;\n"
                "function Make(n: LongInt): TP; begin Result.x := n; Result.s := 'made'; end;\n"
                "function Twice(r: TP): LongInt; begin r.x := r.x * 2; Result := r.x; end;\n"
                "begin p.x := 5; p.s := 'p'; q := p; q.x := 6; a := p.x * 10 + q.x;\n"
                "  b := Twice(p) * 10 + p.x; q := Make(7); c := q.x; d := Ord(q.s = 'made');\n"
                "  SetArrayLength(l, 3); l[1] := q; e := Length(l) * 10 + l[1].x; f := SizeOf(p);\n"
                "  g := SizeOf(l) end.",
                {{"A", 56}, {"B", 105}, {"C", 7}, {"D", 1}, {"E", 37}, {"F", 9}, {"G", 4}}},
        RunCase{"sizes as a running script keeps its values",
                "type TE = (e1, e2); TS = set of Byte; TA = array[1..3] of Word; TF = procedure;\n"
                "  TR = record c: Char; d: Double; w: WideChar; end;\n"
                "var s: String; ws: WideString; v: Variant; x: Extended; cu: Currency; e: TE; st: TS;\n"
                "  ar: TA; f: TF; r: TR; i6: Int64; ch: Char;\n"
                "  zs, zws, zv, zx, zcu, ze, zst, zar, zf, zr, zi6, zch, zlist: LongInt;\n"
                "begin zs := SizeOf(s); zws := SizeOf(ws); zv := SizeOf(v); zx := SizeOf(x); zcu := SizeOf(cu);\n"
                "  ze := SizeOf(e); zst := SizeOf(st); zar := SizeOf(ar); zf := SizeOf(f); zr := SizeOf(r);\n"
                "  zi6 := SizeOf(i6); zch := SizeOf(ch); zlist := SizeOf([1, 2]) end.",
                {{"ZS", 4},
                 {"ZWS", 4},
                 {"ZV", 16},
                 {"ZX", 10},
                 {"ZCU", 8},
                 {"ZE", 1},
                 {"ZST", 32},
                 {"ZAR", 6},
                 {"ZF", 12},
                 {"ZR", 11},
                 {"ZI6", 8},
                 {"ZCH", 1},
                 {"ZLIST", 4}}},
        // A negation or "not" goes into a wider variable in that variable's
        // type; a sum of two narrow operands wraps in the left one's type.
        RunCase{"narrow operands into a wider variable",
                "var by, b2: Byte; si: ShortInt; w: Word; lw: LongWord; a, b, c, d, r: LongInt; sm: SmallInt;\n"
                "  i6: Int64;\n"
                "begin by := 1; a := -by; b := not by; sm := -by; w := 7; i6 := -w; lw := 5; r := -lw;\n"
                "  by := 200; b2 := 100; c := by + b2; si := 100; d := si + si end.",
                {{"A", -1}, {"B", -2}, {"SM", -1}, {"I6", -7}, {"R", -5}, {"C", 44}, {"D", -56}}},
        RunCase{"string comparison is case-sensitive",
                "var s, t: String; a, b, c, d: LongInt;\n"
                "begin s := 'a'; t := 'B'; a := Ord(s > t); b := Ord(s = 'A'); c := Ord('b' < t);\n"
                "  t := 'a'; d := Ord(s = t) end.",
                {{"A", 1}, {"B", 0}, {"C", 0}, {"D", 1}}},
        RunCase{"sets of the same element type are one type",
                "type TS1 = set of Byte; TS2 = set of Byte;\n"
                "var s1: TS1; s2: TS2; a: LongInt;\n"
                "begin s1 := [1, 3, 5]; s2 := s1; s1 := s2 + [7]; a := Ord(7 in s1) + Ord(2 in s1) * 10 +\n"
                "  Ord(s1 = s2 + [7]) * 100 + Ord(3 in [1, 3]) * 1000 end.",
                {{"A", 1101}}}),
    runCaseName);

// Every operator on every integer width: each result wraps to its type's
// width, as the same operation on that C++ type gives.
template <typename T> std::map<std::string, std::int64_t> expectedWraps(T x, T y, unsigned shift)
{
    using U = std::make_unsigned_t<T>;
    auto wrap = [](std::uint64_t v) { return static_cast<std::int64_t>(static_cast<T>(static_cast<U>(v))); };
    const auto ux = static_cast<std::uint64_t>(static_cast<std::int64_t>(x));
    const auto uy = static_cast<std::uint64_t>(static_cast<std::int64_t>(y));
    return {{"RADD", wrap(ux + uy)},
            {"RSUB", wrap(ux - uy)},
            {"RMUL", wrap(ux * uy)},
            {"RDIV", wrap(static_cast<std::uint64_t>(static_cast<std::int64_t>(x / y)))},
            {"RMOD", wrap(static_cast<std::uint64_t>(static_cast<std::int64_t>(x % y)))},
            {"RSHL", wrap(ux << shift)},
            {"RAND", wrap(ux & uy)},
            {"ROR", wrap(ux | uy)},
            {"RXOR", wrap(ux ^ uy)},
            {"RNEG", wrap(0 - ux)},
            {"RNOT", wrap(~ux)}};
}

struct WidthCase
{
    const char* type;
    std::string x, y;
    std::map<std::string, std::int64_t> expected;
};

class Widths : public ::testing::TestWithParam<WidthCase>
{
};

TEST_P(Widths, WrapEveryOperator)
{
    const WidthCase& w = GetParam();
    const std::string t = w.type;
    const RunResult r =
        compileAndRun("var x, y, radd, rsub, rmul, rdiv, rmod, rshl, rand, ror, rxor, rneg, rnot: " + t +
                      ";\nbegin x := " + w.x + "; y := " + w.y +
                      "; radd := x + y; rsub := x - y; rmul := x * y; rdiv := x div y; rmod := x mod y; "
                      "rshl := x shl 3; rand := x and y; ror := x or y; rxor := x xor y; rneg := -x; "
                      "rnot := not x end.");
    ASSERT_EQ(r.error, "");
    ASSERT_EQ(r.runError, "");
    EXPECT_EQ(r.unbalanced, 0);
    for (const auto& [name, value] : w.expected)
        EXPECT_EQ(r.values.at(name), value) << t << " " << name;
}

INSTANTIATE_TEST_SUITE_P(
    Expressions, Widths,
    ::testing::Values(WidthCase{"Byte", "200", "7", expectedWraps<std::uint8_t>(200, 7, 3)},
                      WidthCase{"ShortInt", "-100", "7", expectedWraps<std::int8_t>(-100, 7, 3)},
                      WidthCase{"Word", "60000", "9", expectedWraps<std::uint16_t>(60000, 9, 3)},
                      WidthCase{"SmallInt", "-30000", "-7", expectedWraps<std::int16_t>(-30000, -7, 3)},
                      WidthCase{"LongWord", "4000000000", "3", expectedWraps<std::uint32_t>(4000000000u, 3, 3)},
                      WidthCase{"LongInt", "-2000000000", "3", expectedWraps<std::int32_t>(-2000000000, 3, 3)},
                      WidthCase{"Int64", "-9000000000000000000", "5",
                                expectedWraps<std::int64_t>(-9000000000000000000, 5, 3)}),
    [](const ::testing::TestParamInfo<WidthCase>& info) { return std::string(info.param.type); });

struct ErrorCase
{
    std::string program;
    std::string error;
};

class Errors : public ::testing::TestWithParam<ErrorCase>
{
};

TEST_P(Errors, ArePlacedAndWorded)
{
    EXPECT_EQ(compileAndRun(GetParam().program).error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Expressions, Errors,
    ::testing::Values(
        ErrorCase{"var a: LongInt;\nbegin\n  a := 'text';\nend.", "[Error] (3:14): Type mismatch"},
        ErrorCase{"var a: LongInt;\nbegin\n  a := b + 1;\nend.", "[Error] (3:8): Unknown identifier 'b'"},
        // A byte-order mark is no column of the first line.
        ErrorCase{"\xEF\xBB\xBF"
                  "begin x := 1 end.",
                  "[Error] (1:7): Unknown identifier 'x'"},
        ErrorCase{"procedure P(x: LongInt); begin end;\nbegin\n  P(1, 2);\nend.",
                  "[Error] (3:10): Invalid number of parameters"},
        ErrorCase{"procedure P(var x: LongInt); begin end;\nbegin\n  P(3);\nend.", "[Error] (3:5): Variable Expected"},
        ErrorCase{"var s: String; a: LongInt;\nbegin\n  a := Succ(1.5);\nend.", "[Error] (3:17): Type mismatch"},
        ErrorCase{"type TS = set of Byte; var s: TS; a: LongInt;\nbegin\n  s := [a];\nend.",
                  "[Error] (3:9): Type mismatch"},
        ErrorCase{"procedure P; begin end; var a: LongInt;\nbegin\n  a := P;\nend.", "[Error] (3:9): Type mismatch"},
        ErrorCase{"var a: LongInt;\nbegin\n  a := (1 + 2;\nend.", "[Error] (3:14): Closing parenthesis expected"}));

// Boolean "and" and "or" evaluate both operands unless the host asks for
// short-circuit evaluation.
TEST(BooleanOperators, EvaluateBothOperandsUnlessShortCircuit)
{
    const std::string program = "var calls, n: LongInt; t: Boolean;\n"
                                "function Count(v: Boolean): Boolean; begin calls := calls + 1; Result := v; end;\n"
                                "begin calls := 0; t := Count(False) and Count(True); n := calls * 10;\n"
                                "  t := Count(True) or Count(False); n := n + calls end.";
    for (const bool shortCircuit : {false, true}) {
        const RunResult r =
            compileAndRun(program, [shortCircuit](TPSPascalCompiler& c) { c.BooleanShortCircuit = shortCircuit; });
        ASSERT_EQ(r.error, "");
        ASSERT_EQ(r.runError, "");
        EXPECT_EQ(r.values.at("N"), shortCircuit ? 12 : 24) << shortCircuit;
    }
}

// ---- The shape of the code -------------------------------------------------------

// The main block's instructions as "opcode" or "opcode:operator byte",
// operands left out. Constant operands may be of fixed-size types, sets and
// 8-bit strings.
std::vector<std::string> mainInstructions(const std::string& program, bool shortCircuit, std::string* warning,
                                          std::function<void(TPSPascalCompiler&)> registerTypes = {})
{
    CompileHarness h;
    h.registerTypes = std::move(registerTypes);
    h.c.BooleanShortCircuit = shortCircuit;
    if (!h.compile(program)) {
        ADD_FAILURE() << (h.firstError() ? h.firstError()->MessageToString() : "failed");
        return {};
    }
    for (std::size_t i = 0; warning && i < h.c.GetMessageCount(); ++i) {
        if (auto* w = dynamic_cast<const TPSPascalCompilerWarning*>(h.c.GetMessage(i)))
            *warning = w->MessageToString();
    }
    std::string image;
    h.c.GetOutput(image);
    // Host routines and members are bound to nothing: the code is only read.
    struct BindAll : TPSExec
    {
        bool BindExternalProc(const std::string&, TPSExternalProcRec* proc) override
        {
            proc->handler = [](TPSExec*, TPSExternalProcRec*, TPSStack*, TPSStack*) { return false; };
            return true;
        }
    } exec;
    if (!exec.LoadBytecode(image)) {
        ADD_FAILURE() << "load";
        return {};
    }
    const std::string& code = static_cast<TPSInternalProcRec*>(exec.GetProcNo(exec.MainProcNo()))->code;
    std::vector<std::string> out;
    std::size_t pos = 0;
    auto u32 = [&] {
        std::uint32_t v = 0;
        pscode::readU32(code, pos, v);
        return v;
    };
    auto operand = [&] {
        const auto kind = static_cast<pscode::OperandKind>(code[pos++]);
        const std::uint32_t first = u32();
        if (kind == pscode::OperandKind::Element || kind == pscode::OperandKind::ElementVar)
            u32();
        if (kind == pscode::OperandKind::Const) {
            const TPSTypeRec* type = exec.GetTypeByNumber(first);
            if (type->baseType == ps::BaseType::AnsiString)
                pos += u32();
            else
                pos += type->baseType == ps::BaseType::Set ? type->realSize : ps::fixedValueSize(type->baseType);
        }
    };
    while (pos < code.size()) {
        const auto op = static_cast<pscode::Op>(code[pos++]);
        std::string text = std::to_string(int(op));
        switch (op) {
        case pscode::Op::Assign:
        case pscode::Op::SetPointer:
            operand();
            operand();
            break;
        case pscode::Op::Calc:
            text += ":" + std::to_string(int(code[pos++]));
            operand();
            operand();
            break;
        case pscode::Op::Compare:
            text += ":" + std::to_string(int(code[pos++]));
            operand();
            operand();
            operand();
            break;
        case pscode::Op::PushRef:
        case pscode::Op::CallVar:
        case pscode::Op::BoolNot:
        case pscode::Op::Negate:
        case pscode::Op::BitNot:
            operand();
            break;
        case pscode::Op::Call:
        case pscode::Op::PushType:
            u32();
            break;
        case pscode::Op::JumpIfTrue:
        case pscode::Op::JumpIfFalse: {
            const std::int32_t offset = static_cast<std::int32_t>(u32());
            operand();
            text += "+" + std::to_string(offset);
            break;
        }
        default:
            break;
        }
        out.push_back(text);
    }
    return out;
}

struct ShapeCase
{
    ShapeCase(const char* s, std::vector<std::string> c, bool sc = false, std::string w = {})
        : statement(s), code(std::move(c)), shortCircuit(sc), warning(std::move(w))
    {
    }
    const char* statement;
    std::vector<std::string> code;
    bool shortCircuit;
    std::string warning;
};

class Shapes : public ::testing::TestWithParam<ShapeCase>
{
};

TEST_P(Shapes, OfTheMainBlock)
{
    const std::string program = "type TR = record x: LongInt; inner: record z: LongInt; end; end; TS = set of Byte;\n"
                                "var a, b: LongInt; t, u: Boolean; rec: TR; s: TS; by: Byte;\n"
                                "procedure Fill(var v: LongInt; n: LongInt); begin end;\n"
                                "function F(n: LongInt): LongInt; begin end;\n"
                                "begin\n  " +
                                std::string(GetParam().statement) + ";\nend.";
    std::string warning;
    EXPECT_EQ(mainInstructions(program, GetParam().shortCircuit, &warning), GetParam().code);
    EXPECT_EQ(warning, GetParam().warning);
}

INSTANTIATE_TEST_SUITE_P(
    Expressions, Shapes,
    ::testing::Values(
        // The left operand is the destination: computed in place.
        ShapeCase{"a := a + 1", {"1:0", "9"}},
        // The destination in the right operand: through a temporary.
        ShapeCase{"a := b + a", {"11", "0", "1:0", "0", "4", "9"}},
        // A minus before a product negates the product; "/" and "div" of
        // integers are both operator 3 (the destination in the right
        // operand sends the sum through a temporary).
        ShapeCase{"a := -b * 2", {"11", "0", "1:2", "0", "4", "16", "9"}},
        ShapeCase{"a := b / 2 + b div a", {"11", "0", "1:3", "11", "0", "1:3", "1:0", "4", "0", "4", "9"}},
        // A chain of equality tests compares the first result with the third.
        ShapeCase{"t := a = b = t", {"11", "11", "12:5", "12:5", "4", "0", "4", "9"}},
        // A list of constants given to a set is one set constant.
        ShapeCase{"s := [1, 2, 200]", {"0", "9"}},
        // "in" a list of constants that a set of the left operand's type
        // holds tests against that set; any other list is an array of
        // Variants, sized and filled first.
        ShapeCase{"t := by in [1, 3]", {"12:6", "9"}}, ShapeCase{"t := s = [1]", {"12:5", "9"}},
        ShapeCase{"t := a in [1, 3]", {"11", "11", "0", "3", "5", "4", "4", "0", "0", "12:6", "4", "9"}},
        // A two-level field passed by reference: a pointer aimed at the
        // record, the inner record and the field is the parameter.
        ShapeCase{"Fill(rec.inner.z, 1)", {"11", "0", "11", "14", "14", "14", "5", "4", "4", "9"}},
        ShapeCase{"Fill(a, a)", {"11", "0", "11", "14", "5", "4", "4", "9"}},
        // A function called as a statement gets a result slot.
        ShapeCase{"F(1)", {"11", "11", "0", "3", "5", "4", "4", "4", "9"}},
        // A function's result goes straight into a temporary, and from it
        // into a global, which the function might change meanwhile.
        ShapeCase{"a := F(b) + 1", {"11", "11", "0", "3", "5", "4", "4", "1:0", "0", "4", "9"}},
        ShapeCase{"t := t and u", {"1:7", "9"}},
        // Short-circuit "and": the jump skips the operator.
        ShapeCase{"t := t and u", {"8+12", "1:7", "9"}, true},
        // The jump skips the right operand's temporary too.
        ShapeCase{"t := u and (a = b)", {"0", "8+35", "11", "12:5", "1:7", "4", "9"}, true},
        ShapeCase{"t := u and True", {"0", "1:7", "9"}, false, "[Warning] (6:8): \"and True\" is not needed"},
        ShapeCase{"t := False or u", {"0", "1:8", "9"}, false, "[Warning] (6:8): \"False or\" is not needed"},
        ShapeCase{
            "t := u and False", {"0", "1:7", "9"}, false, "[Warning] (6:8): Calculation always evaluates to False"}));

// Host class members are calls with the instance first.
void registerThing(TPSPascalCompiler& c)
{
    TPSCompileTimeClass* thing = c.AddClass(nullptr, "TThing");
    thing->RegisterMethod("procedure Run(x: Integer; var s: String)");
    thing->RegisterMethod("function Count: Integer");
    thing->RegisterMethod("constructor Create(n: Integer)");
    thing->RegisterProperty("Items", "Integer Integer", TPSPropertyAccess::ReadWrite);
    thing->RegisterProperty("Size", "Integer", TPSPropertyAccess::ReadOnly);
    thing->RegisterProperty("Next", "TThing", TPSPropertyAccess::ReadOnly);
    thing->SetDefaultProperty("Items");
    c.AddClass(thing, "TSub");
    c.AddClass(nullptr, "TPlain")->RegisterProperty("Size", "Integer", TPSPropertyAccess::ReadOnly);
}

TEST(ClassMembers, AreCalledWithTheInstanceFirst)
{
    const std::string head = "var th: TThing; sub: TSub; plain: TPlain; a: Integer; str: String;\nbegin\n  ";
    struct Case
    {
        std::string statement;
        std::vector<std::string> code;
    };
    const std::vector<Case> cases = {
        // Run(x, var s): s's pointer, x, then the instance, pushed last to first.
        {"th.Run(1, str)", {"11", "14", "11", "0", "11", "0", "5", "4", "4", "4", "9"}},
        {"a := th.Count", {"11", "11", "0", "3", "5", "4", "4", "0", "4", "9"}},
        // A property write passes the index, then the value last.
        {"th.Items[2] := a", {"11", "0", "11", "0", "11", "0", "5", "4", "4", "4", "9"}},
        // "[" right after an instance reaches the default property, which
        // a derived class inherits.
        {"th[2] := a", {"11", "0", "11", "0", "11", "0", "5", "4", "4", "4", "9"}},
        {"a := sub[a]", {"11", "11", "0", "11", "0", "3", "5", "4", "4", "4", "0", "4", "9"}},
        // The chain goes on through a property that gives an instance, read
        // straight into the next call's parameter.
        {"a := th.Next.Size", {"11", "11", "11", "0", "3", "5", "4", "4", "3", "5", "4", "4", "0", "4", "9"}},
        // A constructor takes the class's type number in place of an
        // instance, and the chain goes on from the new instance.
        {"th := TThing.Create(a)", {"11", "11", "0", "11", "0", "3", "5", "4", "4", "4", "0", "4", "9"}},
        {"a := TThing.Create(1).Count",
         {"11", "11", "11", "0", "11", "0", "3", "5", "4", "4", "4", "3", "5", "4", "4", "0", "4", "9"}},
        // nil is a new, empty slot.
        {"th := nil", {"11", "0", "4", "9"}},
        // A cast to another class goes through that class's cast routine.
        {"sub := TSub(th)", {"11", "11", "0", "11", "0", "3", "5", "4", "4", "4", "0", "4", "9"}},
    };
    for (const Case& test : cases)
        EXPECT_EQ(mainInstructions(head + test.statement + ";\nend.", false, nullptr, registerThing), test.code)
            << test.statement;

    const std::vector<std::pair<std::string, std::string>> errors = {
        {"th.Size := 1", "[Error] (3:11): Read-only property"},
        {"th.Walk", "[Error] (3:6): Unknown identifier 'Walk'"},
        {"th.Run(1, 2)", "[Error] (3:13): Variable Expected"},
        {"a := th.Items", "[Error] (3:16): Opening square brackets ('[') expected"},
        {"th := TThing.Count", "[Error] (3:16): Unknown identifier 'Count'"},
        {"a := plain[1]", "[Error] (3:13): period ('.') expected"},
        {"th[1, 2] := a", "[Error] (3:16): Invalid number of parameters"},
    };
    for (const auto& [statement, error] : errors) {
        CompileHarness h;
        h.registerTypes = registerThing;
        EXPECT_FALSE(h.compile(head + statement + ";\nend."));
        ASSERT_NE(h.firstError(), nullptr);
        EXPECT_EQ(h.firstError()->MessageToString(), error) << statement;
    }
}

// The host hears of every property reached through a variable, named by
// the variable; a property of a call's result belongs to no variable.
TEST(ClassMembers, PropertyUsesAreToldWithTheirVariable)
{
    using Use = std::tuple<TPSVariableType, std::int32_t, std::string>;
    static std::vector<Use> uses;
    uses.clear();
    CompileHarness h;
    h.registerTypes = registerThing;
    h.c.OnUseVariable = [](TPSPascalCompiler*, TPSVariableType kind, std::int32_t varNo, std::int32_t, std::uint32_t,
                           const std::string& member) {
        if (!member.empty())
            uses.emplace_back(kind, varNo, member);
    };
    ASSERT_TRUE(h.compile("var th: TThing; a: Integer;\n"
                          "procedure P(x: TThing); var l: TThing; begin l := x; a := l.Size + x[0]; end;\n"
                          "begin a := th.Size; th[1] := a; a := th.Next.Size end."));
    using K = TPSVariableType;
    const std::vector<Use> expected = {{K::Local, 0, "Size"},
                                       {K::Param, 0, "[Default]"},
                                       {K::Global, 0, "Size"},
                                       {K::Global, 0, "[Default]"},
                                       {K::Global, 0, "Next"}};
    EXPECT_EQ(uses, expected);
}

// Indexed strings, bracketed lists given as arrays, and notification
// variables become calls of the built-in routines.
TEST(BuiltInCalls, StandInForElementsListsAndNotifications)
{
    const auto registerNotify = [](TPSPascalCompiler& c) {
        c.AddTypeCopy("TNotify", c.FindType("!NotificationVariant"));
    };
    const std::string head = "var str: AnsiString; ch: Char; nv: TNotify; v: Variant; list: array of LongInt;\n"
                             "procedure Take(a: array of LongInt); begin end;\n"
                             "procedure Keep(var a: array of LongInt); begin end;\nbegin\n  ";
    struct Case
    {
        std::string statement;
        std::vector<std::string> code;
    };
    const std::vector<Case> cases = {
        // StrGet(var S; I) into a result temporary, then into the global.
        {"ch := str[2]", {"11", "11", "0", "11", "14", "3", "5", "4", "4", "4", "0", "4", "9"}},
        // StrSet(c; I; var s): the value first, the variable last.
        {"str[1] := 'x'", {"11", "14", "11", "0", "11", "0", "5", "4", "4", "4", "9"}},
        // The array is sized by the built-in, then filled element by element.
        {"Take([1, 2, 3])", {"11", "11", "11", "0", "3", "5", "4", "4", "0", "0", "0", "0", "4", "5", "4", "9"}},
        // A var open array: a copy first, then a pointer aimed at it.
        {"Keep(list)", {"11", "0", "11", "14", "5", "4", "4", "9"}},
        {"nv := 5", {"11", "0", "11", "0", "5", "4", "4", "9"}},
        {"v := nv", {"11", "11", "0", "3", "5", "4", "4", "0", "4", "9"}},
        // A member of a Variant is bound at run time: the invoke routine
        // gets the parameters as an array of Variants.
        {"v := v.Item(1)", {"11", "11", "11", "11", "0", "3", "5", "4", "4", "0", "0", "4", "11", "0",
                            "11", "0",  "11", "0",  "3", "5", "4", "4", "4", "4", "4", "0", "4",  "9"}},
    };
    for (const Case& test : cases)
        EXPECT_EQ(mainInstructions(head + test.statement + ";\nend.", false, nullptr, registerNotify), test.code)
            << test.statement;
}

// The counted bounds are tested on a stack large enough for any build's
// frames, the watch of the stack itself on a small one.
constexpr std::size_t kLargeStack = std::size_t(128) << 20;

void longChainsAndDeepNesting();
void boundsReached();

// No count of operators limits a statement or a program: chains of any
// length are read and written in loops, and only nesting is bounded, far
// above what a program writes, by a bound that names itself where it is
// reached.
TEST(Limits, LongChainsAndDeepNestingCompileAndRun)
{
    runOnStackOf(kLargeStack, [] { longChainsAndDeepNesting(); });
}

void longChainsAndDeepNesting()
{
    std::string many = "var a: LongInt;\nbegin\n";
    for (int i = 0; i < 300; ++i)
        many += "  a := a + 1 + 1;\n";
    const RunResult fine = compileAndRun(many + "end.");
    ASSERT_EQ(fine.error, "");
    EXPECT_EQ(fine.values.at("A"), 600);

    // 5,000 terms of each kind: numbers folded and not, calls into a
    // string, Booleans with short-circuit jumps, and an element
    // destination whose index is computed once.
    auto chain = [](const std::string& first, const std::string& before, const std::string& after, int count) {
        std::string text = first;
        for (int i = 1; i < count; ++i)
            text += before + std::to_string(i % 7) + after;
        return text;
    };
    std::string nested = "1";
    for (int i = 0; i < 500; ++i)
        nested = "(1 + " + nested + ")";
    std::string ifs, ends;
    for (int i = 0; i < 500; ++i) {
        ifs += "if d >= 0 then begin d := d + 1; ";
        ends += "end; ";
    }
    std::string loops, loopEnds;
    for (int i = 0; i < 250; ++i) {
        loops += "while w < 1000 do begin w := w + 1; repeat r := r + 1; ";
        loopEnds += "until r > 0; end; ";
    }
    const std::string program =
        "var a, b, n, k, d, w, r, x: LongInt; s: String; t: Boolean; arr: array of LongInt;\n"
        "begin\n  k := 2;\n  a := " +
        chain("k", " + k * ", "", 5000) + ";\n  b := " + chain("0", " - ", "", 5000) +
        ";\n  s := " + chain("IntToStr(k)", " + IntToStr(", ")", 2500) +
        ";\n  n := Length(s);\n  t := " + chain("(k > 1)", " or (k = ", ")", 5000) +
        ";\n  if t then x := 1;\n  SetArrayLength(arr, 3);\n  arr[k - 1] := " + chain("k", " + ", "", 5000) +
        ";\n  x := x + arr[1] + " + nested + ";\n  " + ifs + ends + "\n  " + loops + loopEnds + "\nend.";
    const RunResult run = compileAndRun(program);
    ASSERT_EQ(run.error, "");
    ASSERT_EQ(run.runError, "");
    std::int64_t sumOfTerms = 0;
    for (int i = 1; i < 5000; ++i)
        sumOfTerms += i % 7;
    EXPECT_EQ(run.values.at("A"), 2 + 2 * sumOfTerms);
    EXPECT_EQ(run.values.at("B"), -sumOfTerms);
    EXPECT_EQ(run.values.at("N"), 2500);
    EXPECT_EQ(run.values.at("X"), 1 + 2 + sumOfTerms + 501);
    EXPECT_EQ(run.values.at("D"), 500);
    EXPECT_EQ(run.values.at("W"), 1000);
    EXPECT_EQ(run.unbalanced, 0);
}

TEST(Limits, ReachedBoundsNameThemselvesWhereReached)
{
    runOnStackOf(kLargeStack, [] { boundsReached(); });
}

void boundsReached()
{
    const std::string head = "var a: LongInt; t: Boolean;\nbegin\n";
    auto nest = [](const std::string& open, int count, const std::string& inner, const std::string& close) {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += open;
        text += inner;
        for (int i = 0; i < count; ++i)
            text += close;
        return text;
    };
    struct Case
    {
        std::string body;
        std::string error;
    };
    const std::vector<Case> cases = {
        // A factor inside 1,000 others is one too deep: here the literal
        // inside 1,000 parentheses, at column 1,006.
        {"a := " + nest("(", 999, "1", ")"), ""},
        {"a := " + nest("(", 1000, "1", ")"), "[Error] (3:1006): expression too complex"},
        {"a := " + nest("-", 999, "1", ""), ""},
        {"t := " + nest("not ", 1001, "t", ""), "[Error] (3:4006): expression too complex"},
        {"a := " + nest("Abs(", 1001, "1", ")"), "[Error] (3:4006): expression too complex"},
        // A chain of comparisons is written one link deeper each: the
        // writer's bound reports at the chain's start.
        {"t := t" + nest(" = t", 2500, "", ""), "[Error] (3:6): expression too complex"},
        {nest("begin ", 2000, "a := 1;", " end"), ""},
        {nest("begin ", 2001, "a := 1;", " end"), "[Error] (3:12001): statements nested too deeply"},
        {nest("if a = 0 then ", 2001, "a := 1", ""), "[Error] (3:28015): statements nested too deeply"},
    };
    for (const Case& test : cases) {
        const RunResult run = compileAndRun(head + test.body + ";\nend.");
        EXPECT_EQ(run.error, test.error) << test.body.substr(0, 40);
        if (test.error.empty()) {
            EXPECT_EQ(run.runError, "") << test.body.substr(0, 40);
        }
    }
}

// Below the counted bounds the stack itself is watched: a compile on a
// thread with a small stack ends with the message, not a crash.
TEST(Limits, ASmallStackEndsTheNestingWithTheMessage)
{
    const std::string deep =
        "var a: LongInt;\nbegin\n  a := " + std::string(999, '(') + "1" + std::string(999, ')') + ";\nend.";
    std::string statements = "var a: LongInt;\nbegin\n";
    for (int i = 0; i < 1999; ++i)
        statements += "begin ";
    statements += "a := 1";
    for (int i = 0; i < 1999; ++i)
        statements += " end";
    statements += "\nend.";
    // A chain of comparisons is written one link deeper each; the watch
    // stops the writer inside an operand, which must not add a second
    // error of its own.
    std::string comparisons = "var t: Boolean;\nbegin\n  t := t";
    for (int i = 0; i < 1999; ++i)
        comparisons += " = t";
    comparisons += ";\nend.";
    runOnStackOf(std::size_t(320) << 10, [&] {
        EXPECT_THAT(compileAndRun(deep).error, ::testing::EndsWith("): expression too complex"));
        EXPECT_THAT(compileAndRun(statements).error, ::testing::EndsWith("): statements nested too deeply"));
        CompileHarness h;
        EXPECT_FALSE(h.compile(comparisons));
        ASSERT_EQ(h.c.GetMessageCount(), 1u);
        EXPECT_EQ(h.c.GetMessage(0)->MessageToString(), "[Error] (3:8): expression too complex");
    });
}

} // namespace
