#pragma once
// The classes the program can create by class id: the system filters are
// registered here at start-up, and CoCreateInstance finds them. Safe to use
// from any thread.

#include "platform/core/class_factory.h"

// Creation contexts. Every class here runs in the process; other contexts
// find nothing.
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC | CLSCTX_LOCAL_SERVER;

// Makes `factory` answer for `clsid`, replacing an earlier registration.
void registerClass(REFCLSID clsid, ComPtr<IClassFactory> factory);
template <typename T> void registerClass(REFCLSID clsid)
{
    registerClass(clsid, classFactoryOf<T>());
}
// Forgets the class; false when it was not registered.
bool unregisterClass(REFCLSID clsid);

// The factory of a registered class: REGDB_E_CLASSNOTREG when there is none.
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, REFIID riid, void** object);
// A new object of a registered class: REGDB_E_CLASSNOTREG for an unknown
// class, E_NOINTERFACE when it lacks `riid`, CLASS_E_NOAGGREGATION for a
// non-null `outer`.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** object);
