#include "framework/widgets/directory_edit.h"

#include <QDir>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

// Answers the folder dialog as a user would, and remembers what it was asked.
class FakeChooser : public IFolderChooser
{
public:
    bool ChooseFolder(const QString& caption, const QString& root, QString& folder, bool canCreateNew) override
    {
        Asked = {caption, root, folder};
        AskedCreate = canCreateNew;
        if (Answer.isEmpty())
            return false;
        folder = Answer;
        return true;
    }

    QString Answer;
    QStringList Asked;
    bool AskedCreate = false;
};

class DirectoryEditTest : public testing::Test
{
protected:
    DirectoryEditTest() { SetFolderChooser(&Chooser); }
    ~DirectoryEditTest() override { SetFolderChooser(nullptr); }

    FakeChooser Chooser;
    TWideDirectoryEdit Edit;
};

TEST_F(DirectoryEditTest, TheChosenFolderIsShownWithATrailingSeparator)
{
    Edit.DialogTitle = "Where to save";
    Edit.Root = "/home";
    Edit.CanCreateNew = false;
    Edit.SetFolder("/tmp/old/");
    EXPECT_EQ(Edit.Edit()->text(), "/tmp/old/");
    QStringList after;
    Edit.OnAfterDialog = [&](TWideDialogEdit*, const QString& folder) { after << folder; };

    Chooser.Answer = "/tmp/pictures";
    QTest::mouseClick(Edit.Button(), Qt::LeftButton);
    EXPECT_EQ(Chooser.Asked, (QStringList{"Where to save", "/home", "/tmp/old/"}));
    EXPECT_FALSE(Chooser.AskedCreate);
    const QString expected = "/tmp/pictures" + QString(QDir::separator());
    EXPECT_EQ(Edit.Folder(), expected);
    EXPECT_EQ(Edit.Text(), expected);
    EXPECT_EQ(after, QStringList{expected});

    Chooser.Answer.clear(); // cancelled: nothing changes
    QTest::mouseClick(Edit.Button(), Qt::LeftButton);
    EXPECT_EQ(Edit.Folder(), expected);
    EXPECT_EQ(after.size(), 1);
}

TEST_F(DirectoryEditTest, EditAndButtonShareThePanel)
{
    Edit.resize(200, 21);
    Edit.SetButtonWidth(25);
    EXPECT_EQ(Edit.Edit()->geometry(), QRect(0, 1, 171, 19));
    EXPECT_EQ(Edit.Button()->geometry(), QRect(171, 1, 25, 17));
    EXPECT_TRUE(Edit.Edit()->isReadOnly());
    EXPECT_FALSE(Edit.Button()->icon().isNull());
    EXPECT_EQ(TWideDirectoryEdit().height(), 21);
}

} // namespace
