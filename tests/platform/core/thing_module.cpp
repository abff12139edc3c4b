// A small module for the loader tests.

#include "platform/core/module_exports.h"
#include "tests/platform/core/thing.h"

#include <stdexcept>

namespace {
class Thing final : public ComObject<IThing>
{
public:
    int answer() override { return 42; }
};

class BrokenThing final : public ComObject<IThing>
{
public:
    BrokenThing() { throw std::runtime_error("cannot make it"); }
    int answer() override { return 0; }
};
} // namespace

KESTROVA_MODULE_EXPORT HRESULT DllGetClassObject(const GUID* clsid, const GUID* iid, void** object)
{
    if (*clsid == CLSID_Thing)
        return classFactoryOf<Thing>()->QueryInterface(*iid, object);
    if (*clsid == CLSID_BrokenThing)
        return classFactoryOf<BrokenThing>()->QueryInterface(*iid, object);
    *object = nullptr;
    if (*clsid == CLSID_EmptyThing)
        return S_OK;
    return CLASS_E_CLASSNOTAVAILABLE;
}

KESTROVA_MODULE_EXPORT HRESULT DllCanUnloadNow()
{
    return moduleCanUnloadNow();
}
