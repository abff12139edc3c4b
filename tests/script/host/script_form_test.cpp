// The script window offscreen: running the editor's script with its keys and
// buttons, the script file, macro recording and stopping a script that runs.

#include "script/host/kv_script.h"
#include "script/host/script_editor.h"
#include "script/host/script_form.h"

#include "framework/widgets/kv_bar.h"
#include "framework/widgets/kv_buttons.h"
#include "platform/rtl/color.h"

#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <gtest/gtest.h>

#include <deque>

namespace {

class AnsweringUi final : public TFileManUi
{
public:
    std::deque<TAnswer> answers;
    QStringList questions;
    QStringList errors;

    std::optional<QString> OpenFileName(const QString&, const QString&, const QString&) override { return {}; }
    std::optional<QString> SaveFileName(const QString&, const QString&, const QString&, const QString&) override
    {
        return {};
    }
    TAnswer Question(const QString& text, bool) override
    {
        questions.append(text);
        if (answers.empty())
            return mrCancel;
        const TAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void ShowError(const QString& text) override { errors.append(text); }
    bool ShowInFolder(const QString&) override { return true; }
    std::optional<QString> FolderName(const QString&, const QString&) override { return {}; }
};

class Messages final : public TScriptUi
{
public:
    explicit Messages(QStringList& shown) : FShown(shown) {}
    void ShowMessage(const QString& text) override { FShown.append(text); }

private:
    QStringList& FShown;
};

const QStringList kNewScript{
    QStringLiteral("//Write a script between begin and end."),
    QStringLiteral("//Don't forget to finish each command by ;"),
    QStringLiteral("begin"),
    QString(),
    QStringLiteral("end."),
};

class ScriptFormTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        host.SetUi(std::make_unique<Messages>(shown));
        auto fileUi = std::make_unique<AnsweringUi>();
        ui = fileUi.get();
        form.ficman_script->SetUi(std::move(fileUi));
        form.SetScriptComponent(&host);
        // As the main window links them: the window's own actions are procedures.
        form.al_script->SetPascalScript(&host);
        form.ficman_script->SetPascalScript(&host);
        form.resize(800, 560);
        form.ShowForm();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    }

    void TearDown() override { MacroTarget = nullptr; }

    QStringList Memo() const { return form.Memo->toPlainText().split(u'\n', Qt::SkipEmptyParts); }
    QString State() const { return form.StatusPanels[1]->text(); }
    QString WriteScript(const QString& name, const QByteArray& text)
    {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return file.fileName();
    }
    QByteArray ReadFile(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir dir;
    QStringList shown;
    TKvScript host;
    TScriptForm form{QStringLiteral("Scripts for the test")};
    AnsweringUi* ui = nullptr;
};

TEST_F(ScriptFormTest, F5RunsTheNewScriptAndASyntaxErrorIsToldInTheMemo)
{
    EXPECT_EQ(form.Editor->Lines(), kNewScript);
    EXPECT_EQ(form.StatusPanels[0]->text(), QStringLiteral("script.txt"));
    EXPECT_EQ(State(), QStringLiteral("New"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Scripts for the test"));
    // The editor and the memo under it share the width the panel leaves.
    const QRect editor = form.Editor->geometry();
    EXPECT_EQ(editor.topLeft(), QPoint(8, form.ScriptBar->height() + 8));
    EXPECT_EQ(form.Memo->geometry(), QRect(8, editor.bottom() + 9, editor.width(), form.Memo->height()));
    EXPECT_EQ(form.Panel->geometry().right() + 1, form.centralWidget()->width());
    EXPECT_EQ(editor.right() + 1 + 8 + form.Panel->width(), form.centralWidget()->width() + 8);

    QTest::keyClick(&form, Qt::Key_F5);
    EXPECT_EQ(Memo(), QStringList({QStringLiteral("*** Compilation succeeded ***"),
                                   QStringLiteral("*** Succesfully Executed ***")}));
    EXPECT_EQ(form.Memo->palette().color(QPalette::Base), ColorToQColor(clInfoBk));

    form.Editor->SetLines({QStringLiteral("begin"), QStringLiteral("  showmessage('x')"), QStringLiteral("  y;"),
                           QStringLiteral("end.")});
    EXPECT_EQ(State(), QStringLiteral("Modified"));
    EXPECT_TRUE(form.ficman_script->Modified);
    QTest::mouseClick(form.ExecuteBtn, Qt::LeftButton);
    const QStringList memo = Memo();
    ASSERT_GE(memo.size(), 3);
    EXPECT_TRUE(memo.first().startsWith(QStringLiteral("[Error] "))) << memo.first().toStdString();
    EXPECT_EQ(memo.mid(memo.size() - 2),
              QStringList({QStringLiteral("### Compilation Failed"), QStringLiteral("### Compilation not Ready")}));
    EXPECT_TRUE(shown.isEmpty());
}

// A name of 256 KB, or thousands of messages, leave a memo a reader goes
// through (and the window lays out at once): a message quotes the start of
// a name, and of many messages the memo keeps the first ones, how many more
// there were and how the compile ended.
TEST_F(ScriptFormTest, LongNamesAndManyMessagesLeaveAMemoOfBoundedSize)
{
    const QString name = QStringLiteral("v") + QString(256 * 1024, u'a');
    form.Editor->SetLines({QStringLiteral("var ") + name + QStringLiteral(": Integer;"), QStringLiteral("begin"),
                           QStringLiteral("end.")});
    QTest::keyClick(&form, Qt::Key_F5);
    QStringList memo = Memo();
    ASSERT_EQ(memo.size(), 3) << memo.join(u'\n').left(2000).toStdString();
    EXPECT_TRUE(memo[0].startsWith(QStringLiteral("[Hint] "))) << memo[0].left(200).toStdString();
    EXPECT_TRUE(memo[0].contains(name.left(100).toUpper() + QStringLiteral("...'"), Qt::CaseInsensitive))
        << memo[0].left(300).toStdString();
    EXPECT_LT(memo[0].size(), 200);
    EXPECT_EQ(memo.mid(1), QStringList({QStringLiteral("*** Compilation succeeded ***"),
                                        QStringLiteral("*** Succesfully Executed ***")}));

    QStringList lines;
    for (int i = 0; i < 3000; ++i)
        lines.append(QStringLiteral("var v%1: Integer;").arg(i));
    lines << QStringLiteral("begin") << QStringLiteral("end.");
    form.Editor->SetLines(lines);
    QTest::keyClick(&form, Qt::Key_F5);
    memo = Memo();
    ASSERT_EQ(memo.size(), 1001);
    EXPECT_TRUE(memo[997].startsWith(QStringLiteral("[Hint] "))) << memo[997].toStdString();
    EXPECT_EQ(memo[998], QStringLiteral("\u2026 2002 more"));
    EXPECT_EQ(memo.mid(999), QStringList({QStringLiteral("*** Compilation succeeded ***"),
                                          QStringLiteral("*** Succesfully Executed ***")}));
    EXPECT_LT(form.Memo->document()->characterCount(), 100'000);

    // A text of 300 KB in an error of the run is cut in its memo line.
    form.Editor->SetLines({QStringLiteral("begin"),
                           QStringLiteral("  RaiseException(erCustomError, StringOfChar('x', 300000));"),
                           QStringLiteral("end.")});
    QTest::keyClick(&form, Qt::Key_F5);
    memo = Memo();
    ASSERT_EQ(memo.size(), 2);
    EXPECT_EQ(memo[1].size(), 501);
    EXPECT_TRUE(memo[1].endsWith(QStringLiteral("xx\u2026"))) << memo[1].toStdString();
}

TEST_F(ScriptFormTest, AScriptIsOpenedSavedAndIncludesFilesBesideIt)
{
    WriteScript(QStringLiteral("greet.inc"), "procedure Greet; begin showmessage('hello'); end;\r\n");
    const QString path = WriteScript(QStringLiteral("main.txt"), "{$I greet.inc}\r\nbegin\r\n  Greet;\r\nend.\r\n");
    ASSERT_TRUE(form.ficman_script->OpenFile(path));
    EXPECT_EQ(form.Editor->Lines(), QStringList({QStringLiteral("{$I greet.inc}"), QStringLiteral("begin"),
                                                 QStringLiteral("  Greet;"), QStringLiteral("end.")}));
    EXPECT_EQ(form.StatusPanels[0]->text(), QStringLiteral("main.txt"));
    EXPECT_EQ(State(), QStringLiteral("Open"));
    EXPECT_FALSE(form.ficman_script->Modified);
    form.Run();
    EXPECT_EQ(shown, QStringList({QStringLiteral("hello")}));

    // What a save killed half-way left: the old one goes with the next
    // save, a young one may be a save in progress and stays.
    const QString stale = WriteScript(QStringLiteral("main.txt.QwErTy"), "half a script");
    const QString young = WriteScript(QStringLiteral("main.txt.AbCdEf"), "half a script");
    {
        QFile aged(stale);
        ASSERT_TRUE(aged.open(QIODevice::ReadWrite));
        ASSERT_TRUE(aged.setFileTime(QDateTime::currentDateTime().addSecs(-120), QFileDevice::FileModificationTime));
    }
    form.Editor->AppendLine(QStringLiteral("// done"));
    QTest::keyClick(&form, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(State(), QStringLiteral("Saved"));
    EXPECT_FALSE(form.ficman_script->Modified);
    EXPECT_EQ(ReadFile(path), QByteArray("{$I greet.inc}\nbegin\n  Greet;\nend.\n// done\n"));
    EXPECT_FALSE(QFile::exists(stale));
    EXPECT_TRUE(QFile::exists(young));

    // Ctrl+V belongs to the editor while it has the focus, which it has
    // from the start.
    const QKeySequence paste(Qt::CTRL | Qt::Key_V);
    EXPECT_EQ(form.focusWidget(), form.Editor);
    form.Memo->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(form.ficman_script->naPasteFile->ShortCut(), paste);
    form.Editor->setFocus();
    QApplication::processEvents();
    EXPECT_TRUE(form.ficman_script->naPasteFile->ShortCut().isEmpty());
    form.Memo->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(form.ficman_script->naPasteFile->ShortCut(), paste);
}

TEST_F(ScriptFormTest, ARecordingWritesAWholeScriptThatRunsAtOnce)
{
    // Stop without Start adds nothing.
    form.StopMacroBtn->click();
    EXPECT_EQ(form.Editor->Lines(), kNewScript);
    EXPECT_EQ(MacroTarget, nullptr);

    TKvActionList list;
    auto* quality = TCustomAbstractAction::CreateNamed<TIntegerAction>(&list, QStringLiteral("iaQuality"));
    quality->ScriptName = QStringLiteral("Quality");
    auto* go = TCustomAbstractAction::CreateNamed<TNopeAction>(&list, QStringLiteral("naGo"));
    go->ScriptName = QStringLiteral("Go");
    int gone = 0;
    go->InternalApply = [&] { ++gone; };
    list.SetPascalScript(&host);

    QTest::keyClick(&form, Qt::Key_F3);
    ASSERT_TRUE(form.Recording());
    EXPECT_TRUE(ui->questions.isEmpty()); // nothing unsaved to lose
    for (int cls = 0; cls < TScriptEditor::hcCount; ++cls)
        EXPECT_EQ(form.Editor->ClassBackground(static_cast<TScriptEditor::THighlightClass>(cls)), QColor(Qt::white));
    quality->SetValue(75);
    go->Execute();
    QApplication::processEvents();
    QTest::keyClick(&form, Qt::Key_F4);
    EXPECT_FALSE(form.Recording());
    EXPECT_EQ(MacroTarget, nullptr);
    for (int cls = 0; cls < TScriptEditor::hcCount; ++cls)
        EXPECT_EQ(form.Editor->ClassBackground(static_cast<TScriptEditor::THighlightClass>(cls)),
                  ColorToQColor(clInfoBk));

    const QStringList macro = form.Editor->Lines();
    ASSERT_EQ(macro.size(), 6);
    EXPECT_TRUE(macro[0].startsWith(QStringLiteral("//Macro saved on "))) << macro[0].toStdString();
    EXPECT_TRUE(macro[0].contains(QStringLiteral(" at "))) << macro[0].toStdString();
    EXPECT_EQ(macro.mid(1), QStringList({QString(), QStringLiteral("begin"), QStringLiteral("    Quality(75);"),
                                         QStringLiteral("    Go;"), QStringLiteral("end.")}));
    EXPECT_EQ(State(), QStringLiteral("Modified"));

    quality->SetValue(10);
    QTest::keyClick(&form, Qt::Key_F5);
    EXPECT_EQ(quality->Value(), 75);
    EXPECT_EQ(gone, 2);
    EXPECT_EQ(Memo().last(), QStringLiteral("*** Succesfully Executed ***"));
}

TEST_F(ScriptFormTest, StartingARecordingOverUnsavedTextAsksFirst)
{
    const QString path = WriteScript(QStringLiteral("mine.txt"), "begin\nend.\n");
    ASSERT_TRUE(form.ficman_script->OpenFile(path));
    const QStringList mine{QStringLiteral("begin"), QStringLiteral("  showmessage('mine');"), QStringLiteral("end.")};
    form.Editor->SetLines(mine);

    // Cancel: nothing changes.
    ui->answers = {TFileManUi::mrCancel};
    form.StartMacroBtn->click();
    EXPECT_FALSE(form.Recording());
    EXPECT_EQ(form.Editor->Lines(), mine);
    ASSERT_EQ(ui->questions.size(), 1);
    EXPECT_TRUE(ui->questions.first().startsWith(QStringLiteral("Do you want to save the open file ?")));

    // Yes: the text is saved, then the macro takes the editor.
    ui->answers = {TFileManUi::mrYes};
    form.StartMacroBtn->click();
    EXPECT_TRUE(form.Recording());
    EXPECT_EQ(ReadFile(path), QByteArray("begin\n  showmessage('mine');\nend.\n"));
    EXPECT_EQ(form.Editor->Lines().size(), 3);
    EXPECT_EQ(form.Editor->Lines().last(), QStringLiteral("begin"));
    form.StopMacroBtn->click();

    // No: the recording replaces the text, the file keeps what was saved.
    form.Editor->SetLines({QStringLiteral("// draft")});
    ui->answers = {TFileManUi::mrNo};
    form.StartMacroBtn->click();
    EXPECT_TRUE(form.Recording());
    EXPECT_EQ(form.Editor->Lines().last(), QStringLiteral("begin"));
    EXPECT_EQ(ReadFile(path), QByteArray("begin\n  showmessage('mine');\nend.\n"));
    EXPECT_EQ(ui->questions.size(), 3);
}

TEST_F(ScriptFormTest, ARunawayScriptIsStoppedFromTheWindowWhichStaysResponsive)
{
    form.Editor->SetLines({QStringLiteral("var i: Integer;"), QStringLiteral("begin"),
                           QStringLiteral("  while True do i := i + 1;"), QStringLiteral("end.")});
    int repaints = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        form.Memo->viewport()->repaint();
        ++repaints;
    });
    ticker.start(10);
    // The user clicks Stop while the script runs.
    QTimer::singleShot(200, form.StopMacroBtn, [this] { QTest::mouseClick(form.StopMacroBtn, Qt::LeftButton); });
    QTest::keyClick(&form, Qt::Key_F5);
    EXPECT_EQ(Memo(),
              QStringList({QStringLiteral("*** Compilation succeeded ***"), QStringLiteral("### Execution stopped")}));
    EXPECT_GT(repaints, 5);

    // StopMacro called by a script only ends a recording: the script goes on.
    form.Editor->SetLines({QStringLiteral("begin"), QStringLiteral("  StopMacro;"),
                           QStringLiteral("  showmessage('still running');"), QStringLiteral("end.")});
    form.Run();
    EXPECT_EQ(shown, QStringList({QStringLiteral("still running")}));
    EXPECT_EQ(Memo().last(), QStringLiteral("*** Succesfully Executed ***"));
}

} // namespace
