#include "script/runtime/types.h"

#include "script/runtime/errors.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

using ps::BaseType;

namespace {

struct SizeAlign
{
    std::uint32_t size;
    std::uint32_t align;
};

template <typename T> constexpr SizeAlign layoutOf()
{
    return {sizeof(T), alignof(T)};
}

SizeAlign simpleLayout(BaseType base)
{
    switch (base) {
    case BaseType::ReturnAddress:
        return layoutOf<TPSReturnRecord>();
    case BaseType::Pointer:
        return layoutOf<TPSPointerValue>();
    case BaseType::Procedural:
        return layoutOf<TPSProcValue>();
    case BaseType::Byte:
    case BaseType::ShortInt:
    case BaseType::Char:
        return {1, 1};
    case BaseType::Word:
    case BaseType::SmallInt:
    case BaseType::WideChar:
        return {2, 2};
    case BaseType::LongWord:
    case BaseType::LongInt:
    case BaseType::Single:
        return {4, 4};
    case BaseType::Double:
    case BaseType::Int64:
    case BaseType::Currency:
        return {8, 8};
    case BaseType::Extended:
        return {10, 2}; // the 80-bit format, read and written through memcpy
    case BaseType::AnsiString:
    case BaseType::PChar:
        return layoutOf<std::string>();
    case BaseType::WideString:
    case BaseType::UnicodeString:
        return layoutOf<std::u16string>();
    case BaseType::Variant:
        return layoutOf<Variant>();
    case BaseType::DynArray:
        return layoutOf<TPSDynArrayHeader*>();
    case BaseType::Class:
        return layoutOf<void*>();
    case BaseType::Interface:
        return layoutOf<IUnknown*>();
    default:
        return {0, 1};
    }
}

std::uint64_t alignUp(std::uint64_t value, std::uint32_t align)
{
    return (value + align - 1) / align * align;
}

const TPSTypeRec* elementTypeOf(const TPSTypeRec* type)
{
    return static_cast<const TPSTypeRec_Array*>(type)->elementType;
}

TPSDynArrayHeader*& arrayRef(void* data)
{
    return *static_cast<TPSDynArrayHeader**>(data);
}

TPSDynArrayHeader* arrayOf(const void* data)
{
    return *static_cast<TPSDynArrayHeader* const*>(data);
}

void* elementsOf(TPSDynArrayHeader* block)
{
    return reinterpret_cast<std::byte*>(block) + sizeof(TPSDynArrayHeader);
}

void checkArrayType(const TPSTypeRec* type)
{
    if (type->baseType != BaseType::DynArray)
        throw std::runtime_error(std::string(pstext::InvalidArray));
}

void initializeElements(void* first, std::uint32_t count, const TPSTypeRec* type)
{
    if (!type->needsFinalization()) {
        if (count != 0 && type->realSize != 0)
            std::memset(first, 0, std::size_t(count) * type->realSize);
        return;
    }
    if (type->realSize == 0)
        return; // values of no size hold nothing
    auto* p = static_cast<std::byte*>(first);
    for (std::uint32_t i = 0; i < count; ++i, p += type->realSize)
        InitializeValue(p, type);
}

void finalizeElements(void* first, std::uint32_t count, const TPSTypeRec* type)
{
    // Values of no size hold nothing.
    if (!type->needsFinalization() || type->realSize == 0)
        return;
    auto* p = static_cast<std::byte*>(first);
    for (std::uint32_t i = 0; i < count; ++i, p += type->realSize)
        FinalizeValue(p, type);
}

thread_local TPSBlockArena* currentArena = nullptr;

TPSBlockLinks* linksOf(TPSDynArrayHeader* block)
{
    return reinterpret_cast<TPSBlockLinks*>(block) - 1;
}

TPSDynArrayHeader* blockOf(TPSBlockLinks* links)
{
    return reinterpret_cast<TPSDynArrayHeader*>(links + 1);
}

TPSDynArrayHeader* allocateArray(const TPSTypeRec* elementType, std::uint32_t count)
{
    return AllocateBlock(elementType, count);
}

// Frees the memory of a block whose values are finalised.
void freeBlock(TPSDynArrayHeader* block)
{
    TPSBlockLinks* links = linksOf(block);
    links->prev->next = links->next;
    links->next->prev = links->prev;
    ::operator delete(links);
}

// Blocks whose last reference went while the values of another block were
// being finalised. The outermost release frees them one after another, so a
// chain of blocks holding each other (arrays in arrays, owned copies that
// hold arrays) never deepens the native stack, however long it is.
struct PendingBlock
{
    TPSDynArrayHeader* block;
    const TPSTypeRec* elementType;
};
thread_local std::vector<PendingBlock>* pendingBlocks = nullptr;

// Drops one reference; the last one finalises the elements and frees the block.
void releaseArray(TPSDynArrayHeader* block, const TPSTypeRec* elementType)
{
    if (!block || block->refCount < 0 || --block->refCount != 0)
        return;
    if (pendingBlocks) {
        pendingBlocks->push_back({block, elementType});
        return;
    }
    std::vector<PendingBlock> pending{{block, elementType}};
    struct Collecting
    {
        explicit Collecting(std::vector<PendingBlock>& list) { pendingBlocks = &list; }
        ~Collecting() { pendingBlocks = nullptr; }
    } collecting(pending);
    while (!pending.empty()) {
        const PendingBlock next = pending.back();
        pending.pop_back();
        finalizeElements(elementsOf(next.block), next.block->count, next.elementType);
        freeBlock(next.block);
    }
}

// How many owned copies are being copied inside each other: a chain of
// owned copies is copied no deeper than a type may nest.
thread_local std::uint32_t ownedCopyDepth = 0;

void copyPointer(TPSPointerValue& dest, const TPSPointerValue& source)
{
    TPSPointerValue copy{};
    if (source.owned && source.data) {
        if (ownedCopyDepth >= ps::image::MaxTypeDepth)
            throw std::bad_alloc();
        ++ownedCopyDepth;
        TPSDynArrayHeader* block = NewValueBlock(source.type);
        bool copied = false;
        try {
            copied = CopyValues(BlockData(block), source.data, 1, source.type);
        } catch (...) {
            --ownedCopyDepth;
            releaseArray(block, source.type);
            throw;
        }
        --ownedCopyDepth;
        if (copied)
            copy = {BlockData(block), source.type, true, {block, source.type}};
        else
            releaseArray(block, source.type);
    } else if (source.data) {
        copy = source;
        RetainOrigin(copy.origin);
    }
    ReleaseOrigin(dest.origin);
    dest = copy;
}

} // namespace

static_assert(sizeof(TPSBlockLinks) % alignof(std::max_align_t) == 0, "values in a block keep their alignment");

TPSDynArrayHeader* AllocateBlock(const TPSTypeRec* elementType, std::uint32_t count)
{
    const std::uint64_t bytes = std::uint64_t(count) * elementType->realSize;
    if (bytes > MaxDynArrayBytes)
        throw std::bad_alloc();
    void* memory = ::operator new(sizeof(TPSBlockLinks) + sizeof(TPSDynArrayHeader) + bytes);
    auto* links = new (memory) TPSBlockLinks{nullptr, nullptr, elementType};
    if (TPSBlockArena* arena = currentArena) {
        links->prev = &arena->head_;
        links->next = arena->head_.next;
        arena->head_.next->prev = links;
        arena->head_.next = links;
    } else {
        links->prev = links->next = links;
    }
    TPSDynArrayHeader* block = blockOf(links);
    block->refCount = 1;
    block->count = count;
    initializeElements(elementsOf(block), count, elementType);
    return block;
}

TPSBlockArena::TPSBlockArena() : head_{&head_, &head_, nullptr} {}

void TPSBlockArena::FreeAll()
{
    std::vector<TPSBlockLinks*> held;
    for (TPSBlockLinks* links = head_.next; links != &head_; links = links->next)
        held.push_back(links);
    // Held by one reference more, no block is freed while the values of
    // the others let go of it; then every one is freed.
    for (TPSBlockLinks* links : held)
        ++blockOf(links)->refCount;
    for (TPSBlockLinks* links : held)
        finalizeElements(elementsOf(blockOf(links)), blockOf(links)->count, links->elementType);
    for (TPSBlockLinks* links : held)
        freeBlock(blockOf(links));
}

TPSBlockArena::Scope::Scope(TPSBlockArena& arena) : previous_(currentArena)
{
    currentArena = &arena;
}

TPSBlockArena::Scope::~Scope()
{
    currentArena = previous_;
}

bool TPSTypeRec::CalcSize()
{
    const SizeAlign layout = simpleLayout(baseType);
    realSize = layout.size;
    alignment = layout.align;
    return true;
}

bool TPSTypeRec::ownsValues(BaseType base)
{
    switch (base) {
    case BaseType::AnsiString:
    case BaseType::PChar:
    case BaseType::Record:
    case BaseType::DynArray:
    case BaseType::Pointer:
    case BaseType::Variant:
    case BaseType::WideString:
    case BaseType::StaticArray:
    case BaseType::Interface:
    case BaseType::UnicodeString:
        return true;
    default:
        return false;
    }
}

bool TPSTypeRec::isPlain(BaseType base)
{
    switch (base) {
    case BaseType::ReturnAddress:
    case BaseType::ResourcePointer:
    case BaseType::NotificationVariant:
        return false; // never copied at all
    default:
        return !ownsValues(base) && code(base) <= ps::LastImageBaseType;
    }
}

bool TPSTypeRec_Record::CalcSize()
{
    std::uint64_t offset = 0;
    alignment = 1;
    fieldOffsets.clear();
    fieldOffsets.reserve(fieldTypes.size());
    for (const TPSTypeRec* field : fieldTypes) {
        offset = alignUp(offset, field->alignment);
        if (offset > MaxValueSize)
            return false;
        fieldOffsets.push_back(static_cast<std::uint32_t>(offset));
        offset += field->realSize;
        alignment = std::max(alignment, field->alignment);
    }
    offset = alignUp(offset, alignment);
    if (offset > MaxValueSize)
        return false;
    realSize = static_cast<std::uint32_t>(offset);
    takeComponents(std::any_of(fieldTypes.begin(), fieldTypes.end(),
                               [](const TPSTypeRec* field) { return field->needsFinalization(); }),
                   std::all_of(fieldTypes.begin(), fieldTypes.end(),
                               [](const TPSTypeRec* field) { return field->isPlainData(); }));
    return true;
}

bool TPSTypeRec_StaticArray::CalcSize()
{
    const std::uint64_t size = std::uint64_t(elementType->realSize) * elementCount;
    if (size > MaxValueSize)
        return false;
    realSize = static_cast<std::uint32_t>(size);
    alignment = elementType->alignment;
    takeComponents(elementType->needsFinalization(), elementType->isPlainData());
    return true;
}

bool TPSTypeRec_Set::CalcSize()
{
    byteCount = ps::setByteCount(bitCount);
    realSize = byteCount;
    alignment = 1;
    return true;
}

void InitializeValue(void* data, const TPSTypeRec* type)
{
    switch (type->baseType) {
    case BaseType::AnsiString:
    case BaseType::PChar:
        new (data) std::string();
        break;
    case BaseType::WideString:
    case BaseType::UnicodeString:
        new (data) std::u16string();
        break;
    case BaseType::Variant:
        new (data) Variant();
        break;
    case BaseType::Record: {
        const auto* record = static_cast<const TPSTypeRec_Record*>(type);
        std::memset(data, 0, type->realSize); // the padding between fields too
        for (std::size_t i = 0; i < record->fieldTypes.size(); ++i)
            InitializeValue(static_cast<std::byte*>(data) + record->fieldOffsets[i], record->fieldTypes[i]);
        break;
    }
    case BaseType::StaticArray: {
        const auto* array = static_cast<const TPSTypeRec_StaticArray*>(type);
        if (array->elementType->needsFinalization())
            initializeElements(data, array->elementCount, array->elementType);
        else
            std::memset(data, 0, type->realSize);
        break;
    }
    default:
        std::memset(data, 0, type->realSize);
        break;
    }
}

void FinalizeValue(void* data, const TPSTypeRec* type)
{
    switch (type->baseType) {
    case BaseType::AnsiString:
    case BaseType::PChar:
        static_cast<std::string*>(data)->~basic_string();
        break;
    case BaseType::WideString:
    case BaseType::UnicodeString:
        static_cast<std::u16string*>(data)->~basic_string();
        break;
    case BaseType::Variant:
        static_cast<Variant*>(data)->~Variant();
        break;
    case BaseType::Interface:
        if (IUnknown*& ref = *static_cast<IUnknown**>(data)) {
            ref->Release();
            ref = nullptr;
        }
        break;
    case BaseType::Pointer: {
        auto& pointer = *static_cast<TPSPointerValue*>(data);
        ReleaseOrigin(pointer.origin);
        pointer = {};
        break;
    }
    case BaseType::DynArray:
        releaseArray(arrayRef(data), elementTypeOf(type));
        arrayRef(data) = nullptr;
        break;
    case BaseType::Record: {
        const auto* record = static_cast<const TPSTypeRec_Record*>(type);
        for (std::size_t i = 0; i < record->fieldTypes.size(); ++i)
            if (record->fieldTypes[i]->needsFinalization())
                FinalizeValue(static_cast<std::byte*>(data) + record->fieldOffsets[i], record->fieldTypes[i]);
        break;
    }
    case BaseType::StaticArray: {
        const auto* array = static_cast<const TPSTypeRec_StaticArray*>(type);
        finalizeElements(data, array->elementCount, array->elementType);
        break;
    }
    default:
        break;
    }
}

bool CopyValues(void* dest, const void* source, std::uint32_t count, const TPSTypeRec* type)
{
    auto* d = static_cast<std::byte*>(dest);
    const auto* s = static_cast<const std::byte*>(source);
    const std::uint32_t step = type->realSize;
    // Values that are only their bytes go in one block, however many and
    // however nested; values of no size hold nothing, so one tells for all.
    if (type->isPlainData()) {
        // Nothing to copy may come with no storage at all.
        if (d != s && count != 0 && step != 0)
            std::memmove(d, s, std::size_t(count) * step);
        return true;
    }
    if (step == 0)
        count = std::min(count, 1u);
    for (std::uint32_t i = 0; i < count; ++i, d += step, s += step) {
        switch (type->baseType) {
        case BaseType::AnsiString:
        case BaseType::PChar:
            *reinterpret_cast<std::string*>(d) = *reinterpret_cast<const std::string*>(s);
            break;
        case BaseType::WideString:
        case BaseType::UnicodeString:
            *reinterpret_cast<std::u16string*>(d) = *reinterpret_cast<const std::u16string*>(s);
            break;
        case BaseType::Variant:
            *reinterpret_cast<Variant*>(d) = *reinterpret_cast<const Variant*>(s);
            break;
        case BaseType::Interface: {
            IUnknown* incoming = *reinterpret_cast<IUnknown* const*>(s);
            IUnknown*& ref = *reinterpret_cast<IUnknown**>(d);
            if (incoming)
                incoming->AddRef();
            if (ref)
                ref->Release();
            ref = incoming;
            break;
        }
        case BaseType::DynArray: {
            TPSDynArrayHeader* incoming = arrayOf(s);
            if (incoming && incoming->refCount > 0)
                ++incoming->refCount;
            releaseArray(arrayRef(d), elementTypeOf(type));
            arrayRef(d) = incoming;
            break;
        }
        case BaseType::Pointer:
            if (d != s)
                copyPointer(*reinterpret_cast<TPSPointerValue*>(d), *reinterpret_cast<const TPSPointerValue*>(s));
            break;
        case BaseType::Record: {
            const auto* record = static_cast<const TPSTypeRec_Record*>(type);
            for (std::size_t f = 0; f < record->fieldTypes.size(); ++f)
                CopyValues(d + record->fieldOffsets[f], s + record->fieldOffsets[f], 1, record->fieldTypes[f]);
            break;
        }
        case BaseType::StaticArray: {
            const auto* array = static_cast<const TPSTypeRec_StaticArray*>(type);
            if (!CopyValues(d, s, array->elementCount, array->elementType))
                return false;
            break;
        }
        case BaseType::ReturnAddress:
        case BaseType::ResourcePointer:
        case BaseType::NotificationVariant:
            return false;
        default:
            if (code(type->baseType) > ps::LastImageBaseType)
                return false;
            std::memmove(d, s, step);
            break;
        }
    }
    return true;
}

TPSDynArrayHeader* NewValueBlock(const TPSTypeRec* type)
{
    return allocateArray(type, 1);
}

void* BlockData(TPSDynArrayHeader* block)
{
    return elementsOf(block);
}

void RetainOrigin(const TPSTargetOrigin& origin)
{
    if (origin.block && origin.block->refCount > 0)
        ++origin.block->refCount;
}

void ReleaseOrigin(const TPSTargetOrigin& origin)
{
    releaseArray(origin.block, origin.blockElementType);
}

std::uint32_t DynArrayGetLength(const void* array, const TPSTypeRec* type)
{
    checkArrayType(type);
    const TPSDynArrayHeader* block = arrayOf(array);
    return block ? block->count : 0;
}

void* DynArrayElements(const void* array)
{
    TPSDynArrayHeader* block = arrayOf(array);
    return block ? elementsOf(block) : nullptr;
}

void DynArraySetLength(void* array, const TPSTypeRec* type, std::uint32_t newLength)
{
    checkArrayType(type);
    const TPSTypeRec* element = elementTypeOf(type);
    TPSDynArrayHeader*& block = arrayRef(array);
    const std::uint32_t oldLength = block ? block->count : 0;
    if (oldLength == 0 && newLength == 0)
        return;
    if (newLength == 0) {
        releaseArray(block, element);
        block = nullptr;
        return;
    }
    // Always build a new block: a shared or constant array must not change
    // under its other holders, and elements never move under a reader.
    TPSDynArrayHeader* resized = allocateArray(element, newLength);
    if (block) {
        try {
            CopyValues(elementsOf(resized), elementsOf(block), std::min(oldLength, newLength), element);
        } catch (...) {
            releaseArray(resized, element);
            throw;
        }
    }
    releaseArray(block, element);
    block = resized;
}
