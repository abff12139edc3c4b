#pragma once
// Script procedures as host events. A script that assigns one of its
// procedures to a host event hands the host a method value; host code calls
// the procedure through it with its own variables and values, as it calls
// any handler of the event.

#include "script/runtime/exec.h"
#include "script/runtime/types.h"

#include <cstdint>
#include <vector>

// The host method value for a script procedure of the executer. The executer
// keeps one record per procedure until Clear; the value is good until then.
TPSProcValue ScriptProcMethod(TPSExec* exec, std::uint32_t procNo);

// Whether a host method value is a script procedure of the executer, and
// which.
bool IsScriptProcMethod(const TPSExec* exec, const TPSProcValue& method, std::uint32_t* procNo = nullptr);

// Calls the script procedure behind a method value. A var or out parameter
// refers to the host's variable, which the script changes; a value
// parameter is copied, converted to the declared type. result is the host's
// variable for a function's result and is ignored for a procedure. An error
// inside the script stops at this call and raises: the host exception that
// caused it, or else EPSException with the error's text.
void CallScriptProcMethod(const TPSProcValue& method, const std::vector<TPSValueRef>& params, TPSValueRef result = {});
