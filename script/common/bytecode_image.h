#pragma once
// The bytecode image that the compiler writes and the runtime loads.
//
// All integers are little-endian. The image is a 28-byte header, then the
// type records, the procedure records and the variable records, each table
// in number order, then the bodies of the script procedures. Numbers that
// refer to types, procedures and variables are 0-based indexes into the
// image's own tables; a reference inside a type record always points to an
// earlier type.

#include <cstddef>
#include <cstdint>

namespace ps {

// Base type codes, shared by the compiler's symbol model, the image and the
// runtime type records. The compile-time-only codes never reach an image.
enum class BaseType : std::uint8_t {
    ReturnAddress = 0, // runtime only: the frame marker a call pushes
    Byte = 1,
    ShortInt = 2,
    Word = 3,
    SmallInt = 4,
    LongWord = 5,
    LongInt = 6,
    Single = 7,
    Double = 8,
    Extended = 9,
    AnsiString = 10,
    Record = 11,
    DynArray = 12,
    Pointer = 13,
    PChar = 14,
    ResourcePointer = 15, // reserved; invalid in an image
    Variant = 16,
    Int64 = 17,
    Char = 18,
    WideString = 19,
    WideChar = 20,
    Procedural = 21,
    StaticArray = 22,
    Set = 23,
    Currency = 24,
    Class = 25,
    Interface = 26,
    NotificationVariant = 27, // written as LongWord
    UnicodeString = 28,
    Enumeration = 129,  // written as Byte, Word or LongWord by its highest ordinal
    TypeNumber = 130,   // written as LongWord
    ForwardClass = 131, // replaced by the class it was completed with
    TypeLink = 255,
};

constexpr std::uint8_t code(BaseType t)
{
    return static_cast<std::uint8_t>(t);
}

// The highest base code an image may hold.
constexpr std::uint8_t LastImageBaseType = 28;

// Size in bytes of a typed value's encoding when it is fixed; 0 for the
// length-prefixed strings, for sets (whose size the type record gives) and
// for types that have no encoding at all.
constexpr std::size_t fixedValueSize(BaseType t)
{
    switch (t) {
    case BaseType::Byte:
    case BaseType::ShortInt:
    case BaseType::Char:
        return 1;
    case BaseType::Word:
    case BaseType::SmallInt:
    case BaseType::WideChar:
        return 2;
    case BaseType::LongWord:
    case BaseType::LongInt:
    case BaseType::Single:
    case BaseType::Procedural: // a procedure number
        return 4;
    case BaseType::Double:
    case BaseType::Int64:
    case BaseType::Currency: // a 64-bit count of ten-thousandths
        return 8;
    case BaseType::Extended:
        return 10;
    default:
        return 0;
    }
}

// Bytes taken by the value of a set of the given number of elements.
constexpr std::uint32_t setByteCount(std::uint32_t bitCount)
{
    return bitCount / 8 + (bitCount % 8 ? 1 : 0);
}

namespace image {

constexpr std::uint32_t Magic = 0x53504649; // the bytes "IFPS"
constexpr std::uint32_t Build = 23;         // written
constexpr std::uint32_t OldestBuild = 12;   // oldest build a reader accepts
constexpr std::uint32_t FirstBuildWithTypeAttributes = 21;
constexpr std::uint32_t NoMainProc = 0xFFFFFFFF;

constexpr std::size_t HeaderSize = 28;
// Offsets of the header's u32 fields.
constexpr std::size_t HeaderMagic = 0;
constexpr std::size_t HeaderBuild = 4;
constexpr std::size_t HeaderTypeCount = 8;
constexpr std::size_t HeaderProcCount = 12;
constexpr std::size_t HeaderVarCount = 16;
constexpr std::size_t HeaderMainProc = 20;
constexpr std::size_t HeaderImportTableSize = 24; // written as 0, not read

// Type record: a code byte, plus this bit when an export name follows the
// type's own fields.
constexpr std::uint8_t TypeExported = 0x80;
constexpr std::uint32_t MaxNameLength = 0x40000000;         // export and procedure names
constexpr std::uint32_t ShortTextLimit = 256;               // class names, procedural signatures: below this
constexpr std::uint32_t MaxSetBits = 256;                   // at most this
constexpr std::uint32_t StaticArrayCountLimit = 0x20000000; // element counts below this
constexpr std::size_t GuidSize = 16;
constexpr std::uint32_t MaxExternalNameLength = 255; // a host routine's name has a one-byte length
// How deep the components of a type may nest: a type without components
// counts 1, a record or array one more than its deepest component. Every
// walk over a type's components, in the compiler and the runtime, stays
// this shallow.
constexpr std::uint32_t MaxTypeDepth = 256;

// Procedure record flags.
constexpr std::uint8_t ProcExternal = 0x01;
constexpr std::uint8_t ProcDeclared = 0x02;   // external: a declaration follows; internal: export name and declaration
constexpr std::uint8_t ProcAttributes = 0x04; // an attribute table ends the record

// Variable record flags.
constexpr std::uint8_t VarExported = 0x01;

// An empty body is written as this single byte, the return instruction.
constexpr std::uint8_t EmptyBody = 9;

} // namespace image

// The debug data the compiler writes beside an image: tagged records, names
// each ended by NameEnd and a list of them by ListEnd.
namespace debugdata {
constexpr std::uint8_t ProcNames = 0;
constexpr std::uint8_t GlobalNames = 1;
constexpr std::uint8_t Params = 2; // then a 32-bit procedure number and the names
constexpr std::uint8_t Locals = 3; // likewise
constexpr std::uint8_t Line = 4;   // file name, procedure, code position, source position, row, column
constexpr std::uint32_t NoProc = 0xFFFFFFFF;
constexpr char NameEnd = '\1';
constexpr char ListEnd = '\0';
} // namespace debugdata
} // namespace ps
