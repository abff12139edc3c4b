// Grabbing through the real window on the real clips: picture names and the
// counter, the overwrite question, the clipboard against the saved file, the
// saved pictures read back, deinterlacing, failures, the settings' controls
// and the clicks.

#include "main_form_fixture.h"

#include "framework/widgets/directory_edit.h"
#include "platform/win/messages.h"
#include "tests/app/picture_files.h"
#include "tests/media/clip_reader.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include <sys/stat.h>

using namespace picture_files;

namespace {

constexpr REFERENCE_TIME kFrame25 = 400'000;

QColor TextColour(const QLabel* label)
{
    return label->palette().color(QPalette::WindowText);
}

// Counts the events it receives: whether the window pumped its queue.
class EventCounter : public QObject
{
public:
    int received = 0;

protected:
    void customEvent(QEvent*) override { ++received; }
};

class GrabTest : public MainFormTest
{
protected:
    void SetUp() override
    {
        MainFormTest::SetUp();
        pictures = dir.filePath(QStringLiteral("pictures/"));
        ASSERT_TRUE(QDir().mkpath(pictures));
        A().waDossierSave->SetValue(pictures);
        A().iaImageAjouter->SetValue(1);
        A().iaNextNum->SetValue(1);
    }

    TMainActions& A() { return form->A; }

    // Opens a clip, paused on its first frame.
    void Open(const QString& file)
    {
        ASSERT_TRUE(form->ficman->OpenFile(file)) << file.toStdString();
        ASSERT_EQ(Shown(), 0);
        Settle();
    }
    void Open(const char* clip) { Open(clips::path(QString::fromUtf8(clip))); }

    // Steps paused to `frame`.
    void GoTo(int frame)
    {
        form->NavMan->waStrPosition->SetValue(RefTimeToTimecodeStr(kFrame25, frame * kFrame25));
        ASSERT_EQ(WaitFor(frame), frame);
        Settle();
    }

    QString Picture(const QString& name) const { return pictures + name; }
    QStringList Saved() const { return Entries(pictures); }

    QString pictures;
};

TEST_F(GrabTest, NumbersArePaddedToTheDigitsAndTheCounterMovesOnAfterASave)
{
    Open("dv_pal.avi");
    A().iaImageExtension->SetValue(1);
    A().iaDigits->SetValue(3);
    for (const auto& [number, name] : std::vector<std::pair<int, QString>>{{7, "Kestrova_007.jpg"},
                                                                           {42, "Kestrova_042.jpg"},
                                                                           {999, "Kestrova_999.jpg"},
                                                                           {1234, "Kestrova_1234.jpg"}}) {
        A().iaNextNum->SetValue(number);
        EXPECT_EQ(form->PictureName(), Picture(name));
        EXPECT_EQ(form->ImageLab->text(), Picture(name));
    }
    EXPECT_EQ(TextColour(form->ImageLab), QColor(128, 0, 0)) << "no such file yet";

    A().naGrab->Execute();
    EXPECT_EQ(Saved(), QStringList{"Kestrova_1234.jpg"});
    EXPECT_EQ(A().iaNextNum->Value(), 1235);
    EXPECT_EQ(form->ImageLab->text(), Picture("Kestrova_1235.jpg"));
    EXPECT_EQ(TextColour(form->ImageLab), QColor(128, 0, 0));
    QLabel* name = form->ImagetteFrame->labsnapname;
    EXPECT_EQ(name->text(), "Kestrova_1234.jpg");
    EXPECT_EQ(name->palette().color(QPalette::Window), QColor(192, 220, 192));
    EXPECT_EQ(name->toolTip(), "This picture has already been saved");

    // Back to a number whose file exists: the name turns green.
    A().iaNextNum->SetValue(1234);
    EXPECT_EQ(TextColour(form->ImageLab), QColor(0, 128, 0));
}

TEST_F(GrabTest, TheRootComesFromTheVideoNameInFullUnicode)
{
    Open(Copy("h264.mkv", QStringLiteral("holiday-in-rome.mkv")));
    A().iaNomFichierImage->SetValue(1);
    A().baLimiterLongueur->SetValue(true);
    A().iaRacineLength->SetValue(8);
    EXPECT_EQ(form->PictureName(), Picture("holiday-_001.bmp"));

    // The time-code rule names the frame shown.
    GoTo(28);
    A().naAjouterTimeStamp->Execute();
    EXPECT_EQ(form->PictureName(), Picture("holiday-_0.00.01.03.bmp"));

    // A name outside ASCII is written as it stands.
    Open(clips::path(QString::fromUtf8("vidéo ñ 日本.mp4")));
    A().baLimiterLongueur->SetValue(false);
    A().naAjouterNumero->Execute();
    A().naGrab->Execute();
    EXPECT_TRUE(Saved().contains(QString::fromUtf8("vidéo ñ 日本_001.bmp"))) << Saved().join(", ").toStdString();
    EXPECT_TRUE(grabUi->errors.isEmpty());
}

TEST_F(GrabTest, TheOverwriteQuestionNoCancelAndYesToAll)
{
    Open("dv_pal.avi");
    A().naGrab->Execute();
    const QString first = Picture("Kestrova_001.bmp");
    const QByteArray frame0 = Contents(first);
    ASSERT_FALSE(frame0.isEmpty());
    EXPECT_TRUE(grabUi->questions.isEmpty());
    GoTo(5);

    A().iaNextNum->SetValue(1);
    grabUi->answers = {TGrabUi::oaNo, TGrabUi::oaCancel};
    A().naGrab->Execute();
    ASSERT_EQ(grabUi->questions.size(), 1);
    EXPECT_EQ(grabUi->questions[0], "The file " + first +
                                        " already exists. Do yout want to replace it?\r\n\r\n"
                                        "Click on \"Yes to All\" to stop being prompted.");
    EXPECT_FALSE(form->AbortRequested());
    A().naGrab->Execute();
    EXPECT_TRUE(form->AbortRequested()) << "Cancel stops an interval capture";
    EXPECT_EQ(Contents(first), frame0);
    EXPECT_EQ(A().iaNextNum->Value(), 1);
    EXPECT_EQ(Saved(), QStringList{"Kestrova_001.bmp"});

    // Yes to All writes and asks no more.
    grabUi->answers = {TGrabUi::oaYesToAll};
    A().naGrab->Execute();
    EXPECT_NE(Contents(first), frame0);
    EXPECT_FALSE(A().baConfirmerImage->Value());
    EXPECT_FALSE(form->OptionsFrame->cbConfirmerImage->isChecked());
    const int asked = grabUi->questions.size();
    A().iaNextNum->SetValue(1);
    A().naGrab->Execute();
    EXPECT_EQ(grabUi->questions.size(), asked);
    EXPECT_EQ(A().iaNextNum->Value(), 2);
}

TEST_F(GrabTest, TheClipboardHoldsTheNativeFrameAndTheFileTheDisplayAspect)
{
    Open("dv_pal.avi");
    GoTo(3);
    A().naCopy->Execute();
    const QImage copied = QGuiApplication::clipboard()->image();
    EXPECT_EQ(copied.size(), QSize(720, 576));
    EXPECT_EQ(clips::readBarcode(copied.convertToFormat(QImage::Format_RGB32)), 3);
    EXPECT_TRUE(Saved().isEmpty());
    EXPECT_EQ(A().iaNextNum->Value(), 1);
    EXPECT_TRUE(form->PictureUnsaved());
    EXPECT_EQ(form->ImagetteFrame->labImagetteTaille->text(), "720 x 540");

    // A click on the name saves the picture shown, once.
    QTest::mouseClick(form->ImagetteFrame->labsnapname, Qt::LeftButton);
    EXPECT_EQ(Saved(), QStringList{"Kestrova_001.bmp"});
    QImage saved;
    ASSERT_TRUE(saved.load(Picture("Kestrova_001.bmp")));
    EXPECT_EQ(saved.size(), QSize(720, 540));
    EXPECT_EQ(clips::readBarcode(saved.convertToFormat(QImage::Format_RGB32)), 3);
    QTest::mouseClick(form->ImagetteFrame->labsnapname, Qt::LeftButton);
    EXPECT_EQ(Saved(), QStringList{"Kestrova_001.bmp"}) << "the picture is saved already";
    EXPECT_EQ(A().iaNextNum->Value(), 2);
}

// The thumbnail panel around a grabbed picture: the picture fitted 12 pixels
// in from the panel's sides at the saved aspect, its labels above and below
// it, and the name label telling whether the picture is saved.
TEST_F(GrabTest, TheThumbnailPanelFramesTheGrabbedPicture)
{
    Open("dv_pal.avi");
    GoTo(3);
    TImagetteFrame* frame = form->ImagetteFrame;
    A().naCopy->Execute();
    EXPECT_EQ(frame->labsnapname->toolTip(), "This picture has not yet been saved\r\nClick on this label to save it");
    EXPECT_EQ(frame->labsnapname->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(frame->labsnapname->text(), "Kestrova_001.bmp");
    EXPECT_EQ(frame->SnapLab->text(), "0:00:00:03");

    A().naGrab->Execute();
    EXPECT_TRUE(frame->Bevel3->isHidden());
    EXPECT_EQ(frame->labsnapname->cursor().shape(), Qt::ArrowCursor);
    // A 720 x 540 picture in the panel's client area less 12 on every side.
    const int w = frame->width() - 24;
    const int h = frame->height() - 24;
    QRect image;
    if (h * 720 > w * 540) {
        const int height = 540 * w / 720;
        image = QRect(12, 12 + (h - height) / 2, w, height);
    } else {
        const int width = h * 720 / 540;
        image = QRect(12 + (w - width) / 2, 12, width, h);
    }
    EXPECT_EQ(frame->Image->geometry(), image);
    EXPECT_EQ(frame->Bevel3->geometry(), image);
    EXPECT_EQ(frame->labsnapname->y(), image.top() - 34);
    EXPECT_EQ(frame->Bevel1->y(), image.top() - 42);
    EXPECT_EQ(frame->labImagetteTaille->pos(), QPoint(image.left(), image.top() - 12));
    EXPECT_EQ(frame->SnapLab->x(), image.left());
    EXPECT_EQ(frame->SnapLab->width(), image.width());
    EXPECT_EQ(frame->SnapLab->y(), image.top() + image.height());

    // Closing the file empties the panel and shows the empty frame again.
    form->ficman->naCloseFile->Execute();
    EXPECT_FALSE(frame->Bevel3->isHidden());
    EXPECT_TRUE(frame->labsnapname->text().isEmpty());
    EXPECT_TRUE(frame->labImagetteTaille->text().isEmpty());
    EXPECT_TRUE(frame->SnapLab->text().isEmpty());
}

TEST_F(GrabTest, SavedPicturesHoldTheFrameShownAtTheDisplayAspect)
{
    struct Case
    {
        const char* clip;
        int extension;
        QSize native;
        QSize size;
    };
    for (const Case& c : {Case{"dv_pal.avi", 1, QSize(720, 576), QSize(720, 540)},
                          Case{"dv_ntsc_wide.avi", 0, QSize(720, 480), QSize(720, 405)},
                          Case{"mpeg2.mpg", 1, QSize(352, 288), QSize(352, 198)}}) {
        SCOPED_TRACE(c.clip);
        // Each file starts again at number 1, over the last clip's picture.
        A().baConfirmerImage->SetValue(false);
        Open(c.clip);
        A().iaImageExtension->SetValue(c.extension);
        A().iaJpegCompressionQuality->SetValue(90);
        GoTo(7);
        const QString name = form->PictureName();
        A().naGrab->Execute();
        QImage read;
        if (c.extension == 1)
            read = ReadJpeg(name);
        else
            read.load(name);
        ASSERT_FALSE(read.isNull()) << name.toStdString();
        EXPECT_EQ(read.size(), c.size);
        EXPECT_EQ(clips::readBarcode(read.convertToFormat(QImage::Format_RGB32)), 7);
        EXPECT_EQ(form->RawFrame().size(), c.native);
    }
}

// The saved pictures as another program reads them: the ffmpeg tool decodes
// each JPEG and BMP to the frame grabbed, at the size of the clip's frame
// fitted to the display aspect its prober reads from the clip (the frame's
// width kept when the display is wider, its height otherwise). A better
// quality makes a larger JPEG of the same frame.
TEST_F(GrabTest, TheFfmpegToolReadsEachSavedPictureAsTheFrameAtTheDisplayAspect)
{
    A().baConfirmerImage->SetValue(false);
    A().iaJpegCompressionQuality->SetValue(90);
    for (const char* clip :
         {"dv_pal.avi", "dv_ntsc_wide.avi", "mpeg2.mpg", "mpeg2_interlaced.mpg", "h264.mp4", "wmv.wmv"}) {
        SCOPED_TRACE(clip);
        const TProbedVideo video = ProbeVideo(clips::path(clip));
        ASSERT_FALSE(video.size.isEmpty());
        ASSERT_GT(video.aspectWidth * video.aspectHeight, 0);
        const int w = video.size.width(), h = video.size.height();
        const QSize expected = qint64(h) * video.aspectWidth > qint64(w) * video.aspectHeight
                                   ? QSize(w, video.aspectHeight * w / video.aspectWidth)
                                   : QSize(h * video.aspectWidth / video.aspectHeight, h);
        Open(clip);
        GoTo(7);
        for (const int extension : {1, 0}) {
            SCOPED_TRACE(extension ? "JPEG" : "BMP");
            A().iaImageExtension->SetValue(extension);
            const QString name = form->PictureName();
            A().naGrab->Execute();
            const TProbedVideo saved = ProbeVideo(name);
            EXPECT_EQ(saved.size, expected);
            if (extension == 0) {
                EXPECT_EQ(saved.pixelFormat, "bgr24") << "a BMP of 24-bit pixels";
            }
            const QImage read = DecodeWithFfmpeg(name);
            ASSERT_FALSE(read.isNull()) << name.toStdString();
            EXPECT_EQ(clips::readBarcode(read), 7);
        }
    }

    A().iaImageExtension->SetValue(1);
    QList<qint64> sizes;
    for (const int quality : {10, 95}) {
        A().iaJpegCompressionQuality->SetValue(quality);
        const QString name = form->PictureName();
        A().naGrab->Execute();
        EXPECT_EQ(clips::readBarcode(DecodeWithFfmpeg(name)), 7) << quality;
        sizes.append(QFileInfo(name).size());
    }
    EXPECT_GT(sizes[1], 2 * sizes[0]) << sizes[0] << " bytes at 10, " << sizes[1] << " at 95";
}

TEST_F(GrabTest, DeinterlacingChangesAnInterlacedGrabAndHardlyAProgressiveOne)
{
    for (const auto& [clip, interlaced] :
         std::vector<std::pair<const char*, bool>>{{"interlaced_pal.mpg", true}, {"dv_pal.avi", false}}) {
        SCOPED_TRACE(clip);
        Open(clip);
        GoTo(4);
        A().baImageDeinterlacer->SetValue(false);
        ASSERT_TRUE(form->GrabFrame());
        const QImage woven = form->RawFrame();
        A().baImageDeinterlacer->SetValue(true);
        ASSERT_TRUE(form->GrabFrame());
        const QImage repaired = form->RawFrame();
        EXPECT_EQ(clips::readBarcode(repaired), 4);
        const double difference = MeanDifference(woven, repaired);
        if (interlaced)
            EXPECT_GT(difference, 0.5);
        else
            EXPECT_LT(difference, 0.1);
    }
}

TEST_F(GrabTest, AnUnwritableFolderGivesTheMessageAndLosesNothing)
{
    Open("dv_pal.avi");
    A().naGrab->Execute();
    const QByteArray earlier = Contents(Picture("Kestrova_001.bmp"));
    A().iaNextNum->SetValue(1);
    A().baConfirmerImage->SetValue(false);
    GoTo(6);

    const QByteArray folder = QFile::encodeName(pictures);
    ASSERT_EQ(chmod(folder.constData(), 0555), 0);
    {
        PermissionsApply obeyed;
        A().naGrab->Execute();
    }
    chmod(folder.constData(), 0755);
    ASSERT_EQ(grabUi->errors.size(), 1);
    EXPECT_TRUE(grabUi->errors[0].contains(Picture("Kestrova_001.bmp")));
    EXPECT_EQ(Contents(Picture("Kestrova_001.bmp")), earlier);
    EXPECT_EQ(Saved(), QStringList{"Kestrova_001.bmp"});
    EXPECT_EQ(A().iaNextNum->Value(), 1);
    EXPECT_TRUE(form->PictureUnsaved());
    EXPECT_TRUE(form->AbortRequested()) << "an interval capture ends";
}

TEST_F(GrabTest, AGrabWithoutAFrameSavesNothingAndKeepsTheCounter)
{
    Open("dv_pal.avi");
    A().naGrab->Execute();
    ASSERT_EQ(Saved(), QStringList{"Kestrova_001.bmp"});
    A().naCopy->Execute();
    const QImage copied = QGuiApplication::clipboard()->image();
    ASSERT_FALSE(copied.isNull());

    // The window opens a file of which nothing plays over the last one: the
    // thumbnail panel still shows the last picture, which waits to be saved.
    A().baRAZWhenOpenFile->SetValue(false);
    form->openfile(clips::path("garbage.avi"));
    ASSERT_FALSE(form->HasVideo());
    ASSERT_FALSE(form->ImagetteFrame->labsnapname->text().isEmpty());
    form->naGrabApply();
    form->naCopyApply();
    EXPECT_EQ(Saved(), QStringList{"Kestrova_001.bmp"});
    EXPECT_EQ(A().iaNextNum->Value(), 2);
    EXPECT_EQ(form->ImageLab->text(), "No picture could be taken from the video: nothing was saved.");
    EXPECT_EQ(QGuiApplication::clipboard()->image(), copied);
    // That picture is not this grab's: it is not saved under its name.
    QTest::mouseClick(form->ImagetteFrame->labsnapname, Qt::LeftButton);
    EXPECT_EQ(Saved(), QStringList{"Kestrova_001.bmp"});

    // Once the file is closed the panel is empty, and so is the name.
    form->ficman->naCloseFile->Execute();
    QTest::mouseClick(form->ImagetteFrame->labsnapname, Qt::LeftButton);
    EXPECT_EQ(Saved(), QStringList{"Kestrova_001.bmp"});
    EXPECT_TRUE(grabUi->errors.isEmpty());
}

TEST_F(GrabTest, APausedGrabDoesNotWaitAndAPlayingOneTakesANewFrame)
{
    Open("dv_pal.avi");
    EventCounter counter;
    QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
    ASSERT_TRUE(form->GrabFrame());
    EXPECT_EQ(counter.received, 0) << "the grab let messages run";
    ProcessMessages();
    EXPECT_EQ(counter.received, 1);

    form->NavMan->caPlay->SetChecked(true);
    ASSERT_GT(WaitFor(3), 0);
    const int before = form->vidman->GetFramesDrawn();
    ASSERT_TRUE(form->GrabFrame());
    EXPECT_GT(form->vidman->GetFramesDrawn(), before);
    EXPECT_GT(clips::readBarcode(form->RawFrame()), 0);
    form->NavMan->caPlay->SetChecked(false);
}

TEST_F(GrabTest, TheControlsSetTheSettingsAndShowThem)
{
    TDossiersFrame* names = form->SaveImagesFrame;
    names->rbJpeg->click();
    EXPECT_EQ(A().iaImageExtension->Value(), 1);
    A().naBmpExtension->Execute();
    EXPECT_TRUE(names->rbBmp->isChecked());
    names->TrackBar1->setValue(75);
    EXPECT_EQ(A().iaJpegCompressionQuality->Value(), 75);
    A().iaJpegCompressionQuality->SetValue(500);
    EXPECT_EQ(names->TrackBar1->value(), 100);
    EXPECT_EQ(names->labQuality->text(), "100");

    names->rbUtiliserRacine->click();
    names->NomRacineEdit->selectAll();
    QTest::keyClicks(names->NomRacineEdit, QStringLiteral("Rome"));
    names->DigitsEdit->setValue(5);
    names->seNextNum->setValue(12);
    EXPECT_EQ(form->PictureName(), Picture("Rome_00012.bmp"));
    A().waDefaultRacine->SetValue(QStringLiteral("Roma"));
    EXPECT_EQ(names->NomRacineEdit->text(), "Roma");

    // The folder dialog gives the folder; the setting ends with a separator.
    struct Chooser : IFolderChooser
    {
        QString folder;
        bool ChooseFolder(const QString&, const QString&, QString& chosen, bool) override
        {
            chosen = folder;
            return true;
        }
    } chooser;
    chooser.folder = dir.path();
    SetFolderChooser(&chooser);
    names->deDossierSave->Button()->click();
    SetFolderChooser(nullptr);
    EXPECT_EQ(A().waDossierSave->Value(), dir.path() + "/");
    EXPECT_EQ(A().waDossierSave->DefaultValue(), GetMyPicturesFolder());

    form->OptionsFrame->cbSauverQuandClic->click();
    EXPECT_FALSE(A().baSauverQuandClic->Value());

    // Each setting, set as a script sets it, shows in its control.
    A().iaDigits->SetValue(7);
    EXPECT_EQ(names->DigitsEdit->value(), 7);
    A().iaNextNum->SetValue(41);
    EXPECT_EQ(names->seNextNum->value(), 41);
    A().iaRacineLength->SetValue(5);
    EXPECT_EQ(names->RacineLengthEdit->value(), 5);
    A().iaRacineLength->SetValue(0);
    EXPECT_EQ(names->RacineLengthEdit->value(), 0) << "a root cut to nothing";
    A().baLimiterLongueur->SetValue(true);
    EXPECT_TRUE(names->cbLimiterLongueur->isChecked());
    A().naAjouterTimeStamp->Execute();
    EXPECT_TRUE(names->rbTimestamp->isChecked());
    A().naAjouterNumero->Execute();
    EXPECT_TRUE(names->rbNumero->isChecked());
    A().iaNomFichierImage->SetValue(1);
    EXPECT_TRUE(names->rbUtiliserNomVideo->isChecked());
    A().iaNomFichierImage->SetValue(0);
    EXPECT_TRUE(names->rbUtiliserRacine->isChecked());
    A().naJpegExtension->Execute();
    EXPECT_TRUE(names->rbJpeg->isChecked());
    A().iaJpegCompressionQuality->SetValue(33);
    EXPECT_EQ(names->TrackBar1->value(), 33);
    EXPECT_EQ(names->labQuality->text(), "33");
    A().waDossierSave->SetValue(pictures);
    EXPECT_EQ(names->deDossierSave->Folder(), pictures);
    A().baSauverQuandClic->SetValue(true);
    A().baConfirmerImage->SetValue(false);
    A().baRAZWhenOpenFile->SetValue(false);
    EXPECT_TRUE(form->OptionsFrame->cbSauverQuandClic->isChecked());
    EXPECT_FALSE(form->OptionsFrame->cbConfirmerImage->isChecked());
    EXPECT_FALSE(form->OptionsFrame->cbRAZwhenOpenFile->isChecked());
    EXPECT_EQ(form->PictureName(), Picture("Roma_0000041.jpg"));
}

TEST_F(GrabTest, ClicksGrabCopySeekBackAndShowFiles)
{
    Open("dv_pal.avi");
    GoTo(3);
    // The video's surface lets presses through to the panel.
    ASSERT_EQ(form->videoPanel->childAt(40, 40), nullptr);
    const QPoint at(40, 40);
    QTest::mouseClick(form->videoPanel, Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(Saved(), QStringList{"Kestrova_001.bmp"});
    EXPECT_EQ(form->ImagetteFrame->SnapLab->text(), "0:00:00:03");

    // Copy rather than save.
    A().baSauverQuandClic->SetValue(false);
    GoTo(8);
    QTest::mouseClick(form->videoPanel, Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(Saved(), QStringList{"Kestrova_001.bmp"});
    EXPECT_EQ(clips::readBarcode(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32)), 8);

    // The thumbnail takes the video back to the grabbed frame.
    GoTo(12);
    QTest::mouseClick(form->ImagetteFrame->Image, Qt::LeftButton);
    EXPECT_EQ(WaitFor(8), 8);

    QTest::mouseClick(form->panelImage, Qt::LeftButton);
    QTest::mouseClick(form->PanelTitre, Qt::LeftButton);
    EXPECT_EQ(grabUi->shown, QStringList({form->PictureName(), clips::path("dv_pal.avi")}));
}

} // namespace
