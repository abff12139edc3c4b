#include "compile_harness.h"

#include "script/common/member_import.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::string u32(std::uint32_t v)
{
    std::string out;
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>(v >> (8 * i)));
    return out;
}

std::string bytes(std::initializer_list<int> list)
{
    std::string out;
    for (const int b : list)
        out.push_back(static_cast<char>(b));
    return out;
}

const TPSRegProc& importOf(const TPSPascalCompiler& c, std::int32_t procNo)
{
    return *static_cast<const TPSExternalProcedure&>(*c.Procs().at(static_cast<std::size_t>(procNo))).RegProc;
}

void declareBase(TPSPascalCompiler& c)
{
    TPSCompileTimeClass* base = c.AddClass(nullptr, "TBase");
    ASSERT_TRUE(base->RegisterMethod("procedure Go(a: Integer; var b: String)"));
    ASSERT_TRUE(base->RegisterMethod("function Get: Integer;"));
    ASSERT_TRUE(base->RegisterMethod("constructor Create(x: Integer)"));
    ASSERT_TRUE(base->RegisterProperty("Count", "Integer", TPSPropertyAccess::ReadWrite));
    ASSERT_TRUE(base->RegisterProperty("Items", "String Integer", TPSPropertyAccess::ReadWrite));
    ASSERT_TRUE(base->RegisterProperty("Sink", "Integer", TPSPropertyAccess::WriteOnly));
    ASSERT_TRUE(base->RegisterProperty("Size", "Integer", TPSPropertyAccess::ReadOnly));
    c.AddClass(base, "TDerived");
    TPSInterface* first = c.AddInterface(c.FindInterface("IUnknown"), GUID{1, 2, 3, {}}, "IFirst");
    ASSERT_TRUE(first->RegisterMethod("procedure M1", TPSCallingConvention::Stdcall));
    ASSERT_TRUE(first->RegisterMethod("function M2(var x: Byte): Byte", TPSCallingConvention::Cdecl));
    TPSInterface* second = c.AddInterface(first, GUID{4, 5, 6, {}}, "ISecond");
    ASSERT_TRUE(second->RegisterMethod("procedure N(a, b: Integer)", TPSCallingConvention::Register));
}

// Each member a script uses becomes one hidden routine whose text tells the
// loader what to bind; the member is found through the class it was
// reached by, and named by the class that declares it.
TEST(ClassImport, MembersImportAsTextOnFirstUse)
{
    CompileHarness h;
    h.registerTypes = declareBase;
    h.inspect = [](TPSPascalCompiler& c) {
        TPSCompileTimeClass* derived = c.FindClass("TDerived");
        auto member = [&](const char* name) { return derived->FindMember(name); };
        auto property = [&](const char* name) { return dynamic_cast<TPSDelphiClassItemProperty*>(member(name)); };
        auto methodNo = [&](const char* name) { return derived->MemberProcNo(*member(name)); };
        struct Case
        {
            const char* what;
            std::function<std::int32_t()> use;
            std::string text; // empty: the side does not exist
        };
        TPSInterface* second = &*c.FindInterface("ISecond");
        TPSInterface* declaredBy = nullptr;
        TPSInterfaceMethod* m2 = FindInterfaceMethod(*second, "m2", &declaredBy);
        ASSERT_NE(m2, nullptr);
        TPSInterfaceMethod* n = FindInterfaceMethod(*second, "N");
        const std::vector<Case> cases = {
            {"procedure", [&] { return methodNo("go"); }, "class:TBASE|GO|" + bytes({0, 0, 0, 1})},
            {"function", [&] { return methodNo("GET"); }, "class:TBASE|GET|" + bytes({0, 1})},
            {"constructor", [&] { return methodNo("Create"); }, "class:TBASE|CREATE|" + bytes({0, 1, 0})},
            {"property read", [&] { return methodNo("Count"); }, "class:TBASE|COUNT|" + u32(1)},
            {"property write", [&] { return derived->PropertyWriteProcNo(*property("Count")); },
             "class:TBASE|COUNT@|" + u32(1)},
            {"indexed read", [&] { return derived->PropertyReadProcNo(*property("Items")); },
             "class:TBASE|ITEMS|" + u32(2)},
            {"indexed write", [&] { return derived->PropertyWriteProcNo(*property("Items")); },
             "class:TBASE|ITEMS@|" + u32(2)},
            {"read of a write-only", [&] { return derived->PropertyReadProcNo(*property("Sink")); }, ""},
            {"write of a write-only", [&] { return derived->PropertyWriteProcNo(*property("Sink")); },
             "class:TBASE|SINK@|" + u32(1)},
            {"write of a read-only", [&] { return derived->PropertyWriteProcNo(*property("Size")); }, ""},
            {"cast", [&] { return derived->CastSupportProcNo(); }, "class:+"},
            {"release", [&] { return derived->TestSupportProcNo(); }, "class:-"},
            // IUnknown's three methods come first, then M1 and M2.
            {"interface method", [&] { return InterfaceMethodProcNo(c, *declaredBy, *m2); },
             "intf:." + u32(4) + bytes({2, 1, 1})},
            {"inherited slots", [&] { return InterfaceMethodProcNo(c, *second, *n); },
             "intf:." + u32(5) + bytes({0, 0, 0, 0})},
            {"interface cast", [&] { return InterfaceCastSupportProcNo(c, *second); }, "class:+"},
            {"interface release", [&] { return InterfaceTestSupportProcNo(c, *second); }, "class:-"},
        };
        for (const Case& t : cases) {
            SCOPED_TRACE(t.what);
            const std::size_t procsBefore = c.Procs().size();
            const std::int32_t no = t.use();
            if (t.text.empty()) {
                EXPECT_EQ(no, -1);
                EXPECT_EQ(c.Procs().size(), procsBefore);
                continue;
            }
            ASSERT_EQ(no, static_cast<std::int32_t>(procsBefore));
            EXPECT_EQ(importOf(c, no).Name, "");
            EXPECT_EQ(importOf(c, no).ImportDecl, t.text);
            EXPECT_EQ(t.use(), no) << "a second use makes no second routine";
        }
        // The hidden routines carry what the expression compiler checks
        // calls against.
        const TPSParametersDecl& write = importOf(c, derived->PropertyWriteProcNo(*property("Items"))).Decl;
        ASSERT_EQ(write.Params.size(), 2u);
        EXPECT_EQ(write.Params[0].Name, "PARAM1");
        EXPECT_EQ(write.Params[1].AType, c.FindType("String"));
        EXPECT_EQ(write.Result, nullptr);
        EXPECT_EQ(importOf(c, methodNo("Create")).Decl.Result, c.FindClass("TBase")->FType);
    };
    ASSERT_TRUE(h.compile("begin end."));
}

TEST(ClassImport, ImportTextsReadBack)
{
    using psimport::ClassImport;
    auto manyIndexes = [](int n) {
        std::string list = "Integer";
        for (int i = 0; i < n; ++i)
            list += " Integer";
        return list;
    };
    struct Case
    {
        const char* what;
        std::string text;
        bool parses;
        ClassImport::Kind kind;
        std::string className, member;
        bool write;
    };
    // Index counts whose u32 starts with the write mark or the separator.
    const std::string markCount = psimport::PropertyText("TA", "P", false, 63);
    const std::string separatorCount = psimport::PropertyText("TA", "P", true, 123);
    ASSERT_EQ(markCount.substr(markCount.size() - 4, 1), "@");
    ASSERT_EQ(separatorCount.substr(separatorCount.size() - 4, 1), "|");
    const std::vector<Case> cases = {
        {"method", psimport::MethodText("TA", "RUN", bytes({1, 0})), true, ClassImport::Kind::Member, "TA", "RUN",
         false},
        {"count is the write mark", markCount, true, ClassImport::Kind::Member, "TA", "P", false},
        {"count is the separator", separatorCount, true, ClassImport::Kind::Member, "TA", "P", true},
        {"release", "class:-", true, ClassImport::Kind::Release, "", "", false},
        {"cast", "class:+", true, ClassImport::Kind::Cast, "", "", false},
        {"no member separator", "class:TA|RUN", false, {}, "", "", false},
        {"no class name", "class:|RUN|", false, {}, "", "", false},
        {"only the write mark", "class:TA|@|", false, {}, "", "", false},
        {"interface text", "intf:." + u32(1), false, {}, "", "", false},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.what);
        ClassImport read;
        ASSERT_EQ(psimport::ParseClassImport(t.text, read), t.parses);
        if (!t.parses)
            continue;
        EXPECT_EQ(read.kind, t.kind);
        EXPECT_EQ(read.className, t.className);
        EXPECT_EQ(read.member, t.member);
        EXPECT_EQ(read.write, t.write);
    }

    // Through the registration as well: a property with 63 index parameters.
    CompileHarness h;
    h.registerTypes = [&](TPSPascalCompiler& c) {
        TPSCompileTimeClass* cl = c.AddClass(nullptr, "TWide");
        ASSERT_TRUE(cl->RegisterProperty("Cells", manyIndexes(63), TPSPropertyAccess::ReadWrite));
        auto* cells = dynamic_cast<TPSDelphiClassItemProperty*>(cl->FindMember("Cells"));
        ClassImport read;
        ASSERT_TRUE(psimport::ParseClassImport(importOf(c, cl->PropertyReadProcNo(*cells)).ImportDecl, read));
        EXPECT_EQ(read.member, "CELLS");
        EXPECT_FALSE(read.write);
        EXPECT_EQ(read.rest, u32(64));
    };
    ASSERT_TRUE(h.compile("begin end."));
}

TEST(ClassImport, RegistrationRules)
{
    CompileHarness h;
    h.registerTypes = [](TPSPascalCompiler& c) {
        TPSCompileTimeClass* cl = c.AddClass(nullptr, "TThing");
        EXPECT_FALSE(cl->RegisterProperty("Bad", "Integer TNothing", TPSPropertyAccess::ReadWrite));
        EXPECT_FALSE(cl->RegisterProperty("Bad@", "Integer", TPSPropertyAccess::ReadWrite));
        EXPECT_FALSE(cl->RegisterProperty("Empty", "", TPSPropertyAccess::ReadWrite));
        EXPECT_FALSE(cl->RegisterMethod("procedure Bad(x: TNothing)"));
        EXPECT_FALSE(cl->RegisterMethod("destructor Destroy"));
        EXPECT_TRUE(cl->Items.empty());

        ASSERT_TRUE(cl->RegisterProperty("Pixels", "Integer  Integer Integer", TPSPropertyAccess::ReadWrite));
        const TPSDelphiClassItem* pixels = cl->FindMember("PIXELS");
        ASSERT_NE(pixels, nullptr);
        EXPECT_EQ(pixels->Decl.Result, c.FindType("LongInt"));
        ASSERT_EQ(pixels->Decl.Params.size(), 2u);
        EXPECT_EQ(pixels->Decl.Params[0].OrgName, "param1");
        EXPECT_EQ(pixels->Decl.Params[1].OrgName, "param2");
        EXPECT_EQ(pixels->Decl.Params[1].AType, c.FindType("Integer"));

        // The later registration of a name is the one found; a derived
        // class's own member hides its parent's.
        ASSERT_TRUE(cl->RegisterMethod("procedure Pixels"));
        EXPECT_NE(dynamic_cast<TPSDelphiClassItemMethod*>(cl->FindMember("Pixels")), nullptr);
        TPSCompileTimeClass* child = c.AddClass(cl, "TChild");
        ASSERT_TRUE(child->RegisterProperty("Pixels", "Byte", TPSPropertyAccess::ReadOnly));
        EXPECT_EQ(child->FindMember("Pixels")->Owner, child);
        EXPECT_EQ(child->FindMember("Nothing"), nullptr);
        ASSERT_TRUE(cl->RegisterMethod("constructor Make"));
        EXPECT_NE(dynamic_cast<TPSDelphiClassItemConstructor*>(child->FindMember("make")), nullptr);
    };
    ASSERT_TRUE(h.compile("begin end."));
}

TEST(GraphicsDeclarations, DeclareWhatTheHostHasTypesFor)
{
    for (const bool streams : {false, true}) {
        SCOPED_TRACE(streams ? "with streams" : "without streams");
        CompileHarness h;
        h.registerTypes = [&](TPSPascalCompiler& c) {
            if (streams)
                c.AddClass(nullptr, "TStream");
            RegisterGraphicsClasses(c, streams);
        };
        h.inspect = [&](TPSPascalCompiler& c) {
            EXPECT_EQ(CompileHarness::constant(c, "CLSCROLLBAR")->Value.Int, static_cast<std::int32_t>(0xFF000000));
            EXPECT_EQ(CompileHarness::constant(c, "CLDEFAULT")->Value.Int, 0x20000000);
            EXPECT_EQ(CompileHarness::constant(c, "CLSCROLLBAR")->Value.FType, c.FindType("Integer"));
            EXPECT_EQ(CompileHarness::constant(c, "PMNOTXOR")->Value.Int, 15);
            EXPECT_EQ(static_cast<TPSSetType*>(c.FindType("TFontStyles"))->BitSize(), 4u);
            EXPECT_EQ(c.FindType("TColor"), c.FindType("LongInt"));

            TPSCompileTimeClass* bitmap = c.FindClass("TBitmap");
            ASSERT_NE(bitmap, nullptr);
            EXPECT_EQ(bitmap->ClassInheritsFrom, c.FindClass("TGraphic"));
            EXPECT_EQ(c.FindClass("TGraphic")->ClassInheritsFrom, nullptr) << "no TPersistent declared";
            EXPECT_EQ(bitmap->FindMember("LoadFromStream") != nullptr, streams);
            EXPECT_EQ(bitmap->FindMember("SaveToStream") != nullptr, streams);
            // Members with types nobody declared are dropped.
            EXPECT_EQ(bitmap->FindMember("LoadFromResourceID"), nullptr);
            EXPECT_EQ(c.FindClass("TCanvas")->FindMember("FillRect"), nullptr);
            EXPECT_EQ(c.FindClass("TGraphicsObject")->FindMember("OnChange"), nullptr);
            EXPECT_NE(bitmap->FindMember("ReleasePalette"), nullptr);
            EXPECT_NE(bitmap->FindMember("Width"), nullptr) << "inherited from TGraphic";
            auto* canvas = dynamic_cast<TPSDelphiClassItemProperty*>(bitmap->FindMember("Canvas"));
            ASSERT_NE(canvas, nullptr);
            EXPECT_EQ(canvas->AccessType, TPSPropertyAccess::ReadOnly);
            EXPECT_EQ(canvas->Decl.Result, c.FindClass("TCanvas")->FType);
            auto* pixels = c.FindClass("TCanvas")->FindMember("Pixels");
            ASSERT_NE(pixels, nullptr);
            EXPECT_EQ(pixels->Decl.Params.size(), 2u);
        };
        // A variable of a class type alone imports nothing.
        ASSERT_TRUE(h.compile("var b: TBitmap; c: TCanvas; begin end."));
        std::string image;
        ASSERT_TRUE(h.c.GetOutput(image));
        std::uint32_t procCount;
        std::memcpy(&procCount, image.data() + 12, 4);
        EXPECT_EQ(procCount, 1u);
    }
}

} // namespace
