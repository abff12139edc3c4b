#include "media/filters/message_ring.h"

#include "sink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace testing_filters;

namespace {

// Posts `count` values from another thread through a ring of `size` slots.
void postFromThread(MessageRing<REFERENCE_TIME>& ring, RecordingSink& sink, int count, CancelToken* cancel,
                    std::atomic<int>& posted)
{
    for (int i = 1; i <= count; ++i) {
        REFERENCE_TIME* slot = ring.claim(cancel);
        if (!slot)
            return;
        *slot = i;
        ring.post(slot, sink.wnd, WM_POSITIONVALUE, reinterpret_cast<WPARAM>(slot), 0);
        ++posted;
    }
}

} // namespace

TEST(MessageRing, SlotsWrapAfterTheRingSize)
{
    for (const int size : {48, 100}) {
        MessageRing<int> ring(static_cast<std::size_t>(size));
        const int* first = ring.claim(nullptr);
        for (int i = 1; i < size; ++i)
            ring.claim(nullptr);
        EXPECT_EQ(ring.lastSlot(), size);
        EXPECT_EQ(ring.claim(nullptr), first) << size;
        EXPECT_EQ(ring.lastSlot(), 1);
    }
}

// A posted slot is not written again before the window has handled it: the
// writer waits, and every value arrives as it was written.
TEST(MessageRing, PostedSlotWaitsUntilHandled)
{
    RecordingSink sink;
    MessageRing<REFERENCE_TIME> ring(2);
    CancelToken cancel;
    std::atomic<int> posted{0};
    std::thread writer([&] { postFromThread(ring, sink, 6, &cancel, posted); });
    // Nothing is dispatched yet: the writer stops at the third value.
    while (posted < 2)
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(posted, 2);
    while (posted < 6)
        ProcessMessages();
    writer.join();
    const auto messages = sink.messages(WM_POSITIONVALUE);
    ASSERT_EQ(messages.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_EQ(messages[i].position, REFERENCE_TIME(i + 1));
}

TEST(MessageRing, CancelReleasesAWaitingWriter)
{
    RecordingSink sink;
    MessageRing<REFERENCE_TIME> ring(1);
    CancelToken cancel;
    std::atomic<int> posted{0};
    std::thread writer([&] { postFromThread(ring, sink, 3, &cancel, posted); });
    while (posted < 1)
        std::this_thread::yield();
    cancel.fire();
    writer.join();
    EXPECT_EQ(posted, 1);
}

// Slots outlive their ring until the messages that carry them are handled.
TEST(MessageRing, SlotsOutliveTheRing)
{
    RecordingSink sink;
    {
        MessageRing<QString> ring(4);
        QString* slot = ring.claim(nullptr);
        *slot = QStringLiteral("still here");
        ring.post(slot, sink.wnd, WM_TIMESTAMPTEXT, reinterpret_cast<WPARAM>(slot), 0);
    }
    const auto messages = sink.messages(WM_TIMESTAMPTEXT);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "still here");
}

TEST(RelayRing, ReadsOnlyWrittenSlotsAndRemembersTheFirstAfterASeek)
{
    RelayRing<int, 48> ring;
    int value = 0;
    EXPECT_FALSE(ring.read(1, value));
    for (int i = 1; i <= 50; ++i)
        ring.write(i, i == 30);
    EXPECT_EQ(ring.lastSlot(), 2);
    EXPECT_EQ(ring.firstAfterSeek(), 30);
    ASSERT_TRUE(ring.read(2, value));
    EXPECT_EQ(value, 50);
    ASSERT_TRUE(ring.read(48, value));
    EXPECT_EQ(value, 48);
    EXPECT_FALSE(ring.read(0, value));
    EXPECT_FALSE(ring.read(49, value));
    ring.reset();
    EXPECT_FALSE(ring.read(2, value));
}
