#pragma once
// What the video renderer shows: the newest picture, where it goes and what
// is mixed over it. The renderer writes it from the streaming thread (the
// picture) and the GUI thread (everything else); its surface reads it on the
// GUI thread to paint.

#include "platform/renderers/renderer_interfaces.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <QWidget>

#include <memory>
#include <mutex>

class QPainter;

// The placement and mixing of a picture, copied out of the scene to paint.
struct SceneLayout
{
    QImage picture;            // native size, RGB32
    QRect source;              // the part of the picture shown
    QSizeF aspect;             // display aspect of the whole picture
    bool letterBox = false;    // fit by aspect, else stretch
    QColor border = Qt::black; // the bands letter-boxing leaves
    VMR9NormalizedRect output; // stream 0 in the composed picture
    QImage overlay;            // ARGB32, colour key already transparent
    QRect overlaySource;       // the part of the overlay used
    QRect overlayOpaque;       // the part of the overlay not transparent
    VMR9NormalizedRect overlayDestination;
    float overlayAlpha = 1;
    bool overlaySmooth = true;
};

// Paints `layout` into `target`: the bands, the picture at its output
// rectangle (mirrored where that rectangle is reversed), then the overlay.
void paintScene(QPainter& painter, const QRect& target, const SceneLayout& layout);

// The part of `target` that the composed picture fills.
QRectF composedArea(const QRect& target, const SceneLayout& layout);

class VideoSurface;

struct VideoScene
{
    std::mutex mutex;
    SceneLayout layout;
    // The surface painting the scene, cleared as it goes; a repaint is
    // queued to it at most once until it runs.
    VideoSurface* surface = nullptr;
    bool repaintQueued = false;

    // From any thread: asks the surface to paint the newest state.
    void requestRepaint();
};

// The child widget of the clipping window that shows the video; it covers
// the destination rectangle. It stands for video drawn on the clipping
// window itself: the mouse goes through it to that window, and it is shown
// only while there is a picture, so that what the window paints there (a
// notice when there is no video) is seen.
class VideoSurface final : public QWidget
{
public:
    VideoSurface(std::shared_ptr<VideoScene> scene, QWidget* parent);
    ~VideoSurface() override;

    // Covers `destination` of the parent and repaints.
    void place(const QRect& destination);
    // Shows or hides the surface after the picture changed, and repaints.
    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::shared_ptr<VideoScene> scene_;
    QRect destination_;
};
