// Statements compiled and run: each program leaves its results in globals.
// Every run also checks the stack at the start of every statement, so a loop
// left by break or continue, or a case branch, leaves no temporary behind.

#include "tests/script/compiler/run_harness.h"

#include <gtest/gtest.h>

namespace {

class Statements : public ::testing::TestWithParam<RunCase>
{
};

TEST_P(Statements, GiveTheExpectedGlobals)
{
    expectRun(GetParam());
}

const std::string kVars = "var a, b, c, n, r: LongInt; by: Byte; si: ShortInt; w: Word;\n";

INSTANTIATE_TEST_SUITE_P(
    Run, Statements,
    ::testing::Values(
        RunCase{"if then else",
                kVars + "begin a := 5; if a > 3 then b := 1 else b := 2; if a < 3 then c := 1 else c := 2;\n"
                        "  if a = 5 then r := 7; if a <> 5 then r := 9; n := 0; if a > 0 then else n := 1 end.",
                {{"B", 1}, {"C", 2}, {"R", 7}, {"N", 0}}},
        RunCase{"else goes with the nearest if",
                kVars + "begin a := 1; b := 0; if a = 1 then if a = 2 then b := 1 else b := 2;\n"
                        "  c := 0; if a = 2 then if a = 1 then c := 1 else c := 2 end.",
                {{"B", 2}, {"C", 0}}},
        RunCase{"while and repeat",
                kVars + "begin a := 0; n := 0; while a < 10 do begin a := a + 3; n := n + 1 end;\n"
                        "  b := 0; while b > 0 do b := b - 1;\n"
                        "  c := 0; repeat c := c + 1; r := c * 2 until c >= 4; end.",
                {{"A", 12}, {"N", 4}, {"B", 0}, {"C", 4}, {"R", 8}}},
        RunCase{"for up and down",
                kVars + "begin n := 0; for a := 1 to 10 do n := n + a;\n"
                        "  r := 0; for b := 3 downto -2 do r := r * 10 + b + 2;\n"
                        "  c := 0; for a := 5 to 4 do c := c + 1; for a := 4 downto 5 do c := c + 1 end.",
                {{"N", 55}, {"R", 543210}, {"C", 0}}},
        // Stepping past the last value of the type would wrap round and
        // never end.
        RunCase{"for to the last value of its type",
                kVars + "begin n := 0; for by := 250 to 255 do n := n + 1;\n"
                        "  c := 0; for si := -125 downto -128 do c := c + 1;\n"
                        "  r := 0; for w := 65534 to 65535 do r := r + w end.",
                {{"N", 6}, {"BY", 255}, {"C", 4}, {"SI", -128}, {"R", 131069}}},
        // A loop that ran to its end leaves its variable one step past the
        // end; at the limit of the type it stays on the end value.
        RunCase{"for leaves its variable past the end",
                kVars + "begin for a := 1 to 10 do ; for b := 10 downto 3 do ; for c := 5 to 4 do ;\n"
                        "  r := 255; n := 0; for by := 250 to r do n := n + 1;\n"
                        "  r := -128; for si := -126 downto r do n := n + 10;\n"
                        "  for w := 65530 to 65535 do n := n + 100 end.",
                {{"A", 11}, {"B", 2}, {"C", 5}, {"BY", 255}, {"SI", -128}, {"W", 65535}, {"N", 636}}},
        RunCase{"for end computed on every pass",
                "var a, n, calls: LongInt;\n"
                "function Limit: LongInt; begin calls := calls + 1; Result := 3 end;\n"
                "begin calls := 0; n := 0; for a := 1 to Limit do n := n + 1 end.",
                {{"N", 3}, {"CALLS", 4}}},
        RunCase{"break and continue",
                kVars + "begin n := 0; for a := 1 to 10 do begin if a mod 2 = 0 then continue;\n"
                        "    if a > 7 then break; n := n + a end;\n"
                        "  b := 0; while True do begin b := b + 1; if b = 5 then break end;\n"
                        "  c := 0; r := 0; repeat c := c + 1; if c < 3 then continue; r := r + 1 until c = 6 end.",
                {{"N", 16}, {"A", 9}, {"B", 5}, {"C", 6}, {"R", 4}}},
        RunCase{"break leaves only the inner loop",
                kVars + "begin n := 0; for a := 1 to 3 do for b := 1 to 3 do begin\n"
                        "    if b = 2 then break; n := n + 1 end end.",
                {{"N", 3}}},
        RunCase{"case with lists ranges and else",
                kVars + "begin n := 0; for a := 0 to 9 do case a of\n"
                        "    1, 3: n := n + 1;\n"
                        "    4..6, 8: n := n + 10;\n"
                        "    7: begin n := n + 100 end\n"
                        "  else n := n + 1000 end;\n"
                        "  r := 5; case r of 1: r := 0 end end.",
                {{"N", 3142}, {"R", 5}}},
        RunCase{"case labels are expressions tested in order",
                kVars + "begin a := 4; b := 2; case a * 2 of b * 4: c := 1; 8: c := 2 end end.",
                {{"C", 1}}},
        RunCase{"break and continue out of a case branch",
                kVars + "begin n := 0; a := 0; while a < 100 do begin a := a + 1;\n"
                        "    case a mod 4 of 0: continue; 1..2: n := n + 1; else if a > 9 then break end;\n"
                        "    n := n + 10 end end.",
                {{"A", 11}, {"N", 86}}},
        RunCase{"exit from a loop in a routine",
                "var n: LongInt;\n"
                "function Find(x: LongInt): LongInt; var i: LongInt;\n"
                "begin Result := -1; for i := 0 to 100 do if i * i >= x then begin Result := i; exit end end;\n"
                "begin n := Find(50) end.",
                {{"N", 8}}},
        RunCase{"try parts in both orders with and without an error",
                "var n, r, t, u, v, w: LongInt;\n"
                "begin n := 0; try n := 1; RaiseException(erCustomError, 'x'); n := 2 except n := n + 10 end;\n"
                "  r := 0; try r := 1 finally r := r + 10 end;\n"
                "  t := 0; try RaiseException(erCustomError, '') except t := t + 1 finally t := t + 10 end;\n"
                "  u := 0; try RaiseException(erCustomError, '') finally u := u + 1 except u := u + 10 end;\n"
                "  v := 0; try v := 1 finally v := v + 1 except v := 100 end;\n"
                "  w := 0; try try RaiseException(erCustomError, '') except w := 1; RaiseLastException end\n"
                "    except w := w + 10 end end.",
                {{"N", 11}, {"R", 11}, {"T", 11}, {"U", 11}, {"V", 2}, {"W", 11}}},
        RunCase{
            "an error raised in a callee is caught by the caller",
            "var n, f: LongInt;\n"
            "procedure Fail; begin try RaiseException(erCustomError, 'boom') finally f := f + 1 end; f := 100 end;\n"
            "procedure Middle; begin Fail; f := 200 end;\n"
            "begin n := 0; f := 0; try Middle; n := 1 except n := 2 end end.",
            {{"N", 2}, {"F", 1}}},
        RunCase{
            "exit runs the finally parts it leaves",
            "var log, x, y: LongInt;\n"
            "procedure P; begin try try log := log * 10 + 1; exit; log := 99\n"
            "  finally log := log * 10 + 2 end finally log := log * 10 + 3 end; log := 77 end;\n"
            "procedure Q; begin try try RaiseException(erCustomError, '') except x := 1; exit end\n"
            "  finally x := x + 10 end; x := 99 end;\n"
            "procedure R; begin try RaiseException(erCustomError, '') except y := 1; exit finally y := y + 10 end;\n"
            "  y := 99 end;\n"
            "begin log := 0; P; log := log * 10 + 4; Q; R end.",
            {{"LOG", 1234}, {"X", 11}, {"Y", 11}}},
        RunCase{"break and continue run finally parts",
                "var n, f, a, b, c, g: LongInt;\n"
                "begin n := 0; f := 0; for a := 1 to 3 do for b := 1 to 4 do\n"
                "    try if b = 2 then continue; if b = 3 then break; n := n + 1 finally f := f + 1 end;\n"
                "  c := 0; g := 0; while True do\n"
                "    try try c := c + 1; if c = 3 then break finally g := g + 1 end except g := -100 end;\n"
                "  a := 0; repeat try a := a + 1; continue finally b := a end until a = 5 end.",
                {{"N", 3}, {"F", 9}, {"C", 3}, {"G", 3}, {"A", 5}, {"B", 5}}},
        // A block left by break must be closed: a later error would
        // otherwise land in its except part.
        RunCase{"break leaves except blocks closed",
                "var c, h: LongInt;\n"
                "begin c := 0; while c < 10 do\n"
                "    try c := c + 1; if c = 2 then RaiseException(erCustomError, '') except break end;\n"
                "  h := 0; try while True do try h := h + 1; break except h := -100 end;\n"
                "    RaiseException(erCustomError, '') except h := h + 10 end end.",
                {{"C", 2}, {"H", 11}}},
        // Names inside a with statement are the target's fields first, the
        // last target first; the target is found once, before the body.
        RunCase{"with finds the fields of its targets",
                "type TI = record z: LongInt; end; TR = record x, y: LongInt; inner: TI; end;\n"
                "var r, s: TR; arr: array[1..3] of TR; x, i, a, b, c, d, e: LongInt;\n"
                "function Make(n: LongInt): TR; begin Result.x := n; end;\n"
                "function Pair(n: LongInt): TR; begin with Result do begin x := n; y := n * 2 end end;\n"
                "procedure Bump(var t: TR); begin with t do begin x := x + 1; inner.z := x * 10 end end;\n"
                "begin x := 100; with r do begin x := 1; y := x + 1 end; a := r.x * 10 + r.y + x;\n"
                "  with r, inner do begin z := y * 100; x := z + x end; b := r.inner.z + r.x;\n"
                "  with s do with r do y := 7; c := r.y * 10 + s.y;\n"
                "  i := 2; with arr[i] do begin i := 3; x := 5 end; d := arr[2].x * 10 + arr[3].x;\n"
                "  Bump(arr[2]); d := d * 100 + arr[2].inner.z;\n"
                "  with Make(9) do i := x + inner.z; s := Pair(3); e := s.x * 10 + s.y end.",
                {{"A", 112}, {"B", 401}, {"C", 70}, {"D", 5060}, {"X", 100}, {"I", 9}, {"E", 36}}},
        // break and continue let the with slots go; so does exit, even from
        // the main block, whose stack must end empty.
        RunCase{"with inside loops and try blocks",
                "type TR = record x, n: LongInt; end;\n"
                "var r: TR; i, f, e: LongInt;\n"
                "procedure Early; begin with r do begin n := n + 1000; exit end end;\n"
                "begin for i := 1 to 6 do with r do begin if i = 2 then continue; if i = 5 then break;\n"
                "    x := x + i end;\n"
                "  f := 0; i := 0; while i < 5 do begin i := i + 1; with r do try if i = 3 then continue;\n"
                "    if i = 4 then break; n := n + 1 finally f := f + 1 end end;\n"
                "  repeat try with r do begin n := n + 10; break end finally f := f + 10 end until False;\n"
                "  Early; e := r.n; with r do if n > 0 then exit; e := -1 end.",
                {{"I", 4}, {"F", 14}, {"E", 1012}}},
        // A var parameter or a with target may be the very variable being
        // assigned: its value is read before the destination changes.
        RunCase{"a variable reached through a reference may be the destination",
                "type TR = record x, y: LongInt; end;\n"
                "var g, a, b, c: LongInt; r: TR;\n"
                "procedure AddTo(var v: LongInt); begin g := 1 + v end;\n"
                "function Plus(var v: LongInt): LongInt; begin Result := 5; Result := Result + v end;\n"
                "procedure P; var t: TR; begin t.x := 4; with t do t.x := Plus(x); c := t.x end;\n"
                "begin g := 10; AddTo(g); a := g; r.x := 3; with r do r.x := 1 + x; b := r.x; P end.",
                {{"A", 11}, {"B", 4}, {"C", 9}}},
        RunCase{"goto forward and backward",
                "var n, a: LongInt; label back, done;\n"
                "procedure P; label skip; var i: LongInt;\n"
                "begin for i := 1 to 3 do begin if i = 2 then goto skip; n := n + i * 100; skip: end end;\n"
                "begin n := 0; a := 0;\n"
                "  back: a := a + 1; if a < 5 then goto back;\n"
                "  goto done; n := 99;\n"
                "  done: n := n + a; P end.",
                {{"N", 405}, {"A", 5}}}),
    runCaseName);

struct ErrorCase
{
    std::string program;
    std::string error;
};

TEST(StatementErrors, ArePlacedAndWorded)
{
    const std::string head = "var a: LongInt; by: Byte; s: String;\nbegin\n  ";
    const std::vector<ErrorCase> cases = {
        {head + "a := 1\n  a := 2\nend.", "[Error] (4:3): Semicolon (';') expected"},
        {"procedure P;\n  if True then;\nend;\nbegin end.", "[Error] (2:3): 'BEGIN' expected"},
        {head + "break;\nend.", "[Error] (3:3): Not in a loop"},
        {"procedure P; begin if True then continue end;\nbegin end.", "[Error] (1:33): Not in a loop"},
        {head + "if a then a := 1;\nend.", "[Error] (3:13): Type mismatch"},
        {head + "if a = 1 a := 1;\nend.", "[Error] (3:12): 'THEN' expected"},
        {head + "while a = 1 a := 1;\nend.", "[Error] (3:15): 'DO' expected"},
        {head + "for s := 1 to 2 do ;\nend.", "[Error] (3:9): Type mismatch"},
        {head + "for a := 1 do ;\nend.", "[Error] (3:14): 'TO' expected"},
        {head + "for 1 := 1 to 2 do ;\nend.", "[Error] (3:7): Identifier expected"},
        {head + "case a 1: ;\nend;\nend.", "[Error] (3:10): 'OF' expected"},
        {head + "case a of 1 a := 1 end;\nend.", "[Error] (3:15): colon (':') expected"},
        {head + "case a of 1: ; else a := 1; a := 2 end;\nend.", "[Error] (3:31): 'END' expected"},
        {head + "case a of 'x': ; end;\nend.", "[Error] (3:16): Type mismatch"},
        {head + "repeat a := 1;\nend.", "[Error] (4:1): Syntax error"},
        {"label L; begin goto M end.", "[Error] (1:21): Unknown identifier 'M'"},
        {"label L, M; begin L: end.", "[Error] (1:25): Label 'M' not set"},
        {"label L; var a: LongInt;\nbegin for a := 1 to 2 do goto L; L: end.", "[Error] (2:32): Invalid jump"},
        {"label L; var a: LongInt;\nbegin goto L; for a := 1 to 2 do L: a := a end.", "[Error] (2:44): Invalid jump"},
        {"label L; var a: LongInt;\nbegin for a := 1 to 2 do L: ; goto L end.", "[Error] (2:36): Invalid jump"},
        {"label L; var a: LongInt;\nbegin try goto L finally end; L: end.", "[Error] (2:18): Invalid jump"},
        {"label L; begin L a := 1 end.", "[Error] (1:18): colon (':') expected"},
        {head + "try a := 1 end;\nend.", "[Error] (3:14): Semicolon (';') expected"},
        {head + "try a := 1 except a := 2;\nend.", "[Error] (4:4): Semicolon (';') expected"},
        // A statement is a variable followed by ":=", or a call.
        {head + "a;\nend.", "[Error] (3:4): Assignment expected"},
        {head + "(a) + 1 := 2;\nend.", "[Error] (3:11): Internal error (20)"},
        {"const K = 1;\nbegin\n  K;\nend.", "[Error] (3:4): Internal error (20)"},
        {head + "a = 1;\nend.", "[Error] (3:8): Internal error (20)"},
        {head + "LongInt;\nend.", "[Error] (3:10): Internal error (20)"},
        {head + "with a do ;\nend.", "[Error] (3:10): Class type expected"},
        {head + "with 5 do ;\nend.", "[Error] (3:8): Identifier expected"},
        {"type TR = record x: LongInt; end; var r: TR;\nbegin\n  with r x := 1;\nend.",
         "[Error] (3:10): 'DO' expected"},
        {"type TR = record x: LongInt; end; var r: TR; label L;\nbegin\n  with r do L: x := 1; goto L\nend.",
         "[Error] (3:29): Invalid jump"},
        {"type TR = record x: LongInt; end; var r: TR; label L;\nbegin\n  with r do goto L; L:\nend.",
         "[Error] (3:19): Invalid jump"},
    };
    for (const ErrorCase& test : cases)
        EXPECT_EQ(compileAndRun(test.program).error, test.error) << test.program;
}

} // namespace
