#include "script/common/instruction_set.h"

#include <gtest/gtest.h>

namespace {

using namespace pscode;

std::int32_t s32At(const std::string& code, std::size_t pos)
{
    std::int32_t v = 0;
    EXPECT_TRUE(readS32(code, pos, v));
    return v;
}

TEST(InstructionSet, VariableNumbers)
{
    EXPECT_EQ(paramVar(0), 0x5FFFFFFFu); // Result of a function, first parameter of a procedure
    EXPECT_EQ(paramVar(1), 0x5FFFFFFEu);
    EXPECT_EQ(localVar(0), 0x60000001u);
    EXPECT_EQ(localVar(3), 0x60000004u); // a temporary made after three locals
    EXPECT_EQ(frameOffset(paramVar(0)), -1);
    EXPECT_EQ(frameOffset(localVar(0)), 1);
    EXPECT_TRUE(isGlobalVar(0x3FFFFFFF));
    EXPECT_FALSE(isGlobalVar(0x40000000));
}

TEST(InstructionSet, OperandsAreLittleEndianAndSized)
{
    std::string code;
    putVarOperand(code, localVar(0));
    EXPECT_EQ(code.size(), kVarOperandSize);
    EXPECT_EQ(code, std::string("\x00\x01\x00\x00\x60", 5));
    putElementOperand(code, 7, 2);
    putElementVarOperand(code, 7, localVar(1));
    putConstOperandHead(code, 3);
    EXPECT_EQ(code.size(), 5u + 9u + 9u + 5u);
    EXPECT_EQ(code[5], static_cast<char>(OperandKind::Element));
    EXPECT_EQ(code[14], static_cast<char>(OperandKind::ElementVar));
    EXPECT_EQ(code[23], static_cast<char>(OperandKind::Const));

    std::size_t pos = 1;
    std::uint32_t v = 0;
    EXPECT_TRUE(readU32(code, pos, v));
    EXPECT_EQ(v, 0x60000001u);
    EXPECT_EQ(pos, 5u);
    pos = code.size() - 3;
    EXPECT_FALSE(readU32(code, pos, v));
    EXPECT_EQ(pos, code.size() - 3);
    pos = code.size() + 10;
    EXPECT_FALSE(readU32(code, pos, v));
    std::uint8_t b = 0;
    pos = code.size();
    EXPECT_FALSE(readByte(code, pos, b));
}

TEST(InstructionSet, Jumps)
{
    std::string code;
    // A jump to the instruction right after itself has offset 0.
    const std::size_t after = putForwardJump(code, Op::Jump);
    EXPECT_EQ(s32At(code, 1), static_cast<std::int32_t>(kJumpPlaceholder));
    patchJump(code, after, code.size());
    EXPECT_EQ(s32At(code, 1), 0);

    // A conditional jump counts from after its operand.
    const std::size_t condAt = code.size();
    const std::size_t field = putForwardJump(code, Op::JumpIfFalse, 0);
    putVarOperand(code, localVar(0));
    const std::size_t afterOperand = code.size();
    putOp(code, Op::Pop);
    patchJump(code, field, afterOperand, code.size());
    EXPECT_EQ(code[condAt], static_cast<char>(Op::JumpIfFalse));
    EXPECT_EQ(s32At(code, condAt + 1), 1);

    // A backward jump is negative.
    putOp(code, Op::Jump);
    putS32(code, jumpOffset(0, code.size() + 4));
    EXPECT_EQ(s32At(code, code.size() - 4), -static_cast<std::int32_t>(code.size()));
}

TEST(InstructionSet, TryLayout)
{
    // try ... except ... end: no finally parts.
    std::string code;
    const std::size_t at = putTryOpen(code);
    EXPECT_EQ(code.size(), kTryOpenSize);
    putOp(code, Op::Nop);
    putTryEnd(code, TryPart::Try);
    const std::size_t except = code.size();
    putTryEnd(code, TryPart::Except);
    patchTryField(code, at, TryField::Except, except);
    patchTryField(code, at, TryField::End, code.size());

    std::size_t pos = 1;
    std::uint32_t fields[4];
    for (std::uint32_t& f : fields)
        ASSERT_TRUE(readU32(code, pos, f));
    EXPECT_EQ(fields[0], kTryAbsent);
    EXPECT_EQ(fields[1], 3u); // after one Nop and the two-byte end of the try part
    EXPECT_EQ(fields[2], kTryAbsent);
    EXPECT_EQ(fields[3], 5u);
    EXPECT_EQ(code.substr(kTryOpenSize), std::string("\xFF\x14\x00\x14\x02", 5));
}

} // namespace
