#pragma once
// Rings of records that the filters hand to the interface thread with window
// messages. A message carries the address of a slot, and the slot is not
// written again until the interface thread has handled every message that
// carries it: a send has been handled when it returns (unless it was
// cancelled), a post when the acknowledgement posted right behind it reaches
// the ring's own window, since posted messages are dispatched in the order
// they were posted. A writer that comes round to a slot still in use waits
// until it is free or its cancel token fires.
//
// A ring must be created on the interface thread; without an application its
// slots are never held. Slots stay valid until every message that carries
// one has been dispatched, even when the ring itself goes first.

#include "platform/core/cancel_token.h"
#include "platform/core/types.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

class SlotTracker
{
public:
    explicit SlotTracker(std::size_t size);
    virtual ~SlotTracker();
    SlotTracker(const SlotTracker&) = delete;
    SlotTracker& operator=(const SlotTracker&) = delete;

    // Gives `self` a window for the acknowledgements; the window keeps it
    // alive until close() has been dispatched.
    static void open(const std::shared_ptr<SlotTracker>& self);
    // Lets the window go once the messages posted before have been handled.
    void close();

    // Waits until slot `index` carries no message; false when `cancel` fired
    // first. The interface thread serves the acknowledgements while it waits.
    bool waitFree(std::size_t index, CancelToken* cancel);
    // Posts the message and holds the slot until it has been handled.
    // Window 0 takes nothing.
    void post(std::size_t index, HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    // Sends the message; a send cancelled while the procedure may still read
    // the slot holds it until the procedure is done.
    LRESULT send(std::size_t index, HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, CancelToken* cancel);

    bool isHeld(std::size_t index) const { return pending_[index].load(std::memory_order_acquire) > 0; }

private:
    void hold(std::size_t index);
    void release(std::size_t index);
    // Releases the slot once everything posted so far has been dispatched.
    void releaseLater(std::size_t index);

    std::unique_ptr<std::atomic<int>[]> pending_;
    std::mutex mutex_;
    std::condition_variable freed_;
    HWND window_ = 0;
};

template <class T> class MessageRing
{
public:
    explicit MessageRing(std::size_t size) : store_(std::make_shared<Store>(size)) { SlotTracker::open(store_); }
    ~MessageRing() { store_->close(); }
    MessageRing(const MessageRing&) = delete;
    MessageRing& operator=(const MessageRing&) = delete;

    // The next slot, once free; null when `cancel` fired first. One thread
    // writes a ring.
    T* claim(CancelToken* cancel)
    {
        const std::size_t index = next_;
        if (!store_->waitFree(index, cancel))
            return nullptr;
        next_ = (index + 1) % store_->entries.size();
        last_.store(static_cast<int>(index) + 1, std::memory_order_release);
        return &store_->entries[index];
    }
    void post(const T* slot, HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        store_->post(indexOf(slot), wnd, msg, wParam, lParam);
    }
    LRESULT send(const T* slot, HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, CancelToken* cancel)
    {
        return store_->send(indexOf(slot), wnd, msg, wParam, lParam, cancel);
    }

    // The number, from 1, of the slot claimed last; 0 before the first.
    int lastSlot() const { return last_.load(std::memory_order_acquire); }
    // The slot of a number from 1 (for the writer and for tests).
    const T& slot(int number) const { return store_->entries[static_cast<std::size_t>(number - 1)]; }
    std::size_t size() const { return store_->entries.size(); }
    // The next claim starts again at slot 1.
    void rewind()
    {
        next_ = 0;
        last_.store(0, std::memory_order_release);
    }

private:
    struct Store final : SlotTracker
    {
        explicit Store(std::size_t size) : SlotTracker(size), entries(size) {}
        std::vector<T> entries;
    };
    std::size_t indexOf(const T* slot) const { return static_cast<std::size_t>(slot - store_->entries.data()); }

    std::shared_ptr<Store> store_;
    std::size_t next_ = 0;
    std::atomic<int> last_{0};
};

// A ring that one filter writes on its streaming thread and a filter further
// down the stream reads, by slot number from 1, on its own. The slot written
// for the first sample after a start or a seek is remembered, so that the
// reader can fall in step again.
template <class T, int Size> class RelayRing
{
public:
    static constexpr int kSize = Size;

    // Writes the next slot and returns its number.
    int write(const T& value, bool firstAfterSeek)
    {
        std::lock_guard lock(mutex_);
        wrapped_ = wrapped_ || last_ == Size;
        last_ = last_ % Size + 1;
        slots_[static_cast<std::size_t>(last_ - 1)] = value;
        if (firstAfterSeek)
            first_ = last_;
        return last_;
    }
    // A copy of slot `number`; false for a slot never written.
    bool read(int number, T& value) const
    {
        std::lock_guard lock(mutex_);
        if (number < 1 || number > Size || !written(number))
            return false;
        value = slots_[static_cast<std::size_t>(number - 1)];
        return true;
    }
    int lastSlot() const
    {
        std::lock_guard lock(mutex_);
        return last_;
    }
    int firstAfterSeek() const
    {
        std::lock_guard lock(mutex_);
        return first_;
    }
    void reset()
    {
        std::lock_guard lock(mutex_);
        last_ = first_ = 0;
        wrapped_ = false;
    }

private:
    bool written(int number) const { return wrapped_ || number <= last_; }

    mutable std::mutex mutex_;
    std::array<T, Size> slots_{};
    int last_ = 0;
    int first_ = 0;
    bool wrapped_ = false;
};
