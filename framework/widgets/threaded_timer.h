#pragma once
// A timer whose interval is kept by a worker thread, so that it keeps time
// while the GUI thread is busy. Each tick is handed to the GUI thread, where
// OnTimer runs; the worker starts the next interval only after the tick has
// run, so at most one tick is ever pending.

#include <QObject>
#include <QThread>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class TThreadedTimer : public QObject
{
    Q_OBJECT
public:
    explicit TThreadedTimer(QObject* owner = nullptr);
    ~TThreadedTimer() override;

    bool Enabled() const { return Enabled_; }
    // True starts the ticks, counting the interval from now, when Interval is
    // above 0, or 0 with AllowZero. Setting the value the timer already has
    // changes nothing, so a running count is never restarted by it.
    void SetEnabled(bool enabled);

    int Interval() const { return Interval_; }
    // A new interval restarts the count from now.
    void SetInterval(int milliseconds);

    bool AllowZero() const { return AllowZero_; }
    // Counts from the next time the timer is enabled.
    void SetAllowZero(bool allow) { AllowZero_ = allow; }

    QThread::Priority ThreadPriority() const { return Priority_; }
    void SetThreadPriority(QThread::Priority priority);

    std::function<void(TThreadedTimer* sender)> OnTimer;

protected:
    bool event(QEvent* event) override;

private:
    void Run();
    void Tick();

    bool Enabled_ = false;
    int Interval_ = 1000;
    bool AllowZero_ = false;
    QThread::Priority Priority_ = QThread::NormalPriority;

    // Shared with the worker, under Mutex.
    std::mutex Mutex;
    std::condition_variable Wake;
    bool Running = false;   // the worker counts intervals; otherwise it sleeps
    bool Signalled = false; // ends the current wait without a tick
    bool Terminated = false;
    bool TickPending = false;
    int WaitInterval = 1000;

    std::unique_ptr<QThread> Worker;
};
