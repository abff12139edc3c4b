// The windows as a user drives them: real X key events (sent by xdotool to
// the window that has the keyboard focus) on the real windows, under a
// virtual X server (tests/scripts/under-xvfb.sh). Every shortcut reaches
// exactly one action; keys pressed in the full-screen plate and the preview
// window reach the main window's actions; nothing makes Qt warn.

#include "main_form_fixture.h"

#include "framework/managers/help_form.h"
#include "framework/managers/shortcuts.h"
#include "media/engine/video_forms.h"
#include "media/engine/windowless_man.h"
#include "platform/win/messages.h"
#include "script/host/script_form.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QShortcutEvent>
#include <QTest>

#include <map>
#include <set>

namespace {

// Every message Qt prints, from the start of the program on.
QStringList& QtMessages()
{
    static QStringList messages;
    return messages;
}

void KeepMessage(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        QtMessages().append(text);
    fprintf(stderr, "%s\n", qPrintable(text));
}

const bool messagesKept = (qInstallMessageHandler(KeepMessage), true);

// The X key name of one key combination, as xdotool takes it.
QString XKeyName(QKeyCombination combination)
{
    static const std::map<int, const char*> named{
        {Qt::Key_Escape, "Escape"},
        {Qt::Key_Tab, "Tab"},
        {Qt::Key_Backspace, "BackSpace"},
        {Qt::Key_Return, "Return"},
        {Qt::Key_Enter, "KP_Enter"},
        {Qt::Key_Insert, "Insert"},
        {Qt::Key_Delete, "Delete"},
        {Qt::Key_Home, "Home"},
        {Qt::Key_End, "End"},
        {Qt::Key_Left, "Left"},
        {Qt::Key_Up, "Up"},
        {Qt::Key_Right, "Right"},
        {Qt::Key_Down, "Down"},
        {Qt::Key_PageUp, "Prior"},
        {Qt::Key_PageDown, "Next"},
        {Qt::Key_Space, "space"},
        {Qt::Key_Plus, "plus"},
        {Qt::Key_Minus, "minus"},
        {Qt::Key_Asterisk, "asterisk"},
        {Qt::Key_Slash, "slash"},
        {Qt::Key_Comma, "comma"},
        {Qt::Key_Period, "period"},
        {Qt::Key_Pause, "Pause"},
        {Qt::Key_Backslash, "backslash"},
        {Qt::Key_Equal, "equal"},
        {Qt::Key_Semicolon, "semicolon"},
        {Qt::Key_BracketLeft, "bracketleft"},
        {Qt::Key_BracketRight, "bracketright"},
        {Qt::Key_Apostrophe, "apostrophe"},
        {Qt::Key_QuoteLeft, "grave"},
    };
    static const std::map<int, const char*> keypad{
        {Qt::Key_Plus, "KP_Add"},     {Qt::Key_Minus, "KP_Subtract"}, {Qt::Key_Asterisk, "KP_Multiply"},
        {Qt::Key_Slash, "KP_Divide"}, {Qt::Key_Enter, "KP_Enter"},
    };
    const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    const int key = combination.key();
    QStringList parts;
    if (modifiers & Qt::ControlModifier)
        parts << QStringLiteral("ctrl");
    if (modifiers & Qt::AltModifier)
        parts << QStringLiteral("alt");
    if (modifiers & Qt::ShiftModifier)
        parts << QStringLiteral("shift");
    if (modifiers & Qt::MetaModifier)
        parts << QStringLiteral("super");
    if ((modifiers & Qt::KeypadModifier) && keypad.count(key))
        parts << QString::fromLatin1(keypad.at(key));
    else if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        parts << QStringLiteral("F%1").arg(key - Qt::Key_F1 + 1);
    else if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        parts << QChar(key).toLower();
    else if (named.count(key))
        parts << QString::fromLatin1(named.at(key));
    else
        return QString();
    return parts.join(u'+');
}

// Presses `combination` as a real key, given to the window with the focus.
void Press(QKeyCombination combination)
{
    const QString name = XKeyName(combination);
    ASSERT_FALSE(name.isEmpty()) << "no X name for " << QKeySequence(combination).toString().toStdString();
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("key"), name});
    ASSERT_TRUE(xdotool.waitForFinished(10'000));
    ASSERT_EQ(xdotool.exitCode(), 0) << xdotool.readAllStandardError().toStdString();
}

// The shortcut events that reach actions, swallowed while `swallow` is set
// so that a key can be tried without running its action.
class ShortcutSpy final : public QObject
{
public:
    struct Hit
    {
        QAction* action;
        QKeySequence key;
        bool ambiguous;
    };
    std::vector<Hit> hits;
    bool swallow = true;

    ShortcutSpy() { qApp->installEventFilter(this); }
    ~ShortcutSpy() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Shortcut) {
            if (auto* action = qobject_cast<QAction*>(watched)) {
                const auto* shortcut = static_cast<QShortcutEvent*>(event);
                hits.push_back({action, shortcut->key(), shortcut->isAmbiguous()});
                return swallow;
            }
        }
        return false;
    }
};

// The actions that carry keys in `window`: those a user can reach there (a
// button's link to its action is on no widget, and takes no key).
std::vector<QAction*> KeyedActions(QWidget* window)
{
    std::vector<QAction*> keyed;
    for (QAction* action : window->findChildren<QAction*>())
        if (action->isEnabled() && action->isVisible() && !action->shortcuts().isEmpty() &&
            action->shortcutContext() == Qt::WindowShortcut && !action->associatedObjects().isEmpty())
            keyed.push_back(action);
    return keyed;
}

class WindowKeysTest : public MainFormTest
{
protected:
    void SetUp() override
    {
        QtMessages().clear();
        MainFormTest::SetUp();
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "needs a real X server (run under tests/scripts/under-xvfb.sh)";
    }
    void TearDown() override
    {
        MainFormTest::TearDown();
        EXPECT_TRUE(QtMessages().isEmpty()) << "Qt warned:\n" << QtMessages().join(u'\n').toStdString();
    }

    void StartWithScripts()
    {
        Start(ProgramScriptParts());
        Activate(form.get());
    }
    static void Activate(QWidget* window)
    {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window)) << window->objectName().toStdString();
    }
    void OpenClip(const char* clip)
    {
        ASSERT_TRUE(form->ficman->OpenFile(QStringLiteral(KESTROVA_CLIPS_DIR "/") + QLatin1String(clip)));
        Settle();
    }

    // F12 in the main window opens the script window: that window once it
    // shows, or null.
    QWidget* OpenScriptsByKey()
    {
        Press(QKeyCombination(Qt::Key_F12));
        if (!Until([&] { return form->am->caScript->Checked(); }, 5000))
            return nullptr;
        QWidget* scripts = form->am->ScriptForm()->Window();
        return QTest::qWaitForWindowExposed(scripts) ? scripts : nullptr;
    }

    // Presses every key of every keyed action of `window`: each reaches its
    // own action once, and no other.
    void EveryKeyReachesItsAction(QWidget* window)
    {
        ShortcutSpy spy;
        std::map<QKeySequence, QAction*> owners;
        const std::vector<QAction*> keyed = KeyedActions(window);
        ASSERT_GT(keyed.size(), 10u);
        for (QAction* action : keyed) {
            for (const QKeySequence& key : action->shortcuts()) {
                const auto [at, added] = owners.emplace(key, action);
                EXPECT_TRUE(added) << key.toString().toStdString() << " is the key of both \""
                                   << at->second->text().toStdString() << "\" and \"" << action->text().toStdString()
                                   << '"';
            }
        }
        for (const auto& [key, action] : owners) {
            Activate(window);
            spy.hits.clear();
            Press(key[0]);
            Until([&] { return !spy.hits.empty(); }, 3000);
            ProcessMessages();
            const std::string name = key.toString().toStdString() + " (" + action->text().toStdString() + ")";
            ASSERT_EQ(spy.hits.size(), 1u) << name << " reached " << spy.hits.size() << " actions";
            EXPECT_EQ(spy.hits[0].action, action) << name << " reached " << spy.hits[0].action->text().toStdString();
            EXPECT_FALSE(spy.hits[0].ambiguous) << name;
        }
    }
};

TEST_F(WindowKeysTest, EveryShortcutOfTheMainWindowReachesOneAction)
{
    StartWithScripts();
    OpenClip("two_sounds.mkv");
    EveryKeyReachesItsAction(form.get());
}

TEST_F(WindowKeysTest, EveryShortcutOfTheScriptWindowReachesOneAction)
{
    StartWithScripts();
    QWidget* scripts = OpenScriptsByKey();
    ASSERT_NE(scripts, nullptr);
    EveryKeyReachesItsAction(scripts);
}

// F12 gives the script window the keyboard, its editor first: what the user
// types next is the script, and F5 there runs it.
TEST_F(WindowKeysTest, TheScriptWindowOpensReadyForTyping)
{
    StartWithScripts();
    OpenClip("mpeg2.mpg");
    QWidget* scripts = OpenScriptsByKey();
    ASSERT_NE(scripts, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(scripts));
    Press(QKeyCombination(Qt::CTRL, Qt::Key_A));
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("begin AvanceFrame; end.")});
    ASSERT_TRUE(xdotool.waitForFinished(10'000));
    Press(QKeyCombination(Qt::Key_F5));
    EXPECT_EQ(WaitFor(1), 1);
}

// The page keys run their actions: a page opened by its key closes by the
// same key, as the page's own text says.
TEST_F(WindowKeysTest, FunctionKeysOpenAndCloseThePages)
{
    StartWithScripts();
    const struct
    {
        Qt::Key key;
        TCheckAction* action;
    } pages[] = {{Qt::Key_F10, form->am->caOptions}, {Qt::Key_F11, form->am->caAbout}};
    for (const auto& page : pages) {
        Activate(form.get());
        Press(QKeyCombination(page.key));
        EXPECT_TRUE(Until([&] { return page.action->Checked(); }, 5000)) << page.action->Caption().toStdString();
        Press(QKeyCombination(page.key));
        EXPECT_TRUE(Until([&] { return !page.action->Checked(); }, 5000)) << page.action->Caption().toStdString();
    }
    // F1 shows the help window beside the main window.
    Press(QKeyCombination(Qt::Key_F1));
    EXPECT_TRUE(Until([&] { return HelpForm && HelpForm->isVisible(); }, 5000));
    HelpForm->hide();
    EXPECT_TRUE(Until([&] { return !form->am->caHelp->Checked(); }, 5000));
}

// Keys pressed in the plate and in the preview window are the main window's:
// Esc leaves full screen, a step key steps.
TEST_F(WindowKeysTest, KeysOfThePlateAndThePreviewReachTheMainWindow)
{
    StartWithScripts();
    OpenClip("two_sounds.mkv");
    Press(QKeyCombination(Qt::ALT, Qt::Key_Return));
    ASSERT_TRUE(Until([&] { return form->vidman->caFullscreen->Checked(); }, 5000));
    QWidget* plate = form->vidman->Plaque();
    ASSERT_TRUE(plate && plate->isVisible());
    Activate(plate);
    Press(QKeyCombination(Qt::Key_Escape));
    EXPECT_TRUE(Until([&] { return !form->vidman->caFullscreen->Checked(); }, 5000));
    EXPECT_FALSE(plate->isVisible());

    Activate(form.get());
    Press(QKeyCombination(Qt::ALT, Qt::Key_Backspace));
    ASSERT_TRUE(Until([&] { return form->vidman->caExternalPreview->Checked(); }, 5000));
    QWidget* preview = form->vidman->PreviewForm();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(preview));
    Activate(preview);
    const int before = WaitFor(0);
    Press(QKeyCombination(Qt::CTRL, Qt::Key_Right));
    EXPECT_EQ(WaitFor(1), 1) << "from frame " << before;
    Press(QKeyCombination(Qt::ALT, Qt::Key_Backspace));
    EXPECT_TRUE(Until([&] { return !form->vidman->caExternalPreview->Checked(); }, 5000));
}

// Alt and a menu's underlined letter opens that menu, in the main window and
// in the script window: every menu has a letter, no two share one, and no
// shortcut of the window takes it.
TEST_F(WindowKeysTest, AltAndAMenusLetterOpensIt)
{
    StartWithScripts();
    OpenClip("two_sounds.mkv");
    QWidget* scripts = OpenScriptsByKey();
    ASSERT_NE(scripts, nullptr);
    for (QWidget* window : {static_cast<QWidget*>(form.get()), scripts}) {
        std::set<QKeySequence> taken;
        for (QAction* action : KeyedActions(window))
            for (const QKeySequence& key : action->shortcuts())
                taken.insert(key);
        auto* bar = window->findChild<QMenuBar*>();
        ASSERT_NE(bar, nullptr);
        int menus = 0;
        for (QAction* item : bar->actions()) {
            if (!item->menu() || !item->isVisible())
                continue;
            ++menus;
            const std::string title = item->text().toStdString();
            const QKeySequence key = QKeySequence::mnemonic(item->text());
            ASSERT_FALSE(key.isEmpty()) << title << " has no letter";
            EXPECT_TRUE(taken.insert(key).second) << title << ": " << key.toString().toStdString() << " is taken";
            Activate(window);
            Press(key[0]);
            EXPECT_TRUE(Until([&] { return item->menu()->isVisible(); }, 3000)) << title;
            Press(QKeyCombination(Qt::Key_Escape));
            EXPECT_TRUE(Until([&] { return !item->menu()->isVisible(); }, 3000)) << title;
        }
        EXPECT_GE(menus, 2);
    }
}

} // namespace
