#include "framework/actions/actions.h"
#include "tests/common/qt_warnings.h"

#include <QAction>
#include <QPixmap>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace {

TEST(Binding, CheckableQActionLeavesTheDecisionToTheAction)
{
    TTntActionList list;
    auto* loop = TCustomAbstractAction::CreateNamed<TCheckAction>(&list, "caLoop");
    QAction menu;
    menu.setCheckable(true);
    loop->Bind(&menu);
    bool allow = false;
    loop->OnPrepare = [&] { return allow; };
    menu.trigger();
    EXPECT_FALSE(loop->Checked());
    EXPECT_FALSE(menu.isChecked());
    allow = true;
    menu.trigger();
    EXPECT_TRUE(loop->Checked());
    EXPECT_TRUE(menu.isChecked());
    loop->SetCheckedNoMacro(false);
    EXPECT_FALSE(menu.isChecked());
}

TEST(Binding, AFailingHandlerStopsAtTheQAction)
{
    TTntActionList list;
    auto* grab = TCustomAbstractAction::CreateNamed<TNopeAction>(&list, "naGrab");
    grab->InternalApply = [] { throw std::runtime_error("no picture"); };
    QAction menu;
    grab->Bind(&menu);
    const TExpectQtWarning told(QStringLiteral("action: no picture"));
    EXPECT_NO_THROW(menu.trigger());
    EXPECT_EQ(told.Count(), 1);
}

TEST(Binding, QActionShowsTheAction)
{
    TTntActionList list;
    TCustomImageList images;
    QPixmap pixmap(4, 4);
    pixmap.fill(Qt::red);
    images.Add(QIcon());
    images.Add(QIcon(pixmap));
    list.SetImages(&images);
    auto* grab = TCustomAbstractAction::CreateNamed<TNopeAction>(&list, "naGrab");
    int grabbed = 0;
    grab->InternalApply = [&] { ++grabbed; };
    QAction button, menu;
    grab->Bind(&button);
    grab->Bind(&menu);
    grab->SetCaption("Grab");
    grab->SetHint("Grab the picture");
    grab->SetShortCut(QKeySequence("Ctrl+G"));
    grab->SetSecondaryShortcuts({QKeySequence("F5")});
    grab->SetImageIndex(1);
    EXPECT_EQ(menu.text(), "Grab");
    EXPECT_EQ(menu.toolTip(), "Grab the picture");
    EXPECT_EQ(menu.shortcuts(), (QList<QKeySequence>{QKeySequence("Ctrl+G"), QKeySequence("F5")}));
    EXPECT_FALSE(button.icon().isNull());
    button.trigger();
    EXPECT_EQ(grabbed, 1);

    grab->SetEnabled(false);
    EXPECT_FALSE(menu.isEnabled());
    EXPECT_FALSE(grab->Execute());
    grab->SetVisible(false);
    EXPECT_FALSE(button.isVisible());
    EXPECT_EQ(grab->BoundActions().size(), 2);
}

TEST(Binding, EndsWhenEitherSideGoes)
{
    TTntActionList list;
    auto action = std::make_unique<TNopeAction>(&list);
    auto menu = std::make_unique<QAction>();
    action->Bind(menu.get());
    {
        QAction shortLived;
        action->Bind(&shortLived);
        EXPECT_EQ(action->BoundActions().size(), 2);
    }
    EXPECT_EQ(action->BoundActions().size(), 1);
    action.reset();
    EXPECT_EQ(list.ActionCount(), 0);
    menu->trigger();
}

TEST(Binding, ListAndActionForgetEachOther)
{
    auto list = std::make_unique<TTntActionList>();
    TNopeAction outside;
    outside.SetActionList(list.get());
    EXPECT_EQ(list->ActionCount(), 1);
    list.reset();
    EXPECT_EQ(outside.ActionList(), nullptr);
}

} // namespace
