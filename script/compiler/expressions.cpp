// Reading expressions into value trees: operators by their binding levels,
// factors, identifiers with their postfix chains, calls and their parameter
// checks, result types, and the folding of constant sub-trees.

#include "script/compiler/value_tree.h"

#include "script/common/utils.h"
#include "script/compiler/class_import.h"
#include "script/compiler/image_writer.h"
#include "script/compiler/operator_levels.h"

using ps::BaseType;
using Err = TPSCompilerErrorCode;
using Tok = TPSPasToken;
using Op = TPSBinOperatorType;

namespace {

bool isOneOf(BaseType b, std::initializer_list<BaseType> list)
{
    return std::find(list.begin(), list.end(), b) != list.end();
}

bool isVariantBase(BaseType b)
{
    return b == BaseType::Variant || b == BaseType::NotificationVariant;
}

bool isStringLike(BaseType b)
{
    return isOneOf(
        b, {BaseType::AnsiString, BaseType::Char, BaseType::WideString, BaseType::WideChar, BaseType::UnicodeString});
}

const TPSSetType* asSet(const TPSType* type)
{
    type = ResolveLink(type);
    return type && type->BaseType == BaseType::Set ? static_cast<const TPSSetType*>(type) : nullptr;
}

// Two set types over the same element type are one type.
bool sameSet(const TPSType* a, const TPSType* b)
{
    const TPSSetType* x = asSet(a);
    const TPSSetType* y = asSet(b);
    return x && y && ResolveLink(x->SetType) == ResolveLink(y->SetType);
}

// A one-operand node at its operand's place.
std::unique_ptr<TPSUnValueOp> unaryNode(TPSUnOperatorType op, std::unique_ptr<TPSValue> operand, TPSType* type)
{
    auto node = std::make_unique<TPSUnValueOp>();
    node->Pos = operand->Pos;
    node->Row = operand->Row;
    node->Col = operand->Col;
    node->Operator = op;
    node->AType = type;
    node->Val = std::move(operand);
    return node;
}

} // namespace

// ---- Helpers ----------------------------------------------------------------------

void TPSExpressionCompiler::Place(TPSValue& value) const
{
    const TPSPascalParser& p = c_.Parser();
    value.Pos = static_cast<std::int32_t>(p.Position());
    value.Row = p.Row();
    value.Col = p.GetCol();
}

bool TPSExpressionCompiler::Fail(Err code, std::string_view param)
{
    c_.MakeError({}, code, param);
    return false;
}

bool TPSExpressionCompiler::FailAt(const TPSValue& value, Err code, std::string_view param)
{
    c_.MakeError({}, code, param)->SetCustomPos(static_cast<std::uint32_t>(value.Pos), value.Row, value.Col);
    return false;
}

// ---- Binding levels -------------------------------------------------------------

std::unique_ptr<TPSValue> TPSExpressionCompiler::ReadExpression()
{
    std::unique_ptr<TPSValue> tree = ReadLevel(0);
    if (tree && !Fold(tree))
        return nullptr;
    return tree;
}

std::unique_ptr<TPSValue> TPSExpressionCompiler::ReadLevel(int level)
{
    TPSPascalParser& p = c_.Parser();
    std::unique_ptr<TPSValue> left = ReadFactor();
    while (left) {
        const std::optional<TPSLeveledOperator> found = BinaryOperatorFrom(level, p.CurrTokenId(), false);
        if (!found)
            break;
        const Op op = found->op;
        p.Next();
        // The right operand holds only operators that bind tighter.
        std::unique_ptr<TPSValue> right = found->level == 2 ? ReadFactor() : ReadLevel(found->level + 1);
        if (!right)
            return nullptr;
        if (op == Op::As) {
            auto* data = ValueAs<TPSValueData>(right.get());
            if (data && data->Data.Base() == BaseType::TypeNumber) {
                left = MakeCast(std::move(left), data->Data.TypeRef);
                continue;
            }
        }
        left = MakeBinary(op, std::move(left), std::move(right));
    }
    return left;
}

std::unique_ptr<TPSValue> TPSExpressionCompiler::MakeBinary(Op op, std::unique_ptr<TPSValue> left,
                                                            std::unique_ptr<TPSValue> right)
{
    auto node = std::make_unique<TPSBinValueOp>();
    node->Pos = left->Pos;
    node->Row = left->Row;
    node->Col = left->Col;
    node->AType = BinaryResultType(op, *left, *right);
    if (!node->AType) {
        Fail(Err::TypeMismatch);
        return nullptr;
    }
    node->Operator = op;
    if ((op == Op::And || op == Op::Or) && c_.IsBooleanType(node->AType))
        WarnConstantOperand(op, *left, *right);
    node->Val1 = std::move(left);
    node->Val2 = std::move(right);
    return node;
}

// A Boolean constant beside "and" or "or" either decides the result or does
// nothing.
void TPSExpressionCompiler::WarnConstantOperand(Op op, const TPSValue& left, const TPSValue& right)
{
    const bool isAnd = op == Op::And;
    for (const TPSValue* side : {&left, &right}) {
        auto* data = ValueAs<TPSValueData>(side);
        if (!data || !c_.IsBooleanType(data->Data.FType))
            continue;
        const bool value = data->Data.Int != 0;
        const std::string word = value ? "True" : "False";
        TPSPascalCompilerWarning* warning;
        if (value == isAnd) {
            const std::string text = side == &left ? word + (isAnd ? " and" : " or") : (isAnd ? "and " : "or ") + word;
            warning = c_.MakeWarning({}, TPSCompilerWarningCode::IsNotNeeded, "\"" + text + "\"");
        } else {
            warning = c_.MakeWarning({}, TPSCompilerWarningCode::CalculationAlwaysEvaluatesTo, word);
        }
        warning->SetCustomPos(static_cast<std::uint32_t>(left.Pos), left.Row, left.Col);
        return;
    }
}

TPSType* TPSExpressionCompiler::BinaryResultType(Op op, const TPSValue& left, const TPSValue& right)
{
    TPSType* lt = GetValueType(left);
    TPSType* rt = GetValueType(right);
    const bool leftArray = ValueAs<TPSValueArray>(&left) != nullptr;
    const bool rightArray = ValueAs<TPSValueArray>(&right) != nullptr;
    TPSType* boolean = c_.BooleanType();
    const bool leftNil = ValueAs<TPSValueNil>(&left) != nullptr;
    const bool rightNil = ValueAs<TPSValueNil>(&right) != nullptr;
    if (leftNil || rightNil) {
        TPSType* typed = leftNil ? rt : lt;
        const bool comparable =
            typed && isOneOf(typed->BaseType, {BaseType::PChar, BaseType::AnsiString, BaseType::Class,
                                               BaseType::Interface, BaseType::Procedural});
        return comparable && (op == Op::Equal || op == Op::NotEqual) ? boolean : nullptr;
    }
    if (op == Op::In) {
        if (rightArray)
            return boolean;
        // An integer tests a set of Byte as well as a Byte does.
        const TPSSetType* set = asSet(rt);
        const BaseType element = set ? BaseOf(set->SetType) : BaseType::ReturnAddress;
        return set && lt &&
                       (ResolveLink(set->SetType) == lt || element == lt->BaseType ||
                        (IsIntegerBase(element) && IsIntegerBase(lt->BaseType)))
                   ? boolean
                   : nullptr;
    }
    if (op == Op::Is) {
        auto* data = ValueAs<TPSValueData>(&right);
        return data && data->Data.Base() == BaseType::TypeNumber ? boolean : nullptr;
    }
    // A set meets a bracketed list.
    if ((asSet(lt) && rightArray) || (leftArray && asSet(rt))) {
        if (op == Op::Add || op == Op::Subtract || op == Op::Multiply)
            return asSet(lt) ? lt : rt;
        return op == Op::Equal || op == Op::NotEqual ? boolean : nullptr;
    }
    if (!lt || !rt)
        return nullptr;
    const BaseType l = lt->BaseType;
    const BaseType r = rt->BaseType;
    const bool lv = isVariantBase(l), rv = isVariantBase(r);
    switch (op) {
    case Op::Add:
    case Op::Subtract:
    case Op::Multiply:
    case Op::Divide:
    case Op::IntDivide: {
        const bool textual = op == Op::Add;
        auto variantPartner = [&](BaseType other) {
            return isVariantBase(other) || IsNumericBase(other) ||
                   (textual && (isStringLike(other) || other == BaseType::PChar));
        };
        if (lv && variantPartner(r))
            return lt;
        if (rv && variantPartner(l))
            return rt;
        if (IsIntegerBase(l) && IsIntegerBase(r))
            return lt;
        if (IsNumericBase(l) && IsNumericBase(r))
            return IsRealBase(l) ? lt : rt;
        if (op != Op::Divide && op != Op::IntDivide && sameSet(lt, rt))
            return lt;
        if (textual) {
            const auto narrow = {BaseType::AnsiString, BaseType::PChar, BaseType::Char};
            if (isOneOf(l, narrow) && isOneOf(r, narrow))
                return c_.FindBaseType(BaseType::AnsiString);
            const auto any = {BaseType::AnsiString, BaseType::PChar,    BaseType::Char,
                              BaseType::WideString, BaseType::WideChar, BaseType::UnicodeString};
            if (isOneOf(l, any) && isOneOf(r, any))
                return c_.FindBaseType(BaseType::WideString);
        }
        return nullptr;
    }
    case Op::Mod:
    case Op::Shl:
    case Op::Shr:
        if (IsIntegerBase(l) && IsIntegerBase(r))
            return lt;
        if (lv && IsIntegerBase(r))
            return lt;
        if (rv && IsIntegerBase(l))
            return rt;
        return nullptr;
    case Op::And:
    case Op::Or:
    case Op::Xor:
        if (IsIntegerBase(l) && IsIntegerBase(r))
            return lt;
        if (c_.IsBooleanType(lt) && (c_.IsBooleanType(rt) || rv))
            return lt;
        if (lv && c_.IsBooleanType(rt))
            return lt;
        return nullptr;
    case Op::As:
        return nullptr;
    case Op::GreaterEqual:
    case Op::LessEqual:
    case Op::Greater:
    case Op::Less:
    case Op::Equal:
    case Op::NotEqual: {
        const bool equality = op == Op::Equal || op == Op::NotEqual;
        const auto textLike = [](BaseType b) { return isStringLike(b) || b == BaseType::PChar; };
        if ((lv && (rv || textLike(r) || IsNumericBase(r))) || (rv && (textLike(l) || IsNumericBase(l))))
            return boolean;
        if (sameSet(lt, rt) && (equality || op == Op::GreaterEqual || op == Op::LessEqual))
            return boolean;
        if ((IsIntegerBase(l) && IsIntegerBase(r)) || (IsNumericBase(l) && IsNumericBase(r)))
            return boolean;
        if (isStringLike(l) && isStringLike(r))
            return boolean;
        if (!equality)
            return nullptr;
        if (l == BaseType::Enumeration && lt == rt)
            return boolean;
        if ((l == BaseType::Class && r == BaseType::Class) || lt == rt || lv || rv)
            return boolean;
        return nullptr;
    }
    default:
        return nullptr;
    }
}

std::unique_ptr<TPSValue> TPSExpressionCompiler::MakeCast(std::unique_ptr<TPSValue> value, TPSType* target)
{
    TPSType* source = GetValueType(*value);
    if (!source || !c_.IsCompatibleType(target, source, true)) {
        Fail(Err::TypeMismatch);
        return nullptr;
    }
    return unaryNode(TPSUnOperatorType::Cast, std::move(value), ResolveLink(target));
}

// A cast between two class or interface types is checked at run time by
// the target type's cast routine, given the value and the type's number.
std::unique_ptr<TPSValue> TPSExpressionCompiler::MakeObjectCast(std::unique_ptr<TPSValue> value, TPSType* target,
                                                                const TPSValue& at)
{
    std::int32_t procNo = -1;
    if (target->BaseType == BaseType::Class) {
        if (TPSCompileTimeClass* cl = static_cast<TPSClassType*>(target)->Cl)
            procNo = cl->CastSupportProcNo();
    } else if (TPSInterface* intf = static_cast<TPSInterfaceType*>(target)->Intf) {
        procNo = InterfaceCastSupportProcNo(c_, *intf);
    }
    if (procNo < 0) {
        Fail(Err::TypeMismatch);
        return nullptr;
    }
    auto call = std::make_unique<TPSValueProcNo>();
    call->Pos = at.Pos;
    call->Row = at.Row;
    call->Col = at.Col;
    call->ProcNo = static_cast<std::uint32_t>(procNo);
    call->ResultType = target;
    TPSParameter object;
    object.ExpectedType = GetValueType(*value);
    object.Val = std::move(value);
    TPSParameter typeNo;
    auto number = std::make_unique<TPSValueData>();
    number->Data.Init(c_.FindBaseType(BaseType::LongWord));
    number->Data.Int = c_.UseType(target)->FinalTypeNo;
    typeNo.ExpectedType = number->Data.FType;
    typeNo.Val = std::move(number);
    call->Parameters.push_back(std::move(object));
    call->Parameters.push_back(std::move(typeNo));
    return call;
}

// ---- Factors -----------------------------------------------------------------------

std::unique_ptr<TPSValue> TPSExpressionCompiler::ReadFactor()
{
    TPSPascalParser& p = c_.Parser();
    const Nesting nesting(depth_);
    if (depth_ > kMaxExpressionNesting || c_.StackNearlyFull()) {
        Fail(Err::CustomError, kExpressionTooComplex);
        return nullptr;
    }
    switch (p.CurrTokenId()) {
    case Tok::Identifier: {
        const std::string_view name = p.Token();
        // Most names are none of the built-in forms: their length tells.
        switch (name.size()) {
        case 4:
            if (name == "SUCC" || name == "PRED")
                return ReadSuccessor(name == "SUCC");
            break;
        case 6:
            if (name == "SIZEOF")
                return ReadSizeOf();
            break;
        case 8:
            if (name == "ASSIGNED")
                return ReadAssigned();
            break;
        default:
            break;
        }
        return GetIdentifier(false);
    }
    case Tok::OpenRound: {
        p.Next();
        std::unique_ptr<TPSValue> inner = ReadLevel(0);
        if (!inner || !c_.Expect(p, Tok::CloseRound, Err::CloseRoundExpected))
            return nullptr;
        return inner;
    }
    case Tok::OpenBlock:
        return ReadList();
    case Tok::Plus:
        p.Next();
        return ReadLevel(2);
    case Tok::Minus:
        // A minus takes the whole term after it: -a*b is -(a*b).
        p.Next();
        return MakeUnary(TPSUnOperatorType::Negate, ReadLevel(2));
    case Tok::KwNot:
        p.Next();
        return MakeUnary(TPSUnOperatorType::Not, ReadFactor());
    case Tok::Integer:
    case Tok::HexInt:
    case Tok::Real:
    case Tok::String:
    case Tok::Char:
        return ReadLiteral();
    case Tok::AddressOf:
        return ReadAddress();
    case Tok::KwChr:
    case Tok::KwOrd:
        return ReadChrOrd(p.CurrTokenId() == Tok::KwChr);
    case Tok::KwNil: {
        auto nil = std::make_unique<TPSValueNil>();
        Place(*nil);
        p.Next();
        return nil;
    }
    default:
        Fail(Err::SyntaxError);
        return nullptr;
    }
}

// "not" takes integers, Booleans and Variants; a minus numbers and Variants.
std::unique_ptr<TPSValue> TPSExpressionCompiler::MakeUnary(TPSUnOperatorType op, std::unique_ptr<TPSValue> operand)
{
    if (!operand)
        return nullptr;
    TPSType* type = GetValueType(*operand);
    const bool fits =
        type && (op == TPSUnOperatorType::Not
                     ? IsIntegerBase(type->BaseType) || c_.IsBooleanType(type) || isVariantBase(type->BaseType)
                     : IsNumericBase(type->BaseType) || isVariantBase(type->BaseType));
    if (!fits) {
        Fail(Err::TypeMismatch);
        return nullptr;
    }
    return unaryNode(op, std::move(operand), type);
}

// "(" expression ")" after a routine name that takes one operand.
std::unique_ptr<TPSValue> TPSExpressionCompiler::ReadParenthesized()
{
    TPSPascalParser& p = c_.Parser();
    if (!c_.Expect(p, Tok::OpenRound, Err::OpenRoundExpected))
        return nullptr;
    std::unique_ptr<TPSValue> operand = ReadLevel(0);
    if (!operand || !c_.Expect(p, Tok::CloseRound, Err::CloseRoundExpected))
        return nullptr;
    return operand;
}

// Succ and Pred add or subtract one and keep the operand's type, so that
// enumerations pass.
std::unique_ptr<TPSValue> TPSExpressionCompiler::ReadSuccessor(bool next)
{
    auto node = std::make_unique<TPSBinValueOp>();
    Place(*node);
    c_.Parser().Next();
    std::unique_ptr<TPSValue> operand = ReadParenthesized();
    if (!operand)
        return nullptr;
    TPSType* type = GetValueType(*operand);
    if (!type || !(IsIntegerBase(type->BaseType) || type->BaseType == BaseType::Enumeration)) {
        Fail(Err::TypeMismatch);
        return nullptr;
    }
    auto one = std::make_unique<TPSValueData>();
    one->Data.Init(c_.FindBaseType(BaseType::LongInt));
    one->Data.Int = 1;
    node->Operator = next ? Op::Add : Op::Subtract;
    node->AType = type;
    node->Val1 = std::move(operand);
    node->Val2 = std::move(one);
    return node;
}

// The size of a value is known from its type: a LongInt constant of the
// size that a value of that type has in a running script. The operand is
// not evaluated.
std::unique_ptr<TPSValue> TPSExpressionCompiler::ReadSizeOf()
{
    auto size = std::make_unique<TPSValueData>();
    Place(*size);
    c_.Parser().Next();
    std::unique_ptr<TPSValue> operand = ReadParenthesized();
    if (!operand)
        return nullptr;
    const TPSType* type = GetValueType(*operand);
    if (ValueAs<TPSValueArray>(operand.get()))
        type = c_.FindTypeFrom("TVARIANTARRAY");
    if (!type) {
        FailAt(*operand, Err::TypeMismatch);
        return nullptr;
    }
    size->Data.Init(c_.FindBaseType(BaseType::LongInt));
    size->Data.SetInt(static_cast<std::int64_t>(ScriptValueSize(type)));
    return size;
}

// A bracketed list: a set or an array, whichever it is given to.
std::unique_ptr<TPSValue> TPSExpressionCompiler::ReadList()
{
    auto list = std::make_unique<TPSValueArray>();
    Place(*list);
    if (!ReadItems(Tok::CloseBlock, Err::CloseBlockExpected, list->Items))
        return nullptr;
    return list;
}

// At the opening token: expressions separated by "," up to close, each
// folded; after an item any other token is the error given.
template <typename Item>
bool TPSExpressionCompiler::ReadItems(TPSPasToken close, TPSCompilerErrorCode otherwise, std::vector<Item>& items)
{
    TPSPascalParser& p = c_.Parser();
    p.Next();
    if (p.CurrTokenId() == close) {
        p.Next();
        return true;
    }
    // Room for the short lists most calls pass, in one allocation.
    items.reserve(items.size() + 4);
    for (;;) {
        std::unique_ptr<TPSValue> item = ReadLevel(0);
        if (!item || !Fold(item))
            return false;
        items.push_back(Item{std::move(item)});
        if (p.CurrTokenId() == close)
            break;
        if (p.CurrTokenId() != Tok::Comma)
            return Fail(otherwise);
        p.Next();
    }
    p.Next();
    return true;
}

std::unique_ptr<TPSValue> TPSExpressionCompiler::ReadLiteral()
{
    TPSPascalParser& p = c_.Parser();
    auto data = std::make_unique<TPSValueData>();
    Place(*data);
    const Tok t = p.CurrTokenId();
    const bool number = t == Tok::Integer || t == Tok::HexInt || t == Tok::Real;
    if (!(number ? c_.ReadNumberLiteral(p, data->Data) : c_.ReadStringLiteral(p, data->Data)))
        return nullptr;
    return data;
}

// "@" and the name of a script procedure.
std::unique_ptr<TPSValue> TPSExpressionCompiler::ReadAddress()
{
    TPSPascalParser& p = c_.Parser();
    auto address = std::make_unique<TPSValueProcPtr>();
    Place(*address);
    p.Next();
    if (p.CurrTokenId() != Tok::Identifier) {
        Fail(Err::IdentifierExpected);
        return nullptr;
    }
    const std::int32_t procNo = c_.FindProcNo(p.Token(), false);
    if (procNo < 0 || !dynamic_cast<TPSInternalProcedure*>(c_.procs_[static_cast<std::size_t>(procNo)].get())) {
        Fail(Err::UnknownIdentifier, p.RawToken());
        return nullptr;
    }
    address->ProcNo = static_cast<std::uint32_t>(procNo);
    p.Next();
    return address;
}

// Chr of an integer is a Char; Ord of an ordinal a LongWord.
std::unique_ptr<TPSValue> TPSExpressionCompiler::ReadChrOrd(bool chr)
{
    TPSPascalParser& p = c_.Parser();
    p.Next();
    std::unique_ptr<TPSValue> operand = ReadParenthesized();
    if (!operand || !Fold(operand))
        return nullptr;
    const TPSType* type = GetValueType(*operand);
    const bool fits =
        type && (chr ? IsIntegerBase(type->BaseType)
                     : IsIntegerBase(type->BaseType) ||
                           isOneOf(type->BaseType, {BaseType::Char, BaseType::WideChar, BaseType::Enumeration}));
    if (!fits) {
        Fail(Err::TypeMismatch);
        return nullptr;
    }
    return unaryNode(TPSUnOperatorType::Cast, std::move(operand),
                     c_.FindBaseType(chr ? BaseType::Char : BaseType::LongWord));
}

// "Assigned" "(" designator ")": a call of the internal test, which takes a
// class, PChar or string as it is.
std::unique_ptr<TPSValue> TPSExpressionCompiler::ReadAssigned()
{
    TPSPascalParser& p = c_.Parser();
    auto call = std::make_unique<TPSValueProcNo>();
    Place(*call);
    p.Next();
    TPSParameter param;
    param.Val = ReadParenthesized();
    if (!param.Val)
        return nullptr;
    TPSType* type = GetValueType(*param.Val);
    if (!type || !isOneOf(type->BaseType, {BaseType::Class, BaseType::PChar, BaseType::AnsiString})) {
        Fail(Err::TypeMismatch);
        return nullptr;
    }
    param.ExpectedType = type;
    call->Parameters.push_back(std::move(param));
    call->ProcNo = static_cast<std::uint32_t>(c_.FindProc("!ASSIGNED"));
    call->ResultType = c_.BooleanType();
    return call;
}

// ---- Identifiers ----------------------------------------------------------------

std::unique_ptr<TPSValue> TPSExpressionCompiler::GetIdentifier(bool variableOnly)
{
    TPSPascalParser& p = c_.Parser();
    const std::string_view name = p.Token();
    const std::string_view written = p.RawToken();
    const std::uint32_t hash = MakeHash(name);
    auto unknown = [&]() -> std::unique_ptr<TPSValue> {
        Fail(Err::UnknownIdentifier, written);
        return nullptr;
    };
    if (!variableOnly && !ctx_.Withs.empty()) {
        std::unique_ptr<TPSValue> member;
        if (!ReadWithMember(member))
            return nullptr;
        if (member)
            return member;
    }
    std::unique_ptr<TPSValueVar> var;
    TPSInternalProcedure* proc = ctx_.ProcNo == 0 ? nullptr : ctx_.Proc;
    const std::uint32_t position = p.Position();
    if (name == "RESULT") {
        if (!proc || !proc->Decl.Result)
            return unknown();
        auto result = std::make_unique<TPSValueParamVar>();
        result->ParamNo = 0;
        result->VarType = proc->Decl.Result;
        result->ByReference = true;
        proc->ResultUsed = true;
        var = std::move(result);
    }
    if (!var && proc) {
        if (const std::ptrdiff_t at = proc->FindParam(name, hash); at >= 0) {
            const auto i = static_cast<std::size_t>(at);
            const TPSParameterDecl& decl = proc->Decl.Params[i];
            auto param = std::make_unique<TPSValueParamVar>();
            param->ParamNo = static_cast<std::uint32_t>(i + (proc->Decl.Result ? 1 : 0));
            param->VarType = decl.AType;
            param->ByReference = decl.Mode != TPSParameterMode::In || !decl.AType;
            c_.NotifyVariable(TPSVariableType::Param, static_cast<std::int32_t>(i), ctx_.ProcNo, position);
            var = std::move(param);
        }
    }
    if (!var && proc) {
        if (const std::ptrdiff_t at = proc->FindLocal(name, hash); at >= 0) {
            const auto i = static_cast<std::size_t>(at);
            auto local = std::make_unique<TPSValueLocalVar>();
            local->LocalVarNo = static_cast<std::uint32_t>(i);
            local->VarType = proc->ProcVars[i].AType;
            proc->ProcVars[i].Used = true;
            c_.NotifyVariable(TPSVariableType::Local, static_cast<std::int32_t>(i), ctx_.ProcNo, position);
            var = std::move(local);
        }
    }
    if (!var) {
        const std::ptrdiff_t at = c_.varIndex_.Find(c_.vars_, name, hash, false, [](const auto& v) {
            return TPSNameIndex::Key{v->NameHash, v->Name};
        });
        if (at >= 0) {
            TPSVar& global = *c_.vars_[static_cast<std::size_t>(at)];
            global.Used = true;
            if (BaseOf(global.AType) == BaseType::NotificationVariant) {
                c_.NotifyVariable(TPSVariableType::Global, static_cast<std::int32_t>(at), -1, position);
                return ReadNotificationVariant(global);
            }
            auto value = std::make_unique<TPSValueGlobalVar>();
            value->GlobalVarNo = static_cast<std::uint32_t>(at);
            value->VarType = global.AType;
            c_.NotifyVariable(TPSVariableType::Global, static_cast<std::int32_t>(at), -1, position);
            var = std::move(value);
        }
    }
    if (var) {
        Place(*var);
        p.Next();
        std::unique_ptr<TPSValue> value = std::move(var);
        if (!ReadPostfix(value))
            return nullptr;
        return value;
    }
    if (variableOnly)
        return unknown();

    if (TPSType* type = c_.FindTypeFrom(name)) {
        auto at = std::make_unique<TPSValueData>();
        Place(*at);
        p.Next();
        if (p.CurrTokenId() == Tok::Period && type->BaseType == BaseType::Class) {
            std::unique_ptr<TPSValue> made = ReadConstructorCall(type, *at);
            if (made && !ReadPostfix(made))
                return nullptr;
            return made;
        }
        if (p.CurrTokenId() != Tok::OpenRound) {
            // A type name as a value: the right side of "as" and "is".
            at->Data.Init(c_.FindBaseType(BaseType::TypeNumber));
            at->Data.TypeRef = c_.UseType(type);
            return at;
        }
        p.Next();
        std::unique_ptr<TPSValue> operand = ReadLevel(0);
        if (!operand || !Fold(operand) || !c_.Expect(p, Tok::CloseRound, Err::CloseRoundExpected))
            return nullptr;
        TPSType* source = GetValueType(*operand);
        const auto isObject = [](const TPSType* t) {
            return t && (t->BaseType == BaseType::Class || t->BaseType == BaseType::Interface);
        };
        if (isObject(type) && isObject(source) && source != type)
            return MakeObjectCast(std::move(operand), type, *at);
        std::unique_ptr<TPSValue> cast = MakeCast(std::move(operand), type);
        if (cast && !Fold(cast))
            return nullptr;
        return cast;
    }
    auto call = std::make_unique<TPSValueData>();
    Place(*call);
    if (const std::int32_t procNo = c_.FindProc(name); procNo >= 0) {
        p.Next();
        std::unique_ptr<TPSValue> value = ReadCallOf(procNo, nullptr);
        if (value) {
            value->Pos = call->Pos;
            value->Row = call->Row;
            value->Col = call->Col;
        }
        return value;
    }
    if (const TPSConstant* constant = c_.FindConstant(name, hash)) {
        p.Next();
        call->Data = constant->Value;
        return call;
    }
    return unknown();
}

bool TPSExpressionCompiler::ReadWithMember(std::unique_ptr<TPSValue>& found)
{
    TPSPascalParser& p = c_.Parser();
    const std::string_view name = p.Token();
    const std::uint32_t hash = MakeHash(name);
    for (auto it = ctx_.Withs.rbegin(); it != ctx_.Withs.rend(); ++it) {
        // The target is made only for the with whose type has the name: most
        // names inside a with statement are no member.
        const bool record = it->Type->BaseType == BaseType::Record;
        std::ptrdiff_t field = -1;
        if (record) {
            field = static_cast<const TPSRecordType*>(it->Type)->FindField(name, hash);
            if (field < 0)
                continue;
        } else {
            const TPSCompileTimeClass* cl = static_cast<const TPSClassType*>(it->Type)->Cl;
            if (!cl || !cl->FindMember(name))
                continue;
        }
        auto target = std::make_unique<TPSValueWithTarget>();
        Place(*target);
        target->LocalVarNo = it->Slot;
        target->VarType = it->Type;
        target->ByReference = true;
        std::unique_ptr<TPSValue> value;
        if (record) {
            auto item = std::make_unique<TPSSubNumber>();
            item->AType =
                static_cast<const TPSRecordType*>(it->Type)->Fields[static_cast<std::size_t>(field)].FieldType;
            item->SubNo = static_cast<std::uint32_t>(field);
            target->RecItems.push_back(std::move(item));
            p.Next();
            value = std::move(target);
        } else {
            value = std::move(target);
            if (!ReadMember(value, it->Type))
                return false;
        }
        if (!ReadPostfix(value))
            return false;
        found = std::move(value);
        return true;
    }
    return true;
}

// A notification variable is read and written through the host: a call with
// its name, and before ":=" with the value assigned too.
std::unique_ptr<TPSValue> TPSExpressionCompiler::ReadNotificationVariant(const TPSVar& var)
{
    TPSPascalParser& p = c_.Parser();
    auto call = std::make_unique<TPSValueProcNo>();
    Place(*call);
    p.Next();
    TPSParameter name;
    auto text = std::make_unique<TPSValueData>();
    c_.SetStringResult(text->Data, var.OrgName);
    name.Val = std::move(text);
    call->Parameters.push_back(std::move(name));
    const bool write = p.CurrTokenId() == Tok::Assignment;
    if (write) {
        p.Next();
        TPSParameter assigned;
        assigned.Val = ReadLevel(0);
        if (!assigned.Val || !Fold(assigned.Val))
            return nullptr;
        call->Parameters.push_back(std::move(assigned));
    }
    const std::int32_t procNo = c_.FindProc(write ? "!NOTIFICATIONVARIANTSET" : "!NOTIFICATIONVARIANTGET");
    const TPSParametersDecl& decl = c_.procs_[static_cast<std::size_t>(procNo)]->Declaration();
    if (!ValidateParameters(decl, call->Parameters))
        return nullptr;
    call->ProcNo = static_cast<std::uint32_t>(procNo);
    call->ResultType = decl.Result;
    return call;
}

std::unique_ptr<TPSValue> TPSExpressionCompiler::ReadCallOf(std::int32_t procNo, const TPSPascalCompilerMessage*)
{
    const TPSParametersDecl& decl = c_.procs_[static_cast<std::size_t>(procNo)]->Declaration();
    auto call = std::make_unique<TPSValueProcNo>();
    call->ProcNo = static_cast<std::uint32_t>(procNo);
    if (!ReadParameterList(call->Parameters, false) || !ValidateParameters(decl, call->Parameters))
        return nullptr;
    call->ResultType = decl.Result;
    if (decl.Result && ResolveLink(decl.Result) == ResolveLink(c_.AnyStringType())) {
        // The result takes the type of the last string passed by value for
        // such a parameter.
        for (std::size_t i = decl.Params.size(); i-- > 0;) {
            if (ResolveLink(decl.Params[i].AType) == ResolveLink(c_.AnyStringType()) &&
                decl.Params[i].Mode != TPSParameterMode::Out) {
                call->ResultType = call->Parameters[i].ExpectedType;
                break;
            }
        }
    }
    return call;
}

bool TPSExpressionCompiler::ReadParameterList(std::vector<TPSParameter>& params, bool brackets)
{
    TPSPascalParser& p = c_.Parser();
    if (p.CurrTokenId() != (brackets ? Tok::OpenBlock : Tok::OpenRound))
        return true;
    return ReadItems(brackets ? Tok::CloseBlock : Tok::CloseRound, Err::CommaExpected, params);
}

bool TPSExpressionCompiler::ValidateParameters(const TPSParametersDecl& decl, std::vector<TPSParameter>& params)
{
    if (params.size() != decl.Params.size())
        return Fail(Err::InvalidNumberOfParameters);
    for (std::size_t i = 0; i < params.size(); ++i) {
        const TPSParameterDecl& formal = decl.Params[i];
        TPSParameter& actual = params[i];
        actual.Mode = formal.Mode;
        actual.VarParam = formal.Mode != TPSParameterMode::In;
        actual.ExpectedType = ResolveLink(formal.AType);
        TPSType* actualType = GetValueType(*actual.Val);
        const bool anyString = actual.ExpectedType && actual.ExpectedType == ResolveLink(c_.AnyStringType());
        if (anyString) {
            if (!actualType || !(isStringLike(actualType->BaseType) || actualType->BaseType == BaseType::PChar))
                return FailAt(*actual.Val, Err::TypeMismatch);
            const BaseType b = actualType->BaseType;
            actual.ExpectedType = b == BaseType::Char       ? c_.FindBaseType(BaseType::AnsiString)
                                  : b == BaseType::WideChar ? c_.FindBaseType(BaseType::UnicodeString)
                                  : b == BaseType::PChar    ? c_.FindBaseType(BaseType::AnsiString)
                                                            : actualType;
        }
        if (!actual.VarParam) {
            if (!actual.ExpectedType)
                actual.ExpectedType = actualType;
            continue;
        }
        if (!ValueAs<TPSValueVar>(actual.Val.get()))
            return FailAt(*actual.Val, Err::VariableExpected);
        if (!actual.ExpectedType) {
            actual.ExpectedType = actualType;
            continue;
        }
        if (anyString)
            continue;
        const TPSType* expected = actual.ExpectedType;
        if (expected->BaseType == BaseType::DynArray && actualType && actualType->BaseType == BaseType::DynArray) {
            const TPSType* want = ResolveLink(static_cast<const TPSArrayType*>(expected)->ArrayTypeNo);
            const TPSType* have = ResolveLink(static_cast<const TPSArrayType*>(actualType)->ArrayTypeNo);
            if (!want || want == have)
                continue;
        }
        if (!SameValueType(expected, actualType))
            return FailAt(*actual.Val, Err::TypeMismatch);
    }
    return true;
}

// ---- Postfix chain ----------------------------------------------------------------

bool TPSExpressionCompiler::ReadPostfix(std::unique_ptr<TPSValue>& value)
{
    TPSPascalParser& p = c_.Parser();
    for (;;) {
        auto* var = ValueAs<TPSValueVar>(value.get());
        TPSType* type = GetValueType(*value);
        const BaseType base = type ? type->BaseType : BaseType::ReturnAddress;
        if (p.CurrTokenId() == Tok::OpenBlock && var && (base == BaseType::StaticArray || base == BaseType::DynArray)) {
            p.Next();
            std::unique_ptr<TPSValue> index = ReadLevel(0);
            if (!index || !Fold(index))
                return false;
            const TPSType* indexType = GetValueType(*index);
            if (!indexType || !IsIntegerBase(indexType->BaseType))
                return Fail(Err::TypeMismatch);
            if (p.CurrTokenId() != Tok::CloseBlock)
                return Fail(Err::CloseBlockExpected);
            p.Next();
            auto* array = static_cast<TPSArrayType*>(type);
            const std::int32_t low =
                base == BaseType::StaticArray ? static_cast<TPSStaticArrayType*>(array)->StartOffset : 0;
            if (auto* data = ValueAs<TPSValueData>(index.get())) {
                auto item = std::make_unique<TPSSubNumber>();
                item->AType = array->ArrayTypeNo;
                item->SubNo = static_cast<std::uint32_t>(GetInt64Value(data->Data) - low);
                var->RecItems.push_back(std::move(item));
            } else {
                auto item = std::make_unique<TPSSubValue>();
                item->AType = array->ArrayTypeNo;
                if (low != 0) {
                    auto bound = std::make_unique<TPSValueData>();
                    bound->Data.Init(c_.FindBaseType(BaseType::LongInt));
                    bound->Data.Int = low;
                    index = MakeBinary(Op::Subtract, std::move(index), std::move(bound));
                    if (!index)
                        return false;
                }
                item->SubNo = std::move(index);
                var->RecItems.push_back(std::move(item));
            }
            continue;
        }
        if (p.CurrTokenId() == Tok::OpenBlock && var &&
            isOneOf(base, {BaseType::AnsiString, BaseType::WideString, BaseType::UnicodeString, BaseType::Variant})) {
            if (!ReadCharacterAccess(value, base))
                return false;
            continue;
        }
        if (p.CurrTokenId() == Tok::Period && var && base == BaseType::Record) {
            p.Next();
            if (p.CurrTokenId() != Tok::Identifier)
                return Fail(Err::IdentifierExpected);
            auto* record = static_cast<TPSRecordType*>(type);
            const std::ptrdiff_t at = record->FindField(p.Token(), MakeHash(p.Token()));
            if (at < 0)
                return Fail(Err::UnknownIdentifier, p.RawToken());
            const auto i = static_cast<std::size_t>(at);
            auto item = std::make_unique<TPSSubNumber>();
            item->AType = record->Fields[i].FieldType;
            item->SubNo = static_cast<std::uint32_t>(i);
            var->RecItems.push_back(std::move(item));
            p.Next();
            continue;
        }
        if (p.CurrTokenId() == Tok::Period && (base == BaseType::Class || base == BaseType::Interface)) {
            p.Next();
            if (p.CurrTokenId() != Tok::Identifier)
                return Fail(Err::IdentifierExpected);
            if (!ReadMember(value, type))
                return false;
            continue;
        }
        if (p.CurrTokenId() == Tok::OpenBlock && base == BaseType::Class) {
            if (!ReadDefaultProperty(value, type))
                return false;
            continue;
        }
        if (p.CurrTokenId() == Tok::Period && base == BaseType::Variant) {
            p.Next();
            if (p.CurrTokenId() != Tok::Identifier)
                return Fail(Err::IdentifierExpected);
            if (!ReadLateBound(value, type))
                return false;
            continue;
        }
        if ((p.CurrTokenId() == Tok::OpenRound || p.CurrTokenId() == Tok::Dereference) && type) {
            if (base != BaseType::Procedural)
                return Fail(Err::TypeMismatch);
            if (p.CurrTokenId() == Tok::Dereference)
                p.Next();
            const TPSParametersDecl& decl = static_cast<TPSProceduralType*>(type)->ProcDef;
            auto call = std::make_unique<TPSValueProcVal>();
            call->Pos = value->Pos;
            call->Row = value->Row;
            call->Col = value->Col;
            if (!ReadParameterList(call->Parameters, false) || !ValidateParameters(decl, call->Parameters))
                return false;
            call->ResultType = decl.Result;
            call->ProcNo = std::move(value);
            value = std::move(call);
            continue;
        }
        return true;
    }
}

// "[" index "]" on a string or Variant variable: a call of the built-in that
// reads the element, or, before ":=", of the one that writes it (the value,
// the index, then the variable).
bool TPSExpressionCompiler::ReadCharacterAccess(std::unique_ptr<TPSValue>& value, BaseType base)
{
    TPSPascalParser& p = c_.Parser();
    p.Next();
    TPSParameter index;
    index.Val = ReadLevel(0);
    if (!index.Val || !Fold(index.Val))
        return false;
    const TPSType* indexType = GetValueType(*index.Val);
    if (!indexType || !IsIntegerBase(indexType->BaseType))
        return Fail(Err::TypeMismatch);
    if (p.CurrTokenId() != Tok::CloseBlock)
        return Fail(Err::CloseBlockExpected);
    p.Next();
    const bool wide = base == BaseType::WideString || base == BaseType::UnicodeString;
    const bool variant = base == BaseType::Variant;
    auto call = std::make_unique<TPSValueProcNo>();
    call->Pos = value->Pos;
    call->Row = value->Row;
    call->Col = value->Col;
    TPSParameter target;
    target.Val = std::move(value);
    const char* name;
    if (p.CurrTokenId() == Tok::Assignment) {
        p.Next();
        TPSParameter assigned;
        assigned.Val = ReadLevel(0);
        if (!assigned.Val || !Fold(assigned.Val))
            return false;
        name = variant ? "VARARRAYSET" : wide ? "WSTRSET" : "STRSET";
        call->Parameters.push_back(std::move(assigned));
        call->Parameters.push_back(std::move(index));
        call->Parameters.push_back(std::move(target));
    } else {
        name = variant ? "VARARRAYGET" : wide ? "WSTRGET" : "STRGET";
        call->Parameters.push_back(std::move(target));
        call->Parameters.push_back(std::move(index));
    }
    const std::int32_t procNo = c_.FindProc(name);
    if (procNo < 0)
        return Fail(Err::UnknownIdentifier, name);
    const TPSParametersDecl& decl = c_.procs_[static_cast<std::size_t>(procNo)]->Declaration();
    if (!ValidateParameters(decl, call->Parameters))
        return false;
    call->ProcNo = static_cast<std::uint32_t>(procNo);
    call->ResultType = decl.Result;
    value = std::move(call);
    return true;
}

// "." name on a Variant, bound at run time: a call of the invoke routine with
// the Variant, whether it is a write, the name, and the parameters as an
// array (the assigned value last in a write).
bool TPSExpressionCompiler::ReadLateBound(std::unique_ptr<TPSValue>& value, TPSType* type)
{
    TPSPascalParser& p = c_.Parser();
    const std::string name(p.RawToken());
    p.Next();
    const std::int32_t procNo = type->GetDynInvokeProcNo(c_);
    TPSType* selfType = type->GetDynInvokeSelfType(c_);
    TPSType* paramType = type->GetDynInvokeParamType(c_);
    if (procNo < 0 || !selfType || !paramType)
        return Fail(Err::UnknownIdentifier, name);
    auto call = std::make_unique<TPSValueProcNo>();
    call->Pos = value->Pos;
    call->Row = value->Row;
    call->Col = value->Col;
    call->ProcNo = static_cast<std::uint32_t>(procNo);
    auto list = std::make_unique<TPSValueArray>();
    Place(*list);
    std::vector<TPSParameter> given;
    if (!ReadParameterList(given, false))
        return false;
    for (TPSParameter& param : given)
        list->Items.push_back(std::move(param.Val));
    const bool write = p.CurrTokenId() == Tok::Assignment;
    if (write) {
        p.Next();
        std::unique_ptr<TPSValue> assigned = ReadLevel(0);
        if (!assigned || !Fold(assigned))
            return false;
        list->Items.push_back(std::move(assigned));
    } else {
        call->ResultType = type->GetDynInvokeResultType(c_);
    }
    auto flag = std::make_unique<TPSValueData>();
    c_.SetBooleanResult(flag->Data, write);
    auto text = std::make_unique<TPSValueData>();
    c_.SetStringResult(text->Data, name);
    TPSType* types[] = {selfType, c_.BooleanType(), text->Data.FType, paramType};
    std::unique_ptr<TPSValue> parts[] = {std::move(value), std::move(flag), std::move(text), std::move(list)};
    for (std::size_t i = 0; i < 4; ++i) {
        TPSParameter param;
        param.ExpectedType = types[i];
        param.Val = std::move(parts[i]);
        call->Parameters.push_back(std::move(param));
    }
    value = std::move(call);
    return true;
}

// Class name "." constructor: a call with the class's type number in place
// of an instance, giving a new instance of the class.
std::unique_ptr<TPSValue> TPSExpressionCompiler::ReadConstructorCall(TPSType* type, const TPSValue& at)
{
    TPSPascalParser& p = c_.Parser();
    p.Next();
    if (p.CurrTokenId() != Tok::Identifier) {
        Fail(Err::IdentifierExpected);
        return nullptr;
    }
    TPSCompileTimeClass* cl = static_cast<TPSClassType*>(type)->Cl;
    if (cl && cl->IsAbstract)
        c_.MakeWarning({}, TPSCompilerWarningCode::AbstractClassConstruction, {})
            ->SetCustomPos(static_cast<std::uint32_t>(at.Pos), at.Row, at.Col);
    auto* item = dynamic_cast<TPSDelphiClassItemConstructor*>(cl ? cl->FindMember(p.Token()) : nullptr);
    if (!item) {
        Fail(Err::UnknownIdentifier, p.RawToken());
        return nullptr;
    }
    p.Next();
    auto call = std::make_unique<TPSValueProcNo>();
    call->Pos = at.Pos;
    call->Row = at.Row;
    call->Col = at.Col;
    if (!ReadParameterList(call->Parameters, false) || !ValidateParameters(item->Decl, call->Parameters))
        return nullptr;
    const std::int32_t procNo = cl->MemberProcNo(*item);
    if (procNo < 0) {
        Fail(Err::UnknownIdentifier, item->OrgName);
        return nullptr;
    }
    call->ProcNo = static_cast<std::uint32_t>(procNo);
    call->ResultType = type;
    TPSParameter classNo;
    auto number = std::make_unique<TPSValueData>();
    number->Data.Init(c_.FindBaseType(BaseType::LongWord));
    number->Data.Int = c_.UseType(type)->FinalTypeNo;
    classNo.ExpectedType = number->Data.FType;
    classNo.Val = std::move(number);
    call->Parameters.insert(call->Parameters.begin(), std::move(classNo));
    return call;
}

// Makes value, an instance of type, the first parameter of call, which then
// stands in its place.
static void CallWithSelf(std::unique_ptr<TPSValue>& value, std::unique_ptr<TPSValueProcNo> call, std::int32_t procNo,
                         TPSType* type)
{
    call->ProcNo = static_cast<std::uint32_t>(procNo);
    TPSParameter self;
    self.ExpectedType = type;
    self.Val = std::move(value);
    call->Parameters.insert(call->Parameters.begin(), std::move(self));
    value = std::move(call);
}

// A method or property of a host class, or a method of an interface, at the
// name after the period: a call with the instance as its first parameter.
bool TPSExpressionCompiler::ReadMember(std::unique_ptr<TPSValue>& value, TPSType* type)
{
    TPSPascalParser& p = c_.Parser();
    const std::string_view name = p.Token();
    const std::string_view written = p.RawToken();
    auto call = std::make_unique<TPSValueProcNo>();
    call->Pos = value->Pos;
    call->Row = value->Row;
    call->Col = value->Col;
    std::int32_t procNo = -1;
    if (type->BaseType == BaseType::Interface) {
        TPSInterface* intf = static_cast<TPSInterfaceType*>(type)->Intf;
        TPSInterface* declaredBy = nullptr;
        TPSInterfaceMethod* method = intf ? FindInterfaceMethod(*intf, name, &declaredBy) : nullptr;
        if (!method)
            return Fail(Err::UnknownIdentifier, written);
        p.Next();
        if (!ReadParameterList(call->Parameters, false) || !ValidateParameters(method->Decl, call->Parameters))
            return false;
        procNo = InterfaceMethodProcNo(c_, *declaredBy, *method);
        call->ResultType = method->Decl.Result;
    } else {
        TPSCompileTimeClass* cl = static_cast<TPSClassType*>(type)->Cl;
        TPSDelphiClassItem* item = cl ? cl->FindMember(name) : nullptr;
        if (!item)
            return Fail(Err::UnknownIdentifier, written);
        p.Next();
        auto* property = dynamic_cast<TPSDelphiClassItemProperty*>(item);
        if (!property) {
            if (!ReadParameterList(call->Parameters, false) || !ValidateParameters(item->Decl, call->Parameters))
                return false;
            procNo = cl->MemberProcNo(*item);
            call->ResultType = item->Decl.Result;
        } else {
            NotifyProperty(*value, property->OrgName);
            if (!property->Decl.Params.empty() && p.CurrTokenId() != Tok::OpenBlock)
                return Fail(Err::OpenBlockExpected);
            if (!ReadProperty(*call, *cl, *property, procNo))
                return false;
        }
    }
    if (procNo < 0)
        return Fail(Err::UnknownIdentifier, written);
    CallWithSelf(value, std::move(call), procNo, type);
    return true;
}

// The access routine of a property at its index list (when it has one):
// a write when ":=" follows, the assigned value going last, else a read.
bool TPSExpressionCompiler::ReadProperty(TPSValueProcNo& call, TPSCompileTimeClass& cl,
                                         TPSDelphiClassItemProperty& property, std::int32_t& procNo)
{
    TPSPascalParser& p = c_.Parser();
    if (!property.Decl.Params.empty() && !ReadParameterList(call.Parameters, true))
        return false;
    if (p.CurrTokenId() != Tok::Assignment) {
        procNo = cl.PropertyReadProcNo(property);
        if (procNo < 0)
            return Fail(Err::WriteOnlyProperty);
        call.ResultType = property.Decl.Result;
        return ValidateParameters(property.Decl, call.Parameters);
    }
    procNo = cl.PropertyWriteProcNo(property);
    if (procNo < 0)
        return Fail(Err::ReadOnlyProperty);
    p.Next();
    TPSParameter assigned;
    assigned.Val = ReadLevel(0);
    if (!assigned.Val || !Fold(assigned.Val))
        return false;
    call.Parameters.push_back(std::move(assigned));
    TPSParametersDecl decl = property.Decl;
    decl.Result = nullptr;
    decl.AddParam("Value", TPSParameterMode::In, property.Decl.Result);
    return ValidateParameters(decl, call.Parameters);
}

// "[" on a class instance: the class's default indexed property.
bool TPSExpressionCompiler::ReadDefaultProperty(std::unique_ptr<TPSValue>& value, TPSType* type)
{
    TPSCompileTimeClass* cl = static_cast<TPSClassType*>(type)->Cl;
    TPSDelphiClassItemProperty* property = cl ? cl->FindDefaultProperty() : nullptr;
    if (!property)
        return Fail(Err::PeriodExpected);
    NotifyProperty(*value, "[Default]");
    auto call = std::make_unique<TPSValueProcNo>();
    call->Pos = value->Pos;
    call->Row = value->Row;
    call->Col = value->Col;
    std::int32_t procNo = -1;
    if (!ReadProperty(*call, *cl, *property, procNo))
        return false;
    CallWithSelf(value, std::move(call), procNo, type);
    return true;
}

// Tells the host which variable a property is reached through; a property of
// a call's result belongs to no variable and is not told.
void TPSExpressionCompiler::NotifyProperty(const TPSValue& instance, const std::string& member)
{
    if (auto* global = ValueAs<TPSValueGlobalVar>(&instance))
        c_.NotifyVariable(TPSVariableType::Global, static_cast<std::int32_t>(global->GlobalVarNo), -1, instance.Pos,
                          member);
    else if (ValueAs<TPSValueAllocatedStackVar>(&instance) || ValueAs<TPSValueWithTarget>(&instance))
        return;
    else if (auto* local = ValueAs<TPSValueLocalVar>(&instance))
        c_.NotifyVariable(TPSVariableType::Local, static_cast<std::int32_t>(local->LocalVarNo), ctx_.ProcNo,
                          instance.Pos, member);
    else if (auto* param = ValueAs<TPSValueParamVar>(&instance))
        c_.NotifyVariable(TPSVariableType::Param, static_cast<std::int32_t>(param->ParamNo), ctx_.ProcNo, instance.Pos,
                          member);
}

// ---- Folding ----------------------------------------------------------------------

bool TPSExpressionCompiler::Fold(std::unique_ptr<TPSValue>& value)
{
    if (auto* un = ValueAs<TPSUnValueOp>(value.get())) {
        if (!Fold(un->Val))
            return false;
        auto* data = ValueAs<TPSValueData>(un->Val.get());
        if (!data)
            return true;
        TPSPascalCompiler::FoldStatus status = TPSPascalCompiler::FoldStatus::Ok;
        switch (un->Operator) {
        case TPSUnOperatorType::Not:
            status = c_.Not(data->Data);
            break;
        case TPSUnOperatorType::Negate:
            status = c_.Negate(data->Data);
            break;
        case TPSUnOperatorType::Cast: {
            // Only casts between ordinal values fold; the others convert at
            // run time.
            const BaseType from = data->Data.Base();
            const BaseType to = BaseOf(un->AType);
            const auto ordinal = [](BaseType b) {
                return IsIntegerBase(b) || b == BaseType::Char || b == BaseType::WideChar;
            };
            if (!ordinal(from) || !ordinal(to))
                return true;
            const std::int64_t x = data->Data.Int;
            data->Data.Init(un->AType);
            data->Data.SetInt(x);
            break;
        }
        }
        if (status != TPSPascalCompiler::FoldStatus::Ok) {
            c_.ReportFold(c_.Parser(), status);
            return false;
        }
        value = std::move(un->Val);
        return true;
    }
    auto* bin = ValueAs<TPSBinValueOp>(value.get());
    if (!bin)
        return true;
    // Chains grow on the left: walk them without recursion.
    const ChainScope chain(chain_);
    for (TPSBinValueOp* at = bin; at; at = ValueAs<TPSBinValueOp>(at->Val1.get()))
        chain_.push_back(at);
    if (!Fold(chain_.back()->Val1))
        return false;
    for (std::size_t i = chain_.size(); i-- > chain.base;) {
        TPSBinValueOp& node = *chain_[i];
        if (!Fold(node.Val2))
            return false;
        auto* left = ValueAs<TPSValueData>(node.Val1.get());
        auto* right = ValueAs<TPSValueData>(node.Val2.get());
        if (!left || !right || node.Operator == Op::As || node.Operator == Op::Is)
            continue;
        const TPSPascalCompiler::FoldStatus status = c_.Fold(node.Operator, left->Data, right->Data);
        if (status != TPSPascalCompiler::FoldStatus::Ok) {
            c_.ReportFold(c_.Parser(), status);
            return false;
        }
        // Successor and predecessor keep the operand's type.
        if (BaseOf(node.AType) == BaseType::Enumeration && left->Data.Base() != BaseType::Enumeration) {
            const std::int64_t x = left->Data.Int;
            left->Data.Init(node.AType);
            left->Data.Int = x;
        }
        // Replace the node in its parent (or the root); that frees it.
        std::unique_ptr<TPSValue> folded = std::move(node.Val1);
        if (i == chain.base)
            value = std::move(folded);
        else
            chain_[i - 1]->Val1 = std::move(folded);
    }
    return true;
}
