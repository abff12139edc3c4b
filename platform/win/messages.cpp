#include "platform/win/messages.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include <sched.h>

namespace {

using Clock = std::chrono::steady_clock;
using ProcPtr = std::shared_ptr<const WindowProc>;

struct PostedMessage
{
    HWND wnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

// A send from another thread. The sender waits on `released`; all fields are
// guarded by the message system's mutex, and `finished` mirrors `done` for a
// sender that looks without it.
struct PendingSend
{
    PostedMessage message;
    bool done = false;
    std::atomic<bool> finished{false};
    LRESULT result = 0;
    std::condition_variable released;
};

// A thread that hands work to another and waits for the answer looks for it
// for a short while before it sleeps: a sleeping thread on an idle core takes
// tens of microseconds to run again, longer than a window procedure takes to
// answer a send or the GUI thread to turn round between a send and the next.
// Only where the two threads can run at once.
constexpr auto kSpin = std::chrono::microseconds(50);
// After ExpectWake: about the time a standard-definition picture takes to be
// converted and reach its renderer.
constexpr auto kExpectedSpin = std::chrono::microseconds(400);

bool spinningPays()
{
    static const bool pays = [] {
        cpu_set_t cores;
        CPU_ZERO(&cores);
        return sched_getaffinity(0, sizeof cores, &cores) == 0 ? CPU_COUNT(&cores) > 1
                                                               : std::thread::hardware_concurrency() > 1;
    }();
    return pays;
}

inline void relax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// Whether `ready` became true within `spin`.
template <typename Ready> bool spinUntil(Ready&& ready, Clock::duration spin = kSpin)
{
    if (!spinningPays())
        return ready();
    const Clock::time_point end = Clock::now() + spin;
    for (;;) {
        for (int i = 0; i < 32; ++i) {
            if (ready())
                return true;
            relax();
        }
        if (Clock::now() >= end)
            return ready();
    }
}
using SendPtr = std::shared_ptr<PendingSend>;

// The send the GUI thread is serving right now, for ReplyMessage.
thread_local PendingSend* currentSend = nullptr;

const QEvent::Type kPostedEvent = QEvent::Type(QEvent::registerEventType());
const QEvent::Type kSendEvent = QEvent::Type(QEvent::registerEventType());

// The one table of windows and queues. Events carry no data: the data stays
// behind this object's mutex and an event only wakes the GUI thread.
class MessageSystem
{
public:
    static MessageSystem& instance()
    {
        static MessageSystem system;
        return system;
    }

    bool onGuiThread() const { return guiThread_.load(std::memory_order_acquire) == std::this_thread::get_id(); }

    HWND allocate(WindowProc proc);
    void deallocate(HWND wnd);
    bool isWindow(HWND wnd);
    bool post(const PostedMessage& message);
    LRESULT send(const PostedMessage& message, CancelToken* cancel);
    LRESULT callDirect(const PostedMessage& message);

    bool serveOneSend();
    // Whether any was served.
    bool serveSends()
    {
        bool served = false;
        while (serveOneSend())
            served = true;
        return served;
    }
    void dispatchPosted();
    // What a wait has seen: it sleeps until the next wake, expected wake or
    // queued send.
    struct Seen
    {
        uint64_t wakes;
        uint64_t expected;
        uint64_t events;
        bool sendQueued;
    };
    Seen seen()
    {
        std::lock_guard lock(mutex_);
        return {wakes_, expected_, events_.load(std::memory_order_relaxed), !sends_.empty()};
    }
    void wakeWaits()
    {
        {
            std::lock_guard lock(mutex_);
            ++wakes_;
        }
        signal();
    }
    void expectWake()
    {
        // On one core the wait could only wake to find nothing and sleep
        // again, taking the core from the thread that foretold it.
        if (!spinningPays())
            return;
        {
            std::lock_guard lock(mutex_);
            ++expected_;
        }
        signal();
    }
    // Waits until a wake after `seen`, a queued send or an expected wake (on
    // the GUI thread) or `until`, when given; looks for them for `spin`
    // before it sleeps.
    void wait(Seen seen, bool gui, std::optional<Clock::time_point> until, Clock::duration spin);

    void reply(PendingSend& send, LRESULT result)
    {
        {
            std::lock_guard lock(mutex_);
            settle(send, result);
        }
        send.released.notify_all();
    }
    void receiverDestroyed();
    void synchronize() { std::lock_guard lock(mutex_); }

private:
    ProcPtr procOf(HWND wnd) const
    {
        const auto it = windows_.find(wnd);
        return it == windows_.end() ? nullptr : it->second;
    }
    // Gives the send its result; under the lock. Its sender is woken after
    // the lock is released, so that it does not wake only to wait for the
    // lock and sleep again.
    static void settle(PendingSend& send, LRESULT result)
    {
        if (!send.done) {
            send.done = true;
            send.result = result;
            send.finished.store(true, std::memory_order_release);
        }
    }
    // Settles and wakes the sender at once, for the rare releases made while
    // the lock is held (a window or the application going away).
    static void release(PendingSend& send, LRESULT result)
    {
        settle(send, result);
        send.released.notify_all();
    }
    void wake(bool& pending, QEvent::Type type, Qt::EventPriority priority);
    // After a change made under the lock, and with the lock released, so
    // that a spinning wait that sees it takes the lock at once.
    void signal()
    {
        events_.fetch_add(1, std::memory_order_release);
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::unordered_map<HWND, ProcPtr> windows_;
    HWND lastHandle_ = 0;
    std::deque<PostedMessage> posted_;
    std::deque<SendPtr> sends_;    // queued, not started
    std::vector<SendPtr> serving_; // started on the GUI thread (nested when a procedure pumps)
    // Signalled when a send is queued and on every wake.
    std::condition_variable changed_;
    uint64_t wakes_ = 0;
    uint64_t expected_ = 0;
    // Counts wakes, expected wakes and queued sends, for a wait that spins
    // without the lock.
    std::atomic<uint64_t> events_{0};
    QObject* receiver_ = nullptr;
    bool postedWakePending_ = false;
    bool sendWakePending_ = false;
    // The GUI thread sleeps or spins in wait(), which it leaves for every
    // queued send and then serves it: such a send needs no event of the Qt
    // loop.
    bool guiWaiting_ = false;
    std::atomic<std::thread::id> guiThread_{};
};

// Lives on the GUI thread as a child of the application and turns the wake-up
// events into dispatch. Nested event loops (modal dialogs, ProcessMessages)
// deliver these events too, so sends are served there as well.
class MessageReceiver : public QObject
{
public:
    using QObject::QObject;
    ~MessageReceiver() override { MessageSystem::instance().receiverDestroyed(); }

    bool event(QEvent* e) override
    {
        // Our wake-up events are made by the posting thread while it holds
        // the system's lock; taking the lock once here orders that thread's
        // writes before our reads in a way race detectors can see (the Qt
        // queue in between is opaque to them).
        MessageSystem::instance().synchronize();
        if (e->type() == kSendEvent) {
            MessageSystem::instance().serveSends();
            return true;
        }
        if (e->type() == kPostedEvent) {
            MessageSystem::instance().dispatchPosted();
            return true;
        }
        return QObject::event(e);
    }
};

HWND MessageSystem::allocate(WindowProc proc)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return 0;
    std::lock_guard lock(mutex_);
    if (!receiver_) {
        receiver_ = new MessageReceiver(app);
        guiThread_.store(std::this_thread::get_id(), std::memory_order_release);
    }
    const HWND wnd = ++lastHandle_;
    windows_.emplace(wnd, std::make_shared<const WindowProc>(std::move(proc)));
    return wnd;
}

void MessageSystem::deallocate(HWND wnd)
{
    ProcPtr proc; // destroyed outside the lock: a procedure's captures may call back in
    std::lock_guard lock(mutex_);
    const auto it = windows_.find(wnd);
    if (it == windows_.end())
        return;
    proc = std::move(it->second);
    windows_.erase(it);
    std::erase_if(sends_, [wnd](const SendPtr& send) {
        if (send->message.wnd != wnd)
            return false;
        release(*send, 0);
        return true;
    });
    for (const SendPtr& send : serving_)
        if (send->message.wnd == wnd)
            release(*send, 0);
    std::erase_if(posted_, [wnd](const PostedMessage& m) { return m.wnd == wnd; });
}

bool MessageSystem::isWindow(HWND wnd)
{
    std::lock_guard lock(mutex_);
    return windows_.contains(wnd);
}

void MessageSystem::wake(bool& pending, QEvent::Type type, Qt::EventPriority priority)
{
    if (pending || !receiver_)
        return;
    pending = true;
    QCoreApplication::postEvent(receiver_, new QEvent(type), priority);
}

bool MessageSystem::post(const PostedMessage& message)
{
    if (message.wnd == 0)
        return true;
    std::lock_guard lock(mutex_);
    if (!windows_.contains(message.wnd))
        return false;
    posted_.push_back(message);
    wake(postedWakePending_, kPostedEvent, Qt::NormalEventPriority);
    return true;
}

LRESULT MessageSystem::callDirect(const PostedMessage& message)
{
    ProcPtr proc;
    {
        std::lock_guard lock(mutex_);
        proc = procOf(message.wnd);
    }
    if (!proc)
        return 0;
    // A send from the GUI thread to itself is not a send from another thread.
    PendingSend* const outer = std::exchange(currentSend, nullptr);
    struct Restore
    {
        PendingSend* outer;
        ~Restore() { currentSend = outer; }
    } restore{outer};
    return (*proc)(message.msg, message.wParam, message.lParam);
}

LRESULT MessageSystem::send(const PostedMessage& message, CancelToken* cancel)
{
    auto send = std::make_shared<PendingSend>();
    send->message = message;
    CancelToken::Subscription subscription = 0;
    if (cancel)
        subscription = cancel->subscribe([this, send] { reply(*send, 0); });
    // Cancelled already, or sent to no window: 0.
    LRESULT result = 0;
    {
        std::unique_lock lock(mutex_);
        if (!send->done && windows_.contains(message.wnd)) {
            sends_.push_back(send);
            if (!guiWaiting_)
                wake(sendWakePending_, kSendEvent, Qt::HighEventPriority);
            lock.unlock();
            signal();
            // The result is written before `finished`: an answer seen while
            // spinning needs no lock.
            if (!spinUntil([&] { return send->finished.load(std::memory_order_acquire); })) {
                lock.lock();
                send->released.wait(lock, [&] { return send->done; });
            }
            result = send->result;
        }
    }
    if (subscription)
        cancel->unsubscribe(subscription);
    return result;
}

bool MessageSystem::serveOneSend()
{
    SendPtr send;
    ProcPtr proc;
    {
        std::lock_guard lock(mutex_);
        sendWakePending_ = false;
        while (!sends_.empty() && !proc) {
            send = std::move(sends_.front());
            sends_.pop_front();
            if (send->done) // cancelled before it started
                continue;
            proc = procOf(send->message.wnd);
            if (!proc)
                release(*send, 0);
        }
        if (!proc)
            return false;
        serving_.push_back(send);
    }
    // Releases the sender with the procedure's result unless it replied,
    // and also when the procedure throws.
    struct Finish
    {
        MessageSystem& system;
        const SendPtr& send;
        PendingSend* outer;
        LRESULT result = 0;
        ~Finish()
        {
            currentSend = outer;
            {
                std::lock_guard lock(system.mutex_);
                settle(*send, result);
                std::erase(system.serving_, send);
            }
            send->released.notify_all();
        }
    } finish{*this, send, std::exchange(currentSend, send.get())};
    finish.result = (*proc)(send->message.msg, send->message.wParam, send->message.lParam);
    return true;
}

void MessageSystem::dispatchPosted()
{
    serveSends(); // sent messages go before posted ones
    std::size_t count;
    {
        std::lock_guard lock(mutex_);
        postedWakePending_ = false;
        count = posted_.size();
    }
    // Only what was queued on entry: messages posted meanwhile have woken a
    // new event, so a flood of posts cannot starve the rest of the event loop.
    for (; count > 0; --count) {
        PostedMessage message;
        ProcPtr proc;
        {
            std::lock_guard lock(mutex_);
            if (posted_.empty())
                return; // a nested loop took the rest
            message = posted_.front();
            posted_.pop_front();
            proc = procOf(message.wnd);
        }
        if (proc)
            (*proc)(message.msg, message.wParam, message.lParam);
    }
}

void MessageSystem::wait(Seen seen, bool gui, std::optional<Clock::time_point> until, Clock::duration spin)
{
    // Only a delay before the wait proper, which decides.
    if (until)
        spin = std::min(spin, *until - Clock::now());
    if (gui) {
        std::lock_guard lock(mutex_);
        guiWaiting_ = true;
    }
    if (spin > Clock::duration::zero() && !(gui && seen.sendQueued))
        spinUntil([&] { return events_.load(std::memory_order_acquire) != seen.events; }, spin);
    std::unique_lock lock(mutex_);
    const auto arrived = [&] {
        return wakes_ != seen.wakes || (gui && (!sends_.empty() || expected_ != seen.expected));
    };
    if (until)
        changed_.wait_until(lock, *until, arrived);
    else
        changed_.wait(lock, arrived);
    guiWaiting_ = false;
}

void MessageSystem::receiverDestroyed()
{
    // The application is going away: no window can be served any more.
    std::unordered_map<HWND, ProcPtr> windows;
    std::lock_guard lock(mutex_);
    receiver_ = nullptr;
    guiThread_.store(std::thread::id(), std::memory_order_release);
    windows.swap(windows_);
    for (const SendPtr& send : sends_)
        release(*send, 0);
    for (const SendPtr& send : serving_)
        release(*send, 0);
    sends_.clear();
    posted_.clear();
    postedWakePending_ = sendWakePending_ = false;
}

} // namespace

HWND AllocateHWnd(WindowProc proc)
{
    return MessageSystem::instance().allocate(std::move(proc));
}

void DeallocateHWnd(HWND wnd)
{
    MessageSystem::instance().deallocate(wnd);
}

bool IsWindow(HWND wnd)
{
    return MessageSystem::instance().isWindow(wnd);
}

bool PostMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return MessageSystem::instance().post({wnd, msg, wParam, lParam});
}

LRESULT SendMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, CancelToken* cancel)
{
    MessageSystem& system = MessageSystem::instance();
    if (system.onGuiThread())
        return system.callDirect({wnd, msg, wParam, lParam});
    if (cancel && cancel->fired())
        return 0;
    return system.send({wnd, msg, wParam, lParam}, cancel);
}

bool ReplyMessage(LRESULT result)
{
    PendingSend* const send = currentSend;
    if (!send)
        return false;
    MessageSystem::instance().reply(*send, result);
    return true;
}

bool InSendMessage()
{
    return currentSend != nullptr;
}

void ProcessMessages()
{
    if (!QCoreApplication::instance())
        return;
    QCoreApplication::processEvents();
    MessageSystem& system = MessageSystem::instance();
    if (system.onGuiThread())
        system.serveSends();
}

bool WaitServingMessages(const std::function<bool()>& done, int timeoutMs)
{
    MessageSystem& system = MessageSystem::instance();
    const bool gui = system.onGuiThread();
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    std::optional<uint64_t> expected;
    for (;;) {
        // The thread that sent is at work again: what it does next (another
        // send, or what ends this wait) usually follows at once.
        const bool served = gui && system.serveSends();
        // Read before the condition: a wake that comes while it is looked
        // at ends the wait below at once.
        const auto seen = system.seen();
        if (done())
            return true;
        if (timeoutMs >= 0 && Clock::now() >= deadline)
            return false;
        const bool foretold = gui && expected && *expected != seen.expected;
        expected = seen.expected;
        const Clock::duration spin = foretold ? Clock::duration(kExpectedSpin)
                                     : served ? Clock::duration(kSpin)
                                              : Clock::duration::zero();
        system.wait(seen, gui, timeoutMs >= 0 ? std::optional(deadline) : std::nullopt, spin);
    }
}

void WakeWaits()
{
    MessageSystem::instance().wakeWaits();
}

void ExpectWake()
{
    MessageSystem& system = MessageSystem::instance();
    // The GUI thread itself brings what it would wait for.
    if (!system.onGuiThread())
        system.expectWake();
}

void Sleep(DWORD ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
