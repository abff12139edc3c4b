#include "framework/managers/shortcuts.h"

#include "framework/actions/action_list.h"
#include "framework/actions/actions.h"
#include "tests/framework/managers/appli_test_support.h"

#include <QAction>

namespace {

// The keys several actions were given, and who keeps each. Changing an owner
// changes what users' fingers know: do it here on purpose, or not at all.
TEST(SharedShortcuts, EachKeyHasOneFixedOwner)
{
    const struct
    {
        const char* key;
        const char* owner;
        const char* other;
    } pinned[] = {
        {"Alt+F5", "naForcerNormal", "naEMail"},
        {"Alt+F6", "naForcer4x3", "naHomePage"},
        {"Ctrl+N", "naInsertNumero", "caInsertAntiAliasing"},
    };
    ASSERT_EQ(SharedShortcuts().size(), std::size(pinned));
    for (const auto& p : pinned) {
        SCOPED_TRACE(p.key);
        const QKeySequence key(p.key);
        EXPECT_EQ(ShortcutFor(p.owner, key), key);
        EXPECT_TRUE(ShortcutFor(p.other, key).isEmpty());
        // Other keys are left alone.
        EXPECT_EQ(ShortcutFor(p.other, QKeySequence("F7")), QKeySequence("F7"));
    }

    // Whatever the order the lists are built in, each key ends with its owner,
    // main or secondary.
    for (const bool ownersFirst : {true, false}) {
        TKvActionList owners, others;
        for (const auto& p : pinned) {
            TCustomAbstractAction::CreateNamed<TNopeAction>(&owners, p.owner)->SetShortCut(QKeySequence(p.key));
            auto* other = TCustomAbstractAction::CreateNamed<TNopeAction>(&others, p.other);
            other->SetShortCut(QKeySequence(p.key));
            other->SetSecondaryShortcuts({QKeySequence(p.key), QKeySequence("Shift+F3")});
        }
        ApplySharedShortcuts(ownersFirst ? owners : others);
        ApplySharedShortcuts(ownersFirst ? others : owners);
        for (const auto& p : pinned) {
            EXPECT_EQ(owners.Find<TNopeAction>(p.owner)->ShortCut(), QKeySequence(p.key));
            EXPECT_TRUE(others.Find<TNopeAction>(p.other)->ShortCut().isEmpty());
            EXPECT_EQ(others.Find<TNopeAction>(p.other)->SecondaryShortcuts(), QList{QKeySequence("Shift+F3")});
        }
    }
}

// The main window's aspect action and the manager's e-mail action on one
// window: the key runs the aspect action, and the e-mail stays in its menu.
TEST_F(AppliManTest, SharedKeyRunsItsOwnerAndTheOtherStaysInItsMenu)
{
    TKvActionList mainList;
    auto* normal = TCustomAbstractAction::CreateNamed<TNopeAction>(&mainList, "naForcerNormal");
    normal->SetShortCut(QKeySequence("Alt+F5"));
    int aspect = 0;
    normal->InternalApply = [&] { ++aspect; };
    ApplySharedShortcuts(mainList);
    AddWindowActions(&Window, mainList);
    ShowWindow();

    QTest::keyClick(&Window, Qt::Key_F5, Qt::AltModifier);
    EXPECT_EQ(aspect, 1);
    EXPECT_TRUE(Shell.opened.isEmpty());

    QAction* menuItem = WindowAction(&Window, Man->naEMail);
    EXPECT_EQ(menuItem, WindowAction(&Window, Man->naEMail));
    EXPECT_EQ(menuItem->text(), "E-mail");
    EXPECT_TRUE(menuItem->shortcut().isEmpty());
    menuItem->trigger();
    EXPECT_EQ(Shell.opened.size(), 1);
}

} // namespace
