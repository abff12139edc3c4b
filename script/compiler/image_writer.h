#pragma once
// How the compiler's types appear in the bytecode image.

#include "script/common/bytecode_image.h"

#include <cstdint>

class TPSType;
class TPSParametersDecl;

// The base code a type record carries: an enumeration becomes Byte, Word or
// LongWord by its highest ordinal, a type number and a notification variant
// LongWord; every other type keeps its own code.
ps::BaseType ImageBaseType(const TPSType* type);

// Whether a procedural type's signature (a byte for the result plus one per
// parameter) fits its type record.
bool ProceduralSignatureFits(const TPSParametersDecl& decl);

// The bytes a value of the type takes in a running script, as SizeOf tells
// them: strings, dynamic arrays, classes and interfaces are 4-byte
// references, pointers and procedural values 12 bytes, a Variant 16; a
// record is the sum of its fields and a static array its element size times
// its count, with no padding.
std::uint64_t ScriptValueSize(const TPSType* type);
