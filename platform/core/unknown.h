#pragma once
// Reference-counted objects with interfaces queried by id.
//
// An interface is a struct deriving from IUnknown that names its id in a
// static member `iid`. Objects start with a count of 0; the first ComPtr (or
// the out-parameter of QueryInterface or CreateInstance) takes the first
// reference. Out-parameters always hand over a reference of their own.

#include "platform/core/guid.h"
#include "platform/core/hresult.h"
#include "platform/core/types.h"

#include <atomic>
#include <tuple>
#include <cstddef>
#include <type_traits>
#include <utility>

struct IUnknown
{
    static constexpr GUID iid = "{00000000-0000-0000-C000-000000000046}"_guid;

    virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};

constexpr GUID IID_IUnknown = IUnknown::iid;

template <typename T>
concept ComInterface = std::is_base_of_v<IUnknown, T> && requires { T::iid; };

namespace com_detail {
// Live objects and server locks of the shared object this code is built into.
// Hidden, so that the program and each loaded module count their own.
[[gnu::visibility("hidden")]] inline std::atomic<long> moduleUsage{0};
} // namespace com_detail

// What keeps the module (or program) this code is built into in use: every
// live ComObject and every LockServer(TRUE) of its class factories. A module
// can be unloaded when this is 0.
inline long moduleUsage() { return com_detail::moduleUsage.load(); }

// Implements IUnknown for a class that derives from the given interfaces.
// QueryInterface answers IUnknown and every listed interface, but not the
// bases of a listed interface; a derived class adds those and more by
// overriding QueryInterface and calling the base last.
template <ComInterface... Interfaces>
class ComObject : public Interfaces...
{
public:
    ComObject() { ++com_detail::moduleUsage; }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (riid == IUnknown::iid) {
            *object = static_cast<IUnknown*>(static_cast<FirstInterface*>(this));
        } else {
            (tryInterface<Interfaces>(riid, object) || ...);
        }
        if (!*object)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

    ULONG AddRef() override { return ++refCount_; }

    ULONG Release() override
    {
        const ULONG left = --refCount_;
        if (left == 0)
            delete this;
        return left;
    }

    ULONG refCount() const { return refCount_.load(); }

protected:
    ~ComObject() override { --com_detail::moduleUsage; }

    // Answers `riid` with `this` seen as I, for interfaces beyond the list.
    template <ComInterface I>
    bool tryInterface(REFIID riid, void** object)
    {
        if (riid != I::iid)
            return false;
        *object = static_cast<I*>(this);
        return true;
    }

private:
    using FirstInterface = std::tuple_element_t<0, std::tuple<Interfaces...>>;
    std::atomic<ULONG> refCount_{0};
};

// Holds one reference to an interface.
template <typename T>
class ComPtr
{
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    ComPtr(T* p) : p_(p)
    {
        if (p_)
            p_->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    template <typename U>
        requires std::is_convertible_v<U*, T*>
    ComPtr(const ComPtr<U>& other) : ComPtr(other.get())
    {
    }
    template <typename U>
        requires std::is_convertible_v<U*, T*>
    ComPtr(ComPtr<U>&& other) noexcept : p_(other.detach())
    {
    }
    ~ComPtr() { reset(); }

    ComPtr& operator=(ComPtr other) noexcept
    {
        std::swap(p_, other.p_);
        return *this;
    }

    // Takes over a reference that the caller already owns.
    static ComPtr adopt(T* p)
    {
        ComPtr r;
        r.p_ = p;
        return r;
    }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

    void reset()
    {
        if (p_)
            std::exchange(p_, nullptr)->Release();
    }
    T* detach() { return std::exchange(p_, nullptr); }

    // For out-parameters: releases what is held and receives a new reference.
    T** put()
    {
        reset();
        return &p_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

    // QueryInterface for another interface; empty when the object lacks it.
    template <ComInterface U>
    ComPtr<U> as() const
    {
        ComPtr<U> r;
        if (p_)
            p_->QueryInterface(U::iid, r.putVoid());
        return r;
    }

    friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.p_ == b.p_; }
    friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.p_ == nullptr; }

private:
    T* p_ = nullptr;
};

// Creates a reference-counted object and takes its first reference.
template <typename T, typename... Args>
ComPtr<T> makeCom(Args&&... args)
{
    return ComPtr<T>(new T(std::forward<Args>(args)...));
}

// Writes a new reference to `p` into an out-parameter.
template <ComInterface T>
HRESULT copyOut(T* p, T** out)
{
    if (!out)
        return E_POINTER;
    *out = p;
    if (p)
        p->AddRef();
    return p ? S_OK : E_FAIL;
}
