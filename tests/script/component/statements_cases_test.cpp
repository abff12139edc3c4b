// Whole programs on statements: conditions, every loop with break and
// continue, case with its labels of every kind, with, goto, exit, and
// routines with value, const, var and out parameters.

#include "tests/script/component/program_cases.h"

namespace {

INSTANTIATE_TEST_SUITE_P(
    Statements, Programs,
    ::testing::Values(
        ProgramCase{"conditions of every kind that becomes a Boolean",
                    "type TE = (Off, On);\n"
                    "var b: Boolean; v: Variant; e: TE; i: Integer;\n"
                    "begin\n"
                    "  b := True; if b then Log('boolean');\n"
                    "  v := True; if v then Log('variant');\n"
                    "  v := 0; if v then Log('no') else Log('variant false');\n"
                    "  e := On; if e then Log('enumeration');\n"
                    "  i := 0; while v do i := i + 1; repeat i := i + 1; until i > 2;\n"
                    "  if i = 3 then Log('three') else if i = 4 then Log('four') else Log('other');\n"
                    "  if not b or (i < 0) then Log('no') else Log('else');\n"
                    "end.",
                    {"boolean", "variant", "variant false", "enumeration", "three", "else"}},
        ProgramCase{"for leaves its variable one past the end",
                    "var i, n: Integer; b: Byte;\n"
                    "begin\n"
                    "  n := 0; for i := 1 to 3 do n := n + i; Log(IntToStr(n) + ' ' + IntToStr(i));\n"
                    "  for i := 3 downto 1 do ; Log(IntToStr(i));\n"
                    "  n := 0; for i := 5 to 1 do n := n + 1; Log(IntToStr(n) + ' ' + IntToStr(i));\n"
                    "  n := 0; for b := 250 to 255 do n := n + 1; Log(IntToStr(n) + ' ' + IntToStr(b));\n"
                    "  for i := 1 to 10 do if i = 4 then break; Log(IntToStr(i));\n"
                    "end.",
                    {"6 4", "0", "0 5", "6 255", "4"}},
        ProgramCase{"for evaluates its end value before every pass",
                    "var i, calls, limit: Integer;\n"
                    "function Last: Integer; begin calls := calls + 1; Result := limit; end;\n"
                    "begin\n"
                    "  calls := 0; limit := 3;\n"
                    "  for i := 1 to Last do limit := 2;\n"
                    "  Log(IntToStr(i) + ' ' + IntToStr(calls));\n"
                    "end.",
                    {"3 3"}},
        ProgramCase{"break and continue in every loop, nested",
                    "var i, j, n: Integer; s: String;\n"
                    "begin\n"
                    "  s := '';\n"
                    "  for i := 1 to 10 do begin if i mod 2 = 0 then continue; if i > 7 then break; s := s + "
                    "IntToStr(i); end;\n"
                    "  Log(s);\n"
                    "  n := 0; i := 0;\n"
                    "  while True do begin Inc(i); if i > 50 then break; if i mod 10 <> 0 then continue; Inc(n); end;\n"
                    "  Log(IntToStr(n) + ' ' + IntToStr(i));\n"
                    "  n := 0; i := 10;\n"
                    "  repeat Dec(i); if i = 5 then continue; n := n + i; until i = 0;\n"
                    "  Log(IntToStr(n));\n"
                    "  n := 0; for i := 1 to 4 do for j := 1 to 4 do begin if j > i then break; Inc(n); end;\n"
                    "  Log(IntToStr(n));\n"
                    "  n := 0;\n"
                    "  for i := 1 to 5 do case i of 2: continue; 4: break; else n := n + i; end;\n"
                    "  Log(IntToStr(n) + ' ' + IntToStr(i));\n"
                    "end.",
                    {"1357", "5 51", "40", "10", "4 4"}},
        ProgramCase{"case labels of every kind",
                    "type TE = (Red, Green, Blue);\n"
                    "var i: Integer; s, t: String; c: Char; e: TE; d: Double; k: Integer;\n"
                    "begin\n"
                    "  s := '';\n"
                    "  for i := 0 to 7 do\n"
                    "    case i of\n"
                    "      0: s := s + 'z';\n"
                    "      1, 3: s := s + 'o';\n"
                    "      4..5, 6: s := s + 'm';\n"
                    "    else s := s + '?';\n"
                    "    end;\n"
                    "  Log(s);\n"
                    "  c := 'q';\n"
                    "  case c of 'a'..'m': Log('first half'); 'n'..'z': Log('second half'); end;\n"
                    "  t := 'b';\n"
                    "  case t of 'a': Log('A'); 'b': Log('B'); 'bb': Log('BB'); end;\n"
                    "  t := 'bb';\n"
                    "  case t of 'a': Log('A'); 'b': Log('B'); 'bb': Log('BB'); end;\n"
                    "  e := Blue; case e of Red: Log('red'); Green, Blue: Log('green or blue'); end;\n"
                    "  d := 2; case d of 1: Log('one'); 2: Log('two'); end;\n"
                    "  k := 3; i := 3; case i of k - 1: Log('below'); k: Log('k'); k: Log('never'); end;\n"
                    "  case 9 of 1: Log('one'); end;\n"
                    "  Log('done');\n"
                    "end.",
                    {"zo?ommm?", "second half", "B", "BB", "green or blue", "two", "k", "done"}},
        ProgramCase{"with reaches fields and the innermost target first",
                    "type TInner = record x: Integer; end;\n"
                    "  TOuter = record x: Integer; inner: TInner; name: String; end;\n"
                    "var o: TOuter; a: array of TOuter; x: Integer;\n"
                    "begin\n"
                    "  x := 100;\n"
                    "  with o do begin x := 1; name := 'o'; inner.x := 2; end;\n"
                    "  with o, inner do x := 3;\n"
                    "  Log(IntToStr(o.x) + ' ' + IntToStr(o.inner.x) + ' ' + o.name + ' ' + IntToStr(x));\n"
                    "  SetLength(a, 2);\n"
                    "  with a[1] do begin x := 7; name := 'second'; end;\n"
                    "  Log(IntToStr(a[1].x) + ' ' + a[1].name + ' ' + IntToStr(a[0].x));\n"
                    "end.",
                    {"1 3 o 100", "7 second 0"}},
        ProgramCase{"goto forward and backward",
                    "label again, done;\n"
                    "var n: Integer;\n"
                    "begin\n"
                    "  n := 0;\n"
                    "  again: n := n + 1;\n"
                    "  if n < 3 then goto again;\n"
                    "  goto done;\n"
                    "  Log('skipped');\n"
                    "  done: Log(IntToStr(n));\n"
                    "end.",
                    {"3"}},
        ProgramCase{
            "parameters by value, const, var and out",
            "type TPoint = record x, y: Integer; end;\n"
            "var p: TPoint; n, m: Integer; s: String;\n"
            "procedure ByValue(q: TPoint; k: Integer; t: String); begin q.x := 99; k := 99; t := 'changed'; end;\n"
            "procedure ByRef(var q: TPoint; var k: Integer; var t: String); begin q.x := 5; k := k * 2; t := t + '!'; "
            "end;\n"
            "procedure Give(out k: Integer); begin k := 42; end;\n"
            "function Len2(const q: TPoint): Integer; begin Result := q.x * q.x + q.y * q.y; end;\n"
            "procedure Swap(var a, b: Integer); var t: Integer; begin t := a; a := b; b := t; end;\n"
            "begin\n"
            "  p.x := 1; p.y := 2; n := 3; s := 'text';\n"
            "  ByValue(p, n, s); Log(IntToStr(p.x) + ' ' + IntToStr(n) + ' ' + s);\n"
            "  ByRef(p, n, s); Log(IntToStr(p.x) + ' ' + IntToStr(n) + ' ' + s);\n"
            "  Give(m); Log(IntToStr(m) + ' ' + IntToStr(Len2(p)));\n"
            "  Swap(n, m); Log(IntToStr(n) + ' ' + IntToStr(m));\n"
            "end.",
            {"1 3 text", "5 6 text!", "42 29", "42 6"}},
        ProgramCase{"recursion, forward declarations and exit",
                    "function IsOdd(n: Integer): Boolean; forward;\n"
                    "function IsEven(n: Integer): Boolean; begin if n = 0 then Result := True else Result := IsOdd(n - "
                    "1); end;\n"
                    "function IsOdd(n: Integer): Boolean; begin if n = 0 then Result := False else Result := IsEven(n "
                    "- 1); end;\n"
                    "function Fact(n: Integer): Int64; begin Result := 1; if n <= 1 then exit; Result := Fact(n - 1) * "
                    "n; end;\n"
                    "function Fib(n: Integer): Integer; begin if n < 2 then Result := n else Result := Fib(n - 1) + "
                    "Fib(n - 2); end;\n"
                    "begin\n"
                    "  if IsEven(10) and IsOdd(7) then Log('parity');\n"
                    "  Log(IntToStr(Fact(20)) + ' ' + IntToStr(Fib(20)));\n"
                    "  exit;\n"
                    "  Log('not reached');\n"
                    "end.",
                    {"parity", "2432902008176640000 6765"}},
        ProgramCase{"local constants, types, variables and labels",
                    "procedure Fill;\n"
                    "const Size = 3;\n"
                    "type TRow = array[1..Size] of Integer;\n"
                    "var row: TRow; i, sum: Integer;\n"
                    "label finish;\n"
                    "begin\n"
                    "  sum := 0;\n"
                    "  for i := 1 to Size do row[i] := i * 10;\n"
                    "  for i := 1 to Size do sum := sum + row[i];\n"
                    "  goto finish;\n"
                    "  sum := -1;\n"
                    "  finish: Log(IntToStr(sum));\n"
                    "end;\n"
                    "begin Fill; Fill; end.",
                    {"60", "60"}},
        ProgramCase{"Boolean operators evaluate both sides by default",
                    "var calls: Integer;\n"
                    "function Side(b: Boolean): Boolean; begin calls := calls + 1; Result := b; end;\n"
                    "begin\n"
                    "  calls := 0;\n"
                    "  if Side(False) and Side(True) then Log('no');\n"
                    "  if Side(True) or Side(False) then Log('yes');\n"
                    "  Log(IntToStr(calls));\n"
                    "  if (Side(True) xor Side(True)) = False then Log('xor');\n"
                    "end.",
                    {"yes", "4", "xor"}}),
    CaseParamName<ProgramCase>);

} // namespace
