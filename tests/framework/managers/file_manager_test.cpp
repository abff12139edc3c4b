#include "framework/managers/file_manager.h"
#include "framework/managers/shortcuts.h"
#include "framework/preferences/morvek_preferences.h"
#include "platform/win/registry.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDrag>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <ostream>

// Names and events read as text in failure messages.
void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

// Answers the dialogs and questions with queued answers and keeps what it
// was asked. An empty queue cancels a dialog and answers Cancel.
class FakeUi final : public TFileManUi
{
public:
    std::deque<std::optional<QString>> files;
    std::deque<TAnswer> answers;
    QStringList asked;

    std::optional<QString> OpenFileName(const QString& title, const QString& folder, const QString& filter) override
    {
        asked << QStringLiteral("open dialog: %1 in %2 for %3").arg(title, folder, filter);
        return NextFile();
    }
    std::optional<QString> SaveFileName(const QString& title, const QString& proposed, const QString& filter,
                                        const QString& defaultSuffix) override
    {
        asked << QStringLiteral("save dialog: %1 proposing %2 for %3 with %4")
                     .arg(title, proposed, filter, defaultSuffix);
        return NextFile();
    }
    TAnswer Question(const QString& text, bool withCancel) override
    {
        asked << (withCancel ? QStringLiteral("question with cancel: ") : QStringLiteral("question: ")) + text;
        if (answers.empty())
            return mrCancel;
        const TAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void ShowError(const QString& text) override { asked << QStringLiteral("error: ") + text; }
    bool ShowInFolder(const QString& path) override
    {
        asked << QStringLiteral("show: ") + path;
        return true;
    }
    std::optional<QString> FolderName(const QString& title, const QString& folder) override
    {
        asked << QStringLiteral("folder dialog: %1 from %2").arg(title, folder);
        return NextFile();
    }

private:
    std::optional<QString> NextFile()
    {
        if (files.empty())
            return std::nullopt;
        auto file = files.front();
        files.pop_front();
        return file;
    }
};

const QString kSaveQuestion =
    QStringLiteral("question with cancel: Do you want to save the open file ?\r\nIf not, all changes will be lost");

class FileManTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QGuiApplication::clipboard()->clear();
        man = MakeMan();
    }
    // A manager as an owner wires it: every event is logged, the owner
    // reads and writes as told by `openWorks` and `saveWorks`.
    std::unique_ptr<TFichierMan> MakeMan()
    {
        std::unique_ptr<TFichierMan> made(TKvActionComponent::Create<TFichierMan>(nullptr, layout));
        auto fake = std::make_unique<FakeUi>();
        ui = fake.get();
        made->SetUi(std::move(fake));
        made->OnOpenFile = [this](const QString& name) {
            events << "open " + QFileInfo(name).fileName();
            return openWorks;
        };
        made->OnSaveFile = [this](const QString& name) {
            events << "save " + QFileInfo(name).fileName();
            if (saveWorks)
                Write(name);
            return saveWorks;
        };
        made->OnCloseFile = [this](const QString& name) { events << "close " + QFileInfo(name).fileName(); };
        made->OnErrorOpenFile = [this](const QString& name) {
            events << "cannot read " + QFileInfo(name).fileName();
            return true;
        };
        made->OnNewFile = [this] { events << "new"; };
        return made;
    }

    QString Path(const QString& name) const { return dir.filePath(name); }
    QString Make(const QString& name)
    {
        Write(Path(name));
        return Path(name);
    }
    static void Write(const QString& path)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("content");
    }
    // Opens `name` (made in the folder) through the open dialog.
    void OpenThroughDialog(const QString& name)
    {
        ui->files.push_back(Make(name));
        man->waOpenFile->Execute();
    }
    // Drops `urls` on the control; whether the control took them.
    bool Drop(const QList<QUrl>& urls)
    {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&control, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&control, &drop);
        return drop.isAccepted();
    }
    QStringList TakeEvents() { return std::exchange(events, {}); }
    QStringList TakeAsked() { return std::exchange(ui->asked, {}); }

    // The script window's, where every action is offered.
    TFileManLayout layout = flScriptWindow;
    QTemporaryDir dir;
    // The control files are dropped on and dragged from.
    QWidget control;
    QStringList events;
    bool openWorks = true;
    bool saveWorks = true;
    FakeUi* ui = nullptr;
    std::unique_ptr<TFichierMan> man;
};

TEST_F(FileManTest, OpenSaveSaveAsAndCloseFollowTheDocument)
{
    EXPECT_EQ(man->State(), TFichierMan::fsNone);
    OpenThroughDialog("a.txt");
    EXPECT_EQ(TakeAsked(), QStringList{"open dialog: Select the file to open in  for All files (*.*)|*.*"});
    EXPECT_EQ(TakeEvents(), QStringList{"open a.txt"});
    EXPECT_EQ(man->CurrentFileName(), Path("a.txt"));
    EXPECT_EQ(man->waCurrentFileName->Value(), Path("a.txt"));
    EXPECT_EQ(man->State(), TFichierMan::fsExisting);
    EXPECT_EQ(man->RecentFiles().front(), Path("a.txt"));

    man->Modified = true;
    man->naSaveFile->Execute();
    EXPECT_EQ(TakeEvents(), QStringList{"save a.txt"});
    EXPECT_FALSE(man->Modified);

    // Save as proposes the next free name and takes the new name into the
    // recent files in place of the old one.
    man->DefaultExtension = ".txt";
    man->SetFilter("Texts (*.txt)|*.txt");
    man->Modified = true;
    ui->files.push_back(Path("b.txt"));
    man->waSaveFileAs->Execute();
    EXPECT_EQ(TakeAsked(), QStringList{"save dialog: Select the target file proposing " + Path("a_001.txt") +
                                       " for All files (*.*)|*.*|Texts (*.txt)|*.txt with txt"});
    EXPECT_EQ(TakeEvents(), QStringList{"save b.txt"});
    EXPECT_EQ(man->CurrentFileName(), Path("b.txt"));
    EXPECT_FALSE(man->Modified);
    EXPECT_EQ(man->RecentFiles().mid(0, 2), QStringList({Path("b.txt"), QString()}));

    // An owner that cannot write keeps the document as it was.
    saveWorks = false;
    man->Modified = true;
    ui->files.push_back(Path("c.txt"));
    man->waSaveFileAs->Execute();
    EXPECT_EQ(TakeEvents(), QStringList{"save c.txt"});
    EXPECT_EQ(man->CurrentFileName(), Path("b.txt"));
    EXPECT_TRUE(man->Modified);
    EXPECT_EQ(man->RecentFiles().front(), Path("b.txt"));
    TakeAsked();
    saveWorks = true;
    man->Modified = false;

    man->naParentFolder->Execute();
    EXPECT_EQ(TakeAsked(), QStringList{"show: " + Path("b.txt")});

    man->naCloseFile->Execute();
    EXPECT_EQ(TakeEvents(), QStringList{"close b.txt"});
    EXPECT_EQ(man->State(), TFichierMan::fsNone);
    EXPECT_EQ(man->CurrentFileName(), QString());
    EXPECT_EQ(man->waCurrentFileName->Value(), QString());

    // Nothing open: save as is not offered, close does nothing.
    man->waSaveFileAs->Execute();
    man->naCloseFile->Execute();
    EXPECT_TRUE(TakeAsked().isEmpty());
    EXPECT_TRUE(TakeEvents().isEmpty());
}

TEST_F(FileManTest, SaveAsOverAnExistingFileFollowsTheOverwriteRule)
{
    const QString overwrite = "question: Do you want to overwrite the existing file:\r\n" + Path("taken.txt") + " ?";
    struct Case
    {
        TConfirmType rule;
        std::optional<TFileManUi::TAnswer> answer;
        bool saved;
    };
    const Case cases[] = {
        {ctAskif, TFileManUi::mrYes, true},
        {ctAskif, TFileManUi::mrNo, false},
        {ctAlways, std::nullopt, true},
        {ctNever, std::nullopt, false},
    };
    Make("taken.txt");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "rule " << c.rule);
        man = MakeMan();
        OpenThroughDialog("doc.txt");
        man->DeleteExisting = c.rule;
        if (c.answer)
            ui->answers.push_back(*c.answer);
        ui->files.push_back(Path("taken.txt"));
        TakeAsked();
        TakeEvents();
        man->waSaveFileAs->Execute();
        const QStringList asked = TakeAsked();
        EXPECT_EQ(asked.size(), c.answer ? 2 : 1);
        EXPECT_EQ(asked.contains(overwrite), c.answer.has_value());
        EXPECT_EQ(TakeEvents(), c.saved ? QStringList{"save taken.txt"} : QStringList{});
        EXPECT_EQ(man->CurrentFileName(), Path(c.saved ? "taken.txt" : "doc.txt"));
    }
}

TEST_F(FileManTest, NewDocumentsAreNamedInTheInitialFolderAndSavedUnderAnotherName)
{
    // The folder dialog starts from the folder in force; cancelling it keeps
    // that folder.
    QDir(dir.path()).mkdir("docs");
    ui->files.push_back(Path("docs"));
    man->waInitialDir->Execute();
    ui->files.push_back(std::nullopt);
    man->waInitialDir->Execute();
    EXPECT_EQ(TakeAsked(), QStringList({"folder dialog: Select a folder from ",
                                        "folder dialog: Select a folder from " + Path("docs")}));
    EXPECT_EQ(man->InitialDir(), Path("docs"));

    man->NewFileName = "script.txt";
    man->DefaultExtension = ".pas";
    man->naNewFile->Execute();
    EXPECT_EQ(TakeEvents(), QStringList{"new"});
    EXPECT_EQ(man->CurrentFileName(), Path("docs/script.pas"));
    EXPECT_EQ(man->State(), TFichierMan::fsNew);

    // Saving a new document asks for its name; the name new documents get
    // is not kept as a saved name.
    man->DefaultExtension = ".txt";
    man->Modified = true;
    ui->files.push_back(Path("docs/script.txt"));
    man->naSaveFile->Execute();
    EXPECT_EQ(TakeAsked(), QStringList{"save dialog: Select the target file proposing " + Path("docs/script.pas") +
                                       " for All files (*.*)|*.* with txt"});
    EXPECT_EQ(TakeEvents(), QStringList{"save script1.txt"});
    EXPECT_EQ(man->State(), TFichierMan::fsExisting);
    EXPECT_EQ(man->RecentFiles().front(), Path("docs/script1.txt"));

    // The open dialog starts in the initial folder.
    man->waOpenFile->Execute();
    EXPECT_EQ(TakeAsked(),
              QStringList{"open dialog: Select the file to open in " + Path("docs") + " for All files (*.*)|*.*"});

    // With ExistingOnly, New only closes.
    man->ExistingOnly = true;
    man->naNewFile->Execute();
    EXPECT_EQ(TakeEvents(), QStringList{"close script1.txt"});
    EXPECT_EQ(man->State(), TFichierMan::fsNone);
}

// Every way of replacing a modified document asks first: Cancel keeps it,
// No drops the changes, Yes saves them; changes that could not be saved
// keep the document too. Close, open, new and paste close the document
// first; a recent entry and a drop open in its place.
TEST_F(FileManTest, TheSaveQuestionGuardsEveryCaller)
{
    struct Caller
    {
        const char* name;
        std::function<void()> run;
        QString replacement;  // the document that follows, by name
        QStringList replaced; // the owner's events after the close
        bool closes;
    };
    const std::vector<Caller> callers = {
        {"close", [this] { man->naCloseFile->Execute(); }, "", {}, true},
        {"open",
         [this] {
             ui->files.push_back(Path("b.txt"));
             man->waOpenFile->Execute();
         },
         "b.txt",
         {"open b.txt"},
         true},
        {"new", [this] { man->naNewFile->Execute(); }, "new.txt", {"new"}, true},
        {"paste",
         [this] {
             auto* data = new QMimeData;
             data->setUrls({QUrl::fromLocalFile(Path("b.txt"))});
             QGuiApplication::clipboard()->setMimeData(data);
             man->naPasteFile->Execute();
         },
         "b.txt",
         {"open b.txt"},
         true},
        {"recent entry", [this] { man->naRecent[1]->Execute(); }, "b.txt", {"open b.txt"}, false},
        {"drop", [this] { EXPECT_TRUE(Drop({QUrl::fromLocalFile(Path("b.txt"))})); }, "b.txt", {"open b.txt"}, false},
    };
    struct Answer
    {
        TFileManUi::TAnswer answer;
        bool saveWorks;
        bool replaced;
        bool saved;
    };
    const Answer answers[] = {
        {TFileManUi::mrCancel, true, false, false},
        {TFileManUi::mrNo, true, true, false},
        {TFileManUi::mrYes, true, true, true},
        {TFileManUi::mrYes, false, false, true},
    };
    Make("b.txt");
    for (const Caller& caller : callers) {
        for (const Answer& a : answers) {
            SCOPED_TRACE(testing::Message()
                         << caller.name << ", answer " << a.answer << ", save works " << a.saveWorks);
            man = MakeMan();
            man->NewFileName = "new.txt";
            man->DefaultExtension = ".txt";
            man->SetDragControl(&control);
            man->waInitialDir->SetValue(dir.path());
            OpenThroughDialog("b.txt");
            OpenThroughDialog("a.txt");
            man->Modified = true;
            ui->answers.push_back(a.answer);
            saveWorks = a.saveWorks;
            TakeAsked();
            TakeEvents();

            caller.run();

            EXPECT_EQ(TakeAsked().filter("question"), QStringList{kSaveQuestion});
            QStringList expected;
            if (a.saved)
                expected << "save a.txt";
            if (a.replaced && caller.closes)
                expected << "close a.txt";
            if (a.replaced)
                expected << caller.replaced;
            EXPECT_EQ(TakeEvents(), expected);
            const QString current = a.replaced ? caller.replacement : "a.txt";
            EXPECT_EQ(man->CurrentFileName(), current.isEmpty() ? QString() : Path(current));
            EXPECT_EQ(man->Modified, !a.replaced);
        }
    }
}

// The owner hears of a close only where one comes first: a recent entry and
// a drop hand it the new file in place of the one it has.
TEST_F(FileManTest, RecentEntriesAndDropsOpenInPlaceWhileOpenAndPasteCloseFirst)
{
    man->SetDragControl(&control);
    OpenThroughDialog("a.txt");
    OpenThroughDialog("b.txt");
    EXPECT_EQ(TakeEvents(), QStringList({"open a.txt", "close a.txt", "open b.txt"}));
    TakeAsked();

    man->naRecent[1]->Execute();
    EXPECT_EQ(TakeEvents(), QStringList{"open a.txt"});
    EXPECT_TRUE(Drop({QUrl::fromLocalFile(Path("b.txt"))}));
    EXPECT_EQ(TakeEvents(), QStringList{"open b.txt"});
    EXPECT_EQ(man->CurrentFileName(), Path("b.txt"));
    EXPECT_EQ(man->State(), TFichierMan::fsExisting);
    EXPECT_EQ(man->RecentFiles().mid(0, 2), QStringList({Path("b.txt"), Path("a.txt")}));

    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(Path("a.txt"))});
    QGuiApplication::clipboard()->setMimeData(data);
    man->naPasteFile->Execute();
    EXPECT_EQ(TakeEvents(), QStringList({"close b.txt", "open a.txt"}));

    // Closing after an open in place closes the file opened last.
    man->naRecent[1]->Execute();
    man->naCloseFile->Execute();
    EXPECT_EQ(TakeEvents(), QStringList({"open b.txt", "close b.txt"}));
    // Nothing was modified: nothing was asked.
    EXPECT_TRUE(TakeAsked().isEmpty());
}

TEST_F(FileManTest, WithoutAnInitialFolderTheOpenDialogStartsWhereTheLastFileWas)
{
    ASSERT_TRUE(QDir(dir.path()).mkpath("clips"));
    ASSERT_TRUE(QDir(dir.path()).mkpath("other"));
    const QString opening = "open dialog: Select the file to open in ";
    const QString filter = " for All files (*.*)|*.*";
    OpenThroughDialog("clips/a.txt");
    EXPECT_EQ(TakeAsked(), QStringList{opening + filter});

    man->waOpenFile->Execute();
    EXPECT_EQ(TakeAsked(), QStringList{opening + Path("clips") + filter});
    // Closed, the latest recent file gives the folder, here or in a new run.
    man->naCloseFile->Execute();
    man->waOpenFile->Execute();
    EXPECT_EQ(TakeAsked(), QStringList{opening + Path("clips") + filter});
    ASSERT_TRUE(QDir(Path("clips")).removeRecursively());
    man->waOpenFile->Execute();
    EXPECT_EQ(TakeAsked(), QStringList{opening + filter});
    // A folder of its own always wins.
    man->waInitialDir->SetValue(Path("other"));
    man->waOpenFile->Execute();
    EXPECT_EQ(TakeAsked(), QStringList{opening + Path("other") + filter});
}

TEST_F(FileManTest, AFailedOpenKeepsThePreviousDocumentAndTellsWhy)
{
    man->OnTestExtension = [](const QString& lowerext, const QString&) { return lowerext == ".avi"; };
    OpenThroughDialog("first.avi");
    TakeEvents();
    const QStringList recent = man->RecentFiles();
    struct Case
    {
        const char* name;
        bool exists;
        QString error;
    };
    const Case cases[] = {
        {"missing.avi", false, "error: The file cannot be found:\r\n%1"},
        {"notes.txt", true, "error: Files of this kind cannot be opened here:\r\n%1"},
        {"folder.avi", false, "error: The file cannot be found:\r\n%1"},
    };
    QDir(dir.path()).mkdir("folder.avi");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.exists)
            Make(c.name);
        TakeAsked();
        man->waOpenFile->SetValue(Path(c.name));
        EXPECT_EQ(TakeAsked(), QStringList{c.error.arg(Path(c.name))});
        EXPECT_TRUE(TakeEvents().isEmpty());
        EXPECT_EQ(man->CurrentFileName(), Path("first.avi"));
        EXPECT_EQ(man->State(), TFichierMan::fsExisting);
        EXPECT_EQ(man->RecentFiles(), recent);
    }

    // The extension is handed over in lower case, with its dot.
    QString seen;
    man->OnTestExtension = [&seen](const QString& lowerext, const QString&) {
        seen = lowerext;
        return true;
    };
    man->waOpenFile->SetValue(Make("Holiday.Take2.MKV"));
    EXPECT_EQ(seen, ".mkv");

    // An owner that cannot read the file: told through its error event, no
    // document stays open and the recent files stay as they were.
    const QStringList before = man->RecentFiles();
    openWorks = false;
    TakeEvents();
    man->waOpenFile->SetValue(Make("broken.avi"));
    EXPECT_EQ(TakeEvents(), QStringList({"close Holiday.Take2.MKV", "open broken.avi", "cannot read broken.avi"}));
    EXPECT_EQ(man->State(), TFichierMan::fsNone);
    EXPECT_EQ(man->CurrentFileName(), QString());
    EXPECT_EQ(man->RecentFiles(), before);
}

TEST_F(FileManTest, RecentFilesShiftHideAndDropTheOldest)
{
    for (int i = 1; i <= 11; ++i)
        OpenThroughDialog(QStringLiteral("f%1.txt").arg(i));
    QStringList expected;
    for (int i = 11; i >= 2; --i)
        expected << Path(QStringLiteral("f%1.txt").arg(i));
    EXPECT_EQ(man->RecentFiles(), expected) << "the eleventh pushes the first out";

    // Reopening the third moves it to the front, the first two move down.
    man->naRecent[2]->Execute();
    expected.move(2, 0);
    EXPECT_EQ(man->RecentFiles(), expected);
    for (int i = 0; i < TFichierMan::kRecentCount; ++i) {
        EXPECT_EQ(man->waRecentFilename[i]->Value(), expected[i]);
        EXPECT_EQ(man->naRecent[i]->Caption(),
                  QStringLiteral("%1 ").arg(i + 1) + TFichierMan::RecentDisplayName(expected[i], 50));
        EXPECT_TRUE(man->naRecent[i]->Visible());
    }
    // Reopening the newest changes nothing.
    man->naRecent[0]->Execute();
    EXPECT_EQ(man->RecentFiles(), expected);

    // An entry whose file has gone is hidden when the entries are shown again.
    QFile::remove(expected[4]);
    man->SetRecentLength(12);
    EXPECT_FALSE(man->naRecent[4]->Visible());
    EXPECT_TRUE(man->naRecent[5]->Visible());
    EXPECT_EQ(man->naRecent[4]->Caption(), "5 " + TFichierMan::RecentDisplayName(expected[4], 12));
    // Executing it tells the user and keeps the document.
    TakeAsked();
    man->naRecent[4]->Execute();
    EXPECT_EQ(TakeAsked(), QStringList{"error: The file cannot be found:\r\n" + expected[4]});
    EXPECT_EQ(man->CurrentFileName(), expected[0]);

    // Saving the newest over the second's file takes the old name out and
    // leaves the tenth entry empty.
    man->DeleteExisting = ctAlways;
    ui->files.push_back(expected[1]);
    man->waSaveFileAs->Execute();
    EXPECT_EQ(man->RecentFiles(), expected.mid(1) << QString());

    // Empty entries are hidden from the start.
    auto fresh = MakeMan();
    for (TNopeAction* entry : fresh->naRecent)
        EXPECT_FALSE(entry->Visible());
}

// A layout that holds only some of the actions: the others stay empty and
// the manager still keeps its document and its recent files.
TEST_F(FileManTest, ARestoredLayoutWithoutSomeActionsStillWorks)
{
    man.reset(TKvActionComponent::Restore<TFichierMan>(
        nullptr,
        [](TFichierMan* restored) {
            TCustomAbstractAction::CreateNamed<TWidestringAction>(restored, "waOpenFile");
            TCustomAbstractAction::CreateNamed<TNopeAction>(restored, "naRecent1");
        },
        flScriptWindow));
    auto fake = std::make_unique<FakeUi>();
    ui = fake.get();
    man->SetUi(std::move(fake));
    man->OnOpenFile = [this](const QString& name) {
        events << "open " + QFileInfo(name).fileName();
        return true;
    };
    ASSERT_NE(man->waOpenFile, nullptr);
    EXPECT_EQ(man->waCurrentFileName, nullptr);
    EXPECT_EQ(man->waRecentFilename[0], nullptr);

    OpenThroughDialog("one.txt");
    OpenThroughDialog("two.txt");
    EXPECT_EQ(TakeEvents(), QStringList({"open one.txt", "open two.txt"}));
    EXPECT_EQ(man->CurrentFileName(), Path("two.txt"));
    EXPECT_EQ(man->RecentFiles().mid(0, 2), QStringList({Path("two.txt"), Path("one.txt")}));
    EXPECT_EQ(man->naRecent[0]->Caption(), "1 " + TFichierMan::RecentDisplayName(Path("two.txt"), 50));
    man->Modified = true;
    ui->answers.push_back(TFileManUi::mrNo);
    EXPECT_TRUE(man->CloseFile());
    EXPECT_EQ(man->State(), TFichierMan::fsNone);
}

// Each window shows the manager's actions its own way.
TEST(FileManLayouts, CaptionsKeysAndScriptNamesOfBothWindows)
{
    const std::unique_ptr<TFichierMan> managers[] = {
        std::unique_ptr<TFichierMan>(TKvActionComponent::Create<TFichierMan>(nullptr, flMainWindow)),
        std::unique_ptr<TFichierMan>(TKvActionComponent::Create<TFichierMan>(nullptr, flScriptWindow)),
    };
    // id, key, main window's caption and script name, the script window's,
    // hidden in the main window, kept in the script window's preferences
    const struct
    {
        const char* id;
        const char* key;
        const char* main[2];
        const char* script[2];
        bool mainHidden;
        bool scriptPrefs;
    } rows[] = {
        {"naNewFile", "Ctrl+N", {"New...", "NewFile"}, {"Nouveau...", "NewScript"}, true, false},
        {"waOpenFile", "Ctrl+O", {"Open...", "OpenFile"}, {"Ouvrir...", "OpenScript"}, false, true},
        {"waCurrentFileName",
         "",
         {"Current File", "CurrentFileName"},
         {"Fichier Courant", "CurrentScriptName"},
         false,
         true},
        {"baOpenLastFile", "", {"Previous File", "OpenLastFile"}, {"Fichier précédent", "OpenLastScript"}, false, true},
        {"waInitialDir", "", {"Initial Folder", "InitialDir"}, {"Dossier initial", "InitialDirScript"}, false, true},
        {"naPasteFile", "Ctrl+V", {"Paste", "PasteFile"}, {"Coller", "PasteScript"}, false, false},
        {"naSaveFile", "Ctrl+S", {"Save", "SaveFile"}, {"Enregistrer", "SaveScript"}, true, false},
        {"waSaveFileAs",
         "Ctrl+Shift+S",
         {"Save as...", "SaveFileAs"},
         {"Enregistrer sous...", "SaveScriptAs"},
         true,
         false},
        {"naCloseFile", "Ctrl+F", {"Close", "CloseFile"}, {"Fermer", "CloseScript"}, false, false},
        {"naParentFolder",
         "F9",
         {"Parent folder", "ParentFolder"},
         {"Dossier parent", "ScriptParentFolder"},
         false,
         false},
        {"waRecentFilename1", "", {"Filename1", "RecentFilename1"}, {"Filename1", "RecentFilename1"}, false, true},
        {"waRecentFilename10", "", {"Filename10", "RecentFilename10"}, {"Filename10", "RecentFilename10"}, false, true},
    };
    for (const auto& row : rows) {
        for (const bool main : {true, false}) {
            SCOPED_TRACE(testing::Message() << (main ? "main window " : "script window ") << row.id);
            TCustomAbstractAction* action = managers[main ? 0 : 1]->FindByInternalId(row.id);
            ASSERT_NE(action, nullptr);
            const char* const* look = main ? row.main : row.script;
            EXPECT_EQ(action->Caption(), QString::fromUtf8(look[0]));
            EXPECT_EQ(action->ScriptName, look[1]);
            EXPECT_EQ(action->ShortCut(), QKeySequence(row.key));
            EXPECT_EQ(action->Visible(), !(main && row.mainHidden));
            EXPECT_EQ(action->Enabled(), !(main && row.mainHidden));
            EXPECT_EQ(action->IncludePrefs, main || row.scriptPrefs);
        }
    }
    // Only the main window opens a file from the command line.
    EXPECT_EQ(managers[0]->waOpenFile->Switch, "o");
    EXPECT_EQ(managers[1]->waOpenFile->Switch, "");
    EXPECT_EQ(managers[1]->naSaveFile->Hint(), "Enregistrer le script courant");
    const TFichierMan& main = *managers[0];
    const std::pair<TCustomAbstractAction*, const char*> hints[] = {
        {main.naNewFile, "Open a new file"},
        {main.waOpenFile, "Open a file"},
        {main.waCurrentFileName, "File currently open"},
        {main.baOpenLastFile, "Open the previous file at start"},
        {main.waInitialDir, "If you change this folder, then files to open will be searched in it"},
        {main.naPasteFile, "Paste a file"},
        {main.naSaveFile, "Save the current file"},
        {main.waSaveFileAs, "Name and save the current file"},
        {main.naCloseFile, "Close the selected file"},
        {main.naParentFolder, "Open the parent folder of the selected file"},
        {main.naRecent[0], "Open the recent file"},
        {main.naRecent[9], "Open the recent file"},
    };
    for (const auto& [action, hint] : hints)
        EXPECT_EQ(action->Hint(), hint) << action->InternalId.toStdString();
    // Entries without a file: the number alone, and hidden.
    EXPECT_EQ(main.naRecent[0]->Caption(), "1 ");
    EXPECT_EQ(main.naRecent[9]->Caption(), "10 ");
    EXPECT_EQ(main.naRecent[9]->ScriptName, "Recent10");
    EXPECT_FALSE(main.naRecent[0]->Visible());
    // What the preferences bring back takes effect at once.
    for (const TFichierMan* manager : {managers[0].get(), managers[1].get()}) {
        for (TCustomAbstractAction* action : manager->AbstractActions()) {
            const bool applied =
                action->InternalId.startsWith("waRecentFilename") ||
                QStringList{"waCurrentFileName", "baOpenLastFile", "waInitialDir"}.contains(action->InternalId);
            EXPECT_EQ(action->ApplyWhenLoad, applied) << action->InternalId.toStdString();
        }
        EXPECT_TRUE(manager->baOpenLastFile->DefaultValue());
        EXPECT_EQ(manager->DeleteExisting, ctAskif);
        EXPECT_EQ(manager->SaveType, ctAskif);
    }
}

// The main window's own keys Ctrl+N and Ctrl+S run its actions, not the
// manager's New and Save, which the script window's keys run there.
TEST(FileManLayouts, EachWindowsKeysRunItsOwnActions)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("doc.txt");
    QFile(file).open(QIODevice::WriteOnly);

    QStringList log;
    QWidget mainWindow;
    TKvActionList windowActions;
    const std::pair<const char*, const char*> inserts[] = {{"naInsertNumero", "Ctrl+N"},
                                                           {"naInsertTimestamp", "Ctrl+S"}};
    for (const auto& [id, key] : inserts) {
        auto* insert = TCustomAbstractAction::CreateNamed<TNopeAction>(&windowActions, id);
        insert->SetShortCut(QKeySequence(key));
        insert->InternalApply = [&log, id = QString(id)] { log << id; };
    }
    AddWindowActions(&mainWindow, windowActions);

    const auto makeMan = [&](TFileManLayout layout, QWidget& window) {
        std::unique_ptr<TFichierMan> man(TKvActionComponent::Create<TFichierMan>(nullptr, layout));
        auto fake = std::make_unique<FakeUi>();
        fake->files.push_back(dir.filePath("saved.txt"));
        man->SetUi(std::move(fake));
        man->OnOpenFile = [](const QString&) { return true; };
        man->OnSaveFile = [&log](const QString& name) {
            log << "save " + QFileInfo(name).fileName();
            return true;
        };
        man->OnNewFile = [&log] { log << "new"; };
        man->waOpenFile->SetValue(file);
        AddWindowActions(&window, *man);
        return man;
    };
    const auto press = [](QWidget& window, const char* key) {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        const QKeySequence keys(key);
        QTest::keyClick(&window, keys[0].key(), keys[0].keyboardModifiers());
    };

    const auto main = makeMan(flMainWindow, mainWindow);
    for (const char* key : {"Ctrl+N", "Ctrl+S", "Ctrl+Shift+S"})
        press(mainWindow, key);
    EXPECT_EQ(log, QStringList({"naInsertNumero", "naInsertTimestamp"}));
    EXPECT_EQ(main->CurrentFileName(), file);
    mainWindow.hide();

    log.clear();
    QWidget scriptWindow;
    const auto script = makeMan(flScriptWindow, scriptWindow);
    for (const char* key : {"Ctrl+S", "Ctrl+Shift+S", "Ctrl+N"})
        press(scriptWindow, key);
    EXPECT_EQ(log, QStringList({"save doc.txt", "save saved.txt", "new"}));
}

// Answers the next modal window of type W with `answer`, once it shows.
template <class W> void AnswerModal(std::function<void(W*)> answer)
{
    QTimer::singleShot(0, [answer] {
        if (auto* window = qobject_cast<W*>(QApplication::activeModalWidget()))
            answer(window);
        else
            AnswerModal<W>(answer);
    });
}

// The real dialogs, shown offscreen and answered as a user would.
TEST(QtFileManUi, FileDialogsShowTheFiltersAndGiveTheChosenName)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString existing = dir.filePath("Vidéo été.txt");
    QFile(existing).open(QIODevice::WriteOnly);
    TQtFileManUi ui;
    const QString filter = "All files (*.*)|*.*|Fichiers Macro (*.txt)|*.txt";

    AnswerModal<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "Select the file to open");
        EXPECT_EQ(dialog->nameFilters(), QStringList({"All files (*)", "Fichiers Macro (*.txt)"}));
        EXPECT_EQ(dialog->directory().absolutePath(), QDir(dir.path()).absolutePath());
        dialog->selectFile(existing);
        static_cast<QDialog*>(dialog)->accept();
    });
    EXPECT_EQ(ui.OpenFileName("Select the file to open", dir.path(), filter), existing);

    AnswerModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(ui.OpenFileName("Select the file to open", dir.path(), filter), std::nullopt);

    // Save: the overwrite question is the manager's, the suffix is added.
    AnswerModal<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dialog->defaultSuffix(), "txt");
        dialog->selectFile(dir.filePath("Nouveau"));
        static_cast<QDialog*>(dialog)->accept();
    });
    EXPECT_EQ(ui.SaveFileName("Select the target file", existing, filter, "txt"), dir.filePath("Nouveau.txt"));

    // A folder: the dialog offers folders, starting from the one given.
    const QString start = dir.filePath("Hiver/Début");
    const QString folder = dir.filePath("Été");
    QDir(dir.path()).mkpath("Hiver/Début");
    QDir(dir.path()).mkdir("Été");
    AnswerModal<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "Select a folder");
        EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
        EXPECT_EQ(dialog->selectedFiles(), QStringList{start});
        dialog->selectFile(folder);
        static_cast<QDialog*>(dialog)->accept();
    });
    EXPECT_EQ(ui.FolderName("Select a folder", start), folder);
    AnswerModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(ui.FolderName("Select a folder", start), std::nullopt);
}

TEST(QtFileManUi, QuestionsAnswerYesNoOrCancel)
{
    TQtFileManUi ui;
    struct Case
    {
        bool withCancel;
        std::optional<QMessageBox::StandardButton> click; // nothing: the box is closed
        TFileManUi::TAnswer answer;
    };
    const Case cases[] = {
        {true, QMessageBox::Yes, TFileManUi::mrYes},       {true, QMessageBox::No, TFileManUi::mrNo},
        {true, QMessageBox::Cancel, TFileManUi::mrCancel}, {true, std::nullopt, TFileManUi::mrCancel},
        {false, QMessageBox::Yes, TFileManUi::mrYes},      {false, std::nullopt, TFileManUi::mrNo},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "cancel " << c.withCancel << " click " << (c.click ? int(*c.click) : 0));
        AnswerModal<QMessageBox>([&](QMessageBox* box) {
            EXPECT_EQ(box->text(), "Save ?\nReally");
            EXPECT_EQ(box->button(QMessageBox::Cancel) != nullptr, c.withCancel);
            if (c.click)
                box->button(*c.click)->click();
            else
                box->close();
        });
        EXPECT_EQ(ui.Question("Save ?\r\nReally", c.withCancel), c.answer);
    }
}

TEST(RecentDisplayName, CutsTheFileAndTheFolderToTheWidth)
{
    struct Case
    {
        QString name;
        int width;
        QString shown;
    };
    const Case cases[] = {
        {"/home/ann/clip.avi", 50, "/home/ann/clip.avi"},
        {"/home/ann/videos/holiday/clip.avi", 20, "/home/ann/vi.../clip.avi"},
        {"/v/a-very-long-file-name-for-a-clip.avi", 20, "/v/a-very-long-file"},
        {"/videos/a-very-long-file-name-for-a-clip.avi", 20, "/vid.../a-very-long-file"},
        {"clip.avi", 6, "cl"},
        {"/été/日本語の動画.mkv", 10, "/été.../日本語の動画"},
        {"/x/clip.avi", 2, "/x.../"},
        {"", 50, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TFichierMan::RecentDisplayName(c.name, c.width), c.shown) << c.name.toStdString() << " " << c.width;
}

TEST(NextFreeName, NumbersAfterTheBaseAndSkipsTakenNames)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QStringList existing = {"clip_001.avi", "clip_002.avi", "clip_003.avi", "clip_004.avi", "clip_005.avi",
                                  "clip_006.avi", "clip_007.avi", "shot.jpg",     "shot_001.jpg", "007.avi",
                                  "_042.avi",     "take_12.avi",  "take_a12.avi", "notes",        "été_001.png",
                                  "été.png",      ".hidden"};
    for (const QString& name : existing) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    struct Case
    {
        QString name;
        QString next;
    };
    const Case cases[] = {
        {"clip_007.avi", "clip_008.avi"},   {"clip_004.avi", "clip_008.avi"},     {"free.avi", "free.avi"},
        {"shot.jpg", "shot_002.jpg"},       {"007.avi", "007_001.avi"},           {"_042.avi", "_001.avi"},
        {"take_12.avi", "take_12_001.avi"}, {"take_a12.avi", "take_a12_001.avi"}, {"notes", "notes_001"},
        {"été.png", "été_002.png"},         {".hidden", ".hidden_001"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TFichierMan::NextFreeName(dir.filePath(c.name)), dir.filePath(c.next)) << c.name.toStdString();
}

TEST(QtNameFilters, TurnsDescriptionAndPatternPairsIntoQtFilters)
{
    struct Case
    {
        QString filter;
        QStringList qt;
    };
    const Case cases[] = {
        {"All files (*.*)|*.*", {"All files (*)"}},
        {"All files (*.*)|*.*|Fichiers Macro (*.txt)|*.txt", {"All files (*)", "Fichiers Macro (*.txt)"}},
        {"Videos|*.avi;*.mkv; *.mp4", {"Videos (*.avi *.mkv *.mp4)"}},
        {"Pictures (*.jpg, *.bmp)|*.jpg;*.bmp", {"Pictures (*.jpg *.bmp)"}},
        {"|*.txt", {"(*.txt)"}},
        {"Texts|*.txt|Orphan description", {"Texts (*.txt)"}},
        {"Nothing|;;|Texts|*.txt", {"Texts (*.txt)"}},
        {"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(QtNameFilters(c.filter), c.qt) << c.filter.toStdString();
}

// The last file and the recent files come back at the next start through
// the real preferences, in an ini file.
class LastFileTest : public FileManTest
{
protected:
    void SetUp() override
    {
        // The main window's, whose names the preferences keep.
        layout = flMainWindow;
        FileManTest::SetUp();
        registry = std::make_unique<RegistryStore>(Path("registry.reg"));
        gp = std::make_unique<TMorvekPreferences>(nullptr, registry.get());
        gp->SetProgramFolder(dir.path());
        gp->SetTitre("Kestrova");
        gp->SetMode(spPortable);
    }
    void Save(TFichierMan& saved)
    {
        ASSERT_TRUE(gp->OpenKey("FichierMan"));
        EXPECT_TRUE(saved.SaveToPrefs(*gp));
        gp->CloseKey();
    }
    void Load(TFichierMan& loaded)
    {
        ASSERT_TRUE(gp->OpenKey("FichierMan"));
        EXPECT_TRUE(loaded.LoadFromPrefs(*gp));
        gp->CloseKey();
    }
    QString Stored(const QString& name)
    {
        EXPECT_TRUE(gp->OpenKey("FichierMan"));
        const QString value = gp->ReadString(name, "missing");
        gp->CloseKey();
        return value;
    }

    std::unique_ptr<RegistryStore> registry;
    std::unique_ptr<TMorvekPreferences> gp;
};

TEST_F(LastFileTest, TheLastFileOpensAgainAtTheNextStart)
{
    OpenThroughDialog("older.txt");
    OpenThroughDialog("last.txt");
    man->waInitialDir->SetValue(dir.path());
    Save(*man);
    EXPECT_EQ(Stored("CurrentFileName"), Path("last.txt"));
    EXPECT_EQ(Stored("OpenLastFile"), "True");

    TakeEvents();
    man = MakeMan();
    Load(*man);
    EXPECT_EQ(TakeEvents(), QStringList{"open last.txt"});
    EXPECT_EQ(man->CurrentFileName(), Path("last.txt"));
    EXPECT_EQ(man->State(), TFichierMan::fsExisting);
    EXPECT_EQ(man->InitialDir(), dir.path());
    EXPECT_EQ(man->RecentFiles().mid(0, 3), QStringList({Path("last.txt"), Path("older.txt"), QString()}));
    EXPECT_TRUE(man->naRecent[1]->Visible());
    EXPECT_FALSE(man->naRecent[2]->Visible());

    // A last file that has gone: a new document takes its place.
    man->NewFileName = "script.txt";
    man->DefaultExtension = ".txt";
    Save(*man);
    QFile::remove(Path("last.txt"));
    TakeEvents();
    man = MakeMan();
    man->NewFileName = "script.txt";
    man->DefaultExtension = ".txt";
    Load(*man);
    EXPECT_EQ(TakeEvents(), QStringList{"new"});
    EXPECT_EQ(man->CurrentFileName(), Path("script.txt"));
    EXPECT_EQ(man->State(), TFichierMan::fsNew);
}

TEST_F(LastFileTest, WithOpenLastFileOffNothingIsRemembered)
{
    OpenThroughDialog("last.txt");
    man->baOpenLastFile->SetValue(false);
    TakeEvents();
    Save(*man);
    EXPECT_EQ(TakeEvents(), QStringList{"close last.txt"});
    EXPECT_EQ(Stored("CurrentFileName"), QString());
    EXPECT_EQ(Stored("OpenLastFile"), "False");

    man = MakeMan();
    Load(*man);
    EXPECT_TRUE(TakeEvents().isEmpty());
    EXPECT_EQ(man->State(), TFichierMan::fsNone);
    EXPECT_EQ(man->RecentFiles().front(), Path("last.txt"));
}

// Files come in by drop and paste, and go out by drag, as file addresses.
class DragDropTest : public FileManTest
{
protected:
    void SetUp() override
    {
        FileManTest::SetUp();
        control.resize(200, 100);
        man->SetDragControl(&control);
        man->DropSource()->SetDragLoop([this](QDrag& drag, Qt::DropActions allowed) {
            dragged << drag.mimeData()->urls();
            allowedActions = allowed;
            return Qt::CopyAction;
        });
    }
    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QMouseEvent event(type, at, control.mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(&control, &event);
    }

    QList<QList<QUrl>> dragged;
    Qt::DropActions allowedActions;
};

TEST_F(DragDropTest, ADroppedFileOpensAndOnlyTheFirstOfSeveralCounts)
{
    EXPECT_TRUE(control.acceptDrops());
    const QUrl one = QUrl::fromLocalFile(Make("one.txt"));
    const QUrl two = QUrl::fromLocalFile(Make("two.txt"));
    EXPECT_TRUE(Drop({one}));
    EXPECT_EQ(TakeEvents(), QStringList{"open one.txt"});

    // The dropped file takes the place of the open one, without a close.
    EXPECT_TRUE(Drop({QUrl("https://example.org/clip.avi"), two, one}));
    EXPECT_EQ(TakeEvents(), QStringList{"open two.txt"});

    // Dropping the open file again does nothing; addresses that are not
    // local files are not taken.
    EXPECT_TRUE(Drop({two}));
    EXPECT_FALSE(Drop({QUrl("https://example.org/clip.avi")}));
    EXPECT_TRUE(TakeEvents().isEmpty());
    EXPECT_EQ(man->CurrentFileName(), Path("two.txt"));

    // A released control takes no more files.
    man->SetDragControl(nullptr);
    EXPECT_FALSE(control.acceptDrops());
    EXPECT_FALSE(Drop({one}));
    EXPECT_TRUE(TakeEvents().isEmpty());
}

TEST_F(DragDropTest, PasteOpensTheFirstFileOnTheClipboard)
{
    auto* data = new QMimeData;
    data->setUrls({QUrl("https://example.org/a.avi"), QUrl::fromLocalFile(Make("pasted.txt"))});
    QGuiApplication::clipboard()->setMimeData(data);
    man->naPasteFile->Execute();
    EXPECT_EQ(TakeEvents(), QStringList{"open pasted.txt"});

    // Text or nothing on the clipboard leaves the document as it is.
    QGuiApplication::clipboard()->setText(Path("pasted.txt"));
    man->naPasteFile->Execute();
    QGuiApplication::clipboard()->clear();
    man->naPasteFile->Execute();
    EXPECT_TRUE(TakeEvents().isEmpty());
    EXPECT_EQ(man->CurrentFileName(), Path("pasted.txt"));
}

TEST_F(DragDropTest, ADragStartsTenPixelsFromThePressAndCarriesTheFile)
{
    OpenThroughDialog("dragged.txt");
    const QList<QUrl> file{QUrl::fromLocalFile(Path("dragged.txt"))};
    struct Case
    {
        QPoint move;
        Qt::MouseButtons held;
        bool drags;
    };
    const Case cases[] = {
        {{9, 0}, Qt::LeftButton, false}, {{0, 9}, Qt::LeftButton, false},     {{-9, 9}, Qt::LeftButton, false},
        {{10, 0}, Qt::LeftButton, true}, {{0, -10}, Qt::LeftButton, true},    {{-10, 3}, Qt::RightButton, true},
        {{30, 30}, Qt::NoButton, false}, {{30, 30}, Qt::MiddleButton, false},
    };
    const QPoint press(50, 50);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.move.x() << "," << c.move.y() << " held " << int(c.held));
        dragged.clear();
        Mouse(QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
        Mouse(QEvent::MouseMove, press + c.move, Qt::NoButton, c.held);
        EXPECT_EQ(dragged, c.drags ? QList<QList<QUrl>>{file} : QList<QList<QUrl>>{});
        Mouse(QEvent::MouseButtonRelease, press + c.move, Qt::LeftButton, Qt::NoButton);
    }
    EXPECT_EQ(allowedActions, Qt::CopyAction);

    // One press drags once; a move without a press drags nothing.
    dragged.clear();
    Mouse(QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseMove, press + QPoint(10, 0), Qt::NoButton, Qt::LeftButton);
    Mouse(QEvent::MouseMove, press + QPoint(40, 0), Qt::NoButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, press, Qt::LeftButton, Qt::NoButton);
    Mouse(QEvent::MouseMove, press + QPoint(40, 0), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(dragged.size(), 1);

    // Without a file on disk there is nothing to drag.
    man->naCloseFile->Execute();
    dragged.clear();
    Mouse(QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseMove, press + QPoint(20, 0), Qt::NoButton, Qt::LeftButton);
    EXPECT_TRUE(dragged.isEmpty());
}

// A name outside ASCII, and longer than the old path limit, through the
// dialogs, the recent files, the preferences, a drop, a paste and a drag.
TEST_F(DragDropTest, ANonAsciiNameGoesAllTheWayThrough)
{
    const QString part(100, QChar(u'é'));
    const QString folder = "Vidéos 日本/" + part + "/" + part + "/" + part;
    ASSERT_TRUE(QDir(dir.path()).mkpath(folder));
    const QString name = Make(folder + "/Ünïcødé ☃.txt");
    const QString saved = Path(folder + "/Сохранено ✓.txt");
    ASSERT_GT(saved.size(), 300);

    ui->files.push_back(name);
    man->waOpenFile->Execute();
    EXPECT_EQ(man->CurrentFileName(), name);
    ui->files.push_back(saved);
    man->waSaveFileAs->Execute();
    EXPECT_EQ(man->CurrentFileName(), saved);
    EXPECT_TRUE(QFileInfo(saved).isFile());
    EXPECT_EQ(man->RecentFiles().front(), saved);
    EXPECT_TRUE(man->naRecent[0]->Caption().endsWith("Сохранено ✓.txt"));

    Mouse(QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseMove, {25, 5}, Qt::NoButton, Qt::LeftButton);
    ASSERT_EQ(dragged.size(), 1);
    EXPECT_EQ(dragged.front().front().toLocalFile(), saved);

    EXPECT_TRUE(Drop({QUrl::fromLocalFile(name)}));
    EXPECT_EQ(man->CurrentFileName(), name);

    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(saved)});
    QGuiApplication::clipboard()->setMimeData(data);
    man->naPasteFile->Execute();
    EXPECT_EQ(man->CurrentFileName(), saved);

    RegistryStore registry(Path("registry.reg"));
    TMorvekPreferences gp(nullptr, &registry);
    gp.SetProgramFolder(dir.path());
    gp.SetTitre("Kestrova");
    gp.SetMode(spPortable);
    ASSERT_TRUE(gp.OpenKey("FichierMan"));
    man->SaveToPrefs(gp);
    TakeEvents();
    man = MakeMan();
    man->LoadFromPrefs(gp);
    gp.CloseKey();
    EXPECT_EQ(TakeEvents(), QStringList{"open Сохранено ✓.txt"});
    EXPECT_EQ(man->RecentFiles().mid(0, 2), QStringList({saved, name}));
}

} // namespace
