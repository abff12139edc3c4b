// Type denoters, type use and the compatibility rules.

#include "script/compiler/compiler.h"

#include "script/common/utils.h"
#include "script/compiler/image_writer.h"

#include <algorithm>

using ps::BaseType;
using Err = TPSCompilerErrorCode;
using Tok = TPSPasToken;

namespace {

// Nesting beyond these is refused, so that hostile text cannot exhaust the
// stack: within one declaration, and through named types declared one on
// top of another, which every walk over a type's components follows.
constexpr int kMaxTypeDepth = 64;
constexpr std::uint32_t kMaxComponentDepth = ps::image::MaxTypeDepth;

} // namespace

// ---- Type denoters ----------------------------------------------------------

TPSType* TPSPascalCompiler::ReadType(std::string_view name, TPSPascalParser& parser)
{
    return ReadTypeLevel(name, parser, 0);
}

TPSType* TPSPascalCompiler::ReadTypeLevel(std::string_view name, TPSPascalParser& p, int depth)
{
    if (depth > kMaxTypeDepth) {
        ErrorAt(p, Err::SyntaxError);
        return nullptr;
    }
    TPSType* type = nullptr;
    switch (p.CurrTokenId()) {
    case Tok::KwProcedure:
    case Tok::KwFunction: {
        auto proc = std::make_unique<TPSProceduralType>();
        TPSMethodKind kind;
        if (!ReadMethodHeader(p, HeaderRules{}, nullptr, proc->ProcDef, kind))
            return nullptr;
        if (!ProceduralSignatureFits(proc->ProcDef)) {
            ErrorAt(p, Err::InvalidNumberOfParameters);
            return nullptr;
        }
        type = AppendType(std::move(proc));
        break;
    }
    case Tok::KwSet: {
        // A set over an element type that has a set already is that set: a
        // name given to it is an alias.
        const std::size_t known = types_.size();
        type = ReadSetType(p);
        if (type && types_.size() == known && !name.empty()) {
            auto link = std::make_unique<TPSTypeLink>();
            link->SetName(name);
            link->LinkTypeNo = type;
            return AppendType(std::move(link));
        }
        break;
    }
    case Tok::OpenRound:
        type = ReadEnumType(name, p);
        break;
    case Tok::KwArray:
        type = ReadArrayType(p, depth);
        break;
    case Tok::KwRecord:
        type = ReadRecordType(p, depth);
        break;
    case Tok::KwInterface:
        return ReadInterfaceType(name, p);
    case Tok::Identifier: {
        TPSType* found = FindTypeFrom(p.Token());
        if (!found) {
            ErrorAt(p, Err::UnknownType, p.RawToken());
            return nullptr;
        }
        p.Next();
        if (name.empty())
            return found;
        auto link = std::make_unique<TPSTypeLink>();
        link->SetName(name);
        link->LinkTypeNo = found;
        return AppendType(std::move(link));
    }
    default:
        ErrorAt(p, Err::IdentifierExpected);
        return nullptr;
    }
    if (type && type->Depth > kMaxComponentDepth) {
        ErrorAt(p, Err::SyntaxError);
        return nullptr;
    }
    if (type && !name.empty())
        type->SetName(name);
    return type;
}

TPSType* TPSPascalCompiler::ReadSetType(TPSPascalParser& p)
{
    p.Next();
    if (!Expect(p, Tok::KwOf, Err::OfExpected))
        return nullptr;
    if (p.CurrTokenId() != Tok::Identifier) {
        ErrorAt(p, Err::IdentifierExpected);
        return nullptr;
    }
    TPSType* element = FindTypeFrom(p.Token());
    if (!element) {
        ErrorAt(p, Err::UnknownIdentifier, p.RawToken());
        return nullptr;
    }
    const BaseType base = element->BaseType;
    // A set value has at most 256 bits, so a larger enumeration has no set.
    if (!(base == BaseType::Byte || base == BaseType::Char ||
          (base == BaseType::Enumeration && static_cast<TPSEnumType*>(element)->HighValue < 256))) {
        ErrorAt(p, Err::TypeMismatch);
        return nullptr;
    }
    p.Next();
    if (TPSSetType* known = FindSetOf(element))
        return known;
    auto set = std::make_unique<TPSSetType>();
    set->SetType = element;
    return AppendType(std::move(set));
}

TPSType* TPSPascalCompiler::ReadEnumType(std::string_view name, TPSPascalParser& p)
{
    auto* type = static_cast<TPSEnumType*>(AppendType(std::make_unique<TPSEnumType>()));
    if (!name.empty())
        type->SetName(name);
    p.Next();
    std::uint32_t count = 0;
    for (;;) {
        if (p.CurrTokenId() != Tok::Identifier) {
            ErrorAt(p, Err::IdentifierExpected);
            return nullptr;
        }
        if (IsDuplicate(p.Token(), TPSBlockInfo{})) {
            ErrorAt(p, Err::DuplicateIdentifier, p.RawToken());
            return nullptr;
        }
        auto constant = std::make_unique<TPSConstant>();
        constant->SetName(p.RawToken());
        if (Reports(p))
            SetPlace(*constant, PlaceOf(p));
        constant->Value.Init(type);
        constant->Value.SetInt(count++);
        constants_.push_back(std::move(constant));
        p.Next();
        if (p.CurrTokenId() == Tok::CloseRound)
            break;
        if (!Expect(p, Tok::Comma, Err::CloseRoundExpected))
            return nullptr;
    }
    p.Next();
    type->HighValue = count - 1;
    return type;
}

TPSType* TPSPascalCompiler::ReadArrayType(TPSPascalParser& p, int depth)
{
    p.Next();
    if (p.CurrTokenId() == Tok::OpenBlock) {
        p.Next();
        TPSValueRecord low, high;
        if (!ReadConstValue(p, low))
            return nullptr;
        if (!IsIntegerBase(low.Base())) {
            ErrorAt(p, Err::TypeMismatch);
            return nullptr;
        }
        if (!Expect(p, Tok::TwoDots, Err::PeriodExpected) || !ReadConstValue(p, high))
            return nullptr;
        if (!IsIntegerBase(high.Base())) {
            ErrorAt(p, Err::TypeMismatch);
            return nullptr;
        }
        // The count is worked out without overflow: high - low + 1 must lie
        // in 0 to 0x1FFFFFFF and the low bound must fit 32 bits.
        const bool lowFits = low.Int >= INT32_MIN && low.Int <= INT32_MAX;
        const bool empty = high.Int < low.Int && high.Int == low.Int - 1;
        const std::uint64_t span = static_cast<std::uint64_t>(high.Int) - static_cast<std::uint64_t>(low.Int);
        if (!lowFits || (!empty && (high.Int < low.Int || span >= ps::image::StaticArrayCountLimit - 1))) {
            ErrorAt(p, Err::TypeMismatch);
            return nullptr;
        }
        if (!Expect(p, Tok::CloseBlock, Err::CloseBlockExpected) || !Expect(p, Tok::KwOf, Err::OfExpected))
            return nullptr;
        TPSType* element = ReadTypeLevel({}, p, depth + 1);
        if (!element)
            return nullptr;
        auto array = std::make_unique<TPSStaticArrayType>();
        array->ArrayTypeNo = element;
        array->StartOffset = static_cast<std::int32_t>(low.Int);
        array->Length = empty ? 0 : static_cast<std::int32_t>(span + 1);
        return AppendType(std::move(array));
    }
    if (!Expect(p, Tok::KwOf, Err::OfExpected))
        return nullptr;
    TPSType* element = ReadTypeLevel({}, p, depth + 1);
    if (!element)
        return nullptr;
    auto array = std::make_unique<TPSArrayType>();
    array->ArrayTypeNo = element;
    return AppendType(std::move(array));
}

TPSType* TPSPascalCompiler::ReadRecordType(TPSPascalParser& p, int depth)
{
    p.Next();
    auto record = std::make_unique<TPSRecordType>();
    // An empty record has no image form, so at least one field is required.
    do {
        const std::size_t first = record->Fields.size();
        for (;;) {
            if (p.CurrTokenId() != Tok::Identifier) {
                ErrorAt(p, Err::IdentifierExpected);
                return nullptr;
            }
            if (record->FindField(p.Token(), MakeHash(p.Token())) >= 0) {
                ErrorAt(p, Err::DuplicateIdentifier, p.RawToken());
                return nullptr;
            }
            record->AddRecVal(p.RawToken(), nullptr);
            p.Next();
            if (p.CurrTokenId() != Tok::Comma)
                break;
            p.Next();
        }
        if (!Expect(p, Tok::Colon, Err::ColonExpected))
            return nullptr;
        TPSType* fieldType = ReadTypeLevel({}, p, depth + 1);
        if (!fieldType)
            return nullptr;
        for (std::size_t i = first; i < record->Fields.size(); ++i)
            record->Fields[i].FieldType = fieldType;
        if (!Expect(p, Tok::Semicolon, Err::SemicolonExpected))
            return nullptr;
    } while (p.CurrTokenId() != Tok::KwEnd);
    p.Next();
    return AppendType(std::move(record));
}

TPSType* TPSPascalCompiler::ReadInterfaceType(std::string_view name, TPSPascalParser& p)
{
    p.Next();
    if (name.empty()) {
        ErrorAt(p, Err::IdentifierExpected);
        return nullptr;
    }
    if (!Expect(p, Tok::OpenRound, Err::OpenRoundExpected))
        return nullptr;
    if (p.CurrTokenId() != Tok::Identifier) {
        ErrorAt(p, Err::IdentifierExpected);
        return nullptr;
    }
    TPSType* parentType = FindTypeFrom(p.Token());
    if (!parentType) {
        ErrorAt(p, Err::UnknownType, p.RawToken());
        return nullptr;
    }
    if (parentType->BaseType != BaseType::Interface) {
        ErrorAt(p, Err::TypeMismatch);
        return nullptr;
    }
    p.Next();
    if (!Expect(p, Tok::CloseRound, Err::CloseRoundExpected) || !Expect(p, Tok::OpenBlock, Err::OpenBlockExpected))
        return nullptr;
    std::optional<GUID> guid;
    if (p.CurrTokenId() == Tok::String && p.Token().size() >= 2)
        guid = GUID::parse(std::string_view(p.Token()).substr(1, p.Token().size() - 2));
    if (!guid) {
        ErrorAt(p, Err::StringExpected);
        return nullptr;
    }
    p.Next();
    if (!Expect(p, Tok::CloseBlock, Err::CloseBlockExpected))
        return nullptr;
    TPSInterface* intf = AddInterface(static_cast<TPSInterfaceType*>(parentType)->Intf, *guid, name);
    while (p.CurrTokenId() != Tok::KwEnd) {
        const std::size_t messages = messages_.size();
        std::string method;
        TPSParametersDecl decl;
        TPSMethodKind kind;
        if (!ReadMethodHeader(p, HeaderRules{}, &method, decl, kind)) {
            // Whatever part of the header was wrong, the method is what the
            // message names.
            if (!parserError_) {
                messages_.resize(messages);
                ErrorAt(p, Err::CustomError, "Invalid method");
            }
            return nullptr;
        }
        if (!Expect(p, Tok::Semicolon, Err::SemicolonExpected))
            return nullptr;
        intf->AddMethod(method, std::move(decl), TPSCallingConvention::Stdcall);
    }
    p.Next();
    return intf->AType;
}

// ---- Type use --------------------------------------------------------------

TPSType* TPSPascalCompiler::UseNewType(TPSType* type)
{
    // Marked first, so that a type reached again through its own components
    // stops here.
    type->Used = true;
    switch (type->BaseType) {
    case BaseType::Record:
        for (TPSRecordFieldTypeDef& field : static_cast<TPSRecordType*>(type)->Fields)
            field.FieldType = UseType(field.FieldType);
        break;
    case BaseType::DynArray:
    case BaseType::StaticArray: {
        auto* array = static_cast<TPSArrayType*>(type);
        array->ArrayTypeNo = UseType(array->ArrayTypeNo);
        break;
    }
    case BaseType::Set: {
        auto* set = static_cast<TPSSetType*>(type);
        set->SetType = UseType(set->SetType);
        break;
    }
    case BaseType::Procedural: {
        TPSParametersDecl& decl = static_cast<TPSProceduralType*>(type)->ProcDef;
        decl.Result = UseType(decl.Result);
        for (TPSParameterDecl& param : decl.Params)
            param.AType = UseType(param.AType);
        break;
    }
    default:
        break;
    }
    type->FinalTypeNo = typeCounter_++;
    return type;
}

bool TPSPascalCompiler::IsBooleanType(const TPSType* type) const
{
    type = ResolveLink(type);
    if (!type)
        return false;
    return type == booleanType_ || type->Name == "LONGBOOL" || type->Name == "WORDBOOL" || type->Name == "BYTEBOOL";
}

// ---- Compatibility --------------------------------------------------------

bool TPSPascalCompiler::IsCompatibleType(TPSType* target, TPSType* source, bool loose)
{
    auto isOneOf = [](BaseType b, std::initializer_list<BaseType> list) {
        return std::find(list.begin(), list.end(), b) != list.end();
    };
    const auto arrays = {BaseType::DynArray, BaseType::StaticArray};
    // Arrays are compatible when their elements are: walked as a loop, as
    // element types may chain far.
    for (;;) {
        target = ResolveLink(target);
        source = ResolveLink(source);
        if (!target || !source)
            return false;
        // A type is compatible with itself, records included.
        if (target == source)
            return true;
        if (!isOneOf(target->BaseType, arrays) || !isOneOf(source->BaseType, arrays))
            break;
        target = static_cast<TPSArrayType*>(target)->ArrayTypeNo;
        source = static_cast<TPSArrayType*>(source)->ArrayTypeNo;
    }
    const BaseType t = target->BaseType;
    const BaseType s = source->BaseType;
    if (t == BaseType::Procedural && s == BaseType::Procedural)
        return false;
    for (BaseType either : {t, s}) {
        if (isOneOf(either, {BaseType::Pointer, BaseType::Variant, BaseType::NotificationVariant}))
            return true;
    }
    if ((IsIntegerBase(t) && IsIntegerBase(s)) || (IsRealBase(t) && IsNumericBase(s)))
        return true;
    const auto anyText = {BaseType::AnsiString, BaseType::PChar,      BaseType::Char,
                          BaseType::WideChar,   BaseType::WideString, BaseType::UnicodeString};
    if (isOneOf(t, {BaseType::AnsiString, BaseType::PChar, BaseType::WideString, BaseType::UnicodeString}) &&
        isOneOf(s, anyText))
        return true;
    if (isOneOf(t, {BaseType::Char, BaseType::WideChar}) && isOneOf(s, {BaseType::Char, BaseType::WideChar}))
        return true;
    if ((t == BaseType::Set && s == BaseType::Set) || (t == BaseType::Enumeration && s == BaseType::Enumeration))
        return true;
    if (loose && ((t == BaseType::Enumeration && IsIntegerBase(s)) || (IsIntegerBase(t) && s == BaseType::Enumeration)))
        return true;
    if (s == BaseType::Class) {
        const TPSCompileTimeClass* cl = static_cast<TPSClassType*>(source)->Cl;
        if (t == BaseType::Class)
            return cl && cl->IsCompatibleWith(static_cast<TPSClassType*>(target)->Cl);
        return t == BaseType::LongWord || t == BaseType::LongInt || t == BaseType::Interface;
    }
    if (t == BaseType::Interface && s == BaseType::Interface) {
        const TPSInterface* intf = static_cast<TPSInterfaceType*>(source)->Intf;
        return intf && intf->IsCompatibleWith(static_cast<TPSInterfaceType*>(target)->Intf);
    }
    return false;
}
