#include "script/compiler/symbols.h"

#include "script/common/utils.h"
#include "script/compiler/compiler.h"

using ps::BaseType;

namespace {

template <typename Symbol>
void nameSymbol(Symbol& symbol, std::string& upper, std::string& org, std::string_view written)
{
    org.assign(written);
    FastUpperCaseInto(written, upper);
    symbol.NameHash = MakeHash(upper);
}

} // namespace

bool IsUnsignedBase(BaseType b)
{
    return b == BaseType::Byte || b == BaseType::Word || b == BaseType::LongWord;
}

bool IsWideStringBase(BaseType b)
{
    return b == BaseType::WideString || b == BaseType::UnicodeString;
}

void TPSValueRecord::Init(TPSType* type)
{
    // Field by field: the texts keep their room rather than trade it for
    // that of a fresh record.
    Int = 0;
    Real = 0;
    Str.clear();
    WStr.clear();
    TypeRef = nullptr;
    FType = ResolveLink(type);
    if (FType && FType->BaseType == BaseType::Set)
        Str.assign(static_cast<const TPSSetType*>(FType)->ByteSize(), '\0');
}

void TPSValueRecord::SetInt(std::int64_t value)
{
    switch (Base()) {
    case BaseType::Byte:
    case BaseType::Char:
        Int = static_cast<std::uint8_t>(value);
        break;
    case BaseType::ShortInt:
        Int = static_cast<std::int8_t>(value);
        break;
    case BaseType::Word:
    case BaseType::WideChar:
        Int = static_cast<std::uint16_t>(value);
        break;
    case BaseType::SmallInt:
        Int = static_cast<std::int16_t>(value);
        break;
    case BaseType::LongWord:
    case BaseType::Enumeration:
        Int = static_cast<std::uint32_t>(value);
        break;
    case BaseType::LongInt:
    case BaseType::Procedural:
        Int = static_cast<std::int32_t>(value);
        break;
    default:
        Int = value;
    }
}

TPSAttributeType::Field& TPSAttributeType::AddField(std::string_view name, TPSType* type)
{
    Field& field = Fields.emplace_back();
    field.OrgName.assign(name);
    FastUpperCaseInto(name, field.Name);
    field.FieldType = type;
    return field;
}

TPSParameterDecl& TPSParametersDecl::AddParam(std::string_view writtenName, TPSParameterMode mode, TPSType* type)
{
    // Routines mostly take a few parameters: room for them in one step.
    constexpr std::size_t kParamsAtFirst = 4;
    if (Params.empty())
        Params.reserve(kParamsAtFirst);
    TPSParameterDecl& param = Params.emplace_back();
    param.OrgName.assign(writtenName);
    FastUpperCaseInto(writtenName, param.Name);
    param.NameHash = MakeHash(param.Name);
    param.Mode = mode;
    param.AType = type;
    return param;
}

bool TPSParametersDecl::Same(const TPSParametersDecl& other) const
{
    if (ResolveLink(Result) != ResolveLink(other.Result) || Params.size() != other.Params.size())
        return false;
    for (std::size_t i = 0; i < Params.size(); ++i) {
        if (Params[i].Mode != other.Params[i].Mode ||
            ResolveLink(Params[i].AType) != ResolveLink(other.Params[i].AType))
            return false;
    }
    return true;
}

namespace {

const char* modeMark(TPSParameterMode mode)
{
    return mode == TPSParameterMode::In ? " @" : " !";
}

std::string typeNumber(const TPSType* type)
{
    type = ResolveLink(type);
    return std::to_string(type ? type->FinalTypeNo : -1);
}

} // namespace

std::string TPSParametersDecl::ByNumbers() const
{
    std::string text = typeNumber(Result);
    for (const TPSParameterDecl& param : Params)
        text.append(modeMark(param.Mode)).append(typeNumber(param.AType));
    return text;
}

std::string TPSParametersDecl::ByNames() const
{
    const TPSType* result = ResolveLink(Result);
    // Measured first, so that the text is made in one allocation.
    std::size_t length = result ? result->Name.size() : 1;
    for (const TPSParameterDecl& param : Params) {
        const TPSType* type = ResolveLink(param.AType);
        length += std::string_view(modeMark(param.Mode)).size() + (type ? type->Name.size() : 0);
    }
    std::string text;
    text.reserve(length);
    text.append(result ? std::string_view(result->Name) : std::string_view("0"));
    for (const TPSParameterDecl& param : Params) {
        const TPSType* type = ResolveLink(param.AType);
        text.append(modeMark(param.Mode)).append(type ? type->Name : "");
    }
    return text;
}

std::string TPSParametersDecl::Signature() const
{
    std::string text(1, Result ? '\1' : '\0');
    for (const TPSParameterDecl& param : Params)
        text.push_back(param.Mode == TPSParameterMode::In ? '\0' : '\1');
    return text;
}

void TPSType::SetName(std::string_view written)
{
    nameSymbol(*this, Name, OriginalName, written);
}

TPSRecordFieldTypeDef& TPSRecordType::AddRecVal(std::string_view writtenName, TPSType* type)
{
    TPSRecordFieldTypeDef& field = Fields.emplace_back();
    nameSymbol(field, field.FieldName, field.FieldOrgName, writtenName);
    field.FieldType = type;
    return field;
}

std::uint32_t TPSSetType::BitSize() const
{
    const TPSType* element = ResolveLink(SetType);
    if (element && element->BaseType == BaseType::Enumeration)
        return static_cast<const TPSEnumType*>(element)->HighValue + 1;
    return 256;
}

TPSType* TPSVariantType::GetDynInvokeSelfType(TPSPascalCompiler& compiler)
{
    return compiler.FindType("IDISPATCH");
}

std::int32_t TPSVariantType::GetDynInvokeProcNo(TPSPascalCompiler& compiler)
{
    return compiler.FindProc("IDISPATCHINVOKE");
}

TPSType* TPSVariantType::GetDynInvokeParamType(TPSPascalCompiler& compiler)
{
    if (TPSType* type = compiler.FindType("!OPENARRAYOFVARIANT"))
        return type;
    return compiler.AddTypeS("!OPENARRAYOFVARIANT", "array of variant");
}

TPSType* TPSVariantType::GetDynInvokeResultType(TPSPascalCompiler& compiler)
{
    return compiler.FindType("VARIANT");
}

std::ptrdiff_t TPSRecordType::FindField(std::string_view upperName, std::uint32_t hash) const
{
    return fieldIndex_.Find(Fields, upperName, hash, false, [](const TPSRecordFieldTypeDef& field) {
        return TPSNameIndex::Key{field.NameHash, field.FieldName};
    });
}

std::ptrdiff_t TPSInternalProcedure::FindParam(std::string_view upperName, std::uint32_t hash) const
{
    return paramIndex_.FindNamed(Decl.Params, upperName, hash);
}

std::ptrdiff_t TPSInternalProcedure::FindLocal(std::string_view upperName, std::uint32_t hash) const
{
    return localIndex_.FindNamed(ProcVars, upperName, hash);
}

std::ptrdiff_t TPSInternalProcedure::FindLabel(std::string_view upperName, std::uint32_t hash) const
{
    return labelIndex_.FindNamed(Labels, upperName, hash);
}

void TPSInternalProcedure::SetDecl(TPSParametersDecl decl)
{
    Decl = std::move(decl);
    paramIndex_.Clear();
}

std::unique_ptr<TPSType> MakeTypeForBase(BaseType base)
{
    switch (base) {
    case BaseType::Record:
        return std::make_unique<TPSRecordType>();
    case BaseType::DynArray:
        return std::make_unique<TPSArrayType>();
    case BaseType::StaticArray:
        return std::make_unique<TPSStaticArrayType>();
    case BaseType::Set:
        return std::make_unique<TPSSetType>();
    case BaseType::Enumeration:
        return std::make_unique<TPSEnumType>();
    case BaseType::Procedural:
        return std::make_unique<TPSProceduralType>();
    case BaseType::Class:
        return std::make_unique<TPSClassType>();
    case BaseType::Interface:
        return std::make_unique<TPSInterfaceType>();
    case BaseType::TypeLink:
        return std::make_unique<TPSTypeLink>();
    case BaseType::ForwardClass:
        return std::make_unique<TPSUndefinedClassType>();
    case BaseType::Variant:
    case BaseType::NotificationVariant:
        return std::make_unique<TPSVariantType>(base);
    default:
        return std::make_unique<TPSType>(base);
    }
}

void TPSRegProc::SetName(std::string_view written)
{
    nameSymbol(*this, Name, OrgName, written);
}

void TPSInternalProcedure::SetName(std::string_view written)
{
    nameSymbol(*this, Name, OriginalName, written);
}

void TPSProcVar::SetName(std::string_view written)
{
    nameSymbol(*this, Name, OrgName, written);
}

void TPSVar::SetName(std::string_view written)
{
    nameSymbol(*this, Name, OrgName, written);
}

void TPSConstant::SetName(std::string_view written)
{
    nameSymbol(*this, Name, OrgName, written);
}

void TPSInterface::SetName(std::string_view written)
{
    std::string org;
    nameSymbol(*this, Name, org, written);
}

bool TPSInterface::RegisterMethod(std::string_view header, TPSCallingConvention cc)
{
    TPSParametersDecl decl;
    TPSMethodKind kind;
    std::string name;
    if (!owner_.ParseMethod({}, header, name, decl, kind))
        return false;
    AddMethod(name, std::move(decl), cc);
    return true;
}

void TPSInterface::AddMethod(std::string_view writtenName, TPSParametersDecl decl, TPSCallingConvention cc)
{
    TPSInterfaceMethod& method = Methods.emplace_back();
    nameSymbol(method, method.Name, method.OrgName, writtenName);
    method.Decl = std::move(decl);
    method.CC = cc;
}

bool TPSInterface::IsCompatibleWith(const TPSInterface* other) const
{
    for (const TPSInterface* i = this; i; i = i->InheritedFrom) {
        if (i == other)
            return true;
    }
    return false;
}
