#include "script/runtime/event_bridge.h"
#include "script/runtime/exec.h"
#include "tests/script/runtime/image_builder.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

using namespace testimage;
using pscode::CalcOp;
using pscode::Op;
using pscode::TryPart;

namespace {

// Globals: 0 the trace of digits, 1 a divisor, 2 a dividend.
struct Script
{
    ImageBuilder b;
    StandardTypes t{b};

    Script()
    {
        for (int i = 0; i < 3; ++i)
            b.var(t.longint);
    }
    std::string I(std::int32_t v) const { return C(t.longint, s32(v)); }
    // Appends a digit to the trace.
    Code& mark(Code& c, int digit) const
    {
        return c.calc(CalcOp::Multiply, V(0), I(10)).calc(CalcOp::Add, V(0), I(digit));
    }
    // Fails with "divide by Zero" when the divisor is 0.
    Code& divide(Code& c) const { return c.calc(CalcOp::Divide, V(2), V(1)); }
};

struct Outcome
{
    bool result;
    std::int32_t trace;
    TPSStatus status;
    TPSError error;
};

Outcome run(TPSExec& exec, const std::string& image, std::int32_t divisor)
{
    EXPECT_TRUE(exec.LoadBytecode(image));
    *static_cast<std::int32_t*>(exec.GetGlobalVar(1).data) = divisor;
    const bool result = exec.ExecuteCode();
    return {result, *static_cast<std::int32_t*>(exec.GetGlobalVar(0).data), exec.Status(), exec.ExceptionCode()};
}

Outcome run(const std::string& image, std::int32_t divisor)
{
    TPSExec exec;
    return run(exec, image, divisor);
}

} // namespace

TEST(Unwinding, ThreeNestedFinallyPartsRunInnermostFirst)
{
    Script s;
    Code c;
    c.tryOpen("f1", "", "", "e1").tryOpen("f2", "", "", "e2").tryOpen("f3", "", "", "e3");
    s.mark(c, 1);
    s.divide(c);
    s.mark(c, 9).tryEnd(TryPart::Try).label("f3");
    s.mark(c, 3).tryEnd(TryPart::Finally).label("e3");
    s.mark(c, 5).tryEnd(TryPart::Try).label("f2");
    s.mark(c, 2).tryEnd(TryPart::Finally).label("e2");
    s.mark(c, 6).tryEnd(TryPart::Try).label("f1");
    s.mark(c, 4).tryEnd(TryPart::Finally).label("e1");
    s.mark(c, 7).ret();
    s.b.main(s.b.proc(c));
    const std::string image = s.b.image();

    const Outcome clean = run(image, 1);
    EXPECT_TRUE(clean.result);
    EXPECT_EQ(clean.trace, 19352647);
    EXPECT_EQ(clean.status, TPSStatus::Loaded);

    TPSExec exec;
    const Outcome failed = run(exec, image, 0);
    EXPECT_FALSE(failed.result);
    EXPECT_EQ(failed.trace, 1324);
    EXPECT_EQ(failed.status, TPSStatus::Paused);
    EXPECT_EQ(failed.error, ErDivideByZero);
    EXPECT_EQ(exec.TryDepth(), 0u);
}

namespace {

TPSError seenInExcept = erCustomError;

bool probe(TPSExec* exec, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    seenInExcept = exec->ExceptionCode();
    return true;
}

bool hostRaises(TPSExec*, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    throw std::runtime_error("host failure");
}

// Reports its own failure, as member handlers do, and gives False.
bool hostRefuses(TPSExec* exec, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    exec->SetErrorWithText(erCustomError, "refused");
    return false;
}

} // namespace

TEST(Unwinding, AnExceptPartTakesTheErrorOverAndTheRunGoesOn)
{
    Script s;
    const std::uint32_t probeProc = s.b.external("PROBE");
    Code c;
    c.tryOpen("", "ex", "", "end");
    s.mark(c, 1);
    s.divide(c);
    s.mark(c, 9).tryEnd(TryPart::Try).label("ex").call(probeProc);
    s.mark(c, 2).tryEnd(TryPart::Except).label("end");
    s.mark(c, 3).ret();
    s.b.main(s.b.proc(c));

    TPSExec exec;
    exec.RegisterProcName("PROBE", probe);
    seenInExcept = erCustomError;
    const Outcome handled = run(exec, s.b.image(), 0);
    EXPECT_TRUE(handled.result);
    EXPECT_EQ(handled.trace, 123);
    EXPECT_EQ(handled.status, TPSStatus::Loaded);
    EXPECT_EQ(seenInExcept, ErNoError);
    EXPECT_EQ(exec.TryDepth(), 0u);

    const Outcome clean = run(exec, s.b.image(), 1);
    EXPECT_TRUE(clean.result);
    EXPECT_EQ(clean.trace, 193);
}

TEST(Unwinding, ExceptThenFinallyAndFinallyThenExcept)
{
    Script s;
    Code exceptFirst;
    exceptFirst.tryOpen("", "ex", "fin", "end");
    s.mark(exceptFirst, 1);
    s.divide(exceptFirst);
    exceptFirst.tryEnd(TryPart::Try).label("ex");
    s.mark(exceptFirst, 8).tryEnd(TryPart::Except).label("fin");
    s.mark(exceptFirst, 2).tryEnd(TryPart::SecondFinally).label("end");
    s.mark(exceptFirst, 3).ret();
    s.b.main(s.b.proc(exceptFirst));
    EXPECT_EQ(run(s.b.image(), 1).trace, 123); // the except part is skipped
    const Outcome handled = run(s.b.image(), 0);
    EXPECT_TRUE(handled.result);
    EXPECT_EQ(handled.trace, 1823);

    Script f;
    Code finallyFirst;
    finallyFirst.tryOpen("fin", "ex", "", "end");
    f.mark(finallyFirst, 1);
    f.divide(finallyFirst);
    f.mark(finallyFirst, 9).tryEnd(TryPart::Try).label("fin");
    f.mark(finallyFirst, 2).tryEnd(TryPart::Finally).label("ex");
    f.mark(finallyFirst, 3).tryEnd(TryPart::Except).label("end");
    f.mark(finallyFirst, 4).ret();
    f.b.main(f.b.proc(finallyFirst));
    EXPECT_EQ(run(f.b.image(), 1).trace, 1924);
    const Outcome failed = run(f.b.image(), 0);
    EXPECT_TRUE(failed.result);
    EXPECT_EQ(failed.trace, 1234);
}

TEST(Unwinding, ExitRunsEveryFinallyPartOfItsFrame)
{
    Script s;
    const std::uint32_t p = 0, q = 1;
    Code body;
    body.tryOpen("f1", "", "", "e1").tryOpen("f2", "", "", "e2");
    s.mark(body, 1).ret(); // exit
    s.mark(body, 9).tryEnd(TryPart::Try).label("f2");
    // A finally part that calls a procedure whose own try block ends normally.
    s.mark(body, 2).call(q).tryEnd(TryPart::Finally).label("e2");
    s.mark(body, 8).tryEnd(TryPart::Try).label("f1");
    s.mark(body, 3).tryEnd(TryPart::Finally).label("e1");
    s.mark(body, 7).ret();
    s.b.proc(body);
    Code inner;
    inner.tryOpen("qf", "", "", "qe");
    s.mark(inner, 4).tryEnd(TryPart::Try).label("qf");
    s.mark(inner, 5).tryEnd(TryPart::Finally).label("qe").ret();
    s.b.proc(inner);
    Code mainBody;
    mainBody.pushType(s.t.string).call(p);
    s.mark(mainBody, 6).pop().ret();
    s.b.main(s.b.proc(mainBody));

    TPSExec exec;
    const Outcome outcome = run(exec, s.b.image(), 1);
    EXPECT_TRUE(outcome.result) << ErrorCodeToText(outcome.error, exec.ExceptionText());
    EXPECT_EQ(outcome.trace, 124536);
    EXPECT_EQ(exec.TryDepth(), 0u);
    EXPECT_EQ(exec.Stack().Count(), 0u);
}

namespace {

std::uint32_t notifiedProc = 0;

void rememberProc(TPSExec*, TPSError, const std::string&, const std::exception_ptr&, std::uint32_t procNo,
                  std::uint32_t)
{
    notifiedProc = procNo;
}

} // namespace

TEST(Unwinding, AnErrorInACalleeIsCaughtByTheCallerWithItsStackRestored)
{
    Script s;
    const std::uint32_t raises = s.b.external("RAISES");
    const std::uint32_t refuses = s.b.external("REFUSES");
    Code failing;
    failing.pushType(s.t.longint).pushType(s.t.string);
    s.divide(failing).ret();
    const std::uint32_t fail = s.b.proc(failing);
    const std::uint32_t host = s.b.proc(Code().pushType(s.t.string).call(raises).pop().ret());

    Code c;
    c.pushType(s.t.longint).tryOpen("", "ex", "", "end").pushType(s.t.longint).call(fail);
    s.mark(c, 9).pop().tryEnd(TryPart::Try).label("ex");
    s.mark(c, 1).tryEnd(TryPart::Except).label("end");
    // Twice more: a host routine that reports its own error, then one that
    // raises, called through a script procedure.
    c.tryOpen("", "ex3", "", "end3").call(refuses).tryEnd(TryPart::Try).label("ex3");
    s.mark(c, 2).tryEnd(TryPart::Except).label("end3");
    c.tryOpen("", "ex2", "", "end2").call(host).tryEnd(TryPart::Try).label("ex2");
    s.mark(c, 3).tryEnd(TryPart::Except).label("end2");
    c.assign(V(local(0)), s.I(5)).pop().ret();
    s.b.main(s.b.proc(c));

    TPSExec exec;
    exec.RegisterProcName("RAISES", hostRaises);
    exec.RegisterProcName("REFUSES", hostRefuses);
    exec.OnException = rememberProc;
    const Outcome outcome = run(exec, s.b.image(), 0);
    EXPECT_TRUE(outcome.result) << ErrorCodeToText(outcome.error, exec.ExceptionText());
    EXPECT_EQ(outcome.trace, 123);
    EXPECT_EQ(notifiedProc, host);
    EXPECT_EQ(exec.ExceptionText(), "host failure"); // the text outlives the handled error
    EXPECT_EQ(exec.Stack().Count(), 0u);
}

TEST(Unwinding, AnErrorInAnExceptPartGoesToTheEnclosingBlock)
{
    Script s;
    Code c;
    c.tryOpen("", "outer", "", "outerEnd").tryOpen("", "inner", "", "innerEnd");
    s.divide(c).tryEnd(TryPart::Try).label("inner");
    s.mark(c, 1);
    s.divide(c).tryEnd(TryPart::Except).label("innerEnd");
    s.mark(c, 9).tryEnd(TryPart::Try).label("outer");
    s.mark(c, 2).tryEnd(TryPart::Except).label("outerEnd");
    s.mark(c, 3).ret();
    s.b.main(s.b.proc(c));
    const Outcome outcome = run(s.b.image(), 0);
    EXPECT_TRUE(outcome.result);
    EXPECT_EQ(outcome.trace, 123);
}

namespace {

std::uint32_t failingProc = 0;
bool innerResult = true;
TPSStatus statusAfterInner = TPSStatus::NotLoaded;
TPSError innerError = ErNoError;
std::size_t depthAfterInner = 0;

// Runs a failing script procedure on behalf of the host, behind a barrier.
bool runBehindBarrier(TPSExec* exec, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    exec->PushBarrier();
    innerResult = exec->RunScriptProc({}, failingProc);
    statusAfterInner = exec->Status();
    innerError = exec->ExceptionCode();
    depthAfterInner = exec->TryDepth();
    exec->PopBarrier();
    // The host has dealt with the error.
    exec->HandleException(TPSExec::NoProc, TPSExec::NoProc, ErNoError, {}, nullptr);
    return true;
}

} // namespace

TEST(Unwinding, TheBarrierStopsAnErrorFromReachingTheRunningScript)
{
    Script s;
    const std::uint32_t bridge = s.b.external("BRIDGE");
    Code failing;
    failing.pushType(s.t.string).tryOpen("f", "", "", "e");
    s.divide(failing).tryEnd(TryPart::Try).label("f");
    s.mark(failing, 5).tryEnd(TryPart::Finally).label("e").ret();
    failingProc = s.b.proc(failing);
    const std::uint32_t fine = s.b.proc(Code().ret());

    Code c;
    c.tryOpen("", "ex", "", "end");
    s.mark(c, 1).call(bridge);
    s.mark(c, 2).tryEnd(TryPart::Try).label("ex");
    s.mark(c, 9).tryEnd(TryPart::Except).label("end");
    s.mark(c, 3).ret();
    s.b.main(s.b.proc(c));

    TPSExec exec;
    exec.RegisterProcName("BRIDGE", runBehindBarrier);
    const Outcome outcome = run(exec, s.b.image(), 0);
    EXPECT_TRUE(outcome.result) << ErrorCodeToText(outcome.error, exec.ExceptionText());
    EXPECT_EQ(outcome.trace, 1523); // the procedure's finally ran, the script's except did not
    EXPECT_FALSE(innerResult);
    EXPECT_EQ(innerError, ErDivideByZero);
    EXPECT_EQ(statusAfterInner, TPSStatus::Running);
    EXPECT_EQ(depthAfterInner, 1u); // the script's own try block, the barrier gone
    EXPECT_EQ(exec.Stack().Count(), 0u);

    // Without an error the barrier is still there to remove.
    exec.PushBarrier();
    EXPECT_TRUE(exec.RunScriptProc({}, fine));
    EXPECT_TRUE(exec.PopBarrier());
    EXPECT_FALSE(exec.PopBarrier());
}

TEST(Unwinding, AFinallyPartRunsToItsEndWhateverTryBlocksItHolds)
{
    struct Case
    {
        const char* name;
        std::function<void(const Script&, Code&)> innerBlock;
        std::int32_t trace; // up to the end of the finally part
    };
    // The guarded part fails (trace 1); the finally part (2 on entry, 5 at
    // its end) holds a try block of its own (3 and 4).
    const std::vector<Case> cases = {
        {"try .. except that nothing raises",
         [](const Script& s, Code& c) {
             c.tryOpen("", "ex", "", "end");
             s.mark(c, 3).tryEnd(TryPart::Try).label("ex");
             s.mark(c, 8).tryEnd(TryPart::Except).label("end");
         },
         1235},
        {"try .. finally",
         [](const Script& s, Code& c) {
             c.tryOpen("fin", "", "", "end");
             s.mark(c, 3).tryEnd(TryPart::Try).label("fin");
             s.mark(c, 4).tryEnd(TryPart::Finally).label("end");
         },
         12345},
        {"try .. finally .. except that nothing raises",
         [](const Script& s, Code& c) {
             c.tryOpen("fin", "ex", "", "end");
             s.mark(c, 3).tryEnd(TryPart::Try).label("fin");
             s.mark(c, 4).tryEnd(TryPart::Finally).label("ex");
             s.mark(c, 8).tryEnd(TryPart::Except).label("end");
         },
         12345},
        {"try .. except that handles an error of its own",
         [](const Script& s, Code& c) {
             c.tryOpen("", "ex", "", "end");
             s.mark(c, 3);
             s.divide(c);
             s.mark(c, 9).tryEnd(TryPart::Try).label("ex");
             s.mark(c, 4).tryEnd(TryPart::Except).label("end");
         },
         12345},
    };
    for (const Case& testCase : cases) {
        for (const bool outerExcept : {false, true}) {
            SCOPED_TRACE(std::string(testCase.name) + (outerExcept ? ", then an except part" : ""));
            Script s;
            Code c;
            c.tryOpen("f1", outerExcept ? "ex1" : "", "", "e1");
            s.mark(c, 1);
            s.divide(c);
            s.mark(c, 9).tryEnd(TryPart::Try).label("f1");
            s.mark(c, 2);
            testCase.innerBlock(s, c);
            s.mark(c, 5).tryEnd(TryPart::Finally).label("ex1");
            s.mark(c, 6).tryEnd(TryPart::Except).label("e1");
            s.mark(c, 7).ret();
            s.b.main(s.b.proc(c));
            TPSExec exec;
            const Outcome outcome = run(exec, s.b.image(), 0);
            // The error of the guarded part goes on once the finally part is
            // over: to the except part, or out of the run.
            EXPECT_EQ(outcome.result, outerExcept);
            EXPECT_EQ(outcome.trace, outerExcept ? testCase.trace * 100 + 67 : testCase.trace);
            EXPECT_EQ(outcome.status, outerExcept ? TPSStatus::Loaded : TPSStatus::Paused);
            EXPECT_EQ(outcome.error, outerExcept ? ErNoError : ErDivideByZero);
            EXPECT_EQ(exec.TryDepth(), 0u);
        }
    }
}

namespace {

// What the host hands an event handler and how it treats a failure.
struct EventHost
{
    std::uint32_t handler = 0;
    TPSValueRef argument;
    bool catchFailure = false;
    int notified = 0;
};
EventHost eventHost;

bool fireEvent(TPSExec* exec, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    try {
        CallScriptProcMethod(ScriptProcMethod(exec, eventHost.handler), {eventHost.argument});
    } catch (const std::exception&) {
        if (!eventHost.catchFailure)
            throw;
    }
    return true;
}

void countNotice(TPSExec*, TPSError, const std::string&, const std::exception_ptr&, std::uint32_t, std::uint32_t)
{
    ++eventHost.notified;
}

struct EventCase
{
    const char* name;
    bool argumentConverts; // else the handler's body fails
    bool exceptPart;       // else a finally part guards the call
    bool hostCatches;
    std::int32_t trace;
    bool result;
};

} // namespace

// An event handler's failure is raised once, to the host routine that fired
// the event; the script around that routine sees it as any host failure,
// whether the handler's argument did not convert or its body failed.
TEST(Unwinding, AFailingEventCallReachesTheScriptOnceThroughItsHost)
{
    const EventCase cases[] = {
        {"argument, finally", false, false, false, 12, false},
        {"argument, except", false, true, false, 123, true},
        {"argument, caught by the host", false, false, true, 1923, true},
        {"body, finally", true, false, false, 152, false},
        {"body, except", true, true, false, 1523, true},
        {"body, caught by the host", true, false, true, 15923, true},
    };
    for (const EventCase& test : cases) {
        SCOPED_TRACE(test.name);
        Script s;
        const std::uint32_t fire = s.b.external("FIRE");
        Code handler;
        handler.tryOpen("hf", "", "", "he");
        s.divide(handler).tryEnd(TryPart::Try).label("hf");
        s.mark(handler, 5).tryEnd(TryPart::Finally).label("he").ret();
        const std::uint32_t handlerProc = s.b.proc(handler, "HANDLER", "-1 @" + std::to_string(s.t.longint));
        Code c;
        c.tryOpen(test.exceptPart ? "" : "guard", test.exceptPart ? "guard" : "", "", "end");
        s.mark(c, 1).call(fire);
        s.mark(c, 9).tryEnd(TryPart::Try).label("guard");
        s.mark(c, 2).tryEnd(test.exceptPart ? TryPart::Except : TryPart::Finally).label("end");
        s.mark(c, 3).ret();
        s.b.main(s.b.proc(c));

        TPSExec exec;
        exec.RegisterProcName("FIRE", fireEvent);
        exec.OnException = countNotice;
        std::int32_t number = 7;
        std::string text = "seven";
        eventHost = {handlerProc, {}, test.hostCatches, 0};
        ASSERT_TRUE(exec.LoadBytecode(s.b.image()));
        eventHost.argument = test.argumentConverts ? TPSValueRef{&number, exec.GetTypeByNumber(s.t.longint)}
                                                   : TPSValueRef{&text, exec.GetTypeByNumber(s.t.string)};
        const bool result = exec.ExecuteCode();
        const Outcome outcome{result, *static_cast<std::int32_t*>(exec.GetGlobalVar(0).data), exec.Status(),
                              exec.ExceptionCode()};
        EXPECT_EQ(outcome.trace, test.trace);
        EXPECT_EQ(outcome.result, test.result) << ErrorCodeToText(outcome.error, exec.ExceptionText());
        // Told once inside the call, and once more when it reaches the script.
        EXPECT_EQ(eventHost.notified, test.hostCatches ? 1 : 2);
        EXPECT_EQ(exec.TryDepth(), 0u);
        EXPECT_EQ(exec.Stack().Count(), 0u);
        if (!test.result) {
            // The exception behind the failure reaches the host, and through
            // it the script, as it was raised.
            EXPECT_EQ(outcome.error, test.argumentConverts ? ErDivideByZero : erException);
            EXPECT_EQ(exec.ExceptionText(), test.argumentConverts ? "Division by zero" : "Type Mismatch");
        }
    }
}
