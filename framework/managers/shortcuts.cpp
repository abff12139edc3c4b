#include "framework/managers/shortcuts.h"

#include "framework/actions/actions.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QShortcutEvent>
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

// On the QActions that WindowAction makes: the action they show.
const char* const kWindowActionProperty = "kestrovaAction";

// The QAction that WindowAction made for `action` in the window `top`.
QAction* WindowActionIn(const QWidget* top, const TTntCustomAction* action)
{
    for (QAction* shown : action->BoundActions()) {
        const auto* holder = qobject_cast<const QWidget*>(shown->parent());
        if (holder && holder->window() == top && shown->property(kWindowActionProperty).isValid())
            return shown;
    }
    return nullptr;
}

// Keys of the number pad. Qt's X11 keyboard drops the keypad modifier before
// it looks for a shortcut, so a "Num +" key never matches there. A key press
// that no widget took comes up to its window: this filter finds the action
// that carries the key there and sends it the shortcut. Where Qt matches the
// key itself, the key press never arrives.
class KeypadShortcuts final : public QObject
{
public:
    static void Install()
    {
        static KeypadShortcuts* installed = nullptr;
        if (!installed && qApp) {
            installed = new KeypadShortcuts(qApp); // owned by the application
            qApp->installEventFilter(installed);
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!(key->modifiers() & Qt::KeypadModifier) || !widget || !widget->isWindow())
            return false;
        const QKeySequence pressed(key->keyCombination());
        QList<QWidget*> holders = widget->findChildren<QWidget*>();
        holders.append(widget);
        for (QWidget* holder : std::as_const(holders)) {
            for (QAction* action : holder->actions()) {
                if (action->isEnabled() && action->isVisible() && action->shortcuts().contains(pressed)) {
                    QShortcutEvent shortcut(pressed, 0);
                    QCoreApplication::sendEvent(action, &shortcut);
                    return true;
                }
            }
        }
        return false;
    }

private:
    using QObject::QObject;
};

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
    // One QAction per top-level window, whichever of its widgets asked first:
    // a second one would register the same key twice there, and Qt runs
    // neither of two actions that share a key.
    if (QAction* shown = WindowActionIn(window->window(), action))
        return shown;
    KeypadShortcuts::Install();
    auto* shown = new QAction(window); // owned by the window
    shown->setProperty(kWindowActionProperty, QVariant::fromValue<QObject*>(action));
    action->Bind(shown);
    window->addAction(shown);
    return shown;
}

void AddWindowActions(QWidget* window, const TTntActionList& list)
{
    for (TTntCustomAction* action : list.ActionsInOrder())
        WindowAction(window, action);
}

void LendWindowActions(QWidget* owner, QWidget* guest)
{
    const QWidget* top = owner->window();
    for (QAction* shown : top->findChildren<QAction*>()) {
        const auto* action =
            qobject_cast<const TTntCustomAction*>(shown->property(kWindowActionProperty).value<QObject*>());
        const auto* holder = qobject_cast<const QWidget*>(shown->parent());
        if (action && holder && holder->window() == top && !WindowActionIn(guest->window(), action) &&
            !guest->actions().contains(shown))
            guest->addAction(shown);
    }
}
