#include "framework/widgets/objet_list_box.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

const TSortIndex ByKey{1, "key", "by key", "sorted by key"};

class Named : public TAbstractListObjet
{
public:
    Named(QString name, QString key, int* alive) : Name(std::move(name)), Key(std::move(key)), Alive(alive)
    {
        ++*Alive;
    }
    ~Named() override { --*Alive; }

    QString Text(const TSortIndex& sort) const override { return sort == ByKey ? Key + Name : Name; }

    QString Name;
    QString Key;
    int* Alive;
};

class ObjetListBoxTest : public testing::Test
{
protected:
    void Add(const QString& name, const QString& key = "zzz")
    {
        List->AddObjet(std::make_unique<Named>(name, key, &Alive));
    }

    QStringList Rows() const
    {
        QStringList rows;
        for (int row = 0; row < List->count(); ++row)
            rows << List->item(row)->text();
        return rows;
    }

    int Alive = 0;
    std::unique_ptr<TObjetListBox> List = std::make_unique<TObjetListBox>();
};

TEST_F(ObjetListBoxTest, KeepsObjectsSortedByTheCurrentKey)
{
    EXPECT_EQ(List->SortIndex().Name, "alpha");
    EXPECT_EQ(List->SortIndex().Caption, "in alphabetical order");
    EXPECT_EQ(List->SortIndex().Hint, "alphabetically sorted");
    Add("Play", "Ctrl+Space");
    Add("grab", "F5");
    Add("Abort", "Esc");
    Add("copy");
    Add("grab", "F5"); // the same object twice is listed twice
    EXPECT_EQ(Rows(), (QStringList{"Abort", "copy", "grab", "grab", "Play"}));

    List->SetSortIndex(ByKey);
    EXPECT_EQ(Rows().first(), "Abort"); // takes effect at the next re-sort
    List->Resort();
    EXPECT_EQ(Rows(), (QStringList{"Play", "Abort", "grab", "grab", "copy"}));
    EXPECT_EQ(static_cast<Named*>(List->Objet(0))->Key, "Ctrl+Space");
    EXPECT_EQ(List->Objet(5), nullptr);
}

TEST_F(ObjetListBoxTest, NavigationReportsCountsHintAndTheActiveObject)
{
    for (const char* name : {"a", "b", "c"})
        Add(name);
    std::vector<std::pair<int, int>> counts;
    std::vector<TAbstractListObjet*> active;
    List->OnCountsChange = [&](TObjetListBox*, int count, int selected) { counts.emplace_back(count, selected); };
    List->OnActiveChange = [&](TObjetListBox*, TAbstractListObjet* objet) { active.push_back(objet); };
    List->show();
    List->setCurrentRow(0);

    QTest::keyClick(List.get(), Qt::Key_Down);
    EXPECT_EQ(List->toolTip(), "one item seleteced on 3");
    EXPECT_EQ(counts, (std::vector<std::pair<int, int>>{{3, 1}}));
    EXPECT_EQ(active, (std::vector<TAbstractListObjet*>{List->Objet(1)}));

    QTest::keyClick(List.get(), Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(List->toolTip(), "2 items selected on 3");
    EXPECT_EQ(counts.back(), std::make_pair(3, 2));
    EXPECT_EQ(active.back(), List->Objet(2));

    // With Ctrl held the list moves but nothing is reported.
    QTest::keyClick(List.get(), Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(counts.size(), 2u);
    EXPECT_EQ(active.size(), 2u);
    // Nor with Alt.
    QTest::keyClick(List.get(), Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(counts.size(), 2u);
    EXPECT_EQ(active.size(), 2u);

    QTest::keyClick(List.get(), Qt::Key_Home);
    EXPECT_EQ(counts.back(), std::make_pair(3, 1));
    EXPECT_EQ(active.back(), List->Objet(0));
    QTest::keyClick(List.get(), Qt::Key_End);
    EXPECT_EQ(active.back(), List->Objet(2));

    QTest::mouseClick(List->viewport(), Qt::LeftButton, {}, List->visualItemRect(List->item(0)).center());
    EXPECT_EQ(counts.back(), std::make_pair(3, 1));
    EXPECT_EQ(active.back(), List->Objet(0));
}

TEST_F(ObjetListBoxTest, DeleteKeyRemovesTheSelectionAndSelectsTheOneBefore)
{
    for (const char* name : {"a", "b", "c", "d"})
        Add(name);
    List->show();
    List->setCurrentRow(1);
    List->item(2)->setSelected(true);

    QTest::keyClick(List.get(), Qt::Key_Delete);
    EXPECT_EQ(Rows().size(), 4); // KeyDelete is off

    List->KeyDelete = true;
    QTest::keyClick(List.get(), Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(Rows().size(), 4);
    QTest::keyClick(List.get(), Qt::Key_Delete);
    EXPECT_EQ(Rows(), (QStringList{"a", "d"}));
    EXPECT_EQ(Alive, 2);
    EXPECT_EQ(List->currentRow(), 0);
    EXPECT_EQ(List->toolTip(), "one item seleteced on 2");

    QTest::keyClick(List.get(), Qt::Key_Delete); // the first one: the new first is selected
    EXPECT_EQ(Rows(), (QStringList{"d"}));
    EXPECT_TRUE(List->item(0)->isSelected());
}

TEST_F(ObjetListBoxTest, OwnsItsObjects)
{
    Add("a");
    Add("b");
    List->Clear();
    EXPECT_EQ(Alive, 0);
    EXPECT_EQ(List->count(), 0);
    Add("c");
    List.reset();
    EXPECT_EQ(Alive, 0);
}

} // namespace
