// Routine headers: the registration texts and the script's own routine and
// procedural-type headers share one reader.

#include "script/compiler/compiler.h"

#include "script/compiler/utils.h"

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

TPSType* TPSPascalCompiler::OpenArrayOf(TPSType* element)
{
    element = ResolveLink(element);
    std::string suffix;
    std::string written;
    switch (element->BaseType) {
    case BaseType::Byte:
        suffix = "U8";
        written = "byte";
        break;
    case BaseType::ShortInt:
        suffix = "S8";
        written = "ShortInt";
        break;
    case BaseType::Word:
        suffix = "U16";
        written = "Word";
        break;
    case BaseType::SmallInt:
        suffix = "S16";
        written = "SmallInt";
        break;
    case BaseType::LongWord:
        suffix = "U32";
        written = "Cardinal";
        break;
    case BaseType::LongInt:
        suffix = "S32";
        written = "Longint";
        break;
    case BaseType::Single:
        suffix = "SINGLE";
        written = "Single";
        break;
    case BaseType::Double:
        suffix = "DOUBLE";
        written = "Double";
        break;
    case BaseType::Extended:
        suffix = "EXTENDED";
        written = "Extended";
        break;
    case BaseType::AnsiString:
        suffix = "STRING";
        written = "String";
        break;
    case BaseType::Record:
        suffix = "RECORD_" + element->Name;
        written = element->OriginalName;
        break;
    case BaseType::PChar:
        suffix = "PCHAR";
        written = "PChar";
        break;
    case BaseType::Variant:
    case BaseType::NotificationVariant:
        suffix = "VARIANT";
        written = "variant";
        break;
    case BaseType::Int64:
        suffix = "S64";
        written = "Int64";
        break;
    case BaseType::Char:
        suffix = "CHAR";
        written = "Char";
        break;
    case BaseType::WideString:
        suffix = "WIDESTRING";
        written = "WideString";
        break;
    case BaseType::WideChar:
        suffix = "WIDECHAR";
        written = "WideChar";
        break;
    case BaseType::Class:
        suffix = "TOBJECT";
        written = "TObject";
        break;
    case BaseType::UnicodeString:
        suffix = "UNICODESTRING";
        written = "UnicodeString";
        break;
    default:
        return nullptr;
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
    // A parameter type: a type name, "array of" a type name, or "array of const".
    auto readParamType = [&]() -> TPSType* {
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
    };

    if (p.CurrTokenId() == TPSPasToken::OpenRound) {
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
                TPSType* type = readParamType();
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
            } else if (p.CurrTokenId() != TPSPasToken::CloseRound) {
                ErrorAt(p, Err::CloseRoundExpected);
                return false;
            }
        }
        p.Next();
    }
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
