#pragma once
// Reading and writing typed script values as numbers and texts, the real and
// currency arithmetic the value operations share, and the table of object
// handles.
//
// The getters raise a plain exception with the text "Type Mismatch" for a
// type they do not take; the setters never raise and clear their ok flag
// instead. A pointer value is read through to its target.

#include "script/runtime/types.h"
#include "script/runtime/variant.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TPSExec;

[[noreturn]] void RaiseTypeMismatch();

// Unaligned-safe access to the bytes of a value.
template <typename T> [[gnu::always_inline]] inline T LoadAs(const void* data)
{
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}
template <typename T> [[gnu::always_inline]] inline void StoreAs(void* data, T value)
{
    std::memcpy(data, &value, sizeof value);
}

// The integer types, Byte to LongInt and Int64.
[[gnu::always_inline]] inline bool IsIntegerType(ps::BaseType base)
{
    return (ps::code(base) >= ps::code(ps::BaseType::Byte) && ps::code(base) <= ps::code(ps::BaseType::LongInt)) ||
           base == ps::BaseType::Int64;
}

// Integers and characters of up to 64 bits, extended by their own sign.
[[gnu::always_inline]] inline std::int64_t LoadOrdinal(const void* data, ps::BaseType base)
{
    switch (base) {
    case ps::BaseType::Byte:
    case ps::BaseType::Char:
        return LoadAs<std::uint8_t>(data);
    case ps::BaseType::ShortInt:
        return LoadAs<std::int8_t>(data);
    case ps::BaseType::Word:
    case ps::BaseType::WideChar:
        return LoadAs<std::uint16_t>(data);
    case ps::BaseType::SmallInt:
        return LoadAs<std::int16_t>(data);
    case ps::BaseType::LongWord:
        return LoadAs<std::uint32_t>(data);
    case ps::BaseType::LongInt:
        return LoadAs<std::int32_t>(data);
    default:
        return LoadAs<std::int64_t>(data);
    }
}

// Stores the low bits that fit the type's width.
[[gnu::always_inline]] inline void StoreOrdinal(void* data, ps::BaseType base, std::uint64_t bits)
{
    switch (base) {
    case ps::BaseType::Byte:
    case ps::BaseType::ShortInt:
    case ps::BaseType::Char:
        StoreAs(data, static_cast<std::uint8_t>(bits));
        break;
    case ps::BaseType::Word:
    case ps::BaseType::SmallInt:
    case ps::BaseType::WideChar:
        StoreAs(data, static_cast<std::uint16_t>(bits));
        break;
    case ps::BaseType::LongWord:
    case ps::BaseType::LongInt:
        StoreAs(data, static_cast<std::uint32_t>(bits));
        break;
    default:
        StoreAs(data, bits);
        break;
    }
}

// Follows a pointer value to its target; any other value is left as it is.
// A pointer without a target raises "Type Mismatch".
void FollowValuePointer(const void*& data, const TPSTypeRec*& type);

std::uint32_t GetValueAsUInt(const void* data, const TPSTypeRec* type);
std::int32_t GetValueAsInt(const void* data, const TPSTypeRec* type);
std::int64_t GetValueAsInt64(const void* data, const TPSTypeRec* type);
long double GetValueAsReal(const void* data, const TPSTypeRec* type);
// The value in ten-thousandths, rounded half to even.
std::int64_t GetValueAsCurrency(const void* data, const TPSTypeRec* type);
std::string GetValueAsAnsiString(const void* data, const TPSTypeRec* type);
std::u16string GetValueAsWideString(const void* data, const TPSTypeRec* type);
std::u16string GetValueAsUnicodeString(const void* data, const TPSTypeRec* type);

void SetValueFromUInt(void* data, const TPSTypeRec* type, bool& ok, std::uint32_t value);
void SetValueFromInt(void* data, const TPSTypeRec* type, bool& ok, std::int32_t value);
void SetValueFromInt64(void* data, const TPSTypeRec* type, bool& ok, std::int64_t value);
void SetValueFromReal(void* data, const TPSTypeRec* type, bool& ok, long double value);
void SetValueFromAnsiString(void* data, const TPSTypeRec* type, bool& ok, const std::string& value);
void SetValueFromWideString(void* data, const TPSTypeRec* type, bool& ok, const std::u16string& value);
void SetValueFromUnicodeString(void* data, const TPSTypeRec* type, bool& ok, const std::u16string& value);

// The outcome of a calculation of the shared number rules; a fault is
// raised as the exception the interpreter reports for it: "Type Mismatch",
// EZeroDivide or EMathError.
[[noreturn]] void RaiseNumberFault(ps::NumberFault fault);
template <typename T> T Checked(const ps::Calculated<T>& result)
{
    if (!result.ok())
        RaiseNumberFault(result.fault);
    return result.value;
}

// Every allocation a script causes stays within the executer's memory
// limit; one beyond it raises std::bad_alloc, which the script sees as
// "Out Of Memory".
void CheckAllocation(std::uint64_t bytes, std::size_t limit);

// The value as a number, for the numeric and character types; false for
// any other type.
bool NumberOf(const void* data, const TPSTypeRec* type, ps::Number& out);

// Reals of base Single, Double and Extended. Storing a finite value that
// the type cannot hold raises EMathError.
long double LoadReal(const void* data, ps::BaseType base);
void StoreReal(void* data, ps::BaseType base, long double value);

// a op b for op + - * / (0 to 3), by the shared number rules.
long double RealArithmetic(std::uint8_t op, long double a, long double b);
// The real as a double; EMathError when it is finite but beyond that range.
double ToDouble(long double value);
// Rounds half to even; EMathError when the result passes the Int64 range.
std::int64_t RoundToInt64(long double value);

// Texts of numbers as Variants convert them: up to `digits` significant
// digits ("0.1", "1E20"), and currency with up to four decimals.
std::string RealToText(double value, int digits = 15);
std::string CurrencyToText(std::int64_t scaled);
// A whole text (blanks around it allowed) that is a decimal number.
bool TextToInt64(std::string_view text, std::int64_t& value);
bool TextToReal(std::string_view text, long double& value);

// A value as a Variant: integers, reals, currency, strings and characters,
// Booleans (a Byte type exported as BOOLEAN), dates (a Double type exported
// as TDATETIME), Variants, and arrays of any of these as a Variant array.
// False for records, pointers, procedural values, sets, classes and
// interfaces.
// Everything the conversion makes counts against limit; beyond it
// std::bad_alloc is raised.
bool ValueToVariant(const void* data, const TPSTypeRec* type, Variant& out, std::size_t limit = SIZE_MAX);
// Fills a dynamic array from a Variant array, element by element with
// AssignValue; False (reported) on the first element that does not convert,
// or when the Variant is no array.
bool VariantToDynArray(TPSExec* exec, void* array, const Variant& value, const TPSTypeRec* arrayType);

// Object references stand in a 32-bit integer as a handle of this table:
// 0 for nil, otherwise a number given out for that object and kept until
// the table is cleared.
class TPSObjectHandles
{
public:
    std::uint32_t HandleOf(void* object);
    // False for a number that was never given out.
    bool ObjectOf(std::uint32_t handle, void*& object) const;
    void Clear();

private:
    std::vector<void*> objects_;
    std::unordered_map<void*, std::uint32_t> handles_;
};
