// The compile's standard declarations, the declaration-section readers and
// the part of the compile that reads them.

#include "script/compiler/compiler.h"

#include "script/compiler/utils.h"

using ps::BaseType;
using Err = TPSCompilerErrorCode;
using Tok = TPSPasToken;

namespace {

// Nesting beyond these is refused, so that hostile text cannot exhaust the
// stack.
constexpr int kMaxTypeDepth = 64;

} // namespace

// ---- Standard declarations ------------------------------------------------

void TPSPascalCompiler::DefineStandardTypes()
{
    AddType("Byte", BaseType::Byte);
    booleanType_ = AddTypeS("Boolean", "(False, True)");
    for (const auto& [name, high] :
         {std::pair<const char*, std::uint32_t>{"LongBool", 2147483647}, {"WordBool", 65535}, {"ByteBool", 255}})
        static_cast<TPSEnumType*>(AddType(name, BaseType::Enumeration))->HighValue = high;
    AddType("Char", BaseType::Char);
    AddType("WideChar", BaseType::WideChar);
    AddType("WideString", BaseType::WideString);
    AddType("UnicodeString", BaseType::UnicodeString);
    AddType("AnsiString", BaseType::AnsiString);
    AddType("String", BaseType::AnsiString);
    AddType("NativeString", BaseType::AnsiString);
    anyStringType_ = AddType("AnyString", BaseType::AnsiString);
    AddType("ShortInt", BaseType::ShortInt);
    AddType("Word", BaseType::Word);
    AddType("SmallInt", BaseType::SmallInt);
    AddType("LongInt", BaseType::LongInt);
    AddType("___Pointer", BaseType::Pointer);
    AddType("LongWord", BaseType::LongWord);
    AddTypeCopyN("Integer", "LONGINT");
    AddTypeCopyN("Cardinal", "LONGWORD");
    AddType("tbtString", BaseType::AnsiString);
    AddType("Int64", BaseType::Int64);
    AddType("Single", BaseType::Single);
    AddType("Double", BaseType::Double);
    AddType("Extended", BaseType::Extended);
    AddType("Currency", BaseType::Currency);
    AddType("PChar", BaseType::PChar);
    AddType("Variant", BaseType::Variant);
    AddType("!NotificationVariant", BaseType::NotificationVariant);
    // The standard types take the first output numbers, the last declared
    // first.
    for (std::size_t i = types_.size(); i-- > 0;)
        UseType(types_[i].get());

    auto* variantArray = static_cast<TPSArrayType*>(AddType("TVariantArray", BaseType::DynArray));
    variantArray->ArrayTypeNo = FindType("VARIANT");

    AddFunction("function Assigned(I: Longint): Boolean;")->SetName("!ASSIGNED");
    AddFunction("procedure _T(Name: tbtString; v: Variant);")->SetName("!NOTIFICATIONVARIANTSET");
    AddFunction("function _T(Name: tbtString): Variant;")->SetName("!NOTIFICATIONVARIANTGET");
}

void TPSPascalCompiler::DefineStandardProcedures()
{
    using M = TPSParameterMode;
    TPSType* longInt = FindType("LONGINT");
    for (const char* header : {
             "function IntToStr(i: Int64): String;",
             "function StrToInt(s: String): Longint;",
             "function StrToIntDef(s: String; def: Longint): Longint;",
             "function Copy(s: AnyString; iFrom, iCount: Longint): AnyString;",
             "function Pos(SubStr, S: AnyString): Longint;",
             "procedure Delete(var s: AnyString; ifrom, icount: Longint);",
             "procedure Insert(s: AnyString; var s2: AnyString; iPos: Longint);",
         })
        AddFunction(header);
    AddParamsInCode(AddFunction("function GetArrayLength: integer;"), {{"arr", M::InOut, nullptr}});
    AddParamsInCode(AddFunction("procedure SetArrayLength;"), {{"arr", M::InOut, nullptr}, {"count", M::In, longInt}});
    for (const char* header : {
             "Function StrGet(var S : String; I : Integer) : Char;",
             "Function StrGet2(S : String; I : Integer) : Char;",
             "procedure StrSet(c : Char; I : Integer; var s : String);",
             "Function WStrGet(var S : AnyString; I : Integer) : WideChar;",
             "procedure WStrSet(c : AnyString; I : Integer; var s : AnyString);",
         })
        AddFunction(header);
    AddNativeFunction("Function VarArrayGet(var S : Variant; I : Integer) : Variant;");
    AddNativeFunction("procedure VarArraySet(c : Variant; I : Integer; var s : Variant);");
    for (const char* header : {
             "Function AnsiUppercase(s : String) : String;",
             "Function AnsiLowercase(s : String) : String;",
             "Function Uppercase(s : AnyString) : AnyString;",
             "Function Lowercase(s : AnyString) : AnyString;",
             "Function Trim(s : AnyString) : AnyString;",
         })
        AddFunction(header);
    AddParamsInCode(AddFunction("function Length: Integer;"), {{" ", M::In, nullptr}});
    AddParamsInCode(AddFunction("procedure SetLength;"), {{" ", M::InOut, nullptr}, {"NewLength", M::In, longInt}});
    AddParamsInCode(AddFunction("function Low: Int64;"), {{"x", M::In, nullptr}});
    AddParamsInCode(AddFunction("function High: Int64;"), {{"x", M::In, nullptr}});
    AddParamsInCode(AddFunction("procedure Dec;"), {{"x", M::InOut, nullptr}});
    AddParamsInCode(AddFunction("procedure Inc;"), {{"x", M::InOut, nullptr}});
    for (const char* header : {
             "Function Sin(e : Extended) : Extended;",
             "Function Cos(e : Extended) : Extended;",
             "Function Sqrt(e : Extended) : Extended;",
             "Function Round(e : Extended) : Longint;",
             "Function Trunc(e : Extended) : Longint;",
             "Function Int(e : Extended) : Extended;",
             "Function Pi : Extended;",
             "Function Abs(e : Extended) : Extended;",
             "function StrToFloat(s: String): Extended;",
             "Function FloatToStr(e : Extended) : String;",
             "Function Padl(s : AnyString;I : longInt) : AnyString;",
             "Function Padr(s : AnyString;I : longInt) : AnyString;",
             "Function Padz(s : AnyString;I : longInt) : AnyString;",
             "Function Replicate(c : char;I : longInt) : String;",
             "Function StringOfChar(c : char;I : longInt) : String;",
         })
        AddFunction(header);

    AddTypeCopyN("TVarType", "Word");
    for (const auto& [name, value] : std::initializer_list<std::pair<const char*, int>>{
             {"varEmpty", 0},  {"varNull", 1},     {"varSmallInt", 2},    {"varInteger", 3},  {"varSingle", 4},
             {"varDouble", 5}, {"varCurrency", 6}, {"varDate", 7},        {"varOleStr", 8},   {"varDispatch", 9},
             {"varError", 10}, {"varBoolean", 11}, {"varVariant", 12},    {"varUnknown", 13}, {"varShortInt", 16},
             {"varByte", 17},  {"varWord", 18},    {"varLongWord", 19},   {"varInt64", 20},   {"varStrArg", 72},
             {"varAny", 257},  {"varString", 256}, {"varTypeMask", 4095}, {"varArray", 8192}, {"varByRef", 16384},
         })
        AddConstantN(name, "Word")->SetInt(value);
    for (const char* header : {
             "function Unassigned: Variant;",
             "function VarIsEmpty(const V: Variant): Boolean;",
             "function Null: Variant;",
             "function VarIsNull(const V: Variant): Boolean;",
             "function VarType(const V: Variant): TVarType;",
         })
        AddNativeFunction(header);

    AddTypeS("TIFException",
             "(ErNoError, erCannotImport, erInvalidType, ErInternalError, erInvalidHeader, erInvalidOpcode, "
             "erInvalidOpcodeParameter, erNoMainProc, erOutOfGlobalVarsRange, erOutOfProcRange, ErOutOfRange, "
             "erOutOfStackRange, ErTypeMismatch, erUnexpectedEof, erVersionError, ErDivideByZero, ErMathError, "
             "erCouldNotCallProc, erOutofRecordRange, erOutOfMemory, erException, erNullPointerException, "
             "erNullVariantError, erInterfaceNotSupported, erCustomError)");
    for (const char* header : {
             "procedure RaiseLastException;",
             "procedure RaiseException(Ex: TIFException; Param: String);",
             "function ExceptionType: TIFException;",
             "function ExceptionParam: String;",
             "function ExceptionProc: Cardinal;",
             "function ExceptionPos: Cardinal;",
             "function ExceptionToString(er: TIFException; Param: String): String;",
             "function StrToInt64(s: String): int64;",
             "function Int64ToStr(i: Int64): String;",
         })
        AddFunction(header);
    AddParamsInCode(AddFunction("function SizeOf: Longint;"), {{"Data", M::In, nullptr}});

    // The placeholder methods only number the interfaces' methods.
    constexpr GUID unknownGuid = "{00000000-0000-0000-C000-000000000046}"_guid;
    constexpr auto stdcall = TPSCallingConvention::Stdcall;
    for (const char* name : {"IUnknown", "IInterface"}) {
        TPSInterface* intf = AddInterface(nullptr, unknownGuid, name);
        for (const char* method :
             {"function QueryInterface: LongInt", "function _AddRef: LongInt", "function _Release: LongInt"})
            intf->RegisterMethod(method, stdcall);
    }
    TPSInterface* dispatch =
        AddInterface(FindInterface("IUnknown"), "{00020400-0000-0000-C000-000000000046}"_guid, "IDispatch");
    for (const char* method : {"function GetTypeInfoCount: LongInt", "function GetTypeInfo: LongInt",
                               "function GetIDsOfNames: LongInt", "function Invoke: LongInt"})
        dispatch->RegisterMethod(method, stdcall);
    dispatch->AType->ExportName = true;
    AddNativeFunction("function IDispatchInvoke(Self: IDispatch; PropertySet: Boolean; const Name: String; "
                      "Par: array of variant): variant;");
}

// ---- The compile ----------------------------------------------------------

bool TPSPascalCompiler::Compile(std::string text)
{
    hasOutput_ = false;
    output_.clear();
    debugOutput_.clear();
    isUnit_ = false;
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
    unitNames_.push_back("SYSTEM");
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
            isUnit_ = unit;
            p.Next();
            if (p.CurrTokenId() != Tok::Identifier) {
                MakeError({}, Err::IdentifierExpected, {});
                return false;
            }
            if (unit)
                UnitName = p.RawToken();
            p.Next();
            if (!Expect(p, Tok::Semicolon, Err::SemicolonExpected))
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
            p.Next();
            for (;;) {
                if (p.CurrTokenId() != Tok::Identifier) {
                    MakeError({}, Err::IdentifierExpected, {});
                    return false;
                }
                const std::string name = p.Token();
                for (const std::string& known : unitNames_) {
                    if (known == name) {
                        MakeError({}, Err::DuplicateIdentifier, name);
                        return false;
                    }
                }
                unitNames_.push_back(name);
                if (OnUses && !OnUses(this, name))
                    return false;
                p.Next();
                if (p.CurrTokenId() == Tok::Semicolon)
                    break;
                if (!Expect(p, Tok::Comma, Err::SemicolonExpected))
                    return false;
            }
            p.Next();
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
            SetPlace(*mainProc_, PlaceOf(p));
            return SkipBlockBody() && Expect(p, Tok::Period, Err::PeriodExpected);
        case Tok::KwEnd:
            if (AllowNoBegin || isUnit_) {
                p.Next();
                return Expect(p, Tok::Period, Err::PeriodExpected);
            }
            [[fallthrough]];
        default:
            MakeError({}, Err::BeginExpected, {});
            return false;
        }
    }
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
            if (internal && internal != mainProc_ && !OnExportCheck(this, internal, internal->Decl.ByNames()))
                return false;
        }
    }
    for (const auto& var : vars_) {
        if (!var->Used)
            MakeHint({}, TPSCompilerHintCode::VariableNotUsed, var->Name)
                ->SetCustomPos(static_cast<std::uint32_t>(var->DeclarePos), var->DeclareRow, var->DeclareCol);
    }
    return true;
}

// Until the statement compiler reads bodies, a block is skipped from its
// "begin" to the matching "end".
bool TPSPascalCompiler::SkipBlockBody()
{
    TPSPascalParser& p = *parser_;
    int depth = 0;
    do {
        switch (p.CurrTokenId()) {
        case Tok::KwBegin:
        case Tok::KwCase:
        case Tok::KwTry:
            ++depth;
            break;
        case Tok::KwEnd:
            --depth;
            break;
        case Tok::EndOfText:
            if (!parserError_)
                MakeError({}, Err::UnexpectedEndOfFile, {});
            return false;
        default:
            break;
        }
        p.Next();
    } while (depth > 0);
    return true;
}

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
        type = AppendType(std::move(proc));
        break;
    }
    case Tok::KwSet:
        type = ReadSetType(p);
        break;
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
        TPSType* found = FindTypeFrom(p.Token(), true);
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
    TPSType* element = FindTypeFrom(p.Token(), true);
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
            const std::uint32_t hash = MakeHash(p.Token());
            for (const TPSRecordFieldTypeDef& field : record->Fields) {
                if (field.NameHash == hash && field.FieldName == p.Token()) {
                    ErrorAt(p, Err::DuplicateIdentifier, p.RawToken());
                    return nullptr;
                }
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
    TPSType* parentType = FindTypeFrom(p.Token(), true);
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
            messages_.resize(messages);
            ErrorAt(p, Err::CustomError, "Invalid method");
            return nullptr;
        }
        if (!Expect(p, Tok::Semicolon, Err::SemicolonExpected))
            return nullptr;
        intf->AddMethod(method, std::move(decl), TPSCallingConvention::Stdcall);
    }
    p.Next();
    return intf->AType;
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
