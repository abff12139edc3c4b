#pragma once
// The tokenizer of script text. Script text is 8-bit, read as UTF-8: bytes
// above 127 may appear in strings and comments only, and a leading byte-order
// mark is skipped. Positions are byte offsets into the text given to SetText.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

enum class TPSPasToken : std::uint8_t {
    EndOfText = 0,
    Comment = 1,
    Whitespace = 2,
    Identifier = 3,
    Semicolon = 4,     // ;
    Comma = 5,         // ,
    Period = 6,        // .
    Colon = 7,         // :
    OpenRound = 8,     // (
    CloseRound = 9,    // )
    OpenBlock = 10,    // [
    CloseBlock = 11,   // ]
    Assignment = 12,   // :=
    Equal = 13,        // =
    NotEqual = 14,     // <>
    Greater = 15,      // >
    GreaterEqual = 16, // >=
    Less = 17,         // <
    LessEqual = 18,    // <=
    Plus = 19,         // +
    Minus = 20,        // -
    Divide = 21,       // /
    Multiply = 22,     // *
    Integer = 23,      // 123
    Real = 24,         // 1.5, 1e5, 1.
    String = 25,       // 'text'
    Char = 26,         // #13, #$0D
    HexInt = 27,       // $1F
    AddressOf = 28,    // @
    Dereference = 29,  // ^
    TwoDots = 30,      // ..
    KwAnd = 31,
    KwArray = 32,
    KwBegin = 33,
    KwCase = 34,
    KwConst = 35,
    KwDiv = 36,
    KwDo = 37,
    KwDownTo = 38,
    KwElse = 39,
    KwEnd = 40,
    KwFor = 41,
    KwFunction = 42,
    KwIf = 43,
    KwIn = 44,
    KwMod = 45,
    KwNot = 46,
    KwOf = 47,
    KwOr = 48,
    KwProcedure = 49,
    KwProgram = 50,
    KwRepeat = 51,
    KwRecord = 52,
    KwSet = 53,
    KwShl = 54,
    KwShr = 55,
    KwThen = 56,
    KwTo = 57,
    KwType = 58,
    KwUntil = 59,
    KwUses = 60,
    KwVar = 61,
    KwWhile = 62,
    KwWith = 63,
    KwXor = 64,
    KwExit = 65,
    KwClass = 66,
    KwConstructor = 67,
    KwDestructor = 68,
    KwInherited = 69,
    KwPrivate = 70,
    KwPublic = 71,
    KwPublished = 72,
    KwProtected = 73,
    KwProperty = 74,
    KwVirtual = 75,
    KwOverride = 76,
    KwAs = 77,
    KwIs = 78,
    KwUnit = 79,
    KwTry = 80,
    KwExcept = 81,
    KwFinally = 82,
    KwExternal = 83,
    KwForward = 84,
    KwExport = 85,
    KwLabel = 86,
    KwGoto = 87,
    KwChr = 88,
    KwOrd = 89,
    KwInterface = 90,
    KwImplementation = 91,
    KwInitialization = 92,
    KwFinalization = 93,
    KwOut = 94,
    KwNil = 95,
};

inline constexpr int kPSKeywordCount = 65;

// The keyword code of an upper-case word, or TPSPasToken::Identifier.
TPSPasToken LookupKeyword(std::string_view upperWord);

// Why the scanner stopped. The compiler turns these into its comment, string,
// char and syntax errors.
enum class TPSParserError : std::uint8_t {
    None = 0,
    CommentError = 1, // a comment not closed before the end of the text
    StringError = 2,  // a string not closed before the line end
    CharError = 3,    // a malformed character code
    SyntaxError = 4,  // a byte that starts no token
};

class TPSPascalParser
{
public:
    using ErrorHandler = std::function<void(TPSPascalParser& parser, TPSParserError error)>;

    // Everything that moves while scanning, so that a caller can look ahead
    // and come back. The text itself is not part of it, and the token is
    // kept as its place, so a state stays good when the same text is set
    // again.
    struct State
    {
        std::uint32_t lineStart = 0;
        std::uint32_t row = 1;
        std::uint32_t position = 0;
        std::uint32_t tokenLength = 0;
        TPSPasToken tokenId = TPSPasToken::EndOfText;
        bool stopped = false; // a scan error ended the stream
        // How the token reads: nothing (symbols), as written (literals,
        // comments, whitespace) or upper-cased (identifiers, keywords).
        std::uint8_t form = 0;
    };

    virtual ~TPSPascalParser() = default;

    // Takes a copy of the text and scans its first token.
    virtual void SetText(std::string text);
    // Scans the next token. After the end of the text or a scan error every
    // call gives TPSPasToken::EndOfText again.
    virtual void Next();

    TPSPasToken CurrTokenId() const { return state_.tokenId; }
    // Upper-cased for identifiers and keywords, as written for literals,
    // comments and whitespace, empty for symbols. The view lasts until the
    // next SetText.
    std::string_view Token() const
    {
        if (state_.form == kAsWritten)
            return {text_.data() + state_.position, state_.tokenLength};
        if (state_.form == kUpperCased)
            return {upper_.data() + state_.position, state_.tokenLength};
        return {};
    }
    // The token's text exactly as written (empty for symbols).
    std::string_view RawToken() const
    {
        return state_.form ? std::string_view(text_.data() + state_.position, state_.tokenLength) : std::string_view();
    }
    std::uint32_t Position() const { return state_.position; }
    std::uint32_t TokenLength() const { return state_.tokenLength; }
    std::uint32_t Row() const { return state_.row; } // from 1
    std::uint32_t GetCol() const { return state_.position - state_.lineStart + 1; }
    const std::string& Text() const { return text_; }

    const State& SaveState() const { return state_; }
    void RestoreState(const State& state) { state_ = state; }

    void SetOnParserError(ErrorHandler handler) { onError_ = std::move(handler); }
    bool EnableComments = false;    // deliver comments as tokens
    bool EnableWhitespaces = false; // deliver whitespace runs as tokens

private:
    static constexpr std::uint8_t kAsWritten = 1;
    static constexpr std::uint8_t kUpperCased = 2;

    struct Scan
    {
        TPSPasToken id;
        std::uint32_t length;
        TPSParserError error;
    };
    Scan ScanToken(std::uint32_t pos) const;
    void CountLines(std::uint32_t from, std::uint32_t to);
    // Moves the position over blanks, counting the lines they end.
    void SkipBlanks();

    std::string text_;
    // The text with its ASCII letters upper-cased, made once per text: an
    // identifier's upper-case form is a view into it at the same place.
    std::string upper_;
    State state_;
    ErrorHandler onError_;
};
