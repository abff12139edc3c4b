// The script host on its own: the lines it reports, the program's routines,
// constants and types, actions as procedures, includes, and stopping a run.

#include "framework/actions/action_list.h"
#include "framework/actions/actions.h"
#include "script/host/kv_script.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class RecordingUi final : public TScriptUi
{
public:
    explicit RecordingUi(QStringList& shown) : FShown(shown) {}
    void ShowMessage(const QString& text) override { FShown.append(text); }

private:
    QStringList& FShown;
};

void WriteFile(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(text);
}

class KvScriptTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        script.SetUi(std::make_unique<RecordingUi>(shown));
    }

    // Compiles and runs `text`; the lines of both steps.
    QStringList Run(const QString& text)
    {
        script.SetScriptText(text.toStdString());
        script.CompileScript();
        QStringList lines = script.Messages;
        script.RunScript();
        return lines + script.Messages;
    }

    QString Path(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    QStringList shown;
    TKvScript script;
};

const QString kSucceeded = QStringLiteral("*** Compilation succeeded ***");
const QString kExecuted = QStringLiteral("*** Succesfully Executed ***");

TEST_F(KvScriptTest, CompileAndRunReportTheirOutcomeAsLines)
{
    // Scripts go through the preprocessor; runs keep no source positions.
    EXPECT_TRUE(script.UsePreProcessor);
    EXPECT_FALSE(script.UseDebugInfo);
    EXPECT_EQ(Run(QStringLiteral("begin\nend.")), QStringList({kSucceeded, kExecuted}));

    // A syntax error: the compiler's lines, then the two refusals.
    const QStringList failed = Run(QStringLiteral("begin\n  showmessage('a')\n  x := ;\nend."));
    ASSERT_GE(failed.size(), 3);
    EXPECT_TRUE(failed.first().startsWith(QStringLiteral("[Error] "))) << failed.first().toStdString();
    EXPECT_TRUE(failed.first().contains(QStringLiteral("(3:"))) << failed.first().toStdString();
    EXPECT_EQ(failed.at(failed.size() - 2), QStringLiteral("### Compilation Failed"));
    EXPECT_EQ(failed.last(), QStringLiteral("### Compilation not Ready"));
    EXPECT_TRUE(shown.isEmpty());

    // A hint stands among the lines of a compile that succeeds.
    const QStringList hinted = Run(QStringLiteral("var unused: Integer;\nbegin\nend."));
    EXPECT_EQ(hinted.mid(hinted.size() - 2), QStringList({kSucceeded, kExecuted}));

    // A runtime error ends the run with its text.
    const QStringList error =
        Run(QStringLiteral("var i: Integer;\nbegin\n  i := 0;\n  i := 10 div i;\n  showmessage('never');\nend."));
    ASSERT_EQ(error.size(), 2);
    EXPECT_EQ(error.first(), kSucceeded);
    EXPECT_TRUE(error.last().startsWith(QStringLiteral("### Error while executing: "))) << error.last().toStdString();
    EXPECT_GT(error.last().size(), QStringLiteral("### Error while executing: ").size());
    EXPECT_TRUE(shown.isEmpty());
}

TEST_F(KvScriptTest, EveryKindOfHostRoutineRunsFromOneScript)
{
    WriteFile(Path(QStringLiteral("clips/a.avi")), "a");
    WriteFile(Path(QStringLiteral("clips/b.AVI")), "b");
    WriteFile(Path(QStringLiteral("clips/notes.txt")), "n");
    WriteFile(Path(QStringLiteral("clips/old.txt")), "o");
    WriteFile(Path(QStringLiteral("clips/gone.txt")), "g");
    const QString trash = Path(QStringLiteral("xdg"));
    QDir().mkpath(trash);
    qputenv("XDG_DATA_HOME", trash.toUtf8());

    const QString text = QStringLiteral(R"(
var
  f, folder: widestring;
  p: TPoint;
  r: TRect;
  a: TAlignment;
  s: TSavePreferences;
  c: TColor;
begin
  folder := '%1';
  f := findfirst(folder, '*.avi');
  while f <> '' do
  begin
    showmessage(extractfilename(f));
    f := findnext;
  end;
  findclose;
  showmessage(extractfilepath(folder + '/x/y.txt'));
  showmessage(extractfileext('/a.b/c.tar.gz') + '|' + extractfileext('/a.b/c'));
  showmessage(changefileext('/a.b/c.txt', '.pas') + '|' + changefileext('/a.b/c', '.pas'));
  forcedirectories(folder + '/deep/er/still');
  renamefile(folder + '/old.txt', folder + '/deep/new.txt');
  if deletefiletorecyclebin(folder + '/gone.txt') then showmessage('trashed');
  if not deletefiletorecyclebin(folder + '/missing.txt') then showmessage('kept');
  processmessages;
  sleep(5);
  p.x := 3; p.y := 4;
  r.Left := 1; r.Bottom := 9;
  a := taCenter;
  s := spNone;
  c := clRed;
  showmessage(IntToStr(p.x + p.y + r.Left + r.Bottom + Ord(a) + Ord(s)));
  showmessage(IntToStr(clMoneyGreen) + ' ' + IntToStr(clSkyBlue) + ' ' + IntToStr(clCream));
  showmessage(IntToStr(SecsPerDay) + ' ' + IntToStr(MSecPerDay) + ' ' + IntToStr(c));
end.)")
                             .arg(Path(QStringLiteral("clips")));
    EXPECT_EQ(Run(text), QStringList({kSucceeded, kExecuted}));
    qunsetenv("XDG_DATA_HOME");

    const QString folder = Path(QStringLiteral("clips"));
    EXPECT_EQ(shown, QStringList({
                         QStringLiteral("a.avi"),
                         QStringLiteral("b.AVI"),
                         folder + QStringLiteral("/x/"),
                         QStringLiteral(".gz|"),
                         QStringLiteral("/a.b/c.pas|/a.b/c.pas"),
                         QStringLiteral("trashed"),
                         QStringLiteral("kept"),
                         QStringLiteral("21"),
                         QStringLiteral("12639424 15780518 15793151"),
                         QStringLiteral("86400 86400000 255"),
                     }));
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/deep/er/still")).isDir());
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/old.txt")));
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/deep/new.txt")));
    // Deleted to the desktop's trash, where the user can get it back.
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/gone.txt")));
    EXPECT_TRUE(QFile::exists(trash + QStringLiteral("/Trash/files/gone.txt")));
}

TEST_F(KvScriptTest, FindFirstGivesFolderAndNameWithOrWithoutTheSeparator)
{
    WriteFile(Path(QStringLiteral("v/one.avi")), "1");
    WriteFile(Path(QStringLiteral("v/two.avi")), "2");
    QDir().mkpath(Path(QStringLiteral("v/sub")));
    const QString folder = Path(QStringLiteral("v"));
    EXPECT_EQ(script.FindFirst(folder.toStdU16String(), u"*.avi"),
              (folder + QStringLiteral("/one.avi")).toStdU16String());
    EXPECT_EQ(script.FindNext(), (folder + QStringLiteral("/two.avi")).toStdU16String());
    EXPECT_EQ(script.FindNext(), u"");
    EXPECT_EQ(script.FindFirst((folder + u'/').toStdU16String(), u"two.*"),
              (folder + QStringLiteral("/two.avi")).toStdU16String());
    // Every name, folders too, and no match at all.
    QStringList all;
    for (std::u16string f = script.FindFirst(folder.toStdU16String(), u"*.*"); !f.empty(); f = script.FindNext())
        all.append(QFileInfo(QString::fromStdU16String(f)).fileName());
    EXPECT_EQ(all, QStringList({QStringLiteral("one.avi"), QStringLiteral("sub"), QStringLiteral("two.avi")}));
    EXPECT_EQ(script.FindFirst(folder.toStdU16String(), u"*.mkv"), u"");
    EXPECT_EQ(script.FindFirst(Path(QStringLiteral("none")).toStdU16String(), u"*"), u"");
    EXPECT_EQ(script.FindNext(), u"");
}

TEST_F(KvScriptTest, ASearchLeftOpenEndsAtTheNextFindFirstAndWithTheRun)
{
    WriteFile(Path(QStringLiteral("a/1.txt")), "1");
    WriteFile(Path(QStringLiteral("a/2.txt")), "2");
    WriteFile(Path(QStringLiteral("b/3.txt")), "3");
    const QString first = QStringLiteral("begin showmessage(findfirst('%1', '*.txt')); end.").arg(Path("a"));
    ASSERT_EQ(Run(first), QStringList({kSucceeded, kExecuted}));
    // The next run finds nothing left of the first one's search.
    ASSERT_EQ(Run(QStringLiteral("begin showmessage('[' + findnext + ']'); end.")),
              QStringList({kSucceeded, kExecuted}));
    // A second findfirst without findclose between: only its own names.
    const QString twice = QStringLiteral("begin findfirst('%1', '*.txt'); showmessage(findfirst('%2', '*.txt')); "
                                         "showmessage('[' + findnext + ']'); end.")
                              .arg(Path("a"), Path("b"));
    ASSERT_EQ(Run(twice), QStringList({kSucceeded, kExecuted}));
    EXPECT_EQ(shown, QStringList({Path("a/1.txt"), QStringLiteral("[]"), Path("b/3.txt"), QStringLiteral("[]")}));
}

TEST_F(KvScriptTest, IncludesAreFoundFromTheFolderOfTheFileThatNamesThem)
{
    WriteFile(Path(QStringLiteral("s/main.txt")), "");
    WriteFile(Path(QStringLiteral("s/lib/first.inc")), "\xEF\xBB\xBFprocedure First; begin showmessage('first'); end;\n"
                                                       "{$I second.inc}\n");
    WriteFile(Path(QStringLiteral("s/lib/second.inc")), "procedure Second; begin showmessage('second'); end;\n");
    // The working folder is elsewhere.
    const QString saved = QDir::currentPath();
    QDir::setCurrent(QDir::tempPath());
    script.SetMainFileName(Path(QStringLiteral("s/main.txt")).toStdString());
    const QStringList lines = Run(QStringLiteral("{$I lib/first.inc}\nbegin First; Second; end."));
    QDir::setCurrent(saved);
    EXPECT_EQ(lines, QStringList({kSucceeded, kExecuted}));
    EXPECT_EQ(shown, QStringList({QStringLiteral("first"), QStringLiteral("second")}));

    // A missing include is a compile error that names it.
    const QStringList missing = Run(QStringLiteral("{$I lib/none.inc}\nbegin end."));
    ASSERT_GE(missing.size(), 2);
    EXPECT_TRUE(missing.first().contains(QStringLiteral("none.inc"))) << missing.first().toStdString();
    EXPECT_EQ(missing.at(missing.size() - 2), QStringLiteral("### Compilation Failed"));
}

// The actions of one list, of every kind, as the script sees them.
struct Actions
{
    TKvActionList list;
    TNopeAction* nope = TCustomAbstractAction::CreateNamed<TNopeAction>(&list, QStringLiteral("naGo"));
    TWidestringAction* text = TCustomAbstractAction::CreateNamed<TWidestringAction>(&list, QStringLiteral("waText"));
    TIntegerAction* number = TCustomAbstractAction::CreateNamed<TIntegerAction>(&list, QStringLiteral("iaNumber"));
    TColorAction* colour = TCustomAbstractAction::CreateNamed<TColorAction>(&list, QStringLiteral("iaColour"));
    TDoubleAction* real = TCustomAbstractAction::CreateNamed<TDoubleAction>(&list, QStringLiteral("daReal"));
    TPointAction* point = TCustomAbstractAction::CreateNamed<TPointAction>(&list, QStringLiteral("paPoint"));
    TRectAction* rect = TCustomAbstractAction::CreateNamed<TRectAction>(&list, QStringLiteral("raRect"));
    TFontAction* font = TCustomAbstractAction::CreateNamed<TFontAction>(&list, QStringLiteral("faFont"));
    TBooleanAction* flag = TCustomAbstractAction::CreateNamed<TBooleanAction>(&list, QStringLiteral("baFlag"));
    TCheckAction* check = TCustomAbstractAction::CreateNamed<TCheckAction>(&list, QStringLiteral("caCheck"));
    int applied = 0;

    Actions()
    {
        for (TCustomAbstractAction* action : list.AbstractActions())
            action->ScriptName = action->InternalId.mid(2);
        nope->InternalApply = [this] { ++applied; };
    }
};

TEST_F(KvScriptTest, EveryActionOfALinkedListIsAProcedureAfterTheProgramsOwnDeclarations)
{
    Actions actions;
    actions.list.SetPascalScript(&script);
    // One chain: a handler that joins it after the list finds the program's
    // declarations made.
    bool hookSawColours = false;
    const TScriptLink::TCompileEvent chain = script.OnCompile();
    script.SetOnCompile([&, chain](TScriptLink* sender) {
        chain(sender);
        hookSawColours = script.Comp().FindType("TColor") != nullptr && script.Comp().FindType("TRect") != nullptr;
    });
    const QStringList lines = Run(QStringLiteral(R"(begin
  Go; Go;
  Text('it''s ' + 'fine');
  Number(-42);
  Colour(clMoneyGreen);
  Real(2.5);
  Point(3, 4);
  Rect(1, 2, 3, 4);
  Font('Arial', 12, clRed, True, False, True, False);
  Flag(True);
  setCheck(True); Check;
end.)"));
    EXPECT_EQ(lines, QStringList({kSucceeded, kExecuted}));
    EXPECT_TRUE(hookSawColours);
    EXPECT_EQ(actions.applied, 2);
    EXPECT_EQ(actions.text->Value(), QStringLiteral("it's fine"));
    EXPECT_EQ(actions.number->Value(), -42);
    EXPECT_EQ(actions.colour->Value(), TColor(0xC0DCC0));
    EXPECT_DOUBLE_EQ(actions.real->Value(), 2.5);
    EXPECT_EQ(actions.point->Value(), (TPoint{3, 4}));
    // Left, right, top, bottom: the order of the procedure's parameters.
    EXPECT_EQ(actions.rect->Value(), (TRect{1, 3, 2, 4}));
    EXPECT_EQ(actions.font->Value().Name, QStringLiteral("Arial"));
    EXPECT_EQ(actions.font->Value().Size, 12);
    EXPECT_EQ(actions.font->Value().Color, TColor(0x0000FF));
    EXPECT_TRUE(actions.font->Value().Style.contains(fsBold));
    EXPECT_FALSE(actions.font->Value().Style.contains(fsItalic));
    EXPECT_TRUE(actions.font->Value().Style.contains(fsUnderline));
    EXPECT_TRUE(actions.flag->Value());
    EXPECT_FALSE(actions.check->Checked());

    // Unlinked, the list's procedures are gone from the next compile.
    actions.list.SetPascalScript(nullptr);
    const QStringList unlinked = Run(QStringLiteral("begin Go; end."));
    EXPECT_EQ(unlinked.last(), QStringLiteral("### Compilation not Ready"));
    EXPECT_EQ(Run(QStringLiteral("begin showmessage(IntToStr(clCream)); end.")), QStringList({kSucceeded, kExecuted}));
}

TEST_F(KvScriptTest, TheComponentsOnCompileIsTheChainTheListsJoin)
{
    // A handler put on the component's hook joins the one chain: the host's
    // routines stay below it, a list linked later comes outside it, and the
    // list unlinked gives it back.
    TPSScript& component = script;
    int handled = 0;
    const TPSScript::TPSEvent host = component.OnCompile;
    component.OnCompile = [&, host](TPSScript* sender) {
        host(sender);
        ++handled;
    };
    Actions actions;
    actions.list.SetPascalScript(&script);
    EXPECT_EQ(Run(QStringLiteral("begin Go; showmessage('x'); end.")), QStringList({kSucceeded, kExecuted}));
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(actions.applied, 1);
    actions.list.SetPascalScript(nullptr);
    EXPECT_EQ(Run(QStringLiteral("begin Go; end.")).last(), QStringLiteral("### Compilation not Ready"));
    EXPECT_EQ(Run(QStringLiteral("begin showmessage('y'); end.")), QStringList({kSucceeded, kExecuted}));
    EXPECT_EQ(handled, 3);
    EXPECT_EQ(shown, QStringList({QStringLiteral("x"), QStringLiteral("y")}));
}

TEST_F(KvScriptTest, AnActionDeclaredOnlyOutsideACompileOrWithAnUnreadableHeaderIsRefused)
{
    TScriptLink& link = script;
    const TScriptEntry entry = [](const QVariantList&) {};
    EXPECT_FALSE(link.AddMethod(nullptr, entry, "procedure Outside;"));
    QList<bool> results;
    link.SetOnCompile([&](TScriptLink*) {
        results.append(link.AddMethod(nullptr, entry, "procedure Fine(const a: Integer);"));
        results.append(link.AddMethod(nullptr, entry, "procedure ;"));
        results.append(link.AddMethod(nullptr, entry, "procedure Back(var a: Integer);"));
        results.append(link.AddMethod(nullptr, entry, "function Gives: Integer;"));
    });
    EXPECT_EQ(Run(QStringLiteral("begin Fine(1); end.")), QStringList({kSucceeded, kExecuted}));
    EXPECT_EQ(results, QList<bool>({true, false, false, false}));
}

TEST_F(KvScriptTest, AStopEndsARunawayScriptWhileTheProgramKeepsServingItsMessages)
{
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(5);
    QTimer::singleShot(150, [this] { script.Stop(); });
    QElapsedTimer clock;
    clock.start();
    const QStringList lines = Run(QStringLiteral("var i: Integer;\nbegin\n  while True do i := i + 1;\nend."));
    EXPECT_EQ(lines, QStringList({kSucceeded, QStringLiteral("### Execution stopped")}));
    EXPECT_TRUE(script.Stopped());
    EXPECT_GT(ticks, 3);

    // A sleep ends at the stop too, and the next run is a run like any other.
    QTimer::singleShot(50, [this] { script.Stop(); });
    clock.restart();
    EXPECT_EQ(Run(QStringLiteral("begin sleep(600000); showmessage('late'); end.")),
              QStringList({kSucceeded, QStringLiteral("### Execution stopped")}));
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_EQ(Run(QStringLiteral("begin sleep(1); end.")), QStringList({kSucceeded, kExecuted}));
    EXPECT_FALSE(script.Stopped());

    // A run asked for inside a run changes nothing of it.
    const TScriptLink::TCompileEvent chain = script.OnCompile();
    script.SetOnCompile([this, chain](TScriptLink* sender) {
        chain(sender);
        script.AddFunction([this] { script.RunScript(); }, "procedure Again;");
    });
    const QStringList nested = Run(QStringLiteral("begin Again; showmessage('after'); end."));
    EXPECT_EQ(nested, QStringList({kSucceeded, kExecuted}));
    EXPECT_EQ(shown, QStringList({QStringLiteral("after")}));
}

} // namespace
