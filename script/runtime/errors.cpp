#include "script/runtime/errors.h"

#include <array>
#include <string_view>

namespace {

// Indexed by TPSError.
constexpr std::array<std::string_view, erCustomError + 1> errorTexts = {
    "No Error",
    "Cannot Import %s",
    "Invalid Type",
    "Internal error",
    "Invalid Header",
    "Invalid Opcode",
    "Invalid Opcode Parameter",
    "no Main Proc",
    "Out of Global Vars range",
    "Out of Proc Range",
    "Out Of Range",
    "Out Of Stack Range",
    "Type Mismatch",
    "Unexpected End Of File",
    "Version error",
    "divide by Zero",
    "Math error",
    "Could not call proc",
    "Out of Record Fields Range",
    "Out Of Memory",
    "Exception: %s",
    "Null Pointer Exception",
    "Null variant error",
    "Interface not supported",
    "%s",
};

std::string substitute(std::string_view format, std::string_view parameter)
{
    std::string text(format);
    if (const auto at = text.find("%s"); at != std::string::npos)
        text.replace(at, 2, parameter);
    return text;
}

} // namespace

std::string ErrorCodeToText(unsigned code, std::string_view parameter)
{
    code %= 128;
    if (code >= errorTexts.size())
        return "Unknown error";
    const std::string_view format = errorTexts[code];
    switch (code) {
    case erCannotImport: {
        // Only the first line of a declaration names the routine.
        std::size_t end = 0;
        while (end < parameter.size() && static_cast<unsigned char>(parameter[end]) >= 32)
            ++end;
        return substitute(format, parameter.substr(0, end));
    }
    case erCouldNotCallProc:
        return parameter.empty() ? std::string(format) : std::string(format) + " (" + std::string(parameter) + ")";
    case erException:
    case erCustomError:
        return substitute(format, parameter);
    default:
        return std::string(format);
    }
}
