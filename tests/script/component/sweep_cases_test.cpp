#include "tests/script/component/program_cases.h"

namespace {

INSTANTIATE_TEST_SUITE_P(
    Sweep, Programs,
    ::testing::Values(
        ProgramCase{
            "for limits",
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
            "case selector once, labels in order",
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
        ProgramCase{"raise inside finally replaces",
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
            "strings",
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
            "types probe",
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
        ProgramCase{"routines probe",
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
            "numbers probe",
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
            "in probe",
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
            "end.",
            {"FTFT", "TF", "TF", "TFTFTT", "TF"}}),
    CaseParamName<ProgramCase>);

} // namespace
