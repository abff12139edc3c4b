#include "tests/script/runtime/value_test_support.h"

#include <algorithm>
#include <sstream>

using ps::BaseType;

namespace valuetest {

namespace {

template <typename T, typename... Args> std::unique_ptr<T> made(Args&&... args)
{
    auto type = std::make_unique<T>(std::forward<Args>(args)...);
    type->CalcSize();
    return type;
}

bool isReal(BaseType base)
{
    return base == BaseType::Single || base == BaseType::Double || base == BaseType::Extended;
}

long double readReal(const void* data, BaseType base)
{
    if (base == BaseType::Single) {
        float f;
        std::memcpy(&f, data, sizeof f);
        return f;
    }
    if (base == BaseType::Double) {
        double d;
        std::memcpy(&d, data, sizeof d);
        return d;
    }
    long double x = 0;
    std::memcpy(&x, data, 10);
    return x;
}

long double ofPrecision(BaseType base, long double x)
{
    if (base == BaseType::Single)
        return static_cast<float>(x);
    if (base == BaseType::Double)
        return static_cast<double>(x);
    return x;
}

} // namespace

Types::Types()
{
    for (int code = 1; code <= 28; ++code) {
        const auto base = static_cast<BaseType>(code);
        if (base != BaseType::Record && base != BaseType::DynArray && base != BaseType::StaticArray &&
            base != BaseType::Set && base != BaseType::Procedural && base != BaseType::Class)
            simple[code] = made<TPSTypeRec>(base);
    }
    boolean = made<TPSTypeRec>(BaseType::Byte);
    boolean->exportName = "BOOLEAN";
    set8 = made<TPSTypeRec_Set>(8);
    set10 = made<TPSTypeRec_Set>(10);
    set256 = made<TPSTypeRec_Set>(256);
    record = std::make_unique<TPSTypeRec_Record>();
    record->fieldTypes = {of(BaseType::LongInt), of(BaseType::AnsiString), of(BaseType::Double)};
    record->CalcSize();
    otherRecord = std::make_unique<TPSTypeRec_Record>();
    otherRecord->fieldTypes = record->fieldTypes;
    otherRecord->CalcSize();
    intArray = made<TPSTypeRec_Array>(of(BaseType::LongInt));
    otherIntArray = made<TPSTypeRec_Array>(of(BaseType::LongInt));
    variantArray = made<TPSTypeRec_Array>(of(BaseType::Variant));
    intTriple = made<TPSTypeRec_StaticArray>(of(BaseType::LongInt), 3, 0);
    proc = made<TPSTypeRec_ProcPtr>("\0");
    cls = made<TPSTypeRec_Class>("TOBJECT");
}

const TPSTypeRec* Types::of(BaseType base) const
{
    return simple[ps::code(base)].get();
}

const Types& types()
{
    static const Types instance;
    return instance;
}

Value::Value(const TPSTypeRec* type)
    : type_(type), storage_(new std::max_align_t[type->realSize / sizeof(std::max_align_t) + 1])
{
    InitializeValue(data(), type_);
}

Value::Value(Value&& other) noexcept : type_(other.type_), storage_(std::move(other.storage_)) {}

Value::~Value()
{
    if (storage_)
        FinalizeValue(data(), type_);
}

Value Init::make() const
{
    Value value(type);
    if (const auto* n = std::get_if<std::int64_t>(&payload)) {
        // The low bytes, little-endian; a procedural value's number.
        std::memcpy(value.data(), n, std::min<std::size_t>(type->realSize, sizeof *n));
    } else if (const auto* x = std::get_if<long double>(&payload)) {
        const long double rounded = ofPrecision(type->baseType, *x);
        if (type->baseType == BaseType::Single) {
            const float f = static_cast<float>(rounded);
            std::memcpy(value.data(), &f, sizeof f);
        } else if (type->baseType == BaseType::Double) {
            const double d = static_cast<double>(rounded);
            std::memcpy(value.data(), &d, sizeof d);
        } else {
            std::memcpy(value.data(), &rounded, 10);
        }
    } else if (const auto* s = std::get_if<std::string>(&payload)) {
        value.as<std::string>() = *s;
    } else if (const auto* w = std::get_if<std::u16string>(&payload)) {
        value.as<std::u16string>() = *w;
    } else {
        value.as<Variant>() = std::get<Variant>(payload);
    }
    return value;
}

Init I(BaseType base, std::int64_t value)
{
    return {types().of(base), value};
}

Init R(BaseType base, long double value)
{
    return {types().of(base), value};
}

Init S(BaseType base, std::string text)
{
    return {types().of(base), std::move(text)};
}

Init W(BaseType base, std::u16string text)
{
    return {types().of(base), std::move(text)};
}

Init V(Variant value)
{
    return {types().of(BaseType::Variant), std::move(value)};
}

bool Holds(const Value& value, const Init& init, std::string& why)
{
    std::ostringstream out;
    bool same;
    if (const auto* n = std::get_if<std::int64_t>(&init.payload)) {
        const std::size_t size = std::min<std::size_t>(value.type()->realSize, sizeof *n);
        std::uint64_t have = 0, want = 0;
        std::memcpy(&have, value.data(), size);
        std::memcpy(&want, n, size);
        same = have == want;
        out << "bits " << have << ", expected " << want;
    } else if (const auto* x = std::get_if<long double>(&init.payload)) {
        const long double have = readReal(value.data(), value.type()->baseType);
        same = isReal(value.type()->baseType) && have == ofPrecision(value.type()->baseType, *x);
        out.precision(21);
        out << have << ", expected " << *x;
    } else if (const auto* s = std::get_if<std::string>(&init.payload)) {
        same = value.as<std::string>() == *s;
        out << '"' << value.as<std::string>() << "\", expected \"" << *s << '"';
    } else if (const auto* w = std::get_if<std::u16string>(&init.payload)) {
        same = value.as<std::u16string>() == *w;
        out << "a wide text of " << value.as<std::u16string>().size() << " units";
    } else {
        same = value.as<Variant>() == std::get<Variant>(init.payload);
        out << value.as<Variant>() << ", expected " << std::get<Variant>(init.payload);
    }
    why = out.str();
    return same;
}

std::ostream& operator<<(std::ostream& out, const Variant& v)
{
    out << "Variant(" << v.type << ": ";
    if (const auto* n = std::get_if<std::int64_t>(&v.value))
        out << *n;
    else if (const auto* d = std::get_if<double>(&v.value))
        out << *d;
    else if (const auto* s = std::get_if<std::string>(&v.value))
        out << '"' << *s << '"';
    else if (const auto* w = std::get_if<std::u16string>(&v.value))
        out << w->size() << " wide units";
    else if (std::holds_alternative<std::shared_ptr<const VariantArray>>(v.value))
        out << "array";
    return out << ')';
}

} // namespace valuetest
