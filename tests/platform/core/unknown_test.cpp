#include "platform/core/unknown.h"

#include <gtest/gtest.h>

namespace {
struct IFirst : IUnknown
{
    static constexpr GUID iid = "{11111111-0000-0000-0000-000000000001}"_guid;
    virtual int first() = 0;
};
struct ISecond : IUnknown
{
    static constexpr GUID iid = "{11111111-0000-0000-0000-000000000002}"_guid;
    virtual int second() = 0;
};
struct IMissing : IUnknown
{
    static constexpr GUID iid = "{11111111-0000-0000-0000-000000000003}"_guid;
};

int alive = 0;

class Both final : public ComObject<IFirst, ISecond>
{
public:
    Both() { ++alive; }
    ~Both() override { --alive; }
    int first() override { return 1; }
    int second() override { return 2; }
};
} // namespace

TEST(Unknown, QueryInterfaceSharesOneCountAndIdentity)
{
    {
        ComPtr<IFirst> a = makeCom<Both>();
        EXPECT_EQ(alive, 1);
        ComPtr<ISecond> b = a.as<ISecond>();
        ASSERT_TRUE(b);
        EXPECT_EQ(b->second(), 2);
        EXPECT_FALSE(a.as<IMissing>());
        // COM identity: IUnknown from any interface is the same pointer.
        EXPECT_EQ(a.as<IUnknown>().get(), b.as<IUnknown>().get());
        void* raw = nullptr;
        EXPECT_EQ(a->QueryInterface(IMissing::iid, &raw), E_NOINTERFACE);
        EXPECT_EQ(raw, nullptr);
        EXPECT_EQ(a->QueryInterface(IFirst::iid, nullptr), E_POINTER);
    }
    EXPECT_EQ(alive, 0);
}

TEST(Unknown, PointerCopiesMovesAndOutParameters)
{
    ComPtr<Both> owner = makeCom<Both>();
    EXPECT_EQ(owner->refCount(), 1u);
    ComPtr<Both> copy = owner;
    EXPECT_EQ(owner->refCount(), 2u);
    ComPtr<Both> moved = std::move(copy);
    EXPECT_EQ(owner->refCount(), 2u);
    moved = nullptr;
    EXPECT_EQ(owner->refCount(), 1u);

    ComPtr<IFirst> out;
    ASSERT_EQ(owner->QueryInterface(IFirst::iid, out.putVoid()), S_OK);
    EXPECT_EQ(owner->refCount(), 2u);
    IFirst* raw = out.detach();
    auto back = ComPtr<IFirst>::adopt(raw);
    EXPECT_EQ(owner->refCount(), 2u);
}
