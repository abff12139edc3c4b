// Whole programs on numbers: every integer width, Int64, the real types and
// Currency, with their operators, the width a result keeps, rounding and
// the text FloatToStr makes; the same expressions folded and at run time.

#include "tests/script/component/program_cases.h"

namespace {

INSTANTIATE_TEST_SUITE_P(
    Numbers, Programs,
    ::testing::Values(
        ProgramCase{"div and mod truncate toward zero",
                    "var a, b: Integer;\n"
                    "begin\n"
                    "  a := -7; b := 2;\n"
                    "  Log(IntToStr(a div b) + ' ' + IntToStr(a mod b) + ' ' + IntToStr(7 div -2) + ' ' +\n"
                    "      IntToStr(7 mod -2) + ' ' + IntToStr(-7 div -2) + ' ' + IntToStr(-7 mod -2));\n"
                    "  a := 7; b := -2; Log(IntToStr(a div b) + ' ' + IntToStr(a mod b));\n"
                    "  a := 6; b := 3; Log(IntToStr(a / b) + ' ' + IntToStr(7 / 2));\n"
                    "end.",
                    {"-3 -1 -3 1 3 -1", "-3 1", "2 3"}},
        ProgramCase{"a result keeps its left operand's width",
                    "var b: Byte; sh: ShortInt; w: Word; sm: SmallInt; i: Integer; c: Cardinal;\n"
                    "begin\n"
                    "  b := 200; i := b + 100; Log(IntToStr(i));\n"
                    "  b := 255; b := b + 1; Log(IntToStr(b));\n"
                    "  b := 0; b := b - 1; Log(IntToStr(b));\n"
                    "  sh := 127; sh := sh + 1; Log(IntToStr(sh));\n"
                    "  w := 100; i := 1000; w := w * i; Log(IntToStr(w));\n"
                    "  sm := -32768; sm := sm - 1; Log(IntToStr(sm));\n"
                    "  i := 2147483647; i := i + 1; Log(IntToStr(i));\n"
                    "  c := 0; c := c - 1; Log(IntToStr(c));\n"
                    "  i := 100; i := i + b; Log(IntToStr(i));\n"
                    "  b := 1; i := -b; Log(IntToStr(i));\n"
                    "end.",
                    {"44", "0", "255", "-128", "34464", "32767", "-2147483648", "4294967295", "355", "-1"}},
        ProgramCase{"shifts and bitwise operators",
                    "var i: Integer; b: Byte; c: Cardinal;\n"
                    "begin\n"
                    "  i := -8; Log(IntToStr(i shr 1) + ' ' + IntToStr(i shl 2) + ' ' + IntToStr(1 shl 31));\n"
                    "  b := 1; b := b shl 8; Log(IntToStr(b));\n"
                    "  b := 129; b := b shl 1; Log(IntToStr(b));\n"
                    "  c := $F0F0F0F0; Log(IntToStr(c and $FF) + ' ' + IntToStr(c or 15) + ' ' + IntToStr(c xor c));\n"
                    "  i := 5; Log(IntToStr(not i) + ' ' + IntToStr(not 0) + ' ' + IntToStr(i and not 1));\n"
                    "end.",
                    {"2147483644 -32 -2147483648", "0", "2", "240 4042322175 0", "-6 -1 4"}},
        ProgramCase{
            "operators bind by level, the comparisons loosest",
            "const CShl = 1 + 1 shl 2; CShr = 16 - 8 shr 1; CXor = 1 xor 2 * 3; COr = 4 or 2 and 1;\n"
            "  CMod = 7 + 5 mod 3; CDiv = 9 - 8 div 2; CNeg = -1 and 2; CCmp = 1 + 2 = 3;\n"
            "var a, b, c: Integer; t: Boolean;\n"
            "begin\n"
            "  Log(IntToStr(CShl) + ' ' + IntToStr(CShr) + ' ' + IntToStr(CXor) + ' ' + IntToStr(COr) + ' ' +\n"
            "      IntToStr(CMod) + ' ' + IntToStr(CDiv) + ' ' + IntToStr(CNeg));\n"
            "  a := 1; b := 2; c := 3;\n"
            "  Log(IntToStr(a + a shl b) + ' ' + IntToStr(c * 5 - 8 shr a) + ' ' + IntToStr(a xor b * c) + ' ' +\n"
            "      IntToStr(4 * a or b and a) + ' ' + IntToStr(c + 5 mod c) + ' ' + IntToStr(c - c div b) + ' ' +\n"
            "      IntToStr(-a and b));\n"
            "  t := a + b = c; if t then if CCmp then Log('sums before comparisons');\n"
            "  if not (a = b) and (a < b) then Log('not before and');\n"
            "end.",
            {"5 12 7 4 9 5 0", "5 11 7 4 5 2 0", "sums before comparisons", "not before and"}},
        ProgramCase{
            "Int64 arithmetic at and beyond 32 bits",
            "var a, b: Int64; i: Integer;\n"
            "begin\n"
            "  a := 3000000000; b := a * 3; Log(IntToStr(b) + ' ' + IntToStr(b div 7) + ' ' + IntToStr(b mod 7));\n"
            "  a := 9223372036854775807; a := a + 1; Log(IntToStr(a));\n"
            "  a := -9223372036854775807 - 1; Log(IntToStr(a) + ' ' + IntToStr(a div -3));\n"
            "  i := 2; a := 3000000000; b := i * a; Log(IntToStr(b));\n"
            "  b := a * i; Log(IntToStr(b));\n"
            "  a := 1; a := a shl 40; Log(IntToStr(a) + ' ' + IntToStr(a shr 38));\n"
            "  a := 4294967296; i := a; Log(IntToStr(i));\n"
            "end.",
            {"9000000000 1285714285 5", "-9223372036854775808", "-9223372036854775808 3074457345618258602",
             "1705032704", "6000000000", "1099511627776 4", "0"}},
        ProgramCase{"LongInt and LongWord compare as signed 32-bit values",
                    "function B(x: Boolean): String; begin if x then Result := 'T' else Result := 'F'; end;\n"
                    "var i: Integer; c: Cardinal; i64: Int64; by: Byte; sh: ShortInt;\n"
                    "begin\n"
                    "  i := -1; c := 4294967295; Log(B(i = c) + B(i < c) + B(c = i) + B(c > i));\n"
                    "  i64 := -1; Log(B(i64 < c) + B(i = i64));\n"
                    "  by := 255; sh := -1; Log(B(by > sh) + B(sh < by));\n"
                    "  Log(B(-1 = 4294967295) + B(2147483648 > -1));\n"
                    "end.",
                    {"TFTF", "TT", "FT", "TF"}},
        ProgramCase{"reals, their division and FloatToStr",
                    "var d: Double; s: Single; e: Extended; i: Integer;\n"
                    "begin\n"
                    "  i := 7; d := i / 2; Log(FloatToStr(d));\n"
                    "  d := i; d := d / 2; Log(FloatToStr(d));\n"
                    "  d := 10.0 / 4; Log(FloatToStr(d) + ' ' + FloatToStr(1 + 2.5) + ' ' + FloatToStr(-1.5 * 2));\n"
                    "  s := 0.1; d := s; Log(FloatToStr(d));\n"
                    "  e := 1; e := e / 3; Log(FloatToStr(e));\n"
                    "  d := 2; d := d * 0.5 + i; Log(FloatToStr(d));\n"
                    "  Log(FloatToStr(0) + ' ' + FloatToStr(1e15) + ' ' + FloatToStr(0.000000000001) + ' ' +\n"
                    "      FloatToStr(0.0000000000004));\n"
                    "  Log(FloatToStr(Sqrt(2)) + ' ' + FloatToStr(Pi) + ' ' + FloatToStr(Abs(-7)) + ' ' + "
                    "FloatToStr(Int(-3.75)));\n"
                    "  Log(FloatToStr(Sin(0)) + ' ' + FloatToStr(Cos(0)) + ' ' + FloatToStr(Sqrt(16)));\n"
                    "end.",
                    {"3.000000000000", "3.500000000000", "2.500000000000 3.500000000000 -3.000000000000",
                     "0.100000001490", "0.333333333333", "8.000000000000",
                     "0.000000000000 1000000000000000.000000000000 0.000000000001 0.000000000000",
                     "1.414213562373 3.141592653590 7.000000000000 -3.000000000000",
                     "0.000000000000 1.000000000000 4.000000000000"}},
        ProgramCase{
            "Round halves to even, Trunc toward zero",
            "var d: Double;\n"
            "begin\n"
            "  Log(IntToStr(Round(0.5)) + ' ' + IntToStr(Round(1.5)) + ' ' + IntToStr(Round(2.5)) + ' ' +\n"
            "      IntToStr(Round(-0.5)) + ' ' + IntToStr(Round(-1.5)) + ' ' + IntToStr(Round(-2.5)));\n"
            "  Log(IntToStr(Round(2.4999)) + ' ' + IntToStr(Round(2.5001)) + ' ' + IntToStr(Round(-2.6)));\n"
            "  Log(IntToStr(Trunc(2.9)) + ' ' + IntToStr(Trunc(-2.9)) + ' ' + IntToStr(Trunc(0.1)));\n"
            "  d := 1e10;\n"
            "  try Log(IntToStr(Round(d))); except Log(ExceptionToString(ExceptionType, ExceptionParam)); end;\n"
            "end.",
            {"0 2 2 0 -2 -2", "2 3 -3", "2 -2 0", "Math error"}},
        ProgramCase{"Currency keeps four decimals and rounds halves to even",
                    "var c, d: Currency; s: Single; i: Integer;\n"
                    "begin\n"
                    "  c := 12.3456; d := c * 3; Log(FloatToStr(d));\n"
                    "  c := 1.5; c := c + 1; Log(FloatToStr(c));\n"
                    "  c := 2.5; c := c * c; Log(FloatToStr(c));\n"
                    "  c := 10.5; i := 3; c := c / i; Log(FloatToStr(c));\n"
                    "  c := 3; d := 7; c := c / d; Log(FloatToStr(c));\n"
                    "  s := 0.1; c := s; Log(FloatToStr(c));\n"
                    "  c := 0.00005; d := 0.00015; Log(FloatToStr(c) + ' ' + FloatToStr(d));\n"
                    "  c := 1.23456; Log(FloatToStr(c));\n"
                    "  c := -2.5; c := -c; Log(FloatToStr(c));\n"
                    "  c := 5; if c > 4.9999 then Log('greater');\n"
                    "end.",
                    {"37.036800000000", "2.500000000000", "6.250000000000", "3.500000000000", "0.428600000000",
                     "0.100000000000", "0.000000000000 0.000200000000", "1.234600000000", "2.500000000000", "greater"}},
        ProgramCase{"mixed integer and real operands",
                    "function B(x: Boolean): String; begin if x then Result := 'T' else Result := 'F'; end;\n"
                    "var i: Integer; d: Double; s: Single;\n"
                    "begin\n"
                    "  i := 3; d := 0.5; d := i * d; Log(FloatToStr(d));\n"
                    "  d := 0.1; Log(B(d = 0.1) + B(d > 0.1));\n"
                    "  i := 5; d := 5; Log(B(i = d) + B(d = i) + B(i < 5.5));\n"
                    "  s := 1.1; d := s * 2; Log(FloatToStr(d));\n"
                    "end.",
                    {"1.500000000000", "FT", "TTT", "2.200000047684"}},
        ProgramCase{"division by zero and float faults",
                    "var a, b: Integer; d, e: Double; c: Currency; i64: Int64;\n"
                    "procedure Show; begin Log(IntToStr(Ord(ExceptionType)) + ' ' + ExceptionToString(ExceptionType, "
                    "ExceptionParam)); end;\n"
                    "begin\n"
                    "  b := 0; try a := 1 div b; except Show; end;\n"
                    "  try a := 1 mod b; except Show; end;\n"
                    "  i64 := 0; try i64 := 5 div i64; except Show; end;\n"
                    "  e := 0; try d := 1 / e; except Show; end;\n"
                    "  try d := e / e; except Show; end;\n"
                    "  e := -1; try d := Sqrt(e); except Show; end;\n"
                    "  c := 0; try c := 1 / c; except Show; end;\n"
                    "  d := 1e300; try d := d * d; except Show; end;\n"
                    "  a := 1 div b;\n"
                    "end.",
                    {"15 divide by Zero", "15 divide by Zero", "15 divide by Zero", "15 divide by Zero",
                     "16 Math error", "16 Math error", "15 divide by Zero", "16 Math error"},
                    "divide by Zero"},
        ProgramCase{
            "literals take the narrowest type that holds them",
            "var i64: Int64;\n"
            "begin\n"
            "  Log(IntToStr(2147483647 + 1) + ' ' + IntToStr(2147483648 + 1) + ' ' + IntToStr(4294967295 + 1) + ' ' +\n"
            "      IntToStr(4294967296 + 1) + ' ' + IntToStr($FF) + ' ' + IntToStr($7FFFFFFF + 1));\n"
            "  i64 := 4294967296; i64 := i64 * 2; Log(IntToStr(i64));\n"
            "end.",
            {"-2147483648 2147483649 0 4294967297 255 -2147483648", "8589934592"}},
        ProgramCase{
            "increment and decrement wrap in the variable's width",
            "var b: Byte; sh: ShortInt; w: Word; sm: SmallInt; c: Cardinal; i: Integer;\n"
            "begin\n"
            "  b := 255; Inc(b); sh := -128; Dec(sh); w := 0; Dec(w); sm := 32767; Inc(sm);\n"
            "  c := 0; Dec(c); i := 41; Inc(i);\n"
            "  Log(IntToStr(b) + ' ' + IntToStr(sh) + ' ' + IntToStr(w) + ' ' + IntToStr(sm) + ' ' +\n"
            "      IntToStr(c) + ' ' + IntToStr(i));\n"
            "  Log(IntToStr(Low(b)) + ' ' + IntToStr(High(b)) + ' ' + IntToStr(Low(sh)) + ' ' + IntToStr(High(w)) + ' "
            "' +\n"
            "      IntToStr(Low(sm)) + ' ' + IntToStr(High(c)) + ' ' + IntToStr(Low(i)) + ' ' + IntToStr(High(i)));\n"
            "end.",
            {"0 127 65535 -32768 4294967295 42", "0 255 -128 65535 -32768 4294967295 -2147483648 2147483647"}}),
    CaseParamName<ProgramCase>);

} // namespace
