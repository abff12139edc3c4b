// Grabbing, naming and saving pictures.

#include "app/picture_grabber.h"

#include "app/deinterlace.h"
#include "app/main_actions.h"
#include "app/panels.h"
#include "app/picture_writer.h"
#include "app/quietly.h"
#include "framework/widgets/directory_edit.h"
#include "framework/widgets/fitted_text.h"
#include "media/engine/nav_man.h"
#include "media/engine/video_forms.h"
#include "media/engine/video_man.h"
#include "platform/win/messages.h"

#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>

#include <algorithm>

namespace {

const QColor kExistingNameColour(0, 128, 0);
const QColor kNewNameColour(128, 0, 0);
const QColor kSavedColour(192, 220, 192);
const QString kUnsavedHint = QStringLiteral("This picture has not yet been saved\r\nClick on this label to save it");
const QString kSavedHint = QStringLiteral("This picture has already been saved");
const QString kNoFrameText = QStringLiteral("No picture could be taken from the video: nothing was saved.");

// While playing, a grab waits this many frames at most for a new one, and
// never less than the minimum.
constexpr int kFramesToWait = 4;
constexpr qint64 kMinimumWaitMs = 1000;

void SetFontColour(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

void SetBackground(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, colour);
    label->setPalette(palette);
}

} // namespace

TPictureGrabber::TPictureGrabber(QWidget& window, TMainActions& actions, TNavMan& navigation, TVideoMan& video,
                                 TGrabPanels panels, TGrabShared shared)
    : FWindow(window), A(actions), FNavMan(navigation), FVideo(video), FPanels(panels), FShared(std::move(shared))
{
    AssignEvents();
}

// --- the picture's size and the thumbnail -------------------------------------

void TPictureGrabber::ComputeImageSize(int aspectWidth, int aspectHeight)
{
    FGrabSize = GrabImageSize(aspectWidth, aspectHeight, FNativeSize);
}

void TPictureGrabber::ArrangeImagetteFrame()
{
    TImagetteFrame* frame = &FPanels.Thumbnail;
    const QRect image = ThumbnailRect(FGrabSize.width(), FGrabSize.height(), frame->rect());
    frame->Image->setGeometry(image);
    frame->SnapLab->setGeometry(image.left(), image.bottom() + 1, image.width(), frame->SnapLab->height());
    frame->labsnapname->move(frame->labsnapname->x(), image.top() - 34);
    frame->Bevel1->move(frame->Bevel1->x(), image.top() - 42);
    frame->Bevel3->setGeometry(image);
    frame->labImagetteTaille->move(image.left(), image.top() - 12);
}

// --- names ----------------------------------------------------------------------

TPictureNaming TPictureGrabber::PictureNaming() const
{
    TPictureNaming naming;
    naming.ImageExtension = A.iaImageExtension->Value();
    naming.ImageAjouter = A.iaImageAjouter->Value();
    naming.NomFichierImage = A.iaNomFichierImage->Value();
    naming.DefaultRacine = A.waDefaultRacine->Value();
    naming.LimiterLongueur = A.baLimiterLongueur->Value();
    naming.RacineLength = A.iaRacineLength->Value();
    naming.DossierSave = A.waDossierSave->Value();
    return naming;
}

void TPictureGrabber::BuildImageFileName()
{
    const TPictureNaming naming = PictureNaming();
    const QString root = ComputeRacine(naming, FShared.VideoFileName);
    if (const auto name =
            BuildPictureName(naming, root, FShared.NumberText, FNavMan.FrameDuration(), FNavMan.GetPosition()))
        FPictureName = *name;
    // A long folder loses its start; the picture's own name stays whole.
    SetFittedText(&FPanels.Status, FPictureName, Qt::ElideLeft);
    SetFontColour(&FPanels.Status, QFileInfo::exists(FPictureName) ? kExistingNameColour : kNewNameColour);
}

// --- grabbing -------------------------------------------------------------------

void TPictureGrabber::WaitForNewFrame()
{
    // The frame on screen may be one the user has already seen go by: wait
    // for the next, but not past a stop or pause, nor for ever when none
    // comes (the end of the video, a stalled decoder).
    const int drawn = FVideo.GetFramesDrawn();
    const int state = FNavMan.GraphState();
    const qint64 limitMs = std::max<qint64>(kMinimumWaitMs, kFramesToWait * FNavMan.FrameDuration() / 10'000);
    const auto over = [&] {
        return FVideo.GetFramesDrawn() != drawn || FNavMan.GraphState() != state || !FNavMan.caPlay->Checked();
    };
    QElapsedTimer clock;
    clock.start();
    while (!over() && clock.elapsed() < limitMs) {
        ProcessMessages();
        WaitServingMessages(over, 5);
    }
}

bool TPictureGrabber::CaptureCurrentFrame()
{
    const bool captured = FShared.HasVideo && FVideo.GetCurrentImage(FRawFrame);
    if (!captured)
        FRawFrame = QImage();
    FNativeSize = FRawFrame.size();
    return captured && !FRawFrame.isNull();
}

bool TPictureGrabber::GrabFrame()
{
    if (FGrabbing)
        return false;
    FGrabbing = true;
    if (FNavMan.caPlay->Checked())
        WaitForNewFrame();
    BuildImageFileName();
    const bool captured = CaptureCurrentFrame();
    ComputeImageSize(FVideo.VideoAspectX(), FVideo.VideoAspectY());
    if (!captured) {
        // The picture shown before is not this frame: it must not be saved
        // under this frame's name.
        FPictureUnsaved = false;
        FGrabbing = false;
        SetFittedText(&FPanels.Status, kNoFrameText);
        SetFontColour(&FPanels.Status, kNewNameColour);
        return false;
    }
    if (A.baImageDeinterlacer->Value()) {
        DeinterlaceBitmap(FRawFrame, FDeinterlaceBitmap);
        FRawFrame = FDeinterlaceBitmap;
    }
    StretchOnto(FRawFrame, FGrabSize, FGrabBitmap);
    TImagetteFrame* frame = &FPanels.Thumbnail;
    frame->labImagetteTaille->setText(QStringLiteral("%1 x %2").arg(FGrabSize.width()).arg(FGrabSize.height()));
    frame->Image->setPixmap(QPixmap::fromImage(FGrabBitmap));
    frame->SnapLab->setText(FNavMan.GetStrPosition());
    frame->labsnapname->setText(QFileInfo(FPictureName).fileName());
    FPictureUnsaved = true;
    ShowPictureSaved(false);
    ArrangeImagetteFrame();
    FGrabbing = false;
    return true;
}

void TPictureGrabber::ShowPictureSaved(bool saved)
{
    QLabel* label = FPanels.Thumbnail.labsnapname;
    label->setToolTip(saved ? kSavedHint : kUnsavedHint);
    SetBackground(label, saved ? kSavedColour : label->palette().color(QPalette::Button));
    label->setCursor(saved ? Qt::ArrowCursor : Qt::PointingHandCursor);
}

void TPictureGrabber::SaveGrabbedImage()
{
    if (!QFileInfo::exists(FPictureName) || !A.baConfirmerImage->Value()) {
        WriteImageFile();
        return;
    }
    switch (GrabUi().AskOverwrite(OverwriteQuestionText(FPictureName))) {
    case TGrabUi::oaYes:
        WriteImageFile();
        break;
    case TGrabUi::oaNo:
        break;
    case TGrabUi::oaCancel:
        FShared.Abort = true;
        break;
    case TGrabUi::oaYesToAll:
        A.baConfirmerImage->SetValue(false);
        WriteImageFile();
        break;
    }
}

bool TPictureGrabber::WriteImageFile()
{
    QString error;
    if (!WritePictureFile(FGrabBitmap, FPictureName, A.iaImageExtension->Value(), A.iaJpegCompressionQuality->Value(),
                          &error)) {
        // Nothing was written and the number stays; an interval capture
        // would only fail again on every picture.
        FShared.Abort = true;
        GrabUi().ShowError(WriteErrorText(FPictureName, error));
        return false;
    }
    FPictureUnsaved = false;
    ShowPictureSaved(true);
    A.iaNextNum->SetValue(A.iaNextNum->Value() + 1);
    return true;
}

void TPictureGrabber::naGrabApply()
{
    if (A.iaPanneauActif->Value() != 0)
        A.iaPanneauActif->SetValue(0);
    if (!GrabFrame())
        return;
    SaveGrabbedImage();
    FPanels.Thumbnail.Bevel3->hide();
}

void TPictureGrabber::naCopyApply()
{
    if (GrabFrame())
        QGuiApplication::clipboard()->setImage(FRawFrame);
}

void TPictureGrabber::ResetGrabBitmap(const QSize& size)
{
    FGrabBitmap = QImage(size.expandedTo(QSize(0, 0)), QImage::Format_RGB888);
}

void TPictureGrabber::SetGrabUi(std::unique_ptr<TGrabUi> ui)
{
    FGrabUi = std::move(ui);
}

TGrabUi& TPictureGrabber::GrabUi()
{
    if (!FGrabUi)
        FGrabUi = std::make_unique<TQtGrabUi>(&FWindow);
    return *FGrabUi;
}

// --- the wiring -------------------------------------------------------------------

void TPictureGrabber::AssignEvents()
{
    A.naGrab->InternalApply = [this] { naGrabApply(); };
    A.naCopy->InternalApply = [this] { naCopyApply(); };
    A.naJpegExtension->InternalApply = [this] { A.iaImageExtension->SetValue(1); };
    A.naBmpExtension->InternalApply = [this] { A.iaImageExtension->SetValue(0); };
    A.naAjouterNumero->InternalApply = [this] { A.iaImageAjouter->SetValue(1); };
    A.naAjouterTimeStamp->InternalApply = [this] { A.iaImageAjouter->SetValue(0); };
    A.waImageParentFolder->InternalApply = [this](const QString& file) {
        if (!file.isEmpty())
            GrabUi().ShowInFolder(file);
    };
    A.waDossierSave->EmptyMeansDefault = true;
    A.waDossierSave->InternalDefault = [](QString& folder) {
        folder = GetMyPicturesFolder();
        return true;
    };
    AssignPictureNameEvents();
}

void TPictureGrabber::AssignPictureNameEvents()
{
    // Each setting shows in its control and renames the next picture; each
    // control sets its action, so that a change by hand is recorded.
    TDossiersFrame* names = &FPanels.Names;
    // A setting of two values, each shown by a radio button.
    const auto choice = [this](TIntegerAction* action, QRadioButton* zero, QRadioButton* one) {
        action->InternalApply = [this, zero, one](int value) {
            Quietly(zero, [value](QRadioButton* b) { b->setChecked(value == 0); });
            Quietly(one, [value](QRadioButton* b) { b->setChecked(value == 1); });
            BuildImageFileName();
        };
        QObject::connect(zero, &QRadioButton::clicked, &FWindow, [action] { action->SetValue(0); });
        QObject::connect(one, &QRadioButton::clicked, &FWindow, [action] { action->SetValue(1); });
    };
    choice(A.iaImageExtension, names->rbBmp, names->rbJpeg);
    choice(A.iaImageAjouter, names->rbTimestamp, names->rbNumero);
    choice(A.iaNomFichierImage, names->rbUtiliserRacine, names->rbUtiliserNomVideo);

    A.iaJpegCompressionQuality->InternalApply = [names](int quality) {
        const int used = ClampJpegQuality(quality);
        Quietly(names->TrackBar1, [used](QSlider* s) { s->setValue(used); });
        names->labQuality->setText(QString::number(used));
    };
    QObject::connect(names->TrackBar1, &QSlider::valueChanged, &FWindow,
                     [this](int position) { A.iaJpegCompressionQuality->SetValue(position); });

    A.waDefaultRacine->InternalApply = [this, names](const QString& root) {
        if (names->NomRacineEdit->text() != root)
            Quietly(names->NomRacineEdit, [&root](QLineEdit* e) { e->setText(root); });
        BuildImageFileName();
    };
    QObject::connect(names->NomRacineEdit, &QLineEdit::textEdited, &FWindow,
                     [this](const QString& text) { A.waDefaultRacine->SetValue(text); });

    A.baLimiterLongueur->InternalApply = [this, names](bool limit) {
        Quietly(names->cbLimiterLongueur, [limit](QCheckBox* c) { c->setChecked(limit); });
        BuildImageFileName();
    };
    QObject::connect(names->cbLimiterLongueur, &QCheckBox::clicked, &FWindow,
                     [this](bool checked) { A.baLimiterLongueur->SetValue(checked); });

    A.iaRacineLength->InternalApply = [this, names](int length) {
        Quietly(names->RacineLengthEdit, [length](QSpinBox* s) { s->setValue(ClampRootLength(length)); });
        BuildImageFileName();
    };
    QObject::connect(names->RacineLengthEdit, &QSpinBox::valueChanged, &FWindow,
                     [this](int length) { A.iaRacineLength->SetValue(length); });

    A.iaDigits->InternalApply = [this, names](int digits) {
        Quietly(names->DigitsEdit, [digits](QSpinBox* s) { s->setValue(ClampDigits(digits)); });
        FShared.SetNumber(A.iaNextNum->Value(), digits);
        BuildImageFileName();
    };
    QObject::connect(names->DigitsEdit, &QSpinBox::valueChanged, &FWindow,
                     [this](int digits) { A.iaDigits->SetValue(digits); });

    A.iaNextNum->InternalApply = [this, names](int number) {
        Quietly(names->seNextNum, [number](QSpinBox* s) { s->setValue(number); });
        FShared.SetNumber(number, A.iaDigits->Value());
        BuildImageFileName();
    };
    QObject::connect(names->seNextNum, &QSpinBox::valueChanged, &FWindow,
                     [this](int number) { A.iaNextNum->SetValue(number); });

    A.waDossierSave->InternalApply = [this, names](const QString& folder) {
        names->deDossierSave->SetFolder(folder);
        BuildImageFileName();
    };
    names->deDossierSave->OnAfterDialog = [this](TWideDialogEdit*, const QString& folder) {
        A.waDossierSave->SetValue(WithTrailingSeparator(folder));
    };

    // The options page.
    TOptionsFrame* options = &FPanels.Options;
    const auto option = [this](TBooleanAction* action, QCheckBox* box) {
        action->InternalApply = [box](bool on) { Quietly(box, [on](QCheckBox* c) { c->setChecked(on); }); };
        QObject::connect(box, &QCheckBox::clicked, &FWindow, [action](bool checked) { action->SetValue(checked); });
    };
    option(A.baConfirmerImage, options->cbConfirmerImage);
    option(A.baSauverQuandClic, options->cbSauverQuandClic);
    option(A.baRAZWhenOpenFile, options->cbRAZwhenOpenFile);
}
