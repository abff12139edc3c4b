#include "script/runtime/exec.h"
#include "tests/script/runtime/image_builder.h"

#include <gtest/gtest.h>

#include <functional>

using namespace testimage;
using ps::BaseType;

namespace {

bool acceptAll(TPSExec*, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    return true;
}

bool refuseAll(TPSExec*, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    return false;
}

std::string header(std::uint32_t build, std::uint32_t types, std::uint32_t procs, std::uint32_t vars,
                   std::uint32_t mainProc = ps::image::NoMainProc)
{
    return u32(ps::image::Magic) + u32(build) + u32(types) + u32(procs) + u32(vars) + u32(mainProc) + u32(0);
}

// One type record followed by an empty attribute table.
std::string oneType(const std::string& record)
{
    return header(23, 1, 0, 0) + record + u32(0);
}

std::string withTypes(std::function<void(ImageBuilder&)> add)
{
    ImageBuilder b;
    add(b);
    return b.image();
}

void expectEmpty(const TPSExec& exec)
{
    EXPECT_EQ(exec.Status(), TPSStatus::NotLoaded);
    EXPECT_EQ(exec.TypeCount(), 0u);
    EXPECT_EQ(exec.ProcCount(), 0u);
    EXPECT_EQ(const_cast<TPSExec&>(exec).Globals().Count(), 0u);
    EXPECT_EQ(exec.MainProcNo(), TPSExec::NoProc);
}

struct Rejection
{
    const char* name;
    std::string image;
    TPSError error;
};

} // namespace

TEST(Loader, RejectsEveryMalformedImageAndStaysEmpty)
{
    const std::string byteType = u8(1);
    const std::string body = u8(9);
    const std::string attrValueImage = header(23, 2, 0, 0) + byteType + u32(0) + u8(6) + u32(1) + text("ATTR") + u32(1);
    const std::vector<Rejection> rows = {
        {"short header", header(23, 0, 0, 0).substr(0, 27), erInvalidHeader},
        {"empty image", "", erInvalidHeader},
        {"wrong magic", u32(0x53504648) + header(23, 0, 0, 0).substr(4), erInvalidHeader},
        {"build 11", header(11, 0, 0, 0), erInvalidHeader},
        {"build 24", header(24, 0, 0, 0), erInvalidHeader},
        {"type code 0", oneType(u8(0)), erInvalidType},
        {"type code 15", oneType(u8(15)), erInvalidType},
        {"type code 27", oneType(u8(27)), erInvalidType},
        {"type code 29", oneType(u8(29)), erInvalidType},
        {"type code 0x7F", oneType(u8(0x7F)), erInvalidType},
        {"exported code 0", oneType(u8(0x80) + text("X")), erInvalidType},
        {"type table ends early", header(23, 3, 0, 0) + byteType + u32(0), erUnexpectedEof},
        {"absurd type count", header(23, 0xFFFFFFFF, 0, 0), erUnexpectedEof},
        {"empty record", oneType(u8(11) + u32(0)), erUnexpectedEof},
        {"record field count beyond the image", oneType(u8(11) + u32(0x40000000) + u32(0)), erUnexpectedEof},
        {"forward field type", oneType(u8(11) + u32(1) + u32(0)), ErOutOfRange},
        {"forward dynamic array element", oneType(u8(12) + u32(0)), ErTypeMismatch},
        {"forward static array element", oneType(u8(22) + u32(0) + u32(1) + s32(0)), ErTypeMismatch},
        {"static array count at the limit",
         withTypes([](ImageBuilder& b) { b.staticArray(b.type(BaseType::Byte), 0x20000000, 0); }), erInvalidType},
        {"static array too large",
         withTypes([](ImageBuilder& b) { b.staticArray(b.type(BaseType::Int64), 0x1FFFFFFF, 0); }), erInvalidType},
        {"nested static arrays too large", withTypes([](ImageBuilder& b) {
             b.staticArray(b.staticArray(b.type(BaseType::Int64), 0x100000, 0), 0x1000, 0);
         }),
         erInvalidType},
        {"static array cut short", oneType(u8(22)).substr(0, 29), erUnexpectedEof},
        {"set of 257 bits", oneType(u8(23) + u32(257)), ErTypeMismatch},
        {"set cut short", header(23, 1, 0, 0) + u8(23) + u16(1), erUnexpectedEof},
        {"class name of 256", oneType(u8(25) + u32(256) + std::string(256, 'C')), erInvalidType},
        {"class name beyond the image", oneType(u8(25) + u32(200)), erUnexpectedEof},
        {"procedural signature of 256", oneType(u8(21) + u32(256) + std::string(256, '\0')), erInvalidType},
        {"interface GUID cut short", header(23, 1, 0, 0) + u8(26) + std::string(15, 'g'), erUnexpectedEof},
        {"export name above the limit", oneType(u8(0x81) + u32(0x40000001)), erInvalidType},
        {"export name beyond the image", oneType(u8(0x81) + u32(0x40000000)), erUnexpectedEof},
        {"type attribute count missing", header(23, 1, 0, 0) + byteType, ErOutOfRange},
        {"attribute name beyond the image", header(23, 1, 0, 0) + byteType + u32(1) + u32(100) + "AB", ErOutOfRange},
        {"attribute value count missing", header(23, 1, 0, 0) + byteType + u32(1) + text("A"), ErOutOfRange},
        {"attribute value type out of range", header(23, 1, 0, 0) + byteType + u32(1) + text("A") + u32(1) + u32(1),
         ErOutOfRange},
        {"attribute value cut short", attrValueImage + u32(0) /* type 0, Byte: no value byte */, ErOutOfRange},
        {"attribute integer cut short", attrValueImage + u32(1) + u8(1), ErOutOfRange},
        {"attribute value without encoding",
         header(23, 2, 0, 0) + byteType + u32(0) + u8(11) + u32(1) + u32(0) + u32(1) + text("A") + u32(1) + u32(1),
         erInvalidType},
        {"proc table ends early", header(23, 0, 1, 0), erUnexpectedEof},
        {"code offset at the image end", header(23, 0, 1, 0) + u8(0) + u32(37) + u32(1), erUnexpectedEof},
        {"code offset far outside", header(23, 0, 1, 0) + u8(0) + u32(0xFFFFFFFF) + u32(1) + body, erUnexpectedEof},
        {"code length zero", header(23, 0, 1, 0) + u8(0) + u32(28) + u32(0) + body, erUnexpectedEof},
        {"code running past the end", header(23, 0, 1, 0) + u8(0) + u32(37) + u32(2) + body, erUnexpectedEof},
        {"code length wrapping", header(23, 0, 1, 0) + u8(0) + u32(37) + u32(0xFFFFFFFF) + body, erUnexpectedEof},
        {"proc export name above the limit", header(23, 0, 1, 0) + u8(2) + u32(28) + u32(1) + u32(0x40000001),
         erUnexpectedEof},
        {"proc export name beyond the image", header(23, 0, 1, 0) + u8(2) + u32(28) + u32(1) + u32(50) + "AB",
         erUnexpectedEof},
        {"proc attributes cut short", header(23, 0, 1, 0) + u8(4) + u32(28) + u32(1) + u16(0), ErOutOfRange},
        {"external name cut short", header(23, 0, 1, 0) + u8(1) + u8(10) + "ABC", erUnexpectedEof},
        {"external declaration beyond the image", header(23, 0, 1, 0) + u8(3) + u8(3) + "FOO" + u32(0xFFFFFFF0) + "x",
         erUnexpectedEof},
        {"unbound external", header(23, 0, 1, 0) + u8(1) + u8(7) + "MISSING", erCannotImport},
        {"variable cut short", header(23, 1, 0, 1) + byteType + u32(0) + u32(0), erUnexpectedEof},
        {"variable type out of range", header(23, 1, 0, 1) + byteType + u32(0) + u32(1) + u8(0), erInvalidType},
        {"exported variable name cut short", header(23, 1, 0, 1) + byteType + u32(0) + u32(0) + u8(1) + u32(9),
         erUnexpectedEof},
        {"main proc at the proc count", header(23, 0, 1, 0, 1) + u8(0) + u32(37) + u32(1) + body, erNoMainProc},
        {"main proc without procs", header(23, 0, 0, 0, 0), erNoMainProc},
    };
    TPSExec exec;
    exec.RegisterProcName("FOO", acceptAll);
    for (const Rejection& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_FALSE(exec.LoadBytecode(row.image));
        EXPECT_EQ(exec.ExceptionCode(), row.error) << ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText());
        expectEmpty(exec);
    }
}

TEST(Loader, UnboundExternalNamesTheRoutineOrItsDeclaration)
{
    TPSExec exec;
    ImageBuilder named;
    named.external("NOSUCHROUTINE");
    EXPECT_FALSE(exec.LoadBytecode(named.image()));
    EXPECT_EQ(exec.ExceptionCode(), erCannotImport);
    EXPECT_EQ(ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText()), "Cannot Import NOSUCHROUTINE");

    ImageBuilder member;
    const std::string decl = "class:TFoo|Bar\nsecond line";
    member.external("", &decl);
    EXPECT_FALSE(exec.LoadBytecode(member.image()));
    EXPECT_EQ(exec.ExceptionText(), decl);
    EXPECT_EQ(ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText()), "Cannot Import class:TFoo|Bar");
    expectEmpty(exec);
}

TEST(Loader, EveryTruncationOfAValidImageIsRefused)
{
    ImageBuilder b;
    StandardTypes t(b);
    const std::uint32_t rec = b.record({t.byteT, t.string, t.int64});
    b.typeAttributes(u32(1) + text("TAG") + u32(2) + u32(t.longint) + u32(7) + u32(t.wstring) + wtext(u"hi"));
    b.staticArray(rec, 3, 5);
    b.set(9);
    b.type(BaseType::Variant, "V");
    b.external("HOST");
    const std::uint32_t mainProc = b.proc(Code().pushType(rec).pop().ret(), "MAINPROC", "-1");
    b.procAttributes(u32(1) + text("P") + u32(0));
    b.var(rec, "G");
    b.var(t.string);
    b.main(mainProc);
    const std::string image = b.image();

    TPSExec exec;
    exec.RegisterProcName("host", acceptAll);
    ASSERT_TRUE(exec.LoadBytecode(image));
    for (std::size_t size = 0; size < image.size(); ++size) {
        SCOPED_TRACE(size);
        ASSERT_FALSE(exec.LoadBytecode(image.substr(0, size)));
        expectEmpty(exec);
    }
    EXPECT_TRUE(exec.LoadBytecode(image));
    EXPECT_TRUE(exec.ExecuteCode());
}

TEST(Loader, BuildsTypeRecordsWithSizesAndLayout)
{
    ImageBuilder b;
    const std::uint32_t byteT = b.type(BaseType::Byte);
    const std::uint32_t str = b.type(BaseType::AnsiString, "TBTSTRING");
    const std::uint32_t i64 = b.type(BaseType::Int64);
    const std::uint32_t rec = b.record({byteT, str, byteT, i64});
    const std::uint32_t arr = b.staticArray(rec, 4, -2);
    const std::uint32_t set0 = b.set(0), set8 = b.set(8), set9 = b.set(9), set256 = b.set(256);
    const std::uint32_t klass = b.classType("TOBJECT");
    const std::uint32_t dyn = b.dynArray(str);
    const std::uint32_t intf =
        b.rawType(u8(26) + std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F\x10", 16));
    b.var(rec, "Record_Var");
    b.var(arr);
    b.var(dyn, "names");

    TPSExec exec;
    ASSERT_TRUE(exec.LoadBytecode(b.image()));
    EXPECT_EQ(exec.Status(), TPSStatus::Loaded);
    EXPECT_EQ(exec.MainProcNo(), TPSExec::NoProc);

    const auto* strType = exec.GetTypeByNumber(str);
    EXPECT_EQ(strType->exportName, "TBTSTRING");
    EXPECT_NE(strType->exportNameHash, 0u);

    // Fields sit at their natural alignment, so strings can live in place.
    const auto* record = dynamic_cast<const TPSTypeRec_Record*>(exec.GetTypeByNumber(rec));
    ASSERT_TRUE(record);
    ASSERT_EQ(record->fieldOffsets.size(), 4u);
    EXPECT_EQ(record->fieldOffsets[0], 0u);
    EXPECT_EQ(record->fieldOffsets[1] % alignof(std::string), 0u);
    EXPECT_GT(record->fieldOffsets[2], record->fieldOffsets[1]);
    EXPECT_EQ(record->fieldOffsets[3] % 8, 0u);
    EXPECT_EQ(record->realSize % record->alignment, 0u);

    const auto* array = dynamic_cast<const TPSTypeRec_StaticArray*>(exec.GetTypeByNumber(arr));
    ASSERT_TRUE(array);
    EXPECT_EQ(array->lowBound, -2);
    EXPECT_EQ(array->realSize, 4 * record->realSize);

    EXPECT_EQ(exec.GetTypeByNumber(set0)->realSize, 0u);
    EXPECT_EQ(exec.GetTypeByNumber(set8)->realSize, 1u);
    EXPECT_EQ(exec.GetTypeByNumber(set9)->realSize, 2u);
    EXPECT_EQ(exec.GetTypeByNumber(set256)->realSize, 32u);
    EXPECT_EQ(dynamic_cast<const TPSTypeRec_Class*>(exec.GetTypeByNumber(klass))->className, "TOBJECT");
    EXPECT_EQ(dynamic_cast<const TPSTypeRec_Interface*>(exec.GetTypeByNumber(intf))->guid.toString(),
              "{04030201-0605-0807-090A-0B0C0D0E0F10}");

    std::size_t index = 0;
    EXPECT_EQ(exec.FindTypeByBase(0, BaseType::Set, &index), exec.GetTypeByNumber(set0));
    EXPECT_EQ(index, set0);
    EXPECT_EQ(exec.FindTypeByBase(set0 + 1, BaseType::Set, &index), exec.GetTypeByNumber(set8));
    EXPECT_EQ(exec.FindTypeByBase(0, BaseType::Variant), nullptr);

    EXPECT_EQ(exec.FindExportedGlobal("record_var"), 0);
    EXPECT_EQ(exec.FindExportedGlobal("NAMES"), 2);
    EXPECT_EQ(exec.FindExportedGlobal("nothing"), -1);
    ASSERT_EQ(exec.Globals().Count(), 3u);
    const TPSValueRef global = exec.GetGlobalVar(0);
    EXPECT_EQ(global.type, exec.GetTypeByNumber(rec));
    EXPECT_TRUE(
        static_cast<std::string*>(static_cast<void*>(static_cast<std::byte*>(global.data) + record->fieldOffsets[1]))
            ->empty());
}

TEST(Loader, ReadsAttributeValuesOfEveryEncoding)
{
    ImageBuilder b;
    StandardTypes t(b);
    const std::uint32_t set = b.set(12);
    const std::uint32_t dbl = b.type(BaseType::Double);
    b.typeAttributes(u32(2) + text("FIRST") + u32(0) + text("SECOND") + u32(6) + u32(t.longint) + s32(-5) +
                     u32(t.string) + text("abc") + u32(t.wstring) + wtext(u"\u00e9t\u00e9") + u32(set) + u16(0x0801) +
                     u32(t.proc) + u32(3) + u32(dbl) + u64(0x400C000000000000)); // 3.5
    TPSExec exec;
    ASSERT_TRUE(exec.LoadBytecode(b.image()));
    const auto& attributes = exec.GetTypeByNumber(dbl)->attributes;
    ASSERT_EQ(attributes.size(), 2u);
    EXPECT_EQ(attributes[0]->typeName, "FIRST");
    EXPECT_EQ(attributes[0]->values.Count(), 0u);
    TPSStack& values = attributes[1]->values;
    ASSERT_EQ(values.Count(), 6u);
    EXPECT_EQ(*static_cast<std::int32_t*>(values.Items(0)->data()), -5);
    EXPECT_EQ(*static_cast<std::string*>(values.Items(1)->data()), "abc");
    EXPECT_EQ(*static_cast<std::u16string*>(values.Items(2)->data()), u"\u00e9t\u00e9");
    EXPECT_EQ(static_cast<std::uint8_t*>(values.Items(3)->data())[1], 0x08);
    EXPECT_EQ(static_cast<TPSProcValue*>(values.Items(4)->data())->procNo, 3u);
    EXPECT_EQ(*static_cast<double*>(values.Items(5)->data()), 3.5);
}

TEST(Loader, AcceptsTheOldestAndNewestBuilds)
{
    for (std::uint32_t build : {12u, 20u, 21u, 23u}) {
        SCOPED_TRACE(build);
        ImageBuilder b;
        b.build(build);
        b.type(BaseType::Byte);
        b.main(b.proc(Code().ret()));
        TPSExec exec;
        EXPECT_TRUE(exec.LoadBytecode(b.image()));
        EXPECT_TRUE(exec.ExecuteCode());
    }
}

TEST(Loader, LaterNativeRegistrationsShadowEarlierOnes)
{
    TPSExec exec;
    exec.RegisterProcName("Twice", acceptAll, 1, 2);
    exec.RegisterProcName("twice", refuseAll, 3, 4);
    ImageBuilder b;
    b.external("TWICE");
    ASSERT_TRUE(exec.LoadBytecode(b.image()));
    auto* proc = dynamic_cast<TPSExternalProcRec*>(exec.GetProcNo(0));
    ASSERT_TRUE(proc);
    EXPECT_EQ(proc->handler, &refuseAll);
    EXPECT_EQ(proc->ext1, 3u);
    EXPECT_EQ(proc->ext2, 4u);

    // A name is cut to 255 characters and found by its upper-case form.
    exec.RegisterProcName(std::string(300, 'q'), acceptAll);
    ImageBuilder longName;
    longName.external(std::string(255, 'Q'));
    EXPECT_TRUE(exec.LoadBytecode(longName.image()));
}

namespace {

std::vector<std::string> resolverCalls;

bool classResolver(TPSExec*, TPSExternalProcRec* proc, std::uintptr_t tag)
{
    resolverCalls.push_back("class:" + std::to_string(tag));
    proc->handler = acceptAll;
    return proc->decl.find("Known") != std::string::npos;
}

bool anyResolver(TPSExec*, TPSExternalProcRec* proc, std::uintptr_t tag)
{
    resolverCalls.push_back("any:" + std::to_string(tag));
    proc->handler = acceptAll;
    return proc->decl.rfind("intf:", 0) == 0;
}

int freed = 0;
void countFree(TPSExec*, TPSNativeProc*)
{
    ++freed;
}

void freeResource(TPSExec*, void* data)
{
    ++*static_cast<int*>(data);
}

} // namespace

TEST(Loader, MemberImportsGoToTheResolverOfTheirPrefixNewestFirst)
{
    TPSExec exec;
    exec.AddImportResolver("", anyResolver, 1);
    exec.AddImportResolver("class", classResolver, 2);
    exec.AddImportResolver("intf", classResolver, 3);
    EXPECT_EQ(exec.FindImportResolver(classResolver), 2u);
    EXPECT_EQ(exec.FindImportResolver(anyResolver), 1u);

    const std::string known = "class:Known", unknown = "class:Other", intf = "intf:Thing", none = "nocolon";
    ImageBuilder b;
    b.external("", &known);
    b.external("", &intf);
    resolverCalls.clear();
    ASSERT_TRUE(exec.LoadBytecode(b.image()));
    // "class:" only tries the class resolver; "intf:" tries its own, then the catch-all.
    EXPECT_EQ(resolverCalls, (std::vector<std::string>{"class:2", "class:3", "any:1"}));

    ImageBuilder refused;
    refused.external("", &unknown);
    EXPECT_FALSE(exec.LoadBytecode(refused.image()));
    EXPECT_EQ(exec.ExceptionText(), unknown);

    ImageBuilder noPrefix;
    noPrefix.external("", &none);
    EXPECT_FALSE(exec.LoadBytecode(noPrefix.image()));

    exec.ClearImportResolvers();
    EXPECT_EQ(exec.FindImportResolver(classResolver), 0u);
    EXPECT_FALSE(exec.LoadBytecode(b.image()));
}

TEST(Loader, ClearKeepsNativesAndFreesResourcesNewestFirst)
{
    freed = 0;
    int first = 0, second = 0;
    {
        TPSExec exec;
        exec.RegisterProcName("HOST", acceptAll, 0, 0, countFree);
        ImageBuilder b;
        b.external("HOST");
        ASSERT_TRUE(exec.LoadBytecode(b.image()));
        exec.AddResource(freeResource, &first);
        exec.AddResource(freeResource, &second);
        std::ptrdiff_t index = 100;
        EXPECT_EQ(exec.FindResource(freeResource, index), &second);
        EXPECT_EQ(index, 0);
        EXPECT_EQ(exec.FindResource(freeResource, index), &first);
        EXPECT_EQ(index, -1);
        EXPECT_EQ(exec.FindResource(freeResource, index), nullptr);

        exec.Clear();
        EXPECT_EQ(first, 1);
        EXPECT_EQ(second, 1);
        EXPECT_EQ(freed, 0);
        EXPECT_TRUE(exec.LoadBytecode(b.image()));

        exec.ResetNativeProcs();
        EXPECT_EQ(freed, 1);
        EXPECT_FALSE(exec.LoadBytecode(b.image()));
        exec.RegisterProcName("HOST", acceptAll, 0, 0, countFree);
    }
    EXPECT_EQ(freed, 2);
}

TEST(ErrorText, EveryCode)
{
    const std::vector<std::pair<unsigned, std::string>> expected = {
        {ErNoError, "No Error"},
        {erCannotImport, "Cannot Import P"},
        {erInvalidType, "Invalid Type"},
        {ErInternalError, "Internal error"},
        {erInvalidHeader, "Invalid Header"},
        {erInvalidOpcode, "Invalid Opcode"},
        {erInvalidOpcodeParameter, "Invalid Opcode Parameter"},
        {erNoMainProc, "no Main Proc"},
        {erOutOfGlobalVarsRange, "Out of Global Vars range"},
        {erOutOfProcRange, "Out of Proc Range"},
        {ErOutOfRange, "Out Of Range"},
        {erOutOfStackRange, "Out Of Stack Range"},
        {ErTypeMismatch, "Type Mismatch"},
        {erUnexpectedEof, "Unexpected End Of File"},
        {erVersionError, "Version error"},
        {ErDivideByZero, "divide by Zero"},
        {ErMathError, "Math error"},
        {erCouldNotCallProc, "Could not call proc (P)"},
        {erOutofRecordRange, "Out of Record Fields Range"},
        {erOutOfMemory, "Out Of Memory"},
        {erException, "Exception: P"},
        {erNullPointerException, "Null Pointer Exception"},
        {erNullVariantError, "Null variant error"},
        {erInterfaceNotSupported, "Interface not supported"},
        {erCustomError, "P"},
        {25, "Unknown error"},
        {127, "Unknown error"},
        {128 + erCannotImport, "Cannot Import P"},
    };
    for (const auto& [code, text] : expected)
        EXPECT_EQ(ErrorCodeToText(code, "P"), text) << code;
    EXPECT_EQ(ErrorCodeToText(erCouldNotCallProc, ""), "Could not call proc");
    EXPECT_EQ(ErrorCodeToText(erCannotImport, "FIRST\r\nSECOND"), "Cannot Import FIRST");
    // Blanks stay; any control character ends the name.
    EXPECT_EQ(ErrorCodeToText(erCannotImport, "procedure Show(x: Integer);\tmore"),
              "Cannot Import procedure Show(x: Integer);");
    EXPECT_EQ(ErrorCodeToText(erException, "50%s done"), "Exception: 50%s done");
}
