// Images built to nest without end: types in types, values in values, runs
// in runs. Each is refused or stopped with an error instead of taking the
// native stack down.

#include "script/runtime/event_bridge.h"
#include "script/runtime/exec.h"
#include "tests/script/common/stack_thread.h"
#include "tests/script/runtime/image_builder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using namespace testimage;
using ps::BaseType;
using pscode::CalcOp;
using pscode::CompareOp;
using pscode::Op;

namespace {

constexpr std::uint32_t kMaxDepth = ps::image::MaxTypeDepth;

// A chain of types, each holding the one before it; a global of the last.
std::string chainImage(std::uint32_t length, const std::function<std::uint32_t(ImageBuilder&, std::uint32_t)>& wrap)
{
    ImageBuilder b;
    std::uint32_t type = b.type(BaseType::AnsiString);
    for (std::uint32_t i = 1; i < length; ++i)
        type = wrap(b, type);
    b.var(type);
    b.main(b.proc(Code().ret()));
    return b.image();
}

// Loops count times over body, with a LongInt counter and a Boolean flag
// that the caller declares as globals.
Code& loop(Code& c, std::uint32_t counter, std::uint32_t flag, std::uint32_t longint, std::int32_t count,
           const std::function<void(Code&)>& body)
{
    c.label("top");
    body(c);
    c.calc(CalcOp::Add, V(counter), C(longint, s32(1)));
    c.compare(CompareOp::Less, V(flag), V(counter), C(longint, s32(count)));
    return c.jumpIf(Op::JumpIfTrue, V(flag), "top");
}

// Calls SETARRAYLENGTH(array, length) as the compiler lays the call out.
Code& setLength(Code& c, const StandardTypes& t, std::uint32_t setLengthProc, std::uint32_t array, std::int32_t length)
{
    c.pushType(t.longint).assign(V(local(0)), C(t.longint, s32(length)));
    c.pushType(t.pointer).setPointer(V(local(1)), V(array));
    return c.call(setLengthProc).pop().pop();
}

// Runs body on a thread with a small stack (1 MB unless told), as a host
// may give the thread its scripts run on: what recursion a walk needs
// shows early.
void onSmallStack(const std::function<void()>& body, std::size_t stackBytes = std::size_t(1) << 20)
{
    runOnStackOf(stackBytes, body);
}

} // namespace

TEST(Limits, TypesNestNoDeeperThanTheBound)
{
    const auto record = [](ImageBuilder& b, std::uint32_t inner) { return b.record({inner}); };
    const auto dynArray = [](ImageBuilder& b, std::uint32_t inner) { return b.dynArray(inner); };
    const auto staticArray = [](ImageBuilder& b, std::uint32_t inner) { return b.staticArray(inner, 1, 0); };
    struct Case
    {
        const char* name;
        std::function<std::uint32_t(ImageBuilder&, std::uint32_t)> wrap;
        TPSError refused;
    };
    const Case cases[] = {
        {"records", record, ErOutOfRange},
        {"dynamic arrays", dynArray, ErTypeMismatch},
        {"static arrays", staticArray, ErTypeMismatch},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        // The deepest chain loads, and its global is made and released, on
        // a small stack too.
        onSmallStack([&] {
            TPSExec exec;
            ASSERT_TRUE(exec.LoadBytecode(chainImage(kMaxDepth, test.wrap)));
            EXPECT_TRUE(exec.ExecuteCode());
            exec.Clear();
            EXPECT_FALSE(exec.LoadBytecode(chainImage(kMaxDepth + 1, test.wrap)));
            EXPECT_EQ(exec.ExceptionCode(), test.refused);
        });
    }
    // A hundred thousand records deep, as a damaged image may hold them.
    TPSExec exec;
    EXPECT_FALSE(exec.LoadBytecode(chainImage(100000, record)));
    EXPECT_EQ(exec.ExceptionCode(), ErOutOfRange);
}

// An array whose only element owns a copy of the array before it: a chain
// of blocks as long as the loop runs, released without recursion.
TEST(Limits, ALongChainOfBlocksIsReleased)
{
    ImageBuilder b;
    StandardTypes t(b);
    const std::uint32_t pointers = b.dynArray(t.pointer);
    const std::uint32_t arr = b.var(pointers), tmp = b.var(pointers), i = b.var(t.longint), flag = b.var(t.byteT);
    const std::uint32_t setLengthProc = b.external("SETARRAYLENGTH");
    Code c;
    loop(c, i, flag, t.longint, 20000, [&](Code& body) {
        body.assign(V(tmp), V(arr));
        setLength(body, t, setLengthProc, arr, 1);
        body.setPointer(E(arr, 0), V(tmp), true);
    });
    b.main(b.proc(c.ret()));
    const std::string image = b.image();
    onSmallStack([&] {
        TPSExec exec;
        ASSERT_TRUE(exec.LoadBytecode(image));
        EXPECT_TRUE(exec.ExecuteCode()) << ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText());
        exec.Clear();
    });
}

// A record that owns a copy of itself, again and again: each copy copies
// the chain so far, and a chain deeper than a type may nest is refused.
TEST(Limits, OwnedCopiesNestNoDeeperThanTheBound)
{
    ImageBuilder b;
    StandardTypes t(b);
    const std::uint32_t holder = b.record({t.pointer, t.longint});
    const std::uint32_t r = b.var(holder), i = b.var(t.longint), flag = b.var(t.byteT);
    Code c;
    loop(c, i, flag, t.longint, 2 * kMaxDepth, [&](Code& body) { body.setPointer(E(r, 0), V(r), true); });
    b.main(b.proc(c.ret()));
    TPSExec exec;
    ASSERT_TRUE(exec.LoadBytecode(b.image()));
    EXPECT_FALSE(exec.ExecuteCode());
    EXPECT_EQ(exec.ExceptionCode(), erOutOfMemory);
    EXPECT_EQ(*static_cast<std::int32_t*>(exec.GetGlobalVar(i).data), std::int32_t(kMaxDepth + 1));
}

// v := [v], over and over.
TEST(Limits, VariantArraysNestNoDeeperThanTheBound)
{
    ImageBuilder b;
    StandardTypes t(b);
    const std::uint32_t variant = b.type(BaseType::Variant);
    const std::uint32_t variants = b.dynArray(variant);
    const std::uint32_t v = b.var(variant), arr = b.var(variants), i = b.var(t.longint), flag = b.var(t.byteT);
    const std::uint32_t setLengthProc = b.external("SETARRAYLENGTH");
    Code c;
    setLength(c, t, setLengthProc, arr, 1);
    loop(c, i, flag, t.longint, 100000, [&](Code& body) { body.assign(E(arr, 0), V(v)).assign(V(v), V(arr)); });
    b.main(b.proc(c.ret()));
    TPSExec exec;
    ASSERT_TRUE(exec.LoadBytecode(b.image()));
    EXPECT_FALSE(exec.ExecuteCode());
    EXPECT_EQ(exec.ExceptionCode(), erOutOfMemory);
    EXPECT_EQ(*static_cast<std::int32_t*>(exec.GetGlobalVar(i).data), std::int32_t(kMaxDepth));
    exec.Clear();
}

namespace {

std::uint32_t selfFiringHandler = 0;
std::uint32_t deepestRun = 0;
std::uint32_t runs = 0;

// Fires the event whose handler calls this routine again.
bool fireAgain(TPSExec* exec, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    deepestRun = std::max(deepestRun, ++runs);
    struct Leave
    {
        ~Leave() { --runs; }
    } leave;
    CallScriptProcMethod(ScriptProcMethod(exec, selfFiringHandler), {});
    return true;
}

} // namespace

TEST(Limits, RunsForTheHostNestNoDeeperThanTheBound)
{
    ImageBuilder b;
    StandardTypes t(b);
    b.var(t.longint);
    const std::uint32_t fire = b.external("FIRE");
    selfFiringHandler = b.proc(Code().call(fire).ret(), "HANDLER", "-1");
    b.main(b.proc(Code().call(fire).ret()));
    const std::string image = b.image();
    // As deep as runs may nest, they fit a small stack (in a build that
    // checks every access each run takes some 10 KB of it).
    onSmallStack(
        [&] {
            TPSExec exec;
            exec.RegisterProcName("FIRE", fireAgain);
            ASSERT_TRUE(exec.LoadBytecode(image));
            deepestRun = runs = 0;
            EXPECT_FALSE(exec.ExecuteCode());
            // The innermost run is refused; each one around it fails in turn.
            EXPECT_EQ(deepestRun, TPSExec::MaxNestedRuns + 1);
            EXPECT_EQ(exec.ExceptionCode(), erCustomError);
            EXPECT_EQ(exec.ExceptionText(), "Out Of Memory");
            EXPECT_EQ(exec.TryDepth(), 0u);
            // Nothing of the nested runs is left behind: the next run goes as deep.
            exec.Stop();
            deepestRun = 0;
            EXPECT_FALSE(exec.ExecuteCode());
            EXPECT_EQ(deepestRun, TPSExec::MaxNestedRuns + 1);
        },
        std::size_t(2) << 20);
}

// s := s + s, again and again: the text stops growing at the memory limit,
// for either width and inside a Variant.
TEST(Limits, TextsGrowNoLargerThanTheMemoryLimit)
{
    constexpr std::size_t limit = 1 << 20;
    for (const BaseType kind : {BaseType::AnsiString, BaseType::UnicodeString, BaseType::Variant}) {
        SCOPED_TRACE(int(kind));
        ImageBuilder b;
        StandardTypes t(b);
        const std::uint32_t s = b.var(b.type(kind)), i = b.var(t.longint), flag = b.var(t.byteT);
        Code c;
        c.assign(V(s), C(t.string, text("ab")));
        // Far beyond the limit, yet within what this machine holds.
        loop(c, i, flag, t.longint, 24, [&](Code& body) { body.calc(CalcOp::Add, V(s), V(s)); });
        b.main(b.proc(c.ret()));
        TPSExec exec;
        exec.SetMemoryLimit(limit);
        ASSERT_TRUE(exec.LoadBytecode(b.image()));
        EXPECT_FALSE(exec.ExecuteCode());
        EXPECT_EQ(exec.ExceptionCode(), erOutOfMemory);
        EXPECT_EQ(ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText()), "Out Of Memory");
        EXPECT_EQ(*static_cast<std::int32_t*>(exec.GetGlobalVar(i).data), kind == BaseType::UnicodeString ? 18 : 19);
    }
}

// An array of arrays that all share one array becomes a Variant of a
// Variant per element of each: the count, not the memory the arrays hold,
// is what the memory limit meets. A Variant array turned into an array of
// large elements meets it too.
TEST(Limits, ArraysAndVariantsConvertWithinTheMemoryLimit)
{
    ImageBuilder b;
    StandardTypes t(b);
    const std::uint32_t variant = b.type(BaseType::Variant);
    const std::uint32_t bytes = b.dynArray(t.byteT);
    const std::uint32_t shared = b.staticArray(bytes, 1000, 0);
    const std::uint32_t large = b.dynArray(b.staticArray(t.longint, 1000, 0));
    const std::uint32_t d = b.var(bytes), s = b.var(shared), v = b.var(variant), l = b.var(large);
    const std::uint32_t i = b.var(t.longint), flag = b.var(t.byteT);
    const std::uint32_t setLengthProc = b.external("SETARRAYLENGTH");
    Code toVariant;
    setLength(toVariant, t, setLengthProc, d, 1000);
    loop(toVariant, i, flag, t.longint, 1000, [&](Code& body) { body.assign(EV(s, i), V(d)); });
    toVariant.assign(V(v), V(s)).ret();
    const std::uint32_t toVariantProc = b.proc(toVariant);
    const std::uint32_t fromVariantProc = b.proc(Code().assign(V(v), V(d)).assign(V(l), V(v)).ret());
    b.main(b.proc(Code().ret()));
    TPSExec exec;
    exec.SetMemoryLimit(1 << 20);
    ASSERT_TRUE(exec.LoadBytecode(b.image()));
    EXPECT_FALSE(exec.RunScriptProc({}, toVariantProc));
    EXPECT_EQ(exec.ExceptionCode(), erOutOfMemory);
    EXPECT_EQ(*static_cast<std::int32_t*>(exec.GetGlobalVar(i).data), 1000);
    EXPECT_FALSE(exec.RunScriptProc({}, fromVariantProc));
    EXPECT_EQ(exec.ExceptionCode(), erOutOfMemory);
}

// An array whose element owns a copy of the array, which shares its block:
// the two blocks hold each other, and the executer frees them when it is
// cleared (a leak checker sees it if not).
TEST(Limits, BlocksThatHoldEachOtherGoWithTheExecuter)
{
    ImageBuilder b;
    StandardTypes t(b);
    const std::uint32_t pointers = b.dynArray(t.pointer);
    const std::uint32_t arr = b.var(pointers), i = b.var(t.longint), flag = b.var(t.byteT);
    const std::uint32_t setLengthProc = b.external("SETARRAYLENGTH");
    Code c;
    loop(c, i, flag, t.longint, 100, [&](Code& body) {
        setLength(body, t, setLengthProc, arr, 2);
        body.setPointer(E(arr, 0), V(arr), true).setPointer(E(arr, 1), V(arr), true);
    });
    b.main(b.proc(c.ret()));
    TPSExec exec;
    ASSERT_TRUE(exec.LoadBytecode(b.image()));
    EXPECT_TRUE(exec.ExecuteCode()) << ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText());
    ASSERT_TRUE(exec.LoadBytecode(b.image())); // clears first
    EXPECT_TRUE(exec.ExecuteCode());
}

// A value of a type that has no constants is refused before anything is
// made for it: a constant operand or an attribute value of a large static
// array costs nothing, and is no more than the image says it is.
TEST(Limits, NothingIsMadeForAConstantOfATypeWithoutConstants)
{
    ImageBuilder b;
    StandardTypes t(b);
    const std::uint32_t large = b.staticArray(t.longint, 1 << 20, 0); // 4 MB
    const std::uint32_t v = b.var(t.longint);
    b.typeAttributes(u32(1) + text("BIG") + u32(1) + u32(large));
    b.main(b.proc(Code().assign(V(v), C(large, "")).ret()));
    const std::string image = b.image();

    TPSExec exec;
    exec.SetMemoryLimit(1 << 20);
    EXPECT_FALSE(exec.LoadBytecode(image));
    EXPECT_EQ(exec.ExceptionCode(), erInvalidType);

    // Without the attribute the image loads; the constant fails as it runs.
    ImageBuilder plain;
    StandardTypes pt(plain);
    const std::uint32_t plainLarge = plain.staticArray(pt.longint, 1 << 20, 0);
    const std::uint32_t w = plain.var(pt.longint);
    plain.main(plain.proc(Code().assign(V(w), C(plainLarge, "")).ret()));
    ASSERT_TRUE(exec.LoadBytecode(plain.image()));
    EXPECT_FALSE(exec.ExecuteCode());
    EXPECT_EQ(exec.ExceptionCode(), erInvalidType);
}

// A copy takes time by the bytes it copies: values that are only bytes go
// in one block, and values of no size cost nothing however many elements
// they claim. Copied, made or released element by element, each of the
// nested arrays below would take days. A large array of records copies
// whole, and a copy onto itself changes nothing.
TEST(Limits, CopiesTakeTimeByTheBytesCopied)
{
    constexpr std::uint32_t most = 0x1FFFFFFF; // the most elements an image may give
    const auto nested = [](ImageBuilder& b, std::uint32_t inner) {
        return b.staticArray(b.staticArray(inner, most, 0), most, 0);
    };
    struct Case
    {
        const char* name;
        std::function<std::uint32_t(ImageBuilder&, const StandardTypes&)> type;
    };
    const Case cases[] = {
        {"empty sets", [&](ImageBuilder& b, const StandardTypes&) { return nested(b, b.set(0)); }},
        {"records of empty sets",
         [&](ImageBuilder& b, const StandardTypes&) {
             return nested(b, b.record({b.set(0), b.set(0)}));
         }},
        {"arrays of no texts",
         [&](ImageBuilder& b, const StandardTypes& t) { return nested(b, b.staticArray(t.string, 0, 1)); }},
        {"records with padding",
         [](ImageBuilder& b, const StandardTypes& t) {
             return b.staticArray(b.record({t.byteT, t.longint, t.byteT}), 150000, 0);
         }},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        ImageBuilder b;
        StandardTypes t(b);
        const std::uint32_t type = test.type(b, t);
        const std::uint32_t a = b.var(type), copy = b.var(type), i = b.var(t.longint), flag = b.var(t.byteT);
        Code c;
        loop(c, i, flag, t.longint, 20, [&](Code& body) {
            body.assign(V(copy), V(a)).assign(V(a), V(a)).push(V(copy)).pop().pushType(type).pop();
        });
        b.main(b.proc(c.ret()));
        TPSExec exec;
        exec.SetMemoryLimit(std::size_t(8) << 20);
        ASSERT_TRUE(exec.LoadBytecode(b.image()));
        // The last element's middle field, where the run copies it from.
        const TPSValueRef from = exec.GetGlobalVar(a), to = exec.GetGlobalVar(copy);
        const auto* array = static_cast<const TPSTypeRec_StaticArray*>(from.type);
        const auto* record = dynamic_cast<const TPSTypeRec_Record*>(array->elementType);
        std::int32_t* field = nullptr;
        if (record && array->elementCount > 0) {
            const std::size_t at = std::size_t(array->elementCount - 1) * record->realSize + record->fieldOffsets[1];
            field = reinterpret_cast<std::int32_t*>(static_cast<std::byte*>(from.data) + at);
            *field = 41;
        }
        EXPECT_TRUE(exec.ExecuteCode()) << ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText());
        EXPECT_EQ(std::memcmp(from.data, to.data, from.type->realSize), 0);
        if (field) {
            const std::size_t at = reinterpret_cast<std::byte*>(field) - static_cast<std::byte*>(from.data);
            EXPECT_EQ(*reinterpret_cast<std::int32_t*>(static_cast<std::byte*>(to.data) + at), 41);
        }
    }
}
