// Grabbing: the window's grabber (TPictureGrabber) made and wired, the
// window's operations of grabbing handed to it, and the clicks on the video
// and the thumbnail.

#include "app/main_form.h"

#include "app/picture_grabber.h"
#include "media/engine/video_forms.h"

#include <QMouseEvent>

#include <functional>

namespace {

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

} // namespace

void TMainForm::ComputeImageSize(int aspectWidth, int aspectHeight)
{
    FGrabber->ComputeImageSize(aspectWidth, aspectHeight);
}

void TMainForm::ArrangeImagetteFrame()
{
    FGrabber->ArrangeImagetteFrame();
}

void TMainForm::BuildImageFileName()
{
    FGrabber->BuildImageFileName();
}

void TMainForm::SetNumeroString(int number, int digits)
{
    FNumberText = NumberText(number, ClampDigits(digits));
    FInlay->NumberChanged();
}

bool TMainForm::GrabFrame()
{
    return FGrabber->GrabFrame();
}

void TMainForm::SaveGrabbedImage()
{
    FGrabber->SaveGrabbedImage();
}

bool TMainForm::WriteImageFile()
{
    return FGrabber->WriteImageFile();
}

void TMainForm::naGrabApply()
{
    FGrabber->naGrabApply();
}

void TMainForm::naCopyApply()
{
    FGrabber->naCopyApply();
}

void TMainForm::SetGrabUi(std::unique_ptr<TGrabUi> ui)
{
    FGrabber->SetGrabUi(std::move(ui));
}

const QString& TMainForm::PictureName() const
{
    return FGrabber->PictureName();
}

const QImage& TMainForm::RawFrame() const
{
    return FGrabber->RawFrame();
}

bool TMainForm::PictureUnsaved() const
{
    return FGrabber->PictureUnsaved();
}

// --- the wiring -------------------------------------------------------------------

void TMainForm::AssignGrabEvents()
{
    FGrabber = std::make_unique<TPictureGrabber>(
        *this, A, *NavMan, *vidman, TGrabPanels{*ImagetteFrame, *SaveImagesFrame, *OptionsFrame, *ImageLab},
        TGrabShared{FVideoFileName, FNumberText, FHasVideo, FAbort,
                    [this](int number, int digits) { SetNumeroString(number, digits); }});
    WatchGrabClicks();
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
            FGrabber->naGrabApply();
        } else if (watched == frame->labsnapname) {
            // Only a picture that is not saved yet: the name has moved on
            // since the last save.
            if (FGrabber->PictureUnsaved() && !frame->labsnapname->text().isEmpty())
                FGrabber->SaveGrabbedImage();
        } else if (watched == frame->Image) {
            if (!frame->SnapLab->text().isEmpty())
                NavMan->waStrPosition->SetValue(frame->SnapLab->text());
        } else if (watched == panelImage) {
            A.waImageParentFolder->SetValue(FGrabber->PictureName());
        } else if (watched == PanelTitre && !FVideoFileName.isEmpty()) {
            FGrabber->GrabUi().ShowInFolder(FVideoFileName);
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
