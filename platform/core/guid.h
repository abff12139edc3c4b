#pragma once
// 128-bit class and interface identifiers.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

struct GUID
{
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::array<std::uint8_t, 8> Data4{};

    friend constexpr bool operator==(const GUID&, const GUID&) = default;
    friend constexpr auto operator<=>(const GUID&, const GUID&) = default;

    constexpr bool isNull() const { return *this == GUID{}; }

    // Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"; the braces are optional
    // and hex digits may be in either case.
    static constexpr std::optional<GUID> parse(std::string_view text);

    // The media subtype of a FourCC: "XXXXXXXX-0000-0010-8000-00AA00389B71".
    static constexpr GUID fromFourCC(std::uint32_t fourcc)
    {
        return GUID{fourcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    }
    // The FourCC of a subtype built by fromFourCC, or 0 for any other GUID.
    constexpr std::uint32_t fourCC() const
    {
        return GUID{Data1, Data2, Data3, Data4} == fromFourCC(Data1) ? Data1 : 0;
    }

    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
    std::string toString() const;
};

using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const GUID&;
using REFCLSID = const GUID&;

constexpr GUID GUID_NULL{};

namespace guid_detail {
constexpr int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

constexpr bool readHex(std::string_view text, std::size_t pos, std::size_t digits, std::uint64_t& out)
{
    out = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const int v = hexValue(text[pos + i]);
        if (v < 0)
            return false;
        out = out * 16 + static_cast<std::uint64_t>(v);
    }
    return true;
}
} // namespace guid_detail

constexpr std::optional<GUID> GUID::parse(std::string_view text)
{
    if (text.size() == 38) {
        if (text.front() != '{' || text.back() != '}')
            return std::nullopt;
        text = text.substr(1, 36);
    }
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        return std::nullopt;
    GUID g;
    std::uint64_t v = 0;
    if (!guid_detail::readHex(text, 0, 8, v))
        return std::nullopt;
    g.Data1 = static_cast<std::uint32_t>(v);
    if (!guid_detail::readHex(text, 9, 4, v))
        return std::nullopt;
    g.Data2 = static_cast<std::uint16_t>(v);
    if (!guid_detail::readHex(text, 14, 4, v))
        return std::nullopt;
    g.Data3 = static_cast<std::uint16_t>(v);
    constexpr std::size_t bytePos[8] = {19, 21, 24, 26, 28, 30, 32, 34};
    for (std::size_t i = 0; i < 8; ++i) {
        if (!guid_detail::readHex(text, bytePos[i], 2, v))
            return std::nullopt;
        g.Data4[i] = static_cast<std::uint8_t>(v);
    }
    return g;
}

// Compile-time GUID constants: "{...}"_guid. A malformed literal does not compile.
namespace guid_literals {
consteval GUID operator""_guid(const char* text, std::size_t size)
{
    const auto g = GUID::parse(std::string_view(text, size));
    if (!g)
        throw "malformed GUID literal";
    return *g;
}
} // namespace guid_literals
using namespace guid_literals;

// A FourCC from its four characters in stream order ("dvsd").
constexpr std::uint32_t makeFourCC(char a, char b, char c, char d)
{
    return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24;
}

template <>
struct std::hash<GUID>
{
    std::size_t operator()(const GUID& g) const noexcept
    {
        std::uint64_t h = g.Data1;
        h = h * 1000003u ^ g.Data2;
        h = h * 1000003u ^ g.Data3;
        for (auto b : g.Data4)
            h = h * 1000003u ^ b;
        return static_cast<std::size_t>(h);
    }
};
