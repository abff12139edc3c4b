// The inlay settings and the DV date panel of the main window, on the real
// clips: the sources the patterns switch on, the presets, the font, the
// place of the inlay, the time difference and the recording date.

#include "main_form_fixture.h"

#include "app/inlay_settings.h"
#include "framework/widgets/threaded_timer.h"
#include "media/filters/video_notifier.h"
#include "platform/rtl/datetime.h"
#include "platform/win/messages.h"
#include "tests/media/clip_reader.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileInfo>
#include <QFontComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

namespace {

class FakeInlayUi final : public TInlayUi
{
public:
    std::optional<TColor> answer;
    int asked = 0;
    std::optional<TColor> ChooseColor(TColor, const QString&) override
    {
        ++asked;
        return answer;
    }
};

class MainInlayTest : public MainFormTest
{
protected:
    void Open(const char* clip)
    {
        ASSERT_TRUE(form->ficman->OpenFile(clips::path(QString::fromLatin1(clip))));
        ASSERT_EQ(Shown(), 0);
    }
    TVideoNotifier* Notifier() const { return form->vidman->CurrentSource()->Notifier(); }
    void Patterns(const char* line1, const char* line2)
    {
        form->A.waIncrustPattern1->SetValue(QString::fromLatin1(line1));
        form->A.waIncrustPattern2->SetValue(QString::fromLatin1(line2));
    }
    // The font size as the combo's Enter gives it.
    void TypeSize(const QString& text)
    {
        QComboBox* size = form->IncrustFrame->cbSize;
        size->setEditText(text);
        QTest::keyClick(size->lineEdit(), Qt::Key_Return);
    }
};

TEST_F(MainInlayTest, EachCodeSwitchesItsSourceAndTheInlayOffStopsThemAll)
{
    Open("dv_pal.avi");
    form->vidman->caInsertTextOn->SetChecked(true);

    // The file name's code in lower case, and its folder and extension alone.
    for (const char* line : {"%f", "%P", "file.%e"}) {
        SCOPED_TRACE(line);
        Patterns("", line);
        EXPECT_TRUE(form->UsesFileName());
        Patterns("plain", "");
        EXPECT_FALSE(form->UsesFileName());
    }

    Patterns("%D %S", "%R %N");
    EXPECT_TRUE(Notifier()->notifyDVCode());
    EXPECT_EQ(Notifier()->dvCodeWindow(), form->vidman->Handle());
    EXPECT_EQ(form->vidman->FramesNotifier()->textWindow(), form->vidman->Handle());
    EXPECT_TRUE(form->Inlay().SysDateTimer().Enabled());
    EXPECT_TRUE(form->UsesNumber());
    // The time code alone needs the DV codes too.
    Patterns("", "%t");
    EXPECT_TRUE(Notifier()->notifyDVCode());
    EXPECT_EQ(form->vidman->FramesNotifier()->textWindow(), HWND(0));
    EXPECT_FALSE(form->Inlay().SysDateTimer().Enabled());
    EXPECT_FALSE(form->UsesNumber());

    Patterns("%D %S %F", "%R %N");
    form->vidman->caInsertTextOn->SetChecked(false);
    EXPECT_FALSE(Notifier()->notifyDVCode());
    EXPECT_EQ(form->vidman->FramesNotifier()->textWindow(), HWND(0));
    EXPECT_FALSE(form->Inlay().SysDateTimer().Enabled());
    EXPECT_FALSE(form->UsesFileName());
    EXPECT_FALSE(form->UsesNumber());
    // On again: the same patterns serve again.
    form->vidman->caInsertTextOn->SetChecked(true);
    EXPECT_TRUE(Notifier()->notifyDVCode());
    EXPECT_TRUE(form->Inlay().SysDateTimer().Enabled());
    EXPECT_TRUE(form->UsesFileName());
    form->vidman->caInsertTextOn->SetChecked(false);
}

TEST_F(MainInlayTest, PresetsSetBothLinesTurnTheInlayOnAndAreSavedByTheirButton)
{
    // The DV presets need a video.
    form->A.naInsertDatecode->Execute();
    EXPECT_NE(form->vidman->InsertPattern(0).Pattern, QStringLiteral("%D"));
    Open("dv_pal.avi");
    form->vidman->caInsertTextOn->SetChecked(false);
    form->A.naInsertDatecode->Execute();
    EXPECT_EQ(form->vidman->InsertPattern(0).Pattern, QStringLiteral("%D"));
    EXPECT_EQ(form->vidman->InsertPattern(1).Pattern, QStringLiteral("%D"));
    EXPECT_TRUE(form->vidman->caInsertTextOn->Checked());
    EXPECT_TRUE(form->IncrustFrame->InsertDatecodeBtn->isChecked());

    // The custom preset takes the two fields; the button sets them too.
    form->IncrustFrame->edPerso1->clear();
    QTest::keyClicks(form->IncrustFrame->edPerso1, QStringLiteral("Rome %N"));
    EXPECT_EQ(form->A.waInsertPerso1->Value(), QStringLiteral("Rome %N"));
    form->A.waInsertPerso2->SetValue(QStringLiteral("%f"));
    EXPECT_EQ(form->IncrustFrame->edPerso2->text(), QStringLiteral("%f"));
    form->IncrustFrame->InsertPersoBtn->click();
    EXPECT_EQ(form->A.waIncrustPattern1->Value(), QStringLiteral("Rome %N"));
    EXPECT_EQ(form->A.waIncrustPattern2->Value(), QStringLiteral("%f"));
    EXPECT_TRUE(form->UsesNumber());
    EXPECT_TRUE(form->UsesFileName());

    // iaInsertMode itself runs a preset but leaves the inlay as it is.
    form->vidman->caInsertTextOn->SetChecked(false);
    form->A.iaInsertMode->SetValue(5);
    EXPECT_EQ(form->A.waIncrustPattern1->Value(), QStringLiteral("%R"));
    EXPECT_TRUE(form->A.waIncrustPattern2->Value().isEmpty());
    EXPECT_FALSE(form->vidman->caInsertTextOn->Checked());
    form->A.iaInsertMode->SetValue(6);
    EXPECT_EQ(form->A.waIncrustPattern1->Value(), QStringLiteral("%R"));

    // What is saved is the button down, not the last value set.
    form->A.naInsertNumero->Execute();
    form->gp->SetMode(spPortable);
    ASSERT_TRUE(Close(std::nullopt));
    Start();
    EXPECT_EQ(form->A.iaInsertMode->Value(), 1);
    EXPECT_EQ(form->A.waIncrustPattern1->Value(), QStringLiteral("%N"));
    EXPECT_TRUE(form->IncrustFrame->InsertNumeroBtn->isChecked());
}

TEST_F(MainInlayTest, TheFontFollowsItsActionsAndTheSizeTyped)
{
    auto ui = std::make_unique<FakeInlayUi>();
    FakeInlayUi* fake = ui.get();
    form->SetInlayUi(std::move(ui));
    TFontAction* font = form->vidman->faInsertFont;

    TypeSize(QStringLiteral("auto"));
    EXPECT_TRUE(form->A.baInsertAutoSize->Value());
    EXPECT_TRUE(form->vidman->InsertAutoSize());
    TypeSize(QStringLiteral("abc"));
    EXPECT_FALSE(form->A.baInsertAutoSize->Value());
    EXPECT_FALSE(form->vidman->InsertAutoSize());
    EXPECT_EQ(form->A.iaInsertFontSize->Value(), 14);
    EXPECT_EQ(font->Value().Size, 14);
    EXPECT_EQ(form->IncrustFrame->cbSize->currentText(), QStringLiteral("14"));
    TypeSize(QStringLiteral("36"));
    EXPECT_EQ(font->Value().Size, 36);
    // Sizes beyond any font's are cut; none at all leaves the font alone.
    TypeSize(QStringLiteral("100000"));
    EXPECT_EQ(font->Value().Size, kMaxInlayFontSize);
    form->A.iaInsertFontSize->SetValue(0);
    EXPECT_EQ(font->Value().Size, kMaxInlayFontSize);
    form->A.baInsertAutoSize->SetValue(true);
    EXPECT_EQ(form->IncrustFrame->cbSize->currentText(), QStringLiteral("auto"));

    form->A.caIncrustItalic->SetChecked(true);
    form->A.caIncrustBold->SetChecked(false);
    EXPECT_TRUE(font->Value().Style.contains(fsItalic));
    EXPECT_FALSE(font->Value().Style.contains(fsBold));
    form->IncrustFrame->tbUnderline->click();
    EXPECT_TRUE(form->A.caIncrustUnderline->Checked());
    EXPECT_TRUE(font->Value().Style.contains(fsUnderline));

    form->A.waInsertFontName->SetValue(QStringLiteral("Liberation Serif"));
    EXPECT_EQ(font->Value().Name, QStringLiteral("Liberation Serif"));
    EXPECT_EQ(form->IncrustFrame->FontComboBox->currentFont().family(), QStringLiteral("Liberation Serif"));
    EXPECT_EQ(form->vidman->InsertFont().Name, QStringLiteral("Liberation Serif"));

    fake->answer = clRed;
    form->IncrustFrame->ColorButton->click();
    EXPECT_EQ(font->Value().Color, clRed);
    fake->answer.reset();
    form->IncrustFrame->InsertColorButton->click();
    EXPECT_EQ(fake->asked, 2);
    EXPECT_EQ(form->vidman->InsertBorderColor(), clBlack);
}

TEST_F(MainInlayTest, BorderAlignmentAndTransparencyGoThroughTheirControls)
{
    form->IncrustFrame->N31->trigger();
    EXPECT_EQ(form->vidman->iaInsertBorderWidth->Value(), 3);
    EXPECT_EQ(form->vidman->InsertBorderWidth(), 3);
    form->IncrustFrame->Aucun1->trigger();
    EXPECT_EQ(form->vidman->InsertBorderWidth(), 0);
    // A script's width beyond any outline's is cut before it is drawn.
    form->vidman->iaInsertBorderWidth->SetValue(5000);
    EXPECT_LE(form->vidman->InsertBorderWidth(), 20);
    EXPECT_EQ(form->vidman->iaInsertBorderWidth->Value(), form->vidman->InsertBorderWidth());

    form->IncrustFrame->tbRightAlign->click();
    EXPECT_EQ(form->vidman->InsertAlignLines(), 1);
    form->IncrustFrame->tbCenter->click();
    EXPECT_EQ(form->vidman->InsertAlignLines(), 2);
    EXPECT_TRUE(form->IncrustFrame->tbCenter->isChecked());
    EXPECT_FALSE(form->IncrustFrame->tbRightAlign->isChecked());

    form->IncrustFrame->seTransparency->setValue(40);
    EXPECT_DOUBLE_EQ(form->vidman->daInsertTransparency->Value(), 0.4);
    // Percent rounds half to even.
    form->vidman->daInsertTransparency->SetValue(0.125);
    EXPECT_EQ(form->IncrustFrame->seTransparency->value(), 12);
    form->vidman->daInsertTransparency->SetValue(0.375);
    EXPECT_EQ(form->IncrustFrame->seTransparency->value(), 38);
    form->vidman->daInsertTransparency->SetValue(3);
    EXPECT_DOUBLE_EQ(form->vidman->InsertTransparency(), 1.0);
    EXPECT_EQ(form->IncrustFrame->seTransparency->value(), 100);
}

TEST_F(MainInlayTest, TheSlidersAndAClickOnThePicturePlaceTheInlay)
{
    Open("mpeg1.mpg");
    TPointAction* position = form->vidman->paInsertPosition;
    // The window's default place.
    EXPECT_EQ(position->Value(), (TPoint{5000, 8200}));
    EXPECT_EQ(form->Yslider->value(), 10000 - 8200);

    // A click without the sliders places nothing.
    EXPECT_FALSE(form->PlaceInlayAt(form->PictureRect().topLeft()));

    form->vidman->caInsertTextOn->SetChecked(false);
    form->A.caSliders->SetChecked(true);
    EXPECT_TRUE(form->vidman->caInsertTextOn->Checked());
    EXPECT_FALSE(form->Xslider->isHidden());
    EXPECT_TRUE(form->NavBar->isHidden());
    EXPECT_EQ(form->videoPanel->x(), form->PanelOffset() + 8);
    const QRect picture = form->PictureRect();
    ASSERT_GT(picture.width(), 0);
    // The sliders frame the picture.
    EXPECT_EQ(form->Xslider->y(), form->videoPanel->y() + picture.y() + picture.height());
    EXPECT_EQ(form->Yslider->x(), form->videoPanel->x() + picture.x() + picture.width());

    // A click places the inlay, and neither grabs nor copies, a double click
    // neither.
    int taken = 0;
    for (TNopeAction* take : {form->A.naGrab, form->A.naCopy})
        take->OnAfterApply = [&taken] { ++taken; };
    QTest::mouseDClick(form->videoPanel, Qt::LeftButton, {}, picture.topLeft() + QPoint(3, 3));
    QTest::mouseClick(form->videoPanel, Qt::LeftButton, {}, picture.center() + QPoint(1, 1));
    EXPECT_EQ(taken, 0);
    if (picture.width() % 2 == 0 && picture.height() % 2 == 0) {
        EXPECT_EQ(position->Value(), (TPoint{5000, 5000}));
    }
    EXPECT_NEAR(form->Xslider->value(), 5000, 50);
    EXPECT_NEAR(form->Yslider->value(), 5000, 50);
    // Beside the picture, in its border: the nearest corner.
    QTest::mouseClick(form->videoPanel, Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_EQ(position->Value(), (TPoint{0, 0}));
    // The sliders move it; a script's place outside the picture is cut.
    form->Xslider->setValue(2500);
    form->Yslider->setValue(1000);
    EXPECT_EQ(position->Value(), (TPoint{2500, 9000}));
    position->SetValue(TPoint{20000, -40});
    EXPECT_EQ(position->Value(), (TPoint{10000, 0}));
    EXPECT_EQ(form->vidman->InsertPosition(), (TPoint{10000, 0}));

    EXPECT_EQ(taken, 0);

    form->A.caSliders->SetChecked(false);
    EXPECT_TRUE(form->Xslider->isHidden());
    EXPECT_FALSE(form->NavBar->isHidden());
    EXPECT_EQ(form->videoPanel->x(), form->PanelOffset() + 19);
    // Without the sliders a click takes the picture again, and places nothing.
    QTest::mouseClick(form->videoPanel, Qt::LeftButton, {}, form->PictureRect().center());
    EXPECT_EQ(taken, 1);
    EXPECT_EQ(position->Value(), (TPoint{10000, 0}));
    for (TNopeAction* take : {form->A.naGrab, form->A.naCopy})
        take->OnAfterApply = nullptr;
    // Closing the file unchecks them without bringing the bar back.
    form->A.caSliders->SetChecked(true);
    form->ficman->naCloseFile->Execute();
    EXPECT_FALSE(form->A.caSliders->Checked());
    EXPECT_TRUE(form->NavBar->isHidden());
    EXPECT_TRUE(form->Yslider->isHidden());
}

TEST_F(MainInlayTest, TheSubtitlePresetSizesTheFontToThePicture)
{
    Open("dv_pal.avi");
    form->A.naSoustitres->Execute();
    EXPECT_EQ(form->vidman->InsertAlignLines(), 2);
    EXPECT_EQ(form->vidman->paInsertPosition->Value(), (TPoint{5000, 8200}));
    EXPECT_EQ(form->vidman->faInsertFont->Value().Size, 576 / 30);
    EXPECT_EQ(form->vidman->faInsertFont->Value().Color, clWhite);
    EXPECT_EQ(form->vidman->InsertBorderWidth(), 2);
}

TEST_F(MainInlayTest, TheDVPanelShowsTheRecordingDateWithTheDifference)
{
    const TDateTime recorded = EncodeDate(2024, 5, 17) + EncodeTime(14, 32, 10, 0);
    TDVIncrustFrame* dv = form->DVIncrustFrame;
    Open("dv_pal.avi");
    form->NavMan->caPlay->SetChecked(false);
    Until([&] { return dv->labVideodate->text().startsWith(QStringLiteral("Date of the DV video: ")); });
    EXPECT_EQ(dv->labVideodate->text(),
              QStringLiteral("Date of the DV video: ") + FormatDateTime(QStringLiteral("ddddd tt"), recorded));
    EXPECT_DOUBLE_EQ(dv->DVDate, recorded);
    EXPECT_TRUE(form->A.naInsertDatecode->Enabled());

    // Two hours and a half ahead, in the advanced fields.
    form->A.caDecalageAvance->SetChecked(true);
    EXPECT_TRUE(dv->PanelHeures->isHidden());
    form->A.daDecalageHoraire->SetValue(2.5 / 24);
    EXPECT_EQ(dv->DateEdit1->date(), QDate(2024, 5, 17));
    EXPECT_EQ(dv->seHeure->value(), 17);
    EXPECT_EQ(dv->seMinute->value(), 2);
    EXPECT_EQ(dv->seSeconde->value(), 10);
    EXPECT_EQ(dv->labDecalageHoraire->text(), QStringLiteral(" 02 hours 30 m"));
    EXPECT_DOUBLE_EQ(form->vidman->InsertTimeOffset(), 2.5 / 24);
    // The fields move the difference: a day later, 30 seconds on.
    dv->DateEdit1->setDate(QDate(2024, 5, 18));
    dv->seSeconde->setValue(40);
    EXPECT_NEAR(form->A.daDecalageHoraire->Value(), 1 + 2.5 / 24 + 30.0 / 86400, 1e-9);
    EXPECT_EQ(dv->labDecalageHoraire->text(), QStringLiteral(" 1 day 02 h 30 m 30 s"));

    // Without the advanced fields the difference is whole hours, rounded
    // half to even: an hour and a half becomes two, two and a half two.
    form->A.daDecalageHoraire->SetValue(1.0 / 24 + 30.0 / 1440);
    form->A.caDecalageAvance->SetChecked(false);
    EXPECT_DOUBLE_EQ(form->A.daDecalageHoraire->Value(), 2.0 / 24);
    EXPECT_EQ(dv->seDecalerHeures->value(), 2);
    EXPECT_TRUE(dv->PanelAvance->isHidden());
    form->A.caDecalageAvance->SetChecked(true);
    form->A.daDecalageHoraire->SetValue(2.5 / 24);
    form->A.caDecalageAvance->SetChecked(false);
    EXPECT_DOUBLE_EQ(form->A.daDecalageHoraire->Value(), 2.0 / 24);
    // A difference set from elsewhere (a script, the saved settings) shows
    // in the hours field to the nearest hour, not cut towards zero.
    for (const auto& [hours, shown] : {std::pair{-2.9999, -3}, {2.9999, 3}, {-2.5001, -3}, {1.4999, 1}}) {
        form->A.daDecalageHoraire->SetValue(hours / 24);
        EXPECT_EQ(dv->seDecalerHeures->value(), shown) << hours;
    }
    dv->seDecalerHeures->setValue(-3);
    EXPECT_DOUBLE_EQ(form->A.daDecalageHoraire->Value(), -3.0 / 24);
    EXPECT_EQ(dv->labDecalageHoraire->text(), QStringLiteral(" -03 hours"));
    dv->cbDecalageAvance->click();
    EXPECT_TRUE(form->A.caDecalageAvance->Checked());
    EXPECT_EQ(dv->seHeure->value(), 11);
    dv->resetBtn->click();
    EXPECT_EQ(form->A.daDecalageHoraire->Value(), 0);
    EXPECT_EQ(dv->labDecalageHoraire->text(), QStringLiteral("none"));
    // A difference beyond the fields' reach is cut.
    form->A.daDecalageHoraire->SetValue(1e12);
    EXPECT_DOUBLE_EQ(form->A.daDecalageHoraire->Value(), kMaxTimeDifference);

    // A file without DV dates, then none at all.
    form->A.daDecalageHoraire->SetValue(0);
    Open("mpeg1.mpg");
    EXPECT_TRUE(dv->labVideodate->text().startsWith(QStringLiteral("Fictitious date: ")));
    EXPECT_EQ(dv->DVDate, 0);
    form->ficman->naCloseFile->Execute();
    EXPECT_FALSE(form->A.naInsertDatecode->Enabled());
    EXPECT_FALSE(form->A.naInsertTimecode->Enabled());
    EXPECT_TRUE(dv->labVideodate->text().startsWith(QStringLiteral("Fictitious date: ")));
}

// Paused, the panel shows the recording date of each frame shown, two
// recordings apart, while a script's handler hears the same codes.
TEST_F(MainInlayTest, TheDVPanelFollowsTheFrameShownBesideAScriptsHandler)
{
    TDVIncrustFrame* dv = form->DVIncrustFrame;
    // Kept by the handler, which may outlive a failed check.
    const auto heard = std::make_shared<QStringList>();
    form->NavMan->OnDVcode = [heard](const QString& date, const QString&) { heard->append(date); };
    Open("dv_joined.avi");
    form->NavMan->caPlay->SetChecked(false);
    ASSERT_TRUE(Until([&] { return form->NavMan->FrameDuration() == 400'000; }));
    const auto shown = [](int hour) {
        return QStringLiteral("Date of the DV video: ") +
               FormatDateTime(QStringLiteral("ddddd tt"), EncodeDate(2024, 5, 17) + EncodeTime(hour, 0, 0, 0));
    };
    struct Row
    {
        const char* position;
        int hour;
    };
    for (const Row& row : {Row{"0:00:01:05", 12}, Row{"0:00:00:03", 9}, Row{"0:00:01:20", 12}}) {
        SCOPED_TRACE(row.position);
        heard->clear();
        form->NavMan->waStrPosition->SetValue(QString::fromLatin1(row.position));
        EXPECT_TRUE(Until([&] { return dv->labVideodate->text() == shown(row.hour) && !heard->isEmpty(); }))
            << dv->labVideodate->text().toStdString() << ", heard " << heard->size();
    }
    form->NavMan->OnDVcode = nullptr;
}

TEST_F(MainInlayTest, TheDateFormatsGoToTheirLines)
{
    TDVIncrustFrame* dv = form->DVIncrustFrame;
    form->A.waFormatDatecode2->SetValue(QStringLiteral("hh:nn"));
    EXPECT_EQ(dv->cbDatecode2->currentText(), QStringLiteral("hh:nn"));
    EXPECT_EQ(form->vidman->InsertPattern(1).DateFormat, QStringLiteral("hh:nn"));
    // A format the list lacks selects nothing.
    form->A.waFormatDatecode2->SetValue(QStringLiteral("nn"));
    EXPECT_EQ(dv->cbDatecode2->currentIndex(), -1);
    dv->cbDatecode2->setCurrentIndex(0);
    EXPECT_EQ(form->A.waFormatDatecode2->Value(), dv->cbDatecode2->itemText(0));
    dv->cbDatecode1->setEditText(QStringLiteral("yyyy"));
    EXPECT_EQ(form->A.waFormatDatecode1->Value(), QStringLiteral("yyyy"));
    EXPECT_EQ(form->vidman->InsertPattern(0).DateFormat, QStringLiteral("yyyy"));
}

TEST_F(MainInlayTest, TypingInATextFieldLendsItTheVolumeAndPlayKeys)
{
    const QKeySequence play = form->NavMan->caPlay->ShortCut();
    const QKeySequence louder = form->audman->naIncVolume->ShortCut();
    ASSERT_FALSE(play.isEmpty());
    form->activateWindow();
    form->IncrustFrame->show();
    form->IncrustFrame->raise();
    form->IncrustFrame->edPerso1->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(form->IncrustFrame->edPerso1->hasFocus());
    EXPECT_TRUE(form->NavMan->caPlay->ShortCut().isEmpty());
    EXPECT_TRUE(form->audman->naIncVolume->ShortCut().isEmpty());
    EXPECT_TRUE(form->audman->naIncVolume->SecondaryShortcuts().isEmpty());
    // From one field to the next, then out.
    form->IncrustFrame->edPerso2->setFocus();
    QApplication::processEvents();
    EXPECT_TRUE(form->NavMan->caPlay->ShortCut().isEmpty());
    form->IncrustFrame->seTransparency->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(form->NavMan->caPlay->ShortCut(), play);
    EXPECT_EQ(form->audman->naIncVolume->ShortCut(), louder);
    EXPECT_EQ(form->audman->naIncVolume->SecondaryShortcuts(), QList<QKeySequence>{QKeySequence(Qt::ALT | Qt::Key_P)});

    // The picture name and the date format are typed too.
    const std::pair<QWidget*, QWidget*> fields[] = {{form->SaveImagesFrame, form->SaveImagesFrame->NomRacineEdit},
                                                    {form->DVIncrustFrame, form->DVIncrustFrame->cbDatecode1}};
    for (const auto& [panel, field] : fields) {
        SCOPED_TRACE(field->metaObject()->className());
        panel->show();
        panel->raise();
        field->setFocus();
        QApplication::processEvents();
        ASSERT_TRUE(field->hasFocus());
        EXPECT_TRUE(form->NavMan->caPlay->ShortCut().isEmpty());
        form->IncrustFrame->seTransparency->setFocus();
        QApplication::processEvents();
        EXPECT_EQ(form->NavMan->caPlay->ShortCut(), play);
    }
}

} // namespace

namespace {

TEST_F(MainInlayTest, TheLinesShowWhatTheirSourcesSend)
{
    const QString video = Copy("dv_pal.avi", QStringLiteral("holiday.avi"));
    ASSERT_TRUE(form->ficman->OpenFile(video));
    ASSERT_EQ(Shown(), 0);
    form->vidman->caInsertTextOn->SetChecked(true);
    const auto line = [&](int i) { return form->vidman->InsertLine(i).Text; };

    // The folder and the extension come with the file name, without %F.
    Patterns("%p", "%e|%F");
    EXPECT_EQ(line(0), QFileInfo(video).absolutePath() + u'/');
    EXPECT_EQ(line(1), QStringLiteral(".avi|holiday"));

    // The number of the next picture, as it moves on.
    Patterns("#%n", "");
    EXPECT_EQ(line(0), QStringLiteral("#001"));
    form->A.iaNextNum->SetValue(42);
    EXPECT_EQ(line(0), QStringLiteral("#042"));

    // The DV date with the time difference, in the second line's format.
    form->A.waFormatDatecode2->SetValue(QStringLiteral("hh:nn:ss"));
    form->A.daDecalageHoraire->SetValue(2.0 / 24);
    Patterns("", "%D");
    EXPECT_TRUE(Until([&] { return line(1) == QStringLiteral("16:32:10"); })) << line(1).toStdString();

    // The real date and time, kept fresh by the timer.
    Patterns("%R", "");
    const QString today = FormatDateTime(QStringLiteral("ddddd"), Now());
    EXPECT_TRUE(Until([&] { return line(0).startsWith(today); }, 3000)) << line(0).toStdString();

    // Another file opened under the same patterns shows its own name.
    Patterns("%F", "");
    ASSERT_TRUE(form->ficman->OpenFile(Copy("dv_pal.avi", QStringLiteral("trip.avi"))));
    EXPECT_EQ(line(0), QStringLiteral("trip"));
}

// A typed position on a paused clip: the first line follows to the frame
// shown, with its own position and DV time code.
TEST_F(MainInlayTest, TheFirstLineFollowsATypedPositionOnAPausedClip)
{
    Open("dv_pal.avi");
    form->vidman->caInsertTextOn->SetChecked(true);
    Patterns("%S %T", "");
    const auto line = [&] { return form->vidman->InsertLine(0).Text; };
    // Positions are typed in frames once the first frame has told their
    // duration.
    ASSERT_TRUE(Until([&] { return form->NavMan->FrameDuration() == 400'000; }));
    EXPECT_TRUE(Until([&] { return line() == QStringLiteral("0:00:00:00 10:20:30:05"); })) << line().toStdString();
    for (const char* position : {"0:00:00:10", "0:00:01:13"}) {
        form->NavMan->waStrPosition->SetValue(QString::fromLatin1(position));
        const QString frame = QString::fromLatin1(position);
        const int number = frame.section(u':', 3).toInt() + 25 * frame.section(u':', 2, 2).toInt();
        EXPECT_EQ(Shown(), number);
        const int code = 5 + number;
        const QString expected = frame + QString::asprintf(" 10:20:%.2d:%.2d", 30 + code / 25, code % 25);
        EXPECT_TRUE(Until([&] { return line() == expected; })) << line().toStdString();
    }
    EXPECT_EQ(form->NavMan->GraphState(), kGraphStatePaused);
}

} // namespace

namespace {

TEST_F(MainInlayTest, ChangesInARowDrawThePausedFrameOnceTheyAreDone)
{
    Open("dv_pal.avi");
    int seeks = 0;
    form->NavMan->onAbsolutePosition = [&seeks](std::int64_t) { ++seeks; };
    // A script setting one thing after another, without a pause between.
    for (TNopeAction* preset : {form->A.naInsertSysdateTime, form->A.naInsertTimestamp, form->A.naInsertNumero,
                                form->A.naInsertDatecode, form->A.naInsertPerso})
        preset->Execute();
    form->A.naSoustitres->Execute();
    form->vidman->daInsertTransparency->SetValue(0.5);
    EXPECT_EQ(seeks, 0);
    EXPECT_TRUE(Until([&] { return seeks > 0; }));
    ProcessMessages();
    // Once for the twenty-odd changes; the window coming to rest after it
    // was shown may draw the frame again (twice) at about this time.
    EXPECT_LE(seeks, 3);
    form->NavMan->onAbsolutePosition = nullptr;
    form->vidman->caInsertTextOn->SetChecked(false);
    EXPECT_EQ(Shown(), 0);
}

} // namespace
