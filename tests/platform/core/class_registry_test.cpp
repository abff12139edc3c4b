#include "platform/core/class_registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {
struct IWidget : IUnknown
{
    static constexpr GUID iid = "{0C1D2E3F-0000-4000-8000-000000000001}"_guid;
    virtual int id() = 0;
};
struct IGadget : IUnknown
{
    static constexpr GUID iid = "{0C1D2E3F-0000-4000-8000-000000000002}"_guid;
};

constexpr CLSID CLSID_Widget = "{0C1D2E3F-0000-4000-8000-0000000000A1}"_guid;
constexpr CLSID CLSID_Unknown = "{0C1D2E3F-0000-4000-8000-0000000000A2}"_guid;
constexpr CLSID CLSID_Flaky = "{0C1D2E3F-0000-4000-8000-0000000000A3}"_guid;

std::atomic<int> liveWidgets{0};
std::atomic<int> nextWidget{0};

class Widget final : public ComObject<IWidget>
{
public:
    Widget() : id_(++nextWidget) { ++liveWidgets; }
    ~Widget() override { --liveWidgets; }
    int id() override { return id_; }

private:
    int id_;
};
} // namespace

TEST(ClassRegistry, CreatesRegisteredClassesWithTheUsualFailures)
{
    registerClass<Widget>(CLSID_Widget);
    {
        ComPtr<IWidget> a, b;
        ASSERT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_INPROC_SERVER, IWidget::iid, a.putVoid()), S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_ALL, IWidget::iid, b.putVoid()), S_OK);
        EXPECT_NE(a->id(), b->id());
        EXPECT_EQ(liveWidgets, 2);

        // A refused interface leaves no object behind and a null out-parameter.
        void* raw = &raw;
        EXPECT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_INPROC_SERVER, IGadget::iid, &raw), E_NOINTERFACE);
        EXPECT_EQ(raw, nullptr);
        raw = &raw;
        EXPECT_EQ(CoCreateInstance(CLSID_Widget, a.as<IUnknown>().get(), CLSCTX_INPROC_SERVER, IUnknown::iid, &raw),
                  CLASS_E_NOAGGREGATION);
        EXPECT_EQ(raw, nullptr);
        EXPECT_EQ(CoCreateInstance(CLSID_Unknown, nullptr, CLSCTX_INPROC_SERVER, IWidget::iid, &raw),
                  REGDB_E_CLASSNOTREG);
        EXPECT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_LOCAL_SERVER, IWidget::iid, &raw),
                  REGDB_E_CLASSNOTREG);
        EXPECT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_INPROC_SERVER, IWidget::iid, nullptr), E_POINTER);
        EXPECT_EQ(liveWidgets, 2);

        ComPtr<IClassFactory> factory;
        ASSERT_EQ(CoGetClassObject(CLSID_Widget, CLSCTX_INPROC_SERVER, IClassFactory::iid, factory.putVoid()), S_OK);
        ComPtr<IWidget> c;
        EXPECT_EQ(factory->CreateInstance(nullptr, IWidget::iid, c.putVoid()), S_OK);
        EXPECT_EQ(liveWidgets, 3);
        EXPECT_EQ(CoGetClassObject(CLSID_Unknown, CLSCTX_INPROC_SERVER, IClassFactory::iid, &raw), REGDB_E_CLASSNOTREG);
    }
    EXPECT_EQ(liveWidgets, 0);

    EXPECT_TRUE(unregisterClass(CLSID_Widget));
    EXPECT_FALSE(unregisterClass(CLSID_Widget));
    ComPtr<IWidget> gone;
    EXPECT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_INPROC_SERVER, IWidget::iid, gone.putVoid()),
              REGDB_E_CLASSNOTREG);
}

TEST(ClassRegistry, ReplacingAClassReleasesTheOldFactory)
{
    const ComPtr<IClassFactory> first = classFactoryOf<Widget>();
    registerClass(CLSID_Widget, first);
    const ULONG held = first->AddRef();
    first->Release();
    registerClass(CLSID_Widget, classFactoryOf<Widget>());
    const ULONG after = first->AddRef();
    first->Release();
    EXPECT_EQ(after, held - 1);
    unregisterClass(CLSID_Widget);
}

TEST(ClassRegistry, FactoriesTurnExceptionsIntoResults)
{
    int calls = 0;
    registerClass(CLSID_Flaky, makeCom<ClassFactory>([&calls](REFIID, void**) -> HRESULT {
                      if (++calls == 1)
                          throw std::bad_alloc();
                      throw std::runtime_error("broken constructor");
                  }));
    void* raw = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_Flaky, nullptr, CLSCTX_INPROC_SERVER, IWidget::iid, &raw), E_OUTOFMEMORY);
    EXPECT_EQ(CoCreateInstance(CLSID_Flaky, nullptr, CLSCTX_INPROC_SERVER, IWidget::iid, &raw), E_FAIL);
    EXPECT_EQ(raw, nullptr);
    unregisterClass(CLSID_Flaky);
}

TEST(ClassRegistry, ConcurrentRegistrationAndCreation)
{
    std::atomic<bool> stop{false};
    std::atomic<int> created{0};
    std::atomic<int> wrong{0};
    std::vector<std::thread> creators;
    for (int t = 0; t < 3; ++t) {
        creators.emplace_back([&] {
            while (!stop) {
                ComPtr<IWidget> w;
                const HRESULT hr =
                    CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_INPROC_SERVER, IWidget::iid, w.putVoid());
                if (hr == S_OK && w)
                    ++created;
                else if (hr != REGDB_E_CLASSNOTREG)
                    ++wrong;
            }
        });
    }
    for (int i = 0; i < 2000 || created == 0; ++i) {
        registerClass<Widget>(CLSID_Widget);
        unregisterClass(CLSID_Widget);
    }
    stop = true;
    for (auto& t : creators)
        t.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(liveWidgets, 0);
}
