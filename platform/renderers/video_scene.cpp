#include "platform/renderers/video_scene.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// A normalised rectangle placed in `area`, with negative width or height
// where it is reversed.
QRectF place(const QRectF& area, const VMR9NormalizedRect& r)
{
    return QRectF(area.left() + r.left * area.width(), area.top() + r.top * area.height(),
                  (r.right - r.left) * area.width(), (r.bottom - r.top) * area.height());
}

// Draws `source` of `image` into `target`, mirroring along the axes where
// `target` is reversed.
void drawMirrored(QPainter& painter, const QRectF& target, const QImage& image, const QRect& source)
{
    const QRectF normal = target.normalized();
    if (normal.isEmpty())
        return;
    painter.save();
    painter.translate(normal.center());
    painter.scale(target.width() < 0 ? -1 : 1, target.height() < 0 ? -1 : 1);
    painter.translate(-normal.center());
    painter.drawImage(normal, image, source);
    painter.restore();
}

} // namespace

QRectF composedArea(const QRect& target, const SceneLayout& layout)
{
    if (!layout.letterBox || layout.source.isEmpty() || layout.picture.isNull() || layout.aspect.isEmpty())
        return target;
    // The shown part keeps the picture's pixel aspect.
    const double pixelAspect =
        layout.aspect.width() / layout.aspect.height() * layout.picture.height() / layout.picture.width();
    QSizeF shown(layout.source.width() * pixelAspect, layout.source.height());
    shown.scale(target.size(), Qt::KeepAspectRatio);
    return QRectF(target.left() + (target.width() - shown.width()) / 2,
                  target.top() + (target.height() - shown.height()) / 2, shown.width(), shown.height());
}

void paintScene(QPainter& painter, const QRect& target, const SceneLayout& layout)
{
    if (layout.picture.isNull()) {
        painter.fillRect(target, layout.border);
        return;
    }
    const QRectF area = composedArea(target, layout);
    const QRectF shown = place(area, layout.output);
    // Only what the picture leaves is filled: the whole pixels it covers are
    // painted once, by the picture.
    const QRectF covered = shown.normalized() & area;
    const QRect inner(QPoint(int(std::ceil(covered.left())), int(std::ceil(covered.top()))),
                      QPoint(int(std::floor(covered.right())) - 1, int(std::floor(covered.bottom())) - 1));
    if (covered.isEmpty() || inner.isEmpty()) {
        painter.fillRect(target, layout.border);
    } else {
        for (const QRect& band : QRegion(target).subtracted(QRegion(inner)))
            painter.fillRect(band, layout.border);
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    drawMirrored(painter, shown, layout.picture, layout.source);
    // Only the overlay's opaque part, a pixel wider so that smoothing at its
    // edges still meets the transparent pixels around it.
    const QRect used = layout.overlaySource & layout.overlayOpaque.adjusted(-1, -1, 1, 1) & layout.overlay.rect();
    if (layout.overlay.isNull() || used.isEmpty() || layout.overlaySource.isEmpty())
        return;
    const QRectF whole = place(area, layout.overlayDestination);
    const QRect& source = layout.overlaySource;
    const double scaleX = whole.width() / source.width();
    const double scaleY = whole.height() / source.height();
    const QRectF part(whole.left() + (used.left() - source.left()) * scaleX,
                      whole.top() + (used.top() - source.top()) * scaleY, used.width() * scaleX,
                      used.height() * scaleY);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, layout.overlaySmooth);
    painter.setOpacity(layout.overlayAlpha);
    drawMirrored(painter, part, layout.overlay, used);
    painter.setOpacity(1);
}

void VideoScene::requestRepaint()
{
    std::lock_guard lock(mutex);
    if (!surface || repaintQueued)
        return;
    repaintQueued = true;
    // Holding the lock keeps the surface alive while the call is queued; a
    // surface destroyed later takes its queued calls with it.
    VideoSurface* target = surface;
    QMetaObject::invokeMethod(
        target,
        [this, target] {
            {
                std::lock_guard lock(mutex);
                repaintQueued = false;
            }
            target->refresh();
        },
        Qt::QueuedConnection);
}

VideoSurface::VideoSurface(std::shared_ptr<VideoScene> scene, QWidget* parent)
    : QWidget(parent), scene_(std::move(scene))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
    std::lock_guard lock(scene_->mutex);
    scene_->surface = this;
    scene_->repaintQueued = false;
}

VideoSurface::~VideoSurface()
{
    std::lock_guard lock(scene_->mutex);
    if (scene_->surface == this)
        scene_->surface = nullptr;
}

void VideoSurface::place(const QRect& destination)
{
    destination_ = destination;
    setGeometry(destination);
    refresh();
}

void VideoSurface::refresh()
{
    bool picture = false;
    {
        std::lock_guard lock(scene_->mutex);
        picture = !scene_->layout.picture.isNull();
    }
    setVisible(picture && !destination_.isEmpty());
    update();
}

void VideoSurface::paintEvent(QPaintEvent*)
{
    SceneLayout layout;
    {
        std::lock_guard lock(scene_->mutex);
        layout = scene_->layout; // pictures are shared, not copied
    }
    QPainter painter(this);
    paintScene(painter, rect(), layout);
}
