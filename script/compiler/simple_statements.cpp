// The statements that bodies hold so far: assignments, calls and compound
// statements. The body of a routine or of the main block is compiled here
// from its "begin" to the matching "end".

#include "script/compiler/value_tree.h"

using Err = TPSCompilerErrorCode;
using Tok = TPSPasToken;

namespace {

constexpr int kMaxBlockDepth = 128;

class BodyCompiler
{
public:
    BodyCompiler(TPSPascalCompiler& compiler, TPSCodeContext& context)
        : c_(compiler), ctx_(context), expr_(compiler, context)
    {
    }

    // At "begin"; ends after the matching "end".
    bool Compound(int depth)
    {
        TPSPascalParser& p = c_.Parser();
        if (depth > kMaxBlockDepth) {
            c_.MakeError({}, Err::SyntaxError, {});
            return false;
        }
        p.Next();
        for (;;) {
            switch (p.CurrTokenId()) {
            case Tok::KwEnd:
                p.Next();
                return true;
            case Tok::Semicolon:
                p.Next();
                continue;
            case Tok::EndOfText:
                c_.MakeError({}, Err::UnexpectedEndOfFile, {});
                return false;
            default:
                break;
            }
            if (!Statement(depth))
                return false;
            if (p.CurrTokenId() != Tok::Semicolon && p.CurrTokenId() != Tok::KwEnd) {
                c_.MakeError({}, Err::SemicolonExpected, {});
                return false;
            }
        }
    }

private:
    bool Statement(int depth)
    {
        TPSPascalParser& p = c_.Parser();
        if (p.CurrTokenId() == Tok::KwBegin)
            return Compound(depth + 1);
        if (p.CurrTokenId() != Tok::Identifier) {
            c_.MakeError({}, Err::SyntaxError, {});
            return false;
        }
        c_.WriteDebugLine(ctx_.ProcNo);
        const std::size_t slots = ctx_.Slots.size();
        if (!Simple())
            return false;
        // Every temporary of a statement is gone when it ends.
        if (ctx_.Slots.size() != slots || ctx_.Unbalanced) {
            c_.MakeError({}, Err::InternalError, "00015");
            return false;
        }
        return true;
    }

    bool Simple()
    {
        TPSPascalParser& p = c_.Parser();
        expr_.StartStatement();
        std::unique_ptr<TPSValue> target = expr_.GetIdentifier(false);
        if (!target)
            return false;
        if (p.CurrTokenId() == Tok::Assignment) {
            auto* var = dynamic_cast<TPSValueVar*>(target.get());
            if (!var) {
                c_.MakeError({}, Err::VariableExpected, {});
                return false;
            }
            p.Next();
            std::unique_ptr<TPSValue> source = expr_.ReadExpression();
            return source && expr_.WriteInto(*var, *source);
        }
        if (auto* call = dynamic_cast<TPSValueProc*>(target.get()))
            return expr_.WriteCall(*call, nullptr);
        c_.MakeError({}, Err::AssignmentExpected, {});
        return false;
    }

    TPSPascalCompiler& c_;
    TPSCodeContext& ctx_;
    TPSExpressionCompiler expr_;
};

} // namespace

bool TPSPascalCompiler::CompileBody(const TPSBlockInfo& block)
{
    TPSInternalProcedure& proc = *block.Proc;
    proc.Data.clear();
    for (const TPSProcVar& local : proc.ProcVars)
        pscode::putPushType(proc.Data, static_cast<std::uint32_t>(UseType(local.AType)->FinalTypeNo));
    TPSCodeContext context(block.Proc, block.ProcNo);
    BodyCompiler body(*this, context);
    if (!body.Compound(0))
        return false;
    pscode::putOp(proc.Data, pscode::Op::Return);
    return true;
}
