#include "platform/core/module.h"

#include <dlfcn.h>

#include <mutex>
#include <system_error>
#include <vector>

namespace {
// Libraries whose Module is gone but whose objects may still live.
struct Released
{
    std::mutex mutex;
    std::vector<void*> handles;
};

Released& released()
{
    static Released instance;
    return instance;
}

// Closes the library when it says none of its objects lives; false otherwise.
bool unloadIfUnused(void* handle)
{
    const auto canUnload = reinterpret_cast<DllCanUnloadNowFunction>(dlsym(handle, "DllCanUnloadNow"));
    if (!canUnload || canUnload() != S_OK)
        return false;
    dlclose(handle);
    return true;
}

void setError(std::string* error, std::string text)
{
    if (error)
        *error = std::move(text);
}
} // namespace

Module::Module(std::filesystem::path path, void* handle, DllGetClassObjectFunction getClassObject)
    : path_(std::move(path)), handle_(handle), getClassObject_(getClassObject)
{
}

Module::~Module()
{
    if (unloadIfUnused(handle_))
        return;
    auto& r = released();
    std::lock_guard lock(r.mutex);
    r.handles.push_back(handle_);
}

HRESULT Module::load(const std::filesystem::path& path, std::shared_ptr<Module>& module, std::string* error)
{
    module.reset();
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(path, ec);
    if (ec || !std::filesystem::is_regular_file(absolute, ec)) {
        setError(error, "no module file " + path.string());
        return CO_E_DLLNOTFOUND;
    }
    void* handle = dlopen(absolute.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        setError(error, why ? why : "cannot load " + absolute.string());
        return CO_E_ERRORINDLL;
    }
    const auto entry = reinterpret_cast<DllGetClassObjectFunction>(dlsym(handle, "DllGetClassObject"));
    if (!entry) {
        dlclose(handle);
        setError(error, absolute.string() + " has no DllGetClassObject");
        return CO_E_ERRORINDLL;
    }
    module.reset(new Module(absolute, handle, entry));
    return S_OK;
}

HRESULT Module::getClassObject(REFCLSID clsid, REFIID riid, void** object) const
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    return getClassObject_(&clsid, &riid, object);
}

HRESULT Module::createInstance(REFCLSID clsid, IUnknown* outer, REFIID riid, void** object) const
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    ComPtr<IClassFactory> factory;
    const HRESULT hr = getClassObject(clsid, IClassFactory::iid, factory.putVoid());
    if (FAILED(hr))
        return hr;
    if (!factory) // the library claimed success but gave nothing
        return CO_E_ERRORINDLL;
    return factory->CreateInstance(outer, riid, object);
}

void CoFreeUnusedLibraries()
{
    auto& r = released();
    std::lock_guard lock(r.mutex);
    std::erase_if(r.handles, unloadIfUnused);
}
