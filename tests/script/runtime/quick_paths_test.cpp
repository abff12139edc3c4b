// The decoded code's quick paths and combined runs against the same images
// read from their bytes: the runs of instructions the compiler writes, and
// the images that only look like them.

#include "script/runtime/exec.h"
#include "tests/script/runtime/image_builder.h"
#include "tests/script/runtime/three_ways.h"

#include <gtest/gtest.h>

using namespace testimage;
using namespace threeways;
using ps::BaseType;
using pscode::CalcOp;
using pscode::CompareOp;
using pscode::Op;
using pscode::TryPart;

namespace {

struct Script
{
    ImageBuilder b;
    StandardTypes t{b};

    std::string I(std::int32_t v) const { return C(t.longint, s32(v)); }
    std::string image(const Code& mainBody)
    {
        b.main(b.proc(mainBody));
        return b.image();
    }
};

std::int32_t globalOf(TPSExec& exec, std::uint32_t n)
{
    return *static_cast<std::int32_t*>(exec.GetGlobalVar(n).data);
}

// If x op y then the flag's run jumps to "taken": the run of instructions
// the compiler writes for a condition.
Code& branchIf(Code& c, const Script& s, CompareOp op, const std::string& x, const std::string& y,
               std::uint32_t flagSlot, const std::string& taken)
{
    return c.pushType(s.t.byteT)
        .compare(op, V(local(flagSlot)), x, y)
        .setFlag(V(local(flagSlot)), false)
        .pop()
        .jump(Op::JumpFlag, taken);
}

} // namespace

// Loops, conditions and calculations through temporaries: the runs the
// compiler writes, on every integer type, agree with the bytes and give the
// right values.
TEST(QuickPaths, CompilerRunsGiveTheSameValues)
{
    Script s;
    const std::uint32_t sum = s.b.var(s.t.longint), count = s.b.var(s.t.longint), bytes = s.b.var(s.t.byteT),
                        wide = s.b.var(s.t.int64), unsignedSum = s.b.var(s.t.longword);
    Code c;
    c.pushType(s.t.longint) // local 0: the loop counter
        .assign(V(local(0)), s.I(1))
        .label("loop");
    branchIf(c, s, CompareOp::Greater, V(local(0)), s.I(100), 1, "done");
    // sum := sum + counter mod 7, through a temporary
    c.pushType(s.t.longint)
        .assign(V(local(1)), V(local(0)))
        .calc(CalcOp::Mod, V(local(1)), s.I(7))
        .calc(CalcOp::Add, V(sum), V(local(1)))
        .pop()
        // the same on a byte, which wraps, and an Int64 temporary into a LongWord
        .pushType(s.t.byteT)
        .assign(V(local(1)), V(local(0)))
        .calc(CalcOp::Multiply, V(local(1)), C(s.t.byteT, u8(3)))
        .calc(CalcOp::Add, V(bytes), V(local(1)))
        .pop()
        .pushType(s.t.int64)
        .assign(V(local(1)), V(local(0)))
        .calc(CalcOp::Shl, V(local(1)), s.I(31))
        .calc(CalcOp::Add, V(wide), V(local(1)))
        .pop()
        .pushType(s.t.longint)
        .assign(V(local(1)), s.I(-1))
        .calc(CalcOp::Subtract, V(local(1)), V(local(0)))
        .calc(CalcOp::Add, V(unsignedSum), V(local(1)))
        .pop()
        .unary(Op::Increment, V(count))
        .unary(Op::Increment, V(local(0)))
        .jump(Op::Jump, "loop")
        .label("done")
        .pop()
        .ret();
    const Outcome out = runThreeWays(s.image(c));
    ASSERT_TRUE(out.result) << out;
    std::int64_t expectSum = 0, expectWide = 0;
    std::uint8_t expectBytes = 0;
    std::uint32_t expectUnsigned = 0;
    for (std::int64_t i = 1; i <= 100; ++i) {
        expectSum += i % 7;
        expectBytes = static_cast<std::uint8_t>(expectBytes + static_cast<std::uint8_t>(i * 3));
        expectWide += i << 31;
        expectUnsigned += static_cast<std::uint32_t>(-1 - i);
    }
    EXPECT_EQ(out.globals, (std::vector<std::string>{std::to_string(expectSum), "100", std::to_string(expectBytes),
                                                     std::to_string(expectWide), std::to_string(expectUnsigned)}));
    EXPECT_EQ(out.stack, 0u);
}

// Runs that only look like the compiler's: the flag or the calculation
// written into another slot than the one just made, a temporary that a host
// routine took away, and a jump into the middle of a run.
TEST(QuickPaths, LookAlikeRunsDoWhatTheirInstructionsSay)
{
    {
        // The compare writes its outcome into local 0, not into the byte
        // just pushed; the flag is tested on local 0.
        Script s;
        const std::uint32_t seen = s.b.var(s.t.longint);
        Code c;
        c.pushType(s.t.longint).assign(V(local(0)), s.I(7));
        branchIf(c, s, CompareOp::Less, s.I(1), s.I(2), 0, "taken");
        c.assign(V(seen), s.I(-1)).ret().label("taken").assign(V(seen), V(local(0))).pop().ret();
        // Local 0 became 1 and the branch was taken.
        const Outcome out = runThreeWays(s.image(c));
        ASSERT_TRUE(out.result) << out;
        EXPECT_EQ(out.globals[0], "1");
    }
    {
        // A calculation goes through local 0, not through the LongInt just
        // pushed: local 0 keeps what it was given.
        Script s;
        const std::uint32_t target = s.b.var(s.t.longint), kept = s.b.var(s.t.longint);
        Code c;
        c.pushType(s.t.longint)
            .assign(V(local(0)), s.I(7))
            .pushType(s.t.longint)
            .assign(V(local(0)), s.I(10))
            .calc(CalcOp::Add, V(local(0)), s.I(5))
            .calc(CalcOp::Add, V(target), V(local(0)))
            .pop()
            .assign(V(kept), V(local(0)))
            .pop()
            .ret();
        const Outcome out = runThreeWays(s.image(c));
        ASSERT_TRUE(out.result) << out;
        EXPECT_EQ(out.globals, (std::vector<std::string>{"15", "15"}));
    }
    {
        // A host routine pops the temporary that the next instructions use.
        Script s;
        const std::uint32_t target = s.b.var(s.t.longint);
        const std::uint32_t popper = s.b.external("POPTOP");
        Code c;
        c.pushType(s.t.longint)
            .pushType(s.t.longint)
            .call(popper)
            .assign(V(local(1)), s.I(5))
            .calc(CalcOp::Add, V(target), V(local(1)))
            .pop()
            .ret();
        const Outcome out = runThreeWays(s.image(c), [](TPSExec& exec) {
            exec.RegisterProcName("POPTOP", [](TPSExec*, TPSExternalProcRec*, TPSStack*, TPSStack* stack) {
                stack->Pop();
                return true;
            });
        });
        EXPECT_FALSE(out.result);
        EXPECT_EQ(out.code, erOutOfGlobalVarsRange);
        EXPECT_EQ(out.position, 15u); // the assign after the call
    }
    {
        // A backward jump lands on the assign inside a push-and-fill run.
        Script s;
        const std::uint32_t value = s.b.var(s.t.longint), flag = s.b.var(s.t.byteT);
        Code c;
        c.pushType(s.t.longint)
            .label("again")
            .assign(V(local(0)), V(value))
            .calc(CalcOp::Add, V(local(0)), s.I(3))
            .assign(V(value), V(local(0)))
            .compare(CompareOp::Less, V(flag), V(value), s.I(20))
            .jumpIf(Op::JumpIfTrue, V(flag), "again")
            .pop()
            .ret();
        const Outcome out = runThreeWays(s.image(c));
        ASSERT_TRUE(out.result) << out;
        EXPECT_EQ(out.globals, (std::vector<std::string>{"21", "0"}));
    }
}

// Failures inside runs are reported at the instruction that fails, with
// the stack as that instruction left it: the flag that does not fit under
// the memory limit, a division by zero through a temporary, an element
// beyond its array.
TEST(QuickPaths, FailuresInsideRunsKeepTheirPlace)
{
    {
        Script s;
        const std::uint32_t seen = s.b.var(s.t.longint);
        Code c;
        c.pushType(s.t.longint); // the stack is full after this one
        branchIf(c, s, CompareOp::Less, s.I(1), s.I(2), 1, "taken");
        c.label("taken").assign(V(seen), s.I(1)).pop().ret();
        const Outcome out = runThreeWays(s.image(c), [](TPSExec& exec) { exec.SetMemoryLimit(24); });
        EXPECT_FALSE(out.result);
        EXPECT_EQ(out.code, erOutOfMemory);
        EXPECT_EQ(out.position, 5u); // the flag's push
        EXPECT_EQ(out.globals[0], "0");
    }
    {
        // x div 0 through a temporary, inside try .. except.
        Script s;
        const std::uint32_t sum = s.b.var(s.t.longint), handled = s.b.var(s.t.longint), divisor = s.b.var(s.t.longint);
        Code c;
        c.assign(V(sum), s.I(10))
            .tryOpen("", "except", "", "end")
            .pushType(s.t.longint)
            .label("divide")
            .assign(V(local(0)), s.I(100))
            .calc(CalcOp::Divide, V(local(0)), V(divisor))
            .calc(CalcOp::Add, V(sum), V(local(0)))
            .pop()
            .tryEnd(TryPart::Try)
            .label("except")
            .assign(V(handled), s.I(1))
            .tryEnd(TryPart::Except)
            .label("end")
            .ret();
        const Outcome out = runThreeWays(s.image(c));
        ASSERT_TRUE(out.result) << out;
        EXPECT_EQ(out.globals, (std::vector<std::string>{"10", "1", "0"}));
        EXPECT_EQ(out.stack, 0u);

        // Left unhandled, the error stands at the division.
        Script bare;
        const std::uint32_t bareSum = bare.b.var(bare.t.longint), zero = bare.b.var(bare.t.longint);
        Code d;
        d.pushType(bare.t.longint)
            .assign(V(local(0)), bare.I(100))
            .calc(CalcOp::Mod, V(local(0)), V(zero))
            .calc(CalcOp::Add, V(bareSum), V(local(0)))
            .pop()
            .ret();
        const Outcome failed = runThreeWays(bare.image(d));
        EXPECT_FALSE(failed.result);
        EXPECT_EQ(failed.code, ErDivideByZero);
        EXPECT_EQ(failed.position, 20u);
        EXPECT_EQ(failed.stack, 1u); // the temporary, where the run stopped
    }
    {
        // a[i] with i one beyond the last element, and with i negative.
        for (std::int32_t index : {3, -1}) {
            Script s;
            const std::uint32_t array = s.b.dynArray(s.t.longint);
            const std::uint32_t a = s.b.var(array), i = s.b.var(s.t.longint), total = s.b.var(s.t.longint);
            const std::uint32_t setLength = s.b.external("SETARRAYLENGTH");
            Code c;
            c.pushType(s.t.longint)
                .assign(V(local(0)), s.I(3))
                .pushType(s.t.pointer)
                .setPointer(V(local(1)), V(a))
                .call(setLength)
                .pop()
                .pop()
                .assign(EV(a, i), s.I(4))
                .calc(CalcOp::Add, V(total), EV(a, i))
                .assign(V(i), s.I(index))
                .calc(CalcOp::Add, V(total), EV(a, i))
                .ret();
            const Outcome out = runThreeWays(s.image(c));
            EXPECT_FALSE(out.result);
            EXPECT_EQ(out.code, ErOutOfRange);
            EXPECT_EQ(out.globals[2], "4");
        }
    }
}

// Texts appended in place stop at the memory limit, the text as it was
// before the append that would pass it.
TEST(QuickPaths, AppendedTextsStopAtTheMemoryLimit)
{
    Script s;
    const std::uint32_t text = s.b.var(s.t.string), appends = s.b.var(s.t.longint), piece = s.b.var(s.t.string);
    Code c;
    c.assign(V(piece), C(s.t.string, testimage::text("0123456789")))
        .label("loop")
        .calc(CalcOp::Add, V(text), C(s.t.string, testimage::text("abcdefghij")))
        .calc(CalcOp::Add, V(text), V(piece))
        .unary(Op::Increment, V(appends))
        .jump(Op::Jump, "loop");
    const Outcome out = runThreeWays(s.image(c), [](TPSExec& exec) { exec.SetMemoryLimit(1000); });
    EXPECT_FALSE(out.result);
    EXPECT_EQ(out.code, erOutOfMemory);
    EXPECT_EQ(out.position, 25u);            // the first append of the round
    EXPECT_EQ(out.globals[0].size(), 1002u); // 1000 characters in quotes
    EXPECT_EQ(out.globals[1], "50");
}

// A request from the host's side makes even an executer without a hook
// call BeforeInstruction, once, before its next instruction.
TEST(QuickPaths, ARequestedCallBeforeTheNextInstruction)
{
    struct Counting : TPSExec
    {
        int calls = 0;
        std::uint32_t at = 0;
        void BeforeInstruction() override
        {
            ++calls;
            at = Position();
        }
    };
    Script s;
    const std::uint32_t n = s.b.var(s.t.longint);
    const std::uint32_t ask = s.b.external("ASK");
    Code c;
    c.pushType(s.t.longint).assign(V(local(0)), s.I(0)).label("loop");
    branchIf(c, s, CompareOp::GreaterEqual, V(local(0)), s.I(50), 1, "done");
    c.unary(Op::Increment, V(local(0))).call(ask).jump(Op::Jump, "loop").label("done").assign(V(n), V(local(0)));
    c.pop().ret();
    Counting exec;
    exec.RegisterProcName("ASK", [](TPSExec* e, TPSExternalProcRec*, TPSStack*, TPSStack*) {
        static int asked = 0;
        if (++asked == 10)
            e->RequestBeforeInstruction();
        return true;
    });
    ASSERT_TRUE(exec.LoadBytecode(s.image(c)));
    ASSERT_TRUE(exec.ExecuteCode());
    EXPECT_EQ(globalOf(exec, n), 50);
    EXPECT_EQ(exec.calls, 1);
    EXPECT_EQ(exec.at, 70u); // the jump after the call
}

// A hook that runs a script procedure between two instructions of a decoded
// run, the procedure growing the stack well beyond what it held: the run
// goes on with the stack's entries where they now are.
TEST(QuickPaths, AHookRunsAProcedureThatGrowsTheStack)
{
    struct Nesting : TPSExec
    {
        std::uint32_t deep = 0;
        int calls = 0;
        bool inside = false, ran = false;
        void BeforeInstruction() override
        {
            if (inside || ++calls != 5)
                return;
            inside = true;
            ran = RunScriptProc({}, deep);
            inside = false;
        }

    protected:
        bool HasInstructionHook() const override { return true; }
    };
    Script s;
    const std::uint32_t n = s.b.var(s.t.longint);
    Code deep;
    for (int i = 0; i < 200; ++i)
        deep.pushType(s.t.longint);
    for (int i = 0; i < 200; ++i)
        deep.pop();
    deep.ret();
    Nesting exec;
    exec.deep = s.b.proc(deep);
    Code c;
    c.pushType(s.t.longint).assign(V(local(0)), s.I(0)).label("loop").unary(Op::Increment, V(local(0)));
    branchIf(c, s, CompareOp::Less, V(local(0)), s.I(20), 1, "loop");
    c.assign(V(n), V(local(0))).pop().ret();
    ASSERT_TRUE(exec.LoadBytecode(s.image(c)));
    ASSERT_TRUE(exec.ExecuteCode()) << ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText());
    EXPECT_TRUE(exec.ran);
    EXPECT_EQ(globalOf(exec, n), 20);
    EXPECT_EQ(exec.Stack().Count(), 0u);
}

// A temporary narrower than the value put in it holds that value in its own
// width before the calculation through it: 300 in a byte is 44, and 44 div 2
// is 22, where 300 div 2 would give 150.
TEST(QuickPaths, ACalculationGoesThroughItsTemporaryInTheTemporarysWidth)
{
    Script s;
    const std::uint32_t big = s.b.var(s.t.longint), sum = s.b.var(s.t.longint);
    Code c;
    c.assign(V(big), s.I(300))
        .pushType(s.t.byteT)
        .assign(V(local(0)), V(big))
        .calc(CalcOp::Divide, V(local(0)), s.I(2))
        .calc(CalcOp::Add, V(sum), V(local(0)))
        .pop()
        .ret();
    const Outcome out = runThreeWays(s.image(c));
    ASSERT_TRUE(out.result) << out;
    EXPECT_EQ(out.globals, (std::vector<std::string>{"300", "22"}));
}
