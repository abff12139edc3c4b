#pragma once
// Command-line switches: every action with a switch name can be run or set
// from the program's arguments. "+name" checks, "-name" unchecks, "/name"
// runs, toggles or (with "=value") sets; names match without regard to case;
// "quit" closes the main window after the other requests, provided at least
// one argument named an action. The arguments run once, at the application's
// first activation, or after the main window is first shown when no
// activation arrives.

#include "framework/actions/actions.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QWidget;

// One queued request.
struct TActionEx
{
    enum Mode : quint8 { On = 0, Off = 1, Run = 2, Bare = 3 };
    QPointer<TCustomAbstractAction> action;
    QString value;
    quint8 mode = Run;
};

using TSuperList = std::vector<TActionEx>;

class TKvSwitch : public QObject
{
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(QObject* sender)>;

    explicit TKvSwitch(QObject* owner = nullptr);

    // Fired at every activation of the application; the first one runs the
    // command line right after it.
    TNotifyEvent OnActivate;
    // Runs arguments without a prefix and names that no action bears.
    TCustomAbstractAction* DefaultAction() const { return FDefaultAction; }
    void SetDefaultAction(TCustomAbstractAction* action) { FDefaultAction = action; }
    // Fired when the command line asked for nothing.
    TNotifyEvent OnNoCommandLine;
    // True while the queue runs.
    bool Executing() const { return FExecuting; }

    // The window that "quit" closes and whose first showing runs the command
    // line when the application is never activated.
    void SetMainWindow(QWidget* window);

    void RegisterList(TTntActionList* list);
    void UnregisterList(TTntActionList* list);

    // Parses the program's arguments (those Qt did not take) and runs them.
    void RunCommandLine();
    // The same with the given arguments, the program's name excluded.
    void RunArguments(const QStringList& arguments);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Entry
    {
        QString name;
        QPointer<TCustomAbstractAction> action;
    };

    void Activated();
    void FirstActivation(QObject* sender);
    void ScheduleFirstRun();
    void ParseArgument(const QString& argument);
    TCustomAbstractAction* LookupSwitch(const QString& name);
    void ExecuteQueue();

    QList<Entry> FNames;
    TSuperList FQueue;
    QPointer<TCustomAbstractAction> FDefaultAction;
    QPointer<QWidget> FMainWindow;
    bool FQuit = false;
    bool FExecuting = false;
    bool FCommandLineRun = false;
};
