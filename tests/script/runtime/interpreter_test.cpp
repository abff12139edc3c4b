#include "script/runtime/exec.h"
#include "script/runtime/value_ops.h"
#include "tests/script/runtime/image_builder.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

using namespace testimage;
using ps::BaseType;
using pscode::CalcOp;
using pscode::CompareOp;
using pscode::Op;

namespace {

std::int32_t globalInt(TPSExec& exec, std::size_t n)
{
    return *static_cast<std::int32_t*>(exec.GetGlobalVar(n).data);
}

std::string& globalString(TPSExec& exec, std::size_t n)
{
    return *static_cast<std::string*>(exec.GetGlobalVar(n).data);
}

// An image with the standard types, `globals` LongInt globals and a main
// procedure; more procedures may be added before it.
struct Script
{
    ImageBuilder b;
    StandardTypes t{b};

    explicit Script(int globals = 1)
    {
        for (int i = 0; i < globals; ++i)
            b.var(t.longint);
    }
    std::string I(std::int32_t v) const { return C(t.longint, s32(v)); }
    std::string S(const std::string& v) const { return C(t.string, text(v)); }
    std::string image(const Code& mainBody)
    {
        b.main(b.proc(mainBody));
        return b.image();
    }
};

// fact(n): Result := n * fact(n - 1), 1 for n <= 1.
Code factorial(const Script& s, std::uint32_t self)
{
    const std::uint32_t result = param(0), n = param(1);
    Code c;
    c.pushType(s.t.longint) // local 0: the test
        .compare(CompareOp::LessEqual, V(local(0)), V(n), s.I(1))
        .jumpIf(Op::JumpIfFalse, V(local(0)), "recurse")
        .assign(V(result), s.I(1))
        .jump(Op::Jump, "done")
        .label("recurse")
        .pushType(s.t.longint) // local 1: the inner result
        .pushType(s.t.longint) // local 2: the argument
        .assign(V(local(2)), V(n))
        .calc(CalcOp::Subtract, V(local(2)), s.I(1))
        .pushRef(V(local(1)))
        .call(self)
        .pop()
        .pop()
        .assign(V(result), V(local(1)))
        .calc(CalcOp::Multiply, V(result), V(n))
        .pop()
        .label("done")
        .pop()
        .ret();
    return c;
}

struct ErrorRow
{
    const char* name;
    std::function<Code(const Script&)> body;
    TPSError error;
};

} // namespace

TEST(Interpreter, AssignsAndComputesInPlace)
{
    Script s(0);
    const std::uint32_t i = s.b.var(s.t.longint), by = s.b.var(s.t.byteT), big = s.b.var(s.t.int64),
                        str = s.b.var(s.t.string), w = s.b.var(s.t.wstring), lw = s.b.var(s.t.longword),
                        notted = s.b.var(s.t.longint), inverted = s.b.var(s.t.longint);
    Code c;
    c.assign(V(i), s.I(40))
        .calc(CalcOp::Add, V(i), s.I(2))
        .assign(V(by), C(s.t.byteT, u8(200)))
        .calc(CalcOp::Add, V(by), C(s.t.byteT, u8(100))) // wraps in a byte
        .assign(V(big), C(s.t.int64, u64(0x7FFFFFFFFFFFFFFF)))
        .unary(Op::Increment, V(big)) // wraps to the lowest value
        .assign(V(str), s.S("text"))
        .assign(V(w), C(s.t.wstring, wtext(u"wide")))
        .assign(V(lw), V(i))
        .unary(Op::Negate, V(lw))
        .unary(Op::Negate, s.I(5)) // a constant is left alone
        .op(Op::Nop)
        .push(V(str)) // a copy of its own
        .assign(V(local(0)), s.S("copy"))
        .pop()
        .assign(V(notted), s.I(0))
        .unary(Op::BoolNot, V(notted))
        .assign(V(inverted), s.I(0x0F0F0F0F))
        .unary(Op::BitNot, V(inverted))
        .ret();
    TPSExec exec;
    ASSERT_TRUE(exec.LoadBytecode(s.image(c)));
    ASSERT_TRUE(exec.ExecuteCode()) << ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText());
    EXPECT_EQ(exec.Status(), TPSStatus::Loaded);
    EXPECT_EQ(globalInt(exec, i), 42);
    EXPECT_EQ(*static_cast<std::uint8_t*>(exec.GetGlobalVar(by).data), 44);
    EXPECT_EQ(*static_cast<std::int64_t*>(exec.GetGlobalVar(big).data), INT64_MIN);
    EXPECT_EQ(globalString(exec, str), "text");
    EXPECT_EQ(*static_cast<std::u16string*>(exec.GetGlobalVar(w).data), u"wide");
    EXPECT_EQ(*static_cast<std::uint32_t*>(exec.GetGlobalVar(lw).data), 0xFFFFFFD6u);
    EXPECT_EQ(globalInt(exec, notted), 1);
    EXPECT_EQ(globalInt(exec, inverted), static_cast<std::int32_t>(0xF0F0F0F0));
    EXPECT_EQ(exec.Stack().Count(), 0u);

    // A second run starts from the main procedure again, on the same globals.
    ASSERT_TRUE(exec.ExecuteCode());
    EXPECT_EQ(globalInt(exec, i), 42);
    exec.ResetGlobals();
    EXPECT_EQ(globalInt(exec, i), 0);
    EXPECT_TRUE(globalString(exec, str).empty());
}

TEST(Interpreter, IntegerArithmeticAndComparisonsWrapInTheLeftOperandsWidth)
{
    struct Row
    {
        BaseType leftType;
        std::int64_t left;
        std::uint8_t op;
        BaseType rightType;
        std::int64_t right;
        std::int64_t expected;
        bool compare = false;
    };
    const std::vector<Row> rows = {
        {BaseType::Byte, 200, 0, BaseType::Byte, 100, 44},
        {BaseType::ShortInt, -128, 1, BaseType::ShortInt, 1, 127},
        {BaseType::LongInt, INT32_MIN, 3, BaseType::LongInt, -1, INT32_MIN},
        {BaseType::LongInt, -7, 3, BaseType::LongInt, 2, -3},
        {BaseType::LongInt, -7, 4, BaseType::LongInt, 2, -1},
        {BaseType::LongWord, 0xFFFFFFFF, 3, BaseType::LongInt, 2, 0x7FFFFFFF},
        {BaseType::Int64, INT64_MIN, 3, BaseType::Int64, -1, INT64_MIN},
        {BaseType::Int64, INT64_MIN, 4, BaseType::Int64, -1, 0},
        {BaseType::Byte, 1, 5, BaseType::Byte, 8, 0},
        {BaseType::LongInt, 1, 5, BaseType::LongInt, 33, 2}, // the count is taken modulo 32
        {BaseType::ShortInt, -16, 6, BaseType::Byte, 2, -4}, // widened with its sign, shifted logically
        {BaseType::LongInt, -1, 6, BaseType::LongInt, 28, 15},
        {BaseType::Int64, 1, 5, BaseType::Int64, 40, std::int64_t(1) << 40},
        {BaseType::Word, 0xF0F0, 7, BaseType::Word, 0x0FF0, 0x00F0},
        {BaseType::Word, 0xF0F0, 8, BaseType::Word, 0x0F0F, 0xFFFF},
        {BaseType::Word, 0xFFFF, 9, BaseType::Word, 0x0F0F, 0xF0F0},
        {BaseType::LongInt, -1, 5 /* = */, BaseType::LongWord, 0xFFFFFFFF, 1, true},
        {BaseType::LongWord, 0xFFFFFFFF, 2 /* > */, BaseType::LongInt, 1, 1, true},
        {BaseType::LongInt, -1, 3 /* < */, BaseType::Int64, 0, 1, true},
        {BaseType::Byte, 3, 4 /* <> */, BaseType::LongInt, 259, 1, true}, // compared in 32 bits
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.left << " op " << int(row.op) << " " << row.right);
        ImageBuilder b;
        const std::uint32_t left = b.type(row.leftType), right = b.type(row.rightType), flag = b.type(BaseType::Byte);
        b.var(left);
        b.var(flag);
        const auto value = [](BaseType type, std::int64_t v) {
            const std::string bytes = u64(static_cast<std::uint64_t>(v));
            return bytes.substr(0, ps::fixedValueSize(type));
        };
        Code c;
        c.assign(V(0), C(left, value(row.leftType, row.left)));
        if (row.compare)
            c.compare(CompareOp(row.op), V(1), V(0), C(right, value(row.rightType, row.right)));
        else
            c.calc(CalcOp(row.op), V(0), C(right, value(row.rightType, row.right)));
        b.main(b.proc(c.ret()));
        TPSExec exec;
        ASSERT_TRUE(exec.LoadBytecode(b.image()));
        ASSERT_TRUE(exec.ExecuteCode()) << ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText());
        std::int64_t result = 0;
        const TPSValueRef out = exec.GetGlobalVar(row.compare ? 1 : 0);
        ASSERT_TRUE(GetIntegerValue(out.data, out.type, result));
        EXPECT_EQ(result, row.expected);
    }
}

TEST(Interpreter, SetMembership)
{
    Script s(0);
    const std::uint32_t set = s.b.set(12), inSet = s.b.var(s.t.byteT), outOfSet = s.b.var(s.t.byteT);
    const std::string image = s.image(Code()
                                          .compare(CompareOp::In, V(inSet), s.I(11), C(set, u16(0x0801)))
                                          .compare(CompareOp::In, V(outOfSet), s.I(1), C(set, u16(0x0801)))
                                          .compare(CompareOp::In, V(outOfSet), s.I(12), C(set, u16(0)))
                                          .ret());
    TPSExec exec;
    ASSERT_TRUE(exec.LoadBytecode(image));
    EXPECT_FALSE(exec.ExecuteCode());
    EXPECT_EQ(exec.ExceptionCode(), erOutofRecordRange);
    EXPECT_EQ(*static_cast<std::uint8_t*>(exec.GetGlobalVar(inSet).data), 1);
    EXPECT_EQ(*static_cast<std::uint8_t*>(exec.GetGlobalVar(outOfSet).data), 0);
}

TEST(Interpreter, LoopsWithConditionalJumpsAndTheJumpFlag)
{
    Script s(3);
    const std::uint32_t sum = 0, k = 1, flagCount = 2;
    Code c;
    c.assign(V(k), s.I(1))
        .pushType(s.t.byteT) // local 0: loop test
        .label("loop")
        .compare(CompareOp::LessEqual, V(local(0)), V(k), s.I(10))
        .jumpIf(Op::JumpIfFalse, V(local(0)), "after")
        .calc(CalcOp::Add, V(sum), V(k))
        .unary(Op::Increment, V(k))
        .jump(Op::Jump, "loop")
        .label("after")
        .pop()
        // if not (sum = 55) then skip: the flag is set from the inverted test
        .pushType(s.t.byteT)
        .compare(CompareOp::Equal, V(local(0)), V(sum), s.I(55))
        .setFlag(V(local(0)), true)
        .jump(Op::JumpFlag, "skip")
        .unary(Op::Increment, V(flagCount))
        .label("skip")
        .jumpIf(Op::JumpIfTrue, V(local(0)), "popped")
        .unary(Op::Decrement, V(flagCount))
        .label("popped")
        // 25 and 26 pop before they jump
        .pushType(s.t.longint)
        .pushType(s.t.longint)
        .jump(Op::PopPopJump, "two")
        .label("two")
        .jump(Op::PopJump, "one")
        .label("one")
        .ret();
    TPSExec exec;
    ASSERT_TRUE(exec.LoadBytecode(s.image(c)));
    ASSERT_TRUE(exec.ExecuteCode()) << ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText());
    EXPECT_EQ(globalInt(exec, sum), 55);
    EXPECT_EQ(globalInt(exec, k), 11);
    EXPECT_EQ(globalInt(exec, flagCount), 1);
}

TEST(Interpreter, CallsPassParametersAndResultsThroughTheStack)
{
    Script s;
    const std::uint32_t fact = 0; // the first procedure
    s.b.proc(factorial(s, fact));
    const std::string image =
        s.image(Code().pushType(s.t.longint).assign(V(local(0)), s.I(10)).pushRef(V(0)).call(fact).pop().pop().ret());
    TPSExec exec;
    ASSERT_TRUE(exec.LoadBytecode(image));
    ASSERT_TRUE(exec.ExecuteCode()) << ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText());
    EXPECT_EQ(globalInt(exec, 0), 3628800);

    // The host runs the same function with parameters of its own.
    std::int32_t n = 6, result = 0;
    const TPSTypeRec* longint = exec.GetTypeByNumber(s.t.longint);
    ASSERT_TRUE(exec.RunScriptProc({{&n, longint}, {&result, longint}}, fact));
    EXPECT_EQ(result, 720);
    EXPECT_EQ(exec.Status(), TPSStatus::Loaded);
    EXPECT_EQ(exec.Stack().Count(), 0u);
    EXPECT_FALSE(exec.RunScriptProc({}, 99));
    EXPECT_EQ(exec.ExceptionCode(), erOutOfProcRange);
}

TEST(Interpreter, ProceduralValuesCallScriptProcedures)
{
    Script s;
    const std::uint32_t bump = s.b.proc(Code().unary(Op::Increment, V(0)).ret());
    const std::uint32_t procVar = s.b.var(s.t.proc);
    const std::string image = s.image(
        Code().assign(V(procVar), C(s.t.proc, u32(bump))).callVar(V(procVar)).callVar(C(s.t.proc, u32(bump))).ret());
    TPSExec exec;
    ASSERT_TRUE(exec.LoadBytecode(image));
    ASSERT_TRUE(exec.ExecuteCode()) << ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText());
    EXPECT_EQ(globalInt(exec, 0), 2);
}

namespace {

// Doubles its LongInt parameter into the result reference above it.
bool hostDouble(TPSExec*, TPSExternalProcRec* proc, TPSStack*, TPSStack* stack)
{
    const auto* result = static_cast<TPSPointerValue*>(stack->Items(-1)->data());
    const std::int32_t value = *static_cast<std::int32_t*>(stack->Items(-2)->data());
    *static_cast<std::int32_t*>(result->data) = value * 2 + static_cast<std::int32_t>(proc->ext1);
    return true;
}

bool hostFail(TPSExec*, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    return false;
}

bool hostThrow(TPSExec*, TPSExternalProcRec* proc, TPSStack*, TPSStack*)
{
    switch (proc->ext1) {
    case 0:
        throw EDivByZero("Division by zero");
    case 1:
        throw EZeroDivide("Floating point division by zero");
    case 2:
        throw EMathError("Overflow");
    case 3:
        throw std::runtime_error("boom");
    case 4:
        throw EPSException("raised by the script", 7, 42);
    case 5:
        throw std::bad_alloc();
    default:
        throw 42;
    }
}

struct Notice
{
    int count = 0;
    TPSError code = ErNoError;
    std::string text;
    bool hasObject = false;
};
Notice notice;

void recordNotice(TPSExec*, TPSError code, const std::string& text, const std::exception_ptr& object, std::uint32_t,
                  std::uint32_t)
{
    ++notice.count;
    notice.code = code;
    notice.text = text;
    notice.hasObject = static_cast<bool>(object);
}

} // namespace

TEST(Interpreter, HostRoutinesAndTheirExceptions)
{
    Script s;
    const std::uint32_t twice = s.b.external("TWICE");
    const std::string image =
        s.image(Code().pushType(s.t.longint).assign(V(local(0)), s.I(21)).pushRef(V(0)).call(twice).pop().pop().ret());
    TPSExec exec;
    exec.RegisterProcName("twice", hostDouble, 1);
    ASSERT_TRUE(exec.LoadBytecode(image));
    ASSERT_TRUE(exec.ExecuteCode());
    EXPECT_EQ(globalInt(exec, 0), 43);

    struct Row
    {
        std::uintptr_t kind;
        TPSError code;
        std::string text;
        bool notified;
    };
    const std::vector<Row> rows = {
        {0, ErDivideByZero, "divide by Zero", true},
        {1, ErDivideByZero, "divide by Zero", true},
        {2, ErMathError, "Math error", true},
        {3, erException, "Exception: boom", true},
        {4, erCustomError, "raised by the script", false},
        {5, erOutOfMemory, "Out Of Memory", true},
        {6, erException, "Exception: ", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.kind);
        TPSExec thrower;
        thrower.OnException = recordNotice;
        thrower.RegisterProcName("TWICE", hostThrow, row.kind);
        ASSERT_TRUE(thrower.LoadBytecode(image));
        notice = {};
        EXPECT_FALSE(thrower.ExecuteCode());
        EXPECT_EQ(thrower.Status(), TPSStatus::Paused);
        EXPECT_EQ(thrower.ExceptionCode(), row.code);
        EXPECT_EQ(ErrorCodeToText(thrower.ExceptionCode(), thrower.ExceptionText()), row.text);
        EXPECT_EQ(notice.count, row.notified ? 1 : 0);
        EXPECT_EQ(notice.hasObject, row.notified);
        if (row.kind == 4) {
            EXPECT_EQ(thrower.ExceptionProcNo(), 7u);
            EXPECT_EQ(thrower.ExceptionPos(), 42u);
        }
    }

    TPSExec failing;
    failing.RegisterProcName("TWICE", hostFail);
    ASSERT_TRUE(failing.LoadBytecode(image));
    EXPECT_FALSE(failing.ExecuteCode());
    EXPECT_EQ(failing.ExceptionCode(), erCouldNotCallProc);
    EXPECT_EQ(failing.ExceptionProcNo(), failing.MainProcNo());
}

TEST(Interpreter, PointersAimAtVariablesAndOwnedCopiesStandAlone)
{
    Script s(0);
    const std::uint32_t target = s.b.var(s.t.string), copy = s.b.var(s.t.string), p = s.b.var(s.t.pointer),
                        owned = s.b.var(s.t.pointer);
    const std::string image = s.image(Code()
                                          .assign(V(target), s.S("before"))
                                          .setPointer(V(p), V(target))
                                          .assign(V(p), s.S("through the pointer")) // writes the target
                                          .setPointer(V(owned), V(target), true)
                                          .assign(V(target), s.S("after"))
                                          .assign(V(copy), V(owned))
                                          .pushRef(V(p)) // a reference to the pointer's target
                                          .assign(V(local(0)), s.S("via reference"))
                                          .pop()
                                          .ret());
    TPSExec exec;
    ASSERT_TRUE(exec.LoadBytecode(image));
    ASSERT_TRUE(exec.ExecuteCode()) << ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText());
    EXPECT_EQ(globalString(exec, copy), "through the pointer");
    EXPECT_EQ(globalString(exec, target), "via reference");
    const auto* ownedPointer = static_cast<TPSPointerValue*>(exec.GetGlobalVar(owned).data);
    EXPECT_TRUE(ownedPointer->owned);
    EXPECT_EQ(*static_cast<std::string*>(ownedPointer->data), "through the pointer");
}

TEST(Interpreter, APointerToAPoppedVariableIsNoLongerFollowed)
{
    Script s(0);
    const std::uint32_t p = s.b.var(s.t.pointer), out = s.b.var(s.t.longint);
    const std::uint32_t aim = s.b.proc(Code().pushType(s.t.longint).setPointer(V(p), V(local(0))).pop().ret());
    const std::string image = s.image(Code()
                                          .call(aim)
                                          .pushType(s.t.string) // takes the freed slot's place
                                          .assign(V(out), V(p))
                                          .ret());
    TPSExec exec;
    ASSERT_TRUE(exec.LoadBytecode(image));
    EXPECT_FALSE(exec.ExecuteCode());
    EXPECT_EQ(exec.ExceptionCode(), erNullPointerException);
}

TEST(Interpreter, ElementOperandsReachFieldsAndElements)
{
    Script s(0);
    const std::uint32_t rec = s.b.record({s.t.byteT, s.t.string, s.t.longint});
    const std::uint32_t arr = s.b.staticArray(s.t.longint, 4, 10);
    const std::uint32_t r = s.b.var(rec), a = s.b.var(arr), idx = s.b.var(s.t.byteT), p = s.b.var(s.t.pointer);
    const std::string image = s.image(Code()
                                          .assign(E(r, 1), s.S("field"))
                                          .assign(E(r, 2), s.I(-3))
                                          .assign(E(a, 3), s.I(33))
                                          .assign(V(idx), C(s.t.byteT, u8(1)))
                                          .assign(EV(a, idx), E(r, 2))
                                          .setPointer(V(p), V(r))
                                          .assign(E(p, 0), C(s.t.byteT, u8(9))) // through a pointer to the record
                                          .setPointer(V(p), V(idx))
                                          .assign(EV(a, p), s.I(7)) // index read through a pointer
                                          .ret());
    TPSExec exec;
    ASSERT_TRUE(exec.LoadBytecode(image));
    ASSERT_TRUE(exec.ExecuteCode()) << ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText());
    const auto* record = static_cast<const TPSTypeRec_Record*>(exec.GetTypeByNumber(rec));
    auto* rdata = static_cast<std::byte*>(exec.GetGlobalVar(r).data);
    EXPECT_EQ(*reinterpret_cast<std::uint8_t*>(rdata), 9);
    EXPECT_EQ(*reinterpret_cast<std::string*>(rdata + record->fieldOffsets[1]), "field");
    const auto* elements = static_cast<std::int32_t*>(exec.GetGlobalVar(a).data);
    EXPECT_EQ(elements[1], 7);
    EXPECT_EQ(elements[3], 33);
}

TEST(Interpreter, EveryCheckReportsItsError)
{
    const std::vector<ErrorRow> rows = {
        {"no return at the end", [](const Script& s) { return Code().assign(V(0), s.I(1)); }, ErOutOfRange},
        {"opcode 10", [](const Script&) { return Code().op(Op::Invalid).ret(); }, erInvalidOpcode},
        {"opcode 27", [](const Script&) { return Code().raw(u8(27)).ret(); }, erInvalidOpcode},
        {"opcode 254", [](const Script&) { return Code().raw(u8(254)).ret(); }, erInvalidOpcode},
        {"operand kind 4", [](const Script&) { return Code().assign(V(0), u8(4) + u32(0)).ret(); },
         erInvalidOpcodeParameter},
        {"operand cut short", [](const Script&) { return Code().op(Op::Assign).raw(u8(0) + u16(0)); }, ErOutOfRange},
        {"global out of range", [](const Script& s) { return Code().assign(V(5), s.I(1)).ret(); },
         erOutOfGlobalVarsRange},
        {"stack slot out of range", [](const Script& s) { return Code().assign(V(local(0)), s.I(1)).ret(); },
         erOutOfGlobalVarsRange},
        {"parameter of the main block", [](const Script& s) { return Code().assign(V(param(0)), s.I(1)).ret(); },
         erOutOfGlobalVarsRange},
        {"element base slot out of range", [](const Script& s) { return Code().assign(E(local(3), 0), s.I(1)).ret(); },
         erOutOfStackRange},
        {"element index variable out of range",
         [](const Script& s) { return Code().assign(EV(0, local(3)), s.I(1)).ret(); }, erOutOfStackRange},
        {"element of a plain variable", [](const Script& s) { return Code().assign(E(0, 0), s.I(1)).ret(); },
         erInvalidType},
        {"record field at the field count",
         [](const Script& s) { return Code().pushType(s.t.proc + 1).assign(E(local(0), 2), s.I(1)).ret(); },
         ErOutOfRange},
        {"static array index at the count",
         [](const Script& s) { return Code().pushType(s.t.proc + 2).assign(E(local(0), 3), s.I(1)).ret(); },
         ErOutOfRange},
        {"dynamic array index at the length",
         [](const Script& s) { return Code().pushType(s.t.proc + 3).assign(E(local(0), 0), s.I(1)).ret(); },
         ErOutOfRange},
        {"string as an element index",
         [](const Script& s) {
             return Code().pushType(s.t.string).pushType(s.t.proc + 2).assign(EV(local(1), local(0)), s.I(1)).ret();
         },
         ErTypeMismatch},
        {"index through a pointer without target",
         [](const Script& s) {
             return Code().pushType(s.t.pointer).pushType(s.t.proc + 2).assign(EV(local(1), local(0)), s.I(1)).ret();
         },
         ErTypeMismatch},
        {"assignment to a constant", [](const Script& s) { return Code().assign(s.I(1), s.I(2)).ret(); },
         erInvalidOpcodeParameter},
        {"constant of an unknown type", [](const Script&) { return Code().assign(V(0), C(99, u32(1))).ret(); },
         erInvalidType},
        {"constant of a record type",
         [](const Script& s) { return Code().assign(V(0), C(s.t.proc + 1, u32(1))).ret(); }, erInvalidType},
        {"constant string cut short",
         [](const Script& s) { return Code().assign(V(0), C(s.t.string, u32(100) + "ab")); }, ErOutOfRange},
        {"assignment of a string to an integer", [](const Script& s) { return Code().assign(V(0), s.S("1")).ret(); },
         erException},
        {"pop on an empty stack", [](const Script&) { return Code().pop().ret(); }, erOutOfStackRange},
        {"pop of a return record",
         [](const Script&) { return Code().call(0).ret(); }, // procedure 0 pops its own frame marker
         erOutOfStackRange},
        {"call beyond the procedures", [](const Script&) { return Code().call(50).ret(); }, erOutOfProcRange},
        {"call cut short", [](const Script&) { return Code().op(Op::Call).raw(u16(0)); }, ErOutOfRange},
        {"jump before the code", [](const Script&) { return Code().raw(u8(6) + s32(-100)).ret(); }, ErOutOfRange},
        {"jump past the code", [](const Script&) { return Code().raw(u8(6) + s32(100)).ret(); }, ErOutOfRange},
        {"conditional jump on a string",
         [](const Script& s) { return Code().jumpIf(Op::JumpIfTrue, s.S("x"), "end").label("end").ret(); },
         erInvalidType},
        {"push of an unknown type", [](const Script&) { return Code().pushType(1000).ret(); }, erInvalidType},
        {"calc operator 11", [](const Script& s) { return Code().calc(CalcOp(11), V(0), s.I(1)).ret(); },
         erInvalidOpcodeParameter},
        {"calc operator missing", [](const Script&) { return Code().op(Op::Calc); }, ErOutOfRange},
        {"calc on a constant", [](const Script& s) { return Code().calc(CalcOp::Add, s.I(1), s.I(1)).ret(); },
         erInvalidOpcodeParameter},
        {"division by zero", [](const Script& s) { return Code().calc(CalcOp::Divide, V(0), s.I(0)).ret(); },
         ErDivideByZero},
        {"modulo by zero", [](const Script& s) { return Code().calc(CalcOp::Mod, V(0), s.I(0)).ret(); },
         ErDivideByZero},
        {"compare operator 8", [](const Script& s) { return Code().compare(CompareOp(8), V(0), s.I(1), s.I(1)).ret(); },
         erInvalidOpcodeParameter},
        {"compare into a constant",
         [](const Script& s) { return Code().compare(CompareOp::Equal, s.I(0), s.I(1), s.I(1)).ret(); },
         erInvalidOpcodeParameter},
        {"set flag without its byte", [](const Script&) { return Code().op(Op::SetFlag).raw(V(0)); }, ErOutOfRange},
        {"set flag from a string", [](const Script& s) { return Code().setFlag(s.S("x"), false).ret(); },
         erInvalidType},
        {"pointer aimed from a non-pointer", [](const Script&) { return Code().setPointer(V(0), V(0)).ret(); },
         erInvalidOpcodeParameter},
        {"pointer aimed at a constant",
         [](const Script& s) { return Code().pushType(s.t.pointer).setPointer(V(local(0)), s.I(1)).ret(); },
         erInvalidOpcodeParameter},
        {"aiming pointer inside a record",
         [](const Script& s) { return Code().pushType(s.t.proc + 4).setPointer(E(local(0), 0), V(0)).ret(); },
         erInvalidOpcodeParameter},
        {"owned copy into a non-pointer", [](const Script& s) { return Code().setPointer(V(0), s.I(1), true).ret(); },
         erInvalidOpcodeParameter},
        {"reference to a constant", [](const Script& s) { return Code().pushRef(s.I(1)).ret(); },
         erInvalidOpcodeParameter},
        {"pointer without target",
         [](const Script& s) { return Code().pushType(s.t.pointer).assign(V(local(0)), s.I(1)).ret(); },
         erNullPointerException},
        {"increment of a string",
         [](const Script& s) { return Code().pushType(s.t.string).unary(Op::Increment, V(local(0))).ret(); },
         ErTypeMismatch},
        {"decrement of a constant", [](const Script& s) { return Code().unary(Op::Decrement, s.I(1)).ret(); },
         erInvalidOpcodeParameter},
        {"negation of a string",
         [](const Script& s) { return Code().pushType(s.t.string).unary(Op::Negate, V(local(0))).ret(); },
         ErTypeMismatch},
        {"call through a non-procedural value", [](const Script&) { return Code().callVar(V(0)).ret(); },
         ErTypeMismatch},
        {"call of the main block through a value",
         [](const Script& s) { return Code().callVar(C(s.t.proc, u32(1))).ret(); }, erOutOfProcRange},
        {"end of try without a try", [](const Script&) { return Code().tryEnd(pscode::TryPart::Try).ret(); },
         ErOutOfRange},
        {"end of try without its byte",
         [](const Script&) { return Code().tryOpen("", "", "", "end").label("end").op(Op::TryEnd); }, ErOutOfRange},
        {"try part beyond the code",
         [](const Script&) { return Code().op(Op::TryOpen).raw(u32(1000) + u32(~0u) + u32(~0u) + u32(0)).ret(); },
         ErOutOfRange},
        {"try cut short", [](const Script&) { return Code().op(Op::TryOpen).raw(u32(0)); }, ErOutOfRange},
    };
    for (const ErrorRow& row : rows) {
        SCOPED_TRACE(row.name);
        Script s;
        s.b.record({s.t.byteT, s.t.string}); // proc + 1
        s.b.staticArray(s.t.longint, 3, 1);  // proc + 2
        s.b.dynArray(s.t.longint);           // proc + 3
        s.b.record({s.t.pointer});           // proc + 4
        s.b.proc(Code().pop().ret());        // procedure 0
        TPSExec exec;
        ASSERT_TRUE(exec.LoadBytecode(s.image(row.body(s))));
        EXPECT_FALSE(exec.ExecuteCode());
        EXPECT_EQ(exec.ExceptionCode(), row.error) << ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText());
        EXPECT_EQ(exec.Status(), TPSStatus::Paused);
        exec.Stop();
        EXPECT_EQ(exec.Stack().Count(), 0u);
    }
}

TEST(Interpreter, RunawayRecursionRunsOutOfMemory)
{
    Script s;
    s.b.proc(Code().pushType(s.t.string).call(0).ret());
    TPSExec exec;
    exec.SetMemoryLimit(1 << 20);
    ASSERT_TRUE(exec.LoadBytecode(s.image(Code().call(0).ret())));
    EXPECT_FALSE(exec.ExecuteCode());
    EXPECT_EQ(exec.ExceptionCode(), erOutOfMemory);
    exec.Stop();
    EXPECT_EQ(exec.Stack().Count(), 0u);
}

TEST(Interpreter, AnExternalMainProcedureAndAMissingOneDoNotRun)
{
    TPSExec exec;
    exec.RegisterProcName("HOST", hostFail);
    ImageBuilder external;
    external.main(external.external("HOST"));
    ASSERT_TRUE(exec.LoadBytecode(external.image()));
    EXPECT_FALSE(exec.ExecuteCode());
    EXPECT_EQ(exec.ExceptionCode(), erNoMainProc);
    EXPECT_EQ(exec.Status(), TPSStatus::Loaded);

    ImageBuilder unit;
    unit.proc(Code().ret());
    ASSERT_TRUE(exec.LoadBytecode(unit.image()));
    EXPECT_FALSE(exec.ExecuteCode());
    EXPECT_EQ(exec.ExceptionCode(), ErNoError);

    TPSExec empty;
    EXPECT_FALSE(empty.ExecuteCode());
}

namespace {

int hookCalls = 0;
int pauseAt = 0;

void countAndPause(TPSExec* exec)
{
    if (++hookCalls == pauseAt)
        exec->Pause();
}

bool stopFromHost(TPSExec* exec, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    exec->Stop();
    return true;
}

class SteppingExec : public TPSExec
{
public:
    int steps = 0;
    void BeforeInstruction() override { ++steps; }

protected:
    bool HasInstructionHook() const override { return true; }
};

} // namespace

TEST(Interpreter, TheHookPausesAndARunResumesWhereItStood)
{
    Script s;
    const std::string image = s.image(Code()
                                          .pushType(s.t.longint)
                                          .unary(Op::Increment, V(0))
                                          .unary(Op::Increment, V(0))
                                          .unary(Op::Increment, V(0))
                                          .pop()
                                          .ret());
    TPSExec exec;
    ASSERT_TRUE(exec.LoadBytecode(image));
    hookCalls = 0;
    pauseAt = 3;
    exec.OnRunLine = countAndPause;
    EXPECT_TRUE(exec.ExecuteCode());
    EXPECT_EQ(exec.Status(), TPSStatus::Paused);
    EXPECT_EQ(globalInt(exec, 0), 2); // the instruction after the pause still ran
    EXPECT_EQ(exec.Stack().Count(), 1u);
    EXPECT_TRUE(exec.ExecuteCode());
    EXPECT_EQ(exec.Status(), TPSStatus::Loaded);
    EXPECT_EQ(globalInt(exec, 0), 3);
    EXPECT_EQ(hookCalls, 6);

    // Stopped while paused, the stack is emptied.
    hookCalls = 0;
    EXPECT_TRUE(exec.ExecuteCode());
    EXPECT_EQ(exec.Status(), TPSStatus::Paused);
    exec.Stop();
    EXPECT_EQ(exec.Status(), TPSStatus::Loaded);
    EXPECT_EQ(exec.Stack().Count(), 0u);

    SteppingExec stepping;
    ASSERT_TRUE(stepping.LoadBytecode(image));
    EXPECT_TRUE(stepping.ExecuteCode());
    EXPECT_EQ(stepping.steps, 6);
}

TEST(Interpreter, AHostRoutineStopsTheRun)
{
    Script s;
    const std::uint32_t stop = s.b.external("STOP");
    const std::string image =
        s.image(Code().pushType(s.t.longint).call(stop).unary(Op::Increment, V(0)).unary(Op::Increment, V(0)).ret());
    TPSExec exec;
    exec.RegisterProcName("STOP", stopFromHost);
    ASSERT_TRUE(exec.LoadBytecode(image));
    EXPECT_TRUE(exec.ExecuteCode());
    EXPECT_EQ(exec.Status(), TPSStatus::Loaded);
    EXPECT_EQ(globalInt(exec, 0), 0);
    EXPECT_EQ(exec.Stack().Count(), 0u);
}

namespace {

std::uint32_t nestedProc = 0;

bool runNested(TPSExec* exec, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    return exec->RunScriptProc({}, nestedProc);
}

} // namespace

TEST(Interpreter, AStopInsideAProcedureRunForTheHostEndsTheWholeRun)
{
    Script s;
    const std::uint32_t stop = s.b.external("STOP");
    const std::uint32_t nested = s.b.external("NESTED");
    nestedProc = s.b.proc(Code().unary(Op::Increment, V(0)).call(stop).unary(Op::Increment, V(0)).ret());
    const std::string image = s.image(Code().pushType(s.t.longint).call(nested).unary(Op::Increment, V(0)).pop().ret());
    TPSExec exec;
    exec.RegisterProcName("STOP", stopFromHost);
    exec.RegisterProcName("NESTED", runNested);
    ASSERT_TRUE(exec.LoadBytecode(image));
    EXPECT_TRUE(exec.ExecuteCode()) << ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText());
    EXPECT_EQ(exec.Status(), TPSStatus::Loaded);
    EXPECT_EQ(globalInt(exec, 0), 1);
    EXPECT_EQ(exec.Stack().Count(), 0u);
}

TEST(Interpreter, AnErrorOutsideARunLeavesTheExecuterReadyToRun)
{
    Script s;
    const std::uint32_t refuse = s.b.external("REFUSE");
    const std::string image = s.image(Code().unary(Op::Increment, V(0)).ret());
    TPSExec exec;
    exec.RegisterProcName("REFUSE", hostFail);
    ASSERT_TRUE(exec.LoadBytecode(image));
    ASSERT_TRUE(exec.ExecuteCode());

    EXPECT_FALSE(exec.RunScriptProc({}, 99));
    EXPECT_EQ(exec.ExceptionCode(), erOutOfProcRange);
    EXPECT_EQ(exec.Status(), TPSStatus::Loaded);
    EXPECT_FALSE(exec.RunScriptProc({}, refuse));
    EXPECT_EQ(exec.ExceptionCode(), erCouldNotCallProc);
    EXPECT_EQ(exec.Status(), TPSStatus::Loaded);
    exec.SetError(ErInternalError);
    EXPECT_EQ(exec.Status(), TPSStatus::Loaded);

    // The next run starts afresh from the main procedure.
    EXPECT_TRUE(exec.ExecuteCode()) << ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText());
    EXPECT_EQ(globalInt(exec, 0), 2);

    // A routine that stops the run and then fails: the stop holds.
    Script t;
    const std::uint32_t stopThenFail = t.b.external("STOPFAIL");
    TPSExec stopping;
    stopping.RegisterProcName("STOPFAIL", [](TPSExec* e, TPSExternalProcRec*, TPSStack*, TPSStack*) {
        e->Stop();
        return false;
    });
    ASSERT_TRUE(stopping.LoadBytecode(t.image(Code().pushType(t.t.longint).call(stopThenFail).pop().ret())));
    EXPECT_FALSE(stopping.ExecuteCode());
    EXPECT_EQ(stopping.ExceptionCode(), erCouldNotCallProc);
    EXPECT_EQ(stopping.Status(), TPSStatus::Loaded);
    EXPECT_EQ(stopping.Stack().Count(), 0u);
}

namespace {

std::uint32_t notifiedPosition = 0;

void rememberPosition(TPSExec*, TPSError, const std::string&, const std::exception_ptr&, std::uint32_t,
                      std::uint32_t position)
{
    notifiedPosition = position;
}

} // namespace

// An error the interpreter raises for an instruction is placed at that
// instruction, whatever it read of its operands before it failed: a
// debugger maps the place to the statement the instruction belongs to.
TEST(Interpreter, AnErrorIsPlacedAtTheInstructionThatFailed)
{
    struct Case
    {
        const char* name;
        std::function<void(const Script&, Code&)> fail;
        TPSError error;
    };
    const std::vector<Case> cases = {
        {"division by zero", [](const Script& s, Code& c) { c.calc(CalcOp::Divide, V(0), s.I(0)); }, ErDivideByZero},
        {"a text that is no number", [](const Script& s, Code& c) { c.assign(V(0), s.S("seven")); }, erException},
        {"an invalid opcode", [](const Script&, Code& c) { c.op(Op::Invalid); }, erInvalidOpcode},
        {"a variable beyond the globals", [](const Script&, Code& c) { c.unary(Op::Increment, V(99)); },
         erOutOfGlobalVarsRange},
        {"a host routine that fails", [](const Script&, Code& c) { c.call(0); }, erCouldNotCallProc},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        Script s;
        s.b.external("REFUSE");
        Code failing;
        failing.pushType(s.t.longint).assign(V(local(0)), s.I(1)).unary(Op::Increment, V(0));
        const std::uint32_t at = static_cast<std::uint32_t>(failing.bytes().size());
        test.fail(s, failing);
        failing.unary(Op::Increment, V(0)).pop().ret();
        const std::uint32_t failingProc = s.b.proc(failing);
        const std::string image = s.image(Code().call(failingProc).ret());
        TPSExec exec;
        exec.RegisterProcName("REFUSE", hostFail);
        exec.OnException = rememberPosition;
        ASSERT_TRUE(exec.LoadBytecode(image));
        notifiedPosition = 0;
        EXPECT_FALSE(exec.ExecuteCode());
        EXPECT_EQ(exec.ExceptionCode(), test.error);
        EXPECT_EQ(exec.ExceptionProcNo(), failingProc);
        EXPECT_EQ(exec.ExceptionPos(), at);
        EXPECT_EQ(notifiedPosition, at);
    }
}
