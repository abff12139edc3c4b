// The component as its host meets it: when host routines may be declared,
// what a compile reports and where, the events around a run, the
// preprocessor, plugins, stopping and re-entering a run.

#include "script/common/utils.h"
#include "tests/script/component/script_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <map>
#include <memory>
#include <thread>

namespace {

// ---- Declaring host routines ------------------------------------------------------

TEST(ScriptComponent, HostRoutinesAreDeclaredOnlyDuringACompile)
{
    ScriptHost host;
    EXPECT_FALSE(host.script.AddMethod(&host, &ScriptHost::Log, "procedure Log(const s: String);"));

    ASSERT_TRUE(host.Compile("begin Log('one') end."));
    EXPECT_TRUE(host.logDeclared);
    EXPECT_FALSE(host.script.AddMethod(&host, &ScriptHost::Log, "procedure Log(const s: String);"));

    // A failed compile closes the window too, an error in the script...
    EXPECT_FALSE(host.Compile("begin Log('one') end"));
    EXPECT_FALSE(host.script.AddMethod(&host, &ScriptHost::Log, "procedure Log(const s: String);"));
    // ...and nothing reaches the executer either.
    EXPECT_FALSE(host.script.AddFunction([] {}, "procedure Late;"));
    TPSExternalProcRec late;
    EXPECT_FALSE(host.script.Exec().BindExternalProc("LATE", &late));
    // ...or a host registration that raised out of the compile.
    host.script.OnCompile = [](TPSScript* sender) { sender->Comp().AddTypeS("TBroken", "array of Nothing"); };
    EXPECT_THROW(host.Compile("begin end."), EPSCompilerException);
    EXPECT_FALSE(host.script.AddMethod(&host, &ScriptHost::Log, "procedure Log(const s: String);"));
}

TEST(ScriptComponent, DeclarationsThatDoNotFitAreRefused)
{
    ScriptHost host;
    std::map<std::string, bool> added;
    host.script.OnCompile = [&](TPSScript* sender) {
        added["unreadable"] = sender->AddMethod(&host, &ScriptHost::Log, "procedure Log(const s: );");
        added["wrong type"] = sender->AddMethod(&host, &ScriptHost::Log, "procedure Log(const s: Integer);");
        added["function"] = sender->AddMethod(&host, &ScriptHost::Log, "function Log(const s: String): Integer;");
        added["fits"] = sender->AddMethod(&host, &ScriptHost::Log, "procedure Log(const s: String);");
        added["plain function"] =
            sender->AddFunction([](std::int32_t x) { return x * 3; }, "function Triple(x: Integer): Integer;");
    };
    ASSERT_TRUE(host.Compile("begin Log(IntToStr(Triple(14))) end.")) << host.Messages();
    EXPECT_EQ(added, (std::map<std::string, bool>{{"unreadable", false},
                                                  {"wrong type", false},
                                                  {"function", false},
                                                  {"fits", true},
                                                  {"plain function", true}}));
    ASSERT_TRUE(host.script.Execute()) << host.script.RuntimeErrorText();
    EXPECT_EQ(host.lines, std::vector<std::string>{"42"});
}

TEST(ScriptComponent, EveryCompileStartsWithOnlyTheBuiltins)
{
    ScriptHost host;
    ASSERT_TRUE(host.Compile("begin Log('x') end."));
    host.script.OnCompile = nullptr;
    EXPECT_FALSE(host.Compile("begin Log('x') end."));
    EXPECT_EQ(host.FirstError(), "[Error] (1:7): Unknown identifier 'Log'");
    EXPECT_EQ(host.script.Exec().Status(), TPSStatus::NotLoaded);
}

// A routine an earlier compile registered is gone from the executer: an
// image that still imports it no longer loads, and what the registration
// held is let go.
TEST(ScriptComponent, ACompileUnbindsTheRoutinesOfTheOneBefore)
{
    ScriptHost host;
    auto declareLog = host.script.OnCompile;
    auto held = std::make_shared<int>(7);
    host.script.OnCompile = [&](TPSScript* sender) {
        declareLog(sender);
        ASSERT_TRUE(sender->AddFunction([held] { return *held; }, "function Seven: Integer;"));
    };
    ASSERT_TRUE(host.Compile("begin Log(IntToStr(Seven)) end."));
    std::string withSeven;
    ASSERT_TRUE(host.script.Comp().GetOutput(withSeven));
    EXPECT_GT(held.use_count(), 1);

    host.script.OnCompile = declareLog;
    ASSERT_TRUE(host.Compile("begin Log('plain') end."));
    EXPECT_EQ(held.use_count(), 1);
    TPSExternalProcRec seven;
    EXPECT_FALSE(host.script.Exec().BindExternalProc("SEVEN", &seven));
    EXPECT_FALSE(host.script.Exec().LoadBytecode(withSeven));
    EXPECT_EQ(host.script.RuntimeErrorText(), "Cannot Import SEVEN");
    // The routines of this compile are bound, and only once each.
    ASSERT_TRUE(host.script.LoadCompiledCode());
    ASSERT_TRUE(host.script.Execute());
    EXPECT_EQ(host.lines, std::vector<std::string>{"plain"});
}

TEST(ScriptComponent, ARoutineTheExecuterCannotBindFailsTheLoad)
{
    ScriptHost host;
    host.script.OnCompile = [](TPSScript* sender) { sender->Comp().AddFunction("procedure Beep;"); };
    ASSERT_FALSE(host.Compile("begin Beep end."));
    EXPECT_EQ(host.Messages(), "");
    EXPECT_EQ(host.script.RuntimeErrorText(), "Cannot Import BEEP");
}

// ---- Compile messages ---------------------------------------------------------------

TEST(ScriptComponent, CompileErrorsCarryRowColumnAndModule)
{
    ScriptHost host;
    EXPECT_FALSE(host.Compile("var a: Integer;\nbegin\n  a := 'text';\nend."));
    EXPECT_EQ(host.FirstError(), "[Error] (3:14): Type mismatch");

    EXPECT_FALSE(host.Compile("uses Graphics;\nbegin end."));
    const auto* unknown = dynamic_cast<const TPSPascalCompilerError*>(host.script.CompilerMessage(0));
    ASSERT_NE(unknown, nullptr);
    EXPECT_EQ(unknown->Error, TPSCompilerErrorCode::UnknownIdentifier);
    EXPECT_EQ(unknown->ShortMessage(), "Unknown identifier ''");

    // A host that cannot find the unit names it in the error.
    host.script.OnFindUnknownFile = [](TPSScript*, const std::string& origin, std::string& fileName, std::string&) {
        EXPECT_EQ(origin, "");
        EXPECT_EQ(fileName, "GRAPHICS");
        fileName = "graphics.pas";
        return false;
    };
    EXPECT_FALSE(host.Compile("uses Graphics;\nbegin end."));
    EXPECT_EQ(host.script.CompilerMessage(0)->ShortMessage(), "Unknown identifier 'graphics.pas'");
}

// Units named in a uses clause come from the host; their declarations join
// the script's, and what goes wrong in them names them.
struct UnitHost : ScriptHost
{
    std::map<std::string, std::string> units;
    UnitHost()
    {
        script.OnFindUnknownFile = [this](TPSScript*, const std::string&, std::string& fileName, std::string& output) {
            const auto found = units.find(fileName);
            if (found == units.end())
                return false;
            fileName = "units/" + found->first + ".pas";
            output = found->second;
            return true;
        };
    }
};

const std::string kShapes = "unit Shapes;\ninterface\nconst Sides = 4;\n"
                            "function Area(w, h: Integer): Integer; forward;\n"
                            "implementation\nfunction Area(w, h: Integer): Integer;\nbegin\n"
                            "  Result := w * h div (h - 3);\nend;\nend.\n";

TEST(ScriptComponent, UnitsComeFromTheHost)
{
    for (const bool preprocess : {false, true}) {
        UnitHost host;
        host.script.UsePreProcessor = preprocess;
        host.units["SHAPES"] = kShapes;
        ASSERT_TRUE(host.Compile("uses Shapes;\nbegin\n  Log(IntToStr(Area(2, 5) * Sides));\n  Area(1, 3);\nend."))
            << host.Messages();
        EXPECT_FALSE(host.script.Execute());
        EXPECT_EQ(host.lines, std::vector<std::string>{"20"});
        TPSSourcePlace place;
        ASSERT_TRUE(host.script.ExecErrorPlace(place));
        EXPECT_EQ(place.FileName + " " + std::to_string(place.Row), "units/SHAPES.pas 8") << preprocess;

        host.units["BROKEN"] = "unit Broken;\ninterface\nvar x: Strin;\nend.";
        EXPECT_FALSE(host.Compile("uses Shapes, Broken;\nbegin end."));
        EXPECT_EQ(host.FirstError(), "[Error] units/BROKEN.pas(3:8): Unknown type 'Strin'") << preprocess;

        // A unit that names itself, or a unit with a main block, is refused.
        host.units["LOOP"] = "unit Loop;\ninterface\nuses Loop;\nend.";
        EXPECT_FALSE(host.Compile("uses Loop;\nbegin end."));
        EXPECT_EQ(host.FirstError(), "[Error] units/LOOP.pas(3:6): Duplicate identifier 'LOOP'") << preprocess;
        host.units["MAIN"] = "unit Main;\ninterface\nimplementation\nbegin\nend.";
        EXPECT_FALSE(host.Compile("uses Main;\nbegin end."));
        EXPECT_EQ(host.FirstError(), "[Error] units/MAIN.pas(4:1): 'END' expected") << preprocess;
    }
}

TEST(ScriptComponent, ScriptTextKeepsItsLinesWhateverTheirEnds)
{
    ScriptHost host;
    host.script.SetScriptText("var a: Integer;\r\nbegin\r  a := 1;\n\r\n  a := 'x';\r\nend.");
    EXPECT_EQ(host.script.Script.Count(), 6u);
    EXPECT_EQ(host.script.ScriptText(), "var a: Integer;\nbegin\n  a := 1;\n\n  a := 'x';\nend.\n");
    EXPECT_FALSE(host.script.Compile());
    EXPECT_EQ(host.FirstError(), "[Error] (5:11): Type mismatch");
}

TEST(ScriptComponent, HintsComeBackWithASuccessfulCompile)
{
    ScriptHost host;
    ASSERT_TRUE(host.Compile("var\n    unused: Integer;\nbegin end."));
    EXPECT_EQ(host.Messages(), "[Hint] (2:5): Variable 'UNUSED' never used\n");
}

TEST(ScriptComponent, CompilerOptionsReachTheCompiler)
{
    ScriptHost host;
    EXPECT_FALSE(host.Compile(""));
    EXPECT_EQ(host.FirstError(), "[Error] (1:1): Unexpected end of file");
    host.script.CompilerOptions = TPSCompOption::icAllowNoEnd | TPSCompOption::icAllowNoBegin;
    EXPECT_TRUE(host.Compile("")) << host.Messages();
    EXPECT_TRUE(host.Compile("var i: Integer; end.")) << host.Messages();
}

// Each option lets through the one form of text it is named for, and a
// fresh component neither preprocesses nor takes any option.
TEST(ScriptComponent, EachCompilerOptionAllowsItsOwnForm)
{
    using enum TPSCompOption;
    struct Form
    {
        TPSCompOption option;
        const char* text;
    };
    const std::vector<Form> forms = {
        {icAllowNoBegin, "var i: Integer; end."},
        {icAllowNoEnd, "var i: Integer;"},
        {icAllowUnit, "unit Tools; end."},
        {icBooleanShortCircuit, "function Side: Boolean; begin Log('right operand'); Result := True; end;\n"
                                "begin if False and Side then Log('both'); end."},
    };
    ScriptHost fresh;
    EXPECT_FALSE(fresh.script.UsePreProcessor);
    EXPECT_EQ(fresh.script.CompilerOptions, 0);
    ASSERT_TRUE(fresh.Compile("begin {$IFDEF NOWHERE} Log('a directive is a comment here'); {$ENDIF} end."));
    ASSERT_TRUE(fresh.script.Execute());
    EXPECT_EQ(fresh.lines, std::vector<std::string>{"a directive is a comment here"});

    for (const Form& given : forms) {
        ScriptHost host;
        host.script.CompilerOptions = static_cast<TPSCompOptions>(given.option);
        for (const Form& form : forms) {
            SCOPED_TRACE(std::string(given.text) + " | " + form.text);
            host.lines.clear();
            const bool compiled = host.Compile(form.text);
            if (form.option != icBooleanShortCircuit) {
                EXPECT_EQ(compiled, form.option == given.option) << host.Messages();
                continue;
            }
            // Without the option both operands of an "and" are evaluated.
            ASSERT_TRUE(compiled) << host.Messages();
            ASSERT_TRUE(host.script.Execute());
            EXPECT_EQ(host.lines.empty(), form.option == given.option);
        }
    }
}

TEST(ScriptComponent, AVetoedProcedureFailsTheCompile)
{
    ScriptHost host;
    std::vector<std::string> seen;
    host.script.OnVerifyProc = [&](TPSScript*, TPSInternalProcedure* proc, const std::string& decl, bool& error) {
        seen.push_back(proc->Name + ":" + decl);
        error = proc->Name == "FORBIDDEN";
    };
    ASSERT_TRUE(host.Compile("procedure Allowed(x: Integer); begin end;\nbegin Allowed(1) end."));
    EXPECT_FALSE(host.Compile("function Forbidden: String; begin Result := ''; end;\nbegin end."));
    EXPECT_EQ(host.Messages(), "");
    EXPECT_EQ(seen, (std::vector<std::string>{"!MAIN:0", "ALLOWED:0 @LONGINT", "!MAIN:0", "FORBIDDEN:STRING"}));
}

// ---- The preprocessor ----------------------------------------------------------------

TEST(ScriptComponent, PredefinedSymbolsHoldInEveryCompile)
{
    ScriptHost host;
    host.script.UsePreProcessor = true;
    host.script.Defines.Add("Verbose");
    const std::string text = "begin\n{$IFDEF VER23}Log('ver');{$ENDIF}\n{$IFDEF VERBOSE}Log('verbose');{$ENDIF}\n"
                             "{$IFNDEF WIN32}Log('no win32');{$ENDIF}\nend.";
    for (int compile = 0; compile < 3; ++compile) {
        host.lines.clear();
        ASSERT_TRUE(host.Compile(text)) << host.Messages();
        ASSERT_TRUE(host.script.Execute());
        EXPECT_EQ(host.lines, (std::vector<std::string>{"ver", "verbose"})) << "compile " << compile;
    }
    // A symbol defined by one script is gone in the next compile.
    ASSERT_TRUE(host.Compile("{$DEFINE LOCAL}begin end."));
    host.lines.clear();
    ASSERT_TRUE(host.Compile("begin {$IFDEF LOCAL}Log('leaked');{$ENDIF} end."));
    ASSERT_TRUE(host.script.Execute());
    EXPECT_TRUE(host.lines.empty());
}

struct IncludingHost : ScriptHost
{
    std::map<std::string, std::string> files;
    std::vector<std::string> asked;

    IncludingHost()
    {
        script.UsePreProcessor = true;
        script.SetMainFileName("main.pas");
        script.OnNeedFile = [this](TPSScript*, const std::string& origin, std::string& fileName, std::string& output) {
            asked.push_back(origin + ">" + fileName);
            const auto found = files.find(fileName);
            if (found == files.end())
                return false;
            fileName = "lib/" + fileName;
            output = found->second;
            return true;
        };
    }
};

TEST(ScriptComponent, ErrorsInAnIncludedFileNameThatFile)
{
    IncludingHost host;
    host.files["util.inc"] = "procedure Show(n: Integer);\nbegin\n  Log(n);\nend;\n";
    EXPECT_FALSE(host.Compile("var x: Integer;\n{$I util.inc}\nbegin\n  Show(x);\nend."));
    EXPECT_EQ(host.asked, std::vector<std::string>{"main.pas>util.inc"});
    EXPECT_EQ(host.FirstError(), "[Error] lib/util.inc(3:9): Type mismatch");

    host.files["util.inc"] = "procedure Show(n: Integer);\nbegin\n  Log(IntToStr(n));\nend;\n";
    EXPECT_FALSE(host.Compile("var x: Integer;\n{$I util.inc}\nbegin\n  Show(x)\n  Show(x);\nend."));
    EXPECT_EQ(host.FirstError(), "[Error] main.pas(5:3): Semicolon (';') expected");

    ASSERT_TRUE(host.Compile("var x: Integer;\n{$I util.inc}\nbegin\n  x := 6;\n  Show(x * 7);\nend."))
        << host.Messages();
    ASSERT_TRUE(host.script.Execute());
    EXPECT_EQ(host.lines, std::vector<std::string>{"42"});
}

TEST(ScriptComponent, PreprocessingFailuresAreCompileErrors)
{
    IncludingHost host;
    EXPECT_FALSE(host.Compile("begin\n  {$I missing.inc}\nend."));
    EXPECT_EQ(host.Messages(), "[Error] main.pas(2:3): Unable to find file 'missing.inc' used from 'main.pas'\n");
    EXPECT_EQ(host.script.Exec().Status(), TPSStatus::NotLoaded);

    EXPECT_FALSE(host.Compile("{$IFDEF X}\nbegin end."));
    EXPECT_EQ(host.Messages(), "[Error] main.pas(0:0): Define not closed\n");

    // A failure after a compile with messages leaves only its own.
    ASSERT_TRUE(host.Compile("var unused: Integer; begin end."));
    EXPECT_EQ(host.script.CompilerMessageCount(), 1u);
    EXPECT_FALSE(host.Compile("{$FOO}begin end."));
    EXPECT_EQ(host.Messages(), "[Error] main.pas(1:1): Unknown compiler directives at 1:1\n");
}

TEST(ScriptComponent, DirectivesReachTheHost)
{
    IncludingHost host;
    std::vector<std::string> directives;
    host.script.OnProcessDirective = [&](TPSPreProcessor&, const TPSPascalPreProcessorParser&, bool active,
                                         const std::string& name, const std::string& param, bool&) {
        directives.push_back(name + "(" + param + ")" + (active ? "" : " inactive"));
    };
    host.script.OnProcessUnknowDirective = [&](TPSPreProcessor&, const TPSPascalPreProcessorParser&, bool,
                                               const std::string& name, const std::string&,
                                               bool& continueProcessing) { continueProcessing = name != "MINE"; };
    ASSERT_TRUE(host.Compile("{$IFDEF NOPE}{$MINE a}{$ENDIF}{$MINE b}begin end.")) << host.Messages();
    EXPECT_EQ(directives, (std::vector<std::string>{"IFDEF(NOPE)", "MINE(a) inactive", "ENDIF() inactive", "MINE(b)"}));
}

// ---- Running --------------------------------------------------------------------------

TEST(ScriptComponent, EventsSurroundEveryRunAndGlobalsLast)
{
    ScriptHost host;
    std::vector<std::string> events;
    host.script.OnExecute = [&](TPSScript*) { events.push_back("execute"); };
    host.script.OnAfterExecute = [&](TPSScript* sender) { events.push_back("after " + sender->RuntimeErrorText()); };
    ASSERT_TRUE(host.Compile(
        "var n: Integer;\nbegin\n  n := n + 1;\n  Log(IntToStr(n));\n  if n = 2 then n := n div (n - 2);\nend."));
    EXPECT_TRUE(host.script.Execute());
    EXPECT_FALSE(host.script.Execute());
    EXPECT_EQ(host.lines, (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(events, (std::vector<std::string>{"execute", "after No Error", "execute", "after divide by Zero"}));
    EXPECT_EQ(host.script.RuntimeErrorText(), "divide by Zero");
}

// IsRunning tells whether the executer runs: not in the events around the
// run, which still cannot start the component again.
TEST(ScriptComponent, IsRunningOnlyWhileTheExecuterRuns)
{
    ScriptHost host;
    std::vector<std::string> seen;
    const auto note = [&](const std::string& where, TPSScript* sender) {
        seen.push_back(where + (sender->IsRunning() ? " running" : " idle"));
        EXPECT_THROW(sender->Execute(), EPSScriptError) << where;
        EXPECT_THROW(sender->Compile(), EPSScriptError) << where;
    };
    host.script.OnExecute = [&](TPSScript* sender) { note("execute", sender); };
    host.script.OnAfterExecute = [&](TPSScript* sender) { note("after", sender); };
    host.script.OnCompile = [&](TPSScript* sender) {
        sender->AddFunction([&] { note("inside", &host.script); }, "procedure Probe;");
    };
    ASSERT_TRUE(host.Compile("begin Probe end."));
    EXPECT_FALSE(host.script.IsRunning());
    EXPECT_TRUE(host.script.Execute()) << host.script.RuntimeErrorText();
    EXPECT_FALSE(host.script.IsRunning());
    EXPECT_EQ(seen, (std::vector<std::string>{"execute idle", "inside running", "after idle"}));

    // A script procedure the host runs outside Execute is a run as well.
    seen.clear();
    host.script.OnExecute = host.script.OnAfterExecute = nullptr;
    ASSERT_TRUE(host.Compile("procedure Handler; begin Probe end;\nbegin end."));
    const std::vector<std::string>& procs = host.script.Exec().ProcNames();
    const auto handler = std::find_if(procs.begin(), procs.end(),
                                      [](const std::string& name) { return FastUpperCase(name) == "HANDLER"; });
    ASSERT_NE(handler, procs.end());
    ASSERT_TRUE(host.script.Exec().RunScriptProc({}, std::uint32_t(handler - procs.begin())))
        << host.script.RuntimeErrorText();
    EXPECT_EQ(seen, std::vector<std::string>{"inside running"});
}

TEST(ScriptComponent, ARunAfterAFailedRunStartsAfresh)
{
    ScriptHost host;
    ASSERT_TRUE(host.Compile("var n: Integer;\nbegin\n  Log('start');\n  n := n div n;\n  Log('after');\nend."));
    EXPECT_FALSE(host.script.Execute());
    EXPECT_EQ(host.script.Exec().Status(), TPSStatus::Paused);
    EXPECT_FALSE(host.script.Execute());
    EXPECT_EQ(host.lines, (std::vector<std::string>{"start", "start"}));
    // Stop puts a failed run back to loaded; on a loaded script it does nothing.
    host.script.Stop();
    EXPECT_EQ(host.script.Exec().Status(), TPSStatus::Loaded);
    host.script.Stop();
    EXPECT_EQ(host.script.Exec().Status(), TPSStatus::Loaded);
}

TEST(ScriptComponent, RuntimeErrorsTellWhereTheyHappened)
{
    IncludingHost host;
    host.files["calc.inc"] = "function Ratio(a, b: Integer): Integer;\nbegin\n  Result := a div b;\nend;\n";
    ASSERT_TRUE(host.Compile("{$I calc.inc}\nvar x: Integer;\nbegin\n  x := Ratio(4, 2);\n  Log(IntToStr(x));\n"
                             "  x := Ratio(x, 0);\nend."))
        << host.Messages();
    EXPECT_FALSE(host.script.Execute());
    EXPECT_EQ(host.script.RuntimeErrorText(), "divide by Zero");
    TPSSourcePlace place;
    ASSERT_TRUE(host.script.ExecErrorPlace(place));
    EXPECT_EQ(place.FileName, "lib/calc.inc");
    EXPECT_EQ(place.Row, 3u);
    EXPECT_EQ(place.Col, 3u);

    // A statement whose first instruction fails: x is divided in place.
    ASSERT_TRUE(host.Compile("var x, y: Integer;\nbegin\n  x := 4;\n  x := x div y;\nend.")) << host.Messages();
    EXPECT_FALSE(host.script.Execute());
    ASSERT_TRUE(host.script.ExecErrorPlace(place));
    EXPECT_EQ(place.Row, 4u);

    // Without debug data only the bytecode position is known.
    host.script.UseDebugInfo = false;
    ASSERT_TRUE(host.Compile("var x: Integer;\nbegin\n  x := x div x;\nend."));
    EXPECT_FALSE(host.script.Execute());
    EXPECT_FALSE(host.script.ExecErrorPlace(place));
    EXPECT_GT(host.script.ExecErrorByteCodePosition(), 0u);
}

TEST(ScriptComponent, NotificationVariablesGoThroughTheHost)
{
    ScriptHost host;
    auto declare = host.script.OnCompile;
    host.script.OnCompile = [&](TPSScript* sender) {
        declare(sender);
        sender->Comp().AddTypeCopyN("TNotified", "!NotificationVariant");
    };
    const std::string text = "var Level: TNotified;\nbegin\n  Level := 5;\n  Log(IntToStr(Level + 1));\nend.";

    ASSERT_TRUE(host.Compile(text)) << host.Messages();
    EXPECT_FALSE(host.script.Execute());
    EXPECT_EQ(host.script.RuntimeErrorText(), "Exception: Unable to write variant");

    std::map<std::string, Variant> store;
    host.script.OnSetNotificationVariant = [&](TPSScript*, const std::string& name, const Variant& v) {
        store[name] = v;
    };
    EXPECT_FALSE(host.script.Execute());
    EXPECT_EQ(host.script.RuntimeErrorText(), "Exception: Unable to read variant");

    host.script.OnGetNotificationVariant = [&](TPSScript*, const std::string& name) { return store.at(name); };
    EXPECT_TRUE(host.script.Execute()) << host.script.RuntimeErrorText();
    EXPECT_EQ(host.lines, std::vector<std::string>{"6"});
    ASSERT_EQ(store.count("Level"), 1u);
}

TEST(ScriptComponent, TheLineEventRunsBeforeEachInstruction)
{
    ScriptHost host;
    ASSERT_TRUE(host.Compile("var i: Integer; begin for i := 1 to 3 do Log(IntToStr(i)) end."));
    int calls = 0;
    host.script.OnLine = [&](TPSScript*) { ++calls; };
    ASSERT_TRUE(host.script.Execute());
    EXPECT_GT(calls, 6);

    // What the handler raises ends the run as the script's error.
    host.script.OnLine = [&](TPSScript*) {
        if (host.lines.size() == 4)
            throw std::runtime_error("enough");
    };
    EXPECT_FALSE(host.script.Execute());
    EXPECT_EQ(host.script.RuntimeErrorText(), "Exception: enough");
    EXPECT_EQ(host.lines.size(), 4u);
    EXPECT_FALSE(host.script.IsRunning());
}

// A host routine that starts the component again from inside its run, as a
// script that asks its host to recompile or rerun it does.
struct ReenteringHost : ScriptHost
{
    ReenteringHost()
    {
        script.OnCompile = [this](TPSScript* sender) {
            logDeclared = sender->AddMethod(this, &ScriptHost::Log, "procedure Log(const s: String);");
            sender->AddMethod(this, &ReenteringHost::Recompile, "procedure Recompile;");
            sender->AddMethod(this, &ReenteringHost::Rerun, "procedure Rerun;");
        };
    }
    void Recompile() { script.Compile(); }
    void Rerun() { script.Execute(); }
};

TEST(ScriptComponent, ARunRefusesToBeRestartedFromInside)
{
    ReenteringHost host;
    ASSERT_TRUE(host.Compile("var s: String;\n"
                             "begin\n"
                             "  s := 'kept';\n"
                             "  try Recompile; except Log(ExceptionParam); end;\n"
                             "  try Rerun; except Log(ExceptionParam); end;\n"
                             "  Log(s);\n"
                             "  Recompile;\n"
                             "  Log('not reached');\n"
                             "end."));
    EXPECT_FALSE(host.script.Execute());
    EXPECT_EQ(host.lines,
              (std::vector<std::string>{"Script engine already running", "Script engine already running", "kept"}));
    EXPECT_EQ(host.script.RuntimeErrorText(), "Exception: Script engine already running");
    // The compiled script is still whole.
    host.lines.clear();
    host.script.SetScriptText("begin Log('again') end.");
    ASSERT_TRUE(host.script.Compile());
    EXPECT_TRUE(host.script.Execute());
    EXPECT_EQ(host.lines, std::vector<std::string>{"again"});
}

TEST(ScriptComponent, AStartDuringARunIsRefused)
{
    ScriptHost host;
    ASSERT_TRUE(host.Compile("begin Log('a'); Log('b') end."));
    int refused = 0;
    host.script.OnLine = [&](TPSScript* sender) {
        // As an event loop pumped during the run would start it again.
        EXPECT_TRUE(sender->IsRunning());
        EXPECT_THROW(sender->Execute(), EPSScriptError);
        EXPECT_THROW(sender->Compile(), EPSScriptError);
        ++refused;
    };
    EXPECT_TRUE(host.script.Execute());
    EXPECT_GT(refused, 2);
    EXPECT_EQ(host.lines, (std::vector<std::string>{"a", "b"}));
}

// Runs the compiled script while another thread asks it to stop soon after
// it has started.
void ExecuteAndStopFromAnotherThread(ScriptHost& host)
{
    std::promise<void> started;
    host.script.OnExecute = [&](TPSScript*) { started.set_value(); };
    std::thread stopper([&] {
        started.get_future().wait();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        host.script.Stop();
    });
    EXPECT_TRUE(host.script.Execute());
    stopper.join();
}

TEST(ScriptComponent, StopFromAnotherThreadEndsARunawayLoop)
{
    ScriptHost host;
    ASSERT_TRUE(host.Compile("var n: Integer;\nbegin\n  Log('looping');\n  while True do n := n + 1;\nend."));
    ExecuteAndStopFromAnotherThread(host);
    EXPECT_EQ(host.lines, std::vector<std::string>{"looping"});
    EXPECT_EQ(host.script.Exec().Status(), TPSStatus::Loaded);

    // The request was used up: the next run goes to its end.
    host.script.OnExecute = nullptr;
    host.lines.clear();
    ASSERT_TRUE(host.Compile("begin Log('whole') end."));
    EXPECT_TRUE(host.script.Execute());
    EXPECT_EQ(host.lines, std::vector<std::string>{"whole"});
}

// Without debug data and a line event the run calls no hook at all; a stop
// from another thread still reaches the loop, however tight.
TEST(ScriptComponent, StopFromAnotherThreadEndsARunWithoutHooks)
{
    ScriptHost host;
    host.script.UseDebugInfo = false;
    ASSERT_TRUE(host.Compile("var n, i: Integer;\nbegin\n  Log('looping');\n  i := 0;\n"
                             "  while i < 1 do n := n + i mod 7;\n  Log('not reached');\nend."));
    ExecuteAndStopFromAnotherThread(host);
    EXPECT_EQ(host.lines, std::vector<std::string>{"looping"});
    EXPECT_EQ(host.script.Exec().Status(), TPSStatus::Loaded);

    host.script.OnExecute = nullptr;
    host.lines.clear();
    ASSERT_TRUE(host.Compile("var i: Integer; begin for i := 1 to 3 do Log(IntToStr(i)) end."));
    EXPECT_TRUE(host.script.Execute());
    EXPECT_EQ(host.lines, (std::vector<std::string>{"1", "2", "3"}));
}

TEST(ScriptComponent, StopInsideTheRunEndsIt)
{
    ScriptHost host;
    host.script.OnCompile = [&](TPSScript* sender) {
        sender->AddMethod(&host, &ScriptHost::Log, "procedure Log(const s: String);");
        sender->AddFunction([&] { host.script.Stop(); }, "procedure Halt;");
    };
    ASSERT_TRUE(host.Compile("begin Log('a'); Halt; Log('b') end."));
    EXPECT_TRUE(host.script.Execute());
    EXPECT_EQ(host.lines, std::vector<std::string>{"a"});
}

TEST(ScriptComponent, DeepRecursionEndsInARuntimeError)
{
    ScriptHost host;
    // The default ceiling ends it the same way, only later.
    host.script.Exec().SetMemoryLimit(std::size_t(4) << 20);
    ASSERT_TRUE(host.Compile("function Down(n: Integer): Integer;\nbegin\n  Result := Down(n + 1) + 1;\nend;\n"
                             "begin\n  Log('in');\n  Down(0);\nend."));
    EXPECT_FALSE(host.script.Execute());
    EXPECT_EQ(host.script.RuntimeErrorText(), "Out Of Memory");
    EXPECT_EQ(host.lines, std::vector<std::string>{"in"});
}

// ---- Plugins --------------------------------------------------------------------------

struct RecordingPlugin : TPSPlugin
{
    std::vector<std::string>* log;
    explicit RecordingPlugin(std::vector<std::string>* into, std::string name) : log(into) { Name = std::move(name); }
    void CompileUsesHook(TPSScript*) override { log->push_back(Name + " compile uses"); }
    void ExecUsesHook(TPSScript*) override { log->push_back(Name + " exec uses"); }
    void CompileImportBefore(TPSScript*) override { log->push_back(Name + " compile before"); }
    void CompileImportAfter(TPSScript* sender) override
    {
        log->push_back(Name + " compile after");
        sender->AddFunction([this] { log->push_back(Name + " called"); }, "procedure " + Name + "Call;");
    }
    void ExecImportBefore(TPSScript*, TPSRuntimeClassImporter* x) override
    {
        log->push_back(Name + " exec before" + (x ? "" : " without importer"));
    }
    void ExecImportAfter(TPSScript*, TPSRuntimeClassImporter*) override { log->push_back(Name + " exec after"); }
};

TEST(ScriptComponent, PluginsTakePartInEveryCompileInOrder)
{
    std::vector<std::string> log;
    ScriptHost host;
    auto first = std::make_unique<RecordingPlugin>(&log, "First");
    RecordingPlugin second(&log, "Second");
    host.script.Plugins.Add().SetPlugin(first.get());
    host.script.Plugins.Add();
    host.script.Plugins.Add().SetPlugin(&second);
    EXPECT_EQ(host.script.Plugins.Items(1).DisplayName(), "<nil>");
    EXPECT_EQ(host.script.Plugins.Items(2).DisplayName(), "Second");

    host.script.OnExecImport = [&](TPSScript*, TPSExec*, TPSRuntimeClassImporter*) { log.push_back("exec import"); };
    host.script.OnCompImport = [&](TPSScript*, TPSPascalCompiler*) { log.push_back("comp import"); };
    auto declare = host.script.OnCompile;
    host.script.OnCompile = [&](TPSScript* sender) {
        log.push_back("compile");
        declare(sender);
    };
    ASSERT_TRUE(host.Compile("begin FirstCall; SecondCall end.")) << host.Messages();
    ASSERT_TRUE(host.script.Execute());
    EXPECT_EQ(log, (std::vector<std::string>{
                       "First exec before", "Second exec before", "exec import", "First exec after",
                       "Second exec after", "First exec uses", "Second exec uses", "First compile uses",
                       "Second compile uses", "First compile before", "Second compile before", "comp import",
                       "First compile after", "Second compile after", "compile", "First called", "Second called"}));

    // A plugin that goes leaves the component.
    first.reset();
    ASSERT_EQ(host.script.Plugins.Count(), 2u);
    EXPECT_EQ(host.script.Plugins.Items(1).Plugin(), &second);
    EXPECT_FALSE(host.Compile("begin FirstCall end."));
    EXPECT_TRUE(host.Compile("begin SecondCall end.")) << host.Messages();
}

// Run under the address sanitizer, this catches a plugin that would tell a
// component that is gone.
TEST(ScriptComponent, APluginOutlivesTheComponentsThatHeldIt)
{
    std::vector<std::string> log;
    auto plugin = std::make_unique<RecordingPlugin>(&log, "Shared");
    auto replaced = std::make_unique<RecordingPlugin>(&log, "Replaced");
    {
        TPSScript a;
        TPSScript b;
        a.Plugins.Add().SetPlugin(plugin.get());
        b.Plugins.Add().SetPlugin(replaced.get());
        b.Plugins.Items(0).SetPlugin(plugin.get());
        a.Plugins.Add().SetPlugin(plugin.get());
        a.Plugins.Delete(0);
        EXPECT_EQ(a.Plugins.Count(), 1u);
    }
    replaced.reset();
    plugin.reset();
    EXPECT_TRUE(log.empty());
}

} // namespace
