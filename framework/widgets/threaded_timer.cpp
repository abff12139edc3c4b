#include "framework/widgets/threaded_timer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

#include <chrono>

namespace {
const QEvent::Type TickEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
}

TThreadedTimer::TThreadedTimer(QObject* owner) : QObject(owner)
{
    Worker.reset(QThread::create([this] { Run(); }));
    Worker->start(Priority_);
}

TThreadedTimer::~TThreadedTimer()
{
    {
        std::lock_guard lock(Mutex);
        Running = false;
        Terminated = true;
    }
    Wake.notify_all();
    Worker->wait();
    // A tick still queued for this object is dropped with it.
}

void TThreadedTimer::SetEnabled(bool enabled)
{
    if (enabled == Enabled_)
        return;
    Enabled_ = enabled;
    const bool run = enabled && (Interval_ > 0 || (Interval_ == 0 && AllowZero_));
    {
        std::lock_guard lock(Mutex);
        Running = run;
        WaitInterval = Interval_;
        if (run)
            Signalled = true;
    }
    Wake.notify_all();
}

void TThreadedTimer::SetInterval(int milliseconds)
{
    if (milliseconds == Interval_)
        return;
    const bool wasEnabled = Enabled_;
    SetEnabled(false);
    Interval_ = milliseconds;
    SetEnabled(wasEnabled);
}

void TThreadedTimer::SetThreadPriority(QThread::Priority priority)
{
    Priority_ = priority;
    Worker->setPriority(priority);
}

void TThreadedTimer::Run()
{
    std::unique_lock lock(Mutex);
    while (!Terminated) {
        if (!Running) {
            Wake.wait(lock, [this] { return Running || Terminated; });
            Signalled = false;
            continue;
        }
        const bool woken = Wake.wait_for(lock, std::chrono::milliseconds(WaitInterval),
                                         [this] { return Signalled || Terminated || !Running; });
        if (woken) {
            Signalled = false;
            continue;
        }
        TickPending = true;
        QCoreApplication::postEvent(this, new QEvent(TickEvent));
        Wake.wait(lock, [this] { return !TickPending || Terminated; });
    }
}

bool TThreadedTimer::event(QEvent* event)
{
    if (event->type() != TickEvent)
        return QObject::event(event);
    Tick();
    return true;
}

void TThreadedTimer::Tick()
{
    QPointer<TThreadedTimer> self(this);
    if (Enabled_ && OnTimer)
        OnTimer(this);
    if (!self)
        return; // the handler destroyed the timer
    {
        std::lock_guard lock(Mutex);
        TickPending = false;
    }
    Wake.notify_all();
}
