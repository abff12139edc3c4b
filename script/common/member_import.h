#pragma once
// The import texts that bind host class and interface members. A member a
// script uses becomes an external procedure with an empty name whose
// declaration is one of these texts; the loader hands it to the import
// resolver named before the first ':'.
//
//   class:CLASS|MEMBER|<0><signature>     method or constructor
//   class:CLASS|PROPERTY|<u32 n>          property read, n = index count + 1
//   class:CLASS|PROPERTY@|<u32 n>         property write
//   class:+                               cast between class and interface references
//   class:-                               release a class or interface variable
//   intf:.<u32 slot><cc><signature>       interface method
//
// The signature is one byte 0 or 1 for has-a-result, then one byte per
// parameter, 1 for var or out. Class and member names are identifiers, so
// neither holds '|' or '@'; the bytes after the member's '|' may be anything,
// which is why a reader takes the member name up to the first '|' after the
// class name and never looks for separators from the end.

#include "script/common/instruction_set.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace psimport {

inline constexpr std::string_view ClassResolver = "class";
inline constexpr std::string_view InterfaceResolver = "intf";
inline constexpr std::string_view ClassPrefix = "class:";
inline constexpr std::string_view InterfacePrefix = "intf:.";
inline constexpr std::string_view CastText = "class:+";
inline constexpr std::string_view ReleaseText = "class:-";
inline constexpr char NameSeparator = '|';
inline constexpr char WriteMark = '@';

// Whether text can stand as a class or member name in an import text: an
// identifier of letters, digits and '_' not starting with a digit.
inline bool IsImportName(std::string_view text)
{
    if (text.empty() || (text[0] >= '0' && text[0] <= '9'))
        return false;
    for (const char ch : text) {
        const bool letter = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
        if (!letter && !(ch >= '0' && ch <= '9') && ch != '_')
            return false;
    }
    return true;
}

// A method or constructor, called with the register convention (byte 0).
inline std::string MethodText(std::string_view className, std::string_view member, std::string_view signature)
{
    std::string text(ClassPrefix);
    text.append(className).push_back(NameSeparator);
    text.append(member).push_back(NameSeparator);
    text.push_back('\0');
    text.append(signature);
    return text;
}

inline std::string PropertyText(std::string_view className, std::string_view property, bool write,
                                std::uint32_t indexCount)
{
    std::string text(ClassPrefix);
    text.append(className).push_back(NameSeparator);
    text.append(property);
    if (write)
        text.push_back(WriteMark);
    text.push_back(NameSeparator);
    pscode::putU32(text, indexCount + 1);
    return text;
}

inline std::string InterfaceMethodText(std::uint32_t slot, std::uint8_t callingConvention, std::string_view signature)
{
    std::string text(InterfacePrefix);
    pscode::putU32(text, slot);
    text.push_back(static_cast<char>(callingConvention));
    text.append(signature);
    return text;
}

// A "class:" text read back.
struct ClassImport
{
    enum class Kind : std::uint8_t { Member, Cast, Release };
    Kind kind = Kind::Member;
    std::string className;
    std::string member;    // without the write mark
    bool write = false;    // the member name carried the write mark
    std::string_view rest; // the bytes after the member's separator
};

// Reads a text that starts with "class:". False when it is no such text or
// the class or member name is missing.
inline bool ParseClassImport(std::string_view text, ClassImport& out)
{
    if (text.substr(0, ClassPrefix.size()) != ClassPrefix)
        return false;
    text.remove_prefix(ClassPrefix.size());
    out = ClassImport{};
    if (text == "+" || text == "-") {
        out.kind = text == "+" ? ClassImport::Kind::Cast : ClassImport::Kind::Release;
        return true;
    }
    const std::size_t classEnd = text.find(NameSeparator);
    if (classEnd == std::string_view::npos || classEnd == 0)
        return false;
    const std::size_t memberEnd = text.find(NameSeparator, classEnd + 1);
    if (memberEnd == std::string_view::npos)
        return false;
    std::string_view member = text.substr(classEnd + 1, memberEnd - classEnd - 1);
    if (!member.empty() && member.back() == WriteMark) {
        out.write = true;
        member.remove_suffix(1);
    }
    if (member.empty())
        return false;
    out.className.assign(text.substr(0, classEnd));
    out.member.assign(member);
    out.rest = text.substr(memberEnd + 1);
    return true;
}

} // namespace psimport
