#include "media/filters/message_ring.h"

#include "platform/win/messages.h"

#include <QCoreApplication>
#include <QThread>

namespace {

constexpr UINT kAcknowledge = WM_USER + 1;
constexpr UINT kClose = WM_USER + 2;

bool onInterfaceThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && app->thread() == QThread::currentThread();
}

} // namespace

SlotTracker::SlotTracker(std::size_t size) : pending_(std::make_unique<std::atomic<int>[]>(size)) {}

SlotTracker::~SlotTracker() = default;

void SlotTracker::open(const std::shared_ptr<SlotTracker>& self)
{
    // The procedure holds the tracker: slots outlive the ring until the
    // messages that carry them have been dispatched.
    self->window_ = AllocateHWnd([self](UINT msg, WPARAM wParam, LPARAM) -> LRESULT {
        if (msg == kAcknowledge)
            self->release(wParam);
        else if (msg == kClose)
            DeallocateHWnd(self->window_);
        return 0;
    });
}

void SlotTracker::close()
{
    if (window_)
        PostMessage(window_, kClose, 0, 0);
}

void SlotTracker::hold(std::size_t index)
{
    pending_[index].fetch_add(1, std::memory_order_acq_rel);
}

void SlotTracker::release(std::size_t index)
{
    if (pending_[index].fetch_sub(1, std::memory_order_acq_rel) == 1) {
        std::lock_guard lock(mutex_);
        freed_.notify_all();
    }
}

void SlotTracker::releaseLater(std::size_t index)
{
    if (!window_ || !PostMessage(window_, kAcknowledge, index, 0))
        release(index);
}

bool SlotTracker::waitFree(std::size_t index, CancelToken* cancel)
{
    if (!isHeld(index))
        return true;
    if (onInterfaceThread()) {
        // The acknowledgements are queued for this very thread, which
        // waits for nobody meanwhile.
        while (isHeld(index))
            ProcessMessages();
        return true;
    }
    CancelToken::Subscription subscription = 0;
    if (cancel)
        subscription = cancel->subscribe([this] {
            std::lock_guard lock(mutex_);
            freed_.notify_all();
        });
    bool free;
    {
        std::unique_lock lock(mutex_);
        freed_.wait(lock, [&] { return !isHeld(index) || (cancel && cancel->fired()); });
        free = !isHeld(index);
    }
    if (subscription)
        cancel->unsubscribe(subscription);
    return free;
}

void SlotTracker::post(std::size_t index, HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!wnd)
        return;
    hold(index);
    if (PostMessage(wnd, msg, wParam, lParam))
        releaseLater(index);
    else
        release(index);
}

LRESULT SlotTracker::send(std::size_t index, HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, CancelToken* cancel)
{
    if (!wnd)
        return 0;
    hold(index);
    const LRESULT result = SendMessage(wnd, msg, wParam, lParam, cancel);
    if (cancel && cancel->fired())
        releaseLater(index);
    else
        release(index);
    return result;
}
