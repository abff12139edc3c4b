// Writing the bytecode image and the debug data at the end of a compile.

#include "script/compiler/image_writer.h"

#include "script/common/instruction_set.h"
#include "script/compiler/compiler.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cstring>

using ps::BaseType;
using pscode::putByte;
using pscode::putU32;

static_assert(LDBL_MANT_DIG == 64, "an Extended value is the ten bytes of an x87 long double");

namespace {

void putText(std::string& out, std::string_view text)
{
    putU32(out, static_cast<std::uint32_t>(text.size()));
    out.append(text);
}

void putNumber(std::string& out, const TPSType* type)
{
    putU32(out, static_cast<std::uint32_t>(ResolveLink(type)->FinalTypeNo));
}

template <typename T> void putRaw(std::string& out, const T& value, std::size_t size = sizeof(T))
{
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    out.append(bytes, size);
}

// The class a forward class stands for, or the type itself.
const TPSType* completed(const TPSPascalCompiler& compiler, const TPSType* type)
{
    if (type->BaseType != BaseType::ForwardClass)
        return type;
    const auto& name = static_cast<const TPSUndefinedClassType*>(type)->ExtClass;
    const TPSCompileTimeClass* cl = compiler.IsCompiling() ? compiler.FindClass(name) : nullptr;
    return cl ? cl->FType : nullptr;
}

std::uint32_t countOf(const std::string& text)
{
    return static_cast<std::uint32_t>(text.size());
}

} // namespace

BaseType ImageBaseType(const TPSType* type)
{
    switch (type->BaseType) {
    case BaseType::Enumeration: {
        const std::uint32_t high = static_cast<const TPSEnumType*>(type)->HighValue;
        return high <= 0xFF ? BaseType::Byte : high <= 0xFFFF ? BaseType::Word : BaseType::LongWord;
    }
    case BaseType::TypeNumber:
    case BaseType::NotificationVariant:
        return BaseType::LongWord;
    default:
        return type->BaseType;
    }
}

std::uint64_t ScriptValueSize(const TPSType* type)
{
    type = ResolveLink(type);
    if (!type)
        return 0;
    switch (type->BaseType) {
    case BaseType::Record: {
        std::uint64_t sum = 0;
        for (const TPSRecordFieldTypeDef& field : static_cast<const TPSRecordType*>(type)->Fields)
            sum += ScriptValueSize(field.FieldType);
        return sum;
    }
    case BaseType::StaticArray: {
        const auto* array = static_cast<const TPSStaticArrayType*>(type);
        return ScriptValueSize(array->ArrayTypeNo) * static_cast<std::uint32_t>(array->Length);
    }
    case BaseType::Set:
        return static_cast<const TPSSetType*>(type)->ByteSize();
    case BaseType::Pointer:
    case BaseType::Procedural:
        return 12;
    case BaseType::Variant:
    case BaseType::NotificationVariant:
        return 16;
    case BaseType::AnsiString:
    case BaseType::PChar:
    case BaseType::WideString:
    case BaseType::UnicodeString:
    case BaseType::DynArray:
    case BaseType::Class:
    case BaseType::ForwardClass:
    case BaseType::Interface:
        return 4;
    default:
        return ps::fixedValueSize(ImageBaseType(type));
    }
}

bool ProceduralSignatureFits(const TPSParametersDecl& decl)
{
    return decl.Params.size() + 1 < ps::image::ShortTextLimit;
}

void TPSPascalCompiler::WriteConstValue(std::string& dest, const TPSValueRecord& value) const
{
    const TPSType* type = value.FType;
    const BaseType written = ImageBaseType(type);
    // The type number, then the value.
    switch (type->BaseType) {
    case BaseType::Single:
        putNumber(dest, type);
        putRaw(dest, static_cast<float>(value.Real));
        return;
    case BaseType::Double:
        putNumber(dest, type);
        putRaw(dest, static_cast<double>(value.Real));
        return;
    case BaseType::Extended:
        putNumber(dest, type);
        putRaw(dest, value.Real, 10);
        return;
    case BaseType::AnsiString:
    case BaseType::PChar:
        putNumber(dest, type);
        putText(dest, value.Str);
        return;
    case BaseType::WideString:
    case BaseType::UnicodeString:
        putNumber(dest, type);
        putU32(dest, static_cast<std::uint32_t>(value.WStr.size()));
        for (const char16_t unit : value.WStr)
            putRaw(dest, static_cast<std::uint16_t>(unit));
        return;
    case BaseType::Set: {
        putNumber(dest, type);
        // Exactly the set's size, whatever the folding left in the string.
        std::string bytes = value.Str;
        bytes.resize(static_cast<const TPSSetType*>(type)->ByteSize(), '\0');
        dest.append(bytes);
        return;
    }
    case BaseType::TypeNumber:
        putNumber(dest, type);
        putNumber(dest, value.TypeRef);
        return;
    default: {
        // Integers, characters, ordinals, procedure numbers and Currency:
        // the low bytes of the 64-bit value. Most constants of a script's
        // code are of these: the type number and the value in one append.
        const std::size_t size = std::min(ps::fixedValueSize(written), sizeof value.Int);
        char bytes[4 + sizeof value.Int];
        const auto typeNo = static_cast<std::uint32_t>(ResolveLink(type)->FinalTypeNo);
        for (int i = 0; i < 4; ++i)
            bytes[i] = static_cast<char>(typeNo >> (8 * i));
        std::memcpy(bytes + 4, &value.Int, sizeof value.Int);
        dest.append(bytes, 4 + size);
        return;
    }
    }
}

void TPSPascalCompiler::WriteDebugLine(std::int32_t procNo)
{
    if (OnWriteLine && !OnWriteLine(this, parser_->Position()))
        return;
    std::uint32_t position = parser_->Position();
    std::uint32_t row = parser_->Row();
    std::uint32_t col = parser_->GetCol();
    const auto& proc = static_cast<const TPSInternalProcedure&>(*procs_[static_cast<std::size_t>(procNo)]);
    // One record a statement: written straight into the debug data, with no
    // copy of the file name unless the host translates the place.
    std::string translated;
    std::string_view fileName = module_;
    if (OnTranslateLineInfo) {
        translated = module_;
        OnTranslateLineInfo(this, position, row, col, translated);
        fileName = translated;
    }
    // The tag, the name and its end and the five fields, in the room taken
    // at once.
    std::uint32_t fields[5] = {static_cast<std::uint32_t>(procNo), countOf(proc.Data), position, row, col};
    if constexpr (std::endian::native == std::endian::big) {
        for (std::uint32_t& field : fields)
            field = __builtin_bswap32(field);
    }
    std::string& record = debugOutput_;
    // The main script has no file name: most records are of one length and
    // go in with one append.
    if (fileName.empty()) {
        char bytes[2 + sizeof fields];
        bytes[0] = static_cast<char>(ps::debugdata::Line);
        bytes[1] = ps::debugdata::NameEnd;
        std::memcpy(bytes + 2, fields, sizeof fields);
        record.append(bytes, sizeof bytes);
        return;
    }
    const std::size_t at = record.size();
    record.resize(at + 1 + fileName.size() + 1 + sizeof fields);
    char* out = record.data() + at;
    *out++ = static_cast<char>(ps::debugdata::Line);
    std::memcpy(out, fileName.data(), fileName.size());
    out += fileName.size();
    *out++ = ps::debugdata::NameEnd;
    std::memcpy(out, fields, sizeof fields);
}

void TPSPascalCompiler::WriteDebugProcNames(std::int32_t procNo)
{
    const auto& proc = static_cast<const TPSInternalProcedure&>(*procs_[static_cast<std::size_t>(procNo)]);
    // Written straight into the debug data, as the line records are.
    std::string& record = debugOutput_;
    putByte(record, ps::debugdata::Params);
    putU32(record, static_cast<std::uint32_t>(procNo));
    if (proc.Decl.Result)
        record.append("Result").push_back(ps::debugdata::NameEnd);
    for (const TPSParameterDecl& param : proc.Decl.Params)
        record.append(param.OrgName).push_back(ps::debugdata::NameEnd);
    record.push_back(ps::debugdata::ListEnd);
    putByte(record, ps::debugdata::Locals);
    putU32(record, static_cast<std::uint32_t>(procNo));
    for (const TPSProcVar& var : proc.ProcVars)
        record.append(var.OrgName).push_back(ps::debugdata::NameEnd);
    record.push_back(ps::debugdata::ListEnd);
}

std::int32_t TPSPascalCompiler::AddImportProc(std::unique_ptr<TPSRegProc> proc)
{
    CheckCompiling();
    regProcs_.push_back(std::move(proc));
    procs_.push_back(std::make_unique<TPSExternalProcedure>(regProcs_.back().get()));
    return static_cast<std::int32_t>(procs_.size() - 1);
}

namespace {

// What the image needs numbered and what cannot be written, found before a
// byte is written, so that the writer never has to stop halfway.
class OutputCheck
{
public:
    explicit OutputCheck(TPSPascalCompiler& compiler) : c_(compiler) {}

    // Uses every type a record will refer to; the pointer type for globals
    // that hold a pointer. Returns the reason the image cannot be written,
    // empty when it can.
    std::string Prepare(TPSType*& pointerType)
    {
        for (const auto& proc : c_.Procs()) {
            useAttributes(proc->Attributes);
            if (auto* internal = dynamic_cast<TPSInternalProcedure*>(proc.get())) {
                c_.UseType(internal->Decl.Result);
                for (TPSParameterDecl& param : internal->Decl.Params)
                    param.AType = c_.UseType(param.AType);
            } else if (static_cast<TPSExternalProcedure*>(proc.get())->RegProc->Name.size() >
                       ps::image::MaxExternalNameLength) {
                return "routine name too long";
            }
        }
        bool pointerGlobals = false;
        for (const auto& var : c_.Vars()) {
            c_.UseType(var->AType);
            pointerGlobals = pointerGlobals || var->SaveAsPointer;
        }
        pointerType = nullptr;
        if (pointerGlobals) {
            for (auto it = c_.Types().rbegin(); it != c_.Types().rend() && !pointerType; ++it) {
                if ((*it)->BaseType == BaseType::Pointer)
                    pointerType = c_.UseType(it->get());
            }
            if (!pointerType)
                return "no pointer type";
        }
        // An attribute value may use a type that has attributes of its own.
        for (std::int32_t before = -1; before != c_.TypeCount();) {
            before = c_.TypeCount();
            for (const auto& type : c_.Types()) {
                if (type->Used)
                    useAttributes(type->Attributes);
            }
        }
        slots_.assign(static_cast<std::size_t>(c_.TypeCount()), nullptr);
        for (const auto& type : c_.Types()) {
            if (type->Used && type->BaseType != BaseType::TypeLink)
                slots_[static_cast<std::size_t>(type->FinalTypeNo)] = type.get();
        }
        for (std::size_t number = 0; number < slots_.size(); ++number) {
            if (!slots_[number])
                return "type " + std::to_string(number) + " missing";
            if (std::string reason = checkType(*slots_[number]); !reason.empty())
                return reason + " " + slots_[number]->OriginalName;
        }
        for (const auto& proc : c_.Procs()) {
            if (!writableValues(proc->Attributes))
                return "attribute value of " + proc->DisplayName();
        }
        return {};
    }

    const std::vector<const TPSType*>& Slots() const { return slots_; }

private:
    void useAttributes(const TPSAttributes& attributes)
    {
        for (const TPSAttribute& attribute : attributes) {
            for (const TPSValueRecord& value : attribute.Values) {
                c_.UseType(value.FType);
                if (value.Base() == BaseType::TypeNumber)
                    c_.UseType(value.TypeRef);
            }
        }
    }

    // A component must come earlier in the table than the type that uses it.
    bool earlier(const TPSType* component, const TPSType& type) const
    {
        component = ResolveLink(component);
        return component && component->Used && component->FinalTypeNo < type.FinalTypeNo;
    }

    std::string checkType(const TPSType& type) const
    {
        const TPSType* body = completed(c_, &type);
        if (!body)
            return "unknown forward class";
        if (type.ExportName && type.Name.size() > ps::image::MaxNameLength)
            return "name too long";
        const BaseType written = ImageBaseType(body);
        if (ps::code(written) > ps::LastImageBaseType || written == BaseType::ReturnAddress ||
            written == BaseType::ResourcePointer)
            return "type with no image form";
        switch (written) {
        case BaseType::Record: {
            const auto& fields = static_cast<const TPSRecordType*>(body)->Fields;
            if (fields.empty())
                return "record without fields";
            for (const TPSRecordFieldTypeDef& field : fields) {
                if (!earlier(field.FieldType, type))
                    return "record field";
            }
            break;
        }
        case BaseType::DynArray:
        case BaseType::StaticArray: {
            const auto* array = static_cast<const TPSArrayType*>(body);
            if (!earlier(array->ArrayTypeNo, type))
                return "array element";
            if (written == BaseType::StaticArray) {
                const auto* fixed = static_cast<const TPSStaticArrayType*>(body);
                if (fixed->Length < 0 || static_cast<std::uint32_t>(fixed->Length) >= ps::image::StaticArrayCountLimit)
                    return "array too large";
            }
            break;
        }
        case BaseType::Set:
            if (static_cast<const TPSSetType*>(body)->BitSize() > ps::image::MaxSetBits)
                return "set too large";
            break;
        case BaseType::Procedural:
            if (!ProceduralSignatureFits(static_cast<const TPSProceduralType*>(body)->ProcDef))
                return "too many parameters";
            break;
        case BaseType::Class: {
            const TPSCompileTimeClass* cl = static_cast<const TPSClassType*>(body)->Cl;
            if (!cl || cl->Name.size() >= ps::image::ShortTextLimit)
                return "class name";
            break;
        }
        case BaseType::Interface:
            if (!static_cast<const TPSInterfaceType*>(body)->Intf)
                return "interface";
            break;
        default:
            break;
        }
        return writableValues(type.Attributes) ? std::string() : "attribute value of";
    }

    static bool writableValues(const TPSAttributes& attributes)
    {
        for (const TPSAttribute& attribute : attributes) {
            for (const TPSValueRecord& value : attribute.Values) {
                if (!writableValue(value))
                    return false;
            }
        }
        return true;
    }

    static bool writableValue(const TPSValueRecord& value)
    {
        const TPSType* type = ResolveLink(value.FType);
        if (!type || !type->Used)
            return false;
        switch (type->BaseType) {
        case BaseType::AnsiString:
        case BaseType::PChar:
        case BaseType::WideString:
        case BaseType::UnicodeString:
        case BaseType::Set:
        case BaseType::Enumeration:
            return true;
        case BaseType::TypeNumber:
            return ResolveLink(value.TypeRef) && ResolveLink(value.TypeRef)->Used;
        default:
            return ps::fixedValueSize(type->BaseType) != 0;
        }
    }

    TPSPascalCompiler& c_;
    std::vector<const TPSType*> slots_;
};

} // namespace

bool TPSPascalCompiler::MakeOutput()
{
    if (OnBeforeOutput && !OnBeforeOutput(this))
        return false;
    OutputCheck check(*this);
    TPSType* pointerType = nullptr;
    if (std::string reason = check.Prepare(pointerType); !reason.empty()) {
        MakeError({}, TPSCompilerErrorCode::InternalError, "image: " + reason);
        return false;
    }

    std::uint32_t mainNo = ps::image::NoMainProc;
    if (!isUnit_) {
        for (std::size_t i = 0; i < procs_.size(); ++i) {
            if (procs_[i].get() == mainProc_)
                mainNo = static_cast<std::uint32_t>(i);
        }
    }

    // Name lists of the debug data.
    std::string names;
    putByte(names, ps::debugdata::ProcNames);
    for (const auto& proc : procs_) {
        if (proc.get() != mainProc_)
            names.append(proc->DisplayName());
        names.push_back(ps::debugdata::NameEnd);
    }
    names.push_back(ps::debugdata::ListEnd);
    putByte(names, ps::debugdata::GlobalNames);
    for (const auto& var : vars_)
        names.append(var->OrgName).push_back(ps::debugdata::NameEnd);
    names.push_back(ps::debugdata::ListEnd);
    WriteDebugData(names);

    std::string out;
    putU32(out, ps::image::Magic);
    putU32(out, ps::image::Build);
    putU32(out, static_cast<std::uint32_t>(typeCounter_));
    putU32(out, static_cast<std::uint32_t>(procs_.size()));
    putU32(out, static_cast<std::uint32_t>(vars_.size()));
    putU32(out, mainNo);
    putU32(out, 0);

    auto putAttributes = [&](const TPSAttributes& attributes) {
        putU32(out, static_cast<std::uint32_t>(attributes.size()));
        for (const TPSAttribute& attribute : attributes) {
            putText(out, attribute.AType->Name);
            putU32(out, static_cast<std::uint32_t>(attribute.Values.size()));
            for (const TPSValueRecord& value : attribute.Values)
                WriteConstValue(out, value);
        }
    };

    for (const TPSType* type : check.Slots()) {
        const TPSType* body = completed(*this, type);
        const BaseType written = ImageBaseType(body);
        putByte(out, ps::code(written) | (type->ExportName ? ps::image::TypeExported : 0));
        switch (written) {
        case BaseType::Interface: {
            const GUID& guid = static_cast<const TPSInterfaceType*>(body)->Intf->Guid;
            putU32(out, guid.Data1);
            putRaw(out, guid.Data2);
            putRaw(out, guid.Data3);
            out.append(reinterpret_cast<const char*>(guid.Data4.data()), guid.Data4.size());
            break;
        }
        case BaseType::Class:
            putText(out, static_cast<const TPSClassType*>(body)->Cl->Name);
            break;
        case BaseType::Procedural:
            putText(out, static_cast<const TPSProceduralType*>(body)->ProcDef.Signature());
            break;
        case BaseType::Set:
            putU32(out, static_cast<const TPSSetType*>(body)->BitSize());
            break;
        case BaseType::DynArray:
            putNumber(out, static_cast<const TPSArrayType*>(body)->ArrayTypeNo);
            break;
        case BaseType::StaticArray: {
            const auto* array = static_cast<const TPSStaticArrayType*>(body);
            putNumber(out, array->ArrayTypeNo);
            putU32(out, static_cast<std::uint32_t>(array->Length));
            putU32(out, static_cast<std::uint32_t>(array->StartOffset));
            break;
        }
        case BaseType::Record: {
            const auto& fields = static_cast<const TPSRecordType*>(body)->Fields;
            putU32(out, static_cast<std::uint32_t>(fields.size()));
            for (const TPSRecordFieldTypeDef& field : fields)
                putNumber(out, field.FieldType);
            break;
        }
        default:
            break;
        }
        // The export name is the type's own, also for a forward class.
        if (type->ExportName)
            putText(out, type->Name);
        putAttributes(type->Attributes);
    }

    // Script procedures get their code's place once the bodies are appended.
    std::vector<std::size_t> codeFields(procs_.size(), 0);
    std::size_t bodiesSize = 0;
    for (std::size_t i = 0; i < procs_.size(); ++i) {
        const TPSProcedure& proc = *procs_[i];
        const std::uint8_t attributes = proc.Attributes.empty() ? 0 : ps::image::ProcAttributes;
        if (const auto* internal = dynamic_cast<const TPSInternalProcedure*>(&proc)) {
            putByte(out, ps::image::ProcDeclared | attributes);
            bodiesSize += std::max<std::size_t>(internal->Data.size(), 1);
            codeFields[i] = out.size();
            putU32(out, 0);
            putU32(out, 0);
            putText(out, internal->Name);
            putText(out, internal->Decl.ByNumbers());
        } else {
            const TPSRegProc& reg = *static_cast<const TPSExternalProcedure&>(proc).RegProc;
            const bool declared = !reg.ImportDecl.empty();
            putByte(out, ps::image::ProcExternal | (declared ? ps::image::ProcDeclared : 0) | attributes);
            putByte(out, static_cast<std::uint8_t>(reg.Name.size()));
            out.append(reg.Name);
            if (declared)
                putText(out, reg.ImportDecl);
        }
        if (attributes)
            putAttributes(proc.Attributes);
    }

    // The bodies are most of the image: room for them and the variables (a
    // type number and a flag each; exported names are rare) at once rather
    // than growing step by step.
    constexpr std::size_t kVarEntrySize = 5;
    out.reserve(out.size() + kVarEntrySize * vars_.size() + bodiesSize);
    for (const auto& var : vars_) {
        putNumber(out, var->SaveAsPointer ? pointerType : var->AType);
        const bool exported = !var->ExportName.empty();
        putByte(out, exported ? ps::image::VarExported : 0);
        if (exported)
            putText(out, var->ExportName);
    }

    for (std::size_t i = 0; i < procs_.size(); ++i) {
        const auto* internal = dynamic_cast<const TPSInternalProcedure*>(procs_[i].get());
        if (!internal)
            continue;
        static constexpr char kEmptyBody[1] = {char(ps::image::EmptyBody)};
        const std::string_view body =
            internal->Data.empty() ? std::string_view(kEmptyBody, 1) : std::string_view(internal->Data);
        pscode::patchU32(out, codeFields[i], static_cast<std::uint32_t>(out.size()));
        pscode::patchU32(out, codeFields[i] + 4, static_cast<std::uint32_t>(body.size()));
        out.append(body);
    }
    output_ = std::move(out);
    hasOutput_ = true;
    return true;
}
