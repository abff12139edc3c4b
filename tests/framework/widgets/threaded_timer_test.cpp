#include "framework/widgets/threaded_timer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <vector>

namespace {

// Runs the GUI thread's events for a while.
void Pump(int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

TEST(ThreadedTimerTest, TicksOnTheGuiThreadNoFasterThanTheInterval)
{
    TThreadedTimer timer;
    EXPECT_EQ(timer.Interval(), 1000);
    EXPECT_FALSE(timer.Enabled());
    timer.SetInterval(30);
    std::vector<qint64> ticks;
    QElapsedTimer clock;
    timer.OnTimer = [&](TThreadedTimer* sender) {
        EXPECT_EQ(sender, &timer);
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        ticks.push_back(clock.elapsed());
    };
    clock.start();
    timer.SetEnabled(true);
    QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 3, 5000);
    EXPECT_GE(ticks[0], 30);
    for (size_t i = 1; i < ticks.size(); ++i)
        EXPECT_GE(ticks[i] - ticks[i - 1], 29);
}

TEST(ThreadedTimerTest, ZeroIntervalRunsOnlyWhenAllowed)
{
    TThreadedTimer timer;
    int ticks = 0;
    timer.OnTimer = [&](TThreadedTimer*) { ++ticks; };
    timer.SetInterval(0);
    timer.SetEnabled(true);
    EXPECT_TRUE(timer.Enabled()); // stored, but nothing runs
    Pump(100);
    EXPECT_EQ(ticks, 0);

    timer.SetEnabled(false);
    timer.SetAllowZero(true);
    timer.SetEnabled(true);
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= 3, 5000);
}

TEST(ThreadedTimerTest, EnablingARunningTimerAgainKeepsItsCount)
{
    // Callers switch the timer on whenever a setting is applied, which may
    // happen more often than the interval.
    TThreadedTimer timer;
    int ticks = 0;
    timer.OnTimer = [&](TThreadedTimer*) { ++ticks; };
    timer.SetInterval(100);
    timer.SetEnabled(true);
    QElapsedTimer clock;
    clock.start();
    while (ticks == 0 && clock.elapsed() < 5000) {
        timer.SetEnabled(true);
        Pump(20);
    }
    EXPECT_GT(ticks, 0);
}

TEST(ThreadedTimerTest, DisablingDropsTheTickAlreadyOnItsWay)
{
    TThreadedTimer timer;
    int ticks = 0;
    timer.OnTimer = [&](TThreadedTimer*) { ++ticks; };
    timer.SetInterval(5);
    timer.SetEnabled(true);
    QThread::msleep(50); // a tick is now queued for the GUI thread
    timer.SetEnabled(false);
    Pump(100);
    EXPECT_EQ(ticks, 0);
}

TEST(ThreadedTimerTest, ANewIntervalRestartsTheCount)
{
    TThreadedTimer timer;
    QElapsedTimer clock;
    qint64 first = -1;
    timer.OnTimer = [&](TThreadedTimer*) {
        if (first < 0)
            first = clock.elapsed();
    };
    timer.SetInterval(150);
    timer.SetEnabled(true);
    Pump(100);
    clock.start();
    timer.SetInterval(200);
    EXPECT_TRUE(timer.Enabled());
    QTRY_VERIFY_WITH_TIMEOUT(first >= 0, 5000);
    EXPECT_GE(first, 199);
}

TEST(ThreadedTimerTest, DestroyedWithATickPendingOrFromItsOwnTick)
{
    int ticks = 0;
    {
        auto timer = std::make_unique<TThreadedTimer>();
        timer->OnTimer = [&](TThreadedTimer*) { ++ticks; };
        timer->SetInterval(1);
        timer->SetEnabled(true);
        QThread::msleep(30); // the worker now waits for its tick to be handled
    }
    Pump(50);
    EXPECT_EQ(ticks, 0);

    auto* timer = new TThreadedTimer;
    timer->SetInterval(1);
    timer->SetEnabled(true);
    bool destroyed = false;
    timer->OnTimer = [&](TThreadedTimer* sender) {
        destroyed = true;
        delete sender;
    };
    QTRY_VERIFY_WITH_TIMEOUT(destroyed, 5000);
    Pump(30);
}

} // namespace
