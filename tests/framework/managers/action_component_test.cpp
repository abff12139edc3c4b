#include "framework/actions/actions.h"
#include "framework/actions/switch.h"
#include "framework/managers/action_component.h"
#include "platform/win/messages.h"

#include <QPointer>
#include <QThread>
#include <QWidget>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>

namespace {

constexpr UINT WM_PING = WM_USER + 7;
constexpr UINT WM_FAIL = WM_USER + 8;

class TTestMan : public TKvActionComponent
{
public:
    explicit TTestMan(QObject* owner, QStringList* log) : TKvActionComponent(owner), FLog(log) {}

    TIntegerAction* iaLevel = nullptr;
    TCheckAction* caLoop = nullptr;
    std::atomic<Qt::HANDLE> wndProcThread{nullptr};
    std::atomic<int> pings{0};

protected:
    void CreateActions() override
    {
        *FLog << "create";
        iaLevel = CreateNamed<TIntegerAction>(this, "iaLevel");
        caLoop = CreateNamed<TCheckAction>(this, "caLoop");
    }
    void SetDefaults() override
    {
        *FLog << "defaults";
        iaLevel->SetDefaultValue(3);
    }
    void FindActions() override
    {
        *FLog << "find";
        iaLevel = Find<TIntegerAction>("iaLevel");
        caLoop = Find<TCheckAction>("caLoop");
    }
    void AssignEvents() override
    {
        *FLog << QString("assign %1 %2").arg(iaLevel != nullptr).arg(caLoop != nullptr);
        if (iaLevel)
            iaLevel->InternalApply = [this](const int& v) { *FLog << QString("level %1").arg(v); };
    }
    void WndProc(TMessage& message) override
    {
        if (message.Msg == WM_FAIL) {
            message.Result = 5;
            throw std::runtime_error("failing message");
        }
        if (message.Msg != WM_PING)
            return TKvActionComponent::WndProc(message);
        wndProcThread = QThread::currentThreadId();
        ++pings;
        message.Result = static_cast<LRESULT>(message.WParam + message.LParam);
    }

private:
    template <class A> static A* CreateNamed(TTntActionList* list, const QString& id)
    {
        return TCustomAbstractAction::CreateNamed<A>(list, id);
    }
    QStringList* FLog;
};

TEST(ManagerHooks, BuiltByCodeCreatesDefaultsAndWires)
{
    QStringList log;
    std::unique_ptr<TTestMan> man(TKvActionComponent::Create<TTestMan>(nullptr, &log));
    EXPECT_EQ(log, QStringList({"create", "defaults", "assign 1 1"}));
    man->iaLevel->SetValue(4);
    EXPECT_EQ(log.last(), "level 4");
    EXPECT_EQ(man->ActionCount(), 2);
}

TEST(ManagerHooks, RestoredFromLayoutFindsAndWires)
{
    QStringList log;
    std::unique_ptr<TTestMan> man(TKvActionComponent::Restore<TTestMan>(
        nullptr,
        [&](TTestMan* m) {
            log << "layout";
            TCustomAbstractAction::CreateNamed<TIntegerAction>(m, "iaLevel");
        },
        &log));
    EXPECT_EQ(log, QStringList({"layout", "find", "assign 1 0"}));
    EXPECT_EQ(man->caLoop, nullptr);
}

TEST(ManagerWindow, WorkerMessagesRunOnTheGuiThread)
{
    QStringList log;
    std::unique_ptr<TTestMan> man(TKvActionComponent::Create<TTestMan>(nullptr, &log));
    const HWND wnd = man->Handle();
    ASSERT_NE(wnd, 0u);
    LRESULT sent = -1;
    std::thread worker([&] {
        PostMessage(wnd, WM_PING, 1, 2);
        sent = SendMessage(wnd, WM_PING, 20, 22);
    });
    // A wait serves the send at once; the posted message waits for the pump.
    EXPECT_TRUE(WaitServingMessages([&] { return man->pings == 1; }, 10000));
    worker.join();
    EXPECT_EQ(sent, 42);
    ProcessMessages();
    EXPECT_EQ(man->pings, 2);
    EXPECT_EQ(man->wndProcThread.load(), QThread::currentThreadId());
    // Messages the manager does not handle get the default answer.
    EXPECT_EQ(SendMessage(wnd, WM_USER + 99, 1, 1), 0);

    // A message whose handling fails answers 0 and stops there, from any
    // thread and posted or sent; the window goes on serving.
    LRESULT failed = -1;
    EXPECT_NO_THROW(failed = SendMessage(wnd, WM_FAIL, 0, 0));
    EXPECT_EQ(failed, 0);
    std::atomic<LRESULT> fromWorker{-1};
    std::thread failing([&] {
        fromWorker = SendMessage(wnd, WM_FAIL, 0, 0);
        WakeWaits();
    });
    EXPECT_TRUE(WaitServingMessages([&] { return fromWorker == 0; }, 10000));
    failing.join();
    EXPECT_TRUE(PostMessage(wnd, WM_FAIL, 0, 0));
    EXPECT_NO_THROW(ProcessMessages());
    EXPECT_EQ(SendMessage(wnd, WM_PING, 1, 1), 2);
}

TEST(ManagerWindow, WindowAndActionsGoWithTheManager)
{
    QStringList log;
    QWidget form;
    auto* man = TKvActionComponent::Create<TTestMan>(&form, &log);
    const HWND wnd = man->Handle();
    const QPointer<TIntegerAction> level = man->iaLevel;
    EXPECT_EQ(level->parent(), &form);
    delete man;
    EXPECT_FALSE(IsWindow(wnd));
    EXPECT_FALSE(PostMessage(wnd, WM_PING, 0, 0));
    EXPECT_TRUE(level.isNull());

    // The switch forgets the names of a manager that is gone: a switch that
    // knows no names runs nothing, not even its default action.
    TKvSwitch commandLine;
    auto* linked = TKvActionComponent::Create<TTestMan>(nullptr, &log);
    linked->iaLevel->Switch = "level";
    linked->SetSwitch(&commandLine);
    TNopeAction fallback;
    int fallbackRuns = 0;
    fallback.InternalApply = [&] { ++fallbackRuns; };
    commandLine.SetDefaultAction(&fallback);
    delete linked;
    commandLine.RunArguments({"/level=2"});
    EXPECT_EQ(fallbackRuns, 0);

    // The usual end: the form goes with its manager and the actions.
    auto other = std::make_unique<QWidget>();
    TKvActionComponent::Create<TTestMan>(other.get(), &log);
    other.reset();
}

} // namespace
