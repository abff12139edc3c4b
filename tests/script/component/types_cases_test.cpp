// Whole programs on types: enumerations, sets, records, static, dynamic and
// open arrays, procedural values and Variants.

#include "tests/script/component/program_cases.h"

namespace {

INSTANTIATE_TEST_SUITE_P(
    Types, Programs,
    ::testing::Values(
        ProgramCase{
            "enumerations",
            "type TDay = (Mon, Tue, Wed, Thu);\n"
            "var d: TDay;\n"
            "begin\n"
            "  d := Tue; d := Succ(d); Log(IntToStr(Ord(d)));\n"
            "  d := Pred(d); if d = Tue then Log('tue');\n"
            "  if d <> Mon then Log('not mon');\n"
            "  d := TDay(3); Log(IntToStr(Ord(d)) + ' ' + IntToStr(Ord(Wed)));\n"
            "  Log(IntToStr(Ord(True)) + ' ' + IntToStr(Ord(False)) + ' ' + IntToStr(Ord('A')) + ' ' + Chr(97));\n"
            "end.",
            {"2", "tue", "not mon", "3 2", "1 0 65 a"}},
        ProgramCase{"sets of enumerations, characters and bytes",
                    "type TColour = (Red, Green, Blue, Black); TColours = set of TColour;\n"
                    "var a, b: TColours; chars: set of Char; digits: set of Byte; i: Integer; s: String;\n"
                    "begin\n"
                    "  a := [Red, Blue]; b := a + [Green] - [Blue];\n"
                    "  if Green in b then Log('green in b');\n"
                    "  if not (Blue in b) then Log('blue not in b');\n"
                    "  if a * b = [Red] then Log('common red');\n"
                    "  if b <= a + b then Log('subset');\n"
                    "  if a + b >= b then Log('superset');\n"
                    "  if (b = [Red, Green]) and (a <> [Red]) then Log('equal');\n"
                    "  a := []; if a = [] then Log('empty');\n"
                    "  chars := ['a', 'e', 'i', 'o', 'u']; s := '';\n"
                    "  for i := 1 to 11 do if Chr(96 + i) in chars then s := s + Chr(96 + i);\n"
                    "  Log(s);\n"
                    "  digits := [0, 7, 8, 255]; s := '';\n"
                    "  for i := 0 to 255 do if i in digits then s := s + IntToStr(i) + ' ';\n"
                    "  Log(s);\n"
                    "  if 7 in [1, 7, 9] then Log('constructor');\n"
                    "end.",
                    {"green in b", "blue not in b", "common red", "subset", "superset", "equal", "empty", "aei",
                     "0 7 8 255 ", "constructor"}},
        ProgramCase{"a member beyond the set's range",
                    "var s: set of Byte; i: Integer;\n"
                    "begin\n"
                    "  s := [255]; i := 255; if i in s then Log('255');\n"
                    "  i := 256; if i in s then Log('no');\n"
                    "end.",
                    {"255"},
                    "Out of Record Fields Range"},
        ProgramCase{"records assigned, passed, returned and compared",
                    "type TPoint = record x, y: Integer; end;\n"
                    "  TLine = record a, b: TPoint; name: String; end;\n"
                    "var l, m: TLine; p, q: TPoint;\n"
                    "function Make(x, y: Integer): TPoint; begin Result.x := x; Result.y := y; end;\n"
                    "procedure Move(var r: TPoint; dx: Integer); begin r.x := r.x + dx; end;\n"
                    "begin\n"
                    "  l.a := Make(1, 2); l.b := Make(4, 6); l.name := 'diagonal';\n"
                    "  Move(l.a, 10); Log(l.name + ' ' + IntToStr(l.a.x) + ',' + IntToStr(l.a.y));\n"
                    "  m := l; m.name := 'copy'; m.b.x := 0;\n"
                    "  Log(l.name + ' ' + IntToStr(l.b.x) + ' ' + m.name + ' ' + IntToStr(m.b.x));\n"
                    "  p := Make(3, 4); q := p; if p = q then Log('same'); q.y := 5; if p <> q then Log('differ');\n"
                    "  Log(IntToStr(SizeOf(p)) + ' ' + IntToStr(SizeOf(l)));\n"
                    "end.",
                    {"diagonal 11,2", "diagonal 4 copy 0", "same", "differ", "8 20"}},
        ProgramCase{
            "static arrays with their bounds",
            "type TRow = array[1..5] of Integer; TGrid = array[0..2] of TRow;\n"
            "var r, copy: TRow; g: TGrid; i, j, sum: Integer;\n"
            "begin\n"
            "  for i := Low(r) to High(r) do r[i] := i * i;\n"
            "  sum := 0; for i := 1 to 5 do sum := sum + r[i];\n"
            "  Log(IntToStr(sum) + ' ' + IntToStr(Low(r)) + '..' + IntToStr(High(r)) + ' ' + IntToStr(Length(r)));\n"
            "  for i := 0 to 2 do for j := 1 to 5 do g[i][j] := i * 10 + j;\n"
            "  Log(IntToStr(g[2][3]) + ' ' + IntToStr(g[1][5]) + ' ' + IntToStr(SizeOf(g)));\n"
            "  copy := r; copy[1] := 100; Log(IntToStr(r[1]) + ' ' + IntToStr(copy[1]));\n"
            "  i := 6; r[i] := 0;\n"
            "end.",
            {"55 1..5 5", "23 15 60", "1 100"},
            "Out Of Range"},
        ProgramCase{"dynamic arrays share until resized",
                    "type TInts = array of Integer;\n"
                    "var a, b: TInts; m: array of array of String; i: Integer; s: String;\n"
                    "function Total(x: TInts): Integer; var k: Integer;\n"
                    "begin Result := 0; for k := 0 to High(x) do Result := Result + x[k]; end;\n"
                    "begin\n"
                    "  Log(IntToStr(Length(a)) + ' ' + IntToStr(High(a)) + ' ' + IntToStr(Low(a)));\n"
                    "  SetLength(a, 4); for i := 0 to 3 do a[i] := i + 1;\n"
                    "  SetLength(a, 6); a[5] := 10;\n"
                    "  Log(IntToStr(Length(a)) + ' ' + IntToStr(Total(a)) + ' ' + IntToStr(a[4]));\n"
                    "  b := a; b[0] := 100; Log(IntToStr(a[0]));\n"
                    "  SetLength(b, 2); b[1] := -1; Log(IntToStr(a[1]) + ' ' + IntToStr(Length(a)));\n"
                    "  a := [7, 8, 9]; Log(IntToStr(Total(a)));\n"
                    "  SetLength(m, 2); SetLength(m[1], 2); m[1][1] := 'deep'; Log(m[1][1] + IntToStr(Length(m[0])));\n"
                    "  SetLength(a, 0); Log(IntToStr(Length(a)));\n"
                    "  a[0] := 1;\n"
                    "end.",
                    {"0 -1 0", "6 20 0", "100", "2 6", "24", "deep0", "0"},
                    "Out Of Range"},
        ProgramCase{"open arrays take constructors and arrays",
                    "type TInts = array of Integer;\n"
                    "var a: TInts;\n"
                    "function Sum(const x: array of Integer): Integer; var i: Integer;\n"
                    "begin Result := 0; for i := 0 to High(x) do Result := Result + x[i]; end;\n"
                    "function Count(x: array of String): Integer; begin Result := Length(x); end;\n"
                    "begin\n"
                    "  Log(IntToStr(Sum([1, 2, 3])) + ' ' + IntToStr(Count(['a', 'b'])) + ' ' + IntToStr(Sum([])));\n"
                    "  SetLength(a, 2); a[0] := 5; a[1] := 6; Log(IntToStr(Sum(a)));\n"
                    "end.",
                    {"6 2 0", "11"}},
        ProgramCase{"procedural values",
                    "type TOp = function(a, b: Integer): Integer; TStep = procedure(var x: Integer);\n"
                    "var op, other: TOp; step: TStep; n: Integer;\n"
                    "function Add(a, b: Integer): Integer; begin Result := a + b; end;\n"
                    "function Mul(a, b: Integer): Integer; begin Result := a * b; end;\n"
                    "procedure Twice(var x: Integer); begin x := x * 2; end;\n"
                    "function Fold(f: TOp; last: Integer): Integer; var i: Integer;\n"
                    "begin Result := 1; for i := 2 to last do Result := f(Result, i); end;\n"
                    "begin\n"
                    "  op := @Add; Log(IntToStr(op(2, 3)) + ' ' + IntToStr(Fold(op, 4)));\n"
                    "  op := @Mul; Log(IntToStr(Fold(op, 5)) + ' ' + IntToStr(Fold(@Add, 3)));\n"
                    "  other := op; if other = op then Log('same');\n"
                    "  step := @Twice; n := 3; step(n); step(n); Log(IntToStr(n));\n"
                    "  op := nil; if op = nil then Log('nil');\n"
                    "  n := op(1, 2);\n"
                    "end.",
                    {"5 10", "120 6", "same", "12", "nil"},
                    "Out of Proc Range"},
        ProgramCase{
            "Variants of every kind",
            "var v, w: Variant; i: Integer; s: String; d: Double; c: Currency; b: Boolean; i64: Int64;\n"
            "begin\n"
            "  Log(IntToStr(VarType(v)) + ' ' + IntToStr(VarType(Null)) + ' ' + IntToStr(VarType(Unassigned)));\n"
            "  if VarIsEmpty(v) and not VarIsNull(v) then Log('empty');\n"
            "  v := 1; w := 300000; Log(IntToStr(VarType(v)) + ' ' + IntToStr(VarType(w)));\n"
            "  b := True; v := b; d := 1.5; w := d; Log(IntToStr(VarType(v)) + ' ' + IntToStr(VarType(w)));\n"
            "  c := 2.5; v := c; i64 := 5; w := i64; Log(IntToStr(VarType(v)) + ' ' + IntToStr(VarType(w)));\n"
            "  s := 'x'; v := s; Log(IntToStr(VarType(v)));\n"
            "  v := 5; w := v + 2.5; Log(FloatToStr(w));\n"
            "  v := 7; w := 2; Log(IntToStr(v div w) + ' ' + IntToStr(v mod 4) + ' ' + IntToStr(v * w) + ' ' + "
            "IntToStr(-v));\n"
            "  v := 'text'; s := v + '!'; Log(s);\n"
            "  v := '12'; w := v + 1; Log(IntToStr(w));\n"
            "  v := 'abc'; w := 'abd'; if v < w then Log('less');\n"
            "  v := 2.5; i := v; Log(IntToStr(i));\n"
            "  v := 'A'; s := 'B'; s := v; Log(s);\n"
            "  v := Null; if VarIsNull(v) then Log('null');\n"
            "  v := [1, 'two', 3.5]; Log(IntToStr(VarType(v)));\n"
            "end.",
            {"0 1 0", "empty", "3 3", "11 5", "6 20", "256", "7.500000000000", "3 3 14 -7", "text!", "13", "less", "2",
             "A", "null", "8204"}},
        ProgramCase{"the Variant type constants are the codes VarType gives",
                    "var v: Variant; s: String; w: WideString; t: TVarType;\n"
                    "begin\n"
                    "  Log(IntToStr(varEmpty) + ' ' + IntToStr(varNull) + ' ' + IntToStr(varSmallInt) + ' ' +\n"
                    "      IntToStr(varInteger) + ' ' + IntToStr(varSingle) + ' ' + IntToStr(varDouble) + ' ' +\n"
                    "      IntToStr(varCurrency) + ' ' + IntToStr(varDate) + ' ' + IntToStr(varOleStr) + ' ' +\n"
                    "      IntToStr(varDispatch) + ' ' + IntToStr(varError) + ' ' + IntToStr(varBoolean) + ' ' +\n"
                    "      IntToStr(varVariant) + ' ' + IntToStr(varUnknown));\n"
                    "  Log(IntToStr(varShortInt) + ' ' + IntToStr(varByte) + ' ' + IntToStr(varWord) + ' ' +\n"
                    "      IntToStr(varLongWord) + ' ' + IntToStr(varInt64) + ' ' + IntToStr(varStrArg) + ' ' +\n"
                    "      IntToStr(varAny) + ' ' + IntToStr(varString) + ' ' + IntToStr(varTypeMask) + ' ' +\n"
                    "      IntToStr(varArray) + ' ' + IntToStr(varByRef));\n"
                    "  s := 'x'; v := s; if VarType(v) = varString then Log('varString');\n"
                    "  w := 'y'; v := w; if VarType(v) = varOleStr then Log('varOleStr');\n"
                    "  v := [1, 2]; t := VarType(v);\n"
                    "  if (t and varTypeMask = varVariant) and (t and varArray <> 0) then Log('array of varVariant');\n"
                    "end.",
                    {"0 1 2 3 4 5 6 7 8 9 10 11 12 13", "16 17 18 19 20 72 257 256 4095 8192 16384", "varString",
                     "varOleStr", "array of varVariant"}},
        ProgramCase{
            "routines called by their own names",
            "var a: array of Integer; s: String; w: WideString; v: Variant; st: array[5..9] of Byte;\n"
            "begin\n"
            "  SetArrayLength(a, 3); a[2] := 7; Log(IntToStr(GetArrayLength(a)) + ' ' + IntToStr(a[2]));\n"
            "  s := 'abc'; StrSet('X', 2, s); Log(s + StrGet(s, 3) + StrGet2(s, 1));\n"
            "  w := 'wide'; WStrSet('W', 1, w); s := w; Log(s + WStrGet(w, 2));\n"
            "  v := [10, 'x', 2.5]; s := v[1]; Log(IntToStr(v[0]) + s + FloatToStr(VarArrayGet(v, 2)));\n"
            "  v[1] := 'y'; VarArraySet('z', 0, v); s := v[0]; s := s + v[1]; Log(s);\n"
            "  s := ''; if not Assigned(s) then Log('unassigned'); s := 'x'; if Assigned(s) then Log('assigned');\n"
            "  Log(IntToStr(Low(st)) + '..' + IntToStr(High(st)) + ' ' + IntToStr(Length(st)) + ' ' + "
            "IntToStr(SizeOf(st)));\n"
            "end.",
            {"3 7", "aXcca", "Widei", "10x2.500000000000", "zy", "unassigned", "assigned", "5..9 5 5"}},
        ProgramCase{"a late-bound call on an empty Variant",
                    "var v: Variant;\n"
                    "begin\n"
                    "  try v.Open('x'); except Log(IntToStr(Ord(ExceptionType)) + ' ' + ExceptionParam); end;\n"
                    "  v := 3;\n"
                    "  v.Size := 1;\n"
                    "end.",
                    {"24 Variant is null, cannot invoke"},
                    "Exception: Invalid variant type conversion"},
        ProgramCase{"a Variant read as a character or a number",
                    "var v: Variant; c: Char; i: Integer;\n"
                    "begin\n"
                    "  v := 'A'; c := v; Log(c);\n"
                    "  v := 'AB';\n"
                    "  try c := v; except Log(ExceptionToString(ExceptionType, ExceptionParam)); end;\n"
                    "  v := 'abc'; i := v;\n"
                    "end.",
                    {"A", "Exception: Type Mismatch"},
                    "Exception: Invalid variant type conversion"}),
    CaseParamName<ProgramCase>);

} // namespace
