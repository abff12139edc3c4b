#pragma once
// The source side of a drag out of the program: what it offers, which drop
// effects it allows, the picture that follows the pointer, and how the drag
// ended. The desktop's drag loop runs it; tests put their own loop in its
// place, since the real one waits for the mouse button to be released.

#include "framework/actions/action_base.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

class QDrag;
class QMimeData;

class TDropSource : public QObject
{
    Q_OBJECT
public:
    // The drop effects, with the values the effect masks use.
    enum TDragType { dtCopy = 1, dtMove = 2, dtLink = 4 };
    using TDragTypes = int;
    enum TDragResult { drDropCopy, drDropMove, drDropLink, drCancel, drOutMemory, drUnknown };

    // Fired whenever the target under the pointer changes the effect it
    // would apply (0 when it would refuse the drop). The desktop draws the
    // pointer itself.
    using TFeedbackEvent = std::function<void(QObject* sender, int effect)>;
    // Runs the drag modally and returns the effect the target applied.
    using TDragLoop = std::function<Qt::DropAction(QDrag& drag, Qt::DropActions allowed)>;

    explicit TDropSource(QObject* owner = nullptr);

    TDragTypes Dragtypes = dtCopy;
    TFeedbackEvent OnFeedback;

    TCustomImageList* Images() const { return FImages; }
    // A list turns the picture on with its first image; none turns it off.
    void SetImages(TCustomImageList* images);
    int ImageIndex() const { return FImageIndex; }
    // An index outside the list falls back to the first image, not shown.
    void SetImageIndex(int index);
    bool ShowImage() const { return FShowImage; }
    void SetShowImage(bool show);
    int ImageHotSpotX = 16;
    int ImageHotSpotY = 16;

    // Runs the drag until the user drops or cancels it.
    TDragResult Execute();
    // Puts the data on the clipboard, marked to be copied or moved by the
    // file manager that pastes it.
    bool CopyToClipboard();
    bool CutToClipboard();

    // Replaces the desktop's drag loop (an empty loop puts it back).
    void SetDragLoop(TDragLoop loop) { FDragLoop = std::move(loop); }

protected:
    // The data the drag offers; null when there is nothing to offer.
    virtual std::unique_ptr<QMimeData> MakeData() const = 0;

private:
    bool ToClipboard(const char* effect);

    QPointer<TCustomImageList> FImages;
    int FImageIndex = 0;
    bool FShowImage = false;
    TDragLoop FDragLoop;
};

// Drags files: the other program receives their addresses.
class TDropFileSourceW : public TDropSource
{
    Q_OBJECT
public:
    using TDropSource::TDropSource;

    QStringList Files;

protected:
    std::unique_ptr<QMimeData> MakeData() const override;
};
