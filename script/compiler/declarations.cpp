// The declaration sections: names, labels, variables, constants, types and
// routines.

#include "script/compiler/compiler.h"

#include "script/common/utils.h"

#include <algorithm>

using Err = TPSCompilerErrorCode;
using Tok = TPSPasToken;

// ---- Names ----------------------------------------------------------------

namespace {

template <typename Named> bool sameName(const Named& named, std::uint32_t hash, std::string_view upperName)
{
    return named.NameHash == hash && named.Name == upperName;
}

} // namespace

bool TPSPascalCompiler::IsDuplicate(std::string_view upperName, const TPSBlockInfo& block)
{
    if (upperName == "RESULT")
        return true;
    const std::uint32_t hash = MakeHash(upperName);
    if (block.Global) {
        if (TypeSlot(upperName) >= 0)
            return true;
    } else {
        const TPSInternalProcedure& proc = *block.Proc;
        if (sameName(proc, hash, upperName) || IsLocalVar(proc, upperName, hash) ||
            proc.FindParam(upperName, hash) >= 0)
            return true;
    }
    return FindProcNo(upperName, hash, false) >= 0 || IsGlobalVar(upperName, hash) || FindConstant(upperName, hash);
}

void TPSPascalCompiler::NotifyVariable(TPSVariableType kind, std::int32_t varNo, std::int32_t procNo,
                                       std::uint32_t position, const std::string& member)
{
    if (OnUseVariable)
        OnUseVariable(this, kind, varNo, procNo, position, member);
}

// ---- Sections ---------------------------------------------------------------

bool TPSPascalCompiler::CheckNewName(const TPSBlockInfo& block,
                                     const std::function<bool(std::string_view, std::uint32_t)>& taken)
{
    TPSPascalParser& p = *parser_;
    if (p.CurrTokenId() != Tok::Identifier) {
        MakeError({}, Err::IdentifierExpected, {});
        return false;
    }
    const bool clash = IsDuplicate(p.Token(), block) || (taken && taken(p.Token(), MakeHash(p.Token())));
    if (clash)
        MakeError({}, Err::DuplicateIdentifier, p.RawToken());
    return !clash;
}

bool TPSPascalCompiler::ProcessTypes()
{
    TPSPascalParser& p = *parser_;
    p.Next();
    do {
        if (!CheckNewName(TPSBlockInfo{}))
            return false;
        const std::string name(p.RawToken());
        const SourcePlace at = PlaceOf(p);
        p.Next();
        if (!Expect(p, Tok::Equal, Err::IsExpected))
            return false;
        TPSType* type = ReadType(name, p);
        if (!type)
            return false;
        SetPlace(*type, at);
        if (!Expect(p, Tok::Semicolon, Err::SemicolonExpected))
            return false;
    } while (p.CurrTokenId() == Tok::Identifier);
    return true;
}

bool TPSPascalCompiler::ProcessVars(TPSBlockInfo& block)
{
    TPSPascalParser& p = *parser_;
    p.Next();
    // The names of one group, checked against each other as they come. The
    // lists serve every group of every section in turn; a section read while
    // another holds them starts with empty ones.
    VarGroupLists lists = std::move(varGroupLists_);
    struct GiveBack
    {
        VarGroupLists& lists;
        VarGroupLists& owner;
        ~GiveBack() { owner = std::move(lists); }
    } giveBack{lists, varGroupLists_};
    auto& [group, groupIndex, names, places] = lists;
    const auto inGroup = [&group = group, &groupIndex = groupIndex](std::string_view name, std::uint32_t hash) {
        return groupIndex.FindNamed(group, name, hash) >= 0;
    };
    do {
        group.clear();
        groupIndex.Clear();
        names.clear();
        places.clear();
        for (;;) {
            if (!CheckNewName(block, inGroup))
                return false;
            group.push_back({std::string(p.Token()), MakeHash(p.Token())});
            names.emplace_back(p.RawToken());
            places.push_back(PlaceOf(p));
            p.Next();
            if (p.CurrTokenId() != Tok::Comma)
                break;
            p.Next();
        }
        if (!Expect(p, Tok::Colon, Err::ColonExpected))
            return false;
        TPSType* type = UseType(ReadType({}, p));
        if (!type)
            return false;
        for (std::size_t i = 0; i < names.size(); ++i)
            AddVariable(block, names[i], type, places[i]);
        if (!Expect(p, Tok::Semicolon, Err::SemicolonExpected))
            return false;
    } while (p.CurrTokenId() == Tok::Identifier);
    return true;
}

void TPSPascalCompiler::AddVariable(TPSBlockInfo& block, std::string_view name, TPSType* type, const SourcePlace& at)
{
    const auto position = static_cast<std::uint32_t>(at.pos);
    if (block.Global) {
        auto var = std::make_unique<TPSVar>();
        var->SetName(name);
        var->AType = type;
        SetPlace(*var, at);
        vars_.push_back(std::move(var));
        NotifyVariable(TPSVariableType::Global, static_cast<std::int32_t>(vars_.size() - 1), -1, position);
        return;
    }
    TPSProcVar var;
    var.SetName(name);
    var.AType = type;
    SetPlace(var, at);
    // Routines mostly have a few locals: room for them in one step.
    constexpr std::size_t kLocalsAtFirst = 4;
    if (block.Proc->ProcVars.empty())
        block.Proc->ProcVars.reserve(kLocalsAtFirst);
    block.Proc->ProcVars.push_back(std::move(var));
    NotifyVariable(TPSVariableType::Local, static_cast<std::int32_t>(block.Proc->ProcVars.size() - 1), block.ProcNo,
                   position);
}

bool TPSPascalCompiler::ProcessConsts(TPSBlockInfo& block)
{
    TPSPascalParser& p = *parser_;
    p.Next();
    do {
        if (!CheckNewName(block))
            return false;
        auto constant = std::make_unique<TPSConstant>();
        constant->SetName(p.RawToken());
        SetPlace(*constant, PlaceOf(p));
        p.Next();
        if (!Expect(p, Tok::Equal, Err::IsExpected) || !ReadConstant(constant->Value) ||
            !Expect(p, Tok::Semicolon, Err::SemicolonExpected))
            return false;
        constants_.push_back(std::move(constant));
    } while (p.CurrTokenId() == Tok::Identifier);
    return true;
}

bool TPSPascalCompiler::ProcessLabels(TPSBlockInfo& block)
{
    TPSPascalParser& p = *parser_;
    TPSInternalProcedure& proc = *block.Proc;
    std::vector<TPSLabel>& labels = proc.Labels;
    const auto isLabel = [&proc](std::string_view name, std::uint32_t hash) { return proc.FindLabel(name, hash) >= 0; };
    return ReadNameList([&] {
        if (!CheckNewName(block, isLabel))
            return false;
        labels.push_back({std::string(p.Token()), -1, MakeHash(p.Token())});
        return true;
    });
}

bool TPSPascalCompiler::ReadNameList(const std::function<bool()>& take)
{
    TPSPascalParser& p = *parser_;
    p.Next();
    for (;;) {
        if (!take())
            return false;
        p.Next();
        if (p.CurrTokenId() == Tok::Semicolon)
            break;
        if (!Expect(p, Tok::Comma, Err::SemicolonExpected))
            return false;
    }
    p.Next();
    return true;
}

// ---- Routines ---------------------------------------------------------------

bool TPSPascalCompiler::ApplyProcAttributes(TPSProcedure* proc)
{
    for (const TPSAttribute& attribute : proc->Attributes) {
        if (attribute.AType->OnApplyAttributeToProc && !attribute.AType->OnApplyAttributeToProc(this, proc, attribute))
            return false;
    }
    return true;
}

bool TPSPascalCompiler::ProcessFunction()
{
    TPSPascalParser& p = *parser_;
    TPSAttributes attributes;
    if (p.CurrTokenId() == Tok::OpenBlock && !ReadAttributes(attributes))
        return false;
    if (p.CurrTokenId() != Tok::KwProcedure && p.CurrTokenId() != Tok::KwFunction) {
        MakeError({}, Err::BeginExpected, {});
        return false;
    }
    RoutineHeader header;
    if (!ReadRoutineHeader(header) || !Expect(p, Tok::Semicolon, Err::SemicolonExpected))
        return false;

    if (header.forward) {
        if (!header.forward->Decl.Same(header.decl)) {
            MakeError({}, Err::ForwardParameterMismatch, {});
            return false;
        }
    } else if (p.CurrTokenId() == Tok::KwExternal) {
        return DeclareExternal(header, std::move(attributes));
    }

    TPSInternalProcedure* proc = header.forward;
    std::int32_t procNo = header.forwardNo;
    if (!proc) {
        auto created = std::make_unique<TPSInternalProcedure>();
        created->SetName(header.writtenName);
        proc = created.get();
        procs_.push_back(std::move(created));
        procNo = static_cast<std::int32_t>(procs_.size() - 1);
    }
    proc->SetName(header.writtenName);
    proc->SetDecl(std::move(header.decl));
    SetPlace(*proc, header.at);
    proc->Attributes = std::move(attributes);
    if (!ApplyProcAttributes(proc))
        return false;

    if (p.CurrTokenId() == Tok::KwForward) {
        if (header.forward) {
            MakeError({}, Err::DuplicateIdentifier, header.writtenName);
            return false;
        }
        proc->Forwarded = true;
        p.Next();
        return Expect(p, Tok::Semicolon, Err::SemicolonExpected);
    }
    proc->Forwarded = false;
    for (std::size_t i = 0; i < proc->Decl.Params.size(); ++i)
        NotifyVariable(TPSVariableType::Param, static_cast<std::int32_t>(i), procNo,
                       static_cast<std::uint32_t>(proc->Decl.Params[i].DeclarePos));
    return ReadRoutineBody(TPSBlockInfo{proc, procNo, false});
}

bool TPSPascalCompiler::ReadRoutineHeader(RoutineHeader& header)
{
    TPSPascalParser& p = *parser_;
    // The header's own scope while it is read: the routine's name and the
    // parameters before the one being checked.
    TPSInternalProcedure scope;
    HeaderRules rules;
    rules.untyped = false;
    rules.checkName = [&](std::string_view name) {
        scope.SetName(name);
        header.at = PlaceOf(p);
        header.forwardNo = FindProcNo(name, true);
        if (header.forwardNo >= 0) {
            header.forward =
                static_cast<TPSInternalProcedure*>(procs_[static_cast<std::size_t>(header.forwardNo)].get());
            return true;
        }
        if (IsDuplicate(name, TPSBlockInfo{})) {
            MakeError({}, Err::DuplicateIdentifier, p.RawToken());
            return false;
        }
        return true;
    };
    // The parameter being checked is the last in the list already.
    TPSNameIndex paramIndex;
    rules.checkParam = [&](const TPSParameterDecl& param) {
        const std::vector<TPSParameterDecl>& params = header.decl.Params;
        const bool clash = IsDuplicate(param.Name, TPSBlockInfo{&scope, -1, false}) ||
                           paramIndex.Find(
                               params, param.Name, param.NameHash, false,
                               [](const TPSParameterDecl& p) {
                                   return TPSNameIndex::Key{p.NameHash, p.Name};
                               },
                               [&param](const TPSParameterDecl& p) { return &p != &param; }) >= 0;
        if (clash)
            MakeError({}, Err::DuplicateIdentifier, param.OrgName);
        return !clash;
    };
    TPSMethodKind kind;
    return ReadMethodHeader(p, rules, &header.writtenName, header.decl, kind);
}

bool TPSPascalCompiler::DeclareExternal(RoutineHeader& header, TPSAttributes attributes)
{
    TPSPascalParser& p = *parser_;
    p.Next();
    if (p.CurrTokenId() != Tok::String) {
        MakeError({}, Err::StringExpected, {});
        return false;
    }
    const std::string_view quoted = p.Token();
    const std::string external(quoted.substr(1, quoted.size() - 2));
    p.Next();
    if (!Expect(p, Tok::Semicolon, Err::SemicolonExpected))
        return false;
    if (!OnExternalProc) {
        MakeError({}, Err::SemicolonExpected, {});
        return false;
    }
    std::unique_ptr<TPSRegProc> reg = OnExternalProc(this, &header.decl, FastUpperCase(header.writtenName), external);
    if (!reg) {
        MakeError({}, Err::CustomError, {});
        return false;
    }
    if (reg->Name.size() > ps::image::MaxExternalNameLength) {
        MakeError({}, Err::CustomError, "Name too long");
        return false;
    }
    regProcs_.push_back(std::move(reg));
    procs_.push_back(std::make_unique<TPSExternalProcedure>(regProcs_.back().get()));
    procs_.back()->Attributes = std::move(attributes);
    return ApplyProcAttributes(procs_.back().get());
}

// Locals never used, and a result never set, are pointed out where they
// were declared.
void TPSPascalCompiler::HintUnused(const TPSInternalProcedure& proc)
{
    for (const TPSProcVar& var : proc.ProcVars) {
        if (!var.Used)
            MakeHint({}, TPSCompilerHintCode::VariableNotUsed, var.Name)
                ->SetCustomPos(static_cast<std::uint32_t>(var.DeclarePos), var.DeclareRow, var.DeclareCol);
    }
    if (proc.Decl.Result && !proc.ResultUsed)
        MakeHint({}, TPSCompilerHintCode::VariableNotUsed, "Result")
            ->SetCustomPos(static_cast<std::uint32_t>(proc.DeclarePos), proc.DeclareRow, proc.DeclareCol);
}

bool TPSPascalCompiler::ReadRoutineBody(TPSBlockInfo local)
{
    TPSPascalParser& p = *parser_;
    // Local constants are seen only inside the routine; the element names of
    // an enumeration declared here stay, as its type does.
    const std::size_t firstConstant = constants_.size();
    std::vector<std::pair<std::size_t, std::size_t>> localConstants;
    for (;;) {
        const Tok section = p.CurrTokenId();
        bool ok = true;
        if (section == Tok::KwVar) {
            ok = ProcessVars(local);
        } else if (section == Tok::KwConst) {
            const std::size_t first = constants_.size();
            ok = ProcessConsts(local);
            localConstants.emplace_back(first, constants_.size());
        } else if (section == Tok::KwLabel) {
            ok = ProcessLabels(local);
        } else if (section == Tok::KwType) {
            ok = ProcessTypes();
        } else {
            break;
        }
        if (!ok)
            return false;
    }
    if (p.CurrTokenId() != Tok::KwBegin) {
        MakeError({}, Err::BeginExpected, {});
        return false;
    }
    if (!CompileBody(local) || !Expect(p, Tok::Semicolon, Err::SemicolonExpected))
        return false;
    WriteDebugProcNames(local.ProcNo);
    HintUnused(*local.Proc);
    if (!localConstants.empty()) {
        DropConstants(firstConstant, [&localConstants](std::size_t i) {
            return std::any_of(localConstants.begin(), localConstants.end(),
                               [i](const auto& range) { return i >= range.first && i < range.second; });
        });
    }
    return true;
}
