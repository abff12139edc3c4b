#pragma once
// Calling host routines from scripts through typed adapters.
//
// A host routine is a C++ callable registered with the declaration the
// compiler is given for it. Registration checks the callable's parameter
// and result types against the declaration and refuses one that does not
// fit, with a message saying which parameter and why. A call then reads the
// script's values into the C++ types, calls, and writes var and out
// parameters and the result back.
//
// C++ types and the declared types they fit:
//   std::uint8_t Byte, std::int8_t ShortInt, std::uint16_t Word,
//   std::int16_t SmallInt, std::uint32_t LongWord/Cardinal,
//   std::int32_t LongInt/Integer, std::int64_t Int64, float Single,
//   double Double/TDateTime, long double Extended, TPSNativeCurrency Currency,
//   bool Boolean, char Char, char16_t WideChar, std::string
//   String/AnsiString/PChar, std::u16string WideString/UnicodeString,
//   Variant Variant, std::vector<T> "array of" what T fits (an open array),
//   std::vector<Variant> also "array of const".
//   The integer types also fit a type name of the host's own (an enumeration
//   or an alias); the views below fit such names only: records, sets, static
//   and dynamic arrays, procedural values, objects and interfaces.
// A var or out parameter is taken as a non-const reference, a value or const
// parameter by value or by const reference. The calling-convention number
// (0 register, 1 pascal, 2 cdecl, 3 stdcall, 4 safecall) is kept with the
// routine; it does not change how the adapter calls.

#include "script/runtime/errors.h"
#include "script/runtime/exec.h"
#include "script/runtime/types.h"
#include "script/runtime/values.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

// A runtime error a host routine reports: the script sees that code and text.
class EPSRuntimeError : public std::runtime_error
{
public:
    EPSRuntimeError(TPSError code, const std::string& text) : std::runtime_error(text), code_(code) {}
    TPSError code() const { return code_; }

private:
    TPSError code_;
};

// A declaration that does not fit the routine registered with it.
class EPSNativeRegistration : public std::invalid_argument
{
public:
    using std::invalid_argument::invalid_argument;
};

struct TPSNativeCurrency
{
    std::int64_t scaled = 0; // ten-thousandths
};

// A class instance or interface reference.
struct TPSNativeObject
{
    void* object = nullptr;
};

// A procedural value: a script procedure's number, or a host method.
struct TPSNativeProcValue
{
    TPSProcValue value{0, nullptr, nullptr};
};

// Views of a script value: a value parameter sees the call's own copy, a var
// parameter the variable itself, so changes through the view of a var
// parameter reach the script.
struct TPSNativeRecord
{
    TPSValueRef ref;
    std::size_t FieldCount() const;
    TPSValueRef Field(std::size_t i) const; // none past the last field
};

struct TPSNativeSet
{
    TPSValueRef ref;
    std::uint32_t BitCount() const;
    bool Contains(std::uint32_t bit) const;
    void Include(std::uint32_t bit) const; // a bit past the set's range is ignored
    void Exclude(std::uint32_t bit) const;
};

struct TPSNativeArray
{
    TPSValueRef ref;
    std::uint32_t Count() const;
    TPSValueRef Item(std::uint32_t i) const; // none past the end
    // Dynamic arrays only; a static array keeps its size.
    bool Resize(std::uint32_t count) const;
};

enum class TPSNativeMode : std::uint8_t { Value, Const, Var, Out };

// A parameter or result type as declared.
struct TPSNativeDeclType
{
    std::string name; // upper case; the element type's for an open array
    bool openArray = false;
    std::string written; // as the declaration writes it
};

struct TPSNativeParam
{
    std::string name;
    TPSNativeMode mode = TPSNativeMode::Value;
    TPSNativeDeclType type;
};

struct TPSNativeDecl
{
    std::string name;
    bool isFunction = false;
    std::vector<TPSNativeParam> params;
    TPSNativeDeclType result;

    // The declaration as the compiler writes it into an image: the result
    // flag, then one flag for each var parameter.
    std::string Signature() const;
};

// Reads "function Name(a: T; var b, c: U; const d: array of V): R;" or a
// procedure; empty error on success.
bool ParseNativeDecl(std::string_view text, TPSNativeDecl& out, std::string& error);

namespace psnative {

// What each declared type name stands for.
enum class Kind : std::uint8_t {
    Byte,
    ShortInt,
    Word,
    SmallInt,
    LongWord,
    LongInt,
    Int64,
    Single,
    Double,
    Extended,
    Currency,
    Boolean,
    Char,
    WideChar,
    AnsiString,
    WideString,
    Variant,
    Other, // a type of the host's own
};
Kind KindOf(const std::string& upperName);

// A value that does not fit the C++ type at a call.
struct Mismatch
{
};

template <typename T> struct Conv;

std::int64_t ReadInteger(const TPSValueRef& v);
void WriteInteger(const TPSValueRef& v, std::int64_t value);
long double ReadReal(const TPSValueRef& v);
void WriteReal(const TPSValueRef& v, long double value);
char16_t ReadChar(const TPSValueRef& v);
void WriteChar(const TPSValueRef& v, char16_t value);
void WriteAnsi(const TPSValueRef& v, const std::string& value);
void WriteWide(const TPSValueRef& v, const std::u16string& value);
// Counts against the executer's memory limit.
Variant ReadVariant(TPSExec* exec, const TPSValueRef& v);
void WriteVariant(TPSExec* exec, const TPSValueRef& v, const Variant& value);
// Raises Mismatch unless the value's base is a or b.
void CheckBase(const TPSValueRef& v, ps::BaseType a, ps::BaseType b = ps::BaseType::ReturnAddress);

template <typename T, Kind K> struct IntConv
{
    static bool Fits(const TPSNativeDeclType& t)
    {
        return !t.openArray && (KindOf(t.name) == K || KindOf(t.name) == Kind::Other);
    }
    static T Read(TPSExec*, const TPSValueRef& v) { return static_cast<T>(ReadInteger(v)); }
    static void Write(TPSExec*, const TPSValueRef& v, T value) { WriteInteger(v, static_cast<std::int64_t>(value)); }
};

// clang-format off
template <> struct Conv<std::uint8_t> : IntConv<std::uint8_t, Kind::Byte> { static constexpr const char* name = "std::uint8_t"; };
template <> struct Conv<std::int8_t> : IntConv<std::int8_t, Kind::ShortInt> { static constexpr const char* name = "std::int8_t"; };
template <> struct Conv<std::uint16_t> : IntConv<std::uint16_t, Kind::Word> { static constexpr const char* name = "std::uint16_t"; };
template <> struct Conv<std::int16_t> : IntConv<std::int16_t, Kind::SmallInt> { static constexpr const char* name = "std::int16_t"; };
template <> struct Conv<std::uint32_t> : IntConv<std::uint32_t, Kind::LongWord> { static constexpr const char* name = "std::uint32_t"; };
template <> struct Conv<std::int32_t> : IntConv<std::int32_t, Kind::LongInt> { static constexpr const char* name = "std::int32_t"; };
template <> struct Conv<std::int64_t> : IntConv<std::int64_t, Kind::Int64> { static constexpr const char* name = "std::int64_t"; };
// clang-format on

template <typename T, Kind K> struct RealConv
{
    static bool Fits(const TPSNativeDeclType& t) { return !t.openArray && KindOf(t.name) == K; }
    static T Read(TPSExec*, const TPSValueRef& v) { return static_cast<T>(ReadReal(v)); }
    static void Write(TPSExec*, const TPSValueRef& v, T value) { WriteReal(v, value); }
};
template <> struct Conv<float> : RealConv<float, Kind::Single>
{
    static constexpr const char* name = "float";
};
template <> struct Conv<double> : RealConv<double, Kind::Double>
{
    static constexpr const char* name = "double";
};
template <> struct Conv<long double> : RealConv<long double, Kind::Extended>
{
    static constexpr const char* name = "long double";
};

template <> struct Conv<TPSNativeCurrency>
{
    static constexpr const char* name = "TPSNativeCurrency";
    static bool Fits(const TPSNativeDeclType& t) { return !t.openArray && KindOf(t.name) == Kind::Currency; }
    static TPSNativeCurrency Read(TPSExec*, const TPSValueRef& v) { return {GetValueAsCurrency(v.data, v.type)}; }
    static void Write(TPSExec*, const TPSValueRef& v, TPSNativeCurrency value);
};

template <> struct Conv<bool>
{
    static constexpr const char* name = "bool";
    static bool Fits(const TPSNativeDeclType& t) { return !t.openArray && KindOf(t.name) == Kind::Boolean; }
    static bool Read(TPSExec*, const TPSValueRef& v) { return ReadInteger(v) != 0; }
    static void Write(TPSExec*, const TPSValueRef& v, bool value) { WriteInteger(v, value ? 1 : 0); }
};

template <> struct Conv<char>
{
    static constexpr const char* name = "char";
    static bool Fits(const TPSNativeDeclType& t) { return !t.openArray && KindOf(t.name) == Kind::Char; }
    static char Read(TPSExec*, const TPSValueRef& v) { return static_cast<char>(ReadChar(v)); }
    static void Write(TPSExec*, const TPSValueRef& v, char value)
    {
        WriteChar(v, static_cast<char16_t>(static_cast<unsigned char>(value)));
    }
};

template <> struct Conv<char16_t>
{
    static constexpr const char* name = "char16_t";
    static bool Fits(const TPSNativeDeclType& t) { return !t.openArray && KindOf(t.name) == Kind::WideChar; }
    static char16_t Read(TPSExec*, const TPSValueRef& v) { return ReadChar(v); }
    static void Write(TPSExec*, const TPSValueRef& v, char16_t value) { WriteChar(v, value); }
};

template <> struct Conv<std::string>
{
    static constexpr const char* name = "std::string";
    static bool Fits(const TPSNativeDeclType& t) { return !t.openArray && KindOf(t.name) == Kind::AnsiString; }
    static std::string Read(TPSExec*, const TPSValueRef& v) { return GetValueAsAnsiString(v.data, v.type); }
    static void Write(TPSExec*, const TPSValueRef& v, const std::string& value) { WriteAnsi(v, value); }
};

template <> struct Conv<std::u16string>
{
    static constexpr const char* name = "std::u16string";
    static bool Fits(const TPSNativeDeclType& t) { return !t.openArray && KindOf(t.name) == Kind::WideString; }
    static std::u16string Read(TPSExec*, const TPSValueRef& v) { return GetValueAsUnicodeString(v.data, v.type); }
    static void Write(TPSExec*, const TPSValueRef& v, const std::u16string& value) { WriteWide(v, value); }
};

template <> struct Conv<Variant>
{
    static constexpr const char* name = "Variant";
    static bool Fits(const TPSNativeDeclType& t) { return !t.openArray && KindOf(t.name) == Kind::Variant; }
    static Variant Read(TPSExec* exec, const TPSValueRef& v);
    static void Write(TPSExec* exec, const TPSValueRef& v, const Variant& value) { WriteVariant(exec, v, value); }
};

// The views fit only a type of the host's own; the value's base is checked
// when it is read.
template <typename View, ps::BaseType A, ps::BaseType B = ps::BaseType::ReturnAddress> struct ViewConv
{
    static bool Fits(const TPSNativeDeclType& t) { return !t.openArray && KindOf(t.name) == Kind::Other; }
    static View Read(TPSExec*, const TPSValueRef& v)
    {
        CheckBase(v, A, B);
        return View{v};
    }
    static void Write(TPSExec*, const TPSValueRef&, const View&) {}
};
template <> struct Conv<TPSNativeRecord> : ViewConv<TPSNativeRecord, ps::BaseType::Record>
{
    static constexpr const char* name = "TPSNativeRecord";
};
template <> struct Conv<TPSNativeSet> : ViewConv<TPSNativeSet, ps::BaseType::Set>
{
    static constexpr const char* name = "TPSNativeSet";
};
template <> struct Conv<TPSNativeArray> : ViewConv<TPSNativeArray, ps::BaseType::DynArray, ps::BaseType::StaticArray>
{
    static constexpr const char* name = "TPSNativeArray";
};

template <> struct Conv<TPSNativeProcValue>
{
    static constexpr const char* name = "TPSNativeProcValue";
    static bool Fits(const TPSNativeDeclType& t) { return !t.openArray && KindOf(t.name) == Kind::Other; }
    static TPSNativeProcValue Read(TPSExec*, const TPSValueRef& v)
    {
        CheckBase(v, ps::BaseType::Procedural);
        return {LoadAs<TPSProcValue>(v.data)};
    }
    static void Write(TPSExec*, const TPSValueRef& v, const TPSNativeProcValue& value)
    {
        CheckBase(v, ps::BaseType::Procedural);
        StoreAs(v.data, value.value);
    }
};

template <> struct Conv<TPSNativeObject>
{
    static constexpr const char* name = "TPSNativeObject";
    static bool Fits(const TPSNativeDeclType& t) { return !t.openArray && KindOf(t.name) == Kind::Other; }
    static TPSNativeObject Read(TPSExec*, const TPSValueRef& v)
    {
        CheckBase(v, ps::BaseType::Class, ps::BaseType::Interface);
        return {LoadAs<void*>(v.data)};
    }
    // Only a class reference can be written: an interface's count is the
    // host object's own business.
    static void Write(TPSExec*, const TPSValueRef& v, const TPSNativeObject& value)
    {
        CheckBase(v, ps::BaseType::Class);
        StoreAs(v.data, value.object);
    }
};

TPSNativeArray ArrayView(const TPSValueRef& v);

template <typename T> struct Conv<std::vector<T>>
{
    static constexpr const char* name = "std::vector";
    static bool Fits(const TPSNativeDeclType& t)
    {
        // An array of const hands its items over as Variants.
        if constexpr (std::is_same_v<T, Variant>)
            if (t.openArray && t.name == "CONST")
                return true;
        return t.openArray && Conv<T>::Fits(TPSNativeDeclType{t.name, false, t.written});
    }
    static std::vector<T> Read(TPSExec* exec, const TPSValueRef& v)
    {
        const TPSNativeArray array = ArrayView(v);
        std::vector<T> out;
        out.reserve(array.Count());
        for (std::uint32_t i = 0; i < array.Count(); ++i)
            out.push_back(Conv<T>::Read(exec, array.Item(i)));
        return out;
    }
    // An open array keeps its length: the items it has are written back.
    static void Write(TPSExec* exec, const TPSValueRef& v, const std::vector<T>& value)
    {
        const TPSNativeArray array = ArrayView(v);
        for (std::uint32_t i = 0; i < array.Count() && i < value.size(); ++i)
            Conv<T>::Write(exec, array.Item(i), value[i]);
    }
};

// A registered host routine: the adapter the calls go through.
class Routine
{
public:
    virtual ~Routine() = default;
    // False when the call's values do not fit.
    virtual bool Invoke(TPSExec* exec, TPSStack* stack) = 0;
    TPSNativeDecl decl;
    std::string signature;
    std::uint8_t convention = 0;
};

template <typename A> constexpr bool IsReference()
{
    return std::is_lvalue_reference_v<A> && !std::is_const_v<std::remove_reference_t<A>>;
}

// The message for a parameter or result that does not fit; empty when all fit.
template <typename R, typename... A> std::string CheckFit(const TPSNativeDecl& decl)
{
    if (decl.params.size() != sizeof...(A))
        return "the declaration has " + std::to_string(decl.params.size()) + " parameters, the routine takes " +
               std::to_string(sizeof...(A));
    if (decl.isFunction == std::is_void_v<R>)
        return decl.isFunction ? "the declaration is a function, the routine returns nothing"
                               : "the declaration is a procedure, the routine returns a value";
    std::string why;
    std::size_t k = 0;
    auto check = [&](bool reference, bool fits, const char* cppName) {
        const TPSNativeParam& p = decl.params[k++];
        if (!why.empty())
            return;
        const bool byReference = p.mode == TPSNativeMode::Var || p.mode == TPSNativeMode::Out;
        const std::string which = "parameter " + std::to_string(k) + " (" + p.name + ")";
        if (byReference != reference)
            why = which + (byReference ? " is declared var or out, the routine takes it by value"
                                       : " is passed by value, the routine takes a non-const reference");
        else if (!fits)
            why = which + " is declared " + (p.type.openArray ? "array of " : "") + p.type.written + ", a " + cppName +
                  " cannot take it";
    };
    (check(IsReference<A>(), Conv<std::remove_cvref_t<A>>::Fits(decl.params[k].type),
           Conv<std::remove_cvref_t<A>>::name),
     ...);
    (void)check; // a routine without parameters checks none
    if (why.empty()) {
        if constexpr (!std::is_void_v<R>) {
            if (!Conv<std::remove_cvref_t<R>>::Fits(decl.result))
                why = std::string("the result is declared ") + (decl.result.openArray ? "array of " : "") +
                      decl.result.written + ", a " + Conv<std::remove_cvref_t<R>>::name + " cannot take it";
        }
    }
    return why;
}

template <typename Signature> class Adapter;

template <typename R, typename... A> class Adapter<std::function<R(A...)>> : public Routine
{
public:
    explicit Adapter(std::function<R(A...)> fn) : fn_(std::move(fn)) {}

    bool Invoke(TPSExec* exec, TPSStack* stack) override
    {
        constexpr std::size_t count = sizeof...(A);
        constexpr bool hasResult = !std::is_void_v<R>;
        std::array<TPSValueRef, count + 1> refs{};
        for (std::size_t i = 0; i < count; ++i)
            if (!exec->ParamTarget(stack->Items(-static_cast<std::ptrdiff_t>(i) - (hasResult ? 2 : 1)), refs[i]))
                return false;
        if (hasResult && !exec->ParamTarget(stack->Items(-1), refs[count]))
            return false;
        try {
            call(exec, refs, std::index_sequence_for<A...>{});
        } catch (const Mismatch&) {
            return false;
        }
        return true;
    }

private:
    template <std::size_t... I>
    void call(TPSExec* exec, const std::array<TPSValueRef, sizeof...(A) + 1>& refs, std::index_sequence<I...>)
    {
        std::tuple<std::remove_cvref_t<A>...> values{Conv<std::remove_cvref_t<A>>::Read(exec, refs[I])...};
        if constexpr (std::is_void_v<R>) {
            fn_(std::get<I>(values)...);
        } else {
            const std::remove_cvref_t<R> result = fn_(std::get<I>(values)...);
            Conv<std::remove_cvref_t<R>>::Write(exec, refs[sizeof...(A)], result);
        }
        (writeBack<A>(exec, refs[I], std::get<I>(values)), ...);
    }

    template <typename Arg, typename T> static void writeBack(TPSExec* exec, const TPSValueRef& ref, const T& value)
    {
        if constexpr (IsReference<Arg>())
            Conv<T>::Write(exec, ref, value);
    }

    std::function<R(A...)> fn_;
};

template <typename R, typename... A>
std::string CheckSignature(const std::function<R(A...)>*, const TPSNativeDecl& decl)
{
    return CheckFit<R, A...>(decl);
}

// Registers the routine under the declared name; object is kept with it.
void Register(TPSExec& exec, std::unique_ptr<Routine> routine, void* object);
// Parses the declaration and checks the convention; raises on failure.
TPSNativeDecl ReadDecl(std::string_view declaration, std::uint8_t convention);
[[noreturn]] void Refuse(const TPSNativeDecl& decl, const std::string& why);

} // namespace psnative

// Registers a plain host function for the declaration. Raises
// EPSNativeRegistration when the declaration cannot be read or does not fit
// the function's parameters and result.
template <typename F>
void RegisterNativeFunction(TPSExec& exec, std::string_view declaration, F&& fn, std::uint8_t convention = 0)
{
    using Fn = decltype(std::function{std::forward<F>(fn)});
    TPSNativeDecl decl = psnative::ReadDecl(declaration, convention);
    if (const std::string why = psnative::CheckSignature(static_cast<Fn*>(nullptr), decl); !why.empty())
        psnative::Refuse(decl, why);
    auto routine = std::make_unique<psnative::Adapter<Fn>>(Fn(std::forward<F>(fn)));
    routine->signature = decl.Signature();
    routine->decl = std::move(decl);
    routine->convention = convention;
    psnative::Register(exec, std::move(routine), nullptr);
}

// Registers a method of a host object: the callable takes the object first,
// the declaration lists the parameters after it.
template <typename Object, typename R, typename... A>
void RegisterNativeMethod(TPSExec& exec, Object* object, std::string_view declaration, R (Object::*method)(A...),
                          std::uint8_t convention = 0)
{
    TPSNativeDecl decl = psnative::ReadDecl(declaration, convention);
    if (const std::string why = psnative::CheckFit<R, A...>(decl); !why.empty())
        psnative::Refuse(decl, why);
    std::function<R(A...)> bound = [object, method](A... args) -> R {
        return (object->*method)(std::forward<A>(args)...);
    };
    auto routine = std::make_unique<psnative::Adapter<std::function<R(A...)>>>(std::move(bound));
    routine->signature = decl.Signature();
    routine->decl = std::move(decl);
    routine->convention = convention;
    psnative::Register(exec, std::move(routine), object);
}
