#include "platform/win/messages.h"

#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

constexpr UINT WM_TEST = WM_USER + 1;
// Long enough never to fire on a healthy run; it only turns a deadlock into a failure.
constexpr int kPatienceMs = 20000;

// A window for one test, destroyed at the end of it.
class TestWindow
{
public:
    explicit TestWindow(WindowProc proc) : wnd(AllocateHWnd(std::move(proc))) {}
    ~TestWindow() { DeallocateHWnd(wnd); }
    const HWND wnd;
};

// Runs `body` on a worker thread; finished() tells when it has returned.
class Worker
{
public:
    explicit Worker(std::function<void()> body)
        : thread_([this, body = std::move(body)] {
              body();
              finished_.store(true);
              WakeWaits();
          })
    {
    }
    ~Worker() { thread_.join(); }
    bool finished() const { return finished_.load(); }
    // Serves sends on the GUI thread until the worker has returned.
    bool waitServing()
    {
        return WaitServingMessages([this] { return finished(); }, kPatienceMs);
    }

private:
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

// Lets the worker block in its send before the GUI thread acts on it. A send
// that has not queued yet by then meets the same outcome (0 at once), so this
// can only make a run cover less, never fail.
void letSenderBlock(const std::atomic<bool>& aboutToSend)
{
    while (!aboutToSend.load())
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

TEST(Messages, SendFromWorkerRunsOnGuiThreadAndReturnsResult)
{
    const std::thread::id gui = std::this_thread::get_id();
    std::thread::id ranOn;
    bool sentFromOtherThread = false;
    TestWindow window([&](UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
        ranOn = std::this_thread::get_id();
        sentFromOtherThread = InSendMessage();
        return msg == WM_TEST ? LRESULT(wParam) * 1000 + lParam : -1;
    });
    ASSERT_NE(window.wnd, 0u);

    LRESULT result = 0;
    // Pointer-sized parameters pass through whole.
    const WPARAM big = WPARAM(1) << (sizeof(WPARAM) * 8 - 12);
    Worker worker([&] { result = SendMessage(window.wnd, WM_TEST, big, 7); });
    ASSERT_TRUE(worker.waitServing());
    EXPECT_EQ(result, LRESULT(big) * 1000 + 7);
    EXPECT_EQ(ranOn, gui);
    EXPECT_TRUE(sentFromOtherThread);

    // On the GUI thread a send is a direct call, not a send from another thread.
    EXPECT_EQ(SendMessage(window.wnd, WM_TEST, 2, 3), 2003);
    EXPECT_FALSE(sentFromOtherThread);
    EXPECT_FALSE(ReplyMessage(1));
}

TEST(Messages, PostsArriveInOrderOnTheGuiThread)
{
    const std::thread::id gui = std::this_thread::get_id();
    std::vector<WPARAM> received;
    bool allOnGui = true;
    TestWindow window([&](UINT, WPARAM wParam, LPARAM) -> LRESULT {
        allOnGui = allOnGui && std::this_thread::get_id() == gui;
        received.push_back(wParam);
        return 0;
    });
    constexpr int kCount = 200;
    {
        Worker worker([&] {
            for (int i = 0; i < kCount; ++i)
                PostMessage(window.wnd, WM_TEST, WPARAM(i), 0);
        });
        // A wait serves sends only: nothing posted is dispatched inside it.
        ASSERT_TRUE(worker.waitServing());
        EXPECT_TRUE(received.empty());
    }
    EXPECT_TRUE(PostMessage(window.wnd, WM_TEST, kCount, 0));
    ProcessMessages();
    ASSERT_EQ(received.size(), size_t(kCount + 1));
    for (int i = 0; i <= kCount; ++i)
        EXPECT_EQ(received[i], WPARAM(i));
    EXPECT_TRUE(allOnGui);
}

TEST(Messages, DeadWindowRefusesAtOnceAndItsHandleIsNeverReused)
{
    int calls = 0;
    HWND wnd = AllocateHWnd([&](UINT, WPARAM, LPARAM) -> LRESULT { return ++calls; });
    ASSERT_TRUE(IsWindow(wnd));
    ASSERT_TRUE(PostMessage(wnd, WM_TEST, 0, 0)); // queued, then dropped with the window
    DeallocateHWnd(wnd);
    DeallocateHWnd(wnd); // twice is harmless
    EXPECT_FALSE(IsWindow(wnd));
    EXPECT_FALSE(PostMessage(wnd, WM_TEST, 0, 0));
    EXPECT_EQ(SendMessage(wnd, WM_TEST, 0, 0), 0);
    LRESULT fromWorker = -1;
    {
        Worker worker([&] { fromWorker = SendMessage(wnd, WM_TEST, 0, 0); });
    } // joined without serving anything: the send cannot have blocked
    EXPECT_EQ(fromWorker, 0);
    ProcessMessages();
    EXPECT_EQ(calls, 0);

    TestWindow next([](UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    EXPECT_NE(next.wnd, wnd);
    EXPECT_FALSE(IsWindow(0));
    EXPECT_TRUE(PostMessage(0, WM_TEST, 0, 0)); // the thread's own queue: accepted, handled by no one
}

TEST(Messages, BlockedSendIsReleasedWithZeroWhenItsWindowDies)
{
    int calls = 0;
    HWND wnd = AllocateHWnd([&](UINT, WPARAM, LPARAM) -> LRESULT { return ++calls; });
    std::atomic<bool> aboutToSend{false};
    LRESULT result = -1;
    Worker worker([&] {
        aboutToSend.store(true);
        result = SendMessage(wnd, WM_TEST, 0, 0);
    });
    letSenderBlock(aboutToSend);
    DeallocateHWnd(wnd);
    ASSERT_TRUE(worker.waitServing());
    EXPECT_EQ(result, 0);
    ProcessMessages();
    EXPECT_EQ(calls, 0);
}

TEST(Messages, SendIsReleasedWhenTheProcedureDestroysItsWindow)
{
    // The window dies while its procedure is serving the send: the sender
    // goes at once with 0, before the procedure returns.
    HWND wnd = 0;
    std::atomic<bool> senderReturned{false};
    bool releasedWhileRunning = false;
    wnd = AllocateHWnd([&](UINT, WPARAM, LPARAM) -> LRESULT {
        DeallocateHWnd(wnd);
        releasedWhileRunning = WaitServingMessages([&] { return senderReturned.load(); }, kPatienceMs);
        return 42;
    });
    LRESULT result = -1;
    Worker worker([&] {
        result = SendMessage(wnd, WM_TEST, 0, 0);
        senderReturned.store(true);
        WakeWaits();
    });
    ASSERT_TRUE(worker.waitServing());
    EXPECT_TRUE(releasedWhileRunning);
    EXPECT_EQ(result, 0);
}

TEST(Messages, CancelTokenReleasesABlockedSendAndDropsIt)
{
    int calls = 0;
    TestWindow window([&](UINT, WPARAM, LPARAM) -> LRESULT { return ++calls; });
    CancelToken token;
    std::atomic<bool> aboutToSend{false};
    LRESULT result = -1;
    Worker worker([&] {
        aboutToSend.store(true);
        result = SendMessage(window.wnd, WM_TEST, 0, 0, &token);
    });
    letSenderBlock(aboutToSend);
    std::thread([&] { token.fire(); }).join(); // a stopping graph fires from its own thread
    ASSERT_TRUE(worker.waitServing());
    EXPECT_EQ(result, 0);
    ProcessMessages();
    EXPECT_EQ(calls, 0) << "a cancelled send must not run later";

    // A token that has fired already releases at once; after a reset it lets sends through.
    LRESULT again = -1;
    {
        Worker fired([&] { again = SendMessage(window.wnd, WM_TEST, 0, 0, &token); });
    }
    EXPECT_EQ(again, 0);
    token.reset();
    Worker armed([&] { again = SendMessage(window.wnd, WM_TEST, 0, 0, &token); });
    ASSERT_TRUE(armed.waitServing());
    EXPECT_EQ(again, 1);
}

TEST(Messages, ReplyMessageReleasesTheSenderEarly)
{
    std::atomic<LRESULT> seen{-1};
    bool sawReplyBeforeReturning = false;
    bool replied = false;
    TestWindow window([&](UINT, WPARAM, LPARAM) -> LRESULT {
        replied = ReplyMessage(7);
        // The sender must go on while this procedure is still running.
        sawReplyBeforeReturning = WaitServingMessages([&] { return seen.load() != -1; }, kPatienceMs);
        return 99;
    });
    Worker worker([&] {
        seen.store(SendMessage(window.wnd, WM_TEST, 0, 0));
        WakeWaits();
    });
    ASSERT_TRUE(worker.waitServing());
    EXPECT_TRUE(replied);
    EXPECT_TRUE(sawReplyBeforeReturning);
    EXPECT_EQ(seen.load(), 7);
}

TEST(Messages, SendsAreServedInsideNestedEventLoopsAndByProcessMessages)
{
    int calls = 0;
    TestWindow window([&](UINT, WPARAM wParam, LPARAM) -> LRESULT {
        ++calls;
        return LRESULT(wParam) + 1;
    });
    LRESULT first = 0;
    LRESULT second = 0;
    {
        // A modal loop: only the Qt event loop runs on the GUI thread.
        QEventLoop loop;
        Worker worker([&] {
            first = SendMessage(window.wnd, WM_TEST, 10, 0);
            QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
        });
        QTimer::singleShot(kPatienceMs, &loop, [&] { loop.exit(1); });
        EXPECT_EQ(loop.exec(), 0);
    }
    {
        Worker worker([&] { second = SendMessage(window.wnd, WM_TEST, 20, 0); });
        while (!worker.finished())
            ProcessMessages();
    }
    EXPECT_EQ(first, 11);
    EXPECT_EQ(second, 21);
    EXPECT_EQ(calls, 2);
}

TEST(Messages, SendsReachAModalLoopRunByAProcedureThatAWaitServes)
{
    // A wait serves a send whose procedure runs a modal loop: the sends that
    // come meanwhile, to a procedure slower than a sender looks for its
    // answer, are served by that loop, not kept for the wait, and each
    // sender wakes with its result.
    TestWindow slow([](UINT, WPARAM wParam, LPARAM) -> LRESULT {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return LRESULT(wParam) * 2;
    });
    std::vector<LRESULT> inner;
    int loopResult = -1;
    TestWindow modal([&](UINT, WPARAM, LPARAM) -> LRESULT {
        QEventLoop loop;
        Worker nested([&] {
            for (int i = 1; i <= 3; ++i)
                inner.push_back(SendMessage(slow.wnd, WM_TEST, WPARAM(i), 0));
            QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
        });
        QTimer::singleShot(kPatienceMs, &loop, [&] { loop.exit(1); });
        loopResult = loop.exec();
        return 5;
    });
    LRESULT outer = -1;
    Worker worker([&] { outer = SendMessage(modal.wnd, WM_TEST, 0, 0); });
    ASSERT_TRUE(worker.waitServing());
    EXPECT_EQ(loopResult, 0);
    EXPECT_EQ(outer, 5);
    EXPECT_EQ(inner, (std::vector<LRESULT>{2, 4, 6}));
}

TEST(Messages, AnExpectedWakeEndsNoWaitAndTheSendsThatFollowAreServedInIt)
{
    std::vector<LRESULT> results;
    TestWindow window([](UINT, WPARAM wParam, LPARAM) -> LRESULT { return LRESULT(wParam) + 1; });
    std::atomic<bool> done{false};
    {
        Worker worker([&] {
            for (int i = 0; i < 20; ++i) {
                ExpectWake();
                // Now and then the answer is slower than a spin lasts.
                if (i % 5 == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                results.push_back(SendMessage(window.wnd, WM_TEST, WPARAM(i), 0));
            }
            ExpectWake();
            done.store(true);
            WakeWaits();
        });
        EXPECT_TRUE(WaitServingMessages([&] { return done.load(); }, kPatienceMs));
        EXPECT_TRUE(done.load()) << "the wait ended before its condition held";
        while (!worker.finished())
            WaitServingMessages([&] { return worker.finished(); }, kPatienceMs);
    }
    ASSERT_EQ(results.size(), 20u);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(results[i], i + 1);

    // Expected wakes alone never end a wait before its time.
    const auto start = std::chrono::steady_clock::now();
    std::atomic<bool> stop{false};
    std::thread foretelling([&] {
        while (!stop.load()) {
            ExpectWake();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    EXPECT_FALSE(WaitServingMessages([] { return false; }, 30));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    stop.store(true);
    foretelling.join();
}

TEST(Messages, ManyThreadsSendingAndPostingAtOnce)
{
    std::atomic<int> handled{0};
    TestWindow window([&](UINT msg, WPARAM wParam, LPARAM) -> LRESULT {
        handled.fetch_add(1);
        return msg == WM_TEST ? LRESULT(wParam) : 0;
    });
    constexpr int kThreads = 4;
    constexpr int kEach = 100;
    std::atomic<int> wrong{0};
    std::atomic<int> running{kThreads};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                PostMessage(window.wnd, WM_TEST + 1, 0, 0);
                if (SendMessage(window.wnd, WM_TEST, WPARAM(t * kEach + i), 0) != LRESULT(t * kEach + i))
                    wrong.fetch_add(1);
            }
            running.fetch_sub(1);
        });
    // Alternate between waits and the event loop, as the program does.
    while (running.load() > 0) {
        WaitServingMessages([] { return false; }, 1);
        ProcessMessages();
    }
    for (std::thread& thread : threads)
        thread.join();
    ProcessMessages();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(handled.load(), 2 * kThreads * kEach);
}

} // namespace
