#include "framework/actions/switch.h"

#include "framework/actions/actions.h"
#include "platform/win/messages.h"

#include <QApplication>
#include <QEvent>
#include <QScopeGuard>
#include <QTimer>
#include <QWidget>

TKvSwitch::TKvSwitch(QObject* owner) : QObject(owner)
{
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive)
                RunShielded("activation", [this] { Activated(); });
        });
}

void TKvSwitch::SetMainWindow(QWidget* window)
{
    if (FMainWindow)
        FMainWindow->removeEventFilter(this);
    FMainWindow = window;
    if (!window || FCommandLineRun)
        return;
    if (window->isVisible())
        ScheduleFirstRun();
    else
        window->installEventFilter(this);
}

void TKvSwitch::Hold()
{
    FHeld = true;
}

void TKvSwitch::Release()
{
    if (!FHeld)
        return;
    FHeld = false;
    if (!FCommandLineRun && (FActivatedWhileHeld || (FMainWindow && FMainWindow->isVisible())))
        ScheduleFirstRun();
    FActivatedWhileHeld = false;
}

void TKvSwitch::ScheduleFirstRun()
{
    if (FHeld)
        return; // Release schedules it
    QTimer::singleShot(0, this, [this] {
        if (!FCommandLineRun && !FHeld)
            RunShielded("command line", [this] { FirstActivation(FMainWindow); });
    });
}

bool TKvSwitch::eventFilter(QObject* watched, QEvent* event)
{
    // Where no activation ever arrives (an offscreen session, a window
    // manager that does not give focus), the first showing stands for it.
    if (watched == FMainWindow && event->type() == QEvent::Show) {
        watched->removeEventFilter(this);
        ScheduleFirstRun();
    }
    return QObject::eventFilter(watched, event);
}

void TKvSwitch::Activated()
{
    if (FCommandLineRun) {
        if (OnActivate)
            OnActivate(QCoreApplication::instance());
    } else if (FHeld) {
        FActivatedWhileHeld = true;
    } else {
        FirstActivation(QCoreApplication::instance());
    }
}

void TKvSwitch::FirstActivation(QObject* sender)
{
    FCommandLineRun = true;
    if (FMainWindow)
        FMainWindow->removeEventFilter(this);
    if (OnActivate)
        OnActivate(sender);
    RunCommandLine();
}

void TKvSwitch::RegisterList(TTntActionList* list)
{
    for (TTntCustomAction* action : list->ActionsInOrder())
        if (auto* ours = qobject_cast<TCustomAbstractAction*>(action))
            FNames.append({ours->Switch, ours});
}

void TKvSwitch::UnregisterList(TTntActionList* list)
{
    for (TTntCustomAction* action : list->ActionsInOrder()) {
        const auto it =
            std::find_if(FNames.begin(), FNames.end(), [action](const Entry& e) { return e.action == action; });
        if (it != FNames.end())
            FNames.erase(it);
    }
    // A manager frees its actions before it leaves as a list: their entries
    // go too, or the switch would still count names that name nothing.
    FNames.removeIf([](const Entry& e) { return e.action.isNull(); });
}

void TKvSwitch::RunCommandLine()
{
    RunArguments(QCoreApplication::arguments().mid(1));
}

void TKvSwitch::RunArguments(const QStringList& arguments)
{
    FQueue.clear();
    FQuit = false;
    for (const QString& argument : arguments)
        ParseArgument(argument);
    if (!FQueue.empty())
        ExecuteQueue();
    else if (OnNoCommandLine)
        OnNoCommandLine(nullptr);
    FQueue.clear();
}

void TKvSwitch::ParseArgument(const QString& argument)
{
    TActionEx request;
    QString name;
    const QChar prefix = argument.isEmpty() ? QChar() : argument.front();
    if (prefix == QLatin1Char('+'))
        request.mode = TActionEx::On;
    else if (prefix == QLatin1Char('-'))
        request.mode = TActionEx::Off;
    else if (prefix == QLatin1Char('/'))
        request.mode = TActionEx::Run;
    else
        request.mode = TActionEx::Bare;

    if (request.mode == TActionEx::Bare) {
        request.value = argument;
    } else {
        const qsizetype equals = argument.indexOf(QLatin1Char('='), 1);
        name = equals < 0 ? argument.mid(1) : argument.mid(1, equals - 1);
        if (equals >= 0)
            request.value = argument.mid(equals + 1);
        name = name.toLower();
    }
    request.action = name.isEmpty() ? FDefaultAction.data() : LookupSwitch(name);
    if (request.action)
        FQueue.push_back(std::move(request));
}

TCustomAbstractAction* TKvSwitch::LookupSwitch(const QString& name)
{
    if (FNames.isEmpty())
        return nullptr;
    if (name.isEmpty())
        return FDefaultAction;
    if (name == QLatin1String("quit")) {
        FQuit = true;
        return nullptr;
    }
    for (const Entry& entry : std::as_const(FNames))
        if (entry.action && entry.name.compare(name, Qt::CaseInsensitive) == 0)
            return entry.action;
    return FDefaultAction;
}

void TKvSwitch::Run(const TActionEx& request)
{
    TCustomAbstractAction* action = request.action;
    auto* check = qobject_cast<TCheckAction*>(action);
    if (!check)
        action->SetValueFromString(request.value);
    else if (request.mode == TActionEx::On)
        check->SetChecked(true);
    else if (request.mode == TActionEx::Off)
        check->SetChecked(false);
    else if (request.mode == TActionEx::Run)
        check->SetChecked(!check->Checked());
}

void TKvSwitch::ExecuteQueue()
{
    if (FQueue.empty())
        return;
    // The messages processed between requests may start another run (the
    // first activation arriving meanwhile): this run keeps its own requests.
    const TSuperList queue = FQueue;
    const bool quit = FQuit;
    const bool wasExecuting = FExecuting;
    FExecuting = true;
    const auto done = qScopeGuard([this, wasExecuting] { FExecuting = wasExecuting; });
    for (const TActionEx& request : queue) {
        ProcessMessages();
        // The messages may have removed the action. A request that fails
        // does not keep the others from running.
        if (request.action && request.action->Enabled())
            RunShielded("command line", [&] { Run(request); });
        ProcessMessages();
    }
    if (!quit)
        return;
    if (FMainWindow)
        FMainWindow->close();
    else if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::closeAllWindows();
}
