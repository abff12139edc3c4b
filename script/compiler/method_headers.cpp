// Routine headers: the registration texts and the script's own routine and
// procedural-type headers share one reader.

#include "script/compiler/compiler.h"

#include "script/common/utils.h"

#include <algorithm>

using ps::BaseType;
using Err = TPSCompilerErrorCode;

bool TPSPascalCompiler::ParseMethod(std::string_view owner, std::string_view header, std::string& name,
                                    TPSParametersDecl& decl, TPSMethodKind& kind)
{
    TPSPascalParser parser;
    parser.SetText(std::string(header));
    HeaderRules rules;
    rules.constructorAllowed = !owner.empty();
    rules.wholeText = true;
    return ReadMethodHeader(parser, rules, &name, decl, kind);
}

bool TPSPascalCompiler::ParseMethod(std::string_view owner, TPSPascalParser& parser, std::string& name,
                                    TPSParametersDecl& decl, TPSMethodKind& kind)
{
    HeaderRules rules;
    rules.constructorAllowed = !owner.empty();
    return ReadMethodHeader(parser, rules, &name, decl, kind);
}

namespace {

// How an open array of an element type is named ("!OPENARRAYOF" and the
// suffix) and how its element type is written in a declaration text.
struct OpenArrayName
{
    BaseType base;
    const char* suffix;
    const char* written;
};

constexpr OpenArrayName kOpenArrayNames[] = {
    {BaseType::Byte, "U8", "byte"},
    {BaseType::ShortInt, "S8", "ShortInt"},
    {BaseType::Word, "U16", "Word"},
    {BaseType::SmallInt, "S16", "SmallInt"},
    {BaseType::LongWord, "U32", "Cardinal"},
    {BaseType::LongInt, "S32", "Longint"},
    {BaseType::Single, "SINGLE", "Single"},
    {BaseType::Double, "DOUBLE", "Double"},
    {BaseType::Extended, "EXTENDED", "Extended"},
    {BaseType::AnsiString, "STRING", "String"},
    {BaseType::PChar, "PCHAR", "PChar"},
    {BaseType::Variant, "VARIANT", "variant"},
    {BaseType::NotificationVariant, "VARIANT", "variant"},
    {BaseType::Int64, "S64", "Int64"},
    {BaseType::Char, "CHAR", "Char"},
    {BaseType::WideString, "WIDESTRING", "WideString"},
    {BaseType::WideChar, "WIDECHAR", "WideChar"},
    {BaseType::Class, "TOBJECT", "TObject"},
    {BaseType::UnicodeString, "UNICODESTRING", "UnicodeString"},
};

} // namespace

TPSType* TPSPascalCompiler::OpenArrayOf(TPSType* element)
{
    element = ResolveLink(element);
    std::string suffix;
    std::string written;
    if (element->BaseType == BaseType::Record) {
        // Records are told apart by name.
        suffix = "RECORD_" + element->Name;
        written = element->OriginalName;
    } else {
        const auto* known = std::find_if(std::begin(kOpenArrayNames), std::end(kOpenArrayNames),
                                         [element](const OpenArrayName& n) { return n.base == element->BaseType; });
        if (known == std::end(kOpenArrayNames))
            return nullptr;
        suffix = known->suffix;
        written = known->written;
    }
    const std::string name = "!OPENARRAYOF" + suffix;
    if (TPSType* found = FindType(name))
        return found;
    // An anonymous record cannot be named in a declaration text.
    if (written.empty())
        return nullptr;
    try {
        return AddTypeS(name, "array of " + written);
    } catch (const EPSCompilerException&) {
        return nullptr;
    }
}

bool TPSPascalCompiler::ReadMethodHeader(TPSPascalParser& p, const HeaderRules& rules, std::string* name,
                                         TPSParametersDecl& decl, TPSMethodKind& kind)
{
    switch (p.CurrTokenId()) {
    case TPSPasToken::KwProcedure:
        kind = TPSMethodKind::Procedure;
        break;
    case TPSPasToken::KwFunction:
        kind = TPSMethodKind::Function;
        break;
    case TPSPasToken::KwConstructor:
        if (!rules.constructorAllowed)
            return false;
        kind = TPSMethodKind::Constructor;
        break;
    default:
        return false;
    }
    p.Next();
    if (name) {
        if (p.CurrTokenId() != TPSPasToken::Identifier) {
            ErrorAt(p, Err::IdentifierExpected);
            return false;
        }
        *name = p.RawToken();
        if (rules.checkName && !rules.checkName(p.Token()))
            return false;
        p.Next();
    }
    if (p.CurrTokenId() == TPSPasToken::OpenRound && !ReadParamGroups(p, rules, decl))
        return false;
    if (kind == TPSMethodKind::Function) {
        if (p.CurrTokenId() != TPSPasToken::Colon) {
            ErrorAt(p, Err::ColonExpected);
            return false;
        }
        p.Next();
        if (p.CurrTokenId() != TPSPasToken::Identifier) {
            ErrorAt(p, Err::IdentifierExpected);
            return false;
        }
        decl.Result = FindType(p.Token());
        if (!decl.Result) {
            ErrorAt(p, Err::UnknownType, p.RawToken());
            return false;
        }
        p.Next();
    }
    if (rules.wholeText) {
        if (p.CurrTokenId() == TPSPasToken::Semicolon)
            p.Next();
        return p.CurrTokenId() == TPSPasToken::EndOfText;
    }
    return true;
}

// A parameter type: a type name, "array of" a type name, or "array of const".
TPSType* TPSPascalCompiler::ReadParamType(TPSPascalParser& p, const HeaderRules& rules)
{
    if (p.CurrTokenId() == TPSPasToken::KwArray) {
        if (!rules.openArrays) {
            ErrorAt(p, Err::IdentifierExpected);
            return nullptr;
        }
        p.Next();
        if (p.CurrTokenId() != TPSPasToken::KwOf) {
            ErrorAt(p, Err::OfExpected);
            return nullptr;
        }
        p.Next();
        if (p.CurrTokenId() == TPSPasToken::KwConst) {
            p.Next();
            if (TPSType* found = FindType("!OPENARRAYOFCONST"))
                return found;
            return AddTypeS("!OPENARRAYOFCONST", "array of ___Pointer");
        }
        if (p.CurrTokenId() != TPSPasToken::Identifier) {
            ErrorAt(p, Err::IdentifierExpected);
            return nullptr;
        }
        TPSType* element = FindType(p.Token());
        TPSType* open = element ? OpenArrayOf(element) : nullptr;
        if (!open)
            ErrorAt(p, Err::UnknownType, p.RawToken());
        else
            p.Next();
        return open;
    }
    if (p.CurrTokenId() != TPSPasToken::Identifier) {
        ErrorAt(p, Err::IdentifierExpected);
        return nullptr;
    }
    TPSType* type = FindType(p.Token());
    if (!type) {
        ErrorAt(p, Err::UnknownType, p.RawToken());
        return nullptr;
    }
    p.Next();
    return type;
}

// The parameter groups after "(", up to and including ")".
bool TPSPascalCompiler::ReadParamGroups(TPSPascalParser& p, const HeaderRules& rules, TPSParametersDecl& decl)
{
    p.Next();
    while (p.CurrTokenId() != TPSPasToken::CloseRound) {
        TPSParameterMode mode = TPSParameterMode::In;
        if (p.CurrTokenId() == TPSPasToken::KwConst) {
            p.Next();
        } else if (p.CurrTokenId() == TPSPasToken::KwVar) {
            mode = TPSParameterMode::InOut;
            p.Next();
        } else if (p.CurrTokenId() == TPSPasToken::KwOut) {
            mode = TPSParameterMode::Out;
            p.Next();
        }
        const std::size_t first = decl.Params.size();
        for (;;) {
            if (p.CurrTokenId() != TPSPasToken::Identifier) {
                ErrorAt(p, Err::IdentifierExpected);
                return false;
            }
            TPSParameterDecl& param = decl.AddParam(p.RawToken(), mode, nullptr);
            SetPlace(param, PlaceOf(p));
            if (rules.checkParam && !rules.checkParam(param))
                return false;
            p.Next();
            if (p.CurrTokenId() != TPSPasToken::Comma)
                break;
            p.Next();
        }
        if (p.CurrTokenId() == TPSPasToken::Colon) {
            p.Next();
            TPSType* type = ReadParamType(p, rules);
            if (!type)
                return false;
            for (std::size_t i = first; i < decl.Params.size(); ++i)
                decl.Params[i].AType = type;
        } else if (!rules.untyped ||
                   (p.CurrTokenId() != TPSPasToken::Semicolon && p.CurrTokenId() != TPSPasToken::CloseRound)) {
            ErrorAt(p, Err::ColonExpected);
            return false;
        }
        if (p.CurrTokenId() == TPSPasToken::Semicolon) {
            p.Next();
            // A semicolon starts another group.
            if (p.CurrTokenId() == TPSPasToken::CloseRound) {
                ErrorAt(p, Err::IdentifierExpected);
                return false;
            }
        } else if (p.CurrTokenId() != TPSPasToken::CloseRound) {
            ErrorAt(p, Err::CloseRoundExpected);
            return false;
        }
    }
    p.Next();
    return true;
}
