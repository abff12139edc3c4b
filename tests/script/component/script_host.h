#pragma once
// A host as the program's own uses the component: it declares a Log routine
// at every compile and collects the lines a script logs.

#include "script/component/script_component.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct ScriptHost
{
    TPSScript script;
    std::vector<std::string> lines;
    bool logDeclared = false;

    ScriptHost()
    {
        script.OnCompile = [this](TPSScript* sender) {
            logDeclared = sender->AddMethod(this, &ScriptHost::Log, "procedure Log(const s: String);");
        };
    }

    void Log(const std::string& s) { lines.push_back(s); }

    // Every compiler message, one line each.
    std::string Messages() const
    {
        std::string out;
        for (std::size_t i = 0; i < script.CompilerMessageCount(); ++i)
            out += script.CompilerMessage(i)->MessageToString() + "\n";
        return out;
    }

    // The first error message, empty when there is none.
    std::string FirstError() const
    {
        for (std::size_t i = 0; i < script.CompilerMessageCount(); ++i)
            if (dynamic_cast<const TPSPascalCompilerError*>(script.CompilerMessage(i)))
                return script.CompilerMessage(i)->MessageToString();
        return {};
    }

    bool Compile(const std::string& text)
    {
        script.SetScriptText(text);
        return script.Compile();
    }
};
