#include "framework/managers/drop_source.h"

#include <QClipboard>
#include <QDrag>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

#include <memory>

namespace {

// A pointer picture of this size, like the small images of the lists.
constexpr int kDragImageSize = 32;

Qt::DropAction RunDesktopLoop(QDrag& drag, Qt::DropActions allowed)
{
    return drag.exec(allowed, allowed.testFlag(Qt::CopyAction) ? Qt::CopyAction : Qt::IgnoreAction);
}

} // namespace

TDropSource::TDropSource(QObject* owner) : QObject(owner) {}

void TDropSource::SetImages(TCustomImageList* images)
{
    FImages = images;
    FImageIndex = 0;
    FShowImage = images != nullptr;
}

void TDropSource::SetImageIndex(int index)
{
    if (FImages && (index < 0 || index >= FImages->Count())) {
        FImageIndex = 0;
        FShowImage = false;
        return;
    }
    FImageIndex = index;
}

void TDropSource::SetShowImage(bool show)
{
    FShowImage = show && FImages;
}

TDropSource::TDragResult TDropSource::Execute()
{
    std::unique_ptr<QMimeData> data = MakeData();
    if (!data)
        return drUnknown;
    QDrag drag(this);
    drag.setMimeData(data.release());
    if (FShowImage && FImages) {
        drag.setPixmap(FImages->Icon(FImageIndex).pixmap(kDragImageSize, kDragImageSize));
        drag.setHotSpot(QPoint(ImageHotSpotX, ImageHotSpotY));
    }
    connect(&drag, &QDrag::actionChanged, this, [this](Qt::DropAction action) {
        if (OnFeedback)
            RunShielded("drag feedback", [&] { OnFeedback(this, static_cast<int>(action)); });
    });
    const Qt::DropActions allowed = Qt::DropActions(QFlag(Dragtypes & (dtCopy | dtMove | dtLink)));
    const Qt::DropAction done = FDragLoop ? FDragLoop(drag, allowed) : RunDesktopLoop(drag, allowed);
    // A target that moved the data itself reports so with its own flag.
    const Qt::DropAction effect = done == Qt::TargetMoveAction ? Qt::MoveAction : done;
    if (effect == Qt::IgnoreAction || !allowed.testFlag(effect))
        return drCancel;
    switch (effect) {
    case Qt::CopyAction:
        return drDropCopy;
    case Qt::MoveAction:
        return drDropMove;
    case Qt::LinkAction:
        return drDropLink;
    default:
        return drUnknown;
    }
}

bool TDropSource::CopyToClipboard()
{
    return ToClipboard("copy");
}

bool TDropSource::CutToClipboard()
{
    return ToClipboard("cut");
}

bool TDropSource::ToClipboard(const char* effect)
{
    std::unique_ptr<QMimeData> data = MakeData();
    if (!data)
        return false;
    // The desktop's file managers read "copy" or "cut" ahead of the addresses.
    QByteArray marked(effect);
    for (const QUrl& url : data->urls())
        marked += '\n' + url.toEncoded();
    data->setData(QStringLiteral("x-special/gnome-copied-files"), marked);
    QGuiApplication::clipboard()->setMimeData(data.release());
    return true;
}

std::unique_ptr<QMimeData> TDropFileSourceW::MakeData() const
{
    if (Files.isEmpty())
        return nullptr;
    QList<QUrl> urls;
    for (const QString& file : Files)
        urls.append(QUrl::fromLocalFile(file));
    auto data = std::make_unique<QMimeData>();
    data->setUrls(urls);
    return data;
}
