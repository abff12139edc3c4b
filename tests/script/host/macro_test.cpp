// Macros in the program itself: the main window with the real script host
// and script window, on the real clips.

#include "script/host/kv_script.h"
#include "script/host/script_editor.h"
#include "script/host/script_form.h"
#include "tests/app/main_form_fixture.h"
#include "tests/media/clip_reader.h"

#include "app/main_actions.h"
#include "media/engine/nav_man.h"
#include "platform/win/messages.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class MacroTest : public MainFormTest
{
protected:
    void SetUp() override
    {
        MainFormTest::SetUp();
        Start(ProgramScriptParts());
        scripts = dynamic_cast<TScriptForm*>(form->am->ScriptForm());
        ASSERT_NE(scripts, nullptr);
        ASSERT_NE(scripts->KvScript(), nullptr);
        ASSERT_EQ(static_cast<TScriptLink*>(scripts->KvScript()), form->am->GetScript());
    }

    // Waits until the shown frame stays the same a while; that frame.
    int Steady()
    {
        Settle();
        int last = Shown();
        for (int same = 0; same < 10; ++same) {
            Until([] { return false; }, 20);
            const int now = Shown();
            if (now != last)
                same = 0;
            last = now;
        }
        return last;
    }

    TScriptForm* scripts = nullptr;
};

TEST_F(MacroTest, ARecordedMacroOfSeveralActionsReplaysToTheSameResult)
{
    form->am->caScript->SetChecked(true);
    EXPECT_TRUE(scripts->isVisible());
    scripts->StartMacro();
    ASSERT_TRUE(scripts->Recording());

    // What the user does: open a clip from the dialog, step twice, set the
    // JPEG quality in the picture settings, grab.
    const QString clip = Copy("h264.mp4", QStringLiteral("it's a clip.mp4"));
    fileUi->files.push_back(clip);
    form->ficman->waOpenFile->Execute();
    ASSERT_EQ(Shown(), 0);
    Until([&] { return form->NavMan->FrameDuration() > 1; });
    form->NavMan->naAvanceFrame->Execute();
    ASSERT_EQ(WaitFor(1), 1);
    form->NavMan->naAvance10Frames->Execute();
    ASSERT_EQ(WaitFor(11), 11);
    form->A.iaJpegCompressionQuality->SetValue(75);
    form->A.naGrab->Execute();
    scripts->StopMacro();

    const QStringList macro = scripts->Editor->Lines();
    ASSERT_GE(macro.size(), 4);
    EXPECT_EQ(macro.mid(2), QStringList({QStringLiteral("begin"),
                                         QStringLiteral("    OpenFile('%1');")
                                             .arg(QString(clip).replace(QStringLiteral("'"), QStringLiteral("''"))),
                                         QStringLiteral("    AvanceFrame;"), QStringLiteral("    Avance10Frames;"),
                                         QStringLiteral("    JpegCompressionQuality(75);"), QStringLiteral("    Grab;"),
                                         QStringLiteral("end.")}))
        << macro.join(u'\n').toStdString();

    // Back to where the user started, then the macro.
    form->ficman->naCloseFile->Execute();
    form->A.iaJpegCompressionQuality->SetValue(50);
    ASSERT_TRUE(form->VideoFileName().isEmpty());
    scripts->naExecuteMacro->Execute();
    EXPECT_EQ(scripts->Memo->toPlainText().split(u'\n').last(), QStringLiteral("*** Succesfully Executed ***"));
    EXPECT_EQ(form->VideoFileName(), clip);
    EXPECT_EQ(form->A.iaJpegCompressionQuality->Value(), 75);
    EXPECT_EQ(Steady(), 11);
}

// An action does the same from a script as from its key: a macro that steps
// onto a frame grabbed before asks before it overwrites the picture, and a
// second run finds the same routines as the first.
TEST_F(MacroTest, AMacroThatGrabsAgainAsksBeforeOverwriting)
{
    ASSERT_TRUE(form->ficman->OpenFile(Copy("h264.mp4", QStringLiteral("clip.mp4"))));
    ASSERT_EQ(Shown(), 0);
    Until([&] { return form->NavMan->FrameDuration() > 1; });
    form->A.waDossierSave->SetValue(dir.path());
    form->A.iaImageAjouter->SetValue(0); // named by the time code

    scripts->Editor->SetLines({QStringLiteral("begin"), QStringLiteral("  AvanceFrame;"),
                               QStringLiteral("  AvanceFrame;"), QStringLiteral("  Grab;"), QStringLiteral("end.")});
    QByteArray first;
    for (int run = 0; run < 2; ++run) {
        form->NavMan->naReculeDebut->Execute();
        ASSERT_EQ(WaitFor(0), 0);
        grabUi->questions.clear();
        scripts->Run();
        ASSERT_EQ(scripts->Memo->toPlainText().split(u'\n').last(), QStringLiteral("*** Succesfully Executed ***"))
            << "run " << run << ": " << scripts->Memo->toPlainText().toStdString();
        EXPECT_EQ(Steady(), 2);
        const QString picture = dir.filePath(QStringLiteral("Kestrova_0.00.00.02.bmp"));
        QFile saved(picture);
        ASSERT_TRUE(saved.open(QIODevice::ReadOnly)) << picture.toStdString();
        if (run == 0) {
            EXPECT_TRUE(grabUi->questions.isEmpty());
            first = saved.readAll();
        } else {
            EXPECT_EQ(grabUi->questions.size(), 1) << "the second grab of frame 2 did not ask";
            EXPECT_EQ(saved.readAll(), first);
        }
    }
}

TEST_F(MacroTest, EveryListsActionsAreProceduresAndTheScriptWindowKeepsItsPlace)
{
    // Actions of the main window, its managers and both script window lists
    // in one script; the window's own bounds through its action.
    const QString clip = clips::path(QStringLiteral("h264.mp4"));
    scripts->Editor->SetLines({QStringLiteral("begin"), QStringLiteral("  OpenFile('%1');").arg(clip),
                               QStringLiteral("  JpegCompressionQuality(33);"), QStringLiteral("  setVideoLeft(True);"),
                               QStringLiteral("  ScriptFormSave(40, 640, 50, 500);"), QStringLiteral("end.")});
    scripts->Run();
    ASSERT_EQ(scripts->Memo->toPlainText().split(u'\n').last(), QStringLiteral("*** Succesfully Executed ***"))
        << scripts->Memo->toPlainText().toStdString();
    EXPECT_EQ(form->VideoFileName(), clip);
    EXPECT_EQ(form->A.iaJpegCompressionQuality->Value(), 33);
    EXPECT_TRUE(form->A.caVideoLeft->Checked());
    EXPECT_EQ(scripts->raScriptFormSave->Value(), (TRect{40, 50, 640, 500}));

    // The window's values come back on the next start; the folder of its
    // scripts too.
    scripts->SetScriptFolder(dir.path());
    ASSERT_TRUE(Close(spPortable));
    Start(ProgramScriptParts());
    scripts = dynamic_cast<TScriptForm*>(form->am->ScriptForm());
    ASSERT_NE(scripts, nullptr);
    EXPECT_EQ(scripts->raScriptFormSave->Value(), (TRect{40, 50, 640, 500}));
    EXPECT_EQ(scripts->ScriptFolder(), dir.path());
    EXPECT_EQ(scripts->HelpBtn->Action(), form->am->caHelp);
    EXPECT_EQ(scripts->ClosePageBtn->Action(), form->am->caScript);
}

TEST_F(MacroTest, ClosingTheProgramEndsAScriptThatRuns)
{
    scripts->Editor->SetLines(
        {QStringLiteral("begin"), QStringLiteral("  while True do sleep(5);"), QStringLiteral("end.")});
    saveDialog->answers.push_back(spNone);
    QTimer::singleShot(100, form.get(), [this] { form->close(); });
    scripts->Run();
    EXPECT_FALSE(scripts->KvScript()->IsRunning());
    EXPECT_EQ(scripts->Memo->toPlainText().split(u'\n').last(), QStringLiteral("### Execution stopped"));
}

} // namespace
