// Writing value trees as instructions: into a destination variable, as one
// operand of an instruction, and calls. Every temporary made here is pushed
// and popped again before the statement ends.

#include "script/compiler/value_tree.h"

#include "script/compiler/operator_levels.h"

#include <algorithm>
#include <array>

using ps::BaseType;
using Err = TPSCompilerErrorCode;
using Op = TPSBinOperatorType;
using pscode::putOp;

namespace {

// Each level of nesting in the text may take a few levels of writing (a
// temporary for an operand, a conversion through another type), and a
// chain of comparisons takes one a link.
constexpr int kMaxWriteNesting = 2 * kMaxExpressionNesting;

bool isOrdinal32(BaseType b)
{
    return ps::code(b) >= ps::code(BaseType::Byte) && ps::code(b) <= ps::code(BaseType::LongInt);
}

bool sameVar(const TPSValueVar& a, const TPSValue& b)
{
    auto* v = ValueAs<TPSValueVar>(&b);
    return v && v->CodeNumber() == a.CodeNumber() && v->RecItems.empty() && a.RecItems.empty();
}

// True when test holds for a node of the tree: operators' operands, the
// index values of variable paths and list items are searched, and with
// intoCalls the parameters of calls and what a call goes through.
template <typename Test> bool anyInTree(const TPSValue& tree, bool intoCalls, const Test& test)
{
    const auto any = [&](const TPSValue& node) { return anyInTree(node, intoCalls, test); };
    // Chains of operators and signs are walked in a loop, so only the
    // nesting of the text makes the search recurse.
    for (const TPSValue* node = &tree;;) {
        if (test(*node))
            return true;
        switch (node->Kind) {
        case TPSValueKind::UnOp:
            node = static_cast<const TPSUnValueOp*>(node)->Val.get();
            continue;
        case TPSValueKind::BinOp: {
            auto* bin = static_cast<const TPSBinValueOp*>(node);
            if (any(*bin->Val2))
                return true;
            node = bin->Val1.get();
            continue;
        }
        case TPSValueKind::Array: {
            const auto& items = static_cast<const TPSValueArray*>(node)->Items;
            return std::any_of(items.begin(), items.end(), [&](const auto& item) { return any(*item); });
        }
        case TPSValueKind::ProcNo:
        case TPSValueKind::ProcVal: {
            if (!intoCalls)
                return false;
            for (const TPSParameter& param : static_cast<const TPSValueProc*>(node)->Parameters)
                if (any(*param.Val))
                    return true;
            auto* through = ValueAs<TPSValueProcVal>(node);
            return through && any(*through->ProcNo);
        }
        default:
            break;
        }
        if (auto* var = ValueAs<TPSValueVar>(node)) {
            for (const auto& item : var->RecItems)
                if (!item->IsNumber && any(*static_cast<const TPSSubValue&>(*item).SubNo))
                    return true;
        }
        return false;
    }
}

bool hasCall(const TPSValue& tree)
{
    return anyInTree(tree, false, [](const TPSValue& node) { return ValueAs<TPSValueProc>(&node); });
}

} // namespace

// Values of these types are computed in a slot of exactly that type: two
// types of one simple base are the same for arithmetic, and two sets over
// one element type are one set.
bool TPSExpressionCompiler::SameValueType(const TPSType* a, const TPSType* b)
{
    a = ResolveLink(a);
    b = ResolveLink(b);
    if (a == b)
        return true;
    if (!a || !b || a->BaseType != b->BaseType)
        return false;
    if (a->BaseType == BaseType::Set)
        return ResolveLink(static_cast<const TPSSetType*>(a)->SetType) ==
               ResolveLink(static_cast<const TPSSetType*>(b)->SetType);
    return IsNumericBase(a->BaseType) || a->BaseType == BaseType::Char || a->BaseType == BaseType::WideChar ||
           a->BaseType == BaseType::AnsiString || a->BaseType == BaseType::WideString ||
           a->BaseType == BaseType::UnicodeString || a->BaseType == BaseType::PChar || a->BaseType == BaseType::Variant;
}

// ---- Nodes --------------------------------------------------------------------------

namespace valuenodes {

thread_local constinit std::array<FreeNode*, kSizeClasses> freeHeads{};
thread_local constinit bool nodesGone = false;

namespace {

// Gives the lists' nodes back when the thread ends. Armed whenever a list
// may gain its first node: a fresh node is made or an empty list takes one.
struct FreeNodesOwner
{
    bool armed = false;
    ~FreeNodesOwner()
    {
        for (FreeNode*& head : freeHeads) {
            while (head) {
                FreeNode* next = head->next;
                ::operator delete(head);
                head = next;
            }
        }
        nodesGone = true;
    }
};

thread_local FreeNodesOwner freeNodesOwner;

} // namespace

void* makeNode(std::size_t size)
{
    const std::size_t c = sizeClass(size);
    if (!kReuse || c >= kSizeClasses || nodesGone)
        return ::operator new(size);
    freeNodesOwner.armed = true;
    return ::operator new(c* kSizeStep);
}

void freeNode(void* node, std::size_t size) noexcept
{
    const std::size_t c = sizeClass(size);
    if (!kReuse || c >= kSizeClasses || nodesGone) {
        ::operator delete(node);
        return;
    }
    // The list's first node: the owner must be there to give it back, also
    // for a node made by another thread.
    freeNodesOwner.armed = true;
    auto* free = static_cast<FreeNode*>(node);
    free->next = freeHeads[c];
    freeHeads[c] = free;
}

} // namespace valuenodes

// ---- Temporaries and context ---------------------------------------------------

TPSCodeContext::TPSCodeContext(TPSInternalProcedure* proc, std::int32_t procNo, std::vector<TPSType*> slots)
    : Proc(proc), ProcNo(procNo), Slots(std::move(slots))
{
    Slots.clear();
    for (const TPSProcVar& local : proc->ProcVars)
        Slots.push_back(local.AType);
}

TPSValueAllocatedStackVar::TPSValueAllocatedStackVar(TPSCodeContext& context, TPSType* type)
    : TPSValueLocalVar(TPSValueKind::StackVar), context_(context)
{
    LocalVarNo = static_cast<std::uint32_t>(context.Slots.size());
    VarType = type;
    context.Slots.push_back(type);
    pscode::putPushType(context.Code(), static_cast<std::uint32_t>(ResolveLink(type)->FinalTypeNo));
}

TPSValueAllocatedStackVar::~TPSValueAllocatedStackVar()
{
    if (context_.Slots.size() != LocalVarNo + 1)
        context_.Unbalanced = true;
    context_.Slots.pop_back();
    putOp(context_.Code(), pscode::Op::Pop);
}

TPSValueAllocatedStackVar* TPSExpressionCompiler::NewTemp(TPSCodeOperand& owner, TPSType* type)
{
    type = c_.UseType(type);
    auto temp = std::make_unique<TPSValueAllocatedStackVar>(ctx_, type);
    temp->Below = std::move(owner.temps);
    owner.temps = std::move(temp);
    return owner.temps.get();
}

// The open arrays of routine headers are the types named "!OPENARRAY...".
bool TPSExpressionCompiler::IsOpenArray(const TPSType* type)
{
    type = ResolveLink(type);
    return type && type->BaseType == BaseType::DynArray && type->Name.rfind("!OPENARRAY", 0) == 0;
}

TPSType* TPSExpressionCompiler::PointerType()
{
    return c_.FindBaseType(BaseType::Pointer);
}

// ---- The destination test ------------------------------------------------------

bool TPSExpressionCompiler::Mentions(const TPSValue& tree, const TPSValueVar& var)
{
    return anyInTree(tree, true, [&var](const TPSValue& node) {
        auto* v = ValueAs<TPSValueVar>(&node);
        return v && v->CodeNumber() == var.CodeNumber();
    });
}

bool TPSExpressionCompiler::PassesReference(const TPSValueProc& call)
{
    for (const TPSParameter& param : call.Parameters)
        if (param.VarParam && ReadsThroughReference(*param.Val))
            return true;
    return false;
}

// A call's result is computed into a slot of its own first, so calls are
// not searched.
bool TPSExpressionCompiler::ReadsThroughReference(const TPSValue& tree)
{
    return anyInTree(tree, false, [](const TPSValue& node) {
        auto* v = ValueAs<TPSValueVar>(&node);
        return v && v->ByReference;
    });
}

// ---- Operands ------------------------------------------------------------------------

void TPSExpressionCompiler::PutOperand(const TPSCodeOperand& operand)
{
    std::string& code = ctx_.Code();
    switch (operand.kind) {
    case TPSCodeOperand::Kind::Var:
        pscode::putVarOperand(code, operand.var);
        break;
    case TPSCodeOperand::Kind::Element:
        pscode::putElementOperand(code, operand.var, operand.sub);
        break;
    case TPSCodeOperand::Kind::ElementVar:
        pscode::putElementVarOperand(code, operand.var, operand.sub);
        break;
    case TPSCodeOperand::Kind::Const:
        pscode::putByte(code, static_cast<std::uint8_t>(pscode::OperandKind::Const));
        c_.WriteConstValue(code, *operand.constant);
        break;
    }
}

bool TPSExpressionCompiler::PrepareVar(const TPSValueVar& var, TPSCodeOperand& out)
{
    out.type = GetValueType(var);
    out.var = var.CodeNumber();
    out.kind = TPSCodeOperand::Kind::Var;
    const auto& items = var.RecItems;
    if (items.empty())
        return true;
    // The element number of one step: a constant, or a variable holding it.
    auto indexOf = [&](const TPSSubItem& item, TPSCodeOperand& holder, TPSCodeOperand::Kind& kind, std::uint32_t& sub) {
        if (item.IsNumber) {
            kind = TPSCodeOperand::Kind::Element;
            sub = static_cast<const TPSSubNumber&>(item).SubNo;
            return true;
        }
        const TPSValue& index = *static_cast<const TPSSubValue&>(item).SubNo;
        auto* plain = ValueAs<TPSValueVar>(&index);
        kind = TPSCodeOperand::Kind::ElementVar;
        if (plain && plain->RecItems.empty() && !plain->ByReference && isOrdinal32(BaseOf(GetValueType(*plain)))) {
            sub = plain->CodeNumber();
            return true;
        }
        TPSValueAllocatedStackVar* temp = NewTemp(holder, c_.FindBaseType(BaseType::LongInt));
        sub = temp->CodeNumber();
        return WriteInto(*temp, const_cast<TPSValue&>(index));
    };
    if (items.size() == 1)
        return indexOf(*items[0], out, out.kind, out.sub);
    // A deeper path: a pointer aimed at the variable, then at each element
    // in turn.
    TPSValueAllocatedStackVar* pointer = NewTemp(out, PointerType());
    std::string& code = ctx_.Code();
    putOp(code, pscode::Op::SetPointer);
    pscode::putVarOperand(code, pointer->CodeNumber());
    pscode::putVarOperand(code, var.CodeNumber());
    for (const auto& item : items) {
        TPSCodeOperand holder;
        TPSCodeOperand::Kind kind;
        std::uint32_t sub = 0;
        if (!indexOf(*item, holder, kind, sub))
            return false;
        putOp(code, pscode::Op::SetPointer);
        pscode::putVarOperand(code, pointer->CodeNumber());
        if (kind == TPSCodeOperand::Kind::Element)
            pscode::putElementOperand(code, pointer->CodeNumber(), sub);
        else
            pscode::putElementVarOperand(code, pointer->CodeNumber(), sub);
    }
    out.var = pointer->CodeNumber();
    out.kind = TPSCodeOperand::Kind::Var;
    return true;
}

namespace {

// The constant of a bracketed list that can stand in a set of this type,
// or nil.
const TPSValueData* SetElement(const TPSValue& item, const TPSSetType& set)
{
    auto* data = ValueAs<TPSValueData>(&item);
    if (!data)
        return nullptr;
    const TPSType* element = ResolveLink(set.SetType);
    const TPSType* type = ResolveLink(data->Data.FType);
    const bool fits = element->BaseType == BaseType::Enumeration ? type == element
                      : element->BaseType == BaseType::Char      ? type->BaseType == BaseType::Char
                                                                 : IsIntegerBase(type->BaseType);
    const std::int64_t bit = data->Data.Int;
    return fits && bit >= 0 && static_cast<std::uint64_t>(bit) < set.BitSize() ? data : nullptr;
}

} // namespace

bool TPSExpressionCompiler::PrepareSetConstant(TPSValueArray& list, TPSType* setType, TPSCodeOperand& out)
{
    auto* set = static_cast<TPSSetType*>(ResolveLink(setType));
    auto value = std::make_unique<TPSValueRecord>(c_.UseType(set));
    value->Str.assign(set->ByteSize(), '\0');
    for (const auto& item : list.Items) {
        const TPSValueData* data = SetElement(*item, *set);
        if (!data)
            return FailAt(*item, Err::TypeMismatch);
        const std::int64_t bit = data->Data.Int;
        value->Str[static_cast<std::size_t>(bit / 8)] |= static_cast<char>(1 << (bit % 8));
    }
    out.kind = TPSCodeOperand::Kind::Const;
    out.constant = value.get();
    out.type = set;
    madeConstants_.push_back(std::move(value));
    return true;
}

bool TPSExpressionCompiler::Prepare(TPSValue& value, TPSType* wanted, TPSCodeOperand& out)
{
    if (auto* var = ValueAs<TPSValueVar>(&value))
        return PrepareVar(*var, out);
    if (auto* data = ValueAs<TPSValueData>(&value)) {
        c_.UseType(data->Data.FType);
        out.kind = TPSCodeOperand::Kind::Const;
        out.constant = &data->Data;
        out.type = data->Data.FType;
        return true;
    }
    if (auto* address = ValueAs<TPSValueProcPtr>(&value)) {
        if (BaseOf(wanted) != BaseType::Procedural)
            return FailAt(value, Err::TypeMismatch);
        auto constant = std::make_unique<TPSValueRecord>(c_.UseType(wanted));
        constant->Int = address->ProcNo;
        out.kind = TPSCodeOperand::Kind::Const;
        out.constant = constant.get();
        out.type = constant->FType;
        madeConstants_.push_back(std::move(constant));
        return true;
    }
    if (ValueAs<TPSValueNil>(&value)) {
        // A new slot holds the empty value of its type: no procedure, no
        // object, the empty string.
        const BaseType base = BaseOf(wanted);
        if (base != BaseType::Procedural && base != BaseType::Class && base != BaseType::Interface &&
            base != BaseType::AnsiString && base != BaseType::PChar && base != BaseType::ForwardClass)
            return FailAt(value, Err::TypeMismatch);
        TPSValueAllocatedStackVar* temp = NewTemp(out, wanted);
        out.kind = TPSCodeOperand::Kind::Var;
        out.var = temp->CodeNumber();
        out.type = temp->VarType;
        return true;
    }
    if (auto* list = ValueAs<TPSValueArray>(&value)) {
        if (BaseOf(wanted) == BaseType::Set)
            return PrepareSetConstant(*list, wanted, out);
        return PrepareArray(*list, wanted, out);
    }
    TPSType* type = GetValueType(value);
    if (!type)
        return FailAt(value, Err::TypeMismatch);
    TPSValueAllocatedStackVar* temp = NewTemp(out, type);
    out.kind = TPSCodeOperand::Kind::Var;
    out.var = temp->CodeNumber();
    out.type = temp->VarType;
    return WriteInto(*temp, value);
}

// The set type over an element type: the one there is, or a new one.
TPSType* TPSExpressionCompiler::SetTypeOf(TPSType* element)
{
    element = ResolveLink(element);
    if (!element ||
        !(element->BaseType == BaseType::Byte || element->BaseType == BaseType::Char ||
          (element->BaseType == BaseType::Enumeration && static_cast<TPSEnumType*>(element)->HighValue < 256)))
        return nullptr;
    if (TPSSetType* known = c_.FindSetOf(element))
        return known;
    auto set = std::make_unique<TPSSetType>();
    set->SetType = element;
    return c_.AppendType(std::move(set));
}

// A bracketed list as a dynamic array: a temporary array sized by the
// built-in, then each element assigned. Anything but a dynamic array wanted
// means an array of Variants.
bool TPSExpressionCompiler::PrepareArray(TPSValueArray& list, TPSType* wanted, TPSCodeOperand& out)
{
    TPSType* arrayType = BaseOf(wanted) == BaseType::DynArray ? ResolveLink(wanted) : c_.FindTypeFrom("TVARIANTARRAY");
    const std::int32_t resize = c_.FindProc("SETARRAYLENGTH");
    if (!arrayType || resize < 0)
        return FailAt(list, Err::TypeMismatch);
    TPSType* element = ResolveLink(static_cast<TPSArrayType*>(arrayType)->ArrayTypeNo);
    if (!element)
        return FailAt(list, Err::TypeMismatch);
    TPSValueAllocatedStackVar* array = NewTemp(out, arrayType);
    std::string& code = ctx_.Code();
    {
        TPSCodeOperand count;
        TPSValueAllocatedStackVar* length = NewTemp(count, c_.FindBaseType(BaseType::LongInt));
        auto size = std::make_unique<TPSValueRecord>(length->VarType);
        size->Int = static_cast<std::int64_t>(list.Items.size());
        putOp(code, pscode::Op::Assign);
        pscode::putVarOperand(code, length->CodeNumber());
        pscode::putByte(code, static_cast<std::uint8_t>(pscode::OperandKind::Const));
        c_.WriteConstValue(code, *size);
        putOp(code, pscode::Op::PushRef);
        pscode::putVarOperand(code, array->CodeNumber());
        pscode::putCall(code, static_cast<std::uint32_t>(resize));
        putOp(code, pscode::Op::Pop);
    }
    for (std::size_t i = 0; i < list.Items.size(); ++i) {
        TPSValueLocalVar slot;
        slot.LocalVarNo = array->LocalVarNo;
        slot.VarType = arrayType;
        auto item = std::make_unique<TPSSubNumber>();
        item->AType = element;
        item->SubNo = static_cast<std::uint32_t>(i);
        slot.RecItems.push_back(std::move(item));
        if (element->BaseType == BaseType::Pointer) {
            TPSCodeOperand source;
            if (!Prepare(*list.Items[i], element, source))
                return false;
            putOp(code, pscode::Op::SetPointerCopy);
            pscode::putElementOperand(code, array->CodeNumber(), static_cast<std::uint32_t>(i));
            PutOperand(source);
        } else if (!WriteInto(slot, *list.Items[i])) {
            return false;
        }
    }
    out.kind = TPSCodeOperand::Kind::Var;
    out.var = array->CodeNumber();
    out.type = arrayType;
    return true;
}

// ---- Writing into a destination ------------------------------------------------------

bool TPSExpressionCompiler::CheckAssignable(TPSType* destType, const TPSValue& source)
{
    destType = ResolveLink(destType);
    if (!destType)
        return FailAt(source, Err::TypeMismatch);
    const BaseType d = destType->BaseType;
    if (ValueAs<TPSValueArray>(&source)) {
        if (d == BaseType::Set || d == BaseType::DynArray || d == BaseType::Variant)
            return true;
    } else if (ValueAs<TPSValueNil>(&source)) {
        if (d == BaseType::Interface || d == BaseType::Procedural || d == BaseType::Class ||
            d == BaseType::ForwardClass)
            return true;
    } else if (auto* address = ValueAs<TPSValueProcPtr>(&source)) {
        if (d == BaseType::Procedural) {
            const TPSParametersDecl& want = static_cast<TPSProceduralType*>(destType)->ProcDef;
            if (want.Same(c_.procs_[address->ProcNo]->Declaration()))
                return true;
        }
    } else if (TPSType* sourceType = GetValueType(source)) {
        if (d == BaseType::Set && sourceType->BaseType == BaseType::Set) {
            if (SameValueType(destType, sourceType))
                return true;
        } else if (c_.IsCompatibleType(destType, sourceType, false)) {
            return true;
        }
    }
    return Fail(Err::TypeMismatch);
}

bool TPSExpressionCompiler::ComputeThroughTemp(const TPSCodeOperand& dest, TPSType* type, TPSValue& source)
{
    TPSCodeOperand temp;
    TPSValueAllocatedStackVar* slot = NewTemp(temp, type);
    if (!WriteInto(*slot, source))
        return false;
    putOp(ctx_.Code(), pscode::Op::Assign);
    PutOperand(dest);
    pscode::putVarOperand(ctx_.Code(), slot->CodeNumber());
    return true;
}

bool TPSExpressionCompiler::WriteInto(const TPSValueVar& dest, TPSValue& source)
{
    // Every nested value that is written first goes through here.
    const Nesting nesting(writeDepth_);
    if (writeDepth_ > kMaxWriteNesting || c_.StackNearlyFull())
        return FailAt(source, Err::CustomError, kExpressionTooComplex);
    TPSType* destType = GetValueType(dest);
    if (!CheckAssignable(destType, source))
        return false;
    if (sameVar(dest, source))
        return true;
    if (auto* call = ValueAs<TPSValueProc>(&source))
        return WriteCall(*call, &dest);
    TPSCodeOperand d;
    if (!PrepareVar(dest, d))
        return false;
    // In place only when nothing in the expression can change the
    // destination while it is computed; no one else sees a temporary.
    const bool temporary = ValueAs<TPSValueAllocatedStackVar>(&dest) != nullptr;
    const bool inPlace = temporary || (!hasCall(source) && !dest.ByReference);
    if (auto* bin = ValueAs<TPSBinValueOp>(&source)) {
        // The left operand is read before the destination is written; the
        // right one after, so it must not be the destination, nor what a
        // reference might make it.
        if (!inPlace || !SameValueType(destType, bin->AType) || Mentions(*bin->Val2, dest) ||
            (!temporary && ReadsThroughReference(*bin->Val2)))
            return ComputeThroughTemp(d, bin->AType, source);
        return WriteBinaryInto(dest, d, *bin);
    }
    if (auto* un = ValueAs<TPSUnValueOp>(&source)) {
        if (un->Operator == TPSUnOperatorType::Cast)
            return WriteUnaryInto(dest, d, *un);
        // Negation and "not" work in the destination's type when it can hold
        // them, so -b of a Byte 1 gives -1 in a LongInt.
        TPSType* work = UnaryWorkType(*un, destType);
        if (!inPlace || !SameValueType(destType, work))
            return ComputeThroughTemp(d, work, source);
        return WriteUnaryInto(dest, d, *un, work);
    }
    TPSCodeOperand s;
    if (!Prepare(source, destType, s))
        return false;
    putOp(ctx_.Code(), pscode::Op::Assign);
    PutOperand(d);
    PutOperand(s);
    return true;
}

bool TPSExpressionCompiler::WriteBinaryInto(const TPSValueVar& destVar, const TPSCodeOperand& dest, TPSBinValueOp& op)
{
    std::string& code = ctx_.Code();
    if (op.Operator >= Op::GreaterEqual) {
        // A bracketed list stands for a set of the other side's type. After
        // "in" it is a list of Variants that the left operand is looked for
        // in, or, when every value the left operand can hold is an element
        // of a set over its type and every list element a constant of that
        // set, the set.
        TPSType* leftWanted = GetValueType(*op.Val2);
        TPSType* rightWanted = GetValueType(*op.Val1);
        if (auto* list = ValueAs<TPSValueArray>(op.Val2.get()); list && op.Operator == Op::In) {
            auto* set = static_cast<TPSSetType*>(SetTypeOf(rightWanted));
            const bool constants = set && set->BitSize() == 256 &&
                                   std::all_of(list->Items.begin(), list->Items.end(),
                                               [&](const auto& item) { return SetElement(*item, *set) != nullptr; });
            rightWanted = constants ? set : c_.FindTypeFrom("TVARIANTARRAY");
        }
        TPSCodeOperand left, right;
        if (!rightWanted)
            return FailAt(op, Err::TypeMismatch);
        // An operand that cannot be prepared has said why.
        if (!Prepare(*op.Val1, leftWanted, left) || !Prepare(*op.Val2, rightWanted, right))
            return false;
        static constexpr pscode::CompareOp kCompare[] = {
            pscode::CompareOp::GreaterEqual, pscode::CompareOp::LessEqual, pscode::CompareOp::Greater,
            pscode::CompareOp::Less,         pscode::CompareOp::Equal,     pscode::CompareOp::NotEqual,
            pscode::CompareOp::Is,           pscode::CompareOp::In,
        };
        pscode::putCompareHead(code, kCompare[static_cast<int>(op.Operator) - static_cast<int>(Op::GreaterEqual)]);
        PutOperand(dest);
        PutOperand(left);
        PutOperand(right);
        return true;
    }
    return WriteCalculation(destVar, dest, op);
}

// dest := left, then dest := dest op right. A chain of such operators is
// written in one loop: the leftmost operand goes into the destination, then
// each operator applies its right operand in turn, as long as the
// destination can hold every step (the test WriteInto makes of the top).
bool TPSExpressionCompiler::WriteCalculation(const TPSValueVar& destVar, const TPSCodeOperand& dest, TPSBinValueOp& op)
{
    TPSType* destType = GetValueType(destVar);
    const bool temporary = ValueAs<TPSValueAllocatedStackVar>(&destVar) != nullptr;
    const ChainScope chain(chain_);
    chain_.push_back(&op);
    for (;;) {
        auto* next = ValueAs<TPSBinValueOp>(chain_.back()->Val1.get());
        if (!next || next->Operator >= Op::GreaterEqual || !SameValueType(destType, next->AType) ||
            Mentions(*next->Val2, destVar) || (!temporary && ReadsThroughReference(*next->Val2)))
            break;
        chain_.push_back(next);
    }
    if (!WriteInto(destVar, *chain_.back()->Val1))
        return false;
    std::string& code = ctx_.Code();
    for (std::size_t i = chain_.size(); i-- > chain.base;) {
        TPSBinValueOp& step = *chain_[i];
        // With short-circuit evaluation the right operand of a Boolean "and"
        // or "or" is skipped when the left one decides.
        std::size_t jumpField = 0;
        const bool shortCircuit = c_.BooleanShortCircuit && (step.Operator == Op::And || step.Operator == Op::Or) &&
                                  c_.IsBooleanType(step.AType);
        std::size_t afterJump = 0;
        if (shortCircuit) {
            putOp(code, step.Operator == Op::And ? pscode::Op::JumpIfFalse : pscode::Op::JumpIfTrue);
            jumpField = code.size();
            pscode::putU32(code, 0);
            PutOperand(dest);
            afterJump = code.size();
        }
        {
            TPSCodeOperand right;
            if (!Prepare(*step.Val2, GetValueType(*step.Val1), right))
                return false;
            const Op written = step.Operator == Op::IntDivide ? Op::Divide : step.Operator;
            pscode::putCalcHead(code, written);
            PutOperand(dest);
            PutOperand(right);
        }
        // The jump lands after the right operand's temporaries are gone,
        // which it skipped the making of.
        if (shortCircuit)
            pscode::patchS32(code, jumpField, pscode::jumpOffset(code.size(), afterJump));
    }
    return true;
}

// The type a negation or "not" is computed in when its result goes to a
// destination of destType: the destination's own type where the operation
// means the same there (a number for a negation, an integer for a bitwise
// "not"), else the operand's.
TPSType* TPSExpressionCompiler::UnaryWorkType(const TPSUnValueOp& op, TPSType* destType)
{
    const BaseType d = BaseOf(destType);
    const BaseType own = BaseOf(op.AType);
    if (op.Operator == TPSUnOperatorType::Negate && IsNumericBase(own) && IsNumericBase(d))
        return IsRealBase(own) && !IsRealBase(d) ? op.AType : ResolveLink(destType);
    if (op.Operator == TPSUnOperatorType::Not && IsIntegerBase(own) && IsIntegerBase(d))
        return ResolveLink(destType);
    return op.AType;
}

bool TPSExpressionCompiler::WriteUnaryInto(const TPSValueVar& dest, const TPSCodeOperand& destOperand, TPSUnValueOp& op,
                                           TPSType* work)
{
    // A cast is an assignment (which converts); "not" and negation work on
    // the destination once it holds the operand.
    std::string& code = ctx_.Code();
    const bool cast = op.Operator == TPSUnOperatorType::Cast;
    if (cast || !sameVar(dest, *op.Val)) {
        TPSCodeOperand source;
        if (!Prepare(*op.Val, op.AType, source))
            return false;
        putOp(code, pscode::Op::Assign);
        PutOperand(destOperand);
        PutOperand(source);
    }
    if (cast)
        return true;
    const pscode::Op unary = op.Operator == TPSUnOperatorType::Negate   ? pscode::Op::Negate
                             : c_.IsBooleanType(work ? work : op.AType) ? pscode::Op::BoolNot
                                                                        : pscode::Op::BitNot;
    putOp(code, unary);
    PutOperand(destOperand);
    return true;
}

// ---- Calls ------------------------------------------------------------------------------

bool TPSExpressionCompiler::WriteCall(TPSValueProc& call, const TPSValueVar* dest)
{
    TPSType* result = ResolveLink(call.ResultType);
    if (dest && !result)
        return Fail(Err::NoResult);
    std::string& code = ctx_.Code();
    TPSCodeOperand resultSlot;
    if (result) {
        if (!dest) {
            // A function called as a statement still gets its result slot.
            TPSValueAllocatedStackVar* temp = NewTemp(resultSlot, result);
            resultSlot.var = temp->CodeNumber();
        } else {
            // The callee writes its result while it runs: straight into the
            // destination only when nothing it reads can be that variable.
            const bool direct = ValueAs<TPSValueAllocatedStackVar>(dest) ||
                                (SameValueType(GetValueType(*dest), result) && !dest->ByReference &&
                                 !ValueAs<TPSValueGlobalVar>(dest) && !Mentions(call, *dest) && !PassesReference(call));
            if (!direct) {
                TPSValueAllocatedStackVar* temp = NewTemp(resultSlot, result);
                if (!WriteCall(call, temp))
                    return false;
                TPSCodeOperand d;
                if (!PrepareVar(*dest, d))
                    return false;
                putOp(code, pscode::Op::Assign);
                PutOperand(d);
                pscode::putVarOperand(code, temp->CodeNumber());
                return true;
            }
            if (!PrepareVar(*dest, resultSlot))
                return false;
        }
    }
    TPSCodeOperand through;
    auto* procVal = ValueAs<TPSValueProcVal>(&call);
    if (procVal && !Prepare(*procVal->ProcNo, nullptr, through))
        return false;
    // A var open array is handed over as a copy. The copies are all made
    // before the first parameter goes on the stack, so that no copy sits
    // between two parameters; each lives until the call has returned.
    TPSCodeOperand copies;
    std::vector<std::uint32_t> copyOf(call.Parameters.size(), 0);
    for (std::size_t i = call.Parameters.size(); i-- > 0;) {
        TPSParameter& param = call.Parameters[i];
        if (!param.VarParam || !IsOpenArray(param.ExpectedType))
            continue;
        TPSValueAllocatedStackVar* copy = NewTemp(copies, param.ExpectedType);
        copyOf[i] = copy->CodeNumber();
        TPSCodeOperand actual;
        if (!PrepareVar(static_cast<TPSValueVar&>(*param.Val), actual))
            return false;
        putOp(code, pscode::Op::Assign);
        pscode::putVarOperand(code, copy->CodeNumber());
        PutOperand(actual);
    }
    TPSCodeOperand params;
    for (std::size_t i = call.Parameters.size(); i-- > 0;) {
        TPSParameter& param = call.Parameters[i];
        if (param.VarParam && IsOpenArray(param.ExpectedType)) {
            TPSValueAllocatedStackVar* pointer = NewTemp(params, PointerType());
            putOp(code, pscode::Op::SetPointer);
            pscode::putVarOperand(code, pointer->CodeNumber());
            pscode::putVarOperand(code, copyOf[i]);
            continue;
        }
        if (param.VarParam) {
            auto& var = static_cast<TPSValueVar&>(*param.Val);
            if (var.RecItems.size() > 1) {
                // A deep path is aimed at through a pointer already: that
                // pointer is the parameter.
                if (!PrepareVar(var, params))
                    return false;
                continue;
            }
            TPSValueAllocatedStackVar* pointer = NewTemp(params, PointerType());
            TPSCodeOperand actual;
            if (!PrepareVar(var, actual))
                return false;
            putOp(code, pscode::Op::SetPointer);
            pscode::putVarOperand(code, pointer->CodeNumber());
            PutOperand(actual);
            continue;
        }
        TPSType* type = param.ExpectedType;
        if (BaseOf(type) == BaseType::PChar)
            type = c_.FindBaseType(BaseType::AnsiString);
        if (!type)
            return FailAt(*param.Val, Err::TypeMismatch);
        TPSValueAllocatedStackVar* temp = NewTemp(params, type);
        if (!WriteInto(*temp, *param.Val))
            return false;
    }
    if (result) {
        putOp(code, pscode::Op::PushRef);
        PutOperand(resultSlot);
    }
    if (procVal) {
        putOp(code, pscode::Op::CallVar);
        PutOperand(through);
    } else {
        pscode::putCall(code, static_cast<TPSValueProcNo&>(call).ProcNo);
    }
    if (result)
        putOp(code, pscode::Op::Pop);
    return true;
}
