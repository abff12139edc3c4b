#include "script/compiler/compiler_messages.h"

#include "script/compiler/pascal_parser.h"

#include <gtest/gtest.h>

namespace {

TEST(CompilerMessages, EveryErrorText)
{
    const char* texts[] = {
        "Unknown identifier 'P'",
        "Identifier expected",
        "Comment error",
        "String error",
        "Char error",
        "Syntax error",
        "Unexpected end of file",
        "Semicolon (';') expected",
        "'BEGIN' expected",
        "period ('.') expected",
        "Duplicate identifier 'P'",
        "colon (':') expected",
        "Unknown type 'P'",
        "Closing parenthesis expected",
        "Type mismatch",
        "Internal error (P)",
        "Assignment expected",
        "'THEN' expected",
        "'DO' expected",
        "No result",
        "opening parenthesis ('(')expected",
        "comma (',') expected",
        "'TO' expected",
        "is ('=') expected",
        "'OF' expected",
        "Closing square bracket (']') expected",
        "Variable Expected",
        "String Expected",
        "'END' expected",
        "Label 'P' not set",
        "Not in a loop",
        "Invalid jump",
        "Opening square brackets ('[') expected",
        "Write-only property",
        "Read-only property",
        "Class type expected",
        "P",
        "Divide by Zero",
        "Math Error",
        "Unsatisfied Forward P",
        "Forward Parameter Mismatch",
        "Invalid number of parameters",
    };
    for (int code = 0; code < 256; ++code) {
        const TPSPascalCompilerError error(static_cast<TPSCompilerErrorCode>(code), "P");
        EXPECT_EQ(error.ShortMessage(), code < 42 ? texts[code] : "Unknown error") << code;
        EXPECT_EQ(error.ErrorType(), "Error");
    }
}

TEST(CompilerMessages, EveryHintAndWarningText)
{
    const char* hints[] = {"Variable 'P' never used", "Function 'P' never used", "P", "Unknown hint"};
    for (int code = 0; code < 4; ++code)
        EXPECT_EQ(TPSPascalCompilerHint(static_cast<TPSCompilerHintCode>(code), "P").ShortMessage(), hints[code]);
    const char* warnings[] = {"Calculation always evaluates to P", "P is not needed", "Abstract Class Construction",
                              "P", "Unknown warning"};
    for (int code = 0; code < 5; ++code)
        EXPECT_EQ(TPSPascalCompilerWarning(static_cast<TPSCompilerWarningCode>(code), "P").ShortMessage(),
                  warnings[code]);
    EXPECT_EQ(TPSPascalCompilerHint(TPSCompilerHintCode::CustomHint).ErrorType(), "Hint");
    EXPECT_EQ(TPSPascalCompilerWarning(TPSCompilerWarningCode::CustomWarning).ErrorType(), "Warning");
}

TEST(CompilerMessages, MessageToStringFormat)
{
    TPSPascalCompilerHint hint(TPSCompilerHintCode::VariableNotUsed, "X");
    hint.SetCustomPos(120, 10, 5);
    EXPECT_EQ(hint.MessageToString(), "[Hint] (10:5): Variable 'X' never used");
    EXPECT_EQ(hint.Pos, 120u);

    // The position comes from the parser's current token.
    TPSPascalParser parser;
    parser.SetText("begin\n  foo;");
    parser.Next();
    TPSPascalCompilerError error(TPSCompilerErrorCode::UnknownIdentifier, std::string(parser.Token()));
    error.SetParserPos(parser);
    error.ModuleName = "inc.pas";
    EXPECT_EQ(error.MessageToString(), "[Error] inc.pas(2:3): Unknown identifier 'FOO'");
    EXPECT_EQ(error.Pos, 8u);

    // Script text in the parameter is never taken as a format.
    const TPSPascalCompilerWarning warning(TPSCompilerWarningCode::IsNotNeeded, "%s%d%n");
    EXPECT_EQ(warning.ShortMessage(), "%s%d%n is not needed");
    EXPECT_EQ(TPSPascalCompilerError(TPSCompilerErrorCode::CustomError, "100% %s").ShortMessage(), "100% %s");
}

} // namespace
