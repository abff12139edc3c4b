#include "framework/widgets/image_modules.h"

#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

namespace {

TEST(ImageModulesTest, SharedByCountAndFreedAtTheLastRelease)
{
    ASSERT_EQ(TdmKvPackImages::Current(), nullptr);
    TdmKvPackImages* first = TdmKvPackImages::Acquire();
    TdmKvPackImages* second = TdmKvPackImages::Acquire();
    EXPECT_EQ(first, second);
    EXPECT_EQ(TdmMorvekImages::Current(), nullptr); // the two modules are apart

    TdmKvPackImages::Release();
    EXPECT_EQ(TdmKvPackImages::Current(), first);
    TdmKvPackImages::Release();
    EXPECT_EQ(TdmKvPackImages::Current(), nullptr);
    TdmKvPackImages::Release(); // one too many does no harm

    {
        TImageModuleRef<TdmMorvekImages> held;
        EXPECT_EQ(TdmMorvekImages::Current(), held.operator->());
    }
    EXPECT_EQ(TdmMorvekImages::Current(), nullptr);
}

// Every glyph draws something, sharply at a small and a large size.
void ExpectDrawn(const TCustomImageList& list, int count)
{
    ASSERT_EQ(list.Count(), count);
    for (int index = 0; index < count; ++index) {
        for (int side : {16, 64}) {
            const QImage image = list.Icon(index).pixmap(side, side).toImage();
            ASSERT_EQ(image.size(), QSize(side, side)) << "glyph " << index;
            int inked = 0;
            for (int y = 0; y < side; ++y) {
                for (int x = 0; x < side; ++x)
                    inked += qAlpha(image.pixel(x, y)) > 0;
            }
            EXPECT_GT(inked, side * side / 20) << "glyph " << index << " at " << side;
        }
    }
    EXPECT_TRUE(list.Icon(count).isNull());
    EXPECT_TRUE(list.Icon(-1).isNull());
}

TEST(ImageModulesTest, EveryGlyphIsDrawnAtAnySize)
{
    TImageModuleRef<TdmMorvekImages> morvek;
    TImageModuleRef<TdmKvPackImages> kvpack;
    ExpectDrawn(morvek->ilMorvek, MorvekImage::Count);
    ExpectDrawn(kvpack->ilKvPack, KvPackImage::Count);
}

} // namespace
