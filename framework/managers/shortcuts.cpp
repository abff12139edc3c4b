#include "framework/managers/shortcuts.h"

#include "framework/actions/actions.h"

#include <QAction>
#include <QWidget>

namespace {

// The owners were chosen by family: the aspect keys Alt+F5 to Alt+F8 stay
// together, as do the inlay insert keys Ctrl+S, T, P, N, D and R. The e-mail
// and home-page commands are also links of the About page. (The file
// manager's New and Save of the main window also name Ctrl+N and Ctrl+S, but
// they are hidden and disabled there, and in the script window the keys are
// their own.)
const QList<TSharedShortcut> kShared{
    {QKeySequence(Qt::ALT | Qt::Key_F5), QStringLiteral("naForcerNormal"), {QStringLiteral("naEMail")}},
    {QKeySequence(Qt::ALT | Qt::Key_F6), QStringLiteral("naForcer4x3"), {QStringLiteral("naHomePage")}},
    {QKeySequence(Qt::CTRL | Qt::Key_N), QStringLiteral("naInsertNumero"), {QStringLiteral("caInsertAntiAliasing")}},
};

// The internal id of an action of ours, else its name.
QString IdOf(const TTntCustomAction& action)
{
    if (const auto* ours = qobject_cast<const TCustomAbstractAction*>(&action))
        return ours->InternalId;
    return action.Name();
}

const char* const kWindowActionProperty = "kestrovaAction";

} // namespace

const QList<TSharedShortcut>& SharedShortcuts()
{
    return kShared;
}

QKeySequence ShortcutFor(const QString& internalId, const QKeySequence& key)
{
    for (const TSharedShortcut& shared : kShared)
        if (shared.Key == key && shared.Owner != internalId)
            return QKeySequence();
    return key;
}

void ApplySharedShortcuts(TTntActionList& list)
{
    for (TTntCustomAction* action : list.ActionsInOrder()) {
        const QString id = IdOf(*action);
        if (action->ShortCut() != ShortcutFor(id, action->ShortCut()))
            action->SetShortCut(QKeySequence());
        QList<QKeySequence> secondary = action->SecondaryShortcuts();
        if (secondary.removeIf([&](const QKeySequence& key) { return ShortcutFor(id, key).isEmpty(); }) > 0)
            action->SetSecondaryShortcuts(secondary);
    }
}

QAction* WindowAction(QWidget* window, TTntCustomAction* action)
{
    for (QAction* shown : action->BoundActions())
        if (shown->parent() == window && shown->property(kWindowActionProperty).toBool())
            return shown;
    auto* shown = new QAction(window); // owned by the window
    shown->setProperty(kWindowActionProperty, true);
    action->Bind(shown);
    window->addAction(shown);
    return shown;
}

void AddWindowActions(QWidget* window, const TTntActionList& list)
{
    for (TTntCustomAction* action : list.ActionsInOrder())
        WindowAction(window, action);
}
