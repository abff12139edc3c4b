#pragma once
// Integer arithmetic of the script language, shared by the constant folder
// and the interpreter so that a folded constant always equals what the
// running code computes.
//
// Up to 32 bits an operation runs in 32-bit arithmetic of the left operand's
// sign: the right operand is cut to 32 bits and read with the left's sign.
// An Int64 left takes the right as it is. Sums, differences and products
// wrap; shift counts are taken modulo the operation's width (32 or 64); a
// right shift below 64 bits is logical over 32 bits; the one quotient that
// does not fit, the lowest Int64 divided by -1, wraps to itself with
// remainder 0. The caller stores the result in the left's width.

#include "script/common/bytecode_image.h"
#include "script/common/instruction_set.h"

#include <cstdint>
#include <limits>
#include <optional>

namespace ps {

// The result bits of x <op> y, where x and y are the operands' values and
// leftBase the left operand's integer type; nothing for a division or
// remainder by zero, or for an operator that is not arithmetic.
constexpr std::optional<std::uint64_t> CalcIntegers(pscode::CalcOp op, BaseType leftBase, std::int64_t x,
                                                    std::int64_t y)
{
    using pscode::CalcOp;
    const bool wide = leftBase == BaseType::Int64;
    if (!wide) {
        const auto low = static_cast<std::uint32_t>(y);
        const bool isUnsigned =
            leftBase == BaseType::Byte || leftBase == BaseType::Word || leftBase == BaseType::LongWord;
        y = isUnsigned ? std::int64_t(low) : std::int64_t(static_cast<std::int32_t>(low));
    }
    const unsigned shiftMask = wide ? 63 : 31;
    const auto ux = static_cast<std::uint64_t>(x);
    const auto uy = static_cast<std::uint64_t>(y);
    switch (op) {
    case CalcOp::Add:
        return ux + uy;
    case CalcOp::Subtract:
        return ux - uy;
    case CalcOp::Multiply:
        return ux * uy;
    case CalcOp::Divide:
    case CalcOp::Mod:
        if (y == 0)
            return std::nullopt;
        if (x == std::numeric_limits<std::int64_t>::min() && y == -1)
            return op == CalcOp::Mod ? 0 : ux;
        return static_cast<std::uint64_t>(op == CalcOp::Mod ? x % y : x / y);
    case CalcOp::Shl:
        return ux << (uy & shiftMask);
    case CalcOp::Shr:
        return (wide ? ux : ux & 0xFFFFFFFFu) >> (uy & shiftMask);
    case CalcOp::And:
        return ux & uy;
    case CalcOp::Or:
        return ux | uy;
    case CalcOp::Xor:
        return ux ^ uy;
    default:
        return std::nullopt;
    }
}

} // namespace ps
