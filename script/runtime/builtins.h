#pragma once
// The routines every executer offers by itself: string and number
// conversions, the array and ordinal helpers, the exception routines and the
// Variant routines. Each reads its parameters from the value stack as the
// compiler lays out a call.

class TPSExec;

// Registers the built-in routines; the executer calls it when it is made and
// whenever its native routines are reset.
void RegisterBuiltinProcs(TPSExec* exec);
