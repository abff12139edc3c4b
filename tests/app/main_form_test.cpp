// The main window on the real clips: start-up, opening by every road,
// navigation, the stream menus and companion files, layout and shut-down.

#include "main_form_fixture.h"

#include "framework/actions/switch.h"
#include "framework/managers/help_form.h"
#include "framework/widgets/kv_bar.h"
#include "framework/widgets/text_gauge.h"
#include "media/engine/video_forms.h"
#include "media/filters/notify_messages.h"
#include "platform/win/messages.h"
#include "platform/win/shell.h"
#include "script/host/script_form.h"
#include "tests/common/resident_memory.h"
#include "tests/framework/actions/fakes.h"
#include "tests/media/clip_reader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QSet>
#include <QTabWidget>
#include <QTest>

#include <algorithm>

namespace {

QStringList MenuTexts(QMenu* menu)
{
    QStringList texts;
    for (QAction* item : menu->actions())
        texts.append(item->isSeparator() ? QStringLiteral("-") : item->text());
    return texts;
}

QColor TextColour(const QLabel* label)
{
    return label->palette().color(QPalette::WindowText);
}

void WriteText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

TEST_F(MainFormTest, StartsWithoutPreferencesOnDefaultsAndNoVideo)
{
    EXPECT_EQ(form->gp->Mode(), spNone);
    EXPECT_EQ(form->PrefsMode(), spNone);
    EXPECT_TRUE(form->windowTitle().startsWith(AppTitle));
    EXPECT_TRUE(form->windowTitle().endsWith(QStringLiteral(" by Morvek")));
    EXPECT_EQ(form->A.iaNextNum->Value(), 1);
    // No video: the strips, the bar and the controls of both kinds are off.
    EXPECT_TRUE(form->PanelHaut->isHidden());
    EXPECT_TRUE(form->NavBar->isHidden());
    EXPECT_FALSE(form->A.naGrab->Enabled());
    EXPECT_FALSE(form->A.caSliders->Enabled());
    EXPECT_FALSE(form->audman->caMute->Enabled());
    EXPECT_FALSE(form->StreamMenus().AudioMenu()->menuAction()->isVisible());
    EXPECT_FALSE(form->StreamMenus().SubtitlesMenu()->menuAction()->isVisible());
    // Every list of the program is in the help window, on its one page.
    ASSERT_NE(HelpForm, nullptr);
    ASSERT_NE(HelpForm->ListOf(QStringLiteral("Kestrova")), nullptr);
    // New, Save and Save as have no place in the main window.
    EXPECT_FALSE(form->ficman->naSaveFile->Enabled());
    EXPECT_FALSE(form->ficman->naNewFile->Visible());
    EXPECT_EQ(form->audman->naIncVolume->SecondaryShortcuts(), QList<QKeySequence>{QKeySequence(Qt::ALT | Qt::Key_P)});
    // The window's own size limit and font.
    EXPECT_EQ(form->minimumSize(), QSize(708, 522));
    EXPECT_EQ(form->font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(form->font().pixelSize(), 13);
    // The volume keys of the number pad.
    EXPECT_EQ(form->audman->naIncVolume->ShortCut(), QKeySequence(Qt::Key_Plus | Qt::KeypadModifier));
    EXPECT_EQ(form->audman->naDecVolume->ShortCut(), QKeySequence(Qt::Key_Minus | Qt::KeypadModifier));
    // The picture menu's deinterlace item is the setting itself.
    auto* deinterlace = form->findChild<QAction*>(QStringLiteral("ImageDeinterlacer1"));
    ASSERT_NE(deinterlace, nullptr);
    EXPECT_TRUE(form->A.baImageDeinterlacer->BoundActions().contains(deinterlace));
    EXPECT_EQ(deinterlace->text(), QStringLiteral("Deinterlace"));
}

TEST_F(MainFormTest, SettingsSurviveARestartInTheRegistryAndInTheIniFile)
{
    const QString video = clips::path(QStringLiteral("mpeg2.mpg"));
    for (const TSavePreferences mode : {spRegistre, spPortable}) {
        SCOPED_TRACE(mode);
        form->A.iaJpegCompressionQuality->SetValue(77);
        form->A.waDefaultRacine->SetValue(QStringLiteral("Trip"));
        form->NavMan->iaSeekPrepos->SetValue(400);
        ASSERT_TRUE(form->ficman->OpenFile(video));
        form->gp->SetMode(mode);
        ASSERT_TRUE(Close(std::nullopt)); // a store exists now: nothing is asked
        EXPECT_EQ(saveDialog->asked, 0);
        EXPECT_EQ(QFile::exists(dir.filePath(QStringLiteral("Kestrova.ini"))), mode == spPortable);
        Start();
        EXPECT_EQ(form->gp->Mode(), mode);
        EXPECT_EQ(form->PrefsMode(), mode);
        EXPECT_EQ(form->A.iaJpegCompressionQuality->Value(), 77);
        EXPECT_EQ(form->A.waDefaultRacine->Value(), QStringLiteral("Trip"));
        EXPECT_EQ(form->NavMan->iaSeekPrepos->Value(), 400);
        // The file open at the close opens again, on its first frame.
        EXPECT_EQ(form->VideoFileName(), video);
        EXPECT_EQ(form->ficman->RecentFiles().front(), video);
        EXPECT_TRUE(form->HasVideo());
        EXPECT_EQ(Shown(), 0);
        form->A.iaJpegCompressionQuality->SetValue(50);
    }
}

// The show handler fills both pages of the help window: the program's lists
// on one, the script window's on the other.
TEST_F(MainFormTest, TheHelpWindowListsTheProgramsActionsAndTheScriptWindowsOnTwoPages)
{
    Start(ProgramScriptParts());
    TScriptWindow* scripts = form->am->ScriptForm();
    ASSERT_NE(scripts, nullptr);
    ASSERT_NE(HelpForm, nullptr);
    ASSERT_EQ(HelpForm->Pages()->count(), 2);
    EXPECT_EQ(HelpForm->Pages()->tabText(0), QStringLiteral("Kestrova"));
    EXPECT_EQ(HelpForm->Pages()->tabText(1), QStringLiteral("Scripts"));
    const auto listed = [](const QString& page) {
        QSet<TCustomAbstractAction*> actions;
        TObjetListBox* box = HelpForm->ListOf(page);
        for (int row = 0; box && row < box->Count(); ++row)
            actions.insert(static_cast<TActionObjet*>(box->Objet(row))->Action());
        return actions;
    };
    const auto actionsOf = [](const QList<TTntActionList*>& lists) {
        QSet<TCustomAbstractAction*> actions;
        for (TTntActionList* list : lists)
            for (TTntCustomAction* action : list->ActionsInOrder())
                actions.insert(qobject_cast<TCustomAbstractAction*>(action));
        return actions;
    };
    const QSet<TCustomAbstractAction*> program = actionsOf(
        {form->am.get(), form->gpal, form->vidman.get(), form->audman.get(), form->NavMan.get(), form->ficman.get()});
    QList<TTntActionList*> scriptLists;
    for (TCustomKvActionList* list : scripts->ActionLists())
        scriptLists.append(list);
    ASSERT_EQ(scriptLists.size(), 2);
    EXPECT_EQ(listed(QStringLiteral("Kestrova")), program);
    EXPECT_EQ(listed(QStringLiteral("Scripts")), actionsOf(scriptLists));
    EXPECT_TRUE(program.contains(form->A.naGrab));
    ASSERT_NE(scripts->Window(), nullptr);
    EXPECT_EQ(scripts->Window()->windowTitle(), QStringLiteral("Scripts for ") + AppTitle);
    EXPECT_FALSE(listed(QStringLiteral("Scripts")).contains(form->ficman->waOpenFile));
}

// The lists load in a fixed order, so that a setting applied at load sees
// the lists before it, and save in the reverse order: the main window's
// lists under its key, then the script window's under its own.
TEST_F(MainFormTest, TheListsLoadInTheirOrderAndSaveInTheReverse)
{
    QStringList loaded;
    QStringList saved;
    QList<std::pair<TCustomKvActionList*, QString>> lists;
    const auto watch = [&] {
        lists = {{form->am.get(), "am"},         {form->vidman.get(), "vidman"}, {form->audman.get(), "audman"},
                 {form->NavMan.get(), "NavMan"}, {form->gpal, "gpal"},           {form->ficman.get(), "ficman"}};
        const QList<TCustomKvActionList*> scripts = form->am->ScriptForm()->ActionLists();
        ASSERT_EQ(scripts.size(), 2);
        lists.append({scripts[0], "al_script"});
        lists.append({scripts[1], "ficman_script"});
        for (const auto& [list, name] : lists) {
            list->OnLoadFromPrefs = [&loaded, name = name, previous = list->OnLoadFromPrefs](TActionPreferences& gp) {
                loaded.append(name);
                return !previous || previous(gp);
            };
            list->OnSaveToPrefs = [&saved, name = name, previous = list->OnSaveToPrefs](TActionPreferences& gp) {
                saved.append(name);
                return !previous || previous(gp);
            };
        }
    };
    Start(ProgramScriptParts(), watch);
    const QStringList order{"am", "vidman", "audman", "NavMan", "gpal", "ficman", "al_script", "ficman_script"};
    EXPECT_EQ(loaded.join(u' ').toStdString(), order.join(u' ').toStdString());
    ASSERT_TRUE(Close(spRegistre));
    QStringList reverse = order;
    std::reverse(reverse.begin(), reverse.end());
    EXPECT_EQ(saved.join(u' ').toStdString(), reverse.join(u' ').toStdString());
}

TEST_F(MainFormTest, ClosingAsksWhereToSaveBeforeTearingDownAndCancelKeepsAll)
{
    ASSERT_TRUE(form->ficman->OpenFile(clips::path(QStringLiteral("h264.mp4"))));
    ASSERT_EQ(Shown(), 0);
    form->NavMan->caPlay->SetChecked(true);

    EXPECT_FALSE(Close(std::nullopt));
    EXPECT_EQ(saveDialog->asked, 1);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->HasVideo());
    EXPECT_TRUE(form->NavMan->caPlay->Checked());
    EXPECT_EQ(form->NavMan->GraphState(), kGraphStatePlaying);
    EXPECT_NE(form->vidman->CurrentSource(), NoVideoSource());

    // "None": nothing is written anywhere, and the window goes.
    form->A.iaDigits->SetValue(6);
    EXPECT_TRUE(Close(spNone));
    EXPECT_EQ(saveDialog->asked, 2);
    EXPECT_EQ(form->vidman->CurrentSource(), NoVideoSource());
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("Kestrova.ini"))));
    EXPECT_FALSE(registry->keyExists(form->gp->RegistryKey()));
    Start();
    EXPECT_EQ(form->A.iaDigits->Value(), 3);

    // Registry, then ini: each is asked once and written.
    form->A.iaDigits->SetValue(6);
    EXPECT_TRUE(Close(spRegistre));
    EXPECT_TRUE(registry->keyExists(form->gp->RegistryKey()));
    Start();
    EXPECT_EQ(form->A.iaDigits->Value(), 6);
    form->gp->SetMode(spNone);
    EXPECT_TRUE(Close(spPortable));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("Kestrova.ini"))));
    EXPECT_FALSE(registry->keyExists(form->gp->RegistryKey()));
}

// Every video clip, by each road: the command-line switch, the file
// manager's open action and a drop on the video. Each shows its first frame.
TEST_F(MainFormTest, EveryClipOpensByTheSwitchTheFileManagerAndADrop)
{
    const char* const clipNames[] = {
        "dv_joined.avi",        "dv_ntsc_wide.avi", "dv_pal.avi",    "h264.m2ts",      "h264.mkv",         "h264.mp4",
        "hard_cut.mp4",         "mpeg1.m1v",        "mpeg1.mpg",     "mpeg2.m2v",      "mpeg2.mpg",        "mpeg2.ts",
        "mpeg2_interlaced.mpg", "size_change.mpg",  "subtitles.mkv", "two_sounds.mkv", "vidéo ñ 日本.mp4", "wmv.wmv"};
    struct Road
    {
        const char* name;
        std::function<void(const QString&)> open;
    };
    const std::vector<Road> roads{
        {"switch", [&](const QString& f) { form->am->GetSwitch()->RunArguments({QStringLiteral("/o=") + f}); }},
        {"open action",
         [&](const QString& f) {
             fileUi->files.push_back(f);
             form->ficman->waOpenFile->Execute();
         }},
        {"drop", [&](const QString& f) { Drop(f); }},
    };
    for (const Road& road : roads) {
        for (const char* clip : clipNames) {
            SCOPED_TRACE(testing::Message() << road.name << ", " << clip);
            const QString file = clips::path(QString::fromUtf8(clip));
            // The file before stands on its second frame, so that the first
            // frame shown comes from this one.
            if (form->HasVideo()) {
                Until([&] { return form->NavMan->FrameDuration() > 1; });
                form->NavMan->naAvanceFrame->Execute();
                ASSERT_EQ(WaitFor(1), 1);
            }
            road.open(file);
            EXPECT_EQ(form->VideoFileName(), file);
            EXPECT_EQ(form->ficman->CurrentFileName(), file);
            EXPECT_EQ(form->ficman->RecentFiles().front(), file);
            EXPECT_TRUE(form->HasVideo());
            EXPECT_EQ(Shown(), 0);
            EXPECT_FALSE(form->NavBar->isHidden());
            EXPECT_FALSE(form->PanelHaut->isHidden());
            EXPECT_TRUE(form->A.naGrab->Enabled());
            EXPECT_EQ(form->audman->caMute->Enabled(), form->HasAudio());
            EXPECT_EQ(form->EnCoursLab->text(), QFileInfo(file).fileName());
        }
    }
    // An elementary video stream has no sound, and no volume shows.
    form->ficman->OpenFile(clips::path(QStringLiteral("mpeg2.m2v")));
    EXPECT_FALSE(form->HasAudio());
    EXPECT_TRUE(form->GaugeVolume->isHidden());
    form->ficman->OpenFile(clips::path(QStringLiteral("dv_pal.avi")));
    EXPECT_TRUE(form->HasAudio());
    EXPECT_FALSE(form->GaugeVolume->isHidden());
    EXPECT_TRUE(fileUi->errors.isEmpty()) << fileUi->errors.join(u'\n').toStdString();
}

TEST_F(MainFormTest, ExtensionsAreAcceptedInAnyCaseAndOnlyThoseOfVideos)
{
    EXPECT_EQ(VideoExtensions().size(), 19);
    const QString capital = Copy("h264.mp4", QStringLiteral("CAPITAL.MP4"));
    EXPECT_TRUE(form->ficman->OpenFile(capital));
    EXPECT_EQ(Shown(), 0);

    const QString refused = Copy("mpeg2.mpg", QStringLiteral("film.mpeg2"));
    EXPECT_FALSE(form->ficman->OpenFile(refused));
    EXPECT_EQ(form->VideoFileName(), capital);
    EXPECT_EQ(form->ficman->CurrentFileName(), capital);
    EXPECT_EQ(fileUi->errors.size(), 1);
}

TEST_F(MainFormTest, PlayPauseStepsAndThePositionEditMoveTheShownFrame)
{
    ASSERT_TRUE(form->ficman->OpenFile(clips::path(QStringLiteral("h264.mp4"))));
    ASSERT_EQ(Shown(), 0);
    // Steps count in frames once the stream has told its frame duration.
    Until([&] { return form->NavMan->FrameDuration() > 1; });
    ProcessMessages();
    ASSERT_EQ(form->NavMan->FrameDuration(), 400'000);
    form->NavMan->naAvanceFrame->Execute();
    EXPECT_EQ(WaitFor(1), 1);
    form->NavMan->naAvance10Frames->Execute();
    EXPECT_EQ(WaitFor(11), 11);
    form->NavMan->naReculeFrame->Execute();
    EXPECT_EQ(WaitFor(10), 10);

    // A position typed into the bar's edit, with Enter.
    QLineEdit* edit = form->NavBar->CurrentEdit;
    edit->setFocus();
    edit->setText(QStringLiteral("0:00:02:05"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(WaitFor(55), 55);
    EXPECT_FALSE(edit->hasFocus());
    EXPECT_EQ(edit->text(), QStringLiteral("0:00:02:05"));
    // A text that reads as no position goes to the start, and the edit shows
    // where the video is rather than what was typed.
    for (const char* typed : {"later", "1:2:"}) {
        SCOPED_TRACE(typed);
        form->NavMan->naAvanceFrame->Execute();
        edit->setFocus();
        ASSERT_TRUE(edit->hasFocus());
        edit->setText(QString::fromLatin1(typed));
        QTest::keyClick(edit, Qt::Key_Return);
        Settle();
        EXPECT_EQ(edit->text(), form->NavMan->GetStrPosition());
    }
    // Another window taking the focus leaves the typing as it is.
    edit->setFocus();
    edit->setText(QStringLiteral("0:00:02:05"));
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_EQ(edit->text(), QStringLiteral("0:00:02:05"));
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(WaitFor(55), 55);

    form->NavMan->naReculeDebut->Execute();
    EXPECT_EQ(WaitFor(0), 0);
    form->NavMan->caPlay->Execute();
    EXPECT_TRUE(form->NavMan->caPlay->Checked());
    Until([&] { return Shown() >= 5; });
    EXPECT_GE(Shown(), 5);
    form->NavMan->caPlay->Execute();
    Settle();
    const int paused = Shown();
    Until([] { return false; }, 200);
    EXPECT_EQ(Shown(), paused);
}

// A recent entry and a drop open in place of the file: playing goes on in
// the new one, paused stays paused. The open action closes first, so its
// file starts paused.
TEST_F(MainFormTest, AnOpenInPlaceKeepsPlayingOrPausedAndTheOpenActionStartsPaused)
{
    const QString mp4 = clips::path(QStringLiteral("h264.mp4"));
    const QString mkv = clips::path(QStringLiteral("h264.mkv"));
    const QString mpeg = clips::path(QStringLiteral("mpeg2.mpg"));
    ASSERT_TRUE(form->ficman->OpenFile(mp4));
    ASSERT_TRUE(form->ficman->OpenFile(mkv));
    ASSERT_EQ(Shown(), 0);
    const auto playingOn = [&](const QString& file) {
        EXPECT_EQ(form->VideoFileName(), file);
        EXPECT_TRUE(form->NavMan->caPlay->Checked());
        EXPECT_EQ(form->NavMan->GraphState(), kGraphStatePlaying);
        EXPECT_TRUE(Until([&] { return Shown() >= 3; }));
    };
    const auto pausedOnTheFirstFrame = [&](const QString& file) {
        EXPECT_EQ(form->VideoFileName(), file);
        EXPECT_FALSE(form->NavMan->caPlay->Checked());
        Settle();
        EXPECT_EQ(form->NavMan->GraphState(), kGraphStatePaused);
        EXPECT_EQ(Shown(), 0);
    };

    form->NavMan->caPlay->SetChecked(true);
    form->ficman->naRecent[1]->Execute();
    playingOn(mp4);
    Drop(mpeg);
    playingOn(mpeg);
    // Pausing now completes at once, on the picture shown.
    form->NavMan->caPlay->SetChecked(false);
    EXPECT_TRUE(GraphSettled());

    Drop(mkv);
    pausedOnTheFirstFrame(mkv);
    form->ficman->naRecent[2]->Execute();
    pausedOnTheFirstFrame(mp4);

    form->NavMan->caPlay->SetChecked(true);
    fileUi->files.push_back(mkv);
    form->ficman->waOpenFile->Execute();
    pausedOnTheFirstFrame(mkv);
    EXPECT_TRUE(fileUi->errors.isEmpty()) << fileUi->errors.join(u'\n').toStdString();
}

TEST_F(MainFormTest, TheAudioMenuListsEveryTrackAndItsItemsSelectThem)
{
    ASSERT_TRUE(form->ficman->OpenFile(clips::path(QStringLiteral("two_sounds.mkv"))));
    ASSERT_EQ(Shown(), 0);
    QMenu* audio = form->StreamMenus().AudioMenu();
    EXPECT_TRUE(audio->menuAction()->isVisible());
    ASSERT_EQ(form->StreamMenus().AudioStreamNames().size(), 2);
    const QStringList texts = MenuTexts(audio);
    ASSERT_EQ(texts.size(), 4);
    EXPECT_EQ(audio->actions().at(0)->text(), form->audman->caMute->Caption());
    EXPECT_EQ(texts.at(1), QStringLiteral("-"));
    EXPECT_EQ(texts.at(2), form->StreamMenus().AudioStreamNames().at(0).name);
    EXPECT_EQ(texts.at(3), form->StreamMenus().AudioStreamNames().at(1).name);

    // The picture stays where it was across a change of track.
    Until([&] { return form->NavMan->FrameDuration() > 1; });
    form->NavMan->naAvance10Frames->Execute();
    ASSERT_EQ(WaitFor(10), 10);
    audio->actions().at(3)->trigger();
    ProcessMessages();
    const int second = form->StreamMenus().AudioStreamNames().at(1).index;
    AM_MEDIA_TYPE* type = nullptr;
    DWORD flags = 0;
    ASSERT_TRUE(SUCCEEDED(
        form->Media()->StreamSelect()->Info(second, &type, &flags, nullptr, nullptr, nullptr, nullptr, nullptr)));
    DeleteMediaType(type);
    EXPECT_TRUE(flags & AMSTREAMSELECTINFO_ENABLED);
    EXPECT_EQ(Shown(), 10);
    EXPECT_EQ(form->NavMan->FrameDuration(), 400'000);
    // The second track is of another kind (AC-3 after AAC): the sound plays
    // it, and the graph rests paused instead of waiting for sound.
    EXPECT_TRUE(form->HasAudio());
    EXPECT_EQ(form->audman->Status(), asAudioOn);
    EXPECT_TRUE(Until([&] { return form->labFormatAudio->text().startsWith(QStringLiteral("AC3")); }))
        << form->labFormatAudio->text().toStdString();
    EXPECT_TRUE(Until([&] { return GraphSettled(); }));
    EXPECT_TRUE(form->audman->caMute->Enabled());

    // Playing on it moves the picture; the first track comes back while
    // playing, and playing goes on from where it was.
    form->NavMan->caPlay->SetChecked(true);
    EXPECT_TRUE(Until([&] { return Shown() >= 13; }));
    const int before = Shown();
    audio->actions().at(2)->trigger();
    EXPECT_TRUE(form->NavMan->caPlay->Checked());
    EXPECT_EQ(form->NavMan->GraphState(), kGraphStatePlaying);
    EXPECT_GE(Shown(), before);
    EXPECT_TRUE(Until([&] { return Shown() >= before + 3; }));
    EXPECT_TRUE(Until([&] { return form->labFormatAudio->text().startsWith(QStringLiteral("AAC")); }))
        << form->labFormatAudio->text().toStdString();
    form->NavMan->caPlay->SetChecked(false);
    EXPECT_TRUE(Until([&] { return GraphSettled(); }));

    // A file with one track shows it alone; one without sound hides the menu.
    ASSERT_TRUE(form->ficman->OpenFile(clips::path(QStringLiteral("h264.mp4"))));
    EXPECT_LE(MenuTexts(form->StreamMenus().AudioMenu()).size(), 3);
}

TEST_F(MainFormTest, AnSrtBesideTheVideoAddsItsItemAndGoesWithIt)
{
    const QString video = Copy("subtitles.mkv", QStringLiteral("film.mkv"));
    WriteText(dir.filePath(QStringLiteral("film.srt")), "1\n00:00:00,000 --> 00:00:01,000\nHello\n");
    // A scene list beside it: four scenes.
    const QString other = Copy("h264.mp4", QStringLiteral("other.mp4"));

    form->A.caSrtSubTitle->SetCheckedNoMacro(false);
    ASSERT_TRUE(form->ficman->OpenFile(video));
    EXPECT_FALSE(form->srtlab->isHidden());
    EXPECT_TRUE(form->scnLab->isHidden());
    EXPECT_TRUE(form->A.caSrtSubTitle->Checked());
    QMenu* subtitles = form->StreamMenus().SubtitlesMenu();
    EXPECT_TRUE(subtitles->menuAction()->isVisible());
    const QStringList texts = MenuTexts(subtitles);
    ASSERT_EQ(form->StreamMenus().SubtitleStreamNames().size(), 1);
    ASSERT_EQ(texts.size(), 3) << texts.join(u'|').toStdString();
    EXPECT_EQ(texts.at(0), form->StreamMenus().SubtitleStreamNames().at(0).name);
    EXPECT_EQ(texts.at(1), QStringLiteral("-"));
    EXPECT_EQ(texts.at(2), QStringLiteral("Subtitles from Srt file"));

    // The next file has no .srt: the item and its subtitles do not follow.
    ASSERT_TRUE(form->ficman->OpenFile(other));
    EXPECT_TRUE(form->srtlab->isHidden());
    EXPECT_FALSE(form->A.caSrtSubTitle->Checked());
    EXPECT_FALSE(form->StreamMenus().SubtitlesMenu()->menuAction()->isVisible());
}

// Subtitles made to take the memory or a core (a megabyte in one unclosed
// tag, a line of 15 MB, a cue of a hundred thousand lines) beside a paused
// video: what shows is what a picture holds, and the memory stays low.
TEST_F(MainFormTest, HostileSubtitleFilesShowWhatAPictureHoldsInLittleMemory)
{
    struct Case
    {
        const char* what;
        QByteArray text;
    };
    const Case cases[] = {
        {"an unclosed tag", "<i" + QByteArray(1 << 20, 'i')},
        {"a line of 15 MB", QByteArray(15 << 20, 'w')},
        {"a hundred thousand lines", QByteArray("a line\n").repeated(100'000)},
    };
    const QString video = Copy("h264.mp4", QStringLiteral("film.mp4"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(form->ficman->OpenFile(clips::path(QStringLiteral("mpeg1.mpg"))));
        WriteText(dir.filePath(QStringLiteral("film.srt")), "1\n00:00:00,000 --> 00:10:00,000\n" + c.text + "\n");
        const qint64 before = ResidentMegabytes();
        ASSERT_TRUE(form->ficman->OpenFile(video));
        ASSERT_TRUE(form->A.caSrtSubTitle->Checked());
        Settle();
        ASSERT_TRUE(Until([&] { return !form->vidman->SubtitleText().isEmpty(); }));
        const QStringList lines = form->vidman->SubtitleText().split(u'\n');
        EXPECT_LE(lines.size(), 8);
        for (const QString& line : lines)
            EXPECT_LE(line.size(), 201);
        EXPECT_LT(ResidentMegabytes() - before, 200);
    }
}

// Two subtitle streams: each has its item, in the order of the names, and
// the second item selects the stream stored with the second name; a stream
// chosen from the menu takes the place of the .srt file's subtitles.
TEST_F(MainFormTest, TheSubtitlesMenuListsEveryStreamAndItsItemsSelectThem)
{
    const QString video = dir.filePath(QStringLiteral("two_subtitles.mkv"));
    ASSERT_EQ(QProcess::execute(QStringLiteral("ffmpeg"),
                                {"-v", "error", "-nostdin", "-y", "-i", clips::path(QStringLiteral("subtitles.mkv")),
                                 "-map", "0:v", "-map", "0:s", "-map", "0:s", "-c", "copy", "-metadata:s:s:1",
                                 "language=fre", video}),
              0);
    WriteText(dir.filePath(QStringLiteral("two_subtitles.srt")), "1\n00:00:00,000 --> 00:00:01,000\nHello\n");
    ASSERT_TRUE(form->ficman->OpenFile(video));
    ASSERT_EQ(Shown(), 0);
    ASSERT_EQ(form->StreamMenus().SubtitleStreamNames().size(), 2);
    QMenu* subtitles = form->StreamMenus().SubtitlesMenu();
    const QStringList texts = MenuTexts(subtitles);
    ASSERT_EQ(texts.size(), 4) << texts.join(u'|').toStdString();
    EXPECT_EQ(texts.at(0), form->StreamMenus().SubtitleStreamNames().at(0).name);
    EXPECT_EQ(texts.at(1), form->StreamMenus().SubtitleStreamNames().at(1).name);
    EXPECT_EQ(texts.at(2), QStringLiteral("-"));
    EXPECT_EQ(texts.at(3), QStringLiteral("Subtitles from Srt file"));
    EXPECT_TRUE(form->A.caSrtSubTitle->Checked());

    subtitles->actions().at(1)->trigger();
    ProcessMessages();
    const auto enabled = [&](int index) {
        AM_MEDIA_TYPE* type = nullptr;
        DWORD flags = 0;
        EXPECT_TRUE(SUCCEEDED(
            form->Media()->StreamSelect()->Info(index, &type, &flags, nullptr, nullptr, nullptr, nullptr, nullptr)));
        DeleteMediaType(type);
        return (flags & AMSTREAMSELECTINFO_ENABLED) != 0;
    };
    EXPECT_TRUE(enabled(form->StreamMenus().SubtitleStreamNames().at(1).index));
    EXPECT_FALSE(enabled(form->StreamMenus().SubtitleStreamNames().at(0).index));
    EXPECT_FALSE(form->A.caSrtSubTitle->Checked());
    EXPECT_EQ(Shown(), 0);
}

TEST_F(MainFormTest, ScenesOfOneFileDoNotSurviveIntoTheNext)
{
    const QString video = Copy("dv_pal.avi", QStringLiteral("holiday.avi"));
    // The scene list: a header line, then start frames.
    const QString scenes = dir.filePath(QStringLiteral("holiday.scn"));
    QFile::copy(QStringLiteral(KESTROVA_SOURCE_DIR "/fuzz/corpus/fuzz_scene_list/three_scenes"), scenes);
    form->openfile(video);
    EXPECT_FALSE(form->scnLab->isHidden());
    EXPECT_GT(form->Scenes().Count(), 0);
    form->openfile(clips::path(QStringLiteral("h264.mp4")));
    EXPECT_EQ(form->Scenes().Count(), 0);
    EXPECT_TRUE(form->scnLab->isHidden());
}

TEST_F(MainFormTest, AFileWithNothingToPlayIsToldAndNotKept)
{
    // Dropped while a video plays: nothing of the video before stays.
    ASSERT_TRUE(form->ficman->OpenFile(clips::path(QStringLiteral("h264.mp4"))));
    form->NavMan->caPlay->SetChecked(true);
    Drop(clips::path(QStringLiteral("garbage.avi")));
    EXPECT_FALSE(form->NavMan->caPlay->Checked());
    EXPECT_TRUE(form->PanelHaut->isHidden());
    EXPECT_FALSE(form->HasVideo());
    EXPECT_FALSE(form->HasAudio());
    EXPECT_TRUE(form->EnCoursLab->text().contains(QStringLiteral("garbage.avi")));
    EXPECT_TRUE(form->EnCoursLab->text().contains(QStringLiteral("cannot be played")));
    EXPECT_TRUE(form->ficman->CurrentFileName().isEmpty());
    EXPECT_FALSE(form->ficman->RecentFiles().contains(clips::path(QStringLiteral("garbage.avi"))));
    EXPECT_TRUE(form->NavBar->isHidden());
    EXPECT_FALSE(form->A.naGrab->Enabled());

    // Sound alone is playable: audio controls on, video controls off.
    const QString wav = Copy("audio_only.wav", QStringLiteral("sound.avi"));
    form->openfile(wav);
    ASSERT_TRUE(form->HasAudio());
    EXPECT_TRUE(form->audman->caMute->Enabled());
    EXPECT_FALSE(form->A.naGrab->Enabled());
    EXPECT_FALSE(form->NavBar->isHidden());
}

// Matroska files cut short after their headers: the graph never gets ready.
// Opened and grabbed from the command line, each is refused in a bounded
// time, with the reason on the video panel, and the window answers.
TEST_F(MainFormTest, AClipCutShortIsGrabbedOrRefusedWithoutHanging)
{
    const QString pictures = dir.filePath(QStringLiteral("pictures/"));
    ASSERT_TRUE(QDir().mkpath(pictures));
    form->A.waDossierSave->SetValue(pictures);
    for (const char* clip : {"two_sounds_cut.mkv", "h264_cut.mkv"}) {
        SCOPED_TRACE(clip);
        const QString file = clips::path(QString::fromUtf8(clip));
        QElapsedTimer time;
        time.start();
        form->am->GetSwitch()->RunArguments({QStringLiteral("/o=") + file, QStringLiteral("/g")});
        ProcessMessages();
        // A hang, not a speed: whole waits took 30 s and more.
        EXPECT_LT(time.elapsed(), 5000);
        EXPECT_TRUE(form->NavMan->Stalled());
        const QString shown = form->vidman->Notice()->toPlainText();
        EXPECT_TRUE(shown.contains(QStringLiteral("damaged or cut short"))) << shown.toStdString();
        EXPECT_FALSE(form->vidman->Notice()->isHidden());
        // Refused: nothing saved, and the grab's label says so.
        EXPECT_TRUE(QDir(pictures).isEmpty());
        EXPECT_TRUE(form->ImageLab->text().contains(QStringLiteral("nothing was saved")))
            << form->ImageLab->text().toStdString();
    }
    // A whole file afterwards plays as ever.
    ASSERT_TRUE(form->ficman->OpenFile(clips::path(QStringLiteral("h264.mkv"))));
    EXPECT_EQ(Shown(), 0);
    // (A machine slow enough to stall it shows the picture once it settles.)
    EXPECT_TRUE(Until([&] { return !form->NavMan->Stalled() && form->vidman->Notice()->isHidden(); }));
}

// What opening and closing show: the title strip grey with "Loading " while
// the file opens and navy once open, the preview window's caption, the
// companion marks, the pages an open closes and the controls of each kind.
TEST_F(MainFormTest, OpeningAndClosingShowTheFileAndItsControls)
{
    const QColor grey(128, 128, 128);
    const QColor navy(0, 0, 128);
    const QString video = Copy("dv_pal.avi", QStringLiteral("holiday.avi"));
    WriteText(video + QStringLiteral(".modd"), "modd");
    // The title while the file opens, seen when its sound is connected.
    QString loadingText;
    QColor loadingColour;
    // The watch reads this test's locals: it goes with them, as the window
    // tells the sound's end once more when it goes.
    QObject watch;
    QObject::connect(form->audman.get(), &TAudioMan::AudioFormatNotified, &watch, [&] {
        if (loadingText.isEmpty()) {
            loadingText = form->EnCoursLab->text();
            loadingColour = TextColour(form->EnCoursLab);
        }
    });
    form->am->caOptions->SetChecked(true);
    ASSERT_TRUE(form->ficman->OpenFile(video));
    EXPECT_FALSE(form->am->caOptions->Checked()) << "an open closes the options page";
    EXPECT_EQ(loadingText, QStringLiteral("Loading holiday.avi"));
    EXPECT_EQ(loadingColour, grey);
    EXPECT_EQ(form->EnCoursLab->text(), QStringLiteral("holiday.avi"));
    EXPECT_EQ(TextColour(form->EnCoursLab), navy);
    EXPECT_FALSE(form->moddlab->isHidden());
    EXPECT_TRUE(form->srtlab->isHidden());
    ASSERT_NE(form->vidman->PreviewForm(), nullptr);
    EXPECT_EQ(form->vidman->PreviewForm()->windowTitle(), video);
    // The controls of the video, then of the sound.
    const QList<TTntCustomAction*> controls{form->A.caSliders,
                                            form->vidman->caFullscreen,
                                            form->A.naGrab,
                                            form->A.naCopy,
                                            form->A.caIntervalloShow,
                                            form->audman->caMute,
                                            form->audman->naIncVolume,
                                            form->audman->naDecVolume};
    for (TTntCustomAction* action : controls)
        EXPECT_TRUE(action->Enabled()) << action->Name().toStdString();
    EXPECT_FALSE(form->ImageLab->isHidden());
    EXPECT_FALSE(form->GaugeVolume->isHidden());

    form->am->caAbout->SetChecked(true);
    ASSERT_TRUE(form->ficman->OpenFile(clips::path(QStringLiteral("h264.mp4"))));
    EXPECT_FALSE(form->am->caAbout->Checked()) << "an open closes the About page";
    EXPECT_TRUE(form->moddlab->isHidden());

    form->A.caSliders->SetChecked(true);
    form->ficman->naCloseFile->Execute();
    EXPECT_TRUE(form->EnCoursLab->text().isEmpty());
    EXPECT_EQ(TextColour(form->EnCoursLab), navy);
    EXPECT_EQ(form->vidman->PreviewForm()->windowTitle(), QStringLiteral("External Preview"));
    EXPECT_FALSE(form->A.caSliders->Checked());
    for (TTntCustomAction* action : controls)
        EXPECT_FALSE(action->Enabled()) << action->Name().toStdString();
    EXPECT_TRUE(form->ImageLab->isHidden());
    EXPECT_TRUE(form->GaugeVolume->isHidden());
    EXPECT_TRUE(form->PanelHaut->isHidden());
}

TEST_F(MainFormTest, ClosingAFileEmptiesTheWindow)
{
    ASSERT_TRUE(form->ficman->OpenFile(clips::path(QStringLiteral("two_sounds.mkv"))));
    ASSERT_EQ(Shown(), 0);
    form->NavMan->caPlay->SetChecked(true);
    form->ficman->naCloseFile->Execute();
    EXPECT_FALSE(form->NavMan->caPlay->Checked());
    EXPECT_TRUE(form->VideoFileName().isEmpty());
    EXPECT_TRUE(form->EnCoursLab->text().isEmpty());
    EXPECT_TRUE(form->NavBar->isHidden());
    EXPECT_FALSE(form->A.naCopy->Enabled());
    EXPECT_FALSE(form->audman->naIncVolume->Enabled());
    EXPECT_EQ(form->vidman->CurrentSource(), NoVideoSource());
    EXPECT_EQ(form->audman->CurrentSource(), NoAudioSource());
    // The next file plays in the emptied graph.
    ASSERT_TRUE(form->ficman->OpenFile(clips::path(QStringLiteral("mpeg1.mpg"))));
    EXPECT_EQ(Shown(), 0);
}

// However the open video goes (closed, replaced by another file, or with the
// window), its picture, its sound and its subtitles leave the graph.
TEST_F(MainFormTest, TheOpenVideosStreamsLeaveTheGraphEveryWayItGoes)
{
    const struct
    {
        const char* way;
        std::function<void()> go;
        bool videoStays;
        bool soundStays;
    } cases[] = {
        {"closed", [&] { form->ficman->naCloseFile->Execute(); }, false, false},
        {"replaced", [&] { ASSERT_TRUE(form->ficman->OpenFile(clips::path(QStringLiteral("two_sounds.mkv")))); }, true,
         true},
        {"with the window", [&] { ASSERT_TRUE(Close(spNone)); }, false, false},
    };
    for (const auto& c : cases) {
        Start();
        ASSERT_TRUE(form->ficman->OpenFile(clips::path(QStringLiteral("dv_pal.avi")))) << c.way;
        const struct
        {
            TVideoSource* video;
            TAudioSource* audio;
        } before{form->vidman->CurrentSource(), form->audman->CurrentSource()};
        ASSERT_NE(before.audio, NoAudioSource()) << c.way;
        c.go();
        EXPECT_EQ(form->vidman->CurrentSubtitleSource(), NoSubtitleSource()) << c.way;
        EXPECT_NE(form->vidman->CurrentSource(), before.video) << c.way;
        EXPECT_EQ(form->vidman->CurrentSource() != NoVideoSource(), c.videoStays) << c.way;
        EXPECT_NE(form->audman->CurrentSource(), before.audio) << c.way;
        EXPECT_EQ(form->audman->CurrentSource() != NoAudioSource(), c.soundStays) << c.way;
    }
}

TEST_F(MainFormTest, TheLayoutPlacesTheColumnsByTheirSide)
{
    // A file open: the top strip shows, with its labels.
    ASSERT_TRUE(form->ficman->OpenFile(clips::path(QStringLiteral("h264.mp4"))));
    // The saved bounds were applied at show: the layout's own size again.
    form->resize(1025, 644);
    ProcessMessages();
    ASSERT_EQ(form->Client->width(), 1025);
    EXPECT_EQ(form->A.iaLeftFrame->Value(), 0);
    EXPECT_EQ(form->PanelOffset(), 276);
    EXPECT_EQ(form->videoPanel->x(), 276 + 19);
    EXPECT_EQ(form->videoPanel->width(), 1025 - 314);
    EXPECT_EQ(form->videoPanel->height(), form->Client->height() - 238);
    EXPECT_EQ(form->ImagetteFrame->height(), form->Client->height() - 80);
    EXPECT_EQ(form->Bevel1->x(), 277);
    EXPECT_EQ(form->panelImage->y(), form->Client->height() - 24);
    EXPECT_EQ(form->srtlab->x(), 1025 - 48);
    EXPECT_EQ(form->sep1->width(), (1025 - 638) / 4);

    // Every place of the layout that follows the client's size, on either side.
    const auto places = [&](int cw, int ch) {
        const int left = form->A.iaLeftFrame->Value();
        EXPECT_EQ(form->PanelTitre->geometry(), QRect(0, 30, cw, form->PanelTitre->height()));
        EXPECT_EQ(form->panelImage->geometry(), QRect(0, ch - 24, cw, form->panelImage->height()));
        EXPECT_EQ(form->Bevel1->y(), 54);
        EXPECT_EQ(form->Bevel1->height(), ch - 84);
        EXPECT_EQ(form->Bevel2->geometry(), QRect(0, 29, cw, form->Bevel2->height()));
        EXPECT_EQ(form->videoPanel->width(), cw - 314);
        EXPECT_EQ(form->videoPanel->height(), ch - 238);
        EXPECT_EQ(form->ImagetteFrame->height(), ch - 80);
        EXPECT_EQ(form->scnLab->x(), cw - 30);
        EXPECT_EQ(form->srtlab->x(), cw - 48);
        EXPECT_EQ(form->moddlab->x(), cw - 80);
        EXPECT_EQ(form->NavBar->x(), form->videoPanel->x() + (form->videoPanel->width() - form->NavBar->width()) / 2);
        EXPECT_EQ(form->intervalloframe->x(), form->NavBar->x());
        EXPECT_EQ(form->PanelHaut->x(), form->videoPanel->x());
        EXPECT_EQ(form->PanelHaut->width(), form->videoPanel->width());
        for (QWidget* panel : std::initializer_list<QWidget*>{form->SaveImagesFrame, form->ImagetteFrame,
                                                              form->IncrustFrame, form->DVIncrustFrame})
            EXPECT_EQ(panel->x(), left) << panel->objectName().toStdString();
        for (QWidget* separator : std::initializer_list<QWidget*>{form->sep1, form->sep2, form->sep3, form->sep4})
            EXPECT_EQ(separator->width(), (cw - 638) / 4) << separator->objectName().toStdString();
        // The labels of the top strip: two columns of half its width less 4.
        const int w = form->PanelHaut->width() / 2 - 4;
        EXPECT_EQ(form->labFormatVideo->x(), 2);
        EXPECT_EQ(form->labDecoderVideo->x(), 2);
        EXPECT_EQ(form->labFormatAudio->x(), w + 2);
        EXPECT_EQ(form->labDecoderAudio->x(), w + 2);
        for (QLabel* label : {form->labFormatVideo, form->labDecoderVideo, form->labFormatAudio, form->labDecoderAudio})
            EXPECT_EQ(label->width(), w) << label->objectName().toStdString();
    };
    {
        SCOPED_TRACE("panels on the left");
        places(1025, form->Client->height());
    }

    form->A.caVideoLeft->SetChecked(true);
    EXPECT_TRUE(form->VideoOnTheLeft());
    EXPECT_EQ(form->A.iaLeftFrame->Value(), 749);
    EXPECT_EQ(form->videoPanel->x(), 19);
    EXPECT_EQ(form->ImagetteFrame->x(), 749);
    EXPECT_EQ(form->Bevel1->x(), 748);
    EXPECT_EQ(form->NavBar->x(), 19 + (711 - form->NavBar->width()) / 2);
    {
        SCOPED_TRACE("panels on the right");
        places(1025, form->Client->height());
    }
    form->A.caSliders->SetCheckedNoMacro(true);
    form->ArrangePanels();
    EXPECT_EQ(form->videoPanel->x(), 8);
    form->A.caSliders->SetCheckedNoMacro(false);

    // A resize lays out again, and records nothing in a macro.
    QStringList lines;
    MacroTarget = &lines;
    form->resize(900, 600);
    ProcessMessages();
    Until([] { return false; }, 300);
    MacroTarget = nullptr;
    EXPECT_EQ(form->A.iaLeftFrame->Value(), form->Client->width() - 276);
    EXPECT_TRUE(lines.isEmpty()) << lines.join(u'\n').toStdString();
    EXPECT_EQ(form->NavBar->y(), form->videoPanel->y() + form->videoPanel->height());
    // The interval panel stands under the bar: over it, it would hide the buttons.
    EXPECT_EQ(form->intervalloframe->y(), form->NavBar->y() + form->NavBar->height());
    {
        SCOPED_TRACE("resized");
        places(form->Client->width(), form->Client->height());
    }
}

TEST_F(MainFormTest, ASharedScriptNameBelongsToTheFirstListAndTheOtherKeepsItsMenu)
{
    FakeScript* host = StartWithFakeScript();
    ASSERT_NE(host, nullptr);
    // Each routine is declared once.
    QStringList names;
    for (const FakeScript::Routine& routine : host->routines) {
        const QString name = TUniqueScriptNames::RoutineName(routine.declaration);
        EXPECT_FALSE(names.contains(name)) << routine.declaration;
        names.append(name);
    }
    // The window's own list is linked first: its check action wins.
    ASSERT_TRUE(names.contains(QStringLiteral("CONSERVERSCRIPT")));
    for (const FakeScript::Routine& routine : host->routines) {
        if (TUniqueScriptNames::RoutineName(routine.declaration) == QStringLiteral("CONSERVERSCRIPT")) {
            EXPECT_EQ(routine.self, form->A.caConserverScript);
        }
    }
    ASSERT_TRUE(host->Call(QStringLiteral("setConserverScript"), {false}));
    EXPECT_FALSE(form->A.caConserverScript->Checked());
    // The application manager's flag of the same name still runs from its menu.
    QAction* item = nullptr;
    for (QAction* action : form->findChildren<QAction*>())
        if (form->am->baConserverScript->BoundActions().contains(action))
            item = action;
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->isEnabled());
    int applied = 0;
    form->am->baConserverScript->OnAfterApply = [&applied](const bool&) { ++applied; };
    form->am->baConserverScript->SetValue(!form->am->baConserverScript->Value());
    EXPECT_EQ(applied, 1);
}

TEST_F(MainFormTest, ActionsWithoutHandlersAreHarmless)
{
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) {
            ASSERT_TRUE(form->ficman->OpenFile(clips::path(QStringLiteral("h264.mp4"))));
        }
        for (TCustomAbstractAction* action : form->gpal->AbstractActions()) {
            if (action == form->A.caVideoLeft)
                continue;
            action->Execute();
            action->Apply();
            action->SetValueFromString(QStringLiteral("1"));
        }
        ProcessMessages();
        EXPECT_TRUE(form->isVisible());
    }
    EXPECT_EQ(Shown(), 0);
}

TEST_F(MainFormTest, PlaybackEndsPausedAndUnchecked)
{
    ASSERT_TRUE(form->ficman->OpenFile(clips::path(QStringLiteral("hard_cut.mp4"))));
    ASSERT_EQ(Shown(), 0);
    form->NavMan->naAvanceFin->Execute();
    Settle();
    form->NavMan->caPlay->SetChecked(true);
    Until([&] { return !form->NavMan->caPlay->Checked(); });
    ProcessMessages();
    EXPECT_FALSE(form->NavMan->caPlay->Checked());
    EXPECT_TRUE(form->NavMan->Completed());

    // The end of playback told by message: the same.
    form->NavMan->caPlay->SetChecked(true);
    SendMessage(form->Handle(), WM_PLAYBACKSTOPPED, 0, 0);
    EXPECT_FALSE(form->NavMan->caPlay->Checked());
    Settle();
    EXPECT_EQ(form->NavMan->GraphState(), kGraphStatePaused);
}

// A caller's handler on the managers' single events (the end of the
// streams, the four labels' texts) leaves the window listening beside it.
TEST_F(MainFormTest, ACallersHandlersOnTheManagersEventsLeaveTheWindowListening)
{
    QStringList heard;
    const auto hear = [&heard](const char* name) { return [&heard, name](auto&&...) { heard << name; }; };
    form->NavMan->OnGraphCompleted = hear("OnGraphCompleted");
    form->vidman->OnNotifyVideoFormat = hear("OnNotifyVideoFormat");
    form->vidman->OnNotifyVideoDecoder = hear("OnNotifyVideoDecoder");
    form->audman->OnNotifyAudioFormat = hear("OnNotifyAudioFormat");
    form->audman->OnNotifyAudioDecoder = hear("OnNotifyAudioDecoder");
    ASSERT_TRUE(form->ficman->OpenFile(clips::path(QStringLiteral("two_sounds.mkv"))));
    form->NavMan->naAvanceFin->Execute();
    Settle();
    form->NavMan->caPlay->SetChecked(true);
    Until([&] { return !form->NavMan->caPlay->Checked(); });
    ProcessMessages();

    const struct
    {
        const char* handler;
        std::function<bool()> windowHeard;
    } cases[] = {
        {"OnGraphCompleted", [&] { return !form->NavMan->caPlay->Checked() && form->NavMan->Completed(); }},
        {"OnNotifyVideoFormat", [&] { return !form->labFormatVideo->text().isEmpty(); }},
        {"OnNotifyVideoDecoder", [&] { return !form->labDecoderVideo->text().isEmpty(); }},
        {"OnNotifyAudioFormat", [&] { return !form->labFormatAudio->text().isEmpty(); }},
        {"OnNotifyAudioDecoder", [&] { return !form->labDecoderAudio->text().isEmpty(); }},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(heard.contains(QString::fromLatin1(c.handler))) << c.handler;
        EXPECT_TRUE(c.windowHeard()) << c.handler;
    }
    // The handlers read this test's locals.
    form->NavMan->OnGraphCompleted = nullptr;
    form->vidman->OnNotifyVideoFormat = form->vidman->OnNotifyVideoDecoder = nullptr;
    form->audman->OnNotifyAudioFormat = form->audman->OnNotifyAudioDecoder = nullptr;
}

// What the window gives back when it goes, and what it does after it was
// moved or resized: the screen saver as it found it, the script window where
// the user left it, the paused frame drawn again.
TEST_F(MainFormTest, TheWindowPutsBackWhatItChangedAndRedrawsAfterAResize)
{
    for (const bool wasOn : {true, false}) {
        form.reset();
        SetScreenSaverActive(wasOn);
        Start(ProgramScriptParts());
        EXPECT_FALSE(ScreenSaverActive());
        form.reset();
        EXPECT_EQ(ScreenSaverActive(), wasOn);
    }

    Start(ProgramScriptParts());
    QWidget* scripts = form->am->ScriptForm()->Window();
    form->am->caScript->SetChecked(true);
    const QRect moved(70, 80, 500, 400);
    scripts->setGeometry(moved);
    ProcessMessages();
    ASSERT_TRUE(Close(spPortable));
    Start(ProgramScriptParts());
    EXPECT_EQ(form->am->ScriptForm()->Window()->geometry(), moved);

    ASSERT_TRUE(form->ficman->OpenFile(clips::path(QStringLiteral("h264.mp4"))));
    ASSERT_EQ(Shown(), 0);
    Settle();
    // A frame decoded again passes the frames notifier, which tells its time.
    int told = 0;
    form->NavMan->OnDisplayTime = [&told, shown = form->NavMan->OnDisplayTime](const QString& text) {
        ++told;
        if (shown)
            shown(text);
    };
    form->resize(form->width() + 40, form->height() + 30);
    EXPECT_TRUE(Until([&] { return told > 0; }, 5000)) << "the paused frame was not drawn again after the resize";
    EXPECT_EQ(Shown(), 0);
}

} // namespace
