#include "script/compiler/pascal_parser.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

namespace {

using T = TPSPasToken;

struct Tok
{
    T id;
    std::string token;
    std::string raw;
    std::uint32_t pos, row, col;
};

struct Scanned
{
    std::vector<Tok> tokens; // up to, not including, the end of text
    std::vector<TPSParserError> errors;
    std::uint32_t errorRow = 0, errorCol = 0, errorPos = 0;
};

Scanned scan(const std::string& text, bool comments = false, bool whitespace = false)
{
    Scanned out;
    TPSPascalParser parser;
    parser.EnableComments = comments;
    parser.EnableWhitespaces = whitespace;
    parser.SetOnParserError([&out](TPSPascalParser& p, TPSParserError e) {
        out.errors.push_back(e);
        out.errorRow = p.Row();
        out.errorCol = p.GetCol();
        out.errorPos = p.Position();
    });
    parser.SetText(text);
    while (parser.CurrTokenId() != T::EndOfText) {
        out.tokens.push_back({parser.CurrTokenId(), std::string(parser.Token()), std::string(parser.RawToken()), parser.Position(),
                              parser.Row(), parser.GetCol()});
        parser.Next();
    }
    // The end stays the end, and a scan error is reported once.
    parser.Next();
    parser.Next();
    EXPECT_EQ(parser.CurrTokenId(), T::EndOfText);
    EXPECT_LE(out.errors.size(), 1u);
    return out;
}

std::vector<T> ids(const Scanned& s)
{
    std::vector<T> v;
    for (const Tok& t : s.tokens)
        v.push_back(t.id);
    return v;
}

TEST(PascalParser, EveryTokenCode)
{
    const Scanned s = scan("x ; , . : ( ) [ ] := = <> > >= < <= + - / * 12 1.5 'a' #13 $1F @ ^ .. begin");
    EXPECT_TRUE(s.errors.empty());
    const std::vector<T> expected{T::Identifier, T::Semicolon,   T::Comma,     T::Period,       T::Colon,
                                  T::OpenRound,  T::CloseRound,  T::OpenBlock, T::CloseBlock,   T::Assignment,
                                  T::Equal,      T::NotEqual,    T::Greater,   T::GreaterEqual, T::Less,
                                  T::LessEqual,  T::Plus,        T::Minus,     T::Divide,       T::Multiply,
                                  T::Integer,    T::Real,        T::String,    T::Char,         T::HexInt,
                                  T::AddressOf,  T::Dereference, T::TwoDots,   T::KwBegin};
    EXPECT_EQ(ids(s), expected);
    for (std::size_t i = 0; i + 1 < expected.size(); ++i)
        EXPECT_EQ(static_cast<int>(expected[i]), static_cast<int>(i) + 3) << i;

    const Scanned c = scan("a {b} (*c*) //d\n", true, true);
    EXPECT_EQ(ids(c), (std::vector<T>{T::Identifier, T::Whitespace, T::Comment, T::Whitespace, T::Comment,
                                      T::Whitespace, T::Comment, T::Whitespace}));
    EXPECT_EQ(c.tokens[2].token, "{b}");
    EXPECT_EQ(c.tokens[4].raw, "(*c*)");
    EXPECT_EQ(c.tokens[6].token, "//d");
    EXPECT_EQ(c.tokens[7].token, "\n");
}

TEST(PascalParser, TokenTexts)
{
    const Scanned s = scan("MyVar 'it''s' #$1f 1e5 := Begin");
    ASSERT_EQ(s.tokens.size(), 6u);
    EXPECT_EQ(s.tokens[0].token, "MYVAR");
    EXPECT_EQ(s.tokens[0].raw, "MyVar");
    EXPECT_EQ(s.tokens[1].token, "'it''s'");
    EXPECT_EQ(s.tokens[1].raw, "'it''s'");
    EXPECT_EQ(s.tokens[2].token, "#$1f");
    EXPECT_EQ(s.tokens[3].token, "1e5");
    EXPECT_EQ(s.tokens[4].token, "");
    EXPECT_EQ(s.tokens[4].raw, "");
    EXPECT_EQ(s.tokens[5].token, "BEGIN");
    EXPECT_EQ(s.tokens[5].raw, "Begin");
}

TEST(PascalParser, NumberQuirks)
{
    EXPECT_EQ(ids(scan("1..5")), (std::vector<T>{T::Integer, T::TwoDots, T::Integer}));
    EXPECT_EQ(ids(scan("1.0 1e5 1E-3 2.5e+10 7.e2")), (std::vector<T>(5, T::Real)));

    Scanned s = scan("1e");
    ASSERT_EQ(ids(s), (std::vector<T>{T::Integer, T::Identifier}));
    EXPECT_EQ(s.tokens[0].token, "1");
    EXPECT_EQ(s.tokens[1].raw, "e");

    EXPECT_EQ(ids(scan("1e+")), (std::vector<T>{T::Integer, T::Identifier, T::Plus}));

    s = scan("1. ");
    ASSERT_EQ(ids(s), (std::vector<T>{T::Real}));
    EXPECT_EQ(s.tokens[0].token, "1.");

    // A second point is not part of the number.
    s = scan("1.5.3");
    EXPECT_EQ(ids(s), (std::vector<T>{T::Real, T::Period, T::Integer}));
    EXPECT_EQ(s.tokens[0].token, "1.5");

    s = scan("$FFx #$0D#10");
    EXPECT_EQ(ids(s), (std::vector<T>{T::HexInt, T::Identifier, T::Char, T::Char}));
    EXPECT_EQ(s.tokens[0].token, "$FF");
}

TEST(PascalParser, CommentsAndStrings)
{
    // "(*)" closes itself.
    EXPECT_EQ(ids(scan("(*)x")), (std::vector<T>{T::Identifier}));
    EXPECT_EQ(ids(scan("(**)x(***)")), (std::vector<T>{T::Identifier}));
    EXPECT_EQ(ids(scan("a // b c\nd")), (std::vector<T>{T::Identifier, T::Identifier}));
    EXPECT_EQ(ids(scan("a/b")), (std::vector<T>{T::Identifier, T::Divide, T::Identifier}));

    Scanned s = scan("'it''s'");
    ASSERT_EQ(s.tokens.size(), 1u);
    EXPECT_EQ(s.tokens[0].token.size(), 7u);
    EXPECT_EQ(ids(scan("''''")), (std::vector<T>{T::String}));
    EXPECT_EQ(ids(scan("'' ''")), (std::vector<T>{T::String, T::String}));

    EXPECT_EQ(ids(scan("#13#10")), (std::vector<T>{T::Char, T::Char}));
    EXPECT_EQ(ids(scan("#$1F")), (std::vector<T>{T::Char}));
}

TEST(PascalParser, ScanErrors)
{
    struct Case
    {
        const char* text;
        TPSParserError error;
        std::uint32_t row, col;
        std::size_t tokensBefore;
    };
    const Case cases[] = {
        {"a (* b", TPSParserError::CommentError, 1, 3, 1},
        {"a\n  { b\n", TPSParserError::CommentError, 2, 3, 1},
        {"x := 'abc\n'", TPSParserError::StringError, 1, 6, 2},
        {"'abc", TPSParserError::StringError, 1, 1, 0},
        {"'abc\r", TPSParserError::StringError, 1, 1, 0},
        {"#65a", TPSParserError::CharError, 1, 1, 0},
        {"#65_", TPSParserError::CharError, 1, 1, 0},
        {"a #", TPSParserError::CharError, 1, 3, 1},
        {"#$", TPSParserError::CharError, 1, 1, 0},
        {"$", TPSParserError::SyntaxError, 1, 1, 0},
        {"a ! b", TPSParserError::SyntaxError, 1, 3, 1},
        {"a\r\nb \"c\"", TPSParserError::SyntaxError, 2, 3, 2},
        {"x}", TPSParserError::SyntaxError, 1, 2, 1},
        {"caf\xC3\xA9", TPSParserError::SyntaxError, 1, 4, 1},
        {"\xC3\xA9", TPSParserError::SyntaxError, 1, 1, 0},
    };
    for (const Case& c : cases) {
        const Scanned s = scan(c.text);
        ASSERT_EQ(s.errors.size(), 1u) << c.text;
        EXPECT_EQ(s.errors[0], c.error) << c.text;
        EXPECT_EQ(s.errorRow, c.row) << c.text;
        EXPECT_EQ(s.errorCol, c.col) << c.text;
        EXPECT_EQ(s.tokens.size(), c.tokensBefore) << c.text;
    }
    for (const char* other : {"!", "%", "&", "?", "\\", "`", "|", "~", "\x7F", "\x80", "\xFF"})
        EXPECT_EQ(scan(other).errors, std::vector<TPSParserError>{TPSParserError::SyntaxError}) << other;

    // UTF-8 is fine where text is free.
    const Scanned s = scan("'caf\xC3\xA9' {\xE2\x82\xAC} // \xF0\x9F\x98\x80\n(* \xC3\xA9 *)");
    EXPECT_TRUE(s.errors.empty());
    ASSERT_EQ(ids(s), (std::vector<T>{T::String}));
    EXPECT_EQ(s.tokens[0].token, "'caf\xC3\xA9'");
}

TEST(PascalParser, RowsAndColumns)
{
    TPSPascalParser parser;
    EXPECT_EQ(parser.CurrTokenId(), T::EndOfText);
    parser.SetText("");
    EXPECT_EQ(parser.CurrTokenId(), T::EndOfText);
    EXPECT_EQ(parser.Position(), 0u);
    EXPECT_EQ(parser.Row(), 1u);
    EXPECT_EQ(parser.GetCol(), 1u);

    // LF, CR LF, lone CR, line ends inside both block comments, and a line
    // comment that stops before its line end.
    const Scanned s = scan("a\n  b\r\nc\rd {x\r\ny\n} e (*\r\r*)f // z\n\tg");
    ASSERT_EQ(s.tokens.size(), 7u);
    const std::uint32_t rowCol[7][2] = {{1, 1}, {2, 3}, {3, 1}, {4, 1}, {6, 3}, {8, 3}, {9, 2}};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(s.tokens[i].row, rowCol[i][0]) << s.tokens[i].raw;
        EXPECT_EQ(s.tokens[i].col, rowCol[i][1]) << s.tokens[i].raw;
    }
    EXPECT_EQ(s.tokens[6].pos, 35u);

    // A delivered comment is placed at its start, its line ends counted after it.
    const Scanned c = scan("{a\nb} x", true);
    ASSERT_EQ(c.tokens.size(), 2u);
    EXPECT_EQ(c.tokens[0].row, 1u);
    EXPECT_EQ(c.tokens[0].col, 1u);
    EXPECT_EQ(c.tokens[1].row, 2u);
    EXPECT_EQ(c.tokens[1].col, 4u);

    // The byte-order mark is skipped and is no column.
    const Scanned b = scan("\xEF\xBB\xBFprogram x;");
    ASSERT_EQ(ids(b), (std::vector<T>{T::KwProgram, T::Identifier, T::Semicolon}));
    EXPECT_EQ(b.tokens[0].pos, 3u);
    EXPECT_EQ(b.tokens[0].col, 1u);
    EXPECT_EQ(b.tokens[1].col, 9u);

    // A NUL byte ends the text.
    EXPECT_EQ(ids(scan(std::string("a b\0c d", 7))), (std::vector<T>{T::Identifier, T::Identifier}));
}

TEST(PascalParser, SavedStateResumesScanning)
{
    TPSPascalParser parser;
    parser.SetText("a\nb c");
    parser.Next();
    const TPSPascalParser::State saved = parser.SaveState();
    parser.Next();
    parser.Next();
    EXPECT_EQ(parser.CurrTokenId(), T::EndOfText);
    parser.RestoreState(saved);
    EXPECT_EQ(parser.Token(), "B");
    EXPECT_EQ(parser.Row(), 2u);
    parser.Next();
    EXPECT_EQ(parser.Token(), "C");
    EXPECT_EQ(parser.GetCol(), 3u);
}

TEST(PascalParser, AllKeywordsInEveryCase)
{
    const std::pair<const char*, int> keywords[] = {
        {"AND", 31},        {"ARRAY", 32},        {"AS", 77},
        {"BEGIN", 33},      {"CASE", 34},         {"CHR", 88},
        {"CLASS", 66},      {"CONST", 35},        {"CONSTRUCTOR", 67},
        {"DESTRUCTOR", 68}, {"DIV", 36},          {"DO", 37},
        {"DOWNTO", 38},     {"ELSE", 39},         {"END", 40},
        {"EXCEPT", 81},     {"EXIT", 65},         {"EXPORT", 85},
        {"EXTERNAL", 83},   {"FINALIZATION", 93}, {"FINALLY", 82},
        {"FOR", 41},        {"FORWARD", 84},      {"FUNCTION", 42},
        {"GOTO", 87},       {"IF", 43},           {"IMPLEMENTATION", 91},
        {"IN", 44},         {"INHERITED", 69},    {"INITIALIZATION", 92},
        {"INTERFACE", 90},  {"IS", 78},           {"LABEL", 86},
        {"MOD", 45},        {"NIL", 95},          {"NOT", 46},
        {"OF", 47},         {"OR", 48},           {"ORD", 89},
        {"OUT", 94},        {"OVERRIDE", 76},     {"PRIVATE", 70},
        {"PROCEDURE", 49},  {"PROGRAM", 50},      {"PROPERTY", 74},
        {"PROTECTED", 73},  {"PUBLIC", 71},       {"PUBLISHED", 72},
        {"RECORD", 52},     {"REPEAT", 51},       {"SET", 53},
        {"SHL", 54},        {"SHR", 55},          {"THEN", 56},
        {"TO", 57},         {"TRY", 80},          {"TYPE", 58},
        {"UNIT", 79},       {"UNTIL", 59},        {"USES", 60},
        {"VAR", 61},        {"VIRTUAL", 75},      {"WHILE", 62},
        {"WITH", 63},       {"XOR", 64},
    };
    ASSERT_EQ(std::size(keywords), static_cast<std::size_t>(kPSKeywordCount));
    std::vector<bool> seen(96, false);
    for (const auto& [name, code] : keywords) {
        const std::string upper = name;
        std::string lower, mixed;
        for (std::size_t i = 0; i < upper.size(); ++i) {
            lower += static_cast<char>(upper[i] + 32);
            mixed += i % 2 ? static_cast<char>(upper[i] + 32) : upper[i];
        }
        for (const std::string& written : {upper, lower, mixed}) {
            const Scanned s = scan(written + " " + written + "x");
            ASSERT_EQ(s.tokens.size(), 2u) << written;
            EXPECT_EQ(static_cast<int>(s.tokens[0].id), code) << written;
            EXPECT_EQ(s.tokens[0].token, upper);
            EXPECT_EQ(s.tokens[0].raw, written);
            EXPECT_EQ(s.tokens[1].id, T::Identifier) << written;
        }
        EXPECT_FALSE(seen[code]) << name;
        seen[code] = true;
    }
    for (const char* word : {"A", "ANDY", "_END", "ZZZ", "BEGIN_", "E", "IFF", "I"})
        EXPECT_EQ(LookupKeyword(word), T::Identifier) << word;
    // Words that share a keyword's length and first letter, or its first
    // letters, are names.
    for (const auto& [name, code] : keywords) {
        const std::string upper = name;
        const auto isKeyword = [&keywords](const std::string& word) {
            return std::any_of(std::begin(keywords), std::end(keywords),
                               [&word](const auto& k) { return word == k.first; });
        };
        std::string lastChanged = upper;
        lastChanged.back() = lastChanged.back() == 'Q' ? 'J' : 'Q';
        const std::string shorter = upper.substr(0, upper.size() - 1);
        for (const std::string& word : {lastChanged, shorter, "Q" + upper.substr(1)}) {
            if (!isKeyword(word)) {
                EXPECT_EQ(LookupKeyword(word), T::Identifier) << word;
            }
        }
    }
}

} // namespace
