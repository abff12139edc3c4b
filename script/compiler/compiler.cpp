#include "script/compiler/compiler.h"

#include "script/compiler/utils.h"

#include <algorithm>

using ps::BaseType;
using Err = TPSCompilerErrorCode;

namespace {

constexpr std::string_view kOutsideUses = "This function can only be called from within the OnUses event";

std::string formatText(std::string_view pattern, std::string_view name)
{
    std::string text(pattern);
    const auto at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, name);
    return text;
}

template <typename Message, typename Code>
Message* addMessage(std::vector<std::unique_ptr<TPSPascalCompilerMessage>>& list, const TPSPascalParser& parser,
                    std::string_view module, Code code, std::string_view param)
{
    auto message = std::make_unique<Message>(code, std::string(param));
    message->SetParserPos(parser);
    message->ModuleName.assign(module);
    Message* raw = message.get();
    list.push_back(std::move(message));
    return raw;
}

} // namespace

TPSPascalCompiler::TPSPascalCompiler() : parser_(std::make_unique<TPSPascalParser>())
{
    parser_->SetOnParserError([this](TPSPascalParser&, TPSParserError error) {
        parserError_ = true;
        Err code = Err::SyntaxError;
        switch (error) {
        case TPSParserError::CommentError:
            code = Err::CommentError;
            break;
        case TPSParserError::StringError:
            code = Err::StringError;
            break;
        case TPSParserError::CharError:
            code = Err::CharError;
            break;
        default:
            break;
        }
        MakeError({}, code, {});
    });
}

TPSPascalCompiler::~TPSPascalCompiler()
{
    FreeCompileTables();
}

void TPSPascalCompiler::Clear()
{
    messages_.clear();
}

bool TPSPascalCompiler::GetOutput(std::string& data) const
{
    if (!hasOutput_)
        return false;
    data = output_;
    return true;
}

bool TPSPascalCompiler::GetDebugOutput(std::string& data) const
{
    if (!hasOutput_)
        return false;
    data = debugOutput_;
    return true;
}

const TPSPascalCompilerMessage* TPSPascalCompiler::GetMessage(std::size_t index) const
{
    return index < messages_.size() ? messages_[index].get() : nullptr;
}

TPSPascalCompilerError* TPSPascalCompiler::MakeError(std::string_view module, TPSCompilerErrorCode code,
                                                     std::string_view param)
{
    return addMessage<TPSPascalCompilerError>(messages_, *parser_, module, code, param);
}

TPSPascalCompilerHint* TPSPascalCompiler::MakeHint(std::string_view module, TPSCompilerHintCode code,
                                                   std::string_view param)
{
    return addMessage<TPSPascalCompilerHint>(messages_, *parser_, module, code, param);
}

TPSPascalCompilerWarning* TPSPascalCompiler::MakeWarning(std::string_view module, TPSCompilerWarningCode code,
                                                         std::string_view param)
{
    return addMessage<TPSPascalCompilerWarning>(messages_, *parser_, module, code, param);
}

void TPSPascalCompiler::ErrorAt(const TPSPascalParser& parser, TPSCompilerErrorCode code, std::string_view param)
{
    if (Reports(parser))
        MakeError({}, code, param);
}

bool TPSPascalCompiler::Expect(TPSPascalParser& parser, TPSPasToken token, TPSCompilerErrorCode code)
{
    if (parser.CurrTokenId() != token) {
        ErrorAt(parser, code);
        return false;
    }
    parser.Next();
    return true;
}

// ---- Per-compile tables ---------------------------------------------------

void TPSPascalCompiler::StartCompileTables()
{
    FreeCompileTables();
    compiling_ = true;
    typeCounter_ = 0;
    auto main = std::make_unique<TPSInternalProcedure>();
    main->SetName("!MAIN");
    mainProc_ = main.get();
    procs_.push_back(std::move(main));
    DefineStandardTypes();
    DefineStandardProcedures();
}

void TPSPascalCompiler::FreeCompileTables()
{
    compiling_ = false;
    // Procedures and constants refer to types and routines: they go first.
    procs_.clear();
    constants_.clear();
    vars_.clear();
    regProcs_.clear();
    classes_.clear();
    interfaces_.clear();
    attributeTypes_.clear();
    types_.clear();
    unitNames_.clear();
    mainProc_ = nullptr;
    anyStringType_ = nullptr;
    booleanType_ = nullptr;
}

void TPSPascalCompiler::CheckCompiling() const
{
    if (!compiling_)
        throw EPSCompilerException(std::string(kOutsideUses));
}

// ---- Registration ---------------------------------------------------------

TPSType* TPSPascalCompiler::AppendType(std::unique_ptr<TPSType> type)
{
    types_.push_back(std::move(type));
    return types_.back().get();
}

TPSType* TPSPascalCompiler::AddType(std::string_view name, BaseType base)
{
    CheckCompiling();
    auto type = MakeTypeForBase(base);
    type->SetName(name);
    return AppendType(std::move(type));
}

TPSType* TPSPascalCompiler::AddTypeS(std::string_view name, std::string_view declaration)
{
    CheckCompiling();
    TPSPascalParser parser;
    parser.SetText(std::string(declaration));
    TPSType* type = ReadType(name, parser);
    // A declaration may close with a semicolon, as record declarations do.
    if (type && parser.CurrTokenId() == TPSPasToken::Semicolon)
        parser.Next();
    if (!type || parser.CurrTokenId() != TPSPasToken::EndOfText)
        throw EPSCompilerException(formatText("Unable to register type %s", name));
    type->ExportName = true;
    type->DeclarePos = -1;
    type->DeclareRow = 0;
    type->DeclareCol = 0;
    return type;
}

TPSType* TPSPascalCompiler::AddTypeCopy(std::string_view name, TPSType* type)
{
    CheckCompiling();
    type = ResolveLink(type);
    if (!type)
        throw EPSCompilerException("Invalid Type");
    auto link = std::make_unique<TPSTypeLink>();
    link->SetName(name);
    link->LinkTypeNo = type;
    return AppendType(std::move(link));
}

TPSType* TPSPascalCompiler::AddTypeCopyN(std::string_view name, std::string_view typeName)
{
    CheckCompiling();
    return AddTypeCopy(name, FindType(typeName));
}

TPSConstant* TPSPascalCompiler::AddConstant(std::string_view name, TPSType* type)
{
    CheckCompiling();
    if (!ResolveLink(type))
        throw EPSCompilerException(formatText("Unable to register constant %s", name));
    auto constant = std::make_unique<TPSConstant>();
    constant->SetName(name);
    constant->Value.Init(type);
    constants_.push_back(std::move(constant));
    return constants_.back().get();
}

TPSConstant* TPSPascalCompiler::AddConstantN(std::string_view name, std::string_view typeName)
{
    CheckCompiling();
    return AddConstant(name, FindType(typeName));
}

TPSRegProc* TPSPascalCompiler::AddFunction(std::string_view header)
{
    CheckCompiling();
    auto proc = std::make_unique<TPSRegProc>();
    TPSPascalParser parser;
    parser.SetText(std::string(header));
    std::string name;
    TPSMethodKind kind;
    HeaderRules rules;
    rules.openArrays = false;
    rules.untyped = false;
    rules.wholeText = true;
    if (!ReadMethodHeader(parser, rules, &name, proc->Decl, kind))
        throw EPSCompilerException(formatText("Unable to register function %s", header));
    proc->SetName(name);
    proc->ImportDecl = proc->Decl.Signature();
    regProcs_.push_back(std::move(proc));
    return regProcs_.back().get();
}

TPSRegProc* TPSPascalCompiler::AddNativeFunction(std::string_view declaration)
{
    CheckCompiling();
    auto proc = std::make_unique<TPSRegProc>();
    std::string name;
    TPSMethodKind kind;
    if (!ParseMethod({}, declaration, name, proc->Decl, kind))
        throw EPSCompilerException(formatText("Unable to register function %s", declaration));
    proc->SetName(name);
    proc->ImportDecl = proc->Decl.Signature();
    regProcs_.push_back(std::move(proc));
    return regProcs_.back().get();
}

void TPSPascalCompiler::AddParamsInCode(TPSRegProc* proc, std::initializer_list<ParamSpec> params)
{
    for (const ParamSpec& param : params)
        proc->Decl.AddParam(param.name, param.mode, param.type);
    proc->ImportDecl = proc->Decl.Signature();
}

TPSInterface* TPSPascalCompiler::AddInterface(TPSInterface* parent, const GUID& guid, std::string_view name)
{
    CheckCompiling();
    TPSType* existing = FindType(name);
    if (existing && existing->BaseType == BaseType::Interface) {
        TPSInterface* intf = static_cast<TPSInterfaceType*>(existing)->Intf;
        intf->Guid = guid;
        // A parent that descends from this interface would close a loop.
        if (!parent || !parent->IsCompatibleWith(intf))
            intf->InheritedFrom = parent;
        return intf;
    }
    auto* type = static_cast<TPSInterfaceType*>(AddType(name, BaseType::Interface));
    auto intf = std::make_unique<TPSInterface>(*this, name);
    intf->InheritedFrom = parent;
    intf->Guid = guid;
    intf->AType = type;
    type->Intf = intf.get();
    interfaces_.push_back(std::move(intf));
    return interfaces_.back().get();
}

TPSInterface* TPSPascalCompiler::FindInterface(std::string_view name)
{
    CheckCompiling();
    const std::string upper = FastUpperCase(name);
    const std::uint32_t hash = MakeHash(upper);
    for (auto it = interfaces_.rbegin(); it != interfaces_.rend(); ++it) {
        if ((*it)->NameHash == hash && (*it)->Name == upper)
            return it->get();
    }
    throw EPSCompilerException(formatText("Unknown interface: %s", name));
}

TPSCompileTimeClass* TPSPascalCompiler::AddClass(TPSCompileTimeClass* parent, std::string_view name)
{
    CheckCompiling();
    if (TPSCompileTimeClass* existing = FindClass(name)) {
        if (parent && !parent->IsCompatibleWith(existing))
            existing->ClassInheritsFrom = parent;
        return existing;
    }
    auto* type = static_cast<TPSClassType*>(AddType(name, BaseType::Class));
    type->ExportName = true;
    auto cl = std::make_unique<TPSCompileTimeClass>(*this, name, type);
    cl->ClassInheritsFrom = parent;
    type->Cl = cl.get();
    classes_.push_back(std::move(cl));
    return classes_.back().get();
}

TPSCompileTimeClass* TPSPascalCompiler::FindClass(std::string_view name) const
{
    CheckCompiling();
    const std::string upper = FastUpperCase(name);
    const std::uint32_t hash = MakeHash(upper);
    for (const auto& cl : classes_) {
        if (cl->NameHash == hash && cl->Name == upper)
            return cl.get();
    }
    return nullptr;
}

TPSAttributeType* TPSPascalCompiler::AddAttributeType(std::string_view name)
{
    CheckCompiling();
    auto type = std::make_unique<TPSAttributeType>();
    type->OrgName.assign(name);
    type->Name = FastUpperCase(name);
    type->NameHash = MakeHash(type->Name);
    attributeTypes_.push_back(std::move(type));
    return attributeTypes_.back().get();
}

TPSAttributeType* TPSPascalCompiler::FindAttributeType(std::string_view name) const
{
    const std::string upper = FastUpperCase(name);
    const std::uint32_t hash = MakeHash(upper);
    for (auto it = attributeTypes_.rbegin(); it != attributeTypes_.rend(); ++it) {
        if ((*it)->NameHash == hash && (*it)->Name == upper)
            return it->get();
    }
    return nullptr;
}

// ---- Lookups --------------------------------------------------------------

TPSType* TPSPascalCompiler::FindTypeFrom(std::string_view upperName, bool fromFirst) const
{
    const std::uint32_t hash = MakeHash(upperName);
    auto matches = [&](const std::unique_ptr<TPSType>& t) { return t->NameHash == hash && t->Name == upperName; };
    TPSType* found = nullptr;
    if (fromFirst) {
        const auto it = std::find_if(types_.begin(), types_.end(), matches);
        found = it == types_.end() ? nullptr : it->get();
    } else {
        const auto it = std::find_if(types_.rbegin(), types_.rend(), matches);
        found = it == types_.rend() ? nullptr : it->get();
    }
    return ResolveLink(found);
}

TPSType* TPSPascalCompiler::FindType(std::string_view name) const
{
    return FindTypeFrom(FastUpperCase(name), false);
}

std::int32_t TPSPascalCompiler::FindProc(std::string_view name)
{
    CheckCompiling();
    const std::string upper = FastUpperCase(name);
    const std::uint32_t hash = MakeHash(upper);
    for (std::size_t i = procs_.size(); i-- > 0;) {
        if (auto* internal = dynamic_cast<TPSInternalProcedure*>(procs_[i].get())) {
            if (internal->NameHash == hash && internal->Name == upper)
                return static_cast<std::int32_t>(i);
        } else {
            const TPSRegProc* reg = static_cast<TPSExternalProcedure*>(procs_[i].get())->RegProc;
            if (reg->NameHash == hash && reg->Name == upper)
                return static_cast<std::int32_t>(i);
        }
    }
    for (auto it = regProcs_.rbegin(); it != regProcs_.rend(); ++it) {
        if ((*it)->NameHash == hash && (*it)->Name == upper) {
            procs_.push_back(std::make_unique<TPSExternalProcedure>(it->get()));
            return static_cast<std::int32_t>(procs_.size() - 1);
        }
    }
    return -1;
}

TPSType* TPSPascalCompiler::FindBaseType(BaseType base)
{
    CheckCompiling();
    for (const auto& owned : types_) {
        TPSType& type = *owned;
        if (type.BaseType == base && typeid(type) == typeid(TPSType))
            return UseType(&type);
    }
    return UseType(AppendType(std::make_unique<TPSType>(base)));
}

TPSType* TPSPascalCompiler::UseType(TPSType* type)
{
    type = ResolveLink(type);
    if (!type || type->Used)
        return type;
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

// ---- Method headers -------------------------------------------------------

bool TPSPascalCompiler::ParseMethod(std::string_view owner, std::string_view header, std::string& name,
                                    TPSParametersDecl& decl, TPSMethodKind& kind)
{
    TPSPascalParser parser;
    parser.SetText(std::string(header));
    HeaderRules rules;
    rules.constructorAllowed = !owner.empty();
    rules.wholeText = true;
    return ReadMethodHeader(parser, rules, &name, decl, kind);
}

bool TPSPascalCompiler::ParseMethod(std::string_view owner, TPSPascalParser& parser, std::string& name,
                                    TPSParametersDecl& decl, TPSMethodKind& kind)
{
    HeaderRules rules;
    rules.constructorAllowed = !owner.empty();
    return ReadMethodHeader(parser, rules, &name, decl, kind);
}

TPSType* TPSPascalCompiler::OpenArrayOf(TPSType* element)
{
    element = ResolveLink(element);
    std::string suffix;
    std::string written;
    switch (element->BaseType) {
    case BaseType::Byte:
        suffix = "U8";
        written = "byte";
        break;
    case BaseType::ShortInt:
        suffix = "S8";
        written = "ShortInt";
        break;
    case BaseType::Word:
        suffix = "U16";
        written = "Word";
        break;
    case BaseType::SmallInt:
        suffix = "S16";
        written = "SmallInt";
        break;
    case BaseType::LongWord:
        suffix = "U32";
        written = "Cardinal";
        break;
    case BaseType::LongInt:
        suffix = "S32";
        written = "Longint";
        break;
    case BaseType::Single:
        suffix = "SINGLE";
        written = "Single";
        break;
    case BaseType::Double:
        suffix = "DOUBLE";
        written = "Double";
        break;
    case BaseType::Extended:
        suffix = "EXTENDED";
        written = "Extended";
        break;
    case BaseType::AnsiString:
        suffix = "STRING";
        written = "String";
        break;
    case BaseType::Record:
        suffix = "RECORD_" + element->Name;
        written = element->OriginalName;
        break;
    case BaseType::PChar:
        suffix = "PCHAR";
        written = "PChar";
        break;
    case BaseType::Variant:
    case BaseType::NotificationVariant:
        suffix = "VARIANT";
        written = "variant";
        break;
    case BaseType::Int64:
        suffix = "S64";
        written = "Int64";
        break;
    case BaseType::Char:
        suffix = "CHAR";
        written = "Char";
        break;
    case BaseType::WideString:
        suffix = "WIDESTRING";
        written = "WideString";
        break;
    case BaseType::WideChar:
        suffix = "WIDECHAR";
        written = "WideChar";
        break;
    case BaseType::Class:
        suffix = "TOBJECT";
        written = "TObject";
        break;
    case BaseType::UnicodeString:
        suffix = "UNICODESTRING";
        written = "UnicodeString";
        break;
    default:
        return nullptr;
    }
    const std::string name = "!OPENARRAYOF" + suffix;
    if (TPSType* found = FindType(name))
        return found;
    // An anonymous record cannot be named in a declaration text.
    if (written.empty())
        return nullptr;
    try {
        return AddTypeS(name, "array of " + written);
    } catch (const EPSCompilerException&) {
        return nullptr;
    }
}

bool TPSPascalCompiler::ReadMethodHeader(TPSPascalParser& p, const HeaderRules& rules, std::string* name,
                                         TPSParametersDecl& decl, TPSMethodKind& kind)
{
    switch (p.CurrTokenId()) {
    case TPSPasToken::KwProcedure:
        kind = TPSMethodKind::Procedure;
        break;
    case TPSPasToken::KwFunction:
        kind = TPSMethodKind::Function;
        break;
    case TPSPasToken::KwConstructor:
        if (!rules.constructorAllowed)
            return false;
        kind = TPSMethodKind::Constructor;
        break;
    default:
        return false;
    }
    p.Next();
    if (name) {
        if (p.CurrTokenId() != TPSPasToken::Identifier) {
            ErrorAt(p, Err::IdentifierExpected);
            return false;
        }
        *name = p.RawToken();
        if (rules.checkName && !rules.checkName(p.Token()))
            return false;
        p.Next();
    }
    // A parameter type: a type name, "array of" a type name, or "array of const".
    auto readParamType = [&]() -> TPSType* {
        if (p.CurrTokenId() == TPSPasToken::KwArray) {
            if (!rules.openArrays) {
                ErrorAt(p, Err::IdentifierExpected);
                return nullptr;
            }
            p.Next();
            if (p.CurrTokenId() != TPSPasToken::KwOf) {
                ErrorAt(p, Err::OfExpected);
                return nullptr;
            }
            p.Next();
            if (p.CurrTokenId() == TPSPasToken::KwConst) {
                p.Next();
                if (TPSType* found = FindType("!OPENARRAYOFCONST"))
                    return found;
                return AddTypeS("!OPENARRAYOFCONST", "array of ___Pointer");
            }
            if (p.CurrTokenId() != TPSPasToken::Identifier) {
                ErrorAt(p, Err::IdentifierExpected);
                return nullptr;
            }
            TPSType* element = FindType(p.Token());
            TPSType* open = element ? OpenArrayOf(element) : nullptr;
            if (!open)
                ErrorAt(p, Err::UnknownType, p.RawToken());
            else
                p.Next();
            return open;
        }
        if (p.CurrTokenId() != TPSPasToken::Identifier) {
            ErrorAt(p, Err::IdentifierExpected);
            return nullptr;
        }
        TPSType* type = FindType(p.Token());
        if (!type) {
            ErrorAt(p, Err::UnknownType, p.RawToken());
            return nullptr;
        }
        p.Next();
        return type;
    };

    if (p.CurrTokenId() == TPSPasToken::OpenRound) {
        p.Next();
        while (p.CurrTokenId() != TPSPasToken::CloseRound) {
            TPSParameterMode mode = TPSParameterMode::In;
            if (p.CurrTokenId() == TPSPasToken::KwConst) {
                p.Next();
            } else if (p.CurrTokenId() == TPSPasToken::KwVar) {
                mode = TPSParameterMode::InOut;
                p.Next();
            } else if (p.CurrTokenId() == TPSPasToken::KwOut) {
                mode = TPSParameterMode::Out;
                p.Next();
            }
            const std::size_t first = decl.Params.size();
            for (;;) {
                if (p.CurrTokenId() != TPSPasToken::Identifier) {
                    ErrorAt(p, Err::IdentifierExpected);
                    return false;
                }
                TPSParameterDecl& param = decl.AddParam(p.RawToken(), mode, nullptr);
                SetPlace(param, PlaceOf(p));
                if (rules.checkParam && !rules.checkParam(param))
                    return false;
                p.Next();
                if (p.CurrTokenId() != TPSPasToken::Comma)
                    break;
                p.Next();
            }
            if (p.CurrTokenId() == TPSPasToken::Colon) {
                p.Next();
                TPSType* type = readParamType();
                if (!type)
                    return false;
                for (std::size_t i = first; i < decl.Params.size(); ++i)
                    decl.Params[i].AType = type;
            } else if (!rules.untyped ||
                       (p.CurrTokenId() != TPSPasToken::Semicolon && p.CurrTokenId() != TPSPasToken::CloseRound)) {
                ErrorAt(p, Err::ColonExpected);
                return false;
            }
            if (p.CurrTokenId() == TPSPasToken::Semicolon) {
                p.Next();
            } else if (p.CurrTokenId() != TPSPasToken::CloseRound) {
                ErrorAt(p, Err::CloseRoundExpected);
                return false;
            }
        }
        p.Next();
    }
    if (kind == TPSMethodKind::Function) {
        if (p.CurrTokenId() != TPSPasToken::Colon) {
            ErrorAt(p, Err::ColonExpected);
            return false;
        }
        p.Next();
        if (p.CurrTokenId() != TPSPasToken::Identifier) {
            ErrorAt(p, Err::IdentifierExpected);
            return false;
        }
        decl.Result = FindType(p.Token());
        if (!decl.Result) {
            ErrorAt(p, Err::UnknownType, p.RawToken());
            return false;
        }
        p.Next();
    }
    if (rules.wholeText) {
        if (p.CurrTokenId() == TPSPasToken::Semicolon)
            p.Next();
        return p.CurrTokenId() == TPSPasToken::EndOfText;
    }
    return true;
}

// ---- Compatibility --------------------------------------------------------

bool TPSPascalCompiler::IsCompatibleType(TPSType* target, TPSType* source, bool loose)
{
    target = ResolveLink(target);
    source = ResolveLink(source);
    if (!target || !source)
        return false;
    const BaseType t = target->BaseType;
    const BaseType s = source->BaseType;
    auto isOneOf = [](BaseType b, std::initializer_list<BaseType> list) {
        return std::find(list.begin(), list.end(), b) != list.end();
    };
    if (t == BaseType::Procedural && s == BaseType::Procedural)
        return target == source;
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
    const auto arrays = {BaseType::DynArray, BaseType::StaticArray};
    if (isOneOf(t, arrays) && isOneOf(s, arrays)) {
        return IsCompatibleType(static_cast<TPSArrayType*>(target)->ArrayTypeNo,
                                static_cast<TPSArrayType*>(source)->ArrayTypeNo, loose);
    }
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
