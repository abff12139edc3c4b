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
