#pragma once
// What a module (a shared library the program loads by path) exports.
//
// A module defines both entry points with KESTROVA_MODULE_EXPORT and is built
// with -fvisibility=hidden, so that only they are visible and nothing it
// contains pins it in memory:
//
//   KESTROVA_MODULE_EXPORT HRESULT DllGetClassObject(const GUID* clsid, const GUID* iid, void** object)
//   {
//       if (*clsid == CLSID_Thing)
//           return classFactoryOf<Thing>()->QueryInterface(*iid, object);
//       return CLASS_E_CLASSNOTAVAILABLE;
//   }
//   KESTROVA_MODULE_EXPORT HRESULT DllCanUnloadNow() { return moduleCanUnloadNow(); }

#include "platform/core/class_factory.h"

#define KESTROVA_MODULE_EXPORT extern "C" __attribute__((visibility("default")))

// The entry points' types, as the loader looks them up.
using DllGetClassObjectFunction = HRESULT (*)(const GUID* clsid, const GUID* iid, void** object);
using DllCanUnloadNowFunction = HRESULT (*)();

// S_OK when no object, factory or server lock of this module lives.
inline HRESULT moduleCanUnloadNow()
{
    return moduleUsage() == 0 ? S_OK : S_FALSE;
}
