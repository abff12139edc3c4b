#pragma once
// Runtime type records and the storage of script values.
//
// A value occupies its type's real size in place (on a stack, in an array
// block, inside a record). Values are laid out for this machine: strings,
// Variants and interface references are the C++ objects below, constructed
// in place, so every component sits at its natural alignment and a value
// never moves once made.

#include "platform/core/guid.h"
#include "platform/core/unknown.h"
#include "script/common/bytecode_image.h"
#include "script/runtime/stack.h"
#include "script/runtime/variant.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TPSTypeRec;
class TPSInternalProcRec;
struct TPSQuickIns;

// Largest value one type may describe; larger types are refused at load.
constexpr std::uint32_t MaxValueSize = 64u << 20;
// Largest block of a dynamic array.
constexpr std::size_t MaxDynArrayBytes = std::size_t(1) << 30;

// A dynamic array value points at such a block; the elements follow it. A
// negative reference count marks a constant array that is never freed. A
// value of its own on the heap (the private copy an owned pointer holds) is
// a block of one element.
struct TPSDynArrayHeader
{
    std::int32_t refCount;
    std::uint32_t count;
};
static_assert(sizeof(TPSDynArrayHeader) == 8);

// Where a pointer's target lives, so that the target cannot vanish under the
// pointer: a target inside a block keeps the block alive through a
// reference; a target inside a stack entry is checked against the entry's
// serial before every use. A target in the globals or in host memory needs
// neither.
struct TPSTargetOrigin
{
    TPSDynArrayHeader* block = nullptr;
    const TPSTypeRec* blockElementType = nullptr;
    std::int64_t stackIndex = -1;
    std::uint64_t stackSerial = 0;
};

// A pointer value: a variable's address and type. When owned, the target is
// a private copy in a block of its own, duplicated when the pointer is copied.
struct TPSPointerValue
{
    void* data;
    const TPSTypeRec* type;
    bool owned;
    TPSTargetOrigin origin;
};

// A procedural value: a script procedure by number, or (number 0 with self
// set) a host method.
struct TPSProcValue
{
    std::uint32_t procNo;
    void* method;
    void* self;
};

// The frame marker that a call pushes: where to go back to.
struct TPSReturnRecord
{
    TPSInternalProcRec* callerProc; // none for a call from the host
    std::uint32_t position;
    std::int32_t frameBase;
    // The decoded entry at the position, when the call came from one.
    const TPSQuickIns* resume = nullptr;
};

struct TPSRuntimeAttribute
{
    std::string typeName;
    std::uint32_t typeNameHash = 0;
    TPSStack values; // one typed entry per value
};
using TPSRuntimeAttributes = std::vector<std::unique_ptr<TPSRuntimeAttribute>>;

class TPSTypeRec
{
public:
    explicit TPSTypeRec(ps::BaseType base) : baseType(base), owning_(ownsValues(base)), plain_(isPlain(base)) {}
    virtual ~TPSTypeRec() = default;
    TPSTypeRec(const TPSTypeRec&) = delete;
    TPSTypeRec& operator=(const TPSTypeRec&) = delete;

    // Sets realSize and alignment; false when the value would exceed MaxValueSize.
    virtual bool CalcSize();

    // Whether a value of this type holds something that must be released.
    bool needsFinalization() const { return owning_; }
    // Whether a value of this type is copied as its bytes: it holds nothing
    // to count or release, down to its last component.
    bool isPlainData() const { return plain_; }

    ps::BaseType baseType;
    std::uint32_t exportNameHash = 0;
    std::string exportName;
    TPSRuntimeAttributes attributes;
    std::uint32_t realSize = 0;
    std::uint32_t alignment = 1;
    // 1, or one more than the deepest component of a record or an array; at
    // most ps::image::MaxTypeDepth, so walks over the components never run
    // deep.
    std::uint32_t depth = 1;

protected:
    // A record or a static array knows both from its components once its
    // size is calculated; until then it counts as owning.
    void takeComponents(bool owning, bool plain)
    {
        owning_ = owning;
        plain_ = plain;
    }

private:
    static bool ownsValues(ps::BaseType base);
    static bool isPlain(ps::BaseType base);
    bool owning_;
    bool plain_;
};

class TPSTypeRec_Record : public TPSTypeRec
{
public:
    TPSTypeRec_Record() : TPSTypeRec(ps::BaseType::Record) {}
    bool CalcSize() override; // also fills fieldOffsets

    std::vector<const TPSTypeRec*> fieldTypes;
    std::vector<std::uint32_t> fieldOffsets;
};

class TPSTypeRec_Array : public TPSTypeRec
{
public:
    explicit TPSTypeRec_Array(const TPSTypeRec* element, ps::BaseType base = ps::BaseType::DynArray)
        : TPSTypeRec(base), elementType(element)
    {
    }

    const TPSTypeRec* elementType;
};

class TPSTypeRec_StaticArray : public TPSTypeRec_Array
{
public:
    TPSTypeRec_StaticArray(const TPSTypeRec* element, std::uint32_t count, std::int32_t lowBound)
        : TPSTypeRec_Array(element, ps::BaseType::StaticArray), elementCount(count), lowBound(lowBound)
    {
    }
    bool CalcSize() override;

    std::uint32_t elementCount;
    std::int32_t lowBound;
};

class TPSTypeRec_Set : public TPSTypeRec
{
public:
    explicit TPSTypeRec_Set(std::uint32_t bits) : TPSTypeRec(ps::BaseType::Set), bitCount(bits) {}
    bool CalcSize() override;

    std::uint32_t bitCount;
    std::uint32_t byteCount = 0;
};

class TPSTypeRec_ProcPtr : public TPSTypeRec
{
public:
    explicit TPSTypeRec_ProcPtr(std::string decl) : TPSTypeRec(ps::BaseType::Procedural), paramInfo(std::move(decl)) {}

    std::string paramInfo; // has-a-result byte, then one byte per parameter (1 = var)
};

class TPSTypeRec_Class : public TPSTypeRec
{
public:
    explicit TPSTypeRec_Class(std::string name) : TPSTypeRec(ps::BaseType::Class), className(std::move(name)) {}

    std::string className;
};

class TPSTypeRec_Interface : public TPSTypeRec
{
public:
    explicit TPSTypeRec_Interface(const GUID& guid) : TPSTypeRec(ps::BaseType::Interface), guid(guid) {}

    GUID guid;
};

// The blocks (dynamic arrays, owned copies) made while an executer runs
// belong to its arena. A block that values keep alive only among themselves
// (an owned copy that holds the array it sits in) is never released by
// reference counting; the arena frees what is left when the executer is
// cleared, before the types its values need go.
struct alignas(16) TPSBlockLinks
{
    TPSBlockLinks* prev;
    TPSBlockLinks* next;
    const TPSTypeRec* elementType;
};

class TPSBlockArena
{
public:
    TPSBlockArena();
    TPSBlockArena(const TPSBlockArena&) = delete;
    TPSBlockArena& operator=(const TPSBlockArena&) = delete;

    // Finalises and frees every block still held, whatever refers to it.
    void FreeAll();
    bool Empty() const { return head_.next == &head_; }

    // While a scope lasts, the blocks its thread makes join the arena.
    class Scope
    {
    public:
        explicit Scope(TPSBlockArena& arena);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        TPSBlockArena* previous_;
    };

private:
    friend TPSDynArrayHeader* AllocateBlock(const TPSTypeRec* elementType, std::uint32_t count);
    TPSBlockLinks head_;
};

// Makes an empty value of the type at data: numbers 0, strings empty,
// references nil, records and static arrays element by element.
void InitializeValue(void* data, const TPSTypeRec* type);
// Releases what a value owns; the storage itself stays.
void FinalizeValue(void* data, const TPSTypeRec* type);
// Copies count consecutive values of one type over initialised values:
// strings and Variants by value, dynamic arrays shared, interfaces counted,
// owned pointer targets duplicated. False for a type that has no values.
bool CopyValues(void* dest, const void* source, std::uint32_t count, const TPSTypeRec* type);

// A block of count empty values of the element type, with one reference,
// in the arena of the running executer if any.
TPSDynArrayHeader* AllocateBlock(const TPSTypeRec* elementType, std::uint32_t count);
// A block holding one empty value of the type, with one reference.
TPSDynArrayHeader* NewValueBlock(const TPSTypeRec* type);
// The first value in a block.
void* BlockData(TPSDynArrayHeader* block);
// Takes and drops references on the block a target lives in; the last drop
// finalises the block's values and frees it.
void RetainOrigin(const TPSTargetOrigin& origin);
void ReleaseOrigin(const TPSTargetOrigin& origin);

// Dynamic arrays. The type must be of base DynArray, else "Invalid array" is
// raised; a length that would pass MaxDynArrayBytes raises std::bad_alloc.
std::uint32_t DynArrayGetLength(const void* array, const TPSTypeRec* type);
void DynArraySetLength(void* array, const TPSTypeRec* type, std::uint32_t newLength);
// Address of the first element, or none for an empty array.
void* DynArrayElements(const void* array);
