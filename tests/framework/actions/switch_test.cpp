#include "framework/actions/action_list.h"
#include "framework/actions/actions.h"
#include "framework/actions/switch.h"
#include "tests/common/qt_warnings.h"

#include <QCoreApplication>
#include <QWidget>
#include <gtest/gtest.h>

#include <stdexcept>

namespace {

class CommandLine : public ::testing::Test
{
protected:
    TKvActionList list;
    TKvSwitch commandLine;
    TCheckAction* save = nullptr;
    TWidestringAction* open = nullptr;
    TIntegerAction* zoom = nullptr;
    TNopeAction* grab = nullptr;
    int grabbed = 0;
    int noCommandLine = 0;

    void SetUp() override
    {
        save = TCustomAbstractAction::CreateNamed<TCheckAction>(&list, "caShowSave");
        save->Switch = "shSav";
        open = TCustomAbstractAction::CreateNamed<TWidestringAction>(&list, "waOpenFile");
        open->Switch = "o";
        open->OnPrepare = [](QString&) { return true; };
        zoom = TCustomAbstractAction::CreateNamed<TIntegerAction>(&list, "iaZoom");
        zoom->Switch = "zoom";
        grab = TCustomAbstractAction::CreateNamed<TNopeAction>(&list, "naGrab");
        grab->Switch = "grab";
        grab->InternalApply = [this] { ++grabbed; };
        list.SetSwitch(&commandLine);
        commandLine.OnNoCommandLine = [this](QObject* sender) {
            EXPECT_EQ(sender, nullptr);
            ++noCommandLine;
        };
    }
};

TEST_F(CommandLine, CheckActionsAreSetClearedAndToggled)
{
    commandLine.RunArguments({"+shSav"});
    EXPECT_TRUE(save->Checked());
    commandLine.RunArguments({"-SHSAV"});
    EXPECT_FALSE(save->Checked());
    commandLine.RunArguments({"/shsav"});
    EXPECT_TRUE(save->Checked());
    commandLine.RunArguments({"/shSav=True"});
    EXPECT_FALSE(save->Checked());
    EXPECT_EQ(noCommandLine, 0);
}

TEST_F(CommandLine, ValuesFollowTheFirstEqualsSign)
{
    commandLine.RunArguments({"/o=/home/me/a=b.mkv", "/zoom=$10", "/grab", "/grab=ignored"});
    EXPECT_EQ(open->Value(), "/home/me/a=b.mkv");
    EXPECT_EQ(zoom->Value(), 16);
    EXPECT_EQ(grabbed, 2);
    // "+" and "-" on a value action set it from the (empty) value too.
    commandLine.RunArguments({"+zoom"});
    EXPECT_EQ(zoom->Value(), -1);
}

TEST_F(CommandLine, UnknownNamesBareWordsAndDisabledActionsAreIgnored)
{
    commandLine.RunArguments({"movie.mkv", "/nosuch", "", "+", "/=3"});
    EXPECT_EQ(noCommandLine, 1);
    grab->SetEnabled(false);
    commandLine.RunArguments({"/grab", "+shSav"});
    EXPECT_EQ(grabbed, 0);
    EXPECT_TRUE(save->Checked());

    // A default action takes bare words and unknown names.
    commandLine.SetDefaultAction(open);
    commandLine.RunArguments({"clip.avi"});
    EXPECT_EQ(open->Value(), "clip.avi");
    commandLine.RunArguments({"/other=x.avi"});
    EXPECT_EQ(open->Value(), "x.avi");

    // A check action as the default: a bare word leaves it alone, "/" alone toggles it.
    commandLine.SetDefaultAction(save);
    commandLine.RunArguments({"True"});
    EXPECT_TRUE(save->Checked());
    commandLine.RunArguments({"/"});
    EXPECT_FALSE(save->Checked());
}

// Actions without a switch name are names the switch knows all the same: a
// switch with only those gives unknown names to its default action.
TEST(CommandLineNames, ActionsWithoutASwitchNameCountAsKnownNames)
{
    TKvActionList list;
    TKvSwitch commandLine;
    auto* open = TCustomAbstractAction::CreateNamed<TWidestringAction>(&list, "waOpenFile");
    commandLine.SetDefaultAction(open);
    commandLine.RunArguments({"/clip=1.avi"});
    EXPECT_EQ(open->Value(), "") << "a switch that knows no names runs nothing";
    commandLine.RunArguments({"/=0.avi"});
    EXPECT_EQ(open->Value(), "0.avi") << "but an empty name goes to the default action all the same";
    list.SetSwitch(&commandLine);
    commandLine.RunArguments({"/clip=2.avi"});
    EXPECT_EQ(open->Value(), "2.avi");
}

// Each request finds the window messages before it handled: those pending
// when the queue starts and those the request before it posted.
TEST_F(CommandLine, PendingMessagesSettleBeforeEachRequest)
{
    QObject receiver;
    bool pendingSeen = false, postedSeen = false;
    bool pending = false, posted = false;
    QMetaObject::invokeMethod(
        &receiver, [&] { pending = true; }, Qt::QueuedConnection);
    grab->InternalApply = [&] {
        pendingSeen = pending;
        QMetaObject::invokeMethod(
            &receiver, [&] { posted = true; }, Qt::QueuedConnection);
    };
    zoom->InternalApply = [&](const int&) { postedSeen = posted; };
    commandLine.RunArguments({"/grab", "/zoom=1"});
    EXPECT_TRUE(pendingSeen);
    EXPECT_TRUE(postedSeen);
}

TEST_F(CommandLine, AFailingRequestLeavesTheOthersToRun)
{
    grab->InternalApply = [] { throw std::runtime_error("no picture"); };
    const TExpectQtWarning told(QStringLiteral("command line: no picture"));
    EXPECT_NO_THROW(commandLine.RunArguments({"/grab", "/zoom=2"}));
    EXPECT_EQ(told.Count(), 1);
    EXPECT_EQ(zoom->Value(), 2);
    EXPECT_FALSE(commandLine.Executing());
}

TEST_F(CommandLine, QuitClosesOnlyAfterRealRequests)
{
    QWidget window;
    commandLine.SetMainWindow(&window);
    window.show();
    commandLine.RunArguments({"/quit"});
    EXPECT_EQ(noCommandLine, 1);
    EXPECT_TRUE(window.isVisible());

    bool openedWhileVisible = false;
    open->InternalApply = [&](const QString&) { openedWhileVisible = window.isVisible(); };
    bool executing = false;
    zoom->InternalApply = [&](const int&) { executing = commandLine.Executing(); };
    commandLine.RunArguments({"/QUIT", "/o=clip.avi", "/zoom=2"});
    EXPECT_TRUE(openedWhileVisible);
    EXPECT_TRUE(executing);
    EXPECT_FALSE(commandLine.Executing());
    EXPECT_FALSE(window.isVisible());
}

TEST_F(CommandLine, ARunStartedByARequestLeavesTheOuterRunWhole)
{
    QWidget window;
    commandLine.SetMainWindow(&window);
    window.show();
    bool innerSawExecuting = false;
    zoom->InternalApply = [&](const int&) {
        commandLine.RunArguments({"+shSav"});
        innerSawExecuting = commandLine.Executing();
    };
    commandLine.RunArguments({"/zoom=1", "/quit"});
    EXPECT_TRUE(save->Checked());
    EXPECT_TRUE(innerSawExecuting);
    EXPECT_FALSE(commandLine.Executing());
    EXPECT_FALSE(window.isVisible());
}

TEST_F(CommandLine, RequestsAreRecordedLikeAnyChange)
{
    QStringList lines;
    MacroTarget = &lines;
    save->ScriptName = "ShowSave";
    zoom->ScriptName = "Zoom";
    commandLine.RunArguments({"+shSav", "/zoom=3"});
    MacroTarget = nullptr;
    EXPECT_EQ(lines, QStringList({"    setShowSave(True);", "    Zoom(3);"}));
}

TEST_F(CommandLine, RunsOnceWhenTheMainWindowFirstShows)
{
    int activations = 0;
    commandLine.OnActivate = [&](QObject*) { ++activations; };
    QWidget window;
    commandLine.SetMainWindow(&window);
    window.show();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    window.hide();
    window.show();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    // The test program's own arguments name no action.
    EXPECT_EQ(noCommandLine, 1);
    EXPECT_GE(activations, 1);
}

} // namespace

// What scripts/run.sh hands the program: "/o=" and the video's absolute path
// opens it, whatever the path holds; the path alone, as a shell would pass
// it, is an unknown switch and a bare word, both ignored.
TEST_F(CommandLine, TheRunCommandsOpenSwitchTakesAnAbsolutePathAndABarePathIsIgnored)
{
    for (const QString& path :
         {QStringLiteral("/home/me/clips/dv_pal.avi"), QStringLiteral("/tmp/my videos/vidéo ñ 日本.mp4"),
          QStringLiteral("/srv/a=b/+c -d.mkv")}) {
        commandLine.RunArguments({QStringLiteral("/o=") + path});
        EXPECT_EQ(open->Value(), path);
    }
    open->SetValue(QString());
    commandLine.RunArguments({QStringLiteral("/home/me/clips/dv_pal.avi")});
    commandLine.RunArguments({QStringLiteral("clips/dv_pal.avi")});
    EXPECT_EQ(open->Value(), QString());
    EXPECT_EQ(noCommandLine, 2);
}
