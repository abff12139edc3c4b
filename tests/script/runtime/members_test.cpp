// Host class and interface members at load and run time, and script
// procedures called as host events.

#include "platform/core/unknown.h"
#include "script/common/member_import.h"
#include "script/common/utils.h"
#include "script/compiler/class_import.h"
#include "script/runtime/class_importer.h"
#include "script/runtime/event_bridge.h"
#include "script/runtime/exec.h"
#include "tests/script/compiler/compile_harness.h"
#include "tests/script/runtime/image_builder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using namespace testimage;
using ps::BaseType;
using pscode::CompareOp;
using pscode::Op;

namespace {

bool host(TPSExec*, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    return true;
}

std::string interfaceMethod(std::uint32_t slot, const std::string& rest)
{
    std::string text(psimport::InterfacePrefix);
    text += u32(slot) + rest;
    return text;
}

TEST(MemberImports, BindAtLoadOnlyWhatTheImporterKnows)
{
    TPSRuntimeClassImporter importer;
    TPSRuntimeClass* thing = importer.Add("TThing");
    thing->members.push_back({"RUN", MakeHash("RUN"), host, 7});
    thing->members.push_back({"COUNT@", MakeHash("COUNT@"), host, 8});
    struct Row
    {
        std::string decl;
        bool loads;
    };
    const Row rows[] = {
        {std::string(psimport::CastText), true},
        {std::string(psimport::ReleaseText), true},
        {psimport::MethodText("TThing", "Run", std::string("\0\0", 2)), true},
        {psimport::MethodText("TTHING", "run", std::string("\0\0", 2)), true},
        {psimport::PropertyText("TThing", "Count", true, 0), true},
        {psimport::PropertyText("TThing", "Count", false, 0), false}, // only the write side is known
        {psimport::MethodText("TThing", "Stop", std::string("\0\0", 2)), false},
        {psimport::MethodText("TFont", "Create", std::string("\0\0", 2)), false},
        {"class:TThing", false},
        {interfaceMethod(3, std::string("\3\1", 2)), true},
        {std::string(psimport::InterfacePrefix) + "abc", false}, // too short for the slot
        {"intf:x" + u32(3) + "\3", false},
        {"other:thing", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.decl);
        ImageBuilder b;
        b.external("", &row.decl);
        TPSExec exec;
        RegisterClassLibraryRuntime(&exec, &importer);
        EXPECT_EQ(exec.LoadBytecode(b.image()), row.loads);
        if (!row.loads) {
            EXPECT_EQ(exec.ExceptionCode(), erCannotImport);
            EXPECT_EQ(exec.ExceptionText(), row.decl);
        }
    }

    // The interface resolver comes with the built-ins, again after a reset.
    ImageBuilder b;
    const std::string decl = interfaceMethod(1, std::string("\0\0", 2));
    b.external("", &decl);
    TPSExec exec;
    exec.ResetNativeProcs();
    EXPECT_TRUE(exec.LoadBytecode(b.image()));
    const auto* bound = dynamic_cast<TPSExternalProcRec*>(exec.GetProcNo(0));
    ASSERT_NE(bound, nullptr);
    EXPECT_EQ(bound->ext1, 1u);
}

TEST(MemberImports, GraphicsClassUsedByAScriptFailsToLoad)
{
    CompileHarness h;
    h.registerTypes = [](TPSPascalCompiler& c) { RegisterGraphicsClasses(c, false); };
    ASSERT_TRUE(h.compile("var f: TFont; begin f := TFont.Create; f.Size := 12; end."))
        << (h.firstError() ? h.firstError()->MessageToString() : "");
    std::string image;
    ASSERT_TRUE(h.c.GetOutput(image));

    TPSRuntimeClassImporter importer; // nothing registers a class with it
    TPSExec exec;
    RegisterClassLibraryRuntime(&exec, &importer);
    EXPECT_FALSE(exec.LoadBytecode(image));
    EXPECT_EQ(exec.ExceptionCode(), erCannotImport);
    EXPECT_EQ(exec.ExceptionText().rfind("class:", 0), 0u) << exec.ExceptionText();
    EXPECT_EQ(ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText()).rfind("Cannot Import class:TFONT|", 0), 0u);
}

struct IThing : IUnknown
{
    static constexpr GUID iid = "{6A1D2C40-0B7E-4F5A-9C11-2E3D4F506172}"_guid;
};
struct IOther : IUnknown
{
    static constexpr GUID iid = "{6A1D2C40-0B7E-4F5A-9C11-2E3D4F506173}"_guid;
};
class Thing final : public ComObject<IThing>
{
};

std::string guidBytes(const GUID& guid)
{
    return std::string(reinterpret_cast<const char*>(&guid), sizeof guid);
}

// Globals of every kind the member routines take, with a main procedure
// that the row writes.
struct MemberScript
{
    ImageBuilder b;
    StandardTypes t{b};
    std::uint32_t classT = b.classType("TTHING");
    std::uint32_t otherClassT = b.classType("TOTHER");
    std::uint32_t thingT = b.rawType(u8(ps::code(BaseType::Interface)) + guidBytes(IThing::iid));
    std::uint32_t otherT = b.rawType(u8(ps::code(BaseType::Interface)) + guidBytes(IOther::iid));
    std::string castDecl{psimport::CastText}, releaseDecl{psimport::ReleaseText};
    std::uint32_t cast = b.external("", &castDecl);
    std::uint32_t release = b.external("", &releaseDecl);
    std::uint32_t gInt = b.var(t.longint), gObject = b.var(classT), gObjectOut = b.var(classT), gThing = b.var(thingT),
                  gOther = b.var(otherT), gFlag = b.var(t.byteT);

    std::string typeNo(std::uint32_t type) const { return C(t.longword, u32(type)); }
    Code castTo(std::uint32_t type, std::uint32_t source, std::uint32_t dest) const
    {
        return Code().push(typeNo(type)).push(V(source)).pushRef(V(dest)).call(cast).pop().pop().pop().ret();
    }
};

template <typename T> void setGlobal(TPSExec& exec, std::uint32_t n, T value)
{
    std::memcpy(exec.GetGlobalVar(n).data, &value, sizeof value);
}
template <typename T> T global(TPSExec& exec, std::uint32_t n)
{
    T value;
    std::memcpy(&value, exec.GetGlobalVar(n).data, sizeof value);
    return value;
}

TEST(MemberRoutines, CastReleaseAndIsAtRunTime)
{
    int hostObject = 0, otherObject = 0;
    TPSRuntimeClassImporter importer;
    importer.Add("TThing")->isInstance = [&](const void* object) { return object == &hostObject; };
    importer.Add("TOther")->isInstance = [&](const void* object) { return object == &otherObject; };
    Thing* thing = new Thing;
    thing->AddRef();

    struct Row
    {
        const char* what;
        std::function<Code(const MemberScript&)> body;
        void* object; // in gObject before the run
        TPSError error;
        std::string text;
        std::function<void(TPSExec&, const MemberScript&)> check;
    };
    const Row rows[] = {
        {"release of an Integer",
         [](const MemberScript& s) { return Code().pushRef(V(s.gInt)).call(s.release).pop().ret(); }, nullptr,
         erNullPointerException, "Null Pointer Exception", nullptr},
        {"release of an object variable",
         [](const MemberScript& s) { return Code().pushRef(V(s.gObject)).call(s.release).pop().ret(); }, &hostObject,
         ErNoError, "", [](TPSExec& e, const MemberScript& s) { EXPECT_EQ(global<void*>(e, s.gObject), nullptr); }},
        {"release of an interface variable",
         [](const MemberScript& s) { return Code().pushRef(V(s.gThing)).call(s.release).pop().ret(); }, nullptr,
         ErNoError, "", [](TPSExec& e, const MemberScript& s) { EXPECT_EQ(global<IUnknown*>(e, s.gThing), nullptr); }},
        {"nil cast to an interface", [](const MemberScript& s) { return s.castTo(s.thingT, s.gObject, s.gThing); },
         nullptr, erCustomError, "Cannot cast an interface", nullptr},
        {"object whose class gives no interface",
         [](const MemberScript& s) { return s.castTo(s.thingT, s.gObject, s.gThing); }, &hostObject, erCustomError,
         "Cannot cast an interface", nullptr},
        {"interface to one it has", [](const MemberScript& s) { return s.castTo(s.thingT, s.gThing, s.gThing); },
         nullptr, ErNoError, "",
         [](TPSExec& e, const MemberScript& s) { EXPECT_NE(global<IUnknown*>(e, s.gThing), nullptr); }},
        {"interface to one it lacks", [](const MemberScript& s) { return s.castTo(s.otherT, s.gThing, s.gOther); },
         nullptr, erCustomError, "Cannot cast an interface", nullptr},
        {"object to its own class", [](const MemberScript& s) { return s.castTo(s.classT, s.gObject, s.gObjectOut); },
         &hostObject, ErNoError, "",
         [&](TPSExec& e, const MemberScript& s) { EXPECT_EQ(global<void*>(e, s.gObjectOut), &hostObject); }},
        {"object to another class",
         [](const MemberScript& s) { return s.castTo(s.otherClassT, s.gObject, s.gObjectOut); }, &hostObject, ErNoError,
         "", [](TPSExec& e, const MemberScript& s) { EXPECT_EQ(global<void*>(e, s.gObjectOut), nullptr); }},
        {"is its class",
         [](const MemberScript& s) {
             return Code().compare(CompareOp::Is, V(s.gFlag), V(s.gObject), s.typeNo(s.classT)).ret();
         },
         &hostObject, ErNoError, "",
         [](TPSExec& e, const MemberScript& s) { EXPECT_EQ(global<std::uint8_t>(e, s.gFlag), 1); }},
        {"is another class",
         [](const MemberScript& s) {
             return Code().compare(CompareOp::Is, V(s.gFlag), V(s.gObject), s.typeNo(s.otherClassT)).ret();
         },
         &hostObject, ErNoError, "",
         [](TPSExec& e, const MemberScript& s) { EXPECT_EQ(global<std::uint8_t>(e, s.gFlag), 0); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        MemberScript s;
        s.b.main(s.b.proc(row.body(s)));
        TPSExec exec;
        RegisterClassLibraryRuntime(&exec, &importer);
        ASSERT_TRUE(exec.LoadBytecode(s.b.image())) << exec.ExceptionText();
        setGlobal(exec, s.gObject, row.object);
        thing->AddRef();
        setGlobal<IUnknown*>(exec, s.gThing, thing);
        EXPECT_EQ(exec.ExecuteCode(), row.error == ErNoError);
        EXPECT_EQ(exec.ExceptionCode(), row.error);
        if (row.error != ErNoError) {
            EXPECT_EQ(ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText()), row.text);
        }
        if (row.check)
            row.check(exec, s);
    }
    // Every reference the globals took went with them.
    EXPECT_EQ(thing->Release(), 0u);
}

// function Twice(a: Integer; var s: String): Integer — s gets a mark, the
// result is a * 2; a of 0 fails with a division by zero, which reaches
// the host as the exception the division raised.
TEST(EventBridge, HostCallsScriptProcedureWithParameters)
{
    ImageBuilder b;
    StandardTypes t{b};
    const std::uint32_t result = param(0), a = param(1), s = param(2);
    const std::string exportDecl =
        std::to_string(t.longint) + " @" + std::to_string(t.longint) + " !" + std::to_string(t.string);
    const std::uint32_t twice = b.proc(Code()
                                           .calc(pscode::CalcOp::Add, V(s), C(t.string, text("!")))
                                           .assign(V(result), C(t.longint, s32(2)))
                                           .calc(pscode::CalcOp::Multiply, V(result), V(a))
                                           .calc(pscode::CalcOp::Divide, V(result), V(a))
                                           .calc(pscode::CalcOp::Multiply, V(result), V(a))
                                           .assign(V(a), C(t.longint, s32(-1)))
                                           .ret(),
                                       "TWICE", exportDecl);
    b.main(b.proc(Code().ret()));
    TPSExec exec;
    ASSERT_TRUE(exec.LoadBytecode(b.image())) << exec.ExceptionText();

    const TPSProcValue method = ScriptProcMethod(&exec, twice);
    std::uint32_t procNo = 99;
    EXPECT_TRUE(IsScriptProcMethod(&exec, method, &procNo));
    EXPECT_EQ(procNo, twice);
    EXPECT_EQ(ScriptProcMethod(&exec, twice).self, method.self) << "one record per procedure";
    TPSExec otherExec;
    EXPECT_FALSE(IsScriptProcMethod(&otherExec, method));

    // The host passes a 64-bit value for the Integer: it is converted; the
    // script's change to its copy does not reach the host.
    std::int64_t value = 21;
    std::string mark = "x";
    std::int32_t answer = 0;
    CallScriptProcMethod(method, {{&value, exec.GetTypeByNumber(t.int64)}, {&mark, exec.GetTypeByNumber(t.string)}},
                         {&answer, exec.GetTypeByNumber(t.longint)});
    EXPECT_EQ(answer, 42);
    EXPECT_EQ(value, 21);
    EXPECT_EQ(mark, "x!");

    value = 0;
    try {
        CallScriptProcMethod(method, {{&value, exec.GetTypeByNumber(t.int64)}, {&mark, exec.GetTypeByNumber(t.string)}},
                             {&answer, exec.GetTypeByNumber(t.longint)});
        ADD_FAILURE() << "no exception";
    } catch (const EDivByZero&) {
        // the exception raised inside the run goes on to the host
    }
    // The executer is still usable, and a wrong parameter count raises.
    value = 5;
    CallScriptProcMethod(method, {{&value, exec.GetTypeByNumber(t.int64)}, {&mark, exec.GetTypeByNumber(t.string)}},
                         {&answer, exec.GetTypeByNumber(t.longint)});
    EXPECT_EQ(answer, 10);
    EXPECT_EQ(exec.TryDepth(), 0u);
    EXPECT_THROW(CallScriptProcMethod(method, {}, {&answer, exec.GetTypeByNumber(t.longint)}), EPSException);
}

TEST(EventBridge, ScriptCallsItsProcedureBackThroughTheHostMethodValue)
{
    ImageBuilder b;
    StandardTypes t{b};
    const std::uint32_t counter = b.var(t.longint), handler = b.var(t.proc);
    const std::uint32_t bump = b.proc(Code().calc(pscode::CalcOp::Add, V(counter), C(t.longint, s32(1))).ret());
    b.main(b.proc(Code().callVar(V(handler)).callVar(V(handler)).ret()));
    const std::string image = b.image();
    int foreign = 0;
    struct Row
    {
        const char* what;
        bool ours;
        TPSError error;
        std::int32_t count;
    };
    for (const Row& row :
         {Row{"its own procedure", true, ErNoError, 2}, Row{"another host method", false, erCouldNotCallProc, 0}}) {
        SCOPED_TRACE(row.what);
        TPSExec exec;
        ASSERT_TRUE(exec.LoadBytecode(image));
        const TPSProcValue value = row.ours ? ScriptProcMethod(&exec, bump) : TPSProcValue{0, &foreign, &foreign};
        setGlobal(exec, handler, value);
        EXPECT_EQ(exec.ExecuteCode(), row.error == ErNoError);
        EXPECT_EQ(exec.ExceptionCode(), row.error);
        EXPECT_EQ(global<std::int32_t>(exec, counter), row.count);
    }
}

} // namespace
