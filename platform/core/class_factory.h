#pragma once
// Class factories: the objects that make instances of one class.

#include "platform/core/unknown.h"

#include <exception>
#include <functional>
#include <new>
#include <utility>

struct IClassFactory : IUnknown
{
    static constexpr GUID iid = "{00000001-0000-0000-C000-000000000046}"_guid;

    // Makes a new object and hands out its `riid` interface. Aggregation
    // (a non-null `outer`) is refused with CLASS_E_NOAGGREGATION.
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
    // Keeps the module of the factory loaded while locked.
    virtual HRESULT LockServer(BOOL lock) = 0;
};

constexpr GUID IID_IClassFactory = IClassFactory::iid;

// A factory that makes its objects with a function. The function makes one
// object and answers QueryInterface(riid, object) on it.
class ClassFactory final : public ComObject<IClassFactory>
{
public:
    using Creator = std::function<HRESULT(REFIID riid, void** object)>;

    explicit ClassFactory(Creator create) : create_(std::move(create)) {}

    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        // No exception leaves a factory: its caller may be another module.
        try {
            return create_(riid, object);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_FAIL;
        }
    }

    HRESULT LockServer(BOOL lock) override
    {
        if (lock)
            ++com_detail::moduleUsage;
        else
            --com_detail::moduleUsage;
        return S_OK;
    }

private:
    Creator create_;
};

// The factory of a class T made by its default constructor.
template <typename T> ComPtr<IClassFactory> classFactoryOf()
{
    return makeCom<ClassFactory>([](REFIID riid, void** object) { return makeCom<T>()->QueryInterface(riid, object); });
}
