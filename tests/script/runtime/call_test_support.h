#pragma once
// Calls of host routines from bytecode for tests: each call puts its
// arguments into globals, pushes them as the compiler lays out a call (var
// arguments by reference, the result variable on top), calls the routine and
// leaves the result and the var arguments in the globals to read back.

#include "script/runtime/exec.h"
#include "script/runtime/values.h"
#include "tests/script/runtime/image_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace calltest {

using ps::BaseType;
using testimage::Code;
using testimage::ImageBuilder;
using testimage::StandardTypes;
using testimage::V;

// The base types by short names, for tables of calls.
constexpr BaseType Byte = BaseType::Byte, ShortInt = BaseType::ShortInt, Word = BaseType::Word,
                   SmallInt = BaseType::SmallInt, LongWord = BaseType::LongWord, LongInt = BaseType::LongInt,
                   Int64 = BaseType::Int64, Single = BaseType::Single, Double = BaseType::Double,
                   Extended = BaseType::Extended, Currency = BaseType::Currency, Ansi = BaseType::AnsiString,
                   PChar = BaseType::PChar, Wide = BaseType::WideString, Unicode = BaseType::UnicodeString,
                   Char = BaseType::Char, WideChar = BaseType::WideChar, Var = BaseType::Variant;

// How a row's value is given: an integer (characters by their code), a
// real, a text, a wide text, a Variant, or the items of an array of LongInt.
using Items = std::vector<std::int64_t>;
using Payload = std::variant<std::monostate, std::int64_t, long double, std::string, std::u16string, Variant, Items>;

// A type of the test image.
using TypeMaker = std::function<std::uint32_t(ImageBuilder&)>;

inline TypeMaker base(BaseType b)
{
    return [b](ImageBuilder& builder) { return builder.type(b); };
}
inline TypeMaker dynOf(BaseType element)
{
    return [element](ImageBuilder& builder) { return builder.dynArray(builder.type(element)); };
}
inline TypeMaker staticOf(BaseType element, std::uint32_t count, std::int32_t low)
{
    return [=](ImageBuilder& builder) { return builder.staticArray(builder.type(element), count, low); };
}

struct Arg
{
    TypeMaker type;
    Payload value;
    bool byRef = false;
    // Fills a value the payload cannot describe.
    std::function<void(const TPSValueRef&)> fill = {};
};

inline Arg val(BaseType b, Payload value)
{
    return {base(b), std::move(value), false};
}
inline Arg ref(BaseType b, Payload value)
{
    return {base(b), std::move(value), true};
}

inline const Variant vNull{varcode::Null, {}};

inline std::int64_t intOf(const TPSValueRef& v)
{
    if (v.type->baseType == BaseType::Char)
        return LoadAs<std::uint8_t>(v.data);
    if (v.type->baseType == BaseType::WideChar)
        return LoadAs<char16_t>(v.data);
    return GetValueAsInt64(v.data, v.type);
}

inline void put(const TPSValueRef& v, const Payload& value)
{
    bool ok = true;
    if (std::holds_alternative<std::monostate>(value))
        return;
    if (const auto* n = std::get_if<std::int64_t>(&value)) {
        if (v.type->baseType == BaseType::Char)
            StoreAs<std::uint8_t>(v.data, static_cast<std::uint8_t>(*n));
        else if (v.type->baseType == BaseType::WideChar)
            StoreAs<char16_t>(v.data, static_cast<char16_t>(*n));
        else
            SetValueFromInt64(v.data, v.type, ok, *n);
    } else if (const auto* r = std::get_if<long double>(&value)) {
        SetValueFromReal(v.data, v.type, ok, *r);
    } else if (const auto* s = std::get_if<std::string>(&value)) {
        if (v.type->baseType == BaseType::PChar)
            *static_cast<std::string*>(v.data) = *s;
        else
            SetValueFromAnsiString(v.data, v.type, ok, *s);
    } else if (const auto* w = std::get_if<std::u16string>(&value)) {
        SetValueFromUnicodeString(v.data, v.type, ok, *w);
    } else if (const auto* variant = std::get_if<Variant>(&value)) {
        *static_cast<Variant*>(v.data) = *variant;
    } else if (const auto* items = std::get_if<Items>(&value)) {
        const auto* array = static_cast<const TPSTypeRec_Array*>(v.type);
        std::byte* first = static_cast<std::byte*>(v.data);
        if (v.type->baseType == BaseType::DynArray) {
            DynArraySetLength(v.data, v.type, static_cast<std::uint32_t>(items->size()));
            first = static_cast<std::byte*>(DynArrayElements(v.data));
        }
        for (std::size_t i = 0; i < items->size(); ++i)
            SetValueFromInt64(first + i * array->elementType->realSize, array->elementType, ok, (*items)[i]);
    }
    ASSERT_TRUE(ok);
}

// Variants by content, arrays item by item.
inline bool sameVariant(const Variant& x, const Variant& y)
{
    const VariantArray* xs = VariantArrayOf(x);
    const VariantArray* ys = VariantArrayOf(y);
    if (!xs || !ys)
        return x == y;
    return x.type == y.type && xs->lowBound == ys->lowBound &&
           std::equal(xs->items.begin(), xs->items.end(), ys->items.begin(), ys->items.end(), sameVariant);
}

// Whether the value holds what the payload says, reading it back.
inline ::testing::AssertionResult holds(const TPSValueRef& v, const Payload& expected)
{
    auto fail = [](auto&&... parts) {
        auto result = ::testing::AssertionFailure();
        ((result << parts), ...);
        return result;
    };
    if (const auto* n = std::get_if<std::int64_t>(&expected)) {
        const std::int64_t got = intOf(v);
        return got == *n ? ::testing::AssertionSuccess() : fail("holds ", got, ", expected ", *n);
    }
    if (const auto* r = std::get_if<long double>(&expected)) {
        const long double got = GetValueAsReal(v.data, v.type);
        return std::fabs(got - *r) <= 1e-15L * std::max(1.0L, std::fabs(*r))
                   ? ::testing::AssertionSuccess()
                   : fail("holds ", static_cast<double>(got), ", expected ", static_cast<double>(*r));
    }
    if (const auto* s = std::get_if<std::string>(&expected)) {
        const std::string got = GetValueAsAnsiString(v.data, v.type);
        return got == *s ? ::testing::AssertionSuccess() : fail("holds \"", got, "\", expected \"", *s, "\"");
    }
    if (const auto* w = std::get_if<std::u16string>(&expected)) {
        const std::u16string got = GetValueAsUnicodeString(v.data, v.type);
        return got == *w ? ::testing::AssertionSuccess() : fail("the wide text differs");
    }
    if (const auto* variant = std::get_if<Variant>(&expected))
        return sameVariant(*static_cast<const Variant*>(v.data), *variant) ? ::testing::AssertionSuccess()
                                                                           : fail("the Variant differs");
    if (const auto* items = std::get_if<Items>(&expected)) {
        if (v.type->baseType == BaseType::DynArray && items->empty() && LoadAs<void*>(v.data) != nullptr)
            return fail("an empty dynamic array is not nil");
        const auto* array = static_cast<const TPSTypeRec_Array*>(v.type);
        const std::byte* first = v.type->baseType == BaseType::DynArray
                                     ? static_cast<const std::byte*>(DynArrayElements(v.data))
                                     : static_cast<const std::byte*>(v.data);
        const std::uint32_t count = v.type->baseType == BaseType::DynArray
                                        ? DynArrayGetLength(v.data, v.type)
                                        : static_cast<const TPSTypeRec_StaticArray*>(v.type)->elementCount;
        if (count != items->size())
            return fail("has ", count, " items, expected ", items->size());
        for (std::size_t i = 0; i < items->size(); ++i)
            if (GetValueAsInt64(first + i * array->elementType->realSize, array->elementType) != (*items)[i])
                return fail("item ", i, " differs");
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionSuccess();
}

// One call of a routine from a main block, with its arguments in globals.
class Call
{
public:
    Call(const std::string& routine, std::vector<Arg> args, std::optional<TypeMaker> result = {})
        : args_(std::move(args)), hasResult_(result.has_value())
    {
        ImageBuilder b;
        StandardTypes t(b);
        for (const Arg& arg : args_)
            b.var(arg.type(b));
        if (result)
            b.var((*result)(b));
        const std::uint32_t external = b.external(routine);
        Code c;
        for (std::size_t i = args_.size(); i-- > 0;) {
            if (args_[i].byRef)
                c.pushRef(V(static_cast<std::uint32_t>(i)));
            else
                c.push(V(static_cast<std::uint32_t>(i)));
        }
        if (hasResult_)
            c.pushRef(V(static_cast<std::uint32_t>(args_.size())));
        c.call(external);
        for (std::size_t i = 0; i < args_.size() + hasResult_; ++i)
            c.pop();
        c.ret();
        b.main(b.proc(c));
        image_ = b.image();
    }

    // Runs the call; false when it failed, with the error on the executer.
    bool Run()
    {
        if (!exec.LoadBytecode(image_))
            return false;
        for (std::size_t i = 0; i < args_.size(); ++i) {
            put(exec.GetGlobalVar(i), args_[i].value);
            if (args_[i].fill)
                args_[i].fill(exec.GetGlobalVar(i));
        }
        return exec.ExecuteCode();
    }
    TPSValueRef arg(std::size_t i) const { return exec.GetGlobalVar(i); }
    TPSValueRef result() const { return exec.GetGlobalVar(args_.size()); }
    std::string error() const { return ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText()); }

    TPSExec exec;

private:
    std::vector<Arg> args_;
    bool hasResult_;
    std::string image_;
};

struct Row
{
    std::string routine;
    std::vector<Arg> args = {};
    std::optional<TypeMaker> resultType = {};
    Payload result = {};                                     // monostate: not checked
    std::vector<std::pair<std::size_t, Payload>> after = {}; // var arguments afterwards
    TPSError error = ErNoError;
    std::string text = {};
};

inline void runRows(const std::vector<Row>& rows)
{
    for (const Row& row : rows) {
        Call call(row.routine, row.args, row.resultType);
        const bool ok = call.Run();
        SCOPED_TRACE(row.routine + " row " + std::to_string(&row - rows.data()));
        if (row.error != ErNoError) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(call.exec.ExceptionCode(), row.error) << call.error();
            EXPECT_EQ(call.exec.ExceptionText(), row.text);
            continue;
        }
        ASSERT_TRUE(ok) << call.error();
        if (row.resultType) {
            EXPECT_TRUE(holds(call.result(), row.result));
        }
        for (const auto& [index, value] : row.after)
            EXPECT_TRUE(holds(call.arg(index), value)) << "argument " << index;
    }
}

} // namespace calltest
