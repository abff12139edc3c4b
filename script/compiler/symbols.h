#pragma once
// The symbols of one compile: types, parameter lists, host routines, script
// procedures, variables, constants, attributes, and the compile-time records
// of host classes and interfaces. The compiler owns every symbol; symbols
// point at each other with plain pointers that live as long as the compile.

#include "platform/core/guid.h"
#include "script/common/bytecode_image.h"
#include "script/common/utf.h"
#include "script/compiler/name_index.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TPSPascalCompiler;
class TPSType;
class TPSProcedure;
class TPSCompileTimeClass;
class TPSInterface;
struct TPSAttribute;

// Resolves a type link to the type it names; nil stays nil. (Inline below:
// every node of every expression asks.)
inline TPSType* ResolveLink(TPSType* type);
inline const TPSType* ResolveLink(const TPSType* type);
// The base code of a type with links followed.
inline ps::BaseType BaseOf(const TPSType* type);

// Base-code classes used by the folding and the compatibility rules.
inline bool IsIntegerBase(ps::BaseType b) // 1 to 6 and 17
{
    return (b >= ps::BaseType::Byte && b <= ps::BaseType::LongInt) || b == ps::BaseType::Int64;
}
inline bool IsRealBase(ps::BaseType b) // 7, 8, 9 and 24
{
    return b == ps::BaseType::Single || b == ps::BaseType::Double || b == ps::BaseType::Extended ||
           b == ps::BaseType::Currency;
}
inline bool IsNumericBase(ps::BaseType b)
{
    return IsIntegerBase(b) || IsRealBase(b);
}
bool IsUnsignedBase(ps::BaseType b);   // Byte, Word, LongWord
bool IsWideStringBase(ps::BaseType b); // WideString, UnicodeString

// A compile-time value: constants, attribute values, array bounds and folded
// sub-expressions. Which field holds the value follows the base code of the
// type: integers, chars, ordinals, procedure numbers and Currency (a count of
// ten-thousandths) are kept in Int, wrapped to the type's width; Single,
// Double and Extended in Real, rounded to the type's precision; 8-bit strings
// and set bytes in Str; wide strings in WStr; a type reference in TypeRef.
struct TPSValueRecord
{
    TPSType* FType = nullptr;
    std::int64_t Int = 0;
    long double Real = 0;
    std::string Str;
    std::u16string WStr;
    TPSType* TypeRef = nullptr;

    TPSValueRecord() = default;
    // Sets the type (links followed) and clears the value; a set gets the
    // zero bytes of its size.
    explicit TPSValueRecord(TPSType* type) { Init(type); }
    void Init(TPSType* type);
    ps::BaseType Base() const { return BaseOf(FType); }
    // Stores an integer wrapped to the width and sign of the value's type.
    void SetInt(std::int64_t value);
};

// Readers of a value as another kind. Integers, chars, wide chars and
// enumeration ordinals read as integers; any numeric value reads as a real;
// strings and chars of either width read as text (8-bit text is UTF-8).
std::int32_t GetIntValue(const TPSValueRecord& value);
std::int64_t GetInt64Value(const TPSValueRecord& value);
long double GetRealValue(const TPSValueRecord& value);
std::string GetStringValue(const TPSValueRecord& value);
std::u16string GetWideStringValue(const TPSValueRecord& value);
std::u16string GetUnicodeStringValue(const TPSValueRecord& value);

// Attribute types are declared by the host. A host check may veto the use of
// an attribute on a procedure.
class TPSAttributeType
{
public:
    using ProcCheck = bool (*)(TPSPascalCompiler* sender, TPSProcedure* proc, const TPSAttribute& attribute);

    struct Field
    {
        std::string Name;
        std::string OrgName;
        TPSType* FieldType = nullptr;
    };

    std::string Name; // upper-cased
    std::string OrgName;
    std::uint32_t NameHash = 0;
    std::vector<Field> Fields;
    ProcCheck OnApplyAttributeToProc = nullptr;

    Field& AddField(std::string_view name, TPSType* type);
};

struct TPSAttribute
{
    TPSAttributeType* AType = nullptr;
    std::vector<TPSValueRecord> Values;
};

using TPSAttributes = std::vector<TPSAttribute>;

// Modes of a parameter, as the image and the runtime number them.
enum class TPSParameterMode : std::uint8_t { In = 0, Out = 1, InOut = 2 };

struct TPSParameterDecl
{
    std::uint32_t NameHash = 0;
    std::string Name; // upper-cased
    std::string OrgName;
    TPSParameterMode Mode = TPSParameterMode::In;
    TPSType* AType = nullptr; // nil for an untyped parameter
    std::int32_t DeclarePos = -1;
    std::uint32_t DeclareRow = 0;
    std::uint32_t DeclareCol = 0;
};

class TPSParametersDecl
{
public:
    TPSType* Result = nullptr; // nil for a procedure
    std::vector<TPSParameterDecl> Params;

    TPSParameterDecl& AddParam(std::string_view writtenName, TPSParameterMode mode, TPSType* type);
    // Same result type, count, and mode and type of every parameter (links
    // followed).
    bool Same(const TPSParametersDecl& other) const;

    // The declaration rendered by output numbers, for the image:
    // "-1 @3 !5" (result, then per parameter " !" for var or out, " @" for
    // value, and the type's number).
    std::string ByNumbers() const;
    // The same rendered by upper-cased type names, for the export check; a
    // procedure's result is "0".
    std::string ByNames() const;
    // One byte 0 or 1 for has-a-result, then one byte per parameter: 1 for
    // var or out, 0 otherwise.
    std::string Signature() const;
};

// The type family. Every type is owned by the compiler's type list.
class TPSType
{
public:
    explicit TPSType(ps::BaseType base) : BaseType(base) {}
    virtual ~TPSType() = default;
    TPSType(const TPSType&) = delete;
    TPSType& operator=(const TPSType&) = delete;

    // Sets the written name, the upper-cased name and its hash.
    void SetName(std::string_view written);

    // Late-bound member access through a value of this type; only Variants
    // answer.
    virtual TPSType* GetDynInvokeSelfType(TPSPascalCompiler&) { return nullptr; }
    virtual std::int32_t GetDynInvokeProcNo(TPSPascalCompiler&) { return -1; }
    virtual TPSType* GetDynInvokeParamType(TPSPascalCompiler&) { return nullptr; }
    virtual TPSType* GetDynInvokeResultType(TPSPascalCompiler&) { return nullptr; }

    std::uint32_t NameHash = 0;
    std::string Name; // upper-cased; empty for anonymous types
    ps::BaseType BaseType;
    std::int32_t DeclarePos = -1; // -1 for host declarations
    std::uint32_t DeclareRow = 0;
    std::uint32_t DeclareCol = 0;
    bool Used = false;
    bool ExportName = false;
    std::string OriginalName;
    TPSAttributes Attributes;
    std::int32_t FinalTypeNo = -1; // output number once used
    // How deep the type's components nest: 1 for a type without any, else
    // one more than its deepest component.
    std::uint32_t Depth = 1;
};

struct TPSRecordFieldTypeDef
{
    std::uint32_t NameHash = 0;
    std::string FieldName; // upper-cased
    std::string FieldOrgName;
    TPSType* FieldType = nullptr;
};

class TPSRecordType : public TPSType
{
public:
    TPSRecordType() : TPSType(ps::BaseType::Record) {}
    std::vector<TPSRecordFieldTypeDef> Fields;
    TPSRecordFieldTypeDef& AddRecVal(std::string_view writtenName, TPSType* type);
    // The field's position; -1 when the record has no such field.
    std::ptrdiff_t FindField(std::string_view upperName, std::uint32_t hash) const;

private:
    mutable TPSNameIndex fieldIndex_;
};

class TPSArrayType : public TPSType
{
public:
    TPSArrayType() : TPSType(ps::BaseType::DynArray) {}
    TPSType* ArrayTypeNo = nullptr; // element type

protected:
    explicit TPSArrayType(ps::BaseType base) : TPSType(base) {}
};

class TPSStaticArrayType : public TPSArrayType
{
public:
    TPSStaticArrayType() : TPSArrayType(ps::BaseType::StaticArray) {}
    std::int32_t StartOffset = 0; // low bound
    std::int32_t Length = 0;      // element count
};

class TPSSetType : public TPSType
{
public:
    TPSSetType() : TPSType(ps::BaseType::Set) {}
    TPSType* SetType = nullptr; // element type
    // 256 for Byte and Char, the highest ordinal + 1 for an enumeration.
    std::uint32_t BitSize() const;
    std::uint32_t ByteSize() const { return ps::setByteCount(BitSize()); }
};

class TPSEnumType : public TPSType
{
public:
    TPSEnumType() : TPSType(ps::BaseType::Enumeration) {}
    std::uint32_t HighValue = 0; // element count - 1
};

class TPSProceduralType : public TPSType
{
public:
    TPSProceduralType() : TPSType(ps::BaseType::Procedural) {}
    TPSParametersDecl ProcDef;
};

class TPSClassType : public TPSType
{
public:
    TPSClassType() : TPSType(ps::BaseType::Class) {}
    TPSCompileTimeClass* Cl = nullptr;
};

class TPSInterfaceType : public TPSType
{
public:
    TPSInterfaceType() : TPSType(ps::BaseType::Interface) {}
    TPSInterface* Intf = nullptr;
};

class TPSTypeLink : public TPSType
{
public:
    TPSTypeLink() : TPSType(ps::BaseType::TypeLink) {}
    TPSType* LinkTypeNo = nullptr;
};

inline TPSType* ResolveLink(TPSType* type)
{
    // A link made by an alias may itself point at a link made by another.
    while (type && type->BaseType == ps::BaseType::TypeLink)
        type = static_cast<TPSTypeLink*>(type)->LinkTypeNo;
    return type;
}

inline const TPSType* ResolveLink(const TPSType* type)
{
    return ResolveLink(const_cast<TPSType*>(type));
}

inline ps::BaseType BaseOf(const TPSType* type)
{
    const TPSType* t = ResolveLink(type);
    return t ? t->BaseType : ps::BaseType::ReturnAddress;
}

class TPSUndefinedClassType : public TPSType
{
public:
    TPSUndefinedClassType() : TPSType(ps::BaseType::ForwardClass) {}
    std::string ExtClass; // name of the class it stands for
};

class TPSVariantType : public TPSType
{
public:
    explicit TPSVariantType(ps::BaseType base) : TPSType(base) {}
    TPSType* GetDynInvokeSelfType(TPSPascalCompiler& compiler) override;
    std::int32_t GetDynInvokeProcNo(TPSPascalCompiler& compiler) override;
    TPSType* GetDynInvokeParamType(TPSPascalCompiler& compiler) override;
    TPSType* GetDynInvokeResultType(TPSPascalCompiler& compiler) override;
};

// The class that a type of the given base code is made of.
std::unique_ptr<TPSType> MakeTypeForBase(ps::BaseType base);

// A host routine.
class TPSRegProc
{
public:
    std::uint32_t NameHash = 0;
    std::string Name; // upper-cased
    std::string OrgName;
    TPSParametersDecl Decl;
    std::uint8_t ImportKind = 1;
    std::string ImportDecl; // the signature bytes, or a member's import text

    void SetName(std::string_view written);
};

class TPSProcedure
{
public:
    virtual ~TPSProcedure() = default;
    TPSAttributes Attributes;
    // The routine's name as declared (internal) or as registered (external).
    virtual const std::string& DisplayName() const = 0;
    virtual const TPSParametersDecl& Declaration() const = 0;
};

class TPSExternalProcedure : public TPSProcedure
{
public:
    explicit TPSExternalProcedure(TPSRegProc* regProc) : RegProc(regProc) {}
    TPSRegProc* RegProc;
    const std::string& DisplayName() const override { return RegProc->OrgName; }
    const TPSParametersDecl& Declaration() const override { return RegProc->Decl; }
};

struct TPSProcVar
{
    std::uint32_t NameHash = 0;
    std::string Name; // upper-cased
    std::string OrgName;
    TPSType* AType = nullptr;
    bool Used = false;
    std::int32_t DeclarePos = -1;
    std::uint32_t DeclareRow = 0;
    std::uint32_t DeclareCol = 0;

    void SetName(std::string_view written);
};

struct TPSLabel
{
    std::string Name;               // upper-cased
    std::int64_t CodePosition = -1; // unset until the label is placed
    std::uint32_t NameHash = 0;
};

class TPSInternalProcedure : public TPSProcedure
{
public:
    bool Forwarded = false;
    std::uint32_t NameHash = 0;
    std::string Name; // upper-cased
    std::string OriginalName;
    TPSParametersDecl Decl;
    std::string Data; // the bytecode of the body
    std::vector<TPSProcVar> ProcVars;
    std::uint32_t OutputDeclPosition = 0;
    bool ResultUsed = false;
    std::vector<TPSLabel> Labels;
    std::vector<std::string> Gotos; // pending jump fix-ups
    std::int32_t DeclarePos = -1;
    std::uint32_t DeclareRow = 0;
    std::uint32_t DeclareCol = 0;

    void SetName(std::string_view written);
    const std::string& DisplayName() const override { return OriginalName; }
    const TPSParametersDecl& Declaration() const override { return Decl; }

    // Positions in Decl.Params, ProcVars and Labels by name, the last
    // declared first; -1 when there is none. Decl must not be replaced
    // after a parameter lookup, short of SetDecl.
    std::ptrdiff_t FindParam(std::string_view upperName, std::uint32_t hash) const;
    std::ptrdiff_t FindLocal(std::string_view upperName, std::uint32_t hash) const;
    std::ptrdiff_t FindLabel(std::string_view upperName, std::uint32_t hash) const;
    void SetDecl(TPSParametersDecl decl);

private:
    mutable TPSNameIndex paramIndex_;
    mutable TPSNameIndex localIndex_;
    mutable TPSNameIndex labelIndex_;
};

class TPSVar
{
public:
    std::uint32_t NameHash = 0;
    std::string Name; // upper-cased
    std::string OrgName;
    TPSType* AType = nullptr;
    bool Used = false;
    std::string ExportName;
    std::int32_t DeclarePos = -1;
    std::uint32_t DeclareRow = 0;
    std::uint32_t DeclareCol = 0;
    bool SaveAsPointer = false;

    void SetName(std::string_view written);
};

class TPSConstant
{
public:
    std::string OrgName;
    std::uint32_t NameHash = 0;
    std::string Name;             // upper-cased
    std::int32_t DeclarePos = -1; // -1 for host constants
    std::uint32_t DeclareRow = 0;
    std::uint32_t DeclareCol = 0;
    TPSValueRecord Value;

    void SetName(std::string_view written);
    // Setters for host constants; the value is wrapped to the constant's type.
    void SetInt(std::int64_t value) { Value.SetInt(value); }
    void SetString(std::string value) { Value.Str = std::move(value); }
};

// Calling conventions of host methods, kept as data for the runtime.
enum class TPSCallingConvention : std::uint8_t { Register = 0, Pascal = 1, Cdecl = 2, Stdcall = 3, Safecall = 4 };

struct TPSInterfaceMethod
{
    std::uint32_t NameHash = 0;
    std::string Name; // upper-cased
    std::string OrgName;
    TPSParametersDecl Decl;
    TPSCallingConvention CC = TPSCallingConvention::Stdcall;
    std::int32_t MethodNo = -1; // computed on first use
    std::int32_t ProcNo = -1;   // procedure-number cache
};

class TPSInterface
{
public:
    TPSInterface(TPSPascalCompiler& owner, std::string_view name) : owner_(owner) { SetName(name); }

    std::uint32_t NameHash = 0;
    std::string Name; // upper-cased
    TPSInterface* InheritedFrom = nullptr;
    GUID Guid;
    TPSInterfaceType* AType = nullptr;
    std::vector<TPSInterfaceMethod> Methods;
    std::int32_t CastProcNo = -1; // support routines, made on first use
    std::int32_t TestProcNo = -1;

    // Reads a method header; False (and nothing added) when it is rejected.
    bool RegisterMethod(std::string_view header, TPSCallingConvention cc);
    void AddMethod(std::string_view writtenName, TPSParametersDecl decl, TPSCallingConvention cc);
    // True when this interface is other or inherits from it.
    bool IsCompatibleWith(const TPSInterface* other) const;

private:
    void SetName(std::string_view written);
    TPSPascalCompiler& owner_;
};
