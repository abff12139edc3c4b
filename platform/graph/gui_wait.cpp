#include "platform/graph/gui_wait.h"

#include "platform/win/messages.h"

std::unique_lock<std::mutex> lockServingMessages(std::mutex& mutex)
{
    std::unique_lock lock(mutex, std::try_to_lock);
    if (!lock.owns_lock())
        WaitServingMessages([&] { return lock.try_lock(); }, -1);
    return lock;
}
