// The compile itself: the sections of a program or unit in order, and the
// checks at its end.

#include "script/compiler/compiler.h"

#include "script/common/utils.h"

#include <pthread.h>

using Err = TPSCompilerErrorCode;
using Tok = TPSPasToken;

namespace {

// What a recursion may take below its last check: a level of nesting at the
// frame sizes of a sanitized build without optimization, and the error
// report.
constexpr std::uintptr_t kStackReserve = 256 * 1024;

std::uintptr_t stackFloorOfThisThread()
{
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0)
        return 0;
    void* low = nullptr;
    std::size_t size = 0;
    const bool known = pthread_attr_getstack(&attr, &low, &size) == 0 && low;
    pthread_attr_destroy(&attr);
    return known ? reinterpret_cast<std::uintptr_t>(low) + kStackReserve : 0;
}

} // namespace

bool TPSPascalCompiler::Compile(std::string text)
{
    stackFloor_ = stackFloorOfThisThread();
    hasOutput_ = false;
    output_.clear();
    debugOutput_.clear();
    // A statement's position record is about as long as a short line of
    // text: room for the records at once rather than growing by doubling.
    debugOutput_.reserve(text.size());
    isUnit_ = false;
    module_.clear();
    unitDepth_ = 0;
    Clear();
    parserError_ = false;
    parser_->SetText(std::move(text));
    StartCompileTables();
    // The tables go on every way out, exceptions from OnUses included.
    struct Cleanup
    {
        TPSPascalCompiler& c;
        ~Cleanup()
        {
            if (c.OnBeforeCleanup)
                c.OnBeforeCleanup(&c);
            c.FreeCompileTables();
        }
    } cleanup{*this};

    if (OnUses && !OnUses(this, "SYSTEM"))
        return false;
    unitNames_.push_back({"SYSTEM", MakeHash("SYSTEM")});
    return ProcessSections() && FinishCompile();
}

bool TPSPascalCompiler::ProcessSections()
{
    enum State { Start, AfterProgram, AfterUnit, InDecls, InInterface, InInterfaceDecls, InImplementation };
    State state = Start;
    TPSPascalParser& p = *parser_;
    TPSBlockInfo global{mainProc_, 0, true};
    for (;;) {
        const bool inInterface = state == InInterface || state == InInterfaceDecls;
        switch (p.CurrTokenId()) {
        case Tok::EndOfText:
            if (parserError_)
                return false;
            if (!AllowNoEnd) {
                MakeError({}, Err::UnexpectedEndOfFile, {});
                return false;
            }
            return true;
        case Tok::KwProgram:
        case Tok::KwUnit: {
            const bool unit = p.CurrTokenId() == Tok::KwUnit;
            if (state != Start || (unit && !AllowUnit)) {
                MakeError({}, Err::BeginExpected, {});
                return false;
            }
            state = unit ? AfterUnit : AfterProgram;
            if (!ReadProgramHeader(unit))
                return false;
            break;
        }
        case Tok::KwInterface:
        case Tok::KwImplementation:
            if (p.CurrTokenId() == Tok::KwInterface ? state != AfterUnit : !inInterface) {
                MakeError({}, Err::BeginExpected, {});
                return false;
            }
            state = p.CurrTokenId() == Tok::KwInterface ? InInterface : InImplementation;
            p.Next();
            break;
        case Tok::KwUses: {
            if (state > AfterUnit && state != InInterface) {
                MakeError({}, Err::BeginExpected, {});
                return false;
            }
            state = state == InInterface ? InInterfaceDecls : InDecls;
            if (!ReadUses())
                return false;
            break;
        }
        case Tok::KwProcedure:
        case Tok::KwFunction:
        case Tok::OpenBlock:
            if (!inInterface)
                state = InDecls;
            if (!ProcessFunction())
                return false;
            break;
        case Tok::KwLabel:
        case Tok::KwVar:
        case Tok::KwConst:
        case Tok::KwType: {
            state = inInterface ? InInterfaceDecls : InDecls;
            const Tok section = p.CurrTokenId();
            const bool ok = section == Tok::KwLabel   ? ProcessLabels(global)
                            : section == Tok::KwVar   ? ProcessVars(global)
                            : section == Tok::KwConst ? ProcessConsts(global)
                                                      : ProcessTypes();
            if (!ok)
                return false;
            break;
        }
        case Tok::KwBegin:
            // A unit read for a uses clause has no main block of its own.
            if (unitDepth_ > 0) {
                MakeError({}, Err::EndExpected, {});
                return false;
            }
            SetPlace(*mainProc_, PlaceOf(p));
            return CompileBody(global) && ExpectFinalPeriod();
        case Tok::KwEnd:
            if (AllowNoBegin || isUnit_) {
                p.Next();
                return ExpectFinalPeriod();
            }
            [[fallthrough]];
        default:
            MakeError({}, Err::BeginExpected, {});
            return false;
        }
    }
}

// The text ends at the final period: whatever follows it is not read, so
// not even a scan error there can fail the compile.
bool TPSPascalCompiler::ExpectFinalPeriod()
{
    if (parser_->CurrTokenId() == Tok::Period)
        return true;
    MakeError({}, Err::PeriodExpected, {});
    return false;
}

bool TPSPascalCompiler::ReadProgramHeader(bool unit)
{
    TPSPascalParser& p = *parser_;
    isUnit_ = unit;
    p.Next();
    if (p.CurrTokenId() != Tok::Identifier) {
        MakeError({}, Err::IdentifierExpected, {});
        return false;
    }
    if (unit)
        UnitName = p.RawToken();
    p.Next();
    return Expect(p, Tok::Semicolon, Err::SemicolonExpected);
}

bool TPSPascalCompiler::ReadUses()
{
    TPSPascalParser& p = *parser_;
    return ReadNameList([this, &p] {
        if (p.CurrTokenId() != Tok::Identifier) {
            MakeError({}, Err::IdentifierExpected, {});
            return false;
        }
        const std::string name(p.Token());
        const std::uint32_t hash = MakeHash(name);
        if (unitIndex_.FindNamed(unitNames_, name, hash) >= 0) {
            MakeError({}, Err::DuplicateIdentifier, name);
            return false;
        }
        unitNames_.push_back({name, hash});
        return !OnUses || OnUses(this, name);
    });
}

bool TPSPascalCompiler::FinishCompile()
{
    for (const auto& proc : procs_) {
        auto* internal = dynamic_cast<TPSInternalProcedure*>(proc.get());
        if (internal && internal->Forwarded) {
            MakeError({}, Err::UnsatisfiedForward, internal->Name)
                ->SetCustomPos(static_cast<std::uint32_t>(internal->DeclarePos), internal->DeclareRow,
                               internal->DeclareCol);
            return false;
        }
    }
    if (OnExportCheck) {
        for (const auto& proc : procs_) {
            auto* internal = dynamic_cast<TPSInternalProcedure*>(proc.get());
            if (internal && !OnExportCheck(this, internal, internal->Decl.ByNames()))
                return false;
        }
    }
    for (const auto& var : vars_) {
        if (!var->Used)
            MakeHint({}, TPSCompilerHintCode::VariableNotUsed, var->Name)
                ->SetCustomPos(static_cast<std::uint32_t>(var->DeclarePos), var->DeclareRow, var->DeclareCol);
    }
    return MakeOutput();
}

bool TPSPascalCompiler::CompileUnit(std::string text, std::string_view moduleName)
{
    CheckCompiling();
    // Each unit's own uses clause may name further units; the names already
    // used stop a cycle, the depth a host that makes up names forever.
    constexpr int maxDepth = 32;
    if (unitDepth_ >= maxDepth) {
        MakeError({}, Err::CustomError, "Units nested too deeply");
        return false;
    }
    // The script's text and place come back on every way out, exceptions
    // from a nested uses callback included.
    struct Outer
    {
        TPSPascalCompiler& c;
        std::string text = c.parser_->Text();
        TPSPascalParser::State state = c.parser_->SaveState();
        bool isUnit = c.isUnit_;
        bool parserError = c.parserError_;
        std::string unitName = c.UnitName;
        std::string module = c.module_;
        ~Outer()
        {
            c.parser_->SetText(std::move(text));
            c.parser_->RestoreState(std::move(state));
            c.isUnit_ = isUnit;
            c.parserError_ = parserError;
            c.UnitName = std::move(unitName);
            c.module_ = std::move(module);
            --c.unitDepth_;
        }
    } outer{*this};
    ++unitDepth_;
    module_.assign(moduleName);
    isUnit_ = false;
    parserError_ = false;
    const std::size_t firstMessage = messages_.size();
    parser_->SetText(std::move(text));
    const bool done = ProcessSections();
    for (std::size_t i = firstMessage; i < messages_.size(); ++i)
        if (messages_[i]->ModuleName.empty())
            messages_[i]->ModuleName = module_;
    return done;
}
