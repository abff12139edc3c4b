#include "compile_harness.h"
#include "debug_data_reader.h"

#include "script/compiler/preprocessor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

using ps::BaseType;

namespace {

std::string u8(std::uint8_t v)
{
    return std::string(1, static_cast<char>(v));
}

std::string u32(std::uint32_t v)
{
    std::string out;
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>(v >> (8 * i)));
    return out;
}

std::string text(const std::string& s)
{
    return u32(static_cast<std::uint32_t>(s.size())) + s;
}

std::string header(std::uint32_t types, std::uint32_t procs, std::uint32_t vars, std::uint32_t main)
{
    std::string out = "IFPS";
    for (const std::uint32_t field : {23u, types, procs, vars, main, 0u})
        out += u32(field);
    return out;
}

std::string output(const TPSPascalCompiler& c)
{
    std::string image;
    EXPECT_TRUE(c.GetOutput(image));
    return image;
}

// The first error's text as the host shows it, or "" when none.
std::string firstErrorText(const CompileHarness& h)
{
    const TPSPascalCompilerError* error = h.firstError();
    return error ? error->MessageToString() : "";
}

TEST(ImageWriter, SmallestProgramIsByteExact)
{
    CompileHarness h;
    ASSERT_TRUE(h.compile("begin end."));
    // The standard types take the first numbers, the last declared first;
    // Integer and Cardinal number LongInt and LongWord on the way. Each
    // record ends in an empty attribute table; only Boolean is exported.
    std::string expected = header(28, 1, 0, 0);
    for (const std::uint8_t code :
         {5, 16, 14, 24, 9, 8, 7, 17, 10, 5, 6, 13, 4, 3, 2, 10, 10, 10, 10, 28, 19, 20, 18, 1, 3, 5})
        expected += u8(code) + u32(0);
    expected += u8(0x80 | 1) + text("BOOLEAN") + u32(0);
    expected += u8(1) + u32(0);
    // The main block: flags "declared" without an attribute table, its code
    // right after the record, one byte long, name and declaration.
    const std::size_t codeAt = expected.size() + 1 + 4 + 4 + 4 + 5 + 4 + 2;
    expected += u8(2) + u32(static_cast<std::uint32_t>(codeAt)) + u32(1) + text("!MAIN") + text("-1");
    ASSERT_EQ(expected.size(), codeAt);
    expected += u8(9);
    EXPECT_EQ(output(h.c), expected);

    std::string debug;
    ASSERT_TRUE(h.c.GetDebugOutput(debug));
    EXPECT_EQ(debug, std::string("\0\1\0\1\0", 5));
}

TEST(ImageWriter, HeaderCountsAndMainProcedure)
{
    struct Case
    {
        const char* text;
        bool unit;
        std::uint32_t procs, vars, main;
    };
    for (const Case& t : {
             Case{"var a, b: Integer; begin end.", false, 1, 2, 0},
             Case{"procedure P; begin end; procedure Q; forward; procedure Q; begin end; begin end.", false, 3, 0, 0},
             Case{"unit U; interface var x: Byte; implementation end.", true, 1, 1, 0xFFFFFFFF},
         }) {
        SCOPED_TRACE(t.text);
        CompileHarness h;
        h.c.AllowUnit = t.unit;
        ASSERT_TRUE(h.compile(t.text)) << firstErrorText(h);
        const std::string image = output(h.c);
        std::uint32_t fields[7];
        ASSERT_GE(image.size(), sizeof fields);
        std::memcpy(fields, image.data(), sizeof fields);
        EXPECT_EQ(fields[3], t.procs);
        EXPECT_EQ(fields[4], t.vars);
        EXPECT_EQ(fields[5], t.main);
        EXPECT_EQ(fields[6], 0u);
    }
}

TEST(ImageWriter, OnBeforeOutputVetoLeavesNoImage)
{
    CompileHarness h;
    h.c.OnBeforeOutput = [](TPSPascalCompiler*) { return false; };
    EXPECT_FALSE(h.compile("begin end."));
    std::string image;
    EXPECT_FALSE(h.c.GetOutput(image));
    EXPECT_EQ(h.c.GetMessageCount(), 0u);
}

// Values are written as the type record of their type says: an enumeration
// by its highest ordinal, reals in their own width, Currency as a count of
// ten-thousandths.
TEST(ImageWriter, TypedValuesFollowTheirTypeRecords)
{
    struct Case
    {
        const char* type;
        std::function<void(TPSValueRecord&)> set;
        std::string bytes;
    };
    auto real = [](long double x) { return [x](TPSValueRecord& v) { v.Real = x; }; };
    auto integer = [](std::int64_t x) { return [x](TPSValueRecord& v) { v.SetInt(x); }; };
    double half = 0.5;
    float quarter = 0.25f;
    std::string doubleBytes(reinterpret_cast<const char*>(&half), 8);
    std::string singleBytes(reinterpret_cast<const char*>(&quarter), 4);
    const std::vector<Case> cases = {
        {"Byte", integer(200), u8(200)},
        {"SmallInt", integer(-2), "\xFE\xFF"},
        {"LongBool", integer(1), u32(1)},
        {"WordBool", integer(1), std::string("\x01\x00", 2)},
        {"ByteBool", integer(1), u8(1)},
        {"TE256", integer(255), u8(255)},
        {"TE257", integer(256), std::string("\x00\x01", 2)},
        {"Int64", integer(-1), std::string(8, '\xFF')},
        {"Currency", integer(12500), u32(12500) + u32(0)},
        {"Single", real(0.25), singleBytes},
        {"Double", real(0.5), doubleBytes},
        // 1.0 in the x87 format: mantissa 0x8000000000000000, exponent 0x3FFF.
        {"Extended", real(1.0), std::string("\0\0\0\0\0\0\0\x80\xFF\x3F", 10)},
        {"String", [](TPSValueRecord& v) { v.Str = "ab"; }, text("ab")},
        {"WideString", [](TPSValueRecord& v) { v.WStr.push_back(u'\u00e9'); }, u32(1) + std::string("\xE9\x00", 2)},
        {"TSmallSet", [](TPSValueRecord& v) { v.Str = "\x05"; }, std::string("\x05\x00", 2)},
        {"TBigSet", [](TPSValueRecord& v) { v.Str = "\x05"; }, "\x05" + std::string(31, '\0')},
        {"TProc", integer(7), u32(7)},
    };
    auto enumeration = [](char prefix, int count) {
        std::string names;
        for (int i = 0; i < count; ++i)
            names += (i ? ", " : "(") + std::string(1, prefix) + std::to_string(i);
        return names + ")";
    };
    CompileHarness h;
    h.registerTypes = [&](TPSPascalCompiler& c) {
        c.AddTypeS("TE256", enumeration('e', 256));
        c.AddTypeS("TE257", enumeration('f', 257));
        c.AddTypeS("TBigSet", "set of TE256");
        c.AddTypeS("TSmall", "(s0, s1, s2, s3, s4, s5, s6, s7, s8, s9)");
        c.AddTypeS("TSmallSet", "set of TSmall");
        c.AddTypeS("TProc", "procedure");
    };
    h.inspect = [&](TPSPascalCompiler& c) {
        for (const Case& t : cases) {
            SCOPED_TRACE(t.type);
            TPSType* type = c.UseType(c.FindType(t.type));
            ASSERT_NE(type, nullptr);
            TPSValueRecord value(type);
            t.set(value);
            std::string out;
            c.WriteConstValue(out, value);
            EXPECT_EQ(out, u32(static_cast<std::uint32_t>(type->FinalTypeNo)) + t.bytes);
        }
    };
    ASSERT_TRUE(h.compile("begin end.")) << firstErrorText(h);
}

// What the image cannot hold is refused where it is declared.
TEST(ImageWriter, LimitsAreCheckedAtTheDeclaration)
{
    auto params = [](int n) {
        std::string list;
        for (int i = 0; i < n; ++i)
            list += (i ? "; a" : "a") + std::to_string(i) + ": Byte";
        return "type TP = procedure(" + list + "); begin end.";
    };
    // Where an error is reported: the column of a piece of the text.
    auto at = [](const std::string& text, const std::string& piece) {
        return "(1:" + std::to_string(text.find(piece) + 1) + "): ";
    };
    const std::string longName(256, 'N');
    const std::string external = "procedure " + longName + "; external 'lib'; begin end.";
    struct Case
    {
        std::string name;
        std::function<void(TPSPascalCompiler&)> registrations;
        std::string text;
        std::string error; // "" when the compile succeeds; a raise starts with "raises "
    };
    const std::vector<Case> cases = {
        {"254 parameters", nullptr, params(254), ""},
        {"255 parameters", nullptr, params(255),
         "[Error] " + at(params(255), "; begin") + "Invalid number of parameters"},
        {"host routine name of 255", [&](auto& c) { c.AddFunction("procedure " + longName.substr(1) + ";"); },
         "begin end.", ""},
        {"host routine name of 256", [&](auto& c) { c.AddFunction("procedure " + longName + ";"); }, "begin end.",
         "raises Unable to register function procedure " + longName + ";"},
        {"native routine name of 256", [&](auto& c) { c.AddNativeFunction("procedure " + longName + ";"); },
         "begin end.", "raises Unable to register function procedure " + longName + ";"},
        {"class name of 255", [&](auto& c) { c.AddClass(nullptr, longName.substr(1)); }, "begin end.", ""},
        {"class name of 256", [&](auto& c) { c.AddClass(nullptr, longName); }, "begin end.",
         "raises Unable to register class " + longName},
        {"class name with a separator", [](auto& c) { c.AddClass(nullptr, "TA|B"); }, "begin end.",
         "raises Unable to register class TA|B"},
        {"external name of 256", nullptr, external, "[Error] " + at(external, "begin") + "Name too long"},
        {"host record without fields", [](auto& c) { c.AddType("TEmpty", BaseType::Record); },
         "var r: TEmpty; begin end.", "Internal error (image: record without fields TEmpty)"},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        CompileHarness h;
        h.registerTypes = t.registrations;
        h.c.OnExternalProc = [](TPSPascalCompiler*, TPSParametersDecl* decl, const std::string& name,
                                const std::string&) {
            auto proc = std::make_unique<TPSRegProc>();
            proc->SetName(name);
            proc->Decl = *decl;
            proc->ImportDecl = decl->Signature();
            return proc;
        };
        std::string result;
        try {
            // Errors found only when the image is written have no place of
            // their own in the text.
            const bool placed = t.error.rfind("[", 0) == 0;
            result = h.compile(t.text) ? "" : placed ? firstErrorText(h) : h.firstError()->ShortMessage();
        } catch (const EPSCompilerException& e) {
            result = std::string("raises ") + e.what();
        }
        EXPECT_EQ(result, t.error);
    }
}

// A line record is written for the statement at the parser's token; here a
// declaration in an included file stands in for a statement.
TEST(ImageWriterDebugData, MapsPositionsBackThroughAnInclude)
{
    const std::map<std::string, std::string> files = {
        {"main.pas", "program Main;\n"
                     "var g1: Integer;\n"
                     "{$I inc.pas}\n"
                     "function Twice(a: Integer; var b: String): Integer;\n"
                     "var t: Byte;\n"
                     "begin\n"
                     "end;\n"
                     "begin\n"
                     "end.\n"},
        {"inc.pas", "var\n"
                    "  fromInc: Byte;\n"
                    "procedure Helper(x: Integer);\n"
                    "var l1, l2: String;\n"
                    "begin\n"
                    "end;\n"},
    };
    TPSPreProcessor pre;
    pre.OnNeedFile = [&](TPSPreProcessor&, const std::string&, std::string& name, std::string& content) {
        content = files.at(name);
        return true;
    };
    const std::string text = pre.PreProcess("main.pas", files.at("main.pas"));

    struct Host
    {
        TPSPreProcessor* pre;
        std::vector<std::uint32_t> asked;
    } host{&pre, {}};
    TPSPascalCompiler c;
    c.ID = &host;
    c.OnUseVariable = [](TPSPascalCompiler* sender, TPSVariableType kind, std::int32_t, std::int32_t, std::uint32_t,
                         const std::string&) {
        if (kind == TPSVariableType::Global)
            sender->WriteDebugLine(0);
    };
    c.OnWriteLine = [](TPSPascalCompiler* sender, std::uint32_t position) {
        static_cast<Host*>(sender->ID)->asked.push_back(position);
        return true;
    };
    c.OnTranslateLineInfo = [](TPSPascalCompiler* sender, std::uint32_t& pos, std::uint32_t& row, std::uint32_t& col,
                               std::string& fileName) {
        TPSLineInfoResults found;
        if (static_cast<Host*>(sender->ID)->pre->LineInfo.GetLineInfo({}, pos, found)) {
            pos = found.Pos;
            row = found.Row;
            col = found.Col;
            fileName = found.Name;
        }
    };
    ASSERT_TRUE(c.Compile(text));
    std::string data;
    ASSERT_TRUE(c.GetDebugOutput(data));
    DebugData debug;
    ASSERT_TRUE(debug.Read(data));

    EXPECT_EQ(host.asked.size(), 2u);
    ASSERT_EQ(debug.lines.size(), 2u);
    // The semicolons after the two global declarations.
    const DebugLine expectLines[] = {
        {"main.pas", 0, 0, static_cast<std::uint32_t>(files.at("main.pas").find(";\n{")), 2, 16},
        {"inc.pas", 0, 0, static_cast<std::uint32_t>(files.at("inc.pas").find(";\nproc")), 2, 16},
    };
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(debug.lines[i].file, expectLines[i].file);
        EXPECT_EQ(debug.lines[i].proc, expectLines[i].proc);
        EXPECT_EQ(debug.lines[i].codePos, expectLines[i].codePos);
        EXPECT_EQ(debug.lines[i].sourcePos, expectLines[i].sourcePos);
        EXPECT_EQ(debug.lines[i].row, expectLines[i].row);
        EXPECT_EQ(debug.lines[i].col, expectLines[i].col);
    }
    EXPECT_EQ(debug.procNames, (std::vector<std::string>{"", "Helper", "Twice"}));
    EXPECT_EQ(debug.globalNames, (std::vector<std::string>{"g1", "fromInc"}));
    EXPECT_EQ(debug.params[1], (std::vector<std::string>{"x"}));
    EXPECT_EQ(debug.locals[1], (std::vector<std::string>{"l1", "l2"}));
    EXPECT_EQ(debug.params[2], (std::vector<std::string>{"Result", "a", "b"}));
    EXPECT_EQ(debug.locals[2], (std::vector<std::string>{"t"}));
}

TEST(ImageWriterDebugData, OnWriteLineCanSkipARecord)
{
    TPSPascalCompiler c;
    c.OnUseVariable = [](TPSPascalCompiler* sender, TPSVariableType, std::int32_t, std::int32_t, std::uint32_t,
                         const std::string&) { sender->WriteDebugLine(0); };
    c.OnWriteLine = [](TPSPascalCompiler*, std::uint32_t position) { return position > 12; };
    ASSERT_TRUE(c.Compile("var a: Byte;\nvar b: Byte;\nbegin end."));
    std::string data;
    ASSERT_TRUE(c.GetDebugOutput(data));
    DebugData debug;
    ASSERT_TRUE(debug.Read(data));
    ASSERT_EQ(debug.lines.size(), 1u);
    EXPECT_EQ(debug.lines[0].file, "");
    EXPECT_EQ(debug.lines[0].row, 2u);
    EXPECT_EQ(debug.lines[0].col, 12u);
}

} // namespace
