// Debug data beside an image, source positions before each instruction, and
// pausing and stepping through nested calls.

#include "script/common/utils.h"
#include "script/runtime/debugger.h"
#include "script/runtime/native_bridge.h"
#include "tests/script/compiler/compile_harness.h"
#include "tests/script/runtime/image_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

using namespace testimage;
using pscode::CalcOp;

namespace {

using RowCol = std::pair<std::uint32_t, std::uint32_t>;

// Debug data records as the compiler writes them.
std::string names(std::uint8_t tag, const std::vector<std::string>& list, const std::string& procNo = {})
{
    std::string out = u8(tag) + procNo;
    for (const std::string& name : list)
        out += name + '\1';
    return out + '\0';
}
std::string position(const std::string& file, std::uint32_t proc, std::uint32_t code, std::uint32_t row,
                     std::uint32_t col)
{
    return u8(4) + file + '\1' + u32(proc) + u32(code) + u32(row * 100 + col) + u32(row) + u32(col);
}

// main calls A, A calls B. Each instruction has a source line of its own:
// row 30.. in main, 20.. in A, 10.. in B, the column is the row's last digit + 1.
struct NestedCalls
{
    ImageBuilder b;
    StandardTypes t{b};
    std::uint32_t counter = b.var(t.longint);
    std::uint32_t host = b.external("HOSTHOOK");
    std::string positions;
    std::uint32_t procB = 0, procA = 0, procMain = 0;

    // Adds a procedure of one instruction per row from firstRow on.
    std::uint32_t add(const std::vector<std::function<void(Code&)>>& lines, std::uint32_t firstRow,
                      bool withPositions = true)
    {
        Code c;
        const auto procNo = static_cast<std::uint32_t>(procCount_++);
        std::uint32_t row = firstRow;
        for (const auto& line : lines) {
            if (withPositions)
                positions +=
                    position("unit.pas", procNo, static_cast<std::uint32_t>(c.bytes().size()), row, row % 10 + 1);
            line(c);
            ++row;
        }
        return b.proc(c);
    }

    NestedCalls(bool mainPositions = true)
    {
        procCount_ = 1; // the host routine is procedure 0
        const std::string one = C(t.longint, s32(1));
        procB = add({[&](Code& c) { c.calc(CalcOp::Add, V(counter), one); },
                     [&](Code& c) { c.calc(CalcOp::Add, V(counter), one); }, [](Code& c) { c.ret(); }},
                    10);
        procA = add({[&](Code& c) { c.call(procB); }, [&](Code& c) { c.calc(CalcOp::Add, V(counter), one); },
                     [&](Code& c) { c.call(host); }, [](Code& c) { c.ret(); }},
                    20);
        procMain = add({[&](Code& c) { c.call(procA); }, [&](Code& c) { c.call(host); }, [](Code& c) { c.ret(); }}, 30,
                       mainPositions);
        b.main(procMain);
    }
    std::string debugData() const { return names(0, {"HOSTHOOK", "B", "A", ""}) + names(1, {"Counter"}) + positions; }

private:
    std::size_t procCount_ = 0;
};

// What the host sees while running.
struct Observer
{
    std::vector<RowCol> lines;  // every source line reported
    std::vector<RowCol> pauses; // where the run paused
    std::vector<RowCol> atHost; // the position when the host routine ran
    std::vector<std::string> hostFiles;
    std::vector<std::function<void(TPSDebugExec&)>> commands; // one per pause
    std::size_t next = 0;
};

Observer* observing = nullptr;

bool hostHook(TPSExec* exec, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    auto* debug = static_cast<TPSDebugExec*>(exec);
    observing->atHost.emplace_back(debug->CurrentRow(), debug->CurrentCol());
    observing->hostFiles.push_back(debug->CurrentFile());
    return true;
}

void onLine(TPSDebugExec*, const std::string& file, std::uint32_t pos, std::uint32_t row, std::uint32_t col)
{
    EXPECT_EQ(file, "unit.pas");
    EXPECT_EQ(pos, row * 100 + col);
    observing->lines.emplace_back(row, col);
}

void onIdle(TPSDebugExec* exec)
{
    observing->pauses.emplace_back(exec->CurrentRow(), exec->CurrentCol());
    if (observing->next < observing->commands.size())
        observing->commands[observing->next++](*exec);
    else
        exec->Resume();
}

struct Debugged
{
    NestedCalls script;
    TPSDebugExec exec;
    Observer seen;

    explicit Debugged(bool mainPositions = true) : script(mainPositions)
    {
        observing = &seen;
        exec.RegisterProcName("HOSTHOOK", hostHook);
        EXPECT_TRUE(exec.LoadBytecode(script.b.image()));
        exec.LoadDebugInfo(script.debugData());
        exec.OnSourceLine = onLine;
    }
    ~Debugged() { observing = nullptr; }
    bool run() { return exec.ExecuteCode(); }
};

RowCol rc(std::uint32_t row)
{
    return {row, row % 10 + 1};
}
std::vector<RowCol> rows(std::initializer_list<std::uint32_t> list)
{
    std::vector<RowCol> out;
    for (const std::uint32_t row : list)
        out.push_back(rc(row));
    return out;
}

// Where a run should pause when the host answers each pause with the next
// command (and resumes after the last).
using StepCommand = std::function<void(TPSDebugExec&)>;
struct StepRow
{
    const char* what;
    std::vector<StepCommand> commands;
    std::vector<RowCol> pauses;
};
const StepCommand into = [](TPSDebugExec& e) { e.StepInto(); };
const StepCommand over = [](TPSDebugExec& e) { e.StepOver(); };
const StepCommand resume = [](TPSDebugExec& e) { e.Resume(); };

TEST(Debugger, StepsThroughNestedCalls)
{
    const StepRow table[] = {
        {"step into every line", std::vector<StepCommand>(9, into), rows({30, 20, 10, 11, 12, 21, 22, 23, 31, 32})},
        {"step over in main", {over, over, over}, rows({30, 31, 32})},
        {"into A, over B, out of A", {into, over, over, over, over, resume}, rows({30, 20, 21, 22, 23, 31})},
        {"over from inside B returns to A", {into, into, over, over, over, resume}, rows({30, 20, 10, 11, 12, 21})},
        {"resume at once", {resume}, rows({30})},
    };
    for (const StepRow& row : table) {
        SCOPED_TRACE(row.what);
        Debugged d;
        d.exec.OnIdleCall = onIdle;
        d.seen.commands = row.commands;
        d.exec.Pause();
        ASSERT_TRUE(d.run()) << d.exec.ExceptionText();
        EXPECT_EQ(d.seen.pauses, row.pauses);
        EXPECT_EQ(d.seen.lines, rows({30, 20, 10, 11, 12, 21, 22, 23, 31, 32}));
        EXPECT_EQ(*static_cast<std::int32_t*>(d.exec.GetGlobalVar(0).data), 3);
    }
}

TEST(Debugger, PauseWithoutIdleCallbackOnlyChangesTheMode)
{
    Debugged d;
    d.exec.OnSourceLine = [](TPSDebugExec* exec, const std::string&, std::uint32_t, std::uint32_t row, std::uint32_t) {
        observing->lines.emplace_back(row, 0);
        exec->Pause();
    };
    ASSERT_TRUE(d.run());
    EXPECT_EQ(d.seen.lines.size(), 10u);
    EXPECT_EQ(d.exec.DebugMode(), TPSDebugMode::Paused);
    EXPECT_EQ(d.exec.Status(), TPSStatus::Loaded);
    d.exec.Stop();
    EXPECT_EQ(d.exec.DebugMode(), TPSDebugMode::Run);
}

TEST(Debugger, ProcedureWithoutPositionsRunsAtRowAndColumnZero)
{
    Debugged d(false); // main has no position entries
    ASSERT_TRUE(d.run());
    // A calls the host at row 22; main calls it after A returned.
    EXPECT_EQ(d.seen.atHost, (std::vector<RowCol>{rc(22), {0, 0}}));
    EXPECT_EQ(d.seen.hostFiles, (std::vector<std::string>{"unit.pas", ""}));
    EXPECT_EQ(d.seen.lines, rows({20, 10, 11, 12, 21, 22, 23}));

    // Switched off, the executer looks up nothing.
    Debugged off;
    off.exec.DebugEnabled = false;
    off.exec.Pause();
    ASSERT_TRUE(off.run());
    EXPECT_TRUE(off.seen.lines.empty());
    EXPECT_EQ(off.seen.atHost, (std::vector<RowCol>{{0, 0}, {0, 0}}));
}

TEST(Debugger, LoadsWhatTheDataHoldsUpToItsEnd)
{
    const std::string full = NestedCalls().debugData() + names(2, {"Result", "X"}, u32(2)) + names(3, {"L"}, u32(2));
    struct Row
    {
        const char* what;
        std::string data;
        std::size_t procNames, globals, positionsOfA;
        std::size_t paramsOfA, positionsOfMain;
    };
    const Row table[] = {
        {"complete", full, 4, 1, 4, 2, 3},
        {"an unknown record drops everything", full + u8(5), 0, 0, 0, 0, 0},
        {"ends inside the names", full.substr(0, 12), 2, 0, 0, 0, 0},
        {"ends inside a position", NestedCalls().debugData().substr(0, NestedCalls().debugData().size() - 2), 4, 1, 4,
         0, 2},
        {"no procedure stops reading", names(0, {"P"}) + position("f", 0xFFFFFFFF, 0, 1, 1) + names(1, {"G"}), 1, 0, 0,
         0, 0},
        {"a number of no script procedure is passed over",
         position("f", 0, 0, 1, 1) + position("f", 77, 0, 1, 1) + names(1, {"G"}), 0, 1, 0, 0, 0},
        {"empty", "", 0, 0, 0, 0, 0},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.what);
        NestedCalls script;
        TPSDebugExec exec;
        exec.RegisterProcName("HOSTHOOK", hostHook);
        exec.LoadDebugInfo(full);
        EXPECT_TRUE(exec.ProcNames().empty()) << "nothing without an image";
        ASSERT_TRUE(exec.LoadBytecode(script.b.image()));
        exec.LoadDebugInfo(row.data);
        EXPECT_EQ(exec.ProcNames().size(), row.procNames);
        EXPECT_EQ(exec.GlobalVarNames().size(), row.globals);
        const TPSFunctionDebugInfo* a = exec.DebugInfoOf(script.procA);
        EXPECT_EQ(a ? a->positions.size() : 0, row.positionsOfA);
        EXPECT_EQ(a ? a->paramNames.size() : 0, row.paramsOfA);
        const TPSFunctionDebugInfo* m = exec.DebugInfoOf(script.procMain);
        EXPECT_EQ(m ? m->positions.size() : 0, row.positionsOfMain);
        exec.Clear();
        EXPECT_TRUE(exec.ProcNames().empty());
        EXPECT_EQ(exec.DebugInfoOf(script.procA), nullptr);
    }
}

// The debug data is read when first asked for, whichever way that is, from
// a copy of its own: the caller's buffer may be gone by then. A new image or
// a Clear before that drops it unread.
TEST(Debugger, DebugDataIsReadWhenFirstAskedForFromItsOwnCopy)
{
    const std::string full = NestedCalls().debugData() + names(2, {"Result", "X"}, u32(2)) + names(3, {"L"}, u32(2));
    struct Row
    {
        const char* what;
        std::function<void(Debugged&)> before; // between loading and asking
        bool kept, ran;
    };
    const Row table[] = {
        {"asked at once", [](Debugged&) {}, true, false},
        {"asked after a run", [](Debugged& d) { ASSERT_TRUE(d.run()) << d.exec.ExceptionText(); }, true, true},
        {"a new image", [](Debugged& d) { ASSERT_TRUE(d.exec.LoadBytecode(d.script.b.image())); }, false, false},
        {"cleared", [](Debugged& d) { d.exec.Clear(); }, false, false},
    };
    enum Ask { Names, Globals, Entries, Params, Position };
    for (const Row& row : table) {
        for (const Ask ask : {Names, Globals, Entries, Params, Position}) {
            SCOPED_TRACE(std::string(row.what) + ", asking " + std::to_string(int(ask)));
            Debugged d;
            {
                std::string buffer = full;
                d.exec.LoadDebugInfo(buffer);
                buffer.assign(buffer.size(), '\x7f'); // what the caller does with its buffer next
            }
            row.before(d);
            const TPSFunctionDebugInfo* a = nullptr;
            switch (ask) {
            case Names:
                EXPECT_EQ(d.exec.ProcNames(),
                          row.kept ? (std::vector<std::string>{"HOSTHOOK", "B", "A", ""}) : std::vector<std::string>{});
                break;
            case Globals:
                EXPECT_EQ(d.exec.GlobalVarNames(),
                          row.kept ? std::vector<std::string>{"Counter"} : std::vector<std::string>{});
                break;
            case Entries:
                a = d.exec.DebugInfoOf(d.script.procA);
                ASSERT_EQ(a != nullptr, row.kept);
                if (a) {
                    ASSERT_EQ(a->positions.size(), 4u);
                    EXPECT_EQ(a->positions[2].row, 22u);
                    EXPECT_EQ(a->positions[2].fileName.get(), "unit.pas");
                    EXPECT_EQ(a->marks,
                              (std::vector<std::uint32_t>{a->positions[0].codePosition, a->positions[1].codePosition,
                                                          a->positions[2].codePosition, a->positions[3].codePosition}));
                }
                break;
            case Params:
                a = d.exec.DebugInfoOf(d.script.procA);
                ASSERT_EQ(a != nullptr, row.kept);
                if (a) {
                    EXPECT_EQ(std::vector<std::string>(a->paramNames.begin(), a->paramNames.end()),
                              (std::vector<std::string>{"Result", "X"}));
                    EXPECT_EQ(std::vector<std::string>(a->varNames.begin(), a->varNames.end()),
                              std::vector<std::string>{"L"});
                }
                break;
            case Position:
                // The run ends in main's last line; without data, nowhere.
                if (row.kept && !row.ran) {
                    ASSERT_TRUE(d.run()) << d.exec.ExceptionText();
                }
                if (row.kept) {
                    EXPECT_EQ(d.exec.CurrentRow(), 32u);
                    EXPECT_EQ(d.exec.CurrentFile(), "unit.pas");
                    EXPECT_EQ(d.seen.lines, rows({30, 20, 10, 11, 12, 21, 22, 23, 31, 32}));
                } else {
                    EXPECT_EQ(d.exec.CurrentRow(), 0u);
                }
                break;
            }
        }
    }
}

// The position records in any order, with second records for a code
// position and several file names: the run sees the first record of each
// instruction, and each procedure's marks stay ascending.
TEST(Debugger, PositionRecordsInAnyOrderKeepTheFirstOfEachInstruction)
{
    const std::string names =
        NestedCalls().debugData().substr(0, NestedCalls().debugData().size() - NestedCalls().positions.size());
    // Each record of NestedCalls is as long as the next: "unit.pas" and its
    // five fields.
    const std::string all = NestedCalls().positions;
    const std::size_t size = 1 + 8 + 1 + 20;
    ASSERT_EQ(all.size() % size, 0u);
    std::vector<std::string> records;
    for (std::size_t at = 0; at < all.size(); at += size)
        records.push_back(all.substr(at, size));
    auto joined = [](const std::vector<std::string>& list) {
        std::string out;
        for (const std::string& r : list)
            out += r;
        return out;
    };
    auto renamed = [](std::string record, const std::string& file) { return record.replace(1, 8, file); };
    // A record for the same instruction that points elsewhere.
    auto elsewhere = [](std::string record) {
        record[record.size() - 8] = 99; // the row
        return record;
    };
    std::vector<std::string> reversed(records.rbegin(), records.rend());
    std::vector<std::string> doubled;
    for (const std::string& r : records) {
        doubled.push_back(r);
        doubled.push_back(elsewhere(renamed(r, "late.pas")));
    }
    std::vector<std::string> doubledBackwards;
    for (const std::string& r : reversed) {
        doubledBackwards.push_back(r);
        doubledBackwards.push_back(elsewhere(r));
    }
    // B's records between A's, main's at the front; A's own in code order.
    std::vector<std::string> interleaved = {records[7], records[8], records[9], records[3], records[0],
                                            records[4], records[1], records[5], records[2], records[6]};
    std::vector<std::string> files = records;
    for (std::size_t i = 3; i < 7; ++i)
        files[i] = renamed(files[i], "a_ro.pas"); // A's
    struct Row
    {
        const char* what;
        std::string positions;
        std::vector<std::string> hostFiles;
    };
    const Row table[] = {
        {"in code order", joined(records), {"unit.pas", "unit.pas"}},
        {"reversed", joined(reversed), {"unit.pas", "unit.pas"}},
        {"each twice, the first kept", joined(doubled), {"unit.pas", "unit.pas"}},
        {"reversed and each twice", joined(doubledBackwards), {"unit.pas", "unit.pas"}},
        {"procedures interleaved", joined(interleaved), {"unit.pas", "unit.pas"}},
        {"a file of its own for A", joined(files), {"a_ro.pas", "unit.pas"}},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.what);
        Debugged d;
        d.exec.OnSourceLine = nullptr;
        d.exec.LoadDebugInfo(names + row.positions);
        ASSERT_TRUE(d.run()) << d.exec.ExceptionText();
        // A calls the host at row 22 and main at row 31.
        EXPECT_EQ(d.seen.atHost, (std::vector<RowCol>{rc(22), rc(31)}));
        EXPECT_EQ(d.seen.hostFiles, row.hostFiles);
        for (const std::uint32_t proc : {d.script.procB, d.script.procA, d.script.procMain}) {
            const TPSFunctionDebugInfo* info = d.exec.DebugInfoOf(proc);
            ASSERT_NE(info, nullptr);
            ASSERT_EQ(info->marks.size(), info->markEntries.size());
            EXPECT_TRUE(std::is_sorted(info->marks.begin(), info->marks.end()));
            EXPECT_EQ(std::adjacent_find(info->marks.begin(), info->marks.end()), info->marks.end());
            for (std::size_t i = 0; i < info->marks.size(); ++i) {
                const TPSPositionData& entry = info->positions[info->markEntries[i]];
                EXPECT_EQ(entry.codePosition, info->marks[i]);
                EXPECT_NE(entry.row, 99u) << "a later record for the instruction was taken";
                for (std::size_t j = 0; j < info->markEntries[i]; ++j)
                    EXPECT_NE(info->positions[j].codePosition, info->marks[i]) << "an earlier record was passed over";
            }
        }
    }
}

// A host routine that takes the frames away under the running code: the
// step over that was begun in main cannot follow them any more.
bool breakFrames(TPSExec*, TPSExternalProcRec*, TPSStack*, TPSStack* stack)
{
    if (observing->next++ == 0)
        stack->PopTo(0);
    return true;
}

TEST(Debugger, StepOverThatCannotFollowTheFramesEndsTheRunWithAnError)
{
    Debugged d;
    d.exec.ResetNativeProcs();
    d.exec.RegisterProcName("HOSTHOOK", breakFrames);
    ASSERT_TRUE(d.exec.LoadBytecode(d.script.b.image()));
    d.exec.LoadDebugInfo(d.script.debugData());
    d.exec.OnSourceLine = [](TPSDebugExec* exec, const std::string&, std::uint32_t, std::uint32_t row, std::uint32_t) {
        if (row == 30)
            exec->StepOver();
    };
    EXPECT_FALSE(d.run());
    EXPECT_EQ(d.exec.ExceptionCode(), ErInternalError);
    EXPECT_EQ(d.exec.ExceptionText(), "Expected return address at stack base");
    EXPECT_EQ(d.exec.DebugMode(), TPSDebugMode::Run);

    // The executer runs the next time.
    d.exec.OnSourceLine = nullptr;
    EXPECT_TRUE(d.run()) << d.exec.ExceptionText();
}

// The same steps through a script the compiler wrote, with the debug data
// it wrote beside it.
constexpr const char* kNestedScript = R"(var g: Integer;
procedure B;
begin
  g := g + 1;
    g := g + 2;
end;
procedure A;
begin
  B;
  g := g * 10;
end;
begin
  A;
  g := g - 1;
end.
)";

std::vector<StepCommand> stepPlan;
std::size_t stepNext = 0;
std::vector<RowCol> stepPauses;

TEST(Debugger, StepsThroughACompiledScript)
{
    CompileHarness h;
    ASSERT_TRUE(h.compile(kNestedScript)) << (h.firstError() ? h.firstError()->MessageToString() : "");
    std::string image, debugData;
    ASSERT_TRUE(h.c.GetOutput(image));
    ASSERT_TRUE(h.c.GetDebugOutput(debugData));

    const StepRow table[] = {
        {"step into", {into, into, into, into, into, into}, {{13, 3}, {9, 3}, {4, 3}, {5, 5}, {10, 3}, {14, 3}}},
        {"step over", {over, over}, {{13, 3}, {14, 3}}},
        {"into A, then over", {into, over, over}, {{13, 3}, {9, 3}, {10, 3}, {14, 3}}},
    };
    for (const StepRow& row : table) {
        SCOPED_TRACE(row.what);
        TPSDebugExec exec;
        ASSERT_TRUE(exec.LoadBytecode(image));
        exec.LoadDebugInfo(debugData);
        stepPlan = row.commands;
        stepNext = 0;
        stepPauses.clear();
        exec.OnIdleCall = [](TPSDebugExec* e) {
            stepPauses.emplace_back(e->CurrentRow(), e->CurrentCol());
            if (stepNext < stepPlan.size())
                stepPlan[stepNext++](*e);
            else
                e->Resume();
        };
        exec.Pause();
        ASSERT_TRUE(exec.ExecuteCode()) << exec.ExceptionText();
        EXPECT_EQ(stepPauses, row.pauses);
        EXPECT_EQ(*static_cast<std::int32_t*>(exec.GetGlobalVar(0).data), 29);
        EXPECT_EQ(exec.ProcNames(), (std::vector<std::string>{"", "B", "A"}));
    }
}

} // namespace

// ---- Positions looked up lazily against a plain search ----------------------------

// A program with recursion, loops, a procedure that runs without debug data
// in one of the cases, an error caught in the caller and a host routine that
// looks at the position from every corner of it.
constexpr const char* kWatchedScript = R"(var g: Integer;
function Fib(n: Integer): Integer;
begin
  Probe;
  if n < 2 then
    Result := n
  else
    Result := Fib(n - 1) + Fib(n - 2);
end;
procedure Quiet(k: Integer);
var i: Integer;
begin
  for i := 1 to k do
    g := g + i;
  Probe;
end;
function Ratio(a, b: Integer): Integer;
begin
  Result := a div b;
end;
var i, j: Integer;
begin
  g := Fib(4);
  Probe;
  i := 0;
  while i < 3 do begin
    Quiet(i); i := i + 1;
  end;
  try
    j := Ratio(4, 0);
  except
    Probe;
  end;
  repeat j := j + 1; until j > 4;
  Probe;
end.
)";

// Where the run stands in the source, as the host reads it.
struct Place
{
    std::string file;
    std::uint32_t pos = 0, row = 0, col = 0;
    bool operator==(const Place&) const = default;
};

Place placeOf(const TPSCustomDebugExec& exec)
{
    return {exec.CurrentFile(), exec.CurrentPosition(), exec.CurrentRow(), exec.CurrentCol()};
}

// The positions as the debugger defines them, by a plain search through a
// procedure's entries before every instruction.
class PlainSearch : public TPSDebugExec
{
public:
    Place place;
    std::vector<Place> found; // every instruction that has an entry

    void BeforeInstruction() override
    {
        std::uint32_t procNo = 0;
        while (procNo < ProcCount() && GetProcNo(procNo) != CurrentProc())
            ++procNo;
        const TPSFunctionDebugInfo* info = DebugInfoOf(procNo);
        if (!info) {
            place = {};
            return;
        }
        for (const TPSPositionData& entry : info->positions) {
            if (entry.codePosition == Position()) {
                place = {entry.fileName, entry.sourcePosition, entry.row, entry.col};
                found.push_back(place);
                return;
            }
        }
    }

protected:
    TPSHookLevel HookLevel() const override { return TPSHookLevel::Every; }
};

std::vector<Place>* probes = nullptr;

bool probe(TPSExec* exec, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    if (auto* plain = dynamic_cast<PlainSearch*>(exec))
        probes->push_back(plain->place);
    else
        probes->push_back(placeOf(*static_cast<TPSDebugExec*>(exec)));
    return true;
}

// The debug data without any record of one procedure.
std::string withoutDebugDataOf(const std::string& data, std::uint32_t procNo)
{
    std::string out;
    std::size_t pos = 0;
    while (pos < data.size()) {
        const std::size_t start = pos;
        const auto tag = static_cast<std::uint8_t>(data[pos++]);
        if (tag == 4)
            pos = data.find('\1', pos) + 1; // the file name comes first
        std::uint32_t proc = 0xFFFFFFFF;
        if (tag >= 2) {
            std::memcpy(&proc, data.data() + pos, 4);
            pos += 4;
        }
        if (tag == 4)
            pos += 16;
        else
            pos = data.find('\0', pos) + 1; // a list of names
        if (proc != procNo)
            out += data.substr(start, pos - start);
    }
    return out;
}

TEST(Debugger, PositionsLookedUpLazilyAgreeWithAPlainSearch)
{
    CompileHarness h;
    h.registerTypes = [](TPSPascalCompiler& c) { c.AddFunction("procedure Probe;"); };
    ASSERT_TRUE(h.compile(kWatchedScript)) << (h.firstError() ? h.firstError()->MessageToString() : "");
    std::string image, debugData;
    ASSERT_TRUE(h.c.GetOutput(image));
    ASSERT_TRUE(h.c.GetDebugOutput(debugData));

    // How the host watches: not at all, through the source-line callback,
    // through the per-instruction callback, or by stepping into each line.
    enum Watch { Nobody, SourceLines, EveryInstruction, Stepping };
    for (const bool quiet : {false, true}) {
        PlainSearch reference;
        reference.RegisterProcName("PROBE", probe);
        ASSERT_TRUE(reference.LoadBytecode(image));
        reference.LoadDebugInfo(debugData);
        const std::vector<std::string>& procNames = reference.ProcNames();
        const auto quietName = std::find_if(procNames.begin(), procNames.end(),
                                            [](const std::string& name) { return FastUpperCase(name) == "QUIET"; });
        ASSERT_NE(quietName, procNames.end());
        const auto quietProc = static_cast<std::uint32_t>(quietName - procNames.begin());
        const std::string data = quiet ? withoutDebugDataOf(debugData, quietProc) : debugData;
        reference.LoadDebugInfo(data);
        std::vector<Place> expected;
        probes = &expected;
        ASSERT_TRUE(reference.ExecuteCode()) << reference.ExceptionText();
        ASSERT_EQ(expected.size(), 15u);
        const Place last = reference.place;

        for (const Watch watch : {Nobody, SourceLines, EveryInstruction, Stepping}) {
            SCOPED_TRACE(std::string(quiet ? "Quiet without debug data, " : "") + "watched " +
                         std::to_string(int(watch)));
            TPSDebugExec exec;
            exec.RegisterProcName("PROBE", probe);
            ASSERT_TRUE(exec.LoadBytecode(image));
            exec.LoadDebugInfo(data);
            static std::vector<Place>* lines;
            std::vector<Place> seenLines;
            lines = &seenLines;
            if (watch == SourceLines || watch == Stepping)
                exec.OnSourceLine = [](TPSDebugExec*, const std::string& file, std::uint32_t pos, std::uint32_t row,
                                       std::uint32_t col) {
                    lines->push_back({file, pos, row, col});
                };
            if (watch == EveryInstruction)
                exec.OnRunLine = [](TPSExec*) {};
            if (watch == Stepping) {
                exec.OnIdleCall = [](TPSDebugExec* e) { e->StepInto(); };
                exec.Pause();
            }
            std::vector<Place> seen;
            probes = &seen;
            ASSERT_TRUE(exec.ExecuteCode()) << exec.ExceptionText();
            EXPECT_EQ(seen, expected);
            EXPECT_EQ(placeOf(exec), last);
            if (watch == SourceLines || watch == Stepping) {
                EXPECT_EQ(seenLines, reference.found);
            }
        }
    }
    probes = nullptr;
}

// A pause asked for from inside a statement stops the run before the very
// next instruction, whether or not the host watches source lines: the rest
// of the statement has not run yet when the host is idle.
TEST(Debugger, APauseFromAHostRoutineStopsAtTheNextInstruction)
{
    CompileHarness h;
    h.registerTypes = [](TPSPascalCompiler& c) { c.AddFunction("function HostPause(x: Integer): Integer;"); };
    ASSERT_TRUE(h.compile("var g: Integer;\nbegin\n  g := HostPause(1) + 10;\n  g := g + 100;\nend."))
        << (h.firstError() ? h.firstError()->MessageToString() : "");
    std::string image, debugData;
    ASSERT_TRUE(h.c.GetOutput(image));
    ASSERT_TRUE(h.c.GetDebugOutput(debugData));
    for (const bool watchLines : {false, true}) {
        SCOPED_TRACE(watchLines ? "with the source-line callback" : "without");
        TPSDebugExec exec;
        RegisterNativeFunction(exec, "function HostPause(x: Integer): Integer;", [&exec](std::int32_t x) {
            exec.Pause();
            return x;
        });
        ASSERT_TRUE(exec.LoadBytecode(image));
        exec.LoadDebugInfo(debugData);
        if (watchLines)
            exec.OnSourceLine = [](TPSDebugExec*, const std::string&, std::uint32_t, std::uint32_t, std::uint32_t) {};
        static std::vector<std::pair<std::uint32_t, std::int32_t>> idle; // row, g
        idle.clear();
        exec.OnIdleCall = [](TPSDebugExec* e) {
            idle.emplace_back(e->CurrentRow(), *static_cast<std::int32_t*>(e->GetGlobalVar(0).data));
            e->Resume();
        };
        ASSERT_TRUE(exec.ExecuteCode()) << exec.ExceptionText();
        EXPECT_EQ(idle, (std::vector<std::pair<std::uint32_t, std::int32_t>>{{3, 0}}));
        EXPECT_EQ(*static_cast<std::int32_t*>(exec.GetGlobalVar(0).data), 111);
    }
}
