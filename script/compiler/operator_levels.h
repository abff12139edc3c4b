#pragma once
// The two-operand operators by binding level, loosest first: 0 relational,
// 1 additive, 2 multiplicative. Constant expressions know no "in", "is" or
// "as".

#include "script/common/instruction_set.h"
#include "script/compiler/pascal_parser.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// Chains of operators are read and written in loops, whatever their length;
// an operand of a tighter level is read by one call for that level; what
// nests (parentheses, signs, "not", the arguments of calls) is read by
// recursion, so its depth is bounded far above what a program writes, with
// this message where the bound is reached.
constexpr int kMaxExpressionNesting = 1000;
constexpr std::string_view kExpressionTooComplex = "expression too complex";

constexpr std::optional<pscode::CalcOp> BinaryOperatorAt(int level, TPSPasToken t, bool constant)
{
    using Op = pscode::CalcOp;
    using Tok = TPSPasToken;
    switch (level) {
    case 0:
        switch (t) {
        case Tok::Equal:
            return Op::Equal;
        case Tok::NotEqual:
            return Op::NotEqual;
        case Tok::Less:
            return Op::Less;
        case Tok::Greater:
            return Op::Greater;
        case Tok::LessEqual:
            return Op::LessEqual;
        case Tok::GreaterEqual:
            return Op::GreaterEqual;
        case Tok::KwIn:
            return constant ? std::nullopt : std::optional(Op::In);
        case Tok::KwIs:
            return constant ? std::nullopt : std::optional(Op::Is);
        default:
            return std::nullopt;
        }
    case 1:
        switch (t) {
        case Tok::Plus:
            return Op::Add;
        case Tok::Minus:
            return Op::Subtract;
        case Tok::KwOr:
            return Op::Or;
        case Tok::KwXor:
            return Op::Xor;
        default:
            return std::nullopt;
        }
    default:
        switch (t) {
        case Tok::Multiply:
            return Op::Multiply;
        case Tok::Divide:
            return Op::Divide;
        case Tok::KwDiv:
            return Op::IntDivide;
        case Tok::KwMod:
            return Op::Mod;
        case Tok::KwAnd:
            return Op::And;
        case Tok::KwShl:
            return Op::Shl;
        case Tok::KwShr:
            return Op::Shr;
        case Tok::KwAs:
            return constant ? std::nullopt : std::optional(Op::As);
        default:
            return std::nullopt;
        }
    }
}

// The operator at t whose level is minLevel or tighter, with its level: an
// expression is read by climbing these levels in one loop, where a level
// looser than the one being read ends the operand.
struct TPSLeveledOperator
{
    int level;
    pscode::CalcOp op;
};

namespace ps::operator_table {

// The level and operator of every token, looked up once per operand; level
// -1 for no operator. Constant expressions know only the operators marked
// for them.
struct Entry
{
    std::int8_t level = -1;
    bool inConstants = false;
    pscode::CalcOp op{};
};

constexpr int kTokenCount = static_cast<int>(TPSPasToken::KwNil) + 1;

constexpr std::array<Entry, kTokenCount> makeTable()
{
    std::array<Entry, kTokenCount> table{};
    for (int t = 0; t < kTokenCount; ++t) {
        for (int level = 0; level <= 2; ++level) {
            const auto token = static_cast<TPSPasToken>(t);
            if (const std::optional<pscode::CalcOp> op = BinaryOperatorAt(level, token, false)) {
                table[static_cast<std::size_t>(t)] = {static_cast<std::int8_t>(level),
                                                      BinaryOperatorAt(level, token, true).has_value(), *op};
            }
        }
    }
    return table;
}

inline constexpr std::array<Entry, kTokenCount> kTable = makeTable();

} // namespace ps::operator_table

inline std::optional<TPSLeveledOperator> BinaryOperatorFrom(int minLevel, TPSPasToken t, bool constant)
{
    const auto index = static_cast<std::size_t>(t);
    if (index >= ps::operator_table::kTable.size())
        return std::nullopt;
    const ps::operator_table::Entry& entry = ps::operator_table::kTable[index];
    if (entry.level < minLevel || (constant && !entry.inConstants))
        return std::nullopt;
    return TPSLeveledOperator{entry.level, entry.op};
}
