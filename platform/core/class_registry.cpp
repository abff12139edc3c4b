#include "platform/core/class_registry.h"

#include <mutex>
#include <shared_mutex>
#include <unordered_map>

namespace {
struct Registry
{
    std::shared_mutex mutex;
    std::unordered_map<GUID, ComPtr<IClassFactory>> factories;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

ComPtr<IClassFactory> findFactory(REFCLSID clsid, DWORD context)
{
    if (!(context & CLSCTX_INPROC))
        return nullptr;
    auto& r = registry();
    std::shared_lock lock(r.mutex);
    const auto it = r.factories.find(clsid);
    return it == r.factories.end() ? nullptr : it->second;
}
} // namespace

void registerClass(REFCLSID clsid, ComPtr<IClassFactory> factory)
{
    auto& r = registry();
    std::unique_lock lock(r.mutex);
    std::swap(r.factories[clsid], factory);
    lock.unlock(); // the replaced factory is released outside the lock
}

bool unregisterClass(REFCLSID clsid)
{
    auto& r = registry();
    std::unique_lock lock(r.mutex);
    const auto node = r.factories.extract(clsid);
    lock.unlock();
    return !node.empty();
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    const auto factory = findFactory(clsid, context);
    return factory ? factory->QueryInterface(riid, object) : REGDB_E_CLASSNOTREG;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    const auto factory = findFactory(clsid, context);
    return factory ? factory->CreateInstance(outer, riid, object) : REGDB_E_CLASSNOTREG;
}
