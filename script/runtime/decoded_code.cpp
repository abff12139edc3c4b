#include "script/runtime/decoded_code.h"

#include "script/runtime/exec.h"
#include "script/runtime/value_ops.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>

using ps::BaseType;
using pscode::Op;
using pscode::OperandKind;

namespace {

class Reader
{
public:
    Reader(const TPSExec& exec, std::string_view code, std::size_t pos,
           std::vector<std::unique_ptr<std::string>>& texts)
        : exec_(exec), code_(code), pos_(pos), texts_(texts)
    {
    }

    std::size_t pos() const { return pos_; }
    bool byte(std::uint8_t& out) { return pscode::readByte(code_, pos_, out); }
    bool u32(std::uint32_t& out) { return pscode::readU32(code_, pos_, out); }

    // A variable number as a quick variable; false for one that only the
    // byte-reading interpreter can judge (a global beyond the table).
    bool var(std::uint32_t number, TPSQuickVar& out) const
    {
        if (pscode::isGlobalVar(number)) {
            if (number >= exec_.GlobalCount())
                return false;
            out.global = exec_.GlobalEntry(number);
            return true;
        }
        // Slots beyond any stack that could be are left to be reported.
        const std::int64_t offset = pscode::frameOffset(number);
        if (offset > std::numeric_limits<std::int32_t>::max())
            return false;
        out.offset = static_cast<std::int32_t>(offset);
        return true;
    }

    // Reads one operand. False when its length cannot be known (the code
    // ends, or a constant's type has no encoding): decoding stops there.
    bool operand(TPSQuickOperand& out)
    {
        using Kind = TPSQuickOperand::Kind;
        std::uint8_t kind;
        std::uint32_t param;
        if (!byte(kind) || !u32(param))
            return false;
        switch (static_cast<OperandKind>(kind)) {
        case OperandKind::Var:
            out.kind = var(param, out.var) ? Kind::Var : Kind::Other;
            return true;
        case OperandKind::Const: {
            const TPSTypeRec* type = exec_.GetTypeByNumber(param);
            if (!type || !HasConstEncoding(type))
                return false;
            // Integer constants are read into the entry.
            if (IsIntegerType(type->baseType)) {
                const std::size_t size = ps::fixedValueSize(type->baseType);
                if (code_.size() - pos_ < size)
                    return false;
                std::memcpy(out.value, code_.data() + pos_, size);
                pos_ += size;
                out.constType = type;
                out.kind = Kind::Const;
                return true;
            }
            if (type->baseType == ps::BaseType::AnsiString) {
                auto text = std::make_unique<std::string>();
                if (ReadConstValue(code_, pos_, type, text.get()) != ErNoError)
                    return false;
                out.text = texts_.emplace_back(std::move(text)).get();
                out.constType = type;
                out.kind = Kind::Const;
                return true;
            }
            // Any other constant is only measured.
            alignas(16) unsigned char scratch[64];
            if (type->realSize > sizeof scratch)
                return false;
            InitializeValue(scratch, type);
            const TPSError error = ReadConstValue(code_, pos_, type, scratch);
            FinalizeValue(scratch, type);
            return error == ErNoError;
        }
        case OperandKind::Element:
        case OperandKind::ElementVar: {
            std::uint32_t second;
            if (!u32(second))
                return false;
            const bool byVar = static_cast<OperandKind>(kind) == OperandKind::ElementVar;
            if (!var(param, out.var) || (byVar && !var(second, out.indexVar)))
                return true;
            out.index = second;
            out.kind = byVar ? Kind::ElementByVar : Kind::Element;
            return true;
        }
        default:
            return false;
        }
    }

private:
    const TPSExec& exec_;
    std::string_view code_;
    std::size_t pos_;
    std::vector<std::unique_ptr<std::string>>& texts_;
};

// Notes where a jump goes: the offset counts from the end of the
// instruction. False for a target outside the code, which only the
// byte-reading interpreter reports.
bool aimAt(TPSQuickIns& ins, std::size_t end, std::uint32_t offset, std::size_t codeSize)
{
    const std::int64_t target = std::int64_t(end) + static_cast<std::int32_t>(offset);
    if (target < 0 || target > std::int64_t(codeSize))
        return false;
    ins.target = static_cast<std::int32_t>(target); // a position until every entry is known
    return true;
}

bool isSlot(const TPSQuickOperand& operand, std::int32_t offset)
{
    return operand.kind == TPSQuickOperand::Kind::Var && !operand.var.global && operand.var.offset == offset;
}

} // namespace

bool TPSQuickOperand::usesSlot(std::int32_t offset) const
{
    const auto names = [offset](const TPSQuickVar& v) { return !v.global && v.offset == offset; };
    switch (kind) {
    case Kind::Var:
    case Kind::Element:
        return names(var);
    case Kind::ElementByVar:
        return names(var) || names(indexVar);
    case Kind::Const:
        return false;
    default:
        return true; // unknown: assume it does
    }
}

TPSDecodedCode::TPSDecodedCode(const TPSExec& exec, const TPSInternalProcRec& proc)
{
    decode(exec, proc.code);
    using Quickest = TPSQuickOperand::Quickest;
    for (TPSQuickIns& ins : entries_) {
        for (TPSQuickOperand* operand : {&ins.a, &ins.b, &ins.c}) {
            if (operand->kind == TPSQuickOperand::Kind::Var && !operand->var.global)
                operand->quickest = Quickest::FrameSlot;
            else if (operand->isConst() && operand->constType && operand->constType == exec.LongIntType())
                operand->quickest = Quickest::LongIntConst;
        }
    }
    combine(exec);
    mark(exec, proc);
}

bool TPSDecodedCode::MarkedAt(std::uint32_t pos) const
{
    return allMarked_ || std::binary_search(marks_.begin(), marks_.end(), pos);
}

void TPSDecodedCode::mark(const TPSExec& exec, const TPSInternalProcRec& proc)
{
    const TPSMarks marks = exec.MarksOf(proc);
    allMarked_ = marks.all;
    if (marks.positions)
        marks_ = *marks.positions;
    for (TPSQuickIns& ins : entries_)
        ins.marked = MarkedAt(ins.pos);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        TPSQuickIns& ins = entries_[i];
        ins.marksFused = ins.fused;
        for (std::size_t k = 1; k < ins.fusedCount && i + k < entries_.size(); ++k)
            if (entries_[i + k].marked)
                ins.marksFused = ins.op;
    }
}

void TPSDecodedCode::decode(const TPSExec& exec, std::string_view code)
{
    // Positions are kept in 31 bits; longer code runs from its bytes.
    if (code.size() >= std::size_t(std::numeric_limits<std::int32_t>::max()))
        return;
    entryAt_.assign(code.size() + 1, -1);
    std::size_t pos = 0;
    // Instructions one after the other, as far as their lengths are known.
    // The entry after the last one hands the position to the byte-reading
    // interpreter: the end of the code, or an instruction it alone reads.
    while (pos < code.size()) {
        TPSQuickIns ins;
        ins.pos = static_cast<std::uint32_t>(pos);
        Reader in(exec, code, pos + 1, texts_);
        bool known = true;
        bool quick = true;
        switch (static_cast<Op>(static_cast<std::uint8_t>(code[pos]))) {
        case Op::Assign:
            known = in.operand(ins.a) && in.operand(ins.b);
            ins.op = TPSQuickOp::Assign;
            break;
        case Op::Calc:
            known = in.byte(ins.operatorByte) && in.operand(ins.a) && in.operand(ins.b);
            ins.op = TPSQuickOp::Calc;
            break;
        case Op::Compare:
            known = in.byte(ins.operatorByte) && in.operand(ins.a) && in.operand(ins.b) && in.operand(ins.c);
            ins.op = TPSQuickOp::Compare;
            break;
        case Op::Push:
        case Op::CallVar:
        case Op::BoolNot:
        case Op::Negate:
        case Op::BitNot:
            known = in.operand(ins.a);
            quick = false;
            break;
        case Op::PushRef:
            known = in.operand(ins.a);
            ins.op = TPSQuickOp::PushRef;
            ins.type = exec.FindTypeByBase(0, BaseType::Pointer);
            if (ins.type)
                ins.entrySize = static_cast<std::uint32_t>(TPSStack::EntrySize(ins.type->realSize));
            break;
        case Op::Increment:
        case Op::Decrement:
            known = in.operand(ins.a);
            ins.op = static_cast<Op>(code[pos]) == Op::Increment ? TPSQuickOp::Increment : TPSQuickOp::Decrement;
            ins.step = ins.op == TPSQuickOp::Increment ? 1 : -1;
            break;
        case Op::SetPointer:
            known = in.operand(ins.a) && in.operand(ins.b);
            ins.op = TPSQuickOp::SetPointer;
            break;
        case Op::SetPointerCopy:
            known = in.operand(ins.a) && in.operand(ins.b);
            quick = false;
            break;
        case Op::Pop:
            ins.op = TPSQuickOp::Pop;
            break;
        case Op::Return:
            ins.op = TPSQuickOp::Return;
            break;
        case Op::Nop:
            ins.op = TPSQuickOp::Nop;
            break;
        case Op::PushType: {
            std::uint32_t typeNo = 0;
            known = in.u32(typeNo);
            ins.type = exec.GetTypeByNumber(typeNo);
            ins.op = TPSQuickOp::PushType;
            quick = ins.type != nullptr;
            if (quick) {
                ins.entrySize = static_cast<std::uint32_t>(TPSStack::EntrySize(ins.type->realSize));
                ins.plainPush = !ins.type->needsFinalization();
            }
            break;
        }
        case Op::Call: {
            std::uint32_t procNo = 0;
            known = in.u32(procNo);
            ins.proc = exec.GetProcNo(procNo);
            ins.internalCall = dynamic_cast<TPSInternalProcRec*>(ins.proc) != nullptr;
            ins.op = TPSQuickOp::Call;
            quick = ins.proc != nullptr;
            break;
        }
        case Op::Jump:
        case Op::JumpFlag:
        case Op::PopJump:
        case Op::PopPopJump: {
            const Op op = static_cast<Op>(code[pos]);
            std::uint32_t offset = 0;
            known = in.u32(offset);
            ins.op = op == Op::Jump ? TPSQuickOp::Jump : TPSQuickOp::JumpFlag;
            quick = (op == Op::Jump || op == Op::JumpFlag) && aimAt(ins, in.pos(), offset, code.size());
            break;
        }
        case Op::JumpIfTrue:
        case Op::JumpIfFalse: {
            std::uint32_t offset = 0;
            known = in.u32(offset) && in.operand(ins.a);
            ins.op = static_cast<Op>(code[pos]) == Op::JumpIfTrue ? TPSQuickOp::JumpIfTrue : TPSQuickOp::JumpIfFalse;
            quick = aimAt(ins, in.pos(), offset, code.size());
            break;
        }
        case Op::SetFlag:
            known = in.operand(ins.a) && in.byte(ins.operatorByte);
            ins.op = TPSQuickOp::SetFlag;
            break;
        case Op::TryOpen: {
            std::uint32_t field;
            known = in.u32(field) && in.u32(field) && in.u32(field) && in.u32(field);
            quick = false;
            break;
        }
        case Op::TryEnd:
            known = in.byte(ins.operatorByte);
            quick = false;
            break;
        default: // the invalid opcode, and any byte that is no opcode
            known = false;
            break;
        }
        if (!known || !quick)
            ins.op = TPSQuickOp::Generic;
        ins.fused = ins.op;
        entryAt_[pos] = static_cast<std::int32_t>(entries_.size());
        entries_.push_back(ins);
        if (!known)
            return;
        pos = in.pos();
        entries_.back().next = static_cast<std::uint32_t>(pos);
    }
    TPSQuickIns end;
    end.pos = end.next = static_cast<std::uint32_t>(pos);
    entryAt_[pos] = static_cast<std::int32_t>(entries_.size());
    entries_.push_back(end);
}

// PushType R; PushType P; Assign P, x [; Calc P, y]; PushRef R; Call F:
// the result R and the parameter P are the next two slots, P is a LongInt,
// x and y name neither, F is a script procedure.
bool TPSDecodedCode::isValueCall(std::size_t i, const TPSExec& exec) const
{
    const auto opAt = [this](std::size_t k) { return k < entries_.size() ? entries_[k].op : TPSQuickOp::Generic; };
    if (opAt(i + 1) != TPSQuickOp::PushType || opAt(i + 2) != TPSQuickOp::Assign)
        return false;
    const bool withCalc = opAt(i + 3) == TPSQuickOp::Calc;
    const std::size_t ref = i + (withCalc ? 4 : 3);
    if (opAt(ref) != TPSQuickOp::PushRef || opAt(ref + 1) != TPSQuickOp::Call || !entries_[ref + 1].internalCall)
        return false;
    const TPSQuickIns &result = entries_[i], &param = entries_[i + 1], &assign = entries_[i + 2];
    const TPSQuickOperand& target = entries_[ref].a;
    if (!result.plainPush || !param.type || param.type != exec.LongIntType() ||
        target.kind != TPSQuickOperand::Kind::Var || target.var.global || !entries_[ref].type)
        return false;
    const std::int32_t slot = target.var.offset;
    if (slot == std::numeric_limits<std::int32_t>::max() || !isSlot(assign.a, slot + 1) ||
        assign.b.quickest == TPSQuickOperand::Quickest::No || assign.b.usesSlot(slot) || assign.b.usesSlot(slot + 1))
        return false;
    if (!withCalc)
        return true;
    const TPSQuickIns& calc = entries_[i + 3];
    return isSlot(calc.a, slot + 1) && calc.b.quickest != TPSQuickOperand::Quickest::No && !calc.b.usesSlot(slot) &&
           !calc.b.usesSlot(slot + 1);
}

void TPSDecodedCode::combine(const TPSExec& exec)
{
    // Jump targets become entries; a jump into the middle of an instruction
    // is left to the byte-reading interpreter.
    for (TPSQuickIns& ins : entries_) {
        switch (ins.op) {
        case TPSQuickOp::Jump:
        case TPSQuickOp::JumpFlag:
        case TPSQuickOp::JumpIfTrue:
        case TPSQuickOp::JumpIfFalse:
            ins.target = entryAt_[static_cast<std::size_t>(ins.target)];
            if (ins.target < 0)
                ins.op = ins.fused = TPSQuickOp::Generic;
            else
                ins.jumpTo = &entries_[static_cast<std::size_t>(ins.target)];
            break;
        default:
            break;
        }
    }
    const auto opAt = [this](std::size_t i) { return i < entries_.size() ? entries_[i].op : TPSQuickOp::Generic; };
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        TPSQuickIns& ins = entries_[i];
        switch (ins.op) {
        case TPSQuickOp::PushType:
            if (isValueCall(i, exec)) {
                ins.fused = TPSQuickOp::ValueCall;
                ins.fusedCount = entries_[i + 3].op == TPSQuickOp::Calc ? 6 : 5;
                break;
            }
            if (opAt(i + 1) == TPSQuickOp::Compare && opAt(i + 2) == TPSQuickOp::SetFlag &&
                opAt(i + 3) == TPSQuickOp::Pop && opAt(i + 4) == TPSQuickOp::JumpFlag) {
                // The flag's temporary is compared into, tested and dropped:
                // it need not be made at all, when the compare and the test
                // name it and nothing else does.
                const TPSQuickIns& compare = entries_[i + 1];
                const TPSQuickOperand& flag = entries_[i + 2].a;
                if (flag.kind == TPSQuickOperand::Kind::Var && !flag.var.global && isSlot(compare.a, flag.var.offset) &&
                    !compare.b.usesSlot(flag.var.offset) && !compare.c.usesSlot(flag.var.offset) &&
                    IsOrdinal32(ins.type->baseType)) {
                    ins.fused = TPSQuickOp::CompareBranch;
                    ins.fusedCount = 5;
                    ins.tempSlot = flag.var.offset;
                    // >=, <=, >, <, <> and = as the orders they take.
                    constexpr std::uint8_t holds[] = {0b110, 0b011, 0b100, 0b001, 0b101, 0b010};
                    if (compare.operatorByte < std::size(holds))
                        ins.branchWhen = holds[compare.operatorByte] ^ (entries_[i + 2].operatorByte ? 0b111 : 0);
                    // A loop's last test, its step and its jump back.
                    if ((opAt(i + 5) == TPSQuickOp::Increment || opAt(i + 5) == TPSQuickOp::Decrement) &&
                        opAt(i + 6) == TPSQuickOp::Jump) {
                        ins.fused = TPSQuickOp::CompareStep;
                        ins.fusedCount = 7;
                        ins.stepsLeft = isSlot(compare.b, entries_[i + 5].a.var.offset) &&
                                        isSlot(entries_[i + 5].a, entries_[i + 5].a.var.offset);
                        // The loop's first test comes before its step, so it
                        // is combined already.
                        const TPSQuickIns* head = entries_[i + 6].jumpTo;
                        ins.testsHead = ins.stepsLeft && head && head < &ins &&
                                        head->fused == TPSQuickOp::CompareBranch && head->branchWhen &&
                                        head->tempSlot == ins.tempSlot && head->entrySize == ins.entrySize &&
                                        isSlot(head[1].b, compare.b.var.offset);
                    }
                    break;
                }
            }
            if (opAt(i + 1) == TPSQuickOp::Assign && opAt(i + 2) == TPSQuickOp::Calc &&
                opAt(i + 3) == TPSQuickOp::Calc && opAt(i + 4) == TPSQuickOp::Pop) {
                // A temporary that holds x op y for one calculation: it need
                // not be made either.
                const TPSQuickOperand& temp = entries_[i + 1].a;
                const std::int32_t slot = temp.var.offset;
                const TPSQuickIns& first = entries_[i + 2];
                const TPSQuickIns& second = entries_[i + 3];
                if (temp.kind == TPSQuickOperand::Kind::Var && !temp.var.global && !entries_[i + 1].b.usesSlot(slot) &&
                    isSlot(first.a, slot) && !first.b.usesSlot(slot) && isSlot(second.b, slot) &&
                    !second.a.usesSlot(slot) && IsIntegerType(ins.type->baseType)) {
                    ins.fused = TPSQuickOp::CalcThrough;
                    ins.fusedCount = 5;
                    ins.tempSlot = slot;
                    break;
                }
            }
            if (opAt(i + 1) == TPSQuickOp::Assign) {
                ins.fused = TPSQuickOp::PushAssign;
                ins.fusedCount = opAt(i + 2) == TPSQuickOp::Calc ? 3 : 2;
            }
            break;
        case TPSQuickOp::Assign:
        case TPSQuickOp::Calc:
        case TPSQuickOp::Compare:
            if (opAt(i + 1) == TPSQuickOp::Pop) {
                ins.fused = TPSQuickOp::ThenPop;
                ins.fusedCount = 2;
            }
            break;
        case TPSQuickOp::Pop:
            while (opAt(i + ins.fusedCount) == TPSQuickOp::Pop && ins.fusedCount < 255)
                ++ins.fusedCount;
            if (ins.fusedCount > 1)
                ins.fused = TPSQuickOp::Pops;
            break;
        case TPSQuickOp::PushRef:
            if (opAt(i + 1) == TPSQuickOp::Call) {
                ins.fused = TPSQuickOp::RefCall;
                ins.fusedCount = 2;
            }
            break;
        case TPSQuickOp::Increment:
        case TPSQuickOp::Decrement:
            if (opAt(i + 1) == TPSQuickOp::Jump) {
                ins.fused = TPSQuickOp::IncrementJump;
                ins.fusedCount = 2;
            }
            break;
        default:
            break;
        }
    }
}
