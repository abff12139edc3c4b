#pragma once
// The bytecode that the compiler writes and the interpreter runs: opcodes,
// operand kinds, variable numbering, operator bytes, jumps and try blocks.
//
// A procedure's code is a byte string; instructions follow one another
// without gaps. Every multi-byte field is little-endian. The compiler appends
// with the put/write helpers below; the runtime reads with the read helpers.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pscode {

enum class Op : std::uint8_t {
    Assign = 0,          // dest, src: dest := src
    Calc = 1,            // CalcOp byte, dest, src: dest := dest op src
    Push = 2,            // src: push a copy (never written by the compiler)
    PushRef = 3,         // var: push a pointer to the variable
    Pop = 4,             // drop the top stack slot
    Call = 5,            // u32 procedure number
    Jump = 6,            // s32 offset
    JumpIfTrue = 7,      // s32 offset, operand
    JumpIfFalse = 8,     // s32 offset, operand
    Return = 9,          //
    Invalid = 10,        // always a runtime error
    PushType = 11,       // u32 type number: push a new empty value
    Compare = 12,        // CompareOp byte, dest, left, right: dest := left op right
    CallVar = 13,        // operand holding a procedural value
    SetPointer = 14,     // pointer temporary, var: aim it at the variable
    BoolNot = 15,        // var: Boolean not in place
    Negate = 16,         // var: negate in place
    SetFlag = 17,        // operand, byte: jump flag := operand <> 0, inverted by a non-zero byte
    JumpFlag = 18,       // s32 offset: jump when the jump flag is set
    TryOpen = 19,        // u32 finally, except, second finally, end
    TryEnd = 20,         // TryPart byte
    BitNot = 21,         // var: bitwise not in place
    SetPointerCopy = 22, // pointer temporary, src: aim it at a private copy of src
    Increment = 23,      // var: plus one in place
    Decrement = 24,      // var: minus one in place
    PopJump = 25,        // s32 offset: pop one slot, then jump (never written by the compiler)
    PopPopJump = 26,     // s32 offset: pop two slots, then jump (never written by the compiler)
    Nop = 255,           // never written by the compiler
};

// The byte that starts every operand.
enum class OperandKind : std::uint8_t {
    Var = 0,        // u32 variable number
    Const = 1,      // u32 type number, then the value bytes
    Element = 2,    // u32 variable number, u32 element number
    ElementVar = 3, // u32 variable number, u32 variable number holding the element number
};

// Operator codes of the constant folder and the expression compiler. Those up
// to As are also the operator byte of Op::Calc, where real and integer
// division share Divide (the operand types decide at run time). The others
// never reach the code as they are: "div" is written as Divide, and the
// comparisons, "is" and "in" become Op::Compare with their CompareOp byte.
enum class CalcOp : std::uint8_t {
    Add = 0,
    Subtract = 1,
    Multiply = 2,
    Divide = 3,
    Mod = 4,
    Shl = 5,
    Shr = 6,
    And = 7,
    Or = 8,
    Xor = 9,
    As = 10,
    // compile time only
    IntDivide = 11,
    GreaterEqual = 12,
    LessEqual = 13,
    Greater = 14,
    Less = 15,
    Equal = 16,
    NotEqual = 17,
    Is = 18,
    In = 19,
};

// Operator byte of Op::Compare.
enum class CompareOp : std::uint8_t {
    GreaterEqual = 0,
    LessEqual = 1,
    Greater = 2,
    Less = 3,
    NotEqual = 4,
    Equal = 5,
    In = 6,
    Is = 7,
};

// Byte of Op::TryEnd: which part of a try block just ended.
enum class TryPart : std::uint8_t {
    Try = 0,           // the guarded statements
    Finally = 1,       // a finally part right after the guarded statements
    Except = 2,        // the except part
    SecondFinally = 3, // a finally part after an except part
    // Written by break and continue once for every try block they leave:
    // runs the block's finally part still to come and then goes on after
    // this instruction, or simply closes the block when none is left.
    Leave = 4,
};

// The four u32 fields of Op::TryOpen, in order.
enum class TryField : std::uint8_t {
    Finally = 0,
    Except = 1,
    SecondFinally = 2,
    End = 3,
};

// ---------------------------------------------------------------------------
// Variable numbers

// Below this a number is a global, by its index in the image's variable table.
inline constexpr std::uint32_t kFirstStackVar = 0x40000000;
// The return record that the call pushed; stack slots are counted from it.
inline constexpr std::uint32_t kFrameBaseVar = 0x60000000;

inline constexpr bool isGlobalVar(std::uint32_t var)
{
    return var < kFirstStackVar;
}
// Locals in push order: declared locals first, then the temporaries.
inline constexpr std::uint32_t localVar(std::uint32_t n)
{
    return kFrameBaseVar + 1 + n;
}
// Parameters counted downward from the slot below the return record; in a
// function parameter 0 is Result.
inline constexpr std::uint32_t paramVar(std::uint32_t n)
{
    return kFrameBaseVar - 1 - n;
}
// Offset of a stack variable from the frame base (negative for parameters).
inline constexpr std::int64_t frameOffset(std::uint32_t var)
{
    return static_cast<std::int64_t>(var) - static_cast<std::int64_t>(kFrameBaseVar);
}

// ---------------------------------------------------------------------------
// Sizes and fixed values

inline constexpr std::size_t kVarOperandSize = 5; // kind byte + u32
inline constexpr std::size_t kTryFieldsSize = 16; // four u32 after Op::TryOpen
inline constexpr std::size_t kTryOpenSize = 17;   // Op::TryOpen with its fields
inline constexpr std::uint32_t kTryAbsent = 0xFFFFFFFF;
// Offset written into a forward jump of a statement until it is patched.
inline constexpr std::uint32_t kJumpPlaceholder = 0x12345678;

// ---------------------------------------------------------------------------
// Writing

inline void putByte(std::string& code, std::uint8_t b)
{
    code.push_back(static_cast<char>(b));
}

inline void putU32(std::string& code, std::uint32_t v)
{
    const char bytes[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 24)};
    code.append(bytes, 4);
}

// A byte and the little-endian fields after it, in one append: most
// instructions and operands are a kind or code byte and one or two fields.
inline void putByteU32(std::string& code, std::uint8_t b, std::uint32_t v)
{
    const char bytes[5] = {static_cast<char>(b), static_cast<char>(v), static_cast<char>(v >> 8),
                           static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
    code.append(bytes, 5);
}

inline void putByteU32U32(std::string& code, std::uint8_t b, std::uint32_t v, std::uint32_t w)
{
    const char bytes[9] = {static_cast<char>(b),       static_cast<char>(v),       static_cast<char>(v >> 8),
                           static_cast<char>(v >> 16), static_cast<char>(v >> 24), static_cast<char>(w),
                           static_cast<char>(w >> 8),  static_cast<char>(w >> 16), static_cast<char>(w >> 24)};
    code.append(bytes, 9);
}

inline void putTwoBytes(std::string& code, std::uint8_t a, std::uint8_t b)
{
    const char bytes[2] = {static_cast<char>(a), static_cast<char>(b)};
    code.append(bytes, 2);
}

inline void putS32(std::string& code, std::int32_t v)
{
    putU32(code, static_cast<std::uint32_t>(v));
}

inline void putOp(std::string& code, Op op)
{
    putByte(code, static_cast<std::uint8_t>(op));
}

// Overwrites the four bytes at pos, which must already exist.
inline void patchU32(std::string& code, std::size_t pos, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        code[pos + i] = static_cast<char>(static_cast<std::uint8_t>(v >> (8 * i)));
}

inline void patchS32(std::string& code, std::size_t pos, std::int32_t v)
{
    patchU32(code, pos, static_cast<std::uint32_t>(v));
}

// A jump offset: added by the interpreter to the position after the instruction.
inline constexpr std::int32_t jumpOffset(std::size_t target, std::size_t afterInstruction)
{
    return static_cast<std::int32_t>(static_cast<std::int64_t>(target) - static_cast<std::int64_t>(afterInstruction));
}

// Operands.
inline void putVarOperand(std::string& code, std::uint32_t var)
{
    putByteU32(code, static_cast<std::uint8_t>(OperandKind::Var), var);
}

inline void putElementOperand(std::string& code, std::uint32_t var, std::uint32_t element)
{
    putByteU32U32(code, static_cast<std::uint8_t>(OperandKind::Element), var, element);
}

inline void putElementVarOperand(std::string& code, std::uint32_t var, std::uint32_t indexVar)
{
    putByteU32U32(code, static_cast<std::uint8_t>(OperandKind::ElementVar), var, indexVar);
}

// The head of a constant operand; the value bytes follow in the image's
// constant encoding of the type.
inline void putConstOperandHead(std::string& code, std::uint32_t typeNo)
{
    putByteU32(code, static_cast<std::uint8_t>(OperandKind::Const), typeNo);
}

// Instructions without operands of their own beyond fixed fields.
inline void putCall(std::string& code, std::uint32_t procNo)
{
    putByteU32(code, static_cast<std::uint8_t>(Op::Call), procNo);
}

inline void putPushType(std::string& code, std::uint32_t typeNo)
{
    putByteU32(code, static_cast<std::uint8_t>(Op::PushType), typeNo);
}

inline void putCalcHead(std::string& code, CalcOp op)
{
    putTwoBytes(code, static_cast<std::uint8_t>(Op::Calc), static_cast<std::uint8_t>(op));
}

inline void putCompareHead(std::string& code, CompareOp op)
{
    putTwoBytes(code, static_cast<std::uint8_t>(Op::Compare), static_cast<std::uint8_t>(op));
}

inline void putTryEnd(std::string& code, TryPart part)
{
    putTwoBytes(code, static_cast<std::uint8_t>(Op::TryEnd), static_cast<std::uint8_t>(part));
}

// Writes Op::Jump, Op::JumpFlag, Op::PopJump or Op::PopPopJump with a
// placeholder offset and returns the position just after the offset field,
// which is what patchJump expects.
inline std::size_t putForwardJump(std::string& code, Op op, std::uint32_t placeholder = kJumpPlaceholder)
{
    putByteU32(code, static_cast<std::uint8_t>(op), placeholder);
    return code.size();
}

// Points a jump at target. afterField is the position just after the s32;
// afterInstruction is where the interpreter adds the offset (the same for
// plain jumps, after the operand for Op::JumpIfTrue and Op::JumpIfFalse).
inline void patchJump(std::string& code, std::size_t afterField, std::size_t afterInstruction, std::size_t target)
{
    patchS32(code, afterField - 4, jumpOffset(target, afterInstruction));
}

inline void patchJump(std::string& code, std::size_t afterField, std::size_t target)
{
    patchJump(code, afterField, afterField, target);
}

// Writes Op::TryOpen with every field absent and returns its position.
inline std::size_t putTryOpen(std::string& code)
{
    const std::size_t at = code.size();
    putOp(code, Op::TryOpen);
    for (int i = 0; i < 4; ++i)
        putU32(code, kTryAbsent);
    return at;
}

// Sets one field of the Op::TryOpen at tryAt to target, relative to the end
// of the instruction.
inline void patchTryField(std::string& code, std::size_t tryAt, TryField field, std::size_t target)
{
    patchU32(code, tryAt + 1 + 4 * static_cast<std::size_t>(field),
             static_cast<std::uint32_t>(target - (tryAt + kTryOpenSize)));
}

// ---------------------------------------------------------------------------
// Reading. Each reader checks the bounds, advances pos and returns false when
// the code ends too early.

inline bool readByte(std::string_view code, std::size_t& pos, std::uint8_t& out)
{
    if (pos >= code.size())
        return false;
    out = static_cast<std::uint8_t>(code[pos++]);
    return true;
}

inline bool readU32(std::string_view code, std::size_t& pos, std::uint32_t& out)
{
    if (pos > code.size() || code.size() - pos < 4)
        return false;
    out = 0;
    for (int i = 0; i < 4; ++i)
        out |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(code[pos + i])) << (8 * i);
    pos += 4;
    return true;
}

inline bool readS32(std::string_view code, std::size_t& pos, std::int32_t& out)
{
    std::uint32_t u;
    if (!readU32(code, pos, u))
        return false;
    out = static_cast<std::int32_t>(u);
    return true;
}

} // namespace pscode
