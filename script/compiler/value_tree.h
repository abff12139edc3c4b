#pragma once
// The value tree of an expression, and the compiler of expressions: it reads
// an expression into a tree, checks and derives the types of its nodes, folds
// constant sub-trees, and writes trees as instructions into the code of the
// procedure being compiled, through temporaries where a value needs one.

#include "script/compiler/compiler.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class TPSCodeContext;
class TPSCompileTimeClass;
class TPSDelphiClassItemProperty;

// What a node is. The compiler asks this of every node it reads and
// writes, so the answer is a field, not a search of the class hierarchy.
enum class TPSValueKind : std::uint8_t {
    Data,
    Nil,
    ProcPtr,
    Array,
    UnOp,
    BinOp,
    ProcNo, // calls
    ProcVal,
    GlobalVar, // variables
    ParamVar,
    LocalVar,
    StackVar,
    WithTarget,
};

// Nodes come and go by the thousand in every statement: they are kept for
// reuse on the thread that freed them rather than handed back to the heap
// each time. The common cases are inline, where each node's size is known.
namespace valuenodes {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kReuse = false; // the sanitizer sees each node's own life
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kReuse = false;
#else
inline constexpr bool kReuse = true;
#endif
#else
inline constexpr bool kReuse = true;
#endif

// Free nodes by size, in steps of 16 bytes up to 256.
inline constexpr std::size_t kSizeStep = 16;
inline constexpr std::size_t kSizeClasses = 17;

struct FreeNode
{
    FreeNode* next;
};

// The lists of this thread, built without code, so that reaching them costs
// no check of the thread's first use.
extern thread_local constinit std::array<FreeNode*, kSizeClasses> freeHeads;
// Set once the thread's destructors ran, when a node outlives them.
extern thread_local constinit bool nodesGone;

constexpr std::size_t sizeClass(std::size_t size)
{
    return (size + kSizeStep - 1) / kSizeStep;
}

// The ways that need the heap or the thread's owner of the lists.
void* makeNode(std::size_t size);
void freeNode(void* node, std::size_t size) noexcept;

} // namespace valuenodes

class TPSValue
{
public:
    virtual ~TPSValue() = default;
    static void* operator new(std::size_t size)
    {
        using namespace valuenodes;
        const std::size_t c = sizeClass(size);
        if (kReuse && c < kSizeClasses && !nodesGone) {
            if (FreeNode* node = freeHeads[c]) {
                freeHeads[c] = node->next;
                return node;
            }
        }
        return makeNode(size);
    }
    static void operator delete(void* node, std::size_t size) noexcept
    {
        using namespace valuenodes;
        const std::size_t c = sizeClass(size);
        if (kReuse && c < kSizeClasses && !nodesGone && freeHeads[c]) {
            auto* free = static_cast<FreeNode*>(node);
            free->next = freeHeads[c];
            freeHeads[c] = free;
            return;
        }
        freeNode(node, size);
    }
    TPSValue(const TPSValue&) = delete;
    TPSValue& operator=(const TPSValue&) = delete;
    const TPSValueKind Kind;
    std::int32_t Pos = -1;
    std::uint32_t Row = 0;
    std::uint32_t Col = 0;

protected:
    explicit TPSValue(TPSValueKind kind) : Kind(kind) {}
};

// The node as the class T when it is one (T::Holds tells), else nil.
template <typename T> T* ValueAs(TPSValue* value)
{
    return value && T::Holds(value->Kind) ? static_cast<T*>(value) : nullptr;
}
template <typename T> const T* ValueAs(const TPSValue* value)
{
    return value && T::Holds(value->Kind) ? static_cast<const T*>(value) : nullptr;
}

// One step of a variable's access path.
class TPSSubItem
{
public:
    virtual ~TPSSubItem() = default;
    TPSType* AType = nullptr; // the element's type
    const bool IsNumber;      // a TPSSubNumber, else a TPSSubValue

protected:
    explicit TPSSubItem(bool isNumber) : IsNumber(isNumber) {}
};

class TPSSubNumber : public TPSSubItem
{
public:
    TPSSubNumber() : TPSSubItem(true) {}
    std::uint32_t SubNo = 0; // field or zero-based element number
};

class TPSSubValue : public TPSSubItem
{
public:
    TPSSubValue() : TPSSubItem(false) {}
    std::unique_ptr<TPSValue> SubNo; // its run-time value is the element number
};

class TPSValueVar : public TPSValue
{
public:
    static bool Holds(TPSValueKind kind) { return kind >= TPSValueKind::GlobalVar; }
    TPSType* VarType = nullptr; // the variable's declared type
    std::vector<std::unique_ptr<TPSSubItem>> RecItems;
    // The variable number that the code uses.
    virtual std::uint32_t CodeNumber() const = 0;
    // A var or out parameter: the slot points at a variable of the caller.
    bool ByReference = false;

protected:
    using TPSValue::TPSValue;
};

class TPSValueGlobalVar : public TPSValueVar
{
public:
    static bool Holds(TPSValueKind kind) { return kind == TPSValueKind::GlobalVar; }
    TPSValueGlobalVar() : TPSValueVar(TPSValueKind::GlobalVar) {}
    std::uint32_t GlobalVarNo = 0;
    std::uint32_t CodeNumber() const override { return GlobalVarNo; }
};

class TPSValueLocalVar : public TPSValueVar
{
public:
    static bool Holds(TPSValueKind kind) { return kind >= TPSValueKind::LocalVar; }
    TPSValueLocalVar() : TPSValueVar(TPSValueKind::LocalVar) {}
    std::uint32_t LocalVarNo = 0;
    std::uint32_t CodeNumber() const override { return pscode::localVar(LocalVarNo); }

protected:
    explicit TPSValueLocalVar(TPSValueKind kind) : TPSValueVar(kind) {}
};

class TPSValueParamVar : public TPSValueVar
{
public:
    static bool Holds(TPSValueKind kind) { return kind == TPSValueKind::ParamVar; }
    TPSValueParamVar() : TPSValueVar(TPSValueKind::ParamVar) {}
    std::uint32_t ParamNo = 0;
    std::uint32_t CodeNumber() const override { return pscode::paramVar(ParamNo); }
};

// A temporary: making it pushes a slot of its type, destroying it pops the
// slot. Temporaries go in the reverse order of their making.
class TPSValueAllocatedStackVar : public TPSValueLocalVar
{
public:
    static bool Holds(TPSValueKind kind) { return kind == TPSValueKind::StackVar; }
    TPSValueAllocatedStackVar(TPSCodeContext& context, TPSType* type);
    ~TPSValueAllocatedStackVar() override;
    TPSValueAllocatedStackVar(const TPSValueAllocatedStackVar&) = delete;
    TPSValueAllocatedStackVar& operator=(const TPSValueAllocatedStackVar&) = delete;

    // The temporary of the same owner made just before this one.
    std::unique_ptr<TPSValueAllocatedStackVar> Below;

private:
    TPSCodeContext& context_;
};

// A name found among the fields or members of a with statement's target:
// the slot that points at the target (or holds it), with the name's path
// below it.
class TPSValueWithTarget : public TPSValueLocalVar
{
public:
    static bool Holds(TPSValueKind kind) { return kind == TPSValueKind::WithTarget; }
    TPSValueWithTarget() : TPSValueLocalVar(TPSValueKind::WithTarget) {}
};

class TPSValueData : public TPSValue
{
public:
    static bool Holds(TPSValueKind kind) { return kind == TPSValueKind::Data; }
    TPSValueData() : TPSValue(TPSValueKind::Data) {}
    TPSValueRecord Data;
};

class TPSValueNil : public TPSValue
{
public:
    static bool Holds(TPSValueKind kind) { return kind == TPSValueKind::Nil; }
    TPSValueNil() : TPSValue(TPSValueKind::Nil) {}
};

class TPSValueProcPtr : public TPSValue
{
public:
    static bool Holds(TPSValueKind kind) { return kind == TPSValueKind::ProcPtr; }
    TPSValueProcPtr() : TPSValue(TPSValueKind::ProcPtr) {}
    std::uint32_t ProcNo = 0;
};

struct TPSParameter
{
    std::unique_ptr<TPSValue> Val;
    bool VarParam = false; // var or out: passed by reference
    TPSParameterMode Mode = TPSParameterMode::In;
    TPSType* ExpectedType = nullptr;
};

class TPSValueProc : public TPSValue
{
public:
    static bool Holds(TPSValueKind kind) { return kind == TPSValueKind::ProcNo || kind == TPSValueKind::ProcVal; }
    std::vector<TPSParameter> Parameters;
    TPSType* ResultType = nullptr; // nil for a procedure

protected:
    using TPSValue::TPSValue;
};

class TPSValueProcNo : public TPSValueProc
{
public:
    static bool Holds(TPSValueKind kind) { return kind == TPSValueKind::ProcNo; }
    TPSValueProcNo() : TPSValueProc(TPSValueKind::ProcNo) {}
    std::uint32_t ProcNo = 0;
};

class TPSValueProcVal : public TPSValueProc
{
public:
    static bool Holds(TPSValueKind kind) { return kind == TPSValueKind::ProcVal; }
    TPSValueProcVal() : TPSValueProc(TPSValueKind::ProcVal) {}
    std::unique_ptr<TPSValue> ProcNo; // the procedural value called through
};

enum class TPSUnOperatorType : std::uint8_t { Not = 0, Negate = 1, Cast = 2 };

class TPSUnValueOp : public TPSValue
{
public:
    static bool Holds(TPSValueKind kind) { return kind == TPSValueKind::UnOp; }
    TPSUnValueOp() : TPSValue(TPSValueKind::UnOp) {}
    std::unique_ptr<TPSValue> Val;
    TPSUnOperatorType Operator = TPSUnOperatorType::Not;
    TPSType* AType = nullptr;
};

class TPSBinValueOp : public TPSValue
{
public:
    static bool Holds(TPSValueKind kind) { return kind == TPSValueKind::BinOp; }
    TPSBinValueOp() : TPSValue(TPSValueKind::BinOp) {}
    ~TPSBinValueOp() override
    {
        // Chains grow on the left, as long as the text makes them: unlink
        // them without recursion.
        while (auto* next = ValueAs<TPSBinValueOp>(Val1.get())) {
            std::unique_ptr<TPSValue> below = std::move(next->Val1);
            Val1 = std::move(below);
        }
    }
    std::unique_ptr<TPSValue> Val1;
    std::unique_ptr<TPSValue> Val2;
    TPSBinOperatorType Operator = TPSBinOperatorType::Add;
    TPSType* AType = nullptr;
};

// A bracketed list: a set or array constructor.
class TPSValueArray : public TPSValue
{
public:
    static bool Holds(TPSValueKind kind) { return kind == TPSValueKind::Array; }
    TPSValueArray() : TPSValue(TPSValueKind::Array) {}
    std::vector<std::unique_ptr<TPSValue>> Items;
};

// The procedure whose code is being written: its code buffer and the types
// of the stack slots it holds, declared locals first, then temporaries.
class TPSCodeContext
{
public:
    // slots: a list to fill, whatever it holds, kept for its room.
    TPSCodeContext(TPSInternalProcedure* proc, std::int32_t procNo, std::vector<TPSType*> slots = {});
    TPSInternalProcedure* Proc;
    std::int32_t ProcNo;
    std::string& Code() { return Proc->Data; }
    std::vector<TPSType*> Slots;
    // The targets of the with statements around the code being written,
    // innermost last: the slot that reaches each and its record or class
    // type.
    struct WithTarget
    {
        std::uint32_t Slot;
        TPSType* Type;
    };
    std::vector<WithTarget> Withs;
    // Set when temporaries were released out of order; a compiler fault.
    bool Unbalanced = false;
    bool IsFunction() const { return Proc->Decl.Result != nullptr; }
};

// A value made ready to be written as one operand, with the temporaries it
// needs; they go when it goes, the last made first.
struct TPSCodeOperand
{
    enum class Kind : std::uint8_t { Var, Const, Element, ElementVar } kind = Kind::Var;
    std::uint32_t var = 0;
    std::uint32_t sub = 0; // element number, or the variable holding it
    const TPSValueRecord* constant = nullptr;
    TPSType* type = nullptr;
    // The newest temporary; each holds the one made before it, so that they
    // go in the reverse order of their making, with no list to allocate.
    std::unique_ptr<TPSValueAllocatedStackVar> temps;

    TPSCodeOperand() = default;
    TPSCodeOperand(TPSCodeOperand&&) = default;
    TPSCodeOperand& operator=(TPSCodeOperand&&) = delete;
    ~TPSCodeOperand() { Release(); }
    void Release()
    {
        while (temps)
            temps = std::move(temps->Below);
    }
};

// Reads and writes expressions for one procedure body. Errors are reported
// on the compiler; every function gives nil or False after one.
class TPSExpressionCompiler
{
public:
    TPSExpressionCompiler(TPSPascalCompiler& compiler, TPSCodeContext& context) : c_(compiler), ctx_(context) {}

    // ---- Reading (expressions.cpp) -------------------------------------------
    std::unique_ptr<TPSValue> ReadExpression();
    // An identifier with its postfix chain; in variable-only mode constants,
    // types and routines are rejected.
    std::unique_ptr<TPSValue> GetIdentifier(bool variableOnly);
    static TPSType* GetValueType(const TPSValue& value);
    static bool SameValueType(const TPSType* a, const TPSType* b);
    // The type of left op right; nil when the operator does not take them.
    TPSType* BinaryResultType(TPSBinOperatorType op, const TPSValue& left, const TPSValue& right);

    // ---- Writing (code_writer.cpp) -------------------------------------------
    bool WriteInto(const TPSValueVar& dest, TPSValue& source);
    // A call; with a destination the result goes there. A function called
    // without one still gets a result slot, dropped after the call.
    bool WriteCall(TPSValueProc& call, const TPSValueVar* dest);
    bool Prepare(TPSValue& value, TPSType* wanted, TPSCodeOperand& out);
    void PutOperand(const TPSCodeOperand& operand);
    // True when the variable occurs anywhere in the tree.
    static bool Mentions(const TPSValue& tree, const TPSValueVar& var);
    // True when the tree reads a variable through a reference (a var
    // parameter, Result, a with target), which may be any variable.
    static bool ReadsThroughReference(const TPSValue& tree);
    // True when the call hands the callee such a variable by reference.
    static bool PassesReference(const TPSValueProc& call);

private:
    std::unique_ptr<TPSValue> ReadLevel(int level);
    std::unique_ptr<TPSValue> ReadFactor();
    std::unique_ptr<TPSValue> MakeUnary(TPSUnOperatorType op, std::unique_ptr<TPSValue> operand);
    std::unique_ptr<TPSValue> ReadParenthesized();
    std::unique_ptr<TPSValue> ReadSuccessor(bool next);
    std::unique_ptr<TPSValue> ReadAssigned();
    std::unique_ptr<TPSValue> ReadSizeOf();
    std::unique_ptr<TPSValue> ReadList();
    // Items of a bracketed list, each made into an Item from its value: the
    // values of a set or an array, or straight into a call's parameters.
    template <typename Item>
    bool ReadItems(TPSPasToken close, TPSCompilerErrorCode otherwise, std::vector<Item>& items);
    std::unique_ptr<TPSValue> ReadLiteral();
    std::unique_ptr<TPSValue> ReadAddress();
    std::unique_ptr<TPSValue> ReadChrOrd(bool chr);
    void WarnConstantOperand(TPSBinOperatorType op, const TPSValue& left, const TPSValue& right);
    std::unique_ptr<TPSValue> ReadCallOf(std::int32_t procNo, const TPSPascalCompilerMessage* at);
    bool ReadParameterList(std::vector<TPSParameter>& params, bool brackets);
    bool ReadCharacterAccess(std::unique_ptr<TPSValue>& value, ps::BaseType base);
    std::unique_ptr<TPSValue> ReadNotificationVariant(const TPSVar& var);
    // The name at the parser among the with targets: found is set when it
    // names a field or member of one; False after an error.
    bool ReadWithMember(std::unique_ptr<TPSValue>& found);
    bool ReadLateBound(std::unique_ptr<TPSValue>& value, TPSType* type);
    std::unique_ptr<TPSValue> ReadConstructorCall(TPSType* type, const TPSValue& at);
    bool ReadMember(std::unique_ptr<TPSValue>& value, TPSType* type);
    bool ReadProperty(TPSValueProcNo& call, TPSCompileTimeClass& cl, TPSDelphiClassItemProperty& property,
                      std::int32_t& procNo);
    bool ReadDefaultProperty(std::unique_ptr<TPSValue>& value, TPSType* type);
    void NotifyProperty(const TPSValue& instance, const std::string& member);
    bool ValidateParameters(const TPSParametersDecl& decl, std::vector<TPSParameter>& params);
    bool ReadPostfix(std::unique_ptr<TPSValue>& value);
    std::unique_ptr<TPSValue> MakeBinary(TPSBinOperatorType op, std::unique_ptr<TPSValue> left,
                                         std::unique_ptr<TPSValue> right);
    std::unique_ptr<TPSValue> MakeCast(std::unique_ptr<TPSValue> value, TPSType* target);
    std::unique_ptr<TPSValue> MakeObjectCast(std::unique_ptr<TPSValue> value, TPSType* target, const TPSValue& at);
    bool Fold(std::unique_ptr<TPSValue>& value);
    void Place(TPSValue& value) const;
    bool Fail(TPSCompilerErrorCode code, std::string_view param = {});
    bool FailAt(const TPSValue& value, TPSCompilerErrorCode code, std::string_view param = {});

    bool CheckAssignable(TPSType* destType, const TPSValue& source);
    bool WriteBinaryInto(const TPSValueVar& destVar, const TPSCodeOperand& dest, TPSBinValueOp& op);
    bool WriteCalculation(const TPSValueVar& destVar, const TPSCodeOperand& dest, TPSBinValueOp& op);
    static TPSType* UnaryWorkType(const TPSUnValueOp& op, TPSType* destType);
    bool WriteUnaryInto(const TPSValueVar& dest, const TPSCodeOperand& destOperand, TPSUnValueOp& op,
                        TPSType* work = nullptr);
    bool ComputeThroughTemp(const TPSCodeOperand& dest, TPSType* type, TPSValue& source);
    bool PrepareVar(const TPSValueVar& var, TPSCodeOperand& out);
    bool PrepareArray(TPSValueArray& list, TPSType* wanted, TPSCodeOperand& out);
    bool PrepareSetConstant(TPSValueArray& list, TPSType* setType, TPSCodeOperand& out);
    TPSValueAllocatedStackVar* NewTemp(TPSCodeOperand& owner, TPSType* type);
    TPSType* PointerType();
    static bool IsOpenArray(const TPSType* type);
    TPSType* SetTypeOf(TPSType* element);

    TPSPascalCompiler& c_;
    TPSCodeContext& ctx_;
    // The links of the operator chains being folded or written, innermost
    // chain last: one vector for all, so that no chain allocates its own.
    std::vector<TPSBinValueOp*> chain_;
    struct ChainScope
    {
        std::vector<TPSBinValueOp*>& chain;
        const std::size_t base;
        explicit ChainScope(std::vector<TPSBinValueOp*>& c) : chain(c), base(c.size()) {}
        ~ChainScope() { chain.resize(base); }
        ChainScope(const ChainScope&) = delete;
        ChainScope& operator=(const ChainScope&) = delete;
    };
    // How deep the reader and the writer are in the nesting of the tree.
    int depth_ = 0;
    int writeDepth_ = 0;
    struct Nesting
    {
        int& depth;
        explicit Nesting(int& d) : depth(++d) {}
        ~Nesting() { --depth; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;
    };
    // Constants made while writing, kept for the operands that point at them.
    std::vector<std::unique_ptr<TPSValueRecord>> madeConstants_;
};

// Asked of nearly every node the compiler reads or writes: inline, one
// switch on the kind.
inline TPSType* TPSExpressionCompiler::GetValueType(const TPSValue& value)
{
    switch (value.Kind) {
    case TPSValueKind::Data:
        return static_cast<const TPSValueData&>(value).Data.FType;
    case TPSValueKind::GlobalVar:
    case TPSValueKind::ParamVar:
    case TPSValueKind::LocalVar:
    case TPSValueKind::StackVar:
    case TPSValueKind::WithTarget: {
        const auto& var = static_cast<const TPSValueVar&>(value);
        return var.RecItems.empty() ? ResolveLink(var.VarType) : ResolveLink(var.RecItems.back()->AType);
    }
    case TPSValueKind::ProcNo:
    case TPSValueKind::ProcVal:
        return ResolveLink(static_cast<const TPSValueProc&>(value).ResultType);
    case TPSValueKind::UnOp:
        return ResolveLink(static_cast<const TPSUnValueOp&>(value).AType);
    case TPSValueKind::BinOp:
        return ResolveLink(static_cast<const TPSBinValueOp&>(value).AType);
    case TPSValueKind::Nil:
    case TPSValueKind::ProcPtr:
    case TPSValueKind::Array:
        break;
    }
    return nullptr; // nil, procedure addresses, constructors
}
