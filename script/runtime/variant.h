#pragma once
// The script's Variant: a type code with the usual numbering and its payload.
// Values of type Variant live in script storage as this object.

#include <cstdint>
#include <string>
#include <variant>

namespace varcode {
constexpr std::uint16_t Empty = 0;
constexpr std::uint16_t Null = 1;
constexpr std::uint16_t SmallInt = 2;
constexpr std::uint16_t Integer = 3;
constexpr std::uint16_t Single = 4;
constexpr std::uint16_t Double = 5;
constexpr std::uint16_t Currency = 6;
constexpr std::uint16_t OleStr = 8;
constexpr std::uint16_t Boolean = 11;
constexpr std::uint16_t Int64 = 20;
constexpr std::uint16_t String = 0x100;
} // namespace varcode

struct Variant
{
    std::uint16_t type = varcode::Empty;
    std::variant<std::monostate, std::int64_t, double, std::string, std::u16string> value;

    void clear() { *this = Variant{}; }
    friend bool operator==(const Variant&, const Variant&) = default;
};
