#include "script/runtime/stack.h"
#include "script/runtime/types.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

using ps::BaseType;

namespace {

// An interface reference that counts what the storage does with it.
struct Probe : IUnknown
{
    ULONG refs = 1;
    HRESULT QueryInterface(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
};

template <typename T = TPSTypeRec, typename... Args> std::unique_ptr<T> makeType(Args&&... args)
{
    auto type = std::make_unique<T>(std::forward<Args>(args)...);
    EXPECT_TRUE(type->CalcSize());
    return type;
}

std::string& str(void* data)
{
    return *static_cast<std::string*>(data);
}

} // namespace

TEST(Stack, EntriesKeepTheirAddressWhileTheStackGrowsAndShrinks)
{
    const auto text = makeType(BaseType::AnsiString);
    const auto big = makeType<TPSTypeRec_StaticArray>(text.get(), 5000, 0); // larger than a chunk
    TPSStack stack;
    TPSStackEntry* first = stack.PushType(text.get());
    str(first->data()) = "kept";
    std::vector<TPSStackEntry*> entries;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 10000; ++i) {
            TPSStackEntry* entry = stack.PushType(i % 1000 == 0 ? big.get() : text.get());
            ASSERT_TRUE(entry);
            if (entry->type == text.get())
                str(entry->data()) = std::to_string(i);
            entries.push_back(entry);
        }
        for (std::size_t i = 0; i < entries.size(); ++i)
            ASSERT_EQ(stack.Items(static_cast<std::ptrdiff_t>(i) + 1), entries[i]);
        ASSERT_EQ(str(stack.Items(2)->data()), "1");
        stack.PopTo(1);
        entries.clear();
    }
    EXPECT_EQ(stack.Items(0), first);
    EXPECT_EQ(str(first->data()), "kept");
    EXPECT_EQ(stack.Items(-1), first);
    EXPECT_EQ(stack.Items(1), nullptr);
    EXPECT_EQ(stack.Items(-2), nullptr);
}

TEST(Stack, PopFinalisesAndSerialsAreNeverReused)
{
    const auto intf = makeType(BaseType::Interface);
    Probe probe;
    TPSStack stack;
    TPSStackEntry* entry = stack.PushType(intf.get());
    EXPECT_EQ(*static_cast<IUnknown**>(entry->data()), nullptr);
    *static_cast<IUnknown**>(entry->data()) = &probe;
    probe.AddRef();
    const std::uint64_t serial = entry->serial;
    stack.Pop();
    EXPECT_EQ(probe.refs, 1u);
    stack.Pop(); // nothing left: no effect
    EXPECT_EQ(stack.Count(), 0u);
    EXPECT_GT(stack.PushType(intf.get())->serial, serial);

    *static_cast<IUnknown**>(stack.Items(-1)->data()) = &probe;
    probe.AddRef();
    stack.Clear();
    EXPECT_EQ(probe.refs, 1u);
    EXPECT_EQ(stack.usedBytes(), 0u);
}

// The interpreter's quick push and pop beside the ordinary ones, going back
// and forth over the end of a chunk: the entries stay in order, the space
// is counted once, and the quick push never allocates.
TEST(Stack, QuickPushesAndPopsAcrossChunkEnds)
{
    const auto longint = makeType(BaseType::LongInt);
    const auto text = makeType(BaseType::AnsiString);
    TPSStack stack;
    EXPECT_EQ(stack.PushZeroed(longint.get(), longint->realSize), nullptr); // no storage yet
    TPSStackEntry* bottom = stack.PushType(text.get());
    str(bottom->data()) = "bottom";
    for (int round = 0; round < 3; ++round) {
        std::vector<TPSStackEntry*> pushed;
        for (int i = 0; i < 100; ++i) {
            TPSStackEntry* entry = i % 3 ? stack.PushZeroed(longint.get(), longint->realSize) : nullptr;
            if (!entry) // the ordinary push takes over where the quick one cannot
                entry = stack.PushType(longint.get());
            ASSERT_TRUE(entry);
            EXPECT_EQ(*static_cast<std::int32_t*>(entry->data()), 0);
            *static_cast<std::int32_t*>(entry->data()) = i;
            pushed.push_back(entry);
        }
        // Back and forth over each end of a chunk.
        for (int i = 99; i > 0; --i) {
            stack.PopOwningNothing(longint->realSize);
            TPSStackEntry* again = stack.PushZeroed(longint.get(), longint->realSize);
            if (!again)
                again = stack.PushType(longint.get());
            EXPECT_EQ(again, pushed[static_cast<std::size_t>(i)]) << i;
            stack.PopOwningNothing(longint->realSize);
        }
        ASSERT_EQ(stack.Count(), 2u);
        EXPECT_EQ(*static_cast<std::int32_t*>(stack.Items(1)->data()), 0);
        stack.Pop();
        EXPECT_EQ(stack.usedBytes(), 48u); // the text alone
    }
    EXPECT_EQ(stack.Items(0), bottom);
    EXPECT_EQ(str(bottom->data()), "bottom");
    stack.Pop();
    EXPECT_EQ(stack.usedBytes(), 0u);
}

TEST(Stack, RefusesPushesBeyondItsLimit)
{
    const auto longint = makeType(BaseType::LongInt);
    TPSStack stack(1024);
    std::size_t pushed = 0;
    while (stack.PushType(longint.get()))
        ++pushed;
    EXPECT_EQ(pushed, 1024u / 24u); // a 16-byte header and the value, in steps of 8
    EXPECT_LE(stack.usedBytes(), 1024u);
    stack.Pop();
    EXPECT_TRUE(stack.PushType(longint.get()));
    const auto huge = makeType<TPSTypeRec_StaticArray>(longint.get(), 1 << 20, 0);
    stack.PopTo(0);
    EXPECT_EQ(stack.PushType(huge.get()), nullptr);
}

TEST(Storage, NewValuesAreEmptyAndRecordsCopyDeeply)
{
    const auto byteT = makeType(BaseType::Byte);
    const auto text = makeType(BaseType::AnsiString);
    const auto wide = makeType(BaseType::UnicodeString);
    const auto variant = makeType(BaseType::Variant);
    auto record = std::make_unique<TPSTypeRec_Record>();
    record->fieldTypes = {byteT.get(), text.get(), wide.get(), variant.get()};
    ASSERT_TRUE(record->CalcSize());
    const auto array = makeType<TPSTypeRec_StaticArray>(record.get(), 3, 1);

    TPSStack stack;
    void* a = stack.PushType(array.get())->data();
    void* b = stack.PushType(array.get())->data();
    auto field = [&](void* arr, int element, int f) {
        return static_cast<std::byte*>(arr) + element * record->realSize + record->fieldOffsets[f];
    };
    EXPECT_EQ(*reinterpret_cast<std::uint8_t*>(field(a, 2, 0)), 0);
    EXPECT_TRUE(str(field(a, 2, 1)).empty());
    EXPECT_EQ(reinterpret_cast<Variant*>(field(a, 2, 3))->type, varcode::Empty);

    str(field(a, 1, 1)) = "one";
    *reinterpret_cast<std::u16string*>(field(a, 2, 2)) = u"two";
    *reinterpret_cast<std::uint8_t*>(field(a, 0, 0)) = 7;
    ASSERT_TRUE(CopyValues(b, a, 1, array.get()));
    str(field(a, 1, 1)) = "changed";
    EXPECT_EQ(str(field(b, 1, 1)), "one");
    EXPECT_EQ(*reinterpret_cast<std::u16string*>(field(b, 2, 2)), u"two");
    EXPECT_EQ(*reinterpret_cast<std::uint8_t*>(field(b, 0, 0)), 7);

    TPSTypeRec returnAddress(BaseType::ReturnAddress);
    returnAddress.CalcSize();
    EXPECT_FALSE(CopyValues(b, a, 1, &returnAddress));
}

TEST(Storage, DynamicArraysAreSharedAndResizingLeavesOtherHoldersAlone)
{
    const auto text = makeType(BaseType::AnsiString);
    const auto arrayType = makeType<TPSTypeRec_Array>(text.get());
    TPSStack stack;
    void* a = stack.PushType(arrayType.get())->data();
    void* b = stack.PushType(arrayType.get())->data();
    EXPECT_EQ(DynArrayGetLength(a, arrayType.get()), 0u);
    EXPECT_EQ(DynArrayElements(a), nullptr);

    DynArraySetLength(a, arrayType.get(), 2);
    str(DynArrayElements(a)) = "first";
    ASSERT_TRUE(CopyValues(b, a, 1, arrayType.get()));
    EXPECT_EQ(DynArrayElements(a), DynArrayElements(b));

    DynArraySetLength(b, arrayType.get(), 5);
    EXPECT_EQ(DynArrayGetLength(a, arrayType.get()), 2u);
    EXPECT_EQ(DynArrayGetLength(b, arrayType.get()), 5u);
    EXPECT_EQ(str(DynArrayElements(b)), "first");
    str(DynArrayElements(b)) = "second";
    EXPECT_EQ(str(DynArrayElements(a)), "first");
    EXPECT_TRUE(str(static_cast<std::byte*>(DynArrayElements(b)) + 4 * text->realSize).empty());

    DynArraySetLength(a, arrayType.get(), 0);
    EXPECT_EQ(DynArrayElements(a), nullptr);
    EXPECT_THROW(DynArrayGetLength(a, text.get()), std::runtime_error);
    EXPECT_THROW(DynArraySetLength(a, arrayType.get(), 0xFFFFFFFF), std::bad_alloc);
}

TEST(Storage, OwnedPointerTargetsAreDuplicatedAndPinnedBlocksOutliveTheirArray)
{
    const auto text = makeType(BaseType::AnsiString);
    const auto pointer = makeType(BaseType::Pointer);
    const auto arrayType = makeType<TPSTypeRec_Array>(text.get());
    TPSStack stack;
    auto* p = static_cast<TPSPointerValue*>(stack.PushType(pointer.get())->data());
    auto* q = static_cast<TPSPointerValue*>(stack.PushType(pointer.get())->data());

    TPSDynArrayHeader* block = NewValueBlock(text.get());
    str(BlockData(block)) = "owned";
    *p = {BlockData(block), text.get(), true, {block, text.get()}};
    ASSERT_TRUE(CopyValues(q, p, 1, pointer.get()));
    EXPECT_TRUE(q->owned);
    EXPECT_NE(q->data, p->data);
    EXPECT_EQ(str(q->data), "owned");

    // A pointer into an array's block keeps the block alive after the
    // array lets go of it.
    void* array = stack.PushType(arrayType.get())->data();
    DynArraySetLength(array, arrayType.get(), 1);
    str(DynArrayElements(array)) = "element";
    TPSTargetOrigin origin{*static_cast<TPSDynArrayHeader**>(array), text.get()};
    RetainOrigin(origin);
    TPSPointerValue aimed{DynArrayElements(array), text.get(), false, origin};
    ASSERT_TRUE(CopyValues(q, &aimed, 1, pointer.get()));
    ReleaseOrigin(aimed.origin);
    DynArraySetLength(array, arrayType.get(), 0);
    EXPECT_FALSE(q->owned);
    EXPECT_EQ(str(q->data), "element");
}
