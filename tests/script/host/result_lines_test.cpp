// What the script window shows for a script: the lines of its compile and
// of its run, exactly as the host words them.

#include "script/host/kv_script.h"

#include <gtest/gtest.h>

namespace {

struct LinesCase
{
    const char* name;
    QString program;
    QStringList lines; // the compile's lines, then the run's
};

void PrintTo(const LinesCase& test, std::ostream* out)
{
    *out << test.name;
}

class ResultLines : public testing::TestWithParam<LinesCase>
{
};

class SilentUi final : public TScriptUi
{
public:
    void ShowMessage(const QString&) override {}
};

// The lines of the compile, then those of the run.
QStringList CompileAndRun(const QString& program)
{
    TKvScript script;
    script.SetUi(std::make_unique<SilentUi>());
    script.SetScriptText(program.toStdString());
    script.CompileScript();
    QStringList lines = script.Messages;
    script.RunScript();
    return lines + script.Messages;
}

TEST_P(ResultLines, AreTheHostsOwn)
{
    EXPECT_EQ(CompileAndRun(GetParam().program).join(u'\n').toStdString(), GetParam().lines.join(u'\n').toStdString());
}

const QString kSucceeded = QStringLiteral("*** Compilation succeeded ***");
const QString kFailed = QStringLiteral("### Compilation Failed");
const QString kNotReady = QStringLiteral("### Compilation not Ready");
const QString kExecuted = QStringLiteral("*** Succesfully Executed ***");
const QString kRunError = QStringLiteral("### Error while executing: ");

INSTANTIATE_TEST_SUITE_P(
    Host, ResultLines,
    testing::Values(
        LinesCase{"the new script",
                  QStringLiteral("//Write a script between begin and end.\n//Don't forget to finish each command by ;\n"
                                 "begin\n\nend."),
                  {kSucceeded, kExecuted}},
        LinesCase{"a syntax error",
                  QStringLiteral("begin\n  showmessage('a')\n  showmessage('b');\nend."),
                  {QStringLiteral("[Error] (3:3): Semicolon (';') expected"), kFailed, kNotReady}},
        LinesCase{"hints and a warning before success",
                  QStringLiteral("var unused: Integer; b: Boolean;\nbegin\n  b := True;\n  if b or False then ;\nend."),
                  {QStringLiteral("[Warning] (4:6): \"or False\" is not needed"),
                   QStringLiteral("[Hint] (1:5): Variable 'UNUSED' never used"), kSucceeded, kExecuted}},
        LinesCase{"a unit the host does not serve",
                  QStringLiteral("uses Tools;\nbegin\nend."),
                  {QStringLiteral("[Error] (1:6): Unknown identifier ''"), kFailed, kNotReady}},
        LinesCase{"a runtime error",
                  QStringLiteral("var a, b: Integer;\nbegin\n  b := 0;\n  a := a div b;\nend."),
                  {kSucceeded, kRunError + QStringLiteral("divide by Zero")}},
        LinesCase{"an error the script raises",
                  QStringLiteral("begin\n  RaiseException(erCustomError, 'stopped here');\nend."),
                  {kSucceeded, kRunError + QStringLiteral("stopped here")}},
        LinesCase{"a character out of range",
                  QStringLiteral("var s: String;\nbegin\n  s := 'ab';\n  s[3] := 'c';\nend."),
                  {kSucceeded, kRunError + QStringLiteral("Out of string range")}},
        LinesCase{"a graphics member that nothing backs compiles but cannot load",
                  QStringLiteral("var f: TFont;\nbegin\n  f := TFont.Create;\nend."),
                  {kFailed, kNotReady}},
        LinesCase{
            "the host's constants and types",
            QStringLiteral("var r: TRect; p: TPoint; g: TGUID; a: TAlignment; ps: TPrintScale; s: TBorderIcons;\n"
                           "begin\n"
                           "  r.Right := clMoneyGreen; p.y := SecsPerDay; g.D4[7] := 255; a := taRightJustify;\n"
                           "  ps := poNone; s := [biHelp];\n"
                           "  if (Ord(ps) = 0) and (biHelp in s) and (r.Right = 12639424) and (p.y = 86400) then\n"
                           "    RaiseException(erCustomError, IntToStr(clBlue + clBtnFace + g.D4[7] + Ord(a)));\n"
                           "end."),
            {kSucceeded, kRunError + QStringLiteral("-65265")}}),
    [](const testing::TestParamInfo<LinesCase>& info) {
        std::string name = info.param.name;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return name;
    });

// Every member of the host's enumerations has the ordinal of its place, so
// a script that stores one as a number reads back the same member.
TEST(HostTypes, EnumerationsKeepTheirOrder)
{
    const std::vector<std::vector<const char*>> enumerations = {
        {"taLeftJustify", "taRightJustify", "taCenter"},
        {"sbHorizontal", "sbVertical"},
        {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"},
        {"wsNormal", "wsMinimized", "wsMaximized"},
        {"fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop"},
        {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly", "poScreenCenter", "poDesktopCenter",
         "poMainFormCenter", "poOwnerFormCenter"},
        {"poNone", "poProportional", "poPrintToFit"},
        {"caNone", "caHide", "caFree", "caMinimize"},
        {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"},
        {"ecNormal", "ecUpperCase", "ecLowerCase"},
        {"ssNone", "ssHorizontal", "ssVertical", "ssBoth"},
        {"csDropDown", "csSimple", "csDropDownList", "csOwnerDrawFixed", "csOwnerDrawVariable"},
        {"cbUnchecked", "cbChecked", "cbGrayed"},
        {"lbStandard", "lbOwnerDrawFixed", "lbOwnerDrawVariable"},
        {"scLineUp", "scLineDown", "scPageUp", "scPageDown", "scPosition", "scTrack", "scTop", "scBottom",
         "scEndScroll"},
        {"odSelected", "odGrayed", "odDisabled", "odChecked", "odFocused", "odDefault", "odHotLight", "odInactive",
         "odNoAccel", "odNoFocusRect", "odReserved1", "odReserved2", "odComboBoxEdit"},
        {"tlTop", "tlCenter", "tlBottom"},
        {"spRegistre", "spPortable", "spNone"},
    };
    QString program = QStringLiteral("var misplaced: String;\nbegin\n");
    for (const auto& members : enumerations)
        for (std::size_t i = 0; i < members.size(); ++i)
            program += QStringLiteral("  if Ord(%1) <> %2 then misplaced := misplaced + ' %1';\n")
                           .arg(QLatin1StringView(members[i]))
                           .arg(i);
    program += QStringLiteral("  if misplaced <> '' then RaiseException(erCustomError, misplaced);\nend.");

    EXPECT_EQ(CompileAndRun(program), QStringList({kSucceeded, kExecuted}));
}

} // namespace
