#include "script/runtime/native_bridge.h"

#include "script/common/utils.h"
#include "script/runtime/value_ops.h"

#include <cctype>

using ps::BaseType;

// --- declarations

std::string TPSNativeDecl::Signature() const
{
    std::string text(1, isFunction ? '\1' : '\0');
    for (const TPSNativeParam& param : params)
        text.push_back(param.mode == TPSNativeMode::Var || param.mode == TPSNativeMode::Out ? '\1' : '\0');
    return text;
}

namespace {

class DeclReader
{
public:
    explicit DeclReader(std::string_view text) : text_(text) {}

    // The next word or punctuation mark, upper-cased; empty at the end.
    std::string next()
    {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_])))
            ++pos_;
        if (pos_ >= text_.size())
            return {};
        const std::size_t start = pos_;
        auto word = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '!'; };
        if (word(text_[pos_]))
            while (pos_ < text_.size() && word(text_[pos_]))
                ++pos_;
        else
            ++pos_;
        written_ = std::string(text_.substr(start, pos_ - start));
        return FastUpperCase(written_);
    }
    std::string peek()
    {
        const std::size_t saved = pos_;
        const std::string written = written_;
        std::string token = next();
        pos_ = saved;
        written_ = written;
        return token;
    }
    const std::string& written() const { return written_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::string written_;
};

bool isName(const std::string& token)
{
    return !token.empty() && (std::isalpha(static_cast<unsigned char>(token[0])) || token[0] == '_');
}

bool readType(DeclReader& in, TPSNativeDeclType& type)
{
    std::string token = in.next();
    if (token == "ARRAY") {
        if (in.next() != "OF")
            return false;
        type.openArray = true;
        token = in.next();
    }
    type.name = token;
    type.written = in.written();
    return isName(token);
}

} // namespace

bool ParseNativeDecl(std::string_view text, TPSNativeDecl& out, std::string& error)
{
    out = {};
    DeclReader in(text);
    const std::string kind = in.next();
    if (kind != "FUNCTION" && kind != "PROCEDURE") {
        error = "it starts with neither function nor procedure";
        return false;
    }
    out.isFunction = kind == "FUNCTION";
    if (!isName(in.next())) {
        error = "the routine has no name";
        return false;
    }
    out.name = in.written();
    std::string token = in.next();
    if (token == "(") {
        do {
            TPSNativeMode mode = TPSNativeMode::Value;
            const std::string first = in.peek();
            if (first == "VAR" || first == "CONST" || first == "OUT") {
                in.next();
                mode =
                    first == "VAR" ? TPSNativeMode::Var : (first == "OUT" ? TPSNativeMode::Out : TPSNativeMode::Const);
            }
            std::vector<std::string> names;
            do {
                if (!isName(in.next())) {
                    error = "a parameter has no name";
                    return false;
                }
                names.push_back(in.written());
                token = in.next();
            } while (token == ",");
            TPSNativeDeclType type;
            if (token != ":" || !readType(in, type)) {
                error = "parameter " + names.front() + " has no type";
                return false;
            }
            for (std::string& name : names)
                out.params.push_back({std::move(name), mode, type});
            token = in.next();
        } while (token == ";");
        if (token != ")") {
            error = "the parameter list is not closed";
            return false;
        }
        token = in.next();
    }
    if (out.isFunction) {
        if (token != ":" || !readType(in, out.result)) {
            error = "the function has no result type";
            return false;
        }
        token = in.next();
    }
    if (token == ";")
        token = in.next();
    if (!token.empty()) {
        error = "it goes on after its end";
        return false;
    }
    return true;
}

// --- reading and writing values

namespace psnative {

Kind KindOf(const std::string& upperName)
{
    static const std::pair<const char*, Kind> names[] = {
        {"BYTE", Kind::Byte},
        {"SHORTINT", Kind::ShortInt},
        {"WORD", Kind::Word},
        {"SMALLINT", Kind::SmallInt},
        {"LONGWORD", Kind::LongWord},
        {"CARDINAL", Kind::LongWord},
        {"LONGINT", Kind::LongInt},
        {"INTEGER", Kind::LongInt},
        {"INT64", Kind::Int64},
        {"SINGLE", Kind::Single},
        {"DOUBLE", Kind::Double},
        {"TDATETIME", Kind::Double},
        {"EXTENDED", Kind::Extended},
        {"CURRENCY", Kind::Currency},
        {"BOOLEAN", Kind::Boolean},
        {"CHAR", Kind::Char},
        {"WIDECHAR", Kind::WideChar},
        {"STRING", Kind::AnsiString},
        {"ANSISTRING", Kind::AnsiString},
        {"NATIVESTRING", Kind::AnsiString},
        {"TBTSTRING", Kind::AnsiString},
        {"PCHAR", Kind::AnsiString},
        {"WIDESTRING", Kind::WideString},
        {"UNICODESTRING", Kind::WideString},
        {"VARIANT", Kind::Variant},
    };
    for (const auto& [name, kind] : names)
        if (upperName == name)
            return kind;
    return Kind::Other;
}

void CheckBase(const TPSValueRef& v, BaseType a, BaseType b)
{
    if (v.type->baseType != a && v.type->baseType != b)
        throw Mismatch{};
}

std::int64_t ReadInteger(const TPSValueRef& v)
{
    std::int64_t value = 0;
    if (GetIntegerValue(v.data, v.type, value))
        return value;
    if (v.type->baseType == BaseType::Char || v.type->baseType == BaseType::WideChar)
        return ReadChar(v);
    return GetValueAsInt64(v.data, v.type);
}

void WriteInteger(const TPSValueRef& v, std::int64_t value)
{
    if (SetIntegerValue(v.data, v.type, value))
        return;
    bool ok = true;
    SetValueFromInt64(v.data, v.type, ok, value);
    if (!ok)
        throw Mismatch{};
}

long double ReadReal(const TPSValueRef& v)
{
    return GetValueAsReal(v.data, v.type);
}

void WriteReal(const TPSValueRef& v, long double value)
{
    bool ok = true;
    SetValueFromReal(v.data, v.type, ok, value);
    if (!ok)
        throw Mismatch{};
}

char16_t ReadChar(const TPSValueRef& v)
{
    switch (v.type->baseType) {
    case BaseType::Char:
        return LoadAs<std::uint8_t>(v.data);
    case BaseType::WideChar:
        return LoadAs<char16_t>(v.data);
    default: {
        const std::u16string text = GetValueAsUnicodeString(v.data, v.type);
        return text.empty() ? u'\0' : text[0];
    }
    }
}

void WriteChar(const TPSValueRef& v, char16_t value)
{
    switch (v.type->baseType) {
    case BaseType::Char:
        StoreAs<std::uint8_t>(v.data, static_cast<std::uint8_t>(value));
        return;
    case BaseType::WideChar:
        StoreAs<char16_t>(v.data, value);
        return;
    default:
        WriteWide(v, std::u16string(1, value));
    }
}

void WriteAnsi(const TPSValueRef& v, const std::string& value)
{
    bool ok = true;
    SetValueFromAnsiString(v.data, v.type, ok, value);
    if (!ok)
        throw Mismatch{};
}

void WriteWide(const TPSValueRef& v, const std::u16string& value)
{
    bool ok = true;
    SetValueFromUnicodeString(v.data, v.type, ok, value);
    if (!ok)
        throw Mismatch{};
}

Variant ReadVariant(TPSExec* exec, const TPSValueRef& v)
{
    Variant out;
    if (!ValueToVariant(v.data, v.type, out, exec->MemoryLimit()))
        throw Mismatch{};
    return out;
}

void WriteVariant(TPSExec* exec, const TPSValueRef& v, const Variant& value)
{
    if (v.type->baseType == BaseType::Variant) {
        *static_cast<Variant*>(v.data) = value;
        return;
    }
    if (!AssignValue(exec, v.data, &value, v.type, exec->VariantType()))
        throw Mismatch{};
}

TPSNativeArray ArrayView(const TPSValueRef& v)
{
    CheckBase(v, BaseType::DynArray, BaseType::StaticArray);
    return TPSNativeArray{v};
}

} // namespace psnative

// The items of an array of const point at their values.
Variant psnative::Conv<Variant>::Read(TPSExec* exec, const TPSValueRef& v)
{
    if (v.type->baseType != BaseType::Pointer)
        return ReadVariant(exec, v);
    TPSValueRef target;
    if (!exec->PointerTarget(LoadAs<TPSPointerValue>(v.data), target))
        throw Mismatch{};
    return ReadVariant(exec, target);
}

void psnative::Conv<TPSNativeCurrency>::Write(TPSExec*, const TPSValueRef& v, TPSNativeCurrency value)
{
    if (v.type->baseType == BaseType::Currency)
        StoreAs<std::int64_t>(v.data, value.scaled);
    else
        WriteReal(v, static_cast<long double>(value.scaled) / 10000);
}

// --- views

std::size_t TPSNativeRecord::FieldCount() const
{
    return static_cast<const TPSTypeRec_Record*>(ref.type)->fieldTypes.size();
}

TPSValueRef TPSNativeRecord::Field(std::size_t i) const
{
    const auto* record = static_cast<const TPSTypeRec_Record*>(ref.type);
    if (i >= record->fieldTypes.size())
        return {};
    return {static_cast<std::byte*>(ref.data) + record->fieldOffsets[i], record->fieldTypes[i]};
}

std::uint32_t TPSNativeSet::BitCount() const
{
    return static_cast<const TPSTypeRec_Set*>(ref.type)->bitCount;
}

bool TPSNativeSet::Contains(std::uint32_t bit) const
{
    return bit < BitCount() && (static_cast<const std::uint8_t*>(ref.data)[bit / 8] >> (bit % 8)) & 1;
}

void TPSNativeSet::Include(std::uint32_t bit) const
{
    if (bit < BitCount())
        static_cast<std::uint8_t*>(ref.data)[bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
}

void TPSNativeSet::Exclude(std::uint32_t bit) const
{
    if (bit < BitCount())
        static_cast<std::uint8_t*>(ref.data)[bit / 8] &= static_cast<std::uint8_t>(~(1u << (bit % 8)));
}

std::uint32_t TPSNativeArray::Count() const
{
    if (ref.type->baseType == BaseType::StaticArray)
        return static_cast<const TPSTypeRec_StaticArray*>(ref.type)->elementCount;
    return DynArrayGetLength(ref.data, ref.type);
}

TPSValueRef TPSNativeArray::Item(std::uint32_t i) const
{
    if (i >= Count())
        return {};
    const TPSTypeRec* element = static_cast<const TPSTypeRec_Array*>(ref.type)->elementType;
    void* first = ref.type->baseType == BaseType::StaticArray ? ref.data : DynArrayElements(ref.data);
    return {static_cast<std::byte*>(first) + std::size_t(i) * element->realSize, element};
}

bool TPSNativeArray::Resize(std::uint32_t count) const
{
    if (ref.type->baseType != BaseType::DynArray)
        return false;
    DynArraySetLength(ref.data, ref.type, count);
    return true;
}

// --- registration and calls

namespace psnative {
namespace {

bool callRoutine(TPSExec* exec, TPSExternalProcRec* proc, TPSStack*, TPSStack* stack)
{
    auto* routine = reinterpret_cast<Routine*>(proc->ext1);
    // An image that declares the routine otherwise than it was registered
    // would read the wrong stack entries.
    if (!routine || (!proc->decl.empty() && proc->decl != routine->signature))
        return false;
    try {
        return routine->Invoke(exec, stack);
    } catch (const EPSRuntimeError& e) {
        exec->ReportError(e.code(), e.what());
        return false;
    }
}

void freeRoutine(TPSExec*, TPSNativeProc* native)
{
    delete reinterpret_cast<Routine*>(native->ext1);
    native->ext1 = 0;
}

} // namespace

void Register(TPSExec& exec, std::unique_ptr<Routine> routine, void* object)
{
    const std::string name = routine->decl.name;
    exec.RegisterProcName(name, callRoutine, reinterpret_cast<std::uintptr_t>(routine.release()),
                          reinterpret_cast<std::uintptr_t>(object), freeRoutine);
}

TPSNativeDecl ReadDecl(std::string_view declaration, std::uint8_t convention)
{
    TPSNativeDecl decl;
    std::string error;
    if (!ParseNativeDecl(declaration, decl, error))
        throw EPSNativeRegistration("Cannot register \"" + std::string(declaration) + "\": " + error);
    if (convention > 4)
        Refuse(decl, "the calling convention " + std::to_string(convention) + " is none of 0 to 4");
    return decl;
}

void Refuse(const TPSNativeDecl& decl, const std::string& why)
{
    throw EPSNativeRegistration("Cannot register " + decl.name + ": " + why);
}

} // namespace psnative
