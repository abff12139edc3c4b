// What the compiler writes, the loader reads back as the compiler meant it:
// every declaration kind the compiler accepts, through the real loader.

#include "script/common/member_import.h"
#include "script/compiler/image_writer.h"
#include "script/runtime/exec.h"
#include "tests/script/compiler/compile_harness.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

using ps::BaseType;

namespace {

bool host(TPSExec*, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    return true;
}

// Accepts a member import whose text reads back as a member of the class
// and remembers it.
bool bindMember(TPSExec*, TPSExternalProcRec* proc, std::uintptr_t tag)
{
    auto* seen = reinterpret_cast<std::vector<std::string>*>(tag);
    psimport::ClassImport read;
    if (proc->decl.rfind(psimport::InterfacePrefix, 0) != 0 && !psimport::ParseClassImport(proc->decl, read))
        return false;
    seen->push_back(proc->decl);
    proc->handler = host;
    return true;
}

// The compiler's view of one type record, taken before the tables go.
struct ExpectedType
{
    BaseType base;
    std::string exportName;
    std::vector<std::int32_t> components; // field or element type numbers
    std::uint32_t count = 0;              // static array elements, set bits
    std::int32_t low = 0;
    std::string text; // class name, procedural signature
    GUID guid;
    std::vector<std::string> attributes;
};

struct ExpectedProc
{
    bool internal;
    std::string name, decl;
    std::size_t attributes;
};

constexpr const char* kScript = R"(
type
  TE = (ea, eb, ec);
  TS = set of TE;
  TBS = set of Byte;
  TA = array[-1..2] of Integer;
  TD = array of String;
  TR = record x: Integer; s: String; e: TE; end;
  TP = function(a: Integer; var b: String): Boolean;
  TN = array of TR;
const K = 5;
var
  vb: Byte; vsi: ShortInt; vw: Word; vsm: SmallInt; vlw: LongWord; vli: LongInt;
  vs: Single; vd: Double; vx: Extended; vstr: String; vpc: PChar; vv: Variant;
  vi64: Int64; vc: Char; vws: WideString; vwc: WideChar; vcur: Currency; vus: UnicodeString;
  vlb: LongBool; vwb: WordBool; ve: TE; vbig: TBig; vset: TS; vbset: TBS; va: TA; vdyn: TD;
  vr: TR; vp: TP; vn: TN; vcl: TThing; vin: IThing; vptr: ___Pointer; vx2: TExported;
procedure Ext(a: Integer; var s: String); external 'lib';
[Tag(1.5, 'xy')] function F(a: Integer; var b: TR; c: TE): TS;
var l: Byte;
begin
end;
procedure G; forward;
procedure G; begin end;
begin
end.
)";

TEST(CompiledImage, LoadsBackAsWritten)
{
    CompileHarness h;
    h.registerTypes = [](TPSPascalCompiler& c) {
        std::string names;
        for (int i = 0; i < 300; ++i)
            names += (i ? ", big" : "(big") + std::to_string(i);
        c.AddTypeS("TBig", names + ")");
        TPSType* exported = c.AddTypeS("TExported", "record a: Byte; end;");
        TPSCompileTimeClass* thing = c.AddClass(nullptr, "TThing");
        thing->RegisterMethod("procedure Run(x: Integer; var s: String)");
        thing->RegisterMethod("constructor Create");
        thing->RegisterProperty("Items", "String Integer", TPSPropertyAccess::ReadWrite);
        TPSInterface* intf = c.AddInterface(c.FindInterface("IUnknown"),
                                            *GUID::parse("{01234567-89AB-CDEF-0123-456789ABCDEF}"), "IThing");
        intf->RegisterMethod("function Count: Integer", TPSCallingConvention::Stdcall);
        TPSAttributeType* tag = c.AddAttributeType("Tag");
        tag->AddField("Value", c.FindType("Extended"));
        tag->AddField("Name", c.FindType("String"));
        // A host type may carry attributes too; an enumeration value takes
        // the width its type record gives.
        TPSAttribute& typeTag = exported->Attributes.emplace_back();
        typeTag.AType = tag;
        typeTag.Values.emplace_back(c.FindType("LongBool")).SetInt(1);
        typeTag.Values.emplace_back(c.FindType("Word")).SetInt(0xBEEF);
        c.AddFunction("function HostSum(a, b: Integer): Integer;");
        c.AddFunction("procedure NeverCalled;");
    };
    h.c.OnExternalProc = [](TPSPascalCompiler*, TPSParametersDecl* decl, const std::string& name, const std::string&) {
        auto proc = std::make_unique<TPSRegProc>();
        proc->SetName(name);
        proc->Decl = *decl;
        proc->ImportDecl = decl->Signature();
        return proc;
    };
    // What compiled code would use: a host routine, class members and an
    // interface method.
    h.c.OnBeforeOutput = [](TPSPascalCompiler* c) {
        EXPECT_GE(c->FindProc("HostSum"), 0);
        TPSCompileTimeClass* thing = c->FindClass("TThing");
        thing->MemberProcNo(*thing->FindMember("Run"));
        thing->MemberProcNo(*thing->FindMember("Create"));
        auto* items = dynamic_cast<TPSDelphiClassItemProperty*>(thing->FindMember("Items"));
        thing->PropertyReadProcNo(*items);
        thing->PropertyWriteProcNo(*items);
        thing->CastSupportProcNo();
        thing->TestSupportProcNo();
        TPSInterface* intf = c->FindInterface("IThing");
        InterfaceMethodProcNo(*c, *intf, *FindInterfaceMethod(*intf, "Count"));
        return true;
    };
    std::vector<ExpectedType> types;
    std::vector<ExpectedProc> procs;
    std::vector<std::int32_t> globals;
    std::vector<std::string> memberTexts;
    h.inspect = [&](TPSPascalCompiler& c) {
        types.resize(static_cast<std::size_t>(c.TypeCount()));
        for (const auto& owned : c.Types()) {
            const TPSType* type = owned.get();
            if (!type->Used || type->BaseType == BaseType::TypeLink)
                continue;
            ExpectedType& e = types.at(static_cast<std::size_t>(type->FinalTypeNo));
            e.base = ImageBaseType(type);
            e.exportName = type->ExportName ? type->Name : "";
            for (const TPSAttribute& attribute : type->Attributes)
                e.attributes.push_back(attribute.AType->Name);
            switch (type->BaseType) {
            case BaseType::Record:
                for (const auto& field : static_cast<const TPSRecordType*>(type)->Fields)
                    e.components.push_back(ResolveLink(field.FieldType)->FinalTypeNo);
                break;
            case BaseType::StaticArray:
                e.count = static_cast<std::uint32_t>(static_cast<const TPSStaticArrayType*>(type)->Length);
                e.low = static_cast<const TPSStaticArrayType*>(type)->StartOffset;
                [[fallthrough]];
            case BaseType::DynArray:
                e.components.push_back(ResolveLink(static_cast<const TPSArrayType*>(type)->ArrayTypeNo)->FinalTypeNo);
                break;
            case BaseType::Set:
                e.count = static_cast<const TPSSetType*>(type)->BitSize();
                break;
            case BaseType::Procedural:
                e.text = static_cast<const TPSProceduralType*>(type)->ProcDef.Signature();
                break;
            case BaseType::Class:
                e.text = static_cast<const TPSClassType*>(type)->Cl->Name;
                break;
            case BaseType::Interface:
                e.guid = static_cast<const TPSInterfaceType*>(type)->Intf->Guid;
                break;
            default:
                break;
            }
        }
        for (const auto& proc : c.Procs()) {
            if (auto* internal = dynamic_cast<const TPSInternalProcedure*>(proc.get())) {
                procs.push_back({true, internal->Name, internal->Decl.ByNumbers(), proc->Attributes.size()});
            } else {
                const TPSRegProc& reg = *static_cast<const TPSExternalProcedure&>(*proc).RegProc;
                procs.push_back({false, reg.Name, reg.ImportDecl, proc->Attributes.size()});
                if (reg.Name.empty())
                    memberTexts.push_back(reg.ImportDecl);
            }
        }
        for (const auto& var : c.Vars())
            globals.push_back(ResolveLink(var->AType)->FinalTypeNo);
    };
    ASSERT_TRUE(h.compile(kScript)) << h.firstError()->MessageToString();
    std::string image;
    ASSERT_TRUE(h.c.GetOutput(image));

    TPSExec exec;
    exec.RegisterProcName("EXT", host);
    exec.RegisterProcName("HOSTSUM", host);
    std::vector<std::string> bound;
    exec.AddImportResolver("class", bindMember, reinterpret_cast<std::uintptr_t>(&bound));
    exec.AddImportResolver("intf", bindMember, reinterpret_cast<std::uintptr_t>(&bound));
    ASSERT_TRUE(exec.LoadBytecode(image)) << exec.ExceptionText() << " code " << exec.ExceptionCode();

    // Every kind this test means to cover reached the image.
    std::set<BaseType> bases;
    for (const ExpectedType& e : types)
        bases.insert(e.base);
    for (int code = 1; code <= 28; ++code) {
        if (code != 15 && code != 27) {
            EXPECT_TRUE(bases.count(static_cast<BaseType>(code))) << "base " << code;
        }
    }

    ASSERT_EQ(exec.TypeCount(), types.size());
    for (std::size_t i = 0; i < types.size(); ++i) {
        SCOPED_TRACE("type " + std::to_string(i));
        const ExpectedType& e = types[i];
        const TPSTypeRec* t = exec.GetTypeByNumber(i);
        ASSERT_EQ(t->baseType, e.base);
        EXPECT_EQ(t->exportName, e.exportName);
        auto number = [&](const TPSTypeRec* component) {
            for (std::size_t n = 0; n < exec.TypeCount(); ++n) {
                if (exec.GetTypeByNumber(n) == component)
                    return static_cast<std::int32_t>(n);
            }
            return -1;
        };
        switch (e.base) {
        case BaseType::Record: {
            std::vector<std::int32_t> fields;
            for (const TPSTypeRec* field : static_cast<const TPSTypeRec_Record*>(t)->fieldTypes)
                fields.push_back(number(field));
            EXPECT_EQ(fields, e.components);
            break;
        }
        case BaseType::StaticArray:
            EXPECT_EQ(static_cast<const TPSTypeRec_StaticArray*>(t)->elementCount, e.count);
            EXPECT_EQ(static_cast<const TPSTypeRec_StaticArray*>(t)->lowBound, e.low);
            [[fallthrough]];
        case BaseType::DynArray:
            EXPECT_EQ(number(static_cast<const TPSTypeRec_Array*>(t)->elementType), e.components.at(0));
            break;
        case BaseType::Set:
            EXPECT_EQ(static_cast<const TPSTypeRec_Set*>(t)->bitCount, e.count);
            break;
        case BaseType::Procedural:
            EXPECT_EQ(static_cast<const TPSTypeRec_ProcPtr*>(t)->paramInfo, e.text);
            break;
        case BaseType::Class:
            EXPECT_EQ(static_cast<const TPSTypeRec_Class*>(t)->className, e.text);
            break;
        case BaseType::Interface:
            EXPECT_EQ(static_cast<const TPSTypeRec_Interface*>(t)->guid, e.guid);
            break;
        default:
            break;
        }
        std::vector<std::string> attributes;
        for (const auto& attribute : t->attributes)
            attributes.push_back(attribute->typeName);
        EXPECT_EQ(attributes, e.attributes);
        if (e.exportName == "TEXPORTED") {
            ASSERT_EQ(t->attributes.size(), 1u);
            const TPSStack& values = t->attributes[0]->values;
            ASSERT_EQ(values.Count(), 2u);
            EXPECT_EQ(values.Items(0)->type->baseType, BaseType::LongWord);
            EXPECT_EQ(*static_cast<const std::uint32_t*>(values.Items(0)->data()), 1u);
            EXPECT_EQ(*static_cast<const std::uint16_t*>(values.Items(1)->data()), 0xBEEF);
        }
    }

    ASSERT_EQ(exec.ProcCount(), procs.size());
    EXPECT_EQ(exec.MainProcNo(), 0u);
    for (std::size_t i = 0; i < procs.size(); ++i) {
        SCOPED_TRACE("proc " + std::to_string(i) + " " + procs[i].name);
        const TPSProcRec* proc = exec.GetProcNo(i);
        if (procs[i].internal) {
            const auto* internal = dynamic_cast<const TPSInternalProcRec*>(proc);
            ASSERT_NE(internal, nullptr);
            EXPECT_EQ(internal->exportName, procs[i].name);
            EXPECT_EQ(internal->exportDecl, procs[i].decl);
            // Empty bodies: their locals pushed, then the return.
            ASSERT_FALSE(internal->code.empty());
            EXPECT_EQ(internal->code.back(), '\x09');
        } else {
            const auto* external = dynamic_cast<const TPSExternalProcRec*>(proc);
            ASSERT_NE(external, nullptr);
            EXPECT_EQ(external->name, procs[i].name);
            EXPECT_EQ(external->decl, procs[i].decl);
        }
        EXPECT_EQ(proc->attributes.size(), procs[i].attributes);
    }
    EXPECT_EQ(bound, memberTexts);
    EXPECT_EQ(memberTexts.size(), 7u);

    // The attribute's values, typed as the compiler folded them.
    const TPSProcRec* f = nullptr;
    for (std::size_t i = 0; i < procs.size(); ++i) {
        if (procs[i].name == "F")
            f = exec.GetProcNo(i);
    }
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(f->attributes.size(), 1u);
    const TPSRuntimeAttribute& tag = *f->attributes[0];
    EXPECT_EQ(tag.typeName, "TAG");
    ASSERT_EQ(tag.values.Count(), 2u);
    long double value = 0;
    std::memcpy(&value, tag.values.Items(0)->data(), 10);
    EXPECT_EQ(tag.values.Items(0)->type->baseType, BaseType::Extended);
    EXPECT_EQ(value, 1.5L);
    EXPECT_EQ(*static_cast<const std::string*>(tag.values.Items(1)->data()), "xy");

    ASSERT_EQ(exec.Globals().Count(), globals.size());
    for (std::size_t i = 0; i < globals.size(); ++i)
        EXPECT_EQ(exec.Globals().Items(static_cast<std::ptrdiff_t>(i))->type,
                  exec.GetTypeByNumber(static_cast<std::size_t>(globals[i])))
            << "global " << i;
}

// The image refuses to load when a host routine or member is not there,
// and names what is missing.
TEST(CompiledImage, MissingHostRoutineIsNamed)
{
    CompileHarness h;
    h.registerTypes = [](TPSPascalCompiler& c) {
        c.AddFunction("procedure HostOnly;");
        c.AddClass(nullptr, "TThing")->RegisterMethod("procedure Run");
    };
    for (const bool member : {false, true}) {
        h.c.OnBeforeOutput = member ? +[](TPSPascalCompiler* c) {
            TPSCompileTimeClass* thing = c->FindClass("TThing");
            return thing->MemberProcNo(*thing->FindMember("Run")) >= 0;
        }
                                    : +[](TPSPascalCompiler* c) { return c->FindProc("HostOnly") >= 0; };
        ASSERT_TRUE(h.compile("begin end."));
        std::string image;
        ASSERT_TRUE(h.c.GetOutput(image));
        TPSExec exec;
        EXPECT_FALSE(exec.LoadBytecode(image));
        EXPECT_EQ(exec.ExceptionCode(), erCannotImport);
        EXPECT_EQ(exec.ExceptionText(),
                  member ? psimport::MethodText("TTHING", "RUN", std::string(1, '\0')) : std::string("HOSTONLY"));
    }
}

} // namespace
