#include "framework/widgets/kv_bar.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace {

class KvBarTest : public testing::Test
{
protected:
    KvBarTest()
    {
        Bar.resize(200, 40);
        Bar.show();
    }

    QWidget* AddButton(int width = 28)
    {
        auto* button = new QWidget(&Bar);
        button->resize(width, 20);
        QCoreApplication::processEvents(); // the bar sees the finished child
        return button;
    }

    TKvSeparator* AddSeparator()
    {
        auto* separator = new TKvSeparator(&Bar);
        QCoreApplication::processEvents();
        return separator;
    }

    TKvBar Bar;
};

TEST_F(KvBarTest, CentredButtonsOnA200PixelBar)
{
    QWidget* a = AddButton();
    QWidget* b = AddButton();
    QWidget* c = AddButton();
    Bar.SetAlignment(TKvBar::TBarAlignment::Center);
    EXPECT_EQ(a->geometry(), QRect(58, 4, 28, 28));
    EXPECT_EQ(b->x(), 86);
    EXPECT_EQ(c->x(), 114);
    EXPECT_EQ(Bar.Controls(), (QList<QWidget*>{a, b, c}));

    // Half of an odd free width, and of a negative one, is cut toward zero.
    Bar.resize(201, 40);
    EXPECT_EQ(a->x(), 58);
    Bar.resize(61, 40);
    EXPECT_EQ(a->x(), -11);
}

TEST_F(KvBarTest, LeftAndRightAlignmentWithMarginAndSpacing)
{
    QWidget* a = AddButton();
    QWidget* b = AddButton(40);
    Bar.SetButtonMargin(5);
    Bar.SetButtonSpacing(2);
    Bar.SetButtonTop(2);
    Bar.SetButtonHeight(30);
    EXPECT_EQ(a->geometry(), QRect(5, 2, 28, 30));
    EXPECT_EQ(b->geometry(), QRect(35, 2, 40, 30));

    // total = 2 * 5 - 2 + (28 + 2) + (40 + 2) = 80
    Bar.SetAlignment(TKvBar::TBarAlignment::Right);
    EXPECT_EQ(a->x(), 120);
    EXPECT_EQ(b->x(), 150);

    Bar.resize(300, 40);
    EXPECT_EQ(a->x(), 220);
}

TEST_F(KvBarTest, HiddenControlsTakeNoRoomAndMinimumWidthWidens)
{
    QWidget* a = AddButton(10);
    QWidget* hidden = AddButton();
    QWidget* c = AddButton();
    hidden->hide();
    Bar.SetButtonMinWidth(20);
    EXPECT_EQ(a->width(), 20);
    EXPECT_EQ(hidden->x(), 20);
    EXPECT_EQ(c->x(), 20);
    EXPECT_EQ(Bar.Controls(), (QList<QWidget*>{a, hidden, c}));

    hidden->show();
    EXPECT_EQ(hidden->x(), 20);
    EXPECT_EQ(c->x(), 48);
}

TEST_F(KvBarTest, AutoSeparationSharesTheFreeWidth)
{
    QWidget* a = AddButton();
    TKvSeparator* first = AddSeparator();
    QWidget* b = AddButton();
    TKvSeparator* second = AddSeparator();
    QWidget* c = AddButton(30);
    // Until asked, separators keep their own width.
    EXPECT_EQ(first->width(), 8);
    EXPECT_EQ(c->x(), 28 + 8 + 28 + 8);
    Bar.SetAutoSeparation(true);
    // (200 - 28 - 28 - 30) / 2 = 57
    EXPECT_EQ(first->width(), 57);
    EXPECT_EQ(second->width(), 57);
    EXPECT_EQ(b->x(), 85);
    EXPECT_EQ(c->x(), 170);
    EXPECT_EQ(a->x(), 0);

    second->hide();
    EXPECT_EQ(first->width(), 114);
    EXPECT_EQ(c->x(), 170);

    Bar.resize(50, 40); // less room than the buttons need: separators shrink to nothing
    EXPECT_EQ(first->width(), 0);

    // Aligned right, the row is measured with the separators' new widths:
    // (201 - 86) / 2 = 57 each, 200 in all, so it starts at 1.
    second->show();
    Bar.SetAlignment(TKvBar::TBarAlignment::Right);
    Bar.resize(201, 40);
    EXPECT_EQ(second->width(), 57);
    EXPECT_EQ(a->x(), 1);
    EXPECT_EQ(c->x(), 171);
    // And not with the widths they had before: (211 - 86) / 2 = 62.
    Bar.resize(211, 40);
    EXPECT_EQ(second->width(), 62);
    EXPECT_EQ(a->x(), 1);
    EXPECT_EQ(c->x(), 181);
}

TEST_F(KvBarTest, AutosizeFitsTheBarToItsButtons)
{
    AddButton();
    AddButton();
    Bar.SetButtonMargin(3);
    Bar.SetButtonSpacing(1);
    Bar.SetAutosize(true);
    // x ends at 3 + 2 * (28 + 1) = 61; width = margin + x
    EXPECT_EQ(Bar.width(), 64);
    EXPECT_EQ(Bar.height(), 2 * 4 + 28);
}

TEST_F(KvBarTest, ControlsKeepTheOrderInWhichTheyStand)
{
    QWidget* a = AddButton();
    QWidget* b = AddButton();
    QWidget* c = AddButton();
    c->move(-1, 0); // dragged in front of the first
    Bar.Realign();
    EXPECT_EQ(Bar.Controls(), (QList<QWidget*>{c, a, b}));
    EXPECT_EQ(a->x(), 28);

    QWidget* d = AddButton(); // a new control goes to the end
    EXPECT_EQ(d->x(), 84);

    delete a;
    EXPECT_EQ(Bar.Controls(), (QList<QWidget*>{c, b, d}));
    EXPECT_EQ(d->x(), 56);
}

} // namespace
