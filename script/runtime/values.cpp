#include "script/runtime/values.h"

#include "script/common/utf.h"
#include "script/runtime/errors.h"
#include "script/runtime/exec.h"
#include "script/runtime/value_ops.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>

using ps::BaseType;

static_assert(LDBL_MANT_DIG == 64, "Extended values are stored in the 80-bit format of long double");

namespace {

constexpr std::size_t ExtendedSize = 10;

std::string oneByte(std::uint32_t code)
{
    return std::string(1, static_cast<char>(code));
}

// The text of a PChar ends at its first zero.
std::string zeroTerminated(const std::string& text)
{
    return text.substr(0, text.find('\0'));
}

const std::string& stringAt(const void* data)
{
    return *static_cast<const std::string*>(data);
}

const std::u16string& wideAt(const void* data)
{
    return *static_cast<const std::u16string*>(data);
}

const Variant& variantAt(const void* data)
{
    return *static_cast<const Variant*>(data);
}

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Runs a setter body; any failure inside clears the ok flag.
template <typename F> void guarded(bool& ok, F&& body)
{
    try {
        if (!body())
            ok = false;
    } catch (...) {
        ok = false;
    }
}

// The target of a pointer destination, or false.
bool followDestination(void*& data, const TPSTypeRec*& type)
{
    if (type->baseType != BaseType::Pointer)
        return true;
    const void* target = data;
    try {
        FollowValuePointer(target, type);
    } catch (...) {
        return false;
    }
    data = const_cast<void*>(target);
    return true;
}

// The destinations of the integer setters: a Variant gets the integer
// with the given code, a procedural value (for integers of 32 bits) its
// number.
bool setFromInteger(void* data, const TPSTypeRec* type, std::int64_t value, std::uint16_t variantCode)
{
    switch (type->baseType) {
    case BaseType::Procedural:
        if (variantCode == varcode::Int64)
            return false;
        *static_cast<TPSProcValue*>(data) = {static_cast<std::uint32_t>(value), nullptr, nullptr};
        return true;
    case BaseType::Byte:
    case BaseType::ShortInt:
    case BaseType::Char:
        StoreAs(data, static_cast<std::uint8_t>(value));
        return true;
    case BaseType::Word:
    case BaseType::SmallInt:
    case BaseType::WideChar:
        StoreAs(data, static_cast<std::uint16_t>(value));
        return true;
    case BaseType::LongWord:
    case BaseType::LongInt:
        StoreAs(data, static_cast<std::uint32_t>(value));
        return true;
    case BaseType::Single:
    case BaseType::Double:
    case BaseType::Extended:
        StoreReal(data, type->baseType, static_cast<long double>(value));
        return true;
    case BaseType::Variant:
        *static_cast<Variant*>(data) = VariantFromInt(value, variantCode);
        return true;
    case BaseType::Int64:
        StoreAs(data, value);
        return true;
    case BaseType::Currency:
        StoreAs(data, RoundToInt64(static_cast<long double>(value) * 10000));
        return true;
    default:
        return false;
    }
}

// The text forms a string setter converts between.
const std::string& narrowOf(const std::string& text)
{
    return text;
}
std::string narrowOf(const std::u16string& text)
{
    return Utf16ToUtf8(text);
}
std::u16string wideOf(const std::string& text)
{
    return Utf8ToUtf16(text);
}
const std::u16string& wideOf(const std::u16string& text)
{
    return text;
}
Variant variantOf(const std::string& text)
{
    return VariantFromString(text);
}
Variant variantOf(const std::u16string& text)
{
    return VariantFromWide(text);
}
char16_t unitOf(char c)
{
    return static_cast<unsigned char>(c);
}
char16_t unitOf(char16_t c)
{
    return c;
}

// Strings take the text converted, characters its first unit (an empty
// text leaves them as they are), a Char that unit's low byte.
template <typename Text> bool setFromText(void* data, const TPSTypeRec* type, const Text& value)
{
    switch (type->baseType) {
    case BaseType::AnsiString:
        *static_cast<std::string*>(data) = narrowOf(value);
        return true;
    case BaseType::Variant:
        *static_cast<Variant*>(data) = variantOf(value);
        return true;
    case BaseType::Char:
        if (!value.empty())
            StoreAs(data, static_cast<std::uint8_t>(unitOf(value[0])));
        return true;
    case BaseType::WideString:
    case BaseType::UnicodeString:
        *static_cast<std::u16string*>(data) = wideOf(value);
        return true;
    case BaseType::WideChar:
        if (!value.empty())
            StoreAs(data, unitOf(value[0]));
        return true;
    default:
        return false;
    }
}

} // namespace

void RaiseTypeMismatch()
{
    throw std::runtime_error(std::string(pstext::TypeMismatch));
}

void FollowValuePointer(const void*& data, const TPSTypeRec*& type)
{
    if (type->baseType != BaseType::Pointer)
        return;
    const auto& pointer = *static_cast<const TPSPointerValue*>(data);
    // A target on the stack may be gone; only the interpreter can tell, and
    // it follows such pointers itself before a value operation runs.
    if (!pointer.data || !pointer.type || pointer.type->baseType == BaseType::Pointer || pointer.origin.stackIndex >= 0)
        RaiseTypeMismatch();
    data = pointer.data;
    type = pointer.type;
}

// ---- Reals and currency ----------------------------------------------------------

long double LoadReal(const void* data, BaseType base)
{
    switch (base) {
    case BaseType::Single:
        return LoadAs<float>(data);
    case BaseType::Double:
        return LoadAs<double>(data);
    default: {
        long double value = 0;
        std::memcpy(&value, data, ExtendedSize);
        return value;
    }
    }
}

void StoreReal(void* data, BaseType base, long double value)
{
    value = Checked(ps::RealOfType(base, value));
    switch (base) {
    case BaseType::Single:
        StoreAs(data, static_cast<float>(value));
        break;
    case BaseType::Double:
        StoreAs(data, static_cast<double>(value));
        break;
    default:
        std::memcpy(data, &value, ExtendedSize);
        break;
    }
}

long double RealArithmetic(std::uint8_t op, long double a, long double b)
{
    return Checked(ps::RealArithmetic(static_cast<pscode::CalcOp>(op), a, b));
}

double ToDouble(long double value)
{
    double narrowed;
    StoreReal(&narrowed, BaseType::Double, value);
    return narrowed;
}

std::int64_t RoundToInt64(long double value)
{
    return Checked(ps::RoundToInt64(value));
}

void CheckAllocation(std::uint64_t bytes, std::size_t limit)
{
    if (bytes > limit)
        throw std::bad_alloc();
}

void RaiseNumberFault(ps::NumberFault fault)
{
    switch (fault) {
    case ps::NumberFault::DivideByZero:
        throw EZeroDivide("Floating point division by zero");
    case ps::NumberFault::Invalid:
        throw EMathError("Invalid floating point operation");
    case ps::NumberFault::Overflow:
        throw EMathError("Floating point overflow");
    default:
        RaiseTypeMismatch();
    }
}

bool NumberOf(const void* data, const TPSTypeRec* type, ps::Number& out)
{
    const BaseType base = type->baseType;
    out = {base, 0, 0};
    switch (base) {
    case BaseType::Single:
    case BaseType::Double:
    case BaseType::Extended:
        out.real = LoadReal(data, base);
        return true;
    case BaseType::Currency:
    case BaseType::Int64:
        out.integer = LoadAs<std::int64_t>(data);
        return true;
    case BaseType::Byte:
    case BaseType::Char:
        out.integer = LoadAs<std::uint8_t>(data);
        return true;
    case BaseType::ShortInt:
        out.integer = LoadAs<std::int8_t>(data);
        return true;
    case BaseType::Word:
    case BaseType::WideChar:
        out.integer = LoadAs<std::uint16_t>(data);
        return true;
    case BaseType::SmallInt:
        out.integer = LoadAs<std::int16_t>(data);
        return true;
    case BaseType::LongWord:
        out.integer = LoadAs<std::uint32_t>(data);
        return true;
    case BaseType::LongInt:
        out.integer = LoadAs<std::int32_t>(data);
        return true;
    default:
        return false;
    }
}

std::string RealToText(double value, int digits)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits).ptr;
    std::string text(buffer, end);
    // "1e+20" is written "1E20", "1e-07" "1E-7".
    if (const auto e = text.find('e'); e != std::string::npos) {
        std::string exponent = text.substr(e + 1);
        const bool negative = exponent.front() == '-';
        exponent.erase(0, exponent.find_first_not_of("+-0"));
        text = text.substr(0, e) + "E" + (negative ? "-" : "") + exponent;
    }
    return text;
}

std::string CurrencyToText(std::int64_t scaled)
{
    const bool negative = scaled < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(scaled) : scaled;
    std::string text = (negative ? "-" : "") + std::to_string(magnitude / 10000);
    std::string fraction = std::to_string(magnitude % 10000 + 10000).substr(1);
    fraction.erase(fraction.find_last_not_of('0') + 1);
    if (!fraction.empty())
        text += "." + fraction;
    return text;
}

bool TextToInt64(std::string_view text, std::int64_t& value)
{
    text = trimBlanks(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty() || text.front() == '+')
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

bool TextToReal(std::string_view text, long double& value)
{
    text = trimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // Digits or a point first: no signs twice, no "inf" or "nan".
    if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text.front())) || text.front() == '.'))
        return false;
    double parsed;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size())
        return false;
    value = negative ? -parsed : parsed;
    return true;
}

// ---- Getters ---------------------------------------------------------------------

std::uint32_t GetValueAsUInt(const void* data, const TPSTypeRec* type)
{
    FollowValuePointer(data, type);
    switch (type->baseType) {
    case BaseType::Byte:
    case BaseType::Char:
        return LoadAs<std::uint8_t>(data);
    case BaseType::ShortInt:
        return static_cast<std::uint32_t>(std::int32_t(LoadAs<std::int8_t>(data)));
    case BaseType::Word:
    case BaseType::WideChar:
        return LoadAs<std::uint16_t>(data);
    case BaseType::SmallInt:
        return static_cast<std::uint32_t>(std::int32_t(LoadAs<std::int16_t>(data)));
    case BaseType::LongWord:
    case BaseType::LongInt:
        return LoadAs<std::uint32_t>(data);
    case BaseType::Int64:
        return static_cast<std::uint32_t>(LoadAs<std::uint64_t>(data));
    case BaseType::Variant: {
        // A one-character text gives its character's code.
        const Variant& v = variantAt(data);
        if (v.type == varcode::OleStr) {
            const auto& text = std::get<std::u16string>(v.value);
            if (text.size() != 1)
                RaiseTypeMismatch();
            return text[0];
        }
        if (v.type == varcode::String) {
            const auto& text = std::get<std::string>(v.value);
            if (text.size() != 1)
                RaiseTypeMismatch();
            return static_cast<std::uint8_t>(text[0]);
        }
        return static_cast<std::uint32_t>(VariantToInt64(v));
    }
    default:
        RaiseTypeMismatch();
    }
}

std::int32_t GetValueAsInt(const void* data, const TPSTypeRec* type)
{
    FollowValuePointer(data, type);
    if (type->baseType == BaseType::Variant)
        return VariantToInt32(variantAt(data));
    return static_cast<std::int32_t>(GetValueAsUInt(data, type));
}

std::int64_t GetValueAsInt64(const void* data, const TPSTypeRec* type)
{
    FollowValuePointer(data, type);
    switch (type->baseType) {
    case BaseType::Byte:
    case BaseType::Char:
    case BaseType::Word:
    case BaseType::WideChar:
    case BaseType::LongWord:
        return GetValueAsUInt(data, type);
    case BaseType::ShortInt:
    case BaseType::SmallInt:
    case BaseType::LongInt:
        return static_cast<std::int32_t>(GetValueAsUInt(data, type));
    case BaseType::Int64:
        return LoadAs<std::int64_t>(data);
    case BaseType::Variant:
        return VariantToInt64(variantAt(data));
    default:
        RaiseTypeMismatch();
    }
}

long double GetValueAsReal(const void* data, const TPSTypeRec* type)
{
    FollowValuePointer(data, type);
    if (type->baseType == BaseType::Variant)
        return VariantToReal(variantAt(data));
    ps::Number number;
    if (!NumberOf(data, type, number))
        RaiseTypeMismatch();
    return Checked(ps::NumberAsReal(number));
}

std::int64_t GetValueAsCurrency(const void* data, const TPSTypeRec* type)
{
    FollowValuePointer(data, type);
    if (type->baseType == BaseType::Variant)
        return VariantToCurrency(variantAt(data));
    ps::Number number;
    if (!NumberOf(data, type, number))
        RaiseTypeMismatch();
    return Checked(ps::NumberAsCurrency(number));
}

std::string GetValueAsAnsiString(const void* data, const TPSTypeRec* type)
{
    FollowValuePointer(data, type);
    switch (type->baseType) {
    case BaseType::Byte:
    case BaseType::Char:
        return oneByte(LoadAs<std::uint8_t>(data));
    case BaseType::AnsiString:
        return stringAt(data);
    case BaseType::PChar:
        return zeroTerminated(stringAt(data));
    case BaseType::Variant:
        return VariantToAnsi(variantAt(data));
    case BaseType::WideString:
    case BaseType::UnicodeString:
        return Utf16ToUtf8(wideAt(data));
    case BaseType::WideChar:
        return Utf16ToUtf8(std::u16string(1, LoadAs<char16_t>(data)));
    default:
        RaiseTypeMismatch();
    }
}

std::u16string GetValueAsWideString(const void* data, const TPSTypeRec* type)
{
    FollowValuePointer(data, type);
    switch (type->baseType) {
    case BaseType::Byte:
    case BaseType::Char:
        return Utf8ToUtf16(oneByte(LoadAs<std::uint8_t>(data)));
    case BaseType::Word:
    case BaseType::WideChar:
        return std::u16string(1, LoadAs<char16_t>(data));
    case BaseType::AnsiString:
    case BaseType::PChar:
        return Utf8ToUtf16(GetValueAsAnsiString(data, type));
    case BaseType::Variant:
        return VariantToWide(variantAt(data));
    case BaseType::WideString:
    case BaseType::UnicodeString:
        return wideAt(data);
    default:
        RaiseTypeMismatch();
    }
}

std::u16string GetValueAsUnicodeString(const void* data, const TPSTypeRec* type)
{
    return GetValueAsWideString(data, type);
}

// ---- Setters ---------------------------------------------------------------------

void SetValueFromUInt(void* data, const TPSTypeRec* type, bool& ok, std::uint32_t value)
{
    guarded(ok, [&] { return followDestination(data, type) && setFromInteger(data, type, value, varcode::LongWord); });
}

void SetValueFromInt(void* data, const TPSTypeRec* type, bool& ok, std::int32_t value)
{
    guarded(ok, [&] { return followDestination(data, type) && setFromInteger(data, type, value, varcode::Integer); });
}

void SetValueFromInt64(void* data, const TPSTypeRec* type, bool& ok, std::int64_t value)
{
    guarded(ok, [&] { return followDestination(data, type) && setFromInteger(data, type, value, varcode::Int64); });
}

void SetValueFromReal(void* data, const TPSTypeRec* type, bool& ok, long double value)
{
    guarded(ok, [&] {
        if (!followDestination(data, type))
            return false;
        switch (type->baseType) {
        case BaseType::Single:
        case BaseType::Double:
        case BaseType::Extended:
            StoreReal(data, type->baseType, value);
            return true;
        case BaseType::Variant:
            *static_cast<Variant*>(data) = VariantFromReal(ToDouble(value));
            return true;
        case BaseType::Currency:
            StoreAs(data, RoundToInt64(value * 10000));
            return true;
        default:
            return false;
        }
    });
}

void SetValueFromAnsiString(void* data, const TPSTypeRec* type, bool& ok, const std::string& value)
{
    guarded(ok, [&] { return followDestination(data, type) && setFromText(data, type, value); });
}

void SetValueFromWideString(void* data, const TPSTypeRec* type, bool& ok, const std::u16string& value)
{
    guarded(ok, [&] { return followDestination(data, type) && setFromText(data, type, value); });
}

void SetValueFromUnicodeString(void* data, const TPSTypeRec* type, bool& ok, const std::u16string& value)
{
    void* target = data;
    const TPSTypeRec* targetType = type;
    if (followDestination(target, targetType) &&
        (targetType->baseType == BaseType::Char || targetType->baseType == BaseType::WideChar)) {
        ok = false;
        return;
    }
    SetValueFromWideString(data, type, ok, value);
}

// ---- Variants of values --------------------------------------------------------------

namespace {

// What a conversion to Variants may still allocate: the Variants of every
// array it makes and the texts it copies.
struct VariantBudget
{
    std::size_t left;
    void spend(std::uint64_t bytes)
    {
        if (bytes > left)
            throw std::bad_alloc();
        left -= static_cast<std::size_t>(bytes);
    }
};

std::size_t textBytes(const Variant& v)
{
    if (const auto* text = std::get_if<std::string>(&v.value))
        return text->size();
    if (const auto* wide = std::get_if<std::u16string>(&v.value))
        return wide->size() * sizeof(char16_t);
    return 0;
}

bool toVariant(const void* data, const TPSTypeRec* type, Variant& out, VariantBudget& budget)
{
    switch (type->baseType) {
    case BaseType::Byte:
        out = type->exportName == "BOOLEAN" ? VariantFromBool(LoadAs<std::uint8_t>(data) != 0)
                                            : VariantFromInt(LoadAs<std::uint8_t>(data), varcode::Byte);
        return true;
    case BaseType::ShortInt:
        out = VariantFromInt(LoadAs<std::int8_t>(data), varcode::ShortInt);
        return true;
    case BaseType::Word:
        out = VariantFromInt(LoadAs<std::uint16_t>(data), varcode::Word);
        return true;
    case BaseType::SmallInt:
        out = VariantFromInt(LoadAs<std::int16_t>(data), varcode::SmallInt);
        return true;
    case BaseType::LongWord:
        out = VariantFromInt(LoadAs<std::uint32_t>(data), varcode::LongWord);
        return true;
    case BaseType::LongInt:
        out = VariantFromInt(LoadAs<std::int32_t>(data), varcode::Integer);
        return true;
    case BaseType::Int64:
        out = VariantFromInt(LoadAs<std::int64_t>(data), varcode::Int64);
        return true;
    case BaseType::Single:
        out = VariantFromReal(LoadAs<float>(data), varcode::Single);
        return true;
    case BaseType::Double:
        out = VariantFromReal(LoadAs<double>(data), type->exportName == "TDATETIME" ? varcode::Date : varcode::Double);
        return true;
    case BaseType::Extended:
        out = VariantFromReal(ToDouble(LoadReal(data, BaseType::Extended)));
        return true;
    case BaseType::Currency:
        out = VariantFromCurrency(LoadAs<std::int64_t>(data));
        return true;
    case BaseType::AnsiString:
    case BaseType::PChar:
    case BaseType::Char:
        out = VariantFromString(GetValueAsAnsiString(data, type));
        budget.spend(textBytes(out));
        return true;
    case BaseType::WideString:
    case BaseType::UnicodeString:
    case BaseType::WideChar:
        out = VariantFromWide(GetValueAsWideString(data, type));
        budget.spend(textBytes(out));
        return true;
    case BaseType::Variant:
        // Arrays are shared, texts copied.
        budget.spend(textBytes(variantAt(data)));
        out = variantAt(data);
        return true;
    case BaseType::DynArray:
    case BaseType::StaticArray: {
        const TPSTypeRec* element = static_cast<const TPSTypeRec_Array*>(type)->elementType;
        const bool dynamic = type->baseType == BaseType::DynArray;
        const std::uint32_t count =
            dynamic ? DynArrayGetLength(data, type) : static_cast<const TPSTypeRec_StaticArray*>(type)->elementCount;
        const auto* first = static_cast<const std::byte*>(dynamic ? DynArrayElements(data) : data);
        // One Variant per element, however often the element's own array is
        // shared among the elements.
        budget.spend(std::uint64_t(count) * sizeof(Variant));
        std::vector<Variant> items(count);
        for (std::uint32_t i = 0; i < count; ++i)
            if (!toVariant(first + std::size_t(i) * element->realSize, element, items[i], budget))
                return false;
        out = VariantFromArray(std::move(items));
        return true;
    }
    default:
        return false;
    }
}

} // namespace

bool ValueToVariant(const void* data, const TPSTypeRec* type, Variant& out, std::size_t limit)
{
    VariantBudget budget{limit};
    return toVariant(data, type, out, budget);
}

bool VariantToDynArray(TPSExec* exec, void* array, const Variant& value, const TPSTypeRec* arrayType)
{
    // The Variant may be an element of the very array that is refilled: the
    // copy keeps its items alive.
    const Variant items = value;
    const VariantArray* source = VariantArrayOf(items);
    if (!source || arrayType->baseType != BaseType::DynArray) {
        exec->SetError(ErTypeMismatch);
        return false;
    }
    const TPSTypeRec* element = static_cast<const TPSTypeRec_Array*>(arrayType)->elementType;
    try {
        CheckAllocation(std::uint64_t(source->items.size()) * element->realSize, exec->MemoryLimit());
        DynArraySetLength(array, arrayType, static_cast<std::uint32_t>(source->items.size()));
    } catch (...) {
        exec->ReportException(std::current_exception());
        return false;
    }
    auto* first = static_cast<std::byte*>(DynArrayElements(array));
    for (std::size_t i = 0; i < source->items.size(); ++i)
        if (!AssignValue(exec, first + i * element->realSize, &source->items[i], element, exec->VariantType()))
            return false;
    return true;
}

// ---- Object handles --------------------------------------------------------------

std::uint32_t TPSObjectHandles::HandleOf(void* object)
{
    if (!object)
        return 0;
    const auto [it, added] = handles_.try_emplace(object, static_cast<std::uint32_t>(objects_.size() + 1));
    if (added)
        objects_.push_back(object);
    return it->second;
}

bool TPSObjectHandles::ObjectOf(std::uint32_t handle, void*& object) const
{
    if (handle == 0) {
        object = nullptr;
        return true;
    }
    if (handle > objects_.size())
        return false;
    object = objects_[handle - 1];
    return true;
}

void TPSObjectHandles::Clear()
{
    objects_.clear();
    handles_.clear();
}
