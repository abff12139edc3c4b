// The interpreter loop: fetches one opcode at a time from the current
// procedure's code, decodes its operands and carries it out. Every check
// reports a runtime error and fails the instruction; nothing raises out of
// the loop.

#include "script/common/instruction_set.h"
#include "script/runtime/decoded_code.h"
#include "script/runtime/event_bridge.h"
#include "script/runtime/exec.h"
#include "script/runtime/value_ops.h"

using ps::BaseType;
using pscode::Op;
using pscode::OperandKind;

namespace {

TPSPointerValue& pointerAt(void* data)
{
    return *static_cast<TPSPointerValue*>(data);
}

TPSReturnRecord& returnRecordAt(void* data)
{
    return *static_cast<TPSReturnRecord*>(data);
}

} // namespace

bool TPSExec::ExecuteCode()
{
    const TPSBlockArena::Scope blocks(arena_);
    if (status_ == TPSStatus::Loaded)
        freeTryRecords();
    HandleException(NoProc, NoProc, ErNoError, {}, nullptr);
    const TPSStatus startStatus = status_;
    if (status_ == TPSStatus::Loaded) {
        if (mainProc_ == NoProc)
            return false;
        status_ = TPSStatus::Running;
        auto* main = dynamic_cast<TPSInternalProcRec*>(procs_[mainProc_].get());
        if (!main) {
            SetError(erNoMainProc);
            status_ = TPSStatus::Loaded;
            return false;
        }
        frameBase_ = -1;
        enterProc(main);
    } else if (status_ == TPSStatus::Paused) {
        status_ = TPSStatus::Running;
    } else {
        return false;
    }

    const TPSStatus outerStartStatus = runStartStatus_;
    const TPSHookLevel outerHookLevel = hookLevel_;
    runStartStatus_ = startStatus;
    const bool hook = OnRunLine || HasInstructionHook();
    if (hook)
        refreshHookLevel();
    runLoop(hook, UsesDecodedCode());
    runStartStatus_ = outerStartStatus;
    hookLevel_ = outerHookLevel;

    if (status_ == TPSStatus::Loaded)
        stack_.Clear();
    return exceptionCode_ == ErNoError;
}

void TPSExec::runLoop(bool hook, bool decoded)
{
    while (status_ == TPSStatus::Running) {
        // Where the decoded code knows the instruction, it runs from there
        // for as long as it can.
        const TPSQuickIns* ip = nullptr;
        try {
            ip = decoded && currentProc_ ? decodedOf(currentProc_).At(position_) : nullptr;
        } catch (...) {
            // Code too large to decode runs from its bytes.
        }
        if (ip) {
            const QuickExit exit = runQuick(ip, hook);
            if (exit == QuickExit::End)
                break;
            if (exit == QuickExit::ReadBytes) {
                const bool ok = genericStep();
                // A host routine may have changed what the hook wants.
                if (hook)
                    refreshHookLevel();
                if (!ok)
                    break;
            }
            continue;
        }
        if (hookWantedAt(hook)) {
            instructionPos_ = position_;
            if (!callHook()) {
                if (tryRecords_.empty() || status_ != TPSStatus::Running)
                    break;
                continue;
            }
        }
        const bool ok = genericStep();
        if (hook)
            refreshHookLevel();
        if (!ok)
            break;
    }
}

bool TPSExec::hookWantedAt(bool hook)
{
    if (!hook || hookLevel_ == TPSHookLevel::Every)
        return hook || beforeInstructionAsked();
    // Where the marks cannot be known, the instruction counts as marked:
    // one noted too many changes nothing.
    bool marked = true;
    try {
        marked = !currentProc_ || decodedOf(currentProc_).MarkedAt(position_);
    } catch (...) {
    }
    if (marked)
        noteMark(position_);
    return (marked && hookLevel_ == TPSHookLevel::AtMarks) || beforeInstructionAsked();
}

bool TPSExec::callHook()
{
    if (beforeInstructionAsked())
        __atomic_store_n(&beforeInstructionAsked_, false, __ATOMIC_RELAXED);
    __atomic_thread_fence(__ATOMIC_ACQUIRE);
    // An error the hook reports ends the instruction before it ran.
    try {
        BeforeInstruction();
    } catch (...) {
        handleHostException(std::current_exception());
    }
    refreshHookLevel();
    if (!errorReported_)
        return true;
    unwindReported();
    return false;
}

bool TPSExec::genericStep()
{
    instructionPos_ = position_;
    bool ok = false;
    if (position_ >= code_.size()) {
        SetError(ErOutOfRange); // ran off the end of the procedure
    } else {
        const auto opcode = static_cast<std::uint8_t>(code_[position_++]);
        const std::size_t constants = temps_.Count();
        try {
            ok = step(opcode);
        } catch (...) {
            handleHostException(std::current_exception());
        }
        temps_.PopTo(constants);
    }
    // The one place an error is acted on: a try block that takes it moves
    // the position to its handler.
    unwindReported();
    return ok || (!tryRecords_.empty() && status_ == TPSStatus::Running);
}

void TPSExec::enterProc(TPSInternalProcRec* proc)
{
    currentProc_ = proc;
    code_ = proc->code;
    position_ = 0;
}

namespace {

// Reads a field at the position with one of the code readers, advancing it.
template <typename T>
bool readField(std::string_view code, std::uint32_t& position, T& out,
               bool (*reader)(std::string_view, std::size_t&, T&))
{
    std::size_t pos = position;
    if (!reader(code, pos, out))
        return false;
    position = static_cast<std::uint32_t>(pos);
    return true;
}

} // namespace

bool TPSExec::readByte(std::uint8_t& out)
{
    return readField(code_, position_, out, pscode::readByte) || fail(ErOutOfRange);
}

bool TPSExec::readLong(std::uint32_t& out)
{
    return readField(code_, position_, out, pscode::readU32) || fail(ErOutOfRange);
}

bool TPSExec::jumpBy(std::int32_t offset)
{
    const std::int64_t target = std::int64_t(position_) + offset;
    if (target < 0 || target > std::int64_t(code_.size()))
        return fail(ErOutOfRange);
    position_ = static_cast<std::uint32_t>(target);
    return true;
}

TPSStackEntry* TPSExec::resolveVar(std::uint32_t number, TPSError stackError, TPSTargetOrigin& origin)
{
    origin = {};
    if (pscode::isGlobalVar(number)) {
        if (TPSStackEntry* entry = globals_.Items(static_cast<std::ptrdiff_t>(number)))
            return entry;
        SetError(erOutOfGlobalVarsRange);
        return nullptr;
    }
    const std::int64_t index = std::int64_t(frameBase_) + pscode::frameOffset(number);
    TPSStackEntry* entry = index >= 0 ? stack_.Items(static_cast<std::ptrdiff_t>(index)) : nullptr;
    if (!entry) {
        SetError(stackError);
        return nullptr;
    }
    origin.stackIndex = index;
    origin.stackSerial = entry->serial;
    return entry;
}

bool TPSExec::ParamTarget(TPSStackEntry* entry, TPSValueRef& out) const
{
    if (!entry)
        return false;
    if (entry->type->baseType != BaseType::Pointer) {
        out = {entry->data(), entry->type};
        return true;
    }
    return PointerTarget(*static_cast<const TPSPointerValue*>(entry->data()), out);
}

bool TPSExec::PointerTarget(const TPSPointerValue& pointer, TPSValueRef& out) const
{
    if (!targetAlive(pointer))
        return false;
    out = {pointer.data, pointer.type};
    return true;
}

bool TPSExec::followPointer(const TPSPointerValue& pointer, TPSOperand& out)
{
    if (!targetAlive(pointer))
        return fail(erNullPointerException);
    out.data = pointer.data;
    out.type = pointer.type;
    out.origin = pointer.origin;
    return true;
}

bool TPSExec::readElementIndex(std::uint32_t number, std::int64_t& index)
{
    TPSTargetOrigin origin;
    TPSStackEntry* entry = resolveVar(number, erOutOfStackRange, origin);
    if (!entry)
        return false;
    const void* data = entry->data();
    const TPSTypeRec* type = entry->type;
    if (type->baseType == BaseType::Pointer) {
        const TPSPointerValue& pointer = pointerAt(entry->data());
        if (!targetAlive(pointer))
            return fail(ErTypeMismatch);
        data = pointer.data;
        type = pointer.type;
        if (type->baseType == BaseType::Procedural) {
            index = static_cast<const TPSProcValue*>(data)->procNo;
            return true;
        }
    }
    if (!IsOrdinal32(type->baseType))
        return fail(ErTypeMismatch);
    return GetIntegerValue(data, type, index);
}

bool TPSExec::DecodeOperand(TPSOperand& out, bool usePointer)
{
    out = {};
    if (position_ > code_.size() || code_.size() - position_ < pscode::kVarOperandSize)
        return fail(ErOutOfRange);
    const auto kind = static_cast<OperandKind>(code_[position_++]);
    std::uint32_t param = 0;
    readLong(param);

    switch (kind) {
    case OperandKind::Var: {
        TPSStackEntry* entry = resolveVar(param, erOutOfGlobalVarsRange, out.origin);
        if (!entry)
            return false;
        out.data = entry->data();
        out.type = entry->type;
        if (usePointer && out.type->baseType == BaseType::Pointer)
            return followPointer(pointerAt(out.data), out);
        return true;
    }
    case OperandKind::Const: {
        if (param >= types_.size())
            return fail(erInvalidType);
        const TPSTypeRec* type = types_[param].get();
        if (!HasConstEncoding(type))
            return fail(erInvalidType);
        TPSStackEntry* entry = temps_.PushType(type);
        if (!entry)
            return fail(erOutOfMemory);
        std::size_t pos = position_;
        if (const TPSError error = ReadConstValue(code_, pos, type, entry->data()); error != ErNoError) {
            temps_.Pop();
            return fail(error);
        }
        position_ = static_cast<std::uint32_t>(pos);
        out.data = entry->data();
        out.type = type;
        out.temporary = true;
        return true;
    }
    case OperandKind::Element:
    case OperandKind::ElementVar: {
        TPSStackEntry* entry = resolveVar(param, erOutOfStackRange, out.origin);
        if (!entry)
            return false;
        out.data = entry->data();
        out.type = entry->type;
        if (out.type->baseType == BaseType::Pointer && !followPointer(pointerAt(out.data), out))
            return false;
        std::int64_t index;
        std::uint32_t number;
        if (!readLong(number))
            return false;
        index = number;
        if (kind == OperandKind::ElementVar && !readElementIndex(number, index))
            return false;
        if (!selectElement(out, index))
            return false;
        if (usePointer && out.type->baseType == BaseType::Pointer)
            return followPointer(pointerAt(out.data), out);
        return true;
    }
    default:
        return fail(erInvalidOpcodeParameter);
    }
}

// Narrows an operand to its element number index: a record's field, a
// dynamic array's element or a static array's element.
bool TPSExec::selectElement(TPSOperand& out, std::int64_t index)
{
    auto* base = static_cast<std::byte*>(out.data);
    switch (out.type->baseType) {
    case BaseType::Record: {
        const auto* record = static_cast<const TPSTypeRec_Record*>(out.type);
        if (index < 0 || std::uint64_t(index) >= record->fieldTypes.size())
            return fail(ErOutOfRange);
        out.data = base + record->fieldOffsets[static_cast<std::size_t>(index)];
        out.type = record->fieldTypes[static_cast<std::size_t>(index)];
        return true;
    }
    case BaseType::DynArray: {
        const TPSTypeRec* element = static_cast<const TPSTypeRec_Array*>(out.type)->elementType;
        if (index < 0 || index >= DynArrayGetLength(out.data, out.type))
            return fail(ErOutOfRange);
        // The element lives in the array's block, whatever holds the array.
        out.origin = {*static_cast<TPSDynArrayHeader**>(out.data), element};
        out.data = static_cast<std::byte*>(DynArrayElements(out.data)) + index * element->realSize;
        out.type = element;
        return true;
    }
    case BaseType::StaticArray: {
        const auto* array = static_cast<const TPSTypeRec_StaticArray*>(out.type);
        if (index < 0 || index >= array->elementCount)
            return fail(ErOutOfRange);
        out.data = base + index * array->elementType->realSize;
        out.type = array->elementType;
        return true;
    }
    default:
        return fail(erInvalidType);
    }
}

bool TPSExec::testOperand(bool& nonZero)
{
    TPSOperand operand;
    if (!DecodeOperand(operand, true))
        return false;
    std::int64_t value;
    if (!IsOrdinal32(operand.type->baseType) || !GetIntegerValue(operand.data, operand.type, value))
        return fail(erInvalidType);
    nonZero = value != 0;
    return true;
}

bool TPSExec::popChecked(std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const TPSStackEntry* top = stack_.Items(-1);
        if (!top || top->type->baseType == BaseType::ReturnAddress)
            return fail(erOutOfStackRange);
        stack_.Pop();
    }
    return true;
}

bool TPSExec::incrementOrDecrement(int delta)
{
    TPSOperand operand;
    if (!DecodeOperand(operand, true))
        return false;
    if (operand.temporary)
        return fail(erInvalidOpcodeParameter);
    std::int64_t value;
    if (!GetIntegerValue(operand.data, operand.type, value))
        return fail(ErTypeMismatch);
    return SetIntegerValue(operand.data, operand.type,
                           static_cast<std::int64_t>(static_cast<std::uint64_t>(value) + std::uint64_t(delta)));
}

bool TPSExec::pushReference()
{
    TPSOperand operand;
    if (!DecodeOperand(operand, true))
        return false;
    if (operand.temporary)
        return fail(erInvalidOpcodeParameter);
    const TPSTypeRec* pointerType = FindTypeByBase(0, BaseType::Pointer);
    if (!pointerType)
        return fail(erInvalidType);
    TPSStackEntry* entry = stack_.PushType(pointerType);
    if (!entry)
        return fail(erOutOfMemory);
    pointerAt(entry->data()) = {operand.data, operand.type, false, operand.origin};
    RetainOrigin(operand.origin);
    return true;
}

bool TPSExec::setPointer(bool ownedCopy)
{
    TPSOperand dest;
    const bool wholeVariable = position_ < code_.size() && code_[position_] == char(OperandKind::Var);
    if (!DecodeOperand(dest, false))
        return false;
    // A pointer that merely aims lives only in a variable of its own, so a
    // block it keeps alive can never hold it in turn.
    if (dest.temporary || dest.type->baseType != BaseType::Pointer || (!ownedCopy && !wholeVariable))
        return fail(erInvalidOpcodeParameter);
    TPSOperand source;
    if (!DecodeOperand(source, false))
        return false;
    TPSPointerValue& pointer = pointerAt(dest.data);
    TPSPointerValue target{source.data, source.type, false, source.origin};
    if (source.type->baseType == BaseType::Pointer)
        target = pointerAt(source.data);
    if (!ownedCopy) {
        if (source.temporary)
            return fail(erInvalidOpcodeParameter);
        target.owned = false;
        RetainOrigin(target.origin);
        ReleaseOrigin(pointer.origin);
        pointer = target;
        return true;
    }
    if (source.type->baseType == BaseType::Pointer && !target.data) {
        ReleaseOrigin(pointer.origin);
        pointer = {};
        return true;
    }
    if (!targetAlive(target))
        return fail(erNullPointerException);
    TPSDynArrayHeader* block = NewValueBlock(target.type);
    TPSPointerValue copy{BlockData(block), target.type, true, {block, target.type}};
    bool copied = false;
    try {
        copied = CopyValues(copy.data, target.data, 1, target.type);
    } catch (...) {
        ReleaseOrigin(copy.origin); // a copy too deep to make
        throw;
    }
    if (!copied) {
        ReleaseOrigin(copy.origin);
        return fail(ErTypeMismatch);
    }
    ReleaseOrigin(pointer.origin);
    pointer = copy;
    return true;
}

bool TPSExec::callProc(std::uint32_t procNo)
{
    TPSProcRec* proc = procs_[procNo].get();
    if (auto* external = dynamic_cast<TPSExternalProcRec*>(proc))
        return callExternal(external);
    TPSStackEntry* entry = stack_.PushType(&returnAddressType_);
    if (!entry) {
        SetError(erOutOfMemory); // runaway recursion ends here
        return false;
    }
    returnRecordAt(entry->data()) = {currentProc_, position_, frameBase_};
    frameBase_ = static_cast<std::int32_t>(stack_.Count() - 1);
    enterProc(static_cast<TPSInternalProcRec*>(proc));
    return true;
}

bool TPSExec::callExternal(TPSExternalProcRec* proc)
{
    // Whether the routine reports a failure of its own; one reported before
    // it (and not acted on yet) stays reported.
    const bool reportedBefore = errorReported_;
    errorReported_ = false;
    bool ok = false;
    try {
        ok = proc->handler && proc->handler(this, proc, &globals_, &stack_);
    } catch (...) {
        handleHostException(std::current_exception());
    }
    if (!ok && !errorReported_)
        SetError(erCouldNotCallProc);
    errorReported_ = errorReported_ || reportedBefore;
    return ok && !errorReported_;
}

bool TPSExec::doReturn()
{
    const std::uint32_t returnPosition = position_ - 1;
    // Run the finally parts of this frame first, innermost first; each one
    // comes back here when it ends.
    while (!tryRecords_.empty()) {
        TPSExceptionHandler& record = *tryRecords_.back();
        if (!record.proc ||
            (record.frameBase != frameBase_ && (record.frameBase < frameBase_ || record.frameBase == -1)))
            break;
        if (record.frameBase != frameBase_) {
            tryRecords_.pop_back(); // left behind by a frame that has ended
            continue;
        }
        stack_.PopTo(record.stackSize);
        std::uint32_t& finallyPart =
            record.finallyOffset != TPSExceptionHandler::Absent ? record.finallyOffset : record.secondFinallyOffset;
        if (finallyPart != TPSExceptionHandler::Absent) {
            enterPart(finallyPart);
            record.exitPoint = returnPosition;
            return true;
        }
        dropTryRecord();
    }
    if (frameBase_ == -1) {
        // The main block is done, whether or not the run was paused on the way.
        status_ = TPSStatus::Loaded;
        return true;
    }
    stack_.PopTo(static_cast<std::size_t>(frameBase_) + 1);
    TPSStackEntry* entry = stack_.Items(frameBase_);
    if (!entry) {
        status_ = runStartStatus_;
        return true;
    }
    if (entry->type->baseType != BaseType::ReturnAddress) {
        SetError(erOutOfStackRange); // the frame's marker was popped by the code itself
        return false;
    }
    const TPSReturnRecord back = returnRecordAt(entry->data());
    stack_.Pop();
    frameBase_ = back.frameBase;
    position_ = back.position;
    currentProc_ = back.callerProc;
    if (!back.callerProc) {
        status_ = runStartStatus_;
        return true;
    }
    code_ = back.callerProc->code;
    return true;
}

bool TPSExec::doTryOpen()
{
    auto record = std::make_unique<TPSExceptionHandler>();
    record->proc = currentProc_;
    record->frameBase = frameBase_;
    record->stackSize = stack_.Count();
    std::uint32_t fields[4];
    for (std::uint32_t& field : fields)
        if (!readLong(field))
            return false;
    for (std::uint32_t& field : fields) {
        if (field == TPSExceptionHandler::Absent)
            continue;
        const std::uint64_t target = std::uint64_t(field) + position_;
        if (target >= code_.size())
            return fail(ErOutOfRange);
        field = static_cast<std::uint32_t>(target);
    }
    record->finallyOffset = fields[0];
    record->exceptOffset = fields[1];
    record->secondFinallyOffset = fields[2];
    record->endOffset = fields[3];
    tryRecords_.push_back(std::move(record));
    return true;
}

// Closes the newest try block and goes on after it, or to the return that
// waits for it; the error that ran its finally part goes on unwinding once
// this instruction is over.
void TPSExec::leaveTryBlock()
{
    TPSExceptionHandler& record = *tryRecords_.back();
    const std::uint32_t next = record.exitPoint != TPSExceptionHandler::Absent ? record.exitPoint : record.endOffset;
    const bool reraise = record.pending.code != ErNoError && record.endOffset != TPSExceptionHandler::Absent;
    TPSErrorInfo error = std::move(record.pending);
    tryRecords_.pop_back();
    if (!reraise) {
        position_ = next;
        return;
    }
    recordError(error.procNo, error.position, error.code, std::move(error.text), std::move(error.object));
}

bool TPSExec::doTryEnd()
{
    std::uint8_t part;
    if (!readByte(part))
        return false;
    // Only a block opened by this very procedure call can end here.
    if (tryRecords_.empty() || tryRecords_.back()->proc != currentProc_ || tryRecords_.back()->frameBase != frameBase_)
        return fail(ErOutOfRange);
    TPSExceptionHandler& record = *tryRecords_.back();
    constexpr std::uint32_t Absent = TPSExceptionHandler::Absent;
    switch (static_cast<pscode::TryPart>(part)) {
    case pscode::TryPart::Try:
        if (record.finallyOffset != Absent) {
            enterPart(record.finallyOffset);
        } else if (record.secondFinallyOffset != Absent) {
            enterPart(record.secondFinallyOffset);
            record.exceptOffset = Absent;
        } else {
            leaveTryBlock();
        }
        break;
    case pscode::TryPart::Finally:
        if (record.pending.code != ErNoError && record.exceptOffset != Absent &&
            record.exceptOffset != TPSExceptionHandler::ExceptRunning) {
            enterExcept(record, std::move(record.pending));
        } else if (record.secondFinallyOffset != Absent) {
            enterPart(record.secondFinallyOffset);
        } else {
            leaveTryBlock();
        }
        break;
    case pscode::TryPart::Except:
        record.exceptOffset = Absent;
        if (record.secondFinallyOffset != Absent) {
            enterPart(record.secondFinallyOffset);
        } else {
            // The handled error ends here with its record.
            position_ = record.exitPoint != Absent ? record.exitPoint : record.endOffset;
            tryRecords_.pop_back();
        }
        break;
    case pscode::TryPart::SecondFinally:
        leaveTryBlock();
        break;
    case pscode::TryPart::Leave:
        stack_.PopTo(record.stackSize);
        if (record.finallyOffset != Absent || record.secondFinallyOffset != Absent) {
            record.exceptOffset = Absent;
            record.exitPoint = position_;
            enterPart(record.finallyOffset != Absent ? record.finallyOffset : record.secondFinallyOffset);
        } else {
            // Leaving an except or finally part early ends the block, and
            // with it the error it was handling.
            dropTryRecord();
        }
        break;
    }
    return true;
}

// Removes the newest try block for a jump out of one of its parts. A
// finally part that an error sent the run into ends that error when it is
// left so: the run goes on as if it had not happened.
void TPSExec::dropTryRecord()
{
    if (tryRecords_.back()->pending.code != ErNoError) {
        exceptionCode_ = ErNoError;
        exceptionObject_ = nullptr;
    }
    tryRecords_.pop_back();
}

bool TPSExec::step(std::uint8_t opcode)
{
    const auto op = static_cast<Op>(opcode);
    switch (op) {
    case Op::Assign:
        return doAssign();
    case Op::Calc:
        return doCalc();
    case Op::Push:
        return doPush();
    case Op::PushRef:
        return pushReference();
    case Op::Pop:
        return popChecked(1);
    case Op::Call:
        return doCall();
    case Op::Jump:
    case Op::JumpFlag:
    case Op::PopJump:
    case Op::PopPopJump:
        return doJump(op);
    case Op::JumpIfTrue:
    case Op::JumpIfFalse:
        return doJumpIf(op == Op::JumpIfTrue);
    case Op::Return:
        return doReturn();
    case Op::PushType:
        return doPushType();
    case Op::Compare:
        return doCompare();
    case Op::CallVar:
        return doCallVar();
    case Op::SetPointer:
        return setPointer(false);
    case Op::SetPointerCopy:
        return setPointer(true);
    case Op::BoolNot:
    case Op::Negate:
    case Op::BitNot:
        return doUnary(op);
    case Op::SetFlag:
        return doSetFlag();
    case Op::TryOpen:
        return doTryOpen();
    case Op::TryEnd:
        return doTryEnd();
    case Op::Increment:
        return incrementOrDecrement(1);
    case Op::Decrement:
        return incrementOrDecrement(-1);
    case Op::Nop:
        return true;
    default: // the invalid opcode and every unassigned one
        return fail(erInvalidOpcode);
    }
}

// The destination of an instruction that writes: never a constant.
bool TPSExec::decodeTarget(TPSOperand& dest)
{
    if (!DecodeOperand(dest, true))
        return false;
    return !dest.temporary || fail(erInvalidOpcodeParameter);
}

bool TPSExec::doAssign()
{
    TPSOperand dest, source;
    return decodeTarget(dest) && DecodeOperand(source, true) &&
           AssignValue(this, dest.data, source.data, dest.type, source.type);
}

bool TPSExec::doCalc()
{
    std::uint8_t op;
    TPSOperand dest, source;
    return readByte(op) && decodeTarget(dest) && DecodeOperand(source, true) &&
           ApplyArithmeticOp(this, dest.data, source.data, dest.type, source.type, op);
}

bool TPSExec::doCompare()
{
    std::uint8_t op;
    TPSOperand dest, left, right;
    return readByte(op) && decodeTarget(dest) && DecodeOperand(left, true) && DecodeOperand(right, true) &&
           CompareValues(this, left.data, right.data, dest.data, left.type, right.type, dest.type, op);
}

bool TPSExec::doPush()
{
    TPSOperand source;
    if (!DecodeOperand(source, true))
        return false;
    TPSStackEntry* entry = stack_.PushType(source.type);
    if (!entry)
        return fail(erOutOfMemory);
    if (!CopyValues(entry->data(), source.data, 1, source.type)) {
        stack_.Pop();
        return fail(ErTypeMismatch);
    }
    return true;
}

bool TPSExec::doPushType()
{
    std::uint32_t typeNo;
    if (!readLong(typeNo))
        return false;
    if (typeNo >= types_.size())
        return fail(erInvalidType);
    if (!stack_.PushType(types_[typeNo].get()))
        return fail(erOutOfMemory);
    return true;
}

bool TPSExec::doCall()
{
    std::uint32_t procNo;
    if (!readLong(procNo))
        return false;
    if (procNo >= procs_.size())
        return fail(erOutOfProcRange);
    return callProc(procNo);
}

bool TPSExec::doCallVar()
{
    TPSOperand operand;
    if (!DecodeOperand(operand, true))
        return false;
    if (operand.type->baseType != BaseType::Procedural)
        return fail(ErTypeMismatch);
    const auto& value = *static_cast<const TPSProcValue*>(operand.data);
    if (value.procNo == 0 && value.self) {
        // A host method: one of this executer's own procedures handed out
        // as an event handler runs as the procedure; no other host method
        // can be called from here.
        std::uint32_t scriptProc = 0;
        if (!IsScriptProcMethod(this, value, &scriptProc))
            return fail(erCouldNotCallProc);
        if (scriptProc >= procs_.size() || scriptProc == mainProc_)
            return fail(erOutOfProcRange);
        return callProc(scriptProc);
    }
    if (value.procNo >= procs_.size() || value.procNo == mainProc_)
        return fail(erOutOfProcRange);
    return callProc(value.procNo);
}

// Jump, JumpFlag, PopJump and PopPopJump.
bool TPSExec::doJump(Op op)
{
    std::uint32_t offset;
    if (!readLong(offset))
        return false;
    if (op == Op::JumpFlag && !jumpFlag_)
        return true;
    if ((op == Op::PopJump || op == Op::PopPopJump) && !popChecked(op == Op::PopJump ? 1 : 2))
        return false;
    return jumpBy(static_cast<std::int32_t>(offset));
}

bool TPSExec::doJumpIf(bool whenNonZero)
{
    std::uint32_t offset;
    bool nonZero;
    if (!readLong(offset) || !testOperand(nonZero))
        return false;
    return nonZero != whenNonZero || jumpBy(static_cast<std::int32_t>(offset));
}

// BoolNot, Negate and BitNot, in place.
bool TPSExec::doUnary(Op op)
{
    TPSOperand operand;
    if (!DecodeOperand(operand, true))
        return false;
    if (operand.temporary)
        return true; // a constant changes nothing
    if (op == Op::BoolNot)
        return BooleanNotValue(this, operand.data, operand.type);
    if (op == Op::Negate)
        return NegateValue(this, operand.data, operand.type);
    return BitwiseNotValue(this, operand.data, operand.type);
}

bool TPSExec::doSetFlag()
{
    TPSOperand operand;
    std::uint8_t invert;
    if (!DecodeOperand(operand, true) || !readByte(invert))
        return false;
    std::int64_t value;
    if (!IsOrdinal32(operand.type->baseType) || !GetIntegerValue(operand.data, operand.type, value))
        return fail(erInvalidType);
    jumpFlag_ = (value != 0) != (invert != 0);
    return true;
}

bool TPSExec::RunScriptProc(const std::vector<TPSValueRef>& params, std::uint32_t procNo)
{
    if (status_ == TPSStatus::NotLoaded)
        return false;
    if (procNo >= procs_.size())
        return fail(erOutOfProcRange);
    // Each run for the host nests in the native stack of the one around it
    // (an event handler that fires its own event): the nesting ends here, as
    // runaway recursion inside a script does.
    if (nestedRuns_ >= MaxNestedRuns)
        return fail(erOutOfMemory);
    const TPSBlockArena::Scope blocks(arena_);
    struct Nesting
    {
        std::uint32_t& runs;
        explicit Nesting(std::uint32_t& count) : runs(++count) {}
        ~Nesting() { --runs; }
    } nesting(nestedRuns_);
    return runScriptProc(params, procNo);
}

bool TPSExec::runScriptProc(const std::vector<TPSValueRef>& params, std::uint32_t procNo)
{
    const std::size_t base = stack_.Count();
    const TPSTypeRec* pointerType = FindTypeByBase(0, BaseType::Pointer);
    if (!params.empty() && !pointerType)
        return fail(erInvalidType);
    for (const TPSValueRef& param : params) {
        TPSStackEntry* entry = stack_.PushType(pointerType);
        if (!entry) {
            stack_.PopTo(base);
            return fail(erOutOfMemory);
        }
        TPSPointerValue& pointer = pointerAt(entry->data());
        if (param.type && param.type->baseType == BaseType::Pointer) {
            pointer = pointerAt(param.data);
            pointer.owned = false;
            RetainOrigin(pointer.origin);
        } else {
            pointer = {param.data, param.type, false, {}};
        }
    }
    TPSInternalProcRec* const savedProc = currentProc_;
    const TPSStatus savedStatus = status_;
    const std::uint32_t savedPosition = position_;
    const std::uint32_t savedInstruction = instructionPos_;
    const std::int32_t savedFrameBase = frameBase_;

    bool result = false;
    if (auto* external = dynamic_cast<TPSExternalProcRec*>(procs_[procNo].get())) {
        result = callExternal(external);
    } else if (TPSStackEntry* entry = stack_.PushType(&returnAddressType_)) {
        returnRecordAt(entry->data()) = {nullptr, position_, frameBase_};
        frameBase_ = static_cast<std::int32_t>(stack_.Count() - 1);
        enterProc(static_cast<TPSInternalProcRec*>(procs_[procNo].get()));
        status_ = TPSStatus::Paused;
        result = ExecuteCode();
    } else {
        SetError(erOutOfMemory);
    }

    // A run that ended early (an error, a barrier) leaves its frames or has
    // already unwound them: either way the caller's state comes back. A Stop
    // during the run stops whatever was running around it too.
    stack_.PopTo(base);
    if (status_ != TPSStatus::Loaded)
        status_ = savedStatus;
    currentProc_ = savedProc;
    code_ = savedProc ? std::string_view(savedProc->code) : std::string_view();
    position_ = savedPosition;
    instructionPos_ = savedInstruction;
    frameBase_ = savedFrameBase;
    return result;
}

void TPSExec::Stop()
{
    if (status_ == TPSStatus::Running) {
        status_ = TPSStatus::Loaded;
    } else if (status_ == TPSStatus::Paused) {
        status_ = TPSStatus::Loaded;
        stack_.Clear();
        temps_.Clear();
    }
}

void TPSExec::Pause()
{
    if (status_ == TPSStatus::Running)
        status_ = TPSStatus::Paused;
}

void TPSExec::BeforeInstruction()
{
    if (OnRunLine)
        OnRunLine(this);
}
