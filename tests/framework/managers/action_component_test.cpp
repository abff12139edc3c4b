#include "framework/actions/actions.h"
#include "framework/actions/switch.h"
#include "framework/managers/action_component.h"
#include "platform/win/messages.h"
#include "tests/common/qt_warnings.h"

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
    void ListActions(const TActionBinder& bind) override
    {
        bind(iaLevel, "iaLevel");
        bind(caLoop, "caLoop");
    }
    void CreateActions() override
    {
        *FLog << "create";
        TKvActionComponent::CreateActions();
    }
    void SetDefaults() override
    {
        *FLog << "defaults";
        iaLevel->SetDefaultValue(3);
    }
    void FindActions() override
    {
        *FLog << "find";
        TKvActionComponent::FindActions();
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
    QStringList* FLog;
};

// A manager built on another lists its base's actions first.
class TDerivedTestMan : public TTestMan
{
public:
    using TTestMan::TTestMan;

    TWidestringAction* waName = nullptr;
    TNopeAction* naGo = nullptr;

protected:
    void ListActions(const TActionBinder& bind) override
    {
        TTestMan::ListActions(bind);
        bind(waName, QStringLiteral("waName"));
        bind(naGo, "naGo");
    }
};

// Ids and classes of a list's actions, in list order.
QStringList Listed(const TKvActionComponent& man)
{
    QStringList listed;
    for (TCustomAbstractAction* action : man.AbstractActions())
        listed << action->InternalId + u' ' + action->metaObject()->className();
    return listed;
}

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

// One list of the actions serves both ways: built by code, each is created
// under its identity; restored, each is found by identity and class, and one
// the layout lacks, or holds as another class, stays empty.
TEST(ManagerHooks, OneListCreatesOrFindsTheActions)
{
    QStringList log;
    std::unique_ptr<TDerivedTestMan> made(TKvActionComponent::Create<TDerivedTestMan>(nullptr, &log));
    EXPECT_EQ(Listed(*made), QStringList({"iaLevel TIntegerAction", "caLoop TCheckAction", "waName TWidestringAction",
                                          "naGo TNopeAction"}));
    const QList<TCustomAbstractAction*> actions = made->AbstractActions();
    EXPECT_EQ(actions, (QList<TCustomAbstractAction*>{made->iaLevel, made->caLoop, made->waName, made->naGo}));
    for (TCustomAbstractAction* action : actions)
        EXPECT_EQ(action->Category(), "internal");

    std::unique_ptr<TDerivedTestMan> restored(TKvActionComponent::Restore<TDerivedTestMan>(
        nullptr,
        [](TDerivedTestMan* m) {
            TCustomAbstractAction::CreateNamed<TWidestringAction>(m, "naGo");
            TCustomAbstractAction::CreateNamed<TCheckAction>(m, "caLoop");
            TCustomAbstractAction::CreateNamed<TIntegerAction>(m, "iaLevel");
        },
        &log));
    EXPECT_EQ(restored->ActionCount(), 3);
    EXPECT_EQ(restored->iaLevel, restored->FindByInternalId("iaLevel"));
    EXPECT_EQ(restored->caLoop, restored->FindByInternalId("caLoop"));
    EXPECT_NE(restored->iaLevel, nullptr);
    EXPECT_NE(restored->caLoop, nullptr);
    EXPECT_EQ(restored->waName, nullptr);
    EXPECT_EQ(restored->naGo, nullptr);
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
    // thread and posted or sent; the window goes on serving. Each failure is
    // told.
    const TExpectQtWarning told(QStringLiteral("window procedure: failing message"));
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
    EXPECT_EQ(told.Count(), 3);
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
