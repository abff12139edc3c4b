// Whole programs as a script writer writes them, mixing the areas of the
// other case files: loops at the limits of every integer width, case
// selectors read once, every way out of nested try, with and loop blocks,
// the built-ins on their edges, nested structures and their copies,
// literals and constants, and the compile errors of common slips.

#include "tests/script/component/program_cases.h"

namespace {

INSTANTIATE_TEST_SUITE_P(
    Writer, Programs,
    ::testing::Values(
        ProgramCase{
            "for loops at the limits of every integer width",
            "var b: Byte; sh: ShortInt; w: Word; sm: SmallInt; c: Cardinal; i, n, lim: Integer; i64: Int64;\n"
            "procedure Show; begin Log(IntToStr(n)); end;\n"
            "begin\n"
            "  n := 0; for sh := 125 to 127 do n := n + 1; Log(IntToStr(n) + ' ' + IntToStr(sh));\n"
            "  n := 0; for sh := -126 downto -128 do n := n + 1; Log(IntToStr(n) + ' ' + IntToStr(sh));\n"
            "  n := 0; for w := 65533 to 65535 do n := n + 1; Log(IntToStr(n) + ' ' + IntToStr(w));\n"
            "  n := 0; for sm := -32767 downto -32768 do n := n + 1; Log(IntToStr(n) + ' ' + IntToStr(sm));\n"
            "  n := 0; for c := 4294967294 to 4294967295 do n := n + 1; Log(IntToStr(n) + ' ' + IntToStr(c));\n"
            "  n := 0; for c := 2 downto 0 do n := n + 1; Log(IntToStr(n) + ' ' + IntToStr(c));\n"
            "  n := 0; for b := 2 downto 0 do n := n + 1; Log(IntToStr(n) + ' ' + IntToStr(b));\n"
            "  n := 0; for i := 2147483646 to 2147483647 do n := n + 1; Log(IntToStr(n) + ' ' + IntToStr(i));\n"
            "  n := 0; for i := -2147483647 downto -2147483648 do n := n + 1; Log(IntToStr(n) + ' ' + IntToStr(i));\n"
            "  n := 0; for i64 := 4294967294 to 4294967296 do n := n + 1; Log(IntToStr(n) + ' ' + IntToStr(i64));\n"
            "  n := 0; for i := 1 downto 5 do n := n + 1; Log(IntToStr(n) + ' ' + IntToStr(i));\n"
            "  n := 0; lim := 3; for i := 1 to lim do begin lim := 2; n := n + 1; end; Log(IntToStr(n) + ' ' + "
            "IntToStr(i));\n"
            "  n := 0; for i := 1 to 10 do begin i := i + 1; n := n + 1; end; Log(IntToStr(n) + ' ' + IntToStr(i));\n"
            "  n := 0; b := 255; for c := b - 1 to b do n := n + 1; Log(IntToStr(n) + ' ' + IntToStr(c));\n"
            "  n := 0; b := 254; for b := b to 255 do n := n + 1; Log(IntToStr(n) + ' ' + IntToStr(b));\n"
            "end.",
            {"3 127", "3 -128", "3 65535", "2 -32768", "2 4294967295", "3 0", "3 0", "2 2147483647", "2 -2147483648",
             "3 4294967297", "0 1", "2 3", "5 11", "2 256", "2 255"}},
        ProgramCase{
            "case reads its selector once and tests labels in order",
            "var calls: Integer; s: String;\n"
            "function F(n: Integer): Integer; begin calls := calls + 1; s := s + IntToStr(n); Result := n; end;\n"
            "var b: Boolean; i64: Int64;\n"
            "begin\n"
            "  calls := 0; s := '';\n"
            "  case F(2) of F(1): Log('one'); F(2), F(3): Log('two'); F(4): Log('four'); end;\n"
            "  Log(s + ' ' + IntToStr(calls));\n"
            "  b := False; case b of True: Log('T'); False: Log('F'); end;\n"
            "  i64 := 5000000000; case i64 of 0..4999999999: Log('low'); 5000000000..6000000000: Log('high'); end;\n"
            "  case 5 of 7..3: Log('empty range'); else Log('else'); end;\n"
            "  case 'x' of 'a', 'x': Log('char list'); end;\n"
            "end.",
            {"two", "2123 4", "F", "high", "else", "char list"}},
        ProgramCase{"errors raised in finally and except parts, and jumps out of try",
                    "function G: Integer; begin Result := 1; try Exit; finally Result := 2; end; Result := 3; end;\n"
                    "var i: Integer; s: String;\n"
                    "procedure Level(n: Integer); begin try if n = 0 then RaiseException(erCustomError, 'deep') else "
                    "Level(n - 1); finally s := s + IntToStr(n); end; end;\n"
                    "begin\n"
                    "  try try RaiseException(erCustomError, 'a') finally RaiseException(erCustomError, 'b') end "
                    "except Log(ExceptionParam) end;\n"
                    "  Log(IntToStr(G));\n"
                    "  s := ''; try Level(3) except Log(s + ' ' + ExceptionParam) end;\n"
                    "  s := '';\n"
                    "  for i := 1 to 5 do try if i = 2 then continue; if i = 4 then break; s := s + IntToStr(i); "
                    "except s := s + 'x'; end;\n"
                    "  Log(s + ' ' + IntToStr(i));\n"
                    "  s := '';\n"
                    "  for i := 1 to 5 do try RaiseException(erCustomError, 'e'); except if i = 3 then break; s := s + "
                    "IntToStr(i); end;\n"
                    "  Log(s + ' ' + IntToStr(i) + ' ' + IntToStr(Ord(ExceptionType)));\n"
                    "  try try RaiseException(erCustomError, 'in') except RaiseLastException; end except Log('re ' + "
                    "ExceptionParam) end;\n"
                    "end.",
                    {"b", "2", "0123 deep", "13 4", "12 3 0", "re in"}},
        ProgramCase{
            "string built-ins on their edges",
            "var s, t: String; c: Char; i: Integer;\n"
            "begin\n"
            "  s := 'Hello'; Log(Copy(s, 2, 3) + '|' + Copy(s, 4, 10) + '|' + Copy(s, 6, 1) + '|');\n"
            "  t := s; Delete(t, 2, 2); Log(t); t := s; Insert('XY', t, 3); Log(t);\n"
            "  Log(IntToStr(Pos('l', s)) + ' ' + IntToStr(Pos('lo', s)) + ' ' + IntToStr(Pos('z', s)));\n"
            "  Log(UpperCase('abc' + #233) + LowerCase('ABC'));\n"
            "  Log('[' + Trim(#9'  x y '#13#10) + ']');\n"
            "  Log(IntToStr(StrToInt('12a')) + ' ' + IntToStr(StrToIntDef('', 5)) + ' ' + IntToStr(StrToInt('-42')));\n"
            "  c := 'a'; s := c + 'b' + c; Log(s + ' ' + IntToStr(Length(s)));\n"
            "  Log(IntToStr(Ord('A')) + Chr(66) + IntToStr(Ord(Chr(200))));\n"
            "  Log(Padl('ab', 4) + '|' + Padr('ab', 4) + '|' + Padz('7', 3) + '|' + Replicate('-', 3) + "
            "StringOfChar('=', 2));\n"
            "  s := 'abc'; s[2] := 'X'; Log(s + s[3]);\n"
            "  s := ''; Log(IntToStr(Length(s)) + ' ' + IntToStr(Low(s)) + ' ' + IntToStr(High(s)));\n"
            "  s := 'abcd'; SetLength(s, 2); Log(s + ' ' + IntToStr(High(s)));\n"
            "  try s[3] := 'z' except Log(IntToStr(Ord(ExceptionType)) + ' ' + ExceptionParam) end;\n"
            "  try StrToInt64('abc') except Log(ExceptionToString(ExceptionType, ExceptionParam)) end;\n"
            "  Log(FloatToStr(StrToFloat('1.5e2')) + ' ' + FloatToStr(-0.5));\n"
            "end.",
            {"ell|lo||", "Hlo", "HeXYllo", "3 4 0",
             "ABC\xe9"
             "abc",
             "[x y]", "-1 5 -42", "aba 3", "65B200", "  ab|ab  |007|---==", "aXcc", "0 1 0", "ab 2",
             "24 Out of string range", "Exception: 'abc' is not a valid integer value",
             "150.000000000000 -0.500000000000"}},
        ProgramCase{
            "enumerations, sets, static and dynamic arrays and records",
            "type TE = (eA, eB, eC); TS = set of TE; TA = array[5..9] of Integer; TR = record a: Integer; s: String; "
            "arr: TA; end;\n"
            "  TD = array of Integer;\n"
            "var e: TE; st: TS; a, a2: TA; r, r2: TR; d, d2: TD; i: Integer; cs: set of Char; ch: Char; st2: TS;\n"
            "begin\n"
            "  e := eB; Log(IntToStr(Ord(e)) + ' ' + IntToStr(Ord(Succ(e))) + ' ' + IntToStr(Ord(Pred(e))) + ' ' + "
            "IntToStr(Ord(eC)));\n"
            "  st := [eA, eC]; if eA in st then Log('in'); if not (eB in st) then Log('not in');\n"
            "  st := st + [eB]; st := st - [eA]; if st = [eB, eC] then Log('eq');\n"
            "  st := st * [eC]; st2 := [eB, eC]; if st <= st2 then Log('subset'); if st2 >= st then Log('superset'); "
            "if not (st >= st2) then Log('not superset');\n"
            "  cs := ['a', 'b', 'z']; ch := 'z'; if ch in cs then Log('char in');\n"
            "  i := 5; if i in [1, 5, 9] then Log('int in'); i := 2; if not (i in [1, 5, i + 1]) then Log('not int "
            "in');\n"
            "  for i := 5 to 9 do a[i] := i * 2; a2 := a; a2[5] := 0;\n"
            "  Log(IntToStr(a[5]) + ' ' + IntToStr(a2[5]) + ' ' + IntToStr(Low(a)) + ' ' + IntToStr(High(a)) + ' ' + "
            "IntToStr(Length(a)));\n"
            "  r.a := 1; r.s := 'x'; r.arr := a; r2 := r; r2.a := 2; r2.s := 'y'; r2.arr[6] := 0;\n"
            "  Log(IntToStr(r.a) + r.s + IntToStr(r.arr[6]) + ' ' + IntToStr(r2.a) + r2.s + IntToStr(r2.arr[6]));\n"
            "  SetLength(d, 3); d[0] := 1; d2 := d; d2[0] := 7; Log(IntToStr(d[0]) + ' ' + IntToStr(Length(d)) + ' ' + "
            "IntToStr(High(d)) + ' ' + IntToStr(Low(d)));\n"
            "  SetLength(d2, 4); d2[0] := 8; Log(IntToStr(d[0]) + ' ' + IntToStr(d2[0]) + ' ' + IntToStr(Length(d2)) + "
            "' ' + IntToStr(d2[3]));\n"
            "  SetLength(d, 0); Log(IntToStr(Length(d)));\n"
            "  try i := 10; a[i] := 1; except Log(ExceptionToString(ExceptionType, ExceptionParam)); end;\n"
            "  try i := 3; d2[i + 1] := 1; except Log(ExceptionToString(ExceptionType, ExceptionParam)); end;\n"
            "  try i := 4; a[i] := 1; except Log(ExceptionToString(ExceptionType, ExceptionParam)); end;\n"
            "end.",
            {"1 2 0 2", "in", "not in", "eq", "subset", "superset", "not superset", "char in", "int in", "not int in",
             "10 0 5 9 5", "1x12 2y0", "7 3 2 0", "7 8 4 0", "0", "Out Of Range", "Out Of Range", "Out Of Range"}},
        ProgramCase{"records returned, var and out parameters, open arrays and with on a result",
                    "type TP = record x, y: Integer; end;\n"
                    "function MakeP(x, y: Integer): TP; begin Result.x := x; Result.y := y; end;\n"
                    "procedure Twice(var s: String); begin s := s + s; end;\n"
                    "procedure SetOut(out n: Integer; out s: String); begin n := 5; s := 'o'; end;\n"
                    "function Sum(const a: array of Integer): Integer; var i: Integer; begin Result := 0; for i := 0 "
                    "to High(a) do Result := Result + a[i]; end;\n"
                    "function Ack(m, n: Integer): Integer; begin if m = 0 then Result := n + 1 else if n = 0 then "
                    "Result := Ack(m - 1, 1) else Result := Ack(m - 1, Ack(m, n - 1)); end;\n"
                    "var p: TP; s: String; n: Integer; arr: array of TP;\n"
                    "begin\n"
                    "  p := MakeP(3, 4); Log(IntToStr(p.x) + ',' + IntToStr(p.y)); p := MakeP(p.y, p.x); "
                    "Log(IntToStr(p.x) + IntToStr(p.y));\n"
                    "  s := 'ab'; Twice(s); Twice(s); Log(s);\n"
                    "  SetOut(n, s); Log(IntToStr(n) + s);\n"
                    "  Log(IntToStr(Sum([1, 2, 3, 4])) + ' ' + IntToStr(Sum([])) + ' ' + IntToStr(Ack(2, 3)));\n"
                    "  SetLength(arr, 2); arr[1] := MakeP(7, 8); with arr[1] do Log(IntToStr(x + y));\n"
                    "  with MakeP(1, 2) do Log(IntToStr(x * 10 + y));\n"
                    "end.",
                    {"3,4", "43", "abababab", "5o", "10 0 9", "15", "12"}},
        ProgramCase{
            "operators keep their operand widths",
            "var i: Integer; c: Cardinal; i64: Int64; d: Double; b: Byte; sm: SmallInt; w: Word;\n"
            "begin\n"
            "  i := -7; Log(IntToStr(i div 2) + ' ' + IntToStr(i mod 2) + ' ' + IntToStr(i shr 28) + ' ' + IntToStr(i "
            "shl 1));\n"
            "  c := 4294967295; i64 := c; i64 := i64 + c; Log(IntToStr(i64));\n"
            "  c := 10; i := -3; c := c + i; Log(IntToStr(c));\n"
            "  c := 7; i64 := -2; c := c * i64; Log(IntToStr(c));\n"
            "  i := 7; d := i / 2; Log(FloatToStr(d));\n"
            "  d := -2.5; Log(IntToStr(Round(d)) + ' ' + IntToStr(Trunc(d)) + ' ' + FloatToStr(Int(d)) + ' ' + "
            "FloatToStr(Abs(d)));\n"
            "  d := 3.5; Log(IntToStr(Round(d)) + ' ' + IntToStr(Round(4.5)) + ' ' + IntToStr(Round(-3.5)));\n"
            "  b := 200; sm := -5; w := 3; Log(IntToStr(b * 2) + ' ' + IntToStr(sm * w) + ' ' + IntToStr(w - 5) + ' ' "
            "+ IntToStr(sm div 2));\n"
            "  i64 := -9; Log(IntToStr(i64 div 2) + ' ' + IntToStr(i64 mod 2) + ' ' + IntToStr(i64 shr 60) + ' ' + "
            "IntToStr(-i64));\n"
            "  sm := -1; Log(IntToStr(sm shr 4) + ' ' + IntToStr(b shr 1) + ' ' + IntToStr(not b));\n"
            "  d := 1 / 3; Log(FloatToStr(d) + ' ' + FloatToStr(2 / 3) + ' ' + FloatToStr(123456789.987654321));\n"
            "end.",
            {"-3 -1 15 -14", "8589934590", "7", "4294967282", "3.000000000000", "-2 -2 -2.000000000000 2.500000000000",
             "4 4 -4", "144 -15 65534 -2", "-4 -1 15 9", "-1 100 -201",
             "0.000000000000 0.000000000000 123456789.987654320998"}},
        ProgramCase{
            "in a bracketed list of any values",
            "type TE = (eA, eB, eC);\n"
            "function B(x: Boolean): String; begin if x then Result := 'T' else Result := 'F'; end;\n"
            "var i, k: Integer; s: String; e: TE; by: Byte; c: Char; i64: Int64;\n"
            "begin\n"
            "  i := 300; k := 5; Log(B(i in [1, 2]) + B(i in [100, 300]) + B(i in [-1, k]) + B(k in [-1, k]));\n"
            "  i := -1; Log(B(i in [-1, 2]) + B(i in [1, 2]));\n"
            "  s := 'bc'; Log(B(s in ['a', 'bc']) + B(s in ['b', 'c']));\n"
            "  e := eB; by := 7; c := 'q'; i64 := 5000000000;\n"
            "  Log(B(e in [eA, eB]) + B(e in [eC]) + B(by in [7]) + B(by in [1, 300]) + B(c in ['a', 'q']) + B(c in "
            "[c]));\n"
            "  Log(B(i64 in [1, 5000000000]) + B(i64 in [5]));\n"
            "  e := Succ(eC); Log(B(e in [eA, eC]) + B(Succ(e) in [eA]));\n"
            "end.",
            {"FTFT", "TF", "TF", "TFTFTT", "TF", "FF"}},
        ProgramCase{
            "errors and exits unwinding through frames, with and case",
            "type TR = record a, b: Integer; end;\n"
            "var acc: String; r: TR; arr: array of TR; i, j, n: Integer;\n"
            "procedure Add(const s: String); begin acc := acc + s; end;\n"
            "function Deep(m: Integer): Integer; var k: Integer;\n"
            "begin\n"
            "  k := m * 2;\n"
            "  try\n"
            "    if m = 0 then RaiseException(erCustomError, 'bottom');\n"
            "    Result := Deep(m - 1) + k;\n"
            "  finally Add('f' + IntToStr(m)); end;\n"
            "end;\n"
            "function Find(x: Integer): Integer; var k: Integer;\n"
            "begin\n"
            "  Result := -1;\n"
            "  for k := 0 to 9 do\n"
            "    try\n"
            "      with arr[k] do if a = x then begin Result := b; Exit; end;\n"
            "    finally Add('.'); end;\n"
            "end;\n"
            "begin\n"
            "  acc := ''; try n := 5 + Deep(3); except Add(' ' + ExceptionParam); end; Log(acc + ' ' + IntToStr(n));\n"
            "  SetLength(arr, 10); for i := 0 to 9 do begin arr[i].a := i * i; arr[i].b := i; end;\n"
            "  acc := ''; n := Find(16); Log(acc + ' ' + IntToStr(n));\n"
            "  acc := ''; n := 0;\n"
            "  for i := 1 to 3 do\n"
            "    with r do begin\n"
            "      a := i;\n"
            "      for j := 1 to 3 do with arr[j] do begin if j = 2 then continue; if i = 2 then break; n := n + a; "
            "end;\n"
            "      case i of 1: continue; 3: break; end;\n"
            "      b := i * 100;\n"
            "    end;\n"
            "  Log(IntToStr(n) + ' ' + IntToStr(r.a) + ' ' + IntToStr(r.b) + ' ' + IntToStr(i * 10 + j));\n"
            "  acc := '';\n"
            "  try\n"
            "    try RaiseException(erCustomError, 'one'); except Add('e1 '); RaiseException(erCustomError, 'two'); "
            "finally Add('f2 '); end;\n"
            "  except Add(ExceptionParam); end;\n"
            "  Log(acc);\n"
            "  acc := '';\n"
            "  try\n"
            "    try Add('t '); finally Add('f '); RaiseException(erCustomError, 'three'); except Add('never '); end;\n"
            "  except Add(ExceptionParam); end;\n"
            "  Log(acc);\n"
            "  acc := '';\n"
            "  for i := 1 to 3 do begin\n"
            "    case i of 1, 2: begin n := i; while n < 10 do begin n := n * 3; if n > 5 then break; end; "
            "Add(IntToStr(n)); continue; end; end;\n"
            "    Add('x' + IntToStr(i));\n"
            "  end;\n"
            "  n := 7; j := n * 2 + n div 3; Log(acc + ' ' + IntToStr(j));\n"
            "end.",
            {"f0f1f2f3 bottom 0", "..... 4", "20 3 200 34", "e1 f2 two", "t f never ", "96x3 16"}},
        ProgramCase{
            "ordinals, lengths and sizes",
            "type TE = (eA, eB, eC); TA = array[-2..2] of Byte;\n"
            "function B(x: Boolean): String; begin if x then Result := 'T' else Result := 'F'; end;\n"
            "var sh: ShortInt; e: TE; v: Variant; s: String; w: WideString; a: TA; d: array of Integer; c: Char; i: "
            "Integer;\n"
            "begin\n"
            "  sh := -1; Log(IntToStr(Ord(sh)) + ' ' + IntToStr(Ord('a')) + ' ' + IntToStr(Ord(eC)));\n"
            "  e := eB; Log(IntToStr(Low(e)) + ' ' + IntToStr(High(e)));\n"
            "  Log(IntToStr(Low(a)) + ' ' + IntToStr(High(a)) + ' ' + IntToStr(Length(a)) + ' ' + IntToStr(SizeOf(a)) "
            "+ ' ' + IntToStr(SizeOf(i)));\n"
            "  v := 'hello'; Log(IntToStr(Length(v)));\n"
            "  s := ''; Log(B(Assigned(s))); s := 'x'; Log(B(Assigned(s)));\n"
            "  w := 'abc'; Log(UpperCase(w) + Copy(w, 2, 1) + IntToStr(Pos('c', w)));\n"
            "  Log('[' + Replicate('x', 0) + Padl('abc', 2) + ']');\n"
            "  c := 'a'; Log(UpperCase(c) + Trim('  ' + c));\n"
            "  Log(IntToStr(GetArrayLength(d))); SetArrayLength(d, 3); Log(IntToStr(Length(d)));\n"
            "  Log(ExceptionToString(erCustomError, 'mine') + '|' + ExceptionToString(erCouldNotCallProc, 'P'));\n"
            "end.",
            {"-1 97 2", "0 255", "-2 2 5 5 4", "5", "F", "T", "ABCb3", "[abc]", "Aa", "0", "3",
             "mine|Could not call proc (P)"}},
        ProgramCase{
            "nested arrays and records copied and passed by reference",
            "type TRow = array of Integer; TGrid = array of TRow; TM = array[0..2] of array[1..3] of Integer;\n"
            "  TR = record name: String; vals: TRow; m: TM; end;\n"
            "procedure Swap(var a, b: Integer); var t: Integer; begin t := a; a := b; b := t; end;\n"
            "function Range(n: Integer): TRow; var k: Integer; begin SetLength(Result, n); for k := 0 to n - 1 do "
            "Result[k] := k * k; end;\n"
            "var g: TGrid; m, m2: TM; r1, r2: TR; i, j, sum: Integer; row: TRow; c: Cardinal; i64: Int64; d: Double;\n"
            "begin\n"
            "  SetLength(g, 3); for i := 0 to 2 do begin SetLength(g[i], i + 1); for j := 0 to i do g[i][j] := i * 10 "
            "+ j; end;\n"
            "  sum := 0; for i := 0 to 2 do for j := 0 to High(g[i]) do sum := sum + g[i][j]; Log(IntToStr(sum) + ' ' "
            "+ IntToStr(Length(g[2])));\n"
            "  for i := 0 to 2 do for j := 1 to 3 do m[i][j] := i * j; m2 := m; m2[2][3] := 0;\n"
            "  Log(IntToStr(m[2][3]) + ' ' + IntToStr(m2[2][3]) + ' ' + IntToStr(m[1][2]));\n"
            "  r1.name := 'a'; r1.vals := Range(3); r1.m := m; r2 := r1; r2.name := 'b'; r2.vals[0] := 9; r2.m[0][1] "
            ":= 7;\n"
            "  Log(r1.name + IntToStr(r1.vals[0]) + IntToStr(r1.m[0][1]) + ' ' + r2.name + IntToStr(r2.vals[0]) + "
            "IntToStr(r2.m[0][1]));\n"
            "  row := Range(5); i := 1; j := 4; Swap(row[i], row[j]); Log(IntToStr(row[1]) + ' ' + IntToStr(row[4]));\n"
            "  Swap(g[2][0], g[1][1]); Log(IntToStr(g[2][0]) + ' ' + IntToStr(g[1][1]));\n"
            "  c := 4000000000; i64 := c * 2; Log(IntToStr(i64));\n"
            "  i := 100000; i64 := i * i; Log(IntToStr(i64));\n"
            "  i := 3; d := i + 0.5; Log(FloatToStr(d));\n"
            "  with r1 do begin name := name + '!'; vals[2] := -1; m[2][3] := 5; end;\n"
            "  Log(r1.name + ' ' + IntToStr(r1.vals[2]) + ' ' + IntToStr(r1.m[2][3]) + ' ' + IntToStr(m[2][3]));\n"
            "end.",
            {"84 3", "6 0 2", "a90 b97", "16 1", "11 20", "3705032704", "1410065408", "3.500000000000", "a! -1 5 6"}},
        ProgramCase{"break, continue and exit leave with and try blocks in order",
                    "type TR = record a, b: Integer; end;\n"
                    "var r, q: TR; i, j, n: Integer; s: String;\n"
                    "function F(x: Integer): Integer;\n"
                    "begin\n"
                    "  Result := 0;\n"
                    "  with r do\n"
                    "    try\n"
                    "      with q do begin a := x; if x > 2 then begin Result := a * 10; Exit; end; end;\n"
                    "      Result := x;\n"
                    "    finally s := s + 'F'; end;\n"
                    "  s := s + 'E';\n"
                    "end;\n"
                    "begin\n"
                    "  s := ''; n := 0;\n"
                    "  for i := 1 to 4 do\n"
                    "    try\n"
                    "      with r do begin\n"
                    "        a := i;\n"
                    "        for j := 1 to 3 do try with q do begin if j = 2 then continue; if i = 3 then break; b := "
                    "j; n := n + 1; end; finally s := s + '.'; end;\n"
                    "        if i = 2 then continue; if i = 3 then break;\n"
                    "        s := s + IntToStr(a);\n"
                    "      end;\n"
                    "    finally s := s + 'f'; end;\n"
                    "  Log(s + ' ' + IntToStr(n) + ' ' + IntToStr(i) + ' ' + IntToStr(r.a) + ' ' + IntToStr(q.b));\n"
                    "  s := ''; n := F(1) + F(5) * 2; Log(s + ' ' + IntToStr(n) + ' ' + IntToStr(q.a));\n"
                    "  s := ''; try with r do begin a := 0; try b := 1 div a; finally s := s + 'f'; end; end; except s "
                    ":= s + 'e'; end;\n"
                    "  i := 6; j := i * 7 + i div 4; Log(s + IntToStr(j));\n"
                    "  try Exit; finally Log('main finally'); end;\n"
                    "  Log('not here');\n"
                    "end.",
                    {"...1f...f.f 4 3 3 3", "FEF 101 5", "fe43", "main finally"}},
        ProgramCase{
            "literals, folded constants, comments and any letter case",
            "const S = 'a' + 'b'; X = 1 + 2.5; BIG = 5 > 3; N = not 5; H = $FF shl 4; CH = #65; NEG = -2 * 3 + 1;\n"
            "  HX = $FFFFFFFF; H64 = $FFFFFFFFFF; MIX = 'x'#66'y'#$43; Q = 'it''s'; R = 1.;\n"
            "var w: WideString; t: String;\n"
            "BEGIN\n"
            "  (*) (* a comment *) { another } // and one more\n"
            "  LOG(S + ' ' + FloatToStr(X) + ' ' + IntToStr(N) + ' ' + IntToStr(H) + ' ' + CH + ' ' + IntToStr(NEG));\n"
            "  if BIG then log(IntToStr(HX) + ' ' + IntToStr(H64) + ' ' + MIX + ' ' + Q + ' ' + FloatToStr(R));\n"
            "  w := #300; Log(IntToStr(Length(w)) + ' ' + IntToStr(Ord(w[1])));\n"
            "  t := ''''; Log(t + IntToStr(Length(t)) + #33);\n"
            "  Log(IntToStr(7 div 2) + IntToStr(7 mod 4) + IntToStr(-7 div 2) + IntToStr(-(7 div 2)));\n"
            "EnD.",
            {"ab 3.500000000000 -6 4080 A -5", "4294967295 1099511627775 xByC it's 1.000000000000", "1 300", "'1!",
             "33-3-3"}},
        ProgramCase{"with targets aimed once, shadowing parameters, and texts with characters",
                    "type TR = record x, y: Integer; s: String; end;\n"
                    "function B(v: Boolean): String; begin if v then Result := 'T' else Result := 'F'; end;\n"
                    "var arr: array of TR; r: TR; i: Integer; c: Char; w: WideString; s: String;\n"
                    "procedure P(x: Integer); begin with r do begin x := 5; y := x + 1; end; Log(IntToStr(x) + ' ' + "
                    "IntToStr(r.x) + ' ' + IntToStr(r.y)); end;\n"
                    "procedure Q(var t: TR); begin with t do begin s := s + '?'; x := -x; end; end;\n"
                    "begin\n"
                    "  P(1);\n"
                    "  SetLength(arr, 3); i := 0; with arr[i] do begin i := 2; x := 5; end; Log(IntToStr(arr[0].x) + ' "
                    "' + IntToStr(arr[2].x));\n"
                    "  arr[1].s := 'q'; arr[1].x := 3; Q(arr[1]); Log(arr[1].s + IntToStr(arr[1].x));\n"
                    "  c := 'z'; w := 'a'; w := w + c; s := c; s := s + c + c; Log(w + ' ' + s);\n"
                    "  Log(B('a' < 'ab') + B('' < 'a') + B('abc' = 'abc') + B('B' < 'a') + B(c > 'y') + B(c = 'z'));\n"
                    "  Log(Copy(c, 1, 1) + UpperCase(c) + IntToStr(Length(Copy('abc', 2, 5))));\n"
                    "end.",
                    {"1 5 6", "5 0", "q?-3", "az zzz", "TTTTTT", "zZ2"}},
        ProgramCase{
            "locals start empty on every call, results unassigned are empty",
            "type TA = array[1..2] of Integer;\n"
            "function NoResult: Integer; begin end;\n"
            "function NoText: String; begin end;\n"
            "procedure P; var n: Integer; s: String; a: TA; d: array of Integer;\n"
            "begin n := n + 1; s := s + 'x'; a[1] := a[1] + 1; SetLength(d, Length(d) + 1);\n"
            "  Log(IntToStr(n) + s + IntToStr(a[1]) + IntToStr(Length(d))); end;\n"
            "function Total(n: Integer): String; begin if n > 0 then Result := Total(n - 1) + IntToStr(n); end;\n"
            "begin\n"
            "  P; P; Log(IntToStr(NoResult) + '[' + NoText + ']' + Total(4));\n"
            "  Log(IntToStr(Round(2147483647.4)) + ' ' + IntToStr(Trunc(-0.5)) + ' ' + FloatToStr(Int(2.7)) + ' ' + "
            "FloatToStr(Abs(-7)));\n"
            "end.",
            {"1x11", "1x11", "0[]1234", "2147483647 0 2.000000000000 7.000000000000"}},
        ProgramCase{
            "classic algorithms",
            "type TInts = array of Integer;\n"
            "procedure Sort(var a: TInts); var i, j, t: Integer;\n"
            "begin for i := 0 to High(a) - 1 do for j := High(a) downto i + 1 do if a[j - 1] > a[j] then begin t := "
            "a[j]; a[j] := a[j - 1]; a[j - 1] := t; end; end;\n"
            "function Join(const a: TInts): String; var i: Integer;\n"
            "begin Result := ''; for i := 0 to High(a) do begin if i > 0 then Result := Result + ','; Result := Result "
            "+ IntToStr(a[i]); end; end;\n"
            "function Reverse(const s: String): String; var i: Integer;\n"
            "begin Result := ''; for i := Length(s) downto 1 do Result := Result + s[i]; end;\n"
            "function Primes(n: Integer): String; var sieve: array of Boolean; i, j: Integer;\n"
            "begin\n"
            "  SetLength(sieve, n + 1); Result := '';\n"
            "  for i := 2 to n do if not sieve[i] then begin Result := Result + IntToStr(i) + ' '; j := i * i; while j "
            "<= n do begin sieve[j] := True; j := j + i; end; end;\n"
            "  Result := Trim(Result);\n"
            "end;\n"
            "function Words(s: String): Integer; var p: Integer;\n"
            "begin Result := 0; s := Trim(s) + ' '; p := Pos(' ', s);\n"
            "  while p > 0 do begin if p > 1 then Inc(Result); Delete(s, 1, p); p := Pos(' ', s); end; end;\n"
            "function Gcd(a, b: Integer): Integer; begin if b = 0 then Result := a else Result := Gcd(b, a mod b); "
            "end;\n"
            "function Hex(n: Cardinal): String; var digits: String;\n"
            "begin Result := ''; digits := '0123456789ABCDEF'; repeat Result := digits[n mod 16 + 1] + Result; n := n "
            "div 16; until n = 0; end;\n"
            "var a: TInts; i: Integer;\n"
            "begin\n"
            "  SetLength(a, 7); for i := 0 to 6 do a[i] := (i * 5 + 3) mod 7 - 3; Sort(a); Log(Join(a));\n"
            "  Log(Reverse('stressed') + ' ' + Primes(30) + ' ' + IntToStr(Words('  the quick  brown fox ')));\n"
            "  Log(IntToStr(Gcd(1071, 462)) + ' ' + Hex(48879) + ' ' + Hex(4294967295) + ' ' + Hex(0));\n"
            "end.",
            {"-3,-2,-1,0,1,2,3", "desserts 2 3 5 7 11 13 17 19 23 29 4", "21 BEEF FFFFFFFF 0"}},
        ProgramCase{"statement forms",
                    "var x, n: Integer; done, t: Boolean; s: String;\n"
                    "function Next: Integer; begin n := n + 1; Result := n; end;\n"
                    "function Twice(k: Integer): Integer; begin Result := Result + k; Result := Result * 2; end;\n"
                    "begin\n"
                    "  ;; begin end; begin ; end;\n"
                    "  x := 3; x := -x; t := not (x > 0); if t then Log(IntToStr(x));\n"
                    "  n := 0; done := False; while not done do begin Next; done := n >= 3; end; Log(IntToStr(n));\n"
                    "  Next(); Log(IntToStr(Next) + ' ' + IntToStr(Twice(5)));\n"
                    "  s := 'a'#0'b'; Log(IntToStr(Length(s)) + ' ' + IntToStr(Ord(s[2])));\n"
                    "  t := 1 = 1 = True; if t then Log('chain');\n"
                    "  if x < 0 then if x < -5 then Log('very') else Log('a little') else Log('not');\n"
                    "  repeat x := x + 1 until x = 0; Log(IntToStr(x));\n"
                    "  Log(FloatToStr(Pi));\n"
                    "end.",
                    {"-3", "3", "5 10", "3 0", "chain", "a little", "0", "3.141592653590"}},
        ProgramCase{"arrays across kinds",
                    "type TS = array[5..9] of Integer; TD = array of Integer; TB = array of Integer;\n"
                    "var s: TS; d: TD; b: TB; i: Integer; t: String;\n"
                    "begin\n"
                    "  for i := 5 to 9 do s[i] := i; d := s; s[5] := 0;\n"
                    "  t := ''; for i := 0 to High(d) do t := t + IntToStr(d[i]); Log(t + ' ' + IntToStr(Length(d)));\n"
                    "  b := d; b[0] := 42; Log(IntToStr(d[0]));\n"
                    "  s := d;\n"
                    "  Log('not here');\n"
                    "end.",
                    {"56789 5", "42"},
                    "Type Mismatch"},
        ProgramCase{"static arrays of other elements",
                    "type TS = array[1..2] of Integer; TW = array[1..2] of Byte;\n"
                    "var s: TS; w: TW;\n"
                    "begin\n"
                    "  s[1] := 1; w := s;\n"
                    "  Log('not here');\n"
                    "end.",
                    {},
                    "Type Mismatch"},
        ProgramCase{"shift counts",
                    "var i, k: Integer; i64: Int64; b: Byte; w: Word;\n"
                    "begin\n"
                    "  i := 1; k := 33; Log(IntToStr(1 shl 33) + ' ' + IntToStr(i shl 33) + ' ' + IntToStr(i shl k) + "
                    "' ' + IntToStr(i shl 32));\n"
                    "  i := -1; Log(IntToStr(i shr 32) + ' ' + IntToStr(i shr 31) + ' ' + IntToStr(-1 shr 28));\n"
                    "  i64 := 1; Log(IntToStr(i64 shl 64) + ' ' + IntToStr(i64 shl 63));\n"
                    "  b := 1; b := b shl 33; w := 3; w := w shl 15; Log(IntToStr(b) + ' ' + IntToStr(w));\n"
                    "end.",
                    {"2 2 2 1", "-1 1 0", "1 -9223372036854775808", "2 32768"}},
        ProgramCase{"mixed real widths",
                    "function B(x: Boolean): String; begin if x then Result := 'T' else Result := 'F'; end;\n"
                    "var i: Integer; s: Single; d: Double; c: Currency; i64: Int64;\n"
                    "begin\n"
                    "  i := 1; s := 0.1; d := i + s; Log(FloatToStr(d));\n"
                    "  d := 0.1; d := d + s; Log(FloatToStr(d));\n"
                    "  c := 1.5; d := 0.33333; c := c + d; Log(FloatToStr(c));\n"
                    "  i64 := 3; d := i64 + 0.25; Log(FloatToStr(d));\n"
                    "  Log(B(s = 0.1) + B(s > 0.1) + B(d > i64));\n"
                    "  c := 10; i := 4; c := c / i; Log(FloatToStr(c));\n"
                    "  i := 7; c := 2; d := i / c; Log(FloatToStr(d));\n"
                    "end.",
                    {"1.100000023842", "0.200000001490", "1.833300000000", "3.250000000000", "FTT", "2.500000000000",
                     "3.500000000000"}},
        ProgramCase{"Variants as case selectors and in lists",
                    "function B(x: Boolean): String; begin if x then Result := 'T' else Result := 'F'; end;\n"
                    "var v: Variant; i, k, n: Integer;\n"
                    "begin\n"
                    "  v := 'a'; case v of 1: Log('one'); 'a': Log('letter'); end;\n"
                    "  v := 2; case v of 1: Log('one'); 2, 3: Log('two or three'); end;\n"
                    "  v := 3; n := 0; k := v; for i := 1 to k do n := n + i; Log(IntToStr(n));\n"
                    "  v := 'x'; Log(B(v in ['x', 1]) + B(v in ['y']));\n"
                    "  v := 7; Log(B(v in [7]) + B(v in [1, 2]));\n"
                    "end.",
                    {"letter", "two or three", "6", "TF", "TF"}},
        ProgramCase{"wide strings by index",
                    "var w: WideString; u: UnicodeString; wc: WideChar; s: String;\n"
                    "begin\n"
                    "  w := 'abc'; w[2] := 'X'; wc := w[3]; u := w + wc; Log(u + ' ' + IntToStr(Length(u)));\n"
                    "  u := 'xyz'; u[1] := #$263A; Log(IntToStr(Ord(u[1])) + ' ' + IntToStr(Length(u)));\n"
                    "  s := w; Insert('-', s, 2); Log(s + ' ' + IntToStr(Pos('c', w)) + Copy(w, 2, 2));\n"
                    "  try wc := w[4]; except Log(IntToStr(Ord(ExceptionType)) + ' ' + ExceptionParam); end;\n"
                    "  try u[0] := 'q'; except Log(ExceptionToString(ExceptionType, ExceptionParam)); end;\n"
                    "end.",
                    {"aXcc 4", "9786 3", "a-Xc 3Xc", "24 Out of string range", "Out of string range"}},
        ProgramCase{
            "exits from except parts and repeat with try",
            "var s: String; i: Integer;\n"
            "function G: Integer; begin try RaiseException(erCustomError, 'g'); except Result := 7; Exit; end; Result "
            ":= 8; end;\n"
            "function H: Integer; begin Result := 1; try try Exit; finally Result := Result * 10; end; finally Result "
            ":= Result + 2; end; end;\n"
            "begin\n"
            "  Log(IntToStr(G) + ' ' + IntToStr(Ord(ExceptionType)) + ' ' + IntToStr(H));\n"
            "  s := ''; i := 0;\n"
            "  repeat\n"
            "    Inc(i);\n"
            "    try if i = 2 then continue; if i = 4 then break; s := s + IntToStr(i); finally s := s + '.'; end;\n"
            "  until i >= 6;\n"
            "  Log(s + ' ' + IntToStr(i));\n"
            "  s := ''; i := 0;\n"
            "  while i < 5 do begin\n"
            "    Inc(i);\n"
            "    try if i mod 2 = 0 then RaiseException(erCustomError, IntToStr(i)); except s := s + ExceptionParam; "
            "continue; end;\n"
            "    s := s + '-';\n"
            "  end;\n"
            "  Log(s);\n"
            "end.",
            {"7 0 12", "1..3.. 4", "-2-4-"}},
        ProgramCase{"case changes by string kind",
                    "var w, w2: WideString; u: UnicodeString; s: String;\n"
                    "begin\n"
                    "  w := #$E9 + 'a'; w2 := UpperCase(w); Log(IntToStr(Ord(w2[1])) + ' ' + IntToStr(Ord(w2[2])));\n"
                    "  u := #$C9 + 'B'; u := LowerCase(u); Log(IntToStr(Ord(u[1])) + ' ' + IntToStr(Ord(u[2])));\n"
                    "  s := #$E9 + 'a'; s := UpperCase(s); Log(IntToStr(Ord(s[1])) + ' ' + IntToStr(Ord(s[2])));\n"
                    "  w := PadL(w, 4); u := PadZ('7', 3); Log(IntToStr(Length(w)) + ' ' + u);\n"
                    "end.",
                    {"201 65", "233 98", "233 65", "4 007"}},
        ProgramCase{"the lowest integer divided by minus one wraps round",
                    "procedure Show; begin Log(ExceptionToString(ExceptionType, ExceptionParam)); end;\n"
                    "var i, j: Integer; a, b: Int64;\n"
                    "begin\n"
                    "  i := -2147483647 - 1; j := -1;\n"
                    "  try i := i div j; Log(IntToStr(i)); except Show; end;\n"
                    "  try i := -2147483647 - 1; i := i mod j; Log(IntToStr(i)); except Show; end;\n"
                    "  a := -9223372036854775807 - 1; b := -1;\n"
                    "  try a := a div b; Log(IntToStr(a)); except Show; end;\n"
                    "end.",
                    {"-2147483648", "0", "-9223372036854775808"}}),
    CaseParamName<ProgramCase>);

} // namespace

namespace {

INSTANTIATE_TEST_SUITE_P(
    WriterMessages, CompilerMessages,
    ::testing::Values(
        MessageCase{"case else two statements",
                    "var x: Integer;\nbegin\n  case x of 1: x := 2; else x := 3; x := 4; end;\nend.",
                    {"[Error] (3:37): 'END' expected"}},
        MessageCase{"missing factor", "var x: Integer;\nbegin\n  x := 1 + ;\nend.", {"[Error] (3:12): Syntax error"}},
        MessageCase{"for without do",
                    "var i: Integer;\nbegin\n  for i := 1 to 3 i := 2;\nend.",
                    {"[Error] (3:19): 'DO' expected"}},
        MessageCase{
            "for without to", "var i: Integer;\nbegin\n  for i := 1 i := 2;\nend.", {"[Error] (3:14): 'TO' expected"}},
        MessageCase{"var without colon", "var x Integer;\nbegin end.", {"[Error] (1:7): colon (':') expected"}},
        MessageCase{"const without equals", "const C 5;\nbegin end.", {"[Error] (1:9): is ('=') expected"}},
        MessageCase{"array bound without bracket",
                    "type T = array[1..3 of Integer;\nbegin end.",
                    {"[Error] (1:21): Closing square bracket (']') expected"}},
        MessageCase{"unclosed parenthesis",
                    "var x: Integer;\nbegin\n  x := (1 + 2;\nend.",
                    {"[Error] (3:14): Closing parenthesis expected"}},
        MessageCase{"duplicate variable",
                    "var a: Integer; a: String;\nbegin end.",
                    {"[Error] (1:17): Duplicate identifier 'a'"}},
        MessageCase{
            "assignment to a constant", "const C = 1;\nbegin\n  C := 2;\nend.", {"[Error] (3:5): Internal error (20)"}},
        MessageCase{"result in a procedure",
                    "procedure P;\nbegin\n  Result := 1;\nend;\nbegin end.",
                    {"[Error] (3:3): Unknown identifier 'Result'"}},
        MessageCase{"duplicate routine",
                    "procedure P; begin end;\nprocedure P; begin end;\nbegin end.",
                    {"[Error] (2:11): Duplicate identifier 'P'"}},
        MessageCase{
            "case without of", "var x: Integer;\nbegin\n  case x 1: ; end;\nend.", {"[Error] (3:10): 'OF' expected"}},
        MessageCase{
            "if without then", "var x: Boolean;\nbegin\n  if x x := False;\nend.", {"[Error] (3:8): 'THEN' expected"}},
        MessageCase{"continue outside loop", "begin\n  continue;\nend.", {"[Error] (2:3): Not in a loop"}},
        MessageCase{"call with too few",
                    "procedure P(a, b: Integer); begin end;\nbegin\n  P(1);\nend.",
                    {"[Error] (3:7): Invalid number of parameters"}},
        MessageCase{"unknown routine", "begin\n  Foo(1);\nend.", {"[Error] (2:3): Unknown identifier 'Foo'"}},
        MessageCase{"set with variable",
                    "type TS = set of Byte; var s: TS; i: Integer;\nbegin\n  s := [i];\nend.",
                    {"[Error] (3:9): Type mismatch"}},
        MessageCase{"include is not declared",
                    "type TS = set of Byte; var s: TS;\nbegin\n  Include(s, 1);\nend.",
                    {"[Error] (3:3): Unknown identifier 'Include'"}},
        MessageCase{"until without condition",
                    "var i: Integer;\nbegin\n  repeat i := 1; until ;\nend.",
                    {"[Error] (3:24): Syntax error"}},
        MessageCase{"with on an integer",
                    "var i: Integer;\nbegin\n  with i do ;\nend.",
                    {"[Error] (3:10): Class type expected"}},
        MessageCase{"string literal unclosed in const", "const S = 'ab;\nbegin end.", {"[Error] (1:11): String error"}},
        MessageCase{"uses unknown unit", "uses Foo;\nbegin end.", {"[Error] (1:6): Unknown identifier ''"}},
        MessageCase{"two quoted strings in a row",
                    "var s: String;\nbegin\n  s := 'a' 'b';\nend.",
                    {"[Error] (3:12): Syntax error"}},
        MessageCase{"inc with a step",
                    "var i: Integer;\nbegin\n  Inc(i, 2);\nend.",
                    {"[Error] (3:12): Invalid number of parameters"}},
        MessageCase{
            "a bracketed list in a constant", "const CS = [1, 2];\nbegin end.", {"[Error] (1:12): Syntax error"}},
        MessageCase{"in a number",
                    "var i: Integer; b: Boolean;\nbegin\n  b := i in 5;\nend.",
                    {"[Error] (3:14): Type mismatch"}},
        MessageCase{"an enumeration range",
                    "type TE = (eA, eB, eC); var e: TE;\nbegin\n  case e of eA..eB: ; end;\nend.",
                    {"[Error] (3:15): Type mismatch"}},
        MessageCase{"enumerations ordered",
                    "type TE = (eA, eB, eC); var e: TE; b: Boolean;\nbegin\n  b := e >= eB;\nend.",
                    {"[Error] (3:15): Type mismatch"}},
        MessageCase{"a function's name assigned",
                    "function F: Integer;\nbegin\n  F := 5;\nend;\nbegin end.",
                    {"[Error] (3:5): Semicolon (';') expected"}},
        MessageCase{"a default parameter",
                    "procedure P(a: Integer = 5);\nbegin end;\nbegin end.",
                    {"[Error] (1:24): Closing parenthesis expected"}},
        MessageCase{"a character control variable",
                    "var c: Char;\nbegin\n  for c := 'a' to 'z' do ;\nend.",
                    {"[Error] (3:9): Type mismatch"}},
        MessageCase{"an enumeration control variable",
                    "type TE = (eA, eB); var e: TE;\nbegin\n  for e := eA to eB do ;\nend.",
                    {"[Error] (3:9): Type mismatch"}},
        MessageCase{"a character for an integer end",
                    "var i: Integer;\nbegin\n  for i := 1 to 'z' do ;\nend.",
                    {"[Error] (3:21): Type mismatch"}},
        MessageCase{"a number for a text parameter", "begin\n  Log(5);\nend.", {"[Error] (2:9): Type mismatch"}},
        MessageCase{
            "a text for a number parameter", "begin\n  Log(IntToStr('5'));\nend.", {"[Error] (2:21): Type mismatch"}},
        MessageCase{"end of text inside a block", "begin\n  Log('a');\n", {"[Error] (3:1): Unexpected end of file"}}),
    CaseParamName<MessageCase>);

} // namespace

// A compile that succeeds still says what it found unused, procedure by
// procedure as their bodies end and the globals last.
TEST(WriterHints, ComeInTheOrderTheCompilerMeetsThem)
{
    ScriptHost host;
    ASSERT_TRUE(host.Compile("var g, used: Integer;\n"
                             "function F(p: Integer): Integer; var a, b: Integer; begin b := p; end;\n"
                             "procedure Q; var c: Integer; begin end;\n"
                             "begin used := F(1); Q; end."))
        << host.Messages();
    EXPECT_EQ(host.Messages(), "[Hint] (2:38): Variable 'A' never used\n"
                               "[Hint] (2:10): Variable 'Result' never used\n"
                               "[Hint] (3:18): Variable 'C' never used\n"
                               "[Hint] (1:5): Variable 'G' never used\n");
}

// Every compile starts the executer afresh: the last run's error is gone,
// and globals start empty again, while runs of one compile share them.
TEST(WriterRuns, ACompileForgetsTheRunsBefore)
{
    ScriptHost host;
    const std::string program = "var n: Integer;\nbegin\n  n := n + 1;\n  Log(IntToStr(n));\n"
                                "  if n = 2 then n := n div (n - n);\nend.";
    ASSERT_TRUE(host.Compile(program));
    EXPECT_TRUE(host.script.Execute());
    EXPECT_FALSE(host.script.Execute());
    EXPECT_EQ(host.script.RuntimeErrorText(), "divide by Zero");
    ASSERT_TRUE(host.Compile(program));
    EXPECT_EQ(host.script.RuntimeErrorText(), "No Error");
    EXPECT_TRUE(host.script.Execute());
    EXPECT_EQ(host.lines, (std::vector<std::string>{"1", "2", "1"}));
}

// The main block is a script procedure too: the host checks it, without
// result or parameters, and can refuse it like any other.
TEST(WriterRuns, TheHostChecksTheMainBlockToo)
{
    ScriptHost host;
    std::vector<std::string> seen;
    host.script.OnVerifyProc = [&](TPSScript*, TPSInternalProcedure* proc, const std::string& decl, bool& error) {
        seen.push_back(proc->Name + ":" + decl);
        error = proc->Name == "!MAIN";
    };
    EXPECT_FALSE(host.Compile("function Half(x: Double): Double; begin Result := x / 2; end;\nbegin end."));
    EXPECT_EQ(host.Messages(), "");
    EXPECT_EQ(seen, (std::vector<std::string>{"!MAIN:0"}));
}
