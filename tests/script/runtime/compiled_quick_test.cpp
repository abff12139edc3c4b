// Compiled programs run from their decoded code, stepped and combined, and
// read from their bytes: the same values, the same errors at the same
// places.

#include "tests/script/compiler/compile_harness.h"
#include "tests/script/runtime/three_ways.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace threeways;

namespace {

// The outcome of the program's main block, its globals by upper-case name.
struct ProgramRun
{
    Outcome outcome;
    std::map<std::string, std::string> globals;
};

ProgramRun compileAndRun(const std::string& program, const std::function<void(TPSExec&)>& prepare = {})
{
    CompileHarness h;
    std::vector<std::string> names;
    h.inspect = [&](TPSPascalCompiler& c) {
        for (const auto& var : c.Vars())
            names.push_back(var->Name);
    };
    ProgramRun run;
    if (!h.compile(program)) {
        ADD_FAILURE() << (h.firstError() ? h.firstError()->MessageToString() : "no image");
        return run;
    }
    std::string image;
    h.c.GetOutput(image);
    run.outcome = runThreeWays(image, prepare);
    for (std::size_t i = 0; i < names.size() && i < run.outcome.globals.size(); ++i)
        run.globals[names[i]] = run.outcome.globals[i];
    return run;
}

// The pseudo-random numbers the sorting programs sort.
std::vector<std::int32_t> randomNumbers(int n)
{
    std::vector<std::int32_t> out;
    std::int32_t seed = 1;
    for (int i = 0; i < n; ++i)
        out.push_back(seed = (seed * 1021 + 7) % 1048573);
    return out;
}

std::string checksumOf(const std::vector<std::int32_t>& values)
{
    std::int32_t c = 0;
    for (std::int32_t v : values)
        c = (c * 31 + v) % 1000003;
    return std::to_string(c);
}

// What the sorting programs share: the array, filled with the numbers above,
// and the checksum of its values.
const std::string kSortShared = R"(
type
  TIntArray = array of Integer;

procedure Fill(var a: TIntArray; n: Integer);
var
  i, seed: Integer;
begin
  SetLength(a, n);
  seed := 1;
  for i := 0 to n - 1 do begin
    seed := (seed * 1021 + 7) mod 1048573;
    a[i] := seed;
  end;
end;

function Checksum(var a: TIntArray; n: Integer): Integer;
var
  i, c: Integer;
begin
  c := 0;
  for i := 0 to n - 1 do
    c := (c * 31 + a[i]) mod 1000003;
  Result := c;
end;
)";

} // namespace

TEST(CompiledQuickPaths, RecursionLoopsAndVarParameters)
{
    const ProgramRun run = compileAndRun(R"(
var
  f, s, a, b, first: Integer;
  pair: array of Integer;

function Fib(n: Integer): Integer;
begin
  if n < 2 then
    Result := n
  else
    Result := Fib(n - 1) + Fib(n - 2);
end;

procedure Swap(var x, y: Integer);
var
  t: Integer;
begin
  t := x;
  x := y;
  y := t;
end;

var
  i: Integer;
begin
  f := Fib(15);
  for i := 1 to 1000 do
    s := s + i mod 7 + 1;
  a := 1;
  b := 2;
  for i := 1 to 5 do
    Swap(a, b);
  // Elements passed by reference hold their array only for the call.
  SetLength(pair, 2);
  pair[0] := 1;
  pair[1] := 2;
  for i := 1 to 3 do
    Swap(pair[0], pair[1]);
  first := pair[0];
end.
)");
    ASSERT_TRUE(run.outcome.result) << run.outcome;
    EXPECT_EQ(run.globals.at("F"), "610");
    EXPECT_EQ(run.globals.at("S"), "4003");
    EXPECT_EQ(run.globals.at("A"), "2");
    EXPECT_EQ(run.globals.at("B"), "1");
    EXPECT_EQ(run.globals.at("FIRST"), "2");
    EXPECT_EQ(run.globals.at("PAIR"), "[2 refs 1]");
    EXPECT_EQ(run.outcome.stack, 0u);
}

TEST(CompiledQuickPaths, SortsInArrays)
{
    const ProgramRun insertion = compileAndRun(kSortShared + R"(
var
  a: TIntArray;
  i, j, x, moves, sum: Integer;
begin
  Fill(a, 200);
  for i := 1 to 199 do begin
    x := a[i];
    j := i - 1;
    while j >= 0 do begin
      if a[j] <= x then
        break;
      a[j + 1] := a[j];
      j := j - 1;
    end;
    a[j + 1] := x;
    moves := moves + (i - 1 - j);
  end;
  sum := Checksum(a, 200);
end.
)");
    ASSERT_TRUE(insertion.outcome.result) << insertion.outcome;
    std::vector<std::int32_t> values = randomNumbers(200);
    std::sort(values.begin(), values.end());
    EXPECT_EQ(insertion.globals.at("SUM"), checksumOf(values));

    const ProgramRun quick = compileAndRun(kSortShared + R"(
function QSort(var a: TIntArray; lo, hi: Integer): Integer;
var
  i, j, p, t: Integer;
begin
  i := lo;
  j := hi;
  p := a[(lo + hi) div 2];
  Result := 0;
  repeat
    while a[i] < p do
      i := i + 1;
    while a[j] > p do
      j := j - 1;
    if i <= j then begin
      t := a[i];
      a[i] := a[j];
      a[j] := t;
      i := i + 1;
      j := j - 1;
      Result := Result + 1;
    end;
  until i > j;
  if lo < j then
    Result := Result + QSort(a, lo, j);
  if i < hi then
    Result := Result + QSort(a, i, hi);
end;

var
  a: TIntArray;
  swaps, sum: Integer;
begin
  Fill(a, 500);
  swaps := QSort(a, 0, 499);
  sum := Checksum(a, 500);
end.
)");
    ASSERT_TRUE(quick.outcome.result) << quick.outcome;
    values = randomNumbers(500);
    std::sort(values.begin(), values.end());
    EXPECT_EQ(quick.globals.at("SUM"), checksumOf(values));
}

// Every integer type, and the comparisons between them.
TEST(CompiledQuickPaths, IntegersOfEveryWidth)
{
    const ProgramRun run = compileAndRun(R"(
var
  b: Byte; sh: ShortInt; w: Word; sm: SmallInt; c: Cardinal; i: Integer; big: Int64;
  below, wrapped, mixed, top, bottom, k: Integer;
begin
  // Loops that reach the ends of the LongInt range stop there.
  for k := 2147483645 to 2147483647 do
    top := top + 1;
  for k := -2147483647 downto -2147483648 do
    bottom := bottom + 1;
  b := 250; sh := -120; w := 65530; sm := -32760; c := 4294967290;
  for i := 1 to 10 do begin
    b := b + 3;
    sh := sh - 3;
    w := w + 1;
    sm := sm - 1;
    c := c + 1;
    big := big * 3 + i;
    if c < i then
      below := below + 1;
    if sh > b then
      mixed := mixed + 1;
  end;
  wrapped := 2147483647;
  wrapped := wrapped + 1;
end.
)");
    ASSERT_TRUE(run.outcome.result) << run.outcome;
    EXPECT_EQ(run.globals.at("B"), "24");
    EXPECT_EQ(run.globals.at("SH"), "106");
    EXPECT_EQ(run.globals.at("W"), "4");
    EXPECT_EQ(run.globals.at("SM"), "32766");
    EXPECT_EQ(run.globals.at("C"), "4");
    EXPECT_EQ(run.globals.at("BIG"), "44281");
    EXPECT_EQ(run.globals.at("WRAPPED"), "-2147483648");
    EXPECT_EQ(run.globals.at("TOP"), "3");
    EXPECT_EQ(run.globals.at("BOTTOM"), "2");
}

// Errors raised inside the runs that take the short way: handled ones, and
// the one left unhandled, which stands at its instruction.
TEST(CompiledQuickPaths, ErrorsInsideShortRuns)
{
    const ProgramRun handled = compileAndRun(R"(
var
  i, n, caught: Integer;
  a: array of Integer;
begin
  SetLength(a, 3);
  for i := -2 to 4 do
    try
      n := n + 12 div (i - 1) + a[i];
    except
      caught := caught + 1;
    end;
end.
)");
    ASSERT_TRUE(handled.outcome.result) << handled.outcome;
    EXPECT_EQ(handled.globals.at("CAUGHT"), "5");

    const ProgramRun unhandled = compileAndRun(R"(
var
  i, n: Integer;
begin
  for i := 3 downto 0 do
    n := n + 12 mod i;
end.
)");
    EXPECT_FALSE(unhandled.outcome.result);
    EXPECT_EQ(unhandled.outcome.code, ErDivideByZero);
    EXPECT_EQ(unhandled.globals.at("N"), "0");
    EXPECT_EQ(unhandled.globals.at("I"), "0");
}

// Calls of functions with one value parameter, which go at once where they
// can: the argument read from a variable, a constant or a calculation, the
// result used at once or kept, errors in the argument, parameters that are
// no LongInt and results that own something (which go one instruction at a
// time), and recursion that runs out of memory on the way.
TEST(CompiledQuickPaths, CallsWithOneValueParameter)
{
    const std::string functions = R"(
function Twice(n: Integer): Integer;
begin
  Result := n * 2;
end;

function Down(n: Integer): Integer;
begin
  if n <= 0 then
    Result := 0
  else
    Result := Down(n - 1) + 1;
end;

function Spell(n: Integer): String;
begin
  Result := IntToStr(n) + '!';
end;

function Maybe(n: Integer): Integer;
begin
  if n > 100 then
    Result := n;
end;

function Half(b: Byte): Integer;
begin
  Result := b div 2;
end;

function Count(s: String): Integer;
begin
  Result := Length(s);
end;
)";
    struct Case
    {
        const char* body;
        const char* global;
        const char* value;
        std::size_t memoryLimit;
        TPSError error;
    };
    const Case cases[] = {
        {"r := Twice(21);", "R", "42", 0, ErNoError},
        {"k := 5; r := Twice(k);", "R", "10", 0, ErNoError},
        {"k := 5; r := Twice(k - 7);", "R", "-4", 0, ErNoError},
        {"k := 9; r := Twice(k mod 4) + Twice(k div 2);", "R", "10", 0, ErNoError},
        {"k := 2147483647; r := Twice(k + 1);", "R", "0", 0, ErNoError},
        {"r := Down(300);", "R", "300", 0, ErNoError},
        // A result starts empty, whatever the stack held there before.
        {"r := Down(40); r := Maybe(3) + Maybe(-8);", "R", "0", 0, ErNoError},
        {"for k := 1 to 50 do r := r + Down(k);", "R", "1275", 0, ErNoError},
        {"s := Spell(12) + Spell(-3);", "S", "'12!-3!'", 0, ErNoError},
        {"r := Half(200) + Half(7);", "R", "103", 0, ErNoError},
        {"s := 'abc'; r := Count(s) + Count(s + s);", "R", "9", 0, ErNoError},
        {"k := 0; try r := Twice(5 div k); except r := -1; end;", "R", "-1", 0, ErNoError},
        {"k := 0; r := 3; r := Twice(7 mod k);", "R", "3", 0, ErDivideByZero},
        // Deep enough to leave the stack's first chunks, not its limit.
        {"r := Down(20000);", "R", "20000", 0, ErNoError},
        {"r := Down(100000);", "R", "0", std::size_t(1) << 20, erOutOfMemory},
    };
    for (const Case& c : cases) {
        const ProgramRun run =
            compileAndRun(functions + "var r, k: Integer; s: String;\nbegin\n" + c.body + "\nend.", [&](TPSExec& exec) {
                if (c.memoryLimit)
                    exec.SetMemoryLimit(c.memoryLimit);
            });
        EXPECT_EQ(run.outcome.result, c.error == ErNoError) << c.body << ": " << run.outcome;
        EXPECT_EQ(run.outcome.code, c.error) << c.body;
        EXPECT_EQ(run.globals.at(c.global), c.value) << c.body;
        if (c.error == ErNoError) {
            EXPECT_EQ(run.outcome.stack, 0u) << c.body;
        }
    }
}

// For loops whose counter is a local of a procedure, which the loop's last
// test steps in place, up and down, to the ends of the LongInt range, with
// the counter and the limit changed inside the body.
TEST(CompiledQuickPaths, LocalLoopCounters)
{
    const ProgramRun run = compileAndRun(R"(
var
  up, down, top, bottom, early, steps: Integer;

function Sum(a, b: Integer): Integer;
var
  i: Integer;
begin
  Result := 0;
  for i := a to b do
    Result := Result + i;
end;

function SumDown(a, b: Integer): Integer;
var
  i: Integer;
begin
  Result := 0;
  for i := a downto b do
    Result := Result + i;
end;

function Ends: Integer;
var
  i, n: Integer;
begin
  n := 0;
  for i := 2147483645 to 2147483647 do
    n := n + 1;
  for i := -2147483646 downto -2147483648 do
    n := n + 10;
  Result := n;
end;

function Skipping(limit: Integer): Integer;
var
  i, n: Integer;
begin
  n := 0;
  for i := 1 to limit do begin
    n := n + 1;
    if i mod 3 = 0 then
      i := i + 1;
  end;
  Result := n;
end;

begin
  up := Sum(1, 100) + Sum(5, 4) + Sum(-3, -3);
  down := SumDown(10, 1) + SumDown(1, 2);
  top := Ends;
  early := Skipping(20);
  steps := Sum(0, 99999);
end.
)");
    ASSERT_TRUE(run.outcome.result) << run.outcome;
    EXPECT_EQ(run.globals.at("UP"), "5047");
    EXPECT_EQ(run.globals.at("DOWN"), "55");
    EXPECT_EQ(run.globals.at("TOP"), "33");
    EXPECT_EQ(run.globals.at("EARLY"), "14");
    EXPECT_EQ(run.globals.at("STEPS"), "704982704");
}
