// Loading a bytecode image. Every count and length read from the image is
// checked against the bytes left before anything is made from it, so a
// damaged image is refused with an error, never a crash or a huge
// allocation.

#include "script/common/instruction_set.h"
#include "script/common/utils.h"
#include "script/runtime/exec.h"

#include <algorithm>
#include <bit>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "values are copied from the image as they stand");

using ps::BaseType;
using pscode::readU32;

namespace {

bool readText(std::string_view data, std::size_t& pos, std::uint64_t length, std::string& out)
{
    if (length > data.size() - pos)
        return false;
    out.assign(data.substr(pos, static_cast<std::size_t>(length)));
    pos += static_cast<std::size_t>(length);
    return true;
}

bool readRaw(std::string_view data, std::size_t& pos, std::size_t length, void* out)
{
    if (length > data.size() - pos)
        return false;
    std::memcpy(out, data.data() + pos, length);
    pos += length;
    return true;
}

} // namespace

bool HasConstEncoding(const TPSTypeRec* type)
{
    switch (type->baseType) {
    case BaseType::AnsiString:
    case BaseType::PChar:
    case BaseType::WideString:
    case BaseType::UnicodeString:
    case BaseType::Procedural:
    case BaseType::Set:
        return true;
    default:
        return ps::fixedValueSize(type->baseType) != 0;
    }
}

TPSError ReadConstValue(std::string_view data, std::size_t& pos, const TPSTypeRec* type, void* value)
{
    switch (type->baseType) {
    case BaseType::AnsiString:
    case BaseType::PChar: {
        std::uint32_t length;
        if (!readU32(data, pos, length) || !readText(data, pos, length, *static_cast<std::string*>(value)))
            return ErOutOfRange;
        return ErNoError;
    }
    case BaseType::WideString:
    case BaseType::UnicodeString: {
        std::uint32_t length;
        if (!readU32(data, pos, length) || std::uint64_t(length) * 2 > data.size() - pos)
            return ErOutOfRange;
        auto& text = *static_cast<std::u16string*>(value);
        text.resize(length);
        readRaw(data, pos, std::size_t(length) * 2, text.data());
        return ErNoError;
    }
    case BaseType::Procedural: {
        auto& proc = *static_cast<TPSProcValue*>(value);
        if (!readU32(data, pos, proc.procNo))
            return ErOutOfRange;
        proc.method = proc.self = nullptr;
        return ErNoError;
    }
    case BaseType::Set:
        return readRaw(data, pos, static_cast<const TPSTypeRec_Set*>(type)->byteCount, value) ? ErNoError
                                                                                              : ErOutOfRange;
    default:
        if (const std::size_t size = ps::fixedValueSize(type->baseType))
            return readRaw(data, pos, size, value) ? ErNoError : ErOutOfRange;
        return erInvalidType;
    }
}

bool TPSExec::LoadBytecode(std::string_view image)
{
    Clear();
    if (loadImage(image))
        return true;
    Clear();
    return false;
}

bool TPSExec::loadImage(std::string_view image)
{
    std::uint32_t header[7];
    std::size_t pos = 0;
    if (!readRaw(image, pos, ps::image::HeaderSize, header) || header[0] != ps::image::Magic ||
        header[1] < ps::image::OldestBuild || header[1] > ps::image::Build)
        return fail(erInvalidHeader);
    const std::uint32_t build = header[ps::image::HeaderBuild / 4];
    if (!loadTypes(image, pos, header[ps::image::HeaderTypeCount / 4], build) ||
        !loadProcs(image, pos, header[ps::image::HeaderProcCount / 4]) ||
        !loadVars(image, pos, header[ps::image::HeaderVarCount / 4]))
        return false;
    const std::uint32_t mainProc = header[ps::image::HeaderMainProc / 4];
    if (mainProc != ps::image::NoMainProc && mainProc >= procs_.size())
        return fail(erNoMainProc);
    mainProc_ = mainProc;
    longIntType_ = FindTypeByBase(0, BaseType::LongInt);
    status_ = TPSStatus::Loaded;
    return true;
}

bool TPSExec::loadTypes(std::string_view image, std::size_t& pos, std::uint32_t count, std::uint32_t build)
{
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t codeByte;
        if (!pscode::readByte(image, pos, codeByte))
            return fail(erUnexpectedEof);
        std::unique_ptr<TPSTypeRec> type =
            loadType(image, pos, static_cast<BaseType>(codeByte & ~ps::image::TypeExported));
        if (!type)
            return false;
        if (codeByte & ps::image::TypeExported) {
            std::uint32_t length;
            if (!readU32(image, pos, length))
                return fail(erUnexpectedEof);
            if (length > ps::image::MaxNameLength)
                return fail(erInvalidType);
            if (!readText(image, pos, length, type->exportName))
                return fail(erUnexpectedEof);
            type->exportNameHash = MakeHash(type->exportName);
        }
        if (!type->CalcSize())
            return fail(erInvalidType);
        // The attributes may hold values of the type itself.
        types_.push_back(std::move(type));
        if (build >= ps::image::FirstBuildWithTypeAttributes && !loadAttributes(image, pos, types_.back()->attributes))
            return false;
    }
    return true;
}

// The fields of one type record after its code byte; none (reported) when
// they are refused.
std::unique_ptr<TPSTypeRec> TPSExec::loadType(std::string_view image, std::size_t& pos, BaseType base)
{
    const auto refuse = [this](TPSError code) {
        SetError(code);
        return std::unique_ptr<TPSTypeRec>();
    };
    // Reads a reference to an earlier type, which a component of a type
    // must be, nested no deeper than any type may be.
    const auto earlierType = [&](const TPSTypeRec*& out, TPSError refused) {
        std::uint32_t number;
        if (!readU32(image, pos, number))
            return fail(erUnexpectedEof);
        if (number >= types_.size() || types_[number]->depth >= ps::image::MaxTypeDepth)
            return fail(refused);
        out = types_[number].get();
        return true;
    };

    switch (base) {
    case BaseType::Byte:
    case BaseType::ShortInt:
    case BaseType::Word:
    case BaseType::SmallInt:
    case BaseType::LongWord:
    case BaseType::LongInt:
    case BaseType::Single:
    case BaseType::Double:
    case BaseType::Extended:
    case BaseType::AnsiString:
    case BaseType::Pointer:
    case BaseType::PChar:
    case BaseType::Variant:
    case BaseType::Int64:
    case BaseType::Char:
    case BaseType::WideString:
    case BaseType::WideChar:
    case BaseType::Currency:
    case BaseType::UnicodeString:
        return std::make_unique<TPSTypeRec>(base);
    case BaseType::Record: {
        std::uint32_t fieldCount;
        if (!readU32(image, pos, fieldCount) || fieldCount == 0 || std::uint64_t(fieldCount) * 4 > image.size() - pos)
            return refuse(erUnexpectedEof);
        auto record = std::make_unique<TPSTypeRec_Record>();
        record->fieldTypes.reserve(fieldCount);
        for (std::uint32_t f = 0; f < fieldCount; ++f) {
            const TPSTypeRec* field = nullptr;
            if (!earlierType(field, ErOutOfRange))
                return nullptr;
            record->fieldTypes.push_back(field);
            record->depth = std::max(record->depth, field->depth + 1);
        }
        return record;
    }
    case BaseType::DynArray: {
        const TPSTypeRec* element = nullptr;
        if (!earlierType(element, ErTypeMismatch))
            return nullptr;
        auto array = std::make_unique<TPSTypeRec_Array>(element);
        array->depth = element->depth + 1;
        return array;
    }
    case BaseType::StaticArray: {
        const TPSTypeRec* element = nullptr;
        std::uint32_t elementCount, lowBound;
        if (!earlierType(element, ErTypeMismatch))
            return nullptr;
        if (!readU32(image, pos, elementCount) || !readU32(image, pos, lowBound))
            return refuse(erUnexpectedEof);
        if (elementCount >= ps::image::StaticArrayCountLimit)
            return refuse(erInvalidType);
        auto array =
            std::make_unique<TPSTypeRec_StaticArray>(element, elementCount, static_cast<std::int32_t>(lowBound));
        array->depth = element->depth + 1;
        return array;
    }
    case BaseType::Set: {
        std::uint32_t bits;
        if (!readU32(image, pos, bits))
            return refuse(erUnexpectedEof);
        if (bits > ps::image::MaxSetBits)
            return refuse(ErTypeMismatch);
        return std::make_unique<TPSTypeRec_Set>(bits);
    }
    case BaseType::Procedural:
    case BaseType::Class: {
        std::uint32_t length;
        std::string text;
        if (!readU32(image, pos, length))
            return refuse(erUnexpectedEof);
        if (length >= ps::image::ShortTextLimit)
            return refuse(erInvalidType);
        if (!readText(image, pos, length, text))
            return refuse(erUnexpectedEof);
        if (base == BaseType::Procedural)
            return std::make_unique<TPSTypeRec_ProcPtr>(std::move(text));
        return std::make_unique<TPSTypeRec_Class>(std::move(text));
    }
    case BaseType::Interface: {
        GUID guid;
        if (!readRaw(image, pos, ps::image::GuidSize, &guid))
            return refuse(erUnexpectedEof);
        return std::make_unique<TPSTypeRec_Interface>(guid);
    }
    default:
        return refuse(erInvalidType);
    }
}

bool TPSExec::loadAttributes(std::string_view image, std::size_t& pos, TPSRuntimeAttributes& out)
{
    std::uint32_t count;
    if (!readU32(image, pos, count))
        return fail(ErOutOfRange);
    for (std::uint32_t i = 0; i < count; ++i) {
        auto attribute = std::make_unique<TPSRuntimeAttribute>();
        attribute->values.setLimit(MemoryLimit());
        std::uint32_t length, valueCount;
        if (!readU32(image, pos, length) || !readText(image, pos, length, attribute->typeName) ||
            !readU32(image, pos, valueCount))
            return fail(ErOutOfRange);
        attribute->typeNameHash = MakeHash(attribute->typeName);
        for (std::uint32_t v = 0; v < valueCount; ++v) {
            std::uint32_t typeNo;
            if (!readU32(image, pos, typeNo) || typeNo >= types_.size())
                return fail(ErOutOfRange);
            // Nothing is made for a value of a type that has no constants
            // (a static array of millions of records, say).
            const TPSTypeRec* type = types_[typeNo].get();
            if (!HasConstEncoding(type))
                return fail(erInvalidType);
            TPSStackEntry* entry = attribute->values.PushType(type);
            if (!entry)
                return fail(erOutOfMemory);
            if (const TPSError error = ReadConstValue(image, pos, type, entry->data()); error != ErNoError)
                return fail(error);
        }
        out.push_back(std::move(attribute));
    }
    return true;
}

bool TPSExec::loadProcs(std::string_view image, std::size_t& pos, std::uint32_t count)
{
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t flags;
        if (!pscode::readByte(image, pos, flags))
            return fail(erUnexpectedEof);
        if (flags & ps::image::ProcExternal) {
            auto proc = std::make_unique<TPSExternalProcRec>();
            std::uint8_t nameLength;
            if (!pscode::readByte(image, pos, nameLength) || !readText(image, pos, nameLength, proc->name))
                return fail(erUnexpectedEof);
            if (flags & ps::image::ProcDeclared) {
                std::uint32_t length;
                if (!readU32(image, pos, length) || !readText(image, pos, length, proc->decl))
                    return fail(erUnexpectedEof);
            }
            if (!BindExternalProc(proc->name, proc.get())) {
                SetErrorWithText(erCannotImport, proc->name.empty() ? proc->decl : proc->name);
                return false;
            }
            procs_.push_back(std::move(proc));
        } else {
            auto proc = std::make_unique<TPSInternalProcRec>();
            std::uint32_t offset, length;
            if (!readU32(image, pos, offset) || !readU32(image, pos, length) || offset >= image.size() || length == 0 ||
                length > image.size() - offset)
                return fail(erUnexpectedEof);
            proc->code.assign(image.substr(offset, length));
            if (flags & ps::image::ProcDeclared) {
                std::uint32_t nameLength, declLength;
                if (!readU32(image, pos, nameLength) || nameLength > ps::image::MaxNameLength ||
                    !readText(image, pos, nameLength, proc->exportName) || !readU32(image, pos, declLength) ||
                    !readText(image, pos, declLength, proc->exportDecl))
                    return fail(erUnexpectedEof);
                proc->exportNameHash = MakeHash(proc->exportName);
            }
            procs_.push_back(std::move(proc));
        }
        if ((flags & ps::image::ProcAttributes) && !loadAttributes(image, pos, procs_.back()->attributes))
            return false;
    }
    return true;
}

bool TPSExec::loadVars(std::string_view image, std::size_t& pos, std::uint32_t count)
{
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t typeNo;
        std::uint8_t flags;
        if (!readU32(image, pos, typeNo) || !pscode::readByte(image, pos, flags))
            return fail(erUnexpectedEof);
        if (typeNo >= types_.size() || !globals_.PushType(types_[typeNo].get()))
            return fail(erInvalidType);
        if (flags & ps::image::VarExported) {
            std::uint32_t length;
            std::string name;
            if (!readU32(image, pos, length) || !readText(image, pos, length, name))
                return fail(erUnexpectedEof);
            name = FastUpperCase(name);
            const std::uint32_t hash = MakeHash(name);
            exportedVars_.push_back({std::move(name), hash, i});
        }
    }
    return true;
}
