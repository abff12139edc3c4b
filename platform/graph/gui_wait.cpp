#include "platform/graph/gui_wait.h"

#include "platform/win/messages.h"

// The waiter counts itself before it tries the lock, the holder unlocks
// before it looks at the count: with a full fence on each side, either the
// waiter's try finds the mutex free or the holder sees the waiter and wakes
// it.
void ServingMutex::unlock()
{
    mutex_.unlock();
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (waiting_.load(std::memory_order_relaxed) > 0)
        WakeWaits();
}

std::unique_lock<ServingMutex> lockServingMessages(ServingMutex& mutex)
{
    std::unique_lock lock(mutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        mutex.waiting_.fetch_add(1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_seq_cst);
        WaitServingMessages([&] { return lock.try_lock(); }, -1);
        mutex.waiting_.fetch_sub(1, std::memory_order_relaxed);
    }
    return lock;
}
