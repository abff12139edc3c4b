#include "script/compiler/compiler_messages.h"

#include "script/compiler/pascal_parser.h"

#include <array>
#include <string_view>

namespace {

// The message texts. "%s" stands for the parameter; a null entry means the
// parameter is the whole text.
constexpr std::array<const char*, 42> kErrorTexts{
    "Unknown identifier '%s'",
    "Identifier expected",
    "Comment error",
    "String error",
    "Char error",
    "Syntax error",
    "Unexpected end of file",
    "Semicolon (';') expected",
    "'BEGIN' expected",
    "period ('.') expected",
    "Duplicate identifier '%s'",
    "colon (':') expected",
    "Unknown type '%s'",
    "Closing parenthesis expected",
    "Type mismatch",
    "Internal error (%s)",
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
    "Label '%s' not set",
    "Not in a loop",
    "Invalid jump",
    "Opening square brackets ('[') expected",
    "Write-only property",
    "Read-only property",
    "Class type expected",
    nullptr,
    "Divide by Zero",
    "Math Error",
    "Unsatisfied Forward %s",
    "Forward Parameter Mismatch",
    "Invalid number of parameters",
};

constexpr std::array<const char*, 3> kHintTexts{
    "Variable '%s' never used",
    "Function '%s' never used",
    nullptr,
};

constexpr std::array<const char*, 4> kWarningTexts{
    "Calculation always evaluates to %s",
    "%s is not needed",
    "Abstract Class Construction",
    nullptr,
};

// A message quotes no more of a name than a reader takes in, and no more of
// a whole text than a line shows: a script may hold names of megabytes.
constexpr std::size_t kMaxQuoted = 100;
constexpr std::size_t kMaxWholeText = 1000;

// `text` cut to at most `most` bytes, at the start of a UTF-8 character,
// with "..." after it when anything was cut.
std::string Bounded(const std::string& text, std::size_t most)
{
    if (text.size() <= most)
        return text;
    std::size_t end = most;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end) + "...";
}

// Puts the parameter in place of "%s". The parameter is never read as a
// format, so a "%" in script text is harmless.
template <std::size_t N>
std::string formatText(const std::array<const char*, N>& texts, std::uint8_t code, const char* unknown,
                       const std::string& param)
{
    if (code >= N)
        return unknown;
    if (texts[code] == nullptr)
        return Bounded(param, kMaxWholeText);
    std::string text = texts[code];
    if (const std::size_t at = text.find("%s"); at != std::string::npos)
        text.replace(at, 2, Bounded(param, kMaxQuoted));
    return text;
}

} // namespace

std::string TPSPascalCompilerMessage::MessageToString() const
{
    return "[" + ErrorType() + "] " + ModuleName + "(" + std::to_string(Row) + ":" + std::to_string(Col) +
           "): " + ShortMessage();
}

void TPSPascalCompilerMessage::SetParserPos(const TPSPascalParser& parser)
{
    SetCustomPos(parser.Position(), parser.Row(), parser.GetCol());
}

void TPSPascalCompilerMessage::SetCustomPos(std::uint32_t position, std::uint32_t row, std::uint32_t col)
{
    Pos = position;
    Row = row;
    Col = col;
}

std::string TPSPascalCompilerError::ShortMessage() const
{
    return formatText(kErrorTexts, static_cast<std::uint8_t>(Error), "Unknown error", Param);
}

std::string TPSPascalCompilerHint::ShortMessage() const
{
    return formatText(kHintTexts, static_cast<std::uint8_t>(Hint), "Unknown hint", Param);
}

std::string TPSPascalCompilerWarning::ShortMessage() const
{
    return formatText(kWarningTexts, static_cast<std::uint8_t>(Warning), "Unknown warning", Param);
}
