#include "compile_harness.h"
#include "script/common/utils.h"
#include "script/compiler/name_index.h"
#include "script/compiler/value_tree.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>
#include <vector>

using ps::BaseType;

// Error codes print as their texts.
void PrintTo(TPSCompilerErrorCode code, std::ostream* os)
{
    *os << '"' << TPSPascalCompilerError(code).ShortMessage() << '"';
}

namespace {

constexpr const char* kOutsideUses = "This function can only be called from within the OnUses event";

template <typename F> std::string raisedText(F&& f)
{
    try {
        f();
    } catch (const EPSCompilerException& e) {
        return e.what();
    }
    return "(nothing raised)";
}

TEST(CompilerRegistration, RaisesOutsideACompile)
{
    CompileHarness h;
    auto everyCall = [&](TPSPascalCompiler& c) {
        EXPECT_EQ(raisedText([&] { c.AddTypeS("TX", "Integer"); }), kOutsideUses);
        EXPECT_EQ(raisedText([&] { c.AddType("TX", BaseType::LongInt); }), kOutsideUses);
        EXPECT_EQ(raisedText([&] { c.AddTypeCopyN("TX", "Integer"); }), kOutsideUses);
        EXPECT_EQ(raisedText([&] { c.AddConstantN("X", "Integer"); }), kOutsideUses);
        EXPECT_EQ(raisedText([&] { c.AddFunction("procedure X;"); }), kOutsideUses);
        EXPECT_EQ(raisedText([&] { c.AddNativeFunction("procedure X;"); }), kOutsideUses);
        EXPECT_EQ(raisedText([&] { c.AddInterface(nullptr, GUID{}, "IX"); }), kOutsideUses);
        EXPECT_EQ(raisedText([&] { c.FindInterface("IUnknown"); }), kOutsideUses);
        EXPECT_EQ(raisedText([&] { c.AddClass(nullptr, "TX"); }), kOutsideUses);
        EXPECT_EQ(raisedText([&] { c.FindClass("TObject"); }), kOutsideUses);
        EXPECT_EQ(raisedText([&] { c.FindProc("IntToStr"); }), kOutsideUses);
        EXPECT_EQ(raisedText([&] { c.FindBaseType(BaseType::LongInt); }), kOutsideUses);
        EXPECT_EQ(c.FindType("Integer"), nullptr);
    };
    everyCall(h.c); // before any compile
    ASSERT_TRUE(h.compile(""));
    everyCall(h.c); // after one
}

TEST(CompilerRegistration, FailuresRaiseTheirTextsAndLeaveTheCompilerUsable)
{
    CompileHarness h;
    std::vector<std::string> texts;
    h.registerTypes = [&](TPSPascalCompiler& c) {
        texts.push_back(raisedText([&] { c.AddTypeS("TBad", "array of Nothing"); }));
        texts.push_back(raisedText([&] { c.AddTypeS("TBad2", "Integer junk"); }));
        texts.push_back(raisedText([&] { c.AddTypeS("TBad3", "(a, b);;"); }));
        texts.push_back(raisedText([&] { c.AddFunction("procedure P(a: Nothing);"); }));
        texts.push_back(raisedText([&] { c.AddFunction("procedure P(a: array of Integer);"); }));
        texts.push_back(raisedText([&] { c.AddFunction("procedure P(var a);"); }));
        texts.push_back(raisedText([&] { c.AddNativeFunction("function F(a: Integer);"); }));
        texts.push_back(raisedText([&] { c.AddTypeCopy("TC", nullptr); }));
        texts.push_back(raisedText([&] { c.AddConstantN("K", "Nothing"); }));
        texts.push_back(raisedText([&] { c.FindInterface("INothing"); }));
    };
    ASSERT_TRUE(h.compile(""));
    const std::vector<std::string> expected = {
        "Unable to register type TBad",
        "Unable to register type TBad2",
        "Unable to register type TBad3",
        "Unable to register function procedure P(a: Nothing);",
        "Unable to register function procedure P(a: array of Integer);",
        "Unable to register function procedure P(var a);",
        "Unable to register function function F(a: Integer);",
        "Invalid Type",
        "Unable to register constant K",
        "Unknown interface: INothing",
    };
    EXPECT_EQ(texts, expected);

    // A registration error that the host lets through ends the compile and
    // passes out of it; the next compile starts clean.
    h.registerTypes = [](TPSPascalCompiler& c) { c.AddTypeS("TBad", "array of"); };
    EXPECT_THROW(h.compile(""), EPSCompilerException);
    EXPECT_FALSE(h.c.IsCompiling());
    h.registerTypes = nullptr;
    EXPECT_TRUE(h.compile("var x: Integer;"));
}

TEST(CompilerRegistration, DeclarationTextsMayCloseWithASemicolon)
{
    CompileHarness h;
    h.registerTypes = [](TPSPascalCompiler& c) {
        c.AddTypeS("TGUID", "record D1: LongWord; D2: Word; D3: Word; D4: array[0..7] of Byte; end;");
        c.AddTypeS("TPoint", "record x,y: Longint; end;");
        c.AddTypeS("TTextLayout", "( tlTop, tlCenter, tlBottom )");
        c.AddTypeS("TLayouts", "set of TTextLayout;");
        c.AddTypeS("TSHORTCUT", "WORD");
    };
    h.inspect = [](TPSPascalCompiler& c) {
        auto* guid = static_cast<TPSRecordType*>(c.FindType("TGUID"));
        ASSERT_EQ(guid->BaseType, BaseType::Record);
        ASSERT_EQ(guid->Fields.size(), 4u);
        EXPECT_EQ(static_cast<TPSStaticArrayType*>(guid->Fields[3].FieldType)->Length, 8);
        EXPECT_TRUE(guid->ExportName);
        EXPECT_EQ(static_cast<TPSRecordType*>(c.FindType("TPoint"))->Fields.size(), 2u);
        EXPECT_EQ(static_cast<TPSEnumType*>(c.FindType("TTextLayout"))->HighValue, 2u);
        EXPECT_EQ(c.FindType("TLayouts")->BaseType, BaseType::Set);
        EXPECT_EQ(c.FindType("TShortCut"), c.FindType("Word"));
    };
    ASSERT_TRUE(h.compile("var p: TPoint; g: TGUID; l: TLayouts; s: TShortCut;"));
}

TEST(CompilerSymbols, TypeLookupFollowsLinksIgnoresCaseAndPrefersTheLatest)
{
    CompileHarness h;
    bool checked = false;
    h.registerTypes = [&](TPSPascalCompiler& c) {
        TPSType* integer = c.FindType("integer");
        ASSERT_NE(integer, nullptr);
        EXPECT_EQ(integer->Name, "LONGINT");
        EXPECT_EQ(integer->BaseType, BaseType::LongInt);
        EXPECT_EQ(c.FindType("CARDINAL")->Name, "LONGWORD");
        EXPECT_EQ(c.FindType("tbtstring")->BaseType, BaseType::AnsiString);

        TPSType* first = c.AddType("THost", BaseType::Byte);
        TPSType* second = c.AddType("THOST", BaseType::Word);
        EXPECT_NE(first, second);
        EXPECT_EQ(c.FindType("thost"), second);
        checked = true;
    };
    // The type reader finds names as every lookup does: the latest wins.
    h.inspect = [](TPSPascalCompiler& c) {
        TPSType* alias = c.FindType("TAlias");
        ASSERT_NE(alias, nullptr);
        EXPECT_EQ(alias->BaseType, BaseType::Word);
    };
    ASSERT_TRUE(h.compile("type TAlias = THost;"));
    EXPECT_TRUE(checked);
}

TEST(CompilerSymbols, StandardTypesTakeTheFirstOutputNumbersInReverseOrder)
{
    CompileHarness h;
    h.inspect = [](TPSPascalCompiler& c) {
        const std::pair<const char*, int> numbers[] = {
            {"!NotificationVariant", 0},
            {"Variant", 1},
            {"PChar", 2},
            {"Currency", 3},
            {"Extended", 4},
            {"Double", 5},
            {"Single", 6},
            {"Int64", 7},
            {"tbtString", 8},
            {"Cardinal", 9},
            {"Integer", 10},
            {"___Pointer", 11},
            {"SmallInt", 12},
            {"Word", 13},
            {"ShortInt", 14},
            {"AnyString", 15},
            {"NativeString", 16},
            {"String", 17},
            {"AnsiString", 18},
            {"UnicodeString", 19},
            {"WideString", 20},
            {"WideChar", 21},
            {"Char", 22},
            {"ByteBool", 23},
            {"WordBool", 24},
            {"LongBool", 25},
            {"Boolean", 26},
            {"Byte", 27},
        };
        for (const auto& [name, number] : numbers)
            EXPECT_EQ(c.FindType(name)->FinalTypeNo, number) << name;
        EXPECT_TRUE(c.FindType("Boolean")->ExportName);
        EXPECT_TRUE(c.FindType("IDispatch")->ExportName);
        EXPECT_FALSE(c.FindType("Byte")->ExportName);
        EXPECT_EQ(static_cast<TPSEnumType*>(c.FindType("LongBool"))->HighValue, 2147483647u);
        EXPECT_EQ(static_cast<TPSEnumType*>(c.FindType("TIFException"))->HighValue, 24u);
        EXPECT_EQ(c.FindType("TVarType")->Name, "WORD");
        EXPECT_EQ(CompileHarness::constant(c, "VARBYREF")->Value.Int, 16384);
        EXPECT_EQ(CompileHarness::constant(c, "TRUE")->Value.FType, c.BooleanType());
        EXPECT_EQ(CompileHarness::constant(c, "TRUE")->Value.Int, 1);
        EXPECT_FALSE(c.FindType("TVariantArray")->Used);
    };
    ASSERT_TRUE(h.compile(""));
}

TEST(CompilerSymbols, OpenArrayParametersGetTheirNamedTypes)
{
    CompileHarness h;
    h.registerTypes = [](TPSPascalCompiler& c) {
        c.AddTypeS("TRec", "record a: Integer; end");
        TPSRegProc* proc = c.AddNativeFunction(
            "procedure P(a: array of Word; b: array of SmallInt; const c: array of const; var d: array of TRec; e)");
        const auto& params = proc->Decl.Params;
        ASSERT_EQ(params.size(), 5u);
        EXPECT_EQ(params[0].AType->Name, "!OPENARRAYOFU16");
        EXPECT_EQ(params[1].AType->Name, "!OPENARRAYOFS16");
        EXPECT_EQ(params[2].AType->Name, "!OPENARRAYOFCONST");
        EXPECT_EQ(params[3].AType->Name, "!OPENARRAYOFRECORD_TREC");
        EXPECT_EQ(params[4].AType, nullptr);
        EXPECT_EQ(params[0].AType->BaseType, BaseType::DynArray);
        EXPECT_EQ(static_cast<TPSArrayType*>(params[0].AType)->ArrayTypeNo->Name, "WORD");
        EXPECT_EQ(static_cast<TPSArrayType*>(params[1].AType)->ArrayTypeNo->Name, "SMALLINT");
        EXPECT_EQ(static_cast<TPSArrayType*>(params[2].AType)->ArrayTypeNo->BaseType, BaseType::Pointer);
        EXPECT_EQ(proc->ImportDecl, std::string("\0\0\0\0\1\0", 6));
        // A second routine shares the open-array type.
        TPSRegProc* again = c.AddNativeFunction("function Q(x: array of word): Integer");
        EXPECT_EQ(again->Decl.Params[0].AType, params[0].AType);
        EXPECT_EQ(again->ImportDecl, std::string("\1\0", 2));
    };
    ASSERT_TRUE(h.compile(""));
}

TEST(CompilerSymbols, HostRoutinesEnterTheProcedureListOnlyWhenLookedUp)
{
    CompileHarness h;
    h.registerTypes = [](TPSPascalCompiler& c) { c.AddFunction("function HostOnly(a: Integer): Integer;"); };
    h.inspect = [](TPSPascalCompiler& c) {
        ASSERT_EQ(c.Procs().size(), 2u); // the main block and the script's own procedure
        for (const auto& proc : c.Procs())
            EXPECT_EQ(dynamic_cast<TPSExternalProcedure*>(proc.get()), nullptr);
        EXPECT_EQ(c.FindProc("!main"), 0);
        const std::int32_t no = c.FindProc("hostonly");
        EXPECT_EQ(no, 2);
        EXPECT_EQ(c.FindProc("HOSTONLY"), no);
        EXPECT_EQ(c.Procs().size(), 3u);
        EXPECT_EQ(c.FindProc("NoSuchRoutine"), -1);
    };
    ASSERT_TRUE(h.compile("procedure Mine; begin end;"));
}

TEST(CompilerSymbols, DeclarationRenderings)
{
    CompileHarness h;
    h.inspect = [](TPSPascalCompiler& c) {
        auto* proc = dynamic_cast<TPSInternalProcedure*>(c.Procs()[1].get());
        ASSERT_NE(proc, nullptr);
        EXPECT_EQ(proc->Decl.ByNames(), "LONGINT @STRING !BYTE");
        EXPECT_EQ(proc->Decl.ByNumbers(), "10 @17 !27");
        EXPECT_EQ(proc->Decl.Signature(), std::string("\1\0\1", 3));
        auto* noResult = dynamic_cast<TPSInternalProcedure*>(c.Procs()[2].get());
        EXPECT_EQ(noResult->Decl.ByNames(), "0");
        EXPECT_EQ(noResult->Decl.ByNumbers(), "-1");
    };
    ASSERT_TRUE(h.compile("function F(const s: String; out b: Byte): Integer; begin end;\n"
                          "procedure P; begin end;"));
}

TEST(CompilerSymbols, UseTypeNumbersComponentsFirst)
{
    CompileHarness h;
    h.inspect = [](TPSPascalCompiler& c) {
        const std::int32_t before = c.TypeCount();
        TPSType* record = c.FindType("TR");
        TPSType* used = c.UseType(record);
        EXPECT_EQ(used, record);
        auto* r = static_cast<TPSRecordType*>(record);
        // Both field types are new: the array (after its element) and the set.
        TPSType* array = r->Fields[0].FieldType;
        TPSType* set = r->Fields[1].FieldType;
        TPSType* element = static_cast<TPSArrayType*>(array)->ArrayTypeNo;
        EXPECT_EQ(element->FinalTypeNo, before);
        EXPECT_EQ(array->FinalTypeNo, before + 1);
        EXPECT_EQ(set->FinalTypeNo, before + 2);
        EXPECT_EQ(record->FinalTypeNo, before + 3);
        EXPECT_EQ(c.UseType(record)->FinalTypeNo, before + 3);
        EXPECT_EQ(c.TypeCount(), before + 4);
    };
    ASSERT_TRUE(h.compile("type TE = (e1, e2); TR = record a: array of TE; s: set of TE; end;"));
}

TEST(CompilerSymbols, CompatibilityRules)
{
    CompileHarness h;
    h.registerTypes = [](TPSPascalCompiler& c) {
        TPSCompileTimeClass* base = c.AddClass(nullptr, "TBase");
        TPSCompileTimeClass* derived = c.AddClass(base, "TDerived");
        EXPECT_EQ(c.FindClass("tderived"), derived);
        // Registering again only sets the parent, and never into a loop.
        EXPECT_EQ(c.AddClass(derived, "TBase"), base);
        EXPECT_EQ(base->ClassInheritsFrom, nullptr);
        TPSInterface* unknown = c.FindInterface("IUnknown");
        TPSInterface* mine = c.AddInterface(nullptr, GUID{1}, "IMine");
        EXPECT_EQ(c.AddInterface(unknown, GUID{2}, "IMINE"), mine);
        EXPECT_EQ(mine->Guid, GUID{2});
        EXPECT_EQ(mine->InheritedFrom, unknown);
        EXPECT_EQ(c.AddInterface(mine, GUID{2}, "IUnknown"), unknown);
        EXPECT_EQ(unknown->InheritedFrom, nullptr);
    };
    h.inspect = [](TPSPascalCompiler& c) {
        auto t = [&](const char* name) { return c.FindType(name); };
        EXPECT_TRUE(c.IsCompatibleType(t("Byte"), t("Int64"), false));
        EXPECT_TRUE(c.IsCompatibleType(t("Double"), t("Integer"), false));
        EXPECT_FALSE(c.IsCompatibleType(t("Integer"), t("Double"), false));
        EXPECT_TRUE(c.IsCompatibleType(t("String"), t("WideChar"), false));
        EXPECT_TRUE(c.IsCompatibleType(t("UnicodeString"), t("PChar"), false));
        EXPECT_FALSE(c.IsCompatibleType(t("Char"), t("String"), false));
        EXPECT_TRUE(c.IsCompatibleType(t("Integer"), t("Variant"), false));
        EXPECT_FALSE(c.IsCompatibleType(t("TE"), t("Integer"), false));
        EXPECT_TRUE(c.IsCompatibleType(t("TE"), t("Integer"), true));
        EXPECT_TRUE(c.IsCompatibleType(t("TA1"), t("TA2"), false));
        EXPECT_FALSE(c.IsCompatibleType(t("TA1"), t("TA3"), false));
        EXPECT_TRUE(c.IsCompatibleType(t("TBase"), t("TDerived"), false));
        EXPECT_FALSE(c.IsCompatibleType(t("TDerived"), t("TBase"), false));
        EXPECT_TRUE(c.IsCompatibleType(t("LongWord"), t("TBase"), false));
        EXPECT_TRUE(c.IsCompatibleType(t("IUnknown"), t("IMine"), false));
        EXPECT_FALSE(c.IsCompatibleType(t("IMine"), t("IUnknown"), false));
        EXPECT_TRUE(c.IsCompatibleType(t("TP1"), t("TP1"), false));
        EXPECT_FALSE(c.IsCompatibleType(t("TP1"), t("TP2"), false));
        // A record is compatible with its own type only, also as elements.
        EXPECT_TRUE(c.IsCompatibleType(t("TR1"), t("TR1"), false));
        EXPECT_TRUE(c.IsCompatibleType(t("TR1"), t("TR3"), false));
        EXPECT_FALSE(c.IsCompatibleType(t("TR1"), t("TR2"), false));
        EXPECT_TRUE(c.IsCompatibleType(t("TAR1"), t("TAR2"), false));
        EXPECT_FALSE(c.IsCompatibleType(t("TAR1"), t("TAR3"), false));
        EXPECT_TRUE(c.IsBooleanType(t("Boolean")));
        EXPECT_TRUE(c.IsBooleanType(t("WordBool")));
        EXPECT_FALSE(c.IsBooleanType(t("TE")));
    };
    ASSERT_TRUE(h.compile("type TE = (a, b); TA1 = array of Integer; TA2 = array[0..2] of Byte;\n"
                          "TA3 = array of String; TP1 = procedure(x: Integer); TP2 = procedure(x: Integer);\n"
                          "TR1 = record x: Integer; end; TR2 = record x: Integer; end; TR3 = TR1;\n"
                          "TAR1 = array of TR1; TAR2 = array[0..1] of TR3; TAR3 = array of TR2;"));
}

TEST(CompilerDeclarations, TypeDenotersBuildTheirTypes)
{
    CompileHarness h;
    h.inspect = [](TPSPascalCompiler& c) {
        auto* byteSet = static_cast<TPSSetType*>(c.FindType("TS"));
        EXPECT_EQ(byteSet->BaseType, BaseType::Set);
        EXPECT_EQ(byteSet->BitSize(), 256u);
        auto* enumSet = static_cast<TPSSetType*>(c.FindType("TES"));
        EXPECT_EQ(enumSet->BitSize(), 3u);
        EXPECT_EQ(enumSet->ByteSize(), 1u);

        auto* array = static_cast<TPSStaticArrayType*>(c.FindType("TA"));
        EXPECT_EQ(array->BaseType, BaseType::StaticArray);
        EXPECT_EQ(array->StartOffset, 1);
        EXPECT_EQ(array->Length, 3);
        EXPECT_EQ(array->ArrayTypeNo->Name, "LONGINT");
        EXPECT_EQ(static_cast<TPSStaticArrayType*>(c.FindType("TEmpty"))->Length, 0);
        EXPECT_EQ(static_cast<TPSStaticArrayType*>(c.FindType("TNeg"))->StartOffset, -5);

        auto* record = static_cast<TPSRecordType*>(c.FindType("TR"));
        ASSERT_EQ(record->Fields.size(), 3u);
        EXPECT_EQ(record->Fields[1].FieldOrgName, "y");
        EXPECT_EQ(record->Fields[1].FieldType->Name, "LONGINT");
        EXPECT_EQ(record->Fields[2].FieldType->BaseType, BaseType::DynArray);
        EXPECT_EQ(record->DeclareRow, 3u);
        EXPECT_EQ(record->DeclareCol, 1u);

        auto* enumType = static_cast<TPSEnumType*>(c.FindType("TE"));
        EXPECT_EQ(enumType->HighValue, 2u);
        const TPSConstant* blue = CompileHarness::constant(c, "BLUE");
        EXPECT_EQ(blue->Value.FType, enumType);
        EXPECT_EQ(blue->Value.Int, 2);

        auto* proc = static_cast<TPSProceduralType*>(c.FindType("TFunc"));
        EXPECT_EQ(proc->ProcDef.Params.size(), 2u);
        EXPECT_EQ(proc->ProcDef.Params[1].Mode, TPSParameterMode::InOut);
        EXPECT_EQ(proc->ProcDef.Result->Name, "BOOLEAN");

        auto* intf = static_cast<TPSInterfaceType*>(c.FindType("IScript"))->Intf;
        EXPECT_EQ(intf->InheritedFrom->Name, "IUNKNOWN");
        EXPECT_EQ(intf->Guid, "{12345678-1234-1234-1234-123456789ABC}"_guid);
        ASSERT_EQ(intf->Methods.size(), 2u);
        EXPECT_EQ(intf->Methods[1].Name, "GETIT");

        // The alias is a link to LongInt, found as LongInt.
        EXPECT_EQ(c.FindType("TInt"), c.FindType("LongInt"));
        // Variables carry their types, used.
        ASSERT_EQ(c.Vars().size(), 3u);
        EXPECT_EQ(c.Vars()[2]->AType, c.FindType("TR"));
        EXPECT_TRUE(c.Vars()[2]->AType->Used);
        EXPECT_EQ(c.Vars()[0]->AType->BaseType, BaseType::StaticArray);
    };
    ASSERT_TRUE(h.compile("type TS = set of Byte; TE = (Red, Green, Blue); TES = set of TE;\n"
                          "TA = array[1..3] of Integer; TEmpty = array[1..0] of Byte; TNeg = array[-5..-1] of Byte;\n"
                          "TR = record x, y: Integer; z: array of TE; end;\n"
                          "TFunc = function(a: Integer; var b: String): Boolean;\n"
                          "TInt = Integer;\n"
                          "IScript = interface(IUnknown) ['{12345678-1234-1234-1234-123456789ABC}']\n"
                          "  procedure DoIt(a: Integer); function GetIt: String; end;\n"
                          "var a, b2: array[0..1] of Char; r: TR;\n"))
        << (h.firstError() ? h.firstError()->MessageToString() : "");
}

TEST(CompilerDeclarations, RoutinesVariablesAndTheHostCallbacks)
{
    struct Seen
    {
        std::vector<std::tuple<TPSVariableType, std::int32_t, std::int32_t>> uses;
        std::vector<std::string> exports;
        std::string externalName, externalText;
    };
    static Seen seen;
    seen = {};
    CompileHarness h;
    h.c.OnUseVariable = [](TPSPascalCompiler*, TPSVariableType kind, std::int32_t varNo, std::int32_t procNo,
                           std::uint32_t, const std::string&) { seen.uses.emplace_back(kind, varNo, procNo); };
    h.c.OnExportCheck = [](TPSPascalCompiler*, TPSInternalProcedure* proc, const std::string& decl) {
        seen.exports.push_back(proc->Name + ":" + decl);
        return true;
    };
    h.c.OnExternalProc = [](TPSPascalCompiler*, TPSParametersDecl* decl, const std::string& name,
                            const std::string& text) {
        seen.externalName = name;
        seen.externalText = text;
        auto proc = std::make_unique<TPSRegProc>();
        proc->SetName(name);
        proc->Decl = *decl;
        proc->ImportDecl = decl->Signature();
        return proc;
    };
    h.inspect = [](TPSPascalCompiler& c) {
        auto* fwd = dynamic_cast<TPSInternalProcedure*>(c.Procs()[1].get());
        ASSERT_NE(fwd, nullptr);
        EXPECT_EQ(fwd->OriginalName, "Later");
        EXPECT_FALSE(fwd->Forwarded);
        EXPECT_EQ(fwd->ProcVars.size(), 2u);
        EXPECT_EQ(fwd->Labels.size(), 1u);
        auto* ext = dynamic_cast<TPSExternalProcedure*>(c.Procs()[2].get());
        ASSERT_NE(ext, nullptr);
        EXPECT_EQ(ext->RegProc->Name, "BEEP");
        EXPECT_EQ(c.MainProc()->Labels.size(), 2u);
    };
    ASSERT_TRUE(h.compile("var g: Integer;\n"
                          "label L1, L2;\n"
                          "procedure Later(a: Integer; var b: String); forward;\n"
                          "procedure Beep(Freq: LongWord); external 'beep@libc';\n"
                          "const K = 3;\n"
                          "procedure Later(a: Integer; var b: String);\n"
                          "var x, y: Byte; label Here; const Local = 2;\n"
                          "begin Here: begin end; end;\n"
                          "begin L1: L2: end."))
        << (h.firstError() ? h.firstError()->MessageToString() : "");
    EXPECT_EQ(seen.externalName, "BEEP");
    EXPECT_EQ(seen.externalText, "beep@libc");
    // The main block is a script procedure as well, with neither result nor
    // parameters.
    EXPECT_EQ(seen.exports, (std::vector<std::string>{"!MAIN:0", "LATER:0 @LONGINT !STRING"}));
    using V = TPSVariableType;
    const decltype(seen.uses) expectedUses = {
        {V::Global, 0, -1}, {V::Param, 0, 1}, {V::Param, 1, 1}, {V::Local, 0, 1}, {V::Local, 1, 1}};
    EXPECT_EQ(seen.uses, expectedUses);
    // Each local never used gives a hint at its declaration when its routine
    // ends; the global never used one at the end.
    ASSERT_EQ(h.c.GetMessageCount(), 3u);
    EXPECT_EQ(h.c.GetMessage(0)->MessageToString(), "[Hint] (7:5): Variable 'X' never used");
    EXPECT_EQ(h.c.GetMessage(1)->MessageToString(), "[Hint] (7:8): Variable 'Y' never used");
    EXPECT_EQ(h.c.GetMessage(2)->MessageToString(), "[Hint] (1:5): Variable 'G' never used");
}

struct DeclarationError
{
    const char* text;
    TPSCompilerErrorCode code;
    std::uint32_t row, col;
    const char* param = "";
};

void PrintTo(const DeclarationError& e, std::ostream* os)
{
    *os << '"' << e.text << "\" -> " << TPSPascalCompilerError(e.code, e.param).ShortMessage() << " at " << e.row << ':'
        << e.col;
}

// A case's name is its place in the table and the start of its text, in
// letters, digits and underscores, so that --gtest_filter can pick it.
std::string caseName(const ::testing::TestParamInfo<DeclarationError>& info)
{
    std::string name = std::to_string(info.index) + "_";
    bool gap = true;
    for (const char* c = info.param.text; *c && name.size() < 40; ++c) {
        const bool word = std::isalnum(static_cast<unsigned char>(*c)) != 0;
        if (word)
            name += *c;
        else if (!gap)
            name += '_';
        gap = !word;
    }
    while (name.back() == '_')
        name.pop_back();
    return name;
}

class CompilerDeclarationErrors : public ::testing::TestWithParam<DeclarationError>
{
};

TEST_P(CompilerDeclarationErrors, ReportCodeAndPosition)
{
    const DeclarationError& e = GetParam();
    CompileHarness h;
    h.registerTypes = [](TPSPascalCompiler& c) {
        TPSAttributeType* attr = c.AddAttributeType("Tag");
        attr->AddField("Value", c.FindType("Integer"));
    };
    EXPECT_FALSE(h.compile(e.text));
    const TPSPascalCompilerError* error = h.firstError();
    ASSERT_NE(error, nullptr) << e.text;
    EXPECT_EQ(error->Error, e.code) << e.text << ": " << error->MessageToString();
    EXPECT_EQ(error->Row, e.row) << e.text;
    EXPECT_EQ(error->Col, e.col) << e.text;
    EXPECT_EQ(error->Param, e.param) << e.text;
    // A compile stops at its first error, and says nothing more.
    EXPECT_EQ(h.c.GetMessageCount(), 1u) << e.text << ": "
                                         << h.c.GetMessage(h.c.GetMessageCount() - 1)->MessageToString();
}

using C = TPSCompilerErrorCode;
INSTANTIATE_TEST_SUITE_P(
    Sections, CompilerDeclarationErrors,
    ::testing::Values(
        DeclarationError{"type TS = set of Integer;", C::TypeMismatch, 1, 18},
        DeclarationError{"type TS = set Byte;", C::OfExpected, 1, 15},
        DeclarationError{"type TS = set of Nothing;", C::UnknownIdentifier, 1, 18, "Nothing"},
        DeclarationError{"type TA = array[3..1] of Integer;", C::TypeMismatch, 1, 21},
        DeclarationError{"type TA = array[1..$20000000] of Integer;", C::TypeMismatch, 1, 29},
        DeclarationError{"type TA = array[1.5..3] of Integer;", C::TypeMismatch, 1, 20},
        DeclarationError{"type TA = array[1 3] of Integer;", C::PeriodExpected, 1, 19},
        DeclarationError{"type TA = array[1..3 of Integer;", C::CloseBlockExpected, 1, 22},
        DeclarationError{"type TA = array Integer;", C::OfExpected, 1, 17},
        DeclarationError{"type TE = (a, b, a);", C::DuplicateIdentifier, 1, 18, "a"},
        DeclarationError{"type TR = record end;", C::IdentifierExpected, 1, 18},
        DeclarationError{"type TR = record a, A: Byte; end;", C::DuplicateIdentifier, 1, 21, "A"},
        DeclarationError{"type TR = record a Byte; end;", C::ColonExpected, 1, 20},
        DeclarationError{"type T = Nothing;", C::UnknownType, 1, 10, "Nothing"},
        DeclarationError{"type T = 5;", C::IdentifierExpected, 1, 10},
        DeclarationError{"type T Integer;", C::IsExpected, 1, 8},
        DeclarationError{"type Integer = Byte;", C::DuplicateIdentifier, 1, 6, "Integer"},
        DeclarationError{"type I = interface(IUnknown) ['not a guid'] end;", C::StringExpected, 1, 31},
        DeclarationError{"type I = interface(Byte) ['{00000000-0000-0000-0000-000000000000}'] end;", C::TypeMismatch, 1,
                         20},
        DeclarationError{"type I = interface(IUnknown) ['{00000000-0000-0000-0000-000000000000}'] 5; end;",
                         C::CustomError, 1, 73, "Invalid method"},
        DeclarationError{"type I = interface(IUnknown) ['{00000000-0000-0000-0000-000000000000}'] "
                         "procedure M(a: Nothing); end;",
                         C::CustomError, 1, 88, "Invalid method"},
        DeclarationError{"var x: Integer;\nvar X: Byte;", C::DuplicateIdentifier, 2, 5, "X"},
        DeclarationError{"var a, a: Byte;", C::DuplicateIdentifier, 1, 8, "a"},
        DeclarationError{"var Result: Integer;", C::DuplicateIdentifier, 1, 5, "Result"},
        DeclarationError{"var True: Integer;", C::DuplicateIdentifier, 1, 5, "True"},
        DeclarationError{"var x Integer;", C::ColonExpected, 1, 7},
        DeclarationError{"var x: Integer", C::SemicolonExpected, 1, 15},
        DeclarationError{"var ;", C::IdentifierExpected, 1, 5}, DeclarationError{"const c 5;", C::IsExpected, 1, 9},
        DeclarationError{"const c = 1 div 0;", C::DivideByZero, 1, 18},
        DeclarationError{"const c = 1.0 / 0.0;", C::DivideByZero, 1, 20},
        DeclarationError{"const c = 7 mod 0;", C::DivideByZero, 1, 18},
        DeclarationError{"const c = 99999999999999999999;", C::MathError, 1, 11, "99999999999999999999"},
        DeclarationError{"const c = (1 + 2;", C::CloseRoundExpected, 1, 17},
        DeclarationError{"const c = x;", C::UnknownIdentifier, 1, 11, "x"},
        DeclarationError{"const c = 'a' 'b';", C::SyntaxError, 1, 15},
        DeclarationError{"const c = not 'ab';", C::TypeMismatch, 1, 19},
        DeclarationError{"const c = ;", C::SyntaxError, 1, 11},
        DeclarationError{"const c = 1 + 'a';", C::TypeMismatch, 1, 18},
        DeclarationError{"const c = 1e5000;", C::MathError, 1, 11, "1e5000"},
        DeclarationError{"const c = 1; c = 2;", C::DuplicateIdentifier, 1, 14, "c"},
        DeclarationError{"label a, a;", C::DuplicateIdentifier, 1, 10, "a"},
        DeclarationError{"label a b;", C::SemicolonExpected, 1, 9},
        DeclarationError{"procedure P(a: Integer); forward;\nprocedure P(a: Byte); begin end;",
                         C::ForwardParameterMismatch, 2, 23},
        DeclarationError{"procedure P(a: Integer); forward;\nfunction P(a: Integer): Integer; begin end;",
                         C::ForwardParameterMismatch, 2, 34},
        DeclarationError{"var v: Byte;\n  procedure P; forward;", C::UnsatisfiedForward, 2, 13, "P"},
        DeclarationError{"procedure P(x, x: Integer); begin end;", C::DuplicateIdentifier, 1, 16, "x"},
        DeclarationError{"procedure P(P: Integer); begin end;", C::DuplicateIdentifier, 1, 13, "P"},
        DeclarationError{"procedure P(Result: Integer); begin end;", C::DuplicateIdentifier, 1, 13, "Result"},
        DeclarationError{"procedure P(a Integer); begin end;", C::ColonExpected, 1, 15},
        DeclarationError{"procedure P(a: Nothing); begin end;", C::UnknownType, 1, 16, "Nothing"},
        DeclarationError{"procedure P; var P: Byte; begin end;", C::DuplicateIdentifier, 1, 18, "P"},
        DeclarationError{"procedure P; begin end; procedure P; begin end;", C::DuplicateIdentifier, 1, 35, "P"},
        DeclarationError{"procedure P begin end;", C::SemicolonExpected, 1, 13},
        DeclarationError{"procedure P; var x: Byte; if x then;", C::BeginExpected, 1, 27},
        DeclarationError{"procedure P; const Local = 1; begin end; var Local: Byte; const G = Local;",
                         C::UnknownIdentifier, 1, 69, "Local"},
        DeclarationError{"type T = procedure(a: array Integer);", C::OfExpected, 1, 29},
        DeclarationError{"type T = function(a: Byte);", C::ColonExpected, 1, 27},
        DeclarationError{"type T = procedure(a: Byte; 5);", C::IdentifierExpected, 1, 29},
        DeclarationError{"type T = procedure(a: Byte;", C::IdentifierExpected, 1, 28},
        DeclarationError{"procedure X; external 'a';", C::SemicolonExpected, 1, 27},
        DeclarationError{"procedure X; external 5;", C::StringExpected, 1, 23},
        DeclarationError{"[Nothing] procedure X; begin end;", C::UnknownIdentifier, 1, 2, "Nothing"},
        DeclarationError{"[Tag('a')] procedure X; begin end;", C::TypeMismatch, 1, 9},
        DeclarationError{"[Tag] procedure X; begin end;", C::OpenRoundExpected, 1, 5},
        DeclarationError{"[Tag(1 procedure X; begin end;", C::CloseRoundExpected, 1, 8},
        DeclarationError{"[Tag(1) procedure X; begin end;", C::CloseBlockExpected, 1, 9},
        DeclarationError{"uses System;", C::DuplicateIdentifier, 1, 6, "SYSTEM"},
        DeclarationError{"x", C::BeginExpected, 1, 1}, DeclarationError{"const s = 'open", C::StringError, 1, 11}),
    caseName);

// A scan error is the only message: what the readers would say about the end
// of text the parser then stands at adds nothing.
INSTANTIATE_TEST_SUITE_P(
    ScanErrors, CompilerDeclarationErrors,
    ::testing::Values(DeclarationError{"program 'P;", C::StringError, 1, 9},
                      DeclarationError{"program P\x01;", C::SyntaxError, 1, 10},
                      DeclarationError{"program P; {open", C::CommentError, 1, 12},
                      DeclarationError{"uses 'x;", C::StringError, 1, 6},
                      DeclarationError{"var x: 'Integer;", C::StringError, 1, 8},
                      DeclarationError{"var x, (* y: Integer;", C::CommentError, 1, 8},
                      DeclarationError{"type T = record a: #$ZZ; end;", C::CharError, 1, 20},
                      DeclarationError{"type T = array[1..'3] of Byte;", C::StringError, 1, 19},
                      DeclarationError{"type T = procedure(a: 'Byte);", C::StringError, 1, 23},
                      DeclarationError{"type I = interface(IUnknown) ['{00000000-0000-0000-0000-000000000000}'] "
                                       "procedure M(a: 'x); end;",
                                       C::StringError, 1, 88},
                      DeclarationError{"const c = 1 + $;", C::SyntaxError, 1, 15},
                      DeclarationError{"label a, 'b;", C::StringError, 1, 10},
                      DeclarationError{"procedure P(a: Byte; 'b: Byte); begin end;", C::StringError, 1, 22},
                      DeclarationError{"procedure P; var x: 'Byte; begin end;", C::StringError, 1, 21},
                      DeclarationError{"[Tag('a] procedure X; begin end;", C::StringError, 1, 6}),
    caseName);

TEST(CompilerDeclarations, NothingAfterTheFinalPeriodIsRead)
{
    for (const char* text : {"begin end. 'open", "begin end.{", "program P; begin end.\x01"}) {
        CompileHarness h;
        h.c.AllowNoEnd = false;
        EXPECT_TRUE(h.compile(text)) << text;
        EXPECT_EQ(h.c.GetMessageCount(), 0u) << text;
    }
    CompileHarness h;
    h.c.AllowNoEnd = false;
    EXPECT_FALSE(h.compile("begin end;"));
    ASSERT_EQ(h.c.GetMessageCount(), 1u);
    EXPECT_EQ(h.c.GetMessage(0)->MessageToString(), "[Error] (1:10): period ('.') expected");
}

TEST(CompilerDeclarations, RoutineScopeEndsForConstantsNotForTypes)
{
    CompileHarness h;
    h.inspect = [](TPSPascalCompiler& c) {
        const TPSConstant* green = CompileHarness::constant(c, "GREEN");
        ASSERT_NE(green, nullptr);
        EXPECT_EQ(green->Value.FType, c.FindType("TE"));
        EXPECT_EQ(CompileHarness::constant(c, "C")->Value.Int, 1);
        EXPECT_EQ(CompileHarness::constant(c, "K1"), nullptr);
        EXPECT_EQ(CompileHarness::constant(c, "K2"), nullptr);
    };
    ASSERT_TRUE(h.compile("procedure P; const K1 = 1; type TE = (Red, Green); const K2 = K1 + 1; begin end;\n"
                          "var x: TE; const C = Green;"))
        << (h.firstError() ? h.firstError()->MessageToString() : "");
}

TEST(CompilerDeclarations, SetsOfMoreThan256ElementsAreRefused)
{
    std::string names;
    for (int i = 0; i < 257; ++i)
        names += (i ? ", e" : "e") + std::to_string(i);
    CompileHarness h;
    EXPECT_TRUE(h.compile("type T256 = (" + names.substr(0, names.rfind(',')) + "); S = set of T256;"));
    EXPECT_FALSE(h.compile("type T257 = (" + names + "); S = set of T257;"));
    ASSERT_NE(h.firstError(), nullptr);
    EXPECT_EQ(h.firstError()->Error, TPSCompilerErrorCode::TypeMismatch);
}

TEST(CompilerDeclarations, NestingTooDeepIsAnErrorNotACrash)
{
    CompileHarness h;
    std::string deepType = "type T = ";
    for (int i = 0; i < 10000; ++i)
        deepType += "array of ";
    EXPECT_FALSE(h.compile(deepType + "Byte;"));
    EXPECT_EQ(h.firstError()->Error, TPSCompilerErrorCode::SyntaxError);

    EXPECT_FALSE(h.compile("const c = " + std::string(10000, '(') + "1" + std::string(10000, ')') + ";"));
    EXPECT_EQ(h.firstError()->MessageToString(), "[Error] (1:1011): expression too complex");

    // A long flat chain is fine.
    std::string sum = "const c = 0";
    for (int i = 0; i < 100000; ++i)
        sum += "+1";
    EXPECT_TRUE(h.compile(sum + ";"));
}

// Named types declared one on top of another nest as deep as a single
// declaration could: the declaration that nests too deep is refused, so
// nothing that walks a type's components later can run out of stack.
TEST(CompilerDeclarations, ChainsOfNamedTypesAreBounded)
{
    const char* kinds[] = {"record a: %; end", "array of %", "array[0..1] of %", "procedure(x: %)"};
    for (const char* kind : kinds) {
        std::string text = "type T0 = Byte;\n";
        for (int i = 1; i <= 400000; ++i) {
            std::string denoter = kind;
            denoter.replace(denoter.find('%'), 1, "T" + std::to_string(i - 1));
            text += "T" + std::to_string(i) + " = " + denoter + ";\n";
        }
        CompileHarness h;
        EXPECT_FALSE(h.compile(text + "begin end."));
        ASSERT_NE(h.firstError(), nullptr) << kind;
        EXPECT_EQ(h.firstError()->Error, TPSCompilerErrorCode::SyntaxError) << kind;
        // T0 is Byte, one deep; T256, on row 257, nests 257 deep.
        EXPECT_EQ(h.firstError()->Row, 257u) << kind;
    }
    // Up to the bound a chain compiles, and two chains of one shape are
    // compatible however deep.
    std::string text = "type A0 = Byte; B0 = Byte;\n";
    for (int i = 1; i < 256; ++i)
        text += "A" + std::to_string(i) + " = array of A" + std::to_string(i - 1) + "; B" + std::to_string(i) +
                " = array of B" + std::to_string(i - 1) + ";\n";
    CompileHarness h;
    ASSERT_TRUE(h.compile(text + "var a: A255; b: B255;\nbegin a := b end.")) << h.firstError()->MessageToString();
}

// The name index answers as a search of the whole list would, for short
// lists (scanned) and long ones (indexed) alike, and across a list that
// grows past the short length, is emptied behind its back and grows again.
TEST(CompilerSymbols, NameIndexFindsWhatASearchOfTheListFinds)
{
    struct Named
    {
        std::string Name;
        std::uint32_t NameHash;
    };
    auto add = [](std::vector<Named>& list, const std::string& name) { list.push_back({name, MakeHash(name)}); };
    // Names repeat every `cycle` entries, so most names have several places.
    auto fill = [&](std::vector<Named>& list, std::size_t count, std::size_t cycle, const char* prefix) {
        for (std::size_t i = list.size(); i < count; ++i)
            add(list, prefix + std::to_string(i % cycle));
    };
    auto search = [](const std::vector<Named>& list, const std::string& name, bool fromFirst, bool evenOnly) {
        std::ptrdiff_t found = -1;
        for (std::size_t i = 0; i < list.size(); ++i)
            if (list[i].Name == name && (!evenOnly || i % 2 == 0) && (found < 0 || !fromFirst))
                found = static_cast<std::ptrdiff_t>(i);
        return found;
    };
    auto checkAll = [&](TPSNameIndex& index, const std::vector<Named>& list, const char* prefix, const char* step) {
        for (int n = -1; n < 12; ++n) {
            const std::string name = n < 0 ? std::string("NONE") : prefix + std::to_string(n);
            for (const bool fromFirst : {false, true}) {
                for (const bool evenOnly : {false, true}) {
                    const std::ptrdiff_t got = index.Find(
                        list, name, MakeHash(name), fromFirst,
                        [](const Named& e) {
                            return TPSNameIndex::Key{e.NameHash, e.Name};
                        },
                        [&](const Named& e) { return !evenOnly || (&e - list.data()) % 2 == 0; });
                    ASSERT_EQ(got, search(list, name, fromFirst, evenOnly))
                        << step << ": " << list.size() << " entries, " << name << (fromFirst ? " first" : " last")
                        << (evenOnly ? " even" : "");
                }
            }
            ASSERT_EQ(index.FindNamed(list, name, MakeHash(name)), search(list, name, false, false)) << step;
        }
    };
    // Every length around the short one, each list looked up as it grows.
    for (const std::size_t cycle : {std::size_t(3), std::size_t(7), std::size_t(100)}) {
        TPSNameIndex index;
        std::vector<Named> list;
        for (std::size_t count = 0; count <= 20; ++count) {
            fill(list, count, cycle, "A");
            checkAll(index, list, "A", "growing");
        }
    }
    // Indexed, emptied behind the index's back, refilled with other names
    // while short, then long again: no stale entry answers.
    TPSNameIndex index;
    std::vector<Named> list;
    fill(list, 16, 16, "A");
    checkAll(index, list, "A", "long");
    list.clear();
    fill(list, 5, 5, "B");
    checkAll(index, list, "B", "short again");
    fill(list, 18, 9, "B");
    checkAll(index, list, "B", "long again");
    checkAll(index, list, "A", "long again");
    // Forgetting the newest entries of an indexed list, then shortening it.
    index.Forget(10);
    list.resize(10);
    checkAll(index, list, "B", "forgotten");
    index.Forget(6);
    list.resize(6);
    checkAll(index, list, "B", "short after forgetting");
    fill(list, 14, 4, "B");
    checkAll(index, list, "B", "long after forgetting");
}

// Every name of a long list is checked against those before it; a repeat at
// the end is found where it stands.
TEST(CompilerDeclarations, RepeatsAtTheEndOfLongListsAreFound)
{
    auto names = [](const char* prefix, const char* separator, const char* suffix) {
        std::string text;
        for (int i = 0; i < 20000; ++i)
            text += (i ? separator : "") + std::string(prefix) + std::to_string(i) + suffix;
        return text;
    };
    struct Case
    {
        std::string text;
        const char* repeated;
    };
    const Case cases[] = {
        {"procedure P(" + names("p", "; ", ": Byte") + "; p7: Byte); begin end;", "p7"},
        {"label " + names("L", ", ", "") + ", L19999;", "L19999"},
        {"var " + names("v", ", ", "") + ", v0: Byte;", "v0"},
        {"type R = record " + names("f", ", ", "") + ", f123: Byte; end;", "f123"},
        {"type E = (" + names("e", ", ", "") + ", e5);", "e5"},
        {"uses " + names("U", ", ", "") + ", U42;", "U42"},
        {"procedure P(" + names("p", "; ", ": Byte") + "); var p3: Byte; begin end;", "p3"},
        {"procedure P; var " + names("x", ", ", "") + ": Byte; y, x17: Byte; begin end;", "x17"},
    };
    for (const Case& c : cases) {
        CompileHarness h;
        EXPECT_FALSE(h.compile(c.text));
        ASSERT_NE(h.firstError(), nullptr) << c.repeated;
        EXPECT_EQ(h.firstError()->Error, TPSCompilerErrorCode::DuplicateIdentifier) << c.repeated;
        EXPECT_EQ(FastUpperCase(h.firstError()->Param), FastUpperCase(c.repeated));
        EXPECT_EQ(h.firstError()->Col, c.text.rfind(c.repeated) + 1) << c.repeated;
    }
}

// Value nodes are kept for reuse by size: a node freed goes back to the list
// of its own size, so that the next node of that size is the one freed, and
// a node of another size never is (it would be too small, or waste room).
TEST(ValueNodes, AFreedNodeServesTheNextNodeOfItsOwnSizeOnly)
{
    if (!valuenodes::kReuse)
        GTEST_SKIP() << "nodes are not reused in this build";
    struct Row
    {
        std::size_t size, other;
    };
    // Each size beside one of the next size up or down, at the steps' edges.
    const Row table[] = {{8, 17},    {16, 17},   {17, 16},   {32, 33},   {33, 49},   {48, 49}, {64, 80},  {100, 90},
                         {128, 129}, {200, 209}, {240, 241}, {255, 240}, {256, 240}, {1, 17},  {129, 128}};
    for (const Row& row : table) {
        SCOPED_TRACE(std::to_string(row.size) + " beside " + std::to_string(row.other));
        void* freed = TPSValue::operator new(row.size);
        TPSValue::operator delete(freed, row.size);
        void* other = TPSValue::operator new(row.other);
        EXPECT_NE(other, freed);
        void* same = TPSValue::operator new(row.size);
        EXPECT_EQ(same, freed);
        TPSValue::operator delete(other, row.other);
        TPSValue::operator delete(same, row.size);
    }
}

} // namespace
