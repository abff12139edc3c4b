// Scans arbitrary script text and checks that the token stream is sound:
// tokens lie inside the text, move forward, and carry sane places.

#include "script/compiler/pascal_parser.h"

#include "script/common/utils.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    TPSPascalParser parser;
    parser.EnableComments = data[0] & 1;
    parser.EnableWhitespaces = data[0] & 2;
    int errors = 0;
    parser.SetOnParserError([&errors](TPSPascalParser& p, TPSParserError) {
        ++errors;
        if (p.Position() > p.Text().size())
            std::abort();
    });
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    parser.SetText(text);

    std::uint32_t lastEnd = 0;
    std::uint32_t lastRow = 1;
    TPSPascalParser::State saved;
    std::string savedToken;
    for (int n = 0; parser.CurrTokenId() != TPSPasToken::EndOfText; ++n) {
        const std::uint32_t pos = parser.Position();
        if (pos < lastEnd || pos + parser.TokenLength() > text.size() || parser.TokenLength() == 0 ||
            parser.Row() < lastRow || parser.GetCol() < 1 || parser.GetCol() > pos + 1)
            std::abort();
        if (parser.RawToken().size() != 0 && parser.RawToken() != text.substr(pos, parser.TokenLength()))
            std::abort();
        // A name reads upper-cased, a literal as written.
        if (parser.RawToken().size() != 0 &&
            parser.Token() != (parser.CurrTokenId() == TPSPasToken::Identifier ||
                                       parser.CurrTokenId() >= TPSPasToken::KwAnd
                                   ? FastUpperCase(parser.RawToken())
                                   : std::string(parser.RawToken())))
            std::abort();
        lastEnd = pos + parser.TokenLength();
        lastRow = parser.Row();
        if (n == 3) {
            saved = parser.SaveState();
            savedToken = parser.Token();
        }
        parser.Next();
    }
    if (errors > 1)
        std::abort();

    // Resuming from a saved place gives the same tokens again.
    if (lastEnd > 0 && saved.tokenLength > 0) {
        parser.RestoreState(saved);
        if (parser.Position() != saved.position || parser.Token() != savedToken)
            std::abort();
        while (parser.CurrTokenId() != TPSPasToken::EndOfText)
            parser.Next();
        if (parser.Position() + parser.TokenLength() < lastEnd)
            std::abort();
    }
    return 0;
}
