#include "framework/widgets/kv_buttons.h"

#include "framework/actions/action_list.h"
#include "framework/actions/actions.h"
#include "framework/widgets/image_modules.h"
#include "framework/widgets/kv_bar.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

class KvButtonsTest : public testing::Test
{
protected:
    KvButtonsTest()
    {
        List.SetImages(&Images->ilKvPack);
        Grab = TCustomAbstractAction::CreateNamed<TNopeAction>(&List, "naGrab");
        Grab->ScriptName = "Grab";
        Grab->SetCaption("Grab");
        Grab->SetHint("Grab the picture");
        Grab->SetImageIndex(KvPackImage::Grab);
        Grab->OnAfterApply = [this] { ++Grabs; };
    }

    TImageModuleRef<TdmKvPackImages> Images;
    TKvActionList List;
    TNopeAction* Grab;
    int Grabs = 0;
};

TEST_F(KvButtonsTest, AButtonShowsItsActionAndExecutesIt)
{
    TKvButton button;
    button.SetAction(Grab);
    EXPECT_EQ(button.icon().cacheKey(), Images->ilKvPack.Icon(KvPackImage::Grab).cacheKey());
    EXPECT_EQ(button.toolTip(), "Grab the picture");
    EXPECT_TRUE(button.text().isEmpty()); // captions hidden by default

    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(Grabs, 1);

    Grab->SetEnabled(false);
    EXPECT_FALSE(button.isEnabled());
    Grab->SetEnabled(true);
    Grab->SetImageIndex(KvPackImage::Copy);
    EXPECT_EQ(button.icon().cacheKey(), Images->ilKvPack.Icon(KvPackImage::Copy).cacheKey());
    Grab->SetVisible(false);
    EXPECT_TRUE(button.isHidden());

    button.SetAction(nullptr);
    Grab->SetVisible(true);
    EXPECT_TRUE(button.isHidden()); // no longer follows the action
    button.click();
    EXPECT_EQ(Grabs, 1);
}

TEST_F(KvButtonsTest, ShowCaptionPrefersTheButtonsOwnCaption)
{
    TKvButton button;
    button.SetAction(Grab);
    button.SetShowCaption(true);
    EXPECT_EQ(button.text(), "Grab");
    EXPECT_EQ(button.toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
    button.SetCaption("Snap");
    EXPECT_EQ(button.text(), "Snap");
    Grab->SetCaption("Grab now");
    EXPECT_EQ(button.text(), "Snap");
    button.SetShowCaption(false);
    EXPECT_TRUE(button.text().isEmpty());
    EXPECT_EQ(button.toolButtonStyle(), Qt::ToolButtonIconOnly);
}

TEST_F(KvButtonsTest, SpeedButtonLinksTheActionsCaptionOnlyWhenAsked)
{
    TKvImgSpeedButton button;
    button.SetCaption("Open");
    button.SetAction(Grab);
    EXPECT_EQ(button.text(), "Open");
    button.SetLinkCaption(true);
    EXPECT_EQ(button.text(), "Grab");
    Grab->SetCaption("Grab now");
    EXPECT_EQ(button.text(), "Grab now");
    button.SetLinkCaption(false);
    EXPECT_EQ(button.text(), "Open");
    button.SetLinkCaption(true);
    button.SetAction(nullptr);
    EXPECT_EQ(button.text(), "Open");
}

TEST_F(KvButtonsTest, AButtonOutlivesItsAction)
{
    TKvImgSpeedButton button;
    button.SetLinkCaption(true);
    auto* other = TCustomAbstractAction::CreateNamed<TNopeAction>(&List, "naOther");
    other->SetCaption("Other");
    button.SetAction(other);
    EXPECT_EQ(button.text(), "Other");
    delete other;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(button.Action(), nullptr);
    EXPECT_TRUE(button.text().isEmpty());
    button.click(); // nothing to run
}

TEST_F(KvButtonsTest, ButtonsOfABarTakeItsButtonSize)
{
    TKvBar bar;
    bar.SetButtonWidth(32);
    bar.SetButtonHeight(36);
    auto* button = new TKvButton(&bar);
    EXPECT_EQ(button->size(), QSize(32, 36));
    bar.show();
    EXPECT_EQ(button->iconSize(), QSize(24, 24)); // the glyph scales with the button
}

} // namespace
