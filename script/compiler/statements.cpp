// The statements of a body: compound statements, assignments and calls, if,
// while, repeat, for, case, with, try, goto and labels, exit, break and
// continue. The body of a routine or of the main block is compiled here from
// its "begin" to the matching "end".
//
// Only the slots of with statements live across the statements nested in
// another one: a condition is computed into a Boolean temporary, moved into
// the jump flag and dropped before the jump that tests the flag, and the
// selector of a case is dropped before its branch runs. So the stack holds
// the declared locals and the with slots around a statement at its start,
// and break, continue and exit let go of the with slots they leave.

#include "script/compiler/value_tree.h"

#include "script/common/utils.h"

#include <algorithm>

using ps::BaseType;
using Err = TPSCompilerErrorCode;
using Tok = TPSPasToken;
using pscode::putOp;

namespace {

// Statements nest by recursion: a begin, and each statement inside another,
// is one level deeper. The bound is far above what a program writes and
// keeps the recursion well inside the stack.
constexpr int kMaxBlockDepth = 2000;
constexpr std::string_view kNestedTooDeeply = "statements nested too deeply";

// The jumps that leave the innermost loop, patched when it ends.
struct LoopJumps
{
    std::vector<std::size_t> breaks;
    std::vector<std::size_t> continues;
};

class BodyCompiler
{
public:
    BodyCompiler(TPSPascalCompiler& compiler, TPSCodeContext& context)
        : c_(compiler), ctx_(context), expr_(compiler, context)
    {
    }

    // At "begin"; ends after the matching "end". Kept out of line, so that
    // a statement that is a block ends in a jump here rather than a call:
    // blocks nested in blocks then cost the stack only this small frame
    // each.
    [[gnu::noinline]] bool Compound(int depth)
    {
        if (!Deeper(depth))
            return false;
        c_.Parser().Next();
        if (!Sequence(depth, Tok::KwEnd))
            return false;
        c_.Parser().Next();
        return true;
    }

private:
    TPSPascalParser& P() { return c_.Parser(); }
    std::string& Code() { return ctx_.Code(); }

    bool Fail(Err code, std::string_view param = {})
    {
        c_.MakeError({}, code, param);
        return false;
    }

    bool Deeper(int depth)
    {
        if (depth > kMaxBlockDepth || c_.StackNearlyFull())
            return Fail(Err::CustomError, kNestedTooDeeply);
        return true;
    }

    bool Expect(Tok token, Err code)
    {
        if (P().CurrTokenId() != token)
            return Fail(code);
        P().Next();
        return true;
    }

    // Statements separated by ";" up to the closer, which is left unread.
    bool Sequence(int depth, Tok closer)
    {
        return SequenceUntil(depth, [closer](Tok t) { return t == closer; });
    }

    template <typename IsCloser> bool SequenceUntil(int depth, IsCloser isCloser)
    {
        for (;;) {
            const Tok t = P().CurrTokenId();
            if (isCloser(t))
                return true;
            if (t == Tok::Semicolon) {
                P().Next();
                continue;
            }
            if (t == Tok::EndOfText)
                return Fail(Err::UnexpectedEndOfFile);
            if (!Statement(depth))
                return false;
            if (P().CurrTokenId() != Tok::Semicolon && !isCloser(P().CurrTokenId()))
                return Fail(Err::SemicolonExpected);
        }
    }

    // The one statement of a then or else part, a loop body or a case
    // branch; it may be empty.
    bool Single(int depth)
    {
        const Tok t = P().CurrTokenId();
        if (t == Tok::Semicolon || t == Tok::KwEnd || t == Tok::KwElse || t == Tok::KwUntil || t == Tok::KwExcept ||
            t == Tok::KwFinally)
            return true;
        return Statement(depth + 1);
    }

    bool Statement(int depth)
    {
        if (!Deeper(depth))
            return false;
        const std::size_t slots = ctx_.Slots.size();
        bool ok = false;
        switch (P().CurrTokenId()) {
        case Tok::KwBegin:
            return Compound(depth + 1);
        case Tok::KwIf:
            ok = If(depth);
            break;
        case Tok::KwWhile:
            ok = While(depth);
            break;
        case Tok::KwRepeat:
            ok = Repeat(depth);
            break;
        case Tok::KwFor:
            ok = For(depth);
            break;
        case Tok::KwCase:
            ok = Case(depth);
            break;
        case Tok::KwTry:
            ok = Try(depth);
            break;
        case Tok::KwExit:
            c_.WriteDebugLine(ctx_.ProcNo);
            // The return runs the finally parts of the frame and drops its
            // slots, but the main block has no frame: the temporaries of
            // with statements are let go on the way out.
            if (!ctx_.Withs.empty())
                WriteLeaving(0);
            putOp(Code(), pscode::Op::Return);
            P().Next();
            return true;
        case Tok::KwWith:
            ok = With(depth);
            break;
        case Tok::KwGoto:
            ok = Goto();
            break;
        case Tok::Identifier:
            if (const int label = FindLabel(); label >= 0)
                return PlaceLabel(label) && Single(depth);
            if (P().Token() == "BREAK" || P().Token() == "CONTINUE") {
                ok = LoopJump(P().Token() == "BREAK");
                break;
            }
            [[fallthrough]];
        case Tok::OpenRound:
            c_.WriteDebugLine(ctx_.ProcNo);
            ok = Simple();
            break;
        default:
            return Fail(Err::SyntaxError);
        }
        if (!ok)
            return false;
        // Every temporary of a statement is gone when it ends.
        if (ctx_.Slots.size() != slots || ctx_.Unbalanced)
            return Fail(Err::InternalError, "00015");
        return true;
    }

    // An assignment or a call: a variable followed by ":=", or a call
    // (the element writes of strings and Variants are calls too).
    bool Simple()
    {
        std::unique_ptr<TPSValue> target = expr_.ReadExpression();
        if (!target)
            return false;
        if (auto* var = ValueAs<TPSValueVar>(target.get())) {
            if (P().CurrTokenId() != Tok::Assignment)
                return Fail(Err::AssignmentExpected);
            P().Next();
            std::unique_ptr<TPSValue> source = expr_.ReadExpression();
            return source && expr_.WriteInto(*var, *source);
        }
        if (auto* call = ValueAs<TPSValueProc>(target.get()))
            return expr_.WriteCall(*call, nullptr);
        return Fail(Err::InternalError, "20");
    }

    // ---- Conditions ----------------------------------------------------------

    static void FailAt(TPSPascalCompiler& c, const TPSValue& at, Err code)
    {
        c.MakeError({}, code, {})->SetCustomPos(static_cast<std::uint32_t>(at.Pos), at.Row, at.Col);
    }

    // A condition; nil after an error. Whether it can be a Boolean is
    // known when it is written into one.
    std::unique_ptr<TPSValue> ReadCondition() { return expr_.ReadExpression(); }

    // Moves the Boolean in the temporary into the jump flag, drops the
    // temporary and writes a jump taken when the value equals whenValue.
    // Gives the position after the jump's offset field.
    std::size_t JumpOnFlag(std::unique_ptr<TPSValueAllocatedStackVar> temp, bool whenValue)
    {
        std::string& code = Code();
        putOp(code, pscode::Op::SetFlag);
        pscode::putVarOperand(code, temp->CodeNumber());
        pscode::putByte(code, whenValue ? 0 : 1);
        temp.reset();
        return pscode::putForwardJump(code, pscode::Op::JumpFlag);
    }

    std::unique_ptr<TPSValueAllocatedStackVar> NewBoolean()
    {
        return std::make_unique<TPSValueAllocatedStackVar>(ctx_, c_.UseType(c_.BooleanType()));
    }

    // Computes the condition and jumps when it has the given value; 0 after
    // an error.
    std::size_t JumpWhen(TPSValue& cond, bool whenValue)
    {
        auto temp = NewBoolean();
        if (!expr_.WriteInto(*temp, cond))
            return 0;
        return JumpOnFlag(std::move(temp), whenValue);
    }

    // temp := left op right.
    bool CompareInto(const TPSValueVar& temp, TPSValue& left, TPSValue& right, pscode::CompareOp op)
    {
        TPSCodeOperand dest, l, r;
        if (!expr_.Prepare(const_cast<TPSValueVar&>(temp), nullptr, dest) ||
            !expr_.Prepare(left, TPSExpressionCompiler::GetValueType(right), l) ||
            !expr_.Prepare(right, TPSExpressionCompiler::GetValueType(left), r))
            return false;
        pscode::putCompareHead(Code(), op);
        expr_.PutOperand(dest);
        expr_.PutOperand(l);
        expr_.PutOperand(r);
        return true;
    }

    void PatchHere(std::size_t afterField) { pscode::patchJump(Code(), afterField, Code().size()); }

    // ---- Statements ----------------------------------------------------------

    bool If(int depth)
    {
        c_.WriteDebugLine(ctx_.ProcNo);
        P().Next();
        std::unique_ptr<TPSValue> cond = ReadCondition();
        if (!cond || !Expect(Tok::KwThen, Err::ThenExpected))
            return false;
        const std::size_t skipThen = JumpWhen(*cond, false);
        if (!skipThen || !Single(depth))
            return false;
        if (P().CurrTokenId() != Tok::KwElse) {
            PatchHere(skipThen);
            return true;
        }
        P().Next();
        const std::size_t skipElse = pscode::putForwardJump(Code(), pscode::Op::Jump);
        PatchHere(skipThen);
        if (!Single(depth))
            return false;
        PatchHere(skipElse);
        return true;
    }

    // Compiles a loop body with its own break and continue lists; the
    // enclosing loop's lists are back afterwards.
    template <typename Body> bool LoopBody(LoopJumps& jumps, Body body)
    {
        LoopJumps* outer = loop_;
        const std::size_t outerBase = loopBase_;
        loop_ = &jumps;
        loopBase_ = leaving_.size();
        const bool ok = InScope(body);
        loop_ = outer;
        loopBase_ = outerBase;
        return ok;
    }

    void PatchLoop(const LoopJumps& jumps, std::size_t continueAt, std::size_t breakAt)
    {
        for (std::size_t at : jumps.continues)
            pscode::patchJump(Code(), at, continueAt);
        for (std::size_t at : jumps.breaks)
            pscode::patchJump(Code(), at, breakAt);
    }

    bool While(int depth)
    {
        c_.WriteDebugLine(ctx_.ProcNo);
        P().Next();
        std::unique_ptr<TPSValue> cond = ReadCondition();
        if (!cond || !Expect(Tok::KwDo, Err::DoExpected))
            return false;
        const std::size_t head = Code().size();
        const std::size_t exit = JumpWhen(*cond, false);
        LoopJumps jumps;
        if (!exit || !LoopBody(jumps, [&] { return Single(depth); }))
            return false;
        pscode::patchJump(Code(), pscode::putForwardJump(Code(), pscode::Op::Jump), head);
        PatchHere(exit);
        PatchLoop(jumps, head, Code().size());
        return true;
    }

    bool Repeat(int depth)
    {
        c_.WriteDebugLine(ctx_.ProcNo);
        P().Next();
        const std::size_t head = Code().size();
        LoopJumps jumps;
        if (!LoopBody(jumps, [&] { return Sequence(depth + 1, Tok::KwUntil); }))
            return false;
        c_.WriteDebugLine(ctx_.ProcNo);
        P().Next();
        const std::size_t continueAt = Code().size();
        std::unique_ptr<TPSValue> cond = ReadCondition();
        if (!cond)
            return false;
        const std::size_t back = JumpWhen(*cond, false);
        if (!back)
            return false;
        pscode::patchJump(Code(), back, head);
        PatchLoop(jumps, continueAt, Code().size());
        return true;
    }

    bool IntegerValue(const std::unique_ptr<TPSValue>& value)
    {
        if (!value)
            return false;
        return IsIntegerBase(BaseOf(TPSExpressionCompiler::GetValueType(*value))) || Fail(Err::TypeMismatch);
    }

    // The value past which the control variable cannot step: the last (or,
    // downwards, the first) value of its type, when the end value may reach
    // it. Nil when the end is a constant short of it.
    std::unique_ptr<TPSValueData> StepLimit(const TPSValueVar& var, const TPSValue& last, bool up)
    {
        TPSType* type = c_.UseType(TPSExpressionCompiler::GetValueType(var));
        const BaseType base = BaseOf(type);
        const bool isSigned = !IsUnsignedBase(base);
        std::int64_t max = INT64_MAX;
        std::int64_t min = INT64_MIN;
        if (base != BaseType::Int64) {
            const int bits = int(ps::fixedValueSize(base)) * 8;
            max = isSigned ? (std::int64_t(1) << (bits - 1)) - 1 : (std::int64_t(1) << bits) - 1;
            min = isSigned ? -(std::int64_t(1) << (bits - 1)) : 0;
        }
        if (auto* data = ValueAs<TPSValueData>(&last)) {
            const std::int64_t end = GetInt64Value(data->Data);
            if (up ? end < max : end > min)
                return nullptr;
        }
        auto limit = std::make_unique<TPSValueData>();
        limit->Data.Init(type);
        limit->Data.SetInt(up ? max : min);
        return limit;
    }

    // A loop that runs to its end leaves the variable one step past the end
    // value, except at the limit of its type, where it stops on the end
    // value instead of wrapping round.
    bool For(int depth)
    {
        c_.WriteDebugLine(ctx_.ProcNo);
        P().Next();
        if (P().CurrTokenId() != Tok::Identifier)
            return Fail(Err::IdentifierExpected);
        std::unique_ptr<TPSValue> control = expr_.GetIdentifier(true);
        if (!IntegerValue(control))
            return false;
        auto* var = ValueAs<TPSValueVar>(control.get());
        if (!var)
            return Fail(Err::VariableExpected);
        if (!Expect(Tok::Assignment, Err::AssignmentExpected))
            return false;
        std::unique_ptr<TPSValue> start = expr_.ReadExpression();
        if (!IntegerValue(start))
            return false;
        const Tok direction = P().CurrTokenId();
        if (direction != Tok::KwTo && direction != Tok::KwDownTo)
            return Fail(Err::ToExpected);
        P().Next();
        std::unique_ptr<TPSValue> last = expr_.ReadExpression();
        if (!IntegerValue(last) || !Expect(Tok::KwDo, Err::DoExpected))
            return false;
        const bool up = direction == Tok::KwTo;
        if (!expr_.WriteInto(*var, *start))
            return false;
        const std::size_t head = Code().size();
        auto temp = NewBoolean();
        if (!CompareInto(*temp, *var, *last, up ? pscode::CompareOp::LessEqual : pscode::CompareOp::GreaterEqual))
            return false;
        const std::size_t exit = JumpOnFlag(std::move(temp), false);
        LoopJumps jumps;
        if (!LoopBody(jumps, [&] { return Single(depth); }))
            return false;
        const std::size_t continueAt = Code().size();
        std::size_t atLimit = 0;
        if (std::unique_ptr<TPSValueData> limit = StepLimit(*var, *last, up)) {
            temp = NewBoolean();
            if (!CompareInto(*temp, *var, *limit, pscode::CompareOp::Equal))
                return false;
            atLimit = JumpOnFlag(std::move(temp), true);
        }
        {
            TPSCodeOperand step;
            if (!expr_.Prepare(*var, nullptr, step))
                return false;
            putOp(Code(), up ? pscode::Op::Increment : pscode::Op::Decrement);
            expr_.PutOperand(step);
        }
        pscode::patchJump(Code(), pscode::putForwardJump(Code(), pscode::Op::Jump), head);
        PatchHere(exit);
        if (atLimit)
            PatchHere(atLimit);
        PatchLoop(jumps, continueAt, Code().size());
        return true;
    }

    // A label fits when the selector can be compared with it by op.
    bool LabelFits(const TPSValueVar& selector, const TPSValue& label, TPSBinOperatorType op)
    {
        return expr_.BinaryResultType(op, selector, label) || Fail(Err::TypeMismatch);
    }

    // hit := hit or test, or hit := test for the first label of a branch.
    void JoinInto(const TPSValueVar& hit, std::unique_ptr<TPSValueAllocatedStackVar> test, bool first,
                  pscode::CalcOp how)
    {
        std::string& code = Code();
        if (first) {
            putOp(code, pscode::Op::Assign);
        } else {
            pscode::putCalcHead(code, how);
        }
        pscode::putVarOperand(code, hit.CodeNumber());
        pscode::putVarOperand(code, test->CodeNumber());
    }

    // The labels of one branch, up to ":", tested in hit.
    bool BranchTest(TPSValueVar& selector, TPSValueVar& hit)
    {
        for (bool first = true;; first = false) {
            std::unique_ptr<TPSValue> low = expr_.ReadExpression();
            if (!low)
                return false;
            const bool range = P().CurrTokenId() == Tok::TwoDots;
            if (!LabelFits(selector, *low, range ? TPSBinOperatorType::GreaterEqual : TPSBinOperatorType::Equal))
                return false;
            auto test = NewBoolean();
            if (range) {
                P().Next();
                std::unique_ptr<TPSValue> high = expr_.ReadExpression();
                if (!high || !LabelFits(selector, *high, TPSBinOperatorType::LessEqual))
                    return false;
                if (!CompareInto(*test, selector, *low, pscode::CompareOp::GreaterEqual))
                    return false;
                auto upper = NewBoolean();
                if (!CompareInto(*upper, selector, *high, pscode::CompareOp::LessEqual))
                    return false;
                pscode::putCalcHead(Code(), pscode::CalcOp::And);
                pscode::putVarOperand(Code(), test->CodeNumber());
                pscode::putVarOperand(Code(), upper->CodeNumber());
            } else if (!CompareInto(*test, selector, *low, pscode::CompareOp::Equal)) {
                return false;
            }
            JoinInto(hit, std::move(test), first, pscode::CalcOp::Or);
            if (P().CurrTokenId() == Tok::Colon) {
                P().Next();
                return true;
            }
            if (P().CurrTokenId() != Tok::Comma)
                return Fail(Err::ColonExpected);
            P().Next();
        }
    }

    bool Case(int depth)
    {
        return InScope([&] { return CaseStatement(depth); });
    }

    bool CaseStatement(int depth)
    {
        c_.WriteDebugLine(ctx_.ProcNo);
        P().Next();
        std::unique_ptr<TPSValue> value = expr_.ReadExpression();
        if (!value || !Expect(Tok::KwOf, Err::OfExpected))
            return false;
        TPSType* type = TPSExpressionCompiler::GetValueType(*value);
        if (!type) {
            FailAt(c_, *value, Err::TypeMismatch);
            return false;
        }
        auto selector = std::make_unique<TPSValueAllocatedStackVar>(ctx_, c_.UseType(type));
        if (!expr_.WriteInto(*selector, *value))
            return false;
        std::vector<std::size_t> toEnd;
        while (P().CurrTokenId() != Tok::KwElse && P().CurrTokenId() != Tok::KwEnd) {
            if (P().CurrTokenId() == Tok::EndOfText)
                return Fail(Err::UnexpectedEndOfFile);
            auto hit = NewBoolean();
            if (!BranchTest(*selector, *hit))
                return false;
            const std::size_t next = JumpOnFlag(std::move(hit), false);
            // The branch runs without the selector: drop it here, and count
            // it again for the next branch's tests, which the jump above
            // reaches with the selector still there.
            TPSType* held = ctx_.Slots.back();
            ctx_.Slots.pop_back();
            putOp(Code(), pscode::Op::Pop);
            const bool ok = Single(depth);
            ctx_.Slots.push_back(held);
            if (!ok)
                return false;
            toEnd.push_back(pscode::putForwardJump(Code(), pscode::Op::Jump));
            PatchHere(next);
            if (P().CurrTokenId() == Tok::Semicolon)
                P().Next();
        }
        selector.reset();
        if (P().CurrTokenId() == Tok::KwElse) {
            P().Next();
            if (!Single(depth))
                return false;
            if (P().CurrTokenId() == Tok::Semicolon)
                P().Next();
        }
        if (!Expect(Tok::KwEnd, Err::EndExpected))
            return false;
        for (std::size_t at : toEnd)
            PatchHere(at);
        return true;
    }

    bool LoopJump(bool isBreak)
    {
        if (!loop_)
            return Fail(Err::NotInLoop);
        c_.WriteDebugLine(ctx_.ProcNo);
        P().Next();
        WriteLeaving(loopBase_);
        (isBreak ? loop_->breaks : loop_->continues).push_back(pscode::putForwardJump(Code(), pscode::Op::Jump));
        return true;
    }

    // Leaves every try block and with statement entered since the step
    // numbered from, innermost first: a with lets its temporaries go, a try
    // block runs its finally part still to come (which drops whatever the
    // block pushed) and is closed.
    void WriteLeaving(std::size_t from)
    {
        for (std::size_t i = leaving_.size(); i-- > from;) {
            if (leaving_[i] == kTryStep) {
                pscode::putTryEnd(Code(), pscode::TryPart::Leave);
                continue;
            }
            for (std::size_t n = 0; n < leaving_[i]; ++n)
                putOp(Code(), pscode::Op::Pop);
        }
    }

    // with target, ... do statement: each target is reached through a
    // pointer aimed at it (a value that is no variable is held in a slot
    // of its own), and the names inside the statement are looked up among
    // its fields or members first, the last target first.
    bool With(int depth)
    {
        c_.WriteDebugLine(ctx_.ProcNo);
        P().Next();
        const std::size_t outerWiths = ctx_.Withs.size();
        std::vector<std::unique_ptr<TPSValueAllocatedStackVar>> held;
        bool ok = WithTargets(held) && Expect(Tok::KwDo, Err::DoExpected);
        if (ok) {
            leaving_.push_back(held.size());
            ok = InScope([&] { return Single(depth); });
            leaving_.pop_back();
        }
        ctx_.Withs.resize(outerWiths);
        while (!held.empty())
            held.pop_back();
        return ok;
    }

    bool WithTargets(std::vector<std::unique_ptr<TPSValueAllocatedStackVar>>& held)
    {
        for (;;) {
            if (P().CurrTokenId() != Tok::Identifier)
                return Fail(Err::IdentifierExpected);
            std::unique_ptr<TPSValue> target = expr_.GetIdentifier(false);
            if (!target)
                return false;
            TPSType* type = TPSExpressionCompiler::GetValueType(*target);
            const BaseType base = BaseOf(type);
            if (base != BaseType::Record && base != BaseType::Class)
                return Fail(Err::ClassTypeExpected);
            if (auto* var = ValueAs<TPSValueVar>(target.get())) {
                held.push_back(
                    std::make_unique<TPSValueAllocatedStackVar>(ctx_, c_.UseType(c_.FindBaseType(BaseType::Pointer))));
                TPSCodeOperand at;
                if (!expr_.Prepare(*var, nullptr, at))
                    return false;
                putOp(Code(), pscode::Op::SetPointer);
                pscode::putVarOperand(Code(), held.back()->CodeNumber());
                expr_.PutOperand(at);
            } else {
                held.push_back(std::make_unique<TPSValueAllocatedStackVar>(ctx_, c_.UseType(type)));
                if (!expr_.WriteInto(*held.back(), *target))
                    return false;
            }
            ctx_.Withs.push_back({held.back()->LocalVarNo, ResolveLink(type)});
            if (P().CurrTokenId() != Tok::Comma)
                return true;
            P().Next();
        }
    }

    // try (except | finally) [finally | except] end. Every part is closed
    // by its end-of-part marker; the runtime picks the part that runs next.
    bool Try(int depth)
    {
        P().Next();
        const std::size_t at = pscode::putTryOpen(Code());
        leaving_.push_back(kTryStep);
        const bool ok = TryParts(depth, at);
        leaving_.pop_back();
        if (!ok)
            return false;
        if (!Expect(Tok::KwEnd, Err::EndExpected))
            return false;
        pscode::patchTryField(Code(), at, pscode::TryField::End, Code().size());
        return true;
    }

    bool TryParts(int depth, std::size_t at)
    {
        if (!InScope([&] {
                return SequenceUntil(depth + 1, [](Tok t) { return t == Tok::KwExcept || t == Tok::KwFinally; });
            }))
            return false;
        pscode::putTryEnd(Code(), pscode::TryPart::Try);
        bool sawExcept = false;
        bool sawFinally = false;
        for (;;) {
            pscode::TryField field;
            pscode::TryPart part;
            if (P().CurrTokenId() == Tok::KwFinally && !sawFinally) {
                sawFinally = true;
                field = sawExcept ? pscode::TryField::SecondFinally : pscode::TryField::Finally;
                part = sawExcept ? pscode::TryPart::SecondFinally : pscode::TryPart::Finally;
            } else if (P().CurrTokenId() == Tok::KwExcept && !sawExcept) {
                sawExcept = true;
                field = pscode::TryField::Except;
                part = pscode::TryPart::Except;
            } else {
                return true;
            }
            P().Next();
            pscode::patchTryField(Code(), at, field, Code().size());
            if (!InScope([&] {
                    return SequenceUntil(
                        depth + 1, [](Tok t) { return t == Tok::KwEnd || t == Tok::KwExcept || t == Tok::KwFinally; });
                }))
                return false;
            pscode::putTryEnd(Code(), part);
        }
    }

    // ---- Labels and goto ------------------------------------------------------

    // Loop bodies, with bodies, case statements and try parts are scopes: a
    // goto may only reach a label placed in its own innermost scope, so no
    // jump enters or leaves one of them. When a scope ends, a goto in it
    // whose label it does not hold, and a label in it that a goto before the
    // scope aims at, are invalid jumps, reported where the scope ends; a
    // goto back into a scope that has ended is reported at the goto.
    template <typename Body> bool InScope(Body body)
    {
        const int outer = scope_;
        scope_ = static_cast<int>(scopes_.size());
        scopes_.emplace_back();
        const bool ok = body() && CheckJumps(scopes_[static_cast<std::size_t>(scope_)]);
        Scope& done = scopes_[static_cast<std::size_t>(scope_)];
        done.open = false;
        done.gotos = {};
        done.labels = {};
        scope_ = outer;
        return ok;
    }

    struct Scope
    {
        bool open = true;
        std::vector<std::size_t> gotos; // indexes into gotos_
        std::vector<int> labels;
    };

    bool CheckJumps(const Scope& scope)
    {
        for (std::size_t jump : scope.gotos)
            if (labelScopes_[static_cast<std::size_t>(gotos_[jump].label)] != scope_)
                return Fail(Err::InvalidJump);
        for (int label : scope.labels)
            if (enteredLabels_[static_cast<std::size_t>(label)])
                return Fail(Err::InvalidJump);
        return true;
    }

    // The index of the label the current identifier names, or -1.
    // Most routines declare no labels: their statements need no hash.
    int FindLabel()
    {
        if (ctx_.Proc->Labels.empty())
            return -1;
        return static_cast<int>(ctx_.Proc->FindLabel(P().Token(), MakeHash(P().Token())));
    }

    bool PlaceLabel(int label)
    {
        const auto at = static_cast<std::size_t>(label);
        ctx_.Proc->Labels[at].CodePosition = static_cast<std::int64_t>(Code().size());
        labelScopes_[at] = scope_;
        scopes_[static_cast<std::size_t>(scope_)].labels.push_back(label);
        // A goto made earlier in another scope jumps into this one.
        for (std::size_t jump : waiting_[at])
            if (gotos_[jump].scope != scope_)
                enteredLabels_[at] = true;
        waiting_[at] = {};
        P().Next();
        return Expect(Tok::Colon, Err::ColonExpected);
    }

    bool Goto()
    {
        c_.WriteDebugLine(ctx_.ProcNo);
        P().Next();
        if (P().CurrTokenId() != Tok::Identifier)
            return Fail(Err::IdentifierExpected);
        const int label = FindLabel();
        if (label < 0)
            return Fail(Err::UnknownIdentifier, P().RawToken());
        const auto at = static_cast<std::size_t>(label);
        const int placedIn = labelScopes_[at];
        if (ctx_.Proc->Labels[at].CodePosition >= 0 && !scopes_[static_cast<std::size_t>(placedIn)].open)
            return Fail(Err::InvalidJump);
        const std::size_t jump = gotos_.size();
        gotos_.push_back({pscode::putForwardJump(Code(), pscode::Op::Jump), label, scope_});
        scopes_[static_cast<std::size_t>(scope_)].gotos.push_back(jump);
        if (ctx_.Proc->Labels[at].CodePosition < 0)
            waiting_[at].push_back(jump);
        P().Next();
        return true;
    }

public:
    // The labels start unplaced; the body itself is the outermost scope.
    void StartLabels()
    {
        const std::size_t count = ctx_.Proc->Labels.size();
        for (TPSLabel& label : ctx_.Proc->Labels)
            label.CodePosition = -1;
        labelScopes_.assign(count, 0);
        enteredLabels_.assign(count, false);
        waiting_.assign(count, {});
        // Room for the usual nesting in one step.
        scopes_.reserve(kScopesAtStart);
        scopes_.assign(1, Scope{});
    }

    // Every label must be placed; the jumps are patched then.
    bool ResolveGotos()
    {
        for (const TPSLabel& label : ctx_.Proc->Labels)
            if (label.CodePosition < 0)
                return Fail(Err::LabelNotSet, label.Name);
        for (const PendingGoto& jump : gotos_) {
            const TPSLabel& label = ctx_.Proc->Labels[static_cast<std::size_t>(jump.label)];
            pscode::patchJump(Code(), jump.afterField, static_cast<std::size_t>(label.CodePosition));
        }
        return true;
    }

private:
    struct PendingGoto
    {
        std::size_t afterField;
        int label;
        int scope;
    };

    TPSPascalCompiler& c_;
    TPSCodeContext& ctx_;
    TPSExpressionCompiler expr_;
    LoopJumps* loop_ = nullptr;
    // The try blocks and with statements entered, outermost first: a try
    // block as kTryStep, a with statement as the number of slots it holds.
    // break and continue leave those entered since the innermost loop
    // began (from loopBase_ on).
    static constexpr std::size_t kTryStep = SIZE_MAX;
    std::vector<std::size_t> leaving_;
    std::size_t loopBase_ = 0;
    int scope_ = 0;
    static constexpr std::size_t kScopesAtStart = 16;
    std::vector<Scope> scopes_;
    // Per label: the scope it is placed in, whether a goto from another
    // scope came before it, and the gotos that came before it.
    std::vector<int> labelScopes_;
    std::vector<bool> enteredLabels_;
    std::vector<std::vector<std::size_t>> waiting_;
    std::vector<PendingGoto> gotos_;
};

} // namespace

std::size_t TPSPascalCompiler::WithTargetsHeld() const
{
    return body_ ? body_->Withs.size() : 0;
}

bool TPSPascalCompiler::CompileBody(const TPSBlockInfo& block)
{
    TPSInternalProcedure& proc = *block.Proc;
    proc.Data.clear();
    // Routines of a script are much alike: room for as much code as the one
    // before saves growing the code step by step; a huge one is no guide.
    constexpr std::size_t kLargestGuess = 64 * 1024;
    proc.Data.reserve(std::min(lastBodySize_, kLargestGuess));
    for (const TPSProcVar& local : proc.ProcVars)
        pscode::putPushType(proc.Data, static_cast<std::uint32_t>(UseType(local.AType)->FinalTypeNo));
    TPSCodeContext context(block.Proc, block.ProcNo, std::move(bodySlots_));
    body_ = &context;
    struct Done
    {
        const TPSCodeContext*& body;
        std::vector<TPSType*>& slots;
        TPSCodeContext& context;
        ~Done()
        {
            body = nullptr;
            slots = std::move(context.Slots);
        }
    } done{body_, bodySlots_, context};
    BodyCompiler body(*this, context);
    body.StartLabels();
    if (!body.Compound(0) || !body.ResolveGotos())
        return false;
    pscode::putOp(proc.Data, pscode::Op::Return);
    lastBodySize_ = proc.Data.size();
    return true;
}
