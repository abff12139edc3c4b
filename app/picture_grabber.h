#pragma once
// Grabbing and saving pictures: the picture's name, the raw, grabbed and
// deinterlaced pictures, the thumbnail panel, the overwrite question,
// writing the file and copying to the clipboard, with the wiring of the
// actions and controls of naming.
//
// What interval capture and the inlay share with grabbing (the number text,
// the video's file name, whether a video is open and the abort flag) stays
// with the window, which lends it through TGrabShared.

#include "app/grab_ui.h"
#include "app/picture_naming.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

class QLabel;
class QWidget;
class TDossiersFrame;
class TImagetteFrame;
class TNavMan;
class TOptionsFrame;
class TVideoMan;
struct TMainActions;

// The window's state that grabbing reads, and the abort it sets.
struct TGrabShared
{
    const QString& VideoFileName;
    const QString& NumberText;
    const bool& HasVideo;
    // Set to stop an interval capture.
    bool& Abort;
    // Makes the number text of `number` with `digits` digits.
    std::function<void(int number, int digits)> SetNumber;
};

// The panels that grabbing fills.
struct TGrabPanels
{
    TImagetteFrame& Thumbnail;
    TDossiersFrame& Names;
    TOptionsFrame& Options;
    // The status line under the video, that shows the next picture's name.
    QLabel& Status;
};

class TPictureGrabber
{
public:
    // `window` asks the questions and is the context of the controls'
    // connections.
    TPictureGrabber(QWidget& window, TMainActions& actions, TNavMan& navigation, TVideoMan& video, TGrabPanels panels,
                    TGrabShared shared);

    void ComputeImageSize(int aspectWidth, int aspectHeight);
    void BuildImageFileName();
    void ArrangeImagetteFrame();
    // Takes the frame shown (a new one while playing) as the raw frame and,
    // at the display aspect, as the grabbed picture, and shows it in the
    // thumbnail panel; saves nothing. False, said in the status line, when
    // there was no frame to take: the last picture is then kept but can no
    // longer be saved.
    bool GrabFrame();
    // Saves the grabbed picture under the picture name, asking first when a
    // file has that name and the question is on.
    void SaveGrabbedImage();
    // Saves it without asking and moves the number on; false, after telling
    // the user which file could not be written, when it failed.
    bool WriteImageFile();
    void naGrabApply();
    void naCopyApply();
    // A blank grabbed picture of `size`, for the video just opened.
    void ResetGrabBitmap(const QSize& size);

    // The questions and messages of grabbing; tests answer them.
    void SetGrabUi(std::unique_ptr<TGrabUi> ui);
    TGrabUi& GrabUi();
    const QString& PictureName() const { return FPictureName; }
    const QImage& RawFrame() const { return FRawFrame; }
    // Whether a grabbed picture waits to be saved.
    bool PictureUnsaved() const { return FPictureUnsaved; }

private:
    void AssignEvents();
    void AssignPictureNameEvents();
    void WaitForNewFrame();
    bool CaptureCurrentFrame();
    TPictureNaming PictureNaming() const;
    void ShowPictureSaved(bool saved);

    QWidget& FWindow;
    TMainActions& A;
    TNavMan& FNavMan;
    TVideoMan& FVideo;
    TGrabPanels FPanels;
    TGrabShared FShared;

    QImage FRawFrame;
    QImage FGrabBitmap;
    QImage FDeinterlaceBitmap;
    QString FPictureName;
    QSize FNativeSize;
    QSize FGrabSize;
    bool FPictureUnsaved = false;
    bool FGrabbing = false;
    std::unique_ptr<TGrabUi> FGrabUi;
};
