#pragma once
// Keyboard shortcuts of action lists on a window, and the keys that more than
// one action of the program was given.
//
// Two actions with one key in one window would cancel each other out (the key
// would run neither), so every such key has one fixed owner: the same on every
// start, whatever order the lists are built in. The other actions lose the key
// and stay reachable from their menus.

#include <QKeySequence>
#include <QList>
#include <QString>

class QAction;
class QWidget;
class TTntActionList;
class TTntCustomAction;

// One key claimed by several actions (named by their InternalId).
struct TSharedShortcut
{
    QKeySequence Key;
    QString Owner;
    QStringList Others;
};

// Every key of the program that more than one action was given.
const QList<TSharedShortcut>& SharedShortcuts();

// The shortcut `internalId` carries when given `key`: the key itself, unless
// the key belongs to another action.
QKeySequence ShortcutFor(const QString& internalId, const QKeySequence& key);

// Takes the keys that belong to other actions away from the actions of `list`
// (main and secondary shortcuts). Every manager runs it once its actions are
// wired, so layouts that still carry such a key lose it too.
void ApplySharedShortcuts(TTntActionList& list);

// The one QAction of `window`'s top-level window that shows `action` there:
// created, bound and added to `window` on the first call for that top-level
// window, so the action's shortcuts work while it is active. Menus of the
// window show this same QAction, which keeps one key from being registered
// twice in one window.
QAction* WindowAction(QWidget* window, TTntCustomAction* action);

// WindowAction for every action of `list`.
void AddWindowActions(QWidget* window, const TTntActionList& list);

// Lends the keys of `owner`'s window to the window `guest` (a plate or a
// preview window that shows the owner's video): the owner's window actions
// are added to `guest`, except those whose action has one there already.
void LendWindowActions(QWidget* owner, QWidget* guest);
