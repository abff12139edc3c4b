#include "framework/managers/drop_source.h"

#include <QClipboard>
#include <QDrag>
#include <QGuiApplication>
#include <QMimeData>
#include <QPixmap>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

TEST(DropSource, TheEffectTheTargetAppliedGivesTheResult)
{
    struct Case
    {
        TDropSource::TDragTypes types;
        Qt::DropAction applied;
        TDropSource::TDragResult result;
    };
    const Case cases[] = {
        {TDropSource::dtCopy, Qt::CopyAction, TDropSource::drDropCopy},
        {TDropSource::dtCopy, Qt::IgnoreAction, TDropSource::drCancel},
        {TDropSource::dtCopy, Qt::MoveAction, TDropSource::drCancel},
        {TDropSource::dtCopy | TDropSource::dtMove, Qt::MoveAction, TDropSource::drDropMove},
        {TDropSource::dtMove, Qt::TargetMoveAction, TDropSource::drDropMove},
        {TDropSource::dtCopy, Qt::TargetMoveAction, TDropSource::drCancel},
        {TDropSource::dtLink, Qt::LinkAction, TDropSource::drDropLink},
        {TDropSource::dtCopy | TDropSource::dtLink, Qt::LinkAction, TDropSource::drDropLink},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "types " << c.types << ", applied " << int(c.applied));
        TDropFileSourceW source;
        source.Files = QStringList{"/tmp/a.avi"};
        source.Dragtypes = c.types;
        Qt::DropActions offered;
        source.SetDragLoop([&](QDrag&, Qt::DropActions allowed) {
            offered = allowed;
            return c.applied;
        });
        EXPECT_EQ(source.Execute(), c.result);
        EXPECT_EQ(int(offered), c.types);
    }
}

TEST(DropSource, TheDragCarriesTheFilesAndReportsTheTargetsEffect)
{
    TDropFileSourceW source;
    int loops = 0;
    source.SetDragLoop([&](QDrag&, Qt::DropActions) {
        ++loops;
        return Qt::CopyAction;
    });
    EXPECT_EQ(source.Execute(), TDropSource::drUnknown) << "nothing to drag";
    EXPECT_EQ(loops, 0);

    source.Files = QStringList{"/home/ann/Vidéos/été 日本.mkv", "/home/ann/b c.avi"};
    QList<int> effects;
    source.OnFeedback = [&](QObject* sender, int effect) {
        EXPECT_EQ(sender, &source);
        effects << effect;
    };
    source.SetDragLoop([&](QDrag& drag, Qt::DropActions) {
        EXPECT_EQ(drag.mimeData()->urls(),
                  QList<QUrl>({QUrl::fromLocalFile(source.Files[0]), QUrl::fromLocalFile(source.Files[1])}));
        EXPECT_TRUE(drag.mimeData()->hasFormat("text/uri-list"));
        EXPECT_TRUE(drag.pixmap().isNull()) << "no image list, no picture";
        // The target under the pointer changes its mind twice.
        emit drag.actionChanged(Qt::CopyAction);
        emit drag.actionChanged(Qt::IgnoreAction);
        return Qt::CopyAction;
    });
    EXPECT_EQ(source.Execute(), TDropSource::drDropCopy);
    EXPECT_EQ(effects, QList<int>({1, 0}));
}

TEST(DropSource, ThePictureFollowsTheImageList)
{
    TCustomImageList images;
    QPixmap red(16, 16);
    red.fill(Qt::red);
    images.Add(QIcon(red));
    images.Add(QIcon(red));

    TDropFileSourceW source;
    EXPECT_FALSE(source.ShowImage());
    EXPECT_EQ(QPoint(source.ImageHotSpotX, source.ImageHotSpotY), QPoint(16, 16));
    source.SetShowImage(true);
    EXPECT_FALSE(source.ShowImage()) << "no picture without a list";

    source.SetImages(&images);
    EXPECT_TRUE(source.ShowImage());
    EXPECT_EQ(source.ImageIndex(), 0);
    source.SetImageIndex(1);
    EXPECT_EQ(source.ImageIndex(), 1);
    EXPECT_TRUE(source.ShowImage());
    source.SetImages(&images); // a list given again starts from its first picture
    EXPECT_EQ(source.ImageIndex(), 0);
    source.SetImageIndex(1);
    source.SetImageIndex(2);
    EXPECT_EQ(source.ImageIndex(), 0);
    EXPECT_FALSE(source.ShowImage());
    source.SetShowImage(true);

    source.Files = QStringList{"/tmp/a.avi"};
    source.ImageHotSpotX = 4;
    source.SetDragLoop([](QDrag& drag, Qt::DropActions) {
        EXPECT_FALSE(drag.pixmap().isNull());
        EXPECT_EQ(drag.hotSpot(), QPoint(4, 16));
        return Qt::IgnoreAction;
    });
    EXPECT_EQ(source.Execute(), TDropSource::drCancel);

    source.SetImages(nullptr);
    EXPECT_FALSE(source.ShowImage());
}

TEST(DropSource, CopyAndCutPutTheFilesOnTheClipboardMarkedForTheFileManager)
{
    TDropFileSourceW source;
    EXPECT_FALSE(source.CopyToClipboard());
    source.Files = QStringList{"/tmp/été.avi", "/tmp/b.avi"};
    const QByteArray addresses =
        QUrl::fromLocalFile("/tmp/été.avi").toEncoded() + '\n' + QUrl::fromLocalFile("/tmp/b.avi").toEncoded();
    struct Case
    {
        bool (TDropSource::*put)();
        QByteArray mark;
    };
    for (const Case& c : {Case{&TDropSource::CopyToClipboard, "copy"}, Case{&TDropSource::CutToClipboard, "cut"}}) {
        ASSERT_TRUE((source.*c.put)());
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data->urls().size(), 2);
        EXPECT_EQ(data->data("x-special/gnome-copied-files"), c.mark + '\n' + addresses);
    }
}

} // namespace
