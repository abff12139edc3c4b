// Whole programs compiled and run through the component as a host runs
// them: each logs its results through the host's Log routine, and the lines
// must come out as a Pascal program gives them.

#include "tests/script/component/program_cases.h"

#include <cctype>

std::string CaseName(const char* name)
{
    std::string out = name;
    for (char& ch : out)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return out;
}

namespace {

// A program whose loop never ends fails its case instead of hanging the
// test program.
constexpr std::uint64_t kInstructionBudget = 20'000'000;

TEST_P(Programs, LogTheExpectedLines)
{
    const ProgramCase& test = GetParam();
    ScriptHost host;
    const bool compiled = host.Compile(test.program);
    if (!compiled && !test.pending.empty())
        GTEST_SKIP() << test.pending << ": " << host.Messages();
    ASSERT_TRUE(compiled) << host.Messages();
    EXPECT_TRUE(host.logDeclared);
    std::uint64_t instructions = 0;
    host.script.OnLine = [&instructions](TPSScript* sender) {
        if (++instructions > kInstructionBudget)
            sender->Stop();
    };
    const bool ran = host.script.Execute();
    ASSERT_LE(instructions, kInstructionBudget) << "the program did not end";
    EXPECT_EQ(ran, test.runError.empty()) << host.script.RuntimeErrorText();
    if (!test.runError.empty()) {
        EXPECT_EQ(host.script.RuntimeErrorText(), test.runError);
    }
    EXPECT_EQ(host.lines, test.lines);
}

TEST_P(CompilerMessages, AreWordedAndPlaced)
{
    const MessageCase& test = GetParam();
    ScriptHost host;
    EXPECT_FALSE(host.Compile(test.program));
    std::vector<std::string> messages;
    for (std::size_t i = 0; i < host.script.CompilerMessageCount(); ++i)
        messages.push_back(host.script.CompilerMessage(i)->MessageToString());
    EXPECT_EQ(messages, test.messages);
}

INSTANTIATE_TEST_SUITE_P(
    Component, Programs,
    ::testing::Values(
        ProgramCase{"integer arithmetic",
                    "var a, b: Integer; w: Word; c: Cardinal;\n"
                    "begin\n"
                    "  a := 17; b := -5;\n"
                    "  Log(IntToStr(a + b) + ' ' + IntToStr(a - b) + ' ' + IntToStr(a * b));\n"
                    "  Log(IntToStr(a div b) + ' ' + IntToStr(a mod b) + ' ' + IntToStr(-a div 5));\n"
                    "  Log(IntToStr(a shl 2) + ' ' + IntToStr(a shr 1) + ' ' + IntToStr(a and 6) + ' ' +\n"
                    "      IntToStr(a or 6) + ' ' + IntToStr(a xor 6));\n"
                    "  w := 65535; w := w + 2; c := 4000000000; c := c + c;\n"
                    "  Log(IntToStr(w) + ' ' + IntToStr(c));\n"
                    "  Log(IntToStr(StrToInt('123') * 2) + ' ' + IntToStr(StrToIntDef('x1', 7)));\n"
                    "end.",
                    {"12 22 -85", "-3 2 -3", "68 8 0 23 23", "1 3705032704", "246 7"}},
        ProgramCase{"Int64 arithmetic",
                    "var a, b: Int64; i: Integer;\n"
                    "begin\n"
                    "  a := 3000000000; b := a * 4;\n"
                    "  Log(IntToStr(b) + ' ' + IntToStr(b div 7) + ' ' + IntToStr(b mod 7));\n"
                    "  i := 2000000000; a := i; a := a + i;\n"
                    "  Log(Int64ToStr(a) + ' ' + IntToStr(StrToInt64('-9223372036854775807') - 1));\n"
                    "  Log(IntToStr(High(i)) + ' ' + IntToStr(Low(i)));\n"
                    "end.",
                    {"12000000000 1714285714 2", "4000000000 -9223372036854775808", "2147483647 -2147483648"}},
        ProgramCase{"reals",
                    "var d: Double; s: Single; e: Extended;\n"
                    "begin\n"
                    "  d := 7; d := d / 2; s := 0.25; e := d * s + 1;\n"
                    "  Log(FloatToStr(d) + ' ' + FloatToStr(s) + ' ' + FloatToStr(e));\n"
                    "  Log(IntToStr(Round(2.5)) + ' ' + IntToStr(Round(3.5)) + ' ' + IntToStr(Trunc(-2.7)));\n"
                    "  Log(FloatToStr(Sqrt(16)) + ' ' + FloatToStr(Int(9.75)) + ' ' + FloatToStr(Abs(-1.5)));\n"
                    "  d := StrToFloat('1.125') * 8;\n"
                    "  if d = 9 then Log('nine');\n"
                    "end.",
                    {"3.500000000000 0.250000000000 1.875000000000", "2 4 -2",
                     "4.000000000000 9.000000000000 1.500000000000", "nine"}},
        ProgramCase{"Currency",
                    "var c, d: Currency;\n"
                    "begin\n"
                    "  c := 12.3456; d := c * 3;\n"
                    "  Log(FloatToStr(d));\n"
                    "  d := d - 0.0368; c := d / 4;\n"
                    "  Log(FloatToStr(d) + ' ' + FloatToStr(c));\n"
                    "  if c > 9 then Log('more') else Log('less');\n"
                    "end.",
                    {"37.036800000000", "37.000000000000 9.250000000000", "more"}},
        ProgramCase{"strings of each kind",
                    "var s, t: String; w: WideString; u: UnicodeString; c: Char; wc: WideChar;\n"
                    "begin\n"
                    "  s := 'Hello'; t := s + ', ' + 'world';\n"
                    "  Log(t + ' ' + IntToStr(Length(t)) + ' ' + IntToStr(Pos('world', t)));\n"
                    "  Log(Copy(t, 1, 4) + '|' + UpperCase(s) + '|' + LowerCase(s) + '|' + Trim('  x  ') + '|');\n"
                    "  Delete(t, 6, 7); Insert('!', t, 6); Log(t);\n"
                    "  c := s[2]; s[1] := 'J'; Log(s + ' ' + c);\n"
                    "  w := 'wide'; u := w + ' unicode'; w := u;\n"
                    "  wc := w[1]; Log(w + ' ' + IntToStr(Length(u)) + ' ' + wc);\n"
                    "  if (s < 'Jz') and (s <> 'Hello') then Log('compared');\n"
                    "  Log(StringOfChar('-', 3) + PadL('7', 3) + PadZ('7', 3) + PadR('ab', 4) + '|');\n"
                    "end.",
                    {"Hello, world 12 8", "Hell|HELLO|hello|x|", "Hello!", "Jello e", "wide unicode 12 w", "compared",
                     "---  7007ab  |"}},
        ProgramCase{"sets",
                    "type TColour = (Red, Green, Blue, Black); TColours = set of TColour;\n"
                    "var a, b: TColours; digits: set of Byte; i: Integer; s: String;\n"
                    "begin\n"
                    "  a := [Red, Blue]; b := a + [Green] - [Blue];\n"
                    "  if Green in b then Log('green in b');\n"
                    "  if not (Blue in b) then Log('blue not in b');\n"
                    "  if a * b = [Red] then Log('common red');\n"
                    "  if b <= a + b then Log('subset');\n"
                    "  if (b = [Red, Green]) and (a <> [Red]) then Log('equal');\n"
                    "  digits := [0, 3, 6, 9, 12]; digits := digits + [15, 18, 21] - [21];\n"
                    "  s := '';\n"
                    "  for i := 0 to 20 do if i in digits then s := s + IntToStr(i) + ' ';\n"
                    "  Log(s);\n"
                    "end.",
                    {"green in b", "blue not in b", "common red", "subset", "equal", "0 3 6 9 12 15 18 "}},
        ProgramCase{"records",
                    "type TPoint = record x, y: Integer; end;\n"
                    "  TLine = record a, b: TPoint; name: String; end;\n"
                    "var l: TLine;\n"
                    "procedure Move(var q: TPoint; dx: Integer); begin q.x := q.x + dx; end;\n"
                    "function Sum(var q: TPoint): Integer; begin Result := q.x + q.y; end;\n"
                    "begin\n"
                    "  l.a.x := 1; l.a.y := 2; l.b.x := 4; l.b.y := 6; l.name := 'diagonal';\n"
                    "  Move(l.a, 10); Log(l.name + ' ' + IntToStr(l.a.x) + ',' + IntToStr(l.a.y));\n"
                    "  Log(IntToStr(Sum(l.b)));\n"
                    "end.",
                    {"diagonal 11,2", "10"}},
        ProgramCase{"records assigned and passed by value",
                    "type TPoint = record x, y: Integer; end;\n"
                    "  TLine = record a, b: TPoint; name: String; end;\n"
                    "var l: TLine; p: TPoint;\n"
                    "function Len2(const q: TPoint): Integer; begin Result := q.x * q.x + q.y * q.y; end;\n"
                    "procedure Move(var q: TPoint; dx: Integer); begin q.x := q.x + dx; end;\n"
                    "begin\n"
                    "  l.a.x := 1; l.a.y := 2; l.b.x := 4; l.b.y := 6; l.name := 'diagonal';\n"
                    "  p.x := l.b.x - l.a.x; p.y := l.b.y - l.a.y;\n"
                    "  Log(l.name + ' ' + IntToStr(Len2(p)));\n"
                    "  Move(l.a, 10); Log(IntToStr(l.a.x) + ',' + IntToStr(l.a.y));\n"
                    "  p := l.b; p.x := 0; Log(IntToStr(p.x) + ' ' + IntToStr(l.b.x));\n"
                    "end.",
                    {"diagonal 25", "11,2", "0 4"},
                    {},
                    "records of one type are not assignable to each other yet"},
        ProgramCase{
            "static arrays",
            "type TRow = array[1..5] of Integer; TGrid = array[0..2] of TRow;\n"
            "var r: TRow; g: TGrid; i, j, sum: Integer; names: array[0..2] of String;\n"
            "begin\n"
            "  for i := Low(r) to High(r) do r[i] := i * i;\n"
            "  sum := 0; for i := 1 to 5 do sum := sum + r[i];\n"
            "  Log(IntToStr(sum) + ' ' + IntToStr(Low(r)) + '..' + IntToStr(High(r)) + ' ' + IntToStr(Length(r)));\n"
            "  for i := 0 to 2 do for j := 1 to 5 do g[i][j] := i * 10 + j;\n"
            "  Log(IntToStr(g[2][3]) + ' ' + IntToStr(g[1][5]));\n"
            "  names[0] := 'a'; names[1] := 'b'; names[2] := names[0] + names[1];\n"
            "  Log(names[2]);\n"
            "end.",
            {"55 1..5 5", "23 15", "ab"}},
        ProgramCase{"dynamic arrays",
                    "type TInts = array of Integer; TWords = array of String;\n"
                    "var a, b: TInts; w: TWords; i: Integer; s: String;\n"
                    "function Total(x: TInts): Integer; var k: Integer;\n"
                    "begin Result := 0; for k := 0 to High(x) do Result := Result + x[k]; end;\n"
                    "begin\n"
                    "  SetLength(a, 4); for i := 0 to 3 do a[i] := i + 1;\n"
                    "  SetLength(a, 6); a[5] := 10;\n"
                    "  Log(IntToStr(Length(a)) + ' ' + IntToStr(Total(a)) + ' ' + IntToStr(a[4]));\n"
                    "  b := a; b[0] := 100; Log(IntToStr(a[0]));\n"
                    "  SetLength(w, 3); w[0] := 'x'; w[1] := 'y'; w[2] := 'z';\n"
                    "  s := ''; for i := High(w) downto 0 do s := s + w[i];\n"
                    "  Log(s);\n"
                    "  SetLength(a, 0); Log(IntToStr(Length(a)) + ' ' + IntToStr(Length(b)));\n"
                    "end.",
                    {"6 20 0", "100", "zyx", "0 6"}},
        ProgramCase{"procedural values",
                    "type TOp = function(a, b: Integer): Integer; TShow = procedure(const s: String);\n"
                    "var op: TOp; show: TShow;\n"
                    "function Add(a, b: Integer): Integer; begin Result := a + b; end;\n"
                    "function Mul(a, b: Integer): Integer; begin Result := a * b; end;\n"
                    "procedure Shout(const s: String); begin Log(UpperCase(s)); end;\n"
                    "function Fold(f: TOp; n: Integer): Integer; var i: Integer;\n"
                    "begin Result := 1; for i := 2 to n do Result := f(Result, i); end;\n"
                    "begin\n"
                    "  op := @Add; Log(IntToStr(op(2, 3)) + ' ' + IntToStr(Fold(op, 4)));\n"
                    "  op := @Mul; Log(IntToStr(Fold(op, 5)));\n"
                    "  show := @Shout; show('quiet');\n"
                    "end.",
                    {"5 10", "120", "QUIET"}},
        ProgramCase{"case statements",
                    "var i: Integer; s: String; c: Char;\n"
                    "begin\n"
                    "  s := '';\n"
                    "  for i := 0 to 7 do\n"
                    "    case i of\n"
                    "      0: s := s + 'z';\n"
                    "      1, 3: s := s + 'o';\n"
                    "      4..6: s := s + 'm';\n"
                    "    else s := s + '?';\n"
                    "    end;\n"
                    "  Log(s);\n"
                    "  c := 'b';\n"
                    "  case c of 'a': Log('A'); 'b': Log('B'); end;\n"
                    "end.",
                    {"zo?ommm?", "B"}},
        ProgramCase{
            "loops with break and continue",
            "var i, j, n: Integer; s: String;\n"
            "begin\n"
            "  s := '';\n"
            "  for i := 1 to 10 do begin if i mod 2 = 0 then continue; if i > 7 then break; s := s + IntToStr(i); "
            "end;\n"
            "  Log(s);\n"
            "  n := 0; i := 0;\n"
            "  while True do begin Inc(i); if i > 100 then break; if i mod 10 <> 0 then continue; Inc(n); end;\n"
            "  Log(IntToStr(n) + ' ' + IntToStr(i));\n"
            "  n := 0; i := 10;\n"
            "  repeat Dec(i); if i = 5 then continue; n := n + i; until i = 0;\n"
            "  Log(IntToStr(n));\n"
            "  n := 0;\n"
            "  for i := 1 to 3 do for j := 1 to 3 do begin if j > i then break; Inc(n); end;\n"
            "  Log(IntToStr(n));\n"
            "  for i := 3 downto 1 do Log(IntToStr(i));\n"
            "end.",
            {"1357", "10 101", "40", "6", "3", "2", "1"}},
        ProgramCase{"exit through finally parts",
                    "function Find(n: Integer): Integer; var i: Integer;\n"
                    "begin\n"
                    "  Result := -1;\n"
                    "  try\n"
                    "    for i := 1 to 10 do\n"
                    "      try\n"
                    "        if i = n then begin Result := i * 100; Exit; end;\n"
                    "      finally\n"
                    "        if i = n then Log('inner finally ' + IntToStr(i));\n"
                    "      end;\n"
                    "  finally\n"
                    "    Log('outer finally');\n"
                    "  end;\n"
                    "  Log('not reached when found');\n"
                    "end;\n"
                    "begin\n"
                    "  Log(IntToStr(Find(3)));\n"
                    "  Log(IntToStr(Find(20)));\n"
                    "end.",
                    {"inner finally 3", "outer finally", "300", "outer finally", "not reached when found", "-1"}},
        ProgramCase{"exceptions caught with their texts",
                    "var a, b: Integer;\n"
                    "procedure Check(x: Integer);\n"
                    "begin if x < 0 then RaiseException(erCustomError, 'negative: ' + IntToStr(x)); end;\n"
                    "begin\n"
                    "  try Check(-4); Log('not here'); except Log(ExceptionParam); end;\n"
                    "  a := 1; b := 0;\n"
                    "  try a := a div b; except\n"
                    "    Log(ExceptionToString(ExceptionType, ExceptionParam));\n"
                    "    if ExceptionType = ErDivideByZero then Log('caught division');\n"
                    "  end;\n"
                    "  try\n"
                    "    try Check(-1) finally Log('finally first') end;\n"
                    "  except Log('then except: ' + ExceptionParam); end;\n"
                    "  try StrToFloat('abc'); except Log(ExceptionToString(ExceptionType, ExceptionParam)); end;\n"
                    "  try\n"
                    "    try Check(-2) except Log('inner'); RaiseLastException; end;\n"
                    "  except Log('outer ' + ExceptionParam); end;\n"
                    "  Log('done');\n"
                    "end.",
                    {"negative: -4", "divide by Zero", "caught division", "finally first", "then except: negative: -1",
                     "Exception: Invalid float", "inner", "outer negative: -2", "done"}},
        ProgramCase{"an uncaught exception ends the run with its text",
                    "var i: Integer;\n"
                    "begin\n"
                    "  Log('before');\n"
                    "  try i := StrToInt('5'); RaiseException(erCustomError, 'gave up at ' + IntToStr(i));\n"
                    "  finally Log('cleanup') end;\n"
                    "  Log('after');\n"
                    "end.",
                    {"before", "cleanup"},
                    "gave up at 5"},
        ProgramCase{"an uncaught division by zero",
                    "var a, b: Integer; begin a := 4; b := a - 4; Log('x'); a := a div b; Log('y'); end.",
                    {"x"},
                    "divide by Zero"},
        ProgramCase{"Variants",
                    "var v, w: Variant; s: String;\n"
                    "begin\n"
                    "  if VarIsEmpty(v) then Log('empty');\n"
                    "  v := 5; w := v + 2.5;\n"
                    "  Log(FloatToStr(w) + ' ' + IntToStr(VarType(v)) + ' ' + IntToStr(VarType(w)));\n"
                    "  v := 'text'; s := v + '!'; Log(s + ' ' + IntToStr(VarType(v)));\n"
                    "  v := Null; if VarIsNull(v) then Log('null');\n"
                    "  v := 7; w := 3; if v > w then Log('greater');\n"
                    "  v := v * w; Log(IntToStr(v));\n"
                    "  v := '12'; w := v + 1; Log(IntToStr(w));\n"
                    "end.",
                    {"empty", "7.500000000000 3 5", "text! 256", "null", "greater", "21", "13"}}),
    CaseParamName<ProgramCase>);

} // namespace
