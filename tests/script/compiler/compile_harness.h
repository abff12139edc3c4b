#pragma once
// Runs a compile with test hooks: registrations in the SYSTEM uses callback
// and a look at the symbol tables just before they are freed.

#include "script/compiler/compiler.h"

#include <functional>
#include <string>

struct CompileHarness
{
    TPSPascalCompiler c;
    std::function<void(TPSPascalCompiler&)> registerTypes; // inside OnUses("SYSTEM")
    std::function<void(TPSPascalCompiler&)> inspect;       // before the tables go

    CompileHarness()
    {
        c.ID = this;
        c.AllowNoEnd = true;
        c.OnUses = [](TPSPascalCompiler* sender, const std::string& unit) {
            auto* self = static_cast<CompileHarness*>(sender->ID);
            if (unit == "SYSTEM" && self->registerTypes)
                self->registerTypes(*sender);
            return true;
        };
        c.OnBeforeCleanup = [](TPSPascalCompiler* sender) {
            auto* self = static_cast<CompileHarness*>(sender->ID);
            if (self->inspect)
                self->inspect(*sender);
            return true;
        };
    }

    bool compile(std::string text) { return c.Compile(std::move(text)); }

    // The first error message, or nullptr.
    const TPSPascalCompilerError* firstError() const
    {
        for (std::size_t i = 0; i < c.GetMessageCount(); ++i) {
            if (auto* e = dynamic_cast<const TPSPascalCompilerError*>(c.GetMessage(i)))
                return e;
        }
        return nullptr;
    }

    static const TPSConstant* constant(const TPSPascalCompiler& compiler, const std::string& upperName)
    {
        const auto& list = compiler.Constants();
        for (auto it = list.rbegin(); it != list.rend(); ++it) {
            if ((*it)->Name == upperName)
                return it->get();
        }
        return nullptr;
    }
};
