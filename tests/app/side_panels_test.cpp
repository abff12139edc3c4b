// The side panels, the options page, the preview window and the subtitles
// beside a video, on the real window with the real clips.

#include "main_form_fixture.h"

#include "app/picture_naming.h"

#include "framework/widgets/directory_edit.h"
#include "framework/widgets/kv_buttons.h"
#include "framework/widgets/link_edit.h"
#include "media/engine/video_forms.h"
#include "platform/win/messages.h"
#include "tests/framework/actions/fakes.h"
#include "tests/media/clip_reader.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QSpinBox>
#include <QTest>

#include <array>

namespace {

// A frame of the 25 frames a second clips.
constexpr REFERENCE_TIME kFrame = 400'000;

class SidePanelsTest : public MainFormTest
{
protected:
    // Serves messages and timers for a while.
    static void Serve(int ms)
    {
        Until([] { return false; }, ms);
    }

    // Paused on frame n, the picture shown and what follows it done.
    void GoToFrame(int n)
    {
        form->NavMan->PreciseSeekTo(n * kFrame);
        ASSERT_EQ(WaitFor(n), n);
        Serve(60);
    }

    std::array<QWidget*, 4> Panels() const
    {
        return {form->ImagetteFrame, form->SaveImagesFrame, form->DVIncrustFrame, form->IncrustFrame};
    }
    std::array<TKvButton*, 4> Buttons() const
    {
        return {form->ShowImagetteBtn, form->ShowSaveImagesBtn, form->ShowDVIncrustBtn, form->ShowIncrustBtn};
    }
    // The panel shown and the button down, each -1 for none; -2 when more
    // than one.
    std::pair<int, int> Shown() const
    {
        std::pair<int, int> shown{-1, -1};
        for (int i = 0; i < 4; ++i) {
            if (Panels()[std::size_t(i)]->isVisibleTo(form->Client))
                shown.first = shown.first == -1 ? i : -2;
            if (Buttons()[std::size_t(i)]->isChecked())
                shown.second = shown.second == -1 ? i : -2;
        }
        return shown;
    }
    int ShownFrame() { return MainFormTest::Shown(); }

    // Every stored value of every list of the window, by list and action.
    QMap<QString, QString> StoredValues() const
    {
        QMap<QString, QString> values;
        for (TCustomKvActionList* list :
             std::initializer_list<TCustomKvActionList*>{form->gpal, form->NavMan.get(), form->vidman.get(),
                                                         form->audman.get(), form->ficman.get(), form->am.get()}) {
            for (TCustomAbstractAction* action : list->AbstractActions()) {
                if (action->IncludePrefs)
                    values.insert(list->objectName() + u'.' + action->InternalId, action->MacroLine());
            }
        }
        return values;
    }

    int RegistryInteger(const QString& name) const
    {
        const auto value = registry->readDword(form->gp->RegistryKey() + QStringLiteral("\\MainForm"), name);
        return value ? static_cast<int>(*value) : 12345;
    }

    QString Ini() const { return dir.filePath(QStringLiteral("Kestrova.ini")); }
};

class FakeFolderChooser final : public IFolderChooser
{
public:
    QString answer;
    bool ChooseFolder(const QString&, const QString&, QString& folder, bool) override
    {
        folder = answer;
        return true;
    }
};

void WriteText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

// The white letters of the overlay the renderer mixes over the video; none
// while it mixes none.
int WhitePixels(TVideoMan& vidman)
{
    IVMRMixerBitmap9* mixer = nullptr;
    if (FAILED(vidman.QueryInterface(IVMRMixerBitmap9::iid, reinterpret_cast<void**>(&mixer))) || !mixer)
        return -1;
    VMR9AlphaBitmap parameters;
    const HRESULT hr = mixer->GetAlphaBitmapParameters(&parameters);
    mixer->Release();
    if (FAILED(hr) || (parameters.dwFlags & VMR9AlphaBitmap_Disable))
        return 0;
    const QImage& bitmap = vidman.InlayBitmap();
    int count = 0;
    for (int y = 0; y < bitmap.height(); ++y)
        for (int x = 0; x < bitmap.width(); ++x)
            count += (bitmap.pixel(x, y) & RGB_MASK) == (qRgb(255, 255, 255) & RGB_MASK);
    return count;
}

TEST_F(SidePanelsTest, OnePanelShowsWithItsButtonDownAndNoneIsSavedAsMinusOne)
{
    // The show actions, and the bar's buttons, each bring up their panel alone.
    const std::array<TNopeAction*, 4> shows{form->A.naShowImagette, form->A.naShowSaveImages, form->A.naShowDVIncrust,
                                            form->A.naShowIncrust};
    for (int i : {3, 1, 0, 2}) {
        shows[std::size_t(i)]->Execute();
        EXPECT_EQ(form->A.iaPanneauActif->Value(), i);
        EXPECT_EQ(Shown(), std::make_pair(i, i));
    }
    form->ShowIncrustBtn->click();
    EXPECT_EQ(form->A.iaPanneauActif->Value(), 3);
    EXPECT_EQ(Shown(), std::make_pair(3, 3));
    form->ShowIncrustBtn->click(); // again: it stays
    EXPECT_EQ(Shown(), std::make_pair(3, 3));

    // Any other value hides them all and is saved as none.
    form->A.iaPanneauActif->SetValue(7);
    EXPECT_EQ(Shown(), std::make_pair(-1, -1));
    form->gp->SetMode(spRegistre);
    ASSERT_TRUE(Close(std::nullopt));
    EXPECT_EQ(RegistryInteger(QStringLiteral("PanneauActif")), -1);
    Start();
    EXPECT_EQ(form->A.iaPanneauActif->Value(), -1);
    EXPECT_EQ(Shown(), std::make_pair(-1, -1));

    // A panel brought up is the one shown at the next start.
    form->A.naShowSaveImages->Execute();
    ASSERT_TRUE(Close(std::nullopt));
    EXPECT_EQ(RegistryInteger(QStringLiteral("PanneauActif")), 1);
    Start();
    EXPECT_EQ(Shown(), std::make_pair(1, 1));

    // The panels stand at the left edge of their column, on either side.
    form->A.caVideoLeft->SetChecked(true);
    const int right = form->Client->width() - kSidePanelWidth;
    EXPECT_EQ(form->A.iaLeftFrame->Value(), right);
    for (QWidget* panel : Panels())
        EXPECT_EQ(panel->x(), right) << panel->objectName().toStdString();
    form->A.iaLeftFrame->SetValue(40);
    for (QWidget* panel :
         std::initializer_list<QWidget*>{form->ImagetteFrame, form->SaveImagesFrame, form->IncrustFrame})
        EXPECT_EQ(panel->x(), 40) << panel->objectName().toStdString();
    form->A.caVideoLeft->SetChecked(false);
    for (QWidget* panel : Panels())
        EXPECT_EQ(panel->x(), 0) << panel->objectName().toStdString();
}

TEST_F(SidePanelsTest, TheOptionsPageAndTheActionsShowEachOther)
{
    FakeScript* host = StartWithFakeScript();
    ASSERT_NE(host, nullptr);
    TOptionsFrame* options = form->OptionsFrame;

    // Precise seeking: scripts check and uncheck the box; the box sets the action.
    EXPECT_EQ(options->cbNavPrecise->isChecked(), form->NavMan->caSeekPrecision->Checked());
    ASSERT_TRUE(host->Call(QStringLiteral("setSeekPrecision"), {true}));
    EXPECT_TRUE(options->cbNavPrecise->isChecked());
    ASSERT_TRUE(host->Call(QStringLiteral("setSeekPrecision"), {false}));
    EXPECT_FALSE(form->NavMan->caSeekPrecision->Checked());
    EXPECT_FALSE(options->cbNavPrecise->isChecked());
    options->cbNavPrecise->click();
    EXPECT_TRUE(form->NavMan->caSeekPrecision->Checked());
    options->cbNavPrecise->click();
    EXPECT_FALSE(form->NavMan->caSeekPrecision->Checked());

    // The pre-roll, the largest sync offset: both ways.
    ASSERT_TRUE(host->Call(QStringLiteral("SeekPrepos"), {250}));
    EXPECT_EQ(options->seSeekPrepos->value(), 250);
    options->seSeekPrepos->setValue(700);
    EXPECT_EQ(form->NavMan->iaSeekPrepos->Value(), 700);
    EXPECT_EQ(options->seMaxSynchro->value(), 80);
    EXPECT_EQ(form->vidman->MaxSyncOffset, 80);
    options->seMaxSynchro->setValue(120);
    EXPECT_EQ(form->A.iaMaxSynchro->Value(), 120);
    EXPECT_EQ(form->vidman->MaxSyncOffset, 120);
    form->A.iaMaxSynchro->SetValue(40);
    EXPECT_EQ(options->seMaxSynchro->value(), 40);
    EXPECT_EQ(form->vidman->MaxSyncOffset, 40);

    // The scripts' folder and keeping the script are the application
    // manager's.
    const bool keep = form->am->baConserverScript->Value();
    EXPECT_EQ(options->cbConserverScript->isChecked(), keep);
    options->cbConserverScript->click();
    EXPECT_EQ(form->am->baConserverScript->Value(), !keep);
    FakeFolderChooser chooser;
    chooser.answer = dir.filePath(QStringLiteral("scripts"));
    SetFolderChooser(&chooser);
    options->deDossierScripts->Button()->click();
    EXPECT_EQ(form->am->waScriptFolder->Value(), chooser.answer + u'/');
    // The private folder gets its trailing separator too.
    chooser.answer = dir.path();
    options->dePrivateFolder->Button()->click();
    SetFolderChooser(nullptr);
    EXPECT_EQ(form->A.waPrivateFolder->Value(), dir.path() + u'/');
    EXPECT_EQ(options->dePrivateFolder->Folder(), dir.path() + u'/');
    EXPECT_TRUE(fileUi->errors.isEmpty()) << fileUi->errors.join(u'\n').toStdString();

    // The storage mode's item follows the mode.
    EXPECT_TRUE(options->rgPrefsItems->button(spNone)->isChecked());
    form->gp->SetMode(spPortable);
    EXPECT_TRUE(options->rgPrefsItems->button(spPortable)->isChecked());
}

// The managers' single after-apply handlers stay free for scripts and
// callers: one set there displaces none of the window's own listeners, and
// both hear every change.
TEST_F(SidePanelsTest, ACallersHandlerOnAManagersActionLeavesTheWindowListening)
{
    TOptionsFrame* options = form->OptionsFrame;
    int heard = 0;
    const auto count = [&heard](auto&&...) { ++heard; };
    QString folder;
    const struct
    {
        const char* name;
        std::function<void()> own;
        std::function<void()> change;
        std::function<bool()> shown;
    } cases[] = {
        {"caSeekPrecision",
         [&] {
             form->NavMan->caSeekPrecision->OnAfterTrueApply = form->NavMan->caSeekPrecision->OnAfterFalseApply = count;
         },
         [&] { form->NavMan->caSeekPrecision->SetChecked(!form->NavMan->caSeekPrecision->Checked()); },
         [&] { return options->cbNavPrecise->isChecked() == form->NavMan->caSeekPrecision->Checked(); }},
        {"iaSeekPrepos", [&] { form->NavMan->iaSeekPrepos->OnAfterApply = count; },
         [&] { form->NavMan->iaSeekPrepos->SetValue(form->NavMan->iaSeekPrepos->Value() + 50); },
         [&] { return options->seSeekPrepos->value() == form->NavMan->iaSeekPrepos->Value(); }},
        {"baConserverScript", [&] { form->am->baConserverScript->OnAfterApply = count; },
         [&] { form->am->baConserverScript->SetValue(!form->am->baConserverScript->Value()); },
         [&] { return options->cbConserverScript->isChecked() == form->am->baConserverScript->Value(); }},
        {"waScriptFolder", [&] { form->am->waScriptFolder->OnAfterApply = count; },
         [&] { form->am->waScriptFolder->SetValue(folder); },
         [&] { return options->deDossierScripts->Folder() == folder; }},
        {"iaInsertBorderWidth", [&] { form->vidman->iaInsertBorderWidth->OnAfterApply = count; },
         [&] { form->vidman->iaInsertBorderWidth->SetValue(form->vidman->iaInsertBorderWidth->Value() == 3 ? 1 : 3); },
         [&] {
             return form->IncrustFrame->tbBorder->text() ==
                    QStringLiteral("Border %1").arg(form->vidman->iaInsertBorderWidth->Value());
         }},
    };
    for (const auto& c : cases) {
        for (int pass = 0; pass < 2; ++pass) {
            folder = dir.filePath(QStringLiteral("scripts %1").arg(pass)) + u'/';
            heard = 0;
            c.own();
            c.change();
            EXPECT_EQ(heard, 1) << c.name;
            EXPECT_TRUE(c.shown()) << c.name << " pass " << pass;
        }
    }
}

// A folder setting is never "nowhere": stored or set empty, it is its
// default, and the pictures then go to the pictures folder.
TEST_F(SidePanelsTest, EmptyFoldersTakeTheirDefaults)
{
    const QString key = form->gp->RegistryKey() + QStringLiteral("\\MainForm");
    ASSERT_TRUE(registry->writeString(key, QStringLiteral("DossierSave"), QString()));
    ASSERT_TRUE(registry->writeString(key, QStringLiteral("waLAVFolder"), QString()));
    ASSERT_TRUE(registry->writeString(key, QStringLiteral("ScriptFolder"), QString()));
    Start();
    ASSERT_EQ(form->gp->Mode(), spRegistre);
    const struct
    {
        TWidestringAction* action;
        QString expected;
    } folders[] = {
        {form->A.waDossierSave, GetMyPicturesFolder()},
        {form->A.waPrivateFolder, dir.path() + u'/'},
        {form->am->waScriptFolder, form->am->waScriptFolder->DefaultValue()},
    };
    for (const auto& folder : folders) {
        SCOPED_TRACE(folder.action->ScriptName.toStdString());
        EXPECT_FALSE(folder.expected.isEmpty());
        EXPECT_EQ(folder.action->Value(), folder.expected) << "loaded";
        folder.action->SetValue(QString());
        EXPECT_EQ(folder.action->Value(), folder.expected) << "set";
    }
    EXPECT_TRUE(form->PictureName().startsWith(WithTrailingSeparator(GetMyPicturesFolder())))
        << form->PictureName().toStdString();
    EXPECT_TRUE(fileUi->errors.isEmpty()) << fileUi->errors.join(u'\n').toStdString();
}

// A private filter folder without its files is told on the options page,
// where it is chosen, once; never at start-up or while the program quits.
TEST_F(SidePanelsTest, APrivateFolderThatLacksItsFilesIsToldOnceOnTheOptionsPage)
{
    const QString empty = dir.filePath(QStringLiteral("empty"));
    ASSERT_TRUE(QDir().mkpath(empty));
    form->A.waPrivateFolder->SetValue(empty);
    EXPECT_TRUE(fileUi->errors.isEmpty()) << "told away from the options page";
    form->am->caOptions->SetChecked(true);
    ASSERT_EQ(fileUi->errors.size(), 1);
    EXPECT_TRUE(fileUi->errors[0].contains(QStringLiteral("LBV.reg"))) << fileUi->errors[0].toStdString();
    form->A.waPrivateFolder->SetValue(empty);
    form->am->caOptions->SetChecked(false);
    form->am->caOptions->SetChecked(true);
    EXPECT_EQ(fileUi->errors.size(), 1) << "told twice";
    // Stored, it is not told at the next start nor when the program quits.
    ASSERT_TRUE(Close(spRegistre));
    EXPECT_EQ(fileUi->errors.size(), 1);
    Start();
    EXPECT_EQ(form->A.waPrivateFolder->Value(), empty);
    EXPECT_TRUE(fileUi->errors.isEmpty());
    ASSERT_TRUE(Close(std::nullopt));
    EXPECT_TRUE(fileUi->errors.isEmpty());
}

TEST_F(SidePanelsTest, StorageModeSwitchesMoveTheSettingsWithoutLoss)
{
    // Values away from their defaults in every list.
    form->A.iaJpegCompressionQuality->SetValue(77);
    form->A.waDefaultRacine->SetValue(QStringLiteral("Trip"));
    form->A.iaMaxSynchro->SetValue(33);
    form->NavMan->iaSeekPrepos->SetValue(400);
    form->vidman->iaInsertBorderWidth->SetValue(4);
    form->audman->iaVolume->SetValue(3000);
    form->am->baConserverScript->SetValue(true);
    form->A.naShowIncrust->Execute();

    const auto choose = [this](TSavePreferences mode) {
        form->OptionsFrame->rgPrefsItems->button(mode)->click();
        EXPECT_EQ(form->gp->Mode(), mode);
    };
    choose(spRegistre);
    ASSERT_TRUE(Close(std::nullopt));
    EXPECT_TRUE(registry->keyExists(form->gp->RegistryKey()));
    EXPECT_FALSE(QFile::exists(Ini()));
    Start();
    EXPECT_EQ(form->A.iaJpegCompressionQuality->Value(), 77);
    EXPECT_EQ(form->audman->iaVolume->Value(), 3000);
    // What the registry gave back is what every move keeps.
    const QMap<QString, QString> values = StoredValues();

    for (const TSavePreferences mode : {spPortable, spRegistre, spPortable}) {
        SCOPED_TRACE(mode);
        choose(mode);
        EXPECT_TRUE(form->OptionsFrame->rgPrefsItems->button(mode)->isChecked());
        ASSERT_TRUE(Close(std::nullopt));
        EXPECT_EQ(QFile::exists(Ini()), mode == spPortable);
        EXPECT_EQ(registry->keyExists(form->gp->RegistryKey()), mode == spRegistre);
        Start();
        EXPECT_EQ(form->gp->Mode(), mode);
        EXPECT_EQ(StoredValues(), values);
    }
    EXPECT_EQ(Shown(), std::make_pair(3, 3));

    // Choosing not to save takes both away at once.
    choose(spNone);
    EXPECT_FALSE(QFile::exists(Ini()));
    EXPECT_FALSE(registry->keyExists(form->gp->RegistryKey()));
}

TEST_F(SidePanelsTest, SwitchingPrivateFiltersReopensTheFileWhereItWas)
{
    ASSERT_TRUE(form->ficman->OpenFile(clips::path(QStringLiteral("h264.mp4"))));
    ASSERT_EQ(ShownFrame(), 0);
    // On by default, from the program's folder.
    EXPECT_TRUE(form->A.baUsePrivateFilters->Value());
    EXPECT_TRUE(form->OptionsFrame->cbUsePrivateFilters->isChecked());
    EXPECT_EQ(form->labDecoderVideo->text(), QStringLiteral("Private LAV Video Decoder"));

    // Paused: the same frame, through the other filters.
    GoToFrame(40);
    form->OptionsFrame->cbUsePrivateFilters->click();
    EXPECT_FALSE(form->A.baUsePrivateFilters->Value());
    EXPECT_TRUE(form->HasVideo());
    EXPECT_EQ(WaitFor(40), 40);
    EXPECT_TRUE(form->vidman->GetPreferredDecoders().isEmpty());
    EXPECT_TRUE(form->audman->GetPreferredDecoders().isEmpty());

    // Playing: reopened paused where it was playing.
    form->NavMan->caPlay->SetChecked(true);
    ASSERT_TRUE(Until([this] { return ShownFrame() >= 50; }));
    const int before = ShownFrame();
    form->A.baUsePrivateFilters->SetValue(true);
    EXPECT_FALSE(form->NavMan->caPlay->Checked());
    Settle();
    EXPECT_EQ(form->NavMan->GraphState(), kGraphStatePaused);
    const int after = ShownFrame();
    EXPECT_GE(after, before);
    EXPECT_LE(after, before + 2);
    EXPECT_EQ(form->labDecoderVideo->text(), QStringLiteral("Private LAV Video Decoder"));
    EXPECT_EQ(form->vidman->GetPreferredDecoders().size(), 2);
    EXPECT_EQ(form->VideoFileName(), clips::path(QStringLiteral("h264.mp4")));
}

TEST_F(SidePanelsTest, AnSrtBesideAClipShowsItsTextAtTheRightFrames)
{
    const QString video = Copy("h264.mp4", QStringLiteral("clip.mp4"));
    // Frames 25 to 34, then 50 and 51.
    WriteText(dir.filePath(QStringLiteral("clip.srt")), "1\r\n00:00:01,000 --> 00:00:01,400\r\nHello\r\n\r\n"
                                                        "2\r\n00:00:02,000 --> 00:00:02,080\r\n<i>Bye</i>\r\n");
    form->vidman->caInsertTextOn->SetChecked(false);
    ASSERT_TRUE(form->ficman->OpenFile(video));
    ASSERT_TRUE(form->A.caSrtSubTitle->Checked());
    EXPECT_EQ(form->vidman->SubtitleFile(), dir.filePath(QStringLiteral("clip.srt")));

    const auto check = [this](bool withPrivate) {
        SCOPED_TRACE(withPrivate ? "private filters" : "system filters");
        const struct
        {
            int frame;
            const char* text;
        } frames[] = {{24, ""}, {25, "Hello"}, {34, "Hello"}, {35, ""}, {51, "Bye"}, {50, "Bye"}, {49, ""}, {52, ""}};
        for (const auto& f : frames) {
            SCOPED_TRACE(f.frame);
            GoToFrame(f.frame);
            EXPECT_EQ(form->vidman->SubtitleText(), QString::fromLatin1(f.text));
            EXPECT_EQ(WhitePixels(*form->vidman) > 0, *f.text != 0);
        }
    };
    check(true);
    // Through the other filters the subtitles come along.
    form->A.baUsePrivateFilters->SetValue(false);
    ASSERT_TRUE(form->A.caSrtSubTitle->Checked());
    check(false);
    // Stepping on from frame 24 shows the first cue on its first frame.
    GoToFrame(24);
    form->NavMan->naAvanceFrame->Execute();
    ASSERT_EQ(WaitFor(25), 25);
    Serve(60);
    EXPECT_EQ(form->vidman->SubtitleText(), QStringLiteral("Hello"));

    // Unchecked, they go; checked, they come back.
    form->A.caSrtSubTitle->SetChecked(false);
    EXPECT_EQ(form->vidman->SubtitleText(), QString());
    EXPECT_EQ(WhitePixels(*form->vidman), 0);
    form->A.caSrtSubTitle->SetChecked(true);
    Serve(60);
    EXPECT_EQ(form->vidman->SubtitleText(), QStringLiteral("Hello"));
    // A file without its own subtitles shows none.
    ASSERT_TRUE(form->ficman->OpenFile(clips::path(QStringLiteral("hard_cut.mp4"))));
    GoToFrame(25);
    EXPECT_EQ(form->vidman->SubtitleText(), QString());
    // Files whose cues stand at the same places: each shows its own text
    // from its first frame.
    const QString first = Copy("hard_cut.mp4", QStringLiteral("first.mp4"));
    const QString second = Copy("hard_cut.mp4", QStringLiteral("second.mp4"));
    WriteText(dir.filePath(QStringLiteral("first.srt")), "1\r\n00:00:00,000 --> 00:00:01,400\r\nFirst\r\n");
    WriteText(dir.filePath(QStringLiteral("second.srt")), "1\r\n00:00:00,000 --> 00:00:01,400\r\nSecond\r\n");
    const std::pair<QString, QString> opened[] = {{first, "First"}, {second, "Second"}, {first, "First"}};
    for (const auto& [file, text] : opened) {
        ASSERT_TRUE(form->ficman->OpenFile(file));
        Serve(60);
        EXPECT_EQ(form->vidman->SubtitleText(), text);
    }
}

TEST_F(SidePanelsTest, TheRetourLinkBringsTheVideoBack)
{
    TLinkEdit* message = form->leExternalPreview;
    // No file: the window waits for one.
    form->vidman->caExternalPreview->SetChecked(true);
    EXPECT_TRUE(message->isVisibleTo(form->Client));
    EXPECT_TRUE(message->toPlainText().startsWith(QStringLiteral("An external window is ready")));
    EXPECT_EQ(message->RichText(), QStringLiteral("An external window is ready to display the videos.<br><br>"
                                                  "You may close it with <br><Link retour> ALT+BackSpace</Link>"));
    EXPECT_TRUE(form->videoPanel->isHidden());

    ASSERT_TRUE(form->ficman->OpenFile(clips::path(QStringLiteral("h264.mp4"))));
    EXPECT_EQ(ShownFrame(), 0);
    EXPECT_TRUE(message->toPlainText().contains(QStringLiteral("h264.mp4")));
    EXPECT_EQ(message->RichText(),
              QStringLiteral("<i>The video </i><color Blue>h264.mp4</color><i><br>is displayed in an external "
                             "window.<br><br>You may  get it back here with <br><Link retour> ALT+BackSpace</Link>"));
    EXPECT_FALSE(message->toPlainText().contains(clips::path(QStringLiteral(""))));
    EXPECT_EQ(form->vidman->DisplayWindow(), form->vidman->PreviewForm());
    const QRect area = form->videoPanel->geometry();
    EXPECT_EQ(message->width(), area.width() - 32);
    EXPECT_EQ(message->geometry().center().x(), area.center().x());

    // A click on the link, where the text shows it.
    QPoint link(-1, -1);
    for (int y = 0; y < message->viewport()->height() && link.x() < 0; y += 2)
        for (int x = 0; x < message->viewport()->width() && link.x() < 0; x += 2)
            if (const auto at = message->LinkAt(QPoint(x, y)); at && at->Target == QStringLiteral("retour"))
                link = QPoint(x, y);
    ASSERT_GE(link.x(), 0);
    QTest::mouseClick(message->viewport(), Qt::LeftButton, {}, link);
    ProcessMessages();
    EXPECT_FALSE(form->vidman->caExternalPreview->Checked());
    EXPECT_TRUE(message->isHidden());
    EXPECT_FALSE(form->videoPanel->isHidden());
    EXPECT_EQ(form->vidman->DisplayWindow(), form->videoPanel);
    EXPECT_EQ(ShownFrame(), 0);

    // Closed with a file, the message says so again the next time.
    form->vidman->caExternalPreview->SetChecked(true);
    form->ficman->naCloseFile->Execute();
    EXPECT_TRUE(message->toPlainText().startsWith(QStringLiteral("An external window is ready")));
    EXPECT_TRUE(form->videoPanel->isHidden());
    form->vidman->caExternalPreview->SetChecked(false);
    EXPECT_FALSE(form->videoPanel->isHidden());
}

TEST_F(SidePanelsTest, AspectFlipsAndFullScreenRedrawThePausedFrame)
{
    ASSERT_TRUE(form->ficman->OpenFile(clips::path(QStringLiteral("h264.mp4"))));
    GoToFrame(10);
    const auto ratio = [this] {
        const RECT r = form->vidman->WindowVideoRect();
        return double(r.right - r.left) / double(r.bottom - r.top);
    };
    form->A.naForcer16x9->Execute();
    EXPECT_EQ(form->A.iaForcerAspectRatio->Value(), 2);
    EXPECT_NEAR(ratio(), 16.0 / 9.0, 0.02);
    form->A.naForcer4x3->Execute();
    EXPECT_NEAR(ratio(), 4.0 / 3.0, 0.02);
    form->A.naForcerNative->Execute();
    EXPECT_EQ(form->vidman->AspectMode(), 3);
    EXPECT_NEAR(ratio(), 320.0 / 240.0, 0.02);
    form->A.naForcerNormal->Execute();
    EXPECT_EQ(form->vidman->AspectMode(), 0);

    // Each change seeks the paused frame again, so that it is drawn anew,
    // once the window serves its messages.
    int seeks = 0;
    form->NavMan->onAbsolutePosition = [&seeks](std::int64_t) { ++seeks; };
    for (TCheckAction* action :
         {form->vidman->caFlipHorizontal, form->vidman->caFlipVertical, form->vidman->caFullscreen}) {
        for (bool on : {true, false}) {
            SCOPED_TRACE(action->InternalId.toStdString() + (on ? " on" : " off"));
            seeks = 0;
            action->SetChecked(on);
            EXPECT_TRUE(Until([&] { return seeks > 0; }));
            EXPECT_EQ(WaitFor(10), 10);
        }
    }
    form->NavMan->onAbsolutePosition = nullptr;
    EXPECT_FALSE(form->vidman->FullScreen());
    EXPECT_FALSE(form->vidman->FlipHorizontal());
}

} // namespace
