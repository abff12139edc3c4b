#include "script/compiler/compiler.h"

#include "script/common/member_import.h"
#include "script/common/utils.h"

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
std::unique_ptr<Message> newMessage(const TPSPascalParser& parser, std::string_view module, Code code,
                                    std::string_view param)
{
    auto message = std::make_unique<Message>(code, std::string(param));
    message->SetParserPos(parser);
    message->ModuleName.assign(module);
    return message;
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
        messages_.push_back(newMessage<TPSPascalCompilerError>(*parser_, {}, code, {}));
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

TPSPascalCompilerMessage* TPSPascalCompiler::GetMessage(std::size_t index)
{
    return index < messages_.size() ? messages_[index].get() : nullptr;
}

// After a scan error the parser stands at the end of the text, and whatever
// a reader says about that is a consequence of the error already reported: a
// message made then is handed back to its maker but not listed.
template <typename Message, typename Code>
Message* TPSPascalCompiler::AddMessage(std::string_view module, Code code, std::string_view param)
{
    std::unique_ptr<Message> message = newMessage<Message>(*parser_, module, code, param);
    Message* raw = message.get();
    if (parserError_)
        unlisted_ = std::move(message);
    else
        messages_.push_back(std::move(message));
    return raw;
}

TPSPascalCompilerError* TPSPascalCompiler::MakeError(std::string_view module, TPSCompilerErrorCode code,
                                                     std::string_view param)
{
    return AddMessage<TPSPascalCompilerError>(module, code, param);
}

TPSPascalCompilerHint* TPSPascalCompiler::MakeHint(std::string_view module, TPSCompilerHintCode code,
                                                   std::string_view param)
{
    return AddMessage<TPSPascalCompilerHint>(module, code, param);
}

TPSPascalCompilerWarning* TPSPascalCompiler::MakeWarning(std::string_view module, TPSCompilerWarningCode code,
                                                         std::string_view param)
{
    return AddMessage<TPSPascalCompilerWarning>(module, code, param);
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
    setTypes_.clear();
    for (TPSNameIndex* index : {&typeIndex_, &procIndex_, &regProcIndex_, &varIndex_, &constantIndex_, &unitIndex_})
        index->Clear();
    baseTypes_.fill(nullptr);
    baseTypesSeen_ = 0;
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

namespace {

std::uint32_t depthOf(const TPSType* type)
{
    type = ResolveLink(type);
    return type ? type->Depth : 0;
}

std::uint32_t componentDepth(const TPSType& type)
{
    std::uint32_t deepest = 0;
    switch (type.BaseType) {
    case BaseType::Record:
        for (const TPSRecordFieldTypeDef& field : static_cast<const TPSRecordType&>(type).Fields)
            deepest = std::max(deepest, depthOf(field.FieldType));
        break;
    case BaseType::DynArray:
    case BaseType::StaticArray:
        deepest = depthOf(static_cast<const TPSArrayType&>(type).ArrayTypeNo);
        break;
    case BaseType::Set:
        deepest = depthOf(static_cast<const TPSSetType&>(type).SetType);
        break;
    case BaseType::Procedural: {
        const TPSParametersDecl& decl = static_cast<const TPSProceduralType&>(type).ProcDef;
        deepest = depthOf(decl.Result);
        for (const TPSParameterDecl& param : decl.Params)
            deepest = std::max(deepest, depthOf(param.AType));
        break;
    }
    case BaseType::TypeLink:
        return depthOf(static_cast<const TPSTypeLink&>(type).LinkTypeNo);
    default:
        break;
    }
    return deepest + 1;
}

} // namespace

TPSType* TPSPascalCompiler::AppendType(std::unique_ptr<TPSType> type)
{
    type->Depth = componentDepth(*type);
    if (auto* set = dynamic_cast<TPSSetType*>(type.get()); set && set->SetType)
        setTypes_.emplace(ResolveLink(set->SetType), set);
    types_.push_back(std::move(type));
    return types_.back().get();
}

TPSSetType* TPSPascalCompiler::FindSetOf(const TPSType* element) const
{
    const auto found = setTypes_.find(ResolveLink(element));
    return found == setTypes_.end() ? nullptr : found->second;
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
    if (!ReadMethodHeader(parser, rules, &name, proc->Decl, kind) || name.size() > ps::image::MaxExternalNameLength)
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
    if (!ParseMethod({}, declaration, name, proc->Decl, kind) || name.size() > ps::image::MaxExternalNameLength)
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
    // The name is written into the image and into member import texts.
    if (!psimport::IsImportName(name) || name.size() >= ps::image::ShortTextLimit)
        throw EPSCompilerException(formatText("Unable to register class %s", name));
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

namespace {

TPSNameIndex::Key keyOf(const std::unique_ptr<TPSType>& type)
{
    return {type->NameHash, type->Name};
}

TPSNameIndex::Key keyOf(const std::unique_ptr<TPSProcedure>& proc)
{
    if (const auto* internal = dynamic_cast<const TPSInternalProcedure*>(proc.get()))
        return {internal->NameHash, internal->Name};
    const TPSRegProc* reg = static_cast<const TPSExternalProcedure*>(proc.get())->RegProc;
    return {reg->NameHash, reg->Name};
}

template <typename Symbol> TPSNameIndex::Key keyOf(const std::unique_ptr<Symbol>& symbol)
{
    return {symbol->NameHash, symbol->Name};
}

constexpr auto kKeyOf = [](const auto& entry) { return keyOf(entry); };

} // namespace

std::ptrdiff_t TPSPascalCompiler::TypeSlot(std::string_view upperName) const
{
    return typeIndex_.Find(types_, upperName, MakeHash(upperName), false, kKeyOf);
}

TPSType* TPSPascalCompiler::FindTypeFrom(std::string_view upperName) const
{
    const std::ptrdiff_t at = TypeSlot(upperName);
    return at < 0 ? nullptr : ResolveLink(types_[static_cast<std::size_t>(at)].get());
}

TPSType* TPSPascalCompiler::FindType(std::string_view name) const
{
    return HasLowerCase(name) ? FindTypeFrom(FastUpperCase(name)) : FindTypeFrom(name);
}

std::int32_t TPSPascalCompiler::FindProcNo(std::string_view upperName, bool forwardOnly)
{
    return FindProcNo(upperName, MakeHash(upperName), forwardOnly);
}

std::int32_t TPSPascalCompiler::FindProcNo(std::string_view upperName, std::uint32_t hash, bool forwardOnly)
{
    auto waiting = [forwardOnly](const std::unique_ptr<TPSProcedure>& proc) {
        if (!forwardOnly)
            return true;
        const auto* internal = dynamic_cast<const TPSInternalProcedure*>(proc.get());
        return internal && internal->Forwarded;
    };
    return static_cast<std::int32_t>(procIndex_.Find(procs_, upperName, hash, false, kKeyOf, waiting));
}

std::int32_t TPSPascalCompiler::FindProc(std::string_view name)
{
    CheckCompiling();
    std::string folded;
    if (HasLowerCase(name))
        folded = FastUpperCase(name);
    const std::string_view upper = folded.empty() ? name : std::string_view(folded);
    if (const std::int32_t found = FindProcNo(upper, false); found >= 0)
        return found;
    const std::ptrdiff_t reg = regProcIndex_.Find(regProcs_, upper, MakeHash(upper), false, kKeyOf);
    if (reg < 0)
        return -1;
    procs_.push_back(std::make_unique<TPSExternalProcedure>(regProcs_[static_cast<std::size_t>(reg)].get()));
    return static_cast<std::int32_t>(procs_.size() - 1);
}

TPSConstant* TPSPascalCompiler::FindConstant(std::string_view upperName)
{
    return FindConstant(upperName, MakeHash(upperName));
}

TPSConstant* TPSPascalCompiler::FindConstant(std::string_view upperName, std::uint32_t hash)
{
    const std::ptrdiff_t at = constantIndex_.Find(constants_, upperName, hash, false, kKeyOf);
    return at < 0 ? nullptr : constants_[static_cast<std::size_t>(at)].get();
}

bool TPSPascalCompiler::IsGlobalVar(std::string_view upperName, std::uint32_t hash)
{
    return varIndex_.Find(vars_, upperName, hash, false, kKeyOf) >= 0;
}

bool TPSPascalCompiler::IsLocalVar(const TPSInternalProcedure& proc, std::string_view upperName, std::uint32_t hash)
{
    return proc.FindLocal(upperName, hash) >= 0;
}

void TPSPascalCompiler::DropConstants(std::size_t first, const std::function<bool(std::size_t)>& drop)
{
    constantIndex_.Forget(first);
    std::size_t kept = first;
    for (std::size_t i = first; i < constants_.size(); ++i) {
        if (!drop(i))
            constants_[kept++] = std::move(constants_[i]);
    }
    constants_.resize(kept);
}

TPSType* TPSPascalCompiler::FindBaseTypeAnew(BaseType base)
{
    CheckCompiling();
    for (; baseTypesSeen_ < types_.size(); ++baseTypesSeen_) {
        TPSType& type = *types_[baseTypesSeen_];
        TPSType*& first = baseTypes_[static_cast<std::uint8_t>(type.BaseType)];
        if (!first && typeid(type) == typeid(TPSType))
            first = &type;
    }
    if (TPSType* found = baseTypes_[static_cast<std::uint8_t>(base)])
        return UseType(found);
    return UseType(AppendType(std::make_unique<TPSType>(base)));
}
