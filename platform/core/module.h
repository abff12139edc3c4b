#pragma once
// Modules: shared libraries loaded by path, whatever their file name
// ("Sub/Thing.ax"), that serve classes through DllGetClassObject (see
// module_exports.h).
//
// A Module unloads its library when the last reference to it goes and the
// library's DllCanUnloadNow says that none of its objects lives any more.
// Otherwise the library stays loaded until CoFreeUnusedLibraries finds it
// unused; a library without DllCanUnloadNow stays for the life of the program.

#include "platform/core/module_exports.h"

#include <filesystem>
#include <memory>
#include <string>

class Module
{
public:
    // Loads the library at `path` (a relative path is taken from the current
    // folder, never searched for). CO_E_DLLNOTFOUND when there is no such
    // file, CO_E_ERRORINDLL when it is not a library or lacks
    // DllGetClassObject; `error` then says why.
    static HRESULT load(const std::filesystem::path& path, std::shared_ptr<Module>& module,
                        std::string* error = nullptr);

    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // The library's answer for a class: CLASS_E_CLASSNOTAVAILABLE (or the
    // library's own code) for a class it does not serve.
    HRESULT getClassObject(REFCLSID clsid, REFIID riid, void** object) const;
    // A new object of the class through its factory; CO_E_ERRORINDLL when the
    // library answers without one.
    HRESULT createInstance(REFCLSID clsid, IUnknown* outer, REFIID riid, void** object) const;

private:
    Module(std::filesystem::path path, void* handle, DllGetClassObjectFunction getClassObject);

    std::filesystem::path path_;
    void* handle_;
    DllGetClassObjectFunction getClassObject_;
};

// Unloads every released module whose objects are all gone. Call it where no
// other thread is in the middle of releasing an object of such a module (the
// GUI thread after a graph is torn down), since the last release still runs
// the module's code after its count reaches 0.
void CoFreeUnusedLibraries();
