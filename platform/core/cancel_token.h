#pragma once
// A token that releases waits when it fires: a media graph holds one, and a
// streaming thread blocked in a send to the GUI thread gives up when the
// graph stops or flushes. Firing is sticky until reset().

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

class CancelToken
{
public:
    using Callback = std::function<void()>;
    using Subscription = std::uint64_t;

    bool fired() const { return fired_.load(std::memory_order_acquire); }

    // Runs every subscribed callback once, on the firing thread.
    void fire();
    // Arms the token again (a graph that runs after a stop).
    void reset() { fired_.store(false, std::memory_order_release); }

    // Registers a callback run by fire(); when the token has already fired it
    // runs at once and 0 is returned.
    Subscription subscribe(Callback callback);
    void unsubscribe(Subscription id);

private:
    std::atomic<bool> fired_{false};
    std::mutex mutex_;
    std::map<Subscription, Callback> callbacks_;
    Subscription next_ = 1;
};

using CancelTokenPtr = std::shared_ptr<CancelToken>;
