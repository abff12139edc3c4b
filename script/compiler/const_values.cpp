// Compile-time values: literals, the constant-expression reader, the folder
// and attribute lists.
//
// Folding never runs into undefined behaviour. Integer operations are the
// interpreter's own (integer_calc.h); real operations that overflow their
// type give a math error.

#include "script/compiler/compiler.h"

#include "script/compiler/integer_calc.h"
#include "script/compiler/utils.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>

using ps::BaseType;
using Err = TPSCompilerErrorCode;
using Tok = TPSPasToken;
using Op = TPSBinOperatorType;

enum class TPSPascalCompiler::FoldStatus : std::uint8_t { Ok, TypeMismatch, DivByZero, MathError };

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

namespace {

// Parentheses, signs and "not" nest at most this deep in a constant.
constexpr int kMaxConstDepth = 128;

bool isTextBase(BaseType b)
{
    return b == BaseType::AnsiString || b == BaseType::PChar || b == BaseType::Char || b == BaseType::WideChar ||
           IsWideStringBase(b);
}

bool isWideTextBase(BaseType b)
{
    return b == BaseType::WideChar || IsWideStringBase(b);
}

// A real rounded to the precision of its type; nothing when it does not fit.
std::optional<long double> toRealOfType(BaseType base, long double x)
{
    if (!std::isfinite(x))
        return std::nullopt;
    if (base == BaseType::Single) {
        if (std::fabs(x) > FLT_MAX)
            return std::nullopt;
        return static_cast<float>(x);
    }
    if (base == BaseType::Double) {
        if (std::fabs(x) > DBL_MAX)
            return std::nullopt;
        return static_cast<double>(x);
    }
    return x;
}

// A real rounded half to even into 64 bits; nothing when it does not fit.
std::optional<std::int64_t> roundToInt64(long double x)
{
    const long double r = std::nearbyint(x);
    // 2^63 is exact in long double; anything at or beyond it does not fit.
    constexpr long double limit = 9223372036854775808.0L;
    if (!std::isfinite(r) || r >= limit || r < -limit)
        return std::nullopt;
    return static_cast<std::int64_t>(r);
}

} // namespace

// ---- Value readers ------------------------------------------------------------

std::int32_t GetIntValue(const TPSValueRecord& value)
{
    return static_cast<std::int32_t>(GetInt64Value(value));
}

std::int64_t GetInt64Value(const TPSValueRecord& value)
{
    return value.Int;
}

long double GetRealValue(const TPSValueRecord& value)
{
    switch (value.Base()) {
    case BaseType::Single:
    case BaseType::Double:
    case BaseType::Extended:
        return value.Real;
    case BaseType::Currency:
        return static_cast<long double>(value.Int) / 10000;
    default:
        return static_cast<long double>(value.Int);
    }
}

std::string GetStringValue(const TPSValueRecord& value)
{
    switch (value.Base()) {
    case BaseType::Char:
        return std::string(1, static_cast<char>(value.Int));
    case BaseType::WideChar:
        return Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(value.Int)));
    case BaseType::WideString:
    case BaseType::UnicodeString:
        return Utf16ToUtf8(value.WStr);
    default:
        return value.Str;
    }
}

std::u16string GetWideStringValue(const TPSValueRecord& value)
{
    switch (value.Base()) {
    case BaseType::Char:
        // An 8-bit char is one byte of the 8-bit text; alone it reads as
        // that code.
        return std::u16string(1, static_cast<char16_t>(value.Int));
    case BaseType::WideChar:
        return std::u16string(1, static_cast<char16_t>(value.Int));
    case BaseType::WideString:
    case BaseType::UnicodeString:
        return value.WStr;
    default:
        return Utf8ToUtf16(value.Str);
    }
}

std::u16string GetUnicodeStringValue(const TPSValueRecord& value)
{
    return GetWideStringValue(value);
}

std::u16string Utf8ToUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int extra = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : -1;
        char32_t cp = extra == 0 ? lead : extra == 1 ? lead & 0x1F : extra == 2 ? lead & 0x0F : lead & 0x07;
        bool valid = extra >= 0 && i + extra < text.size() + (extra == 0 ? 1 : 0);
        for (int k = 1; valid && k <= extra; ++k) {
            const auto cont = static_cast<unsigned char>(text[i + k]);
            valid = (cont & 0xC0) == 0x80;
            cp = (cp << 6) | (cont & 0x3F);
        }
        if (!valid || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            // A byte that starts no valid sequence stands for itself.
            out.push_back(static_cast<char16_t>(lead));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (cp >= 0xD800 && cp <= 0xDFFF)
            cp = 0xFFFD; // a lone surrogate has no UTF-8 form
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

// ---- Result setters -----------------------------------------------------------

void TPSPascalCompiler::SetBooleanResult(TPSValueRecord& value, bool result)
{
    value.Init(UseType(booleanType_));
    value.Int = result ? 1 : 0;
}

void TPSPascalCompiler::SetStringResult(TPSValueRecord& value, std::string text)
{
    value.Init(FindBaseType(BaseType::AnsiString));
    value.Str = std::move(text);
}

void TPSPascalCompiler::SetWideStringResult(TPSValueRecord& value, std::u16string text, BaseType base)
{
    value.Init(FindBaseType(base));
    value.WStr = std::move(text);
}

// ---- Folding --------------------------------------------------------------------

TPSPascalCompiler::FoldStatus TPSPascalCompiler::Fold(Op op, TPSValueRecord& left, const TPSValueRecord& right)
{
    BaseType lb = left.Base();
    const BaseType rb = right.Base();

    // An integer meeting a real becomes of the real's type first.
    if (IsIntegerBase(lb) && IsRealBase(rb)) {
        const std::int64_t x = left.Int;
        left.Init(right.FType);
        if (rb == BaseType::Currency) {
            if (__builtin_mul_overflow(x, std::int64_t{10000}, &left.Int))
                return FoldStatus::MathError;
        } else {
            left.Real = *toRealOfType(rb, static_cast<long double>(x));
        }
        lb = rb;
    }

    const bool isComparison = op >= Op::GreaterEqual && op <= Op::NotEqual;
    if (isComparison) {
        int order = 0; // -1, 0, 1 for numbers, strings and ordinals
        bool ordered = true;
        if (IsNumericBase(lb) && IsNumericBase(rb)) {
            if (IsRealBase(lb) || IsRealBase(rb)) {
                const long double a = GetRealValue(left), b = GetRealValue(right);
                order = a < b ? -1 : a > b ? 1 : 0;
            } else {
                order = left.Int < right.Int ? -1 : left.Int > right.Int ? 1 : 0;
            }
        } else if (isTextBase(lb) && isTextBase(rb)) {
            if (isWideTextBase(lb) || isWideTextBase(rb)) {
                const std::u16string a = GetWideStringValue(left), b = GetWideStringValue(right);
                order = a < b ? -1 : a > b ? 1 : 0;
            } else {
                const std::string a = GetStringValue(left), b = GetStringValue(right);
                order = a < b ? -1 : a > b ? 1 : 0;
            }
        } else if (lb == BaseType::Enumeration && left.FType == right.FType) {
            order = left.Int < right.Int ? -1 : left.Int > right.Int ? 1 : 0;
        } else if (lb == BaseType::Set && left.FType == right.FType) {
            // Sets have equality and inclusion only.
            ordered = false;
            auto includes = [](const std::string& outer, const std::string& inner) {
                for (std::size_t i = 0; i < inner.size(); ++i) {
                    if ((inner[i] & outer[i]) != inner[i])
                        return false;
                }
                return true;
            };
            bool result;
            switch (op) {
            case Op::Equal:
                result = left.Str == right.Str;
                break;
            case Op::NotEqual:
                result = left.Str != right.Str;
                break;
            case Op::LessEqual:
                result = includes(right.Str, left.Str);
                break;
            case Op::GreaterEqual:
                result = includes(left.Str, right.Str);
                break;
            default:
                return FoldStatus::TypeMismatch;
            }
            SetBooleanResult(left, result);
        } else {
            return FoldStatus::TypeMismatch;
        }
        if (ordered) {
            bool result = false;
            switch (op) {
            case Op::GreaterEqual:
                result = order >= 0;
                break;
            case Op::LessEqual:
                result = order <= 0;
                break;
            case Op::Greater:
                result = order > 0;
                break;
            case Op::Less:
                result = order < 0;
                break;
            case Op::Equal:
                result = order == 0;
                break;
            default:
                result = order != 0;
                break;
            }
            SetBooleanResult(left, result);
        }
        return FoldStatus::Ok;
    }

    if (IsIntegerBase(lb) && IsIntegerBase(rb)) {
        if (op > Op::Xor && op != Op::IntDivide)
            return FoldStatus::TypeMismatch;
        // "/" and "div" divide integers alike.
        const auto calc = op == Op::IntDivide ? pscode::CalcOp::Divide : static_cast<pscode::CalcOp>(op);
        const std::optional<std::uint64_t> result = ps::CalcIntegers(calc, lb, left.Int, right.Int);
        if (!result)
            return FoldStatus::DivByZero;
        left.SetInt(static_cast<std::int64_t>(*result));
        return FoldStatus::Ok;
    }

    if (IsRealBase(lb) && IsNumericBase(rb)) {
        const long double b = GetRealValue(right);
        if (lb == BaseType::Currency) {
            std::optional<std::int64_t> value;
            switch (op) {
            case Op::Add:
            case Op::Sub: {
                const std::optional<std::int64_t> r =
                    rb == BaseType::Currency ? std::optional<std::int64_t>(right.Int) : roundToInt64(b * 10000);
                std::int64_t sum;
                if (r && !(op == Op::Add ? __builtin_add_overflow(left.Int, *r, &sum)
                                         : __builtin_sub_overflow(left.Int, *r, &sum)))
                    value = sum;
                break;
            }
            case Op::Mul:
                value = roundToInt64(static_cast<long double>(left.Int) * b);
                break;
            case Op::Divide:
            case Op::IntDivide:
                if (b == 0)
                    return FoldStatus::DivByZero;
                value = roundToInt64(static_cast<long double>(left.Int) / b);
                break;
            default:
                return FoldStatus::TypeMismatch;
            }
            if (!value)
                return FoldStatus::MathError;
            left.Int = *value;
            return FoldStatus::Ok;
        }
        const long double a = left.Real;
        long double r;
        switch (op) {
        case Op::Add:
            r = a + b;
            break;
        case Op::Sub:
            r = a - b;
            break;
        case Op::Mul:
            r = a * b;
            break;
        case Op::Divide:
        case Op::IntDivide:
            if (b == 0)
                return FoldStatus::DivByZero;
            r = a / b;
            break;
        default:
            return FoldStatus::TypeMismatch;
        }
        const std::optional<long double> value = toRealOfType(lb, r);
        if (!value)
            return FoldStatus::MathError;
        left.Real = *value;
        return FoldStatus::Ok;
    }

    if (op == Op::Add && isTextBase(lb) && isTextBase(rb)) {
        if (isWideTextBase(lb) || isWideTextBase(rb)) {
            const BaseType kind = lb == BaseType::WideString || rb == BaseType::WideString ? BaseType::WideString
                                                                                           : BaseType::UnicodeString;
            SetWideStringResult(left, GetWideStringValue(left) + GetWideStringValue(right), kind);
        } else {
            SetStringResult(left, GetStringValue(left) + GetStringValue(right));
        }
        return FoldStatus::Ok;
    }

    if (lb == BaseType::Set && left.FType == right.FType && (op == Op::Add || op == Op::Sub || op == Op::Mul)) {
        for (std::size_t i = 0; i < left.Str.size(); ++i) {
            const char r = right.Str[i];
            left.Str[i] = static_cast<char>(op == Op::Add   ? left.Str[i] | r
                                            : op == Op::Sub ? left.Str[i] & ~r
                                                            : left.Str[i] & r);
        }
        return FoldStatus::Ok;
    }

    if (lb == BaseType::Enumeration) {
        if (op == Op::Add && IsIntegerBase(rb)) {
            left.SetInt(static_cast<std::int64_t>(static_cast<std::uint64_t>(left.Int) +
                                                  static_cast<std::uint64_t>(right.Int)));
            return FoldStatus::Ok;
        }
        if ((op == Op::And || op == Op::Or || op == Op::Xor) && left.FType == right.FType) {
            left.SetInt(op == Op::And  ? left.Int & right.Int
                        : op == Op::Or ? left.Int | right.Int
                                       : left.Int ^ right.Int);
            return FoldStatus::Ok;
        }
    }
    return FoldStatus::TypeMismatch;
}

TPSPascalCompiler::FoldStatus TPSPascalCompiler::Negate(TPSValueRecord& value)
{
    const BaseType base = value.Base();
    if (IsUnsignedBase(base)) {
        // The negation of an unsigned value is signed: LongInt when it fits,
        // else Int64.
        const std::int64_t result = -value.Int;
        value.Init(FindBaseType(result >= INT32_MIN ? BaseType::LongInt : BaseType::Int64));
        value.Int = result;
        return FoldStatus::Ok;
    }
    if (IsIntegerBase(base) || base == BaseType::Currency) {
        const std::int64_t x = value.Int;
        value.SetInt(static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(x)));
        return FoldStatus::Ok;
    }
    if (IsRealBase(base)) {
        value.Real = -value.Real;
        return FoldStatus::Ok;
    }
    return FoldStatus::TypeMismatch;
}

TPSPascalCompiler::FoldStatus TPSPascalCompiler::Not(TPSValueRecord& value)
{
    if (IsIntegerBase(value.Base())) {
        value.SetInt(~value.Int);
        return FoldStatus::Ok;
    }
    if (IsBooleanType(value.FType)) {
        value.Int = value.Int == 0 ? 1 : 0;
        return FoldStatus::Ok;
    }
    return FoldStatus::TypeMismatch;
}

void TPSPascalCompiler::ReportFold(const TPSPascalParser& parser, FoldStatus status)
{
    switch (status) {
    case FoldStatus::Ok:
        break;
    case FoldStatus::TypeMismatch:
        ErrorAt(parser, Err::TypeMismatch);
        break;
    case FoldStatus::DivByZero:
        ErrorAt(parser, Err::DivideByZero);
        break;
    case FoldStatus::MathError:
        ErrorAt(parser, Err::MathError, "Overflow");
        break;
    }
}

bool TPSPascalCompiler::PreCalc(Op op, TPSValueRecord& left, const TPSValueRecord& right)
{
    const FoldStatus status = Fold(op, left, right);
    ReportFold(*parser_, status);
    return status == FoldStatus::Ok;
}

// ---- Literals -------------------------------------------------------------------

bool TPSPascalCompiler::ReadNumberLiteral(TPSPascalParser& p, TPSValueRecord& dest)
{
    const std::string& text = p.Token();
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
        const std::string& token = p.Token();
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
    std::unique_ptr<ConstNode> tree = ReadConstLevel(p, 0, 0);
    return tree && EvalConst(p, *tree, dest);
}

namespace {

std::optional<Op> relationalOp(Tok t)
{
    switch (t) {
    case Tok::Equal:
        return Op::Equal;
    case Tok::NotEqual:
        return Op::NotEqual;
    case Tok::Greater:
        return Op::Greater;
    case Tok::GreaterEqual:
        return Op::GreaterEqual;
    case Tok::Less:
        return Op::Less;
    case Tok::LessEqual:
        return Op::LessEqual;
    default:
        return std::nullopt;
    }
}

std::optional<Op> additiveOp(Tok t)
{
    switch (t) {
    case Tok::Plus:
        return Op::Add;
    case Tok::Minus:
        return Op::Sub;
    case Tok::KwOr:
        return Op::Or;
    case Tok::KwXor:
        return Op::Xor;
    default:
        return std::nullopt;
    }
}

std::optional<Op> multiplicativeOp(Tok t)
{
    switch (t) {
    case Tok::Multiply:
        return Op::Mul;
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
    default:
        return std::nullopt;
    }
}

} // namespace

std::unique_ptr<TPSPascalCompiler::ConstNode> TPSPascalCompiler::ReadConstLevel(TPSPascalParser& p, int depth,
                                                                                int level)
{
    auto operand = [&] { return level == 2 ? ReadConstFactor(p, depth) : ReadConstLevel(p, depth, level + 1); };
    auto left = operand();
    while (left) {
        const Tok t = p.CurrTokenId();
        const std::optional<Op> op = level == 0 ? relationalOp(t) : level == 1 ? additiveOp(t) : multiplicativeOp(t);
        if (!op)
            break;
        p.Next();
        auto node = std::make_unique<ConstNode>();
        node->kind = ConstNode::Kind::Binary;
        node->op = *op;
        node->left = std::move(left);
        node->right = operand();
        left = node->right ? std::move(node) : nullptr;
    }
    return left;
}

std::unique_ptr<TPSPascalCompiler::ConstNode> TPSPascalCompiler::ReadConstFactor(TPSPascalParser& p, int depth)
{
    if (depth > kMaxConstDepth) {
        ErrorAt(p, Err::SyntaxError);
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
        const std::uint32_t hash = MakeHash(p.Token());
        for (auto it = constants_.rbegin(); it != constants_.rend(); ++it) {
            if ((*it)->NameHash == hash && (*it)->Name == p.Token()) {
                node->value = (*it)->Value;
                p.Next();
                return node;
            }
        }
        ErrorAt(p, Err::UnknownIdentifier, p.RawToken());
        return nullptr;
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
        status = leftmost->kind == ConstNode::Kind::Negate ? Negate(dest) : Not(dest);
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
