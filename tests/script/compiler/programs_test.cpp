// Whole compiles: the messages of the compile driver with their places, the
// host callbacks in their order, and whole programs taken from text through
// the driver, the image writer, the loader and the interpreter.

#include "script/runtime/types.h"
#include "tests/script/compiler/run_harness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Every message of a compile, as the host shows them.
std::vector<std::string> messagesOf(CompileHarness& h, const std::string& text)
{
    h.compile(text);
    std::vector<std::string> out;
    for (std::size_t i = 0; i < h.c.GetMessageCount(); ++i)
        out.push_back(h.c.GetMessage(i)->MessageToString());
    return out;
}

struct MessagesCase
{
    std::string text;
    std::vector<std::string> messages;
};

class DriverMessages : public ::testing::TestWithParam<MessagesCase>
{
};

TEST_P(DriverMessages, AreWordedAndPlaced)
{
    CompileHarness h;
    h.c.AllowNoEnd = false;
    h.registerTypes = [](TPSPascalCompiler& c) {
        TPSCompileTimeClass* shape = c.AddClass(nullptr, "TShape");
        shape->RegisterMethod("constructor Create");
        shape->IsAbstract = true;
    };
    EXPECT_EQ(messagesOf(h, GetParam().text), GetParam().messages) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Driver, DriverMessages,
    ::testing::Values(
        MessagesCase{"", {"[Error] (1:1): Unexpected end of file"}},
        MessagesCase{"program P\nbegin end.", {"[Error] (2:1): Semicolon (';') expected"}},
        MessagesCase{"program P; program Q; begin end.", {"[Error] (1:12): 'BEGIN' expected"}},
        MessagesCase{"var a: LongInt;\nif a then;\nbegin end.", {"[Error] (2:1): 'BEGIN' expected"}},
        MessagesCase{"begin\nend", {"[Error] (2:4): period ('.') expected"}},
        MessagesCase{"var a: LongInt;\nbegin\n  while a < 3 do a := a + 1;\n  continue\nend.",
                     {"[Error] (4:3): Not in a loop"}},
        MessagesCase{"var a: LongInt;\nbegin\n  case a of 1: a := 2 else a := 3; a := 4\nend.",
                     {"[Error] (3:36): 'END' expected"}},
        MessagesCase{"label Done; var a: LongInt;\nbegin\n  repeat goto Done until a = 1;\n  Done:\nend.",
                     {"[Error] (3:20): Invalid jump"}},
        MessagesCase{"procedure Later(a: LongInt); forward;\nprocedure Other; begin end;\nbegin end.",
                     {"[Error] (1:11): Unsatisfied Forward LATER"}},
        MessagesCase{"uses Extra, Extra; begin end.", {"[Error] (1:13): Duplicate identifier 'EXTRA'"}},
        // The names of a var section are checked against each other, group
        // by group, and each routine's against its own only.
        MessagesCase{"procedure A; var x, y: LongInt; s: String;\n"
                     "begin x := 1; y := x; s := 'a'; if y = x then s := s + s end;\n"
                     "procedure B; var x: LongInt; y, s: String;\n"
                     "begin x := 2; y := 'b'; s := y; y := s + IntToStr(x) end;\n"
                     "var x, y: LongInt;\n"
                     "begin A; B; x := 1; y := x; x := y end.",
                     {}},
        MessagesCase{"procedure A; var x: LongInt; y, x: String; begin end;\nbegin end.",
                     {"[Error] (1:33): Duplicate identifier 'x'"}},
        MessagesCase{"procedure A; var x, y: LongInt; begin x := 1; y := x end;\n"
                     "procedure B; var y, z: LongInt; x, z: LongInt; begin end;\nbegin end.",
                     {"[Error] (2:36): Duplicate identifier 'z'"}},
        // Hints come at the end of each routine, the globals' at the end.
        MessagesCase{"var g, used: LongInt;\n"
                     "function F(p: LongInt): LongInt;\n"
                     "var a,\n"
                     "    b: LongInt;\n"
                     "begin b := p end;\n"
                     "function H: LongInt; begin Result := 1 end;\n"
                     "begin used := F(1) + H end.",
                     {"[Hint] (3:5): Variable 'A' never used", "[Hint] (2:10): Variable 'Result' never used",
                      "[Hint] (1:5): Variable 'G' never used"}},
        // Warnings stand where the operation they name begins.
        MessagesCase{"var t, u: Boolean;\nbegin\n  t := True and u;\n  u := (t or False) and t\nend.",
                     {"[Warning] (3:8): \"True and\" is not needed", "[Warning] (4:9): \"or False\" is not needed"}},
        MessagesCase{"var s: TShape;\nbegin\n  s := TShape.Create\nend.",
                     {"[Warning] (3:8): Abstract Class Construction"}}));

// The host takes part in a compile in a fixed order, and a veto ends it
// without a message of the compiler's own.
TEST(CompileDriver, HostCallbacksInOrderAndVetoes)
{
    struct Log
    {
        std::vector<std::string> calls;
        std::string vetoUses, vetoExport;
        bool vetoOutput = false;
    };
    static Log log;
    auto harness = [](CompileHarness& h) {
        h.c.OnUses = [](TPSPascalCompiler*, const std::string& unit) {
            log.calls.push_back("uses " + unit);
            return unit != log.vetoUses;
        };
        h.c.OnExportCheck = [](TPSPascalCompiler*, TPSInternalProcedure* proc, const std::string& decl) {
            log.calls.push_back("export " + proc->Name + " " + decl);
            return proc->Name != log.vetoExport;
        };
        h.c.OnBeforeOutput = [](TPSPascalCompiler*) {
            log.calls.push_back("output");
            return !log.vetoOutput;
        };
        h.c.OnBeforeCleanup = [](TPSPascalCompiler*) {
            log.calls.push_back("cleanup");
            return true;
        };
    };
    const std::string text = "program P; uses Alpha, Beta;\n"
                             "function F(a: Byte; var s: String): LongInt; begin Result := a end;\n"
                             "procedure G; begin end;\n"
                             "begin end.";
    {
        log = {};
        CompileHarness h;
        harness(h);
        EXPECT_TRUE(h.compile(text));
        const std::vector<std::string> expected = {
            "uses SYSTEM", "uses ALPHA", "uses BETA", "export !MAIN 0", "export F LONGINT @BYTE !STRING",
            "export G 0",  "output",     "cleanup"};
        EXPECT_EQ(log.calls, expected);
        std::string image;
        EXPECT_TRUE(h.c.GetOutput(image));
    }
    for (const auto& [uses, exported, output] :
         {std::tuple{"BETA", "", false}, std::tuple{"", "F", false}, std::tuple{"", "", true}}) {
        log = {};
        log.vetoUses = uses;
        log.vetoExport = exported;
        log.vetoOutput = output;
        CompileHarness h;
        harness(h);
        EXPECT_FALSE(h.compile(text));
        EXPECT_EQ(h.c.GetMessageCount(), 0u) << log.calls.back();
        EXPECT_EQ(log.calls.back(), "cleanup");
        std::string image;
        EXPECT_FALSE(h.c.GetOutput(image));
    }
}

// A host class as a with target: its members are calls with the instance.
TEST(CompileDriver, WithReachesTheMembersOfAHostClass)
{
    CompileHarness h;
    h.registerTypes = [](TPSPascalCompiler& c) {
        TPSCompileTimeClass* thing = c.AddClass(nullptr, "TThing");
        thing->RegisterMethod("procedure Run(x: Integer)");
        thing->RegisterProperty("Size", "Integer", TPSPropertyAccess::ReadWrite);
    };
    std::vector<std::string> imports;
    h.inspect = [&](TPSPascalCompiler& c) {
        for (const auto& proc : c.Procs())
            if (auto* external = dynamic_cast<const TPSExternalProcedure*>(proc.get());
                external && external->RegProc->Name.empty())
                imports.push_back(external->RegProc->ImportDecl.substr(0, external->RegProc->ImportDecl.find('|')));
    };
    ASSERT_TRUE(h.compile("var t: TThing; n: Integer;\n"
                          "begin with t do begin Run(1); Size := Size + 1; n := Size end end."))
        << h.firstError()->MessageToString();
    EXPECT_EQ(imports.size(), 3u);
}

// ---- Whole programs ----------------------------------------------------------------

class Programs : public ::testing::TestWithParam<RunCase>
{
};

TEST_P(Programs, GiveTheExpectedGlobals)
{
    expectRun(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Whole, Programs,
    ::testing::Values(
        RunCase{"sieve and sums",
                "const N = 100;\n"
                "type TFlags = array[2..N] of Boolean;\n"
                "var flags: TFlags; i, j, primes, last, sum: LongInt;\n"
                "begin\n"
                "  for i := 2 to N do flags[i] := True;\n"
                "  for i := 2 to N do\n"
                "    if flags[i] then begin\n"
                "      primes := primes + 1; last := i; j := i * i;\n"
                "      while j <= N do begin flags[j] := False; j := j + i end\n"
                "    end;\n"
                "  sum := 0; i := 0;\n"
                "  repeat i := i + 1; if (i mod 3 = 0) or (i mod 5 = 0) then sum := sum + i until i >= 999\n"
                "end.",
                {{"PRIMES", 25}, {"LAST", 97}, {"SUM", 233168}}},
        RunCase{"sorting records",
                "type TItem = record key: LongInt; name: String; end; TItems = array of TItem;\n"
                "var items: TItems; i, j, n, first, lastKey, ordered: LongInt; t: TItem;\n"
                "procedure Add(var list: TItems; key: LongInt; const name: String);\n"
                "var k: LongInt;\n"
                "begin k := GetArrayLength(list); SetArrayLength(list, k + 1);\n"
                "  list[k].key := key; list[k].name := name end;\n"
                "begin\n"
                "  Add(items, 5, 'five'); Add(items, 2, 'two'); Add(items, 9, 'nine'); Add(items, 1, 'one');\n"
                "  n := GetArrayLength(items);\n"
                "  for i := 0 to n - 2 do\n"
                "    for j := 0 to n - 2 - i do\n"
                "      if items[j].key > items[j + 1].key then begin\n"
                "        t := items[j]; items[j] := items[j + 1]; items[j + 1] := t end;\n"
                "  first := items[0].key; lastKey := items[n - 1].key; ordered := 1;\n"
                "  for i := 1 to n - 1 do with items[i] do if key < items[i - 1].key then ordered := 0;\n"
                "  if items[3].name <> 'nine' then ordered := -1\n"
                "end.",
                {{"FIRST", 1}, {"LASTKEY", 9}, {"ORDERED", 1}, {"N", 4}}},
        RunCase{"case on strings and characters",
                "var s: String; c: Char; i, vowels, words, other: LongInt;\n"
                "begin\n"
                "  s := 'the quick brown fox';\n"
                "  for i := 1 to Length(s) do begin\n"
                "    c := s[i];\n"
                "    case c of 'a', 'e', 'i', 'o', 'u': vowels := vowels + 1; ' ': words := words + 1;\n"
                "      'b'..'d': other := other + 10 else other := other + 1 end\n"
                "  end;\n"
                "  case s of 'the': words := 0; 'the quick brown fox': words := words + 1 end\n"
                "end.",
                {{"VOWELS", 5}, {"WORDS", 4}, {"OTHER", 29}}},
        RunCase{"errors through calls, loops and finally parts",
                "var log, tries: LongInt;\n"
                "procedure Check(n: LongInt);\n"
                "begin if n mod 3 = 0 then RaiseException(erCustomError, 'three') end;\n"
                "function Count(limit: LongInt): LongInt;\n"
                "var i: LongInt;\n"
                "begin Result := 0;\n"
                "  for i := 1 to limit do\n"
                "    try Check(i); Result := Result + 1\n"
                "    except if ExceptionParam = 'three' then tries := tries + 1; if i > 7 then exit end\n"
                "end;\n"
                "begin log := 0;\n"
                "  try try log := Count(100) finally log := log + 1000 end;\n"
                "    Check(3); log := -1\n"
                "  except log := log + ExceptionProc * 0 + 20000 end\n"
                "end.",
                {{"LOG", 21006}, {"TRIES", 3}}}),
    runCaseName);

// A static array whose bounds are not symmetric comes back from the image
// with its low bound and count as written.
TEST(WholePrograms, StaticArrayBoundsRoundTrip)
{
    CompileHarness h;
    ASSERT_TRUE(h.compile("type TA = array[5..9] of LongInt; TB = array[-300..70000] of Byte;\n"
                          "var a: TA; b: TB; sum: LongInt;\n"
                          "begin a[5] := 1; a[9] := 2; b[-300] := 3; b[70000] := 4;\n"
                          "  sum := a[5] + a[9] * 10 + 100 * b[-300] + 1000 * b[70000] end."))
        << h.firstError()->MessageToString();
    std::string image;
    ASSERT_TRUE(h.c.GetOutput(image));
    TPSExec exec;
    ASSERT_TRUE(exec.LoadBytecode(image)) << exec.ExceptionText();
    ASSERT_TRUE(exec.ExecuteCode()) << exec.ExceptionText();
    const auto* a = dynamic_cast<const TPSTypeRec_StaticArray*>(exec.GetGlobalVar(0).type);
    const auto* b = dynamic_cast<const TPSTypeRec_StaticArray*>(exec.GetGlobalVar(1).type);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->lowBound, 5);
    EXPECT_EQ(a->elementCount, 5u);
    EXPECT_EQ(b->lowBound, -300);
    EXPECT_EQ(b->elementCount, 70301u);
    std::int64_t sum = 0;
    ASSERT_TRUE(GetIntegerValue(exec.GetGlobalVar(2).data, exec.GetGlobalVar(2).type, sum));
    EXPECT_EQ(sum, 4321);
}

} // namespace
