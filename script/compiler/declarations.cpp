// The declaration sections: names, labels, variables, constants, types and
// routines.

#include "script/compiler/compiler.h"

#include "script/compiler/utils.h"

using Err = TPSCompilerErrorCode;
using Tok = TPSPasToken;

// ---- Names ----------------------------------------------------------------

bool TPSPascalCompiler::IsDuplicate(std::string_view upperName, const TPSBlockInfo& block) const
{
    if (upperName == "RESULT")
        return true;
    const std::uint32_t hash = MakeHash(upperName);
    auto same = [&](std::uint32_t h, const std::string& name) { return h == hash && name == upperName; };
    if (block.Global) {
        for (const auto& type : types_) {
            if (same(type->NameHash, type->Name))
                return true;
        }
    } else {
        const TPSInternalProcedure& proc = *block.Proc;
        if (same(proc.NameHash, proc.Name))
            return true;
        for (const TPSParameterDecl& param : proc.Decl.Params) {
            if (param.Name == upperName)
                return true;
        }
        for (const TPSProcVar& var : proc.ProcVars) {
            if (same(var.NameHash, var.Name))
                return true;
        }
    }
    for (const auto& proc : procs_) {
        if (const auto* internal = dynamic_cast<const TPSInternalProcedure*>(proc.get())) {
            if (same(internal->NameHash, internal->Name))
                return true;
        } else if (const TPSRegProc* reg = static_cast<const TPSExternalProcedure*>(proc.get())->RegProc;
                   same(reg->NameHash, reg->Name)) {
            return true;
        }
    }
    for (const auto& var : vars_) {
        if (same(var->NameHash, var->Name))
            return true;
    }
    for (const auto& constant : constants_) {
        if (same(constant->NameHash, constant->Name))
            return true;
    }
    return false;
}

void TPSPascalCompiler::NotifyVariable(TPSVariableType kind, std::int32_t varNo, std::int32_t procNo,
                                       std::uint32_t position)
{
    if (OnUseVariable)
        OnUseVariable(this, kind, varNo, procNo, position, {});
}

// ---- Sections ---------------------------------------------------------------

bool TPSPascalCompiler::CheckNewName(const TPSBlockInfo& block, const std::vector<std::string>& taken)
{
    TPSPascalParser& p = *parser_;
    if (p.CurrTokenId() != Tok::Identifier) {
        MakeError({}, Err::IdentifierExpected, {});
        return false;
    }
    bool clash = IsDuplicate(p.Token(), block);
    for (const std::string& name : taken)
        clash = clash || name == p.Token();
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
        const std::string name = p.RawToken();
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
    do {
        std::vector<std::string> upperNames, names;
        std::vector<SourcePlace> places;
        for (;;) {
            if (!CheckNewName(block, upperNames))
                return false;
            upperNames.push_back(p.Token());
            names.push_back(p.RawToken());
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
        for (std::size_t i = 0; i < names.size(); ++i) {
            const auto position = static_cast<std::uint32_t>(places[i].pos);
            if (block.Global) {
                TPSVar& var = *vars_.emplace_back(std::make_unique<TPSVar>());
                var.SetName(names[i]);
                var.AType = type;
                SetPlace(var, places[i]);
                NotifyVariable(TPSVariableType::Global, static_cast<std::int32_t>(vars_.size() - 1), -1, position);
            } else {
                TPSProcVar& var = block.Proc->ProcVars.emplace_back();
                var.SetName(names[i]);
                var.AType = type;
                SetPlace(var, places[i]);
                NotifyVariable(TPSVariableType::Local, static_cast<std::int32_t>(block.Proc->ProcVars.size() - 1),
                               block.ProcNo, position);
            }
        }
        if (!Expect(p, Tok::Semicolon, Err::SemicolonExpected))
            return false;
    } while (p.CurrTokenId() == Tok::Identifier);
    return true;
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
    p.Next();
    std::vector<std::string> taken;
    for (const TPSLabel& label : block.Proc->Labels)
        taken.push_back(label.Name);
    for (;;) {
        if (!CheckNewName(block, taken))
            return false;
        taken.push_back(p.Token());
        block.Proc->Labels.push_back({p.Token(), -1});
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

    TPSInternalProcedure* forward = nullptr;
    std::int32_t forwardNo = -1;
    SourcePlace at{};
    std::string upperName;
    // The header's own scope while it is read: the routine's name and the
    // parameters before the one being checked.
    TPSInternalProcedure scope;
    TPSParametersDecl decl;

    HeaderRules rules;
    rules.untyped = false;
    rules.checkName = [&](const std::string& name) {
        upperName = name;
        scope.SetName(name);
        at = PlaceOf(p);
        for (std::size_t i = 0; i < procs_.size(); ++i) {
            auto* internal = dynamic_cast<TPSInternalProcedure*>(procs_[i].get());
            if (internal && internal->Forwarded && internal->Name == name) {
                forward = internal;
                forwardNo = static_cast<std::int32_t>(i);
                return true;
            }
        }
        if (IsDuplicate(name, TPSBlockInfo{})) {
            MakeError({}, Err::DuplicateIdentifier, p.RawToken());
            return false;
        }
        return true;
    };
    rules.checkParam = [&](const TPSParameterDecl& param) {
        bool clash = IsDuplicate(param.Name, TPSBlockInfo{&scope, -1, false});
        for (std::size_t i = 0; i + 1 < decl.Params.size(); ++i)
            clash = clash || decl.Params[i].Name == param.Name;
        if (clash)
            MakeError({}, Err::DuplicateIdentifier, param.OrgName);
        return !clash;
    };
    std::string writtenName;
    TPSMethodKind kind;
    if (!ReadMethodHeader(p, rules, &writtenName, decl, kind))
        return false;
    if (!Expect(p, Tok::Semicolon, Err::SemicolonExpected))
        return false;

    if (forward) {
        if (!forward->Decl.Same(decl)) {
            MakeError({}, Err::ForwardParameterMismatch, {});
            return false;
        }
    } else if (p.CurrTokenId() == Tok::KwExternal) {
        p.Next();
        if (p.CurrTokenId() != Tok::String) {
            MakeError({}, Err::StringExpected, {});
            return false;
        }
        const std::string& quoted = p.Token();
        const std::string external = quoted.substr(1, quoted.size() - 2);
        p.Next();
        if (!Expect(p, Tok::Semicolon, Err::SemicolonExpected))
            return false;
        if (!OnExternalProc) {
            MakeError({}, Err::SemicolonExpected, {});
            return false;
        }
        std::unique_ptr<TPSRegProc> reg = OnExternalProc(this, &decl, upperName, external);
        if (!reg) {
            MakeError({}, Err::CustomError, {});
            return false;
        }
        regProcs_.push_back(std::move(reg));
        procs_.push_back(std::make_unique<TPSExternalProcedure>(regProcs_.back().get()));
        procs_.back()->Attributes = std::move(attributes);
        return ApplyProcAttributes(procs_.back().get());
    }

    TPSInternalProcedure* proc = forward;
    std::int32_t procNo = forwardNo;
    if (!proc) {
        procs_.push_back(std::make_unique<TPSInternalProcedure>());
        proc = static_cast<TPSInternalProcedure*>(procs_.back().get());
        procNo = static_cast<std::int32_t>(procs_.size() - 1);
    }
    proc->SetName(writtenName);
    proc->Decl = std::move(decl);
    SetPlace(*proc, at);
    proc->Attributes = std::move(attributes);
    if (!ApplyProcAttributes(proc))
        return false;

    if (p.CurrTokenId() == Tok::KwForward) {
        if (forward) {
            MakeError({}, Err::DuplicateIdentifier, writtenName);
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

    TPSBlockInfo local{proc, procNo, false};
    // Local constants are seen only inside the routine; the element names of
    // an enumeration declared here stay, as its type does.
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
    if (!SkipBlockBody() || !Expect(p, Tok::Semicolon, Err::SemicolonExpected))
        return false;
    for (auto range = localConstants.rbegin(); range != localConstants.rend(); ++range) {
        const auto begin = constants_.begin();
        constants_.erase(begin + static_cast<std::ptrdiff_t>(range->first),
                         begin + static_cast<std::ptrdiff_t>(range->second));
    }
    return true;
}
