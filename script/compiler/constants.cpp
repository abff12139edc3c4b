// Literals, constant expressions and attribute lists.

#include "script/compiler/compiler.h"

#include "script/common/utils.h"
#include "script/compiler/operator_levels.h"

#include <charconv>
#include <cmath>
#include <limits>

using ps::BaseType;
using Err = TPSCompilerErrorCode;
using Tok = TPSPasToken;
using Op = TPSBinOperatorType;

struct TPSPascalCompiler::ConstNode
{
    enum class Kind : std::uint8_t { Data, Negate, Not, Binary } kind = Kind::Data;
    Op op = Op::Add;
    TPSValueRecord value;
    std::unique_ptr<ConstNode> left; // the operand of a unary node
    std::unique_ptr<ConstNode> right;

    ~ConstNode()
    {
        // Operator chains grow on the left; unlink them without recursion.
        while (left) {
            std::unique_ptr<ConstNode> next = std::move(left->left);
            left = std::move(next);
        }
    }
};

// ---- Literals -------------------------------------------------------------------

bool TPSPascalCompiler::ReadNumberLiteral(TPSPascalParser& p, TPSValueRecord& dest)
{
    const std::string_view text = p.Token();
    if (p.CurrTokenId() == Tok::Real) {
        long double value;
        try {
            value = StrToFloatStrict(text);
        } catch (const std::exception&) {
            ErrorAt(p, Err::MathError, text);
            return false;
        }
        if (!std::isfinite(value)) {
            ErrorAt(p, Err::MathError, text);
            return false;
        }
        dest.Init(FindBaseType(BaseType::Extended));
        dest.Real = value;
        p.Next();
        return true;
    }
    const bool hex = p.CurrTokenId() == Tok::HexInt;
    const char* first = text.data() + (hex ? 1 : 0);
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(first, text.data() + text.size(), value, hex ? 16 : 10);
    // A literal beyond the Int64 range has no type to hold it.
    if (ec != std::errc() || end != text.data() + text.size() ||
        value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        ErrorAt(p, Err::MathError, text);
        return false;
    }
    const BaseType base = value <= 2147483647u   ? BaseType::LongInt
                          : value <= 4294967295u ? BaseType::LongWord
                                                 : BaseType::Int64;
    dest.Init(FindBaseType(base));
    dest.Int = static_cast<std::int64_t>(value);
    p.Next();
    return true;
}

bool TPSPascalCompiler::ReadStringLiteral(TPSPascalParser& p, TPSValueRecord& dest)
{
    std::string narrow;
    std::u16string wide;
    bool isWide = false;
    bool afterQuoted = false;
    while (p.CurrTokenId() == Tok::String || p.CurrTokenId() == Tok::Char) {
        const std::string_view token = p.Token();
        if (p.CurrTokenId() == Tok::String) {
            if (afterQuoted) {
                ErrorAt(p, Err::SyntaxError);
                return false;
            }
            std::string piece;
            for (std::size_t i = 1; i + 1 < token.size(); ++i) {
                piece.push_back(token[i]);
                if (token[i] == '\'')
                    ++i; // a doubled quote is one quote
            }
            narrow += piece;
            wide += Utf8ToUtf16(piece);
            afterQuoted = true;
        } else {
            const bool hex = token.size() > 1 && token[1] == '$';
            std::uint32_t code = 0;
            const char* from = token.data() + (hex ? 2 : 1);
            const auto [end, ec] = std::from_chars(from, token.data() + token.size(), code, hex ? 16 : 10);
            if (ec != std::errc() || end != token.data() + token.size() || code > 0xFFFF) {
                ErrorAt(p, Err::CharError);
                return false;
            }
            isWide = isWide || code > 255;
            narrow.push_back(static_cast<char>(code));
            wide.push_back(static_cast<char16_t>(code));
            afterQuoted = false;
        }
        p.Next();
    }
    if (isWide) {
        if (wide.size() == 1) {
            dest.Init(FindBaseType(BaseType::WideChar));
            dest.Int = wide[0];
        } else {
            SetWideStringResult(dest, std::move(wide), BaseType::UnicodeString);
        }
    } else if (narrow.size() == 1) {
        dest.Init(FindBaseType(BaseType::Char));
        dest.Int = static_cast<unsigned char>(narrow[0]);
    } else {
        SetStringResult(dest, std::move(narrow));
    }
    return true;
}

// ---- Constant expressions -------------------------------------------------------

bool TPSPascalCompiler::ReadConstant(TPSValueRecord& dest)
{
    return ReadConstValue(*parser_, dest);
}

bool TPSPascalCompiler::ReadConstValue(TPSPascalParser& p, TPSValueRecord& dest)
{
    std::unique_ptr<ConstNode> tree = ReadConstLevel(p, 1, 0);
    return tree && EvalConst(p, *tree, dest);
}

std::unique_ptr<TPSPascalCompiler::ConstNode> TPSPascalCompiler::ReadConstLevel(TPSPascalParser& p, int depth,
                                                                                int level)
{
    auto left = ReadConstFactor(p, depth);
    while (left) {
        const std::optional<TPSLeveledOperator> found = BinaryOperatorFrom(level, p.CurrTokenId(), true);
        if (!found)
            break;
        p.Next();
        auto node = std::make_unique<ConstNode>();
        node->kind = ConstNode::Kind::Binary;
        node->op = found->op;
        node->left = std::move(left);
        // The right operand holds only operators that bind tighter.
        node->right = found->level == 2 ? ReadConstFactor(p, depth) : ReadConstLevel(p, depth, found->level + 1);
        left = node->right ? std::move(node) : nullptr;
    }
    return left;
}

std::unique_ptr<TPSPascalCompiler::ConstNode> TPSPascalCompiler::ReadConstFactor(TPSPascalParser& p, int depth)
{
    // As in expressions, the outermost factor is at depth one.
    if (depth > kMaxExpressionNesting || StackNearlyFull()) {
        ErrorAt(p, Err::CustomError, kExpressionTooComplex);
        return nullptr;
    }
    auto node = std::make_unique<ConstNode>();
    switch (p.CurrTokenId()) {
    case Tok::Integer:
    case Tok::HexInt:
    case Tok::Real:
        if (!ReadNumberLiteral(p, node->value))
            return nullptr;
        return node;
    case Tok::String:
    case Tok::Char:
        if (!ReadStringLiteral(p, node->value))
            return nullptr;
        return node;
    case Tok::Identifier: {
        const TPSConstant* constant = FindConstant(p.Token());
        if (!constant) {
            ErrorAt(p, Err::UnknownIdentifier, p.RawToken());
            return nullptr;
        }
        node->value = constant->Value;
        p.Next();
        return node;
    }
    case Tok::OpenRound: {
        p.Next();
        auto inner = ReadConstLevel(p, depth + 1, 0);
        if (!inner || !Expect(p, Tok::CloseRound, Err::CloseRoundExpected))
            return nullptr;
        return inner;
    }
    case Tok::Minus:
        // A minus takes the whole term after it: -2*3 is -(2*3).
        p.Next();
        node->kind = ConstNode::Kind::Negate;
        node->left = ReadConstLevel(p, depth + 1, 2);
        return node->left ? std::move(node) : nullptr;
    case Tok::KwNot:
        p.Next();
        node->kind = ConstNode::Kind::Not;
        node->left = ReadConstFactor(p, depth + 1);
        return node->left ? std::move(node) : nullptr;
    default:
        ErrorAt(p, Err::SyntaxError);
        return nullptr;
    }
}

bool TPSPascalCompiler::EvalConst(TPSPascalParser& p, ConstNode& node, TPSValueRecord& dest)
{
    // Binary chains are walked down their left side without recursion; the
    // right operands are factors or terms whose depth the reader bounds.
    std::vector<ConstNode*> chain;
    ConstNode* leftmost = &node;
    while (leftmost->kind == ConstNode::Kind::Binary) {
        chain.push_back(leftmost);
        leftmost = leftmost->left.get();
    }
    FoldStatus status = FoldStatus::Ok;
    if (leftmost->kind == ConstNode::Kind::Data) {
        dest = leftmost->value;
    } else {
        if (!EvalConst(p, *leftmost->left, dest))
            return false;
        // A constant's "not" complements an integer's bits; it has no
        // Boolean form here.
        if (leftmost->kind == ConstNode::Kind::Negate)
            status = Negate(dest);
        else
            status = IsIntegerBase(dest.Base()) ? Not(dest) : FoldStatus::TypeMismatch;
    }
    for (auto it = chain.rbegin(); status == FoldStatus::Ok && it != chain.rend(); ++it) {
        TPSValueRecord right;
        if (!EvalConst(p, *(*it)->right, right))
            return false;
        status = Fold((*it)->op, dest, right);
    }
    ReportFold(p, status);
    return status == FoldStatus::Ok;
}

// ---- Attributes -----------------------------------------------------------------

bool TPSPascalCompiler::ReadAttributes(TPSAttributes& dest)
{
    TPSPascalParser& p = *parser_;
    p.Next();
    while (p.CurrTokenId() != Tok::CloseBlock) {
        if (p.CurrTokenId() != Tok::Identifier) {
            MakeError({}, Err::IdentifierExpected, {});
            return false;
        }
        TPSAttributeType* type = FindAttributeType(p.Token());
        if (!type) {
            MakeError({}, Err::UnknownIdentifier, p.RawToken());
            return false;
        }
        p.Next();
        TPSAttribute& attribute = dest.emplace_back();
        attribute.AType = type;
        if (!type->Fields.empty()) {
            if (!Expect(p, Tok::OpenRound, Err::OpenRoundExpected))
                return false;
            for (std::size_t i = 0; i < type->Fields.size(); ++i) {
                if (i > 0 && !Expect(p, Tok::Comma, Err::CommaExpected))
                    return false;
                TPSValueRecord& value = attribute.Values.emplace_back();
                if (!ReadConstant(value))
                    return false;
                if (!IsCompatibleType(type->Fields[i].FieldType, value.FType, false)) {
                    MakeError({}, Err::TypeMismatch, {});
                    return false;
                }
            }
            if (!Expect(p, Tok::CloseRound, Err::CloseRoundExpected))
                return false;
        }
        if (p.CurrTokenId() == Tok::Comma || p.CurrTokenId() == Tok::Semicolon)
            p.Next();
        else if (p.CurrTokenId() != Tok::CloseBlock) {
            MakeError({}, Err::CloseBlockExpected, {});
            return false;
        }
    }
    p.Next();
    return true;
}
