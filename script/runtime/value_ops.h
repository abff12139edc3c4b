#pragma once
// Operations on typed script values that the interpreter's instructions
// invoke: assignment with its conversions, the arithmetic, bitwise and
// comparison operators and the unary ones. The left operand's type decides
// which right operands an operator takes. Each reports its own failures on
// the executer before returning False: a combination it does not take is
// "Type Mismatch"; a value that cannot be read as the type needed, a
// division by zero and a real fault become the runtime errors of the
// exceptions behind them.

#include "script/runtime/types.h"

#include <cstdint>

class TPSExec;

// Integer values of base Byte, ShortInt, Word, SmallInt, LongWord, LongInt
// and Int64: read extended to 64 bits by their own sign, written truncated
// to their width. False for any other type.
bool GetIntegerValue(const void* data, const TPSTypeRec* type, std::int64_t& out);
bool SetIntegerValue(void* data, const TPSTypeRec* type, std::int64_t value);
// Base types Byte to LongInt: the ones a jump or an element index reads.
[[gnu::always_inline]] inline bool IsOrdinal32(ps::BaseType base)
{
    return ps::code(base) >= ps::code(ps::BaseType::Byte) && ps::code(base) <= ps::code(ps::BaseType::LongInt);
}

bool AssignValue(TPSExec* exec, void* dest, const void* source, const TPSTypeRec* destType,
                 const TPSTypeRec* sourceType);
// left := left op right, op being an arithmetic operator byte.
bool ApplyArithmeticOp(TPSExec* exec, void* left, const void* right, const TPSTypeRec* leftType,
                       const TPSTypeRec* rightType, std::uint8_t op);
// dest := left op right as a Boolean, op being a comparison operator byte.
bool CompareValues(TPSExec* exec, const void* left, const void* right, void* dest, const TPSTypeRec* leftType,
                   const TPSTypeRec* rightType, const TPSTypeRec* destType, std::uint8_t op);
bool NegateValue(TPSExec* exec, void* data, const TPSTypeRec* type);
bool BooleanNotValue(TPSExec* exec, void* data, const TPSTypeRec* type);
bool BitwiseNotValue(TPSExec* exec, void* data, const TPSTypeRec* type);
