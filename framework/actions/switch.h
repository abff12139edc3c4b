#pragma once
// Command-line switches: every action with a switch name can be run or set
// from the program's arguments. "+name" checks, "-name" unchecks, "/name"
// runs, toggles or (with "=value") sets; names match without regard to case;
// "quit" closes the main window after the other requests, provided at least
// one argument named an action. The arguments run once, at the application's
// first activation, or after the main window is first shown when no
// activation arrives; never while a holder keeps them back.

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

    // Keeps the command line back until Release. A window whose settings load
    // when it is first shown holds it until they have loaded, so that the
    // arguments act on the loaded values instead of being undone by them.
    void Hold();
    // Lets the command line run: at once (after the pending events) when the
    // first activation or the main window's showing has come meanwhile.
    void Release();
    bool Held() const { return FHeld; }

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
    // Runs or sets the action of one request.
    static void Run(const TActionEx& request);

    QList<Entry> FNames;
    TSuperList FQueue;
    QPointer<TCustomAbstractAction> FDefaultAction;
    QPointer<QWidget> FMainWindow;
    bool FQuit = false;
    bool FExecuting = false;
    bool FCommandLineRun = false;
    bool FHeld = false;
    bool FActivatedWhileHeld = false;
};
