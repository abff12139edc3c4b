#include "script/runtime/value_ops.h"

#include "script/common/instruction_set.h"
#include "script/common/integer_calc.h"
#include "script/runtime/class_importer.h"
#include "script/runtime/exec.h"
#include "script/runtime/values.h"
#include "script/runtime/variant.h"

#include <cmath>
#include <cstring>
#include <optional>

using ps::BaseType;
using pscode::CalcOp;
using pscode::CompareOp;

namespace {

// Sets of base type codes, one bit per code.
constexpr std::uint32_t span(int from, int to)
{
    std::uint32_t mask = 0;
    for (int i = from; i <= to; ++i)
        mask |= 1u << i;
    return mask;
}
constexpr std::uint32_t bit(int code)
{
    return 1u << code;
}

// The left operand types each arithmetic operator takes.
constexpr std::uint32_t calcTakes[] = {
    span(1, 10) | bit(14) | span(16, 20) | bit(23) | bit(24) | bit(28),     // +
    span(1, 9) | bit(16) | bit(17) | bit(18) | bit(20) | bit(23) | bit(24), // -
    span(1, 9) | bit(16) | bit(17) | bit(23) | bit(24),                     // *
    span(1, 9) | bit(16) | bit(17) | bit(24),                               // /
    span(1, 6) | bit(16) | bit(17),                                         // mod
    span(1, 6) | bit(16) | bit(17),                                         // shl
    span(1, 6) | bit(16) | bit(17),                                         // shr
    span(1, 6) | bit(16) | bit(17),                                         // and
    span(1, 6) | bit(16) | bit(17),                                         // or
    span(1, 6) | bit(16) | bit(17),                                         // xor
    bit(25),                                                                // as
};

// The left operand types each ordering and equality operator takes.
constexpr std::uint32_t orderedTakes = span(1, 10) | bit(14) | span(16, 20) | bit(23) | bit(24) | bit(28);
constexpr std::uint32_t compareTakes[] = {
    orderedTakes,                                                  // >=
    orderedTakes,                                                  // <=
    orderedTakes & ~bit(23),                                       // >
    orderedTakes & ~bit(23),                                       // <
    span(1, 11) | bit(14) | span(16, 21) | span(23, 26) | bit(28), // <>
    span(1, 11) | bit(14) | span(16, 21) | span(23, 26) | bit(28), // =
};

bool takes(std::uint32_t mask, BaseType base)
{
    return ps::code(base) < 32 && ((mask >> ps::code(base)) & 1);
}

bool mismatch(TPSExec* exec)
{
    exec->SetError(ErTypeMismatch);
    return false;
}

// Runs an operation; an exception raised inside it is reported as the
// runtime error it stands for.
template <typename F> bool reported(TPSExec* exec, F&& body)
{
    try {
        return body();
    } catch (...) {
        exec->ReportException(std::current_exception());
        return false;
    }
}

bool isUnsigned(BaseType base)
{
    return base == BaseType::Byte || base == BaseType::Word || base == BaseType::LongWord || base == BaseType::Char ||
           base == BaseType::WideChar;
}

bool isRealBase(BaseType base)
{
    return base == BaseType::Single || base == BaseType::Double || base == BaseType::Extended;
}

// The integer operators over x and y as the shared integer arithmetic does
// them, for a left of the given type.
std::uint64_t integerResult(CalcOp op, BaseType leftBase, std::int64_t x, std::int64_t y)
{
    // Characters count as the unsigned integers of their width.
    if (leftBase == BaseType::Char)
        leftBase = BaseType::Byte;
    else if (leftBase == BaseType::WideChar)
        leftBase = BaseType::Word;
    const std::optional<std::uint64_t> result = ps::CalcIntegers(op, leftBase, x, y);
    if (!result)
        throw EDivByZero("Division by zero");
    return *result;
}

Variant variantOfLeft(const void* data, const TPSTypeRec* type)
{
    Variant v;
    ValueToVariant(data, type, v);
    return v;
}

// left op right for a left of up to 32 bits.
void smallIntegerOp(void* left, const void* right, const TPSTypeRec* leftType, const TPSTypeRec* rightType, CalcOp op)
{
    const BaseType lb = leftType->baseType;
    const std::int64_t x = LoadOrdinal(left, lb);
    const bool arithmetic = op <= CalcOp::Mod;
    if ((lb == BaseType::LongWord || lb == BaseType::LongInt) && arithmetic &&
        rightType->baseType == BaseType::Variant) {
        Variant v = variantOfLeft(left, leftType);
        VariantOp(v, *static_cast<const Variant*>(right), static_cast<std::uint8_t>(op), false);
        const std::int64_t back = lb == BaseType::LongWord ? VariantToInt64(v) : VariantToInt32(v);
        StoreOrdinal(left, lb, static_cast<std::uint64_t>(back));
        return;
    }
    // The unsigned getter gives every accepted right its own 32 bits; the
    // shared arithmetic reads them with the left's sign.
    const std::int64_t y = isUnsigned(lb) || (arithmetic && (lb == BaseType::LongWord || lb == BaseType::LongInt))
                               ? std::int64_t(GetValueAsUInt(right, rightType))
                               : std::int64_t(GetValueAsInt(right, rightType));
    StoreOrdinal(left, lb, integerResult(op, lb, x, y));
}

// The right as a number; a right that is none raises "Type Mismatch".
ps::Number numberOf(const void* data, const TPSTypeRec* type)
{
    ps::Number number;
    if (!NumberOf(data, type, number))
        RaiseTypeMismatch();
    return number;
}

// left op right for a real left.
void realOp(void* left, const void* right, const TPSTypeRec* leftType, const TPSTypeRec* rightType, CalcOp op)
{
    const BaseType lb = leftType->baseType;
    const long double x = LoadReal(left, lb);
    if (rightType->baseType == BaseType::Variant) {
        Variant v = VariantFromReal(ToDouble(x));
        VariantOp(v, *static_cast<const Variant*>(right), static_cast<std::uint8_t>(op), true);
        StoreReal(left, lb, VariantToReal(v));
        return;
    }
    StoreReal(left, lb, Checked(ps::RealOp(op, lb, x, numberOf(right, rightType))));
}

// left op right for a currency left, held as its count of ten-thousandths.
void currencyOp(void* left, const void* right, const TPSTypeRec* rightType, CalcOp op)
{
    if (rightType->baseType == BaseType::Variant) {
        Variant v = VariantFromCurrency(LoadAs<std::int64_t>(left));
        VariantOp(v, *static_cast<const Variant*>(right), static_cast<std::uint8_t>(op), true);
        StoreAs(left, VariantToCurrency(v));
        return;
    }
    StoreAs(left, Checked(ps::CurrencyOp(op, LoadAs<std::int64_t>(left), numberOf(right, rightType))));
}

// left + right for texts; the joined text must fit the memory limit.
template <typename Text> void appendText(TPSExec* exec, Text& left, const Text& right)
{
    CheckAllocation((std::uint64_t(left.size()) + right.size()) * sizeof(typename Text::value_type),
                    exec->MemoryLimit());
    left += right;
}

bool setOp(TPSExec* exec, void* left, const void* right, const TPSTypeRec* leftType, const TPSTypeRec* rightType,
           CalcOp op)
{
    if (leftType != rightType)
        return mismatch(exec);
    auto* l = static_cast<std::uint8_t*>(left);
    const auto* r = static_cast<const std::uint8_t*>(right);
    for (std::uint32_t i = 0; i < static_cast<const TPSTypeRec_Set*>(leftType)->byteCount; ++i)
        l[i] = op == CalcOp::Add ? l[i] | r[i] : op == CalcOp::Subtract ? l[i] & ~r[i] : l[i] & r[i];
    return true;
}

// The class type a type number names, or none.
const TPSTypeRec* classTypeOf(TPSExec* exec, const void* data, const TPSTypeRec* type)
{
    if (type->baseType != BaseType::LongWord)
        return nullptr;
    const TPSTypeRec* named = exec->GetTypeByNumber(LoadAs<std::uint32_t>(data));
    return named && named->baseType == BaseType::Class ? named : nullptr;
}

// Whether the object is of the class or descends from it, as the class
// importer knows the host's classes.
bool isInstance(TPSExec* exec, const void* object, const TPSTypeRec* classType)
{
    return IsClassInstance(exec, object, classType);
}

// ---- Comparisons ----------------------------------------------------------------

using ps::Order;
using ps::OrderOf;

bool variantsEqual(const Variant& a, const Variant& b)
{
    try {
        return VariantCompare(a, b) == Order::Equal;
    } catch (const EVariantError&) {
        return a == b; // arrays: the same elements in the same storage
    }
}

bool procsEqual(const TPSProcValue& a, const TPSProcValue& b)
{
    return a.procNo == b.procNo && (a.procNo != 0 || (a.method == b.method && a.self == b.self));
}

// Two values of one type: strings by their text, reals by value, records
// and static arrays part by part, references by what they refer to.
bool valuesEqual(const void* a, const void* b, const TPSTypeRec* type)
{
    switch (type->baseType) {
    case BaseType::AnsiString:
    case BaseType::PChar:
        return *static_cast<const std::string*>(a) == *static_cast<const std::string*>(b);
    case BaseType::WideString:
    case BaseType::UnicodeString:
        return *static_cast<const std::u16string*>(a) == *static_cast<const std::u16string*>(b);
    case BaseType::Variant:
        return variantsEqual(*static_cast<const Variant*>(a), *static_cast<const Variant*>(b));
    case BaseType::Single:
    case BaseType::Double:
    case BaseType::Extended:
        return LoadReal(a, type->baseType) == LoadReal(b, type->baseType);
    case BaseType::Procedural:
        return procsEqual(*static_cast<const TPSProcValue*>(a), *static_cast<const TPSProcValue*>(b));
    case BaseType::Pointer: {
        const auto& x = *static_cast<const TPSPointerValue*>(a);
        const auto& y = *static_cast<const TPSPointerValue*>(b);
        return x.data == y.data && x.type == y.type;
    }
    case BaseType::Record: {
        const auto* record = static_cast<const TPSTypeRec_Record*>(type);
        for (std::size_t i = 0; i < record->fieldTypes.size(); ++i) {
            const std::uint32_t offset = record->fieldOffsets[i];
            if (!valuesEqual(static_cast<const std::byte*>(a) + offset, static_cast<const std::byte*>(b) + offset,
                             record->fieldTypes[i]))
                return false;
        }
        return true;
    }
    case BaseType::StaticArray: {
        const auto* array = static_cast<const TPSTypeRec_StaticArray*>(type);
        const std::uint32_t step = array->elementType->realSize;
        for (std::uint32_t i = 0; i < array->elementCount; ++i)
            if (!valuesEqual(static_cast<const std::byte*>(a) + std::size_t(i) * step,
                             static_cast<const std::byte*>(b) + std::size_t(i) * step, array->elementType))
                return false;
        return true;
    }
    case BaseType::Set:
        return std::memcmp(a, b, static_cast<const TPSTypeRec_Set*>(type)->byteCount) == 0;
    default: // integers, characters, currency, references
        return std::memcmp(a, b, type->realSize) == 0;
    }
}

// How a number on the left compares with a right that is no number: a
// Variant read as the left asks, or for LongInt a procedural value's number
// (= and <> only).
Order compareNumberWithOther(const void* left, const void* right, const TPSTypeRec* leftType,
                             const TPSTypeRec* rightType, CompareOp op)
{
    const BaseType lb = leftType->baseType, rb = rightType->baseType;
    switch (lb) {
    case BaseType::Byte:
    case BaseType::Word:
    case BaseType::LongWord:
        return OrderOf(static_cast<std::uint32_t>(LoadOrdinal(left, lb)), GetValueAsUInt(right, rightType));
    case BaseType::ShortInt:
    case BaseType::SmallInt:
        return OrderOf(static_cast<std::int32_t>(LoadOrdinal(left, lb)), GetValueAsInt(right, rightType));
    case BaseType::LongInt: {
        const auto x = LoadAs<std::int32_t>(left);
        if (rb == BaseType::Procedural && (op == CompareOp::Equal || op == CompareOp::NotEqual))
            return OrderOf(x, static_cast<std::int32_t>(static_cast<const TPSProcValue*>(right)->procNo));
        if (rb == BaseType::Variant)
            return VariantCompare(VariantFromInt(x), *static_cast<const Variant*>(right));
        RaiseTypeMismatch();
    }
    case BaseType::Int64:
        return OrderOf(LoadAs<std::int64_t>(left), GetValueAsInt64(right, rightType));
    case BaseType::Currency:
        return OrderOf(LoadAs<std::int64_t>(left), GetValueAsCurrency(right, rightType));
    default: // reals
        return OrderOf(LoadReal(left, lb), GetValueAsReal(right, rightType));
    }
}

// The order of left and right for the operators 0 to 5; false (reported)
// when the pair is not taken.
bool orderValues(TPSExec* exec, const void* left, const void* right, const TPSTypeRec* leftType,
                 const TPSTypeRec* rightType, CompareOp op, Order& order)
{
    const BaseType lb = leftType->baseType, rb = rightType->baseType;
    switch (lb) {
    case BaseType::Byte:
        if (rb == BaseType::AnsiString || rb == BaseType::PChar) {
            order = OrderOf(std::string(1, LoadAs<char>(left)), GetValueAsAnsiString(right, rightType));
            return true;
        }
        [[fallthrough]];
    case BaseType::ShortInt:
    case BaseType::Word:
    case BaseType::SmallInt:
    case BaseType::LongWord:
    case BaseType::LongInt:
    case BaseType::Single:
    case BaseType::Double:
    case BaseType::Extended:
    case BaseType::Int64:
    case BaseType::Currency: {
        ps::Number l, r;
        if (NumberOf(right, rightType, r) && NumberOf(left, leftType, l))
            order = Checked(ps::CompareNumbers(l, r));
        else
            order = compareNumberWithOther(left, right, leftType, rightType, op);
        return true;
    }
    case BaseType::AnsiString:
    case BaseType::PChar:
    case BaseType::Char:
        order = OrderOf(GetValueAsAnsiString(left, leftType), GetValueAsAnsiString(right, rightType));
        return true;
    case BaseType::WideString:
    case BaseType::UnicodeString:
    case BaseType::WideChar:
        order = OrderOf(GetValueAsWideString(left, leftType), GetValueAsWideString(right, rightType));
        return true;
    case BaseType::Variant: {
        Variant r;
        if (!ValueToVariant(right, rightType, r, exec->MemoryLimit()))
            return mismatch(exec);
        order = VariantCompare(*static_cast<const Variant*>(left), r);
        return true;
    }
    case BaseType::Record:
        if (leftType != rightType)
            return mismatch(exec);
        order = valuesEqual(left, right, leftType) ? Order::Equal : Order::Unordered;
        return true;
    case BaseType::Procedural:
        if (rb != BaseType::Procedural)
            return mismatch(exec);
        order = procsEqual(*static_cast<const TPSProcValue*>(left), *static_cast<const TPSProcValue*>(right))
                    ? Order::Equal
                    : Order::Unordered;
        return true;
    case BaseType::Set:
        if (leftType != rightType)
            return mismatch(exec);
        // >= asks whether the left holds the right, <= the other way round.
        order = ps::OrderOfSets(static_cast<const std::uint8_t*>(left), static_cast<const std::uint8_t*>(right),
                                static_cast<const TPSTypeRec_Set*>(leftType)->byteCount);
        return true;
    case BaseType::Class:
    case BaseType::Interface:
        if (rb != lb)
            return mismatch(exec);
        order = LoadAs<const void*>(left) == LoadAs<const void*>(right) ? Order::Equal : Order::Unordered;
        return true;
    default:
        return mismatch(exec);
    }
}

bool storeOutcome(TPSExec* exec, void* dest, const TPSTypeRec* destType, bool outcome)
{
    switch (destType->baseType) {
    case BaseType::Byte:
    case BaseType::ShortInt:
    case BaseType::Word:
    case BaseType::SmallInt:
    case BaseType::LongWord:
    case BaseType::LongInt:
        StoreOrdinal(dest, destType->baseType, outcome);
        return true;
    case BaseType::Variant:
        *static_cast<Variant*>(dest) = VariantFromBool(outcome);
        return true;
    default:
        return mismatch(exec);
    }
}

bool membership(TPSExec* exec, const void* left, const void* right, const TPSTypeRec* leftType,
                const TPSTypeRec* rightType, bool& outcome)
{
    if (rightType->baseType == BaseType::DynArray &&
        static_cast<const TPSTypeRec_Array*>(rightType)->elementType->baseType == BaseType::Variant) {
        Variant wanted;
        if (!ValueToVariant(left, leftType, wanted, exec->MemoryLimit()))
            return mismatch(exec);
        const auto* items = static_cast<const Variant*>(DynArrayElements(right));
        outcome = false;
        for (std::uint32_t i = 0; i < DynArrayGetLength(right, rightType) && !outcome; ++i)
            outcome = VariantCompare(items[i], wanted) == Order::Equal;
        return true;
    }
    if (rightType->baseType != BaseType::Set)
        return mismatch(exec);
    const std::uint32_t element = GetValueAsUInt(left, leftType);
    if (element >= static_cast<const TPSTypeRec_Set*>(rightType)->bitCount) {
        exec->SetError(erOutofRecordRange);
        return false;
    }
    outcome = (static_cast<const std::uint8_t*>(right)[element / 8] >> (element % 8)) & 1;
    return true;
}

// ---- Assignment -------------------------------------------------------------------

bool assignDynArray(TPSExec* exec, void* dest, const void* source, const TPSTypeRec* destType,
                    const TPSTypeRec* sourceType)
{
    const TPSTypeRec* element = static_cast<const TPSTypeRec_Array*>(destType)->elementType;
    switch (sourceType->baseType) {
    case BaseType::StaticArray: {
        const auto* array = static_cast<const TPSTypeRec_StaticArray*>(sourceType);
        if (array->elementType != element)
            return mismatch(exec);
        // A copy first: the source may live inside the array it replaces.
        TPSDynArrayHeader* fresh = nullptr;
        DynArraySetLength(&fresh, destType, array->elementCount);
        bool copied = false;
        try {
            copied = CopyValues(DynArrayElements(&fresh), source, array->elementCount, element);
        } catch (...) {
            FinalizeValue(&fresh, destType);
            throw;
        }
        if (!copied) {
            FinalizeValue(&fresh, destType);
            return mismatch(exec);
        }
        FinalizeValue(dest, destType);
        *static_cast<TPSDynArrayHeader**>(dest) = fresh;
        return true;
    }
    case BaseType::Variant:
        if (!IsArrayVariant(*static_cast<const Variant*>(source)))
            return mismatch(exec);
        return VariantToDynArray(exec, dest, *static_cast<const Variant*>(source), destType);
    case BaseType::DynArray:
        if (static_cast<const TPSTypeRec_Array*>(sourceType)->elementType != element)
            return mismatch(exec);
        return CopyValues(dest, source, 1, destType) || mismatch(exec);
    default:
        return mismatch(exec);
    }
}

bool assignValue(TPSExec* exec, void* dest, const void* source, const TPSTypeRec* destType,
                 const TPSTypeRec* sourceType)
{
    FollowValuePointer(source, sourceType);
    const BaseType db = destType->baseType, sb = sourceType->baseType;
    switch (db) {
    case BaseType::Byte:
    case BaseType::Char:
    case BaseType::Word:
    case BaseType::WideChar:
        StoreOrdinal(dest, db, GetValueAsUInt(source, sourceType));
        return true;
    case BaseType::ShortInt:
    case BaseType::SmallInt:
        StoreOrdinal(dest, db, static_cast<std::uint32_t>(GetValueAsInt(source, sourceType)));
        return true;
    case BaseType::LongWord:
    case BaseType::LongInt: {
        std::uint32_t bits;
        if (sb == BaseType::Class && db == BaseType::LongInt)
            bits = exec->ObjectHandles().HandleOf(LoadAs<void*>(source));
        else if (sb == BaseType::Variant && db == BaseType::LongWord)
            bits = static_cast<std::uint32_t>(VariantToInt64(*static_cast<const Variant*>(source)));
        else if (sb == BaseType::Variant)
            bits = static_cast<std::uint32_t>(VariantToInt32(*static_cast<const Variant*>(source)));
        else if (IsIntegerType(sb) || sb == BaseType::Char || sb == BaseType::WideChar)
            bits = GetValueAsUInt(source, sourceType);
        else
            RaiseTypeMismatch();
        StoreAs(dest, bits);
        return true;
    }
    case BaseType::Single:
    case BaseType::Double:
    case BaseType::Extended:
        StoreReal(dest, db, GetValueAsReal(source, sourceType));
        return true;
    case BaseType::AnsiString:
    case BaseType::PChar:
        *static_cast<std::string*>(dest) = GetValueAsAnsiString(source, sourceType);
        return true;
    case BaseType::Record:
    case BaseType::StaticArray:
        return (destType == sourceType && CopyValues(dest, source, 1, destType)) || mismatch(exec);
    case BaseType::DynArray:
        return assignDynArray(exec, dest, source, destType, sourceType);
    case BaseType::Variant: {
        Variant value;
        if (!ValueToVariant(source, sourceType, value, exec->MemoryLimit()))
            return mismatch(exec);
        *static_cast<Variant*>(dest) = std::move(value);
        return true;
    }
    case BaseType::Int64:
        StoreAs(dest, GetValueAsInt64(source, sourceType));
        return true;
    case BaseType::WideString:
    case BaseType::UnicodeString:
        *static_cast<std::u16string*>(dest) = GetValueAsWideString(source, sourceType);
        return true;
    case BaseType::Procedural:
        if (sb == BaseType::LongWord)
            static_cast<TPSProcValue*>(dest)->procNo = LoadAs<std::uint32_t>(source);
        else if (sb == BaseType::Procedural)
            *static_cast<TPSProcValue*>(dest) = *static_cast<const TPSProcValue*>(source);
        else
            RaiseTypeMismatch();
        return true;
    case BaseType::Set:
        return (destType == sourceType && CopyValues(dest, source, 1, destType)) || mismatch(exec);
    case BaseType::Currency:
        StoreAs(dest, GetValueAsCurrency(source, sourceType));
        return true;
    case BaseType::Class: {
        void* object = nullptr;
        if (sb == BaseType::Class)
            object = LoadAs<void*>(source);
        else if ((sb != BaseType::LongWord && sb != BaseType::LongInt) ||
                 !exec->ObjectHandles().ObjectOf(LoadAs<std::uint32_t>(source), object))
            return mismatch(exec);
        StoreAs(dest, object);
        return true;
    }
    case BaseType::Interface:
        if (sb == BaseType::Interface)
            return CopyValues(dest, source, 1, destType) || mismatch(exec);
        if (sb == BaseType::Class) {
            void* object = LoadAs<void*>(source);
            IUnknown* reference = object ? ClassInterface(exec, object, destType) : nullptr;
            if (object && !reference) {
                exec->SetError(erInterfaceNotSupported);
                return false;
            }
            IUnknown*& target = *static_cast<IUnknown**>(dest);
            if (target)
                target->Release();
            target = reference;
            return true;
        }
        if (sb == BaseType::Variant && destType->exportName == "IDISPATCH") {
            // No Variant holds an automation object here: an empty one is
            // nil, anything else converts to no dispatch interface.
            if (static_cast<const Variant*>(source)->type != varcode::Empty)
                throw EVariantError("Invalid variant type conversion");
            IUnknown*& target = *static_cast<IUnknown**>(dest);
            if (target)
                target->Release();
            target = nullptr;
            return true;
        }
        return mismatch(exec);
    default:
        return mismatch(exec);
    }
}

} // namespace

bool GetIntegerValue(const void* data, const TPSTypeRec* type, std::int64_t& out)
{
    if (!IsIntegerType(type->baseType))
        return false;
    out = LoadOrdinal(data, type->baseType);
    return true;
}

bool SetIntegerValue(void* data, const TPSTypeRec* type, std::int64_t value)
{
    if (!IsIntegerType(type->baseType))
        return false;
    StoreOrdinal(data, type->baseType, static_cast<std::uint64_t>(value));
    return true;
}

bool AssignValue(TPSExec* exec, void* dest, const void* source, const TPSTypeRec* destType,
                 const TPSTypeRec* sourceType)
{
    return reported(exec, [&] { return assignValue(exec, dest, source, destType, sourceType); });
}

bool ApplyArithmeticOp(TPSExec* exec, void* left, const void* right, const TPSTypeRec* leftType,
                       const TPSTypeRec* rightType, std::uint8_t op)
{
    if (op > static_cast<std::uint8_t>(CalcOp::As)) {
        exec->SetError(erInvalidOpcodeParameter);
        return false;
    }
    const BaseType lb = leftType->baseType;
    if (!takes(calcTakes[op], lb))
        return mismatch(exec);
    const auto calc = static_cast<CalcOp>(op);
    return reported(exec, [&] {
        FollowValuePointer(right, rightType);
        switch (lb) {
        case BaseType::Int64:
            StoreAs(left, integerResult(calc, lb, LoadAs<std::int64_t>(left), GetValueAsInt64(right, rightType)));
            return true;
        case BaseType::Single:
        case BaseType::Double:
        case BaseType::Extended:
            realOp(left, right, leftType, rightType, calc);
            return true;
        case BaseType::AnsiString:
        case BaseType::PChar:
            appendText(exec, *static_cast<std::string*>(left), GetValueAsAnsiString(right, rightType));
            return true;
        case BaseType::WideString:
        case BaseType::UnicodeString:
            appendText(exec, *static_cast<std::u16string*>(left), GetValueAsWideString(right, rightType));
            return true;
        case BaseType::Variant: {
            Variant r;
            if (!ValueToVariant(right, rightType, r, exec->MemoryLimit()))
                return mismatch(exec);
            auto& v = *static_cast<Variant*>(left);
            VariantOp(v, r, op, IsFloatVariant(v), exec->MemoryLimit());
            return true;
        }
        case BaseType::Set:
            return setOp(exec, left, right, leftType, rightType, calc);
        case BaseType::Currency:
            currencyOp(left, right, rightType, calc);
            return true;
        case BaseType::Class: {
            const TPSTypeRec* classType = classTypeOf(exec, right, rightType);
            return (classType && isInstance(exec, LoadAs<const void*>(left), classType)) || mismatch(exec);
        }
        default: // integers and characters of up to 32 bits
            smallIntegerOp(left, right, leftType, rightType, calc);
            return true;
        }
    });
}

bool CompareValues(TPSExec* exec, const void* left, const void* right, void* dest, const TPSTypeRec* leftType,
                   const TPSTypeRec* rightType, const TPSTypeRec* destType, std::uint8_t op)
{
    if (op > static_cast<std::uint8_t>(CompareOp::Is)) {
        exec->SetError(erInvalidOpcodeParameter);
        return false;
    }
    const auto compare = static_cast<CompareOp>(op);
    return reported(exec, [&] {
        FollowValuePointer(left, leftType);
        FollowValuePointer(right, rightType);
        bool outcome = false;
        if (compare == CompareOp::In) {
            if (!membership(exec, left, right, leftType, rightType, outcome))
                return false;
        } else if (compare == CompareOp::Is) {
            const TPSTypeRec* classType = classTypeOf(exec, right, rightType);
            if (leftType->baseType != BaseType::Class || !classType)
                return mismatch(exec);
            outcome = isInstance(exec, LoadAs<const void*>(left), classType);
        } else {
            Order order;
            if (!takes(compareTakes[op], leftType->baseType))
                return mismatch(exec);
            if (!orderValues(exec, left, right, leftType, rightType, compare, order))
                return false;
            outcome = ps::OrderSatisfies(order, compare);
        }
        return storeOutcome(exec, dest, destType, outcome);
    });
}

bool NegateValue(TPSExec* exec, void* data, const TPSTypeRec* type)
{
    return reported(exec, [&] {
        const BaseType base = type->baseType;
        if (IsIntegerType(base) || base == BaseType::Currency)
            StoreOrdinal(data, base == BaseType::Currency ? BaseType::Int64 : base,
                         0 - static_cast<std::uint64_t>(LoadOrdinal(data, base)));
        else if (isRealBase(base))
            StoreReal(data, base, -LoadReal(data, base));
        else if (base == BaseType::Variant)
            VariantNegate(*static_cast<Variant*>(data));
        else
            return mismatch(exec);
        return true;
    });
}

bool BooleanNotValue(TPSExec* exec, void* data, const TPSTypeRec* type)
{
    return reported(exec, [&] {
        const BaseType base = type->baseType;
        if (IsIntegerType(base)) {
            StoreOrdinal(data, base, LoadOrdinal(data, base) == 0);
        } else if (base == BaseType::Variant) {
            auto& v = *static_cast<Variant*>(data);
            v = VariantFromBool(VariantCompare(v, VariantFromInt(0)) == Order::Equal);
        } else {
            return mismatch(exec);
        }
        return true;
    });
}

bool BitwiseNotValue(TPSExec* exec, void* data, const TPSTypeRec* type)
{
    return reported(exec, [&] {
        const BaseType base = type->baseType;
        if (IsIntegerType(base))
            StoreOrdinal(data, base, ~static_cast<std::uint64_t>(LoadOrdinal(data, base)));
        else if (base == BaseType::Variant)
            VariantNot(*static_cast<Variant*>(data));
        else
            return mismatch(exec);
        return true;
    });
}
