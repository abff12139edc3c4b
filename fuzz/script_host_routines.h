#pragma once
// Host routines that the script runtime's fuzz targets register, for the
// images they load to call: routines that succeed, fail, raise or misbehave.

#include "script/runtime/exec.h"

#include <cstdint>
#include <stdexcept>

namespace fuzzhost {

inline bool succeed(TPSExec*, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    return true;
}

inline bool fail(TPSExec*, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    return false;
}

inline bool raise(TPSExec*, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    throw std::runtime_error("host");
}

// Pops what the stack holds on top, as a careless host routine might.
inline bool popTop(TPSExec*, TPSExternalProcRec*, TPSStack*, TPSStack* stack)
{
    stack->Pop();
    return true;
}

// Pushes a number, as a careless host routine might.
inline bool pushInt(TPSExec* exec, TPSExternalProcRec*, TPSStack*, TPSStack* stack)
{
    if (const TPSTypeRec* type = exec->FindTypeByBase(0, ps::BaseType::LongInt))
        stack->PushType(type);
    return true;
}

// How deep reenter runs within itself.
inline int reenterDepth = 0;

// Runs the last script procedure behind a barrier, as the event bridge does.
inline bool reenter(TPSExec* exec, TPSExternalProcRec*, TPSStack*, TPSStack*)
{
    if (reenterDepth > 2 || exec->ProcCount() == 0)
        return true;
    ++reenterDepth;
    exec->PushBarrier();
    exec->RunScriptProc({}, static_cast<std::uint32_t>(exec->ProcCount() - 1));
    exec->PopBarrier();
    --reenterDepth;
    return true;
}

} // namespace fuzzhost
