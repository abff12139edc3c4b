// Grabbing, naming and saving pictures: the window's operations of that
// concern and the wiring of its actions.

#include "app/main_form.h"

#include "app/deinterlace.h"
#include "app/picture_writer.h"
#include "app/quietly.h"
#include "framework/widgets/directory_edit.h"
#include "framework/widgets/fitted_text.h"
#include "media/engine/video_forms.h"
#include "platform/win/messages.h"

#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>

#include <algorithm>
#include <functional>

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

// Runs `click` for a press of the left button on any watched widget, or on
// a child that lets the press through; the second press of a double click
// comes as a double click. A true result of `click` eats the press.
class TLeftClicks final : public QObject
{
public:
    TLeftClicks(QObject* parent, std::function<bool(QObject* watched, const QMouseEvent& press)> click)
        : QObject(parent), FClick(std::move(click))
    {
    }

    void Watch(QWidget* widget)
    {
        if (widget)
            widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonDblClick)
            return false;
        const auto* press = static_cast<QMouseEvent*>(event);
        return press->button() == Qt::LeftButton && FClick(watched, *press);
    }

private:
    std::function<bool(QObject*, const QMouseEvent&)> FClick;
};

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

// --- the picture's size and the thumbnail -------------------------------------

void TMainForm::ComputeImageSize(int aspectWidth, int aspectHeight)
{
    FGrabSize = GrabImageSize(aspectWidth, aspectHeight, FNativeSize);
}

void TMainForm::ArrangeImagetteFrame()
{
    TImagetteFrame* frame = ImagetteFrame;
    const QRect image = ThumbnailRect(FGrabSize.width(), FGrabSize.height(), frame->rect());
    frame->Image->setGeometry(image);
    frame->SnapLab->setGeometry(image.left(), image.bottom() + 1, image.width(), frame->SnapLab->height());
    frame->labsnapname->move(frame->labsnapname->x(), image.top() - 34);
    frame->Bevel1->move(frame->Bevel1->x(), image.top() - 42);
    frame->Bevel3->setGeometry(image);
    frame->labImagetteTaille->move(image.left(), image.top() - 12);
}

// --- names ----------------------------------------------------------------------

TPictureNaming TMainForm::PictureNaming() const
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

void TMainForm::BuildImageFileName()
{
    const TPictureNaming naming = PictureNaming();
    const QString root = ComputeRacine(naming, FVideoFileName);
    if (const auto name = BuildPictureName(naming, root, FNumberText, NavMan->FrameDuration(), NavMan->GetPosition()))
        FPictureName = *name;
    // A long folder loses its start; the picture's own name stays whole.
    SetFittedText(ImageLab, FPictureName, Qt::ElideLeft);
    SetFontColour(ImageLab, QFileInfo::exists(FPictureName) ? kExistingNameColour : kNewNameColour);
}

void TMainForm::SetNumeroString(int number, int digits)
{
    FNumberText = NumberText(number, ClampDigits(digits));
    if (FUsesNumber)
        SendNumeroToInsert();
}

// --- grabbing -------------------------------------------------------------------

void TMainForm::WaitForNewFrame()
{
    // The frame on screen may be one the user has already seen go by: wait
    // for the next, but not past a stop or pause, nor for ever when none
    // comes (the end of the video, a stalled decoder).
    const int drawn = vidman->GetFramesDrawn();
    const int state = NavMan->GraphState();
    const qint64 limitMs = std::max<qint64>(kMinimumWaitMs, kFramesToWait * NavMan->FrameDuration() / 10'000);
    const auto over = [&] {
        return vidman->GetFramesDrawn() != drawn || NavMan->GraphState() != state || !NavMan->caPlay->Checked();
    };
    QElapsedTimer clock;
    clock.start();
    while (!over() && clock.elapsed() < limitMs) {
        ProcessMessages();
        WaitServingMessages(over, 5);
    }
}

bool TMainForm::CaptureCurrentFrame()
{
    const bool captured = FHasVideo && vidman->GetCurrentImage(FRawFrame);
    if (!captured)
        FRawFrame = QImage();
    FNativeSize = FRawFrame.size();
    return captured && !FRawFrame.isNull();
}

bool TMainForm::GrabFrame()
{
    if (FGrabbing)
        return false;
    FGrabbing = true;
    if (NavMan->caPlay->Checked())
        WaitForNewFrame();
    BuildImageFileName();
    const bool captured = CaptureCurrentFrame();
    ComputeImageSize(vidman->VideoAspectX(), vidman->VideoAspectY());
    if (!captured) {
        // The picture shown before is not this frame: it must not be saved
        // under this frame's name.
        FPictureUnsaved = false;
        FGrabbing = false;
        SetFittedText(ImageLab, kNoFrameText);
        SetFontColour(ImageLab, kNewNameColour);
        return false;
    }
    if (A.baImageDeinterlacer->Value()) {
        DeinterlaceBitmap(FRawFrame, FDeinterlaceBitmap);
        FRawFrame = FDeinterlaceBitmap;
    }
    StretchOnto(FRawFrame, FGrabSize, FGrabBitmap);
    TImagetteFrame* frame = ImagetteFrame;
    frame->labImagetteTaille->setText(QStringLiteral("%1 x %2").arg(FGrabSize.width()).arg(FGrabSize.height()));
    frame->Image->setPixmap(QPixmap::fromImage(FGrabBitmap));
    frame->SnapLab->setText(NavMan->GetStrPosition());
    frame->labsnapname->setText(QFileInfo(FPictureName).fileName());
    FPictureUnsaved = true;
    ShowPictureSaved(false);
    ArrangeImagetteFrame();
    FGrabbing = false;
    return true;
}

void TMainForm::ShowPictureSaved(bool saved)
{
    QLabel* label = ImagetteFrame->labsnapname;
    label->setToolTip(saved ? kSavedHint : kUnsavedHint);
    SetBackground(label, saved ? kSavedColour : label->palette().color(QPalette::Button));
    label->setCursor(saved ? Qt::ArrowCursor : Qt::PointingHandCursor);
}

void TMainForm::SaveGrabbedImage()
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
        FAbort = true;
        break;
    case TGrabUi::oaYesToAll:
        A.baConfirmerImage->SetValue(false);
        WriteImageFile();
        break;
    }
}

bool TMainForm::WriteImageFile()
{
    QString error;
    if (!WritePictureFile(FGrabBitmap, FPictureName, A.iaImageExtension->Value(), A.iaJpegCompressionQuality->Value(),
                          &error)) {
        // Nothing was written and the number stays; an interval capture
        // would only fail again on every picture.
        FAbort = true;
        GrabUi().ShowError(WriteErrorText(FPictureName, error));
        return false;
    }
    FPictureUnsaved = false;
    ShowPictureSaved(true);
    A.iaNextNum->SetValue(A.iaNextNum->Value() + 1);
    return true;
}

void TMainForm::naGrabApply()
{
    if (A.iaPanneauActif->Value() != 0)
        A.iaPanneauActif->SetValue(0);
    if (!GrabFrame())
        return;
    SaveGrabbedImage();
    ImagetteFrame->Bevel3->hide();
}

void TMainForm::naCopyApply()
{
    if (GrabFrame())
        QGuiApplication::clipboard()->setImage(FRawFrame);
}

void TMainForm::SetGrabUi(std::unique_ptr<TGrabUi> ui)
{
    FGrabUi = std::move(ui);
}

TGrabUi& TMainForm::GrabUi()
{
    if (!FGrabUi)
        FGrabUi = std::make_unique<TQtGrabUi>(this);
    return *FGrabUi;
}

// --- the wiring -------------------------------------------------------------------

void TMainForm::AssignGrabEvents()
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
    WatchGrabClicks();
}

void TMainForm::AssignPictureNameEvents()
{
    // Each setting shows in its control and renames the next picture; each
    // control sets its action, so that a change by hand is recorded.
    TDossiersFrame* names = SaveImagesFrame;
    // A setting of two values, each shown by a radio button.
    const auto choice = [this](TIntegerAction* action, QRadioButton* zero, QRadioButton* one) {
        action->InternalApply = [this, zero, one](int value) {
            Quietly(zero, [value](QRadioButton* b) { b->setChecked(value == 0); });
            Quietly(one, [value](QRadioButton* b) { b->setChecked(value == 1); });
            BuildImageFileName();
        };
        connect(zero, &QRadioButton::clicked, this, [action] { action->SetValue(0); });
        connect(one, &QRadioButton::clicked, this, [action] { action->SetValue(1); });
    };
    choice(A.iaImageExtension, names->rbBmp, names->rbJpeg);
    choice(A.iaImageAjouter, names->rbTimestamp, names->rbNumero);
    choice(A.iaNomFichierImage, names->rbUtiliserRacine, names->rbUtiliserNomVideo);

    A.iaJpegCompressionQuality->InternalApply = [names](int quality) {
        const int used = ClampJpegQuality(quality);
        Quietly(names->TrackBar1, [used](QSlider* s) { s->setValue(used); });
        names->labQuality->setText(QString::number(used));
    };
    connect(names->TrackBar1, &QSlider::valueChanged, this,
            [this](int position) { A.iaJpegCompressionQuality->SetValue(position); });

    A.waDefaultRacine->InternalApply = [this, names](const QString& root) {
        if (names->NomRacineEdit->text() != root)
            Quietly(names->NomRacineEdit, [&root](QLineEdit* e) { e->setText(root); });
        BuildImageFileName();
    };
    connect(names->NomRacineEdit, &QLineEdit::textEdited, this,
            [this](const QString& text) { A.waDefaultRacine->SetValue(text); });

    A.baLimiterLongueur->InternalApply = [this, names](bool limit) {
        Quietly(names->cbLimiterLongueur, [limit](QCheckBox* c) { c->setChecked(limit); });
        BuildImageFileName();
    };
    connect(names->cbLimiterLongueur, &QCheckBox::clicked, this,
            [this](bool checked) { A.baLimiterLongueur->SetValue(checked); });

    A.iaRacineLength->InternalApply = [this, names](int length) {
        Quietly(names->RacineLengthEdit, [length](QSpinBox* s) { s->setValue(ClampRootLength(length)); });
        BuildImageFileName();
    };
    connect(names->RacineLengthEdit, &QSpinBox::valueChanged, this,
            [this](int length) { A.iaRacineLength->SetValue(length); });

    A.iaDigits->InternalApply = [this, names](int digits) {
        Quietly(names->DigitsEdit, [digits](QSpinBox* s) { s->setValue(ClampDigits(digits)); });
        SetNumeroString(A.iaNextNum->Value(), digits);
        BuildImageFileName();
    };
    connect(names->DigitsEdit, &QSpinBox::valueChanged, this, [this](int digits) { A.iaDigits->SetValue(digits); });

    A.iaNextNum->InternalApply = [this, names](int number) {
        Quietly(names->seNextNum, [number](QSpinBox* s) { s->setValue(number); });
        SetNumeroString(number, A.iaDigits->Value());
        BuildImageFileName();
    };
    connect(names->seNextNum, &QSpinBox::valueChanged, this, [this](int number) { A.iaNextNum->SetValue(number); });

    A.waDossierSave->InternalApply = [this, names](const QString& folder) {
        names->deDossierSave->SetFolder(folder);
        BuildImageFileName();
    };
    names->deDossierSave->OnAfterDialog = [this](TWideDialogEdit*, const QString& folder) {
        A.waDossierSave->SetValue(WithTrailingSeparator(folder));
    };

    // The options page.
    TOptionsFrame* options = OptionsFrame;
    const auto option = [this](TBooleanAction* action, QCheckBox* box) {
        action->InternalApply = [box](bool on) { Quietly(box, [on](QCheckBox* c) { c->setChecked(on); }); };
        connect(box, &QCheckBox::clicked, this, [action](bool checked) { action->SetValue(checked); });
    };
    option(A.baConfirmerImage, options->cbConfirmerImage);
    option(A.baSauverQuandClic, options->cbSauverQuandClic);
    option(A.baRAZWhenOpenFile, options->cbRAZwhenOpenFile);
}

void TMainForm::WatchGrabClicks()
{
    // The clicks.
    auto* clicks = new TLeftClicks(this, [this](QObject* watched, const QMouseEvent& press) {
        TImagetteFrame* frame = ImagetteFrame;
        // While the sliders show, a click on the video places the inlay, and
        // neither grabs nor copies.
        if (watched == videoPanel && PlaceInlayAt(press.position().toPoint()))
            return true;
        if (press.type() == QEvent::MouseButtonDblClick)
            return false;
        if (watched == videoPanel) {
            if (FCurrentVideo == NoVideoSource() || vidman->caExternalPreview->Checked())
                return false;
            if (A.baSauverQuandClic->Value())
                A.naGrab->Apply();
            else
                A.naCopy->Apply();
        } else if (watched == vidman->PreviewForm()) {
            naGrabApply();
        } else if (watched == frame->labsnapname) {
            // Only a picture that is not saved yet: the name has moved on
            // since the last save.
            if (FPictureUnsaved && !frame->labsnapname->text().isEmpty())
                SaveGrabbedImage();
        } else if (watched == frame->Image) {
            if (!frame->SnapLab->text().isEmpty())
                NavMan->waStrPosition->SetValue(frame->SnapLab->text());
        } else if (watched == panelImage) {
            A.waImageParentFolder->SetValue(FPictureName);
        } else if (watched == PanelTitre && !FVideoFileName.isEmpty()) {
            GrabUi().ShowInFolder(FVideoFileName);
        }
        return false;
    });
    // A press on a label of a strip, or on the video's own surface, reaches
    // the strip or the video panel after it.
    for (QWidget* widget : std::initializer_list<QWidget*>{videoPanel, ImagetteFrame->labsnapname, ImagetteFrame->Image,
                                                           panelImage, PanelTitre})
        clicks->Watch(widget);
    clicks->Watch(vidman->PreviewForm());
}
