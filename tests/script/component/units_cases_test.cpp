// Whole programs made of several texts: units named in a uses clause and
// include files, with the preprocessor's conditions deciding what compiles.
// Each case gives the texts the host serves by name.

#include "tests/script/component/program_cases.h"

#include <map>

namespace {

struct SourcesCase
{
    const char* name;
    std::map<std::string, std::string> files; // by upper-cased name
    std::string program;
    bool preprocess;
    std::vector<std::string> lines;    // logged by a program that compiles
    std::vector<std::string> messages; // the compiler's lines otherwise
};

void PrintTo(const SourcesCase& test, std::ostream* out)
{
    *out << test.name;
}

class Sources : public ::testing::TestWithParam<SourcesCase>
{
};

TEST_P(Sources, CompileAndRunAsOneProgram)
{
    const SourcesCase& test = GetParam();
    ScriptHost host;
    auto serve = [&test](TPSScript*, const std::string&, std::string& fileName, std::string& output) {
        std::string key = fileName;
        for (char& ch : key)
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        const auto found = test.files.find(key);
        if (found == test.files.end())
            return false;
        output = found->second;
        return true;
    };
    host.script.OnFindUnknownFile = serve;
    host.script.OnNeedFile = serve;
    host.script.UsePreProcessor = test.preprocess;
    host.script.SetMainFileName("main.pas");
    const bool compiled = host.Compile(test.program);
    std::vector<std::string> messages;
    for (std::size_t i = 0; i < host.script.CompilerMessageCount(); ++i)
        messages.push_back(host.script.CompilerMessage(i)->MessageToString());
    EXPECT_EQ(messages, test.messages);
    EXPECT_EQ(compiled, test.messages.empty() || test.messages.back().rfind("[Error]", 0) != 0);
    if (compiled) {
        EXPECT_TRUE(host.script.Execute()) << host.script.RuntimeErrorText();
        EXPECT_EQ(host.lines, test.lines);
    }
}

const std::string kMathUnit = "unit MathU;\n"
                              "interface\n"
                              "const K = 7;\n"
                              "var Calls: Integer;\n"
                              "function Twice(x: Integer): Integer; begin Result := x * 2; Calls := Calls + 1; end;\n"
                              "implementation\n"
                              "procedure Hidden; begin end;\n"
                              "end.\n";

INSTANTIATE_TEST_SUITE_P(
    Component, Sources,
    ::testing::Values(
        SourcesCase{"a unit's constants, variables and routines",
                    {{"MATHU", kMathUnit}},
                    "uses MathU;\nbegin\n  Log(IntToStr(Twice(K)));\n  Log(IntToStr(Twice(1) + Calls));\nend.",
                    false,
                    {"14", "4"},
                    {}},
        SourcesCase{"a unit after a program header",
                    {{"MATHU", kMathUnit}},
                    "program P;\nuses MathU;\nvar y: Integer;\nbegin\n  y := Twice(2);\n  Log(IntToStr(y));\nend.",
                    false,
                    {"4"},
                    {}},
        SourcesCase{"a unit named twice",
                    {{"MATHU", kMathUnit}},
                    "uses MathU, MathU;\nbegin end.",
                    false,
                    {},
                    {"[Error] (1:13): Duplicate identifier 'MATHU'"}},
        SourcesCase{"a unit nobody serves",
                    {},
                    "uses Missing;\nbegin end.",
                    false,
                    {},
                    {"[Error] (1:6): Unknown identifier 'MISSING'"}},
        SourcesCase{"an error inside a unit",
                    {{"BAD", "unit Bad;\ninterface\nprocedure P; begin x := 1; end;\nend.\n"}},
                    "uses Bad;\nbegin end.",
                    false,
                    {},
                    {"[Error] BAD(3:20): Unknown identifier 'x'"}},
        SourcesCase{"an include file",
                    {{"SHOW.INC", "procedure Show(const s: String);\nbegin\n  Log('[' + s + ']');\nend;\n"}},
                    "{$I show.inc}\nbegin\n  Show('included');\nend.",
                    true,
                    {"[included]"},
                    {}},
        SourcesCase{"an error placed in the include file it stands in",
                    {{"SHOW.INC", "procedure Show;\nbegin\n  y := 1;\nend;\n"}},
                    "\n{$INCLUDE show.inc}\nbegin\nend.",
                    true,
                    {},
                    {"[Error] show.inc(3:3): Unknown identifier 'y'"}},
        SourcesCase{"an error after an include keeps the main file's rows",
                    {{"SHOW.INC", "procedure Show;\nbegin\nend;\n"}},
                    "{$I show.inc}\nbegin\n  z := 1;\nend.",
                    true,
                    {},
                    {"[Error] main.pas(3:3): Unknown identifier 'z'"}},
        SourcesCase{
            "conditions on defined names",
            {},
            "{$DEFINE Fast}\n"
            "begin\n"
            "{$IFDEF FAST}  Log('fast');{$ELSE}  Log('slow');{$ENDIF}\n"
            "{$IFNDEF fast}  Log('no');{$ENDIF}\n"
            "{$UNDEF FAST}{$IFDEF FAST}  Log('still');{$ELSE}  Log('undefined');{$ENDIF}\n"
            "{$IFDEF MSWINDOWS}  Log('windows');{$ENDIF}{$IFDEF WIN32}  Log('win32');{$ENDIF}\n"
            "{$IFDEF VER23}  Log('23');{$ENDIF}{$IFDEF VER22}  Log('22');{$ENDIF}{$IFDEF CPU386}  Log('cpu');{$ENDIF}\n"
            "{$IFDEF A}{$IFDEF B}{$ELSE}  Log('inner else');{$ENDIF}{$ELSE}  Log('outer else');{$ENDIF}\n"
            "{$DEFINE Twice}{$DEFINE Twice}{$UNDEF Twice}{$IFDEF Twice}  Log('defined twice');{$ENDIF}\n"
            "{$UNDEF Twice}{$IFDEF Twice}  Log('no');{$ENDIF}\n"
            "end.",
            true,
            {"fast", "undefined", "windows", "win32", "23", "cpu", "outer else", "defined twice"},
            {}},
        SourcesCase{"a directive in parentheses is a comment",
                    {},
                    "begin\n(*$DEFINE X*){$IFDEF X}  Log('x');{$ENDIF}\n  Log('y');\nend.",
                    true,
                    {"y"},
                    {}},
        SourcesCase{"a define of two words",
                    {},
                    "{$DEFINE A B}\nbegin end.",
                    true,
                    {},
                    {"[Error] main.pas(1:1): Too many parameters at 1:1"}},
        SourcesCase{"ELSE twice",
                    {},
                    "begin\n{$IFDEF X}{$ELSE}{$ELSE}{$ENDIF}\nend.",
                    true,
                    {},
                    {"[Error] main.pas(2:18): Can't use ELSE twice at 2:18"}},
        SourcesCase{"ENDIF without IFDEF",
                    {},
                    "begin\n  {$ENDIF}\nend.",
                    true,
                    {},
                    {"[Error] main.pas(2:3): No IFDEF for ENDIF at 2:3"}},
        SourcesCase{"an unknown directive",
                    {},
                    "{$HUH}\nbegin end.",
                    true,
                    {},
                    {"[Error] main.pas(1:1): Unknown compiler directives at 1:1"}},
        SourcesCase{"an include nobody serves",
                    {},
                    "{$I gone.inc}\nbegin end.",
                    true,
                    {},
                    {"[Error] main.pas(1:1): Unable to find file 'gone.inc' used from 'main.pas'"}}),
    [](const ::testing::TestParamInfo<SourcesCase>& info) { return CaseName(info.param.name); });

} // namespace
