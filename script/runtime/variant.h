#pragma once
// The script's Variant: a type code with the usual numbering and its payload.
// Values of type Variant live in script storage as this object.
//
// Integer codes (and Boolean) keep an Int64 payload, Single, Double and Date
// a double, Currency its Int64 count of ten-thousandths, the string codes
// their text, and an array its elements. Arrays are never changed in place,
// so copies share them.

#include "script/common/numbers.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace varcode {
constexpr std::uint16_t Empty = 0;
constexpr std::uint16_t Null = 1;
constexpr std::uint16_t SmallInt = 2;
constexpr std::uint16_t Integer = 3;
constexpr std::uint16_t Single = 4;
constexpr std::uint16_t Double = 5;
constexpr std::uint16_t Currency = 6;
constexpr std::uint16_t Date = 7;
constexpr std::uint16_t OleStr = 8;
constexpr std::uint16_t Boolean = 11;
constexpr std::uint16_t Variant = 12;
constexpr std::uint16_t ShortInt = 16;
constexpr std::uint16_t Byte = 17;
constexpr std::uint16_t Word = 18;
constexpr std::uint16_t LongWord = 19;
constexpr std::uint16_t Int64 = 20;
constexpr std::uint16_t String = 0x100;
constexpr std::uint16_t Array = 0x2000; // or-ed with the element code
} // namespace varcode

struct VariantArray;

struct Variant
{
    std::uint16_t type = varcode::Empty;
    std::variant<std::monostate, std::int64_t, double, std::string, std::u16string, std::shared_ptr<const VariantArray>>
        value;

    void clear() { *this = Variant{}; }
    friend bool operator==(const Variant&, const Variant&) = default;
};

// A one-dimensional array of Variants. Arrays hold arrays no deeper than a
// type may nest, so releasing one never runs deep.
struct VariantArray
{
    std::int32_t lowBound = 0;
    std::vector<Variant> items;
    std::uint32_t depth = 1; // one more than the deepest array among the items
};

// A conversion or operation the Variant's type does not allow.
class EVariantError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

Variant VariantFromInt(std::int64_t value, std::uint16_t code = varcode::Integer);
Variant VariantFromBool(bool value);
Variant VariantFromReal(double value, std::uint16_t code = varcode::Double);
Variant VariantFromCurrency(std::int64_t scaled);
Variant VariantFromString(std::string text);
Variant VariantFromWide(std::u16string text);
// Raises std::bad_alloc when the array would nest too deep.
Variant VariantFromArray(std::vector<Variant> items, std::int32_t lowBound = 0);

// Single, Double and Currency: the Variants that a division divides as reals.
bool IsFloatVariant(const Variant& v);
bool IsArrayVariant(const Variant& v);
const VariantArray* VariantArrayOf(const Variant& v);

// Conversions; each raises EVariantError when the Variant cannot become the
// type (Null, an array, text that is not a number) or does not fit it.
std::int64_t VariantToInt64(const Variant& v);
std::int32_t VariantToInt32(const Variant& v);
long double VariantToReal(const Variant& v);
std::int64_t VariantToCurrency(const Variant& v); // the scaled count
std::string VariantToAnsi(const Variant& v);
std::u16string VariantToWide(const Variant& v);

// The arithmetic operators, by the operator numbers of the Calc instruction
// (0 + to 9 xor). Division divides reals when realDivide is set, else
// integers. Null with anything gives Null. Integer division by zero raises
// EDivByZero, real faults EZeroDivide or EMathError; texts joined beyond
// limit bytes raise std::bad_alloc.
void VariantOp(Variant& left, const Variant& right, std::uint8_t op, bool realDivide, std::size_t limit = SIZE_MAX);
void VariantNegate(Variant& v);
void VariantNot(Variant& v);

using VariantOrder = ps::Order;
// Strings compare by their units, numbers by value, a string and a number
// as numbers when the string is one. Null equals only Null and is ordered
// against nothing.
VariantOrder VariantCompare(const Variant& left, const Variant& right);
