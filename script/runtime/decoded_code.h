#pragma once
// A script procedure's code decoded for the interpreter's quick paths.
//
// The first time a procedure runs, its bytecode is read once into one entry
// per instruction: the operands with their variable numbers turned into
// frame offsets or fixed global entries, constants of number types read
// into place, jump targets turned into entry numbers. The quick paths run
// an entry only when the values it meets are of the kinds they know (the
// integer types, mostly); anything else, and every error, goes through the
// byte-reading interpreter for that one instruction, so the two always
// agree.
//
// Some short runs of instructions that the compiler writes again and again
// (push a temporary, fill it, use it, pop it; compare into a temporary,
// test it and branch) also get a combined entry that does the run at once.
// Combined entries are used only when nothing is called between
// instructions; a jump into the middle of a run lands on the entries of the
// single instructions.
//
// The instructions the executer marks (those a debugger has source
// positions for) are marked in their entries too; a run that watches them
// uses a combined entry only where it passes no marked instruction after
// its first.

#include "script/common/instruction_set.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TPSExec;
class TPSTypeRec;
class TPSInternalProcRec;
class TPSProcRec;
struct TPSStackEntry;

// What an entry does; Generic hands the instruction to the byte-reading
// interpreter.
enum class TPSQuickOp : std::uint8_t {
    Generic,
    Nop,
    Assign,
    Calc,
    Compare,
    SetFlag,
    JumpFlag,
    Jump,
    JumpIfTrue,
    JumpIfFalse,
    PushType,
    Pop,
    PushRef,
    SetPointer,
    Call,
    Return,
    Increment,
    Decrement,
    // Runs of instructions done at once.
    CompareBranch, // PushType T; Compare T, x, y; SetFlag T; Pop; JumpFlag
    CompareStep,   // the same, then Increment or Decrement; Jump
    CalcThrough,   // PushType T; Assign T, x; Calc T, y; Calc D, T; Pop
    PushAssign,    // PushType T; Assign T, x [; Calc T, y]
    ThenPop,       // Assign, Calc or Compare; Pop
    Pops,          // Pop; Pop [; Pop ...]
    RefCall,       // PushRef; Call
    IncrementJump, // Increment or Decrement; Jump
    // A call of a script function with one LongInt value parameter:
    // PushType R; PushType P; Assign P, x [; Calc P, y]; PushRef R; Call
    ValueCall,
};

// A variable as an operand names it: a slot of the running frame, or a
// global whose entry is fixed for as long as the image is loaded.
struct TPSQuickVar
{
    TPSStackEntry* global = nullptr; // none: a stack slot
    std::int32_t offset = 0;         // from the frame base
};

struct TPSQuickOperand
{
    enum class Kind : std::uint8_t {
        Other,        // left to the byte-reading interpreter
        Var,          // the variable
        Const,        // a number constant, held in value, or a text held in text
        Element,      // an element by a fixed number
        ElementByVar, // an element by the number another variable holds
    };
    Kind kind = Kind::Other;
    // The two commonest operands, known at once: a slot of the running
    // frame, and a constant of the image's LongInt type.
    enum class Quickest : std::uint8_t { No, FrameSlot, LongIntConst };
    Quickest quickest = Quickest::No;
    TPSQuickVar var;
    TPSQuickVar indexVar;    // ElementByVar
    std::uint32_t index = 0; // Element
    const TPSTypeRec* constType = nullptr;
    const std::string* text = nullptr; // an AnsiString constant
    alignas(16) unsigned char value[16] = {};

    bool isConst() const { return kind == Kind::Const; }
    // Whether the operand reads or names the stack slot at offset.
    bool usesSlot(std::int32_t offset) const;
};

struct TPSQuickIns
{
    TPSQuickOp op = TPSQuickOp::Generic;    // used before every instruction
    TPSQuickOp fused = TPSQuickOp::Generic; // used when nothing runs between instructions
    std::uint8_t operatorByte = 0;          // Calc and Compare; SetFlag's invert byte
    std::uint8_t fusedCount = 1;            // instructions the fused entry covers
    std::uint32_t pos = 0;                  // where the instruction starts
    std::uint32_t next = 0;                 // where the next one starts
    const TPSQuickIns* jumpTo = nullptr;    // a jump's target
    std::int32_t target = -1;               // where it is while decoding
    const TPSTypeRec* type = nullptr;       // PushType
    std::int32_t tempSlot = 0;              // a run's temporary that is never made: its slot (its
                                            // entry's size is entrySize)
    std::uint32_t entrySize = 0;            // PushType, PushRef: the bytes of the entry pushed
    bool plainPush = false;                 // PushType: its empty value is all zero bits and owns nothing
    std::int8_t step = 0;                   // Increment 1, Decrement -1
    // CompareStep: the step is on the compare's left operand, a slot of
    // the frame.
    bool stepsLeft = false;
    // CompareStep: the jump back lands on a CompareBranch that tests the same
    // counter with the same temporary (a for loop's first test), which the
    // step may do at once.
    bool testsHead = false;
    // The flag of CompareBranch, by the order of the two LongInts compared:
    // bit 0 when the left is less, bit 1 when equal, bit 2 when greater.
    std::uint8_t branchWhen = 0;
    TPSProcRec* proc = nullptr; // Call
    bool internalCall = false;
    bool marked = false; // one of the executer's marked instructions
    // What a run that watches the marks uses: the combined entry, unless it
    // passes a marked instruction after its first.
    TPSQuickOp marksFused = TPSQuickOp::Generic;
    TPSQuickOperand a, b, c;
};

class TPSDecodedCode
{
public:
    // Decodes code as the executer's image gives meaning to it.
    TPSDecodedCode(const TPSExec& exec, const TPSInternalProcRec& proc);

    // The entry of the instruction starting at pos; none when no decoded
    // instruction starts there.
    const TPSQuickIns* At(std::uint32_t pos) const
    {
        if (pos >= entryAt_.size() || entryAt_[pos] < 0)
            return nullptr;
        return &entries_[static_cast<std::size_t>(entryAt_[pos])];
    }
    const std::vector<TPSQuickIns>& Entries() const { return entries_; }
    // Whether the instruction at pos is one of the executer's marked ones.
    bool MarkedAt(std::uint32_t pos) const;

private:
    void decode(const TPSExec& exec, std::string_view code);
    void combine(const TPSExec& exec);
    bool isValueCall(std::size_t i, const TPSExec& exec) const;
    void mark(const TPSExec& exec, const TPSInternalProcRec& proc);

    std::vector<TPSQuickIns> entries_;
    std::vector<std::int32_t> entryAt_;
    std::vector<std::unique_ptr<std::string>> texts_; // the text constants
    std::vector<std::uint32_t> marks_;                // the marked positions, ascending
    bool allMarked_ = false;
};
