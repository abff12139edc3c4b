#include "framework/managers/help_form.h"

#include "framework/actions/action_list.h"
#include "framework/actions/actions.h"
#include "framework/widgets/link_edit.h"

#include <QMenu>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class HelpFormTest : public testing::Test
{
protected:
    void SetUp() override
    {
        const struct
        {
            const char* id;
            const char* script;
            const char* key;
            const char* sw;
        } actions[] = {
            {"iaBeta", "Beta", "F2", "b"},
            {"naAlpha", "Alpha", "", "z"},
            {"caGamma", "Gamma", "Ctrl+A", ""},
            {"naDelta", "Delta", "", ""},
        };
        for (const auto& a : actions) {
            TCustomAbstractAction* action;
            if (a.id[0] == 'i')
                action = TCustomAbstractAction::CreateNamed<TIntegerAction>(&List, a.id);
            else if (a.id[0] == 'c')
                action = TCustomAbstractAction::CreateNamed<TCheckAction>(&List, a.id);
            else
                action = TCustomAbstractAction::CreateNamed<TNopeAction>(&List, a.id);
            action->ScriptName = a.script;
            action->SetShortCut(QKeySequence(a.key));
            action->Switch = a.sw;
        }
        auto* other = TCustomAbstractAction::CreateNamed<TNopeAction>(&Other, "naOther");
        other->ScriptName = "Other";
        other->SetShortCut(QKeySequence("F9"));
    }

    QStringList Rows(const TObjetListBox* list) const
    {
        QStringList rows;
        for (int row = 0; row < list->count(); ++row)
            rows << list->item(row)->text();
        return rows;
    }

    TKvActionList List;
    TKvActionList Other;
    THelpForm Form;
};

TEST_F(HelpFormTest, OnePagePerTitleEachListAddedInFull)
{
    Form.AddActionList("Kestrova", List);
    Form.AddActionList("Scripts", Other);
    Form.AddActionList("Kestrova", List);
    ASSERT_EQ(Form.Pages()->count(), 2);
    EXPECT_EQ(Form.ListOf("Kestrova")->objectName(), "lb1");
    EXPECT_EQ(Form.ListOf("Scripts")->objectName(), "lb2");
    EXPECT_EQ(Form.ListOf("Kestrova")->toolTip(), "Click with the right button to sort");
    EXPECT_EQ(Rows(Form.ListOf("Kestrova")),
              QStringList({"Alpha", "Alpha", "Beta", "Beta", "Delta", "Delta", "Gamma", "Gamma"}));
    EXPECT_EQ(Rows(Form.ListOf("Scripts")), QStringList{"Other"});
}

TEST_F(HelpFormTest, ThreeSortOrdersForEveryPage)
{
    Form.AddActionList("Kestrova", List);
    Form.AddActionList("Scripts", Other);
    const QList<QAction*> items = Form.SortMenu()->actions();
    ASSERT_EQ(items.size(), 3);
    const struct
    {
        int item;
        const char* caption;
        QStringList rows;
    } orders[] = {
        // Without a shortcut or a switch an action comes after all others.
        {1, "Sort by Shortcuts", {"Gamma", "Beta", "Alpha", "Delta"}},
        {2, "Sort by Switch", {"Beta", "Alpha", "Delta", "Gamma"}},
        {0, "Alphabetical order", {"Alpha", "Beta", "Delta", "Gamma"}},
    };
    for (const auto& order : orders) {
        EXPECT_EQ(items[order.item]->text(), order.caption);
        items[order.item]->trigger();
        EXPECT_EQ(Rows(Form.ListOf("Kestrova")), order.rows) << order.caption;
        EXPECT_EQ(Form.ListOf("Scripts")->SortIndex(), Form.ListOf("Kestrova")->SortIndex());
    }
}

TEST_F(HelpFormTest, SelectedActionShowsItsKeysSwitchAndDeclaration)
{
    auto* beta = List.Find<TIntegerAction>("iaBeta");
    beta->SetHint("Sets the beta level");
    beta->Comments = QStringList{"First line", "Second line"};
    Form.AddActionList("Kestrova", List);
    TObjetListBox* list = Form.ListOf("Kestrova");
    const struct
    {
        const char* script;
        QString name;
        QString sw;
        QString declaration;
    } rows[] = {
        {"Beta", "Beta    F2", "Switch:    /b=aInteger", "procedure Beta(const aInteger:integer);"},
        {"Delta", "Delta    ", "Switch:    N/A", "procedure Delta;"},
        {"Gamma", "Gamma    Ctrl+A", "Switch:    N/A", "procedure setGamma(const fisTrue:Boolean);\nprocedure Gamma;"},
    };
    for (const auto& row : rows) {
        list->setCurrentItem(list->findItems(row.script, Qt::MatchExactly).value(0));
        EXPECT_EQ(Form.NameLabel()->toPlainText(), row.name);
        EXPECT_EQ(Form.SwitchLabel()->toPlainText(), row.sw);
        EXPECT_EQ(Form.DeclarationEditor()->toPlainText().replace("\r\n", "\n"), row.declaration);
    }
    list->setCurrentItem(list->findItems("Beta", Qt::MatchExactly).value(0));
    EXPECT_EQ(Form.HintLabel()->toPlainText(), "Sets the beta level");
    EXPECT_EQ(Form.CommentsLabel()->toPlainText(), "First line\nSecond line");
}

// Each page keeps its own selection, and the labels show that of the page in
// front.
TEST_F(HelpFormTest, ChangingPageShowsThatPagesSelectedAction)
{
    Form.AddActionList("Kestrova", List);
    Form.AddActionList("Scripts", Other);
    TObjetListBox* kestrova = Form.ListOf("Kestrova");
    kestrova->setCurrentItem(kestrova->findItems("Gamma", Qt::MatchExactly).value(0));
    EXPECT_EQ(Form.NameLabel()->toPlainText(), "Gamma    Ctrl+A");

    Form.Pages()->setCurrentIndex(1);
    EXPECT_EQ(Form.NameLabel()->toPlainText(), "Other    F9");
    EXPECT_EQ(Form.DeclarationEditor()->toPlainText(), "procedure Other;");
    Form.Pages()->setCurrentIndex(0);
    EXPECT_EQ(Form.NameLabel()->toPlainText(), "Gamma    Ctrl+A");
}

// Coming back to the window shows the selected action as it is now.
TEST_F(HelpFormTest, ActivationShowsTheSelectedActionAfresh)
{
    Form.AddActionList("Kestrova", List);
    Form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form));
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));

    List.FindByInternalId("naAlpha")->SetHint("Runs the first step");
    EXPECT_EQ(Form.HintLabel()->toPlainText(), "");
    Form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
    EXPECT_EQ(Form.HintLabel()->toPlainText(), "Runs the first step");
}

TEST_F(HelpFormTest, ThePagesFillTheHeightLessEightAndTheLabelsShareAWidth)
{
    Form.AddActionList("Kestrova", List);
    Form.resize(700, 500);
    Form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form));
    const QRect pages = Form.Pages()->geometry();
    EXPECT_EQ(pages.height(), Form.height() - pages.top() - 8);
    const int width = Form.NameLabel()->width();
    EXPECT_GT(width, 0);
    for (QWidget* part : std::initializer_list<QWidget*>{Form.HintLabel(), Form.DeclarationEditor(), Form.SwitchLabel(),
                                                         Form.CommentsLabel()})
        EXPECT_EQ(part->width(), width);
    Form.resize(640, 300);
    EXPECT_EQ(Form.Pages()->height(), 300 - Form.Pages()->y() - 8);
}

TEST_F(HelpFormTest, DoubleClickRunsTheAction)
{
    int runs = 0;
    List.Find<TNopeAction>("naDelta")->InternalApply = [&] { ++runs; };
    Form.AddActionList("Kestrova", List);
    Form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form));
    TObjetListBox* list = Form.ListOf("Kestrova");
    const QRect row = list->visualItemRect(list->findItems("Delta", Qt::MatchExactly).value(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
    EXPECT_EQ(runs, 1);

    // A double click on an action that is gone does nothing.
    delete List.Find<TNopeAction>("naDelta");
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
    Form.ShowSelected();
    EXPECT_EQ(runs, 1);
}

} // namespace
