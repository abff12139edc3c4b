#include "script/compiler/pascal_parser.h"

#include "script/common/utils.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

namespace {

using T = TPSPasToken;

// The keywords, by name.
constexpr std::array<std::pair<std::string_view, TPSPasToken>, kPSKeywordCount> kKeywords{{
    {"AND", T::KwAnd},
    {"ARRAY", T::KwArray},
    {"AS", T::KwAs},
    {"BEGIN", T::KwBegin},
    {"CASE", T::KwCase},
    {"CHR", T::KwChr},
    {"CLASS", T::KwClass},
    {"CONST", T::KwConst},
    {"CONSTRUCTOR", T::KwConstructor},
    {"DESTRUCTOR", T::KwDestructor},
    {"DIV", T::KwDiv},
    {"DO", T::KwDo},
    {"DOWNTO", T::KwDownTo},
    {"ELSE", T::KwElse},
    {"END", T::KwEnd},
    {"EXCEPT", T::KwExcept},
    {"EXIT", T::KwExit},
    {"EXPORT", T::KwExport},
    {"EXTERNAL", T::KwExternal},
    {"FINALIZATION", T::KwFinalization},
    {"FINALLY", T::KwFinally},
    {"FOR", T::KwFor},
    {"FORWARD", T::KwForward},
    {"FUNCTION", T::KwFunction},
    {"GOTO", T::KwGoto},
    {"IF", T::KwIf},
    {"IMPLEMENTATION", T::KwImplementation},
    {"IN", T::KwIn},
    {"INHERITED", T::KwInherited},
    {"INITIALIZATION", T::KwInitialization},
    {"INTERFACE", T::KwInterface},
    {"IS", T::KwIs},
    {"LABEL", T::KwLabel},
    {"MOD", T::KwMod},
    {"NIL", T::KwNil},
    {"NOT", T::KwNot},
    {"OF", T::KwOf},
    {"OR", T::KwOr},
    {"ORD", T::KwOrd},
    {"OUT", T::KwOut},
    {"OVERRIDE", T::KwOverride},
    {"PRIVATE", T::KwPrivate},
    {"PROCEDURE", T::KwProcedure},
    {"PROGRAM", T::KwProgram},
    {"PROPERTY", T::KwProperty},
    {"PROTECTED", T::KwProtected},
    {"PUBLIC", T::KwPublic},
    {"PUBLISHED", T::KwPublished},
    {"RECORD", T::KwRecord},
    {"REPEAT", T::KwRepeat},
    {"SET", T::KwSet},
    {"SHL", T::KwShl},
    {"SHR", T::KwShr},
    {"THEN", T::KwThen},
    {"TO", T::KwTo},
    {"TRY", T::KwTry},
    {"TYPE", T::KwType},
    {"UNIT", T::KwUnit},
    {"UNTIL", T::KwUntil},
    {"USES", T::KwUses},
    {"VAR", T::KwVar},
    {"VIRTUAL", T::KwVirtual},
    {"WHILE", T::KwWhile},
    {"WITH", T::KwWith},
    {"XOR", T::KwXor},
}};

// Positions are 32-bit; a longer text is refused rather than wrapped.
constexpr std::size_t kMaxTextLength = std::numeric_limits<std::uint32_t>::max() - 1;

// The classes of each byte, in one table: the scanner's runs of blanks,
// digits and name characters test one bit per byte.
enum : std::uint8_t { kBlank = 1, kLetter = 2, kDigit = 4, kHexDigit = 8 };

constexpr std::array<std::uint8_t, 256> makeCharClasses()
{
    std::array<std::uint8_t, 256> classes{};
    for (int c = 0; c < 256; ++c) {
        std::uint8_t k = 0;
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            k |= kBlank;
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_')
            k |= kLetter;
        if (c >= '0' && c <= '9')
            k |= kDigit | kHexDigit;
        if ((c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'))
            k |= kHexDigit;
        classes[static_cast<std::size_t>(c)] = k;
    }
    return classes;
}

constexpr std::array<std::uint8_t, 256> kCharClasses = makeCharClasses();

bool hasClass(char c, std::uint8_t k)
{
    return (kCharClasses[static_cast<unsigned char>(c)] & k) != 0;
}
bool isDigit(char c)
{
    return hasClass(c, kDigit);
}
bool isHexDigit(char c)
{
    return hasClass(c, kHexDigit);
}
bool isLetter(char c)
{
    return hasClass(c, kLetter);
}
bool isIdentChar(char c)
{
    return hasClass(c, kLetter | kDigit);
}
bool isBlank(char c)
{
    return hasClass(c, kBlank);
}
bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

} // namespace

namespace {

// Every identifier of a script is looked up here, so the keywords sit in an
// open-addressed table by a hash of the length and the first and last
// letters: one comparison in almost every lookup.
constexpr std::size_t kKeywordSlots = 256;
constexpr std::size_t kLongestKeyword = 14;

constexpr std::size_t keywordSlot(std::string_view word)
{
    return (word.size() * 37 + static_cast<unsigned char>(word.front()) * 11 +
            static_cast<unsigned char>(word.back())) %
           kKeywordSlots;
}

constexpr std::array<std::int8_t, kKeywordSlots> makeKeywordTable()
{
    std::array<std::int8_t, kKeywordSlots> table{};
    for (auto& slot : table)
        slot = -1;
    for (std::size_t i = 0; i < kKeywords.size(); ++i) {
        std::size_t at = keywordSlot(kKeywords[i].first);
        while (table[at] >= 0)
            at = (at + 1) % kKeywordSlots;
        table[at] = static_cast<std::int8_t>(i);
    }
    return table;
}

constexpr std::array<std::int8_t, kKeywordSlots> kKeywordTable = makeKeywordTable();

// For each length, the first letters keywords of that length start with,
// a bit per letter from 'A': most names are told apart by these alone.
constexpr std::array<std::uint32_t, kLongestKeyword + 1> makeKeywordStarts()
{
    std::array<std::uint32_t, kLongestKeyword + 1> starts{};
    for (const auto& keyword : kKeywords)
        starts[keyword.first.size()] |= 1u << (keyword.first.front() - 'A');
    return starts;
}

constexpr std::array<std::uint32_t, kLongestKeyword + 1> kKeywordStarts = makeKeywordStarts();

static_assert(std::all_of(kKeywords.begin(), kKeywords.end(),
                          [](const auto& k) { return k.first.size() <= kLongestKeyword; }));

} // namespace

namespace {

// The end of the name that starts at p[0], a letter.
std::size_t nameLength(const char* p)
{
    std::size_t i = 1;
    while (isIdentChar(p[i]))
        ++i;
    return i;
}

// Here rather than in LookupKeyword alone, so that the scanner's own
// lookup is inlined.
inline TPSPasToken findKeyword(std::string_view upperWord)
{
    if (upperWord.empty() || upperWord.size() > kLongestKeyword)
        return TPSPasToken::Identifier;
    const unsigned letter = static_cast<unsigned char>(upperWord.front()) - 'A';
    if (letter >= 26 || !(kKeywordStarts[upperWord.size()] >> letter & 1u))
        return TPSPasToken::Identifier;
    for (std::size_t at = keywordSlot(upperWord); kKeywordTable[at] >= 0; at = (at + 1) % kKeywordSlots) {
        const auto& entry = kKeywords[static_cast<std::size_t>(kKeywordTable[at])];
        // Keywords are short: compared in place rather than by a call.
        if (entry.first.size() != upperWord.size())
            continue;
        std::size_t i = 0;
        while (i < upperWord.size() && entry.first[i] == upperWord[i])
            ++i;
        if (i == upperWord.size())
            return entry.second;
    }
    return TPSPasToken::Identifier;
}

} // namespace

TPSPasToken LookupKeyword(std::string_view upperWord)
{
    return findKeyword(upperWord);
}

void TPSPascalParser::SetText(std::string text)
{
    text_ = std::move(text);
    state_ = State{};
    if (text_.size() > kMaxTextLength) {
        text_.clear();
        upper_.clear();
        state_.stopped = true;
        if (onError_)
            onError_(*this, TPSParserError::SyntaxError);
        return;
    }
    FastUpperCaseInto(text_, upper_);
    if (text_.starts_with(kByteOrderMark)) {
        // The mark is no column of the first line.
        state_.position = static_cast<std::uint32_t>(kByteOrderMark.size());
        state_.lineStart = state_.position;
    }
    Next();
}

void TPSPascalParser::CountLines(std::uint32_t from, std::uint32_t to)
{
    for (std::uint32_t i = from; i < to; ++i) {
        if (text_[i] == '\r') {
            if (i + 1 < to && text_[i + 1] == '\n')
                ++i;
        } else if (text_[i] != '\n') {
            continue;
        }
        ++state_.row;
        state_.lineStart = i + 1;
    }
}

// Inline: Next is its one caller, and runs it before most tokens.
inline void TPSPascalParser::SkipBlanks()
{
    // The rules of CountLines: CR LF, a lone CR and LF each end one line.
    const char* text = text_.c_str();
    std::uint32_t at = state_.position;
    for (;;) {
        const char c = text[at];
        // Spaces are most of the blanks: passed with one test each.
        if (c == ' ') {
            ++at;
            continue;
        }
        if (!isBlank(c))
            break;
        if (c == '\n' || (c == '\r' && text[at + 1] != '\n')) {
            ++state_.row;
            state_.lineStart = at + 1;
        }
        ++at;
    }
    state_.position = at;
}

void TPSPascalParser::Next()
{
    if (state_.stopped || text_.empty()) {
        state_.tokenLength = 0;
        state_.tokenId = TPSPasToken::EndOfText;
        state_.form = 0;
        if (text_.empty())
            state_.position = 0;
        return;
    }
    for (;;) {
        const std::uint32_t previous = state_.position;
        state_.position += state_.tokenLength;
        if (state_.tokenId == TPSPasToken::Whitespace || state_.tokenId == TPSPasToken::Comment)
            CountLines(previous, state_.position);
        // Blanks that no one asks for are passed over here rather than
        // scanned as tokens: most bytes of a script are indentation.
        if (!EnableWhitespaces && isBlank(text_[state_.position]))
            SkipBlanks();
        // Names are the most frequent tokens: read here, past the general
        // scanner.
        if (isLetter(text_[state_.position])) {
            state_.tokenId = TPSPasToken::Identifier;
            state_.tokenLength = static_cast<std::uint32_t>(nameLength(text_.c_str() + state_.position));
            break;
        }

        const Scan scan = ScanToken(state_.position);
        if (scan.error != TPSParserError::None) {
            state_.tokenLength = 0;
            state_.tokenId = TPSPasToken::EndOfText;
            state_.form = 0;
            state_.stopped = true;
            if (onError_)
                onError_(*this, scan.error);
            return;
        }
        state_.tokenId = scan.id;
        state_.tokenLength = scan.length;
        if ((scan.id == TPSPasToken::Comment && !EnableComments) ||
            (scan.id == TPSPasToken::Whitespace && !EnableWhitespaces))
            continue;
        break;
    }

    switch (state_.tokenId) {
    case TPSPasToken::Comment:
    case TPSPasToken::Whitespace:
    case TPSPasToken::Integer:
    case TPSPasToken::Real:
    case TPSPasToken::String:
    case TPSPasToken::Char:
    case TPSPasToken::HexInt:
        state_.form = kAsWritten;
        break;
    case TPSPasToken::Identifier:
        state_.form = kUpperCased;
        state_.tokenId = findKeyword(Token());
        break;
    default:
        state_.form = 0;
    }
}

TPSPascalParser::Scan TPSPascalParser::ScanToken(std::uint32_t pos) const
{
    // c_str() keeps a NUL after the last byte, so p[i] may look one past any
    // byte that is not itself the terminator.
    const char* p = text_.c_str() + pos;
    auto token = [](TPSPasToken id, std::size_t length) {
        return Scan{id, static_cast<std::uint32_t>(length), TPSParserError::None};
    };
    auto fail = [](TPSPasToken id, std::size_t length, TPSParserError error) {
        return Scan{id, static_cast<std::uint32_t>(length), error};
    };
    // A template, so that the test of each byte is inlined.
    auto runOf = [p](std::size_t from, auto accept) {
        while (accept(p[from]))
            ++from;
        return from;
    };
    // An embedded NUL ends the text as the terminator does.
    auto endOfText = [p](std::size_t i) { return p[i] == '\0'; };

    switch (p[0]) {
    case '\0':
        return token(T::EndOfText, 0);
    case ' ':
    case '\t':
    case '\r':
    case '\n':
        return token(T::Whitespace, runOf(1, [](char c) { return isBlank(c); }));
    case '{': {
        std::size_t i = 1;
        while (!endOfText(i) && p[i] != '}')
            ++i;
        if (endOfText(i))
            return fail(T::Comment, i, TPSParserError::CommentError);
        return token(T::Comment, i + 1);
    }
    case '(': {
        if (p[1] != '*')
            return token(T::OpenRound, 1);
        // The search for the closing pair starts at the opening star, so
        // "(*)" is a whole comment.
        std::size_t i = 1;
        while (!endOfText(i) && !(p[i] == '*' && p[i + 1] == ')'))
            ++i;
        if (endOfText(i))
            return fail(T::Comment, i, TPSParserError::CommentError);
        return token(T::Comment, i + 2);
    }
    case '/': {
        if (p[1] != '/')
            return token(T::Divide, 1);
        std::size_t i = 2;
        while (!endOfText(i) && !isLineEnd(p[i]))
            ++i;
        return token(T::Comment, i);
    }
    case '\'': {
        std::size_t i = 1;
        for (;;) {
            if (endOfText(i) || isLineEnd(p[i]))
                return fail(T::String, i, TPSParserError::StringError);
            if (p[i] == '\'') {
                if (p[i + 1] != '\'')
                    return token(T::String, i + 1);
                ++i; // a doubled quote stands for one quote
            }
            ++i;
        }
    }
    case '#': {
        const bool hex = p[1] == '$';
        const std::size_t digitsFrom = hex ? 2 : 1;
        const std::size_t end = hex ? runOf(digitsFrom, [](char c) { return isHexDigit(c); })
                                    : runOf(digitsFrom, [](char c) { return isDigit(c); });
        if (end == digitsFrom || (!hex && isLetter(p[end])))
            return fail(T::Char, end, TPSParserError::CharError);
        return token(T::Char, end);
    }
    case '$': {
        const std::size_t end = runOf(1, [](char c) { return isHexDigit(c); });
        if (end == 1)
            return fail(T::HexInt, 1, TPSParserError::SyntaxError);
        return token(T::HexInt, end);
    }
    case ':':
        return p[1] == '=' ? token(T::Assignment, 2) : token(T::Colon, 1);
    case '<':
        if (p[1] == '=')
            return token(T::LessEqual, 2);
        return p[1] == '>' ? token(T::NotEqual, 2) : token(T::Less, 1);
    case '>':
        return p[1] == '=' ? token(T::GreaterEqual, 2) : token(T::Greater, 1);
    case '.':
        return p[1] == '.' ? token(T::TwoDots, 2) : token(T::Period, 1);
    case ';':
        return token(T::Semicolon, 1);
    case ',':
        return token(T::Comma, 1);
    case ')':
        return token(T::CloseRound, 1);
    case '[':
        return token(T::OpenBlock, 1);
    case ']':
        return token(T::CloseBlock, 1);
    case '=':
        return token(T::Equal, 1);
    case '+':
        return token(T::Plus, 1);
    case '-':
        return token(T::Minus, 1);
    case '*':
        return token(T::Multiply, 1);
    case '@':
        return token(T::AddressOf, 1);
    case '^':
        return token(T::Dereference, 1);
    default:
        break;
    }

    if (isDigit(p[0])) {
        std::size_t i = runOf(1, [](char c) { return isDigit(c); });
        bool real = false;
        // One point, and not the first of "..", so that 1..5 is a range.
        if (p[i] == '.' && p[i + 1] != '.') {
            real = true;
            i = runOf(i + 1, [](char c) { return isDigit(c); });
        }
        if (p[i] == 'E' || p[i] == 'e') {
            std::size_t j = i + 1;
            if (p[j] == '+' || p[j] == '-')
                ++j;
            if (isDigit(p[j])) {
                real = true;
                i = runOf(j, [](char c) { return isDigit(c); });
            }
        }
        return token(real ? T::Real : T::Integer, i);
    }
    if (isLetter(p[0]))
        return token(T::Identifier, nameLength(p)); // keywords are told apart in Next
    return fail(T::EndOfText, 0, TPSParserError::SyntaxError);
}
