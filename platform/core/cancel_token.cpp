#include "platform/core/cancel_token.h"

#include <vector>

void CancelToken::fire()
{
    std::vector<Callback> toRun;
    {
        std::lock_guard lock(mutex_);
        fired_.store(true, std::memory_order_release);
        for (auto& [id, cb] : callbacks_)
            toRun.push_back(cb);
    }
    for (auto& cb : toRun)
        cb();
}

CancelToken::Subscription CancelToken::subscribe(Callback callback)
{
    {
        std::lock_guard lock(mutex_);
        if (!fired_.load(std::memory_order_acquire)) {
            const Subscription id = next_++;
            callbacks_.emplace(id, std::move(callback));
            return id;
        }
    }
    callback();
    return 0;
}

void CancelToken::unsubscribe(Subscription id)
{
    std::lock_guard lock(mutex_);
    callbacks_.erase(id);
}
