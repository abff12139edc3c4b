#pragma once
// Waits of the GUI thread that keep serving sends from streaming threads, so
// that no wait of the graph can deadlock against a thread blocked in a send.

#include <atomic>
#include <mutex>

// A mutex the GUI thread may wait for while serving sends: whoever unlocks
// it while the GUI thread waits wakes that wait.
class ServingMutex
{
public:
    void lock() { mutex_.lock(); }
    bool try_lock() { return mutex_.try_lock(); }
    void unlock();

private:
    friend std::unique_lock<ServingMutex> lockServingMessages(ServingMutex& mutex);
    std::mutex mutex_;
    std::atomic<int> waiting_{0};
};

// Locks `mutex`, serving sends while another thread holds it.
std::unique_lock<ServingMutex> lockServingMessages(ServingMutex& mutex);
