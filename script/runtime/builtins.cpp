#include "script/runtime/builtins.h"

#include "script/common/utils.h"
#include "script/runtime/errors.h"
#include "script/runtime/exec.h"
#include "script/runtime/native_bridge.h"
#include "script/runtime/value_ops.h"
#include "script/runtime/values.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <string>

using ps::BaseType;

namespace {

// A parameter list that does not fit the routine: the call fails.
using BadCall = psnative::Mismatch;

// The parameters of one call as the compiler lays them out: for a function
// the result variable on top, then the first parameter, the last deepest.
class Args
{
public:
    Args(TPSExec* exec, TPSStack* stack, bool hasResult) : exec_(exec), stack_(stack), hasResult_(hasResult) {}

    TPSValueRef param(std::size_t k) const { return at(-static_cast<std::ptrdiff_t>(k) - (hasResult_ ? 2 : 1)); }
    TPSValueRef result() const
    {
        if (!hasResult_)
            throw BadCall{};
        return at(-1);
    }

    template <auto Getter> auto get(std::size_t k) const
    {
        const TPSValueRef v = param(k);
        return Getter(v.data, v.type);
    }
    std::int64_t int64(std::size_t k) const { return get<GetValueAsInt64>(k); }
    std::int32_t int32(std::size_t k) const { return get<GetValueAsInt>(k); }
    long double real(std::size_t k) const { return get<GetValueAsReal>(k); }
    std::string ansi(std::size_t k) const { return get<GetValueAsAnsiString>(k); }
    std::u16string wide(std::size_t k) const { return get<GetValueAsUnicodeString>(k); }

    void setInt64(std::int64_t value) const { check(SetValueFromInt64, value); }
    void setInt(std::int32_t value) const { check(SetValueFromInt, value); }
    void setReal(long double value) const { check(SetValueFromReal, value); }
    void setAnsi(const std::string& value) const { check(SetValueFromAnsiString, value); }
    void setBool(bool value) const
    {
        const TPSValueRef r = result();
        if (!SetIntegerValue(r.data, r.type, value ? 1 : 0))
            throw BadCall{};
    }

private:
    TPSValueRef at(std::ptrdiff_t index) const
    {
        TPSValueRef out;
        if (!exec_->ParamTarget(stack_->Items(index), out))
            throw BadCall{};
        return out;
    }
    template <typename Setter, typename T> void check(Setter setter, const T& value) const
    {
        const TPSValueRef r = result();
        bool ok = true;
        setter(r.data, r.type, ok, value);
        if (!ok)
            throw BadCall{};
    }

    TPSExec* exec_;
    TPSStack* stack_;
    bool hasResult_;
};

bool isWide(const TPSTypeRec* type)
{
    return type->baseType == BaseType::WideString || type->baseType == BaseType::UnicodeString;
}

bool isText(const TPSTypeRec* type)
{
    return isWide(type) || type->baseType == BaseType::AnsiString || type->baseType == BaseType::PChar;
}

// A text a built-in makes holds at most as many bytes as the executer lets
// its value stack hold.
template <typename Str> void checkLength(std::int64_t length, std::size_t limit)
{
    if (length > 0 && static_cast<std::uint64_t>(length) > limit / sizeof(typename Str::value_type))
        throw std::bad_alloc();
}

// A text of either width, kept in the width of the value it came from and
// written back into any string value.
template <typename Str> Str textOf(const TPSValueRef& v);
template <> std::string textOf<std::string>(const TPSValueRef& v)
{
    return GetValueAsAnsiString(v.data, v.type);
}
template <> std::u16string textOf<std::u16string>(const TPSValueRef& v)
{
    return GetValueAsUnicodeString(v.data, v.type);
}

void storeText(const TPSValueRef& dest, const std::string& text)
{
    psnative::WriteAnsi(dest, text);
}

void storeText(const TPSValueRef& dest, const std::u16string& text)
{
    psnative::WriteWide(dest, text);
}

// Runs body with the text of v in the width of v's type (AnsiString for
// anything that is not a wide string).
template <typename Body> void withText(const TPSValueRef& v, Body body)
{
    if (isWide(v.type))
        body(textOf<std::u16string>(v));
    else
        body(textOf<std::string>(v));
}

// --- case changes

char16_t wideUpper(char16_t c)
{
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) ||
        (c >= 0x430 && c <= 0x44F))
        return static_cast<char16_t>(c - 32);
    if (c >= 0x450 && c <= 0x45F)
        return static_cast<char16_t>(c - 80);
    if (c == 0xFF)
        return 0x178;
    // Latin Extended-A pairs the cases as neighbours.
    const bool evenUpper = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((evenUpper && c % 2 == 1) || (oddUpper && c % 2 == 0))
        return static_cast<char16_t>(c - 1);
    return c;
}

char16_t wideLower(char16_t c)
{
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F))
        return static_cast<char16_t>(c + 32);
    if (c >= 0x400 && c <= 0x40F)
        return static_cast<char16_t>(c + 80);
    if (c == 0x178)
        return 0xFF;
    const bool evenUpper = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((evenUpper && c % 2 == 0) || (oddUpper && c % 2 == 1))
        return static_cast<char16_t>(c + 1);
    return c;
}

std::string asciiCase(std::string text, bool upper)
{
    for (char& c : text) {
        if (upper && c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
        else if (!upper && c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    }
    return text;
}

std::u16string wideCase(std::u16string text, bool upper)
{
    for (char16_t& c : text)
        c = upper ? wideUpper(c) : wideLower(c);
    return text;
}

template <typename Str> Str trimmed(const Str& text)
{
    std::size_t first = 0, last = text.size();
    while (first < last && static_cast<std::uint32_t>(text[first]) <= ' ')
        ++first;
    while (last > first && static_cast<std::uint32_t>(text[last - 1]) <= ' ')
        --last;
    return text.substr(first, last - first);
}

// Copy(s, from, count): from below 1 counts from 1, a count below 0 is 0.
template <typename Str> Str copied(const Str& text, std::int64_t from, std::int64_t count)
{
    if (from < 1)
        from = 1;
    if (count <= 0 || from > static_cast<std::int64_t>(text.size()))
        return {};
    return text.substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(count));
}

template <typename Str> Str deleted(Str text, std::int64_t from, std::int64_t count)
{
    if (from >= 1 && count > 0 && from <= static_cast<std::int64_t>(text.size()))
        text.erase(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(count));
    return text;
}

template <typename Str> Str inserted(const Str& what, Str text, std::int64_t at, std::size_t limit)
{
    checkLength<Str>(static_cast<std::int64_t>(what.size() + text.size()), limit);
    const auto length = static_cast<std::int64_t>(text.size());
    at = at < 1 ? 1 : (at > length + 1 ? length + 1 : at);
    text.insert(static_cast<std::size_t>(at - 1), what);
    return text;
}

template <typename Str> std::int32_t position(const Str& sub, const Str& text)
{
    if (sub.empty())
        return 0;
    const std::size_t found = text.find(sub);
    return found == Str::npos ? 0 : static_cast<std::int32_t>(found + 1);
}

template <typename Str> Str padded(const Str& text, std::int64_t width, int tag, std::size_t limit)
{
    const std::int64_t missing = width - static_cast<std::int64_t>(text.size());
    if (missing <= 0)
        return text;
    checkLength<Str>(width, limit);
    const Str fill(static_cast<std::size_t>(missing), tag == 27 ? '0' : ' ');
    return tag == 26 ? text + fill : fill + text;
}

// --- characters of a string variable

[[noreturn]] void outOfStringRange()
{
    throw EPSRuntimeError(erCustomError, std::string(pstext::OutOfStringRange));
}

std::size_t charIndex(std::int64_t i, std::size_t length)
{
    if (i < 1 || i > static_cast<std::int64_t>(length))
        outOfStringRange();
    return static_cast<std::size_t>(i - 1);
}

// A character value's code; a text gives its first character.
char16_t charOf(const TPSValueRef& v)
{
    if (isText(v.type) && GetValueAsUnicodeString(v.data, v.type).empty())
        throw BadCall{};
    return psnative::ReadChar(v);
}

// Character i of the string variable s, or sets it when set is given. The
// variable's own text is changed in place: no other variable shares it.
char16_t stringChar(const TPSValueRef& s, std::int64_t i, const char16_t* set)
{
    switch (s.type->baseType) {
    case BaseType::AnsiString:
    case BaseType::PChar: {
        auto& text = *static_cast<std::string*>(s.data);
        const std::size_t at = charIndex(i, text.size());
        if (set)
            text[at] = static_cast<char>(*set);
        return static_cast<std::uint8_t>(text[at]);
    }
    case BaseType::WideString:
    case BaseType::UnicodeString: {
        auto& text = *static_cast<std::u16string*>(s.data);
        const std::size_t at = charIndex(i, text.size());
        if (set)
            text[at] = *set;
        return text[at];
    }
    default:
        throw BadCall{};
    }
}

// --- ordinals

std::int64_t lengthOf(const TPSValueRef& v);

bool lowHigh(const TPSValueRef& v, std::int64_t& low, std::int64_t& high)
{
    switch (v.type->baseType) {
    case BaseType::Byte:
    case BaseType::Char:
        low = 0, high = 255;
        return true;
    case BaseType::ShortInt:
        low = -128, high = 127;
        return true;
    case BaseType::Word:
    case BaseType::WideChar:
        low = 0, high = 65535;
        return true;
    case BaseType::SmallInt:
        low = -32768, high = 32767;
        return true;
    case BaseType::LongWord:
        low = 0, high = 4294967295;
        return true;
    case BaseType::LongInt:
        low = std::numeric_limits<std::int32_t>::min(), high = std::numeric_limits<std::int32_t>::max();
        return true;
    case BaseType::Int64:
        low = std::numeric_limits<std::int64_t>::min(), high = std::numeric_limits<std::int64_t>::max();
        return true;
    case BaseType::AnsiString:
    case BaseType::PChar:
        low = 1, high = lengthOf(v);
        return true;
    case BaseType::WideString:
    case BaseType::UnicodeString:
        low = 1, high = static_cast<std::int64_t>(static_cast<const std::u16string*>(v.data)->size());
        return true;
    case BaseType::DynArray:
        low = 0, high = std::int64_t(DynArrayGetLength(v.data, v.type)) - 1;
        return true;
    case BaseType::StaticArray: {
        const auto* array = static_cast<const TPSTypeRec_StaticArray*>(v.type);
        low = array->lowBound, high = std::int64_t(array->lowBound) + array->elementCount - 1;
        return true;
    }
    default:
        return false;
    }
}

bool step(const TPSValueRef& v, int delta)
{
    switch (v.type->baseType) {
    case BaseType::Char:
        StoreAs<std::uint8_t>(v.data, static_cast<std::uint8_t>(LoadAs<std::uint8_t>(v.data) + delta));
        return true;
    case BaseType::WideChar:
        StoreAs<char16_t>(v.data, static_cast<char16_t>(LoadAs<char16_t>(v.data) + delta));
        return true;
    default: {
        // The integer types wrap around.
        std::int64_t value = 0;
        return GetIntegerValue(v.data, v.type, value) &&
               SetIntegerValue(v.data, v.type, static_cast<std::int64_t>(static_cast<std::uint64_t>(value) + delta));
    }
    }
}

// A PChar's text ends at its first zero.
std::int64_t pcharLength(const TPSValueRef& v)
{
    const auto& text = *static_cast<const std::string*>(v.data);
    return static_cast<std::int64_t>(std::min(text.find('\0'), text.size()));
}

std::int64_t lengthOf(const TPSValueRef& v)
{
    switch (v.type->baseType) {
    case BaseType::PChar:
        return pcharLength(v);
    case BaseType::AnsiString:
        return static_cast<std::int64_t>(static_cast<const std::string*>(v.data)->size());
    case BaseType::WideString:
    case BaseType::UnicodeString:
        return static_cast<std::int64_t>(static_cast<const std::u16string*>(v.data)->size());
    case BaseType::Char:
    case BaseType::WideChar:
        return 1;
    case BaseType::DynArray:
        return DynArrayGetLength(v.data, v.type);
    case BaseType::StaticArray:
        return static_cast<const TPSTypeRec_StaticArray*>(v.type)->elementCount;
    case BaseType::Variant: {
        const auto& variant = *static_cast<const Variant*>(v.data);
        if (variant.type == varcode::OleStr)
            return static_cast<std::int64_t>(VariantToWide(variant).size());
        return static_cast<std::int64_t>(VariantToAnsi(variant).size());
    }
    default:
        throw BadCall{};
    }
}

void setLength(const TPSValueRef& v, std::int64_t length, std::size_t limit)
{
    length = length < 0 ? 0 : length;
    switch (v.type->baseType) {
    case BaseType::AnsiString:
    case BaseType::PChar:
        checkLength<std::string>(length, limit);
        static_cast<std::string*>(v.data)->resize(static_cast<std::size_t>(length));
        return;
    case BaseType::WideString:
    case BaseType::UnicodeString:
        checkLength<std::u16string>(length, limit);
        static_cast<std::u16string*>(v.data)->resize(static_cast<std::size_t>(length));
        return;
    case BaseType::DynArray: {
        const std::uint32_t itemSize = static_cast<const TPSTypeRec_Array*>(v.type)->elementType->realSize;
        if (static_cast<std::uint64_t>(length) * std::max<std::uint32_t>(itemSize, 1) > limit)
            throw std::bad_alloc();
        DynArraySetLength(v.data, v.type, static_cast<std::uint32_t>(length));
        return;
    }
    default:
        throw BadCall{};
    }
}

bool assigned(const TPSValueRef& v)
{
    switch (v.type->baseType) {
    case BaseType::AnsiString:
    case BaseType::PChar:
        return !static_cast<const std::string*>(v.data)->empty();
    case BaseType::WideString:
    case BaseType::UnicodeString:
        return !static_cast<const std::u16string*>(v.data)->empty();
    case BaseType::DynArray:
        return LoadAs<TPSDynArrayHeader*>(v.data) != nullptr;
    case BaseType::Class:
        return LoadAs<void*>(v.data) != nullptr;
    case BaseType::Interface:
        return LoadAs<IUnknown*>(v.data) != nullptr;
    default: {
        std::int64_t value = 0;
        if (!GetIntegerValue(v.data, v.type, value))
            throw BadCall{};
        return value != 0;
    }
    }
}

// --- reals

long double checkedReal(long double value)
{
    if (std::isnan(value))
        throw EMathError("Invalid floating point operation");
    return value;
}

std::int32_t toLongInt(long double value)
{
    const std::int64_t whole = RoundToInt64(value);
    if (whole < std::numeric_limits<std::int32_t>::min() || whole > std::numeric_limits<std::int32_t>::max())
        throw EMathError("Invalid floating point operation");
    return static_cast<std::int32_t>(whole);
}

// --- the exception routines

// The error being handled: the innermost try block's when one is open,
// else the executer's last one.
TPSErrorInfo currentError(TPSExec* exec)
{
    if (const TPSExceptionHandler* record = exec->InnermostTry(); record && record->proc)
        return {record->savedCode, record->savedText, record->savedObject, record->savedProc, record->savedPosition};
    return {exec->ExceptionCode(), exec->ExceptionText(), exec->ExceptionObject(), exec->ExceptionProcNo(),
            exec->ExceptionPos()};
}

// The routines that share one handler, by their tag.
bool tagged(TPSExec* exec, TPSExternalProcRec* proc, TPSStack* stack)
{
    const auto tag = static_cast<int>(proc->ext1);
    // Tags of procedures; every other tag is a function's.
    const bool hasResult = tag != 5 && tag != 6 && tag != 8 && tag != 30 && tag != 31 && tag != 43;
    const Args a(exec, stack, hasResult);
    switch (tag) {
    case 0:
    case 40:
        a.setAnsi(std::to_string(a.int64(0)));
        return true;
    case 1:
        a.setInt(StrToIntOrMinus1(a.ansi(0)));
        return true;
    case 2:
        a.setInt(StrToIntWithDefault(a.ansi(0), a.int32(1)));
        return true;
    case 3: {
        const TPSValueRef sub = a.param(0);
        if (isWide(sub.type))
            a.setInt(position(a.wide(0), a.wide(1)));
        else
            a.setInt(position(a.ansi(0), a.ansi(1)));
        return true;
    }
    case 4:
        withText(a.param(0), [&](const auto& s) { storeText(a.result(), copied(s, a.int64(1), a.int64(2))); });
        return true;
    case 5: {
        const TPSValueRef s = a.param(0);
        if (!isText(s.type))
            return false;
        withText(s, [&](const auto& text) { storeText(s, deleted(text, a.int64(1), a.int64(2))); });
        return true;
    }
    case 6: {
        const TPSValueRef s = a.param(1);
        if (!isText(s.type))
            return false;
        withText(s, [&](const auto& text) {
            using Str = std::decay_t<decltype(text)>;
            storeText(s, inserted(textOf<Str>(a.param(0)), text, a.int64(2), exec->MemoryLimit()));
        });
        return true;
    }
    case 7:
    case 42:
        psnative::WriteChar(a.result(), stringChar(a.param(0), a.int64(1), nullptr));
        return true;
    case 8:
    case 43: {
        const char16_t c = charOf(a.param(0));
        stringChar(a.param(2), a.int64(1), &c);
        return true;
    }
    case 10:
    case 11:
    case 37:
    case 38: {
        const bool upper = tag == 10 || tag == 37;
        const TPSValueRef s = a.param(0);
        // The plain routines change only A to Z in an AnsiString; the locale
        // aware ones and wide strings change every letter that has a case.
        if (isWide(s.type) || tag >= 37)
            storeText(a.result(), wideCase(a.wide(0), upper));
        else
            storeText(a.result(), asciiCase(a.ansi(0), upper));
        return true;
    }
    case 12:
        withText(a.param(0), [&](const auto& s) { storeText(a.result(), trimmed(s)); });
        return true;
    case 15:
        a.setReal(checkedReal(std::sin(a.real(0))));
        return true;
    case 16:
        a.setReal(checkedReal(std::cos(a.real(0))));
        return true;
    case 17:
        a.setReal(checkedReal(std::sqrt(a.real(0))));
        return true;
    case 18:
        a.setInt(toLongInt(a.real(0)));
        return true;
    case 19:
        a.setInt(toLongInt(std::trunc(a.real(0))));
        return true;
    case 20:
        a.setReal(std::trunc(a.real(0)));
        return true;
    case 21:
        a.setReal(3.141592653589793238462643383279502884L);
        return true;
    case 22:
        a.setReal(std::fabs(a.real(0)));
        return true;
    case 23:
        a.setReal(StrToFloatStrict(a.ansi(0)));
        return true;
    case 24:
        a.setAnsi(FloatToStrFixed(a.real(0)));
        return true;
    case 25:
    case 26:
    case 27:
        withText(a.param(0),
                 [&](const auto& s) { storeText(a.result(), padded(s, a.int64(1), tag, exec->MemoryLimit())); });
        return true;
    case 28: {
        const std::int64_t count = a.int64(1);
        checkLength<std::string>(count, exec->MemoryLimit());
        a.setAnsi(std::string(count > 0 ? static_cast<std::size_t>(count) : 0, static_cast<char>(charOf(a.param(0)))));
        return true;
    }
    case 29:
        a.setBool(assigned(a.param(0)));
        return true;
    case 30: {
        TPSExceptionHandler* record = exec->InnermostTry();
        if (!record || !record->proc || record->savedCode == ErNoError)
            return true;
        const TPSError code = record->savedCode;
        std::string text = std::move(record->savedText);
        std::exception_ptr object = std::move(record->savedObject);
        record->savedCode = ErNoError;
        record->savedText.clear();
        record->savedObject = nullptr;
        exec->ReportError(code, std::move(text), std::move(object));
        return false;
    }
    case 31: {
        // Raising "no error" raises nothing.
        const auto code = static_cast<TPSError>(a.int32(0));
        if (code == ErNoError)
            return true;
        exec->ReportError(code, a.ansi(1));
        return false;
    }
    case 32:
        a.setInt(currentError(exec).code);
        return true;
    case 33:
        a.setAnsi(currentError(exec).text);
        return true;
    case 34:
        a.setInt64(currentError(exec).procNo);
        return true;
    case 35:
        a.setInt64(currentError(exec).position);
        return true;
    case 36:
        a.setAnsi(ErrorCodeToText(static_cast<unsigned>(a.int32(0)), a.ansi(1)));
        return true;
    case 39: {
        const std::string text = a.ansi(0);
        std::int64_t value = 0;
        if (!TextToInt64(text, value))
            throw std::invalid_argument("'" + text + "' is not a valid integer value");
        a.setInt64(value);
        return true;
    }
    case 41: {
        const TPSValueRef v = a.param(0);
        a.setInt(static_cast<std::int32_t>(v.type ? v.type->realSize : 0));
        return true;
    }
    default:
        return false;
    }
}

// Runs a handler body, turning a parameter list that does not fit into a
// failed call and a string index out of range into its runtime error.
template <bool (*Body)(TPSExec*, TPSExternalProcRec*, TPSStack*)>
bool guarded(TPSExec* exec, TPSExternalProcRec* proc, TPSStack*, TPSStack* stack)
{
    try {
        return Body(exec, proc, stack);
    } catch (const BadCall&) {
        return false;
    } catch (const EPSRuntimeError& e) {
        exec->ReportError(e.code(), e.what());
        return false;
    }
}

bool length(TPSExec* exec, TPSExternalProcRec*, TPSStack* stack)
{
    const Args a(exec, stack, true);
    a.setInt64(lengthOf(a.param(0)));
    return true;
}

bool setLengthProc(TPSExec* exec, TPSExternalProcRec*, TPSStack* stack)
{
    const Args a(exec, stack, false);
    setLength(a.param(0), a.int64(1), exec->MemoryLimit());
    return true;
}

template <bool High> bool lowOrHigh(TPSExec* exec, TPSExternalProcRec*, TPSStack* stack)
{
    const Args a(exec, stack, true);
    std::int64_t low = 0, high = 0;
    if (!lowHigh(a.param(0), low, high))
        return false;
    a.setInt64(High ? high : low);
    return true;
}

template <int Delta> bool incOrDec(TPSExec* exec, TPSExternalProcRec*, TPSStack* stack)
{
    return step(Args(exec, stack, false).param(0), Delta);
}

bool getArrayLength(TPSExec* exec, TPSExternalProcRec*, TPSStack* stack)
{
    const Args a(exec, stack, true);
    const TPSValueRef array = a.param(0);
    if (array.type->baseType != BaseType::DynArray && array.type->baseType != BaseType::StaticArray)
        return false;
    a.setInt64(lengthOf(array));
    return true;
}

bool setArrayLength(TPSExec* exec, TPSExternalProcRec*, TPSStack* stack)
{
    const Args a(exec, stack, false);
    const TPSValueRef array = a.param(0);
    if (array.type->baseType != BaseType::DynArray)
        return false;
    setLength(array, a.int64(1), exec->MemoryLimit());
    return true;
}

// The notification variables live with the host; without its callbacks
// nothing happens.
template <bool Set> bool notificationVariant(TPSExec* exec, TPSExternalProcRec*, TPSStack* stack)
{
    const Args a(exec, stack, !Set);
    if (Set) {
        if (exec->OnSetNotificationVariant)
            exec->OnSetNotificationVariant(exec, a.ansi(0), psnative::ReadVariant(exec, a.param(1)));
    } else if (exec->OnGetNotificationVariant) {
        psnative::WriteVariant(exec, a.result(), exec->OnGetNotificationVariant(exec, a.ansi(0)));
    }
    return true;
}

// Item i of a Variant array, counted from the array's low bound.
const Variant& variantItem(const Variant& array, std::int64_t i)
{
    const VariantArray* items = VariantArrayOf(array);
    if (!items)
        throw EPSRuntimeError(ErTypeMismatch, {});
    const std::int64_t at = i - items->lowBound;
    if (at < 0 || at >= static_cast<std::int64_t>(items->items.size()))
        throw EPSRuntimeError(ErOutOfRange, {});
    return items->items[static_cast<std::size_t>(at)];
}

Variant varArrayGet(Variant& array, std::int32_t i)
{
    return variantItem(array, i);
}

void varArraySet(const Variant& item, std::int32_t i, Variant& array)
{
    variantItem(array, i);
    // Copies share the items; the changed array is a new one.
    const VariantArray& old = *VariantArrayOf(array);
    std::vector<Variant> items = old.items;
    items[static_cast<std::size_t>(i - old.lowBound)] = item;
    const std::uint16_t code = array.type;
    array = VariantFromArray(std::move(items), old.lowBound);
    array.type = code;
}

Variant variantIDispatchInvoke(const TPSNativeObject& self, bool, const std::string&, const std::vector<Variant>&)
{
    if (!self.object)
        throw EPSRuntimeError(erCustomError, "Variant is null, cannot invoke");
    // Late binding needs an automation server; this platform has none.
    throw EPSRuntimeError(erInterfaceNotSupported, {});
}

} // namespace

void RegisterBuiltinProcs(TPSExec* exec)
{
    static constexpr std::pair<const char*, int> taggedNames[] = {
        {"INTTOSTR", 0},
        {"STRTOINT", 1},
        {"STRTOINTDEF", 2},
        {"POS", 3},
        {"COPY", 4},
        {"DELETE", 5},
        {"INSERT", 6},
        {"STRGET", 7},
        {"STRGET2", 7},
        {"STRSET", 8},
        {"UPPERCASE", 10},
        {"LOWERCASE", 11},
        {"TRIM", 12},
        {"SIN", 15},
        {"COS", 16},
        {"SQRT", 17},
        {"ROUND", 18},
        {"TRUNC", 19},
        {"INT", 20},
        {"PI", 21},
        {"ABS", 22},
        {"STRTOFLOAT", 23},
        {"FLOATTOSTR", 24},
        {"PADL", 25},
        {"PADR", 26},
        {"PADZ", 27},
        {"REPLICATE", 28},
        {"STRINGOFCHAR", 28},
        {"!ASSIGNED", 29},
        {"RAISELASTEXCEPTION", 30},
        {"RAISEEXCEPTION", 31},
        {"EXCEPTIONTYPE", 32},
        {"EXCEPTIONPARAM", 33},
        {"EXCEPTIONPROC", 34},
        {"EXCEPTIONPOS", 35},
        {"EXCEPTIONTOSTRING", 36},
        {"ANSIUPPERCASE", 37},
        {"ANSILOWERCASE", 38},
        {"STRTOINT64", 39},
        {"INT64TOSTR", 40},
        {"SIZEOF", 41},
        {"WSTRGET", 42},
        {"WSTRSET", 43},
    };
    exec->RegisterProcName("!NOTIFICATIONVARIANTSET", guarded<notificationVariant<true>>, 0);
    exec->RegisterProcName("!NOTIFICATIONVARIANTGET", guarded<notificationVariant<false>>, 1);
    for (const auto& [name, tag] : taggedNames)
        exec->RegisterProcName(name, guarded<tagged>, static_cast<std::uintptr_t>(tag));
    exec->RegisterProcName("LENGTH", guarded<length>);
    exec->RegisterProcName("SETLENGTH", guarded<setLengthProc>);
    exec->RegisterProcName("LOW", guarded<lowOrHigh<false>>);
    exec->RegisterProcName("HIGH", guarded<lowOrHigh<true>>);
    exec->RegisterProcName("DEC", guarded<incOrDec<-1>>);
    exec->RegisterProcName("INC", guarded<incOrDec<1>>);
    exec->RegisterProcName("GETARRAYLENGTH", guarded<getArrayLength>);
    exec->RegisterProcName("SETARRAYLENGTH", guarded<setArrayLength>);

    RegisterNativeFunction(*exec, "function Unassigned: Variant;", [] { return Variant{}; });
    RegisterNativeFunction(*exec, "function VarIsEmpty(const V: Variant): Boolean;",
                           [](const Variant& v) { return v.type == varcode::Empty; });
    RegisterNativeFunction(*exec, "function Null: Variant;", [] { return Variant{varcode::Null, {}}; });
    RegisterNativeFunction(*exec, "function VarIsNull(const V: Variant): Boolean;",
                           [](const Variant& v) { return v.type == varcode::Null; });
    RegisterNativeFunction(*exec, "function VarType(const V: Variant): Word;", [](const Variant& v) { return v.type; });
    RegisterNativeFunction(*exec, "Function VarArrayGet(var S : Variant; I : Integer) : Variant;", varArrayGet);
    RegisterNativeFunction(*exec, "procedure VarArraySet(c : Variant; I : Integer; var s : Variant);", varArraySet);
    RegisterNativeFunction(*exec,
                           "function IDispatchInvoke(Self: IDispatch; PropertySet: Boolean; const Name: String; "
                           "Par: array of variant): variant;",
                           variantIDispatchInvoke);
}
