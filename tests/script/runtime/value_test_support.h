#pragma once
// Typed values for the value operation tests: one type record per base
// type, values made from plain C++ numbers and texts, and a comparison of a
// value with what a test expects that reads the bytes itself.

#include "script/runtime/types.h"
#include "script/runtime/variant.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <variant>

namespace valuetest {

// One type record of every simple base, and a few composite ones.
struct Types
{
    Types();
    const TPSTypeRec* of(ps::BaseType base) const;

    std::unique_ptr<TPSTypeRec> simple[29];
    std::unique_ptr<TPSTypeRec> boolean; // Byte, exported as BOOLEAN
    std::unique_ptr<TPSTypeRec_Set> set8, set10, set256;
    std::unique_ptr<TPSTypeRec_Record> record, otherRecord;
    std::unique_ptr<TPSTypeRec_Array> intArray, otherIntArray, variantArray;
    std::unique_ptr<TPSTypeRec_StaticArray> intTriple;
    std::unique_ptr<TPSTypeRec_ProcPtr> proc;
    std::unique_ptr<TPSTypeRec_Class> cls;
};

const Types& types();

// A value of a type in storage of its own.
class Value
{
public:
    explicit Value(const TPSTypeRec* type);
    Value(Value&& other) noexcept;
    Value& operator=(Value&&) = delete;
    ~Value();

    void* data() const { return storage_.get(); }
    const TPSTypeRec* type() const { return type_; }
    template <typename T> T& as() const { return *static_cast<T*>(data()); }

private:
    const TPSTypeRec* type_;
    std::unique_ptr<std::max_align_t[]> storage_;
};

// How a test writes a value: an integer (integers, characters, a Currency's
// scaled count), a real, a text, a wide text or a Variant.
using Payload = std::variant<std::int64_t, long double, std::string, std::u16string, Variant>;

struct Init
{
    const TPSTypeRec* type;
    Payload payload;
    Value make() const;
};

Init I(ps::BaseType base, std::int64_t value);
Init R(ps::BaseType base, long double value);
Init S(ps::BaseType base, std::string text);
Init W(ps::BaseType base, std::u16string text);
Init V(Variant value);

// Whether the value holds what init describes, reading its bytes directly:
// integers by their low bytes, reals rounded to the type's precision,
// texts and Variants by content.
bool Holds(const Value& value, const Init& init, std::string& why);

std::ostream& operator<<(std::ostream& out, const Variant& v);

} // namespace valuetest
