// The interpreter's quick paths: decoded entries run as long as the values
// they meet are of the kinds they know. Each quick path does exactly what
// the byte-reading interpreter does for those values; it never reports an
// error. Whatever it does not know, or what would fail, it leaves undone
// and hands to the byte-reading interpreter, which reads the instruction
// afresh and reports what there is to report.

#include "script/common/integer_calc.h"
#include "script/common/numbers.h"
#include "script/runtime/decoded_code.h"
#include "script/runtime/exec.h"
#include "script/runtime/value_ops.h"

#include <iterator>

using ps::BaseType;
using pscode::CalcOp;
using pscode::CompareOp;

// The quick paths are small and run in the loop itself. Unoptimised, each
// copy would keep its own locals in the loop's frame, which would then be
// too large for runs nested in host calls: there they stay calls.
#ifdef __OPTIMIZE__
#define QUICK [[gnu::always_inline]] inline
#else
#define QUICK inline
#endif

namespace {

TPSPointerValue& pointerAt(void* data)
{
    return *static_cast<TPSPointerValue*>(data);
}

// A pointer that neither owns its target nor keeps a block alive: letting
// go of it releases nothing.
bool holdsNothing(const TPSPointerValue& pointer)
{
    return !pointer.owned && !pointer.origin.block;
}

// A value whose release runs no host code: texts, and pointers that hold
// nothing.
bool releasesQuietly(TPSStackEntry* entry)
{
    switch (entry->type->baseType) {
    case BaseType::AnsiString:
    case BaseType::PChar:
    case BaseType::WideString:
    case BaseType::UnicodeString:
        return true;
    case BaseType::Pointer:
        return holdsNothing(pointerAt(entry->data()));
    default:
        return !entry->type->needsFinalization();
    }
}

// A value that a pop may simply drop: one that owns nothing, or a pointer
// that holds nothing; never a frame's return record.
QUICK bool ownsNothing(TPSStackEntry* entry)
{
    const TPSTypeRec* type = entry->type;
    if (!type->needsFinalization())
        return type->baseType != BaseType::ReturnAddress;
    return type->baseType == BaseType::Pointer && holdsNothing(pointerAt(entry->data()));
}

} // namespace

TPSInternalProcRec::TPSInternalProcRec() = default;
TPSInternalProcRec::~TPSInternalProcRec() = default;

const TPSDecodedCode& TPSExec::decodedOf(TPSInternalProcRec* proc)
{
    if (!proc->decoded)
        proc->decoded = std::make_unique<TPSDecodedCode>(*this, *proc);
    return *proc->decoded;
}

QUICK TPSStackEntry* TPSExec::quickEntry(const QuickFrame& f, const TPSQuickVar& var) const
{
    if (var.global)
        return var.global;
    const auto index = static_cast<std::uint64_t>(f.base + var.offset);
    return index < stack_.Count() ? f.entries[index] : nullptr;
}

// The LongInt an entry holds, itself or through a var parameter (a
// function's result among them); none for anything else.
QUICK std::int32_t* TPSExec::longIntIn(TPSStackEntry* entry) const
{
    if (entry->type == longIntType_)
        return static_cast<std::int32_t*>(entry->data());
    if (entry->type->baseType != BaseType::Pointer)
        return nullptr;
    const TPSPointerValue& pointer = pointerAt(entry->data());
    return pointer.type == longIntType_ && targetAlive(pointer) ? static_cast<std::int32_t*>(pointer.data) : nullptr;
}

// The commonest case of all: a variable of the image's LongInt type, or a
// LongInt constant; none for anything else, which takes the longer way.
QUICK std::int32_t* TPSExec::longIntOf(const QuickFrame& f, const TPSQuickOperand& operand) const
{
    using Quickest = TPSQuickOperand::Quickest;
    if (operand.quickest == Quickest::FrameSlot) {
        const auto index = static_cast<std::uint64_t>(f.base + operand.var.offset);
        if (index < stack_.Count()) {
            return longIntIn(f.entries[index]);
        }
    } else if (operand.quickest == Quickest::LongIntConst) {
        return reinterpret_cast<std::int32_t*>(const_cast<unsigned char*>(operand.value));
    }
    if (operand.kind == TPSQuickOperand::Kind::Var) {
        TPSStackEntry* entry = quickEntry(f, operand.var);
        return entry ? longIntIn(entry) : nullptr;
    }
    if (operand.kind == TPSQuickOperand::Kind::Const && operand.constType == longIntType_)
        return reinterpret_cast<std::int32_t*>(const_cast<unsigned char*>(operand.value));
    if (operand.kind != TPSQuickOperand::Kind::Element && operand.kind != TPSQuickOperand::Kind::ElementByVar)
        return nullptr;
    // An element of a dynamic array of LongInts, the array held directly or
    // through a var parameter.
    TPSStackEntry* entry = quickEntry(f, operand.var);
    if (!entry)
        return nullptr;
    const void* data = entry->data();
    const TPSTypeRec* type = entry->type;
    if (type->baseType == BaseType::Pointer) {
        const TPSPointerValue& pointer = pointerAt(entry->data());
        if (!targetAlive(pointer))
            return nullptr;
        data = pointer.data;
        type = pointer.type;
    }
    if (type->baseType != BaseType::DynArray || static_cast<const TPSTypeRec_Array*>(type)->elementType != longIntType_)
        return nullptr;
    std::uint32_t index = operand.index;
    if (operand.kind == TPSQuickOperand::Kind::ElementByVar) {
        TPSStackEntry* indexEntry = quickEntry(f, operand.indexVar);
        if (!indexEntry || indexEntry->type != longIntType_)
            return nullptr;
        index = LoadAs<std::uint32_t>(indexEntry->data()); // a negative one is beyond any count
    }
    TPSDynArrayHeader* block = *static_cast<TPSDynArrayHeader* const*>(data);
    if (!block || index >= block->count)
        return nullptr;
    return reinterpret_cast<std::int32_t*>(reinterpret_cast<std::byte*>(block) + sizeof(TPSDynArrayHeader)) + index;
}

// What DecodeOperand finds for the operand, when it finds it without an
// error and the operand is of a kind the quick paths read.
template <bool UsePointer, bool WithOrigin>
QUICK bool TPSExec::quickOperand(const QuickFrame& f, const TPSQuickOperand& operand, void*& data,
                                 const TPSTypeRec*& type, TPSTargetOrigin* origin) const
{
    using Kind = TPSQuickOperand::Kind;
    if constexpr (!WithOrigin) {
        if (operand.kind == Kind::Var) {
            TPSStackEntry* entry = quickEntry(f, operand.var);
            if (!entry)
                return false;
            data = entry->data();
            type = entry->type;
            if (!UsePointer || type->baseType != BaseType::Pointer)
                return true;
            const TPSPointerValue& pointer = pointerAt(data);
            if (!targetAlive(pointer))
                return false;
            data = pointer.data;
            type = pointer.type;
            return true;
        }
    }
    if (operand.kind == Kind::Const) {
        data = operand.text ? static_cast<void*>(const_cast<std::string*>(operand.text))
                            : const_cast<unsigned char*>(operand.value);
        type = operand.constType;
        return true;
    }
    if (operand.kind == Kind::Other)
        return false;
    TPSStackEntry* entry = quickEntry(f, operand.var);
    if (!entry)
        return false;
    data = entry->data();
    type = entry->type;
    if constexpr (WithOrigin) {
        *origin = {};
        if (!operand.var.global) {
            origin->stackIndex = f.base + operand.var.offset;
            origin->stackSerial = entry->serial;
        }
    }
    const auto follow = [&] {
        const TPSPointerValue& pointer = pointerAt(data);
        if (!targetAlive(pointer))
            return false;
        data = pointer.data;
        type = pointer.type;
        if constexpr (WithOrigin)
            *origin = pointer.origin;
        return true;
    };
    if (operand.kind == Kind::Var)
        return !(UsePointer && type->baseType == BaseType::Pointer) || follow();

    // An element: the base is always followed when it is a pointer.
    if (type->baseType == BaseType::Pointer && !follow())
        return false;
    std::int64_t index = operand.index;
    if (operand.kind == Kind::ElementByVar) {
        TPSStackEntry* indexEntry = quickEntry(f, operand.indexVar);
        if (!indexEntry || !IsOrdinal32(indexEntry->type->baseType))
            return false;
        index = LoadOrdinal(indexEntry->data(), indexEntry->type->baseType);
    }
    switch (type->baseType) {
    case BaseType::DynArray: {
        TPSDynArrayHeader* block = *static_cast<TPSDynArrayHeader**>(data);
        if (!block || index < 0 || index >= std::int64_t(block->count))
            return false;
        type = static_cast<const TPSTypeRec_Array*>(type)->elementType;
        data = reinterpret_cast<std::byte*>(block) + sizeof(TPSDynArrayHeader) + index * type->realSize;
        if constexpr (WithOrigin)
            *origin = {block, type};
        break;
    }
    case BaseType::StaticArray: {
        const auto* array = static_cast<const TPSTypeRec_StaticArray*>(type);
        if (index < 0 || index >= array->elementCount)
            return false;
        type = array->elementType;
        data = static_cast<std::byte*>(data) + index * type->realSize;
        break;
    }
    case BaseType::Record: {
        const auto* record = static_cast<const TPSTypeRec_Record*>(type);
        if (index < 0 || std::uint64_t(index) >= record->fieldTypes.size())
            return false;
        data = static_cast<std::byte*>(data) + record->fieldOffsets[static_cast<std::size_t>(index)];
        type = record->fieldTypes[static_cast<std::size_t>(index)];
        break;
    }
    default:
        return false;
    }
    return !(UsePointer && type->baseType == BaseType::Pointer) || follow();
}

// dest := source, between integers.
QUICK bool TPSExec::quickAssign(const QuickFrame& f, const TPSQuickIns& ins)
{
    if (!ins.a.isConst()) {
        std::int32_t* dest = longIntOf(f, ins.a);
        const std::int32_t* source = dest ? longIntOf(f, ins.b) : nullptr;
        if (source) {
            *dest = *source;
            return true;
        }
    }
    void *dest, *source;
    const TPSTypeRec *destType, *sourceType;
    if (ins.a.isConst() || !quickOperand<true, false>(f, ins.a, dest, destType) ||
        !quickOperand<true, false>(f, ins.b, source, sourceType) || !IsIntegerType(destType->baseType) ||
        !IsIntegerType(sourceType->baseType))
        return false;
    StoreOrdinal(dest, destType->baseType, static_cast<std::uint64_t>(LoadOrdinal(source, sourceType->baseType)));
    return true;
}

namespace {

// The bits of x op y for a left of an integer type, as the shared integer
// arithmetic gives them; false for a division by zero, which the
// byte-reading interpreter reports, and for an operator no integer takes.
QUICK bool integerResult(std::uint8_t op, BaseType leftBase, std::int64_t x, std::int64_t y, std::uint64_t& out)
{
    if (leftBase == BaseType::LongInt) {
        // The common case, in 32 bits.
        const auto a = static_cast<std::uint32_t>(x), b = static_cast<std::uint32_t>(y);
        switch (static_cast<CalcOp>(op)) {
        case CalcOp::Add:
            out = a + b;
            return true;
        case CalcOp::Subtract:
            out = a - b;
            return true;
        case CalcOp::Multiply:
            out = a * b;
            return true;
        case CalcOp::Divide:
        case CalcOp::Mod: {
            const auto sa = static_cast<std::int32_t>(a), sb = static_cast<std::int32_t>(b);
            if (sb == 0)
                return false;
            // The one quotient that does not fit wraps, with remainder 0.
            if (sb == -1)
                out = op == std::uint8_t(CalcOp::Mod) ? 0 : 0u - a;
            else
                out = static_cast<std::uint32_t>(op == std::uint8_t(CalcOp::Mod) ? sa % sb : sa / sb);
            return true;
        }
        default:
            break;
        }
    }
    if (op > std::uint8_t(CalcOp::Xor))
        return false;
    const std::optional<std::uint64_t> result = ps::CalcIntegers(static_cast<CalcOp>(op), leftBase, x, y);
    if (!result)
        return false;
    out = *result;
    return true;
}

} // namespace

// dest := dest op source, between integers.
QUICK bool TPSExec::quickCalc(const QuickFrame& f, const TPSQuickIns& ins)
{
    if (!ins.a.isConst()) {
        std::int32_t* dest = longIntOf(f, ins.a);
        const std::int32_t* source = dest ? longIntOf(f, ins.b) : nullptr;
        std::uint64_t result;
        if (source && integerResult(ins.operatorByte, BaseType::LongInt, *dest, *source, result)) {
            *dest = static_cast<std::int32_t>(result);
            return true;
        }
    }
    void *dest, *source;
    const TPSTypeRec *destType, *sourceType;
    if (ins.a.isConst() || !quickOperand<true, false>(f, ins.a, dest, destType) ||
        !quickOperand<true, false>(f, ins.b, source, sourceType))
        return false;
    const BaseType base = destType->baseType;
    if (base == BaseType::AnsiString && sourceType->baseType == BaseType::AnsiString &&
        ins.operatorByte == std::uint8_t(CalcOp::Add)) {
        // Appending a text, within the memory limit; a failure is the byte
        // reader's to report.
        auto& left = *static_cast<std::string*>(dest);
        const auto& right = *static_cast<const std::string*>(source);
        if (std::uint64_t(left.size()) + right.size() > MemoryLimit())
            return false;
        try {
            left += right;
        } catch (...) {
            return false; // left as it was
        }
        return true;
    }
    std::uint64_t result;
    if (!IsIntegerType(base) || !IsIntegerType(sourceType->baseType) ||
        !integerResult(ins.operatorByte, base, LoadOrdinal(dest, base), LoadOrdinal(source, sourceType->baseType),
                       result))
        return false;
    StoreOrdinal(dest, base, result);
    return true;
}

// D op2= (x op1 y) through a temporary of an integer type that is never
// made: the temporary would be the next slot, the stack has room for it,
// and every value is an integer.
QUICK bool TPSExec::quickCalcThrough(const QuickFrame& f, const TPSQuickIns* run)
{
    const TPSQuickIns &assign = run[1], &first = run[2], &second = run[3];
    const BaseType tempBase = run->type->baseType;
    if (f.base + run->tempSlot != std::int64_t(stack_.Count()) || !stack_.HasRoomForEntry(run->entrySize) ||
        second.a.isConst())
        return false;
    if (run->type == longIntType_) {
        const std::int32_t* x = longIntOf(f, assign.b);
        const std::int32_t* y = x ? longIntOf(f, first.b) : nullptr;
        std::int32_t* dest = y ? longIntOf(f, second.a) : nullptr;
        std::uint64_t temp, bits;
        if (dest && integerResult(first.operatorByte, BaseType::LongInt, *x, *y, temp) &&
            integerResult(second.operatorByte, BaseType::LongInt, *dest, static_cast<std::int32_t>(temp), bits)) {
            *dest = static_cast<std::int32_t>(bits);
            return true;
        }
    }
    void *x, *y, *dest;
    const TPSTypeRec *xType, *yType, *destType;
    if (!quickOperand<true, false>(f, assign.b, x, xType) || !quickOperand<true, false>(f, first.b, y, yType) ||
        !quickOperand<true, false>(f, second.a, dest, destType) || !IsIntegerType(xType->baseType) ||
        !IsIntegerType(yType->baseType) || !IsIntegerType(destType->baseType))
        return false;
    // The temporary holds its values in its own width.
    alignas(8) unsigned char temp[8] = {};
    StoreOrdinal(temp, tempBase, static_cast<std::uint64_t>(LoadOrdinal(x, xType->baseType)));
    std::uint64_t bits;
    if (!integerResult(first.operatorByte, tempBase, LoadOrdinal(temp, tempBase), LoadOrdinal(y, yType->baseType),
                       bits))
        return false;
    StoreOrdinal(temp, tempBase, bits);
    const BaseType destBase = destType->baseType;
    if (!integerResult(second.operatorByte, destBase, LoadOrdinal(dest, destBase), LoadOrdinal(temp, tempBase), bits))
        return false;
    StoreOrdinal(dest, destBase, bits);
    return true;
}

// Calls a script procedure that was decoded before: the run goes on at its
// first entry.
QUICK bool TPSExec::quickCall(const TPSQuickIns& ins, const TPSQuickIns*& ip)
{
    if (!ins.internalCall)
        return false;
    auto* callee = static_cast<TPSInternalProcRec*>(ins.proc);
    if (!callee->decoded)
        return false;
    TPSStackEntry* entry = stack_.PushUnmade(&returnAddressType_, sizeof(TPSReturnRecord));
    if (!entry)
        return false;
    *static_cast<TPSReturnRecord*>(entry->data()) = {currentProc_, ins.next, frameBase_, &ins + 1};
    frameBase_ = static_cast<std::int32_t>(stack_.Count() - 1);
    // The code and the position are set when the decoded code is left.
    currentProc_ = callee;
    ip = callee->decoded->Entries().data();
    return true;
}

// A call of a script function with one LongInt value parameter, checked
// at once: the result and the parameter land where the code names them,
// every entry fits, and the parameter's value is a LongInt; then nothing on
// the way can fail.
QUICK bool TPSExec::quickValueCall(const QuickFrame& f, const TPSQuickIns*& ip)
{
    const bool withCalc = ip->fusedCount == 6;
    const TPSQuickIns& param = ip[1];
    const TPSQuickIns& ref = ip[withCalc ? 4 : 3];
    const TPSQuickIns& call = (&ref)[1];
    const auto slot = static_cast<std::uint64_t>(f.base + ref.a.var.offset);
    constexpr std::size_t recordSize = TPSStack::EntrySize(sizeof(TPSReturnRecord));
    const std::size_t sizes[] = {ip->entrySize, param.entrySize, ref.entrySize, recordSize};
    auto* callee = static_cast<TPSInternalProcRec*>(call.proc);
    if (slot != stack_.Count() || !callee->decoded ||
        !stack_.HasRoomInChunk(sizes[0] + sizes[1] + sizes[2] + sizes[3], 4))
        return false;
    const std::int32_t* x = longIntOf(f, ip[2].b);
    if (!x)
        return false;
    std::uint64_t value = static_cast<std::uint32_t>(*x);
    if (withCalc) {
        const std::int32_t* y = longIntOf(f, ip[3].b);
        if (!y || !integerResult(ip[3].operatorByte, BaseType::LongInt, *x, *y, value))
            return false;
    }
    TPSStackEntry* pushed[4];
    stack_.PushInRoom({ip->type, param.type, ref.type, &returnAddressType_}, sizes, pushed);
    TPSStack::ZeroValue(pushed[0], sizes[0]);
    TPSStack::ZeroValue(pushed[1], sizes[1]);
    *static_cast<std::int32_t*>(pushed[1]->data()) = static_cast<std::int32_t>(value);
    TPSTargetOrigin origin;
    origin.stackIndex = static_cast<std::int64_t>(slot);
    origin.stackSerial = pushed[0]->serial;
    pointerAt(pushed[2]->data()) = {pushed[0]->data(), ip->type, false, origin};
    *static_cast<TPSReturnRecord*>(pushed[3]->data()) = {currentProc_, call.next, frameBase_, &call + 1};
    frameBase_ = static_cast<std::int32_t>(slot + 3);
    // The code and the position are set when the decoded code is left.
    currentProc_ = callee;
    ip = callee->decoded->Entries().data();
    return true;
}

// left op right between integers, for the ordering and equality operators.
QUICK bool TPSExec::quickCompareOutcome(const QuickFrame& f, const TPSQuickIns& ins, bool& outcome) const
{
    const std::int32_t* fastLeft = longIntOf(f, ins.b);
    const std::int32_t* fastRight = fastLeft ? longIntOf(f, ins.c) : nullptr;
    void *left, *right;
    const TPSTypeRec *leftType, *rightType;
    if (!fastRight && (!quickOperand<true, false>(f, ins.b, left, leftType) ||
                       !quickOperand<true, false>(f, ins.c, right, rightType)))
        return false;
    if (fastRight || (leftType->baseType == BaseType::LongInt && rightType->baseType == BaseType::LongInt)) {
        // The common case: two LongInts, which are always ordered.
        const auto x = fastRight ? *fastLeft : LoadAs<std::int32_t>(left);
        const auto y = fastRight ? *fastRight : LoadAs<std::int32_t>(right);
        switch (static_cast<CompareOp>(ins.operatorByte)) {
        case CompareOp::GreaterEqual:
            outcome = x >= y;
            return true;
        case CompareOp::LessEqual:
            outcome = x <= y;
            return true;
        case CompareOp::Greater:
            outcome = x > y;
            return true;
        case CompareOp::Less:
            outcome = x < y;
            return true;
        case CompareOp::NotEqual:
            outcome = x != y;
            return true;
        case CompareOp::Equal:
            outcome = x == y;
            return true;
        default:
            return false;
        }
    }
    const BaseType lb = leftType->baseType, rb = rightType->baseType;
    if (ins.operatorByte > std::uint8_t(CompareOp::Equal) || !IsIntegerType(lb) || !IsIntegerType(rb))
        return false;
    const ps::Calculated<ps::Order> compared =
        ps::CompareNumbers(ps::Number{lb, LoadOrdinal(left, lb), 0}, ps::Number{rb, LoadOrdinal(right, rb), 0});
    if (!compared.ok())
        return false;
    outcome = ps::OrderSatisfies(compared.value, static_cast<CompareOp>(ins.operatorByte));
    return true;
}

QUICK bool TPSExec::quickCompare(const QuickFrame& f, const TPSQuickIns& ins)
{
    void* dest;
    const TPSTypeRec* destType;
    bool outcome;
    if (ins.a.isConst() || !quickOperand<true, false>(f, ins.a, dest, destType) || !IsOrdinal32(destType->baseType) ||
        !quickCompareOutcome(f, ins, outcome))
        return false;
    StoreOrdinal(dest, destType->baseType, outcome);
    return true;
}

// Increment or decrement in place, as the entry's operation says.
QUICK bool TPSExec::quickStep(const QuickFrame& f, const TPSQuickIns& ins)
{
    const int delta = ins.step;
    if (!ins.a.isConst()) {
        if (std::int32_t* value = longIntOf(f, ins.a)) {
            *value = static_cast<std::int32_t>(static_cast<std::uint32_t>(*value) + static_cast<std::uint32_t>(delta));
            return true;
        }
    }
    void* data;
    const TPSTypeRec* type;
    if (ins.a.isConst() || !quickOperand<true, false>(f, ins.a, data, type) || !IsIntegerType(type->baseType))
        return false;
    StoreOrdinal(data, type->baseType,
                 static_cast<std::uint64_t>(LoadOrdinal(data, type->baseType)) + std::uint64_t(std::int64_t(delta)));
    return true;
}

QUICK bool TPSExec::quickPushType(const TPSQuickIns& ins)
{
    const TPSTypeRec* type = ins.type;
    if (ins.plainPush)
        return stack_.PushZeroedEntry(type, ins.entrySize) != nullptr;
    // Any other empty value is made in place.
    TPSStackEntry* entry = stack_.PushUnmadeEntry(type, ins.entrySize);
    if (entry)
        InitializeValue(entry->data(), type);
    return entry != nullptr;
}

QUICK bool TPSExec::quickPop()
{
    if (!stack_.Count())
        return false;
    TPSStackEntry* top = stack_.Top();
    const TPSTypeRec* type = top->type;
    if (type->baseType == BaseType::ReturnAddress)
        return false;
    if (ownsNothing(top))
        stack_.PopOwningNothing(type->realSize);
    else if (releasesQuietly(top))
        stack_.Pop();
    else
        return false;
    return true;
}

QUICK bool TPSExec::quickPushRef(const QuickFrame& f, const TPSQuickIns& ins)
{
    void* data;
    const TPSTypeRec* type;
    TPSTargetOrigin origin;
    // The commonest: a slot of the frame that is no pointer itself, a
    // function's result waiting for the call.
    const auto index = static_cast<std::uint64_t>(f.base + ins.a.var.offset);
    TPSStackEntry* slot =
        ins.a.quickest == TPSQuickOperand::Quickest::FrameSlot && index < stack_.Count() ? f.entries[index] : nullptr;
    if (slot && slot->type->baseType != BaseType::Pointer && ins.type) {
        data = slot->data();
        type = slot->type;
        origin.stackIndex = static_cast<std::int64_t>(index);
        origin.stackSerial = slot->serial;
    } else if (ins.a.isConst() || !ins.type || !quickOperand<true, true>(f, ins.a, data, type, &origin)) {
        return false;
    }
    TPSStackEntry* entry = stack_.PushUnmadeEntry(ins.type, ins.entrySize);
    if (!entry)
        return false;
    pointerAt(entry->data()) = {data, type, false, origin};
    if (origin.block)
        RetainOrigin(origin);
    return true;
}

QUICK bool TPSExec::quickSetPointer(const QuickFrame& f, const TPSQuickIns& ins)
{
    if (ins.a.kind != TPSQuickOperand::Kind::Var || ins.b.isConst())
        return false;
    TPSStackEntry* dest = quickEntry(f, ins.a.var);
    if (!dest || dest->type->baseType != BaseType::Pointer)
        return false;
    TPSPointerValue& pointer = pointerAt(dest->data());
    void* data;
    const TPSTypeRec* type;
    TPSTargetOrigin origin;
    // Letting go of a block may release anything it holds.
    if (pointer.origin.block || !quickOperand<false, true>(f, ins.b, data, type, &origin))
        return false;
    TPSPointerValue target{data, type, false, origin};
    if (type->baseType == BaseType::Pointer)
        target = pointerAt(data);
    target.owned = false;
    RetainOrigin(target.origin);
    pointer = target;
    return true;
}

// Threaded dispatch: every entry ends by jumping straight to the next
// entry's code, which keeps the branches apart for the processor to
// predict. A run that watches marks notes each marked entry it comes to.
// A request for the hook is looked at where the run moves elsewhere (a jump,
// a call, a return) and when it comes back to the decoded code: no run goes
// on for long without, and straight code goes faster.
#define QUICK_DISPATCH(checked)                                                                                        \
    do {                                                                                                               \
        if constexpr (Mode == QuickMode::Every) {                                                                      \
            goto hook;                                                                                                 \
        } else {                                                                                                       \
            if constexpr (Mode != QuickMode::Plain) {                                                                  \
                if (ip->marked) {                                                                                      \
                    noteMark(ip->pos);                                                                                 \
                    if constexpr (Mode == QuickMode::AtMarks)                                                          \
                        goto hook;                                                                                     \
                }                                                                                                      \
            }                                                                                                          \
            if (checked && beforeInstructionAsked())                                                                   \
                goto hook;                                                                                             \
            goto* labels[opOf(*ip)];                                                                                   \
        }                                                                                                              \
    } while (false)
#define QUICK_NEXT() QUICK_DISPATCH(false)
#define QUICK_TRANSFER() QUICK_DISPATCH(true)

template <TPSExec::QuickMode Mode> TPSExec::QuickExit TPSExec::runQuick(const TPSQuickIns* ip)
{
    // In the order of TPSQuickOp.
    static constexpr void* labels[] = {
        &&Generic,    &&Nop,        &&Assign,      &&Calc,      &&Compare,       &&SetFlag,     &&JumpFlag,
        &&Jump,       &&JumpIfTrue, &&JumpIfFalse, &&PushType,  &&Pop,           &&PushRef,     &&SetPointer,
        &&Call,       &&Return,     &&Increment,   &&Decrement, &&CompareBranch, &&CompareStep, &&CalcThrough,
        &&PushAssign, &&ThenPop,    &&Pops,        &&RefCall,   &&IncrementJump, &&ValueCall,
    };
    static_assert(std::size(labels) == std::size_t(TPSQuickOp::ValueCall) + 1);
    // Every instruction on its own when the hook comes before each; runs of
    // them at once where no hook or mark comes between.
    constexpr auto opOf = [](const TPSQuickIns& ins) {
        if constexpr (Mode == QuickMode::Plain)
            return static_cast<std::uint8_t>(ins.fused);
        else if constexpr (Mode == QuickMode::Every)
            return static_cast<std::uint8_t>(ins.op);
        else
            return static_cast<std::uint8_t>(ins.marksFused);
    };
    // The hook level this mode serves.
    constexpr TPSHookLevel level = Mode == QuickMode::Note      ? TPSHookLevel::NoteMarks
                                   : Mode == QuickMode::AtMarks ? TPSHookLevel::AtMarks
                                                                : TPSHookLevel::Every;
    QuickFrame f{stack_.Entries(), frameBase_};
    QUICK_TRANSFER();

hook:
    if (Mode == QuickMode::Every || Mode == QuickMode::AtMarks || beforeInstructionAsked()) {
        leaveAt(ip->pos);
        instructionPos_ = ip->pos;
        if (!callHook())
            return !tryRecords_.empty() && status_ == TPSStatus::Running ? QuickExit::Resume : QuickExit::End;
        // A hook that stopped or paused the run still lets this
        // instruction run; the loop ends after it. One that wants to be
        // called otherwise from now on has it run from its bytes, and the
        // run goes on in the mode it wants.
        if (status_ != TPSStatus::Running || (Mode != QuickMode::Plain && hookLevel_ != level))
            return QuickExit::ReadBytes;
        // The hook may have run script code that grew the stack's table of
        // entries.
        f.entries = stack_.Entries();
    }
    goto* labels[opOf(*ip)];

Generic:
slow:
    // The quick path did not take the instruction: it is read again from
    // its bytes.
    leaveAt(ip->pos);
    return QuickExit::ReadBytes;
Nop:
    ++ip;
    QUICK_NEXT();
Assign:
    if (!quickAssign(f, *ip))
        goto slow;
    ++ip;
    QUICK_NEXT();
Calc:
    if (!quickCalc(f, *ip))
        goto slow;
    ++ip;
    QUICK_NEXT();
Compare:
    if (!quickCompare(f, *ip))
        goto slow;
    ++ip;
    QUICK_NEXT();
SetFlag : {
    void* data;
    const TPSTypeRec* type;
    if (!quickOperand<true, false>(f, ip->a, data, type) || !IsOrdinal32(type->baseType))
        goto slow;
    jumpFlag_ = (LoadOrdinal(data, type->baseType) != 0) != (ip->operatorByte != 0);
    ++ip;
    QUICK_NEXT();
}
JumpFlag:
    ip = jumpFlag_ ? ip->jumpTo : ip + 1;
    QUICK_TRANSFER();
Jump:
    ip = ip->jumpTo;
    QUICK_TRANSFER();
JumpIfTrue:
JumpIfFalse : {
    void* data;
    const TPSTypeRec* type;
    if (!quickOperand<true, false>(f, ip->a, data, type) || !IsOrdinal32(type->baseType))
        goto slow;
    const bool nonZero = LoadOrdinal(data, type->baseType) != 0;
    ip = nonZero == (ip->op == TPSQuickOp::JumpIfTrue) ? ip->jumpTo : ip + 1;
    QUICK_TRANSFER();
}
PushType:
    if (!quickPushType(*ip))
        goto slow;
    ++ip;
    QUICK_NEXT();
Pop:
    if (!quickPop())
        goto slow;
    ++ip;
    QUICK_NEXT();
PushRef:
    if (!quickPushRef(f, *ip))
        goto slow;
    ++ip;
    QUICK_NEXT();
SetPointer:
    if (!quickSetPointer(f, *ip))
        goto slow;
    ++ip;
    QUICK_NEXT();
Increment:
Decrement:
    if (!quickStep(f, *ip))
        goto slow;
    ++ip;
    QUICK_NEXT();
Call:
    if (!quickCall(*ip, ip))
        goto slow;
    f.base = frameBase_;
    QUICK_TRANSFER();
Return : {
    // With no try block open, a return leaves the frame at once.
    if (!tryRecords_.empty())
        goto slow;
    if (frameBase_ == -1) {
        leaveAt(ip->next);
        status_ = TPSStatus::Loaded;
        return QuickExit::Resume;
    }
    const std::size_t base = static_cast<std::size_t>(frameBase_);
    if (stack_.Count() != base + 1) {
        // Locals left above the frame's record.
        bool quiet = stack_.Count() > base;
        for (std::size_t i = stack_.Count(); quiet && i > base + 1; --i)
            quiet = releasesQuietly(stack_.At(i - 1));
        if (!quiet)
            goto slow;
        stack_.PopTo(base + 1);
    }
    TPSStackEntry* marker = stack_.Top();
    if (!marker || marker->type != &returnAddressType_)
        goto slow;
    const TPSReturnRecord back = *static_cast<const TPSReturnRecord*>(marker->data());
    frameBase_ = back.frameBase;
    currentProc_ = back.callerProc;
    if constexpr (Mode == QuickMode::Plain) {
        // The caller's pops of the parameters right after the call go with
        // the record, when the parameters own nothing.
        const TPSQuickIns* const resume = back.resume;
        if (resume && resume->fused == TPSQuickOp::Pops && base >= resume->fusedCount) {
            const std::size_t n = resume->fusedCount;
            bool plain = true;
            for (std::size_t i = 1; plain && i <= n; ++i)
                plain = ownsNothing(f.entries[base - i]);
            if (plain) {
                stack_.PopManyOwningNothing(n + 1);
                ip = resume + n;
                f.base = frameBase_;
                QUICK_TRANSFER();
            }
        }
    }
    stack_.PopOwningNothing(sizeof(TPSReturnRecord));
    if (back.resume) {
        ip = back.resume;
        f.base = frameBase_;
        QUICK_TRANSFER();
    }
    if (!back.callerProc) {
        position_ = back.position;
        status_ = runStartStatus_;
        return QuickExit::Resume;
    }
    // A caller that ran from its bytes was decoded all the same, unless
    // decoding it failed.
    leaveAt(back.position);
    if (!back.callerProc->decoded || !(ip = back.callerProc->decoded->At(position_)))
        return QuickExit::Resume;
    f.base = frameBase_;
    QUICK_TRANSFER();
}

    // Runs of instructions done at once.
CompareBranch:
CompareStep : {
    // The flag's temporary is never made: where it would stand now, the
    // stack has room for it, and the compare is one of integers, the run's
    // outcome is the branch alone.
    if (f.base + ip->tempSlot != std::int64_t(stack_.Count()) || !stack_.HasRoomForEntry(ip->entrySize))
        goto slow;
    const std::int32_t* left = longIntOf(f, ip[1].b);
    const std::int32_t* right = left ? longIntOf(f, ip[1].c) : nullptr;
    if (right && ip->branchWhen) {
        const int order = (*left > *right) - (*left < *right) + 1;
        jumpFlag_ = (ip->branchWhen >> order) & 1;
    } else {
        bool outcome;
        if (!quickCompareOutcome(f, ip[1], outcome))
            goto slow;
        jumpFlag_ = outcome != (ip[2].operatorByte != 0);
    }
    if (jumpFlag_) {
        ip = ip[4].jumpTo;
    } else if (ip->stepsLeft && right && ip->fused == TPSQuickOp::CompareStep) {
        // A for loop's counter, just read as a LongInt.
        auto* counter = const_cast<std::int32_t*>(left);
        *counter =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(*counter) + static_cast<std::uint32_t>(ip[5].step));
        const bool testsHead = ip->testsHead;
        ip = ip[6].jumpTo;
        // The loop's first test, of the same counter, with its temporary
        // where this one's would stand, is done here too, when nothing is
        // to run before it.
        if (testsHead && Mode != QuickMode::AtMarks && !beforeInstructionAsked()) {
            if (const std::int32_t* end = longIntOf(f, ip[1].c)) {
                if constexpr (Mode == QuickMode::Note) {
                    if (ip->marked)
                        noteMark(ip->pos);
                }
                const int order = (*counter > *end) - (*counter < *end) + 1;
                jumpFlag_ = (ip->branchWhen >> order) & 1;
                ip = jumpFlag_ ? ip[4].jumpTo : ip + 5;
            }
        }
    } else if (ip->fused == TPSQuickOp::CompareStep && quickStep(f, ip[5])) {
        ip = ip[6].jumpTo;
    } else {
        ip += 5;
    }
    QUICK_TRANSFER();
}
CalcThrough:
    if (!quickCalcThrough(f, ip))
        goto slow;
    ip += 5;
    QUICK_NEXT();
Pops : {
    // Values that own nothing, the commonest, go at once.
    const std::size_t n = ip->fusedCount;
    if (stack_.Count() >= n) {
        TPSStackEntry* const* const top = f.entries + stack_.Count();
        bool plain = true;
        for (std::size_t i = 1; plain && i <= n; ++i)
            plain = ownsNothing(top[-std::ptrdiff_t(i)]);
        if (plain) {
            stack_.PopManyOwningNothing(n);
            ip += n;
            QUICK_NEXT();
        }
    }
    if (!quickPop())
        goto slow;
    const TPSQuickIns* const last = ip + ip->fusedCount - 1;
    while (++ip <= last && quickPop()) {
    }
    QUICK_NEXT();
}
RefCall:
    if (!quickPushRef(f, *ip))
        goto slow;
    ++ip;
    if (quickCall(*ip, ip))
        f.base = frameBase_;
    QUICK_TRANSFER();
PushAssign : {
    // Push, fill and maybe work on a temporary; where a step cannot be
    // done quickly, the run goes on from its entry.
    const bool withCalc = ip->fusedCount == 3;
    if (!quickPushType(*ip))
        goto slow;
    ++ip;
    if (quickAssign(f, *ip)) {
        ++ip;
        if (withCalc && quickCalc(f, *ip))
            ++ip;
    }
    QUICK_NEXT();
}
ThenPop : {
    const bool done = ip->op == TPSQuickOp::Assign ? quickAssign(f, *ip)
                      : ip->op == TPSQuickOp::Calc ? quickCalc(f, *ip)
                                                   : quickCompare(f, *ip);
    if (!done)
        goto slow;
    ++ip;
    if (quickPop())
        ++ip;
    QUICK_NEXT();
}
IncrementJump:
    if (!quickStep(f, *ip))
        goto slow;
    ip = ip[1].jumpTo;
    QUICK_TRANSFER();
ValueCall:
    // Anything the call at once does not take goes one instruction at a
    // time.
    if (!quickValueCall(f, ip))
        goto* labels[static_cast<std::uint8_t>(ip->op)];
    f.base = frameBase_;
    QUICK_TRANSFER();
}

#undef QUICK_NEXT
#undef QUICK_TRANSFER
#undef QUICK_DISPATCH

TPSExec::QuickExit TPSExec::runQuick(const TPSQuickIns* ip, bool hook)
{
    if (!hook)
        return runQuick<QuickMode::Plain>(ip);
    switch (hookLevel_) {
    case TPSHookLevel::NoteMarks:
        return runQuick<QuickMode::Note>(ip);
    case TPSHookLevel::AtMarks:
        return runQuick<QuickMode::AtMarks>(ip);
    default:
        return runQuick<QuickMode::Every>(ip);
    }
}
