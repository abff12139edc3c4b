#include "script/runtime/builtins.h"

#include "script/common/utils.h"
#include "script/runtime/errors.h"
#include "script/runtime/exec.h"
#include "script/runtime/native_bridge.h"
#include "script/runtime/value_ops.h"
#include "script/runtime/values.h"

#include <algorithm>
#include <array>
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

// --- the routines that share one handler, told apart by their tag

// A routine's body: reads its parameters, writes its result; False when the
// parameters are of types it does not take.
using TaggedBody = bool (*)(TPSExec* exec, const Args& a, int tag);

bool intToStr(TPSExec*, const Args& a, int)
{
    a.setAnsi(std::to_string(a.int64(0)));
    return true;
}

bool strToInt(TPSExec*, const Args& a, int)
{
    a.setInt(StrToIntOrMinus1(a.ansi(0)));
    return true;
}

bool strToIntDef(TPSExec*, const Args& a, int)
{
    a.setInt(StrToIntWithDefault(a.ansi(0), a.int32(1)));
    return true;
}

bool strToInt64(TPSExec*, const Args& a, int)
{
    const std::string text = a.ansi(0);
    std::int64_t value = 0;
    if (!TextToInt64(text, value))
        throw std::invalid_argument("'" + text + "' is not a valid integer value");
    a.setInt64(value);
    return true;
}

bool pos(TPSExec*, const Args& a, int)
{
    if (isWide(a.param(0).type))
        a.setInt(position(a.wide(0), a.wide(1)));
    else
        a.setInt(position(a.ansi(0), a.ansi(1)));
    return true;
}

bool copy(TPSExec*, const Args& a, int)
{
    withText(a.param(0), [&](const auto& s) { storeText(a.result(), copied(s, a.int64(1), a.int64(2))); });
    return true;
}

bool deleteText(TPSExec*, const Args& a, int)
{
    const TPSValueRef s = a.param(0);
    if (!isText(s.type))
        return false;
    withText(s, [&](const auto& text) { storeText(s, deleted(text, a.int64(1), a.int64(2))); });
    return true;
}

bool insertText(TPSExec* exec, const Args& a, int)
{
    const TPSValueRef s = a.param(1);
    if (!isText(s.type))
        return false;
    withText(s, [&](const auto& text) {
        using Str = std::decay_t<decltype(text)>;
        storeText(s, inserted(textOf<Str>(a.param(0)), text, a.int64(2), exec->MemoryLimit()));
    });
    return true;
}

bool strGet(TPSExec*, const Args& a, int)
{
    psnative::WriteChar(a.result(), stringChar(a.param(0), a.int64(1), nullptr));
    return true;
}

bool strSet(TPSExec*, const Args& a, int)
{
    const char16_t c = charOf(a.param(0));
    stringChar(a.param(2), a.int64(1), &c);
    return true;
}

// The plain case changes touch only A to Z in an AnsiString; the locale
// aware ones (tags 37 and 38) and wide strings change every letter that has
// a case.
bool changeCase(TPSExec*, const Args& a, int tag)
{
    const bool upper = tag == 10 || tag == 37;
    if (isWide(a.param(0).type) || tag >= 37)
        storeText(a.result(), wideCase(a.wide(0), upper));
    else
        storeText(a.result(), upper ? FastUpperCase(a.ansi(0)) : FastLowerCase(a.ansi(0)));
    return true;
}

bool trim(TPSExec*, const Args& a, int)
{
    withText(a.param(0), [&](const auto& s) { storeText(a.result(), trimmed(s)); });
    return true;
}

bool pad(TPSExec* exec, const Args& a, int tag)
{
    withText(a.param(0),
             [&](const auto& s) { storeText(a.result(), padded(s, a.int64(1), tag, exec->MemoryLimit())); });
    return true;
}

bool replicate(TPSExec* exec, const Args& a, int)
{
    const std::int64_t count = a.int64(1);
    checkLength<std::string>(count, exec->MemoryLimit());
    a.setAnsi(std::string(count > 0 ? static_cast<std::size_t>(count) : 0, static_cast<char>(charOf(a.param(0)))));
    return true;
}

// Sin, Cos, Sqrt, Round, Trunc, Int, Pi, Abs, by their tags 15 to 22.
bool realFunction(TPSExec*, const Args& a, int tag)
{
    switch (tag) {
    case 15:
        a.setReal(checkedReal(std::sin(a.real(0))));
        break;
    case 16:
        a.setReal(checkedReal(std::cos(a.real(0))));
        break;
    case 17:
        a.setReal(checkedReal(std::sqrt(a.real(0))));
        break;
    case 18:
        a.setInt(toLongInt(a.real(0)));
        break;
    case 19:
        a.setInt(toLongInt(std::trunc(a.real(0))));
        break;
    case 20:
        a.setReal(std::trunc(a.real(0)));
        break;
    case 21:
        a.setReal(3.141592653589793238462643383279502884L);
        break;
    default:
        a.setReal(std::fabs(a.real(0)));
        break;
    }
    return true;
}

bool strToFloat(TPSExec*, const Args& a, int)
{
    a.setReal(StrToFloatStrict(a.ansi(0)));
    return true;
}

bool floatToStr(TPSExec*, const Args& a, int)
{
    a.setAnsi(FloatToStrFixed(a.real(0)));
    return true;
}

bool isAssigned(TPSExec*, const Args& a, int)
{
    a.setBool(assigned(a.param(0)));
    return true;
}

bool sizeOf(TPSExec*, const Args& a, int)
{
    const TPSValueRef v = a.param(0);
    a.setInt(static_cast<std::int32_t>(v.type ? v.type->realSize : 0));
    return true;
}

// Inside an except part: reports the error it handles again, taken from its
// try block; outside one it does nothing.
bool raiseLastException(TPSExec* exec, const Args&, int)
{
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

bool raiseException(TPSExec* exec, const Args& a, int)
{
    // Raising "no error" raises nothing.
    const auto code = static_cast<TPSError>(a.int32(0));
    if (code == ErNoError)
        return true;
    exec->ReportError(code, a.ansi(1));
    return false;
}

// ExceptionType, ExceptionParam, ExceptionProc and ExceptionPos, by their
// tags 32 to 35.
bool exceptionInfo(TPSExec* exec, const Args& a, int tag)
{
    const TPSErrorInfo error = currentError(exec);
    switch (tag) {
    case 32:
        a.setInt(error.code);
        break;
    case 33:
        a.setAnsi(error.text);
        break;
    case 34:
        a.setInt64(error.procNo);
        break;
    default:
        a.setInt64(error.position);
        break;
    }
    return true;
}

bool exceptionToString(TPSExec*, const Args& a, int)
{
    a.setAnsi(ErrorCodeToText(static_cast<unsigned>(a.int32(0)), a.ansi(1)));
    return true;
}

struct TaggedRoutine
{
    const char* name;
    int tag;
    bool function; // a result lies on top of the parameters
    TaggedBody body;
};

// No routine has the tags 9, 13 or 14.
constexpr TaggedRoutine kTaggedRoutines[] = {
    {"INTTOSTR", 0, true, intToStr},
    {"STRTOINT", 1, true, strToInt},
    {"STRTOINTDEF", 2, true, strToIntDef},
    {"POS", 3, true, pos},
    {"COPY", 4, true, copy},
    {"DELETE", 5, false, deleteText},
    {"INSERT", 6, false, insertText},
    {"STRGET", 7, true, strGet},
    {"STRGET2", 7, true, strGet},
    {"STRSET", 8, false, strSet},
    {"UPPERCASE", 10, true, changeCase},
    {"LOWERCASE", 11, true, changeCase},
    {"TRIM", 12, true, trim},
    {"SIN", 15, true, realFunction},
    {"COS", 16, true, realFunction},
    {"SQRT", 17, true, realFunction},
    {"ROUND", 18, true, realFunction},
    {"TRUNC", 19, true, realFunction},
    {"INT", 20, true, realFunction},
    {"PI", 21, true, realFunction},
    {"ABS", 22, true, realFunction},
    {"STRTOFLOAT", 23, true, strToFloat},
    {"FLOATTOSTR", 24, true, floatToStr},
    {"PADL", 25, true, pad},
    {"PADR", 26, true, pad},
    {"PADZ", 27, true, pad},
    {"REPLICATE", 28, true, replicate},
    {"STRINGOFCHAR", 28, true, replicate},
    {"!ASSIGNED", 29, true, isAssigned},
    {"RAISELASTEXCEPTION", 30, false, raiseLastException},
    {"RAISEEXCEPTION", 31, false, raiseException},
    {"EXCEPTIONTYPE", 32, true, exceptionInfo},
    {"EXCEPTIONPARAM", 33, true, exceptionInfo},
    {"EXCEPTIONPROC", 34, true, exceptionInfo},
    {"EXCEPTIONPOS", 35, true, exceptionInfo},
    {"EXCEPTIONTOSTRING", 36, true, exceptionToString},
    {"ANSIUPPERCASE", 37, true, changeCase},
    {"ANSILOWERCASE", 38, true, changeCase},
    {"STRTOINT64", 39, true, strToInt64},
    {"INT64TOSTR", 40, true, intToStr},
    {"SIZEOF", 41, true, sizeOf},
    {"WSTRGET", 42, true, strGet},
    {"WSTRSET", 43, false, strSet},
};

// The routine of each tag, found by the tag the handler is registered with.
constexpr int kTagCount = 44;
constexpr std::array<const TaggedRoutine*, kTagCount> kRoutineOfTag = [] {
    std::array<const TaggedRoutine*, kTagCount> byTag{};
    for (const TaggedRoutine& routine : kTaggedRoutines)
        if (!byTag[routine.tag])
            byTag[routine.tag] = &routine;
    return byTag;
}();

bool tagged(TPSExec* exec, TPSExternalProcRec* proc, TPSStack* stack)
{
    const TaggedRoutine* routine = proc->ext1 < kRoutineOfTag.size() ? kRoutineOfTag[proc->ext1] : nullptr;
    if (!routine)
        return false;
    return routine->body(exec, Args(exec, stack, routine->function), routine->tag);
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
    exec->RegisterProcName("!NOTIFICATIONVARIANTSET", guarded<notificationVariant<true>>, 0);
    exec->RegisterProcName("!NOTIFICATIONVARIANTGET", guarded<notificationVariant<false>>, 1);
    for (const TaggedRoutine& routine : kTaggedRoutines)
        exec->RegisterProcName(routine.name, guarded<tagged>, static_cast<std::uintptr_t>(routine.tag));
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
