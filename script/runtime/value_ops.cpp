#include "script/runtime/value_ops.h"

#include "script/compiler/instruction_set.h"
#include "script/compiler/integer_calc.h"
#include "script/runtime/exec.h"

#include <cstring>
#include <optional>

using ps::BaseType;
using pscode::CalcOp;
using pscode::CompareOp;

namespace {

template <typename T> T load(const void* data)
{
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

template <typename T> void store(void* data, std::uint64_t value)
{
    const auto narrowed = static_cast<T>(value);
    std::memcpy(data, &narrowed, sizeof narrowed);
}

bool isUnsigned(BaseType base)
{
    return base == BaseType::Byte || base == BaseType::Word || base == BaseType::LongWord;
}

bool mismatch(TPSExec* exec)
{
    exec->SetError(ErTypeMismatch);
    return false;
}

// Values that a plain copy assigns when both sides have the same base type.
bool copiesByBase(BaseType base)
{
    switch (base) {
    case BaseType::Record:
    case BaseType::DynArray:
    case BaseType::StaticArray:
    case BaseType::Set:
    case BaseType::Pointer:
    case BaseType::ReturnAddress:
        return false;
    default:
        return true;
    }
}

bool apply(TPSExec* exec, const TPSTypeRec* type, void* data, std::uint64_t value)
{
    return SetIntegerValue(data, type, static_cast<std::int64_t>(value)) || mismatch(exec);
}

} // namespace

bool IsOrdinal32(BaseType base)
{
    return ps::code(base) >= ps::code(BaseType::Byte) && ps::code(base) <= ps::code(BaseType::LongInt);
}

bool GetIntegerValue(const void* data, const TPSTypeRec* type, std::int64_t& out)
{
    switch (type->baseType) {
    case BaseType::Byte:
        out = load<std::uint8_t>(data);
        return true;
    case BaseType::ShortInt:
        out = load<std::int8_t>(data);
        return true;
    case BaseType::Word:
        out = load<std::uint16_t>(data);
        return true;
    case BaseType::SmallInt:
        out = load<std::int16_t>(data);
        return true;
    case BaseType::LongWord:
        out = load<std::uint32_t>(data);
        return true;
    case BaseType::LongInt:
        out = load<std::int32_t>(data);
        return true;
    case BaseType::Int64:
        out = load<std::int64_t>(data);
        return true;
    default:
        return false;
    }
}

bool SetIntegerValue(void* data, const TPSTypeRec* type, std::int64_t value)
{
    const auto bits = static_cast<std::uint64_t>(value);
    switch (type->baseType) {
    case BaseType::Byte:
    case BaseType::ShortInt:
        store<std::uint8_t>(data, bits);
        return true;
    case BaseType::Word:
    case BaseType::SmallInt:
        store<std::uint16_t>(data, bits);
        return true;
    case BaseType::LongWord:
    case BaseType::LongInt:
        store<std::uint32_t>(data, bits);
        return true;
    case BaseType::Int64:
        store<std::uint64_t>(data, bits);
        return true;
    default:
        return false;
    }
}

bool AssignValue(TPSExec* exec, void* dest, const void* source, const TPSTypeRec* destType,
                 const TPSTypeRec* sourceType)
{
    if (destType == sourceType || (destType->baseType == sourceType->baseType && copiesByBase(destType->baseType)))
        return CopyValues(dest, source, 1, destType) || mismatch(exec);
    std::int64_t value;
    if (GetIntegerValue(source, sourceType, value) && SetIntegerValue(dest, destType, value))
        return true;
    return mismatch(exec);
}

bool ApplyArithmeticOp(TPSExec* exec, void* left, const void* right, const TPSTypeRec* leftType,
                       const TPSTypeRec* rightType, std::uint8_t op)
{
    if (op > static_cast<std::uint8_t>(CalcOp::As)) {
        exec->SetError(erInvalidOpcodeParameter);
        return false;
    }
    std::int64_t x, y;
    if (!GetIntegerValue(left, leftType, x) || !GetIntegerValue(right, rightType, y) ||
        op == static_cast<std::uint8_t>(CalcOp::As))
        return mismatch(exec);
    // The folder computes constants with the same function, so a folded
    // expression always equals what the running code gives.
    const std::optional<std::uint64_t> result = ps::CalcIntegers(static_cast<CalcOp>(op), leftType->baseType, x, y);
    if (!result)
        throw EDivByZero("Division by zero"); // the only arithmetic failure left
    return apply(exec, leftType, left, *result);
}

bool CompareValues(TPSExec* exec, const void* left, const void* right, void* dest, const TPSTypeRec* leftType,
                   const TPSTypeRec* rightType, const TPSTypeRec* destType, std::uint8_t op)
{
    if (op > static_cast<std::uint8_t>(CompareOp::Is)) {
        exec->SetError(erInvalidOpcodeParameter);
        return false;
    }
    std::int64_t x, y;
    if (!GetIntegerValue(left, leftType, x))
        return mismatch(exec);
    bool outcome = false;
    if (op == static_cast<std::uint8_t>(CompareOp::In)) {
        if (rightType->baseType != BaseType::Set)
            return mismatch(exec);
        const auto* set = static_cast<const TPSTypeRec_Set*>(rightType);
        const auto element = static_cast<std::uint32_t>(x);
        if (element >= set->bitCount) {
            exec->SetError(erOutofRecordRange);
            return false;
        }
        outcome = (static_cast<const std::uint8_t*>(right)[element / 8] >> (element % 8)) & 1;
    } else {
        if (op == static_cast<std::uint8_t>(CompareOp::Is) || !GetIntegerValue(right, rightType, y))
            return mismatch(exec);
        if (leftType->baseType != BaseType::Int64 && rightType->baseType != BaseType::Int64) {
            // Compared in 32 bits by the left's sign.
            const auto lowX = static_cast<std::uint32_t>(x), lowY = static_cast<std::uint32_t>(y);
            x = isUnsigned(leftType->baseType) ? lowX : static_cast<std::int32_t>(lowX);
            y = isUnsigned(leftType->baseType) ? lowY : static_cast<std::int32_t>(lowY);
        }
        switch (static_cast<CompareOp>(op)) {
        case CompareOp::GreaterEqual:
            outcome = x >= y;
            break;
        case CompareOp::LessEqual:
            outcome = x <= y;
            break;
        case CompareOp::Greater:
            outcome = x > y;
            break;
        case CompareOp::Less:
            outcome = x < y;
            break;
        case CompareOp::NotEqual:
            outcome = x != y;
            break;
        default:
            outcome = x == y;
            break;
        }
    }
    if (destType->baseType == BaseType::Int64 || !SetIntegerValue(dest, destType, outcome))
        return mismatch(exec);
    return true;
}

bool NegateValue(TPSExec* exec, void* data, const TPSTypeRec* type)
{
    std::int64_t x;
    return GetIntegerValue(data, type, x) ? apply(exec, type, data, 0 - static_cast<std::uint64_t>(x)) : mismatch(exec);
}

bool BooleanNotValue(TPSExec* exec, void* data, const TPSTypeRec* type)
{
    std::int64_t x;
    return GetIntegerValue(data, type, x) ? apply(exec, type, data, x == 0) : mismatch(exec);
}

bool BitwiseNotValue(TPSExec* exec, void* data, const TPSTypeRec* type)
{
    std::int64_t x;
    return GetIntegerValue(data, type, x) ? apply(exec, type, data, ~static_cast<std::uint64_t>(x)) : mismatch(exec);
}
