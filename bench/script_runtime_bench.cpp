// Instructions per second through the interpreter's loop: a loop of
// compares, jumps and arithmetic, and a loop that calls a small procedure.

#include "script/runtime/exec.h"
#include "tests/script/runtime/image_builder.h"

#include <benchmark/benchmark.h>

using namespace testimage;
using pscode::CalcOp;
using pscode::CompareOp;
using pscode::Op;

namespace {

// A main procedure that runs body once for each k from 0 to count - 1,
// with four instructions of its own a round.
void loopMain(ImageBuilder& b, const StandardTypes& t, std::int32_t count, const Code& body)
{
    const std::uint32_t k = b.var(t.longint);
    Code c;
    c.assign(V(k), C(t.longint, s32(0)))
        .pushType(t.byteT) // local 0: the loop test
        .label("loop")
        .compare(CompareOp::Less, V(local(0)), V(k), C(t.longint, s32(count)))
        .jumpIf(Op::JumpIfFalse, V(local(0)), "after")
        .raw(body.bytes())
        .unary(Op::Increment, V(k))
        .jump(Op::Jump, "loop")
        .label("after")
        .pop()
        .ret();
    b.main(b.proc(c));
}

// Two arithmetic instructions a round, six with the loop's.
std::string countingLoop(std::int32_t count)
{
    ImageBuilder b;
    StandardTypes t(b);
    const std::uint32_t sum = b.var(t.longint);
    Code body;
    body.calc(CalcOp::Add, V(sum), C(t.longint, s32(3))).calc(CalcOp::Xor, V(sum), C(t.longint, s32(0x55)));
    loopMain(b, t, count, body);
    return b.image();
}

// A call of a procedure that doubles its var parameter a round: six
// instructions with the procedure's own, ten with the loop's.
std::string callingLoop(std::int32_t count)
{
    ImageBuilder b;
    StandardTypes t(b);
    const std::uint32_t value = b.var(t.longint);
    Code twice;
    twice.calc(CalcOp::Multiply, V(param(0)), C(t.longint, s32(2))).ret();
    const std::uint32_t callee = b.proc(twice);
    Code body;
    body.assign(V(value), C(t.longint, s32(1))).pushRef(V(value)).call(callee).pop();
    loopMain(b, t, count, body);
    return b.image();
}

void run(benchmark::State& state, const std::string& image, std::int64_t instructionsPerRound)
{
    TPSExec exec;
    if (!exec.LoadBytecode(image)) {
        state.SkipWithError("image refused");
        return;
    }
    for (auto _ : state) {
        if (!exec.ExecuteCode()) {
            state.SkipWithError("run failed");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * instructionsPerRound);
}

void BM_CountingLoop(benchmark::State& state)
{
    run(state, countingLoop(static_cast<std::int32_t>(state.range(0))), 6);
}
BENCHMARK(BM_CountingLoop)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_CallingLoop(benchmark::State& state)
{
    run(state, callingLoop(static_cast<std::int32_t>(state.range(0))), 10);
}
BENCHMARK(BM_CallingLoop)->Arg(300000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
