// A module that misbehaves on purpose, one way per class: a failing entry
// point, a success without a factory, a factory that fails, an entry point
// and a factory that throw. Every other class is missing.

#include "platform/core/module_exports.h"

#include <stdexcept>

namespace {

constexpr CLSID kEntryFails = "{0D1E2C3B-0000-4000-8000-000000000001}"_guid;
constexpr CLSID kNoFactory = "{0D1E2C3B-0000-4000-8000-000000000002}"_guid;
constexpr CLSID kFactoryFails = "{0D1E2C3B-0000-4000-8000-000000000003}"_guid;
constexpr CLSID kEntryThrows = "{0D1E2C3B-0000-4000-8000-000000000004}"_guid;
constexpr CLSID kFactoryThrows = "{0D1E2C3B-0000-4000-8000-000000000005}"_guid;

class ThrowingFactory final : public ComObject<IClassFactory>
{
public:
    HRESULT CreateInstance(IUnknown*, REFIID, void**) override { throw std::runtime_error("factory"); }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

} // namespace

KESTROVA_MODULE_EXPORT HRESULT DllGetClassObject(const GUID* clsid, const GUID* iid, void** object)
{
    *object = nullptr;
    if (*clsid == kEntryFails)
        return E_UNEXPECTED;
    if (*clsid == kNoFactory)
        return S_OK;
    if (*clsid == kFactoryFails)
        return makeCom<ClassFactory>([](REFIID, void**) { return E_FAIL; })->QueryInterface(*iid, object);
    if (*clsid == kEntryThrows)
        throw std::runtime_error("entry point");
    if (*clsid == kFactoryThrows)
        return makeCom<ThrowingFactory>()->QueryInterface(*iid, object);
    return CLASS_E_CLASSNOTAVAILABLE;
}

KESTROVA_MODULE_EXPORT HRESULT DllCanUnloadNow()
{
    return moduleCanUnloadNow();
}
