#include "script/compiler/preprocessor.h"

#include "script/compiler/compiler_messages.h"
#include "script/compiler/pascal_parser.h"

#include <gtest/gtest.h>

#include <map>

#include <sys/resource.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SANITIZED_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define SANITIZED_BUILD 1
#endif
#endif
#ifndef SANITIZED_BUILD
#define SANITIZED_BUILD 0
#endif

namespace {

// A preprocessor whose include files live in memory.
struct Fixture
{
    TPSPreProcessor pp;
    std::map<std::string, std::string> files;
    std::vector<std::string> includedFrom;

    Fixture()
    {
        pp.OnNeedFile = [this](TPSPreProcessor&, const std::string& includingFile, std::string& fileName,
                               std::string& content) {
            includedFrom.push_back(includingFile);
            const auto it = files.find(fileName);
            if (it == files.end())
                return false;
            content = it->second;
            return true;
        };
    }

    std::string run(std::string_view text) { return pp.PreProcess("main.pas", text); }

    // The message that a text makes, or "" when it goes through.
    std::string failure(std::string_view text)
    {
        try {
            run(text);
        } catch (const EPSPreProcessor& e) {
            return e.what();
        }
        return {};
    }
};

// Where an output position comes from, as "file:row:col".
std::string origin(const TPSPreProcessor& pp, std::uint32_t pos)
{
    TPSLineInfoResults r;
    if (!pp.LineInfo.GetLineInfo("", pos, r))
        return "none";
    return r.Name + ":" + std::to_string(r.Row) + ":" + std::to_string(r.Col);
}

TEST(PreProcessor, TextWithoutDirectivesIsUnchanged)
{
    Fixture f;
    const std::string text = "program p;\r\n(* {$IFDEF X} *) // {$ENDIF}\n{ plain }\rbegin\n  s := '{$BAD}''(*';\n"
                             "  a := b / c; (*)\nend.";
    EXPECT_EQ(f.run(text), text);
    // The text ends at a NUL byte, as the compiler reads it.
    EXPECT_EQ(f.run(std::string_view("a;\0{$IFDEF X}", 13)), "a;");
    EXPECT_EQ(f.run(""), "");
    // The "(*)" above closed itself, so that DEFINE was real and is blanked.
    const std::string withDefine = "(*) {$DEFINE Y}";
    EXPECT_EQ(f.run(withDefine), "(*)            ");
}

TEST(PreProcessor, ConditionalsKeepPositions)
{
    Fixture f;
    const std::string text = "a{$IFDEF MSWINDOWS}b{$ELSE}c\r\nc{$ENDIF}d"
                             "{$IFDEF VER22}e\n{$IFNDEF NOPE}f{$ELSE}g{$ENDIF}{$ELSE}h{$ENDIF}"
                             "{$ifndef mswindows}i{$endif}";
    const std::string out = f.run(text);
    ASSERT_EQ(out.size(), text.size());
    std::string kept;
    for (const char c : out) {
        if (c != ' ')
            kept += c;
    }
    // Line ends of left-out text stay, so the compiler's rows stay right.
    EXPECT_EQ(kept, "ab\r\nd\nh");
    EXPECT_EQ(out.find('h'), text.find('h'));
}

TEST(PreProcessor, DefinesAndUndefines)
{
    Fixture f;
    f.pp.Defines.Add("HOSTED");
    const std::string defaults =
        f.run("{$IFDEF hosted}x{$ENDIF}{$IFDEF WIN32}y{$ENDIF}{$IFDEF CPU386}z{$ENDIF}{$IFDEF VER23}w{$ENDIF}"
              "{$IFDEF VER22}v{$ENDIF}");
    for (const char c : std::string("xyzw"))
        EXPECT_NE(defaults.find(c), std::string::npos) << c;
    EXPECT_EQ(defaults.find('v'), std::string::npos);

    // A second DEFINE adds a second entry, so it takes two UNDEFs.
    const std::string out = f.run("{$DEFINE A}{$define a}{$UNDEF A}{$IFDEF A}yes{$ELSE}no{$ENDIF}");
    EXPECT_NE(out.find("yes"), std::string::npos);
    EXPECT_EQ(out.find("no"), std::string::npos);
    EXPECT_TRUE(f.pp.CurrentDefines.Contains("A"));
    f.run("{$DEFINE A}{$DEFINE A}{$UNDEF A}{$UNDEF A}");
    EXPECT_FALSE(f.pp.CurrentDefines.Contains("A"));

    // DEFINE and UNDEF in a left-out branch do nothing.
    f.run("{$IFDEF NOPE}{$DEFINE B}{$UNDEF MSWINDOWS}{$ENDIF}");
    EXPECT_FALSE(f.pp.CurrentDefines.Contains("B"));
    EXPECT_TRUE(f.pp.CurrentDefines.Contains("MSWINDOWS"));
    // The starting set is not touched by a run.
    f.run("{$UNDEF MSWINDOWS}");
    EXPECT_GE(f.pp.Defines.IndexOf("MSWINDOWS"), 0);

    f.pp.Clear();
    EXPECT_EQ(f.pp.Defines.Count(), 0u);
    EXPECT_EQ(f.run("{$IFDEF MSWINDOWS}x{$ENDIF}").find('x'), std::string::npos);
}

TEST(PreProcessor, DirectiveErrors)
{
    Fixture f;
    EXPECT_EQ(f.failure("x\n  {$DEFINE A B}"), "Too many parameters at 2:3");
    EXPECT_EQ(f.failure("{$IFDEF A B}{$ENDIF}"), "Too many parameters at 1:1");
    EXPECT_EQ(f.failure("{$IFDEF A}{$ELSE A}{$ENDIF}"), "Too many parameters at 1:11");
    EXPECT_EQ(f.failure("{$IFDEF A}{$ENDIF A}"), "Too many parameters at 1:11");
    EXPECT_EQ(f.failure("{$IFDEF X}"), "Define not closed");
    EXPECT_EQ(f.failure("{$IFDEF X}{$ELSE}\r\n{$ELSE}{$ENDIF}"), "Can't use ELSE twice at 2:1");
    EXPECT_EQ(f.failure("  {$ELSE}"), "No IFDEF for ELSE at 1:3");
    EXPECT_EQ(f.failure("{$IFDEF X}{$ENDIF}\n\n {$ENDIF}"), "No IFDEF for ENDIF at 3:2");
    EXPECT_EQ(f.failure("a\rb {$R+}"), "Unknown compiler directives at 2:3");
    EXPECT_EQ(f.failure("{$}"), "Unknown compiler directives at 1:1");

    // A left-out branch still knows its directives; trailing blanks pass.
    EXPECT_EQ(f.failure("{$IFDEF FPC}\n {$MODE DELPHI}{$ENDIF}"), "Unknown compiler directives at 2:2");
    EXPECT_EQ(f.failure("{$IFDEF A  }{$ENDIF }"), "");

    try {
        f.run("\n\n   {$ELSE}");
        FAIL();
    } catch (const EPSPreProcessor& e) {
        EXPECT_EQ(e.FileName, "main.pas");
        EXPECT_EQ(e.Row, 3u);
        EXPECT_EQ(e.Col, 4u);
    }
}

TEST(PreProcessor, DirectiveCallbacks)
{
    Fixture f;
    std::vector<std::string> seen;
    f.pp.OnProcessDirective = [&](TPSPreProcessor&, const TPSPascalPreProcessorParser& parser, bool active,
                                  const std::string& name, const std::string& param, bool& continueProcessing) {
        seen.push_back(name + "(" + param + ")" + (active ? "+" : "-") + std::to_string(parser.Col()));
        if (name == "ELSE")
            continueProcessing = false; // an ELSE that is ours now, and does nothing
    };
    f.pp.OnProcessUnknowDirective = [&](TPSPreProcessor&, const TPSPascalPreProcessorParser&, bool,
                                        const std::string& name, const std::string&, bool& continueProcessing) {
        if (name == "MODE")
            continueProcessing = false;
    };
    EXPECT_EQ(f.failure("{$MODE  objfpc }{$IFDEF MSWINDOWS}{$ELSE}{$ENDIF}"), "");
    EXPECT_EQ(seen, (std::vector<std::string>{"MODE(objfpc)+1", "IFDEF(MSWINDOWS)+17", "ELSE()+35", "ENDIF()+42"}));
    EXPECT_EQ(f.failure("{$OTHER}"), "Unknown compiler directives at 1:1");
}

TEST(PreProcessor, IncludesMapBackToTheirFiles)
{
    Fixture f;
    f.files["inc.pas"] = "x := 1;\r\ny := 2;"; // no line end on the last line
    const std::string main = "begin\n  {$I inc.pas}\n  z := 3;\nend.";
    const std::string out = f.run(main);
    EXPECT_EQ(f.includedFrom, std::vector<std::string>{"main.pas"});

    const std::size_t y = out.find("y :=");
    const std::size_t z = out.find("z :=");
    const std::size_t end = out.find("end.");
    EXPECT_EQ(origin(f.pp, 0), "main.pas:1:1");
    EXPECT_EQ(origin(f.pp, static_cast<std::uint32_t>(out.find("x :="))), "inc.pas:1:1");
    EXPECT_EQ(origin(f.pp, static_cast<std::uint32_t>(y + 5)), "inc.pas:2:6"); // the include's last line
    EXPECT_EQ(origin(f.pp, static_cast<std::uint32_t>(z)), "main.pas:3:3");    // after the include
    EXPECT_EQ(origin(f.pp, static_cast<std::uint32_t>(end + 3)), "main.pas:4:4");
    // The end of the output, where a message about a missing "end" lands.
    EXPECT_EQ(origin(f.pp, static_cast<std::uint32_t>(out.size())), "main.pas:4:5");
    EXPECT_EQ(origin(f.pp, static_cast<std::uint32_t>(out.size() + 1)), "none");

    // Quoted names, INCLUDE, and a file included from an include.
    f.files["a.inc"] = "{$INCLUDE 'b.inc'}A";
    f.files["b.inc"] = "B\n";
    const std::string nested = f.run("{$I a.inc} M");
    EXPECT_EQ(origin(f.pp, static_cast<std::uint32_t>(nested.find('B'))), "b.inc:1:1");
    EXPECT_EQ(origin(f.pp, static_cast<std::uint32_t>(nested.find('A'))), "a.inc:1:19");
    EXPECT_EQ(origin(f.pp, static_cast<std::uint32_t>(nested.find('M'))), "main.pas:1:12");

    // Naming the module restricts the search to that file.
    TPSLineInfoResults r;
    EXPECT_TRUE(f.pp.LineInfo.GetLineInfo("B.INC", static_cast<std::uint32_t>(nested.find('B')), r));
    EXPECT_FALSE(f.pp.LineInfo.GetLineInfo("a.inc", static_cast<std::uint32_t>(nested.find('B')), r));
}

TEST(PreProcessor, ErrorsInsideIncludes)
{
    Fixture f;
    f.files["bad.inc"] = "a;\n  {$ENDIF}";
    try {
        f.run("x;\n{$I bad.inc}");
        FAIL();
    } catch (const EPSPreProcessor& e) {
        EXPECT_STREQ(e.what(), "No IFDEF for ENDIF at 2:3");
        EXPECT_EQ(e.FileName, "bad.inc");
        EXPECT_EQ(e.Row, 2u);
        EXPECT_EQ(e.Col, 3u);
    }

    EXPECT_EQ(f.failure("  {$I missing.inc}"), "Unable to find file 'missing.inc' used from 'main.pas'");
    f.pp.OnNeedFile = nullptr;
    EXPECT_EQ(f.failure("{$I bad.inc}"), "Unable to find file 'bad.inc' used from 'main.pas'");
}

TEST(PreProcessor, CompilerMessageInsideAnIncludeNamesThatFile)
{
    Fixture f;
    // A string that meets its line end, on the second line of the include,
    // after a byte-order mark that the include must not pass on.
    f.files["strings.inc"] = "\xEF\xBB\xBFs := 'ok';\n  t := 'broken\n";
    const std::string out = f.run("\xEF\xBB\xBFprogram p;\n{$I strings.inc}\nbegin end.");

    TPSPascalParser parser;
    std::unique_ptr<TPSPascalCompilerMessage> message;
    parser.SetOnParserError([&message](TPSPascalParser& p, TPSParserError) {
        message = std::make_unique<TPSPascalCompilerError>(TPSCompilerErrorCode::StringError);
        message->SetParserPos(p);
    });
    parser.SetText(out);
    while (parser.CurrTokenId() != TPSPasToken::EndOfText)
        parser.Next();
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->MessageToString(), "[Error] (3:8): String error");

    std::vector<std::unique_ptr<TPSPascalCompilerMessage>> messages;
    messages.push_back(std::move(message));
    f.pp.AdjustMessages(messages);
    EXPECT_EQ(messages[0]->MessageToString(), "[Error] strings.inc(2:8): String error");
    // Adjusting again changes nothing.
    f.pp.AdjustMessage(*messages[0]);
    EXPECT_EQ(messages[0]->MessageToString(), "[Error] strings.inc(2:8): String error");
}

TEST(PreProcessor, IncludeDepth)
{
    Fixture f;
    // f1 includes f2 ... includes f<n>; twenty levels below the main file pass.
    for (int i = 1; i <= 20; ++i)
        f.files["f" + std::to_string(i)] = "{$I f" + std::to_string(i + 1) + "}";
    f.files["f20"] = "leaf";
    EXPECT_NE(f.run("{$I f1}").find("leaf"), std::string::npos);
    f.files["f20"] = "{$I f21}";
    f.files["f21"] = "leaf";
    EXPECT_EQ(f.failure("{$I f1}"), "Too many nested include files while processing 'f21' from 'f20'");

    // A file that includes itself stops at the same depth...
    f.files["self"] = "x{$I self}";
    EXPECT_EQ(f.failure("{$I self}"), "Too many nested include files while processing 'self' from 'self'");
    // ...or earlier with a guard.
    f.files["guarded"] = "{$IFNDEF GUARD}{$DEFINE GUARD}g{$I guarded}{$ENDIF}";
    const std::string out = f.run("{$I guarded}{$I guarded}");
    EXPECT_EQ(std::count(out.begin(), out.end(), 'g'), 1);

    // Twice per level doubles the text at every level.
    for (int i = 1; i < 20; ++i)
        f.files["f" + std::to_string(i)] = "{$I f" + std::to_string(i + 1) + "}{$I f" + std::to_string(i + 1) + "}";
    f.files["f20"] = std::string(4096, 'x');
    f.pp.MaxOutputSize = 1 << 20;
    EXPECT_TRUE(f.failure("{$I f1}").starts_with("Text too large while processing 'f"));
    // With little text per file, the number of includes is what stops it.
    f.files["f20"] = "x";
    EXPECT_EQ(f.failure("{$I f1}"), "Too many include files while processing 'f20' from 'f19'");
}

// Files that include each other twice per level ask for a million includes
// and would fill memory with positions long before the output is too large.
// The run ends with an error well inside a memory ceiling.
TEST(PreProcessor, AnIncludeBombStopsWithinAMemoryCeiling)
{
    auto bomb = [] {
        Fixture f;
        for (int i = 1; i < 20; ++i)
            f.files["f" + std::to_string(i)] =
                "{$I f" + std::to_string(i + 1) + "}\n{$I f" + std::to_string(i + 1) + "}\n";
        f.files["f20"] = "x\n";
        return f.failure("{$I f1}");
    };
#if SANITIZED_BUILD
    // Sanitizers reserve more address space than any ceiling allows.
    EXPECT_TRUE(bomb().starts_with("Too many include files while processing 'f"));
#else
    auto cappedRun = [&bomb] {
        rlimit ceiling{};
        ceiling.rlim_cur = ceiling.rlim_max = 512u << 20;
        setrlimit(RLIMIT_AS, &ceiling);
        std::exit(bomb().starts_with("Too many include files while processing 'f") ? 0 : 1);
    };
    EXPECT_EXIT(cappedRun(), ::testing::ExitedWithCode(0), "");
#endif
}

TEST(PreProcessor, ARunStartsAfresh)
{
    Fixture f;
    EXPECT_NE(f.failure("{$IFDEF X}"), "");
    f.files["inc"] = "long include text";
    f.run("{$I inc}");
    const std::string out = f.run("short");
    EXPECT_EQ(out, "short");
    EXPECT_EQ(f.pp.LineInfo.Count(), 1u);
    EXPECT_EQ(origin(f.pp, 10), "none");
}

} // namespace
