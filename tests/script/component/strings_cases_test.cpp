// Whole programs on texts: the string routines, conversions between texts
// and numbers, characters of a string, and the three string kinds.

#include "tests/script/component/program_cases.h"

namespace {

INSTANTIATE_TEST_SUITE_P(
    Strings, Programs,
    ::testing::Values(
        ProgramCase{
            "Copy Delete Insert and Pos at their edges",
            "var s, t: String;\n"
            "begin\n"
            "  s := 'Hello World';\n"
            "  Log(Copy(s, 1, 5) + '|' + Copy(s, 0, 3) + '|' + Copy(s, 7, 100) + '|' + Copy(s, 11, 1) + '|' +\n"
            "      Copy(s, 12, 1) + '|' + Copy(s, 3, 0) + '|' + Copy(s, 3, -1) + '|');\n"
            "  Log(IntToStr(Pos('o', s)) + ' ' + IntToStr(Pos('World', s)) + ' ' + IntToStr(Pos('world', s)) +\n"
            "      ' ' + IntToStr(Pos('', s)) + ' ' + IntToStr(Pos('d', s)) + ' ' + IntToStr(Pos('H', s)));\n"
            "  t := s; Delete(t, 1, 6); Log(t);\n"
            "  t := s; Delete(t, 5, 1); Log(t);\n"
            "  t := s; Delete(t, 10, 10); Log(t);\n"
            "  t := s; Delete(t, 0, 2); Log(t);\n"
            "  t := s; Delete(t, 12, 1); Log(t);\n"
            "  t := s; Delete(t, 11, 1); Log(t);\n"
            "  t := s; Insert('--', t, 1); Log(t);\n"
            "  t := s; Insert('--', t, 6); Log(t);\n"
            "  t := s; Insert('--', t, 12); Log(t);\n"
            "  t := s; Insert('--', t, 0); Log(t);\n"
            "  t := s; Insert('--', t, 99); Log(t);\n"
            "end.",
            {"Hello|Hel|World|d||||", "5 7 0 0 11 1", "World", "Hell World", "Hello Wor", "Hello World", "Hello World",
             "Hello Worl", "--Hello World", "Hello-- World", "Hello World--", "--Hello World", "Hello World--"}},
        ProgramCase{
            "case changes, trimming and padding",
            "begin\n"
            "  Log(UpperCase('abc xyz 1') + '|' + LowerCase('ABC XYZ 1') + '|' + UpperCase('') + '|');\n"
            "  Log('[' + Trim('  a b  ') + '][' + Trim(#9#13#10'x'#9) + '][' + Trim('   ') + ']');\n"
            "  Log('[' + PadL('abc', 5) + '][' + PadR('abc', 5) + '][' + PadZ('7', 3) + '][' + PadL('abc', 2) +\n"
            "      '][' + PadR('abc', 3) + '][' + PadZ('1234', 3) + ']');\n"
            "  Log('[' + Replicate('a', 3) + '][' + StringOfChar('-', 4) + '][' + StringOfChar('x', 0) + ']');\n"
            "  Log(AnsiUpperCase('mixed Case') + ' ' + AnsiLowerCase('MIXED Case'));\n"
            "end.",
            {"ABC XYZ 1|abc xyz 1||", "[a b][x][]", "[  abc][abc  ][007][abc][abc][1234]", "[aaa][----][]",
             "MIXED CASE mixed case"}},
        ProgramCase{"characters of a string by index",
                    "var s: String; c: Char; i, n: Integer;\n"
                    "begin\n"
                    "  s := 'abcd'; c := s[1]; Log(c + s[4]);\n"
                    "  s[2] := 'X'; s[Length(s)] := 'Z'; Log(s);\n"
                    "  n := 0; for i := 1 to Length(s) do if s[i] = 'X' then n := i;\n"
                    "  Log(IntToStr(n) + ' ' + IntToStr(Ord(s[3])) + ' ' + Chr(Ord(s[3]) + 1));\n"
                    "  c := 'q'; s := c; s := s + c + #33; Log(s + ' ' + IntToStr(Length(s)));\n"
                    "end.",
                    {"ad", "aXcZ", "2 99 d", "qq! 3"}},
        ProgramCase{"a character read before the first or after the last",
                    "var s: String; c: Char;\n"
                    "begin\n"
                    "  s := 'ab';\n"
                    "  try c := s[0]; except Log(ExceptionToString(ExceptionType, ExceptionParam)); end;\n"
                    "  try c := s[3]; except Log(ExceptionParam); end;\n"
                    "  s := '';\n"
                    "  c := s[1];\n"
                    "  Log('not reached');\n"
                    "end.",
                    {"Out of string range", "Out of string range"},
                    "Out of string range"},
        ProgramCase{"written literals",
                    "var s: String;\n"
                    "begin\n"
                    "  s := 'It''s'; Log(s + ' ' + IntToStr(Length(s)));\n"
                    "  s := 'a'#66'c'#$44; Log(s);\n"
                    "  s := ''''; Log(s + IntToStr(Length(s)));\n"
                    "  s := #72#105; Log(s);\n"
                    "end.",
                    {"It's 4", "aBcD", "'1", "Hi"}},
        ProgramCase{"texts and numbers converted both ways",
                    "var i: Integer; d: Double;\n"
                    "begin\n"
                    "  Log(IntToStr(0) + ' ' + IntToStr(-2147483647 - 1) + ' ' + IntToStr(4294967295) + ' ' +\n"
                    "      Int64ToStr(-9000000000));\n"
                    "  Log(IntToStr(StrToInt('42')) + ' ' + IntToStr(StrToInt('-17')) + ' ' + IntToStr(StrToInt('4x')) "
                    "+ ' ' +\n"
                    "      IntToStr(StrToInt('')) + ' ' + IntToStr(StrToInt('99999999999')));\n"
                    "  Log(IntToStr(StrToIntDef('12', 5)) + ' ' + IntToStr(StrToIntDef('1 2', 5)) + ' ' +\n"
                    "      IntToStr(StrToIntDef('-', -1)));\n"
                    "  Log(IntToStr(StrToInt64('123456789012')) + ' ' + IntToStr(StrToInt64('-5')));\n"
                    "  d := StrToFloat('2.5'); Log(FloatToStr(d * 2) + ' ' + FloatToStr(StrToFloat('-1e-2')) + ' ' +\n"
                    "      FloatToStr(StrToFloat('.5')) + ' ' + FloatToStr(StrToFloat('3')));\n"
                    "  try d := StrToFloat('2,5'); except Log(ExceptionToString(ExceptionType, ExceptionParam)); end;\n"
                    "  try i := StrToInt64('1.5'); except Log(ExceptionToString(ExceptionType, ExceptionParam)); end;\n"
                    "end.",
                    {"0 -2147483648 4294967295 -9000000000", "42 -17 -1 -1 -1", "12 5 -1", "123456789012 -5",
                     "5.000000000000 -0.010000000000 0.500000000000 3.000000000000", "Exception: Invalid float",
                     "Exception: '1.5' is not a valid integer value"}},
        ProgramCase{"strings compare by their character codes",
                    "function B(x: Boolean): String; begin if x then Result := 'T' else Result := 'F'; end;\n"
                    "var a, z: String; c: Char; w: WideString;\n"
                    "begin\n"
                    "  a := 'ab'; z := 'b';\n"
                    "  Log(B(a < z) + B(a > z) + B(a = 'ab') + B(a <> 'ab') + B(a >= 'ab') + B(a <= 'a'));\n"
                    "  a := 'a'; z := 'B'; Log(B(a > z) + B(a = 'A') + B('abc' > 'ab') + B('' < 'a'));\n"
                    "  c := 'a'; Log(B(c = 'a') + B(c = #97) + B(c < 'b') + B(c + 'b' = 'ab'));\n"
                    "  w := 'ab'; a := 'ab'; Log(B(w = a) + B(w > 'aa') + B(w < a));\n"
                    "end.",
                    {"TFTFTF", "TFTT", "TTTT", "TTF"}},
        ProgramCase{"wide and Unicode strings beside 8-bit ones",
                    "var w: WideString; u: UnicodeString; s: String; wc: WideChar;\n"
                    "begin\n"
                    "  w := 'wide'; u := w + '+'; s := u; Log(s + ' ' + IntToStr(Length(u)));\n"
                    "  w[1] := 'W'; wc := w[2]; s := w + wc; Log(s);\n"
                    "  s := UpperCase(w); Log(s + ' ' + IntToStr(Pos('D', s)));\n"
                    "  w := Copy(w, 2, 2); Delete(u, 1, 1); Insert('>', u, 1); s := w + u; Log(s);\n"
                    "  u := #$263A; Log(IntToStr(Length(u)) + ' ' + IntToStr(Ord(u[1])));\n"
                    "end.",
                    {"wide+ 5", "Widei", "WIDE 3", "id>ide+", "1 9786"}}),
    CaseParamName<ProgramCase>);

} // namespace
